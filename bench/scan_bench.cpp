// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// What one import line costs in RegExpScanf: the kept-pattern path the import
// takes, beside the same scan built from fresh matchers on every call.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "regexp/zimRegExp.h"
#include "support/FreshScan.h"

namespace {

constexpr const char* kImportPattern = "((([0-9]+).([0-9]+).([0-9]+).([0-9]+)):([0-9]+))";

template <typename Scan>
double NanosecondsPerCall(const std::vector<std::string>& lines, int calls, Scan scan) {
  std::string candidate;
  std::size_t matched = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < calls; ++i) {
    if (scan(lines[static_cast<std::size_t>(i) % lines.size()], candidate)) ++matched;
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  if (matched == 0) std::printf("  (no line matched: the figure below is meaningless)\n");
  return std::chrono::duration<double, std::nano>(elapsed).count() / calls;
}

}  // namespace

int main() {
  const std::vector<std::string> same = {"proxy 10.0.0.1:8080 ok"};
  std::vector<std::string> varied;
  for (int i = 0; i < 1000; ++i)
    varied.push_back("proxy 10." + std::to_string(i % 256) + ".0." + std::to_string(i / 256) + ":" +
                     std::to_string(1024 + i) + " ok");
  varied.push_back("# a comment line without any proxy");

  auto cached = [](const std::string& line, std::string& candidate) {
    return RegExpScanf(kImportPattern, line, {"1:STRING", &candidate}, DefaultRegExpOptions, false);
  };
  auto fresh = [](const std::string& line, std::string& candidate) {
    return RegExpScanfUncached(kImportPattern, line, {"1:STRING", &candidate}, DefaultRegExpOptions, false);
  };

  constexpr int kCachedCalls = 1000000;
  constexpr int kFreshCalls = 100000;
  const double cachedSame = NanosecondsPerCall(same, kCachedCalls, cached);
  const double cachedVaried = NanosecondsPerCall(varied, kCachedCalls, cached);
  const double freshSame = NanosecondsPerCall(same, kFreshCalls, fresh);
  std::printf("RegExpScanf, import call on 'proxy 10.0.0.1:8080 ok'\n");
  std::printf("  kept pattern, same line    : %8.1f ns per call (%d calls)\n", cachedSame, kCachedCalls);
  std::printf("  kept pattern, varied lines : %8.1f ns per call (%d calls)\n", cachedVaried, kCachedCalls);
  std::printf("  fresh NewRegExp every call : %8.1f ns per call (%d calls)\n", freshSame, kFreshCalls);
  std::printf("  1,000,000 lines would take : %8.3f s kept, %.3f s fresh\n", cachedVaried / 1e3,
              freshSame / 1e3);
  return 0;
}
