#include "framework/text/qz_hex.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "framework/text/qz_md5.h"

namespace {

using bytes = std::vector<u8>;
using entries = std::vector<u16>;

TEST(HexList, SeparatorAndPrefix) {
  const bytes data = {0x00, 0x7F, 0xFF};
  struct {
    const char* name;
    std::string separator;
    bool prefix;
    std::string expected;
  } cases[] = {
      {"prefixed, comma", ", ", true, "0x00, 0x7f, 0xff"},
      {"colon", ":", false, "00:7f:ff"},
      {"no separator", "", false, "007fff"},
  };
  for (const auto& c : cases) {
    std::string out = "stale";
    ASSERT_TRUE(bytes_to_hex_list(out, data.data(), 3, c.separator, c.prefix)) << c.name;
    EXPECT_EQ(out, c.expected) << c.name;
    ASSERT_TRUE(byte_vector_to_hex_list(out, data, c.separator, c.prefix)) << c.name;
    EXPECT_EQ(out, c.expected) << c.name;
    if (!c.prefix) {
      EXPECT_EQ(byte_vector_to_hex(data, c.separator), c.expected) << c.name;
    }
  }
  std::string out;
  ASSERT_TRUE(bytes_to_hex_list(out, data.data(), 1, ", ", true));
  EXPECT_EQ(out, "0x00");
}

TEST(HexList, RefusedInputs) {
  const u8 data[1] = {0x41};
  // A negative length is refused like a zero one, not reported as an empty success.
  for (i32 length : {0, -1, -2147483647 - 1}) {
    std::string out = "kept";
    EXPECT_FALSE(bytes_to_hex_list(out, data, length, " ", false)) << length;
    EXPECT_EQ(out, "kept") << length;
  }
  std::string out = "kept";
  EXPECT_FALSE(bytes_to_hex_list(out, nullptr, 1, " ", false));
  EXPECT_EQ(out, "kept");
  EXPECT_FALSE(byte_vector_to_hex_list(out, {}, " ", false));
  EXPECT_EQ(out, "");
  EXPECT_EQ(byte_vector_to_hex({}, " "), "");
}

TEST(HexList, StreamAndCArray) {
  std::ostringstream os;
  write_hex_bytes({0x4D, 0x5A, 0x0A}, os);
  EXPECT_EQ(os.str(), "4d 5a 0a");

  std::string out = "kept";
  ASSERT_TRUE(bytes_to_c_array("sig", {0x4D, 0x5A}, out));
  EXPECT_EQ(out, "const byte sig[] = {0x4d, 0x5a};");
  out = "kept";
  EXPECT_FALSE(bytes_to_c_array("sig", {}, out));
  EXPECT_FALSE(bytes_to_c_array(nullptr, {0x4D}, out));
  EXPECT_EQ(out, "kept");
}

// Hex text back to bytes gives the bytes that were written, for every byte value.
TEST(HexList, RoundTripThroughParseHexBytes) {
  bytes all(256);
  for (size_t b = 0; b < 256; ++b) all[b] = u8(b);
  for (const char* separator : {" ", ",", ":"}) {
    bytes back;
    parse_hex_bytes(back, byte_vector_to_hex(all, separator), separator[0], true);
    EXPECT_EQ(back, all) << separator;
  }
  std::string listed;
  ASSERT_TRUE(byte_vector_to_hex_list(listed, all, ", ", true));
  bytes back;
  EXPECT_EQ(parse_hex_bytes(back, listed, ',', true), all);
  std::string spaced;
  bytes_to_hex(spaced, all.data(), 16, true);
  EXPECT_EQ(parse_hex_bytes(back, spaced, ' ', true), bytes(all.begin(), all.begin() + 16));
}

TEST(HexDumpText, LinesOfSixteenWithAlignedCharacters) {
  std::string out = "before|";
  hex_dump_text(out, reinterpret_cast<const u8*>("AB\n"), 3, false);
  EXPECT_EQ(out, "before|41 42 0a " + std::string(13 * 3, ' ') + "  AB.");

  bytes sixteen(16);
  for (size_t i = 0; i < 16; ++i) sixteen[i] = u8(0x30 + i);
  out.clear();
  hex_dump_text(out, sixteen.data(), 16, false);
  EXPECT_EQ(out, "30 31 32 33 34 35 36 37 38 39 3a 3b 3c 3d 3e 3f   0123456789:;<=>?\n");
  EXPECT_EQ(out.size(), 67u);

  bytes mixed(21);
  for (int i = 0; i < 21; ++i) mixed[static_cast<size_t>(i)] = u8(i * 13 - 192);
  out.clear();
  hex_dump_text(out, mixed.data(), 21, true);
  ASSERT_EQ(out.back(), '\n');
  std::size_t line_end = out.find('\n');
  ASSERT_EQ(line_end, 66u);
  std::string second = out.substr(line_end + 1, out.size() - line_end - 2);
  EXPECT_EQ(second.size(), 50u + 5u);
  EXPECT_EQ(second.substr(0, 15), "10 1d 2a 37 44 ");
  EXPECT_EQ(second.substr(50), "..*7D");

  for (const u8* data : {static_cast<const u8*>(nullptr), static_cast<const u8*>(sixteen.data())}) {
    out.clear();
    hex_dump_text(out, data, data ? 0 : 16, true);
    EXPECT_EQ(out, "\n");
  }
}

TEST(WriteHexOrStrings, HexMode) {
  const u8 data[3] = {0x00, 0x7F, 0xFF};
  std::ostringstream os;
  ASSERT_TRUE(write_hex_or_strings(os, data, 3, false, 0, "|"));
  EXPECT_EQ(os.str(), "00 7f ff");
  os << std::setw(2) << 10;
  EXPECT_EQ(os.str(), "00 7f ff0a");

  std::ostringstream nothing;
  EXPECT_FALSE(write_hex_or_strings(nothing, nullptr, 3, false, 0, "|"));
  EXPECT_FALSE(write_hex_or_strings(nothing, data, 0, false, 0, "|"));
  EXPECT_EQ(nothing.str(), "");
}

TEST(WriteHexOrStrings, StringsModeMergesByOffset) {
  auto buffer = [](std::initializer_list<std::pair<std::size_t, std::string>> parts,
                   std::size_t size) {
    std::string out(size, '\0');
    for (const auto& [offset, text] : parts) out.replace(offset, text.size(), text);
    return out;
  };
  const std::string utf16_world("w\0o\0r\0l\0d\0", 10);
  struct {
    const char* name;
    std::string data;
    u32 min_length;
    bool ok;
    std::string expected;
  } cases[] = {
      {"UTF-16 then ASCII", buffer({{0, utf16_world}, {12, "hello"}}, 20), 4, true, "world|hello"},
      {"ASCII then UTF-16", buffer({{1, "hello"}, {8, utf16_world}}, 20), 4, true, "hello|world"},
      {"ASCII only", buffer({{0, "abcd"}, {6, "efgh"}}, 12), 4, true, "abcd|efgh"},
      {"equal offsets: ASCII first", std::string("a\0b\0", 4), 1, true, "a|ab|b"},
      {"tab ends a string", buffer({{0, "ab\tcdef"}}, 8), 4, true, "cdef"},
      {"nothing long enough", buffer({{0, "abc"}}, 8), 4, false, ""},
      {"shorter than the minimum", "abc", 4, false, ""},
  };
  for (const auto& c : cases) {
    std::ostringstream os;
    EXPECT_EQ(write_hex_or_strings(os, reinterpret_cast<const u8*>(c.data.data()),
                                   u32(c.data.size()), true, c.min_length, "|"),
              c.ok)
        << c.name;
    EXPECT_EQ(os.str(), c.expected) << c.name;
  }
}

TEST(FieldLines, LabelledHexLines) {
  std::ostringstream os;
  EXPECT_EQ(write_field_line(os, 4, 0x10, 12, "Flags", "7"), 1u);
  EXPECT_EQ(write_field_end_line(os, 4, 0x10, 12, "Flags", "7"), 1u);
  EXPECT_EQ(write_field_line(os, 0x12345, 0x123456789, 3, "Name", "value"), 5u);
  EXPECT_EQ(os.str(),
            "0x004 : 000010 : Flags:      7\n"
            "0x000014 : 004 : Flags:      7\n"
            "0x12345 : 123456789 : Name:value\n");
  os << 255;
  EXPECT_EQ(os.str().substr(os.str().size() - 2), "ff");
}

TEST(ParseHexBytes, PiecesToBytes) {
  struct {
    const char* name;
    std::string text;
    char separator;
    bool hex;
    bytes expected;
  } cases[] = {
      {"blank separated", "4d 5a 90", ' ', true, {0x4D, 0x5A, 0x90}},
      {"empty pieces dropped", " 4d  5a ", ' ', true, {0x4D, 0x5A}},
      {"0x prefix and low byte", "0x4d 15a", ' ', true, {0x4D, 0x5A}},
      {"digits up to the first non-digit", "4dz, zz", ',', true, {0x4D, 0x00}},
      {"trimmed pieces", "4d , 5a", ',', true, {0x4D, 0x5A}},
      {"decimal", "77, 300", ',', false, {77, 44}},
      {"decimal with radix letters", "x4d,o17", ',', false, {0x4D, 15}},
      {"decimal non-number", "abc,1", ',', false, {0, 1}},
      {"empty text", "", ' ', true, {}},
  };
  for (const auto& c : cases) {
    bytes out = {0xEE};
    EXPECT_EQ(parse_hex_bytes(out, c.text, c.separator, c.hex), c.expected) << c.name;
  }
}

TEST(ParseSignaturePattern, TokensWildcardsAndSkips) {
  struct {
    const char* name;
    std::string text;
    bool ok;
    entries expected;
  } cases[] = {
      {"full pattern", "4d 5a ?? *10 50 45", true, {0x4D, 0x5A, 0xFFFF, 0xFFFE, 0x10, 0x50, 0x45}},
      {"trailing wildcards removed", "4d ?? ??", true, {0x4D}},
      {"trailing wildcard then skip removed", "4d *10 ??", true, {0x4D}},
      {"leading wildcard kept", "?? 4D", true, {0xFFFF, 0x4D}},
      {"bare skip counts 0", "4d * 50", true, {0x4D, 0xFFFE, 0x00, 0x50}},
      {"tabs and line ends separate", "4d\t*ff\n50", true, {0x4D, 0xFFFE, 0xFF, 0x50}},
      {"wildcards only leave nothing", "?? ??", true, {}},
      {"wildcard after a skip", "4d *10 ?? 50", false, {0x4D, 0xFFFE, 0x10, 0xFFFF, 0x50}},
      {"skip after a skip", "4d *1 *2 50", false, {0x4D, 0xFFFE, 0x01, 0xFFFE, 0x02, 0x50}},
      {"one-character byte", "4d 5", false, {0x4D}},
      {"three-character byte", "4d 5a0", false, {0x4D}},
      {"skip count too long", "4d *100", false, {0x4D}},
      {"no text", "", false, {}},
      {"blanks only", "  \t", false, {}},
      // Tokens that are no hex number are refused rather than read as 0.
      {"byte not hex", "4d zz", false, {0x4D}},
      {"byte half hex", "4d 4g", false, {0x4D}},
      {"signed byte", "4d -1", false, {0x4D}},
      {"skip count not hex", "4d *1z 50", false, {0x4D}},
      {"single question mark", "4d ?", false, {0x4D}},
  };
  for (const auto& c : cases) {
    entries out;
    EXPECT_EQ(parse_signature_pattern(c.text, out), c.ok) << c.name;
    EXPECT_EQ(out, c.expected) << c.name;
  }
}

TEST(ParseSignaturePattern, AppendsToEarlierEntries) {
  entries out = {0x41};
  EXPECT_TRUE(parse_signature_pattern("42 ??", out));
  EXPECT_EQ(out, (entries{0x41, 0x42}));
  // No tokens, but entries already there: they are trimmed and checked like the rest.
  out = {0x41, 0xFFFE, 0x05};
  EXPECT_TRUE(parse_signature_pattern("", out));
  EXPECT_EQ(out, entries{0x41});
}

TEST(ParseBytePattern, BytesAndWildcards) {
  struct {
    const char* name;
    std::string text;
    bool ok;
    bytes expected;
  } cases[] = {
      {"bytes and wildcard", "4d ?? 5", true, {0x4D, 0xFF, 0xFF, 0x05}},
      {"upper case", "FF 0A", true, {0xFF, 0x0A}},
      {"empty text", "", true, {}},
      {"long token stops", "4d 123 5a", false, {0x4D}},
      {"not hex stops", "4d zz 5a", false, {0x4D}},
      {"single question mark", "4d ?", false, {0x4D}},
  };
  for (const auto& c : cases) {
    bytes out;
    EXPECT_EQ(parse_byte_pattern(c.text, out), c.ok) << c.name;
    EXPECT_EQ(out, c.expected) << c.name;
  }
  bytes out = {0x01};
  EXPECT_TRUE(parse_byte_pattern("02", out));
  EXPECT_EQ(out, (bytes{0x01, 0x02}));
}

}  // namespace
