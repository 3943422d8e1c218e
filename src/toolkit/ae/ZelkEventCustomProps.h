#pragma once

// TZelkEventCustomProps: the attribute values of one event (or of one condition
// snapshot), in the order of the attribute list of the event's category, with one
// result code per value. The names of the values come from a category lookup, which
// the event server provides (its Categories cache); the container knows nothing else of
// the server.

#include "Persistent.h"
#include "ZelkEventCategoryLookup.h"
#include "comholders.h"

#include <QString>
#include <vector>

class TZelkEventCustomProps : public TObject {
public:
    // Empty: Count 0, no category lookup, no category entry.
    TZelkEventCustomProps() = default;

    // Count empty values named by the attribute list of category Category as Lookup finds
    // it; every result code 0. A negative Count is taken as 0.
    void Init(TZelkCategoryLookupRef Lookup, int Count, int Category);
    // Stores a copy of Value and its result code. "Index: out of range" outside Count.
    void PutValue(int index, const VARIANT& Value, HRESULT Error);
    // Stores Value itself (it is left empty) and its result code.
    void PutValue(int index, zelk::com::ComVariant&& Value, HRESULT Error);
    // Raises the runtime's exception "Index: out of range" unless 0 <= index < Count.
    void CheckIndex(int index) const;

    int Count() const noexcept { return FCount; }
    int Tag() const noexcept { return FTag; }
    void SetTag(int Value) noexcept { FTag = Value; }
    // The lookup that names the values; expired once its event server has been destroyed.
    const TZelkCategoryLookupRef& CategoryLookup() const noexcept { return FLookup; }
    int Category() const noexcept { return FCategory; }

    const zelk::com::ComVariant& Values(int index) const;
    // The value's text (VariantToStr): arrays as "1;2;<3;4;>", empty when not convertible.
    QString ValueAsString(int index) const;
    // The attribute's description; empty while the server is not active or the category
    // is unknown. EListError when the category lists fewer attributes than index + 1.
    QString Names(int index) const;
    HRESULT Errors(int index) const;
    // The position of the first attribute named CustPropName (exactly) in the category's
    // attribute list, whether or not it is below Count; -1 when there is none, or while
    // the server is not active.
    int IndexOf(const QString& CustPropName) const;
    // The value of the attribute named CustPropName; empty when IndexOf gives -1, "Index:
    // out of range" when the position is not below Count.
    zelk::com::ComVariant ValueByName(const QString& CustPropName) const;

private:
    // The category entry, looked up on first use. It is looked up again after the server
    // has dropped its caches (a connect or disconnect), so a container that outlives them
    // never reaches a destroyed entry. Null while the server is not active.
    const TZelkEventItem* CategoryEntry() const;
    // Whether a lookup is there and its server is not active: then no names are given.
    bool ServerInactive() const;

    struct TValue {
        zelk::com::ComVariant Value;
        HRESULT Error = S_OK;
    };

    // The values with their result codes, one block for both.
    std::vector<TValue> FValues;
    std::int32_t FCount = 0;
    // Expires with its event server, since a condition snapshot may outlive the server it
    // was read from.
    TZelkCategoryLookupRef FLookup;
    std::int32_t FCategory = 0;
    mutable const TZelkEventItem* FPCategory = nullptr; // not owned; valid for the generation
    mutable std::uint32_t FPCategoryGeneration = 0;
    mutable bool FPCategoryResolved = false;
    std::int32_t FTag = 0;
};
