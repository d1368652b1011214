// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "relay/ConnectionEnd.h"

#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>

namespace {

// Bytes sent to the peer that it has not acknowledged yet (our end of stream
// counts as one).
int UnsentBytes(Socket socket) {
  int bytes = 0;
  return ::ioctl(socket.fd, SIOCOUTQ, &bytes) == 0 ? bytes : 0;
}

}  // namespace

DeliveryWatch::DeliveryWatch(Socket peer, bool settledCounts)
    : peer_(peer),
      settledCounts_(settledCounts),
      unsent_(UnsentBytes(peer)),
      stillAt_(std::chrono::steady_clock::now() + kEndGrace) {}

bool DeliveryWatch::Moving() {
  const int unsent = UnsentBytes(peer_);
  const auto now = std::chrono::steady_clock::now();
  if (unsent < unsent_ || (settledCounts_ && unsent == 0)) stillAt_ = now + kEndGrace;
  unsent_ = unsent;
  return now < stillAt_;
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
  char scrap[4096];
  DeliveryWatch delivery(socket, /*settledCounts=*/false);
  // Woken now and then to see whether our own bytes still move.
  while (delivery.Moving()) {
    pollfd watch{socket.fd, POLLIN, 0};
    const int ready = ::poll(&watch, 1, 250);
    if (ready < 0 && errno != EINTR) return;
    if (ready > 0) {
      const ssize_t n = ::recv(socket.fd, scrap, sizeof scrap, MSG_DONTWAIT);
      if (n == 0) return;
      if (n < 0 && errno != EINTR && errno != EAGAIN) return;
    }
  }
}
