#include "framework/time/qz_time_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>

#include "tests/time/scoped_tz.h"

namespace {

// 2026-12-08 18:38:05 UTC, and the same with 123456789 ns.
constexpr u64 december_8_2026 = 134412286850000000ULL;
const qz::time sample(december_8_2026, 1234567.891);

qz::time at(u64 filetime) { return qz::time(filetime, time_kind_filetime); }

// Sets or unsets the locale variables for one scope and restores them.
class scoped_locale_env {
 public:
  scoped_locale_env(const char* lc_all, const char* lc_time, const char* lang) {
    set("LC_ALL", lc_all, 0);
    set("LC_TIME", lc_time, 1);
    set("LANG", lang, 2);
  }
  ~scoped_locale_env() {
    for (int i = 0; i < 3; ++i) {
      if (had_[i]) {
        setenv(names_[i], old_[i].c_str(), 1);
      } else {
        unsetenv(names_[i]);
      }
    }
  }
  scoped_locale_env(const scoped_locale_env&) = delete;
  scoped_locale_env& operator=(const scoped_locale_env&) = delete;

 private:
  void set(const char* name, const char* value, int i) {
    names_[i] = name;
    const char* old = std::getenv(name);
    had_[i] = old != nullptr;
    if (old) old_[i] = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  const char* names_[3] = {};
  bool had_[3] = {};
  std::string old_[3];
};

TEST(NameTables, MonthsAndWeekdaysInAndOutOfRange) {
  EXPECT_STREQ(month_short_name(1), "Jan");
  EXPECT_STREQ(month_short_name(12), "Dec");
  EXPECT_STREQ(weekday_short_name(0), "Sun");
  EXPECT_STREQ(weekday_short_name(6), "Sat");
  for (i64 month : {i64(0), i64(13), i64(-1), i64(1) << 40}) {
    SCOPED_TRACE(month);
    EXPECT_STREQ(month_short_name(month), "");
  }
  for (i64 weekday : {i64(-1), i64(7), i64(1) << 40}) {
    SCOPED_TRACE(weekday);
    EXPECT_STREQ(weekday_short_name(weekday), "");
  }
}

TEST(FormatTimeParts, DateAndTimeForms) {
  scoped_tz tz("UTC0");
  ASSERT_TRUE(sample.valid);
  struct row {
    const char* name;
    qz::time t;
    bool with_ms, two_digit_year, nanoseconds;
    const char* date;
    const char* time_text;
  };
  const row rows[] = {
      {"seconds", sample, false, false, false, "2026-12-08", "18:38:05"},
      {"milliseconds", sample, true, false, false, "2026-12-08", "18:38:05.123"},
      {"nanoseconds", sample, true, false, true, "2026-12-08", "18:38:05.123456789"},
      {"nanoseconds need with_ms", sample, false, false, true, "2026-12-08", "18:38:05"},
      {"two-digit year", sample, false, true, false, "26-12-08", "18:38:05"},
      {"1999 as 99", at(125911583990000000ULL), false, true, false, "99-12-31", "23:59:59"},
      {"2000 as 00", at(125912558450000000ULL), false, true, false, "00-01-02", "03:04:05"},
      {"2100 as 100", at(157497843060000000ULL), false, true, false, "100-02-03", "04:05:06"},
      {"1900 as 00", at(94354848000000000ULL), true, true, false, "00-01-01", "00:00:00.000"},
      {"invalid", at(0), true, false, false, "", ""},
      {"before 1900", at(94353984000000000ULL), true, false, false, "", ""},
  };
  for (const char* zone : {"UTC0", "JST-9"}) {
    scoped_tz zone_tz(zone);
    for (const row& r : rows) {
      SCOPED_TRACE(std::string(r.name) + " in " + zone);
      std::string date = "old", time_text = "old";
      format_time_parts(date, time_text, r.t, r.with_ms, r.two_digit_year, false, r.nanoseconds);
      EXPECT_EQ(date, r.date);
      EXPECT_EQ(time_text, r.time_text);
    }
  }
}

TEST(FormatTimeParts, ThinForms) {
  scoped_tz tz("UTC0");
  std::string date, time_text;
  format_time_parts_ms(date, time_text, sample, false);
  EXPECT_EQ(date + " " + time_text, "2026-12-08 18:38:05.123");
  format_time_parts_s(date, time_text, sample, false);
  EXPECT_EQ(date + " " + time_text, "2026-12-08 18:38:05");
  std::wstring wide_date = L"old", wide_time = L"old";
  format_time_parts_wide(wide_date, wide_time, sample, false);
  EXPECT_EQ(wide_date, L"2026-12-08");
  EXPECT_EQ(wide_time, L"18:38:05.123");
  format_time_parts_wide(wide_date, wide_time, at(0), false);
  EXPECT_EQ(wide_date, L"");
  EXPECT_EQ(wide_time, L"");
}

TEST(FormatTimeParts, LocaleDateFromTheEnvironment) {
  scoped_tz tz("UTC0");
  struct row {
    const char* name;
    const char* lc_all;
    const char* lc_time;
    const char* lang;
    const char* date;
  };
  const row rows[] = {
      // The C locale's own date form is mm/dd/yy.
      {"C locale", "C", nullptr, nullptr, "12/08/26"},
      {"LC_TIME when the default cannot be made", "no_such_locale", "C", nullptr, "12/08/26"},
      {"no locale at all falls back to the plain date", "no_such_locale", "bad_too", "bad_as_well", "2026-12-08"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    scoped_locale_env env(r.lc_all, r.lc_time, r.lang);
    std::string date, time_text;
    format_time_parts(date, time_text, sample, true, false, true, false);
    EXPECT_EQ(date, r.date);
    EXPECT_EQ(time_text, "18:38:05.123");
  }
}

TEST(FormatLocaleDate, UnknownLocaleNameIsFalseNotAThrow) {
  scoped_tz tz("UTC0");
  std::string date = "old";
  EXPECT_FALSE(format_locale_date(date, "no_such_locale.UTF-8", sample));
  EXPECT_EQ(date, "");
  EXPECT_TRUE(format_locale_date(date, "C", sample));
  EXPECT_EQ(date, "12/08/26");
  EXPECT_FALSE(format_locale_date(date, "C", at(0)));
  EXPECT_EQ(date, "");
}

TEST(TimeStamps, TextsAndShortFormsWithPlaceholders) {
  struct row {
    const char* name;
    std::function<void(std::ostream&, const qz::time&)> write;
    const char* valid;
    const char* invalid;
  };
  const row rows[] = {
      {"write_time_text", [](std::ostream& o, const qz::time& t) { write_time_text(o, t); }, "2026-12-08 18:38:05.123",
       " "},
      {"write_time_short_ms", [](std::ostream& o, const qz::time& t) { write_time_short_ms(o, t); },
       "26-12-08 18:38:05.123", "0000-00-00 00:00:00"},
      {"write_time_short", [](std::ostream& o, const qz::time& t) { write_time_short(o, t); }, "26-12-08 18:38:05",
       "00/00/00 00:00:00"},
      {"write_time_seconds", [](std::ostream& o, const qz::time& t) { write_time_seconds(o, t); },
       "2026-12-08 18:38:05", "00/00/00 00:00:00"},
      {"append_time_text",
       [](std::ostream& o, const qz::time& t) {
         std::string text = "at ";
         o << append_time_text(text, t);
       },
       "at 2026-12-08 18:38:05.123", "at  "},
  };
  for (const char* zone : {"UTC0", "EST5"}) {
    scoped_tz tz(zone);
    for (const row& r : rows) {
      SCOPED_TRACE(std::string(r.name) + " in " + zone);
      std::ostringstream valid, invalid;
      r.write(valid, sample);
      r.write(invalid, at(0));
      EXPECT_EQ(valid.str(), r.valid);
      EXPECT_EQ(invalid.str(), r.invalid);
    }
  }
}

TEST(TimeStamps, FiletimeAndWideShortForms) {
  scoped_tz tz("UTC0");
  std::ostringstream out;
  write_filetime_short_ms(out, i64(december_8_2026 + 5 * filetime_ticks_per_ms));
  out << '|';
  write_filetime_short_ms(out, -i64(december_8_2026));
  EXPECT_EQ(out.str(), "26-12-08 18:38:05.005|0000-00-00 00:00:00");
  std::wostringstream wide;
  write_time_short_ms_wide(wide, sample);
  EXPECT_EQ(wide.str(), L"26-12-08 18:38:05.123");
}

TEST(NtpTimestamp, HexWordsAndUtcText) {
  scoped_tz tz("JST-9");
  // The stamp's memory image: big-endian seconds since 1900, then big-endian fraction.
  auto stamp_of = [](u32 seconds, u32 fraction) {
    const u8 bytes[8] = {u8(seconds >> 24), u8(seconds >> 16), u8(seconds >> 8), u8(seconds),
                         u8(fraction >> 24), u8(fraction >> 16), u8(fraction >> 8), u8(fraction)};
    u64 image;
    std::memcpy(&image, bytes, sizeof image);
    return ntp_timestamp::from_image(image);
  };
  const u32 seconds_2026 = u32((december_8_2026 - 94354848000000000ULL) / filetime_ticks_per_second);
  struct row {
    const char* name;
    u32 seconds, fraction;
    const char* expected;
  };
  const row rows[] = {
      {"half a second", seconds_2026, 0x80000000u, "eec2cd0d.80000000 : [2026-12-08 18:38:05.500000000 UTC]"},
      {"no fraction", seconds_2026, 0, "eec2cd0d.00000000 : [2026-12-08 18:38:05.000000000 UTC]"},
      {"the first second of 1970 is no time", 2208988800u, 1, "83aa7e80.00000001"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::ostringstream out;
    write_ntp_time(out, stamp_of(r.seconds, r.fraction));
    EXPECT_EQ(out.str(), r.expected);
  }
}

TEST(FiletimeName, PartsSwitchedOnAndOff) {
  scoped_tz tz("UTC0");
  const u64 value = december_8_2026 + 123 * filetime_ticks_per_ms;
  struct row {
    const char* name;
    u64 filetime;
    bool hhmm, ss, ms;
    const char* expected;
  };
  const row rows[] = {
      {"all", value, true, true, true, "2026_12_08_1838_05_123"},
      {"date only", value, false, false, false, "2026_12_08"},
      {"seconds only", value, false, true, false, "2026_12_08_05"},
      {"hour and minute", value, true, false, false, "2026_12_08_1838"},
      {"milliseconds only", value, false, false, true, "2026_12_08_123"},
      {"invalid", 0, true, true, true, "0000_00_00_0000_00_000"},
      {"before 1900 prints zeros", 94353984000000000ULL, true, true, true, "0000_00_00_0000_00_000"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::ostringstream out;
    write_filetime_name(out, r.filetime, r.hhmm, r.ss, r.ms);
    EXPECT_EQ(out.str(), r.expected);
  }
  std::ostringstream all, none;
  write_filetime_name_all(all, value, true);
  write_filetime_name_all(none, value, false);
  EXPECT_EQ(all.str(), "2026_12_08_1838_05_123");
  EXPECT_EQ(none.str(), "2026_12_08");
  std::wostringstream wide;
  write_filetime_name_wide(wide, value, true);
  EXPECT_EQ(wide.str(), L"2026_12_08_1838_05_123");
}

TEST(DurationText, DaysHoursMinutesSeconds) {
  struct row {
    u32 seconds;
    const char* expected;
  };
  const row rows[] = {
      {0, ""},
      {0xFFFFFFFFu, ""},
      {59, "59 secs"},
      {1, "1 sec"},
      {60, "1 min"},
      {122, "2 mins 2 secs"},
      {3661, "1 hour 1 min 1 sec"},
      {7200, "2 hours"},
      {86400, "1 day"},
      {172800, "2 days"},
      {90061, "1 day 1 hour 1 min 1 sec"},
      {0xFFFFFFFEu, "49710 days 6 hours 28 mins 14 secs"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.seconds);
    EXPECT_EQ(duration_to_text(r.seconds), r.expected);
  }
}

TEST(SystemtimeText, SlashForm) {
  SYSTEMTIME st;
  st.wYear = 2026;
  st.wMonth = 12;
  st.wDay = 8;
  st.wHour = 18;
  st.wMinute = 38;
  st.wSecond = 5;
  st.wMilliseconds = 7;
  std::string out = "old";
  EXPECT_TRUE(systemtime_to_text(out, st));
  EXPECT_EQ(out, "12/08/2026 : 18:38:05.007");
  EXPECT_TRUE(systemtime_to_text(out, SYSTEMTIME()));
  EXPECT_EQ(out, "00/00/0000 : 00:00:00.000");
}

TEST(TimeDebugLines, DosTimeAndFiletime) {
  scoped_tz tz("EST5");
  // 2024-03-05 07:08:10: date word in the low half, time word in the high half.
  const u32 dos_date = (44u << 9) | (3u << 5) | 5u;
  const u32 dos_time = (7u << 11) | (8u << 5) | 5u;
  const u32 dos = dos_date | dos_time << 16;
  std::ostringstream out;
  EXPECT_EQ(debug_output_dos_time(out, "mod", dos, 0x20, 4), 4u);
  EXPECT_EQ(debug_output_dos_time(out, "bad", 0, 0x24, 4), 4u);
  EXPECT_EQ(debug_output_filetime(out, "ft", december_8_2026, 0x28, 4), 8u);
  EXPECT_EQ(out.str(),
            "00000020 : mod : 39055865 [2024-03-05 07:08:10.000]\n"
            "00000024 : bad : 00000000 [ ]\n"
            "00000028 : ft  : 01dd874343246480 [2026-12-08 18:38:05.000]\n");

  std::ostringstream sink_out;
  const debug_sink on{1, &sink_out}, off{0, &sink_out}, no_stream{1, nullptr};
  EXPECT_EQ(debug_sink_output_dos_time(off, "mod", dos, 0, 0), 0u);
  EXPECT_EQ(debug_sink_output_filetime(no_stream, "ft", december_8_2026, 0, 0), 0u);
  EXPECT_EQ(sink_out.str(), "");
  EXPECT_EQ(debug_sink_output_dos_time(on, "mod", dos, 0, 0), 4u);
  EXPECT_EQ(debug_sink_output_filetime(on, "ft", december_8_2026, 0, 0), 8u);
  EXPECT_EQ(sink_out.str(),
            "00000000 : mod: 39055865 [2024-03-05 07:08:10.000]\n"
            "00000000 : ft: 01dd874343246480 [2026-12-08 18:38:05.000]\n");
}

}  // namespace
