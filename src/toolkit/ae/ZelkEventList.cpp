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

// Removes the addresses in Gone (sorted) from List, without following any of them.
void RemoveAddresses(std::vector<TZelkEvent*>& List, const std::vector<TZelkEvent*>& Gone) {
    List.erase(std::remove_if(List.begin(), List.end(),
                              [&Gone](TZelkEvent* event) {
                                  return std::binary_search(Gone.begin(), Gone.end(), event);
                              }),
               List.end());
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
    for (const TEntry& entry : FEntries)
        UnlinkEntry(entry.Event);
}

// ---- merging ----

void TZelkEvents::AddEvent(TZelkEvent* Event) {
    if (!Event)
        throw EListError(QStringLiteral("Event is nil"));
    FViewCurrent = false;
    int index = 0;
    if (!FindExact(Event->Key(), index)) {
        QCollatorSortKey sortKey = FKeyCollator.sortKey(Event->Key());
        if (!FindSortKey(sortKey, index)) {
            FEntries.insert(FEntries.begin() + index,
                            TEntry{Event->Key(), std::move(sortKey), Event});
            try {
                LinkEntry(Event);
                FKeyHints.insert(Event->Key(), index);
            } catch (...) {
                FEntries.erase(FEntries.begin() + index);
                throw;
            }
            return;
        }
        FKeyHints.insert(FEntries[static_cast<std::size_t>(index)].Key, index);
    }

    TEntry& entry = FEntries[static_cast<std::size_t>(index)];
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
    DiscardPrevious(older->FOPCAEServer, std::move(oldest));
    DiscardPrevious(Event->FOPCAEServer, std::move(displaced));
}

TZelkEvent* TZelkEvents::ById(int aId) const {
    for (const TEntry& entry : FEntries)
        if (entry.Event->ID() == aId)
            return entry.Event;
    return nullptr;
}

// ---- presentation ----

int TZelkEvents::Count() const {
    if (FSortBylist.empty())
        return KeyCount();
    PurgeView();
    return static_cast<int>(FSortlist.size());
}

TZelkEvent* TZelkEvents::Events(int Index) const {
    if (FSortBylist.empty())
        return Objects(Index);
    PurgeView();
    CheckIndex(Index, FSortlist.size());
    return FSortlist[static_cast<std::size_t>(Index)];
}

void TZelkEvents::PutEvent(int Index, TZelkEvent* Event) {
    CheckIndex(Index, FEntries.size());
    if (!Event)
        throw EListError(QStringLiteral("Event is nil"));
    TEntry& entry = FEntries[static_cast<std::size_t>(Index)];
    if (entry.Event == Event)
        return;
    FViewCurrent = false;
    LinkEntry(Event);
    UnlinkEntry(std::exchange(entry.Event, Event));
}

void TZelkEvents::DeleteEvents() {
    ClearView();
    FViewCurrent = false;
    FKeyHints.clear();
    const std::vector<TEntry> entries = std::move(FEntries);
    FEntries.clear();
    for (const TEntry& entry : entries) {
        TZelkEvent* event = entry.Event;
        auto* link = event->FLinks.Find(this);
        // An event that several entries hold goes with the last of them.
        if (!link || --link->Entries > 0)
            continue;
        event->FLinks.ReleaseIfUnused(this);
        event->FOPCAEServer = nullptr;
        delete event;
    }
    FSorter.Release();
}

