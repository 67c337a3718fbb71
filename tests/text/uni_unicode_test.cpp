#include "framework/text/uni_unicode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/text/reference_tool.h"

namespace {

std::string bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

std::vector<u8> byte_vector(const std::string& text) { return std::vector<u8>(text.begin(), text.end()); }

// A heap copy of exactly the given bytes, so that AddressSanitizer reports any read past them
// (a std::string always has a NUL after its last byte).
std::unique_ptr<char[]> exact_copy(const std::string& text) {
  std::unique_ptr<char[]> copy(new char[text.size()]);
  std::memcpy(copy.get(), text.data(), text.size());
  return copy;
}

struct decode_case {
  const char* name;
  std::string utf8;
  bool valid;
  std::wstring decoded;  // the whole text when valid, else what comes before the bad sequence
};

const std::vector<decode_case>& decode_cases() {
  static const std::vector<decode_case> cases = {
      {"ascii", "abc", true, L"abc"},
      {"embedded nul", bytes({0x61, 0x00, 0x62}), true, std::wstring(L"a\0b", 3)},
      {"two bytes lowest", bytes({0xC2, 0x80}), true, L"\x80"},
      {"two bytes highest", bytes({0xDF, 0xBF}), true, L"\x7FF"},
      {"three bytes lowest", bytes({0xE0, 0xA0, 0x80}), true, L"\x800"},
      {"euro", bytes({0xE2, 0x82, 0xAC}), true, L"\x20AC"},
      {"three bytes highest", bytes({0xEF, 0xBF, 0xBF}), true, L"\xFFFF"},
      {"four bytes lowest", bytes({0xF0, 0x90, 0x80, 0x80}), true, L"\x10000"},
      {"emoji", bytes({0xF0, 0x9F, 0x98, 0x80}), true, L"\x1F600"},
      {"highest code point", bytes({0xF4, 0x8F, 0xBF, 0xBF}), true, L"\x10FFFF"},
      {"bad continuation", bytes({0xC3, 0x28}), false, L""},
      {"bad continuation after text", bytes({0x41, 0xC3, 0x28}), false, L"A"},
      {"lone continuation byte", bytes({0x41, 0x80}), false, L"A"},
      {"lone 0xBF", bytes({0xBF}), false, L""},
      {"lone 0xFE", bytes({0xFE}), false, L""},
      {"lone 0xFF", bytes({0x61, 0xFF, 0x62}), false, L"a"},
      {"five byte lead", bytes({0xF8, 0x88, 0x80, 0x80, 0x80}), false, L""},
      {"overlong nul", bytes({0x61, 0xC0, 0x80}), false, L"a"},
      {"overlong slash two bytes", bytes({0x2E, 0x2E, 0xC0, 0xAF}), false, L".."},
      {"overlong slash three bytes", bytes({0xE0, 0x80, 0xAF}), false, L""},
      {"overlong slash four bytes", bytes({0xF0, 0x80, 0x80, 0xAF}), false, L""},
      {"overlong 0x7FF", bytes({0xE0, 0x9F, 0xBF}), false, L""},
      {"overlong 0xFFFF", bytes({0xF0, 0x8F, 0xBF, 0xBF}), false, L""},
      {"above 0x10FFFF", bytes({0x41, 0xF4, 0x90, 0x80, 0x80, 0x42}), false, L"A"},
      {"lead 0xF7", bytes({0xF7, 0xBF, 0xBF, 0xBF}), false, L""},
      {"two bytes cut at end", bytes({0x61, 0xC3}), false, L"a"},
      {"three bytes cut at end", bytes({0xE2, 0x82}), false, L""},
      {"four bytes cut at end", bytes({0x61, 0xF0, 0x9F, 0x98}), false, L"a"},
      {"cut sequence before ascii", bytes({0xE2, 0x82, 0x41}), false, L""},
  };
  return cases;
}

TEST(Utf8Decoding, EveryDecoderAgreesOnValidAndMalformedText) {
  for (const decode_case& c : decode_cases()) {
    SCOPED_TRACE(c.name);
    std::wstring wide = L"old";
    EXPECT_EQ(c.valid, utf8_to_wide(wide, c.utf8));
    EXPECT_EQ(c.decoded, wide);

    EXPECT_EQ(c.valid ? c.decoded : std::wstring(), utf8_to_wstring(c.utf8));
    EXPECT_EQ(c.valid ? c.decoded : std::wstring(), utf8_bytes_to_wstring(byte_vector(c.utf8)));
    EXPECT_EQ(c.valid, utf8_bytes_to_wide(wide, byte_vector(c.utf8)));
    EXPECT_EQ(c.decoded, wide);

    std::vector<u32> units;
    EXPECT_EQ(c.valid, utf8_to_utf32_units(units, c.utf8));
    EXPECT_EQ(std::vector<u32>(c.decoded.begin(), c.decoded.end()), units);

    EXPECT_EQ(c.valid, is_valid_utf8(c.utf8));
    std::unique_ptr<char[]> exact = exact_copy(c.utf8);
    EXPECT_EQ(c.valid, is_valid_utf8(exact.get(), c.utf8.size()));
    EXPECT_EQ(c.valid ? c.decoded.size() : 0u, utf8_length(c.utf8));
    if (c.valid) {
      EXPECT_EQ(c.utf8, wstring_to_utf8(utf8_to_wstring(c.utf8)));
    }
  }
}

TEST(Utf8Decoding, AppendingDecoderKeepsWhatIsThere) {
  std::wstring out = L"x";
  EXPECT_TRUE(decode_utf8_to_wide(out, "yz"));
  EXPECT_EQ(L"xyz", out);
  EXPECT_FALSE(decode_utf8_to_wide(out, bytes({0x41, 0xC3})));
  EXPECT_EQ(L"xyzA", out);
}

TEST(Utf8Decoding, EmptyTextIsAFailureButValid) {
  std::wstring wide = L"old";
  EXPECT_FALSE(utf8_to_wide(wide, ""));
  EXPECT_EQ(L"", wide);
  EXPECT_FALSE(decode_utf8_to_wide(wide, ""));
  EXPECT_EQ(L"", utf8_to_wstring(""));
  EXPECT_FALSE(utf8_bytes_to_wide(wide, {}));
  std::vector<u32> units = {1};
  EXPECT_FALSE(utf8_to_utf32_units(units, ""));
  EXPECT_TRUE(units.empty());
  EXPECT_EQ(0u, utf8_length(""));
  EXPECT_TRUE(is_valid_utf8(""));
}

// Every two-byte text, then every three-byte text with a three-byte lead, in that order.
std::vector<std::string> short_texts() {
  std::vector<std::string> texts;
  for (int first = 0; first < 256; ++first) {
    for (int second = 0; second < 256; ++second) texts.push_back(bytes({first, second}));
  }
  for (int lead = 0xE0; lead <= 0xEF; ++lead) {
    for (int second = 0; second < 256; ++second) {
      for (int third = 0; third < 256; ++third) texts.push_back(bytes({lead, second, third}));
    }
  }
  return texts;
}

// The validity check is what a file layer relies on to refuse a name: a text it accepts must
// come back byte for byte, and one it refuses decodes only when it holds a surrogate value.
TEST(Utf8Validity, ValidTextsRoundTripAndOnlySurrogatesDecodeBesides) {
  for (const std::string& text : short_texts()) {
    const std::wstring wide = utf8_to_wstring(text);
    const bool surrogate = wide.size() == 1 && wide[0] >= 0xD800 && wide[0] <= 0xDFFF;
    ASSERT_EQ(is_valid_utf8(text), !wide.empty() && !surrogate) << testing::PrintToString(text);
    if (!wide.empty()) {
      ASSERT_EQ(text, wstring_to_utf8(wide)) << testing::PrintToString(text);
    }
  }
}

// Valid UTF-8 is what a strict decoder takes: Python's bytes.decode("utf-8"), over the same
// texts.
TEST(Utf8Validity, AgreesWithPythonsStrictDecoder) {
  if (!reference_tool_present("python3")) GTEST_SKIP() << "python3 not found";
  const char* script =
      "python3 -c '\n"
      "import sys\n"
      "def valid(data):\n"
      "    try:\n"
      "        data.decode(\"utf-8\")\n"
      "        return \"1\"\n"
      "    except UnicodeDecodeError:\n"
      "        return \"0\"\n"
      "texts = [bytes((a, b)) for a in range(256) for b in range(256)]\n"
      "texts += [bytes((a, b, c)) for a in range(0xE0, 0xF0) for b in range(256) for c in range(256)]\n"
      "sys.stdout.write(\"\".join(valid(t) for t in texts))\n"
      "'";
  std::string expected;
  ASSERT_TRUE(run_reference_tool(script, "", expected));
  const std::vector<std::string> texts = short_texts();
  ASSERT_EQ(expected.size(), texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    ASSERT_EQ(expected[i] == '1', is_valid_utf8(texts[i])) << testing::PrintToString(texts[i]);
  }
}

// A surrogate value is no valid UTF-8: refused, and shown or replaced byte by byte like any
// other stray byte. The decoders still read it, as the encoders write a lone surrogate.
TEST(Utf8Validity, SurrogateValuesAreNotValid) {
  struct row {
    const char* name;
    std::string utf8;
    bool valid;
    std::wstring decoded;
    std::string escaped;
  };
  const row rows[] = {
      {"last value before them", bytes({0xED, 0x9F, 0xBF}), true, L"\xD7FF", bytes({0xED, 0x9F, 0xBF})},
      {"first high surrogate", bytes({0xED, 0xA0, 0x80}), false, L"\xD800", "\\xed\\xa0\\x80"},
      {"last low surrogate", bytes({0xED, 0xBF, 0xBF}), false, L"\xDFFF", "\\xed\\xbf\\xbf"},
      {"a pair written unit by unit", bytes({0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80}), false, L"\xD83D\xDE00",
       "\\xed\\xa0\\xbd\\xed\\xb8\\x80"},
      {"first value after them", bytes({0xEE, 0x80, 0x80}), true, L"\xE000", bytes({0xEE, 0x80, 0x80})},
  };
  const std::string fffd = "\xEF\xBF\xBD";
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.valid, is_valid_utf8(r.utf8));
    EXPECT_EQ(r.valid ? 3u : 0u, utf8_sequence_length(reinterpret_cast<const unsigned char*>(r.utf8.data()), 3));
    EXPECT_EQ(r.escaped, escape_invalid_utf8(r.utf8));
    std::string replaced;
    for (std::size_t i = 0; i < r.utf8.size(); ++i) replaced += fffd;
    EXPECT_EQ(r.valid ? r.utf8 : replaced, replace_invalid_utf8(r.utf8));
    EXPECT_EQ(r.decoded, utf8_to_wstring(r.utf8));
    EXPECT_EQ(r.utf8, wstring_to_utf8(r.decoded));
  }
}

