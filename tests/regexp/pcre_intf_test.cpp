// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "regexp/pcre_intf.h"

#include <gtest/gtest.h>
#include <pcre.h>

namespace {

TEST(PcreFlagsTest, DefaultOptionsAskForCaselessAndNotEmptyAlone) {
  EXPECT_EQ(PcreCompileFlags(DefaultRegExpOptions), PCRE_CASELESS);
  EXPECT_EQ(PcreMatchFlags(DefaultRegExpOptions), PCRE_NOTEMPTY);
}

TEST(PcreOptionsTest, SetIsHeldInSixteenBitsByOrdinal) {
  EXPECT_EQ((TzimRegExpOptions{roGreedy, roStudy}.Bits()), 0x1001);
  EXPECT_EQ(TzimRegExpOptions::FromBits(0xFFFF).Bits(), 0x1FFF);
  EXPECT_TRUE(TzimRegExpOptions::FromBits(0x0461).Contains(roAutoCapture));
  EXPECT_FALSE(DefaultRegExpOptions.Contains(roCaseSensitive));
  EXPECT_EQ(DefaultRegExpOptions.Without(roBol).Bits(), 0x0441);
}

TEST(RegExpErrorTextTest, CoversTheTable) {
  EXPECT_EQ(RegExpErrorText(0), "");
  EXPECT_EQ(RegExpErrorText(5), "");
  EXPECT_EQ(RegExpErrorText(-1), "No match found");
  EXPECT_EQ(RegExpErrorText(-2), "Null-pointer");
  EXPECT_EQ(RegExpErrorText(-3), "Bad option");
  EXPECT_EQ(RegExpErrorText(-4), "Bad magic value");
  EXPECT_EQ(RegExpErrorText(-5), "Unknown node found");
  EXPECT_EQ(RegExpErrorText(-6), "Out of memory");
  EXPECT_EQ(RegExpErrorText(-7), "No such named group");
  EXPECT_EQ(RegExpErrorText(-8), "Match reached limit");
  EXPECT_EQ(RegExpErrorText(-9), "Callout error");
  EXPECT_EQ(RegExpErrorText(-10), "Unable to compile pattern");
  EXPECT_EQ(RegExpErrorText(-11), "Unable to study pattern");
  EXPECT_EQ(RegExpErrorText(-12), "Parameter value out of bounds");
  EXPECT_EQ(RegExpErrorText(-13), "Generic error");
  EXPECT_EQ(RegExpErrorText(-24), "Engine error -24");
}

TEST(PcreAllocatorTest, EngineBlocksComeZeroFilled) {
  EnsurePcreAllocator();
  EnsurePcreAllocator();
  for (std::size_t size : {1u, 64u, 4096u}) {
    auto* block = static_cast<unsigned char*>(pcre_malloc(size));
    ASSERT_NE(block, nullptr);
    for (std::size_t i = 0; i < size; ++i) ASSERT_EQ(block[i], 0) << "byte " << i << " of " << size;
    block[0] = 0xAA;
    pcre_free(block);
  }
}

}  // namespace
