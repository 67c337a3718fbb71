#include "framework/time/qz_variant.h"

#include <algorithm>
#include <limits>

#include "framework/text/qz_bytes.h"
#include "framework/time/qz_time.h"

namespace {

constexpr std::size_t header_size = 6;  // u16 type code, u32 flag word
constexpr std::size_t guid_size = 16;
constexpr u64 max_value_size = std::numeric_limits<i32>::max();
constexpr u64 max_list_size = std::numeric_limits<u32>::max();

// How the payload of a type code is laid out.
enum class payload_kind { none, number, counted_text, counted_bytes, guid, unpackable };

struct payload_layout {
  payload_kind kind;
  int number_size;  // bytes of number for payload_kind::number
};

payload_layout layout_of(u16 type) {
  switch (type) {
    case variant_empty:
      return {payload_kind::none, 0};
    case variant_u8:
      return {payload_kind::number, 1};
    case variant_u16:
      return {payload_kind::number, 2};
    case variant_i32:
    case variant_u32:
    case variant_unix_time:
    case variant_unix_time + 1:
    case variant_unix_date:
    case variant_unix_date + 1:
      return {payload_kind::number, 4};
    case variant_u64:
    case variant_filetime:
    case variant_filetime + 1:
    case variant_chrome_time:
    case variant_chrome_time + 1:
    case variant_safari_time:
    case variant_safari_time + 1:
    case variant_filetime_date:
    case variant_filetime_date + 1:
      return {payload_kind::number, 8};
    case variant_text:
    case variant_raw_text:
    case variant_hidden_text:
      return {payload_kind::counted_text, 0};
    case variant_guid:
      return {payload_kind::guid, 0};
    case variant_hex_bytes:
    case variant_hex_bytes + 1:
      return {payload_kind::counted_bytes, 0};
    default:
      return {payload_kind::unpackable, 0};
  }
}

// An 8-byte number cell whose flag word is exactly 0x4000 carries its whole time list.
bool carries_time_list(const payload_layout& layout, u32 flags) {
  return layout.kind == payload_kind::number && layout.number_size == 8 &&
         flags == variant_flag_time_list;
}

void append_le(std::vector<u8>& out, u64 value, int size) {
  for (int i = 0; i < size; ++i) out.push_back(static_cast<u8>(value >> (8 * i)));
}

void append_raw(std::vector<u8>& out, const void* data, std::size_t size) {
  const u8* bytes = static_cast<const u8*>(data);
  out.insert(out.end(), bytes, bytes + size);
}

// Bytes the value takes packed; 0 when it has no packed form.
u64 packed_size(const qz_variant_lite& value) {
  if (value.flags & variant_flag_header) return header_size + 4;
  const payload_layout layout = layout_of(value.type);
  switch (layout.kind) {
    case payload_kind::none:
      return header_size;
    case payload_kind::number:
      if (carries_time_list(layout, value.flags))
        return header_size + 8 + 4 + 8 * static_cast<u64>(value.times.size());
      return header_size + static_cast<std::size_t>(layout.number_size);
    case payload_kind::counted_text:
      return header_size + 4 + value.text.size();
    case payload_kind::counted_bytes:
      return header_size + 4 + value.bytes.size();
    case payload_kind::guid:
      return value.bytes.size() < guid_size ? 0 : header_size + guid_size;
    case payload_kind::unpackable:
      break;
  }
  return 0;
}

// Reads little-endian values from a byte range, refusing any read past its end.
class packed_reader {
 public:
  packed_reader(const u8* data, std::size_t size) : data_(data), left_(size), size_(size) {}

  std::size_t used() const { return size_ - left_; }

  bool take(u64& value, int size) {
    if (left_ < static_cast<std::size_t>(size)) return false;
    value = read_le_uint(data_, size);
    advance(static_cast<std::size_t>(size));
    return true;
  }
  bool take_into(std::string& out, std::size_t size) {
    if (left_ < size) return false;
    out.assign(reinterpret_cast<const char*>(data_), size);
    advance(size);
    return true;
  }
  bool take_into(std::vector<u8>& out, std::size_t size) {
    if (left_ < size) return false;
    out.insert(out.end(), data_, data_ + size);
    advance(size);
    return true;
  }
  // Reads a u32 length and checks that many bytes (of element_size each) remain.
  bool take_length(std::size_t& length, std::size_t element_size) {
    u64 count = 0;
    if (!take(count, 4) || count > left_ / element_size) return false;
    length = static_cast<std::size_t>(count);
    return true;
  }

