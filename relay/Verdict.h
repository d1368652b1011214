// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The judgement of a proxy by one connection through it, and the moves among
// the three lists that follow from it. Every rule of the judgement is here.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/TcpSocket.h"

class ProxyPool;

inline constexpr std::chrono::milliseconds kRelayDeadline{30'000};
inline constexpr std::chrono::milliseconds kVerdictTolerance{1};

enum class Verdict { None, Working, Failed };

// What one relayed connection showed of its proxy.
struct ConnectionOutcome {
  // Why the connection to the proxy did not open; None when it did.
  ConnectFault connectFault = ConnectFault::None;
  // From before the connection attempt to the end of its life (the moment
  // relay/EndOfConnection names).
  std::chrono::steady_clock::duration life{};
};

// Working once the connection has outlived the deadline by the tolerance;
// a life of exactly the deadline is still a failure.
bool IsWorkingLife(std::chrono::steady_clock::duration life);

// The relay's own shortage (descriptors, memory, ports, threads) judges
// nothing: the proxy was not to blame. A connection that never opened has
// failed however long the lookup and the attempt took. Otherwise the life
// decides.
Verdict JudgeConnection(const ConnectionOutcome& outcome);

// host ":" port, the port in plain decimal ("-" when negative, no leading zeros).
std::string ProxyEntryOf(std::string_view host, std::int32_t port);

// Working: out of lstFailed and lstWorking, then into lstWorking; lstAll is
// left alone. Failed: out of lstAll, lstWorking and lstFailed, into lstFailed,
// every other entry of the same proxy (a zero-padded port) out of lstAll,
// then a random upstream from what is left in lstAll. The moves are one pool
// operation, so verdicts at the same moment leave one copy; an EListError
// from the addition ends the verdict there. Handed over to the pool's owner
// without waiting (ProxyPool::HandOver): a verdict never holds a connection.
void ApplyVerdict(ProxyPool& pool, std::string entry, Verdict verdict);
