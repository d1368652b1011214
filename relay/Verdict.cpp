// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "relay/Verdict.h"

#include <algorithm>

#include "pool/ProxyPool.h"

std::chrono::steady_clock::time_point EndOfLife(std::optional<std::chrono::steady_clock::time_point> upstreamEnd,
                                                std::chrono::steady_clock::time_point lastMove,
                                                std::optional<std::chrono::steady_clock::time_point> clientEnd) {
  if (upstreamEnd) return *upstreamEnd;
  return clientEnd ? std::max(lastMove, *clientEnd) : lastMove;
}

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
  if (!outcome.relayed) return Verdict::None;
  return IsWorkingLife(outcome.life) ? Verdict::Working : Verdict::Failed;
}

std::string ProxyEntryOf(std::string_view host, std::int32_t port) {
  std::string entry(host);
  entry += ':';
  entry += std::to_string(port);
  return entry;
}

void ApplyVerdict(ProxyPool& pool, std::string_view entry, Verdict verdict) {
  switch (verdict) {
    case Verdict::None:
      return;
    case Verdict::Working:
      pool.MoveProxyEntry({lstFailed, lstWorking}, lstWorking, entry);
      return;
    case Verdict::Failed:
      // One trip to the window for both.
      pool.Together([&] {
        pool.MoveProxyEntry({lstAll, lstWorking, lstFailed}, lstFailed, entry);
        pool.SelectRandomProxy();
      });
      return;
  }
}
