#include "tool/csv_quoted_rows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(QuotedRows, QuotesOpenOnlyAtTheStartOfAField) {
  struct scan_case {
    const char* row;
    bool open;
  };
  const scan_case cases[] = {
      {"1,\"two", true},
      {"1,\"two\",3", false},
      {"1,  \"two", true},             // blanks before the quote
      {"4,5\" disk,6", false},         // a quote inside a field is text
      {"4,5\" disk", false},
      {"1,\"a \"\"b\"\" c", true},     // doubled quotes stay inside
      {"1,\"a \"\"b\"\"\"", false},
      {"1,\"a\"b,\"c", true},          // text after a closing quote, then a new quoted field
      {"\"", true},
      {"\"\"", false},
      {"", false},
  };
  for (const scan_case& c : cases) {
    SCOPED_TRACE(c.row);
    EXPECT_EQ(scan_quotes(c.row, ',').in_quotes, c.open);
  }
  // A line of the cell: the state goes on from the line before.
  EXPECT_TRUE(scan_quotes("more, text", ',', {true, false}).in_quotes);
  EXPECT_FALSE(scan_quotes("end\",3", ',', {true, false}).in_quotes);
  EXPECT_TRUE(scan_quotes("end\",\"again", ',', {true, false}).in_quotes);
}

TEST(QuotedRows, BareCellsAreCutByTheQuoteRule) {
  struct cell_case {
    const char* row;
    char separator;
    size_t index;
    const char* cell;
  };
  const cell_case cases[] = {
      {"id,user", ',', 0, "id"},
      {" \"id\" ,user", ',', 0, "id"},
      {"\t\t\tid,user", ',', 0, "id"},
      {"\"Name, Full\",Age", ',', 0, "Name, Full"},
      {"\"Name, Full\",Age", ',', 1, "Age"},
      {",host,user", ',', 0, ""},
      {",host,user", ',', 1, "host"},
      {"a\tb", '\t', 1, "b"},
      {"a,b", ',', 2, ""},
      {"whole line", 0, 0, "whole line"},
  };
  for (const cell_case& c : cases) {
    SCOPED_TRACE(c.row);
    EXPECT_EQ(bare_cell(c.row, c.separator, c.index), c.cell);
  }
}

TEST(QuotedRows, JoinerHoldsWithinItsBounds) {
  quoted_row_joiner joiner;
  EXPECT_FALSE(joiner.start("1,2,3", "\n", ','));
  EXPECT_FALSE(joiner.active());

  // The lines as they stand, each with its own line end.
  ASSERT_TRUE(joiner.start("1,\"a", " \r\n", ','));
  EXPECT_EQ(joiner.add("\n"), quoted_row_joiner::step::held);
  EXPECT_EQ(joiner.add("b\",3\r\n"), quoted_row_joiner::step::joined);
  EXPECT_EQ(joiner.row(), "1,\"a \r\n\nb\",3\r\n");
  EXPECT_EQ(joiner.lines(), (std::vector<std::string>{"1,\"a \r\n", "\n", "b\",3\r\n"}));
  EXPECT_FALSE(joiner.active());

  // 64 lines at most: the 65th gives up, handing back the 64 held.
  ASSERT_TRUE(joiner.start("1,\"a", "\n", ','));
  for (size_t i = 1; i < quoted_row_joiner::max_lines; ++i) {
    ASSERT_EQ(joiner.add("x\n"), quoted_row_joiner::step::held) << i;
  }
  EXPECT_EQ(joiner.add("b\"\n"), quoted_row_joiner::step::given_up);
  EXPECT_EQ(joiner.lines().size(), quoted_row_joiner::max_lines);
  EXPECT_FALSE(joiner.active());

  // 1 MiB at most, line ends included.
  const std::string half(quoted_row_joiner::max_bytes / 2, 'x');
  ASSERT_TRUE(joiner.start("1,\"" + half, "\n", ','));
  EXPECT_EQ(joiner.add(half), quoted_row_joiner::step::given_up);
  EXPECT_EQ(joiner.lines().size(), 1u);
  ASSERT_TRUE(joiner.start("1,\"" + half.substr(4), "\n", ','));
  EXPECT_EQ(joiner.add(half), quoted_row_joiner::step::held);
  joiner.clear();
  EXPECT_FALSE(joiner.active());
}

}  // namespace
