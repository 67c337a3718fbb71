#include "framework/text/qz_guid.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

using bytes = std::vector<u8>;

// 00112233-4455-6677-8899-aabbccddeeff as stored.
const bytes sample_stored = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                             0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
const char* const sample_text = "00112233-4455-6677-8899-aabbccddeeff";

bytes stored_bytes(const guid_t& guid) {
  bytes out(16);
  guid.to_bytes(out.data());
  return out;
}

// A value no reader here produces, to show what a failed read leaves alone.
guid_t filled_guid() { return guid_t(bytes(16, 0x5A)); }

TEST(GuidValue, ConstructionAndCopying) {
  const guid_t sample(sample_stored.data());
  EXPECT_EQ(0x00112233u, sample.data1);
  EXPECT_EQ(0x4455, sample.data2);
  EXPECT_EQ(0x6677, sample.data3);
  EXPECT_EQ(sample_stored, stored_bytes(sample));
  EXPECT_EQ(sample, guid_t(sample_stored));

  bytes longer = sample_stored;
  longer.push_back(0x01);
  EXPECT_EQ(sample, guid_t(longer));

  // Too few bytes, or none at all, give the zero GUID rather than an unset value.
  const bytes short_vector(sample_stored.begin(), sample_stored.end() - 1);
  EXPECT_EQ(guid_t(), guid_t(short_vector));
  EXPECT_EQ(guid_t(), guid_t(bytes()));
  EXPECT_EQ(guid_t(), guid_t(static_cast<const u8*>(nullptr)));
  EXPECT_EQ(bytes(16, 0), stored_bytes(guid_t()));

  guid_t copy = filled_guid();
  copy.assign(sample);
  EXPECT_EQ(sample, copy);
  copy.clear();
  EXPECT_EQ(bytes(16, 0), stored_bytes(copy));
}

TEST(GuidText, PrintedForms) {
  const guid_t sample(sample_stored.data());
  EXPECT_EQ(sample_text, guid_to_string(sample));
  EXPECT_EQ("00000000-0000-0000-0000-000000000000", guid_to_string(guid_t()));
  const guid_t all_ones(bytes(16, 0xFF));
  EXPECT_EQ("ffffffff-ffff-ffff-ffff-ffffffffffff", guid_to_string(all_ones));

  std::string out = "old";
  EXPECT_TRUE(guid_to_string(out, &sample));
  EXPECT_EQ(sample_text, out);
  EXPECT_FALSE(guid_to_string(out, nullptr));
  EXPECT_TRUE(out.empty());

  struct style_row {
    u32 style;
    const char* text;
  };
  const style_row styles[] = {
      {1, "0x00112233, 0x4455, 0x6677, 0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff"},
      {2, "33 22 11 00 55 44 77 66 88 99 aa bb cc dd ee ff"},
      {3, "0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, "
          "0xee, 0xff"},
      {0, sample_text},
      {4, sample_text},
  };
  for (const auto& row : styles) {
    SCOPED_TRACE(row.style);
    out = "old";
    EXPECT_TRUE(guid_format(out, sample, row.style));
    EXPECT_EQ(row.text, out);
  }
  EXPECT_TRUE(guid_to_c_initializer(out, sample));
  EXPECT_EQ(styles[0].text, out);
  EXPECT_TRUE(guid_with_id_to_c_initializer(out, sample, 0x12345));
  EXPECT_EQ(std::string(styles[0].text) + ", 9029", out);
}

