// The database readers end to end: a database written by the built telvar from two sources is
// read back by "-artifact_tables", "-sqlite_to_csv", "-metadata_records" and "-ref_records",
// and their files and listings are compared with the expected ones byte for byte; in every
// journal state the database can be found in, the folder around it stays as it was.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/telvar_process.h"
#include "tests/sqlite_store/db_rows.h"

namespace {

const std::string run_keys = "dorvel.Run_keys-754ab6811d9db6a942ec561ff24a2f8c";
const std::string services = "dorvel.Services-f4afda7a70966ae0482af1dc551cf170";

// The runtimes that open the lines of a table dump change with every run.
std::string mask_runtimes(const std::string& text) {
  return std::regex_replace(text, std::regex("(^|\n)[0-9]{17,20}\\|"), "$1<runtime>|");
}

class sqlite_readers : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(TELVAR_BINARY).empty()) GTEST_SKIP() << "telvar is not built";
    ASSERT_FALSE(folder.path().empty());
  }

  // telvar with args in the run's folder.
  e2e::run_result telvar(std::vector<std::string> args) const {
    args.push_back("-quiet");
    e2e::run_options options;
    options.cwd = folder.path();
    return e2e::run_telvar(args, options);
  }

  // case.db from the two registry sources, recorded by their names in the run's folder.
  void write_database() const {
    e2e::write_file(folder.file("registry.csv"), e2e::fixture("sqlite_registry.csv"));
    e2e::write_file(folder.file("later.csv"), e2e::fixture("sqlite_registry_later.csv"));
    for (const char* source : {"registry.csv", "later.csv"}) {
      const e2e::run_result run = telvar({"-src", source, "-dst", "case.db", "-csv_to_sqlite"});
      ASSERT_EQ(run.status, 0) << run.err;
    }
  }

  std::string file(const std::string& name) const { return e2e::read_file(folder.file(name)); }

  temp_folder folder{"e2e_sqlite_readers"};
};

// Every file of a folder (not below it) with its whole content.
std::map<std::string, std::string> files_in(const std::string& path) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(path))
    files[entry.path().filename().string()] = e2e::read_file(entry.path().string());
  return files;
}

// A connection of the test's own, kept open while copies of the files are taken.
struct open_connection {
  explicit open_connection(const std::string& path) { sqlite3_open(path.c_str(), &db); }
  ~open_connection() { sqlite3_close(db); }
  open_connection(const open_connection&) = delete;
  open_connection& operator=(const open_connection&) = delete;
  std::string exec(const std::string& sql) const {
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    std::string text = rc == SQLITE_OK ? "" : (error != nullptr ? error : "failed");
    sqlite3_free(error);
    return text;
  }
  sqlite3* db = nullptr;
};

// The files of a database as a reader may meet them: copied (the main file emptied when asked)
// into a folder of their own, named case.db and so on.
void take_state(const std::string& from, const std::string& folder, const std::vector<std::string>& suffixes,
                bool empty_main = false) {
  std::filesystem::create_directories(folder);
  e2e::write_file(folder + "/case.db", empty_main ? std::string() : e2e::read_file(from));
  for (const std::string& suffix : suffixes) e2e::write_file(folder + "/case.db" + suffix, e2e::read_file(from + suffix));
}

