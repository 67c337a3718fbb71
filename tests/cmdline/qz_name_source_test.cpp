#include "framework/cmdline/qz_name_source.h"

#include <gtest/gtest.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/cmdline/qz_filename_filter.h"
#include "tests/io/listing_order.h"
#include "tests/text/temp_folder.h"

namespace {

// Standard input replaced by a pipe that holds `data` and then ends. The test program may run
// with standard input closed; it is left closed again afterwards.
class piped_stdin {
 public:
  explicit piped_stdin(const std::string& data) {
    saved_ = dup(0);
    int ends[2];
    if (pipe(ends) != 0) return;
    // The data fits the pipe's buffer, so it is written whole before anything reads.
    if (write(ends[1], data.data(), data.size()) != static_cast<ssize_t>(data.size())) return;
    close(ends[1]);
    if (ends[0] != 0) {
      dup2(ends[0], 0);
      close(ends[0]);
    }
    reset_stdio();
  }
  ~piped_stdin() {
    if (saved_ >= 0) {
      dup2(saved_, 0);
      close(saved_);
    } else {
      close(0);
    }
    reset_stdio();
  }

 private:
  // stdio keeps its end-of-input flag and any read-ahead from the previous descriptor.
  static void reset_stdio() {
    clearerr(stdin);
    __fpurge(stdin);
  }

  int saved_ = -1;
};

size_t count_of(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(StdinStreamEx, PipedNamesOnePerLine) {
  const std::string long_line(5000, 'n');
  struct row {
    const char* name;
    std::string input;
    bool strip;
    std::vector<std::string> names;
  };
  const std::vector<row> rows = {
      {"crlf, empty line, last line without end",
       "a.csv\r\n\r\nb.csv",
       true,
       {"a.csv", "", "b.csv"}},
      {"line ends kept without strip", "a.csv\r\nb.csv\n", false, {"a.csv\r\n", "b.csv\n"}},
      {"long line arrives in two pieces",
       long_line + "\r\nnext\n",
       true,
       {long_line.substr(0, 4095), long_line.substr(4095), "next"}},
      {"bare cr ends stripped", "x.csv\r\r\n", true, {"x.csv"}},
      {"utf-8 name", "/d/caf\xc3\xa9.csv\n", true, {"/d/caf\xc3\xa9.csv"}},
      {"no input", "", true, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    piped_stdin input(r.input);
    qzportdir::stdin_stream_ex source(nullptr);
    ASSERT_TRUE(source.init_to_stdin(true));
    std::vector<std::string> names;
    std::string name;
    while (source.read(name, r.strip)) names.push_back(name);
    EXPECT_EQ(names, r.names);
    EXPECT_TRUE(name.empty());
    EXPECT_FALSE(source.read(name, r.strip));
  }
}

// They are handed to the caller apart, as their bytes stand, for it to report.
TEST(StdinStreamEx, PipedLinesThatAreNotUtf8AreSkippedNeverCut) {
  temp_folder folder("qz_names");
  const std::string log_path = folder.file("diags.log");
  {
    // Standard input first: with it closed, the log would otherwise take descriptor 0.
    piped_stdin input("one.csv\n/d/bad\xff.csv\n/d/caf\xc3\xa9.csv\n/d/cut\xc3\n");
    cmd_params params(0, false);
    params.diags_stream = new std::ofstream(log_path);
    params.diags_on = 1;
    qzportdir::stdin_stream_ex source(&params);
    ASSERT_TRUE(source.init_to_stdin(true));
    std::vector<std::wstring> names;
    std::wstring name;
    while (source.read(name, true)) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"one.csv", L"/d/caf\u00e9.csv"}));
    EXPECT_EQ(source.refused_names, (std::vector<std::string>{"/d/bad\xff.csv", "/d/cut\xc3"}));
  }
  EXPECT_EQ(count_of(folder.get("diags.log"), "not valid UTF-8"), 2u);

  piped_stdin input("a\n\xc3\nb\n");
  qzportdir::stdin_stream_ex source(nullptr);
  source.init_to_stdin(true);
  std::vector<std::string> names;
  std::string name;
  while (source.read(name, true)) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
}


