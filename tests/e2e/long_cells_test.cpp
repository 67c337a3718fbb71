// Long cells and wide rows through every writer, each conversion in a process whose address
// space is capped at 256 MiB: a writer whose memory grows faster than its longest record fails
// here, where on a real source it would hang or take the machine's memory. The sources are
// made in a temporary folder by the test itself.
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/telvar_process.h"
#include "tests/sqlite_store/db_rows.h"

namespace {

constexpr rlim_t address_space_limit = rlim_t{256} << 20;

// The sanitizers reserve terabytes of address space for their shadow memory: no cap on it can
// hold there.
constexpr bool sanitizer_build() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

// A banner-less source: a header row and rows of cells. With long_cell_bytes the source has
// the three columns a, b, c and b holds the long cell; else every cell is "r<row>c<column>"
// under the names "col<column>".
struct source_shape {
  size_t rows;
  size_t columns;
  size_t long_cell_bytes;
};

std::string column_name(const source_shape& shape, size_t column) {
  if (shape.long_cell_bytes != 0) return std::string(1, static_cast<char>('a' + column));
  return "col" + std::to_string(column);
}

// The letters a to z over and over, long enough for the longest cell at any start below 26.
const std::string& letters(size_t length) {
  static std::string text;
  if (text.size() < length + 26) {
    text.resize(length + 26);
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  }
  return text;
}

// A long cell starts with its row's number and its letters start at a row's own offset, so
// that a piece of another row, a repeated or lost stretch shows in a comparison.
std::string cell(const source_shape& shape, size_t row, size_t column) {
  if (shape.long_cell_bytes == 0) return "r" + std::to_string(row) + "c" + std::to_string(column);
  if (column != 1) return std::to_string(row);
  std::string text = "r" + std::to_string(row) + "-";
  text.append(letters(shape.long_cell_bytes), row % 26, shape.long_cell_bytes - text.size());
  return text;
}

std::string header_line(const source_shape& shape) {
  std::string line;
  for (size_t c = 0; c < shape.columns; ++c) line += (c ? "," : "") + column_name(shape, c);
  return line + "\n";
}

std::string row_line(const source_shape& shape, size_t row) {
  std::string line;
  for (size_t c = 0; c < shape.columns; ++c) line += (c ? "," : "") + cell(shape, row, c);
  return line + "\n";
}

bool write_source(const std::string& path, const source_shape& shape) {
  std::ofstream out(path, std::ios::binary);
  out << header_line(shape);
  for (size_t r = 0; r < shape.rows; ++r) out << row_line(shape, r);
  out.close();
  return out.good();
}

// Compares without printing megabytes: where the two first differ.
::testing::AssertionResult same_text(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  const auto diff = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
  return ::testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                       << ", first difference at byte " << (diff.first - actual.begin());
}

// How a writer shows a cell: prefix(column) + cell + suffix; record_mark is written once per
// record.
struct cell_form {
  std::string (*prefix)(const source_shape&, size_t column);
  std::string suffix;
  std::string record_mark;
};

// Every cell of every row is in text, in order and whole, and the text holds one record per row.
::testing::AssertionResult cells_in_order(const std::string& text, const source_shape& shape,
                                          const cell_form& form) {
  size_t at = 0;
  for (size_t r = 0; r < shape.rows; ++r) {
    for (size_t c = 0; c < shape.columns; ++c) {
      const std::string whole = form.prefix(shape, c) + cell(shape, r, c) + form.suffix;
      at = text.find(std::string_view(whole).substr(0, form.prefix(shape, c).size() + 24), at);
      if (at == std::string::npos) {
        return ::testing::AssertionFailure() << "row " << r << " column " << c << " is missing";
      }
      if (text.compare(at, whole.size(), whole) != 0) {
        return ::testing::AssertionFailure() << "row " << r << " column " << c << " is cut at byte " << at;
      }
      at += whole.size();
    }
  }
  size_t records = 0;
  for (size_t mark = text.find(form.record_mark); mark != std::string::npos;
       mark = text.find(form.record_mark, mark + 1)) {
    ++records;
  }
  if (records != shape.rows) return ::testing::AssertionFailure() << records << " records for " << shape.rows << " rows";
  return ::testing::AssertionSuccess();
}

const cell_form html_cells = {[](const source_shape&, size_t) { return std::string("<td>"); }, "</td>", "   <tr>\n"};
const cell_form json_cells = {
    [](const source_shape& shape, size_t column) { return "\"" + column_name(shape, column) + "\": \""; }, "\"",
    "      {\n"};
const cell_form flat_json_cells = {json_cells.prefix, "\"", "{\""};

// Runs telvar under the cap in folder with args; the run must succeed without a word.
e2e::run_result run_capped(const temp_folder& folder, const std::vector<std::string>& args) {
  e2e::run_options options;
  options.cwd = folder.path();
  options.address_space_limit = address_space_limit;
  e2e::run_result run = e2e::run_telvar(args, options);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  return run;
}

// The rows of the one data table of a database, the row's reference left out, each as its
// values joined by ",".
std::vector<std::string> stored_rows(const std::string& db) {
  const std::vector<std::string> tables =
      db_rows(db, "select table_name from ref where table_name <> 'metadata';");
  if (tables.size() != 1) return tables;
  std::vector<std::string> rows = db_rows(db, "select * from `" + tables[0] + "` order by rowid;");
  for (std::string& row : rows) row.erase(0, row.find(',') + 1);
  return rows;
}

// The shape converted by every writer: HTML and JSON hold every cell whole, the cleaned-up
// copy and the split file (nothing to trim, one group) equal the source, the database holds
// every row.
void convert_through_every_writer(const source_shape& shape) {
  if (sanitizer_build()) GTEST_SKIP() << "the sanitizers' shadow memory leaves no room for an address-space limit";
  if (std::string(TELVAR_BINARY).empty()) GTEST_SKIP() << "telvar is not built";
  temp_folder folder("e2e_long_cells");
  ASSERT_FALSE(folder.path().empty());
  ASSERT_TRUE(write_source(folder.file("source.csv"), shape));
  const std::string source = e2e::read_file(folder.file("source.csv"));

  struct stream_case {
    const char* name;
    std::vector<std::string> options;
    const cell_form* form;  // null: the output equals the source
  } streams[] = {
      {"-csv_to_html", {"-csv_to_html"}, &html_cells},
      {"-csv_to_json", {"-csv_to_json"}, &json_cells},
      {"-csv_to_json -flat", {"-csv_to_json", "-flat"}, &flat_json_cells},
      {"-no_whitespace", {"-no_whitespace"}, nullptr},
  };
  for (const stream_case& c : streams) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"-src", "source.csv", "-quiet"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const e2e::run_result run = run_capped(folder, args);
    if (c.form != nullptr) {
      EXPECT_TRUE(cells_in_order(run.out, shape, *c.form));
    } else {
      EXPECT_TRUE(same_text(run.out, source));
    }
  }

