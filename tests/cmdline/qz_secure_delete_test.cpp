#include "framework/cmdline/qz_secure_delete.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "framework/cmdline/qz_filename_filter.h"
#include "tests/io/recording_report.h"
#include "tests/text/temp_folder.h"

namespace {

namespace fs = std::filesystem;

std::wstring wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

constexpr u64 destroyed_file = secure_status_wiped | secure_flag_cut | secure_flag_renamed | secure_flag_moved |
                               secure_flag_remove_tried | secure_flag_removed;
constexpr u64 removed_folder = secure_status_folder | secure_flag_remove_tried | secure_flag_removed;

// Runs body in a child process as an ordinary user (root drops to "nobody" for it), so that
// permissions hold there; body's result as the child's exit status (90: could not drop), -1
// when the child did not exit.
template <class child_body>
int run_as_ordinary_user(child_body&& body) {
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(90);
    _exit(body());
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Takes every descriptor the process may still open but `spare`; false when that fails.
bool leave_spare_descriptors(std::size_t spare) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  limit.rlim_cur = std::min<rlim_t>(limit.rlim_cur, 256);  // fewer to take
  if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  std::vector<int> taken;
  for (int fd = open("/dev/null", O_RDONLY); fd >= 0; fd = open("/dev/null", O_RDONLY)) taken.push_back(fd);
  if (errno != EMFILE || taken.size() < spare) return false;
  for (std::size_t i = 0; i < spare; ++i) close(taken[taken.size() - 1 - i]);
  return true;
}

// A tree to delete (R), data outside it that must survive (outside), and the temporary
// folder that TEMP names while a test runs.
class SecureDeleteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(base_.path().empty());
    ASSERT_TRUE(fs::create_directories(base_.file("R")));
    ASSERT_TRUE(fs::create_directories(base_.file("outside/dir")));
    ASSERT_TRUE(fs::create_directories(base_.file("tmp")));
    const char* old = getenv("TEMP");
    had_temp_ = old != nullptr;
    if (had_temp_) old_temp_ = old;
    setenv("TEMP", base_.file("tmp").c_str(), 1);
  }
  void TearDown() override {
    if (had_temp_)
      setenv("TEMP", old_temp_.c_str(), 1);
    else
      unsetenv("TEMP");
  }
  std::string at(const std::string& name) const { return base_.file(name); }
  void put(const std::string& name, const std::string& content) const {
    fs::create_directories(fs::path(at(name)).parent_path());
    base_.put(name, content);
  }
  // Every entry below folder: relative path to content ("<dir>" for folders, "-> target" for links).
  std::map<std::string, std::string> snapshot(const std::string& folder) const {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(at(folder))) {
      const std::string relative = fs::relative(entry.path(), at(folder)).string();
      if (entry.is_symlink())
        entries[relative] = "-> " + fs::read_symlink(entry.path()).string();
      else if (entry.is_directory())
        entries[relative] = "<dir>";
      else
        entries[relative] = base_.get(folder + "/" + relative);
    }
    return entries;
  }
  bool exists(const std::string& name) const {
    std::error_code ignored;
    return fs::symlink_status(at(name), ignored).type() != fs::file_type::not_found;
  }

  temp_folder base_{"telvar_secure"};
  bool had_temp_ = false;
  std::string old_temp_;
};

// Files go deepest-last key first with their counter in the random name, then folders deepest
// first; nothing is left in the tree or in the temporary folder.
TEST_F(SecureDeleteTest, TreeOrderAndStatuses) {
  put("R/A/x.txt", std::string(1000, 'x'));
  put("R/b.txt", "bbb");
  recording_report report;
  secure_delete_map statuses;
  EXPECT_TRUE(secure_delete_tree(wide(at("R")), nullptr, 2, nullptr, &report, &statuses));

  const secure_delete_map expected = {{wide(at("R")), removed_folder},
                                      {wide(at("R/A/")), removed_folder},
                                      {wide(at("R/A/x.txt")), destroyed_file},
                                      {wide(at("R/b.txt")), destroyed_file}};
  EXPECT_EQ(statuses, expected);
  EXPECT_FALSE(exists("R"));
  EXPECT_TRUE(fs::is_empty(at("tmp")));

  std::vector<std::string> renames;
  for (const std::string& line : report.diags)
    if (line.rfind("rename: ", 0) == 0) renames.push_back(line);
  ASSERT_EQ(renames.size(), 2u);
  EXPECT_EQ(renames[0].find("rename: " + at("R/b.txt") + " => " + at("R/")), 0u);
  EXPECT_EQ(renames[0].back(), '0');
  EXPECT_EQ(renames[1].find("rename: " + at("R/A/x.txt") + " => " + at("R/A/")), 0u);
  EXPECT_EQ(renames[1].back(), '1');
  EXPECT_EQ(renames[0].size(), ("rename: " + at("R/b.txt") + " => " + at("R/")).size() + 5);

  const std::vector<std::string> tail(report.messages.end() - 4, report.messages.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"deleted: " + at("R/b.txt") + " - success\n",
                                            "deleted: " + at("R/A/x.txt") + " - success\n",
                                            "deleted: " + at("R/A") + " - success\n",
                                            "deleted: " + at("R") + " - success\n"}));
}

