// Byte-order marks (signatures) that can open a text file: one writer and one detector per mark.
// Writers append the mark to the end of a byte vector. Detectors are independent of each other:
// FF FE 00 00 is both a UTF-16LE and a UTF-32LE mark, so test the longer mark first.
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
