#include "framework/time/qz_keyname_filter.h"

#include <gtest/gtest.h>

namespace {

keyname_filter filled() {
  keyname_filter f;
  f.key_path = "Library/Preferences";
  f.value_name = "name";
  f.aux_index = 3;
  f.flags = 0x8 | 0x200;
  f.valid = 1;
  f.aux_number = 4;
  f.byte_offset = 5;
  f.sub_map.emplace("k", "v");
  f.sub_list = {"a", "b"};
  f.sub_text = "text";
  return f;
}

void expect_cleared(const keyname_filter& f) {
  EXPECT_TRUE(f.key_path.empty());
  EXPECT_TRUE(f.value_name.empty());
  EXPECT_EQ(f.aux_index, 0xFFFFFFFFu);
  EXPECT_EQ(f.flags, 0u);
  EXPECT_EQ(f.valid, 0);
  EXPECT_EQ(f.aux_number, 0u);
  EXPECT_EQ(f.byte_offset, 0u);
  EXPECT_TRUE(f.sub_map.empty());
  EXPECT_TRUE(f.sub_list.empty());
  EXPECT_TRUE(f.sub_text.empty());
}

TEST(KeynameFilter, NewAndClearedAreAlike) {
  expect_cleared(keyname_filter());
  keyname_filter f = filled();
  f.clear();
  expect_cleared(f);
}

TEST(KeynameFilter, CopyTakesEveryMember) {
  const keyname_filter original = filled();
  const keyname_filter copy(original);
  EXPECT_EQ(copy.key_path, original.key_path);
  EXPECT_EQ(copy.value_name, original.value_name);
  EXPECT_EQ(copy.aux_index, 3u);
  EXPECT_EQ(copy.flags, original.flags);
  EXPECT_EQ(copy.valid, 1);
  EXPECT_EQ(copy.aux_number, 4u);
  EXPECT_EQ(copy.byte_offset, 5u);
  EXPECT_EQ(copy.sub_map, original.sub_map);
  EXPECT_EQ(copy.sub_list, original.sub_list);
  EXPECT_EQ(copy.sub_text, original.sub_text);
}

}  // namespace

TEST(KeynameFilter, CommonPathFromABitMask) {
  EXPECT_EQ(keyname_filter::get_common_path("1"), "Library/");
  EXPECT_EQ(keyname_filter::get_common_path("0x3F"), "Library/Preferences/SyncedPreferences/Calendars/Safari/SystemConfiguration/");
  EXPECT_EQ(keyname_filter::get_common_path("Library"), "");
}
