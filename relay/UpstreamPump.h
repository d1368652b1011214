// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The two byte pumps of one relayed connection: the handler's own (client to
// upstream) on its thread, UpstreamPump (upstream to client) on one more.
#pragma once

#include "relay/RelayLink.h"

// Each chunk received is sent before the next receive, so a direction never
// holds more than this many bytes in flight.
inline constexpr int kRelayBufferSize = 512;

// The direction from `source`: chunk after chunk to the other side until the
// source's end of stream, which goes on as a half-close, or until either side
// fails or the connection is cut. True when the direction ended in order.
bool PumpDirection(RelayLink& link, RelaySide source);

// The direction from `source`, then, if it ended in order, the watch over the
// other until that one ends too.
void RelayDirection(RelayLink& link, RelaySide source);

// Upstream to client.
void UpstreamPump(RelayLink& link);

// Runs UpstreamPump on a thread of its own (net/ReusedThreads); when no
// thread can be had, nothing runs. A pump still running when this goes is cut
// off and waited for.
class UpstreamPumpThread {
 public:
  explicit UpstreamPumpThread(RelayLink& link);
  ~UpstreamPumpThread();
  UpstreamPumpThread(const UpstreamPumpThread&) = delete;
  UpstreamPumpThread& operator=(const UpstreamPumpThread&) = delete;

  bool Running() const { return started_ && !joined_; }
  // Returns once the pump has stopped using the link and the sockets.
  void Join();

 private:
  RelayLink& link_;
  bool started_ = false;
  bool joined_ = false;
};
