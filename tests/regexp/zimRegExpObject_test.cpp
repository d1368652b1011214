// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "regexp/zimRegExpObject.h"

#include <gtest/gtest.h>

#include <string>

#include "support/EngineWords.h"

namespace {

// Runs `action`, which must raise EzimRegExp with this code and message.
template <typename Action>
void ExpectRegExpError(Action action, std::int32_t code, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no EzimRegExp raised; expected: " << message;
  } catch (const EzimRegExp& e) {
    EXPECT_EQ(e.ErrorCode, code);
    EXPECT_EQ(std::string(e.what()), message);
  }
}

TEST(TzimRegExpTest, NewObjectIsEmptyAndCannotMatch) {
  TzimRegExp re;
  EXPECT_EQ(re.Options().Bits(), 0x0461);
  EXPECT_EQ(re.Pattern(), "");
  EXPECT_EQ(re.Text(), "");
  EXPECT_EQ(re.MatchStart(), 0);
  EXPECT_EQ(re.MatchEnd(), 0);
  EXPECT_EQ(re.GroupCount(), 0);
  EXPECT_FALSE(re.Match());
  EXPECT_EQ(re.GroupCount(), -2);
  EXPECT_FALSE(re.GroupMatched(0));
}

TEST(TzimRegExpTest, WalksTheTextMatchByMatchIgnoringCase) {
  TzimRegExp re;
  re.SetPattern("abc");
  re.SetText("xABCxabc");

  ASSERT_TRUE(re.Match());
  EXPECT_EQ(re.GroupCount(), 1);
  EXPECT_EQ(re.GetMatchedTextStart(0), 1);
  EXPECT_EQ(re.GetMatchedTextEnd(0), 4);
  EXPECT_EQ(re.GetMatchedText(0), "ABC");
  EXPECT_EQ(re.MatchStart(), 0);
  EXPECT_EQ(re.MatchEnd(), 4);

  ASSERT_TRUE(re.Match());
  EXPECT_EQ(re.GetMatchedTextStart(0), 5);
  EXPECT_EQ(re.GetMatchedTextEnd(0), 8);
  EXPECT_EQ(re.GetMatchedText(0), "abc");
  EXPECT_EQ(re.MatchStart(), 4);
  EXPECT_EQ(re.MatchEnd(), 8);

  EXPECT_FALSE(re.Match());
  EXPECT_EQ(re.GroupCount(), -1);
  EXPECT_EQ(re.MatchStart(), 8);
  EXPECT_EQ(re.MatchEnd(), 8);
}

TEST(TzimRegExpTest, DefaultOptionsRefuseEmptyMatchesAndEmptyValidAllowsThem) {
  TzimRegExp re;
  re.SetPattern("a*");
  re.SetText("bbb");
  EXPECT_FALSE(re.Match());
  EXPECT_EQ(re.GroupCount(), -1);

  re.SetOptions(DefaultRegExpOptions.With(roEmptyValid));
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(re.GetMatchedTextStart(0), 0);
  EXPECT_EQ(re.GetMatchedTextEnd(0), 0);
  // An empty match does not move the search on: the next call finds it again.
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(re.MatchEnd(), 0);
}