// Names shown in messages: bytes of no valid sequence and control characters escaped, or
// (for matching) bytes of no valid sequence made U+FFFD; valid text is kept as it is.
TEST(InvalidUtf8, EscapedForMessagesOrReplaced) {
  struct row {
    const char* name;
    std::string text;
    std::string escaped;
    std::string replaced;
  };
  const std::string fffd = "\xEF\xBF\xBD";
  const row rows[] = {
      {"valid text kept", "caf\xC3\xA9/\xF0\x9F\x93\x81.csv", "caf\xC3\xA9/\xF0\x9F\x93\x81.csv",
       "caf\xC3\xA9/\xF0\x9F\x93\x81.csv"},
      {"latin-1 byte", "bad\xFF.csv", "bad\\xff.csv", "bad" + fffd + ".csv"},
      {"cut sequence at the end", "a\xC3", "a\\xc3", "a" + fffd},
      {"overlong form, byte by byte", "\xC0\xAF", "\\xc0\\xaf", fffd + fffd},
      {"lead without continuation", "\xE2x\x82", "\\xe2x\\x82", fffd + "x" + fffd},
      {"control characters", "a\nb\x1b[2K\x7f", "a\\x0ab\\x1b[2K\\x7f", "a\nb\x1b[2K\x7f"},
      {"backslash kept", "c:\\x", "c:\\x", "c:\\x"},
      {"empty", "", "", ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(escape_invalid_utf8(r.text), r.escaped);
    EXPECT_EQ(replace_invalid_utf8(r.text), r.replaced);
  }
  // Whatever the bytes, both give valid UTF-8.
  std::string text(2, '\0');
  for (int first = 0; first < 256; ++first) {
    for (int second = 0; second < 256; ++second) {
      text[0] = static_cast<char>(first);
      text[1] = static_cast<char>(second);
      ASSERT_TRUE(is_valid_utf8(escape_invalid_utf8(text))) << first << " " << second;
      ASSERT_TRUE(is_valid_utf8(replace_invalid_utf8(text))) << first << " " << second;
      if (is_valid_utf8(text)) {
        ASSERT_EQ(replace_invalid_utf8(text), text);
      }
    }
  }
}

TEST(UnicodeRoundTrip, EveryCodePointThroughUtf8AndUtf16) {
  std::wstring one(1, L'\0');
  std::vector<u32> value(1);
  std::vector<u16> utf16;
  std::vector<u32> back;
  for (u32 code_point = 0; code_point <= 0x10FFFF; ++code_point) {
    one[0] = static_cast<wchar_t>(code_point);
    const std::string utf8 = wstring_to_utf8(one);
    ASSERT_EQ(one, utf8_to_wstring(utf8)) << code_point;
    ASSERT_EQ(1u, utf8_length(utf8)) << code_point;

    value[0] = code_point;
    const bool surrogate = code_point >= 0xD800 && code_point <= 0xDFFF;
    ASSERT_EQ(!surrogate, utf32_to_utf16_units(utf16, value)) << code_point;
    if (surrogate) continue;
    ASSERT_TRUE(utf16_units_to_utf32(back, utf16)) << code_point;
    ASSERT_EQ(value, back) << code_point;
    ASSERT_EQ(utf8, utf16_units_to_utf8_string(utf16)) << code_point;
  }
}

struct encode_case {
  const char* name;
  std::wstring wide;
  bool encodable;
  std::string utf8;
};

TEST(Utf8Encoding, ValuesWithoutAUtf8FormBecomeReplacementCharacters) {
  const std::string replacement = bytes({0xEF, 0xBF, 0xBD});
  const std::vector<encode_case> cases = {
      {"empty", L"", true, ""},
      {"ascii", L"Az", true, "Az"},
      {"boundaries", L"\x7F\x80\x7FF\x800", true, bytes({0x7F, 0xC2, 0x80, 0xDF, 0xBF, 0xE0, 0xA0, 0x80})},
      {"four bytes", L"\x10FFFF", true, bytes({0xF4, 0x8F, 0xBF, 0xBF})},
      {"surrogate value", L"\xDC00", true, bytes({0xED, 0xB0, 0x80})},
      // The text after a value above 0x10FFFF must not be lost.
      {"above 0x10FFFF", std::wstring{L'A', static_cast<wchar_t>(0x110000), L'B'}, false,
       "A" + replacement + "B"},
      // What a byte widened as a signed char gives.
      {"negative", std::wstring{L'x', static_cast<wchar_t>(-23), L'y'}, false, "x" + replacement + "y"},
  };
  for (const encode_case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "old";
    EXPECT_EQ(c.encodable, wide_to_utf8(out, c.wide));
    EXPECT_EQ(c.utf8, out);
    EXPECT_EQ(c.utf8, wstring_to_utf8(c.wide));

    std::vector<u32> values;
    for (wchar_t ch : c.wide) values.push_back(static_cast<u32>(ch));
    out = "old";
    EXPECT_EQ(c.utf8, encode_utf32_to_utf8(out, values));

    std::vector<u8> utf8_bytes = {1};
    EXPECT_EQ(c.encodable && !c.wide.empty(), wide_to_utf8_bytes(utf8_bytes, c.wide));
    EXPECT_EQ(byte_vector(c.utf8), utf8_bytes);
  }
}

struct utf16_case {
  const char* name;
  std::vector<u16> units;
  bool ok;
  std::string utf8;  // on failure, what comes before the unpaired high surrogate
};

TEST(Utf16Decoding, PairsJoinAndUnpairedHighSurrogatesFail) {
  const std::vector<utf16_case> cases = {
      {"ascii", {0x41, 0x42}, true, "AB"},
      {"nul unit", {0x41, 0x00}, true, std::string("A\0", 2)},
      {"bmp", {0x20AC}, true, bytes({0xE2, 0x82, 0xAC})},
      {"pair", {0xD83D, 0xDE00}, true, bytes({0xF0, 0x9F, 0x98, 0x80})},
      {"highest pair", {0xDBFF, 0xDFFF}, true, bytes({0xF4, 0x8F, 0xBF, 0xBF})},
      {"lone low", {0xDC00}, true, bytes({0xED, 0xB0, 0x80})},
      {"lone low before pair", {0xDC00, 0xD83D, 0xDE00}, true,
       bytes({0xED, 0xB0, 0x80, 0xF0, 0x9F, 0x98, 0x80})},
      {"lone high", {0xD83D}, false, ""},
      {"high at the end", {0x41, 0xD83D}, false, "A"},
      {"high before ascii", {0x41, 0xD83D, 0x42}, false, "A"},
      {"two highs", {0xD83D, 0xD83D, 0xDE00}, false, ""},
  };
  for (const utf16_case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "old";
    EXPECT_EQ(c.ok, utf16_to_utf8(out, c.units.data(), c.units.size() * 2));
    EXPECT_EQ(c.utf8, out);
    out = "old";
    EXPECT_EQ(c.ok, utf16_vector_to_utf8(out, c.units));
    EXPECT_EQ(c.utf8, out);
    EXPECT_EQ(c.ok ? c.utf8 : "", utf16_units_to_utf8_string(c.units));

    std::vector<u8> utf8_bytes = {1};
    EXPECT_EQ(c.ok, utf16_units_to_utf8_bytes(utf8_bytes, c.units));
    EXPECT_EQ(c.ok ? byte_vector(c.utf8) : std::vector<u8>(), utf8_bytes);

    std::string le_bytes;
    for (u16 unit : c.units) le_bytes += bytes({unit & 0xFF, unit >> 8});
    out = "old";
    EXPECT_EQ(c.ok, utf16_string_to_utf8(out, le_bytes));
    EXPECT_EQ(c.utf8, out);

    // The wide and UTF-32 forms decode the same units to the same code points.
    std::wstring wide = L"old";
    EXPECT_EQ(c.ok, utf16le_bytes_to_wide(wide, byte_vector(le_bytes)));
    EXPECT_EQ(c.ok ? utf8_to_wstring(c.utf8) : L"", wide);
    wide = L"old";
    EXPECT_EQ(c.ok, utf16le_bytes_to_wide(wide, c.units.data(), c.units.size() * 2));
    EXPECT_EQ(c.ok ? utf8_to_wstring(c.utf8) : L"", wide);

    std::vector<u32> values = {7};
    EXPECT_EQ(c.ok, utf16_units_to_utf32(values, c.units));
    if (c.ok) {
      EXPECT_EQ(std::wstring(values.begin(), values.end()), utf8_to_wstring(c.utf8));
    }
    EXPECT_EQ(c.ok, utf16le_bytes_to_utf32(values, byte_vector(le_bytes)));
  }
}

// ASCII units are taken 8 a step: a unit that is not ASCII, a pair or a lone surrogate must
// come out the same wherever it stands among them. The replacing form writes U+FFFD for every
// surrogate without its partner and goes on; everything else it gives as utf16_to_utf8 does.
TEST(Utf16Decoding, EveryUnitKindAtEveryPositionOfAnAsciiRun) {
  struct unit_kind {
    const char* name;
    std::vector<u16> units;
    bool ok;
    std::string utf8;
    std::string replaced;  // by utf16_to_utf8_replacing
  };
  const std::string fffd = bytes({0xEF, 0xBF, 0xBD});
  const std::string smile = bytes({0xF0, 0x9F, 0x98, 0x80});
  const std::string lone_low = bytes({0xED, 0xB0, 0x80});
  const std::vector<unit_kind> cases = {
      {"last ASCII", {0x7F}, true, "\x7F", "\x7F"},
      {"first beyond ASCII", {0x80}, true, bytes({0xC2, 0x80}), bytes({0xC2, 0x80})},
      {"Latin-1", {0xE9}, true, bytes({0xC3, 0xA9}), bytes({0xC3, 0xA9})},
      {"high byte set", {0x0141}, true, bytes({0xC5, 0x81}), bytes({0xC5, 0x81})},
      {"bmp", {0x20AC}, true, bytes({0xE2, 0x82, 0xAC}), bytes({0xE2, 0x82, 0xAC})},
      {"pair", {0xD83D, 0xDE00}, true, smile, smile},
      {"lone low", {0xDC00}, true, lone_low, fffd},
      {"lone low before pair", {0xDC00, 0xD83D, 0xDE00}, true, lone_low + smile, fffd + smile},
      {"pair then lone low", {0xD83D, 0xDE00, 0xDC00}, true, smile + lone_low, smile + fffd},
      {"lone high", {0xD83D}, false, "", fffd},
      {"high before ASCII", {0xD83D, 0x42}, false, "", fffd + "B"},
      {"two highs and a low", {0xD83D, 0xD83D, 0xDE00}, false, "", fffd + smile},
  };
  for (const unit_kind& c : cases) {
    for (size_t before = 0; before <= 20; ++before) {
      for (size_t after : std::initializer_list<size_t>{0, 1, 7, 8, 9, 17}) {
        SCOPED_TRACE(std::string(c.name) + " after " + std::to_string(before) + " ASCII, before " +
                     std::to_string(after));
        std::vector<u16> units(before, u16('a'));
        units.insert(units.end(), c.units.begin(), c.units.end());
        units.insert(units.end(), after, u16('z'));
        std::string out = "old";
        EXPECT_EQ(c.ok, utf16_to_utf8(out, units.data(), units.size() * 2));
        EXPECT_EQ(out, std::string(before, 'a') + (c.ok ? c.utf8 + std::string(after, 'z') : ""));
        out = "old";
        EXPECT_TRUE(utf16_to_utf8_replacing(out, units.data(), units.size() * 2));
        EXPECT_EQ(out, std::string(before, 'a') + c.replaced + std::string(after, 'z'));
      }
    }
  }
}

TEST(Utf16Decoding, ShortOddAndEmptyInputs) {
  const u16 unit = 0x41;
  std::string out = "keep";
  EXPECT_FALSE(utf16_to_utf8(out, &unit, 1));
  EXPECT_EQ("keep", out);
  EXPECT_FALSE(utf16_to_utf8(out, nullptr, 4));
  EXPECT_EQ("keep", out);
  EXPECT_FALSE(utf16_to_utf8_replacing(out, &unit, 1));
  EXPECT_FALSE(utf16_to_utf8_replacing(out, nullptr, 4));
  EXPECT_EQ("keep", out);
  EXPECT_FALSE(utf16_string_to_utf8(out, "A"));
  EXPECT_EQ("keep", out);
  EXPECT_FALSE(utf16_vector_to_utf8(out, {}));
  EXPECT_EQ("keep", out);

  // An odd last byte is ignored, not read as half a unit.
  EXPECT_TRUE(utf16_string_to_utf8(out, bytes({0x41, 0x00, 0x42})));
  EXPECT_EQ("A", out);
  const u16 units[2] = {0x41, 0x42};
  EXPECT_TRUE(utf16_to_utf8(out, units, 3));
  EXPECT_EQ("A", out);

  std::wstring wide = L"old";
  EXPECT_FALSE(utf16le_bytes_to_wide(wide, std::vector<u8>{0x41}));
  EXPECT_EQ(L"", wide);
  EXPECT_FALSE(utf16le_bytes_to_wide(wide, nullptr, 4));
  std::vector<u32> values = {7};
  EXPECT_FALSE(utf16le_bytes_to_utf32(values, {0x41, 0x00, 0x42}));
  EXPECT_FALSE(utf16le_bytes_to_utf32(values, {}));
  EXPECT_FALSE(utf16_units_to_utf32(values, {}));
  EXPECT_TRUE(values.empty());
  std::vector<u8> utf8_bytes = {1};
  EXPECT_FALSE(utf16_units_to_utf8_bytes(utf8_bytes, {}));
  EXPECT_TRUE(utf8_bytes.empty());
}

// A high surrogate in the last unit of a buffer must not make the decoder look at the unit
// after it; the buffer is sized exactly so that AddressSanitizer sees any such read.
TEST(Utf16Decoding, HighSurrogateAtTheVeryEndReadsNothingBeyond) {
  const std::string le_bytes = bytes({0x41, 0x00, 0x3D, 0xD8});
  std::unique_ptr<char[]> exact = exact_copy(le_bytes);
  std::string out;
  EXPECT_FALSE(utf16_to_utf8(out, reinterpret_cast<const u16*>(exact.get()), le_bytes.size()));
  EXPECT_EQ("A", out);
  EXPECT_TRUE(utf16_to_utf8_replacing(out, reinterpret_cast<const u16*>(exact.get()), le_bytes.size()));
  EXPECT_EQ("A" + bytes({0xEF, 0xBF, 0xBD}), out);
  std::wstring wide;
  EXPECT_FALSE(utf16le_bytes_to_wide(wide, reinterpret_cast<const u16*>(exact.get()), le_bytes.size()));
  // Odd length: the half unit after the high surrogate is not joined with it either.
  const std::string odd = bytes({0x3D, 0xD8, 0x00});
  std::unique_ptr<char[]> odd_copy = exact_copy(odd);
  EXPECT_FALSE(utf16_to_utf8(out, reinterpret_cast<const u16*>(odd_copy.get()), odd.size()));
}

// A unit pointer into a byte buffer need not be aligned.
TEST(Utf16Decoding, UnalignedUnitPointer) {
  const std::string buffer = bytes({0x00, 0x3D, 0xD8, 0x00, 0xDE, 0x41, 0x00});
  std::string out;
  EXPECT_TRUE(utf16_to_utf8(out, reinterpret_cast<const u16*>(buffer.data() + 1), 6));
  EXPECT_EQ(bytes({0xF0, 0x9F, 0x98, 0x80, 0x41}), out);
}

struct utf32_to_utf16_case {
  const char* name;
  std::vector<u32> values;
  bool ok;
  std::vector<u16> units;
};

TEST(Utf16Encoding, SurrogatePairsAndRefusedValues) {
  const std::vector<utf32_to_utf16_case> cases = {
      {"empty", {}, false, {}},
      {"bmp", {0x41, 0xD7FF, 0xE000, 0xFFFF}, true, {0x41, 0xD7FF, 0xE000, 0xFFFF}},
      {"pair", {0x1F600}, true, {0xD83D, 0xDE00}},
      {"lowest and highest pair", {0x10000, 0x10FFFF}, true, {0xD800, 0xDC00, 0xDBFF, 0xDFFF}},
      {"low surrogate value", {0x41, 0xDC00}, false, {0x41}},
      {"high surrogate value", {0xD800}, false, {}},
      {"above 0x10FFFF", {0x41, 0x110000, 0x42}, false, {0x41}},
  };
  for (const utf32_to_utf16_case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<u16> units = {9};
    EXPECT_EQ(c.ok, utf32_to_utf16_units(units, c.values));
    EXPECT_EQ(c.units, units);
  }
}

TEST(Utf16Encoding, FromUtf8) {
  struct row {
    const char* name;
    std::string utf8;
    bool ok;
    std::vector<u16> units;
  };
  const std::vector<row> rows = {
      {"text and emoji", "A" + bytes({0xF0, 0x9F, 0x98, 0x80}), true, {0x41, 0xD83D, 0xDE00}},
      {"empty", "", false, {}},
      {"malformed", bytes({0x41, 0xC3, 0x28}), false, {}},
      {"surrogate value", bytes({0x41, 0xED, 0xA0, 0x80}), false, {0x41}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<u16> units = {9};
    EXPECT_EQ(r.ok, utf8_to_utf16_units(units, r.utf8));
    EXPECT_EQ(r.units, units);
    units = {9};
    EXPECT_EQ(r.ok, utf8_bytes_to_utf16_units(units, byte_vector(r.utf8)));
    EXPECT_EQ(r.units, units);
  }
}

TEST(Utf16Units, BytePairsAndPerUnitWidening) {
  std::vector<u16> units = {9};
  bytes_to_utf16_units(units, {0x41, 0x00, 0x42});
  EXPECT_EQ(std::vector<u16>({0x0041}), units);
  bytes_to_utf16_units(units, {0x3D, 0xD8, 0x00, 0xDE});
  EXPECT_EQ(std::vector<u16>({0xD83D, 0xDE00}), units);
  bytes_to_utf16_units(units, {});
  EXPECT_TRUE(units.empty());

  // No joining of surrogates, and only the low 16 bits going the other way.
  EXPECT_EQ(std::wstring({L'\xD83D', L'\xDE00'}), u16_units_to_wide({0xD83D, 0xDE00}));
  EXPECT_EQ(L"", u16_units_to_wide({}));
  EXPECT_EQ(std::vector<u16>({0x41, 0xF600, 0xFFE9}),
            wide_to_u16_units(std::wstring{L'A', L'\x1F600', static_cast<wchar_t>(-23)}));
}

TEST(Latin1, EveryByteIsItsOwnCodePoint) {
  std::string out = "old";
  EXPECT_FALSE(latin1_to_utf8(out, ""));
  EXPECT_EQ("", out);
  EXPECT_TRUE(latin1_to_utf8(out, bytes({0x41, 0xE9, 0x80, 0xFF})));
  EXPECT_EQ(bytes({0x41, 0xC3, 0xA9, 0xC2, 0x80, 0xC3, 0xBF}), out);
  EXPECT_EQ(std::wstring(L"A\xE9\x80\xFF"), utf8_to_wstring(out));
}

TEST(Lists, MalformedEntriesBecomeEmptyAndAreReported) {
  std::vector<std::wstring> wide = {L"old"};
  EXPECT_FALSE(utf8_list_to_wide(wide, {}));
  EXPECT_TRUE(wide.empty());

  EXPECT_TRUE(utf8_list_to_wide(wide, {"a", "", bytes({0xC3, 0xA9})}));
  EXPECT_EQ(std::vector<std::wstring>({L"a", L"", L"\xE9"}), wide);

  // A name cut at its bad byte would be a different name: the entry is left empty instead.
  EXPECT_FALSE(utf8_list_to_wide(wide, {"a", "abc" + bytes({0xFF}) + "def", "z"}));
  EXPECT_EQ(std::vector<std::wstring>({L"a", L"", L"z"}), wide);

  std::vector<std::string> narrow = {"old"};
  EXPECT_FALSE(wide_list_to_utf8(narrow, {}));
  EXPECT_TRUE(narrow.empty());
  EXPECT_TRUE(wide_list_to_utf8(narrow, {L"a", L"", L"\xE9"}));
  EXPECT_EQ(std::vector<std::string>({"a", "", bytes({0xC3, 0xA9})}), narrow);
  EXPECT_FALSE(wide_list_to_utf8(narrow, {L"a", std::wstring{L'b', static_cast<wchar_t>(0x110000)}}));
  EXPECT_EQ(std::vector<std::string>({"a", "b" + bytes({0xEF, 0xBF, 0xBD})}), narrow);
}

TEST(Bytes, StringsAndByteVectorsKeepEveryByte) {
  const std::string text = bytes({0x41, 0x00, 0xFF});
  std::vector<u8> vec = {1};
  EXPECT_TRUE(string_to_byte_vector(vec, text));
  EXPECT_EQ(std::vector<u8>({0x41, 0x00, 0xFF}), vec);
  EXPECT_EQ(text, bytes_to_string(vec));
  EXPECT_FALSE(string_to_byte_vector(vec, ""));
  EXPECT_TRUE(vec.empty());
  EXPECT_EQ("", bytes_to_string({}));
}

}  // namespace
