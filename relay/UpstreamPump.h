// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The two byte pumps of one relayed connection: the handler's own (client to
// upstream) on its thread, UpstreamPump (upstream to client) on one more.
#pragma once

#include <chrono>

#include "net/SizedThread.h"
#include "net/TcpSocket.h"
#include "relay/ConnectionEnd.h"

// Each chunk received is sent before the next receive, so a direction never
// holds more than this many bytes in flight.
inline constexpr int kRelayBufferSize = 512;

// The pump thread's stack: it only receives and sends one chunk at a time, a
// few KiB deep at most (bench/stack_depth); the rest is margin.
inline constexpr std::size_t kPumpStackBytes = 64 * 1024 * kStackScale;

// Copies chunks from `from` to `to` until the stream ends or a step fails.
// Watching the source, a send that has to wait for room also waits for the
// source's hang-up, and gives up once the source has hung up and the target
// has taken nothing for kEndGrace: a client gone from a proxy that does not
// read would otherwise hold the connection for as long as the proxy likes.
PumpEnd PumpBytes(Socket from, Socket to, bool watchSource = false);

// What UpstreamPump works on. Neither socket is its to close; `clientDone` is
// the handler's direction, which outlives the pump.
struct PumpData {
  Socket client;
  Socket upstream;
  DirectionDone* clientDone = nullptr;
};

// Upstream to client. The upstream's end of stream goes on to the client as a
// half-close, after the last byte. When the upstream fails, the client gets
// the same end and kEndGrace to hang up before it is shut down; when the
// client fails, the upstream gets our end and is read off until its own.
void UpstreamPump(PumpData data);

// Runs UpstreamPump on its own thread. Without an upstream socket, or when no
// thread can be had, nothing runs. A pump still running when this goes is
// stopped.
class UpstreamPumpThread {
 public:
  UpstreamPumpThread(Socket client, Socket upstream, DirectionDone& clientDone);
  ~UpstreamPumpThread();
  UpstreamPumpThread(const UpstreamPumpThread&) = delete;
  UpstreamPumpThread& operator=(const UpstreamPumpThread&) = delete;

  bool Running() const { return thread_.Joinable(); }
  // Waits for the pump to end on its own, however long the upstream takes to
  // answer, unless the upstream takes none of what we sent it for kEndGrace:
  // then the pump is stopped.
  void JoinUnlessStalled();
  // The same, for at most `limit`; then stops it.
  void JoinOrStop(std::chrono::milliseconds limit);
  // Shuts both sockets down in both directions, which wakes the pump wherever
  // it waits, and joins it; what is still unread is lost.
  void Stop();

 private:
  PumpData data_;
  SizedThread thread_;
};
