// SIGINT, SIGTERM and SIGHUP during a run: telvar stops at a row boundary, keeps every row it
// took whole (SQLite batches with their run records), says which output is incomplete and
// ends with 128 + the signal, by exiting rather than being killed.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/telvar_process.h"
#include "tests/sqlite_store/db_rows.h"
#include "tests/tool/json_check.h"

namespace {

using e2e::run_result;
using e2e::started_telvar;

// Rows shaped like an event export: short fields, then descriptions of a few bytes to 300,
// quoted as spreadsheets quote them when they hold the separator or quotes.
std::string event_rows(size_t count) {
  std::string rows;
  for (size_t i = 0; i < count; ++i) {
    rows += std::to_string(i) + ",host-" + std::to_string(i % 13) + ",";
    const size_t length = (i * 7919) % 300;
    if (i % 3 == 0) {
      rows += "\"logon from \"\"" + std::string(length, 'd') + "\"\", type 10\"";
    } else {
      rows += std::string(length, 'e');
    }
    rows += "\n";
  }
  return rows;
}

class interruption : public testing::Test {
 protected:
  // One source for every test, about 100 MB: far more than a run here reads before its signal.
  static void SetUpTestSuite() {
    source_dir_ = new temp_folder("telvar_interrupt_src");
    block_ = event_rows(2000);
    std::ofstream out(source_dir_->file("big.csv"), std::ios::binary);
    out << "id,host,description\n";
    for (int i = 0; i < 300; ++i) out << block_;
  }
  static void TearDownTestSuite() {
    delete source_dir_;
    source_dir_ = nullptr;
  }
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    ASSERT_FALSE(source_dir_->path().empty());
    std::filesystem::create_symlink(source_dir_->file("big.csv"), dir_.file("big.csv"));
    e2e::write_file(dir_.file("small.csv"), "id,host,description\n" + event_rows(20));
  }

  started_telvar start(const std::vector<std::string>& args, e2e::stdout_to out = e2e::stdout_to::capture,
                       bool stdin_held_open = false) {
    e2e::run_options options;
    options.cwd = dir_.path();
    options.out = out;
    options.stdin_held_open = stdin_held_open;
    return e2e::start_telvar(args, options);
  }
  // Waits until the file holds at least `bytes`; false when that does not happen in a minute.
  bool wait_for_size(const std::string& name, off_t bytes) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    struct stat status {};
    while (std::chrono::steady_clock::now() < deadline) {
      if (stat(dir_.file(name).c_str(), &status) == 0 && status.st_size >= bytes) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }
  // Sends the signal while the run is inside its work: once the file `name` holds `bytes`,
  // the process is stopped, found still there, signalled and let go on. False when it had
  // ended before it could be stopped.
  bool interrupt_when_written(started_telvar& run, const std::string& name, off_t bytes, int signal) {
    if (!wait_for_size(name, bytes)) return false;
    kill(run.pid, SIGSTOP);
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(run.pid), &info, WSTOPPED | WEXITED | WNOWAIT) != 0 || info.si_code != CLD_STOPPED)
      return false;
    kill(run.pid, signal);
    kill(run.pid, SIGCONT);
    return true;
  }
  // Runs telvar with names piped to it (standard input held open), sends the signal as
  // interrupt_when_written does and waits for the end, which must be telvar's own: status
  // 128 + the signal, not a death by it.
  run_result interrupted_run(const std::vector<std::string>& args, const std::string& names,
                             const std::string& name, off_t bytes, int signal) {
    started_telvar run = start(args, e2e::stdout_to::capture, true);
    EXPECT_EQ(write(run.stdin_writer, names.data(), names.size()), static_cast<ssize_t>(names.size()));
    EXPECT_TRUE(interrupt_when_written(run, name, bytes, signal)) << "converted before the signal";
    const run_result result = e2e::wait_telvar(run);
    EXPECT_EQ(result.signal, 0) << "telvar ends itself";
    EXPECT_EQ(result.status, 128 + signal);
    return result;
  }
  std::string get(const std::string& name) { return e2e::read_file(dir_.file(name)); }

  static size_t count_of(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
  }
  // An HTML document that ends with a whole row and without its closing text.
  static void expect_whole_rows_unclosed(const std::string& html) {
    EXPECT_TRUE(html.ends_with("</tr>\n")) << html.substr(html.size() - std::min<size_t>(html.size(), 200));
    EXPECT_EQ(count_of(html, "<tr"), count_of(html, "</tr>"));
    EXPECT_EQ(html.find("</html>"), std::string::npos) << "an incomplete document is not closed";
  }

  static temp_folder* source_dir_;
  static std::string block_;  // the rows the source repeats
  temp_folder dir_{"telvar_interrupt"};
};

temp_folder* interruption::source_dir_ = nullptr;
std::string interruption::block_;