TEST(TzimRegExpTest, OptionsChangeWhatMatches) {
  TzimRegExp re;
  re.SetOptions(DefaultRegExpOptions.With(roCaseSensitive));
  re.SetPattern("abc");
  re.SetText("ABC abc");
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(re.GetMatchedTextStart(0), 4);

  re.SetOptions(DefaultRegExpOptions.Without(roGreedy));
  re.SetPattern("a+");
  re.SetText("aaa");
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(re.GetMatchedText(0), "a");

  re.SetOptions(DefaultRegExpOptions);
  re.SetPattern("^b");
  re.SetText("a\nb");
  EXPECT_FALSE(re.Match());
  re.SetOptions(DefaultRegExpOptions.With(roMultiline));
  EXPECT_TRUE(re.Match());

  re.SetOptions(DefaultRegExpOptions.Without(roBol));
  re.SetPattern("^a");
  re.SetText("abc");
  EXPECT_FALSE(re.Match());

  re.SetOptions(DefaultRegExpOptions);
  re.SetPattern("a.b");
  re.SetText("a\nb");
  EXPECT_FALSE(re.Match());
  re.SetOptions(DefaultRegExpOptions.With(roDotAll));
  EXPECT_TRUE(re.Match());

  re.SetOptions(DefaultRegExpOptions.With(roIgnoreWhitespace));
  re.SetPattern("a b");
  re.SetText("ab");
  EXPECT_TRUE(re.Match());

  re.SetOptions(DefaultRegExpOptions.With(roAnchored));
  re.SetPattern("b");
  re.SetText("ab");
  EXPECT_FALSE(re.Match());

  re.SetOptions(DefaultRegExpOptions.Without(roAutoCapture).With(roStudy));
  re.SetPattern("(a)(b)");
  re.SetText("ab");
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(re.GroupCount(), 1);
}

TEST(TzimRegExpTest, GroupsThatDidNotTakePart) {
  TzimRegExp re;
  re.SetPattern("(a)|(b)");
  re.SetText("b");
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(re.GroupCount(), 3);
  EXPECT_EQ(re.GetMatchedText(1), "");
  EXPECT_FALSE(re.GroupMatched(1));
  EXPECT_EQ(re.GetMatchedTextStart(1), -1);
  EXPECT_EQ(re.GetMatchedTextEnd(1), -1);
  EXPECT_TRUE(re.GroupMatched(2));
  EXPECT_EQ(re.GetMatchedText(2), "b");
  EXPECT_FALSE(re.GroupMatched(3));
  EXPECT_FALSE(re.GroupMatched(-1));
  ExpectRegExpError([&] { re.GetMatchedTextStart(3); }, -12,
                    "GroupIndex parameter out of bounds in call to GetMatchedTextStart");
  ExpectRegExpError([&] { re.GetMatchedTextEnd(-1); }, -12,
                    "GroupIndex parameter out of bounds in call to GetMatchedTextEnd");
  ExpectRegExpError([&] { re.GetMatchedText(3); }, -12,
                    "GroupIndex parameter out of bounds in call to GetMatchedTextStart");
}

TEST(TzimRegExpTest, EmptyCaptureTookPartButDidNotMatch) {
  TzimRegExp re;
  re.SetPattern("x(a?)y");
  re.SetText("xy");
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(re.GetMatchedTextStart(1), 1);
  EXPECT_EQ(re.GetMatchedTextEnd(1), 1);
  EXPECT_FALSE(re.GroupMatched(1));
}

TEST(TzimRegExpTest, SamePatternKeepsPositionsAndNewPatternRewinds) {
  TzimRegExp re;
  re.SetPattern("b");
  re.SetText("abab");
  ASSERT_TRUE(re.Match());
  ASSERT_EQ(re.MatchEnd(), 2);

  re.SetPattern("b");
  EXPECT_EQ(re.MatchStart(), 0);
  EXPECT_EQ(re.MatchEnd(), 2);
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(re.GetMatchedTextStart(0), 3);

  re.SetPattern("B");
  EXPECT_EQ(re.MatchStart(), 0);
  EXPECT_EQ(re.MatchEnd(), 0);
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(re.GetMatchedTextStart(0), 1);

  // The same options are no change either.
  re.SetOptions(DefaultRegExpOptions);
  EXPECT_EQ(re.MatchEnd(), 2);
  re.SetOptions(DefaultRegExpOptions.With(roStudy));
  EXPECT_EQ(re.MatchEnd(), 0);
}

