#include "framework/time/qz_time_scan.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iomanip>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/time/scoped_tz.h"

namespace {

// Every fixture value is 2015-06-15 12:00:00 UTC in its own encoding.
constexpr u64 june_15_2015_noon = 130788432000000000ULL;
constexpr u32 unix_noon = 1434369600;
constexpr u64 window_min = 130645440000000000ULL;  // 2015-01-01
constexpr u64 window_max = 130960800000000000ULL;  // 2016-01-01
constexpr const char* noon_text = "2015-06-15 12:00:00.000000000";

std::vector<u8> le(u64 value, int count) {
  std::vector<u8> out;
  for (int i = 0; i < count; ++i) out.push_back(u8(value >> (8 * i)));
  return out;
}

std::vector<u8> be(u64 value, int count) {
  std::vector<u8> out = le(value, count);
  return std::vector<u8>(out.rbegin(), out.rend());
}

std::vector<u8> join(std::vector<u8> a, const std::vector<u8>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<u8> double_bytes(double value) {
  std::vector<u8> out(8);
  std::memcpy(out.data(), &value, 8);
  return out;
}

std::vector<u8> systemtime_bytes(std::initializer_list<u16> fields) {
  std::vector<u8> out;
  for (u16 field : fields) out = join(out, le(field, 2));
  return out;
}

// A heap block of exactly the bytes' size, so that the sanitizer build reports
// any read beyond it.
struct exact_buffer {
  explicit exact_buffer(const std::vector<u8>& bytes) : data(new u8[bytes.size()]), size(u32(bytes.size())) {
    if (!bytes.empty()) std::memcpy(data.get(), bytes.data(), bytes.size());
  }
  std::unique_ptr<u8[]> data;
  u32 size;
};

struct scan_result {
  i32 count;
  std::string text;
};

scan_result scan(const std::vector<u8>& bytes, u32 mask, u64 base = 0, u64 max = window_max, u64 min = window_min) {
  const exact_buffer buffer(bytes);
  std::ostringstream out;
  const i32 count = scan_buffer_for_times(&out, buffer.data.get(), buffer.size, max, min, base, mask);
  return {count, out.str()};
}

std::string hex_bytes(const std::vector<u8>& bytes) {
  std::string out;
  char two[4];
  for (u8 byte : bytes) {
    std::snprintf(two, sizeof two, "%02x ", byte);
    out += two;
  }
  return out;
}

std::string hit_line(u64 offset, const char* order, const char* kind, const char* zone,
                     const std::vector<u8>& bytes) {
  char head[64];
  std::snprintf(head, sizeof head, "%06llx, %s, %-10s, ", static_cast<unsigned long long>(offset), order, kind);
  return std::string(head) + noon_text + zone + ", " + hex_bytes(bytes) + "\n";
}

bool has_line(const std::string& text, const std::string& line) {
  return text == line || text.rfind(line, 0) == 0 || text.find("\n" + line) != std::string::npos;
}

struct kind_row {
  const char* name;
  std::vector<u8> bytes;
  u32 mask;
  const char* order;
  const char* zone;
};

std::vector<kind_row> kind_rows() {
  return {
      {"filetime", le(june_15_2015_noon, 8), time_kind_filetime, "LE", " UTC"},
      {"filetime", be(june_15_2015_noon, 8), time_kind_filetime, "BE", " UTC"},
      {"chrome", le(june_15_2015_noon / 10, 8), time_kind_chrome, "LE", " UTC"},
      {"firefox3", le(u64(unix_noon) * 1000000, 8), time_kind_firefox, "LE", " UTC"},
      {"unix time", le(unix_noon, 4), time_kind_unix, "LE", " UTC"},
      {"unix time", be(unix_noon, 4), time_kind_unix, "BE", " UTC"},
      {"unix millisec time", le(u64(unix_noon) * 1000, 8), time_kind_unix_ms, "LE", " UTC"},
      {"dos time", le((((35u << 9) | (6u << 5) | 15u) << 16) | (12u << 11), 4), time_kind_dos, "LE", " LOC"},
      // NTP stamps lie in memory as big-endian seconds since 1900, then the fraction.
      {"ntp", join(be(u64(unix_noon) + 2208988800ULL, 4), le(0, 4)), time_kind_ntp, "LE", " UTC"},
      {"guid", join(le((june_15_2015_noon + 5748192000000000ULL) | (1ULL << 60), 8), le(0x0123456789ABCDEFULL, 8)),
       time_kind_guid, "LE", " UTC"},
      {"ole", double_bytes(42170.5), time_kind_ole, "LE", " UTC"},
      {"system time", systemtime_bytes({2015, 6, 1, 15, 12, 0, 0, 0}), time_kind_systemtime, "LE", " UTC"},
      {"c# time", le(june_15_2015_noon + 504911232000000000ULL, 8), time_kind_cs_ticks, "LE", " UTC"},
      {"snowflake time", le(u64(unix_noon - 1420070400ULL) * 1000 << 22, 8), time_kind_snowflake, "LE", " UTC"},
      {"safari time", le(unix_noon - 978307200ULL, 4), time_kind_cocoa, "LE", " UTC"},
      {"hfs+ time", le(u64(unix_noon) + 2082844800ULL, 4), time_kind_hfs_plus, "LE", " UTC"},
  };
}

TEST(ScanBuffer, EachKindAtTheStartTheEndAndAlone) {
  scoped_tz tz("UTC0");
  const std::vector<u8> zeros(16, 0);
  for (const kind_row& r : kind_rows()) {
    SCOPED_TRACE(std::string(r.name) + " " + r.order);
    // Big-endian hits record the value's bytes back in buffer order.
    const std::vector<u8>& recorded = r.bytes;
    struct placement {
      const char* name;
      std::vector<u8> buffer;
      u64 base;
      u64 offset;
    };
    const placement placements[] = {
        {"start", join(r.bytes, zeros), 0, 0},
        {"end", join(zeros, r.bytes), 0, 16},
        {"end with a base offset", join(zeros, r.bytes), 0x1000, 0x1010},
        {"alone", r.bytes, 0, 0},
    };
    for (const placement& p : placements) {
      SCOPED_TRACE(p.name);
      const scan_result result = scan(p.buffer, r.mask, p.base);
      EXPECT_GE(result.count, 1);
      EXPECT_TRUE(has_line(result.text, hit_line(p.offset, r.order, r.name, r.zone, recorded))) << result.text;
    }
    // One byte short of the value: nothing of its kind can be read.
    std::vector<u8> short_by_one(r.bytes.begin(), r.bytes.end() - 1);
    const scan_result cut = scan(short_by_one, r.mask);
    EXPECT_EQ(cut.count, 0);
    EXPECT_EQ(cut.text, "");
  }
}

// Reads the offset and the number of recorded bytes of each printed line.
struct printed_hit {
  u64 offset;
  size_t length;
};

std::vector<printed_hit> printed_hits(const std::string& text) {
  std::vector<printed_hit> out;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t bytes_at = line.rfind(", ");
    out.push_back({std::stoull(line.substr(0, line.find(',')), nullptr, 16), (line.size() - bytes_at - 2) / 3});
  }
  return out;
}

// Every length of a buffer full of timestamps, each kind enabled: hits stay
// inside the buffer, come out in offset order, and nothing is read beyond it.
TEST(ScanBuffer, EveryLengthStaysInsideTheBuffer) {
  scoped_tz tz("UTC0");
  std::vector<u8> all;
  for (const kind_row& r : kind_rows()) all = join(all, r.bytes);
  for (size_t length = 0; length <= all.size(); ++length) {
    SCOPED_TRACE(length);
    const std::vector<u8> prefix(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(length));
    const scan_result result = scan(prefix, 0xFFFFFFFFu);
    if (length < 4) {
      EXPECT_EQ(result.count, 0);
      EXPECT_EQ(result.text, "");
    }
    u64 last_offset = 0;
    for (const printed_hit& hit : printed_hits(result.text)) {
      EXPECT_LE(hit.offset + hit.length, length);
      EXPECT_GE(hit.offset, last_offset);
      last_offset = hit.offset;
    }
  }
  EXPECT_EQ(scan_buffer_for_times(nullptr, nullptr, 16, window_max, window_min, 0, 0xFFFFFFFFu), 0);
}

TEST(ScanBuffer, LineFormatWindowAndMask) {
  scoped_tz tz("UTC0");
  const std::vector<u8> filetime = le(june_15_2015_noon, 8);
  const scan_result one = scan(filetime, time_kind_filetime);
  EXPECT_EQ(one.count, 1);
  EXPECT_EQ(one.text, "000000, LE, filetime  , 2015-06-15 12:00:00.000000000 UTC, 00 20 17 ce 62 a7 d0 01 \n");

  struct row {
    const char* name;
    std::vector<u8> bytes;
    u32 mask;
    u64 max, min;
    i32 count;
  };
  const row rows[] = {
      {"window ends at the instant", filetime, time_kind_filetime, june_15_2015_noon, june_15_2015_noon, 1},
      {"window ends before it", filetime, time_kind_filetime, june_15_2015_noon - 1, window_min, 0},
      {"window starts after it", filetime, time_kind_filetime, window_max, june_15_2015_noon + 1, 0},
      {"OLE bytes with the filetime kind only", double_bytes(42170.5), time_kind_filetime, window_max, window_min, 0},
      {"no kind", filetime, 0, window_max, window_min, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const scan_result result = scan(r.bytes, r.mask, 0, r.max, r.min);
    EXPECT_EQ(result.count, r.count);
    if (r.count == 0) {
      EXPECT_EQ(result.text, "");
    }
  }
}

TEST(ScanBuffer, HitsComeOutInOffsetOrder) {
  scoped_tz tz("UTC0");
  // The 4-byte pass finds the unix time at 20 before the 8-byte pass finds the
  // FILETIME at 0; the printout still starts at offset 0.
  std::vector<u8> buffer = join(le(june_15_2015_noon, 8), std::vector<u8>(12, 0));
  buffer = join(buffer, le(unix_noon, 4));
  const scan_result result = scan(buffer, time_kind_filetime | time_kind_unix);
  EXPECT_EQ(result.count, 2);
  EXPECT_EQ(result.text, hit_line(0, "LE", "filetime", " UTC", le(june_15_2015_noon, 8)) +
                             hit_line(20, "LE", "unix time", " UTC", le(unix_noon, 4)));
}

TEST(PrintTimeHit, LeavesTheStreamAsItWas) {
  scoped_tz tz("UTC0");
  std::ostringstream out;
  out.fill('*');
  const std::vector<u8> bytes = le(unix_noon, 4);
  print_time_hit(time_stats(bytes.data(), june_15_2015_noon, 0xABCDEF12, time_kind_unix, true, 4), out);
  out << std::setw(5) << 255;
  EXPECT_EQ(out.str(), hit_line(0xABCDEF12, "LE", "unix time", " UTC", bytes) + "**255");
  // A kind without a printed name leaves its column blank.
  std::ostringstream unnamed;
  print_time_hit(time_stats(bytes.data(), june_15_2015_noon, 0, time_kind_filetime_record, true, 4), unnamed);
  EXPECT_EQ(unnamed.str(), hit_line(0, "LE", "", " UTC", bytes));
}

std::vector<u8> varint_le(u64 value) {
  std::vector<u8> out;
  do {
    u8 byte = value & 0x7F;
    value >>= 7;
    if (value) byte |= 0x80;
    out.push_back(byte);
  } while (value);
  return out;
}

TEST(ScanBuffer, VarintPasses) {
  scoped_tz tz("UTC0");
  const std::vector<u8> encoded = varint_le(unix_noon);
  const exact_buffer buffer(encoded);
  std::ostringstream out;
  const i32 count =
      scan_buffer_for_times_varint(&out, buffer.data.get(), buffer.size, window_max, window_min, 0, time_kind_unix);
  EXPECT_GE(count, 1);
  EXPECT_NE(out.str().find("Variable int LE\n" + hit_line(0, "LE", "unix time", " UTC", le(unix_noon, 4))),
            std::string::npos)
      << out.str();
  EXPECT_EQ(out.str().find("Variable int BE"), std::string::npos);

  for (size_t length = 0; length < 3; ++length) {
    const exact_buffer tiny(std::vector<u8>(length, 0xFF));
    EXPECT_EQ(scan_buffer_for_times_varint(&out, tiny.data.get(), tiny.size, window_max, window_min, 0, time_kind_unix),
              0);
  }
  EXPECT_EQ(scan_vector_for_times_varint(&out, {}, window_max, window_min, 0, time_kind_unix), 0);
  EXPECT_EQ(scan_vector_for_times_varint(nullptr, encoded, window_max, window_min, 0, time_kind_unix), count);
}

TEST(ScanBuffer, VectorAndCallbackForms) {
  scoped_tz tz("UTC0");
  const std::vector<u8> bytes = le(june_15_2015_noon, 8);
  std::ostringstream out;
  EXPECT_EQ(scan_vector_for_times(&out, {}, window_max, window_min, 0, time_kind_filetime), 0);
  EXPECT_EQ(scan_vector_for_times(&out, bytes, window_max, window_min, 0, time_kind_filetime), 1);
  EXPECT_EQ(out.str(), scan(bytes, time_kind_filetime).text);

  std::ostringstream context_out;
  time_scan_context context{&context_out, window_max, window_min, time_kind_filetime, 0};
  EXPECT_EQ(scan_times_callback(0, &context, bytes.data(), 8, 0, 0), 0);
  EXPECT_EQ(scan_times_callback(0, &context, bytes.data(), 8, 0, 0x40), 0);
  EXPECT_EQ(context.hit_count, 2u);
  EXPECT_TRUE(has_line(context_out.str(), hit_line(0x40, "LE", "filetime", " UTC", bytes)));
  EXPECT_EQ(scan_times_callback(0, nullptr, bytes.data(), 8, 0, 0), -1);
  EXPECT_EQ(scan_times_callback(0, &context, nullptr, 8, 0, 0), -1);
  EXPECT_EQ(scan_times_callback(0, &context, bytes.data(), 0, 0, 0), -1);
  EXPECT_EQ(context.hit_count, 2u);
}

TEST(TimeStats, CopiesTheValueBytesInBufferOrder) {
  const std::vector<u8> bytes = {1, 2, 3, 4, 5, 6, 7, 8};
  const time_stats forward(bytes.data(), 11, 22, time_kind_unix, true, 4);
  EXPECT_EQ(forward.bytes, (std::vector<u8>{1, 2, 3, 4}));
  EXPECT_EQ(forward.little_endian, 1);
  const time_stats reversed(bytes.data(), 11, 22, time_kind_unix, false, 4);
  EXPECT_EQ(reversed.bytes, (std::vector<u8>{4, 3, 2, 1}));
  EXPECT_EQ(reversed.little_endian, 0);
  EXPECT_EQ(reversed.length, 4u);

  time_stats cleared = reversed;
  cleared.clear();
  EXPECT_TRUE(cleared.bytes.empty());
  EXPECT_EQ(cleared.filetime, 0u);
  EXPECT_EQ(cleared.little_endian, 1);
  EXPECT_EQ(cleared.length, 0u);
  const time_stats missing(nullptr, 11, 22, time_kind_unix, false, 4);
  EXPECT_TRUE(missing.bytes.empty());
  EXPECT_EQ(missing.length, 0u);
}

TEST(TestValueAsTimes, KindsByValueSize) {
  scoped_tz tz("UTC0");
  struct row {
    const char* name;
    u64 value;
    bool little_endian;
    u32 mask;
    u32 kind;  // 0: no hit
    u32 length;
    std::vector<u8> bytes;
  };
  const row rows[] = {
      {"unix seconds", unix_noon, true, time_kind_unix, time_kind_unix, 4, le(unix_noon, 4)},
      {"unix seconds read big-endian", unix_noon, false, time_kind_unix, time_kind_unix, 4, be(unix_noon, 4)},
      {"filetime", june_15_2015_noon, true, time_kind_filetime, time_kind_filetime, 8, le(june_15_2015_noon, 8)},
      {"small values are never filetimes", unix_noon, true, time_kind_filetime, 0, 0, {}},
      {"unix milliseconds", u64(unix_noon) * 1000, true, time_kind_unix_ms, time_kind_unix_ms, 8,
       le(u64(unix_noon) * 1000, 8)},
      {"ntp stamp of whole seconds", 0xC03C29D9ULL, true, time_kind_ntp, time_kind_ntp, 8, le(0xC03C29D9ULL, 8)},
      {"ntp stamp with a fraction", 0x00010000C03C29D9ULL, true, time_kind_ntp, time_kind_ntp, 8,
       le(0x00010000C03C29D9ULL, 8)},
      {"dos words", (u64((35u << 9) | (6u << 5) | 15u) << 16) | (12u << 11), true, time_kind_dos, time_kind_dos, 4,
       le((u64((35u << 9) | (6u << 5) | 15u) << 16) | (12u << 11), 4)},
      {"dos needs a 4-byte value", u64(unix_noon) << 32, true, time_kind_dos, 0, 0, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    time_hit_map hits;
    hits.emplace(7, time_stats());
    const bool found = test_value_as_times(hits, r.value, window_max, window_min, 0x30, r.little_endian, true, r.mask);
    EXPECT_EQ(found, r.kind != 0);
    if (r.kind == 0) {
      EXPECT_TRUE(hits.empty());
      continue;
    }
    ASSERT_EQ(hits.size(), 1u);
    const time_stats& hit = hits.begin()->second;
    EXPECT_EQ(hits.begin()->first, 0x30u);
    EXPECT_EQ(hit.offset, 0x30u);
    EXPECT_EQ(hit.kind, r.kind);
    EXPECT_EQ(hit.length, r.length);
    EXPECT_EQ(hit.bytes, r.bytes);
    EXPECT_EQ(hit.filetime, june_15_2015_noon);
  }
  // Without clearing, hits add up under their offsets in the order found.
  time_hit_map hits;
  test_value_as_times(hits, june_15_2015_noon, window_max, window_min, 5, true, false, time_kind_filetime);
  test_value_as_times(hits, unix_noon, window_max, window_min, 5, true, false, time_kind_unix);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits.begin()->second.kind, u32(time_kind_filetime));
  EXPECT_EQ(std::next(hits.begin())->second.kind, u32(time_kind_unix));
}

TEST(TestRecords, GuidFiletimeRecordSystemtimeAndSnowflake) {
  scoped_tz tz("UTC0");
  time_hit_map hits;
  // A {u32, u32, FILETIME} record is taken when the bytes are no version-1 GUID.
  const std::vector<u8> record = join(le(0x2222222211111111ULL, 8), le(june_15_2015_noon, 8));
  EXPECT_TRUE(test_guid_time(hits, record.data(), window_max, window_min, 3, true));
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits.begin()->second.kind, u32(time_kind_guid));
  EXPECT_EQ(hits.begin()->second.bytes, record);
  EXPECT_FALSE(test_guid_time(hits, std::vector<u8>(16, 0).data(), window_max, window_min, 3, true));
  EXPECT_TRUE(hits.empty());

  // Reversed bytes are tested reversed back; the hit keeps the bytes as tested.
  const std::vector<u8> st = systemtime_bytes({2015, 6, 1, 15, 12, 0, 0, 0});
  const std::vector<u8> reversed(st.rbegin(), st.rend());
  EXPECT_TRUE(test_systemtime(hits, reversed.data(), window_max, window_min, 0, true));
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits.begin()->second.bytes, st);
  EXPECT_EQ(hits.begin()->second.filetime, june_15_2015_noon);

