#include "ZelkEventCustomProps.h"

#include "ZelkEventItems.h"
#include "ZelkTypes.h"

void TZelkEventCustomProps::Init(TZelkCategoryLookupRef Lookup, int Count, int Category) {
    const int count = Count > 0 ? Count : 0;
    FValues = std::vector<TValue>(static_cast<std::size_t>(count));
    FCount = count;
    FLookup = std::move(Lookup);
    FCategory = Category;
    FPCategoryResolved = false;
}

void TZelkEventCustomProps::PutValue(int index, const VARIANT& Value, HRESULT Error) {
    CheckIndex(index);
    TValue& slot = FValues[static_cast<std::size_t>(index)];
    slot.Value = zelk::com::ComVariant(Value);
    slot.Error = Error;
}

void TZelkEventCustomProps::PutValue(int index, zelk::com::ComVariant&& Value, HRESULT Error) {
    CheckIndex(index);
    TValue& slot = FValues[static_cast<std::size_t>(index)];
    slot.Value = std::move(Value);
    slot.Error = Error;
}

void TZelkEventCustomProps::CheckIndex(int index) const {
    if (index < 0 || index >= FCount)
        throw Exception(QStringLiteral("Index: out of range"));
}

const zelk::com::ComVariant& TZelkEventCustomProps::Values(int index) const {
    CheckIndex(index);
    return FValues[static_cast<std::size_t>(index)].Value;
}

QString TZelkEventCustomProps::ValueAsString(int index) const {
    return VariantToStr(Values(index).Value());
}

HRESULT TZelkEventCustomProps::Errors(int index) const {
    CheckIndex(index);
    return FValues[static_cast<std::size_t>(index)].Error;
}

bool TZelkEventCustomProps::ServerInactive() const {
    const std::shared_ptr<IZelkCategoryLookup> lookup = FLookup.lock();
    return lookup && !lookup->CategoriesAvailable();
}

const TZelkEventItem* TZelkEventCustomProps::CategoryEntry() const {
    const std::shared_ptr<IZelkCategoryLookup> lookup = FLookup.lock();
    if (!lookup)
        return nullptr;
    const std::uint32_t generation = lookup->CategoriesGeneration();
    if (!FPCategoryResolved || generation != FPCategoryGeneration) {
        FPCategory = lookup->FindCategory(FCategory);
        FPCategoryGeneration = generation;
        FPCategoryResolved = true;
    }
    return FPCategory;
}

QString TZelkEventCustomProps::Names(int index) const {
    CheckIndex(index);
    if (ServerInactive())
        return QString();
    const TZelkEventItem* category = CategoryEntry();
    if (!category)
        return QString();
    const TZelkEventItem* attribute = category->Items->Items(index);
    return attribute ? attribute->Name : QString();
}

int TZelkEventCustomProps::IndexOf(const QString& CustPropName) const {
    if (ServerInactive())
        return -1;
    const TZelkEventItem* category = CategoryEntry();
    return category ? category->Items->IndexOf(CustPropName) : -1;
}

zelk::com::ComVariant TZelkEventCustomProps::ValueByName(const QString& CustPropName) const {
    const int index = IndexOf(CustPropName);
    if (index < 0)
        return zelk::com::ComVariant();
    return Values(index);
}
