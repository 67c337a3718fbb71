#include "framework/text/qz_guid.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "framework/text/qz_bytes.h"
#include "framework/text/qz_hex.h"
#include "framework/text/uni_unicode.h"

namespace {

constexpr std::size_t guid_bytes = 16;
constexpr std::size_t guid_text_length = 36;
constexpr std::size_t dashed_text_min_length = 22;

int hex_value(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

u32 load_le32(const u8* p) { return static_cast<u32>(read_le_uint(p, 4)); }
u16 load_le16(const u8* p) { return static_cast<u16>(read_le_uint(p, 2)); }

void store_le(u8* p, u64 value, int size) {
  for (int i = 0; i < size; ++i) p[i] = static_cast<u8>(value >> (8 * i));
}

// Writes the 36 characters of the dashed form and a NUL into text (37 bytes).
void format_guid_text(char* text, const guid_t& guid) {
  std::snprintf(text, guid_text_length + 1, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                guid.data1, guid.data2, guid.data3, guid.data4[0], guid.data4[1], guid.data4[2],
                guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
}

void skip_blanks(const std::string& text, std::size_t& pos) {
  while (pos < text.size() && text[pos] == ' ') ++pos;
}

// Reads the five numbers of dashed GUID text. A number without digits, one with more digits than
// its field holds, or a letter or digit where a separator belongs makes the text no GUID: a partly read value would be a
// different identifier reported as found.
bool read_dashed_guid(const std::string& text, guid_t& out) {
  static constexpr int max_digits[5] = {8, 4, 4, 4, 12};
  u64 numbers[5] = {};
  std::size_t pos = 0;
  skip_blanks(text, pos);
  if (pos < text.size() && text[pos] == '{') ++pos;
  for (int field = 0; field < 5; ++field) {
    if (field > 0) {
      skip_blanks(text, pos);
      if (pos >= text.size() || std::isalnum(static_cast<unsigned char>(text[pos]))) return false;
      ++pos;
    }
    skip_blanks(text, pos);
    int digits = 0;
    for (int value; pos < text.size() && (value = hex_value(text[pos])) >= 0; ++pos) {
      if (++digits > max_digits[field]) return false;
      numbers[field] = (numbers[field] << 4) | static_cast<u64>(value);
    }
    if (digits == 0) return false;
  }
  guid_t read;
  read.data1 = static_cast<u32>(numbers[0]);
  read.data2 = static_cast<u16>(numbers[1]);
  read.data3 = static_cast<u16>(numbers[2]);
  read.data4[0] = static_cast<u8>(numbers[3] >> 8);
  read.data4[1] = static_cast<u8>(numbers[3]);
  for (int i = 0; i < 6; ++i) read.data4[2 + i] = static_cast<u8>(numbers[4] >> (8 * (5 - i)));
  out = read;
  return true;
}

// Value of the leading hex digits of text[pos, pos + count); *stopped is set when a character
// that is not a hex digit ends the reading early.
u64 read_hex_group(const std::string& text, std::size_t pos, std::size_t count, bool* stopped) {
  u64 value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    int digit = hex_value(text[pos + i]);
    if (digit < 0) {
      *stopped = true;
      break;
    }
    value = (value << 4) | static_cast<u64>(digit);
  }
  return value;
}

bool sid_to_text_checked(std::string& out, const u8* sid, u32 size, bool exact) {
  out.clear();
  if (sid == nullptr || size < 12) return false;
  const u32 sub_count = sid[1];
  const u32 needed = 8 + 4 * sub_count;
  if (size < needed || (exact && size != needed)) return false;
  out = "S-" + std::to_string(sid[0]) + "-" + std::to_string(sid[7]);
  for (u32 i = 0; i < sub_count; ++i) {
    out += '-';
    out += std::to_string(load_le32(sid + 8 + 4 * i));
  }
  return true;
}

}  // namespace

// ---- guid_t ----

guid_t::guid_t(const u8* bytes) {
  if (bytes == nullptr) return;
  data1 = load_le32(bytes);
  data2 = load_le16(bytes + 4);
  data3 = load_le16(bytes + 6);
  std::memcpy(data4, bytes + 8, sizeof data4);
}

guid_t::guid_t(const std::vector<u8>& bytes)
    : guid_t(bytes.size() >= guid_bytes ? bytes.data() : nullptr) {}

void guid_t::clear() { *this = guid_t(); }

void guid_t::assign(const guid_t& other) { *this = other; }

void guid_t::to_bytes(u8* out) const {
  store_le(out, data1, 4);
  store_le(out + 4, data2, 2);
  store_le(out + 6, data3, 2);
  std::memcpy(out + 8, data4, sizeof data4);
}

// ---- GUID to text ----

std::string guid_to_string(const guid_t& guid) {
  char text[guid_text_length + 1];
  format_guid_text(text, guid);
  return std::string(text, guid_text_length);
}

bool guid_to_string(std::string& out, const guid_t* guid) {
  out.clear();
  if (guid == nullptr) return false;
  out = guid_to_string(*guid);
  return true;
}

bool guid_to_text_buffer(char* buffer, u64 size, const guid_t& guid) {
  if (buffer == nullptr || size < guid_text_length + 1) return false;
  format_guid_text(buffer, guid);
  if (size < guid_text_length + 6) return true;
  u8 stored[guid_bytes];
  guid.to_bytes(stored);
  char* tail = buffer + guid_text_length;
  *tail++ = ' ';
  for (int i = 0; i < 4; ++i) *tail++ = (stored[i] >= 0x30 && stored[i] <= 0x7A) ? char(stored[i]) : '.';
  *tail = '\0';
  return true;
}

bool guid_format(std::string& out, guid_t value, u32 style) {
  u8 stored[guid_bytes];
  value.to_bytes(stored);
  switch (style) {
    case 1: {
      char head[40];
      std::snprintf(head, sizeof head, "0x%08x, 0x%04x, 0x%04x", value.data1, value.data2,
                    value.data3);
      out = head;
      for (u8 byte : value.data4) {
        char part[8];
        std::snprintf(part, sizeof part, ", 0x%02x", byte);
        out += part;
      }
      break;
    }
    case 2:
      bytes_to_hex_list(out, stored, guid_bytes, " ", false);
      break;
    case 3:
      bytes_to_hex_list(out, stored, guid_bytes, ", ", true);
      break;
    default:
      out = guid_to_string(value);
      break;
  }
  return true;
}

bool guid_to_c_initializer(std::string& out, const guid_t& guid) {
  return guid_format(out, guid, 1);
}

bool guid_with_id_to_c_initializer(std::string& out, const guid_t& guid, u32 id) {
  guid_format(out, guid, 1);
  out += ", " + std::to_string(id & 0xFFFF);
  return true;
}

// ---- Text to GUID ----

void parse_guid(guid_t& out, const std::string& text) {
  if (text.find('-') != std::string::npos) {
    parse_guid_text(text, out);
  } else if (text.size() == 2 * guid_bytes) {
    u8 stored[guid_bytes];
    for (std::size_t i = 0; i < guid_bytes; ++i) {
      bool stopped = false;
      stored[i] = static_cast<u8>(read_hex_group(text, 2 * i, 2, &stopped));
    }
    out = guid_t(stored);
  } else if (text.size() == 47 && text.find(' ') != std::string::npos) {
    std::vector<u8> bytes;
    parse_hex_bytes(bytes, text, ' ', true);
    if (bytes.size() == guid_bytes) out = guid_t(bytes);
  }
}

bool parse_guid_text(const std::string& text, guid_t& out) {
  if (text.size() < dashed_text_min_length) return false;
  return read_dashed_guid(text, out);
}

bool parse_guid_text_bytes(const std::string& text, std::vector<u8>& out) {
  guid_t guid;
  if (!parse_guid_text(text, guid)) return false;
  out.assign(guid_bytes, 0);
  guid.to_bytes(out.data());
  return true;
}

void parse_guid_digits(guid_t& out, std::string text) {
  if (text.size() != 2 * guid_bytes) return;
  out.clear();
  bool stopped = false;
  out.data1 = static_cast<u32>(read_hex_group(text, 0, 8, &stopped));
  if (!stopped) out.data2 = static_cast<u16>(read_hex_group(text, 8, 4, &stopped));
  if (!stopped) out.data3 = static_cast<u16>(read_hex_group(text, 12, 4, &stopped));
  for (std::size_t i = 0; i < sizeof out.data4 && !stopped; ++i)
    out.data4[i] = static_cast<u8>(read_hex_group(text, 16 + 2 * i, 2, &stopped));
}

// ---- SIDs and addresses ----

bool sid_to_text(std::string& out, const u8* sid, u32 size) {
  return sid_to_text_checked(out, sid, size, false);
}

bool sid_to_text_exact(std::string& out, const u8* sid, u32 size) {
  return sid_to_text_checked(out, sid, size, true);
}

std::string sid_text(const u8* sid, u32 size) {
  std::string text;
  sid_to_text(text, sid, size);
  return text;
}

bool address_bytes_to_text(const u8* bytes, i32 length, std::string& out) {
  out.clear();
  if (bytes == nullptr) return false;
  char text[32];
  switch (length) {
    case 4:
      std::snprintf(text, sizeof text, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
      break;
    case 6:
    case 8:
      // A MAC address or an EUI-64: every byte as two digits, colon-separated.
      bytes_to_hex_list(out, bytes, length, ":", false);
      return true;
    default:
      return false;
  }
  out = text;
  return true;
}

bool ipv4_to_text(u32 address, std::string& out) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, (address >> 16) & 255,
                (address >> 8) & 255, address & 255);
  out = text;
  return true;
}

