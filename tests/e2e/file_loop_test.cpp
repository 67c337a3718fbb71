// "-pipe" and "-enumdir": one document per source name in the "-dst" folder; a name that
// fails is reported and the others go on.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/telvar_process.h"

namespace {

using e2e::run_telvar;

class file_loop : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }
  void put_fixture(const std::string& fixture, const std::string& name) {
    std::filesystem::create_directories(std::filesystem::path(dir_.file(name)).parent_path());
    e2e::write_file(dir_.file(name), e2e::fixture(fixture));
  }
  e2e::run_result run(const std::vector<std::string>& args, const std::string& names = "", bool with_stdin = false) {
    e2e::run_options options;
    options.cwd = dir_.path();
    options.stdin_text = names;
    options.stdin_given = with_stdin;
    return run_telvar(args, options);
  }
  // A loop into a fresh "out" folder: args, then "-dst out", the action and "-quiet"; names
  // (when there are any) are piped to it.
  e2e::run_result run_into_out(std::vector<std::string> args, const std::string& names = "",
                               const char* action = "-csv_to_html") {
    std::filesystem::remove_all(dir_.file("out"));
    for (const char* more : {"-dst", "out", action, "-quiet"}) {
      if (more != nullptr) args.push_back(more);
    }
    return run(args, names, !names.empty());
  }
  std::string get(const std::string& name) { return e2e::read_file(dir_.file(name)); }
  bool exists(const std::string& name) { return std::filesystem::exists(dir_.file(name)); }
  // The names of the files in the folder, sorted; none when it does not exist.
  std::vector<std::string> listing(const std::string& folder) {
    std::vector<std::string> names;
    if (!exists(folder)) return names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.file(folder)))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  temp_folder dir_{"telvar_loop"};
};

TEST_F(file_loop, PipedNamesAreConvertedOneByOne) {
  put_fixture("registry_groups.csv", "registry_groups.csv");
  put_fixture("no_banner.csv", "in/no_banner.csv");
  put_fixture("no_banner.csv", "no_banner.csv");
  // An empty line is passed over; a missing file is reported; a second source of the same
  // base name gets a numbered document rather than replacing the first; untitled groups are
  // numbered on across the sources.
  const e2e::run_result run = this->run({"-pipe", "-dst", "out", "-csv_to_html", "-quiet"},
                                        "registry_groups.csv\n\nmissing.csv\r\nin/no_banner.csv\nno_banner.csv\n",
                                        true);
  // The missing file fails the run, after the others were converted.
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "analyzing registry_groups.csv\n"
            "prob reading missing.csv, aborting\n"
            "prob analyzing missing.csv\n"
            "analyzing in/no_banner.csv\n"
            "analyzing no_banner.csv\n");
  EXPECT_EQ(get("out/registry_groups.html"), e2e::fixture("expected/registry_groups.html"));
  EXPECT_FALSE(exists("out/missing.html"));
  e2e::expect_matches_file(get("out/no_banner.html"), "loop_in_no_banner.html");
  e2e::expect_matches_file(get("out/no_banner-2.html"), "loop_no_banner_2.html");
}

