#include "framework/text/qz_names.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

using strings = std::vector<std::string>;

namespace {

const char* part_name(u64 id) {
  static const char* const names[] = {"", "alpha", "Beta", "gamma", "delta", "eps", "", "x"};
  return id < 8 ? names[id] : nullptr;
}

constexpr u32 blank_capitalized = compose_sep_blank | compose_capitalize_all;

TEST(WriteZoneInfo, EntriesInKeyOrderWithZoneLabels) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> entries;
    bool annotate;
    std::string text;
  };
  const Case cases[] = {
      {"annotated", {{"ZoneId", "3"}, {"Other", "x"}}, true,
       R"(zone_info={"Other":"x";"ZoneId":"3 [internet]"})"},
      {"plain", {{"ZoneId", "3"}}, false, R"(zone_info={"ZoneId":"3"})"},
      {"local machine", {{"ZoneId", "0"}}, true, R"(zone_info={"ZoneId":"0 [local machine]"})"},
      {"beyond the labels", {{"ZoneId", "5"}}, true, R"(zone_info={"ZoneId":"5"})"},
      {"not a number", {{"ZoneIdx", "none"}}, true, R"(zone_info={"ZoneIdx":"none"})"},
      {"key must begin ZoneId", {{"MyZoneId", "4"}}, true, R"(zone_info={"MyZoneId":"4"})"},
      {"empty", {}, true, ""},
  };
  for (const auto& c : cases) {
    std::ostringstream out;
    write_zone_info(out, c.entries, c.annotate);
    EXPECT_EQ(out.str(), c.text) << c.name;
  }
}

}  // namespace