// A reader adds, changes and removes no file beside the database, whatever its journal state,
// and reads every committed row, also those still in a write-ahead log beside an empty main
// file (a live database copied before its first checkpoint). An interrupted write's journal
// is refused with what to do about it. The private copy a log is read from is gone at the end.
TEST_F(sqlite_readers, every_journal_state_is_read_and_left_as_it_was) {
  e2e::write_file(folder.file("registry.csv"), e2e::fixture("sqlite_registry.csv"));
  e2e::write_file(folder.file("later.csv"), e2e::fixture("sqlite_registry_later.csv"));
  const std::string states = folder.file("states");
  {
    // The first run in the ordinary journal mode, the second in a log a reader keeps open.
    ASSERT_EQ(telvar({"-src", "registry.csv", "-dst", "wal.db", "-csv_to_sqlite"}).status, 0);
    // A read transaction left open keeps the library from folding the log into the main file
    // when the writer's connection closes.
    const std::string keep_log = "pragma journal_mode=wal; begin; select count(*) from sqlite_master;";
    const open_connection keeper(folder.file("wal.db"));
    ASSERT_EQ(keeper.exec(keep_log), "");
    ASSERT_EQ(telvar({"-src", "later.csv", "-dst", "wal.db", "-csv_to_sqlite"}).status, 0);
    take_state(folder.file("wal.db"), states + "/log", {"-wal"});
    take_state(folder.file("wal.db"), states + "/log and index", {"-wal", "-shm"});

    // Both runs in the log: the main file holds nothing a reader needs.
    const open_connection fresh(folder.file("fresh.db"));
    ASSERT_EQ(fresh.exec(keep_log), "");
    for (const char* source : {"registry.csv", "later.csv"})
      ASSERT_EQ(telvar({"-src", source, "-dst", "fresh.db", "-csv_to_sqlite"}).status, 0);
    take_state(folder.file("fresh.db"), states + "/log beside an empty file", {"-wal"}, true);
    for (const char* log : {"wal.db-wal", "fresh.db-wal"}) ASSERT_GT(std::filesystem::file_size(folder.file(log)), 0u);
  }
  // The last connection closed: everything is in the main file, still in write-ahead mode.
  take_state(folder.file("wal.db"), states + "/write-ahead, no log", {});
  take_state(folder.file("wal.db"), states + "/clean", {});
  ASSERT_EQ(open_connection(states + "/clean/case.db").exec("pragma journal_mode=delete;"), "");
  take_state(states + "/clean/case.db", states + "/empty journal", {});
  e2e::write_file(states + "/empty journal/case.db-journal", "");
  {
    // A writer stopped inside its transaction, its changes partly in the main file.
    const open_connection writer(states + "/clean/case.db");
    ASSERT_EQ(writer.exec("pragma cache_size=1; begin; create table filler (x); "
                          "insert into filler select zeroblob(3000) from metadata, metadata, metadata;"
                          "delete from metadata;"),
              "");
    take_state(states + "/clean/case.db", states + "/hot journal", {"-journal"});
    ASSERT_EQ(writer.exec("rollback;"), "");
  }

  const std::string private_copies = folder.file("tmp");
  std::filesystem::create_directories(private_copies);
  struct reader_case {
    const char* name;
    std::vector<std::string> args;
    const char* listing;  // the expected listing, or the table whose export is compared
  } readers[] = {
      {"metadata records", {"-metadata_records"}, "sqlite_metadata_records.txt"},
      {"ref records", {"-ref_records"}, "sqlite_ref_records.txt"},
      {"artifact tables", {"-artifact_tables", "-dst", "out"}, nullptr},
      {"one table", {"-sqlite_to_csv", run_keys, "-dst", "table.csv"}, nullptr},
  };
  for (const auto& entry : std::filesystem::directory_iterator(states)) {
    const std::string state = entry.path().filename().string();
    const bool hot = state == "hot journal";
    const std::map<std::string, std::string> before = files_in(entry.path().string());
    for (const reader_case& reader : readers) {
      SCOPED_TRACE(state + ", " + reader.name);
      std::filesystem::remove_all(folder.file("out"));
      std::filesystem::remove(folder.file("table.csv"));
      std::vector<std::string> args = {"-src", "states/" + state + "/case.db", "-quiet"};
      args.insert(args.end(), reader.args.begin(), reader.args.end());
      e2e::run_options options;
      options.cwd = folder.path();
      options.environment = {"TMPDIR=" + private_copies};
      const e2e::run_result run = e2e::run_telvar(args, options);
      EXPECT_EQ(files_in(entry.path().string()), before);
      EXPECT_TRUE(std::filesystem::is_empty(private_copies));
      if (hot) {
        EXPECT_EQ(run.status, 255);
        EXPECT_EQ(run.err, "prob reading states/hot journal/case.db: states/hot journal/case.db-journal holds an "
                           "interrupted write; one read-write open of the database rolls it back (open a copy of "
                           "both files to keep them as they are), aborting\n");
        continue;
      }
      ASSERT_EQ(run.status, 0) << run.err;
      if (reader.listing != nullptr) {
        e2e::expect_matches_file(run.out, reader.listing);
      } else if (reader.args[0] == "-artifact_tables") {
        e2e::expect_matches_file(file("out/" + run_keys + ".csv"), "sqlite_artifact_run_keys.csv");
        e2e::expect_matches_file(file("out/" + services + ".csv"), "sqlite_artifact_services.csv");
      } else {
        e2e::expect_matches_file(mask_runtimes(file("table.csv")), "sqlite_to_csv_run_keys.csv");
      }
    }
  }
}

