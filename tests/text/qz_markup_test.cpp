#include "framework/text/qz_markup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ExtractElement, CutsFirstElementOrLeavesTextAlone) {
  struct Case {
    const char* name;
    std::string text, tag;
    bool ok;
    std::string element, rest;
  };
  const Case cases[] = {
      {"plain", "x<b>1</b>y", "b", true, "<b>1</b>", "xy"},
      {"prefix tag matches longer name", "x<br>1</b>", "b", true, "<br>1</b>", "x"},
      {"no closing tag", "x<b>1", "b", false, "", "x<b>1"},
      {"closing before opening only", "</b><b>", "b", false, "", "</b><b>"},
      {"empty tag", "x<b>1</b>", "", false, "", "x<b>1</b>"},
      {"first of two", "<i>a</i><i>b</i>", "i", true, "<i>a</i>", "<i>b</i>"},
  };
  for (const auto& c : cases) {
    std::string element = "stale", text = c.text;
    EXPECT_EQ(extract_element(element, text, c.tag), c.ok) << c.name;
    EXPECT_EQ(element, c.element) << c.name;
    EXPECT_EQ(text, c.rest) << c.name;
  }
  std::wstring element, text = L"x<b>\u00e91</b>y";
  EXPECT_TRUE(extract_element_wide(element, text, L"b"));
  EXPECT_EQ(element, L"<b>\u00e91</b>");
  EXPECT_EQ(text, L"xy");
}

TEST(Parentheses, RemoveAndInside) {
  struct Case {
    const char* in;
    bool removed;
    const char* without;
    bool inside_ok;
    const char* inside;
  };
  const Case cases[] = {
      {"name (1) (2)", true, "name  ", true, "1) (2"},
      {"plain", false, "", false, ""},
      {"a(b", false, "a(b", false, ""},
      {"a(b(c)d)e", true, "ad)e", true, "b(c)d"},
      {"f(a(b)c)", true, "fc)", true, "a(b)c"},
      {"f()", true, "f", false, ""},
      {")x(", false, ")x(", false, ""},
      {"", false, "", false, ""},
  };
  for (const auto& c : cases) {
    std::string out = "stale";
    EXPECT_EQ(remove_parenthesized(c.in, out), c.removed) << c.in;
    EXPECT_EQ(out, c.without) << c.in;
    EXPECT_EQ(text_in_parentheses(c.in, out), c.inside_ok) << c.in;
    EXPECT_EQ(out, c.inside) << c.in;
  }
}

TEST(TextBetweenMarkers, FindsValueOptionallyAfterMarker) {
  std::string out;
  EXPECT_TRUE(text_between_markers("key=[value]", nullptr, "[", "]", out));
  EXPECT_EQ(out, "value");
  EXPECT_TRUE(text_between_markers("a<!--note-->b", nullptr, "<!--", "-->", out));
  EXPECT_EQ(out, "note");
  EXPECT_TRUE(text_between_markers("[a] k=[b]", "k=", "[", "]", out));
  EXPECT_EQ(out, "b");
  EXPECT_FALSE(text_between_markers("[a]", "k=", "[", "]", out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(text_between_markers("[a", nullptr, "[", "]", out));
  EXPECT_FALSE(text_between_markers(nullptr, nullptr, "[", "]", out));
  EXPECT_FALSE(text_between_markers("[a]", nullptr, "[", nullptr, out));
}

TEST(MeasureTextBlock, CountsLinesAndWidestLine) {
  struct Case {
    std::string text;
    u32 lines;
    i32 widest;
  };
  const Case cases[] = {{"ab\nabcd\n", 3, 4}, {"", 1, 0}, {"abc", 1, 3}, {"\n\nxyz12", 3, 5}};
  for (const auto& c : cases) {
    u32 lines = 0;
    i32 widest = -1;
    EXPECT_TRUE(measure_text_block(lines, widest, c.text));
    EXPECT_EQ(lines, c.lines) << c.text;
    EXPECT_EQ(widest, c.widest) << c.text;
  }
}

TEST(ColumnWidths, WidestCellPerColumnOverRaggedRows) {
  std::vector<u32> widths = {99};
  EXPECT_FALSE(column_widths(widths, {}));
  EXPECT_TRUE(widths.empty());
  EXPECT_TRUE(column_widths(widths, {{"a", "bbb"}, {"cccc"}, {"", "", "ee"}}));
  EXPECT_EQ(widths, (std::vector<u32>{4, 3, 2}));
  EXPECT_FALSE(column_widths(widths, {{}, {}}));
}

TEST(UpdateColumnWidths, CapsNewWidthsButKeepsWiderOnes) {
  std::vector<u32> widths = {5};
  EXPECT_TRUE(update_column_widths(widths, {"abc", std::string(40, 'x')}, 20));
  EXPECT_EQ(widths, (std::vector<u32>{5, 20}));
  widths = {25, 2};
  EXPECT_TRUE(update_column_widths(widths, {std::string(30, 'x'), "abcd"}, 20));
  EXPECT_EQ(widths, (std::vector<u32>{25, 4}));
  EXPECT_FALSE(update_column_widths(widths, {}, 20));
}

}  // namespace
