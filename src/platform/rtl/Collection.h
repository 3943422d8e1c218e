#pragma once

// TCollection / TCollectionItem: an ordered list of items of one item class, stored in
// the text form as `Prop = < item … end … >`. The collection owns its items (they are
// its Qt children); deleting an item takes it out of its collection.
//
// A collection is published as a read-only Q_PROPERTY of pointer type (the reader fills
// it in place); the items' Q_PROPERTYs are written and read by the component's rules.

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class TCollection;

class TCollectionItem : public QObject {
    Q_OBJECT

public:
    // Joins Collection at its end when one is given; the collection owns the item then.
    explicit TCollectionItem(TCollection* Collection);
    ~TCollectionItem() override;

    TCollection* Collection() const { return FCollection; }
    // Moves the item to another collection (or none: the caller owns it then).
    void SetCollection(TCollection* Value);
    // Position in the collection, -1 without one.
    int Index() const;
    void SetIndex(int Value);
    // Unique within the collection for its lifetime; never reused.
    int ID() const { return FID; }
    // The item's text in lists; the class name unless overridden.
    virtual QString DisplayName() const;

protected:
    // Tells the collection that this item (or, with AllItems, the whole list) changed.
    void Changed(bool AllItems);

private:
    friend class TCollection;

    TCollection* FCollection = nullptr;
    int FID = 0;
};

class TCollection : public QObject {
    Q_OBJECT

public:
    // Creates one item of the collection's item class; the item's constructor inserts it.
    using TItemFactory = std::function<TCollectionItem*(TCollection*)>;

    template <class TItem> static TItemFactory ItemFactory() {
        return [](TCollection* collection) { return new TItem(collection); };
    }

    // AOwner (the Qt parent) is the persistent owner, usually the publishing component.
    explicit TCollection(TItemFactory Factory, QObject* AOwner = nullptr);
    ~TCollection() override;

    QObject* Owner() const { return parent(); }
    int Count() const { return static_cast<int>(FItems.size()); }
    // EListError for an index out of range.
    TCollectionItem* Items(int Index) const;
    TCollectionItem* FindItemID(int ID) const;

    TCollectionItem* Add();
    TCollectionItem* Insert(int Index);
    void Delete(int Index);
    void Clear();

    // Update() is called once per outermost bracket instead of once per change.
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return FUpdateCount; }

protected:
    // Item changed, or the whole collection when Item is null. Does nothing here.
    virtual void Update(TCollectionItem* Item);
    void Changed();

private:
    friend class TCollectionItem;

    void InsertItem(TCollectionItem* Item);
    void RemoveItem(TCollectionItem* Item);

    TItemFactory FFactory;
    // Owning (Qt children); an item removes itself in its destructor.
    QList<TCollectionItem*> FItems;
    int FUpdateCount = 0;
    int FNextID = 0;
};

// Ends a collection update bracket also when the work inside it raises.
class TCollectionUpdate {
public:
    explicit TCollectionUpdate(TCollection& Collection) : FCollection(Collection) {
        FCollection.BeginUpdate();
    }
    ~TCollectionUpdate() { FCollection.EndUpdate(); }
    TCollectionUpdate(const TCollectionUpdate&) = delete;
    TCollectionUpdate& operator=(const TCollectionUpdate&) = delete;

private:
    TCollection& FCollection;
};
