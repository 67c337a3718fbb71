#include "framework/time/qz_time.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "framework/time/qz_keyname_filter.h"
#include "tests/time/scoped_tz.h"

namespace {

constexpr u64 E = 116444736000000000ULL;
constexpr u64 june_15_2015_noon = 130788432000000000ULL;

std::vector<u8> le_bytes(u64 value, int count) {
  std::vector<u8> out;
  for (int i = 0; i < count; ++i) out.push_back(u8(value >> (8 * i)));
  return out;
}

u64 bits_of(double value) {
  u64 bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

TEST(TimeValidity, SetFiletime) {
  scoped_tz tz("UTC0");
  struct row {
    const char* name;
    u64 filetime;
    bool valid;
    bool local_failed;
  };
  const row rows[] = {
      {"zero", 0, false, false},
      {"top bit", 0x8000000000000000ULL | june_15_2015_noon, false, false},
      {"last tick of the first second of 1970", E + 9999999, false, false},
      {"second second of 1970", E + 10000000, true, false},
      {"1950 has no local view", 110263680000000000, true, true},
      {"last second of 1899", 94354847990000000, false, true},
      {"1900-01-01", 94354848000000000, true, true},
      {"last second of 3000", 441796895990000000, true, false},
      {"3001-01-01", 441796896000000000, false, true},
      {"largest FILETIME", 0x7FFFFFFFFFFFFFFFULL, false, true},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    qz::time t;
    EXPECT_EQ(t.set_filetime(r.filetime), r.valid);
    EXPECT_EQ(t.valid, r.valid);
    EXPECT_EQ(t.local_failed, r.local_failed);
  }
  // West of Greenwich the first half hour of 3001 is still 3000 locally.
  scoped_tz west("EST5");
  qz::time t;
  EXPECT_TRUE(t.set_filetime(441796896000000000ULL + 18000000000ULL));
  EXPECT_EQ(t.year(), 3001u);
  EXPECT_EQ(t.local.tm_year, 1100);
}

TEST(TimeValidity, ViewsOfAValidValue) {
  scoped_tz tz("UTC0");
  const qz::time t(june_15_2015_noon + 1234567, u32(time_kind_filetime));
  ASSERT_TRUE(t.valid);
  EXPECT_EQ(t.unix_time, 1434369600u);
  EXPECT_EQ(t.filetime_low, u32(june_15_2015_noon + 1234567));
  EXPECT_EQ(t.filetime_high, u32((june_15_2015_noon + 1234567) >> 32));
  EXPECT_EQ(t.dos_date, (35 << 9) | (6 << 5) | 15);
  EXPECT_EQ(t.dos_time, 12 << 11);
  EXPECT_EQ(t.local.tm_year, 115);
  EXPECT_EQ(t.local.tm_hour, 12);
  EXPECT_EQ(t.year(), 2015u);
  EXPECT_EQ(t.month(), 6u);
  EXPECT_EQ(t.day(), 15u);
  EXPECT_EQ(t.hour(), 12u);
  EXPECT_EQ(t.minute(), 0u);
  EXPECT_EQ(t.second(), 0u);
  EXPECT_EQ(t.nanosecond(), 123456700u);

  const qz::time old(110263680000000000ULL, u32(time_kind_filetime));  // 1950
  EXPECT_GT(old.unix_time, 1ULL << 40) << "instants before 1970 wrap in the unix view";
  EXPECT_EQ(old.dos_date, 0) << "DOS words only for 1980..2037";
}

// Each kind to FILETIME at its epoch edges, and back to the raw value.
TEST(TimeKinds, ConversionBothWays) {
  struct row {
    const char* name;
    std::function<qz::time()> make;
    bool valid;
    u64 filetime;                 // checked when valid
    std::function<i64(u64)> back;  // FILETIME to raw value; null when none
    i64 raw;
  };
  const u64 cocoa = 126227808000000000ULL;
  const u64 hfs = 95616288000000000ULL;
  const u64 vhd = 125911584000000000ULL;
  const u64 snowflake = 130645440000000000ULL;
  const u64 ole = 94353120000000000ULL;
  auto seconds_from = [](u64 epoch) { return [epoch](u64 f) { return (i64(f) - i64(epoch)) / 10000000; }; };
  const row rows[] = {
      {"filetime", [] { return qz::time(june_15_2015_noon, 1); }, true, june_15_2015_noon,
       [](u64 f) { return i64(f); }, i64(june_15_2015_noon)},
      {"filetime 0", [] { return qz::time(u64(0), 1); }, false, 0, nullptr, 0},
      {"chrome", [] { return qz::time(june_15_2015_noon / 10, 2); }, true, june_15_2015_noon,
       [](u64 f) { return i64(f / 10); }, i64(june_15_2015_noon / 10)},
      // value * 10 wraps past 2^64 to 2015 here.
      {"chrome that would wrap", [] { return qz::time(u64(1857753250570955162ULL), 2); }, false, 0, nullptr, 0},
      {"firefox -1 us is valid 1969", [] { return qz::time(i64(-1), 4); }, true, E - 10,
       [](u64 f) { return (i64(f) - i64(E)) / 10; }, -1},
      {"unix 1", [] { return qz::time(u64(1), 8); }, true, E + 10000000, seconds_from(E), 1},
      {"unix 0", [] { return qz::time(u64(0), 8); }, false, 0, nullptr, 0},
      {"unix -5", [] { return qz::time(i64(-5), 8); }, false, 0, nullptr, 0},
      {"unix that would wrap onto 2001", [] { return qz::time(u64(1845652714571ULL), 8); }, false, 0, nullptr, 0},
      {"unix ms 999", [] { return qz::time(u64(999), 16); }, false, 0, nullptr, 0},
      {"unix ms 1000", [] { return qz::time(u64(1000), 16); }, true, E + 10000000,
       [](u64 f) { return (i64(f) - i64(E)) / 10000; }, 1000},
      {"unix ms 1001 keeps the millisecond", [] { return qz::time(u64(1001), 16); }, true, E + 10010000,
       [](u64 f) { return (i64(f) - i64(E)) / 10000; }, 1001},
      {"unix ms negative", [] { return qz::time(i64(-5000), 16); }, false, 0, nullptr, 0},
      {"ole days unsigned", [] { return qz::time(u64(2), 256); }, false, 0, nullptr, 0},
      {"ole 1899-12-30 is before 1900", [] { return qz::time(i64(0), 256); }, false, 0, nullptr, 0},
      {"ole 1900-01-01", [] { return qz::time(i64(2), 256); }, true, 94354848000000000ULL,
       [](u64 f) { return (i64(f) - i64(ole)) / 864000000000; }, 2},
      {"ole double 2.5", [] { return qz::time(2.5, 256); }, true, 94355280000000000ULL, nullptr, 0},
      {"ole far out", [] { return qz::time(i64(INT64_MAX / 2), 256); }, false, 0, nullptr, 0},
      {"VHD 0 is 2000-01-01", [] { return qz::time(u64(0), 2048); }, true, vhd, seconds_from(vhd), 0},
      {"VHD keeps 32 bits", [] { return qz::time(u64(0x100000005ULL), 2048); }, true, vhd + 50000000,
       seconds_from(vhd), 5},
      {"c# ticks unsigned", [] { return qz::time(u64(504911232000000000ULL + june_15_2015_noon), 32768); }, true,
       june_15_2015_noon, [](u64 f) { return i64(f + 504911232000000000ULL); },
       i64(504911232000000000ULL + june_15_2015_noon)},
      {"c# ticks signed", [] { return qz::time(i64(504911232000000000LL + 1), 32768); }, false, 0, nullptr, 0},
      {"snowflake 1000 ms", [] { return qz::time(u64(1000) << 22, 0x20000); }, true, snowflake + 10000000,
       [](u64 f) { return ((i64(f) - i64(snowflake)) / 10000) << 22; }, i64(1000) << 22},
      {"cocoa -1 s", [] { return qz::time(i64(-1), 0x40000); }, true, cocoa - 10000000, seconds_from(cocoa), -1},
      {"cocoa 2^32 counts nanoseconds", [] { return qz::time(u64(1) << 32, 0x40000); }, true,
       cocoa + 40000000 + 2949672, nullptr, 0},
      {"cocoa top bit counts nanoseconds", [] { return qz::time(~u64(0), 0x40000); }, true,
       cocoa + 18446744073ULL * 10000000 + 7095516, nullptr, 0},
      {"cocoa that would wrap", [] { return qz::time(i64(-1000000000000000LL), 0x40000); }, false, 0, nullptr, 0},
      {"cocoa double", [] { return qz::time(-0.25, 0x40000); }, true, cocoa - 2500000, nullptr, 0},
      {"hfs+ 0 is 1904-01-01", [] { return qz::time(u64(0), 0x80000); }, true, hfs, seconds_from(hfs), 0},
      {"hfs+ that would wrap", [] { return qz::time(u64(1) << 62, 0x80000); }, false, 0, nullptr, 0},
      {"double 1.5 s", [] { return qz::time(1.5, 8); }, true, E + 15000000, nullptr, 0},
      {"double 1.5 ms is in the first second", [] { return qz::time(1.5, 16); }, false, 0, nullptr, 0},
      {"double 2500.5 ms", [] { return qz::time(2500.5, 16); }, true, E + 25005000, nullptr, 0},
      {"double filetime has no rule", [] { return qz::time(1e17, 1); }, false, 0, nullptr, 0},
      {"ntp is no value kind", [] { return qz::time(june_15_2015_noon, 64); }, false, 0, nullptr, 0},
      {"no kind", [] { return qz::time(june_15_2015_noon, 3); }, false, 0, nullptr, 0},
  };
  scoped_tz tz("UTC0");
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const qz::time t = r.make();
    EXPECT_EQ(t.valid, r.valid);
    if (!r.valid) continue;
    EXPECT_EQ(t.filetime, r.filetime);
    if (r.back) {
      EXPECT_EQ(r.back(t.filetime), r.raw);
    }
  }
}

TEST(TimeKinds, PlainLiteralsPickARule) {
  EXPECT_TRUE(qz::time(5, 8).valid);
  EXPECT_FALSE(qz::time(-5, 8).valid);
  EXPECT_TRUE(qz::time(2, time_kind_ole).valid) << "int literal takes the signed rule";
  EXPECT_TRUE(qz::time(5u, 8u).valid);
  EXPECT_EQ(qz::time(june_15_2015_noon, time_kind_filetime).filetime, june_15_2015_noon);
  EXPECT_EQ(qz::time(june_15_2015_noon, 0.5).filetime, june_15_2015_noon);
  EXPECT_TRUE(qz::time(u32(7)).valid);
  EXPECT_FALSE(qz::time(u32(0)).valid);
}

TEST(TimeKinds, Names) {
  EXPECT_STREQ(time_kind_name(1), "filetime");
  EXPECT_STREQ(time_kind_name(16), "unix millisec time");
  EXPECT_STREQ(time_kind_name(1024), "system time");
  EXPECT_STREQ(time_kind_name(0x80000), "hfs+ time");
  EXPECT_STREQ(time_kind_name(8192), "");
  EXPECT_STREQ(time_kind_name(3), "");
}

TEST(TimeConstructors, DosPair) {
  scoped_tz tz("UTC0");
  dos_datetime dos;
  ASSERT_TRUE(filetime_to_dos_datetime(june_15_2015_noon + 20000000, dos));
  const qz::time t(dos, true);
  ASSERT_TRUE(t.valid);
  EXPECT_EQ(t.filetime, june_15_2015_noon + 20000000);
  struct row {
    const char* name;
    u16 date, time;
  };
  const u16 date = dos.date, time = dos.time;
  const row bad[] = {
      {"day 0", u16(date & ~31), time},
      {"month 0", u16(date & ~(15 << 5)), time},
      {"month 13", u16((date & ~(15 << 5)) | (13 << 5)), time},
      {"minute 60", date, u16((time & ~(63 << 5)) | (60 << 5))},
      {"hour 24", date, u16((time & 0x7FF) | (24 << 11))},
      {"second 60", date, u16((time & ~31) | 30)},
  };
  for (const row& r : bad) {
    const qz::time invalid(dos_datetime{r.date, r.time}, true);
    EXPECT_FALSE(invalid.valid) << r.name;
    EXPECT_EQ(invalid.filetime, 0u) << r.name;
  }
}

TEST(TimeConstructors, SystemtimeTmTimevalAndFraction) {
  scoped_tz tz("UTC0");
  const SYSTEMTIME st(june_15_2015_noon + 1230000);
  EXPECT_EQ(qz::time(st).filetime, june_15_2015_noon + 1230000);
  EXPECT_FALSE(qz::time(static_cast<const struct tm*>(nullptr), true).valid);
  EXPECT_FALSE(qz::time(static_cast<const FILETIME*>(nullptr)).valid);
  FILETIME rec;
  rec.dwLowDateTime = u32(june_15_2015_noon);
  rec.dwHighDateTime = u32(june_15_2015_noon >> 32);
  EXPECT_EQ(qz::time(&rec).filetime, june_15_2015_noon);

  EXPECT_EQ(qz::time(unix_timeval{1, 500000}, 8).filetime, E + 15000000);
  EXPECT_FALSE(qz::time(unix_timeval{0, 500000}, 8).valid);
  EXPECT_FALSE(qz::time(unix_timeval{5, 0}, 16).valid);

  const qz::time frac(E + 1000000000, 5000000.5);
  ASSERT_TRUE(frac.valid);
  EXPECT_EQ(frac.filetime, E + 1005000000);
  EXPECT_EQ(frac.utc.wMilliseconds, 500);
  EXPECT_EQ(frac.utc.nanoseconds, 500000050u);
  EXPECT_EQ(frac.utc.picoseconds, 500000050000u);
  EXPECT_FALSE(qz::time(u64(0), 5.0).valid);
  EXPECT_FALSE(qz::time(E + 1000000000, -1.0).valid);
}

TEST(TimeConstructors, PerformanceCounter) {
  scoped_tz tz("UTC0");
  // 2.5 million counts a second: 7.5 million counts are 3 seconds.
  EXPECT_EQ(qz::time(june_15_2015_noon, 1000, 1000 + 7500000, 2500000, 4096).filetime, june_15_2015_noon + 30000000);
  // 25 counts a microsecond.
  EXPECT_EQ(qz::time(june_15_2015_noon, 0, 75000000, 25, 8192).filetime, june_15_2015_noon + 30000000);
  EXPECT_EQ(qz::time(june_15_2015_noon, 7500000, 0, 2500000, 4096).filetime, june_15_2015_noon - 30000000);
  // Without a frequency or a counter kind there is no scale; the base time
  // alone is no answer.
  EXPECT_FALSE(qz::time(june_15_2015_noon, 1000, 2000, 0, 4096).valid);
  EXPECT_FALSE(qz::time(june_15_2015_noon, 1000, 2000, 2500000, 1).valid);
}

TEST(TimeSetFromTm, LocalFieldsAreConvertedToUtc) {
  struct row {
    const char* zone;
    int local_hour, local_minute;
    u64 utc_filetime;
  };
  // 2024-06-01 local clock readings and the UTC instant each stands for.
  const row rows[] = {
      {"UTC0", 10, 0, 133617096000000000ULL},
      {"IST-5:30", 10, 0, 133616898000000000ULL},
      {"NST3:30", 10, 0, 133617222000000000ULL},
      {"EST5EDT,M3.2.0,M11.1.0", 10, 0, 133617276000000000ULL},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.zone);
    scoped_tz tz(r.zone);
    struct tm tm {};
    tm.tm_year = 124;
    tm.tm_mon = 5;
    tm.tm_mday = 1;
    tm.tm_hour = r.local_hour;
    tm.tm_min = r.local_minute;
    qz::time t;
    ASSERT_TRUE(t.set_from_tm(tm, 250, false));
    EXPECT_EQ(t.filetime, r.utc_filetime + 2500000);
    EXPECT_EQ(t.local.tm_hour, r.local_hour) << "the local view gives back the fields";
    EXPECT_EQ(t.local.tm_min, r.local_minute);

    const qz::time from_utc(&tm, true);
    EXPECT_EQ(from_utc.filetime, 133617096000000000ULL);
  }
  // Local 1970-01-01 02:00 is 1969-12-31 20:30 UTC east of Greenwich.
  struct tm early {};
  early.tm_year = 70;
  early.tm_mday = 1;
  early.tm_hour = 2;
  scoped_tz east("IST-5:30");
  qz::time t;
  EXPECT_FALSE(t.set_from_tm(early, 0, false));
  scoped_tz west("EST5");
  EXPECT_TRUE(t.set_from_tm(early, 0, false));
  EXPECT_EQ(t.filetime, E + 7 * 36000000000ULL);
}

