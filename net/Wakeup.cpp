// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "net/Wakeup.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <ctime>

namespace {

int* Address(std::atomic<int>& word) {
  static_assert(sizeof(std::atomic<int>) == sizeof(int) && std::atomic<int>::is_always_lock_free);
  return reinterpret_cast<int*>(&word);
}

}  // namespace

void Wakeup::Tell() {
  // Only a sleeping waiter needs the system call.
  if (word_.exchange(kTold, std::memory_order_release) == kSleeping)
    ::syscall(SYS_futex, Address(word_), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

bool Wakeup::WaitFor(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  return SleepUntil(&deadline);
}

void Wakeup::Wait() {
  SleepUntil(nullptr);
}

bool Wakeup::SleepUntil(const std::chrono::steady_clock::time_point* deadline) {
  for (;;) {
    int seen = word_.load(std::memory_order_acquire);
    if (seen == kTold) return true;
    if (seen == kQuiet && !word_.compare_exchange_weak(seen, kSleeping, std::memory_order_acquire)) continue;
    timespec left{};
    if (deadline != nullptr) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= *deadline) return false;
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*deadline - now).count();
      left.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
      left.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    }
    // Returns at once when the word no longer says kSleeping.
    ::syscall(SYS_futex, Address(word_), FUTEX_WAIT_PRIVATE, kSleeping, deadline != nullptr ? &left : nullptr,
              nullptr, 0);
  }
}
