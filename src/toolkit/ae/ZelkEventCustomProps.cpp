#include "ZelkEventCustomProps.h"

#include "ZelkEventItems.h"
#include "ZelkEventServer.h"
#include "ZelkTypes.h"

void TZelkEventCustomProps::Init(TZelkEventServer* Server, int Count, int Category) {
    const int count = Count > 0 ? Count : 0;
    FValues = std::vector<TValue>(static_cast<std::size_t>(count));
    FCount = count;
    FOPCServer = Server;
    FCategory = Category;
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

TZelkEventServer* TZelkEventCustomProps::OPCServer() const noexcept {
    return FOPCServer.data();
}

bool TZelkEventCustomProps::ServerInactive() const {
    return FOPCServer && !FOPCServer->Active();
}

TZelkEventItem* TZelkEventCustomProps::CategoryEntry() const {
    TZelkEventServer* const server = FOPCServer.data();
    if (!server)
        return nullptr;
    const std::uint32_t generation = server->CategoriesGeneration();
    if (!FPCategoryResolved || generation != FPCategoryGeneration) {
        FPCategory = server->Categories()->ById(FCategory);
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