// Each signal, and what each writer leaves: whole rows, no closing text, one message. The
// results go into a pipe the test stops reading, so the signal surely comes mid-source.
TEST_F(interruption, AConversionStopsAtARowBoundaryWithItsOwnStatus) {
  struct row {
    const char* name;
    int signal;
    std::vector<std::string> action;
  };
  const row rows[] = {
      {"SIGINT, HTML", SIGINT, {"-csv_to_html"}},
      {"SIGHUP, JSON lines", SIGHUP, {"-csv_to_json", "-flat"}},
      {"SIGTERM, cleanup", SIGTERM, {"-no_whitespace"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<std::string> args = {"-src", "big.csv", "-quiet"};
    args.insert(args.end(), r.action.begin(), r.action.end());
    started_telvar run = start(args, e2e::stdout_to::pipe);
    std::string first(65536, '\0');
    for (size_t got = 0; got < first.size();) {
      const ssize_t more = read(run.out_reader, first.data() + got, first.size() - got);
      ASSERT_GT(more, 0);
      got += static_cast<size_t>(more);
    }
    // telvar fills the pipe and waits on it.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    kill(run.pid, r.signal);
    const run_result result = e2e::wait_telvar(run);
    EXPECT_EQ(result.signal, 0) << "telvar ends itself";
    EXPECT_EQ(result.status, 128 + r.signal);
    EXPECT_EQ(result.err, "interrupted: standard output is incomplete\n");

    const std::string written = first + result.out;
    EXPECT_LT(written.size(), std::filesystem::file_size(dir_.file("big.csv")) / 2) << "it stopped early";
    if (r.action[0] == "-csv_to_html") expect_whole_rows_unclosed(written);
    if (r.action[0] == "-csv_to_json") {
      e2e::write_file(dir_.file("written.json"), written);
      EXPECT_EQ(json_files_failures({{dir_.file("written.json"), true}}), "");
    }
    if (r.action[0] == "-no_whitespace") {
      // The cleanup copies these rows as they are: the last one is a whole row of the source.
      ASSERT_TRUE(written.ends_with("\n"));
      const std::string last_row = written.substr(written.rfind('\n', written.size() - 2) + 1);
      EXPECT_NE(("\n" + block_).find("\n" + last_row), std::string::npos) << last_row;
    }
  }
}

// The "-dst" file is the one named as incomplete.
TEST_F(interruption, TheDestinationFileIsNamed) {
  const run_result result =
      interrupted_run({"-src", "big.csv", "-dst", "big.html", "-csv_to_html", "-quiet"}, "", "big.html", 1 << 20, SIGINT);
  EXPECT_EQ(result.err, "interrupted: big.html is incomplete\n");
  expect_whole_rows_unclosed(get("big.html"));
}

// An SQLite conversion stops between rows: the database is sound and holds whole batches,
// each with the run record that names its rows.
TEST_F(interruption, ADatabaseKeepsWholeBatchesWithTheirRunRecords) {
  const run_result result =
      interrupted_run({"-src", "big.csv", "-dst", "case.db", "-csv_to_sqlite", "-quiet"}, "", "case.db", 8 << 20, SIGINT);
  EXPECT_EQ(result.err, "interrupted: case.db is incomplete\n");

  const std::string db = dir_.file("case.db");
  EXPECT_EQ(db_rows(db, "pragma integrity_check;"), std::vector<std::string>{"ok"});
  const std::vector<std::string> tables = db_rows(db, "select distinct data_tbl_name from metadata;");
  ASSERT_EQ(tables.size(), 1u);
  const std::vector<std::string> stored =
      db_rows(db, "select count(*), max(rowid) from [" + tables[0] + "];");
  // The run records cover exactly the rows stored, one after the other without a gap.
  const std::vector<std::string> covered = db_rows(
      db, "select sum(row_data_end - row_data_start + 1), max(row_data_end), "
          "sum(row_data_start != (select coalesce(max(b.row_data_end), 0) + 1 from metadata b "
          "where b.row_data_end < a.row_data_start)) from metadata a;");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(covered, std::vector<std::string>{stored[0] + ",0"});
  const long rows = std::stol(stored[0]);
  EXPECT_GT(rows, 0);
  EXPECT_LT(rows, 300000) << "it stopped early";
  EXPECT_EQ(db_rows(db, "select last_rowid from ref where table_name = '" + tables[0] + "';"),
            std::vector<std::string>{std::to_string(rows)});
}

// Split files are written by a thread of their own, in batches: a run stopped half way leaves
// whole rows, in the source's order, each as a conversion of the whole source writes it.
TEST_F(interruption, SplitFilesKeepWholeRowsInOrder) {
  // The rows of one block as a split file holds them (small.csv's group is big.csv's too).
  e2e::write_file(dir_.file("block.csv"), "id,host,description\n" + block_);
  e2e::run_options options;
  options.cwd = dir_.path();
  ASSERT_EQ(e2e::run_telvar({"-src", "block.csv", "-dst", "whole", "-split_into_files", "-quiet"}, options).status, 0);
  const std::vector<std::filesystem::path> files = {std::filesystem::directory_iterator(dir_.file("whole")), {}};
  ASSERT_EQ(files.size(), 1u);
  const std::string group = files[0].filename().string();
  const std::string whole = get("whole/" + group);
  const size_t header_end = whole.find('\n') + 1;
  std::vector<std::string> block_lines;
  for (size_t at = header_end; at < whole.size(); at = whole.find('\n', at) + 1)
    block_lines.push_back(whole.substr(at, whole.find('\n', at) + 1 - at));
  ASSERT_EQ(block_lines.size(), 2000u);

  const run_result result =
      interrupted_run({"-src", "big.csv", "-dst", "out", "-split_into_files", "-quiet"}, "", "out/" + group, 8 << 20, SIGTERM);
  EXPECT_EQ(result.err, "interrupted: out is incomplete\n");
  const std::string written = get("out/" + group);
  ASSERT_EQ(written.substr(0, header_end), whole.substr(0, header_end));
  ASSERT_TRUE(written.ends_with("\n"));
  size_t rows = 0;
  for (size_t at = header_end; at < written.size(); at = written.find('\n', at) + 1, ++rows) {
    const std::string line = written.substr(at, written.find('\n', at) + 1 - at);
    ASSERT_EQ(line, block_lines[rows % block_lines.size()]) << "row " << rows;
  }
  EXPECT_GT(rows, 20000u) << "a batch of the writer thread was written";
  EXPECT_LT(rows, 600000u) << "it stopped early";
}

// Under "-pipe": a signal ends the wait for the next name at once, and a source stopped half
// way is named; the names after it are left alone.
TEST_F(interruption, APipeStopsWhileWaitingForNamesAndWhileConverting) {
  {
    SCOPED_TRACE("waiting for a name");
    started_telvar run = start({"-pipe", "-dst", "out", "-csv_to_html", "-quiet"}, e2e::stdout_to::capture, true);
    const std::string names = "small.csv\n";
    ASSERT_EQ(write(run.stdin_writer, names.data(), names.size()), static_cast<ssize_t>(names.size()));
    // The document is whole once its closing text is there; telvar then waits for a name.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!get("out/small.html").ends_with("</html>\n") && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(run.pid, SIGTERM);
    const auto signalled = std::chrono::steady_clock::now();
    // Standard input stays open until telvar has ended.
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(run.pid), &info, WEXITED | WNOWAIT), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(1));
    const run_result result = e2e::wait_telvar(run);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.status, 128 + SIGTERM);
    EXPECT_EQ(result.err, "analyzing small.csv\n");
    EXPECT_TRUE(get("out/small.html").ends_with("</html>\n"));
  }
  {
    SCOPED_TRACE("converting");
    const run_result result = interrupted_run({"-pipe", "-dst", "out2", "-csv_to_html", "-quiet"},
                                              "big.csv\nsmall.csv\n", "out2/big.html", 1 << 20, SIGHUP);
    EXPECT_EQ(result.err, "analyzing big.csv\ninterrupted: out2/big.html is incomplete\n");
    expect_whole_rows_unclosed(get("out2/big.html"));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("out2/small.html")));
  }
}

