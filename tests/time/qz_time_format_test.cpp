#include "framework/time/qz_time_format.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/time/scoped_tz.h"

namespace {

// 2026-12-08 18:38:05 UTC, and the same with 123456789 ns.
constexpr u64 december_8_2026 = 134412286850000000ULL;
const qz::time sample(december_8_2026, 1234567.891);

qz::time at(u64 filetime) { return qz::time(filetime, time_kind_filetime); }

u32 fraction_bits(u32 digits) { return digits << time_format_fraction_shift; }

TEST(ParseDateTimeFormat, DatePatterns) {
  struct row {
    const char* date_pattern;
    bool ok;
    u32 flags;
  };
  const u32 mm = time_format_month_number, mmm = time_format_month_name, yyyy = time_format_year_four,
            yy = time_format_year_two, dmy = time_format_order_dmy, mdy = time_format_order_mdy,
            ymd = time_format_order_ymd;
  const row rows[] = {
      {"yyyy-mm-dd", true, '-' + mm + yyyy + ymd},
      {"mm/dd/yyyy", true, '/' + mm + yyyy + mdy},
      {"dd-mm-yy", true, '-' + mm + yy + dmy},
      {"mm/dd/yy", true, '/' + mm + yy + mdy},
      {"mmm-dd-yyyy", true, '-' + mmm + yyyy + mdy},
      {"mmm dd, yyyy", true, ' ' + mmm + yyyy + mdy + time_format_comma},
      {"dd mmm yyyy", true, ' ' + mmm + yyyy + dmy},
      {"dd.mm.yyyy", true, mm + yyyy + dmy},
      {"yyyymmdd", true, mm + yyyy + ymd},
      {"yyyy/mm-dd", true, '/' + mm + yyyy + ymd},
      {"yyyy-dd-mm", false, '-' + mm + yyyy},
      {"dd-yyyy-mm", false, '-' + mm + yyyy},
      {"yyyy-dd", false, '-'},
      {"mm-dd", false, '-' + mm},
      {"mm-yyyy", false, '-' + mm + yyyy},
      {"", true, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.date_pattern);
    time_format_spec spec;
    spec.flags = 0xFFFFFFFF;
    spec.reserved = 7;
    EXPECT_EQ(parse_date_time_format(spec, r.date_pattern, "hh:mm:ss", false), r.ok);
    EXPECT_EQ(spec.flags, r.flags);
    EXPECT_EQ(spec.min_year, 1900);
    EXPECT_EQ(spec.max_year, 2600);
    EXPECT_EQ(spec.reserved, 0u);
  }
}

TEST(ParseDateTimeFormat, FractionDigitsAndOneColumn) {
  struct row {
    const char* time_pattern;
    u32 digits;
  };
  const row rows[] = {
      {"", 0},
      {"hh:mm:ss", 0},
      {"hh:mm:ss.x", 0},
      {"hh:mm:ss.xx", 0},
      {"hh:mm:ss.xxx", 3},
      {"hh:mm:ss.xxxx", 4},
      {"hh:mm:ss.xxxxx", 5},
      {"hh:mm:ss.xxxxxx", 6},
      {"hh:mm:ss.xxxxxxx", 7},
      {"hh:mm:ss.xxxxxxxx", 8},
      {"hh:mm:ss.xxxxxxxxx", 9},
      {"hh:mm:ss.xxxxxxxxxxxx", 9},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.time_pattern);
    time_format_spec spec;
    EXPECT_TRUE(parse_date_time_format(spec, "", r.time_pattern, false));
    EXPECT_EQ(spec.flags, fraction_bits(r.digits));
    EXPECT_EQ(time_format_fraction_digits(spec), r.digits);
  }
  time_format_spec spec;
  EXPECT_TRUE(parse_date_time_format(spec, "yyyy-mm-dd", "hh:mm:ss.xxx", true));
  EXPECT_EQ(spec.flags, '-' + 0x200u + 0x400u + 0x8000u + 0x10000u + (3u << 17));
}

TEST(FormatTimeText, DateBySpec) {
  struct row {
    const char* name;
    u32 flags;
    const char* date;
  };
  const row rows[] = {
      {"dmy, two-digit year", '-' + 0x200u + 0x800u + 0x2000u, "08-12-26"},
      {"ymd, month name", '-' + 0x100u + 0x400u + 0x8000u, "2026-Dec-08"},
      {"mdy", '/' + 0x200u + 0x400u + 0x4000u, "12/08/2026"},
      {"blank separator", ' ' + 0x100u + 0x400u + 0x4000u, "Dec 08 2026"},
      {"no month bit prints the name", '/' + 0x400u + 0x2000u, "08/Dec/2026"},
      {"no year bit prints two digits", '-' + 0x200u + 0x8000u, "26-12-08"},
      {"no order bit gives no date", '-' + 0x200u + 0x400u, ""},
      {"one column alone", 0x10000u, ""},
  };
  for (const char* zone : {"UTC0", "JST-9"}) {
    scoped_tz tz(zone);
    for (const row& r : rows) {
      SCOPED_TRACE(std::string(r.name) + " in " + zone);
      time_format_spec spec;
      spec.flags = r.flags;
      std::string date = "old", time_text = "old";
      EXPECT_TRUE(format_time_text(date, time_text, sample, spec));
      EXPECT_EQ(date, r.date);
      EXPECT_EQ(time_text, "18:38:05");
    }
  }
}

