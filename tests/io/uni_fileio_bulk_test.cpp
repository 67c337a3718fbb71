#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/io/uni_fileio.h"
#include "tests/io/recording_report.h"
#include "tests/text/temp_folder.h"

namespace {

using lines_t = std::vector<std::string>;

class FileioBulkTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.path().empty()); }
  // A file of the given content, opened for reading.
  bool open_with(uni::fileio& file, const std::string& content, bool text_mode = true) {
    folder_.put("source", content);
    return file.open_utf8(folder_.file("source"), false, text_mode, false);
  }
  temp_folder folder_{"telvar_bulk"};
};

TEST_F(FileioBulkTest, ReadAllLines) {
  const std::string long_line(70000, 'x');
  const std::string block_line(0x10000, 'y');
  const struct {
    const char* name;
    std::string content;
    lines_t expected;
  } cases[] = {
      {"blank LF line skipped", "abc\n\ndef", {"abc", "def"}},
      {"blank CRLF line is an empty entry", "abc\r\n\r\ndef", {"abc", "", "def"}},
      {"LF CR counts once", "abc\n\rdef\n", {"abc", "def"}},
      {"CR alone ends a line", "a\rb\r", {"a", "b"}},
      {"last line without end, trimmed", "one\n  two \t", {"one", "two"}},
      {"blanks only line", "a\n   \nb", {"a", "", "b"}},
      {"no line end at all", "single", {"single"}},
      // A block of 64 KiB without a line end that is not the last one is a line by itself.
      {"64 KiB without line end", long_line + "\nend", {long_line.substr(0, 0x10000), long_line.substr(0x10000), "end"}},
      {"exactly one block", block_line, {block_line}},
      {"line end after a full block", block_line + "\n" + "tail", {block_line, "tail"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uni::fileio file;
    ASSERT_TRUE(open_with(file, c.content));
    lines_t lines = {"stale"};
    EXPECT_TRUE(file.read_all_lines(lines));
    EXPECT_EQ(lines, c.expected);
  }
  uni::fileio empty;
  ASSERT_TRUE(open_with(empty, ""));
  lines_t lines = {"stale"};
  EXPECT_FALSE(empty.read_all_lines(lines));
  EXPECT_TRUE(lines.empty());
  uni::fileio closed;
  EXPECT_FALSE(closed.read_all_lines(lines));
}

// A block that is not the last stops at its last line end; the next call gets the whole line.
TEST_F(FileioBulkTest, ReadLinesAtResumesAtTheLastLineEnd) {
  uni::fileio file;
  ASSERT_TRUE(open_with(file, "first\nsecond line\nthird"));
  lines_t lines;
  u32 length = 10;
  ASSERT_TRUE(file.read_lines_at(lines, length, 0));
  EXPECT_EQ(length, 6u);
  EXPECT_EQ(lines, lines_t{"first"});
  length = 100;
  ASSERT_TRUE(file.read_lines_at(lines, length, 6));
  EXPECT_EQ(length, 17u);
  EXPECT_EQ(lines, (lines_t{"first", "second line", "third"}));
  const struct {
    const char* name;
    u32 length;
    u64 offset;
  } refused[] = {{"length 0", 0, 0}, {"offset past the end", 5, 100}, {"offset at the end", 5, 23}};
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name);
    u32 asked = c.length;
    EXPECT_FALSE(file.read_lines_at(lines, asked, c.offset));
  }
}

