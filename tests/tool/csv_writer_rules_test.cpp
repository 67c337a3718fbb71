#include "tool/csv_writer_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// The writers' bits the cases below give their tags.
constexpr u32 html_title_line = tag_line_bit(tag_line_title, tag_writer_html);
constexpr u32 html_column_line = tag_line_bit(tag_line_extra_column, tag_writer_html);
constexpr u32 json_title_line = tag_line_bit(tag_line_title, tag_writer_json);
constexpr u32 sqlite_title_line = tag_line_bit(tag_line_title, tag_writer_sqlite);
constexpr u32 sqlite_column_line = tag_line_bit(tag_line_extra_column, tag_writer_sqlite);
constexpr u32 html_title_column = tag_column_bit(tag_column_title, tag_writer_html);
constexpr u32 html_nested_column = tag_column_bit(tag_column_nested, tag_writer_html);
constexpr u32 json_title_column = tag_column_bit(tag_column_title, tag_writer_json);
constexpr u32 unused_column_bit = 1u << 3;  // no writer's bit

TEST(CsvWriterRules, BannerValuesTitleAndExtendTheNextGroup) {
  quazel_tool_metadata ctx;
  const tag_instr title("Artifact:", html_title_line, 0);
  const tag_instr column("Registry key:", html_column_line, 0);
  const tag_instr other("Hive:", json_title_line, 0);
  EXPECT_EQ(store_banner_value("Artifact:  Run keys \t", title, ctx, html_title_line, html_column_line), 1);
  EXPECT_EQ(store_banner_value("Artifact: later", title, ctx, html_title_line, html_column_line), 1);
  EXPECT_EQ(store_banner_value("Registry key: Software\\Run", column, ctx, html_title_line, html_column_line), 1);
  EXPECT_EQ(store_banner_value("Hive: C:\\x", other, ctx, html_title_line, html_column_line), 0)
      << "another writer's bit";
  EXPECT_EQ(store_banner_value("Artifact:", title, ctx, sqlite_title_line, sqlite_column_line), 0);
  EXPECT_EQ(ctx.title_fields, (std::map<std::string, std::string>{{"Artifact:", "Run keys"}}))
      << "the first value before a header row wins";
  EXPECT_EQ(ctx.pending_columns,
            (std::map<std::string, std::string>{{"Registry key", "Software/Run"}}));
  EXPECT_EQ(banner_value("Artifact:", title), "");
}

TEST(CsvWriterRules, GroupRuleFindsTagColumnsAndNamesExtraColumns) {
  quazel_tool_metadata ctx;
  ctx.columns = {"Event ID", "Channel", "Text"};
  ctx.tags.emplace_back("ID", 0, html_title_column);
  ctx.tags.emplace_back("Channel", 0, html_nested_column);
  ctx.tags.emplace_back("Text", 0, json_title_column);  // another writer's bit
  ctx.pending_columns = {{"file", "a.evtx"}, {"dir", "/logs"}};
  apply_group_rule(ctx, html_title_column | html_nested_column, false);
  EXPECT_EQ(ctx.tags[0].column_index, 0) << "the name contains the tag";
  EXPECT_EQ(ctx.tags[1].column_index, 1);
  EXPECT_EQ(ctx.tags[2].column_index, -1);
  EXPECT_EQ(ctx.columns, (std::vector<std::string>{"Event ID", "Channel", "Text", "dir", "file"}));
  EXPECT_TRUE(ctx.pending_columns.empty());

  // A next group without banner values of its own goes on with the extra values, so its
  // columns name them too.
  ctx.columns = {"Time", "Channel"};
  reset_column_indexes(ctx.tags);
  apply_group_rule(ctx, html_title_column | html_nested_column, true);
  EXPECT_EQ(ctx.tags[0].column_index, -1) << "the whole name must match";
  EXPECT_EQ(ctx.tags[1].column_index, 1);
  EXPECT_EQ(ctx.columns, (std::vector<std::string>{"Time", "Channel", "dir", "file"}));
  EXPECT_EQ(ctx.extra_columns.size(), 2u);

  ctx.is_bodyfile = 1;
  ctx.first_column_name = "md5";
  ctx.columns = {"md5", "name"};
  apply_group_rule(ctx, html_title_column, false);
  EXPECT_EQ(ctx.first_column_name, "");
  EXPECT_EQ(ctx.columns, (std::vector<std::string>{"md5", "name"}));
}

