#include "framework/text/qz_number_parse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr u32 untouched32 = 0xDEADBEEF;

struct u32_case {
  const char* name;
  const char* text;  // may be null
  bool ok;
  u32 value;
};

// Runs the cases through the C-string reader and its std::string wrapper.
void check_u32_cases(const std::vector<u32_case>& cases, bool (*read)(const char*, u32&),
                     bool (*read_string)(const std::string&, u32&)) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    u32 value = untouched32;
    EXPECT_EQ(c.ok, read(c.text, value));
    EXPECT_EQ(c.value, value);
    if (c.text) {
      value = untouched32;
      EXPECT_EQ(c.ok, read_string(c.text, value));
      EXPECT_EQ(c.value, value);
    }
  }
}

TEST(ParseNumber, PrefixesSignsLiteralsAndLimits) {
  const std::vector<u32_case> cases = {
      {"0x prefix", "0x1F", true, 31},
      {"upper X alone", "X1F", true, 31},
      {"lower x alone", "x1f", true, 31},
      {"second character x", "1x5", true, 5},
      {"octal", "o17", true, 15},
      {"upper O", "O17", true, 15},
      {"decimal", "42", true, 42},
      {"plus sign", "+7", true, 7},
      {"minus one is all ones", "-1", true, 0xFFFFFFFF},
      {"character literal", "'A'", true, 65},
      {"character literal of a blank", " ' ' ", true, 32},
      {"character literal too long", "'AB'", false, 0},
      {"word", "abc", false, 0},
      {"blanks before the prefix", "  0x10", true, 16},
      {"tabs and line ends around", "\t42\r\n", true, 42},
      {"low 32 bits", "4294967296", true, 0},
      {"hex low 32 bits", "0x1FFFFFFFF", true, 0xFFFFFFFF},
      {"beyond 64 bits reads all ones", "99999999999999999999999", true, 0xFFFFFFFF},
      {"trailing garbage ignored", "12abc", true, 12},
      {"prefix without digits", "0x", true, 0},
      {"sign without digits", "-", true, 0},
      {"empty", "", false, 0},
      {"blanks only", "   ", false, 0},
      {"null", nullptr, false, 0},
  };
  check_u32_cases(cases, parse_number, parse_number_string);
}

TEST(ParseU32, RadixLetterAnywhere) {
  const std::vector<u32_case> cases = {
      {"hex after the x", "12x5", true, 5},
      {"0x", "0x1f", true, 31},
      {"octal after the o", "O17", true, 15},
      {"word holding an o", "word", true, 0},
      {"decimal", "  +8  ", true, 8},
      {"minus one", "-1", true, 0xFFFFFFFF},
      {"low 32 bits", "4294967296", true, 0},
      {"far beyond 64 bits stays defined", "99999999999999999999", true, 0xFFFFFFFF},
      {"far below", "-99999999999999999999", true, 0},
      {"trailing garbage", "42 apples", true, 42},
      {"no form", "abc", false, untouched32},
      {"blanks only", "   ", false, untouched32},
      {"empty", "", false, untouched32},
      {"null", nullptr, false, untouched32},
  };
  check_u32_cases(cases, parse_u32, parse_u32_string);
}

