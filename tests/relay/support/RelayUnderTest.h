// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The relay served the way the program serves it (TcpServe, one thread per
// connection), on an ephemeral port, with a way to wait for its handlers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>

#include "net/ConnectionServer.h"

class RelayUnderTest {
 public:
  explicit RelayUnderTest(ConnectionHandler handler);
  // Stops accepting, shuts down the clients still being relayed and waits for
  // their handlers, so that nothing they use is destroyed under them.
  ~RelayUnderTest();
  RelayUnderTest(const RelayUnderTest&) = delete;
  RelayUnderTest& operator=(const RelayUnderTest&) = delete;

  std::uint16_t port() const { return port_; }
  // True once `count` handler calls have returned, within the time.
  bool WaitHandled(int count, std::chrono::milliseconds within);
  int Handled() const;

 private:
  struct Shared {
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::set<int> active;
    int handled = 0;
  };
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  std::shared_ptr<ListeningSocket> listener_;
  std::uint16_t port_ = 0;
};