bool ipv4_to_wide_text(u32 address, std::wstring& out) {
  std::string text;
  ipv4_to_text(address, text);
  out = utf8_to_wstring(text);
  return true;
}

bool ipv6_to_text(const u16* words, i32 size, std::string& out) {
  if (words == nullptr || size < 2) return false;
  // Groups are in network order whatever the host's; reading bytes also spares an aligned load.
  const u8* bytes = reinterpret_cast<const u8*>(words);
  const std::size_t count = static_cast<std::size_t>(size) / 2;
  std::vector<u16> groups(count);
  for (std::size_t i = 0; i < count; ++i)
    groups[i] = static_cast<u16>((bytes[2 * i] << 8) | bytes[2 * i + 1]);

  std::size_t run_start = count, run_end = count;
  for (std::size_t i = 0; i < count; ++i) {
    if (groups[i] != 0) continue;
    run_start = i;
    run_end = i;
    while (run_end < count && groups[run_end] == 0) ++run_end;
    break;
  }

  std::string text;
  char group_text[8];
  auto append_groups = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      if (i > from) text += ':';
      std::snprintf(group_text, sizeof group_text, "%x", groups[i]);
      text += group_text;
    }
  };
  append_groups(0, run_start);
  if (run_start < count) {
    text += "::";
    append_groups(run_end, count);
  }
  out = text;
  return true;
}
