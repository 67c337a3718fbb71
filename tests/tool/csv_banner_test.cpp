#include "tool/csv_banner.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "framework/text/uni_unicode.h"
#include "tests/text/temp_folder.h"
#include "tests/text/wide_text.h"
#include "tool/quazel_tool_metadata.h"

namespace {

using tag_tuple = std::tuple<std::string, u32, u32>;

const char bodyfile_names[] =
    "md5|name|inode|mode as string|uid|gid|size|access time|modify time|mft time|create time";

std::vector<u8> bytes_of(const std::string& text) { return std::vector<u8>(text.begin(), text.end()); }

bool parse(quazel_tool_metadata& ctx, const std::string& text) {
  return parse_banner_lines(ctx, bytes_of(text));
}

// The four banner lines and the rule of a source written by `tool` with `command`.
std::string banner(const std::string& tool, const std::string& command,
                   const std::string& time_line = "Run time: 2021-03-04 05:06:07 [UTC]; job 12",
                   const std::string& eol = "\n") {
  return tool + " - 64 ver: 2.10; (c) Quazel LLC 2021" + eol +
         "License: L1d4 issued to North Lab" + eol + time_line + eol + "cmd line: " + command +
         ";" + eol + "------------------------------------------" + eol;
}

std::vector<tag_tuple> tags_of(const quazel_tool_metadata& ctx) {
  std::vector<tag_tuple> tags;
  for (const tag_instr& t : ctx.tags) tags.emplace_back(t.tag, t.line_flags, t.column_flags);
  return tags;
}

std::vector<std::string> names_of(const std::vector<qz_variant_lite>& cells) {
  std::vector<std::string> names;
  for (const qz_variant_lite& cell : cells) names.push_back(cell.text);
  return names;
}

TEST(parse_banner_lines, reads_the_title_licence_time_and_command_lines) {
  struct banner_case {
    const char* name;
    std::string text;
    const char* tool;
    const char* version;
    const char* licence_word;
    const char* licence_text;
    const char* run_time;
    const char* extra;
    const char* command;
  };
  const banner_case cases[] = {
      {"version after ver: at word 4, its ; removed",
       banner("dorvel", "dorvel -hive /cases/SOFTWARE -csv") + "key,value\n", "dorvel", "2.10",
       "L1d4", "North Lab", "2021-03-04 05:06:07 [UTC]", "job 12",
       "dorvel -hive /cases/SOFTWARE -csv"},
      {"no ver: from word 4 on gives [unk]",
       "x - ver: 1.2; (c) Quazel LLC\nLicensed to the lab\nRun time: 2015-06-01 10:00:00; "
       "local\ncmd line: x -csv;\nkey,value\n",
       "x", "[unk]", "to", "the lab", "2015-06-01 10:00:00", "local", "x -csv"},
      {"ver: further on among the first ten words",
       "kelp build 7 of ver: 3.1 (c) Quazel LLC\nLicensed to the lab\nRun time: 2015-06-01\n"
       "cmd line: kelp;\nkey,value\n",
       "kelp", "3.1", "to", "the lab", "2015-06-01", "", "kelp"},
      {"CR LF line ends",
       banner("dorvel", "dorvel -hive /cases/SOFTWARE -csv",
              "Run time: 2021-03-04 05:06:07 [UTC]; job 12", "\r\n") +
           "key,value\r\n",
       "dorvel", "2.10", "L1d4", "North Lab", "2021-03-04 05:06:07 [UTC]", "job 12",
       "dorvel -hive /cases/SOFTWARE -csv"},
      {"licence without to, time without value, command line too short to hold one",
       "x - 64 ver: 1.0 (c) Quazel LLC\nLicensed\nRun time:\ncmd line: \n\nkey|value\n", "x",
       "1.0", "", "", "", "", ""},
  };
  for (const banner_case& c : cases) {
    SCOPED_TRACE(c.name);
    quazel_tool_metadata ctx;
    ASSERT_TRUE(parse(ctx, c.text));
    EXPECT_EQ(ctx.banner_found, 1);
    EXPECT_EQ(ctx.tool_name, c.tool);
    EXPECT_EQ(ctx.tool_version, c.version);
    EXPECT_EQ(ctx.licence_word, c.licence_word);
    EXPECT_EQ(ctx.licence_text, c.licence_text);
    EXPECT_EQ(ctx.run_time_text, c.run_time);
    EXPECT_EQ(ctx.extra_info, c.extra);
    EXPECT_EQ(ctx.command_line, c.command);
    EXPECT_EQ(ctx.short_tool_name, c.tool);
    EXPECT_EQ(ctx.first_column_name, "key");
  }
}

TEST(parse_banner_lines, refuses_incomplete_banners_and_sources_without_header) {
  struct refusal_case {
    const char* name;
    std::string text;
    bool expected;
    u8 banner_found;
  };
  const refusal_case cases[] = {
      {"title line directly before the header", "x - 64 ver: 1.0 (c) Quazel LLC\nkey,value\n",
       false, 1},
      {"time line missing",
       "x - 64 ver: 1.0 (c) Quazel LLC\nLicensed to a\nStarted now\ncmd line: x;\nkey,value\n",
       false, 1},
      {"command line missing",
       "x - 64 ver: 1.0 (c) Quazel LLC\nLicensed to a\nRun time: now\nkey,value\na,b\n", false,
       1},
      {"title as the last lines", "key,value\nx - 64 ver: 1.0 (c) Quazel LLC\nLicensed to a\n",
       false, 1},
      {"short title line, no header after it", "(c) Quazel LLC 2021\nnothing here\n", false, 0},
      {"short title line, a header after it", "(c) Quazel LLC 2021\nkey,value\n", true, 0},
      {"no line with two names", "alpha\nbeta,\n|gamma|\n", false, 0},
      {"no LF at all", "key,value,kind,size", false, 0},
      {"empty", "", false, 0},
      {"blank lines only", "\n \r\n\t\n", false, 0},
  };
  for (const refusal_case& c : cases) {
    SCOPED_TRACE(c.name);
    quazel_tool_metadata ctx;
    EXPECT_EQ(parse(ctx, c.text), c.expected);
    EXPECT_EQ(ctx.banner_found, c.banner_found);
  }
}

TEST(parse_banner_lines, separator_is_the_one_giving_most_names) {
  struct separator_case {
    const char* name;
    const char* header;
    const char* separator;
    std::vector<std::string> columns;
  };
  const separator_case cases[] = {
      {"comma", "name, size ,kind", ",", {"name", "size", "kind"}},
      {"bar", "name|size|kind", "|", {"name", "size", "kind"}},
      {"tab", "name\tsize\tkind", "\t", {"name", "size", "kind"}},
      {"more names at the bar", "a,b|c|d", "|", {"a,b", "c", "d"}},
      {"comma wins a tie with the bar", "a,b|c", ",", {"a", "b|c"}},
      {"comma wins a tie with the tab", "a,b\tc", ",", {"a", "b\tc"}},
      {"bar wins a tie with the tab", "a|b\tc", "|", {"a", "b\tc"}},
      {"tab with more names than both", "a,b\tc|d\te\tf", "\t", {"a,b", "c|d", "e", "f"}},
      // Commas inside a quoted name do not make the comma the separator.
      {"quoted name holding commas", "\"last, first, middle\"|age", "|",
       {"\"last, first, middle\"", "age"}},
      {"quoted name holding bars", "\"a|b|c\",size", ",", {"\"a|b|c\"", "size"}},
      // An unnamed column keeps its place, so the names line up with the rows' fields.
      {"unnamed column in the middle", "name,,size", ",", {"name", "", "size"}},
      {"separator after the last name", "name,size,", ",", {"name", "size"}},
      {"leading separator", ",name,size", ",", {"", "name", "size"}},
      // A leading TAB opens an empty first name as a leading comma does, blanks around it or not.
      {"leading tab", "\tname\tsize", "\t", {"", "name", "size"}},
      {"leading tabs and blanks", " \t \tname\tsize\r", "\t", {"", "", "name", "size"}},
      {"blanks before the first tab name", "  name\tsize", "\t", {"name", "size"}},
  };
  for (const separator_case& c : cases) {
    SCOPED_TRACE(c.name);
    quazel_tool_metadata ctx;
    ASSERT_TRUE(parse(ctx, std::string("one word first\n") + c.header + "\n1,2,3\n"));
    EXPECT_EQ(ctx.separator, c.separator);
    EXPECT_EQ(ctx.columns, c.columns);
    EXPECT_FALSE(ctx.first_column_name.empty());
    EXPECT_EQ(ctx.banner_found, 0);
  }
}

TEST(parse_banner_lines, output_keeps_the_source_separator_unless_another_was_asked_for) {
  struct output_case {
    const char* name;
    const char* header;
    const char* new_separator;  // "-change_csv_separator", when not empty
    bool split;
    char separator_char;
    char replacement;
    const char* separator_text;
  };
  const output_case cases[] = {
      {"comma source", "a,b", "", false, ',', ' ', ","},
      {"bar source", "a|b", "", false, '|', ';', "|"},
      {"tab source", "a\tb", "", false, 0, 0, "\t"},
      {"a new separator was asked for", "a,b", ";", false, 0, 0, ";"},
      {"a new bar separator", "a,b", "|", false, '|', ';', "|"},
      {"split files keep the source's", "a,b", ";", true, ',', ' ', ","},
  };
  for (const output_case& c : cases) {
    SCOPED_TRACE(c.name);
    quazel_tool_metadata ctx;
    ctx.new_separator = c.new_separator;
    ctx.change_separator = !ctx.new_separator.empty();
    ctx.split = c.split;
    ASSERT_TRUE(parse(ctx, std::string(c.header) + "\n"));
    EXPECT_EQ(ctx.separator_char, c.separator_char);
    EXPECT_EQ(ctx.separator_replacement, c.replacement);
    EXPECT_EQ(ctx.separator_text, c.separator_text);
  }
}

TEST(parse_banner_lines, producing_tools_set_their_kind_tags_and_source) {
  struct tool_case {
    const char* name;
    const char* tool;
    const char* command;
    const char* header;
    int min_columns;
    const char* artifact_type;
    const char* short_name;
    std::vector<tag_tuple> tags;
    const char* tool_source;
  };
  const tag_tuple rule{"-----------", 1, 0};
  const char* eleven = "a,b,c,d,e,f,g,h,i,j,k";
  const tool_case cases[] = {
      {"dorvel", "dorvel", "dorvel -hive /cases/SOFTWARE -csv -quiet", "key,value", 2, "",
       "dorvel",
       {rule, {"Artifact:", artifact_line, 0}, {"Registry key:", column_line, 0}, {"Hive Location:", hive_line, 0}},
       "/cases/SOFTWARE"},
      {"plivet", "plivet", "plivet -log /logs/boot.etl -csv", "a,b", 10, "ETL", "plivet",
       {rule, {"session name", 0, title_column}, {"file:", column_line, 0}, {"orig source path:", column_line, 0}},
       "/logs/boot.etl"},
      {"hasmir", "hasmir", "hasmir -log /logs/System.evt", "a,b", 5, "EVT", "hasmir",
       {rule, {"Channel", 0, split_title_column}, {"EventID", 0, title_column}}, "/logs/System.evt"},
      {"ganwick", "ganwick", "ganwick -csv -hive /cases/NTUSER.DAT", "a,b", 10, "ShellBags",
       "ganwick", {rule, {"analyzing hive:", hive_line_untitled, 0}}, "/cases/NTUSER.DAT"},
      {"ristel with a quoted binary", "ristel", "ristel -binary '/cases/my hive' -csv", "a,b", 5,
       "ShimCache", "ristel", {rule}, "/cases/my hive"},
      {"ristel with a plain binary", "ristel", "ristel -binary /cases/SYSTEM -csv", "a,b", 5,
       "ShimCache", "ristel", {rule}, "/cases/SYSTEM"},
      // A quote inside an unquoted path is part of the path.
      {"ristel with a quote inside the binary", "ristel", "ristel -binary /cases/o'hara.hve -csv",
       "a,b", 5, "ShimCache", "ristel", {rule}, "/cases/o'hara.hve"},
      {"ristel reading piped binaries", "ristel", "ristel -pipe_binary -csv", "a,b", 5,
       "ShimCache", "ristel", {rule, {"Binary source:", hive_line, 0}}, ""},
      {"ristel reading a hive", "ristel", "ristel -hive /cases/SYSTEM -csv", "a,b", 5,
       "ShimCache", "ristel", {rule, {"Hive Location:", hive_line_untitled, 0}}, "/cases/SYSTEM"},
      {"nubor with few columns", "nubor", "nubor -sdb /cases/sys.sdb -csv", "a,b,c", 4, "ShimDB",
       "nubor", {rule}, "/cases/sys.sdb"},
      {"nubor statistics", "nubor", "nubor -sdb /cases/sys.sdb -stats", eleven, 10,
       "ShimDB_stats", "nubor", {rule}, ""},
      {"vemmick by prefix", "vemmick64", "vemmick64 -dir /bin", "a,b", 13, "PEStats", "vemmick",
       {rule}, ""},
      {"ulfen by prefix", "ulfen64", "ulfen64 -dir /lnk", "a,b", 20, "Lnk", "ulfen",
       {rule, {"IDList segments", 0, nested_column}}, ""},
      {"brask", "brask", "brask -dir /jl", "a,b", 20, "JumpList", "brask",
       {rule, {"IDList segments", 0, nested_column}}, ""},
      {"fendral", "fendral", "fendral -mft /cases/$MFT", "a,b", 13, "Mft", "fendral", {rule}, ""},
      {"oskel keeps the minimum", "oskel", "oskel -usn /cases/$J", "a,b", 2, "UsnJrnl", "oskel",
       {rule}, ""},
      {"a tool of no table row", "zentor", "zentor -hive /x", "a,b", 2, "", "zentor", {rule}, ""},
  };
  for (const tool_case& c : cases) {
    SCOPED_TRACE(c.name);
    quazel_tool_metadata ctx;
    ASSERT_TRUE(parse(ctx, banner(c.tool, c.command) + c.header + "\n"));
    EXPECT_EQ(ctx.min_columns, c.min_columns);
    EXPECT_EQ(ctx.artifact_type, c.artifact_type);
    EXPECT_EQ(ctx.short_tool_name, c.short_name);
    EXPECT_EQ(tags_of(ctx), c.tags);
    EXPECT_EQ(ctx.tool_source, c.tool_source);
    EXPECT_EQ(ctx.is_bodyfile, 0);
    EXPECT_EQ(ctx.is_csvl2t, 0);
  }
}

TEST(parse_banner_lines, host_and_user_come_from_the_producing_command_line) {
  quazel_tool_metadata ctx;
  ASSERT_TRUE(parse(ctx, banner("dorvel", "dorvel -hive /h -hostname  ws01 -username ann -csv") +
                             "key,value\n"));
  EXPECT_EQ(ctx.hostname, "ws01");
  EXPECT_EQ(ctx.username, "ann");

  quazel_tool_metadata without;
  ASSERT_TRUE(parse(without, banner("dorvel", "dorvel -hive /h") + "key,value\n"));
  EXPECT_TRUE(without.hostname.empty());
  EXPECT_TRUE(without.username.empty());
}

TEST(parse_banner_lines, bodyfile_sources_take_the_bodyfile_columns) {
  struct bodyfile_case {
    const char* name;
    const char* first_line;
    u8 cleanup;
    u32 line_flags;
  };
  const bodyfile_case cases[] = {
      {"data line first",
       "0|/etc/hosts|1234|-rw-r--r--|0|0|120|1600000000|1600000001|1600000002|1600000003", 0, 1},
      {"own column line", bodyfile_names, 0, 1},
      {"cleanup copies the column line",
       "0|/etc/hosts|1234|-rw-r--r--|0|0|120|1600000000|1600000001|1600000002|1600000003", 1,
       tag_line_cleanup_copy},
  };
  std::vector<std::string> expected_columns;
  {
    std::string names = bodyfile_names;
    std::size_t start = 0;
    for (std::size_t bar = names.find('|'); bar != std::string::npos;
         start = bar + 1, bar = names.find('|', start)) {
      expected_columns.push_back(names.substr(start, bar - start));
    }
    expected_columns.push_back(names.substr(start));
  }
  for (const bodyfile_case& c : cases) {
    SCOPED_TRACE(c.name);
    quazel_tool_metadata ctx;
    ctx.cleanup = c.cleanup;
    ASSERT_TRUE(parse(ctx, banner("fendral", "fendral -mft /cases/$MFT -bodyfile") +
                               c.first_line + "\n"));
    EXPECT_EQ(ctx.is_bodyfile, 1);
    EXPECT_EQ(ctx.min_columns, 10);
    EXPECT_EQ(ctx.separator, "|");
    EXPECT_EQ(ctx.first_column_name, "md5");
    EXPECT_EQ(ctx.columns, expected_columns);
    // The bodyfile rule comes before the tool's own row.
    EXPECT_EQ(ctx.artifact_type, "");
    const std::vector<tag_tuple> tags{{"-----------", c.line_flags, 0},
                                      {"md5|name", c.line_flags, 0}};
    EXPECT_EQ(tags_of(ctx), tags);
  }
}

TEST(parse_banner_lines, log2timeline_layout_sources_need_fifteen_columns) {
  quazel_tool_metadata ctx;
  ASSERT_TRUE(parse(ctx, banner("fendral", "fendral -mft /cases/$MFT -csvl2t") +
                             "date,time,timezone,MACB,source,sourcetype,type,user,host,short,desc,"
                             "version,filename,inode,notes,format,extra\n"));
  EXPECT_EQ(ctx.is_csvl2t, 1);
  EXPECT_EQ(ctx.is_bodyfile, 0);
  EXPECT_EQ(ctx.min_columns, 15);
  EXPECT_EQ(ctx.columns.size(), 17u);
  EXPECT_EQ(ctx.first_column_name, "date");
  EXPECT_EQ(ctx.artifact_type, "");  // the layout rule comes before the tool's own row
}

TEST(parse_banner_lines, no_header_info_reads_the_title_as_an_ordinary_line) {
  quazel_tool_metadata ctx;
  ctx.no_header_info = 1;
  ASSERT_TRUE(parse(ctx, banner("dorvel", "dorvel -hive /h") + "key|value\n"));
  EXPECT_EQ(ctx.banner_found, 0);
  EXPECT_TRUE(ctx.tool_name.empty());
  EXPECT_EQ(ctx.separator, "|");
  EXPECT_EQ(ctx.first_column_name, "key");
  EXPECT_EQ(tags_of(ctx), (std::vector<tag_tuple>{{"-----------", 1, 0}}));

  // A title line that splits into names is then the header row.
  quazel_tool_metadata listed;
  listed.no_header_info = 1;
  ASSERT_TRUE(parse(listed, "x, 64, ver: 1.0, (c) Quazel LLC\nkey|value\n"));
  EXPECT_EQ(listed.separator, ",");
  EXPECT_EQ(listed.first_column_name, "x");
}

TEST(parse_banner_lines, looks_at_eleven_lines_and_does_not_count_rules) {
  std::string ten_words;
  for (int i = 0; i < 10; ++i) ten_words += "word" + std::to_string(i) + "\n";
  std::string rules;
  for (int i = 0; i < 15; ++i) rules += "----------------\n";

  quazel_tool_metadata eleventh;
  EXPECT_TRUE(parse(eleventh, ten_words + "key,value\n"));
  quazel_tool_metadata twelfth;
  EXPECT_FALSE(parse(twelfth, ten_words + "extra\nkey,value\n"));
  quazel_tool_metadata ruled;
  ASSERT_TRUE(parse(ruled, rules + ten_words + rules + "key,value\n"));
  EXPECT_EQ(tags_of(ruled), (std::vector<tag_tuple>{{"-----------", 1, 0}}));
  // Ten dashes are no rule: that line counts, and pushes the header out.
  quazel_tool_metadata short_rule;
  EXPECT_FALSE(parse(short_rule, "----------\n" + ten_words + "key,value\n"));
}

TEST(parse_banner_lines, drops_only_a_whole_utf8_mark_at_a_line_start) {
  struct mark_case {
    const char* name;
    std::string text;
    std::string first_column;
    bool rule;
  };
  const mark_case cases[] = {
      {"mark before the header", "\xEF\xBB\xBFname,size\n", "name", false},
      // U+F8FF and U+FFFD begin with EF as well; they are part of the name.
      {"private-use character", "\xEF\xA3\xBFname,size\n", "\xEF\xA3\xBFname", false},
      {"replacement character", "\xEF\xBF\xBD,size\n", "\xEF\xBF\xBD", false},
      {"mark after blanks", " \t\xEF\xBB\xBF name,size\n", "name", false},
      {"mark before a rule", "\xEF\xBB\xBF-----------\nname,size\n", "name", true},
  };
  for (const mark_case& c : cases) {
    SCOPED_TRACE(c.name);
    quazel_tool_metadata ctx;
    ASSERT_TRUE(parse(ctx, c.text));
    EXPECT_EQ(ctx.first_column_name, c.first_column);
    EXPECT_EQ(ctx.columns.size(), 2u);
    EXPECT_EQ(!ctx.tags.empty(), c.rule);
  }
}

class read_csv_banner_test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder.path().empty());
    // Messages as on a standard error that is no terminal: no status line to erase.
    ctx.status_display = 0;
  }
  // Writes content as the file name and reads its banner into ctx.
  bool read(const std::string& name, const std::string& content) {
    folder.put(name, content);
    return read_csv_banner(ctx, folder.file(name));
  }

  temp_folder folder{"csv_banner"};
  quazel_tool_metadata ctx;
};