TEST(TimeFromBytes, ReadsByKindAndSize) {
  scoped_tz tz("UTC0");
  std::vector<u8> filetime_at_2 = {0xEE, 0xEE};
  for (u8 b : le_bytes(june_15_2015_noon, 8)) filetime_at_2.push_back(b);
  std::vector<u8> systemtime = le_bytes(2015 | (u64(6) << 16) | (u64(1) << 32) | (u64(15) << 48), 8);
  for (u8 b : le_bytes(12 | (u64(0) << 16) | (u64(0) << 32) | (u64(123) << 48), 8)) systemtime.push_back(b);
  std::vector<u8> bad_month = systemtime;
  bad_month[2] = 13;
  std::vector<u8> ole = le_bytes(bits_of(2.5), 8);
  std::vector<u8> record = le_bytes(7 | (u64(9) << 32), 8);
  for (u8 b : le_bytes(june_15_2015_noon, 8)) record.push_back(b);

  struct row {
    const char* name;
    std::vector<u8> bytes;
    u32 offset, kind;
    bool valid;
    u64 filetime;
  };
  const row rows[] = {
      {"u32 unix seconds", le_bytes(1434369600, 4), 0, 8, true, june_15_2015_noon},
      {"u32 unix 0", le_bytes(0, 4), 0, 8, false, 0},
      {"u32 VHD", le_bytes(5, 4), 0, 2048, true, 125911584000000000ULL + 50000000},
      {"u32 unix ms", le_bytes(1500, 4), 0, 16, true, E + 15000000},
      {"u32 has no FILETIME", le_bytes(5, 4), 0, 1, false, 0},
      {"three bytes", le_bytes(5, 3), 0, 8, false, 0},
      {"u64 FILETIME at an offset", filetime_at_2, 2, 1, true, june_15_2015_noon},
      {"offset past the end", filetime_at_2, 40, 1, false, 0},
      {"u64 VHD has no rule", le_bytes(5, 8), 0, 2048, false, 0},
      {"OLE double", ole, 0, 256, true, 94355280000000000ULL},
      {"FILETIME record", record, 0, 16384, true, june_15_2015_noon},
      {"FILETIME record short", le_bytes(june_15_2015_noon, 8), 0, 16384, false, 0},
      {"SYSTEMTIME UTC", systemtime, 0, 512, true, june_15_2015_noon + 1230000},
      {"SYSTEMTIME with month 13 is no SYSTEMTIME", bad_month, 0, 512, false, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    qz::time t(june_15_2015_noon, 1);
    EXPECT_EQ(t.set_from_bytes(r.bytes, r.offset, r.kind), r.valid);
    EXPECT_EQ(t.valid, r.valid);
    if (r.valid) {
      EXPECT_EQ(t.filetime, r.filetime);
    }
  }
  EXPECT_EQ(qz::time(filetime_at_2, 2, 1).filetime, june_15_2015_noon);
  EXPECT_EQ(qz::time(le_bytes(1434369600, 4), 8).filetime, june_15_2015_noon);

  scoped_tz ist("IST-5:30");
  const qz::time local(systemtime, 1024);
  ASSERT_TRUE(local.valid);
  EXPECT_EQ(local.filetime, june_15_2015_noon + 1230000 - 19800ULL * 10000000);
}

TEST(TimeOperators, ComparisonsReadFiletimesAsSigned) {
  const qz::time early(june_15_2015_noon, 1);
  const qz::time late(june_15_2015_noon + 1, 1);
  const qz::time same(june_15_2015_noon, 1);
  qz::time no_time;
  no_time.set_filetime(0x8000000000000000ULL | june_15_2015_noon);
  EXPECT_TRUE(early < late && early <= late && late > early && late >= early && early != late);
  EXPECT_TRUE(early == same && early <= same && early >= same && !(early < same) && !(early > same));
  EXPECT_TRUE(no_time < early) << "a top-bit FILETIME is negative";
  EXPECT_FALSE(no_time == early);
}

TEST(TimeOperators, Arithmetic) {
  scoped_tz tz("UTC0");
  struct row {
    const char* name;
    std::function<void(qz::time&)> apply;
    i64 ticks;
  };
  const qz::time ten(u64(10), 1);
  const row rows[] = {
      {"months", [](qz::time& t) { t.add_months(2); }, 2 * 25920000000000LL},
      {"weeks", [](qz::time& t) { t.add_weeks(-1); }, -6048000000000LL},
      {"days", [](qz::time& t) { t.add_days(3); }, 3 * 864000000000LL},
      {"hours", [](qz::time& t) { t.add_hours(-2); }, -72000000000LL},
      {"minutes", [](qz::time& t) { t.add_minutes(5); }, 3000000000LL},
      {"seconds", [](qz::time& t) { t.add_seconds(7); }, 70000000LL},
      {"milliseconds", [](qz::time& t) { t.add_milliseconds(-3); }, -30000LL},
      {"microseconds", [](qz::time& t) { t.add_microseconds(4); }, 40LL},
      {"subtract days", [](qz::time& t) { t.subtract_days(2); }, -2 * 864000000000LL},
      {"add another value", [ten](qz::time& t) { t.add(ten); }, 10},
      {"subtract another value", [ten](qz::time& t) { t.subtract(ten); }, -10},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    qz::time t(june_15_2015_noon, 1);
    r.apply(t);
    EXPECT_TRUE(t.valid);
    EXPECT_EQ(i64(t.filetime), i64(june_15_2015_noon) + r.ticks);
  }

  qz::time jan_31(133511328000000000ULL, 1);
  jan_31.add_months(1);
  EXPECT_EQ(jan_31.filetime, 133537248000000000ULL) << "2024-03-01: a month is 30 days";

  qz::time invalid(u64(0), 8);
  invalid.add_days(1);
  EXPECT_EQ(invalid.filetime, 0u) << "an invalid value is left alone";

  qz::time to_1899(94354848000000000ULL, 1);
  EXPECT_FALSE(to_1899.add_seconds(-1).valid);
  EXPECT_FALSE(to_1899.add_seconds(1).valid) << "stays invalid";

  for (i32 n : {INT32_MAX, INT32_MIN}) {
    qz::time far(june_15_2015_noon, 1);
    far.add_months(n);
    EXPECT_FALSE(far.valid) << n;
  }
}

TEST(TimeAccessors, NearestMillisecondAndMicrosecond) {
  struct row {
    u64 remainder;
    u32 ms, ms_nearest;
    u64 us, us_nearest;
  };
  const row rows[] = {
      {125000, 12, 13, 12500, 12500},
      {124990, 12, 12, 12499, 12499},
      {9996000, 999, 1000, 999600, 999600},
      {1234567, 123, 123, 123456, 123457},
      {1234564, 123, 123, 123456, 123456},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.remainder);
    const qz::time t(june_15_2015_noon + r.remainder, 1);
    EXPECT_EQ(t.millisecond(false), r.ms);
    EXPECT_EQ(t.millisecond(true), r.ms_nearest);
    EXPECT_EQ(t.microsecond(false), r.us);
    EXPECT_EQ(t.microsecond(true), r.us_nearest);
  }
}