 private:
  void advance(std::size_t size) {
    data_ += size;
    left_ -= size;
  }
  const u8* data_;
  std::size_t left_;
  std::size_t size_;
};

bool read_payload(qz_variant_lite& value, packed_reader& reader) {
  if (value.flags & variant_flag_header) return reader.take(value.aux, 4);
  const payload_layout layout = layout_of(value.type);
  std::size_t length = 0;
  switch (layout.kind) {
    case payload_kind::none:
      value.number = 0;
      return true;
    case payload_kind::number:
      if (!reader.take(value.number, layout.number_size)) return false;
      if (!carries_time_list(layout, value.flags)) return true;
      if (!reader.take_length(length, 8)) return false;
      value.times.resize(length);
      for (u64& time : value.times) reader.take(time, 8);
      return true;
    case payload_kind::counted_text:
      return reader.take_length(length, 1) && reader.take_into(value.text, length);
    case payload_kind::counted_bytes:
      return reader.take_length(length, 1) && reader.take_into(value.bytes, length);
    case payload_kind::guid:
      return reader.take_into(value.bytes, guid_size);
    case payload_kind::unpackable:
      break;
  }
  return false;
}

}  // namespace

// ---- qz_variant_lite ----

qz_variant_lite::qz_variant_lite(u8 value) : type(variant_u8), number(value) {}

qz_variant_lite::qz_variant_lite(u16 value) : type(variant_u16), number(value) {}

qz_variant_lite::qz_variant_lite(u32 value) : type(variant_u32), number(value) {}

qz_variant_lite::qz_variant_lite(u64 value, u16 type_code) : type(type_code), number(value) {}

qz_variant_lite::qz_variant_lite(const std::string& value) : type(variant_text), text(value) {}

qz_variant_lite::qz_variant_lite(const std::string& name, u64 width)
    : flags(variant_flag_header), aux(width), text(name) {}

qz_variant_lite::qz_variant_lite(const std::string& name, u64 width, u16 type_code, u32 flag_word)
    : type(type_code), flags(flag_word | variant_flag_header), aux(width), text(name) {}

qz_variant_lite::qz_variant_lite(const u8* data, u32 length, u16 type_code) : type(type_code) {
  if (data != nullptr) bytes.assign(data, data + length);
}

void qz_variant_lite::clear() {
  type = 0;
  text_limit = 20;
  flags = 0;
  aux = 0;
  word = 0;
  number = 0;
  bytes.clear();
  text.clear();
  times.clear();
}

// ---- Packed form ----

bool pack_bytes(const qz_variant_lite& value, std::vector<u8>& out) {
  const u64 size = packed_size(value);
  if (size == 0 || size > max_value_size) return false;
  out.reserve(out.size() + size);
  append_le(out, value.type, 2);
  append_le(out, value.flags, 4);
  if (value.flags & variant_flag_header) {
    append_le(out, value.aux > 0xFFFFFFFFu ? 0xFFFFFFFFu : value.aux, 4);
    return true;
  }
  const payload_layout layout = layout_of(value.type);
  switch (layout.kind) {
    case payload_kind::number:
      append_le(out, value.number, layout.number_size);
      if (carries_time_list(layout, value.flags)) {
        append_le(out, value.times.size(), 4);
        for (u64 time : value.times) append_le(out, time, 8);
      }
      break;
    case payload_kind::counted_text:
      append_le(out, value.text.size(), 4);
      append_raw(out, value.text.data(), value.text.size());
      break;
    case payload_kind::counted_bytes:
      append_le(out, value.bytes.size(), 4);
      append_raw(out, value.bytes.data(), value.bytes.size());
      break;
    case payload_kind::guid:
      append_raw(out, value.bytes.data(), guid_size);
      break;
    case payload_kind::none:
    case payload_kind::unpackable:
      break;
  }
  return true;
}

i32 unpack_bytes(qz_variant_lite& value, const std::vector<u8>& in, u32 offset) {
  value.clear();
  if (offset > in.size() || in.size() - offset < header_size) return 0;
  // A value is never longer than an i32 result can report.
  const std::size_t available =
      std::min<std::size_t>(in.size() - offset, static_cast<std::size_t>(max_value_size));
  packed_reader reader(in.data() + offset, available);
  u64 type = 0, flags = 0;
  reader.take(type, 2);
  reader.take(flags, 4);
  value.type = static_cast<u16>(type);
  value.flags = static_cast<u32>(flags);
  if (!read_payload(value, reader)) {
    value.clear();
    return 0;
  }
  return static_cast<i32>(reader.used());
}

bool pack_variant_list(std::vector<u8>& out, const std::vector<qz_variant_lite>& values,
                       bool append) {
  if (!append) out.clear();
  const std::size_t start = out.size();
  for (const qz_variant_lite& value : values) {
    if (!pack_bytes(value, out) || out.size() > max_list_size) {
      out.resize(start);
      return false;
    }
  }
  return !out.empty();
}

bool unpack_variant_list(std::vector<qz_variant_lite>& values, const std::vector<u8>& in,
                         bool append) {
  if (!append) values.clear();
  if (in.empty() || in.size() > max_list_size) return false;
  u64 offset = 0;
  while (offset < in.size()) {
    qz_variant_lite value;
    const i32 used = unpack_bytes(value, in, static_cast<u32>(offset));
    if (used <= 0) return false;
    values.push_back(std::move(value));
    offset += static_cast<u64>(used);
  }
  return true;
}
