// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// libFuzzer target: texts and selector lists run through RegExpScanf, which
// must never write outside its targets and must agree with the fresh scan.
//
// Input: one control byte, then the text and the selectors separated by "|".
//   bits 0-2  which pattern of kPatterns
//   bit 3     ZeroMissing
//   bit 4     leave the last selector without its target
//   bits 5-7  option changes: case-sensitive, empty matches valid, multi-line
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support/ScanTranscript.h"

namespace {

constexpr const char* kPatterns[8] = {
    "((([0-9]+).([0-9]+).([0-9]+).([0-9]+)):([0-9]+))",
    "(?<ip>[0-9.]+):(?<port>[0-9]+)",
    "(a)|(b)(c)?",
    "(\\S+)\\s+(\\S+)\\s*(\\S*)",
    "x*",
    "^(\\w+)$",
    "(?<x>[^,]*),(?<y>[^,]*),?(?<z>.*)",
    "(",
};

constexpr std::size_t kMaxSelectors = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t control = data[0];
  ScanCase c;
  c.pattern = kPatterns[control & 7];
  c.zeroMissing = (control & 8) != 0;
  c.oddArgs = (control & 16) != 0;
  if (control & 32) c.options = c.options.With(roCaseSensitive);
  if (control & 64) c.options = c.options.With(roEmptyValid);
  if (control & 128) c.options = c.options.With(roMultiline);

  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::size_t bar = rest.find('|');
  c.text = std::string(rest.substr(0, bar));
  while (bar != std::string_view::npos && c.selectors.size() < kMaxSelectors) {
    rest.remove_prefix(bar + 1);
    bar = rest.find('|');
    c.selectors.emplace_back(rest.substr(0, bar));
  }

  const std::string cached = ScanTranscript(c, true);
  const std::string fresh = ScanTranscript(c, false);
  if (cached != fresh) {
    std::fprintf(stderr, "cached scan: %s\nfresh scan:  %s\n", cached.c_str(), fresh.c_str());
    std::abort();
  }
  return 0;
}
