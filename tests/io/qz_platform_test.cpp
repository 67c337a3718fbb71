#include "framework/io/qz_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/text/temp_folder.h"

namespace {

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    folder_.put("data.bin", "0123456789");
  }
  temp_folder folder_{"qz_platform"};
  const std::string dir_ = folder_.path();
  const std::string file_ = folder_.file("data.bin");
};

TEST_F(PlatformTest, PathStatusMatchesStatAndGivesBirthTime) {
  qz_platform::file_status status;
  ASSERT_TRUE(qz_platform::path_status(file_, status));
  struct stat st {};
  ASSERT_EQ(stat(file_.c_str(), &st), 0);
  EXPECT_EQ(status.inode, st.st_ino);
  EXPECT_EQ(status.size, 10);
  EXPECT_TRUE(status.is_regular());
  EXPECT_EQ(status.mode, st.st_mode);
  EXPECT_EQ(status.link_count, 1u);
  EXPECT_EQ(status.modify_seconds, st.st_mtim.tv_sec);
  EXPECT_EQ(status.change_seconds, st.st_ctim.tv_sec);
  EXPECT_EQ(status.access_seconds, st.st_atim.tv_sec);
  // Birth time: 0 where the file system keeps none, else close to now.
  if (status.birth_seconds != 0) {
    EXPECT_LE(std::llabs(status.birth_seconds - time(nullptr)), 600);
  }

  ASSERT_TRUE(qz_platform::path_status(dir_, status));
  EXPECT_TRUE(status.is_directory());
  EXPECT_FALSE(status.is_regular());
}

TEST_F(PlatformTest, FailuresClearTheRecord) {
  qz_platform::file_status status;
  ASSERT_TRUE(qz_platform::path_status(file_, status));
  EXPECT_FALSE(qz_platform::path_status(dir_ + "/missing", status));
  EXPECT_EQ(status.inode, 0u);
  EXPECT_EQ(status.size, 0);
  EXPECT_EQ(status.mode, 0u);

  ASSERT_TRUE(qz_platform::path_status(file_, status));
  EXPECT_FALSE(qz_platform::path_status("", status));
  EXPECT_EQ(status.inode, 0u);

  ASSERT_TRUE(qz_platform::path_status(file_, status));
  EXPECT_FALSE(qz_platform::descriptor_status(-1, status));
  EXPECT_EQ(status.inode, 0u);
}

TEST_F(PlatformTest, LinkStatusDoesNotFollowTheLink) {
  std::string link = dir_ + "/link";
  ASSERT_EQ(symlink(file_.c_str(), link.c_str()), 0);
  qz_platform::file_status followed, itself;
  ASSERT_TRUE(qz_platform::path_status(link, followed));
  ASSERT_TRUE(qz_platform::link_status(link, itself));
  EXPECT_TRUE(followed.is_regular());
  EXPECT_EQ(followed.size, 10);
  EXPECT_EQ(itself.mode & qz_platform::mode_type_mask, qz_platform::mode_link);
  EXPECT_NE(itself.inode, followed.inode);
}

