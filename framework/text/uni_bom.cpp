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
