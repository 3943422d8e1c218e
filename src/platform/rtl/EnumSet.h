#pragma once

// TEnumSet<E>: a set over the ordinals of an enumeration, member i being bit i, as the
// toolkit's server-kind and event-type sets are defined. A small value type.

#include <cstdint>
#include <initializer_list>
#include <type_traits>

template <class E> class TEnumSet {
    static_assert(std::is_enum_v<E>, "TEnumSet is a set over an enumeration");

public:
    using Bits = std::uint32_t;

    constexpr TEnumSet() noexcept = default;
    constexpr TEnumSet(std::initializer_list<E> members) noexcept {
        for (E member : members)
            FBits |= Bit(member);
    }
    static constexpr TEnumSet FromBits(Bits bits) noexcept {
        TEnumSet set;
        set.FBits = bits;
        return set;
    }

    constexpr Bits ToBits() const noexcept { return FBits; }
    constexpr bool Contains(E member) const noexcept { return (FBits & Bit(member)) != 0; }
    constexpr bool IsEmpty() const noexcept { return FBits == 0; }
    constexpr TEnumSet& Include(E member) noexcept {
        FBits |= Bit(member);
        return *this;
    }
    constexpr TEnumSet& Exclude(E member) noexcept {
        FBits &= ~Bit(member);
        return *this;
    }

    friend constexpr TEnumSet operator+(TEnumSet a, TEnumSet b) noexcept {
        return FromBits(a.FBits | b.FBits);
    }
    friend constexpr TEnumSet operator*(TEnumSet a, TEnumSet b) noexcept {
        return FromBits(a.FBits & b.FBits);
    }
    friend constexpr TEnumSet operator-(TEnumSet a, TEnumSet b) noexcept {
        return FromBits(a.FBits & ~b.FBits);
    }
    friend constexpr bool operator==(TEnumSet a, TEnumSet b) noexcept { return a.FBits == b.FBits; }

private:
    static constexpr Bits Bit(E member) noexcept {
        return Bits{1} << static_cast<unsigned>(member);
    }

    Bits FBits = 0;
};
