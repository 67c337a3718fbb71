#include "framework/text/uni_bom.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/text/wide_text.h"

namespace {

struct mark_case {
  const char* name;
  std::vector<u8> bytes;
  std::vector<u8>& (*write)(std::vector<u8>&);
  bool (*detect)(const void*);
  bool (*detect_bounded)(const void*, std::size_t);
};

const std::vector<mark_case>& marks() {
  static const std::vector<mark_case> table = {
      {"utf8", {0xEF, 0xBB, 0xBF}, write_bom_utf8, is_bom_utf8, is_bom_utf8},
      {"utf16le", {0xFF, 0xFE}, write_bom_utf16le, is_bom_utf16le, is_bom_utf16le},
      {"utf16be", {0xFE, 0xFF}, write_bom_utf16be, is_bom_utf16be, is_bom_utf16be},
      {"utf32le", {0xFF, 0xFE, 0x00, 0x00}, write_bom_utf32le, is_bom_utf32le, is_bom_utf32le},
      {"utf32be", {0x00, 0x00, 0xFE, 0xFF}, write_bom_utf32be, is_bom_utf32be, is_bom_utf32be},
      {"utf7", {0x2B, 0x2F, 0x76}, write_bom_utf7, is_bom_utf7, is_bom_utf7},
      {"utf-ebcdic", {0xDD, 0x73, 0x66, 0x73}, write_bom_utf_ebcdic, is_bom_utf_ebcdic, is_bom_utf_ebcdic},
      {"scsu", {0x0E, 0xFE, 0xFF}, write_bom_scsu, is_bom_scsu, is_bom_scsu},
      {"bocu1", {0xFB, 0xEE, 0x28}, write_bom_bocu1, is_bom_bocu1, is_bom_bocu1},
  };
  return table;
}

TEST(ByteOrderMarks, WritersAppendTheirMark) {
  for (const mark_case& m : marks()) {
    SCOPED_TRACE(m.name);
    std::vector<u8> out;
    EXPECT_EQ(&out, &m.write(out));
    EXPECT_EQ(m.bytes, out);

    out = {0x41};
    m.write(out);
    std::vector<u8> expected = {0x41};
    expected.insert(expected.end(), m.bytes.begin(), m.bytes.end());
    EXPECT_EQ(expected, out);
  }
}

// Every detector against the start of every mark, followed by text. Only the UTF-16LE
// detector also fires on the UTF-32LE mark, which begins with it.
TEST(ByteOrderMarks, EachDetectorKnowsOnlyItsOwnMark) {
  for (const mark_case& buffer_mark : marks()) {
    std::vector<u8> buffer = buffer_mark.bytes;
    buffer.insert(buffer.end(), {0x41, 0x00, 0x42, 0x00});
    for (const mark_case& detector : marks()) {
      SCOPED_TRACE(std::string(detector.name) + " on " + buffer_mark.name);
      const bool expected = std::string(detector.name) == buffer_mark.name ||
                            (std::string(detector.name) == "utf16le" &&
                             std::string(buffer_mark.name) == "utf32le");
      EXPECT_EQ(expected, detector.detect(buffer.data()));
      EXPECT_EQ(expected, detector.detect_bounded(buffer.data(), buffer.size()));
    }
  }
}

TEST(ByteOrderMarks, SixteenAndThirtyTwoBitMarksApart) {
  const u8 be_text[] = {0xFE, 0xFF, 0x00, 0x41};
  EXPECT_TRUE(is_bom_utf16be(be_text));
  EXPECT_FALSE(is_bom_utf16le(be_text));
  const u8 le_text[] = {0xFF, 0xFE, 0x41, 0x00};
  EXPECT_TRUE(is_bom_utf16le(le_text));
  EXPECT_FALSE(is_bom_utf32le(le_text));
}

// A file shorter than a mark: the bounded detectors read only the bytes that are there. Each
// buffer is allocated at its exact size so that AddressSanitizer sees any read beyond it.
TEST(ByteOrderMarks, BoundedDetectorsStopAtTheBufferEnd) {
  for (const mark_case& m : marks()) {
    SCOPED_TRACE(m.name);
    for (std::size_t length = 0; length <= m.bytes.size(); ++length) {
      std::unique_ptr<u8[]> exact(new u8[length == 0 ? 1 : length]);
      std::memcpy(exact.get(), m.bytes.data(), length);
      EXPECT_EQ(length == m.bytes.size(), m.detect_bounded(exact.get(), length)) << length;
    }
    EXPECT_FALSE(m.detect(nullptr));
    EXPECT_FALSE(m.detect_bounded(nullptr, 4));
  }
}


// The bytes of text (ASCII) in units of unit bytes, little- or big-endian.
std::vector<u8> wide(const std::string& text, std::size_t unit, bool little) {
  const std::string bytes = wide_text("", text, unit, little);
  return std::vector<u8>(bytes.begin(), bytes.end());
}

std::vector<u8> marked(std::vector<u8>& (*write)(std::vector<u8>&), const std::vector<u8>& text) {
  std::vector<u8> bytes;
  write(bytes);
  bytes.insert(bytes.end(), text.begin(), text.end());
  return bytes;
}

TEST(WideTextEncoding, NamesTheWideEncodingsTextIsNotReadIn) {
  const std::string csv = "id,host\r\n1,WS1\r\n";
  auto bytes_of = [](const std::string& text) { return std::vector<u8>(text.begin(), text.end()); };
  std::string nul_cells = "id,host\n1,";
  nul_cells += std::string("W\0S\0\0\0\0", 8) + "\n" + std::string(64, '\0') + "\n";
  const char* le_unmarked = "UTF-16LE without a byte-order mark";
  const char* be_unmarked = "UTF-16BE without a byte-order mark";
  struct encoding_case {
    const char* name;
    std::vector<u8> bytes;
    const char* expected;  // null: read as it is
  };
  const encoding_case cases[] = {
      {"UTF-8", bytes_of(csv), nullptr},
      {"UTF-8 with its mark", marked(write_bom_utf8, bytes_of(csv)), nullptr},
      {"UTF-16LE with its mark", marked(write_bom_utf16le, wide(csv, 2, true)), nullptr},
      {"UTF-16BE with its mark", marked(write_bom_utf16be, wide(csv, 2, false)), "UTF-16BE"},
      {"UTF-32LE with its mark", marked(write_bom_utf32le, wide(csv, 4, true)), "UTF-32LE"},
      {"UTF-32BE with its mark", marked(write_bom_utf32be, wide(csv, 4, false)), "UTF-32BE"},
      {"UTF-16LE without a mark", wide(csv, 2, true), le_unmarked},
      {"UTF-16BE without a mark", wide(csv, 2, false), be_unmarked},
      {"UTF-16LE without a mark or LF", wide("id,host", 2, true), le_unmarked},
      {"UTF-16LE opening with an empty line", wide("\nid,host\n", 2, true), le_unmarked},
      {"UTF-32LE without a mark", wide(csv, 4, true), le_unmarked},
      {"UTF-32BE without a mark", wide(csv, 4, false), be_unmarked},
      // NUL bytes in the cells of UTF-8 rows, even a line opening with them, do not count.
      {"UTF-8 with NUL bytes in its cells", bytes_of(nul_cells), nullptr},
      {"UTF-8 with a line opening with NUL", bytes_of(std::string("id,host\n\0\0,x\n", 14)), nullptr},
      {"UTF-8 with NUL before the first LF", bytes_of(std::string("id,host,\0\n", 10)), nullptr},
      {"a lone LF", bytes_of("\n"), nullptr},
      {"nothing", {}, nullptr},
  };
  for (const encoding_case& c : cases) {
    SCOPED_TRACE(c.name);
    const char* found = wide_text_encoding(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(found == nullptr ? std::string("(none)") : std::string(found),
              c.expected == nullptr ? std::string("(none)") : std::string(c.expected));
  }
  EXPECT_EQ(wide_text_encoding(nullptr, 4), nullptr);
}

}  // namespace
