#include "framework/text/qz_text_layout.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "framework/text/uni_unicode.h"
#include "tests/text/reference_tool.h"

namespace {

TEST(WritePadding, BlanksAndFill) {
  std::ostringstream out;
  out.fill('*');
  write_padding(out, 0);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(out.fill(), ' ');
  write_padding(out, 3);
  out << std::setw(2) << "x";
  EXPECT_EQ(out.str(), "    x");
  EXPECT_EQ(dash_line(4), "----");
  EXPECT_EQ(dash_line(0), "");
}

TEST(LayoutColumns, LineOffsetsWidthsAndNames) {
  struct Case {
    const char* name;
    std::vector<std::string> cells;
    std::string separator;
    std::vector<u32> widths_in;
    bool newline;
    std::string line;
    std::vector<u32> offsets, widths;
  };
  const Case cases[] = {
      {"own widths", {"a", "bbb"}, "|", {}, true, "a|bbb   \n", {0, 2, 6}, {1, 3}},
      {"minimum widths", {"a", "bbb"}, "|", {4, 1}, true, "a   |bbb   \n", {0, 5, 9}, {4, 3}},
      {"widths of another length ignored",
       {"a", "bbb"},
       " | ",
       {9},
       false,
       "a | bbb   ",
       {0, 4, 10},
       {1, 3}},
      {"long separator keeps its tail",
       {"a", "b"},
       "<-->",
       {},
       false,
       "a<-->b   >",
       {0, 5, 10},
       {1, 1}},
      {"line end after a long separator's tail",
       {"a", "bbb"},
       "12345",
       {},
       true,
       "a12345bbb   45\n",
       {0, 6, 14},
       {1, 3}},
      {"empty separator", {"a", "b"}, "", {}, true, "ab   \n", {0, 1, 2}, {1, 1}},
  };
  for (const auto& c : cases) {
    std::ostringstream out;
    std::vector<u32> offsets = {42}, widths = c.widths_in;
    std::map<std::string, u32> names = {{"stale", 1}};
    EXPECT_TRUE(layout_columns(out, offsets, names, widths, c.cells, c.separator, c.newline))
        << c.name;
    EXPECT_EQ(out.str(), c.line) << c.name;
    EXPECT_EQ(offsets, c.offsets) << c.name;
    EXPECT_EQ(widths, c.widths) << c.name;
    EXPECT_EQ(names.count("stale"), 0u) << c.name;
  }
  std::ostringstream out;
  std::vector<u32> offsets, widths;
  std::map<std::string, u32> names;
  EXPECT_TRUE(layout_columns(out, offsets, names, widths, {"Name", "name  ", "X"}, ",", false));
  EXPECT_EQ(names, (std::map<std::string, u32>{{"name", 6}, {"x", 1}}));
  out.str("");
  EXPECT_FALSE(layout_columns(out, offsets, names, widths, {}, ",", true));
  EXPECT_EQ(out.str(), "");
  EXPECT_TRUE(offsets.empty());
}

TEST(LayoutColumnsWide, Utf8OutputWideWidths) {
  std::ostringstream out;
  std::vector<u32> offsets, widths;
  std::map<std::wstring, u32> names;
  EXPECT_TRUE(layout_columns_wide(out, offsets, names, widths, {L"a", L"b"}, L"|"));
  EXPECT_EQ(out.str(), "a|b\n");
  EXPECT_EQ(offsets, (std::vector<u32>{0, 2, 4}));

  out.str("");
  widths = {3, 1};
  EXPECT_TRUE(
      layout_columns_wide(out, offsets, names, widths, {L"\u00c9", L" \u00c9T "}, L"\u2502"));
  // Widths count wide characters; the separator counts its three UTF-8 bytes.
  EXPECT_EQ(widths, (std::vector<u32>{3, 4}));
  EXPECT_EQ(offsets, (std::vector<u32>{0, 6, 13}));
  EXPECT_EQ(out.str(), "\xC3\x89 \xE2\x94\x82 \xC3\x89T \n");
  EXPECT_EQ(names, (std::map<std::wstring, u32>{{L"\u00c9", 3}, {L"\u00c9t", 4}}));
  EXPECT_FALSE(layout_columns_wide(out, offsets, names, widths, {}, L"|"));
}

std::string expand(const std::string& text, u32 width, bool check_utf16 = false) {
  std::string out = "untouched";
  if (!expand_tabs(text.data(), u32(text.size()), width, out, check_utf16)) return "false:" + out;
  return out;
}

TEST(ExpandTabs, BlanksToNextStopPerLine) {
  struct Case {
    std::string in;
    u32 width;
    std::string out;
  };
  const Case cases[] = {
      {"a\tb", 4, "a   b"},
      {"\tx", 4, "    x"},
      {"abcd\te", 4, "abcd    e"},
      {"\t\tx", 4, "        x"},
      {"a\tb\r\n\tc", 4, "a   b\r\n    c"},
      {"a\tb\nxy\tc", 0, "a   b\nxy  c"},
      {"ab\rc\td", 8, "ab\rc       d"},
      // With CR LF present a lone LF does not start a line.
      {"a\r\nb\nc\td", 4, "a\r\nb\nc d"},
      {"a\tb\tc\t", 3, "a  b  c  "},
      {"no tab", 4, "false:untouched"},
      {"", 4, "false:untouched"},
  };
  for (const auto& c : cases) EXPECT_EQ(expand(c.in, c.width), c.out) << c.in;
}

std::string utf16(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += char(unit & 0xff);
    bytes += char(unit >> 8);
  }
  return bytes;
}

