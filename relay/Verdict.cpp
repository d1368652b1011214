#include "relay/Verdict.h"

#include "pool/ProxyPool.h"

bool IsWorkingLife(std::chrono::steady_clock::duration life) {
  return life >= kRelayDeadline + kVerdictTolerance;
}

std::string ProxyEntryOf(std::string_view host, std::int32_t port) {
  std::string entry(host);
  entry += ':';
  entry += std::to_string(port);
  return entry;
}

void ApplyVerdict(ProxyPool& pool, std::string_view entry, bool working) {
  if (working) {
    pool.RemoveProxyEntry(lstFailed, entry);
    pool.RemoveProxyEntry(lstWorking, entry);
    pool.AddProxyEntry(lstWorking, entry);
    return;
  }
  pool.RemoveProxyEntry(lstAll, entry);
  pool.RemoveProxyEntry(lstWorking, entry);
  pool.RemoveProxyEntry(lstFailed, entry);
  pool.AddProxyEntry(lstFailed, entry);
  pool.SelectRandomProxy();
}
