// CSV to JSON as a user runs it: the bundled samples and sources made to break a document
// (surplus fields, hostile text, groups without rows, a header never accepted), in the nested
// layout, with "-flat" and with "-esc_path". Every document written must parse as JSON.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/telvar_process.h"
#include "tests/tool/json_check.h"

namespace {

using e2e::run_telvar;

class json_run : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }
  void TearDown() override { EXPECT_EQ(documents_.failures(), ""); }

  // Converts source into a file of the test's folder with the options given; the file's text.
  // A conversion that fails ends 255 with message.
  std::string convert(const std::string& source, const std::vector<std::string>& options,
                      const std::string& message = "") {
    const std::string out = dir_.file("out.json");
    std::remove(out.c_str());
    std::vector<std::string> args = {"-src", source, "-dst", out, "-csv_to_json", "-quiet"};
    args.insert(args.end(), options.begin(), options.end());
    const e2e::run_result run = run_telvar(args);
    EXPECT_EQ(run.status, message.empty() ? 0 : 255);
    EXPECT_EQ(run.err, message);
    EXPECT_EQ(run.out, "");
    return e2e::read_file(out);
  }
  // Keeps a document for the check that it parses; lines: one object per line.
  void keep(const std::string& label, const std::string& text, bool lines) {
    documents_.add(label, text, lines);
  }

  temp_folder dir_{"telvar_json"};
  json_texts documents_{"telvar_json_documents"};
};

struct conversion_case {
  const char* name;
  std::string source;
  std::vector<std::string> options;
  const char* expected;  // in fixtures/expected
  bool header_too_short = false;  // the conversion fails for it, the document still whole
};

bool is_flat(const conversion_case& c) {
  for (const std::string& option : c.options) {
    if (option == "-flat") return true;
  }
  return false;
}

TEST_F(json_run, EachSourceGivesItsDocument) {
  const std::string samples = e2e::samples_dir + "/";
  const std::string fixtures = e2e::fixtures_dir + "/";
  const conversion_case cases[] = {
      // Three groups titled by banner lines, an extra column, quoted values and paths.
      {"groups", samples + "dorvel_software.csv", {}, "json_sample_dorvel_software.json"},
      {"groups, flat", samples + "dorvel_software.csv", {"-flat"},
       "json_sample_dorvel_software_flat.json"},
      {"groups, -esc_path", samples + "dorvel_software.csv", {"-esc_path"},
       "json_sample_dorvel_software_esc_path.json"},
      // "|" with blanks, two extra columns, a column that joins the group's name.
      {"extra columns", samples + "plivet_wlan_etl.csv", {}, "json_sample_plivet_wlan_etl.json"},
      // UTF-16LE with its mark; a column that joins the group's name.
      {"utf-16", samples + "hasmir_security_evt_utf16.csv", {},
       "json_sample_hasmir_security_evt_utf16.json"},
      // Nested cells: one member per sub-value.
      {"nested cells", samples + "ulfen_recent_lnk.csv", {}, "json_sample_ulfen_recent_lnk.json"},
      {"cr lf and empty cells", samples + "ganwick_usrclass_shellbags.csv", {},
       "json_sample_ganwick_usrclass_shellbags.json"},
      {"bodyfile", samples + "fendral_mft_bodyfile.csv", {}, "json_sample_fendral_mft_bodyfile.json"},
      {"no banner", samples + "no_banner_logons.csv", {}, "json_sample_no_banner_logons.json"},
      // Surplus fields end in the member "overflow"; a row short of columns gets empty
      // members; the banner has no extra info.
      {"surplus fields", fixtures + "json_overflow.csv", {}, "json_overflow.json"},
      // Quotes, backslashes, control characters and bytes outside UTF-8 in the banner, the
      // group's name, the column names and the cells.
      {"hostile text", fixtures + "json_hostile.csv", {}, "json_hostile.json"},
      {"hostile text, -esc_path", fixtures + "json_hostile.csv", {"-esc_path"},
       "json_hostile_esc_path.json"},
      {"hostile text, flat", fixtures + "json_hostile.csv", {"-flat"}, "json_hostile_flat.json"},
      // Groups whose header rows have no rows after them, one between and one at the end.
      {"groups without rows", fixtures + "json_empty_groups.csv", {}, "json_empty_groups.json"},
      // The header row has fewer columns than the producing tool's minimum: no group at all.
      {"header never accepted", fixtures + "json_no_header.csv", {}, "json_no_header.json", true},
      {"header never accepted, flat", fixtures + "json_no_header.csv", {"-flat"},
       "json_no_header_flat.json", true},
  };
  for (const conversion_case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string message =
        c.header_too_short ? "prob analyzing " + c.source + ": no header row with enough columns\n" : "";
    const std::string document = convert(c.source, c.options, message);
    e2e::expect_matches_file(document, c.expected);
    keep(c.name, document, is_flat(c));
  }
}

// Every sample there is converts into documents that parse, in both layouts.
TEST_F(json_run, EverySampleParses) {
  for (const auto& entry : std::filesystem::directory_iterator(e2e::samples_dir)) {
    if (entry.path().extension() != ".csv") continue;
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    keep(name, convert(entry.path().string(), {}), false);
    keep(name + ", flat", convert(entry.path().string(), {"-flat"}), true);
  }
}

// Under "-pipe" every source is a document of its own; untitled groups are numbered on from
// one source to the next.
TEST_F(json_run, PipedSourcesAreDocumentsOfTheirOwn) {
  const std::string sample = e2e::read_file(e2e::samples_dir + "/no_banner_logons.csv");
  e2e::write_file(dir_.file("first.csv"), sample);
  e2e::write_file(dir_.file("second.csv"), sample);
  e2e::run_options options;
  options.cwd = dir_.path();
  options.stdin_text = "first.csv\nsecond.csv\n";
  options.stdin_given = true;
  const e2e::run_result run =
      run_telvar({"-pipe", "-dst", "out", "-csv_to_json", "-quiet"}, options);
  EXPECT_EQ(run.status, 0);

  const std::string first_expected = e2e::fixture("expected/json_sample_no_banner_logons.json");
  std::string second_expected = first_expected;
  const std::string first_name = "\"Group-1\"";
  ASSERT_NE(second_expected.find(first_name), std::string::npos);
  second_expected.replace(second_expected.find(first_name), first_name.size(), "\"Group-2\"");
  const std::string first = e2e::read_file(dir_.file("out/first.json"));
  const std::string second = e2e::read_file(dir_.file("out/second.json"));
  EXPECT_EQ(first, first_expected);
  EXPECT_EQ(second, second_expected);
  keep("piped, first", first, false);
  keep("piped, second", second, false);
}

}  // namespace