// A signal that comes the moment the first output appears (the database, the results file, the
// "-pipe" folder: the test's preloaded library raises it there) is noted like any other: the
// run ends itself with 128 + the signal and names the output it leaves incomplete.
TEST_F(interruption, ASignalAsTheFirstOutputAppearsEndsTheRunInOrder) {
  struct row {
    const char* name;
    std::vector<std::string> args;
    const char* created;   // the output whose creation brings the signal
    std::string expected;  // standard error
  };
  const std::string db = dir_.file("case.db");
  const std::string results = dir_.file("results.json");
  const std::string folder = dir_.file("out");
  const row rows[] = {
      {"database", {"-src", "small.csv", "-dst", db, "-csv_to_sqlite"}, "case.db",
       "interrupted: " + db + " is incomplete\n"},
      {"results file", {"-src", "small.csv", "-out", results, "-csv_to_json"}, "results.json",
       "interrupted: " + results + " is incomplete\n"},
      // No source was begun: none is incomplete.
      {"-pipe database", {"-pipe", "-dst", db, "-csv_to_sqlite"}, "case.db", ""},
      {"-pipe folder", {"-pipe", "-dst", folder, "-csv_to_html"}, "out", ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::filesystem::remove_all(db);
    std::filesystem::remove_all(results);
    std::filesystem::remove_all(folder);
    std::vector<std::string> args = r.args;
    args.push_back("-quiet");
    e2e::run_options options;
    options.cwd = dir_.path();
    options.stdin_text = "small.csv\n";
    options.stdin_given = true;
    options.environment = e2e::fault_shim_environment(
        dir_.file(r.created), {"TELVAR_FAULT_SIGNAL_ON_CREATE=" + std::to_string(SIGTERM)});
    const run_result result = e2e::run_telvar(args, options);
    EXPECT_EQ(result.signal, 0) << "telvar ends itself";
    EXPECT_EQ(result.status, 128 + SIGTERM);
    EXPECT_EQ(result.err, r.expected);
    EXPECT_TRUE(std::filesystem::exists(dir_.file(r.created)));
    if (std::string(r.created) == "case.db") {
      EXPECT_EQ(db_rows(db, "pragma integrity_check;"), std::vector<std::string>{"ok"});
      EXPECT_EQ(db_rows(db, "select count(*) from metadata;"), std::vector<std::string>{"0"});
    }
  }
}

}  // namespace
