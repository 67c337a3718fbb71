#include "framework/time/qz_time_scan.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <iomanip>
#include <new>
#include <sstream>
#include <string>

#include "framework/text/qz_bytes.h"
#include "framework/text/qz_varint.h"
#include "framework/time/qz_clock.h"
#include "framework/time/qz_time_format.h"

namespace {

constexpr u64 four_byte_limit = 0x100000000ULL;
constexpr u32 four_byte_kinds = time_kind_unix | time_kind_dos | time_kind_cocoa | time_kind_hfs_plus;
// Unix milliseconds need 8 bytes for every instant after 1970-02-19.
constexpr u32 eight_byte_kinds = time_kind_filetime | time_kind_chrome | time_kind_firefox | time_kind_unix_ms |
                                 time_kind_ntp | time_kind_cs_ticks | time_kind_cocoa | time_kind_hfs_plus;

u32 read_u32_be(const u8* p) { return byte_swap32(u32(read_le_uint(p, 4))); }
u64 read_u64_be(const u8* p) { return byte_swap64(read_le_uint(p, 8)); }

double read_double_le(const u8* p) {
  const u64 bits = read_le_uint(p, 8);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void le_image(u64 value, u8 (&image)[8]) {
  for (int i = 0; i < 8; ++i) image[i] = u8(value >> (8 * i));
}

bool in_window(const qz::time& candidate, i64 max_filetime, i64 min_filetime) {
  return candidate.valid && min_filetime <= i64(candidate.filetime) && i64(candidate.filetime) <= max_filetime;
}

// Adds a hit when candidate is valid and inside the window.
bool add_hit(time_hit_map& hits, const qz::time& candidate, i64 max_filetime, i64 min_filetime, const u8* bytes,
             u64 offset, u32 kind, bool little_endian, u32 length) {
  if (!in_window(candidate, max_filetime, min_filetime)) return false;
  hits.emplace(offset, time_stats(bytes, candidate.filetime, offset, kind, little_endian, length));
  return true;
}

// Scans can report more tests than an i32 holds on very large buffers.
i32 clamp_count(i64 count) { return count > INT_MAX ? INT_MAX : i32(count); }

}  // namespace

time_stats::time_stats(const u8* source, u64 filetime_value, u64 offset_value, u32 kind_value,
                       bool little_endian_value, u32 length_value)
    : filetime(filetime_value),
      offset(offset_value),
      kind(kind_value),
      little_endian(little_endian_value ? 1 : 0),
      length(length_value) {
  if (!source) {
    clear();
    return;
  }
  try {
    if (little_endian) {
      bytes.assign(source, source + length);
    } else {
      bytes.assign(std::reverse_iterator<const u8*>(source + length), std::reverse_iterator<const u8*>(source));
    }
  } catch (const std::bad_alloc&) {
    clear();
  }
}

void time_stats::clear() { *this = time_stats(); }

bool test_value_as_times(time_hit_map& hits, u64 value, i64 max_filetime, i64 min_filetime, u64 offset,
                         bool little_endian, bool clear_first, u32 mask) {
  if (clear_first) hits.clear();
  const bool wide = value >= four_byte_limit;
  const u32 length = wide ? 8 : 4;
  u8 image[8];
  le_image(value, image);
  bool found = false;
  auto test = [&](u32 kind, u32 hit_length) {
    if (!(mask & kind)) return;
    qz::time candidate;
    if (kind == time_kind_ntp) {
      u64 converted = 0;
      ntp_to_filetime(value, converted);
      candidate = qz::time(converted, u32(time_kind_filetime));
    } else if (kind == time_kind_dos) {
      candidate = qz::time(dos_datetime{u16(value >> 16), u16(value)}, true);
    } else {
      candidate = qz::time(value, kind);
    }
    found |= add_hit(hits, candidate, max_filetime, min_filetime, image, offset, kind, little_endian, hit_length);
  };
  if (wide) {
    for (u32 kind : {time_kind_filetime, time_kind_chrome, time_kind_firefox, time_kind_ntp, time_kind_cs_ticks,
                     time_kind_cocoa, time_kind_snowflake}) {
      test(kind, length);
    }
  }
  test(time_kind_unix, length);
  test(time_kind_unix_ms, length);
  if (wide) return found;
  test(time_kind_dos, length);
  test(time_kind_hfs_plus, length);
  test(time_kind_cocoa, length);
  // A stamp of whole seconds has a zero fraction, which is the high half of its
  // little-endian reading; it is still an 8-byte stamp.
  test(time_kind_ntp, 8);
  return found;
}

bool test_guid_time(time_hit_map& hits, const u8* bytes, i64 max_filetime, i64 min_filetime, u64 offset,
                    bool clear_first) {
  if (clear_first) hits.clear();
  if (!bytes) return false;
  u64 filetime = 0;
  u16 clock_sequence = 0;
  std::vector<u8> node;
  if (!decode_guid_v1_time(filetime, clock_sequence, node, bytes)) {
    u32 first = 0, second = 0;
    if (!decode_filetime_record(filetime, first, second, bytes)) return false;
  }
  const qz::time candidate(filetime, u32(time_kind_filetime));
  return add_hit(hits, candidate, max_filetime, min_filetime, bytes, offset, time_kind_guid, true, 16);
}

bool test_snowflake_time(time_hit_map& hits, const u8* bytes, i64 max_filetime, i64 min_filetime, u64 offset,
                         bool clear_first) {
  if (clear_first) hits.clear();
  if (!bytes) return false;
  const qz::time candidate(i64(read_le_uint(bytes, 8)), u32(time_kind_snowflake));
  return add_hit(hits, candidate, max_filetime, min_filetime, bytes, offset, time_kind_snowflake, true, 8);
}

bool test_ole_time(time_hit_map& hits, i64 max_filetime, i64 min_filetime, u64 offset, bool clear_first,
                   double value) {
  if (clear_first) hits.clear();
  u8 image[8];
  std::memcpy(image, &value, sizeof image);
  const qz::time candidate(value, u32(time_kind_ole));
  return add_hit(hits, candidate, max_filetime, min_filetime, image, offset, time_kind_ole, true, 8);
}

bool test_systemtime(time_hit_map& hits, const u8* bytes, i64 max_filetime, i64 min_filetime, u64 offset,
                     bool clear_first) {
  if (clear_first) hits.clear();
  if (!bytes) return false;
  bool found = false;
  std::vector<u8> record(bytes, bytes + 16);
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1) std::reverse(record.begin(), record.end());
    qz::time candidate;
    candidate.set_from_bytes(record, 0, time_kind_systemtime);
    found |= add_hit(hits, candidate, max_filetime, min_filetime, record.data(), offset, time_kind_systemtime,
                     true, 16);
  }
  return found;
}

