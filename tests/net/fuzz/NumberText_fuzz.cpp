// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Any text at all through the lenient number readers of the port field and the
// socket layer: no crash, and the same value as a plain reading of the rules
// wherever that value fits in 32 bits (what lies beyond is left open).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "net/TcpSocket.h"

namespace {

int Digit(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The rules read once more, as slowly and plainly as possible; no value when
// the number outgrows 32 bits on the way.
std::optional<std::int64_t> Expected(std::string_view t) {
  std::size_t i = 0;
  while (i < t.size() && t[i] == ' ') ++i;
  std::int64_t sign = 1;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) sign = t[i++] == '-' ? -1 : 1;
  bool hex = false;
  if (t.substr(i, 2) == "0x" || t.substr(i, 2) == "0X") {
    hex = true;
    i += 2;
  } else if (i < t.size() && (t[i] == '$' || t[i] == 'x' || t[i] == 'X')) {
    hex = true;
    i += 1;
  }
  std::int64_t value = 0;
  for (; i < t.size(); ++i) {
    const int d = Digit(t[i], hex);
    if (d < 0) return value;  // stopped early: the sign is not applied
    value = value * (hex ? 16 : 10) + d;
    if (value > 0x7fffffff) return std::nullopt;
  }
  return sign * value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::int32_t got = IntFromText(text);
  if (const auto want = Expected(text); want && got != *want) std::abort();

  // Leading blanks never change the reading.
  if (IntFromText(" " + text) != got) std::abort();

  // No service is named with a leading digit, blank, sign or "$": such text is
  // always read as a number. (The services database is asked for the rest.)
  const std::int32_t port = PortFromText(text);
  if (text.empty() && port != 0) std::abort();
  if (!text.empty() && text.find('\0') == std::string::npos) {
    const char c = text.front();
    const bool numeric = (c >= '0' && c <= '9') || c == ' ' || c == '+' || c == '-' || c == '$';
    if (numeric && port != got) std::abort();
  }
  return 0;
}
