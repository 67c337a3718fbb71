#include "framework/time/qz_time_parse.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "framework/text/qz_bytes.h"
#include "framework/text/qz_number_parse.h"
#include "framework/text/qz_replace.h"
#include "framework/text/qz_string.h"
#include "framework/text/uni_unicode.h"
#include "framework/time/qz_time.h"
#include "framework/time/qz_time_format.h"
#include "framework/time/qz_time_scan.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Zero stands for a field the text left open; every other value must exist in
// the calendar, so February 30 is refused rather than rolled into March.
bool fits_calendar(u32 day, u32 month, u32 year) {
  if (month > 12 || day > 31) return false;
  if (day == 0 || month == 0) return true;
  return day <= u32(days_per_month[is_leap_year(year) ? 1 : 0][month - 1]);
}

// A date a record can hold: no open field and a year that fits its 16 bits.
bool is_whole_date(u32 day, u32 month, u32 year) { return day != 0 && month != 0 && year <= 0xFFFF; }

// Reads the field at cursor up to separator; a null cursor means the text has
// been read to its end, and reading on fails.
bool next_field(const char*& cursor, char separator, std::string& field) {
  if (!cursor) return false;
  const char* end = separator ? std::strchr(cursor, separator) : nullptr;
  if (end) {
    field.assign(cursor, end);
    cursor = end + 1;
  } else {
    field.assign(cursor);
    cursor = nullptr;
  }
  return true;
}

bool month_of_name(std::string field, u32* month) {
  static std::map<std::string, u32> names;
  month_name_map(names);
  const auto found = names.find(to_lower(field));
  if (found == names.end()) return false;
  *month = found->second;
  return true;
}

bool read_date_field(const std::string& field, char letter, u32* day, u32* month, u32* year) {
  u32* target = letter == 'D' ? day : letter == 'M' ? month : letter == 'Y' ? year : nullptr;
  return target && parse_number_string(field, *target);
}

// The parts of a clock text before am/pm and range checks.
struct clock_text {
  double hour = 0;
  double minute = 0;
  double seconds = 0;
  bool am = false;
  bool pm = false;
};

constexpr size_t clock_part_limit = 31;

// A clock part: blanks, digits with an optional fraction, blanks; the last part
// may end in "z" (the UTC mark of ISO stamps). Anything else is refused rather
// than read as 0 or cut short.
bool read_clock_number(std::string part, bool last, double& value) {
  trim_whitespace(part);
  if (last && !part.empty() && part.back() == 'z') part.pop_back();
  size_t i = 0;
  while (i < part.size() && is_digit(part[i])) ++i;
  if (i == 0) return false;
  if (i < part.size() && part[i] == '.') {
    ++i;
    while (i < part.size() && is_digit(part[i])) ++i;
  }
  if (i != part.size()) return false;
  value = std::strtod(part.c_str(), nullptr);
  return true;
}

// End (exclusive) of a part that stops before the "am"/"pm" mark at m: the
// letter before m and one blank before that letter are dropped.
size_t end_before_mark(const std::string& text, size_t m) {
  size_t end = m - 1;
  if (end > 0 && text[end - 1] == ' ') --end;
  return end;
}

bool split_clock_text(const char* source, clock_text& out) {
  if (!source) return false;
  std::string text(source);
  trim_whitespace(text);
  to_lower(text);
  const size_t c1 = text.find(':');
  if (c1 == std::string::npos) return false;
  const size_t c2 = text.find(':', c1 + 1);
  const size_t m = text.find('m', c1 + 1);
  const bool has_mark = m != std::string::npos;
  if (has_mark) {
    // The mark ends the text and is "am" or "pm"; other letters are no clock.
    if (m + 1 != text.size() || (text[m - 1] != 'a' && text[m - 1] != 'p')) return false;
    out.am = text[m - 1] == 'a';
    out.pm = text[m - 1] == 'p';
  }
  auto part = [&](size_t begin, size_t end, std::string& piece) {
    if (end < begin || end - begin > clock_part_limit) return false;
    piece = text.substr(begin, end - begin);
    return true;
  };
  std::string hour, minute, seconds;
  if (c1 == 0 || !part(0, c1, hour)) return false;
  const size_t minute_end = c2 != std::string::npos ? c2 : has_mark ? end_before_mark(text, m) : text.size();
  if (!part(c1 + 1, minute_end, minute) || minute.empty()) return false;
  const bool has_seconds = c2 != std::string::npos;
  if (has_seconds && !part(c2 + 1, has_mark ? end_before_mark(text, m) : text.size(), seconds)) return false;
  if (!read_clock_number(hour, false, out.hour)) return false;
  if (!read_clock_number(minute, !has_seconds && !has_mark, out.minute)) return false;
  if (has_seconds && !read_clock_number(seconds, !has_mark, out.seconds)) return false;
  return true;
}