TEST(FormatTimeText, PatternWithoutSeparatorNeverWritesNul) {
  scoped_tz tz("UTC0");
  struct row {
    const char* date_pattern;
    const char* date;
  };
  const row rows[] = {{"dd.mm.yyyy", "08/12/2026"}, {"yyyymmdd", "2026/12/08"}, {"mmmddyy", "Dec/08/26"}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.date_pattern);
    time_format_spec spec;
    ASSERT_TRUE(parse_date_time_format(spec, r.date_pattern, "hh:mm:ss", false));
    EXPECT_EQ(spec.flags & time_format_separator_mask, 0u);
    std::string date, time_text;
    EXPECT_TRUE(format_time_text(date, time_text, sample, spec));
    EXPECT_EQ(date.find('\0'), std::string::npos);
    EXPECT_EQ(date, r.date);
    // The pattern printer joins the same patterns the same way.
    std::string custom_date;
    format_time_custom(custom_date, time_text, sample, r.date_pattern, "");
    EXPECT_EQ(custom_date, r.date);
    std::ostringstream out;
    EXPECT_TRUE(write_time_by_spec(out, sample, spec));
    EXPECT_EQ(out.str(), std::string(r.date) + " 18:38:05");
  }
}

TEST(FormatTimeText, FractionDigitsAreCutNeverRounded) {
  scoped_tz tz("UTC0");
  // .999999999 must not carry into the second.
  const qz::time nines(december_8_2026, 9999999.999);
  struct row {
    u32 digits;
    const char* sample_time;
    const char* nines_time;
  };
  const row rows[] = {
      {0, "18:38:05", "18:38:05"},
      {1, "18:38:05.1", "18:38:05.9"},
      {2, "18:38:05.12", "18:38:05.99"},
      {3, "18:38:05.123", "18:38:05.999"},
      {4, "18:38:05.1234", "18:38:05.9999"},
      {5, "18:38:05.12345", "18:38:05.99999"},
      {6, "18:38:05.123456", "18:38:05.999999"},
      {7, "18:38:05.1234567", "18:38:05.9999999"},
      {8, "18:38:05.12345678", "18:38:05.99999999"},
      {9, "18:38:05.123456789", "18:38:05.999999999"},
      {10, "18:38:05", "18:38:05"},
      {15, "18:38:05", "18:38:05"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.digits);
    time_format_spec spec;
    spec.flags = '-' + 0x200u + 0x400u + 0x8000u + fraction_bits(r.digits);
    std::string date, time_text;
    EXPECT_TRUE(format_time_text(date, time_text, sample, spec));
    EXPECT_EQ(time_text, r.sample_time);
    EXPECT_TRUE(format_time_text(date, time_text, nines, spec));
    EXPECT_EQ(date, "2026-12-08");
    EXPECT_EQ(time_text, r.nines_time);
  }
}

TEST(FormatTimeText, DefaultsAndInvalidTimes) {
  scoped_tz tz("UTC0");
  time_format_spec zero;
  std::string date = "old", time_text = "old";
  EXPECT_FALSE(format_time_text(date, time_text, sample, zero));
  EXPECT_EQ(date, "2026-12-08");
  EXPECT_EQ(time_text, "18:38:05.123");

  time_format_spec spec;
  spec.flags = '-' + 0x200u + 0x400u + 0x8000u;
  for (u64 filetime : {u64(0), u64(94353984000000000ULL), u64(1) << 63}) {
    SCOPED_TRACE(filetime);
    date = "old";
    time_text = "old";
    EXPECT_FALSE(format_time_text(date, time_text, at(filetime), spec));
    EXPECT_EQ(date, "");
    EXPECT_EQ(time_text, "");
    date = "old";
    EXPECT_FALSE(format_filetime_text(date, time_text, filetime, spec));
    EXPECT_EQ(date, "");
  }
  EXPECT_TRUE(format_filetime_text(date, time_text, december_8_2026, spec));
  EXPECT_EQ(date + " " + time_text, "2026-12-08 18:38:05");
}

