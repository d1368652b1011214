// Blocking IPv4 TCP in a handful of free functions. Every failure is told by
// "no socket", 0 or empty text: nothing here throws, logs or keeps an error code.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <string_view>

// A descriptor as the rest of the program sees it. 0 is a valid descriptor on
// Linux, so the absence of a socket is -1, which no real descriptor has.
struct Socket {
  int fd = -1;

  constexpr Socket() = default;
  constexpr explicit Socket(int descriptor) : fd(descriptor) {}
  constexpr explicit operator bool() const { return fd >= 0; }
  friend constexpr bool operator==(Socket, Socket) = default;
};

inline constexpr Socket NoSocket{};

// Owns one socket and closes it (shutdown, then close) when it goes.
class OwnedSocket {
 public:
  OwnedSocket() = default;
  explicit OwnedSocket(Socket s) : socket_(s) {}
  OwnedSocket(const OwnedSocket&) = delete;
  OwnedSocket& operator=(const OwnedSocket&) = delete;
  OwnedSocket(OwnedSocket&& other) noexcept : socket_(other.Release()) {}
  OwnedSocket& operator=(OwnedSocket&& other) noexcept;
  ~OwnedSocket();

  Socket Get() const { return socket_; }
  Socket Release();
  explicit operator bool() const { return static_cast<bool>(socket_); }

 private:
  Socket socket_;
};

// Start and stop of the sockets library, once per program. Starting ignores
// SIGPIPE (a send to a vanished peer must not kill the process) and raises the
// soft limit of open files to the hard limit: each relayed connection holds two.
void StartSockets();
void StopSockets();

// Keeps the sockets library started for its own lifetime.
class SocketLibrary {
 public:
  SocketLibrary() { StartSockets(); }
  ~SocketLibrary() { StopSockets(); }
  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;
};

Socket TcpConnect(const std::string& host, std::int32_t port);
// Sends the whole chunk; the length, or 0 on failure or for an empty chunk.
int TcpSend(Socket socket, const void* buffer, int length);
// One chunk; 0 at end of stream or on failure.
int TcpReceive(Socket socket, void* buffer, int size);
// Shutdown in both directions without closing: wakes a thread blocked on the socket.
void TcpShutdown(Socket socket);
void TcpClose(Socket socket);
// Turns Nagle's rule off: each chunk leaves as it is sent instead of waiting
// for the peer to acknowledge the previous one.
void TcpSendAtOnce(Socket socket);
Socket TcpListen(std::int32_t port);

std::string ResolveHost(const std::string& name);
std::int32_t PortFromText(const std::string& text);
std::int32_t IntFromText(std::string_view text);
sockaddr_in FillAddress(const std::string& host, std::int32_t port);

// The local port a socket is bound to, in host order; 0 when it has none. Lets a
// listener on port 0 (the system's choice) tell which port it got.
std::int32_t LocalPort(Socket socket);
