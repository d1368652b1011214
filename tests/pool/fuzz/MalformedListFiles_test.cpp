// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Proxy list files that nobody should ever write: random bytes, one line of
// 100 MB, NUL bytes where the separators go. The import must get through each
// of them, find what the pattern finds, and hold no more memory meanwhile than
// a small multiple of the longest line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "pool/ProxyImport.h"
#include "pool/ProxyPool.h"
#include "support/TempDir.h"

namespace {

using namespace std::string_literals;

constexpr long kMiB = 1 << 20;

// The sanitizers' own allocators keep freed memory aside for a while, so the
// bounds on memory only hold without them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMeasuresMemory = false;
#else
constexpr bool kMeasuresMemory = true;
#endif

long StatusKiB(const std::string& key) {
  std::ifstream status("/proc/self/status");
  std::string word;
  while (status >> word) {
    if (word == key) {
      long kib = 0;
      status >> kib;
      return kib;
    }
    status.ignore(1 << 16, '\n');
  }
  return -1;
}

// The most this process held resident while `work` ran, above what it held
// before. Writing 5 to clear_refs starts the peak anew from the present.
template <typename Work>
long PeakGrowthBytes(Work work) {
  std::ofstream("/proc/self/clear_refs") << "5";
  const long before = StatusKiB("VmRSS:");
  work();
  return (StatusKiB("VmHWM:") - before) * 1024;
}

class MalformedListFiles : public ::testing::Test {
 protected:
  // Writes the pieces one after another, so that the test itself never holds
  // a whole big file in memory.
  std::string Write(const std::string& name, const std::vector<std::string>& pieces, int repeatFirst = 1) {
    const std::string path = (dir_.Path() / name).string();
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < repeatFirst; ++i) out << pieces.front();
    for (std::size_t i = 1; i < pieces.size(); ++i) out << pieces[i];
    return path;
  }

  TempDir dir_;
};

// "((([0-9]+).([0-9]+).([0-9]+).([0-9]+)):([0-9]+))" the slow way: from the
// leftmost start, every digit run tried longest first, as a backtracking
// engine does. The end of the match from `pos` on, or npos.
std::size_t MatchFrom(const std::string& s, std::size_t pos, int run) {
  std::size_t end = pos;
  while (end < s.size() && s[end] >= '0' && s[end] <= '9') ++end;
  if (end == pos) return std::string::npos;
  if (run == 4) return end;  // the port takes every digit there is
  for (std::size_t stop = end; stop > pos; --stop) {
    if (stop == s.size()) continue;
    const bool fits = run < 3 ? s[stop] != '\n' : s[stop] == ':';
    if (!fits) continue;
    const std::size_t matched = MatchFrom(s, stop + 1, run + 1);
    if (matched != std::string::npos) return matched;
  }
  return std::string::npos;
}

std::optional<std::string> FirstMatch(const std::string& line) {
  for (std::size_t start = 0; start < line.size(); ++start) {
    const std::size_t end = MatchFrom(line, start, 0);
    if (end != std::string::npos) return line.substr(start, end - start);
  }
  return std::nullopt;
}

TEST_F(MalformedListFiles, RandomBytesImportWhatTheyHappenToHold) {
  // Digits, dots, colons and line feeds are made common, so that some lines
  // match. Ctrl-Z and CR are left out: the first would end the file early, the
  // second would join lines, and the reference below splits at LF alone.
  std::mt19937 random(20240607);
  std::string bytes(4 * kMiB, '\0');
  const std::string common = "0123456789.:\n";
  for (char& c : bytes) {
    const unsigned r = random();
    c = (r & 3) == 0 ? common[(r >> 2) % common.size()] : static_cast<char>(r >> 8);
    if (c == '\x1a' || c == '\r') c = 'z';
  }
  const std::string path = Write("random.bin", {bytes});

  ProxyPool pool;
  const long growth = PeakGrowthBytes([&] { ImportProxyList(pool, path); });

  // The pattern matched again by hand, line by line: the first match of each
  // line, each text once, in sorted order.
  std::vector<std::string> expected;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    if (auto found = FirstMatch(bytes.substr(start, end - start))) expected.push_back(*found);
    start = end + 1;
  }
  std::sort(expected.begin(), expected.end());
  expected.erase(std::unique(expected.begin(), expected.end()), expected.end());

  ASSERT_GT(expected.size(), 10u) << "the bytes hold too few addresses to tell anything";
  EXPECT_EQ(pool.Entries(lstAll), expected);
  // Lines here are short; the entries themselves are the only thing that grows.
  if (kMeasuresMemory) {
    EXPECT_LT(growth, 16 * kMiB) << growth / kMiB << " MiB";
  }
}

TEST_F(MalformedListFiles, AHundredMegabyteLineCostsAFewTimesItsLength) {
  constexpr long kLine = 100 * kMiB;
  const std::string chunk(kMiB, 'x');
  const std::string path = Write("long.txt", {chunk, "5.6.7.8:90\n", "1.2.3.4:80\n"}, kLine / kMiB);

  ProxyPool pool;
  const long growth = PeakGrowthBytes([&] { ImportProxyList(pool, path); });
  // The first address ends the long line, the second has a line of its own.
  EXPECT_EQ(pool.Entries(lstAll), (std::vector<std::string>{"1.2.3.4:80", "5.6.7.8:90"}));
  std::printf("a %ld MiB line: the import grew by %ld MiB at its peak\n", kLine / kMiB, growth / kMiB);
  // The line has to be read whole; what matters is that nothing scales worse.
  if (kMeasuresMemory) {
    EXPECT_LT(growth, 3 * kLine) << growth / kMiB << " MiB";
  }
}

TEST_F(MalformedListFiles, NulBytesAreBytesLikeAnyOther) {
  const std::string nulDotted = "1\0002\0003\0004:5"s;  // NULs standing for the dots
  const std::string path = Write("nul.bin", {
                                                std::string(4 * kMiB, '\0') + "\n",  // nothing but NULs
                                                nulDotted + "\n",
                                                "\0\0009.8.7.6:54\0\0\n"s,  // NULs around an address
                                                "\0:\0.\0\n"s,
                                            });
  ProxyPool pool;
  const long growth = PeakGrowthBytes([&] { ImportProxyList(pool, path); });
  EXPECT_EQ(pool.Entries(lstAll), (std::vector<std::string>{nulDotted, "9.8.7.6:54"}));
  if (kMeasuresMemory) {
    EXPECT_LT(growth, 3 * 4 * kMiB) << growth / kMiB << " MiB";
  }
}

}  // namespace
