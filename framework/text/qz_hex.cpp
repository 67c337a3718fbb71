#include "framework/text/qz_hex.h"

#include <climits>
#include <cstdlib>
#include <iomanip>
#include <sstream>

#include "framework/text/qz_bytes.h"
#include "framework/text/qz_md5.h"
#include "framework/text/qz_number_parse.h"
#include "framework/text/qz_search.h"
#include "framework/text/qz_split.h"

namespace {

constexpr u32 dump_line_bytes = 16;

inline char dump_char(u8 byte) { return (byte >= 0x20 && byte <= 0x7E) ? char(byte) : '.'; }

// One line of hex_dump_text: count (1 to 16) bytes, padded to the width of a full line.
void append_dump_line(std::string& out, const u8* bytes, u32 count) {
  append_hex_bytes(out, bytes, count, " ", false);
  out.append(3 * (dump_line_bytes - count) + 3, ' ');
  for (u32 i = 0; i < count; ++i) out.push_back(dump_char(bytes[i]));
}

u32 write_field(std::ostream& os, u64 first, int first_width, u64 second, int second_width,
                u32 label_width, const std::string& name, const std::string& value) {
  os << "0x" << std::hex << std::setfill('0') << std::setw(first_width) << first << " : "
     << std::setw(second_width) << second << " : ";
  std::string label = name + ":";
  if (label.size() < label_width) label.append(label_width - label.size(), ' ');
  os << label << value << '\n';
  return static_cast<u32>(value.size());
}

// Whether every character of text is a hex digit (true for an empty text).
bool all_hex_digits(const std::string& text) {
  for (char ch : text)
    if (!is_hex_digit(static_cast<unsigned char>(ch))) return false;
  return true;
}

// The value of one to two hex digits, or -1 when the token holds anything else. A token that
// is no hex number is refused rather than read as 0, so a typo can never become a byte.
int hex_token_value(const std::string& token) {
  if (token.empty() || token.size() > 2 || !all_hex_digits(token)) return -1;
  return static_cast<int>(std::strtoul(token.c_str(), nullptr, 16));
}

std::vector<std::string> white_space_tokens(const std::string& text) {
  std::vector<std::string> tokens;
  std::istringstream words(text);
  for (std::string token; words >> token;) tokens.push_back(token);
  return tokens;
}

// Drops trailing wildcards and skips, then checks that every skip is followed by a byte.
bool finish_signature_pattern(std::vector<u16>& pattern) {
  for (;;) {
    std::size_t n = pattern.size();
    if (n >= 1 && pattern[n - 1] == signature_any_byte)
      pattern.pop_back();
    else if (n >= 2 && pattern[n - 2] == signature_skip)
      pattern.resize(n - 2);
    else if (n >= 1 && pattern[n - 1] == signature_skip)  // a skip that lost its count
      pattern.pop_back();
    else
      break;
  }
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != signature_skip) continue;
    std::size_t next = i + 2;
    if (next >= pattern.size() || pattern[next] > 0xFF) return false;
    i = next;
  }
  return true;
}

}  // namespace

bool bytes_to_hex_list(std::string& out, const u8* data, i32 length, const std::string& separator,
                       bool prefix) {
  // A negative length is a caller's error, not an empty buffer: report it.
  if (!data || length <= 0) return false;
  out.clear();
  append_hex_bytes(out, data, std::size_t(length), separator, prefix);
  return true;
}

bool byte_vector_to_hex_list(std::string& out, const std::vector<u8>& bytes,
                             const std::string& separator, bool prefix) {
  out.clear();
  if (bytes.empty()) return false;
  append_hex_bytes(out, bytes.data(), bytes.size(), separator, prefix);
  return true;
}

std::string byte_vector_to_hex(const std::vector<u8>& bytes, const std::string& separator) {
  std::string out;
  append_hex_bytes(out, bytes.data(), bytes.size(), separator, false);
  return out;
}

void write_hex_bytes(const std::vector<u8>& bytes, std::ostream& os) {
  os << byte_vector_to_hex(bytes, " ");
}

