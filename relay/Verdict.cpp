// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "relay/Verdict.h"

#include "pool/ProxyPool.h"

bool IsWorkingLife(std::chrono::steady_clock::duration life) {
  return life >= kRelayDeadline + kVerdictTolerance;
}

Verdict JudgeConnection(const ConnectionOutcome& outcome) {
  switch (outcome.connectFault) {
    case ConnectFault::Shortage:
      return Verdict::None;
    case ConnectFault::Refused:
      return Verdict::Failed;
    case ConnectFault::None:
      break;
  }
  return IsWorkingLife(outcome.life) ? Verdict::Working : Verdict::Failed;
}

std::string ProxyEntryOf(std::string_view host, std::int32_t port) {
  std::string entry(host);
  entry += ':';
  entry += std::to_string(port);
  return entry;
}

void ApplyVerdict(ProxyPool& pool, std::string entry, Verdict verdict) {
  if (verdict == Verdict::None) return;
  // One trip to the window for every step.
  pool.HandOver([&pool, entry = std::move(entry), verdict] {
    if (verdict == Verdict::Working) {
      pool.MoveProxyEntry({lstFailed, lstWorking}, lstWorking, entry);
      return;
    }
    pool.MoveProxyEntry({lstAll, lstWorking, lstFailed}, lstFailed, entry);
    pool.RemoveSameProxy(lstAll, entry);
    pool.SelectRandomProxy();
  });
}
