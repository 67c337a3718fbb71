#include "framework/text/uni_bom.h"

#include <array>
#include <cstring>
#include <span>

namespace {

constexpr std::array<u8, 3> mark_utf8 = {0xEF, 0xBB, 0xBF};
constexpr std::array<u8, 2> mark_utf16le = {0xFF, 0xFE};
constexpr std::array<u8, 2> mark_utf16be = {0xFE, 0xFF};
constexpr std::array<u8, 4> mark_utf32le = {0xFF, 0xFE, 0x00, 0x00};
constexpr std::array<u8, 4> mark_utf32be = {0x00, 0x00, 0xFE, 0xFF};
constexpr std::array<u8, 3> mark_utf7 = {0x2B, 0x2F, 0x76};
constexpr std::array<u8, 4> mark_utf_ebcdic = {0xDD, 0x73, 0x66, 0x73};
constexpr std::array<u8, 3> mark_scsu = {0x0E, 0xFE, 0xFF};
constexpr std::array<u8, 3> mark_bocu1 = {0xFB, 0xEE, 0x28};

std::vector<u8>& append_mark(std::vector<u8>& out, std::span<const u8> mark) {
  out.insert(out.end(), mark.begin(), mark.end());
  return out;
}

bool begins_with_mark(const void* data, std::size_t length, std::span<const u8> mark) {
  return data != nullptr && length >= mark.size() &&
         std::memcmp(data, mark.data(), mark.size()) == 0;
}

bool begins_with_mark(const void* data, std::span<const u8> mark) {
  return begins_with_mark(data, mark.size(), mark);
}

}  // namespace

std::vector<u8>& write_bom_utf8(std::vector<u8>& out) { return append_mark(out, mark_utf8); }
std::vector<u8>& write_bom_utf16le(std::vector<u8>& out) { return append_mark(out, mark_utf16le); }
std::vector<u8>& write_bom_utf16be(std::vector<u8>& out) { return append_mark(out, mark_utf16be); }
std::vector<u8>& write_bom_utf32le(std::vector<u8>& out) { return append_mark(out, mark_utf32le); }
std::vector<u8>& write_bom_utf32be(std::vector<u8>& out) { return append_mark(out, mark_utf32be); }
std::vector<u8>& write_bom_utf7(std::vector<u8>& out) { return append_mark(out, mark_utf7); }
std::vector<u8>& write_bom_utf_ebcdic(std::vector<u8>& out) {
  return append_mark(out, mark_utf_ebcdic);
}
std::vector<u8>& write_bom_scsu(std::vector<u8>& out) { return append_mark(out, mark_scsu); }
std::vector<u8>& write_bom_bocu1(std::vector<u8>& out) { return append_mark(out, mark_bocu1); }

bool is_bom_utf8(const void* data) { return begins_with_mark(data, mark_utf8); }
bool is_bom_utf8(const void* data, std::size_t length) {
  return begins_with_mark(data, length, mark_utf8);
}
bool is_bom_utf16le(const void* data) { return begins_with_mark(data, mark_utf16le); }
bool is_bom_utf16le(const void* data, std::size_t length) {
  return begins_with_mark(data, length, mark_utf16le);
}
bool is_bom_utf16be(const void* data) { return begins_with_mark(data, mark_utf16be); }
bool is_bom_utf16be(const void* data, std::size_t length) {
  return begins_with_mark(data, length, mark_utf16be);
}
bool is_bom_utf32le(const void* data) { return begins_with_mark(data, mark_utf32le); }
bool is_bom_utf32le(const void* data, std::size_t length) {
  return begins_with_mark(data, length, mark_utf32le);
}
bool is_bom_utf32be(const void* data) { return begins_with_mark(data, mark_utf32be); }
bool is_bom_utf32be(const void* data, std::size_t length) {
  return begins_with_mark(data, length, mark_utf32be);
}
bool is_bom_utf7(const void* data) { return begins_with_mark(data, mark_utf7); }
bool is_bom_utf7(const void* data, std::size_t length) {
  return begins_with_mark(data, length, mark_utf7);
}
bool is_bom_utf_ebcdic(const void* data) { return begins_with_mark(data, mark_utf_ebcdic); }
bool is_bom_utf_ebcdic(const void* data, std::size_t length) {
  return begins_with_mark(data, length, mark_utf_ebcdic);
}
bool is_bom_scsu(const void* data) { return begins_with_mark(data, mark_scsu); }
bool is_bom_scsu(const void* data, std::size_t length) {
  return begins_with_mark(data, length, mark_scsu);
}
bool is_bom_bocu1(const void* data) { return begins_with_mark(data, mark_bocu1); }
bool is_bom_bocu1(const void* data, std::size_t length) {
  return begins_with_mark(data, length, mark_bocu1);
}

namespace {

// Unmarked UTF-16 of byte order little (or big): the first LF byte is the low (high) half of
// its unit, whose other byte is NUL, and at least a third of the units before it hold one NUL byte
// on the same side. A text without an LF in length counts by its units alone.
bool is_unmarked_utf16(const u8* bytes, std::size_t length, bool little) {
  const void* lf = std::memchr(bytes, '\n', length);
  const std::size_t line_end = lf ? static_cast<std::size_t>(static_cast<const u8*>(lf) - bytes) : length;
  if (lf != nullptr) {
    const bool low_half = line_end % 2 == 0;
    if (little != low_half) return false;
    const std::size_t partner = little ? line_end + 1 : line_end - 1;
    if (partner < length && bytes[partner] != 0) return false;
  }
  const std::size_t units = line_end / 2;
  if (units == 0) return lf != nullptr && line_end + 1 < length;
  std::size_t half_nul = 0;
  for (std::size_t i = 0; i < units; ++i) {
    const u8 low = bytes[2 * i + (little ? 0 : 1)];
    const u8 high = bytes[2 * i + (little ? 1 : 0)];
    if (low != 0 && high == 0) ++half_nul;
  }
  return half_nul * 3 >= units;
}

}  // namespace

const char* wide_text_encoding(const void* data, std::size_t length) {
  if (data == nullptr) return nullptr;
  if (is_bom_utf32le(data, length)) return "UTF-32LE";
  if (is_bom_utf32be(data, length)) return "UTF-32BE";
  if (is_bom_utf16be(data, length)) return "UTF-16BE";
  if (is_bom_utf16le(data, length) || is_bom_utf8(data, length)) return nullptr;
  const u8* bytes = static_cast<const u8*>(data);
  if (is_unmarked_utf16(bytes, length, true)) return "UTF-16LE without a byte-order mark";
  if (is_unmarked_utf16(bytes, length, false)) return "UTF-16BE without a byte-order mark";
  return nullptr;
}
