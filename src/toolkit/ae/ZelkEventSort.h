#pragma once

// Sorting events by their published properties: the property table, the sort items and
// their comparators.
//
// The order is defined by the comparators over variants (SortByValue, SortByText), as
// TZelkEvents::CompareEvents applies them. The sorted view does not read variants: each
// sort item resolves once to a typed reader, and the values are encoded so that comparing
// the codes gives exactly the comparator's order (Booleans false before true, date-times
// as numbers, texts by the locale's case-sensitive collation).

#include "comholders.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

class TZelkEvent;

// The kind of a sortable property's type, which says how it compares.
enum TZelkPropKind : std::uint8_t {
    pkInteger,  // 32-bit integer, by value
    pkBoolean,  // as the names "False" and "True": false sorts first
    pkDateTime, // a date-time, by value
    pkText,     // by the locale-aware, case-sensitive comparison
};

// One published property of TZelkEvent with a typed reader for its kind.
struct TZelkEventProperty {
    const char* Name;
    TZelkPropKind Kind;
    std::int32_t (*ReadInteger)(const TZelkEvent&); // pkInteger and pkBoolean (0 or 1)
    double (*ReadDateTime)(const TZelkEvent&);      // pkDateTime
    const QString& (*ReadText)(const TZelkEvent&);  // pkText
};

// The published property of that name (any letter case); null when there is none.
const TZelkEventProperty* FindEventProperty(const QString& Name);
// Every published property, in declaration order.
const std::vector<TZelkEventProperty>& EventProperties();
// The value of Property of Event as the comparators read it: integers as VT_I4,
// date-times as VT_R8, texts as VT_BSTR, Booleans as the text "False" or "True".
zelk::com::ComVariant ReadEventProperty(const TZelkEvent& Event,
                                        const TZelkEventProperty& Property);

// Negative when Item1 sorts first, 0 when equal, positive when Item2 sorts first; `down`
// reverses the result.
using TSortProc = int (*)(const VARIANT& Item1, const VARIANT& Item2, bool down);

// Numbers by value; anything else by its text (the Boolean names among them).
int SortByValue(const VARIANT& Item1, const VARIANT& Item2, bool down);
// The texts of the items by the locale-aware, case-sensitive comparison.
int SortByText(const VARIANT& Item1, const VARIANT& Item2, bool down);

// One sort key of an event list.
class TZelkEventSortItem {
public:
    // The property name as written in the sort line.
    QString PropName;
    bool Desc = false;
    TZelkPropKind PropType = pkInteger;
    TSortProc SortProc = nullptr;
    // The resolved property; never null in a list's sort items.
    const TZelkEventProperty* Property = nullptr;
};

namespace zelk::ae {

// The value of Item's property of Event as a code whose unsigned order is the order of
// SortByValue, descending already folded in. Not for text properties.
std::uint64_t SortCode(const TZelkEvent& Event, const TZelkEventSortItem& Item);

} // namespace zelk::ae
