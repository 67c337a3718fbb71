// qz::time, the one time value: built from a FILETIME or from a raw timestamp
// and its time_kind, it keeps every view of the instant (unix seconds, FILETIME
// and its halves, DOS words, local and UTC broken-down time) and a valid flag.
// Every conversion passes through set_filetime; read a view only when valid.
#pragma once

#include <ctime>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "framework/text/qz_types.h"
#include "framework/time/qz_filetime.h"

class keyname_filter;
struct time_format_spec;

// Raw timestamp encodings. A kind argument is one of these values, not a mask,
// unless a function takes a kind mask.
enum time_kind : u32 {
  time_kind_filetime = 1,            // FILETIME ticks
  time_kind_chrome = 2,              // microseconds since 1601
  time_kind_firefox = 4,             // signed microseconds since 1970
  time_kind_unix = 8,                // seconds since 1970
  time_kind_unix_ms = 16,            // milliseconds since 1970
  time_kind_dos = 32,                // DOS date word << 16 | DOS time word
  time_kind_ntp = 64,                // NTP 32.32 stamp
  time_kind_guid = 128,              // version-1 GUID time field
  time_kind_ole = 256,               // OLE automation date, days since 1899-12-30
  time_kind_systemtime = 512,        // 16-byte SYSTEMTIME, UTC
  time_kind_systemtime_local = 1024, // 16-byte SYSTEMTIME, local
  time_kind_vhd = 2048,              // unsigned 32-bit seconds since 2000
  time_kind_qpc = 4096,              // performance counter, frequency per second
  time_kind_qpc_us = 8192,           // performance counter, frequency per microsecond
  time_kind_filetime_record = 16384, // 16-byte record: u32, u32, FILETIME
  time_kind_cs_ticks = 32768,        // 100-ns ticks since 0001-01-01
  time_kind_snowflake = 0x20000,     // milliseconds since 2015 above the low 22 bits
  time_kind_cocoa = 0x40000,         // seconds since 2001 (nanoseconds from 2^32 on)
  time_kind_hfs_plus = 0x80000,      // seconds since 1904
};

// The printed name of a kind ("filetime", "unix time", ...); "" for kinds
// without one and for values that are no kind.
const char* time_kind_name(u32 kind);

// Seconds and microseconds since 1970, as a timeval holds them.
struct unix_timeval {
  i32 seconds = 0;
  i32 microseconds = 0;
};

namespace qz {

class time {
 public:
  // Each constructor starts from an empty, invalid value and then converts.
  time() = default;
  explicit time(const FILETIME* filetime);
  // The fields read as UTC, with their milliseconds.
  explicit time(const SYSTEMTIME& st);
  time(const struct tm* tm, bool utc);
  // Invalid unless every field of the pair is in range.
  time(dos_datetime dos, bool utc);
  // Seconds since 1970; 0 stays invalid.
  explicit time(u32 unix_seconds);
  // A raw value of the given kind; kinds without a rule for the value's type
  // stay invalid.
  time(u64 value, u32 kind);
  time(i64 value, u32 kind);
  time(double value, u32 kind);
  // Plain integer literals and other integer types pick the unsigned or the
  // signed rule by their own signedness.
  template <typename V, typename K,
            std::enable_if_t<std::is_integral_v<V> && !std::is_same_v<V, bool> &&
                                 (std::is_integral_v<K> || std::is_enum_v<K>) && !std::is_same_v<K, bool>,
                             int> = 0>
  time(V value, K kind)
      : time(static_cast<std::conditional_t<std::is_signed_v<V>, i64, u64>>(value), static_cast<u32>(kind)) {}
  // A performance-counter reading: base_filetime was taken at base_count;
  // frequency is per second (kind 4096) or per microsecond (kind 8192).
  time(u64 base_filetime, u64 base_count, u64 count, u64 frequency, u32 kind);
  time(const std::vector<u8>& bytes, u32 offset, u32 kind);
  time(const std::vector<u8>& bytes, u32 kind);
  // Kind 8 only: seconds above 0 plus the microseconds.
  time(unix_timeval tv, u32 kind);
  // set_filetime_frac.
  time(u64 filetime, double fraction_ticks);
  // Readers of text (defined beside the text parsers, qz_time_parse.h); each
  // leaves the value invalid when the text does not parse.
  // "date[ time]" as parse_short_date_time_to_tm reads it, as UTC or local time.
  time(const char* text, bool utc);
  // "date[ time]" with the date in order and separator, as UTC; an order holding
  // "Mon" is set to "YMD".
  time(const char* text, std::string& order, char separator);
  // Hex text for the filetime, chrome, firefox and VHD kinds, decimal for unix
  // seconds; other kinds stay invalid.
  time(const char* text, time_kind kind);
  // An integer kind would silently pick the utc form: pass a time_kind.
  template <typename I, std::enable_if_t<std::is_integral_v<I> && !std::is_same_v<I, bool>, int> = 0>
  time(const char* text, I kind) = delete;
  // A value decoded by the time bits of a key-name filter's flag word; with
  // value_is_double the u64 holds the bits of a double.
  time(u64 value, const keyname_filter& filter, bool value_is_double);

