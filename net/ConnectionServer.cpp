// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// One thread per accepted connection for its whole life, without a bound: a
// relayed connection spends nearly all its life blocked in recv, so threads
// are cheap here and keep every handler a plain sequential function. A thread
// whose connection has ended waits a moment for the next (net/ReusedThreads).
#include "net/ConnectionServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <exception>
#include <new>
#include <thread>
#include <utility>

namespace {

// Failures that belong to one incoming connection, or to a signal, and not to
// the listening socket: the next accept can go ahead at once.
bool IsPassingFailure(int error) {
  switch (error) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case EPERM:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
    case EAGAIN:
      return true;
    default:
      return false;
  }
}

std::string DottedAddress(const sockaddr_in& address) {
  std::array<char, INET_ADDRSTRLEN> buffer{};
  if (::inet_ntop(AF_INET, &address.sin_addr, buffer.data(), buffer.size()) == nullptr) return {};
  return buffer.data();
}

}  // namespace

std::shared_ptr<ListeningSocket> TcpServe(std::int32_t port, ConnectionHandler handler) {
  const Socket listenSocket = TcpListen(port);
  if (!listenSocket) return nullptr;
  std::shared_ptr<ListeningSocket> owner;
  try {
    owner = std::make_shared<ListeningSocket>(listenSocket);
    auto data = std::make_unique<TListenData>();
    data->listenSocket = listenSocket;
    data->port = port;
    data->handler = std::move(handler);
    data->owner = owner;
    std::thread(ListenThread, std::move(data)).detach();
  } catch (const std::exception&) {
    // No thread, no service: the record went with the failed thread (or with
    // `data`), and the socket must not stay open with nobody accepting on it.
    TcpClose(listenSocket);
    return nullptr;
  }
  return owner;
}

Socket ListeningSocket::Get() const {
  std::lock_guard lock(mutex_);
  return socket_;
}

void ListeningSocket::StopAccepting() {
  std::lock_guard lock(mutex_);
  TcpShutdown(socket_);
}

void ListeningSocket::Close() {
  std::lock_guard lock(mutex_);
  TcpClose(socket_);
  socket_ = NoSocket;
}

namespace {

// Accepts until the listening socket is shut down or fails for good.
void AcceptUntilEnd(Socket listenSocket, std::int32_t port, const ConnectionHandler& handler) {
  for (;;) {
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    const int fd = ::accept4(listenSocket.fd, reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_CLOEXEC);
    if (fd < 0) {
      const int error = errno;
      if (IsShortOfResources(error)) {
        // The pending connections stay queued; retrying at once would only
        // spin until some connection ends and gives a descriptor back.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        continue;
      }
      if (IsPassingFailure(error)) continue;
      break;  // shut down or closed: the server is over
    }

    // Owned from here on, so that no way out of this pass leaves it open.
    OwnedSocket accepted{Socket(fd)};
    try {
      auto data = std::make_unique<TData>();
      data->socket = std::move(accepted);
      data->port = port;
      data->peerAddress = DottedAddress(peer);
      data->handler = handler;
      RunOnThread([data = std::move(data)]() mutable { ConnectionThread(std::move(data)); });
    } catch (const std::bad_alloc&) {
      // No memory for the record: the connection is closed (by `accepted` or
      // with the record) and the loop waits as for any other shortage.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } catch (const std::exception&) {
      // No thread: the record, wherever it ended up, is freed by now, and its
      // socket with it: the client sees its connection closed rather than
      // hanging on a connection nobody serves.
    }
  }
}

}  // namespace

void ConnectionThread(std::unique_ptr<TData> data) {
  if (!data) return;
  try {
    if (data->handler) data->handler(data->socket.Get(), data->port, data->peerAddress);
  } catch (...) {
    // A handler's failure ends that connection only; the closing below is what
    // the client needs to see.
  }
  data.reset();  // closes the accepted socket and frees the record
}

void ListenThread(std::unique_ptr<TListenData> data) {
  if (!data) return;
  if (data->listenSocket && data->handler) AcceptUntilEnd(data->listenSocket, data->port, data->handler);
  data->owner->Close();
}
