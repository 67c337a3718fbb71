#include "framework/time/qz_filetime.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

const i32 days_before_month_minus_one[2][13] = {
    {-1, 30, 58, 89, 119, 150, 180, 211, 242, 272, 303, 333, 364},
    {-1, 30, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
};

const i32 days_per_month[2][12] = {
    {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
};

bool is_leap_year(i64 year) {
  if (year < 1) return false;
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

namespace {

constexpr i64 seconds_per_day = 86400;
constexpr i64 days_per_400_years = 146097;

// Leap days in the years 1..year.
i64 leap_days_through(i64 year) { return year / 4 - year / 100 + year / 400; }

i64 floor_div(i64 a, i64 b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Calendar date of a day count since 1970-01-01, exact for any count: the
// days are counted in 400-year eras of years that start on 1 March, so that
// the leap day is the last day of such a year.
struct civil_day {
  i64 year;
  i32 yday;   // 0-based
  i32 month;  // 0-based
  i32 mday;   // 1-based
};

civil_day civil_from_unix_days(i64 days) {
  const i64 shifted = days + 719468;  // days since 0000-03-01
  const i64 era = floor_div(shifted, days_per_400_years);
  const i64 day_of_era = shifted - era * days_per_400_years;
  const i64 year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const i64 day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const i64 month_from_march = (5 * day_of_year + 2) / 153;
  civil_day out{};
  out.mday = i32(day_of_year - (153 * month_from_march + 2) / 5 + 1);
  out.month = i32(month_from_march < 10 ? month_from_march + 2 : month_from_march - 10);
  out.year = year_of_era + era * 400 + (out.month < 2 ? 1 : 0);
  const bool leap = (out.year % 4 == 0 && out.year % 100 != 0) || out.year % 400 == 0;  // proleptic
  out.yday = days_before_month_minus_one[leap ? 1 : 0][out.month] + out.mday;
  return out;
}

// Days from 1970-01-01 to the first day of year, for any year.
i64 unix_days_of_year_start(i64 year) {
  const i64 y = year - 1;  // January counts in the year before, from 1 March
  const i64 era = floor_div(y, 400);
  const i64 year_of_era = y - era * 400;
  const i64 day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + 306;
  return era * days_per_400_years + day_of_era - 719468;
}

void fill_tm_from_unix(struct tm& out, i64 seconds, const civil_day& day, i64 days) {
  const i64 of_day = seconds - days * seconds_per_day;
  out.tm_sec = int(of_day % 60);
  out.tm_min = int(of_day / 60 % 60);
  out.tm_hour = int(of_day / 3600);
  out.tm_mday = day.mday;
  out.tm_mon = day.month;
  out.tm_year = int(day.year - 1900);
  out.tm_wday = int(((days + 4) % 7 + 7) % 7);
  out.tm_yday = day.yday;
  out.tm_isdst = 0;
}

void zero_tm_fields(struct tm& out) {
  out.tm_sec = out.tm_min = out.tm_hour = out.tm_mday = out.tm_mon = 0;
  out.tm_year = out.tm_wday = out.tm_yday = out.tm_isdst = 0;
}

// Seconds since 1970 plus an exact offset to UTC-style fields, 1970..3000 only.
bool unix_to_struct_tm_offset(i64 seconds, struct tm& out, i64 offset_seconds) {
  if (seconds < 0) return false;
  constexpr i64 far_beyond_3000 = i64(1) << 50;  // keeps the sum below from overflowing
  const i64 t = seconds + (seconds < far_beyond_3000 ? offset_seconds : 0);
  if (t < 0) return false;
  const i64 days = t / seconds_per_day;
  const civil_day day = civil_from_unix_days(days);
  if (day.year > 3000) {
    zero_tm_fields(out);
    return false;
  }
  fill_tm_from_unix(out, t, day, days);
  return true;
}

}  // namespace

SYSTEMTIME::SYSTEMTIME(u64 filetime) { filetime_to_systemtime(filetime, *this); }

bool filetime_to_broken_down_time(time_fields& out, u64 filetime) {
  out = time_fields();
  if (filetime >> 63) return false;
  // Estimate the year from whole 365-day years, then step back while the
  // estimate is ahead: leap days pile up to more than a year from 3112 on.
  const i64 whole_years = i64(filetime / filetime_ticks_per_365_days);
  i64 year = whole_years + 1601;
  i64 second_of_year = i64(filetime / filetime_ticks_per_second) - whole_years * 31536000 +
                       (leap_days_through(1600) - leap_days_through(whole_years + 1600)) * seconds_per_day;
  while (second_of_year < 0) {
    --year;
    second_of_year += (is_leap_year(year) ? 366 : 365) * seconds_per_day;
  }
  const i32 yday = i32(second_of_year / seconds_per_day);
  const i64 of_day = second_of_year % seconds_per_day;
  const i32* before = days_before_month_minus_one[is_leap_year(year) ? 1 : 0];
  i32 month = 0;
  while (month < 11 && yday > before[month + 1]) ++month;

  out.wYear = u16(year);
  out.wMonth = u16(month + 1);
  out.wDay = u16(yday - before[month]);
  out.wHour = u16(of_day / 3600);
  out.wMinute = u16(of_day % 3600 / 60);
  out.wSecond = u16(of_day % 60);
  out.wDayOfWeek = u16((filetime / filetime_ticks_per_day + 1) % 7);  // 1601-01-01 was a Monday
  const u64 remainder = filetime % filetime_ticks_per_second;
  out.wMilliseconds = u16(remainder / 10000);
  out.microseconds = remainder / 10;
  out.nanoseconds = remainder * 100;
  out.picoseconds = remainder * 100000;
  return true;
}

bool filetime_to_broken_down_time(u64 filetime, time_fields& out) {
  return filetime_to_broken_down_time(out, filetime);
}

bool filetime_to_broken_down_time(const FILETIME* filetime, time_fields& out) {
  if (!filetime) {
    out = time_fields();
    return false;
  }
  return filetime_to_broken_down_time(out, filetime->value());
}

bool filetime_to_broken_down_time_frac(u64 filetime, time_fields& out, double fraction_ticks) {
  if (!filetime_to_broken_down_time(out, filetime)) return false;
  if (!(fraction_ticks >= 0 && fraction_ticks < double(filetime_ticks_per_second))) {
    out = time_fields();
    return false;
  }
  out.wMilliseconds = u16(fraction_ticks / 10000);
  out.microseconds = u64(fraction_ticks / 10);
  out.nanoseconds = u64(100 * fraction_ticks);
  out.picoseconds = u64(100000 * fraction_ticks);
  return true;
}

u64 broken_down_time_to_filetime(struct tm& tm, i32 milliseconds) {
  if (tm.tm_mon < 0 || tm.tm_mon > 11) {
    const i64 carry = floor_div(tm.tm_mon, 12);
    tm.tm_year = int(tm.tm_year + carry);
    tm.tm_mon = int(tm.tm_mon - carry * 12);
  }
  const i64 year = i64(tm.tm_year) + 1900;
  const bool leap = is_leap_year(year);
  i64 days = 365 * (year - 1601) + leap_days_through(year - 1) - 388 +
             days_before_month_minus_one[0][tm.tm_mon] + 1 + ((leap && tm.tm_mon >= 2) ? 1 : 0) +
             (tm.tm_mday - 1);
  // Fields are not checked, so the sum can leave the 64-bit range: compute it
  // exactly and give "no time" rather than a wrapped, plausible instant.
  __int128 ticks = days;
  ticks = ((ticks * 24 + tm.tm_hour) * 60 + tm.tm_min) * 60 + tm.tm_sec;
  ticks = ticks * filetime_ticks_per_second + __int128(milliseconds) * filetime_ticks_per_ms;
  if (ticks < INT64_MIN || ticks > INT64_MAX) return filetime_no_time;
  return u64(i64(ticks));
}

bool tm_to_unix_seconds(unix_time_parts parts, i64& out) {
  out = -1;
  i64 second = parts.second, minute = parts.minute, hour = parts.hour;
  i64 day = i64(parts.day) - 1, month = parts.month, year = i64(parts.year) + 1900;
  minute += floor_div(second, 60);
  second -= floor_div(second, 60) * 60;
  hour += floor_div(minute, 60);
  minute -= floor_div(minute, 60) * 60;
  day += floor_div(hour, 24);
  hour -= floor_div(hour, 24) * 24;
  year += floor_div(month, 12);
  month -= floor_div(month, 12) * 12;
  // Whole 400-year cycles first so that a huge day count walks few months.
  year += floor_div(day, days_per_400_years) * 400;
  day -= floor_div(day, days_per_400_years) * days_per_400_years;
  while (day >= days_per_month[is_leap_year(year) ? 1 : 0][month]) {
    day -= days_per_month[is_leap_year(year) ? 1 : 0][month];
    if (++month == 12) {
      month = 0;
      ++year;
    }
  }
  if (year < 1970) return false;
  const i64 days = unix_days_of_year_start(year) + days_before_month_minus_one[is_leap_year(year) ? 1 : 0][month] +
                   1 + day;
  out = days * seconds_per_day + hour * 3600 + minute * 60 + second;
  return true;
}

SYSTEMTIME& systemtime_from_tm(SYSTEMTIME& out, struct tm tm) {
  out.wYear = u16(tm.tm_year + 1900);
  out.wMonth = u16(tm.tm_mon + 1);
  out.wDayOfWeek = 0;
  out.wDay = u16(tm.tm_mday);
  out.wHour = u16(tm.tm_hour);
  out.wMinute = u16(tm.tm_min);
  out.wSecond = u16(tm.tm_sec);
  out.wMilliseconds = 0;
  return out;
}

bool filetime_to_systemtime(u64 filetime, SYSTEMTIME& out) {
  time_fields fields;
  if (!filetime_to_broken_down_time(fields, filetime)) return false;
  out = fields;
  return true;
}

bool filetime_to_systemtime(const FILETIME* filetime, SYSTEMTIME& out) {
  return filetime && filetime_to_systemtime(filetime->value(), out);
}

bool filetime_to_dos_datetime(u64 filetime, dos_datetime& out) {
  time_fields fields;
  if (!filetime_to_broken_down_time(fields, filetime)) return false;
  if (fields.wYear < 1980 || fields.wYear > 2037) return false;
  out.date = u16(((fields.wYear - 1980) << 9) | (fields.wMonth << 5) | fields.wDay);
  // Odd seconds round up to the next two-second step; 59 would become 60 with
  // nothing carried into the minute, so it stays at 58.
  u32 two_seconds = (fields.wSecond >> 1) + (fields.wSecond & 1);
  if (two_seconds > 29) two_seconds = 29;
  out.time = u16((u32(fields.wHour) << 11) | (u32(fields.wMinute) << 5) | two_seconds);
  return true;
}

struct tm tm_from_systemtime(const SYSTEMTIME& st) {
  struct tm tm {};
  tm.tm_sec = st.wSecond;
  tm.tm_min = st.wMinute;
  tm.tm_hour = st.wHour;
  tm.tm_mday = st.wDay;
  tm.tm_mon = st.wMonth - 1;
  tm.tm_year = st.wYear - 1900;
  return tm;
}

FILETIME::FILETIME(const SYSTEMTIME& st) {
  struct tm tm = tm_from_systemtime(st);
  const u64 ticks = broken_down_time_to_filetime(tm, st.wMilliseconds);
  dwLowDateTime = u32(ticks);
  dwHighDateTime = u32(ticks >> 32);
}

bool systemtime_to_unix_seconds(SYSTEMTIME st, u64& out) {
  const u64 filetime = FILETIME(st).value();
  if (filetime >> 63) return false;
  out = (filetime - filetime_unix_epoch) / filetime_ticks_per_second;
  return true;
}

bool unix_to_struct_tm(i64 seconds, struct tm& out, float hours) {
  // The hours are turned into whole seconds before they are added: in single
  // precision the sum would be off by up to a minute for present-day times.
  const double offset = std::round(double(hours) * 3600.0);
  if (!(offset > -1e12 && offset < 1e12)) return false;
  return unix_to_struct_tm_offset(seconds, out, i64(offset));
}

bool unix_to_struct_tm(i64 seconds, struct tm& out) { return unix_to_struct_tm_offset(seconds, out, 0); }

bool filetime_to_struct_tm(u64 filetime, struct tm& out) {
  if (filetime >> 63) return false;
  return unix_to_struct_tm(i64((filetime - filetime_unix_epoch) / filetime_ticks_per_second), out);
}

struct tm& unix_to_gmtime(struct tm& out, i64 seconds) {
  out = tm();
  const i64 days = floor_div(seconds, seconds_per_day);
  fill_tm_from_unix(out, seconds, civil_from_unix_days(days), days);
  return out;
}

namespace {

// The offset last worked out on this thread, with the TZ value and the second it belongs to.
// Working it out reads the zone's rules again (the C library looks at the zone file each
// time), which costs far more than the conversion that asks; the C library itself keeps the
// rules while TZ stays the same. Keyed on the second as well, the offset is exactly the one
// of now, and a zone file replaced under an unset TZ is seen a second later at most.
struct utc_offset_cache {
  bool held = false;
  bool tz_set = false;
  std::string tz;
  time_t second = 0;
  i32 offset = 0;
};

thread_local utc_offset_cache offset_cache;

i32 utc_offset_at(time_t now) {
  // localtime and gmtime (not their _r forms) so that a changed TZ is read again.
  struct tm local = *localtime(&now);
  struct tm utc = *gmtime(&now);
  return i32(u32(u64(mktime(&local)) - u64(mktime(&utc))));
}

}  // namespace

i32 local_utc_offset_seconds() {
  const time_t now = ::time(nullptr);
  const char* tz = std::getenv("TZ");
  utc_offset_cache& cache = offset_cache;
  if (cache.held && cache.second == now && cache.tz_set == (tz != nullptr) && (tz == nullptr || cache.tz == tz)) {
    return cache.offset;
  }
  cache.offset = utc_offset_at(now);
  cache.second = now;
  cache.tz_set = tz != nullptr;
  if (tz != nullptr) {
    cache.tz = tz;
  } else {
    cache.tz.clear();
  }
  cache.held = true;
  return cache.offset;
}

bool unix_to_local_struct_tm(u64 seconds, struct tm& out) {
  if (seconds >> 63) return false;
  return unix_to_struct_tm_offset(i64(seconds), out, local_utc_offset_seconds());
}

bool filetime_to_local_struct_tm(u64 filetime, struct tm& out) {
  if (filetime >> 63) return false;
  return unix_to_local_struct_tm((filetime - filetime_unix_epoch) / filetime_ticks_per_second, out);
}

bool local_struct_tm_to_unix(const struct tm& tm, i64& out) {
  struct tm copy = tm;
  out = i64(mktime(&copy));
  return out > 0;
}

u32 local_year_now() {
  const time_t now = ::time(nullptr);
  return u32(localtime(&now)->tm_year + 1900);
}

SYSTEMTIME& _windows_systemtime(SYSTEMTIME& out, i64 value, i32 kind) {
  out = SYSTEMTIME();
  if (kind == 8) {
    struct tm tm {};
    if (unix_to_struct_tm(value, tm)) {
      out.wYear = u16(tm.tm_year + 1900);
      out.wMonth = u16(tm.tm_mon + 1);
      out.wDayOfWeek = u16(tm.tm_wday);
      out.wDay = u16(tm.tm_mday);
      out.wHour = u16(tm.tm_hour);
      out.wMinute = u16(tm.tm_min);
      out.wSecond = u16(tm.tm_sec);
    }
  } else if (kind == 1 && value >= 0) {
    filetime_to_systemtime(u64(value), out);
  }
  return out;
}
