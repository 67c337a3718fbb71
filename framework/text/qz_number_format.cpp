#include "framework/text/qz_number_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "framework/text/qz_number_parse.h"

namespace {

// Room for any double in fixed notation without decimals (309 digits) and for the
// scientific form of a fraction at the largest precision taken.
constexpr std::size_t number_buffer = 400;
constexpr u32 max_fraction_digits = 100;
constexpr double two_to_64 = 18446744073709551616.0;

u32 magnitude_width(u64 value) {
  if (value < 0xFF) return 2;
  if (value < 0xFFFF) return 4;
  if (value < 0xFFFFFF) return 6;
  return 8;
}

template <class T>
std::string to_text(T value, int base) {
  std::array<char, number_buffer> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, base);
  return std::string(buffer.data(), result.ptr);
}

// The digits after the decimal point of a fraction in (0, 1) with precision significant
// digits, trailing zeros dropped, "." first. Empty, with carry set, when it rounds to 1.
std::string fraction_text(double fraction, u32 precision, bool& carry) {
  carry = false;
  const u32 digits = std::min(std::max(precision, 1u), max_fraction_digits);
  std::array<char, number_buffer> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), fraction,
                                    std::chars_format::scientific, static_cast<int>(digits - 1));
  const std::string scientific(buffer.data(), result.ptr);
  const std::size_t exponent_mark = scientific.find('e');
  const int exponent = std::stoi(scientific.substr(exponent_mark + 1));
  if (exponent >= 0) {
    carry = true;
    return {};
  }
  std::string significant;
  for (std::size_t i = 0; i < exponent_mark; ++i)
    if (scientific[i] != '.') significant.push_back(scientific[i]);
  while (!significant.empty() && significant.back() == '0') significant.pop_back();
  if (significant.empty()) return {};
  std::string text(1, '.');
  text.append(static_cast<std::size_t>(-exponent - 1), '0');
  text += significant;
  return text;
}

std::string whole_text(double whole) {
  if (whole < two_to_64) return to_text(static_cast<u64>(whole), 10);
  std::array<char, number_buffer> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), whole,
                                    std::chars_format::fixed, 0);
  return std::string(buffer.data(), result.ptr);
}

}  // namespace

std::string format_u64(u64 value, bool hex, u32 width) {
  if (!hex) return to_text(value, 10);
  std::string digits = to_text(value, 16);
  const u32 wanted = width != 0 ? width : magnitude_width(value);
  if (digits.size() < wanted) digits.insert(0, wanted - digits.size(), '0');
  return "0x" + digits;
}

std::string reformat_number_text(const std::string& text, bool hex, u32 width) {
  u64 value = 0;
  if (!parse_u64_string(text, value)) return "NaN";
  return format_u64(value, hex, width);
}

std::string prepare_number_stream(std::ostream& stream, bool hex, u32 width) {
  stream.setf(hex ? std::ios_base::hex : std::ios_base::dec, std::ios_base::basefield);
  stream.setf(std::ios_base::right, std::ios_base::adjustfield);
  stream.fill(hex ? '0' : ' ');
  if (width != 0) stream.width(width);
  return hex ? "0x" : "";
}

std::ostream& write_hex_pair(std::ostream& stream, const char* label, u64 value) {
  if (!label) return stream;
  const std::string field = format_u64(value, true, 2);
  return stream << label << ": " << field << "/" << field;
}

std::string format_fixed2(double value) {
  std::array<char, number_buffer> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::fixed, 2);
  return std::string(buffer.data(), result.ptr);
}

std::string& format_double_trimmed(std::string& out, u32 precision, double value) {
  out.clear();
  if (std::isnan(value)) return out.append("nan");
  if (std::isinf(value)) return out.append(value < 0 ? "-inf" : "inf");
  double whole = 0;
  const double fraction = std::modf(std::fabs(value), &whole);
  std::string decimals;
  if (fraction != 0) {
    bool carry = false;
    decimals = fraction_text(fraction, precision, carry);
    if (carry) whole += 1;
  }
  if (value < 0) out += '-';
  out += whole_text(whole);
  out += decimals;
  return out;
}

bool int_to_string(int value, std::string& out) {
  out = to_text(value, 10);
  return true;
}

bool u64_to_string(u64 value, std::string& out) {
  out = to_text(value, 10);
  return true;
}

double round_to_2_decimals(double value) {
  const float scaled = static_cast<float>(value) * 100.0f + 0.5f;
  return static_cast<double>(std::floor(scaled)) / 100.0;
}