TEST_F(sqlite_readers, artifact_tables_write_each_table_with_its_run_records) {
  write_database();
  const e2e::run_result run = telvar({"-src", "case.db", "-dst", "out", "-artifact_tables"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder.file("out")))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{run_keys + ".csv", services + ".csv"}));
  e2e::expect_matches_file(file("out/" + run_keys + ".csv"), "sqlite_artifact_run_keys.csv");
  e2e::expect_matches_file(file("out/" + services + ".csv"), "sqlite_artifact_services.csv");
}

TEST_F(sqlite_readers, artifact_tables_take_the_changed_separator) {
  write_database();
  const e2e::run_result run =
      telvar({"-src", "case.db", "-dst", "out", "-artifact_tables", "-change_csv_separator", ","});
  EXPECT_EQ(run.status, 0) << run.err;
  e2e::expect_matches_file(file("out/" + run_keys + ".csv"), "sqlite_artifact_run_keys_comma.csv");
}

// A TAB named in words is written as a TAB, also where values may be quoted.
TEST_F(sqlite_readers, artifact_tables_write_a_tab_named_in_words) {
  write_database();
  std::string header = e2e::fixture("expected/sqlite_artifact_run_keys_comma.csv");
  header = header.substr(0, header.find('\n') + 1);
  std::replace(header.begin(), header.end(), ',', '\t');
  std::string first;
  for (const char* name : {"tab", "TAB", "\\t"}) {
    for (const bool quoted : {false, true}) {
      SCOPED_TRACE(std::string(name) + (quoted ? " with quoted fields" : ""));
      std::filesystem::remove_all(folder.file("out"));
      std::vector<std::string> args = {"-src", "case.db", "-dst", "out", "-artifact_tables", "-change_csv_separator", name};
      if (quoted) args.push_back("-enable_quoted_csv_fields");
      const e2e::run_result run = telvar(args);
      ASSERT_EQ(run.status, 0) << run.err;
      const std::string table = file("out/" + run_keys + ".csv");
      EXPECT_EQ(table.substr(0, table.find('\n') + 1), header);
      if (first.empty()) first = table;
      EXPECT_EQ(table, first);
    }
  }
}

TEST_F(sqlite_readers, listings_of_run_records_and_tables) {
  write_database();
  const e2e::run_result metadata = telvar({"-src", "case.db", "-metadata_records"});
  EXPECT_EQ(metadata.status, 0) << metadata.err;
  e2e::expect_matches_file(metadata.out, "sqlite_metadata_records.txt");
  const e2e::run_result ref = telvar({"-src", "case.db", "-ref_records"});
  EXPECT_EQ(ref.status, 0) << ref.err;
  e2e::expect_matches_file(ref.out, "sqlite_ref_records.txt");
}

