#include "framework/text/qz_search.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<u8> bytes_of(const std::string& text) { return std::vector<u8>(text.begin(), text.end()); }

// Every non-overlapping match, found the slowest obvious way.
std::vector<u64> naive_matches(const std::vector<u8>& hay, const std::vector<u8>& needle, u64 base,
                               bool first_only) {
  std::vector<u64> found;
  if (needle.empty() || needle.size() > hay.size()) return found;
  for (size_t i = 0; i + needle.size() <= hay.size();) {
    if (std::equal(needle.begin(), needle.end(), hay.begin() + static_cast<std::ptrdiff_t>(i))) {
      found.push_back(base + i);
      if (first_only) break;
      i += needle.size();
    } else {
      ++i;
    }
  }
  return found;
}

struct pattern_case {
  const char* name;
  std::string hay;
  std::string pattern;
  u64 base;
  bool first_only;
  std::vector<u64> expected;
};

TEST(SearchBytes, BothMethodsRecordTheSameNonOverlappingMatches) {
  const pattern_case cases[] = {
      {"ab over ababab", "ababab", "ab", 0, false, {0, 2, 4}},
      {"aa over aaaa does not overlap", "aaaa", "aa", 0, false, {0, 2}},
      {"aa over aaa", "aaa", "aa", 0, false, {0}},
      {"pattern equal to buffer", "hello", "hello", 0, false, {0}},
      {"at start", "needle in hay", "needle", 0, false, {0}},
      {"at end", "hay with needle", "needle", 0, false, {9}},
      {"absent", "haystack", "needle", 0, false, {}},
      {"longer than haystack", "abc", "abcd", 0, false, {}},
      {"one byte pattern", "xaxxa", "a", 0, false, {1, 4}},
      {"first only", "ababab", "ab", 0, true, {0}},
      {"base added", "..ab..ab", "ab", 1000, false, {1002, 1006}},
      {"near miss then match", "abcabdabc", "abd", 0, false, {3}},
      {"nul bytes inside", std::string("a\0b\0a\0b", 7), std::string("\0b", 2), 0, false, {1, 5}},
  };
  for (const auto& c : cases) {
    for (bool skip : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (skip ? " (skip table)" : " (plain)"));
      const auto hay = bytes_of(c.hay);
      const auto pat = bytes_of(c.pattern);
      std::vector<u64> offsets = {77};  // must be emptied
      const bool found = search_bytes(hay.data(), static_cast<u32>(hay.size()), pat.data(),
                                      static_cast<u32>(pat.size()), &offsets, c.base, skip,
                                      c.first_only);
      EXPECT_EQ(c.expected, offsets);
      EXPECT_EQ(!c.expected.empty(), found);
    }
  }
}

TEST(SearchBytes, RejectsNullAndEmptyArguments) {
  const u8 hay[] = {'a', 'b'};
  const u8 pat[] = {'a'};
  struct bad_case {
    const char* name;
    const u8* buf;
    u32 len;
    const u8* pattern;
    u32 plen;
  };
  const bad_case cases[] = {
      {"null buffer", nullptr, 2, pat, 1},
      {"zero length", hay, 0, pat, 1},
      {"null pattern", hay, 2, nullptr, 1},
      {"empty pattern", hay, 2, pat, 0},
      {"pattern longer", hay, 1, hay, 2},
  };
  for (const auto& c : cases) {
    for (bool skip : {false, true}) {
      SCOPED_TRACE(c.name);
      std::vector<u64> offsets = {1};
      EXPECT_FALSE(search_bytes(c.buf, c.len, c.pattern, c.plen, &offsets, 0, skip, false));
      EXPECT_TRUE(offsets.empty());
    }
  }
}

// The skip table moves the window by varying amounts; a wrong shift skips a match somewhere.
// Every haystack over a two-letter alphabet up to 12 bytes against every needle up to 4 bytes.
TEST(SearchBytes, SkipTableAgreesWithNaiveSearchOnEverySmallInput) {
  auto spell = [](unsigned bits, unsigned length) {
    std::vector<u8> out(length);
    for (unsigned i = 0; i < length; ++i) out[i] = (bits >> i) & 1 ? 'b' : 'a';
    return out;
  };
  for (unsigned nlen = 1; nlen <= 4; ++nlen) {
    for (unsigned nbits = 0; nbits < (1u << nlen); ++nbits) {
      const auto needle = spell(nbits, nlen);
      for (unsigned hlen = nlen; hlen <= 12; ++hlen) {
        for (unsigned hbits = 0; hbits < (1u << hlen); ++hbits) {
          const auto hay = spell(hbits, hlen);
          std::vector<u64> offsets;
          search_bytes(hay.data(), hlen, needle.data(), nlen, &offsets, 0, true, false);
          ASSERT_EQ(naive_matches(hay, needle, 0, false), offsets)
              << std::string(hay.begin(), hay.end()) << " / "
              << std::string(needle.begin(), needle.end());
        }
      }
    }
  }
}

