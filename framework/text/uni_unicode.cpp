#include "framework/text/uni_unicode.h"

#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "framework/text/qz_md5.h"

namespace {

constexpr u32 max_code_point = 0x10FFFF;
constexpr u32 replacement_character = 0xFFFD;

bool is_high_surrogate(u32 unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(u32 unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The three bytes of a surrogate value (ED A0 80 to ED BF BF) start at bytes.
bool is_encoded_surrogate(const unsigned char* bytes, std::size_t available) {
  return available >= 3 && bytes[0] == 0xED && bytes[1] >= 0xA0 && bytes[1] <= 0xBF && (bytes[2] & 0xC0) == 0x80;
}

// Walks UTF-8 bytes and hands every code point to emit; false at the first byte of no valid
// sequence that is no surrogate value either. Overlong forms and values above 0x10FFFF are
// refused: an overlong "/" or NUL, or a value no encoder writes back, would turn a file name
// into a different, possibly shorter, one.
template <class Emit>
bool walk_utf8(const unsigned char* bytes, std::size_t length, Emit&& emit) {
  std::size_t i = 0;
  while (i < length) {
    const u32 lead = bytes[i];
    if (lead < 0x80) {
      emit(lead);
      ++i;
      continue;
    }
    std::size_t sequence = utf8_sequence_length(bytes + i, length - i);
    if (sequence == 0) {
      if (!is_encoded_surrogate(bytes + i, length - i)) return false;
      sequence = 3;
    }
    // The lead keeps 7 - sequence bits of the value, each continuation byte 6.
    u32 value = lead & (0x7Fu >> sequence);
    for (std::size_t k = 1; k < sequence; ++k) value = (value << 6) | (bytes[i + k] & 0x3Fu);
    emit(value);
    i += sequence;
  }
  return true;
}

template <class Emit>
bool walk_utf8(const std::string& text, Emit&& emit) {
  return walk_utf8(reinterpret_cast<const unsigned char*>(text.data()), text.size(), emit);
}

// Writes the UTF-8 form of value (at most 0x10FFFF) at encoded; returns its length.
std::size_t encode_utf8(char* encoded, u32 value) {
  if (value < 0x80) {
    encoded[0] = static_cast<char>(value);
    return 1;
  }
  if (value < 0x800) {
    encoded[0] = static_cast<char>(0xC0 | (value >> 6));
    encoded[1] = static_cast<char>(0x80 | (value & 0x3F));
    return 2;
  }
  if (value < 0x10000) {
    encoded[0] = static_cast<char>(0xE0 | (value >> 12));
    encoded[1] = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    encoded[2] = static_cast<char>(0x80 | (value & 0x3F));
    return 3;
  }
  encoded[0] = static_cast<char>(0xF0 | (value >> 18));
  encoded[1] = static_cast<char>(0x80 | ((value >> 12) & 0x3F));
  encoded[2] = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
  encoded[3] = static_cast<char>(0x80 | (value & 0x3F));
  return 4;
}

// Appends the UTF-8 form of value; a value with none is written as U+FFFD so that the text
// after it is kept. Returns false in that case.
bool append_utf8(std::string& out, u32 value) {
  const bool encodable = value <= max_code_point;
  char encoded[4];
  out.append(encoded, encode_utf8(encoded, encodable ? value : replacement_character));
  return encodable;
}

// UTF-8 text collected in a block of its own and appended to a string a block at a time,
// when the block is full and when the collector goes: an append per code point costs far more
// than the encoding.
class utf8_collector {
 public:
  explicit utf8_collector(std::string& out) : out_(out) {}
  ~utf8_collector() { flush(); }
  utf8_collector(const utf8_collector&) = delete;
  utf8_collector& operator=(const utf8_collector&) = delete;

  // Where n more bytes (at most 16) may be written; commit(n) keeps them.
  char* room(std::size_t n) {
    if (sizeof block_ - used_ < n) flush();
    return block_ + used_;
  }
  void commit(std::size_t n) { used_ += n; }
  // Adds the UTF-8 form of a code point up to 0x10FFFF.
  void put(u32 value) { commit(encode_utf8(room(4), value)); }

 private:
  void flush() {
    out_.append(block_, used_);
    used_ = 0;
  }

  std::string& out_;
  std::size_t used_ = 0;
  char block_[4096];
};

// Readers of one UTF-16 unit: native order from a unit pointer (which may be unaligned when
// it points into a byte buffer), little-endian from bytes.
struct native_units {
  const unsigned char* bytes;
  u32 operator()(std::size_t index) const {
    u16 unit;
    std::memcpy(&unit, bytes + 2 * index, sizeof unit);
    return unit;
  }
};
struct little_endian_units {
  const unsigned char* bytes;
  u32 operator()(std::size_t index) const {
    return static_cast<u32>(bytes[2 * index]) | (static_cast<u32>(bytes[2 * index + 1]) << 8);
  }
};

// What a surrogate without its partner becomes: the end of the walk, or U+FFFD.
enum class unpaired_surrogate { fail, replace };

// Walks unit_count UTF-16 units and hands every code point to emit; a high surrogate needs a
// low one right after it (also when it is the last unit), any other unit is its own value.
// With unpaired_surrogate::fail an unpaired high surrogate ends the walk with false and a lone
// low one is its own value; with unpaired_surrogate::replace both are U+FFFD and the walk goes
// on. ascii_run(i) may take a run of units below 0x80 from i on itself, emitting them, and
// returns how many it took.
template <class UnitAt, class Emit, class AsciiRun>
bool walk_utf16(std::size_t unit_count, UnitAt unit_at, Emit&& emit, AsciiRun&& ascii_run,
                unpaired_surrogate unpaired = unpaired_surrogate::fail) {
  const bool replace = unpaired == unpaired_surrogate::replace;
  for (std::size_t i = 0; i < unit_count; ++i) {
    i += ascii_run(i);
    if (i >= unit_count) break;
    const u32 unit = unit_at(i);
    if (!is_high_surrogate(unit)) {
      emit(replace && is_low_surrogate(unit) ? replacement_character : unit);
      continue;
    }
    const u32 low = i + 1 < unit_count ? unit_at(i + 1) : 0;
    if (!is_low_surrogate(low)) {
      if (!replace) return false;
      emit(replacement_character);
      continue;
    }
    emit(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    ++i;
  }
  return true;
}

template <class UnitAt, class Emit>
bool walk_utf16(std::size_t unit_count, UnitAt unit_at, Emit&& emit) {
  return walk_utf16(unit_count, unit_at, emit, [](std::size_t) { return std::size_t{0}; });
}

template <class UnitAt>
bool utf16_units_into_utf8(std::string& out, std::size_t unit_count, UnitAt unit_at) {
  out.clear();
  out.reserve(unit_count + 256);
  utf8_collector text(out);
  return walk_utf16(unit_count, unit_at, [&text](u32 value) { text.put(value); });
}

template <class UnitAt>
bool utf16_units_into_wide(std::wstring& out, std::size_t unit_count, UnitAt unit_at) {
  out.clear();
  if (unit_count == 0) return false;
  out.reserve(unit_count);
  const bool ok = walk_utf16(unit_count, unit_at,
                             [&out](u32 value) { out.push_back(static_cast<wchar_t>(value)); });
  if (!ok) out.clear();
  return !out.empty();
}

template <class UnitAt>
bool utf16_units_into_utf32(std::vector<u32>& out, std::size_t unit_count, UnitAt unit_at) {
  out.clear();
  if (unit_count == 0) return false;
  out.reserve(unit_count);
  return walk_utf16(unit_count, unit_at, [&out](u32 value) { out.push_back(value); });
}

// Converts every entry in order into out; false for an empty list, when an entry did not
// convert cleanly, or when memory ran out (out then holds the entries done so far).
template <class Out, class In, class Convert>
bool convert_list(std::vector<Out>& out, const std::vector<In>& list, Convert convert_entry) {
  out.clear();
  if (list.empty()) return false;
  bool all_clean = true;
  try {
    out.reserve(list.size());
    for (const In& entry : list) {
      out.emplace_back();
      all_clean &= convert_entry(out.back(), entry);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return all_clean;
}

const unsigned char* byte_pointer(const void* data) {
  return static_cast<const unsigned char*>(data);
}

// utf16_to_utf8 and utf16_to_utf8_replacing.
bool native_utf16_into_utf8(std::string& out, const u16* units, std::size_t byte_length,
                            unpaired_surrogate unpaired) {
  if (units == nullptr || byte_length < 2) return false;
  const std::size_t unit_count = byte_length / 2;
  const unsigned char* bytes = byte_pointer(units);
  out.clear();
  out.reserve(unit_count + 256);
  utf8_collector text(out);
  // Sources are mostly ASCII: 8 units all below 0x80 go over in one step.
  auto ascii_run = [&](std::size_t i) {
    std::size_t taken = 0;
#if defined(__SSE2__)
    const __m128i not_ascii = _mm_set1_epi16(static_cast<short>(0xFF80));
    while (unit_count - i - taken >= 8) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 2 * (i + taken)));
      const __m128i high = _mm_and_si128(block, not_ascii);
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) != 0xFFFF) break;
      _mm_storel_epi64(reinterpret_cast<__m128i*>(text.room(8)), _mm_packus_epi16(block, block));
      text.commit(8);
      taken += 8;
    }
#endif
    return taken;
  };
  return walk_utf16(unit_count, native_units{bytes}, [&text](u32 value) { text.put(value); }, ascii_run,
                    unpaired);
}

}  // namespace