// Whole hour and minute, seconds with their fraction, on the 24-hour clock:
// 12 am is hour 0 and 12 pm hour 12. "24:00[:00]" stays hour 24 (the day's end);
// a leap second (":60") becomes the minute's last second, its fraction kept.
bool read_clock(const char* text, u32& hour, u32& minute, double& seconds) {
  clock_text parts;
  if (!split_clock_text(text, parts)) return false;
  double whole_hour = std::trunc(parts.hour);
  if (parts.pm && whole_hour < 12) whole_hour += 12;
  if (parts.am && whole_hour == 12) whole_hour = 0;
  const double whole_minute = std::trunc(parts.minute);
  const bool end_of_day = parts.hour == 24 && parts.minute == 0 && parts.seconds == 0 && !parts.am && !parts.pm;
  if ((whole_hour > 23 && !end_of_day) || whole_minute > 59 || parts.seconds >= 61) return false;
  hour = u32(whole_hour);
  minute = u32(whole_minute);
  seconds = parts.seconds >= 60 ? parts.seconds - 1 : parts.seconds;
  return true;
}

// The record of a date and a clock time; hour 24 is the next day's 00:00. The
// milliseconds are rounded to the nearest, so a fraction of .9995 or more gives
// 1000. False when the next day's year does not fit the record.
bool fill_systemtime(SYSTEMTIME& out, u32 day, u32 month, u32 year, u32 hour, u32 minute, double seconds) {
  if (hour == 24) {
    hour = 0;
    if (++day > u32(days_per_month[is_leap_year(year) ? 1 : 0][month - 1])) {
      day = 1;
      if (++month > 12) {
        month = 1;
        if (++year > 0xFFFF) return false;
      }
    }
  }
  out = SYSTEMTIME();
  out.wYear = u16(year);
  out.wMonth = u16(month);
  out.wDay = u16(day);
  out.wHour = u16(hour);
  out.wMinute = u16(minute);
  const double whole = std::trunc(seconds);
  out.wSecond = u16(whole);
  out.wMilliseconds = u16((seconds - whole) * 1000 + 0.5);
  return true;
}

bool present(const char* text) { return text && *text; }

// "date time" at the first blank; without a blank the whole text is the date
// at midnight.
void split_date_and_clock(const char* text, std::string& date, std::string& clock) {
  const char* blank = std::strchr(text, ' ');
  if (blank) {
    date.assign(text, blank);
    clock.assign(blank + 1);
  } else {
    date.assign(text);
    clock = "00:00:00";
  }
}

// The date and time parts of an ISO stamp; a "Z" is dropped when it is the time's
// only one and its last character.
void split_iso8601(const std::string& text, size_t t, std::string& date, std::string& clock) {
  date = text.substr(0, t);
  clock = text.substr(t + 1);
  const size_t z = clock.find('Z');
  if (z != std::string::npos && z + 1 == clock.size()) clock.pop_back();
}

}  // namespace

void month_name_map(std::map<std::string, u32>& map) {
  if (!map.empty()) return;
  static const char* const names[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                      "jul", "aug", "sep", "oct", "nov", "dec"};
  for (u32 i = 0; i < 12; ++i) map.emplace(names[i], i + 1);
}

bool parse_date_fields(const char* text, std::string& order, char separator, u32* day, u32* month, u32* year) {
  if (!day || !month || !year) return false;
  *day = *month = *year = 0;
  if (order.size() < 3 || !text) return false;
  const char* cursor = text;
  std::string field;
  next_field(cursor, separator, field);
  const size_t name_at = order.find("Mon");
  to_upper(order);
  std::string mon = "MON";
  replace_first(order, mon, "M", false);
  // "Mon" alone, or with one letter, leaves fewer than three fields named.
  if (order.size() < 3) return false;

  if (name_at == 0) {
    if (!month_of_name(field, month)) return false;
  } else if (!read_date_field(field, order[0], day, month, year)) {
    return false;
  }

  if (!next_field(cursor, separator, field)) return false;
  if (field.empty() && !next_field(cursor, separator, field)) return false;
  if (name_at != std::string::npos && name_at != 0) {
    if (!month_of_name(field, month)) return false;
  } else if (!read_date_field(field, order[1], day, month, year)) {
    return false;
  }

  do {
    if (!next_field(cursor, separator, field)) return false;
  } while (field.empty());
  if (!read_date_field(field, order[2], day, month, year)) return false;

  if (*year < 100) *year += *year > 30 ? 1900 : 2000;
  return fits_calendar(*day, *month, *year);
}

