#include "framework/cmdline/qz_console.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/cmdline/qz_cmd_params.h"
#include "tests/cmdline/std_capture.h"
#include "tests/text/temp_folder.h"

namespace {

const std::string clear_seq = "\x1b[2K\r" + std::string(27, ' ') + "\r";
const std::string prefix = "\x1b[2K\r    \r";
const std::string short_erase = "\x1b[2K\r";

std::string status_line(const std::string& text) { return prefix + text + "\r"; }
std::string title(const std::string& text) { return "\x1b]0;" + text + "\x07"; }

int call_status_vprintf(bool to_stderr, int max_len, bool title_mode, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int shown = status_vprintf(to_stderr, max_len, format, args, title_mode);
  va_end(args);
  return shown;
}

TEST(ConsoleControlSequences, ClearSequenceAndPrefixAreExactBytes) {
  EXPECT_EQ(clear_seq.size(), 33u);
  EXPECT_EQ(prefix.size(), 10u);
  std_capture err;
  clear_status_line();
  erase_status_prefix();
  EXPECT_EQ(err.text(), clear_seq + prefix);
}

TEST(ConsolePrintf, ErasesTheStatusLineThenPrintsTheWholeMessage) {
  const std::string at_limit(4096, 'm');
  const std::string over_limit(4097, 'm');
  struct row {
    const char* name;
    const char* format;
    const char* arg;
    std::string printed;
    int result;
  } rows[] = {
      {"line feed kept", "prob analyzing %s\n", "a.csv", "prob analyzing a.csv\n", 21},
      {"exactly 4096 characters", "%s", at_limit.c_str(), at_limit, 4096},
      {"4097 characters dropped", "%s", over_limit.c_str(), "", 0},
      {"null format", nullptr, "", "", 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std_capture err;
    const int result = r.format ? console_printf(r.format, r.arg) : console_printf(nullptr);
    EXPECT_EQ(err.text(), clear_seq + r.printed);
    EXPECT_EQ(result, r.result);
  }
}

TEST(StatusPrinters, CutStripAndFrameTheText) {
  const std::string hundred(100, 'x');
  struct row {
    const char* name;
    int width;  // 0: status_printf
    const char* format;
    std::string arg;
    std::string shown;
  } rows[] = {
      {"line feed removed", 0, "percent done %s\n", "42", "percent done 42"},
      {"line feeds inside removed", 0, "%s", "a\nb\n", "ab"},
      {"cut to 60", 0, "%s", hundred, std::string(60, 'x')},
      {"width above 70 gives 70", 200, "%s", hundred, std::string(70, 'x')},
      {"width 40", 40, "analyzing %s\n", hundred, "analyzing " + std::string(30, 'x')},
      {"empty text", 0, "%s", "", ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std_capture err;
    if (r.width == 0)
      status_printf(r.format, r.arg.c_str());
    else
      status_printf_width(r.width, r.format, r.arg.c_str());
    EXPECT_EQ(err.text(), status_line(r.shown));
  }
}

TEST(StatusPrinters, PercentDoneFromTheLineReaderShowsNoLineFeed) {
  std_capture err;
  status_printf("percent done %d\n", 42);
  EXPECT_EQ(err.text(), "\x1b[2K\r    \rpercent done 42\r");
}

TEST(StatusPrinters, LongLimitsNeverShowMoreThanWasFormatted) {
  // The text buffer holds max_len + 1 bytes for a limit above 256, and max(.., 256) below,
  // with one byte for the end mark: what is shown must be formatted characters only.
  const std::string long_text(400, 'x');
  struct row {
    const char* name;
    int max_len;
    int shown;
  } rows[] = {{"limit 300", 300, 299}, {"limit 255", 255, 254}, {"limit 256", 256, 254}, {"limit 254", 254, 254}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std_capture err;
    const int shown = call_status_vprintf(true, r.max_len, false, "%s", long_text.c_str());
    const std::string out = err.text();
    EXPECT_EQ(shown, r.shown);
    EXPECT_EQ(out, status_line(std::string(static_cast<size_t>(r.shown), 'x')));
    EXPECT_EQ(out.find('\0'), std::string::npos);
  }
}

TEST(StatusPrinters, StandardOutputAndTitleForms) {
  {
    std_capture out({1});
    EXPECT_EQ(stdout_status_printf("%s\n", "abc"), 4);
    EXPECT_EQ(out.text(), status_line("abc"));
  }
  {
    std_capture out({1});
    std::ostringstream format;
    format << "n=%d";
    status_stream_printf(&format, 7);
    status_stream_printf(nullptr, 7);
    EXPECT_EQ(out.text(), status_line("n=7"));
  }
  {
    std_capture out({1});
    EXPECT_EQ(call_status_vprintf(false, 60, true, "title %d\n", 1), 8);
    EXPECT_EQ(out.text(), title("title 1"));
  }
  {
    std_capture both({1, 2});
    EXPECT_EQ(call_status_vprintf(true, 60, false, nullptr), 0);
    EXPECT_EQ(both.text(), "");
  }
}

TEST(StatusPrinters, ClearIfEnabledFollowsQuiet) {
  cmd_params params(0, false);
  {
    std_capture err;
    clear_status_line_if_enabled(params);
    clear_status_line_if_enabled_ptr(&params);
    clear_status_line_if_enabled_ptr(nullptr);
    EXPECT_EQ(err.text(), clear_seq + clear_seq);
  }
  params.status_display = 0;
  std_capture err;
  clear_status_line_if_enabled(params);
  clear_status_line_if_enabled_ptr(&params);
  EXPECT_EQ(err.text(), "");
}

TEST(StatusPrinters, TextAndFinalLines) {
  std_capture err;
  EXPECT_EQ(status_line_text(5, "abcdefg"), 5u);
  EXPECT_EQ(status_line_text(60, "a\nb"), 3u);
  EXPECT_EQ(status_line_text(60, ""), 0u);
  status_line_final("done");
  status_line_final("");
  EXPECT_EQ(err.text(), status_line("abcde") + status_line("ab") + prefix + "done\n" + prefix + "\n");
}

TEST(StatusPrinters, PercentDoneStepsFromTheFirstCall) {
  // The step is process-wide and fixed by the first call with a total: this is the only test
  // that calls show_percent_done.
  std_capture err;
  EXPECT_EQ(show_percent_done(60, 5, 0, 10), 0u) << "a total of 0 shows nothing";
  EXPECT_EQ(show_percent_done(60, 0, 1000, 10), 0u);
  EXPECT_EQ(show_percent_done(60, 100, 1000, 10), 16u);
  EXPECT_EQ(show_percent_done(60, 150, 1000, 10), 0u);
  EXPECT_EQ(show_percent_done(60, 250, 1000, 10), 16u);
  EXPECT_EQ(show_percent_done(5, 300, 1000, 10), 5u);
  EXPECT_EQ(show_percent_done(60, 1000, 0, 10), 0u);
  EXPECT_EQ(show_percent_done(60, ~0ull, 1, 10), 24u) << "a huge quotient saturates";
  EXPECT_EQ(err.text(), status_line("percent done: 10") + status_line("percent done: 25") + status_line("perce") +
                            status_line("percent done: 4294967295"));
}

TEST(StatusPrinters, OffsetProgress) {
  std_capture err;
  show_offset_progress(0x1a, 0x100);
  show_offset_progress(0x100, 0x100);
  EXPECT_EQ(err.text(), short_erase + " --> 0x1a of 0x100\r" + short_erase + std::string(45, ' '));
}

TEST(TerminalTitle, SequencesOnStandardOutput) {
  const std::string long_text(300, 't');
  std_capture out({1});
  EXPECT_TRUE(set_terminal_title("abc"));
  EXPECT_FALSE(set_terminal_title(nullptr));
  title_percent_complete(1, 4);
  title_percent_complete(7, 0);  // no total: no title, no division
  const int printed = title_printf("%s", long_text.c_str());
  const int cut = terminal_title_text(3, "abcdef");
  const int whole = terminal_title_text(10, "abc");
  const int negative = terminal_title_text(-1, "abc");
  std::ostringstream stream;
  stream << "stream";
  const int from_stream = title_stream(4, stream);
  EXPECT_EQ(out.text(), title("abc") + title("percent complete: 25") + title(std::string(254, 't')) + title("abc") +
                            title("abc") + title("") + title("stre"));
  EXPECT_EQ(printed, 254);
  EXPECT_EQ(cut, 3);
  EXPECT_EQ(whole, 3);
  EXPECT_EQ(negative, 0);
  EXPECT_EQ(from_stream, 4);
}

TEST(ColorPrintf, ResetFollowsTheTextOnASharedTerminal) {
  struct row {
    const char* name;
    int stream;
  } rows[] = {{"reset on standard error", 2}, {"reset on standard output", 1}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std_capture both({1, 2});
    EXPECT_EQ(color_printf(1, 4, r.stream, "hi %d", 5), 0);
    EXPECT_EQ(both.text(), "\x1b[1;31;44mhi 5\x1b[0;37;40m");
  }
  std_capture err({2});
  {
    std_capture out({1});
    color_printf(0, 0, 2, "x");
    EXPECT_EQ(out.text(), "\x1b[1;30;40mx");
  }
  EXPECT_EQ(err.text(), "\x1b[0;37;40m") << "only the reset goes to standard error";
}

class StatusEmitters : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    ASSERT_TRUE(params_.open_debug_file(dir_.file("diags.txt")));
  }
  std::string log() { return dir_.get("diags.txt").substr(3); }  // past the "->\n" header
  status_settings settings(u64 flags, u32 max_len = 60) {
    status_settings s;
    s.flags = flags;
    s.max_len = max_len;
    s.params = &params_;
    return s;
  }

  temp_folder dir_{"qz_console"};
  cmd_params params_{0, false};
};

TEST_F(StatusEmitters, TitleLineAndLogGetTheSameText) {
  status_settings all = settings(status_flag_title | status_flag_line | status_flag_log | status_flag_stderr);
  std_capture both({1, 2});
  status_emit_text(all, "reading");
  const std::string shown = "\r    \rreading\r";
  EXPECT_EQ(both.text(), prefix + "reading\r" + title(shown));
  EXPECT_EQ(log(), "->" + shown + "\n");
}

TEST_F(StatusEmitters, WhereTheLineGoes) {
  struct row {
    const char* name;
    u64 flags;
    std::string err, out, log;
  } rows[] = {
      {"standard error", status_flag_line | status_flag_stderr, status_line("t"), "", ""},
      {"standard error wins", status_flag_line | status_flag_stderr | status_flag_stdout, status_line("t"), "", ""},
      {"standard output", status_flag_line | status_flag_stdout, "", status_line("t"), ""},
      {"line to nowhere, log kept", status_flag_line | status_flag_log, "", "", "->\r    \rt\r\n"},
      {"title without prefix", status_flag_title | status_flag_stderr, "", title("t"), ""},
      {"log without prefix", status_flag_log, "", "", "->t\n"},
      {"progress flag alone", status_flag_progress | status_flag_stderr, "", "", ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::size_t log_before = log().size();
    status_settings s = settings(r.flags);
    std_capture err({2});
    {
      std_capture out({1});
      status_emit_text(s, "t");
      EXPECT_EQ(out.text(), r.out);
    }
    EXPECT_EQ(err.text(), r.err);
    EXPECT_EQ(log().substr(log_before), r.log);
  }
}

TEST_F(StatusEmitters, CutsCountThePrefix) {
  std_capture both({1, 2});
  status_settings line = settings(status_flag_line | status_flag_stderr, 12);
  status_emit_printf(line, "%s-%d", "abc", 1);
  status_emit_printf(line, nullptr);
  std::ostringstream stream;
  stream << "xyz";
  status_emit_stream(line, stream);
  // A limit shorter than the ESC part leaves an empty title instead of reading past the line.
  status_settings tiny = settings(status_flag_line | status_flag_title, 2);
  status_emit_text(tiny, "abc");
  status_settings title_only = settings(status_flag_title, 3);
  status_emit_printf(title_only, "%s", "abcdef");
  EXPECT_EQ(both.text(), prefix + "ab\r" + prefix + "xy\r" + title("") + title("abc"));
}

TEST_F(StatusEmitters, ProgressShowsEachStepOnceAndEndsAtHundred) {
  status_settings s = settings(status_flag_line | status_flag_progress | status_flag_stderr | status_flag_log);
  s.total = 1000;
  s.min_step = 10;
  std_capture err;
  for (u64 count : std::initializer_list<u64>{0, 50, 99, 100, 150, 199, 200, 1000, 1000, 2000}) status_emit_progress(s, count);
  EXPECT_EQ(err.text(), short_erase + "Percent done: 10%\r" + short_erase + "Percent done: 20%\r" + short_erase +
                            "Percent done: 100%\r");
  EXPECT_EQ(s.last_percent, 100u);
  EXPECT_EQ(log(), "->\rPercent done: 10%\r\n->\rPercent done: 20%\r\n->\rPercent done: 100%\r\n");
}

TEST_F(StatusEmitters, ProgressNeedsItsFlagAndAnOutput) {
  struct row {
    const char* name;
    u64 flags;
  } rows[] = {{"no progress flag", status_flag_line | status_flag_stderr},
              {"progress flag without an output", status_flag_progress | status_flag_stderr}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    status_settings s = settings(r.flags);
    s.total = 10;
    std_capture err;
    status_emit_progress(s, 10);
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(s.last_percent, 0u);
  }
  status_settings title_only = settings(status_flag_title | status_flag_progress, 8);
  title_only.total = 4;
  std_capture out({1});
  status_emit_progress(title_only, 1);
  EXPECT_EQ(out.text(), title("Percent "));
}

}  // namespace