TEST_F(file_loop, EnumdirWalksTheFolderThroughTheFilter) {
  put_fixture("registry_groups.csv", "in/registry_groups.csv");
  put_fixture("registry_groups.csv", "in/registry_groups.txt");
  put_fixture("bodyfile.csv", "in/sub/bodyfile.csv");
  put_fixture("no_banner.csv", "in/sub/deeper/no_banner.csv");
  const e2e::run_result run =
      this->run({"-enumdir", "in", "-num_subdirs", "1", "-filter", "*.csv", "-dst", "out", "-csv_to_html", "-quiet"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(listing("out"), (std::vector<std::string>{"bodyfile.html", "registry_groups.html"}));
  EXPECT_NE(run.err.find("analyzing in/registry_groups.csv\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("analyzing in/sub/bodyfile.csv\n"), std::string::npos) << run.err;
  // The documents match those of single runs except for the source path in the title.
  std::string registry = get("out/registry_groups.html");
  const std::string from = "of in/registry_groups.csv to html";
  ASSERT_NE(registry.find(from), std::string::npos);
  registry.replace(registry.find(from), from.size(), "of registry_groups.csv to html");
  EXPECT_EQ(registry, e2e::fixture("expected/registry_groups.html"));
}

TEST_F(file_loop, EnumdirNeedsADestinationAndAFolder) {
  put_fixture("no_banner.csv", "in/no_banner.csv");
  struct row {
    const char* name;
    std::vector<std::string> args;
    const char* message;
  };
  const row rows[] = {
      {"no -dst", {"-enumdir", "in"}, "need to provide -dst <dst file> with -enumdir option\n"},
      {"missing folder", {"-enumdir", "nowhere", "-dst", "out"}, "prob reading folder nowhere\n"},
      {"a file, not a folder", {"-enumdir", "in/no_banner.csv", "-dst", "out"},
       "prob reading folder in/no_banner.csv\n"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<std::string> args = r.args;
    args.push_back("-csv_to_html");
    args.push_back("-quiet");
    const e2e::run_result run = this->run(args);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err, r.message);
    EXPECT_FALSE(exists("out"));
  }
}

// A name whose document cannot be written is reported; the loop goes on and ends with 255.
TEST_F(file_loop, ANameWhoseOutputFailsIsReportedAndTheLoopGoesOn) {
  // A CSV source named like the document it would get, converted into its own folder: its
  // document would be the source itself.
  put_fixture("no_banner.csv", "in/report.html");
  // A folder stands where the document of blocked.csv would go.
  put_fixture("no_banner.csv", "blocked.csv");
  std::filesystem::create_directories(dir_.file("in/blocked.html"));
  put_fixture("registry_groups.csv", "registry_groups.csv");
  const e2e::run_result run = this->run({"-pipe", "-dst", "in", "-csv_to_html", "-quiet"},
                                        "in/report.html\nblocked.csv\nregistry_groups.csv\n", true);
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.err,
            "analyzing in/report.html\n"
            "prob analyzing in/report.html\n"
            "analyzing blocked.csv\n"
            "prob analyzing blocked.csv\n"
            "analyzing registry_groups.csv\n");
  EXPECT_EQ(get("in/report.html"), e2e::fixture("no_banner.csv"));
  EXPECT_EQ(get("in/registry_groups.html"), e2e::fixture("expected/registry_groups.html"));
}

// The loop converts every source it can, then ends with 255 when any failed: a script must
// see the failure. Sources the filter skips are no failure.
TEST_F(file_loop, AFailedSourceFailsTheRunAfterTheOthersAreConverted) {
  put_fixture("registry_groups.csv", "in/good.csv");
  e2e::write_file(dir_.file("in/empty.csv"), "");                   // no banner to read
  e2e::write_file(dir_.file("in/cr_only.csv"), "a,b,c\r1,2,3\r");  // refused: lines end with CR alone
  e2e::write_file(dir_.file("in/skipped.txt"), "");                 // never looked at
  struct row {
    const char* name;
    std::vector<std::string> args;
    std::string names;  // piped to standard input
    int status;
    int problems;  // "prob analyzing" lines
  };
  const row rows[] = {
      {"piped: one good, two bad", {"-pipe"}, "in/good.csv\nin/empty.csv\nin/cr_only.csv\n", 255, 2},
      {"piped: one good, one missing", {"-pipe"}, "in/missing.csv\nin/good.csv\n", 255, 1},
      {"piped: all good", {"-pipe"}, "in/good.csv\n", 0, 0},
      {"walked: one good, two bad", {"-enumdir", "in", "-filter", "*.csv"}, "", 255, 2},
      {"walked: the bad ones filtered out", {"-enumdir", "in", "-filter", "good*"}, "", 0, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const e2e::run_result run = run_into_out(r.args, r.names);
    EXPECT_EQ(run.status, r.status) << run.err;
    size_t problems = 0;
    for (size_t at = run.err.find("prob analyzing"); at != std::string::npos; at = run.err.find("prob analyzing", at + 1))
      ++problems;
    EXPECT_EQ(problems, static_cast<size_t>(r.problems)) << run.err;
    EXPECT_EQ(get("out/good.html").empty(), false) << "the good source is converted whatever fails";
  }
}

// "-filter_skip" skips every name one of its elements passes; "-filter_path" holds the list
// it follows (the exclusion list when there is one) to names in that folder.
TEST_F(file_loop, ExclusionListAndFolderRestrictionAreApplied) {
  put_fixture("no_banner.csv", "in/keep/report.csv");
  put_fixture("no_banner.csv", "in/keep/report_draft.csv");
  put_fixture("no_banner.csv", "in/old/legacy.csv");
  const std::string piped = "in/keep/report.csv\nin/keep/report_draft.csv\nin/old/legacy.csv\n";
  struct row {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> written;
  };
  const row rows[] = {
      {"piped, drafts skipped", {"-pipe", "-filter_skip", "*draft*"}, {"legacy.html", "report.html"}},
      {"walked, drafts skipped", {"-enumdir", "in", "-num_subdirs", "1", "-filter", "*.csv", "-filter_skip", "*DRAFT*"},
       {"legacy.html", "report.html"}},
      {"skip list restricted to a folder", {"-pipe", "-filter_skip", "*.csv", "-filter_path", "in/old"},
       {"report.html", "report_draft.html"}},
      {"inclusion list restricted to a folder", {"-pipe", "-filter", "*.csv", "-filter_path", "in/keep"},
       {"report.html", "report_draft.html"}},
      {"walked, inclusion list restricted", {"-enumdir", "in", "-num_subdirs", "1", "-filter", "*.csv", "-filter_path", "in/old/"},
       {"legacy.html"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const e2e::run_result run = run_into_out(r.args, r.args[0] == "-pipe" ? piped : "");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(listing("out"), r.written);
  }
}

// An output file's extension follows what is written into it, also when options add the
// cleanup flag beside another action.
TEST_F(file_loop, OutputExtensionFollowsTheWriter) {
  put_fixture("no_banner.csv", "in/run1.csv");
  struct row {
    const char* name;
    std::vector<std::string> args;
    const char* written;
    const char* opening;  // what the document begins with
  };
  const row rows[] = {
      {"html", {"-csv_to_html"}, "run1.html", "<"},
      {"html with another separator", {"-csv_to_html", "-change_csv_separator", ";"}, "run1.html", "<"},
      {"json with another separator", {"-csv_to_json", "-change_csv_separator", ";"}, "run1.json", "{"},
      {"cleanup", {"-no_whitespace"}, "run1.csv", ""},
      {"cleanup with another separator", {"-change_csv_separator", ";"}, "run1.csv", ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<std::string> args = {"-pipe"};
    args.insert(args.end(), r.args.begin(), r.args.end());
    const e2e::run_result run = run_into_out(args, "in/run1.csv\n", nullptr);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(listing("out"), std::vector<std::string>{r.written});
    EXPECT_EQ(get(std::string("out/") + r.written).rfind(r.opening, 0), 0u);
  }
}

// A name that is not valid UTF-8 cannot be opened through the file layer: it is reported,
// its bytes escaped, and counts as a failed source, never skipped without a word. The filters
// still apply to it.
TEST_F(file_loop, NamesThatAreNotUtf8AreReportedAndFail) {
  put_fixture("no_banner.csv", "in/good.csv");
  put_fixture("no_banner.csv", "in/bad\xff.csv");
  put_fixture("no_banner.csv", "in/junk\xff.txt");
  put_fixture("no_banner.csv", "in/sub\xfe/inner.csv");
  const std::string refused = "prob reading in/bad\\xff.csv: name is not valid UTF-8\nprob analyzing in/bad\\xff.csv\n";
  struct row {
    const char* name;
    std::vector<std::string> args;
    std::string names;  // piped to standard input
    std::vector<std::string> messages;
  };
  const row rows[] = {
      {"piped", {"-pipe"}, "in/good.csv\nin/bad\xff.csv\nin/junk\xff.txt\n",
       {"analyzing in/good.csv\n", refused,
        "prob reading in/junk\\xff.txt: name is not valid UTF-8\nprob analyzing in/junk\\xff.txt\n"}},
      {"piped through a filter", {"-pipe", "-filter", "*.csv"}, "in/bad\xff.csv\nin/junk\xff.txt\nin/good.csv\n",
       {refused, "analyzing in/good.csv\n"}},
      {"walked", {"-enumdir", "in", "-num_subdirs", "1", "-filter", "*.csv"}, "",
       {"analyzing in/good.csv\n", refused,
        "prob reading in/sub\\xfe/: name is not valid UTF-8\nprob analyzing in/sub\\xfe/\n"}},
      {"walked, the bad name skipped", {"-enumdir", "in", "-filter", "*.csv", "-filter_skip", "bad*"}, "",
       {"analyzing in/good.csv\n"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const e2e::run_result run = run_into_out(r.args, r.names);
    EXPECT_EQ(run.status, r.messages.size() > 1 ? 255 : 0) << run.err;
    size_t length = 0;
    for (const std::string& message : r.messages) {
      EXPECT_NE(run.err.find(message), std::string::npos) << message << "in\n" << run.err;
      length += message.size();
    }
    EXPECT_EQ(run.err.size(), length) << run.err;
    EXPECT_TRUE(exists("out/good.html"));
  }
  const e2e::run_result single = this->run({"-src", "in/bad\xff.csv", "-csv_to_html", "-quiet"});
  EXPECT_EQ(single.status, 255);
  EXPECT_EQ(single.err, refused);
}

// A walk takes the names it finds as they are: "%X%" in a file name is no environment name.
// A link to a folder is passed over like a folder the walk does not enter, a link to a file
// converted like the file.
TEST_F(file_loop, EnumdirTakesWhatItFindsAsItIs) {
  put_fixture("no_banner.csv", "in/%X%.csv");
  put_fixture("registry_groups.csv", "in/a.csv");
  std::filesystem::create_directories(dir_.file("elsewhere"));
  put_fixture("no_banner.csv", "elsewhere/c.csv");
  std::filesystem::create_directory_symlink("../elsewhere", dir_.file("in/up"));
  std::filesystem::create_symlink("../elsewhere/c.csv", dir_.file("in/c_link.csv"));
  e2e::run_options options;
  options.cwd = dir_.path();
  options.environment = {"X=a"};
  const e2e::run_result run = run_telvar({"-enumdir", "in", "-dst", "out", "-csv_to_html", "-quiet"}, options);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(listing("out"), (std::vector<std::string>{"%X%.html", "a.html", "c_link.html"}));
  EXPECT_EQ(run.err.find("in/up"), std::string::npos) << run.err;
  EXPECT_EQ(get("out/a.html").find("no_banner"), std::string::npos);
}

// A walk never enters the outputs of its own run, wherever they lie in the tree: a second run
// into the same place meets only the sources, and its outputs are those of the first.
TEST_F(file_loop, EnumdirNeverReadsTheOutputsOfItsOwnRun) {
  put_fixture("registry_groups.csv", "in/a.csv");
  put_fixture("no_banner.csv", "in/sub/b.csv");
  struct writer {
    const char* name;
    std::vector<std::string> args;
    const char* dst;
  } const writers[] = {
      {"split files", {"-split_into_files"}, "in/sub/groups"},
      {"cleanup", {"-no_whitespace"}, "in/clean"},
      {"json", {"-csv_to_json"}, "in/json"},
      {"database", {"-csv_to_sqlite"}, "in/sub/case.db"},
  };
  for (const writer& w : writers) {
    SCOPED_TRACE(w.name);
    for (const writer& earlier : writers) std::filesystem::remove_all(dir_.file(earlier.dst));
    std::vector<std::string> args = {"-enumdir", "in", "-num_subdirs", "3", "-dst", w.dst, "-quiet"};
    args.insert(args.end(), w.args.begin(), w.args.end());
    std::vector<std::string> first_outputs;
    for (int round = 0; round < 2; ++round) {
      const e2e::run_result run = this->run(args);
      EXPECT_EQ(run.status, 0) << run.err;
      std::string analyzed = run.err;
      for (const char* source : {"analyzing in/a.csv\n", "analyzing in/sub/b.csv\n"}) {
        const size_t at = analyzed.find(source);
        ASSERT_NE(at, std::string::npos) << run.err;
        analyzed.erase(at, std::string(source).size());
      }
      EXPECT_EQ(analyzed, "") << "round " << round;
      if (std::filesystem::is_directory(dir_.file(w.dst))) {
        if (round == 0) first_outputs = listing(w.dst);
        EXPECT_EQ(listing(w.dst), first_outputs);
      }
    }
  }
}

}  // namespace
