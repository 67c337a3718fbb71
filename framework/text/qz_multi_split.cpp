#include "framework/text/qz_multi_split.h"

#include <cstring>

#include "framework/text/qz_bytes.h"
#include "framework/text/qz_number_parse.h"
#include "framework/text/qz_split.h"
#include "framework/text/qz_text_extract.h"

namespace {

constexpr u32 utf16_length_unbounded = 0xFFFFFFFF;

// Units to read: length / 2, or the string at buffer for the all-ones length.
std::size_t utf16_unit_count(const u16* buffer, u64 length_bytes, bool unbounded) {
  return unbounded ? utf16_length_limited(buffer) : static_cast<std::size_t>(length_bytes / 2);
}

std::wstring widen_units(const u16* units, std::size_t count) {
  return std::wstring(units, units + count);
}

// The end of the string that starts at pos: its 0 unit, or count.
std::size_t utf16_piece_end(const u16* buffer, std::size_t pos, std::size_t count) {
  while (pos < count && buffer[pos] != 0) ++pos;
  return pos;
}

std::string decoded(const std::string& part) {
  std::string out;
  return percent_decode(out, part, 0, "") ? out : part;
}

bool is_placeholder_digit(char c) { return c >= '1' && c <= '9'; }

}  // namespace

bool split_nul_separated(const std::vector<u8>& data, std::vector<std::string>& out) {
  out.clear();
  if (data.empty()) return false;
  const std::string block(data.begin(), data.end());
  return split_string(block, '\0', out, false, false, false);
}

void split_multi_string(const char* buffer, std::vector<std::string>& out, int length) {
  if (!buffer || length == 0 || length < -1) return;
  const std::size_t size = length == -1 ? std::strlen(buffer) : static_cast<std::size_t>(length);
  for (std::size_t pos = 0; pos < size;) {
    const void* nul = std::memchr(buffer + pos, 0, size - pos);
    const std::size_t end = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - buffer) : size;
    out.emplace_back(buffer + pos, end - pos);
    pos = end + 1;
  }
}

bool split_multi_string_utf16(std::vector<std::wstring>& out, const u16* buffer, u32 length) {
  out.clear();
  if (!buffer || length == 0) return false;
  const std::size_t count = utf16_unit_count(buffer, length, length == utf16_length_unbounded);
  for (std::size_t pos = 0; pos < count;) {
    const std::size_t end = utf16_piece_end(buffer, pos, count);
    out.push_back(widen_units(buffer + pos, end - pos));
    pos = end + 1;
  }
  return !out.empty();
}

void split_multi_string_utf16_ex(const u16* buffer, std::vector<std::wstring>& out, int length,
                                 bool stop_at_empty) {
  out.clear();
  if (!buffer || length == 0 || length < -1) return;
  const std::size_t count =
      utf16_unit_count(buffer, static_cast<u64>(length < 0 ? 0 : length), length == -1);
  for (std::size_t pos = 0; pos < count;) {
    const std::size_t end = utf16_piece_end(buffer, pos, count);
    out.push_back(widen_units(buffer + pos, end - pos));
    pos = end + 1;
    if (pos < count && buffer[pos] == 0) {
      if (stop_at_empty) break;
      while (pos < count && buffer[pos] == 0) ++pos;
    }
  }
}

bool parse_url_query(std::vector<std::string>& keys, std::vector<std::string>& values,
                     const std::string& url) {
  keys.clear();
  values.clear();
  const std::size_t mark = url.find('?');
  if (mark == std::string::npos || mark + 1 == url.size()) return false;
  std::vector<std::string> pieces;
  split_string(url.substr(mark + 1), '&', pieces, true, true, false);
  for (const std::string& piece : pieces) {
    const std::size_t equals = piece.find('=');
    keys.push_back(decoded(piece.substr(0, equals)));
    values.push_back(equals == std::string::npos ? std::string() : decoded(piece.substr(equals + 1)));
  }
  return !keys.empty();
}

bool split_format_template(std::vector<std::string>& pieces, std::multimap<int, int>& numbered,
                           std::multimap<char, int>& others, const std::string& text) {
  pieces.clear();
  numbered.clear();
  others.clear();
  if (text.empty()) return false;
  std::size_t mark = text.find('%');
  pieces.push_back(text.substr(0, mark));
  while (mark != std::string::npos && mark + 1 < text.size()) {
    const int index = static_cast<int>(pieces.size());
    std::size_t length = 2;
    const char first = text[mark + 1];
    if (is_placeholder_digit(first)) {
      if (mark + 2 < text.size() && is_placeholder_digit(text[mark + 2])) length = 3;
      u32 number = 0;
      parse_u32_string(text.substr(mark + 1, length - 1), number);
      numbered.emplace(static_cast<int>(number), index);
    } else {
      others.emplace(first, index);
    }
    pieces.push_back(text.substr(mark, length));
    const std::size_t literal = mark + length;
    if (literal == text.size()) break;
    mark = text.find('%', literal);
    pieces.push_back(text.substr(literal, mark == std::string::npos ? std::string::npos : mark - literal));
  }
  return true;
}
