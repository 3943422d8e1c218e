#include "ZelkEventList.h"

#include "ZelkEvent.h"
#include "ZelkTextCompare.h"

#include <algorithm>

namespace {

void CheckIndex(qint64 Index, std::size_t Count) {
    if (Index < 0 || static_cast<std::size_t>(Index) >= Count)
        throw EListError::IndexOutOfBounds(Index);
}

std::unique_ptr<TZelkEvent> CheckedEvent(std::unique_ptr<TZelkEvent> Event) {
    if (!Event)
        throw EListError(QStringLiteral("Event is nil"));
    return Event;
}

} // namespace

// ---- walks ----

TZelkEvents::TWalk::TWalk(TZelkEvents& List) : FList(List) {
    FList.FWalks.push_back(this);
}

TZelkEvents::TWalk::~TWalk() {
    std::erase(FList.FWalks, this);
}

void TZelkEvents::Forget(const TZelkEvent* Event) noexcept {
    if (!Event)
        return;
    ForgetAddress(Event);
    ForgetAddress(Event->FLast.get());
}

void TZelkEvents::ForgetAddress(const TZelkEvent* Event) noexcept {
    if (!Event)
        return;
    FView.Forget(Event);
    for (TWalk* walk : FWalks) {
        try {
            walk->FGone.insert(Event);
        } catch (...) {
            // Out of memory: the walk may visit an event that left. Not expected.
        }
    }
}

// ---- life of the list ----

TZelkEvents::TZelkEvents() : FKeyCollator(zelk::ae::MakeCollator(Qt::CaseInsensitive)) {}

TZelkEvents::~TZelkEvents() {
    DeleteEvents();
}

void TZelkEvents::DeleteEvents() noexcept {
    ClearView();
    FKeyHints.clear();
    FById.clear();
    zelk::ae::TEventEntries entries = std::move(FEntries);
    FEntries.clear();
    entries.ForEach([this](const TEntry& entry) {
        Forget(entry.Event.get());
        entry.Event->FList = nullptr;
        entry.Event->FOPCAEServer.clear();
    });
    // The entries' events go with them, previous notifications included; no handler fires.
}

// ---- merging ----

TZelkEvent* TZelkEvents::AddEvent(std::unique_ptr<TZelkEvent> Event) {
    Event = CheckedEvent(std::move(Event));
    TZelkEvent* const event = Event.get();
    TEntry* found = FindExact(event->Key());
    if (!found) {
        QCollatorSortKey sortKey = FKeyCollator.sortKey(event->Key());
        int index = 0;
        if (!FindSortKey(sortKey, index)) {
            TEntry& inserted =
                FEntries.insert(static_cast<std::size_t>(index),
                                TEntry{event->Key(), std::move(sortKey), std::move(Event)});
            try {
                Hint(inserted);
                IndexId(inserted);
            } catch (...) {
                FKeyHints.remove(inserted.Key);
                UnindexId(inserted);
                FEntries.erase(static_cast<std::size_t>(index));
                throw;
            }
            event->FList = this;
            JoinView(event, inserted);
            return event;
        }
        found = &FEntries[static_cast<std::size_t>(index)];
    }

    TEntry& entry = *found;
    TZelkEvent* const older = entry.Event.get();
    // The entry is merged completely before anything is deleted, so a handler that raises
    // in the deleter leaves a consistent list behind.
    std::unique_ptr<TZelkEvent> oldest = std::move(older->FLast);
    std::unique_ptr<TZelkEvent> displaced = std::move(event->FLast);
    event->FID = older->FID;
    older->FList = nullptr;
    event->FLast = std::exchange(entry.Event, std::move(Event));
    event->FList = this;
    FView.Leave(older);
    // The sort values are read with the inherited ID.
    JoinView(event, entry, older);
    Discard(std::move(oldest));
    Discard(std::move(displaced));
    return event;
}

void TZelkEvents::Discard(std::unique_ptr<TZelkEvent> Previous) {
    if (!Previous)
        return;
    // It may still be shown by the view until the deleter has ended its life, so that a
    // handler reads it there; after that its addresses are never followed.
    const TZelkEvent* const previous = Previous.get();
    const TZelkEvent* const itsPrevious = Previous->FLast.get();
    Previous->FOPCAEServer.clear();
    try {
        if (FDeleter)
            FDeleter(std::move(Previous));
        else
            Previous.reset();
    } catch (...) {
        ForgetAddress(previous);
        ForgetAddress(itsPrevious);
        throw;
    }
    ForgetAddress(previous);
    ForgetAddress(itsPrevious);
}

