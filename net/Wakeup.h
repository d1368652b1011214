// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// One thread tells one other that its wait is over, with no lock between
// them: with a lock and a condition variable, the waiter woken under the lock
// would only go back to sleep on the lock its teller still holds, two more
// switches per connection where a switch is the dearest thing a short
// connection does. A POSIX semaphore wakes the waiter alone.
#pragma once

#include <semaphore.h>

#include <atomic>
#include <chrono>

class Wakeup {
 public:
  Wakeup();
  ~Wakeup();
  Wakeup(const Wakeup&) = delete;
  Wakeup& operator=(const Wakeup&) = delete;

  // Once per Reset. The waiter may let the Wakeup go as soon as it sees the
  // telling: glibc's sem_post touches nothing of the semaphore after that.
  void Tell();
  // True when told, at once or within `limit`; once told, every wait is over
  // until Reset.
  bool WaitFor(std::chrono::milliseconds limit);
  void Wait();
  // For the next telling: only the waiter calls it, once the last Tell is seen.
  void Reset() {
    seen_ = false;
    posted_.store(false, std::memory_order_relaxed);
  }

 private:
  // What the teller wrote before telling is the waiter's to read after: the
  // semaphore orders it, and this word says so where a checker (ThreadSanitizer)
  // does not know sem_clockwait.
  void Seen() {
    seen_ = true;
    [[maybe_unused]] const bool posted = posted_.load(std::memory_order_acquire);
  }

  sem_t told_;
  std::atomic<bool> posted_{false};
  // The waiter's own: the telling has been taken from the semaphore.
  bool seen_ = false;
};
