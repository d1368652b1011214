// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Turning the user's host and port text into what a socket call takes. The
// rules are lenient on purpose: the fields are typed by hand and a proxy list
// may hold anything after the colon.
#include <arpa/inet.h>
#include <netdb.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "net/IntegerText.h"
#include "net/HostText.h"

namespace {

bool IsDecimalDigit(char c) {
  return c >= '0' && c <= '9';
}

// The first IPv4 address of a name as dotted text, or empty text.
std::string LookUpName(const std::string& name, bool& shortage) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int answer = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
  if (answer != 0 || found == nullptr) {
    // Without a descriptor the resolver cannot read /etc/hosts nor ask a
    // server; the name may be perfectly good.
    shortage = answer == EAI_MEMORY || (answer == EAI_SYSTEM && IsShortOfResources(errno));
    return {};
  }

  std::string text;
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) continue;
    const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
    std::array<char, INET_ADDRSTRLEN> buffer{};
    if (::inet_ntop(AF_INET, &address->sin_addr, buffer.data(), buffer.size()) != nullptr) {
      text = buffer.data();
    }
    break;
  }
  ::freeaddrinfo(found);
  return text;
}

// Four dotted decimal numbers, each read as decimal whatever its leading
// zeros (inet_addr would take "045" for octal and reach another host), as
// plain dotted-quad text; empty when a number passes 255. nullopt for text of
// any other shape.
std::optional<std::string> DottedDecimal(const std::string& text) {
  std::array<unsigned, 4> parts{};
  std::size_t part = 0;
  bool digits = false;
  for (const char c : text) {
    if (IsDecimalDigit(c)) {
      // Leading zeros never grow the value; any other digit past 255 is over.
      parts[part] = std::min(parts[part] * 10 + static_cast<unsigned>(c - '0'), 256u);
      digits = true;
    } else if (c == '.' && digits && part < 3) {
      ++part;
      digits = false;
    } else {
      return std::nullopt;
    }
  }
  if (part != 3 || !digits) return std::nullopt;
  std::string dotted;
  for (const unsigned value : parts) {
    if (value > 255) return std::string();
    if (!dotted.empty()) dotted += '.';
    dotted += std::to_string(value);
  }
  return dotted;
}

// The port of a named service in host order, or -1 when the services database
// does not know the name.
std::int32_t ServicePort(const std::string& name) {
  servent entry{};
  servent* result = nullptr;
  std::vector<char> buffer(1024);
  for (;;) {
    const int error = ::getservbyname_r(name.c_str(), nullptr, &entry, buffer.data(), buffer.size(), &result);
    if (error == ERANGE && buffer.size() < 65536) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error != 0 || result == nullptr) return -1;
    return ntohs(static_cast<std::uint16_t>(result->s_port));
  }
}

}  // namespace

bool IsShortOfResources(int error) {
  return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

std::string ResolveHost(const std::string& name) {
  bool shortage = false;
  return ResolveHost(name, shortage);
}

std::string ResolveHost(const std::string& name, bool& shortage) {
  shortage = false;
  if (name.empty()) return "0.0.0.0";
  // Text that starts with a digit is an address or nothing: a name such as
  // "1abc" is never handed to the resolver.
  if (IsDecimalDigit(name.front())) {
    if (const std::optional<std::string> dotted = DottedDecimal(name)) {
      // The broadcast address is inet_addr's failure value: no host either.
      return *dotted == "255.255.255.255" ? std::string() : *dotted;
    }
    return ::inet_addr(name.c_str()) == INADDR_NONE ? std::string() : name;
  }
  return LookUpName(name, shortage);
}

std::int32_t IntFromText(std::string_view text) {
  const IntegerText read = ReadIntegerText(text);
  // Trailing junk: the digits' value without the sign. Beyond 32 bits the low
  // 32 bits, which is all a port ever uses anyway.
  if (!read.whole) return static_cast<std::int32_t>(read.low32);
  return static_cast<std::int32_t>(read.negative ? 0u - read.low32 : read.low32);
}

std::int32_t PortFromText(const std::string& text) {
  if (text.empty()) return 0;
  const std::int32_t service = ServicePort(text);
  return service >= 0 ? service : IntFromText(text);
}

sockaddr_in FillAddress(const std::string& host, std::int32_t port) {
  bool shortage = false;
  return FillAddress(host, port, shortage);
}

sockaddr_in FillAddress(const std::string& host, std::int32_t port, bool& shortage) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = ::inet_addr(ResolveHost(host, shortage).c_str());
  // Only the low 16 bits of the number reach the wire. The number's decimal
  // text always reads back as the number itself (a service name needs a
  // letter), so the services database is not asked: reading /etc/services on
  // every connect cost the relay a tenth of its time per connection.
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  return address;
}
