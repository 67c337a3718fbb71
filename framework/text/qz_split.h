// Cutting text into pieces: at delimiter characters, into command-line words, into lines, and
// into markup tags.
// "Trim" always means trim_whitespace (" \t\r\n" from both ends) for narrow pieces and
// trim_whitespace_wide for wide ones. Splitters that "replace" their output reuse the
// strings already in it; those that "append" leave earlier entries in place.
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "framework/text/qz_types.h"

// ---- Delimiter splitters (std::string; NUL is an ordinary byte unless it is the delimiter).

// Cuts text at every delimiter into out (replaced, or appended to with append): n delimiters
// make n + 1 pieces, each trimmed when trim is set and kept when non-empty or keep_empty is
// set. False (nothing added) for an empty text; true otherwise, also when nothing was kept.
bool split_string(const std::string& text, char delimiter, std::vector<std::string>& out,
                  bool trim, bool keep_empty, bool append);
// Cuts text (out replaced) at the first character of delimiters that occurs in it and returns
// that character. When none occurs (or the one found is NUL), out holds the text whole,
// unchanged, and the result is 0; an empty text gives 0 and an empty out.
char split_string_any(std::vector<std::string>& out, const std::string& text, bool trim,
                      bool keep_empty, const std::string& delimiters);
// split_string_any over the UTF-8 form of text; the pieces come back as wide text.
char split_string_any_wide(std::vector<std::wstring>& out, const std::wstring& text, bool trim,
                           bool keep_empty, const std::string& delimiters);
// Cuts like split_string and inserts the non-empty pieces (trimmed when trim is set) into out
// (emptied first unless append). False for an empty text.
bool split_string_to_set(const std::string& text, char delimiter, std::set<std::string>& out,
                         bool trim, bool append);
// Cuts a CSV row at delimiter into out (replaced), keeping together a field whose double
// quotes enclose delimiters; the quotes stay in the field. A quote group runs from a piece
// with an odd number of quotes to the next such piece; a group never closed, or one opened by
// a stray quote inside a field when a new quoted field begins, is kept as cut. Every field is
// trimmed when trim is set and kept when non-empty or keep_empty is set. False for an empty
// text.
bool split_quoted(const std::string& text, char delimiter, std::vector<std::string>& out,
                  bool trim, bool keep_empty);

// ---- Words of a command line (blanks, tabs and line ends separate them).

// Appends the blank-separated words of text (at most max_words, 0 for no limit) to out. With
// quotes, and two words or more, a word "a" loses its quotes and the words from one opening
// with '"' to one ending with '"' become one entry joined by single blanks; a group that no
// word closes is appended word by word as read. Returns the number of words read (0 for null).
int split_command_line(const char* text, u32 max_words, std::vector<std::string>& out, bool quotes);
// split_command_line with quotes and no limit; false for an empty text or no word.
bool split_words(const std::string& text, std::vector<std::string>& out);

// ---- Buffer splitters (append to out; empty pieces, after trimming, are left out).

// Cuts length bytes at delimiter; delimiter_count = number of delimiters. Returns length;
// 0 for a null buffer or a length below 1.
int split_buffer_by_char(const u8* buffer, int length, char delimiter,
                         std::vector<std::string>& out, u32& delimiter_count, bool trim);
// split_buffer_by_char over length wide characters.
int split_wide_buffer(const wchar_t* buffer, int length, wchar_t delimiter,
                      std::vector<std::wstring>& out, u32& delimiter_count, bool trim);
// Cuts at a two-byte delimiter: its low byte first, then its high byte (CR LF is 0x0A0D).
// Returns length; 0 for a null buffer or a length below 1.
int split_buffer_by_pair(const u8* buffer, int length, u16 delimiter_pair,
                         std::vector<std::string>& out, bool trim);

// ---- Line cutters.

// The complete lines of one chunk into lines (replaced): each without its leading CRs and one
// CR before the LF, trimmed when trim is set, left out when empty and skip_empty is set.
// consumed = bytes up to and including the last LF (0 when there is none); the bytes after
// it are the caller's unfinished line. A length of 0 gives false and changes nothing;
// otherwise true when at least one line was stored.
bool split_buffer_lines(u32& consumed, std::vector<std::string>& lines, const u8* buffer,
                        u32 length, bool trim, bool skip_empty);
// The complete lines of one chunk into lines (replaced), each as it stands with its LF, nothing
// taken off; consumed, the result and an empty buffer as for split_buffer_lines.
bool split_buffer_whole_lines(u32& consumed, std::vector<std::string>& lines, const u8* buffer,
                              u32 length);
// Every line of data, trimmed, empty ones included, into lines (replaced); text after the
// last LF is one more line unless it is only CRs. False for empty data.
bool split_byte_vector_lines(const std::vector<u8>& data, std::vector<std::string>& lines);
// The same over 16-bit units (surrogate pairs joined, lone surrogates kept as they are),
// wide-trimmed; 0 units that end the data are not text. False for no units.
bool split_utf16_vector_lines(const std::vector<u16>& data, std::vector<std::wstring>& lines);
// Lines of narrow or UTF-16LE text as UTF-8 into lines (replaced). UTF-16 is assumed when any
// of the first four bytes is 0. Narrow lines end at LF or NUL, and a NUL ends the text;
// UTF-16 lines end at LF. One CR before the line end is dropped unless it starts the line; a
// line empty before trimming is left out with skip_empty. Text after the last line end is the
// last line. False for a null buffer, a length below 2, or no line.
bool split_text_buffer_lines(std::vector<std::string>& lines, const u8* buffer, u32 length,
                             bool trim, bool skip_empty);
// Reads one line of UTF-16 text at cursor into line (UTF-8) and moves cursor and remaining
// past it and its line end (CR, LF or CR LF). With continuation, a backslash right before a
// line end joins the next line to this one (backslash and line end dropped). A last line
// without line end takes the rest of the text. Returns line.
std::string& read_utf16_line(std::string& line, const u16*& cursor, u32& remaining,
                             bool continuation);
// Lines of a text by the line-end kind found in its first 1024 bytes (CR LF and LF cut at LF,
// CR at CR, LF CR at CR), each trimmed; empty pieces between adjacent line ends are left out.
// lines is replaced. False for mixed or no line ends and when no line results.
bool split_text_lines(const u8* buffer, u32 length, std::vector<std::string>& lines);

// ---- Markup tags. A tag runs from "<" through the next ">". These append to their vector
// and return whether it is non-empty; a null buffer or a length below 1 gives false.

// The trimmed, non-empty texts outside tags, in order, each taken at the ">" that follows it:
// text after the last ">" is left out.
bool split_tag_texts(const u8* buffer, int length, std::vector<std::string>& texts);
// The tags, "<" and ">" included; a ">" outside a tag adds an empty entry; a tag not closed
// by the end of the buffer is left out.
bool split_tags(const u8* buffer, int length, std::vector<std::string>& tags);
// split_tags with each tag's offset: the position after its last "<" (0 for an empty entry).
bool split_tags_with_offsets(const u8* buffer, int length,
                             std::vector<std::pair<std::string, int>>& tags);

// position = offset of the first occurrence of needle in haystack (Horspool search); false,
// position 0, when there is none or for null or empty arguments.
bool find_bytes_horspool(u64& position, const u8* haystack, i64 haystack_length,
                         const u8* needle, u32 needle_length);