// The guard that keeps a source from being opened for writing as a results file.
TEST_F(PlatformTest, SameFileFollowsLinksAndNeedsBothFilesToExist) {
  folder_.put("other.bin", "0123456789");
  ASSERT_EQ(symlink(file_.c_str(), (dir_ + "/soft").c_str()), 0);
  ASSERT_EQ(link(file_.c_str(), (dir_ + "/hard").c_str()), 0);
  struct {
    const char* name;
    std::string first, second;
    bool same;
  } const cases[] = {
      {"one path", file_, file_, true},
      {"another spelling", file_, dir_ + "/./data.bin", true},
      {"symbolic link", dir_ + "/soft", file_, true},
      {"hard link", file_, dir_ + "/hard", true},
      {"equal content, other file", file_, folder_.file("other.bin"), false},
      {"second missing", file_, dir_ + "/missing", false},
      // Two failed look-ups leave equal cleared records; that is no match.
      {"both missing", dir_ + "/missing", dir_ + "/missing", false},
      {"empty paths", "", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(qz_platform::same_file(c.first, c.second), c.same);
    EXPECT_EQ(qz_platform::same_file(c.second, c.first), c.same);
  }
}

// The guard of the files a run writes: a file still to be made matches by its folder and name.
TEST_F(PlatformTest, SamePlaceMatchesExistingFilesByIdentityAndMissingOnesByFolderAndName) {
  ASSERT_EQ(symlink(file_.c_str(), (dir_ + "/soft").c_str()), 0);
  ASSERT_EQ(mkdir((dir_ + "/sub").c_str(), 0777), 0);
  ASSERT_EQ(symlink((dir_ + "/sub").c_str(), (dir_ + "/sub_link").c_str()), 0);
  struct {
    const char* name;
    std::string first, second;
    bool same;
  } const cases[] = {
      {"existing file through a link", dir_ + "/soft", file_, true},
      {"existing and missing", file_, dir_ + "/data.bin-wal", false},
      {"missing, folder spelled two ways", dir_ + "/sub/x.db-wal", dir_ + "/sub_link/../sub/./x.db-wal", true},
      {"missing, folder through a link", dir_ + "/sub/x.db-wal", dir_ + "/sub_link/x.db-wal", true},
      {"missing, other names", dir_ + "/sub/x.db-wal", dir_ + "/sub/x.db-shm", false},
      {"missing, other folders", dir_ + "/sub/x.db-wal", dir_ + "/x.db-wal", false},
      {"missing folder", dir_ + "/none/x", dir_ + "/none/x", false},
      {"empty paths", "", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(qz_platform::same_place(c.first, c.second), c.same);
    EXPECT_EQ(qz_platform::same_place(c.second, c.first), c.same);
  }
  // A bare name lies in the current folder.
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  EXPECT_TRUE(qz_platform::same_place("new.txt", dir_ + "/new.txt"));
  EXPECT_TRUE(qz_platform::same_place("new.txt", "./new.txt"));
  ASSERT_EQ(chdir(saved), 0);
}

TEST_F(PlatformTest, DescriptorStatusOfAnOpenFile) {
  int fd = open(file_.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  qz_platform::file_status by_fd, by_path;
  EXPECT_TRUE(qz_platform::descriptor_status(fd, by_fd));
  ASSERT_TRUE(qz_platform::path_status(file_, by_path));
  EXPECT_EQ(by_fd.inode, by_path.inode);
  EXPECT_EQ(by_fd.size, 10);
  EXPECT_EQ(qz_platform::block_device_size(fd), 0u);  // a regular file is no device
  close(fd);
}

// A folder held open stays the folder that was opened when its path is swapped for a link,
// and no operation on it follows a link or a name with more than one component.
TEST_F(PlatformTest, FolderHandleNeverLeavesTheFolder) {
  for (const char* folder : {"sub", "out"}) ASSERT_EQ(mkdir(folder_.file(folder).c_str(), 0700), 0);
  folder_.put("sub/f", "tree");
  folder_.put("out/f", "keep");
  ASSERT_EQ(symlink(folder_.file("out").c_str(), folder_.file("sub/link_dir").c_str()), 0);
  ASSERT_EQ(symlink(folder_.file("out/f").c_str(), folder_.file("sub/link_file").c_str()), 0);
  qz_platform::dir_handle sub;
  ASSERT_TRUE(sub.open_path(folder_.file("sub"), false));
  // The folder's path now leads outside; the handle does not.
  ASSERT_EQ(rename(folder_.file("sub").c_str(), folder_.file("sub.aside").c_str()), 0);
  ASSERT_EQ(symlink(folder_.file("out").c_str(), folder_.file("sub").c_str()), 0);

  qz_platform::dir_handle opened;
  qz_platform::file_status status;
  const struct {
    const char* name;
    bool refused;
  } cases[] = {
      {"subfolder that is a link", !opened.open_at(sub, "link_dir")},
      {"file that is a link", sub.open_regular("link_file", status) == -1},
      {"file through a link", sub.open_regular("link_dir/f", status) == -1},
      {"status of the parent", !sub.entry_status("..", status)},
      {"removing a link as a folder", !sub.remove_folder("link_dir")},
      {"removing through a link", !sub.remove_entry("link_dir/f")},
      {"renaming over an entry", !sub.rename_no_replace("f", sub, "link_file")},
      {"renaming into a link", !sub.rename_no_replace("f", sub, "link_dir/g")},
      {"path opened without following its last link", !opened.open_path(folder_.file("sub"), false)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(c.refused);
  }
  std::vector<std::string> names;
  EXPECT_TRUE(sub.list(names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"f", "link_dir", "link_file"}));
  EXPECT_TRUE(sub.entry_status("link_dir", status));
  EXPECT_EQ(status.mode & qz_platform::mode_type_mask, qz_platform::mode_link);
  EXPECT_TRUE(sub.rename_no_replace("f", sub, "g"));
  EXPECT_TRUE(sub.remove_entry("g"));
  EXPECT_TRUE(sub.remove_entry("link_dir"));
  EXPECT_EQ(folder_.get("out/f"), "keep");
  EXPECT_EQ(folder_.get("sub.aside/g"), "");
  EXPECT_TRUE(opened.open_path(folder_.file("sub"), true));  // following it is the caller's choice
}

TEST(PlatformDevice, BlockDeviceSizeMatchesTheKernelsCount) {
  int fd = open("/dev/null", O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(qz_platform::block_device_size(fd), 0u);  // a character device has no size
  close(fd);

  // Any readable block device will do; the kernel lists each one's size in 512-byte sectors.
  DIR* devices = opendir("/sys/block");
  if (devices == nullptr) GTEST_SKIP() << "no /sys/block";
  bool checked = false;
  while (dirent* entry = readdir(devices)) {
    std::string name = entry->d_name;
    if (name[0] == '.') continue;
    unsigned long long sectors = 0;
    std::ifstream sizes("/sys/block/" + name + "/size");
    if (!(sizes >> sectors) || sectors == 0) continue;
    int device = open(("/dev/" + name).c_str(), O_RDONLY | O_NONBLOCK);
    if (device < 0) continue;
    EXPECT_EQ(qz_platform::block_device_size(device), sectors * 512) << name;
    close(device);
    checked = true;
    break;
  }
  closedir(devices);
  if (!checked) GTEST_SKIP() << "no readable block device";
}

TEST(PlatformExecutable, PathOfTheRunningProgram) {
  char resolved[4096] = {};
  ssize_t length = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
  ASSERT_GT(length, 0);
  std::string expected(resolved, static_cast<size_t>(length));
  EXPECT_EQ(qz_platform::executable_path(1023), expected);
  EXPECT_EQ(qz_platform::executable_path(expected.size()), expected);
  // A path that needs more room than allowed gives nothing, never a cut path.
  EXPECT_EQ(qz_platform::executable_path(expected.size() - 1), "");
  EXPECT_EQ(qz_platform::executable_path(0), "");
}

}  // namespace
