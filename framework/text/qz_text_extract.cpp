#include "framework/text/qz_text_extract.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "framework/text/qz_string.h"

namespace {

constexpr char encoded_percent = 0x25;

bool printable(u8 byte) { return byte >= 32 && byte <= 126; }

// The two characters at pos read as strtoul reads hex (blanks and a sign allowed, stopping at
// the first non-digit).
unsigned long read_hex_pair(const std::string& text, std::size_t pos) {
  return std::strtoul(text.substr(pos, 2).c_str(), nullptr, 16);
}

}  // namespace

bool percent_decode(std::string& out, const std::string& text, char special,
                    const std::string& replacement) {
  out.clear();
  if (text.find('%') == std::string::npos) return false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t mark = text.find('%', pos);
    if (mark == std::string::npos || mark + 2 >= text.size()) {
      out.append(text, pos, std::string::npos);
      break;
    }
    out.append(text, pos, mark - pos);
    std::size_t digits = mark + 1;
    unsigned long value = read_hex_pair(text, digits);
    while (value == encoded_percent && digits + 4 <= text.size()) {
      digits += 2;
      value = read_hex_pair(text, digits);
    }
    if (value >= 32 && value <= 127) {
      const char c = static_cast<char>(value);
      if (c == special)
        out += replacement;
      else
        out += c;
    } else {
      out += '%';
      out.append(text, digits, 2);
    }
    pos = digits + 2;
  }
  return true;
}

std::string extract_after_key(const std::string& text, const char* key, std::string& terminators,
                              bool ignore_case) {
  if (!key || text.empty()) return {};
  std::string searched = text;
  std::string wanted = key;
  if (ignore_case) {
    to_lower(searched);
    to_lower(wanted);
    to_lower(terminators);
  }
  const std::size_t found = searched.find(wanted);
  if (found == std::string::npos) return {};
  const std::size_t start = found + wanted.size();
  const std::size_t end = searched.find_first_of(terminators, start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool find_lines_with_prefix(const char* buf, u32 len, const char* prefix,
                            std::vector<std::string>* lines, bool all) {
  if (!buf || !prefix || !lines || len == 0) return false;
  const std::size_t limit = len - 1;
  const void* nul = std::memchr(buf, 0, limit);
  const std::string text(buf, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - buf) : limit);
  const char* line_end = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  const std::size_t end_length = std::strlen(line_end);
  const std::size_t prefix_length = std::strlen(prefix);
  bool appended = false;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = text.find(line_end, pos);
    if (end == std::string::npos) end = text.size();
    if (end - pos >= prefix_length && strncasecmp(text.c_str() + pos, prefix, prefix_length) == 0) {
      lines->push_back(text.substr(pos, end - pos));
      appended = true;
      if (!all) break;
    }
    pos = end + end_length;
  }
  return appended;
}

bool bytes_to_printable(std::string& out, const u8* bytes, int n, bool keep_crlf,
                        char replacement) {
  out.clear();
  if (!bytes || n < 1) return false;
  for (int i = 0; i < n && bytes[i] != 0; ++i) {
    const u8 byte = bytes[i];
    if (printable(byte) || (keep_crlf && (byte == '\r' || byte == '\n')))
      out += static_cast<char>(byte);
    else if (replacement != 0)
      out += replacement;
  }
  return true;
}

int copy_printable_prefix(const u8* bytes, std::string& out, int n) {
  out.clear();
  if (!bytes || n < 1) return 0;
  int count = 0;
  while (count < n && printable(bytes[count])) out += static_cast<char>(bytes[count++]);
  return count;
}
