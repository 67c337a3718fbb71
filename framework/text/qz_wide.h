// Convenience conversions between narrow text (UTF-8, or Latin-1 where said), wide text and
// UTF-16 units in memory (data from and text for Windows), built on framework/text/uni_unicode.h.
// "Widened per character" takes each byte as a signed char (0x80-0xFF become negative, 0xFFxx
// in 16 bits) and does no decoding; narrowing to 16 bits keeps the low 16 bits, no pairs made.
// UTF-16 buffer lengths are in bytes; -1 means up to the first 0 unit, at most 500 units.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"
#include "framework/text/uni_unicode.h"

// ---- Single characters and C strings ----

// out = the text widened per character; a null or empty text leaves out unchanged.
void widen_cstring(const char* text, std::wstring& out);
// The 1 to 3 UTF-8 bytes of one unit; a surrogate is encoded as its own value.
std::string utf16_unit_to_utf8(u16 unit);
// The UTF-8 form of one Latin-1 character (1 or 2 bytes).
std::string latin1_char_to_utf8(char c);
// The UTF-8 form of a NUL-terminated Latin-1 text; empty for a null text.
std::string latin1_cstring_to_utf8(const char* text);
// wstring_to_utf8 of a NUL-terminated wide text; empty for a null text.
std::string wcstring_to_utf8(const wchar_t* text);
// out = wcstring_to_utf8 of the text; returns out.
std::string& wcstring_to_utf8_into(const wchar_t* text, std::string& out);

// ---- Windows UTF-16 text ----

// out = the text widened per character, every LF as CR LF, then a 0 unit. Returns out's
// data, or null (out empty) for a null or empty text.
const u16* cstring_to_utf16_crlf(std::vector<u16>& out, const char* text);
// The same over every byte of the text, embedded NULs included.
const u16* string_to_utf16_crlf(std::vector<u16>& out, const std::string& text);
// out = the low 16 bits of each character, every LF as CR LF, no 0 unit appended. Returns
// out's data, or null (out empty) for a null or empty text.
const u16* wcstring_to_utf16_crlf(std::vector<u16>& out, const wchar_t* text);
const u16* wstring_to_utf16_crlf(std::vector<u16>& out, const std::wstring& text);
// Removes every 0 unit at the end; always true.
bool drop_trailing_zero_units(std::vector<u16>& units);
// Puts a backslash unit before every unit equal to a character of specials; returns how many
// were put in.
int escape_utf16_units(std::vector<u16>& units, const std::wstring& specials);
// out = the printf-formatted text as cstring_to_utf16_crlf makes it. Returns out's data, or
// null (out empty) for a null format or an empty text.
const u16* format_to_utf16(std::vector<u16>& out, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// ---- UTF-16 buffers ----

// out = the units from buffer up to the first 0 unit or length / 2 units (500 for -1),
// decoded; when they do not decode, each unit widened alone. Returns the bytes read, the 0 unit
// not counted; 0 for a null buffer or a length of 0 or below -1.
int utf16_buffer_to_wide(const u16* buffer, std::wstring& out, int length);
// bytes_read = utf16_buffer_to_wide's result; out = the UTF-8 form of what it read.
void utf16_buffer_to_utf8_counted(const u16* buffer, std::string& out, u32& bytes_read, int length);
// out = the UTF-8 form of the little-endian UTF-16 text read as utf16_buffer_to_wide reads it.
// Returns the bytes read; with count_terminator, 2 more when that stays within length.
int utf16le_to_utf8(const char* buffer, std::string& out, int length, bool count_terminator);
// The UTF-8 form of a NUL-terminated little-endian UTF-16 text of at most 500 units.
std::string utf16le_cstring_to_utf8(const char* buffer);
std::string& utf16le_cstring_to_utf8_into(const char* buffer, std::string& out);
// Reads a NUL-terminated UTF-16 path (at most 500 units) and splits it into folder and name
// as split_dir_file_wide does; returns its result.
bool utf16_path_split(const u16* buffer, std::wstring& dir, std::wstring& name);
// out = the non-empty strings of a block of UTF-16 strings separated by 0 units, in order;
// a string that does not decode (an unpaired high surrogate) is left out, unless no string of the
// block decodes: then every string is widened unit by unit. Returns the bytes walked (length
// rounded down to whole units); 0 for a null buffer or a length of 0 or less.
int utf16_multi_string_to_wide(const u16* buffer, std::vector<std::wstring>& out, int length);

// ---- Lists of strings ----
// Every entry converted in order into out, emptied first; a malformed entry becomes empty.
// When memory runs out, out holds the entries converted so far.

void utf8_vector_to_wide(std::vector<std::wstring>& out, const std::vector<std::string>& in);
void utf8_list_to_wide(const std::vector<std::string>& in, std::vector<std::wstring>& out);
void wide_vector_to_utf8(std::vector<std::string>& out, const std::vector<std::wstring>& in);
void wide_list_to_utf8(const std::vector<std::wstring>& in, std::vector<std::string>& out);

// ---- Other wide operations ----

// position = where needle first occurs in text at or after from, then moved past it; false
// (position then not moved past) when it does not occur, lies at the text's length, or needle
// is null.
bool find_position_after_wide(u64& position, const std::wstring& text, u64 from, const wchar_t* needle);
// Replaces the first occurrence of what, found without regard to ASCII case, by with; true
// when replaced (false for a null what or with).
bool replace_first_nocase_wcstr(std::wstring& text, const wchar_t* what, const wchar_t* with);
// Cuts every section from "<" tag through "</" tag ">" (ASCII case ignored; "<b" also opens
// at "<br") out of length / 4 wide characters in place; the last characters, fewer than the
// closing text, are always kept. length becomes the bytes kept; false for a null buffer, a
// length of 0, or no memory.
bool remove_tagged_sections_wide(wchar_t* buffer, u32& length, const wchar_t* tag);
// remove_tagged_sections_wide over length / 2 UTF-16 units; length becomes the bytes kept
// (an odd last byte of the buffer is the caller's to keep).
bool remove_tagged_sections_utf16(u16* buffer, u32& length, const wchar_t* tag);