bool decode_utf8_to_wide(std::wstring& out, const std::string& text) {
  if (text.empty()) return false;
  return walk_utf8(text, [&out](u32 value) { out.push_back(static_cast<wchar_t>(value)); });
}

bool utf8_to_utf32_units(std::vector<u32>& out, const std::string& text) {
  out.clear();
  if (text.empty()) return false;
  return walk_utf8(text, [&out](u32 value) { out.push_back(value); });
}

std::string& encode_utf32_to_utf8(std::string& out, const std::vector<u32>& units) {
  out.clear();
  for (u32 value : units) append_utf8(out, value);
  return out;
}

bool utf16_to_utf8(std::string& out, const u16* units, std::size_t byte_length) {
  return native_utf16_into_utf8(out, units, byte_length, unpaired_surrogate::fail);
}

bool utf16_to_utf8_replacing(std::string& out, const u16* units, std::size_t byte_length) {
  return native_utf16_into_utf8(out, units, byte_length, unpaired_surrogate::replace);
}

bool is_valid_utf8(const char* data, std::size_t length) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < length;) {
    const std::size_t sequence = utf8_sequence_length(bytes + i, length - i);
    if (sequence == 0) return false;
    i += sequence;
  }
  return true;
}

bool is_valid_utf8(const std::string& text) { return is_valid_utf8(text.data(), text.size()); }

