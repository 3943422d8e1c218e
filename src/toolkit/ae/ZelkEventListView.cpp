#include "ZelkEventListView.h"

#include "ZelkEvent.h"
#include "ZelkTextCompare.h"

#include <algorithm>

namespace zelk::ae {

namespace {

// Above this share of changed rows a Commit merges the order whole instead of searching
// a place for each row.
constexpr std::size_t MergeShare = 16;

int Sign(int value) {
    return (value > 0) - (value < 0);
}

} // namespace

TEventView::TEventView() = default;
TEventView::~TEventView() = default;

void TEventView::Reset(const std::vector<const TZelkEventSortItem*>& Items) {
    Clear();
    FItems = Items;
    FPacked = 0;
    while (FPacked < FItems.size() && FPacked < 2 && FItems[FPacked]->Property->Kind != pkText)
        ++FPacked;
    FColumns.resize(FItems.size() - FPacked);
    bool text = false;
    for (std::size_t c = 0; c < FColumns.size(); ++c) {
        FColumns[c].Text = FItems[FPacked + c]->Property->Kind == pkText;
        FColumns[c].Desc = FItems[FPacked + c]->Desc;
        text = text || FColumns[c].Text;
    }
    // The user's locale as it is now: a view built later follows a change.
    FCollator = text ? std::make_unique<QCollator>(MakeCollator(Qt::CaseSensitive)) : nullptr;
    FBroken = false;
}

void TEventView::Clear() noexcept {
    FRows.clear();
    FColumns.clear();
    FEntryKeys.clear();
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
    for (const TColumn& column : FColumns) {
        if (!column.Text) {
            if (column.Codes[a] != column.Codes[b])
                return column.Codes[a] < column.Codes[b];
            continue;
        }
        if (const int r = Sign(column.Texts[a]->compare(*column.Texts[b])); r != 0)
            return column.Desc ? r > 0 : r < 0;
    }
    // Equal on every sort item: the key order, then the order of joining.
    if (const int r = FEntryKeys[a]->compare(*FEntryKeys[b]); r != 0)
        return r < 0;
    return ra.Seq < rb.Seq;
}

std::uint32_t TEventView::TakeRow() {
    if (!FFree.empty())
        return FFree.back();
    const std::size_t count = FRows.size();
    try {
        FEntryKeys.resize(count + 1);
        for (TColumn& column : FColumns) {
            if (column.Text)
                column.Texts.resize(count + 1);
            else
                column.Codes.resize(count + 1);
        }
        FRows.resize(count + 1);
        // Every row is named at most once in each of these lists, so with this much room
        // the operations that must not fail never allocate.
        const std::size_t room = FRows.capacity();
        for (std::vector<std::uint32_t>* list :
             {&FOrder, &FPendingOut, &FForgotten, &FPlaces, &FFree, &FFreeAfterCommit})
            list->reserve(room);
    } catch (...) {
        FEntryKeys.resize(count);
        for (TColumn& column : FColumns) {
            column.Texts.resize(std::min(column.Texts.size(), count));
            column.Codes.resize(std::min(column.Codes.size(), count));
        }
        FRows.resize(count);
        throw;
    }
    FFree.push_back(static_cast<std::uint32_t>(count));
    return static_cast<std::uint32_t>(count);
}

void TEventView::ReadValues(std::uint32_t Row, const TZelkEvent& Event,
                            const TZelkEvent* Previous) {
    // A new notification of a condition mostly repeats the texts of the one it replaces.
    const auto previous = Previous ? FRowOf.constFind(Previous) : FRowOf.cend();
    const bool reuse = previous != FRowOf.cend();
    ++FValuesRead;
    TRow& row = FRows[Row];
    row.K0 = FPacked > 0 ? SortCode(Event, *FItems[0]) : 0;
    row.K1 = FPacked > 1 ? SortCode(Event, *FItems[1]) : 0;
    for (std::size_t c = 0; c < FColumns.size(); ++c) {
        TColumn& column = FColumns[c];
        const TZelkEventSortItem& item = *FItems[FPacked + c];
        if (!column.Text) {
            column.Codes[Row] = SortCode(Event, item);
            continue;
        }
        const QString& text = item.Property->ReadText(Event);
        if (reuse && column.Texts[previous.value()] && item.Property->ReadText(*Previous) == text)
            column.Texts[Row] = column.Texts[previous.value()];
        else
            column.Texts[Row] = FCollator->sortKey(text);
    }
}

bool TEventView::Join(TZelkEvent* Event, const QCollatorSortKey& EntryKey,
                      const TZelkEvent* Previous) {
    if (const auto found = FRowOf.constFind(Event); found != FRowOf.cend()) {
        ++FRows[found.value()].Joins;
        return false;
    }
    const std::uint32_t index = TakeRow();
    try {
        ReadValues(index, *Event, Previous);
        FEntryKeys[index] = EntryKey;
        FPendingIn.push_back(index);
        try {
            FRowOf.insert(Event, index);
        } catch (...) {
            FPendingIn.pop_back();
            throw;
        }
    } catch (...) {
        FEntryKeys[index].reset();
        for (TColumn& column : FColumns)
            if (column.Text)
                column.Texts[index].reset();
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
    FEntryKeys[Row].reset();
    for (TColumn& column : FColumns)
        if (column.Text)
            column.Texts[Row].reset();
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
