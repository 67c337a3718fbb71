// Conversions of single timestamp values between their encodings (a unit
// counted from an epoch) and FILETIME, and between FILETIME units. Arithmetic
// is unsigned and wraps unless a function says otherwise; the bool converters
// return false when the instant does not fit a FILETIME (0 .. 2^63 - 1) and
// then set out to 0. Nothing here allocates.
#pragma once

#include <utility>

#include "framework/text/qz_types.h"
#include "framework/time/qz_filetime.h"

// Epochs as FILETIME values, and other epoch constants.
constexpr u64 filetime_cs_ticks_offset = 504911232000000000;  // c# ticks at 1601-01-01
constexpr u64 filetime_cocoa_epoch = 126227808000000000;      // 2001-01-01
constexpr u64 filetime_vhd_epoch = 125911584000000000;        // 2000-01-01
constexpr u64 filetime_snowflake_epoch = 130645440000000000;  // 2015-01-01
constexpr u64 filetime_hfs_plus_epoch = 95616288000000000;    // 1904-01-01
constexpr u64 filetime_ntp_epoch = 94354848000000000;         // 1900-01-01
constexpr u64 filetime_ole_epoch = 94353120000000000;         // 1899-12-30
constexpr u64 guid_time_offset = 5748192000000000;            // 1601-01-01 on the 1582-10-15 scale
constexpr u64 cocoa_unix_offset_seconds = 978307200;          // 2001-01-01 in seconds since 1970
// Cocoa values from this one on count nanoseconds instead of seconds.
constexpr u64 cocoa_nanosecond_threshold = 0x100000000ULL;

// out = ticks - c# offset; false for ticks before 1601.
bool cs_ticks_to_filetime(u64 ticks, u64& out);
// Cocoa seconds since 2001 with their fraction (negative ones before 2001);
// false for a value that is not finite or outside the FILETIME range.
bool cocoa_to_filetime(u64& out, double seconds);
// Cocoa seconds, or nanoseconds from 2^32 on; always true.
bool cocoa_to_filetime(u64 value, u64& out);
// Whole seconds since 1970 of a cocoa double; false when not finite or before 1970.
bool cocoa_to_unix_seconds(u64& out, double seconds);
// Seconds since 1970 of cocoa seconds, or nanoseconds from 2^32 on; always true.
bool cocoa_to_unix_seconds(u64 value, u64& out);
// Seconds plus fraction counted from epoch (a FILETIME) to FILETIME; false for
// a value that is not finite or outside the FILETIME range.
bool double_seconds_to_filetime(double seconds, u64 epoch, u64& out);
bool unix_seconds_to_filetime(u64 seconds, u64& out);
bool vhd_seconds_to_filetime(u32 seconds, u64& out);
// Whole seconds since 2000-01-01, low 32 bits.
u32 filetime_to_vhd_seconds(u64 filetime);
// Milliseconds since 2015-01-01 (instants before it wrap).
u64 filetime_to_snowflake_ms(u64 filetime);
// Signed microseconds since 1970, divided with truncation toward zero.
bool unix_microseconds_to_filetime(i64 microseconds, u64& out);
// The milliseconds above the identifier's low 22 bits counted from 2015-01-01.
bool snowflake_to_filetime(i64 identifier, u64& out);
bool chrome_to_filetime(u64 microseconds, u64& out);
// Seconds since 1970 of microseconds since 1601 (before 1970 wraps as
// unsigned); false outside the FILETIME range.
bool chrome_to_unix_seconds(u64 microseconds, u64& out);
// Seconds since 1970 of signed microseconds since 1970 (before 1970 wraps as
// unsigned); false before 1601 or beyond the FILETIME range.
bool firefox_to_unix_seconds(i64 microseconds, u64& out);
// FILETIME / 10: microseconds since 1601.
u64 filetime_to_chrome(u64 filetime);
// Seconds since 1970 (before 1970 wraps as unsigned); false for a top bit.
bool filetime_to_unix_seconds(u64 filetime, u64& out);
// 10 * (value - 1970 epoch), wrapping.
u64 unix_epoch_offset_times_ten(u64 value);

// Record setters; each returns true when it set the record.
bool filetime_from_u64(u64 value, FILETIME& out);
// False (record unchanged) for seconds beyond the FILETIME range.
bool filetime_from_unix_seconds(u64 seconds, FILETIME& out);
// Kind 8: value is seconds since 1970; kind 1: value is the FILETIME; other
// kinds leave the record unchanged and give false.
bool filetime_from_value(FILETIME& out, u64 value, i32 kind);
bool filetime_copy(u64 value, u64& out);

// Unit conversions of FILETIME tick counts (wrapping).
u64 ticks_to_milliseconds(u64 ticks);
u64 milliseconds_to_ticks(u64 milliseconds);
u64 ticks_to_seconds(u64 ticks);
u64 seconds_to_ticks(u64 seconds);
u64 ticks_to_minutes(u64 ticks);
u64 minutes_to_ticks(u64 minutes);
u64 filetime_add_milliseconds(u64 filetime, u64 milliseconds);

// out = |a - b| in ticks; false (out untouched) when either has its top bit set.
bool filetime_difference(i64 a, u64 b, u64& out);
// The same difference in whole microseconds, milliseconds or seconds; out is
// zeroed first.
bool filetime_difference_us(i64 a, u64 b, u64& out);
bool filetime_difference_ms(i64 a, u64 b, u64& out);
bool filetime_difference_seconds(i64 a, u64 b, u64& out);
// The whole-second difference in both words of out (zeroed first); false as
// above and when the seconds do not fit 32 bits.
bool filetime_difference_seconds_pair(i64 a, u64 b, std::pair<u32, u32>& out);

// The smallest power of two not below v (1 for 0); 0 when none fits 64 bits.
u64 next_power_of_two(u64 v);
// Always true.
bool time_check_ok();
