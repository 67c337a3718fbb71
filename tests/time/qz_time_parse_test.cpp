#include "framework/time/qz_time_parse.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "framework/time/qz_time.h"
#include "tests/time/scoped_tz.h"

namespace {

constexpr u64 E = 116444736000000000ULL;
constexpr u64 ticks_per_second = 10000000ULL;
constexpr u64 june_15_2015_noon = 130788432000000000ULL;
// 2026-12-08 18:38:05 UTC.
constexpr u64 dec_8_2026_183805 = 134412286850000000ULL;
constexpr u64 ticks_per_hour = 3600 * ticks_per_second;

// A C string in a heap block of exactly its length plus the terminator, so that
// the sanitizer build catches any read past it.
std::unique_ptr<char[]> exact_c_string(const std::string& text) {
  std::unique_ptr<char[]> block(new char[text.size() + 1]);
  std::memcpy(block.get(), text.c_str(), text.size() + 1);
  return block;
}

struct date_row {
  const char* name;
  const char* text;
  const char* order;
  char separator;
  bool ok;
  u32 day, month, year;
};

TEST(ParseDateFields, OrdersSeparatorsAndWidenedYears) {
  const date_row rows[] = {
      {"year month day", "2026-12-08", "YMD", '-', true, 8, 12, 2026},
      {"day, month name, two-digit year", "08-Dec-26", "DMonY", '-', true, 8, 12, 2026},
      {"month name first", "dec/08/2026", "MonDY", '/', true, 8, 12, 2026},
      {"day month year", "08/12/2026", "DMY", '/', true, 8, 12, 2026},
      {"lower-case order", "12.08.2026", "mdy", '.', true, 8, 12, 2026},
      {"26 becomes 2026", "26-12-08", "YMD", '-', true, 8, 12, 2026},
      {"31 becomes 1931", "31-12-08", "YMD", '-', true, 8, 12, 1931},
      {"one doubled separator before the second field", "2026--12-08", "YMD", '-', true, 8, 12, 2026},
      {"empty fields before the third", "2026-12---08", "YMD", '-', true, 8, 12, 2026},
      {"text after the third field", "2026-12-08-x", "YMD", '-', true, 8, 12, 2026},
      {"open day and month", "2026-00-00", "YMD", '-', true, 0, 0, 2026},
      {"leap day", "2024-02-29", "YMD", '-', true, 29, 2, 2024},
      {"month 13", "2026-13-08", "YMD", '-', false, 8, 13, 2026},
      {"day 32", "2026-12-32", "YMD", '-', false, 32, 12, 2026},
      {"February 29 of a common year", "2026-02-29", "YMD", '-', false, 29, 2, 2026},
      {"April 31", "2026-04-31", "YMD", '-', false, 31, 4, 2026},
      {"two fields", "2026-12", "YMD", '-', false, 0, 12, 2026},
      {"two separators in the second field", "2026---12-08", "YMD", '-', false, 0, 0, 2026},
      {"no number", "2026-ab-08", "YMD", '-', false, 0, 0, 2026},
      {"unknown month name", "08-Foo-26", "DMonY", '-', false, 8, 0, 0},
      {"month name where a number is due", "2026-Dec-08", "YMD", '-', false, 0, 0, 2026},
      {"short order", "2026-12-08", "YM", '-', false, 0, 0, 0},
      {"unknown order letter", "2026-12-08", "QMD", '-', false, 0, 0, 0},
      {"order of a month name only", "Dec-08-2026", "Mon", '-', false, 0, 0, 0},
      {"order of a month name and one letter", "Dec-08-2026", "MonY", '-', false, 0, 0, 0},
  };
  for (const date_row& r : rows) {
    SCOPED_TRACE(r.name);
    std::string order = r.order;
    u32 day = 99, month = 99, year = 99;
    EXPECT_EQ(parse_date_fields(r.text, order, r.separator, &day, &month, &year), r.ok);
    EXPECT_EQ(day, r.day);
    EXPECT_EQ(month, r.month);
    EXPECT_EQ(year, r.year);
  }
}

TEST(ParseDateFields, FoldsTheOrderAndRefusesMissingInput) {
  std::string order = "DMonY";
  u32 day = 0, month = 0, year = 0;
  EXPECT_TRUE(parse_date_fields("08-Dec-26", order, '-', &day, &month, &year));
  EXPECT_EQ(order, "DMY");
  order = "YMD";
  EXPECT_FALSE(parse_date_fields(nullptr, order, '-', &day, &month, &year));
  EXPECT_FALSE(parse_date_fields("2026-12-08", order, '-', nullptr, &month, &year));
}

TEST(MonthNames, MapAndAbbreviations) {
  std::map<std::string, u32> map;
  month_name_map(map);
  ASSERT_EQ(map.size(), 12u);
  EXPECT_EQ(map["jan"], 1u);
  EXPECT_EQ(map["dec"], 12u);
  std::map<std::string, u32> filled{{"x", 7}};
  month_name_map(filled);
  EXPECT_EQ(filled.size(), 1u);

  struct row {
    const char* text;
    int month;
  };
  const row rows[] = {{"Jan", 1}, {"dec", 12}, {"DECEMBER", 12}, {"sEp", 9},
                      {"De", -1}, {"", -1},    {"Foo", -1},     {"12", -1}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    EXPECT_EQ(month_abbrev_number(r.text), r.month);
  }
  EXPECT_EQ(month_abbrev_number(nullptr), -1);
}

TEST(ParseShortDate, MonthDayYearAndDayMonthNameYear) {
  struct row {
    const char* name;
    const char* text;
    bool ok;
    u32 day, month, year;
  };
  const row rows[] = {
      {"month/day/two-digit year", "12/8/26", true, 8, 12, 2026},
      {"day-Mon-year", "8-Dec-2026", true, 8, 12, 2026},
      {"day/Mon/year", "08/dec/1999", true, 8, 12, 1999},
      {"month-day-year", "12-08-2026", true, 8, 12, 2026},
      {"one-digit year stays", "12/8/5", true, 8, 12, 5},
      {"99 becomes 1999", "1/2/99", true, 2, 1, 1999},
      {"30 becomes 2030", "1/2/30", true, 2, 1, 2030},
      {"31 becomes 1931", "1/2/31", true, 2, 1, 1931},
      {"year ends at a blank", "12/8/2026 10:30", true, 8, 12, 2026},
      {"first four year digits", "12/8/202612", true, 8, 12, 2026},
      {"leap day", "2/29/2024", true, 29, 2, 2024},
      {"first field of 3", "123/8/26", false, 0, 0, 0},
      {"second field of 4", "12/1234/26", false, 0, 0, 0},
      {"nothing after the second separator", "12/8/", false, 0, 0, 0},
      {"one separator", "12/8", false, 0, 0, 0},
      {"no separator", "12.8.26", false, 0, 0, 0},
      {"year not a number", "12/8/x6", false, 0, 0, 0},
      {"month 13", "13/8/26", false, 0, 0, 0},
      {"day 32", "12/32/26", false, 0, 0, 0},
      {"day 0", "12/0/26", false, 0, 0, 0},
      {"February 30", "2/30/26", false, 0, 0, 0},
      {"unknown month name", "8-Foo-2026", false, 0, 0, 0},
      {"empty first field", "/8/26", false, 0, 0, 0},
      {"empty", "", false, 0, 0, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    u32 day = 99, month = 99, year = 99;
    const auto text = exact_c_string(r.text);
    EXPECT_EQ(parse_short_date(text.get(), &day, &month, &year), r.ok);
    EXPECT_EQ(day, r.day);
    EXPECT_EQ(month, r.month);
    EXPECT_EQ(year, r.year);
  }
  u32 day = 0, month = 0, year = 0;
  EXPECT_FALSE(parse_short_date(nullptr, &day, &month, &year));
}

// A text that fills a 512-byte working buffer has no room left for its end.
TEST(ParseShortDate, TextsOfAndBeyond512Characters) {
  for (size_t length : {511u, 512u, 513u, 4096u}) {
    SCOPED_TRACE(length);
    std::string padded = "12/8/26";
    padded.resize(length, ' ');
    const auto text = exact_c_string(padded);
    u32 day = 0, month = 0, year = 0;
    EXPECT_TRUE(parse_short_date(text.get(), &day, &month, &year));
    EXPECT_EQ(year, 2026u);
    const auto digits = exact_c_string(std::string(length, '7'));
    EXPECT_FALSE(parse_short_date(digits.get(), &day, &month, &year));
  }
}

TEST(ParseTime, ClockTexts) {
  struct row {
    const char* name;
    const char* text;
    bool ok;
    u32 hour, minute;
    double seconds;
  };
  const row rows[] = {
      {"pm with fraction", "10:30:15.25 pm", true, 22, 30, 15.25},
      {"noon pm stays 12", "12:05 pm", true, 12, 5, 0},
      {"midnight am is 0", "12:05 am", true, 0, 5, 0},
      {"am", "10:30 am", true, 10, 30, 0},
      {"am without a blank", "10:30AM", true, 10, 30, 0},
      {"seconds then pm", "1:02:03pm", true, 13, 2, 3},
      {"surrounding blanks", "  10:30:15  ", true, 10, 30, 15},
      {"last moment of a day", "23:59:59.999", true, 23, 59, 59.999},
      {"fractional hour cut", "10.7:30", true, 10, 30, 0},
      {"UTC mark", "10:30:00Z", true, 10, 30, 0},
      {"no colon", "1030", false, 0, 0, 0},
      {"end of the day", "24:00", true, 24, 0, 0},
      {"end of the day with seconds and a UTC mark", "24:00:00.000Z", true, 24, 0, 0},
      {"hour 24 past the day's end", "24:00:01", false, 0, 0, 0},
      {"hour 24 and minutes", "24:01", false, 0, 0, 0},
      {"hour 24 with a fraction of a second", "24:00:00.5", false, 0, 0, 0},
      {"hour 24 on the 12-hour clock", "24:00 pm", false, 0, 0, 0},
      {"hour 25", "25:00", false, 0, 0, 0},
      {"13 pm", "13:00 pm", true, 13, 0, 0},
      {"minute 60", "10:60", false, 0, 0, 0},
      {"leap second", "23:59:60", true, 23, 59, 59},
      {"leap second with a fraction", "23:59:60.5", true, 23, 59, 59.5},
      {"second 61", "23:59:61", false, 0, 0, 0},
      {"no hour", ":30", false, 0, 0, 0},
      {"no minute", "10:", false, 0, 0, 0},
      {"no seconds after the second colon", "10:30:", false, 0, 0, 0},
      {"letters", "ab:cd", false, 0, 0, 0},
      {"negative hour", "-5:30", false, 0, 0, 0},
      {"exponent", "1e1:00", false, 0, 0, 0},
      {"other mark", "10:30 xm", false, 0, 0, 0},
      {"text after pm", "10:30 pm today", false, 0, 0, 0},
      {"zone offset", "10:30:00+02:00", false, 0, 0, 0},
      {"part of 32 characters", "00000000000000000000000000000010:30", false, 0, 0, 0},
      {"empty", "", false, 0, 0, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    u32 hour = 99, minute = 99;
    double seconds = 99;
    EXPECT_EQ(parse_time_hms(r.text, &hour, &minute, &seconds), r.ok);
    EXPECT_EQ(hour, r.hour);
    EXPECT_EQ(minute, r.minute);
    EXPECT_DOUBLE_EQ(seconds, r.seconds);
  }
  u32 hour = 0, minute = 0, whole = 0;
  double seconds = 0;
  EXPECT_FALSE(parse_time_hms(nullptr, &hour, &minute, &seconds));
  EXPECT_TRUE(parse_time_hms_u32("10:30:15.75", &hour, &minute, &whole));
  EXPECT_EQ(whole, 15u);
}

TEST(ParseTime, MillisecondsSinceMidnight) {
  struct row {
    const char* text;
    bool ok;
    u32 milliseconds;
  };
  const row rows[] = {
      {"1:00:00 pm", true, 46800000},  {"00:00:01.5", true, 1500},   {"12:30 am", true, 1800000},
      {"12:30 pm", true, 45000000},    {"23:59:59.999", true, 86399999}, {"25:00", false, 0},
      {"noon", false, 0},              {"24:00:00", true, 86400000},   {"23:59:60.25", true, 86399250},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    u32 milliseconds = 99;
    EXPECT_EQ(parse_time_of_day_ms(r.text, &milliseconds), r.ok);
    EXPECT_EQ(milliseconds, r.milliseconds);
  }
}

struct systemtime_fields {
  u16 year, month, day, hour, minute, second, milliseconds;
};

void expect_systemtime(const SYSTEMTIME& st, const systemtime_fields& want) {
  EXPECT_EQ(st.wYear, want.year);
  EXPECT_EQ(st.wMonth, want.month);
  EXPECT_EQ(st.wDay, want.day);
  EXPECT_EQ(st.wHour, want.hour);
  EXPECT_EQ(st.wMinute, want.minute);
  EXPECT_EQ(st.wSecond, want.second);
  EXPECT_EQ(st.wMilliseconds, want.milliseconds);
  EXPECT_EQ(st.wDayOfWeek, 0);
}

TEST(ParseToSystemtime, DateAndTimeTexts) {
  struct row {
    const char* name;
    const char* date;
    const char* time;
    const char* order;
    char separator;
    bool ok;
    systemtime_fields want;
  };
  const row rows[] = {
      {"window value", "2026/12/08", "18:38:05.123", "YMD", '/', true, {2026, 12, 8, 18, 38, 5, 123}},
      {"no time", "2026-12-08", nullptr, "YMD", '-', true, {2026, 12, 8, 0, 0, 0, 0}},
      {"empty time", "2026-12-08", "", "YMD", '-', true, {2026, 12, 8, 0, 0, 0, 0}},
      {"month name", "08-Dec-2026", "10:00 pm", "DMonY", '-', true, {2026, 12, 8, 22, 0, 0, 0}},
      {"milliseconds round to nearest", "2026-12-08", "00:00:01.0006", "YMD", '-', true, {2026, 12, 8, 0, 0, 1, 1}},
      {"open month", "2026-00-08", nullptr, "YMD", '-', false, {}},
      {"open day", "2026-12-00", nullptr, "YMD", '-', false, {}},
      {"year beyond the record", "70000-01-01", nullptr, "YMD", '-', false, {}},
      {"bad time", "2026-12-08", "25:00", "YMD", '-', false, {}},
      {"end of a day", "2026-12-08", "24:00", "YMD", '-', true, {2026, 12, 9, 0, 0, 0, 0}},
      {"end of a month", "2024/02/29", "24:00:00", "YMD", '/', true, {2024, 3, 1, 0, 0, 0, 0}},
      {"end of a year", "2026-12-31", "24:00:00Z", "YMD", '-', true, {2027, 1, 1, 0, 0, 0, 0}},
      {"end of the last year a record holds", "65535-12-31", "24:00", "YMD", '-', false, {}},
      {"leap second", "2016-12-31", "23:59:60.5", "YMD", '-', true, {2016, 12, 31, 23, 59, 59, 500}},
      {"empty date", "", "10:00", "YMD", '-', false, {}},
      {"no date", nullptr, "10:00", "YMD", '-', false, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::string order = r.order;
    SYSTEMTIME st;
    const bool ok = parse_date_time_to_systemtime(r.date, r.time, order, r.separator, &st);
    EXPECT_EQ(ok, r.ok);
    EXPECT_EQ(order, r.order);
    if (ok && r.ok) expect_systemtime(st, r.want);
  }
}

TEST(ParseToSystemtime, Iso8601AndShortForms) {
  SYSTEMTIME st;
  EXPECT_TRUE(parse_iso8601_to_systemtime("2026-12-08T18:38:05Z", "YMD", '-', &st));
  expect_systemtime(st, {2026, 12, 8, 18, 38, 5, 0});
  EXPECT_TRUE(parse_iso8601_to_systemtime("2026/12/08T18:38", "YMD", '/', &st));
  expect_systemtime(st, {2026, 12, 8, 18, 38, 0, 0});
  EXPECT_FALSE(parse_iso8601_to_systemtime("2026-12-08 18:38:05", "YMD", '-', &st));
  EXPECT_FALSE(parse_iso8601_to_systemtime("2026-12-08T18:38:05ZZ", "YMD", '-', &st));
  EXPECT_FALSE(parse_iso8601_to_systemtime(nullptr, "YMD", '-', &st));

  EXPECT_TRUE(parse_short_date_time_to_systemtime("12/8/26", "10:30:15.5 pm", &st));
  expect_systemtime(st, {2026, 12, 8, 22, 30, 15, 500});
  EXPECT_TRUE(parse_short_date_time_to_systemtime("8-Dec-2026", nullptr, &st));
  expect_systemtime(st, {2026, 12, 8, 0, 0, 0, 0});
  EXPECT_TRUE(parse_short_date_time_to_systemtime("12/31/26", "24:00", &st));
  expect_systemtime(st, {2027, 1, 1, 0, 0, 0, 0});
  EXPECT_FALSE(parse_short_date_time_to_systemtime("12/8/26", "10h30", &st));
  EXPECT_FALSE(parse_short_date_time_to_systemtime("2/30/26", nullptr, &st));
  EXPECT_FALSE(parse_short_date_time_to_systemtime("", "10:30", &st));

  EXPECT_TRUE(parse_short_date_time_to_systemtime_wide(L"8-Dec-2026", L"", &st));
  expect_systemtime(st, {2026, 12, 8, 0, 0, 0, 0});
  EXPECT_TRUE(parse_short_date_time_to_systemtime_wide(L"12/8/26", L"1:02 am", &st));
  expect_systemtime(st, {2026, 12, 8, 1, 2, 0, 0});
  EXPECT_FALSE(parse_short_date_time_to_systemtime_wide(nullptr, L"10:30", &st));
  EXPECT_FALSE(parse_short_date_time_to_systemtime_wide(L"", L"10:30", &st));
}

TEST(ParseIso8601, ToFiletime) {
  struct row {
    const char* name;
    const char* text;
    u64 filetime;
  };
  const row rows[] = {
      {"first second after the unix epoch", "1970-01-01T00:00:01Z", E + ticks_per_second},
      {"date only", "1970-01-01", E},
      {"nanoseconds cut to 100-ns units", "2026-12-08T18:38:05.123456789", dec_8_2026_183805 + 1234567},
      {"two-digit year", "26-12-08T18:38:05", dec_8_2026_183805},
      {"leap day", "2024-02-29", 133536384000000000ULL},
      {"no date", "T10:00:00", 0},
      {"February 30", "2026-02-30", 0},
      {"open month", "2026-00-08", 0},
      {"before 1601", "1500-01-01", 0},
      {"beyond the last FILETIME", "30828-12-31T23:59:59", 0},
      {"beyond the last FILETIME with a fraction", "30828-12-31T23:59:59.5", 0},
      {"bad time", "2026-12-08T10:61", 0},
      {"end of a day", "1970-01-01T24:00:00Z", E + 86400 * ticks_per_second},
      {"leap second", "1970-01-01T23:59:60.5", E + 86399 * ticks_per_second + ticks_per_second / 2},
      {"hour 24 past the day's end", "1970-01-01T24:00:01", 0},
      {"not a date", "garbage", 0},
      {"empty", "", 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(parse_iso8601_to_filetime(r.text), r.filetime);
  }
}

TEST(ParseShortDateTimeToTm, DateTimeOrBoth) {
  struct tm out {};
  EXPECT_TRUE(parse_short_date_time_to_tm("12/8/26", "1:02:03.9 pm", &out));
  EXPECT_EQ(out.tm_year, 126);
  EXPECT_EQ(out.tm_mon, 11);
  EXPECT_EQ(out.tm_mday, 8);
  EXPECT_EQ(out.tm_hour, 13);
  EXPECT_EQ(out.tm_min, 2);
  EXPECT_EQ(out.tm_sec, 3);

  EXPECT_TRUE(parse_short_date_time_to_tm(nullptr, "23:59:59", &out));
  EXPECT_EQ(out.tm_year, -1900);
  EXPECT_EQ(out.tm_mon, -1);
  EXPECT_EQ(out.tm_mday, 0);
  EXPECT_EQ(out.tm_hour, 23);
  EXPECT_EQ(out.tm_sec, 59);

  EXPECT_TRUE(parse_short_date_time_to_tm("8-Dec-2026", nullptr, &out));
  EXPECT_EQ(out.tm_hour, 0);
  EXPECT_FALSE(parse_short_date_time_to_tm(nullptr, nullptr, &out));
  EXPECT_FALSE(parse_short_date_time_to_tm("12/8/26", "", &out));
  EXPECT_FALSE(parse_short_date_time_to_tm("12-x-26", "10:00", &out));
}

// Local texts in a zone west of Greenwich, one east of it by a half hour, and UTC.
TEST(LocalTexts, OffsetAndTimeValueByZone) {
  struct row {
    const char* zone;
    int offset;  // seconds to add to local time to get UTC
  };
  const row rows[] = {{"UTC0", 0}, {"IST-5:30", -19800}, {"EST5", 18000}};
  const u64 local_clock = dec_8_2026_183805 - 18 * ticks_per_hour - 38 * 600000000ULL - 5 * ticks_per_second +
                          22 * ticks_per_hour + 30 * 600000000ULL;  // 2026-12-08 22:30 on the local clock
  for (const row& r : rows) {
    SCOPED_TRACE(r.zone);
    scoped_tz tz(r.zone);
    bool daylight = true;
    EXPECT_EQ(utc_offset_of_text(&daylight, "12/8/26 10:30 pm"), r.offset);
    EXPECT_FALSE(daylight);
    EXPECT_EQ(utc_offset_of_text(&daylight, "12/8/26"), r.offset);
    EXPECT_EQ(utc_offset_of_text(&daylight, "12/8/26 late"), 0);
    EXPECT_EQ(utc_offset_of_text(&daylight, nullptr), 0);

    const qz::time local("12/8/26 10:30 pm", false);
    ASSERT_TRUE(local.valid);
    EXPECT_EQ(local.filetime, u64(i64(local_clock) + i64(r.offset) * i64(ticks_per_second)));
    const qz::time utc("12/8/26 10:30 pm", true);
    ASSERT_TRUE(utc.valid);
    EXPECT_EQ(utc.filetime, local_clock);
    const qz::time midnight("8-Dec-2026", true);
    EXPECT_EQ(midnight.filetime, dec_8_2026_183805 - 18 * ticks_per_hour - 38 * 600000000ULL - 5 * ticks_per_second);
    EXPECT_FALSE(qz::time("12/8/26 10:30 pm tomorrow", true).valid);
    EXPECT_FALSE(qz::time("2/30/26", true).valid);
    // The end of the day is the next day's midnight, in either reading.
    EXPECT_EQ(qz::time("12/7/26 24:00", true).filetime, midnight.filetime);
    EXPECT_EQ(qz::time("12/7/26 24:00", false).filetime, qz::time("8-Dec-2026", false).filetime);
    EXPECT_FALSE(qz::time(static_cast<const char*>(nullptr), true).valid);
  }
}

TEST(TimeFromText, OrderAndSeparator) {
  struct row {
    const char* name;
    const char* text;
    const char* order;
    char separator;
    bool valid;
    u64 filetime;
    const char* order_after;
  };
  const row rows[] = {
      {"blank between date and time", "2026-12-08 18:38:05", "YMD", '-', true, dec_8_2026_183805, "YMD"},
      {"ISO stamp", "2026-12-08T18:38:05.250Z", "YMD", '-', true, dec_8_2026_183805 + 2500000, "YMD"},
      {"date only", "2026/12/08", "YMD", '/', true, dec_8_2026_183805 - 670850000000ULL, "YMD"},
      {"blank separator", "08 Dec 2026 18:38:05", "DMonY", ' ', true, dec_8_2026_183805, "YMD"},
      {"trailing zone word", "Dec 08 2026 18:38:05 UTC", "MonDY", ' ', true, dec_8_2026_183805, "YMD"},
      {"month name with dashes", "08-Dec-2026T18:38:05", "DMonY", '-', true, dec_8_2026_183805, "YMD"},
      {"word after the only blank", "2026 UTC", "YMD", ' ', false, 0, "YMD"},
      {"bad month name", "08-Foo-2026 10:00", "DMonY", '-', false, 0, "DMonY"},
      {"February 30", "2026-02-30 10:00", "YMD", '-', false, 0, "YMD"},
      {"bad time", "2026-12-08 10:75", "YMD", '-', false, 0, "YMD"},
      {"end of the day", "2026-12-08 24:00", "YMD", '-', true, dec_8_2026_183805 - 670850000000ULL + 864000000000ULL, "YMD"},
      {"order of a month name only", "Dec-08-2026", "Mon", '-', false, 0, "Mon"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::string order = r.order;
    const qz::time t(r.text, order, r.separator);
    EXPECT_EQ(bool(t.valid), r.valid);
    if (r.valid) {
      EXPECT_EQ(t.filetime, r.filetime);
    }
    EXPECT_EQ(order, r.order_after);
  }
  std::string order = "YMD";
  EXPECT_FALSE(qz::time(nullptr, order, '-').valid);
}

TEST(TimeFromText, HexAndDecimalByKind) {
  EXPECT_EQ(hex_text_to_u64("1f"), 0x1fu);
  EXPECT_EQ(hex_text_to_u64("0x1F"), 0x1fu);
  EXPECT_EQ(hex_text_to_u64("0x123456789"), 0x123456789u);
  EXPECT_EQ(hex_text_to_u64("123456789abcdef0"), 0x123456789abcdef0u);
  EXPECT_EQ(hex_text_to_u64("ffffffffffffffff"), ~0ULL);
  EXPECT_EQ(hex_text_to_u64(""), 0u);

  struct row {
    const char* name;
    const char* text;
    time_kind kind;
    bool valid;
    u64 filetime;
  };
  const row rows[] = {
      {"filetime", "1d0a762ce172000", time_kind_filetime, true, june_15_2015_noon},
      {"chrome", "2e77237b025000", time_kind_chrome, true, june_15_2015_noon},
      {"firefox", "5188d327c1000", time_kind_firefox, true, june_15_2015_noon},
      {"unix seconds", "1434369600", time_kind_unix, true, june_15_2015_noon},
      {"VHD seconds of the low word", "ffffffff1d117ac0", time_kind_vhd, true, june_15_2015_noon},
      {"unix 0", "0", time_kind_unix, false, 0},
      {"negative unix", "-5", time_kind_unix, false, 0},
      {"unix beyond the FILETIME range", "99999999999999999999", time_kind_unix, false, 0},
      {"chrome whose tenfold wraps into 2015", "19c810bd149be99a", time_kind_chrome, false, 0},
      {"firefox beyond the FILETIME range", "7fffffffffffffff", time_kind_firefox, false, 0},
      {"unix milliseconds have no text form", "1434369600000", time_kind_unix_ms, false, 0},
      {"no kind", "1d0a762ce172000", time_kind(0x10000), false, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const qz::time t(r.text, r.kind);
    EXPECT_EQ(bool(t.valid), r.valid);
    if (r.valid) {
      EXPECT_EQ(t.filetime, r.filetime);
    }
  }
  EXPECT_EQ(qz::time("1434369600", time_kind_unix).unix_time, 1434369600u);
  EXPECT_EQ(qz::time("-5", time_kind_unix).unix_time, 0u);
  EXPECT_FALSE(qz::time(static_cast<const char*>(nullptr), time_kind_unix).valid);
}

TEST(GuessTimeKind, KindsInsideALocalWindow) {
  scoped_tz tz("UTC0");
  struct row {
    const char* name;
    u64 value;
    int upper, lower;
    bool ok;
    u32 kind;
    u64 filetime;
  };
  auto swap = [](u64 v) { return __builtin_bswap64(v); };
  const row rows[] = {
      {"filetime", june_15_2015_noon, 2030, 2000, true, time_kind_filetime, june_15_2015_noon},
      {"chrome", june_15_2015_noon / 10, 2030, 2000, true, time_kind_chrome, june_15_2015_noon},
      {"firefox", 1434369600000000ULL, 2030, 2000, true, time_kind_firefox, june_15_2015_noon},
      {"unix seconds", 1434369600, 2030, 2000, true, time_kind_unix, june_15_2015_noon},
      {"byte-swapped filetime", swap(june_15_2015_noon), 2030, 2010, true, time_kind_filetime, june_15_2015_noon},
      {"lower year without a local view", june_15_2015_noon, 2030, 1800, true, time_kind_filetime,
       june_15_2015_noon},
      {"outside the window", june_15_2015_noon, 2040, 2020, false, 0, 0},
      {"below 0x1000000", 0xFFFFFF, 2030, 1970, false, 0, 0},
      {"nothing fits", 0x7FFFFFFFFFFFFFFFULL, 2030, 2000, false, 0, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    u64 filetime = 99;
    u32 kind = 99;
    EXPECT_EQ(guess_time_kind(&filetime, &kind, r.value, r.upper, r.lower), r.ok);
    EXPECT_EQ(kind, r.kind);
    EXPECT_EQ(filetime, r.filetime);
    u64 filetime_only = 99;
    EXPECT_EQ(guess_time_kind_filetime(&filetime_only, r.value, r.upper, r.lower), r.ok);
    EXPECT_EQ(filetime_only, r.filetime);
  }
}

// The window's years start at local midnight: three hours before 2000 in UTC is
// already 2000 on a clock five and a half hours ahead.
TEST(GuessTimeKind, WindowFollowsTheLocalZone) {
  constexpr u64 year_2000 = 125911584000000000ULL;
  const u64 value = year_2000 - 3 * ticks_per_hour;
  u64 filetime = 0;
  {
    scoped_tz tz("UTC0");
    EXPECT_FALSE(guess_time_kind_filetime(&filetime, value, 2001, 2000));
  }
  scoped_tz tz("IST-5:30");
  EXPECT_TRUE(guess_time_kind_filetime(&filetime, value, 2001, 2000));
  EXPECT_EQ(filetime, value);
}

}  // namespace
