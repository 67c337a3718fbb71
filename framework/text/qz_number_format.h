// Numbers as text: 64-bit values as "0x" hex or decimal, fixed and trimmed floating point,
// and rounding to two decimals. Hex digits are lower case, right-aligned and padded with "0";
// a width is always a minimum, so wider values are never cut. The labelled hex line of the
// "-diags" log (trace_hex_value) lives with the log's writers in framework/cmdline/qz_diag.h.
#pragma once

#include <ostream>
#include <string>

#include "framework/text/qz_types.h"

// With hex "0x" and the value in at least width digits, or when width is 0 in the digits its
// magnitude asks for: 2 below 255, 4 below 65535, 6 below 0xFFFFFF, else at least 8. Without
// hex the value in decimal (width not used).
std::string format_u64(u64 value, bool hex, u32 width);
// format_u64 of the text read with parse_u64; "NaN" when the text does not read.
std::string reformat_number_text(const std::string& text, bool hex, u32 width);
// Sets stream to hex, right-aligned, fill "0" (hex) or to decimal, right-aligned, fill " ",
// and its field width to width when not 0. Returns the prefix to write first, "0x" or "",
// unformatted (stream.write): "<<" of the prefix would take the width meant for the number.
std::string prepare_number_stream(std::ostream& stream, bool hex, u32 width);
// Writes "label: 0x../0x..", the value in both fields (2 digits at least); nothing for a null
// label. Returns stream.
std::ostream& write_hex_pair(std::ostream& stream, const char* label, u64 value);
// The value with two decimals, as "%.2f" writes it ("nan", "inf" and "-inf" included).
std::string format_fixed2(double value);
// out = the integer part and the fraction's digits from its "." on: "3.25", "-3.25", "3",
// "0.5"; the fraction keeps precision significant digits, trailing zeros dropped, and carries into the
// integer part when it rounds up ("4" for 3.999 at precision 2). NaN and infinities as
// "nan", "inf", "-inf". Returns out.
std::string& format_double_trimmed(std::string& out, u32 precision, double value);
// out = the value in decimal, as "%d" and "%llu" write it; always true.
bool int_to_string(int value, std::string& out);
bool u64_to_string(u64 value, std::string& out);
// The value rounded half up to two decimals in single precision: 2.675 gives 2.68. From
// 131072 up single precision no longer holds two decimals.
double round_to_2_decimals(double value);
