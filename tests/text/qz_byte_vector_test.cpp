#include "framework/text/qz_byte_vector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using bytes = std::vector<u8>;

TEST(CountedString, LengthFieldAtItsBoundaries) {
  struct row {
    std::size_t length;
    bytes field;
  } rows[] = {{0, {0x00}},        {127, {0x7F}},        {128, {0x80, 0x80}},
              {300, {0x81, 0x2C}}, {32767, {0xFF, 0xFF}}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.length);
    const std::string text(r.length, 'q');
    bytes out{9, 9};
    ASSERT_TRUE(append_counted_string(out, text, false));
    ASSERT_EQ(out.size(), r.field.size() + r.length);
    EXPECT_EQ(bytes(out.begin(), out.begin() + static_cast<long>(r.field.size())), r.field);

    std::string back = "stale";
    EXPECT_EQ(read_counted_string(back, out), out.size());  // and it reads back whole
    EXPECT_EQ(back, text);
  }
  bytes out{9};
  EXPECT_FALSE(append_counted_string(out, std::string(32768, 'q'), false));
  EXPECT_TRUE(out.empty());  // emptied, nothing written
  out = {9};
  EXPECT_FALSE(append_counted_string(out, std::string(32768, 'q'), true));
  EXPECT_EQ(out, bytes{9});
}

