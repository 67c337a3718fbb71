// Conversion between UTF-8 (std::string or byte vector), wide text (one code point per wchar_t),
// UTF-32 (vector of u32) and UTF-16 (u16 units, or their bytes in little-endian order).
// Valid UTF-8 means 1 to 4 byte sequences in their shortest form for values up to 0x10FFFF other
// than the surrogates, as utf8_sequence_length tells: every check of validity goes through it.
// The decoders also take a surrogate value (ED A0 80 to ED BF BF), which the encoders write for
// a lone surrogate of wide text, so that such text survives a round trip; it is not valid.
// Nothing throws; failure is a false result or an empty text. Outputs passed by reference are
// emptied first unless a function says that it appends.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// Length of the valid UTF-8 sequence that starts at bytes, of which available (at least 1) may
// be read: 1 for a byte below 0x80; 0 when no valid sequence starts there (a byte that cannot
// lead, a sequence cut short or with a bad continuation byte, an overlong form, a surrogate
// value, a value above 0x10FFFF).
inline std::size_t utf8_sequence_length(const unsigned char* bytes, std::size_t available) {
  const unsigned lead = bytes[0];
  if (lead < 0x80) return 1;
  std::size_t continuations;
  // The second byte's range carries every rule beyond "a continuation byte".
  unsigned second_low = 0x80, second_high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuations = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    continuations = 2;
    if (lead == 0xE0) second_low = 0xA0;   // overlong below U+0800
    if (lead == 0xED) second_high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    continuations = 3;
    if (lead == 0xF0) second_low = 0x90;   // overlong below U+10000
    if (lead == 0xF4) second_high = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (available <= continuations) return 0;
  if (bytes[1] < second_low || bytes[1] > second_high) return 0;
  for (std::size_t k = 2; k <= continuations; ++k) {
    if ((bytes[k] & 0xC0) != 0x80) return 0;
  }
  return continuations + 1;
}

// The codecs every other function is built from.

// Appends the code points of the UTF-8 text to out; false for an empty text or at the first
// malformed sequence, with the code points before it left in out.
bool decode_utf8_to_wide(std::wstring& out, const std::string& text);
// out = the code points of the UTF-8 text; false as decode_utf8_to_wide (partial output stays).
bool utf8_to_utf32_units(std::vector<u32>& out, const std::string& text);
// out = the UTF-8 form of the values; a value above 0x10FFFF is written as U+FFFD. Returns out.
std::string& encode_utf32_to_utf8(std::string& out, const std::vector<u32>& units);
// out = UTF-8 of byte_length / 2 native-order units (an odd last byte is ignored); a high
// surrogate pairs with the low one after it, a lone low surrogate is encoded as its own value.
// False with out untouched when units is null or byte_length < 2; false at an unpaired high surrogate, the text
// before it left in out.
bool utf16_to_utf8(std::string& out, const u16* units, std::size_t byte_length);
// utf16_to_utf8, except that every surrogate without its partner (a high one not followed by
// a low one, a low one not after a high one) is written as U+FFFD and the text goes on: false
// only below 2 bytes or for null units, out then untouched.
bool utf16_to_utf8_replacing(std::string& out, const u16* units, std::size_t byte_length);

// True when every byte of the text belongs to a valid UTF-8 sequence (an empty text is valid).
// These texts come back byte for byte from utf8_to_wstring then wstring_to_utf8; of the others,
// only those holding surrogate values decode at all.
bool is_valid_utf8(const char* data, std::size_t length);
bool is_valid_utf8(const std::string& text);
// The text as a message can show it, whatever its bytes: every byte that belongs to no valid
// UTF-8 sequence, and every control character (below 0x20, and 0x7F), becomes "\xhh" (two
// lower-case hex digits); the rest is kept.
std::string escape_invalid_utf8(const std::string& text);
// The text with every byte that belongs to no valid UTF-8 sequence made U+FFFD.
std::string replace_invalid_utf8(const std::string& text);

// The hubs.

// out = the code points of the text; false for an empty text or at the first malformed
// sequence, the code points before it left in out.
bool utf8_to_wide(std::wstring& out, const std::string& text);
// The wide form of the text; empty for an empty or malformed text, never a partial one.
std::wstring utf8_to_wstring(const std::string& text);
// out = the UTF-8 form of the text; a character above 0x10FFFF (or negative) is written as
// U+FFFD. False when such a character was met or memory ran out (out then empty).
bool wide_to_utf8(std::string& out, const std::wstring& text);
// The UTF-8 form of the text, as wide_to_utf8 makes it.
std::string wstring_to_utf8(const std::wstring& text);

