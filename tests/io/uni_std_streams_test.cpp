#include "framework/io/uni_std_streams.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/text/temp_folder.h"

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

// Puts a descriptor in place of standard input for one test and brings the real one back after.
class StdinTest : public ::testing::Test {
 protected:
  // The test program itself may run with standard input closed; then it is left closed.
  void SetUp() override { saved_stdin_ = dup(STDIN_FILENO); }
  void TearDown() override {
    if (writer_ >= 0) ::close(writer_);
    if (saved_stdin_ >= 0) {
      dup2(saved_stdin_, STDIN_FILENO);
      ::close(saved_stdin_);
    } else {
      ::close(STDIN_FILENO);
    }
    reset_stdio();
  }
  // stdio keeps its end-of-input flag and any read-ahead from the previous descriptor.
  static void reset_stdio() {
    clearerr(stdin);
    __fpurge(stdin);
  }
  void use_as_stdin(int fd) {
    ASSERT_GE(fd, 0);
    if (fd != STDIN_FILENO) {  // with standard input closed, a new descriptor may already be 0
      ASSERT_EQ(dup2(fd, STDIN_FILENO), STDIN_FILENO);
      ::close(fd);
    }
    reset_stdio();
  }
  // Standard input becomes a pipe holding data; with keep_open its writer stays open (writer_).
  void pipe_stdin(const std::string& data, bool keep_open) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(write(ends[1], data.data(), data.size()), static_cast<ssize_t>(data.size()));
    if (keep_open) {
      writer_ = ends[1];
    } else {
      ::close(ends[1]);
    }
    use_as_stdin(ends[0]);
  }

  int saved_stdin_ = -1;
  int writer_ = -1;
};

TEST_F(StdinTest, LinesArriveInPiecesWithEndingsStrippedOnRequest) {
  const std::string long_line(5000, 'x');
  const std::string input = "a.csv\r\n\r\nc.csv\r\r\n" + long_line + "\n" + "b.csv";
  struct {
    const char* name;
    bool strip;
    std::vector<std::string> pieces;
  } cases[] = {
      {"stripped", true, {"a.csv", "", "c.csv", std::string(4095, 'x'), std::string(905, 'x'), "b.csv"}},
      {"raw", false, {"a.csv\r\n", "\r\n", "c.csv\r\r\n", std::string(4095, 'x'), std::string(905, 'x') + "\n", "b.csv"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    pipe_stdin(input, false);
    uni::stdin_stream in(false);
    ASSERT_TRUE(in.is_ready());
    std::string piece;
    for (const std::string& expected : c.pieces) {
      ASSERT_TRUE(in.read(piece, c.strip));
      EXPECT_EQ(piece, expected);
    }
    piece = "stale";
    EXPECT_FALSE(in.read(piece, c.strip));
    EXPECT_EQ(piece, "");
  }
}

TEST_F(StdinTest, EndOfInputEndsWaitAndReadAtOnce) {
  struct {
    const char* name;
    bool dev_null;
  } cases[] = {{"/dev/null", true}, {"pipe with its writer closed", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.dev_null) {
      use_as_stdin(open("/dev/null", O_RDONLY));
    } else {
      pipe_stdin("", false);
    }
    uni::stdin_stream in(false);
    ASSERT_TRUE(in.is_ready());
    auto start = clock_type::now();
    EXPECT_TRUE(in.wait_for_input());  // end of input is readable
    std::string line = "stale";
    EXPECT_FALSE(in.read(line, true));
    EXPECT_EQ(line, "");
    std::wstring wide = L"stale";
    EXPECT_FALSE(in.read(wide, true));
    EXPECT_EQ(wide, L"");
    EXPECT_LT(seconds_since(start), 1.0);
  }
}

TEST_F(StdinTest, ClosedStdinLeavesTheStreamNotReady) {
  ::close(STDIN_FILENO);
  uni::stdin_stream in(true);
  EXPECT_FALSE(in.is_ready());
  std::string line;
  EXPECT_FALSE(in.read(line, true));
  EXPECT_FALSE(in.wait_for_input());
}

TEST_F(StdinTest, WaitSeesLinesStdioAlreadyTookAndTimesOutWhenIdle) {
  pipe_stdin("a\nb\n", true);
  uni::stdin_stream in(false);
  std::string line;
  ASSERT_TRUE(in.read(line, true));
  EXPECT_EQ(line, "a");
  // stdio has drained the pipe into its buffer: the descriptor alone looks idle.
  auto start = clock_type::now();
  EXPECT_TRUE(in.wait_for_input());
  EXPECT_LT(seconds_since(start), 1.0);
  ASSERT_TRUE(in.read(line, true));
  EXPECT_EQ(line, "b");

  start = clock_type::now();
  EXPECT_FALSE(in.wait_for_input());
  double waited = seconds_since(start);
  EXPECT_GE(waited, 1.9);
  EXPECT_LT(waited, 4.0);
}

TEST_F(StdinTest, WideReadKeepsCharactersCutByThePieceLimit) {
  // The 3-byte euro sign starts at byte 4094 and would be split by the 4095-byte limit.
  const std::string euro = "\xE2\x82\xAC";
  pipe_stdin(std::string(4094, 'x') + euro + "y\n" + "ab\xFF" "cd\n", false);
  uni::stdin_stream in(false);
  std::wstring piece;
  ASSERT_TRUE(in.read(piece, true));
  EXPECT_EQ(piece, std::wstring(4094, L'x'));
  ASSERT_TRUE(in.read(piece, true));
  EXPECT_EQ(piece, L"\u20ACy");
  ASSERT_TRUE(in.read(piece, true));  // malformed: the characters before the fault
  EXPECT_EQ(piece, L"ab");
  EXPECT_FALSE(in.read(piece, true));
}

TEST_F(StdinTest, ByteAndCallerBufferReads) {
  pipe_stdin("abcdef\nxy\r\nlast", false);
  uni::stdin_stream in(false);
  std::vector<u8> bytes;
  ASSERT_TRUE(in.read(bytes, false));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "abcdef\n");

  char target[8];
  struct {
    const char* name;
    char* target;
    u32 capacity;
    bool ok;
    std::string text;
  } cases[] = {
      {"null target", nullptr, 8, false, ""},
      {"room for the terminator only", target, 1, false, ""},
      {"no room", target, 0, false, ""},
      {"cut by the room", target, 3, true, "xy"},
      {"rest of the line", target, 8, true, "\r\n"},
      {"last line without LF", target, 8, true, "last"},
      {"end of input", target, 8, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    u32 length = c.capacity;
    EXPECT_EQ(in.read(c.target, &length), c.ok);
    EXPECT_EQ(length, c.text.size());
    if (c.ok) {
      EXPECT_EQ(std::string(target), c.text);
    }
  }
  EXPECT_FALSE(in.read(target, nullptr));
}

TEST_F(StdinTest, CloseEndsReading) {
  pipe_stdin("a\n", false);
  uni::stdin_stream in(false);
  in.close();
  EXPECT_FALSE(in.is_ready());
  std::string line;
  EXPECT_FALSE(in.read(line, true));
  char target[4];
  u32 length = sizeof target;
  EXPECT_FALSE(in.read(target, &length));
  EXPECT_FALSE(in.wait_for_input());
}

// Points standard output at a file for one test; the text written there is read back.
class StdoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    std::fflush(stdout);
    saved_stdout_ = dup(STDOUT_FILENO);
    ASSERT_GE(saved_stdout_, 0);
  }
  void TearDown() override { restore(); }
  void redirect_to(const char* path, int flags) {
    std::fflush(stdout);
    int fd = open(path, flags, 0600);
    ASSERT_GE(fd, 0);
    dup2(fd, STDOUT_FILENO);
    ::close(fd);
  }
  void restore() {
    if (saved_stdout_ < 0) return;
    std::fflush(stdout);
    clearerr(stdout);
    dup2(saved_stdout_, STDOUT_FILENO);
    ::close(saved_stdout_);
    saved_stdout_ = -1;
  }
  temp_folder folder_{"qz_stdout"};
  const std::string path_ = folder_.file("out.txt");
  int saved_stdout_ = -1;
};

