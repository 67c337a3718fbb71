#include "timeline/mft_record_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

// CSV cells: no widths, "," between, decimal numbers.
cmd_params csv_params() {
  cmd_params params(0, false);
  params.trim_fields = 1;
  params.spaced_separator = 0;
  params.hex_numbers = 0;
  params.separator_text = ",";
  params.separator_char = ',';
  params.separator_replacement = ';';
  params.kind_csv = 1;
  return params;
}

l2t_output_context record(cmd_params& params) {
  l2t_output_context ctx;
  ctx.params = &params;
  ctx.inode = "42";
  ctx.inode_seqnum = 3;
  ctx.parent_inode = 5;
  ctx.parent_seqnum = 5;
  ctx.notes = "file";
  ctx.extension = "txt";
  ctx.ref_count = 1;
  ctx.size_data = 100;
  ctx.desc = "data";
  ctx.extra = "x";
  return ctx;
}

macb_context_map one_entry() {
  macb_context_map entries;
  macb_context& entry = entries[filetime_2020];
  entry.set_si_m();
  entry.set_fn_m();
  entry.set_fn83_b();
  entry.names = {"b.txt", "a.txt", ""};
  entry.paths = {"A~1.TXT"};
  entry.path = "\\dir";
  return entries;
}

std::vector<std::string> names_of(const cmd_params& params) {
  std::vector<std::string> names;
  for (const qz_variant_lite& cell : params.source_columns) names.push_back(cell.text);
  return names;
}

TEST(write_mft_record_csv, header_and_one_row_per_name) {
  cmd_params params = csv_params();
  l2t_output_context ctx = record(params);
  macb_context_map entries = one_entry();
  entries[filetime_2020].stream_name = "ads";
  mft_record_columns columns;
  std::ostringstream out;
  bool first = true;
  EXPECT_EQ(write_mft_record_csv(&first, &out, entries, ctx, columns), 1);
  EXPECT_FALSE(first);
  EXPECT_EQ(out.str(),
            "mft entry,mft seqnum,parent mft,par seqnum,type,ext,ref,size data,date,time-utc,MACB,data type,"
            "other info,name,path,various data types\n"
            "42,3,5,5,file,txt,1,100,2020-01-02,03:04:05.678,si:[m...]; fn:[m...],data,x,a.txt:ads,\\dir,\n"
            "42,3,5,5,file,txt,1,100,2020-01-02,03:04:05.678,si:[m...]; fn:[m...],data,x,b.txt:ads,\\dir,\n"
            "42,3,5,5,file (FN 8.3),txt,1,100,2020-01-02,03:04:05.678,si:[m...]; fn8.3[...b],data,x,A~1.TXT,\\dir,\n");
}

TEST(write_mft_record_csv, template_follows_the_options) {
  struct template_case {
    const char* name;
    std::function<void(cmd_params&, l2t_output_context&)> setup;
    std::vector<std::string> names;
    i32 date;
  };
  const template_case cases[] = {
      {"defaults", [](cmd_params&, l2t_output_context&) {},
       {"mft entry", "mft seqnum", "parent mft", "par seqnum", "type", "ext", "ref", "size data", "date", "time-utc",
        "MACB", "data type", "other info", "name", "path", "various data types"},
       8},
      {"compact", [](cmd_params&, l2t_output_context& c) { c.mft_option_compact = c.mft_option_clusters = 1; },
       {"mft entry", "mft seqnum", "parent mft", "par seqnum", "type", "ext", "ref", "date", "time-utc", "MACB",
        "other info", "name", "path", "various data types"},
       7},
      {"paired date and time, hashes, clusters, both last columns",
       [](cmd_params& p, l2t_output_context& c) {
         p.pair_datetime = 1;
         c.hash_sha1 = c.hash_sha1_second = c.mft_option_clusters = 1;
         c.mft_option_extracted_path = c.mft_option_header_info = 1;
       },
       {"mft entry", "mft seqnum", "parent mft", "par seqnum", "type", "ext", "ref", "size data", "date/time-utc",
        "MACB", "data type", "other info", "SHA1 hash", "SHA1 hash", "name", "path", "clusters/relevant data",
        "extracted path/file"},
       8},
  };
  for (const template_case& c : cases) {
    SCOPED_TRACE(c.name);
    cmd_params params(0, false);
    l2t_output_context ctx = record(params);
    c.setup(params, ctx);
    mft_record_columns columns;
    std::ostringstream out;
    bool first = true;
    macb_context_map none;
    write_mft_record_csv(&first, &out, none, ctx, columns);
    EXPECT_EQ(names_of(params), c.names);
    EXPECT_EQ(columns.date, c.date);
    EXPECT_EQ(params.source_columns[static_cast<size_t>(c.date)].aux, params.pair_datetime ? 23u : 10u);
  }
}

