#include "framework/text/qz_multi_split.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using strings = std::vector<std::string>;
using wstrings = std::vector<std::wstring>;

TEST(NulLists, NarrowBlocks) {
  strings out{"stale"};
  EXPECT_TRUE(split_nul_separated({'a', 0, 0, 'b', 0}, out));
  EXPECT_EQ(out, (strings{"a", "b"}));
  EXPECT_FALSE(split_nul_separated({}, out));
  EXPECT_TRUE(out.empty());

  const char block[] = {'a', 0, 0, 'b', 0, 'c'};
  out = {"kept"};
  split_multi_string(block, out, 4);
  EXPECT_EQ(out, (strings{"kept", "a", "", "b"}));
  out.clear();
  split_multi_string(block, out, -1);
  EXPECT_EQ(out, strings{"a"});
  out.clear();
  split_multi_string(block, out, 6);  // the last string ends with the length, not a NUL
  EXPECT_EQ(out, (strings{"a", "", "b", "c"}));
  out.clear();
  split_multi_string("x\xE9y", out, 3);
  EXPECT_EQ(out, strings{"x\xE9y"});
  out.clear();
  split_multi_string(nullptr, out, 3);
  split_multi_string(block, out, 0);
  split_multi_string(block, out, -2);
  EXPECT_TRUE(out.empty());
}

TEST(NulLists, Utf16Blocks) {
  const u16 block[] = {'a', 0, 0, 'b', 0, 0xD800, 'c'};
  wstrings out{L"stale"};
  EXPECT_TRUE(split_multi_string_utf16(out, block, 10));
  EXPECT_EQ(out, (wstrings{L"a", L"", L"b"}));
  EXPECT_TRUE(split_multi_string_utf16(out, block, 14));  // a lone surrogate stays one unit
  EXPECT_EQ(out, (wstrings{L"a", L"", L"b", std::wstring{wchar_t(0xD800), L'c'}}));
  EXPECT_TRUE(split_multi_string_utf16(out, block, 0xFFFFFFFF));
  EXPECT_EQ(out, wstrings{L"a"});
  std::vector<u16> unterminated(600, 'z');
  EXPECT_FALSE(split_multi_string_utf16(out, unterminated.data(), 0xFFFFFFFF));  // no 0 within 513
  EXPECT_FALSE(split_multi_string_utf16(out, nullptr, 4));

  struct row {
    const char* name;
    std::vector<u16> units;
    int length;
    bool stop_at_empty;
    wstrings strings;
  } rows[] = {
      {"stop at empty", {'a', 0, 0, 'b', 0}, 10, true, {L"a"}},
      {"skip runs of 0", {'a', 0, 0, 'b', 0}, 10, false, {L"a", L"b"}},
      {"leading 0 gives an empty first", {0, 'a', 0}, 6, false, {L"", L"a"}},
      {"odd last byte ignored", {'a', 'b'}, 3, false, {L"a"}},
      {"end of the count acts as a 0", {'a', 'b', 'c'}, 4, false, {L"ab"}},
      {"-1: up to the first 0", {'a', 'b', 0, 'c', 0}, -1, false, {L"ab"}},
      {"below -1", {'a', 0}, -2, false, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    out = {L"stale"};
    split_multi_string_utf16_ex(r.units.data(), out, r.length, r.stop_at_empty);
    EXPECT_EQ(out, r.strings);
  }
}

TEST(UrlQuery, PairsAfterTheQuestionMark) {
  struct row {
    const char* url;
    bool ok;
    strings keys, values;
  } rows[] = {
      {"http://h/p?x=1&y=&z", true, {"x", "y", "z"}, {"1", "", ""}},
      // Decoded after cutting: an encoded "&" or "=" stays inside its value.
      {"http://h/p?q=a%26b%3Dc&n=%41", true, {"q", "n"}, {"a&b=c", "A"}},
      {"http://h/p%3Fnot?k%20ey=v=w& t ", true, {"k ey", "t"}, {"v=w", ""}},
      {"http://h/p?a&&b", true, {"a", "", "b"}, {"", "", ""}},
      {"http://h/p?v=100%", true, {"v"}, {"100%"}},
      {"http://h/p?", false, {}, {}},
      {"http://h/p", false, {}, {}},
      {"", false, {}, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.url);
    strings keys{"stale"}, values{"stale"};
    EXPECT_EQ(parse_url_query(keys, values, r.url), r.ok);
    EXPECT_EQ(keys, r.keys);
    EXPECT_EQ(values, r.values);
  }
}

TEST(FormatTemplate, PiecesAndPlaceholders) {
  struct row {
    const char* text;
    strings pieces;
    std::multimap<int, int> numbered;
    std::multimap<char, int> others;
  } rows[] = {
      {"Hello %1, %s!", {"Hello ", "%1", ", ", "%s", "!"}, {{1, 1}}, {{'s', 3}}},
      {"%10", {"", "%1", "0"}, {{1, 1}}, {}},
      {"%12%1%%", {"", "%12", "", "%1", "", "%%"}, {{12, 1}, {1, 3}}, {{'%', 5}}},
      {"ab%", {"ab"}, {}, {}},  // a "%" that ends the text adds nothing
      {"x%2%", {"x", "%2", ""}, {{2, 1}}, {}},
      {"plain", {"plain"}, {}, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    strings pieces{"stale"};
    std::multimap<int, int> numbered{{9, 9}};
    std::multimap<char, int> others{{'z', 9}};
    EXPECT_TRUE(split_format_template(pieces, numbered, others, r.text));
    EXPECT_EQ(pieces, r.pieces);
    EXPECT_EQ(numbered, r.numbered);
    EXPECT_EQ(others, r.others);
  }
  strings pieces{"stale"};
  std::multimap<int, int> numbered;
  std::multimap<char, int> others;
  EXPECT_FALSE(split_format_template(pieces, numbered, others, ""));
  EXPECT_TRUE(pieces.empty());
}

}  // namespace
