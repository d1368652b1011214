// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "relay/UpstreamPump.h"

#include "net/ReusedThreads.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <exception>

namespace {

// How often a send that waits for room looks at the connection again.
constexpr int kLookEveryMs = static_cast<int>(kLookEvery.count());

// Sends the whole chunk to the other side of `source`; false when the
// connection ended meanwhile. While the target has no room, the source is
// watched: its reset ends the connection, its hang-up is noted and the chunk
// still goes out as room comes.
bool SendChunk(RelayLink& link, RelaySide source, const char* bytes, int length) {
  const RelaySide target = OtherSide(source);
  const Socket to = link.Of(target);
  const Socket from = link.Of(source);
  bool sourceHungUp = false;
  int sent = 0;
  while (sent < length) {
    const ssize_t n = ::send(to.fd, bytes + sent, static_cast<std::size_t>(length - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<int>(n);
      link.Moved();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
      link.Failed(target);
      return false;
    }
    pollfd watch[2] = {{to.fd, POLLOUT, 0}, {from.fd, static_cast<short>(sourceHungUp ? 0 : POLLRDHUP), 0}};
    const int ready = ::poll(watch, 2, kLookEveryMs);
    if (link.IsCut()) return false;
    if (ready < 0 && errno != EINTR) {
      link.Cut();
      return false;
    }
    if (ready > 0 && (watch[1].revents & POLLERR)) {
      link.Failed(source);
      return false;
    }
    // A hang-up, or both halves shut (the other direction's end went to it).
    if (ready > 0 && !sourceHungUp && (watch[1].revents & (POLLRDHUP | POLLHUP))) {
      sourceHungUp = true;
      link.HangUpSeen(source);
    }
    if (ready == 0) link.Look();
    if (link.IsCut()) return false;
  }
  return true;
}

}  // namespace

bool PumpDirection(RelayLink& link, RelaySide source) {
  const Socket from = link.Of(source);
  char buffer[kRelayBufferSize];
  for (;;) {
    if (link.IsCut()) return false;
    const ssize_t received = ::recv(from.fd, buffer, kRelayBufferSize, 0);
    if (received == 0) {
      // Also what a pump woken by the cut reads.
      link.EndOfStream(source);
      return !link.IsCut();
    }
    if (received < 0) {
      if (errno == EINTR) continue;
      link.Failed(source);
      return false;
    }
    if (!SendChunk(link, source, buffer, static_cast<int>(received))) return false;
  }
}

void RelayDirection(RelayLink& link, RelaySide source) {
  if (PumpDirection(link, source)) link.WatchTheOtherDirection(source);
}

void UpstreamPump(RelayLink& link) {
  RelayDirection(link, RelaySide::Upstream);
}

UpstreamPumpThread::UpstreamPumpThread(RelayLink& link) : link_(link) {
  try {
    RunOnThread([&link] {
      UpstreamPump(link);
      // The last touch of the link: the handler may let it go at once.
      link.PumpStopped();
    });
    started_ = true;
  } catch (const std::exception&) {
    // Out of threads or memory: the connection is not relayed, and the
    // handler lets it go without judging the proxy.
  }
}

UpstreamPumpThread::~UpstreamPumpThread() {
  if (!Running()) return;
  link_.Cut();
  Join();
}

void UpstreamPumpThread::Join() {
  if (!Running()) return;
  link_.WaitForPump();
  joined_ = true;
}