// The names a walk of folder yields, from each folder's listing order: its files in reverse
// order, then each subfolder within the depth, the one listed last first.
void expected_walk(const std::string& folder, unsigned level, unsigned max_level,
                   std::vector<std::string>& out) {
  const std::vector<listed_entry> entries = listing_order(folder);
  for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
    if (!e->is_dir) out.push_back(folder + "/" + e->name);
  }
  if (level + 1 > max_level) return;
  for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
    if (e->is_dir) expected_walk(folder + "/" + e->name, level + 1, max_level, out);
  }
}

std::vector<std::string> walk(qzportdir::stdin_stream_ex& source) {
  std::vector<std::string> names;
  std::string name;
  while (source.read(name, true)) names.push_back(name);
  return names;
}

class EnumdirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    root_ = folder_.file("R");
    for (const char* dir : {"R", "R/A", "R/B", "R/A/A2", "R/A/A2/A3", "R/*", "R/*/*", "R/a*b", "R/a"}) {
      mkdir(folder_.file(dir).c_str(), 0777);
    }
    for (const char* file : {"R/f1.csv", "R/f2.csv", "R/f3.txt", "R/A/a1.csv", "R/A/a2.csv",
                             "R/A/A2/deep.csv", "R/A/A2/A3/deeper.csv", "R/B/b1.csv",
                             "R/*/star.csv", "R/*/*/star_star.csv", "R/a*b/a_star_b.csv",
                             "R/a/a.csv"}) {
      folder_.put(file, "x");
    }
    ASSERT_EQ(symlink(folder_.file("R/A").c_str(), folder_.file("R/link_to_a").c_str()), 0);
  }

  temp_folder folder_{"qz_enumdir"};
  std::string root_;
  std::vector<filename_filter> no_filters_;
};

TEST_F(EnumdirTest, DepthFirstFilesBeforeSubfoldersLastSubfolderFirst) {
  for (unsigned max_level : {0u, 1u, 2u, 3u, 9u}) {
    SCOPED_TRACE(max_level);
    qzportdir::stdin_stream_ex source(nullptr);
    ASSERT_TRUE(source.init_to_enumdir(root_, max_level, no_filters_));
    std::vector<std::string> expected;
    expected_walk(root_, 0, max_level, expected);
    EXPECT_EQ(walk(source), expected);
  }
  std::vector<std::string> all;
  expected_walk(root_, 0, 9, all);
  // Folders whose names hold '*' are walked as named; a link to a folder is a file.
  for (const char* name : {"/R/*/*/star_star.csv", "/R/a*b/a_star_b.csv", "/R/link_to_a",
                           "/R/A/A2/A3/deeper.csv"}) {
    EXPECT_EQ(std::count(all.begin(), all.end(), folder_.path() + name), 1) << name;
  }
  EXPECT_EQ(all.size(), 13u);
}

// A folder left out is not entered under any name; the rest of the walk is unchanged.
TEST_F(EnumdirTest, SkippedFolderIsNotEnteredUnderAnyName) {
  qzportdir::stdin_stream_ex source(nullptr);
  ASSERT_TRUE(source.init_to_enumdir(root_, 9, no_filters_));
  EXPECT_FALSE(source.skip_folder(folder_.file("R/f1.csv")));
  EXPECT_FALSE(source.skip_folder(folder_.file("R/missing")));
  ASSERT_TRUE(source.skip_folder(folder_.file("R/B/../A")));
  std::vector<std::string> expected;
  expected_walk(root_, 0, 9, expected);
  std::erase_if(expected, [&](const std::string& name) { return name.starts_with(folder_.file("R/A/")); });
  EXPECT_EQ(walk(source), expected);
}

