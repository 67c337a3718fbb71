// Cutting pieces out of markup-like text (an element by its tag, parenthesised parts, the
// text between two markers) and measuring text for column output. Outputs passed by
// reference are emptied first. Searches are case-sensitive byte searches.
#pragma once

#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// ---- Extraction ----

// Cuts the first element named tag out of text: element = from "<" + tag (a prefix match:
// tag a also opens abc) through the first "</" + tag + ">" after it; text keeps what stands
// before and after. False, text unchanged, for an empty text or tag or a missing piece.
bool extract_element(std::string& element, std::string& text, const std::string& tag);
bool extract_element_wide(std::wstring& element, std::wstring& text, const std::wstring& tag);
// out = in without each part from a "(" through the first ")" after it (a(b(c)d)e gives
// ad)e); true when at least one part was cut. out stays empty for an in without "(".
bool remove_parenthesized(const std::string& in, std::string& out);
// out = the text between the first "(" and the last ")"; true when that text is not empty.
bool text_in_parentheses(const std::string& in, std::string& out);
// out = the text between open and the first close after it, both searched after the end of
// after when after is not null; false for a null text, open or close or a missing marker.
bool text_between_markers(const char* text, const char* after, const char* open, const char* close,
                          std::string& out);

// ---- Measuring ----

// lines = number of "\n" plus one; widest = length of the longest piece between them. Always
// true; an empty text is 1 line of width 0.
bool measure_text_block(u32& lines, i32& widest, const std::string& text);
// widths = the largest cell length at each column index over all rows (rows may differ in
// length); false for no rows, else whether widths is non-empty.
bool column_widths(std::vector<u32>& widths, const std::vector<std::vector<std::string>>& rows);
// Widens widths to the cells of row, each new width at most cap (a width already above cap
// stays); columns past its end are appended. Appends rather than empties. False for an
// empty row.
bool update_column_widths(std::vector<u32>& widths, const std::vector<std::string>& row, u32 cap);