TEST(CountedString, ReaderStaysInsideItsData) {
  struct row {
    const char* name;
    bytes data;
    u32 used;
    std::string text;
  } rows[] = {
      {"whole", {0x03, 'a', 'b', 'c', 'z'}, 4, "abc"},
      {"length past the data", {0x05, 'a', 'b'}, 1, ""},
      {"two-byte field cut", {0x81}, 0, ""},
      {"two-byte field, no text", {0x80, 0x80}, 2, ""},
      {"empty text", {0x00}, 1, ""},
      {"no data", {}, 0, ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::string text = "stale";
    EXPECT_EQ(read_counted_string(text, r.data.data(), static_cast<u32>(r.data.size())), r.used);
    EXPECT_EQ(text, r.text);
  }
  std::string text = "stale";
  EXPECT_EQ(read_counted_string(text, nullptr, 5), 0u);
  EXPECT_EQ(text, "");
}

TEST(CountedStringList, WritesAndReadsBack) {
  bytes out;
  ASSERT_TRUE(append_counted_string_list(out, {"a", "b"}, false));
  EXPECT_EQ(out, (bytes{0x02, 0x01, 'a', 0x01, 'b'}));
  std::vector<std::string> list{"stale"};
  EXPECT_EQ(read_counted_string_list(list, out.data(), static_cast<u32>(out.size())), 5u);
  EXPECT_EQ(list, (std::vector<std::string>{"a", "b"}));

  const std::vector<std::string> long_list(200, "xy");
  ASSERT_TRUE(append_counted_string_list(out, long_list, false));
  EXPECT_EQ(out[0], 0x80);  // two-byte count
  EXPECT_EQ(out[1], 200);
  EXPECT_EQ(read_counted_string_list(list, out.data(), static_cast<u32>(out.size())), out.size());
  EXPECT_EQ(list, long_list);

  out = {7};
  EXPECT_FALSE(append_counted_string_list(out, {"a", std::string(32768, 'q'), "c"}, true));
  EXPECT_EQ(out, (bytes{7, 0x03, 0x01, 'a'}));  // the strings before the long one stay
}

TEST(CountedStringList, CutInputGivesOneEntryPerCountedString) {
  struct row {
    const char* name;
    bytes data;
    u32 used;
    std::vector<std::string> strings;
  } rows[] = {
      {"count above the bytes left", {0x05, 0x01, 'a'}, 1, {}},
      {"nothing after the count", {0x01}, 1, {}},
      {"two-byte count cut", {0x80}, 0, {}},
      // A string that runs past the end counts its length field and stays empty; the bytes
      // after that field belong to it, so they are not read as further strings.
      {"second string runs past the end", {0x02, 0x01, 'a', 0x05, 'b', 'c'}, 4, {"a", ""}},
      {"cut string's bytes are not strings", {0x03, 0x01, 'a', 0x05, 0x01, 'c'}, 4, {"a", "", ""}},
      {"data ends before the count", {0x03, 0x01, 'a', 0x00}, 4, {"a", "", ""}},
      {"empty strings", {0x02, 0x00, 0x00}, 3, {"", ""}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<std::string> list{"stale"};
    EXPECT_EQ(read_counted_string_list(list, r.data.data(), static_cast<u32>(r.data.size())),
              r.used);
    EXPECT_EQ(list, r.strings);
  }
}

TEST(ByteVectors, FillAndSize) {
  const u8 source[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                         17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
  EXPECT_EQ(byte_vector_from_buffer(source, 3), (bytes{1, 2, 3}));
  EXPECT_TRUE(byte_vector_from_buffer(nullptr, 3).empty());
  EXPECT_EQ(byte_vector_zeroed(4), bytes(4, 0));

  bytes out{0xAA};
  assign_fixed_bytes<16>(out, source);
  EXPECT_EQ(out, bytes(source, source + 16));
  assign_fixed_bytes<20>(out, source);
  EXPECT_EQ(out, bytes(source, source + 20));
  assign_fixed_bytes<32>(out, source);
  EXPECT_EQ(out, bytes(source, source + 32));

  assign_buffer(out, source, 2);
  EXPECT_EQ(out, (bytes{1, 2}));
  assign_buffer(out, source, -1);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(assign_string_bytes(out, "AB"), (bytes{'A', 'B'}));
  EXPECT_TRUE(assign_string_bytes(out, "").empty());

  out = {0xAA};
  resize_zeroed<16>(out);
  EXPECT_EQ(out, bytes(16, 0));
  resize_zeroed<20>(out);
  EXPECT_EQ(out, bytes(20, 0));
  resize_zeroed<32>(out);
  EXPECT_EQ(out, bytes(32, 0));
  out = {0xAA, 0xBB};
  resize_zeroed(out, 3);
  EXPECT_EQ(out, bytes(3, 0));
  resize_zeroed(out, -2);
  EXPECT_TRUE(out.empty());
}

TEST(ByteVectors, RemovingAndTrimming) {
  bytes v{0x20, 0x41, 0x20, 0x42};
  EXPECT_EQ(count_and_remove_byte(v, 0x20), 2u);
  EXPECT_EQ(v, (bytes{0x41, 0x42}));
  bytes empty;
  EXPECT_EQ(count_and_remove_byte(empty, 0), 0u);
  v = {0, 1, 0, 2, 0};
  remove_byte(v, 0);
  EXPECT_EQ(v, (bytes{1, 2}));

  v = {1, 0, 2, 0, 0};
  EXPECT_TRUE(trim_trailing_zeros(v));
  EXPECT_EQ(v, (bytes{1, 0, 2}));
  v = {0, 0};
  EXPECT_TRUE(trim_trailing_zeros(v));
  EXPECT_TRUE(v.empty());
}

TEST(ByteVectors, WideListToMultiString) {
  bytes out{9};
  wide_list_to_multi_string({L"a", L"bc"}, out);
  EXPECT_EQ(out, (bytes{0x61, 0, 0, 0, 0x62, 0, 0x63, 0, 0, 0, 0, 0}));
  wide_list_to_multi_string({}, out);
  EXPECT_TRUE(out.empty());
  wide_list_to_multi_string({L""}, out);
  EXPECT_EQ(out, bytes(4, 0));
  wide_list_to_multi_string({L"\u20AC"}, out);
  EXPECT_EQ(out, (bytes{0xAC, 0x20, 0, 0, 0, 0}));
}

TEST(ByteListRecord, ResetEmptiesEverything) {
  byte_list_record record;
  EXPECT_EQ(record.word, 1);
  record.word = 7;
  record.fields[3] = 4;
  record.value_lists[2].push_back(5);
  record.byte_lists.push_back({1});
  record.texts.push_back("t");
  record.first_counter = 8;
  record.second_counter = 9;
  record.reset();
  EXPECT_EQ(record.word, 1);
  EXPECT_EQ(record.fields, (std::array<u8, 10>{}));
  EXPECT_TRUE(record.value_lists[2].empty());
  EXPECT_TRUE(record.byte_lists.empty());
  EXPECT_TRUE(record.texts.empty());
  EXPECT_EQ(record.first_counter + record.second_counter, 0u);
}

}  // namespace