TEST(HorspoolFind, ReportsFirstOffsetAtOrAfterStart) {
  const auto hay = bytes_of("xxabcxxabc");
  const auto pat = bytes_of("abc");
  horspool_table table;
  build_horspool_table(table, pat.data(), 3);
  EXPECT_EQ(2u, horspool_find(hay.data(), hay.size(), pat.data(), 3));
  EXPECT_EQ(2u, horspool_find(table, hay.data(), hay.size(), pat.data(), 3, 2));
  EXPECT_EQ(7u, horspool_find(table, hay.data(), hay.size(), pat.data(), 3, 3));
  EXPECT_EQ(bytes_not_found, horspool_find(table, hay.data(), hay.size(), pat.data(), 3, 8));
  EXPECT_EQ(bytes_not_found, horspool_find(table, hay.data(), hay.size(), pat.data(), 3, 99));
  EXPECT_EQ(bytes_not_found, horspool_find(hay.data(), hay.size(), pat.data(), 0));
  EXPECT_EQ(bytes_not_found, horspool_find(nullptr, 5, pat.data(), 3));
}

TEST(HorspoolFind, SkipTableHoldsDistanceFromLastOccurrenceToEnd) {
  const auto pat = bytes_of("abca");
  horspool_table table;
  build_horspool_table(table, pat.data(), 4);
  EXPECT_EQ(3u, table.shift[u8('a')]);  // the last byte does not count; the first a does
  EXPECT_EQ(2u, table.shift[u8('b')]);
  EXPECT_EQ(1u, table.shift[u8('c')]);
  EXPECT_EQ(4u, table.shift[u8('z')]);
}

TEST(FindBytes, FirstAndAllWrappers) {
  const auto hay = bytes_of("01234ab89ab");
  const auto pat = bytes_of("ab");
  for (bool skip : {false, true}) {
    SCOPED_TRACE(skip ? "skip table" : "plain");
    u64 out = 42;
    EXPECT_TRUE(find_bytes_first(hay.data(), static_cast<u32>(hay.size()), pat, &out, 100, skip));
    EXPECT_EQ(105u, out);

    out = 42;
    EXPECT_FALSE(find_bytes_first(hay.data(), static_cast<u32>(hay.size()), bytes_of("zz"), &out,
                                  100, skip));
    EXPECT_EQ(42u, out) << "left unchanged when absent";
    EXPECT_FALSE(find_bytes_first(hay.data(), static_cast<u32>(hay.size()), {}, &out, 0, skip));
    EXPECT_FALSE(find_bytes_first(hay.data(), 0, pat, &out, 0, skip));

    out = 42;
    EXPECT_TRUE(find_bytes_first_ptr(hay.data(), static_cast<u32>(hay.size()), pat.data(), 2, &out,
                                     skip));
    EXPECT_EQ(5u, out);
    EXPECT_FALSE(find_bytes_first_ptr(hay.data(), static_cast<u32>(hay.size()),
                                      bytes_of("q").data(), 1, &out, skip));
    EXPECT_EQ(0u, out) << "zeroed when absent";

    std::vector<u64> offsets = {1, 2, 3};
    EXPECT_TRUE(find_bytes_all(hay.data(), static_cast<u32>(hay.size()), pat, &offsets, 10, skip));
    EXPECT_EQ((std::vector<u64>{15, 19}), offsets);
    EXPECT_FALSE(find_bytes_all(hay.data(), static_cast<u32>(hay.size()), {}, &offsets, 0, skip));
    EXPECT_TRUE(offsets.empty());
  }
}

