#include "framework/text/qz_number_parse.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "framework/text/qz_string.h"
#include "framework/text/uni_unicode.h"

namespace {

constexpr size_t max_u64_text = 30;
constexpr size_t max_hex_digits = 16;
constexpr size_t max_octal_digits = 22;
constexpr size_t max_decimal_chars = 20;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool starts_decimal(char c) { return c == '-' || c == '+' || is_digit(c); }

// Value of c as a digit of base, or -1.
int digit_value(char c, int base) {
  int d = -1;
  if (c >= '0' && c <= '9') d = c - '0';
  else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
  return d < base ? d : -1;
}

// The low 32 bits of strtoul in base; strtoul gives all ones beyond 64 bits.
u32 low32_strtoul(const char* digits, int base) {
  return static_cast<u32>(std::strtoul(digits, nullptr, base));
}

// Narrows each wide character to its low 8 bits.
std::string narrow_per_char(const std::wstring& text) {
  std::string out(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<char>(text[i] & 0xFF);
  return out;
}

// Reads digits of base from the start of text, after any white space and an optional "+", the
// way a stream extracts an unsigned number, but a "-" reads nothing instead of wrapping the
// magnitude around. 0 when no digit comes first or the number passes 64 bits.
u64 read_unsigned_digits(const char* text, int base) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  if (*text == '+') ++text;
  u64 value = 0;
  for (int d; (d = digit_value(*text, base)) >= 0; ++text) {
    if (value > (~u64{0} - static_cast<u64>(d)) / static_cast<u64>(base)) return 0;
    value = value * static_cast<u64>(base) + static_cast<u64>(d);
  }
  return value;
}

// Trims and lower-cases a copy of text into lower; false when nothing is left.
bool trimmed_lower_copy(const char* text, std::string& lower) {
  lower = text;
  if (!trim_whitespace(lower)) return false;
  to_lower(lower);
  return true;
}

// The radix-letter-anywhere reading that parse_u32 and parse_long share: the text after the
// first "x" in hex, else after the first "o" in octal, else decimal when it starts with a sign
// or digit. Returns the base (0 when the text has no such form) and the digits to read.
int radix_anywhere(const std::string& lower, const char*& digits) {
  const size_t x = lower.find('x');
  if (x != std::string::npos) {
    digits = lower.c_str() + x + 1;
    return 16;
  }
  const size_t o = lower.find('o');
  if (o != std::string::npos) {
    digits = lower.c_str() + o + 1;
    return 8;
  }
  if (!lower.empty() && starts_decimal(lower[0])) {
    digits = lower.c_str();
    return 10;
  }
  return 0;
}

// One unsigned number from a string stream set to the base field of base_flags; 0 on failure.
template <typename Stream, typename Text>
u64 read_u64_from_stream(const Text& text, std::ios_base::fmtflags base_flags) {
  Stream in(text);
  in.setf(base_flags & std::ios_base::basefield, std::ios_base::basefield);
  u64 value = 0;
  if (!(in >> value)) return 0;
  return value;
}

}  // namespace

bool parse_number(const char* text, u32& value) {
  value = 0;
  if (!text || !*text) return false;
  std::string trimmed = text;
  if (!trim_whitespace(trimmed)) return false;
  std::string lower = trimmed;
  to_lower(lower);
  const char* digits = trimmed.c_str();
  if (lower.size() >= 2 && lower[1] == 'x') {
    value = low32_strtoul(digits + 2, 16);
  } else if (lower[0] == 'x') {
    value = low32_strtoul(digits + 1, 16);
  } else if (lower[0] == 'o') {
    value = low32_strtoul(digits + 1, 8);
  } else if (starts_decimal(lower[0])) {
    value = low32_strtoul(digits, 10);
  } else if (lower.size() == 3 && lower[0] == '\'' && lower[2] == '\'') {
    value = static_cast<u8>(trimmed[1]);
  } else {
    return false;
  }
  return true;
}

bool parse_number_string(const std::string& text, u32& value) {
  return parse_number(text.c_str(), value);
}

bool parse_number_wide(const std::wstring& text, u32& value) {
  return parse_number(narrow_per_char(text).c_str(), value);
}

bool parse_number_wcstr(const wchar_t* text, u32& value) {
  if (!text) {
    value = 0;
    return false;
  }
  return parse_number(wstring_to_utf8(text).c_str(), value);
}

bool parse_u32(const char* text, u32& value) {
  if (!text || !*text) return false;
  std::string lower;
  if (!trimmed_lower_copy(text, lower)) return false;
  const char* digits = nullptr;
  const int base = radix_anywhere(lower, digits);
  if (base == 0) return false;
  // strtoll rather than atoi: it is defined for any text and saturates, and the low 32 bits
  // keep the pattern of a negative number.
  value = base == 10 ? static_cast<u32>(std::strtoll(digits, nullptr, 10))
                     : low32_strtoul(digits, base);
  return true;
}

