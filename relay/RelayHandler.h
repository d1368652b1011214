// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Relays one local client to the current upstream proxy and judges the proxy
// by how long the connection lived.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "net/ConnectionServer.h"
#include "net/TcpSocket.h"
#include "relay/EndOfConnection.h"

class ProxyPool;

inline constexpr std::int32_t RelayPort = 7300;

// The upstream this connection relays to, read once at its start: a later
// change of the upstream neither redirects nor re-judges it.
struct SocksData {
  std::int32_t port = 0;
  std::string host;
};

// Where the life of a connection is measured. It must not go backwards;
// tests give one they can move by hand.
using RelayClock = std::function<std::chrono::steady_clock::time_point()>;

// How long the relay waits: the connection attempt to the upstream, and the
// silence after which a half-closed connection is let go.
struct RelayLimits {
  std::chrono::milliseconds connect = kConnectTimeLimit;
  std::chrono::milliseconds halfClosedSilence = kHalfClosedSilence;
};

// One relayed connection on `client` (which stays open for the server to
// close) through `pool`'s upstream. Returns at once when there is no
// upstream. Both directions run to their own ends (relay/EndOfConnection);
// the proxy is judged (relay/Verdict) as soon as its side has ended, and the
// verdict handed to the pool without waiting.
void RelayConnection(Socket client, ProxyPool& pool, const RelayClock& clock, RelayLimits limits = {});

// A handler over a pool and a clock of the caller's; both must outlive every
// connection it serves.
ConnectionHandler MakeRelayHandler(ProxyPool& pool, RelayClock clock, RelayLimits limits = {});
ConnectionHandler MakeRelayHandler(ProxyPool& pool, RelayClock clock, std::chrono::milliseconds connectLimit);

// The handler the program serves on RelayPort: the process pool, the monotonic clock.
void RelayHandler(Socket client, std::int32_t port, const std::string& peerAddress);