TEST(ExpandTabs, Utf16UnitsAndDetection) {
  // The UTF-16 path appends to what out held.
  EXPECT_EQ(expand(utf16(u"a\tb\r\n\t\u00e9"), 4, true),
            "untouched" + utf16(u"a   b\r\n    \u00e9"));
  EXPECT_EQ(expand(utf16(u"no tab"), 4, true), "false:untouched");
  // Without the check the bytes are narrow text: 09 is a TAB, the 00 after it counts a column.
  EXPECT_EQ(expand(utf16(u"\tb"), 4, false), std::string("    \0b\0", 7));
  std::string out = "kept";
  const std::string odd = utf16(u"\tx") + "Z";
  EXPECT_TRUE(expand_tabs_utf16(odd.data(), u32(odd.size()), 2, out));
  EXPECT_EQ(out, "kept" + utf16(u"  x") + "Z");
  // A unit 0x0900 followed by one ending in 00 holds the bytes 09 00 but no TAB unit.
  const std::string no_tab = utf16(u"\u0900\u4100");
  EXPECT_FALSE(expand_tabs_utf16(no_tab.data(), u32(no_tab.size()), 4, out));
  EXPECT_FALSE(expand_tabs_utf16(nullptr, 4, 4, out));
}

// Python's expandtabs resets the column at CR and at LF alike, which agrees with ours on texts
// that use one kind of line end; the first byte of each input is the tab width.
TEST(ExpandTabs, AgreesWithPythonExpandtabs) {
  if (!reference_tool_present("python3")) GTEST_SKIP() << "python3 not found";
  const std::wstring texts[] = {
      L"a\tb",
      L"\t\tx",
      L"abcd\te\n\tf\n",
      L"x\ty\r\n12345\tz\r\n\t",
      L"r\tq\rs\tt",
      L"\u00e9\t\u4e2d\t.",
      L"no line end\twith\ttabs\t",
  };
  const u8 widths[] = {1, 3, 4, 8};
  std::vector<std::string> narrow_inputs, wide_inputs;
  for (const auto& text : texts) {
    for (u8 width : widths) {
      narrow_inputs.push_back(char(width) + wstring_to_utf8(text));
      wide_inputs.push_back(char(width) + utf16(std::u16string(text.begin(), text.end())));
    }
  }
  std::vector<std::string> narrow_expected, wide_expected;
  ASSERT_TRUE(run_python_per_input("", "data[1:].expandtabs(data[0])", narrow_inputs,
                                   narrow_expected));
  ASSERT_TRUE(run_python_per_input(
      "", "data[1:].decode(\"utf-16-le\").expandtabs(data[0]).encode(\"utf-16-le\")",
      wide_inputs, wide_expected));
  for (size_t i = 0; i < narrow_inputs.size(); ++i) {
    const std::string narrow = narrow_inputs[i].substr(1), wide = wide_inputs[i].substr(1);
    const u32 width = u8(narrow_inputs[i][0]);
    SCOPED_TRACE(narrow + " width " + std::to_string(width));
    std::string out = "old";
    EXPECT_TRUE(expand_tabs(narrow.data(), u32(narrow.size()), width, out, true));
    EXPECT_EQ(out, narrow_expected[i]);
    out = "old";
    EXPECT_TRUE(expand_tabs(wide.data(), u32(wide.size()), width, out, true));
    EXPECT_EQ(out, "old" + wide_expected[i]);
  }
}

}  // namespace
