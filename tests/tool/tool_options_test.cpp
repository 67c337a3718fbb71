#include "tool/tool_options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/text/temp_folder.h"
#include "tool/quazel_tool_metadata.h"

namespace {

const char* const banner_csv =
    "dorvel - 64 ver: 1.31; (c) Quazel LLC\n"
    "License: L7c2 issued to Test Lab\n"
    "Run time: 2024-03-11 14:22:05\n"
    "cmd line: dorvel64 -hive /cases/x/SOFTWARE -csv;\n"
    "date,time,value name,value data\n"
    "2024-02-27,08:14:51,Run,C:\\x.exe\n";
const char* const bodyfile_csv =
    "fendral - 64 ver: 3.07; (c) Quazel LLC\n"
    "License: L7c2 issued to Test Lab\n"
    "Run time: 2024-03-11 16:02:37\n"
    "cmd line: fendral64 -mft x -bodyfile;\n"
    "md5|name|inode|mode as string|uid|gid|size|access time|modify time|mft time|create time\n"
    "0|/a|1|r/rrwxrwxrwx|0|0|1|1|1|1|1\n";
const char* const plain_csv = "host,user,logon time\nWS-1,jm,2024-03-02 22:39:55\n";

bool contains(const std::vector<std::string>& args, const std::string& entry) {
  return std::find(args.begin(), args.end(), entry) != args.end();
}

class tool_options : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    dir_.put("banner.csv", banner_csv);
    dir_.put("bodyfile.csv", bodyfile_csv);
    dir_.put("plain.csv", plain_csv);
  }
  // Parses "telvar" + args; the arguments left over and standard error are kept.
  bool parse(std::vector<std::string> args) {
    for (std::string& arg : args)
      if (arg.rfind("@", 0) == 0) arg = dir_.file(arg.substr(1));
    args.insert(args.begin(), "telvar");
    // Messages as on a standard error that is no terminal: no status line to erase.
    ctx_.status_display = 0;
    testing::internal::CaptureStderr();
    const bool result = parse_tool_options(ctx_, args, "ver: 9", &banner_read_);
    err_ = testing::internal::GetCapturedStderr();
    left_ = args;
    return result;
  }

  temp_folder dir_{"telvar_options"};
  quazel_tool_metadata ctx_;
  bool banner_read_ = false;
  std::vector<std::string> left_;
  std::string err_;
};

TEST_F(tool_options, TheFirstActionFoundWinsAndTheOthersStay) {
  ASSERT_TRUE(parse({"-src", "@banner.csv", "-csv_to_html", "-csv_to_json", "-flat", "-esc_path"}));
  EXPECT_TRUE(ctx_.to_json);
  EXPECT_FALSE(ctx_.to_html);
  EXPECT_TRUE(ctx_.flat);
  EXPECT_FALSE(ctx_.slash_paths);
  EXPECT_TRUE(contains(left_, "-csv_to_html"));
  EXPECT_EQ(ctx_.csv_source, dir_.file("banner.csv"));
  EXPECT_TRUE(banner_read_);
  EXPECT_EQ(ctx_.version_text, "ver: 9");
}

TEST_F(tool_options, CleanupOptionsAreTakenOnlyWithoutAnAction) {
  ASSERT_TRUE(parse({"-src", "@banner.csv", "-csv_to_html", "-pair_fields", "1:2", "-align_cols"}));
  EXPECT_TRUE(ctx_.to_html);
  EXPECT_TRUE(ctx_.pair_map.empty());
  EXPECT_FALSE(ctx_.align_cols);
  EXPECT_FALSE(ctx_.cleanup);
  EXPECT_TRUE(contains(left_, "-pair_fields"));
  EXPECT_TRUE(contains(left_, "-align_cols"));
}

TEST_F(tool_options, WhatTurnsTheCleanupWriterOnOrOff) {
  struct row {
    const char* name;
    std::vector<std::string> args;
    bool cleanup;
    bool split;
    bool to_html;
  };
  const row rows[] = {
      {"-no_whitespace without an action", {"-src", "@banner.csv", "-no_whitespace"}, true, false, false},
      {"-align_cols", {"-src", "@banner.csv", "-align_cols"}, true, false, false},
      {"-pair_fields", {"-src", "@banner.csv", "-pair_fields", "1:2"}, true, false, false},
      {"-split_into_files clears it", {"-src", "@banner.csv", "-dst", "@out", "-split_into_files", "-no_whitespace"},
       false, true, false},
      {"-csv_to_html with a new separator", {"-src", "@banner.csv", "-csv_to_html", "-change_csv_separator", ";"},
       true, false, true},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    ctx_.clear();
    ASSERT_TRUE(parse(r.args)) << err_;
    EXPECT_EQ(ctx_.cleanup != 0, r.cleanup);
    EXPECT_EQ(ctx_.split != 0, r.split);
    EXPECT_EQ(ctx_.to_html != 0, r.to_html);
    EXPECT_EQ(ctx_.split_state != nullptr, r.split);
  }
}

