#include "SimAreaBrowser.h"

#include "SimWildcard.h"
#include "bstr.h"
#include "enumerators.h"
#include "opcerror.h"

namespace zelk::aesim {

using zelk::com::ComBoundary;

namespace {

constexpr QChar kSeparator = u'.';

// The qualified name of the area holding `name`; empty at the root.
QString Parent(const QString& name) {
    const qsizetype dot = name.lastIndexOf(kSeparator);
    return dot < 0 ? QString() : name.left(dot);
}

QString Leaf(const QString& name) {
    return name.mid(name.lastIndexOf(kSeparator) + 1);
}

QString Quoted(LPCWSTR text) {
    return text ? u'"' + zelk::com::ToQString(text) + u'"' : QStringLiteral("null");
}

} // namespace

TSimAreaBrowser::TSimAreaBrowser(ComPtr<IUnknown> server, ISimCatalog& catalog, TSimFaults& faults)
    : FServer(std::move(server)), FCatalog(catalog), FFaults(faults) {}

const TSimAreaBrowser::TTree& TSimAreaBrowser::Tree() const {
    std::call_once(FTreeOnce, [this] {
        TTree& tree = FTree;
        // Adds `area` after the areas above it, each once.
        auto addArea = [&tree](const QString& area) {
            QStringList missing;
            for (QString a = area; !a.isEmpty() && !tree.AreaSet.contains(a); a = Parent(a))
                missing.prepend(a);
            for (const QString& a : missing) {
                tree.AreaSet.insert(a);
                tree.ChildAreas[Parent(a)].append(a);
            }
        };
        for (const QString& area : FCatalog.AreaNames())
            addArea(area);
        for (const QString& source : FCatalog.SourceNames()) {
            if (tree.SourceSet.contains(source))
                continue;
            addArea(Parent(source));
            tree.SourceSet.insert(source);
            tree.ChildSources[Parent(source)].append(source);
        }
    });
    return FTree;
}

QString TSimAreaBrowser::Position() const {
    std::lock_guard lock(FMutex);
    return FPosition;
}

QString TSimAreaBrowser::Child(LPCWSTR name) const {
    const QString leaf = zelk::com::ToQString(name);
    if (leaf.isEmpty() || leaf.contains(kSeparator))
        return {};
    const QString position = Position();
    return position.isEmpty() ? leaf : position + kSeparator + leaf;
}

HRESULT TSimAreaBrowser::ChangeBrowsePosition(OPCAEBROWSEDIRECTION dwBrowseDirection,
                                              LPCWSTR szString) {
    if (auto injected = FFaults.Enter("IOPCEventAreaBrowser::ChangeBrowsePosition"))
        return *injected;
    return ComBoundary([&] {
        FFaults.Record("IOPCEventAreaBrowser::ChangeBrowsePosition",
                       QStringLiteral("Direction=%1 Name=%2")
                           .arg(QString::number(dwBrowseDirection), Quoted(szString)));
        switch (dwBrowseDirection) {
        case OPCAE_BROWSE_UP: {
            std::lock_guard lock(FMutex);
            if (FPosition.isEmpty())
                return E_FAIL;
            FPosition = Parent(FPosition);
            return S_OK;
        }
        case OPCAE_BROWSE_DOWN: {
            if (!szString)
                return E_INVALIDARG;
            const QString target = Child(szString);
            if (target.isNull() || !Tree().AreaSet.contains(target))
                return OPC_E_INVALIDBRANCHNAME;
            std::lock_guard lock(FMutex);
            FPosition = target;
            return S_OK;
        }
        case OPCAE_BROWSE_TO: {
            const QString target = zelk::com::ToQString(szString);
            if (!target.isEmpty() && !Tree().AreaSet.contains(target))
                return OPC_E_INVALIDBRANCHNAME;
            std::lock_guard lock(FMutex);
            FPosition = target;
            return S_OK;
        }
        }
        return E_INVALIDARG;
    });
}

HRESULT TSimAreaBrowser::BrowseOPCAreas(OPCAEBROWSETYPE dwBrowseFilterType,
                                        LPCWSTR szFilterCriteria, IEnumString** ppIEnumString) {
    if (!ppIEnumString)
        return E_POINTER;
    *ppIEnumString = nullptr;
    if (auto injected = FFaults.Enter("IOPCEventAreaBrowser::BrowseOPCAreas"))
        return *injected;
    return ComBoundary([&] {
        FFaults.Record("IOPCEventAreaBrowser::BrowseOPCAreas",
                       QStringLiteral("Type=%1 Filter=%2")
                           .arg(QString::number(dwBrowseFilterType), Quoted(szFilterCriteria)));
        if (dwBrowseFilterType != OPC_AREA && dwBrowseFilterType != OPC_SOURCE)
            return E_INVALIDARG;
        const TTree& tree = Tree();
        const QString position = Position();
        const QString filter = zelk::com::ToQString(szFilterCriteria);
        const TSimWildcard pattern(filter);
        QStringList names;
        for (const QString& name :
             (dwBrowseFilterType == OPC_AREA ? tree.ChildAreas : tree.ChildSources)
                 .value(position)) {
            const QString leaf = Leaf(name);
            if (filter.isEmpty() || pattern.Matches(leaf))
                names << leaf;
        }
        *ppIEnumString = zelk::com::MakeEnumString(names).Detach();
        return names.isEmpty() ? S_FALSE : S_OK;
    });
}

HRESULT TSimAreaBrowser::Qualify(LPCWSTR name, bool area, LPWSTR* qualified) {
    if (!qualified)
        return E_POINTER;
    *qualified = nullptr;
    if (auto injected = FFaults.Enter(area ? "IOPCEventAreaBrowser::GetQualifiedAreaName"
                                           : "IOPCEventAreaBrowser::GetQualifiedSourceName"))
        return *injected;
    return ComBoundary([&] {
        if (!name)
            return E_INVALIDARG;
        const QString target = Child(name);
        const TTree& tree = Tree();
        if (target.isNull() || !(area ? tree.AreaSet : tree.SourceSet).contains(target))
            return E_INVALIDARG;
        *qualified = zelk::com::TaskStrFromQString(target);
        return S_OK;
    });
}

HRESULT TSimAreaBrowser::GetQualifiedAreaName(LPCWSTR szAreaName, LPWSTR* pszQualifiedAreaName) {
    return Qualify(szAreaName, true, pszQualifiedAreaName);
}

HRESULT TSimAreaBrowser::GetQualifiedSourceName(LPCWSTR szSourceName,
                                                LPWSTR* pszQualifiedSourceName) {
    return Qualify(szSourceName, false, pszQualifiedSourceName);
}

HRESULT CreateSimAreaBrowser(IUnknown* Server, ISimCatalog& Catalog, TSimFaults& Faults,
                             REFIID riid, IUnknown** ppUnk) {
    if (!ppUnk)
        return E_POINTER;
    *ppUnk = nullptr;
    if (!Server)
        return E_INVALIDARG;
    return ComBoundary([&] {
        auto browser = TSimAreaBrowser::Create(ComPtr<IUnknown>(Server), Catalog, Faults);
        return browser->QueryInterface(riid, reinterpret_cast<void**>(ppUnk));
    });
}

} // namespace zelk::aesim
