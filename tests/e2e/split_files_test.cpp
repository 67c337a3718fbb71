// "-split_into_files": the files a run leaves in its "-dst" folder, compared with the expected
// files in fixtures/split_expected/<case>/, and what it reports when a file cannot be written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/telvar_process.h"

namespace {

namespace fs = std::filesystem;

const std::string expected_root = e2e::fixtures_dir + "/split_expected";

// The regular files of folder, by name.
std::map<std::string, std::string> read_folder(const std::string& folder) {
  std::map<std::string, std::string> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.is_regular_file()) files[entry.path().filename().string()] = e2e::read_file(entry.path().string());
  }
  return files;
}

// Compares the files of folder with fixtures/split_expected/<name>/: the same names, the same
// bytes. Under TELVAR_UPDATE_EXPECTED=1 the folder's files become the expected ones instead.
void expect_folder_matches(const std::string& folder, const std::string& name) {
  const std::string expected_dir = expected_root + "/" + name;
  const std::map<std::string, std::string> actual = read_folder(folder);
  const char* update = std::getenv("TELVAR_UPDATE_EXPECTED");
  if (update && std::string(update) == "1") {
    fs::remove_all(expected_dir);
    fs::create_directories(expected_dir);
    for (const auto& [file, content] : actual) e2e::write_file(expected_dir + "/" + file, content);
    return;
  }
  const std::map<std::string, std::string> expected = read_folder(expected_dir);
  std::vector<std::string> actual_names;
  std::vector<std::string> expected_names;
  for (const auto& entry : actual) actual_names.push_back(entry.first);
  for (const auto& entry : expected) expected_names.push_back(entry.first);
  ASSERT_EQ(actual_names, expected_names) << "expected folder " << expected_dir;
  for (const auto& [file, content] : actual) EXPECT_EQ(content, expected.at(file)) << expected_dir << "/" << file;
}

// Runs in a fresh folder holding copies of the split sources (split_sources/) and the samples
// (samples/), so that the "csv src" values are the relative paths given on the command line.
class split_files : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    fs::copy(e2e::fixtures_dir + "/split_sources", dir_.file("split_sources"));
    if (fs::exists(e2e::samples_dir)) fs::copy(e2e::samples_dir, dir_.file("samples"));
  }
  e2e::run_result run(const std::vector<std::string>& args, const std::string& names = "") {
    e2e::run_options options;
    options.cwd = dir_.path();
    options.stdin_text = names;
    options.stdin_given = !names.empty();
    return e2e::run_telvar(args, options);
  }

  temp_folder dir_{"telvar_split"};
};