int month_abbrev_number(const char* text) {
  if (!text) return -1;
  for (int month = 1; month <= 12; ++month) {
    std::string candidate(text);
    std::string abbrev(month_abbrev(month));
    if (compare_prefix_nocase(candidate, abbrev, 3)) return month;
  }
  return -1;
}

bool parse_short_date(const char* source, u32* day, u32* month, u32* year) {
  if (!source || !day || !month || !year) return false;
  *day = *month = *year = 0;
  // Read in place: a text of any length is fine, nothing is copied to a buffer.
  const std::string text(source);
  const char separator = text.find('-') != std::string::npos ? '-' : text.find('/') != std::string::npos ? '/' : 0;
  if (!separator) return false;
  const size_t s1 = text.find(separator);
  const size_t s2 = text.find(separator, s1 + 1);
  if (s2 == std::string::npos || s1 > 2 || s2 - s1 - 1 > 3 || s2 + 1 >= text.size()) return false;
  const std::string first = text.substr(0, s1);
  const std::string second = text.substr(s1 + 1, s2 - s1 - 1);
  auto value_of = [](const std::string& field) -> long {
    return !field.empty() && is_digit(field[0]) ? std::atol(field.c_str()) : month_abbrev_number(field.c_str());
  };

  const size_t year_end = text.find(' ', s2 + 1);
  const std::string year_field = text.substr(s2 + 1, year_end == std::string::npos ? std::string::npos : year_end - s2 - 1);
  if (year_field.empty() || !is_digit(year_field[0])) return false;
  long year_value = std::atol(year_field.substr(0, 4).c_str());
  if (year_field.size() == 2) year_value += year_value < 31 ? 2000 : 1900;

  const bool month_first = !second.empty() && is_digit(second[0]);
  const long month_value = month_first ? value_of(first) : value_of(second);
  const long day_value = month_first ? value_of(second) : value_of(first);
  if (month_value < 1 || month_value > 12 || day_value < 1 || day_value > 31) return false;
  if (!fits_calendar(u32(day_value), u32(month_value), u32(year_value))) return false;
  *day = u32(day_value);
  *month = u32(month_value);
  *year = u32(year_value);
  return true;
}

bool parse_time_hms(const char* text, u32* hour, u32* minute, double* seconds) {
  if (!hour || !minute || !seconds) return false;
  *hour = *minute = 0;
  *seconds = 0;
  return read_clock(text, *hour, *minute, *seconds);
}

bool parse_time_hms_u32(const char* text, u32* hour, u32* minute, u32* seconds) {
  if (!seconds) return false;
  double exact = 0;
  const bool ok = parse_time_hms(text, hour, minute, &exact);
  *seconds = u32(exact);
  return ok;
}

bool parse_time_of_day_ms(const char* text, u32* milliseconds) {
  if (!milliseconds) return false;
  *milliseconds = 0;
  u32 hour = 0, minute = 0;
  double seconds = 0;
  if (!read_clock(text, hour, minute, seconds)) return false;
  *milliseconds = hour * 3600000 + minute * 60000 + u32(seconds * 1000);
  return true;
}

bool parse_date_time_to_systemtime(const char* date, const char* time, const std::string& order, char separator,
                                   SYSTEMTIME* out) {
  if (!present(date) || !out) return false;
  std::string order_copy = order;
  u32 day = 0, month = 0, year = 0;
  if (!parse_date_fields(date, order_copy, separator, &day, &month, &year)) return false;
  if (!is_whole_date(day, month, year)) return false;
  u32 hour = 0, minute = 0;
  double seconds = 0;
  if (present(time) && !parse_time_hms(time, &hour, &minute, &seconds)) return false;
  return fill_systemtime(*out, day, month, year, hour, minute, seconds);
}

