#include "framework/time/qz_clock.h"

#include <sys/time.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "framework/text/qz_bytes.h"
#include "framework/text/qz_random.h"
#include "framework/time/qz_epoch.h"

namespace {

constexpr double two_to_minus_32 = 2.3283064365386963e-10;

// A stamp as its eight stored bytes: 0-3 seconds, 4-7 fraction.
struct stamp_bytes {
  u8 b[8];
};

stamp_bytes bytes_of(u64 stamp) {
  stamp_bytes out;
  std::memcpy(out.b, &stamp, 8);
  return out;
}

u64 stamp_of(const stamp_bytes& bytes) {
  u64 stamp;
  std::memcpy(&stamp, bytes.b, 8);
  return stamp;
}

u32 read_be32(const u8* p) { return u32(p[0]) << 24 | u32(p[1]) << 16 | u32(p[2]) << 8 | u32(p[3]); }

void write_be32(u8* p, u32 v) {
  p[0] = u8(v >> 24);
  p[1] = u8(v >> 16);
  p[2] = u8(v >> 8);
  p[3] = u8(v);
}

u32 read_host32(const u8* p) {
  u32 v;
  std::memcpy(&v, p, 4);
  return v;
}

void write_host32(u8* p, u32 v) { std::memcpy(p, &v, 4); }

u32 stamp_seconds(u64 stamp) { return read_be32(bytes_of(stamp).b); }
u32 stamp_fraction(u64 stamp) { return read_be32(bytes_of(stamp).b + 4); }

u64 make_stamp(u32 seconds, u32 fraction) {
  stamp_bytes bytes;
  write_be32(bytes.b, seconds);
  write_be32(bytes.b + 4, fraction);
  return stamp_of(bytes);
}

// The 32.32 value of a stamp as one number.
u64 magnitude_of(const ntp_timestamp& stamp) {
  const u64 image = stamp.image();
  return u64(stamp_seconds(image)) << 32 | stamp_fraction(image);
}

signed_ntp_timestamp signed_of(u64 magnitude, bool negative) {
  signed_ntp_timestamp out(ntp_timestamp::from_image(make_stamp(u32(magnitude >> 32), u32(magnitude))));
  out.negative = negative;
  return out;
}

u32 tail_length(u32 n, u32 fallback) { return (n >= 1 && n <= 4) ? n : fallback; }

void set_fraction_from_count(u64& stamp, u32 count, double units_per_count, u32 tail_value, u32 tail_bytes) {
  // Counts past one second would not fit the word; the low 32 bits are kept.
  const u64 fraction = u64(double(count) * units_per_count);
  stamp = make_stamp(stamp_seconds(stamp), u32(fraction));
  ntp_set_fraction_tail(stamp, tail_value, tail_bytes, true);
}

// Copies up to n bytes into the last n bytes of the 4-byte word at word.
u32 copy_into_tail(u8* word, const u8* source, u32 count, u32 n) {
  std::memcpy(word + 4 - n, source, count);
  return count;
}

}  // namespace

ntp_timestamp::ntp_timestamp(u32 seconds, u32 fraction) : seconds_word(seconds), fraction_word(fraction) {}

u64 ntp_timestamp::image() const {
  stamp_bytes bytes;
  write_host32(bytes.b, seconds_word);
  write_host32(bytes.b + 4, fraction_word);
  return stamp_of(bytes);
}

ntp_timestamp ntp_timestamp::from_image(u64 stamp) {
  const stamp_bytes bytes = bytes_of(stamp);
  return ntp_timestamp(read_host32(bytes.b), read_host32(bytes.b + 4));
}

signed_ntp_timestamp::signed_ntp_timestamp(ntp_timestamp value) : stamp(value) {}

u64 current_filetime() {
  timeval now{};
  gettimeofday(&now, nullptr);
  return u64(i64(now.tv_sec) * i64(filetime_ticks_per_second) + i64(now.tv_usec) * 10 + i64(filetime_unix_epoch));
}

qz::time current_time() { return qz::time(i64(current_filetime()), u32(time_kind_filetime)); }

namespace {

u64 ntp_of_unix_seconds(i64 seconds) {
  const qz::time now(seconds, u32(time_kind_unix));
  u64 stamp = 0;
  filetime_to_ntp(i64(now.filetime), stamp);
  return stamp;
}

}  // namespace

