#pragma once

// The entries of the event server's caches: categories with their attributes, and
// conditions with their sub-conditions. What Id, IType, Name and DataType hold depends on
// the list an item sits in:
//
//   list                     Id                     IType                 Name         DataType
//   Categories               category id            event type 1, 4, 2    description  0
//   a category's Items       attribute id           category id (16 bit)  description  VARTYPE
//   Conditions               position in category   category id (16 bit)  name         0
//   a condition's Items      position in condition  0                     name         0

#include "Persistent.h"
#include "comtypes.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class TZelkEventItem;

// An ordered list that owns its items.
class TZelkEventItems : public TObject {
public:
    TZelkEventItems() = default;
    TZelkEventItems(const TZelkEventItems&) = delete;
    TZelkEventItems& operator=(const TZelkEventItems&) = delete;
    ~TZelkEventItems() override;

    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    // EListError "List index out of bounds (%d)" outside 0 .. Count - 1.
    TZelkEventItem* Items(int Index) const;
    // Puts Value at Index and hands back the item it replaces, which the list no longer
    // owns. EListError outside the list.
    std::unique_ptr<TZelkEventItem> PutItems(int Index, std::unique_ptr<TZelkEventItem> Value);
    // Appends the item, which the list then owns; returns it.
    TZelkEventItem* Add(std::unique_ptr<TZelkEventItem> Item);
    // Destroys every item (and with it its own Items).
    void Clear();

    // Linear searches from position 0; names match exactly (case-sensitive).
    TZelkEventItem* ById(int aID) const;
    TZelkEventItem* ByName(const QString& aName) const;
    int IndexOf(const QString& aName) const;
    // Replaces Names by the Name of every item, in list order.
    void NamesToStrings(QStringList& Names) const;

private:
    std::vector<std::unique_ptr<TZelkEventItem>> FItems;
};

class TZelkEventItem : public TObject {
public:
    TZelkEventItem() : Items(std::make_unique<TZelkEventItems>()) {}
    TZelkEventItem(int AId, WORD AIType, const QString& AName, VARTYPE ADataType = 0)
        : Id(AId), IType(AIType), Name(AName), DataType(ADataType),
          Items(std::make_unique<TZelkEventItems>()) {}

    std::int32_t Id = 0;
    WORD IType = 0;
    QString Name;
    VARTYPE DataType = 0;
    // Owned; never null.
    const std::unique_ptr<TZelkEventItems> Items;
};
