#include "framework/text/qz_md5.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const u8* bytes_of(const std::string& text) { return reinterpret_cast<const u8*>(text.data()); }

std::string hex_of(const u8 digest[16]) {
  std::string out;
  return bytes_to_hex(out, digest, 16, false);
}

std::string digest_hex(const std::string& message) {
  u8 digest[16];
  if (!md5_digest(bytes_of(message), u32(message.size()), digest)) return "(failed)";
  return hex_of(digest);
}

// The message fed to md5_update in pieces of piece bytes (the last may be shorter).
std::string digest_in_pieces(md5_context& ctx, const std::string& message, std::size_t piece) {
  for (std::size_t pos = 0; pos < message.size(); pos += piece) {
    std::size_t n = std::min(piece, message.size() - pos);
    EXPECT_TRUE(md5_update(&ctx, bytes_of(message) + pos, u32(n)));
  }
  u8 digest[16];
  EXPECT_TRUE(md5_final(digest, &ctx));
  return hex_of(digest);
}

std::string pattern_bytes(std::size_t n) {
  std::string out(n, '\0');
  for (std::size_t i = 0; i < n; ++i) out[i] = char((i * 7 + 3) & 0xFF);
  return out;
}

struct digest_case {
  const char* name;
  std::string message;
  const char* hex;
};

// The test suite of RFC 1321; the empty message goes through init and final, since
// md5_digest refuses to hash nothing.
const std::vector<digest_case> rfc_suite = {
    {"empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"alphabet", "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"alphanumeric", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"digits x8",
     "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5Digest, RfcTestSuite) {
  for (const auto& c : rfc_suite) {
    SCOPED_TRACE(c.name);
    if (c.message.empty()) {
      md5_context ctx;
      ASSERT_TRUE(md5_init(&ctx));
      u8 digest[16];
      ASSERT_TRUE(md5_final(digest, &ctx));
      EXPECT_EQ(hex_of(digest), c.hex);
    } else {
      EXPECT_EQ(digest_hex(c.message), c.hex);
    }
  }
}

// Lengths around the padding boundary: an extra block is needed exactly from 56 bytes on.
TEST(Md5Digest, PaddingBoundaries) {
  const std::vector<digest_case> cases = {
      {"55", std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
      {"56", std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
      {"63", std::string(63, 'a'), "b06521f39153d618550606be297466d5"},
      {"64", std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
      {"65", std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
      {"127", std::string(127, 'a'), "020406e1d05cdc2aa287641f7ae2cc39"},
      {"128", std::string(128, 'a'), "e510683b3f5ffe4093d021808bc6ff70"},
      {"3000 mixed bytes", pattern_bytes(3000), "bb3132c5a6978faf98b3c4c00122cc2f"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(digest_hex(c.message), c.hex);
  }
}

TEST(Md5Digest, PiecesOfAnySizeGiveTheSameDigest) {
  const std::string message = pattern_bytes(3000);
  const std::string expected = "bb3132c5a6978faf98b3c4c00122cc2f";
  md5_context ctx;
  ASSERT_TRUE(md5_init(&ctx));
  // One context for all: md5_final leaves it ready for the next message.
  for (std::size_t piece : {1u, 7u, 63u, 64u, 65u, 1000u, 3000u}) {
    SCOPED_TRACE(piece);
    EXPECT_EQ(digest_in_pieces(ctx, message, piece), expected);
  }
  EXPECT_EQ(digest_in_pieces(ctx, "abc", 1), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5Digest, RefusedInputsChangeNothing) {
  u8 digest[16];
  std::memset(digest, 0x5A, sizeof digest);
  const u8 untouched[16] = {0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A,
                            0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A};
  const u8 data[3] = {'a', 'b', 'c'};
  EXPECT_FALSE(md5_digest(data, 0, digest));
  EXPECT_FALSE(md5_digest(nullptr, 3, digest));
  EXPECT_FALSE(md5_digest(data, 3, nullptr));
  EXPECT_EQ(std::memcmp(digest, untouched, 16), 0);

  md5_context ctx;
  ASSERT_TRUE(md5_init(&ctx));
  ASSERT_TRUE(md5_update(&ctx, data, 2));
  md5_context before = ctx;
  EXPECT_FALSE(md5_update(&ctx, data, 0));
  EXPECT_FALSE(md5_update(&ctx, nullptr, 3));
  EXPECT_FALSE(md5_update(nullptr, data, 3));
  EXPECT_EQ(std::memcmp(&ctx, &before, sizeof ctx), 0);

  EXPECT_FALSE(md5_init(nullptr));
  EXPECT_FALSE(md5_final(digest, nullptr));
  EXPECT_FALSE(md5_final(nullptr, &ctx));
  EXPECT_EQ(std::memcmp(&ctx, &before, sizeof ctx), 0);
}

TEST(BytesToHex, TwoLowerCaseDigitsPerByte) {
  const u8 bytes[3] = {0x00, 0x0A, 0xFF};
  std::string out = "stale";
  EXPECT_EQ(bytes_to_hex(out, bytes, 3, false), "000aff");
  EXPECT_EQ(bytes_to_hex(out, bytes, 3, true), "00 0a ff");
  EXPECT_EQ(bytes_to_hex(out, bytes, 1, true), "00");
  for (i32 length : {0, -1}) {
    out = "stale";
    EXPECT_EQ(bytes_to_hex(out, bytes, length, false), "") << length;
  }
  out = "stale";
  EXPECT_EQ(bytes_to_hex(out, nullptr, 3, false), "");
}

TEST(SanitizeIdentifier, RunsOfUnsafeBytesBecomeOneUnderscore) {
  struct {
    const char* name;
    std::string in;
    std::string out;
  } cases[] = {
      {"blank", "a b", "a_b"},
      {"punctuation runs", "a, b;c", "a_b_c"},
      {"leading run dropped", "/Users/x", "Users_x"},
      {"runs at both ends dropped", "  x  ", "x"},
      {"nothing kept", "%%%", ""},
      {"empty", "", ""},
      {"kept punctuation untouched", "a--b..c__d", "a--b..c__d"},
      {"underscore next to a run", "a_ b", "a__b"},
      {"UTF-8 letters",
       "Gr\xC3\xBC\xC3\x9F"
       "e",
       "Gr_e"},
      {"tab", "Tab\tName", "Tab_Name"},
      {"control bytes and NUL",
       std::string("\x01\x02"
                   "a\0\x7F"
                   "b\r\n",
                   8),
       "a_b"},
      {"case kept", "MixedCase-09", "MixedCase-09"},
      {"group name", "Prefetch Files - 0cc175b9c0f1b6a831c399e269772661",
       "Prefetch_Files_-_0cc175b9c0f1b6a831c399e269772661"},
  };
  for (const auto& c : cases) {
    std::string out = "stale";
    EXPECT_EQ(sanitize_identifier(out, c.in), c.out) << c.name;
  }
}

TEST(ReplaceNonLetters, EveryNonLetterByteBecomesUnderscore) {
  std::string text = "a1-b c";
  replace_non_letters(text);
  EXPECT_EQ(text, "a__b_c");
  text = "Z\xC3\xA9_.z";
  replace_non_letters(text);
  EXPECT_EQ(text, "Z____z");
  text.clear();
  replace_non_letters(text);
  EXPECT_EQ(text, "");
}

}  // namespace