TEST(TimeClear, KeepsDosWordsAndUtcView) {
  qz::time t(june_15_2015_noon, 1);
  t.names["x"] = 1;
  const u16 dos_date = t.dos_date;
  t.clear();
  EXPECT_FALSE(t.valid);
  EXPECT_EQ(t.filetime, 0u);
  EXPECT_EQ(t.unix_time, 0u);
  EXPECT_EQ(t.filetime_high, 0u);
  EXPECT_EQ(t.local.tm_year, 0);
  EXPECT_TRUE(t.names.empty());
  EXPECT_EQ(t.dos_date, dos_date);
  EXPECT_EQ(t.utc.wYear, 2015);
}

TEST(TimeSetFirstKind, FirstPlausibleKindInTheWindow) {
  scoped_tz tz("UTC0");
  qz::time t;
  u32 kind = 0;
  ASSERT_TRUE(t.set_first_kind(kind, 2100, 1990, 1700000000, 1 | 8));
  EXPECT_EQ(kind, 8u);
  EXPECT_EQ(t.year(), 2023u);

  ASSERT_TRUE(t.set_first_kind(kind, 2100, 1990, june_15_2015_noon, 1 | 2 | 8));
  EXPECT_EQ(kind, 1u);

  EXPECT_FALSE(t.set_first_kind(kind, 2100, 1990, 1700000000, 1 | 2));
  EXPECT_EQ(kind, 2u) << "the last kind tried";
  EXPECT_FALSE(t.valid);
  EXPECT_EQ(t.filetime, 0u);

  kind = 99;
  EXPECT_FALSE(t.set_first_kind(kind, 2100, 1990, 1700000000, 0));
  EXPECT_EQ(kind, 99u);

  ASSERT_TRUE(t.set_first_kind_double(kind, 2100, 1990, 1700000000.5, 1 | 8));
  EXPECT_EQ(kind, 8u);
  EXPECT_EQ(t.utc.wMilliseconds, 500);
}

