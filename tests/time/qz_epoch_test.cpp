#include "framework/time/qz_epoch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace {

constexpr u64 E = 116444736000000000ULL;

struct conversion_row {
  const char* name;
  std::function<bool(u64&)> convert;
  bool ok;
  u64 want;
};

void check_rows(const std::vector<conversion_row>& rows) {
  for (const conversion_row& r : rows) {
    SCOPED_TRACE(r.name);
    u64 out = 0x1234;
    EXPECT_EQ(r.convert(out), r.ok);
    EXPECT_EQ(out, r.want);
  }
}

TEST(EpochConversions, EncodingsToFiletime) {
  check_rows({
      {"chrome is ten times itself", [](u64& o) { return chrome_to_filetime(13300000000000000, o); }, true,
       133000000000000000},
      {"chrome beyond the range", [](u64& o) { return chrome_to_filetime(1ULL << 62, o); }, false, 0},
      {"firefox -1 us", [](u64& o) { return unix_microseconds_to_filetime(-1, o); }, true, E - 10},
      {"firefox -1.5 s truncates toward zero", [](u64& o) { return unix_microseconds_to_filetime(-1500000, o); },
       true, E - 15000000},
      {"firefox before 1601", [](u64& o) { return unix_microseconds_to_filetime(-11644473600000001, o); }, false, 0},
      {"firefox beyond the range", [](u64& o) { return unix_microseconds_to_filetime(INT64_MAX, o); }, false, 0},
      {"unix seconds", [](u64& o) { return unix_seconds_to_filetime(1, o); }, true, E + 10000000},
      // E + s * 10^7 wraps past 2^64 here and would land in 2001.
      {"unix seconds that would wrap", [](u64& o) { return unix_seconds_to_filetime(1845652714571, o); }, false, 0},
      {"c# ticks at 1601", [](u64& o) { return cs_ticks_to_filetime(504911232000000000, o); }, true, 0},
      {"c# ticks before 1601", [](u64& o) { return cs_ticks_to_filetime(504911231999999999, o); }, false, 0},
      {"cocoa 2^32 counts nanoseconds", [](u64& o) { return cocoa_to_filetime(u64(1) << 32, o); }, true,
       126227808000000000 + 40000000 + 2949672},
      {"cocoa 2^32 - 1 counts seconds", [](u64& o) { return cocoa_to_filetime((u64(1) << 32) - 1, o); }, true,
       126227808000000000 + 42949672950000000},
      {"cocoa double with fraction", [](u64& o) { return cocoa_to_filetime(o, 1.5); }, true,
       126227808000000000 + 15000000},
      {"cocoa double before 2001", [](u64& o) { return cocoa_to_filetime(o, -0.5); }, true,
       126227808000000000 - 5000000},
      {"cocoa NaN", [](u64& o) { return cocoa_to_filetime(o, std::nan("")); }, false, 0},
      {"cocoa double far out", [](u64& o) { return cocoa_to_filetime(o, -1e20); }, false, 0},
      {"VHD 0 is 2000-01-01", [](u64& o) { return vhd_seconds_to_filetime(0, o); }, true, 125911584000000000},
      {"snowflake below 2^22 is 2015-01-01", [](u64& o) { return snowflake_to_filetime((1 << 22) - 1, o); }, true,
       130645440000000000},
      {"snowflake 1000 ms", [](u64& o) { return snowflake_to_filetime(i64(1000) << 22, o); }, true,
       130645440000000000 + 10000000},
      {"negative snowflake is before 2015", [](u64& o) { return snowflake_to_filetime(-(i64(1000) << 22), o); },
       true, 130645440000000000 - 10000000},
  });
}

TEST(EpochConversions, ToUnixSeconds) {
  check_rows({
      {"filetime", [](u64& o) { return filetime_to_unix_seconds(E + 25000000, o); }, true, 2},
      {"filetime before 1970 wraps", [](u64& o) { return filetime_to_unix_seconds(E - 10000000, o); }, true,
       (u64(0) - 10000000) / 10000000},
      {"filetime top bit", [](u64& o) { return filetime_to_unix_seconds(1ULL << 63, o); }, false, 0x1234},
      {"chrome", [](u64& o) { return chrome_to_unix_seconds(E / 10 + 3000000, o); }, true, 3},
      {"chrome top bit", [](u64& o) { return chrome_to_unix_seconds(1ULL << 60, o); }, false, 0x1234},
      // value * 10 wraps to a small number here.
      {"chrome that would wrap", [](u64& o) { return chrome_to_unix_seconds(0x199999999999999AULL, o); }, false,
       0x1234},
      {"firefox", [](u64& o) { return firefox_to_unix_seconds(2500000, o); }, true, 2},
      {"firefox before 1601", [](u64& o) { return firefox_to_unix_seconds(INT64_MIN, o); }, false, 0x1234},
      {"firefox beyond the range", [](u64& o) { return firefox_to_unix_seconds(INT64_MAX, o); }, false, 0x1234},
      {"cocoa seconds", [](u64& o) { return cocoa_to_unix_seconds(u64(10), o); }, true, 978307210},
      {"cocoa nanoseconds", [](u64& o) { return cocoa_to_unix_seconds(u64(5000000000), o); }, true, 978307205},
      {"cocoa double", [](u64& o) { return cocoa_to_unix_seconds(o, -100.7); }, true, 978307100},
      {"cocoa double before 1970", [](u64& o) { return cocoa_to_unix_seconds(o, -1e9); }, false, 0x1234},
  });
}

