// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// What the two pumps of one relayed connection share: the sockets and the
// end's rules (relay/EndOfConnection) behind one lock. The pumps tell it what
// they see; it carries out what the rules decide (a half-close passed on, the
// verdict, a cut, a peer's reset) and lets each pump wait for the other.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "net/TcpSocket.h"
#include "net/Wakeup.h"
#include "relay/EndOfConnection.h"

class RelayLink {
 public:
  // `judge` gets the moment the life ended, once; it must not wait for
  // anything (relay/Verdict hands the verdict over to the pool).
  RelayLink(Socket client, Socket upstream, EndOfConnection::Clock clock, std::chrono::milliseconds silenceLimit,
            std::function<void(SteadyTime)> judge);
  RelayLink(const RelayLink&) = delete;
  RelayLink& operator=(const RelayLink&) = delete;

  Socket Of(RelaySide side) const { return side == RelaySide::Client ? client_ : upstream_; }

  // Some bytes went on to a peer.
  void Moved();
  // The direction from `source` read its end of stream.
  void EndOfStream(RelaySide source);
  // `side` hung up, seen while waiting to send it more.
  void HangUpSeen(RelaySide side);
  // `side` reset, or a send to it failed.
  void Failed(RelaySide side);
  // The relay ends the connection itself.
  void Cut();
  bool IsCut() const { return cut_.load(std::memory_order_acquire); }
  // A look at what each peer has acknowledged, for a send that waits for room.
  void Look();

  // For the thread whose direction (from `source`) ended in order: returns
  // once the other direction has ended (for the handler, once the pump has
  // stopped) or the connection is cut, looking at the peers meanwhile.
  void WatchTheOtherDirection(RelaySide source);
  // The pump thread's last word, and the handler's wait for it.
  void PumpStopped();
  void WaitForPump();
  // Once neither pump runs: a cut connection's resets, each peer's when what
  // the relay holds for it is delivered.
  void Finish();

 private:
  EndDecision LookNow();
  // Carries out a decision for an event of `side`, outside the lock.
  void Carry(const EndDecision& decision, RelaySide side);

  const Socket client_;
  const Socket upstream_;
  const std::function<void(SteadyTime)> judge_;
  std::atomic<bool> cut_{false};

  std::mutex mutex_;
  EndOfConnection end_;
  // Tells the pump's watch that the client's direction ended or the cut came.
  std::condition_variable changed_;
  // The handler's wait for the pump; nothing else wakes the handler.
  Wakeup pumpStopped_;
};
