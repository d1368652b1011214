// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "regexp/ScanConversions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "regexp/zimRegExp.h"

namespace {

TEST(ScanIntFromTextTest, Decimal) {
  EXPECT_EQ(ScanIntFromText("0"), 0);
  EXPECT_EQ(ScanIntFromText("42"), 42);
  EXPECT_EQ(ScanIntFromText("   +42"), 42);
  EXPECT_EQ(ScanIntFromText("-17"), -17);
  EXPECT_EQ(ScanIntFromText("0000000000012"), 12);
  EXPECT_EQ(ScanIntFromText("2147483647"), 2147483647);
  EXPECT_EQ(ScanIntFromText("-2147483648"), INT32_MIN);
  EXPECT_EQ(ScanIntFromText("2147483648"), std::nullopt);
  EXPECT_EQ(ScanIntFromText("-2147483649"), std::nullopt);
  EXPECT_EQ(ScanIntFromText("99999999999999999999"), std::nullopt);
}

TEST(ScanIntFromTextTest, Hexadecimal) {
  EXPECT_EQ(ScanIntFromText("$ff"), 255);
  EXPECT_EQ(ScanIntFromText("x1"), 1);
  EXPECT_EQ(ScanIntFromText("X1F"), 31);
  EXPECT_EQ(ScanIntFromText("0x10"), 16);
  EXPECT_EQ(ScanIntFromText("0XaB"), 171);
  EXPECT_EQ(ScanIntFromText("$FFFFFFFF"), -1);
  EXPECT_EQ(ScanIntFromText("$80000000"), INT32_MIN);
  EXPECT_EQ(ScanIntFromText("-$1"), -1);
  EXPECT_EQ(ScanIntFromText("-x80000000"), INT32_MIN);
  EXPECT_EQ(ScanIntFromText("$123456789"), std::nullopt);
  EXPECT_EQ(ScanIntFromText("$"), std::nullopt);
  EXPECT_EQ(ScanIntFromText("0x"), std::nullopt);
  EXPECT_EQ(ScanIntFromText("$fg"), std::nullopt);
}

TEST(ScanIntFromTextTest, RefusesWhatIsNoWholeNumber) {
  for (const char* text : {"", " ", "+", "-", "1 ", "1a", "ip", "1.0", "--1", "+-1", "\t1", "1\n"})
    EXPECT_EQ(ScanIntFromText(text), std::nullopt) << "'" << text << "'";
}

TEST(ScanFloatFromTextTest, ReadsDecimalFormsWithADot) {
  EXPECT_EQ(ScanFloatFromText("1.5"), 1.5L);
  EXPECT_EQ(ScanFloatFromText("  -2.25  "), -2.25L);
  EXPECT_EQ(ScanFloatFromText("+3"), 3.0L);
  EXPECT_EQ(ScanFloatFromText(".5"), 0.5L);
  EXPECT_EQ(ScanFloatFromText("5."), 5.0L);
  EXPECT_EQ(ScanFloatFromText("1e3"), 1000.0L);
  EXPECT_EQ(ScanFloatFromText("2.5E-1"), 0.25L);
  EXPECT_EQ(ScanFloatFromText("0.1"), 0.1L);
  EXPECT_EQ(ScanFloatFromText("1e-5000"), 0.0L);
}

TEST(ScanFloatFromTextTest, RefusesOtherForms) {
  for (const char* text :
       {"", ".", "e5", "1e", "1e+", "1,5", "inf", "nan", "0x1p3", "1.5x", "- 1", "1..2", "1e99999"})
    EXPECT_EQ(ScanFloatFromText(text), std::nullopt) << "'" << text << "'";
}

TEST(StoreGroupTextTest, WritesOnlyTheTargetsWidth) {
  // Guard bytes around each target catch a store wider than its type.
  unsigned char bytes[16];
  std::memset(bytes, 0xEE, sizeof bytes);
  StoreGroupText(ScanType::Word, "65537", 0, TScanArg(bytes + 4));
  EXPECT_EQ(bytes[3], 0xEE);
  EXPECT_EQ(bytes[4], 1);
  EXPECT_EQ(bytes[5], 0);
  EXPECT_EQ(bytes[6], 0xEE);

  std::memset(bytes, 0xEE, sizeof bytes);
  StoreGroupText(ScanType::Extended, "1", 0, TScanArg(bytes + 2));
  EXPECT_EQ(bytes[1], 0xEE);
  EXPECT_EQ(bytes[12], 0xEE);
  long double one = 0;
  std::memcpy(&one, bytes + 2, 10);
  EXPECT_EQ(one, 1.0L);

  std::memset(bytes, 0xEE, sizeof bytes);
  StoreMissingGroup(ScanType::Extended, TScanArg(bytes + 2));
  for (int i = 2; i < 12; ++i) EXPECT_EQ(bytes[i], 0) << i;
  EXPECT_EQ(bytes[12], 0xEE);
}

TEST(StoreGroupTextTest, PCharKeepsInsideItsBuffer) {
  char buffer[8];
  std::memset(buffer, 'Z', sizeof buffer);
  StoreGroupText(ScanType::PChar, "abcdefghijkl", 0, TScanArg(PCharBuffer{buffer, 5}));
  EXPECT_STREQ(buffer, "abcd");
  EXPECT_EQ(buffer[5], 'Z');

  StoreGroupText(ScanType::PChar, "abcdefghijkl", 2, TScanArg(PCharBuffer{buffer, 5}));
  EXPECT_STREQ(buffer, "ab");

  StoreGroupText(ScanType::PChar, "abc", 0, TScanArg(PCharBuffer{buffer, sizeof buffer}));
  EXPECT_STREQ(buffer, "abc");

  std::memset(buffer, 'Z', sizeof buffer);
  StoreGroupText(ScanType::PChar, "abc", 0, TScanArg(PCharBuffer{buffer, 0}));
  EXPECT_EQ(buffer[0], 'Z');

  // Without a size there is no safe way to write characters.
  EXPECT_THROW(StoreGroupText(ScanType::PChar, "abc", 0, TScanArg(buffer)), EAssertionFailed);
}

}  // namespace
