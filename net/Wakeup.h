// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// One thread tells one other that its wait is over, with no lock between
// them. With a lock and a condition variable, the waiter woken under the lock
// would only go back to sleep on the lock its teller still holds: two more
// switches per connection on a machine where a switch is the dearest thing a
// short connection does.
#pragma once

#include <atomic>
#include <chrono>

class Wakeup {
 public:
  // The waiter may let the Wakeup go as soon as it sees the telling: Tell
  // reads and writes nothing of it after that (the kernel's wake-up takes
  // only its address, and every waiter here bears a wake-up for nothing).
  void Tell();
  // True when told, at once or within `limit`.
  bool WaitFor(std::chrono::milliseconds limit);
  void Wait();
  // For the next telling: only the waiter calls it, once the last Tell is seen.
  void Reset() { word_.store(kQuiet, std::memory_order_relaxed); }

 private:
  static constexpr int kQuiet = 0;
  static constexpr int kSleeping = 1;
  static constexpr int kTold = 2;

  // Sleeps while the word says a waiter sleeps; false at the deadline.
  bool SleepUntil(const std::chrono::steady_clock::time_point* deadline);

  std::atomic<int> word_{kQuiet};
};