TEST(TzimRegExpTest, RecompilingNeverReadsPastTheNewOffsets) {
  TzimRegExp re;
  re.SetPattern("(a)(b)(c)");
  re.SetText("abc");
  ASSERT_TRUE(re.Match());
  ASSERT_EQ(re.GroupCount(), 4);
  re.SetPattern("x");
  EXPECT_EQ(re.GroupCount(), 4);
  EXPECT_FALSE(re.GroupMatched(3));
  EXPECT_THROW(re.GetMatchedText(3), EzimRegExp);
}

TEST(TzimRegExpTest, SameTextKeepsPositionsAndNewTextRewinds) {
  TzimRegExp re;
  re.SetPattern("a");
  re.SetText("aa");
  ASSERT_TRUE(re.Match());
  re.SetText("aa");
  EXPECT_EQ(re.MatchEnd(), 1);
  re.SetText("aaa");
  EXPECT_EQ(re.MatchStart(), 0);
  EXPECT_EQ(re.MatchEnd(), 0);
  // The last match's groups outlive the text change.
  EXPECT_EQ(re.GroupCount(), 1);
  EXPECT_EQ(re.GetMatchedTextEnd(0), 1);
}

// The last match's offsets may point past a shorter text set since; reads of
// the groups stay inside the text that is there now.
TEST(TzimRegExpTest, GroupsOfTheLastMatchNeverReadPastAShorterText) {
  TzimRegExp re;
  re.SetPattern("(b+)(c)");
  ASSERT_TRUE(MatchTextAgainst(re, "aaaabbbc", 0, 0));
  re.SetText("aaaab");
  EXPECT_EQ(re.GetMatchedText(1), "b");
  EXPECT_EQ(re.GetMatchedText(2), "");
  EXPECT_EQ(re.GetMatchedTextStart(2), 7);  // the offsets themselves are kept
  // A search refused for its offsets has already put the text in place.
  EXPECT_THROW(MatchTextAgainst(re, "aaaaab", 7, 0), EzimRegExp);
  EXPECT_EQ(re.GetMatchedText(0), "ab");
  re.SetText("");
  EXPECT_EQ(re.GetMatchedText(0), "");
}

TEST(TzimRegExpTest, PositionWritesAreCheckedInOrderAndFailuresChangeNothing) {
  TzimRegExp re;
  re.SetPattern("x");
  re.SetText("abcdef");

  ExpectRegExpError([&] { re.SetMatchStart(-1); }, -13,
                    "Cannot set MatchStart to point before start of text");
  ExpectRegExpError([&] { re.SetMatchStart(7); }, -13, "Cannot set MatchStart to point after end of text");
  re.SetMatchStart(6);
  EXPECT_EQ(re.MatchEnd(), 6);  // dragged along
  re.SetMatchStart(2);
  EXPECT_EQ(re.MatchEnd(), 6);  // not dragged back
  ExpectRegExpError([&] { re.SetMatchEnd(1); }, -13, "Cannot set MatchEnd to point before MatchStart");
  ExpectRegExpError([&] { re.SetMatchEnd(7); }, -13, "Cannot set MatchEnd to point after end of text");
  EXPECT_EQ(re.MatchStart(), 2);
  EXPECT_EQ(re.MatchEnd(), 6);
  re.SetMatchEnd(3);
  EXPECT_EQ(re.MatchEnd(), 3);
  // Writing the held value is no change, even where a check would refuse it.
  re.SetText("");
  re.SetMatchStart(0);
  re.SetMatchEnd(0);
}

TEST(TzimRegExpTest, FailedCompileReportsTheEngineAndLeavesAnUsableObject) {
  TzimRegExp re;
  re.SetPattern("a");
  re.SetText("a");
  try {
    re.SetPattern("(");
    FAIL() << "'(' compiled";
  } catch (const EzimRegExp& e) {
    EXPECT_EQ(e.ErrorCode, -10);
    EXPECT_EQ(std::string(e.what()),
              std::string("Regular expression compilation error ") + kMissingParenthesis + " at position 1");
  }
  EXPECT_EQ(re.Pattern(), "(");
  EXPECT_FALSE(re.Match());
  EXPECT_EQ(re.GroupCount(), -2);
  re.SetPattern("a");
  EXPECT_TRUE(re.Match());
}

