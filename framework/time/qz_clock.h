// The clock (current time as qz::time or as an NTP stamp), NTP 32.32 stamps and
// the elapsed-time reports built on them. A stamp travels as a u64 whose memory
// image is 8 bytes: big-endian u32 seconds since 1900-01-01 UTC, then big-endian
// u32 fraction in units of 2^-32 s. Stamps written here are stored big-endian
// unless a function takes a swap or host-order flag.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"
#include "framework/time/qz_filetime.h"
#include "framework/time/qz_time.h"

// The two words of a stamp as they lie in memory (network order).
struct ntp_timestamp {
  ntp_timestamp() = default;
  // Both words stored as given, without byte swapping.
  ntp_timestamp(u32 seconds_word, u32 fraction_word);
  // The u64 whose memory image is the stamp, and back.
  u64 image() const;
  static ntp_timestamp from_image(u64 stamp);

  u32 seconds_word = 0;
  u32 fraction_word = 0;
};

// A stamp read as a magnitude with a sign.
struct signed_ntp_timestamp {
  signed_ntp_timestamp() = default;
  // A copy of the stamp, not negative.
  explicit signed_ntp_timestamp(ntp_timestamp value);

  ntp_timestamp stamp;
  u8 negative = 0;
};

// Now, to the microsecond.
qz::time current_time();
// The present as FILETIME ticks (that of current_time, without its local breakdown).
u64 current_filetime();
// Now as a stamp of whole seconds (fraction 0); 0 on failure.
u64 current_ntp_time();
void store_current_ntp_time(u64& out);
// Now, from time(), as a stamp of whole seconds.
u64 current_ntp_time_coarse();

// FILETIME to stamp (instants before 1900 wrap; the fraction's low four bits
// are 0); false with out 0 for a negative FILETIME.
bool filetime_to_ntp(i64 filetime, u64& out);
bool filetime_record_to_ntp(const FILETIME& filetime, u64& out);
// The stamp of a FILETIME, 0 on failure; the pointer form also stores it in out.
u64 ntp_from_filetime(i64 filetime);
u64 ntp_from_filetime(const i64* filetime, u64& out);
// The stamp of a UTC SYSTEMTIME; 0 (or false) on failure.
u64 systemtime_to_ntp(const SYSTEMTIME& st);
bool systemtime_to_ntp(const SYSTEMTIME& st, u64& out);
// Stamp to FILETIME, the fraction truncated to whole ticks; always true.
bool ntp_to_filetime(u64 stamp, u64& out);
// The FILETIME, the FILETIME of the whole seconds and the fraction in ticks.
bool ntp_to_filetime_parts(u64 stamp, u64& filetime, u64& whole_seconds_filetime, double& fraction_ticks);
// The UTC fields of a stamp; false for a null stamp or a FILETIME out of range.
bool ntp_to_broken_down_time(const u64* stamp, time_fields& out);
// Fraction (host order) in the high half, seconds (host order) in the low half.
u64 ntp_to_host_u64(u64 stamp);
// ntp_to_host_u64 of the stamp; negative receives its sign.
u64 signed_ntp_to_host(const signed_ntp_timestamp& value, bool& negative);