bool parse_u32_string(const std::string& text, u32& value) {
  return parse_u32(text.c_str(), value);
}

bool parse_u32_wcstr(const wchar_t* text, u32& value) {
  if (!text) return false;
  return parse_u32(wstring_to_utf8(text).c_str(), value);
}

bool parse_u32_wide(const std::wstring& text, u32& value) {
  return parse_u32_wcstr(text.c_str(), value);
}

bool parse_u64(const char* text, u64& value) {
  value = 0;
  if (!text) return false;
  const char* start = text;
  while (*start == ' ') ++start;
  const size_t leading = static_cast<size_t>(start - text);
  size_t n = 0;
  for (; start[n]; ++n) {
    if (start[n] == ' ') return false;
    if (leading + n >= max_u64_text) return false;
  }
  if (n == 0) return false;
  const char first = start[0];
  int base = 10;
  const char* digits = start;
  if (n >= 3 && (start[1] == 'x' || start[1] == 'X')) {
    base = 16;
    digits = start + 2;
  } else if (n >= 3 && (first == 'x' || first == 'X')) {
    base = 16;
    digits = start + 1;
  } else if (first == 'o' || first == 'O') {
    base = 8;
    digits = start + 1;
  }
  const size_t digit_count = n - static_cast<size_t>(digits - start);
  if ((base == 16 && digit_count > max_hex_digits) ||
      (base == 8 && digit_count > max_octal_digits) ||
      (base == 10 && digit_count > max_decimal_chars))
    return false;
  value = read_unsigned_digits(digits, base);
  return true;
}

bool parse_u64_string(const std::string& text, u64& value) {
  return parse_u64(text.c_str(), value);
}

bool parse_u64_wide(const std::wstring& text, u64& value) {
  return parse_u64(wstring_to_utf8(text).c_str(), value);
}

bool parse_long(std::string text, i64& value) {
  if (text.empty() || !trim_whitespace(text)) return false;
  to_lower(text);
  const char* digits = nullptr;
  const int base = radix_anywhere(text, digits);
  if (base == 0) return false;
  value = std::strtoll(digits, nullptr, base);
  return true;
}

bool parse_long_cstr(const char* text, i64& value) {
  if (!text) return false;
  return parse_long(text, value);
}

bool parse_long_wide(const std::wstring& text, i64& value) {
  return parse_long(narrow_per_char(text), value);
}

bool parse_float(const char* text, float& value) {
  if (!text) return false;
  value = static_cast<float>(std::atof(text));
  return true;
}

bool parse_float_wcstr(const wchar_t* text, float& value) {
  if (!text) return false;
  return parse_float(wstring_to_utf8(text).c_str(), value);
}

bool parse_double(const char* text, double& value) {
  if (!text || !*text) return false;
  value = std::atof(text);
  return true;
}

bool parse_double_wcstr(const wchar_t* text, double& value) {
  if (!text) return false;
  return parse_double(wstring_to_utf8(text).c_str(), value);
}

bool parse_hex_float(std::string& text, double& value) {
  value = 0;
  if (text.size() < 3) return false;
  to_lower(text);
  const bool negative = text[0] == '-';
  const size_t prefix_at = negative ? 1 : 0;
  if (text.compare(prefix_at, 2, "0x") != 0) return false;
  text.erase(0, prefix_at + 2);

  int exponent = 0;
  const size_t p = text.find('p');
  if (p != std::string::npos) {
    // strtol instead of atoi, which is undefined out of range; clamped, ldexp gives 0 or inf.
    const long read = std::strtol(text.c_str() + p + 1, nullptr, 10);
    exponent = static_cast<int>(read < INT_MIN ? INT_MIN : read > INT_MAX ? INT_MAX : read);
    text.erase(p);
  }

  const size_t dot = text.find('.');
  const size_t int_end = dot == std::string::npos ? text.size() : dot;
  double whole = 0;
  for (size_t i = 0; i < int_end; ++i) {
    const int d = digit_value(text[i], 16);
    if (d < 0) return false;
    whole = whole * 16 + d;
  }
  double fraction = 0;
  if (dot != std::string::npos) {
    for (size_t i = text.size(); i > dot + 1; --i) {
      const int d = digit_value(text[i - 1], 16);
      if (d < 0) return false;
      fraction = (fraction + d) / 16;
    }
  }
  const double magnitude = whole + fraction;
  value = std::ldexp(negative ? -magnitude : magnitude, exponent);
  return true;
}

u64 stream_to_u64(const std::string& text, const std::ios_base::fmtflags& base_flags) {
  return read_u64_from_stream<std::istringstream>(text, base_flags);
}

u64 stream_to_u64_wide(const std::wstring& text, const std::ios_base::fmtflags& base_flags) {
  return read_u64_from_stream<std::wistringstream>(text, base_flags);
}
