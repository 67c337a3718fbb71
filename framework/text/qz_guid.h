// Identifiers found as raw bytes in records: the 16-byte GUID value with its text forms both
// ways, and the text of SIDs, IPv4, IPv6 and MAC addresses. Hex digits written are lower-case;
// hex digits read may be of either case. Nothing throws; failure is a false result or an empty
// text, and a reader that fails leaves its output as it was unless it says otherwise.
#pragma once

#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// A GUID in GUID byte order: data1, data2 and data3 are stored little-endian, data4 in text
// order, so 00112233-4455-6677-8899-aabbccddeeff is stored 33 22 11 00 55 44 77 66 88 99 aa ...
struct guid_t {
  u32 data1 = 0;
  u16 data2 = 0;
  u16 data3 = 0;
  u8 data4[8] = {};

  // The zero GUID.
  guid_t() = default;
  // The 16 stored bytes at bytes; a null pointer gives the zero GUID.
  explicit guid_t(const u8* bytes);
  // The first 16 bytes of the vector; a vector of fewer than 16 bytes gives the zero GUID.
  explicit guid_t(const std::vector<u8>& bytes);

  // All 16 bytes zero.
  void clear();
  // Copies the 16 bytes of other.
  void assign(const guid_t& other);
  // Writes the 16 stored bytes, in GUID byte order, to out.
  void to_bytes(u8* out) const;

  bool operator==(const guid_t& other) const = default;
};
static_assert(sizeof(guid_t) == 16, "a GUID is 16 bytes with no padding");

// ---- GUID to text ----

// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" of data1, data2, data3 and the 8 bytes of data4.
std::string guid_to_string(const guid_t& guid);
// out = guid_to_string(*guid); false, out empty, for a null guid.
bool guid_to_string(std::string& out, const guid_t* guid);
// Writes the 36-character text and a NUL; with size 42 or more the text is followed by a blank
// and the 4 stored bytes of data1 as characters ('0'..'z' as themselves, others as '.') before
// the NUL. False, nothing written, for a null buffer or a size below 37.
bool guid_to_text_buffer(char* buffer, u64 size, const guid_t& guid);
// out = style 1: the C initializer "0x........, 0x...., 0x...., 0x.., ..." (data4 byte by byte);
// 2: the 16 stored bytes as hex separated by blanks; 3: the same as "0x.." separated by ", ";
// any other style: guid_to_string. Always true.
bool guid_format(std::string& out, guid_t value, u32 style);
// out = the style-1 text of guid_format; true.
bool guid_to_c_initializer(std::string& out, const guid_t& guid);
// out = the style-1 text, ", " and the low 16 bits of id in decimal; true.
bool guid_with_id_to_c_initializer(std::string& out, const guid_t& guid, u32 id);

// ---- Text to GUID ----

// Reads a GUID from any of its text forms: dashed text (as parse_guid_text); 32 hex digits
// without dashes (bytes stored in text order, a pair that is not hex gives the value of its
// leading hex digit or 0); 47 characters of 16 blank-separated hex bytes (text order).
// Any other text, or dashed text that parse_guid_text refuses, leaves out unchanged.
void parse_guid(guid_t& out, const std::string& text);
// Reads dashed text "00112233-4455-6677-8899-aabbccddeeff" into GUID byte order: an optional
// "{", then five hex numbers of at most 8, 4, 4, 4 and 12 digits, each two separated by one
// character that is neither a letter nor a digit; blanks before a number or a separator are skipped and
// whatever follows the fifth number is ignored. False, out unchanged, for a text shorter than
// 22 characters or one that does not hold the five numbers.
bool parse_guid_text(const std::string& text, guid_t& out);
// parse_guid_text into out as its 16 stored bytes; false, out unchanged, where it fails.
bool parse_guid_text_bytes(const std::string& text, std::vector<u8>& out);
// Only for a text of exactly 32 characters (others leave out unchanged): out is zeroed, then
// 8, 4 and 4 hex digits give data1, data2, data3 and 16 more the bytes of data4 in text order.
// Reading stops at the first character that is not a hex digit; what follows stays zero.
void parse_guid_digits(guid_t& out, std::string text);

// ---- SIDs and addresses ----

// out = "S-<revision>-<authority>-<sub 1>-...", the authority being the value of byte 7 and each
// sub-authority a little-endian u32, all in decimal. False, out empty, for a null sid, a size
// below 12 or below 8 + 4 * (byte 1, the sub-authority count).
bool sid_to_text(std::string& out, const u8* sid, u32 size);
// sid_to_text, also false unless size is exactly 8 + 4 * the sub-authority count.
bool sid_to_text_exact(std::string& out, const u8* sid, u32 size);
// The text of sid_to_text; empty on failure.
std::string sid_text(const u8* sid, u32 size);
// out = 4 bytes as dotted decimal IPv4, 6 bytes as a colon-separated MAC address, 8 bytes as a
// colon-separated EUI-64; any other length or a null pointer gives an empty out and false.
bool address_bytes_to_text(const u8* bytes, i32 length, std::string& out);
// out = dotted decimal of address, its most significant byte first; true.
bool ipv4_to_text(u32 address, std::string& out);
// The wide form of ipv4_to_text; true.
bool ipv4_to_wide_text(u32 address, std::wstring& out);
// out = the IPv6 text of size / 2 big-endian 16-bit groups (size counts bytes): lower-case hex
// without leading zeros, the first run of zero groups written "::". False, out unchanged, for
// a null pointer or a size below 2.
bool ipv6_to_text(const u16* words, i32 size, std::string& out);
