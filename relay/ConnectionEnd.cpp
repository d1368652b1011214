// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "relay/ConnectionEnd.h"

#include <linux/sockios.h>
#include <sys/ioctl.h>

#include <thread>
#include <utility>

#include "relay/Verdict.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often a wait looks at the peers again.
constexpr std::chrono::milliseconds kLookEvery{250};

// Bytes sent to the peer that it has not acknowledged yet (our end of stream
// counts as one).
int UnsentBytes(Socket socket) {
  int bytes = 0;
  return ::ioctl(socket.fd, SIOCOUTQ, &bytes) == 0 ? bytes : 0;
}

int Index(RelaySide side) {
  return side == RelaySide::Client ? 0 : 1;
}

// Waits until the peers have every byte the relay passed to them, or until
// those bytes stop moving for kEndGrace; then resets both.
void DeliverThenReset(Socket a, Socket b) {
  int unsent = UnsentBytes(a) + UnsentBytes(b);
  auto giveUpAt = Clock::now() + kEndGrace;
  for (auto pause = std::chrono::milliseconds(5); unsent > 0 && Clock::now() < giveUpAt;
       pause = std::min(pause * 2, kLookEvery)) {
    std::this_thread::sleep_for(pause);
    const int now = UnsentBytes(a) + UnsentBytes(b);
    if (now < unsent) giveUpAt = Clock::now() + kEndGrace;
    unsent = now;
  }
  TcpReset(a);
  TcpReset(b);
}

}  // namespace

RelayLink::RelayLink(Socket client, Socket upstream, std::chrono::milliseconds silenceLimit,
                     std::function<void(SteadyTime)> judge)
    : client_(client),
      upstream_(upstream),
      silenceLimit_(silenceLimit),
      judge_(std::move(judge)),
      lastMove_(Clock::now().time_since_epoch().count()) {}

SteadyTime RelayLink::LastMove() const {
  return SteadyTime(SteadyTime::duration(lastMove_.load(std::memory_order_relaxed)));
}

void RelayLink::HungUp(RelaySide side, SteadyTime when) {
  bool upstreamEnded = false;
  {
    std::lock_guard lock(mutex_);
    std::optional<SteadyTime>& end = side == RelaySide::Client ? clientEnd_ : upstreamEnd_;
    if (end) return;
    end = when;
    upstreamEnded = side == RelaySide::Upstream;
  }
  // The proxy has shown all it will: the lists need not wait for the client.
  if (upstreamEnded) Judge(when);
}

void RelayLink::DirectionEnded(RelaySide source) {
  {
    std::lock_guard lock(mutex_);
    directionEnded_[Index(source)] = true;
  }
  // Only the pump watches for the client's direction; the handler waits for
  // the pump as a whole (WatchTheOtherDirection), which comes right after.
  if (source == RelaySide::Client) changed_.notify_all();
}

void RelayLink::Gone(RelaySide side) {
  HungUp(side, Clock::now());
  Cut();
}

void RelayLink::Cut() {
  {
    std::lock_guard lock(mutex_);
    if (cut_.load(std::memory_order_relaxed) || (directionEnded_[0] && directionEnded_[1])) return;
    cut_.store(true, std::memory_order_release);
  }
  changed_.notify_all();
  Judge(RelayEndMoment());
  // Wakes a pump waiting to receive; it sees the cut and stops.
  TcpStopReceiving(client_);
  TcpStopReceiving(upstream_);
}

SteadyTime RelayLink::RelayEndMoment() const {
  std::lock_guard lock(mutex_);
  return EndOfLife(upstreamEnd_, LastMove(), clientEnd_);
}

bool RelayLink::SendStalled(RelaySide target, SteadyTime progress) const {
  const SteadyTime now = Clock::now();
  std::lock_guard lock(mutex_);
  const bool targetEnded = target == RelaySide::Client ? clientEnd_.has_value() : upstreamEnd_.has_value();
  if (targetEnded && now - progress >= kEndGrace) return true;
  return (clientEnd_ || upstreamEnd_) && now - LastMove() >= silenceLimit_;
}

void RelayLink::WatchTheOtherDirection(RelaySide source) {
  // The running direction delivers to `source`, which has ended its side;
  // most connections end before the first look, which asks the system.
  const Socket target = Of(source);
  int unsent = -1;
  SteadyTime progress = Clock::now();
  for (;;) {
    if (source == RelaySide::Client) {
      // The handler waits for the pump to be done altogether; a cut stops
      // the pump too.
      if (pumpStopped_.WaitFor(kLookEvery)) return;
    } else {
      std::unique_lock lock(mutex_);
      const auto over = [&] { return IsCut() || directionEnded_[Index(RelaySide::Client)]; };
      if (over() || changed_.wait_for(lock, kLookEvery, over)) return;
    }
    const SteadyTime now = Clock::now();
    const int nowUnsent = UnsentBytes(target);
    if (nowUnsent == 0 || nowUnsent < unsent) progress = now;
    unsent = nowUnsent;
    if (now - progress >= kEndGrace || now - LastMove() >= silenceLimit_) {
      Cut();
      return;
    }
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
  Judge(RelayEndMoment());
  if (IsCut()) DeliverThenReset(upstream_, client_);
}

void RelayLink::Judge(SteadyTime moment) {
  if (judged_.exchange(true)) return;
  try {
    judge_(moment);
  } catch (...) {
    verdictFailure_ = std::current_exception();
  }
}
