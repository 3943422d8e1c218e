#include "ZelkEventItems.h"

TZelkEventItems::~TZelkEventItems() {
    Clear();
}

TZelkEventItem* TZelkEventItems::Items(int Index) const {
    if (Index < 0 || Index >= Count())
        throw EListError::IndexOutOfBounds(Index);
    return FItems[static_cast<std::size_t>(Index)].get();
}

std::unique_ptr<TZelkEventItem> TZelkEventItems::PutItems(int Index,
                                                          std::unique_ptr<TZelkEventItem> Value) {
    if (Index < 0 || Index >= Count())
        throw EListError::IndexOutOfBounds(Index);
    return std::exchange(FItems[static_cast<std::size_t>(Index)], std::move(Value));
}

TZelkEventItem* TZelkEventItems::Add(std::unique_ptr<TZelkEventItem> Item) {
    FItems.push_back(std::move(Item));
    return FItems.back().get();
}

void TZelkEventItems::Clear() {
    // Items are destroyed from the back, each before it leaves the list.
    while (!FItems.empty())
        FItems.pop_back();
}

TZelkEventItem* TZelkEventItems::ById(int aID) const {
    for (const auto& item : FItems)
        if (item && item->Id == aID)
            return item.get();
    return nullptr;
}

TZelkEventItem* TZelkEventItems::ByName(const QString& aName) const {
    const int index = IndexOf(aName);
    return index < 0 ? nullptr : FItems[static_cast<std::size_t>(index)].get();
}

int TZelkEventItems::IndexOf(const QString& aName) const {
    for (std::size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i] && FItems[i]->Name == aName)
            return static_cast<int>(i);
    return -1;
}

void TZelkEventItems::NamesToStrings(QStringList& Names) const {
    Names.clear();
    Names.reserve(Count());
    for (const auto& item : FItems)
        Names.append(item ? item->Name : QString());
}
