// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Proxies from the system (microsocks for SOCKS5, tinyproxy for HTTP CONNECT)
// run as child processes on loopback ports for the length of a test, and the
// client side of their protocols.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ChildProcess.h"

class RealProxy {
 public:
  // Null when the proxy did not come up; `program` must be a full path.
  static std::unique_ptr<RealProxy> StartMicrosocks(const std::string& program);
  // tinyproxy lets CONNECT through to `targetPort` only.
  static std::unique_ptr<RealProxy> StartTinyproxy(const std::string& program, std::uint16_t targetPort);

  std::uint16_t port() const { return port_; }
  // Destruction stops the child first, then removes its directory.
  ~RealProxy() = default;

 private:
  RealProxy() = default;
  TempDir dir_;
  std::unique_ptr<ChildProcess> child_;
  std::uint16_t port_ = 0;
};

// The SOCKS5 greeting (no authentication) and a CONNECT to 127.0.0.1:port.
bool Socks5Connect(int fd, std::uint16_t targetPort);
// "CONNECT 127.0.0.1:port" and a 200 answer, read up to its blank line.
bool HttpConnect(int fd, std::uint16_t targetPort);
