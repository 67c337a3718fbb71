#include "framework/text/qz_wide.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

std::wstring wide(std::initializer_list<u32> values) {
  std::wstring out;
  for (u32 v : values) out.push_back(static_cast<wchar_t>(v));
  return out;
}

// A heap buffer holding exactly the units, so that AddressSanitizer reports a read past them.
std::unique_ptr<u16[]> exact_units(const std::vector<u16>& units) {
  std::unique_ptr<u16[]> copy(new u16[units.empty() ? 1 : units.size()]);
  std::copy(units.begin(), units.end(), copy.get());
  return copy;
}

TEST(WideCharacters, WideningAndSingleCharacters) {
  std::wstring out = L"kept";
  widen_cstring(nullptr, out);
  EXPECT_EQ(L"kept", out);
  widen_cstring("", out);
  EXPECT_EQ(L"kept", out);
  widen_cstring("a\xE9", out);
  EXPECT_EQ(wide({'a', static_cast<u32>(-23)}), out);

  struct unit_row {
    u16 unit;
    std::string utf8;
  };
  const std::vector<unit_row> units = {
      {0x41, "A"},
      {0x7FF, bytes({0xDF, 0xBF})},
      {0x20AC, bytes({0xE2, 0x82, 0xAC})},
      {0xD83D, bytes({0xED, 0xA0, 0xBD})},
  };
  for (const unit_row& r : units) EXPECT_EQ(r.utf8, utf16_unit_to_utf8(r.unit)) << r.unit;

  EXPECT_EQ(bytes({0xC3, 0xA9}), latin1_char_to_utf8('\xE9'));
  EXPECT_EQ("A", latin1_char_to_utf8('A'));
  EXPECT_EQ(std::string(1, '\0'), latin1_char_to_utf8('\0'));
  EXPECT_EQ("caf" + bytes({0xC3, 0xA9}), latin1_cstring_to_utf8("caf\xE9"));
  EXPECT_EQ("", latin1_cstring_to_utf8(nullptr));

  EXPECT_EQ("", wcstring_to_utf8(nullptr));
  EXPECT_EQ("a" + bytes({0xC3, 0xA9}), wcstring_to_utf8(L"a\xE9"));
  std::string into = "old";
  EXPECT_EQ(&into, &wcstring_to_utf8_into(nullptr, into));
  EXPECT_EQ("", into);
}

// Runs one conversion into a vector holding stale data: the vector must hold exactly the
// expected units and the result must be its data, or null when it is empty.
template <class Convert>
void expect_units(const std::vector<u16>& expected, Convert convert) {
  std::vector<u16> out = {9};
  const u16* result = convert(out);
  EXPECT_EQ(expected, out);
  EXPECT_EQ(expected.empty() ? nullptr : out.data(), result);
}

TEST(WindowsText, LineEndsBecomeCrLf) {
  struct narrow_row {
    const char* name;
    std::string text;
    std::vector<u16> units;
  };
  const std::vector<narrow_row> narrow_rows = {
      {"line end", "a\nb", {'a', 0x0D, 0x0A, 'b', 0}},
      {"trailing line ends", "\n\n", {0x0D, 0x0A, 0x0D, 0x0A, 0}},
      {"high byte widened as signed char", "\xE9", {0xFFE9, 0}},
      {"empty", "", {}},
  };
  for (const narrow_row& r : narrow_rows) {
    SCOPED_TRACE(r.name);
    expect_units(r.units, [&r](std::vector<u16>& out) { return cstring_to_utf16_crlf(out, r.text.c_str()); });
    expect_units(r.units, [&r](std::vector<u16>& out) { return string_to_utf16_crlf(out, r.text); });
  }
  std::vector<u16> out = {9};
  EXPECT_EQ(nullptr, cstring_to_utf16_crlf(out, nullptr));
  EXPECT_TRUE(out.empty());
  // A std::string keeps the bytes after an embedded NUL.
  string_to_utf16_crlf(out, std::string("a\0b", 3));
  EXPECT_EQ(std::vector<u16>({'a', 0, 'b', 0}), out);

  struct wide_row {
    const char* name;
    std::wstring text;
    std::vector<u16> units;
  };
  const std::vector<wide_row> wide_rows = {
      {"line end", L"a\nb", {'a', 0x0D, 0x0A, 'b'}},
      {"low 16 bits only", wide({0x1F600, 0xE9}), {0xF600, 0xE9}},
      {"empty", L"", {}},
  };
  for (const wide_row& r : wide_rows) {
    SCOPED_TRACE(r.name);
    expect_units(r.units, [&r](std::vector<u16>& units) { return wcstring_to_utf16_crlf(units, r.text.c_str()); });
    expect_units(r.units, [&r](std::vector<u16>& units) { return wstring_to_utf16_crlf(units, r.text); });
  }
  out = {9};
  EXPECT_EQ(nullptr, wcstring_to_utf16_crlf(out, nullptr));
  EXPECT_TRUE(out.empty());
}

