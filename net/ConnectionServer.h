// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Turns a port and a handler into a TCP service: one thread per accepted
// connection, the client socket closed by the server once the handler returns.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "SizedThread.h"
#include "TcpSocket.h"

// The stack each connection's thread (and so its handler) runs on. The relay
// handler's deepest use, a name lookup through the resolver, is about 20 KiB
// (bench/stack_depth); the rest is margin.
inline constexpr std::size_t kConnectionStackBytes = 256 * 1024 * kStackScale;

// Runs once per accepted connection, on that connection's own thread, with the
// accepted socket, the listening port and the peer's dotted address. It may shut
// the socket down but never closes it.
using ConnectionHandler =
    std::function<void(Socket socket, std::int32_t port, const std::string& peerAddress)>;

// One accepted connection on its way to its thread, which owns it from then on.
struct TData {
  OwnedSocket socket;
  std::int32_t port = 0;
  std::string peerAddress;
  ConnectionHandler handler;
};

// A listening socket on its way to the listener thread.
struct TListenData {
  Socket listenSocket;
  std::int32_t port = 0;
  ConnectionHandler handler;
};

// The listening socket, or NoSocket when listening failed. Blocking runs the
// accept loop on the caller's thread; otherwise on a detached thread of its own.
// The loop ends, and closes the listening socket, once that socket is shut down.
Socket TcpServe(std::int32_t port, ConnectionHandler handler, bool blocking);
void AcceptLoop(Socket listenSocket, std::int32_t port, const ConnectionHandler& handler);
void ConnectionThread(std::unique_ptr<TData> data);
void ListenThread(std::unique_ptr<TListenData> data);
