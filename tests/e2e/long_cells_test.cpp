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

// A long cell starts with its row's number and its letters a to z, over and over, start at a
// row's own offset, so that a piece of another row, a repeated or lost stretch shows in a
// comparison. Nothing of it is kept afterwards: a telvar started later begins as a copy of this
// process, and its peak memory would count what this one holds.
std::string cell(const source_shape& shape, size_t row, size_t column) {
  if (shape.long_cell_bytes == 0) {
    const std::string row_number = std::to_string(row);
    return "r" + row_number + "c" + std::to_string(column);
  }
  if (column != 1) return std::to_string(row);
  static const std::string twice = "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz";
  const std::string_view letters = std::string_view(twice).substr(row % 26, 26);
  const std::string row_number = std::to_string(row);
  std::string text = "r" + row_number + "-";
  text.reserve(shape.long_cell_bytes);
  while (text.size() < shape.long_cell_bytes) text += letters.substr(0, shape.long_cell_bytes - text.size());
  return text;
}

std::string header_line(const source_shape& shape) {
  std::string line;
  for (size_t c = 0; c < shape.columns; ++c) {
    if (c > 0) line += ',';
    line += column_name(shape, c);
  }
  return line + "\n";
}

std::string row_line(const source_shape& shape, size_t row) {
  std::string line;
  for (size_t c = 0; c < shape.columns; ++c) {
    if (c > 0) line += ',';
    line += cell(shape, row, c);
  }
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
    [](const source_shape& shape, size_t column) {
      const std::string name = column_name(shape, column);
      return "\"" + name + "\": \"";
    },
    "\"",
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

// The writers of the tests below, each into its own output in the run's folder.
struct writer_case {
  const char* name;
  std::vector<std::string> options;
};
const writer_case every_writer[] = {
    {"-csv_to_html", {"-csv_to_html"}},
    {"-csv_to_json", {"-csv_to_json"}},
    {"-csv_to_json -flat", {"-csv_to_json", "-flat"}},
    {"-no_whitespace", {"-no_whitespace"}},
    {"-split_into_files", {"-split_into_files", "-dst", "split"}},
    {"-csv_to_sqlite", {"-csv_to_sqlite", "-dst", "case.db"}},
};

// Runs the writer on source in folder (its earlier outputs removed), under cap when it is not 0.
e2e::run_result run_writer(const temp_folder& folder, const writer_case& writer, const std::string& source,
                           rlim_t cap) {
  std::filesystem::remove_all(folder.file("split"));
  std::filesystem::remove(folder.file("case.db"));
  std::vector<std::string> args = {"-src", source, "-quiet"};
  args.insert(args.end(), writer.options.begin(), writer.options.end());
  e2e::run_options options;
  options.cwd = folder.path();
  options.address_space_limit = cap;
  return e2e::run_telvar(args, options);
}

// A long cell costs every writer a few copies of itself at most, never a copy per step on its
// way (the line read, its cells, an escaped form six times its size, a batch's text): the
// memory a run holds beyond that of a run on a short cell stays within three times the cell.
TEST(long_cells, a_long_cell_costs_a_few_copies_of_itself_in_every_writer) {
  if (sanitizer_build()) GTEST_SKIP() << "the sanitizers' shadow memory and quarantine hide a writer's own memory";
  if (std::string(TELVAR_BINARY).empty()) GTEST_SKIP() << "telvar is not built";
  temp_folder folder("e2e_long_cells");
  ASSERT_FALSE(folder.path().empty());
  const source_shape short_cell{1, 3, 1000};
  const source_shape long_cell{1, 3, 32 << 20};
  ASSERT_TRUE(write_source(folder.file("short.csv"), short_cell));
  ASSERT_TRUE(write_source(folder.file("long.csv"), long_cell));
  for (const writer_case& writer : every_writer) {
    SCOPED_TRACE(writer.name);
    const e2e::run_result base = run_writer(folder, writer, "short.csv", 0);
    const e2e::run_result run = run_writer(folder, writer, "long.csv", 0);
    ASSERT_EQ(base.status, 0) << base.err;
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_LE(run.peak_kib - base.peak_kib, long(3 * long_cell.long_cell_bytes / 1024))
        << "peak " << run.peak_kib << " KiB against " << base.peak_kib << " KiB for a short cell";
  }
}

// Memory that runs out is named as the cause, by every writer: never the source blamed for it
// ("prob analyzing"), never an abort.
TEST(long_cells, a_cell_too_long_for_the_memory_left_is_reported_as_out_of_memory) {
  if (sanitizer_build()) GTEST_SKIP() << "the sanitizers' shadow memory leaves no room for an address-space limit";
  if (std::string(TELVAR_BINARY).empty()) GTEST_SKIP() << "telvar is not built";
  temp_folder folder("e2e_long_cells");
  ASSERT_FALSE(folder.path().empty());
  constexpr rlim_t cap = rlim_t{48} << 20;
  ASSERT_TRUE(write_source(folder.file("short.csv"), {1, 3, 1000}));
  ASSERT_TRUE(write_source(folder.file("long.csv"), {1, 3, 32 << 20}));
  for (const writer_case& writer : every_writer) {
    SCOPED_TRACE(writer.name);
    // The cap leaves room for a run: only the long cell does not fit.
    const e2e::run_result fits = run_writer(folder, writer, "short.csv", cap);
    EXPECT_EQ(fits.status, 0) << fits.err;
    const e2e::run_result run = run_writer(folder, writer, "long.csv", cap);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err, "prob out of memory\n");
  }
}

// Under any cap a run ends in order: converted, or with status 255 and the message of what
// failed. The threads that write split files and database batches run out of memory too; what
// they throw ends the run as it does on the reading thread, never in an abort.
TEST(long_cells, memory_running_out_in_any_writer_thread_ends_the_run_in_order) {
  if (sanitizer_build()) GTEST_SKIP() << "the sanitizers' shadow memory leaves no room for an address-space limit";
  if (std::string(TELVAR_BINARY).empty()) GTEST_SKIP() << "telvar is not built";
  temp_folder folder("e2e_long_cells");
  ASSERT_FALSE(folder.path().empty());
  ASSERT_TRUE(write_source(folder.file("source.csv"), {300, 3, 100 << 10}));
  for (const writer_case& writer : every_writer) {
    for (const rlim_t cap_mib : {40, 56, 72}) {
      SCOPED_TRACE(std::string(writer.name) + " under " + std::to_string(cap_mib) + " MiB");
      const e2e::run_result run = run_writer(folder, writer, "source.csv", cap_mib << 20);
      EXPECT_EQ(run.signal, 0) << run.err;
      if (run.status == 0) {
        EXPECT_EQ(run.err, "");
        continue;
      }
      EXPECT_EQ(run.status, 255) << run.err;
      EXPECT_TRUE(run.err.find("prob out of memory\n") != std::string::npos ||
                  run.err.find("prob writing") != std::string::npos)
          << run.err;
      EXPECT_EQ(run.err.find("prob analyzing"), std::string::npos) << run.err;
    }
  }
}

TEST(long_cells, a_thousand_rows_of_64_kib_cells) { convert_through_every_writer({1000, 3, 64 << 10}); }

TEST(long_cells, one_row_of_a_16_mib_cell) { convert_through_every_writer({1, 3, 16 << 20}); }

TEST(long_cells, two_thousand_columns_by_two_thousand_rows) { convert_through_every_writer({2000, 2000, 0}); }

}  // namespace