TEST(CsvWriterRules, GroupTitlesInBothStylesAndUntitledGroups) {
  quazel_tool_metadata ctx;
  ctx.tags.emplace_back("Name", 0, html_title_column);
  ctx.tags.emplace_back("Parts", 0, html_nested_column);
  ctx.tags.emplace_back("Far", 0, html_title_column);
  ctx.tags.emplace_back("Kind", 0, html_title_column);
  ctx.tags[0].column_index = 1;
  ctx.tags[1].column_index = 2;
  ctx.tags[2].column_index = 7;  // beyond the row
  ctx.tags[3].column_index = 0;
  const std::vector<std::string> cells = {"1", "a<b", "!*<x>"};
  group_title_style bracketed = heading_title_style;
  bracketed.escape = [](const std::string& s) { return "[" + s + "]"; };
  struct title_case {
    const char* base;
    const group_title_style* style;
    const char* expected;
  };
  const title_case cases[] = {
      {"", &heading_title_style, "Name->a<b - Kind->1"},
      {"Run", &heading_title_style, "Run - Name->a<b - Kind->1"},
      {"Run & keys", &bracketed, "[Run & keys] - [Name]->[a<b] - [Kind]->[1]"},
      {"", &name_title_style, ".Name-a<b.Kind-1"},
      {"tool.csvl2t", &name_title_style, "tool.csvl2t.Name-a<b.Kind-1"},
  };
  for (const title_case& c : cases) {
    ctx.title_text.str(c.base);
    EXPECT_EQ(group_title(ctx, cells, html_title_column, *c.style, "Table-"), c.expected) << c.base;
  }
  // Without a title text or title column the group takes the next number, for every source.
  ctx.title_text.str("");
  ctx.group_counter = 7;
  EXPECT_EQ(group_title(ctx, cells, unused_column_bit, name_title_style, "Group-"), "Group-7");
  EXPECT_EQ(group_title(ctx, {}, html_title_column, heading_title_style, "Table-"), "Table-8");
  EXPECT_EQ(ctx.group_counter, 9u);

  EXPECT_FALSE(is_nested_column(ctx, 2));
  mark_nested_columns(ctx, {"1"}, html_nested_column);  // the nested column lies beyond this row
  EXPECT_FALSE(is_nested_column(ctx, 2));
  mark_nested_columns(ctx, cells, html_nested_column);
  EXPECT_TRUE(is_nested_column(ctx, 2));
  EXPECT_FALSE(is_nested_column(ctx, 1));

  ctx.title_fields = {{"b:", "two"}, {"a:", "one"}};
  EXPECT_EQ(title_field_text(ctx), "one - two");
}

TEST(CsvWriterRules, HeadIsBegunOncePerSourceAndDropsBannerColumns) {
  struct head_case {
    u8 banner;
    u8 bodyfile;
    bool columns_kept;
  };
  const head_case cases[] = {{1, 0, false}, {1, 1, true}, {0, 0, true}, {0, 1, true}};
  for (const head_case& c : cases) {
    quazel_tool_metadata ctx;
    ctx.banner_found = c.banner;
    ctx.is_bodyfile = c.bodyfile;
    ctx.columns = {"a", "b"};
    EXPECT_TRUE(begin_writer_head(ctx));
    EXPECT_EQ(ctx.head_pending, 0);
    EXPECT_EQ(ctx.columns.size(), c.columns_kept ? 2u : 0u) << int(c.banner) << int(c.bodyfile);
    // The second chunk of the source finds the head made and changes nothing.
    ctx.columns = {"c"};
    EXPECT_FALSE(begin_writer_head(ctx));
    EXPECT_EQ(ctx.columns.size(), 1u);
  }
}

