// The two byte pumps of one relayed connection: the handler's own (client to
// upstream) on its thread, UpstreamPump (upstream to client) on one more.
#pragma once

#include "net/SizedThread.h"
#include "net/TcpSocket.h"

// Each chunk received is sent before the next receive, so a direction never
// holds more than this many bytes in flight.
inline constexpr int kRelayBufferSize = 512;

// The pump thread's stack: it only receives and sends one chunk at a time, a
// few KiB deep at most (bench/stack_depth); the rest is margin.
inline constexpr std::size_t kPumpStackBytes = 64 * 1024 * kStackScale;

// What UpstreamPump works on. Neither socket is its to close.
struct PumpData {
  Socket client;
  Socket upstream;
};

// Copies chunks from `from` to `to` until a receive gives nothing or a send
// fails.
void PumpBytes(Socket from, Socket to);

// Upstream to client, then shuts both sockets down, so that the end of this
// direction also ends the handler's receive on the client.
void UpstreamPump(PumpData data);

// Runs UpstreamPump on its own thread for the life of this object. Without an
// upstream socket, or when no thread can be had, nothing runs. Destroying it
// shuts both sockets down (waking the pump if it waits) and joins the thread,
// so that the upstream socket can be closed safely after it.
class UpstreamPumpThread {
 public:
  UpstreamPumpThread(Socket client, Socket upstream);
  ~UpstreamPumpThread();
  UpstreamPumpThread(const UpstreamPumpThread&) = delete;
  UpstreamPumpThread& operator=(const UpstreamPumpThread&) = delete;

  bool Running() const { return thread_.Joinable(); }

 private:
  PumpData data_;
  SizedThread thread_;
};
