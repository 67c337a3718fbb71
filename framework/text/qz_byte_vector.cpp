#include "framework/text/qz_byte_vector.h"

#include <algorithm>
#include <new>

namespace {

constexpr u8 long_length_flag = 0x80;

// Appends the one- or two-byte length field of value (at most counted_string_max).
void append_length_field(std::vector<u8>& out, u32 value) {
  if (value < long_length_flag) {
    out.push_back(static_cast<u8>(value));
    return;
  }
  out.push_back(static_cast<u8>(long_length_flag | (value >> 8)));
  out.push_back(static_cast<u8>(value & 0xFF));
}

// Reads the length field at data: value and the field's own length. False for no data or a
// two-byte field cut short.
bool read_length_field(const u8* data, u32 size, u32& value, u32& field_length) {
  if (!data || size == 0) return false;
  if ((data[0] & long_length_flag) == 0) {
    value = data[0];
    field_length = 1;
    return true;
  }
  if (size < 2) return false;
  value = (static_cast<u32>(data[0] & 0x7F) << 8) | data[1];
  field_length = 2;
  return true;
}

// Runs fill on out emptied first; an allocation failure leaves out empty.
template <class Fill>
void fill_or_empty(std::vector<u8>& out, Fill fill) {
  try {
    out.clear();
    fill();
  } catch (const std::bad_alloc&) {
    std::vector<u8>().swap(out);
  }
}

}  // namespace

bool append_counted_string(std::vector<u8>& out, const std::string& text, bool append) {
  if (!append) out.clear();
  if (text.size() > counted_string_max) return false;
  try {
    out.reserve(out.size() + 2 + text.size());
  } catch (const std::bad_alloc&) {
    return false;
  }
  append_length_field(out, static_cast<u32>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
  return true;
}

bool append_counted_string_list(std::vector<u8>& out, const std::vector<std::string>& list,
                                bool append) {
  if (!append) out.clear();
  if (list.size() > counted_string_max) return false;
  try {
    append_length_field(out, static_cast<u32>(list.size()));
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (const std::string& text : list)
    if (!append_counted_string(out, text, true)) return false;
  return true;
}

u32 read_counted_string(std::string& out, const u8* data, u32 size) {
  out.clear();
  u32 length = 0;
  u32 field_length = 0;
  if (!read_length_field(data, size, length, field_length)) return 0;
  if (size == field_length || length > size - field_length) return field_length;
  try {
    out.assign(reinterpret_cast<const char*>(data + field_length), length);
  } catch (const std::bad_alloc&) {
    out.clear();
    return field_length;
  }
  return field_length + length;
}

u32 read_counted_string(std::string& out, const std::vector<u8>& data) {
  return read_counted_string(out, data.data(), static_cast<u32>(data.size()));
}

u32 read_counted_string_list(std::vector<std::string>& out, const u8* data, u32 size) {
  out.clear();
  u32 count = 0;
  u32 field_length = 0;
  if (!read_length_field(data, size, count, field_length)) return 0;
  // Every string takes at least its length byte.
  if (size == field_length || count > size - field_length) return field_length;
  try {
    out.resize(count);
  } catch (const std::bad_alloc&) {
    out.clear();
    return field_length;
  }
  u32 used = field_length;
  for (u32 read = 0; read < count && used < size; ++read) {
    u32 length = 0;
    u32 string_field = 0;
    const bool whole = read_length_field(data + used, size - used, length, string_field) &&
                       length <= size - used - string_field;
    used += read_counted_string(out[read], data + used, size - used);
    // A string cut by the end of the data takes the rest of it: its bytes are not the next
    // strings. It stays empty, as do the entries after it.
    if (!whole) break;
  }
  return used;
}

std::vector<u8> byte_vector_from_buffer(const u8* data, u32 length) {
  std::vector<u8> out;
  if (data) fill_or_empty(out, [&] { out.assign(data, data + length); });
  return out;
}

std::vector<u8> byte_vector_zeroed(u32 size) {
  std::vector<u8> out;
  fill_or_empty(out, [&] { out.resize(size); });
  return out;
}

template <u32 N>
void assign_fixed_bytes(std::vector<u8>& out, const u8* data) {
  static_assert(N == 16 || N == 20 || N == 32, "a digest size");
  fill_or_empty(out, [&] { out.assign(data, data + N); });
}

void assign_buffer(std::vector<u8>& out, const u8* data, i32 length) {
  fill_or_empty(out, [&] {
    if (data && length > 0) out.assign(data, data + length);
  });
}

std::vector<u8>& assign_string_bytes(std::vector<u8>& out, const std::string& text) {
  fill_or_empty(out, [&] { out.assign(text.begin(), text.end()); });
  return out;
}

template <u32 N>
void resize_zeroed(std::vector<u8>& out) {
  static_assert(N == 16 || N == 20 || N == 32, "a digest size");
  fill_or_empty(out, [&] { out.resize(N); });
}

void resize_zeroed(std::vector<u8>& out, i32 count) {
  fill_or_empty(out, [&] {
    if (count > 0) out.resize(static_cast<std::size_t>(count));
  });
}

template void assign_fixed_bytes<16>(std::vector<u8>&, const u8*);
template void assign_fixed_bytes<20>(std::vector<u8>&, const u8*);
template void assign_fixed_bytes<32>(std::vector<u8>&, const u8*);
template void resize_zeroed<16>(std::vector<u8>&);
template void resize_zeroed<20>(std::vector<u8>&);
template void resize_zeroed<32>(std::vector<u8>&);

u32 count_and_remove_byte(std::vector<u8>& bytes, u8 value) {
  const std::size_t before = bytes.size();
  remove_byte(bytes, value);
  return static_cast<u32>(before - bytes.size());
}

void remove_byte(std::vector<u8>& bytes, u8 value) {
  bytes.erase(std::remove(bytes.begin(), bytes.end(), value), bytes.end());
}

bool trim_trailing_zeros(std::vector<u8>& bytes) {
  std::size_t end = bytes.size();
  while (end > 0 && bytes[end - 1] == 0) --end;
  bytes.resize(end);
  return true;
}

void wide_list_to_multi_string(const std::vector<std::wstring>& list, std::vector<u8>& out) {
  fill_or_empty(out, [&] {
    auto append_unit = [&out](u32 unit) {
      out.push_back(static_cast<u8>(unit & 0xFF));
      out.push_back(static_cast<u8>((unit >> 8) & 0xFF));
    };
    for (const std::wstring& text : list) {
      for (wchar_t c : text) append_unit(static_cast<u32>(c));
      append_unit(0);
    }
    if (!out.empty()) append_unit(0);
  });
}

void byte_list_record::reset() {
  word = 1;
  fields.fill(0);
  for (std::vector<u64>& values : value_lists) values.clear();
  byte_lists.clear();
  texts.clear();
  first_counter = 0;
  second_counter = 0;
}
