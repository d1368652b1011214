// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "relay/ConnectionEnd.h"

#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

int UnsentBytes(Socket socket) {
  int bytes = 0;
  return ::ioctl(socket.fd, SIOCOUTQ, &bytes) == 0 ? bytes : 0;
}

void DirectionDone::Set() {
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  changed_.notify_all();
}

bool DirectionDone::WaitWithin(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [this] { return done_; });
}

void ReadOffUntilEnd(Socket socket) {
  if (!socket) return;
  using Clock = std::chrono::steady_clock;
  char scrap[4096];
  int unsent = UnsentBytes(socket);
  auto quietUntil = Clock::now() + kEndGrace;
  for (;;) {
    const auto now = Clock::now();
    if (now >= quietUntil) return;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(quietUntil - now);
    // Woken now and then to see whether our own bytes still move.
    pollfd watch{socket.fd, POLLIN, 0};
    const int ready = ::poll(&watch, 1, static_cast<int>(std::min<long>(left.count(), 250)));
    if (ready < 0 && errno != EINTR) return;
    if (ready > 0) {
      const ssize_t n = ::recv(socket.fd, scrap, sizeof scrap, MSG_DONTWAIT);
      if (n == 0) return;
      if (n < 0 && errno != EINTR && errno != EAGAIN) return;
    }
    const int nowUnsent = UnsentBytes(socket);
    if (nowUnsent < unsent) quietUntil = Clock::now() + kEndGrace;
    unsent = nowUnsent;
  }
}
