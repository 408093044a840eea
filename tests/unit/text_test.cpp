// The text services: 1-based positions, two-byte GBK characters stepped over whole,
// null equal to "", and the start/count/no-rescan rules of replacing.
#include "services/text.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

// "\x95\x5c" is one GBK character whose trail byte is a backslash.
const char kTrailBackslash[] =
    "\x95\x5c"
    "x\\";

struct FindCase {
  const char* text;
  const char* sought;
  int start;
  bool ignoreCase;
  int expected;
};

TEST(FindText, Cases) {
  const FindCase cases[] = {
      {"set \"FilePath=%~1\"", "%~1", 1, false, 15},
      {"abcabc", "c", 4, false, 6},  // counted from the beginning of the whole text
      {"abcabc", "a", 0, false, 1},  // a start below 1 counts as 1
      {"abcabc", "a", -7, false, 1},
      {"abc", "c", 3, false, 3},
      {"abc", "c", 4, false, -1},  // a start beyond the end
      {"abc", "", 1, false, -1},
      {"ABC", "b", 1, false, -1},
      {"ABC", "b", 1, true, 2},               // ASCII letters folded
      {"\xb1\xed", "\xb1\xcd", 1, true, -1},  // only ASCII letters fold
      {kTrailBackslash, "\\", 1, false, 4},   // never inside a character
      {"\xb1\xed"
       "A",
       "A", 2, false, 3},  // a start on a trail byte moves on
      {"\xb1\xed\xb1\xed", "\xed\xb1", 1, false, -1},
      {nullptr, "a", 1, false, -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FindText(c.text, c.sought, c.start, c.ignoreCase), c.expected)
        << "text \"" << (c.text ? c.text : "(null)") << "\" sought \"" << c.sought << "\" start "
        << c.start;
}

struct ReplaceCase {
  const char* text;
  const char* sought;
  const char* replacement;
  int start, count;
  bool caseSensitive;
  const char* expected;
};

TEST(ReplaceText, Cases) {
  const ReplaceCase cases[] = {
      {"aXbX", "X", "Y", 0, 10, true, "aYbY"},  // start 0 is the beginning
      {"aXbX", "X", "Y", -1, 10, true, "aYbY"},
      {"XXX", "X", "Y", 1, 2, true, "YYX"},    // at most count times
      {"XaX", "X", "Y", 2, 5, true, "XaY"},    // bytes before the start unchanged
      {"abc", "a", "z", 4, 1, true, "abc"},    // beyond the end: nothing
      {"aa", "a", "aa", 1, 10, true, "aaaa"},  // the replacement is never rescanned
      {"aaa", "aa", "b", 1, 10, true, "ba"},   // a replaced occurrence is skipped whole
      {"abc", "", "z", 1, 5, true, "abc"},     // an empty sought text replaces nothing
      {"aXx", "x", "y", 1, 5, false, "ayy"},
      {"aXx", "x", "y", 1, 5, true, "aXy"},
      {kTrailBackslash, "\\", "/", 1, 5, true,
       "\x95\x5c"
       "x/"},
      {"\"%~1\" \"%~1\"", "%~1", nullptr, 1, 2, true, "\"\" \"\""},
      {nullptr, "a", "b", 1, 1, true, ""},
      {"abc", "b", "x", 1, 0, true, "abc"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReplaceText(c.text, c.sought, c.replacement, c.start, c.count, c.caseSensitive),
              c.expected)
        << "text \"" << (c.text ? c.text : "(null)") << "\" sought \"" << c.sought << "\"";
}

TEST(RightPart, CountsBytes) {
  EXPECT_EQ(RightPart("abc", 4), "abc");
  EXPECT_EQ(RightPart("abcd", 2), "cd");
  EXPECT_EQ(RightPart("abc", 0), "");
  EXPECT_EQ(RightPart("abc", -2), "");
  EXPECT_EQ(RightPart(nullptr, 3), "");
  EXPECT_EQ(RightPart("\xb1\xed"
                      "a",
                      2),
            "\xed"
            "a");
}

TEST(CompareText, BytewiseUnsignedAndNullIsEmpty) {
  EXPECT_NE(CompareText(".hex", ".HEX"), 0);
  EXPECT_EQ(CompareText(".hex", ".hex"), 0);
  EXPECT_EQ(CompareText(nullptr, ""), 0);
  EXPECT_GT(CompareText("\xb1", "a"), 0);  // 0xB1 is above 'a' as an unsigned byte
  EXPECT_LT(CompareText("a", "ab"), 0);
}

TEST(IntegerToText, PlainDecimal) {
  EXPECT_EQ(IntegerToText(99), "99");
  EXPECT_EQ(IntegerToText(-5), "-5");
  EXPECT_EQ(IntegerToText(0), "0");
  EXPECT_EQ(IntegerToText(INT_MIN), "-2147483648");
}

TEST(Bytes, TextStopsAtTheFirstZeroByte) {
  const unsigned char withZero[] = {'a', 'b', 0, 'c'};
  const unsigned char plain[] = {0xb1, 0xed, 'x'};
  EXPECT_EQ(BytesToText({withZero, 4}), "ab");
  EXPECT_EQ(BytesToText({plain, 3}),
            "\xb1\xed"
            "x");
  EXPECT_EQ(BytesToText({plain, 0}), "");
  EXPECT_EQ(TextToBytes("\xb1\xed"), std::string("\xb1\xed", 2));
}

}  // namespace