i32 scan_buffer_for_times(std::ostream* out, const u8* bytes, u32 size, u64 max_filetime, u64 min_filetime,
                          u64 base_offset, u32 mask) {
  if (!bytes || size == 0) return 0;
  const u64 n = size;
  const i64 max = i64(max_filetime);
  const i64 min = i64(min_filetime);
  time_hit_map hits;
  i64 count = 0;

  // Each pass visits the positions whose whole value lies inside the buffer.
  if (mask & four_byte_kinds) {
    const u32 m4 = mask & four_byte_kinds;
    for (u64 i = 0; i + 4 <= n; ++i) {
      count += test_value_as_times(hits, read_le_uint(bytes + i, 4), max, min, base_offset + i, true, false, m4);
    }
    for (u64 i = 0; i + 4 <= n; ++i) {
      count += test_value_as_times(hits, read_u32_be(bytes + i), max, min, base_offset + i, false, false, m4);
    }
  }
  if (mask & (eight_byte_kinds | time_kind_ole)) {
    const u32 m8 = mask & eight_byte_kinds;
    for (u64 i = 0; i + 8 <= n; ++i) {
      count += test_value_as_times(hits, read_le_uint(bytes + i, 8), max, min, base_offset + i, true, false, m8);
      if (mask & time_kind_ole) {
        count += test_ole_time(hits, max, min, base_offset + i, false, read_double_le(bytes + i));
      }
    }
    for (u64 i = 0; i + 8 <= n; ++i) {
      count += test_value_as_times(hits, read_u64_be(bytes + i), max, min, base_offset + i, false, false, m8);
    }
  }
  if (mask & time_kind_guid) {
    for (u64 i = 0; i + 16 <= n; ++i) count += test_guid_time(hits, bytes + i, max, min, base_offset + i, false);
  }
  if (mask & (time_kind_systemtime | time_kind_systemtime_local)) {
    for (u64 i = 0; i + 16 <= n; ++i) count += test_systemtime(hits, bytes + i, max, min, base_offset + i, false);
  }
  if (mask & time_kind_snowflake) {
    for (u64 i = 0; i + 8 <= n; ++i) {
      count += test_snowflake_time(hits, bytes + i, max, min, base_offset + i, false);
    }
  }

  if (out && count > 0) {
    for (const auto& [offset, hit] : hits) print_time_hit(hit, *out);
  }
  return clamp_count(count);
}