TEST_F(split_files, SamplesSplitOneByOneAndPiped) {
  std::vector<std::string> samples;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir_.file("samples"), error)) {
    if (entry.path().extension() == ".csv") samples.push_back(entry.path().filename().string());
  }
  if (samples.empty()) GTEST_SKIP() << "no samples";
  std::sort(samples.begin(), samples.end());
  std::string names;
  for (const std::string& sample : samples) {
    SCOPED_TRACE(sample);
    const std::string stem = fs::path(sample).stem().string();
    const e2e::run_result result =
        run({"-src", "samples/" + sample, "-dst", "out/" + stem, "-split_into_files", "-quiet"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    expect_folder_matches(dir_.file("out/" + stem), "samples/" + stem);
    names += "samples/" + sample + "\n";
  }
  const e2e::run_result piped = run({"-pipe", "-dst", "piped", "-split_into_files", "-quiet"}, names);
  EXPECT_EQ(piped.status, 0);
  expect_folder_matches(dir_.file("piped"), "samples_piped");
}

TEST_F(split_files, RunsAndTheirFiles) {
  struct row {
    const char* name;
    std::vector<std::string> args;
    std::string names;  // on standard input
    std::string err;
  };
  const row rows[] = {
      // Like groups of two sources share one file with one header line; each source's rows
      // carry its own provenance, a source without a banner empty values and its own separator.
      {"pipe_shared",
       {"-pipe", "-dst", "out", "-split_into_files", "-quiet"},
       "split_sources/regkeys_a.csv\nsplit_sources/plain.csv\nsplit_sources/regkeys_b.csv\n",
       "analyzing split_sources/regkeys_a.csv\n"
       "analyzing split_sources/plain.csv\n"
       "analyzing split_sources/regkeys_b.csv\n"},
      {"raw", {"-src", "split_sources/regkeys_a.csv", "-dst", "out", "-split_into_files", "-raw", "-quiet"}, "", ""},
      // Bodyfile and log2timeline-layout sources are grouped by their format, whatever tool
      // wrote them.
      {"grp_like_formats",
       {"-pipe", "-dst", "out", "-split_into_files", "-grp_like_formats", "-quiet"},
       "split_sources/mft_bodyfile.csv\nsplit_sources/reg_timeline.csv\nsplit_sources/usn_bodyfile.csv\n"
       "split_sources/etl_timeline.csv\n",
       "analyzing split_sources/mft_bodyfile.csv\n"
       "analyzing split_sources/reg_timeline.csv\n"
       "analyzing split_sources/usn_bodyfile.csv\n"
       "analyzing split_sources/etl_timeline.csv\n"},
      // Fields beyond a group's columns follow the provenance values; empty ones go. Rows
      // that lack fields get empty ones.
      {"surplus", {"-src", "split_sources/surplus.csv", "-dst", "out", "-split_into_files", "-quiet"}, "", ""},
      {"tab_separated", {"-src", "split_sources/tabbed.csv", "-dst", "out", "-split_into_files", "-quiet"}, "", ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    fs::remove_all(dir_.file("out"));
    const e2e::run_result result = run(r.args, r.names);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, r.err);
    expect_folder_matches(dir_.file("out"), r.name);
  }
}

// A "-dst" that is no folder: every group's file is reported and the run fails.
TEST_F(split_files, AnUnwritableDestinationFailsTheRun) {
  e2e::write_file(dir_.file("blocker"), "a file, not a folder\n");
  const e2e::run_result result =
      run({"-src", "split_sources/regkeys_a.csv", "-dst", "blocker/out", "-split_into_files", "-quiet"});
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "prob writing blocker/out/dorvel.Run_keys-754ab6811d9db6a942ec561ff24a2f8c.csv\n"
            "prob writing blocker/out/dorvel.Services-f4afda7a70966ae0482af1dc551cf170.csv\n");
  EXPECT_EQ(e2e::read_file(dir_.file("blocker")), "a file, not a folder\n");
}

// One group's file cannot be made: it is reported once, the other groups are written, and the
// run ends with a failure.
TEST_F(split_files, AFileThatCannotBeMadeIsReportedOnce) {
  fs::create_directories(dir_.file("out/dorvel.Run_keys-754ab6811d9db6a942ec561ff24a2f8c.csv"));
  const e2e::run_result result = run({"-pipe", "-dst", "out", "-split_into_files", "-quiet"},
                                     "split_sources/regkeys_a.csv\nsplit_sources/regkeys_b.csv\n");
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.err,
            "analyzing split_sources/regkeys_a.csv\n"
            "analyzing split_sources/regkeys_b.csv\n"
            "prob writing out/dorvel.Run_keys-754ab6811d9db6a942ec561ff24a2f8c.csv\n");
  expect_folder_matches(dir_.file("out"), "blocked_group");
}

// A group's file on a full disk: its rows are written only when the file is closed, at the end of
// the run, and that failure is reported too.
TEST_F(split_files, AFullDiskIsReported) {
  fs::create_directories(dir_.file("out"));
  fs::create_symlink("/dev/full", dir_.file("out/dorvel.Services-f4afda7a70966ae0482af1dc551cf170.csv"));
  const e2e::run_result result =
      run({"-src", "split_sources/regkeys_a.csv", "-dst", "out", "-split_into_files", "-quiet"});
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.err, "prob writing out/dorvel.Services-f4afda7a70966ae0482af1dc551cf170.csv\n");
}

}  // namespace