TEST(WriteTimeBySpec, ZeroSpecBecomesTheDefault) {
  scoped_tz tz("UTC0");
  time_format_spec spec;
  std::ostringstream out;
  EXPECT_TRUE(write_time_by_spec(out, sample, spec));
  EXPECT_EQ(out.str(), "2026-12-08 18:38:05.123");
  EXPECT_EQ(spec.flags, '-' + 0x200u + 0x400u + 0x8000u + 0x10000u + (3u << 17));

  std::ostringstream none;
  EXPECT_FALSE(write_time_by_spec(none, at(0), spec));
  EXPECT_EQ(none.str(), "");

  time_format_spec custom;
  ASSERT_TRUE(parse_date_time_format(custom, "mm/dd/yy", "hh:mm:ss", false));
  EXPECT_EQ(filetime_to_text_by_spec(december_8_2026, custom), "12/08/26 18:38:05");
  EXPECT_EQ(filetime_to_text_by_spec(0, custom), "");
  time_format_spec fresh;
  EXPECT_EQ(filetime_to_text_by_spec(december_8_2026, fresh), "2026-12-08 18:38:05.000");
}

TEST(FormatTimeCustom, DatePatterns) {
  struct row {
    const char* date_pattern;
    const char* date;
  };
  const row rows[] = {
      {"mm/dd/yyyy", "12/08/2026"},
      {"yyyy-mm-dd", "2026-12-08"},
      {"dd-mm-yy", "08-12-26"},
      {"dd/mm/yyyy", "08/12/2026"},
      {"yy mm dd", "26 12 08"},
      {"mmm dd, yyyy", "Dec 08, 2026"},
      {"mmm dd yyyy", "Dec 08 2026"},
      {"dd mmm yyyy", "08 Dec 2026"},
      // The comma needs a blank separator and the day after the month.
      {"mmm-dd,yyyy", "Dec-08-2026"},
      {"dd, mmm yyyy", "08 Dec 2026"},
      {"yyyy mmm dd,", "2026 Dec 08,"},
      {"yyyy-mmm-dd", "2026-Dec-08"},
      {"yyyymmdd", "2026/12/08"},
      // Without all of yy, mm and dd: month/day/year.
      {"yyyymm", "12/08/2026"},
      {"mm-dd", "12/08/2026"},
      {"mmm dd", "Dec/08/2026"},
      {"", ""},
  };
  for (const char* zone : {"UTC0", "EST5"}) {
    scoped_tz tz(zone);
    for (const row& r : rows) {
      SCOPED_TRACE(std::string(r.date_pattern) + " in " + zone);
      std::string date = "old", time_text = "old";
      EXPECT_TRUE(format_time_custom(date, time_text, sample, r.date_pattern, ""));
      EXPECT_EQ(date, r.date);
      EXPECT_EQ(time_text, "");
    }
  }
}

TEST(FormatTimeCustom, TimePatterns) {
  scoped_tz tz("UTC0");
  struct row {
    const char* time_pattern;
    const char* time_text;
  };
  const row rows[] = {
      {"hh:mm:ss", "18:38:05"},
      {"hh:mm", "18:38"},
      {"ss", ":05"},
      {"hh:mm:ss.x", "18:38:05"},
      {"hh:mm:ss.xx", "18:38:05"},
      {"hh:mm:ss.xxx", "18:38:05.123"},
      {"hh:mm:ss.xxxx", "18:38:05.1234"},
      {"hh:mm:ss.xxxxx", "18:38:05.12345"},
      {"hh:mm:ss.xxxxxx", "18:38:05.123456"},
      {"hh:mm:ss.xxxxxxx", "18:38:05.1234567"},
      {"hh:mm:ss.xxxxxxxx", "18:38:05.12345678"},
      {"hh:mm:ss.xxxxxxxxx", "18:38:05.123456789"},
      {"hh:mm:ss.xxxxxxxxxx", "18:38:05"},
      {"hh:mm:ss.xxxxxxxxxxxx", "18:38:05"},
      {"", ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.time_pattern);
    std::string date = "old", time_text = "old";
    EXPECT_TRUE(format_time_custom(date, time_text, sample, "mm/dd/yyyy", r.time_pattern));
    EXPECT_EQ(date, "12/08/2026");
    EXPECT_EQ(time_text, r.time_text);
  }
}

TEST(FormatTimeCustom, InvalidTimeClearsBoth) {
  scoped_tz tz("UTC0");
  std::string date = "old", time_text = "old";
  EXPECT_FALSE(format_time_custom(date, time_text, at(0), "mm/dd/yyyy", "hh:mm:ss"));
  EXPECT_EQ(date, "");
  EXPECT_EQ(time_text, "");
  date = time_text = "old";
  EXPECT_FALSE(format_time_custom_no_fraction(date, time_text, at(0), "mm/dd/yyyy", "hh:mm:ss.xxx"));
  EXPECT_EQ(date + time_text, "");
}