TEST(TzimRegExpTest, FailedCompileThroughOptionsKeepsTheNewOptions) {
  // Under roIgnoreWhitespace "#" starts a comment, so the "(" is never seen.
  TzimRegExp re;
  re.SetOptions(DefaultRegExpOptions.With(roIgnoreWhitespace));
  re.SetPattern("a#(");
  re.SetText("a");
  ASSERT_TRUE(re.Match());
  EXPECT_THROW(re.SetOptions(DefaultRegExpOptions), EzimRegExp);
  EXPECT_EQ(re.Options(), DefaultRegExpOptions);
  EXPECT_FALSE(re.Match());
  re.SetOptions(DefaultRegExpOptions.With(roIgnoreWhitespace));
  EXPECT_TRUE(MatchTextAgainst(re, "a", 0, 0));
}

TEST(TzimRegExpTest, NamedGroups) {
  TzimRegExp re;
  re.SetPattern("(?P<host>[a-z]+)(?::(?P<port>[0-9]+))?");
  re.SetText("irc");
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(re.GetGroupIndex("host"), 1);
  EXPECT_EQ(re.GetGroupIndex("port"), 2);
  EXPECT_TRUE(re.NamedGroupExists("port"));
  EXPECT_TRUE(re.NamedGroupMatched("host"));
  EXPECT_FALSE(re.NamedGroupMatched("port"));
  EXPECT_FALSE(re.NamedGroupExists("Host"));  // names keep their case
  EXPECT_FALSE(re.NamedGroupMatched("nope"));
  try {
    re.GetGroupIndex("nope");
    FAIL() << "unknown name found";
  } catch (const EzimRegExpNamedGroup& e) {
    EXPECT_EQ(e.ErrorCode, -7);
    EXPECT_EQ(std::string(e.what()), "No such named group: nope");
  }
}

TEST(TzimRegExpTest, NamedGroupLookupsWithoutPatternRaiseTheNullCode) {
  TzimRegExp re;
  const std::string message = "Error Null-pointer when trying to find named group";
  ExpectRegExpError([&] { re.GetGroupIndex("a"); }, -2, message);
  ExpectRegExpError([&] { re.NamedGroupExists("a"); }, -2, message);
  ExpectRegExpError([&] { re.NamedGroupMatched("a"); }, -2, message);
  try {
    re.GetGroupIndex("a");
  } catch (const EzimRegExpNamedGroup&) {
    ADD_FAILURE() << "a null pattern is no unknown name";
  } catch (const EzimRegExp&) {
  }
}

TEST(TzimRegExpTest, MatchTextAgainstStartsWhereAsked) {
  TzimRegExp re;
  re.SetPattern("a");
  EXPECT_TRUE(MatchTextAgainst(re, "aaaaaa", 0, 0));
  EXPECT_EQ(re.GetMatchedTextStart(0), 0);
  EXPECT_TRUE(MatchTextAgainst(re, "aaaaaa", 0, 3));
  EXPECT_EQ(re.GetMatchedTextStart(0), 3);
  ExpectRegExpError([&] { MatchTextAgainst(re, "aaaaaa", 5, 0); }, -13,
                    "Cannot set MatchEnd to point before MatchStart");
  // A start past the end that the last search left is no obstacle.
  EXPECT_TRUE(MatchTextAgainst(re, "aaaaaa", 0, 0));
  EXPECT_TRUE(MatchTextAgainst(re, "aaaaaa", 4, 4));
  EXPECT_EQ(re.GetMatchedTextStart(0), 4);
}

}  // namespace