  const std::vector<u8> negative_snowflake = le(~0ULL, 8);
  EXPECT_FALSE(test_snowflake_time(hits, negative_snowflake.data(), window_max, window_min, 0, true));
  EXPECT_TRUE(test_ole_time(hits, window_max, window_min, 9, true, 42170.5));
  EXPECT_EQ(hits.begin()->second.bytes, double_bytes(42170.5));
  EXPECT_FALSE(test_ole_time(hits, window_max, window_min, 9, true, 1e300));
}

TEST(FindFiletimesInArray, RecordsAndRefusals) {
  const u64 ft = june_15_2015_noon;
  const std::vector<u64> values = {0, ft, ft + 1, 5, ft};
  const std::unique_ptr<u64[]> exact(new u64[values.size()]);
  std::memcpy(exact.get(), values.data(), values.size() * 8);
  const i32 size = i32(values.size() * 8);
  struct row {
    const char* name;
    const u64* values;
    i32 size;
    i32 record;
    bool ok;
    std::vector<u64> offsets;
  };
  const row rows[] = {
      {"one value per record", exact.get(), size, 8, true, {0x101 + 8, 0x101 + 16, 0x101 + 32}},
      {"a hit skips the rest of its record", exact.get(), size, 16, true, {0x101 + 8, 0x101 + 32}},
      {"records of 32 bytes", exact.get(), size, 32, true, {0x101 + 8}},
      {"a partial last value is not read", exact.get(), size - 1, 8, true, {0x101 + 8, 0x101 + 16}},
      {"nothing in range", exact.get(), 8, 8, false, {}},
      {"no values", nullptr, size, 8, false, {}},
      {"size below 8", exact.get(), 7, 8, false, {}},
      {"record size 0", exact.get(), size, 0, false, {}},
      {"record size 12", exact.get(), size, 12, false, {}},
      {"negative record size", exact.get(), size, -8, false, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<u64> offsets = {99};
    EXPECT_EQ(find_filetimes_in_array(offsets, r.values, r.size, 0x101, window_min, window_max, r.record), r.ok);
    EXPECT_EQ(offsets, r.offsets);
  }
}

TEST(ScanPlausibleTimes, UnixAndFiletimeLists) {
  scoped_tz tz("UTC0");
  std::vector<qz::time> times(1);
  std::vector<u64> offsets = {99};
  for (size_t length = 4; length < 8; ++length) {
    const exact_buffer short_buffer(std::vector<u8>(length, 0x55));
    EXPECT_FALSE(scan_unix32_times(short_buffer.data.get(), short_buffer.size, times, offsets));
    EXPECT_TRUE(times.empty());
    EXPECT_FALSE(scan_unix_and_filetimes(short_buffer.data.get(), short_buffer.size, times, offsets));
  }
  EXPECT_FALSE(scan_unix32_times(nullptr, 8, times, offsets));

  const exact_buffer zeros(std::vector<u8>(8, 0));
  EXPECT_TRUE(scan_unix32_times(zeros.data.get(), zeros.size, times, offsets));
  EXPECT_TRUE(times.empty());

  // The time in the last four bytes is the last one found (any other non-zero
  // word is a unix time too).
  const exact_buffer tail(join(std::vector<u8>(6, 0), le(unix_noon, 4)));
  EXPECT_TRUE(scan_unix32_times(tail.data.get(), tail.size, times, offsets));
  ASSERT_FALSE(offsets.empty());
  EXPECT_EQ(offsets.back(), 6u);
  EXPECT_EQ(times.back().filetime, june_15_2015_noon);
  EXPECT_EQ(offsets.front(), 3u);

  const exact_buffer filetime(join(std::vector<u8>(1, 0), le(june_15_2015_noon, 8)));
  EXPECT_TRUE(scan_unix_and_filetimes(filetime.data.get(), filetime.size, times, offsets));
  ASSERT_EQ(offsets, (std::vector<u64>{1}));
  EXPECT_EQ(times[0].filetime, june_15_2015_noon);

  const exact_buffer seconds(le(unix_noon, 8));
  EXPECT_TRUE(scan_unix_and_filetimes(seconds.data.get(), seconds.size, times, offsets));
  ASSERT_EQ(offsets, (std::vector<u64>{0}));
  EXPECT_EQ(times[0].filetime, june_15_2015_noon);
}

}  // namespace
