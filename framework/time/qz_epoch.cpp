#include "framework/time/qz_epoch.h"

#include <cmath>

namespace {

// Products of a value and a unit overflow 64 bits for values no timestamp
// holds; they are computed exactly so that such a value is refused instead of
// wrapping onto a plausible instant.
bool set_if_filetime(__int128 ticks, u64& out) {
  if (ticks < 0 || ticks > INT64_MAX) {
    out = 0;
    return false;
  }
  out = u64(ticks);
  return true;
}

// The firefox rule without the epoch: whole seconds and the microseconds left.
__int128 signed_microseconds_to_ticks(i64 microseconds) {
  const i64 seconds = microseconds / 1000000;
  return __int128(seconds) * filetime_ticks_per_second + __int128(microseconds - seconds * 1000000) * 10;
}

bool difference(i64 a, u64 b, u64& out) {
  if (a < 0 || (b >> 63)) return false;
  const u64 ua = u64(a);
  out = ua > b ? ua - b : b - ua;
  return true;
}

// The difference in whole units. The division is an integer one: a difference
// of more than 2^53 ticks would round in double precision and could come out
// one unit too high.
bool difference_in(i64 a, u64 b, u64 ticks_per_unit, u64& out) {
  out = 0;
  u64 ticks = 0;
  if (!difference(a, b, ticks)) return false;
  out = ticks / ticks_per_unit;
  return true;
}

}  // namespace

bool cs_ticks_to_filetime(u64 ticks, u64& out) {
  return set_if_filetime(__int128(ticks) - filetime_cs_ticks_offset, out);
}

bool double_seconds_to_filetime(double seconds, u64 epoch, u64& out) {
  // Beyond this the FILETIME range is left anyway; it keeps the casts defined.
  if (!(std::fabs(seconds) < 1e12)) {
    out = 0;
    return false;
  }
  const double whole = std::trunc(seconds);
  const i64 fraction_ticks = i64((seconds - whole) * double(filetime_ticks_per_second));
  return set_if_filetime(__int128(i64(whole)) * filetime_ticks_per_second + fraction_ticks + epoch, out);
}

bool cocoa_to_filetime(u64& out, double seconds) {
  return double_seconds_to_filetime(seconds, filetime_cocoa_epoch, out);
}

bool cocoa_to_filetime(u64 value, u64& out) {
  if (value < cocoa_nanosecond_threshold) {
    out = filetime_cocoa_epoch + value * filetime_ticks_per_second;
  } else {
    out = filetime_cocoa_epoch + (value / 1000000000) * filetime_ticks_per_second + (value % 1000000000) / 100;
  }
  return true;
}

bool cocoa_to_unix_seconds(u64& out, double seconds) {
  if (!(std::fabs(seconds) < 1e15)) return false;
  const i64 unix_seconds = i64(std::trunc(seconds)) + i64(cocoa_unix_offset_seconds);
  if (unix_seconds < 0) return false;
  out = u64(unix_seconds);
  return true;
}

bool cocoa_to_unix_seconds(u64 value, u64& out) {
  out = (value < cocoa_nanosecond_threshold ? value : value / 1000000000) + cocoa_unix_offset_seconds;
  return true;
}

bool unix_seconds_to_filetime(u64 seconds, u64& out) {
  return set_if_filetime(__int128(seconds) * filetime_ticks_per_second + filetime_unix_epoch, out);
}

bool vhd_seconds_to_filetime(u32 seconds, u64& out) {
  out = filetime_vhd_epoch + u64(seconds) * filetime_ticks_per_second;
  return true;
}

u32 filetime_to_vhd_seconds(u64 filetime) {
  return u32((filetime - filetime_vhd_epoch) / filetime_ticks_per_second);
}

u64 filetime_to_snowflake_ms(u64 filetime) { return (filetime - filetime_snowflake_epoch) / filetime_ticks_per_ms; }

bool unix_microseconds_to_filetime(i64 microseconds, u64& out) {
  return set_if_filetime(signed_microseconds_to_ticks(microseconds) + filetime_unix_epoch, out);
}

