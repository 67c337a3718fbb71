#include "framework/text/qz_list_parse.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "framework/text/qz_bytes.h"
#include "framework/text/qz_number_parse.h"
#include "framework/text/qz_split.h"
#include "framework/text/qz_string.h"
#include "framework/text/qz_wide.h"

namespace {

constexpr std::size_t ipv6_groups = 8;
constexpr std::size_t address_text_limit = 81;

u8 low_byte(unsigned long value) { return static_cast<u8>(value & 0xFF); }

// ".", else ":", else "-": the first of them that occurs in text; 0 for none.
char address_separator(const std::string& text) {
  for (char separator : {'.', ':', '-'})
    if (text.find(separator) != std::string::npos) return separator;
  return 0;
}

// Appends the u16 value of each of the groups (each 1 to 4 hex digits); false at another.
bool append_ipv6_groups(const std::string& text, std::vector<u16>& groups) {
  if (text.empty()) return true;
  std::vector<std::string> pieces;
  split_string(text, ':', pieces, false, true, false);
  for (const std::string& piece : pieces) {
    if (piece.empty() || piece.size() > 4 || !std::all_of(piece.begin(), piece.end(), is_hex_digit))
      return false;
    groups.push_back(static_cast<u16>(std::strtoul(piece.c_str(), nullptr, 16)));
  }
  return true;
}

bool is_base64_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/';
}

// Appends the bytes of a group of 2 to 4 sextets.
void append_base64_group(std::vector<u8>& out, const u8* sextets, std::size_t count) {
  out.push_back(static_cast<u8>((sextets[0] << 2) | (sextets[1] >> 4)));
  if (count > 2) out.push_back(static_cast<u8>((sextets[1] << 4) | (sextets[2] >> 2)));
  if (count > 3) out.push_back(static_cast<u8>((sextets[2] << 6) | sextets[3]));
}

}  // namespace

char parse_u64_list(std::vector<u64>& out, const std::string& text, bool trim, bool keep_empty,
                    const std::string& delimiters) {
  out.clear();
  if (text.empty()) return 0;
  std::vector<std::string> pieces;
  const char delimiter = split_string_any(pieces, text, trim, keep_empty, delimiters);
  for (const std::string& piece : pieces) {
    u64 value = 0;
    if (parse_u64_string(piece, value)) out.push_back(value);
  }
  return delimiter;
}

bool parse_u64_ranges(std::vector<std::pair<u64, u64>>& out, const std::string& text,
                      char delimiter, char range_mark) {
  out.clear();
  if (text.empty()) return false;
  std::vector<std::string> pieces;
  split_string(text, delimiter, pieces, false, false, false);
  auto read = [](const std::string& part) {
    u64 value = 0;
    return parse_u64_string(part, value) ? value : 0;
  };
  for (std::string& piece : pieces) {
    trim_whitespace(piece);
    const std::size_t mark = piece.find(range_mark);
    if (mark == std::string::npos) {
      const u64 value = read(piece);
      out.emplace_back(value, value);
    } else {
      out.emplace_back(read(piece.substr(0, mark)), read(piece.substr(mark + 1)));
    }
  }
  return true;
}

bool parse_long_words(const std::string& text, std::vector<u64>& out) {
  out.clear();
  std::vector<std::string> words;
  split_words(text, words);
  for (const std::string& word : words) {
    i64 value = 0;
    if (parse_long(word, value)) out.push_back(static_cast<u64>(value));
  }
  return !out.empty();
}

bool parse_long_list(const std::string& text, std::vector<u64>& out, char delimiter) {
  if (delimiter == ' ') return parse_long_words(text, out);
  if (text.empty()) return false;
  std::vector<std::string> pieces;
  split_string(text, delimiter, pieces, true, false, false);
  for (const std::string& piece : pieces) {
    i64 value = 0;
    if (parse_long(piece, value)) out.push_back(static_cast<u64>(value));
  }
  return !out.empty();
}

bool parse_byte_words(const std::string& text, std::vector<u8>& out) {
  out.clear();
  std::vector<std::string> words;
  split_words(text, words);
  for (const std::string& word : words) {
    u32 value = 0;
    if (parse_number_string(word, value)) out.push_back(low_byte(value));
  }
  return !out.empty();
}

bool parse_hex_byte_list(const std::string& text, std::vector<u8>& out) {
  std::vector<std::string> pieces;
  if (split_string_any(pieces, text, false, false, " ,:-") == 0) {
    const bool short_with_x = text.find('x') != std::string::npos && text.size() < 5;
    if (!short_with_x && text.size() != 2) return false;
  }
  out.clear();
  for (const std::string& piece : pieces) {
    const std::size_t x = piece.find('x');
    const std::string digits = x == std::string::npos ? piece : piece.substr(x + 1);
    if (digits.empty()) continue;
    out.push_back(low_byte(std::strtoul(digits.c_str(), nullptr, 16)));
  }
  return !out.empty();
}

bool parse_hex_digit_string(const std::string& text, std::vector<u8>& out) {
  out.clear();
  if (text.empty()) return false;
  std::string spaced;
  spaced.reserve(text.size() + text.size() / 2 + 1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    spaced += text[i];
    if (i % 2 == 1 || i + 1 == text.size()) spaced += ' ';
  }
  return parse_hex_byte_list(spaced, out);
}

std::vector<u8>& hex_pairs_to_bytes(std::vector<u8>& out, const std::string& text) {
  out.clear();
  for (std::size_t pos = 0; pos < text.size(); pos += 2)
    out.push_back(low_byte(static_cast<unsigned long>(std::strtol(text.substr(pos, 2).c_str(), nullptr, 16))));
  return out;
}

