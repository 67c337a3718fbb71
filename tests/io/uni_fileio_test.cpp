#include "framework/io/uni_fileio.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/io/uni_output.h"
#include "tests/text/temp_folder.h"

namespace {

class FileioTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.empty()); }

  std::string path(const std::string& name) const { return folder_.file(name); }
  void put(const std::string& name, const std::string& content) const { folder_.put(name, content); }
  std::string get(const std::string& name) const { return folder_.get(name); }
  bool exists(const std::string& name) const { return access(path(name).c_str(), F_OK) == 0; }
  // The digits 0-9, from a file or from memory.
  void open_digits(uni::fileio& file, bool in_memory) {
    if (in_memory) {
      ASSERT_TRUE(file.attach_memory({'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}, false, true));
    } else {
      put("digits", "0123456789");
      ASSERT_TRUE(file.open_utf8(path("digits"), false, true, false));
    }
  }

  temp_folder folder_{"uni_fileio"};
  const std::string dir_ = folder_.path();
};

TEST_F(FileioTest, OpenModes) {
  struct Case {
    const char* name;
    bool existing;
    bool write_access;
    bool truncate;
    bool opens;
    const char* content_after;  // null: the file must not exist
  };
  const Case cases[] = {
      {"read existing", true, false, false, true, "old"},
      {"read ignores truncate", true, false, true, true, "old"},
      {"read missing", false, false, false, false, nullptr},
      {"write keeps content and appends", true, true, false, true, "oldnew"},
      {"write without truncate creates nothing", false, true, false, false, nullptr},
      {"write with truncate empties", true, true, true, true, "new"},
      {"write with truncate creates", false, true, true, true, "new"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string name = std::string("f_") + std::to_string(&c - cases);
    if (c.existing) put(name, "old");
    uni::fileio file;
    EXPECT_EQ(file.open_utf8(path(name), c.write_access, true, c.truncate), c.opens);
    EXPECT_EQ(file.is_open(), c.opens);
    EXPECT_EQ(file.is_valid(), c.opens);
    if (c.opens) {
      EXPECT_EQ(file.get_size(), c.existing && !(c.write_access && c.truncate) ? 3u : 0u);
      // A read-only descriptor refuses the write.
      EXPECT_EQ(file.write("new", 3), c.write_access);
    } else {
      EXPECT_EQ(file.descriptor, -1);
      EXPECT_EQ(file.opened, 0);
    }
    EXPECT_TRUE(file.close());
    if (c.content_after == nullptr) {
      EXPECT_FALSE(exists(name));
    } else {
      EXPECT_EQ(get(name), c.content_after);
    }
  }
}

// Only a name where nothing stands is created: an existing file keeps its content, and a link,
// even a dangling one, is never followed to create its target.
TEST_F(FileioTest, CreateNewTakesOnlyAFreeName) {
  put("old", "old");
  ASSERT_EQ(symlink(path("target").c_str(), path("dangling").c_str()), 0);
  ASSERT_EQ(mkdir(path("folder").c_str(), 0755), 0);
  struct Case {
    const char* name;
    bool created;
  };
  for (const Case& c : {Case{"fresh", true}, Case{"old", false}, Case{"dangling", false}, Case{"folder", false}}) {
    SCOPED_TRACE(c.name);
    uni::fileio file;
    EXPECT_EQ(file.create_new_utf8(path(c.name), false), c.created);
    EXPECT_EQ(file.is_open(), c.created);
    if (c.created) {
      EXPECT_TRUE(file.write("new", 3));
      EXPECT_TRUE(file.close());
      EXPECT_EQ(get(c.name), "new");
    }
  }
  EXPECT_EQ(get("old"), "old");
  EXPECT_FALSE(exists("target"));
}

// One writer at a time: a file another open holds is neither opened nor emptied; a device is
// no one writer's and opens for every caller.
TEST_F(FileioTest, ExclusiveOpensEmptyOnlyAFileNoOtherOpenHolds) {
  put("held", "another writer's text");
  uni::fileio holder;
  ASSERT_TRUE(holder.open_exclusive_utf8(path("held"), false, false, nullptr));
  EXPECT_EQ(get("held"), "another writer's text");
  uni::fileio second;
  bool refused = false;
  EXPECT_FALSE(second.open_exclusive_utf8(path("held"), false, true, &refused));
  EXPECT_TRUE(refused);
  EXPECT_FALSE(second.is_open());
  EXPECT_EQ(get("held"), "another writer's text");
  ASSERT_TRUE(holder.close());
  EXPECT_TRUE(second.open_exclusive_utf8(path("held"), false, true, &refused));
  EXPECT_FALSE(refused);
  EXPECT_EQ(get("held"), "");
  // A file that was created is locked the same way.
  uni::fileio created;
  ASSERT_TRUE(created.create_new_utf8(path("new"), false));
  EXPECT_TRUE(created.lock_exclusive());
  EXPECT_FALSE(uni::fileio().open_exclusive_utf8(path("new"), false, true, &refused));
  EXPECT_TRUE(refused);

  uni::fileio null_one;
  uni::fileio null_two;
  EXPECT_TRUE(null_one.open_exclusive_utf8("/dev/null", false, true, nullptr));
  EXPECT_TRUE(null_two.open_exclusive_utf8("/dev/null", false, true, &refused));
  EXPECT_FALSE(refused);
}

TEST_F(FileioTest, CreatedFilesFollowTheUmask) {
  mode_t previous = umask(022);
  uni::fileio file(path("made"), true, false, false);
  umask(previous);
  ASSERT_TRUE(file.is_open());
  struct stat st {};
  ASSERT_EQ(::stat(path("made").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(FileioTest, NamesAreStoredWithoutTrailingSeparatorsAndNeverShortened) {
  put("data", "x");
  uni::fileio file;
  ASSERT_TRUE(file.open_utf8(path("data") + "//", false, true, false));
  const std::string data = path("data");
  EXPECT_EQ(file.name, std::wstring(data.begin(), data.end()));

  // Each bad name lies next to an existing file that a shortened or replaced name would hit.
  put("a", "a");
  put("a\xEF\xBF\xBD", "replacement character");
  file.close();
  EXPECT_FALSE(file.open_utf8(path("a") + "\xFF", false, true, false)) << "invalid UTF-8";
  EXPECT_FALSE(file.open_utf8(path("a") + "\xC3", false, true, false)) << "cut sequence";
  std::wstring wide_dir(dir_.begin(), dir_.end());
  EXPECT_FALSE(file.open(wide_dir + L"/a" + std::wstring(1, L'\0') + L"b", false, true, false))
      << "NUL inside the name";
  EXPECT_FALSE(file.open(wide_dir + L"/a" + std::wstring(1, static_cast<wchar_t>(0x110000)),
                         false, true, false))
      << "a character without a UTF-8 form";
  EXPECT_FALSE(file.open_utf8("", false, true, false));
  EXPECT_FALSE(file.open_utf8("///", false, true, false));
  EXPECT_FALSE(file.is_open());
}

TEST_F(FileioTest, ReopeningClosesTheOldFileAfterDrainingItsStream) {
  put("second", "2");
  uni::fileio file(path("first"), true, false, false);
  ASSERT_TRUE(file.is_open());
  std::ostream* out = file.get_output_stream();
  ASSERT_NE(out, nullptr);
  *out << "pending";
  EXPECT_EQ(get("first"), "");
  ASSERT_TRUE(file.open_utf8(path("second"), false, true, false));
  EXPECT_EQ(get("first"), "pending");
  EXPECT_EQ(file.output, nullptr);
  EXPECT_EQ(file.write_access, 0);
  EXPECT_EQ(file.text_mode, 1);
  EXPECT_EQ(file.get_size(), 1u);
}

TEST_F(FileioTest, SpecialFiles) {
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  uni::fileio file;
  EXPECT_FALSE(file.open_utf8(path("fifo"), false, true, false)) << "a FIFO is refused, at once";

  ASSERT_TRUE(file.open_utf8(dir_, false, true, false)) << "a folder opens";
  EXPECT_EQ(file.get_size(), 0u) << "and holds no bytes";

  put("empty", "");
  ASSERT_TRUE(file.open_utf8(path("empty"), false, true, false));
  EXPECT_EQ(file.get_size(), 0u);

  ASSERT_TRUE(file.open_utf8("/dev/null", false, true, false)) << "a device opens";
  EXPECT_EQ(file.get_size(), 0u);
}

TEST_F(FileioTest, WritesGoToTheEnd) {
  uni::fileio file(path("out"), true, false, false);
  ASSERT_TRUE(file.is_open());
  EXPECT_TRUE(file.write("abc", 3));
  EXPECT_EQ(file.seek_set(0), 0);
  EXPECT_TRUE(file.write("d", 1));
  EXPECT_TRUE(file.write("ignored", 0));
  EXPECT_FALSE(file.write(nullptr, 1));
  EXPECT_FALSE(file.write_bytes({}));
  EXPECT_TRUE(file.write_bytes({'e', 'f'}));
  EXPECT_FALSE(file.write_fill('z', 0));
  EXPECT_TRUE(file.write_fill('g', 1));
  EXPECT_TRUE(file.write_fill('h', 3));
  std::ostringstream empty, text;
  text << "|stream";
  EXPECT_TRUE(file.write_stream(empty));
  EXPECT_TRUE(file.write_stream(text));
  EXPECT_FALSE(file.write_format(nullptr));
  EXPECT_TRUE(file.write_format("|%s=%04d", "n", 42));
  std::string big(5000, 'x');
  EXPECT_TRUE(file.write_format("%s", big.c_str()));
  EXPECT_EQ(file.get_size(), 24u + big.size());
  EXPECT_TRUE(file.close());
  EXPECT_EQ(get("out"), "abcdefghhh|stream|n=0042" + big);

  EXPECT_FALSE(file.write("x", 1)) << "closed";
  EXPECT_FALSE(file.write_format("x"));
}

// A write at the end needs no seek while the offset stays at the end; every other move of the
// offset must bring the seek back.
TEST_F(FileioTest, WritesFindTheEndAfterTheOffsetMoved) {
  struct Case {
    const char* name;
    void (*move)(uni::fileio& file);
    std::string expected;
  };
  const Case cases[] = {
      {"no move", [](uni::fileio&) {}, "abcdefZ"},
      {"seek_set", [](uni::fileio& f) { f.seek_set(1); }, "abcdefZ"},
      {"seek_current", [](uni::fileio& f) { f.seek_current(-3); }, "abcdefZ"},
      {"seek_end", [](uni::fileio& f) { f.seek_end(4); }, "abcdefZ"},
      {"read_at", [](uni::fileio& f) { char b[2]; u32 n = 2; f.read_at(b, n, 0); }, "abcdefZ"},
      {"read_into_string", [](uni::fileio& f) { std::string t; f.read_into_string(t, 2, 1); }, "abcdefZ"},
      {"read_next", [](uni::fileio& f) { f.seek_set(0); char b[2]; u32 n = 2; f.read_next(b, n); }, "abcdefZ"},
      {"write_at", [](uni::fileio& f) { f.write_at("X", 1, 0); }, "XbcdefZ"},
      {"shorter", [](uni::fileio& f) { f.truncate(2); }, "abZ"},
      {"longer", [](uni::fileio& f) { f.truncate(8); }, std::string("abcdef\0\0Z", 9)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uni::fileio file;
    ASSERT_TRUE(file.open_utf8(path("moved"), true, false, true));
    EXPECT_TRUE(file.write("abc", 3));
    EXPECT_TRUE(file.write("def", 3));
    c.move(file);
    EXPECT_TRUE(file.write("Z", 1));
    EXPECT_EQ(file.get_size(), c.expected.size());
    EXPECT_TRUE(file.close());
    EXPECT_EQ(get("moved"), c.expected);
  }
}

TEST_F(FileioTest, WriteAtKeepsTheEndOfTheFile) {
  put("out", "0123456789");
  uni::fileio file;
  ASSERT_TRUE(file.open_utf8(path("out"), true, false, false));
  EXPECT_TRUE(file.write_at("ab", 2, 3));
  EXPECT_EQ(file.get_size(), 10u) << "a write inside the file leaves its size";
  std::vector<u8> tail;
  EXPECT_TRUE(file.read_into_vector(tail, 100, 8)) << "reads still reach the end";
  EXPECT_EQ(std::string(tail.begin(), tail.end()), "89");
  EXPECT_TRUE(file.write_bytes_at({'X', 'Y', 'Z'}, 9));
  EXPECT_EQ(file.get_size(), 12u);
  EXPECT_FALSE(file.write_bytes_at({}, 0));
  EXPECT_TRUE(file.close());
  EXPECT_EQ(get("out"), "012ab5678XYZ");
}

TEST_F(FileioTest, MemoryMode) {
  uni::fileio memory(std::vector<u8>{'a', 'b', 'c', 'd'}, true, true);
  ASSERT_TRUE(memory.is_open());
  EXPECT_EQ(memory.tell(), 4u) << "attached data is positioned at its end";
  EXPECT_FALSE(memory.open_utf8(path("x"), true, true, true)) << "memory mode refuses open";

  struct Case {
    const char* name;
    const char* bytes;
    u64 offset;
    const char* expected;
  };
  const Case cases[] = {
      {"inside", "XY", 1, "aXYd"},
      {"across the end", "XYZ", 2, "abXYZ"},
      {"at the end", "XY", 4, "abcdXY"},
      {"past the end appends without a gap", "XY", 9, "abcdXY"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(memory.attach_memory({'a', 'b', 'c', 'd'}, true, true));
    EXPECT_TRUE(memory.write_at(c.bytes, static_cast<u32>(strlen(c.bytes)), c.offset));
    EXPECT_EQ(std::string(memory.memory.begin(), memory.memory.end()), c.expected);
    EXPECT_EQ(memory.get_size(), strlen(c.expected));
  }

  // Taken over rather than copied: the caller's vector is left empty.
  std::vector<u8> taken{'t', 'a', 'k', 'e', 'n'};
  ASSERT_TRUE(memory.attach_memory(std::move(taken), false, true));
  EXPECT_TRUE(taken.empty());
  EXPECT_EQ(std::string(memory.memory.begin(), memory.memory.end()), "taken");
  EXPECT_EQ(memory.get_size(), 5u);
  EXPECT_EQ(memory.tell(), 5u);

  ASSERT_TRUE(memory.create_memory(3, true, true));
  EXPECT_EQ(memory.tell(), 0u);
  EXPECT_EQ(memory.memory, std::vector<u8>(3, 0));
  EXPECT_TRUE(memory.write("x", 1));
  EXPECT_EQ(memory.get_size(), 4u);
  EXPECT_EQ(memory.tell(), 4u);
  EXPECT_TRUE(memory.truncate(6));
  EXPECT_EQ(memory.memory, (std::vector<u8>{0, 0, 0, 'x', 0, 0}));
  EXPECT_EQ(memory.tell(), 0u);

  qz_platform::file_status status;
  status.inode = 7;
  EXPECT_TRUE(memory.stat(status));
  EXPECT_EQ(status.size, 6);
  EXPECT_EQ(status.inode, 0u);
  EXPECT_TRUE(memory.set_permissions("644"));

  EXPECT_TRUE(memory.close());
  EXPECT_FALSE(memory.is_open());
  EXPECT_TRUE(memory.memory.empty());
}

TEST_F(FileioTest, Reading) {
  for (bool in_memory : {false, true}) {
    SCOPED_TRACE(in_memory ? "memory" : "file");
    uni::fileio file;
    open_digits(file, in_memory);
    char buffer[16] = {};
    u32 length = 4;
    EXPECT_TRUE(file.read_at(buffer, length, 8));
    EXPECT_EQ(std::string(buffer, length), "89");
    length = 4;
    EXPECT_FALSE(file.read_at(buffer, length, 10)) << "offset at the end";
    u64 wide_length = 0x100000000ull;
    EXPECT_FALSE(file.read_at_u64(buffer, wide_length, 0));
    EXPECT_EQ(wide_length, 0u);
    wide_length = 3;
    EXPECT_TRUE(file.read_at_u64(buffer, wide_length, 1));
    EXPECT_EQ(std::string(buffer, wide_length), "123");

    std::vector<u8> bytes{'k', 'e', 'e', 'p'};
    EXPECT_FALSE(file.read_into_vector(bytes, 5, 10));
    EXPECT_TRUE(file.read_into_vector(bytes, 0, 2));
    EXPECT_EQ(bytes, (std::vector<u8>{'k', 'e', 'e', 'p'})) << "count 0 leaves out untouched";
    EXPECT_TRUE(file.read_into_vector(bytes, 100, 7));
    EXPECT_EQ(bytes, (std::vector<u8>{'7', '8', '9'}));
    std::string text;
    EXPECT_TRUE(file.read_into_string(text, 3, 2));
    EXPECT_EQ(text, "234");

    EXPECT_EQ(file.seek_set(6), 6);
    length = 3;
    EXPECT_TRUE(file.read_next(buffer, length));
    EXPECT_EQ(std::string(buffer, length), "678");
    length = 3;
    EXPECT_TRUE(file.read_next(buffer, length));
    EXPECT_EQ(std::string(buffer, length), "9");
    EXPECT_EQ(file.tell(), 10u);
  }
  uni::fileio closed;
  char byte = 0;
  u32 length = 1;
  std::vector<u8> bytes;
  EXPECT_FALSE(closed.read_at(&byte, length, 0));
  EXPECT_FALSE(closed.read_next(&byte, length));
  EXPECT_FALSE(closed.read_into_vector(bytes, 1, 0));
}

TEST_F(FileioTest, Positioning) {
  for (bool in_memory : {false, true}) {
    SCOPED_TRACE(in_memory ? "memory" : "file");
    uni::fileio file;
    open_digits(file, in_memory);
    EXPECT_EQ(file.seek_end(0), 10);
    EXPECT_EQ(file.tell(), 10u);
    EXPECT_EQ(file.seek_end(3), 7);
    EXPECT_EQ(file.seek_end(50), 0) << "further back than the size";
    EXPECT_EQ(file.seek_set(4), 4);
    EXPECT_EQ(file.seek_current(2), 6);
    EXPECT_EQ(file.seek_current(-6), 0);
    if (in_memory) {
      EXPECT_EQ(file.seek_set(11), -1);
      EXPECT_EQ(file.seek_current(11), -1);
      EXPECT_EQ(file.seek_current(-1), -1);
      EXPECT_EQ(file.tell(), 0u);
    }
  }
  uni::fileio closed;
  EXPECT_EQ(closed.tell(), 0u);
  EXPECT_EQ(closed.seek_set(0), -1);
  EXPECT_EQ(closed.seek_current(0), -1);
  EXPECT_EQ(closed.seek_end(0), -1);
  EXPECT_EQ(closed.query_size(), 0u);
  EXPECT_EQ(closed.refresh_size(), 0u);
  EXPECT_FALSE(closed.truncate(0));
}

TEST_F(FileioTest, SizeTruncateStatAndPermissions) {
  put("data", "0123456789");
  uni::fileio file;
  ASSERT_TRUE(file.open_utf8(path("data"), true, false, false));
  EXPECT_TRUE(file.truncate(4));
  EXPECT_EQ(file.get_size(), 4u);
  EXPECT_EQ(get("data"), "0123");

  put("data", "0123456789AB");  // grown behind the object's back
  EXPECT_EQ(file.get_size(), 4u);
  EXPECT_EQ(file.query_size(), 12u);
  EXPECT_EQ(file.get_size(), 4u) << "query_size does not store";
  EXPECT_EQ(file.refresh_size(), 12u);
  EXPECT_EQ(file.get_size(), 12u);

  qz_platform::file_status status;
  ASSERT_TRUE(file.stat(status));
  struct stat st {};
  ASSERT_EQ(::stat(path("data").c_str(), &st), 0);
  EXPECT_EQ(status.inode, st.st_ino);
  EXPECT_EQ(status.size, 12);

  struct Case {
    const char* text;
    mode_t mode;
  };
  const Case modes[] = {{"644", 0644}, {"600", 0600}, {"755", 0755}, {"zz", 0}};
  for (const Case& c : modes) {
    SCOPED_TRACE(c.text);
    EXPECT_TRUE(file.set_permissions(c.text));
    ASSERT_EQ(::stat(path("data").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, c.mode);
  }
  EXPECT_TRUE(file.close());
  EXPECT_FALSE(file.set_permissions("644"));
  EXPECT_FALSE(file.stat(status));
}

TEST_F(FileioTest, OffsetsBeyondFourGigabytes) {
  const u64 far = 5ull << 30;
  {
    int fd = ::open(path("sparse").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, "tail", 4, static_cast<off_t>(far)), 4);
    ::close(fd);
  }
  uni::fileio file;
  ASSERT_TRUE(file.open_utf8(path("sparse"), true, false, false));
  EXPECT_EQ(file.get_size(), far + 4);
  std::string text;
  EXPECT_TRUE(file.read_into_string(text, 10, far));
  EXPECT_EQ(text, "tail");
  EXPECT_TRUE(file.write_at("T", 1, far));
  EXPECT_TRUE(file.write("!", 1));
  EXPECT_EQ(file.get_size(), far + 5);
  char buffer[8] = {};
  u32 length = sizeof buffer;
  EXPECT_TRUE(file.read_at(buffer, length, far));
  EXPECT_EQ(std::string(buffer, length), "Tail!");
  EXPECT_EQ(file.seek_end(1), static_cast<i64>(far + 4));
}

TEST_F(FileioTest, AppendingOpens) {
  uni::fileio file;
  ASSERT_TRUE(file.open_append_utf8(path("caf\xC3\xA9.log"), true)) << "created when missing";
  EXPECT_EQ(file.name, std::wstring(dir_.begin(), dir_.end()) + L"/caf\u00E9.log")
      << "the name is decoded, not widened byte by byte";
  EXPECT_TRUE(file.write("one", 3));
  EXPECT_TRUE(file.close());

  ASSERT_TRUE(file.open_append_utf8(path("caf\xC3\xA9.log"), true));
  EXPECT_EQ(file.tell(), 3u) << "positioned at the end";
  EXPECT_EQ(file.write_access, 1);
  EXPECT_TRUE(file.write("two", 3));
  EXPECT_TRUE(file.write_at("X", 1, 0)) << "appending descriptors add at the end even here";
  EXPECT_TRUE(file.close());
  EXPECT_EQ(get("caf\xC3\xA9.log"), "onetwoX");

  std::wstring wide = std::wstring(dir_.begin(), dir_.end()) + L"/wide.log";
  ASSERT_TRUE(file.open_append(wide, false));
  EXPECT_TRUE(file.write("w", 1));
  EXPECT_TRUE(file.close());
  EXPECT_EQ(get("wide.log"), "w");
  EXPECT_FALSE(file.open_append_utf8("", true));
}

TEST_F(FileioTest, WriteErrorsAreReported) {
  uni::fileio full;
  ASSERT_TRUE(full.open_utf8("/dev/full", true, false, false));
  EXPECT_FALSE(full.write("x", 1));
  EXPECT_FALSE(full.write_format("%d", 1));
  EXPECT_TRUE(full.close());  // nothing was pending

  // A file size limit makes the system write part of the bytes, then refuse the rest:
  // the part that arrived must not be taken for the whole.
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit previous {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  uni::fileio file(path("limited"), true, false, false);
  ASSERT_TRUE(file.is_open());
  struct rlimit limited = previous;
  limited.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  std::string text(150, 'x');
  bool written = file.write(text.data(), static_cast<u32>(text.size()));
  setrlimit(RLIMIT_FSIZE, &previous);
  EXPECT_FALSE(written);
  EXPECT_EQ(get("limited").size(), 100u);
}

}  // namespace
