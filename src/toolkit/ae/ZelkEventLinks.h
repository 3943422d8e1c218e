#pragma once

// The record an event keeps of the event lists that refer to it: how many entries of
// each list hold it and whether the list's sorted view holds it. When the event is
// destroyed it tells every one of those lists, so that no list, and no stale sorted
// view, ever hands out a destroyed event. Only TZelkEvents reads and writes it.
//
// Nearly every event is referred to by one list at most; that link is kept inline and
// further ones in a small vector.

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class TZelkEvents;

namespace zelk::ae {

class TEventListLinks {
public:
    struct TLink {
        TZelkEvents* List = nullptr;
        std::uint32_t Entries = 0;
        bool InView = false;
    };

    TEventListLinks() = default;
    TEventListLinks(TEventListLinks&& other) noexcept
        : FFirst(std::exchange(other.FFirst, TLink{})), FMore(std::move(other.FMore)) {}
    TEventListLinks& operator=(TEventListLinks&&) = delete;
    TEventListLinks(const TEventListLinks&) = delete;

    // The link to `list`; null when there is none.
    TLink* Find(const TZelkEvents* list) noexcept {
        if (FFirst.List == list)
            return list ? &FFirst : nullptr;
        if (FMore)
            for (TLink& link : *FMore)
                if (link.List == list)
                    return &link;
        return nullptr;
    }

    // The link to `list`, created empty when there is none (may throw std::bad_alloc).
    TLink& Acquire(TZelkEvents* list) {
        if (TLink* link = Find(list))
            return *link;
        if (!FFirst.List) {
            FFirst = TLink{list, 0, false};
            return FFirst;
        }
        if (!FMore)
            FMore = std::make_unique<std::vector<TLink>>();
        return FMore->emplace_back(TLink{list, 0, false});
    }

    // Forgets the link to `list` once it holds neither entries nor a view place.
    void ReleaseIfUnused(const TZelkEvents* list) noexcept {
        TLink* link = Find(list);
        if (!link || link->Entries > 0 || link->InView)
            return;
        if (link == &FFirst) {
            FFirst = TLink{};
            return;
        }
        *link = FMore->back();
        FMore->pop_back();
    }

    // Takes every link out, leaving this record empty.
    TEventListLinks TakeAll() noexcept { return TEventListLinks(std::move(*this)); }

    template <class Fn> void ForEach(Fn&& fn) const {
        if (FFirst.List)
            fn(FFirst);
        if (FMore)
            for (const TLink& link : *FMore)
                fn(link);
    }

private:
    TLink FFirst;
    std::unique_ptr<std::vector<TLink>> FMore;
};

} // namespace zelk::ae
