#include "framework/text/qz_html_escape.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "framework/text/qz_replace.h"

namespace {

using strings = std::vector<std::string>;
using wstrings = std::vector<std::wstring>;

struct escape_case {
  const char* name;
  std::string text;
  std::string expected;
};

TEST(HtmlEscape, EscapesEveryMarkupCharacterAndJoinsCrLf) {
  const std::vector<escape_case> cases = {
      {"empty", "", ""},
      {"nothing to escape", "plain text 123", "plain text 123"},
      {"ampersand", "a&b", "a&amp;b"},
      {"less and greater", "a<b>&c", "a&lt;b&gt;&amp;c"},
      {"double quotes", "say \"hi\"", "say &quot;hi&quot;"},
      {"apostrophe", "it's", "it&#39;s"},
      {"entity escaped again", "&amp;", "&amp;amp;"},
      {"CR LF", "one\r\ntwo", "one<br />two"},
      {"lone LF", "a\nb", "a\nb"},
      {"lone CR", "a\rb", "a\rb"},
      {"LF CR is no pair", "a\n\rb", "a\n\rb"},
      {"CR CR LF", "\r\r\n", "\r<br />"},
      {"two pairs", "\r\n\r\n", "<br /><br />"},
      {"CR at the end", "x\r", "x\r"},
      {"special at both ends", "<x>", "&lt;x&gt;"},
      {"NUL kept, text after it escaped", std::string("a\0<b", 4), std::string("a\0&lt;b", 7)},
      {"script", "<script>alert('x')</script>", "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"},
      {"attribute break-out", "x\" onerror='y", "x&quot; onerror=&#39;y"},
      {"UTF-8 untouched", "caf\xC3\xA9 <", "caf\xC3\xA9 &lt;"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(html_escape(c.text), c.expected) << c.name;
    std::string appended = "<kept>";
    html_escape_append(appended, c.text);
    EXPECT_EQ(appended, "<kept>" + c.expected) << c.name;
  }
}

// The single pass must give exactly what the entity table followed by the CR LF rule gives.
TEST(HtmlEscape, SamePassResultAsEntityTableThenLineBreaks) {
  const strings from = {"&", "<", ">", "\"", "'"};
  const strings to = {"&amp;", "&lt;", "&gt;", "&quot;", "&#39;"};
  const char alphabet[] = {'a', '&', '<', '>', '"', '\'', '\r', '\n', '\0', ' ', '\xC3'};
  std::mt19937 random(1321);
  for (int round = 0; round < 2000; ++round) {
    std::string text(random() % 24, ' ');
    for (char& ch : text) ch = alphabet[random() % sizeof alphabet];
    std::string entities, expected;
    if (!replace_strings(text.data(), u32(text.size()), from, to, entities, false, false))
      entities = text;
    replace_all_copy(expected, entities, "\r\n", "<br />");
    ASSERT_EQ(html_escape(text), expected) << "round " << round;
  }
}

// html_escape_to reads whole blocks where the string's storage allows: at every length and
// position the output must be html_escape's (paths turned with slash_paths), and bytes left in
// the storage past the end of the text must never show, nor complete a CR LF pair.
TEST(HtmlEscapeTo, SameAsHtmlEscapeAtEveryLengthAndIgnoresStaleStorage) {
  const char alphabet[] = {'a', 'b', '\\', '&', '<', '"', '\'', '\r', '\n', '>', 'z', '/'};
  std::mt19937 random(4242);
  for (int round = 0; round < 3000; ++round) {
    std::string text(random() % 70, ' ');
    for (char& ch : text) ch = alphabet[random() % sizeof alphabet];
    for (bool slash_paths : {false, true}) {
      std::string turned = text;
      if (slash_paths) std::replace(turned.begin(), turned.end(), '\\', '/');
      std::string out(html_escaped_room(text.size()), '#');
      out.resize(static_cast<std::size_t>(html_escape_to(out.data(), text, slash_paths) - out.data()));
      ASSERT_EQ(out, html_escape(turned)) << "round " << round << " slash " << slash_paths;
    }
  }
  struct stale_case {
    const char* name;
    std::string storage;
    std::size_t length;
    std::string expected;
  };
  const std::vector<stale_case> cases = {
      {"markup past the end", std::string(40, '<'), 3, "&lt;&lt;&lt;"},
      {"LF past a last CR", "ab\r\nmore text to fill a block", 3, "ab\r"},
      {"short text in a long string", "x<y>" + std::string(60, '&'), 2, "x&lt;"},
      {"nothing left", "<<<<", 0, ""},
  };
  for (const stale_case& c : cases) {
    std::string text = c.storage;
    text.resize(c.length);
    std::string out(html_escaped_room(text.size()), '#');
    out.resize(static_cast<std::size_t>(html_escape_to(out.data(), text, true) - out.data()));
    EXPECT_EQ(out, c.expected) << c.name;
  }
}

// Nothing that can open a tag, an attribute value or a character reference survives: over
// every pair of byte values, the output without its line breaks holds no < > " ' and each &
// begins one of the entities put there.
TEST(HtmlEscape, NoMarkupSurvivesAnyBytePair) {
  for (int first = 0; first < 256; ++first) {
    for (int second = 0; second < 256; ++second) {
      std::string text = {char(first), char(second), 'x'};
      std::string escaped = html_escape(text);
      replace_all(escaped, "<br />", "");
      ASSERT_EQ(escaped.find_first_of("<>\"'"), std::string::npos) << first << " " << second;
      for (std::size_t amp = escaped.find('&'); amp != std::string::npos;
           amp = escaped.find('&', amp + 1)) {
        std::string rest = escaped.substr(amp + 1, 5);
        bool entity = rest.rfind("amp;", 0) == 0 || rest.rfind("lt;", 0) == 0 ||
                      rest.rfind("gt;", 0) == 0 || rest.rfind("quot;", 0) == 0 ||
                      rest.rfind("#39;", 0) == 0;
        ASSERT_TRUE(entity) << first << " " << second;
      }
    }
  }
}

TEST(ReplaceStrings, RefusesTextsAndTablesItCannotWalk) {
  struct {
    const char* name;
    const char* text;
    u32 length;
    strings from;
    strings to;
  } cases[] = {
      {"null text", nullptr, 3, {"a"}, {"b"}},
      {"zero length", "abc", 0, {"a"}, {"b"}},
      {"empty table", "abc", 3, {}, {}},
      {"lists of unequal length", "abc", 3, {"a", "b"}, {"x"}},
      // An empty entry matches everywhere and would never move the walk on.
      {"empty from entry", "abc", 3, {"a", ""}, {"x", "y"}},
      {"only entry empty", "abc", 3, {""}, {"y"}},
  };
  for (const auto& c : cases) {
    std::string out = "stale";
    EXPECT_FALSE(replace_strings(c.text, c.length, c.from, c.to, out, false, false)) << c.name;
    EXPECT_EQ(out, "") << c.name;
  }
  std::wstring wide_out = L"stale";
  EXPECT_FALSE(replace_strings_wide(L"abc", 3, {L"a", L""}, {L"x", L"y"}, wide_out, false, false));
  EXPECT_EQ(wide_out, L"");
}

TEST(ReplaceStrings, OnePassWithTheEarliestEntryWinning) {
  struct {
    const char* name;
    std::string text;
    strings from;
    strings to;
    bool ignore_case;
    bool percent_encode;
    std::string expected;
  } cases[] = {
      {"earlier entry wins, walk goes on after it",
       "aab",
       {"ab", "a"},
       {"X", "Y"},
       false,
       false,
       "YX"},
      {"output never rescanned", "aX", {"a", "X"}, {"X", "Y"}, false, false, "XY"},
      {"entry replaced by nothing", "a-b-c", {"-"}, {""}, false, false, "abc"},
      {"case kept without ignore_case", "AB ab", {"ab"}, {"X"}, false, false, "AB X"},
      {"ASCII case folded", "AB aB ab", {"ab"}, {"X"}, true, false, "X X X"},
      {"entry longer than the rest", "xab", {"abc"}, {"X"}, false, false, "xab"},
      {"CR LF never matched", "a\r\nb", {"\r\n", "\n"}, {"X", "Y"}, false, false, "a\r\nb"},
      {"percent encoding",
       std::string("\t\x01\x7F\x80\xFF\0", 6),
       {"<"},
       {"&lt;"},
       false,
       true,
       "%09%01%7f%80%ff%00"},
      {"percent encoding keeps CR LF and printables",
       "a\r\n%<",
       {"<"},
       {"&lt;"},
       false,
       true,
       "a\r\n%&lt;"},
  };
  for (const auto& c : cases) {
    std::string out = "stale";
    ASSERT_TRUE(replace_strings(c.text.data(), u32(c.text.size()), c.from, c.to, out, c.ignore_case,
                                c.percent_encode))
        << c.name;
    EXPECT_EQ(out, c.expected) << c.name;
  }
}

// The length bounds the walk: an entry is never compared with bytes past it.
TEST(ReplaceStrings, NeverMatchesPastTheLength) {
  const char text[] = "xxab";
  std::string out;
  ASSERT_TRUE(replace_strings(text, 3, {"ab", "a"}, {"X", "Y"}, out, false, false));
  EXPECT_EQ(out, "xxY");
}

TEST(ReplaceStringsWide, SameRulesOverCharacters) {
  std::wstring out;
  ASSERT_TRUE(replace_strings_wide(L"aab", 3, {L"ab", L"a"}, {L"X", L"Y"}, out, false, false));
  EXPECT_EQ(out, L"YX");
  ASSERT_TRUE(replace_strings_wide(L"AB \u00e9\u0141", 5, {L"ab", L"\u0141"}, {L"X", L"L"}, out,
                                   true, false));
  EXPECT_EQ(out, L"X \u00e9L");
}

TEST(HtmlEscapeAscii, EntitiesForMarkupPercentForTheRest) {
  const std::vector<escape_case> cases = {
      {"tab", "\t", "%09"},
      {"UTF-8 bytes", "\xC3\xA9", "%c3%a9"},
      {"quotes stay", "\"<'", "\"&lt;'"},
      {"all three", "a&b>c<", "a&amp;b&gt;c&lt;"},
      {"CR LF stay", "a\r\nb", "a\r\nb"},
      {"empty", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(html_escape_ascii(c.text), c.expected) << c.name;
    EXPECT_EQ(html_escape_ascii(c.text.c_str()), c.expected) << c.name;
  }
  EXPECT_EQ(html_escape_ascii(static_cast<const char*>(nullptr)), "");
}

// The string form escapes every byte; text after a NUL is not lost.
TEST(HtmlEscapeAscii, StringFormKeepsTextAfterNul) {
  EXPECT_EQ(html_escape_ascii(std::string("a\0<b", 4)), "a%00&lt;b");
}

TEST(HtmlEscapeAscii, EveryByteComesOutPrintableAscii) {
  std::string all(256, '\0');
  for (size_t b = 0; b < 256; ++b) all[b] = char(b);
  std::string escaped = html_escape_ascii(all);
  for (char ch : escaped) {
    unsigned char c = static_cast<unsigned char>(ch);
    ASSERT_TRUE((c >= 32 && c <= 126) || c == '\r' || c == '\n') << int(c);
  }
  EXPECT_EQ(escaped.find('<'), std::string::npos);
  EXPECT_EQ(escaped.find('>'), std::string::npos);
}

TEST(HtmlEscapeAsciiWide, EveryCharacterComesOutAscii) {
  struct {
    const char* name;
    std::wstring text;
    std::wstring expected;
  } cases[] = {
      {"markup and Latin-1", L"<\u00e9>&", L"&lt;%e9&gt;&amp;"},
      {"byte widened as signed char", std::wstring(1, wchar_t(-23)), L"%e9"},
      {"tab and CR LF", L"\t\r\n", L"%09\r\n"},
      // Wider characters keep their identity instead of passing through on their low byte
      // (U+013C ends in 0x3C, '<') or collapsing onto it (U+0100 would become %00).
      {"low byte looks like <", L"\u013c", L"%c4%bc"},
      {"low byte is NUL", L"\u0100", L"%c4%80"},
      {"beyond the BMP", L"\U0001F600", L"%f0%9f%98%80"},
      {"empty comes back as is", L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(html_escape_ascii_wide(c.text), c.expected) << c.name;

  for (wchar_t ch : {wchar_t(0x3C), wchar_t(0x13C), wchar_t(0x23C), wchar_t(0xFF1C),
                     wchar_t(0x10FFFF), wchar_t(-1), wchar_t(0x7FFFFFFF)}) {
    for (wchar_t out : html_escape_ascii_wide(std::wstring(1, ch)))
      ASSERT_TRUE(out >= 32 && out <= 126) << std::hex << u32(ch);
  }
}

}  // namespace