TEST_F(read_csv_banner_test, reads_a_banner_and_sets_the_source_columns) {
  ASSERT_TRUE(read("plivet.csv", banner("plivet", "plivet -log /logs/a.etl -csv") +
                                     "session name,time,event\ns1,10:00,start\n"));
  EXPECT_EQ(ctx.csv_source, folder.file("plivet.csv"));
  EXPECT_EQ(ctx.tool_name, "plivet");
  EXPECT_EQ(ctx.artifact_type, "ETL");
  EXPECT_EQ(names_of(ctx.source_columns),
            (std::vector<std::string>{"session name", "time", "event"}));
  ASSERT_EQ(ctx.source_columns.size(), 3u);
  EXPECT_EQ(ctx.source_columns[0].aux, 0u);
  EXPECT_EQ(ctx.source_columns[0].flags, 0x80u);
  EXPECT_EQ(ctx.utf8_bom, 0);
  EXPECT_EQ(ctx.utf16_bom, 0);
}

TEST_F(read_csv_banner_test, refuses_what_it_cannot_read) {
  const std::string rows = "name,size,kind\r\na.txt,10,file\r\n";
  const char* const wide_message =
      "prob reading %s: its text is %s; only UTF-8 and UTF-16LE with its byte-order mark are read\n";
  auto wide_refusal = [&](const char* encoding) {
    std::string text = wide_message;
    text.replace(text.find("%s", text.find("%s") + 2), 2, encoding);
    return text;
  };
  struct refusal_case {
    const char* name;
    std::string content;  // empty: no file at all
    bool expected;
    std::string message;
  };
  const refusal_case cases[] = {
      {"missing file", "", false, "prob reading %s, aborting\n"},
      {"fifteen bytes", "ab,cd\n123456789", false, ""},
      {"sixteen bytes", "ab,cd\n1234567890", true, ""},
      // The whole file was read: its last line is complete without a line end.
      {"header without a line end", "name,size,kind,owner", true, ""},
      {"header cut by the prefix limit", std::string(20000, 'x') + ",y\n", false, ""},
      // Lines ended by CR alone would be one line: its rows taken for column names.
      {"lines ended by CR alone", "name,size\ra.txt,10\rb.txt,20\r", false, ""},
      {"CR LF line ends", "name,size\r\na.txt,10\r\n", true, ""},
      // Only the first 16384 bytes are looked at, however few lines they hold.
      {"header after the prefix",
       std::string(6000, 'a') + "\n" + std::string(6000, 'b') + "\n" + std::string(6000, 'c') +
           "\nname,size\n",
       false, ""},
      // Wide text other than marked UTF-16LE; NUL bytes in the cells of UTF-8 rows are text.
      {"UTF-16BE with its mark", wide_text("\xFE\xFF", rows, 2, false), false, wide_refusal("UTF-16BE")},
      {"UTF-32LE with its mark", wide_text(std::string("\xFF\xFE\0\0", 4), rows, 4, true), false,
       wide_refusal("UTF-32LE")},
      {"UTF-32BE with its mark", wide_text(std::string("\0\0\xFE\xFF", 4), rows, 4, false), false,
       wide_refusal("UTF-32BE")},
      {"UTF-16LE without a mark", wide_text("", rows, 2, true), false,
       wide_refusal("UTF-16LE without a byte-order mark")},
      {"UTF-16BE without a mark", wide_text("", rows, 2, false), false,
       wide_refusal("UTF-16BE without a byte-order mark")},
      {"NUL bytes in cells", rows + std::string("b\0\0\0,\0\0,\0\r\n", 12), true, ""},
  };
  for (const refusal_case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.file(c.name);
    if (!c.content.empty()) folder.put(c.name, c.content);
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_csv_banner(ctx, path), c.expected);
    const std::string printed = testing::internal::GetCapturedStderr();
    char expected_message[512] = "";
    std::snprintf(expected_message, sizeof expected_message, c.message.c_str(), path.c_str());
    EXPECT_EQ(printed, expected_message);
    EXPECT_EQ(ctx.csv_source, path);
  }
}