std::vector<u8> guid_bytes(u64 word) {
  std::vector<u8> out = le_bytes(word, 8);
  for (u8 b : std::initializer_list<u8>{0x81, 0x23, 1, 2, 3, 4, 5, 6}) out.push_back(b);
  return out;
}

TEST(TimeDecoders, GuidVersion1) {
  const std::vector<u8> v1 = guid_bytes((u64(1) << 60) | (june_15_2015_noon + 5748192000000000ULL));
  u64 filetime = 0;
  u16 clock = 0;
  std::vector<u8> node;
  ASSERT_TRUE(decode_guid_v1_time(filetime, clock, node, v1.data()));
  EXPECT_EQ(filetime, june_15_2015_noon);
  EXPECT_EQ(clock, 0x0123);
  EXPECT_EQ(node, (std::vector<u8>{1, 2, 3, 4, 5, 6}));

  std::vector<u8> braced(v1.size() + 1, '{');
  std::copy(v1.begin(), v1.end(), braced.begin() + 1);
  ASSERT_TRUE(decode_guid_v1_time_at(filetime, clock, node, braced, 0));
  EXPECT_EQ(filetime, june_15_2015_noon);
  EXPECT_FALSE(decode_guid_v1_time_at(filetime, clock, node, braced, 2)) << "15 bytes left";
  EXPECT_FALSE(decode_guid_v1_time_at(filetime, clock, node, braced, 100));
  EXPECT_TRUE(node.empty());

  const std::vector<u8> v4 = guid_bytes((u64(4) << 60) | (june_15_2015_noon + 5748192000000000ULL));
  EXPECT_FALSE(decode_guid_v1_time(filetime, clock, node, v4.data()));
  const std::vector<u8> before_1601 = guid_bytes((u64(1) << 60) | 5);
  EXPECT_FALSE(decode_guid_v1_time(filetime, clock, node, before_1601.data()));
  EXPECT_EQ(filetime, 0u);

  qz::time t;
  EXPECT_TRUE(t.set_from_bytes(v1, 0, 128));
  EXPECT_EQ(t.filetime, june_15_2015_noon);
}