TEST(CsvWriterRules, SurplusFieldsGoIntoOneLastCell) {
  struct merge_case {
    const char* name;
    std::vector<std::string> columns;
    std::map<std::string, std::string> extras;
    std::string separator;
    u8 to_sqlite;
    std::vector<std::string> row;
    bool merged;
    std::vector<std::string> expected;
  };
  const merge_case cases[] = {
      {"surplus before the extra value", {"a", "b", "c", "file"}, {{"file", "x"}}, ",", 0,
       {"1", "2", "3", "4", "5", "x"}, true, {"1", "2", "3", "x", "4,5"}},
      {"no surplus", {"a", "b", "c", "file"}, {{"file", "x"}}, ",", 0,
       {"1", "2", "3", "x"}, false, {"1", "2", "3", "x"}},
      {"without extras", {"a", "b"}, {}, "|", 0, {"1", "2", "3", "", "4"}, true,
       {"1", "2", "3||4"}},
      {"the SQLite overflow column is not counted", {"a", "b", "overflow"}, {}, ",", 1,
       {"1", "2", "3"}, true, {"1", "2", "3"}},
      {"SQLite row without surplus", {"a", "b", "overflow"}, {}, ",", 1, {"1", "2"}, false,
       {"1", "2"}},
  };
  for (const merge_case& c : cases) {
    SCOPED_TRACE(c.name);
    quazel_tool_metadata ctx;
    ctx.columns = c.columns;
    ctx.extra_columns = c.extras;
    ctx.separator = c.separator;
    std::vector<std::string> row = c.row;
    EXPECT_EQ(merge_surplus_fields(row, ctx, c.to_sqlite != 0), c.merged);
    EXPECT_EQ(row, c.expected);
  }
}

TEST(CsvWriterRules, NestedCells) {
  using rows_t = std::vector<std::vector<std::string>>;
  struct nested_case {
    const char* name;
    std::string cell;
    bool found;
    std::vector<std::string> header;
    rows_t rows;
  };
  const nested_case cases[] = {
      {"names and two rows", "!*<[name;size]><a.txt;10><b.txt;20>", true, {"name", "size"},
       {{"a.txt", "10"}, {"b.txt", "20"}}},
      {"not a nested cell", "x!*<a;b>", false, {}, {}},
      {"shorter than the prefix", "!*", false, {}, {}},
      {"names only", "!*<[a;b]>", false, {"a", "b"}, {}},
      {"a later header replaces the first", "!*<[a]><1><[b;c]><2;3>", true, {"b", "c"},
       {{"1"}, {"2", "3"}}},
      {"empty groups add nothing", "!*<><[]><x>", true, {}, {{"x"}}},
      {"values trimmed, empty ones kept", "!*< a ;; b >", true, {}, {{"a", "", "b"}}},
      {"blanks between groups", "!*<a> <b>", true, {}, {{"a"}, {"b"}}},
      {"a last group without its end keeps its values", "!*<[n;s]><a;1><b;2", true,
       {"n", "s"}, {{"a", "1"}, {"b", "2"}}},
      {"names without their closing bracket", "!*<[n;s><a;1>", true, {"n", "s"}, {{"a", "1"}}},
      {"an open bracket alone", "!*<[>", false, {}, {}},
      {"text between groups", "!*<a;1>lost<b;2>", false, {}, {}},
      {"text after the last group", "!*<a;1>tail", false, {}, {}},
  };
  for (const nested_case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> header = {"stale"};
    // More rows than any cell here holds, as a longer cell before would leave.
    rows_t rows = {{"stale"}, {"from", "a", "longer", "cell"}, {"x", "y"}, {"z"}};
    EXPECT_EQ(parse_tagged_groups(header, rows, c.cell, "!*<", ';'), c.found);
    EXPECT_EQ(header, c.header);
    EXPECT_EQ(rows, c.rows);
  }
}

}  // namespace