TEST(write_mft_record_csv, window_quoting_and_header_bytes) {
  cmd_params params = csv_params();
  params.quoted_fields = 1;
  l2t_output_context ctx = record(params);
  ctx.mft_option_header_info = 1;
  ctx.header_info = {0x46, 0x49, 0x4c, 0x45};
  ctx.window_start = filetime_2020;
  ctx.window_end = filetime_2020 + second;
  macb_context_map entries;
  for (u64 instant : {filetime_2020 - 1, filetime_2020, filetime_2020 + second, filetime_2020 + second + 1}) {
    entries[instant].names = {"n"};
    entries[instant].set_si_c();
  }
  mft_record_columns columns;
  std::ostringstream out;
  bool first = true;
  write_mft_record_csv(&first, &out, entries, ctx, columns);
  std::istringstream lines(out.str());
  std::vector<std::string> rows;
  for (std::string line; std::getline(lines, line);) rows.push_back(line);
  ASSERT_EQ(rows.size(), 3u);  // the header and the two instants on the bounds
  EXPECT_NE(rows[1].find(",\"si:[..c.]\","), std::string::npos);
  EXPECT_TRUE(rows[1].ends_with(",\"46 49 4c 45\"")) << rows[1];
  EXPECT_NE(rows[2].find("03:04:06.678"), std::string::npos);
}

TEST(write_mft_record_csv, each_output_keeps_its_own_columns) {
  cmd_params compact_params = csv_params();
  l2t_output_context compact = record(compact_params);
  compact.mft_option_compact = 1;
  cmd_params full_params = csv_params();
  l2t_output_context full = record(full_params);
  mft_record_columns compact_columns;
  mft_record_columns full_columns;
  std::ostringstream compact_out;
  std::ostringstream full_out;
  bool compact_first = true;
  bool full_first = true;
  macb_context_map entries = one_entry();
  write_mft_record_csv(&compact_first, &compact_out, entries, compact, compact_columns);
  write_mft_record_csv(&full_first, &full_out, entries, full, full_columns);
  write_mft_record_csv(&compact_first, &compact_out, entries, compact, compact_columns);
  EXPECT_EQ(compact_columns.date, 7);
  EXPECT_EQ(full_columns.date, 8);
  const std::string compact_row = "42,3,5,5,file,txt,1,2020-01-02,03:04:05.678,si:[m...]; fn:[m...],x,a.txt,\\dir,\n";
  EXPECT_NE(compact_out.str().find(compact_row + compact_row.substr(0, 40)), std::string::npos);

  // Columns that no header pass placed are never filled.
  cmd_params params = csv_params();
  params.source_columns = {qz_variant_lite("a", 0), qz_variant_lite("b", 0)};
  params.non_xml_output = 0;
  l2t_output_context ctx = record(params);
  mft_record_columns unset;
  std::ostringstream out;
  bool first = false;
  write_mft_record_csv(&first, &out, entries, ctx, unset);
  EXPECT_EQ(out.str(), ",\n,\n,\n");
}

