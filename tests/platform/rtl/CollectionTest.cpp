#include "Collection.h"

#include "Exceptions.h"

#include <QPointer>
#include <gtest/gtest.h>

namespace {

class TNamedItem : public TCollectionItem {
public:
    using TCollectionItem::TCollectionItem;
    QString Name;
    QString DisplayName() const override {
        return Name.isEmpty() ? TCollectionItem::DisplayName() : Name;
    }
};

class TCountingCollection : public TCollection {
public:
    TCountingCollection() : TCollection(ItemFactory<TNamedItem>()) {}
    TNamedItem* Item(int i) const { return static_cast<TNamedItem*>(Items(i)); }
    int Updates = 0;

protected:
    void Update(TCollectionItem*) override { ++Updates; }
};

} // namespace

TEST(Collection, OwnsItsItemsAndKeepsTheirOrder) {
    TCountingCollection list;
    auto* first = static_cast<TNamedItem*>(list.Add());
    auto* second = static_cast<TNamedItem*>(list.Add());
    auto* inserted = static_cast<TNamedItem*>(list.Insert(0));
    first->Name = QStringLiteral("first");
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(0), inserted);
    EXPECT_EQ(first->Index(), 1);
    EXPECT_EQ(first->Collection(), &list);
    EXPECT_EQ(first->parent(), &list);
    EXPECT_NE(first->ID(), second->ID());
    EXPECT_EQ(list.FindItemID(second->ID()), second);
    EXPECT_EQ(first->DisplayName(), QStringLiteral("first"));
    EXPECT_EQ(second->DisplayName(), QStringLiteral("TCollectionItem"));
    EXPECT_THROW(list.Items(3), EListError);
    EXPECT_THROW(list.Insert(5), EListError);

    second->SetIndex(0);
    EXPECT_EQ(list.Items(0), second);
    EXPECT_EQ(list.Items(2), first);

    // Deleting an item takes it out of the collection.
    delete second;
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(0), inserted);
    QPointer<TCollectionItem> watched = list.Items(1);
    list.Delete(1);
    EXPECT_TRUE(watched.isNull());

    // An item moved out belongs to the caller.
    inserted->SetCollection(nullptr);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(inserted->parent(), nullptr);
    delete inserted;
}

TEST(Collection, UpdateBracketsCollapseNotifications) {
    TCountingCollection list;
    list.Add();
    EXPECT_EQ(list.Updates, 1);
    list.BeginUpdate();
    list.Add();
    list.Add();
    list.Delete(0);
    EXPECT_EQ(list.Updates, 1);
    {
        TCollectionUpdate inner(list);
        list.Clear();
    }
    EXPECT_EQ(list.Updates, 1);
    list.EndUpdate();
    EXPECT_EQ(list.Updates, 2);
    EXPECT_EQ(list.Count(), 0);

    QPointer<TCollectionItem> survivor;
    {
        TCountingCollection temporary;
        survivor = temporary.Add();
    }
    EXPECT_TRUE(survivor.isNull());
}
