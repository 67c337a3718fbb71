#include "timeline/macb_times.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/timeline/sleuthkit_reference.h"

namespace {

constexpr u64 epoch_1970 = 116444736000000000ULL;
u64 filetime_of(u64 unix_seconds) { return unix_seconds * 10000000ULL + epoch_1970; }

const u64 m_ft = filetime_of(1577934245);
const u64 a_ft = filetime_of(1620284889);
const u64 c_ft = filetime_of(1551571200);
const u64 b_ft = filetime_of(1600000000);

struct expected_row {
  u64 key;
  std::string macb;
  std::string notes;
  std::string source = "";
  std::string filename = "";
};

std::vector<expected_row> rows_of(const macb_rows& rows) {
  std::vector<expected_row> out;
  for (const auto& [key, row] : rows) {
    EXPECT_EQ(row.raw_time, key);
    out.push_back({key, row.macb, row.notes, row.source, row.filename});
  }
  return out;
}

void expect_rows(const std::vector<expected_row>& got, const std::vector<expected_row>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    EXPECT_EQ(got[i].key, want[i].key);
    EXPECT_EQ(got[i].macb, want[i].macb);
    EXPECT_EQ(got[i].notes, want[i].notes);
    EXPECT_EQ(got[i].source, want[i].source);
    EXPECT_EQ(got[i].filename, want[i].filename);
  }
}

struct merge_case {
  const char* name;
  std::function<void(macb_input&)> setup;
  std::vector<expected_row> rows;
};

TEST(merge_macb_times, one_row_per_instant_with_its_letters_and_notes) {
  const merge_case cases[] = {
      {"all four on one instant",
       [](macb_input& in) {
         in.set_default_labels();
         in.set_times(m_ft, m_ft, m_ft, m_ft, 1);
       },
       {{m_ft, "MACB", "Last Modified; Last Access; Metadata Changed; Created"}}},
      {"M = C, A and B apart",
       [](macb_input& in) {
         in.set_default_labels();
         in.set_times(m_ft, a_ft, m_ft, b_ft, 1);
       },
       {{m_ft, "M.C.", "Last Modified; Metadata Changed"}, {b_ft, "...B", "Created"}, {a_ft, ".A..", "Last Access"}}},
      {"tag without labels",
       [](macb_input& in) {
         in.pattern_tag = "T";
         in.set_times(m_ft, a_ft, m_ft, b_ft, 1);
       },
       {{m_ft, "M.C.", "T [M.C.]"}, {b_ft, "...B", "T [...B]"}, {a_ft, ".A..", "T [.A..]"}}},
      {"no labels, no tag",
       [](macb_input& in) { in.set_times(m_ft, a_ft, m_ft, b_ft, 1); },
       {{m_ft, "M.C.", ""}, {b_ft, "...B", ""}, {a_ft, ".A..", ""}}},
      {"no times: every further time alone",
       [](macb_input& in) {
         in.add_time(a_ft, "X", "s", "f");
         in.add_time(c_ft, "Y", "", "");
       },
       {{c_ft, "..C.", "Y"}, {a_ft, "..C.", "X", "s", "f"}}},
      {"a further time on A",
       [](macb_input& in) {
         in.set_default_labels();
         in.set_times(m_ft, a_ft, c_ft, b_ft, 1);
         in.add_time(a_ft, "X", "", "");
       },
       {{c_ft, "..C.", "Metadata Changed"},
        {m_ft, "M...", "Last Modified"},
        {b_ft, "...B", "Created"},
        {a_ft, ".AC.", "Last Access; X"}}},
      {"a further time on B only",
       [](macb_input& in) {
         in.set_default_labels();
         in.set_times(m_ft, a_ft, c_ft, b_ft, 1);
         in.add_time(b_ft, "X", "", "");
       },
       {{c_ft, "..C.", "Metadata Changed"},
        {m_ft, "M...", "Last Modified"},
        {b_ft, "..CB", "X; Created"},
        {a_ft, ".A..", "Last Access"}}},
      {"two further times on M",
       [](macb_input& in) {
         in.set_default_labels();
         in.set_times(m_ft, a_ft, c_ft, b_ft, 1);
         in.more_times = {m_ft, m_ft};
         in.more_labels = {"X", "Y"};
         in.more_sources = {"s1", "s2"};
         in.more_files = {"f1", "f2"};
         in.more_used = {0, 0};
       },
       {{c_ft, "..C.", "Metadata Changed"},
        {m_ft, "M.C.", "Last Modified; X; Y", "s1s2", "f1f2"},
        {b_ft, "...B", "Created"},
        {a_ft, ".A..", "Last Access"}}},
      {"two further times on a free instant",
       [](macb_input& in) {
         in.set_times(m_ft, 0, 0, 0, 1);
         in.more_times = {a_ft, a_ft};
         in.more_labels = {"first", "second"};
         in.more_sources = {"", ""};
         in.more_files = {"", ""};
         in.more_used = {0, 0};
       },
       {{m_ft, "M...", ""}, {a_ft, "..C.", "first"}, {a_ft, "..C.", "second"}}},
      {"unix seconds: further times keyed by FILETIME sort after",
       [](macb_input& in) {
         in.set_times(1577934245, 1620284889, 1577934245, 0, 8);
         in.add_time(c_ft, "X", "", "");
       },
       {{1577934245, "M.C.", ""}, {1620284889, ".A..", ""}, {c_ft, "..C.", "X"}}},
  };
  for (const merge_case& c : cases) {
    SCOPED_TRACE(c.name);
    macb_input input;
    c.setup(input);
    macb_rows rows;
    merge_macb_times(rows, input, input.kind);
    expect_rows(rows_of(rows), c.rows);
  }
}

