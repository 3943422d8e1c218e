#include "ZelkTextCodes.h"

#include <algorithm>
#include <iterator>
#include <limits>

namespace zelk::ae {

namespace {

constexpr std::uint64_t Highest = std::numeric_limits<std::uint64_t>::max();
// The room a text that sorts first or last leaves behind it: texts that arrive in order
// (a plant's sources, one area after the other) go on for millions before a relabel.
constexpr std::uint64_t Step = std::uint64_t(1) << 40;

// A code strictly between the neighbours' (absent ones bound the range); none when the
// neighbours are adjacent.
std::optional<std::uint64_t> Between(const std::optional<std::uint64_t>& Low,
                                     const std::optional<std::uint64_t>& High) {
    if (!Low && !High)
        return Highest / 2;
    if (!Low) {
        if (*High > Step)
            return *High - Step;
        if (*High > 0)
            return *High / 2;
        return std::nullopt;
    }
    if (!High) {
        if (*Low < Highest - Step)
            return *Low + Step;
        if (*Low < Highest)
            return *Low + (Highest - *Low + 1) / 2;
        return std::nullopt;
    }
    if (*High - *Low >= 2)
        return *Low + (*High - *Low) / 2;
    return std::nullopt;
}

} // namespace

TTextCodes::TTextCodes(std::optional<QCollator> Collator) : FCollator(std::move(Collator)) {}

TTextCodes::TNode& TTextCodes::Acquire(const QString& Text, const QCollatorSortKey* Key) {
    if (!FCollator)
        return Insert(Text, *Key);
    // One look-up whether the text is known or not: a new one is given its node below.
    TNode*& known = FByText[Text];
    if (known) {
        ++known->Uses;
        return *known;
    }
    try {
        TNode& node = Insert(Text, Key ? *Key : FCollator->sortKey(Text));
        known = &node; // Insert leaves the index alone, so `known` still refers into it
        return node;
    } catch (...) {
        FByText.remove(Text);
        throw;
    }
}

void TTextCodes::Reserve(std::size_t Texts) {
    if (FCollator)
        FByText.reserve(static_cast<qsizetype>(Texts));
}

TTextCodes::TNodes::iterator TTextCodes::Place(const QCollatorSortKey& Key) {
    // Texts that come in order (a list walked in key order) go last without a search.
    if (FNodes.empty() || FNodes.rbegin()->first.compare(Key) < 0)
        return FNodes.end();
    return FNodes.lower_bound(Key);
}

TTextCodes::TNode& TTextCodes::Insert(const QString& Text, QCollatorSortKey Key) {
    const auto place = Place(Key);
    if (place != FNodes.end() && Key.compare(place->first) == 0) {
        // The same collation (the same key, or a text in another normal form): one code.
        TNode& node = place->second;
        if (FCollator)
            node.Texts.append(Text);
        ++node.Uses;
        return node;
    }
    std::optional<std::uint64_t> low;
    std::optional<std::uint64_t> high;
    if (place != FNodes.begin())
        low = std::prev(place)->second.Code;
    if (place != FNodes.end())
        high = place->second.Code;
    const std::optional<std::uint64_t> code = Between(low, high);

    const auto inserted = FNodes.emplace_hint(place, std::move(Key), TNode{});
    TNode& node = inserted->second;
    node.Self = inserted;
    if (FCollator) {
        try {
            node.Texts.append(Text);
        } catch (...) {
            FNodes.erase(inserted);
            throw;
        }
    }
    node.Uses = 1;
    if (code)
        node.Code = *code;
    else
        Relabel();
    return node;
}

void TTextCodes::Release(TNode& Node) noexcept {
    if (--Node.Uses > 0)
        return;
    for (const QString& text : std::as_const(Node.Texts))
        FByText.remove(text);
    FNodes.erase(Node.Self);
}

void TTextCodes::Clear() noexcept {
    FByText.clear();
    FNodes.clear();
}

void TTextCodes::Relabel() noexcept {
    const std::uint64_t count = FNodes.size();
    const std::uint64_t spacing = std::min(Step, Highest / (count + 1));
    std::uint64_t code = Highest / 2 - (count / 2) * spacing;
    for (auto& [key, node] : FNodes) {
        node.Code = code;
        code += spacing;
    }
    ++FRelabels;
}

} // namespace zelk::ae
