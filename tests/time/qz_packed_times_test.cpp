#include "framework/time/qz_packed_times.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr u64 T = 133500000000000000ULL;  // a FILETIME of 2024

std::vector<u8> encode(const std::vector<u64>& times, bool milliseconds) {
  std::vector<u8> out;
  const u16 n = encode_packed_times(times, out, milliseconds);
  EXPECT_EQ(n, out.size());
  return out;
}

TEST(PackedTimes, RecordLayout) {
  struct Case {
    const char* name;
    std::vector<u64> times;
    bool milliseconds;
    u8 header;
    u32 width;
  };
  const Case cases[] = {
      {"one time", {T}, false, 0x00, 1},
      {"one time, ms", {T}, true, 0x40, 1},
      {"300 ticks need two bytes", {T, T - 100, T - 300}, false, 0x02, 2},
      {"base at index 1", {T - 5, T}, false, 0x09, 1},
      {"2^16 ticks need four", {T, T - 65536}, false, 0x01, 4},
      {"2^32 ticks need six", {T, T - (1ULL << 32)}, false, 0x01, 6},
      {"a zero needs eight", {0, T}, false, 0x09, 8},
      {"eight times, base last", {T - 7, T - 6, T - 5, T - 4, T - 3, T - 2, T - 1, T}, false, 0x3F, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<u8> record = encode(c.times, c.milliseconds);
    ASSERT_EQ(record.size(), 9 + (c.times.size() - 1) * c.width);
    EXPECT_EQ(record[0], c.header);
    EXPECT_EQ(record[8] >> 4, c.width - 1);
    u64 base = 0;
    for (int i = 7; i >= 0; --i) base = (base << 8) | record[1 + i];
    EXPECT_EQ(base & ((1ULL << 60) - 1), T);
  }
  // Little-endian distances: 100 then 300.
  const std::vector<u8> record = encode({T, T - 100, T - 300}, false);
  EXPECT_EQ(std::vector<u8>(record.begin() + 9, record.end()), (std::vector<u8>{100, 0, 0x2C, 0x01}));
}

TEST(PackedTimes, RoundTrips) {
  struct Case {
    const char* name;
    std::vector<u64> times;
    bool milliseconds;
    std::vector<u64> expected;
  };
  const Case cases[] = {
      {"three close", {T, T - 100, T - 300}, false, {T, T - 100, T - 300}},
      {"base in the middle", {T - 9, T, T - 70000}, false, {T - 9, T, T - 70000}},
      {"six-byte distances", {T, T - (1ULL << 40) - 3}, false, {T, T - (1ULL << 40) - 3}},
      {"zero without ms", {T, 0, T - 1}, false, {T, 0, T - 1}},
      {"zero with ms keeps whole ms", {T, 0}, true, {T, T - (T / 10000) * 10000}},
      {"15000 ticks truncate to 1 ms", {T, T - 15000}, true, {T, T - 10000}},
      {"equal times", {T, T, T}, false, {T, T, T}},
      {"all zero", {0, 0}, false, {0, 0}},
      {"largest base", {(1ULL << 60) - 1, 5}, false, {(1ULL << 60) - 1, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<u8> record = encode(c.times, c.milliseconds);
    record.push_back(0xEE);  // a following record is not read
    std::vector<u64> decoded{1, 2};
    EXPECT_EQ(decode_packed_times(record.data(), u32(record.size()), decoded), record.size() - 1);
    EXPECT_EQ(decoded, c.expected);
  }
}

TEST(PackedTimes, EncoderRefuses) {
  struct Case {
    const char* name;
    std::vector<u64> times;
  };
  const Case cases[] = {
      {"none", {}},
      {"nine", std::vector<u64>(9, T)},
      {"top bit", {T, 0x8000000000000000ULL}},
      {"beyond the 60-bit base", {1ULL << 60, T}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<u8> out{7};
    EXPECT_EQ(encode_packed_times(c.times, out, false), 0);
    EXPECT_EQ(out, std::vector<u8>{7});
  }
}

// Every cut of a record is refused without reading past the given size (the sanitizer build
// sees any read beyond the copy).
TEST(PackedTimes, TruncatedRecordsAreRefused) {
  const std::vector<u8> record = encode({T, T - 1, T - (1ULL << 50)}, false);
  ASSERT_EQ(record.size(), 9u + 2 * 8);
  for (u32 size = 0; size < record.size(); ++size) {
    SCOPED_TRACE(size);
    const std::vector<u8> cut(record.begin(), record.begin() + size);
    std::vector<u64> decoded{1};
    EXPECT_EQ(decode_packed_times(size ? cut.data() : nullptr, size, decoded), 0u);
    EXPECT_TRUE(decoded.empty());
  }
  std::vector<u64> decoded;
  EXPECT_EQ(decode_packed_times(nullptr, 100, decoded), 0u);
}

TEST(PackedTimes, ForeignRecordsAreRefused) {
  const std::vector<u8> good = encode({T, T - 1}, false);
  struct Case {
    const char* name;
    std::size_t offset;
    u8 value;
  };
  const Case cases[] = {
      {"width code 2", 8, u8(0x20 | (good[8] & 0x0F))},
      {"width code 4", 8, u8(0x40 | (good[8] & 0x0F))},
      {"width code 6", 8, u8(0x60 | (good[8] & 0x0F))},
      {"base word bit 63", 8, u8(0x80 | good[8])},
      {"header bit 7", 0, 0x81},
      {"base index beyond the count", 0, 0x11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<u8> record = good;
    record.resize(64, 0);
    record[c.offset] = c.value;
    std::vector<u64> decoded;
    EXPECT_EQ(decode_packed_times(record.data(), u32(record.size()), decoded), 0u);
    EXPECT_TRUE(decoded.empty());
  }
  // A distance above the base would wrap into a far future time.
  std::vector<u8> record = good;
  record[1] = 3;
  for (int i = 2; i < 8; ++i) record[u32(i)] = 0;
  record[8] &= 0xF0;
  record[9] = 200;
  std::vector<u64> decoded;
  EXPECT_EQ(decode_packed_times(record.data(), u32(record.size()), decoded), 0u);
  EXPECT_TRUE(decoded.empty());
}

}  // namespace