TEST(write_mft_record_csv, without_params_or_stream) {
  l2t_output_context ctx;
  mft_record_columns columns;
  macb_context_map entries = one_entry();
  std::ostringstream out;
  bool first = true;
  EXPECT_EQ(write_mft_record_csv(&first, &out, entries, ctx, columns), 1);
  EXPECT_FALSE(first);
  EXPECT_EQ(out.str(), "");
  cmd_params params = csv_params();
  ctx.params = &params;
  EXPECT_EQ(write_mft_record_csv(&first, nullptr, entries, ctx, columns), 0);
  out.setstate(std::ios::badbit);
  EXPECT_EQ(write_mft_record_csv(&first, &out, entries, ctx, columns), 0);
}

TEST(write_mft_record_csv, database_route) {
  temp_folder folder("mft_db");
  const std::string path = folder.file("mft.db");
  cmd_params params = csv_params();
  params.sqlite_on = 1;
  params.sqlite_path = path;
  sqlite_cmd_params store;
  ASSERT_TRUE(store.init_from_cmdline({}, "", params));
  params.sqlite_params = &store;
  l2t_output_context ctx = record(params);
  ctx.store = &store;
  mft_record_columns columns;
  macb_context_map entries = one_entry();
  std::ostringstream out;
  bool first = true;
  EXPECT_EQ(write_mft_record_csv(&first, &out, entries, ctx, columns), 1);
  ASSERT_TRUE(store.flush());
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(db_rows(path, "select val1, val2, val3, str1, str2 from generic_data where rowid = 1;"),
            std::vector<std::string>{std::to_string(filetime_2020) + ",0,100,si:[m...]; fn:[m...],\\dir"});
  EXPECT_EQ(db_rows(path, "select count(*) from generic_data;"), std::vector<std::string>{"3"});
  EXPECT_EQ(db_rows(path, "select gen_hdrs from metadata where gen_hdrs like 'date|%';"),
            std::vector<std::string>{"date|null|size data|null|null|MACB|path|output"});
}

// Every text cell of every row reads back through Python's csv module as the value that went
// in, in each separator mode, whatever the value holds.
TEST(write_mft_record_csv, python_csv_reads_every_cell_back) {
  if (!csv_check::have_python()) GTEST_SKIP() << "python3 not found: skipped";
  const char* const text_columns[] = {"mft entry", "type", "ext", "data type", "other info", "name", "path",
                                      "various data types"};
  for (const csv_check::separator_mode& mode : csv_check::separator_modes) {
    SCOPED_TRACE(mode.name);
    cmd_params params = csv_check::mode_params(mode);
    mft_record_columns columns;
    std::ostringstream out;
    bool first = true;
    for (const std::string& text : csv_check::hostile_cells) {
      l2t_output_context ctx = record(params);
      ctx.inode = ctx.notes = ctx.extension = ctx.desc = ctx.extra = ctx.clusters = text;
      macb_context_map entries;
      macb_context& entry = entries[filetime_2020];
      entry.set_si_m();
      entry.names = {text.empty() ? "n" : text};
      entry.path = text;
      ASSERT_EQ(write_mft_record_csv(&first, &out, entries, ctx, columns), 1);
    }
    temp_folder folder("mft_csv");
    folder.put("mft.csv", out.str());
    std::vector<std::vector<std::string>> rows;
    const std::string failure = csv_check::read_rows(folder.file("mft.csv"), csv_check::delimiter_of(params), rows);
    EXPECT_EQ(failure, "") << out.str();
    if (!failure.empty()) continue;
    ASSERT_EQ(rows.size(), csv_check::hostile_cells.size() + 1) << out.str();
    const std::vector<std::string> header = rows[0];
    for (size_t r = 0; r < csv_check::hostile_cells.size(); ++r) {
      const std::string& text = csv_check::hostile_cells[r];
      SCOPED_TRACE(testing::PrintToString(text));
      EXPECT_EQ(rows[r + 1].size(), header.size());
      if (rows[r + 1].size() != header.size()) continue;
      for (const char* column : text_columns) {
        const size_t at = static_cast<size_t>(std::find(header.begin(), header.end(), column) - header.begin());
        ASSERT_LT(at, header.size()) << column;
        const std::string expected = std::string(column) == "name" && text.empty() ? "n" : text;
        EXPECT_EQ(rows[r + 1][at], csv_check::expected_cell(expected, params)) << column;
      }
    }
  }
}

}  // namespace
