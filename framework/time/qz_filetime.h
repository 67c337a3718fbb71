// FILETIME (u64 count of 100-ns ticks since 1601-01-01 00:00:00 UTC) and the
// calendar records it converts to and from: SYSTEMTIME, time_fields, DOS words
// and struct tm. A FILETIME with its top bit set is no time; the converters
// that check it return false. Local views are UTC plus the zone offset of now
// and exist for the years 1970 to 3000 only. Nothing here allocates or throws.
#pragma once

#include <ctime>

#include "framework/text/qz_types.h"

// FILETIME tick counts.
constexpr u64 filetime_ticks_per_us = 10;
constexpr u64 filetime_ticks_per_ms = 10000;
constexpr u64 filetime_ticks_per_second = 10000000;
constexpr u64 filetime_ticks_per_minute = 600000000;
constexpr u64 filetime_ticks_per_day = 864000000000;
constexpr u64 filetime_ticks_per_365_days = 315360000000000;
// 1970-01-01 00:00:00 UTC.
constexpr u64 filetime_unix_epoch = 116444736000000000;
// What a conversion returns when the instant has no FILETIME (top bit set).
constexpr u64 filetime_no_time = 0xFFFFFFFFFFFFFFFFULL;

// Calendar tables, row 0 for common years, row 1 for leap years. Entry m of
// days_before_month_minus_one is the zero-based day of the year of the last
// day before month m (January is 0); entry 12 is the year's last day.
extern const i32 days_before_month_minus_one[2][13];
extern const i32 days_per_month[2][12];

// Gregorian rule on the full year (years below 1 are never leap years).
bool is_leap_year(i64 year);

// Broken-down time, UTC unless a caller says otherwise.
struct SYSTEMTIME {
  // All eight fields 0.
  SYSTEMTIME() = default;
  // The fields of a FILETIME; all 0 when it has its top bit set.
  explicit SYSTEMTIME(u64 filetime);

  u16 wYear = 0;
  u16 wMonth = 0;      // 1..12
  u16 wDayOfWeek = 0;  // 0..6, 0 = Sunday
  u16 wDay = 0;        // 1..31
  u16 wHour = 0;
  u16 wMinute = 0;
  u16 wSecond = 0;
  u16 wMilliseconds = 0;
};

// A SYSTEMTIME with the fraction of the second at finer grains, all taken from
// the same 100-ns remainder r: microseconds r / 10, nanoseconds r * 100,
// picoseconds r * 100000.
struct time_fields : SYSTEMTIME {
  u64 microseconds = 0;
  u64 nanoseconds = 0;
  u64 picoseconds = 0;
};

// A FILETIME as two 32-bit halves, low half first.
struct FILETIME {
  FILETIME() = default;
  // The SYSTEMTIME read as UTC.
  explicit FILETIME(const SYSTEMTIME& st);
  u64 value() const { return (u64(dwHighDateTime) << 32) | dwLowDateTime; }

  u32 dwLowDateTime = 0;
  u32 dwHighDateTime = 0;
};

// DOS date word (bits 9-15 year - 1980, 5-8 month, 0-4 day) and time word
// (bits 11-15 hour, 5-10 minute, 0-4 seconds / 2).
struct dos_datetime {
  u16 date = 0;
  u16 time = 0;
};

// Six broken-down fields for tm_to_unix_seconds.
struct unix_time_parts {
  i32 second = 0;
  i32 minute = 0;
  i32 hour = 0;
  i32 day = 1;    // day of month, 1-based
  i32 month = 0;  // 0-based
  i32 year = 70;  // years since 1900
};

// Fills out with the UTC fields of filetime; false with out zeroed for a top bit.
bool filetime_to_broken_down_time(time_fields& out, u64 filetime);
bool filetime_to_broken_down_time(u64 filetime, time_fields& out);
bool filetime_to_broken_down_time(const FILETIME* filetime, time_fields& out);
// As filetime_to_broken_down_time, then the fraction fields come from
// fraction_ticks (the part of the second in 100-ns units, below 10000000);
// false with out zeroed for a fraction outside that range (negative, a whole
// second or more, not a number): such a fraction would give milliseconds of 1000
// or more, or wrapped values, that contradict the whole seconds of the record.
bool filetime_to_broken_down_time_frac(u64 filetime, time_fields& out, double fraction_ticks);

// FILETIME of the UTC fields of tm plus milliseconds. A month outside 0..11 is
// carried into the year and written back; other fields are not checked and add
// their weight. Instants outside the FILETIME range give a value with its top
// bit set (filetime_no_time when beyond 30828).
u64 broken_down_time_to_filetime(struct tm& tm, i32 milliseconds);

// Seconds since 1970 of normalised fields (negative fields borrow); false with
// out = -1 for an instant before 1970.
bool tm_to_unix_seconds(unix_time_parts parts, i64& out);

// A zeroed struct tm with the date and clock fields of st (no milliseconds).
struct tm tm_from_systemtime(const SYSTEMTIME& st);

// Date and clock fields of tm; day of week and milliseconds 0.
SYSTEMTIME& systemtime_from_tm(SYSTEMTIME& out, struct tm tm);

// The SYSTEMTIME of filetime; false (out untouched) for a top bit.
bool filetime_to_systemtime(u64 filetime, SYSTEMTIME& out);
bool filetime_to_systemtime(const FILETIME* filetime, SYSTEMTIME& out);

// DOS words of filetime; false (out untouched) outside 1980..2037. Odd seconds
// round up, except 59, which is stored as 58.
bool filetime_to_dos_datetime(u64 filetime, dos_datetime& out);

// Seconds since 1970 of a UTC SYSTEMTIME (instants before 1970 wrap as
// unsigned); false for an instant outside the FILETIME range.
bool systemtime_to_unix_seconds(SYSTEMTIME st, u64& out);

// UTC fields of seconds since 1970 plus hours (rounded to whole seconds);
// false for a negative instant (out untouched) and after 3000 (out zeroed).
bool unix_to_struct_tm(i64 seconds, struct tm& out, float hours);
bool unix_to_struct_tm(i64 seconds, struct tm& out);

// UTC fields of filetime; false before 1970, after 3000 and for a top bit.
bool filetime_to_struct_tm(u64 filetime, struct tm& out);

// UTC fields of any seconds since 1970, negative ones included; zeroes out first.
struct tm& unix_to_gmtime(struct tm& out, i64 seconds);

// Seconds east of UTC of the local zone now (on glibc the zone's standard offset). Kept per
// thread for the current second and TZ value: a change of TZ is followed at once.
i32 local_utc_offset_seconds();
// Local fields (UTC plus local_utc_offset_seconds) of seconds since 1970;
// false when the local instant falls before 1970 or after 3000.
bool unix_to_local_struct_tm(u64 seconds, struct tm& out);
// unix_to_local_struct_tm of filetime; false for a top bit as well.
bool filetime_to_local_struct_tm(u64 filetime, struct tm& out);
// out = mktime of a copy of tm; true when that is above 0.
bool local_struct_tm_to_unix(const struct tm& tm, i64& out);
// The current local year.
u32 local_year_now();

// Clears out, then fills it from value: kind 8 seconds since 1970, kind 1
// FILETIME. Other kinds and negative FILETIMEs leave it cleared.
SYSTEMTIME& _windows_systemtime(SYSTEMTIME& out, i64 value, i32 kind);
