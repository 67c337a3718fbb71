#include "framework/text/qz_html_escape.h"

#include <array>
#include <cstddef>
#include <cstring>

#include "framework/text/qz_byte_scan.h"
#include "framework/text/uni_unicode.h"

namespace {

constexpr char hex_digits[] = "0123456789abcdef";

template <class Char>
inline i64 unit_value(Char c) {
  if constexpr (sizeof(Char) == 1)
    return static_cast<unsigned char>(c);
  else
    return static_cast<i64>(c);
}

template <class Char>
inline Char fold_ascii(Char c) {
  return (c >= Char('A') && c <= Char('Z')) ? Char(c - 'A' + 'a') : c;
}

template <class Char>
inline void append_percent_byte(std::basic_string<Char>& out, unsigned byte) {
  const Char encoded[3] = {Char('%'), Char(hex_digits[(byte >> 4) & 0x0F]),
                           Char(hex_digits[byte & 0x0F])};
  out.append(encoded, 3);
}

template <class Char>
void append_percent_encoded(std::basic_string<Char>& out, Char c) {
  i64 value = unit_value(c);
  // A byte, also one widened as a signed char, is written as that byte.
  if (value >= -128 && value <= 255) {
    append_percent_byte(out, unsigned(value) & 0xFF);
    return;
  }
  // Wider characters keep their identity through their UTF-8 bytes instead of losing all but
  // the low byte (and never pass through as a non-ASCII unit).
  std::string utf8;
  encode_utf32_to_utf8(utf8, std::vector<u32>{static_cast<u32>(c)});
  for (char byte : utf8) append_percent_byte(out, static_cast<unsigned char>(byte));
}

template <class Char>
bool units_match(const Char* text, const std::basic_string<Char>& pattern, bool ignore_case) {
  for (std::size_t k = 0; k < pattern.size(); ++k) {
    Char a = text[k], b = pattern[k];
    if (a != b && !(ignore_case && fold_ascii(a) == fold_ascii(b))) return false;
  }
  return true;
}

// The engine of both replace_strings forms. Takes a full-width length so that the escapers can
// hand over texts of any size; runs without a special unit are copied in one piece.
template <class Char>
bool replace_pass(const Char* text, std::size_t length,
                  const std::vector<std::basic_string<Char>>& from,
                  const std::vector<std::basic_string<Char>>& to, std::basic_string<Char>& out,
                  bool ignore_case, bool percent_encode) {
  out.clear();
  if (!text || length == 0 || from.empty() || from.size() != to.size()) return false;
  // An empty entry would match everywhere without moving the walk on.
  for (const auto& entry : from)
    if (entry.empty()) return false;

  // Which units may begin an entry; units beyond 255 are checked against the list directly.
  std::array<bool, 256> starts{};
  bool wide_starts = false;
  for (const auto& entry : from) {
    i64 first = unit_value(entry[0]);
    if (first < 0 || first > 255) {
      wide_starts = true;
      continue;
    }
    starts[static_cast<std::size_t>(first)] = true;
    if (ignore_case && first < 128) {
      unsigned char c = static_cast<unsigned char>(first);
      if (c >= 'a' && c <= 'z') starts[c - 'a' + 'A'] = true;
      if (c >= 'A' && c <= 'Z') starts[c - 'A' + 'a'] = true;
    }
  }

  out.reserve(length + length / 8);
  std::size_t span_start = 0;
  std::size_t pos = 0;
  while (pos < length) {
    Char c = text[pos];
    i64 value = unit_value(c);
    if (c == Char('\r') || c == Char('\n')) {
      ++pos;
      continue;
    }
    if (percent_encode && (value < 32 || value > 126)) {
      out.append(text + span_start, pos - span_start);
      append_percent_encoded(out, c);
      span_start = ++pos;
      continue;
    }
    bool may_start = (value >= 0 && value <= 255) ? starts[static_cast<std::size_t>(value)] : wide_starts;
    if (may_start) {
      std::size_t remaining = length - pos;
      std::size_t matched = 0;
      for (; matched < from.size(); ++matched)
        if (from[matched].size() <= remaining &&
            units_match(text + pos, from[matched], ignore_case))
          break;
      if (matched < from.size()) {
        out.append(text + span_start, pos - span_start);
        out.append(to[matched]);
        pos += from[matched].size();
        span_start = pos;
        continue;
      }
    }
    ++pos;
  }
  out.append(text + span_start, length - span_start);
  return true;
}

const std::vector<std::string>& ascii_escape_from() {
  static const std::vector<std::string> list{"<", ">", "&"};
  return list;
}
const std::vector<std::string>& ascii_escape_to() {
  static const std::vector<std::string> list{"&lt;", "&gt;", "&amp;"};
  return list;
}
const std::vector<std::wstring>& ascii_escape_from_wide() {
  static const std::vector<std::wstring> list{L"<", L">", L"&"};
  return list;
}
const std::vector<std::wstring>& ascii_escape_to_wide() {
  static const std::vector<std::wstring> list{L"&lt;", L"&gt;", L"&amp;"};
  return list;
}

// Copies the bytes before the next cell special or the end from text to dst, backslashes made
// slashes with slash_paths; moves pos and dst past them. The specials are the bytes html_escape
// rewrites: & < > " ' and CR (which only an LF after it changes). Most cells hold none, so 16
// bytes are looked at a step, and stored whole: the room past the end takes what lies beyond
// the copied bytes.
inline void copy_clean_cell(const unsigned char* bytes, std::size_t& pos, std::size_t length,
                            bool slash_paths, char*& dst) {
#if defined(__SSE2__)
  copy_to_first_of<'&', '<', '>', '"', '\'', '\r'>(bytes, pos, length, slash_paths, dst);
#else
  auto special = [](unsigned char c) {
    return c == '&' || c == '<' || c == '>' || c == '"' || c == '\'' || c == '\r';
  };
  while (pos < length && !special(bytes[pos])) {
    const char c = char(bytes[pos++]);
    *dst++ = slash_paths && c == '\\' ? '/' : c;
  }
#endif
}

// The escaped form of the length bytes at text at dst, which has html_escaped_room(length)
// bytes of room; returns the end of what was written. One pass does the entity table and the
// CR LF rule together: the entities hold no CR or LF, so this gives what escaping first and
// then replacing CR LF would. It has no failure path, so hostile text can never come back
// unescaped.
char* escape_cell(char* dst, const char* text, std::size_t length, bool slash_paths) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  std::size_t pos = 0;
  for (;;) {
    copy_clean_cell(bytes, pos, length, slash_paths, dst);
    if (pos >= length) return dst;
    const char* entity;
    std::size_t size;
    switch (bytes[pos]) {
      case '&': entity = "&amp;", size = 5; break;
      case '<': entity = "&lt;", size = 4; break;
      case '>': entity = "&gt;", size = 4; break;
      case '"': entity = "&quot;", size = 6; break;
      case '\'': entity = "&#39;", size = 5; break;
      default:  // CR: a line break only when an LF follows
        if (pos + 1 < length && bytes[pos + 1] == '\n') {
          entity = "<br />", size = 6;
          ++pos;
        } else {
          entity = "\r", size = 1;
        }
        break;
    }
    std::memcpy(dst, entity, size);
    dst += size;
    ++pos;
  }
}

}  // namespace

