#include "framework/time/qz_clock.h"

#include <gtest/gtest.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "framework/text/qz_bytes.h"
#include "framework/time/qz_epoch.h"

namespace {

constexpr u64 ntp_epoch = 94354848000000000ULL;
constexpr u64 june_15_2015_noon = 130788432000000000ULL;

// The stamp of seconds and fraction as they are stored (big-endian words).
u64 stamp(u32 seconds, u32 fraction) { return ntp_timestamp(byte_swap32(seconds), byte_swap32(fraction)).image(); }

std::vector<u8> stored_bytes(u64 s) {
  std::vector<u8> out(8);
  std::memcpy(out.data(), &s, 8);
  return out;
}

u32 seconds_of(u64 s) { return byte_swap32(ntp_timestamp::from_image(s).seconds_word); }
u32 fraction_of(u64 s) { return byte_swap32(ntp_timestamp::from_image(s).fraction_word); }

signed_ntp_timestamp signed_stamp(double seconds) {
  const bool negative = seconds < 0;
  const double magnitude = negative ? -seconds : seconds;
  const u32 whole = u32(magnitude);
  signed_ntp_timestamp out(ntp_timestamp::from_image(stamp(whole, u32((magnitude - whole) * 4294967296.0))));
  out.negative = negative;
  return out;
}

double value_of(const signed_ntp_timestamp& s) {
  const u64 image = s.stamp.image();
  const double magnitude = seconds_of(image) + fraction_of(image) / 4294967296.0;
  return s.negative ? -magnitude : magnitude;
}

TEST(NtpConversion, FiletimeToNtp) {
  struct row {
    const char* name;
    i64 filetime;
    bool ok;
    u32 seconds, fraction;
  };
  const row rows[] = {
      {"the NTP epoch", i64(ntp_epoch), true, 0, 0},
      {"half a second", i64(ntp_epoch + 5000000), true, 0, 0x80000000u},
      {"0.05 s is kept to 2^-28", i64(ntp_epoch + 500000), true, 0, 214748352},
      {"2015", i64(june_15_2015_noon), true, 3643358400u, 0},
      {"before 1900 wraps", i64(ntp_epoch - 10000000), true, u32((u64(0) - 10000000) / 10000000),
       u32((((u64(0) - 10000000) % 10000000) << 28) / 10000000 << 4)},
      {"negative FILETIME", -1, false, 0, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    u64 out = 77;
    EXPECT_EQ(filetime_to_ntp(r.filetime, out), r.ok);
    EXPECT_EQ(seconds_of(out), r.seconds);
    EXPECT_EQ(fraction_of(out), r.fraction);
    EXPECT_EQ(stored_bytes(out)[0], u8(r.seconds >> 24)) << "seconds stored big-endian";
    EXPECT_EQ(ntp_from_filetime(r.filetime), r.ok ? out : 0);
  }
  FILETIME rec;
  filetime_from_u64(ntp_epoch + 5000000, rec);
  u64 out = 0;
  EXPECT_TRUE(filetime_record_to_ntp(rec, out));
  EXPECT_EQ(fraction_of(out), 0x80000000u);
  const i64 filetime = i64(june_15_2015_noon);
  EXPECT_EQ(ntp_from_filetime(&filetime, out), stamp(3643358400u, 0));
  EXPECT_EQ(out, stamp(3643358400u, 0));
  EXPECT_EQ(ntp_from_filetime(nullptr, out), 0u);
  EXPECT_EQ(systemtime_to_ntp(SYSTEMTIME(june_15_2015_noon)), stamp(3643358400u, 0));
}

TEST(NtpConversion, NtpToFiletime) {
  u64 filetime = 0;
  EXPECT_TRUE(ntp_to_filetime(stamp(1, 0x80000000u), filetime));
  EXPECT_EQ(filetime, ntp_epoch + 15000000);
  u64 whole = 0;
  double fraction = 0;
  EXPECT_TRUE(ntp_to_filetime_parts(stamp(3643358400u, 0x40000000u), filetime, whole, fraction));
  EXPECT_EQ(whole, june_15_2015_noon);
  EXPECT_DOUBLE_EQ(fraction, 2500000.0);
  EXPECT_EQ(filetime, june_15_2015_noon + 2500000);
  // Round trip loses less than one tick.
  for (u64 ticks : {0ULL, 1ULL, 4999999ULL, 9999999ULL, 1234567ULL}) {
    u64 s = 0;
    ASSERT_TRUE(filetime_to_ntp(i64(june_15_2015_noon + ticks), s));
    ntp_to_filetime(s, filetime);
    EXPECT_LE(june_15_2015_noon + ticks - filetime, 1u) << ticks;
  }
  time_fields fields;
  const u64 s = stamp(3643358400u, 0x80000000u);
  ASSERT_TRUE(ntp_to_broken_down_time(&s, fields));
  EXPECT_EQ(fields.wYear, 2015);
  EXPECT_EQ(fields.wMilliseconds, 500);
  EXPECT_FALSE(ntp_to_broken_down_time(nullptr, fields));
  EXPECT_EQ(ntp_to_host_u64(stamp(5, 7)), (u64(7) << 32) | 5);
  bool negative = false;
  signed_ntp_timestamp n(ntp_timestamp::from_image(stamp(5, 7)));
  n.negative = 1;
  EXPECT_EQ(signed_ntp_to_host(n, negative), (u64(7) << 32) | 5);
  EXPECT_TRUE(negative);
}

TEST(NtpArithmetic, DifferenceOrderAndSeconds) {
  const u64 a = stamp(100, 0), b = stamp(100, 0x80000000u);
  EXPECT_DOUBLE_EQ(ntp_time_difference(a, b), 0.5);
  EXPECT_DOUBLE_EQ(ntp_time_difference(b, a), 0.5);
  EXPECT_TRUE(ntp_less(a, b));
  EXPECT_FALSE(ntp_less(b, a));
  EXPECT_TRUE(ntp_less(stamp(99, 0xFFFFFFFFu), a)) << "seconds decide first";
  EXPECT_EQ(ntp_subtract_seconds(stamp(10, 123), 3), stamp(7, 123));
  EXPECT_EQ(ntp_subtract_seconds(stamp(10, 123), 11), stamp(0, 123));
  EXPECT_EQ(ntp_divide(stamp(3, 0), 2), stamp(1, 0x80000000u));
  EXPECT_EQ(ntp_divide(stamp(3, 0), 0), 0u);
  EXPECT_DOUBLE_EQ(value_of(signed_ntp_divide(signed_stamp(-3), 4)), -0.75);
}

TEST(NtpArithmetic, AddFractionWithoutCarry) {
  u64 s = stamp(1, 0xFFFFFFF0u);
  ntp_add_fraction(s, 0x20, true);
  EXPECT_EQ(s, stamp(1, 0x10)) << "no carry into the seconds";
  s = stamp(1, 0x100);
  ntp_add_fraction(s, byte_swap32(0x10), false);
  EXPECT_EQ(s, stamp(1, 0x110));
}

TEST(NtpArithmetic, SignedSumsAndDifferences) {
  struct row {
    const char* name;
    double a, b;
    bool subtract;
    double want;
    bool negative;
  };
  const row rows[] = {
      {"+1 - +3", 1, 3, true, -2, true},
      {"-1 - -3", -1, -3, true, 2, false},
      {"-1 - +3", -1, 3, true, -4, true},
      {"2.25 - 2.75 borrows a second", 2.25, 2.75, true, -0.5, true},
      {"-2 - -2 keeps a's sign", -2, -2, true, 0, true},
      {"+1.75 + +1.5 carries", 1.75, 1.5, false, 3.25, false},
      {"-1 + +3", -1, 3, false, 2, false},
      {"-3 + +1", -3, 1, false, -2, true},
      {"-2 + +2 is positive", -2, 2, false, 0, false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const signed_ntp_timestamp out = r.subtract ? signed_ntp_subtract(signed_stamp(r.a), signed_stamp(r.b))
                                                : signed_ntp_add(signed_stamp(r.a), signed_stamp(r.b));
    EXPECT_DOUBLE_EQ(value_of(out), r.want);
    EXPECT_EQ(out.negative != 0, r.negative);
  }
  const signed_ntp_timestamp half = signed_ntp_subtract(signed_stamp(2.25), signed_stamp(2.75));
  EXPECT_EQ(stored_bytes(half.stamp.image())[4], 0x80) << "fraction stored big-endian";

  EXPECT_TRUE(signed_ntp_less(signed_stamp(-3), signed_stamp(-1)));
  EXPECT_TRUE(signed_ntp_less(signed_stamp(-1), signed_stamp(0.5)));
  EXPECT_FALSE(signed_ntp_less(signed_stamp(2), signed_stamp(1)));
  EXPECT_FALSE(signed_ntp_less(signed_stamp(-0.0), signed_stamp(0)));
}

TEST(NtpArithmetic, AgainstFiletimeAndSystemtime) {
  const signed_ntp_timestamp two(signed_stamp(2));
  EXPECT_DOUBLE_EQ(value_of(filetime_plus_signed_ntp(two, ntp_epoch + 10000000)), 3);
  EXPECT_DOUBLE_EQ(value_of(signed_ntp_minus_filetime(two, ntp_epoch + 30000000)), -1);
  EXPECT_DOUBLE_EQ(value_of(filetime_plus_signed_ntp(two, 1ULL << 63)), 0) << "no time gives a zero stamp";
  EXPECT_DOUBLE_EQ(value_of(signed_ntp_minus_filetime(two, 1ULL << 63)), 0);
  const SYSTEMTIME st(ntp_epoch + 50000000);
  EXPECT_DOUBLE_EQ(value_of(systemtime_plus_signed_ntp(two, st)), 7);
  EXPECT_DOUBLE_EQ(value_of(signed_ntp_minus_systemtime(two, st)), -3);
  SYSTEMTIME before_1601;
  before_1601.wYear = 1500;
  before_1601.wMonth = 1;
  before_1601.wDay = 1;
  EXPECT_DOUBLE_EQ(value_of(systemtime_plus_signed_ntp(two, before_1601)), 2) << "b counts as 0";
}

TEST(NtpTails, SettingAndReading) {
  const u64 base = stamp(0x01020304, 0xA1B2C3D4);
  struct row {
    const char* name;
    std::function<void(u64&)> apply;
    std::vector<u8> want;
  };
  const std::vector<u8> src = {0x11, 0x22, 0x33, 0x44};
  const row rows[] = {
      {"fraction tail of 2, low byte first", [](u64& s) { ntp_set_fraction_tail(s, 0xBEEF, 2); },
       {1, 2, 3, 4, 0xA1, 0xB2, 0xEF, 0xBE}},
      {"fraction tail n out of range is 1", [](u64& s) { ntp_set_fraction_tail(s, 0xBEEF, 9); },
       {1, 2, 3, 4, 0xA1, 0xB2, 0xC3, 0xEF}},
      {"whole fraction big-endian", [](u64& s) { ntp_set_fraction_tail(s, 0x01020304, 4, true); },
       {1, 2, 3, 4, 1, 2, 3, 4}},
      {"whole fraction in host order", [](u64& s) { ntp_set_fraction_tail(s, 0x01020304, 4, false); },
       {1, 2, 3, 4, 4, 3, 2, 1}},
      {"fraction with a one-byte tail", [](u64& s) { ntp_set_fraction(s, 0x55667788, 0x99, 3); },
       {1, 2, 3, 4, 0x55, 0x66, 0x77, 0x99}},
      {"half a second in ms, 3-byte tail", [](u64& s) { ntp_set_fraction_ms(s, 500, 0x030201); },
       {1, 2, 3, 4, 0x80, 1, 2, 3}},
      {"quarter second in us, 2-byte tail", [](u64& s) { ntp_set_fraction_us(s, 250000, 0x0201); },
       {1, 2, 3, 4, 0x40, 0, 1, 2}},
      {"ns, 1-byte tail", [](u64& s) { ntp_set_fraction_ns(s, 500000000, 7); }, {1, 2, 3, 4, 0x80, 0, 0, 7}},
      {"copy 3 source bytes", [&src](u64& s) { ntp_copy_fraction_tail(s, src.data(), 3); },
       {1, 2, 3, 4, 0xA1, 0x11, 0x22, 0x33}},
      {"read 2 fraction bytes", [&src](u64& s) { EXPECT_EQ(ntp_read_fraction_tail(s, src, 1, 2), 2u); },
       {1, 2, 3, 4, 0xA1, 0xB2, 0x22, 0x33}},
      {"read stops at the end", [&src](u64& s) { EXPECT_EQ(ntp_read_seconds_tail(s, src, 3, 3), 1u); },
       {1, 0x44, 3, 4, 0xA1, 0xB2, 0xC3, 0xD4}},
      {"read outside the vector", [&src](u64& s) { EXPECT_EQ(ntp_read_seconds_tail(s, src, 4, 1), 0u); },
       {1, 2, 3, 4, 0xA1, 0xB2, 0xC3, 0xD4}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    u64 s = base;
    r.apply(s);
    EXPECT_EQ(stored_bytes(s), r.want);
  }

  std::vector<u8> appended = {9};
  EXPECT_TRUE(append_seconds_tail(base, appended, 2));
  EXPECT_TRUE(append_fraction_tail(base, appended));
  EXPECT_EQ(appended, (std::vector<u8>{9, 3, 4, 0xA1, 0xB2, 0xC3, 0xD4}));

  EXPECT_EQ(ntp_fraction_tail(base, 2), 0xC3D40000u);
  EXPECT_EQ(ntp_fraction_tail(base, 2, true), 0x0000D4C3u);
  EXPECT_EQ(ntp_fraction_tail(base), 0xA1B2C3D4u);

  u32 head = 0, tail = 0;
  ntp_split_fraction(base, head, tail, 1);
  EXPECT_EQ(head, 0xA1u);
  EXPECT_EQ(tail, 0xD4C3B2u);
  ntp_split_fraction(base, head, tail, 2);
  EXPECT_EQ(head, 0xA1B20000u);
  EXPECT_EQ(tail, 0xD4C3u);
  ntp_split_fraction(base, head, tail);
  EXPECT_EQ(head, ntp_timestamp::from_image(base).fraction_word);
  EXPECT_EQ(tail, 0u);

  u32 word = 0;
  copy_word_tail(word, src.data(), 2);
  u8 word_bytes[4];
  std::memcpy(word_bytes, &word, 4);
  EXPECT_EQ(word_bytes[2], 0x11);
  EXPECT_EQ(word_bytes[3], 0x22);
}

TEST(NtpRandom, StaysInItsRanges) {
  for (int i = 0; i < 500; ++i) {
    u64 s = stamp(1000, 0x10000000);
    ntp_jitter_fraction(s);
    const u32 added = fraction_of(s) - 0x10000000u;
    EXPECT_GE(added, 257u);
    EXPECT_LE(added, 255u + 256u * 15u);
    EXPECT_EQ(seconds_of(s), 1000u);

    s = stamp(1000, 0);
    ntp_randomize(s);
    const i64 moved = i64(seconds_of(s)) - 1000;
    EXPECT_TRUE((moved >= 2 && moved <= 127) || (moved >= -255 && moved <= -128)) << moved;
  }
}

// The seconds of the clock that current_time reads. time() is not that clock: it lags
// gettimeofday by up to a scheduler tick, so just after a second turns it is one behind.
u64 clock_seconds() {
  timeval now {};
  gettimeofday(&now, nullptr);
  return u64(now.tv_sec);
}

TEST(Clock, CurrentTime) {
  const u64 before = clock_seconds();
  const qz::time now = current_time();
  const u64 after = clock_seconds();
  ASSERT_TRUE(now.valid);
  EXPECT_GE(now.unix_time, before);
  EXPECT_LE(now.unix_time, after);

  const u64 stamp_now = current_ntp_time();
  EXPECT_EQ(fraction_of(stamp_now), 0u) << "whole seconds";
  EXPECT_NEAR(double(seconds_of(stamp_now)), double(::time(nullptr)) + 2208988800.0, 2.0);
  u64 stored = 0;
  store_current_ntp_time(stored);
  EXPECT_NEAR(double(seconds_of(stored)), double(seconds_of(current_ntp_time_coarse())), 2.0);
}

TEST(Reports, ElapsedSeconds) {
  std::ostringstream out;
  write_elapsed_seconds(0, out);
  EXPECT_EQ(out.str(), "");
  for (int attempt = 0; attempt < 5; ++attempt) {
    std::ostringstream text;
    const u64 now = current_ntp_time();
    write_elapsed_seconds(ntp_subtract_seconds(now, 2), text);
    if (current_ntp_time() != now) continue;
    EXPECT_EQ(text.str(), "2 secs \n");
    return;
  }
  FAIL() << "clock kept moving";
}

}  // namespace
