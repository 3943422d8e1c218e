#pragma once

// TZelkEvents: the event list. One entry per merge key (an event's Key, source name and
// condition name), kept in key order; keys compare case-insensitively by the user's
// locale, so keys that differ only in letter case share one entry. A new notification
// for a key takes the place of the older one, inherits its ID and keeps it as its
// previous notification.
//
// Beside the key order the list can present a sorted view, ordered by its sort items. The
// view is a snapshot as of the last Resort: events added since are missing from it, but
// an event destroyed since has already left it. While the list has sort items, Count and
// Events present the view; otherwise the key order. The view follows the entries as
// events come and go, so a Resort costs what changed since the last one, not the length
// of the list; only new sort items (or a changed Key) make it sort everything again.
//
// The list does not own its events; DeleteEvents destroys them. An event destroyed
// elsewhere leaves every list that holds it, entries and view alike, at once. No lock:
// everything runs on the thread that consumes the event server's queue.

#include "Persistent.h"
#include "ZelkEventListEntries.h"
#include "ZelkEventListView.h"
#include "ZelkEventSort.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QHash>
#include <QString>
#include <memory>
#include <vector>

class TZelkEvent;
class TZelkEventServer;

class TZelkEvents : public TObject {
public:
    TZelkEvents();
    TZelkEvents(const TZelkEvents&) = delete;
    TZelkEvents& operator=(const TZelkEvents&) = delete;
    // Leaves the events alive.
    ~TZelkEvents() override;

    // Adds Event under its Key, or merges it into the entry of that key: Event takes the
    // entry's ID and the older event becomes its previous notification. Then the older
    // one's own previous notification is deleted through its event server's DeleteEvent
    // (whose OnDeleteEvent sees the entry merged already) or, without a server,
    // destroyed. The sorted view is not touched. A null event is refused (EListError);
    // adding the event an entry already holds changes nothing.
    void AddEvent(TZelkEvent* Event);
    // The first event in key order with that ID; null when there is none.
    TZelkEvent* ById(int aId) const;
    // The number of events in presentation order.
    int Count() const;
    // The event at Index in presentation order; EListError "List index out of bounds (%d)"
    // outside it.
    TZelkEvent* Events(int Index) const;
    // Replaces the event of the entry at Index in key order, whatever the sorting; the key
    // text stays, and the replaced event is not destroyed (the view keeps it until the
    // next Resort).
    void PutEvent(int Index, TZelkEvent* Event);
    // Destroys every event (no handler fires) and empties the list and the view.
    void DeleteEvents();
    // Brings the sorted view up to date: the events added or replaced since the last
    // Resort take their places, the ones that left the entries leave it. Nothing without
    // sort items. Events that compare equal on every sort item keep their key order.
    void Resort();
    // The number of events destroyed so far while this list held them. A walk over a
    // copy of the list compares it before and after a step to learn whether its copy may
    // now hold destroyed events.
    std::uint64_t DestroyedCount() const noexcept { return FDestroyedCount; }
    // How many times the sorted view has read an event's sort values: once per event that
    // joins it, and once per event when new sort items make it sort everything again.
    std::uint64_t SortValuesRead() const noexcept { return FView.ValuesRead(); }

    // ---- the keyed entries (the base string list) ----
    int KeyCount() const noexcept { return static_cast<int>(FEntries.size()); }
    // Whether Key has an entry; Index receives its position or the position where it
    // would be inserted.
    bool Find(const QString& Key, int& Index) const;
    // The key text and the event of the entry at Index; EListError outside the list.
    QString Keys(int Index) const;
    TZelkEvent* Objects(int Index) const;
    // Removes the entry at Index without destroying its event. EListError outside the list.
    void Delete(int Index);

    // ---- sort items ----
    int SortItemCount() const noexcept { return static_cast<int>(FSortBylist.size()); }
    const TZelkEventSortItem& SortItems(int Index) const;
    // Appends the sort item for the published property PropName (any case); "none" adds
    // nothing. EPropertyError "Property %s does not exist" for any other unknown name.
    void AddSortItem(const QString& PropName, bool Desc);
    // Destroys every sort item; the view keeps its last order until the next Resort.
    void ClearSortItems();
    // The order of two events by the sort items, read through their published properties
    // as variants: negative when E1 sorts first. Resort gives the same order.
    int CompareEvents(const TZelkEvent* E1, const TZelkEvent* E2) const;

    int Tag() const noexcept { return FTag; }
    void SetTag(int Value) noexcept { FTag = Value; }

private:
    friend class TZelkEvent;

    using TEntry = zelk::ae::TEventEntry;

    // Detaches a previous notification that leaves its holder and ends its life through
    // the delete operation of Server (OnDeleteEvent, then destruction), or directly.
    static void DiscardPrevious(TZelkEventServer* Server, std::unique_ptr<TZelkEvent> Previous);
    // Called by a destroyed event that this list referred to.
    void EventDestroyed(TZelkEvent* Event, std::uint32_t Entries, bool InView) noexcept;
    // The entry whose key text is exactly Key, through the hints; no collation involved.
    TEntry* FindExact(const QString& Key) const;
    void Hint(TEntry& Entry) const;
    // Finds SortKey among the entries: true when present, Index its position or the
    // insertion point.
    bool FindSortKey(const QCollatorSortKey& SortKey, int& Index) const;
    void EraseEntry(int Index) noexcept;
    void LinkEntry(TZelkEvent* Event);
    void UnlinkEntry(TZelkEvent* Event) noexcept;
    // Gives an event that joined an entry (replacing Previous, if any) its place in the
    // view at the next Resort.
    void JoinView(TZelkEvent* Event, const QCollatorSortKey& EntryKey,
                  const TZelkEvent* Previous = nullptr);
    void RebuildView(std::vector<TZelkEvent*>& Released);
    // Clears the view marks of events the view no longer holds.
    void ReleaseViewMarks(const std::vector<TZelkEvent*>& Events) noexcept;
    void ClearView() noexcept;

    zelk::ae::TEventEntries FEntries;
    // The entry of each key text (exact), to spare the collator and the search when a
    // notification carries its key as first written. An entry keeps its address while it
    // lives, and its hint goes with it.
    mutable QHash<QString, TEntry*> FKeyHints;
    // The sorted view; reading it takes destroyed events out, hence mutable.
    mutable zelk::ae::TEventView FView;
    std::vector<std::unique_ptr<TZelkEventSortItem>> FSortBylist;
    std::int32_t FTag = 0;
    // Whether the view follows the entries; false when the next Resort must build it
    // whole (new sort items, a changed Key, the list emptied).
    bool FViewCurrent = false;
    std::uint64_t FDestroyedCount = 0;
    QCollator FKeyCollator;
};
