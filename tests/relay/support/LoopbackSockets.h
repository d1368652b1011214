// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Plain loopback sockets for tests: every socket here is bound to or connects
// to 127.0.0.1, and every blocking call is bounded by a socket time-out.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A descriptor closed on destruction.
class TestSocket {
 public:
  TestSocket() = default;
  explicit TestSocket(int fd) : fd_(fd) {}
  TestSocket(TestSocket&& other) noexcept : fd_(other.Release()) {}
  TestSocket& operator=(TestSocket&& other) noexcept;
  TestSocket(const TestSocket&) = delete;
  TestSocket& operator=(const TestSocket&) = delete;
  ~TestSocket();

  int fd() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int Release();
  void Close();
  // With a zero linger time the peer gets a reset instead of an orderly end.
  void CloseWithReset();

 private:
  int fd_ = -1;
};

// Receives and sends on test sockets give up after this long.
inline constexpr std::chrono::seconds kIoTimeout{20};

sockaddr_in LoopbackAddress(std::uint16_t port);
// A listener on 127.0.0.1 at a port the system picks.
TestSocket ListenLoopback(std::uint16_t& port, int backlog = 16);
TestSocket ConnectLoopback(std::uint16_t port);
std::uint16_t LocalPortOf(int fd);
// A port nobody listens on right now (for child processes that need a number).
std::uint16_t FreeLoopbackPort();
// True once something accepts connections on the port, within the time.
bool WaitUntilListening(std::uint16_t port, std::chrono::milliseconds within);

bool SendAll(int fd, const void* data, std::size_t size);
// Exactly `size` bytes, or false on end of stream, error or time-out.
bool ReceiveExact(int fd, void* data, std::size_t size);
// True when the peer's end of stream arrives (no more data) within the time.
bool ReceivesEndOfStream(int fd, std::chrono::milliseconds within);

// A port that refuses connections: bound on loopback, never listening, for
// as long as this object lives.
class RefusingPort {
 public:
  RefusingPort();
  std::uint16_t port() const { return port_; }

 private:
  TestSocket socket_;
  std::uint16_t port_ = 0;
};

// A port that never answers: a listener that accepts nothing, its queue full,
// so that the kernel drops every further SYN, as a dead host on the Internet
// does. A connect to it hangs until the connecting side gives up.
class SilentPort {
 public:
  SilentPort();
  std::uint16_t port() const { return port_; }

 private:
  std::uint16_t port_ = 0;  // first: the listener's construction sets it
  TestSocket listener_;
  std::vector<TestSocket> queued_;
};

// Accepts loopback connections and runs `serve` for each on its own thread.
// Destruction stops accepting, shuts every connection down and joins all.
class LoopbackServer {
 public:
  using Serve = std::function<void(int fd)>;
  explicit LoopbackServer(Serve serve);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  std::uint16_t port() const { return port_; }
  int Accepted() const;

 private:
  void AcceptLoop();

  Serve serve_;
  TestSocket listener_;
  std::uint16_t port_ = 0;
  mutable std::mutex mutex_;
  std::vector<int> connections_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

// Sends back whatever arrives until end of stream.
void Echo(int fd);