namespace {

// Copies text sequence by sequence; every byte that belongs to no valid sequence, and with
// controls_too every control character, goes to invalid instead.
template <class Invalid>
std::string rebuild_utf8(const std::string& text, bool controls_too, Invalid&& invalid) {
  std::string out;
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t sequence = utf8_sequence_length(bytes + i, text.size() - i);
    const bool control = sequence == 1 && (bytes[i] < 0x20 || bytes[i] == 0x7F);
    if (sequence == 0 || (control && controls_too)) {
      invalid(out, bytes[i++]);
    } else {
      out.append(text, i, sequence);
      i += sequence;
    }
  }
  return out;
}

void append_hex_escape(std::string& out, unsigned char byte) {
  out += "\\x";
  append_hex_bytes(out, &byte, 1, "", false);
}

}  // namespace

std::string escape_invalid_utf8(const std::string& text) { return rebuild_utf8(text, true, append_hex_escape); }

std::string replace_invalid_utf8(const std::string& text) {
  return rebuild_utf8(text, false, [](std::string& out, unsigned char) { append_utf8(out, replacement_character); });
}

bool utf8_to_wide(std::wstring& out, const std::string& text) {
  out.clear();
  out.reserve(text.size());
  return decode_utf8_to_wide(out, text);
}

std::wstring utf8_to_wstring(const std::string& text) {
  std::wstring out;
  if (!utf8_to_wide(out, text)) out.clear();
  return out;
}

bool wide_to_utf8(std::string& out, const std::wstring& text) {
  out.clear();
  bool encodable = true;
  try {
    out.reserve(text.size());
    for (wchar_t c : text) encodable &= append_utf8(out, static_cast<u32>(c));
  } catch (const std::bad_alloc&) {
    out.clear();
    out.shrink_to_fit();
    return false;
  }
  return encodable;
}

std::string wstring_to_utf8(const std::wstring& text) {
  std::string out;
  wide_to_utf8(out, text);
  return out;
}

bool utf8_list_to_wide(std::vector<std::wstring>& out, const std::vector<std::string>& list) {
  return convert_list(out, list, [](std::wstring& wide, const std::string& entry) {
    if (entry.empty() || utf8_to_wide(wide, entry)) return true;
    wide.clear();
    return false;
  });
}

bool wide_list_to_utf8(std::vector<std::string>& out, const std::vector<std::wstring>& list) {
  return convert_list(out, list, wide_to_utf8);
}

bool utf8_bytes_to_wide(std::wstring& out, const std::vector<u8>& bytes) {
  out.clear();
  if (bytes.empty()) return false;
  return walk_utf8(bytes.data(), bytes.size(),
                   [&out](u32 value) { out.push_back(static_cast<wchar_t>(value)); });
}

std::wstring utf8_bytes_to_wstring(const std::vector<u8>& bytes) {
  std::wstring out;
  if (!utf8_bytes_to_wide(out, bytes)) out.clear();
  return out;
}

