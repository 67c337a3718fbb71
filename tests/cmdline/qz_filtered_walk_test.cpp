#include "framework/cmdline/qz_filtered_walk.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "framework/cmdline/qz_cmd_params.h"
#include "tests/text/temp_folder.h"

namespace {

// A folder tree under a fresh temporary folder. Paths given to it are relative to the root.
class tree {
 public:
  tree() : folder_("qz_filtered_walk") {}
  const std::string& root() const { return folder_.path(); }
  std::string at(const std::string& relative) const { return root() + "/" + relative; }
  void dir(const std::string& relative) const { mkdir(at(relative).c_str(), 0777); }
  void file(const std::string& relative) const { folder_.put(relative, "x"); }

 private:
  temp_folder folder_;
};

std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

struct reported {
  std::vector<std::pair<std::string, bool>> entries;
};

int record_entry(std::wstring& path, bool is_dir, void* context, cmd_params*) {
  static_cast<reported*>(context)->entries.emplace_back(std::string(path.begin(), path.end()),
                                                        is_dir);
  return 0;
}

TEST(WalkLevelsUtf16, ReportsFoldersThenTheirFiltersPassingFiles) {
  tree t;
  t.file("a.csv");
  t.file("b.txt");
  t.dir("S");
  t.file("S/c.csv");
  const std::wstring root(t.root().begin(), t.root().end());

  reported seen;
  qzportdir::walk_levels_utf16(root, nullptr, record_entry, &seen, nullptr, 1);
  ASSERT_EQ(seen.entries.size(), 3u);
  EXPECT_EQ(seen.entries[0], std::make_pair(t.root(), true));
  EXPECT_EQ(sorted({seen.entries[1].first, seen.entries[2].first}),
            sorted({t.at("a.csv"), t.at("b.txt")}));
  EXPECT_FALSE(seen.entries[1].second);

  seen.entries.clear();
  qzportdir::walk_levels_utf16(root, nullptr, record_entry, &seen, nullptr, 2);
  EXPECT_EQ(seen.entries.size(), 5u);
  EXPECT_EQ(std::count(seen.entries.begin(), seen.entries.end(),
                       std::make_pair(t.at("S/"), true)),
            1);

  // With a filter, a folder is reported only when its path passes too.
  std::vector<filename_filter> filters;
  std::string spec = "*.csv";
  parse_filename_filters(filters, spec);
  seen.entries.clear();
  qzportdir::walk_levels_utf16(root, &filters, record_entry, &seen, nullptr, 2);
  std::vector<std::string> files;
  for (const auto& e : seen.entries) {
    EXPECT_FALSE(e.second);
    files.push_back(e.first);
  }
  EXPECT_EQ(sorted(files), sorted({t.at("a.csv"), t.at("S/c.csv")}));

  // The parameter set's time window applies: everything here was made after 1980.
  cmd_params params(0, false);
  params.stop_set = 1;
  params.stop_unix = 315532800;
  seen.entries.clear();
  qzportdir::walk_levels_utf16(root, &filters, record_entry, &seen, &params, 2);
  EXPECT_TRUE(seen.entries.empty());

  seen.entries.clear();
  qzportdir::walk_levels_utf16(root, nullptr, record_entry, &seen, nullptr, 0);
  EXPECT_TRUE(seen.entries.empty());
}

TEST(WalkLevelsExpanded, EnvironmentNamesInTheRoot) {
  tree t;
  t.file("a.csv");
  setenv("QZ_WALK_TEST_ROOT", t.root().c_str(), 1);
  reported seen;
  walk_levels_expanded(std::string("%QZ_WALK_TEST_ROOT%/"), nullptr, record_entry, &seen, nullptr,
                       1);
  EXPECT_EQ(seen.entries.size(), 2u);
  seen.entries.clear();
  walk_levels_expanded(std::wstring(L"%QZ_WALK_TEST_ROOT%/"), nullptr, record_entry, &seen,
                       nullptr, 1);
  ASSERT_EQ(seen.entries.size(), 2u);
  EXPECT_EQ(seen.entries[1].first, t.at("a.csv"));
  unsetenv("QZ_WALK_TEST_ROOT");
}

}  // namespace
