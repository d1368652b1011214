// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "PollingEchoServer.h"

#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <vector>

PollingEchoServer::PollingEchoServer() {
  // Bursts of clients connect at once; none of them should meet a full queue here.
  listener_ = ListenLoopback(port_, 512);
  ::fcntl(listener_.fd(), F_SETFL, O_NONBLOCK);
  thread_ = std::thread([this] { Serve(); });
}

PollingEchoServer::~PollingEchoServer() {
  stop_ = true;
  thread_.join();
}

void PollingEchoServer::Serve() {
  std::vector<TestSocket> connections;
  std::vector<pollfd> watch;
  std::vector<char> buffer(16384);
  while (!stop_) {
    watch.assign(1, pollfd{listener_.fd(), POLLIN, 0});
    for (const TestSocket& c : connections) watch.push_back(pollfd{c.fd(), POLLIN, 0});
    if (::poll(watch.data(), watch.size(), 20) <= 0) continue;
    for (std::size_t i = 1; i < watch.size(); ++i) {
      if (!(watch[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      TestSocket& c = connections[i - 1];
      const ssize_t n = ::recv(c.fd(), buffer.data(), buffer.size(), 0);
      // The tests' messages are small, so a blocking send of what came in is fine.
      if (n <= 0 || ::send(c.fd(), buffer.data(), static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) c.Close();
    }
    std::erase_if(connections, [](const TestSocket& c) { return !c; });
    if (!(watch[0].revents & POLLIN)) continue;
    for (;;) {
      const int fd = ::accept4(listener_.fd(), nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) {
        // Out of descriptors: the connection waits in the queue until some are back.
        if (errno == EMFILE || errno == ENFILE) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        break;
      }
      // Each piece goes back as it comes; Nagle's rule would hold the second
      // piece until the first is acknowledged, and the tests would time that.
      const int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      connections.emplace_back(fd);
      ++accepted_;
    }
  }
}