TZelkEvent* TZelkEvents::ById(int aId) const {
    auto it = FById.constFind(aId);
    if (it == FById.cend())
        return nullptr;
    if (auto next = std::next(it); next == FById.cend() || next.key() != aId)
        return it.value()->Event.get();
    // Events sharing an ID (of no server, or a counter that wrapped): the first in key order.
    const TEntry* first = nullptr;
    std::size_t firstIndex = 0;
    for (; it != FById.cend() && it.key() == aId; ++it) {
        const std::size_t index = FEntries.IndexOf(*it.value());
        if (!first || index < firstIndex) {
            first = it.value();
            firstIndex = index;
        }
    }
    return first->Event.get();
}

void TZelkEvents::IndexId(TEntry& Entry) {
    FById.insert(Entry.Event->ID(), &Entry);
}

void TZelkEvents::UnindexId(const TEntry& Entry) noexcept {
    FById.remove(Entry.Event->ID(), const_cast<TEntry*>(&Entry));
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

std::vector<TZelkEvent*> TZelkEvents::Snapshot() const {
    std::vector<TZelkEvent*> events;
    const int count = Count();
    events.reserve(static_cast<std::size_t>(count));
    if (FSortBylist.empty())
        FEntries.ForEach([&events](const TEntry& entry) { events.push_back(entry.Event.get()); });
    else
        for (int i = 0; i < count; ++i)
            events.push_back(FView.At(static_cast<std::size_t>(i)));
    return events;
}

std::unique_ptr<TZelkEvent> TZelkEvents::PutEvent(int Index, std::unique_ptr<TZelkEvent> Event) {
    CheckIndex(Index, FEntries.size());
    Event = CheckedEvent(std::move(Event));
    TEntry& entry = FEntries[static_cast<std::size_t>(Index)];
    TZelkEvent* const event = Event.get();
    UnindexId(entry);
    Forget(entry.Event.get());
    std::unique_ptr<TZelkEvent> replaced = std::exchange(entry.Event, std::move(Event));
    replaced->FList = nullptr;
    event->FList = this;
    try {
        IndexId(entry);
    } catch (...) {
        // Out of memory: ById cannot find this event. Not expected.
    }
    JoinView(event, entry);
    return replaced;
}

bool TZelkEvents::Holds(const TZelkEvent* Event) const noexcept {
    return Event && Event->FList == this;
}

std::unique_ptr<TZelkEvent> TZelkEvents::Extract(TZelkEvent* Event) noexcept {
    if (!Holds(Event))
        return nullptr;
    const TEntry* entry = EntryOf(Event);
    if (!entry)
        return nullptr;
    return EraseEntry(static_cast<int>(FEntries.IndexOf(*entry)));
}

void TZelkEvents::Resort() {
    if (FSortBylist.empty())
        return;
    if (FViewCurrent && !FView.NeedsRebuild()) {
        FView.Commit();
        return;
    }
    RebuildView();
    FViewCurrent = true;
}

void TZelkEvents::RebuildView() {
    std::vector<const TZelkEventSortItem*> items;
    items.reserve(FSortBylist.size());
    for (const auto& item : FSortBylist)
        items.push_back(item.get());
    FView.Reset(items, FEntries.size());
    FEntries.ForEach(
        [this](const TEntry& entry) { FView.Join(entry.Event.get(), entry.Key, entry.SortKey); });
    FView.Commit();
}

void TZelkEvents::JoinView(TZelkEvent* Event, const TEntry& Entry, const TZelkEvent* Previous) {
    // Without sort items, or with a view that the next Resort builds anew, there is
    // nothing to follow.
    if (!FViewCurrent || FSortBylist.empty())
        return;
    try {
        FView.Join(Event, Entry.Key, Entry.SortKey, Previous);
    } catch (...) {
        // Out of memory: the next Resort builds the view anew.
        FViewCurrent = false;
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

TZelkEvents::TEntry* TZelkEvents::EntryOf(const TZelkEvent* Event) const {
    for (auto it = FById.constFind(Event->ID()); it != FById.cend() && it.key() == Event->ID();
         ++it)
        if (it.value()->Event.get() == Event)
            return it.value();
    return nullptr;
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
    return FEntries[static_cast<std::size_t>(Index)].Event.get();
}

std::unique_ptr<TZelkEvent> TZelkEvents::EraseEntry(int Index) noexcept {
    TEntry& entry = FEntries[static_cast<std::size_t>(Index)];
    std::unique_ptr<TZelkEvent> event = std::move(entry.Event);
    FById.remove(event->ID(), &entry);
    FKeyHints.remove(entry.Key);
    FEntries.erase(static_cast<std::size_t>(Index));
    Forget(event.get());
    event->FList = nullptr;
    return event;
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

void TZelkEvents::ClearView() noexcept {
    try {
        FView.Reset({});
    } catch (...) {
        // Out of memory: the view is rebuilt at the next Resort all the same.
    }
    FViewCurrent = false;
}

// ---- the referring list ----

TZelkEvent* TZelkEventRefs::Events(int Index) const {
    CheckIndex(Index, FEvents.size());
    return FEvents[static_cast<std::size_t>(Index)];
}
