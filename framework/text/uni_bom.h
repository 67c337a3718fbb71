// Byte-order marks (signatures) that can open a text file: one writer and one detector per mark.
// Writers append the mark to the end of a byte vector. Detectors are independent of each other:
// FF FE 00 00 is both a UTF-16LE and a UTF-32LE mark, so test the longer mark first. Text read
// as lines is UTF-8 or UTF-16LE with its mark; wide_text_encoding names the others.
#pragma once

#include <cstddef>
#include <vector>

#include "framework/text/qz_types.h"

// Each writer appends its mark to out and returns out.
std::vector<u8>& write_bom_utf8(std::vector<u8>& out);       // EF BB BF
std::vector<u8>& write_bom_utf16le(std::vector<u8>& out);    // FF FE
std::vector<u8>& write_bom_utf16be(std::vector<u8>& out);    // FE FF
std::vector<u8>& write_bom_utf32le(std::vector<u8>& out);    // FF FE 00 00
std::vector<u8>& write_bom_utf32be(std::vector<u8>& out);    // 00 00 FE FF
std::vector<u8>& write_bom_utf7(std::vector<u8>& out);       // 2B 2F 76
std::vector<u8>& write_bom_utf_ebcdic(std::vector<u8>& out); // DD 73 66 73
std::vector<u8>& write_bom_scsu(std::vector<u8>& out);       // 0E FE FF
std::vector<u8>& write_bom_bocu1(std::vector<u8>& out);      // FB EE 28

// Each detector is true when data begins with its mark. The one-argument form reads exactly
// the mark's length (2 to 4 bytes), which the caller must have; the form with a length reads
// no further than length and is false for a buffer shorter than the mark.
bool is_bom_utf8(const void* data);
bool is_bom_utf8(const void* data, std::size_t length);
bool is_bom_utf16le(const void* data);
bool is_bom_utf16le(const void* data, std::size_t length);
bool is_bom_utf16be(const void* data);
bool is_bom_utf16be(const void* data, std::size_t length);
bool is_bom_utf32le(const void* data);
bool is_bom_utf32le(const void* data, std::size_t length);
bool is_bom_utf32be(const void* data);
bool is_bom_utf32be(const void* data, std::size_t length);
bool is_bom_utf7(const void* data);
bool is_bom_utf7(const void* data, std::size_t length);
bool is_bom_utf_ebcdic(const void* data);
bool is_bom_utf_ebcdic(const void* data, std::size_t length);
bool is_bom_scsu(const void* data);
bool is_bom_scsu(const void* data, std::size_t length);
bool is_bom_bocu1(const void* data);
bool is_bom_bocu1(const void* data, std::size_t length);

// The name of the wide encoding the first length bytes of a text are written in, when it is
// not UTF-8 or UTF-16LE with its mark: "UTF-32LE", "UTF-32BE" and "UTF-16BE" by their marks;
// "UTF-16LE without a byte-order mark" (or BE) when the first line's LF is half of a 16-bit unit
// whose other byte is NUL and at least a third of the units before it are one byte of text and one
// NUL (so UTF-32 without a mark counts as UTF-16). Null otherwise: NUL bytes further on, in
// the cells of a UTF-8 text, do not count.
const char* wide_text_encoding(const void* data, std::size_t length);