void TZelkEvents::Resort() {
    if (FSortBylist.empty())
        return;
    if (FViewCurrent) {
        PurgeView();
        return;
    }
    // The view is rebuilt whole: destroyed events only need to leave the list of those
    // that left the entries, whose view marks end here unless they came back.
    std::sort(FDestroyedInView.begin(), FDestroyedInView.end());
    RemoveAddresses(FLeftView, FDestroyedInView);
    FDestroyedInView.clear();
    for (TZelkEvent* event : FLeftView) {
        if (auto* link = event->FLinks.Find(this); link && link->Entries == 0) {
            link->InView = false;
            event->FLinks.ReleaseIfUnused(this);
        }
    }
    FLeftView.clear();

    std::vector<const TZelkEventSortItem*> items;
    items.reserve(FSortBylist.size());
    for (const auto& item : FSortBylist)
        items.push_back(item.get());
    try {
        FSorter.Prepare(items, FEntries.size());
        // Every event here has an entry, hence a link already: marking allocates nothing.
        for (const TEntry& entry : FEntries) {
            entry.Event->FLinks.Find(this)->InView = true;
            FSorter.Add(entry.Event);
        }
        FSorter.Sort(FSortlist);
        FViewCurrent = true;
    } catch (...) {
        // Out of memory: the view is left empty rather than half marked.
        for (const TEntry& entry : FEntries)
            entry.Event->FLinks.Find(this)->InView = false;
        FSortlist.clear();
        throw;
    }
}

// ---- keyed entries ----

bool TZelkEvents::Find(const QString& Key, int& Index) const {
    return FindExact(Key, Index) || FindSortKey(FKeyCollator.sortKey(Key), Index);
}

bool TZelkEvents::FindExact(const QString& Key, int& Index) const {
    const auto hint = FKeyHints.constFind(Key);
    if (hint == FKeyHints.cend())
        return false;
    const qsizetype index = hint.value();
    if (index >= static_cast<qsizetype>(FEntries.size()) ||
        FEntries[static_cast<std::size_t>(index)].Key != Key)
        return false;
    Index = static_cast<int>(index);
    return true;
}

bool TZelkEvents::FindSortKey(const QCollatorSortKey& SortKey, int& Index) const {
    const auto position = std::lower_bound(FEntries.begin(), FEntries.end(), SortKey,
                                           [](const TEntry& entry, const QCollatorSortKey& key) {
                                               return entry.SortKey.compare(key) < 0;
                                           });
    Index = static_cast<int>(position - FEntries.begin());
    const bool found = position != FEntries.end() && position->SortKey.compare(SortKey) == 0;
    if (found)
        FKeyHints.insert(position->Key, Index);
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
    FViewCurrent = false;
    EraseEntry(Index);
    UnlinkEntry(event);
}

void TZelkEvents::EraseEntry(int Index) noexcept {
    const auto position = FEntries.begin() + Index;
    FKeyHints.remove(position->Key);
    FEntries.erase(position);
}

void TZelkEvents::LinkEntry(TZelkEvent* Event) {
    ++Event->FLinks.Acquire(this).Entries;
}

void TZelkEvents::UnlinkEntry(TZelkEvent* Event) noexcept {
    auto* link = Event->FLinks.Find(this);
    if (!link || link->Entries == 0)
        return;
    if (--link->Entries == 0 && link->InView) {
        // Still in the view until the next Resort, which then forgets the mark.
        try {
            FLeftView.push_back(Event);
            return;
        } catch (...) {
            FSortlist.erase(std::remove(FSortlist.begin(), FSortlist.end(), Event),
                            FSortlist.end());
            link->InView = false;
        }
    }
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
    if (InView) {
        try {
            FDestroyedInView.push_back(Event);
        } catch (...) {
            // No memory to defer the removal: take the event out of the view now.
            FSortlist.erase(std::remove(FSortlist.begin(), FSortlist.end(), Event),
                            FSortlist.end());
            FLeftView.erase(std::remove(FLeftView.begin(), FLeftView.end(), Event),
                            FLeftView.end());
        }
    }
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

void TZelkEvents::PurgeView() const noexcept {
    if (FDestroyedInView.empty())
        return;
    std::sort(FDestroyedInView.begin(), FDestroyedInView.end());
    RemoveAddresses(FSortlist, FDestroyedInView);
    RemoveAddresses(FLeftView, FDestroyedInView);
    FDestroyedInView.clear();
}

void TZelkEvents::ClearView() noexcept {
    PurgeView();
    for (const std::vector<TZelkEvent*>* list : {&FSortlist, &FLeftView})
        for (TZelkEvent* event : *list)
            if (auto* link = event->FLinks.Find(this)) {
                link->InView = false;
                event->FLinks.ReleaseIfUnused(this);
            }
    FSortlist.clear();
    FLeftView.clear();
}