// Links to a file and to a folder outside, a hard link to an outside file, links below a
// subfolder and a FIFO: each loses only its own name; what lies outside stays byte for byte.
TEST_F(SecureDeleteTest, NeverReachesOutsideTheTree) {
  put("outside/secret.txt", "secret content");
  put("outside/shared.txt", "shared content");
  put("outside/dir/inner.txt", "inner content");
  put("R/sub/own.txt", "own");
  fs::create_symlink(at("outside/secret.txt"), at("R/link_file"));
  fs::create_directory_symlink(at("outside/dir"), at("R/link_dir"));
  fs::create_directory_symlink(at("outside/dir"), at("R/sub/deep_link"));
  fs::create_symlink("../../outside/secret.txt", at("R/sub/relative_link"));
  fs::create_hard_link(at("outside/shared.txt"), at("R/hard"));
  ASSERT_EQ(mkfifo(at("R/fifo").c_str(), 0600), 0);
  const auto before = snapshot("outside");

  secure_delete_map statuses;
  recording_report report;
  EXPECT_TRUE(secure_delete_tree(wide(at("R")), nullptr, 8, nullptr, &report, &statuses));
  EXPECT_EQ(snapshot("outside"), before);
  EXPECT_FALSE(exists("R"));
  for (const char* name : {"R/link_file", "R/link_dir", "R/hard", "R/fifo", "R/sub/deep_link"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(statuses[wide(at(name))], secure_status_not_wiped | secure_flag_name_only | secure_flag_remove_tried |
                                            secure_flag_removed);
  }
  EXPECT_EQ(statuses[wide(at("R/sub/own.txt"))], destroyed_file);

  // A root that is itself a link is refused; so is a single-file deletion's link target.
  fs::create_directory_symlink(at("outside"), at("root_link"));
  EXPECT_FALSE(secure_delete_tree(wide(at("root_link")), nullptr, 8, nullptr, nullptr, nullptr));
  EXPECT_FALSE(secure_delete_tree(wide(at("root_link/")), nullptr, 8, nullptr, nullptr, nullptr));
  fs::create_symlink(at("outside/secret.txt"), at("file_link"));
  EXPECT_TRUE(secure_delete_file(wide(at("file_link"))));
  EXPECT_FALSE(exists("file_link"));
  EXPECT_TRUE(exists("root_link"));
  EXPECT_EQ(snapshot("outside"), before);
}

// With a filter list, only the files it selects go; the folders stay.
TEST_F(SecureDeleteTest, FiltersSelectFilesAndKeepFolders) {
  put("R/a.txt", "a");
  put("R/b.csv", "b");
  put("R/sub/c.txt", "c");
  std::vector<filename_filter> filters;
  std::string spec = "*.txt";
  ASSERT_TRUE(parse_filename_filters(filters, spec));
  EXPECT_TRUE(secure_delete_tree(wide(at("R")), &filters, 2, nullptr, nullptr, nullptr));
  EXPECT_EQ(snapshot("R"), (std::map<std::string, std::string>{{"b.csv", "b"}, {"sub", "<dir>"}}));

  // Levels bound the depth: a file below them stays, and so does its folder.
  put("R/sub/deeper/d.txt", "d");
  secure_delete_map statuses;
  EXPECT_FALSE(secure_delete_tree(wide(at("R")), nullptr, 2, nullptr, nullptr, &statuses));
  EXPECT_EQ(snapshot("R"), (std::map<std::string, std::string>{
                               {"sub", "<dir>"}, {"sub/deeper", "<dir>"}, {"sub/deeper/d.txt", "d"}}));
  EXPECT_EQ(statuses[wide(at("R"))], secure_status_folder | secure_flag_remove_tried);
}

// The root is taken literally: a real folder named "*" is deleted alone, never read as a
// wildcard for its siblings.
TEST_F(SecureDeleteTest, RootIsTakenLiterally) {
  put("R/*/star.txt", "star");
  put("R/a/keep.txt", "a content");
  put("R/b/keep.txt", "b content");
  const auto siblings = snapshot("R/a");
  secure_delete_map statuses;
  EXPECT_TRUE(secure_delete_tree(wide(at("R/*")), nullptr, 4, nullptr, nullptr, &statuses));
  EXPECT_EQ(statuses, (secure_delete_map{{wide(at("R/*")), removed_folder},
                                         {wide(at("R/*/star.txt")), destroyed_file}}));
  EXPECT_EQ(snapshot("R"), (std::map<std::string, std::string>{
                               {"a", "<dir>"}, {"a/keep.txt", "a content"}, {"b", "<dir>"}, {"b/keep.txt", "b content"}}));
}

// While the deletion runs, another thread keeps swapping the tree's folders for links to a
// decoy folder outside that holds files of the same names. Whatever the deletion manages, it
// never reaches the decoys: every one survives byte for byte, round after round.
TEST_F(SecureDeleteTest, FoldersSwappedForLinksNeverLeadOutside) {
  constexpr int rounds = 8;
  constexpr int files_per_folder = 20;
  const std::vector<std::string> swapped = {"R/d0", "R/d1", "R/d1/e", "R/d2/e"};
  for (int i = 0; i < files_per_folder; ++i) {
    const std::string name = "f" + std::to_string(i);
    put("outside/decoy/" + name, "decoy " + name + std::string(700, 'D'));
    put("outside/decoy/e/" + name, "decoy e/" + name + std::string(300, 'E'));
  }
  const auto decoys = snapshot("outside");
  ASSERT_EQ(std::count_if(decoys.begin(), decoys.end(), [](const auto& entry) { return entry.second != "<dir>"; }),
            2 * files_per_folder);
  int damaged_rounds = 0;
  std::atomic<int> swaps{0};
  for (int round = 0; round < rounds; ++round) {
    for (const char* folder : {"R/d0", "R/d1", "R/d2"})
      for (int i = 0; i < files_per_folder; ++i) {
        const std::string name = "/f" + std::to_string(i);
        put(std::string(folder) + name, "tree" + std::string(900, 'T'));
        put(std::string(folder) + "/e" + name, "tree" + std::string(400, 't'));
      }
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
      for (std::size_t turn = 0; !stop.load(); ++turn) {
        const std::string folder = at(swapped[turn % swapped.size()]);
        const std::string aside = folder + ".aside";
        if (::rename(folder.c_str(), aside.c_str()) != 0) continue;
        if (::symlink(at("outside/decoy").c_str(), folder.c_str()) == 0) {
          ++swaps;
          std::this_thread::yield();
          ::unlink(folder.c_str());
        }
        ::rename(aside.c_str(), folder.c_str());
      }
    });
    secure_delete_tree(wide(at("R")), nullptr, 8, nullptr, nullptr, nullptr);
    stop = true;
    swapper.join();
    if (snapshot("outside") != decoys) ++damaged_rounds;
    std::error_code ignored;
    fs::remove_all(at("R"), ignored);  // what the race left; links are removed, not followed
    fs::remove_all(at("tmp"), ignored);
    fs::create_directories(at("tmp"));
    fs::remove_all(at("outside"), ignored);  // the next round starts with every decoy whole
    for (const auto& [name, content] : decoys) {
      if (content == "<dir>")
        fs::create_directories(at("outside/" + name));
      else
        put("outside/" + name, content);
    }
  }
  EXPECT_EQ(damaged_rounds, 0);
  EXPECT_GT(swaps.load(), rounds);  // the race did take place
}

