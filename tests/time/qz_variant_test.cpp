#include "framework/time/qz_variant.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using bytes = std::vector<u8>;

qz_variant_lite number_value(u16 type, u64 number, u32 flags = 0) {
  qz_variant_lite value(number, type);
  value.flags = flags;
  return value;
}

qz_variant_lite text_value(u16 type, const std::string& text) {
  qz_variant_lite value(text);
  value.type = type;
  return value;
}

TEST(VariantConstruction, EachConstructorSetsItsMembers) {
  const u8 raw[] = {1, 2, 3};
  struct case_row {
    const char* name;
    qz_variant_lite value;
    u16 type;
    u32 flags;
    u64 aux;
    u64 number;
    std::string text;
    bytes byte_list;
  };
  const case_row cases[] = {
      {"default", qz_variant_lite(), 0, 0, 0, 0, "", {}},
      {"u8", qz_variant_lite(u8(0xFF)), 1, 0, 0, 0xFF, "", {}},
      {"u16", qz_variant_lite(u16(0xFFFF)), 2, 0, 0, 0xFFFF, "", {}},
      {"u32", qz_variant_lite(u32(0xFFFFFFFF)), 4, 0, 0, 0xFFFFFFFF, "", {}},
      {"u64 with type", qz_variant_lite(u64(1) << 63, 13), 13, 0, 0, u64(1) << 63, "", {}},
      {"text", qz_variant_lite(std::string("abc")), 11, 0, 0, 0, "abc", {}},
      {"header cell", qz_variant_lite(std::string("path"), 40), 0, 0x80, 40, 0, "path", {}},
      {"typed header cell", qz_variant_lite(std::string("when"), 23, 13, 0x80000), 13, 0x80080,
       23, 0, "when", {}},
      {"bytes", qz_variant_lite(raw, 3, 28), 28, 0, 0, 0, "", {1, 2, 3}},
      {"null bytes", qz_variant_lite(nullptr, 3, 28), 28, 0, 0, 0, "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.type, c.value.type);
    EXPECT_EQ(20, c.value.text_limit);
    EXPECT_EQ(c.flags, c.value.flags);
    EXPECT_EQ(c.aux, c.value.aux);
    EXPECT_EQ(0u, c.value.word);
    EXPECT_EQ(c.number, c.value.number);
    EXPECT_EQ(c.text, c.value.text);
    EXPECT_EQ(c.byte_list, c.value.bytes);
    EXPECT_TRUE(c.value.times.empty());
  }
}

TEST(VariantConstruction, CopiesAreDeepAndClearRestoresTheInitialValue) {
  const u8 raw[] = {9, 8};
  qz_variant_lite first(raw, 2, 29);
  first.text = "name";
  first.times = {1, 2};
  qz_variant_lite copy = first;
  EXPECT_EQ(first, copy);
  copy.text += "!";
  copy.bytes[0] = 0;
  copy.times.push_back(3);
  EXPECT_EQ("name", first.text);
  EXPECT_EQ(bytes({9, 8}), first.bytes);
  EXPECT_EQ(2u, first.times.size());
  EXPECT_NE(first, copy);

  qz_variant_lite assigned;
  assigned = first;
  EXPECT_EQ(first, assigned);

  first.text_limit = 5;
  first.flags = 0x4000;
  first.aux = first.word = first.number = 7;
  first.clear();
  EXPECT_EQ(qz_variant_lite(), first);
}

TEST(VariantPacking, PackedBytesAreLittleEndianAfterASixByteHeader) {
  qz_variant_lite guid(nullptr, 0, 27);
  for (u8 i = 0; i < 16; ++i) guid.bytes.push_back(i);
  qz_variant_lite time_list = number_value(13, 5, 0x4000);
  time_list.times = {5, 0x0102030405060708};
  struct case_row {
    const char* name;
    qz_variant_lite value;
    bytes packed;
  };
  const case_row cases[] = {
      {"empty", qz_variant_lite(), {0, 0, 0, 0, 0, 0}},
      {"u8", qz_variant_lite(u8(0x41)), {1, 0, 0, 0, 0, 0, 0x41}},
      {"text", qz_variant_lite(std::string("ab")), {0x0B, 0, 0, 0, 0, 0, 2, 0, 0, 0, 'a', 'b'}},
      {"u32 with flags", qz_variant_lite(u32(0x12345678)),
       {4, 0, 0, 0, 0, 0, 0x78, 0x56, 0x34, 0x12}},
      {"flags kept", number_value(2, 0xABCD, 0x01000020),
       {2, 0, 0x20, 0, 0, 0x01, 0xCD, 0xAB}},
      {"number cut to its type's size", number_value(1, 0x1FF), {1, 0, 0, 0, 0, 0, 0xFF}},
      {"header cell packs the width only, as 4 bytes",
       qz_variant_lite(std::string("column"), 0x12345),
       {0, 0, 0x80, 0, 0, 0, 0x45, 0x23, 0x01, 0x00}},
      {"header width above 32 bits saturates", qz_variant_lite(std::string("c"), u64(1) << 40),
       {0, 0, 0x80, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"guid", guid, {27, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
      {"time list: number, count, entries", time_list,
       {13, 0, 0, 0x40, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0,
        8, 7, 6, 5, 4, 3, 2, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bytes out = {0xEE};
    ASSERT_TRUE(pack_bytes(c.value, out));
    bytes expected = {0xEE};
    expected.insert(expected.end(), c.packed.begin(), c.packed.end());
    EXPECT_EQ(expected, out);
  }
}

// One value of every packable type code, at the extremes of its payload, plus header cells and
// time lists; each reads back equal.
std::vector<qz_variant_lite> every_packable_value() {
  std::vector<qz_variant_lite> values;
  values.push_back(qz_variant_lite());
  values.push_back(number_value(1, 0xFF, 0xFFFFFF00));
  values.push_back(number_value(2, 0xFFFF));
  for (u16 type : std::initializer_list<u16>{3, 4, 15, 16, 25, 26}) values.push_back(number_value(type, 0xFFFFFFFF, 0x40));
  for (u16 type : std::initializer_list<u16>{8, 12, 13, 17, 18, 21, 22, 23, 24})
    values.push_back(number_value(type, 0xFEDCBA9876543210, 0x8000));
  for (u16 type : std::initializer_list<u16>{11, 30, 31}) {
    values.push_back(text_value(type, std::string("a\0b\xFF", 4)));
    values.push_back(text_value(type, ""));
  }
  const u8 raw[] = {0xDE, 0xAD, 0xBE, 0xEF, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  values.push_back(qz_variant_lite(raw, 16, 27));
  for (u16 type : std::initializer_list<u16>{28, 29}) {
    values.push_back(qz_variant_lite(raw, 17, type));
    values.push_back(qz_variant_lite(raw, 0, type));
  }
  for (u16 type : std::initializer_list<u16>{12, 13, 17, 18, 21, 22, 23, 24, 8}) {
    qz_variant_lite list = number_value(type, 0x11, 0x4000);
    list.times = {0x11, 0xFFFFFFFFFFFFFFFF, 0};
    values.push_back(list);
  }
  values.push_back(number_value(13, 0x22, 0x4000));  // a list cell with an empty list
  qz_variant_lite header(std::string(), 70000, 14, 0x2000000);
  values.push_back(header);  // a width beyond 16 bits, a type without its own packed form
  values.push_back(qz_variant_lite(std::string(), 0));
  return values;
}

TEST(VariantPacking, ListOfEveryTypeCodeReadsBackEqual) {
  const std::vector<qz_variant_lite> values = every_packable_value();
  bytes packed;
  ASSERT_TRUE(pack_variant_list(packed, values, false));
  std::vector<qz_variant_lite> read;
  ASSERT_TRUE(unpack_variant_list(read, packed, false));
  ASSERT_EQ(values.size(), read.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    SCOPED_TRACE("value " + std::to_string(i) + " type " + std::to_string(values[i].type));
    EXPECT_EQ(values[i], read[i]);
  }

  // Each value alone: unpack_bytes reports exactly the bytes pack_bytes wrote.
  for (const qz_variant_lite& value : values) {
    bytes one;
    ASSERT_TRUE(pack_bytes(value, one));
    qz_variant_lite back;
    EXPECT_EQ(static_cast<i32>(one.size()), unpack_bytes(back, one, 0));
  }
}

TEST(VariantPacking, MembersOutsideThePackedFormReadBackAtTheirInitialValues) {
  qz_variant_lite header(std::string("name"), 12);
  header.text_limit = 3;
  header.word = 99;
  qz_variant_lite times = number_value(16, 7, 0x2000);
  times.times = {7, 8};  // only a flag word of exactly 0x4000 carries the list
  bytes packed;
  ASSERT_TRUE(pack_variant_list(packed, {header, times}, false));
  std::vector<qz_variant_lite> read;
  ASSERT_TRUE(unpack_variant_list(read, packed, false));
  ASSERT_EQ(2u, read.size());
  EXPECT_EQ(qz_variant_lite(std::string(), 12), read[0]);
  EXPECT_EQ(number_value(16, 7, 0x2000), read[1]);
}

TEST(VariantPacking, ValuesWithoutPackedFormAreRefused) {
  std::vector<qz_variant_lite> refused;
  for (u16 type : std::initializer_list<u16>{5, 6, 7, 9, 10, 14, 19, 20, 32, 0xFFFF}) refused.push_back(number_value(type, 1));
  const u8 raw[15] = {};
  refused.push_back(qz_variant_lite(raw, 15, 27));  // a GUID needs 16 bytes
  for (const qz_variant_lite& value : refused) {
    SCOPED_TRACE("type " + std::to_string(value.type));
    bytes out = {1, 2};
    EXPECT_FALSE(pack_bytes(value, out));
    EXPECT_EQ(bytes({1, 2}), out);

    // A list holding one is refused whole rather than written without it.
    bytes list = {7};
    EXPECT_FALSE(pack_variant_list(list, {qz_variant_lite(u8(1)), value}, true));
    EXPECT_EQ(bytes({7}), list);
    EXPECT_FALSE(pack_variant_list(list, {qz_variant_lite(u8(1)), value}, false));
    EXPECT_TRUE(list.empty());
  }
}

TEST(VariantPacking, ListAppendAndEmptyRules) {
  bytes out = {0xAA};
  EXPECT_TRUE(pack_variant_list(out, {qz_variant_lite(u8(5))}, true));
  EXPECT_EQ(bytes({0xAA, 1, 0, 0, 0, 0, 0, 5}), out);
  EXPECT_FALSE(pack_variant_list(out, {}, false));
  EXPECT_TRUE(out.empty());

  std::vector<qz_variant_lite> values = {qz_variant_lite(u8(9))};
  EXPECT_FALSE(unpack_variant_list(values, bytes(), true));
  EXPECT_EQ(1u, values.size());
  EXPECT_FALSE(unpack_variant_list(values, bytes(), false));
  EXPECT_TRUE(values.empty());

  values = {qz_variant_lite(u8(9))};
  ASSERT_TRUE(unpack_variant_list(values, bytes{1, 0, 0, 0, 0, 0, 5}, true));
  ASSERT_EQ(2u, values.size());
  EXPECT_EQ(qz_variant_lite(u8(5)), values[1]);
}

TEST(VariantUnpacking, OffsetsAtAndNearTheEnd) {
  const bytes data = {0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x41};
  qz_variant_lite value(std::string("stale"));
  EXPECT_EQ(6, unpack_bytes(value, data, 0));
  EXPECT_EQ(qz_variant_lite(), value);
  EXPECT_EQ(7, unpack_bytes(value, data, 6));
  EXPECT_EQ(qz_variant_lite(u8(0x41)), value);

  for (u32 offset : {8u, 13u, 14u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(offset);
    value = qz_variant_lite(std::string("stale"));
    EXPECT_EQ(0, unpack_bytes(value, data, offset));
    EXPECT_EQ(qz_variant_lite(), value);
  }
}

TEST(VariantUnpacking, HostileLengthsAndCodesAreRefused) {
  struct case_row {
    const char* name;
    bytes data;
  };
  const case_row cases[] = {
      {"text length beyond the data", {11, 0, 0, 0, 0, 0, 5, 0, 0, 0, 'a', 'b'}},
      {"text length 2^32 - 1", {11, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}},
      {"byte length 2^32 - 1", {28, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4}},
      {"time count beyond the data",
       {13, 0, 0, 0x40, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x1F, 1, 2, 3, 4, 5, 6,
        7, 8}},
      {"guid short of 16 bytes", {27, 0, 0, 0, 0, 0, 1, 2, 3}},
      {"header width short", {0, 0, 0x80, 0, 0, 0, 1, 2}},
      {"type code without packed form", {14, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}},
      {"type code without meaning", {40, 0, 0, 0, 0, 0, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    qz_variant_lite value;
    EXPECT_EQ(0, unpack_bytes(value, c.data, 0));
    EXPECT_EQ(qz_variant_lite(), value);

    // After a good value: the list reader keeps it but reports that the data was not all read.
    bytes list = {2, 0, 0, 0, 0, 0, 0x34, 0x12};
    list.insert(list.end(), c.data.begin(), c.data.end());
    std::vector<qz_variant_lite> values;
    EXPECT_FALSE(unpack_variant_list(values, list, false));
    ASSERT_EQ(1u, values.size());
    EXPECT_EQ(qz_variant_lite(u16(0x1234)), values[0]);
  }
}

// Every cut of a valid packed list must be refused without reading past the cut; the sanitizer
// build catches any read beyond it, as each cut lives in a buffer of exactly its length.
TEST(VariantUnpacking, EveryTruncationIsRefused) {
  const std::vector<qz_variant_lite> values = every_packable_value();
  bytes packed;
  ASSERT_TRUE(pack_variant_list(packed, values, false));
  std::vector<std::size_t> value_ends;
  std::size_t end = 0;
  for (const qz_variant_lite& value : values) {
    bytes one;
    pack_bytes(value, one);
    end += one.size();
    value_ends.push_back(end);
  }
  for (std::size_t length = 0; length < packed.size(); ++length) {
    const bytes cut(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(length));
    std::vector<qz_variant_lite> read;
    const bool whole = unpack_variant_list(read, cut, false);
    // A cut that falls between two values is itself a valid shorter list.
    std::size_t complete = 0;
    while (complete < value_ends.size() && value_ends[complete] <= length) ++complete;
    const bool at_boundary = complete > 0 && value_ends[complete - 1] == length;
    ASSERT_EQ(at_boundary, whole) << "cut at " << length;
    ASSERT_EQ(complete, read.size()) << "cut at " << length;
    for (std::size_t i = 0; i < read.size(); ++i)
      ASSERT_EQ(values[i], read[i]) << "cut at " << length << ", value " << i;
  }
}

}  // namespace
