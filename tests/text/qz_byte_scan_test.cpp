#include "framework/text/qz_byte_scan.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/text/qz_html_escape.h"
#include "tests/text/guarded_bytes.h"

namespace {

// A text of n bytes that differ from their neighbours, high bytes among them.
std::string pattern(std::size_t n) {
  std::string text;
  for (std::size_t i = 0; i < n; ++i) text.push_back(static_cast<char>(0x41 + 37 * i % 190));
  return text;
}

#if defined(__SSE2__)

TEST(ByteScan, AShortBlockHoldsTheTextsBytesThenZerosAndReadsNothingPastThem) {
  guarded_bytes page;
  ASSERT_TRUE(page.ready());
  for (std::size_t left = 1; left <= 20; ++left) {
    SCOPED_TRACE(left);
    const std::string text = pattern(left);
    const auto* at = reinterpret_cast<const unsigned char*>(page.place(text));
    unsigned char block[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block), load_block(at, left));
    for (std::size_t k = 0; k < 16; ++k) {
      EXPECT_EQ(block[k], k < left ? static_cast<unsigned char>(text[k]) : 0) << "byte " << k;
    }
  }
}

TEST(ByteScan, CopyStopsAtTheFirstByteOfTheSetOrTheEnd) {
  guarded_bytes page;
  ASSERT_TRUE(page.ready());
  // Every length up to three blocks, with the set's byte at every place or nowhere.
  for (std::size_t length = 0; length <= 48; ++length) {
    for (std::size_t special = 0; special <= length; ++special) {
      for (bool slash_paths : {false, true}) {
        std::string text(length, 'a');
        for (std::size_t i = 0; i < length; i += 3) text[i] = '\\';
        if (special < length) text[special] = special % 2 ? '<' : '&';
        SCOPED_TRACE(text + (slash_paths ? " slash" : ""));
        std::string expected = text.substr(0, special);
        if (slash_paths) {
          for (char& c : expected) c = c == '\\' ? '/' : c;
        }
        const auto* bytes = reinterpret_cast<const unsigned char*>(page.place(text));
        char out[64 + 16];
        char* dst = out;
        std::size_t pos = 0;
        copy_to_first_of<'&', '<'>(bytes, pos, length, slash_paths, dst);
        EXPECT_EQ(pos, special);
        EXPECT_EQ(std::string(out, static_cast<std::size_t>(dst - out)), expected);
      }
    }
  }
}

#endif

TEST(ByteScan, HtmlEscapingReadsNoByteAfterItsText) {
  guarded_bytes page;
  ASSERT_TRUE(page.ready());
  const std::string pieces = "ab<\r\n&\"c'\xC3\xA9\\d\rx";
  for (std::size_t length = 0; length <= 40; ++length) {
    for (std::size_t shift = 0; shift < pieces.size(); shift += 3) {
      std::string text;
      for (std::size_t i = 0; i < length; ++i) text.push_back(pieces[(i + shift) % pieces.size()]);
      SCOPED_TRACE(text);
      for (bool slash_paths : {false, true}) {
        std::string in_place(html_escaped_room(length), '\0');
        in_place.resize(static_cast<std::size_t>(
            html_escape_to(in_place.data(), text, slash_paths) - in_place.data()));
        std::string guarded(html_escaped_room(length), '\0');
        guarded.resize(static_cast<std::size_t>(
            html_escape_to(guarded.data(), page.place(text), length, slash_paths) - guarded.data()));
        EXPECT_EQ(guarded, in_place);
      }
    }
  }
}

}  // namespace
