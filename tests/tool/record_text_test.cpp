#include "tool/record_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "framework/io/uni_fileio.h"
#include "framework/text/qz_html_escape.h"
#include "tests/text/temp_folder.h"
#include "tool/json_writer.h"

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

// Records that each outgrow the window reuse the storage the first of them made: the storage
// stays within twice the largest record's room, however many such records are written (it
// doubled with each of them).
TEST(record_text, StorageForRecordsThatOutgrowTheWindowIsReused) {
  temp_folder folder("record_text");
  ASSERT_FALSE(folder.path().empty());
  uni::fileio file(folder.file("out.txt"), true, false, false);
  std::ostream* out = file.get_output_stream();
  ASSERT_NE(out, nullptr);
  auto* buffer = dynamic_cast<uni::streambuf_generic_output<char>*>(out->rdbuf());
  ASSERT_NE(buffer, nullptr);

  struct shape {
    const char* name;
    size_t records;
    size_t record_bytes;
    size_t piece_bytes;  // the room each piece asks for
  } shapes[] = {
      {"records a little over the buffer, in small pieces", 8, 300000, 100},
      {"records of many buffers, in large pieces", 6, 1 << 20, 64 << 10},
      {"records of one piece larger than the buffer", 8, 400000, 400000},
  };
  for (const shape& s : shapes) {
    SCOPED_TRACE(s.name);
    record_text text;
    const std::string record = pattern_text(s.record_bytes, s.records);
    size_t outside = 0;
    for (size_t r = 0; r < s.records; ++r) {
      start_record(text, *out, buffer);
      for (size_t at = 0; at < record.size(); at += s.piece_bytes) {
        const std::string_view piece = std::string_view(record).substr(at, s.piece_bytes);
        text.commit(record_text::put_text(text.room(s.piece_bytes), piece));
      }
      ASSERT_EQ(text.size(), record.size());
      outside += text.in_window() ? 0 : 1;
      finish_record(text, *out, buffer);
    }
    EXPECT_EQ(outside, s.records);
    EXPECT_LE(text.kept(), 2 * (record.size() + s.piece_bytes));
  }
  EXPECT_TRUE(file.close());
}

// A writer's state is reset by assigning a fresh one: a text moved keeps what it holds and
// goes on where it was built (a short text's storage lies inside the object); the text moved
// from is empty and still usable.
TEST(record_text, AMovedTextGoesOnWhereItWasBuilt) {
  struct move_case {
    const char* name;
    size_t length;
    bool in_window;
  };
  const move_case cases[] = {
      {"short, in its own storage", 5, false},
      {"long, in its own storage", 300, false},
      {"in a window", 300, true},
  };
  std::string window(1024, '\0');
  for (const move_case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string first = pattern_text(c.length, 1);
    record_text text;
    if (c.in_window) text.clear_in(window.data(), window.size());
    text.append(first);
    record_text moved(std::move(text));
    record_text assigned;
    assigned.append("old");
    assigned = std::move(moved);
    EXPECT_EQ(assigned.in_window(), c.in_window);
    assigned.append("+more");
    EXPECT_EQ(std::string(assigned.data(), assigned.size()), first + "+more");
    EXPECT_EQ(moved.size(), 0u);
    moved.append("again");
    EXPECT_EQ(std::string(moved.data(), moved.size()), "again");
  }
}

// A long value is escaped slice by slice, each slice handed to the output before the next is
// made: a slice cut inside a UTF-8 sequence would show its bytes as escapes in JSON, one cut
// between CR and LF would lose the HTML line break. Whatever stands at a slice's end, the output
// is the escaped form of the whole value, and the record's text never holds more than a slice.
TEST(record_text, LongValuesGoOutInSlicesAsTheirWholeEscapedForm) {
  struct escaper {
    const char* name;
    std::string (*whole)(const std::string& value);
    std::size_t (*room)(std::size_t length);
    char* (*escape)(char* dst, const char* data, std::size_t length);
  } escapers[] = {
      {"html", [](const std::string& value) { return html_escape(value); }, html_escaped_room,
       [](char* dst, const char* data, std::size_t length) {
         return html_escape_to(dst, data, length, false);
       }},
      {"json",
       [](const std::string& value) {
         std::string out;
         json_escape_append(out, value, false);
         return out;
       },
       [](std::size_t length) { return 6 * length + 16; },
       [](char* dst, const char* data, std::size_t length) {
         std::string out;
         json_escape_append(out, data, length, false);
         std::memcpy(dst, out.data(), out.size());
         return dst + out.size();
       }},
  };
  const char* const specials[] = {
      "\r\n", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",  // line break, 2-, 3- and 4-byte characters
      "\xF0\x9F\x98", "\x80\x80\x80\x80\x80", "\"&<", "\r\r\n\n",    // a cut character, stray bytes, entities
  };
  for (const escaper& e : escapers) {
    for (const char* special : specials) {
      for (std::size_t boundary : {value_slice_bytes, 2 * value_slice_bytes}) {
        for (std::size_t at = boundary - 5; at <= boundary + 1; ++at) {
          SCOPED_TRACE(std::string(e.name) + " at " + std::to_string(at));
          std::string value = pattern_text(3 * value_slice_bytes, at);
          value.replace(at, std::strlen(special), special);
          std::ostringstream out;
          record_text text;
          start_record(text, out, nullptr);
          text.append("<");
          put_in_slices(text, out, nullptr, value, e.room, e.escape);
          EXPECT_LE(text.size(), e.room(value_slice_bytes));
          text.append(">");
          finish_record(text, out, nullptr);
          const std::string whole = e.whole(value);
          ASSERT_EQ(out.str(), "<" + whole + ">");
        }
      }
    }
  }
}

}  // namespace

#ifndef NDEBUG
// A commit past the room made (or before the text's start) would leave bytes no room covered:
// caught where it happens rather than as a corrupted record later.
TEST(record_textDeathTest, CommitOutsideItsRoomIsCaught) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  record_text text;
  text.clear();
  EXPECT_DEATH(
      {
        char* dst = text.room(4);
        text.commit(dst + 5);
      },
      "commit outside its room");
  EXPECT_DEATH(
      {
        char* dst = text.room(4);
        text.commit(dst - 1);
      },
      "commit outside its room");
  char* dst = text.room(4);
  text.commit(dst + 4);
  EXPECT_EQ(text.size(), 4u);
}
#endif
