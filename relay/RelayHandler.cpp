// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "relay/RelayHandler.h"

#include <exception>
#include <utility>

#include "pool/ProxyPool.h"
#include "relay/ConnectionEnd.h"
#include "relay/UpstreamPump.h"
#include "relay/Verdict.h"

namespace {

// The client's direction on this thread until it ends, then the upstream's
// until it ends too (half-closes go on and the other direction runs). True
// when the client may still be sending and must be read off before it closes.
bool RelayUntilBothEnd(Socket client, Socket upstream, UpstreamPumpThread& pump, DirectionDone& clientDone) {
  const PumpEnd end = PumpBytes(client, upstream, /*watchSource=*/true);
  clientDone.Set();
  switch (end) {
    case PumpEnd::EndOfStream:
      // The client has said all it will; the answer may still be coming, if
      // the upstream reads what it was sent.
      TcpShutdownSending(upstream);
      pump.JoinUnlessStalled();
      return false;
    case PumpEnd::SourceFailed:
      // The client is gone. The upstream hears the end after the last byte
      // and its pump reads it off.
      TcpShutdownSending(upstream);
      pump.JoinOrStop(2 * kEndGrace);
      return false;
    case PumpEnd::TargetFailed:
      // The upstream is gone; its pump passes on its last bytes and the end.
      pump.JoinOrStop(2 * kEndGrace);
      return true;
    case PumpEnd::SourceGone:
      pump.Stop();
      return true;
  }
  return true;
}

}  // namespace

void RelayConnection(Socket client, ProxyPool& pool, const RelayClock& clock,
                     std::chrono::milliseconds connectLimit) {
  const Upstream current = pool.CurrentUpstream();
  const SocksData socks{current.port, current.host};
  if (socks.host.empty()) return;

  // The life starts before the connection attempt: a slow name lookup or
  // connect counts against the proxy.
  const auto start = clock();
  ConnectionOutcome outcome;
  const OwnedSocket upstream(TcpConnect(socks.host, socks.port, connectLimit, outcome.connectFault));
  bool readOffClient = false;
  if (upstream) {
    // The pumps cut the stream into 512-byte sends; under Nagle's rule each
    // send after the first of a message would wait for the peer's delayed
    // acknowledgement, up to 40 ms per message longer than one chunk.
    TcpSendAtOnce(client);
    TcpSendAtOnce(upstream.Get());
    DirectionDone clientDone;
    UpstreamPumpThread pump(client, upstream.Get(), clientDone);
    outcome.relayed = pump.Running();
    if (outcome.relayed) readOffClient = RelayUntilBothEnd(client, upstream.Get(), pump, clientDone);
  }
  outcome.life = clock() - start;

  // The lists need not wait for a lingering client to hang up.
  std::exception_ptr failure;
  try {
    ApplyVerdict(pool, ProxyEntryOf(socks.host, socks.port), JudgeConnection(outcome));
  } catch (...) {
    failure = std::current_exception();
  }
  if (readOffClient) ReadOffUntilEnd(client);
  if (failure) std::rethrow_exception(failure);
}

ConnectionHandler MakeRelayHandler(ProxyPool& pool, RelayClock clock, std::chrono::milliseconds connectLimit) {
  return [&pool, clock = std::move(clock), connectLimit](Socket client, std::int32_t, const std::string&) {
    RelayConnection(client, pool, clock, connectLimit);
  };
}

void RelayHandler(Socket client, std::int32_t, const std::string&) {
  static const RelayClock monotonic = [] { return std::chrono::steady_clock::now(); };
  RelayConnection(client, ThePool(), monotonic);
}