TEST(WindowsText, FormattedText) {
  std::vector<u16> out = {9};
  const std::string forty(40, 'x');
  ASSERT_NE(nullptr, format_to_utf16(out, "%s", forty.c_str()));
  ASSERT_EQ(41u, out.size());
  EXPECT_EQ(0, out.back());

  // Longer than the first formatting buffer, with a line end.
  const std::string long_text(100, 'y');
  format_to_utf16(out, "%d:%s\n", 7, long_text.c_str());
  std::vector<u16> expected = {'7', ':'};
  expected.insert(expected.end(), 100, 'y');
  expected.insert(expected.end(), {0x0D, 0x0A, 0});
  EXPECT_EQ(expected, out);

  EXPECT_EQ(nullptr, format_to_utf16(out, nullptr));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(nullptr, format_to_utf16(out, "%s", ""));
  EXPECT_TRUE(out.empty());
}

TEST(WindowsText, TrailingZerosAndEscapes) {
  struct zero_row {
    std::vector<u16> units;
    std::vector<u16> expected;
  };
  const std::vector<zero_row> zero_rows = {
      {{'a', 0, 0}, {'a'}}, {{0, 0}, {}}, {{}, {}}, {{0, 'a'}, {0, 'a'}}};
  for (zero_row r : zero_rows) {
    EXPECT_TRUE(drop_trailing_zero_units(r.units));
    EXPECT_EQ(r.expected, r.units);
  }

  std::vector<u16> units = {'a', '"', '\\', 'b', '"'};
  EXPECT_EQ(3, escape_utf16_units(units, L"\"\\"));
  EXPECT_EQ(std::vector<u16>({'a', '\\', '"', '\\', '\\', 'b', '\\', '"'}), units);
  units = {'a', 'b'};
  EXPECT_EQ(0, escape_utf16_units(units, L""));
  EXPECT_EQ(std::vector<u16>({'a', 'b'}), units);
}

struct buffer_case {
  const char* name;
  std::vector<u16> units;
  int length;
  std::wstring expected;
  int bytes_read;
};