TEST(GuidText, TextBufferSizes) {
  bytes riff = sample_stored;
  riff[0] = 'R', riff[1] = 'I', riff[2] = 'F', riff[3] = 'F';
  bytes unprintable = sample_stored;
  unprintable[0] = 0x2F, unprintable[1] = 0x30, unprintable[2] = 0x7A, unprintable[3] = 0x7B;
  struct case_row {
    const char* name;
    bytes stored;
    u64 size;
    bool ok;
    const char* text;
  };
  const case_row cases[] = {
      {"one short of the text and its NUL", sample_stored, 36, false, ""},
      {"text and NUL", sample_stored, 37, true, sample_text},
      {"below the room for the tag", sample_stored, 41, true, sample_text},
      {"tag of data1's bytes", riff, 42, true, "46464952-4455-6677-8899-aabbccddeeff RIFF"},
      {"tag bytes outside 0-z", unprintable, 64, true, "7b7a302f-4455-6677-8899-aabbccddeeff .0z."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<char> buffer(c.size + 1, '#');
    EXPECT_EQ(c.ok, guid_to_text_buffer(buffer.data(), c.size, guid_t(c.stored)));
    if (c.ok) {
      EXPECT_STREQ(c.text, buffer.data());
    } else {
      EXPECT_EQ('#', buffer[0]);
    }
  }
  EXPECT_FALSE(guid_to_text_buffer(nullptr, 64, guid_t()));
}

TEST(GuidParse, DashedTextReadsBackIntoGuidByteOrder) {
  struct case_row {
    const char* name;
    std::string text;
  };
  const case_row cases[] = {
      {"lower case", sample_text},
      {"upper case", "00112233-4455-6677-8899-AABBCCDDEEFF"},
      {"braces", "{00112233-4455-6677-8899-aabbccddeeff}"},
      {"blanks before numbers and separators", "  {00112233 - 4455 -6677- 8899-aabbccddeeff"},
      {"short numbers", "112233-4455-6677-8899-aabbccddeeff"},
      {"other separators", "00112233:4455:6677:8899:aabbccddeeff"},
      {"text after the last number", "00112233-4455-6677-8899-aabbccddeeff; more"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    guid_t guid = filled_guid();
    EXPECT_TRUE(parse_guid_text(c.text, guid));
    EXPECT_EQ(sample_stored, stored_bytes(guid));
    bytes out = {1};
    EXPECT_TRUE(parse_guid_text_bytes(c.text, out));
    EXPECT_EQ(sample_stored, out);
    if (c.text.find('-') != std::string::npos) {  // parse_guid takes dashed text this way
      guid = filled_guid();
      parse_guid(guid, c.text);
      EXPECT_EQ(sample_stored, stored_bytes(guid));
    }
  }

  // Printed text reads back to the same value, whatever the case it is given in.
  for (u8 seed : std::initializer_list<u8>{0x00, 0x0F, 0x7E, 0xFF}) {
    bytes stored(16);
    for (size_t i = 0; i < 16; ++i) stored[i] = static_cast<u8>(seed + 17 * i);
    const guid_t original(stored);
    std::string text = guid_to_string(original);
    for (char& ch : text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    guid_t back;
    ASSERT_TRUE(parse_guid_text("{" + text + "}", back));
    EXPECT_EQ(original, back) << text;
  }
}

TEST(GuidParse, InvalidDashedTextIsRefusedAndChangesNothing) {
  struct case_row {
    const char* name;
    std::string text;
  };
  const case_row cases[] = {
      {"shorter than 22 characters", "0-1-2-3-445566778899"},
      {"empty", ""},
      {"no digits at all", "not-a-guid-at-all-in-any-way"},
      {"a field without digits", "00112233--6677-8899-aabbccddeeff"},
      {"fourth number of 16 digits", "00112233-4455-6677-8899aabbccddeeffgg"},
      {"fifth number without digits", "00112233-4455-6677-8899--------"},
      {"letter as separator", "00112233g4455-6677-8899-aabbccddeeff"},
      {"data1 of nine digits", "001122334-4455-6677-8899-aabbccddeeff"},
      {"last field of 13 digits", "00112233-4455-6677-8899-aabbccddeeff0"},
      {"non-hex inside a field", "0011g233-4455-6677-8899-aabbccddeeff"},
      {"two braces", "{{00112233-4455-6677-8899-aabbccddeeff}"},
      {"ends after a separator", "00112233-4455-6677-8899-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    guid_t guid = filled_guid();
    EXPECT_FALSE(parse_guid_text(c.text, guid));
    EXPECT_EQ(filled_guid(), guid);
    bytes out = {1, 2};
    EXPECT_FALSE(parse_guid_text_bytes(c.text, out));
    EXPECT_EQ(bytes({1, 2}), out);
    parse_guid(guid, c.text);
    EXPECT_EQ(filled_guid(), guid);
  }
}

TEST(GuidParse, UndashedForms) {
  const bytes text_order = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                            0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
  bytes bad_pair = text_order;
  bad_pair[1] = 0x01;  // "1g": the value of its leading digit
  bad_pair[2] = 0x00;  // "g2": no leading digit
  struct case_row {
    const char* name;
    std::string text;
    bool changes;
    bytes stored;
  };
  const case_row cases[] = {
      {"32 digits in text order", "00112233445566778899AABBCCDDEEFF", true, text_order},
      {"32 characters with pairs that are not hex", "001gg233445566778899aabbccddeeff", true,
       bad_pair},
      {"16 blank-separated bytes", "00 11 22 33 44 55 66 77 88 99 aa bb cc dd ee ff", true,
       text_order},
      {"47 characters giving 15 bytes", "00 11 22 33 44 55 66 77 88 99 aa bb cc dd eeeff", false,
       {}},
      {"31 digits", "00112233445566778899aabbccddeef", false, {}},
      {"33 digits", "00112233445566778899aabbccddeeff0", false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    guid_t guid = filled_guid();
    parse_guid(guid, c.text);
    EXPECT_EQ(c.changes ? c.stored : stored_bytes(filled_guid()), stored_bytes(guid));
  }
}

TEST(GuidParse, DigitsIntoGuidByteOrder) {
  guid_t guid = filled_guid();
  parse_guid_digits(guid, "00112233445566778899aabbccddeeff");
  EXPECT_EQ(sample_stored, stored_bytes(guid));

  // Reading stops at the first non-hex character; every later field stays zero.
  guid = filled_guid();
  parse_guid_digits(guid, "00112233445x66778899aabbccddeeff");
  EXPECT_EQ("00112233-0445-0000-0000-000000000000", guid_to_string(guid));
  guid = filled_guid();
  parse_guid_digits(guid, "0011223344556677889?aabbccddeeff");
  EXPECT_EQ("00112233-4455-6677-8809-000000000000", guid_to_string(guid));

  for (const char* text : {"", "00112233445566778899aabbccddeef", "{00112233445566778899aabbccddeeff}"}) {
    guid = filled_guid();
    parse_guid_digits(guid, text);
    EXPECT_EQ(filled_guid(), guid) << text;
  }
}

TEST(SidText, RevisionAuthorityAndSubAuthorities) {
  const bytes admins = {1, 2, 0, 0, 0, 0, 0, 5, 0x20, 0, 0, 0, 0x20, 2, 0, 0};
  const bytes bare = {1, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0};
  const bytes large = {1, 1, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  struct case_row {
    const char* name;
    bytes sid;
    u32 size;
    bool ok;
    bool exact_ok;
    const char* text;
  };
  const case_row cases[] = {
      {"two sub-authorities", admins, 16, true, true, "S-1-5-32-544"},
      {"size short of the sub-authorities", admins, 12, false, false, ""},
      {"no sub-authorities in 12 bytes", bare, 12, true, false, "S-1-5"},
      {"below 12 bytes", bare, 8, false, false, ""},
      {"largest sub-authority", large, 12, true, true, "S-1-255-4294967295"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "old";
    EXPECT_EQ(c.ok, sid_to_text(out, c.sid.data(), c.size));
    EXPECT_EQ(c.ok ? c.text : "", out);
    EXPECT_EQ(c.ok ? c.text : "", sid_text(c.sid.data(), c.size));
    out = "old";
    EXPECT_EQ(c.exact_ok, sid_to_text_exact(out, c.sid.data(), c.size));
    EXPECT_EQ(c.exact_ok ? c.text : "", out);
  }
  bytes padded = admins;
  padded.resize(20);
  std::string out;
  EXPECT_TRUE(sid_to_text(out, padded.data(), 20));
  EXPECT_FALSE(sid_to_text_exact(out, padded.data(), 20));
  EXPECT_FALSE(sid_to_text(out, nullptr, 16));
  EXPECT_EQ("", sid_text(nullptr, 16));
}

TEST(AddressText, BytesByLength) {
  const u8 raw[] = {0xC0, 0xA8, 0x00, 0x01, 0x4F, 0x5E, 0x0A, 0xFF};
  const u8 mac[] = {0x00, 0x1B, 0x21, 0x3A, 0x4F, 0x5E};
  struct case_row {
    const char* name;
    const u8* data;
    i32 length;
    bool ok;
    const char* text;
  };
  const case_row cases[] = {
      {"IPv4", raw, 4, true, "192.168.0.1"},
      {"MAC", mac, 6, true, "00:1b:21:3a:4f:5e"},
      {"EUI-64", raw, 8, true, "c0:a8:00:01:4f:5e:0a:ff"},
      {"5 bytes", raw, 5, false, ""},
      {"no bytes", raw, 0, false, ""},
      {"negative length", raw, -4, false, ""},
      {"null pointer", nullptr, 4, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "old";
    EXPECT_EQ(c.ok, address_bytes_to_text(c.data, c.length, out));
    EXPECT_EQ(c.text, out);
  }

  std::string out;
  EXPECT_TRUE(ipv4_to_text(0xC0A80001, out));
  EXPECT_EQ("192.168.0.1", out);
  EXPECT_TRUE(ipv4_to_text(0xFFFFFFFF, out));
  EXPECT_EQ("255.255.255.255", out);
  std::wstring wide;
  EXPECT_TRUE(ipv4_to_wide_text(0x0A000001, wide));
  EXPECT_EQ(L"10.0.0.1", wide);
}

TEST(AddressText, Ipv6CompressesTheFirstZeroRun) {
  struct case_row {
    const char* name;
    std::vector<u16> groups;
    const char* text;
  };
  const case_row cases[] = {
      {"inner run", {0x2001, 0xdb8, 0, 0, 0, 0, 0, 1}, "2001:db8::1"},
      {"all zero", {0, 0, 0, 0, 0, 0, 0, 0}, "::"},
      {"leading run", {0, 0, 0, 0, 0, 0, 0, 1}, "::1"},
      {"trailing run", {0xfe80, 0, 0, 0, 0, 0, 0, 0}, "fe80::"},
      {"only the first run compressed", {1, 0, 2, 0, 3, 4, 5, 6}, "1::2:0:3:4:5:6"},
      {"last group zero", {1, 2, 3, 4, 5, 6, 7, 0}, "1:2:3:4:5:6:7::"},
      {"no zero group", {0xffff, 0xabcd, 0x10, 1, 2, 3, 4, 5}, "ffff:abcd:10:1:2:3:4:5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bytes network;  // big-endian groups
    for (u16 group : c.groups) {
      network.push_back(static_cast<u8>(group >> 8));
      network.push_back(static_cast<u8>(group));
    }
    std::vector<u16> words(c.groups.size());
    std::memcpy(words.data(), network.data(), network.size());
    std::string out = "old";
    EXPECT_TRUE(ipv6_to_text(words.data(), static_cast<i32>(network.size()), out));
    EXPECT_EQ(c.text, out);
  }

  const u16 word = 0;
  std::string out = "old";
  EXPECT_FALSE(ipv6_to_text(nullptr, 16, out));
  EXPECT_FALSE(ipv6_to_text(&word, 0, out));
  EXPECT_FALSE(ipv6_to_text(&word, 1, out));
  EXPECT_FALSE(ipv6_to_text(&word, -2, out));
  EXPECT_EQ("old", out);
}

}  // namespace