// |a - b| in seconds, each read as seconds + fraction * 2^-32.
double ntp_time_difference(u64 a, u64 b);
// Seconds compared first, then fractions.
bool ntp_less(u64 a, u64 b);
bool signed_ntp_less(const signed_ntp_timestamp& a, const signed_ntp_timestamp& b);
// Seconds - n (0 when n is larger); the fraction stays.
u64 ntp_subtract_seconds(u64 stamp, u32 n);
// Adds v (byte-swapped first unless host_order) to the fraction, without carry
// into the seconds; returns the fraction word as now stored.
u32 ntp_add_fraction(u64& stamp, u32 v, bool host_order);
// Signed sums and differences; a zero sum is positive, a zero difference a - b
// keeps a's sign.
signed_ntp_timestamp signed_ntp_add(const signed_ntp_timestamp& a, const signed_ntp_timestamp& b);
signed_ntp_timestamp signed_ntp_subtract(const signed_ntp_timestamp& a, const signed_ntp_timestamp& b);
// a - stamp(b); the SYSTEMTIME form takes 0 when b does not convert, the
// FILETIME form gives a zero stamp.
signed_ntp_timestamp signed_ntp_minus_systemtime(const signed_ntp_timestamp& a, const SYSTEMTIME& b);
signed_ntp_timestamp signed_ntp_minus_filetime(const signed_ntp_timestamp& a, u64 b);
// stamp(b) + a, with the same rules.
signed_ntp_timestamp systemtime_plus_signed_ntp(const signed_ntp_timestamp& a, const SYSTEMTIME& b);
signed_ntp_timestamp filetime_plus_signed_ntp(const signed_ntp_timestamp& a, u64 b);
// The stamp divided by divisor (the 32.32 quotient, truncated); 0 for divisor 0.
u64 ntp_divide(u64 stamp, u32 divisor);
signed_ntp_timestamp signed_ntp_divide(const signed_ntp_timestamp& value, u32 divisor);

// Tails: the last n bytes (1..4) of the seconds or the fraction word. An n
// outside 1..4 is taken as the default shown.
// The fraction word (big-endian when swap, else host order), then, when
// significant_bytes < 4, tail_value in the last 4 - significant_bytes bytes.
void ntp_set_fraction(u64& stamp, u32 fraction, u32 tail_value, u32 significant_bytes = 4, bool swap = true);
// n = 1..3: the n low bytes of value into the last n fraction bytes, least
// significant first; n = 4: the whole word (big-endian when swap, else host order).
void ntp_set_fraction_tail(u64& stamp, u32 value, u32 n = 1, bool swap = true);
// Fraction from a count of nano-, micro- or milliseconds, then tail_value in
// the last 1, 2 or 3 fraction bytes.
void ntp_set_fraction_ns(u64& stamp, u32 nanoseconds, u32 tail_value);
void ntp_set_fraction_us(u64& stamp, u32 microseconds, u32 tail_value);
void ntp_set_fraction_ms(u64& stamp, u32 milliseconds, u32 tail_value);
// The n source bytes, in order, into the last n bytes of the fraction or of word.
void ntp_copy_fraction_tail(u64& stamp, const u8* source, u32 n = 1);
void copy_word_tail(u32& word, const u8* source, u32 n = 1);
// Up to n bytes of bytes from index, in order, into the last n bytes of the
// word, stopping at the end of bytes; returns the count copied.
u32 ntp_read_fraction_tail(u64& stamp, const std::vector<u8>& bytes, i32 index, u32 n = 1);
u32 ntp_read_seconds_tail(u64& stamp, const std::vector<u8>& bytes, i32 index, u32 n = 1);
// Appends the last n bytes of the word in stored order; true.
bool append_seconds_tail(u64 stamp, std::vector<u8>& out, u32 n = 4);
bool append_fraction_tail(u64 stamp, std::vector<u8>& out, u32 n = 4);
// The last n fraction bytes as a big-endian number in the top bytes of a u32
// (lower bytes 0); byte-swapped when swap.
u32 ntp_fraction_tail(u64 stamp, u32 n = 4, bool swap = false);
// tail: the last 4 - head_bytes fraction bytes read least significant first;
// head: the first byte's value (1), the first bytes big-endian in the top of
// the u32 (2, 3) or the fraction word as stored (4).
void ntp_split_fraction(u64 stamp, u32& head, u32& tail, u32 head_bytes = 4);
// Adds a small random amount (257..4095 units) to the fraction, without carry.
void ntp_jitter_fraction(u64& stamp);
// Moves the seconds 2..127 forward or 128..255 back and draws a new fraction.
void ntp_randomize(u64& stamp);

// When start is not 0: the seconds since start, " secs " and an end of line.
void write_elapsed_seconds(u64 start, std::ostream& out);