bool parse_iso8601_to_systemtime(const char* text, const std::string& order, char separator, SYSTEMTIME* out) {
  if (!text) return false;
  const std::string stamp(text);
  const size_t t = stamp.find('T');
  if (t == std::string::npos) return false;
  std::string date, clock;
  split_iso8601(stamp, t, date, clock);
  return parse_date_time_to_systemtime(date.c_str(), clock.c_str(), order, separator, out);
}

u64 parse_iso8601_to_filetime(const std::string& text) {
  std::string date = text, clock;
  const size_t t = text.find('T');
  if (t != std::string::npos) split_iso8601(text, t, date, clock);
  // An empty date fails here too: without a date there is no instant to name.
  std::string order = "YMD";
  u32 day = 0, month = 0, year = 0;
  if (!parse_date_fields(date.c_str(), order, '-', &day, &month, &year) || !is_whole_date(day, month, year)) {
    return 0;
  }
  u32 hour = 0, minute = 0;
  double seconds = 0;
  if (!clock.empty() && !parse_time_hms(clock.c_str(), &hour, &minute, &seconds)) return 0;
  struct tm fields {};
  fields.tm_year = int(year) - 1900;
  fields.tm_mon = int(month) - 1;
  fields.tm_mday = int(day);
  fields.tm_hour = int(hour);
  fields.tm_min = int(minute);
  const double whole = std::trunc(seconds);
  fields.tm_sec = int(whole);
  const u64 filetime = broken_down_time_to_filetime(fields, 0);
  // Test before adding the fraction: "no time" plus a fraction wraps to a small,
  // plausible value.
  if (filetime >> 63) return 0;
  const u64 nanoseconds = u64((seconds - whole) * 1000000000 + 0.5);
  const u64 result = filetime + nanoseconds / 100;
  return result >> 63 ? 0 : result;
}

bool parse_short_date_time_to_systemtime(const char* date, const char* time, SYSTEMTIME* out) {
  if (!present(date) || !out) return false;
  u32 day = 0, month = 0, year = 0;
  if (!parse_short_date(date, &day, &month, &year)) return false;
  u32 hour = 0, minute = 0;
  double seconds = 0;
  if (present(time) && !parse_time_hms(time, &hour, &minute, &seconds)) return false;
  return fill_systemtime(*out, day, month, year, hour, minute, seconds);
}

bool parse_short_date_time_to_systemtime_wide(const wchar_t* date, const wchar_t* time, SYSTEMTIME* out) {
  const std::string date_text = date ? wstring_to_utf8(date) : std::string();
  const std::string time_text = time ? wstring_to_utf8(time) : std::string();
  return parse_short_date_time_to_systemtime(date_text.empty() ? nullptr : date_text.c_str(),
                                             time_text.empty() ? nullptr : time_text.c_str(), out);
}

bool parse_short_date_time_to_tm(const char* date, const char* time, struct tm* out) {
  if ((!date && !time) || !out) return false;
  u32 day = 0, month = 0, year = 0, milliseconds = 0;
  if (date && !parse_short_date(date, &day, &month, &year)) return false;
  if (time && !parse_time_of_day_ms(time, &milliseconds)) return false;
  *out = tm{};
  out->tm_year = int(year) - 1900;
  out->tm_mon = int(month) - 1;
  out->tm_mday = int(day);
  const u32 hour = milliseconds / 3600000;
  const u32 minute = milliseconds / 60000 - hour * 60;
  out->tm_hour = int(hour);
  out->tm_min = int(minute);
  out->tm_sec = int(milliseconds / 1000 - minute * 60 - hour * 3600);
  return true;
}

int utc_offset_of_text(bool* is_dst, const char* text) {
  if (is_dst) *is_dst = false;
  if (!text) return 0;
  std::string date, clock;
  split_date_and_clock(text, date, clock);
  struct tm fields {};
  if (!parse_short_date_time_to_tm(date.c_str(), clock.c_str(), &fields)) return 0;
  u8 daylight_now = 0;
  const int offset = utc_offset_of_local_tm(daylight_now, fields);
  if (is_dst) *is_dst = daylight_now != 0;
  return offset;
}

u64 hex_text_to_u64(const std::string& text) {
  if (text.size() < 9) return std::strtoull(text.c_str(), nullptr, 16);
  const size_t split = text.size() - 8;
  const u64 high = std::strtoull(text.substr(0, split).c_str(), nullptr, 16);
  const u64 low = std::strtoull(text.c_str() + split, nullptr, 16);
  return (high << 32) + u32(low);
}

