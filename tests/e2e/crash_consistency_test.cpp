// "-csv_to_sqlite" killed (SIGKILL) at random moments of a large conversion: the database it
// leaves passes the integrity check, every data table holds exactly the rows its run records
// name (never half a batch), and a later run into the same database succeeds and appends after
// them.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "tests/e2e/telvar_process.h"
#include "tests/sqlite_store/db_rows.h"

namespace {

// Every row of sql through a read-write connection, so that a journal left by the killed
// process is rolled back first, as any later user of the file would.
std::vector<std::string> rows_of(const std::string& path, const std::string& sql) {
  return db_rows(path, sql, SQLITE_OPEN_READWRITE);
}

// A banner-less source of rows rows, cells with quotes and separators as spreadsheets write them.
void write_source(const std::string& path, int rows) {
  std::ofstream out(path, std::ios::binary);
  out << "host,user,event,detail\n";
  std::mt19937 random(7);
  for (int i = 0; i < rows; ++i) {
    out << "WS" << i % 50 << ",user" << i % 77 << ',' << i << ",\"detail, \"\"quoted\"\" "
        << std::string(10 + random() % 70, 'x') << "\"\n";
  }
}

bool has_run_records(const std::string& db) {
  return rows_of(db, "select count(*) from sqlite_master where name = 'metadata';") == std::vector<std::string>{"1"};
}

// What the run records claim against what the data tables hold; empty when they agree (a
// database killed before its first run record holds no row either).
std::string disagreement(const std::string& db) {
  std::string found;
  if (!has_run_records(db)) {
    // Tables may have been made before the first run record: they hold no row.
    for (const std::string& table : rows_of(db, "select name from sqlite_master where type = 'table';")) {
      if (rows_of(db, "select count(*) from \"" + table + "\";") != std::vector<std::string>{"0"})
        found += table + ": rows without run records\n";
    }
    return found;
  }
  for (const std::string& table : rows_of(db, "select distinct data_tbl_name from metadata;")) {
    if (table.rfind("error:", 0) == 0) return table;
    const std::string name = "\"" + table + "\"";
    const std::string claimed =
        "(select sum(row_data_end - row_data_start + 1) from metadata where data_tbl_name = '" + table + "')";
    const std::string outside = "(select count(*) from " + name +
                                " t where not exists (select 1 from metadata m where m.data_tbl_name = '" + table +
                                "' and t.rowid between m.row_data_start and m.row_data_end))";
    const std::vector<std::string> check =
        rows_of(db, "select (select count(*) from " + name + ") = " + claimed + ", " + outside + ";");
    if (check != std::vector<std::string>{"1,0"}) found += table + ": " + (check.empty() ? "" : check[0]) + "\n";
  }
  return found;
}

TEST(crash_consistency, a_killed_sqlite_conversion_leaves_whole_batches_only) {
  if (std::string(TELVAR_BINARY).empty()) GTEST_SKIP() << "telvar is not built";
  temp_folder folder("e2e_crash");
  ASSERT_FALSE(folder.path().empty());
  const std::string source = folder.file("big.csv");
  write_source(source, 300000);
  const std::string small = folder.file("small.csv");
  write_source(small, 10);

  // How long a whole conversion takes here bounds the moments the kills are spread over.
  const auto started = std::chrono::steady_clock::now();
  const e2e::run_result whole =
      e2e::run_telvar({"-src", source, "-dst", folder.file("whole.db"), "-csv_to_sqlite", "-quiet"});
  ASSERT_EQ(whole.status, 0) << whole.err;
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
  EXPECT_EQ(rows_of(folder.file("whole.db"), "select sum(row_data_end - row_data_start + 1) from metadata;"),
            std::vector<std::string>{"300000"});

  std::mt19937 random(2026);
  // The moments fall in the first two thirds of that time: a later run may go faster than the
  // first (warm caches, a machine less busy), and a kill after its end proves nothing.
  std::uniform_int_distribution<long> moment(1000, std::max<long>(2000, static_cast<long>(took.count()) * 2 / 3));
  int killed_midway = 0;
  for (int attempt = 0; attempt < 20; ++attempt) {
    SCOPED_TRACE("attempt " + std::to_string(attempt));
    const std::string db = folder.file("killed" + std::to_string(attempt) + ".db");
    e2e::started_telvar run = e2e::start_telvar({"-src", source, "-dst", db, "-csv_to_sqlite", "-quiet"});
    ASSERT_GT(run.pid, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    kill(run.pid, SIGKILL);
    const e2e::run_result ended = e2e::wait_telvar(run);
    if (ended.signal == SIGKILL) ++killed_midway;
    if (!std::filesystem::exists(db)) continue;

    EXPECT_EQ(rows_of(db, "pragma integrity_check;"), std::vector<std::string>{"ok"});
    EXPECT_EQ(disagreement(db), "");

    // A second run of rows of the same shape succeeds and appends after what is there.
    const std::vector<std::string> before =
        has_run_records(db)
            ? rows_of(db, "select coalesce(max(row_data_end), 0), coalesce(max(rowid), 0) from metadata;")
            : std::vector<std::string>{"0,0"};
    const e2e::run_result again = e2e::run_telvar({"-src", small, "-dst", db, "-csv_to_sqlite", "-quiet"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(rows_of(db, "pragma integrity_check;"), std::vector<std::string>{"ok"});
    EXPECT_EQ(disagreement(db), "");
    ASSERT_EQ(before.size(), 1u);
    const std::string last_row = before[0].substr(0, before[0].find(','));
    const std::string last_record = before[0].substr(before[0].find(',') + 1);
    EXPECT_EQ(rows_of(db, "select row_data_start, row_data_end from metadata where rowid > " + last_record + ";"),
              std::vector<std::string>{std::to_string(std::stol(last_row) + 1) + "," +
                                       std::to_string(std::stol(last_row) + 10)});
  }
  // The moments are spread over the whole run, so most kills land while it converts.
  EXPECT_GE(killed_midway, 10);
}

}  // namespace
