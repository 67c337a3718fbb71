// Decoders for compactly stored values found in raw data: base-128 varints
// (little-endian into 32 or 64 bits, and the big-endian nine-byte form of
// SQLite records), big-endian IEEE 754 floats, and texts of "0"/"1" bits.
// None of them reads beyond the length it is given; failures come back as 0 or false.
#pragma once

#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// Decodes a little-endian varint into value and returns the bytes it used; 0 (value 0) for a
// null data, a zero length or a varint still continuing at its last available byte. Groups
// beyond bit 31 are consumed but do not reach value.
u32 decode_varint(u32& value, const u8* data, u32 length);
// 64-bit little-endian varint of at most 9 bytes (a 9th byte gives bits 56-63); running out of
// bytes ends the number. False (value 0) for a null data or a length below 1.
bool decode_varint_le(u64& value, const u8* data, i32 length);
// 64-bit big-endian (SQLite) varint of at most 9 bytes (a 9th byte gives the low 8 bits);
// running out of bytes ends the number. False (value 0) for a null data or a length below 1.
bool decode_varint_be(u64& value, const u8* data, i32 length);
// Reads 4 bytes as binary32 or 8 bytes as binary64, most significant byte first, widened to
// double; false with value untouched for any other size.
bool decode_ieee_float(double& value, const std::vector<u8>& bytes);
// out becomes one byte per 8 characters of bits, the first giving bit 7; "1" is a one bit,
// anything else a zero bit. A last group of fewer than 8 characters fills the high bits of a
// last byte. Always true.
bool bitstring_to_bytes(std::vector<u8>& out, const std::string& bits);
