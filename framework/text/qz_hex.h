// Raw bytes as text and back: hex lists, C array initializers, hex-and-characters dumps,
// hex-or-strings output, labelled field lines, and readers of hex byte lists and of
// signature patterns with wildcards. Hex digits written are lower-case, two per byte.
// The pattern readers append to their output and stop at the first bad token, keeping what
// came before it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// Entries of a signature pattern beyond the byte values 0x00-0xFF.
inline constexpr u16 signature_any_byte = 0xFFFF;  // ?? : any one byte
inline constexpr u16 signature_skip = 0xFFFE;      // *n : followed by one entry, the count n

// ---- Bytes to hex text ----

// out = the bytes, each with "0x" before it when prefix is set, separator between two; false,
// out untouched, for a null pointer or a length below 1.
bool bytes_to_hex_list(std::string& out, const u8* data, i32 length, const std::string& separator,
                       bool prefix);
// Empties out, then bytes_to_hex_list of the vector; false for an empty vector.
bool byte_vector_to_hex_list(std::string& out, const std::vector<u8>& bytes,
                             const std::string& separator, bool prefix);
// The bytes as hex with separator between two and no "0x"; empty for an empty vector.
std::string byte_vector_to_hex(const std::vector<u8>& bytes, const std::string& separator);
// Writes the bytes as hex, one blank between two.
void write_hex_bytes(const std::vector<u8>& bytes, std::ostream& os);
// out = "const byte <name>[] = {0x.., 0x..};"; false, out untouched, for a null name or an
// empty vector.
bool bytes_to_c_array(const char* name, const std::vector<u8>& bytes, std::string& out);

// ---- Dumps ----

// Appends to out lines of 16 bytes: each as hex and a blank, then two blanks and the bytes as
// characters (32-126 as themselves, others as "."), then a newline; a last short line is padded
// so its characters line up and gets no newline. Then a newline when final_newline is set.
// A null data pointer counts as no bytes.
void hex_dump_text(std::string& out, const u8* data, u32 length, bool final_newline);
// Hex mode: writes the bytes as hex, one blank between two, and leaves os in hex mode with
// fill '0'. Strings mode: writes the printable ASCII and UTF-16LE strings of at least
// min_length characters in offset order (ASCII first at equal offsets), separator between two.
// False, nothing written, for a null pointer or a length of 0, and in strings mode for a
// length below min_length or when no string is found.
bool write_hex_or_strings(std::ostream& os, const u8* data, u32 length, bool strings,
                          u32 min_length, const std::string& separator);
// Writes "0x<size, 3+ hex digits> : <offset, 6+ hex digits> : " then name + ":" padded with
// blanks to label_width, the value and a newline; os stays in hex mode. Returns the value's
// length.
u32 write_field_line(std::ostream& os, u64 size, u64 offset, u32 label_width,
                     const std::string& name, const std::string& value);
// The same line with the end offset (offset + size, 6+ digits) first and the size (3+ digits)
// second.
u32 write_field_end_line(std::ostream& os, u64 size, u64 offset, u32 label_width,
                         const std::string& name, const std::string& value);

// ---- Hex text to bytes ----

// out = one byte per non-empty trimmed piece of text cut at separator: with hex the low byte
// of the piece read as base 16 (an optional 0x, digits up to the first non-digit; none gives
// 0), else the low byte of parse_u32 of the piece (0 when it is no number). Returns out.
std::vector<u8>& parse_hex_bytes(std::vector<u8>& out, const std::string& text, char separator,
                                 bool hex);
// Appends the pattern of white-space separated tokens: two hex digits give a byte, ?? any byte,
// *n (at most two hex digits, none meaning 0) a skip of n. Trailing wildcards and skips are
// then removed from out; a skip must be followed by a byte. False for a bad token, a skip
// followed by ?? or another skip, or a text without tokens while out is empty.
bool parse_signature_pattern(const std::string& text, std::vector<u16>& out);
// Appends one byte per white-space separated token of one or two hex digits, and FF FF for
// ??; false at a token of other length or with a character that is no hex digit.
bool parse_byte_pattern(const std::string& text, std::vector<u8>& out);
