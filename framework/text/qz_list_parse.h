// Readers that turn one text into many numbers or bytes: lists of 64-bit values, value ranges,
// signed values and bytes, hex byte lists and digit strings, the hex column of a hex dump,
// IPv6, dotted and MAC-style addresses, and Base64. Lists are cut with the splitters of
// qz_split and read with the number readers of qz_number_parse. Unless said
// otherwise the output is emptied first. Signed values are kept as their 64-bit pattern.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "framework/text/qz_types.h"

// ---- Numbers ----

// out = the pieces of text that read with parse_u64, cut at the first character of delimiters
// that occurs in it (trimmed with trim, empty pieces kept with keep_empty; an empty piece never
// reads). Returns the delimiter used, or 0 when the text was one piece or empty.
char parse_u64_list(std::vector<u64>& out, const std::string& text, bool trim, bool keep_empty,
                    const std::string& delimiters);
// out = one (low, high) pair per non-empty piece of text cut at delimiter: "a<mark>b" gives
// (a, b), a lone value v gives (v, v); a part that does not read with parse_u64 counts 0.
// False for an empty text.
bool parse_u64_ranges(std::vector<std::pair<u64, u64>>& out, const std::string& text,
                      char delimiter, char range_mark);
// out = the words of text (split_words: blanks separate, double quotes group) that read with
// parse_long. True when out is not empty.
bool parse_long_words(const std::string& text, std::vector<u64>& out);
// A blank delimiter is parse_long_words. Otherwise appends to out (not emptied) the trimmed
// non-empty pieces cut at delimiter that read with parse_long; false for an empty text.
// True when out is not empty.
bool parse_long_list(const std::string& text, std::vector<u64>& out, char delimiter);

// ---- Bytes ----

// out = the low 8 bits of each word (split_words) that reads with parse_number.
bool parse_byte_words(const std::string& text, std::vector<u8>& out);
// out = one byte per piece of text cut at the first of " ", ",", ":" and "-" that occurs in
// it: the hex digits after the piece's first "x" (or the whole piece), their low 8 bits.
// Without a separator only a text of 2 characters, or one shorter than 5 holding an "x", is a
// byte; any other text gives false with out unchanged. True when out is not empty.
bool parse_hex_byte_list(const std::string& text, std::vector<u8>& out);
// out = the bytes of a run of hex digits, two per byte ("0a1b2c" gives 0A 1B 2C; an odd last
// digit is a byte of its own). False for an empty text.
bool parse_hex_digit_string(const std::string& text, std::vector<u8>& out);
// out = the text read two characters at a time as hex (as far as they hold hex digits; a last
// single character alone). Returns out.
std::vector<u8>& hex_pairs_to_bytes(std::vector<u8>& out, const std::string& text);
// out = the bytes of the hex column of a hex dump ("address  hex bytes  characters" lines):
// the column stands where the first line's first two-blank gap opens and ends at its next
// one; every piece of exactly two hex digits in that column of each line is a byte, until a
// line ends before the column (a line of blanks there reads none and the walk goes on).
// False when the first line has no such column or out stays empty.
bool parse_hex_dump_text(std::vector<u8>& out, const std::string& text);

// ---- Addresses ----

// out = the 16 bytes of IPv6 text, 8 groups of 1-4 hex digits, one "::" standing for the
// missing zero groups. An empty text gives 16 zero bytes. False, out empty, for any other
// text (fewer or more than 8 groups, a group that is not hex, a second "::").
bool parse_ipv6_text(const std::string& text, std::vector<u8>& out);
// value = 4 numbers (parse_number, so "0x" hex and "o" octal too) separated by ".", else ":",
// else "-", the first one the top byte; byte order reversed with swap. False, value 0, for
// a null text, no separator, not exactly 4 non-empty parts, or a part that does not read or
// is above 255.
bool parse_dotted_u32(const char* text, u32& value, bool swap);
// out = the bytes of an address such as 00:1a:2b:3c:4d:5e, separated by ".", else ":", else
// "-": every part is read as hex when one holds a letter a-f and the first does not start
// with "x" or "0x"; otherwise each part is read with parse_number. False, out empty, for a
// null text or one of 81 characters or more, no separator or part, or a part that does not
// read or is above 255.
bool parse_address_bytes(const char* text, std::vector<u8>& out);
// parse_address_bytes into dest, true only for exactly count bytes (dest untouched else).
bool parse_address_bytes_fixed(const char* text, u8* dest, int count);
bool parse_address_bytes_fixed_wide(const wchar_t* text, u8* dest, int count);

// ---- Base64 ----

// out = the bytes of standard Base64 text: of the first length bytes (up to a NUL), the
// alphabet's characters are read and all others skipped. A "=" ends the group it pads (a
// padded group is followed by any further data); a "=" where no group can end is skipped. A
// last group of 2 or 3 characters gives the 1 or 2 bytes it holds, a lone character nothing.
// False for a null text, a length below 1 or no memory.
bool base64_decode(const char* text, int length, std::vector<u8>& out);
