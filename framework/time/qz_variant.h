// qz_variant_lite: the small typed value used as one record cell or one column name, and its
// packed byte form. The type code says which member holds the value; the packed form is a u16
// type code, a u32 flag word and a payload, all little-endian, values following each other
// directly. Readers never read past the end of the data: a short or malformed value is refused.
#pragma once

#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// Type codes. A time of each kind has two codes; the record writers give the two their display
// meanings. Codes 5, 6, 7, 9, 10 and 32 and above have no meaning.
enum variant_type : u16 {
  variant_empty = 0,
  variant_u8 = 1,
  variant_u16 = 2,
  variant_i32 = 3,
  variant_u32 = 4,
  variant_u64 = 8,
  variant_text = 11,
  variant_filetime = 12,        // and 13
  variant_hex64 = 14,           // a 64-bit number shown in hex; no packed form
  variant_unix_time = 15,       // and 16
  variant_chrome_time = 17,     // and 18
  variant_firefox_time = 19,    // and 20; no packed form
  variant_safari_time = 21,     // and 22
  variant_filetime_date = 23,   // and 24, the time part
  variant_unix_date = 25,       // and 26, the time part
  variant_guid = 27,            // 16 bytes in GUID byte order
  variant_hex_bytes = 28,       // and 29
  variant_raw_text = 30,
  variant_hidden_text = 31,     // text the record writers do not write out
};

// Flag bits with a meaning here; the other bits belong to the record writers and are kept as
// they are.
inline constexpr u32 variant_flag_header = 0x80;           // column header: text is the name, aux the width
inline constexpr u32 variant_flag_time_list = 0x4000;      // the whole word equal: times holds a list
inline constexpr u32 variant_flag_cut_text = 0x01000000;   // cut text to text_limit when written
inline constexpr u32 variant_flag_centre_text = 0x02000000;

struct qz_variant_lite {
  u16 type = 0;
  u16 text_limit = 20;
  u32 flags = 0;
  u64 aux = 0;   // a header cell's column width
  u64 word = 0;
  std::vector<u8> bytes;
  std::string text;
  u64 number = 0;  // integers, and times as the raw count of their kind
  std::vector<u64> times;

  // The empty value (type 0).
  qz_variant_lite() = default;
  explicit qz_variant_lite(u8 value);   // type 1
  explicit qz_variant_lite(u16 value);  // type 2
  explicit qz_variant_lite(u32 value);  // type 4
  // number = value with the given type code.
  qz_variant_lite(u64 value, u16 type_code);
  // Text value, type 11.
  explicit qz_variant_lite(const std::string& value);
  // Header cell: text = name, aux = width, flags 0x80, type 0.
  qz_variant_lite(const std::string& name, u64 width);
  // Typed header cell: text = name, aux = width, the type code, flags | 0x80.
  qz_variant_lite(const std::string& name, u64 width, u16 type_code, u32 flag_word);
  // bytes = the length bytes at data (none for a null data), with the type code.
  qz_variant_lite(const u8* data, u32 length, u16 type_code);

  // Back to the initial values; the vectors and the text keep their capacity.
  void clear();

  bool operator==(const qz_variant_lite& other) const = default;
};

// Appends the packed form of value to out. False, out unchanged, for a value without a packed
// form: type codes 14, 19, 20 and those without meaning, a GUID of fewer than 16 bytes, and a
// value whose packed form would exceed 2^31 - 1 bytes. A header cell (flag 0x80) packs its width
// only, as a u32 (widths above saturate); an 8-byte number whose flag word is exactly 0x4000
// packs number, a u32 count and that many 8-byte times.
bool pack_bytes(const qz_variant_lite& value, std::vector<u8>& out);
// Clears value, reads one packed value at offset and returns the bytes it used. Returns 0, with
// value cleared, when fewer than 6 bytes remain, for a type code without packed form, and when
// the payload or a length or count in it runs past the end of in.
i32 unpack_bytes(qz_variant_lite& value, const std::vector<u8>& in, u32 offset);
// Empties out unless append, then packs every value in order. True when out is not empty
// afterwards; false, with out as it was before the values, when a value has no packed form or
// the list would exceed 2^32 - 1 bytes.
bool pack_variant_list(std::vector<u8>& out, const std::vector<qz_variant_lite>& values,
                       bool append);
// Empties values unless append, then appends every value packed in in. False for an empty in,
// and when a value cannot be read before the end of in (the values before it stay appended).
bool unpack_variant_list(std::vector<qz_variant_lite>& values, const std::vector<u8>& in,
                         bool append);
