#include "framework/text/qz_replace.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// The wide twin of an ASCII test text.
std::wstring W(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::vector<std::wstring> WL(const std::vector<std::string>& list) {
  std::vector<std::wstring> wide;
  for (const auto& s : list) wide.push_back(W(s));
  return wide;
}

// ---- Characters ----

struct ReplaceCharCase {
  const char* name;
  std::string text;
  char from, to;
  bool both_cases;
  std::string expected;
};

TEST(ReplaceChar, NarrowAndWide) {
  const ReplaceCharCase cases[] = {
      {"both cases into upper", "banana Alpha", 'a', 'A', true, "bAnAnA AlphA"},
      {"one case only", "banana Alpha", 'a', 'x', false, "bxnxnx Alphx"},
      {"upper from, both cases", "Anna", 'A', '_', true, "_nn_"},
      {"from equals to", "aAa", 'a', 'a', true, "aAa"},
      {"no letter case to fold", "a-b-c", '-', '/', true, "a/b/c"},
      {"absent", "xyz", 'a', 'b', true, "xyz"},
      {"empty text", "", 'a', 'b', false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string narrow = c.text;
    replace_char(narrow, c.from, c.to, c.both_cases);
    EXPECT_EQ(narrow, c.expected);
    std::wstring wide = W(c.text);
    replace_char_wide(wide, c.from, c.to, c.both_cases);
    EXPECT_EQ(wide, W(c.expected));
  }
}

TEST(ReplaceChar, BytesBeyondAsciiAreNotFolded) {
  std::string text = "\xC3\x84\xE4x";
  replace_char(text, '\xC3', 'Y', true);
  EXPECT_EQ(text, "Y\x84\xE4x");
  std::wstring wide = L"\u00C4\u00E4";
  replace_char_wide(wide, L'\u00E4', L'a', true);
  EXPECT_EQ(wide, L"\u00C4a");
}

struct ReplaceBufferCase {
  const char* name;
  std::string text;
  int n;
  char from, to;
  bool ignore_case;
  std::string expected;
};

TEST(ReplaceCharBuffer, OnlyTheFirstNUnits) {
  const ReplaceBufferCase cases[] = {
      {"whole buffer, any case", "aAbA", 4, 'a', '*', true, "**b*"},
      {"whole buffer, exact case", "aAbA", 4, 'a', '*', false, "*AbA"},
      {"first two only", "aaaa", 2, 'a', 'b', false, "bbaa"},
      {"n is 0", "aaaa", 0, 'a', 'b', false, "aaaa"},
      {"n negative", "aaaa", -3, 'a', 'b', false, "aaaa"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string narrow = c.text;
    replace_char_buffer(narrow.data(), c.n, c.from, c.to, c.ignore_case);
    EXPECT_EQ(narrow, c.expected);
    std::wstring wide = W(c.text);
    replace_char_buffer_wide(wide.data(), c.n, c.from, c.to, c.ignore_case);
    EXPECT_EQ(wide, W(c.expected));
  }
  replace_char_buffer(nullptr, 5, 'a', 'b', true);
  replace_char_buffer_wide(nullptr, 5, L'a', L'b', true);
}

struct RemoveCharCase {
  const char* name;
  std::string text;
  char c;
  std::string without;
  int count;
};

TEST(RemoveChar, CountRemoveAndStrippedCopy) {
  const RemoveCharCase cases[] = {
      {"scattered", "a:b:c:", ':', "abc", 3},
      {"only that character", ":::", ':', "", 3},
      {"absent", "abc", 'x', "abc", 0},
      {"empty text", "", ':', "", 0},
      {"NUL characters", std::string("a\0b\0", 4), '\0', "ab", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(count_char(c.text, c.c), c.count);
    // A copy that would come out empty is the text itself.
    EXPECT_EQ(strip_char_copy(c.text, c.c), c.without.empty() ? c.text : c.without);
    std::string narrow = c.text;
    EXPECT_EQ(remove_char(narrow, c.c), c.count);
    EXPECT_EQ(narrow, c.without);
    std::wstring wide = W(c.text);
    EXPECT_EQ(remove_char_wide(wide, c.c), c.count);
    EXPECT_EQ(wide, W(c.without));
  }
}

struct InsertCase {
  const char* name;
  std::string text;
  char c, ins;
  std::string expected;
};

TEST(InsertCharBefore, NarrowAndWide) {
  const InsertCase cases[] = {
      {"quotes escaped", "a\"b\"", '"', '\\', "a\\\"b\\\"", },
      {"at both ends", ",x,", ',', ';', ";,x;,"},
      {"inserted equals target", "a|b", '|', '|', "a||b"},
      {"absent", "abc", '"', '\\', "abc"},
      {"empty", "", '"', '\\', ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string narrow = c.text;
    insert_char_before(narrow, c.c, c.ins);
    EXPECT_EQ(narrow, c.expected);
    std::wstring wide = W(c.text);
    insert_char_before_wide(wide, c.c, c.ins);
    EXPECT_EQ(wide, W(c.expected));
  }
}

struct EscapeCase {
  const char* name;
  std::string text, set, expected;
};

TEST(BackslashEscapeChars, NarrowAndWide) {
  const EscapeCase cases[] = {
      {"each member of the set", "a.b*c.", ".*", "a\\.b\\*c\\."},
      {"backslash in the set is doubled", "a\\b", "\\", "a\\\\b"},
      {"empty set", "a.b", "", "a.b"},
      {"nothing in the set", "abc", "|", "abc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string narrow = c.text;
    backslash_escape_chars(narrow, c.set);
    EXPECT_EQ(narrow, c.expected);
    std::wstring wide = W(c.text);
    backslash_escape_chars_wide(wide, W(c.set));
    EXPECT_EQ(wide, W(c.expected));
  }
}

// ---- Strings ----

struct ReplaceAllCase {
  const char* name;
  std::string text, from, to, expected;
};

TEST(ReplaceAll, InPlaceAndCopy) {
  const ReplaceAllCase cases[] = {
      {"non-overlapping, left to right", "aaa", "aa", "b", "ba"},
      {"every occurrence", "a,b,,c", ",", ";", "a;b;;c"},
      {"removed with an empty to", "x--y--", "--", "", "xy"},
      {"to contains from", "aa", "a", "aaa", "aaaaaa"},
      {"empty from", "abc", "", "z", "abc"},
      {"empty text", "", "a", "b", ""},
      {"absent", "abc", "d", "e", "abc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = c.text;
    EXPECT_EQ(replace_all(text, c.from, c.to), c.expected);
    EXPECT_EQ(text, c.expected);

    std::string out = "stale";
    EXPECT_EQ(replace_all_copy(out, c.text, c.from, c.to), c.expected);
    EXPECT_EQ(out, c.expected);

    std::string same = c.text;
    replace_all_copy(same, same, c.from, c.to);
    EXPECT_EQ(same, c.expected);
  }
}

struct ReplacePairsCase {
  const char* name;
  std::string text;
  std::vector<std::string> from, to;
  std::string expected;
};

TEST(ReplaceAllPairs, AppliedInOrderOnlyWhenListsMatch) {
  const ReplacePairsCase cases[] = {
      {"in order", "abc", {"a", "b"}, {"b", "c"}, "ccc"},
      {"one pair", "x&y", {"&"}, {"&amp;"}, "x&amp;y"},
      {"lengths differ", "abc", {"a", "b"}, {"z"}, "abc"},
      {"empty lists", "abc", {}, {}, "abc"},
      {"empty text", "", {"a"}, {"b"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = c.text;
    EXPECT_EQ(replace_all_pairs(text, c.from, c.to), c.expected);
  }
}

struct FirstCase {
  const char* name;
  std::string text, what;
  bool ignore_case;
  bool found;
  std::string replaced;   // with "<>" put in place of the first match
  std::string erased;     // the first match taken out
  std::string truncated;  // cut at the first match
  std::string what_after;  // search text after replace_first / erase_first
};

TEST(FirstOccurrence, ReplaceEraseTruncate) {
  const FirstCase cases[] = {
      {"any case", "Hello World", "WORLD", true, true, "Hello <>", "Hello ", "Hello ", "world"},
      {"exact case misses", "Hello World", "WORLD", false, false, "Hello World", "Hello World",
       "Hello World", "WORLD"},
      {"first of several", "abab", "b", false, true, "a<>ab", "aab", "a", "b"},
      {"at the start", "two three", "two ", false, true, "<>three", "three", "", "two "},
      {"longer than text", "ab", "abc", true, false, "ab", "ab", "ab", "abc"},
      // An empty search text matches nothing: cutting there would lose the whole text.
      {"empty what", "abc", "", true, false, "abc", "abc", "abc", ""},
      {"empty what and text", "", "", false, false, "", "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::string text = c.text, what = c.what;
      EXPECT_EQ(replace_first(text, what, "<>", c.ignore_case), c.found);
      EXPECT_EQ(text, c.replaced);
      EXPECT_EQ(what, c.what_after);
      std::wstring wtext = W(c.text), wwhat = W(c.what);
      EXPECT_EQ(replace_first_wide(wtext, wwhat, L"<>", c.ignore_case), c.found);
      EXPECT_EQ(wtext, W(c.replaced));
      EXPECT_EQ(wwhat, W(c.what_after));
    }
    {
      std::string text = c.text, what = c.what;
      EXPECT_EQ(erase_first(text, what, c.ignore_case), c.found);
      EXPECT_EQ(text, c.erased);
      EXPECT_EQ(what, c.what_after);
      std::wstring wtext = W(c.text), wwhat = W(c.what);
      EXPECT_EQ(erase_first_wide(wtext, wwhat, c.ignore_case), c.found);
      EXPECT_EQ(wtext, W(c.erased));
    }
    {
      std::string text = c.text;
      EXPECT_EQ(truncate_at(text, c.what, c.ignore_case), c.found);
      EXPECT_EQ(text, c.truncated);
      std::wstring wtext = W(c.text);
      EXPECT_EQ(truncate_at_wide(wtext, W(c.what), c.ignore_case), c.found);
      EXPECT_EQ(wtext, W(c.truncated));
    }
    {
      std::vector<char> buffer(c.text.begin(), c.text.end());
      buffer.push_back('\0');
      EXPECT_EQ(erase_first_buffer(buffer.data(), c.what.c_str(), c.ignore_case), c.found);
      EXPECT_STREQ(buffer.data(), c.erased.c_str());
      std::wstring wtext = W(c.text);
      std::vector<wchar_t> wbuffer(wtext.begin(), wtext.end());
      wbuffer.push_back(L'\0');
      EXPECT_EQ(erase_first_wbuffer(wbuffer.data(), W(c.what).c_str(), c.ignore_case), c.found);
      EXPECT_STREQ(wbuffer.data(), W(c.erased).c_str());
    }
  }
}

TEST(FirstOccurrence, CaseFoldingLeavesOtherBytesAndTheCallersTextAlone) {
  // Only ASCII letters fold; the replacement goes into the text as it was written.
  std::string text = "\xC3\x84 Program FILES";
  std::string from = "files";
  EXPECT_TRUE(replace_first(text, from, "Data", true));
  EXPECT_EQ(text, "\xC3\x84 Program Data");

  std::string what = "FILES";
  std::string cut = "Program Files";
  EXPECT_TRUE(truncate_at(cut, what, true));
  EXPECT_EQ(cut, "Program ");
  EXPECT_EQ(what, "FILES");

  std::string eq = "a=b=c";
  EXPECT_TRUE(truncate_at_char(eq, '=', false));
  EXPECT_EQ(eq, "a");
  std::string upper = "aXb";
  EXPECT_TRUE(truncate_at_char(upper, 'x', true));
  EXPECT_EQ(upper, "a");
}

TEST(FirstOccurrence, CStringAndBufferForms) {
  std::string text = "path\\SystemRoot\\x";
  EXPECT_TRUE(replace_first_cstr(text, "systemroot", "C:\\Windows"));
  EXPECT_EQ(text, "path\\C:\\Windows\\x");
  EXPECT_FALSE(replace_first_cstr(text, nullptr, "x"));
  EXPECT_FALSE(replace_first_cstr(text, "x", nullptr));

  char buffer[] = "one two three";
  EXPECT_FALSE(erase_first_buffer(nullptr, "two", false));
  EXPECT_FALSE(erase_first_buffer(buffer, nullptr, false));
  EXPECT_STREQ(buffer, "one two three");
  EXPECT_FALSE(erase_first_wbuffer(nullptr, L"two", false));
}

TEST(FirstOccurrence, WideBufferKeepsCharactersBeyondAscii) {
  // Written back one UTF-8 byte per wide character, these would turn into garbage.
  wchar_t buffer[] = L"Gr\u00FC\u00DFe AUS K\u00F6ln \U0001F600";
  EXPECT_TRUE(erase_first_wbuffer(buffer, L"aus ", true));
  EXPECT_STREQ(buffer, L"Gr\u00FC\u00DFe K\u00F6ln \U0001F600");
  EXPECT_TRUE(erase_first_wbuffer(buffer, L"K\u00F6ln", false));
  EXPECT_STREQ(buffer, L"Gr\u00FC\u00DFe  \U0001F600");
}

// ---- Buffers ----

// A new[] buffer holding bytes, as remove_all_from_buffer requires.
char* new_buffer(const std::string& bytes) {
  char* buf = new char[bytes.size() ? bytes.size() : 1];
  std::memcpy(buf, bytes.data(), bytes.size());
  return buf;
}

struct RemoveAllCase {
  const char* name;
  std::string input;
  const char* what;
  bool ignore_case;
  std::string expected;
};

TEST(RemoveAllFromBuffer, RemovesEveryOccurrence) {
  const RemoveAllCase cases[] = {
      {"scattered", "abcXYdXY", "XY", false, "abcd"},
      {"any case", "abcxYdXy", "XY", true, "abcd"},
      {"exact case keeps other case", "abcxYdXY", "XY", false, "abcxYd"},
      {"adjacent", "XYXYXY", "XY", false, ""},
      {"tail shorter than what", "aXYX", "XY", false, "aX"},
      {"NUL bytes pass through", std::string("a\0XYb\0", 6), "XY", true, std::string("a\0b\0", 4)},
      {"single byte", "a.b.c", ".", false, "abc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    char* buf = new_buffer(c.input);
    u32 len = static_cast<u32>(c.input.size());
    EXPECT_TRUE(remove_all_from_buffer(&buf, &len, c.what, c.ignore_case));
    EXPECT_EQ(std::string(buf, len), c.expected);
    delete[] buf;
  }
}

TEST(RemoveAllFromBuffer, NothingChangesWhenNothingIsRemovedOrInputIsBad) {
  struct {
    const char* name;
    const char* what;
    u32 len;  // 0: the buffer's own length
    bool result;
  } cases[] = {
      {"absent", "zz", 0, true},
      {"longer than the buffer", "abcdefg", 0, true},
      {"first byte matches, rest does not", "xz", 0, true},
      // An empty what matches without consuming a byte; it must not loop forever.
      {"empty what", "", 0, false},
      {"null what", nullptr, 0, false},
  };
  const std::string input = std::string("xy\0Z", 4);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    char* buf = new_buffer(input);
    char* const original = buf;
    u32 len = c.len ? c.len : static_cast<u32>(input.size());
    EXPECT_EQ(remove_all_from_buffer(&buf, &len, c.what, true), c.result);
    EXPECT_EQ(buf, original);
    EXPECT_EQ(std::string(buf, len), input);
    delete[] buf;
  }
  char* buf = new_buffer("abc");
  u32 len = 0;
  EXPECT_FALSE(remove_all_from_buffer(&buf, &len, "a", false));
  EXPECT_EQ(len, 0u);
  delete[] buf;
  char* null_buf = nullptr;
  len = 3;
  EXPECT_FALSE(remove_all_from_buffer(&null_buf, &len, "a", false));
  EXPECT_FALSE(remove_all_from_buffer(nullptr, &len, "a", false));
}

struct TaggedCase {
  const char* name;
  std::string input;
  const char* tag;
  std::string expected;
};

TEST(RemoveTaggedSections, CutsSections) {
  const TaggedCase cases[] = {
      {"section with closing tag", "x<script>alert()</script>y", "script", "xy"},
      {"self-closing tag", "x<script src=a/>y123456789", "script", "xy123456789"},
      {"any case", "ab<SCRIPT>1</script>cdefghijkl", "script", "abcdefghijkl"},
      {"two sections", "<b>1</b>-<b>2</b>-tail", "b", "--tail"},
      {"closing tag ends any nesting", "a<script>if(a<b){}</script>z", "script", "az"},
      {"/> inside nested tag does not end it", "a<script><br/>x</script>b", "script", "ab"},
      {"longer name opens too", "a<scripts>b</script>cdefghijkl", "script", "acdefghijkl"},
      {"no section", "plain <p>text</p> here", "script", "plain <p>text</p> here"},
      // The bytes after the last point where a closing tag could still start stay.
      {"unclosed section keeps its tail", "a<script>1234567890", "script", "a34567890"},
      {"short buffer copied", "<scr", "script", "<scr"},
      // A "/" as the very last byte: the byte after it lies outside the buffer.
      {"slash at the end", "ab<scriptx/", "script", "ab"},
      {"everything removed", "<script>1</script>", "script", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Exactly sized, so a read past the end shows under the address sanitizer.
    std::vector<u8> buf(c.input.begin(), c.input.end());
    u32 len = static_cast<u32>(buf.size());
    EXPECT_TRUE(remove_tagged_sections(buf.data(), &len, c.tag));
    ASSERT_LE(len, buf.size());
    EXPECT_EQ(std::string(buf.begin(), buf.begin() + len), c.expected);
  }
}

TEST(RemoveTaggedSections, RejectsBadInput) {
  u8 bytes[] = {'<', 'b', '>', 'x'};
  u32 len = 4;
  EXPECT_FALSE(remove_tagged_sections(nullptr, &len, "b"));
  EXPECT_FALSE(remove_tagged_sections(bytes, &len, nullptr));
  u32 zero = 0;
  EXPECT_FALSE(remove_tagged_sections(bytes, &zero, "b"));
  EXPECT_EQ(len, 4u);
}

// ---- Words and lists ----

struct WordCase {
  const char* name;
  std::string text;
  bool found;
  std::string word, rest;
};

TEST(FirstWord, TakesTheFirstRunOfNonSpace) {
  const WordCase cases[] = {
      {"leading blanks", "  alpha beta", true, "alpha", "   beta"},
      {"single word", "alpha", true, "alpha", ""},
      {"tab and line end", "\tone\ntwo", true, "one", "\t\ntwo"},
      {"word repeated later", "ab cab ab", true, "ab", " cab ab"},
      // No word at all: the caller must not see a word left from an earlier call.
      {"only white space", " \t\r\n", false, "", " \t\r\n"},
      {"empty", "", false, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string word = "stale";
    EXPECT_EQ(first_word(c.text, word), c.found);
    EXPECT_EQ(word, c.word);
    std::string text = c.text;
    word = "stale";
    EXPECT_EQ(remove_first_word(text, word), c.found);
    EXPECT_EQ(word, c.word);
    EXPECT_EQ(text, c.rest);
  }
}

TEST(RemoveEqualsEscapes, DropsMarkersAndKeepsWhatFollows) {
  struct {
    const char* name;
    std::string text, expected;
  } cases[] = {
      {"one escape", "a=41b", "a41b"},
      {"escapes back to back", "=3D=20", "3D20"},
      {"escaped = is not examined", "==x=", "=x"},
      // A marker near the end keeps what follows it.
      {"one character after the last =", "ab=4", "ab4"},
      {"= at the very end", "ab=", "ab"},
      {"no marker", "plain", "plain"},
      {"empty", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "stale";
    EXPECT_EQ(remove_equals_escapes(out, c.text), c.expected);
    std::string same = c.text;
    remove_equals_escapes(same, same);
    EXPECT_EQ(same, c.expected);
  }
}

TEST(StringListDifference, SortedAppendWithDuplicates) {
  struct {
    const char* name;
    std::vector<std::string> a, b;
    bool ignore_case;
    std::vector<std::string> expected;
  } cases[] = {
      {"duplicates kept, sorted", {"b", "a", "b", "c"}, {"c"}, false, {"x", "a", "b", "b"}},
      {"every copy of a removed entry goes", {"b", "a", "b"}, {"b"}, false, {"x", "a"}},
      {"any case, lower-cased", {"B", "a", "C"}, {"c"}, true, {"x", "a", "b"}},
      {"exact case", {"B", "a", "C"}, {"c"}, false, {"x", "B", "C", "a"}},
      {"byte order", {"\xC3\x84", "b", "B"}, {}, false, {"x", "B", "b", "\xC3\x84"}},
      {"nothing left", {"a"}, {"a"}, false, {"x"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> out = {"x"};  // appended to, not replaced
    EXPECT_TRUE(string_list_difference(c.a, c.b, &out, c.ignore_case));
    EXPECT_EQ(out, c.expected);
  }
  EXPECT_FALSE(string_list_difference({"a"}, {}, nullptr, false));
}

TEST(TakePrefixedEntryWide, MovesTheFirstMatch) {
  struct {
    const char* name;
    const char* prefix;
    std::vector<std::wstring> list;
    bool found;
    std::wstring out;
    std::vector<std::wstring> left;
  } cases[] = {
      {"any case, first match", "Ab", WL({"x", "abc", "ABd"}), true, L"abc", WL({"x", "ABd"})},
      {"empty prefix takes the first", "", WL({"x", "y"}), true, L"x", WL({"y"})},
      {"whole entry", "y", WL({"x", "y"}), true, L"y", WL({"x"})},
      {"no match", "z", WL({"x", "y"}), false, L"", WL({"x", "y"})},
      {"empty list", "", {}, false, L"", {}},
      {"prefix beyond ASCII", "\xC3\xBC", {L"x", L"\u00FCber"}, true, L"\u00FCber", {L"x"}},
      // Not UTF-8: it must not act as the empty prefix and take any entry.
      {"malformed prefix", "\xC3(", WL({"x"}), false, L"", WL({"x"})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::wstring out = L"stale";
    auto list = c.list;
    EXPECT_EQ(take_prefixed_entry_wide(c.prefix, out, list), c.found);
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(list, c.left);
  }
  std::wstring out;
  std::vector<std::wstring> list = {L"x"};
  EXPECT_FALSE(take_prefixed_entry_wide(nullptr, out, list));
  EXPECT_EQ(list.size(), 1u);
}

// ---- Output streams ----

struct BackUpCase {
  const char* name;
  std::string initial;
  int n;
  bool truncate;
  bool result;
  std::string then_write, expected;
};

TEST(StreamBackUp, NarrowAndWide) {
  const BackUpCase cases[] = {
      {"cut the separator", "ab, ", 2, true, true, "", "ab"},
      {"cut, then write at the end", "ab, ", 2, true, true, "!", "ab!"},
      {"more than was written", "ab, ", 10, true, true, "", ""},
      {"no cut keeps the text", "ab, ", 2, false, true, "", "ab, "},
      {"no cut, next write overwrites", "ab, ", 2, false, true, "X", "abX "},
      {"n is 0", "ab", 0, true, true, "c", "abc"},
      // A NUL before the new position is part of the text, not its end.
      {"NUL inside the kept text", std::string("a\0bc", 4), 1, true, true, "",
       std::string("a\0b", 3)},
      {"negative n", "ab", -1, true, false, "", "ab"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream narrow;
    narrow << c.initial;
    EXPECT_EQ(stream_back_up(narrow, c.n, c.truncate), c.result);
    narrow << c.then_write;
    EXPECT_EQ(narrow.str(), c.expected);

    std::wostringstream wide;
    wide << W(c.initial);
    EXPECT_EQ(stream_back_up_wide(wide, c.n, c.truncate), c.result);
    wide << W(c.then_write);
    EXPECT_EQ(wide.str(), W(c.expected));
  }
}

TEST(StreamSeekBack, PositionsAndFailedStreams) {
  std::ostringstream os;
  os << "abcdef";
  EXPECT_EQ(stream_put_position(os), 6u);
  EXPECT_TRUE(stream_seek_back(os, 4));
  EXPECT_EQ(stream_put_position(os), 2u);
  EXPECT_TRUE(stream_seek_back(os, 9));
  EXPECT_EQ(stream_put_position(os), 0u);
  os << "XY";
  EXPECT_EQ(os.str(), "XYcdef");

  std::wostringstream wide;
  wide << L"abc";
  EXPECT_TRUE(stream_seek_back_wide(wide, 1));
  wide << L"Z";
  EXPECT_EQ(wide.str(), L"abZ");

  std::ostringstream failed;
  failed << "abc";
  failed.setstate(std::ios_base::failbit);
  EXPECT_FALSE(stream_seek_back(failed, 1));
  EXPECT_FALSE(stream_back_up(failed, 1, true));
  EXPECT_EQ(stream_put_position(failed), 0u);
}

}  // namespace
