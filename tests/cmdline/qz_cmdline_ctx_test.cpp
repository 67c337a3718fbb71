#include "framework/cmdline/qz_cmdline_ctx.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "framework/cmdline/qz_cmd_params.h"
#include "tests/cmdline/std_capture.h"
#include "tests/text/temp_folder.h"

namespace {

const std::string clear_seq = "\x1b[2K\r" + std::string(27, ' ') + "\r";
// current_ntp_time counts whole seconds, so a quick run reports 0 or 1.
const std::regex elapsed_report("->[01] secs");

std::vector<std::string> callback_texts;

i32 record_callback(std::string* text) {
  callback_texts.push_back(*text);
  return 0;
}

class EndOfRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    callback_texts.clear();
  }
  // Runs main's order: parse into params, init the context, destroy params, then the context.
  // Returns what standard error received from the destruction of the context.
  std::string end_run(const std::function<void(cmd_params&)>& parse, bool init = true) {
    auto ctx = std::make_unique<cmdline_ctx>();
    {
      cmd_params params(0, true);
      parse(params);
      if (init) ctx->init_from_params(params, record_callback);
    }
    std_capture err;
    ctx.reset();
    return err.text();
  }

  temp_folder dir_{"qz_cmdline_ctx"};
};

TEST_F(EndOfRun, StatusLineErasedUnlessQuiet) {
  EXPECT_EQ(end_run([](cmd_params&) {}), clear_seq);
  EXPECT_EQ(end_run([](cmd_params& p) { p.status_display = 0; }), "");
}

TEST_F(EndOfRun, NothingBeforeInit) {
  cmdline_ctx ctx;
  EXPECT_EQ(ctx.start_stamp, 0u);
  EXPECT_EQ(end_run([](cmd_params& p) { p.profile = 1; p.signal_text = "x"; }, false), "");
  EXPECT_TRUE(callback_texts.empty());
}

TEST_F(EndOfRun, ProfileReportsOnStandardError) {
  const std::string err = end_run([](cmd_params& p) { p.profile = 1; });
  ASSERT_EQ(err.rfind(clear_seq, 0), 0u) << "the erase comes first";
  EXPECT_TRUE(std::regex_match(err.substr(clear_seq.size()), std::regex("->[01] secs\n"))) << err;
  EXPECT_TRUE(std::regex_match(end_run([](cmd_params& p) { p.profile = 1; p.status_display = 0; }),
                               std::regex("->[01] secs\n")));
}

TEST_F(EndOfRun, NoProfileNoLogTakesNoStamp) {
  cmdline_ctx ctx;
  cmd_params params(0, false);
  params.status_display = 0;
  ctx.init_from_params(params, nullptr);
  EXPECT_EQ(ctx.start_stamp, 0u);
  EXPECT_EQ(ctx.log_path, "");
}

TEST_F(EndOfRun, ElapsedTimeAppendedToTheLogWithoutLineEnd) {
  const std::string log = dir_.file("diags.txt");
  const std::string err = end_run([&](cmd_params& p) {
    p.status_display = 0;
    p.arg_line = "telvar -diags";
    ASSERT_TRUE(p.open_debug_file(log));
    p.debug_trace("last record");
  });
  EXPECT_EQ(err, "");
  const std::string text = dir_.get("diags.txt");
  const std::string head = "->telvar -diags\n->last record\n";
  ASSERT_EQ(text.rfind(head, 0), 0u) << text;
  EXPECT_TRUE(std::regex_match(text.substr(head.size()), elapsed_report)) << text;
}

TEST_F(EndOfRun, LogGoneOrFailedGetsNothing) {
  const std::string log = dir_.file("diags.txt");
  end_run([&](cmd_params& p) {
    ASSERT_TRUE(p.open_debug_file(log));
    p.close_debug_file();  // closed before init: not taken
  });
  EXPECT_EQ(dir_.get("diags.txt"), "->\n");

  auto ctx = std::make_unique<cmdline_ctx>();
  {
    cmd_params params(0, false);
    params.status_display = 0;
    ASSERT_TRUE(params.open_debug_file(log));
    ctx->init_from_params(params, nullptr);
  }
  std::remove(log.c_str());
  ctx.reset();
  EXPECT_FALSE(std::ifstream(log).good()) << "a vanished log is not created again";
}

TEST_F(EndOfRun, SignalCallsTheCallbackOnce) {
  end_run([](cmd_params& p) { p.signal_text = "stop now"; });
  EXPECT_EQ(callback_texts, std::vector<std::string>{"stop now"});
  callback_texts.clear();
  end_run([](cmd_params& p) { p.signal_text = ""; });
  EXPECT_TRUE(callback_texts.empty());
  {
    cmdline_ctx ctx;
    cmd_params params(0, false);
    params.status_display = 0;
    params.signal_text = "x";
    ctx.init_from_params(params, nullptr);
    EXPECT_EQ(ctx.exit_arg, "");
  }
  EXPECT_TRUE(callback_texts.empty());
}

}  // namespace
