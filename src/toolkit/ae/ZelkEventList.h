#pragma once

// Two kinds of event list:
//
// TZelkEvents, the event server's list, owns its events. One entry per merge key (an
// event's Key, source name and condition name), kept in key order; keys compare
// case-insensitively by the user's locale, so keys that differ only in letter case share
// one entry. A new notification for a key takes the place of the older one, inherits its
// ID and keeps it as its previous notification. Every event the list holds ends its life
// through the list (a merge that pushes a previous notification out, DeleteEvents, an
// event taken out with Extract), so the list always knows which of its events are gone.
//
// TZelkEventRefs, a referring list: the events of a selection or of an acknowledgement,
// in the order given, owned elsewhere. It is walked through the owning list's
// ForEachLive, which skips what the owning list destroyed during the walk.
//
// Beside the key order the owning list can present a sorted view, ordered by its sort
// items. The view is a snapshot as of the last Resort: events added since are missing
// from it, but an event that left the list since has already left it. While the list has
// sort items, Count and Events present the view; otherwise the key order. The view
// follows the entries as events come and go, so a Resort costs what changed since the
// last one, not the length of the list; only new sort items (or a changed Key) make it
// sort everything again.
//
// No lock: everything runs on the thread that consumes the event server's queue.

#include "Persistent.h"
#include "ZelkEventListEntries.h"
#include "ZelkEventListView.h"
#include "ZelkEventSort.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QHash>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class TZelkEvent;

class TZelkEvents : public TObject {
public:
    // Ends the life of a previous notification that a merge pushed out (the event
    // server's delete operation: OnDeleteEvent, then destruction).
    using TDeleter = std::function<void(std::unique_ptr<TZelkEvent> Event)>;

    // What a walk over a snapshot of events knows: which of them the list has destroyed
    // (or handed over) since the walk began. Addresses are compared, never followed.
    class TWalk {
    public:
        explicit TWalk(TZelkEvents& List);
        ~TWalk();
        TWalk(const TWalk&) = delete;
        TWalk& operator=(const TWalk&) = delete;
        bool Gone(const TZelkEvent* Event) const { return FGone.contains(Event); }

    private:
        friend class TZelkEvents;
        TZelkEvents& FList;
        QSet<const TZelkEvent*> FGone;
    };

    TZelkEvents();
    TZelkEvents(const TZelkEvents&) = delete;
    TZelkEvents& operator=(const TZelkEvents&) = delete;
    // Destroys every event, as DeleteEvents does.
    ~TZelkEvents() override;

    // The operation a merge hands a pushed-out previous notification to; without one the
    // notification is simply destroyed.
    void SetDeleter(TDeleter Deleter) { FDeleter = std::move(Deleter); }

    // Takes Event over and adds it under its Key, or merges it into the entry of that key:
    // Event takes the entry's ID and the older event becomes its previous notification.
    // Then the older one's own previous notification is handed to the deleter (whose
    // handler sees the entry merged already). The sorted view is not touched. A null
    // event is refused (EListError). Returns the event, now held by the list.
    TZelkEvent* AddEvent(std::unique_ptr<TZelkEvent> Event);
    // The first event in key order with that ID; null when there is none. A hash lookup.
    TZelkEvent* ById(int aId) const;
    // The number of events in presentation order.
    int Count() const;
    // The event at Index in presentation order; EListError "List index out of bounds (%d)"
    // outside it.
    TZelkEvent* Events(int Index) const;
    // The events in presentation order, as a snapshot to walk.
    std::vector<TZelkEvent*> Snapshot() const;
    // Replaces the event of the entry at Index in key order, whatever the sorting; the key
    // text stays. The replaced event is handed back, and has left the view.
    std::unique_ptr<TZelkEvent> PutEvent(int Index, std::unique_ptr<TZelkEvent> Event);
    // Whether Event is the event of one of the entries.
    bool Holds(const TZelkEvent* Event) const noexcept;
    // Takes Event out of its entry and out of the view and hands it over; null when the
    // list does not hold it.
    std::unique_ptr<TZelkEvent> Extract(TZelkEvent* Event) noexcept;
    // Destroys every event (no handler fires) and empties the list and the view.
    void DeleteEvents() noexcept;
    // Brings the sorted view up to date: the events added or replaced since the last
    // Resort take their places, the ones that left the entries leave it. Nothing without
    // sort items. Events that compare equal on every sort item keep their key order.
    void Resort();
    // How many times the sorted view has read an event's sort values: once per event that
    // joins it, and once per event when new sort items make it sort everything again.
    std::uint64_t SortValuesRead() const noexcept { return FView.ValuesRead(); }

