// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The judgement of a proxy by one connection through it, and the moves among
// the three lists that follow from it. Every rule of the judgement is here.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
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
  // Both directions ran; false when the relay had no thread for the second.
  bool relayed = false;
  // From before the connection attempt to the end of its life (EndOfLife).
  std::chrono::steady_clock::duration life{};
};

// The moment a relayed connection's life ends: when the upstream's side
// ended (its end of stream, its reset or failure); when the relay ended the
// connection first, the later of the last byte moved and the client's own
// end. Never a moment after a wait of the relay's own, so that neither a
// grace nor the silence limit lengthens a life, nor a lingering client.
std::chrono::steady_clock::time_point EndOfLife(std::optional<std::chrono::steady_clock::time_point> upstreamEnd,
                                                std::chrono::steady_clock::time_point lastMove,
                                                std::optional<std::chrono::steady_clock::time_point> clientEnd);

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
// then a random upstream from what is left in lstAll. The moves are one pool
// operation, so verdicts at the same moment leave one copy; an EListError
// from the addition ends the verdict there.
void ApplyVerdict(ProxyPool& pool, std::string_view entry, Verdict verdict);