// out = one wide text per entry, in order; a malformed entry becomes an empty text. False for
// an empty list or when an entry was malformed.
bool utf8_list_to_wide(std::vector<std::wstring>& out, const std::vector<std::string>& list);
// out = one UTF-8 text per entry, in order; false for an empty list or when an entry held a
// character without a UTF-8 form (written as U+FFFD).
bool wide_list_to_utf8(std::vector<std::string>& out, const std::vector<std::wstring>& list);

// Byte vectors and plain bytes.

// out = the code points of the UTF-8 bytes; false for no bytes or at the first malformed
// sequence (partial output stays).
bool utf8_bytes_to_wide(std::wstring& out, const std::vector<u8>& bytes);
// The wide form of the UTF-8 bytes; empty when there are none or they are malformed.
std::wstring utf8_bytes_to_wstring(const std::vector<u8>& bytes);
// out = the UTF-8 bytes of the text; false for an empty text, or as wide_to_utf8.
bool wide_to_utf8_bytes(std::vector<u8>& out, const std::wstring& text);
// out = the bytes of the text; false (out empty) for an empty text.
bool string_to_byte_vector(std::vector<u8>& out, const std::string& text);
// A string holding the bytes.
std::string bytes_to_string(const std::vector<u8>& bytes);
// out = the Latin-1 text as UTF-8 (every byte is its own code point); false for an empty text.
bool latin1_to_utf8(std::string& out, const std::string& text);
// The number of code points in the text; 0 for an empty or malformed text.
std::size_t utf8_length(const std::string& text);

// UTF-16.

// utf16_to_utf8 over a string holding little-endian UTF-16 bytes; false with out untouched
// below 2 bytes.
bool utf16_string_to_utf8(std::string& out, const std::string& data);
// utf16_to_utf8 over the units; false with out untouched when there are none.
bool utf16_vector_to_utf8(std::string& out, const std::vector<u16>& units);
// out = the UTF-8 bytes of the units; false (out empty) when there are none or at an unpaired
// high surrogate.
bool utf16_units_to_utf8_bytes(std::vector<u8>& out, const std::vector<u16>& units);
// The UTF-8 text of the units; empty when there are none or at an unpaired high surrogate.
std::string utf16_units_to_utf8_string(const std::vector<u16>& units);
// out = the wide text of little-endian UTF-16 bytes (an odd last byte ignored); pairs are
// joined, a lone low surrogate kept. False, out empty, below 2 bytes, at an unpaired high
// surrogate, or when the result is empty.
bool utf16le_bytes_to_wide(std::wstring& out, const std::vector<u8>& bytes);
// The same over byte_length / 2 native-order units in memory.
bool utf16le_bytes_to_wide(std::wstring& out, const u16* units, std::size_t byte_length);
// out = one unit per byte pair, little-endian; an odd last byte is dropped.
void bytes_to_utf16_units(std::vector<u16>& out, const std::vector<u8>& bytes);
// out = the code points of the units (pairs joined, a lone low surrogate kept); false for no
// units or at a high surrogate not followed by a low one (the values before it stay).
bool utf16_units_to_utf32(std::vector<u32>& out, const std::vector<u16>& units);
// The same over little-endian bytes; false for an empty or odd byte count.
bool utf16le_bytes_to_utf32(std::vector<u32>& out, const std::vector<u8>& bytes);
// out = the UTF-16 units of the code points, pairs high unit first; false for no values or at
// a surrogate value or one above 0x10FFFF (the units before it stay).
bool utf32_to_utf16_units(std::vector<u16>& out, const std::vector<u32>& code_points);
// out = the UTF-16 units of the UTF-8 text; false (out empty) when the text is empty or
// malformed, or holds a value UTF-16 cannot carry (the units before it stay).
bool utf8_to_utf16_units(std::vector<u16>& out, const std::string& text);
// The same over UTF-8 bytes.
bool utf8_bytes_to_utf16_units(std::vector<u16>& out, const std::vector<u8>& bytes);
// One wide character per unit, surrogates not joined.
std::wstring u16_units_to_wide(const std::vector<u16>& units);
// The low 16 bits of every wide character, no surrogate pairs made.
std::vector<u16> wide_to_u16_units(const std::wstring& text);
