#include "ZelkEventList.h"

#include "ZelkEvent.h"
#include "ZelkEventServer.h"
#include "ZelkTextCompare.h"

#include <algorithm>

namespace {

void CheckIndex(qint64 Index, std::size_t Count) {
    if (Index < 0 || static_cast<std::size_t>(Index) >= Count)
        throw EListError::IndexOutOfBounds(Index);
}

} // namespace

void TZelkEvents::DiscardPrevious(TZelkEventServer* Server, std::unique_ptr<TZelkEvent> Previous) {
    if (!Previous)
        return;
    Previous->FOPCAEServer = nullptr;
    if (Server)
        Server->DeleteEvent(Previous.release());
}

TZelkEvents::TZelkEvents() : FKeyCollator(zelk::ae::MakeCollator(Qt::CaseInsensitive)) {}

TZelkEvents::~TZelkEvents() {
    ClearView();
    FEntries.ForEach([this](const TEntry& entry) {
        if (auto* link = entry.Event->FLinks.Find(this)) {
            link->Entries = 0;
            entry.Event->FLinks.ReleaseIfUnused(this);
        }
    });
}

// ---- merging ----

void TZelkEvents::AddEvent(TZelkEvent* Event) {
    if (!Event)
        throw EListError(QStringLiteral("Event is nil"));
    TEntry* found = FindExact(Event->Key());
    if (!found) {
        QCollatorSortKey sortKey = FKeyCollator.sortKey(Event->Key());
        int index = 0;
        if (!FindSortKey(sortKey, index)) {
            TEntry& inserted = FEntries.insert(static_cast<std::size_t>(index),
                                               TEntry{Event->Key(), std::move(sortKey), Event});
            try {
                LinkEntry(Event);
                Hint(inserted);
            } catch (...) {
                FKeyHints.remove(inserted.Key);
                FEntries.erase(static_cast<std::size_t>(index));
                throw;
            }
            JoinView(Event, inserted.SortKey);
            return;
        }
        found = &FEntries[static_cast<std::size_t>(index)];
    }

    TEntry& entry = *found;
    TZelkEvent* older = entry.Event;
    if (older == Event)
        return;
    LinkEntry(Event);
    // The entry is merged completely before anything is deleted, so a handler that raises
    // in DeleteEvent leaves a consistent list behind.
    std::unique_ptr<TZelkEvent> oldest = std::move(older->FLast);
    std::unique_ptr<TZelkEvent> displaced = std::move(Event->FLast);
    Event->FID = older->FID;
    Event->FLast.reset(older);
    entry.Event = Event;
    UnlinkEntry(older);
    // The sort values are read with the inherited ID.
    JoinView(Event, entry.SortKey, older);
    DiscardPrevious(older->FOPCAEServer, std::move(oldest));
    DiscardPrevious(Event->FOPCAEServer, std::move(displaced));
}

TZelkEvent* TZelkEvents::ById(int aId) const {
    const TEntry* found =
        FEntries.FindIf([aId](const TEntry& entry) { return entry.Event->ID() == aId; });
    return found ? found->Event : nullptr;
}

// ---- presentation ----

int TZelkEvents::Count() const {
    if (FSortBylist.empty())
        return KeyCount();
    return static_cast<int>(FView.Count());
}

TZelkEvent* TZelkEvents::Events(int Index) const {
    if (FSortBylist.empty())
        return Objects(Index);
    CheckIndex(Index, FView.Count());
    return FView.At(static_cast<std::size_t>(Index));
}

void TZelkEvents::PutEvent(int Index, TZelkEvent* Event) {
    CheckIndex(Index, FEntries.size());
    if (!Event)
        throw EListError(QStringLiteral("Event is nil"));
    TEntry& entry = FEntries[static_cast<std::size_t>(Index)];
    if (entry.Event == Event)
        return;
    LinkEntry(Event);
    UnlinkEntry(std::exchange(entry.Event, Event));
    JoinView(Event, entry.SortKey);
}

void TZelkEvents::DeleteEvents() {
    ClearView();
    FKeyHints.clear();
    const zelk::ae::TEventEntries entries = std::move(FEntries);
    FEntries.clear();
    entries.ForEach([this](const TEntry& entry) {
        TZelkEvent* event = entry.Event;
        auto* link = event->FLinks.Find(this);
        // An event that several entries hold goes with the last of them.
        if (!link || --link->Entries > 0)
            return;
        event->FLinks.ReleaseIfUnused(this);
        event->FOPCAEServer = nullptr;
        delete event;
    });
}

void TZelkEvents::Resort() {
    if (FSortBylist.empty())
        return;
    std::vector<TZelkEvent*> released;
    try {
        if (FViewCurrent && !FView.NeedsRebuild()) {
            FView.Commit(released);
        } else {
            RebuildView(released);
            FViewCurrent = true;
        }
    } catch (...) {
        ReleaseViewMarks(released);
        throw;
    }
    ReleaseViewMarks(released);
}

void TZelkEvents::RebuildView(std::vector<TZelkEvent*>& Released) {
    std::vector<const TZelkEventSortItem*> items;
    items.reserve(FSortBylist.size());
    for (const auto& item : FSortBylist)
        items.push_back(item.get());
    FView.Reset(items, Released);
    ReleaseViewMarks(Released);
    Released.clear();
    FEntries.ForEach([this](const TEntry& entry) {
        if (FView.Join(entry.Event, entry.SortKey))
            entry.Event->FLinks.Find(this)->InView = true;
    });
    FView.Commit(Released);
}