TEST(FormatTimeCustom, Wrappers) {
  scoped_tz tz("UTC0");
  std::string date, time_text;
  EXPECT_TRUE(format_time_custom_c(date, time_text, sample, "dd-mm-yy", "hh:mm"));
  EXPECT_EQ(date + " " + time_text, "08-12-26 18:38");
  EXPECT_TRUE(format_time_custom_c(date, time_text, sample, nullptr, "hh:mm"));
  EXPECT_EQ(date + " " + time_text, "2026-12-08 18:38:05.123");
  EXPECT_TRUE(format_time_custom_c(date, time_text, sample, "dd-mm-yy", nullptr));
  EXPECT_EQ(date + " " + time_text, "2026-12-08 18:38:05.123");
  // An invalid time is a failure on the fixed road too.
  EXPECT_FALSE(format_time_custom_c(date, time_text, at(0), nullptr, nullptr));
  EXPECT_EQ(date + time_text, "");

  EXPECT_TRUE(format_time_custom_no_fraction(date, time_text, sample, "yyyy-mm-dd", "hh:mm:ss.xxxxxx"));
  EXPECT_EQ(date + " " + time_text, "2026-12-08 18:38:05");
  EXPECT_TRUE(format_time_custom_no_fraction(date, time_text, sample, "yyyy-mm-dd", "hh:mm"));
  EXPECT_EQ(time_text, "18:38");
}

TEST(FormatTimeByPattern, CombinedPatternSplit) {
  scoped_tz tz("UTC0");
  struct row {
    const char* pattern;
    const char* date;
    const char* time_text;
  };
  const row rows[] = {
      {"dd-mm-yyyy hh:mm:ss.xxx", "08-12-2026", "18:38:05.123"},
      {"yyyy/mm/dd", "2026/12/08", ""},
      {"hh:mm", "", "18:38"},
      {"yyyymmdd", "", ""},
      // Only the first blank splits: the rest is the time pattern.
      {"mmm dd, yyyy", "Dec/08/2026", ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.pattern);
    std::string date = "old", time_text = "old";
    EXPECT_TRUE(format_time_by_pattern(date, time_text, sample, r.pattern, true, false, false, false));
    EXPECT_EQ(date, r.date);
    EXPECT_EQ(time_text, r.time_text);
  }
  std::string date = "old", time_text = "old";
  EXPECT_TRUE(format_time_by_pattern(date, time_text, sample, "", true, true, false, true));
  EXPECT_EQ(date + " " + time_text, "26-12-08 18:38:05.123456789");
  date = time_text = "old";
  EXPECT_FALSE(format_time_by_pattern(date, time_text, at(0), "", true, false, false, false));
  EXPECT_EQ(date + time_text, "oldold");
  EXPECT_FALSE(format_time_by_pattern(date, time_text, at(0), "yyyy-mm-dd", true, false, false, false));
  EXPECT_EQ(date + time_text, "");
}

TEST(FiletimeToText, FixedAndCustomForms) {
  scoped_tz tz("UTC0");
  std::string text = "old";
  EXPECT_FALSE(filetime_to_text(text, 0));
  EXPECT_EQ(text, "old");
  EXPECT_TRUE(filetime_to_text(text, december_8_2026 + 1234567));
  EXPECT_EQ(text, "2026-12-08 18:38:05.123456700");
  EXPECT_FALSE(filetime_to_text(text, u64(1) << 63));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(filetime_to_text(text, 94353984000000000ULL));
  EXPECT_EQ(text, "");

  EXPECT_EQ(filetime_to_text_custom(december_8_2026, "mmm dd, yyyy", "hh:mm:ss"), "Dec 08, 2026 18:38:05");
  EXPECT_EQ(filetime_to_text_custom(0, "mmm dd, yyyy", "hh:mm:ss"), "");
}

TEST(MonthAbbrev, NamesAndOutOfRange) {
  EXPECT_EQ(month_abbrev(1), "Jan");
  EXPECT_EQ(month_abbrev(6), "Jun");
  EXPECT_EQ(month_abbrev(12), "Dec");
  for (int month : {0, 13, -1, 1 << 30}) {
    SCOPED_TRACE(month);
    EXPECT_EQ(month_abbrev(month), "");
  }
}

TEST(YearInWindow, BoundsAndValidity) {
  scoped_tz tz("UTC0");
  time_format_spec spec;
  EXPECT_TRUE(sample.year_in_window(spec));
  EXPECT_FALSE(at(0).year_in_window(spec));
  spec.min_year = 2026;
  spec.max_year = 2026;
  EXPECT_TRUE(sample.year_in_window(spec));
  spec.min_year = 2027;
  spec.max_year = 2600;
  EXPECT_FALSE(sample.year_in_window(spec));
  spec.min_year = 1900;
  spec.max_year = 2025;
  EXPECT_FALSE(sample.year_in_window(spec));
}

}  // namespace
