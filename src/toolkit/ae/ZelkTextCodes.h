#pragma once

// Numbers for texts whose order is the order of the texts' collation keys, so that a
// sorted view compares two texts as two integers instead of two keys on the heap.
//
// Each distinct text (texts whose keys collate equal count as one) gets a 64-bit code
// between the codes of its neighbours. When two neighbours leave no room between them,
// every code is given anew, evenly spaced, in the same order; Relabels() counts those
// times, so that a holder of copied codes knows to read them again. A code is held by
// its users: it goes, with its text, when the last one releases it.

#include <QCollator>
#include <QCollatorSortKey>
#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <memory_resource>
#include <optional>

namespace zelk::ae {

class TTextCodes {
    struct TKeyLess {
        bool operator()(const QCollatorSortKey& a, const QCollatorSortKey& b) const {
            return a.compare(b) < 0;
        }
    };

public:
    struct TNode;
    using TNodes = std::pmr::map<QCollatorSortKey, TNode, TKeyLess>;
    struct TNode {
        std::uint64_t Code = 0;
        std::uint32_t Uses = 0;
        // The texts that reached this node, each a key of the text index (with a collator).
        QStringList Texts;
        TNodes::iterator Self;
    };

    // With a collator, texts are looked up by their text first, and their keys are made by
    // Collator unless the caller gives them. Without, the caller gives every key, and the
    // texts are not kept: a holder that knows its node already (the entry of a list)
    // looks up only what is new.
    explicit TTextCodes(std::optional<QCollator> Collator = std::nullopt);
    TTextCodes(const TTextCodes&) = delete;
    TTextCodes& operator=(const TTextCodes&) = delete;

    // One more use of Text's node, made when Text is new. Key, when given, is Text's
    // collation key; it must be given when there is no collator.
    TNode& Acquire(const QString& Text, const QCollatorSortKey* Key = nullptr);
    // One more use of a node already held.
    static void AddUse(TNode& Node) noexcept { ++Node.Uses; }
    void Release(TNode& Node) noexcept;
    void Clear() noexcept;
    // Room in the text index for Texts texts.
    void Reserve(std::size_t Texts);

    // How many times every code was given anew.
    std::uint64_t Relabels() const noexcept { return FRelabels; }
    std::size_t Count() const noexcept { return FNodes.size(); }

private:
    TNodes::iterator Place(const QCollatorSortKey& Key);
    // The node of Key, made when there is none, with one more use and Text among its texts;
    // the text index is the caller's.
    TNode& Insert(const QString& Text, QCollatorSortKey Key);
    // Codes evenly spaced in key order, with room left before the first and after the last.
    void Relabel() noexcept;

    std::optional<QCollator> FCollator;
    // Nodes come and go by the hundred thousand when a view is built anew: from a pool.
    std::pmr::unsynchronized_pool_resource FPool;
    TNodes FNodes{&FPool};
    QHash<QString, TNode*> FByText;
    std::uint64_t FRelabels = 0;
};

} // namespace zelk::ae
