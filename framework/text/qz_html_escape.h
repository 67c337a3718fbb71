// HTML escaping of text, and the one-pass replacement engine under it.
// A replacement table is two parallel lists: from[i] is replaced by to[i]; at each position the
// earliest entry that matches wins and text put out is never scanned again. CR and LF are
// always copied unchanged. Narrow forms work on bytes, wide forms on wchar_t characters.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// out = the length units of text with the table applied (compared without regard to ASCII
// case with ignore_case); with percent_encode every unit outside 32-126 other than CR and LF
// becomes "%" and two lower-case hex digits. out is emptied first; false, out empty, for a
// null or empty text, an empty table, lists of unequal length or an empty from entry.
bool replace_strings(const char* text, u32 length, const std::vector<std::string>& from,
                     const std::vector<std::string>& to, std::string& out, bool ignore_case,
                     bool percent_encode);
// The same over wide characters (length counts characters). A character taken from a byte
// (-128 to 255) is encoded as that byte; a character above 255 as the bytes of its UTF-8 form,
// so every unit of the output is ASCII when percent_encode is set.
bool replace_strings_wide(const wchar_t* text, u32 length, const std::vector<std::wstring>& from,
                          const std::vector<std::wstring>& to, std::wstring& out, bool ignore_case,
                          bool percent_encode);

// The text of one HTML cell: & < > " ' become &amp; &lt; &gt; &quot; &#39;, then each CR LF
// pair becomes "<br />" (a lone CR or LF stays). Every unit of the text is escaped, NULs and
// all; a text with nothing to escape comes back as it is.
std::string html_escape(const std::string& text);
// Appends html_escape(text) to out, without a copy of a text that needs no escaping.
void html_escape_append(std::string& out, const std::string& text);
// The room html_escape_to may need for a text of length bytes: 6 for each byte, and 16 more
// that a block copy may store past the end.
constexpr std::size_t html_escaped_room(std::size_t length) { return 6 * length + 16; }
// Writes html_escape(text) to dst, which has html_escaped_room(text.size()) bytes of room;
// with slash_paths every "\\" is written as "/". Returns the end of what was written.
char* html_escape_to(char* dst, const std::string& text, bool slash_paths);
// The same for the length bytes at text.
char* html_escape_to(char* dst, const char* text, std::size_t length, bool slash_paths);
// Pure printable ASCII: < > & escaped as entities, every other unit outside 32-126 except CR
// and LF percent-encoded; quotes stay. Empty for a null or empty text.
std::string html_escape_ascii(const char* text);
// html_escape_ascii over every byte of the string, embedded NULs included.
std::string html_escape_ascii(const std::string& text);
// The wide form of html_escape_ascii (characters encoded as replace_strings_wide says).
std::wstring html_escape_ascii_wide(const std::wstring& text);