TEST(EpochConversions, FromFiletime) {
  EXPECT_EQ(filetime_to_chrome(133000000000000000), 13300000000000000u);
  EXPECT_EQ(filetime_to_vhd_seconds(125911584000000000), 0u);
  EXPECT_EQ(filetime_to_vhd_seconds(125911584000000000 + 70000000), 7u);
  EXPECT_EQ(filetime_to_snowflake_ms(130645440000000000 + 10000000), 1000u);
  // The count is not cut to 32 bits: 2^32 ms is about 50 days.
  EXPECT_EQ(filetime_to_snowflake_ms(130645440000000000 + 100 * 864000000000ULL), 8640000000u);
  EXPECT_EQ(unix_epoch_offset_times_ten(E + 7), 70u);
}

TEST(EpochConversions, RecordSetters) {
  FILETIME rec;
  EXPECT_TRUE(filetime_from_u64(0x0123456789ABCDEFULL, rec));
  EXPECT_EQ(rec.dwLowDateTime, 0x89ABCDEFu);
  EXPECT_EQ(rec.dwHighDateTime, 0x01234567u);
  EXPECT_TRUE(filetime_from_value(rec, 1, 8));
  EXPECT_EQ(rec.value(), E + 10000000);
  EXPECT_TRUE(filetime_from_value(rec, 42, 1));
  EXPECT_EQ(rec.value(), 42u);
  EXPECT_FALSE(filetime_from_value(rec, 7, 16));
  EXPECT_EQ(rec.value(), 42u) << "other kinds leave the record";
  EXPECT_FALSE(filetime_from_unix_seconds(1845652714571, rec));
  EXPECT_EQ(rec.value(), 42u);
}

TEST(EpochConversions, Units) {
  EXPECT_EQ(ticks_to_milliseconds(25000), 2u);
  EXPECT_EQ(milliseconds_to_ticks(2), 20000u);
  EXPECT_EQ(ticks_to_seconds(29999999), 2u);
  EXPECT_EQ(seconds_to_ticks(3), 30000000u);
  EXPECT_EQ(ticks_to_minutes(1200000000), 2u);
  EXPECT_EQ(minutes_to_ticks(2), 1200000000u);
  EXPECT_EQ(filetime_add_milliseconds(E, 1500), E + 15000000);
}

TEST(FiletimeDifference, AbsoluteAndRefusesNoTime) {
  struct row {
    const char* name;
    i64 a;
    u64 b;
    bool ok;
    u64 ticks;
  };
  const row rows[] = {
      {"10 and 3", 10, 3, true, 7},
      {"3 and 10", 3, 10, true, 7},
      {"first negative", -1, 3, false, 0},
      {"second with top bit", 3, 1ULL << 63, false, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    u64 out = 0;
    EXPECT_EQ(filetime_difference(r.a, r.b, out), r.ok);
    EXPECT_EQ(out, r.ticks);
    out = 99;
    EXPECT_EQ(filetime_difference_us(r.a, r.b, out), r.ok);
    EXPECT_EQ(out, 0u) << "zeroed first";
  }
}

TEST(FiletimeDifference, UnitsAreExactForLongSpans) {
  // 2^58 * 25 - 1 ticks: in double precision it rounds up to a multiple of 10.
  const u64 b = 7205759403792793599ULL;
  u64 out = 0;
  ASSERT_TRUE(filetime_difference_us(0, b, out));
  EXPECT_EQ(out, 720575940379279359u);
  ASSERT_TRUE(filetime_difference_ms(0, b, out));
  EXPECT_EQ(out, b / 10000);
  ASSERT_TRUE(filetime_difference_seconds(5, 5 + 30000000, out));
  EXPECT_EQ(out, 3u);
}

TEST(FiletimeDifference, SecondsPairNeeds32Bits) {
  std::pair<u32, u32> pair{7, 7};
  ASSERT_TRUE(filetime_difference_seconds_pair(E, E + 40000000, pair));
  EXPECT_EQ(pair, std::make_pair(4u, 4u));
  // 200 years do not fit 32 bits of seconds.
  EXPECT_FALSE(filetime_difference_seconds_pair(0, 200 * 365 * 864000000000ULL, pair));
  EXPECT_EQ(pair, std::make_pair(0u, 0u));
  EXPECT_FALSE(filetime_difference_seconds_pair(-1, 0, pair));
}

TEST(NextPowerOfTwo, Values) {
  struct row {
    u64 v, want;
  };
  for (const row& r : {row{0, 1}, row{1, 1}, row{5, 8}, row{8, 8}, row{9, 16}, row{1ULL << 63, 1ULL << 63},
                       row{(1ULL << 63) + 1, 0}, row{~0ULL, 0}}) {
    EXPECT_EQ(next_power_of_two(r.v), r.want) << r.v;
  }
  EXPECT_TRUE(time_check_ok());
}

}  // namespace
