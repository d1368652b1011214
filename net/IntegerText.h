// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The one reading of integer text: leading blanks, one sign, "$", "x", "X",
// "0x" or "0X" for hexadecimal, then digits of that base. The port field reads
// it leniently (IntFromText: the digits up to the first foreign character) and
// the typed scan strictly (every character a digit, the value in range).
#pragma once

#include <cstdint>
#include <string_view>

struct IntegerText {
  bool negative = false;
  bool hex = false;
  // Digits read; reading stopped at a foreign character when `whole` is false.
  int digits = 0;
  bool whole = true;
  // The digits' value: its low 32 bits, and the whole of it up to 2^40.
  std::uint32_t low32 = 0;
  std::uint64_t capped = 0;
};

inline IntegerText ReadIntegerText(std::string_view text) {
  IntegerText read;
  std::size_t at = 0;
  while (at < text.size() && text[at] == ' ') ++at;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) read.negative = text[at++] == '-';
  if (at < text.size() && (text[at] == '$' || text[at] == 'x' || text[at] == 'X')) {
    read.hex = true;
    ++at;
  } else if (at + 1 < text.size() && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
    read.hex = true;
    at += 2;
  }
  const std::uint32_t base = read.hex ? 16 : 10;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (read.hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (read.hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) {
      read.whole = false;
      break;
    }
    ++read.digits;
    read.low32 = read.low32 * base + static_cast<std::uint32_t>(digit);
    if (read.capped < (std::uint64_t{1} << 40)) read.capped = read.capped * base + static_cast<std::uint64_t>(digit);
  }
  return read;
}
