// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Turns a port and a handler into a TCP service: one thread per accepted
// connection, the client socket closed by the server once the handler returns.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "ReusedThreads.h"
#include "TcpSocket.h"

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

// The listening socket of a server that accepts on a thread of its own,
// shared by that thread and whoever may ask it to end: the accept loop closes
// it, once, and a request that comes after that touches no descriptor (its
// number may belong to another socket by then).
class ListeningSocket {
 public:
  explicit ListeningSocket(Socket socket) : socket_(socket) {}
  ListeningSocket(const ListeningSocket&) = delete;
  ListeningSocket& operator=(const ListeningSocket&) = delete;

  Socket Get() const;
  // Asks the accept loop to end; nothing once it has ended.
  void StopAccepting();
  // The accept loop's own end.
  void Close();

 private:
  mutable std::mutex mutex_;
  Socket socket_;
};

// A listening socket on its way to the listener thread; `owner` is never null.
struct TListenData {
  Socket listenSocket;
  std::int32_t port = 0;
  ConnectionHandler handler;
  std::shared_ptr<ListeningSocket> owner;
};

// The accept loop on a thread of its own (the program never blocks in it),
// with the means to end it; nullptr when listening failed. The loop ends, and
// closes the listening socket, once asked to stop.
std::shared_ptr<ListeningSocket> TcpServe(std::int32_t port, ConnectionHandler handler);
void ConnectionThread(std::unique_ptr<TData> data);
void ListenThread(std::unique_ptr<TListenData> data);
