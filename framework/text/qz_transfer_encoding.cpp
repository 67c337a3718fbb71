#include "framework/text/qz_transfer_encoding.h"

#include "framework/text/qz_replace.h"

namespace {

// Column count at which the encoder starts a new line: after 19 groups of 4 characters.
constexpr u32 base64_wrap_column = base64_line_chars - 3;
// Characters of a quoted-printable line before its soft break "=".
constexpr u32 qp_line_chars = 75;
constexpr char qp_escape = '=';
constexpr u32 qp_escape_chars = 3;  // "=3D"

void append_crlf(std::vector<char>& out) {
  out.push_back('\r');
  out.push_back('\n');
}

char digit(u32 value) { return base64_alphabet[value & 63]; }

}  // namespace

bool base64_encode(const u8* data, i32 length, std::vector<char>& out, bool wrap_lines,
                   bool terminate, bool crlf) {
  out.clear();
  if (data == nullptr || length <= 0) return false;
  const size_t bytes = static_cast<size_t>(length);
  const size_t encoded = 4 * ((bytes + 2) / 3);
  out.reserve(encoded + 2 * encoded / base64_line_chars + 3);
  u32 column = 0;
  size_t i = 0;
  for (; i + 3 <= bytes; i += 3) {
    const u32 group = u32(data[i]) << 16 | u32(data[i + 1]) << 8 | u32(data[i + 2]);
    out.push_back(digit(group >> 18));
    out.push_back(digit(group >> 12));
    out.push_back(digit(group >> 6));
    out.push_back(digit(group));
    column += 4;
    if (wrap_lines && column >= base64_wrap_column) {
      column = 0;
      if (crlf) append_crlf(out);
    }
  }
  const size_t rest = bytes - i;
  if (rest > 0) {
    const u32 group = u32(data[i]) << 16 | (rest == 2 ? u32(data[i + 1]) << 8 : 0u);
    out.push_back(digit(group >> 18));
    out.push_back(digit(group >> 12));
    out.push_back(rest == 2 ? digit(group >> 6) : base64_pad);
    out.push_back(base64_pad);
  }
  if (crlf) append_crlf(out);
  if (terminate) out.push_back('\0');
  return true;
}

std::string quoted_printable_encode(const std::string& text) {
  std::string escaped;
  replace_all_copy(escaped, text, std::string(1, qp_escape), "=3D");
  std::string out;
  out.reserve(escaped.size() + escaped.size() / qp_line_chars * 3);
  u32 column = 0;
  for (const char c : escaped) {
    // Every "=" left in the text opens an escape; it moves to the next line whole.
    const u32 needed = c == qp_escape ? qp_escape_chars : 1;
    if (column + needed > qp_line_chars) {
      out += "=\r\n";
      column = 0;
    }
    column = (c == '\r' || c == '\n') ? 0 : column + 1;
    out += c;
  }
  return out;
}