// Filling the buffer with the pattern everywhere makes the recorded offsets the tested positions.
TEST(SearchBytesAligned, TestsThePositionsGivenByRunAndAlign) {
  struct aligned_case {
    const char* name;
    u32 len;
    u32 run;
    u32 align;
    bool first_only;
    std::vector<u64> expected;
  };
  const aligned_case cases[] = {
      {"run 0 align 4", 13, 0, 4, false, {0, 4, 8, 12}},
      {"run 2 align 16", 40, 2, 16, false, {0, 1, 16, 17, 32, 33}},
      {"run equal to align tests everything", 5, 3, 3, false, {0, 1, 2, 3, 4}},
      {"align 1", 4, 0, 1, false, {0, 1, 2, 3}},
      {"first only", 40, 2, 16, true, {0}},
      {"align beyond the buffer", 10, 0, 64, false, {0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<u8> buf(c.len, 'a');
    const u8 pat = 'a';
    std::vector<u64> offsets;
    EXPECT_TRUE(search_bytes_aligned(&offsets, buf.data(), c.len, &pat, 1, c.run, c.align,
                                     c.first_only));
    EXPECT_EQ(c.expected, offsets);
  }
}

TEST(SearchBytesAligned, AppendsAndStopsAtLastWholeWindow) {
  const auto buf = bytes_of("abxxabxxab");
  const auto pat = bytes_of("ab");
  std::vector<u64> offsets = {99};
  EXPECT_TRUE(search_bytes_aligned(&offsets, buf.data(), 10, pat.data(), 2, 0, 4, false));
  EXPECT_EQ((std::vector<u64>{99, 0, 4, 8}), offsets);

  offsets.clear();
  EXPECT_FALSE(search_bytes_aligned(&offsets, buf.data(), 10, pat.data(), 2, 0, 0, false));
  EXPECT_FALSE(search_bytes_aligned(&offsets, buf.data(), 1, pat.data(), 2, 0, 4, false));
  const auto gap = bytes_of("xx");
  EXPECT_FALSE(search_bytes_aligned(&offsets, buf.data(), 10, gap.data(), 2, 1, 5, false))
      << "xx lies at 2 and 6, between the tested positions 0 and 5";
  EXPECT_TRUE(search_bytes_aligned(&offsets, buf.data(), 10, gap.data(), 2, 1, 3, false));
  EXPECT_EQ((std::vector<u64>{6}), offsets);
}

// Positions past 2^32 must not wrap back to the start of the buffer (an endless search).
// The 3 GiB buffer is reserved, not filled: untouched pages read as zero and cost nothing.
TEST(SearchBytesAligned, NextAlignedPositionBeyond32BitsEndsTheSearch) {
  const u32 len = 0xC0000000u;
  void* area = mmap(nullptr, len, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (area == MAP_FAILED) GTEST_SKIP() << "cannot reserve 3 GiB of address space";
  const u8 zero = 0;
  std::vector<u64> offsets;
  EXPECT_TRUE(search_bytes_aligned(&offsets, static_cast<const u8*>(area), len, &zero, 1, 0,
                                   0x80000001u, false));
  EXPECT_EQ((std::vector<u64>{0, 0x80000001u}), offsets);
  munmap(area, len);
}

TEST(FindAllPositions, NonOverlappingMatchesInBothModes) {
  struct Case {
    std::string text, pattern;
    std::vector<u32> all;
  };
  const Case cases[] = {
      {"ababab", "ab", {0, 2, 4}}, {"aaaa", "aa", {0, 2}}, {"xyz", "q", {}}, {"ab", "abc", {}}};
  for (const auto& c : cases) {
    for (const bool skip_table : {false, true}) {
      std::vector<u32> positions = {99};
      const bool found =
          find_all_positions(reinterpret_cast<const u8*>(c.text.data()), u32(c.text.size()),
                             reinterpret_cast<const u8*>(c.pattern.data()), u32(c.pattern.size()),
                             positions, skip_table, false);
      EXPECT_EQ(found, !c.all.empty()) << c.text;
      EXPECT_EQ(positions, c.all) << c.text << " skip table " << skip_table;
      find_all_positions(reinterpret_cast<const u8*>(c.text.data()), u32(c.text.size()),
                         reinterpret_cast<const u8*>(c.pattern.data()), u32(c.pattern.size()),
                         positions, skip_table, true);
      EXPECT_EQ(positions.size(), c.all.empty() ? 0u : 1u) << c.text;
    }
  }
  std::vector<u32> positions;
  EXPECT_FALSE(find_all_positions(nullptr, 4, reinterpret_cast<const u8*>("a"), 1, positions,
                                  false, false));
}

TEST(FindPatternsAligned, TestsBlockStartsOrLeadingRunsAndAlwaysAdvances) {
  std::vector<u8> buffer(2048, 0);
  std::vector<std::vector<u8>> patterns = {{7}};
  for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = 7;
  std::vector<u64> positions;
  std::vector<u32> which;
  EXPECT_TRUE(find_patterns_aligned(positions, which, buffer.data(), 2048, patterns, 0, 512, false));
  EXPECT_EQ(positions, (std::vector<u64>{0, 512, 1024, 1536}));
  EXPECT_TRUE(find_patterns_aligned(positions, which, buffer.data(), 1024, patterns, 16, 512, false));
  std::vector<u64> expected;
  for (u64 block : {0, 512})
    for (u64 k = 0; k < 16; ++k) expected.push_back(block + k);
  EXPECT_EQ(positions, expected);
  // A run that does not divide the alignment: after 8 the scan goes on at 12, not at 8 again.
  EXPECT_TRUE(find_patterns_aligned(positions, which, buffer.data(), 16, patterns, 3, 4, false));
  EXPECT_EQ(positions, (std::vector<u64>{0, 1, 2, 4, 5, 8, 12, 13, 14}));
  EXPECT_EQ(next_aligned_position(8, 3, 4), 12u);
  EXPECT_EQ(next_aligned_position(0, 1, 4), 4u);
}

TEST(FindPatternsAligned, FirstFittingPatternInListOrder) {
  const std::vector<u8> buffer = {'a', 'b', 'c', 'd', 'a', 'b', 'x', 'y', 'a'};
  const std::vector<std::vector<u8>> patterns = {{}, {'a', 'b', 'c'}, {'a', 'b'}, {'a'}};
  std::vector<u64> positions = {5};
  std::vector<u32> which = {5};
  EXPECT_TRUE(find_patterns_aligned(positions, which, buffer.data(), i32(buffer.size()), patterns,
                                    0, 4, false));
  EXPECT_EQ(positions, (std::vector<u64>{0, 4, 8}));
  EXPECT_EQ(which, (std::vector<u32>{1, 2, 3}));
  EXPECT_TRUE(find_patterns_aligned(positions, which, buffer.data(), i32(buffer.size()), patterns,
                                    0, 4, true));
  EXPECT_EQ(which, (std::vector<u32>{1}));
  EXPECT_FALSE(find_patterns_aligned(positions, which, buffer.data(), 9, {{'q'}}, 0, 1, false));
  EXPECT_FALSE(find_patterns_aligned(positions, which, buffer.data(), 9, patterns, 0, 0, false));
  EXPECT_FALSE(find_patterns_aligned(positions, which, nullptr, 9, patterns, 0, 4, false));
  EXPECT_FALSE(find_patterns_aligned(positions, which, buffer.data(), 9, {}, 0, 4, false));
  EXPECT_TRUE(positions.empty());
}

TEST(FindTextInBytes, FindsFirstOccurrencePlusBase) {
  struct text_case {
    const char* name;
    std::string buf;
    std::string text;
    bool found;
    u64 out;
  };
  const text_case cases[] = {
      {"middle", "xxhello hello", "hello", true, 52},
      {"start", "hello", "hello", true, 50},
      {"absent", "hello", "world", false, 0},
      {"longer than buffer", "he", "hello", false, 0},
      {"empty text found at start", "abc", "", true, 50},
      {"empty buffer", "", "a", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    u64 out = 7;
    EXPECT_EQ(c.found, find_text_in_bytes(&out, bytes_of(c.buf), c.text, 50));
    EXPECT_EQ(c.out, out);
  }
}

TEST(ContainsInOrder, SecondMustFollowTheEndOfFirst) {
  struct order_case {
    const char* name;
    std::string buf, first, second;
    bool expected;
  };
  const order_case cases[] = {
      {"a then Y", "XaYb", "a", "Y", true},
      {"Y then a", "XaYb", "Y", "a", false},
      {"second overlapping first does not count", "abc", "ab", "bc", false},
      {"second right after first", "abbc", "ab", "bc", true},
      {"first absent", "abc", "z", "c", false},
      {"empty first", "abc", "", "c", true},
      {"empty second", "abc", "b", "", true},
      {"both empty", "abc", "", "", false},
      {"empty buffer", "", "a", "", false},
      {"buffer shorter than second", "ab", "a", "abc", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.expected, contains_in_order(bytes_of(c.buf), bytes_of(c.first), bytes_of(c.second)));
  }
}

TEST(RfindBytesInTail, FindsHighestMatchInsideTheWindow) {
  struct tail_case {
    const char* name;
    std::string buf, pattern;
    u32 window;
    bool found;
    u64 out;
  };
  const tail_case cases[] = {
      {"ends exactly at the end", "xxxxEND", "END", 3, true, 4},
      {"highest of two", "ENDxEND", "END", 7, true, 4},
      {"earlier one only", "ENDxxxx", "END", 7, true, 0},
      {"outside the window", "ENDxxxx", "END", 6, false, 0},
      {"window wider than buffer", "ENDxx", "END", 1000, true, 0},
      {"window narrower than pattern", "xxEND", "END", 2, false, 0},
      {"pattern equal to buffer", "END", "END", 3, true, 0},
      {"zero window", "END", "END", 0, false, 0},
      {"pattern longer than buffer", "EN", "END", 5, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto buf = bytes_of(c.buf);
    const auto pat = bytes_of(c.pattern);
    u64 out = 99;
    EXPECT_EQ(c.found, rfind_bytes_in_tail(buf.data(), static_cast<u32>(buf.size()), pat.data(),
                                           static_cast<u32>(pat.size()), c.window, &out));
    EXPECT_EQ(c.out, out);
  }
}

TEST(LooksLikeXml, DeclarationPossiblyAfterComments) {
  struct xml_case {
    const char* name;
    std::string text;
    bool expected;
  };
  const xml_case cases[] = {
      {"declaration", "<?xml version=\"1.0\"?>", true},
      {"comment, LF, declaration", "<!-- note -->\n<?xml version=\"1.0\"?>", true},
      {"two comments", "<!--a--><!--b--><?xml version", true},
      {"declaration inside a comment", "<!-- <?xml version --> plain text here", false},
      {"unclosed comment", "<!-- never closed <?xml version", false},
      {"other first byte", " <?xml version=\"1.0\"?>", false},
      {"too short", "<?xml ve", false},
      {"comment then nothing", "<!-- a comment -->xxxxxxxx", false},
      {"declaration cut at the end", "<!-- comment -->x<?xml v", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // An exact-size heap copy, so that a read past the end is caught by the sanitizer build.
    const auto buf = bytes_of(c.text);
    EXPECT_EQ(c.expected, looks_like_xml(buf.data(), static_cast<u32>(buf.size())));
  }
  EXPECT_FALSE(looks_like_xml(nullptr, 100));
}

TEST(MakePatternTable, OneEntryPerPatternWithNullForEmpty) {
  const std::vector<std::string> patterns = {"abc", "", "de"};
  std::vector<const char*> ptrs = {"stale"};
  std::vector<u32> lens = {9, 9, 9, 9};
  EXPECT_TRUE(make_pattern_table(&ptrs, &lens, patterns));
  ASSERT_EQ(3u, ptrs.size());
  EXPECT_EQ((std::vector<u32>{3, 0, 2}), lens);
  EXPECT_EQ(patterns[0].data(), ptrs[0]);
  EXPECT_EQ(nullptr, ptrs[1]);
  EXPECT_EQ(patterns[2].data(), ptrs[2]);
  EXPECT_FALSE(make_pattern_table(&ptrs, &lens, {}));
  EXPECT_TRUE(ptrs.empty());
  EXPECT_TRUE(lens.empty());
}

// Each buffer is an exact-size heap allocation so that the sanitizer build sees any read past it.
TEST(FindU64ValuesPacked, EveryLengthAroundTheEightByteBoundary) {
  const u64 value = 0x1111111111111111ull;
  for (u32 len = 0; len <= 24; ++len) {
    SCOPED_TRACE("len " + std::to_string(len));
    std::vector<u8> buf(len, 0x11);
    std::vector<u64> expected;
    for (u64 at = 0; at + 8 <= len; at += 4) expected.push_back(at);
    std::vector<u64> offsets;
    const bool found = find_u64_values_packed(&offsets, len ? buf.data() : nullptr, len, value,
                                              false);
    EXPECT_EQ(expected, offsets);
    EXPECT_EQ(len >= 8, found);
  }
}

TEST(FindU64ValuesPacked, FindsValueAtFourByteStepsOnly) {
  std::vector<u8> buf(24, 0);
  const u64 value = 0x0807060504030201ull;
  std::memcpy(buf.data() + 4, &value, 8);   // found
  std::memcpy(buf.data() + 13, &value, 8);  // not at a multiple of 4
  std::vector<u64> offsets = {3};
  EXPECT_TRUE(find_u64_values_packed(&offsets, buf.data(), 24, value, false));
  EXPECT_EQ((std::vector<u64>{3, 4}), offsets) << "appends";
  offsets.clear();
  std::memcpy(buf.data() + 16, &value, 8);
  EXPECT_TRUE(find_u64_values_packed(&offsets, buf.data(), 24, value, true));
  EXPECT_EQ((std::vector<u64>{4}), offsets);
}

TEST(FindValues, StrideAndEveryLengthAroundTheWordSize) {
  // Buffers of 0x22 bytes: every aligned word matches, so the offsets are the positions read.
  for (u32 len = 0; len <= 20; ++len) {
    SCOPED_TRACE("len " + std::to_string(len));
    std::vector<u8> storage(len, 0x22);
    const u8* data = len ? storage.data() : nullptr;
    auto positions = [&](u32 width, u32 step) {
      std::vector<u64> expected;
      if (len >= width)
        for (u64 at = 0; at + width <= len; at += step) expected.push_back(at);
      return expected;
    };
    std::vector<u64> offsets;
    find_u16_values(&offsets, reinterpret_cast<const u16*>(data), len, 0x2222, 2);
    EXPECT_EQ(positions(2, 2), offsets);
    offsets.clear();
    find_u32_values(&offsets, reinterpret_cast<const u32*>(data), len, 0x22222222u, 6, false);
    EXPECT_EQ(positions(4, 4), offsets) << "stride 6 is cut to 4";
    offsets.clear();
    find_u64_values(&offsets, reinterpret_cast<const u64*>(data), len, 0x2222222222222222ull, 16,
                    false);
    EXPECT_EQ(positions(8, 16), offsets);
  }
}

TEST(FindValues, FirstOnlyAndRejectedArguments) {
  const u32 words[] = {7, 1, 7, 7};
  std::vector<u64> offsets;
  EXPECT_TRUE(find_u32_values(&offsets, words, sizeof words, 7, 4, true));
  EXPECT_EQ((std::vector<u64>{0}), offsets);
  offsets.clear();
  EXPECT_TRUE(find_u32_values(&offsets, words, sizeof words, 7, 4, false));
  EXPECT_EQ((std::vector<u64>{0, 8, 12}), offsets);
  offsets.clear();
  EXPECT_FALSE(find_u32_values(&offsets, words, sizeof words, 7, 3, false)) << "stride below 4";
  EXPECT_FALSE(find_u32_values(&offsets, words, 3, 7, 4, false)) << "len below 4";
  EXPECT_FALSE(find_u32_values(&offsets, nullptr, 16, 7, 4, false));
  EXPECT_FALSE(find_u32_values(&offsets, words, sizeof words, 5, 4, false));
}

TEST(FindValueSet, OneListPerValue) {
  const u64 words[] = {5, 9, 5, 3};
  std::vector<std::vector<u64>> hits = {{1}, {2}, {3}, {4}};
  EXPECT_TRUE(find_u64_value_set(&hits, words, sizeof words, {5, 3, 4}, 8, false));
  EXPECT_EQ((std::vector<std::vector<u64>>{{0, 16}, {24}, {}}), hits);

  EXPECT_TRUE(find_u64_value_set(&hits, words, sizeof words, {3, 5}, 8, true));
  EXPECT_EQ((std::vector<std::vector<u64>>{{}, {0}}), hits);

  const u32 small[] = {1, 2, 3};
  EXPECT_TRUE(find_u32_value_set(&hits, small, sizeof small, {3, 9}, 4, true))
      << "first_only still looks past positions that match nothing";
  EXPECT_EQ((std::vector<std::vector<u64>>{{8}, {}}), hits);
  EXPECT_FALSE(find_u32_value_set(&hits, small, sizeof small, {9}, 4, false));
  EXPECT_EQ((std::vector<std::vector<u64>>{{}}), hits);
}

TEST(FindNonzeroBlocks, RecordsFirstNonZeroWordOfEachBlock) {
  std::vector<u64> words(256, 0);  // 2048 bytes: four blocks of 512
  words[3] = 1;                    // block 0, byte 24
  words[64 + 10] = 1;              // block 1, byte 512 + 80
  words[64 + 20] = 1;              // same block, later
  words[192] = 1;                  // block 3, byte 1536
  std::vector<u64> offsets = {99};
  EXPECT_TRUE(find_nonzero_blocks(&offsets, words.data(), 2048, 100, false, 1000))
      << "block 100 means 512-byte blocks";
  EXPECT_EQ((std::vector<u64>{1024, 1592, 2536}), offsets);

  EXPECT_TRUE(find_nonzero_blocks(&offsets, words.data(), 2048, 1024, false, 0));
  EXPECT_EQ((std::vector<u64>{24, 1536}), offsets);

  EXPECT_TRUE(find_nonzero_blocks(&offsets, words.data(), 2048, 0, true, 0));
  EXPECT_EQ((std::vector<u64>{24}), offsets);

  EXPECT_FALSE(find_nonzero_blocks(&offsets, words.data(), 511, 0, false, 0));
  EXPECT_FALSE(find_nonzero_blocks(&offsets, words.data(), 2048, 4096, false, 0));
  EXPECT_TRUE(offsets.empty());
}

struct strings_case {
  const char* name;
  std::string buf;
  u32 min_len;
  bool include_ws;
  bool skip_punct;
  std::vector<std::string> strings;
  std::vector<u64> offsets;
};

TEST(ExtractPrintableStrings, RunsWithTheirOffsets) {
  const strings_case cases[] = {
      {"leading blanks skipped", std::string("\0  abcd\0", 8), 4, false, false, {"abcd"}, {3}},
      {"too short", std::string("abc\0abcd", 8), 4, false, false, {"abcd"}, {4}},
      {"run at the end", std::string("\x01xyz", 4), 3, false, false, {"xyz"}, {1}},
      {"white space joins with include_ws", "ab\tcd\r\nef", 3, true, false, {"ab\tcd\r\nef"}, {0}},
      {"white space cuts without it", "ab\tcd\r\nef", 2, false, false, {"ab", "cd", "ef"},
       {0, 3, 7}},
      {"only CR LF blank dropped, at the end too", std::string("\r\n \0ab\0\r\n", 9), 2, true,
       false, {"ab"}, {4}},
      {"tab counts as content", std::string("\t\t\0", 3), 2, true, false, {"\t\t"}, {0}},
      {"leading punctuation skipped", std::string("\0--=>/usr/bin\0", 14), 4, false, true,
       {"/usr/bin"}, {5}},
      {"brace may begin", "  {x}", 3, false, true, {"{x}"}, {2}},
      {"punctuation kept without the flag", "--ab", 4, false, false, {"--ab"}, {0}},
      {"high bytes are not printable", "ab\x80" "cd", 2, false, false, {"ab", "cd"}, {0, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto buf = bytes_of(c.buf);
    std::vector<std::string> strings = {"stale"};
    std::vector<u64> offsets = {42};
    EXPECT_TRUE(extract_printable_strings(buf.data(), static_cast<int>(buf.size()), c.min_len,
                                          &strings, &offsets, c.include_ws, c.skip_punct));
    EXPECT_EQ(c.strings, strings);
    EXPECT_EQ(c.offsets, offsets);
  }
  std::vector<std::string> strings = {"stale"};
  std::vector<u64> offsets = {42};
  EXPECT_FALSE(extract_printable_strings(nullptr, 4, 1, &strings, &offsets, false, false));
  EXPECT_TRUE(strings.empty() && offsets.empty()) << "emptied also when failing";
}

TEST(ExtractAsciiStrings, BaseAppendAndWhiteSpaceOnlyRuns) {
  const auto buf = bytes_of(std::string("\0hello\0\r\n\0", 10));
  std::vector<std::string> strings = {"kept"};
  std::vector<u64> offsets = {1};
  EXPECT_TRUE(extract_ascii_strings(buf.data(), 10, 2, &strings, &offsets, 100, true, true));
  EXPECT_EQ((std::vector<std::string>{"kept", "hello", "\r\n"}), strings);
  EXPECT_EQ((std::vector<u64>{1, 101, 107}), offsets);
  EXPECT_TRUE(extract_ascii_strings(buf.data(), 10, 2, &strings, &offsets, 0, false, false));
  EXPECT_EQ((std::vector<std::string>{"hello"}), strings);
  EXPECT_EQ((std::vector<u64>{1}), offsets);
  EXPECT_FALSE(extract_ascii_strings(buf.data(), 0, 2, &strings, &offsets, 0, false, false));
  EXPECT_EQ(1u, strings.size()) << "untouched on failure";
}

TEST(ExtractUtf16Strings, UnitsAtEvenAndOddOffsets) {
  const strings_case cases[] = {
      {"abc", std::string("a\0b\0c\0", 6), 3, false, false, {"abc"}, {0}},
      {"after one leading byte", std::string("\0a\0b\0c\0", 7), 3, false, false, {"abc"}, {1}},
      {"last unit cut off", std::string("a\0b\0c", 5), 2, false, false, {"ab"}, {0}},
      {"too short", std::string("a\0b\0", 4), 3, false, false, {}, {}},
      {"two runs", std::string("a\0b\0\x01\0c\0d\0", 10), 2, false, false, {"ab", "cd"}, {0, 6}},
      {"leading blank skipped", std::string(" \0x\0y\0", 6), 2, false, false, {"xy"}, {2}},
      {"high second byte ends a run", std::string("a\0b\0c\x01" "d\0e\0", 10), 2, false, false,
       {"ab", "de"}, {0, 6}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto buf = bytes_of(c.buf);
    std::vector<std::string> strings;
    std::vector<u64> offsets;
    EXPECT_TRUE(extract_utf16_strings(buf.data(), static_cast<u32>(buf.size()), c.min_len,
                                      &strings, &offsets, 0, false, c.include_ws));
    EXPECT_EQ(c.strings, strings);
    EXPECT_EQ(c.offsets, offsets);
  }
}

TEST(ExtractUtf16StringsEx, DropsWhiteSpaceRunsAndSkipsPunctuation) {
  const auto buf = bytes_of(std::string("\r\0\n\0 \0\0\0-\0>\0o\0k\0", 16));
  std::vector<std::string> strings = {"stale"};
  std::vector<u64> offsets = {5};
  EXPECT_TRUE(extract_utf16_strings_ex(buf.data(), 16, 2, &strings, &offsets, true, true));
  EXPECT_EQ((std::vector<std::string>{"ok"}), strings);
  EXPECT_EQ((std::vector<u64>{12}), offsets);
  EXPECT_FALSE(extract_utf16_strings_ex(nullptr, 16, 2, &strings, &offsets, true, true));
  EXPECT_TRUE(strings.empty() && offsets.empty());
}

}  // namespace

namespace {

TEST(FindWord, CaseInsensitiveInsideRuns) {
  struct word_case {
    const char* name;
    std::string word;
    std::string buf;
    bool utf16;
    std::vector<u64> expected;
  };
  const word_case cases[] = {
      {"utf16 BC in a b c d", "BC", std::string("a\0b\0c\0d\0\0\0", 10), true, {2}},
      {"utf16 run at the end", "BC", std::string("a\0b\0c\0d\0", 8), true, {2}},
      {"utf16 at an odd offset", "ab", std::string("\0a\0b\0", 5), true, {1}},
      {"ascii any case", "Needle", "xNEEDLEx needle", false, {1, 9}},
      {"ascii does not overlap", "aa", "aaaa", false, {0, 2}},
      {"ascii word crossing a run boundary", "ab", std::string("a\0b", 3), false, {}},
      {"ascii leading blanks skipped", "x", std::string("\0  x", 4), false, {3}},
      {"ascii blank belongs to the run", "a b", "a b", false, {0}},
      {"ascii tab cuts", "ab", "a\tb", false, {}},
      {"empty word", "", "abc", false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto buf = bytes_of(c.buf);
    std::vector<u64> offsets = {77};
    std::vector<u64> expected = c.expected;
    for (u64& at : expected) at += 1000;
    const bool result = c.utf16 ? find_word_in_utf16(c.word, buf.data(), buf.size(), &offsets,
                                                     1000, false)
                                : find_word_in_ascii(c.word, buf.data(), buf.size(), &offsets,
                                                     1000, false);
    EXPECT_EQ(expected, offsets);
    EXPECT_EQ(c.utf16 || !expected.empty(), result);
  }
}

TEST(FindWord, AppendAndRejectedBuffers) {
  const auto buf = bytes_of("one two one");
  std::vector<u64> offsets = {5};
  EXPECT_TRUE(find_word_in_ascii("ONE", buf.data(), buf.size(), &offsets, 0, true));
  EXPECT_EQ((std::vector<u64>{5, 0, 8}), offsets);
  EXPECT_FALSE(find_word_in_ascii("one", buf.data(), 0, &offsets, 0, false));
  EXPECT_FALSE(find_word_in_utf16("one", nullptr, 4, &offsets, 0, false));
  EXPECT_EQ(3u, offsets.size()) << "untouched when the buffer is rejected";
  EXPECT_TRUE(find_word_in_ascii("one", buf.data(), buf.size(), &offsets, -2, false));
  EXPECT_EQ((std::vector<u64>{~u64{0} - 1, 6}), offsets) << "a negative base shifts back";
}

}  // namespace
