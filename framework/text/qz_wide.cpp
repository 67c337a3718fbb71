#include "framework/text/qz_wide.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

#include "framework/text/qz_path.h"
#include "framework/text/qz_replace.h"
#include "framework/text/qz_string.h"

namespace {

constexpr int cstring_unit_limit = 500;
constexpr u16 unit_cr = 0x0D;
constexpr u16 unit_lf = 0x0A;
constexpr u16 unit_backslash = 0x5C;

// UTF-16 buffers often point into byte buffers, so units are read without assuming alignment.
u16 unit_at(const u16* buffer, std::size_t index) {
  u16 unit;
  std::memcpy(&unit, reinterpret_cast<const unsigned char*>(buffer) + 2 * index, sizeof unit);
  return unit;
}

const u16* units_from(const u16* buffer, std::size_t index) {
  return reinterpret_cast<const u16*>(reinterpret_cast<const unsigned char*>(buffer) + 2 * index);
}

// One wide character per unit, surrogates left unpaired.
std::wstring widen_units(const u16* buffer, std::size_t count) {
  std::wstring out(count, L'\0');
  for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<wchar_t>(unit_at(buffer, i));
  return out;
}

// The units decoded, or widened one by one when they hold an unpaired high surrogate.
std::wstring decode_or_widen_units(const u16* buffer, std::size_t count) {
  std::wstring out;
  if (!utf16le_bytes_to_wide(out, buffer, count * 2)) out = widen_units(buffer, count);
  return out;
}

u16 unit_of(char c) { return static_cast<u16>(static_cast<signed char>(c)); }
u16 unit_of(wchar_t c) { return static_cast<u16>(c); }

// Appends the characters as 16-bit units, every LF as CR LF.
template <class Char>
void append_crlf_units(std::vector<u16>& out, const Char* text, std::size_t length) {
  out.reserve(length + 30);
  for (std::size_t i = 0; i < length; ++i) {
    const u16 unit = unit_of(text[i]);
    if (unit == unit_lf) out.push_back(unit_cr);
    out.push_back(unit);
  }
}

const u16* narrow_to_utf16_crlf(std::vector<u16>& out, const char* text, std::size_t length) {
  out.clear();
  if (length == 0) return nullptr;
  append_crlf_units(out, text, length);
  out.push_back(0);
  return out.data();
}

const u16* wide_to_utf16_crlf(std::vector<u16>& out, const wchar_t* text, std::size_t length) {
  out.clear();
  append_crlf_units(out, text, length);
  return out.empty() ? nullptr : out.data();
}

}  // namespace

void widen_cstring(const char* text, std::wstring& out) {
  if (text == nullptr || *text == '\0') return;
  const std::size_t length = std::strlen(text);
  out.resize(length);
  for (std::size_t i = 0; i < length; ++i) out[i] = static_cast<wchar_t>(static_cast<signed char>(text[i]));
}

std::string utf16_unit_to_utf8(u16 unit) { return wstring_to_utf8(std::wstring(1, static_cast<wchar_t>(unit))); }

std::string latin1_char_to_utf8(char c) {
  std::string out;
  latin1_to_utf8(out, std::string(1, c));
  return out;
}

std::string latin1_cstring_to_utf8(const char* text) {
  std::string out;
  if (text != nullptr) latin1_to_utf8(out, text);
  return out;
}

std::string wcstring_to_utf8(const wchar_t* text) {
  if (text == nullptr) return std::string();
  return wstring_to_utf8(text);
}

std::string& wcstring_to_utf8_into(const wchar_t* text, std::string& out) {
  out = wcstring_to_utf8(text);
  return out;
}

const u16* cstring_to_utf16_crlf(std::vector<u16>& out, const char* text) {
  return narrow_to_utf16_crlf(out, text, text == nullptr ? 0 : std::strlen(text));
}

const u16* string_to_utf16_crlf(std::vector<u16>& out, const std::string& text) {
  return narrow_to_utf16_crlf(out, text.data(), text.size());
}

const u16* wcstring_to_utf16_crlf(std::vector<u16>& out, const wchar_t* text) {
  return wide_to_utf16_crlf(out, text, text == nullptr ? 0 : std::wcslen(text));
}

