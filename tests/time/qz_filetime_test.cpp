#include "framework/time/qz_filetime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

#include "tests/time/scoped_tz.h"

namespace {

struct civil {
  int year, month, day, hour, minute, second;
};

void expect_fields(const time_fields& f, const civil& c) {
  EXPECT_EQ(f.wYear, c.year);
  EXPECT_EQ(f.wMonth, c.month);
  EXPECT_EQ(f.wDay, c.day);
  EXPECT_EQ(f.wHour, c.hour);
  EXPECT_EQ(f.wMinute, c.minute);
  EXPECT_EQ(f.wSecond, c.second);
}

void expect_tm(const struct tm& got, const struct tm& want) {
  EXPECT_EQ(got.tm_year, want.tm_year);
  EXPECT_EQ(got.tm_mon, want.tm_mon);
  EXPECT_EQ(got.tm_mday, want.tm_mday);
  EXPECT_EQ(got.tm_hour, want.tm_hour);
  EXPECT_EQ(got.tm_min, want.tm_min);
  EXPECT_EQ(got.tm_sec, want.tm_sec);
  EXPECT_EQ(got.tm_wday, want.tm_wday);
  EXPECT_EQ(got.tm_yday, want.tm_yday);
}

struct tm platform_gmtime(i64 seconds) {
  const time_t t = time_t(seconds);
  struct tm out {};
  gmtime_r(&t, &out);
  return out;
}

TEST(FiletimeToBrokenDownTime, NamedInstants) {
  struct row {
    const char* name;
    u64 filetime;
    civil want;
    int day_of_week;
    u64 remainder;  // 100-ns ticks within the second
  };
  const row rows[] = {
      {"zero is 1601-01-01, a Monday", 0, {1601, 1, 1, 0, 0, 0}, 1, 0},
      {"unix epoch, a Thursday", 116444736000000000, {1970, 1, 1, 0, 0, 0}, 4, 0},
      {"last tick of leap year 2000", 126227807999999999, {2000, 12, 31, 23, 59, 59}, 0, 9999999},
      {"first tick of 2001", 126227808000000000, {2001, 1, 1, 0, 0, 0}, 1, 0},
      {"3112-12-31, where the year estimate is two ahead", 477140112000000000, {3112, 12, 31, 12, 0, 0}, 2, 0},
      {"3113-01-01", 477140544000000000, {3113, 1, 1, 0, 0, 0}, 3, 0},
      {"largest FILETIME", 0x7FFFFFFFFFFFFFFFULL, {30828, 9, 14, 2, 48, 5}, 4, 4775807},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    time_fields f;
    ASSERT_TRUE(filetime_to_broken_down_time(f, r.filetime));
    expect_fields(f, r.want);
    EXPECT_EQ(f.wDayOfWeek, r.day_of_week);
    EXPECT_EQ(f.wMilliseconds, r.remainder / 10000);
    EXPECT_EQ(f.microseconds, r.remainder / 10);
    EXPECT_EQ(f.nanoseconds, r.remainder * 100);
    EXPECT_EQ(f.picoseconds, r.remainder * 100000);
  }
}

TEST(FiletimeToBrokenDownTime, TopBitGivesFalseAndZeroedRecord) {
  for (u64 filetime : {0x8000000000000000ULL, 0xFFFFFFFFFFFFFFFFULL}) {
    time_fields f;
    f.wYear = 7;
    f.picoseconds = 9;
    EXPECT_FALSE(filetime_to_broken_down_time(filetime, f));
    EXPECT_EQ(f.wYear, 0);
    EXPECT_EQ(f.picoseconds, 0u);
    SYSTEMTIME st;
    st.wYear = 1234;
    EXPECT_FALSE(filetime_to_systemtime(filetime, st));
    EXPECT_EQ(st.wYear, 1234) << "left as it was";
  }
}

// Every day of the FILETIME range, against a calendar stepped one day at a
// time; the FILETIME of each date must come back through the inverse too.
TEST(FiletimeToBrokenDownTime, EveryDayFrom1601To30827) {
  int year = 1601, month = 1, day = 1;
  u64 day_index = 0;
  int mismatches = 0;
  while (year <= 30827 && mismatches < 5) {
    const u64 second_of_day = (day_index * 7919) % 86400;
    const u64 filetime = day_index * 864000000000ULL + second_of_day * 10000000 + day_index % 10000000;
    time_fields f;
    const bool ok = filetime_to_broken_down_time(f, filetime);
    const int weekday = int((day_index + 1) % 7);
    if (!ok || f.wYear != year || f.wMonth != month || f.wDay != day || f.wDayOfWeek != weekday ||
        f.wHour != second_of_day / 3600 || f.wMinute != second_of_day / 60 % 60 || f.wSecond != second_of_day % 60) {
      ADD_FAILURE() << "day " << day_index << " expected " << year << "-" << month << "-" << day << " got "
                    << f.wYear << "-" << f.wMonth << "-" << f.wDay;
      ++mismatches;
    }
    struct tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_sec = int(second_of_day);
    if (broken_down_time_to_filetime(tm, 0) != day_index * 864000000000ULL + second_of_day * 10000000) {
      ADD_FAILURE() << "inverse of " << year << "-" << month << "-" << day;
      ++mismatches;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int month_length = month == 2 ? (leap ? 29 : 28) : (month == 4 || month == 6 || month == 9 || month == 11) ? 30 : 31;
    if (++day > month_length) {
      day = 1;
      if (++month > 12) {
        month = 1;
        ++year;
      }
    }
    ++day_index;
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(FiletimeToBrokenDownTime, FractionFromDouble) {
  time_fields f;
  ASSERT_TRUE(filetime_to_broken_down_time_frac(116444736000000000, f, 1234567.5));
  EXPECT_EQ(f.wYear, 1970);
  EXPECT_EQ(f.wMilliseconds, 123);
  EXPECT_EQ(f.microseconds, 123456u);
  EXPECT_EQ(f.nanoseconds, 123456750u);
  EXPECT_EQ(f.picoseconds, 123456750000u);
  for (double bad : {-1.0, 1e7, 1e300}) {
    EXPECT_FALSE(filetime_to_broken_down_time_frac(116444736000000000, f, bad)) << bad;
  }
}

TEST(BrokenDownTimeToFiletime, MonthCarriesIntoYearAndIsWrittenBack) {
  struct row {
    const char* name;
    int year, month;  // tm_year, tm_mon as given
    int want_year, want_month;
  };
  const row rows[] = {
      {"month 12 is January of the next year", 2023 - 1900, 12, 2024, 1},
      {"month -1 is December of the previous year", 2024 - 1900, -1, 2023, 12},
      {"month -13 borrows two years", 2024 - 1900, -13, 2022, 12},
      {"month 25", 2024 - 1900, 25, 2026, 2},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    struct tm tm {};
    tm.tm_year = r.year;
    tm.tm_mon = r.month;
    tm.tm_mday = 1;
    time_fields f;
    ASSERT_TRUE(filetime_to_broken_down_time(f, broken_down_time_to_filetime(tm, 0)));
    EXPECT_EQ(f.wYear, r.want_year);
    EXPECT_EQ(f.wMonth, r.want_month);
    EXPECT_EQ(tm.tm_mon, r.want_month - 1);
    EXPECT_EQ(tm.tm_year, r.want_year - 1900);
  }
}

TEST(BrokenDownTimeToFiletime, LeapDayCountedOnlyInLeapYears) {
  struct row {
    int year;
    u64 days_from_feb_28_to_mar_1;
  };
  for (const row& r : {row{2000, 2}, row{2400, 2}, row{2100, 1}, row{2300, 1}, row{2024, 2}, row{2023, 1}}) {
    struct tm feb {};
    feb.tm_year = r.year - 1900;
    feb.tm_mon = 1;
    feb.tm_mday = 28;
    struct tm mar = feb;
    mar.tm_mon = 2;
    mar.tm_mday = 1;
    EXPECT_EQ(broken_down_time_to_filetime(mar, 0) - broken_down_time_to_filetime(feb, 0),
              r.days_from_feb_28_to_mar_1 * 864000000000ULL)
        << r.year;
  }
}

TEST(BrokenDownTimeToFiletime, FieldsAddTheirWeightAndMilliseconds) {
  struct tm tm {};
  tm.tm_year = 70;
  tm.tm_mday = 1;
  tm.tm_hour = 25;
  tm.tm_min = -1;
  EXPECT_EQ(broken_down_time_to_filetime(tm, 250), 116444736000000000ULL + (25 * 3600 - 60) * 10000000ULL + 2500000);
}

TEST(BrokenDownTimeToFiletime, InstantsOutsideTheRangeHaveTheTopBit) {
  struct row {
    const char* name;
    int year;
    int mday;
  };
  const row rows[] = {
      {"year 1600", 1600, 1},
      {"year 40000", 40000, 1},
      // Wrapping arithmetic would land this one back on a plausible date.
      {"year 60000", 60000, 1},
      {"huge day of month", 2000, 2000000000},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    struct tm tm {};
    tm.tm_year = r.year - 1900;
    tm.tm_mday = r.mday;
    EXPECT_NE(broken_down_time_to_filetime(tm, 0) >> 63, 0u);
  }
}

TEST(DosDateTime, RangeAndRounding) {
  struct row {
    const char* name;
    u64 filetime;
    bool ok;
    u16 date, time;
  };
  const u64 jan_1_1980 = 119600064000000000;
  const row rows[] = {
      {"1979-12-31 is before the range", 119599200000000000, false, 0xAAAA, 0xBBBB},
      {"2038-01-01 is after the range", 137903904000000000, false, 0xAAAA, 0xBBBB},
      {"1980-01-01 00:00:00", jan_1_1980, true, 0x0021, 0},
      {"odd second 13 rounds up to field 7", jan_1_1980 + 13 * 10000000ULL, true, 0x0021, 7},
      {"second 59 stays in the minute", jan_1_1980 + 59 * 10000000ULL, true, 0x0021, 29},
      {"2037-12-31 23:59:58", 137903903980000000, true, u16((57 << 9) | (12 << 5) | 31), u16((23 << 11) | (59 << 5) | 29)},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    dos_datetime dos{0xAAAA, 0xBBBB};
    EXPECT_EQ(filetime_to_dos_datetime(r.filetime, dos), r.ok);
    EXPECT_EQ(dos.date, r.date);
    EXPECT_EQ(dos.time, r.time);
  }
}

TEST(UnixToStructTm, YearLimitsAndNegativeInput) {
  struct tm tm {};
  ASSERT_TRUE(unix_to_struct_tm(32535215999, tm));  // 3000-12-31 23:59:59
  EXPECT_EQ(tm.tm_year, 1100);
  EXPECT_EQ(tm.tm_mon, 11);
  EXPECT_EQ(tm.tm_mday, 31);
  EXPECT_EQ(tm.tm_sec, 59);
  EXPECT_FALSE(unix_to_struct_tm(32535216000, tm));
  EXPECT_EQ(tm.tm_year, 0) << "zeroed";
  EXPECT_EQ(tm.tm_mday, 0);
  tm.tm_year = 99;
  EXPECT_FALSE(unix_to_struct_tm(-1, tm));
  EXPECT_EQ(tm.tm_year, 99) << "untouched";
  EXPECT_FALSE(unix_to_struct_tm(INT64_MAX, tm, 5.5f));
  EXPECT_FALSE(unix_to_local_struct_tm(u64(INT64_MAX), tm));
}

TEST(UnixToStructTm, MatchesPlatformGmtime) {
  for (i64 s = 0; s < 32535216000; s += 86399 * 37 + 13) {
    struct tm tm {};
    ASSERT_TRUE(unix_to_struct_tm(s, tm)) << s;
    expect_tm(tm, platform_gmtime(s));
    if (HasFailure()) FAIL() << "seconds " << s;
  }
}

// Hours used to be added in single precision: present-day seconds sit where
// a float steps by 128, so the sum could be off by up to 64 seconds.
TEST(UnixToStructTm, HoursAddExactSeconds) {
  for (float hours : {5.5f, -3.5f, 1.0f, 5.75f}) {
    for (i64 s = 1700000000; s < 1700000000 + 300; s += 7) {
      struct tm tm {};
      ASSERT_TRUE(unix_to_struct_tm(s, tm, hours));
      expect_tm(tm, platform_gmtime(s + i64(hours * 3600)));
      if (HasFailure()) FAIL() << "seconds " << s << " hours " << hours;
    }
  }
}

TEST(FiletimeToStructTm, UtcFieldsFrom1970Only) {
  struct tm tm {};
  ASSERT_TRUE(filetime_to_struct_tm(130788432000000000, tm));  // 2015-06-15 12:00
  expect_tm(tm, platform_gmtime(1434369600));
  EXPECT_FALSE(filetime_to_struct_tm(110263680000000000, tm)) << "1950";
  EXPECT_FALSE(filetime_to_struct_tm(0x8000000000000000ULL, tm));
}

TEST(UnixToGmtime, AnySecondsMatchPlatformGmtime) {
  // Far past and far future included: no year limit and no estimate overshoot.
  for (i64 s = -200000000000; s < 900000000000; s += 1099999937) {
    struct tm tm;
    unix_to_gmtime(tm, s);
    expect_tm(tm, platform_gmtime(s));
    if (HasFailure()) FAIL() << "seconds " << s;
  }
  struct tm tm;
  unix_to_gmtime(tm, -1);
  EXPECT_EQ(tm.tm_year, 69);
  EXPECT_EQ(tm.tm_hour, 23);
  EXPECT_EQ(tm.tm_isdst, 0);
}

TEST(TmToUnixSeconds, NormalisesAndRefusesBefore1970) {
  struct row {
    const char* name;
    unix_time_parts parts;
    bool ok;
    i64 want;
  };
  const row rows[] = {
      {"epoch, no added hours", {0, 0, 0, 1, 0, 70}, true, 0},
      {"2000-02-29", {0, 0, 0, 29, 1, 100}, true, 951782400},
      {"negative seconds borrow from the minute", {-1, 0, 0, 2, 0, 70}, true, 86399},
      {"day 0 is the last day of the month before", {0, 0, 0, 0, 2, 100}, true, 951782400},
      {"month 12 is January next year", {0, 0, 0, 1, 12, 99}, true, 946684800},
      {"hour 48", {0, 0, 48, 1, 0, 70}, true, 172800},
      {"a large day count", {0, 0, 0, 1 + 146097 * 3, 0, 70}, true, 146097LL * 3 * 86400},
      {"1969 is refused", {59, 59, 23, 31, 11, 69}, false, -1},
      {"borrowing back into 1969 is refused", {-1, 0, 0, 1, 0, 70}, false, -1},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    i64 out = 12345;
    EXPECT_EQ(tm_to_unix_seconds(r.parts, out), r.ok);
    EXPECT_EQ(out, r.want);
  }
}

TEST(SystemTime, RoundTripsThroughFiletime) {
  const u64 filetime = 130788432001230000;  // 2015-06-15 12:00:00.123
  const SYSTEMTIME st(filetime);
  EXPECT_EQ(st.wYear, 2015);
  EXPECT_EQ(st.wMonth, 6);
  EXPECT_EQ(st.wDayOfWeek, 1);
  EXPECT_EQ(st.wMilliseconds, 123);
  EXPECT_EQ(FILETIME(st).value(), filetime);
  u64 seconds = 0;
  ASSERT_TRUE(systemtime_to_unix_seconds(st, seconds));
  EXPECT_EQ(seconds, 1434369600u);

  SYSTEMTIME before_1601;
  before_1601.wYear = 1500;
  before_1601.wMonth = 1;
  before_1601.wDay = 1;
  EXPECT_FALSE(systemtime_to_unix_seconds(before_1601, seconds));

  struct tm tm = platform_gmtime(1434369600);
  SYSTEMTIME from_tm;
  from_tm.wDayOfWeek = 5;
  systemtime_from_tm(from_tm, tm);
  EXPECT_EQ(from_tm.wYear, 2015);
  EXPECT_EQ(from_tm.wHour, 12);
  EXPECT_EQ(from_tm.wDayOfWeek, 0);
}

TEST(SystemTime, WindowsSystemtimeByKind) {
  SYSTEMTIME st;
  _windows_systemtime(st, 1434369600, 8);
  EXPECT_EQ(st.wYear, 2015);
  EXPECT_EQ(st.wDayOfWeek, 1);
  EXPECT_EQ(st.wHour, 12);
  _windows_systemtime(st, 130788432001230000, 1);
  EXPECT_EQ(st.wMilliseconds, 123);
  _windows_systemtime(st, 130788432001230000, 16);
  EXPECT_EQ(st.wYear, 0) << "another kind leaves the record cleared";
  _windows_systemtime(st, -5, 1);
  EXPECT_EQ(st.wYear, 0);
}

TEST(LocalTime, IsUtcPlusTheZoneOffsetOfNow) {
  struct row {
    const char* zone;
    i32 offset;
  };
  // glibc gives a zone's standard offset whatever the date; the daylight
  // state of the converted instant is never looked at.
  const row rows[] = {{"UTC0", 0}, {"IST-5:30", 19800}, {"NST3:30", -12600}, {"EST5EDT,M3.2.0,M11.1.0", -18000}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.zone);
    scoped_tz tz(r.zone);
    EXPECT_EQ(local_utc_offset_seconds(), r.offset);
    for (i64 s : {i64(1700000000), i64(1720000000) /* July */}) {
      struct tm tm {};
      ASSERT_TRUE(unix_to_local_struct_tm(u64(s), tm));
      expect_tm(tm, platform_gmtime(s + r.offset));
      EXPECT_EQ(tm.tm_isdst, 0);
      struct tm from_filetime {};
      ASSERT_TRUE(filetime_to_local_struct_tm(116444736000000000ULL + u64(s) * 10000000, from_filetime));
      expect_tm(from_filetime, tm);
    }
  }
}

// The offset is kept between calls: a TZ changed back and forth within one second, unset or
// set empty, must still give each zone's own offset, on every call and on another thread.
TEST(LocalTime, OffsetFollowsEveryChangeOfTz) {
  const char* old = std::getenv("TZ");
  const std::string saved = old != nullptr ? old : "";
  unsetenv("TZ");
  tzset();
  const i32 unset_offset = local_utc_offset_seconds();
  struct step {
    const char* zone;  // null: TZ unset
    i32 offset;
  };
  const step steps[] = {
      {"UTC0", 0},          {"IST-5:30", 19800},
      {"UTC0", 0},          {"NST3:30", -12600},
      {"", 0},              {nullptr, unset_offset},
      {"IST-5:30", 19800},  {"EST5EDT,M3.2.0,M11.1.0", -18000},
      {nullptr, unset_offset}, {"NST3:30", -12600},
  };
  for (const step& s : steps) {
    SCOPED_TRACE(s.zone != nullptr ? s.zone : "(unset)");
    if (s.zone != nullptr) {
      setenv("TZ", s.zone, 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(local_utc_offset_seconds(), s.offset);
    struct tm tm {};
    ASSERT_TRUE(unix_to_local_struct_tm(1700000000, tm));
    expect_tm(tm, platform_gmtime(1700000000 + s.offset));
    i32 on_thread = 1;
    std::thread([&on_thread] { on_thread = local_utc_offset_seconds(); }).join();
    EXPECT_EQ(on_thread, s.offset);
  }
  if (old != nullptr) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

TEST(LocalTime, ExistsFrom1970To3000Only) {
  scoped_tz tz("IST-5:30");
  struct tm tm {};
  EXPECT_FALSE(filetime_to_local_struct_tm(0x8000000000000000ULL, tm)) << "no time is no local time";
  EXPECT_FALSE(filetime_to_local_struct_tm(110263680000000000, tm)) << "1950";
  EXPECT_FALSE(unix_to_local_struct_tm(32535215999 - 3600, tm)) << "3000-12-31 23:00 UTC is 3001 locally";
  EXPECT_TRUE(unix_to_local_struct_tm(0, tm));
  EXPECT_EQ(tm.tm_hour, 5);
  EXPECT_EQ(tm.tm_min, 30);

  scoped_tz west("EST5");
  EXPECT_FALSE(unix_to_local_struct_tm(3600, tm)) << "01:00 UTC on 1970-01-01 is 1969 locally";
  EXPECT_TRUE(unix_to_local_struct_tm(18000, tm));
  EXPECT_EQ(tm.tm_hour, 0);
}

TEST(LocalTime, MktimeAndYearNow) {
  scoped_tz tz("UTC0");
  struct tm tm = platform_gmtime(1577836800);
  i64 out = 0;
  EXPECT_TRUE(local_struct_tm_to_unix(tm, out));
  EXPECT_EQ(out, 1577836800);
  tm = platform_gmtime(0);
  EXPECT_FALSE(local_struct_tm_to_unix(tm, out));
  EXPECT_EQ(out, 0);
  const time_t now = ::time(nullptr);
  EXPECT_EQ(local_year_now(), u32(platform_gmtime(now).tm_year + 1900));
}

}  // namespace