  {
    SCOPED_TRACE("-split_into_files");
    run_capped(folder, {"-src", "source.csv", "-quiet", "-split_into_files", "-dst", "split"});
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder.file("split"))) {
      files.push_back(entry.path().string());
    }
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(same_text(e2e::read_file(files[0]), source));
  }

  {
    SCOPED_TRACE("-csv_to_sqlite");
    // A table of the database takes at most 2,000 columns, the row's reference and the column
    // for surplus fields among them: a wider source stores its first 1,998.
    source_shape stored = shape;
    stored.columns = std::min<size_t>(shape.columns, 1998);
    ASSERT_TRUE(write_source(folder.file("stored.csv"), stored));
    run_capped(folder, {"-src", "stored.csv", "-quiet", "-csv_to_sqlite", "-dst", "case.db"});
    const std::vector<std::string> rows = stored_rows(folder.file("case.db"));
    ASSERT_EQ(rows.size(), stored.rows);
    for (size_t r = 0; r < stored.rows; ++r) {
      // The column for surplus fields stays empty.
      std::string expected = row_line(stored, r);
      expected.back() = ',';
      ASSERT_TRUE(same_text(rows[r], expected)) << "row " << r;
    }
  }
}

// A source of long cells larger than the cap: the database conversion writes its rows in
// batches bounded by their bytes as well as by their number, so it never holds the source.
TEST(long_cells, a_database_conversion_holds_a_few_batches_not_the_source) {
  if (sanitizer_build()) GTEST_SKIP() << "the sanitizers' shadow memory leaves no room for an address-space limit";
  if (std::string(TELVAR_BINARY).empty()) GTEST_SKIP() << "telvar is not built";
  temp_folder folder("e2e_long_cells");
  ASSERT_FALSE(folder.path().empty());
  const source_shape shape{320, 3, 1 << 20};
  ASSERT_TRUE(write_source(folder.file("source.csv"), shape));
  run_capped(folder, {"-src", "source.csv", "-quiet", "-csv_to_sqlite", "-dst", "case.db"});
  const std::string db = folder.file("case.db");
  const std::vector<std::string> tables = db_rows(db, "select table_name from ref where table_name <> 'metadata';");
  ASSERT_EQ(tables.size(), 1u);
  // Every row in order, each cell whole and its own.
  EXPECT_EQ(db_rows(db, "select count(*), sum(length([2-b]) = " + std::to_string(shape.long_cell_bytes) +
                            "), sum([2-b] like 'r' || ([1-a]) || '-%') from `" + tables[0] + "`;"),
            std::vector<std::string>{"320,320,320"});
  EXPECT_EQ(db_rows(db, "select [1-a] from `" + tables[0] + "` order by rowid desc limit 1;"),
            std::vector<std::string>{"319"});
  // In batches of a few MiB each, every one with its run record.
  EXPECT_GE(std::stoi(db_rows(db, "select count(*) from metadata;").front()), 10);
}

TEST(long_cells, a_thousand_rows_of_64_kib_cells) { convert_through_every_writer({1000, 3, 64 << 10}); }

TEST(long_cells, one_row_of_a_16_mib_cell) { convert_through_every_writer({1, 3, 16 << 20}); }

TEST(long_cells, two_thousand_columns_by_two_thousand_rows) { convert_through_every_writer({2000, 2000, 0}); }

}  // namespace
