#include "framework/text/qz_join.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

using strings = std::vector<std::string>;

TEST(JoinStrings, SeparatorBetweenEntries) {
  struct row {
    const char* name;
    strings list;
    std::string sep;
    bool skip_empty;
    std::string expected;
  };
  const row rows[] = {
      {"empty entry keeps its separators", {"a", "", "c"}, ",", false, "a,,c"},
      {"empty entry skipped", {"a", "", "c"}, ",", true, "a,c"},
      {"trailing empty entry skipped", {"a", ""}, ",", true, "a"},
      {"two-character separator, trailing empty entry", {"a", ""}, ", ", true, "a"},
      {"last entry ending in the separator keeps it", {"a", "b,"}, ",", true, "a,b,"},
      {"leading empty entries skipped", {"", "", "a", "b"}, "|", true, "a|b"},
      {"empty separator", {"a", "b"}, "", false, "ab"},
      {"trailing empty entry kept", {"a", ""}, ";", false, "a;"},
      {"empty list", {}, ",", true, ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(join_strings(r.list, r.sep, r.skip_empty), r.expected);
  }
  EXPECT_EQ(join_strings_wide({L"\u00e9", L"", L"b;"}, L";", true), L"\u00e9;b;");
}

TEST(JoinQuoted, QuotesEntriesWithBlanks) {
  std::string out = "stale";
  int count = -1;
  EXPECT_TRUE(join_quoted(out, &count, {"a", "b c", "", "say \"hi\" now"}));
  EXPECT_EQ(out, "a \"b c\" \"say \"hi\" now\"");
  EXPECT_EQ(count, 4);
  EXPECT_FALSE(join_quoted(out, &count, {}));
  EXPECT_EQ(out, "");
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(join_quoted(out, nullptr, {"", "\tx", ""}));
  EXPECT_EQ(out, "x");

  std::wstring wide;
  EXPECT_TRUE(join_quoted_wide(wide, &count, {L"a", L"b \u00e9"}));
  EXPECT_EQ(wide, L"a \"b \u00e9\"");
  EXPECT_EQ(count, 2);
}

TEST(JoinCommandLine, QuotesWhereNeeded) {
  struct row {
    const char* name;
    strings args;
    bool quote_values;
    std::string expected;
  };
  const row rows[] = {
      {"values quoted", {"tool", "-x", "my file", "value"}, true,
       "tool -x \"my file\" \"value\""},
      {"only blanks quoted", {"tool", "-x", "my file", "value"}, false,
       "tool -x \"my file\" value"},
      {"own quotes removed", {"tool", "say \"hi there\""}, false, "tool \"say hi there\""},
      {"program path with a blank", {"/my apps/tool", "-q"}, true, "\"/my apps/tool\" -q"},
      {"empty entries left out", {"", "tool", "", "-q"}, false, "tool -q"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::string out = "stale";
    int count = -1;
    EXPECT_TRUE(join_command_line(out, &count, r.args, r.quote_values));
    EXPECT_EQ(out, r.expected);
    EXPECT_EQ(count, static_cast<int>(r.args.size()));
  }
  std::string out = "stale";
  int count = -1;
  EXPECT_FALSE(join_command_line(out, &count, {}, true));
  EXPECT_EQ(out, "");
  EXPECT_EQ(count, 0);
}

TEST(WriteQuotedPairs, PairsNamesWithValues) {
  std::ostringstream os;
  write_quoted_pairs(os, {"a", "b"}, {"1"}, ';');
  EXPECT_EQ(os.str(), "\"a\":\"1\"; \"b\":\"\"");
  std::ostringstream none;
  write_quoted_pairs(none, {}, {"1"}, ',');
  EXPECT_EQ(none.str(), "");
}

TEST(MarkLineEndings, MakesLineEndsVisible) {
  struct row {
    const char* name;
    std::string text;
    std::string expected;
  };
  const row rows[] = {
      {"CR LF", "a\r\nb", "a[CRLF]b"},
      {"LF CR", "a\n\rb", "a[LFCR]b"},
      {"CR alone", "a\rb", "a[CR]b"},
      {"CR stays in a text with LF", "a\rb\n", "a\rb[LF]"},
      {"LF CR then LF", "\n\r\n", "[LFCR][LF]"},
      {"two CR LF", "a\r\n\r\nb", "a[CRLF][CRLF]b"},
      {"no line end", "plain", "plain"},
      {"empty", "", ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::string text = r.text;
    EXPECT_EQ(mark_line_endings(text), r.expected);
    EXPECT_EQ(text, r.expected);
  }
  std::wstring wide = L"\u00e9\r\n\r";
  EXPECT_EQ(mark_line_endings_wide(wide), L"\u00e9[CRLF]\r");
}

TEST(LfToCrlf, OnlyTextWithBareLineFeeds) {
  struct row {
    const char* name;
    std::string text;
    bool result;
    std::string expected;
  };
  const row rows[] = {
      {"LF", "a\nb\n", true, "a\r\nb\r\n"},
      {"CR LF already", "a\r\nb", false, "untouched"},
      {"mixed", "a\nb\r\n", false, "untouched"},
      {"no line end", "abc", false, "untouched"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::string out = "untouched";
    EXPECT_EQ(lf_to_crlf(reinterpret_cast<const u8*>(r.text.data()),
                         static_cast<u32>(r.text.size()), out),
              r.result);
    EXPECT_EQ(out, r.expected);
  }
  std::string out = "untouched";
  EXPECT_FALSE(lf_to_crlf(nullptr, 4, out));
  EXPECT_EQ(out, "untouched");
}
