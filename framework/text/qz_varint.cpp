#include "framework/text/qz_varint.h"

#include <cstring>

namespace {

constexpr u8 continuation_bit = 0x80;
constexpr u8 group_bits = 0x7F;
constexpr int max_varint64_bytes = 9;

// Collects the groups of a 64-bit varint: up to 8 bytes of 7 bits, then a 9th of 8 bits.
// Returns the number of groups; last_is_full tells whether the 9th byte was reached.
int collect_groups64(u8 (&groups)[max_varint64_bytes], const u8* data, i32 length,
                     bool& last_is_full) {
  last_is_full = false;
  int count = 0;
  while (count < length && count < max_varint64_bytes) {
    const u8 byte = data[count];
    if (count == max_varint64_bytes - 1) {
      groups[count++] = byte;
      last_is_full = true;
      break;
    }
    groups[count++] = byte & group_bits;
    if (!(byte & continuation_bit)) break;
  }
  return count;
}

}  // namespace

u32 decode_varint(u32& value, const u8* data, u32 length) {
  value = 0;
  if (!data || length == 0) return 0;
  u32 result = 0;
  for (u32 i = 0; i < length; ++i) {
    const u8 byte = data[i];
    // Groups from the sixth byte on lie wholly above bit 31 (and shifting a u32 by 32 or more
    // is undefined), so they are read but add nothing.
    if (7 * u64{i} < 32) result |= static_cast<u32>(byte & group_bits) << (7 * i);
    if (!(byte & continuation_bit)) {
      value = result;
      return i + 1;
    }
  }
  return 0;
}

bool decode_varint_le(u64& value, const u8* data, i32 length) {
  value = 0;
  if (!data || length < 1) return false;
  u8 groups[max_varint64_bytes];
  bool last_is_full = false;
  const int count = collect_groups64(groups, data, length, last_is_full);
  for (int i = 0; i < count; ++i) value |= u64{groups[i]} << (7 * i);
  return true;
}

bool decode_varint_be(u64& value, const u8* data, i32 length) {
  value = 0;
  if (!data || length < 1) return false;
  u8 groups[max_varint64_bytes];
  bool last_is_full = false;
  const int count = collect_groups64(groups, data, length, last_is_full);
  for (int i = 0; i < count; ++i) {
    const bool full_byte = last_is_full && i == count - 1;
    value = (value << (full_byte ? 8 : 7)) | groups[i];
  }
  return true;
}

bool decode_ieee_float(double& value, const std::vector<u8>& bytes) {
  if (bytes.size() != sizeof(float) && bytes.size() != sizeof(double)) return false;
  u64 bits = 0;
  for (u8 byte : bytes) bits = (bits << 8) | byte;
  if (bytes.size() == sizeof(float)) {
    const u32 bits32 = static_cast<u32>(bits);
    float single;
    std::memcpy(&single, &bits32, sizeof single);
    value = single;
    return true;
  }
  std::memcpy(&value, &bits, sizeof value);
  return true;
}

bool bitstring_to_bytes(std::vector<u8>& out, const std::string& bits) {
  out.clear();
  out.reserve((bits.size() + 7) / 8);
  for (size_t start = 0; start < bits.size(); start += 8) {
    u8 byte = 0;
    for (size_t k = 0; k < 8; ++k) {
      const bool one = start + k < bits.size() && bits[start + k] == '1';
      byte = static_cast<u8>((byte << 1) | (one ? 1 : 0));
    }
    out.push_back(byte);
  }
  return true;
}
