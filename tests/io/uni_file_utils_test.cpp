#include "framework/io/uni_file_utils.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "framework/io/uni_fileio.h"
#include "tests/io/folder_fixture.h"

namespace fs = std::filesystem;

namespace {

using FileUtilsTest = folder_fixture;

std::string bytes_text(const std::vector<u8>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST_F(FileUtilsTest, LoadFile) {
  std::string thousand;
  for (int i = 0; i < 1000; ++i) thousand += static_cast<char>('a' + i % 26);
  write(at("big"), thousand);
  write(at("empty"), "");
  struct Case {
    const char* name;
    std::string path;
    u64 limit;
    bool expected;
    std::string content;
  };
  const Case cases[] = {
      {"limit cuts", at("big"), 100, true, thousand.substr(0, 100)},
      {"whole file", at("big"), 0xFFFFFFFFu, true, thousand},
      {"relative path", "big", 3, true, "abc"},
      {"empty file", at("empty"), 100, false, ""},
      {"limit 0", at("big"), 0, false, ""},
      {"missing file", at("none"), 100, false, ""},
      {"empty path", "", 100, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<u8> bytes = {'x'};
    EXPECT_EQ(load_file_bytes(bytes, c.path, c.limit), c.expected);
    EXPECT_EQ(bytes_text(bytes), c.content);
    std::string text = "x";
    EXPECT_EQ(load_file_text(text, c.path, c.limit), c.expected);
    EXPECT_EQ(text, c.content);
  }
}

// Sizes whose low 32 bits are small or zero must not stand for the whole size.
TEST_F(FileUtilsTest, LoadFileBeyondFourGiB) {
  const struct {
    const char* name;
    off_t size;
  } cases[] = {{"exactly 4 GiB", off_t{1} << 32}, {"4 GiB and 10 bytes", (off_t{1} << 32) + 10}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int fd = open(at("sparse").c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    if (ftruncate(fd, c.size) != 0) {
      close(fd);
      GTEST_SKIP() << "no sparse files here";
    }
    close(fd);
    std::vector<u8> bytes;
    ASSERT_TRUE(load_file_bytes(bytes, at("sparse"), 16));
    EXPECT_EQ(bytes.size(), 16u);
  }
}

TEST_F(FileUtilsTest, NamesThatCannotBeConvertedUnchangedAreRefused) {
  fs::create_directory(at("a"));
  write(at("a/b"), "target");
  write(at("plain"), "plain");
  // An overlong encoding of '/', a Latin-1 byte and a NUL would each reach another file
  // (or a shortened name) if converted loosely.
  const std::string narrow[] = {at("a\xC0\xAF" "b"), at("plain\xFF"), std::string(at("plain")) + '\0' + "x"};
  for (const std::string& name : narrow) {
    SCOPED_TRACE(name);
    std::vector<u8> bytes;
    EXPECT_FALSE(load_file_bytes(bytes, name, 100));
    EXPECT_EQ(get_file_inode(name), 0u);
    qz_platform::file_status status;
    EXPECT_FALSE(stat_path_utf8(&status, name));
    std::wstring wide;
    EXPECT_FALSE(path_utf8_to_wide(wide, name));
    EXPECT_TRUE(wide.empty());
  }
  // A wide character beyond U+10FFFF would end the UTF-8 text early, leaving the
  // name of the folder that holds the file.
  const std::wstring cut = wide_at("a") + static_cast<wchar_t>(0x110000);
  EXPECT_FALSE(is_directory_w(cut));
  EXPECT_EQ(get_file_inode_w(cut), 0u);
  std::string utf8;
  EXPECT_FALSE(path_wide_to_utf8(utf8, cut));
  EXPECT_FALSE(path_wide_to_utf8(utf8, std::wstring(L"a\0b", 3)));
  EXPECT_TRUE(path_wide_to_utf8(utf8, L"caf\u00e9"));
  EXPECT_EQ(utf8, "caf\xc3\xa9");
}

TEST_F(FileUtilsTest, WipeFile) {
  write(at("thousand"), std::string(1000, 'x'));
  ASSERT_TRUE(wipe_file_w(wide_at("thousand"), false));
  EXPECT_EQ(read(at("thousand")), std::string(1024, '\0'));

  write(at("empty"), "");
  EXPECT_FALSE(wipe_file(at("empty"), false));
  EXPECT_EQ(fs::file_size(at("empty")), 0u);
  EXPECT_FALSE(wipe_file(at("missing"), false));
  EXPECT_FALSE(fs::exists(at("missing")));
  EXPECT_FALSE(wipe_file("", false));
}

TEST_F(FileUtilsTest, WipeFileMarked) {
  write(at("ten_k"), std::string(10000, 'x'));
  const std::vector<u8> marker = {'M', 'A', 'R', 'K'};
  ASSERT_TRUE(wipe_file_marked(at("ten_k"), marker, false));
  std::string expected(10240, '\0');
  for (u32 i = 0; i < 3; ++i) {
    expected.replace(i * 4096, 4, "MARK");
    expected[i * 4096 + 4] = static_cast<char>(i);
  }
  EXPECT_EQ(read(at("ten_k")), expected);
  // Without a marker it is the plain wipe.
  write(at("plain"), std::string(600, 'x'));
  ASSERT_TRUE(wipe_file_marked_w(wide_at("plain"), {}, false));
  EXPECT_EQ(read(at("plain")), std::string(1024, '\0'));
}

// Lowers the file-size limit for the rest of a scope so that growing writes fail.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = old_;
    lowered.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit old_{};
  sighandler_t old_handler_ = SIG_DFL;
};

TEST_F(FileUtilsTest, WipeReportsAFailedWrite) {
  write(at("grows"), std::string(1000, 'x'));
  FileSizeLimit limit(512);
  EXPECT_FALSE(wipe_file(at("grows"), false));
}

TEST_F(FileUtilsTest, ZeroFile) {
  write(at("data"), "secret data");
  ASSERT_TRUE(zero_file(at("data")));
  EXPECT_EQ(read(at("data")), std::string(11, '\0'));
  write(at("empty"), "");
  EXPECT_TRUE(zero_file(at("empty")));
  EXPECT_FALSE(zero_file(at("missing")));
  EXPECT_FALSE(fs::exists(at("missing")));
}

TEST_F(FileUtilsTest, IsDirectoryLooksAtTheWholeFileType) {
  fs::create_directory(at("folder"));
  fs::create_directory_symlink(at("folder"), at("link"));
  write(at("file"), "x");
  make_fifo_and_socket("fifo", "sock");
  struct Case {
    const char* name;
    std::string path;
    bool expected;
  };
  std::vector<Case> cases = {
      {"folder", at("folder"), true},
      {"folder with trailing separators", at("folder") + "//", true},
      {"link to a folder", at("link"), true},
      {"relative folder", "folder", true},
      {"root alone has nothing left", "/", false},
      {"regular file", at("file"), false},
      {"FIFO", at("fifo"), false},
      {"socket (type 0xC000 holds bit 0x4000)", at("sock"), false},
      {"missing", at("missing"), false},
      {"empty", "", false},
  };
  // A block device (type 0x6000) also holds bit 0x4000.
  if (fs::is_block_file("/dev/loop0")) cases.push_back({"block device", "/dev/loop0", false});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(is_directory(c.path), c.expected);
    // The wide form keeps trailing separators, so only paths without one are compared.
    if (!c.path.empty() && c.path.back() != '/') {
      EXPECT_EQ(is_directory_w(std::wstring(c.path.begin(), c.path.end())), c.expected);
    }
  }
}

TEST_F(FileUtilsTest, StatusQueries) {
  write(at("file"), "12345");
  struct stat st {};
  ASSERT_EQ(stat(at("file").c_str(), &st), 0);
  EXPECT_EQ(get_file_inode(at("file")), st.st_ino);
  EXPECT_EQ(get_file_inode_w(wide_at("file")), st.st_ino);
  EXPECT_EQ(get_file_inode(at("missing")), 0u);

  qz_platform::file_status status;
  ASSERT_EQ(stat_file(at("file").c_str(), &status), 0);
  EXPECT_EQ(status.size, 5);
  EXPECT_EQ(stat_file_wcs(wide_at("file").c_str(), &status), 0);
  EXPECT_EQ(status.inode, st.st_ino);
  EXPECT_EQ(stat_file(at("missing").c_str(), &status), -1);
  EXPECT_EQ(status.inode, 0u);
  EXPECT_EQ(stat_file(nullptr, &status), -1);
  EXPECT_EQ(stat_file(at("file").c_str(), nullptr), -1);

  const int fd = open(at("file").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(fstat_fd(fd, &status), 0);
  EXPECT_EQ(status.inode, st.st_ino);
  close(fd);
  EXPECT_EQ(fstat_fd(-1, &status), -1);
  EXPECT_EQ(status.size, 0);
}

TEST_F(FileUtilsTest, ZoneIdentifierCompanion) {
  write(at("down.csv"), "x");
  write(at("plain.csv"), "x");
  write(at("down.csv:Zone.Identifier"), "[ZoneTransfer]");
  std::vector<std::string> out = {"stale"};
  ASSERT_TRUE(list_zone_identifier(out, at("down.csv")));
  EXPECT_EQ(out, std::vector<std::string>{at("down.csv:Zone.Identifier")});
  EXPECT_FALSE(list_zone_identifier(out, at("plain.csv")));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(list_zone_identifier(out, at("missing.csv")));
}

TEST_F(FileUtilsTest, CurrentFolderLongerThan512Bytes) {
  std::string deep = root_;
  while (deep.size() < 700) {
    deep += "/" + std::string(60, 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
  }
  cwd_guard guard;
  fs::current_path(deep);
  EXPECT_EQ(get_cwd(), deep);
  EXPECT_EQ(get_full_path("a.csv", '/'), deep + "/a.csv");
}

TEST_F(FileUtilsTest, FullPathFailsWhenTheCurrentFolderIsGone) {
  fs::create_directory(at("doomed"));
  cwd_guard guard;
  fs::current_path(at("doomed"));
  ASSERT_EQ(rmdir(at("doomed").c_str()), 0);
  EXPECT_EQ(get_cwd(), "");
  EXPECT_EQ(get_full_path("a.csv", '/'), "");
  EXPECT_EQ(get_full_path("/abs/a.csv", '/'), "/abs/a.csv");
}

TEST_F(FileUtilsTest, FullPath) {
  const std::string cwd = get_cwd();
  ASSERT_EQ(cwd, fs::canonical(root_).string());
  const std::string parent = fs::path(cwd).parent_path().string();
  struct Case {
    const char* name;
    std::string path;
    std::string expected;
  };
  const Case cases[] = {
      {"plain name", "a.csv", cwd + "/a.csv"},
      {"dot folder", "./data/a.csv", cwd + "/data/a.csv"},
      {"parent folder", "../b/c.txt", parent + "/b/c.txt"},
      {"absolute stays unchanged", "/tmp//a", "/tmp//a"},
      {"double quotes and blanks", "  \"a b.csv\"\r\n", cwd + "/a b.csv"},
      {"two apostrophes become blanks", "it's 'a'.csv", cwd + "/it s  a .csv"},
      {"one apostrophe stays", "Bob's.csv", cwd + "/Bob's.csv"},
      {"hidden folder", ".hidden/a.csv", cwd + "/.hidden/a.csv"},
      {"parent after a folder", "a/../b.csv", cwd + "/b.csv"},
      {"current folder", ".", cwd + "/"},
      {"parent alone", "..", parent + "/"},
      {"trailing separator", "data/", cwd + "/data/"},
      {"doubled separators", "d//e", cwd + "/d/e"},
      {"drive path unchanged", "C:\\x\\y.csv", "C:\\x\\y.csv"},
      {"only blanks", " \t ", ""},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(get_full_path(c.path, '/'), c.expected);
  }
  const std::wstring wide_cwd(cwd.begin(), cwd.end());  // the temporary folder's name is ASCII
  EXPECT_EQ(get_full_path_w(L"caf\u00e9.csv", L'/'), wide_cwd + L"/caf\u00e9.csv");
  EXPECT_EQ(get_cwd_w(), wide_cwd);
}

TEST_F(FileUtilsTest, SaveMemoryBuffer) {
  const std::vector<u8> data = {'h', 'e', 'l', 'l', 'o'};
  uni::fileio memory(data, false, false);
  ASSERT_TRUE(memory.save_as(wide_at("copy"), false, false));
  EXPECT_EQ(read(at("copy")), "hello");
  ASSERT_TRUE(memory.save_as_utf8(at("copy"), true, false));
  EXPECT_EQ(read(at("copy")), "hellohello");
  ASSERT_TRUE(memory.save_memory_to_file(at("direct")));
  EXPECT_EQ(read(at("direct")), "hello");

  uni::fileio empty(std::vector<u8>{}, false, false);
  EXPECT_FALSE(empty.save_as(wide_at("none"), false, false));
  EXPECT_FALSE(fs::exists(at("none")));
  EXPECT_TRUE(empty.save_as(wide_at("made_empty"), false, true));
  EXPECT_EQ(fs::file_size(at("made_empty")), 0u);
  EXPECT_FALSE(empty.save_memory_to_file(at("none")));

  // A failed write is reported.
  EXPECT_FALSE(memory.save_as(L"/dev/full", false, false));
  EXPECT_FALSE(memory.save_memory_to_file("/dev/full"));
  uni::fileio closed;
  EXPECT_FALSE(closed.save_as(wide_at("none"), false, true));
}

TEST_F(FileUtilsTest, SaveFileFromItsPosition) {
  write(at("source"), "0123456789");
  uni::fileio source(at("source"), false, true, false);
  ASSERT_TRUE(source.is_open());
  ASSERT_EQ(source.seek_set(4), 4);
  ASSERT_TRUE(source.save_as(wide_at("rest"), false, false));
  EXPECT_EQ(read(at("rest")), "456789");
  EXPECT_EQ(source.tell(), 10u);
  // Nothing left to copy.
  EXPECT_FALSE(source.save_as(wide_at("nothing"), false, false));
  EXPECT_TRUE(source.save_as(wide_at("nothing"), false, true));
  EXPECT_EQ(fs::file_size(at("nothing")), 0u);

  ASSERT_EQ(source.seek_set(0), 0);
  EXPECT_FALSE(source.save_as(L"/dev/full", false, false));
}

TEST_F(FileUtilsTest, SaveAsOntoItselfKeepsTheFile) {
  write(at("self"), "precious");
  uni::fileio source(at("self"), false, true, false);
  ASSERT_TRUE(source.is_open());
  EXPECT_FALSE(source.save_as(wide_at("self"), false, false));
  EXPECT_EQ(read(at("self")), "precious");
}

}  // namespace
