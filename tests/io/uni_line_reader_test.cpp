#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/io/uni_fileio.h"
#include "tests/text/temp_folder.h"

namespace {

struct Delivery {
  std::vector<std::string> lines;
  std::vector<u32> counts;
  std::vector<u64> offsets;
  std::string truncate_after_first;  // a path cut to nothing after the first call
  size_t stop_after = 0;             // calls after which the callback asks for no more (0: never)
};

u64 collect(uni::fileio&, u64 context, std::vector<std::string>& lines, u32 count, u64 offset) {
  Delivery* delivery = reinterpret_cast<Delivery*>(context);
  delivery->lines.insert(delivery->lines.end(), lines.begin(), lines.begin() + count);
  delivery->counts.push_back(count);
  delivery->offsets.push_back(offset);
  if (!delivery->truncate_after_first.empty()) {
    EXPECT_EQ(::truncate(delivery->truncate_after_first.c_str(), 0), 0);
    delivery->truncate_after_first.clear();
  }
  if (delivery->counts.size() == delivery->stop_after) return 0;
  return count;
}

u64 context_of(Delivery& delivery) { return reinterpret_cast<u64>(&delivery); }

// UTF-16LE bytes of the code points (pairs for those above U+FFFF); values in
// D800-DFFF are written as single units, so tests can place lone surrogates.
std::string utf16le(const std::u32string& text) {
  std::string bytes;
  auto unit = [&](u32 u) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  };
  for (char32_t c : text) {
    if (c > 0xFFFF) {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      unit(c);
    }
  }
  return bytes;
}

const std::string bom16 = "\xFF\xFE";
const std::string bom8 = "\xEF\xBB\xBF";

class LineReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.path().empty()); }
  void put(const std::string& content) const { folder_.put("source.csv", content); }

  temp_folder folder_{"uni_line_reader"};
  const std::string path_ = folder_.file("source.csv");
};

