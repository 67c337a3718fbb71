#include "framework/text/qz_split.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::string_literals;
using strings = std::vector<std::string>;

namespace {

const u8* bytes(const std::string& s) { return reinterpret_cast<const u8*>(s.data()); }

std::vector<u16> units(const std::u16string& s) { return std::vector<u16>(s.begin(), s.end()); }

std::string utf16le(const std::u16string& s) {
  std::string out;
  for (char16_t u : s) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

}  // namespace

TEST(SplitString, CutsAtEveryDelimiter) {
  struct row {
    const char* name;
    std::string text;
    char delimiter;
    bool trim, keep_empty;
    strings expected;
    bool result;
  };
  const row rows[] = {
      {"adjacent delimiters", "a,,b", ',', false, false, {"a", "b"}, true},
      {"adjacent delimiters kept", "a,,b", ',', false, true, {"a", "", "b"}, true},
      {"lone delimiter kept", ",", ',', false, true, {"", ""}, true},
      {"lone delimiter dropped", ",", ',', false, false, {}, true},
      {"leading delimiter", ",a", ',', false, true, {"", "a"}, true},
      {"trailing empty piece once", "a, b ,", ',', true, true, {"a", "b", ""}, true},
      {"blank piece trimmed away", "a, ,b", ',', true, false, {"a", "b"}, true},
      {"no delimiter", " abc ", ',', false, false, {" abc "}, true},
      {"NUL is ordinary", "a,b\0c,d"s, ',', false, false, {"a", "b\0c"s, "d"}, true},
      {"NUL as delimiter", "a\0b\0"s, '\0', false, false, {"a", "b"}, true},
      {"NUL as delimiter kept", "a\0b\0"s, '\0', false, true, {"a", "b", ""}, true},
      {"byte above 0x7F as delimiter", "a\xA6" "b", '\xA6', false, false, {"a", "b"}, true},
      {"empty text", "", ',', false, true, {}, false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    strings out = {"stale", "entries", "from", "a", "longer", "row"};
    EXPECT_EQ(split_string(r.text, r.delimiter, out, r.trim, r.keep_empty, false), r.result);
    EXPECT_EQ(out, r.expected);
  }
}

TEST(SplitString, AppendKeepsEarlierEntries) {
  strings out = {"x"};
  EXPECT_TRUE(split_string("a;b", ';', out, false, false, true));
  EXPECT_EQ(out, (strings{"x", "a", "b"}));
  EXPECT_FALSE(split_string("", ';', out, false, false, true));
  EXPECT_EQ(out, (strings{"x", "a", "b"}));
}

TEST(SplitString, TextTakenFromTheOutputVector) {
  strings out = {"keep", "a,b,c"};
  split_string(out[1], ',', out, false, false, false);
  EXPECT_EQ(out, (strings{"a", "b", "c"}));
  out = {"p|q"};
  split_string(out[0], '|', out, false, false, true);
  EXPECT_EQ(out, (strings{"p|q", "p", "q"}));
  out = {"\"x,y\",z"};
  split_quoted(out[0], ',', out, false, true);
  EXPECT_EQ(out, (strings{"\"x,y\"", "z"}));
}

TEST(SplitStringAny, UsesFirstDelimiterPresent) {
  struct row {
    const char* name;
    std::string text;
    std::string delimiters;
    char result;
    strings expected;
  };
  const row rows[] = {
      {"first of the set present", "a,b:c", " ,:", ',', {"a", "b:c"}},
      {"order of the set decides", "a,b:c", ":,", ':', {"a,b", "c"}},
      {"none present keeps text whole", " a b ", ",:", 0, {" a b "}},
      {"NUL in the set ends the search", "a\0b,c"s, "\0,"s, 0, {"a\0b,c"s}},
      {"empty text", "", ",", 0, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    strings out = {"stale", "stale", "stale"};
    EXPECT_EQ(split_string_any(out, r.text, true, false, r.delimiters), r.result);
    EXPECT_EQ(out, r.expected);
  }
}

TEST(SplitStringAny, WideFormCutsAndConvertsBack) {
  std::vector<std::wstring> out = {L"stale"};
  EXPECT_EQ(split_string_any_wide(out, L" \u00e9t\u00e9 ;\U0001F600;", true, false, ",;"), ';');
  EXPECT_EQ(out, (std::vector<std::wstring>{L"\u00e9t\u00e9", L"\U0001F600"}));
  EXPECT_EQ(split_string_any_wide(out, L"abc", true, false, ","), 0);
  EXPECT_EQ(out, (std::vector<std::wstring>{L"abc"}));
}

TEST(SplitStringToSet, InsertsDistinctNonEmptyPieces) {
  std::set<std::string> out = {"old"};
  EXPECT_TRUE(split_string_to_set("b, a,,b , ", ',', out, true, false));
  EXPECT_EQ(out, (std::set<std::string>{"a", "b"}));
  EXPECT_TRUE(split_string_to_set("c,a", ',', out, false, true));
  EXPECT_EQ(out, (std::set<std::string>{"a", "b", "c"}));
  EXPECT_FALSE(split_string_to_set("", ',', out, false, false));
  EXPECT_TRUE(out.empty());
}

TEST(SplitQuoted, KeepsQuotedFieldsTogether) {
  struct row {
    const char* name;
    std::string text;
    bool trim, keep_empty;
    strings expected;
  };
  const row rows[] = {
      {"balanced group", "a,\"b,c\",d", false, true, {"a", "\"b,c\"", "d"}},
      {"no quotes, trimmed", " a , b ", true, true, {"a", "b"}},
      {"complete quoted piece trimmed", " a , \"b\" ", true, true, {"a", "\"b\""}},
      {"group trimmed", "x, \"b,c\" ,y", true, true, {"x", "\"b,c\"", "y"}},
      {"group untrimmed", "x, \"b,c\" ,y", false, true, {"x", " \"b,c\" ", "y"}},
      {"doubled quotes before the delimiter", "\"say \"\"hi\"\", ok\",next", false, true,
       {"\"say \"\"hi\"\", ok\"", "next"}},
      {"doubled quotes inside a group", "\"a,\"\"b\"\",c\",d", false, true,
       {"\"a,\"\"b\"\",c\"", "d"}},
      {"empty pieces inside a group kept without keep_empty", "a,,\"b,,c\",", false, false,
       {"a", "\"b,,c\""}},
      {"empty pieces kept", "a,,\"b,,c\",", false, true, {"a", "", "\"b,,c\"", ""}},
      {"blank field dropped after trimming", "a, ,\"b\"", true, false, {"a", "\"b\""}},
      {"blank field kept after trimming", "a, ,\"b\"", true, true, {"a", "", "\"b\""}},
      {"unclosed group keeps its fields", "a,\"b,c,d", false, true, {"a", "\"b", "c", "d"}},
      {"unclosed group trimmed", "a, \"b , c", true, true, {"a", "\"b", "c"}},
      {"stray quote in a field", "x,12\" ruler.txt,5", false, true, {"x", "12\" ruler.txt", "5"}},
      {"stray quote before a quoted field", "x,12\" ruler.txt,5,\"a,b\",y", false, true,
       {"x", "12\" ruler.txt", "5", "\"a,b\"", "y"}},
      {"quoted part inside a field", "cmd /c \"echo a,b\",z", false, true,
       {"cmd /c \"echo a,b\"", "z"}},
      {"NUL byte is ordinary", "a,b\0c,\"d,e\""s, false, true, {"a", "b\0c"s, "\"d,e\""}},
      {"line end trimmed from last field", "a,\"b,c\"\r", true, true, {"a", "\"b,c\""}},
      {"lone quote", "\"", false, true, {"\""}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    strings out = {"stale", "entries", "from", "a", "longer", "row", "!"};
    EXPECT_TRUE(split_quoted(r.text, ',', out, r.trim, r.keep_empty));
    EXPECT_EQ(out, r.expected);
  }
}

// Rows are cut in blocks of 64 bytes: whatever a row holds (quotes, doubled quotes, groups,
// delimiters at either end, empty fields, a CR) must be cut the same wherever the blocks fall.
// Each case runs behind a first field of every length from 0 to 140 bytes, and the pieces must
// be that field followed by the pieces of the case alone.
TEST(SplitQuoted, SameCutsWhereverTheBlocksFall) {
  struct row {
    const char* name;
    std::string text;
    bool trim, keep_empty;
  };
  const row rows[] = {
      {"no quotes", "a,bb,ccc,dddd", false, true},
      {"balanced groups", "\"b,c\",d,\"e,,f\"", false, true},
      {"doubled quotes", "\"say \"\"hi\"\", ok\",\"a,\"\"b\"\",c\",x", false, true},
      {"delimiters at both ends", ",a,,b,", false, true},
      {"empty fields dropped", ",a,,\"b,,c\",", false, false},
      {"blanks trimmed", " a , \"b, c\" ,\t d \r", true, true},
      {"unclosed group", "a,\"b,c,d", false, true},
      {"stray quote then a quoted field", "12\" ruler,5,\"a,b\",y", false, true},
      {"long quoted field", "\"" + std::string(70, 'q') + "," + std::string(70, 'r') + "\",z", false, true},
      {"CR at the end", "a,\"b,c\"\r", true, true},
  };
  for (const row& r : rows) {
    strings alone;
    split_quoted(r.text, ',', alone, r.trim, r.keep_empty);
    for (size_t lead = 0; lead <= 140; ++lead) {
      SCOPED_TRACE(std::string(r.name) + ", first field of " + std::to_string(lead));
      const std::string first(lead, 'x');
      strings expected = alone;
      if (lead > 0 || r.keep_empty) expected.insert(expected.begin(), first);
      strings out = {"stale"};
      EXPECT_TRUE(split_quoted(first + "," + r.text, ',', out, r.trim, r.keep_empty));
      EXPECT_EQ(out, expected);
      // Without quotes a row must cut as split_string cuts it.
      if (r.text.find('"') == std::string::npos) {
        EXPECT_TRUE(split_string(first + "," + r.text, ',', out, r.trim, r.keep_empty, false));
        EXPECT_EQ(out, expected);
      }
    }
  }
}

// Blocks are read from the text's storage where it allows: delimiters and quotes left there
// past the end of a shorter text must not make pieces.
TEST(SplitQuoted, BytesPastTheEndOfTheTextAreNotCut) {
  std::string storage;
  while (storage.size() < 150) storage += "a,\"b,c\",,d\" ,";
  for (size_t length = 0; length <= storage.size(); ++length) {
    SCOPED_TRACE("length " + std::to_string(length));
    std::string text = storage;
    text.resize(length);
    const std::string fresh(storage, 0, length);
    strings cut, expected;
    split_quoted(text, ',', cut, true, true);
    split_quoted(fresh, ',', expected, true, true);
    EXPECT_EQ(cut, expected);
    split_string(text, ',', cut, false, true, false);
    split_string(fresh, ',', expected, false, true, false);
    EXPECT_EQ(cut, expected);
  }
}

TEST(SplitQuoted, OtherDelimitersAndEmptyText) {
  strings out = {"stale"};
  EXPECT_FALSE(split_quoted("", ',', out, true, true));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(split_quoted("a\t\"b\tc\"\td", '\t', out, true, true));
  EXPECT_EQ(out, (strings{"a", "\"b\tc\"", "d"}));
  EXPECT_TRUE(split_quoted("say \"one two\" three", ' ', out, true, false));
  EXPECT_EQ(out, (strings{"say", "\"one two\"", "three"}));
}

TEST(SplitBuffer, ByCharAndWideAppendNonEmptyPieces) {
  strings out = {"earlier"};
  u32 count = 99;
  std::string text = "a, ,b\0c,"s;
  EXPECT_EQ(split_buffer_by_char(bytes(text), static_cast<int>(text.size()), ',', out, count, true),
            static_cast<int>(text.size()));
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(out, (strings{"earlier", "a", "b\0c"s}));

  out.clear();
  EXPECT_EQ(split_buffer_by_char(bytes(text), 0, ',', out, count, true), 0);
  EXPECT_EQ(split_buffer_by_char(nullptr, 4, ',', out, count, true), 0);
  EXPECT_EQ(split_buffer_by_char(bytes(text), -1, ',', out, count, true), 0);
  EXPECT_TRUE(out.empty());

  std::vector<std::wstring> wide;
  std::wstring wtext = L" \u00e9 ;;b ;";
  const int wlength = static_cast<int>(wtext.size());
  EXPECT_EQ(split_wide_buffer(wtext.data(), wlength, L';', wide, count, true), wlength);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(wide, (std::vector<std::wstring>{L"\u00e9", L"b"}));
}

TEST(SplitBuffer, ByPairNeverReadsPastTheEnd) {
  struct row {
    const char* name;
    std::string text;
    bool trim;
    strings expected;
  };
  const row rows[] = {
      {"CR LF pairs", "a\r\nb\r\n", false, {"a", "b"}},
      {"half a pair is text", "a\rb\n\r\n", false, {"a\rb\n"}},
      {"single last byte", "a\r", false, {"a\r"}},
      {"only pairs", "\r\n\r\n", false, {}},
      {"trimmed pieces", " a \r\n \r\nb", true, {"a", "b"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    // An exact-size copy lets the sanitizer see any read beyond the buffer.
    std::vector<u8> exact(r.text.begin(), r.text.end());
    strings out;
    EXPECT_EQ(split_buffer_by_pair(exact.data(), static_cast<int>(exact.size()), 0x0A0D, out,
                                   r.trim),
              static_cast<int>(exact.size()));
    EXPECT_EQ(out, r.expected);
  }
}

TEST(SplitBufferLines, CutsCompleteLines) {
  struct row {
    const char* name;
    std::string text;
    bool trim, skip_empty;
    strings expected;
    u32 consumed;
  };
  const row rows[] = {
      {"CR LF, LF CR and an unfinished line", "a\r\nb\n\rc\nd", false, false, {"a", "b", "c"}, 8},
      {"CRs alone make an empty line", "\r\r\n", false, false, {""}, 3},
      {"CRs alone skipped", "\r\r\n", false, true, {}, 3},
      {"empty lines kept", "a\n\nb\n", false, false, {"a", "", "b"}, 5},
      {"empty lines skipped", "a\n\nb\n", false, true, {"a", "b"}, 5},
      {"lone CR stays inside", "a\rb\n", false, false, {"a\rb"}, 4},
      {"only one CR before LF is dropped", "x\r\r\n", false, false, {"x\r"}, 4},
      {"trimmed", " a \t\n \n", true, false, {"a", ""}, 7},
      {"trimmed and skipped", " a \t\n \n", true, true, {"a"}, 7},
      {"NUL bytes are text", "a\0b\n\0\n"s, false, true, {"a\0b"s, "\0"s}, 6},
      {"no LF", "abc", false, false, {}, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<u8> exact(r.text.begin(), r.text.end());
    strings lines = {"stale", "lines", "from", "the", "last", "chunk", "!", "!", "!"};
    u32 consumed = 12345;
    EXPECT_EQ(split_buffer_lines(consumed, lines, exact.data(), static_cast<u32>(exact.size()),
                                 r.trim, r.skip_empty),
              !r.expected.empty());
    EXPECT_EQ(lines, r.expected);
    EXPECT_EQ(consumed, r.consumed);
  }
}

TEST(SplitBufferLines, WholeLinesKeepEveryByte) {
  struct row {
    const char* name;
    std::string text;
    strings expected;
    u32 consumed;
  };
  const row rows[] = {
      {"LF and CR LF ends kept", "a\r\nb\n", {"a\r\n", "b\n"}, 5},
      {"CRs and blanks kept", "\r x \r\r\n\n", {"\r x \r\r\n", "\n"}, 8},
      {"text after the last LF is not a line", "a\nb", {"a\n"}, 2},
      {"no LF", "abc", {}, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<u8> exact(r.text.begin(), r.text.end());
    strings lines = {"stale", "lines", "from", "the", "last", "chunk"};
    u32 consumed = 12345;
    EXPECT_EQ(split_buffer_whole_lines(consumed, lines, exact.data(), static_cast<u32>(exact.size())),
              !r.expected.empty());
    EXPECT_EQ(lines, r.expected);
    EXPECT_EQ(consumed, r.consumed);
  }
  u32 consumed = 7;
  strings lines = {"x"};
  EXPECT_FALSE(split_buffer_whole_lines(consumed, lines, nullptr, 0));
  EXPECT_EQ(consumed, 7u);
}

TEST(SplitBufferLines, EmptyBufferChangesNothing) {
  strings lines = {"x"};
  u32 consumed = 7;
  u8 byte = '\n';
  EXPECT_FALSE(split_buffer_lines(consumed, lines, &byte, 0, false, false));
  EXPECT_EQ(lines, strings{"x"});
  EXPECT_EQ(consumed, 7u);
  EXPECT_FALSE(split_buffer_lines(consumed, lines, nullptr, 5, false, false));
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(consumed, 0u);
}

// A reader hands over chunks of any size and puts the unconsumed bytes before the next one;
// every chunk size must give the lines of the whole text.
TEST(SplitBufferLines, AnyChunkSizeGivesTheSameLines) {
  const std::string text = "h1,h2\r\n\"a,b\",c\n\r\n\rx\n\n  y  \r\nlast line\n";
  const strings expected = {"h1,h2", "\"a,b\",c", "", "x", "", "y", "last line"};
  for (size_t chunk = 1; chunk <= text.size(); ++chunk) {
    SCOPED_TRACE(chunk);
    strings all, lines;
    std::string pending;
    for (size_t pos = 0; pos < text.size(); pos += chunk) {
      pending += text.substr(pos, chunk);
      u32 consumed = 0;
      if (split_buffer_lines(consumed, lines, bytes(pending), static_cast<u32>(pending.size()),
                             true, false))
        all.insert(all.end(), lines.begin(), lines.end());
      pending.erase(0, consumed);
    }
    EXPECT_EQ(all, expected);
    EXPECT_TRUE(pending.empty());
  }
}

TEST(SplitByteVectorLines, KeepsEveryLine) {
  struct row {
    const char* name;
    std::string data;
    strings expected;
  };
  const row rows[] = {
      {"one-byte last line", "a\nb", {"a", "b"}},
      {"longer last line", "a\nbc", {"a", "bc"}},
      {"CR after the last LF", "a\n\r", {"a"}},
      {"leading CRs, blanks and empty lines", "\r x \r\n\ny\n", {"x", "", "y"}},
      {"no LF at all", " abc \r", {"abc"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    strings lines = {"stale", "stale", "stale", "stale"};
    EXPECT_TRUE(split_byte_vector_lines(std::vector<u8>(r.data.begin(), r.data.end()), lines));
    EXPECT_EQ(lines, r.expected);
  }
  strings lines = {"stale"};
  EXPECT_FALSE(split_byte_vector_lines({}, lines));
  EXPECT_TRUE(lines.empty());
}

TEST(SplitUtf16VectorLines, KeepsEveryLineAndWholeCharacters) {
  struct row {
    const char* name;
    std::u16string data;
    std::vector<std::wstring> expected;
  };
  const row rows[] = {
      {"leading CR and blanks", u"a\r\n\r b \n", {L"a", L"b"}},
      {"last line without LF", u"a\nc", {L"a", L"c"}},
      {"terminating zero units", u"a\nb\0\0"s, {L"a", L"b"}},
      {"surrogate pair is one character", u"x\U0001F600y\n", {L"x\U0001F600y"}},
      {"lone surrogates stay", u"\xD83Dz\xDE00\n", {L"\xD83Dz\xDE00"}},
      {"empty line kept", u"\n\nq\n", {L"", L"", L"q"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<std::wstring> lines = {L"stale"};
    EXPECT_TRUE(split_utf16_vector_lines(units(r.data), lines));
    EXPECT_EQ(lines, r.expected);
  }
  std::vector<std::wstring> lines = {L"stale"};
  EXPECT_FALSE(split_utf16_vector_lines({}, lines));
  EXPECT_TRUE(lines.empty());
}

TEST(SplitTextBufferLines, NarrowAndUtf16Text) {
  struct row {
    const char* name;
    std::string data;
    bool trim, skip_empty;
    strings expected;
  };
  const row rows[] = {
      {"narrow, last line without LF", "a\r\nb\n\nc", false, false, {"a", "b", "", "c"}},
      {"narrow, empty lines skipped", "a\r\nb\n\nc", false, true, {"a", "b", "c"}},
      {"narrow, NUL ends the text", "ab\ncd\0ef\n"s, false, false, {"ab", "cd"}},
      {"narrow, trimmed", " a \t\r\n", true, false, {"a"}},
      {"narrow, UTF-8 passes through", "\xC3\xA9t\xC3\xA9\n", false, false, {"\xC3\xA9t\xC3\xA9"}},
      {"UTF-16", utf16le(u"a\r\n\nb\u00e9\n"), false, false, {"a", "", "b\xC3\xA9"}},
      {"UTF-16, trimmed, last line without LF", utf16le(u" a \n\nc\U0001F600"), true, true,
       {"a", "c\xF0\x9F\x98\x80"}},
      {"UTF-16, odd last byte ignored", utf16le(u"xy\nz") + "!", false, false, {"xy", "z"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<u8> exact(r.data.begin(), r.data.end());
    strings lines = {"stale", "stale", "stale", "stale", "stale"};
    EXPECT_TRUE(split_text_buffer_lines(lines, exact.data(), static_cast<u32>(exact.size()),
                                        r.trim, r.skip_empty));
    EXPECT_EQ(lines, r.expected);
  }
  strings lines = {"stale"};
  EXPECT_FALSE(split_text_buffer_lines(lines, bytes("a"), 1, false, false));
  EXPECT_TRUE(lines.empty());
  EXPECT_FALSE(split_text_buffer_lines(lines, nullptr, 10, false, false));
}

TEST(ReadUtf16Line, ReadsOneLineAndMovesPastIt) {
  struct row {
    const char* name;
    std::u16string text;
    bool continuation;
    std::string line;
    u32 advanced;
  };
  const row rows[] = {
      {"continued at CR LF", u"ab\\\r\ncd\r\nz", true, "abcd", 9},
      {"continued at LF", u"ab\\\nc\nz", true, "abc", 6},
      {"LF ends the line", u"ab\ncd", false, "ab", 3},
      {"CR alone ends the line", u"a\rb", false, "a", 2},
      {"backslash inside the line stays", u"a\\b\n", true, "a\\b", 4},
      {"backslash kept without continuation", u"ab\\\r\ncd", false, "ab\\", 5},
      {"last line without line end", u"abc", false, "abc", 3},
      {"surrogate pair", u"\U0001F600\n", false, "\xF0\x9F\x98\x80", 3},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const u16* cursor = reinterpret_cast<const u16*>(r.text.data());
    const u16* start = cursor;
    u32 remaining = static_cast<u32>(r.text.size());
    std::string line = "stale";
    EXPECT_EQ(read_utf16_line(line, cursor, remaining, r.continuation), r.line);
    EXPECT_EQ(line, r.line);
    EXPECT_EQ(cursor - start, r.advanced);
    EXPECT_EQ(remaining, r.text.size() - r.advanced);
  }
}

TEST(ReadUtf16Line, LoopEndsAfterTheLastLine) {
  const std::u16string text = u"one\r\ntwo\\\n more\nlast";
  const u16* cursor = reinterpret_cast<const u16*>(text.data());
  u32 remaining = static_cast<u32>(text.size());
  strings lines;
  std::string line;
  for (int guard = 0; remaining > 0 && guard < 10; ++guard)
    lines.push_back(read_utf16_line(line, cursor, remaining, true));
  EXPECT_EQ(lines, (strings{"one", "two more", "last"}));
  EXPECT_EQ(remaining, 0u);
}

TEST(SplitTextLines, CutsByTheLineEndKind) {
  struct row {
    const char* name;
    std::string text;
    bool result;
    strings expected;
  };
  const row rows[] = {
      {"CR LF", "a\r\n b \r\nc\r\n", true, {"a", "b", "c"}},
      {"LF, blank line stays", "a\n \nb\n", true, {"a", "", "b"}},
      {"LF, adjacent line ends leave nothing", "a\n\nb\n", true, {"a", "b"}},
      {"CR", "a\rb\r", true, {"a", "b"}},
      {"LF CR", "a\n\rb\n\r", true, {"a", "b"}},
      {"mixed", "a\nb\r\nc", false, {}},
      {"none", "abc", false, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    strings lines = {"stale"};
    EXPECT_EQ(split_text_lines(bytes(r.text), static_cast<u32>(r.text.size()), lines), r.result);
    EXPECT_EQ(lines, r.expected);
  }
}

TEST(SplitTags, TextsBetweenTags) {
  struct row {
    const char* name;
    std::string text;
    strings expected;  // after the entry already there
  } rows[] = {
      {"texts trimmed, blank ones left out", "<p> Hello </p>world<b>  </b>", {"earlier", "Hello", "world"}},
      {"text after the last tag left out", "<p>a</p> trailing text ", {"earlier", "a"}},
      {"text before a tag left open left out", "<p>a</p>x<i", {"earlier", "a"}},
      {"text before a stray closing mark", "a>b", {"earlier", "a"}},
      {"no closing mark at all", "plain text", {"earlier"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    strings texts = {"earlier"};
    EXPECT_TRUE(split_tag_texts(bytes(r.text), static_cast<int>(r.text.size()), texts));
    EXPECT_EQ(texts, r.expected);
  }
  strings none;
  const std::string plain = "plain text";
  EXPECT_FALSE(split_tag_texts(bytes(plain), static_cast<int>(plain.size()), none));
  EXPECT_FALSE(split_tag_texts(nullptr, 3, none));
  EXPECT_FALSE(split_tag_texts(bytes(plain), 0, none));
}

TEST(SplitTags, TagsAndTheirOffsets) {
  const std::string html = "a>b<i>c<a<b>d<open";
  strings tags;
  EXPECT_TRUE(split_tags(bytes(html), static_cast<int>(html.size()), tags));
  EXPECT_EQ(tags, (strings{"", "<i>", "<a<b>"}));

  std::vector<std::pair<std::string, int>> with_offsets;
  EXPECT_TRUE(split_tags_with_offsets(bytes(html), static_cast<int>(html.size()), with_offsets));
  const std::vector<std::pair<std::string, int>> expected = {{"", 0}, {"<i>", 4}, {"<a<b>", 10}};
  EXPECT_EQ(with_offsets, expected);

  strings none;
  EXPECT_FALSE(split_tags(bytes("<open"), 5, none));
  EXPECT_FALSE(split_tags(nullptr, 5, none));
}

TEST(FindBytesHorspool, FindsTheFirstOccurrence) {
  struct row {
    const char* name;
    std::string haystack, needle;
    bool found;
    u64 position;
  };
  const row rows[] = {
      {"at the start", "abcdef", "abc", true, 0},
      {"at the end", "abcdef", "ef", true, 4},
      {"after a near miss", "aaab", "aab", true, 1},
      {"first of several", "xyxyxy", "yx", true, 1},
      {"NUL bytes", "a\0b\0c"s, "\0c"s, true, 3},
      {"absent", "abcdef", "xyz", false, 0},
      {"needle longer than haystack", "ab", "abc", false, 0},
      {"equal lengths", "abc", "abc", true, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<u8> exact(r.haystack.begin(), r.haystack.end());
    u64 position = 99;
    EXPECT_EQ(find_bytes_horspool(position, exact.data(), static_cast<i64>(exact.size()),
                                  bytes(r.needle), static_cast<u32>(r.needle.size())),
              r.found);
    EXPECT_EQ(position, r.position);
  }
  u64 position = 99;
  EXPECT_FALSE(find_bytes_horspool(position, bytes("abc"), -1, bytes("a"), 1));
  EXPECT_FALSE(find_bytes_horspool(position, nullptr, 3, bytes("a"), 1));
  EXPECT_FALSE(find_bytes_horspool(position, bytes("abc"), 3, bytes("a"), 0));
  EXPECT_EQ(position, 0u);
}

TEST(SplitCommandLine, TableOfTexts) {
  struct row {
    const char* name;
    const char* text;
    u32 max_words;
    bool quotes;
    int read;
    strings expected;  // appended after "kept"
  };
  const row rows[] = {
      {"limit reached", "one two three", 2, false, 2, {"one", "two"}},
      {"no limit", "one two three", 0, false, 3, {"one", "two", "three"}},
      {"every kind of white space",
       " a\tb\nc\vd\fe\rf ",
       0,
       false,
       6,
       {"a", "b", "c", "d", "e", "f"}},
      {"empty text", "", 0, true, 0, {}},
      {"null text", nullptr, 0, true, 0, {}},
      {"quotes kept without grouping", "a \"b c\"", 0, false, 3, {"a", "\"b", "c\""}},
      {"group of two words", "a \"b c\" d", 0, true, 4, {"a", "b c", "d"}},
      {"group joins with single blanks", "\"b \t  c\"", 0, true, 2, {"b c"}},
      {"group of three words", "\"x y z\"", 0, true, 3, {"x y z"}},
      {"quoted word loses its quotes", "x \"a\"", 0, true, 2, {"x", "a"}},
      {"one quoted word keeps its quotes", "\"a\"", 0, true, 1, {"\"a\""}},
      {"empty quotes", "x \"\"", 0, true, 2, {"x", ""}},
      {"lone quotes open and close", "x \" b \"", 0, true, 4, {"x", " b "}},
      {"unclosed group kept as read", "a \"b c", 0, true, 3, {"a", "\"b", "c"}},
      {"unclosed group after a closed one", "\"a b\" \"c d", 0, true, 4, {"a b", "\"c", "d"}},
      {"limit cuts a group", "\"a b\" c", 1, true, 1, {"\"a"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    strings out = {"kept"};
    EXPECT_EQ(split_command_line(r.text, r.max_words, out, r.quotes), r.read);
    strings expected = {"kept"};
    expected.insert(expected.end(), r.expected.begin(), r.expected.end());
    EXPECT_EQ(out, expected);
  }
}

TEST(SplitWords, NeedsAWord) {
  strings out;
  EXPECT_FALSE(split_words("", out));
  EXPECT_FALSE(split_words(" \t ", out));
  EXPECT_TRUE(split_words("a \"b c\"", out));
  EXPECT_EQ(out, (strings{"a", "b c"}));
}
