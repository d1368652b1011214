// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "Loopback.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace loopback {

namespace {

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool ReadableBefore(Socket socket, std::chrono::steady_clock::time_point deadline) {
  pollfd watch{socket.fd, POLLIN, 0};
  return ::poll(&watch, 1, MillisecondsLeft(deadline)) == 1;
}

}  // namespace

Pair ConnectedPair() {
  OwnedSocket listener(TcpListen(0));
  if (!listener) return {};
  OwnedSocket client(TcpConnect("127.0.0.1", LocalPort(listener.Get())));
  if (!client) return {};
  OwnedSocket server(Socket(::accept4(listener.Get().fd, nullptr, nullptr, SOCK_CLOEXEC)));
  return {std::move(client), std::move(server)};
}

std::int32_t FreePort() {
  OwnedSocket probe(TcpListen(0));
  return LocalPort(probe.Get());
}

Socket ConnectFrom(const std::string& source, std::int32_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return NoSocket;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = ::inet_addr(source.c_str());
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  remote.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
    ::close(fd);
    return NoSocket;
  }
  return Socket(fd);
}

std::optional<std::string> ReceiveWithin(Socket socket, std::chrono::milliseconds time) {
  const auto deadline = std::chrono::steady_clock::now() + time;
  if (!ReadableBefore(socket, deadline)) return std::nullopt;
  char buffer[4096];
  const ssize_t n = ::recv(socket.fd, buffer, sizeof buffer, 0);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::string ReceiveExactly(Socket socket, std::size_t count, std::chrono::milliseconds time) {
  const auto deadline = std::chrono::steady_clock::now() + time;
  std::string bytes;
  while (bytes.size() < count && ReadableBefore(socket, deadline)) {
    char buffer[4096];
    const std::size_t want = std::min(sizeof buffer, count - bytes.size());
    const ssize_t n = ::recv(socket.fd, buffer, want, 0);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

bool ClosedWithin(Socket socket, std::chrono::milliseconds time) {
  const auto deadline = std::chrono::steady_clock::now() + time;
  while (ReadableBefore(socket, deadline)) {
    char buffer[4096];
    if (::recv(socket.fd, buffer, sizeof buffer, 0) <= 0) return true;
  }
  return false;
}

Socket FindListeningSocket(std::int32_t port) {
  DIR* directory = ::opendir("/proc/self/fd");
  if (directory == nullptr) return NoSocket;
  Socket found;
  while (const dirent* entry = ::readdir(directory)) {
    const Socket candidate(std::atoi(entry->d_name));
    if (entry->d_name[0] == '.' || candidate.fd == ::dirfd(directory)) continue;
    int listening = 0;
    socklen_t length = sizeof listening;
    if (::getsockopt(candidate.fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) == 0 && listening &&
        LocalPort(candidate) == port) {
      found = candidate;
      break;
    }
  }
  ::closedir(directory);
  return found;
}

int OpenDescriptorCount() {
  DIR* directory = ::opendir("/proc/self/fd");
  if (directory == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = ::readdir(directory)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(directory);
  return count - 1;  // the directory's own descriptor
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds time) {
  const auto deadline = std::chrono::steady_clock::now() + time;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

}  // namespace loopback
