// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "regexp/zimRegExp.h"
#include "support/FreshScan.h"
#include "support/EngineWords.h"

namespace {

constexpr const char* kImportPattern = "((([0-9]+).([0-9]+).([0-9]+).([0-9]+)):([0-9]+))";

// Each test runs against the cached scan and the fresh one alike.
class RegExpScanfTest : public ::testing::TestWithParam<bool> {
 protected:
  bool Scan(std::string_view pattern, std::string_view text, std::initializer_list<TScanArg> args,
            bool zeroMissing = false, TzimRegExpOptions options = DefaultRegExpOptions) {
    return GetParam() ? RegExpScanf(pattern, text, args, options, zeroMissing)
                      : RegExpScanfUncached(pattern, text, args, options, zeroMissing);
  }

  template <typename E, typename Action>
  std::string MessageOf(Action action) {
    try {
      action();
    } catch (const E& e) {
      return e.what();
    }
    ADD_FAILURE() << "nothing raised";
    return {};
  }
};

TEST_P(RegExpScanfTest, TheImportsOwnCall) {
  std::string candidate = "untouched";
  EXPECT_TRUE(Scan(kImportPattern, "proxy 10.0.0.1:8080 ok", {"1:STRING", &candidate}));
  EXPECT_EQ(candidate, "10.0.0.1:8080");
  // Its dots stand for any character.
  EXPECT_TRUE(Scan(kImportPattern, "a1x2x3x4:80", {"1:STRING", &candidate}));
  EXPECT_EQ(candidate, "1x2x3x4:80");
  // From the first number on, ":" would have to follow "4"; the first match
  // therefore starts at the second number.
  EXPECT_TRUE(Scan(kImportPattern, "1.2.3.4.5:80", {"1:STRING", &candidate}));
  EXPECT_EQ(candidate, "2.3.4.5:80");
  EXPECT_FALSE(Scan(kImportPattern, "no proxy here 1.2.3:80", {"1:STRING", &candidate}));
  EXPECT_EQ(candidate, "2.3.4.5:80");
  EXPECT_FALSE(Scan(kImportPattern, "", {"1:STRING", &candidate}));
}

TEST_P(RegExpScanfTest, NoMatchTouchesNothingAndExaminesNoSelector) {
  std::int32_t value = 7;
  EXPECT_FALSE(Scan("([0-9]+)", "none", {"1:NOTATYPE", &value, "2:STRING"}));
  EXPECT_EQ(value, 7);
}

TEST_P(RegExpScanfTest, EmptyArgsOnlyTellWhetherItMatched) {
  EXPECT_TRUE(Scan("a", "cat", {}));
  EXPECT_FALSE(Scan("z", "cat", {}));
}

TEST_P(RegExpScanfTest, BadPatternRaisesBeforeAnythingIsStored) {
  std::string target = "kept";
  try {
    Scan("(", "text", {"0:STRING", &target});
    FAIL() << "'(' compiled";
  } catch (const EzimRegExp& e) {
    EXPECT_EQ(e.ErrorCode, -10);
    EXPECT_EQ(std::string(e.what()),
              std::string("Regular expression compilation error ") + kMissingParenthesis + " at position 1");
  }
  EXPECT_EQ(target, "kept");
}

TEST_P(RegExpScanfTest, SelectorsWithoutPrefixCountOnFromThePreviousGroup) {
  std::string a, b, whole;
  ASSERT_TRUE(Scan("(a)(b)(c)(d)", "abcd", {"STRING", &a, "STRING", &b}));
  EXPECT_EQ(a, "a");
  EXPECT_EQ(b, "b");
  ASSERT_TRUE(Scan("(a)(b)(c)(d)", "abcd", {"3:STRING", &a, "STRING", &b}));
  EXPECT_EQ(a, "c");
  EXPECT_EQ(b, "d");
  ASSERT_TRUE(Scan("(a)(b)(c)(d)", "xabcdx", {"0:STRING", &whole, "STRING", &a}));
  EXPECT_EQ(whole, "abcd");
  EXPECT_EQ(a, "a");
}

TEST_P(RegExpScanfTest, SelectorsIgnoreCaseAndComeAsCStringsOrCountedStrings) {
  std::string s1, s2, s3;
  const std::string counted = "1:String";
  ASSERT_TRUE(Scan("(ab)", "ab", {"1:string", &s1, counted, &s2, std::string_view("1:STRING"), &s3}));
  EXPECT_EQ(s1, "ab");
  EXPECT_EQ(s2, "ab");
  EXPECT_EQ(s3, "ab");
}

TEST_P(RegExpScanfTest, MalformedSelectorsAreNamedAsPassed) {
  std::string s;
  for (const char* selector : {"1:TEXT", "1 :STRING", "1234:STRING", "", ":STRING", "1:STRING(123456)",
                               "1:STRING()", "1:STRING(3", "-1:STRING", "a-b:STRING", " STRING"}) {
    EXPECT_EQ(MessageOf<ERegExpScanf>([&] {
                Scan("(a)", "a", {selector, &s});
              }),
              std::string("Invalid scan selector: ") + selector);
  }
}

TEST_P(RegExpScanfTest, LengthCutsStringsAndIsIgnoredElsewhere) {
  std::string s;
  std::int32_t n = 0;
  ASSERT_TRUE(Scan("([a-z]+)", "abcdef", {"1:STRING(3)", &s}));
  EXPECT_EQ(s, "abc");
  ASSERT_TRUE(Scan("([a-z]+)", "abcdef", {"1:STRING(0)", &s}));
  EXPECT_EQ(s, "abcdef");
  ASSERT_TRUE(Scan("([a-z]+)", "abcdef", {"1:STRING(99999)", &s}));
  EXPECT_EQ(s, "abcdef");
  ASSERT_TRUE(Scan("([0-9]+)", "12345", {"1:INTEGER(2)", &n}));
  EXPECT_EQ(n, 12345);
}

TEST_P(RegExpScanfTest, GroupPastTheMatchRaisesOrStoresZero) {
  // Eight groups in all take part, so GroupCount is 9 and group 9 is past it.
  const char* pattern = "(a)(b)(c)(d)(e)(f)(g)(h)(i)?";
  std::string s = "x";
  EXPECT_EQ(MessageOf<ERegExpScanf>([&] {
              Scan(pattern, "abcdefgh", {"9:STRING", &s});
            }),
            "Invalid scan group: 9:STRING");
  EXPECT_EQ(s, "x");

  std::int32_t i32 = 5;
  std::int64_t i64 = 5;
  std::uint8_t byte = 5;
  std::uint16_t word = 5;
  double d = 5;
  float f = 5;
  unsigned char extended[10];
  std::memset(extended, 0x55, sizeof extended);
  char c = 'c';
  char buffer[4] = "abc";
  std::string after;
  ASSERT_TRUE(Scan(pattern, "abcdefgh", {"9:STRING", &s,       "9:INTEGER", &i32,      "9:INT64",
                                         &i64,       "9:BYTE", &byte,       "9:WORD",  &word,
                                         "9:DOUBLE", &d,       "9:SINGLE",  &f,        "9:EXTENDED",
                                         extended,   "9:CHAR", &c,          "9:PCHAR", PCharOf(buffer),
                                         "1:STRING", &after},
                   true));
  EXPECT_EQ(s, "");
  EXPECT_EQ(i32, 0);
  EXPECT_EQ(i64, 0);
  EXPECT_EQ(byte, 0);
  EXPECT_EQ(word, 0);
  EXPECT_EQ(d, 0.0);
  EXPECT_EQ(f, 0.0f);
  for (unsigned char b : extended) EXPECT_EQ(b, 0);
  EXPECT_EQ(c, '\0');
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], 'b');
  EXPECT_EQ(after, "a");
}

