#include "relay/RelayHandler.h"

#include <utility>

#include "pool/ProxyPool.h"
#include "relay/UpstreamPump.h"
#include "relay/Verdict.h"

void RelayConnection(Socket client, ProxyPool& pool, const RelayClock& clock) {
  const Upstream current = pool.CurrentUpstream();
  const SocksData socks{current.port, current.host};
  if (socks.host.empty()) return;

  // The life starts before the connection attempt: a slow name lookup or
  // connect counts against the proxy.
  const auto start = clock();
  const OwnedSocket upstream(TcpConnect(socks.host, socks.port));
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
  if (pump.Running()) PumpBytes(client, upstream.Get());
  const auto life = clock() - start;
  ApplyVerdict(pool, ProxyEntryOf(socks.host, socks.port), IsWorkingLife(life));
}

ConnectionHandler MakeRelayHandler(ProxyPool& pool, RelayClock clock) {
  return [&pool, clock = std::move(clock)](Socket client, std::int32_t, const std::string&) {
    RelayConnection(client, pool, clock);
  };
}

void RelayHandler(Socket client, std::int32_t, const std::string&) {
  static const RelayClock monotonic = [] { return std::chrono::steady_clock::now(); };
  RelayConnection(client, ThePool(), monotonic);
}