TEST(ParseU64, StrictAboutBlanksAndLength) {
  struct u64_case {
    const char* name;
    const char* text;
    bool ok;
    u64 value;
  };
  const u64 max = ~u64{0};
  const u64_case cases[] = {
      {"decimal", "12", true, 12},
      {"leading blanks", "  12", true, 12},
      {"trailing blank", "12 ", false, 0},
      {"blank inside", "1 2", false, 0},
      {"0x", "0xff", true, 255},
      {"upper X alone", "X10", true, 16},
      {"16 hex digits", "0xFFFFFFFFFFFFFFFF", true, max},
      {"17 hex digits", "0x1FFFFFFFFFFFFFFFF", false, 0},
      {"octal", "o777", true, 511},
      {"22 octal digits", "o1777777777777777777777", true, max},
      {"22 octal digits beyond 64 bits", "o2000000000000000000000", true, 0},
      {"23 octal digits", "o00000000000000000000001", false, 0},
      {"largest decimal", "18446744073709551615", true, max},
      {"one beyond", "18446744073709551616", true, 0},
      {"21 decimal characters", "000000000000000000001", false, 0},
      {"two-character x takes the decimal path", "x1", true, 0},
      {"trailing garbage", "12abc", true, 12},
      {"hex trailing garbage", "0x1g", true, 1},
      {"plus sign", "+5", true, 5},
      {"minus sign reads nothing, never wraps", "-5", true, 0},
      {"30 characters with blanks", "          12345678901234567890", true,
       12345678901234567890ull},
      {"31 characters with blanks", "           12345678901234567890", false, 0},
      {"many blanks then a digit", "                                        1", false, 0},
      {"blanks only", "   ", false, 0},
      {"empty", "", false, 0},
      {"null", nullptr, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    u64 value = 77;
    EXPECT_EQ(c.ok, parse_u64(c.text, value));
    EXPECT_EQ(c.value, value);
    if (c.text) {
      value = 77;
      EXPECT_EQ(c.ok, parse_u64_string(c.text, value));
      EXPECT_EQ(c.value, value);
    }
  }
}

TEST(ParseLong, SignedWithRadixLetterAnywhere) {
  struct long_case {
    const char* name;
    std::string text;
    bool ok;
    i64 value;
  };
  const i64 untouched = 555;
  const long_case cases[] = {
      {"negative decimal", "-12", true, -12},
      {"sign before the x is not read", "-0x10", true, 16},
      {"octal", " O17 ", true, 15},
      {"largest hex", "0x7fffffffffffffff", true, std::numeric_limits<i64>::max()},
      {"saturates above", "99999999999999999999", true, std::numeric_limits<i64>::max()},
      {"saturates below", "-99999999999999999999", true, std::numeric_limits<i64>::min()},
      {"word with an x", "box", true, 0},
      {"no form", "abc", false, untouched},
      {"blanks only", "  ", false, untouched},
      {"empty", "", false, untouched},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    i64 value = untouched;
    EXPECT_EQ(c.ok, parse_long(c.text, value));
    EXPECT_EQ(c.value, value);
    value = untouched;
    EXPECT_EQ(c.ok, parse_long_cstr(c.text.c_str(), value));
    EXPECT_EQ(c.value, value);
  }
  i64 value = untouched;
  EXPECT_FALSE(parse_long_cstr(nullptr, value));
  EXPECT_EQ(untouched, value);
}

TEST(ParseFloatingPoint, EmptyTextDiffersBetweenFloatAndDouble) {
  float f = 9;
  double d = 9;
  EXPECT_TRUE(parse_float("", f));
  EXPECT_EQ(0.0f, f);
  EXPECT_FALSE(parse_double("", d));
  EXPECT_EQ(9.0, d);
  EXPECT_TRUE(parse_double("2.5e3x", d));
  EXPECT_EQ(2500.0, d);
  EXPECT_TRUE(parse_float("-1.5", f));
  EXPECT_EQ(-1.5f, f);
  EXPECT_TRUE(parse_double("abc", d));
  EXPECT_EQ(0.0, d);
  f = 9;
  d = 9;
  EXPECT_FALSE(parse_float(nullptr, f));
  EXPECT_FALSE(parse_double(nullptr, d));
  EXPECT_FALSE(parse_float_wcstr(nullptr, f));
  EXPECT_FALSE(parse_double_wcstr(nullptr, d));
  EXPECT_EQ(9.0f, f);
  EXPECT_EQ(9.0, d);
  EXPECT_TRUE(parse_float_wcstr(L"0.25", f));
  EXPECT_EQ(0.25f, f);
  EXPECT_FALSE(parse_double_wcstr(L"", d));
  EXPECT_TRUE(parse_double_wcstr(L"0.75", d));
  EXPECT_EQ(0.75, d);
}

TEST(ParseHexFloat, MantissaFractionAndBinaryExponent) {
  struct hex_case {
    const char* name;
    std::string text;
    bool ok;
    double value;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const hex_case cases[] = {
      {"fraction", "0x1.8", true, 1.5},
      {"negative", "-0x1.8", true, -1.5},
      {"negative exponent", "0x1p-1", true, 0.5},
      {"exponent", "0x1.8p3", true, 12},
      {"upper case", "0X1.8P3", true, 12},
      {"only a fraction", "0x.8", true, 0.5},
      {"trailing dot", "0x1.", true, 1},
      {"several fraction digits", "0x0.0c", true, 0.046875},
      {"empty exponent", "0x1p", true, 1},
      {"huge exponent", "0x1p99999999999", true, inf},
      {"huge negative exponent", "0x1p-99999999999", true, 0},
      {"bad digit", "0x1g", false, 0},
      {"second dot", "0x1.8.1", false, 0},
      {"no 0x", "1.8", false, 0},
      {"too short", "0x", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = c.text;
    double value = 9;
    EXPECT_EQ(c.ok, parse_hex_float(text, value));
    EXPECT_EQ(c.value, value);
  }
  std::string text = "-0X1.8P3";
  double value = 0;
  EXPECT_TRUE(parse_hex_float(text, value));
  EXPECT_EQ("1.8", text) << "the caller's text keeps the digits between 0x and the exponent";
}

TEST(StreamToU64, BaseTakenFromTheFlags) {
  struct stream_case {
    const char* name;
    std::string text;
    std::ios_base::fmtflags flags;
    u64 value;
  };
  const stream_case cases[] = {
      {"hex", "ff", std::ios_base::hex, 255},
      {"hex with other flags", "FF", std::ios_base::hex | std::ios_base::uppercase, 255},
      {"octal", "17", std::ios_base::oct, 15},
      {"decimal after blanks", "  42", std::ios_base::dec, 42},
      {"nothing to read", "zz", std::ios_base::hex, 0},
      {"beyond 64 bits", "18446744073709551616", std::ios_base::dec, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.value, stream_to_u64(c.text, c.flags));
    EXPECT_EQ(c.value, stream_to_u64_wide(std::wstring(c.text.begin(), c.text.end()), c.flags));
  }
}

TEST(ParseWideForms, NarrowPerCharacterOrThroughUtf8) {
  u32 value = untouched32;
  // U+0131 and U+0132 narrow to the bytes '1' and '2' per character.
  EXPECT_TRUE(parse_number_wide(L"\x0131\x0132", value));
  EXPECT_EQ(12u, value);
  EXPECT_TRUE(parse_number_wcstr(L" 0x1F", value));
  EXPECT_EQ(31u, value);
  value = untouched32;
  EXPECT_FALSE(parse_number_wcstr(nullptr, value));
  EXPECT_EQ(0u, value);
  // Through UTF-8 the same characters are letters of two bytes, not digits.
  EXPECT_FALSE(parse_number_wcstr(L"\x0131\x0132", value));

  value = untouched32;
  EXPECT_TRUE(parse_u32_wide(L"12x5", value));
  EXPECT_EQ(5u, value);
  value = untouched32;
  EXPECT_FALSE(parse_u32_wcstr(nullptr, value));
  EXPECT_EQ(untouched32, value);

  u64 big = 7;
  EXPECT_TRUE(parse_u64_wide(L"  0x10", big));
  EXPECT_EQ(16u, big);
  EXPECT_FALSE(parse_u64_wide(L"1 2", big));

  i64 signed_value = 0;
  EXPECT_TRUE(parse_long_wide(L"-12", signed_value));
  EXPECT_EQ(-12, signed_value);
}

}  // namespace
