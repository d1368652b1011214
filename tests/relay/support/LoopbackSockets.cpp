// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "LoopbackSockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace {

void SetTimeouts(int fd) {
  timeval limit{};
  limit.tv_sec = kIoTimeout.count();
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

}  // namespace

sockaddr_in LoopbackAddress(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

TestSocket& TestSocket::operator=(TestSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.Release();
  }
  return *this;
}

TestSocket::~TestSocket() {
  Close();
}

int TestSocket::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void TestSocket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void TestSocket::CloseWithReset() {
  const linger hard{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  Close();
}

TestSocket ListenLoopback(std::uint16_t& port, int backlog) {
  TestSocket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!s) throw std::runtime_error("socket");
  const sockaddr_in address = LoopbackAddress(0);
  if (::bind(s.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(s.fd(), backlog) != 0) {
    throw std::runtime_error("listen on loopback");
  }
  port = LocalPortOf(s.fd());
  return s;
}

SilentPort::SilentPort() : listener_(ListenLoopback(port_, 0)) {
  // A backlog of 0 holds one finished handshake; the first connect that does
  // not finish shows the queue is full.
  const sockaddr_in address = LoopbackAddress(port_);
  for (int i = 0; i < 8; ++i) {
    TestSocket c(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!c) throw std::runtime_error("socket");
    ::connect(c.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    pollfd p{c.fd(), POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    const bool opened = ::poll(&p, 1, 300) == 1 &&
                        ::getsockopt(c.fd(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    if (!opened && error != 0) throw std::runtime_error("the silent listener refused");
    queued_.push_back(std::move(c));
    if (!opened) return;
  }
  throw std::runtime_error("the silent listener's queue never filled");
}

TestSocket ConnectLoopback(std::uint16_t port) {
  TestSocket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!s) return s;
  const sockaddr_in address = LoopbackAddress(port);
  if (::connect(s.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    return TestSocket();
  SetTimeouts(s.fd());
  return s;
}

std::uint16_t LocalPortOf(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

std::uint16_t FreeLoopbackPort() {
  std::uint16_t port = 0;
  TestSocket probe = ListenLoopback(port);
  return port;
}

bool WaitUntilListening(std::uint16_t port, std::chrono::milliseconds within) {
  const auto deadline = std::chrono::steady_clock::now() + within;
  while (std::chrono::steady_clock::now() < deadline) {
    if (ConnectLoopback(port)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

bool SendAll(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::send(fd, bytes, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool ReceiveExact(int fd, void* data, std::size_t size) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = ::recv(fd, bytes, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool ReceivesEndOfStream(int fd, std::chrono::milliseconds within) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(within.count())) != 1) return false;
  char byte;
  return ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
}

RefusingPort::RefusingPort() : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  const sockaddr_in address = LoopbackAddress(0);
  if (!socket_ || ::bind(socket_.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    throw std::runtime_error("bind on loopback");
  }
  port_ = LocalPortOf(socket_.fd());
}

LoopbackServer::LoopbackServer(Serve serve) : serve_(std::move(serve)) {
  listener_ = ListenLoopback(port_);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

void LoopbackServer::AcceptLoop() {
  for (;;) {
    const int fd = ::accept4(listener_.fd(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    SetTimeouts(fd);
    std::lock_guard lock(mutex_);
    connections_.push_back(fd);
    workers_.emplace_back([this, fd] { serve_(fd); });
  }
}

int LoopbackServer::Accepted() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(connections_.size());
}

LoopbackServer::~LoopbackServer() {
  ::shutdown(listener_.fd(), SHUT_RDWR);
  acceptor_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(mutex_);
    for (int fd : connections_) ::shutdown(fd, SHUT_RDWR);
    workers.swap(workers_);
  }
  for (std::thread& t : workers) t.join();
  for (int fd : connections_) ::close(fd);
}

void Echo(int fd) {
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || !SendAll(fd, buffer, static_cast<std::size_t>(n))) break;
  }
  ::shutdown(fd, SHUT_RDWR);
}
