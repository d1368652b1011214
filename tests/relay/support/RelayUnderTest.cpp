// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "RelayUnderTest.h"

#include <stdexcept>
#include <string>

RelayUnderTest::RelayUnderTest(ConnectionHandler handler) {
  static SocketLibrary sockets;  // SIGPIPE ignored, as in the program
  auto shared = shared_;
  ConnectionHandler counted = [shared, handler = std::move(handler)](Socket client, std::int32_t port,
                                                                     const std::string& peer) {
    {
      std::lock_guard lock(shared->mutex);
      shared->active.insert(client.fd);
    }
    try {
      handler(client, port, peer);
    } catch (...) {
      std::lock_guard lock(shared->mutex);
      shared->active.erase(client.fd);
      ++shared->handled;
      shared->changed.notify_all();
      throw;
    }
    std::lock_guard lock(shared->mutex);
    shared->active.erase(client.fd);
    ++shared->handled;
    shared->changed.notify_all();
  };
  listener_ = TcpServe(0, std::move(counted));
  if (!listener_) throw std::runtime_error("relay could not listen");
  port_ = static_cast<std::uint16_t>(LocalPort(listener_->Get()));
}

RelayUnderTest::~RelayUnderTest() {
  listener_->StopAccepting();  // the accept loop ends and closes it
  std::unique_lock lock(shared_->mutex);
  for (int fd : shared_->active) TcpShutdown(Socket(fd));
  shared_->changed.wait_for(lock, std::chrono::seconds(30), [this] { return shared_->active.empty(); });
}

bool RelayUnderTest::WaitHandled(int count, std::chrono::milliseconds within) {
  std::unique_lock lock(shared_->mutex);
  return shared_->changed.wait_for(lock, within, [&] { return shared_->handled >= count; });
}

int RelayUnderTest::Handled() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->handled;
}
