// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Blocking IPv4 TCP in a handful of free functions. Every failure is told by
// "no socket", 0 or empty text: nothing here throws, logs or keeps an error code.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// The rest of the socket layer: host and port texts, the library's start.
#include "net/HostText.h"
#include "net/SocketLibrary.h"

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

// A connection attempt that has not opened by then is given up: an initial SYN
// and two retransmissions (3 + 6 + 12 s), which is what clients of a proxy list
// wait elsewhere. Linux on its own would retry for about 127 s.
inline constexpr std::chrono::milliseconds kConnectTimeLimit{21'000};

// Why TcpConnect gave no socket. A shortage is this process's or this machine's
// own (no descriptor, buffer space, memory or local port to spare) and says
// nothing about the host; everything else is the host's or the network's answer.
enum class ConnectFault { None, Refused, Shortage };

// A connected blocking socket, or NoSocket: the name lookup, then an attempt of
// at most kConnectTimeLimit.
Socket TcpConnect(const std::string& host, std::int32_t port);
// The same with an attempt of at most `limit`, telling why it failed.
Socket TcpConnect(const std::string& host, std::int32_t port, std::chrono::milliseconds limit,
                  ConnectFault& fault);
// Sends the whole chunk; the length, or 0 on failure or for an empty chunk.
int TcpSend(Socket socket, const void* buffer, int length);
// One chunk; 0 at end of stream or on failure.
int TcpReceive(Socket socket, void* buffer, int size);
// Shutdown in both directions without closing: wakes a thread blocked on the socket.
void TcpShutdown(Socket socket);
// Ends the sending side alone, after the bytes already sent: the peer reads
// its end of stream and may go on sending.
void TcpShutdownSending(Socket socket);
void TcpClose(Socket socket);
// Ends the connection with a reset, dropping what is still unsent: the peer
// reads the bytes it already has, then ECONNRESET instead of an end of stream.
// No other thread may be waiting on the socket; it stays open for its owner
// to close, and that close sends nothing more.
void TcpReset(Socket socket);
// For the process's end: every TCP connection it holds (not its listeners)
// is set to close with a reset, so that when the process ends neither peer of
// a relayed connection takes the cut for an orderly end of its stream.
// Callable from an atexit handler.
void ResetConnectionsAtExit();
// Wakes every thread waiting to receive on the socket (they read an end of
// stream) without a word to the peer.
void TcpStopReceiving(Socket socket);
// Turns Nagle's rule off: each chunk leaves as it is sent instead of waiting
// for the peer to acknowledge the previous one.
void TcpSendAtOnce(Socket socket);
// Listens with the system's largest queue: Linux does not refuse a connection
// that finds the queue full, it drops the handshake's last step, and the
// client believes itself connected to a server that never answers.
Socket TcpListen(std::int32_t port);

// The local port a socket is bound to, in host order; 0 when it has none. Lets a
// listener on port 0 (the system's choice) tell which port it got.
std::int32_t LocalPort(Socket socket);
