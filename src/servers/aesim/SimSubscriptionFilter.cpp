#include "SimSubscriptionFilter.h"

#include "bstr.h"

#include <algorithm>

namespace zelk::aesim {

namespace {

bool AnyMatches(const std::vector<TSimWildcard>& patterns, const QString& text) {
    return std::any_of(patterns.begin(), patterns.end(),
                       [&](const TSimWildcard& p) { return p.Matches(text); });
}

QString NamesText(DWORD count, const LPWSTR* names) {
    if (count > 0 && !names)
        return QStringLiteral("null");
    QStringList quoted;
    for (DWORD i = 0; i < count; ++i)
        quoted << (names[i] ? u'"' + zelk::com::ToQString(names[i]) + u'"'
                            : QStringLiteral("null"));
    return u'[' + quoted.join(u',') + u']';
}

// The compiled patterns, or nothing when one of them is null or matches no name.
bool CompilePatterns(DWORD count, const LPWSTR* patterns, const QStringList& names,
                     std::vector<TSimWildcard>& compiled) {
    if (count > 0 && !patterns)
        return false;
    compiled.clear();
    compiled.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        if (!patterns[i])
            return false;
        TSimWildcard pattern(zelk::com::ToQString(patterns[i]));
        if (std::none_of(names.begin(), names.end(),
                         [&](const QString& name) { return pattern.Matches(name); }))
            return false;
        compiled.push_back(std::move(pattern));
    }
    return true;
}

} // namespace

bool TSimEventFilter::Passes(const TSimNotification& n) const {
    if ((n.EventType & EventType) == 0)
        return false;
    if (!Categories.empty() &&
        std::find(Categories.begin(), Categories.end(), n.EventCategory) == Categories.end())
        return false;
    if (n.Severity < LowSeverity || n.Severity > HighSeverity)
        return false;
    if (!Areas.empty() && std::none_of(n.Areas.begin(), n.Areas.end(), [&](const QString& area) {
            return AnyMatches(Areas, area);
        }))
        return false;
    return Sources.empty() || AnyMatches(Sources, n.Source);
}

QString SimFilterArgumentsText(const TSimFilterArguments& a) {
    QString categories = QStringLiteral("null");
    if (a.NumCategories == 0 || a.Categories) {
        QStringList ids;
        for (DWORD i = 0; i < a.NumCategories; ++i)
            ids << QString::number(a.Categories[i]);
        categories = u'[' + ids.join(u',') + u']';
    }
    return QStringLiteral("EventType=%1 Categories=%2 LowSeverity=%3 HighSeverity=%4 Areas=%5 "
                          "Sources=%6")
        .arg(QString::number(a.EventType), categories, QString::number(a.LowSeverity),
             QString::number(a.HighSeverity), NamesText(a.NumAreas, a.Areas),
             NamesText(a.NumSources, a.Sources));
}

HRESULT MakeSimEventFilter(const ISimCatalog& catalog, const TSimFilterArguments& a,
                           TSimEventFilter& filter) {
    if (a.EventType == 0 || (a.EventType & ~OPC_ALL_EVENTS) != 0)
        return E_INVALIDARG;
    if (a.HighSeverity < 1 || a.HighSeverity > 1000)
        return E_INVALIDARG;
    const DWORD lowest = catalog.AcceptsLowSeverityZero() ? 0 : 1;
    if (a.LowSeverity < lowest || a.LowSeverity > a.HighSeverity)
        return E_INVALIDARG;
    if (a.NumCategories > 0 && !a.Categories)
        return E_INVALIDARG;

    TSimEventFilter result;
    result.EventType = a.EventType;
    result.LowSeverity = a.LowSeverity;
    result.HighSeverity = a.HighSeverity;
    TSimCategoryInfo category;
    for (DWORD i = 0; i < a.NumCategories; ++i) {
        if (!catalog.FindCategory(a.Categories[i], category))
            return E_INVALIDARG;
        result.Categories.push_back(a.Categories[i]);
    }
    if (!CompilePatterns(a.NumAreas, a.Areas, a.NumAreas ? catalog.AreaNames() : QStringList(),
                         result.Areas))
        return E_INVALIDARG;
    if (!CompilePatterns(a.NumSources, a.Sources,
                         a.NumSources ? catalog.SourceNames() : QStringList(), result.Sources))
        return E_INVALIDARG;
    filter = std::move(result);
    return S_OK;
}

} // namespace zelk::aesim
