#include "framework/text/qz_varint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

TEST(DecodeVarint, LittleEndianInto32Bits) {
  struct case_row {
    const char* name;
    std::vector<u8> data;
    u32 value;
    u32 used;
  };
  const case_row cases[] = {
      {"150", {0x96, 0x01}, 150, 2},
      {"127", {0x7F}, 127, 1},
      {"zero", {0x00}, 0, 1},
      {"stops at the first clear byte", {0x05, 0x06}, 5, 1},
      {"largest u32", {0xFF, 0xFF, 0xFF, 0xFF, 0x0F}, 0xFFFFFFFFu, 5},
      {"fifth group above bit 31 dropped", {0x80, 0x80, 0x80, 0x80, 0x7F}, 0xF0000000u, 5},
      {"groups past the fifth byte read but ignored", {0x81, 0x80, 0x80, 0x80, 0x80, 0x80, 0x7F},
       1, 7},
      {"still continuing at the end", {0x80, 0x80}, 0, 0},
      {"empty", {}, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    u32 value = 12345;
    EXPECT_EQ(c.used, decode_varint(value, c.data.empty() ? nullptr : c.data.data(),
                                    static_cast<u32>(c.data.size())));
    EXPECT_EQ(c.value, value);
  }
  // A long run of continuation bytes must neither overflow a shift nor read past length.
  const std::vector<u8> long_run(64, 0x80);
  u32 value = 7;
  EXPECT_EQ(0u, decode_varint(value, long_run.data(), 64));
  EXPECT_EQ(0u, value);
  const u8 one = 0x01;
  EXPECT_EQ(0u, decode_varint(value, &one, 0));
}

struct varint64_case {
  const char* name;
  std::vector<u8> data;
  u64 le;
  u64 be;
};

TEST(DecodeVarint64, BothByteOrders) {
  const varint64_case cases[] = {
      {"one byte", {0x05}, 5, 5},
      {"two bytes", {0x81, 0x00}, 1, 128},
      {"80 01", {0x80, 0x01}, 128, 1},
      {"continuation set at the end", {0x81}, 1, 1},
      {"stops at the first clear byte", {0x01, 0xFF}, 1, 1},
      {"nine FF", std::vector<u8>(9, 0xFF), ~u64{0}, ~u64{0}},
      {"ninth byte whole", {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01}, u64{1} << 56,
       1},
      {"tenth byte never read", {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x7F},
       u64{0x80} << 56, 0x80},
      {"eight bytes end without a ninth",
       {0x81, 0x81, 0x81, 0x81, 0x81, 0x81, 0x81, 0x81},
       0x0002040810204081ull, 0x0002040810204081ull},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const i32 length = static_cast<i32>(c.data.size());
    u64 value = 99;
    EXPECT_TRUE(decode_varint_le(value, c.data.data(), length));
    EXPECT_EQ(c.le, value);
    value = 99;
    EXPECT_TRUE(decode_varint_be(value, c.data.data(), length));
    EXPECT_EQ(c.be, value);
  }
  const u8 byte = 1;
  for (i32 length : {0, -1}) {
    u64 value = 99;
    EXPECT_FALSE(decode_varint_le(value, &byte, length));
    EXPECT_EQ(0u, value);
    value = 99;
    EXPECT_FALSE(decode_varint_be(value, &byte, length));
    EXPECT_EQ(0u, value);
  }
  u64 value = 99;
  EXPECT_FALSE(decode_varint_be(value, nullptr, 4));
  EXPECT_EQ(0u, value);
}

TEST(DecodeIeeeFloat, BigEndianSingleAndDouble) {
  struct case_row {
    const char* name;
    std::vector<u8> bytes;
    double expected;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const case_row cases[] = {
      {"1.0f", {0x3F, 0x80, 0x00, 0x00}, 1.0},
      {"-2.0", {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, -2.0},
      {"0.0f", {0x00, 0x00, 0x00, 0x00}, 0.0},
      {"+inf f", {0x7F, 0x80, 0x00, 0x00}, inf},
      {"-inf", {0xFF, 0xF0, 0, 0, 0, 0, 0, 0}, -inf},
      {"smallest subnormal f", {0x00, 0x00, 0x00, 0x01}, std::ldexp(1.0, -149)},
      {"0.1", {0x3F, 0xB9, 0x99, 0x99, 0x99, 0x99, 0x99, 0x9A}, 0.1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    double value = 7;
    EXPECT_TRUE(decode_ieee_float(value, c.bytes));
    EXPECT_EQ(c.expected, value);
  }
  double value = 7;
  EXPECT_TRUE(decode_ieee_float(value, {0x7F, 0xC0, 0x00, 0x00}));
  EXPECT_TRUE(std::isnan(value));
  value = 7;
  EXPECT_TRUE(decode_ieee_float(value, {0x80, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(value == 0.0 && std::signbit(value)) << "negative zero";
  for (size_t size : std::initializer_list<size_t>{0, 3, 5, 9}) {
    value = 7;
    EXPECT_FALSE(decode_ieee_float(value, std::vector<u8>(size, 0x3F)));
    EXPECT_EQ(7.0, value);
  }
}

TEST(BitstringToBytes, GroupsOfEightFirstCharacterHighBit) {
  struct case_row {
    const char* name;
    std::string bits;
    std::vector<u8> expected;
  };
  const case_row cases[] = {
      {"AB", "0100000101000010", {0x41, 0x42}},
      {"other characters are zero", "1x000001", {0x81}},
      {"empty", "", {}},
      {"short last group fills high bits", "111111111", {0xFF, 0x80}},
      {"short only group", "101", {0xA0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<u8> out = {9, 9};
    EXPECT_TRUE(bitstring_to_bytes(out, c.bits));
    EXPECT_EQ(c.expected, out);
  }
}

}  // namespace