TEST(TimeDecoders, FiletimeRecord) {
  std::vector<u8> record = le_bytes(7 | (u64(9) << 32), 8);
  for (u8 b : le_bytes(june_15_2015_noon, 8)) record.push_back(b);
  u64 filetime = 0;
  u32 first = 0, second = 0;
  ASSERT_TRUE(decode_filetime_record(filetime, first, second, record.data()));
  EXPECT_EQ(filetime, june_15_2015_noon);
  EXPECT_EQ(first, 7u);
  EXPECT_EQ(second, 9u);
  record[15] = 0x80;
  EXPECT_FALSE(decode_filetime_record(filetime, first, second, record.data()));
  EXPECT_EQ(filetime, 0u);
}

TEST(TimeDecoders, KeynameFilterTimeBits) {
  scoped_tz tz("UTC0");
  struct row {
    const char* name;
    u64 flags;
    u8 valid;
    u64 value;
    bool is_double;
    u64 want;  // 0 for invalid
  };
  const u64 cocoa = 126227808000000000ULL;
  const row rows[] = {
      {"filter not valid", keyname_time_filetime, 0, june_15_2015_noon, false, 0},
      {"FILETIME", keyname_time_filetime, 1, june_15_2015_noon, false, june_15_2015_noon},
      {"second FILETIME bit", keyname_time_filetime_alt, 1, june_15_2015_noon, false, june_15_2015_noon},
      {"SYSTEMTIME does not fit", keyname_time_systemtime, 1, june_15_2015_noon, false, 0},
      {"cocoa double", keyname_time_cocoa, 1, bits_of(1.5), true, cocoa + 15000000},
      {"cocoa whole seconds only", keyname_time_cocoa, 1, u64(1) << 32, false, cocoa + (u64(1) << 32) * 10000000},
      {"hfs+", keyname_time_hfs_plus, 1, 10, false, 95616288000000000ULL + 100000000},
      {"unix", keyname_time_unix, 1, 1434369600, false, june_15_2015_noon},
      {"unix 0", keyname_time_unix, 1, 0, false, 0},
      {"chrome", keyname_time_chrome, 1, june_15_2015_noon / 10, false, june_15_2015_noon},
      {"firefox", keyname_time_firefox, 1, 1434369600000000ULL, false, june_15_2015_noon},
      {"FILETIME bit wins over unix", keyname_time_filetime | keyname_time_unix, 1, june_15_2015_noon, false,
       june_15_2015_noon},
      {"no time bit", 0x20 | 0x80000, 1, june_15_2015_noon, false, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    keyname_filter filter;
    filter.flags = r.flags;
    filter.valid = r.valid;
    EXPECT_EQ(keyname_time_to_filetime(r.value, filter, r.is_double), r.want);
    EXPECT_EQ(qz::time(r.value, filter, r.is_double).valid, r.want != 0);
  }
}

TEST(TimeLocalOffsets, WholeOffsetMinutesIncluded) {
  struct row {
    const char* zone;
    i32 utc_minus_local;
  };
  const row rows[] = {{"UTC0", 0}, {"IST-5:30", -19800}, {"NST3:30", 12600}, {"NPT-5:45", -20700}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.zone);
    scoped_tz tz(r.zone);
    EXPECT_EQ(local_filetime_to_utc(133617096000000000ULL),
              u64(i64(133617096000000000ULL) + i64(r.utc_minus_local) * 10000000));
    struct tm tm {};
    tm.tm_year = 124;
    tm.tm_mon = 5;
    tm.tm_mday = 1;
    tm.tm_hour = 10;
    tm.tm_isdst = -1;
    u8 daylight = 9;
    EXPECT_EQ(utc_offset_of_local_tm(daylight, tm), r.utc_minus_local);
    EXPECT_EQ(daylight, 0);
  }
  EXPECT_EQ(local_filetime_to_utc(0), 0u);
  EXPECT_EQ(local_filetime_to_utc(110263680000000000ULL), 0u) << "1950 has no local view";
}

