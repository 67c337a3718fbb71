#include "framework/text/qz_list_parse.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "framework/text/qz_md5.h"

namespace {

using bytes = std::vector<u8>;

std::string to_hex(const bytes& data) {
  std::string out;
  append_hex_bytes(out, data.data(), data.size(), "", false);
  return out;
}

bool have_python() { return std::system("command -v python3 >/dev/null 2>&1") == 0; }

// The lines a command writes on standard output.
std::vector<std::string> command_lines(const std::string& command) {
  std::vector<std::string> lines;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return lines;
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  pclose(pipe);
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

TEST(U64Lists, PiecesThatRead) {
  struct row {
    const char* text;
    bool trim, keep_empty;
    std::vector<u64> values;
    char delimiter;
  } rows[] = {
      {"1;2;x", false, false, {1, 2, 0}, ';'},  // "x" is a hex number without digits: 0
      {"1;2 3", false, false, {1}, ';'},        // a blank inside a piece is refused
      {"4, 5,,0x10", true, true, {4, 5, 16}, ','},
      {"7", false, false, {7}, 0},
      {"", false, false, {}, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    std::vector<u64> out{99};
    EXPECT_EQ(parse_u64_list(out, r.text, r.trim, r.keep_empty, ",;"), r.delimiter);
    EXPECT_EQ(out, r.values);
  }

  std::vector<std::pair<u64, u64>> ranges;
  EXPECT_TRUE(parse_u64_ranges(ranges, "1-5,7", ',', '-'));
  EXPECT_EQ(ranges, (std::vector<std::pair<u64, u64>>{{1, 5}, {7, 7}}));
  EXPECT_TRUE(parse_u64_ranges(ranges, "a-5, 0x10 ", ',', '-'));
  EXPECT_EQ(ranges, (std::vector<std::pair<u64, u64>>{{0, 5}, {16, 16}}));
  EXPECT_FALSE(parse_u64_ranges(ranges, "", ',', '-'));
  EXPECT_TRUE(ranges.empty());
}

TEST(SignedLists, WordsAndDelimitedPieces) {
  std::vector<u64> out{99};
  EXPECT_TRUE(parse_long_words("1 -2 \"3\" abc 0x10", out));
  EXPECT_EQ(out, (std::vector<u64>{1, static_cast<u64>(-2), 3, 16}));
  EXPECT_FALSE(parse_long_words("abc", out));

  out = {9};
  EXPECT_TRUE(parse_long_list("1, -2,,abc, 3", out, ','));
  EXPECT_EQ(out, (std::vector<u64>{9, 1, static_cast<u64>(-2), 3}));  // appended
  EXPECT_TRUE(parse_long_list("5 6", out, ' '));
  EXPECT_EQ(out, (std::vector<u64>{5, 6}));  // the word form replaces
  out = {9};
  EXPECT_FALSE(parse_long_list("", out, ','));
  EXPECT_EQ(out, std::vector<u64>{9});
}

TEST(ByteLists, WordsHexListsAndDigitStrings) {
  bytes out{0xEE};
  EXPECT_TRUE(parse_byte_words("1 0x1ff 300", out));
  EXPECT_EQ(out, (bytes{0x01, 0xFF, 0x2C}));

  struct row {
    const char* text;
    bool ok;
    bytes values;
  } rows[] = {
      {"0x1f 0x20", true, {0x1F, 0x20}}, {"1f", true, {0x1F}},
      {"x1f", true, {0x1F}},             {"1f,20,ff", true, {0x1F, 0x20, 0xFF}},
      {"aa:0xbb-cc", true, {0xAA, 0xBB}},  // ":" is the separator, "0xbb-cc" reads bb
      {"0x 1f", true, {0x1F}},           // a piece without digits after its "x" is skipped
      {"123", false, {0xEE}},            {"", false, {0xEE}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    out = {0xEE};
    EXPECT_EQ(parse_hex_byte_list(r.text, out), r.ok);
    EXPECT_EQ(out, r.values);
  }

  struct digits_row {
    const char* text;
    bytes values;
  } digit_rows[] = {{"0a1b2c", {0x0A, 0x1B, 0x2C}}, {"abc", {0xAB, 0x0C}}, {"a", {0x0A}}, {"", {}}};
  for (const digits_row& r : digit_rows) {
    SCOPED_TRACE(r.text);
    out = {0xEE};
    EXPECT_EQ(parse_hex_digit_string(r.text, out), !r.values.empty());
    EXPECT_EQ(out, r.values);
  }

  EXPECT_EQ(hex_pairs_to_bytes(out, "abc"), (bytes{0xAB, 0x0C}));
  EXPECT_EQ(hex_pairs_to_bytes(out, "zz12"), (bytes{0x00, 0x12}));
  EXPECT_TRUE(hex_pairs_to_bytes(out, "").empty());
}

TEST(ByteLists, HexColumnOfADump) {
  struct row {
    const char* name;
    std::string text;
    bytes values;
  } rows[] = {
      {"second line cut at the first line's column", "0000  41 42  AB\n0002  43  C", {0x41, 0x42, 0x43}},
      {"blank and short lines", "\n0000  41 42  AB\n\n  0002  43 44  CD  \n00", {0x41, 0x42, 0x43, 0x44}},
      {"pieces other than two hex digits", "0000  41 zz 4  B\n", {0x41}},
      {"blank column does not end the walk", "0000  41 42  AB\n0002         ..\n0004  43  C",
       {0x41, 0x42, 0x43}},
      {"line ending before the column does", "0000  41 42  AB\n0002\n0004  43  C", {0x41, 0x42}},
      {"no column", "0000 41 42 AB", {}},
      {"empty", "", {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    bytes out{0xEE};
    EXPECT_EQ(parse_hex_dump_text(out, r.text), !r.values.empty());
    EXPECT_EQ(out, r.values);
  }
}

// The C library's inet_pton decides which texts are IPv6 addresses and what they hold.
TEST(Addresses, Ipv6AgreesWithInetPton) {
  const char* texts[] = {
      "::", "::1", "fe80::1", "1:2:3:4:5:6:7:8", "2001:db8::ff00:42:8329", "1:2:3:4:5:6:7::",
      "::2:3:4:5:6:7:8", "1::8", "FFFF:ffff::", "0:0:0:0:0:0:0:0",
      "abcd:ef01:2345:6789:abcd:ef01:2345:6789",
      // refused
      "1:2:3", "1:2:3:4:5:6:7:8:9", "1::2::3", "12345::", "g::1", "1:2:3:4:5:6:7:8::",
      ":1:2:3:4:5:6:7", "1:::2", ":::", "1:2:3:4:5:6:7:", "1:2", " ::1",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    u8 reference[16] = {};
    const bool valid = inet_pton(AF_INET6, text, reference) == 1;
    const std::string copy = text;
    bytes out{0xEE};
    EXPECT_EQ(parse_ipv6_text(copy, out), valid);
    EXPECT_EQ(out, valid ? bytes(reference, reference + 16) : bytes{});
    EXPECT_EQ(copy, text);
  }
  bytes out;
  EXPECT_TRUE(parse_ipv6_text("", out));
  EXPECT_EQ(out, bytes(16, 0));
}

TEST(Addresses, DottedAgreesWithInetPton) {
  const char* texts[] = {"192.168.1.2", "0.0.0.0", "255.255.255.255", "10.0.0.1",
                         // refused: a part above 255 no longer spills into the byte above
                         "256.1.1.1", "1.2.3.300", "1.2.3", "1.2.3.4.5", "a.b.c.d"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    in_addr reference{};
    const bool valid = inet_pton(AF_INET, text, &reference) == 1;
    u32 value = 0xDEAD;
    EXPECT_EQ(parse_dotted_u32(text, value, false), valid);
    EXPECT_EQ(value, valid ? ntohl(reference.s_addr) : 0u);
  }
  u32 value = 0;
  EXPECT_TRUE(parse_dotted_u32("192.168.1.2", value, true));
  EXPECT_EQ(value, 0x0201A8C0u);
  EXPECT_TRUE(parse_dotted_u32("1:2:3:4", value, false));
  EXPECT_EQ(value, 0x01020304u);
  EXPECT_TRUE(parse_dotted_u32("0x10-o10-3-4", value, false));
  EXPECT_EQ(value, 0x10080304u);
  EXPECT_FALSE(parse_dotted_u32("1234", value, false));
  EXPECT_FALSE(parse_dotted_u32(nullptr, value, false));
  EXPECT_FALSE(parse_dotted_u32("1.2.3.-1", value, false));
}

TEST(Addresses, ByteAddresses) {
  struct row {
    std::string text;
    bool ok;
    bytes values;
  } rows[] = {
      {"00:1a:2b:3c:4d:5e", true, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}},
      {"00:11:22:33:44:55", true, {0, 11, 22, 33, 44, 55}},  // no hex letter: decimal
      {"0x1a-0x2b", true, {0x1A, 0x2B}},
      {"1.300.2", false, {}},  // a part above 255 is no byte
      {"1.zz.2", false, {}},  // a part that is no number
      {"a", false, {}},
      {std::string(40, '1') + "." + std::string(40, '2'), false, {}},  // 81 characters
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    bytes out{0xEE};
    EXPECT_EQ(parse_address_bytes(r.text.c_str(), out), r.ok);
    EXPECT_EQ(out, r.values);
  }
  u8 dest[6] = {};
  EXPECT_TRUE(parse_address_bytes_fixed("00:1a:2b:3c:4d:5e", dest, 6));
  EXPECT_EQ(bytes(dest, dest + 6), (bytes{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
  u8 untouched[4] = {9, 9, 9, 9};
  EXPECT_FALSE(parse_address_bytes_fixed("00:1a:2b:3c:4d:5e", untouched, 4));
  EXPECT_EQ(bytes(untouched, untouched + 4), bytes(4, 9));
  EXPECT_TRUE(parse_address_bytes_fixed_wide(L"0a-0b", dest, 2));
  EXPECT_EQ(dest[1], 0x0B);
  EXPECT_FALSE(parse_address_bytes_fixed_wide(nullptr, dest, 2));
}

// Python's base64 module is the reference; a text without padding is padded for it.
TEST(Base64Decode, AgreesWithPython) {
  if (!have_python()) GTEST_SKIP() << "skipped: python3 not found";
  const std::string texts[] = {
      "QUJD",        "QQ==",          "QUI=",     "QQ",           "QUI",       "QUJDQQ",
      "QUJDQUI",     "aGVsbG8gd29ybGQ=", "/+/+",  "AAAA",         "QU JD\nQQ==", "Q*U\tJ-D",
      "=QUJD",       "QUJD=",         "////////", "SGk/Pz8+Pg==",
  };
  std::string command =
      "python3 -c \"import base64, re, sys\n"
      "for a in sys.argv[1:]:\n"
      "  t = re.sub(rb'[^A-Za-z0-9+/=]', b'', bytes.fromhex(a))\n"
      "  t = t if b'=' in t else t + b'=' * (-len(t) % 4)\n"
      "  print(base64.b64decode(t).hex())\"";
  for (const std::string& text : texts) command.append(1, ' ').append(to_hex(bytes(text.begin(), text.end())));
  const std::vector<std::string> expected = command_lines(command);
  ASSERT_EQ(expected.size(), std::size(texts));
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(texts[i]);
    bytes out{0xEE};
    EXPECT_TRUE(base64_decode(texts[i].c_str(), static_cast<int>(texts[i].size()), out));
    EXPECT_EQ(to_hex(out), expected[i]);
  }
}

TEST(Base64Decode, EdgesOfTheText) {
  struct row {
    const char* name;
    std::string text;
    int length;
    std::string decoded;
  } rows[] = {
      // The last group of 2 or 3 characters holds its own bytes, not the previous group's.
      {"short last group", "QUJDQQ", 6, "ABCA"},
      {"lone last character", "QUJDQ", 5, "ABC"},
      {"padded groups in a row", "QQ==QUJD", 8, "AABC"},
      {"length cuts the text", "QUJDQUJD", 4, "ABC"},
      {"NUL ends the text", std::string("QUJD\0QUJD", 9), 9, "ABC"},
      {"nothing to decode", "!!", 2, ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    bytes out{0xEE};
    EXPECT_TRUE(base64_decode(r.text.data(), r.length, out));
    EXPECT_EQ(std::string(out.begin(), out.end()), r.decoded);
  }
  bytes out{0xEE};
  EXPECT_FALSE(base64_decode(nullptr, 4, out));
  EXPECT_FALSE(base64_decode("QUJD", 0, out));
  EXPECT_FALSE(base64_decode("QUJD", -1, out));
  EXPECT_EQ(out, bytes{0xEE});
}

}  // namespace