namespace qz {

time::time(const char* text, bool utc_fields) {
  if (!text) return;
  std::string date, clock;
  split_date_and_clock(text, date, clock);
  struct tm fields {};
  if (parse_short_date_time_to_tm(date.c_str(), clock.c_str(), &fields)) set_from_tm(fields, 0, utc_fields);
}

time::time(const char* text, std::string& order, char separator) {
  if (!text) return;
  const std::string whole(text);
  std::string date = whole, clock = "00:00:00";
  if (separator != ' ') {
    size_t split = whole.find(' ');
    if (split == std::string::npos) split = whole.find('T');
    if (split != std::string::npos) {
      date = whole.substr(0, split);
      clock = whole.substr(split + 1);
    }
  } else {
    const size_t last = whole.rfind(' ');
    if (last != std::string::npos) {
      std::string tail = whole.substr(last + 1);
      trim_whitespace(tail);
      date = whole.substr(0, last);
      if (!tail.empty() && is_digit(tail[0])) {
        clock = whole.substr(last + 1);
      } else if (last > 0) {
        // A trailing word (a zone name): the time is the token before it. With
        // no blank before that token the text holds a date and the word only.
        const size_t before = whole.rfind(' ', last - 1);
        if (before != std::string::npos) {
          date = whole.substr(0, before);
          clock = whole.substr(before + 1, last - before - 1);
        }
      }
    }
  }
  if (order.find("Mon") != std::string::npos) {
    std::string order_copy = order;
    u32 day = 0, month = 0, year = 0;
    if (!parse_date_fields(date.c_str(), order_copy, separator, &day, &month, &year)) return;
    date = std::to_string(year) + "/" + std::to_string(month) + "/" + std::to_string(day);
    order = "YMD";
    separator = '/';
  }
  SYSTEMTIME fields;
  if (!parse_date_time_to_systemtime(date.c_str(), clock.c_str(), order, separator, &fields)) return;
  set_from_tm(tm_from_systemtime(fields), fields.wMilliseconds, true);
}

time::time(const char* text, time_kind kind) {
  if (!text) return;
  switch (kind) {
    case time_kind_filetime:
    case time_kind_chrome:
    case time_kind_firefox:
    case time_kind_vhd:
      // The numeric rules of each kind, exact: a value too large for its kind
      // is no time, rather than a product wrapped into a plausible one.
      set_by_kind(hex_text_to_u64(text), kind);
      break;
    case time_kind_unix: set_by_kind_signed(std::strtoll(text, nullptr, 10), kind); break;
    default: break;
  }
}

}  // namespace qz

bool guess_time_kind(u64* filetime, u32* kind, u64 value, int upper_year, int lower_year) {
  if (filetime) *filetime = 0;
  if (kind) *kind = 0;
  if (value < 0x1000000) return false;
  const qz::time upper(("01/01/" + std::to_string(upper_year)).c_str(), false);
  const qz::time lower(("01/01/" + std::to_string(lower_year)).c_str(), false);
  // Without an upper bound there is no window; without a lower one, the valid
  // times (from 1900 on) bound it.
  if (!upper.valid) return false;
  const i64 max_filetime = i64(upper.filetime);
  const i64 min_filetime = lower.valid ? i64(lower.filetime) : 0;
  constexpr u32 guessed_kinds = time_kind_filetime | time_kind_chrome | time_kind_firefox | time_kind_unix |
                                time_kind_ntp | time_kind_cocoa | time_kind_hfs_plus;
  time_hit_map hits;
  bool found = false;
  const u64 candidates[] = {value, byte_swap64(value)};
  for (int i = 0; i < 2 && !found; ++i) {
    if (!test_value_as_times(hits, candidates[i], max_filetime, min_filetime, 0, i == 0, true, guessed_kinds)) {
      continue;
    }
    const time_stats& first = hits.begin()->second;
    if (filetime) *filetime = first.filetime;
    if (kind) *kind = first.kind;
    found = first.filetime != 0;
  }
  return found;
}

bool guess_time_kind_filetime(u64* filetime, u64 value, int upper_year, int lower_year) {
  return guess_time_kind(filetime, nullptr, value, upper_year, lower_year);
}
