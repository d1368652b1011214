// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Long byte streams whose every byte is known in advance, so that a receiver
// can tell a lost, doubled, reordered or altered byte and where it happened.
#pragma once

#include <cstddef>
#include <cstdint>

// Every run of 256 bytes from a multiple of 256 holds each value once, and
// the runs differ from each other, so a shifted stream does not match.
inline std::uint8_t PatternByte(std::uint64_t offset, std::uint8_t seed) {
  return static_cast<std::uint8_t>(offset ^ ((offset >> 8) * 17u) ^ seed);
}

// FNV-1a over the first `size` pattern bytes.
std::uint32_t PatternChecksum(std::uint8_t seed, std::size_t size);

struct StreamCheck {
  std::size_t received = 0;
  std::size_t firstMismatch = SIZE_MAX;  // offset of the first wrong byte, if any
  std::uint32_t checksum = 2166136261u;  // FNV-1a of what arrived
  bool sent = false;                     // the other direction went out whole
  bool seenAllValues = false;            // all 256 byte values arrived
};

// Sends `sendSize` pattern bytes (seed `sendSeed`) on a second thread while
// receiving up to `expectSize` bytes of pattern `expectSeed`. Stops receiving
// early at end of stream or time-out. The socket is left open both ways.
StreamCheck ExchangePatterns(int fd, std::uint8_t sendSeed, std::size_t sendSize, std::uint8_t expectSeed,
                             std::size_t expectSize);