TEST_F(read_csv_banner_test, utf8_mark_is_dropped_and_remembered) {
  ASSERT_TRUE(read("marked.csv", "\xEF\xBB\xBF" + banner("hasmir", "hasmir -log /l.evt") +
                                     "Channel,EventID,Time\n"));
  EXPECT_EQ(ctx.utf8_bom, 1);
  EXPECT_EQ(ctx.utf16_bom, 0);
  EXPECT_EQ(ctx.tool_name, "hasmir");
  EXPECT_EQ(ctx.first_column_name, "Channel");
}

TEST_F(read_csv_banner_test, utf16_source_is_read_as_utf8_even_when_the_prefix_cuts_a_pair) {
  const std::string head =
      banner("ganwick", "ganwick -hive /cases/NTUSER.DAT") + "path,slot,modified\n";
  struct utf16_case {
    const char* name;
    std::size_t filler;  // ASCII characters between the header and a four-byte character
  };
  // The file's bytes: the mark, then one unit per ASCII character. With the filler below the
  // character's first unit ends the 16384-byte prefix and its second unit lies beyond it.
  const std::size_t units_before_cut = (16384 - 2) / 2 - 1;
  const utf16_case cases[] = {
      {"pair whole inside the prefix", 100},
      {"pair cut by the prefix", units_before_cut - head.size()},
  };
  for (const utf16_case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = head + std::string(c.filler, 'f') + "\xF0\x9F\x98\x80" + "\nmore\n";
    std::vector<u16> units;
    ASSERT_TRUE(utf8_to_utf16_units(units, text));
    std::string content = "\xFF\xFE";
    for (u16 unit : units) {
      content.push_back(static_cast<char>(unit & 0xFF));
      content.push_back(static_cast<char>(unit >> 8));
    }
    ASSERT_TRUE(read("wide.csv", content));
    EXPECT_EQ(ctx.utf16_bom, 1);
    EXPECT_EQ(ctx.utf8_bom, 0);
    EXPECT_EQ(ctx.tool_name, "ganwick");
    EXPECT_EQ(ctx.artifact_type, "ShellBags");
    EXPECT_EQ(names_of(ctx.source_columns),
              (std::vector<std::string>{"path", "slot", "modified"}));
  }
}

