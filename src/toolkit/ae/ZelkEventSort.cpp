#include "ZelkEventSort.h"

#include "ZelkEvent.h"
#include "ZelkTextCompare.h"

#include <QMetaProperty>
#include <algorithm>
#include <bit>
#include <cmath>

namespace {

// Captureless lambdas become the table's function pointers.
#define ZELK_INT(name)                                                                             \
    {                                                                                              \
#name, pkInteger, [](const TZelkEvent& e) { return e.name(); }, nullptr, nullptr           \
    }
#define ZELK_BOOL(name)                                                                            \
    {                                                                                              \
#name, pkBoolean,                                                                          \
            [](const TZelkEvent& e) { return std::int32_t(e.name() ? 1 : 0); }, nullptr, nullptr   \
    }
#define ZELK_TIME(name)                                                                            \
    {                                                                                              \
#name, pkDateTime, nullptr, [](const TZelkEvent& e) { return e.name(); }, nullptr          \
    }
#define ZELK_TEXT(name)                                                                            \
    {                                                                                              \
#name, pkText, nullptr, nullptr,                                                           \
            [](const TZelkEvent& e) -> const QString& { return e.name(); }                         \
    }

// In the order of TZelkEvent's Q_PROPERTY declarations (a test holds the two together).
const std::vector<TZelkEventProperty> Properties = {
    ZELK_BOOL(Active),
    ZELK_BOOL(Enabled),
    ZELK_BOOL(Acknowledged),
    ZELK_TEXT(ActorID),
    ZELK_TEXT(Source),
    ZELK_TIME(Time),
    ZELK_TIME(ActiveTime),
    ZELK_TEXT(Msg),
    ZELK_INT(NewState),
    ZELK_INT(ChangeMask),
    ZELK_INT(EventType),
    ZELK_INT(EventCategory),
    ZELK_INT(Severity),
    ZELK_TEXT(ConditionName),
    ZELK_TEXT(SubconditionName),
    ZELK_INT(Quality),
    ZELK_BOOL(AckRequired),
    ZELK_INT(Cookie),
    ZELK_INT(NumEventAttrs),
    ZELK_INT(ID),
    ZELK_TEXT(Key),
};

#undef ZELK_INT
#undef ZELK_BOOL
#undef ZELK_TIME
#undef ZELK_TEXT

// A number held by the variant, exactly (long double carries every 64-bit integer).
bool NumberOf(const VARIANT& value, long double& number) {
    switch (value.vt) {
    case VT_I1:
        number = value.cVal;
        return true;
    case VT_UI1:
        number = value.bVal;
        return true;
    case VT_I2:
        number = value.iVal;
        return true;
    case VT_UI2:
        number = value.uiVal;
        return true;
    case VT_I4:
        number = value.lVal;
        return true;
    case VT_UI4:
        number = value.ulVal;
        return true;
    case VT_INT:
        number = value.intVal;
        return true;
    case VT_UINT:
        number = value.uintVal;
        return true;
    case VT_I8:
        number = value.llVal;
        return true;
    case VT_UI8:
        number = value.ullVal;
        return true;
    case VT_R4:
        number = value.fltVal;
        return true;
    case VT_R8:
        number = value.dblVal;
        return true;
    case VT_DATE:
        number = value.date;
        return true;
    default:
        return false;
    }
}

QString TextOf(const VARIANT& value) {
    QString text;
    if (FAILED(zelk::com::VariantToQString(value, text)))
        text.clear();
    return text;
}

// ---- the typed sort ----

// Codes whose unsigned order is the comparator's order, descending already folded in.
std::uint64_t IntegerCode(std::int32_t value) {
    return static_cast<std::uint32_t>(value) ^ 0x80000000u;
}

std::uint64_t DateTimeCode(double value) {
    constexpr std::uint64_t signBit = std::uint64_t(1) << 63;
    if (std::isnan(value))
        return ~std::uint64_t(0); // never produced by a conversion; kept last, consistently
    // Adding +0.0 turns -0.0 into +0.0: the two are equal as numbers.
    const auto bits = std::bit_cast<std::uint64_t>(value + 0.0);
    return (bits & signBit) ? ~bits : bits | signBit;
}

std::uint64_t CodeOf(const TZelkEvent& event, const TZelkEventSortItem& item) {
    const TZelkEventProperty& property = *item.Property;
    const std::uint64_t code = property.Kind == pkDateTime
                                   ? DateTimeCode(property.ReadDateTime(event))
                                   : IntegerCode(property.ReadInteger(event));
    return item.Desc ? ~code : code;
}

} // namespace

const TZelkEventProperty* FindEventProperty(const QString& Name) {
    for (const TZelkEventProperty& property : Properties)
        if (Name.compare(QLatin1String(property.Name), Qt::CaseInsensitive) == 0)
            return &property;
    return nullptr;
}

const std::vector<TZelkEventProperty>& EventProperties() {
    return Properties;
}

zelk::com::ComVariant ReadEventProperty(const TZelkEvent& Event,
                                        const TZelkEventProperty& Property) {
    // Through the published property, as a generic reader sees it.
    const QMetaObject& meta = TZelkEvent::staticMetaObject;
    const QMetaProperty metaProperty = meta.property(meta.indexOfProperty(Property.Name));
    const QVariant value = metaProperty.readOnGadget(&Event);
    switch (value.typeId()) {
    case QMetaType::Bool:
        return zelk::com::ComVariant(value.toBool() ? QStringLiteral("True")
                                                    : QStringLiteral("False"));
    case QMetaType::Int:
        return zelk::com::ComVariant(static_cast<LONG>(value.toInt()));
    case QMetaType::Double:
        return zelk::com::ComVariant(value.toDouble());
    case QMetaType::QString:
        return zelk::com::ComVariant(value.toString());
    default:
        return zelk::com::ComVariant();
    }
}

int SortByValue(const VARIANT& Item1, const VARIANT& Item2, bool down) {
    long double n1 = 0;
    long double n2 = 0;
    int r = 0;
    if (NumberOf(Item1, n1) && NumberOf(Item2, n2))
        r = n1 > n2 ? 1 : (n1 == n2 ? 0 : -1);
    else
        r = AnsiCompareStr(TextOf(Item1), TextOf(Item2));
    return down ? -r : r;
}

int SortByText(const VARIANT& Item1, const VARIANT& Item2, bool down) {
    const int r = AnsiCompareStr(TextOf(Item1), TextOf(Item2));
    return down ? -r : r;
}

namespace zelk::ae {

std::uint64_t SortCode(const TZelkEvent& Event, const TZelkEventSortItem& Item) {
    return CodeOf(Event, Item);
}

} // namespace zelk::ae
