#pragma once
#include <cstdint>
#include <initializer_list>
#include <type_traits>

// A set of enumeration members held as bits of an integer of a fixed width: bit n stands
// for the member of ordinal n, so the stored form is the one other code and files rely on.
template <typename E, typename Bits>
class TSet {
  static_assert(std::is_enum_v<E> && std::is_unsigned_v<Bits>);

public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> members) {
    for (E member : members) Include(member);
  }
  static constexpr TSet FromBits(Bits bits) {
    TSet set;
    set.FBits = bits;
    return set;
  }

  constexpr Bits ToBits() const { return FBits; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr bool Contains(E member) const { return (FBits & Bit(member)) != 0; }
  constexpr void Include(E member) { FBits = static_cast<Bits>(FBits | Bit(member)); }
  constexpr void Exclude(E member) { FBits = static_cast<Bits>(FBits & ~Bit(member)); }

  friend constexpr bool operator==(TSet a, TSet b) { return a.FBits == b.FBits; }
  friend constexpr TSet operator|(TSet a, TSet b) { return FromBits(static_cast<Bits>(a.FBits | b.FBits)); }
  friend constexpr TSet operator&(TSet a, TSet b) { return FromBits(static_cast<Bits>(a.FBits & b.FBits)); }

private:
  static constexpr Bits Bit(E member) { return static_cast<Bits>(Bits{1} << static_cast<unsigned>(member)); }
  Bits FBits = 0;
};
