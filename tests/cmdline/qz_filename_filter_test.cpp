#include "framework/cmdline/qz_filename_filter.h"

#include <gtest/gtest.h>
#include <sys/time.h>

#include <string>
#include <vector>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/io/qz_file_stats.h"
#include "tests/text/temp_folder.h"

namespace {

std::vector<filename_filter> parse(std::string spec) {
  std::vector<filename_filter> filters;
  parse_filename_filters(filters, spec);
  return filters;
}

// The flags of an element as one text, so a table row can name them: d dir filter, m match
// all, < name lead star, > name trail star, s has stream, a stream any, [ stream lead star,
// ] stream trail star.
std::string flags_of(const filename_filter& f) {
  std::string out;
  if (f.is_dir_filter) out += 'd';
  if (f.match_all) out += 'm';
  if (f.name_lead_star) out += '<';
  if (f.name_trail_star) out += '>';
  if (f.has_stream) out += 's';
  if (f.stream_any) out += 'a';
  if (f.stream_lead_star) out += '[';
  if (f.stream_trail_star) out += ']';
  return out;
}

struct expected_element {
  std::wstring item;
  std::wstring name;
  std::wstring stream;
  std::string flags;
};

TEST(FilenameFilterRecord, ClearedAndCopiedElementsOwnTheirFields) {
  filename_filter element;
  EXPECT_EQ(element.filter_path_length, 0u);
  EXPECT_TRUE(element.item.empty() && element.name_pattern.empty() &&
              element.stream_pattern.empty() && element.filter_path.empty());
  EXPECT_TRUE(element.signature.empty());
  EXPECT_EQ(element.signature_offset, 0u);
  EXPECT_EQ(flags_of(element), "");

  element.signature = {0x4d, 0x5a};
  element.signature_offset = 64;
  element.name_pattern = L"x";
  element.match_all = 1;
  filename_filter copy = element;
  copy.signature[0] = 0;
  EXPECT_EQ(element.signature[0], 0x4d);
  EXPECT_EQ(copy.signature_offset, 64u);
  EXPECT_EQ(copy.name_pattern, L"x");

  const size_t capacity = element.signature.capacity();
  element.clear();
  EXPECT_TRUE(element.signature.empty());
  EXPECT_EQ(element.signature.capacity(), capacity);
  EXPECT_EQ(element.signature_offset, 0u);
  EXPECT_TRUE(element.name_pattern.empty());
  EXPECT_EQ(flags_of(element), "");
}

TEST(ParseFilenameFilters, BuildsOneElementPerItem) {
  struct row {
    const char* name;
    std::string spec;
    std::vector<expected_element> elements;
  };
  const row rows[] = {
      {"suffix", "*.TXT", {{L"*.txt", L".txt", L"", "<"}}},
      {"contains", "*report*", {{L"*report*", L"report", L"", "<>"}}},
      {"prefix", "report*", {{L"report*", L"report", L"", ">"}}},
      {"exact", "Report.csv", {{L"report.csv", L"report.csv", L"", ""}}},
      {"inner star dropped", "a*b", {{L"a*b", L"ab", L"", ""}}},
      {"inner and last star", "a*b*", {{L"a*b*", L"ab", L"", ">"}}},
      {"doubled lead star", "**a", {{L"**a", L"a", L"", "<"}}},
      {"comma items trimmed",
       "a.csv, b.csv",
       {{L"a.csv", L"a.csv", L"", ""}, {L"b.csv", L"b.csv", L"", ""}}},
      {"bar items", "*.a|*.b", {{L"*.a", L".a", L"", "<"}, {L"*.b", L".b", L"", "<"}}},
      {"comma wins over bar", "a|b,c", {{L"a|b", L"a|b", L"", ""}, {L"c", L"c", L"", ""}}},
      {"single item keeps blanks", " a.csv ", {{L" a.csv ", L" a.csv ", L"", ""}}},
      {"only empty pieces", ",,", {{L",,", L",,", L"", ""}}},
      {"match all cuts the list", "*.csv|*|*.txt", {{L"*", L"*", L"", "m"}}},
      {"folder filter", "*/tmp*", {{L"*/tmp*", L"/tmp", L"", "d<>"}}},
      {"folder with inner star", "/tmp/*.txt", {{L"/tmp/*.txt", L"/tmp/.txt", L"", "d"}}},
      {"stream after first colon", "a:b:c", {{L"a:b:c", L"a", L"b:c", "s"}}},
      {"stream any", "x.txt:*", {{L"x.txt:*", L"x.txt", L"*", "sa"}}},
      {"stream stars", "*.txt:*zone", {{L"*.txt:*zone", L".txt", L"zone", "<s["}}},
      {"any name with stream", "*:zone*", {{L"*:zone*", L"*", L"zone", "ms]"}}},
      {"empty text", "", {{L"", L"", L"", ""}}},
      {"malformed utf-8", "a\xff.csv", {{L"", L"", L"", ""}}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<filename_filter> filters = parse(r.spec);
    ASSERT_EQ(filters.size(), r.elements.size());
    for (size_t i = 0; i < filters.size(); ++i) {
      EXPECT_EQ(filters[i].item, r.elements[i].item) << i;
      EXPECT_EQ(filters[i].name_pattern, r.elements[i].name) << i;
      EXPECT_EQ(filters[i].stream_pattern, r.elements[i].stream) << i;
      EXPECT_EQ(flags_of(filters[i]), r.elements[i].flags) << i;
    }
  }
}

TEST(ParseFilenameFilters, LowerCasesTheCallersTextAndReplacesTheList) {
  std::vector<filename_filter> filters = parse("a,b,c");
  std::string spec = "*.CSV";
  ASSERT_TRUE(parse_filename_filters(filters, spec));
  EXPECT_EQ(spec, "*.csv");
  EXPECT_EQ(filters.size(), 1u);
}

TEST(ParseFilenameFilters, FolderGoesToEveryElementButAnyNameWithStream) {
  std::vector<filename_filter> filters;
  std::string spec = "*.csv|*:zone|/tmp";
  std::string folder = "/Cases";
  ASSERT_TRUE(parse_filename_filters_with_path(filters, spec, folder));
  EXPECT_EQ(folder, "/cases");
  ASSERT_EQ(filters.size(), 3u);
  EXPECT_EQ(filters[0].filter_path, L"/cases");
  EXPECT_EQ(filters[0].filter_path_length, 6u);
  EXPECT_TRUE(filters[1].filter_path.empty());
  EXPECT_EQ(filters[1].filter_path_length, 0u);
  EXPECT_EQ(filters[2].filter_path, L"/cases");

  spec = "*";
  folder = "/x";
  ASSERT_TRUE(parse_filename_filters_with_path(filters, spec, folder));
  ASSERT_EQ(filters.size(), 1u);
  EXPECT_EQ(filters[0].filter_path, L"/x");
}

struct match_row {
  const char* name;
  std::string spec;  // "" with empty_list: no filters at all
  std::wstring path;
  bool stream_mode;
  bool expected;
};

void check_matches(const std::vector<match_row>& rows, bool empty_list = false) {
  for (const match_row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<filename_filter> filters;
    if (!empty_list) filters = parse(r.spec);
    bool open_failed = true;
    EXPECT_EQ(filename_passes_default_filters(&open_failed, r.path, filters, r.stream_mode),
              r.expected);
  }
}

TEST(FilenamePassesFilters, NamePatterns) {
  check_matches({
      {"suffix", "*.txt", L"/d/a.txt", false, true},
      {"suffix upper-case name", "*.txt", L"/d/B.TXT", false, true},
      {"suffix not at end", "*.txt", L"/d/a.txt.bak", false, false},
      {"suffix doubled", "*.txt", L"/d/a.txt.txt", false, true},
      {"contains", "*report*", L"/d/old_Report_2.csv", false, true},
      {"contains missing", "*report*", L"/d/old.csv", false, false},
      {"prefix", "report*", L"/d/report_1.csv", false, true},
      {"prefix elsewhere", "report*", L"/d/a_report.csv", false, false},
      {"exact any case", "report.csv", L"/d/REPORT.CSV", false, true},
      {"exact differs", "report.csv", L"/d/report.csv.1", false, false},
      {"exact folder not part of name", "report.csv", L"/report.csv/x", false, false},
      {"inner star matches only without it", "a*b", L"/d/ab", false, true},
      {"inner star matches nothing", "a*b", L"/d/axb", false, false},
      {"second item", "*.a|*.b", L"/d/x.b", false, true},
      {"untrimmed single item", " a.csv ", L"/d/a.csv", false, false},
      {"match all", "*.csv|*", L"/d/anything", false, true},
      {"backslash path", "*.csv", L"c:\\d\\x.CSV", false, true},
      {"empty pattern passes nothing", "", L"/d/x", false, false},
      {"malformed item passes nothing", "\xff", L"/d/x", false, false},
  });
}

TEST(FilenamePassesFilters, FolderFilters) {
  check_matches({
      {"folder ends with pattern", "*/tmp*", L"/private/tmp/x.csv", false, true},
      {"pattern then separator", "*/tmp*", L"/tmp/sub/x.csv", false, true},
      {"pattern inside a folder name", "*/tmp*", L"/tmpfiles/x.csv", false, false},
      {"only first occurrence counts", "/tmp", L"/a/tmp2/b/tmp/x.csv", false, false},
      {"folder any case", "/tmp", L"/TMP/x.csv", false, true},
      {"backslash folder", "/tmp", L"c:\\tmp\\x.csv", false, true},
      {"inner star kept out", "/tmp/*.txt", L"/tmp/.txt/x", false, true},
  });
}

// "-filter_path": an element restricted to a folder passes only names in it (or below it),
// whatever else it would pass; the other elements of the list are not restricted.
TEST(FilenamePassesFilters, FolderRestriction) {
  struct row {
    const char* name;
    std::string spec;
    std::string folder;
    std::wstring path;
    bool expected;
  };
  const row rows[] = {
      {"name in the folder", "*.csv", "/Cases/One", L"/cases/one/x.csv", true},
      {"name below the folder", "*.csv", "/cases/one", L"/cases/one/sub/x.csv", true},
      {"folder any case, deeper root", "*.csv", "/cases/one", L"/mnt/CASES/One/x.CSV", true},
      {"name outside the folder", "*.csv", "/cases/one", L"/cases/two/x.csv", false},
      {"folder name only begins alike", "*.csv", "/cases/one", L"/cases/one-old/x.csv", false},
      {"restriction with trailing slash", "*.csv", "/cases/one/", L"/cases/one/x.csv", true},
      {"backslash path", "*.csv", "/cases/one", L"d:\\cases\\one\\x.csv", true},
      {"name test still applies", "*.csv", "/cases/one", L"/cases/one/x.txt", false},
      {"match-all element restricted", "*", "/cases/one", L"/cases/two/x.csv", false},
      {"match-all element inside", "*", "/cases/one", L"/cases/one/x.csv", true},
      {"folder filter restricted", "/evidence", "/cases/one", L"/cases/two/evidence/x.csv", false},
      {"relative name, relative folder", "*.csv", "in/sub", L"in/sub/x.csv", true},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<filename_filter> filters;
    std::string spec = r.spec;
    std::string folder = r.folder;
    ASSERT_TRUE(parse_filename_filters_with_path(filters, spec, folder));
    bool open_failed = true;
    EXPECT_EQ(filename_passes_default_filters(&open_failed, r.path, filters, false), r.expected);
  }
  // Only the element that carries a restriction is held to it.
  std::vector<filename_filter> mixed = parse("*.csv|*.txt");
  mixed[0].filter_path = L"/cases/one";
  mixed[0].filter_path_length = 10;
  bool open_failed = false;
  EXPECT_FALSE(filename_passes_default_filters(&open_failed, L"/other/x.csv", mixed, false));
  EXPECT_TRUE(filename_passes_default_filters(&open_failed, L"/other/x.txt", mixed, false));
}

TEST(FilenamePassesFilters, StreamParts) {
  check_matches({
      {"stream element passes stream", "*:zone*|*.csv", L"/d/a.txt:Zone.Identifier", true, true},
      {"plain name passes neither", "*:zone*|*.csv", L"/d/a.txt", true, false},
      {"plain element passes plain name", "*:zone*|*.csv", L"/d/a.csv", true, true},
      {"plain element skips stream", "*.csv", L"/d/a.csv:x", true, false},
      {"single match-all item", "*:zone*", L"/d/a.txt", true, true},
      {"any stream, no stream", "x.txt:*", L"/d/x.txt", true, true},
      {"any stream, some stream", "x.txt:*", L"/d/x.txt:any", true, true},
      {"exact stream", "x.txt:data", L"/d/x.txt:data", true, true},
      {"exact stream differs", "x.txt:data", L"/d/x.txt:data2", true, false},
      {"stream suffix", "a:*zone", L"/d/a:ozone", true, true},
      {"stream off: colon is part of the name", "*.csv", L"/d/a.csv:x", false, false},
      {"stream off: stream element tests its name", "x.txt:data", L"/d/x.txt", false, true},
  });
}

TEST(FilenamePassesFilters, EmptyPathAndEmptyList) {
  const std::vector<filename_filter> none;
  bool open_failed = true;
  EXPECT_FALSE(filename_passes_default_filters(&open_failed, L"", none, false));
  EXPECT_FALSE(filename_passes_default_filters(&open_failed, L"", parse("*"), false));
  EXPECT_TRUE(open_failed);
  EXPECT_TRUE(filename_passes_default_filters(&open_failed, L"/d/x", none, false));
  EXPECT_TRUE(open_failed);

  cmd_params params(0, false);
  EXPECT_FALSE(filename_passes_filters(&params, &open_failed, L"", none, nullptr, false));
  EXPECT_TRUE(open_failed);
  EXPECT_TRUE(filename_passes_filters(&params, &open_failed, L"/d/x", none, nullptr, false));
  EXPECT_FALSE(open_failed);
}

class FilterFilesTest : public ::testing::Test {
 protected:
  std::string make_file(const std::string& name, const std::string& bytes) {
    folder_.put(name, bytes);
    return folder_.file(name);
  }
  static std::wstring wide(const std::string& path) { return std::wstring(path.begin(), path.end()); }

  temp_folder folder_{"qz_filter"};
};

filename_filter signature_element(std::vector<u8> bytes, u64 offset) {
  filename_filter element;
  element.signature = std::move(bytes);
  element.signature_offset = offset;
  return element;
}

TEST_F(FilterFilesTest, SignaturesAreReadOnlyWithinTheFile) {
  const std::wstring path = wide(make_file("image.bin", std::string("MZ\x90\x00PE", 6)));
  struct row {
    const char* name;
    std::vector<u8> signature;
    u64 offset;
    bool expected;
  };
  const row rows[] = {
      {"at start", {0x4d, 0x5a}, 0, true},
      {"inside", {'P', 'E'}, 4, true},
      {"different bytes", {0x4d, 0x5b}, 0, false},
      {"ends at the end", {'E'}, 5, true},
      {"runs past the end", {'E', 0}, 5, false},
      {"offset at the end", {'E'}, 6, false},
      {"offset beyond the end", {'E'}, 600, false},
      {"offset that wraps the sum", {'M', 'Z'}, ~u64(0), false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<filename_filter> filters = {signature_element(r.signature, r.offset)};
    bool open_failed = true;
    EXPECT_EQ(filename_passes_default_filters(&open_failed, path, filters, false), r.expected);
    EXPECT_FALSE(open_failed);
  }
}

TEST_F(FilterFilesTest, SignatureElementsFollowNameElements) {
  const std::wstring path = wide(make_file("Data.BIN", "SQLite format 3"));
  std::vector<filename_filter> filters = parse("*.txt|data.bin");
  bool open_failed = true;
  EXPECT_TRUE(filename_passes_default_filters(&open_failed, path, filters, false));

  filters = parse("*.txt");
  filters.push_back(signature_element({'S', 'Q', 'L'}, 0));
  EXPECT_TRUE(filename_passes_default_filters(&open_failed, path, filters, false));
  EXPECT_FALSE(filename_passes_default_filters(&open_failed, wide(folder_.file("other.txt2")),
                                               filters, false));
  // A file that cannot be opened is reported, so that walks can keep it.
  EXPECT_TRUE(open_failed);
}

TEST(FilenamePassesFilters, TimeWindowOnGivenStats) {
  cmd_params params(0, false);
  params.start_set = 1;
  params.start_unix = 1000;
  params.start_filetime = 5000;
  params.stop_set = 1;
  params.stop_unix = 2000;
  params.stop_filetime = 9000;
  struct row {
    const char* name;
    u64 kind, modified, created;
    bool start_set, stop_set;
    bool expected;
  };
  const row rows[] = {
      {"inside", 8, 1500, 1500, true, true, true},
      {"both before the start", 8, 999, 999, true, true, false},
      {"created before, modified after the start", 8, 1500, 10, true, true, true},
      {"modified before, created at the start", 8, 10, 1000, true, true, true},
      {"created after the stop", 8, 1500, 2001, true, true, false},
      {"modified after the stop", 8, 2001, 1500, true, true, false},
      {"at the stop", 8, 2000, 2000, true, true, true},
      {"no created time", 8, 1500, 0, true, true, true},
      {"filetime kind", 1, 6000, 6000, true, true, true},
      {"filetime kind before", 1, 4000, 4000, true, true, false},
      {"millisecond kind", 16, 1500, 1500, true, true, false},
      {"no kind", 0, 1500, 1500, true, true, false},
      {"start only", 8, 1u << 31, 1u << 31, true, false, true},
      {"stop only", 8, 10, 10, false, true, true},
      {"no window, millisecond kind", 16, 1, 1, false, false, true},
  };
  std::vector<filename_filter> any;
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    params.start_set = r.start_set;
    params.stop_set = r.stop_set;
    file_stats stats;
    stats.time_kind = r.kind;
    stats.modified = r.modified;
    stats.created = r.created;
    bool open_failed = true;
    // The path need not exist: stats with a modified time are used as they are.
    EXPECT_EQ(filename_passes_filters(&params, &open_failed, L"/none/x.csv", any, &stats, false),
              r.expected);
    // Without stats there is no window.
    EXPECT_TRUE(filename_passes_filters(&params, &open_failed, L"/none/x.csv", any, nullptr,
                                        false));
  }
}

TEST_F(FilterFilesTest, TimeWindowReadsTheFileWhenStatsAreEmpty) {
  const std::string path = make_file("old.csv", "x");
  const timeval times[2] = {{1000000, 0}, {1000000, 0}};
  ASSERT_EQ(utimes(path.c_str(), times), 0);

  cmd_params params(0, false);
  params.start_set = 1;
  params.start_unix = 999999;
  params.stop_set = 1;
  params.stop_unix = ~u32(0);
  const std::vector<filename_filter> any;
  bool open_failed = true;
  file_stats stats;
  EXPECT_TRUE(filename_passes_filters(&params, &open_failed, wide(path), any, &stats, false));
  EXPECT_EQ(stats.modified, 1000000u);

  params.start_unix = 1000001;
  stats.modified = 0;
  // Modified before the start; the birth time is now, or 0 where none is kept.
  const bool born_late = [&] {
    file_stats own;
    return get_file_stats(own, wide(path)) && own.created >= 1000001;
  }();
  EXPECT_EQ(filename_passes_filters(&params, &open_failed, wide(path), any, &stats, false),
            born_late);
  params.stop_unix = 1000001;
  stats.modified = 0;
  EXPECT_EQ(filename_passes_filters(&params, &open_failed, wide(path), any, &stats, false),
            false);

  stats.modified = 0;
  EXPECT_FALSE(filename_passes_filters(&params, &open_failed, wide(folder_.file("missing")), any, &stats,
                                       false));
}

TEST(FilenamePassesFilters, NarrowForm) {
  cmd_params params(0, false);
  params.start_set = 1;
  params.start_unix = 2000;
  file_stats stats;
  stats.time_kind = 8;
  stats.modified = 10;
  bool open_failed = true;
  const std::vector<filename_filter> none;
  EXPECT_FALSE(filename_passes_filters_narrow(&params, &open_failed, "", none, &stats, false));
  // An empty list passes at once: the window is not applied.
  EXPECT_TRUE(filename_passes_filters_narrow(&params, &open_failed, "/d/x.csv", none, &stats,
                                             false));
  const std::vector<filename_filter> csv = parse("*.csv");
  EXPECT_FALSE(filename_passes_filters_narrow(&params, &open_failed, "/d/x.csv", csv, &stats,
                                              false));
  params.start_set = 0;
  EXPECT_TRUE(filename_passes_filters_narrow(&params, &open_failed, "/d/\xc3\xa9.csv", csv,
                                             &stats, false));
  EXPECT_FALSE(filename_passes_filters_narrow(&params, &open_failed, "/d/\xff.csv", csv, &stats,
                                              false));
}

TEST(FilenamePassesFiltersInFolder, NameTestsWithFolderRestriction) {
  std::vector<filename_filter> filters;
  std::string spec = "*.csv|report*";
  std::string folder = "/Cases";
  parse_filename_filters_with_path(filters, spec, folder);
  cmd_params params(0, false);
  struct row {
    const char* name;
    std::wstring folder;
    std::wstring file;
    bool expected;
  };
  const row rows[] = {
      {"inside the folder", L"/data/CASES/1", L"x.CSV", true},
      {"outside the folder", L"/data/other", L"x.csv", false},
      {"second element", L"/cases", L"report.txt", true},
      {"no match", L"/cases", L"x.txt", false},
      {"empty name", L"/cases", L"", false},
      {"empty folder: name as path", L"", L"/cases/x.csv", true},
      {"empty folder: the path's folder restricted", L"", L"/a/x.csv", false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    bool open_failed = true;
    EXPECT_EQ(filename_passes_filters_in_folder(&params, &open_failed, r.folder, r.file, filters,
                                                nullptr, false),
              r.expected);
  }
}

TEST(SplitWstring, TrimAndKeepEmpty) {
  struct row {
    const char* name;
    std::wstring text;
    bool trim, keep_empty;
    std::vector<std::wstring> expected;
  };
  const row rows[] = {
      {"plain", L"a,b", false, false, {L"a", L"b"}},
      {"trimmed", L" a , b\t", true, false, {L"a", L"b"}},
      {"untrimmed", L" a , b", false, false, {L" a ", L" b"}},
      {"empties dropped", L"a,,b,", false, false, {L"a", L"b"}},
      {"empties kept", L"a,,b,", false, true, {L"a", L"", L"b", L""}},
      {"empty first piece always dropped", L",a", false, true, {L"a"}},
      {"blank piece trimmed away", L"a, ,b", true, false, {L"a", L"b"}},
      {"no separator", L"abc", false, false, {L"abc"}},
      {"only separators", L",,", false, false, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<std::wstring> out = {L"old"};
    EXPECT_TRUE(split_wstring(r.text, L',', out, r.trim, r.keep_empty));
    EXPECT_EQ(out, r.expected);
  }
  std::vector<std::wstring> out = {L"old"};
  EXPECT_FALSE(split_wstring(L"", L',', out, false, true));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(split_wstring_plain(L"a  b", L' ', out));
  EXPECT_EQ(out, (std::vector<std::wstring>{L"a", L"b"}));
}

TEST(SplitMultiString, UnitsAndBytes) {
  std::vector<std::wstring> out;
  EXPECT_FALSE(split_multi_string_u16({}, out));
  EXPECT_TRUE(split_multi_string_u16({'a', 'b', 0, 0, 'c', 0xD800, 0}, out));
  EXPECT_EQ(out, (std::vector<std::wstring>{L"ab", std::wstring(L"c") + wchar_t(0xD800)}));

  EXPECT_FALSE(split_multi_string_bytes({}, out));
  std::vector<u8> bytes;
  for (u16 unit : {u16('x'), u16(0), u16('y'), u16('z')}) {
    bytes.push_back(u8(unit & 0xFF));
    bytes.push_back(u8(unit >> 8));
  }
  bytes.push_back('!');  // an odd last byte is ignored
  EXPECT_TRUE(split_multi_string_bytes(bytes, out));
  EXPECT_EQ(out, (std::vector<std::wstring>{L"x", L"yz"}));
}

TEST(SplitTextBufferLines, NarrowAndUtf16Text) {
  std::vector<std::wstring> out = {L"old"};
  const std::string narrow = " one\r\n\r\ntw\xc3\xa9 \r\nthree";
  EXPECT_TRUE(split_text_buffer_lines(reinterpret_cast<const u8*>(narrow.data()),
                                      static_cast<u32>(narrow.size()), out));
  EXPECT_EQ(out, (std::vector<std::wstring>{L"one", L"tw\u00e9", L"three"}));

  std::vector<u16> units;
  for (wchar_t c : std::wstring(L"a\u00e9\nb\n\nc")) units.push_back(static_cast<u16>(c));
  EXPECT_TRUE(split_text_buffer_lines(reinterpret_cast<const u8*>(units.data()),
                                      static_cast<u32>(units.size() * 2), out));
  EXPECT_EQ(out, (std::vector<std::wstring>{L"a\u00e9", L"b", L"c"}));

  const std::string mixed = "a\r\nb\nc\rd";
  EXPECT_FALSE(split_text_buffer_lines(reinterpret_cast<const u8*>(mixed.data()),
                                       static_cast<u32>(mixed.size()), out));
  EXPECT_FALSE(split_text_buffer_lines(reinterpret_cast<const u8*>("a"), 1, out));
  EXPECT_FALSE(split_text_buffer_lines(nullptr, 10, out));
  EXPECT_TRUE(out.empty());
}

TEST(SignatureFilterIndices, ListsOnlyElementsWithSignatureBytes) {
  std::vector<filename_filter> filters(4);
  filters[1].signature = {0x4d, 0x5a};
  filters[3].signature = {0x00};
  std::vector<u32> out = {7};
  EXPECT_TRUE(signature_filter_indices(out, filters));
  EXPECT_EQ(out, (std::vector<u32>{1, 3}));
  filters[1].signature.clear();
  filters[3].signature.clear();
  EXPECT_FALSE(signature_filter_indices(out, filters));
  EXPECT_TRUE(out.empty());
}

}  // namespace
