// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Waiting for what other threads (the relay's, a server's) bring about in
// their own time, without waiting longer than needed when it comes early.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

// True once `condition` holds, checked every few milliseconds; false if it
// still does not hold when `within` has passed.
inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds within) {
  const auto deadline = std::chrono::steady_clock::now() + within;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}
