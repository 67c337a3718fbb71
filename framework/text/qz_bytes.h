// Byte-level helpers on raw memory and 16-bit text units: byte order, little-endian
// words, block comparisons, UTF-16 lengths and line ends, NetBIOS names, hex lines,
// byte-per-character copies and the counted UTF-16 buffer _UNICODE_STRING_EX.
// A byte widened to a character is taken as signed (0x80-0xFF become negative);
// narrowing keeps the low 8 bits. Null pointers give the "nothing" result stated.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// ---- Byte order and words ----

u16 byte_swap16(u16 v);
u32 byte_swap32(u32 v);
u64 byte_swap64(u64 v);
// *out = byte_swap32(v); false only for a null out.
bool byte_swap32_to(u32 v, u32* out);

// The three swaps, in the order 16, 32, 64 bits.
struct byte_swap_functions {
  u16 (*swap16)(u16);
  u32 (*swap32)(u32);
  u64 (*swap64)(u64);
};
extern const byte_swap_functions byte_swap_table;

// *high = upper 32 bits, *low = lower 32 bits (a null pointer is skipped).
void split_u64(u64 v, u32* high, u32* low);
// (high << 32) + low, also stored in *out when out is not null.
u64 join_u64(u64 high, u32 low, u64* out);
// Little-endian value of the first min(n, 8) bytes; 0 for a null p or n below 1.
u64 read_le_uint(const u8* p, int n);
u64 read_le_uint_vector(const std::vector<u8>& v);

// ---- Byte blocks ----

// Index of the first differing byte; all-ones when the n bytes are equal; 0 for a
// null pointer or n of 0.
u64 first_difference(const u8* a, const u8* b, u64 n);
// Same size and same bytes.
bool bytes_equal(const std::vector<u8>& a, const std::vector<u8>& b);
// Whether the 16 bytes at a and b are equal / differ (null only equals null).
bool equals16(const void* a, const void* b);
bool differs16(const void* a, const void* b);
// At the first of 16 differing positions a's byte is smaller (unsigned); false when equal.
bool less16(const u8* a, const u8* b);
// At the first differing position within the shorter length a's byte is smaller;
// false when one is a prefix of the other (so this is not an ordering for sorting).
bool bytes_less(const std::vector<u8>& a, const std::vector<u8>& b);
// true for an empty vector or one of zero bytes only.
bool is_all_zero(const std::vector<u8>& v);
// Sum mod 2^64 of the n / 8 little-endian 64-bit words at p plus each of the last
// n % 8 bytes; 0 for a null p.
u64 sum_words(const void* p, u32 n);
// Empties v, keeping its capacity.
void clear_bytes(std::vector<u8>& v);

// ---- UTF-16 units and line ends ----

// Units before the first 0 unit; 0 for a null s.
size_t utf16_length(const u16* s);
// Units before the first 0 unit when it is among the first 513 units, else 0.
size_t utf16_length_limited(const u16* s);
// Size in bytes of v without its trailing 0 units.
size_t utf16_trimmed_size(const std::vector<u16>& v);
// Units of v, one less when the last is 0.
size_t utf16_length_without_terminator(const std::vector<u16>& v);

// Line-end kinds found by detect_line_ending.
enum line_ending_kind : int {
  line_ending_crlf = 1,
  line_ending_cr = 2,
  line_ending_lf = 3,
  line_ending_lfcr = 4,
  line_ending_mixed = 6,
  line_ending_none = 7,
};
// Kind of the line ends among the n bytes: the first kind seen, mixed when a second
// kind follows, none when there is none. A final byte is only read as the second half
// of a pair, so a lone line end in the last byte is not counted.
int detect_line_ending(const u8* p, u32 n);
// The same over n_bytes / 2 units.
int detect_line_ending_utf16(const u16* p, u32 n_bytes);
// Moves *p past the next line end (CR LF or LF; a CR not followed by LF is skipped
// with the unit after it) within *remaining units and lowers *remaining by the units
// passed; false, nothing moved, when none is found. A CR in the last unit is no line end.
bool next_line_utf16(const u16** p, u32* remaining);

