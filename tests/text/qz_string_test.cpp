#include "framework/text/qz_string.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

struct narrow_trim_case {
  const char* name;
  std::function<int(std::string&)> trim;
  std::string input;
  std::string expected;
  int expected_result;
};

int line_breaks(std::string& s) {
  trim_line_breaks(s);
  return 0;
}

}  // namespace

TEST(Trim, NarrowTrimsCutTheirOwnSetAndReportWhatIsLeft) {
  const auto ws = [](std::string& s) { return int(trim_whitespace(s)); };
  const auto keep_blanks = [](std::string& s) { return int(trim_whitespace_ex(s, true)); };
  const auto cut_blanks = [](std::string& s) { return int(trim_whitespace_ex(s, false)); };
  const auto nuls = [](std::string& s) { return int(trim_trailing_nuls(s)); };
  const auto newlines = [](std::string& s) { return trim_trailing_newlines(s); };
  const narrow_trim_case cases[] = {
      {"ws empty", ws, "", "", 0},
      {"ws only whitespace", ws, " \t\r\n", "", 0},
      {"ws both ends", ws, "\tab c \r\n", "ab c", 1},
      {"ws nothing to cut", ws, "abc", "abc", 1},
      {"ws high bytes are not blanks", ws, " \xC3\x84\xA0 ", "\xC3\x84\xA0", 1},
      {"ws NUL is not a blank", ws, "a \0"s, "a \0"s, 1},
      {"ex keeps trailing blanks", keep_blanks, " a b  ", "a b  ", 1},
      {"ex cuts tab/CR/LF after blank", keep_blanks, "a \t\r\n", "a ", 1},
      {"ex all blanks still empties", keep_blanks, "   ", "", 0},
      {"ex without flag", cut_blanks, " a b  ", "a b", 1},
      {"line breaks only", line_breaks, "\r\n\r\n", "", 0},
      {"line breaks both ends", line_breaks, "\r\na b\n", "a b", 0},
      {"line breaks keep blanks", line_breaks, " a\n", " a", 0},
      {"newlines counted", newlines, "ab\r\n\n", "ab", 3},
      {"newlines inner CR stays", newlines, "a\rb", "a\rb", 0},
      {"newlines empty", newlines, "", "", 0},
      {"nuls all", nuls, "\0\0\0"s, "", 1},
      {"nuls inner stays", nuls, "a\0b\0\0"s, "a\0b"s, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string s = c.input;
    EXPECT_EQ(c.trim(s), c.expected_result);
    EXPECT_EQ(s, c.expected);
  }
}

TEST(Trim, WideTrimRunsOnePassPerCharacterInOrder) {
  struct {
    const char* name;
    std::wstring input;
    std::wstring expected;
    bool expected_result;
  } const cases[] = {
      {"empty", L"", L"", false},
      {"only blanks", L"  ", L"", false},
      {"only tabs after the blank pass", L" \t\t ", L"", false},
      {"CR survives the LF pass", L"x\r\n", L"x\r", true},
      {"LF then CR both go", L"x\n\r", L"x", true},
      {"tab pass stops at a blank", L" \t x", L" x", true},
      {"blank before trailing tab stays", L"x \t", L"x ", true},
      {"blanks then tabs", L" \tx\t ", L"x", true},
      {"CR LF alone leaves CR", L"\r\n", L"\r", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::wstring s = c.input;
    EXPECT_EQ(trim_whitespace_wide(s), c.expected_result);
    EXPECT_EQ(s, c.expected);
  }
}

TEST(Trim, DropLastCharsAndBlanks) {
  struct {
    const char* name;
    std::string input;
    int n;
    std::string expected;
    bool expected_result;
  } const cases[] = {
      {"shorter than n", "abc", 5, "", true},
      {"exactly n", "abc", 3, "", true},
      {"one", "abc", 1, "ab", true},
      {"zero does nothing", "abc", 0, "abc", false},
      {"empty text", "", 1, "", false},
      {"negative does nothing", "abc", -1, "abc", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string s = c.input;
    EXPECT_EQ(drop_last_chars(s, c.n), c.expected_result);
    EXPECT_EQ(s, c.expected);
    std::wstring w(c.input.begin(), c.input.end());
    EXPECT_EQ(drop_last_chars_wide(w, c.n), c.expected_result);
    EXPECT_EQ(w, std::wstring(c.expected.begin(), c.expected.end()));
  }

  std::string out = "xyz";
  EXPECT_EQ(&make_blanks(out, 3), &out);
  EXPECT_EQ(out, "   ");
  EXPECT_EQ(make_blanks(out, 0), "");
  EXPECT_EQ(make_blanks(out, -2), "");
}

TEST(CaseFolding, OnlyAsciiLettersChangeForEveryByteValue) {
  for (int c = 0; c < 256; ++c) {
    SCOPED_TRACE(c);
    const char byte = char(c);
    const char lower = (c >= 'A' && c <= 'Z') ? char(c + 32) : byte;
    const char upper = (c >= 'a' && c <= 'z') ? char(c - 32) : byte;

    std::string s(2, byte);
    EXPECT_EQ(to_lower(s), std::string(2, lower));
    s.assign(2, byte);
    to_upper(s);
    EXPECT_EQ(s, std::string(2, upper));

    char buffer[2] = {byte, byte};
    to_lower_buffer(buffer, 1);
    EXPECT_EQ(buffer[0], lower);
    EXPECT_EQ(buffer[1], byte);

    // The byte as the signed value a char widens to, and as the unsigned value.
    const int as_signed = static_cast<signed char>(byte);
    EXPECT_EQ(to_lower_char(as_signed), static_cast<signed char>(lower));
    EXPECT_EQ(to_upper_char(as_signed), static_cast<signed char>(upper));
    EXPECT_EQ(to_lower_char(c), static_cast<unsigned char>(lower));

    std::wstring w(1, wchar_t(as_signed));
    EXPECT_EQ(to_lower_wide(w), std::wstring(1, wchar_t(static_cast<signed char>(lower))));
  }
}

TEST(CaseFolding, ValuesOutsideAsciiAreLeftAlone) {
  const int values[] = {-1, -200, 0x141, 0x161, 0x10000 + 'A'};
  for (int v : values) {
    SCOPED_TRACE(v);
    EXPECT_EQ(to_lower_char(v), v);
    EXPECT_EQ(to_upper_char(v), v);
  }
  std::wstring w = L"\u00C4\u0130\u00E4Z\u212A";
  to_lower_wide(w);
  EXPECT_EQ(w, L"\u00C4\u0130\u00E4z\u212A");
  to_upper_wide(w);
  EXPECT_EQ(w, L"\u00C4\u0130\u00E4Z\u212A");

  std::string utf8 = "\xC3\x84" "BC";
  EXPECT_EQ(to_lower(utf8), "\xC3\x84" "bc");
}

TEST(CaseFolding, CopiesBuffersAndLists) {
  std::string out = "stale";
  EXPECT_EQ(ascii_lower_copy(out, "MiXeD \xC3\x84"), "mixed \xC3\x84");
  EXPECT_EQ(ascii_lower_copy(out, nullptr), "");

  to_lower_buffer(nullptr, 4);  // must not crash
  char buffer[] = "ABC";
  to_lower_buffer(buffer, 0);
  EXPECT_STREQ(buffer, "ABC");

  std::vector<std::string> list = {"A", "", "bC"};
  to_lower_all(list);
  EXPECT_EQ(list, (std::vector<std::string>{"a", "", "bc"}));

  std::vector<u16> units(1000, u16('A'));
  std::wstring wide = L"stale";
  EXPECT_EQ(utf16_lower_wide(wide, units.data()), std::wstring(768, L'a'));
  const u16 stops_at_zero[] = {'A', 0xD800, 0xFFC4, 0, 'C'};
  EXPECT_EQ(utf16_lower_wide(wide, stops_at_zero), std::wstring(L"a") + wchar_t(0xD800) + wchar_t(0xFFC4));
  EXPECT_EQ(utf16_lower_wide(wide, nullptr), L"");
}

TEST(NocaseCompare, SearchesFoldTheCallersStringsInPlace) {
  struct {
    const char* name;
    std::string text;
    std::string what;
    bool ignore_case;
    size_t expected;
    std::string text_after;
    std::string what_after;
  } const cases[] = {
      {"found", "Hello World", "WORLD", true, 6, "hello world", "world"},
      {"not found still folds", "ABC", "XYZ", true, std::string::npos, "abc", "xyz"},
      {"exact case untouched", "Hello", "hello", false, std::string::npos, "Hello", "hello"},
      {"empty in empty", "", "", true, std::string::npos, "", ""},
      {"empty in text", "Ab", "", true, 0, "ab", ""},
      {"high bytes do not fold", "\xC3\xA4", "\xC3\x84", true, std::string::npos, "\xC3\xA4", "\xC3\x84"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = c.text, what = c.what;
    EXPECT_EQ(find_substring(text, what, c.ignore_case), c.expected);
    EXPECT_EQ(text, c.text_after);
    EXPECT_EQ(what, c.what_after);

    std::wstring wtext(c.text.begin(), c.text.end()), wwhat(c.what.begin(), c.what.end());
    EXPECT_EQ(find_substring_wide(wtext, wwhat, c.ignore_case), c.expected);
    EXPECT_EQ(wtext, std::wstring(c.text_after.begin(), c.text_after.end()));
  }
}

TEST(NocaseCompare, PrefixAndWholeEqualityFoldInPlace) {
  struct {
    const char* name;
    std::string a;
    std::string b;
    int n;
    bool expected;
  } const cases[] = {
      {"equal prefix", "ABCdef", "abcXYZ", 3, true},
      {"differs within n", "ABCdef", "abcXYZ", 4, false},
      {"one shorter than n", "AB", "ab", 3, false},
      {"zero length", "x", "y", 0, true},
      {"negative length", "x", "x", -1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string a = c.a, b = c.b;
    EXPECT_EQ(compare_prefix_nocase(a, b, c.n), c.expected);
    std::string a_lowered = c.a, b_lowered = c.b;
    EXPECT_EQ(a, to_lower(a_lowered));
    EXPECT_EQ(b, to_lower(b_lowered));
    std::wstring wa(c.a.begin(), c.a.end()), wb(c.b.begin(), c.b.end());
    EXPECT_EQ(compare_prefix_nocase_wide(wa, wb, c.n), c.expected);
  }

  std::wstring shorter = L"aB", longer = L"ABC";
  EXPECT_FALSE(equals_nocase_wide(shorter, longer));
  EXPECT_EQ(shorter, L"aB");  // lengths differ: nothing is folded
  EXPECT_EQ(longer, L"ABC");
  std::wstring a = L"Ab", b = L"aB";
  EXPECT_TRUE(equals_nocase_wide(a, b));
  EXPECT_EQ(a, L"ab");
  EXPECT_EQ(b, L"ab");
}

TEST(NocaseCompare, BlockAndCStringComparisons) {
  const char left[] = "AbC\0x";
  const char right[] = "aBc\0y";
  EXPECT_TRUE(bytes_equal_nocase(left, right, 4));  // the NUL is compared, not a stop
  EXPECT_FALSE(bytes_equal_nocase(left, right, 5));
  EXPECT_FALSE(bytes_equal_nocase("\xC3", "\xE3", 1));  // differ by 32 but are not letters
  EXPECT_TRUE(bytes_equal_nocase(nullptr, nullptr, 3));
  EXPECT_FALSE(bytes_equal_nocase("abc", nullptr, 3));
  EXPECT_TRUE(bytes_equal_nocase("abc", nullptr, 0));
  EXPECT_STREQ(left, "AbC");  // inputs untouched

  struct {
    const char* name;
    const char* a;
    const char* b;
    bool ignore_case;
    int expected;
  } const cases[] = {
      {"both null", nullptr, nullptr, false, 0},
      {"first null", nullptr, "x", false, -1},
      {"second null", "x", nullptr, true, 1},
      {"case matters", "abc", "ABC", false, 1},
      {"case ignored", "abc", "ABC", true, 0},
      {"prefix orders first", "ab", "ABC", true, -1},
      {"bytes compare unsigned", "a", "\xE9", false, -1},
      {"folds to lower, not upper", "ABC_", "abca", true, -1},
      {"high bytes do not fold", "\xC3", "\xE3", true, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(str_compare(c.a, c.b, c.ignore_case), c.expected);
    std::wstring wa, wb;
    if (c.a) wa.assign(c.a, c.a + std::char_traits<char>::length(c.a));
    if (c.b) wb.assign(c.b, c.b + std::char_traits<char>::length(c.b));
    // Wide text of code points: widen the bytes unsigned so they order as they do narrow.
    for (auto& ch : wa) ch = wchar_t(static_cast<unsigned char>(ch));
    for (auto& ch : wb) ch = wchar_t(static_cast<unsigned char>(ch));
    EXPECT_EQ(wcs_compare(c.a ? wa.c_str() : nullptr, c.b ? wb.c_str() : nullptr, c.ignore_case), c.expected);
  }
}

TEST(NocaseCompare, StrstrReturnsPointerIntoTheGivenText) {
  const char* text = "Hello World";
  EXPECT_EQ(strstr_nocase(text, "wOR"), text + 6);
  EXPECT_EQ(strstr_nocase(text, ""), text);
  EXPECT_EQ(strstr_nocase(text, "xyz"), nullptr);
  EXPECT_EQ(strstr_nocase(nullptr, "a"), nullptr);
  EXPECT_EQ(strstr_nocase(text, nullptr), nullptr);
  EXPECT_STREQ(text, "Hello World");

  const wchar_t* wide = L"Caf\u00C9 Bar";
  EXPECT_EQ(wcsstr_nocase(wide, L"BAR"), wide + 5);
  EXPECT_EQ(wcsstr_nocase(wide, L"caf\u00E9"), nullptr);  // only ASCII folds
  EXPECT_EQ(wcsstr_nocase(nullptr, L"a"), nullptr);
}

TEST(FindPosition, MatchAtTheEndOfTheTextCountsAsNone) {
  struct {
    const char* name;
    std::string text;
    size_t from;
    const char* what;
    bool expected;
    size_t expected_pos;
  } const cases[] = {
      {"from skips first", "abcabc", 1, "abc", true, 3},
      {"empty needle at start", "abc", 0, "", true, 0},
      {"empty needle in empty text", "", 0, "", false, 0},
      {"empty needle at the end", "abc", 3, "", false, 3},
      {"not found", "abc", 0, "x", false, std::string::npos},
      {"from past the end", "abc", 9, "a", false, std::string::npos},
      {"null needle", "abc", 0, nullptr, false, std::string::npos},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    size_t pos = 77;
    EXPECT_EQ(find_position(pos, c.text, c.from, c.what), c.expected);
    EXPECT_EQ(pos, c.expected_pos);
    std::wstring wtext(c.text.begin(), c.text.end());
    std::wstring wwhat = c.what ? std::wstring(c.what, c.what + std::char_traits<char>::length(c.what)) : L"";
    pos = 77;
    EXPECT_EQ(find_position_wide(pos, wtext, c.from, c.what ? wwhat.c_str() : nullptr), c.expected);
    EXPECT_EQ(pos, c.expected_pos);
  }

  size_t pos = 0;
  EXPECT_TRUE(find_position_after(pos, "key=value", 0, "="));
  EXPECT_EQ(pos, 4u);
  EXPECT_TRUE(find_position_after(pos, "abc", 0, "bc"));
  EXPECT_EQ(pos, 3u);  // past a match that ends the text
  EXPECT_FALSE(find_position_after(pos, "abc", 0, "x"));
  EXPECT_FALSE(find_position_after(pos, "", 0, ""));
}

TEST(NocaseTraits, CompareByUpperCaseWithSignedBytes) {
  EXPECT_TRUE(nocase_char_traits::eq('a', 'A'));
  EXPECT_FALSE(nocase_char_traits::eq('\xC3', '\xE3'));
  EXPECT_TRUE(nocase_char_traits::lt('a', 'B'));
  EXPECT_FALSE(nocase_char_traits::lt('B', 'a'));
  // Upper-case keys: '_' (0x5F) orders after 'A'..'Z'.
  EXPECT_TRUE(nocase_char_traits::lt('a', '_'));
  // A char is a signed value: 0xE9 orders before every ASCII character.
  EXPECT_TRUE(nocase_char_traits::lt('\xE9', '\x01'));
  EXPECT_FALSE(nocase_char_traits::lt('\x01', '\xE9'));

  struct {
    const char* name;
    const char* a;
    const char* b;
    size_t n;
    int expected;
  } const cases[] = {
      {"equal ignoring case", "abc", "ABC", 3, 0},
      {"less", "abc", "ABD", 3, -1},
      {"greater", "abd", "ABC", 3, 1},
      {"difference beyond n", "abX", "ABY", 2, 0},
      {"signed high byte is less", "\xE9", "A", 1, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(nocase_char_traits::compare(c.a, c.b, c.n), c.expected);
    std::wstring wa(c.a, c.a + c.n), wb(c.b, c.b + c.n);  // widened signed, as chars are
    for (auto& ch : wa) ch = wchar_t(static_cast<signed char>(ch));
    for (auto& ch : wb) ch = wchar_t(static_cast<signed char>(ch));
    EXPECT_EQ(nocase_wchar_traits::compare(wa.data(), wb.data(), c.n), c.expected);
  }

  const char hello[] = "hello";
  EXPECT_EQ(nocase_char_traits::find(hello, 5, 'L'), hello + 2);
  EXPECT_EQ(nocase_char_traits::find(hello, 2, 'L'), nullptr);
  const wchar_t whello[] = L"hello";
  EXPECT_EQ(nocase_wchar_traits::find(whello, 5, L'O'), whello + 4);

  using nocase_string = std::basic_string<char, nocase_char_traits>;
  EXPECT_EQ(nocase_string("Content-Type"), nocase_string("content-TYPE"));
  EXPECT_EQ(nocase_string("Content-Type").find("TYPE"), 8u);
  using nocase_wstring = std::basic_string<wchar_t, nocase_wchar_traits>;
  EXPECT_EQ(nocase_wstring(L"ABC"), nocase_wstring(L"abc"));
  EXPECT_TRUE(nocase_wchar_traits::eq(L'z', L'Z'));
  EXPECT_TRUE(nocase_wchar_traits::lt(L'a', L'B'));

  EXPECT_TRUE(eq_nocase_wide(L'q', L'Q'));
  EXPECT_FALSE(eq_nocase_wide(L'\u00E4', L'\u00C4'));
}

TEST(Printable, TextAndBytesShareOneRule) {
  struct {
    const char* name;
    std::string input;
    bool expected;
  } const cases[] = {
      {"empty", "", false},
      {"tab CR LF allowed", "a\tb\r\n", true},
      {"blank and tilde", " ~", true},
      {"DEL", "a\x7f", false},
      {"lone UTF-8 lead", "\xC3", false},
      {"control", "\x1f", false},
      {"NUL", "a\0"s, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(is_printable_text(c.input), c.expected);
    EXPECT_EQ(is_printable_bytes(std::vector<u8>(c.input.begin(), c.input.end())), c.expected);
  }

  EXPECT_EQ(count_printable_prefix({0x41, 0x42, 0x09, 0x43}), 2u);
  EXPECT_EQ(count_printable_prefix({}), 0u);
  EXPECT_EQ(count_printable_prefix({0x80, 0x41}), 0u);
  EXPECT_EQ(count_printable_prefix({0x20, 0x7e}), 2u);

  EXPECT_TRUE(all_strings_empty({}));
  EXPECT_TRUE(all_strings_empty({"", ""}));
  EXPECT_FALSE(all_strings_empty({"", "x"}));
}
