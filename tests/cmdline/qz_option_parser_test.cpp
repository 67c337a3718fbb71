#include "framework/cmdline/qz_option_parser.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/cmdline/qz_filename_filter.h"
#include "framework/io/qz_platform.h"
#include "framework/time/qz_filetime.h"
#include "framework/time/qz_time_format.h"
#include "tests/cmdline/std_capture.h"
#include "tests/text/temp_folder.h"

namespace {

using strings = std::vector<std::string>;

const char* const program_path = "/opt/case/bin/telvar.bin";

// One run of the parser on a fresh parameter set.
struct parsed {
  std::unique_ptr<cmd_params> params = std::make_unique<cmd_params>(0, true);
  bool ok = false;
  strings rest;          // what the parser left in the vector, the program path dropped
  std::string messages;  // what it wrote on standard error
};

parsed parse(const strings& options) {
  parsed run;
  run.rest.push_back(program_path);
  run.rest.insert(run.rest.end(), options.begin(), options.end());
  std_capture capture;
  run.ok = run.params->parse_generic_options(run.rest);
  run.messages = capture.text();
  run.rest.erase(run.rest.begin());
  return run;
}

u64 filetime_of_unix(i64 seconds) { return u64(i64(filetime_unix_epoch) + seconds * 10000000); }

using kind_flag = decltype(&cmd_params::kind_csv);

// Whether kind is the one output kind set.
bool only_kind(const cmd_params& p, kind_flag kind) {
  const kind_flag kinds[] = {&cmd_params::kind_csv,      &cmd_params::kind_csvgen,
                                          &cmd_params::kind_csvl2t,   &cmd_params::kind_bodyfile,
                                          &cmd_params::kind_xml,      &cmd_params::kind_multiline};
  for (auto k : kinds)
    if (p.*k != (k == kind ? 1 : 0)) return false;
  return true;
}

// ---- Preparation

TEST(ParseGenericOptions, EmptyVectorIsRefusedSilently) {
  cmd_params params(0, true);
  strings args;
  std_capture capture;
  EXPECT_FALSE(params.parse_generic_options(args));
  EXPECT_EQ(capture.text(), "");
}

TEST(ParseGenericOptions, ArgumentLineAndProgramName) {
  struct row {
    const char* name;
    strings args;
    std::string arg_line;
    std::string program_name;
  };
  const row rows[] = {
      {"entry with a blank is quoted", {"/usr/bin/telvar.bin", "-zz", "a b"},
       "/usr/bin/telvar.bin -zz \"a b\"", "telvar"},
      {"no folder, no extension", {"telvar"}, "telvar", "telvar"},
      {"only the last extension goes", {"./x.y.z"}, "./x.y.z", "x.y"},
      {"dot in a folder is no extension", {"/a.b/tool"}, "/a.b/tool", "tool"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    cmd_params params(0, true);
    strings args = r.args;
    ASSERT_TRUE(params.parse_generic_options(args));
    EXPECT_EQ(params.arg_line, r.arg_line);
    EXPECT_EQ(params.program_name, r.program_name);
  }
  // Texts set before (by the tool) are kept.
  cmd_params params(0, true);
  params.arg_line = "given line";
  params.program_name = "given";
  strings args = {"/bin/other.exe"};
  ASSERT_TRUE(params.parse_generic_options(args));
  EXPECT_EQ(params.arg_line, "given line");
  EXPECT_EQ(params.program_name, "given");
}

// ---- Every option of the table, one at a time

TEST(ParseGenericOptions, EachOptionSetsItsFieldsAndIsRemoved) {
  setenv("TELVAR_PARSER_ROOT", "/srv/evidence", 1);
  struct row {
    const char* name;
    strings options;
    std::function<void(const cmd_params&)> check;
    strings rest = {};
  };
  const row rows[] = {
      {"-pair_datetime", {"-pair_datetime"}, [](const cmd_params& p) { EXPECT_EQ(p.pair_datetime, 1); }},
      {"-csv", {"-csv"},
       [](const cmd_params& p) {
         EXPECT_TRUE(only_kind(p, &cmd_params::kind_csv));
         EXPECT_EQ(p.separator_text, ",");
         EXPECT_EQ(p.separator_char, ',');
         EXPECT_EQ(p.separator_replacement, ' ');
         EXPECT_EQ(p.trim_fields, 1);
       }},
      {"-csv after -pair_datetime does not trim", {"-csv", "-pair_datetime"},
       [](const cmd_params& p) {
         EXPECT_TRUE(only_kind(p, &cmd_params::kind_csv));
         EXPECT_EQ(p.trim_fields, 0);
       }},
      {"-csvgen", {"-csvgen"},
       [](const cmd_params& p) {
         EXPECT_TRUE(only_kind(p, &cmd_params::kind_csvgen));
         EXPECT_EQ(p.separator_char, ',');
         EXPECT_EQ(p.trim_fields, 1);
       }},
      {"-csvl2t", {"-csvl2t"},
       [](const cmd_params& p) {
         EXPECT_TRUE(only_kind(p, &cmd_params::kind_csvl2t));
         EXPECT_EQ(p.non_xml_output, 1);
         EXPECT_EQ(p.separator_char, ',');
         EXPECT_EQ(p.trim_fields, 0);
       }},
      {"-bodyfile", {"-bodyfile"},
       [](const cmd_params& p) {
         EXPECT_TRUE(only_kind(p, &cmd_params::kind_bodyfile));
         EXPECT_EQ(p.separator_text, "|");
         EXPECT_EQ(p.separator_char, '|');
         EXPECT_EQ(p.separator_replacement, ';');
       }},
      {"-xml", {"-xml"},
       [](const cmd_params& p) {
         EXPECT_TRUE(only_kind(p, &cmd_params::kind_xml));
         EXPECT_EQ(p.non_xml_output, 0);
         EXPECT_EQ(p.separator_text, "");
         EXPECT_EQ(p.separator_char, 0);
         EXPECT_EQ(p.separator_replacement, 0);
       }},
      {"-multiline", {"-multiline"},
       [](const cmd_params& p) {
         EXPECT_TRUE(only_kind(p, &cmd_params::kind_multiline));
         EXPECT_EQ(p.separator_text, "");
         EXPECT_EQ(p.separator_char, 0);
         EXPECT_EQ(p.separator_replacement, 0);
       }},
      {"-alias pairs, first key wins", {"-alias", "C:/Case/A.txt | %TELVAR_PARSER_ROOT%/a.txt | c:/case/a.txt | /x"},
       [](const cmd_params& p) {
         ASSERT_EQ(p.alias_map.size(), 1u);
         EXPECT_EQ(p.alias_map.at("c:/case/a.txt"), "/srv/evidence/a.txt");
       }},
      {"-aliaspath pairs", {"-aliaspath", "%TELVAR_PARSER_ROOT%/Old/|\"/mnt/new/\"|D:/|/mnt/d"},
       [](const cmd_params& p) {
         ASSERT_EQ(p.alias_path_map.size(), 2u);
         EXPECT_EQ(p.alias_path_map.at("/srv/evidence/old"), "/mnt/new");
         EXPECT_EQ(p.alias_path_map.at("d:"), "/mnt/d");
       }},
      {"-aliaspath empty", {"-aliaspath", ""},
       [](const cmd_params& p) {
         ASSERT_EQ(p.alias_path_map.size(), 1u);
         EXPECT_EQ(p.alias_path_map.at("*"), "");
       }},
      {"-gzip", {"-gzip"},
       [](const cmd_params& p) {
         EXPECT_EQ(p.compress, 1);
         EXPECT_EQ(p.gzip, 1);
         EXPECT_EQ(p.zlib, 0);
       }},
      {"-zlib", {"-zlib"},
       [](const cmd_params& p) {
         EXPECT_EQ(p.compress, 1);
         EXPECT_EQ(p.zlib, 1);
       }},
      {"-threads", {"-threads", "8"}, [](const cmd_params& p) { EXPECT_EQ(p.thread_count, 8u); }},
      {"-threads not a number", {"-threads", "many"}, [](const cmd_params& p) { EXPECT_EQ(p.thread_count, 0u); }},
      {"-zlibex", {"-zlibex", "Level9"},
       [](const cmd_params& p) {
         EXPECT_EQ(p.compress, 1);
         EXPECT_EQ(p.zlibex, 1);
         EXPECT_EQ(p.zlibex_text, "Level9");
       }},
      {"-sqlite_log", {"-sqlite_log", "/tmp/q.log"}, [](const cmd_params& p) { EXPECT_EQ(p.sqlite_log_path, "/tmp/q.log"); }},
      {"-sqlite keeps its value as written", {"-sqlite", "%TELVAR_PARSER_ROOT%/Out.db"},
       [](const cmd_params& p) {
         EXPECT_EQ(p.sqlite_on, 1);
         EXPECT_EQ(p.sqlite_off, 0);
         EXPECT_EQ(p.sqlite_path, "%TELVAR_PARSER_ROOT%/Out.db");
       }},
      {"-signal", {"-signal", "Done Now"}, [](const cmd_params& p) { EXPECT_EQ(p.signal_text, "Done Now"); }},
      {"-hostname", {"-hostname", "Lab-1"},
       [](const cmd_params& p) {
         EXPECT_EQ(p.host_name, "Lab-1");
         EXPECT_EQ(p.host_name_given, 1);
       }},
      {"-split_pathfile", {"-split_pathfile"}, [](const cmd_params& p) { EXPECT_EQ(p.split_pathfile, 1); }},
      {"-username", {"-username", "Ann"},
       [](const cmd_params& p) {
         EXPECT_EQ(p.user_name, "Ann");
         EXPECT_EQ(p.user_name_given, 1);
       }},
      {"-cpuinst", {"-cpuinst", "0x10"}, [](const cmd_params& p) { EXPECT_EQ(p.cpu_instance, 16u); }},
      {"-cpuinst not a number", {"-cpuinst", "none"}, [](const cmd_params& p) { EXPECT_EQ(p.cpu_instance, 0u); }},
      {"-cpu", {"-cpu", "2"}, [](const cmd_params& p) { EXPECT_EQ(p.cpu_number, 2u); }},
      {"-fragment_files", {"-fragment_files", "4"},
       [](const cmd_params& p) {
         EXPECT_EQ(p.fragment_count, 4u);
         EXPECT_EQ(p.separate_files, 1);
       }},
      {"-separate_files", {"-separate_files"}, [](const cmd_params& p) { EXPECT_EQ(p.separate_files, 1); }},
      {"-outdir expanded", {"-outdir", "%TELVAR_PARSER_ROOT%/out"},
       [](const cmd_params& p) {
         EXPECT_EQ(p.outdir_path, "/srv/evidence/out");
         EXPECT_EQ(p.outdir_given, 1);
       }},
      {"-enumdir expanded", {"-enumdir", "%TELVAR_PARSER_ROOT%/in"},
       [](const cmd_params& p) {
         EXPECT_EQ(p.enumdir_path, "/srv/evidence/in");
         EXPECT_EQ(p.enumdir_given, 1);
       }},
      {"-num_subdirs", {"-num_subdirs", "3"}, [](const cmd_params& p) { EXPECT_EQ(p.enumdir_depth, 3u); }},
      {"-num_subdirs in hex", {"-num_subdirs", "0x10"}, [](const cmd_params& p) { EXPECT_EQ(p.enumdir_depth, 16u); }},
      {"-num_subdirs largest", {"-num_subdirs", "4294967295"},
       [](const cmd_params& p) { EXPECT_EQ(p.enumdir_depth, 0xFFFFFFFFu); }},
      {"-profile", {"-profile"}, [](const cmd_params& p) { EXPECT_EQ(p.profile, 1); }},
      {"-pipe", {"-pipe"}, [](const cmd_params& p) { EXPECT_EQ(p.pipe, 1); }},
      {"-base10", {"-base10"}, [](const cmd_params& p) { EXPECT_EQ(p.hex_numbers, 0); }},
      {"-base16 after -base10", {"-base16", "-base10"}, [](const cmd_params& p) { EXPECT_EQ(p.hex_numbers, 1); }},
      {"-csv_separator tab", {"-csv_separator", "TAB"},
       [](const cmd_params& p) {
         EXPECT_EQ(p.separator_text, "\t");
         EXPECT_EQ(p.separator_char, 0);
       }},
      {"-enable_quoted_csv_fields", {"-enable_quoted_csv_fields"},
       [](const cmd_params& p) {
         EXPECT_EQ(p.quoted_fields, 1);
         EXPECT_EQ(p.separator_text, "|");
         EXPECT_EQ(p.spaced_separator, 0);
         EXPECT_EQ(p.separator_char, 0);
         EXPECT_EQ(p.separator_replacement, ';');
       }},
      {"-enable_quoted_csv_fields keeps a TAB text", {"-enable_quoted_csv_fields", "-csv_separator", "\\t"},
       [](const cmd_params& p) { EXPECT_EQ(p.separator_text, "\t"); }},
      {"-no_whitespace", {"-no_whitespace"},
       [](const cmd_params& p) {
         EXPECT_EQ(p.trim_fields, 1);
         EXPECT_EQ(p.spaced_separator, 0);
         EXPECT_EQ(p.separator_text, "|");
         EXPECT_EQ(p.separator_char, '|');
       }},
      {"-verbose", {"-verbose"}, [](const cmd_params& p) { EXPECT_EQ(p.verbose, 1); }},
      {"-v", {"-v"}, [](const cmd_params& p) { EXPECT_EQ(p.verbose, 1); }},
      {"-quiet in capitals", {"-QUIET"}, [](const cmd_params& p) { EXPECT_EQ(p.status_display, 0); }},
      {"unknown options stay", {"-src", "a.csv", "-append", "-l2"}, [](const cmd_params&) {},
       {"-src", "a.csv", "-append", "-l2"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    parsed run = parse(r.options);
    ASSERT_TRUE(run.ok) << run.messages;
    EXPECT_EQ(run.messages, "");
    r.check(*run.params);
    EXPECT_EQ(run.rest, r.rest);
  }
  unsetenv("TELVAR_PARSER_ROOT");
}

// ---- Order: a later row of the table overrides an earlier one, whatever the command line says

TEST(ParseGenericOptions, LaterOptionsOverrideEarlierOnes) {
  struct row {
    const char* name;
    strings options;
    std::function<void(const cmd_params&)> check;
  };
  const row rows[] = {
      {"-xml clears -csvgen", {"-xml", "-csvgen"},
       [](const cmd_params& p) {
         EXPECT_TRUE(only_kind(p, &cmd_params::kind_xml));
         EXPECT_EQ(p.separator_text, "");
         EXPECT_EQ(p.trim_fields, 1);  // set by -csvgen, which no kind clears
       }},
      {"-multiline clears -csv and -bodyfile", {"-multiline", "-bodyfile", "-csv"},
       [](const cmd_params& p) {
         EXPECT_TRUE(only_kind(p, &cmd_params::kind_multiline));
         EXPECT_EQ(p.non_xml_output, 1);
       }},
      {"-bodyfile after -xml sets the column line again", {"-bodyfile", "-xml", "-csvl2t"},
       [](const cmd_params& p) {
         EXPECT_TRUE(only_kind(p, &cmd_params::kind_xml));
         EXPECT_EQ(p.non_xml_output, 0);
       }},
      {"-csv_separator wins over a kind's separator", {"-csv_separator", ";", "-csv"},
       [](const cmd_params& p) {
         EXPECT_TRUE(only_kind(p, &cmd_params::kind_csv));
         EXPECT_EQ(p.separator_text, ";");
         EXPECT_EQ(p.separator_char, 0);
       }},
      {"-enable_quoted_csv_fields clears the separator character again",
       {"-enable_quoted_csv_fields", "-csv_separator", ",", "-bodyfile"},
       [](const cmd_params& p) {
         EXPECT_EQ(p.separator_text, ",");
         EXPECT_EQ(p.separator_char, 0);
         EXPECT_EQ(p.separator_replacement, ' ');
       }},
      {"-no_whitespace after -enable_quoted_csv_fields", {"-no_whitespace", "-enable_quoted_csv_fields", "-csv_separator", " ; "},
       [](const cmd_params& p) {
         EXPECT_EQ(p.separator_text, ";");
         EXPECT_EQ(p.trim_fields, 1);
       }},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    parsed run = parse(r.options);
    ASSERT_TRUE(run.ok) << run.messages;
    r.check(*run.params);
    EXPECT_TRUE(run.rest.empty());
  }
}

TEST(ParseGenericOptions, OnlyTheFirstOccurrenceIsTaken) {
  struct row {
    const char* name;
    strings options;
    std::function<void(const cmd_params&)> check;
    strings rest;
  };
  const row rows[] = {
      {"value option", {"-signal", "first", "-signal", "second"},
       [](const cmd_params& p) { EXPECT_EQ(p.signal_text, "first"); }, {"-signal", "second"}},
      {"flag option", {"-quiet", "-QUIET"}, [](const cmd_params& p) { EXPECT_EQ(p.status_display, 0); }, {"-QUIET"}},
      {"-v is not looked for after -verbose", {"-v", "-verbose"}, [](const cmd_params&) {}, {"-v"}},
      {"-num_subdirs", {"-num_subdirs", "1", "-num_subdirs", "2"},
       [](const cmd_params& p) { EXPECT_EQ(p.enumdir_depth, 1u); }, {"-num_subdirs", "2"}},
      {"-cmd_start_time", {"-cmd_start_time", "2021/03/04", "-cmd_start_time", "2022/01/01"},
       [](const cmd_params& p) { EXPECT_EQ(p.start_filetime, filetime_of_unix(1614816000)); },
       {"-cmd_start_time", "2022/01/01"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    parsed run = parse(r.options);
    ASSERT_TRUE(run.ok) << run.messages;
    r.check(*run.params);
    EXPECT_EQ(run.rest, r.rest);
  }
}

// ---- Filters: every occurrence

TEST(ParseGenericOptions, FilterOptionsTakeEveryOccurrence) {
  parsed run = parse({"-filter", "*.CSV|report*", "-filter_skip", "*.tmp", "-filter", "a.txt"});
  ASSERT_TRUE(run.ok) << run.messages;
  const cmd_params& p = *run.params;
  ASSERT_EQ(p.include_filters.size(), 3u);
  EXPECT_EQ(p.include_filters[0].name_pattern, L".csv");
  EXPECT_EQ(p.include_filters[1].name_pattern, L"report");
  EXPECT_EQ(p.include_filters[2].name_pattern, L"a.txt");
  ASSERT_EQ(p.exclude_filters.size(), 1u);
  EXPECT_EQ(p.exclude_filters[0].name_pattern, L".tmp");
  EXPECT_TRUE(run.rest.empty());
}

TEST(ParseGenericOptions, FilterPathGoesToTheFirstListThatExists) {
  struct row {
    const char* name;
    strings options;
    std::wstring exclude_path;
    std::wstring include_path;
    strings rest;
  };
  const row rows[] = {
      {"exclusion list first", {"-filter", "*.csv", "-filter_path", "/Cases/ONE", "-filter_skip", "*.tmp"},
       L"/cases/one", L"", {}},
      {"only an inclusion list", {"-filter", "*.csv", "-filter_path", "/Cases/Two"}, L"", L"/cases/two", {}},
      {"no list, the folder stays", {"-filter_path", "/x", "-pipe"}, L"", L"", {"-filter_path", "/x"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    parsed run = parse(r.options);
    ASSERT_TRUE(run.ok) << run.messages;
    for (const filename_filter& f : run.params->exclude_filters) {
      EXPECT_EQ(f.filter_path, r.exclude_path);
      EXPECT_EQ(f.filter_path_length, r.exclude_path.size());
    }
    for (const filename_filter& f : run.params->include_filters) {
      EXPECT_EQ(f.filter_path, r.include_path);
      EXPECT_EQ(f.filter_path_length, r.include_path.size());
    }
    EXPECT_EQ(run.rest, r.rest);
  }
  // The length counts the bytes of the UTF-8 text.
  parsed run = parse({"-filter", "*", "-filter_path", "/f\xC3\xA9"});
  ASSERT_EQ(run.params->include_filters.size(), 1u);
  EXPECT_EQ(run.params->include_filters[0].filter_path, L"/f\u00e9");
  EXPECT_EQ(run.params->include_filters[0].filter_path_length, 4u);
}

TEST(ParseGenericOptions, SignatureFilters) {
  struct row {
    const char* name;
    std::string value;
    std::vector<u8> signature;  // empty: no element
    u64 offset;
  };
  const row rows[] = {
      {"bytes, comma, offset", "4d 5a, 0x40", {0x4D, 0x5A}, 64},
      {"bar before the offset", "ff d8 ff|512", {0xFF, 0xD8, 0xFF}, 512},
      {"no offset", "25 50 44 46", {0x25, 0x50, 0x44, 0x46}, 0},
      {"three pieces give offset 0", "4d,1,2", {0x4D}, 0},
      {"not hexadecimal", "zz", {0x00}, 0},
      {"only the low byte", "1ff", {0xFF}, 0},
      {"no byte", " ", {}, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    parsed run = parse({"-filter_sig", r.value});
    ASSERT_TRUE(run.ok) << run.messages;
    const auto& filters = run.params->include_filters;
    if (r.signature.empty()) {
      EXPECT_TRUE(filters.empty());
      continue;
    }
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_EQ(filters[0].signature, r.signature);
    EXPECT_EQ(filters[0].signature_offset, r.offset);
    EXPECT_TRUE(filters[0].name_pattern.empty());
    EXPECT_EQ(filters[0].match_all, 0);
  }
  // Every occurrence, after the name filters.
  parsed run = parse({"-filter_sig", "4d", "-filter", "*.exe", "-filter_sig", "7f 45"});
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.params->include_filters.size(), 3u);
  EXPECT_EQ(run.params->include_filters[0].name_pattern, L".exe");
  EXPECT_EQ(run.params->include_filters[1].signature, std::vector<u8>{0x4D});
  EXPECT_EQ(run.params->include_filters[2].signature, (std::vector<u8>{0x7F, 0x45}));
}

// ---- The results file

class ResultsFile : public ::testing::Test {
 protected:
  temp_folder folder{"telvar_parser"};
  std::string path = folder.file("results.txt");
};

TEST_F(ResultsFile, ExistingFileSurvivesTheParse) {
  for (bool append : {false, true}) {
    SCOPED_TRACE(append ? "with -append" : "without -append");
    folder.put("results.txt", "earlier results\n");
    strings options = {"-out", path};
    if (append) options.push_back("-append");
    parsed run = parse(options);
    ASSERT_TRUE(run.ok) << run.messages;
    EXPECT_EQ(run.params->out_path, path);
    EXPECT_EQ(run.params->out_given, 1);
    EXPECT_EQ(folder.get("results.txt"), "earlier results\n");
    // "-append" is left for main.
    EXPECT_EQ(run.rest, append ? strings{"-append"} : strings{});
  }
}

TEST_F(ResultsFile, MissingFileIsCreatedOnlyForAppend) {
  parsed plain = parse({"-out", path});
  ASSERT_TRUE(plain.ok) << plain.messages;
  EXPECT_FALSE(std::filesystem::exists(path));

  parsed appended = parse({"-APPEND", "-outfile", path});
  ASSERT_TRUE(appended.ok) << appended.messages;
  ASSERT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST_F(ResultsFile, DanglingLinkStaysALink) {
  const std::string link = folder.file("link.txt");
  std::filesystem::create_symlink(folder.file("target.txt"), link);
  parsed run = parse({"-out", link});
  ASSERT_TRUE(run.ok) << run.messages;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
}

TEST_F(ResultsFile, PathIsExpandedAndSlashesTurned) {
  setenv("TELVAR_PARSER_OUT", folder.path().c_str(), 1);
  parsed run = parse({"-out", "%TELVAR_PARSER_OUT%\\r.txt"});
  unsetenv("TELVAR_PARSER_OUT");
  ASSERT_TRUE(run.ok) << run.messages;
  EXPECT_EQ(run.params->out_path, folder.file("r.txt"));
}

TEST_F(ResultsFile, UnwritablePathEndsParsing) {
  const std::string missing = folder.file("no/such/dir/r.txt");
  parsed run = parse({"-out", missing, "-outdir", "/o", "-quiet"});
  EXPECT_FALSE(run.ok);
  EXPECT_EQ(run.messages, "prob opening file " + missing + " for output, aborting\n");
  // The options after "-out" in the table are not consumed.
  EXPECT_EQ(run.rest, (strings{"-outdir", "/o", "-quiet"}));
  EXPECT_EQ(run.params->status_display, 1);

  // An existing file that cannot be opened as it is is never emptied to get it open.
  if (geteuid() != 0) {
    folder.put("locked.txt", "keep");
    chmod(folder.file("locked.txt").c_str(), 0444);
    parsed locked = parse({"-out", folder.file("locked.txt")});
    EXPECT_FALSE(locked.ok);
    EXPECT_EQ(folder.get("locked.txt"), "keep");
  }
}

// ---- "-diags"

TEST(ParseGenericOptions, DiagsLogStartsWithTheArgumentLine) {
  temp_folder folder("telvar_parser");
  const std::string log = folder.file("run.log");
  struct row {
    const char* name;
    strings options;
    u32 level;
    strings rest;
  };
  const row rows[] = {
      {"no level", {"-diags", log, "-zz"}, 0, {"-zz"}},
      {"-l2", {"-l3", "-diags", log, "-l2"}, 2, {"-l3"}},
      {"-l3", {"-diags", log, "-L3"}, 3, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    folder.put("run.log", "old log\n");
    parsed run = parse(r.options);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.params->diags_on, 1);
    EXPECT_EQ(run.params->diags_path, log);
    EXPECT_EQ(run.params->diags_level, r.level);
    EXPECT_EQ(run.rest, r.rest);
    std::string line = std::string(program_path);
    for (const std::string& o : r.options) line += " " + o;
    EXPECT_EQ(folder.get("run.log"), "->" + line + "\n");
  }
  // A log that cannot be made: no message, no log, and the levels stay.
  parsed failed = parse({"-diags", folder.file("none/run.log"), "-l2"});
  ASSERT_TRUE(failed.ok);
  EXPECT_EQ(failed.messages, "");
  EXPECT_EQ(failed.params->diags_on, 0);
  EXPECT_EQ(failed.params->diags_path, "");
  EXPECT_EQ(failed.rest, strings{"-l2"});
}

// ---- Start/stop window

TEST(ParseGenericOptions, StartStopWindow) {
  const u64 all = ~u64(0);
  struct row {
    const char* name;
    strings options;
    u8 start_set;
    u64 start_filetime;
    u32 start_unix;
    u8 stop_set;
    u64 stop_filetime;
    u32 stop_unix;
    std::string messages;
  };
  const row rows[] = {
      {"start alone leaves the stop open", {"-cmd_start_time", "2021/03/04"},
       1, filetime_of_unix(1614816000), 1614816000, 1, all, 0xFFFFFFFF, ""},
      {"stop date ends at 23:59:59", {"-cmd_start_time", "2021/03/04", "-cmd_stop_time", "2021-03-05"},
       1, filetime_of_unix(1614816000), 1614816000, 1, filetime_of_unix(1614988799), 1614988799, ""},
      {"stop with a time", {"-cmd_stop_time", "2021-03-05 12:00:00", "-cmd_start_time", "2021/03/04 06:30:00"},
       1, filetime_of_unix(1614839400), 1614839400, 1, filetime_of_unix(1614945600), 1614945600, ""},
      {"stop alone", {"-cmd_stop_time", "2021/03/05"},
       0, 0, 0, 1, filetime_of_unix(1614988799), 1614988799, ""},
      {"stop before start", {"-cmd_start_time", "2021/03/04", "-cmd_stop_time", "2021/03/03"},
       1, filetime_of_unix(1614816000), 1614816000, 0, 0, 0, "invalid stop time, ignoring\n"},
      {"start that is no day", {"-cmd_start_time", "2021/02/30", "-cmd_stop_time", "2021/03/05"},
       0, 0, 0, 1, filetime_of_unix(1614988799), 1614988799, "invalid start time, ignoring\n"},
      {"start before 1900", {"-cmd_start_time", "1850/01/01"},
       0, 0, 0, 0, 0, 0, "invalid start time, ignoring\n"},
      {"stop time that is no time", {"-cmd_stop_time", "2021/03/05 25:00:00"},
       0, 0, 0, 0, 0, 0, "invalid stop time, ignoring\n"},
      // Unix seconds are held within 32 bits instead of wrapping around.
      {"start before 1970 counts from 0", {"-cmd_start_time", "1960-01-01"},
       1, filetime_of_unix(-315619200), 0, 1, all, 0xFFFFFFFF, ""},
      {"stop after 2106 is the largest", {"-cmd_stop_time", "2200-01-01 00:00:00"},
       0, 0, 0, 1, filetime_of_unix(7258118400), 0xFFFFFFFF, ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    parsed run = parse(r.options);
    ASSERT_TRUE(run.ok);
    const cmd_params& p = *run.params;
    EXPECT_EQ(p.start_set, r.start_set);
    EXPECT_EQ(p.start_filetime, r.start_filetime);
    EXPECT_EQ(p.start_unix, r.start_unix);
    EXPECT_EQ(p.stop_set, r.stop_set);
    EXPECT_EQ(p.stop_filetime, r.stop_filetime);
    EXPECT_EQ(p.stop_unix, r.stop_unix);
    EXPECT_EQ(run.messages, r.messages);
    EXPECT_TRUE(run.rest.empty());
  }
}

// ---- Date and time formats

TEST(ParseGenericOptions, DateAndTimeFormats) {
  struct row {
    const char* name;
    strings options;
    std::string date_format;
    std::string time_format;
    std::string messages;
  };
  const row rows[] = {
      {"short date", {"-dateformat", "MM/DD/YY"}, "mm/dd/yy", "hh:mm:ss.xxx", ""},
      {"day first", {"-dateformat", "DD-MM-YYYY"}, "dd-mm-yyyy", "hh:mm:ss.xxx", ""},
      {"date too short", {"-dateformat", "yyyy"}, "yyyy-mm-dd", "hh:mm:ss.xxx",
       "invalid yyyy, using default format\n"},
      // Packed without an order, such a pattern would print every date empty.
      {"date without day, month and year", {"-dateformat", "abcdefgh"}, "yyyy-mm-dd", "hh:mm:ss.xxx",
       "invalid abcdefgh, using default format\n"},
      {"date in an unknown order", {"-dateformat", "yyyy/dd/mm"}, "yyyy-mm-dd", "hh:mm:ss.xxx",
       "invalid yyyy/dd/mm, using default format\n"},
      {"time in capitals", {"-timeformat", "HH:MM:SS"}, "yyyy-mm-dd", "hh:mm:ss", ""},
      {"time with microseconds", {"-timeformat", "hh:mm:ss.xxxxxx"}, "yyyy-mm-dd", "hh:mm:ss.xxxxxx", ""},
      {"time without ':'", {"-timeformat", "hhmmssxx"}, "yyyy-mm-dd", "hh:mm:ss.xxx",
       "invalid hhmmssxx, using default format\n"},
      {"time of 10 characters", {"-timeformat", "hh:mm:ss.x"}, "yyyy-mm-dd", "hh:mm:ss.xxx",
       "invalid hh:mm:ss.x, using default format\n"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    parsed run = parse(r.options);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.params->date_format, r.date_format);
    EXPECT_EQ(run.params->time_format, r.time_format);
    EXPECT_EQ(run.messages, r.messages);
  }
}

TEST(ParseGenericOptions, PackedFormatIsBuiltAtTheEnd) {
  parsed defaults = parse({});
  EXPECT_EQ(defaults.params->time_spec.flags, u32('-') + 0x200 + 0x400 + 0x8000 + (3u << 17));

  parsed given = parse({"-timeformat", "hh:mm:ss", "-pair_datetime", "-dateformat", "mm/dd/yyyy"});
  ASSERT_TRUE(given.ok);
  EXPECT_EQ(given.params->time_spec.flags, u32('/') + 0x200 + 0x400 + 0x4000 + 0x10000);
  EXPECT_EQ(given.params->time_spec.min_year, 1900);
  EXPECT_EQ(given.params->time_spec.max_year, 2600);
}

// ---- Refusals

TEST(ParseGenericOptions, RefusalsStopParsing) {
  struct row {
    const char* name;
    strings options;
    std::string messages;
    strings rest;
  };
  const row rows[] = {
      {"-alias empty", {"-alias", "", "-gzip"}, "imbalanced alias to true pathfiles, aborting\n", {"-gzip"}},
      {"-alias odd", {"-alias", "a|b|c", "-gzip"}, "imbalanced alias to true pathfiles, aborting\n", {"-gzip"}},
      {"-aliaspath odd", {"-aliaspath", "a| |b|c", "-gzip"}, "imbalanced alias to true pathfiles, aborting\n",
       {"-gzip"}},
      {"start without a date", {"-cmd_start_time", " 12:00:00", "-quiet"}, "", {"-quiet"}},
      {"start without a separator", {"-cmd_start_time", "20210304", "-quiet"}, "", {"-quiet"}},
      {"stop without a separator", {"-cmd_stop_time", "20210304", "-quiet"}, "", {"-quiet"}},
      // Values that would wrap or read as another number are refused, not bent.
      {"-num_subdirs negative", {"-num_subdirs", "-1", "-pipe"}, "prob invalid -num_subdirs value -1, aborting\n",
       {"-pipe"}},
      {"-num_subdirs beyond 32 bits", {"-num_subdirs", "4294967296"},
       "prob invalid -num_subdirs value 4294967296, aborting\n", {}},
      {"-num_subdirs not a number", {"-num_subdirs", "all"}, "prob invalid -num_subdirs value all, aborting\n", {}},
      {"-num_subdirs with trailing text", {"-num_subdirs", "3x"}, "prob invalid -num_subdirs value 3x, aborting\n",
       {}},
      {"-filter_sig offset beyond 64 bits", {"-filter_sig", "4d 5a,18446744073709551616"},
       "prob invalid -filter_sig offset 18446744073709551616, aborting\n", {}},
      {"-filter_sig offset not a number", {"-filter_sig", "4d|end"}, "prob invalid -filter_sig offset end, aborting\n",
       {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    parsed run = parse(r.options);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.messages, r.messages);
    EXPECT_EQ(run.rest, r.rest);
  }
}

// An option whose value is missing would silently drop what the user asked for: every
// value-taking option refuses the run when it stands last.
TEST(ParseGenericOptions, ValueOptionInLastPlaceIsRefused) {
  const char* const value_options[] = {
      "-diags",        "-alias",      "-aliaspath",      "-threads",   "-zlibex",       "-sqlite_log",
      "-sqlite",       "-signal",     "-hostname",       "-username",  "-cpuinst",      "-cpu",
      "-fragment_files", "-out",      "-outfile",        "-outdir",    "-enumdir",      "-num_subdirs",
      "-filter_skip",  "-filter",     "-filter_sig",     "-cmd_start_time", "-cmd_stop_time",
      "-csv_separator", "-dateformat", "-timeformat",
  };
  for (const char* option : value_options) {
    SCOPED_TRACE(option);
    parsed run = parse({option});
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.messages, std::string("prob missing value for ") + option + ", aborting\n");
    EXPECT_EQ(run.rest, strings{option});
  }
  // Later occurrences of the every-occurrence options, and "-filter_path" once a list exists.
  parsed second = parse({"-filter", "*.csv", "-filter"});
  EXPECT_FALSE(second.ok);
  EXPECT_EQ(second.messages, "prob missing value for -filter, aborting\n");
  parsed folder = parse({"-filter_skip", "*.tmp", "-filter_path"});
  EXPECT_FALSE(folder.ok);
  EXPECT_EQ(folder.messages, "prob missing value for -filter_path, aborting\n");
}

// ---- Host version and numbers

TEST(ParseGenericOptions, HostVersionComesFromTheSystem) {
  parsed run = parse({});
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.params->os_version, qz_platform::os_release_version());
}

TEST(SetOsVersion, SplitsTheVersionText) {
  struct row {
    const char* name;
    std::string version;
    std::string text;
    u32 major, minor, patch;
  };
  // Fields start at 7, 8, 9 so that untouched ones show.
  const row rows[] = {
      {"three numbers", "14.2.1", "14.2.1", 14, 2, 1},
      {"two numbers", "22.04", "22.04", 22, 4, 9},
      {"one number", "12", "12", 12, 8, 9},
      {"four numbers", "1.2.3.4", "1.2.3.4", 1, 2, 3},
      {"empty", "", "was", 7, 8, 9},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    cmd_params params(0, false);
    params.os_version = "was";
    params.os_major = 7;
    params.os_minor = 8;
    params.os_patch = 9;
    set_os_version(params, r.version);
    EXPECT_EQ(params.os_version, r.text);
    EXPECT_EQ(params.os_major, r.major);
    EXPECT_EQ(params.os_minor, r.minor);
    EXPECT_EQ(params.os_patch, r.patch);
  }
}

TEST(ReadOptionNumber, PlainNumbersWithinTheLimit) {
  struct row {
    const char* text;
    u64 max;
    bool ok;
    u64 value;
  };
  const row rows[] = {
      {"0", 10, true, 0},          {" 10 ", 10, true, 10},       {"11", 10, false, 0},
      {"0x1F", 100, true, 31},     {"0X", 100, false, 0},        {"", 100, false, 0},
      {"-1", 100, false, 0},       {"+1", 100, false, 0},        {"1 2", 100, false, 0},
      {"18446744073709551615", ~u64(0), true, ~u64(0)},          {"18446744073709551616", ~u64(0), false, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    u64 value = 0;
    EXPECT_EQ(read_option_number(r.text, r.max, value), r.ok);
    EXPECT_EQ(value, r.value);
  }
}

}  // namespace
