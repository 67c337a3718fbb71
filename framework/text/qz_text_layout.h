// Laying text out in columns: runs of blanks, rules of dashes, one-line column formatting that
// reports where each column starts and how wide each named column is, and TAB expansion for
// byte text and UTF-16LE text. Widths and positions are 32-bit counts of characters (bytes
// for narrow text, 16-bit units for UTF-16).
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// Writes n blanks (nothing for 0); the stream's fill character is a blank afterwards.
void write_padding(std::ostream& out, u32 n);
// A string of n "-".
std::string dash_line(u32 n);

// Writes cells as one line: each left-aligned in its width and followed by separator, the
// last separator overwritten by three blanks (a longer one keeps its characters after the
// third), then a line end when newline is set. A cell's width is its length, raised to the
// matching entry of widths when widths holds one entry per cell; widths becomes the widths
// used. offsets = 0 and the start of each following column (one more entry than cells);
// widths_by_name = each cell, trimmed and lower-cased, to the largest width it got. False,
// nothing written, for no cells.
bool layout_columns(std::ostream& out, std::vector<u32>& offsets,
                    std::map<std::string, u32>& widths_by_name, std::vector<u32>& widths,
                    const std::vector<std::string>& cells, const std::string& separator,
                    bool newline);
// layout_columns over wide cells, written as UTF-8: widths count wide characters, the
// separator counts its UTF-8 bytes in offsets, the last separator is cut off entirely and a
// line end always follows.
bool layout_columns_wide(std::ostream& out, std::vector<u32>& offsets,
                         std::map<std::wstring, u32>& widths_by_name, std::vector<u32>& widths,
                         const std::vector<std::wstring>& cells, const std::wstring& separator);

// out = the buffer with every TAB replaced by blanks up to the next multiple of tab_width
// (0 means 4), columns counted from the start of each line; lines end at CR LF when the
// buffer holds one, else at LF, else at CR. False, out untouched, when there is no TAB. With
// check_utf16 a buffer holding the bytes 09 00 is taken as UTF-16LE and goes to
// expand_tabs_utf16, which appends to out instead of replacing it.
bool expand_tabs(const char* buffer, u32 length, u32 tab_width, std::string& out, bool check_utf16);
// expand_tabs over the 16-bit little-endian units of length bytes (an odd last byte is kept
// as it is); each blank is the bytes 20 00. Appends to out; false, out untouched, without TAB.
bool expand_tabs_utf16(const char* buffer, u32 length, u32 tab_width, std::string& out);
