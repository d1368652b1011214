// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Blocking IPv4 TCP over plain descriptors. Every failure ends in NoSocket or
// 0 and never in an exception: the callers are relay threads that have no one
// to report to.
#include "net/TcpSocket.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdint>

namespace {

Socket NewStreamSocket() {
  // Close-on-exec keeps relayed connections out of any child process the
  // program (or a test) starts.
  return Socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
}

Socket NewNonBlockingStreamSocket() {
  return Socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
}

// Connection errors that are the local machine's, not the host's: no local port
// left to bind, no buffer or memory for the attempt.
bool IsLocalConnectFailure(int error) {
  return IsShortOfResources(error) || error == EADDRNOTAVAIL || error == EAGAIN;
}

// Connects a non-blocking socket, waiting at most `limit` for the handshake.
// 0 once connected, else the error that ended the attempt (ETIMEDOUT when the
// time ran out first).
int ConnectWithin(int fd, const sockaddr_in& address, std::chrono::milliseconds limit) {
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return 0;
  if (errno != EINPROGRESS && errno != EINTR) return errno;

  const auto deadline = std::chrono::steady_clock::now() + limit;
  pollfd watch{fd, POLLOUT, 0};
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return ETIMEDOUT;
    const int ready = ::poll(&watch, 1, static_cast<int>(std::min<std::int64_t>(left.count(), INT32_MAX)));
    if (ready == 1) break;
    if (ready == 0) return ETIMEDOUT;
    if (errno != EINTR) return errno;
  }
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

}  // namespace

OwnedSocket& OwnedSocket::operator=(OwnedSocket&& other) noexcept {
  if (this != &other) {
    TcpClose(socket_);
    socket_ = other.Release();
  }
  return *this;
}

OwnedSocket::~OwnedSocket() {
  TcpClose(socket_);
}

Socket OwnedSocket::Release() {
  const Socket kept = socket_;
  socket_ = NoSocket;
  return kept;
}

Socket TcpConnect(const std::string& host, std::int32_t port) {
  ConnectFault fault;
  return TcpConnect(host, port, kConnectTimeLimit, fault);
}

Socket TcpConnect(const std::string& host, std::int32_t port, std::chrono::milliseconds limit,
                  ConnectFault& fault) {
  fault = ConnectFault::Refused;
  // An address that cannot be resolved is not worth a descriptor, nor a
  // connect to the all-ones address that inet_addr leaves behind.
  bool shortage = false;
  const sockaddr_in address = FillAddress(host, port, shortage);
  if (address.sin_addr.s_addr == INADDR_NONE) {
    if (shortage) fault = ConnectFault::Shortage;
    return NoSocket;
  }

  // Non-blocking for the attempt alone, so that it can be given up after
  // `limit` whatever the system's own SYN retries are; blocking again after.
  const Socket s = NewNonBlockingStreamSocket();
  if (!s) {
    // Not a word has gone to the host yet: whatever refused the socket was local.
    fault = ConnectFault::Shortage;
    return NoSocket;
  }
  const int error = ConnectWithin(s.fd, address, limit);
  // The socket was made here with no status flag but O_NONBLOCK: clearing
  // them all needs no F_GETFL first, one system call less per connection.
  if (error != 0 || ::fcntl(s.fd, F_SETFL, 0) != 0) {
    if (error == 0 || IsLocalConnectFailure(error)) fault = ConnectFault::Shortage;
    ::close(s.fd);
    return NoSocket;
  }
  fault = ConnectFault::None;
  return s;
}

int TcpSend(Socket socket, const void* buffer, int length) {
  if (!socket || buffer == nullptr || length <= 0) return 0;
  // A blocking send may still stop short (a signal, a send timeout); the relay
  // would lose the rest of the chunk, so the loop goes on until all is out.
  const auto* bytes = static_cast<const char*>(buffer);
  int sent = 0;
  while (sent < length) {
    const ssize_t n = ::send(socket.fd, bytes + sent, static_cast<std::size_t>(length - sent), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;
    sent += static_cast<int>(n);
  }
  return sent;
}

int TcpReceive(Socket socket, void* buffer, int size) {
  if (!socket || buffer == nullptr || size <= 0) return 0;
  // A signal is no end of stream: reporting it as 0 would end the relay.
  ssize_t n;
  do {
    n = ::recv(socket.fd, buffer, static_cast<std::size_t>(size), 0);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? 0 : static_cast<int>(n);
}

void TcpShutdown(Socket socket) {
  if (socket) ::shutdown(socket.fd, SHUT_RDWR);
}

void TcpShutdownSending(Socket socket) {
  if (socket) ::shutdown(socket.fd, SHUT_WR);
}

void TcpReset(Socket socket) {
  if (!socket) return;
  // Disconnecting sends the reset at once and leaves the descriptor closed to
  // the network, so the owner's shutdown and close add no end of stream after
  // it. Should the system refuse, a close without lingering still resets.
  sockaddr unspecified{};
  unspecified.sa_family = AF_UNSPEC;
  if (::connect(socket.fd, &unspecified, sizeof unspecified) == 0) return;
  const linger abort{1, 0};
  ::setsockopt(socket.fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

namespace {

void ResetIfConnection(int fd) {
  // What is not a connected TCP socket refuses one of these questions.
  int protocol = 0;
  int listening = 0;
  socklen_t size = sizeof protocol;
  if (::getsockopt(fd, SOL_SOCKET, SO_PROTOCOL, &protocol, &size) != 0 || protocol != IPPROTO_TCP) return;
  size = sizeof listening;
  if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || listening) return;
  const linger abort{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

}  // namespace

void ResetConnectionsAtExit() {
  if (DIR* open = ::opendir("/proc/self/fd")) {
    const int own = ::dirfd(open);
    while (const dirent* entry = ::readdir(open)) {
      const int fd = std::atoi(entry->d_name);
      if (entry->d_name[0] != '.' && fd != own) ResetIfConnection(fd);
    }
    ::closedir(open);
    return;
  }
  // Without /proc: every descriptor the limit allows, up to a bound.
  rlimit files{};
  const rlim_t highest = ::getrlimit(RLIMIT_NOFILE, &files) == 0 ? std::min<rlim_t>(files.rlim_cur, 1u << 16) : 1024;
  for (int fd = 0; static_cast<rlim_t>(fd) < highest; ++fd) ResetIfConnection(fd);
}

void TcpStopReceiving(Socket socket) {
  // Linux sends nothing for the receiving side's shutdown.
  if (socket) ::shutdown(socket.fd, SHUT_RD);
}

void TcpSendAtOnce(Socket socket) {
  const int on = 1;
  if (socket) ::setsockopt(socket.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void TcpClose(Socket socket) {
  if (!socket) return;
  ::shutdown(socket.fd, SHUT_RDWR);
  ::close(socket.fd);
}

Socket TcpListen(std::int32_t port) {
  const Socket s = NewStreamSocket();
  if (!s) return NoSocket;
  // Without address reuse a restart right after a busy run could not listen
  // for a minute (connections in TIME_WAIT). Linux still refuses the option
  // while another socket listens on the port.
  const int reuse = 1;
  const sockaddr_in address = FillAddress("", port);
  if (::setsockopt(s.fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0 ||
      ::bind(s.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(s.fd, SOMAXCONN) != 0) {
    ::close(s.fd);
    return NoSocket;
  }
  return s;
}

std::int32_t LocalPort(Socket socket) {
  if (!socket) return 0;
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getsockname(socket.fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      address.sin_family != AF_INET) {
    return 0;
  }
  return ntohs(address.sin_port);
}