bool replace_strings(const char* text, u32 length, const std::vector<std::string>& from,
                     const std::vector<std::string>& to, std::string& out, bool ignore_case,
                     bool percent_encode) {
  return replace_pass(text, length, from, to, out, ignore_case, percent_encode);
}

bool replace_strings_wide(const wchar_t* text, u32 length, const std::vector<std::wstring>& from,
                          const std::vector<std::wstring>& to, std::wstring& out, bool ignore_case,
                          bool percent_encode) {
  return replace_pass(text, length, from, to, out, ignore_case, percent_encode);
}

std::string html_escape(const std::string& text) {
  std::string out;
  html_escape_append(out, text);
  return out;
}

void html_escape_append(std::string& out, const std::string& text) {
  const std::size_t start = out.size();
  out.resize(start + html_escaped_room(text.size()));
  char* end = html_escape_to(out.data() + start, text, false);
  out.resize(static_cast<std::size_t>(end - out.data()));
}

char* html_escape_to(char* dst, const std::string& text, bool slash_paths) {
  return escape_cell(dst, text.data(), text.size(), slash_paths);
}

char* html_escape_to(char* dst, const char* text, std::size_t length, bool slash_paths) {
  return escape_cell(dst, text, length, slash_paths);
}

std::string html_escape_ascii(const char* text) {
  std::string out;
  if (text)
    replace_pass(text, std::strlen(text), ascii_escape_from(), ascii_escape_to(), out, true, true);
  return out;
}

std::string html_escape_ascii(const std::string& text) {
  std::string out;
  replace_pass(text.data(), text.size(), ascii_escape_from(), ascii_escape_to(), out, true, true);
  return out;
}

std::wstring html_escape_ascii_wide(const std::wstring& text) {
  std::wstring out;
  if (!replace_pass(text.data(), text.size(), ascii_escape_from_wide(), ascii_escape_to_wide(), out,
                    true, true))
    return text;
  return out;
}
