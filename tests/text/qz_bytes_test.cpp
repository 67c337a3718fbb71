#include "framework/text/qz_bytes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <iomanip>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<u16> units_of(const std::string& s) { return std::vector<u16>(s.begin(), s.end()); }

// n encoded blanks of a NetBIOS name.
std::string encoded_blanks(int n) {
  std::string out;
  for (int k = 0; k < n; ++k) out += "CA";
  return out;
}

}  // namespace

TEST(ByteOrder, SwapsSplitsAndJoins) {
  EXPECT_EQ(byte_swap16(0x1234), 0x3412);
  EXPECT_EQ(byte_swap32(0x11223344u), 0x44332211u);
  EXPECT_EQ(byte_swap64(0x1122334455667788ull), 0x8877665544332211ull);
  EXPECT_EQ(byte_swap_table.swap16(0x00ff), 0xff00);
  EXPECT_EQ(byte_swap_table.swap32(1), 0x01000000u);
  EXPECT_EQ(byte_swap_table.swap64(1), 0x0100000000000000ull);

  u32 swapped = 0;
  EXPECT_TRUE(byte_swap32_to(0xAABBCCDDu, &swapped));
  EXPECT_EQ(swapped, 0xDDCCBBAAu);
  EXPECT_FALSE(byte_swap32_to(1, nullptr));

  u32 high = 0, low = 0;
  split_u64(0x1122334455667788ull, &high, &low);
  EXPECT_EQ(high, 0x11223344u);
  EXPECT_EQ(low, 0x55667788u);
  u64 joined = 0;
  EXPECT_EQ(join_u64(high, low, &joined), 0x1122334455667788ull);
  EXPECT_EQ(joined, 0x1122334455667788ull);
  EXPECT_EQ(join_u64(0x100000001ull, 2, nullptr), 0x0000000100000002ull);  // high's top half is shifted out
}