bool snowflake_to_filetime(i64 identifier, u64& out) {
  out = u64((identifier >> 22) * i64(filetime_ticks_per_ms)) + filetime_snowflake_epoch;
  return true;
}

bool chrome_to_filetime(u64 microseconds, u64& out) {
  return set_if_filetime(__int128(microseconds) * 10, out);
}

bool chrome_to_unix_seconds(u64 microseconds, u64& out) {
  u64 filetime = 0;
  if (!chrome_to_filetime(microseconds, filetime)) return false;
  out = (filetime - filetime_unix_epoch) / filetime_ticks_per_second;
  return true;
}

bool firefox_to_unix_seconds(i64 microseconds, u64& out) {
  const __int128 ticks = signed_microseconds_to_ticks(microseconds);
  u64 filetime = 0;
  if (!set_if_filetime(ticks + filetime_unix_epoch, filetime)) return false;
  out = u64(i64(ticks)) / filetime_ticks_per_second;
  return true;
}

u64 filetime_to_chrome(u64 filetime) { return filetime / 10; }

bool filetime_to_unix_seconds(u64 filetime, u64& out) {
  if (filetime >> 63) return false;
  out = (filetime - filetime_unix_epoch) / filetime_ticks_per_second;
  return true;
}

u64 unix_epoch_offset_times_ten(u64 value) { return 10 * (value - filetime_unix_epoch); }

bool filetime_from_u64(u64 value, FILETIME& out) {
  out.dwLowDateTime = u32(value);
  out.dwHighDateTime = u32(value >> 32);
  return true;
}

bool filetime_from_unix_seconds(u64 seconds, FILETIME& out) {
  u64 filetime = 0;
  return unix_seconds_to_filetime(seconds, filetime) && filetime_from_u64(filetime, out);
}

bool filetime_from_value(FILETIME& out, u64 value, i32 kind) {
  if (kind == 8) return filetime_from_unix_seconds(value, out);
  if (kind == 1) return filetime_from_u64(value, out);
  return false;
}

bool filetime_copy(u64 value, u64& out) {
  out = value;
  return true;
}

u64 ticks_to_milliseconds(u64 ticks) { return ticks / filetime_ticks_per_ms; }
u64 milliseconds_to_ticks(u64 milliseconds) { return milliseconds * filetime_ticks_per_ms; }
u64 ticks_to_seconds(u64 ticks) { return ticks / filetime_ticks_per_second; }
u64 seconds_to_ticks(u64 seconds) { return seconds * filetime_ticks_per_second; }
u64 ticks_to_minutes(u64 ticks) { return ticks / filetime_ticks_per_minute; }
u64 minutes_to_ticks(u64 minutes) { return minutes * filetime_ticks_per_minute; }

u64 filetime_add_milliseconds(u64 filetime, u64 milliseconds) {
  return filetime + milliseconds * filetime_ticks_per_ms;
}

bool filetime_difference(i64 a, u64 b, u64& out) { return difference(a, b, out); }

bool filetime_difference_us(i64 a, u64 b, u64& out) { return difference_in(a, b, filetime_ticks_per_us, out); }
bool filetime_difference_ms(i64 a, u64 b, u64& out) { return difference_in(a, b, filetime_ticks_per_ms, out); }
bool filetime_difference_seconds(i64 a, u64 b, u64& out) {
  return difference_in(a, b, filetime_ticks_per_second, out);
}

bool filetime_difference_seconds_pair(i64 a, u64 b, std::pair<u32, u32>& out) {
  out = {0, 0};
  u64 seconds = 0;
  if (!filetime_difference_seconds(a, b, seconds) || seconds > 0xFFFFFFFFULL) return false;
  out = {u32(seconds), u32(seconds)};
  return true;
}

u64 next_power_of_two(u64 v) {
  if (v <= 1) return 1;
  if (v > (1ULL << 63)) return 0;
  u64 power = 1;
  while (power < v) power <<= 1;
  return power;
}

bool time_check_ok() { return true; }
