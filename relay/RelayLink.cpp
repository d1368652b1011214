// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "relay/RelayLink.h"

#include <linux/sockios.h>
#include <linux/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <thread>
#include <utility>

namespace {

// What the kernel tells of the peer behind `socket`.
PeerProgress ProgressOf(Socket socket) {
  PeerProgress progress;
  tcp_info info{};
  socklen_t length = sizeof info;
  if (::getsockopt(socket.fd, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 &&
      length >= offsetof(tcp_info, tcpi_bytes_acked) + sizeof info.tcpi_bytes_acked) {
    progress.acked = info.tcpi_bytes_acked;
  }
  int held = 0;
  if (::ioctl(socket.fd, SIOCOUTQ, &held) == 0 && held > 0) progress.held = static_cast<std::uint64_t>(held);
  return progress;
}

}  // namespace

RelayLink::RelayLink(Socket client, Socket upstream, EndOfConnection::Clock clock,
                     std::chrono::milliseconds silenceLimit, std::function<void(SteadyTime)> judge)
    : client_(client), upstream_(upstream), judge_(std::move(judge)), end_(std::move(clock), silenceLimit) {}

void RelayLink::Moved() {
  std::lock_guard lock(mutex_);
  end_.Moved();
}

void RelayLink::EndOfStream(RelaySide source) {
  EndDecision decision;
  {
    std::lock_guard lock(mutex_);
    decision = end_.EndOfStream(source);
  }
  Carry(decision, source);
  // Only the pump watches for the client's direction; the handler waits for
  // the pump as a whole.
  if (source == RelaySide::Client) changed_.notify_all();
}

void RelayLink::HangUpSeen(RelaySide side) {
  EndDecision decision;
  {
    std::lock_guard lock(mutex_);
    decision = end_.HangUpSeen(side);
  }
  Carry(decision, side);
}

void RelayLink::Failed(RelaySide side) {
  EndDecision decision;
  {
    std::lock_guard lock(mutex_);
    decision = end_.Failed(side);
  }
  Carry(decision, side);
}

void RelayLink::Cut() {
  EndDecision decision;
  {
    std::lock_guard lock(mutex_);
    decision = end_.Cut();
  }
  Carry(decision, RelaySide::Client);
}

EndDecision RelayLink::LookNow() {
  const PeerProgress client = ProgressOf(client_);
  const PeerProgress upstream = ProgressOf(upstream_);
  std::lock_guard lock(mutex_);
  return end_.Look(client, upstream);
}

void RelayLink::Look() {
  Carry(LookNow(), RelaySide::Client);
}

void RelayLink::Carry(const EndDecision& decision, RelaySide side) {
  if (decision.passHalfClose) TcpShutdownSending(Of(OtherSide(side)));
  if (decision.judgeAt) {
    try {
      judge_(*decision.judgeAt);
    } catch (...) {
      // Only without an owner of the pool (the relay alone) does a list
      // change fail here, and then nobody is there to be told.
    }
  }
  if (decision.stopPumps) {
    cut_.store(true, std::memory_order_release);
    changed_.notify_all();
    // Wakes a pump waiting to receive; it sees the cut and stops.
    TcpStopReceiving(client_);
    TcpStopReceiving(upstream_);
  }
  if (decision.reset[0]) TcpReset(client_);
  if (decision.reset[1]) TcpReset(upstream_);
}

void RelayLink::WatchTheOtherDirection(RelaySide source) {
  for (;;) {
    if (source == RelaySide::Client) {
      // The handler waits for the pump to be done altogether; a cut stops
      // the pump too.
      if (pumpStopped_.WaitFor(kLookEvery)) return;
    } else {
      std::unique_lock lock(mutex_);
      const auto over = [&] { return IsCut() || end_.DirectionEnded(RelaySide::Client); };
      if (changed_.wait_for(lock, kLookEvery, over)) return;
    }
    if (!IsCut()) Look();
  }
}

void RelayLink::PumpStopped() {
  // The last touch of the link: the waiting handler may let it go at once.
  pumpStopped_.Tell();
}

void RelayLink::WaitForPump() {
  pumpStopped_.Wait();
}

void RelayLink::Finish() {
  {
    std::lock_guard lock(mutex_);
    if (!end_.IsCut()) return;
  }
  for (;;) {
    const EndDecision decision = LookNow();
    Carry(decision, RelaySide::Client);
    if (decision.done || !decision.lookAfter) return;
    std::this_thread::sleep_for(*decision.lookAfter);
  }
}
