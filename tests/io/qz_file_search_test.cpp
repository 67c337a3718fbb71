#include "framework/io/qz_file_search.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/io/run_command.h"
#include "tests/text/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using paths_t = std::vector<std::string>;

std::vector<u8> bytes(const std::string& text) { return std::vector<u8>(text.begin(), text.end()); }


paths_t sorted_lines(const std::string& text) {
  paths_t lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

class FileSearchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.path().empty()); }
  void put(const std::string& name, const std::string& content) {
    fs::create_directories(fs::path(folder_.file(name)).parent_path());
    folder_.put(name, content);
    all_.push_back(folder_.file(name));
  }
  // paths after the search with the criteria; "false" when the search said none matched.
  paths_t search(const std::vector<search_criterion>& criteria, paths_t paths) {
    const bool found = search_files_by_criteria(paths, criteria);
    EXPECT_EQ(found, !paths.empty());
    return paths;
  }
  temp_folder folder_{"telvar_search"};
  paths_t all_;
};

// Over a generated tree, extension, size range and a content pattern select the same files as
// find with -name and -size and then grep -l.
TEST_F(FileSearchTest, AgreesWithFindAndGrep) {
  if (run_command("command -v find").empty() || run_command("command -v grep").empty()) GTEST_SKIP() << "find or grep not found";
  for (int i = 0; i < 60; ++i) {
    const char* ext = i % 3 == 0 ? "log" : (i % 3 == 1 ? "txt" : "log.bak");
    std::string content(static_cast<size_t>(37 * i % 900), static_cast<char>('a' + i % 7));
    if (i % 4 == 0) content.insert(content.size() / 2, "NEEDLE");
    if (i % 5 == 0) content += "\x01\x02NEEDLE\x03";
    std::string name(1, 'd');
    name.append(std::to_string(i % 4)).append("/s").append(std::to_string(i % 3)).append("/f");
    name.append(std::to_string(i)).append(1, '.').append(ext);
    put(name, content);
  }
  search_criterion criterion;
  criterion.ext = L"log";
  criterion.size_min = 101;
  criterion.size_max = 699;
  criterion.range_start = 0;
  criterion.range_end = 0xFFFFFFFF;
  criterion.range_pattern = bytes("NEEDLE");
  const paths_t found = search({criterion}, all_);
  const paths_t expected = sorted_lines(run_command("find '" + folder_.path() +
                                            "' -type f -name '*.log' -size +100c -size -700c -print0 |"
                                            " xargs -0 grep -l -F NEEDLE"));
  ASSERT_FALSE(expected.empty());
  paths_t sorted = found;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, expected);
  // The order of the given list is kept.
  EXPECT_TRUE(std::is_sorted(found.begin(), found.end(), [&](const std::string& a, const std::string& b) {
    return std::find(all_.begin(), all_.end(), a) < std::find(all_.begin(), all_.end(), b);
  }));
}

// Files whose folder part is 511, 512, 513 and 700 characters long (and a file name near the
// system's limit) are found as find finds them.
TEST_F(FileSearchTest, LongPathsAgreeWithFind) {
  if (run_command("command -v find").empty()) GTEST_SKIP() << "find not found";
  const std::string long_name = std::string(240, 'n') + ".log";
  for (const std::size_t folder_chars : {511, 512, 513, 700}) {
    // Components of at most 200 characters until the folder part has the length wanted.
    const std::string number = std::to_string(folder_chars);
    std::string relative = "L" + number;
    while (folder_.path().size() + 1 + relative.size() < folder_chars) {
      const std::size_t missing = folder_chars - folder_.path().size() - 1 - relative.size();
      std::size_t component = std::min<std::size_t>(200, missing - 1);
      if (missing - component - 1 == 1) --component;  // never leave one character to fill
      relative.append(1, '/').append(component, 'd');
    }
    ASSERT_EQ(folder_.file(relative).size(), folder_chars);
    put(relative + "/hit.log", "a NEEDLE here");
    put(relative + "/miss.txt", "a NEEDLE here");
    put(relative + "/" + long_name, "NEEDLE");
  }
  search_criterion criterion;
  criterion.ext = L"log";
  criterion.size_max = ~0ull;
  criterion.range_end = 100;
  criterion.range_pattern = bytes("NEEDLE");
  paths_t found = search({criterion}, all_);
  std::sort(found.begin(), found.end());
  const paths_t expected = sorted_lines(run_command("find '" + folder_.path() + "' -type f -name '*.log'"));
  EXPECT_EQ(expected.size(), 8u);
  EXPECT_EQ(found, expected);
}

