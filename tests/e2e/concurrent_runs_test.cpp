// Two runs at once never write one output file: while one run writes it, a second run that
// would write the same file is refused with a message and 255 and leaves it alone, and the first
// run's file comes out whole, as if it had run alone.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/telvar_process.h"

namespace {

class concurrent_runs : public testing::Test {
 protected:
  // A source large enough that the first run is still writing when it is stopped.
  static void SetUpTestSuite() {
    sources_ = new temp_folder("telvar_concurrent_src");
    std::ofstream out(sources_->file("big.csv"), std::ios::binary);
    out << "id,host,description\n";
    for (int i = 0; i < 400000; ++i) out << i << ",host-" << i % 13 << "," << std::string(i % 97, 'e') << "\n";
  }
  static void TearDownTestSuite() {
    delete sources_;
    sources_ = nullptr;
  }
  void SetUp() override {
    if (std::string(TELVAR_BINARY).empty()) GTEST_SKIP() << "telvar is not built";
    ASSERT_FALSE(dir_.path().empty());
    std::filesystem::create_symlink(sources_->file("big.csv"), dir_.file("x.csv"));
    e2e::write_file(dir_.file("small.csv"), "id,host,description\n1,h,d\n");
  }

  e2e::run_options options(const std::string& names = "") const {
    e2e::run_options o;
    o.cwd = dir_.path();
    o.stdin_text = names;
    o.stdin_given = !names.empty();
    return o;
  }
  // Stops the run once the file has content; false when it ended before that.
  bool stop_while_writing(const e2e::started_telvar& run, const std::string& name) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    struct stat status {};
    while (stat(dir_.file(name).c_str(), &status) != 0 || status.st_size == 0) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    kill(run.pid, SIGSTOP);
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(run.pid), &info, WSTOPPED | WEXITED | WNOWAIT) == 0 &&
           info.si_code == CLD_STOPPED;
  }

  static temp_folder* sources_;
  temp_folder dir_{"telvar_concurrent"};
};

temp_folder* concurrent_runs::sources_ = nullptr;

TEST_F(concurrent_runs, a_second_writer_of_one_output_is_refused) {
  // The split file of the sources' one group, named after their header.
  ASSERT_EQ(e2e::run_telvar({"-src", "small.csv", "-dst", "probe", "-split_into_files", "-quiet"}, options()).status, 0);
  const auto probe = std::filesystem::directory_iterator(dir_.file("probe"));
  ASSERT_NE(probe, std::filesystem::directory_iterator());
  const std::string group = "out/" + probe->path().filename().string();
  struct output_case {
    const char* name;
    std::vector<std::string> args;  // of both runs, after the source
    std::string output;             // the file both would write
    bool piped;                     // the source is piped rather than named by "-src"
    std::string message;            // the second run's
  } const cases[] = {
      {"a loop's file per source", {"-pipe", "-dst", "out", "-csv_to_json"}, "out/x.json", true,
       "analyzing x.csv\nprob opening out/x.json for writing, another run is writing it\n"},
      {"the -dst file", {"-dst", "out/x.json", "-csv_to_json"}, "out/x.json", false,
       "prob opening out/x.json for writing, another run is writing it\n"},
      {"the results file", {"-csv_to_json", "-out", "results.json"}, "results.json", false,
       "prob opening results file: results.json for writing, another run is writing it\n"},
      {"a split file", {"-dst", "out", "-split_into_files"}, group, false,
       "prob opening " + group + " for writing, another run is writing it\nprob writing " + group + "\n"},
  };
  for (const output_case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dir_.file("out"));
    std::filesystem::create_directories(dir_.file("out"));
    std::filesystem::remove(dir_.file("results.json"));
    auto args_for = [&](const std::string& source) {
      std::vector<std::string> args = c.args;
      if (!c.piped) args.insert(args.begin(), {"-src", source});
      args.push_back("-quiet");
      return args;
    };
    e2e::started_telvar first = e2e::start_telvar(args_for("x.csv"), options(c.piped ? "x.csv\n" : ""));
    ASSERT_TRUE(stop_while_writing(first, c.output)) << "the first run ended before it could be stopped";
    const std::string written_so_far = e2e::read_file(dir_.file(c.output));
    const e2e::run_result second = e2e::run_telvar(args_for("small.csv"), options(c.piped ? "x.csv\n" : ""));
    EXPECT_EQ(second.status, 255);
    EXPECT_EQ(second.err, c.message);
    // Compared whole, without a diff of megabytes on failure.
    EXPECT_TRUE(e2e::read_file(dir_.file(c.output)) == written_so_far) << "the second run changed the output";
    kill(first.pid, SIGCONT);
    const e2e::run_result first_end = e2e::wait_telvar(first);
    EXPECT_EQ(first_end.status, 0) << first_end.err;

    // What the first run wrote is what it writes alone.
    const std::string output = e2e::read_file(dir_.file(c.output));
    std::filesystem::remove(dir_.file(c.output));
    const e2e::run_result alone = e2e::run_telvar(args_for("x.csv"), options(c.piped ? "x.csv\n" : ""));
    ASSERT_EQ(alone.status, 0) << alone.err;
    EXPECT_TRUE(output == e2e::read_file(dir_.file(c.output))) << "the output differs from that of a run alone";
  }
}

}  // namespace