TEST(ByteOrder, ReadLittleEndianUnsigned) {
  struct {
    const char* name;
    std::vector<u8> bytes;
    int n;
    u64 expected;
  } const cases[] = {
      {"three bytes", {0x01, 0x02, 0x03}, 3, 0x030201},
      {"ten bytes use eight", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 10, 0x0807060504030201ull},
      {"high bytes are not sign-extended", {0xff, 0x80}, 2, 0x80ff},
      {"n below size", {0x01, 0x02, 0x03}, 1, 0x01},
      {"n zero", {0x01}, 0, 0},
      {"n negative", {0x01}, -1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(read_le_uint(c.bytes.data(), c.n), c.expected);
  }
  EXPECT_EQ(read_le_uint(nullptr, 4), 0u);
  EXPECT_EQ(read_le_uint_vector({0x01, 0x02, 0x03}), 0x030201u);
  EXPECT_EQ(read_le_uint_vector(std::vector<u8>(20, 0xff)), ~u64(0));
  EXPECT_EQ(read_le_uint_vector({}), 0u);
}

TEST(ByteBlocks, FirstDifferenceAndSixteenByteComparisons) {
  const u8 a[4] = {1, 2, 3, 4};
  const u8 b[4] = {1, 2, 9, 4};
  EXPECT_EQ(first_difference(a, a, 4), ~u64(0));
  EXPECT_EQ(first_difference(a, b, 4), 2u);
  EXPECT_EQ(first_difference(a, b, 2), ~u64(0));
  EXPECT_EQ(first_difference(a, b, 0), 0u);
  EXPECT_EQ(first_difference(nullptr, b, 4), 0u);

  u8 x[16] = {}, y[16] = {};
  EXPECT_TRUE(equals16(x, y));
  EXPECT_FALSE(differs16(x, y));
  EXPECT_FALSE(less16(x, y));
  x[5] = 0x7f;
  y[5] = 0x80;  // unsigned: 0x7f < 0x80
  x[9] = 0xff;
  EXPECT_FALSE(equals16(x, y));
  EXPECT_TRUE(differs16(x, y));
  EXPECT_TRUE(less16(x, y));
  EXPECT_FALSE(less16(y, x));
  EXPECT_FALSE(equals16(x, nullptr));
  EXPECT_FALSE(less16(nullptr, y));
}

TEST(ByteBlocks, VectorComparisons) {
  struct {
    const char* name;
    std::vector<u8> a;
    std::vector<u8> b;
    bool equal;
    bool a_less;
    bool b_less;
  } const cases[] = {
      {"both empty", {}, {}, true, false, false},
      {"last byte smaller", {1, 2}, {1, 3}, false, true, false},
      {"prefix is neither less nor greater", {1}, {1, 2}, false, false, false},
      {"bytes compare unsigned", {0x80}, {0x7f}, false, false, true},
      {"equal", {5, 6}, {5, 6}, true, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(bytes_equal(c.a, c.b), c.equal);
    EXPECT_EQ(bytes_less(c.a, c.b), c.a_less);
    EXPECT_EQ(bytes_less(c.b, c.a), c.b_less);
  }

  EXPECT_TRUE(is_all_zero({}));
  EXPECT_TRUE(is_all_zero({0, 0, 0}));
  EXPECT_FALSE(is_all_zero({0, 0x80}));

  std::vector<u8> v(100, 7);
  const size_t capacity = v.capacity();
  clear_bytes(v);
  EXPECT_TRUE(v.empty());
  EXPECT_EQ(v.capacity(), capacity);
}

TEST(ByteBlocks, SumWordsAddsLittleEndianWordsThenTailBytes) {
  // One spare byte in front so the words are read from an odd address.
  std::vector<u8> storage = {0xEE, 1, 0, 0, 0, 0, 0, 0, 0x10, 5};
  const u8* nine = storage.data() + 1;
  EXPECT_EQ(sum_words(nine, 9), 0x1000000000000001ull + 5);
  EXPECT_EQ(sum_words(nine, 3), 1u + 0 + 0);
  EXPECT_EQ(sum_words(nine, 0), 0u);
  EXPECT_EQ(sum_words(nullptr, 9), 0u);

  std::vector<u8> ones(17, 0xff);
  EXPECT_EQ(sum_words(ones.data(), 17), ~u64(0) - 1 + 0xff);  // wraps modulo 2^64
}

TEST(Utf16Units, LengthsStopAtTheFirstZeroUnit) {
  const u16 ab[] = {'a', 'b', 0, 'c'};
  EXPECT_EQ(utf16_length(ab), 2u);
  EXPECT_EQ(utf16_length(nullptr), 0u);

  std::vector<u16> no_zero(600, 'x');
  EXPECT_EQ(utf16_length_limited(no_zero.data()), 0u);
  std::vector<u16> at_limit(513, 'x');  // no zero among exactly the units that are read
  EXPECT_EQ(utf16_length_limited(at_limit.data()), 0u);
  std::vector<u16> last_allowed(512, 'x');
  last_allowed.push_back(0);
  EXPECT_EQ(utf16_length_limited(last_allowed.data()), 512u);
  EXPECT_EQ(utf16_length_limited(nullptr), 0u);

  struct {
    const char* name;
    std::vector<u16> v;
    size_t trimmed_bytes;
    size_t without_terminator;
  } const cases[] = {
      {"empty", {}, 0, 0},
      {"all zero", {0, 0}, 0, 1},
      {"trailing zeros", {'a', 0, 0}, 2, 2},
      {"inner zero kept", {0, 'a'}, 4, 2},
      {"no terminator", {'a'}, 2, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(utf16_trimmed_size(c.v), c.trimmed_bytes);
    EXPECT_EQ(utf16_length_without_terminator(c.v), c.without_terminator);
  }
}

TEST(LineEnds, DetectKindOfBytesAndUnits) {
  struct {
    const char* name;
    std::string text;
    int expected;
  } const cases[] = {
      {"CR LF", "a\r\nb\r\n", 1},
      {"LF then CR LF is mixed", "a\nb\r\n", 6},
      {"LF as last byte is not seen", "a\n", 7},
      {"LF", "a\nb", 3},
      {"CR alone twice", "\r\rx", 2},
      {"LF CR", "a\n\rb", 4},
      {"CR alone then CR LF", "\r\r\n", 6},
      {"mixed only in the last byte is not seen", "\r\nx\n", 1},
      {"no line end", "abc", 7},
      {"one byte", "\n", 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Exact-size heap copies, so the sanitizer sees any read past the end.
    std::vector<u8> bytes(c.text.begin(), c.text.end());
    EXPECT_EQ(detect_line_ending(bytes.data(), u32(bytes.size())), c.expected);
    std::vector<u16> units = units_of(c.text);
    EXPECT_EQ(detect_line_ending_utf16(units.data(), u32(units.size() * 2)), c.expected);
  }

  // An empty buffer must not be walked: the pair loop may not wrap around n - 1.
  std::unique_ptr<u8[]> empty(new u8[0]);
  EXPECT_EQ(detect_line_ending(empty.get(), 0), 7);
  EXPECT_EQ(detect_line_ending(nullptr, 0), 7);
  std::unique_ptr<u16[]> empty_units(new u16[0]);
  EXPECT_EQ(detect_line_ending_utf16(empty_units.get(), 0), 7);
  EXPECT_EQ(detect_line_ending_utf16(empty_units.get(), 1), 7);

  // Whole units are compared: 0x0A0D is neither CR nor LF.
  std::vector<u16> wide_units = {'a', 0x0A0D, 0x0D0A, 'b', '\n', 'c'};
  EXPECT_EQ(detect_line_ending_utf16(wide_units.data(), u32(wide_units.size() * 2)), 3);
  // An odd byte count covers only whole units.
  std::vector<u16> cut = {'a', '\r', '\n'};
  EXPECT_EQ(detect_line_ending_utf16(cut.data(), 5), 7);
}

TEST(LineEnds, NextLineUtf16StaysWithinRemaining) {
  struct {
    const char* name;
    std::string text;
    u32 remaining;
    bool expected;
    u32 advanced;
  } const cases[] = {
      {"LF", "a\nb", 3, true, 2},
      {"CR LF", "a\r\nb", 4, true, 3},
      {"CR LF at the start", "\r\n", 2, true, 2},
      {"lone CR skips the unit after it", "a\rb\n", 4, true, 4},
      {"CR CR LF", "\r\r\n", 3, true, 3},
      {"CR as the last unit", "a\r", 2, false, 0},
      {"LF beyond remaining is not seen", "a\r\n", 2, false, 0},
      {"LF just beyond remaining", "ab\n", 2, false, 0},
      {"no line end", "ab", 2, false, 0},
      {"nothing remaining", "\n", 0, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<u16> units = units_of(c.text);  // heap copy: the sanitizer sees reads past the end
    const u16* p = units.data();
    u32 remaining = c.remaining;
    EXPECT_EQ(next_line_utf16(&p, &remaining), c.expected);
    EXPECT_EQ(p, units.data() + c.advanced);
    EXPECT_EQ(remaining, c.remaining - c.advanced);
  }

  u32 remaining = 3;
  const u16* none = nullptr;
  EXPECT_FALSE(next_line_utf16(&none, &remaining));
  EXPECT_FALSE(next_line_utf16(nullptr, &remaining));
  EXPECT_EQ(remaining, 3u);
}

TEST(Characters, HexDigitsAndBase64Values) {
  const std::string hex_digits = "0123456789abcdefABCDEF";
  for (int c = 0; c < 256; ++c) {
    SCOPED_TRACE(c);
    const bool expected = hex_digits.find(char(c)) != std::string::npos;
    EXPECT_EQ(is_hex_digit(c), expected);
    EXPECT_EQ(is_hex_digit(c + 0x100), expected);  // only the low 8 bits count
    EXPECT_EQ(is_hex_digit(static_cast<signed char>(c)), expected);
  }

  struct {
    int c;
    int expected;
  } const values[] = {{'A', 0},  {'Z', 25}, {'a', 26},  {'z', 51}, {'0', 52},    {'9', 61},
                      {'+', 62}, {'/', 63}, {' ', 63},  {'=', 63}, {-1, 63},     {0x141, 63},
                      {0, 63},   {'@', 63}, {'[', 63}, {'`', 63}, {0xC1 - 256, 63}};
  for (const auto& v : values) {
    SCOPED_TRACE(v.c);
    EXPECT_EQ(base64_char_value(v.c), v.expected);
  }
}

TEST(Characters, LooksLikeBase64) {
  struct {
    const char* text;
    bool with_alphabet;
    bool without_alphabet;
  } const cases[] = {
      {"QUJD", true, true},     {"QUI=", true, true},  {"QQ==", true, true},   {"Q===", false, false},
      {"====", false, false},   {"QUJ", false, false}, {"QUJDR", false, false}, {"QU!D", false, true},
      {"QU=D", false, true},    {"ab+/", true, true},  {"", false, false},     {"QUJDQUJD", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<u8> bytes(c.text, c.text + std::strlen(c.text));
    EXPECT_EQ(looks_like_base64(bytes.data(), int(bytes.size()), true), c.with_alphabet);
    EXPECT_EQ(looks_like_base64(bytes.data(), int(bytes.size()), false), c.without_alphabet);
  }
  EXPECT_FALSE(looks_like_base64(nullptr, 8, false));
}

TEST(NetbiosNames, EncodeAndDecode) {
  struct {
    const char* name;
    std::string plain;
    u8 suffix;
    std::string encoded;
  } const cases[] = {
      {"short name padded", "AB", 0x20, "EBEC" + encoded_blanks(13) + "CA"},
      {"empty name", "", 0x00, encoded_blanks(15) + "AA"},
      {"high bytes use unsigned halves", "\xff\x80", 0x1b, "PPIA" + encoded_blanks(13) + "BL"},
      {"full fifteen", "ABCDEFGHIJKLMNO", 0x03,
       "EBECEDEEEFEGEHEIEJEKELEMENEOEP" "AD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string& expected_encoded = c.encoded;
    // Exactly 32 bytes: the encoder writes no terminator.
    std::unique_ptr<char[]> out(new char[32]);
    EXPECT_TRUE(netbios_name_encode(reinterpret_cast<const u8*>(c.plain.data()), int(c.plain.size()), c.suffix,
                                    out.get()));
    EXPECT_EQ(std::string(out.get(), 32), expected_encoded);

    std::string decoded = "stale";
    u8 suffix = 0;
    EXPECT_TRUE(netbios_name_decode(expected_encoded.c_str(), decoded, &suffix));
    EXPECT_EQ(decoded, c.plain + std::string(15 - c.plain.size(), ' '));
    EXPECT_EQ(suffix, c.suffix);
  }

  char out[32];
  EXPECT_FALSE(netbios_name_encode(reinterpret_cast<const u8*>("0123456789abcdef"), 16, 0x20, out));
  EXPECT_FALSE(netbios_name_encode(reinterpret_cast<const u8*>("AB"), -1, 0x20, out));
  EXPECT_FALSE(netbios_name_encode(nullptr, 2, 0x20, out));

  // A short encoded text is refused instead of being read past its terminator.
  std::unique_ptr<char[]> short_text(new char[5]);
  std::memcpy(short_text.get(), "EBEC", 5);
  std::string decoded = "stale";
  u8 suffix = 0x77;
  EXPECT_FALSE(netbios_name_decode(short_text.get(), decoded, &suffix));
  EXPECT_EQ(decoded, "");
  EXPECT_EQ(suffix, 0x77);
  EXPECT_FALSE(netbios_name_decode(nullptr, decoded, &suffix));
}

TEST(HexLines, SixteenBytesAndTheStreamKeepsHexMode) {
  u8 bytes[16];
  for (int i = 0; i < 16; ++i) bytes[i] = u8(i * 0x11);
  bytes[1] = 0xab;
  std::ostringstream os;
  EXPECT_EQ(&write_hex16(bytes, os), &os);
  EXPECT_EQ(os.str(), "00 ab 22 33 44 55 66 77 88 99 aa bb cc dd ee ff");
  os << std::setw(4) << 255;
  EXPECT_EQ(os.str().substr(47), "00ff");

  std::ostringstream line;
  write_hex16_line(bytes, line);
  EXPECT_EQ(line.str(), "00 ab 22 33 44 55 66 77 88 99 aa bb cc dd ee ff\n");

  std::ostringstream untouched;
  write_hex16(nullptr, untouched);
  EXPECT_EQ(untouched.str(), "");
}

TEST(NarrowWideCopies, BytesWidenSignedAndNarrowToLowBits) {
  wchar_t out[4] = {L'?', L'?', L'?', L'?'};
  EXPECT_EQ(string_to_wide_buffer("a\xE9", out, 2), out);
  EXPECT_EQ(out[0], L'a');
  EXPECT_EQ(out[1], wchar_t(-23));  // 0xE9 taken as a signed char
  EXPECT_EQ(out[2], 0);

  out[0] = L'?';
  EXPECT_EQ(string_to_wide_buffer("abc", out, 2), nullptr);
  EXPECT_EQ(out[0], 0);
  out[0] = L'?';
  EXPECT_EQ(string_to_wide_buffer("", out, -1), nullptr);
  EXPECT_EQ(out[0], L'?');  // a negative limit leaves no slot to write
  EXPECT_EQ(string_to_wide_buffer("a", nullptr, 4), nullptr);

  std::string all_bytes;
  for (int c = 0; c < 256; ++c) all_bytes.push_back(char(c));
  std::wstring wide = L"stale";
  narrow_to_wide_bytes(all_bytes, wide);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(wide[0x41], L'A');
  EXPECT_EQ(wide[0x7f], wchar_t(0x7f));
  EXPECT_EQ(wide[0x80], wchar_t(-128));
  EXPECT_EQ(wide[0xff], wchar_t(-1));
  std::string narrow = "stale";
  wide_to_narrow_bytes(wide, narrow);
  EXPECT_EQ(narrow, all_bytes);

  wide_to_narrow_bytes(std::wstring{wchar_t(0x1E9), wchar_t(0x10041), L'z'}, narrow);
  EXPECT_EQ(narrow, "\xE9" "Az");
}

TEST(ArgumentVectors, RemoveAtMovesLaterEntriesDown) {
  char p[] = "prog", a[] = "-a", b[] = "-b", c[] = "-c";
  struct {
    const char* name;
    int i;
    int count;
    bool expected;
    std::vector<char*> after;
    int count_after;
  } const cases[] = {
      {"middle", 1, 4, true, {p, b, c, c}, 3},
      {"last", 3, 4, true, {p, a, b, c}, 3},
      {"first", 0, 4, true, {a, b, c, c}, 3},
      {"index equals count", 3, 3, false, {p, a, b, c}, 3},
      {"negative index", -1, 4, false, {p, a, b, c}, 4},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    std::vector<char*> argv = {p, a, b, c};  // heap storage: a write before it is caught
    int count = t.count;
    EXPECT_EQ(argv_remove_at(t.i, &count, argv.data()), t.expected);
    EXPECT_EQ(argv, t.after);
    EXPECT_EQ(count, t.count_after);
  }
  std::vector<char*> argv = {p};
  EXPECT_FALSE(argv_remove_at(0, nullptr, argv.data()));
}

TEST(ArgumentVectors, LastErrnoReadsThisThreadsErrno) {
  errno = ERANGE;
  EXPECT_EQ(last_errno(), ERANGE);
}

TEST(CountedUtf16, AppendGrowsOwnedBufferAndKeepsTerminators) {
  _UNICODE_STRING_EX s(2);
  EXPECT_TRUE(s.owns_buffer);
  EXPECT_EQ(s.maximum_length, 4);
  EXPECT_EQ(s.length, 0);
  s.append("abc");
  EXPECT_EQ(s.maximum_length, 8);
  EXPECT_EQ(s.length, 8);
  EXPECT_EQ(std::vector<u16>(s.buffer, s.buffer + 4), (std::vector<u16>{'a', 'b', 'c', 0}));

  s.append(L"d\U0001F600").append(static_cast<const char*>(nullptr));
  EXPECT_EQ(s.length, 14);
  EXPECT_EQ(std::vector<u16>(s.buffer, s.buffer + 7), (std::vector<u16>{'a', 'b', 'c', 0, 'd', 0xF600, 0}));

  _UNICODE_STRING_EX roomy(16);
  u16* const first_buffer = roomy.buffer;
  roomy.append("\xE9");
  EXPECT_EQ(roomy.buffer, first_buffer);  // enough room: no new buffer
  EXPECT_EQ(roomy.buffer[0], 0xFFE9);     // the byte widened as a signed char
  EXPECT_EQ(roomy.length, 4);

  _UNICODE_STRING_EX none(0);
  EXPECT_EQ(none.buffer, nullptr);
  EXPECT_EQ(none.maximum_length, 0);
  EXPECT_FALSE(none.owns_buffer);
  none.append("x");  // an object without a buffer takes one of its own
  EXPECT_TRUE(none.owns_buffer);
  EXPECT_EQ(none.length, 4);
  EXPECT_EQ(none.buffer[0], 'x');
}

TEST(CountedUtf16, CallersBufferIsNeverReplaced) {
  u16 storage[5] = {'?', '?', '?', '?', '?'};
  _UNICODE_STRING_EX s(storage, 8);
  EXPECT_EQ(storage[0], 0);
  EXPECT_FALSE(s.owns_buffer);
  s.append("abc");  // fills the 8 bytes exactly
  EXPECT_EQ(s.length, 8);
  s.append("d");
  EXPECT_EQ(s.buffer, storage);
  EXPECT_EQ(s.length, 8);
  EXPECT_EQ(storage[4], '?');

  u16 tiny = '?';
  _UNICODE_STRING_EX too_small(&tiny, 1);
  EXPECT_EQ(tiny, '?');  // one byte holds no unit
  _UNICODE_STRING_EX described(storage, 6, 10);
  EXPECT_EQ(described.length, 6);
  EXPECT_EQ(described.maximum_length, 10);
  EXPECT_EQ(storage[0], 'a');
}

TEST(CountedUtf16, SizesStayWithinSixteenBits) {
  _UNICODE_STRING_EX large(40000);
  EXPECT_EQ(large.maximum_length, 65534);  // capped, not wrapped to 14464

  _UNICODE_STRING_EX s(1);
  const std::string too_long(32767, 'x');  // needs 65536 bytes with its terminator
  s.append(too_long.c_str());
  EXPECT_EQ(s.length, 0);
  const std::string fits(32766, 'y');
  s.append(fits.c_str());
  EXPECT_EQ(s.length, 65534);
  EXPECT_EQ(s.maximum_length, 65534);
  EXPECT_EQ(s.buffer[32765], 'y');
  EXPECT_EQ(s.buffer[32766], 0);
  s.append("");
  EXPECT_EQ(s.length, 65534);  // even a lone terminator would pass 65535 bytes
}

TEST(CountedUtf16, ClearZeroesOwnedBufferAndLetsGoOfCallers) {
  _UNICODE_STRING_EX owned(4);
  owned.append("ab");
  u16* const kept = owned.buffer;
  owned.clear();
  EXPECT_EQ(owned.length, 0);
  EXPECT_EQ(owned.buffer, kept);
  EXPECT_EQ(owned.maximum_length, 8);
  EXPECT_EQ(std::vector<u16>(kept, kept + 4), (std::vector<u16>{0, 0, 0, 0}));

  u16 storage[3] = {'a', 0, '?'};
  _UNICODE_STRING_EX borrowed(storage, 4, 6);
  borrowed.clear();
  EXPECT_EQ(borrowed.length, 0);
  EXPECT_EQ(borrowed.maximum_length, 0);
  EXPECT_EQ(borrowed.buffer, nullptr);
  EXPECT_EQ(storage[0], 'a');  // the caller's bytes are not touched
}
