#include "timeline/l2t_csv_writer.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "sqlite_store/sqlite_artifact.h"
#include "tests/text/temp_folder.h"
#include "tests/sqlite_store/db_rows.h"
#include "tests/timeline/csv_check.h"

namespace {

constexpr u64 filetime_2020 = 132224078456780000ULL;  // 2020-01-02 03:04:05.678 UTC
constexpr u64 second = 10000000ULL;
const std::string column_line =
    "date,time,timezone,MACB,source,sourcetype,type,user,host,short,desc,version,filename,inode,notes,format,extra";

std::string write_records(l2t_output_context& ctx, bool first_call = false) {
  std::ostringstream out;
  bool first = first_call;
  EXPECT_EQ(write_l2t_csv_records(&first, &out, ctx), 1);
  return out.str();
}

TEST(write_l2t_csv_header, column_lines) {
  std::ostringstream two;
  write_l2t_csv_header(two, ",", false, false);
  EXPECT_EQ(two.str(), column_line);
  std::ostringstream one;
  write_l2t_csv_header(one, ",", true, true);
  EXPECT_EQ(one.str(), "date/time,timezone" + column_line.substr(18) +
                           ",ref count,extension,size data,inode seqnum,parent inode,parent seqnum,clusters,header info");
}

TEST(write_l2t_csv_records, one_line_per_instant) {
  l2t_output_context ctx;
  ctx.times.set_default_labels();
  ctx.times.set_times(filetime_2020, filetime_2020, filetime_2020, filetime_2020, 1);
  EXPECT_EQ(write_records(ctx, true),
            column_line + "\n" +
                "2020-01-02,03:04:05.678,UTC,MACB,,,Last Modified; Last Access; Metadata Changed; Created,,,,,2,,,,"
                "-csvl2t,\n");

  l2t_output_context two;
  two.times.set_times(filetime_2020, filetime_2020 + second, filetime_2020, 0, 1);
  two.lower_macb = 1;
  two.type = "file";
  two.one_datetime_column = 1;
  two.blank_before_time = 1;
  EXPECT_EQ(write_records(two),
            " 2020-01-02 03:04:05.678,UTC,m.c.,,,file,,,,,2,,,,-csvl2t,\n"
            " 2020-01-02 03:04:06.678,UTC,.a..,,,file,,,,,2,,,,-csvl2t,\n");
}

TEST(write_l2t_csv_records, rows_outside_the_window_or_without_time_are_skipped) {
  l2t_output_context ctx;
  ctx.times.set_times(filetime_2020, filetime_2020 + second, filetime_2020 + 2 * second, 5, 1);
  ctx.window_start = filetime_2020;
  ctx.window_end = filetime_2020 + second;
  const std::string lines = write_records(ctx);
  EXPECT_NE(lines.find("03:04:05.678,UTC,M..."), std::string::npos);
  EXPECT_NE(lines.find("03:04:06.678,UTC,.A.."), std::string::npos);
  EXPECT_EQ(lines.find("03:04:07"), std::string::npos);
  EXPECT_EQ(lines.find("1601"), std::string::npos);  // B = 5 is no valid time
  l2t_output_context none;
  none.times.set_times(0, 0, 0, 7, 1);
  EXPECT_EQ(write_records(none, true), column_line + "\n");
  EXPECT_EQ(write_records(none, false), "");
}

TEST(write_l2t_csv_records, texts_are_cleaned_so_no_field_breaks_the_row) {
  l2t_output_context ctx;
  ctx.times.set_times(filetime_2020, 0, 0, 0, 1);
  ctx.desc = "one, two\nthree";
  ctx.source = "src,x";
  ctx.filename = "\"quoted\" name";
  const std::string line = write_records(ctx);
  EXPECT_EQ(line, "2020-01-02,03:04:05.678,UTC,M...,src x,,,,,,one  two[LF]three,2,\"\"\"quoted\"\" name\",,,"
                  "-csvl2t,\n");
  EXPECT_EQ(ctx.desc, "one  two[LF]three");  // the context keeps its cleaned texts

  // A TAB separator has no stand-in: a text holding it is quoted.
  l2t_output_context tab;
  tab.times.set_times(filetime_2020, 0, 0, 0, 1);
  tab.separator_text = "\t";
  tab.separator_char = 0;
  tab.short_text = "a\tb";
  EXPECT_NE(write_records(tab).find("\t\"a\tb\"\t"), std::string::npos);
}

TEST(write_l2t_csv_records, extended_columns) {
  l2t_output_context ctx;
  ctx.times.set_times(filetime_2020, 0, 0, 0, 1);
  ctx.set_ntfs_columns(1, 5, 2, 3, 4096, "txt", "c1");
  ctx.header_info = {0x0a, 0xff};
  ctx.hex_numbers = 1;
  EXPECT_TRUE(write_records(ctx).ends_with(",-csvl2t,,0x0001,txt,0x001000,0x0003,0x00000005,0x0002,c1,0a ff \n"));
  ctx.hex_numbers = 0;
  EXPECT_TRUE(write_records(ctx).ends_with(",-csvl2t,,1,txt,4096,3,5,2,c1, a ff \n"));

  ctx.set_ntfs_columns(1, 0xffffffffffffULL, 7, 3, 1, nullptr, nullptr);
  EXPECT_EQ(ctx.parent_inode, 5u);
  EXPECT_EQ(ctx.parent_seqnum, 0u);
  EXPECT_EQ(ctx.extension, "txt");
  EXPECT_EQ(ctx.clusters, "c1");
  ctx.set_inode_text(5);
  EXPECT_EQ(ctx.inode, "5");
  ctx.hex_numbers = 1;
  ctx.set_inode_text(5);
  EXPECT_EQ(ctx.inode, "0x00000005");
}

TEST(l2t_output_context, init_from_params) {
  l2t_output_context ctx;
  ctx.init_from_params(nullptr);
  EXPECT_EQ(ctx.format, "-csvl2t");
  cmd_params params(0, false);
  params.program_name = "T";
  params.user_name = "u";
  params.trim_fields = 1;
  ctx.init_from_params(&params);
  EXPECT_EQ(ctx.format, "T (quazel)");
  EXPECT_EQ(ctx.user, "u");
  EXPECT_EQ(ctx.separator_text, " | ");
  EXPECT_EQ(ctx.no_whitespace, 1);
  EXPECT_EQ(ctx.blank_before_time, 0);
  EXPECT_EQ(ctx.params, &params);
}

TEST(write_l2t_csv_grouped_records, prints_only_rows_in_use) {
  l2t_grouped_context grouped;
  macb_output row;
  row.time = qz::time(filetime_2020, 1);
  row.raw_time = filetime_2020;
  row.macb = "M...";
  row.desc_parts = {"a", "", "b", "c"};
  row.extra = "own extra";
  row.use_row = 1;
  grouped.rows.emplace(row.raw_time, row);
  row.desc_parts = {"a", "b", "c"};
  row.extra.clear();
  grouped.rows.emplace(row.raw_time, row);
  row.use_row = 0;
  grouped.rows.emplace(row.raw_time, row);
  std::ostringstream out;
  bool first = false;
  EXPECT_EQ(write_l2t_csv_grouped_records(&first, &out, grouped), 1);
  EXPECT_EQ(out.str(),
            "2020-01-02,03:04:05.678,UTC,M...,,,a; b; c,,,,,2,,,,-csvl2t,own extra\n"
            "2020-01-02,03:04:05.678,UTC,M...,,,,,,,,2,,,,-csvl2t,\n");
}

TEST(write_l2t_csv_records, a_failed_write_is_reported) {
  l2t_output_context ctx;
  ctx.times.set_times(filetime_2020, 0, 0, 0, 1);
  std::ostringstream out;
  out.setstate(std::ios::failbit);
  bool first = true;
  EXPECT_EQ(write_l2t_csv_records(&first, &out, ctx), 0);
  first = false;
  EXPECT_EQ(write_l2t_csv_records(&first, nullptr, ctx), 0);
}

TEST(write_l2t_csv_records, database_route) {
  temp_folder folder("l2t_db");
  const std::string path = folder.file("l2t.db");
  cmd_params params(0, false);
  params.sqlite_on = 1;
  params.sqlite_path = path;
  params.kind_csvl2t = 1;
  params.artifact_type_text = "files";
  sqlite_cmd_params store;
  ASSERT_TRUE(store.init_from_cmdline({}, "", params));
  params.sqlite_params = &store;
  l2t_output_context ctx;
  ctx.init_from_params(&params);
  ctx.separator_text = ",";
  ctx.filename = "f.txt";
  ctx.times.set_times(filetime_2020, filetime_2020 + second, 0, 0, 1);
  std::ostringstream out;
  bool first = true;
  EXPECT_EQ(write_l2t_csv_records(&first, &out, ctx), 1);
  ASSERT_TRUE(store.flush());
  EXPECT_EQ(out.str(), "");
  const std::vector<std::string> rows =
      db_rows(path, "select val1, val2, str1, str2, desired_output like '%f.txt%' || char(10) from generic_data;");
  EXPECT_EQ(rows, (std::vector<std::string>{std::to_string(filetime_2020) + ",0,M...,files,1",
                                            std::to_string(filetime_2020 + second) + ",0,.A..,files,1"}));
  EXPECT_EQ(db_rows(path, "select gen_hdrs, file from metadata where gen_hdrs like 'date|%';"),
            std::vector<std::string>{"date|null|null|null|null|MACB|artifact|output,f.txt"});
}

// Python's csv module reads what the writer wrote with the header's column count on every
// row, whatever the texts hold.
TEST(write_l2t_csv_records, python_csv_reads_every_row_whole) {
  temp_folder folder("l2t_csv");
  const std::vector<std::string> awkward = {"plain", "a,b", "\"leading quote", "in \"the\" middle", "line\nend",
                                            "cr\r\nlf", "\"", ",", ""};
  for (const char* separator : {",", "\t", "|"}) {
    SCOPED_TRACE(separator);
    std::ostringstream out;
    bool first = true;
    for (const std::string& text : awkward) {
      l2t_output_context ctx;
      ctx.separator_text = separator;
      ctx.separator_char = separator[0] == '\t' ? 0 : separator[0];
      ctx.separator_replacement = ';';
      ctx.set_ntfs_columns(1, 2, 3, 4, 5, text.c_str(), text.c_str());
      ctx.times.set_times(filetime_2020, filetime_2020 + second, 0, 0, 1);
      ctx.times.add_time(filetime_2020 + 5 * second, text, text, text);
      ctx.source = ctx.sourcetype = ctx.type = ctx.user = ctx.host = text;
      ctx.short_text = ctx.desc = ctx.filename = ctx.notes = ctx.extra = ctx.timezone = text;
      ASSERT_EQ(write_l2t_csv_records(&first, &out, ctx), 1);
    }
    folder.put("out.csv", out.str());
    EXPECT_EQ(csv_check::column_count_failures(folder.file("out.csv"), separator[0]), "");
  }
}

}  // namespace
