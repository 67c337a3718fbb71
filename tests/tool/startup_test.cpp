#include "tool/startup.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <optional>
#include <string>
#include <vector>

#include "framework/time/qz_time.h"

namespace {

std::vector<std::string> record_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// 2024-03-05 07:08:09 UTC.
const qz::time pinned_time(static_cast<u32>(1709622489));

TEST(StartupRecord, ThreeLinesWithTheRunTimeInTheRecordsDateFormat) {
  struct row {
    const char* name;
    const char* date_format;
    const char* date;
  };
  const row rows[] = {
      {"default", "mm/dd/yyyy", "03/05/2024"},
      {"year first", "yyyy-mm-dd", "2024-03-05"},
      {"two-digit year", "dd/mm/yy", "05/03/24"},
  };
  tool_title = "telvar - test title";
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::ostringstream record;
    write_startup_record(record, {"telvar", "-src", "a.csv", "-csv_to_html"}, pinned_time, r.date_format);
    const std::vector<std::string> lines = record_lines(record.str());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "telvar - test title");
    const std::string run_start = std::string("run start: ") + r.date + " 07:08:09 UTC; host: ";
    EXPECT_EQ(lines[1].substr(0, run_start.size()), run_start);
    // The host description: system, version, release and the word size, ';' between them.
    EXPECT_TRUE(std::regex_search(lines[1], std::regex("; system: [^;]+;[^;]*;[^;]*;(64|32)$"))) << lines[1];
    EXPECT_EQ(lines[2], "\"command: telvar -src a.csv -csv_to_html\"");
  }
}

TEST(StartupRecord, CommandLineQuotesBlanksAndMarksPipedFileLists) {
  struct row {
    const char* name;
    std::vector<std::string> args;
    const char* expected;
  };
  const row rows[] = {
      {"argument with a blank", {"telvar", "-src", "My Files/a.csv", "-csv_to_html"},
       "\"command: telvar -src 'My Files/a.csv' -csv_to_html\""},
      {"pipe", {"telvar", "-pipe", "-dst", "out", "-csv_to_html"},
       "\"command: <filelist> ... | telvar -pipe -dst out -csv_to_html\""},
      {"pipe in any case", {"telvar", "-PIPE", "-dst", "out"}, "\"command: <filelist> ... | telvar -PIPE -dst out\""},
      {"pipe as the program path only", {"-pipe", "-src", "a.csv"}, "\"command: -pipe -src a.csv\""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::ostringstream record;
    write_startup_record(record, r.args, pinned_time, "mm/dd/yyyy");
    const std::vector<std::string> lines = record_lines(record.str());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], r.expected);
  }
}

TEST(StartupArgs, WritesTheRecordAndLeavesTheDateFormatForTheGenericParser) {
  std::vector<std::string> args = {"telvar", "-dateformat", "yyyy-mm-dd", "-src", "a.csv",
                                   "-dateformat", "dd/mm/yy"};
  const std::vector<std::string> before = args;
  std::ostringstream record;
  EXPECT_EQ(process_startup_args(args, record), std::nullopt);
  EXPECT_EQ(args, before);
  const std::vector<std::string> lines = record_lines(record.str());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], std::string("telvar - ") + tool_version_text + "; (c) Quazel LLC");
  EXPECT_EQ(tool_title, lines[0]);
  // The first "-dateformat" counts.
  EXPECT_TRUE(std::regex_search(lines[1], std::regex("^run start: \\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} UTC; ")))
      << lines[1];
}

TEST(StartupArgs, HelpAndABareProgramShowTheUsageAndEndWithZero) {
  struct row {
    const char* name;
    std::vector<std::string> args;
  };
  const row rows[] = {
      {"program alone", {"telvar"}},
      {"-h", {"telvar", "-src", "a.csv", "-h"}},
      {"-H in capitals", {"telvar", "-H"}},
      {"-help", {"telvar", "-help", "-csv_to_html"}},
      {"/?", {"telvar", "/?"}},
      {"--help", {"telvar", "-src", "x", "--help"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<std::string> args = r.args;
    std::ostringstream record;
    testing::internal::CaptureStderr();
    const std::optional<int> ended = process_startup_args(args, record);
    const std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ended, std::optional<int>(0));
    EXPECT_NE(shown.find("Usage\n \n  telvar -src <file> -dst <file> -csv_to_html "), std::string::npos);
    EXPECT_EQ(record.str(), "") << "no start-up record";
  }
}

TEST(StartupArgs, NoArgumentsAtAllEndSilentlyWithFailure) {
  std::vector<std::string> args;
  std::ostringstream record;
  testing::internal::CaptureStderr();
  const std::optional<int> ended = process_startup_args(args, record);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(ended, std::optional<int>(255));
}

TEST(StartupArgs, AnOrdinaryRunGoesOn) {
  std::vector<std::string> args = {"telvar", "-src", "a.csv", "-csv_to_html"};
  std::ostringstream record;
  EXPECT_EQ(process_startup_args(args, record), std::nullopt);
}

}  // namespace