// The UTC-only conversion must agree with the full one on every view it fills and on validity,
// for every kind, in zones on both sides of UTC; above 3000 it must fill everything.
TEST(TimeUtcByKind, AgreesWithTheFullConversion) {
  const u64 values[] = {
      0, 1, 999, 1000, 86400, 951825600 /* 2000-02-29 12:00 as unix */, 4102444800 /* 2100 */,
      E, E + 10000000, 116444735990000000ULL /* 1969-12-31 23:59:59 */, 94354848000000000ULL /* 1900 */,
      94354847990000000ULL /* 1899-12-31 23:59:59 */, 125962992000000000ULL /* 2000-02-29 12:00 */,
      133537247990000000ULL /* 2024-02-29 23:59:59 */, june_15_2015_noon + 1234567,
      441796895990000000ULL /* 3000-12-31 23:59:59 */, 441796896000000000ULL /* 3001-01-01 */,
      441796896000000000ULL - 14 * 36000000000ULL, 0x7fffffffffffffffULL, 0x8000000000000000ULL, ~0ULL};
  const u32 kinds[] = {time_kind_filetime, time_kind_chrome, time_kind_firefox, time_kind_unix,
                       time_kind_unix_ms, time_kind_dos, time_kind_ole, time_kind_vhd, time_kind_cs_ticks,
                       time_kind_snowflake, time_kind_cocoa, time_kind_hfs_plus};
  for (const char* zone : {"UTC0", "XXX-14", "EST5EDT,M3.2.0,M11.1.0"}) {
    scoped_tz tz(zone);
    for (const u32 kind : kinds) {
      for (const u64 value : values) {
        SCOPED_TRACE(std::string(zone) + " kind " + std::to_string(kind) + " value " + std::to_string(value));
        const qz::time full(value, kind);
        qz::time fast;
        EXPECT_EQ(fast.set_utc_by_kind(value, kind), bool(full.valid));
        EXPECT_EQ(fast.valid, full.valid);
        if (!full.valid) continue;
        EXPECT_EQ(fast.filetime, full.filetime);
        EXPECT_EQ(fast.unix_time, full.unix_time);
        EXPECT_EQ(fast.filetime_low, full.filetime_low);
        EXPECT_EQ(fast.filetime_high, full.filetime_high);
        EXPECT_EQ(fast.year(), full.year());
        EXPECT_EQ(fast.month(), full.month());
        EXPECT_EQ(fast.day(), full.day());
        EXPECT_EQ(fast.hour(), full.hour());
        EXPECT_EQ(fast.minute(), full.minute());
        EXPECT_EQ(fast.second(), full.second());
        EXPECT_EQ(fast.nanosecond(), full.nanosecond());
        if (full.year() > 3000) {
          EXPECT_EQ(fast.local_failed, full.local_failed);
          EXPECT_EQ(fast.dos_date, full.dos_date);
          EXPECT_EQ(fast.local.tm_year, full.local.tm_year);
        }
      }
    }
  }
  // The constructor still fills the local view.
  scoped_tz tz("XXX-14");
  const qz::time full(june_15_2015_noon, time_kind_filetime);
  EXPECT_EQ(full.local.tm_hour, 2);
}

}  // namespace
