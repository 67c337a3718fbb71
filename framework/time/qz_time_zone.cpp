#include "framework/time/qz_time_zone.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "framework/text/qz_replace.h"
#include "framework/text/qz_string.h"
#include "framework/time/qz_clock.h"
#include "framework/time/qz_filetime.h"
#include "framework/time/qz_time.h"
#include "framework/time/qz_time_parse.h"
#include "framework/time/qz_time_text.h"

namespace {

constexpr std::size_t transition_words = 8;
constexpr i64 ticks_per_second = i64(filetime_ticks_per_second);

// The transition of record in year; false for a month outside 1..12 or no FILETIME.
bool transition_in_year(i64& out, const std::vector<u16>& record, u16 year) {
  const u16 month = record[1];
  if (month < 1 || month > 12) return false;
  SYSTEMTIME first_day;
  first_day.wYear = year;
  first_day.wMonth = month;
  first_day.wDay = 1;
  const u64 first_day_time = FILETIME(first_day).value();
  if (first_day_time >> 63) return false;
  const u32 first_weekday = SYSTEMTIME(first_day_time).wDayOfWeek;
  // The n-th Sunday; a week the month lacks (week 5 of a month with four Sundays) is the last.
  const u32 week = record[2] == 0 ? 1 : record[2];
  const u32 days_in_month = u32(days_per_month[is_leap_year(year) ? 1 : 0][month - 1]);
  u32 day = (7 - first_weekday) % 7 + 1;
  day += 7 * (week < 5 ? week - 1 : 4);
  while (day > days_in_month) day -= 7;

  SYSTEMTIME at;
  at.wYear = year;
  at.wMonth = month;
  at.wDayOfWeek = record[7];
  at.wDay = u16(day);
  at.wHour = record[3];
  at.wMinute = record[4];
  at.wSecond = record[5];
  at.wMilliseconds = record[6];
  const u64 transition = FILETIME(at).value();
  if (transition >> 63) return false;
  out = i64(transition);
  return true;
}

// dst_period of an explicit time (0 is 1601, not now).
bool period_of(i64& start, i64& end, const std::vector<u16>& start_rule, const std::vector<u16>& end_rule,
               u64 filetime) {
  if (start_rule.size() != transition_words || end_rule.size() != transition_words) return false;
  SYSTEMTIME st;
  if (!filetime_to_systemtime(filetime, st)) return false;
  i64 start_time = 0;
  i64 end_time = 0;
  if (!transition_in_year(start_time, start_rule, st.wYear) || !transition_in_year(end_time, end_rule, st.wYear)) {
    return false;
  }
  start = start_time;
  end = end_time;
  return true;
}

u64 now_if_zero(u64 filetime) { return filetime != 0 ? filetime : current_time().filetime; }

// Whether t lies in the period from start up to end, shaped as the UTC period from utc_start
// to utc_end: over the year's end when utc_end comes before utc_start, empty when they are equal.
bool in_period(i64 t, i64 start, i64 end, i64 utc_start, i64 utc_end) {
  if (utc_start < utc_end) return start <= t && t < end;
  if (utc_start > utc_end) return t >= start || t < end;
  return false;
}

// t + seconds, or 0 when the sum is no FILETIME.
i64 shifted(i64 t, i64 seconds) {
  const __int128 sum = __int128(t) + __int128(seconds) * ticks_per_second;
  if (sum < 0 || sum > __int128(0x7FFFFFFFFFFFFFFFLL)) return 0;
  return i64(sum);
}

std::ostream& write_transition(bool want_start, const time_zone_rule& rule, std::ostream& out,
                               const time_format_spec& spec, const std::string& date_format,
                               const std::string& time_format, bool one_column, u64 filetime) {
  i64 start = 0;
  i64 end = 0;
  if (!period_of(start, end, rule.start_rule, rule.end_rule, now_if_zero(filetime))) return out;
  const qz::time moment(want_start ? start : end, u32(time_kind_filetime));
  if (!moment.valid) return out;
  time_format_spec used = spec;
  if (used.flags == 0) parse_date_time_format(used, date_format, time_format, one_column);
  used.flags &= ~u32(time_format_fraction_mask);
  std::string date;
  std::string clock;
  format_time_text(date, clock, moment, used);
  out << date << ' ' << clock;
  return out;
}

}  // namespace

bool dst_period(i64* start, i64* end, const std::vector<u16>& start_rule, const std::vector<u16>& end_rule,
                u64 filetime) {
  if (start == nullptr || end == nullptr) return false;
  return period_of(*start, *end, start_rule, end_rule, now_if_zero(filetime));
}

i64 utc_to_local_by_rule(i64 filetime, const time_zone_rule& rule) {
  i64 start = 0;
  i64 end = 0;
  if (filetime < 0 || !period_of(start, end, rule.start_rule, rule.end_rule, u64(filetime))) return 0;
  const i64 extra = in_period(filetime, start, end, start, end) ? rule.daylight_bias : rule.standard_bias;
  return shifted(filetime, rule.bias + extra);
}

