// An option that names a file to write ("-out", "-diags", a database "-dst") never writes over
// an input of the run: the single source, the database read or added to (and the files the
// library keeps beside it), or a source a "-pipe" or "-enumdir" loop meets. The run says so
// and ends with 255, and every file around the inputs is as it was.
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/telvar_process.h"

namespace {

namespace fs = std::filesystem;

class inputs_kept : public testing::Test {
 protected:
  void SetUp() override {
    if (std::string(TELVAR_BINARY).empty()) GTEST_SKIP() << "telvar is not built";
    ASSERT_FALSE(dir_.path().empty());
    e2e::write_file(dir_.file("a.csv"), e2e::fixture("no_banner.csv"));
    e2e::write_file(dir_.file("registry.csv"), e2e::fixture("sqlite_registry.csv"));
    fs::create_directories(dir_.file("in"));
    e2e::write_file(dir_.file("in/b.csv"), e2e::fixture("no_banner.csv"));
    fs::create_symlink("a.csv", dir_.file("link.csv"));
    ASSERT_EQ(run({"-src", "registry.csv", "-dst", "case.db", "-csv_to_sqlite"}).status, 0);
  }

  e2e::run_result run(std::vector<std::string> args, const std::string& names = "") const {
    args.push_back("-quiet");
    e2e::run_options options;
    options.cwd = dir_.path();
    options.stdin_text = names;
    options.stdin_given = !names.empty();
    return e2e::run_telvar(args, options);
  }

  // Every file and link of the folder but the "out" folder, with its content or target.
  std::map<std::string, std::string> inputs() const {
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(dir_.path()); it != fs::recursive_directory_iterator(); ++it) {
      const std::string name = fs::relative(it->path(), dir_.path()).string();
      if (name == "out") {
        it.disable_recursion_pending();
      } else if (it->is_symlink()) {
        entries[name] = "-> " + fs::read_symlink(it->path()).string();
      } else if (it->is_regular_file()) {
        entries[name] = e2e::read_file(it->path().string());
      }
    }
    return entries;
  }

  bool exists(const std::string& name) const { return fs::exists(dir_.file(name)); }

  temp_folder dir_{"telvar_inputs"};
};

TEST_F(inputs_kept, an_output_naming_an_input_is_refused_and_every_input_kept) {
  struct refusal {
    const char* name;
    std::vector<std::string> args;
    std::string names;  // piped to standard input
    std::string message;
  } const cases[] = {
      {"-out is the database read", {"-src", "case.db", "-metadata_records", "-out", "case.db"}, "",
       "prob opening results file: case.db for writing, it is the database being read\n"},
      {"-out appends to the database read, spelled otherwise", {"-src", "case.db", "-ref_records", "-out", "./case.db", "-append"}, "",
       "prob opening results file: ./case.db for writing, it is the database being read\n"},
      {"-out is the log the database read would have", {"-src", "case.db", "-ref_records", "-out", "in/../case.db-wal"}, "",
       "prob opening results file: in/../case.db-wal for writing, it is the database being read\n"},
      {"-out is the database added to", {"-src", "a.csv", "-dst", "case.db", "-csv_to_sqlite", "-out", "case.db"}, "",
       "prob opening results file: case.db for writing, it is the database being written\n"},
      {"-out is the database a loop adds to", {"-pipe", "-dst", "case.db", "-csv_to_sqlite", "-out", "case.db"}, "a.csv\n",
       "prob opening results file: case.db for writing, it is the database being written\n"},
      {"-out is a piped source", {"-pipe", "-dst", "out", "-csv_to_json", "-out", "a.csv"}, "a.csv\nin/b.csv\n",
       "prob analyzing a.csv, it is the results file of this run\nanalyzing in/b.csv\n"},
      {"-out is a piped source through a link", {"-pipe", "-dst", "out", "-csv_to_json", "-out", "link.csv"}, "a.csv\n",
       "prob analyzing a.csv, it is the results file of this run\n"},
      {"-out is a walked source", {"-enumdir", "in", "-dst", "out", "-csv_to_json", "-out", "in/b.csv"}, "",
       "prob analyzing in/b.csv, it is the results file of this run\n"},
      {"-diags is the source", {"-src", "a.csv", "-dst", "out", "-csv_to_html", "-diags", "link.csv"}, "",
       "prob opening -diags log link.csv, it is the source, aborting\n"},
      {"-diags is the database read", {"-src", "case.db", "-metadata_records", "-diags", "./case.db"}, "",
       "prob opening -diags log ./case.db, it is the database being read, aborting\n"},
      {"-diags is the database added to", {"-src", "a.csv", "-dst", "case.db", "-csv_to_sqlite", "-diags", "case.db"}, "",
       "prob opening -diags log case.db, it is the database being written, aborting\n"},
      {"the database to add to is the source", {"-src", "a.csv", "-dst", "link.csv", "-csv_to_sqlite"}, "",
       "prob opening link.csv as the database, it is the source, aborting\n"},
  };
  const std::map<std::string, std::string> before = inputs();
  for (const refusal& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir_.file("out"));
    const e2e::run_result refused = run(c.args, c.names);
    EXPECT_EQ(refused.status, 255);
    EXPECT_EQ(refused.err, c.message);
    EXPECT_EQ(inputs(), before);
  }
}

// A loop writes nothing into its results file: an existing one is emptied at the end as
// before, unless one of the sources turned out to be that file.
TEST_F(inputs_kept, a_loop_empties_its_results_file_at_the_end) {
  e2e::write_file(dir_.file("results.txt"), "earlier results\n");
  const e2e::run_result emptied = run({"-pipe", "-dst", "out", "-csv_to_json", "-out", "results.txt"}, "a.csv\n");
  EXPECT_EQ(emptied.status, 0) << emptied.err;
  EXPECT_EQ(e2e::read_file(dir_.file("results.txt")), "");
  EXPECT_TRUE(exists("out/a.json"));
  // A device is written as it is.
  const e2e::run_result device = run({"-pipe", "-dst", "out", "-csv_to_json", "-out", "/dev/null"}, "a.csv\n");
  EXPECT_EQ(device.status, 0) << device.err;
}

// The "-diags" log of a loop is created before the names come: met as a source, it is not
// read as one.
TEST_F(inputs_kept, a_loop_never_reads_its_own_diagnostics_log) {
  const e2e::run_result met = run({"-pipe", "-dst", "out", "-csv_to_html", "-diags", "log.csv"}, "log.csv\na.csv\n");
  EXPECT_EQ(met.status, 255);
  EXPECT_EQ(met.err, "prob analyzing log.csv, it is the -diags log of this run\nanalyzing a.csv\n");
  EXPECT_FALSE(exists("out/log.html"));
  EXPECT_TRUE(exists("out/a.html"));
}

}  // namespace
