// The command line as a user meets it: the usage text and the refusals of the option parser.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/telvar_process.h"

namespace {

using e2e::run_telvar;

TEST(Usage, HelpOrNoArgumentsPrintTheUsageOnStandardErrorAndSucceed) {
  struct row {
    const char* name;
    std::vector<std::string> args;
  };
  const row rows[] = {
      {"no argument", {}},
      {"-h among other options", {"-src", "a.csv", "-h", "-csv_to_html"}},
      {"-HELP in capitals", {"-HELP"}},
      {"/?", {"/?"}},
      {"--help", {"--help"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const e2e::run_result run = run_telvar(r.args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    e2e::expect_matches_file(run.err, "usage.txt");
  }
}

TEST(Usage, AnActionWithoutASourcePrintsTheUsageAndFails) {
  const e2e::run_result run = run_telvar({"-csv_to_html", "-quiet"});
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, e2e::fixture("expected/usage.txt"));
}

// A refused run prints the parser's message on standard error and the start-up record on
// standard output, and nothing else happens.
TEST(Refusals, EachRefusalHasItsMessageTheStartupRecordAndStatus255) {
  temp_folder dir("telvar_refusals");
  e2e::write_file(dir.file("a.csv"), e2e::fixture("no_banner.csv"));
  e2e::write_file(dir.file("plain_file"), "x");
  e2e::write_file(dir.file("notes.txt"), "case notes, not a database\n");
  struct row {
    const char* name;
    std::vector<std::string> args;
    const char* message;
  };
  const row rows[] = {
      {"-csv_to_sqlite without -dst", {"-src", "a.csv", "-csv_to_sqlite"},
       "need to provide -dst <dst file> option\n"},
      {"-split_into_files without -dst", {"-src", "a.csv", "-split_into_files"},
       "need to provide -dst <dst file> with this option\n"},
      {"-pipe without -dst", {"-pipe", "-csv_to_html"}, "need to provide -dst <dst file> with -pipe option\n"},
      {"-enumdir without -dst", {"-enumdir", ".", "-csv_to_html"},
       "need to provide -dst <dst file> with -enumdir option\n"},
      {"-pipe and -enumdir without -dst", {"-enumdir", ".", "-pipe", "-csv_to_html"},
       "need to provide -dst <dst file> with -pipe option\n"},
      {"-pipe with a -dst folder that cannot be made", {"-pipe", "-csv_to_html", "-dst", "plain_file/out"},
       "prob creating destination folder: plain_file/out\n"},
      {"-sqlite_to_csv under -pipe", {"-src", "a.csv", "-sqlite_to_csv", "t", "-pipe", "-dst", "out"},
       "Use [-src <file>] option\n"},
      {"-sqlite_to_csv without -dst", {"-src", "a.csv", "-sqlite_to_csv", "t"}, "Need [-dst <dir>] option\n"},
      {"-sqlite_to_csv with a missing database", {"-src", "missing.db", "-sqlite_to_csv", "t", "-dst", "out"},
       "prob reading missing.db, aborting\n"},
      {"-sqlite_to_csv without -src", {"-sqlite_to_csv", "t", "-dst", "out"},
       "Need to provide -src <src file> option\n"},
      {"-sqlite_to_csv without -src under -pipe", {"-sqlite_to_csv", "t", "-pipe", "-dst", "out"},
       "Use [-src <file>] option\n"},
      {"no source", {"-dst", "out.html"}, "Need to provide -src <src file> option\n"},
      {"a source but no action", {"-src", "a.csv", "-dst", "out.html"}, "Need to specify an action\n"},
      {"-sqlite_to_csv last, without a table name", {"-src", "a.csv", "-sqlite_to_csv"},
       "Need to specify an action\n"},
      {"results file in a missing folder", {"-src", "a.csv", "-csv_to_html", "-out", "nodir/r.html"},
       "prob opening file nodir/r.html for output, aborting\n"},
      {"a database to write that is no database", {"-src", "a.csv", "-dst", "notes.txt", "-csv_to_sqlite"},
       "Issue with initializing SQLite, aborting\n"},
      {"a database to read that is missing", {"-src", "missing.db", "-metadata_records"},
       "Issue opening db for read, aborting\n"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    e2e::run_options options;
    options.cwd = dir.path();
    const e2e::run_result run = run_telvar(r.args, options);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err, r.message);
    std::string command = std::string(TELVAR_BINARY);
    bool piped = false;
    for (const std::string& arg : r.args) {
      command += " " + arg;
      piped = piped || arg == "-pipe";
    }
    if (piped) command = "<filelist> ... | " + command;
    EXPECT_EQ(e2e::mask_run_line(run.out),
              "telvar - ver: 0.43; (c) Quazel LLC\nrun start: <masked>\n\"command: " + command + "\"\n\n");
  }
}

// The results file is emptied only when the run goes ahead.
TEST(Refusals, ARefusedRunLeavesTheResultsFileAlone) {
  temp_folder dir("telvar_refusals");
  e2e::write_file(dir.file("a.csv"), e2e::fixture("no_banner.csv"));
  e2e::write_file(dir.file("results.html"), "earlier results\n");
  e2e::run_options options;
  options.cwd = dir.path();
  const e2e::run_result run = run_telvar({"-src", "a.csv", "-out", "results.html"}, options);
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.err, "Need to specify an action\n");
  EXPECT_EQ(e2e::read_file(dir.file("results.html")), "earlier results\n");
}

// The status line rewrites itself with terminal control sequences: it is written when
// standard error is a terminal, never into a file or a pipe, where the messages stand alone.
TEST(StatusLine, ShownOnATerminalOnly) {
  temp_folder dir("telvar_status_line");
  std::string rows = "id,user,note\n";
  while (rows.size() < (3u << 20)) rows += std::to_string(rows.size()) + ",analyst," + std::string(90, 'n') + "\n";
  e2e::write_file(dir.file("big.csv"), rows);
  const std::string messages = "prob reading missing.csv, aborting\nprob analyzing missing.csv\nanalyzing big.csv\n";
  struct row {
    const char* name;
    e2e::stderr_to err;
  };
  const row cases[] = {{"file", e2e::stderr_to::file}, {"pipe", e2e::stderr_to::pipe}, {"terminal", e2e::stderr_to::terminal}};
  for (const row& r : cases) {
    SCOPED_TRACE(r.name);
    e2e::run_options options;
    options.cwd = dir.path();
    options.stdin_text = "missing.csv\nbig.csv\n";
    options.stdin_given = true;
    options.err = r.err;
    const e2e::run_result run = run_telvar({"-pipe", "-dst", "out", "-csv_to_html"}, options);
    EXPECT_EQ(run.status, 255) << "missing.csv failed";
    if (r.err != e2e::stderr_to::terminal) {
      EXPECT_EQ(run.err, messages);
      continue;
    }
    EXPECT_NE(run.err.find("\x1b[2K"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("percent done"), std::string::npos) << run.err;
    // The terminal shows each line end as CR LF.
    for (const char* message : {"prob analyzing missing.csv\r\n", "analyzing big.csv\r\n"})
      EXPECT_NE(run.err.find(message), std::string::npos) << message;
  }
}

}  // namespace
