// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "net/Wakeup.h"

#include <time.h>

#include <cerrno>

Wakeup::Wakeup() {
  ::sem_init(&told_, 0, 0);
}

Wakeup::~Wakeup() {
  ::sem_destroy(&told_);
}

void Wakeup::Tell() {
  posted_.store(true, std::memory_order_release);
  ::sem_post(&told_);
}

bool Wakeup::WaitFor(std::chrono::milliseconds limit) {
  if (seen_) return true;
  timespec deadline{};
  ::clock_gettime(CLOCK_MONOTONIC, &deadline);
  const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(limit).count();
  deadline.tv_sec += static_cast<time_t>(nanoseconds / 1'000'000'000);
  deadline.tv_nsec += static_cast<long>(nanoseconds % 1'000'000'000);
  if (deadline.tv_nsec >= 1'000'000'000) {
    ++deadline.tv_sec;
    deadline.tv_nsec -= 1'000'000'000;
  }
  while (::sem_clockwait(&told_, CLOCK_MONOTONIC, &deadline) != 0) {
    if (errno != EINTR) return false;
  }
  Seen();
  return true;
}

void Wakeup::Wait() {
  if (seen_) return;
  while (::sem_wait(&told_) != 0) {
  }
  Seen();
}