void TZelkEvents::JoinView(TZelkEvent* Event, const QCollatorSortKey& EntryKey,
                           const TZelkEvent* Previous) {
    // Without sort items, or with a view that the next Resort builds anew, there is
    // nothing to follow.
    if (!FViewCurrent || FSortBylist.empty())
        return;
    try {
        // The event has an entry, hence a link already: marking allocates nothing.
        if (FView.Join(Event, EntryKey, Previous))
            Event->FLinks.Find(this)->InView = true;
    } catch (...) {
        // Out of memory: the next Resort builds the view anew.
        FViewCurrent = false;
    }
}

void TZelkEvents::ReleaseViewMarks(const std::vector<TZelkEvent*>& Events) noexcept {
    for (TZelkEvent* event : Events)
        if (auto* link = event->FLinks.Find(this)) {
            link->InView = false;
            event->FLinks.ReleaseIfUnused(this);
        }
}

// ---- keyed entries ----

bool TZelkEvents::Find(const QString& Key, int& Index) const {
    if (const TEntry* entry = FindExact(Key)) {
        Index = static_cast<int>(FEntries.IndexOf(*entry));
        return true;
    }
    return FindSortKey(FKeyCollator.sortKey(Key), Index);
}

TZelkEvents::TEntry* TZelkEvents::FindExact(const QString& Key) const {
    return FKeyHints.value(Key, nullptr);
}

void TZelkEvents::Hint(TEntry& Entry) const {
    FKeyHints.insert(Entry.Key, &Entry);
}

bool TZelkEvents::FindSortKey(const QCollatorSortKey& SortKey, int& Index) const {
    const std::size_t position = FEntries.LowerBound(SortKey);
    Index = static_cast<int>(position);
    const bool found =
        position < FEntries.size() && FEntries[position].SortKey.compare(SortKey) == 0;
    if (found)
        Hint(const_cast<TEntry&>(FEntries[position]));
    return found;
}

QString TZelkEvents::Keys(int Index) const {
    CheckIndex(Index, FEntries.size());
    return FEntries[static_cast<std::size_t>(Index)].Key;
}

TZelkEvent* TZelkEvents::Objects(int Index) const {
    CheckIndex(Index, FEntries.size());
    return FEntries[static_cast<std::size_t>(Index)].Event;
}

void TZelkEvents::Delete(int Index) {
    CheckIndex(Index, FEntries.size());
    TZelkEvent* event = FEntries[static_cast<std::size_t>(Index)].Event;
    EraseEntry(Index);
    UnlinkEntry(event);
}

void TZelkEvents::EraseEntry(int Index) noexcept {
    FKeyHints.remove(FEntries[static_cast<std::size_t>(Index)].Key);
    FEntries.erase(static_cast<std::size_t>(Index));
}

void TZelkEvents::LinkEntry(TZelkEvent* Event) {
    ++Event->FLinks.Acquire(this).Entries;
}

void TZelkEvents::UnlinkEntry(TZelkEvent* Event) noexcept {
    auto* link = Event->FLinks.Find(this);
    if (!link || link->Entries == 0)
        return;
    --link->Entries;
    // An event shown by the view stays there until the next Resort.
    if (link->InView && FViewCurrent && FView.Leave(Event))
        link->InView = false;
    Event->FLinks.ReleaseIfUnused(this);
}

// ---- sort items ----

const TZelkEventSortItem& TZelkEvents::SortItems(int Index) const {
    CheckIndex(Index, FSortBylist.size());
    return *FSortBylist[static_cast<std::size_t>(Index)];
}

void TZelkEvents::AddSortItem(const QString& PropName, bool Desc) {
    if (PropName == QLatin1String("none"))
        return;
    const TZelkEventProperty* property = FindEventProperty(PropName);
    if (!property)
        throw EPropertyError(QStringLiteral("Property %1 does not exist").arg(PropName));
    auto item = std::make_unique<TZelkEventSortItem>();
    item->PropName = PropName;
    item->Desc = Desc;
    item->PropType = property->Kind;
    item->SortProc = property->Kind == pkText ? &SortByText : &SortByValue;
    item->Property = property;
    FSortBylist.push_back(std::move(item));
    FViewCurrent = false;
}

void TZelkEvents::ClearSortItems() {
    FSortBylist.clear();
    FViewCurrent = false;
}

int TZelkEvents::CompareEvents(const TZelkEvent* E1, const TZelkEvent* E2) const {
    for (const auto& item : FSortBylist) {
        const zelk::com::ComVariant v1 = ReadEventProperty(*E1, *item->Property);
        const zelk::com::ComVariant v2 = ReadEventProperty(*E2, *item->Property);
        if (const int r = item->SortProc(v1.Value(), v2.Value(), item->Desc); r != 0)
            return r;
    }
    return 0;
}

// ---- destroyed events ----

void TZelkEvents::EventDestroyed(TZelkEvent* Event, std::uint32_t Entries, bool InView) noexcept {
    ++FDestroyedCount;
    if (InView)
        FView.Destroyed(Event);
    std::uint32_t remaining = Entries;
    if (remaining == 0)
        return;
    try {
        // The entry under the event's key, unless the key has changed since it was added.
        int index = 0;
        if (Find(Event->Key(), index) && FEntries[static_cast<std::size_t>(index)].Event == Event) {
            EraseEntry(index);
            --remaining;
        }
    } catch (...) {
        // Searched for below.
    }
    for (std::size_t i = FEntries.size(); remaining > 0 && i-- > 0;) {
        if (FEntries[i].Event == Event) {
            EraseEntry(static_cast<int>(i));
            --remaining;
        }
    }
}

void TZelkEvents::ClearView() noexcept {
    std::vector<TZelkEvent*> released;
    try {
        FView.Reset({}, released);
    } catch (...) {
        // Out of memory listing the events: their marks stay, which costs a lookup later.
    }
    ReleaseViewMarks(released);
    FViewCurrent = false;
}
