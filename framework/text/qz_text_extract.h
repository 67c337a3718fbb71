// Taking readable text out of encoded or mixed data: percent-encoded text (with doubly
// encoded "%25" sequences), the value after a key, the lines that start with a prefix, and
// printable copies of raw bytes. Printable means the bytes 32-126. Every reader stops at the
// end of its input; none keeps state between calls.
#pragma once

#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// out = text with each "%" and two hex digits decoded: "%25" followed by two more characters
// is read again as their sequence ("%2541" gives "A"); a value 32-127 becomes its character,
// or replacement when that character is special; any other value, and a "%" with fewer than
// two characters after it, is kept as written. False, out empty, for a text without "%".
bool percent_decode(std::string& out, const std::string& text, char special,
                    const std::string& replacement);
// The text after the first key up to the first character of terminators (or the end); empty
// for a null key, an empty text or no key. With ignore_case the key is found and the
// terminators matched without regard to ASCII case (terminators is lower-cased in place);
// the value keeps the text's own case.
std::string extract_after_key(const std::string& text, const char* key, std::string& terminators,
                              bool ignore_case);
// Appends to lines the lines of the first len - 1 bytes of buf (up to a NUL) that start with
// prefix in any ASCII case, without their line ends (CR LF when the text holds one, else LF; a
// text without either is one line); with all every such line, else the first. True when a
// line was appended; false for a null buf, prefix or lines or a len of 0.
bool find_lines_with_prefix(const char* buf, u32 len, const char* prefix,
                            std::vector<std::string>* lines, bool all);
// out = the bytes up to the first NUL or n: printable bytes, CR and LF with keep_crlf, and
// replacement for any other (dropped when replacement is 0). False for null bytes or n < 1.
bool bytes_to_printable(std::string& out, const u8* bytes, int n, bool keep_crlf,
                        char replacement);
// out = the leading printable bytes, at most n; returns how many (0 for null bytes or n < 1).
int copy_printable_prefix(const u8* bytes, std::string& out, int n);