u64 current_ntp_time() {
  timeval now{};
  if (gettimeofday(&now, nullptr) != 0) return 0;
  return ntp_of_unix_seconds(now.tv_sec);
}

void store_current_ntp_time(u64& out) { out = current_ntp_time(); }

u64 current_ntp_time_coarse() { return ntp_of_unix_seconds(::time(nullptr)); }

bool filetime_to_ntp(i64 filetime, u64& out) {
  out = 0;
  if (filetime < 0) return false;
  const u64 since_1900 = u64(filetime) - filetime_ntp_epoch;
  const u64 seconds = since_1900 / filetime_ticks_per_second;
  const u64 rest = since_1900 % filetime_ticks_per_second;
  const u64 fraction = ((rest << 28) / filetime_ticks_per_second) << 4;
  out = make_stamp(u32(seconds), u32(fraction));
  return true;
}

bool filetime_record_to_ntp(const FILETIME& filetime, u64& out) { return filetime_to_ntp(i64(filetime.value()), out); }

u64 ntp_from_filetime(i64 filetime) {
  u64 stamp = 0;
  filetime_to_ntp(filetime, stamp);
  return stamp;
}

u64 ntp_from_filetime(const i64* filetime, u64& out) {
  out = filetime ? ntp_from_filetime(*filetime) : 0;
  return out;
}

bool systemtime_to_ntp(const SYSTEMTIME& st, u64& out) { return filetime_to_ntp(i64(FILETIME(st).value()), out); }

u64 systemtime_to_ntp(const SYSTEMTIME& st) {
  u64 stamp = 0;
  systemtime_to_ntp(st, stamp);
  return stamp;
}

bool ntp_to_filetime(u64 stamp, u64& out) {
  u64 whole = 0;
  double fraction = 0;
  return ntp_to_filetime_parts(stamp, out, whole, fraction);
}

bool ntp_to_filetime_parts(u64 stamp, u64& filetime, u64& whole_seconds_filetime, double& fraction_ticks) {
  whole_seconds_filetime = filetime_ntp_epoch + u64(stamp_seconds(stamp)) * filetime_ticks_per_second;
  fraction_ticks = double(stamp_fraction(stamp)) * double(filetime_ticks_per_second) * two_to_minus_32;
  filetime = whole_seconds_filetime + u64(fraction_ticks);
  return true;
}

bool ntp_to_broken_down_time(const u64* stamp, time_fields& out) {
  if (!stamp) return false;
  u64 filetime = 0;
  ntp_to_filetime(*stamp, filetime);
  return filetime_to_broken_down_time(out, filetime);
}

u64 ntp_to_host_u64(u64 stamp) { return u64(stamp_fraction(stamp)) << 32 | stamp_seconds(stamp); }

u64 signed_ntp_to_host(const signed_ntp_timestamp& value, bool& negative) {
  negative = value.negative != 0;
  return ntp_to_host_u64(value.stamp.image());
}

double ntp_time_difference(u64 a, u64 b) {
  const double seconds_a = double(stamp_seconds(a)) + double(stamp_fraction(a)) * two_to_minus_32;
  const double seconds_b = double(stamp_seconds(b)) + double(stamp_fraction(b)) * two_to_minus_32;
  return seconds_a > seconds_b ? seconds_a - seconds_b : seconds_b - seconds_a;
}

bool ntp_less(u64 a, u64 b) {
  return (u64(stamp_seconds(a)) << 32 | stamp_fraction(a)) < (u64(stamp_seconds(b)) << 32 | stamp_fraction(b));
}

bool signed_ntp_less(const signed_ntp_timestamp& a, const signed_ntp_timestamp& b) {
  const u64 ma = magnitude_of(a.stamp), mb = magnitude_of(b.stamp);
  const bool na = a.negative && ma != 0, nb = b.negative && mb != 0;
  if (na != nb) return na;
  return na ? ma > mb : ma < mb;
}

u64 ntp_subtract_seconds(u64 stamp, u32 n) {
  const u32 seconds = stamp_seconds(stamp);
  return make_stamp(n > seconds ? 0 : seconds - n, stamp_fraction(stamp));
}

u32 ntp_add_fraction(u64& stamp, u32 v, bool host_order) {
  const u32 addend = host_order ? v : byte_swap32(v);
  stamp = make_stamp(stamp_seconds(stamp), stamp_fraction(stamp) + addend);
  return ntp_timestamp::from_image(stamp).fraction_word;
}

