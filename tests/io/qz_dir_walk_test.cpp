#include "framework/io/qz_dir_walk.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/io/listing_order.h"
#include "tests/text/temp_folder.h"

namespace {

// A folder tree under a fresh temporary folder. Paths given to it are relative to the root.
class tree {
 public:
  tree() : folder_("qz_walk") {}
  const std::string& root() const { return folder_.path(); }
  std::string at(const std::string& relative) const { return root() + "/" + relative; }
  void dir(const std::string& relative) const { mkdir(at(relative).c_str(), 0777); }
  void file(const std::string& relative, const std::string& content = "x") const {
    folder_.put(relative, content);
  }
  std::string get(const std::string& relative) const { return folder_.get(relative); }
  void link(const std::string& target, const std::string& relative) const {
    ASSERT_EQ(symlink(at(target).c_str(), at(relative).c_str()), 0);
  }

 private:
  temp_folder folder_;
};


std::vector<std::string> paths_of(const std::vector<qzportdir::subdir_node>& nodes) {
  std::vector<std::string> out;
  for (const auto& node : nodes) out.push_back(node.path);
  return out;
}

// Keeps the "-diags" records handed to it.
class recording_sink : public qz_diag_sink {
 public:
  void diag_sink_vprintf(const char* format, va_list args) override {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    records.emplace_back(text);
  }
  std::vector<std::string> records;
};

std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST(SubdirNode, LongPathAndGlobalRootFlags) {
  struct row {
    const char* name;
    std::string path;
    bool long_path;
  };
  const row rows[] = {
      {"plain", "/x/y", false},
      {"long path", "\\\\?\\C:\\x", true},
      {"prefix alone", "\\\\?\\", false},
      {"device path", "\\\\.\\C:", false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(qzportdir::subdir_node(r.path, "", false, 0).long_path, r.long_path ? 1 : 0);
  }

  const std::wstring shadow =
      L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy12\\Windows";
  qzportdir::subdir_node_utf16 wide(shadow, L"", true, 2);
  EXPECT_EQ(wide.long_path, 1);
  EXPECT_EQ(wide.global_root, 1);
  EXPECT_EQ(qzportdir::subdir_node_utf16(L"\\\\.\\x", L"", false, 0).long_path, 1);
  EXPECT_EQ(qzportdir::subdir_node_utf16(L"\\\\.\\x", L"", false, 0).global_root, 0);

  // Assignment converts, keeps long_path and clears global_root.
  wide = qzportdir::subdir_node("/d/caf\xc3\xa9", "caf\xc3\xa9", false, 5);
  EXPECT_EQ(wide.path, L"/d/caf\u00e9");
  EXPECT_EQ(wide.name, L"caf\u00e9");
  EXPECT_EQ(wide.is_dir, 0);
  EXPECT_EQ(wide.level, 5);
  EXPECT_EQ(wide.long_path, 1);
  EXPECT_EQ(wide.global_root, 0);
}

TEST(ListDir, EntriesInListingOrderLinksAsFiles) {
  tree t;
  t.file("f1.csv");
  t.dir("A");
  t.file("f2.txt");
  t.link("A", "to_a");
  const std::string folder = t.root() + "/";

  std::vector<qzportdir::subdir_node> out;
  ASSERT_TRUE(qzportdir::list_dir(folder, &out, 3, false, true));
  const std::vector<listed_entry> expected = listing_order(t.root());
  ASSERT_EQ(out.size(), expected.size());
  for (size_t i = 0; i < out.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(out[i].is_dir, expected[i].is_dir ? 1 : 0);
    if (expected[i].is_dir) {
      EXPECT_EQ(out[i].path, folder + expected[i].name + "/");
      EXPECT_EQ(out[i].name, "");
      EXPECT_EQ(out[i].level, 4);
    } else {
      EXPECT_EQ(out[i].path, folder + expected[i].name);
      EXPECT_EQ(out[i].name, expected[i].name);
      EXPECT_EQ(out[i].level, 3);
    }
  }
  EXPECT_EQ(std::count_if(out.begin(), out.end(), [](const auto& n) { return n.is_dir != 0; }), 1);

  // dirs_only appends; the backslash form ends folders with '\'.
  ASSERT_TRUE(qzportdir::list_dir(folder, &out, 0, true, false));
  ASSERT_EQ(out.size(), expected.size() + 1);
  EXPECT_EQ(out.back().path, folder + "A\\");

  EXPECT_FALSE(qzportdir::list_dir(t.at("missing/"), &out, 0, false, true));
  t.dir("empty");
  EXPECT_FALSE(qzportdir::list_dir(t.at("empty/"), &out, 0, false, true));
}

TEST(ListDir, NamesThatAreNotUtf8AreSkippedAndLogged) {
  tree t;
  t.file("good.csv");
  t.file("bad\xff.csv");
  t.file("half\xc3.csv");
  recording_sink diags;
  std::vector<qzportdir::subdir_node> out;
  ASSERT_TRUE(qzportdir::list_dir(t.root() + "/", &out, 0, false, true, &diags));
  std::vector<std::string> names;
  for (const auto& node : out) names.push_back(node.name);
  EXPECT_EQ(names, (std::vector<std::string>{"good.csv"}));
  ASSERT_EQ(diags.records.size(), 2u);
  for (const std::string& record : diags.records) {
    EXPECT_EQ(record, "skipped an entry whose name is not valid UTF-8 in " + t.root() + "/");
  }

  // Without a sink the names are skipped all the same.
  std::vector<qzportdir::subdir_node_utf16> wide;
  qzportdir::list_matching_utf16(std::wstring(t.root().begin(), t.root().end()), L"", &wide);
  EXPECT_EQ(wide.size(), 1u);
  for (const auto& node : wide) EXPECT_FALSE(node.path.empty());
}

TEST(ExpandWildcardDirs, OnePathPerSubfolderInListingOrder) {
  tree t;
  t.dir("a");
  t.dir("b");
  t.file("f");
  t.dir("a/in");
  std::vector<std::string> expected;
  for (const listed_entry& e : listing_order(t.root())) {
    if (e.is_dir) expected.push_back(t.at(e.name) + "/in/");
  }
  std::vector<std::string> specs = {t.root() + "/*/in/"};
  EXPECT_TRUE(qzportdir::expand_wildcard_dirs(&specs, true));
  EXPECT_EQ(specs, expected);

  specs = {t.root() + "/a/in/*/x", t.root() + "/b/"};
  EXPECT_TRUE(qzportdir::expand_wildcard_dirs(&specs, true));
  EXPECT_EQ(specs, (std::vector<std::string>{"", t.root() + "/b/"}));

  specs = {t.root() + "/b/"};
  EXPECT_FALSE(qzportdir::expand_wildcard_dirs(&specs, true));
  specs.clear();
  EXPECT_FALSE(qzportdir::expand_wildcard_dirs(&specs, true));
}

TEST(ExpandWildcardDirs, SecondComponentExpandsEachFirstExpansion) {
  tree t;
  t.dir("a");
  t.dir("b");
  t.dir("a/x");
  t.dir("b/y");
  t.dir("b/z");
  // One pass per component: every first-level folder is placed before the second level
  // appends the further subfolders of each.
  std::vector<std::string> top;
  for (const listed_entry& e : listing_order(t.root())) top.push_back(e.name);
  std::vector<std::string> expected;
  std::vector<std::string> appended;
  for (const std::string& first : top) {
    const std::vector<listed_entry> below = listing_order(t.at(first));
    expected.push_back(t.at(first) + "/" + below[0].name + "/");
    for (size_t k = 1; k < below.size(); ++k) {
      appended.push_back(t.at(first) + "/" + below[k].name + "/");
    }
  }
  expected.insert(expected.end(), appended.begin(), appended.end());

  std::vector<std::string> specs = {t.root() + "/*/*/"};
  EXPECT_TRUE(qzportdir::expand_wildcard_dirs(&specs, true));
  EXPECT_EQ(specs, expected);
}

TEST(ExpandWildcardDirs, FolderNamedStarIsTakenLiterally) {
  tree t;
  t.dir("*");
  t.dir("*/*");
  std::vector<std::string> specs = {t.root() + "/*/"};
  // Replacing "*" by the folder "*" changes nothing, and the search goes on after it.
  EXPECT_FALSE(qzportdir::expand_wildcard_dirs(&specs, true));
  EXPECT_EQ(specs, (std::vector<std::string>{t.root() + "/*/"}));

  specs = {t.root() + "/*/*/"};
  EXPECT_FALSE(qzportdir::expand_wildcard_dirs(&specs, true));
  EXPECT_EQ(specs, (std::vector<std::string>{t.root() + "/*/*/"}));

  t.dir("a");
  specs = {t.root() + "/*/"};
  EXPECT_TRUE(qzportdir::expand_wildcard_dirs(&specs, true));
  EXPECT_EQ(sorted(specs), sorted({t.root() + "/*/", t.root() + "/a/"}));
}

TEST(ExpandWildcardSpec, KeepsTheSpecAndPrintsExpansions) {
  tree t;
  t.dir("a");
  t.dir("b");
  std::vector<std::string> out = {"earlier"};
  EXPECT_TRUE(expand_wildcard_spec((t.root() + "/*/").c_str(), &out));
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0], "earlier");
  EXPECT_EQ(sorted({out[1], out[2]}), sorted({t.root() + "/a/", t.root() + "/b/"}));