TEST_F(LineReaderTest, EveryChunkSizeGivesTheLinesOfTheWholeFile) {
  struct Case {
    const char* name;
    std::string content;
    bool trim;
    bool skip_empty;
    bool detect_bom;
    std::vector<std::string> expected;
    bool keep_line_ends = false;
  };
  const std::vector<Case> cases = {
      {"LF", "a\nbb\nccc\n", false, false, false, {"a", "bb", "ccc"}},
      {"CR LF", "a,b\r\ncc\r\n\r\nd\r\n", false, false, false, {"a,b", "cc", "", "d"}},
      {"CR LF, empty lines skipped", "abc\r\n\r\n\r\ndef\r\n", false, true, false,
       {"abc", "def"}},
      {"LF, empty lines skipped", "abc\n\n\ndef\n\n", false, true, false, {"abc", "def"}},
      {"LF CR and leading CRs", "a\n\rb\n\r\r\rc\n", false, false, false, {"a", "b", "c"}},
      {"a lone CR stays inside", "a\rb\n", false, false, false, {"a\rb"}},
      {"lines of CRs only", "\r\n\r\r\n", false, false, false, {"", ""}},
      {"blanks kept without trim", " x  y \n\t\n", false, false, false, {" x  y ", "\t"}},
      {"trim keeps inner blanks", "  x  y z  \n \t \n\n w\n", true, false, false,
       {"x  y z", "", "", "w"}},
      {"trim and skip empty", "  x  y z  \n \t \r\n\n w\n", true, true, false, {"x  y z", "w"}},
      {"last line without LF", "first\nlast", false, false, false, {"first", "last"}},
      {"last line without LF, trimmed", "first\n  last \t", true, false, false,
       {"first", "last"}},
      {"last line ends in CR", "first\nlast\r", false, false, false, {"first", "last"}},
      {"no LF at all", "one line only", false, false, false, {"one line only"}},
      {"only blanks, skipped", " \n  \t", true, true, false, {}},
      {"UTF-8 mark removed", bom8 + "h1\r\nh\xC3\xA9\r\n", false, false, true, {"h1", "h\xC3\xA9"}},
      {"UTF-8 mark kept without detection", bom8 + "h1\nh2\n", false, false, false,
       {bom8 + "h1", "h2"}},
      {"UTF-8 mark alone", bom8, false, false, true, {}},
      {"UTF-16 ASCII", bom16 + utf16le(U"ab,cd\r\nef\r\n\r\ng"), false, false, true,
       {"ab,cd", "ef", "", "g"}},
      {"UTF-16 BMP", bom16 + utf16le(U"caf\u00E9|\u20AC\n\u4E2D\u6587\n"), false, false, true,
       {"caf\xC3\xA9|\xE2\x82\xAC", "\xE4\xB8\xAD\xE6\x96\x87"}},
      {"UTF-16 surrogate pairs", bom16 + utf16le(U"\U0001F600x\U0001D11E\n\U0001F600\n"), true,
       true, true, {"\xF0\x9F\x98\x80x\xF0\x9D\x84\x9E", "\xF0\x9F\x98\x80"}},
      {"UTF-16 lone high surrogate", bom16 + utf16le(U"a\xD800" U"b\nc\n"), false, false, true,
       {"a\xEF\xBF\xBD" "b", "c"}},
      {"UTF-16 lone low surrogate", bom16 + utf16le(U"a\xDC00" U"b\n"), false, false, true,
       {"a\xEF\xBF\xBD" "b"}},
      {"UTF-16 high surrogate before LF", bom16 + utf16le(U"a\xD83D\nb\n"), false, false, true,
       {"a\xEF\xBF\xBD", "b"}},
      {"UTF-16 high surrogate at the end", bom16 + utf16le(U"a\nb\xD83D"), false, false, true,
       {"a", "b\xEF\xBF\xBD"}},
      {"UTF-16 odd last byte ignored", bom16 + utf16le(U"a\nb") + "x", false, false, true,
       {"a", "b"}},
      {"UTF-16 mark alone", bom16, false, false, true, {}},
      {"UTF-16 surrogates inside long ASCII runs",
       bom16 + utf16le(U"0123456789abcde\U0001F600fghijklm\xDC00nopqrstuvwxyz01\xD800" U"23456789\n"),
       false, false, true,
       {"0123456789abcde\xF0\x9F\x98\x80" "fghijklm\xEF\xBF\xBD" "nopqrstuvwxyz01\xEF\xBF\xBD" "23456789"}},
      // Lines kept whole are the text byte for byte: each with its own LF (CR LF, lone CRs and
      // blanks as they stand; trim and skip_empty do not apply), the last one without LF when
      // the file has none; only a mark is left out, and UTF-16 becomes UTF-8.
      {"whole lines, mixed line ends", "id,note\r\n1,\"a\nb\r\n\rc\"\r\n\n  \t\n", true, true, true,
       {"id,note\r\n", "1,\"a\n", "b\r\n", "\rc\"\r\n", "\n", "  \t\n"}, true},
      {"whole lines, last line without LF", "a\r\nlast\r", true, true, true, {"a\r\n", "last\r"}, true},
      {"whole lines, no LF at all", "one line", true, true, true, {"one line"}, true},
      {"whole lines, UTF-8 mark left out", bom8 + "h\r\nx\n", true, true, true, {"h\r\n", "x\n"}, true},
      {"whole lines, UTF-16", bom16 + utf16le(U"a\r\n\u00E9\n\nz"), true, true, true,
       {"a\r\n", "\xC3\xA9\n", "\n", "z"}, true},
  };
  for (const Case& c : cases) {
    put(c.content);
    std::vector<u32> chunk_sizes;
    for (u32 size = 1; size <= 64; ++size) chunk_sizes.push_back(size);
    chunk_sizes.push_back(uni::fileio::default_chunk_bytes);
    for (u32 chunk : chunk_sizes) {
      SCOPED_TRACE(std::string(c.name) + ", chunk " + std::to_string(chunk));
      uni::fileio file(path_, false, true, false);
      ASSERT_TRUE(file.is_open());
      Delivery delivery;
      EXPECT_EQ(file.for_each_line(collect, context_of(delivery), c.trim, c.skip_empty, false,
                                   uni::fileio::all_lines, c.detect_bom, chunk, c.keep_line_ends),
                1);
      ASSERT_EQ(delivery.lines, c.expected);
      for (u32 count : delivery.counts) EXPECT_GT(count, 0u);
    }
  }
}

