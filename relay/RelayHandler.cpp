#include "relay/RelayHandler.h"

#include <utility>

#include "pool/ProxyPool.h"
#include "relay/UpstreamPump.h"
#include "relay/Verdict.h"

void RelayConnection(Socket client, ProxyPool& pool, const RelayClock& clock,
                     std::chrono::milliseconds connectLimit) {
  const Upstream current = pool.CurrentUpstream();
  const SocksData socks{current.port, current.host};
  if (socks.host.empty()) return;

  // The life starts before the connection attempt: a slow name lookup or
  // connect counts against the proxy.
  const auto start = clock();
  ConnectFault fault = ConnectFault::None;
  const OwnedSocket upstream(TcpConnect(socks.host, socks.port, connectLimit, fault));
  if (fault == ConnectFault::Shortage) return;
  if (upstream) {
    // The pumps cut the stream into 512-byte sends; under Nagle's rule each
    // send after the first of a message would wait for the peer's delayed
    // acknowledgement, up to 40 ms per message longer than one chunk.
    TcpSendAtOnce(client);
    TcpSendAtOnce(upstream.Get());
  }
  // Declared after `upstream`, so it is gone (sockets shut down, pump joined)
  // before the upstream socket closes, on every path out of here.
  const UpstreamPumpThread pump(client, upstream.Get());
  if (upstream && !pump.Running()) return;  // no thread to be had: our shortage again
  if (pump.Running()) PumpBytes(client, upstream.Get());
  const auto life = clock() - start;
  // A connection that never opened has shown only that the proxy could not be
  // reached, however long the lookup and the attempt together took.
  ApplyVerdict(pool, ProxyEntryOf(socks.host, socks.port), upstream && IsWorkingLife(life));
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