TEST_P(RegExpScanfTest, GroupBelowTheCountThatDidNotTakePartIsEmptyText) {
  std::string s = "x";
  std::int32_t n = 3;
  ASSERT_TRUE(Scan("(a)|(b)(c)", "bc", {"1:STRING", &s}));
  EXPECT_EQ(s, "");
  EXPECT_EQ(MessageOf<EConvertError>([&] {
              Scan("(a)|(b)(c)", "bc", {"1:INTEGER", &n});
            }),
            "'' is not a valid integer value");
  EXPECT_EQ(n, 3);
}

TEST_P(RegExpScanfTest, IntegerTypesKeepTheLowBits) {
  std::uint8_t byte = 0;
  std::int8_t shortint = 0;
  std::uint16_t word = 0;
  std::uint32_t longword = 0, cardinal = 0;
  std::int64_t int64 = 0;
  std::int32_t integer = 0;
  ASSERT_TRUE(Scan("(\\S+) (\\S+) (\\S+) (\\S+) (\\S+) (\\S+) (\\S+)", "300 200 70000 -1 $FFFFFFFF -1 x10",
                   {"BYTE", &byte, "SHORTINT", &shortint, "WORD", &word, "LONGWORD", &longword, "CARDINAL",
                    &cardinal, "INT64", &int64, "INTEGER", &integer}));
  EXPECT_EQ(byte, 44);
  EXPECT_EQ(shortint, -56);
  EXPECT_EQ(word, 4464);
  EXPECT_EQ(longword, 0xFFFFFFFFu);
  EXPECT_EQ(cardinal, 0xFFFFFFFFu);
  EXPECT_EQ(int64, -1);
  EXPECT_EQ(static_cast<std::uint64_t>(int64), UINT64_MAX);
  EXPECT_EQ(integer, 16);
}

