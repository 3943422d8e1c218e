#include "SimTaskOut.h"

#include "bstr.h"
#include "taskmem.h"

namespace zelk::aesim {

TSimTaskStrings::TSimTaskStrings(const QStringList& texts) {
    if (texts.isEmpty())
        return;
    FItems = zelk::com::TaskMem<LPWSTR>::Alloc(static_cast<std::size_t>(texts.size())).Detach();
    FCount = static_cast<DWORD>(texts.size());
    try {
        for (DWORD i = 0; i < FCount; ++i)
            FItems[i] = zelk::com::TaskStrFromQString(texts[static_cast<qsizetype>(i)]);
    } catch (...) {
        Free();
        throw;
    }
}

TSimTaskStrings::~TSimTaskStrings() {
    Free();
}

void TSimTaskStrings::Free() noexcept {
    if (!FItems)
        return;
    for (DWORD i = 0; i < FCount; ++i)
        CoTaskMemFree(FItems[i]);
    CoTaskMemFree(FItems);
    FItems = nullptr;
}

LPWSTR* TSimTaskStrings::Detach() noexcept {
    FCount = 0;
    return std::exchange(FItems, nullptr);
}

QString ArgText(LPCWSTR text) {
    return text ? zelk::com::ToQString(text) : QStringLiteral("null");
}

QString ArgList(const QStringList& items) {
    return QLatin1Char('[') + items.join(QLatin1Char(',')) + QLatin1Char(']');
}

QString ArgStrings(DWORD count, const LPWSTR* texts) {
    if (!texts)
        return QStringLiteral("null");
    QStringList items;
    for (DWORD i = 0; i < count; ++i)
        items.append(ArgText(texts[i]));
    return ArgList(items);
}

QString ArgTime(const FILETIME& time) {
    const quint64 ticks = (static_cast<quint64>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return QStringLiteral("%1").arg(ticks, 16, 16, QLatin1Char('0')).toUpper();
}

std::optional<QStringList> InStrings(DWORD count, const LPWSTR* texts) {
    if (count > 0 && !texts)
        return std::nullopt;
    QStringList items;
    for (DWORD i = 0; i < count; ++i) {
        if (!texts[i])
            return std::nullopt;
        items.append(zelk::com::ToQString(texts[i]));
    }
    return items;
}

} // namespace zelk::aesim
