// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "regexp/zimRegExp.h"
#include "support/ScanTranscript.h"

namespace {

constexpr const char* kImportPattern = "((([0-9]+).([0-9]+).([0-9]+).([0-9]+)):([0-9]+))";

std::vector<ScanCase> Corpus() {
  std::vector<ScanCase> cases;
  const std::vector<std::string> patterns = {
      kImportPattern, "(?<ip>[0-9.]+):(?<port>[0-9]+)",
      "(a)|(b)(c)?",  "(\\S+)\\s+(\\S+)\\s*(\\S*)",
      "x*",           "(",
      "^(\\w+)$",
  };
  const std::vector<std::string> texts = {
      "proxy 10.0.0.1:8080 ok",
      "a1x2x3x4:80",
      "1.2.3.4.5:80",
      "b",
      "bc",
      "300 -1 yes",
      "1.5 $ff on",
      "",
      "line\n",
      "nothing",
  };
  const std::vector<std::vector<std::string>> selectorLists = {
      {"1:STRING"},
      {"STRING", "STRING", "STRING"},
      {"ip:STRING", "port:integer", "nope:STRING"},
      {"0:PCHAR(4)", "1:char", "2:Byte"},
      {"1:INT64", "2:DOUBLE", "3:BOOLEAN"},
      {"3:STRING", "STRING(2)", "x1:SINGLE"},
      {"1:TEXT"},
      {"9:EXTENDED", "1:WORD"},
      {"1:STRING\n", "1:shortint", "2:LONGWORD", "3:CARDINAL"},
  };
  for (const auto& pattern : patterns)
    for (const auto& text : texts)
      for (const auto& selectors : selectorLists)
        for (bool zeroMissing : {false, true}) {
          cases.push_back({pattern, text, selectors, DefaultRegExpOptions, zeroMissing, false});
        }
  cases.push_back({"(a)(b)", "ab", {"1:STRING", "2:STRING"}, DefaultRegExpOptions, false, true});
  cases.push_back({"(A)", "a", {"1:STRING"}, DefaultRegExpOptions.With(roCaseSensitive), false, false});
  cases.push_back({"a*", "bbb", {}, DefaultRegExpOptions.With(roEmptyValid), false, false});
  return cases;
}

TEST(ScanCacheTest, CachedScanAgreesWithAFreshOneOnEveryCase) {
  // Twice over, so the second round runs entirely on what the first one kept.
  const auto cases = Corpus();
  for (int round = 0; round < 2; ++round) {
    for (const ScanCase& c : cases) {
      ASSERT_EQ(ScanTranscript(c, true), ScanTranscript(c, false))
          << "round " << round << " pattern '" << c.pattern << "' text '" << c.text << "'";
    }
  }
}

TEST(ScanCacheTest, RepeatedTextStillSearchesFromTheStart) {
  // The kept matcher already holds this text with its search moved on; a new
  // scan must not continue from there.
  std::string first, again;
  ASSERT_TRUE(RegExpScanf("([a-z])", "ab", {"1:STRING", &first}));
  ASSERT_TRUE(RegExpScanf("([a-z])", "ab", {"1:STRING", &again}));
  EXPECT_EQ(first, "a");
  EXPECT_EQ(again, "a");
}

TEST(ScanCacheTest, AFailingPatternIsNeverKeptAsGood) {
  for (int i = 0; i < 3; ++i) {
    try {
      RegExpScanf("([0-9]", "1", {});
      FAIL() << "call " << i << " compiled a broken pattern";
    } catch (const EzimRegExp& e) {
      EXPECT_EQ(e.ErrorCode, -10);
    }
  }
  std::string s;
  EXPECT_TRUE(RegExpScanf("([0-9])", "1", {"1:STRING", &s}));
  EXPECT_EQ(s, "1");
}

TEST(ScanCacheTest, OptionsArePartOfWhatIsKept) {
  std::string s;
  EXPECT_TRUE(RegExpScanf("(A)", "a", {"1:STRING", &s}, DefaultRegExpOptions));
  EXPECT_FALSE(RegExpScanf("(A)", "a", {"1:STRING", &s}, DefaultRegExpOptions.With(roCaseSensitive)));
  EXPECT_TRUE(RegExpScanf("(A)", "a", {"1:STRING", &s}, DefaultRegExpOptions));
}

TEST(ScanCacheTest, ManyPatternsAndSelectorsCycleThroughTheCache) {
  // More patterns and selectors than the cache holds, visited round after round.
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 40; ++i) {
      const std::string pattern = "(" + std::to_string(i) + ")(x?)";
      const std::string text = "n" + std::to_string(i) + "x";
      const std::string selector = std::to_string(i % 3) + ":STRING(" + std::to_string(i + 1) + ")";
      ScanCase c{pattern, text, {selector, "integer"}, DefaultRegExpOptions, true, false};
      ASSERT_EQ(ScanTranscript(c, true), ScanTranscript(c, false)) << pattern << " " << selector;
    }
  }
}

TEST(ScanCacheTest, LongInvalidSelectorsAreReadEveryTime) {
  const std::string longSelector(100, 'S');
  ScanCase c{"(a)", "a", {longSelector, "1:STRING"}, DefaultRegExpOptions, false, false};
  for (int i = 0; i < 2; ++i) EXPECT_EQ(ScanTranscript(c, true), ScanTranscript(c, false));
}

TEST(ScanCacheTest, ThreadsKeepTheirOwnPatterns) {
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < 2000; ++i) {
        const std::string pattern = "(\\d+)-" + std::to_string((t + i) % 11);
        const std::string text = std::to_string(i) + "-" + std::to_string((t + i) % 11);
        std::int32_t value = -1;
        if (!RegExpScanf(pattern, text, {"1:INTEGER", &value}) || value != i) ++wrong[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
}

}  // namespace