TEST_P(RegExpScanfTest, Int64ReadsOnlyTheThirtyTwoBitRange) {
  std::int64_t value = 1;
  EXPECT_EQ(MessageOf<EConvertError>([&] {
              Scan("(\\d+)", "4294967296", {"INT64", &value});
            }),
            "'4294967296' is not a valid integer value");
  EXPECT_EQ(value, 1);
  ASSERT_TRUE(Scan("(\\S+)", "-2147483648", {"INT64", &value}));
  EXPECT_EQ(value, INT32_MIN);
}

TEST_P(RegExpScanfTest, FloatTypes) {
  double d = 0;
  float f = 0;
  long double e = 0;
  ASSERT_TRUE(Scan("(\\S+) (\\S+) (\\S+)", "1.5 0.1 -2.5e3", {"DOUBLE", &d, "SINGLE", &f, "EXTENDED", &e}));
  EXPECT_EQ(d, 1.5);
  EXPECT_EQ(f, 0.1f);
  EXPECT_EQ(e, -2500.0L);
  EXPECT_EQ(MessageOf<EConvertError>([&] {
              Scan("(\\S+)", "1,5", {"DOUBLE", &d});
            }),
            "'1,5' is not a valid floating point value");
  EXPECT_EQ(MessageOf<EConvertError>([&] {
              Scan("(\\S+)", "1e300", {"SINGLE", &f});
            }),
            "'1e300' is not a valid floating point value");
  EXPECT_EQ(f, 0.1f);
}

TEST_P(RegExpScanfTest, BooleanWords) {
  std::uint8_t b1 = 9, b2 = 9, b3 = 9, b4 = 9, b5 = 9;
  ASSERT_TRUE(Scan("(\\w+) (\\w+) (\\w+) (\\w+) (\\w+)", "yes On 1 no OFF",
                   {"BOOLEAN", &b1, "BOOLEAN", &b2, "BOOLEAN", &b3, "BOOLEAN", &b4, "BOOLEAN", &b5}));
  EXPECT_EQ(b1, 1);
  EXPECT_EQ(b2, 1);
  EXPECT_EQ(b3, 1);
  EXPECT_EQ(b4, 0);
  EXPECT_EQ(b5, 0);
  EXPECT_EQ(MessageOf<Exception>([&] {
              Scan("(\\w+)", "maybe", {"BOOLEAN", &b1});
            }),
            "Unable to determine if BOOL value is True or False: maybe");
}

TEST_P(RegExpScanfTest, CharAndPChar) {
  char c = 0, empty = 'e';
  char buffer[6];
  char small[3];
  ASSERT_TRUE(Scan("(\\w+)(x?)", "hello",
                   {"1:CHAR", &c, "2:CHAR", &empty, "1:PCHAR", PCharOf(buffer), "1:PCHAR", PCharOf(small)}));
  EXPECT_EQ(c, 'h');
  EXPECT_EQ(empty, '\0');
  EXPECT_STREQ(buffer, "hello");
  EXPECT_STREQ(small, "he");
  ASSERT_TRUE(Scan("(\\w+)", "hello", {"1:PCHAR(3)", PCharOf(buffer)}));
  EXPECT_STREQ(buffer, "hel");
  ASSERT_TRUE(Scan("(\\w+)", "hi", {"1:PCHAR(0)", PCharOf(buffer)}));
  EXPECT_STREQ(buffer, "hi");
  EXPECT_THROW(Scan("(\\w+)", "hi", {"1:PCHAR", static_cast<void*>(buffer)}), EAssertionFailed);
}

TEST_P(RegExpScanfTest, PrefixesAreNumbersOrGroupNames) {
  std::string ip, port, first;
  const char* pattern = "(?<ip>[0-9.]+):(?<port>[0-9]+)";
  ASSERT_TRUE(Scan(pattern, "at 1.2.3.4:80", {"ip:STRING", &ip, "STRING", &port, "x1:STRING", &first}));
  EXPECT_EQ(ip, "1.2.3.4");
  EXPECT_EQ(port, "80");
  EXPECT_EQ(first, "1.2.3.4");
  try {
    Scan(pattern, "at 1.2.3.4:80", {"ip:STRING", &ip, "bad:STRING", &port});
    FAIL() << "unknown name accepted";
  } catch (const EzimRegExpNamedGroup& e) {
    EXPECT_EQ(e.ErrorCode, -7);
    EXPECT_STREQ(e.what(), "No such named group: bad");
  }
  // A name error comes before the check against GroupCount, ZeroMissing or not.
  EXPECT_THROW(Scan(pattern, "1.2.3.4:80", {"bad:STRING", &port}, true), EzimRegExpNamedGroup);
}

