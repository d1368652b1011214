// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "RealProxies.h"

#include <chrono>
#include <fstream>
#include <vector>

#include "LoopbackSockets.h"

namespace {

constexpr int kAttempts = 3;
constexpr std::chrono::seconds kStartLimit{5};

}  // namespace

std::unique_ptr<RealProxy> RealProxy::StartMicrosocks(const std::string& program) {
  std::unique_ptr<RealProxy> proxy(new RealProxy);
  // The port is picked free and handed over, so another process may take it
  // in between: then the child exits and the next port is tried.
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::uint16_t port = FreeLoopbackPort();
    proxy->child_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{program, "-i", "127.0.0.1", "-p", std::to_string(port)},
        proxy->dir_.path() + "/microsocks.log");
    if (WaitUntilListening(port, kStartLimit) && proxy->child_->Running()) {
      proxy->port_ = port;
      return proxy;
    }
    proxy->child_.reset();
  }
  return nullptr;
}

std::unique_ptr<RealProxy> RealProxy::StartTinyproxy(const std::string& program, std::uint16_t targetPort) {
  std::unique_ptr<RealProxy> proxy(new RealProxy);
  const std::string config = proxy->dir_.path() + "/tinyproxy.conf";
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::uint16_t port = FreeLoopbackPort();
    {
      std::ofstream out(config);
      out << "Port " << port << "\n"
          << "Listen 127.0.0.1\n"
          << "Allow 127.0.0.1\n"
          << "ConnectPort " << targetPort << "\n"
          << "Timeout 60\n"
          << "MaxClients 16\n"
          << "LogLevel Error\n"
          << "LogFile \"" << proxy->dir_.path() << "/tinyproxy.log\"\n"
          << "PidFile \"" << proxy->dir_.path() << "/tinyproxy.pid\"\n";
    }
    proxy->child_ = std::make_unique<ChildProcess>(std::vector<std::string>{program, "-d", "-c", config},
                                                   proxy->dir_.path() + "/tinyproxy.out");
    if (WaitUntilListening(port, kStartLimit) && proxy->child_->Running()) {
      proxy->port_ = port;
      return proxy;
    }
    proxy->child_.reset();
  }
  return nullptr;
}

bool Socks5Connect(int fd, std::uint16_t targetPort) {
  const std::uint8_t greeting[] = {5, 1, 0};
  std::uint8_t choice[2];
  if (!SendAll(fd, greeting, sizeof greeting) || !ReceiveExact(fd, choice, sizeof choice)) return false;
  if (choice[0] != 5 || choice[1] != 0) return false;
  const std::uint8_t request[] = {5,
                                  1,
                                  0,
                                  1,
                                  127,
                                  0,
                                  0,
                                  1,
                                  static_cast<std::uint8_t>(targetPort >> 8),
                                  static_cast<std::uint8_t>(targetPort & 0xFF)};
  std::uint8_t reply[10];
  if (!SendAll(fd, request, sizeof request) || !ReceiveExact(fd, reply, sizeof reply)) return false;
  return reply[0] == 5 && reply[1] == 0 && reply[3] == 1;
}

bool HttpConnect(int fd, std::uint16_t targetPort) {
  const std::string target = "127.0.0.1:" + std::to_string(targetPort);
  const std::string request = "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n";
  if (!SendAll(fd, request.data(), request.size())) return false;
  // Byte by byte, so that nothing after the blank line is taken from the stream.
  std::string answer;
  while (answer.size() < 4096 &&
         (answer.size() < 4 || answer.compare(answer.size() - 4, 4, "\r\n\r\n") != 0)) {
    char c;
    if (!ReceiveExact(fd, &c, 1)) return false;
    answer += c;
  }
  return answer.rfind("HTTP/1.", 0) == 0 && answer.find(" 200") == answer.find(' ');
}
