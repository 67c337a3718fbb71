#include "framework/io/qz_file_info.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "framework/io/qz_file_stats.h"
#include "tests/io/run_command.h"
#include "tests/text/temp_folder.h"

namespace {

namespace fs = std::filesystem;

std::wstring wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }


class FileInfoTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.path().empty()); }
  temp_folder folder_{"telvar_file_info"};
};

// Size, mode, the times and the inode agree with coreutils' stat (links followed) for a regular
// file, a folder, a symbolic link and a FIFO.
TEST_F(FileInfoTest, AgreesWithCoreutilsStat) {
  if (run_command("command -v stat").empty()) GTEST_SKIP() << "stat (coreutils) not found";
  folder_.put("regular.txt", "twelve bytes");
  fs::create_directory(folder_.file("folder.d"));
  fs::create_symlink(folder_.file("regular.txt"), folder_.file("link"));
  ASSERT_EQ(mkfifo(folder_.file("fifo").c_str(), 0640), 0);
  for (const char* name : {"regular.txt", "folder.d", "link", "fifo"}) {
    SCOPED_TRACE(name);
    const std::string path = folder_.file(name);
    std::istringstream reference(run_command("stat -L --format='%s %f %Z %Y %X %W %i' '" + path + "'"));
    unsigned long long size = 0, changed = 0, modified = 0, accessed = 0, inode = 0;
    long long born = 0;
    std::string mode_hex;
    ASSERT_TRUE(reference >> size >> mode_hex >> changed >> modified >> accessed >> born >> inode);
    const u32 mode = static_cast<u32>(std::stoul(mode_hex, nullptr, 16));

    file_info info;
    ASSERT_TRUE(fill_file_info(path.c_str(), &info));
    EXPECT_EQ(info.size, size);
    EXPECT_EQ(info.flags, mode);
    EXPECT_EQ(info.created, changed);
    EXPECT_EQ(info.altered, modified);
    EXPECT_EQ(info.accessed, accessed);
    EXPECT_EQ(info.mft_changed, 0u);

    u64 q_size = 1, q_changed = 1, q_modified = 1, q_accessed = 1;
    u32 q_mode = 1;
    ASSERT_TRUE(get_file_stat_times(path, q_size, q_mode, q_changed, q_modified, q_accessed));
    EXPECT_EQ(q_size, size);
    EXPECT_EQ(q_mode, mode);
    EXPECT_EQ(q_changed, changed);
    EXPECT_EQ(q_modified, modified);
    EXPECT_EQ(q_accessed, accessed);
    ASSERT_TRUE(get_file_times(path, q_size, q_mode, q_changed, q_modified, q_accessed));
    EXPECT_EQ(q_modified, (modified + 11644473600ull) * 10000000ull);

    file_stats stats;
    ASSERT_TRUE(get_file_stats(stats, wide(path)));
    EXPECT_EQ(stats.inode, inode);
    EXPECT_EQ(stats.created, born > 0 ? static_cast<u64>(born) : 0u);

    file_info_utf16 wide_info;
    ASSERT_TRUE(fill_file_info_utf16(path.c_str(), &wide_info));
    EXPECT_EQ(wide_info.size, size);
    EXPECT_EQ(wide_info.flags, mode);
    EXPECT_EQ(is_dir(wide_info), std::string(name) == "folder.d");
  }
}