TEST_F(read_csv_banner_test, nothing_of_one_source_carries_over_to_the_next) {
  // First source: a marked banner whose tool raises the minimum and whose time line has
  // extra text.
  ASSERT_TRUE(read("first.csv", "\xEF\xBB\xBF" + banner("ulfen", "ulfen -dir /lnk") +
                                    "IDList segments,target,size\n"));
  EXPECT_EQ(ctx.min_columns, 20);
  EXPECT_EQ(ctx.extra_info, "job 12");
  EXPECT_EQ(ctx.utf8_bom, 1);
  ctx.group_counter = 4;  // as the writers left it

  // Second source: another banner whose time line has no extra text.
  ASSERT_TRUE(read("second.csv", banner("zentor", "zentor -x", "Run time: 2022-01-01") +
                                     "a|b\n"));
  EXPECT_EQ(ctx.min_columns, 2);
  EXPECT_EQ(ctx.extra_info, "");
  EXPECT_EQ(ctx.run_time_text, "2022-01-01");
  EXPECT_EQ(ctx.utf8_bom, 0);
  EXPECT_EQ(tags_of(ctx), (std::vector<tag_tuple>{{"-----------", 1, 0}}));
  EXPECT_EQ(names_of(ctx.source_columns), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(ctx.group_counter, 4u);

  // Third source: no banner at all.
  ASSERT_TRUE(read("third.csv", "x,y,z\n1,2,3\n4,5,6\n"));
  EXPECT_EQ(ctx.banner_found, 0);
  EXPECT_TRUE(ctx.tool_name.empty());
  EXPECT_TRUE(ctx.tags.empty());
  EXPECT_EQ(names_of(ctx.source_columns), (std::vector<std::string>{"x", "y", "z"}));

  // A source that cannot be read leaves no columns behind for the conversion to use.
  testing::internal::CaptureStderr();
  EXPECT_FALSE(read_csv_banner(ctx, folder.file("missing.csv")));
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(ctx.source_columns.empty());
  EXPECT_TRUE(ctx.columns.empty());
  EXPECT_TRUE(ctx.separator.empty());
}

}  // namespace
