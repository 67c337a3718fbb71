// A conversion that cannot be done or delivered ends with a message and status 255; nothing
// that was there before is destroyed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/telvar_process.h"
#include "tests/text/wide_text.h"

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

// A source whose header rows all have fewer names than its producing tool asks for gives no
// group to any writer: that is a failure, with its cause, alone and in a loop. The documents
// stay whole, and the cleanup writer copies the header line rather than lose it. A source of
// banner lines alone, without any header row, is converted into outputs without groups.
TEST(Failures, AHeaderBelowTheToolsMinimumFailsEveryWriter) {
  temp_folder dir("telvar_fail_short_header");
  const std::string short_header = "tab\there.csv";  // the name shows escaped in the message
  const std::string short_message = "prob analyzing tab\\x09here.csv: no header row with enough columns\n";
  const std::string short_source = e2e::fixture("header_below_minimum.csv");
  e2e::write_file(dir.file(short_header), short_source);
  e2e::write_file(dir.file("banner_only.csv"), e2e::fixture("banner_only.csv"));
  e2e::write_file(dir.file("a.csv"), e2e::fixture("no_banner.csv"));
  struct writer {
    const char* name;
    std::vector<std::string> args;
    std::string dst;           // of a single conversion and of the loop
    const char* document_end;  // how the single conversion's "-dst" file ends; null: not looked at
  };
  const writer writers[] = {
      {"html", {"-csv_to_html"}, "out", "</body>\n</html>\n"},
      {"json", {"-csv_to_json"}, "out", "{\n}\n"},
      {"json, flat", {"-csv_to_json", "-flat"}, "out", nullptr},
      {"sqlite", {"-csv_to_sqlite"}, "out.db", nullptr},
      {"split", {"-split_into_files"}, "out", nullptr},
      {"cleanup", {"-align_cols"}, "out", short_source.c_str()},
  };
  for (const writer& w : writers) {
    SCOPED_TRACE(w.name);
    e2e::run_options options;
    options.cwd = dir.path();
    auto run = [&](std::vector<std::string> args) {
      std::filesystem::remove_all(dir.file(w.dst));
      args.insert(args.end(), {"-dst", w.dst, "-quiet"});
      args.insert(args.end(), w.args.begin(), w.args.end());
      return run_telvar(args, options);
    };
    const e2e::run_result failed = run({"-src", short_header});
    EXPECT_EQ(failed.status, 255);
    EXPECT_EQ(failed.err, short_message);
    if (w.document_end != nullptr) {
      const std::string document = e2e::read_file(dir.file(w.dst));
      EXPECT_TRUE(document.ends_with(w.document_end)) << document;
    }
    const e2e::run_result banner_only = run({"-src", "banner_only.csv"});
    EXPECT_EQ(banner_only.status, 0);
    EXPECT_EQ(banner_only.err, "");

    // In a loop the source counts as failed; the others are still converted.
    options.stdin_text = short_header + "\nbanner_only.csv\na.csv\n";
    options.stdin_given = true;
    const e2e::run_result loop = run({"-pipe"});
    EXPECT_EQ(loop.status, 255);
    EXPECT_EQ(loop.err, "analyzing tab\\x09here.csv\n" + short_message + "analyzing banner_only.csv\nanalyzing a.csv\n");
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

// A path's control characters reach the terminal in no message, as "\xhh" in every one: an
// escape sequence in a file name cannot clear the screen or hide the line before it.
TEST(Failures, PathsInMessagesShowTheirControlCharactersEscaped) {
  temp_folder dir("telvar_fail_escape");
  e2e::write_file(dir.file("a.csv"), e2e::fixture("no_banner.csv"));
  e2e::run_options options;
  options.cwd = dir.path();
  ASSERT_EQ(run_telvar({"-src", "a.csv", "-dst", "case.db", "-csv_to_sqlite", "-quiet"}, options).status, 0);
  struct row {
    const char* name;
    std::vector<std::string> args;
    const char* message;
  };
  const row rows[] = {
      {"missing source", {"-src", "mis\x1b[2Jsing.csv", "-csv_to_html"},
       "prob reading mis\\x1b[2Jsing.csv, aborting\nprob analyzing mis\\x1b[2Jsing.csv\n"},
      {"-dst in a missing folder", {"-src", "a.csv", "-dst", "no\adir/out.html", "-csv_to_html"},
       "prob opening no\\x07dir/out.html for writing\n"},
      {"-out in a missing folder", {"-src", "a.csv", "-out", "no\rdir/out.html", "-csv_to_html"},
       "prob opening file no\\x0ddir/out.html for output, aborting\n"},
      {"-pipe folder under a file", {"-pipe", "-dst", "a.csv/\x1bp", "-csv_to_html"},
       "prob creating destination folder: a.csv/\\x1bp\n"},
      {"split files under a file", {"-src", "a.csv", "-dst", "a.csv/\x1bs", "-split_into_files"},
       "prob writing a.csv/\\x1bs/Group-1-b96a68d71edec7bc8a541f0ae13bb5af.csv\n"},
      {"table export in a missing folder", {"-src", "case.db", "-dst", "no\x1b" "dir/x.csv", "-sqlite_to_csv", "metadata"},
       "prob accessing no\\x1b" "dir/x.csv, aborting\nno results\n"},
      {"tables export under a file", {"-src", "case.db", "-dst", "a.csv/\x1bt", "-artifact_tables"},
       "prob creating destination folder: a.csv/\\x1bt\nno results\n"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<std::string> args = r.args;
    args.push_back("-quiet");
    const e2e::run_result run = run_telvar(args, options);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err, r.message);
    // The start-up record a failed option shows on standard output holds the path too.
    for (const std::string* text : {&run.err, &run.out}) {
      EXPECT_EQ(std::find_if(text->begin(), text->end(), [](char c) { return (c >= 0 && c < 0x20 && c != '\n') || c == 0x7f; }),
                text->end())
          << *text;
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

// A source in a wide encoding other than UTF-16LE with its mark would be read byte by byte,
// every character with NULs: every writer refuses it, saying why, and writes nothing. NUL
// bytes in the cells of a UTF-8 source are text and converted.
TEST(Failures, AWideSourceIsRefusedByEveryWriter) {
  temp_folder dir("telvar_fail_wide");
  const std::string text = "host,user,result\r\nWS1,jmarsh,ok\r\nWS2,abc,fail\r\n";
  auto wide = [&text](const std::string& mark, std::size_t unit, bool little) {
    return wide_text(mark, text, unit, little);
  };
  struct source {
    const char* name;
    std::string bytes;
    const char* encoding;  // null: converted
  };
  const source sources[] = {
      {"be.csv", wide("\xFE\xFF", 2, false), "UTF-16BE"},
      {"le32.csv", wide(std::string("\xFF\xFE\0\0", 4), 4, true), "UTF-32LE"},
      {"be32.csv", wide(std::string("\0\0\xFE\xFF", 4), 4, false), "UTF-32BE"},
      {"le_unmarked.csv", wide("", 2, true), "UTF-16LE without a byte-order mark"},
      {"be_unmarked.csv", wide("", 2, false), "UTF-16BE without a byte-order mark"},
      {"nul_cells.csv", text + std::string("WS3,a\0b,\0\0\r\n", 13), nullptr},
  };
  const std::vector<std::vector<std::string>> writers = {
      {"-csv_to_html"}, {"-csv_to_json"}, {"-csv_to_json", "-flat"}, {"-csv_to_sqlite"}, {"-split_into_files"},
      {"-no_whitespace"}};
  for (const source& s : sources) {
    e2e::write_file(dir.file(s.name), s.bytes);
    for (const std::vector<std::string>& writer : writers) {
      SCOPED_TRACE(std::string(s.name) + " " + writer[0] + (writer.size() > 1 ? " -flat" : ""));
      std::filesystem::remove_all(dir.file("out"));
      std::vector<std::string> args = {"-src", s.name, "-dst", "out", "-quiet"};
      args.insert(args.end(), writer.begin(), writer.end());
      e2e::run_options options;
      options.cwd = dir.path();
      const e2e::run_result run = run_telvar(args, options);
      if (s.encoding == nullptr) {
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        continue;
      }
      EXPECT_EQ(run.status, 255);
      EXPECT_EQ(run.err, "prob reading " + std::string(s.name) + ": its text is " + s.encoding +
                             "; only UTF-8 and UTF-16LE with its byte-order mark are read\nprob analyzing " +
                             s.name + "\n");
      // The database is opened before any source is read, as for a source that is missing.
      if (writer[0] != "-csv_to_sqlite") {
        EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
      }
      EXPECT_EQ(e2e::read_file(dir.file(s.name)), s.bytes);
    }
  }
}

}  // namespace
