// A conversion that cannot be done or delivered ends with a message and status 255; nothing
// that was there before is destroyed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/telvar_process.h"

namespace {

using e2e::run_telvar;

TEST(Failures, EachFailedConversionHasItsMessageAndStatus255) {
  temp_folder dir("telvar_fail");
  const std::string source = e2e::fixture("no_banner.csv");
  e2e::write_file(dir.file("a.csv"), source);
  e2e::write_file(dir.file("one_column.csv"), "just one column\nof text lines\nand nothing else\n");
  e2e::write_file(dir.file("cr_only.csv"), "name,size,kind\ra.txt,10,file\rb.txt,20,file\r");
  // A document far larger than the output buffer, so that writes fail during the conversion.
  std::string large = source;
  for (int row = 0; row < 20000; ++row) large += "WS-" + std::to_string(row) + ",jmarsh,2024-03-02 22:39:55,10,203.0.113.77\n";
  e2e::write_file(dir.file("large.csv"), large);
  struct row {
    const char* name;
    std::vector<std::string> args;
    e2e::stdout_to out;
    const char* message;
  };
  const row rows[] = {
      {"missing source", {"-src", "missing.csv", "-dst", "out.html"}, e2e::stdout_to::capture,
       "prob reading missing.csv, aborting\nprob analyzing missing.csv\n"},
      {"source without a header row", {"-src", "one_column.csv", "-dst", "out.html"}, e2e::stdout_to::capture,
       "prob analyzing one_column.csv\n"},
      {"lines ended by CR alone", {"-src", "cr_only.csv", "-dst", "out.html"}, e2e::stdout_to::capture,
       "prob analyzing cr_only.csv\n"},
      {"-dst is the source", {"-src", "a.csv", "-dst", "a.csv"}, e2e::stdout_to::capture,
       "prob analyzing a.csv\n"},
      {"-dst is the source by another path", {"-src", "a.csv", "-dst", "./sub/../a.csv"}, e2e::stdout_to::capture,
       "prob analyzing a.csv\n"},
      {"-out is the source", {"-src", "a.csv", "-out", "a.csv"}, e2e::stdout_to::capture,
       "prob analyzing a.csv\n"},
      {"-dst in a missing folder", {"-src", "a.csv", "-dst", "nodir/out.html"}, e2e::stdout_to::capture,
       "prob opening nodir/out.html for writing\n"},
      {"-dst on a full device", {"-src", "a.csv", "-dst", "/dev/full"}, e2e::stdout_to::capture,
       "prob writing /dev/full\n"},
      {"-out on a full device", {"-src", "a.csv", "-out", "/dev/full"}, e2e::stdout_to::capture,
       "prob writing /dev/full\n"},
      {"standard output on a full device", {"-src", "a.csv"}, e2e::stdout_to::dev_full,
       "prob writing standard output\n"},
      {"-dst on a full device, large document", {"-src", "large.csv", "-dst", "/dev/full"}, e2e::stdout_to::capture,
       "prob writing /dev/full\n"},
      {"-out on a full device, large document", {"-src", "large.csv", "-out", "/dev/full"}, e2e::stdout_to::capture,
       "prob writing /dev/full\n"},
      {"standard output on a full device, large document", {"-src", "large.csv"}, e2e::stdout_to::dev_full,
       "prob writing standard output\n"},
  };
  std::filesystem::create_directories(dir.file("sub"));
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<std::string> args = r.args;
    args.push_back("-csv_to_html");
    args.push_back("-quiet");
    e2e::run_options options;
    options.cwd = dir.path();
    options.out = r.out;
    const e2e::run_result run = run_telvar(args, options);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err, r.message);
    EXPECT_EQ(e2e::read_file(dir.file("a.csv")), source);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.html")));
  }
}

// A separator that no reader could take the output apart by is refused before anything is
// written.
TEST(Failures, AnEmptyOrLineEndSeparatorIsRefused) {
  temp_folder dir("telvar_fail_separator");
  e2e::write_file(dir.file("a.csv"), e2e::fixture("no_banner.csv"));
  for (const char* option : {"-change_csv_separator", "-csv_separator"}) {
    for (const char* separator : {"", "\n", ";\r\n", "\r"}) {
      SCOPED_TRACE(std::string(option) + " of " + std::to_string(std::string(separator).size()) + " bytes");
      e2e::run_options options;
      options.cwd = dir.path();
      const e2e::run_result run = run_telvar({"-src", "a.csv", "-dst", "out.csv", option, separator, "-quiet"}, options);
      EXPECT_EQ(run.status, 255);
      EXPECT_EQ(run.err,
                "prob need a separator of one or more characters, without line ends, for -change_csv_separator, "
                "aborting\n");
      EXPECT_FALSE(std::filesystem::exists(dir.file("out.csv")));
    }
  }
}

// "telvar -src a.csv ... >> a.csv" would read what it writes, without end.
TEST(Failures, StandardOutputOntoTheSourceIsRefused) {
  temp_folder dir("telvar_fail");
  const std::string source = e2e::fixture("no_banner.csv");
  e2e::write_file(dir.file("a.csv"), source);
  e2e::run_options options;
  options.cwd = dir.path();
  options.out = e2e::stdout_to::append_to_file;
  options.stdout_file = "a.csv";
  const e2e::run_result run = run_telvar({"-src", "a.csv", "-csv_to_html", "-quiet"}, options);
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.err, "prob analyzing a.csv\n");
  EXPECT_EQ(e2e::read_file(dir.file("a.csv")), source);
}

// A reader that goes away ends the run quietly, at the last write or in the middle.
TEST(Failures, ABrokenPipeEndsTheRunQuietly) {
  temp_folder dir("telvar_fail");
  std::string large = e2e::fixture("no_banner.csv");
  for (int row = 0; row < 20000; ++row) large += "WS-" + std::to_string(row) + ",jmarsh,2024-03-02 22:39:55,10,-\n";
  e2e::write_file(dir.file("small.csv"), e2e::fixture("registry_groups.csv"));
  e2e::write_file(dir.file("large.csv"), large);
  for (const char* source : {"small.csv", "large.csv"}) {
    SCOPED_TRACE(source);
    e2e::run_options options;
    options.cwd = dir.path();
    options.out = e2e::stdout_to::closed_pipe;
    const e2e::run_result run = run_telvar({"-src", source, "-csv_to_html", "-quiet"}, options);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
  }
}

}  // namespace
