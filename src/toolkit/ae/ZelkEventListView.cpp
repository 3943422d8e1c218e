#include "ZelkEventListView.h"

#include "ZelkEvent.h"
#include "ZelkTextCompare.h"

#include <algorithm>

namespace zelk::ae {

namespace {

// Above this share of changed rows a Commit merges the order whole instead of searching
// a place for each row.
constexpr std::size_t MergeShare = 16;

} // namespace

TEventView::TEventView() = default;
TEventView::~TEventView() = default;

void TEventView::Reset(const std::vector<const TZelkEventSortItem*>& Items, std::size_t Expected) {
    Clear();
    FSlots.clear();
    FTexts = 0;
    bool text = false;
    for (const TZelkEventSortItem* item : Items) {
        const bool isText = item->Property->Kind == pkText;
        FSlots.push_back({item, isText ? static_cast<int>(FTexts++) : -1});
        text = text || isText;
    }
    FSlots.push_back({nullptr, static_cast<int>(FTexts++)}); // the entry key decides ties
    FWide = FSlots.size() > 2 ? FSlots.size() - 2 : 0;
    // The user's locale as it is now: a view built later follows a change.
    FItemTexts = text ? std::make_unique<TTextCodes>(MakeCollator(Qt::CaseSensitive)) : nullptr;
    FRelabelsSeen = 0;
    FBroken = false;
    // Only room: without it the view still fills, growing as it goes.
    try {
        FRowOf.reserve(static_cast<qsizetype>(Expected));
        if (FItemTexts)
            FItemTexts->Reserve(Expected);
    } catch (...) {
    }
}

void TEventView::Clear() noexcept {
    FRows.clear();
    FCodes.clear();
    FNodes.clear();
    if (FItemTexts)
        FItemTexts->Clear();
    FEntryTexts.Clear();
    FRowOf.clear();
    FOrder.clear();
    FPendingIn.clear();
    FPendingOut.clear();
    FForgotten.clear();
    FFree.clear();
    FFreeAfterCommit.clear();
}

bool TEventView::Less(std::uint32_t a, std::uint32_t b) const noexcept {
    const TRow& ra = FRows[a];
    const TRow& rb = FRows[b];
    if (ra.K0 != rb.K0)
        return ra.K0 < rb.K0;
    if (ra.K1 != rb.K1)
        return ra.K1 < rb.K1;
    const std::uint64_t* ca = FCodes.data() + a * FWide;
    const std::uint64_t* cb = FCodes.data() + b * FWide;
    for (std::size_t i = 0; i < FWide; ++i)
        if (ca[i] != cb[i])
            return ca[i] < cb[i];
    return ra.Seq < rb.Seq;
}

std::uint64_t& TEventView::Code(std::uint32_t Row, std::size_t Slot) noexcept {
    if (Slot == 0)
        return FRows[Row].K0;
    if (Slot == 1)
        return FRows[Row].K1;
    return FCodes[Row * FWide + Slot - 2];
}

TEventView::TNode*& TEventView::NodeOf(std::uint32_t Row, std::size_t Slot) noexcept {
    return FNodes[Row * FTexts + static_cast<std::size_t>(FSlots[Slot].Text)];
}

std::uint32_t TEventView::TakeRow() {
    if (!FFree.empty())
        return FFree.back();
    const std::size_t count = FRows.size();
    try {
        FCodes.resize((count + 1) * FWide);
        FNodes.resize((count + 1) * FTexts);
        FRows.resize(count + 1);
        // Every row is named at most once in each of these lists, so with this much room
        // the operations that must not fail never allocate.
        const std::size_t room = FRows.capacity();
        for (std::vector<std::uint32_t>* list :
             {&FOrder, &FPendingOut, &FForgotten, &FPlaces, &FFree, &FFreeAfterCommit})
            list->reserve(room);
    } catch (...) {
        FCodes.resize(count * FWide);
        FNodes.resize(count * FTexts);
        FRows.resize(count);
        throw;
    }
    FFree.push_back(static_cast<std::uint32_t>(count));
    return static_cast<std::uint32_t>(count);
}

void TEventView::ReadValues(std::uint32_t Row, const TZelkEvent& Event, const QString& EntryText,
                            const QCollatorSortKey& EntryKey, const TZelkEvent* Previous) {
    // A new notification of a condition mostly repeats the texts of the one it replaces.
    const auto found = Previous ? FRowOf.constFind(Previous) : FRowOf.cend();
    const std::optional<std::uint32_t> previous =
        found != FRowOf.cend() ? std::optional(found.value()) : std::nullopt;
    ++FValuesRead;
    for (std::size_t slot = 0; slot < FSlots.size(); ++slot) {
        const TZelkEventSortItem* item = FSlots[slot].Item;
        if (FSlots[slot].Text < 0) {
            Code(Row, slot) = SortCode(Event, *item);
            continue;
        }
        TNode*& node = NodeOf(Row, slot);
        TNode* const shared = previous ? NodeOf(*previous, slot) : nullptr;
        if (!item) {
            // The same entry as the event it replaces.
            if (shared)
                TTextCodes::AddUse(*(node = shared));
            else
                node = &FEntryTexts.Acquire(EntryText, &EntryKey);
            continue;
        }
        const QString& text = item->Property->ReadText(Event);
        if (shared && item->Property->ReadText(*Previous) == text)
            TTextCodes::AddUse(*(node = shared));
        else
            node = &FItemTexts->Acquire(text);
    }
    if (!FollowRelabels()) {
        for (std::size_t slot = 0; slot < FSlots.size(); ++slot)
            if (FSlots[slot].Text >= 0) {
                const std::uint64_t code = NodeOf(Row, slot)->Code;
                Code(Row, slot) = FSlots[slot].Item && FSlots[slot].Item->Desc ? ~code : code;
            }
    }
}

void TEventView::ReleaseValues(std::uint32_t Row) noexcept {
    for (std::size_t slot = 0; slot < FSlots.size(); ++slot) {
        if (FSlots[slot].Text < 0)
            continue;
        TNode*& node = NodeOf(Row, slot);
        if (!node)
            continue;
        if (FSlots[slot].Item)
            FItemTexts->Release(*node);
        else
            FEntryTexts.Release(*node);
        node = nullptr;
    }
}

bool TEventView::FollowRelabels() noexcept {
    const std::uint64_t relabels =
        FEntryTexts.Relabels() + (FItemTexts ? FItemTexts->Relabels() : 0);
    if (relabels == FRelabelsSeen)
        return false;
    FRelabelsSeen = relabels;
    RefreshTextCodes();
    return true;
}

void TEventView::RefreshTextCodes() noexcept {
    // Codes are given anew in the same order: the order of the rows stays as it is.
    for (std::uint32_t row = 0; row < FRows.size(); ++row)
        for (std::size_t slot = 0; slot < FSlots.size(); ++slot)
            if (FSlots[slot].Text >= 0)
                if (const TNode* node = NodeOf(row, slot)) {
                    const std::uint64_t code = node->Code;
                    Code(row, slot) = FSlots[slot].Item && FSlots[slot].Item->Desc ? ~code : code;
                }
}

bool TEventView::Join(TZelkEvent* Event, const QString& EntryText, const QCollatorSortKey& EntryKey,
                      const TZelkEvent* Previous) {
    if (const auto found = FRowOf.constFind(Event); found != FRowOf.cend()) {
        ++FRows[found.value()].Joins;
        return false;
    }
    const std::uint32_t index = TakeRow();
    try {
        ReadValues(index, *Event, EntryText, EntryKey, Previous);
        FPendingIn.push_back(index);
        try {
            FRowOf.insert(Event, index);
        } catch (...) {
            FPendingIn.pop_back();
            throw;
        }
    } catch (...) {
        ReleaseValues(index);
        FollowRelabels();
        throw;
    }
    // The row leaves the free list only now that nothing can fail any more.
    FFree.pop_back();
    TRow& row = FRows[index];
    row.Event = Event;
    row.Seq = FNextSeq++;
    row.Joins = 1;
    row.PendingIn = true;
    row.Free = false;
    return true;
}

bool TEventView::Leave(const TZelkEvent* Event) noexcept {
    const auto found = FRowOf.constFind(Event);
    if (found == FRowOf.cend())
        return false;
    const std::uint32_t index = found.value();
    TRow& row = FRows[index];
    if (row.Joins > 0)
        --row.Joins;
    if (row.Joins > 0)
        return false;
    if (row.InOrder) {
        if (!row.PendingOut) {
            row.PendingOut = true;
            FPendingOut.push_back(index);
        }
        return false;
    }
    // Never shown: the row goes now; the pending list skips it.
    row.PendingIn = false;
    FreeLater(index);
    return true;
}

void TEventView::Forget(const TZelkEvent* Event) noexcept {
    const auto found = FRowOf.constFind(Event);
    if (found == FRowOf.cend())
        return;
    const std::uint32_t index = found.value();
    TRow& row = FRows[index];
    row.Event = nullptr;
    row.PendingIn = false;
    FRowOf.erase(found);
    if (row.InOrder)
        FForgotten.push_back(index); // freed once it has left the order
    else
        FreeLater(index);
}

void TEventView::FreeLater(std::uint32_t Row) noexcept {
    TRow& row = FRows[Row];
    if (row.Free)
        return;
    if (row.Event)
        FRowOf.remove(row.Event);
    row = TRow{};
    ReleaseValues(Row);
    FFreeAfterCommit.push_back(Row);
}

void TEventView::RemoveFromOrder(const std::vector<std::uint32_t>& Rows) noexcept {
    if (Rows.empty())
        return;
    const auto less = [this](std::uint32_t a, std::uint32_t b) { return Less(a, b); };
    FPlaces.clear();
    for (const std::uint32_t row : Rows) {
        auto at = std::lower_bound(FOrder.begin(), FOrder.end(), row, less);
        if (at == FOrder.end() || *at != row)
            at = std::find(FOrder.begin(), FOrder.end(), row); // not expected: the order is total
        if (at != FOrder.end())
            FPlaces.push_back(static_cast<std::uint32_t>(at - FOrder.begin()));
    }
    if (FPlaces.empty())
        return;
    std::sort(FPlaces.begin(), FPlaces.end());
    FPlaces.erase(std::unique(FPlaces.begin(), FPlaces.end()), FPlaces.end());
    // One pass: each run between two removed places moves down as a block.
    auto write = FOrder.begin() + FPlaces.front();
    for (std::size_t i = 0; i < FPlaces.size(); ++i) {
        const auto from = FOrder.begin() + FPlaces[i] + 1;
        const auto to = i + 1 < FPlaces.size() ? FOrder.begin() + FPlaces[i + 1] : FOrder.end();
        write = std::move(from, to, write);
    }
    FOrder.erase(write, FOrder.end());
}

void TEventView::InsertIntoOrder(std::vector<std::uint32_t>& Rows) {
    if (Rows.empty())
        return;
    const auto less = [this](std::uint32_t a, std::uint32_t b) { return Less(a, b); };
    std::sort(Rows.begin(), Rows.end(), less);
    const std::size_t before = FOrder.size();
    if (Rows.size() * MergeShare >= before) {
        FOrder.insert(FOrder.end(), Rows.begin(), Rows.end());
        std::inplace_merge(FOrder.begin(), FOrder.begin() + static_cast<std::ptrdiff_t>(before),
                           FOrder.end(), less);
        return;
    }
    // The places, found while the order is as it was; then one pass of block moves from
    // the back opens each gap.
    std::vector<std::size_t> places(Rows.size());
    for (std::size_t i = 0; i < Rows.size(); ++i)
        places[i] = static_cast<std::size_t>(
            std::lower_bound(FOrder.begin(), FOrder.end(), Rows[i], less) - FOrder.begin());
    FOrder.resize(before + Rows.size());
    std::size_t end = before;
    for (std::size_t i = Rows.size(); i-- > 0;) {
        const auto first = FOrder.begin() + static_cast<std::ptrdiff_t>(places[i]);
        const auto last = FOrder.begin() + static_cast<std::ptrdiff_t>(end);
        std::move_backward(first, last, last + static_cast<std::ptrdiff_t>(i + 1));
        FOrder[places[i] + i] = Rows[i];
        end = places[i];
    }
}

void TEventView::Commit() {
    PurgeForgotten();
    try {
        std::vector<std::uint32_t> leaving;
        for (const std::uint32_t index : FPendingOut) {
            TRow& row = FRows[index];
            if (!row.Free && row.PendingOut && row.InOrder && row.Joins == 0)
                leaving.push_back(index);
            row.PendingOut = false;
        }
        FPendingOut.clear();
        RemoveFromOrder(leaving);
        for (const std::uint32_t index : leaving)
            FreeLater(index);

        std::vector<std::uint32_t> joining;
        for (const std::uint32_t index : FPendingIn) {
            const TRow& row = FRows[index];
            if (!row.Free && row.PendingIn && row.Joins > 0)
                joining.push_back(index);
        }
        InsertIntoOrder(joining);
        for (const std::uint32_t index : joining) {
            FRows[index].PendingIn = false;
            FRows[index].InOrder = true;
        }
        FPendingIn.clear();
    } catch (...) {
        // Out of memory: rather an empty view than a half-ordered one.
        Clear();
        FBroken = true;
        throw;
    }
    FFree.insert(FFree.end(), FFreeAfterCommit.begin(), FFreeAfterCommit.end());
    FFreeAfterCommit.clear();
}

void TEventView::PurgeForgotten() noexcept {
    if (FForgotten.empty())
        return;
    RemoveFromOrder(FForgotten);
    for (const std::uint32_t index : FForgotten)
        FreeLater(index);
    FForgotten.clear();
}

std::size_t TEventView::Count() noexcept {
    PurgeForgotten();
    return FOrder.size();
}

TZelkEvent* TEventView::At(std::size_t Index) noexcept {
    PurgeForgotten();
    return FRows[FOrder[Index]].Event;
}

} // namespace zelk::ae
