#include "framework/time/qz_time_zone.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "framework/time/qz_filetime.h"

namespace {

constexpr i64 second = 10000000;
constexpr i64 hour = 3600 * second;

i64 utc_filetime(int year, int month, int day, int h = 0, int m = 0, int s = 0) {
  struct tm fields {};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = h;
  fields.tm_min = m;
  fields.tm_sec = s;
  return (i64(timegm(&fields)) + 11644473600LL) * second;
}

std::vector<u16> transition(u16 month, u16 week, u16 h, u16 m = 0) { return {0, month, week, h, m, 0, 0, 0}; }

// Rules with their transitions in UTC, as the tz database applies them.
time_zone_rule eu_rule(i64 bias) { return {transition(3, 5, 1), transition(10, 5, 1), bias, 3600, 0}; }
const time_zone_rule us_eastern{transition(3, 2, 7), transition(11, 1, 6), -5 * 3600, 3600, 0};
// Southern hemisphere: the daylight period runs over the year's end.
const time_zone_rule paraguay{transition(10, 1, 4), transition(3, 4, 3), -4 * 3600, 3600, 0};
const time_zone_rule uruguay{transition(10, 1, 5), transition(3, 2, 4), -3 * 3600, 3600, 0};
// No daylight time: a period that starts where it ends, with a daylight bias that never applies.
const time_zone_rule brazil_since_2019{transition(11, 1, 3), transition(11, 1, 3), -3 * 3600, 3600, 0};

// The day of the n-th (or, lacking it, last) Sunday, counted by the C library.
int nth_sunday_reference(int year, int month, int week) {
  int found = 0;
  int last = 0;
  for (int day = 1; day <= 31; ++day) {
    struct tm fields {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    const time_t t = timegm(&fields);
    struct tm back {};
    gmtime_r(&t, &back);
    if (back.tm_mon != month - 1) break;
    if (back.tm_wday == 0) {
      last = day;
      if (++found == week) return day;
    }
  }
  return last;
}

TEST(DstPeriod, TransitionDays) {
  struct Case {
    const char* name;
    int year, month, week, expected_day;
  };
  const Case cases[] = {
      {"first Sunday on day 1", 2026, 3, 2, 8},
      {"Monday first, week 1", 2026, 6, 1, 7},  // June 1, 2026 is a Monday
      {"Monday first, week 2", 2026, 6, 2, 14},
      {"Monday first, week 5 is the last", 2026, 6, 5, 28},
      {"five Sundays, week 5", 2026, 3, 5, 29},
      {"Saturday first, week 1", 2025, 3, 1, 2},
      {"week 0 is the first", 2025, 3, 0, 2},
      {"week 9 is the last", 2025, 3, 9, 30},
      {"February of a leap year", 2032, 2, 5, 29},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    i64 start = 0;
    i64 end = 0;
    ASSERT_TRUE(dst_period(&start, &end, transition(u16(c.month), u16(c.week), 2),
                           transition(u16(c.month), u16(c.week), 3, 30), u64(utc_filetime(c.year, 7, 1))));
    EXPECT_EQ(start, utc_filetime(c.year, c.month, c.expected_day, 2));
    EXPECT_EQ(end, utc_filetime(c.year, c.month, c.expected_day, 3, 30));
  }
  // Every month of 1990-2040 against the C library's calendar.
  for (int year = 1990; year <= 2040; ++year) {
    for (int month = 1; month <= 12; ++month) {
      for (int week = 1; week <= 5; ++week) {
        i64 start = 0;
        i64 end = 0;
        ASSERT_TRUE(dst_period(&start, &end, transition(u16(month), u16(week), 0), transition(1, 1, 0),
                               u64(utc_filetime(year, 6, 1))));
        ASSERT_EQ(start, utc_filetime(year, month, nth_sunday_reference(year, month, week)))
            << year << "-" << month << " week " << week;
      }
    }
  }
}

TEST(DstPeriod, Failures) {
  const std::vector<u16> good = transition(3, 5, 1);
  struct Case {
    const char* name;
    std::vector<u16> start_rule, end_rule;
    u64 filetime;
  };
  const Case cases[] = {
      {"empty end rule", good, {}, u64(utc_filetime(2026, 1, 1))},
      {"seven words", {0, 3, 5, 1, 0, 0, 0}, good, u64(utc_filetime(2026, 1, 1))},
      {"nine words", {0, 3, 5, 1, 0, 0, 0, 0, 0}, good, u64(utc_filetime(2026, 1, 1))},
      {"month 0", transition(0, 1, 1), good, u64(utc_filetime(2026, 1, 1))},
      {"month 13", good, transition(13, 1, 1), u64(utc_filetime(2026, 1, 1))},
      {"no FILETIME", good, good, 0x8000000000000000ULL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    i64 start = 7;
    i64 end = 7;
    EXPECT_FALSE(dst_period(&start, &end, c.start_rule, c.end_rule, c.filetime));
    EXPECT_EQ(start, 7);
    EXPECT_EQ(end, 7);
    const time_zone_rule rule{c.start_rule, c.end_rule, 3600, 3600, 0};
    EXPECT_EQ(utc_to_local_by_rule(i64(c.filetime), rule), 0);
    EXPECT_EQ(local_to_utc_by_rule(i64(c.filetime), rule), 0);
    EXPECT_EQ(dst_start(rule, c.filetime), 0);
    EXPECT_EQ(dst_end(rule, c.filetime), 0);
    std::ostringstream out;
    write_dst_start(rule, out, time_format_spec(), "yyyy-mm-dd", "hh:mm:ss", false, c.filetime);
    write_dst_end(rule, out, time_format_spec(), "yyyy-mm-dd", "hh:mm:ss", false, c.filetime);
    EXPECT_EQ(out.str(), "");
  }
  // Time 0 means now: this year's period.
  const i64 now_start = dst_start(eu_rule(3600), 0);
  EXPECT_GT(now_start, utc_filetime(2024, 1, 1));
  EXPECT_EQ(now_start, dst_start(eu_rule(3600), u64(time(nullptr) + 11644473600LL) * u64(second)));
}

TEST(TimeZoneRule, ConversionsAtTheBounds) {
  struct Case {
    const char* name;
    time_zone_rule rule;
    i64 utc;
    i64 local;
    bool repeated_hour = false;  // the local clock shows it twice: read back as standard time
  };
  const time_zone_rule berlin = eu_rule(3600);
  const i64 start = utc_filetime(2026, 3, 29, 1);
  const i64 end = utc_filetime(2026, 10, 25, 1);
  const i64 py_end = utc_filetime(2026, 3, 22, 3);
  const i64 py_start = utc_filetime(2026, 10, 4, 4);
  const Case cases[] = {
      {"before the start", berlin, start - second, start - second + hour},
      {"the start is daylight", berlin, start, start + 2 * hour},
      {"before the end", berlin, end - second, end - second + 2 * hour, true},
      {"the end is standard", berlin, end, end + hour},
      {"southern January is daylight", paraguay, utc_filetime(2026, 1, 15, 12), utc_filetime(2026, 1, 15, 9)},
      {"southern before the end", paraguay, py_end - second, py_end - second - 3 * hour, true},
      {"southern end is standard", paraguay, py_end, py_end - 4 * hour},
      {"southern July is standard", paraguay, utc_filetime(2026, 7, 15, 12), utc_filetime(2026, 7, 15, 8)},
      {"southern start is daylight", paraguay, py_start, py_start - 3 * hour},
      {"southern December is daylight", paraguay, utc_filetime(2026, 12, 31, 23), utc_filetime(2026, 12, 31, 20)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(utc_to_local_by_rule(c.utc, c.rule), c.local);
    EXPECT_EQ(local_to_utc_by_rule(c.local, c.rule), c.repeated_hour ? c.utc + hour : c.utc);
  }
  // A period that starts where it ends never applies the daylight bias.
  const time_zone_rule empty{transition(3, 5, 1), transition(3, 5, 1), 3600, 3600, 0};
  EXPECT_EQ(utc_to_local_by_rule(start, empty), start + hour);
  EXPECT_EQ(local_to_utc_by_rule(start + hour, empty), start);
  // The repeated local hour after the end reads as standard time; the skipped one as well.
  EXPECT_EQ(local_to_utc_by_rule(end + hour + hour / 2, berlin), end + hour / 2);
  EXPECT_EQ(local_to_utc_by_rule(start + hour + hour / 2, berlin), start + hour / 2);
  // Results before 1601 are no FILETIME.
  const time_zone_rule far_west{transition(3, 5, 1), transition(10, 5, 1), -3600, 0, 0};
  EXPECT_EQ(utc_to_local_by_rule(hour / 2, far_west), 0);
  EXPECT_EQ(utc_to_local_by_rule(-1, berlin), 0);
}

TEST(TimeZoneRule, WritesTransitionsByFormat) {
  const time_zone_rule berlin = eu_rule(3600);
  const u64 in_2026 = u64(utc_filetime(2026, 7, 1));
  std::ostringstream out;
  write_dst_start(berlin, out, time_format_spec(), "dd/mm/yyyy", "hh:mm:ss.xxx", false, in_2026);
  EXPECT_EQ(out.str(), "29/03/2026 01:00:00");
  out.str("");
  time_format_spec spec;
  ASSERT_TRUE(parse_date_time_format(spec, "yyyy-mmm-dd", "hh:mm:ss.xxxxxx", false));
  write_dst_end(berlin, out, spec, "dd/mm/yyyy", "", false, in_2026);
  EXPECT_EQ(out.str(), "2026-Oct-25 01:00:00");
}

// ---- Against the tz database ----

struct zdump_line {
  i64 utc = 0;
  i64 local = 0;
  int isdst = 0;
  long gmtoff = 0;
};

int month_of(const char* name) {
  static const char* const names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int i = 0; i < 12; ++i) {
    if (std::string(name) == names[i]) return i + 1;
  }
  return 0;
}

// The transition lines (the second before each transition and the transition itself) of
// `zdump -v` for the years first..last; false when zdump cannot be run.
bool zdump_lines(const std::string& zone, int first, int last, std::vector<zdump_line>& out) {
  const std::string command =
      "zdump -v -c " + std::to_string(first) + "," + std::to_string(last + 1) + " " + zone + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    char utc_month[8], local_month[8];
    int ud, uh, um, us, uy, ld, lh, lm, ls, ly, isdst;
    long gmtoff;
    if (std::sscanf(line, "%*s %*s %7s %d %d:%d:%d %d UT = %*s %7s %d %d:%d:%d %d %*s isdst=%d gmtoff=%ld", utc_month,
                    &ud, &uh, &um, &us, &uy, local_month, &ld, &lh, &lm, &ls, &ly, &isdst, &gmtoff) != 14) {
      continue;
    }
    out.push_back({utc_filetime(uy, month_of(utc_month), ud, uh, um, us),
                   utc_filetime(ly, month_of(local_month), ld, lh, lm, ls), isdst, gmtoff});
  }
  return pclose(pipe) == 0 && !out.empty();
}

struct zone_case {
  const char* zone;
  time_zone_rule rule;
  int first_year;
  int last_year;
};

void check_against_zdump(const zone_case& c) {
  SCOPED_TRACE(c.zone);
  std::vector<zdump_line> lines;
  if (!zdump_lines(c.zone, c.first_year - 1, c.last_year + 1, lines)) {
    GTEST_SKIP() << "zdump or the zone " << c.zone << " is not installed (package tzdata): skipped";
  }
  std::map<int, std::vector<i64>> starts;
  std::map<int, std::vector<i64>> ends;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const zdump_line& l = lines[i];
    // The local clock and its offset at each listed instant.
    const int year = SYSTEMTIME(u64(l.utc)).wYear;
    if (year < c.first_year || year > c.last_year) continue;
    EXPECT_EQ(utc_to_local_by_rule(l.utc, c.rule), l.local) << "at line " << i;
    EXPECT_EQ(l.local - l.utc, i64(l.gmtoff) * second);
    const bool is_transition = i > 0 && lines[i - 1].utc == l.utc - second && lines[i - 1].isdst != l.isdst;
    if (is_transition) (l.isdst ? starts : ends)[year].push_back(l.utc);
  }
  // The database's offset at utc, and the UTC instant a local clock time reads back as: the
  // same instant, but standard time in the repeated hour before a transition back.
  auto offset_at = [&lines](i64 utc) {
    long gmtoff = 0;
    for (const zdump_line& l : lines) {
      if (l.utc <= utc) gmtoff = l.gmtoff;
    }
    return i64(gmtoff) * second;
  };
  auto read_back = [&lines](i64 utc) {
    for (std::size_t i = 1; i < lines.size(); ++i) {
      const i64 back = i64(lines[i - 1].gmtoff - lines[i].gmtoff) * second;
      if (lines[i - 1].utc == lines[i].utc - second && back > 0 && utc >= lines[i].utc - back && utc < lines[i].utc) {
        return utc + back;
      }
    }
    return utc;
  };
  std::mt19937_64 random(20260101);
  const bool no_daylight_time = c.rule.start_rule == c.rule.end_rule;
  for (int year = c.first_year; year <= c.last_year; ++year) {
    SCOPED_TRACE(year);
    const u64 mid_year = u64(utc_filetime(year, 6, 30));
    if (no_daylight_time) {
      EXPECT_TRUE(starts[year].empty() && ends[year].empty());
      EXPECT_EQ(dst_start(c.rule, mid_year), dst_end(c.rule, mid_year));
    } else {
      ASSERT_EQ(starts[year].size(), 1u);
      ASSERT_EQ(ends[year].size(), 1u);
      EXPECT_EQ(dst_start(c.rule, mid_year), starts[year][0]);
      EXPECT_EQ(dst_end(c.rule, mid_year), ends[year][0]);
    }
    // The middle of every month and instants at random across the year, with the offset of the
    // database's last transition before each, both ways.
    std::vector<i64> instants;
    for (int month = 1; month <= 12; ++month) instants.push_back(utc_filetime(year, month, 15, 12));
    const i64 year_start = utc_filetime(year, 1, 1);
    const i64 year_length = utc_filetime(year + 1, 1, 1) - year_start;
    for (int k = 0; k < 150; ++k) instants.push_back(year_start + i64(random() % u64(year_length)));
    for (const i64 utc : instants) {
      const i64 local = utc + offset_at(utc);
      EXPECT_EQ(utc_to_local_by_rule(utc, c.rule), local) << "UTC " << utc;
      EXPECT_EQ(local_to_utc_by_rule(local, c.rule), read_back(utc)) << "UTC " << utc;
    }
  }
}

TEST(TimeZoneRule, MatchesTheTzDatabase) {
  const zone_case cases[] = {
      {"Europe/Berlin", eu_rule(3600), 1996, 2037},
      {"Europe/London", eu_rule(0), 1996, 2037},
      {"America/New_York", us_eastern, 2007, 2037},
      {"America/Asuncion", paraguay, 2013, 2023},
      {"America/Montevideo", uruguay, 2007, 2014},
      {"America/Sao_Paulo", brazil_since_2019, 2020, 2039},
  };
  for (const zone_case& c : cases) check_against_zdump(c);
}

// ---- Zone-stamped texts ----

TEST(GmtTimeText, WritesAndReads) {
  std::string text = "old";
  ASSERT_TRUE(gmt_time_text(text, u64(utc_filetime(2026, 12, 8, 18, 38, 5))));
  EXPECT_EQ(text, "Tue, 8 Dec 2026 18:38:05 GMT");
  ASSERT_TRUE(gmt_time_text(text, u64(utc_filetime(2000, 2, 29, 0, 0, 0))));
  EXPECT_EQ(text, "Tue, 29 Feb 2000 00:00:00 GMT");
  EXPECT_FALSE(gmt_time_text(text, 0x8000000000000000ULL));
  EXPECT_EQ(text, "");

  // Now, read back.
  ASSERT_TRUE(gmt_time_text(text));
  const i64 now = (i64(time(nullptr)) + 11644473600LL) * second;
  const i64 read = i64(parse_gmt_time_text(text));
  EXPECT_LE(now - read, 2 * second) << text;
  EXPECT_GE(now - read, -2 * second) << text;

  struct Case {
    const char* text;
    i64 expected;
  };
  const Case cases[] = {
      {"Tue, 08 Dec 2026 18:38:05 GMT", utc_filetime(2026, 12, 8, 18, 38, 5)},
      {"Tue, 8 Dec 2026 18:38:05 GMT", utc_filetime(2026, 12, 8, 18, 38, 5)},
      {"08 Dec 2026 18:38:05 GMT", utc_filetime(2026, 12, 8, 18, 38, 5)},
      {"Tue,   8 Dec 2026 18:38:05 GMT  ", utc_filetime(2026, 12, 8, 18, 38, 5)},
      {"Tue, 8 Dec 26 1:2 G", 0},  // 19 characters
      {"Tue, 8 Dec 26 1:2 GM", utc_filetime(2026, 12, 8, 1, 2, 0)},
      {"Tue, 8 Dec 2026 18:38:05.25 GMT", utc_filetime(2026, 12, 8, 18, 38, 5) + second / 4},
      {"Tue, 31 Feb 2026 18:38:05 GMT", 0},
      {"Tue, 0 Dec 2026 18:38:05 GMT", 0},
      {"Tue, 8 Xyz 2026 18:38:05 GMT", 0},
      {"Tue, 8 Dec 2026 25:38:05 GMT", 0},
      {"Tue,8-Dec-2026T18:38:05GMT", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(i64(parse_gmt_time_text(c.text)), c.expected);
  }
}

TEST(MailDateText, ZoneFromBias) {
  const i64 seconds = (utc_filetime(2026, 12, 8, 18, 38, 5) - i64(filetime_unix_epoch)) / second;
  struct Case {
    int bias;
    const char* expected;
  };
  const Case cases[] = {
      {300, "Tue; 08 Dec 2026 18:38:05 -0500"}, {-330, "Tue; 08 Dec 2026 18:38:05 +0530"},
      {0, "Tue; 08 Dec 2026 18:38:05 +0000"},   {90, "Tue; 08 Dec 2026 18:38:05 -0130"},
      {30, "Tue; 08 Dec 2026 18:38:05 -0030"},  {-30, "Tue; 08 Dec 2026 18:38:05 +0030"},
      {-59, "Tue; 08 Dec 2026 18:38:05 +0059"}, {720, "Tue; 08 Dec 2026 18:38:05 -1200"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bias);
    std::string text;
    ASSERT_TRUE(mail_date_text(text, seconds, c.bias));
    EXPECT_EQ(text, c.expected);
  }
  std::string text = "kept";
  EXPECT_FALSE(mail_date_text(text, -5, 0));
  EXPECT_FALSE(mail_date_text(text, i64(40000000000), 0));  // after 3000
  EXPECT_EQ(text, "kept");
  ASSERT_TRUE(mail_date_text(text, 0, 0));  // now
  EXPECT_EQ(text.size(), 31u);
}

TEST(UnixToIso8601Text, Forms) {
  struct Case {
    const char* name;
    i64 seconds;
    float hours;
    const char* expected;
  };
  const Case cases[] = {
      {"epoch", 0, 0, "1970-01-01T00:00:00Z"},
      {"leap day of a 400 year", 951782400, 0, "2000-02-29T00:00:00Z"},
      {"not leap in 2100", 4107542400, 0, "2100-03-01T00:00:00Z"},
      {"half-hour offset", 0, 5.5f, "1970-01-01T05:30:00Z"},
      {"negative offset", 86400, -1, "1970-01-01T23:00:00Z"},
      {"year's last second", 1767225599, 0, "2025-12-31T23:59:59Z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text;
    ASSERT_TRUE(unix_to_iso8601_text(c.seconds, text, c.hours));
    EXPECT_EQ(text, c.expected);
  }
  std::string text = "kept";
  EXPECT_FALSE(unix_to_iso8601_text(-1, text, 0));
  EXPECT_FALSE(unix_to_iso8601_text(100, text, -1));  // before 1970
  EXPECT_FALSE(unix_to_iso8601_text(100, text, 1e9f));
  EXPECT_EQ(text, "kept");
}

}  // namespace