TEST_F(StdoutTest, WritesEveryFormInOrderAfterBufferedText) {
  redirect_to(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC);
  uni::stdout_stream out(false);
  bool ready = out.is_ready();
  std::printf("printed ");  // still in the stdio buffer when the raw write comes
  bool text_ok = out.write(std::string("text "));
  bool bytes_ok = out.write(std::vector<u8>{'b', 'y', 't', 'e', 's', ' '});
  bool wide_ok = out.write(std::wstring(L"\u00E9\u20AC"));
  bool raw_ok = out.write("!", 1);
  bool refused = out.write(std::vector<u8>{}) || out.write(std::wstring()) || out.write(std::string()) ||
                 out.write(nullptr, 4);
  out.close();
  bool after_close = out.write(std::string("lost"));
  restore();
  EXPECT_TRUE(ready);
  EXPECT_TRUE(text_ok && bytes_ok && wide_ok && raw_ok);
  EXPECT_FALSE(refused);
  EXPECT_FALSE(after_close);
  EXPECT_FALSE(out.is_ready());
  EXPECT_EQ(folder_.get("out.txt"), "printed text bytes \xC3\xA9\xE2\x82\xAC!");
}

TEST_F(StdoutTest, FailedOrMissingOutputIsReported) {
  redirect_to("/dev/full", O_WRONLY);
  uni::stdout_stream full(false);
  bool full_ok = full.write(std::string("no room"));
  ::close(STDOUT_FILENO);
  uni::stdout_stream missing(false);
  bool missing_ready = missing.is_ready();
  bool missing_ok = missing.write(std::string("x"));
  restore();
  EXPECT_FALSE(full_ok);
  EXPECT_FALSE(missing_ready);
  EXPECT_FALSE(missing_ok);
}

}  // namespace
