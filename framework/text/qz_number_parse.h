// Readers of numbers in text. Radix prefixes are single letters matched in any
// case: "x" (or "0x" at the front) is hexadecimal, "o" octal, anything else decimal.
// Every reader returns true when it produced a value and never fails on text after
// the digits (except parse_u64 and parse_hex_float). 32-bit results are the low
// 32 bits of the number read, so "-1" gives 0xFFFFFFFF. Wide forms narrowing "per
// character" keep each character's low 8 bits; the others convert to UTF-8 first.
#pragma once

#include <ios>
#include <string>

#include "framework/text/qz_types.h"

// value = 0, then the number after a trimmed prefix: second character "x" (hex from the third),
// first "x" (hex), first "o" (octal), a sign or digit (decimal), or 'c' (the byte value of c).
// Digits are read as far as they go (none reads 0; beyond 64 bits all ones). False for a null,
// empty or blank text and for any other form.
bool parse_number(const char* text, u32& value);
bool parse_number_string(const std::string& text, u32& value);
bool parse_number_wide(const std::wstring& text, u32& value);  // per character
bool parse_number_wcstr(const wchar_t* text, u32& value);       // false (value 0) for null

// The text after the first "x" anywhere (hex) or else after the first "o" (octal); otherwise a
// decimal text starting with a sign or digit. False, value unchanged, for a null, empty or
// blank text and for any other form.
bool parse_u32(const char* text, u32& value);
bool parse_u32_string(const std::string& text, u32& value);
bool parse_u32_wcstr(const wchar_t* text, u32& value);  // false, value unchanged, for null
bool parse_u32_wide(const std::wstring& text, u32& value);

// value = 0, then a number after leading blanks (0x20 only): "0x"/"x" and at most 16 hex
// digits, "o" and at most 22 octal digits, or at most 20 decimal characters; the whole text at
// most 30 characters. False for a null text, nothing but blanks, a blank after the number has
// begun, or a number too long. A text that does not begin with a digit of its base (a sign
// included) or a number beyond 64 bits reads as 0, with true.
bool parse_u64(const char* text, u64& value);
bool parse_u64_string(const std::string& text, u64& value);
bool parse_u64_wide(const std::wstring& text, u64& value);

// Signed 64-bit: the text after the first "x" (hex) or else the first "o" (octal), otherwise
// a decimal text starting with a sign or digit; beyond the 64-bit range it stops at the limit.
// False, value unchanged, for an empty or blank text and any other form.
bool parse_long(std::string text, i64& value);
bool parse_long_cstr(const char* text, i64& value);  // false for null
bool parse_long_wide(const std::wstring& text, i64& value);  // per character

// value = the decimal floating-point number the text begins with, 0 when there is none.
// False, value unchanged, for a null text (and for parse_double an empty one).
bool parse_float(const char* text, float& value);
bool parse_float_wcstr(const wchar_t* text, float& value);
bool parse_double(const char* text, double& value);
bool parse_double_wcstr(const wchar_t* text, double& value);

// Reads C hexadecimal floating-point text ("-0x1.8p3"). value = 0 first; false for fewer than
// 3 characters, no "0x" after an optional "-", or any non-hex character among the digits.
// Changes text: it is lower-cased and left holding the digits between "0x" and the exponent.
bool parse_hex_float(std::string& text, double& value);

// One unsigned number read by a string stream whose base field is that of base_flags;
// 0 when nothing can be read or the number does not fit.
u64 stream_to_u64(const std::string& text, const std::ios_base::fmtflags& base_flags);
u64 stream_to_u64_wide(const std::wstring& text, const std::ios_base::fmtflags& base_flags);
