// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The proxy list files the import benchmarks read: mixed formats, a tenth of
// the lines repeating an earlier address, the same file for the same count.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

class Random {
 public:
  std::uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }
  std::uint32_t Below(std::uint32_t n) { return Next() % n; }

 private:
  std::uint32_t state_ = 12345;
};

// The address of line i: distinct for distinct i below 2^24.
inline std::string Address(std::uint32_t i, Random& random) {
  return std::to_string(1 + (i >> 16) % 223) + "." + std::to_string((i >> 8) & 255) + "." +
         std::to_string(i & 255) + "." + std::to_string(1 + random.Below(254)) + ":" +
         std::to_string(1 + random.Below(65535));
}

// Writes `lines` proxy lines; returns how many distinct addresses the import
// should take (the first address of each line).
inline std::size_t WriteListFile(const std::filesystem::path& path, std::size_t lines) {
  std::ofstream out(path, std::ios::binary);
  Random random;
  std::vector<std::string> firsts;
  firsts.reserve(lines);
  std::string line;
  for (std::size_t i = 0; i < lines; ++i) {
    std::string address;
    if (i % 10 == 9) {
      address = firsts[random.Below(static_cast<std::uint32_t>(firsts.size()))];
    } else {
      address = Address(static_cast<std::uint32_t>(i), random);
    }
    switch (random.Below(6)) {
      case 0:
        line = address + "\n";
        break;
      case 1:
        line = address + "\r\n";
        break;
      case 2:
        line = "proxy " + address + " anonymous\n";
        break;
      case 3:
        line = address + "\tHTTP\telite\t[DE] checked 2 min ago\r\n";
        break;
      case 4:
        line = address + ", " + Address(static_cast<std::uint32_t>(i) ^ 0x5A5A5A, random) + "\n";
        break;
      default:
        line = "http://" + address + "/ socks5 120ms\n";
        break;
    }
    out << line;
    firsts.push_back(std::move(address));
  }
  if (!out) throw std::runtime_error("cannot write " + path.string());
  std::sort(firsts.begin(), firsts.end());
  return static_cast<std::size_t>(std::unique(firsts.begin(), firsts.end()) - firsts.begin());
}

}  // namespace bench