const u16* wstring_to_utf16_crlf(std::vector<u16>& out, const std::wstring& text) {
  return wide_to_utf16_crlf(out, text.data(), text.size());
}

bool drop_trailing_zero_units(std::vector<u16>& units) {
  while (!units.empty() && units.back() == 0) units.pop_back();
  return true;
}

int escape_utf16_units(std::vector<u16>& units, const std::wstring& specials) {
  std::vector<u16> escaped;
  escaped.reserve(units.size());
  int inserted = 0;
  for (u16 unit : units) {
    if (specials.find(static_cast<wchar_t>(unit)) != std::wstring::npos) {
      escaped.push_back(unit_backslash);
      ++inserted;
    }
    escaped.push_back(unit);
  }
  units.swap(escaped);
  return inserted;
}

const u16* format_to_utf16(std::vector<u16>& out, const char* format, ...) {
  out.clear();
  if (format == nullptr) return nullptr;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  char small[30];
  const int needed = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  std::string text;
  if (needed >= static_cast<int>(sizeof small)) {
    text.resize(static_cast<std::size_t>(needed));
    std::vsnprintf(text.data(), text.size() + 1, format, again);
  } else if (needed > 0) {
    text.assign(small, static_cast<std::size_t>(needed));
  }
  va_end(again);
  return string_to_utf16_crlf(out, text);
}

int utf16_buffer_to_wide(const u16* buffer, std::wstring& out, int length) {
  out.clear();
  if (buffer == nullptr || length == 0 || length < -1) return 0;
  const std::size_t limit = length == -1 ? cstring_unit_limit : static_cast<std::size_t>(length) / 2;
  std::size_t count = 0;
  while (count < limit && unit_at(buffer, count) != 0) ++count;
  if (count > 0) out = decode_or_widen_units(buffer, count);
  return static_cast<int>(count * 2);
}

void utf16_buffer_to_utf8_counted(const u16* buffer, std::string& out, u32& bytes_read, int length) {
  out.clear();
  std::wstring wide;
  bytes_read = static_cast<u32>(utf16_buffer_to_wide(buffer, wide, length));
  if (!wide.empty()) wide_to_utf8(out, wide);
}

int utf16le_to_utf8(const char* buffer, std::string& out, int length, bool count_terminator) {
  u32 bytes_read = 0;
  utf16_buffer_to_utf8_counted(reinterpret_cast<const u16*>(buffer), out, bytes_read, length);
  // The terminator is counted only when it lies within length; never for -1.
  const i64 with_terminator = static_cast<i64>(bytes_read) + 2;
  if (count_terminator && bytes_read != 0 && with_terminator <= length) return static_cast<int>(with_terminator);
  return static_cast<int>(bytes_read);
}

std::string utf16le_cstring_to_utf8(const char* buffer) {
  std::string out;
  utf16le_to_utf8(buffer, out, -1, true);
  return out;
}

std::string& utf16le_cstring_to_utf8_into(const char* buffer, std::string& out) {
  utf16le_to_utf8(buffer, out, -1, true);
  return out;
}

bool utf16_path_split(const u16* buffer, std::wstring& dir, std::wstring& name) {
  std::wstring path;
  utf16_buffer_to_wide(buffer, path, -1);
  return split_dir_file_wide(path, dir, name);
}

int utf16_multi_string_to_wide(const u16* buffer, std::vector<std::wstring>& out, int length) {
  out.clear();
  if (buffer == nullptr || length <= 0) return 0;
  const std::size_t unit_count = static_cast<std::size_t>(length) / 2;
  // Calls take(first unit, unit count) for every non-empty string of the block.
  const auto each_string = [&](auto take) {
    std::size_t start = 0;
    for (std::size_t i = 0; i <= unit_count; ++i) {
      if (i < unit_count && unit_at(buffer, i) != 0) continue;
      if (i > start) take(units_from(buffer, start), i - start);
      start = i + 1;
    }
  };
  // A string that does not decode is taken for a misread block entry and dropped; only a block
  // in which no string decodes is kept, unit by unit, so that its content is not lost.
  each_string([&](const u16* units, std::size_t count) {
    std::wstring decoded;
    if (utf16le_bytes_to_wide(decoded, units, count * 2)) out.push_back(std::move(decoded));
  });
  if (out.empty()) {
    each_string([&](const u16* units, std::size_t count) { out.push_back(widen_units(units, count)); });
  }
  return static_cast<int>(unit_count * 2);
}

