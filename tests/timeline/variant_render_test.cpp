#include "timeline/variant_render.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "sqlite_store/sqlite_artifact.h"
#include "tests/text/temp_folder.h"
#include "tests/sqlite_store/db_rows.h"

namespace {

constexpr u64 filetime_2020 = 132224078456780000ULL;  // 2020-01-02 03:04:05.678 UTC
constexpr u64 filetime_2021 = 132647584890000000ULL;  // 2021-05-06 07:08:09.000 UTC
constexpr u64 unix_2020 = 1577934245;

// Settings whose header is already out, with no line end after a row.
cmd_params plain_settings(bool trim, bool hex) {
  cmd_params settings(0, false);
  settings.non_xml_output = 0;
  settings.sqlite_off = 0;
  settings.trim_fields = trim;
  settings.hex_numbers = hex;
  return settings;
}

std::string render(variant_row& row, cmd_params& settings) {
  std::ostringstream out;
  write_variant_row(out, row, settings);
  return out.str();
}

struct cell_case {
  const char* name;
  bool trim;
  bool hex;
  u64 width;
  u16 type;
  u64 number;
  u32 flags;
  std::string text;
  std::vector<u8> bytes;
  std::string expected;
};

std::vector<u8> count_bytes(int n) {
  std::vector<u8> bytes;
  for (int i = 0; i < n; ++i) bytes.push_back(static_cast<u8>(i));
  return bytes;
}

TEST(write_variant_row, renders_each_cell_type) {
  const cell_case cases[] = {
      {"u8 hex", true, true, 0, 1, 255, 0, "", {}, "0xff"},
      {"u16 hex", true, true, 0, 2, 1, 0, "", {}, "0x0001"},
      {"u64 hex", true, true, 0, 8, 1, 0, "", {}, "0x00000001"},
      {"i32 hex has no minimum", true, true, 0, 3, 1, 0, "", {}, "0x1"},
      {"hex with decimal", true, true, 0, 4, 10, 0x100000, "", {}, "0x0000000a [10]"},
      {"decimal right-aligned", false, false, 6, 4, 42, 0, "", {}, "    42"},
      {"blank prefix counts", false, false, 6, 4, 42, 0x20000000, "", {}, "    42"},
      {"arrow prefix", false, false, 6, 4, 42, 0x10000000, "", {}, "->  42"},
      {"hex to the width", false, true, 8, 2, 0xab, 0, "", {}, "0x0000ab"},
      {"hex only to the width", false, true, 0, 8, 0xab, 0x400000, "", {}, "0xab"},
      {"plain hex", false, true, 5, 2, 0xab, 0x80000000, "", {}, "   ab"},
      {"decimal forced", true, true, 0, 8, 12, 0x40000000, "", {}, "12"},
      {"zero shown blank", false, true, 5, 2, 0, 0x4000000, "", {}, "     "},
      {"text cut to its limit", false, false, 0, 11, 0, 0x1000000, "abcdefghijklmnopqrstuvwxyz", {},
       "abcdefghijklmnopqrst"},
      {"text centred", false, false, 6, 11, 0, 0x2000000, "ab", {}, "  ab  "},
      {"text right-aligned", false, false, 4, 11, 0, 0x80000, "ab", {}, "  ab"},
      {"separator replaced", true, false, 0, 11, 0, 0, "a|b", {}, "a;b"},
      {"raw text unchanged", false, false, 9, 30, 0, 0, "a|b", {}, "a|b"},
      {"64-bit decimal", false, false, 6, 14, 77, 0, "", {}, " 77    "},
      {"64-bit hex", true, false, 0, 14, 77, 0x400000, "", {}, " 0x000000000000004d"},
      {"GUID", true, false, 0, 27, 0, 0, "", {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xaa, 0xbb,
                                              0xcc, 0xdd, 0xee, 0xff},
       "00112233-4455-6677-8899-aabbccddeeff"},
      {"short GUID is blank", false, false, 4, 27, 0, 0, "", count_bytes(15), "    "},
      {"short GUID under trim is empty", true, false, 4, 27, 0, 0, "", count_bytes(15), ""},
      {"hex pairs", true, false, 0, 29, 0, 0, "", {0x0a, 0xff}, "0aff"},
      {"spaced bytes cut to width 30", false, false, 30, 28, 0, 0, "", count_bytes(12),
       "00 01 02 03 04 05 06 07 08 ..."},
      {"spaced bytes without width: 17", true, false, 0, 28, 0, 0, "", count_bytes(20),
       "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 ..."},
      {"spaced bytes that fit", true, false, 0, 28, 0, 0, "", count_bytes(3), "00 01 02"},
      {"unix one column, blank even under trim", true, false, 0, 16, unix_2020, 0, "", {}, " 2020-01-02 03:04:05"},
      {"filetime one column under trim", true, false, 0, 13, filetime_2020, 0, "", {}, "2020-01-02 03:04:05.678"},
      {"filetime padded", false, false, 25, 13, filetime_2020, 0, "", {}, " 2020-01-02 03:04:05.678  "},
      {"filetime without fraction", true, false, 0, 13, filetime_2020, 0x8000000, "", {}, "2020-01-02 03:04:05"},
      {"filetime date part", true, false, 0, 23, filetime_2020, 0, "", {}, "2020-01-02 | "},
      {"filetime time part", true, false, 0, 24, filetime_2020, 0, "", {}, " 03:04:05.678"},
      {"unix date part", true, false, 0, 25, unix_2020, 0, "", {}, "2020-01-02 | "},
      {"invalid time is blank", false, false, 0, 13, 0, 0, "", {}, "    "},
      {"chrome time", true, false, 0, 18, filetime_2020 / 10, 0, "", {}, "2020-01-02 03:04:05.678"},
      {"empty cell", false, false, 5, 0, 0, 0, "", {}, ""},
  };
  for (const cell_case& c : cases) {
    SCOPED_TRACE(c.name);
    cmd_params settings = plain_settings(c.trim, c.hex);
    settings.source_columns = {qz_variant_lite("col", c.width)};
    variant_row row(1, false);
    qz_variant_lite& cell = row.cells[0];
    cell.type = c.type;
    cell.number = c.number;
    cell.flags = c.flags;
    cell.text = c.text;
    cell.bytes = c.bytes;
    EXPECT_EQ(render(row, settings), c.expected);
  }
}

TEST(write_variant_row, changes_cells_it_renders) {
  cmd_params settings = plain_settings(false, true);
  settings.source_columns = {qz_variant_lite("a", 3), qz_variant_lite("b", 3)};
  settings.kind_csv = 1;
  variant_row row(2, false);
  row.set_number(0, 0, 2, 0x4000000 | 1);
  row.set_text(1, "x|y\nz", 11, 0);
  EXPECT_EQ(render(row, settings), "   " + settings.separator_text + "x;y[LF]z");
  EXPECT_EQ(row.cells[0].type, variant_text);
  EXPECT_EQ(row.cells[0].flags, 0u);
  EXPECT_EQ(row.cells[1].text, "x;y[LF]z");
}

TEST(write_variant_row, two_column_times_and_short_templates) {
  cmd_params settings = plain_settings(true, false);
  settings.separator_text = ",";
  settings.spaced_separator = 0;
  settings.source_columns = {qz_variant_lite("date", 10), qz_variant_lite("time", 12)};
  variant_row row(2, false);
  row.set_number(0, filetime_2020, 12, 0);
  EXPECT_EQ(render(row, settings), "2020-01-02,03:04:05.678");
  row.set_number(0, unix_2020, 15, 0x8000000);
  EXPECT_EQ(render(row, settings), "2020-01-02,03:04:05");

  // A two-column time as the last cell writes its date and the separator only.
  variant_row last(1, false);
  last.set_number(0, filetime_2020, 12, 0);
  EXPECT_EQ(render(last, settings), "2020-01-02,");
  last.set_number(0, unix_2020, 15, 0);
  EXPECT_EQ(render(last, settings), "2020-01-02,");

  // A template shorter than the row: the missing columns count as width 0.
  cmd_params padded = plain_settings(false, false);
  padded.separator_text = ",";
  padded.spaced_separator = 0;
  padded.source_columns = {qz_variant_lite("date", 12)};
  variant_row wide(3, false);
  wide.set_number(0, unix_2020, 15, 0);
  wide.set_text(2, "end", 11, 0);
  EXPECT_EQ(render(wide, padded), "2020-01-02  ,03:04:05,end");
  padded.source_columns.clear();
  wide.set_number(0, filetime_2020, 12, 0);
  EXPECT_EQ(render(wide, padded), "2020-01-02,03:04:05.678,end");
}

TEST(write_variant_row, time_list_form) {
  cmd_params settings = plain_settings(false, false);
  settings.source_columns = {qz_variant_lite("when", 60)};
  variant_row row(1, false);
  row.set_time_list(0, {filetime_2020, filetime_2021}, 13, 0x4000);
  const std::string list = "2020-01-02 03:04:05.678; 2021-05-06 07:08:09.000";
  EXPECT_EQ(render(row, settings), " " + list + std::string(60 - list.size(), ' '));
  row.set_time_list(0, {filetime_2020, filetime_2021}, 12, 0x4000);
  EXPECT_EQ(render(row, settings), "");
}

TEST(write_variant_row, header_once_then_rows_with_line_ends) {
  cmd_params settings(0, false);
  settings.source_columns = {qz_variant_lite("id", 4), qz_variant_lite("mid", 7, 0, 0x2000000),
                             qz_variant_lite("when", 23, 13, 0)};
  settings.hex_numbers = 0;
  variant_row row(3, false);
  row.set_number(0, 7, 8, 0);
  row.set_text(1, "abc", 11, 0x2000000);
  row.set_number(2, filetime_2020, 13, 0);
  std::ostringstream out;
  write_variant_row(out, row, settings);
  write_variant_row(out, row, settings);
  const std::string header = "id   |   mid   |  when                   \n";
  const std::string line = "   7 |   abc   |  2020-01-02 03:04:05.678\n";
  EXPECT_EQ(out.str(), header + line + line);
  EXPECT_EQ(settings.non_xml_output, 0);

  std::ostringstream aligned;
  write_aligned_cells(aligned, settings.source_columns, ",", false, true);
  EXPECT_EQ(aligned.str(), "id,mid,when\n");

  // An invalid row renders nothing, not even a line end.
  variant_row invalid;
  std::ostringstream none;
  write_variant_row(none, invalid, settings);
  EXPECT_EQ(none.str(), "");
}

TEST(write_variant_row, name_list_layout) {
  cmd_params settings(0, false);
  settings.source_columns = {qz_variant_lite("a", 2), qz_variant_lite("bcd", 9), qz_variant_lite("raw", 3, 30, 0)};
  variant_row row(3, false);
  row.set_text(0, "x|y", 11, 0);
  row.set_number(1, 5, 8, 0x40000000);
  row.set_text(2, "<raw>", 30, 0);
  std::ostringstream out;
  write_variant_row_as_lines(out, row, settings);
  EXPECT_EQ(out.str(), "a:   x|y\nbcd: 5\n<raw>");
  EXPECT_EQ(settings.source_columns[0].aux, 5u);
  EXPECT_EQ(settings.source_columns[1].text, "bcd:");
  EXPECT_EQ(settings.kind_multiline, 1);
  EXPECT_EQ(settings.trim_fields, 1);
}

TEST(write_variant_row, database_route_fills_generic_data) {
  temp_folder folder("variant_render");
  const std::string path = folder.file("rows.db");
  cmd_params settings(0, false);
  settings.sqlite_on = 1;
  settings.sqlite_path = path;
  settings.kind_csv = 1;
  settings.artifact_type_text = "typed rows";
  sqlite_cmd_params store;
  ASSERT_TRUE(store.init_from_cmdline({}, "date|null", settings));
  settings.sqlite_params = &store;
  settings.sqlite_off = 0;
  settings.trim_fields = 1;
  settings.separator_text = ",";
  settings.source_columns = {qz_variant_lite("when", 0, 13, 0), qz_variant_lite("size", 0),
                             qz_variant_lite("name", 0)};
  std::ostringstream out;
  variant_row row(3, false);
  row.set_number(0, filetime_2020, 13, 1);
  row.set_number(1, 4096, 8, 4);
  row.set_text(2, "file.txt", 11, 64);
  write_variant_row(out, row, settings);
  variant_row invalid;
  write_variant_row(out, invalid, settings);
  ASSERT_TRUE(store.flush());
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(db_rows(path, "select val1, val2, val3, str1, str2, desired_output from generic_data order by rowid;"),
            (std::vector<std::string>{std::to_string(filetime_2020) + ",0,4096,,file.txt,2020-01-02 03:04:05.678,0x00001000,file.txt",
                   "0,0,0,,,"}));
  EXPECT_EQ(db_rows(path, "select col_hdrs, artifact_type from metadata where col_hdrs <> '';"),
            std::vector<std::string>{"when,size,name,typed rows"});
}

}  // namespace