// ---- Characters, NetBIOS names and hex lines ----

// c (its low 8 bits) is 0-9, a-f or A-F.
bool is_hex_digit(int c);
// A-Z 0-25, a-z 26-51, 0-9 52-61, '+' 62, any other character (the slash too) 63.
int base64_char_value(int c);
// n is a positive multiple of 4 ending in at most two '='; with check_alphabet every
// character before those is A-Z, a-z, 0-9, '+' or '/'. false for a null p.
bool looks_like_base64(const u8* p, int n, bool check_alphabet);
// Writes 32 characters (no terminator): each of the n name bytes as two letters
// 'A' + half-byte, "CA" for each missing byte up to 15, then the suffix; false when
// n is not 0-15 or a pointer is null.
bool netbios_name_encode(const u8* name, int n, u8 suffix, char* out);
// out = the 15 bytes decoded from the first 30 characters (padding blanks included),
// *suffix = the 16th; false, out empty, when in is null or shorter than 32 characters.
bool netbios_name_decode(const char* in, std::string& out, u8* suffix);
// Writes the 16 bytes as "0"-filled two-digit lower-case hex separated by blanks; the
// stream is left in hex mode with fill '0'. Returns os.
std::ostream& write_hex16(const u8* p, std::ostream& os);
// write_hex16, then a line end and a flush.
std::ostream& write_hex16_line(const u8* p, std::ostream& os);

// ---- Narrow and wide copies, argument vectors, errno ----

// out[0] = 0; null when s is longer than limit; otherwise one wide character per byte
// and a terminator in out (limit + 1 slots) and out is returned. Nothing is written
// for a negative limit or a null out.
wchar_t* string_to_wide_buffer(const std::string& s, wchar_t* out, int limit);
// out = one wide character per byte.
void narrow_to_wide_bytes(const std::string& s, std::wstring& out);
// out = the low 8 bits of each wide character.
void wide_to_narrow_bytes(const std::wstring& w, std::string& out);
// Removes entry i: later entries move down one, *count drops by one, the old last
// slot keeps its pointer. false when i is negative or not below *count.
bool argv_remove_at(int i, int* count, char** argv);
// errno of the calling thread.
int last_errno();

// A counted UTF-16 buffer: sizes are in bytes, and every appended piece keeps its 0
// terminator inside length, so the buffer holds a run of 0-terminated strings.
class _UNICODE_STRING_EX {
 public:
  // Owns a buffer of capacity units (at most 32767, so its byte size fits in 16 bits),
  // first unit 0; capacity 0 gives no buffer. A failed allocation leaves every field zero.
  explicit _UNICODE_STRING_EX(u16 capacity);
  // Uses the caller's buffer of maximum_length bytes (not owned) and writes 0 to its
  // first unit when it has room for one.
  _UNICODE_STRING_EX(u16* buffer, u16 maximum_length);
  // Uses the caller's buffer with these sizes (not owned), untouched.
  _UNICODE_STRING_EX(u16* buffer, u16 length, u16 maximum_length);
  _UNICODE_STRING_EX(const _UNICODE_STRING_EX&) = delete;
  _UNICODE_STRING_EX& operator=(const _UNICODE_STRING_EX&) = delete;
  // Frees the buffer when owned.
  virtual ~_UNICODE_STRING_EX();

  // Appends s and a 0 unit, each byte widened signed; grows an owned (or absent)
  // buffer, leaves a caller's full buffer unchanged, and refuses to pass 65535 bytes.
  // Nothing happens for a null s.
  _UNICODE_STRING_EX& append(const char* s);
  // The same for a wide C string, each character cut to its low 16 bits.
  _UNICODE_STRING_EX& append(const wchar_t* s);
  // Length 0. An owned buffer is kept and zero-filled over its whole capacity; a caller's
  // buffer is let go (no buffer, capacity 0).
  void clear();

  u16 length = 0;
  u16 maximum_length = 0;
  u16* buffer = nullptr;
  bool owns_buffer = false;

 private:
  template <class C>
  _UNICODE_STRING_EX& append_units(const C* s, size_t count);
};
