// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "ByteStreams.h"

#include <sys/socket.h>

#include <bitset>
#include <cerrno>
#include <thread>
#include <vector>

#include "LoopbackSockets.h"

namespace {

std::uint32_t Fnv(std::uint32_t hash, std::uint8_t byte) {
  return (hash ^ byte) * 16777619u;
}

}  // namespace

std::uint32_t PatternChecksum(std::uint8_t seed, std::size_t size) {
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < size; ++i) hash = Fnv(hash, PatternByte(i, seed));
  return hash;
}

StreamCheck ExchangePatterns(int fd, std::uint8_t sendSeed, std::size_t sendSize, std::uint8_t expectSeed,
                             std::size_t expectSize) {
  StreamCheck check;
  std::thread sender([&] {
    // Odd-sized chunks, so that chunk edges never line up with the relay's.
    std::vector<std::uint8_t> chunk(7001);
    std::size_t offset = 0;
    bool ok = true;
    while (ok && offset < sendSize) {
      const std::size_t n = std::min(chunk.size(), sendSize - offset);
      for (std::size_t i = 0; i < n; ++i) chunk[i] = PatternByte(offset + i, sendSeed);
      ok = SendAll(fd, chunk.data(), n);
      offset += n;
    }
    check.sent = ok;
  });
  std::bitset<256> values;
  std::vector<std::uint8_t> buffer(65536);
  while (check.received < expectSize) {
    const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      const std::uint8_t byte = buffer[static_cast<std::size_t>(i)];
      if (check.firstMismatch == SIZE_MAX && byte != PatternByte(check.received, expectSeed)) {
        check.firstMismatch = check.received;
      }
      check.checksum = Fnv(check.checksum, byte);
      values.set(byte);
      ++check.received;
    }
  }
  sender.join();
  check.seenAllValues = values.all();
  return check;
}
