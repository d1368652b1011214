// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Loopback plumbing shared by the socket and server tests: connected pairs,
// receives with a deadline, and a way to find a server's listening socket.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "net/TcpSocket.h"

namespace loopback {

using namespace std::chrono_literals;

// Long enough for a loaded CI machine, short enough that a hang fails fast.
inline constexpr std::chrono::milliseconds kPatience = 5s;

struct Pair {
  OwnedSocket client;
  OwnedSocket server;
};

// A client connected to 127.0.0.1 and the server end accepted for it.
Pair ConnectedPair();

// A port that was free a moment ago (SO_REUSEADDR lets a listener take it).
std::int32_t FreePort();

// A client socket bound to `source` (any 127.x.y.z) and connected to
// 127.0.0.1:port; NoSocket on failure. The caller closes it.
Socket ConnectFrom(const std::string& source, std::int32_t port);

// What one receive brought within the time: the bytes, "" when the peer closed
// (or reset), nothing when the time ran out.
std::optional<std::string> ReceiveWithin(Socket socket, std::chrono::milliseconds time = kPatience);

// Reads exactly `count` bytes, or fewer when the peer closes or the time ends.
std::string ReceiveExactly(Socket socket, std::size_t count, std::chrono::milliseconds time = kPatience);

// True when the peer's end of stream arrives within the time, skipping any
// bytes before it.
bool ClosedWithin(Socket socket, std::chrono::milliseconds time = kPatience);

// The descriptor of a listening socket of this process bound to `port`.
Socket FindListeningSocket(std::int32_t port);

// Open descriptors of this process.
int OpenDescriptorCount();

// Polls `condition` until it holds or the time ends; its last answer.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds time = kPatience);

}  // namespace loopback
