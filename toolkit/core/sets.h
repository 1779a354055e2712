// Small sets of enumeration members, the toolkit's "set of" types
// (component states, font styles, field attributes, grid options).
// A member's bit is its ordinal value, so a set of an enumeration with up to
// 64 members fits one 64-bit word; reflection reads and writes sets as that word.
#pragma once

#include <cstdint>
#include <initializer_list>

template <class E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> members) {
    for (E m : members) bits_ |= Bit(m);
  }

  // The set whose members are the 1 bits of the word.
  static constexpr TSet FromBits(uint64_t bits) {
    TSet s;
    s.bits_ = bits;
    return s;
  }
  // The word with a 1 bit per member.
  constexpr uint64_t Bits() const { return bits_; }

  constexpr bool Contains(E m) const { return (bits_ & Bit(m)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr TSet& Include(E m) {
    bits_ |= Bit(m);
    return *this;
  }
  constexpr TSet& Exclude(E m) {
    bits_ &= ~Bit(m);
    return *this;
  }

  // Union, intersection and difference.
  friend constexpr TSet operator+(TSet a, TSet b) { return FromBits(a.bits_ | b.bits_); }
  friend constexpr TSet operator*(TSet a, TSet b) { return FromBits(a.bits_ & b.bits_); }
  friend constexpr TSet operator-(TSet a, TSet b) { return FromBits(a.bits_ & ~b.bits_); }
  friend constexpr bool operator==(TSet a, TSet b) { return a.bits_ == b.bits_; }

 private:
  static constexpr uint64_t Bit(E m) { return uint64_t{1} << static_cast<unsigned>(m); }
  uint64_t bits_ = 0;
};
