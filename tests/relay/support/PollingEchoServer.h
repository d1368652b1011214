// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// An echo server on a single thread that polls every connection. Unlike
// LoopbackServer it keeps nothing of a connection once that ends, so it lasts
// through thousands of them; and when descriptors run out it waits for them to
// come back, as the relay does, instead of giving up.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "LoopbackSockets.h"

class PollingEchoServer {
 public:
  PollingEchoServer();
  ~PollingEchoServer();
  PollingEchoServer(const PollingEchoServer&) = delete;
  PollingEchoServer& operator=(const PollingEchoServer&) = delete;

  std::uint16_t port() const { return port_; }
  int Accepted() const { return accepted_; }

 private:
  void Serve();

  TestSocket listener_;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::thread thread_;
};