TEST_F(FileInfoTest, NamesFromThePath) {
  fs::create_directory(folder_.file("data"));
  fs::create_directory(folder_.file("dotted.dir"));
  folder_.put("a.tar.gz", "x");
  folder_.put("plain", "x");
  const struct {
    const char* name;
    std::string file_name;
    std::string expected_name;
    std::string expected_ext;
    std::wstring wide_name;  // fill_file_info_w keeps a folder's name and ext as split
  } cases[] = {
      {"folder without extension", "data", "data.", "", L"data"},
      {"folder with extension", "dotted.dir", "dotted.dir", "", L"dotted"},
      {"file with two dots", "a.tar.gz", "a.tar", "gz", L"a.tar"},
      {"file without extension", "plain", "plain", "", L"plain"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder_.file(c.file_name);
    file_info info;
    ASSERT_TRUE(fill_file_info(path.c_str(), &info));
    EXPECT_EQ(info.folder, folder_.path());
    EXPECT_EQ(info.name, c.expected_name);
    EXPECT_EQ(info.ext, c.expected_ext);
    EXPECT_EQ(info.full_path, path);
    file_info_utf16 narrow_rule;
    ASSERT_TRUE(fill_file_info_utf16(path.c_str(), &narrow_rule));
    EXPECT_EQ(std::wstring(narrow_rule.name), wide(c.expected_name));
    file_info_utf16 wide_rule;
    ASSERT_TRUE(fill_file_info_w(wide(path).c_str(), &wide_rule));
    EXPECT_EQ(std::wstring(wide_rule.name), c.wide_name);
    EXPECT_EQ(std::wstring(wide_rule.folder), wide(folder_.path()));
  }
  file_info info;
  info.size = 7;
  EXPECT_FALSE(fill_file_info(folder_.file("missing").c_str(), &info));
  EXPECT_EQ(info.size, 0u);
  EXPECT_FALSE(fill_file_info(nullptr, &info));
  file_info_utf16 wide_info;
  EXPECT_FALSE(fill_file_info_w(nullptr, &wide_info));
  EXPECT_FALSE(fill_file_info_utf16("\xff", &wide_info));
}

// A folder part longer than the wide record's buffer is refused, never written past it.
TEST_F(FileInfoTest, LongFolderDoesNotFitTheWideRecord) {
  std::string deep = folder_.path();
  for (int i = 0; i < 3; ++i) deep += "/" + std::string(200, static_cast<char>('a' + i));
  fs::create_directories(deep);
  const std::string path = deep + "/f.txt";
  std::ofstream(path) << "x";
  file_info_utf16 record;
  EXPECT_FALSE(fill_file_info_utf16(path.c_str(), &record));
  EXPECT_EQ(record.folder[0], L'\0');
  EXPECT_FALSE(fill_file_info_w(wide(path).c_str(), &record));
  file_info narrow;
  EXPECT_TRUE(fill_file_info(path.c_str(), &narrow));
  EXPECT_EQ(narrow.folder, deep);
}

TEST(FileInfoValues, IsDir) {
  const struct {
    u32 flags;
    bool expected;
  } cases[] = {{2, true}, {3, true}, {1, false}, {8, false}, {0x41ed, true}, {0x81a4, false}, {0xA1ff, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    file_info record;
    record.flags = c.flags;
    EXPECT_EQ(is_dir(record), c.expected);
    file_info_utf16 wide_record;
    wide_record.flags = c.flags;
    EXPECT_EQ(is_dir(wide_record), c.expected);
  }
}

TEST(FileInfoValues, ValueConstructorsAndConversion) {
  const file_info from_utf8("/Cases/One/Report.CSV", 10, 11, 12, 0x81a4, 1, 2, 3, 4, 5);
  EXPECT_EQ(from_utf8.full_path, "/Cases/One/Report.CSV");
  EXPECT_EQ(from_utf8.full_path_lower, "/cases/one/report.csv");
  EXPECT_EQ(from_utf8.folder, "/Cases/One");
  EXPECT_EQ(from_utf8.name, "Report.CSV");
  EXPECT_EQ(from_utf8.ext, "CSV");
  EXPECT_EQ(from_utf8.number16, 12);
  EXPECT_EQ(from_utf8.permissions, 5u);
  file_info no_ext;
  no_ext.set_values_no_number(L"/x/README", 99, 1, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(no_ext.name, "README");
  EXPECT_EQ(no_ext.number64, 0u);

  const std::wstring long_name = std::wstring(600, L'n') + L".txt";
  const file_info_utf16 too_long(long_name.c_str(), 1, 2, 3, 4, 5, 6, 7, 8);
  EXPECT_EQ(too_long.name[0], L'\0');
  EXPECT_EQ(too_long.ext, L"txt");
  const std::wstring longest(511, L'm');
  const file_info_utf16 fits(longest.c_str(), 1, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(std::wstring(fits.name), longest);

  file_info_utf16 record(L"a", 7, 100, 0x81a4, 1, 2, 3, 4, 0644);
  std::wcsncpy(record.folder, L"/x", file_info_utf16::text_chars);
  record.ext = L"txt";
  const file_info converted(record);
  EXPECT_EQ(converted.full_path, "/x\\a.txt");
  EXPECT_EQ(converted.number64, 7u);
  EXPECT_EQ(converted.size, 100u);
  EXPECT_EQ(converted.number16, 0);

  const file_info_utf16 early(L"B", 0, 0, 0, 5, 0, 0, 0, 0);
  const file_info_utf16 late(L"a", 0, 0, 0, 9, 0, 0, 0, 0);
  const file_info_utf16 same(L"b", 0, 0, 0, 1, 0, 0, 0, 0);
  EXPECT_TRUE(file_info_created_less(early, late));
  EXPECT_FALSE(file_info_created_less(late, early));
  EXPECT_TRUE(file_info_name_equal(early, same));
  EXPECT_TRUE(file_info_name_less(late, early));
  EXPECT_FALSE(file_info_name_less(early, same));
}

TEST(FileInfoValues, Dump) {
  file_info record(L"/evidence/notes.txt", 0x1234, 0, 0, 0x81a4, 1700000000, 0, 0, 0x10, 0x1ed);
  std::string out = "before\n";
  file_info_dump(record, out);
  EXPECT_EQ(out,
            "before\n"
            "path:         /evidence\n"
            "filename:     notes.txt\n"
            "ext:          txt\n"
            "file size     00001234\n"
            "flags:        81a4 [regular]\n"
            "created:      000000006553f100 [23-11-14 22:13:20]\n"
            "altered:      0000000000000000 [00/00/00 00:00:00]\n"
            "mft changed:  0000000000000000 [00/00/00 00:00:00]\n"
            "accessed:     0000000000000010 [70-01-01 00:00:16]\n"
            "permissions:  000001ed\n");
  const struct {
    u32 flags;
    const char* line;
  } kinds[] = {{0x41ed, "flags:        41ed [directory]\n"},
               {0x2190, "flags:        2190 [char special]\n"},
               {0x11a4, "flags:        11a4 []\n"}};
  for (const auto& kind : kinds) {
    record.flags = kind.flags;
    std::string text;
    file_info_dump(record, text);
    EXPECT_NE(text.find(kind.line), std::string::npos) << text;
  }
}

}  // namespace
