#include "framework/text/qz_hex_view.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "tests/text/temp_folder.h"

namespace {

using bytes = std::vector<u8>;

bytes letters(u32 count) {
  bytes out;
  for (u32 i = 0; i < count; ++i) out.push_back(static_cast<u8>('A' + i % 26));
  return out;
}

std::string dumped(const qz::binary_data& view) {
  std::ostringstream os;
  qz::binary_data::dump(os, view);
  return os.str();
}

TEST(HexView, HexLinesLineUpTheirCharacters) {
  const bytes data = letters(20);
  qz::binary_data view(data, true);
  view.set_format(6);
  const std::string first = "0000 0000:  41 42 43 44 45 46 47 48  49 4a 4b 4c 4d 4e 4f 50  ABCDEFGHIJKLMNOP\n";
  const std::string second = "0000 0010:  51 52 53 54 " + std::string(37, ' ') + " QRST\n";
  EXPECT_EQ(dumped(view), first + second);
  EXPECT_EQ(first.find("ABCD"), second.find("QRST"));

  std::string text;
  hex_dump_buffer_to_string(data.data(), 20, text, 0, 0);
  EXPECT_EQ(text, first + second);
  std::ostringstream no_address;
  hex_dump_buffer(data.data(), 20, no_address, 16, 0, false);
  EXPECT_EQ(no_address.str(), second.substr(12));
}

TEST(HexView, AddressColumns) {
  struct row {
    u64 address;
    const char* stream_form;
    const char* string_form;
  } rows[] = {
      {0x10, "0000 0010:  ", "0000 0010:  "},
      {0x123456789, "0001 2345 6789:  ", "1 2345 6789:  "},
      {0xAB00000000, "00ab 0000 0000:  ", "ab 0000 0000:  "},
      {0xABCD00000000, "abcd 0000 0000:  ", "abcd 0000 0000:  "},
      {0x1000000000000, "0001 0000 0000 0000:  ", "0001 0000 0000 0000:  "},
  };
  const u8 byte = 0x41;
  for (const row& r : rows) {
    SCOPED_TRACE(r.stream_form);
    std::ostringstream os;
    hex_dump_buffer(&byte, 1, os, 0, r.address, true);
    EXPECT_EQ(os.str().substr(0, std::string(r.stream_form).size()), r.stream_form);
    std::string text;
    hex_dump_buffer_to_string(&byte, 1, text, 0, r.address);
    EXPECT_EQ(text.substr(0, std::string(r.string_form).size()), r.string_form);
    EXPECT_EQ(text.substr(std::string(r.string_form).size(), 3), "41 ");
  }
}

TEST(HexView, DumpFollowsTheFormatWord) {
  bytes data = letters(17);
  data[1] = 0x07;
  qz::binary_data view(data, false);
  struct row {
    u16 format;
    std::string expected;
  } rows[] = {
      {2, "41 07 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50 \n51 \n"},
      {0, std::string(data.begin(), data.end())},
      {4, "0000 0000:  A.CD EFGH IJKL MNOP   Q\n"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.format);
    view.set_format(r.format);
    EXPECT_EQ(dumped(view), r.expected);
  }
  EXPECT_EQ(dumped(qz::binary_data()), "");
}

TEST(HexView, DumpRangeByFormat) {
  const bytes data = letters(70);
  const qz::binary_data view(data, false);
  struct row {
    const char* name;
    u16 format;
    u32 start, count;
    std::string expected;
  } rows[] = {
      {"hex lines with addresses", 6, 16, 2, "0000 0100:  51 52 " + std::string(43, ' ') + " QR\n"},
      {"hex lines without addresses", 3, 16, 2, "51 52 " + std::string(43, ' ') + " QR\n"},
      {"hex pairs count from the view's start", 2, 14, 3, "4f 50 \n51 \n"},
      {"characters need grouped or plain", 4, 0, 3, ""},
      {"raw bytes", 8, 1, 3, "BCD"},
      {"plain character lines of 64", 12, 0, 70,
       "0000 0100:  " + std::string(data.begin(), data.begin() + 64) + "\n0000 0140:  " +
           std::string(data.begin() + 64, data.end()) + "\n"},
      {"count cut to the end", 8, 68, 100, "QR"},
      {"start past the end", 6, 70, 1, ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    qz::binary_data copy(data, false);
    copy.set_format(r.format);
    std::ostringstream os;
    qz::binary_data::dump_range(copy, os, r.start, r.count, 0x100);
    EXPECT_EQ(os.str(), r.expected);
  }
}

TEST(HexView, EditingOnlyOwnedBytes) {
  const bytes data{1, 2, 3, 4, 5};
  qz::binary_data owned(data, true);
  EXPECT_TRUE(owned.erase(2, 100));
  EXPECT_EQ(owned.size(), 2u);
  EXPECT_EQ(owned(1), 2);
  EXPECT_FALSE(owned.erase(2, 1));  // position not below the size
  EXPECT_TRUE(owned.push_back(9));
  EXPECT_TRUE(owned.append(data.data(), 2));
  EXPECT_FALSE(owned.append(nullptr, 2));
  EXPECT_EQ(bytes(owned.data(), owned.data() + owned.size()), (bytes{1, 2, 9, 1, 2}));
  owned(0) = 7;
  EXPECT_EQ(owned(0), 7);
  EXPECT_TRUE(owned.clear());
  EXPECT_EQ(owned.size(), 0u);

  qz::binary_data borrowed(data, false);
  EXPECT_EQ(borrowed.data(), data.data());
  EXPECT_FALSE(borrowed.erase(0, 1));
  EXPECT_FALSE(borrowed.push_back(1));
  EXPECT_FALSE(borrowed.append(data.data(), 1));
  EXPECT_FALSE(borrowed.clear());
  EXPECT_FALSE(borrowed.load_file("/dev/null", 0, 1));
  EXPECT_EQ(borrowed.size(), 5u);

  EXPECT_EQ(qz::binary_data(3, 0xAB)(2), 0xAB);
  EXPECT_EQ(qz::binary_data(2)(1), 0);
  EXPECT_EQ(qz::binary_data(nullptr, 4, true).size(), 0u);
  EXPECT_EQ(qz::binary_data().format(), 2u);
}

TEST(HexView, LoadFileKeepsTheBytesInsideTheFile) {
  temp_folder dir("qz_hex_view");
  std::string content;
  for (int i = 0; i < 50; ++i) content += static_cast<char>('0' + i % 10);
  dir.put("fifty", content);
  const std::string path = dir.file("fifty");

  qz::binary_data view(3, 0xAB);
  ASSERT_TRUE(view.load_file(path.c_str(), 10, 100));
  EXPECT_EQ(std::string(view.data(), view.data() + view.size()), content.substr(10));
  EXPECT_FALSE(view.load_file(path.c_str(), 50, 1));
  EXPECT_EQ(view.size(), 40u);  // unchanged
  ASSERT_TRUE(view.load_file(path.c_str(), 0, 5));
  EXPECT_EQ(view.size(), 5u);
  EXPECT_FALSE(view.load_file(dir.file("missing").c_str(), 0, 5));
  EXPECT_EQ(view.size(), 5u);

  ASSERT_TRUE(qz::binary_data::save_dump(view, dir.file("dump").c_str()));
  EXPECT_EQ(dir.get("dump"), "30 31 32 33 34 \n");
  EXPECT_FALSE(qz::binary_data::save_dump(view, dir.file("no/such/folder").c_str()));
}

TEST(HexView, RunsOfOneValue) {
  struct row {
    const char* name;
    bytes data;
    u32 start;
    u64 base;
    std::string expected;
  } rows[] = {
      {"one value", bytes(512, 0), 0, 0, "0x000000 : value 0x00 : 0x200 bytes\n"},
      {"run from start", {1, 7, 7}, 1, 0x1234567, "0x1234567 : value 0x07 : 0x02 bytes\n"},
      {"mixed", {0, 0, 1}, 0, 0, "0000 0000:  00 00 01 " + std::string(40, ' ') + " ...\n"},
      {"start outside", {1, 2, 3}, 5, 0, ""},
      {"empty", {}, 0, 0, ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::ostringstream os;
    hex_dump_vector_runs(r.data, os, r.start, r.base);
    EXPECT_EQ(os.str(), r.expected);
  }
}

TEST(HexView, CheckedDumpsAndContexts) {
  const bytes big(hex_dump_limit + 1, 0);
  std::ostringstream refused;
  hex_dump_checked(big.data(), static_cast<u32>(big.size()), refused, 0, 0);
  EXPECT_EQ(refused.str(), "size to big to output: size 0x1000001\n");

  const bytes data = letters(20);
  std::vector<std::pair<u32, u32>> calls;
  auto record = [](void* context, u32 line_start, u32 end) {
    static_cast<std::vector<std::pair<u32, u32>>*>(context)->push_back({line_start, end});
    return true;
  };
  std::ostringstream checked;
  hex_dump_checked(data.data(), 20, checked, 0, 0, record, &calls);
  std::string text;
  hex_dump_buffer_to_string(data.data(), 20, text, 0, 0);
  EXPECT_EQ(checked.str(), text);
  EXPECT_EQ(calls, (std::vector<std::pair<u32, u32>>{{0, 20}, {16, 20}}));

  std::ostringstream log;
  dump_context context{false, &log};
  context.hex_dump(data.data(), 4, 0);
  EXPECT_EQ(log.str(), "");
  context.enabled = true;
  context.hex_dump(data.data(), 4, 0x20);
  EXPECT_EQ(log.str().substr(0, 16), "0000 0020:  41 4");
  dump_context{true, nullptr}.hex_dump(data.data(), 4, 0);  // no stream: nothing, no crash
}

TEST(HexView, Utf16LinesEndInCrLf) {
  const bytes data{0x41, 0x00};
  std::ostringstream os;
  hex_dump_utf16(data.data(), 2, os, 0, 0x10);
  const std::string line = "0000 0010 41 00 " + std::string(43, ' ') + " A.\r\n";
  std::string expected;
  for (char c : line) expected += std::string{c, '\0'};
  EXPECT_EQ(os.str(), expected);
}

TEST(HexView, StreamStateIsLeftAsFound) {
  const bytes data = letters(3);
  std::ostringstream os;
  os.fill('*');
  hex_dump_vector(data, os, 0, 0);
  qz::binary_data view(data, false);
  qz::binary_data::dump(os, view);
  os.str("");
  os << std::setw(5) << 255;
  EXPECT_EQ(os.str(), "**255");
}

TEST(HexView, ViewWithoutItsBytesIsEmpty) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "skipped: an address-space limit cannot be set under AddressSanitizer";
#else
  // In a child whose address space is too small for 1 GiB.
  const auto build_view = [] {
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = 256u << 20;
    setrlimit(RLIMIT_AS, &limit);
    const qz::binary_data view(0x40000000u, 0xAB);
    std::exit(view.size() == 0 && view.data() == nullptr ? 0 : 1);
  };
  EXPECT_EXIT(build_view(), ::testing::ExitedWithCode(0), "");
#endif
}

}  // namespace
