// The database readers end to end: a database written by the built telvar from two sources is
// read back by "-artifact_tables", "-sqlite_to_csv", "-metadata_records" and "-ref_records",
// and their files and listings are compared with the expected ones byte for byte.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
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

  // One table's file is blocked by a folder of its name: the other table is still written.
  ASSERT_EQ(std::filesystem::create_directories(folder.file("out/" + run_keys + ".csv")), true);
  const e2e::run_result tables = telvar({"-src", "case.db", "-dst", "out", "-artifact_tables"});
  EXPECT_EQ(tables.status, 255);
  EXPECT_EQ(tables.err,
            "prob opening out/" + run_keys + ".csv for output, skipping this data table\n");
  e2e::expect_matches_file(file("out/" + services + ".csv"), "sqlite_artifact_services.csv");
}

}  // namespace
