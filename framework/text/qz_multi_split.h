// Cutters for blocks of NUL-separated strings (narrow, and UTF-16 as found in data from
// Windows sources), URL query strings, and message templates whose placeholders are "%" and
// a number or a character. UTF-16 units become wide characters one by one (surrogates are not
// paired). No reader looks past the length it is given.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// out = the non-empty strings of the block, in order. False for empty data.
bool split_nul_separated(const std::vector<u8>& data, std::vector<std::string>& out);
// Appends to out every string of the length bytes at buffer, each ended by a NUL or the end
// (empty ones kept, bytes 0x80-0xFF kept). A length of -1 takes the C string at buffer, so
// one string; nothing for a null buffer or another length below 1.
void split_multi_string(const char* buffer, std::vector<std::string>& out, int length);
// out = every string, empty ones kept, of the length / 2 units at buffer, each ended by a 0
// unit or the end; a length of 0xFFFFFFFF takes the units before the first 0 unit among the
// first 513 (none when there is none). True when out is not empty.
bool split_multi_string_utf16(std::vector<std::wstring>& out, const u16* buffer, u32 length);
// out = the strings of the length / 2 units at buffer (-1: as split_multi_string_utf16).
// With stop_at_empty an empty string (two 0 units in a row) ends the list; without it runs of
// 0 units between strings are skipped, so only a block that begins with a 0 unit gives an
// empty first string. Nothing for a null buffer or a length of 0 or below -1.
void split_multi_string_utf16_ex(const u16* buffer, std::vector<std::wstring>& out, int length,
                                 bool stop_at_empty);
// keys and values = the pairs of the query after the URL's first "?": pieces cut at "&" and
// trimmed (empty ones kept), each cut at its first "=" (no "=": the piece is the key and the
// value empty), and only then key and value percent-decoded, so an encoded "&" or "=" stays
// inside its part. False for an empty URL, no "?" or nothing after it.
bool parse_url_query(std::vector<std::string>& keys, std::vector<std::string>& values,
                     const std::string& url);
// pieces = the template's literal runs and placeholders in order: "%" and one or two digits
// 1-9 (numbered maps the number to the placeholder's index in pieces), or "%" and any other
// character (others maps that character to the index; "%%" is one). A literal run stands
// first (empty when the text starts with "%") and between placeholders; a "%" that ends the
// text is left out. False for an empty text.
bool split_format_template(std::vector<std::string>& pieces, std::multimap<int, int>& numbered,
                           std::multimap<char, int>& others, const std::string& text);