TEST(ComposeName, CaseStylesAndSeparators) {
  struct row {
    const char* name;
    u32 flags;
    std::string expected;
  };
  const row rows[] = {
      {"blank, capitalise every part", 3 | blank_capitalized, "Foo BAr Baz"},
      {"underscore, upper", 3 | compose_sep_underscore | compose_upper, "FOO_BAR_BAZ"},
      {"capitalise first, lower the rest", 3 | compose_capitalize_first | compose_lower,
       "Foobarbaz"},
      {"underscore wins over dot", 3 | compose_sep_underscore | compose_sep_dot, "foo_bAr_baz"},
      {"dot", 3 | compose_sep_dot, "foo.bAr.baz"},
      {"slash", 3 | compose_sep_slash, "foo/bAr/baz"},
      {"backslash", 3 | compose_sep_backslash, "foo\\bAr\\baz"},
      {"bar", 3 | compose_sep_bar | compose_lower, "foo|bar|baz"},
      {"first two texts only", 2 | compose_sep_dot, "foo.bAr"},
      {"count 0", compose_sep_dot, ""},
      {"count above the texts given", 4 | compose_sep_dot, ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(compose_name_from_texts(r.flags, "foo", "bAr", "baz"), r.expected);
  }
  EXPECT_EQ(compose_name_from_texts(3 | compose_sep_dot, "a", nullptr, "\xC3\xA9"), "a..\xC3\xA9");
}

TEST(ComposeName, PartsFromIds) {
  struct row {
    const char* name;
    u32 flags;
    std::vector<u64> ids;
    std::string expected;
  };
  const row rows[] = {
      {"counted", 2 | compose_sep_dot, {1, 2, 3}, "alpha.Beta"},
      {"counted with a 0 id", 2 | compose_sep_dot, {5, 0}, ""},
      {"up to the terminator", compose_sep_blank | compose_upper, {1, 3, 0, 4}, "ALPHA GAMMA"},
      {"ten before the terminator", compose_sep_bar, {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 0},
       "x|x|x|x|x|x|x|x|x|x"},
      {"eleven before the terminator", compose_sep_bar, {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 0}, ""},
      {"no id before the terminator", compose_sep_bar, {0, 1}, ""},
      {"empty text still separated", 3 | compose_sep_dot, {1, 6, 2}, "alpha..Beta"},
      {"unknown id writes nothing", 2 | compose_sep_dot, {9, 1}, ".alpha"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(compose_name(r.flags, part_name, r.ids.data()), r.expected);
  }
  const u64 ids[] = {1, 0};
  EXPECT_EQ(compose_name(1, nullptr, ids), "");
  EXPECT_EQ(compose_name(1, part_name, nullptr), "");
}

TEST(ComposeName, IntoStreams) {
  const u64 ids[] = {1, 2, 0};
  std::ostringstream replaced("old text");
  compose_name_stream(replaced, compose_sep_dot, part_name, ids);
  EXPECT_EQ(replaced.str(), "alpha.Beta");
  std::ostringstream kept("pre:");
  compose_name_stream(kept, compose_sep_dot | compose_keep_stream, part_name, ids);
  EXPECT_EQ(kept.str(), "pre:alpha.Beta");

  std::ostringstream os("old text");
  EXPECT_EQ(compose_name_stream_3(os, compose_sep_dot, part_name, 4, 0, 2).str(), "");
  EXPECT_EQ(compose_name_stream_2(os, 9 | compose_sep_dot, part_name, 4, 2).str(), "delta.Beta");
  EXPECT_EQ(compose_name_stream_3(os, compose_sep_dot, part_name, 1, 2, 3).str(),
            "alpha.Beta.gamma");
  EXPECT_EQ(compose_name_stream_4(os, compose_sep_dot, part_name, 1, 2, 3, 4).str(),
            "alpha.Beta.gamma.delta");
  EXPECT_EQ(compose_name_stream_5(os, compose_sep_dot, part_name, 1, 2, 3, 4, 5).str(),
            "alpha.Beta.gamma.delta.eps");
  EXPECT_EQ(compose_name_stream_6(os, compose_sep_dot, part_name, 1, 2, 3, 4, 5, 7).str(),
            "alpha.Beta.gamma.delta.eps.x");
  EXPECT_EQ(compose_name_stream_7(os, compose_sep_dot | compose_keep_stream, part_name, 1, 2, 3,
                                  4, 5, 7, 1)
                .str(),
            "alpha.Beta.gamma.delta.eps.x.alpha");
}

TEST(KeyValueMap, ReadsKeyValueLines) {
  const std::string text = "a=1\r\n b = 2 \nc\na=3\nurl=x=y\n=bare\nz=9";
  std::map<std::string, std::string> out = {{"stale", "1"}};
  EXPECT_TRUE(key_value_map(out, std::vector<u8>(text.begin(), text.end())));
  const std::map<std::string, std::string> expected = {
      {"a", "1"}, {"b ", " 2"}, {"url", "x=y"}, {"", "bare"}, {"z", "9"}};
  EXPECT_EQ(out, expected);

  const std::string no_pairs = "c\nd\n";
  EXPECT_FALSE(key_value_map(out, std::vector<u8>(no_pairs.begin(), no_pairs.end())));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(key_value_map(out, {}));
}

TEST(JoinArgListQuoted, QuotesArgumentsWithBlanks) {
  std::string out = "stale";
  EXPECT_TRUE(join_arg_list_quoted(out, {"-src", "my file.csv", "-x"}, '"'));
  EXPECT_EQ(out, "-src \"my file.csv\" -x");
  EXPECT_TRUE(join_arg_list_quoted(out, {"tool", "", "a b"}, '\''));
  EXPECT_EQ(out, "tool  'a b'");
  EXPECT_TRUE(join_arg_list_quoted(out, {}, '"'));
  EXPECT_EQ(out, "");
}

TEST(JoinSet, JoinsInSetOrder) {
  std::string out = "stale";
  EXPECT_EQ(join_set(out, {"", "a", "b"}, ",", true), "a,b");
  EXPECT_EQ(join_set(out, {"", "a", "b"}, ",", false), ",a,b");
  EXPECT_EQ(join_set(out, {"a", "b,"}, ",", true), "a,b,");
  EXPECT_EQ(join_set(out, {}, ",", true), "");
  EXPECT_EQ(out, "");
}

TEST(RemoveDuplicateStrings, KeepsFirstOccurrencesInOrder) {
  struct row {
    const char* name;
    strings list;
    strings expected;
  };
  const row rows[] = {
      {"duplicates", {"b", "a", "b", "c", "a"}, {"b", "a", "c"}},
      {"compared exactly", {"A", "a", "a ", "A"}, {"A", "a", "a "}},
      {"empty strings", {"", "x", ""}, {"", "x"}},
      {"no duplicates", {"z", "y"}, {"z", "y"}},
      {"empty list", {}, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    strings list = r.list;
    remove_duplicate_strings(list);
    EXPECT_EQ(list, r.expected);
  }
  std::vector<std::wstring> wide = {L"\u00e9", L"e", L"\u00e9"};
  remove_duplicate_strings_wide(wide);
  EXPECT_EQ(wide, (std::vector<std::wstring>{L"\u00e9", L"e"}));
}