TEST_F(FileSearchTest, PatternWindows) {
  std::string sectors(2048, '.');
  sectors.replace(1024 + 3, 4, "SIGN");  // near the start of the third 512-byte block
  sectors.replace(1536 + 100, 4, "LATE");  // too far into its block
  put("sectors.bin", sectors);
  std::string spanning(20000, '-');
  spanning.replace(16384 - 2, 6, "ACROSS");  // spans the first two 16384-byte pieces
  spanning.replace(17000, 6, "INSIDE");
  spanning.replace(19990, 4, "TAIL");
  put("spanning.bin", spanning);
  const std::string sectors_path = folder_.file("sectors.bin");
  const std::string spanning_path = folder_.file("spanning.bin");

  auto with = [](auto set) {
    search_criterion criterion;
    criterion.size_max = ~0ull;
    set(criterion);
    return criterion;
  };
  const struct {
    const char* name;
    search_criterion criterion;
    paths_t expected;
  } cases[] = {
      {"block start", with([](search_criterion& c) { c.block_length = 16; c.block_pattern = bytes("SIGN"); }),
       {sectors_path}},
      {"block start too short", with([](search_criterion& c) { c.block_length = 5; c.block_pattern = bytes("SIGN"); }),
       {}},
      {"block beyond its length", with([](search_criterion& c) { c.block_length = 100; c.block_pattern = bytes("LATE"); }),
       {}},
      {"block length out of limits", with([](search_criterion& c) { c.block_length = 512; c.block_pattern = bytes("SIGN"); }),
       {}},
      {"range inside the second piece",
       with([](search_criterion& c) { c.range_end = 30000; c.range_pattern = bytes("INSIDE"); }), {spanning_path}},
      {"range spanning two pieces is not found",
       with([](search_criterion& c) { c.range_end = 30000; c.range_pattern = bytes("ACROSS"); }), {}},
      {"range window ends before the pattern",
       with([](search_criterion& c) { c.range_end = 17003; c.range_pattern = bytes("INSIDE"); }), {}},
      {"range start past the end",
       with([](search_criterion& c) { c.range_start = 5000; c.range_end = 30000; c.range_pattern = bytes("SIGN"); }),
       {}},
      {"tail", with([](search_criterion& c) { c.tail_length = 20; c.tail_pattern = bytes("TAIL"); }), {spanning_path}},
      {"tail too short", with([](search_criterion& c) { c.tail_length = 5; c.tail_pattern = bytes("TAIL"); }), {}},
      {"tail longer than the file",
       with([](search_criterion& c) { c.tail_length = 16383; c.tail_pattern = bytes("SIGN"); }), {sectors_path}},
      {"every pattern must be found",
       with([](search_criterion& c) {
         c.tail_length = 20;
         c.tail_pattern = bytes("TAIL");
         c.block_length = 16;
         c.block_pattern = bytes("SIGN");
       }),
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(search({c.criterion}, {sectors_path, spanning_path}), c.expected);
  }
}

TEST_F(FileSearchTest, EveryCriterionMustHold) {
  put("a.csv", std::string(100, 'a'));
  put("b.csv", std::string(300, 'b'));
  put("c.txt", std::string(300, 'c'));
  const std::string a = folder_.file("a.csv"), b = folder_.file("b.csv"), c = folder_.file("c.txt");
  const utimbuf old_times{1000000000, 1000000000};  // 2001
  ASSERT_EQ(utime(b.c_str(), &old_times), 0);

  search_criterion csv;
  csv.ext = L"csv";
  csv.size_max = ~0ull;
  search_criterion large;
  large.size_min = 200;
  large.size_max = 1000;
  search_criterion recent;  // b's status-change time is still now, so it passes
  recent.size_max = ~0ull;
  recent.time_min = 1500000000;
  search_criterion upper_ext;
  upper_ext.ext = L"CSV";
  upper_ext.size_max = ~0ull;

  EXPECT_EQ(search({csv}, {a, b, c}), (paths_t{a, b}));
  EXPECT_EQ(search({csv, large}, {a, b, c}), paths_t{b});
  EXPECT_EQ(search({large, recent}, {c, b}), (paths_t{c, b}));
  EXPECT_EQ(search({upper_ext}, {a, b}), paths_t{});
  search_criterion future = recent;
  future.time_min = ~0ull;
  EXPECT_EQ(search({future}, {a}), paths_t{});
  EXPECT_EQ(search({csv}, {folder_.file("missing.csv"), a}), paths_t{a});

  paths_t unchanged = {a, folder_.file("missing")};
  EXPECT_TRUE(search_files_by_criteria(unchanged, {}));
  EXPECT_EQ(unchanged.size(), 2u);
  paths_t none;
  EXPECT_FALSE(search_files_by_criteria(none, {csv}));
}

}  // namespace
