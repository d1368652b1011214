// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "relay/RelayHandler.h"

#include <thread>
#include <utility>

#include "pool/ProxyPool.h"
#include "relay/UpstreamPump.h"
#include "relay/Verdict.h"

namespace {

constexpr std::chrono::milliseconds kShortageWait{1000};
constexpr std::chrono::milliseconds kShortageRetry{50};

}  // namespace

void RelayConnection(Socket client, ProxyPool& pool, const RelayClock& clock, RelayLimits limits) {
  const Upstream current = pool.CurrentUpstream();
  const SocksData socks{current.port, current.host};
  if (socks.host.empty()) return;
  const std::string entry = ProxyEntryOf(socks.host, socks.port);

  // The life starts before the connection attempt: a slow name lookup or
  // connect counts against the proxy.
  const auto start = clock();
  ConnectionOutcome outcome;
  OwnedSocket upstream(TcpConnect(socks.host, socks.port, limits.connect, outcome.connectFault));
  // Short of descriptors or memory for a moment (a burst at the limit): the
  // client waits a little for one to come free rather than being dropped at
  // once, while the accept loop, short as well, holds back the next clients.
  for (auto waited = std::chrono::milliseconds(0);
       !upstream && outcome.connectFault == ConnectFault::Shortage && waited < kShortageWait; waited += kShortageRetry) {
    std::this_thread::sleep_for(kShortageRetry);
    upstream = OwnedSocket(TcpConnect(socks.host, socks.port, limits.connect, outcome.connectFault));
  }
  if (!upstream) {
    outcome.life = clock() - start;
    ApplyVerdict(pool, entry, JudgeConnection(outcome));
    return;
  }

  // The pumps cut the stream into 512-byte sends; under Nagle's rule each
  // send after the first of a message would wait for the peer's delayed
  // acknowledgement, up to 40 ms per message longer than one chunk.
  TcpSendAtOnce(client);
  TcpSendAtOnce(upstream.Get());
  // The end's rules read the relay's clock too, so a moment they name is one
  // of this life's.
  RelayLink link(client, upstream.Get(), clock, limits.halfClosedSilence, [&](SteadyTime moment) {
    ConnectionOutcome judged = outcome;
    judged.life = moment - start;
    ApplyVerdict(pool, entry, JudgeConnection(judged));
  });
  {
    UpstreamPumpThread pump(link);
    if (!pump.Running()) return;
    RelayDirection(link, RelaySide::Client);
    pump.Join();
  }
  link.Finish();
}

ConnectionHandler MakeRelayHandler(ProxyPool& pool, RelayClock clock, RelayLimits limits) {
  return [&pool, clock = std::move(clock), limits](Socket client, std::int32_t, const std::string&) {
    RelayConnection(client, pool, clock, limits);
  };
}

ConnectionHandler MakeRelayHandler(ProxyPool& pool, RelayClock clock, std::chrono::milliseconds connectLimit) {
  return MakeRelayHandler(pool, std::move(clock), RelayLimits{connectLimit, kHalfClosedSilence});
}

void RelayHandler(Socket client, std::int32_t, const std::string&) {
  static const RelayClock monotonic = [] { return std::chrono::steady_clock::now(); };
  RelayConnection(client, ThePool(), monotonic);
}
