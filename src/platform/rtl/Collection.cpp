#include "Collection.h"

#include "Exceptions.h"

#include <utility>

TCollectionItem::TCollectionItem(TCollection* Collection) : QObject(nullptr) {
    SetCollection(Collection);
}

TCollectionItem::~TCollectionItem() {
    SetCollection(nullptr);
}

void TCollectionItem::SetCollection(TCollection* Value) {
    if (Value == FCollection)
        return;
    if (FCollection)
        FCollection->RemoveItem(this);
    if (Value)
        Value->InsertItem(this);
}

int TCollectionItem::Index() const {
    return FCollection
               ? static_cast<int>(FCollection->FItems.indexOf(const_cast<TCollectionItem*>(this)))
               : -1;
}

void TCollectionItem::SetIndex(int Value) {
    if (!FCollection)
        return;
    const int current = Index();
    if (Value < 0)
        Value = 0;
    if (Value >= FCollection->Count())
        Value = FCollection->Count() - 1;
    if (Value == current)
        return;
    FCollection->FItems.move(current, Value);
    Changed(true);
}

QString TCollectionItem::DisplayName() const {
    return QString::fromLatin1(metaObject()->className());
}

void TCollectionItem::Changed(bool AllItems) {
    if (FCollection && FCollection->FUpdateCount == 0)
        FCollection->Update(AllItems ? nullptr : this);
}

TCollection::TCollection(TItemFactory Factory, QObject* AOwner)
    : QObject(AOwner), FFactory(std::move(Factory)) {}

TCollection::~TCollection() {
    // No Update() calls from a collection that is going away.
    FUpdateCount = 1;
    Clear();
}

TCollectionItem* TCollection::Items(int Index) const {
    if (Index < 0 || Index >= FItems.size())
        throw EListError::IndexOutOfBounds(Index);
    return FItems.at(Index);
}

TCollectionItem* TCollection::FindItemID(int ID) const {
    for (TCollectionItem* item : FItems) {
        if (item->FID == ID)
            return item;
    }
    return nullptr;
}

TCollectionItem* TCollection::Add() {
    TCollectionItem* item = FFactory ? FFactory(this) : nullptr;
    if (!item || item->FCollection != this) {
        delete item;
        throw EListError(QStringLiteral("The collection's item factory did not add an item"));
    }
    return item;
}

TCollectionItem* TCollection::Insert(int Index) {
    if (Index < 0 || Index > FItems.size())
        throw EListError::IndexOutOfBounds(Index);
    TCollectionItem* item = Add();
    item->SetIndex(Index);
    return item;
}

void TCollection::Delete(int Index) {
    delete Items(Index);
}

void TCollection::Clear() {
    if (FItems.isEmpty())
        return;
    BeginUpdate();
    while (!FItems.isEmpty())
        delete FItems.last(); // the item's destructor takes it out of FItems
    EndUpdate();
}

void TCollection::BeginUpdate() {
    ++FUpdateCount;
}

void TCollection::EndUpdate() {
    if (FUpdateCount > 0 && --FUpdateCount == 0)
        Changed();
}

void TCollection::Update(TCollectionItem*) {}

void TCollection::Changed() {
    if (FUpdateCount == 0)
        Update(nullptr);
}

void TCollection::InsertItem(TCollectionItem* Item) {
    FItems.append(Item);
    Item->FCollection = this;
    Item->FID = FNextID++;
    Item->setParent(this);
    Changed();
}

void TCollection::RemoveItem(TCollectionItem* Item) {
    FItems.removeOne(Item);
    Item->FCollection = nullptr;
    Item->setParent(nullptr);
    Changed();
}
