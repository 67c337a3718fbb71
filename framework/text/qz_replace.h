// Editing text: counting, replacing and removing characters and strings, cutting pieces
// out of byte buffers, and stepping a string stream back. Functions taking a non-const
// std::string& change it in place. Case-insensitive matching folds ASCII letters only; the
// ones that lower-case the caller's search string in place say so. An empty search text
// never matches.
#pragma once

#include <cstddef>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// ---- Characters ----

// Number of bytes of text equal to c.
int count_char(const std::string& text, char c);
// Replaces every from by to; with both_cases both letter cases of from are replaced.
void replace_char(std::string& text, char from, char to, bool both_cases);
void replace_char_wide(std::wstring& text, wchar_t from, wchar_t to, bool both_cases);
// Replaces each of the n units at buf equal to from (any case with ignore_case) by to;
// nothing for a null buf or n below 1.
void replace_char_buffer(char* buf, int n, char from, char to, bool ignore_case);
void replace_char_buffer_wide(wchar_t* buf, int n, wchar_t from, wchar_t to, bool ignore_case);
// Removes every c; returns how many were removed.
int remove_char(std::string& text, char c);
int remove_char_wide(std::wstring& text, wchar_t c);
// Copy of text without any c; text itself when nothing would be left.
std::string strip_char_copy(const std::string& text, char c);
// Puts ins before every c.
void insert_char_before(std::string& text, char c, char ins);
void insert_char_before_wide(std::wstring& text, wchar_t c, wchar_t ins);
// Puts a backslash before every character of text that occurs in set.
void backslash_escape_chars(std::string& text, const std::string& set);
void backslash_escape_chars_wide(std::wstring& text, const std::wstring& set);

// ---- Strings ----

// Replaces every occurrence of from by to, left to right, non-overlapping; returns text.
std::string& replace_all(std::string& text, const std::string& from, const std::string& to);
// out = text with every from replaced by to (out = text for an empty from); returns out.
// out may be the same object as text.
std::string& replace_all_copy(std::string& out, const std::string& text, const std::string& from,
                              const std::string& to);
// replace_all with from[i], to[i] in order, when text is not empty and both lists hold the
// same number (at least one) of entries; otherwise nothing; returns text.
std::string& replace_all_pairs(std::string& text, const std::vector<std::string>& from,
                               const std::vector<std::string>& to);
// Replaces the first occurrence of from by to; true when replaced. With ignore_case from
// is lower-cased in place.
bool replace_first(std::string& text, std::string& from, const std::string& to, bool ignore_case);
bool replace_first_wide(std::wstring& text, std::wstring& from, const std::wstring& to,
                        bool ignore_case);
// replace_first, case-insensitive, with copies of from and to; false for a null pointer.
bool replace_first_cstr(std::string& text, const char* from, const char* to);
// Removes the first occurrence of what; true when removed. With ignore_case what is
// lower-cased in place.
bool erase_first(std::string& text, std::string& what, bool ignore_case);
bool erase_first_wide(std::wstring& text, std::wstring& what, bool ignore_case);
// erase_first on NUL-terminated buffers; the shortened text and its NUL are written back.
// false (buffer unchanged) for a null pointer or when nothing was removed.
bool erase_first_buffer(char* text, const char* what, bool ignore_case);
bool erase_first_wbuffer(wchar_t* text, const wchar_t* what, bool ignore_case);
// Cuts text at the first occurrence of what (it and everything after go); true when cut.
// what is not changed.
bool truncate_at(std::string& text, const std::string& what, bool ignore_case);
bool truncate_at_wide(std::wstring& text, const std::wstring& what, bool ignore_case);
bool truncate_at_char(std::string& text, char c, bool ignore_case);

// ---- Buffers, words and lists ----

// Removes every occurrence of what (its strlen bytes) from the *len bytes at *buf. When
// something was removed *buf is replaced by a new[] buffer (the old one is delete[]d) and
// *len shrinks; otherwise both stay. false for a null or empty buffer, a null or empty
// what, or a failed allocation (nothing changed); true otherwise.
bool remove_all_from_buffer(char** buf, u32* len, const char* what, bool ignore_case);
// Cuts out every section that opens with "<" + tag (any case, any name that begins with
// tag) and ends with the first "</" + tag + ">" or with "/>" at nesting level 0; the last
// bytes, fewer than the closing tag is long, are always kept. *len becomes the length of
// what is left. false for a null buffer or tag, a zero *len or a failed allocation.
bool remove_tagged_sections(u8* buf, u32* len, const char* tag);
// word = the first run of non-white-space characters; false (word empty) when text holds
// none.
bool first_word(const std::string& text, std::string& word);
// first_word, then that word is erased from text (the white space before it stays); false,
// text unchanged, when text holds no word.
bool remove_first_word(std::string& text, std::string& word);
// out = text with every "=" dropped and the (up to) two characters after it copied as they
// are; out may be the same object as text; returns out.
std::string& remove_equals_escapes(std::string& out, const std::string& text);
// Appends to *out the entries of a that equal no entry of b, in ascending byte order,
// duplicates kept; with ignore_case the lower-cased entries are compared and appended.
// false for a null out.
bool string_list_difference(const std::vector<std::string>& a, const std::vector<std::string>& b,
                            std::vector<std::string>* out, bool ignore_case);
// Moves the first entry of list that begins with the UTF-8 prefix (any case) into out;
// false (out empty) when none does or prefix is null or not valid UTF-8.
bool take_prefixed_entry_wide(const char* prefix, std::wstring& out,
                              std::vector<std::wstring>& list);

// ---- Output streams ----

// Moves the put position n characters back (to the start when fewer were written); the
// text after it stays until overwritten. false for a failed stream or a negative n.
bool stream_seek_back(std::ostream& os, int n);
bool stream_seek_back_wide(std::wostream& os, int n);
// The put position; 0 for a failed stream.
u64 stream_put_position(std::ostream& os);
// stream_seek_back; with truncate the stream then holds exactly the text before the new
// position and writing goes on at its end.
bool stream_back_up(std::ostringstream& os, int n, bool truncate);
bool stream_back_up_wide(std::wostringstream& os, int n, bool truncate);