  // Sets every view from filetime; returns the valid flag.
  bool set_filetime(u64 filetime);
  // As time(value, kind) for the unix seconds, FILETIME, its halves, the UTC view and the
  // valid flag, skipping the DOS words and the local view (left as they were) while the UTC
  // year is at most 3000; above it the local view decides validity and all views are set.
  // For formatters that read only the UTC view.
  bool set_utc_by_kind(u64 value, u32 kind);
  // set_filetime of filetime + fraction_ticks, the UTC view carrying the
  // fraction below one tick; fraction_ticks is the part of the second in
  // 100-ns units.
  bool set_filetime_frac(u64 filetime, double fraction_ticks);
  // From broken-down fields read as UTC, or as local time (UTC plus the zone
  // offset of now) when utc is false.
  bool set_from_tm(const struct tm& tm, i32 milliseconds, bool utc);
  // From the little-endian encoding of kind at offset; false when too few bytes.
  bool set_from_bytes(const std::vector<u8>& bytes, u32 offset, u32 kind);
  // The first kind of kind_mask (lowest bit first) under which value is a
  // valid time whose UTC year lies in min_year..max_year; out_kind is the last
  // kind tried. False, with the value cleared, when none fits.
  bool set_first_kind(u32& out_kind, u16 max_year, u16 min_year, u64 value, u32 kind_mask);
  bool set_first_kind_double(u32& out_kind, u16 max_year, u16 min_year, double value, u32 kind_mask);
  // Zeroes unix seconds, FILETIME, halves and local view, clears both flags and
  // the map; the DOS words and the UTC view keep their values.
  void clear();

  // True when the value is valid and its UTC year lies in the format's min_year..max_year
  // (defined with the formatters).
  bool year_in_window(const time_format_spec& spec) const;

  // Order of the FILETIMEs read as signed numbers.
  bool operator<(const time& other) const { return i64(filetime) < i64(other.filetime); }
  bool operator<=(const time& other) const { return i64(filetime) <= i64(other.filetime); }
  bool operator>=(const time& other) const { return i64(filetime) >= i64(other.filetime); }
  bool operator>(const time& other) const { return i64(filetime) > i64(other.filetime); }
  bool operator==(const time& other) const { return filetime == other.filetime; }
  bool operator!=(const time& other) const { return filetime != other.filetime; }

  // UTC fields.
  u32 year() const { return utc.wYear; }
  u32 month() const { return utc.wMonth; }
  u32 day() const { return utc.wDay; }
  u32 hour() const { return utc.wHour; }
  u32 minute() const { return utc.wMinute; }
  u32 second() const { return utc.wSecond; }
  // Milliseconds of the second; rounded to the nearest when asked (so up to 1000).
  u32 millisecond(bool nearest) const;
  // Microseconds of the second; rounded to the nearest when asked.
  u64 microsecond(bool nearest) const;
  u64 nanosecond() const { return utc.nanoseconds; }

  // Moves a valid value by n units (a month is 30 days) and revalidates it; an
  // invalid value is left alone. Each returns the value itself.
  time& add_months(i32 n);
  time& add_weeks(i32 n);
  time& add_days(i32 n);
  time& add_hours(i32 n);
  time& add_minutes(i32 n);
  time& add_seconds(i32 n);
  time& add_milliseconds(i32 n);
  time& add_microseconds(i32 n);
  time& subtract_days(i32 n);
  // Adds or subtracts the other value's FILETIME count.
  time& add(const time& other);
  time& subtract(const time& other);

  u64 unix_time = 0;       // seconds since 1970 (instants before 1970 wrap)
  u64 filetime = 0;
  u32 filetime_low = 0;
  u32 filetime_high = 0;
  u16 dos_date = 0;        // filled for 1980..2037 only
  u16 dos_time = 0;
  struct tm local {};      // UTC plus the zone offset of the moment of conversion
  time_fields utc;
  u8 valid = 0;
  u8 local_failed = 0;     // no local view: before 1970 or after 3000
  std::map<std::string, u32> names;

 private:
  u8 utc_view_only_ = 0;   // set_filetime skips the DOS words and local view (set_utc_by_kind)
  void set_by_kind(u64 value, u32 kind);
  void set_by_kind_signed(i64 value, u32 kind);
  void set_by_kind_double(double value, u32 kind);
  template <typename V>
  bool set_first_kind_of(u32& out_kind, u16 max_year, u16 min_year, V value, u32 kind_mask);
  // set_filetime of an exact tick count, "no time" when outside the FILETIME range.
  bool set_ticks(__int128 ticks);
  time& add_ticks(__int128 ticks);
};

}  // namespace qz

// FILETIME, clock sequence and node of a version-1 GUID (16 bytes as stored);
// false, with the outs cleared, for another version or an instant before 1601.
bool decode_guid_v1_time(u64& filetime, u16& clock_sequence, std::vector<u8>& node, const u8* guid);
// The same on 16 bytes of bytes at offset; at offset 0 a leading "{" is skipped.
bool decode_guid_v1_time_at(u64& filetime, u16& clock_sequence, std::vector<u8>& node,
                            const std::vector<u8>& bytes, u32 offset);
// The FILETIME of a 16-byte {u32, u32, FILETIME} record and its two words;
// false with filetime 0 when it is not a valid time.
bool decode_filetime_record(u64& filetime, u32& first, u32& second, const u8* record);
// The FILETIME of a value decoded by a key-name filter's time bits; 0 when invalid.
u64 keyname_time_to_filetime(u64 value, const keyname_filter& filter, bool value_is_double);
// A local FILETIME (local clock counted as if UTC) made UTC with the zone offset
// of now; 0 when it is no valid time or has no local view.
u64 local_filetime_to_utc(u64 filetime);
// Seconds to add to the local time tm to get UTC (minus the zone offset of now);
// is_dst becomes 1 when tm's local view is in daylight saving time, else 0. 0 when tm is no
// local time from 1970 to 3000.
i32 utc_offset_of_local_tm(u8& is_dst, const struct tm& tm);