TEST_F(tool_options, CsvSeparatorIsTheOtherNameOfChangeCsvSeparator) {
  ASSERT_TRUE(parse({"-src", "@banner.csv", "-csv_separator", "tab"}));
  EXPECT_TRUE(ctx_.change_separator);
  EXPECT_EQ(ctx_.new_separator, "tab");
  EXPECT_TRUE(ctx_.cleanup);
  EXPECT_EQ(ctx_.separator_text, "\t");
  EXPECT_FALSE(contains(left_, "-csv_separator"));
  EXPECT_FALSE(contains(left_, "-change_csv_separator"));
}

TEST_F(tool_options, SplitGivesASourceWithoutBannerNoExtraColumns) {
  ASSERT_TRUE(parse({"-src", "@plain.csv", "-dst", "@out", "-split_into_files"}));
  EXPECT_TRUE(ctx_.raw);
  EXPECT_EQ(ctx_.new_separator, ",");
  ctx_.clear();
  ASSERT_TRUE(parse({"-src", "@banner.csv", "-dst", "@out", "-split_into_files"}));
  EXPECT_FALSE(ctx_.raw);
}

TEST_F(tool_options, GroupingLikeFormatsIsKeptOnlyForTimelineSources) {
  ASSERT_TRUE(parse({"-src", "@bodyfile.csv", "-csv_to_html", "-grp_like_formats"}));
  EXPECT_TRUE(ctx_.grp_like_formats);
  EXPECT_EQ(err_, "");
  ctx_.clear();
  ASSERT_TRUE(parse({"-src", "@banner.csv", "-csv_to_html", "-grp_like_formats"}));
  EXPECT_FALSE(ctx_.grp_like_formats);
  EXPECT_EQ(err_,
            "Warning: option [-grp_like_formats] only available with quazel [csvl2t or bodyfile] generated "
            "output\n");
}

TEST_F(tool_options, AnUnreadableSourcePassesTheParserAndIsReportedAsSuch) {
  ASSERT_TRUE(parse({"-src", "@missing.csv", "-csv_to_html"}));
  EXPECT_FALSE(banner_read_);
  EXPECT_EQ(err_, "prob reading " + dir_.file("missing.csv") + ", aborting\n");
}

TEST_F(tool_options, PipeCreatesTheDestinationFolder) {
  ASSERT_TRUE(parse({"-pipe", "-dst", "@out/nested", "-csv_to_html"}));
  EXPECT_TRUE(ctx_.pipe);
  EXPECT_TRUE(std::filesystem::is_directory(dir_.file("out/nested")));
}

TEST(PairFields, PairsNameTheirReceivingColumn) {
  struct entry {
    int column;
    int partner;
    bool skip;
  };
  struct row {
    const char* name;
    const char* value;
    std::vector<entry> expected;
    const char* err;
  };
  const row rows[] = {
      {"two pairs with commas", "1:2, 3:4", {{0, 0, false}, {1, 0, true}, {2, 2, false}, {3, 2, true}}, ""},
      {"bar-separated, one piece not understood", "1:2|3",
       {{0, 0, false}, {1, 0, true}}, "Didn't understand -pair_fields <3>\n"},
      {"a colon at the end", "1:2;4:", {{0, 0, false}, {1, 0, true}}, "Didn't understand -pair_fields <4:>\n"},
      {"hex column numbers", "x1:x3", {{0, 0, false}, {2, 0, true}}, ""},
      // Column 2 receives column 3 after it gave its text to column 1: it keeps skipping.
      {"chained pairs", "1:2,2:3", {{0, 0, false}, {1, 1, true}, {2, 1, true}}, ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    quazel_tool_metadata ctx;
    ctx.status_display = 0;
    testing::internal::CaptureStderr();
    parse_pair_fields(ctx, r.value);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), r.err);
    EXPECT_TRUE(ctx.cleanup);
    ASSERT_EQ(ctx.pair_map.size(), r.expected.size());
    for (const entry& e : r.expected) {
      SCOPED_TRACE(e.column);
      ASSERT_EQ(ctx.pair_map.count(e.column), 1u);
      const csv_formating& format = ctx.pair_map.at(e.column);
      EXPECT_EQ(format.column, e.column);
      EXPECT_TRUE(format.paired);
      EXPECT_EQ(format.partner, e.partner);
      EXPECT_EQ(format.skip, e.skip);
    }
  }
}

}  // namespace
