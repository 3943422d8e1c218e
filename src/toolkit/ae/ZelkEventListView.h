#pragma once

// The sorted view of an event list, kept in order as events come and go, so that the
// cost of a batch of notifications depends on the batch and not on the length of the
// list.
//
// Each event of the view has a row that holds its sort values, read once when the event
// joins, as 64-bit codes whose order is the sort's: numbers encoded so, texts by the
// codes of their collation order (ZelkTextCodes.h), so that two rows compare as integers.
// A row's values never change their order while it is in the order, so a row is found
// again by binary search, also after its event is destroyed (the row keeps the values,
// the event's address is never followed again). Rows are ordered by the sort items, then
// by the key order of the entry the event joined under, then by the order of joining,
// which makes the order total.
//
// Changes are collected and applied together: events that joined or left show in the
// order after the next Commit; an event the list forgets (it is being destroyed or handed
// over) leaves it before the next read. A
// Commit costs a binary search per changed row plus one pass of block moves over the
// order; with many changes it merges instead.

#include "ZelkEventSort.h"
#include "ZelkTextCodes.h"

#include <QCollatorSortKey>
#include <QHash>
#include <cstdint>
#include <memory>
#include <vector>

class TZelkEvent;

namespace zelk::ae {

class TEventView {
public:
    TEventView();
    ~TEventView();
    TEventView(const TEventView&) = delete;
    TEventView& operator=(const TEventView&) = delete;

    // Drops every row and sorts the rows that join from now on by Items (each resolved
    // to its property). Expected, when known, is how many will join before the next
    // Commit: room is made for them at once.
    void Reset(const std::vector<const TZelkEventSortItem*>& Items, std::size_t Expected = 0);
    // Event joins under the entry of key EntryText, which collates as EntryKey; it shows
    // after the next Commit. True when the event got a row now (it had none). Previous,
    // when given and still alive, is the event it replaces in that entry: a text it
    // shares with that one is not looked up again.
    bool Join(TZelkEvent* Event, const QString& EntryText, const QCollatorSortKey& EntryKey,
              const TZelkEvent* Previous = nullptr);
    // Event left an entry. It stays in the order until the next Commit, unless it has not
    // reached the order yet: then its row goes at once and the result is true.
    bool Leave(const TZelkEvent* Event) noexcept;
    // Event is being destroyed or handed over: its row leaves the order before the next
    // read, and its address is never followed again.
    void Forget(const TZelkEvent* Event) noexcept;
    // Applies what changed since the last Commit. On failure (out of memory) the view is
    // empty and NeedsRebuild is true.
    void Commit();
    // True when a change could not be recorded: only a Reset brings the view in step.
    bool NeedsRebuild() const noexcept { return FBroken; }

    // How many times an event's sort values were read: once for each event that joins.
    std::uint64_t ValuesRead() const noexcept { return FValuesRead; }

    // The order as of the last Commit, without destroyed events.
    std::size_t Count() noexcept;
    // Index must be below Count().
    TZelkEvent* At(std::size_t Index) noexcept;

private:
    using TNode = TTextCodes::TNode;
    struct TRow {
        TZelkEvent* Event = nullptr; // null once destroyed
        // The first two sort values; the others are in FCodes.
        std::uint64_t K0 = 0;
        std::uint64_t K1 = 0;
        std::uint64_t Seq = 0;
        std::uint32_t Joins = 0;
        bool InOrder = false;
        bool PendingIn = false;
        bool PendingOut = false;
        bool Free = true;
    };
    // One sort value of a row: a sort item's, or (the last one) the entry key's.
    struct TSlot {
        const TZelkEventSortItem* Item = nullptr; // null for the entry key
        int Text = -1;                            // the text's place in FNodes, or -1
    };

    bool Less(std::uint32_t a, std::uint32_t b) const noexcept;
    std::uint64_t& Code(std::uint32_t Row, std::size_t Slot) noexcept;
    TNode*& NodeOf(std::uint32_t Row, std::size_t Slot) noexcept;
    // A free row, its sort values not yet read.
    std::uint32_t TakeRow();
    void ReadValues(std::uint32_t Row, const TZelkEvent& Event, const QString& EntryText,
                    const QCollatorSortKey& EntryKey, const TZelkEvent* Previous);
    void ReleaseValues(std::uint32_t Row) noexcept;
    // When the text codes were given anew since last seen, every row's text codes are read
    // again; true then.
    bool FollowRelabels() noexcept;
    void RefreshTextCodes() noexcept;
    void FreeLater(std::uint32_t Row) noexcept;
    // Takes the rows out of the order; each must be in it.
    void RemoveFromOrder(const std::vector<std::uint32_t>& Rows) noexcept;
    void InsertIntoOrder(std::vector<std::uint32_t>& Rows);
    void PurgeForgotten() noexcept;
    void Clear() noexcept;

    std::vector<TSlot> FSlots;
    std::size_t FWide = 0;  // the slots beyond the first two, each row's share of FCodes
    std::size_t FTexts = 0; // the text slots, each row's share of FNodes
    std::vector<TRow> FRows;
    std::vector<std::uint64_t> FCodes; // by row, then slot
    std::vector<TNode*> FNodes;        // by row, then text slot
    // The sort items' texts, by the locale's case-sensitive collation; the entry keys by
    // the list's key collation.
    std::unique_ptr<TTextCodes> FItemTexts;
    TTextCodes FEntryTexts;
    std::uint64_t FRelabelsSeen = 0;
    QHash<const TZelkEvent*, std::uint32_t> FRowOf;
    std::uint64_t FNextSeq = 0;
    std::uint64_t FValuesRead = 0;

    std::vector<std::uint32_t> FOrder;
    std::vector<std::uint32_t> FPendingIn;
    std::vector<std::uint32_t> FPendingOut;
    std::vector<std::uint32_t> FForgotten;
    std::vector<std::uint32_t> FPlaces; // scratch of RemoveFromOrder
    // Rows are reused only after a Commit: until then a pending list may still name them.
    std::vector<std::uint32_t> FFree;
    std::vector<std::uint32_t> FFreeAfterCommit;
    bool FBroken = false;
};

} // namespace zelk::ae
