// "-enumdir" and "-pipe" over the names evidence can hold: a line end, quotes, bytes that are
// not UTF-8, a path of nearly 4,000 bytes, a symbolic-link loop, a FIFO, devices (an endless
// one and a terminal that never types). Every name is converted or refused with a message, the
// run ends (it never waits on a source) with 255, and nothing is written outside "-dst".
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/telvar_process.h"

namespace {

namespace fs = std::filesystem;

// Every entry under root but those under skip, with its kind and size, to see what a run wrote.
std::map<std::string, std::string> tree_of(const std::string& root, const std::string& skip) {
  std::map<std::string, std::string> entries;
  std::error_code failed;
  for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::none, failed);
       !failed && it != fs::recursive_directory_iterator(); it.increment(failed)) {
    const std::string path = it->path().string();
    if (path.rfind(skip, 0) == 0) continue;
    const fs::file_status status = it->symlink_status();
    std::error_code no_size;
    const auto size = status.type() == fs::file_type::regular ? fs::file_size(it->path(), no_size) : 0;
    entries[path] = std::to_string(static_cast<int>(status.type())) + ":" + std::to_string(size);
  }
  return entries;
}

// Runs telvar and kills it when it has not ended after a minute: a hang is a failure here,
// not a stuck test program.
e2e::run_result run_bounded(const std::vector<std::string>& args, const e2e::run_options& options) {
  e2e::started_telvar run = e2e::start_telvar(args, options);
  std::atomic<bool> ended{false};
  std::thread watchdog([&] {
    for (int tenth = 0; tenth < 600 && !ended; ++tenth) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!ended) kill(run.pid, SIGKILL);
  });
  e2e::run_result result = e2e::wait_telvar(run);
  ended = true;
  watchdog.join();
  return result;
}

class hostile_names : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(TELVAR_BINARY).empty()) GTEST_SKIP() << "telvar is not built";
    ASSERT_FALSE(folder.path().empty());
    ASSERT_EQ(openpty(&terminal, &terminal_side, nullptr, nullptr, nullptr), 0);
    const std::string sample = e2e::read_file(e2e::samples_dir + "/no_banner_logons.csv");
    fs::create_directories(in());
    for (const std::string& name : good_names()) e2e::write_file(in() + "/" + name, sample);
    std::string deep = in();
    for (int level = 0; level < 19; ++level) deep += "/" + std::string(200, 'd');
    fs::create_directories(deep);
    e2e::write_file(deep + "/deep.csv", sample);
    ASSERT_EQ(mkfifo((in() + "/fifo.csv").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", in() + "/zero.csv");
    fs::create_symlink(ttyname(terminal_side), in() + "/terminal.csv");
    fs::create_symlink("self.csv", in() + "/self.csv");
    fs::create_directory_symlink(".", in() + "/loop");
  }
  void TearDown() override {
    if (terminal >= 0) close(terminal);
    if (terminal_side >= 0) close(terminal_side);
  }

  std::string in() const { return folder.file("in"); }
  static std::vector<std::string> good_names() {
    return {"line\nend.csv", "quote\"s 'and' ,comma.csv", "plain.csv"};
  }
  static std::vector<std::string> bad_names() {
    return {"\xff\xfe bytes.csv", "fifo.csv", "zero.csv", "terminal.csv", "self.csv"};
  }

  // Checks one run: it ended by itself with 255, every good source has its document, every
  // bad one its message, and only "out" changed.
  void check(const std::vector<std::string>& args, const std::string& names) {
    fs::create_directories(in());
    e2e::write_file(in() + "/" + bad_names()[0], "a,b\n1,2\n");
    const auto before = tree_of(folder.path(), folder.file("out"));
    e2e::run_options options;
    options.cwd = folder.path();
    options.stdin_text = names;
    options.stdin_given = !names.empty();
    const e2e::run_result run = run_bounded(args, options);
    EXPECT_EQ(run.signal, 0) << "telvar did not end by itself";
    EXPECT_EQ(run.status, 255) << run.err;
    EXPECT_EQ(tree_of(folder.path(), folder.file("out")), before);
    size_t documents = 0;
    for (const auto& entry : fs::directory_iterator(folder.file("out"))) documents += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(documents, good_names().size() + 1) << run.err;  // and deep.csv
    for (const char* bad : {"bytes.csv", "fifo.csv", "zero.csv", "terminal.csv", "self.csv"})
      EXPECT_NE(run.err.find(bad), std::string::npos) << bad << " is not reported in:\n" << run.err;
  }

  temp_folder folder{"e2e_hostile"};
  int terminal = -1;
  int terminal_side = -1;
};

TEST_F(hostile_names, a_walked_folder_of_hostile_names_ends_with_each_one_handled) {
  check({"-enumdir", "in", "-num_subdirs", "30", "-filter", "*.csv", "-dst", "out", "-csv_to_html", "-quiet"}, "");
}

TEST_F(hostile_names, piped_hostile_names_end_with_each_one_handled) {
  // A name with a line end cannot be piped: its document comes from its own run.
  std::string names;
  for (const std::string& name : good_names())
    if (name.find('\n') == std::string::npos) names += "in/" + name + "\n";
  for (const std::string& name : bad_names()) names += "in/" + name + "\n";
  std::string deep = "in";
  for (int level = 0; level < 19; ++level) deep += "/" + std::string(200, 'd');
  names += deep + "/deep.csv\n";
  const e2e::run_result single = e2e::run_telvar(
      {"-src", "in/" + good_names()[0], "-dst", "out/line_end.html", "-csv_to_html", "-quiet"},
      [&] {
        e2e::run_options options;
        options.cwd = folder.path();
        fs::create_directories(folder.file("out"));
        return options;
      }());
  EXPECT_EQ(single.status, 0) << single.err;
  check({"-pipe", "-dst", "out", "-csv_to_html", "-quiet"}, names);
}

}  // namespace