TEST_P(RegExpScanfTest, MalformedArgsRaiseTheAssertionAtTheFaultyPair) {
  std::string a = "-", b = "-";
  const std::string message = MessageOf<EAssertionFailed>([&] {
    Scan("(a)(b)", "ab", {"1:STRING", &a, "2:STRING"});
  });
  EXPECT_EQ(message.rfind("Assertion failure (", 0), 0u) << message;
  EXPECT_NE(message.find(".cpp, line "), std::string::npos) << message;
  EXPECT_EQ(a, "a");  // the pair before was stored

  a = "-";
  EXPECT_THROW(Scan("(a)(b)", "ab", {"1:STRING", &a, &b, &b}), EAssertionFailed);
  EXPECT_EQ(a, "a");
  EXPECT_THROW(Scan("(a)(b)", "ab", {"1:STRING", "2:STRING"}), EAssertionFailed);
  EXPECT_THROW(Scan("(a)(b)", "ab", {"1:STRING", 5}), EAssertionFailed);
  EXPECT_THROW(Scan("(a)(b)", "ab", {"1:STRING", nullptr}), EAssertionFailed);
  EXPECT_THROW(Scan("(a)(b)", "ab", {42, &a}), EAssertionFailed);
  std::string* none = nullptr;
  EXPECT_THROW(Scan("(a)(b)", "ab", {"1:STRING", none}), EAssertionFailed);
  // The shape is checked before the selector itself.
  EXPECT_THROW(Scan("(a)(b)", "ab", {"1:TEXT"}), EAssertionFailed);
}

// A selector in a writable character array is a selector all the same; a
// character pointer where a target stands is still a target.
TEST_P(RegExpScanfTest, WritableCharacterArraysServeAsSelectors) {
  char selector[] = "2:STRING";
  char first = 0;
  std::string second;
  ASSERT_TRUE(Scan("(a)(b)", "ab", {"1:CHAR", &first, selector, &second}));
  EXPECT_EQ(first, 'a');
  EXPECT_EQ(second, "b");
}

// A buffer that knows its size takes only what fits in it.
TEST_P(RegExpScanfTest, ATypedTargetTooSmallForItsTypeRaisesTheAssertion) {
  char two[2] = {'x', 'y'};
  char ten[10] = {};
  EXPECT_THROW(Scan("(7)", "7", {"1:INTEGER", PCharOf(two)}), EAssertionFailed);
  EXPECT_THROW(Scan("(7)", "7", {"1:EXTENDED", PCharOf(two)}), EAssertionFailed);
  EXPECT_THROW(Scan("(7)", "7", {"1:STRING", PCharOf(ten)}), EAssertionFailed);
  EXPECT_THROW(Scan("(7)", "7", {"3:INT64", PCharOf(two)}, true), EAssertionFailed);
  EXPECT_EQ(two[0], 'x');
  EXPECT_EQ(two[1], 'y');
  ASSERT_TRUE(Scan("(7)", "7", {"1:WORD", PCharOf(two), "1:EXTENDED", PCharOf(ten)}));
  EXPECT_EQ(two[0], 7);
}

TEST_P(RegExpScanfTest, FailureLeavesEarlierTargetsStoredAndLaterOnesUntouched) {
  std::int32_t first = 0, third = 0;
  std::int32_t second = 0;
  EXPECT_THROW(
      Scan("(\\S+) (\\S+) (\\S+)", "1 x 3", {"INTEGER", &first, "INTEGER", &second, "INTEGER", &third}),
      EConvertError);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(third, 0);
}

TEST_P(RegExpScanfTest, OptionsApplyToThePatternButNotToTheSelectors) {
  std::string s;
  EXPECT_FALSE(Scan("(ABC)", "abc", {"1:string", &s}, false, DefaultRegExpOptions.With(roCaseSensitive)));
  ASSERT_TRUE(Scan("(abc)", "abc", {"1:string", &s}, false, DefaultRegExpOptions.With(roCaseSensitive)));
  EXPECT_EQ(s, "abc");
}

TEST_P(RegExpScanfTest, TextsAreBytes) {
  std::string s;
  const std::string text("a\0b\xE9", 4);
  ASSERT_TRUE(Scan("a(.+)", text, {"1:STRING", &s}));
  EXPECT_EQ(s, std::string("\0b\xE9", 3));
}

TEST_P(RegExpScanfTest, ASpanOfArgsServesDynamicLists) {
  std::string a, b;
  std::vector<TScanArg> args = {"1:STRING", &a};
  args.push_back("2:STRING");
  args.push_back(&b);
  const bool matched =
      GetParam() ? RegExpScanf("(x)(y)", "xy", args) : RegExpScanfUncached("(x)(y)", "xy", args);
  ASSERT_TRUE(matched);
  EXPECT_EQ(a + b, "xy");
}

INSTANTIATE_TEST_SUITE_P(CachedAndFresh, RegExpScanfTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Cached" : "Fresh"; });

}  // namespace
