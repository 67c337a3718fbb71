#include "framework/time/qz_time.h"

#include <cmath>
#include <cstring>

#include "framework/text/qz_bytes.h"
#include "framework/time/qz_epoch.h"
#include "framework/time/qz_keyname_filter.h"

namespace {

constexpr u64 E = filetime_unix_epoch;
constexpr u64 ticks_per_second = filetime_ticks_per_second;

u32 read_u32_le(const u8* p) { return u32(read_le_uint(p, 4)); }
u64 read_u64_le(const u8* p) { return read_le_uint(p, 8); }
u16 read_u16_le(const u8* p) { return u16(read_le_uint(p, 2)); }

double double_from_bits(u64 bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Seconds between the local clock fields and the UTC fields of a value, taken
// from its two views (the zone offset of the moment it was converted).
i64 local_minus_utc_seconds(const qz::time& value) {
  struct tm local = value.local;
  const u64 local_ticks = broken_down_time_to_filetime(local, 0);
  return i64(local_ticks / ticks_per_second) - i64(value.filetime / ticks_per_second);
}

}  // namespace

const char* time_kind_name(u32 kind) {
  switch (kind) {
    case time_kind_filetime: return "filetime";
    case time_kind_chrome: return "chrome";
    case time_kind_firefox: return "firefox3";
    case time_kind_unix: return "unix time";
    case time_kind_unix_ms: return "unix millisec time";
    case time_kind_dos: return "dos time";
    case time_kind_ntp: return "ntp";
    case time_kind_guid: return "guid";
    case time_kind_ole: return "ole";
    case time_kind_systemtime:
    case time_kind_systemtime_local: return "system time";
    case time_kind_vhd: return "VHD time";
    case time_kind_qpc: return "QPC time";
    case time_kind_cs_ticks: return "c# time";
    case time_kind_snowflake: return "snowflake time";
    case time_kind_cocoa: return "safari time";
    case time_kind_hfs_plus: return "hfs+ time";
    default: return "";
  }
}

namespace qz {

time::time(const FILETIME* filetime_record) {
  if (filetime_record) set_filetime(filetime_record->value());
}

time::time(const SYSTEMTIME& st) { set_from_tm(tm_from_systemtime(st), st.wMilliseconds, true); }

time::time(const struct tm* tm, bool is_utc) {
  if (tm) set_from_tm(*tm, 0, is_utc);
}

time::time(dos_datetime dos, bool is_utc) {
  const int day = dos.date & 31;
  const int month = (dos.date >> 5) & 15;
  const int second = (dos.time * 2) & 62;
  const int minute = (dos.time >> 5) & 63;
  const int hour = dos.time >> 11;
  if (day == 0 || month < 1 || month > 12 || second >= 60 || minute >= 60 || hour >= 24) return;
  struct tm tm {};
  tm.tm_sec = second;
  tm.tm_min = minute;
  tm.tm_hour = hour;
  tm.tm_mday = day;
  tm.tm_mon = month - 1;
  tm.tm_year = (dos.date >> 9) + 1980 - 1900;
  set_from_tm(tm, 0, is_utc);
}

time::time(u32 unix_seconds) {
  if (unix_seconds != 0) set_filetime(E + u64(unix_seconds) * ticks_per_second);
}

time::time(u64 value, u32 kind) { set_by_kind(value, kind); }
time::time(i64 value, u32 kind) { set_by_kind_signed(value, kind); }
time::time(double value, u32 kind) { set_by_kind_double(value, kind); }

time::time(u64 base_filetime, u64 base_count, u64 count, u64 frequency, u32 kind) {
  // Without a frequency or a known kind there is no scale: the value stays
  // invalid rather than standing for the base time.
  if (frequency == 0 || (kind != time_kind_qpc && kind != time_kind_qpc_us)) return;
  const double scale = (kind == time_kind_qpc ? 10000000.0 : 10.0) / double(frequency);
  const double count_ticks = std::trunc(double(count) * scale);
  const double base_ticks = std::trunc(double(base_count) * scale);
  if (!(count_ticks < 1.8e19 && base_ticks < 1.8e19)) return;
  set_ticks(__int128(u64(count_ticks)) + base_filetime - __int128(u64(base_ticks)));
}

time::time(const std::vector<u8>& bytes, u32 offset, u32 kind) { set_from_bytes(bytes, offset, kind); }
time::time(const std::vector<u8>& bytes, u32 kind) { set_from_bytes(bytes, 0, kind); }

time::time(unix_timeval tv, u32 kind) {
  if (kind != time_kind_unix || tv.seconds <= 0) return;
  set_filetime(E + u64(tv.seconds) * ticks_per_second);
  add_microseconds(tv.microseconds);
}

time::time(u64 filetime_value, double fraction_ticks) { set_filetime_frac(filetime_value, fraction_ticks); }

time::time(u64 value, const keyname_filter& filter, bool value_is_double) {
  if (!filter.valid) return;
  const u64 flags = filter.flags;
  if (flags & (keyname_time_filetime | keyname_time_filetime_alt)) {
    set_filetime(value);
  } else if (flags & keyname_time_systemtime) {
    // Eight bytes cannot hold a SYSTEMTIME.
  } else if (flags & keyname_time_cocoa) {
    if (value_is_double) {
      set_by_kind_double(double_from_bits(value), time_kind_cocoa);
    } else {
      set_ticks(__int128(value) * ticks_per_second + filetime_cocoa_epoch);
    }
  } else if (flags & keyname_time_hfs_plus) {
    set_by_kind(value, time_kind_hfs_plus);
  } else if (flags & keyname_time_unix) {
    set_by_kind(value, time_kind_unix);
  } else if (flags & keyname_time_chrome) {
    set_by_kind(value, time_kind_chrome);
  } else if (flags & keyname_time_firefox) {
    set_by_kind(value, time_kind_firefox);
  }
}

bool time::set_ticks(__int128 ticks) {
  if (ticks < 0 || ticks > INT64_MAX) return set_filetime(filetime_no_time);
  return set_filetime(u64(ticks));
}

bool time::set_filetime(u64 value) {
  valid = 0;
  if (value == 0) return false;
  filetime = value;
  if (value >> 63) return false;
  // Instants before 1970 wrap here; only the first second of 1970 is refused.
  const u64 since_1970 = value - E;
  unix_time = since_1970 / ticks_per_second;
  if (since_1970 < ticks_per_second) return false;
  filetime_to_broken_down_time(utc, value);
  filetime_low = u32(value);
  filetime_high = u32(value >> 32);
  // Up to 3000 validity does not depend on the local view, so a UTC-only caller may skip it.
  if (utc_view_only_ && utc.wYear <= 3000) {
    valid = utc.wYear >= 1900;
    return valid;
  }
  dos_datetime dos{dos_date, dos_time};
  if (filetime_to_dos_datetime(value, dos)) {
    dos_date = dos.date;
    dos_time = dos.time;
  }
  local_failed = 0;
  struct tm local_view = local;
  if (unix_to_local_struct_tm(unix_time, local_view)) {
    local = local_view;
  } else {
    local_failed = 1;
    if (utc.wYear > 3000) return false;
  }
  valid = utc.wYear >= 1900;
  return valid;
}

bool time::set_utc_by_kind(u64 value, u32 kind) {
  valid = 0;
  utc_view_only_ = 1;
  set_by_kind(value, kind);
  utc_view_only_ = 0;
  return valid;
}

bool time::set_filetime_frac(u64 value, double fraction_ticks) {
  valid = 0;
  if (value == 0) return false;
  if (!(fraction_ticks >= 0 && fraction_ticks < double(ticks_per_second))) return set_filetime(filetime_no_time);
  if (!set_filetime(value + u64(fraction_ticks))) return false;
  filetime_to_broken_down_time_frac(value, utc, fraction_ticks);
  return valid;
}

bool time::set_from_tm(const struct tm& tm, i32 milliseconds, bool utc_fields) {
  local = tm;
  const u64 value = broken_down_time_to_filetime(local, utc_fields ? milliseconds : 0);
  if (utc_fields) {
    if (value == 0) return false;
    return set_filetime(value);
  }
  // Local fields: the inverse of the local view, which is UTC plus the zone
  // offset of now. Local instants before the first second of 1970 are refused.
  if (value >> 63) return false;
  const __int128 ticks = __int128(value) - __int128(local_utc_offset_seconds()) * ticks_per_second;
  if (ticks < __int128(E + ticks_per_second)) return false;
  return set_ticks(ticks + __int128(milliseconds) * filetime_ticks_per_ms);
}

bool time::set_from_bytes(const std::vector<u8>& bytes, u32 offset, u32 kind) {
  *this = time();
  const size_t available = offset < bytes.size() ? bytes.size() - offset : 0;
  const u8* at = bytes.data() + (offset < bytes.size() ? offset : 0);
  if ((kind == time_kind_systemtime || kind == time_kind_systemtime_local) && available >= 16) {
    SYSTEMTIME st;
    u16* fields[] = {&st.wYear, &st.wMonth, &st.wDayOfWeek, &st.wDay,
                     &st.wHour, &st.wMinute, &st.wSecond, &st.wMilliseconds};
    for (int i = 0; i < 8; ++i) *fields[i] = read_u16_le(at + 2 * i);
    // Raw bytes are a SYSTEMTIME only when every field is in range.
    if (st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 || st.wDay > 31 || st.wHour > 23 || st.wMinute > 59 ||
        st.wSecond > 59 || st.wMilliseconds > 999 || st.wDayOfWeek > 6) {
      return false;
    }
    return set_from_tm(tm_from_systemtime(st), st.wMilliseconds, kind == time_kind_systemtime);
  }
  if (available < 4) return false;
  if (available < 8) {
    const u32 value = read_u32_le(at);
    switch (kind) {
      case time_kind_vhd:
      case time_kind_unix_ms: set_by_kind(u64(value), kind); break;
      case time_kind_unix: *this = time(value); break;
      default: return false;
    }
    return valid;
  }
  const u64 value = read_u64_le(at);
  switch (kind) {
    case time_kind_snowflake:
    case time_kind_unix_ms:
    case time_kind_filetime:
    case time_kind_chrome:
    case time_kind_firefox:
    case time_kind_unix:
    case time_kind_cs_ticks: set_by_kind(value, kind); break;
    case time_kind_ole: set_by_kind_double(double_from_bits(value), kind); break;
    case time_kind_filetime_record:
    case time_kind_guid: {
      if (available < 16) return false;
      u64 decoded = 0;
      u32 first = 0, second_word = 0;
      u16 clock_sequence = 0;
      std::vector<u8> node;
      const bool ok = kind == time_kind_guid ? decode_guid_v1_time(decoded, clock_sequence, node, at)
                                             : decode_filetime_record(decoded, first, second_word, at);
      if (!ok) return false;
      set_filetime(decoded);
      break;
    }
    default: return false;
  }
  return valid;
}

void time::set_by_kind(u64 value, u32 kind) {
  switch (kind) {
    case time_kind_filetime: set_filetime(value); break;
    case time_kind_chrome: set_ticks(__int128(value) * 10); break;
    case time_kind_firefox: set_by_kind_signed(i64(value), kind); break;
    case time_kind_unix:
      if (i64(value) >= 1) set_ticks(__int128(value) * ticks_per_second + E);
      break;
    case time_kind_unix_ms:
      if (value > 999) {
        set_ticks(__int128(value / 1000) * ticks_per_second + (value % 1000) * filetime_ticks_per_ms + E);
      }
      break;
    case time_kind_vhd: set_filetime(u64(u32(value)) * ticks_per_second + filetime_vhd_epoch); break;
    case time_kind_cs_ticks: set_filetime(value - filetime_cs_ticks_offset); break;
    case time_kind_snowflake: set_by_kind_signed(i64(value), kind); break;
    case time_kind_cocoa: {
      u64 converted = 0;
      cocoa_to_filetime(value, converted);
      set_filetime(converted);
      break;
    }
    case time_kind_hfs_plus: set_ticks(__int128(value) * ticks_per_second + filetime_hfs_plus_epoch); break;
    default: break;
  }
}

void time::set_by_kind_signed(i64 value, u32 kind) {
  switch (kind) {
    case time_kind_filetime: set_filetime(u64(value)); break;
    case time_kind_chrome: set_ticks(__int128(value) * 10); break;
    case time_kind_firefox: {
      const i64 seconds = value / 1000000;
      set_ticks(__int128(seconds) * ticks_per_second + __int128(value - seconds * 1000000) * 10 + E);
      break;
    }
    case time_kind_unix:
      if (value >= 1) set_ticks(__int128(value) * ticks_per_second + E);
      break;
    case time_kind_unix_ms:
      if (value > 999) set_by_kind(u64(value), kind);
      break;
    case time_kind_ole: set_ticks(__int128(value) * filetime_ticks_per_day + filetime_ole_epoch); break;
    case time_kind_vhd: set_by_kind(u64(value), kind); break;
    case time_kind_snowflake: set_filetime(u64((value >> 22) * i64(filetime_ticks_per_ms)) + filetime_snowflake_epoch); break;
    case time_kind_cocoa:
      if (value >= i64(cocoa_nanosecond_threshold)) {
        set_by_kind(u64(value), kind);
      } else {
        set_ticks(__int128(value) * ticks_per_second + filetime_cocoa_epoch);
      }
      break;
    case time_kind_hfs_plus: set_ticks(__int128(value) * ticks_per_second + filetime_hfs_plus_epoch); break;
    default: break;
  }
}

void time::set_by_kind_double(double value, u32 kind) {
  u64 converted = 0;
  switch (kind) {
    case time_kind_unix:
      if (double_seconds_to_filetime(value, E, converted)) set_filetime(converted);
      break;
    case time_kind_unix_ms:
      if (double_seconds_to_filetime(value / 1000, E, converted)) set_filetime(converted);
      break;
    case time_kind_ole: {
      // Days are taken to seconds in double precision, as OLE dates are.
      const double ticks = std::trunc((value * 86400 + 9.435312e9) * 1e7);
      if (ticks >= 0 && ticks < 9.2e18) set_filetime(u64(ticks));
      break;
    }
    case time_kind_cocoa:
      if (double_seconds_to_filetime(value, filetime_cocoa_epoch, converted)) set_filetime(converted);
      break;
    default: break;
  }
}

template <typename V>
bool time::set_first_kind_of(u32& out_kind, u16 max_year, u16 min_year, V value, u32 kind_mask) {
  clear();
  for (u32 bit = 0; bit < 32; ++bit) {
    const u32 kind = 1u << bit;
    if (!(kind_mask & kind)) continue;
    out_kind = kind;
    time candidate(value, kind);
    if (candidate.valid && candidate.year() >= min_year && candidate.year() <= max_year) {
      *this = candidate;
      return true;
    }
  }
  return false;
}

bool time::set_first_kind(u32& out_kind, u16 max_year, u16 min_year, u64 value, u32 kind_mask) {
  return set_first_kind_of(out_kind, max_year, min_year, value, kind_mask);
}

bool time::set_first_kind_double(u32& out_kind, u16 max_year, u16 min_year, double value, u32 kind_mask) {
  return set_first_kind_of(out_kind, max_year, min_year, value, kind_mask);
}

void time::clear() {
  names.clear();
  unix_time = 0;
  filetime = 0;
  filetime_low = 0;
  filetime_high = 0;
  local = tm();
  valid = 0;
  local_failed = 0;
}

u32 time::millisecond(bool nearest) const {
  u32 ms = utc.wMilliseconds;
  if (nearest && utc.microseconds >= u64(ms) * 1000 + 500) ++ms;
  return ms;
}

u64 time::microsecond(bool nearest) const {
  u64 us = utc.microseconds;
  if (nearest && utc.nanoseconds >= us * 1000 + 500) ++us;
  return us;
}

time& time::add_ticks(__int128 ticks) {
  if (valid) set_ticks(__int128(i64(filetime)) + ticks);
  return *this;
}

time& time::add_months(i32 n) { return add_ticks(__int128(n) * 30 * filetime_ticks_per_day); }
time& time::add_weeks(i32 n) { return add_ticks(__int128(n) * 7 * filetime_ticks_per_day); }
time& time::add_days(i32 n) { return add_ticks(__int128(n) * filetime_ticks_per_day); }
time& time::add_hours(i32 n) { return add_ticks(__int128(n) * 3600 * ticks_per_second); }
time& time::add_minutes(i32 n) { return add_ticks(__int128(n) * filetime_ticks_per_minute); }
time& time::add_seconds(i32 n) { return add_ticks(__int128(n) * ticks_per_second); }
time& time::add_milliseconds(i32 n) { return add_ticks(__int128(n) * filetime_ticks_per_ms); }
time& time::add_microseconds(i32 n) { return add_ticks(__int128(n) * filetime_ticks_per_us); }
time& time::subtract_days(i32 n) { return add_ticks(-__int128(n) * filetime_ticks_per_day); }
time& time::add(const time& other) { return add_ticks(__int128(i64(other.filetime))); }
time& time::subtract(const time& other) { return add_ticks(-__int128(i64(other.filetime))); }

}  // namespace qz

bool decode_guid_v1_time(u64& filetime, u16& clock_sequence, std::vector<u8>& node, const u8* guid) {
  filetime = 0;
  clock_sequence = 0;
  node.clear();
  if (!guid) return false;
  const u64 word = read_u64_le(guid);
  const u64 ticks = word & 0x0FFFFFFFFFFFFFFFULL;
  if ((word >> 60) != 1 || ticks < guid_time_offset) return false;
  filetime = ticks - guid_time_offset;
  clock_sequence = u16(((guid[8] << 8) | guid[9]) & 0x3FFF);
  node.assign(guid + 10, guid + 16);
  return true;
}

bool decode_guid_v1_time_at(u64& filetime, u16& clock_sequence, std::vector<u8>& node,
                            const std::vector<u8>& bytes, u32 offset) {
  size_t start = offset;
  if (offset == 0 && bytes.size() > 8 && bytes[0] == '{') start = 1;
  if (start > bytes.size() || bytes.size() - start < 16) {
    filetime = 0;
    clock_sequence = 0;
    node.clear();
    return false;
  }
  return decode_guid_v1_time(filetime, clock_sequence, node, bytes.data() + start);
}

bool decode_filetime_record(u64& filetime, u32& first, u32& second, const u8* record) {
  filetime = 0;
  if (!record) return false;
  const u64 value = read_u64_le(record + 8);
  if (!qz::time(value, u32(time_kind_filetime)).valid) return false;
  filetime = value;
  first = read_u32_le(record);
  second = read_u32_le(record + 4);
  return true;
}

u64 keyname_time_to_filetime(u64 value, const keyname_filter& filter, bool value_is_double) {
  const qz::time decoded(value, filter, value_is_double);
  return decoded.valid ? decoded.filetime : 0;
}

u64 local_filetime_to_utc(u64 filetime) {
  const qz::time value(filetime, u32(time_kind_filetime));
  if (!value.valid || value.local_failed) return 0;
  // The whole offset, minutes included: zones such as UTC+5:30 are not whole hours.
  return u64(i64(filetime) - local_minus_utc_seconds(value) * i64(ticks_per_second));
}

i32 utc_offset_of_local_tm(u8& is_dst, const struct tm& tm) {
  is_dst = 0;
  struct tm copy = tm;
  const time_t instant = mktime(&copy);
  struct tm local_view {};
  if (instant < 0 || !unix_to_local_struct_tm(u64(instant), local_view)) return 0;
  is_dst = local_view.tm_isdst == 1;
  const qz::time value(i64(E) + i64(instant) * i64(ticks_per_second), u32(time_kind_filetime));
  if (!value.valid || value.local_failed) return 0;
  return i32(-local_minus_utc_seconds(value));
}