TEST_F(EnumdirTest, FiltersAndWideNames) {
  std::vector<filename_filter> filters;
  std::string spec = "*.CSV";
  parse_filename_filters(filters, spec);
  qzportdir::stdin_stream_ex source(nullptr);
  ASSERT_TRUE(source.init_to_enumdir(root_, 0u, filters));
  std::vector<std::string> expected;
  expected_walk(root_, 0, 0, expected);
  std::erase_if(expected, [](const std::string& p) { return !p.ends_with(".csv"); });
  EXPECT_EQ(walk(source), expected);
  EXPECT_EQ(expected.size(), 2u);

  ASSERT_TRUE(source.init_to_enumdir(std::wstring(root_.begin(), root_.end()), 0u, filters));
  std::wstring name;
  std::vector<std::wstring> names;
  while (source.read(name, false)) names.push_back(name);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], std::wstring(expected[0].begin(), expected[0].end()));
  EXPECT_TRUE(name.empty());
}

// They are handed to the caller apart, and so are the folders the walk would have entered.
TEST_F(EnumdirTest, NamesThatAreNotUtf8AreSkippedAndLogged) {
  folder_.put("R/B/bad\xff.csv", "x");
  folder_.put("R/B/cut\xe2\x82.csv", "x");
  ASSERT_EQ(mkdir((root_ + "/B/sub\xfe").c_str(), 0755), 0);
  const std::string log_path = folder_.file("diags.log");
  {
    cmd_params params(0, false);
    params.diags_stream = new std::ofstream(log_path);
    params.diags_on = 1;
    qzportdir::stdin_stream_ex source(&params);
    ASSERT_TRUE(source.init_to_enumdir(root_ + "/B", 0u, no_filters_));
    EXPECT_EQ(walk(source), (std::vector<std::string>{root_ + "/B/b1.csv"}));
    std::sort(source.refused_names.begin(), source.refused_names.end());
    EXPECT_EQ(source.refused_names,
              (std::vector<std::string>{root_ + "/B/bad\xff.csv", root_ + "/B/cut\xe2\x82.csv"}));

    source.refused_names.clear();
    ASSERT_TRUE(source.init_to_enumdir(root_ + "/B", 1u, no_filters_));
    walk(source);
    EXPECT_EQ(std::count(source.refused_names.begin(), source.refused_names.end(), root_ + "/B/sub\xfe/"), 1);
  }
  EXPECT_EQ(count_of(folder_.get("diags.log"), "not valid UTF-8"), 6u);
}

TEST_F(EnumdirTest, RootsThatGiveNothing) {
  qzportdir::stdin_stream_ex source(nullptr);
  EXPECT_FALSE(source.init_to_enumdir(std::string(), 1u, no_filters_));
  EXPECT_FALSE(source.init_to_enumdir(std::string("/tmp/\xff"), 1u, no_filters_));

  std::string name = "old";
  ASSERT_TRUE(source.init_to_enumdir(root_ + "/missing", 1u, no_filters_));
  EXPECT_FALSE(source.read(name, true));
  EXPECT_TRUE(name.empty());

  // A root written without any '/' is listed with '\' as separator and finds nothing.
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir(folder_.path().c_str()), 0);
  ASSERT_TRUE(source.init_to_enumdir(std::string("R"), 0u, no_filters_));
  EXPECT_FALSE(source.read(name, true));
  ASSERT_TRUE(source.init_to_enumdir(std::string("./R"), 0u, no_filters_));
  EXPECT_TRUE(source.read(name, true));
  EXPECT_EQ(name.rfind("./R/", 0), 0u);
  ASSERT_EQ(chdir(saved), 0);
}

TEST(StdinStreamEx, ClearResetsTheWalk) {
  qzportdir::stdin_stream_ex source(nullptr);
  std::vector<filename_filter> filters(1);
  ASSERT_TRUE(source.init_to_enumdir(std::string("/x/"), 4u, filters));
  EXPECT_EQ(source.enumdir, 1);
  EXPECT_EQ(source.max_level, 4u);
  EXPECT_EQ(source.filters.size(), 1u);
  ASSERT_EQ(source.folders.size(), 1u);
  EXPECT_EQ(source.folders.back().path, L"/x/");
  EXPECT_EQ(source.folders.back().level, 0u);
  source.clear();
  EXPECT_EQ(source.enumdir, 0);
  EXPECT_EQ(source.max_level, 1u);
  EXPECT_TRUE(source.filters.empty() && source.folders.empty() && source.files.empty());
  EXPECT_EQ(source.params, nullptr);
}

}  // namespace