void utf8_vector_to_wide(std::vector<std::wstring>& out, const std::vector<std::string>& in) {
  utf8_list_to_wide(out, in);
}

void utf8_list_to_wide(const std::vector<std::string>& in, std::vector<std::wstring>& out) {
  utf8_list_to_wide(out, in);
}

void wide_vector_to_utf8(std::vector<std::string>& out, const std::vector<std::wstring>& in) {
  wide_list_to_utf8(out, in);
}

void wide_list_to_utf8(const std::vector<std::wstring>& in, std::vector<std::string>& out) {
  wide_list_to_utf8(out, in);
}

bool find_position_after_wide(u64& position, const std::wstring& text, u64 from, const wchar_t* needle) {
  std::size_t found = 0;
  const bool ok = find_position_wide(found, text, static_cast<std::size_t>(from), needle);
  position = found;
  if (!ok) return false;
  position += std::wcslen(needle);
  return true;
}

bool replace_first_nocase_wcstr(std::wstring& text, const wchar_t* what, const wchar_t* with) {
  if (what == nullptr || with == nullptr) return false;
  std::wstring what_copy(what);
  return replace_first_wide(text, what_copy, with, true);
}

namespace {

// Whether the units at text begin with prefix without regard to ASCII case.
template <typename Unit>
bool units_start_with_nocase(const Unit* text, const std::wstring& prefix) {
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (!eq_nocase_wide(static_cast<wchar_t>(text[i]), prefix[i])) return false;
  }
  return true;
}

// The tag cutter over count units of any width; returns the units kept, or -1 without memory.
template <typename Unit>
long long cut_tagged_sections(Unit* buffer, std::size_t count, const wchar_t* tag) {
  std::unique_ptr<Unit[]> kept(new (std::nothrow) Unit[count == 0 ? 1 : count]);
  if (!kept) return -1;
  const std::wstring opening = L"<" + std::wstring(tag);
  const std::wstring closing = L"</" + std::wstring(tag) + L">";

  std::size_t kept_count = 0;
  bool inside = false;
  bool any_opened = false;
  std::size_t i = 0;
  while (i < count) {
    if (count - i < closing.size()) {
      // The tail is kept as it is, also inside an unclosed section.
      std::copy(buffer + i, buffer + count, kept.get() + kept_count);
      kept_count += count - i;
      break;
    }
    if (!inside && units_start_with_nocase(buffer + i, opening)) {
      inside = true;
      any_opened = true;
    }
    if (!inside) {
      kept[kept_count++] = buffer[i++];
    } else if (units_start_with_nocase(buffer + i, closing)) {
      i += closing.size();
      inside = false;
    } else {
      ++i;
    }
  }
  if (any_opened && kept_count > 0) std::copy(kept.get(), kept.get() + kept_count, buffer);
  return static_cast<long long>(kept_count);
}

}  // namespace

bool remove_tagged_sections_wide(wchar_t* buffer, u32& length, const wchar_t* tag) {
  if (buffer == nullptr || length == 0 || tag == nullptr) return false;
  const long long kept = cut_tagged_sections(buffer, length / sizeof(wchar_t), tag);
  if (kept < 0) return false;
  length = static_cast<u32>(static_cast<std::size_t>(kept) * sizeof(wchar_t));
  return true;
}

bool remove_tagged_sections_utf16(u16* buffer, u32& length, const wchar_t* tag) {
  if (buffer == nullptr || length == 0 || tag == nullptr) return false;
  const long long kept = cut_tagged_sections(buffer, length / sizeof(u16), tag);
  if (kept < 0) return false;
  length = static_cast<u32>(static_cast<std::size_t>(kept) * sizeof(u16));
  return true;
}