  std::vector<std::wstring> wide;
  EXPECT_TRUE(expand_wildcard_spec(std::wstring(L"/no/such/*/").c_str(), &wide));
  EXPECT_EQ(wide, (std::vector<std::wstring>{L""}));

  std::ostringstream printed;
  EXPECT_TRUE(print_wildcard_expansion((t.root() + "/*/").c_str(), printed));
  const std::string text = printed.str();
  EXPECT_NE(text.find(t.root() + "/a/\n"), std::string::npos);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
  std::ostringstream nothing;
  print_wildcard_expansion("/no/such/*/", nothing);
  EXPECT_EQ(nothing.str(), "");
}

TEST(ListMatching, NameAndExtensionPatterns) {
  tree t;
  for (const char* name : {"report.csv", "a.Csv", "notes.txt", "csv", "data*.csv", "dataX.csv"}) {
    t.file(name);
  }
  t.dir("sub.txt");
  struct row {
    const char* name;
    std::string pattern;
    std::vector<std::string> expected;  // the subfolder is always kept
  };
  const row rows[] = {
      {"extension any case", "*.CSV", {"a.Csv", "data*.csv", "dataX.csv", "report.csv"}},
      {"star inside a name is literal", "data*.csv", {"data*.csv"}},
      {"whole name", "NOTES.*", {"notes.txt"}},
      {"name without extension", "csv", {"csv"}},
      {"default", "", {"a.Csv", "csv", "data*.csv", "dataX.csv", "notes.txt", "report.csv"}},
      {"star", "*", {"a.Csv", "csv", "data*.csv", "dataX.csv", "notes.txt", "report.csv"}},
      {"no match", "*.bin", {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<qzportdir::subdir_node> out = {qzportdir::subdir_node("old", "", false, 0)};
    qzportdir::list_matching(t.root(), r.pattern, &out);
    std::vector<std::string> files;
    int folders = 0;
    for (const auto& node : out) {
      if (node.is_dir) {
        ++folders;
        EXPECT_EQ(node.path, t.at("sub.txt/"));
      } else {
        files.push_back(node.name);
        EXPECT_EQ(node.path, t.at(node.name));
      }
    }
    EXPECT_EQ(folders, 1);
    EXPECT_EQ(sorted(files), r.expected);
  }
}

TEST(ListMatching, SeparatorComesFromTheSpec) {
  tree t;
  t.dir("logs");
  t.file("logs/a.csv");
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir(t.root().c_str()), 0);
  std::vector<qzportdir::subdir_node> out;
  // Without any '/' the separator is '\': "logs\" is no folder here.
  EXPECT_FALSE(qzportdir::list_matching("logs", "", &out));
  EXPECT_TRUE(qzportdir::list_matching("./logs", "", &out));
  EXPECT_EQ(paths_of(out), (std::vector<std::string>{"./logs/a.csv"}));
  ASSERT_EQ(chdir(saved), 0);

  EXPECT_FALSE(qzportdir::list_matching("", "", &out));
  EXPECT_TRUE(out.empty());
}

TEST(ListMatching, FoldersWithStarsInTheirNamesAreListedAsNamed) {
  tree t;
  t.dir("a");
  t.file("a/wrong.csv");
  t.dir("a*b");
  t.file("a*b/right.csv");
  std::vector<qzportdir::subdir_node> out;
  // The path has no "/*/" component: the folder is opened as written, not cut at its '*'.
  qzportdir::list_matching(t.at("a*b/"), "", &out);
  EXPECT_EQ(paths_of(out), (std::vector<std::string>{t.at("a*b/right.csv")}));

  t.dir("*");
  t.file("*/star.csv");
  qzportdir::list_matching(t.at("*/"), "", &out, false);
  EXPECT_EQ(paths_of(out), (std::vector<std::string>{t.at("*/star.csv")}));
}

TEST(ListMatchingPaths, FormsAndFolders) {
  tree t;
  t.file("a.csv");
  t.file("b.txt");
  t.dir("d");
  std::vector<std::string> out = {"earlier"};
  EXPECT_TRUE(list_matching_paths(t.root(), "*.csv", &out, false));
  EXPECT_EQ(out, (std::vector<std::string>{"earlier", t.at("a.csv")}));
  out.clear();
  EXPECT_TRUE(list_matching_paths(t.root().c_str(), "*.csv", &out));
  EXPECT_EQ(sorted(out), sorted({t.at("a.csv"), t.at("d/")}));
  out.clear();
  EXPECT_TRUE(list_matching_paths(t.root().c_str(), &out));
  EXPECT_EQ(out.size(), 3u);

  std::vector<std::wstring> wide;
  EXPECT_TRUE(list_matching_paths(std::wstring(t.root().begin(), t.root().end()), L"*.TXT", &wide));
  const std::string b = t.at("b.txt");
  const std::string d = t.at("d/");
  std::vector<std::wstring> expected = {std::wstring(b.begin(), b.end()),
                                        std::wstring(d.begin(), d.end())};
  std::sort(wide.begin(), wide.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(wide, expected);

  std::vector<qzportdir::subdir_node> nodes = {qzportdir::subdir_node("old", "", true, 0)};
  EXPECT_TRUE(list_files(t.root(), &nodes));
  EXPECT_EQ(sorted(paths_of(nodes)), sorted({t.at("a.csv"), t.at("b.txt")}));
  EXPECT_TRUE(list_subdirs(t.root(), &nodes));
  EXPECT_EQ(nodes.size(), 3u);
  EXPECT_EQ(nodes.back().path, t.at("d/"));
}

TEST(PrintListing, LevelInHexThenPathAndTheStreamIsRestored) {
  tree t;
  t.file("a.csv");
  std::ostringstream os;
  print_listing(t.root().c_str(), os);
  os << 255;
  EXPECT_EQ(os.str(), "000: " + t.at("a.csv") + "\n255");
}

// The files the level-by-level walk collects, built from the listing order of each folder:
// level by level, the folder listed last first, each folder's files in listing order.
std::vector<std::string> expected_level_walk(const std::string& root, int levels) {
  std::vector<std::string> out;
  std::vector<std::string> current = {root};
  for (int level = 0; level < levels && !current.empty(); ++level) {
    std::vector<std::string> next;
    for (auto folder = current.rbegin(); folder != current.rend(); ++folder) {
      for (const listed_entry& e : listing_order(*folder)) {
        if (e.is_dir) {
          next.push_back(*folder + "/" + e.name);
        } else {
          out.push_back(*folder + "/" + e.name);
        }
      }
    }
    current = next;
  }
  return out;
}

TEST(WalkLevels, LevelByLevelLastFolderFirst) {
  tree t;
  t.file("f1.csv");
  t.dir("A");
  t.file("f2.csv");
  t.dir("B");
  t.dir("C");
  t.file("A/a1.csv");
  t.dir("A/deep");
  t.file("A/deep/d1.csv");
  t.file("B/b1.csv");
  t.file("B/b2.txt");
  for (int levels : {0, 1, 2, 3, 4}) {
    SCOPED_TRACE(levels);
    std::vector<std::string> out;
    qzportdir::walk_levels(&out, t.root(), "", levels);
    EXPECT_EQ(out, expected_level_walk(t.root(), levels));
  }
  std::vector<std::string> csv;
  qzportdir::walk_levels(&csv, t.root(), "*.csv", 3);
  std::vector<std::string> expected = expected_level_walk(t.root(), 3);
  std::erase_if(expected, [](const std::string& p) { return p.ends_with(".txt"); });
  EXPECT_EQ(csv, expected);

  std::vector<std::wstring> wide;
  EXPECT_TRUE(qzportdir::walk_levels(&wide, std::wstring(t.root().begin(), t.root().end()), L"",
                                     2u));
  EXPECT_EQ(wide.size(), expected_level_walk(t.root(), 2).size());
}

TEST(WalkLevels, FoldersWithStarsInTheirNamesAreWalkedAsNamed) {
  tree t;
  t.dir("*");
  t.file("*/in_star.csv");
  t.dir("*/*");
  t.file("*/*/in_star_star.csv");
  t.dir("a");
  t.file("a/wrong.csv");
  t.dir("a*b");
  t.file("a*b/in_a_star_b.csv");
  std::vector<std::string> out;
  qzportdir::walk_levels(&out, t.root(), "", 4);
  EXPECT_EQ(sorted(out), sorted({t.at("*/in_star.csv"), t.at("*/*/in_star_star.csv"),
                                 t.at("a/wrong.csv"), t.at("a*b/in_a_star_b.csv")}));
}

TEST(StripDevicePrefix, ShortAndShadowCopyPaths) {
  const std::wstring shadow =
      L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy3\\Users\\x.csv";
  struct row {
    const char* name;
    std::wstring path;
    std::wstring expected;
  };
  const row rows[] = {
      {"plain", L"/x/y.csv", L"/x/y.csv"},
      {"short long path", L"\\\\?\\C:\\x.csv", L"C:\\x.csv"},
      {"device path", L"\\\\.\\C:", L"C:"},
      {"too short", L"\\\\?\\", L"\\\\?\\"},
      {"shadow copy kept", shadow, shadow},
      {"long path not global", L"\\\\?\\C:\\" + std::wstring(60, L'x'), L"C:\\" + std::wstring(60, L'x')},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::wstring path = r.path;
    qzportdir::strip_device_prefix(path);
    EXPECT_EQ(path, r.expected);
  }
}

TEST(MatchQuestionWildcard, PrefixAndSuffixAroundTheMarks) {
  tree t;
  for (const char* name : {"log01.txt", "LOG9.TXT", "log.txt", "logx.csv", "mylog1.txt",
                           "log1.txt.bak", "logfile"}) {
    t.file(name);
  }
  t.dir("log2.txt");
  struct row {
    const char* name;
    std::string file_spec;
    std::vector<std::string> keys;
  };
  const row rows[] = {
      {"marks before the extension", "log??.txt", {"log.txt", "log01.txt", "log9.txt"}},
      {"no marks", "LOG.TXT", {"log.txt"}},
      {"marks in the extension", "log01.t?t", {"log01.txt"}},
      {"trailing mark", "log?", {"log.txt", "log01.txt", "log1.txt.bak", "log9.txt", "logfile",
                                 "logx.csv"}},
      {"nothing matches", "zz?.txt", {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::map<std::string, std::string> out = {{"old", "old"}};
    EXPECT_EQ(qzportdir::match_question_wildcard(t.at(r.file_spec), &out), !r.keys.empty());
    std::vector<std::string> keys;
    for (const auto& [key, path] : out) {
      keys.push_back(key);
      std::string file = path.substr(path.rfind('/') + 1);
      std::transform(file.begin(), file.end(), file.begin(), [](char c) { return c | 0x20; });
      EXPECT_EQ(file, key);
    }
    EXPECT_EQ(keys, r.keys);
  }
  std::map<std::string, std::string> out;
  EXPECT_FALSE(qzportdir::match_question_wildcard("", &out));
}

}  // namespace
