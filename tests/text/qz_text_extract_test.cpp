#include "framework/text/qz_text_extract.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(PercentDecode, SequencesAndWhatIsKept) {
  struct row {
    const char* text;
    bool ok;
    const char* decoded;
  } rows[] = {
      {"a%20b", true, "a b"},   {"%41%42", true, "AB"},   {"100%", true, "100%"},
      {"a%4", true, "a%4"},     {"a%0Ab", true, "a%0Ab"}, {"a%zzb", true, "a%zzb"},
      {"a%2541", true, "aA"},   {"a%25", true, "a%"},     {"%25%41", true, "%%41"},  // %25 always takes the next two as its digits
      {"%2525", true, "%"},     {"%7f%80", true, "\x7f%80"},
      {"abc", false, ""},       {"", false, ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    std::string out = "stale";
    EXPECT_EQ(percent_decode(out, r.text, 0, ""), r.ok);
    EXPECT_EQ(out, r.decoded);
  }
  std::string out;
  EXPECT_TRUE(percent_decode(out, "a%2Bb+c", '+', " "));
  EXPECT_EQ(out, "a b+c");  // only a decoded special is replaced
}

TEST(ExtractAfterKey, ValueUpToATerminator) {
  std::string terminators = ";";
  EXPECT_EQ(extract_after_key("Name=Value;x", "Name=", terminators, false), "Value");
  EXPECT_EQ(extract_after_key("Name=Value;x", "NAME=", terminators, true), "Value");
  EXPECT_EQ(extract_after_key("Name=Value;x", "NAME=", terminators, false), "");
  EXPECT_EQ(extract_after_key("Name=Value;x", "none=", terminators, false), "");
  EXPECT_EQ(extract_after_key("Name=Value", "Name=", terminators, false), "Value");
  EXPECT_EQ(extract_after_key("Name=Value", nullptr, terminators, false), "");
  std::string upper = "X";
  EXPECT_EQ(extract_after_key("k=AbxCd", "K=", upper, true), "Ab");
  EXPECT_EQ(upper, "x");  // lowered in place
}

TEST(FindLinesWithPrefix, AnyCaseAndLineEnds) {
  struct row {
    const char* name;
    std::string text;
    bool all;
    std::vector<std::string> lines;
  } rows[] = {
      {"CR LF, all", "x=1\r\nY=2\r\ny=3\r\n", true, {"Y=2", "y=3"}},
      {"CR LF, first", "x=1\r\nY=2\r\ny=3\r\n", false, {"Y=2"}},
      {"LF, last line without end", "y=1\nx\ny=2", true, {"y=1", "y=2"}},
      {"no line end", "y=only", true, {"y=only"}},
      {"NUL ends the text", std::string("x\ny=1\0y=2\n", 10), true, {"y=1"}},
      {"none", "a\nb\n", true, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    // The last byte of the buffer is taken to be a terminator.
    const std::string buffer = r.text + '\0';
    std::vector<std::string> lines{"kept"};
    EXPECT_EQ(find_lines_with_prefix(buffer.data(), static_cast<u32>(buffer.size()), "y=", &lines, r.all),
              !r.lines.empty());
    std::vector<std::string> expected{"kept"};
    expected.insert(expected.end(), r.lines.begin(), r.lines.end());
    EXPECT_EQ(lines, expected);  // appended
  }
  std::vector<std::string> lines;
  EXPECT_FALSE(find_lines_with_prefix(nullptr, 4, "y", &lines, true));
  EXPECT_FALSE(find_lines_with_prefix("y\n", 0, "y", &lines, true));
  EXPECT_FALSE(find_lines_with_prefix("y\n", 3, nullptr, &lines, true));
}

TEST(PrintableBytes, CopiesAndReplacements) {
  const u8 mixed[] = {0x41, 0x07, 0x0D, 0x0A, 0x42, 0x00, 0x43};
  std::string out;
  EXPECT_TRUE(bytes_to_printable(out, mixed, 7, false, '.'));
  EXPECT_EQ(out, "A...B");
  EXPECT_TRUE(bytes_to_printable(out, mixed, 7, true, 0));
  EXPECT_EQ(out, "A\r\nB");
  EXPECT_TRUE(bytes_to_printable(out, mixed, 2, false, 0));
  EXPECT_EQ(out, "A");
  EXPECT_FALSE(bytes_to_printable(out, nullptr, 3, false, '.'));
  EXPECT_FALSE(bytes_to_printable(out, mixed, 0, false, '.'));

  const u8 prefix[] = {0x41, 0x42, 0x09, 0x43};
  EXPECT_EQ(copy_printable_prefix(prefix, out, 4), 2);
  EXPECT_EQ(out, "AB");
  EXPECT_EQ(copy_printable_prefix(prefix, out, 1), 1);
  EXPECT_EQ(out, "A");
  EXPECT_EQ(copy_printable_prefix(nullptr, out, 4), 0);
  EXPECT_EQ(out, "");
}

}  // namespace
