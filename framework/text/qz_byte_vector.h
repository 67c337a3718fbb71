// Byte vectors (std::vector<u8>) filled, sized and cut, and the counted-string encoding:
// a length of one byte (0-127) or two bytes (bit 7 of the first set, then 15 bits big-endian,
// 128-32767) followed by that many bytes; a counted list is a count in the same form followed
// by that many counted strings. Readers never look past the size they are given. No function
// here lets an allocation failure escape: the vector is left empty instead.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// The longest text with a counted form.
inline constexpr u32 counted_string_max = 32767;

// ---- Counted strings ----

// Empties out unless append, then adds the length field and the text's bytes. False, nothing
// added, for a text longer than counted_string_max.
bool append_counted_string(std::vector<u8>& out, const std::string& text, bool append);
// Empties out unless append, then adds the count and each string. False for more than
// counted_string_max entries (nothing added) and at the first string that is too long
// (the strings before it stay added).
bool append_counted_string_list(std::vector<u8>& out, const std::vector<std::string>& list,
                                bool append);
// out = the counted string at data; returns the bytes it takes (length field and text).
// 0 for no data or a two-byte field cut short; the field's length alone, out empty, when the
// text would run past size.
u32 read_counted_string(std::string& out, const u8* data, u32 size);
u32 read_counted_string(std::string& out, const std::vector<u8>& data);
// out = the strings of the counted list at data, one entry per counted string; returns the
// bytes used. 0 for no data or a cut count field; the count field's length, out empty, when
// the count exceeds the bytes after it. A string that would run past size ends the reading:
// it counts its length field alone, and it and every entry after it stay empty.
u32 read_counted_string_list(std::vector<std::string>& out, const u8* data, u32 size);

// ---- Filling and sizing ----

// A vector holding the length bytes at data (empty for a null data).
std::vector<u8> byte_vector_from_buffer(const u8* data, u32 length);
// A vector of size zero bytes.
std::vector<u8> byte_vector_zeroed(u32 size);
// out = a copy of the first N bytes at data, for the digest sizes N = 16, 20 and 32.
template <u32 N>
void assign_fixed_bytes(std::vector<u8>& out, const u8* data);
// out = a copy of the length bytes at data; empty for a null data or a length below 1.
void assign_buffer(std::vector<u8>& out, const u8* data, i32 length);
// out = the text's bytes. Returns out.
std::vector<u8>& assign_string_bytes(std::vector<u8>& out, const std::string& text);
// out = N zero bytes, for N = 16, 20 and 32; or count zero bytes (none for a count below 1).
template <u32 N>
void resize_zeroed(std::vector<u8>& out);
void resize_zeroed(std::vector<u8>& out, i32 count);

// ---- Cutting ----

// Removes every byte equal to value, the others keeping their order; returns how many went.
u32 count_and_remove_byte(std::vector<u8>& bytes, u8 value);
void remove_byte(std::vector<u8>& bytes, u8 value);
// Removes the zero bytes at the end (an all-zero vector becomes empty); true.
bool trim_trailing_zeros(std::vector<u8>& bytes);

// out = each string as 16-bit little-endian units (each character's low 16 bits) and a 0
// unit, then one more 0 unit; no bytes at all for an empty list.
void wide_list_to_multi_string(const std::vector<std::wstring>& list, std::vector<u8>& out);

// A record of byte lists: a word (1 after reset), ten bytes of fields, three lists of values,
// a list of byte vectors, a list of texts and two counters.
struct byte_list_record {
  byte_list_record() { reset(); }
  // word = 1; fields, counters 0; every list empty.
  void reset();

  u16 word = 1;
  std::array<u8, 10> fields{};
  std::array<std::vector<u64>, 3> value_lists;
  std::vector<std::vector<u8>> byte_lists;
  std::vector<std::string> texts;
  u64 first_counter = 0;
  u64 second_counter = 0;
};

extern template void assign_fixed_bytes<16>(std::vector<u8>&, const u8*);
extern template void assign_fixed_bytes<20>(std::vector<u8>&, const u8*);
extern template void assign_fixed_bytes<32>(std::vector<u8>&, const u8*);
extern template void resize_zeroed<16>(std::vector<u8>&);
extern template void resize_zeroed<20>(std::vector<u8>&);
extern template void resize_zeroed<32>(std::vector<u8>&);
