#include "tool/cleanup_writer.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/text/temp_folder.h"
#include "tool/csv_banner.h"
#include "tool/csv_driver.h"
#include "tool/quazel_tool_metadata.h"
#include "tool/tool_options.h"

namespace {

// The cleanup settings as the tool's option parser leaves them.
struct cleanup_options {
  bool no_whitespace = false;
  bool align = false;
  const char* pairs = nullptr;
  const char* new_separator = nullptr;
};

void apply_options(quazel_tool_metadata& ctx, const cleanup_options& options) {
  ctx.status_display = 0;
  ctx.cleanup = 1;
  if (options.pairs) parse_pair_fields(ctx, options.pairs);
  if (options.new_separator) {
    std::string value = options.new_separator;
    ctx.change_separator = 1;
    ctx.new_separator = value;
    ctx.set_csv_separator(value, false);
  }
  if (options.no_whitespace || options.align) ctx.trim_fields = 1;
  if (options.align) ctx.align_cols = 1;
}

// The banner of every source here; the rule line is a banner line the cleanup writer copies.
const std::string banner =
    "x - 64 ver: 1.0; (c) Quazel LLC\n"
    "License: L1 issued to the lab\n"
    "Run time: 2024-01-02 10:00:00; UTC\n"
    "cmd line: x64 -csv;\n"
    "-------------------------------------------------\n";

// The cleaned-up text of source, converted with the given settings and reader chunk size.
std::string clean(const std::string& source, const cleanup_options& options,
                  u32 chunk_bytes = uni::fileio::default_chunk_bytes) {
  temp_folder dir("cleanup_writer");
  dir.put("source.csv", source);
  quazel_tool_metadata ctx;
  apply_options(ctx, options);
  read_csv_banner(ctx, dir.file("source.csv"));
  std::ostringstream out;
  EXPECT_EQ(convert_csv_file(out, ctx, &cleanup_writer_hooks, chunk_bytes), csv_conversion::converted);
  return out.str();
}

struct clean_case {
  const char* name;
  std::string source;       // after the banner
  cleanup_options options;
  std::string expected;     // after the banner
};

void run_cases(const std::vector<clean_case>& cases) {
  for (const clean_case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(clean(banner + c.source, c.options), banner + c.expected);
  }
}

TEST(cleanup_writer, EachOptionRebuildsHeaderAndRows) {
  run_cases({
      {"blanks kept without -no_whitespace",
       " date , time ,name\n 2024-01-02 , 10:11:12 ,a\n", {},
       " date , time ,name\n 2024-01-02 , 10:11:12 ,a\n"},
      {"-no_whitespace trims names and cells",
       " date , time ,name\n 2024-01-02 , 10:11:12 , a b \n", {.no_whitespace = true},
       "date,time,name\n2024-01-02,10:11:12,a b\n"},
      {"-pair_fields 1:2",
       "date,time,name\n2024-01-02,10:11:12,a\n", {.pairs = "1:2"},
       "date time,name\n2024-01-02 10:11:12,a\n"},
      {"pairs trimmed, unpaired cells keep their blanks",
       " date , time , name \n 2024-01-02 , 10:11:12 , a \n", {.pairs = "1:2"},
       "date time, name \n2024-01-02 10:11:12, a \n"},
      {"two pairs and a reversed one",
       "a,b,c,d,e\n1,2,3,4,5\n", {.pairs = "1:2|5:3"},
       "a b,d,e c\n1 2,4,5 3\n"},
      {"an empty side adds no blank",
       "a,b,c\n,2,x\n1,,y\n,,z\n", {.pairs = "1:2"},
       "a b,c\n2,x\n1,y\n,z\n"},
      {"several pairs into one column",
       "a,b,c,d\n1,2,3,4\n", {.pairs = "1:2;1:4"},
       "a b d,c\n1 2 4,3\n"},
      {"-change_csv_separator | on a comma source",
       "date,name,n\n2024-01-02,a|b,1\n", {.new_separator = "|"},
       "date|name|n\n2024-01-02|a;b|1\n"},
      {"a separator inside a quoted cell is replaced too",
       "date,name,note\n2024-01-02,\"a,b|c\",\"say \"\"hi\"\"\"\n", {.new_separator = "|"},
       "date|name|note\n2024-01-02|\"a,b;c\"|\"say \"\"hi\"\"\"\n"},
      {"a replaced separator inside a pair",
       "a,b,c\n1|x,2|y,3\n", {.pairs = "1:2", .new_separator = "|"},
       "a b|c\n1;x 2;y|3\n"},
  });
}

TEST(cleanup_writer, OutputSeparators) {
  const std::string comma_source = "date,name,n\n2024-01-02,a\tb|c,1\n";
  const std::string bar_source = "date | name | n\n2024-01-02 | a,b | 1\n";
  struct row {
    const char* name;
    std::string source;
    const char* separator;
    std::string expected;
  };
  const row rows[] = {
      {"bar", comma_source, "|", "date|name|n\n2024-01-02|a\tb;c|1\n"},
      {"comma from a bar source, blanks kept", bar_source, ",",
       "date , name , n\n2024-01-02 , a b , 1\n"},
      {"the word tab", comma_source, "tab", "date\tname\tn\n2024-01-02\ta b|c\t1\n"},
      {"TAB in capitals", comma_source, "TAB", "date\tname\tn\n2024-01-02\ta b|c\t1\n"},
      {"backslash t", comma_source, "\\t", "date\tname\tn\n2024-01-02\ta b|c\t1\n"},
      {"a TAB character", comma_source, "\t", "date\tname\tn\n2024-01-02\ta b|c\t1\n"},
      {"a semicolon", "date,name,n\n2024-01-02,a;b,1\n", ";", "date;name;n\n2024-01-02;a b;1\n"},
      // No trailing rest of the separator after the last field.
      {"a separator of three characters", comma_source, " | ",
       "date | name | n\n2024-01-02 | a\tb;c | 1\n"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(clean(banner + r.source, {.new_separator = r.separator}), banner + r.expected);
  }
  // A TAB source stays TAB-separated, its empty first and last fields kept.
  EXPECT_EQ(clean(banner + "date\tname\tnote\n\t\tx\n2024\ta\t\n", {.no_whitespace = true}),
            banner + "date\tname\tnote\n\t\tx\n2024\ta\t\n");
}

TEST(cleanup_writer, SurplusFieldsEndInTheLastColumn) {
  run_cases({
      {"two surplus fields", "a,b,c\n1,2,3,4,5\n", {},
       "a,b,c\n1,2,3;4;5\n"},
      {"a trailing separator under a header that has one", "a,b,c,\n1,2,3,\n", {},
       "a,b,c\n1,2,3;\n"},
      {"surplus fields with a new separator", "a,b,c\n1,2,3,4|x,5\n", {.new_separator = "|"},
       "a|b|c\n1|2|3;4;x;5\n"},
      {"surplus fields into a column that is paired away", "a,b,c\n1,2,3,4\n", {.pairs = "2:3"},
       "a,b c\n1,2 3;4\n"},
      {"surplus fields under -align_cols", "a,b,c\n1,2,3,4,5\n1,2,3\n", {.align = true},
       "a,b,c    \n1,2,3;4;5\n1,2,3    \n"},
  });
}

TEST(cleanup_writer, AlignedColumns) {
  run_cases({
      {"widths from the first row, later rows overflow",
       "date,name,n\n2024-01-02,ab,1\n2024-01-03,abcdef,2\n", {.align = true},
       "date      ,name,n\n2024-01-02,ab  ,1\n2024-01-03,abcdef,2\n"},
      {"widths count characters, not bytes",
       "name,n,m\nJörg Müller,1,2\nÅsa,2,3\n", {.align = true},
       "name       ,n,m\nJörg Müller,1,2\nÅsa        ,2,3\n"},
      {"a merged name sets its column's width",
       "date,time,n\n2024,10:11,1\n", {.align = true, .pairs = "1:2"},
       "date time ,n\n2024 10:11,1\n"},
      {"each group has its own widths",
       "id,b,c\n1,2,3\n-------------------------------------------------\n"
       "id,long name,c\nx,y,z\n",
       {.align = true},
       "id,b,c\n1 ,2,3\n-------------------------------------------------\n"
       "id,long name,c\nx ,y        ,z\n"},
  });
}

// A header line kept for the first data row is never lost: a group without rows still has
// its header line, before whatever comes next.
TEST(cleanup_writer, AlignedHeaderOfAGroupWithoutRows) {
  run_cases({
      {"followed by a rule line",
       "date,name,c\n-------------------------------------------------\n"
       "date,name,c\n2024-01-02,a,x\n",
       {.align = true},
       "date,name,c\n-------------------------------------------------\n"
       "date      ,name,c\n2024-01-02,a   ,x\n"},
      {"followed by the next header row", "date,name,c\ndate,value,c\n2024-01-02,1,x\n",
       {.align = true}, "date,name,c\ndate      ,value,c\n2024-01-02,1    ,x\n"},
      {"followed by a short row", "date,name,c\nnote only\n2024,a,b\n", {.align = true},
       "date,name,c\nnote only\n2024,a   ,b\n"},
      {"at the end of the source", "date,name,c\n", {.align = true}, "date,name,c\n"},
  });
}

TEST(cleanup_writer, LinesThatAreNoRowsAreCopied) {
  run_cases({
      {"short rows and empty lines", "a,b,c\n\n1,2\nfree text\n1,2,3\n", {.no_whitespace = true},
       "a,b,c\n\n1,2\nfree text\n1,2,3\n"},
      {"a CR before the line end is not kept", "a,b,c\r\n1,2\r\n1 , 2 , 3\r\n", {.no_whitespace = true},
       "a,b,c\n1,2\n1,2,3\n"},
  });
  // A line before the first header row with as many separators as a row: copied as it stands,
  // whatever the options.
  const std::string source =
      "x - 64 ver: 1.0; (c) Quazel LLC\n"
      "License: L1 issued to the lab\n"
      "Run time: 2024-01-02 10:00:00; UTC\n"
      "cmd line: x64 -keys a, b, c -csv;\n"
      "date,time,name\n"
      "2024 , 10 ,a\n";
  EXPECT_EQ(clean(source, {.align = true, .pairs = "1:2", .new_separator = "|"}),
            "x - 64 ver: 1.0; (c) Quazel LLC\n"
            "License: L1 issued to the lab\n"
            "Run time: 2024-01-02 10:00:00; UTC\n"
            "cmd line: x64 -keys a, b, c -csv;\n"
            "date time|name\n"
            "2024 10  |a   \n");
}

// Pairs that name no column of the group, or would leave a field with nowhere to go, lose
// nothing and reach no column outside the group.
TEST(cleanup_writer, PairsThatCannotMergeKeepTheirFields) {
  const std::string source = "a,b,c\n1,2,3\n";
  struct row {
    const char* name;
    const char* pairs;
    std::string expected;
  };
  const row rows[] = {
      {"column 0", "0:2", "a,b,c\n1,2,3\n"},
      {"receiving column beyond the header", "9:2", "a,b,c\n1,2,3\n"},
      {"given column beyond the header", "1:9", "a,b,c\n1,2,3\n"},
      {"a side that is no number", "x:2", "a,b,c\n1,2,3\n"},
      {"a column paired with itself", "2:2", "a,b,c\n1,2,3\n"},
      {"a chain, later link first", "2:3|1:2", "a b c\n1 2 3\n"},
      {"a chain, first link first", "1:2|2:3", "a,b c\n1,2 3\n"},
      {"a circle", "1:2|2:1", "b a,c\n2 1,3\n"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(clean(banner + source, {.pairs = r.pairs}), banner + r.expected);
  }
}

TEST(cleanup_writer, BodyfileKeepsItsTitleAndRebuildsItsHeaderInPlace) {
  const std::string head =
      "f - 64 ver: 3.0; (c) Quazel LLC\n"
      "License: L1 issued to the lab\n"
      "Run time: 2024-01-02 10:00:00; UTC\n"
      "cmd line: f64 -mft x -bodyfile;\n"
      "-------------------------------------------------\n";
  const std::string columns =
      "md5|name|inode|mode as string|uid|gid|size|access time|modify time|mft time|create time\n";
  const std::string rows = "0|/a, b|1|r|0|0|10|1|2|3|4\n0|/c|2|r|0|0|20|1|2|3|4\n";
  EXPECT_EQ(clean(head + columns + rows, {.no_whitespace = true}), head + columns + rows);
  EXPECT_EQ(clean(head + columns + rows, {.pairs = "1:2", .new_separator = ","}),
            head +
                "md5 name,inode,mode as string,uid,gid,size,access time,modify time,mft time,create time\n"
                "0 /a  b,1,r,0,0,10,1,2,3,4\n0 /c,2,r,0,0,20,1,2,3,4\n");
  EXPECT_EQ(clean(head + columns + rows, {.align = true}),
            head +
                "md5|name |inode|mode as string|uid|gid|size|access time|modify time|mft time|create time\n"
                "0  |/a, b|1    |r             |0  |0  |10  |1          |2          |3       |4          \n"
                "0  |/c   |2    |r             |0  |0  |20  |1          |2          |3       |4          \n");
}

// Where the reader cuts the source into chunks changes nothing, also while a header line
// waits for its group's first row.
TEST(cleanup_writer, ChunkBoundariesChangeNothing) {
  const std::string source = banner +
                             "Artifact: one\n date , time ,name\n2024,10,a b,x\n\nshort\n"
                             "-------------------------------------------------\n"
                             "Artifact: two\ndate,time,value\n-------------------------------------------------\n"
                             "date,time,value\n2024,11,Jörg\n2024,12,z\n";
  for (const cleanup_options& options :
       {cleanup_options{.align = true, .pairs = "1:2", .new_separator = "|"},
        cleanup_options{.no_whitespace = true, .new_separator = "tab"}}) {
    const std::string whole = clean(source, options);
    for (u32 chunk = 1; chunk <= 64; ++chunk) {
      SCOPED_TRACE(chunk);
      EXPECT_EQ(clean(source, options, chunk), whole);
    }
  }
}

TEST(cleanup_writer, HooksCalledDirectly) {
  quazel_tool_metadata ctx;
  ctx.cleanup = 1;
  ctx.separator = ",";
  ctx.columns = {"a", "b"};
  std::ostringstream out;
  ctx.out = &out;
  std::ostringstream head;
  EXPECT_EQ(cleanup_write_head(head, ctx), 1);
  EXPECT_EQ(cleanup_banner_begin(ctx), 1);
  EXPECT_EQ(head.str(), "");
  EXPECT_EQ(cleanup_write_header(out, head, ctx.columns, ctx), 1);
  std::vector<std::string> none;
  EXPECT_EQ(cleanup_write_row(out, none, ctx), 0);
  std::vector<std::string> cells = {"1", "2"};
  EXPECT_EQ(cleanup_write_row(out, cells, ctx), 1);
  EXPECT_EQ(cleanup_short_line("", ctx), 1);
  EXPECT_EQ(cleanup_banner_line("Artifact: x", tag_instr("Artifact:", tag_line_cleanup_copy, 0), ctx), 1);
  EXPECT_EQ(out.str(), "a,b\n1,2\n\nArtifact: x\n");
  EXPECT_TRUE(ctx.cleanup_state.header_written);
  EXPECT_EQ(ctx.first_header_pending, 0);
}

}  // namespace
