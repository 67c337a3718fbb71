#include "tool/record_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/io/uni_fileio.h"
#include "tests/io/temp_folder.h"

namespace {

// Distinct bytes, so that a repeated, lost or shifted stretch shows in a comparison.
std::string pattern_text(size_t length, size_t seed) {
  std::string text(length, '\0');
  for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + (i * 7 + seed + i / 26) % 26);
  return text;
}

// Records built in the free part of the file's own buffer, or in the text's storage where the
// buffer is nearly full or the record outgrows it, must reach the file whole and in order, also
// with ordinary writes to the stream between them.
TEST(record_text, RecordsReachTheOutputWholeAndInOrderWhereverTheyAreBuilt) {
  temp_folder folder("record_text");
  ASSERT_FALSE(folder.path().empty());
  const std::string path = folder.file("out.txt");
  uni::fileio file(path, true, false, false);
  std::ostream* out = file.get_output_stream();
  ASSERT_NE(out, nullptr);
  auto* buffer = dynamic_cast<uni::streambuf_generic_output<char>*>(out->rdbuf());
  ASSERT_NE(buffer, nullptr);

  // Small records, one that outgrows any window, records that leave the buffer nearly full,
  // and records of exactly the room asked for.
  const std::vector<size_t> sizes = {10,     5000, 300000, 1,  4095, 70000, 262144, 0,
                                     200000, 3,    262100, 40, 4096, 9999,  1 << 20};
  std::string expected;
  record_text text;
  bool some_in_window = false;
  bool some_outside = false;
  for (size_t r = 0; r < sizes.size(); ++r) {
    start_record(text, *out, buffer);
    const bool started_in_window = text.in_window();
    const std::string record = pattern_text(sizes[r], r);
    // Written in pieces through room and commit, as the writers do, so that a record can move
    // out of the window part-way.
    for (size_t at = 0; at < record.size(); at += 777) {
      const std::string_view piece = std::string_view(record).substr(at, 777);
      text.commit(record_text::put_text(text.room(piece.size() + 64), piece));
    }
    EXPECT_EQ(text.size(), record.size());
    EXPECT_EQ(std::string(text.data(), text.size()), record);
    finish_record(text, *out, buffer);
    expected += record;
    some_in_window |= started_in_window && text.in_window();
    some_outside |= !text.in_window();
    if (r % 3 == 0) {
      out->write("|", 1);
      expected += '|';
    }
  }
  EXPECT_TRUE(some_in_window);
  EXPECT_TRUE(some_outside);

  // A stream that is not this buffer's gets the record written to it.
  std::ostringstream other;
  start_record(text, other, buffer);
  EXPECT_FALSE(text.in_window());
  text.append("elsewhere");
  finish_record(text, other, buffer);
  EXPECT_EQ(other.str(), "elsewhere");

  EXPECT_TRUE(out->good());
  EXPECT_TRUE(file.close());
  EXPECT_EQ(folder.get("out.txt"), expected);
}

}  // namespace