TEST_F(SecureDeleteTest, EmptyFileIsStillRemoved) {
  put("R/empty", "");
  secure_delete_map statuses;
  recording_report report;
  EXPECT_TRUE(secure_delete_tree(wide(at("R")), nullptr, 1, nullptr, &report, &statuses));
  EXPECT_EQ(statuses[wide(at("R/empty"))], (destroyed_file & ~secure_status_wiped) | secure_status_not_wiped);
  EXPECT_EQ(report.messages.front(), "not wiped: " + at("R/empty") + "\n");
  EXPECT_FALSE(exists("R"));
}

// A file the process may not write stays whole under its own name, its folder is reported as
// not removed, and the result says that the deletion failed. Run as an ordinary user (root
// drops to "nobody" in a child for it), so that the permission holds.
TEST_F(SecureDeleteTest, UnwritableFileStaysWhole) {
  put("R/locked", "precious");
  put("R/free", std::string(600, 'f'));
  chmod(at("R/locked").c_str(), 0444);
  chmod(at("R/free").c_str(), 0666);
  for (const char* folder : {"", "R", "tmp"}) chmod(at(folder).c_str(), 0777);

  EXPECT_EQ(run_as_ordinary_user([&] {
    int failures = 0;
    secure_delete_map statuses;
    recording_report report;
    if (secure_delete_tree(wide(at("R")), nullptr, 1, nullptr, &report, &statuses)) failures |= 1;
    const u64 locked = statuses[wide(at("R/locked"))];
    if (!(locked & secure_flag_kept) || (locked & (secure_flag_cut | secure_flag_renamed | secure_flag_removed)))
      failures |= 2;
    if (statuses[wide(at("R/free"))] != destroyed_file) failures |= 4;
    if (statuses[wide(at("R"))] != (secure_status_folder | secure_flag_remove_tried)) failures |= 8;
    bool reported = false;
    for (const std::string& line : report.messages) reported |= line == "deleted: " + at("R") + " - failed\n";
    if (!reported) failures |= 16;
    if (secure_delete_file(wide(at("R/locked")))) failures |= 32;
    return failures;
  }), 0);
  EXPECT_EQ(snapshot("R"), (std::map<std::string, std::string>{{"locked", "precious"}}));
  EXPECT_TRUE(fs::is_empty(at("tmp")));
}

