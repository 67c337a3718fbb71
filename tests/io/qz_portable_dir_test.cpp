#include "framework/io/qz_portable_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/io/folder_fixture.h"

namespace fs = std::filesystem;

namespace {

using PortableDirTest = folder_fixture;

bool is_dir(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST_F(PortableDirTest, MakeDirAcceptsOnlyAFolderAlreadyThere) {
  write(at("file"), "x");
  fs::create_directory(at("existing"));
  fs::create_directory_symlink(at("existing"), at("link_to_dir"));
  struct Case {
    const char* name;
    std::string path;
    bool expected;
  };
  const Case cases[] = {
      {"new folder", at("fresh"), true},
      {"existing folder", at("existing"), true},
      {"link to a folder", at("link_to_dir"), true},
      {"a file stands there", at("file"), false},
      {"missing parent", at("none/child"), false},
      {"empty path", "", false},
      {"embedded NUL", std::string("fresh2\0x", 8), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(make_dir(c.path), c.expected);
  }
  EXPECT_TRUE(is_dir(at("fresh")));
  EXPECT_FALSE(fs::exists(at("fresh2")));
  EXPECT_TRUE(make_dir(std::wstring(L"wide_\u00e9")));
  EXPECT_TRUE(is_dir(at("wide_\xc3\xa9")));
}

TEST_F(PortableDirTest, MakeDirLeavesTheUmaskInForce) {
  const mode_t old_mask = umask(022);
  ASSERT_TRUE(make_dir(at("masked")));
  const mode_t after = umask(old_mask);
  EXPECT_EQ(after, 022u);
  struct stat st {};
  ASSERT_EQ(stat(at("masked").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
}

TEST_F(PortableDirTest, MakeDirPathCreatesEveryFolder) {
  struct Case {
    const char* name;
    std::string path;
    std::vector<std::string> made;  // relative to the temporary folder
  };
  const Case cases[] = {
      {"doubled and trailing separators", at("a//b/"), {"a", "a/b"}},
      {"relative path", "rel/x/y", {"rel", "rel/x", "rel/x/y"}},
      {"quotes removed", "\"quoted\"/in", {"quoted", "quoted/in"}},
      {"backslashes taken as separators", "back\\slash", {"back", "back/slash"}},
      {"device prefix kept in front of each folder", "\\\\?\\dev\\sub", {"\\\\?\\dev", "\\\\?\\dev/sub"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(make_dir_path(c.path));
    for (const std::string& folder : c.made) EXPECT_TRUE(is_dir(at(folder))) << folder;
  }
  EXPECT_TRUE(make_dir_path(std::wstring(L"wide/one")));
  EXPECT_TRUE(is_dir(at("wide/one")));
}

TEST_F(PortableDirTest, MakeDirPathFailures) {
  write(at("blocker"), "x");
  EXPECT_FALSE(make_dir_path(at("blocker/inner")));
  EXPECT_FALSE(make_dir_path(at("blocker")));
  EXPECT_FALSE(make_dir_path("\"\""));
  // A drive component is never created: C:/x fails because C: is not made.
  EXPECT_FALSE(make_dir_path("C:/x"));
  EXPECT_FALSE(fs::exists(at("C:")));
}

TEST_F(PortableDirTest, WriteFileMakeDirs) {
  const u8 data[] = {'a', 'b', 'c', 0, 'd'};
  ASSERT_TRUE(write_file_make_dirs(at("p/q/out.bin").c_str(), data, 5));
  EXPECT_EQ(read(at("p/q/out.bin")), std::string("abc\0d", 5));
  // Replaces what was there.
  ASSERT_TRUE(write_file_make_dirs(at("p/q/out.bin").c_str(), data, 2));
  EXPECT_EQ(read(at("p/q/out.bin")), "ab");
  EXPECT_TRUE(write_file_make_dirs(at("p/empty.bin").c_str(), nullptr, 10));
  EXPECT_EQ(fs::file_size(at("p/empty.bin")), 0u);
  EXPECT_TRUE(write_file_make_dirs(L"wide/w.bin", data, 3));
  EXPECT_EQ(read(at("wide/w.bin")), "abc");

  write(at("plain"), "x");
  EXPECT_FALSE(write_file_make_dirs(at("plain/under.bin").c_str(), data, 5));
  EXPECT_FALSE(write_file_make_dirs(at("neg.bin").c_str(), data, -1));
  EXPECT_FALSE(write_file_make_dirs(static_cast<const char*>(nullptr), data, 5));
  // A device that is always full: the failed write is reported.
  EXPECT_FALSE(write_file_make_dirs("/dev/full", data, 5));
}

TEST_F(PortableDirTest, FileExists) {
  write(at("here"), "");
  EXPECT_TRUE(file_exists(at("here")));
  EXPECT_TRUE(file_exists(std::string("here")));
  EXPECT_TRUE(file_exists(root_));
  EXPECT_TRUE(file_exists(std::wstring(L"here")));
  EXPECT_FALSE(file_exists(at("gone")));
  EXPECT_FALSE(file_exists(std::string()));
  EXPECT_FALSE(file_exists(std::string("here\0tail", 9)));
}

// Names a user may well have: quotes, apostrophes and blanks are part of the name.
TEST_F(PortableDirTest, RemoveAndRenameKeepEveryCharacterOfTheName) {
  const std::string names[] = {"Bob's 'x'.csv", "say \"hi\".csv", " lead.csv", "trail.csv "};
  // The names the quote-rewriting would have produced; they must be left alone.
  const std::string decoys[] = {"Bob s  x .csv", "say  hi .csv", "lead.csv", "trail.csv"};
  for (const std::string& d : decoys) write(at(d), "decoy");
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    write(at(name), "real");
    ASSERT_TRUE(rename_file(name, name + ".moved", true));
    EXPECT_EQ(read(at(name + ".moved")), "real");
    EXPECT_TRUE(remove_file(name + ".moved"));
    EXPECT_FALSE(fs::exists(at(name + ".moved")));
  }
  for (const std::string& d : decoys) EXPECT_EQ(read(at(d)), "decoy") << d;
}

TEST_F(PortableDirTest, RemoveAndRenameResults) {
  write(at("one"), "1");
  write(at("two"), "2");
  EXPECT_TRUE(rename_file(at("one"), at("two"), false));  // replaces, as rename does
  EXPECT_EQ(read(at("two")), "1");
  EXPECT_FALSE(rename_file(at("one"), at("three"), false));
  EXPECT_TRUE(rename_file(std::wstring(L"two"), std::wstring(L"w\u00e9")));
  EXPECT_EQ(read(at("w\xc3\xa9")), "1");
  EXPECT_TRUE(remove_file(std::wstring(L"w\u00e9")));
  EXPECT_FALSE(remove_file(at("w\xc3\xa9")));
  EXPECT_FALSE(remove_file(std::string()));
  // A wide name the encoder would cut short must not reach another file.
  write(at("cut"), "keep");
  EXPECT_FALSE(remove_file(std::wstring(L"cut") + static_cast<wchar_t>(0x110000)));
  EXPECT_TRUE(fs::exists(at("cut")));
}

TEST_F(PortableDirTest, ReadFileBytes) {
  write(at("ten"), "0123456789");
  write(at("empty"), "");
  struct Case {
    const char* name;
    std::string path;
    u32 max_bytes;
    bool expected;
    std::string bytes;
  };
  const Case cases[] = {
      {"first bytes", at("ten"), 4, true, "0123"},
      {"whole file", at("ten"), 100, true, "0123456789"},
      {"empty file", at("empty"), 100, false, ""},
      {"max 0", at("ten"), 0, false, ""},
      {"missing", at("none"), 10, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<u8> out = {'x'};
    EXPECT_EQ(read_file_bytes(out, c.path, c.max_bytes), c.expected);
    EXPECT_EQ(std::string(out.begin(), out.end()), c.bytes);
  }
  std::vector<u8> out;
  EXPECT_TRUE(read_file_bytes(out, std::wstring(L"ten"), 3));
  EXPECT_EQ(std::string(out.begin(), out.end()), "012");
}

TEST_F(PortableDirTest, OpenCfile) {
  FILE* file = nullptr;
  ASSERT_TRUE(open_cfile_write(&file, L"c.txt", false));
  ASSERT_NE(file, nullptr);
  fputs("line\n", file);
  fclose(file);
  ASSERT_TRUE(open_cfile_read(&file, L"c.txt", true));
  char buffer[16] = {};
  ASSERT_NE(fgets(buffer, sizeof buffer, file), nullptr);
  EXPECT_STREQ(buffer, "line\n");
  fclose(file);
  // Writing truncates.
  ASSERT_TRUE(open_cfile(&file, L"c.txt", false, 0, true, false));
  fclose(file);
  EXPECT_EQ(fs::file_size(at("c.txt")), 0u);

  file = reinterpret_cast<FILE*>(1);
  EXPECT_FALSE(open_cfile_read(&file, L"missing.txt", false));
  EXPECT_EQ(file, nullptr);
  EXPECT_FALSE(open_cfile_read(&file, L"", false));
  EXPECT_FALSE(open_cfile_read(nullptr, L"c.txt", false));
}

TEST_F(PortableDirTest, OpenCfileRefusesFifoAndSocketWithoutWaiting) {
  make_fifo_and_socket("fifo", "sock");
  FILE* file = nullptr;
  EXPECT_FALSE(open_cfile_read(&file, L"fifo", false));
  EXPECT_FALSE(open_cfile_write(&file, L"fifo", false));
  EXPECT_FALSE(open_cfile_read(&file, L"sock", false));
  EXPECT_EQ(file, nullptr);
}

TEST(PortableDir, ExecutablePathNamesThisProgram) {
  const std::string path = get_executable_path();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path[0], '/');
  EXPECT_NE(path.find("qz_portable_dir_test"), std::string::npos);
  EXPECT_EQ(get_executable_path_w().size(), path.size());
}

TEST_F(PortableDirTest, MoveFileIntoDir) {
  write(at("report.csv"), "new");
  std::string out;
  ASSERT_TRUE(move_file_into_dir(out, at("dest/sub"), at("report.csv")));
  EXPECT_EQ(out, at("dest/sub/report.csv"));
  EXPECT_EQ(read(out), "new");
  EXPECT_FALSE(fs::exists(at("report.csv")));

  // A file of that name in the folder survives; the move is refused.
  write(at("report.csv"), "second");
  EXPECT_FALSE(move_file_into_dir(out, at("dest/sub"), at("report.csv")));
  EXPECT_EQ(read(at("dest/sub/report.csv")), "new");
  EXPECT_EQ(read(at("report.csv")), "second");

  EXPECT_FALSE(move_file_into_dir(out, at("dest"), at("missing.csv")));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(move_file_into_dir(out, "", at("report.csv")));
}

TEST_F(PortableDirTest, MoveIntoOwnSubdir) {
  write(at("report.csv"), "r");
  std::string out;
  ASSERT_TRUE(move_into_own_subdir(out, at("report.csv"), nullptr, false));
  EXPECT_EQ(out, at("report/report.csv"));
  EXPECT_EQ(read(out), "r");
  // Already in its own folder.
  EXPECT_FALSE(move_into_own_subdir(out, out, nullptr, false));
  EXPECT_TRUE(fs::exists(at("report/report.csv")));

  // A '.' only in a folder name: the file must not be moved out into another folder.
  fs::create_directory(at("x.d"));
  write(at("x.d/plain"), "p");
  EXPECT_FALSE(move_into_own_subdir(out, at("x.d/plain"), nullptr, false));
  EXPECT_EQ(read(at("x.d/plain")), "p");
  EXPECT_FALSE(fs::exists(at("x")));

  // A file of the same name already in the new folder is never replaced.
  write(at("data.csv"), "outer");
  fs::create_directory(at("data"));
  write(at("data/data.csv"), "inner");
  EXPECT_FALSE(move_into_own_subdir(out, at("data.csv"), nullptr, false));
  EXPECT_EQ(read(at("data/data.csv")), "inner");
  EXPECT_EQ(read(at("data.csv")), "outer");

  EXPECT_FALSE(move_into_own_subdir(out, "nodots", nullptr, false));
  EXPECT_FALSE(move_into_own_subdir(out, at("missing.csv"), nullptr, false));
}

TEST_F(PortableDirTest, MoveIntoOwnSubdirTakesItsCompanions) {
  fs::create_directory(at("case"));
  for (const char* name : {"case/run_full.csv", "case/run.log", "case/run.idx", "case/other.csv",
                           "case/prerun.txt"})
    write(at(name), name);
  fs::create_directory(at("case/run_dir"));
  std::string out;
  const std::vector<std::string> suffixes = {"_FULL"};
  ASSERT_TRUE(move_into_own_subdir(out, at("case/run_full.csv"), &suffixes, true));
  EXPECT_EQ(out, at("case/run_full/run_full.csv"));
  // The stem less its suffix is "run": every file whose name holds it follows, folders stay.
  for (const char* name : {"run.log", "run.idx", "prerun.txt"})
    EXPECT_TRUE(fs::exists(at(std::string("case/run_full/") + name))) << name;
  EXPECT_TRUE(fs::exists(at("case/other.csv")));
  EXPECT_TRUE(fs::is_directory(at("case/run_dir")));

  // A stem that the suffixes reduce to nothing would take every file along: nothing follows.
  fs::create_directory(at("lone"));
  // (A stem the temporary folder's random name cannot hold.)
  write(at("lone/solo_7.csv"), "x");
  write(at("lone/y.csv"), "y");
  const std::vector<std::string> whole = {"solo_7"};
  ASSERT_TRUE(move_into_own_subdir(out, at("lone/solo_7.csv"), &whole, true));
  EXPECT_TRUE(fs::exists(at("lone/y.csv")));

  // The folder part of a path never counts as a match.
  fs::create_directory(at("abcde"));
  write(at("abcde/abcd_x.csv"), "1");
  write(at("abcde/zz.csv"), "2");
  const std::vector<std::string> tail = {"_x"};
  ASSERT_TRUE(move_into_own_subdir(out, at("abcde/abcd_x.csv"), &tail, true));
  EXPECT_TRUE(fs::exists(at("abcde/zz.csv")));
}

TEST(PortableDir, MakeRelativePath) {
  struct Case {
    const char* name;
    std::string from;
    std::string to;
    int max_length;
    bool expected;
    std::string out;
  };
  const Case cases[] = {
      {"sibling folder", "/ab/c", "/ab/d/e", 100, true, "../d/e"},
      {"below from", "/ab/c", "/ab/c/d", 100, true, "d"},
      {"below from with trailing slash", "/ab/c/", "/ab/c/d", 100, true, "d"},
      {"texts part in the second character", "/ab/c", "/xy/c/d", 100, true, "../../xy/c/d"},
      {"texts part in the third character", "/ab/c", "/ax/c/d", 100, true, "../../ax/c/d"},
      {"from goes deeper", "/ab/c/x/y", "/ab/d", 100, true, "../../../d"},
      {"part at a separator of from", "/ab/c/x", "/ab/cd", 100, true, "../../cd"},
      {"to is a prefix of from", "/ab/cd", "/ab/c", 100, true, "../c"},
      {"first characters differ", "/ab/c", "rel/d", 100, true, "rel/d"},
      {"from too short", "/ab", "/ab/c/d", 100, false, ""},
      {"to longer than the limit", "/ab/c", "/ab/d/efgh", 8, false, ""},
      {"result longer than the limit", "/ab/c/x/y", "/ab/d", 9, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "stale";
    EXPECT_EQ(make_relative_path(out, c.from, c.to, c.max_length), c.expected);
    EXPECT_EQ(out, c.out);
  }
}

TEST(PortableDir, StreamSizesKeepThePosition) {
  std::stringstream text("0123456789");
  text.seekg(3);
  EXPECT_EQ(istream_size(text), 10);
  EXPECT_EQ(text.tellg(), 3);
  std::ostringstream out;
  out << "abcdef";
  out.seekp(2);
  EXPECT_EQ(ostream_size(out), 6);
  EXPECT_EQ(out.tellp(), 2);
}

}  // namespace