i64 local_to_utc_by_rule(i64 filetime, const time_zone_rule& rule) {
  i64 start = 0;
  i64 end = 0;
  if (filetime < 0 || !period_of(start, end, rule.start_rule, rule.end_rule, u64(filetime))) return 0;
  // The bounds as the local clock shows them: the start already on daylight time, the end
  // back on standard time. The two biases move them apart, so the period keeps the shape of
  // its UTC bounds: an empty one (start equal to end, no daylight time) stays empty.
  const i64 local_start = shifted(start, rule.bias + rule.daylight_bias);
  const i64 local_end = shifted(end, rule.bias + rule.standard_bias);
  if (local_start == 0 || local_end == 0) return 0;
  const i64 extra =
      in_period(filetime, local_start, local_end, start, end) ? rule.daylight_bias : rule.standard_bias;
  return shifted(filetime, -(rule.bias + extra));
}

i64 dst_start(const time_zone_rule& rule, u64 filetime) {
  i64 start = 0;
  i64 end = 0;
  return dst_period(&start, &end, rule.start_rule, rule.end_rule, filetime) ? start : 0;
}

i64 dst_end(const time_zone_rule& rule, u64 filetime) {
  i64 start = 0;
  i64 end = 0;
  return dst_period(&start, &end, rule.start_rule, rule.end_rule, filetime) ? end : 0;
}

std::ostream& write_dst_start(const time_zone_rule& rule, std::ostream& out, const time_format_spec& spec,
                              const std::string& date_format, const std::string& time_format, bool one_column,
                              u64 filetime) {
  return write_transition(true, rule, out, spec, date_format, time_format, one_column, filetime);
}

std::ostream& write_dst_end(const time_zone_rule& rule, std::ostream& out, const time_format_spec& spec,
                            const std::string& date_format, const std::string& time_format, bool one_column,
                            u64 filetime) {
  return write_transition(false, rule, out, spec, date_format, time_format, one_column, filetime);
}

bool gmt_time_text(std::string& text) { return gmt_time_text(text, current_time().filetime); }

bool gmt_time_text(std::string& text, u64 filetime) {
  text.clear();
  SYSTEMTIME st;
  if (!filetime_to_systemtime(filetime, st) || st.wDayOfWeek > 6 || st.wMonth < 1 || st.wMonth > 12) {
    return false;
  }
  text = weekday_short_name(st.wDayOfWeek);
  text += ", ";
  text += std::to_string(st.wDay);
  text += ' ';
  text += month_short_name(st.wMonth);
  text += ' ';
  text += std::to_string(st.wYear);
  text += ' ';
  append_zero_padded(text, st.wHour, 2);
  text += ':';
  append_zero_padded(text, st.wMinute, 2);
  text += ':';
  append_zero_padded(text, st.wSecond, 2);
  text += " GMT";
  return true;
}

u64 parse_gmt_time_text(const std::string& text) {
  if (text.size() < 20) return 0;
  const std::size_t comma = text.find(',');
  std::string rest = comma == std::string::npos ? text : text.substr(comma + 1);
  trim_whitespace_ex(rest, false);
  const std::size_t zone = rest.rfind(' ');
  if (zone != std::string::npos) rest.erase(zone);
  trim_whitespace_ex(rest, false);
  const std::size_t split = rest.rfind(' ');
  if (split == std::string::npos) return 0;
  std::string date = rest.substr(0, split);
  const std::string clock = rest.substr(split + 1);
  replace_char(date, ' ', '-', false);
  SYSTEMTIME fields;
  if (!parse_date_time_to_systemtime(date.c_str(), clock.c_str(), "DMonY", '-', &fields)) return 0;
  const u64 filetime = FILETIME(fields).value();
  return (filetime >> 63) ? 0 : filetime;
}

bool mail_date_text(std::string& text, i64 unix_seconds, int bias_minutes) {
  const i64 seconds = unix_seconds != 0 ? unix_seconds : i64(std::time(nullptr));
  struct tm fields {};
  if (!unix_to_struct_tm(seconds, fields, 0.0f)) return false;
  // bias is what the local clock lacks to UTC, so a positive bias is a zone west of UTC.
  const long long magnitude = bias_minutes < 0 ? -static_cast<long long>(bias_minutes) : bias_minutes;
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%s; %02d %s %d %02d:%02d:%02d %c%02lld%02lld",
                weekday_short_name(fields.tm_wday), fields.tm_mday, month_short_name(fields.tm_mon + 1),
                fields.tm_year + 1900, fields.tm_hour, fields.tm_min, fields.tm_sec, bias_minutes > 0 ? '-' : '+',
                magnitude / 60, magnitude % 60);
  text = buffer;
  return true;
}

bool unix_to_iso8601_text(i64 unix_seconds, std::string& text, float hours) {
  if (unix_seconds < 0) return false;
  const float offset = hours * 3600.0f;
  if (!(offset > -2147483648.0f && offset < 2147483648.0f)) return false;
  constexpr i64 seconds_limit = i64(1) << 55;  // far beyond any year the text can show
  if (unix_seconds > seconds_limit) return false;
  const i64 moved = unix_seconds + i64(i32(offset));
  if (moved < 0) return false;
  struct tm fields {};
  unix_to_gmtime(fields, moved);
  char buffer[500];
  std::snprintf(buffer, sizeof buffer, "%04lld-%02d-%02dT%02d:%02d:%02dZ", static_cast<long long>(fields.tm_year) + 1900,
                fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec);
  text = buffer;
  return true;
}
