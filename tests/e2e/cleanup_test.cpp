// Cleaned-up CSV as a user asks for it: every cleanup option alone and combined, on sources
// separated by commas, vertical bars and TABs, with surplus fields and separators and quotes
// inside cells; the samples; "-pair_fields" values that name no column; a "-pipe" run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/telvar_process.h"

namespace {

using e2e::run_telvar;

class cleanup_run : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }
  void put(const std::string& from, const std::string& name) { e2e::write_file(dir_.file(name), e2e::read_file(from)); }
  e2e::run_result run(const std::vector<std::string>& args, const std::string& names = "") {
    e2e::run_options options;
    options.cwd = dir_.path();
    options.stdin_text = names;
    options.stdin_given = !names.empty();
    return run_telvar(args, options);
  }
  std::string get(const std::string& name) { return e2e::read_file(dir_.file(name)); }

  temp_folder dir_{"telvar_cleanup"};
};

struct option_case {
  const char* fixture;
  std::vector<std::string> options;
  const char* expected;
};

TEST_F(cleanup_run, EveryOptionAndCombination) {
  const option_case cases[] = {
      // Comma source: blanks around fields, surplus fields, a trailing separator, separators
      // and quotes inside cells, a row before the header, short and empty lines, a group
      // without rows, a header row found after a banner line.
      {"cleanup_registry.csv", {"-no_whitespace"}, "cleanup_registry_no_whitespace.csv"},
      {"cleanup_registry.csv", {"-pair_fields", "1:2"}, "cleanup_registry_pair.csv"},
      {"cleanup_registry.csv", {"-align_cols"}, "cleanup_registry_align.csv"},
      {"cleanup_registry.csv", {"-change_csv_separator", "|"}, "cleanup_registry_bar.csv"},
      {"cleanup_registry.csv", {"-change_csv_separator", "tab"}, "cleanup_registry_tab.csv"},
      {"cleanup_registry.csv", {"-csv_separator", "TAB"}, "cleanup_registry_tab.csv"},
      {"cleanup_registry.csv", {"-pair_fields", "1:2", "-align_cols", "-change_csv_separator", "|"},
       "cleanup_registry_pair_align_bar.csv"},
      {"cleanup_registry.csv", {"-no_whitespace", "-pair_fields", "1:2|3:4", "-csv_separator", "\\t"},
       "cleanup_registry_trim_pairs_tab.csv"},
      // Vertical-bar source with blanks around the bars, a surplus field, a comma and a TAB
      // inside cells.
      {"cleanup_events.csv", {"-change_csv_separator", ","}, "cleanup_events_comma.csv"},
      {"cleanup_events.csv", {"-no_whitespace"}, "cleanup_events_no_whitespace.csv"},
      {"cleanup_events.csv", {"-align_cols", "-change_csv_separator", "\t"}, "cleanup_events_align_tab.csv"},
      {"cleanup_events.csv", {"-pair_fields", "1:2", "-no_whitespace", "-change_csv_separator", ","},
       "cleanup_events_pair_comma.csv"},
      // TAB source without a banner: empty fields, a surplus field, "|" and "," inside a cell.
      {"cleanup_logons.tsv", {"-no_whitespace"}, "cleanup_logons_no_whitespace.tsv"},
      {"cleanup_logons.tsv", {"-change_csv_separator", "|"}, "cleanup_logons_bar.csv"},
      {"cleanup_logons.tsv", {"-change_csv_separator", ","}, "cleanup_logons_comma.csv"},
      {"cleanup_logons.tsv", {"-align_cols", "-pair_fields", "1:2"}, "cleanup_logons_align_pair.tsv"},
  };
  for (const option_case& c : cases) {
    std::string trace = c.fixture;
    for (const std::string& option : c.options) trace += " " + option;
    SCOPED_TRACE(trace);
    put(e2e::fixtures_dir + "/" + c.fixture, c.fixture);
    std::vector<std::string> args = {"-src", c.fixture, "-dst", "out.csv", "-quiet"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const e2e::run_result run = this->run(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "");
    e2e::expect_matches_file(get("out.csv"), c.expected);
  }
}

// Without "-dst" the cleaned-up text goes to standard output.
TEST_F(cleanup_run, ToStandardOutput) {
  put(e2e::fixtures_dir + "/cleanup_logons.tsv", "logons.tsv");
  const e2e::run_result run = this->run({"-src", "logons.tsv", "-change_csv_separator", "|", "-quiet"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, e2e::fixture("expected/cleanup_logons_bar.csv"));
}

TEST_F(cleanup_run, Samples) {
  const char* samples[] = {"dorvel_software", "fendral_mft_bodyfile", "ganwick_usrclass_shellbags",
                           "hasmir_security_evt_utf16", "no_banner_logons", "plivet_wlan_etl",
                           "ulfen_recent_lnk"};
  for (const char* sample : samples) {
    SCOPED_TRACE(sample);
    const std::string source = std::string(sample) + ".csv";
    put(e2e::samples_dir + "/" + source, source);
    const e2e::run_result trimmed = this->run({"-src", source, "-dst", "trimmed.csv", "-no_whitespace", "-quiet"});
    EXPECT_EQ(trimmed.status, 0);
    EXPECT_EQ(trimmed.err, "");
    e2e::expect_matches_file(get("trimmed.csv"), std::string("cleanup_sample_") + sample + "_no_whitespace.csv");
    const e2e::run_result combined = this->run({"-src", source, "-dst", "combined.csv", "-pair_fields", "1:2",
                                                "-align_cols", "-change_csv_separator", "|", "-quiet"});
    EXPECT_EQ(combined.status, 0);
    EXPECT_EQ(combined.err, "");
    e2e::expect_matches_file(get("combined.csv"), std::string("cleanup_sample_") + sample + "_combined.csv");
  }
}

// "-pair_fields" values that name no column of the source leave every field in place; a side
// that is no number is reported and passed over, the other pairs still apply.
TEST_F(cleanup_run, PairFieldsThatNameNoColumn) {
  put(e2e::fixtures_dir + "/cleanup_logons.tsv", "logons.tsv");
  // As "-no_whitespace" alone leaves the source.
  const std::string unchanged = e2e::fixture("expected/cleanup_logons_no_whitespace.tsv");
  struct row {
    const char* name;
    const char* value;
    std::string err;
  };
  const row rows[] = {
      {"column 0", "0:2", ""},
      {"beyond the header", "9:2", ""},
      {"given column beyond the header", "1:4000000000", ""},
      {"a column paired with itself", "2:2", ""},
      {"no number", "x:2", "Didn't understand -pair_fields <x:2>\n"},
      {"a word", "one:2", "Didn't understand -pair_fields <one:2>\n"},
      {"a negative number", "-1:2", "Didn't understand -pair_fields <-1:2>\n"},
      {"no colon", "12", "Didn't understand -pair_fields <12>\n"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const e2e::run_result run =
        this->run({"-src", "logons.tsv", "-dst", "out.tsv", "-pair_fields", r.value, "-no_whitespace", "-quiet"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, r.err);
    EXPECT_EQ(get("out.tsv"), unchanged);
  }
  // The pair that can be read still applies.
  const e2e::run_result run =
      this->run({"-src", "logons.tsv", "-dst", "out.tsv", "-pair_fields", "x:1|1:2|3", "-quiet"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "Didn't understand -pair_fields <x:1>\nDidn't understand -pair_fields <3>\n");
  e2e::expect_matches_file(get("out.tsv"), "cleanup_logons_pair.tsv");
  // More paired columns than the source has: the conversion is refused, and says so.
  const e2e::run_result refused =
      this->run({"-src", "logons.tsv", "-dst", "refused.tsv", "-pair_fields", "1:2|3:4|5:6", "-quiet"});
  EXPECT_EQ(refused.status, 255);
  EXPECT_EQ(refused.err, "prob analyzing logons.tsv\n");
}

// One cleaned-up file per piped name, named with ".csv"; what one source leaves pending (a
// header line waiting for rows under "-align_cols") ends in its own file.
TEST_F(cleanup_run, PipedSources) {
  put(e2e::fixtures_dir + "/cleanup_header_only.csv", "header_only.csv");
  put(e2e::fixtures_dir + "/cleanup_logons.tsv", "logons.tsv");
  const e2e::run_result run =
      this->run({"-pipe", "-dst", "out", "-align_cols", "-quiet"}, "header_only.csv\nlogons.tsv\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "analyzing header_only.csv\nanalyzing logons.tsv\n");
  EXPECT_EQ(get("out/header_only.csv"), "a,b,c\n1,2,3\na,bb,c\n");
  e2e::expect_matches_file(get("out/logons.csv"), "cleanup_logons_align.tsv");
}

}  // namespace
