#include "timeline/bodyfile_writer.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "sqlite_store/sqlite_artifact.h"
#include "tests/sqlite_store/db_rows.h"
#include "tests/timeline/sleuthkit_reference.h"

namespace {

bodyfile_record sample_record() {
  bodyfile_record rec;
  rec.name = "a|b";
  rec.inode = 5;
  rec.mode = "r/rrwxrwxrwx";
  rec.size = 10;
  rec.times.set_times(1, 2, 3, 4, 8);
  return rec;
}

TEST(write_bodyfile_record, column_line_once_then_one_line_per_entry) {
  std::ostringstream out;
  bool first = true;
  const bodyfile_record rec = sample_record();
  EXPECT_EQ(write_bodyfile_record(&first, &out, rec), 1);
  EXPECT_FALSE(first);
  bodyfile_record absent;
  absent.md5 = "d41d8cd98f00b204e9800998ecf8427e";
  absent.name = "x";
  EXPECT_EQ(write_bodyfile_record(&first, &out, absent), 1);
  // Every text column stays one column of one line.
  bodyfile_record hostile;
  hostile.md5 = "a|\n";
  hostile.name = "n\r\n|\t\x1b\x7f";
  hostile.mode = "r/r|\n";
  EXPECT_EQ(write_bodyfile_record(&first, &out, hostile), 1);
  EXPECT_EQ(out.str(),
            "md5|name|inode|mode as string|uid|gid|size|access time|modify time|mft time|create time\n"
            "0|a;b|5|r/rrwxrwxrwx|0|0|10|2|1|3|4\n"
            "d41d8cd98f00b204e9800998ecf8427e|x|0||0|0|0|0|0|0|0\n"
            "a;^|n^^;^^\x7f|0|r/r;^|0|0|0|0|0|0|0\n");
  EXPECT_EQ(rec.name, "a|b");  // the caller's record keeps its name
}

TEST(write_bodyfile_record, a_failed_write_is_reported) {
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  bool first = false;
  EXPECT_EQ(write_bodyfile_record(&first, &out, sample_record()), 0);
  EXPECT_EQ(write_bodyfile_record(&first, nullptr, sample_record()), 0);
}

TEST(write_bodyfile_record, database_route_writes_runs_into_generic_data) {
  temp_folder folder("bodyfile_db");
  const std::string path = folder.file("body.db");
  cmd_params params(0, false);
  params.sqlite_on = 1;
  params.sqlite_path = path;
  params.kind_bodyfile = 1;
  params.artifact_type_text = "files";
  sqlite_cmd_params store;
  ASSERT_TRUE(store.init_from_cmdline({}, "", params));
  params.sqlite_params = &store;
  params.sqlite_off = 0;
  std::ostringstream out;
  for (int run = 0; run < 2; ++run) {
    bool first = true;
    for (int i = 0; i < 3; ++i) {
      bodyfile_record rec = sample_record();
      rec.store = &store;
      rec.params = &params;
      rec.inode = static_cast<u64>(run * 10 + i);
      EXPECT_EQ(write_bodyfile_record(&first, &out, rec), 1);
    }
    ASSERT_TRUE(store.flush());
  }
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(db_rows(path, "select val1, val2, val3, val4, val5, str1, str2, desired_output from generic_data "
                          "where rowid = 4;"),
            std::vector<std::string>{"1,2,3,4,0,a;b,files,0|a;b|10|r/rrwxrwxrwx|0|0|10|2|1|3|4"});
  // Each run's record covers its own rows: the second starts at the fourth row, not at 1.
  EXPECT_EQ(db_rows(path, "select row_data_start, row_data_end from metadata where col_hdrs like 'md5|%' "
                          "order by runtime;"),
            (std::vector<std::string>{"1,3", "4,6"}));
}

// Lines listed by fls come back byte for byte through a bodyfile_record, names with control
// characters given as they are on disk included, and mactime reads the written file without a
// warning into the same timeline.
TEST(write_bodyfile_record, round_trips_a_real_bodyfile_through_mactime) {
  using namespace sleuthkit_reference;
  const std::string missing = missing_tools();
  if (!missing.empty()) GTEST_SKIP() << "skipped: " << missing << " not installed (scripts/install-deps.sh)";
  temp_folder folder("bodyfile_reference");
  std::string body;
  std::string error;
  ASSERT_TRUE(make_bodyfile(folder, body, error)) << error;

  std::ostringstream written;
  bool first = true;
  std::ostringstream header;
  write_bodyfile_record(&first, &header, bodyfile_record());  // the column line, kept apart
  size_t renamed = 0;
  size_t raw_names = 0;
  for (const std::string& line : lines_of(body)) {
    std::vector<std::string> columns;
    ASSERT_TRUE(bodyfile_columns_of(line, columns)) << line;
    bodyfile_record rec;
    rec.md5 = columns[0] == "0" ? "" : columns[0];
    rec.name = columns[1];
    rec.inode = std::stoull(columns[2]);
    rec.mode = columns[3];
    rec.uid = std::stoull(columns[4]);
    rec.gid = std::stoull(columns[5]);
    rec.size = std::stoull(columns[6]);
    rec.times.set_times(std::stoull(columns[8]), std::stoull(columns[7]), std::stoull(columns[9]),
                        std::stoull(columns[10]), 8);
    // fls lists these names with "^" for each control character; ours gets them raw.
    if (rec.size >= first_control_size && rec.size < first_control_size + control_names.size()) {
      rec.name = "/" + control_names[rec.size - first_control_size];
      ++raw_names;
    }
    std::ostringstream one;
    ASSERT_EQ(write_bodyfile_record(&first, &one, rec), 1);
    std::string expected = line;
    // A name holding "|" is the one deliberate difference: it is written with ";".
    if (rec.name.find('|') != std::string::npos) {
      ++renamed;
      std::string name = rec.name;
      for (char& ch : name) ch = ch == '|' ? ';' : ch;
      expected.replace(expected.find(rec.name), rec.name.size(), name);
    }
    EXPECT_EQ(one.str(), expected + "\n");
    written << one.str();
  }
  EXPECT_EQ(renamed, 1u);
  EXPECT_EQ(raw_names, control_names.size());
  folder.put("fls.body", body);
  folder.put("ours.body", written.str());
  std::set<mactime_row> theirs;
  std::set<mactime_row> ours;
  std::string their_warnings;
  std::string our_warnings;
  ASSERT_TRUE(mactime_rows(folder.file("fls.body"), theirs, their_warnings));
  ASSERT_TRUE(mactime_rows(folder.file("ours.body"), ours, our_warnings));
  EXPECT_EQ(our_warnings, "");
  // mactime cannot read the line whose name holds "|"; ours names that file with ";".
  std::set<mactime_row> renamed_rows;
  for (const mactime_row& row : ours) {
    if (row.name.find(';') != std::string::npos) renamed_rows.insert(row);
  }
  EXPECT_FALSE(renamed_rows.empty());
  for (const mactime_row& row : renamed_rows) ours.erase(row);
  EXPECT_EQ(ours, theirs);
}

}  // namespace
