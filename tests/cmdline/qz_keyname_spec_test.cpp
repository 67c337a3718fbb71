#include "framework/cmdline/qz_keyname_spec.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

constexpr u64 bit(unsigned n) { return u64(1) << n; }

struct Case {
  const char* spec;
  const char* key_path;
  u64 flags;
  u32 byte_offset = 0;
  std::map<std::string, std::string> sub_map = {};
  std::vector<std::string> sub_list = {};
  std::string value_name = "";
  std::string sub_text = "";
};

void check(const Case& c) {
  SCOPED_TRACE(c.spec);
  keyname_filter result;
  result.sub_list = {"stale"};
  std::string spec = c.spec;
  // The parse never fails, whatever the text holds.
  EXPECT_TRUE(parse_keyname_spec(result, spec));
  EXPECT_EQ(result.valid, 1);
  EXPECT_EQ(result.key_path, c.key_path);
  EXPECT_EQ(spec, c.key_path);
  EXPECT_EQ(result.flags, c.flags) << std::hex << (result.flags ^ c.flags);
  EXPECT_EQ(result.byte_offset, c.byte_offset);
  EXPECT_EQ(result.sub_map, c.sub_map);
  EXPECT_EQ(result.sub_list, c.sub_list);
  EXPECT_EQ(result.value_name, c.value_name);
  EXPECT_EQ(result.sub_text, c.sub_text);
  EXPECT_EQ(result.aux_index, 0xFFFFFFFFu);
}

TEST(KeynameSpec, TimeCodesAndDigitCounts) {
  const Case cases[] = {
      {"Software\\App!TF", "Software\\App", 0x8},
      {"Key!TF212", "Key", 0x8, 12},
      {"Key!TF15", "Key", 0x8, 5},
      {"Key!TF0", "Key", 0x8, 0},
      {"Key!TF9", "Key9", 0x8, 0},
      {"Key!TFx", "Keyx", 0x8, 0},
      {"Key!TF1x", "Key", 0x8, 0},  // a counted character that is no number
      {"K!TU!TS!TAA!TH!TC!TMZ", "K", 0x10 | 0x100 | 0x200 | 0x400 | 0x800 | 0x1000},
      {"K!TO!TG!TMG!TAH!BP", "K", bit(5) | bit(6) | bit(7) | bit(19) | bit(45)},
      {"K!TF11!TU12", "K", 0x8 | 0x10, 2},       // the last code read wins
      {"K!TF11!TF12", "K!TF12", 0x8, 1},         // only the first occurrence
      {"K!SP7", "K", bit(47), 7},
      {"K!SPz", "K", bit(47), 0},
      // At the very end of the text nothing past it is read.
      {"Key!TF", "Key", 0x8, 0},
      {"Key!TF1", "Key", 0x8, 0},
      {"Key!TF2", "Key", 0x8, 0},
      {"Key!TF25", "Key", 0x8, 5},
      {"Key!SP", "Key", bit(47), 0},
      {"Key!CT", "Key", bit(51), 0},
      {"Key!CT2", "Key", bit(51), 0},
  };
  for (const Case& c : cases) check(c);
}

TEST(KeynameSpec, PlainCodesAndMarkers) {
  const Case cases[] = {
      {"K!JC!R!WP!NR!SS!B64!Z", "K", bit(60) | bit(0) | bit(2) | bit(43) | bit(49) | bit(59) | bit(21)},
      {"K!L2TS!DM!DA!DC!DB!DE", "K", bit(53) | bit(14) | bit(15) | bit(16) | bit(17) | bit(61)},
      {"A!RB!RC", "ABC", bit(0)},
      {"A!!RRB", "AB", bit(0)},  // a removal that joins a new code removes that too
      {"K!SKVx!SK", "Kx", bit(55) | bit(52)},
      {"K!SKV", "K", bit(55)},
      {"K!SK!SKV", "KV", bit(52)},
      {"K!SK", "K", bit(52)},
      {"K!XY", "K!XY", 0},  // unknown codes stay
      {"(all dates)", "(all dates)", bit(20)},
      {"(other fields)", "(other fields)", bit(44)},
      {"(unnamed) x!R", "(unnamed) x", bit(35) | bit(0)},
      {"A\\nB", "AB", 0},
      {"  \tA\\nB\\nC \r\n", "AB\\nC", 0},
      {"", "", 0},
  };
  for (const Case& c : cases) check(c);
}

TEST(KeynameSpec, ExclusiveForms) {
  const Case cases[] = {
      {"Key!AN!TF", "Key!TF", bit(56)},
      {"Key!AF!AN", "Key!AF", bit(56)},
      {"Key!AF!TF", "Key!TF", bit(58)},
      {"3!AP", "Library/Preferences/", bit(57)},
      {"40!AP", "Calendars/Safari/", bit(57)},
      {"x/3!AP", "x/3", bit(57)},
      {"abc!AP", "abc", bit(57)},
      {"64!AP", "64", bit(57)},
  };
  for (const Case& c : cases) check(c);
}

TEST(KeynameSpec, ArgumentsInBrackets) {
  const Case cases[] = {
      {"Run!S(a:1)!S(b:2)", "Run", bit(34), 0, {{"a", "1"}, {"b", "2"}}},
      {"Run!S(a:1)!S(b:2)!S(a:3)", "Run", bit(34), 0, {{"a", "1"}, {"b", "2"}}},
      {"K!SR(one)x!SR(two)", "Kx", bit(46), 0, {}, {"one", "two"}},
      {"K!SC(text)", "K", bit(48), 0, {}, {}, "", "text"},
      {"K!AFN(name)!AF", "K!AF", bit(32), 0, {}, {}, "name"},
      {"K!CFN(name)", "K", bit(50), 0, {}, {}, "name"},
      {"K!CT11(n:t)x", "Kx", bit(51), 1, {}, {}, "n", "t"},
      {"K!CT(n:t)", "K", bit(51), 0, {}, {}, "n", "t"},
      {"K!CTabc!XY", "K!XY", bit(51)},
      // Left open: cut to the next code, nothing stored, and still a valid record.
      {"K!SR(abc!TF", "K", 0x8, 0},
      {"K!SR(a)!SR(b", "K", bit(46), 0, {}, {"a"}},
      {"K!SC(abc!XY", "K!XY", 0, 0},
      {"K!AFN(abc", "K", 0, 0},
      {"K!CFN(", "K", 0, 0},
      {"K!S(a:1)!S(b", "K", bit(34), 0, {{"a", "1"}}},
      {"K!S(b:2!XY", "K!XY", 0, 0},
      {"K!S(", "K", 0, 0},
      {"K!CT(abc", "K", 0, 0},
      {"K!CT(a:b", "K", 0, 0},
      {"K!CT(", "K", 0, 0},
  };
  for (const Case& c : cases) check(c);
}

}  // namespace
