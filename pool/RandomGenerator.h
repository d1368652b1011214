// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The pool's pseudo-random generator: a 32-bit linear congruential recurrence
// whose state is visible and seedable, so that a pick can be replayed.
#pragma once

#include <cstdint>

class RandomGenerator {
 public:
  static constexpr std::uint32_t kMultiplier = 134775813u;

  explicit RandomGenerator(std::uint32_t seed = 0) : state_(seed) {}

  void Seed(std::uint32_t seed) { state_ = seed; }
  std::uint32_t State() const { return state_; }

  // Advances the state (mod 2^32) and returns the new one.
  std::uint32_t Next() {
    state_ = state_ * kMultiplier + 1u;
    return state_;
  }

  // An index below n from one draw: the high half of new state * n, which
  // scales the state into [0, n) and so draws on its stronger high bits.
  std::uint32_t NextIndex(std::uint32_t n) {
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(Next()) * n) >> 32);
  }

 private:
  std::uint32_t state_;
};
