// Trimming, case folding, case-insensitive comparison and printable tests of text.
// Case folding changes ASCII letters only (bytes 0x80-0xFF and wide characters
// beyond ASCII stay as they are). Functions taking std::string& change it in place;
// the case-insensitive ones that fold their arguments in place say so.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// ---- Trimming ----

// Cuts " \t\r\n" from both ends; false when s was empty or held nothing else (s becomes empty).
bool trim_whitespace(std::string& s);
// trim_whitespace; with keep_trailing_blanks the end is cut of "\t\r\n" only, so trailing blanks stay.
bool trim_whitespace_ex(std::string& s, bool keep_trailing_blanks);
// Four passes, each removing only its own character: blanks from both ends, tabs from both
// ends, CRs from the end, LFs from the end (so "x\r\n" keeps its CR). false, s empty, when
// nothing is left after the blank pass or after the tab pass.
bool trim_whitespace_wide(std::wstring& s);
// Cuts CR and LF from both ends.
void trim_line_breaks(std::string& s);
// Cuts CR and LF from the end; returns how many were cut.
int trim_trailing_newlines(std::string& s);
// Cuts NUL characters from the end; always true.
bool trim_trailing_nuls(std::string& s);
bool trim_trailing_nuls_wide(std::wstring& s);
// Removes the last n characters (all of a text not longer than n); false, nothing done,
// when s is empty or n is 0 or negative.
bool drop_last_chars(std::string& s, int n);
bool drop_last_chars_wide(std::wstring& s, int n);
// out = n blanks (empty for n <= 0); returns out.
std::string& make_blanks(std::string& out, int n);

// ---- Case folding (ASCII letters only) ----

// Lower-cases s in place; returns s.
std::string& to_lower(std::string& s);
// Upper-cases s in place.
void to_upper(std::string& s);
// Lower-cases n bytes at p in place; nothing for a null p or n below 1.
void to_lower_buffer(char* p, int n);
// Lower-cases s in place; returns s.
std::wstring& to_lower_wide(std::wstring& s);
void to_upper_wide(std::wstring& s);
// c folded when it is an ASCII letter, else c unchanged (any int is accepted).
int to_lower_char(int c);
int to_upper_char(int c);
// to_lower on every entry.
void to_lower_all(std::vector<std::string>& list);
// out = s lower-cased (empty for a null s); returns out.
std::string& ascii_lower_copy(std::string& out, const char* s);
// out = the units of s up to its first 0 unit, at most 768, one wide character per unit
// (surrogates are not paired), lower-cased; empty for a null s; returns out.
std::wstring& utf16_lower_wide(std::wstring& out, const u16* s);

// ---- Case-insensitive comparison and search ----

// Position of what in text, or npos (also for an empty what in an empty text).
// With ignore_case both arguments are lower-cased in place first, found or not.
size_t find_substring(std::string& text, std::string& what, bool ignore_case);
size_t find_substring_wide(std::wstring& text, std::wstring& what, bool ignore_case);
// Lower-cases a and b in place; true when both hold at least n characters and their
// first n are equal (false for a negative n).
bool compare_prefix_nocase(std::string& a, std::string& b, int n);
bool compare_prefix_nocase_wide(std::wstring& a, std::wstring& b, int n);
// false when the lengths differ (nothing changed); otherwise lower-cases both in place
// and returns whether they are equal.
bool equals_nocase_wide(std::wstring& a, std::wstring& b);
// Whether the n bytes at a and b (NULs included) are equal without regard to case;
// the inputs are not changed; true for n below 1, false when only one pointer is null.
bool bytes_equal_nocase(const char* a, const char* b, int n);
// Pointer into text at the first case-insensitive match of what; null when none or
// either is null.
const char* strstr_nocase(const char* text, const char* what);
const wchar_t* wcsstr_nocase(const wchar_t* text, const wchar_t* what);
// -1, 0 or 1 as strcmp (wcscmp) orders a and b, lower-cased when ignore_case;
// both null 0, only a null -1, only b null 1.
int str_compare(const char* a, const char* b, bool ignore_case);
int wcs_compare(const wchar_t* a, const wchar_t* b, bool ignore_case);
// pos = the first occurrence of what in text at or after from (npos when none);
// false when there is none, it lies at the text's length, or what is null.
bool find_position(size_t& pos, const std::string& text, size_t from, const char* what);
bool find_position_wide(size_t& pos, const std::wstring& text, size_t from, const wchar_t* what);
// find_position; on success pos is moved past the match.
bool find_position_after(size_t& pos, const std::string& text, size_t from, const std::string& what);

// Character traits that compare by the upper-case form of each character; a char is
// taken as a signed value, so bytes 0x80-0xFF order before every ASCII character.
struct nocase_char_traits : std::char_traits<char> {
  static bool lt(const char& a, const char& b);
  static bool eq(const char& a, const char& b);
  // First of the n characters at p equal to x without regard to case; null when none.
  static const char* find(const char* p, size_t n, const char& x);
  // -1 or 1 at the first of the n positions that differ, 0 when none does.
  static int compare(const char* a, const char* b, size_t n);
};

struct nocase_wchar_traits : std::char_traits<wchar_t> {
  static bool lt(const wchar_t& a, const wchar_t& b);
  static bool eq(const wchar_t& a, const wchar_t& b);
  static const wchar_t* find(const wchar_t* p, size_t n, const wchar_t& x);
  static int compare(const wchar_t* a, const wchar_t* b, size_t n);
};

// Whether a and b are equal without regard to case.
bool eq_nocase_wide(wchar_t a, wchar_t b);

// ---- Printable text ----

// true when s is not empty and every byte is TAB, LF, CR or 32-126.
bool is_printable_text(const std::string& s);
bool is_printable_bytes(const std::vector<u8>& v);
// Number of leading bytes in 32-126 (TAB, LF and CR end the count).
size_t count_printable_prefix(const std::vector<u8>& v);
// true when every entry is empty (and for an empty list).
bool all_strings_empty(const std::vector<std::string>& list);
