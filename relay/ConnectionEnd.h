// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// How a relayed connection ends. Each direction passes its end of stream on as
// a half-close and the other runs on; a socket is closed only once its peer
// has stopped sending into it, because Linux answers a close with unread bytes
// by a reset, and a reset destroys the bytes still on their way to that peer.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "net/TcpSocket.h"

// How long the end of a connection waits on a peer: a client that has hung up
// for an upstream that takes nothing, a peer that has our end of stream for its
// own, a direction that has failed for the other.
inline constexpr std::chrono::milliseconds kEndGrace{3000};

enum class PumpEnd {
  EndOfStream,   // the source ended its stream in order
  SourceFailed,  // receiving failed: a reset, as a rule
  TargetFailed,  // sending failed
  SourceGone,    // the source hung up and the target took nothing for kEndGrace
};

// One direction's word to the other that it is over.
class DirectionDone {
 public:
  void Set();
  // True once set, within `limit`.
  bool WaitWithin(std::chrono::milliseconds limit);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
};

// Whether our bytes to a peer still move on: the peer that takes none of them
// for kEndGrace is taken for one that never will.
class DeliveryWatch {
 public:
  // `settledCounts`: nothing left unsent counts as moving (a peer that has all
  // our bytes may still be working on its answer).
  DeliveryWatch(Socket peer, bool settledCounts);
  // Looks again; false once kEndGrace has passed without a move.
  bool Moving();

 private:
  Socket peer_;
  bool settledCounts_;
  int unsent_;
  std::chrono::steady_clock::time_point stillAt_;
};

// After our end of stream has gone to the peer: reads and drops whatever it
// still sends, until its own end of stream or a failure, or until kEndGrace
// passes without our unsent bytes to it moving on.
void ReadOffUntilEnd(Socket socket);