signed_ntp_timestamp signed_ntp_add(const signed_ntp_timestamp& a, const signed_ntp_timestamp& b) {
  const u64 ma = magnitude_of(a.stamp), mb = magnitude_of(b.stamp);
  if ((a.negative != 0) == (b.negative != 0)) {
    const u64 sum = ma + mb;
    return signed_of(sum, sum != 0 && a.negative);
  }
  if (ma == mb) return signed_of(0, false);
  return ma > mb ? signed_of(ma - mb, a.negative) : signed_of(mb - ma, b.negative);
}

signed_ntp_timestamp signed_ntp_subtract(const signed_ntp_timestamp& a, const signed_ntp_timestamp& b) {
  signed_ntp_timestamp negated_b = b;
  negated_b.negative = !b.negative;
  signed_ntp_timestamp out = signed_ntp_add(a, negated_b);
  if (magnitude_of(out.stamp) == 0) out.negative = a.negative;
  return out;
}

namespace {

signed_ntp_timestamp signed_of_stamp(u64 stamp) { return signed_ntp_timestamp(ntp_timestamp::from_image(stamp)); }

}  // namespace

signed_ntp_timestamp signed_ntp_minus_systemtime(const signed_ntp_timestamp& a, const SYSTEMTIME& b) {
  return signed_ntp_subtract(a, signed_of_stamp(systemtime_to_ntp(b)));
}

signed_ntp_timestamp signed_ntp_minus_filetime(const signed_ntp_timestamp& a, u64 b) {
  u64 stamp = 0;
  if (!filetime_to_ntp(i64(b), stamp)) return signed_ntp_timestamp();
  return signed_ntp_subtract(a, signed_of_stamp(stamp));
}

signed_ntp_timestamp systemtime_plus_signed_ntp(const signed_ntp_timestamp& a, const SYSTEMTIME& b) {
  return signed_ntp_add(signed_of_stamp(systemtime_to_ntp(b)), a);
}

signed_ntp_timestamp filetime_plus_signed_ntp(const signed_ntp_timestamp& a, u64 b) {
  u64 stamp = 0;
  if (!filetime_to_ntp(i64(b), stamp)) return signed_ntp_timestamp();
  return signed_ntp_add(signed_of_stamp(stamp), a);
}

u64 ntp_divide(u64 stamp, u32 divisor) {
  if (divisor == 0) return 0;
  const u64 quotient = (u64(stamp_seconds(stamp)) << 32 | stamp_fraction(stamp)) / divisor;
  return make_stamp(u32(quotient >> 32), u32(quotient));
}

signed_ntp_timestamp signed_ntp_divide(const signed_ntp_timestamp& value, u32 divisor) {
  if (divisor == 0) return signed_ntp_timestamp();
  const u64 quotient = magnitude_of(value.stamp) / divisor;
  return signed_of(quotient, value.negative && quotient != 0);
}

void ntp_set_fraction(u64& stamp, u32 fraction, u32 tail_value, u32 significant_bytes, bool swap) {
  significant_bytes = tail_length(significant_bytes, 4);
  stamp_bytes bytes = bytes_of(stamp);
  if (swap) {
    write_be32(bytes.b + 4, fraction);
  } else {
    write_host32(bytes.b + 4, fraction);
  }
  stamp = stamp_of(bytes);
  if (significant_bytes < 4) ntp_set_fraction_tail(stamp, tail_value, 4 - significant_bytes, swap);
}

void ntp_set_fraction_tail(u64& stamp, u32 value, u32 n, bool swap) {
  n = tail_length(n, 1);
  stamp_bytes bytes = bytes_of(stamp);
  if (n == 4) {
    if (swap) {
      write_be32(bytes.b + 4, value);
    } else {
      write_host32(bytes.b + 4, value);
    }
  } else {
    for (u32 i = 0; i < n; ++i) bytes.b[8 - n + i] = u8(value >> (8 * i));
  }
  stamp = stamp_of(bytes);
}

void ntp_set_fraction_ns(u64& stamp, u32 nanoseconds, u32 tail_value) {
  set_fraction_from_count(stamp, nanoseconds, 4.294967296, tail_value, 1);
}

