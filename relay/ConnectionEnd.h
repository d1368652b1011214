// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// How a relayed connection ends. An end of stream goes on as a half-close and
// the other direction runs on for as long as it moves; a reset or a failure
// ends the whole connection, and so does the relay when a half-closed
// connection stops moving. A connection whose two directions both ended in
// order closes in order; any other end reaches both peers as a reset, after
// the bytes the relay holds for them, so that neither takes a cut stream for
// a whole one.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>

#include "net/TcpSocket.h"
#include "net/Wakeup.h"

using SteadyTime = std::chrono::steady_clock::time_point;

// How long the relay waits on a peer that has ended its own side but takes
// none of our bytes, and on a peer to take what the relay still holds for it
// before a reset.
inline constexpr std::chrono::milliseconds kEndGrace{3000};

// Once one side has ended its stream, the connection is let go when nothing
// has moved either way for this long: a proxy that never answers a
// half-closed client, a client that never hangs up after its proxy did.
inline constexpr std::chrono::milliseconds kHalfClosedSilence{60'000};

enum class RelaySide { Client, Upstream };

constexpr RelaySide OtherSide(RelaySide side) {
  return side == RelaySide::Client ? RelaySide::Upstream : RelaySide::Client;
}

// What the two pumps of one relayed connection know of each other and of the
// peers. The proxy is judged once, as soon as the moment its side ended is
// known (relay/Verdict says which moment that is).
class RelayLink {
 public:
  // `judge` gets that moment; whatever it throws is kept for VerdictFailure.
  RelayLink(Socket client, Socket upstream, std::chrono::milliseconds silenceLimit,
            std::function<void(SteadyTime)> judge);
  RelayLink(const RelayLink&) = delete;
  RelayLink& operator=(const RelayLink&) = delete;

  Socket Of(RelaySide side) const { return side == RelaySide::Client ? client_ : upstream_; }

  // Some bytes went on to a peer at `when`.
  void Moved(SteadyTime when) { lastMove_.store(when.time_since_epoch().count(), std::memory_order_relaxed); }
  // `side` ended its stream in order at `when` (an end of stream read, or
  // its hang-up seen while the relay waited to send it more).
  void HungUp(RelaySide side, SteadyTime when);
  // The direction from `source` has passed its end of stream on.
  void DirectionEnded(RelaySide source);
  // `side` reset or failed: the connection is over.
  void Gone(RelaySide side);
  // The relay ends the connection itself.
  void Cut();
  bool IsCut() const { return cut_.load(std::memory_order_acquire); }

  // For a send that waits for room at `target` and last made progress at
  // `progress`: whether to give up now. Over the silence limit once a side
  // has ended; over kEndGrace at a target that has ended its own side.
  bool SendStalled(RelaySide target, SteadyTime progress) const;
  // For the thread whose direction (from `source`) ended in order: returns
  // once the other direction has ended (for the handler, once the pump has
  // stopped) or the connection is cut, cutting it when nothing moves for the
  // silence limit or `source` takes none of our bytes for kEndGrace.
  void WatchTheOtherDirection(RelaySide source);
  // The pump thread's last word, and the handler's wait for it.
  void PumpStopped();
  void WaitForPump();
  // Once neither pump runs: the verdict if it is still due, and a cut
  // connection's resets.
  void Finish();
  std::exception_ptr VerdictFailure() const { return verdictFailure_; }

 private:
  SteadyTime LastMove() const;
  // The moment that ends the life when the relay ends the connection first.
  SteadyTime RelayEndMoment() const;
  void Judge(SteadyTime moment);

  const Socket client_;
  const Socket upstream_;
  const std::chrono::milliseconds silenceLimit_;
  const std::function<void(SteadyTime)> judge_;

  std::atomic<SteadyTime::rep> lastMove_;
  std::atomic<bool> cut_{false};
  std::atomic<bool> judged_{false};
  std::exception_ptr verdictFailure_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<SteadyTime> clientEnd_;
  std::optional<SteadyTime> upstreamEnd_;
  bool directionEnded_[2] = {false, false};
  // The handler's wait for the pump; nothing else wakes the handler.
  Wakeup pumpStopped_;
};
