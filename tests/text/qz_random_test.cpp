#include "framework/text/qz_random.h"

#include <gtest/gtest.h>

#include <bitset>
#include <functional>
#include <string>

namespace {

// Enough draws that a value range of 256 is covered with overwhelming probability.
constexpr int draws = 20000;

TEST(RandomByte, StaysInsideTheBoundsInEitherOrder) {
  struct bounds_case {
    const char* name;
    u8 a, b, lo, hi;
  };
  const bounds_case cases[] = {
      {"single value", 7, 7, 7, 7},
      {"reversed", 200, 100, 100, 200},
      {"in order", 48, 57, 48, 57},
      {"full range", 0, 255, 0, 255},
      {"top value", 255, 255, 255, 255},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::bitset<256> seen;
    for (int i = 0; i < draws; ++i) {
      const u8 v = random_byte(c.a, c.b);
      ASSERT_GE(v, c.lo);
      ASSERT_LE(v, c.hi);
      seen.set(v);
    }
    EXPECT_EQ(static_cast<size_t>(c.hi - c.lo + 1), seen.count()) << "every value is reachable";
  }
}

TEST(RandomU32, UsesAllFourBytes) {
  u32 ored = 0;
  u32 anded = ~0u;
  for (int i = 0; i < 200; ++i) {
    const u32 v = random_u32();
    ored |= v;
    anded &= v;
  }
  EXPECT_EQ(~0u, ored);
  EXPECT_EQ(0u, anded);
}

TEST(RandomStrings, LengthAndAlphabet) {
  struct string_case {
    const char* name;
    std::function<std::string(int)> make;
    bool (*allowed)(char);
  };
  const string_case cases[] = {
      {"printable", random_printable_string, [](char c) { return c >= 33 && c <= 126; }},
      {"hex", random_hex_string,
       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }},
      {"alnum", random_alnum_string,
       [](char c) {
         return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
       }},
      {"upper", random_upper_string, [](char c) { return c >= 'A' && c <= 'Z'; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(c.make(0).empty());
    EXPECT_TRUE(c.make(-5).empty());
    const std::string text = c.make(4096);
    ASSERT_EQ(4096u, text.size());
    for (char ch : text) ASSERT_TRUE(c.allowed(ch)) << "unexpected character " << int(ch);
  }
}

TEST(RandomDigitString, NeverStartsWithZeroAndHasAtLeastOneDigit) {
  for (int n : {-3, 0, 1}) {
    const std::string text = random_digit_string(n);
    ASSERT_EQ(1u, text.size()) << n;
    EXPECT_TRUE(text[0] >= '1' && text[0] <= '9');
  }
  bool saw_zero = false;
  for (int i = 0; i < 500; ++i) {
    const std::string text = random_digit_string(4);
    ASSERT_EQ(4u, text.size());
    ASSERT_NE('0', text[0]);
    for (char ch : text) ASSERT_TRUE(ch >= '0' && ch <= '9');
    saw_zero = saw_zero || text.find('0') != std::string::npos;
  }
  EXPECT_TRUE(saw_zero) << "later digits may be 0";
}

}  // namespace