void ntp_set_fraction_us(u64& stamp, u32 microseconds, u32 tail_value) {
  set_fraction_from_count(stamp, microseconds, 4294.967296, tail_value, 2);
}

void ntp_set_fraction_ms(u64& stamp, u32 milliseconds, u32 tail_value) {
  set_fraction_from_count(stamp, milliseconds, 4294967.296, tail_value, 3);
}

void ntp_copy_fraction_tail(u64& stamp, const u8* source, u32 n) {
  if (!source) return;
  n = tail_length(n, 1);
  stamp_bytes bytes = bytes_of(stamp);
  copy_into_tail(bytes.b + 4, source, n, n);
  stamp = stamp_of(bytes);
}

void copy_word_tail(u32& word, const u8* source, u32 n) {
  if (!source) return;
  n = tail_length(n, 1);
  u8 bytes[4];
  std::memcpy(bytes, &word, 4);
  copy_into_tail(bytes, source, n, n);
  std::memcpy(&word, bytes, 4);
}

namespace {

u32 read_tail(u64& stamp, u32 word_offset, const std::vector<u8>& source, i32 index, u32 n) {
  if (source.empty() || index < 0 || size_t(index) >= source.size()) return 0;
  n = tail_length(n, 1);
  const u32 count = u32(std::min<size_t>(n, source.size() - size_t(index)));
  stamp_bytes bytes = bytes_of(stamp);
  copy_into_tail(bytes.b + word_offset, source.data() + index, count, n);
  stamp = stamp_of(bytes);
  return count;
}

bool append_tail(u64 stamp, u32 word_offset, std::vector<u8>& out, u32 n) {
  n = tail_length(n, 4);
  const stamp_bytes bytes = bytes_of(stamp);
  out.insert(out.end(), bytes.b + word_offset + 4 - n, bytes.b + word_offset + 4);
  return true;
}

}  // namespace

u32 ntp_read_fraction_tail(u64& stamp, const std::vector<u8>& bytes, i32 index, u32 n) {
  return read_tail(stamp, 4, bytes, index, n);
}

u32 ntp_read_seconds_tail(u64& stamp, const std::vector<u8>& bytes, i32 index, u32 n) {
  return read_tail(stamp, 0, bytes, index, n);
}

bool append_seconds_tail(u64 stamp, std::vector<u8>& out, u32 n) { return append_tail(stamp, 0, out, n); }
bool append_fraction_tail(u64 stamp, std::vector<u8>& out, u32 n) { return append_tail(stamp, 4, out, n); }

u32 ntp_fraction_tail(u64 stamp, u32 n, bool swap) {
  n = tail_length(n, 4);
  const stamp_bytes bytes = bytes_of(stamp);
  u32 value = 0;
  for (u32 i = 0; i < n; ++i) value |= u32(bytes.b[8 - n + i]) << (24 - 8 * i);
  return swap ? byte_swap32(value) : value;
}

void ntp_split_fraction(u64 stamp, u32& head, u32& tail, u32 head_bytes) {
  head_bytes = tail_length(head_bytes, 4);
  const stamp_bytes bytes = bytes_of(stamp);
  const u8* fraction = bytes.b + 4;
  tail = 0;
  for (u32 i = head_bytes; i < 4; ++i) tail |= u32(fraction[i]) << (8 * (i - head_bytes));
  if (head_bytes == 1) {
    head = fraction[0];
  } else if (head_bytes == 4) {
    head = read_host32(fraction);
  } else {
    head = 0;
    for (u32 i = 0; i < head_bytes; ++i) head |= u32(fraction[i]) << (24 - 8 * i);
  }
}

void ntp_jitter_fraction(u64& stamp) {
  const u32 jitter = u32(random_byte(1, 255)) + 256 * u32(random_byte(1, 15));
  stamp = make_stamp(stamp_seconds(stamp), stamp_fraction(stamp) + jitter);
}

void ntp_randomize(u64& stamp) {
  const u32 r = random_byte(2, 255);
  const u32 seconds = stamp_seconds(stamp);
  stamp = make_stamp(r < 128 ? seconds + r : seconds - r, random_u32());
}

void write_elapsed_seconds(u64 start, std::ostream& out) {
  if (start == 0) return;
  out << ntp_time_difference(start, current_ntp_time()) << " secs " << '\n';
}