    // Calls Visit(position, event, walk) for each event of Snapshot in order, skipping
    // every event that this list destroyed or handed over after the walk began (a
    // handler's doing). Events the list never held are visited: their owner keeps them
    // alive. Visit may ask walk.Gone about its event after running a handler.
    template <class Visit>
    void ForEachLive(const std::vector<TZelkEvent*>& Snapshot, Visit&& visit) {
        TWalk walk(*this);
        for (std::size_t position = 0; position < Snapshot.size(); ++position)
            if (TZelkEvent* event = Snapshot[position]; event && !walk.Gone(event))
                visit(position, event, static_cast<const TWalk&>(walk));
    }

    // ---- the keyed entries (the base string list) ----
    int KeyCount() const noexcept { return static_cast<int>(FEntries.size()); }
    // Whether Key has an entry; Index receives its position or the position where it
    // would be inserted.
    bool Find(const QString& Key, int& Index) const;
    // The key text and the event of the entry at Index; EListError outside the list.
    QString Keys(int Index) const;
    TZelkEvent* Objects(int Index) const;

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

    // The entry whose key text is exactly Key, through the hints; no collation involved.
    TEntry* FindExact(const QString& Key) const;
    // The entry that holds Event; null when none does.
    TEntry* EntryOf(const TZelkEvent* Event) const;
    void Hint(TEntry& Entry) const;
    // Finds SortKey among the entries: true when present, Index its position or the
    // insertion point.
    bool FindSortKey(const QCollatorSortKey& SortKey, int& Index) const;
    // Takes the entry at Index out and hands its event over; the event has left the view.
    std::unique_ptr<TZelkEvent> EraseEntry(int Index) noexcept;
    void IndexId(TEntry& Entry);
    void UnindexId(const TEntry& Entry) noexcept;
    // The event and its previous notification leave the view and every walk learns of
    // them: they are about to be destroyed or handed over.
    void Forget(const TZelkEvent* Event) noexcept;
    // The same for one address, which is not followed: the event may be gone already.
    void ForgetAddress(const TZelkEvent* Event) noexcept;
    // A previous notification that a merge pushed out: through the deleter, or destroyed.
    void Discard(std::unique_ptr<TZelkEvent> Previous);
    // Gives an event that joined an entry (replacing Previous, if any) its place in the
    // view at the next Resort.
    void JoinView(TZelkEvent* Event, const TEntry& Entry, const TZelkEvent* Previous = nullptr);
    void RebuildView();
    void ClearView() noexcept;

    zelk::ae::TEventEntries FEntries;
    // The entry of each key text (exact), to spare the collator and the search when a
    // notification carries its key as first written. An entry keeps its address while it
    // lives, and its hint goes with it.
    mutable QHash<QString, TEntry*> FKeyHints;
    // The entries by their event's ID; several when events share an ID.
    QMultiHash<int, TEntry*> FById;
    // The sorted view; reading it takes events that left out, hence mutable.
    mutable zelk::ae::TEventView FView;
    std::vector<std::unique_ptr<TZelkEventSortItem>> FSortBylist;
    std::int32_t FTag = 0;
    // Whether the view follows the entries; false when the next Resort must build it
    // whole (new sort items, a changed Key, the list emptied).
    bool FViewCurrent = false;
    TDeleter FDeleter;
    // The walks under way, innermost last.
    std::vector<TWalk*> FWalks;
    QCollator FKeyCollator;
};

// A referring list: events owned elsewhere (by an event list, or by the caller), in the
// order they were added. It never destroys them; walk it with the owning list's
// ForEachLive when handlers may destroy events along the way.
class TZelkEventRefs {
public:
    TZelkEventRefs() = default;
    // The events of List in its presentation order.
    explicit TZelkEventRefs(const TZelkEvents& List) : FEvents(List.Snapshot()) {}

    void AddEvent(TZelkEvent* Event) {
        if (Event)
            FEvents.push_back(Event);
    }
    int Count() const noexcept { return static_cast<int>(FEvents.size()); }
    TZelkEvent* Events(int Index) const;
    const std::vector<TZelkEvent*>& Snapshot() const noexcept { return FEvents; }

private:
    std::vector<TZelkEvent*> FEvents;
};