TEST_F(sqlite_readers, one_table_to_csv_whatever_cleanup_options_are_given) {
  write_database();
  // None of these makes the database a CSV source to clean up.
  const std::vector<std::vector<std::string>> extras = {
      {}, {"-change_csv_separator", ","}, {"-no_whitespace"}, {"-csvgen"}, {"-csv"}};
  for (const auto& extra : extras) {
    SCOPED_TRACE(extra.empty() ? "plain" : extra[0]);
    std::vector<std::string> args = {"-src", "case.db", "-dst", "table.csv", "-sqlite_to_csv", run_keys};
    args.insert(args.end(), extra.begin(), extra.end());
    const e2e::run_result run = telvar(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    e2e::expect_matches_file(mask_runtimes(file("table.csv")), "sqlite_to_csv_run_keys.csv");
    EXPECT_EQ(db_rows(folder.file("case.db"), "select count(*) from `" + run_keys + "`;"),
              std::vector<std::string>{"4"});
  }
}

TEST_F(sqlite_readers, no_results_from_an_empty_database) {
  // A source with a header and no rows: the store's tables and nothing in them.
  e2e::write_file(folder.file("empty.csv"), "name,value,more\n");
  ASSERT_EQ(telvar({"-src", "empty.csv", "-dst", "tables.db", "-csv_to_sqlite"}).status, 0);
  e2e::write_file(folder.file("zero.db"), "");

  struct empty_case {
    const char* name;
    std::vector<std::string> args;
  } cases[] = {
      {"no file content, metadata records", {"-src", "zero.db", "-metadata_records"}},
      {"no file content, ref records", {"-src", "zero.db", "-ref_records"}},
      {"no file content, artifact tables", {"-src", "zero.db", "-dst", "out", "-artifact_tables"}},
      {"no file content, one table", {"-src", "zero.db", "-dst", "t.csv", "-sqlite_to_csv", "metadata"}},
      {"no run records", {"-src", "tables.db", "-metadata_records"}},
      {"no data tables", {"-src", "tables.db", "-dst", "out", "-artifact_tables"}},
      {"empty table", {"-src", "tables.db", "-dst", "t.csv", "-sqlite_to_csv", "metadata"}},
      {"missing table", {"-src", "tables.db", "-dst", "t.csv", "-sqlite_to_csv", "nothere"}},
  };
  for (const empty_case& c : cases) {
    SCOPED_TRACE(c.name);
    e2e::write_file(folder.file("t.csv"), "kept\n");
    const e2e::run_result run = telvar(c.args);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "no results\n");
    // Nothing to write leaves an existing destination as it was.
    EXPECT_EQ(file("t.csv"), "kept\n");
  }
}

TEST_F(sqlite_readers, destinations_that_cannot_be_written) {
  write_database();
  ASSERT_EQ(mkdir(folder.file("folder").c_str(), 0777), 0);
  const e2e::run_result one = telvar({"-src", "case.db", "-dst", "folder", "-sqlite_to_csv", run_keys});
  EXPECT_EQ(one.status, 255);
  EXPECT_EQ(one.err, "prob accessing folder, aborting\nno results\n");

  const e2e::run_result itself = telvar({"-src", "case.db", "-dst", "case.db", "-sqlite_to_csv", run_keys});
  EXPECT_EQ(itself.status, 255);
  EXPECT_EQ(itself.err,
            "prob accessing case.db, it is the database being read, aborting\nno results\n");
  EXPECT_EQ(db_rows(folder.file("case.db"), "select count(*) from metadata;"), std::vector<std::string>{"3"});

  // A file another run holds (its lock taken here) is left as it is.
  e2e::write_file(folder.file("held.csv"), "another run's rows\n");
  const int holder = open(folder.file("held.csv").c_str(), O_RDWR);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  const e2e::run_result held = telvar({"-src", "case.db", "-dst", "held.csv", "-sqlite_to_csv", run_keys});
  close(holder);
  EXPECT_EQ(held.status, 255);
  EXPECT_EQ(held.err, "prob accessing held.csv, another run is writing it, aborting\nno results\n");
  EXPECT_EQ(file("held.csv"), "another run's rows\n");

  // One table's file is blocked by a folder of its name: the other table is still written.
  ASSERT_EQ(std::filesystem::create_directories(folder.file("out/" + run_keys + ".csv")), true);
  const e2e::run_result tables = telvar({"-src", "case.db", "-dst", "out", "-artifact_tables"});
  EXPECT_EQ(tables.status, 255);
  EXPECT_EQ(tables.err,
            "prob opening out/" + run_keys + ".csv for output, skipping this data table\n");
  e2e::expect_matches_file(file("out/" + services + ".csv"), "sqlite_artifact_services.csv");
}

}  // namespace
