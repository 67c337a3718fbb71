#include "framework/text/uni_bom.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

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

}  // namespace
