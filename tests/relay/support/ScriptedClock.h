// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// A clock for the relay whose readings the test writes in advance: the n-th
// reading gives the n-th offset from an arbitrary origin (the last one again
// once the script runs out), plus the real time since the clock was made, so
// that a life the relay stretches by a wait of its own shows. One reading can
// be held until the test lets it go.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "relay/RelayHandler.h"

class ScriptedClock {
 public:
  using Offset = std::chrono::steady_clock::duration;

  explicit ScriptedClock(std::vector<Offset> offsets) : offsets_(std::move(offsets)) {}

  RelayClock Clock() {
    return [this] { return Read(); };
  }

  int Reads() const {
    std::lock_guard lock(mutex_);
    return reads_;
  }

  // Reading number `n` (from 1) waits for Release(), for at most `within`.
  void Hold(int n, std::chrono::milliseconds within) {
    std::lock_guard lock(mutex_);
    held_ = n;
    holdLimit_ = within;
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  // Whether the held reading had to give up waiting.
  bool HoldTimedOut() const {
    std::lock_guard lock(mutex_);
    return holdTimedOut_;
  }

 private:
  std::chrono::steady_clock::time_point Read() {
    std::unique_lock lock(mutex_);
    const int n = ++reads_;
    if (n == held_ && !changed_.wait_for(lock, holdLimit_, [this] { return released_; }))
      holdTimedOut_ = true;
    const Offset offset =
        offsets_.empty() ? Offset{} : offsets_[std::min<std::size_t>(n, offsets_.size()) - 1];
    return std::chrono::steady_clock::time_point(std::chrono::hours(1000) + offset) +
           (std::chrono::steady_clock::now() - made_);
  }

  const std::chrono::steady_clock::time_point made_ = std::chrono::steady_clock::now();
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Offset> offsets_;
  int reads_ = 0;
  int held_ = 0;
  std::chrono::milliseconds holdLimit_{0};
  bool released_ = false;
  bool holdTimedOut_ = false;
};