TEST_F(LineReaderTest, LongLinesAndLargeUtf16Files) {
  // A line many chunks long, and several MiB of UTF-16 whose UTF-8 form outgrows the chunk.
  std::string long_line(100000, 'q');
  put("start\n" + long_line + "\nend");
  {
    uni::fileio file(path_, false, true, false);
    Delivery delivery;
    EXPECT_EQ(file.for_each_line(collect, context_of(delivery), false, false, false,
                                 uni::fileio::all_lines, false, 7),
              1);
    EXPECT_EQ(delivery.lines, (std::vector<std::string>{"start", long_line, "end"}));
  }

  std::u32string wide_line = U"\u4E2D\u6587|\u00E9|\U0001F600|";
  for (int i = 0; i < 4; ++i) wide_line += wide_line;
  const std::string utf8_line =
      std::string("\xE4\xB8\xAD\xE6\x96\x87|\xC3\xA9|\xF0\x9F\x98\x80|");
  std::string expected_line;
  for (int i = 0; i < 16; ++i) expected_line += utf8_line;
  std::string content = bom16;
  const std::string encoded = utf16le(wide_line + U"\r\n");
  const size_t line_count = (5u << 20) / encoded.size();
  content.reserve(encoded.size() * line_count + 2);
  for (size_t i = 0; i < line_count; ++i) content += encoded;
  put(content);
  uni::fileio file(path_, false, true, false);
  Delivery delivery;
  EXPECT_EQ(file.for_each_line(collect, context_of(delivery), false, false, false,
                               uni::fileio::all_lines, true),
            1);
  ASSERT_EQ(delivery.lines.size(), line_count);
  for (size_t i = 0; i < line_count; ++i) {
    ASSERT_EQ(delivery.lines[i], expected_line) << "line " << i;
  }
  EXPECT_GE(delivery.counts.size(), 5u) << "read in chunks of at most 1 MiB";
}

