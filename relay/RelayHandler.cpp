#include "relay/RelayHandler.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <utility>

#include "pool/ProxyPool.h"
#include "relay/UpstreamPump.h"
#include "relay/Verdict.h"

namespace {

// The pumps cut the stream into 512-byte sends. Under Nagle's rule each send
// after the first would wait for the peer to acknowledge it, and the peer
// delays that by up to 40 ms: every message longer than one chunk would stall
// in the relay. Each chunk is to leave as it is sent.
void SendEachChunkAtOnce(Socket socket) {
  const int on = 1;
  ::setsockopt(socket.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

void RelayConnection(Socket client, ProxyPool& pool, const RelayClock& clock) {
  const Upstream current = pool.CurrentUpstream();
  const SocksData socks{current.port, current.host};
  if (socks.host.empty()) return;

  // The life starts before the connection attempt: a slow name lookup or
  // connect counts against the proxy.
  const auto start = clock();
  const OwnedSocket upstream(TcpConnect(socks.host, socks.port));
  if (upstream) {
    SendEachChunkAtOnce(client);
    SendEachChunkAtOnce(upstream.Get());
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