// A folder of the tree that cannot be listed, because it may not be read or because the
// descriptors run out at its listing: what it holds was never seen, so the deletion does not
// report success, whatever else it destroyed, and names the folder. The selected file beside it
// still goes.
TEST_F(SecureDeleteTest, AFolderThatCannotBeListedFailsTheDeletion) {
  const struct {
    const char* name;
    mode_t folder_mode;
    std::size_t spare_descriptors;  // 0: as many as the process may have
  } cases[] = {{"unreadable folder", 0333, 0}, {"no descriptor left for its listing", 0777, 2}};
  std::vector<filename_filter> filters;
  std::string spec = "*.txt";
  ASSERT_TRUE(parse_filename_filters(filters, spec));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    put("R/a.txt", "a");
    put("R/sub/b.txt", "b");
    for (const char* file : {"R/a.txt", "R/sub/b.txt"}) chmod(at(file).c_str(), 0666);
    for (const char* folder : {"", "R"}) chmod(at(folder).c_str(), 0777);
    chmod(at("R/sub").c_str(), c.folder_mode);
    EXPECT_EQ(run_as_ordinary_user([&] {
      unsetenv("TEMP");  // no temporary folder to hold open: the descriptors counted above suffice
      recording_report report;
      const std::string named = "can't access: " + at("R/sub") + "\n";
      if (c.spare_descriptors > 0 && !leave_spare_descriptors(c.spare_descriptors)) return 64;
      int failures = 0;
      if (secure_delete_tree(wide(at("R")), &filters, 2, nullptr, &report, nullptr)) failures |= 1;
      if (std::find(report.messages.begin(), report.messages.end(), named) == report.messages.end()) failures |= 2;
      return failures;
    }), 0);
    chmod(at("R/sub").c_str(), 0777);
    EXPECT_EQ(snapshot("R"), (std::map<std::string, std::string>{{"sub", "<dir>"}, {"sub/b.txt", "b"}}));
  }
}

TEST_F(SecureDeleteTest, SingleFile) {
  put("R/one", std::string(5000, 'o'));
  EXPECT_TRUE(secure_delete_file(wide(at("R/one"))));
  EXPECT_TRUE(fs::is_empty(at("R")));
  EXPECT_TRUE(fs::is_empty(at("tmp")));
  // Without a temporary folder the file is removed where it lies.
  unsetenv("TEMP");
  put("R/two", "two");
  EXPECT_TRUE(secure_delete_file(wide(at("R/two"))));
  EXPECT_TRUE(fs::is_empty(at("R")));

  const struct {
    const char* name;
    std::wstring path;
  } refused[] = {{"empty path", L""}, {"missing", wide(at("R/none"))}, {"folder", wide(at("R"))}};
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(secure_delete_file(c.path));
  }
  EXPECT_TRUE(exists("R"));
  EXPECT_FALSE(secure_delete_tree(L"", nullptr, 1, nullptr, nullptr, nullptr));
  EXPECT_FALSE(secure_delete_tree(wide(at("R/none")), nullptr, 1, nullptr, nullptr, nullptr));
}

}  // namespace