TEST(Utf16Buffers, ReadUpToTheTerminatorOrTheLimit) {
  std::vector<u16> long_text(600, 'z');
  long_text.push_back(0);
  const std::vector<buffer_case> cases = {
      {"terminated", {'a', 'b', 0, 'c'}, -1, L"ab", 4},
      {"limit before terminator", {'a', 'b', 0}, 2, L"a", 2},
      {"odd length", {'a', 'b', 'c'}, 5, L"ab", 4},
      {"unterminated, exact length", {'a', 'b'}, 4, L"ab", 4},
      {"pair", {0xD83D, 0xDE00, 0}, -1, wide({0x1F600}), 4},
      {"lone high falls back to units", {0xD83D, 'a', 0}, -1, wide({0xD83D, 'a'}), 4},
      {"lone low kept", {0xDC00, 0}, -1, wide({0xDC00}), 2},
      {"empty text", {0, 'a'}, -1, L"", 0},
      {"length 0", {'a'}, 0, L"", 0},
      {"negative length other than -1", {'a', 0}, -4, L"", 0},
      {"500 units at most", long_text, -1, std::wstring(500, L'z'), 1000},
  };
  for (const buffer_case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<u16[]> buffer = exact_units(c.units);
    std::wstring out = L"old";
    EXPECT_EQ(c.bytes_read, utf16_buffer_to_wide(buffer.get(), out, c.length));
    EXPECT_EQ(c.expected, out);

    std::string utf8 = "old";
    u32 bytes_read = 99;
    utf16_buffer_to_utf8_counted(buffer.get(), utf8, bytes_read, c.length);
    EXPECT_EQ(static_cast<u32>(c.bytes_read), bytes_read);
    EXPECT_EQ(wstring_to_utf8(c.expected), utf8);
  }
  std::wstring out = L"old";
  EXPECT_EQ(0, utf16_buffer_to_wide(nullptr, out, -1));
  EXPECT_EQ(L"", out);
}

TEST(Utf16Buffers, LittleEndianBytesAndTheTerminatorCount) {
  // "ab" and a terminator, placed at an odd address.
  const std::string storage = bytes({0x00, 'a', 0x00, 'b', 0x00, 0x00, 0x00});
  const char* text = storage.data() + 1;
  struct row {
    int length;
    bool count_terminator;
    int result;
  };
  const std::vector<row> rows = {{6, true, 6}, {4, true, 4}, {6, false, 4}, {-1, true, 4}, {8, true, 6}};
  for (const row& r : rows) {
    std::string out = "old";
    EXPECT_EQ(r.result, utf16le_to_utf8(text, out, r.length, r.count_terminator)) << r.length;
    EXPECT_EQ("ab", out) << r.length;
  }
  std::string out = "old";
  EXPECT_EQ(0, utf16le_to_utf8(storage.data() + 5, out, 6, true));
  EXPECT_EQ("", out);

  const std::string e_acute = bytes({0xE9, 0x00, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0x00});
  EXPECT_EQ(bytes({0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80}), utf16le_cstring_to_utf8(e_acute.data()));
  out = "old";
  EXPECT_EQ(&out, &utf16le_cstring_to_utf8_into(e_acute.data() + 6, out));
  EXPECT_EQ("", out);
}

struct multi_case {
  const char* name;
  std::vector<u16> units;
  std::vector<std::wstring> expected;
};

TEST(Utf16Buffers, MultiStringBlocks) {
  const std::vector<multi_case> cases = {
      {"two strings", {'a', 0, 'b', 0}, {L"a", L"b"}},
      {"empty strings left out", {0, 'a', 0, 0, 'b', 'c', 0, 0}, {L"a", L"bc"}},
      {"last string unterminated", {'a', 0, 'b'}, {L"a", L"b"}},
      {"pair decoded", {0xD83D, 0xDE00, 0}, {wide({0x1F600})}},
      // A string with an unpaired high surrogate is left out while another string decodes; when
      // none does, every string is kept, widened unit by unit.
      {"undecodable string left out", {'a', 0, 0xD83D, 'x', 0, 'b', 0}, {L"a", L"b"}},
      {"high surrogate at a string's end left out", {'a', 0xD800, 0, 'b'}, {L"b"}},
      {"only undecodable strings", {0xD83D, 0, 0, 0xDBFF, 'y', 0}, {wide({0xD83D}), wide({0xDBFF, 'y'})}},
      {"only zeros", {0, 0}, {}},
  };
  for (const multi_case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<u16[]> buffer = exact_units(c.units);
    std::vector<std::wstring> out = {L"old"};
    EXPECT_EQ(static_cast<int>(c.units.size() * 2),
              utf16_multi_string_to_wide(buffer.get(), out, static_cast<int>(c.units.size() * 2)));
    EXPECT_EQ(c.expected, out);
  }
  std::vector<std::wstring> out = {L"old"};
  const u16 units[] = {'a', 'b', 0};
  EXPECT_EQ(2, utf16_multi_string_to_wide(units, out, 3));
  EXPECT_EQ(std::vector<std::wstring>({L"a"}), out);
  EXPECT_EQ(0, utf16_multi_string_to_wide(nullptr, out, 4));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(0, utf16_multi_string_to_wide(units, out, 0));
  EXPECT_EQ(0, utf16_multi_string_to_wide(units, out, -1));
}

