// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The option set of the regular-expression object: 13 options held in 16 bits,
// bit n standing for the option of ordinal n.
#pragma once

#include <cstdint>
#include <initializer_list>

enum TzimRegExpOption : std::uint8_t {
  roGreedy,
  roCaseSensitive,
  roMultiline,
  roDotAll,
  roDollarEndOnly,
  roBol,
  roEol,
  roEmptyValid,
  roAnchored,
  roIgnoreWhitespace,
  roAutoCapture,
  roUTF8,
  roStudy,
};

class TzimRegExpOptions {
 public:
  // Bits above the last option carry nothing and are dropped, so two sets that
  // hold the same options always compare equal.
  static constexpr std::uint16_t kAllBits = (1u << (roStudy + 1)) - 1;

  constexpr TzimRegExpOptions() = default;
  constexpr TzimRegExpOptions(std::initializer_list<TzimRegExpOption> options) {
    for (TzimRegExpOption o : options) bits_ |= Bit(o);
  }
  static constexpr TzimRegExpOptions FromBits(std::uint16_t bits) {
    TzimRegExpOptions s;
    s.bits_ = bits & kAllBits;
    return s;
  }

  constexpr std::uint16_t Bits() const { return bits_; }
  constexpr bool Contains(TzimRegExpOption o) const { return (bits_ & Bit(o)) != 0; }
  constexpr TzimRegExpOptions With(TzimRegExpOption o) const { return FromBits(bits_ | Bit(o)); }
  constexpr TzimRegExpOptions Without(TzimRegExpOption o) const {
    return FromBits(static_cast<std::uint16_t>(bits_ & ~Bit(o)));
  }

  friend constexpr bool operator==(TzimRegExpOptions, TzimRegExpOptions) = default;

 private:
  static constexpr std::uint16_t Bit(TzimRegExpOption o) { return static_cast<std::uint16_t>(1u << o); }
  std::uint16_t bits_ = 0;
};

// Ignores letter case and refuses empty matches.
inline constexpr TzimRegExpOptions DefaultRegExpOptions{roGreedy, roBol, roEol, roAutoCapture};
static_assert(DefaultRegExpOptions.Bits() == 0x0461);