TEST_F(LineReaderTest, MaxLinesStopsInTheChunkThatReachesIt) {
  put("l0\nl1\nl2\nl3\nl4\nl5\nl6\nl7\nl8\nl9\n");  // 3 lines per 9-byte chunk
  struct Case {
    const char* name;
    u64 max_lines;
    std::vector<u32> counts;
  };
  const Case cases[] = {
      {"cut inside a chunk", 5, {3, 2}},
      {"reached at a chunk's end", 6, {3, 3}},
      {"none", 0, {}},
      {"more than the file holds", 50, {3, 3, 3, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uni::fileio file(path_, false, true, false);
    Delivery delivery;
    EXPECT_EQ(file.for_each_line(collect, context_of(delivery), false, false, false, c.max_lines,
                                 false, 9),
              1);
    EXPECT_EQ(delivery.counts, c.counts);
  }
  uni::fileio file(path_, false, true, false);
  Delivery delivery;
  file.for_each_line(collect, context_of(delivery), false, false, false, uni::fileio::all_lines,
                     false, 9);
  EXPECT_EQ(delivery.offsets, (std::vector<u64>{0, 9, 18, 27}));
}

// A callback that returns 0 ends the reading at once: no later chunk is read or delivered,
// and the lines delivered so far stand (result 1).
TEST_F(LineReaderTest, ACallbackReturningZeroStopsTheReading) {
  put("l0\nl1\nl2\nl3\nl4\nl5\nl6\nl7\nl8\nl9\n");  // 3 lines per 9-byte chunk
  for (size_t stop_after : {1u, 2u, 4u}) {
    SCOPED_TRACE(stop_after);
    uni::fileio file(path_, false, true, false);
    Delivery delivery;
    delivery.stop_after = stop_after;
    EXPECT_EQ(file.for_each_line(collect, context_of(delivery), false, false, false,
                                 uni::fileio::all_lines, false, 9),
              1);
    EXPECT_EQ(delivery.counts.size(), stop_after);
    EXPECT_EQ(delivery.lines.size(), std::min<size_t>(3 * stop_after, 10));
  }
}

// What the reader shows on the status line it is handed: each print, then "clear".
std::vector<std::string> status_shown;

TEST_F(LineReaderTest, ProgressOnTheStatusLine) {
  uni::fileio::set_status_line({[](const char* text) { status_shown.emplace_back(text); },
                                [] { status_shown.emplace_back("clear"); }});
  put("aaaaaaaaa\nbbbbbbbbb\nccccccccc\n");
  uni::fileio file(path_, false, true, false);
  Delivery delivery;
  status_shown.clear();
  EXPECT_EQ(file.for_each_line(collect, context_of(delivery), false, false, true,
                               uni::fileio::all_lines, false, 10),
            1);
  EXPECT_EQ(status_shown, (std::vector<std::string>{"percent done 0\n", "percent done 33\n",
                                                    "percent done 66\n", "clear"}));

  put("");
  uni::fileio empty(path_, false, true, false);
  Delivery none;
  status_shown.clear();
  EXPECT_EQ(empty.for_each_line(collect, context_of(none), false, false, true,
                                uni::fileio::all_lines, true),
            1);
  EXPECT_TRUE(none.counts.empty()) << "an empty file gives no callback";
  EXPECT_EQ(status_shown, std::vector<std::string>{"clear"}) << "but the status line is cleared";

  // Without show_progress, or without a status line, nothing is shown.
  status_shown.clear();
  uni::fileio quiet(path_, false, true, false);
  quiet.for_each_line(collect, context_of(none), false, false, false, uni::fileio::all_lines, true);
  EXPECT_TRUE(status_shown.empty());
  uni::fileio::set_status_line({});
  uni::fileio unset(path_, false, true, false);
  unset.for_each_line(collect, context_of(none), false, false, true, uni::fileio::all_lines, true);
  EXPECT_TRUE(status_shown.empty());
}

TEST_F(LineReaderTest, RefusalsAndReadFailures) {
  put("a\nb\n");
  Delivery delivery;
  uni::fileio closed;
  EXPECT_EQ(closed.for_each_line(collect, context_of(delivery), false, false, false,
                                 uni::fileio::all_lines, false),
            0);
  uni::fileio binary(path_, false, false, false);
  ASSERT_TRUE(binary.is_open());
  EXPECT_EQ(binary.for_each_line(collect, context_of(delivery), false, false, false,
                                 uni::fileio::all_lines, false),
            0)
      << "not opened in text mode";
  EXPECT_TRUE(delivery.counts.empty());

  // The file loses its content after the first chunk: the rest cannot be read.
  put("one\ntwo\nthree\nfour\n");
  uni::fileio file(path_, false, true, false);
  Delivery cut;
  cut.truncate_after_first = path_;
  EXPECT_EQ(file.for_each_line(collect, context_of(cut), false, false, false,
                               uni::fileio::all_lines, false, 8),
            0);
  EXPECT_EQ(cut.lines, (std::vector<std::string>{"one", "two"}));

  uni::fileio memory(std::vector<u8>{'m', '1', '\n', 'm', '2'}, false, true);
  Delivery from_memory;
  EXPECT_EQ(memory.for_each_line(collect, context_of(from_memory), false, false, false,
                                 uni::fileio::all_lines, false, 2),
            1);
  EXPECT_EQ(from_memory.lines, (std::vector<std::string>{"m1", "m2"}));
}

}  // namespace