TEST(StringLists, AllFourFormsConvertInOrder) {
  const std::vector<std::string> narrow = {"a", "", bytes({0xC3, 0xA9}), bytes({'x', 0xFF})};
  const std::vector<std::wstring> expected_wide = {L"a", L"", L"\xE9", L""};
  std::vector<std::wstring> wide_out = {L"old"};
  utf8_vector_to_wide(wide_out, narrow);
  EXPECT_EQ(expected_wide, wide_out);
  wide_out = {L"old"};
  utf8_list_to_wide(narrow, wide_out);
  EXPECT_EQ(expected_wide, wide_out);

  const std::vector<std::wstring> wide_in = {L"a", L"\xE9", L""};
  const std::vector<std::string> expected_narrow = {"a", bytes({0xC3, 0xA9}), ""};
  std::vector<std::string> narrow_out = {"old"};
  wide_vector_to_utf8(narrow_out, wide_in);
  EXPECT_EQ(expected_narrow, narrow_out);
  narrow_out = {"old"};
  wide_list_to_utf8(wide_in, narrow_out);
  EXPECT_EQ(expected_narrow, narrow_out);

  utf8_list_to_wide(std::vector<std::string>(), wide_out);
  EXPECT_TRUE(wide_out.empty());
}

TEST(WideSearch, PositionAfterTheNeedle) {
  struct row {
    const char* name;
    std::wstring text;
    u64 from;
    const wchar_t* needle;
    bool found;
    u64 position;
  };
  const std::vector<row> rows = {
      {"middle", L"abcabc", 0, L"bc", true, 3},
      {"from skips the first", L"abcabc", 2, L"bc", true, 6},
      {"needle at the very end", L"xyz", 0, L"yz", true, 3},
      {"absent", L"abc", 0, L"q", false, std::wstring::npos},
      {"null needle", L"abc", 0, nullptr, false, std::wstring::npos},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    u64 position = 77;
    EXPECT_EQ(r.found, find_position_after_wide(position, r.text, r.from, r.needle));
    if (r.found) {
      EXPECT_EQ(r.position, position);
    }
  }
}