bool bytes_to_c_array(const char* name, const std::vector<u8>& bytes, std::string& out) {
  if (!name || bytes.empty()) return false;
  out.assign("const byte ");
  out.append(name);
  out.append("[] = {");
  append_hex_bytes(out, bytes.data(), bytes.size(), ", ", true);
  out.append("};");
  return true;
}

void hex_dump_text(std::string& out, const u8* data, u32 length, bool final_newline) {
  if (!data) length = 0;
  out.reserve(out.size() + (length / dump_line_bytes + 1) * 67 + 1);
  u32 pos = 0;
  for (; length - pos >= dump_line_bytes; pos += dump_line_bytes) {
    append_dump_line(out, data + pos, dump_line_bytes);
    out.push_back('\n');
  }
  if (pos < length) append_dump_line(out, data + pos, length - pos);
  if (final_newline) out.push_back('\n');
}

bool write_hex_or_strings(std::ostream& os, const u8* data, u32 length, bool strings,
                          u32 min_length, const std::string& separator) {
  if (!data || length == 0) return false;
  if (!strings) {
    std::string hex;
    append_hex_bytes(hex, data, length, " ", false);
    os << std::hex << std::setfill('0');
    os.write(hex.data(), std::streamsize(hex.size()));
    return true;
  }
  // The byte extractor counts in int; a buffer beyond that is refused, not half searched.
  if (length < min_length || length > u32(INT_MAX)) return false;

  std::vector<std::string> ascii, utf16;
  std::vector<u64> ascii_offsets, utf16_offsets;
  extract_printable_strings(data, int(length), min_length, &ascii, &ascii_offsets, false, false);
  extract_utf16_strings_ex(data, length, min_length, &utf16, &utf16_offsets, false, false);
  if (ascii.empty() && utf16.empty()) return false;

  std::size_t a = 0, u = 0;
  bool first = true;
  while (a < ascii.size() || u < utf16.size()) {
    bool take_ascii =
        u == utf16.size() || (a < ascii.size() && ascii_offsets[a] <= utf16_offsets[u]);
    if (!first) os << separator;
    first = false;
    os << (take_ascii ? ascii[a++] : utf16[u++]);
  }
  return true;
}

u32 write_field_line(std::ostream& os, u64 size, u64 offset, u32 label_width,
                     const std::string& name, const std::string& value) {
  return write_field(os, size, 3, offset, 6, label_width, name, value);
}

u32 write_field_end_line(std::ostream& os, u64 size, u64 offset, u32 label_width,
                         const std::string& name, const std::string& value) {
  return write_field(os, offset + size, 6, size, 3, label_width, name, value);
}

std::vector<u8>& parse_hex_bytes(std::vector<u8>& out, const std::string& text, char separator,
                                 bool hex) {
  out.clear();
  std::vector<std::string> pieces;
  split_string(text, separator, pieces, true, false, false);
  out.reserve(pieces.size());
  for (const std::string& piece : pieces) {
    u32 value = 0;
    if (hex)
      value = static_cast<u32>(std::strtoul(piece.c_str(), nullptr, 16));
    else if (!parse_u32_string(piece, value))
      value = 0;
    out.push_back(static_cast<u8>(value));
  }
  return out;
}

bool parse_signature_pattern(const std::string& text, std::vector<u16>& out) {
  std::vector<std::string> tokens = white_space_tokens(text);
  if (tokens.empty() && out.empty()) return false;
  for (const std::string& token : tokens) {
    if (token == "??") {
      out.push_back(signature_any_byte);
    } else if (token[0] == '*') {
      std::string count = token.substr(1);
      if (count.size() > 2 || !all_hex_digits(count)) return false;
      out.push_back(signature_skip);
      out.push_back(count.empty() ? 0 : u16(std::strtoul(count.c_str(), nullptr, 16)));
    } else {
      int value = token.size() == 2 ? hex_token_value(token) : -1;
      if (value < 0) return false;
      out.push_back(u16(value));
    }
  }
  return finish_signature_pattern(out);
}

bool parse_byte_pattern(const std::string& text, std::vector<u8>& out) {
  for (const std::string& token : white_space_tokens(text)) {
    if (token == "??") {
      out.push_back(0xFF);
      out.push_back(0xFF);
      continue;
    }
    int value = hex_token_value(token);
    if (value < 0) return false;
    out.push_back(u8(value));
  }
  return true;
}