TEST_F(FileioBulkTest, ForEachBlockOverlaps) {
  struct call {
    u64 offset;
    u32 length;
    u32 overlap;
    char first;
    bool operator==(const call&) const = default;
  };
  std::vector<call> calls;
  const auto record = [](uni::fileio&, u64 context, const u8* block, u32 length, u32 overlap, u64 offset) {
    reinterpret_cast<std::vector<call>*>(context)->push_back({offset, length, overlap, static_cast<char>(block[0])});
  };
  std::string content;
  for (int i = 0; i < 250; ++i) content += static_cast<char>('A' + i % 26);
  const struct {
    const char* name;
    u32 block;
    u32 overlap;
    u64 start;
    std::vector<call> expected;
  } cases[] = {
      {"250 bytes in 100 with 10", 100, 10, 0, {{0, 100, 10, 'A'}, {90, 100, 10, 'M'}, {180, 70, 10, 'Y'}, {240, 10, 0, 'G'}}},
      {"block beyond the content", 1000, 10, 0, {{0, 250, 0, 'A'}}},
      {"overlap not below the block", 50, 50, 200, {{200, 50, 0, 'S'}}},
      {"start at the end", 100, 10, 250, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uni::fileio file;
    ASSERT_TRUE(open_with(file, content));
    calls.clear();
    EXPECT_TRUE(file.for_each_block(record, reinterpret_cast<u64>(&calls), c.block, c.overlap, c.start));
    EXPECT_EQ(calls, c.expected);
  }
  uni::fileio closed;
  EXPECT_FALSE(closed.for_each_block(record, 0, 10, 0, 0));
}

TEST_F(FileioBulkTest, CopyToStreamAndFile) {
  std::string content;
  for (int i = 0; i < 1000; ++i) content += static_cast<char>(i % 251);
  uni::fileio source;
  ASSERT_TRUE(open_with(source, content, false));

  std::ostringstream out;
  recording_report progress;
  EXPECT_TRUE(source.copy_to_stream(out, 100, 500, 7, &progress));
  EXPECT_EQ(out.str(), content.substr(100, 500));
  // 72 blocks of 7 bytes: progress before the first and the 72nd.
  EXPECT_EQ(progress.statuses, (lines_t{"percent done 0.00", "percent done 99.40"}));
  EXPECT_EQ(progress.clears, 0);

  out.str("");
  EXPECT_TRUE(source.copy_to_stream(out, 990, 500, 0, nullptr));
  EXPECT_EQ(out.str(), content.substr(990));
  EXPECT_FALSE(source.copy_to_stream(out, 1001, 5, 7, nullptr));

  folder_.put("target", "0123456789");
  uni::fileio target;
  ASSERT_TRUE(target.open_utf8(folder_.file("target"), true, false, false));
  progress = recording_report();
  EXPECT_TRUE(source.copy_to_file(target, 0, 5000, 4, 0, &progress));
  ASSERT_TRUE(target.close());
  EXPECT_EQ(folder_.get("target"), "0123" + content);
  EXPECT_EQ(progress.statuses, lines_t{"percent done 0.00"});
  EXPECT_EQ(progress.clears, 1);
  EXPECT_FALSE(source.copy_to_file(target, 0, 0, 0, 0, nullptr));

  // Memory mode: a start beyond the content is refused.
  uni::fileio memory(std::vector<u8>{'a', 'b', 'c'}, false, false);
  out.str("");
  EXPECT_TRUE(memory.copy_to_stream(out, 1, 10, 1, nullptr));
  EXPECT_EQ(out.str(), "bc");
  EXPECT_FALSE(memory.copy_to_file(target, 4, 1, 0, 0, nullptr));
}

// A copy or a list of lines that cannot be written is reported, never passed for done.
TEST_F(FileioBulkTest, WritesThatFailAreReported) {
  uni::fileio source;
  ASSERT_TRUE(open_with(source, std::string(5000, 'z'), false));
  std::ofstream full_stream("/dev/full", std::ios::binary);
  ASSERT_TRUE(full_stream.is_open());
  EXPECT_FALSE(source.copy_to_stream(full_stream, 0, 5000, 1000, nullptr));

  uni::fileio full;
  ASSERT_TRUE(full.open_utf8("/dev/full", true, false, false));
  EXPECT_FALSE(source.copy_to_file(full, 0, 5000, 0, 1000, nullptr));
  EXPECT_FALSE(full.write_lines({"a", "b"}));
  EXPECT_FALSE(full.write_hex_dump(std::vector<u8>{1, 2, 3}, 0));

  uni::fileio closed;
  std::ostringstream out;
  EXPECT_FALSE(closed.copy_to_stream(out, 0, 1, 1, nullptr));
  EXPECT_FALSE(closed.write_lines({"a"}));
}

TEST_F(FileioBulkTest, HexDump) {
  std::vector<u8> sixteen;
  for (u8 i = 0; i < 16; ++i) sixteen.push_back(static_cast<u8>(0x41 + i));
  std::vector<u8> mixed = sixteen;
  mixed[1] = 0x00;
  mixed[2] = 0x7F;
  mixed.push_back(0x20);
  const struct {
    const char* name;
    std::vector<u8> bytes;
    u64 base;
    bool text_mode;
    std::string expected;
  } cases[] = {
      {"three bytes, text mode", {0x41, 0x42, 0x43}, 0, true, "0x000000 : 41 42 43 \r\n"},
      {"one full line", sixteen, 0, false,
       "0x000000 : 41 42 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50 ABCDEFGHIJKLMNOP\n0x000010 : \n"},
      {"unprintable bytes, base offset", mixed, 0x1234567, false,
       "0x1234567 : 41 00 7f 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50 A..DEFGHIJKLMNOP\n0x1234577 : 20 \n"},
      {"no bytes", {}, 0, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uni::fileio file;
    ASSERT_TRUE(file.open_utf8(folder_.file("dump"), true, c.text_mode, true));
    EXPECT_TRUE(file.write_hex_dump(c.bytes, c.base));
    ASSERT_TRUE(file.close());
    EXPECT_EQ(folder_.get("dump"), c.expected);
  }
  uni::fileio file;
  ASSERT_TRUE(file.open_utf8(folder_.file("dump"), true, false, true));
  EXPECT_FALSE(file.write_hex_dump(nullptr, 3, 0));
}

TEST_F(FileioBulkTest, WriteLines) {
  uni::fileio file;
  ASSERT_TRUE(file.open_utf8(folder_.file("lines"), true, false, true));
  EXPECT_FALSE(file.write_lines({}));
  EXPECT_TRUE(file.write_lines({"one", "", "three"}));
  ASSERT_TRUE(file.close());
  EXPECT_EQ(folder_.get("lines"), "one\r\n\r\nthree\r\n");
}

}  // namespace
