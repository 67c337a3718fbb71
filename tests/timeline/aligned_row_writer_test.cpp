#include "timeline/aligned_row_writer.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "sqlite_store/sqlite_artifact.h"
#include "tests/text/temp_folder.h"
#include "tests/timeline/csv_check.h"

namespace {

using rows_t = std::vector<std::vector<std::string>>;

// print_rows_aligned through the timeline writers.
std::string print(const std::vector<std::string>& names, const rows_t& rows, cmd_params& tool, u32 max_width,
                  bool cut, aligned_cell_text_fn first = nullptr, aligned_cell_text_fn second = nullptr) {
  sqlite_cmd_params store;
  std::ostringstream out;
  EXPECT_TRUE(
      store.print_rows_aligned(out, names, rows, tool, max_width, cut, first, second, &timeline_aligned_row_writer()));
  return out.str();
}

int upper_case(std::string& cell, const std::string& input) {
  cell.clear();
  for (const char c : input) cell += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return 0;
}

TEST(timeline_aligned_row_writer, pads_columns_and_renders_typed_cells) {
  cmd_params tool(0, false);
  tool.source_columns = {qz_variant_lite("", 0), qz_variant_lite("when", 4, variant_unix_time + 1, 0x80),
                         qz_variant_lite("", 0, variant_text, 0x100)};
  const std::vector<std::string> names = {"name", "when", "kind"};
  const rows_t rows = {{"report.txt", "1577934245", "file"}, {"a", "", "dir"}};
  // Columns as wide as their widest value; the time column's seconds rendered as date and time,
  // the callback of the flagged column applied to its texts.
  EXPECT_EQ(print(names, rows, tool, 0, false, &upper_case),
            "name       | when       | kind\n"
            "report.txt |  2020-01-02 03:04:05 | FILE\n"
            "a          |             | DIR \n");
}

TEST(timeline_aligned_row_writer, a_capped_column_cuts_its_texts) {
  cmd_params tool(0, false);
  const rows_t rows = {{"a long file name", "x"}};
  EXPECT_EQ(print({"name", "b"}, rows, tool, 6, true), "name   | b\na long | x\n");
  // A quoted text is cut inside its quotes and stays one field.
  tool.quoted_fields = 1;
  EXPECT_EQ(print({"name", "b"}, {{"a \"long\" name", "x"}}, tool, 6, true), "name   | b\n\"a \"\"lon\" | \"x\"\n");
}

// Quoted CSV cells read back by Python's csv reader as the very values, quotes and separators
// inside them included, one row each.
TEST(timeline_aligned_row_writer, quoted_csv_reads_back_whole) {
  cmd_params tool(0, false);
  tool.trim_fields = 1;
  tool.quoted_fields = 1;
  tool.separator_text = ",";
  tool.separator_char = 0;
  const rows_t rows = {{"plain", "a, b"}, {"say \"hi\"", "\"\""}, {"{\"", "end\""}};
  const std::string text = print({"one", "two"}, rows, tool, 0, false);
  temp_folder folder("aligned_rows");
  folder.put("rows.csv", text);
  EXPECT_EQ(csv_check::column_count_failures(folder.file("rows.csv"), ','), "") << text;
  EXPECT_EQ(text, "one,two\n\"plain\",\"a, b\"\n\"say \"\"hi\"\"\",\"\"\"\"\"\"\n\"{\"\"\",\"end\"\"\"\n");
}

// Each separator mode: every cell reads back through Python's csv module as the value that went
// in, one row per row printed.
TEST(timeline_aligned_row_writer, python_csv_reads_every_cell_back) {
  if (!csv_check::have_python()) GTEST_SKIP() << "python3 not found: skipped";
  rows_t rows;
  for (const std::string& text : csv_check::hostile_cells) rows.push_back({text, "x" + text});
  for (const csv_check::separator_mode& mode : csv_check::separator_modes) {
    SCOPED_TRACE(mode.name);
    cmd_params tool = csv_check::mode_params(mode);
    const std::string text = print({"one", "two"}, rows, tool, 0, false);
    temp_folder folder("aligned_modes");
    folder.put("rows.csv", text);
    rows_t read;
    const std::string failure = csv_check::read_rows(folder.file("rows.csv"), csv_check::delimiter_of(tool), read);
    EXPECT_EQ(failure, "") << text;
    if (!failure.empty()) continue;
    rows_t expected = {{"one", "two"}};
    for (const std::vector<std::string>& row : rows) {
      expected.push_back({csv_check::expected_cell(row[0], tool), csv_check::expected_cell(row[1], tool)});
    }
    EXPECT_EQ(read, expected) << text;
  }
}

}  // namespace
