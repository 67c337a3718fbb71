#include "framework/io/uni_fstream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/text/temp_folder.h"

namespace {

namespace fs = std::filesystem;

class FstreamTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.path().empty()); }
  std::wstring wide_at(const std::wstring& name) const {
    const std::string& root = folder_.path();
    return std::wstring(root.begin(), root.end()) + L"/" + name;
  }
  std::vector<u8> bytes_at(const std::string& name) const {
    const std::string path = folder_.file(name);
    return std::vector<u8>(path.begin(), path.end());
  }
  std::vector<u16> units_at(const std::vector<u16>& name) const {
    const std::string& root = folder_.path();
    std::vector<u16> units(root.begin(), root.end());
    units.push_back('/');
    units.insert(units.end(), name.begin(), name.end());
    return units;
  }
  // Names of the entries of the folder.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_.path())) names.push_back(entry.path().filename().string());
    return names;
  }

  temp_folder folder_{"telvar_fstream"};
};

// Every form of one name reaches the same file: its UTF-8 bytes C3 A9.
TEST_F(FstreamTest, EveryNameFormOpensTheUtf8Name) {
  {
    uni::ofstream out(wide_at(L"\u00e9"));
    ASSERT_TRUE(out.is_open());
    out << "wide";
  }
  EXPECT_EQ(entries(), std::vector<std::string>{"\xc3\xa9"});
  EXPECT_EQ(folder_.get("\xc3\xa9"), "wide");

  uni::ofstream appended(bytes_at("\xc3\xa9"), std::ios::out | std::ios::app);
  ASSERT_TRUE(appended.is_open());
  appended << "+bytes";
  appended.close();
  uni::ofstream utf8(folder_.file("\xc3\xa9"), std::ios::out | std::ios::app);
  utf8 << "+utf8";
  utf8.close();
  uni::ofstream units(units_at({0xE9}), std::ios::out | std::ios::app);
  units << "+utf16";
  units.close();
  EXPECT_EQ(folder_.get("\xc3\xa9"), "wide+bytes+utf8+utf16");

  EXPECT_TRUE(uni::ifstream(wide_at(L"\u00e9")).is_open());
  EXPECT_TRUE(uni::ifstream(bytes_at("\xc3\xa9")).is_open());
  EXPECT_TRUE(uni::ifstream(units_at({0xE9})).is_open());
  uni::ifstream opened;
  opened.open(folder_.file("\xc3\xa9"));
  std::string word;
  opened >> word;
  EXPECT_EQ(word, "wide+bytes+utf8+utf16");
}

// A narrow name is bytes: one that is not UTF-8 (Latin-1 E9) opens the file of exactly those
// bytes, through a std::string and a byte vector alike, and stays apart from the UTF-8 name.
TEST_F(FstreamTest, NarrowNamesAreBytes) {
  {
    uni::ofstream out(bytes_at("\xe9"));
    ASSERT_TRUE(out.is_open());
    out << "latin1";
  }
  uni::ofstream appended;
  appended.open(folder_.file("\xe9"), std::ios::out | std::ios::app);
  ASSERT_TRUE(appended.is_open());
  appended << "+string";
  appended.close();
  appended.open(bytes_at("\xe9"), std::ios::out | std::ios::app);
  appended << "+bytes";
  appended.close();
  uni::ofstream utf8(wide_at(L"\u00e9"));
  utf8 << "utf8";
  utf8.close();
  std::vector<std::string> names = entries();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"\xc3\xa9", "\xe9"}));
  EXPECT_EQ(folder_.get("\xe9"), "latin1+string+bytes");
  EXPECT_EQ(folder_.get("\xc3\xa9"), "utf8");

  uni::ifstream in(bytes_at("\xe9"));
  std::string word;
  in >> word;
  EXPECT_EQ(word, "latin1+string+bytes");
  uni::ifstream by_string;
  by_string.open(folder_.file("a\xe9"));
  EXPECT_FALSE(by_string.is_open());  // no such file: the standard stream's own failure
  by_string.open(folder_.file("\xe9"));
  EXPECT_TRUE(by_string.is_open());
}

// The wide and UTF-16 open forms always truncate.
TEST_F(FstreamTest, WideOpenTruncates) {
  folder_.put("t", "old content");
  uni::ofstream out;
  out.open(wide_at(L"t"));
  ASSERT_TRUE(out.is_open());
  out << "new";
  out.close();
  EXPECT_EQ(folder_.get("t"), "new");
  out.open(units_at({'t'}));
  ASSERT_TRUE(out.is_open());
  out.close();
  EXPECT_EQ(folder_.get("t"), "");
}

// A name without an exact UTF-8 path fails to open and creates nothing, whether or not a
// shorter or substituted name would exist.
TEST_F(FstreamTest, NamesWithoutAnExactPathFail) {
  folder_.put("a", "keep");
  folder_.put("\xef\xbf\xbd", "keep");  // U+FFFD, what a lossy conversion would open
  const std::vector<u16> lone_high = units_at({'a', 0xD800});
  const std::wstring beyond(1, static_cast<wchar_t>(0x110000));
  const struct {
    const char* name;
    std::function<void(uni::ofstream&)> open;
  } cases[] = {
      {"string with NUL", [&](uni::ofstream& s) { s.open(folder_.file(std::string("a\0b", 3))); }},
      {"bytes with NUL", [&](uni::ofstream& s) { s.open(bytes_at(std::string("a\0b", 3))); }},
      {"empty string", [&](uni::ofstream& s) { s.open(std::string()); }},
      {"wide beyond U+10FFFF", [&](uni::ofstream& s) { s.open(wide_at(beyond)); }},
      {"wide with NUL", [&](uni::ofstream& s) { s.open(wide_at(std::wstring(L"a\0b", 3))); }},
      {"utf16 lone high surrogate", [&](uni::ofstream& s) { s.open(lone_high); }},
      {"empty utf16", [&](uni::ofstream& s) { s.open(std::vector<u16>()); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uni::ofstream stream;
    c.open(stream);
    EXPECT_FALSE(stream.is_open());
    EXPECT_TRUE(stream.fail());
    stream << "lost";
  }
  EXPECT_FALSE(uni::ofstream(wide_at(beyond)).is_open());
  EXPECT_FALSE(uni::ofstream(bytes_at(std::string("a\0b", 3))).is_open());
  uni::ifstream in(units_at({'a', 0xD800}));
  EXPECT_FALSE(in.is_open());
  EXPECT_TRUE(in.fail());

  // A stream that held a file and is reopened with a bad name is closed, not left on the old file.
  uni::ofstream reopened(folder_.file("b"));
  ASSERT_TRUE(reopened.is_open());
  reopened.open(bytes_at(std::string("a\0b", 3)));
  EXPECT_FALSE(reopened.is_open());

  EXPECT_EQ(folder_.get("a"), "keep");
  EXPECT_EQ(folder_.get("\xef\xbf\xbd"), "keep");
  EXPECT_EQ(entries().size(), 3u);  // a, U+FFFD and b
}

TEST(Utf8LocaleTest, StartsEmpty) {
  const uni::utf8_locale fresh;
  EXPECT_EQ(fresh.first, 0u);
  EXPECT_EQ(fresh.second, 0u);
  EXPECT_EQ(uni::utf8_locale_instance.first, 0u);
}

}  // namespace
