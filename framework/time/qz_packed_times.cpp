#include "framework/time/qz_packed_times.h"

#include "framework/text/qz_bytes.h"
#include "framework/time/qz_filetime.h"

namespace {

constexpr u8 header_milliseconds = 0x40;
constexpr u8 header_reserved = 0x80;
constexpr u64 base_mask = (u64(1) << 60) - 1;
constexpr u32 width_shift = 60;

// Distance width in bytes for a width code; 0 for the codes the encoder never writes.
u32 width_of_code(u32 code) {
  switch (code) {
    case 0: return 1;
    case 1: return 2;
    case 3: return 4;
    case 5: return 6;
    case 7: return 8;
    default: return 0;
  }
}

// Smallest width that holds distance.
u32 width_for(u64 distance) {
  if (distance >> 48) return 8;
  if (distance >> 32) return 6;
  if (distance >> 16) return 4;
  if (distance >> 8) return 2;
  return 1;
}

void append_le(std::vector<u8>& out, u64 value, u32 bytes) {
  for (u32 i = 0; i < bytes; ++i) out.push_back(u8(value >> (8 * i)));
}

}  // namespace

u16 encode_packed_times(const std::vector<u64>& times, std::vector<u8>& out, bool milliseconds) {
  const std::size_t count = times.size();
  if (count == 0 || count > packed_times_max_count) return 0;
  std::size_t base_index = 0;
  for (std::size_t i = 1; i < count; ++i) {
    if (times[i] > times[base_index]) base_index = i;
  }
  const u64 base = times[base_index];
  // Every other time is at most the base, so a base within 60 bits covers the top-bit test.
  if (base > base_mask) return 0;

  std::vector<u64> distances;
  distances.reserve(count - 1);
  u32 width = 1;
  for (std::size_t i = 0; i < count; ++i) {
    if (i == base_index) continue;
    u64 distance = base - times[i];
    if (milliseconds) distance /= filetime_ticks_per_ms;
    distances.push_back(distance);
    if (width_for(distance) > width) width = width_for(distance);
  }

  const u8 header = u8((count - 1) | (base_index << 3) | (milliseconds ? header_milliseconds : 0));
  out.push_back(header);
  append_le(out, (base & base_mask) | (u64(width - 1) << width_shift), 8);
  for (u64 distance : distances) append_le(out, distance, width);
  return u16(packed_times_head_bytes + (count - 1) * width);
}

u32 decode_packed_times(const u8* data, u32 size, std::vector<u64>& times) {
  times.clear();
  if (data == nullptr || size < packed_times_head_bytes) return 0;
  const u8 header = data[0];
  const u64 word = read_le_uint(data + 1, 8);
  const u64 base = word & base_mask;
  const u32 count = (header & 7u) + 1;
  const u32 base_index = (header >> 3) & 7u;
  const u32 width = width_of_code(u32(word >> width_shift) & 7u);
  if ((header & header_reserved) || (word >> 63) || width == 0 || base_index >= count) return 0;
  const u32 length = packed_times_head_bytes + (count - 1) * width;
  if (length > size) return 0;

  const u64 scale = (header & header_milliseconds) ? filetime_ticks_per_ms : 1;
  u32 position = packed_times_head_bytes;
  for (u32 i = 0; i < count; ++i) {
    if (i == base_index) {
      times.push_back(base);
      continue;
    }
    const u64 distance = read_le_uint(data + position, int(width));
    position += width;
    if (distance > base / scale) {
      times.clear();
      return 0;
    }
    times.push_back(base - distance * scale);
  }
  return position;
}
