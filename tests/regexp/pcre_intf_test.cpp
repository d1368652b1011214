// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "regexp/pcre_intf.h"

#include <gtest/gtest.h>

namespace {

TEST(PcreOptionsTest, SetIsHeldInSixteenBitsByOrdinal) {
  EXPECT_EQ((TzimRegExpOptions{roGreedy, roStudy}.Bits()), 0x1001);
  EXPECT_EQ(TzimRegExpOptions::FromBits(0xFFFF).Bits(), 0x1FFF);
  EXPECT_TRUE(TzimRegExpOptions::FromBits(0x0461).Contains(roAutoCapture));
  EXPECT_FALSE(DefaultRegExpOptions.Contains(roCaseSensitive));
  EXPECT_EQ(DefaultRegExpOptions.Without(roBol).Bits(), 0x0441);
}

// What the object relies on of the first interface, whichever engine answers.
TEST(PcreSeamTest, AnswersInTheFirstInterfacesTerms) {
  std::string error;
  int errorOffset = -1;
  PcrePattern* pattern = PcreCompile("(a)|(b)(?<tail>c)?", DefaultRegExpOptions, error, errorOffset);
  ASSERT_NE(pattern, nullptr) << error;
  int groups = 0;
  ASSERT_EQ(PcreCaptureCount(pattern, groups), 0);
  EXPECT_EQ(groups, 3);
  int offsets[12];
  EXPECT_EQ(PcreExec(pattern, "xB", 0, DefaultRegExpOptions, offsets, 12), 3);
  EXPECT_EQ(offsets[2], -1);
  EXPECT_EQ(offsets[3], -1);
  EXPECT_EQ(offsets[4], 1);
  EXPECT_EQ(offsets[5], 2);
  EXPECT_EQ(PcreExec(pattern, "xyz", 0, DefaultRegExpOptions, offsets, 12), kPcreNoMatch);
  EXPECT_EQ(PcreExec(pattern, "b", 2, DefaultRegExpOptions, offsets, 12), -24);
  EXPECT_EQ(PcreNameToNumber(pattern, "tail"), 3);
  EXPECT_EQ(PcreNameToNumber(pattern, "Tail"), kPcreNoSuchGroup);
  PcreStudy(pattern);
  EXPECT_EQ(PcreExec(pattern, "zza", 1, DefaultRegExpOptions, offsets, 12), 2);
  EXPECT_EQ(offsets[0], 2);
  PcreRelease(pattern);

  EXPECT_EQ(PcreExec(nullptr, "a", 0, DefaultRegExpOptions, offsets, 12), kPcreNullArgument);
  EXPECT_EQ(PcreNameToNumber(nullptr, "a"), kPcreNullArgument);
  EXPECT_EQ(PcreCompile("a(", DefaultRegExpOptions, error, errorOffset), nullptr);
  EXPECT_EQ(errorOffset, 2);
  EXPECT_FALSE(error.empty());
}

}  // namespace
