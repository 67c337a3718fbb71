#include "framework/io/qz_file_stats.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/io/folder_fixture.h"

namespace fs = std::filesystem;

namespace {

constexpr u64 seconds_2020 = 1600000000;  // 2020-09-13

class FileStatsTest : public folder_fixture {
 protected:
  // A file of `content` whose access and modification times are the given seconds.
  void make_file(const std::string& name, const std::string& content, i64 accessed, i64 modified) {
    write(at(name), content);
    const timespec times[2] = {{accessed, 0}, {modified, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, at(name).c_str(), times, 0), 0);
  }
};

TEST_F(FileStatsTest, GetFileStatsOfARegularFile) {
  make_file("f.csv", "12345", seconds_2020 + 7, seconds_2020);
  struct stat st {};
  ASSERT_EQ(stat(at("f.csv").c_str(), &st), 0);
  file_stats stats;
  stats.path = "kept?";
  stats.text = "old";
  ASSERT_TRUE(get_file_stats(stats, wide_at("f.csv")));
  EXPECT_EQ(stats.inode, st.st_ino);
  EXPECT_EQ(stats.size, 5u);
  EXPECT_EQ(stats.modified, seconds_2020);
  EXPECT_EQ(stats.accessed, seconds_2020 + 7);
  EXPECT_EQ(stats.changed, static_cast<u64>(st.st_ctim.tv_sec));
  EXPECT_EQ(stats.mode, st.st_mode);
  EXPECT_EQ(stats.time_kind, 8u);
  EXPECT_EQ(stats.is_dir, 0);
  EXPECT_TRUE(stats.path.empty());  // the record is cleared and the path not set
  EXPECT_TRUE(stats.text.empty());
  // Where the file system keeps a birth time it lies at or before the status change.
  EXPECT_LE(stats.created, stats.changed);
}

// The times are seconds whatever their size; one before 1970 is left out (0) and leaves the
// others as they are.
TEST_F(FileStatsTest, TimesStayUnixSeconds) {
  const struct {
    const char* name;
    i64 modified;
    u64 expected;
  } cases[] = {
      {"2020", static_cast<i64>(seconds_2020), seconds_2020},
      {"largest 32-bit value", 0xFFFFFFFF, 0xFFFFFFFF},
      {"after 2106", 7258118400, 7258118400},  // 2200-01-01
      {"before 1970", -315619200, 0},          // 1960-01-01
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    make_file("t", "x", static_cast<i64>(seconds_2020), c.modified);
    file_stats stats;
    ASSERT_TRUE(get_file_stats(stats, wide_at("t")));
    EXPECT_EQ(stats.modified, c.expected);
    EXPECT_EQ(stats.accessed, seconds_2020);
    EXPECT_EQ(stats.time_kind, 8u);
  }
}

TEST_F(FileStatsTest, FolderFlagNeedsTheWholeFileType) {
  fs::create_directory(at("dir"));
  make_fifo_and_socket("fifo", "sock");
  const struct {
    const char* name;
    std::string path;
    u8 is_dir;
    bool fifo;
    bool socket;
  } cases[] = {
      {"folder", at("dir"), 1, false, false},
      {"FIFO", at("fifo"), 0, true, false},
      {"socket", at("sock"), 0, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    file_stats stats;
    ASSERT_TRUE(get_file_stats(stats, std::wstring(c.path.begin(), c.path.end())));
    EXPECT_EQ(stats.is_dir, c.is_dir);
    EXPECT_EQ(stats.is_fifo(), c.fifo);
    EXPECT_EQ(stats.is_socket(), c.socket);
  }
  if (fs::is_block_file("/dev/loop0")) {
    file_stats stats;
    ASSERT_TRUE(get_file_stats(stats, L"/dev/loop0"));
    EXPECT_EQ(stats.is_dir, 0);
  }
}

TEST_F(FileStatsTest, GetFileStatsFailures) {
  file_stats stats;
  stats.size = 99;
  stats.text = "t";
  EXPECT_FALSE(get_file_stats(stats, wide_at("missing")));
  EXPECT_EQ(stats.size, 0u);
  EXPECT_TRUE(stats.text.empty());
  EXPECT_FALSE(get_file_stats(stats, L""));
}

TEST(LogRecord, CopySetsAMissingTimeKind) {
  const struct {
    const char* name;
    u64 attributes;
    u64 time_kind;
    u64 modified;
    u64 expected;
  } cases[] = {
      {"unix times", 0x2, 0, 100, 8},
      {"no attribute", 0, 0, 100, 8},
      {"FILETIME bit 4", 0x4, 0, 100, 1},
      {"bit 1", 0x1, 0, 100, 1},
      {"bit 16", 0x10, 0, 100, 1},
      {"bit 32", 0x20, 0, 100, 1},
      {"folder bit alone", 0x8, 0, 100, 8},
      {"modified 0 keeps 0", 0x4, 0, 0, 0},
      {"modified negative as signed keeps 0", 0x4, 0, 0x8000000000000000ull, 0},
      {"kind already set", 0x4, 16, 100, 16},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    log_record source;
    source.attributes = c.attributes;
    source.time_kind = c.time_kind;
    source.modified = c.modified;
    log_record copy;
    copy.copy(source);
    EXPECT_EQ(copy.time_kind, c.expected);
    EXPECT_EQ(source.time_kind, c.time_kind);
    log_record taken;
    taken.take(source);
    EXPECT_EQ(taken.time_kind, c.expected);
    EXPECT_EQ(source.time_kind + source.modified + source.attributes, 0u) << "take leaves the source cleared";
  }
}

TEST(LogRecord, CopyAndClearCoverEveryField) {
  log_record source;
  source.path = "/p";
  source.inode = 1;
  source.seq_number = 2;
  source.size = 3;
  source.created = 4;
  source.changed = 5;
  source.accessed = 6;
  source.mode = 7;
  source.time_kind = 8;
  source.modified = 9;
  source.is_dir = 1;
  source.log_dir = 1;
  source.ntfs_raw = 1;
  source.offset = 10;
  source.text = "t";
  source.attributes = 0x12;
  source.list_marker = 1;
  source.attr_names = {"a", "b"};
  source.attr_values = {"1", "2"};
  log_record copy;
  copy.copy(source);
  source.attr_names[0] = "changed";  // copies are deep
  EXPECT_EQ(copy.path, "/p");
  EXPECT_EQ(copy.seq_number, 2);
  EXPECT_EQ(copy.offset, 10u);
  EXPECT_EQ(copy.ntfs_raw, 1);
  EXPECT_EQ(copy.attributes, 0x12u);
  EXPECT_EQ(copy.list_marker, 1);
  EXPECT_EQ(copy.attr_names, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(copy.attr_values, (std::vector<std::string>{"1", "2"}));

  log_record taken;
  taken.take(copy);
  EXPECT_EQ(taken.path, "/p");
  EXPECT_EQ(taken.offset, 10u);
  EXPECT_EQ(taken.attr_values, (std::vector<std::string>{"1", "2"}));
  EXPECT_TRUE(copy.path.empty() && copy.attr_values.empty());
  copy = taken;

  copy.clear();
  const log_record empty;
  EXPECT_TRUE(copy.path.empty() && copy.text.empty() && copy.attr_names.empty() && copy.attr_values.empty());
  EXPECT_EQ(copy.inode + copy.seq_number + copy.size + copy.modified + copy.created + copy.changed +
                copy.accessed + copy.mode + copy.time_kind + copy.is_dir + copy.log_dir + copy.ntfs_raw +
                copy.offset + copy.attributes + copy.list_marker,
            0u);
  EXPECT_EQ(empty.attributes, 0u);
}

TEST_F(FileStatsTest, FillLogRecordAddsAttributeBits) {
  fs::create_directory(at("dir"));
  make_file("f", "abc", seconds_2020, seconds_2020);
  log_record record;
  ASSERT_TRUE(fill_log_record(record, wide_at("dir"), ""));
  EXPECT_EQ(record.attributes, 10u);
  EXPECT_EQ(record.path, at("dir"));
  // Filling again without clearing adds the bits once more.
  ASSERT_TRUE(fill_log_record(record, wide_at("dir"), ""));
  EXPECT_EQ(record.attributes, 20u);

  record.clear();
  ASSERT_TRUE(fill_log_record_utf8(record, at("f"), "note"));
  EXPECT_EQ(record.attributes, 2u);
  EXPECT_EQ(record.text, "note");
  EXPECT_EQ(record.size, 3u);
  EXPECT_EQ(record.time_kind, 8u);

  // A failure keeps the attribute word and leaves the path empty.
  EXPECT_FALSE(fill_log_record(record, wide_at("missing"), "x"));
  EXPECT_EQ(record.attributes, 2u);
  EXPECT_TRUE(record.path.empty());
  EXPECT_FALSE(fill_log_record_utf8(record, at("f\xC0\xAF"), "x"));
  EXPECT_FALSE(fill_log_record(record, L"", "x"));
}

TEST_F(FileStatsTest, FillLogRecordFromStatus) {
  qz_platform::file_status status;
  status.inode = 11;
  status.size = 22;
  status.modify_seconds = static_cast<i64>(seconds_2020);
  status.change_seconds = 33;
  status.access_seconds = 44;
  status.birth_seconds = 55;
  status.mode = qz_platform::mode_directory | 0755;
  log_record record;
  record.attributes = 0x40;
  ASSERT_TRUE(fill_log_record_from_status_utf8(record, "/some/dir", &status, ""));
  EXPECT_EQ(record.path, "/some/dir");
  EXPECT_EQ(record.inode, 11u);
  EXPECT_EQ(record.size, 22u);
  EXPECT_EQ(record.modified, seconds_2020);
  EXPECT_EQ(record.changed, 33u);
  EXPECT_EQ(record.accessed, 44u);
  EXPECT_EQ(record.created, 0u);
  EXPECT_EQ(record.time_kind, 8u);
  EXPECT_EQ(record.attributes, 10u);  // cleared first, then 2 + 8
  EXPECT_EQ(record.is_dir, 1);

  // A time before 1970 is left out; the other times keep their kind.
  status.modify_seconds = -315619200;
  ASSERT_TRUE(fill_log_record_from_status_utf8(record, "/some/old", &status, ""));
  EXPECT_EQ(record.modified, 0u);
  EXPECT_EQ(record.changed, 33u);
  log_record copy;
  copy.copy(record);
  EXPECT_EQ(copy.time_kind, 8u);

  // A socket's type shares bit 0x4000 with a folder's.
  status.mode = qz_platform::mode_socket | 0755;
  const log_record socket_record("/some/sock", &status, "text");
  EXPECT_EQ(socket_record.is_dir, 0);
  EXPECT_EQ(socket_record.attributes, 2u);
  EXPECT_EQ(socket_record.text, "text");

  // Without a status record the file system is asked.
  make_file("f", "abcd", seconds_2020, seconds_2020);
  ASSERT_TRUE(fill_log_record_from_status(record, wide_at("f"), nullptr, "t"));
  EXPECT_EQ(record.size, 4u);
  EXPECT_EQ(record.time_kind, 8u);
  EXPECT_EQ(record.attributes, 2u);
  EXPECT_FALSE(fill_log_record_from_status(record, L"", &status, "t"));
  EXPECT_TRUE(record.text.empty());
}

}  // namespace
