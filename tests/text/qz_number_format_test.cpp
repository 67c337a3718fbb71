#include "framework/text/qz_number_format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>
#include <string>

namespace {

std::string c_format(const char* format, auto... args) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

constexpr u64 boundary_values[] = {0,           1,           0xFE,        0xFF,
                                   0xFFFE,      0xFFFF,      0xFFFFFE,    0xFFFFFF,
                                   0xFFFFFFFFu, 1ull << 32,  1ull << 63,  ~0ull};

TEST(FormatU64, HexWidthFollowsMagnitude) {
  struct row {
    u64 value;
    u32 width;
    const char* expected;
  } rows[] = {
      {0, 0, "0x00"},           {0x1F, 0, "0x1f"},         {254, 0, "0xfe"},
      {255, 0, "0x00ff"},       {65534, 0, "0xfffe"},      {65535, 0, "0x00ffff"},
      {0xFFFFFE, 0, "0xfffffe"}, {0xFFFFFF, 0, "0x00ffffff"}, {0x123456789, 0, "0x123456789"},
      {255, 2, "0xff"},         {1, 6, "0x000001"},        {0x1234, 2, "0x1234"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.expected);
    EXPECT_EQ(format_u64(r.value, true, r.width), r.expected);
  }
  EXPECT_EQ(format_u64(255, false, 2), "255");
  EXPECT_EQ(format_u64(255, false, 0), "255");
}

// The C library's printf is the reference for every integer form and for "%.2f".
TEST(NumberText, MatchesPrintf) {
  for (u64 value : boundary_values) {
    SCOPED_TRACE(value);
    const auto v = static_cast<unsigned long long>(value);
    EXPECT_EQ(format_u64(value, false, 0), c_format("%llu", v));
    EXPECT_EQ(format_u64(value, true, 8), c_format("0x%08llx", v));
    std::string text = "stale";
    EXPECT_TRUE(u64_to_string(value, text));
    EXPECT_EQ(text, c_format("%llu", v));
  }
  for (int value : {INT_MIN, -1, 0, 1, INT_MAX}) {
    std::string text = "stale";
    EXPECT_TRUE(int_to_string(value, text));
    EXPECT_EQ(text, c_format("%d", value));
  }
  const double inf = std::numeric_limits<double>::infinity();
  for (double value : {0.0, -0.0, 0.125, 2.675, -1.005, 4294967295.0, 9223372036854775808.0,
                       18446744073709551615.0, -1e300, 1e-3, inf, -inf,
                       std::numeric_limits<double>::quiet_NaN()}) {
    SCOPED_TRACE(value);
    EXPECT_EQ(format_fixed2(value), c_format("%.2f", value));
  }
}

TEST(ReformatNumberText, ReadsThenFormats) {
  struct row {
    const char* text;
    bool hex;
    const char* expected;
  } rows[] = {
      {"0x1f", true, "0x1f"}, {"300", true, "0x012c"}, {"0x1f", false, "31"},
      {"12 ", true, "NaN"},   // parse_u64 refuses text after the number
      {"", true, "NaN"},      {"   ", false, "NaN"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    EXPECT_EQ(reformat_number_text(r.text, r.hex, 0), r.expected);
  }
}

TEST(NumberStreams, PrefixFillAndWidth) {
  std::ostringstream hex_out;
  const std::string prefix = prepare_number_stream(hex_out, true, 4);
  hex_out.write(prefix.data(), static_cast<std::streamsize>(prefix.size()));
  hex_out << 0x1F << "|" << 0x1F;
  EXPECT_EQ(hex_out.str(), "0x001f|1f");  // the width holds for one item only
  std::ostringstream dec_out;
  dec_out << std::hex;
  EXPECT_EQ(prepare_number_stream(dec_out, false, 5), "");
  dec_out << 42;
  EXPECT_EQ(dec_out.str(), "   42");

  std::ostringstream pair;
  write_hex_pair(pair, "size", 5);
  write_hex_pair(pair, nullptr, 6);
  EXPECT_EQ(pair.str(), "size: 0x05/0x05");
}

TEST(FormatDoubleTrimmed, SignCarryAndExponents) {
  const double inf = std::numeric_limits<double>::infinity();
  struct row {
    double value;
    u32 precision;
    const char* expected;
  } rows[] = {
      {3.25, 6, "3.25"},
      {3.0, 6, "3"},
      {0.5, 6, "0.5"},
      {12.345678, 3, "12.346"},
      {-3.25, 6, "-3.25"},       // the sign is kept, not wrapped into a huge unsigned number
      {-0.25, 6, "-0.25"},
      {3.999, 2, "4"},           // a fraction that rounds up carries
      {0.999, 2, "1"},
      {-0.999, 2, "-1"},
      {1.0000001, 6, "1.0000001"},  // an exponent in the fraction's own notation is spelt out
      {9223372036854775808.0, 6, "9223372036854775808"},
      {1e20, 6, "100000000000000000000"},
      {0.0, 6, "0"},
      {-0.0, 6, "0"},
      {inf, 6, "inf"},
      {-inf, 6, "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), 6, "nan"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.expected);
    std::string out = "stale";
    EXPECT_EQ(&format_double_trimmed(out, r.precision, r.value), &out);
    EXPECT_EQ(out, r.expected);
  }
}

TEST(RoundTo2Decimals, SinglePrecisionHalfUp) {
  // In double arithmetic the first two would give 2.67 and 1.00.
  EXPECT_DOUBLE_EQ(round_to_2_decimals(2.675), 2.68);
  EXPECT_DOUBLE_EQ(round_to_2_decimals(1.005), 1.01);
  EXPECT_DOUBLE_EQ(round_to_2_decimals(1.234), 1.23);
  EXPECT_DOUBLE_EQ(round_to_2_decimals(-1.234), -1.23);
}

}  // namespace