bool wide_to_utf8_bytes(std::vector<u8>& out, const std::wstring& text) {
  out.clear();
  if (text.empty()) return false;
  std::string encoded;
  const bool encodable = wide_to_utf8(encoded, text);
  out.assign(encoded.begin(), encoded.end());
  return encodable;
}

bool string_to_byte_vector(std::vector<u8>& out, const std::string& text) {
  out.assign(text.begin(), text.end());
  return !out.empty();
}

std::string bytes_to_string(const std::vector<u8>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

bool latin1_to_utf8(std::string& out, const std::string& text) {
  out.clear();
  if (text.empty()) return false;
  out.reserve(text.size());
  for (char c : text) append_utf8(out, static_cast<unsigned char>(c));
  return true;
}

std::size_t utf8_length(const std::string& text) {
  std::size_t count = 0;
  if (!walk_utf8(text, [&count](u32) { ++count; })) return 0;
  return count;
}

bool utf16_string_to_utf8(std::string& out, const std::string& data) {
  if (data.size() < 2) return false;
  return utf16_units_into_utf8(out, data.size() / 2, little_endian_units{byte_pointer(data.data())});
}

bool utf16_vector_to_utf8(std::string& out, const std::vector<u16>& units) {
  if (units.empty()) return false;
  return utf16_to_utf8(out, units.data(), units.size() * 2);
}

bool utf16_units_to_utf8_bytes(std::vector<u8>& out, const std::vector<u16>& units) {
  out.clear();
  std::string encoded;
  if (!utf16_vector_to_utf8(encoded, units)) return false;
  out.assign(encoded.begin(), encoded.end());
  return true;
}

std::string utf16_units_to_utf8_string(const std::vector<u16>& units) {
  std::string out;
  if (!utf16_vector_to_utf8(out, units)) out.clear();
  return out;
}

bool utf16le_bytes_to_wide(std::wstring& out, const std::vector<u8>& bytes) {
  return utf16_units_into_wide(out, bytes.size() / 2, little_endian_units{bytes.data()});
}

bool utf16le_bytes_to_wide(std::wstring& out, const u16* units, std::size_t byte_length) {
  if (units == nullptr) {
    out.clear();
    return false;
  }
  return utf16_units_into_wide(out, byte_length / 2, native_units{byte_pointer(units)});
}

void bytes_to_utf16_units(std::vector<u16>& out, const std::vector<u8>& bytes) {
  const std::size_t unit_count = bytes.size() / 2;
  out.resize(unit_count);
  const little_endian_units unit_at{bytes.data()};
  for (std::size_t i = 0; i < unit_count; ++i) out[i] = static_cast<u16>(unit_at(i));
}

bool utf16_units_to_utf32(std::vector<u32>& out, const std::vector<u16>& units) {
  return utf16_units_into_utf32(out, units.size(), native_units{byte_pointer(units.data())});
}

bool utf16le_bytes_to_utf32(std::vector<u32>& out, const std::vector<u8>& bytes) {
  if (bytes.size() % 2 != 0) {
    out.clear();
    return false;
  }
  return utf16_units_into_utf32(out, bytes.size() / 2, little_endian_units{bytes.data()});
}

bool utf32_to_utf16_units(std::vector<u16>& out, const std::vector<u32>& code_points) {
  out.clear();
  if (code_points.empty()) return false;
  out.reserve(code_points.size());
  for (u32 value : code_points) {
    if (value > max_code_point || is_high_surrogate(value) || is_low_surrogate(value)) return false;
    if (value < 0x10000) {
      out.push_back(static_cast<u16>(value));
    } else {
      value -= 0x10000;
      out.push_back(static_cast<u16>(0xD800 + (value >> 10)));
      out.push_back(static_cast<u16>(0xDC00 + (value & 0x3FF)));
    }
  }
  return true;
}

bool utf8_to_utf16_units(std::vector<u16>& out, const std::string& text) {
  out.clear();
  std::vector<u32> code_points;
  if (!utf8_to_utf32_units(code_points, text)) return false;
  return utf32_to_utf16_units(out, code_points);
}

bool utf8_bytes_to_utf16_units(std::vector<u16>& out, const std::vector<u8>& bytes) {
  return utf8_to_utf16_units(out, bytes_to_string(bytes));
}

std::wstring u16_units_to_wide(const std::vector<u16>& units) {
  return std::wstring(units.begin(), units.end());
}

std::vector<u16> wide_to_u16_units(const std::wstring& text) {
  std::vector<u16> out(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) out[i] = static_cast<u16>(text[i]);
  return out;
}