TEST(merge_macb_times, the_further_times_are_consumed_by_the_first_call) {
  macb_input input;
  input.set_times(m_ft, 0, 0, 0, 1);
  input.add_time(m_ft, "X", "", "");
  input.add_time(a_ft, "Y", "", "");
  macb_rows first;
  merge_macb_times(first, input, 1);
  expect_rows(rows_of(first), {{m_ft, "M.C.", "X"}, {a_ft, "..C.", "Y"}});
  macb_rows second;
  merge_macb_times(second, input, 1);
  expect_rows(rows_of(second), {{m_ft, "M...", ""}});
  // Rows already in the map stay; the new ones follow those of the same key.
  merge_macb_times(first, input, 1);
  EXPECT_EQ(first.size(), 3u);
  EXPECT_EQ(std::prev(first.upper_bound(m_ft))->second.macb, "M...");
}

TEST(macb_input, add_time_extends_a_present_time_with_texts_it_lacks) {
  macb_input input;
  input.add_time(5, "label", "", "file");
  input.add_time(5, "label", "src", "other");
  input.add_time(5, "lab", "src", "");
  ASSERT_EQ(input.more_times, std::vector<u64>{5});
  EXPECT_EQ(input.more_labels[0], "label");  // "lab" occurs inside it already
  EXPECT_EQ(input.more_sources[0], "; src");
  EXPECT_EQ(input.more_files[0], "file; other");
  EXPECT_EQ(input.more_used, std::vector<u8>{0});
}

TEST(macb_input, set_times_unix_gives_unix_seconds_or_absent) {
  struct unix_case {
    const char* name;
    u64 value;
    u32 kind;
    u64 seconds;
  };
  const unix_case cases[] = {
      {"filetime", filetime_of(1577934245) + 9999999, 1, 1577934245},
      {"filetime before 1970 is absent", filetime_of(0) - 10000000, 1, 0},
      {"filetime with the sign bit is absent", 0x8000000000000000ULL, 1, 0},
      {"chrome", filetime_of(1577934245) / 10, 2, 1577934245},
      {"chrome before 1970 is absent", 11644473500000000ULL, 2, 0},
      {"chrome too large to scale is absent", 0x7000000000000000ULL, 2, 0},
      {"firefox", 1577934245123456ULL, 4, 1577934245},
      {"firefox before 1970 is absent", static_cast<u64>(-5000000LL), 4, 0},
      {"safari seconds", 599000000, 0x40000, 599000000 + 978307200},
      {"safari nanoseconds", 599000000ULL * 1000000000ULL, 0x40000, 599000000 + 978307200},
      {"safari 0 stays absent", 0, 0x40000, 0},
      {"unix copied", 12345, 8, 12345},
  };
  for (const unix_case& c : cases) {
    SCOPED_TRACE(c.name);
    macb_input input;
    EXPECT_TRUE(input.set_times_unix(c.value, 0, c.value, 0, c.kind));
    EXPECT_EQ(input.m_time, c.seconds);
    EXPECT_EQ(input.c_time, c.seconds);
    EXPECT_EQ(input.a_time, 0u);
    EXPECT_EQ(input.kind, 8u);
  }
  macb_input input;
  input.set_times(1, 2, 3, 4, 1);
  EXPECT_FALSE(input.set_times_unix(10, 20, 30, 40, 16));
  EXPECT_EQ(input.m_time, 1u);
  EXPECT_EQ(input.b_time, 4u);
  EXPECT_EQ(input.kind, 1u);
}

// The timeline that mactime prints for a real bodyfile is, entry by entry, the set of rows that
// merge_macb_times builds from that entry's four times.
TEST(merge_macb_times, agrees_with_mactime_on_a_real_bodyfile) {
  using namespace sleuthkit_reference;
  const std::string missing = missing_tools();
  if (!missing.empty()) GTEST_SKIP() << "skipped: " << missing << " not installed (scripts/install-deps.sh)";
  temp_folder folder("macb_reference");
  std::string body;
  std::string error;
  ASSERT_TRUE(make_bodyfile(folder, body, error)) << error;
  folder.put("body.txt", body);
  std::set<mactime_row> theirs;
  std::string warnings;
  ASSERT_TRUE(mactime_rows(folder.file("body.txt"), theirs, warnings));

  std::set<mactime_row> ours;
  size_t entries = 0;
  for (const std::string& line : lines_of(body)) {
    std::vector<std::string> columns;
    ASSERT_TRUE(bodyfile_columns_of(line, columns)) << line;
    // mactime splits a name holding "|" into columns and drops the line: such a name is left
    // out of the comparison (the bodyfile writer writes it with ";").
    if (columns[1].find('|') != std::string::npos) continue;
    ++entries;
    macb_input input;
    input.set_times(std::stoull(columns[8]), std::stoull(columns[7]), std::stoull(columns[9]),
                    std::stoull(columns[10]), 8);
    macb_rows rows;
    merge_macb_times(rows, input, input.kind);
    for (const auto& [key, row] : rows) {
      char date[64];
      std::snprintf(date, sizeof date, "%04u-%02u-%02uT%02u:%02u:%02uZ", row.time.year(), row.time.month(),
                    row.time.day(), row.time.hour(), row.time.minute(), row.time.second());
      std::string letters = row.macb;
      for (char& ch : letters) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      ours.insert({date, letters, columns[2], columns[1]});
    }
  }
  ASSERT_GE(entries, 8u);
  // A time of 0 is absent here; mactime lists it under the date 0000-00-00 instead.
  std::erase_if(theirs, [](const mactime_row& row) { return row.date.rfind("0000-00-00", 0) == 0; });
  EXPECT_EQ(ours, theirs);
  EXPECT_GE(ours.size(), 15u);
}

}  // namespace
