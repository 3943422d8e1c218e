#pragma once

// The keyed entries of an event list, in key order. They are kept in blocks, so that an
// entry that comes or goes moves at most two blocks' worth of entries and the start
// positions of the blocks after it, never the whole list: a condition that returns to
// normal and leaves a list of 100,000 costs what it costs in a list of 1,000. Each entry
// stays at one address from insert to erase, so it can be remembered by address.

#include "ZelkEvent.h"

#include <QCollatorSortKey>
#include <QString>
#include <algorithm>
#include <cstddef>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

namespace zelk::ae {

struct TEventEntry {
    QString Key;
    // The case-insensitive collation key of Key, so that a search compares bytes.
    QCollatorSortKey SortKey;
    // Owned through the list; an entry that is erased hands its event over first.
    std::unique_ptr<TZelkEvent> Event;
};

class TEventEntries {
    using TBlock = std::vector<std::unique_ptr<TEventEntry>>;

public:
    std::size_t size() const noexcept { return FCount; }

    TEventEntry& operator[](std::size_t Index) noexcept {
        const auto [block, offset] = Locate(Index);
        return *FBlocks[block][offset];
    }
    const TEventEntry& operator[](std::size_t Index) const noexcept {
        const auto [block, offset] = Locate(Index);
        return *FBlocks[block][offset];
    }

    // The position of an entry of this list, found by its collation key.
    std::size_t IndexOf(const TEventEntry& Entry) const noexcept {
        const std::size_t position = LowerBound(Entry.SortKey);
        if (position < FCount && &(*this)[position] == &Entry)
            return position;
        for (std::size_t i = 0; i < FCount; ++i) // not expected: keys collate uniquely
            if (&(*this)[i] == &Entry)
                return i;
        return FCount;
    }

    // Inserts before Index (Index == size() appends); returns the entry's lasting address.
    TEventEntry& insert(std::size_t Index, TEventEntry Entry) {
        auto node = std::make_unique<TEventEntry>(std::move(Entry));
        TEventEntry& inserted = *node;
        if (FBlocks.empty()) {
            FBlocks.emplace_back();
            FStarts.push_back(0);
        }
        auto [block, offset] =
            Index >= FCount ? std::pair(FBlocks.size() - 1, FBlocks.back().size()) : Locate(Index);
        TBlock& entries = FBlocks[block];
        entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(offset), std::move(node));
        ++FCount;
        if (entries.size() > 2 * BlockSize)
            Split(block);
        Restart(block);
        return inserted;
    }

    void erase(std::size_t Index) noexcept {
        const auto [block, offset] = Locate(Index);
        TBlock& entries = FBlocks[block];
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(offset));
        --FCount;
        if (entries.empty()) {
            FBlocks.erase(FBlocks.begin() + static_cast<std::ptrdiff_t>(block));
            FStarts.erase(FStarts.begin() + static_cast<std::ptrdiff_t>(block));
        }
        Restart(block);
    }

    void clear() noexcept {
        FBlocks.clear();
        FStarts.clear();
        FCount = 0;
    }

    // The position of the first entry whose sort key is not below Key.
    std::size_t LowerBound(const QCollatorSortKey& Key) const noexcept {
        const auto below = [](const std::unique_ptr<TEventEntry>& entry,
                              const QCollatorSortKey& key) {
            return entry->SortKey.compare(key) < 0;
        };
        // The first block whose last entry is not below Key holds the place.
        const auto block =
            std::partition_point(FBlocks.begin(), FBlocks.end(),
                                 [&](const TBlock& entries) { return below(entries.back(), Key); });
        if (block == FBlocks.end())
            return FCount;
        const auto at = std::lower_bound(block->begin(), block->end(), Key, below);
        return FStarts[static_cast<std::size_t>(block - FBlocks.begin())] +
               static_cast<std::size_t>(at - block->begin());
    }

    // Calls Fn for every entry in key order.
    template <class Fn> void ForEach(Fn&& fn) const {
        for (const TBlock& entries : FBlocks)
            for (const std::unique_ptr<TEventEntry>& entry : entries)
                fn(*entry);
    }

private:
    static constexpr std::size_t BlockSize = 256;

    // Halves a full block. Out of memory it stays whole, which costs only speed.
    void Split(std::size_t Block) noexcept {
        TBlock upper;
        try {
            FStarts.reserve(FStarts.size() + 1);
            FBlocks.reserve(FBlocks.size() + 1);
            upper.reserve(FBlocks[Block].size() - BlockSize);
        } catch (...) {
            return;
        }
        // Nothing below allocates.
        TBlock& entries = FBlocks[Block];
        std::move(entries.begin() + BlockSize, entries.end(), std::back_inserter(upper));
        entries.erase(entries.begin() + BlockSize, entries.end());
        FBlocks.insert(FBlocks.begin() + static_cast<std::ptrdiff_t>(Block) + 1, std::move(upper));
        FStarts.insert(FStarts.begin() + static_cast<std::ptrdiff_t>(Block) + 1, 0);
    }

    std::pair<std::size_t, std::size_t> Locate(std::size_t Index) const noexcept {
        const auto after = std::upper_bound(FStarts.begin(), FStarts.end(), Index);
        const auto block = static_cast<std::size_t>(after - FStarts.begin()) - 1;
        return {block, Index - FStarts[block]};
    }

    // The start positions from Block on.
    void Restart(std::size_t Block) noexcept {
        std::size_t b = std::min(Block, FBlocks.size());
        std::size_t start = b == 0 ? 0 : FStarts[b - 1] + FBlocks[b - 1].size();
        for (; b < FBlocks.size(); ++b) {
            FStarts[b] = start;
            start += FBlocks[b].size();
        }
    }

    std::vector<TBlock> FBlocks;
    std::vector<std::size_t> FStarts; // the position of each block's first entry
    std::size_t FCount = 0;
};

} // namespace zelk::ae
