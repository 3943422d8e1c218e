#pragma once

// The keyed entries of an event list, in key order. They are kept in blocks, so that an
// entry that comes or goes moves at most two blocks' worth of entries and the start
// positions of the blocks after it, never the whole list: a condition that returns to
// normal and leaves a list of 100,000 costs what it costs in a list of 1,000.

#include <QCollatorSortKey>
#include <QString>
#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

class TZelkEvent;

namespace zelk::ae {

struct TEventEntry {
    QString Key;
    // The case-insensitive collation key of Key, so that a search compares bytes.
    QCollatorSortKey SortKey;
    TZelkEvent* Event;
};

class TEventEntries {
public:
    std::size_t size() const noexcept { return FCount; }

    TEventEntry& operator[](std::size_t Index) noexcept {
        const auto [block, offset] = Locate(Index);
        return FBlocks[block][offset];
    }
    const TEventEntry& operator[](std::size_t Index) const noexcept {
        const auto [block, offset] = Locate(Index);
        return FBlocks[block][offset];
    }

    // Inserts before Index (Index == size() appends).
    void insert(std::size_t Index, TEventEntry Entry) {
        if (FBlocks.empty()) {
            FBlocks.emplace_back();
            FStarts.push_back(0);
        }
        auto [block, offset] =
            Index >= FCount ? std::pair(FBlocks.size() - 1, FBlocks.back().size()) : Locate(Index);
        std::vector<TEventEntry>& entries = FBlocks[block];
        entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(offset), std::move(Entry));
        ++FCount;
        if (entries.size() > 2 * BlockSize)
            Split(block);
        Restart(block);
    }

    void erase(std::size_t Index) noexcept {
        const auto [block, offset] = Locate(Index);
        std::vector<TEventEntry>& entries = FBlocks[block];
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
    std::size_t LowerBound(const QCollatorSortKey& Key) const {
        const auto below = [](const TEventEntry& entry, const QCollatorSortKey& key) {
            return entry.SortKey.compare(key) < 0;
        };
        // The first block whose last entry is not below Key holds the place.
        const auto block = std::partition_point(
            FBlocks.begin(), FBlocks.end(),
            [&](const std::vector<TEventEntry>& entries) { return below(entries.back(), Key); });
        if (block == FBlocks.end())
            return FCount;
        const auto at = std::lower_bound(block->begin(), block->end(), Key, below);
        return FStarts[static_cast<std::size_t>(block - FBlocks.begin())] +
               static_cast<std::size_t>(at - block->begin());
    }

    // The first entry in key order for which Pred holds; null when there is none.
    template <class Pred> const TEventEntry* FindIf(Pred&& pred) const {
        for (const std::vector<TEventEntry>& entries : FBlocks)
            for (const TEventEntry& entry : entries)
                if (pred(entry))
                    return &entry;
        return nullptr;
    }

    // Calls Fn for every entry in key order.
    template <class Fn> void ForEach(Fn&& fn) const {
        for (const std::vector<TEventEntry>& entries : FBlocks)
            for (const TEventEntry& entry : entries)
                fn(entry);
    }

private:
    static constexpr std::size_t BlockSize = 256;

    // Halves a full block. Out of memory it stays whole, which costs only speed.
    void Split(std::size_t Block) noexcept {
        try {
            FStarts.reserve(FStarts.size() + 1);
            std::vector<TEventEntry>& entries = FBlocks[Block];
            std::vector<TEventEntry> upper(std::make_move_iterator(entries.begin() + BlockSize),
                                           std::make_move_iterator(entries.end()));
            FBlocks.insert(FBlocks.begin() + static_cast<std::ptrdiff_t>(Block) + 1,
                           std::move(upper));
            FBlocks[Block].erase(FBlocks[Block].begin() + BlockSize, FBlocks[Block].end());
            FStarts.insert(FStarts.begin() + static_cast<std::ptrdiff_t>(Block) + 1, 0);
        } catch (...) {
        }
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

    std::vector<std::vector<TEventEntry>> FBlocks;
    std::vector<std::size_t> FStarts; // the position of each block's first entry
    std::size_t FCount = 0;
};

} // namespace zelk::ae