TEST(WideSearch, ReplaceFirstIgnoringCase) {
  struct row {
    const char* name;
    std::wstring text;
    const wchar_t* what;
    const wchar_t* with;
    bool replaced;
    std::wstring result;
  };
  const std::vector<row> rows = {
      {"case ignored", L"One TWO two", L"two", L"2", true, L"One 2 two"},
      {"caller's case kept elsewhere", L"aXb", L"x", L"YY", true, L"aYYb"},
      {"absent", L"abc", L"q", L"z", false, L"abc"},
      {"null what", L"abc", nullptr, L"z", false, L"abc"},
      {"null with", L"abc", L"a", nullptr, false, L"abc"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::wstring text = r.text;
    EXPECT_EQ(r.replaced, replace_first_nocase_wcstr(text, r.what, r.with));
    EXPECT_EQ(r.result, text);
  }
}

TEST(Utf16Buffers, PathSplit) {
  const std::vector<u16> units = {'C', ':', '\\', 'd', 'i', 'r', '\\', 'f', '.', 't', 'x', 't', 0};
  std::unique_ptr<u16[]> buffer = exact_units(units);
  std::wstring dir, name;
  EXPECT_TRUE(utf16_path_split(buffer.get(), dir, name));
  EXPECT_EQ(L"C:\\dir", dir);
  EXPECT_EQ(L"f.txt", name);

  dir = L"kept";
  const u16 empty[] = {0};
  EXPECT_FALSE(utf16_path_split(empty, dir, name));
  EXPECT_EQ(L"kept", dir);
  EXPECT_FALSE(utf16_path_split(nullptr, dir, name));
}

struct tag_case {
  const char* name;
  std::wstring text;
  const wchar_t* tag;
  std::wstring kept;
};

TEST(WideTagSections, SectionsAreCutInPlace) {
  const std::vector<tag_case> cases = {
      {"one section", L"x<script>alert()</script>y", L"script", L"xy"},
      {"case ignored", L"ab<SCRIPT>1</Script>cdefghijkl", L"script", L"abcdefghijkl"},
      {"two sections", L"1<b>x</b>2<b>y</b>3456", L"b", L"123456"},
      {"tag name prefix opens", L"1<br>x</b>23456", L"b", L"123456"},
      {"nothing to cut", L"plain text here", L"script", L"plain text here"},
      // The last characters, fewer than the closing text, are kept even inside a section.
      {"unclosed section", L"x<script>abcdefghijkl", L"script", L"xefghijkl"},
      {"shorter than the closing text", L"<scri", L"script", L"<scri"},
  };
  for (const tag_case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<wchar_t[]> buffer(new wchar_t[c.text.size()]);
    std::wmemcpy(buffer.get(), c.text.data(), c.text.size());
    u32 length = static_cast<u32>(c.text.size() * 4);
    EXPECT_TRUE(remove_tagged_sections_wide(buffer.get(), length, c.tag));
    ASSERT_EQ(c.kept.size() * 4, length);
    EXPECT_EQ(c.kept, std::wstring(buffer.get(), c.kept.size()));
    // What follows the kept text is left as it was.
    EXPECT_EQ(c.text.substr(c.kept.size()), std::wstring(buffer.get() + c.kept.size(), c.text.size() - c.kept.size()));

    // The same cut over 16-bit units.
    std::vector<u16> units(c.text.begin(), c.text.end());
    u32 bytes = static_cast<u32>(units.size() * 2);
    EXPECT_TRUE(remove_tagged_sections_utf16(units.data(), bytes, c.tag));
    ASSERT_EQ(c.kept.size() * 2, bytes);
    EXPECT_EQ(std::vector<u16>(c.kept.begin(), c.kept.end()),
              std::vector<u16>(units.begin(), units.begin() + long(c.kept.size())));
  }
  std::vector<u16> odd = {'<', 'b', '>', 0x4e2d, '<', '/', 'b', '>', 'x', 'y', 'z', 'w'};
  u32 bytes = 23;  // an odd byte count: the 12th unit is not whole
  EXPECT_TRUE(remove_tagged_sections_utf16(odd.data(), bytes, L"b"));
  EXPECT_EQ(bytes, 6u);
  EXPECT_FALSE(remove_tagged_sections_utf16(nullptr, bytes, L"b"));
}

TEST(WideTagSections, WholeBufferCutAndRefusedInputs) {
  std::wstring text = L"<b>123</b>";
  u32 length = static_cast<u32>(text.size() * 4);
  EXPECT_TRUE(remove_tagged_sections_wide(text.data(), length, L"b"));
  EXPECT_EQ(0u, length);
  EXPECT_EQ(L"<b>123</b>", text);

  length = 0;
  EXPECT_FALSE(remove_tagged_sections_wide(text.data(), length, L"b"));
  length = 8;
  EXPECT_FALSE(remove_tagged_sections_wide(nullptr, length, L"b"));
  EXPECT_FALSE(remove_tagged_sections_wide(text.data(), length, nullptr));
  EXPECT_EQ(8u, length);
}

}  // namespace