bool parse_hex_dump_text(std::vector<u8>& out, const std::string& text) {
  out.clear();
  std::vector<std::string> lines;
  if (!split_string(text, '\n', lines, true, false, false) || lines.empty()) return false;
  const std::size_t gap = lines[0].find("  ");
  if (gap == std::string::npos) return false;
  const std::size_t column_start = gap + 2;
  const std::size_t column_end = lines[0].find("  ", column_start);
  if (column_end == std::string::npos) return false;
  const std::size_t width = column_end - column_start;
  for (const std::string& line : lines) {
    // Only a line with nothing at the column ends the dump; a blank column reads no bytes.
    if (line.size() <= column_start || width == 0) break;
    std::vector<std::string> pieces;
    split_string(line.substr(column_start, width), ' ', pieces, false, false, false);
    for (const std::string& piece : pieces)
      if (piece.size() == 2 && is_hex_digit(piece[0]) && is_hex_digit(piece[1]))
        out.push_back(low_byte(std::strtoul(piece.c_str(), nullptr, 16)));
  }
  return !out.empty();
}

bool parse_ipv6_text(const std::string& text, std::vector<u8>& out) {
  out.clear();
  if (text.empty()) {
    out.assign(16, 0);
    return true;
  }
  std::vector<u16> head;
  std::vector<u16> tail;
  const std::size_t gap = text.find("::");
  if (gap == std::string::npos) {
    if (!append_ipv6_groups(text, head) || head.size() != ipv6_groups) return false;
  } else {
    if (text.find("::", gap + 1) != std::string::npos) return false;
    if (!append_ipv6_groups(text.substr(0, gap), head) ||
        !append_ipv6_groups(text.substr(gap + 2), tail) ||
        head.size() + tail.size() > ipv6_groups - 1)
      return false;
    head.resize(ipv6_groups - tail.size(), 0);
    head.insert(head.end(), tail.begin(), tail.end());
  }
  for (u16 group : head) {
    out.push_back(static_cast<u8>(group >> 8));
    out.push_back(static_cast<u8>(group & 0xFF));
  }
  return true;
}

bool parse_dotted_u32(const char* text, u32& value, bool swap) {
  value = 0;
  if (!text) return false;
  const std::string address = text;
  const char separator = address_separator(address);
  if (separator == 0) return false;
  std::vector<std::string> parts;
  split_string(address, separator, parts, false, false, false);
  if (parts.size() != 4) return false;
  u32 result = 0;
  for (const std::string& part : parts) {
    u32 byte = 0;
    if (!parse_number_string(part, byte) || byte > 0xFF) return false;
    result = (result << 8) | byte;
  }
  value = swap ? byte_swap32(result) : result;
  return true;
}

bool parse_address_bytes(const char* text, std::vector<u8>& out) {
  out.clear();
  if (!text || std::strlen(text) >= address_text_limit) return false;
  const std::string address = text;
  const char separator = address_separator(address);
  if (separator == 0) return false;
  std::vector<std::string> parts;
  split_string(address, separator, parts, false, false, false);
  if (parts.empty()) return false;
  const std::string& first = parts[0];
  const bool marked_hex = (!first.empty() && (first[0] == 'x' || first[0] == 'X')) ||
                          (first.size() > 1 && (first[1] == 'x' || first[1] == 'X'));
  const bool has_hex_letter = std::any_of(parts.begin(), parts.end(), [](const std::string& part) {
    return part.find_first_of("abcdefABCDEF") != std::string::npos;
  });
  std::vector<u8> bytes;
  for (const std::string& part : parts) {
    u32 value = 0;
    if (!parse_number_string(!marked_hex && has_hex_letter ? "0x" + part : part, value) || value > 0xFF)
      return false;
    bytes.push_back(static_cast<u8>(value));
  }
  out.swap(bytes);
  return true;
}

bool parse_address_bytes_fixed(const char* text, u8* dest, int count) {
  std::vector<u8> bytes;
  if (!dest || !parse_address_bytes(text, bytes) || bytes.size() != static_cast<std::size_t>(count))
    return false;
  std::copy(bytes.begin(), bytes.end(), dest);
  return true;
}

bool parse_address_bytes_fixed_wide(const wchar_t* text, u8* dest, int count) {
  if (!text) return false;
  return parse_address_bytes_fixed(wcstring_to_utf8(text).c_str(), dest, count);
}

bool base64_decode(const char* text, int length, std::vector<u8>& out) {
  if (!text || length < 1) return false;
  std::vector<u8> bytes;
  try {
    bytes.reserve(static_cast<std::size_t>(length) / 4 * 3 + 2);
    u8 group[4] = {};
    std::size_t count = 0;
    for (int i = 0; i < length && text[i] != '\0'; ++i) {
      const char c = text[i];
      if (c == '=') {
        // Padding ends a group that holds at least one byte; elsewhere it stands for nothing.
        if (count >= 2) append_base64_group(bytes, group, count);
        if (count != 1) count = 0;
        continue;
      }
      if (!is_base64_char(c)) continue;
      group[count++] = static_cast<u8>(base64_char_value(c));
      if (count == 4) {
        append_base64_group(bytes, group, count);
        count = 0;
      }
    }
    if (count >= 2) append_base64_group(bytes, group, count);
  } catch (const std::bad_alloc&) {
    return false;
  }
  out.swap(bytes);
  return true;
}
