// Relays one local client to the current upstream proxy and judges the proxy
// by how long the connection lived.
#pragma once

#include <cstdint>
#include <string>

#include "net/TcpSocket.h"

inline constexpr std::int32_t RelayPort = 7300;

// The handler the program serves on RelayPort: the process pool, the monotonic clock.
void RelayHandler(Socket client, std::int32_t port, const std::string& peerAddress);
