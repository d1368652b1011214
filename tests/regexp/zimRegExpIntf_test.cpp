// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "regexp/zimRegExpIntf.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

TEST(NewRegExpTest, CompilesAtOnceAndRaisesForABadPattern) {
  auto re = NewRegExp("abc", DefaultRegExpOptions);
  ASSERT_NE(re, nullptr);
  EXPECT_EQ(re->Pattern(), "abc");
  try {
    NewRegExp("(", DefaultRegExpOptions);
    FAIL() << "'(' compiled";
  } catch (const EzimRegExp& e) {
    EXPECT_EQ(e.ErrorCode, -10);
    EXPECT_NE(std::string(e.what()).find("Regular expression compilation error"), std::string::npos);
  }
}

TEST(NewRegExpTest, EveryCallCompilesAfresh) {
  auto first = NewRegExp("a", DefaultRegExpOptions);
  auto second = NewRegExp("a", DefaultRegExpOptions);
  EXPECT_NE(first.get(), second.get());
  ASSERT_TRUE(first->MatchAgainst("xa", 0, 0));
  // The second object knows nothing of the first one's match.
  EXPECT_EQ(second->GroupCount(), 0);
}

TEST(NewRegExpTest, OptionsAreAppliedBeforeThePattern) {
  auto re = NewRegExp("A", DefaultRegExpOptions.With(roCaseSensitive));
  EXPECT_FALSE(re->MatchAgainst("a", 0, 0));
  EXPECT_TRUE(re->MatchAgainst("A", 0, 0));
}

TEST(IRegExpTest, MatchAgainstSearchesFromTheGivenEnd) {
  auto re = NewRegExp("a", DefaultRegExpOptions);
  const std::string text = "aaaaaa";
  ASSERT_TRUE(re->MatchAgainst(text, 0, 0));
  EXPECT_EQ(re->GetGroup(0)->StartPos(), 0);
  ASSERT_TRUE(re->MatchAgainst(text, 0, 3));
  EXPECT_EQ(re->GetGroup(0)->StartPos(), 3);
  try {
    re->MatchAgainst(text, 5, 0);
    FAIL() << "MatchEnd below MatchStart accepted";
  } catch (const EzimRegExp& e) {
    EXPECT_EQ(e.ErrorCode, -13);
    EXPECT_EQ(std::string(e.what()), "Cannot set MatchEnd to point before MatchStart");
  }
  ASSERT_TRUE(re->Match());
  EXPECT_EQ(re->GetGroup(0)->StartPos(), 5);
}

TEST(IRegExpTest, GroupsAreSnapshotsThatOutliveLaterMatchesAndTheMatcher) {
  std::shared_ptr<IRegExpGroup> kept;
  {
    auto re = NewRegExp("(a)|(b)", DefaultRegExpOptions);
    ASSERT_TRUE(re->MatchAgainst("b a", 0, 0));
    EXPECT_EQ(re->GroupCount(), 3);
    auto missing = re->GetGroup(1);
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->StartPos(), -1);
    EXPECT_EQ(missing->EndPos(), -1);
    EXPECT_EQ(missing->Text(), "");
    EXPECT_FALSE(re->GroupMatched(1));
    EXPECT_EQ(re->GetGroup(3), nullptr);
    EXPECT_EQ(re->GetGroup(-1), nullptr);
    kept = re->GetGroup(2);
    ASSERT_TRUE(re->Match());
    EXPECT_EQ(re->GetGroup(1)->Text(), "a");
  }
  EXPECT_EQ(kept->StartPos(), 0);
  EXPECT_EQ(kept->EndPos(), 1);
  EXPECT_EQ(kept->Text(), "b");
}

TEST(IRegExpTest, NamedGroupsThroughTheFace) {
  auto re = NewRegExp("(?<ip>[0-9.]+):(?<port>[0-9]+)|(?<name>[a-z]+)", DefaultRegExpOptions);
  ASSERT_TRUE(re->MatchAgainst("1.2.3.4:80 at", 0, 0));
  EXPECT_EQ(re->GetGroupIndex("port"), 2);
  EXPECT_EQ(re->GetNamedGroup("port")->Text(), "80");
  EXPECT_TRUE(re->NamedGroupMatched("ip"));
  EXPECT_TRUE(re->NamedGroupExists("name"));
  EXPECT_FALSE(re->NamedGroupMatched("name"));
  EXPECT_FALSE(re->NamedGroupExists("host"));
  EXPECT_THROW(re->GetNamedGroup("host"), EzimRegExpNamedGroup);
}

TEST(IRegExpTest, PatternWriteThroughTheFaceRecompiles) {
  auto re = NewRegExp("a", DefaultRegExpOptions);
  re->SetPattern("b");
  EXPECT_EQ(re->Pattern(), "b");
  EXPECT_FALSE(re->MatchAgainst("aaa", 0, 0));
  EXPECT_TRUE(re->MatchAgainst("aba", 0, 0));
  EXPECT_THROW(re->SetPattern("[a"), EzimRegExp);
  EXPECT_FALSE(re->MatchAgainst("aba", 0, 0));
}

TEST(IRegExpTest, TheWrapperAlsoReportsItsVersion) {
  std::shared_ptr<IRegExp> re = NewRegExp("a", DefaultRegExpOptions);
  auto version = std::dynamic_pointer_cast<IPackageVersion>(re);
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->PackageVersion(), "1.0.10.163");
}

}  // namespace