i32 scan_buffer_for_times_varint(std::ostream* out, const u8* bytes, u32 size, u64 max_filetime,
                                 u64 min_filetime, u64 base_offset, u32 mask) {
  i64 count = scan_buffer_for_times(out, bytes, size, max_filetime, min_filetime, base_offset, mask);
  if (!bytes || size == 0) return clamp_count(count);
  // A varint uses at most 9 bytes, so the decoders never need more.
  const i32 varint_bytes = i32(std::min<u32>(size, 9));
  struct varint_pass {
    bool (*decode)(u64&, const u8*, i32);
    const char* title;
  };
  for (const varint_pass& pass : {varint_pass{decode_varint_be, "Variable int BE"},
                                  varint_pass{decode_varint_le, "Variable int LE"}}) {
    u64 value = 0;
    if (!pass.decode(value, bytes, varint_bytes)) continue;
    u8 image[8];
    le_image(value, image);
    std::ostringstream collected;
    const i32 found = scan_buffer_for_times(&collected, image, 8, max_filetime, min_filetime, base_offset, mask);
    if (found > 0 && out) *out << pass.title << '\n' << collected.str();
    count += found;
  }
  return clamp_count(count);
}

namespace {

u32 scannable_size(const std::vector<u8>& bytes) { return u32(std::min<size_t>(bytes.size(), UINT32_MAX)); }

}  // namespace

i32 scan_vector_for_times(std::ostream* out, const std::vector<u8>& bytes, u64 max_filetime, u64 min_filetime,
                          u64 base_offset, u32 mask) {
  if (bytes.empty()) return 0;
  return scan_buffer_for_times(out, bytes.data(), scannable_size(bytes), max_filetime, min_filetime, base_offset,
                               mask);
}

i32 scan_vector_for_times_varint(std::ostream* out, const std::vector<u8>& bytes, u64 max_filetime,
                                 u64 min_filetime, u64 base_offset, u32 mask) {
  if (bytes.empty()) return 0;
  return scan_buffer_for_times_varint(out, bytes.data(), scannable_size(bytes), max_filetime, min_filetime,
                                      base_offset, mask);
}

i32 scan_times_callback(u64, time_scan_context* context, const u8* bytes, u32 size, u64, u64 base_offset) {
  if (!bytes || size == 0 || !context) return -1;
  context->hit_count += u32(scan_buffer_for_times(context->out, bytes, size, context->max_filetime,
                                                  context->min_filetime, base_offset, context->kind_mask));
  return 0;
}

void print_time_hit(const time_stats& hit, std::ostream& out) {
  const std::ios_base::fmtflags flags = out.flags();
  const char fill = out.fill();
  std::string date, clock;
  format_time_custom_c(date, clock, qz::time(hit.filetime, u32(time_kind_filetime)), "yyyy-mm-dd",
                       "hh:mm:ss.xxxxxxxxx");
  out << std::hex << std::nouppercase << std::right << std::setfill('0') << std::setw(6) << hit.offset << ", "
      << (hit.little_endian ? "LE" : "BE") << ", " << std::left << std::setfill(' ') << std::setw(10)
      << time_kind_name(hit.kind) << ", " << date << ' ' << clock << (hit.kind == time_kind_dos ? " LOC" : " UTC")
      << ", " << std::right << std::setfill('0');
  for (u8 byte : hit.bytes) out << std::setw(2) << unsigned(byte) << ' ';
  out << '\n';
  out.flags(flags);
  out.fill(fill);
}

bool find_filetimes_in_array(std::vector<u64>& offsets, const u64* values, i32 size_bytes, u64 base_offset,
                             u64 min_filetime, u64 max_filetime, i32 record_size) {
  offsets.clear();
  if (!values || size_bytes < 8 || record_size <= 0 || record_size % 8 != 0) return false;
  const i64 count = size_bytes / 8;
  const i64 record_values = record_size / 8;
  for (i64 i = 0; i < count;) {
    const u64 value = values[i];
    if (min_filetime <= value && value <= max_filetime) {
      offsets.push_back(base_offset + 8 * u64(i));
      i += record_values;
    } else {
      ++i;
    }
  }
  return !offsets.empty();
}

bool scan_unix32_times(const u8* bytes, u64 size, std::vector<qz::time>& times, std::vector<u64>& offsets) {
  times.clear();
  offsets.clear();
  if (!bytes || size < 8) return false;
  for (u64 i = 0; i + 4 <= size; ++i) {
    const qz::time candidate(u32(read_le_uint(bytes + i, 4)));
    if (!candidate.valid) continue;
    times.push_back(candidate);
    offsets.push_back(i);
  }
  return true;
}

bool scan_unix_and_filetimes(const u8* bytes, u64 size, std::vector<qz::time>& times, std::vector<u64>& offsets) {
  times.clear();
  offsets.clear();
  if (!bytes || size < 8) return false;
  for (u64 i = 0; i + 8 <= size; ++i) {
    const i64 value = i64(read_le_uint(bytes + i, 8));
    for (u32 kind : {time_kind_unix, time_kind_filetime}) {
      const qz::time candidate(value, kind);
      if (!candidate.valid) continue;
      times.push_back(candidate);
      offsets.push_back(i);
    }
  }
  return true;
}
