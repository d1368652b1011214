// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The import's own matcher against the regular-expression engine: the same
// match, group for group, on every short line, and a match where the engine
// gives up.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>

#include "pool/ProxyPattern.h"
#include "regexp/zimRegExp.h"

namespace {

// What the engine makes of the line, or no value for no match.
std::optional<ProxyPatternMatch> EngineMatch(TzimRegExp& engine, const std::string& line) {
  if (!MatchTextAgainst(engine, line, 0, 0)) return std::nullopt;
  ProxyPatternMatch match;
  for (int g = 0; g < 8; ++g) {
    match.groups[static_cast<std::size_t>(g)] = {static_cast<std::size_t>(engine.GetMatchedTextStart(g)),
                                                 static_cast<std::size_t>(engine.GetMatchedTextEnd(g))};
  }
  return match;
}

std::string Shown(const std::string& line) {
  std::string shown;
  for (char c : line) shown += c == '\n' ? std::string("\\n") : std::string(1, c);
  return shown;
}

class ProxyPatternAgainstEngine : public ::testing::Test {
 protected:
  void SetUp() override { engine_.SetPattern(kProxyPattern); }

  // Stops at the first line that differs, so a failure names one line.
  bool Agrees(const std::string& line) {
    const auto expected = EngineMatch(engine_, line);
    EXPECT_GE(engine_.GroupCount(), -1) << "the engine gave up on '" << Shown(line) << "'";
    const auto got = MatchProxyPattern(line);
    if (expected.has_value() != got.has_value()) {
      ADD_FAILURE() << "'" << Shown(line) << "': engine " << (expected ? "matches" : "does not match");
      return false;
    }
    if (!expected) return true;
    for (std::size_t g = 0; g < 8; ++g) {
      if (expected->groups[g] == got->groups[g]) continue;
      ADD_FAILURE() << "'" << Shown(line) << "' group " << g << ": engine " << expected->groups[g].begin << ".."
                    << expected->groups[g].end << ", matcher " << got->groups[g].begin << ".."
                    << got->groups[g].end;
      return false;
    }
    return true;
  }

  TzimRegExp engine_;
};

// Digits, separators, the colon and the line feed are all that the pattern
// tells apart; every line of up to 10 of them.
TEST_F(ProxyPatternAgainstEngine, EveryShortLineOfTheBytesThatMatter) {
  const std::string alphabet = "7:\na";
  for (int length = 0; length <= 10; ++length) {
    std::string line(static_cast<std::size_t>(length), alphabet[0]);
    std::uint64_t total = 1;
    for (int i = 0; i < length; ++i) total *= alphabet.size();
    for (std::uint64_t n = 0; n < total; ++n) {
      std::uint64_t rest = n;
      for (int i = 0; i < length; ++i, rest /= alphabet.size()) {
        line[static_cast<std::size_t>(i)] = alphabet[rest % alphabet.size()];
      }
      ASSERT_TRUE(Agrees(line));
    }
  }
}

TEST_F(ProxyPatternAgainstEngine, RandomLongerLines) {
  const std::string alphabet = "0123456789....::::  \n\r\tx\x1A\xFF";
  std::mt19937 random(20261208);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<int> length(11, 48);
  for (int n = 0; n < 100000; ++n) {
    std::string line(static_cast<std::size_t>(length(random)), ' ');
    for (char& c : line) c = alphabet[pick(random)];
    ASSERT_TRUE(Agrees(line));
  }
}

// Where the engine gives up, the address on the line is still found: the
// match the engine would give without its limit, in the time of one pass.
TEST(ProxyPattern, LongRunsOfDigitsDoNotHideTheAddress) {
  const std::string run(1 << 20, '7');
  EXPECT_EQ(FindProxyEntry(run + " 1.2.3.4:80"), "1.2.3.4:80");
  // A run that does end in an address is one: the engine's greedy choice
  // starts the address at the run's first digit.
  EXPECT_EQ(FindProxyEntry(std::string(400, '7') + ":80"), std::string(400, '7') + ":80");
  EXPECT_EQ(FindProxyEntry(std::string(300, '7') + "x1.2:3 9.8.7.6:5"), std::string(300, '7') + "x1.2:3");
}

// A line read in parts and trimmed after each gives the address the whole
// line gives, wherever the parts end.
TEST(ProxyPattern, TrimmingALineInPartsKeepsItsAddress) {
  const std::string alphabet = "0123456789.:x";
  std::mt19937 random(20261209);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<std::size_t> part(1, 9);
  for (int n = 0; n < 20000; ++n) {
    std::string whole(40, ' ');
    for (char& c : whole) c = alphabet[pick(random)];
    std::string line;
    std::size_t at = 0;
    bool decided = false;
    while (at < whole.size() && !decided) {
      const std::size_t fresh = std::min(part(random), whole.size() - at);
      line.append(whole, at, fresh);
      at += fresh;
      decided = TrimToMatchable(line, fresh);
    }
    ASSERT_EQ(FindProxyEntry(line), FindProxyEntry(whole)) << whole;
  }
}

}  // namespace
