#include "sqlite_store/sqlite_artifact.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/io/qz_portable_dir.h"
#include "tests/text/temp_folder.h"
#include "tests/sqlite_store/db_rows.h"
#include "tests/sqlite_store/bound_functions.h"
#include "tests/sqlite_store/store_run.h"

namespace {

using lines = std::vector<std::string>;

// The column names of a table, in order.
lines columns_of(const std::string& path, const std::string& table) {
  return db_rows(path, "select name from pragma_table_info('" + table + "');");
}

// Makes table t refuse every row whose first cell is "boom"; "" or the error.
std::string refuse_boom_rows(const std::string& path) {
  return exec_outside(path, "create trigger refuse before insert on t when new.[1-a] = 'boom' "
                            "begin select raise(abort, 'refused'); end;");
}

class sqlite_artifact_test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder.path().empty());
    path = folder.file("case.db");
  }
  temp_folder folder{"telvar_artifact"};
  std::string path;
};

TEST_F(sqlite_artifact_test, set_up_by_output_kind) {
  struct init_case {
    const char* name;
    u8 cmd_params::*kind;
    lines tables;        // sorted table names after set-up
    lines ref;           // `ref` rows
    std::string col_hdrs;  // the run record's columns, by prefix
  };
  const init_case cases[] = {
      {"csv_to_sqlite", &cmd_params::csv_to_sqlite_on, {"metadata", "ref"}, {"metadata,0"}, ""},
      {"csv", &cmd_params::kind_csv, {"generic_data", "metadata", "ref"}, {"generic_data,0", "metadata,0"}, ""},
      {"bodyfile", &cmd_params::kind_bodyfile, {"generic_data", "metadata", "ref"},
       {"generic_data,0", "metadata,0"}, "md5|name|inode"},
      {"csvl2t", &cmd_params::kind_csvl2t, {"generic_data", "metadata", "ref"},
       {"generic_data,0", "metadata,0"}, "date/time|timezone|MACB"},
  };
  for (const init_case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string db = folder.file(std::string(c.name) + ".db");
    cmd_params tool(0, false);
    tool.sqlite_on = 1;
    tool.sqlite_path = db;
    tool.pair_datetime = 1;
    tool.*c.kind = 1;
    sqlite_cmd_params state;
    ASSERT_TRUE(state.init_from_cmdline({}, "", tool));
    EXPECT_EQ(tool.sqlite_params, &state);
    EXPECT_EQ(tool.separator_text, "|");
    EXPECT_EQ(tool.separator_char, '|');
    EXPECT_EQ(tool.trim_fields, 1);
    EXPECT_EQ(tool.spaced_separator, 0);
    EXPECT_EQ(state.db_open, 1);
    EXPECT_EQ(state.read_only, 0);
    EXPECT_EQ(state.meta_row.col_hdrs.substr(0, c.col_hdrs.size()), c.col_hdrs);
    EXPECT_EQ(db_rows(db, "select name from sqlite_master where type='table' order by name;"), c.tables);
    EXPECT_EQ(db_rows(db, "select table_name, last_rowid from ref order by table_name;"), c.ref);
    EXPECT_EQ(db_rows(db, "select count(*) from metadata;"), lines{"0"});
  }
  EXPECT_EQ(columns_of(folder.file("csv.db"), "generic_data"),
            (lines{"metaref", "val1", "val2", "val3", "val4", "val5", "str1", "str2", "desired_output"}));
}

TEST_F(sqlite_artifact_test, without_sqlite_nothing_is_opened) {
  cmd_params tool(0, false);
  sqlite_cmd_params state;
  EXPECT_TRUE(state.init_from_cmdline({}, "", tool));
  EXPECT_EQ(tool.sqlite_params, &state);
  EXPECT_EQ(state.db_open, 0);
  EXPECT_EQ(tool.separator_text, " | ");

  tool.sqlite_on = 1;  // but no database named
  testing::internal::CaptureStderr();
  EXPECT_FALSE(state.init_from_cmdline({}, "", tool));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Issue with initializing SQLite, aborting\n");
}

TEST_F(sqlite_artifact_test, reader_opens_an_existing_database_read_only) {
  {
    store_run writer(path);
    ASSERT_TRUE(writer.init());
  }
  cmd_params tool(0, false);
  tool.sqlite_on = 1;
  tool.sqlite_path = path;
  sqlite_cmd_params reader;
  ASSERT_TRUE(reader.init_from_cmdline({}, "", tool));
  EXPECT_EQ(reader.read_only, 1);

  tool.sqlite_path = folder.file("missing.db");
  sqlite_cmd_params missing;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(missing.init_from_cmdline({}, "", tool));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Issue opening db for read, aborting\n");
  EXPECT_FALSE(file_exists(tool.sqlite_path));
}

// A store that cannot keep its register and run records must refuse to start.
TEST_F(sqlite_artifact_test, unusable_databases_fail_the_set_up) {
  folder.put("notes.db", "these are not the droids\n");
  ASSERT_EQ(exec_outside(folder.file("view.db"), "create view ref as select 1 as table_name;"), "");
  for (const char* name : {"notes.db", "view.db"}) {
    SCOPED_TRACE(name);
    store_run run(folder.file(name));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(run.init());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Issue with initializing SQLite, aborting\n");
    EXPECT_EQ(run.state.db_open, 0);
  }
  EXPECT_EQ(folder.get("notes.db"), "these are not the droids\n");
}

// Run in a child that drops root, which would ignore the file's mode.
TEST_F(sqlite_artifact_test, write_protected_database_fails_the_set_up) {
  {
    store_run writer(path);
    ASSERT_TRUE(writer.init());
  }
  ASSERT_EQ(chmod(folder.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto as_other_user = [this]() -> int {
    if (geteuid() == 0 && setuid(65534) != 0) return 3;
    store_run run(path);
    return run.init() ? 1 : 0;
  };
  EXPECT_EXIT(std::exit(as_other_user()), ::testing::ExitedWithCode(0), "Issue with initializing SQLite, aborting");
}

TEST_F(sqlite_artifact_test, each_batch_gets_its_run_record_and_rowid_range) {
  store_run run(path);
  ASSERT_TRUE(run.init());
  run.start_source("grp", "a|b", "s.csv");
  run.add_many(5, "r");
  ASSERT_TRUE(run.state.flush());
  run.add_many(3, "q");
  ASSERT_TRUE(run.state.flush());

  const lines records = db_rows(path, "select runtime, row_data_start, row_data_end, data_tbl_name, file_other "
                                      "from metadata order by rowid;");
  ASSERT_EQ(records.size(), 2u);
  const std::string b1 = records[0].substr(0, records[0].find(','));
  const std::string b2 = records[1].substr(0, records[1].find(','));
  EXPECT_LT(std::stoull(b1), std::stoull(b2));
  EXPECT_EQ(records[0], b1 + ",1,5,grp,s.csv");
  EXPECT_EQ(records[1], b2 + ",6,8,grp,s.csv");
  EXPECT_EQ(db_rows(path, "select table_name, last_rowid from ref order by table_name;"),
            (lines{"grp,8", "metadata,2"}));
  EXPECT_EQ(db_rows(path, "select count(*) from grp where metaref=" + b1 + " and rowid between 1 and 5;"),
            lines{"5"});
  EXPECT_EQ(db_rows(path, "select [1-a], [2-b] from grp where rowid in (1, 8);"), (lines{"r1,v1", "q3,v3"}));
  EXPECT_EQ(run.state.failed_batches, 0u);
}

TEST_F(sqlite_artifact_test, a_full_batch_is_20001_rows) {
  store_run run(path);
  ASSERT_TRUE(run.init());
  run.start_source("big", "a|b", "s.csv");
  run.add_many(2 * 20001 + 3, "r");
  ASSERT_TRUE(run.state.flush());
  EXPECT_EQ(db_rows(path, "select row_data_start, row_data_end from metadata order by rowid;"),
            (lines{"1,20001", "20002,40002", "40003,40005"}));
  EXPECT_EQ(db_rows(path, "select count(distinct metaref), count(*) from big;"), lines{"3,40005"});
  EXPECT_EQ(db_rows(path, "select last_rowid from ref where table_name='big';"), lines{"40005"});
}

TEST_F(sqlite_artifact_test, cells_are_kept_whatever_the_row_length) {
  store_run run(path);
  ASSERT_TRUE(run.init());
  run.start_source("cells", "a|b|overflow", "s.csv");
  run.add({"1"});                                // short: the missing columns store 0
  run.add({"x", "y", "z", "w", "v"});            // long: the surplus joins the last column
  run.add({"it's", "say \"hi\"\nthere", "[x]"});  // quotes, line ends and brackets stay as they are
  sqlite_generic_data_row joined;
  joined.desired_output = "a | b";  // no cells: the line is cut at "|"
  run.state.pending.push_back(joined);
  run.state.pending.emplace_back();  // neither cells nor a line
  ASSERT_TRUE(run.state.flush());
  EXPECT_EQ(db_rows(path, "select [1-a], [2-b], [3-overflow] from cells order by rowid;"),
            (lines{"1,0,0", "x,y,z|w|v", "it's,say \"hi\"\nthere,[x]", "a,b,0", "0,0,0"}));
}

// A batch's rows go many to a statement, the rest one at a time: every kind of row must come
// out the same, in order, wherever it falls among those statements.
TEST_F(sqlite_artifact_test, rows_of_every_length_keep_their_order_across_a_batch) {
  store_run run(path);
  ASSERT_TRUE(run.init());
  run.start_source("cells", "a|b|overflow", "s.csv");
  lines expected;
  for (int i = 0; i < 70; ++i) {
    const std::string n = std::to_string(i);
    switch (i % 5) {
      case 0:  // short: the missing columns store 0
        run.add({"s" + n});
        expected.push_back("s" + n + ",0,0");
        break;
      case 1:  // long: the surplus joins the last column
        run.add({"x" + n, "y", "z", "w" + n});
        expected.push_back("x" + n + ",y,z|w" + n);
        break;
      case 2: {  // no cells: the line is cut at "|"
        sqlite_generic_data_row joined;
        joined.desired_output = "p" + n + " | q";
        run.state.pending.push_back(joined);
        expected.push_back("p" + n + ",q,0");
        break;
      }
      case 3:  // neither cells nor a line
        run.state.pending.emplace_back();
        expected.push_back("0,0,0");
        break;
      default:
        run.add({"a" + n, "b" + n, "c" + n});
        expected.push_back("a" + n + ",b" + n + ",c" + n);
        break;
    }
  }
  ASSERT_TRUE(run.state.flush());
  EXPECT_EQ(db_rows(path, "select [1-a], [2-b], [3-overflow] from cells order by rowid;"), expected);
  EXPECT_EQ(db_rows(path, "select min(rowid), max(rowid), count(distinct metaref) from cells;"), lines{"1,70,1"});
  EXPECT_EQ(db_rows(path, "select row_data_start, row_data_end from metadata;"), lines{"1,70"});
}

TEST_F(sqlite_artifact_test, column_names_are_cleaned_and_always_safe) {
  struct name_case {
    const char* name;
    std::string col_hdrs;
    u8 number_columns;
    lines expected;
  };
  const name_case cases[] = {
      {"positions and cuts", "Date Time|Size|", 1, {"1-Date_Tim", "2-Size", "3-"}},
      {"eight stay whole", "abcdefgh|abcdefghi", 1, {"1-abcdefgh", "2-abcdefgh"}},
      {"cut by characters", "\xc3\xa4\xc3\xb6\xc3\xbc\xc3\x9f\xc3\xa4\xc3\xb6\xc3\xbc\xc3\x9fx", 1,
       {"1-\xc3\xa4\xc3\xb6\xc3\xbc\xc3\x9f\xc3\xa4\xc3\xb6\xc3\xbc\xc3\x9f"}},
      {"marks removed", " a#b | c d |e[f]g", 1, {"1-ab", "2-c_d", "3-efg"}},
      {"cut before brackets go", "x|[abcdefgh]", 1, {"1-x", "2-abcdefg"}},
      {"quotes kept", "it's|\"q\"|`b`", 1, {"1-it's", "2-\"q\"", "3-`b`"}},
      {"bracketed list kept", "[x]|[y]", 1, {"x", "y"}},
      {"bracket cannot end early", "[a]|x] varchar); drop table ref; --", 1,
       {"a", "x varchar); drop table ref; --"}},
      {"open bracket inside", "[a]|[[b]|c", 1, {"a", "[b", "c"}},
      {"unnumbered repeats", "a|A|a", 0, {"a", "A_2", "a_3"}},
      {"metaref is taken", "[metaref]|[b]", 1, {"metaref_1", "b"}},
      {"zero byte dropped", std::string("a\0b|c", 5), 1, {"1-ab", "2-c"}},
  };
  store_run run(path);
  ASSERT_TRUE(run.init());
  int table_number = 0;
  for (const name_case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string number = std::to_string(++table_number);
    const std::string table = "t" + number;
    run.start_source(table, c.col_hdrs, "s.csv");
    run.state.meta_row.number_columns = c.number_columns;
    run.add({"1", "2"});
    EXPECT_TRUE(run.state.flush());
    lines expected = {"metaref"};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    EXPECT_EQ(columns_of(path, table), expected);
    EXPECT_EQ(db_rows(path, "select count(*) from " + table + ";"), lines{"1"});
  }
  EXPECT_EQ(db_rows(path, "select count(*) from ref;"), lines{std::to_string(table_number + 1)});
}

TEST_F(sqlite_artifact_test, sources_share_tables_by_name_across_runs) {
  {
    store_run run(path);
    ASSERT_TRUE(run.init());
    run.start_source("grp-1f", "a|b", "one.csv");
    run.add_many(3, "one");
    ASSERT_TRUE(run.state.flush());
    run.start_source("grp-1f", "a|b", "two.csv");
    run.add_many(2, "two");
    ASSERT_TRUE(run.state.flush());
  }
  {
    store_run run(path);  // a later run into the same database
    ASSERT_TRUE(run.init());
    run.start_source("grp-1f", "a|b", "three.csv");
    run.add_many(1, "three");
    ASSERT_TRUE(run.state.flush());
    run.start_source("grp-2a", "a|b|c", "three.csv");  // other columns, another table
    run.add_many(1, "other");
    ASSERT_TRUE(run.state.flush());
  }
  EXPECT_EQ(db_rows(path, "select file_other, row_data_start, row_data_end, data_tbl_name from metadata "
                          "order by rowid;"),
            (lines{"one.csv,1,3,grp-1f", "two.csv,4,5,grp-1f", "three.csv,6,6,grp-1f", "three.csv,1,1,grp-2a"}));
  EXPECT_EQ(db_rows(path, "select table_name, last_rowid from ref order by table_name;"),
            (lines{"grp-1f,6", "grp-2a,1", "metadata,4"}));
  EXPECT_EQ(db_rows(path, "select count(distinct metaref) from [grp-1f];"), lines{"3"});
}

TEST_F(sqlite_artifact_test, waiting_rows_flush_drop_and_threshold) {
  store_run run(path);
  ASSERT_TRUE(run.init());
  run.start_source("t", "a|b", "s.csv");
  EXPECT_FALSE(run.state.flush());
  run.add_many(99, "r");
  EXPECT_FALSE(run.state.flush_if(100));
  EXPECT_EQ(run.state.pending_count(), 99);
  EXPECT_TRUE(run.state.flush_if(99));
  EXPECT_EQ(run.state.pending_count(), 0);

  run.add_many(3, "d");
  run.state.drop_pending();
  EXPECT_EQ(run.state.pending_count(), 0);
  EXPECT_FALSE(run.state.flush());
  EXPECT_EQ(db_rows(path, "select count(*) from t;"), lines{"99"});
  EXPECT_EQ(run.state.failed_batches, 0u);

  run.state.close();
  EXPECT_FALSE(sqlite3_artifact::add_fields_row(0, {"x"}, &run.tool));
  run.state.pending.resize(3);
  run.state.drop_pending();
  EXPECT_EQ(run.state.pending_count(), 0);
  std::vector<sqlite_generic_data_row> rows(2);
  EXPECT_FALSE(run.state.write_rows(0, rows));
}

// Rows added through the store keep their cells in one packed text. A waiting row whose cells
// were emptied from under it must fail its batch, not take the cells of whatever row comes next.
TEST_F(sqlite_artifact_test, row_without_its_packed_cells_fails_its_batch) {
  store_run run(path);
  ASSERT_TRUE(run.init());
  run.start_source("t", "a|b", "s.csv");
  run.add({"r1", "v1"});
  run.state.packed_cells.clear();
  run.add({"r2", "v2"});  // the first row packed now, as r1 was
  testing::internal::CaptureStderr();
  EXPECT_FALSE(run.state.flush());
  EXPECT_NE(testing::internal::GetCapturedStderr().find("prob writing rows into"), std::string::npos);
  EXPECT_EQ(run.state.failed_batches, 1u);
  EXPECT_EQ(db_rows(path, "select count(*) from sqlite_master where name = 't';"), lines{"0"});

  // The next batch starts with empty packed cells and is whole.
  run.add({"r4", "v4"});
  EXPECT_TRUE(run.state.flush());
  EXPECT_EQ(db_rows(path, "select [1-a], [2-b] from t;"), lines{"r4,v4"});
}

TEST_F(sqlite_artifact_test, rows_need_sqlite_on_and_an_open_store) {
  store_run run(path);
  ASSERT_TRUE(run.init());
  run.tool.sqlite_on = 0;
  EXPECT_FALSE(sqlite3_artifact::add_fields_row(0, {"x"}, &run.tool));
  run.tool.sqlite_on = 1;
  run.tool.sqlite_params = nullptr;
  EXPECT_FALSE(sqlite3_artifact::add_fields_row(0, {"x"}, &run.tool));
  EXPECT_FALSE(sqlite3_artifact::add_fields_row(0, {"x"}, nullptr));
  EXPECT_EQ(run.state.pending_count(), 0);
}

// A batch the database refuses part-way leaves nothing of itself, says so, and the run goes on.
TEST_F(sqlite_artifact_test, failed_batch_is_reported_and_rolled_back) {
  store_run run(path);
  ASSERT_TRUE(run.init());
  run.start_source("t", "a|b", "s.csv");
  run.add_many(2, "ok");
  ASSERT_TRUE(run.state.flush());
  ASSERT_EQ(refuse_boom_rows(path), "");
  run.add({"fine", "1"});
  run.add({"boom", "2"});
  run.add({"after", "3"});
  testing::internal::CaptureStderr();
  EXPECT_FALSE(run.state.flush());
  EXPECT_TRUE(testing::internal::GetCapturedStderr().ends_with("prob writing rows into " + path + "\n"));
  EXPECT_EQ(run.state.failed_batches, 1u);
  EXPECT_EQ(run.state.pending_count(), 0);
  EXPECT_EQ(db_rows(path, "select count(*) from t;"), lines{"2"});
  EXPECT_EQ(db_rows(path, "select last_rowid from ref where table_name='t';"), lines{"2"});

  run.add_many(2, "later");
  ASSERT_TRUE(run.state.flush());
  EXPECT_EQ(db_rows(path, "select row_data_start, row_data_end from metadata order by rowid;"),
            (lines{"1,2", "3,4"}));
  EXPECT_EQ(run.state.failed_batches, 1u);

  run.start_source("nocols", "", "s.csv");  // a data table without columns cannot be made
  run.add({"x"});
  testing::internal::CaptureStderr();
  EXPECT_FALSE(run.state.flush());
  EXPECT_TRUE(testing::internal::GetCapturedStderr().ends_with("prob writing rows into " + path + "\n"));
  EXPECT_EQ(run.state.failed_batches, 2u);
}

TEST_F(sqlite_artifact_test, every_row_lies_in_the_range_of_its_batch_record) {
  store_run run(path);
  ASSERT_TRUE(run.init());
  run.start_source("t", "a", "s.csv");
  for (int i = 0; i < 30; ++i) {
    run.add({std::to_string(i)});
    ASSERT_TRUE(run.state.flush());
  }
  EXPECT_EQ(db_rows(path, "select count(distinct runtime), count(*) from metadata;"), lines{"30,30"});
  EXPECT_EQ(db_rows(path, "select count(*) from t join metadata on metaref = runtime "
                          "where t.rowid between row_data_start and row_data_end;"),
            lines{"30"});
}

// Steps through whole tables by the statements of one connection, counted as they finish.
struct full_scan_counter {
  explicit full_scan_counter(sqlite3* db) : db_(db) {
    sqlite3_trace_v2(
        db, SQLITE_TRACE_PROFILE,
        [](unsigned, void* context, void* statement, void*) {
          *static_cast<long*>(context) +=
              sqlite3_stmt_status(static_cast<sqlite3_stmt*>(statement), SQLITE_STMTSTATUS_FULLSCAN_STEP, 1);
          return 0;
        },
        &steps);
  }
  ~full_scan_counter() { sqlite3_trace_v2(db_, 0, nullptr, nullptr); }
  sqlite3* db_;
  long steps = 0;
};

// A batch's run record and register look-ups find their rows without passing over `metadata`
// or `ref`, however many records and tables there are: thousands of groups would otherwise cost
// time in the square of their number. The records stay those of a batch each.
TEST_F(sqlite_artifact_test, batches_never_pass_over_the_run_records) {
  store_run run(path);
  ASSERT_TRUE(run.init());
  ASSERT_TRUE(run.state.begin_bulk_writes());
  constexpr int batches = 600;
  long steps_before_last_third = 0;
  {
    full_scan_counter counter(run.state.db);
    for (int i = 0; i < batches; ++i) {
      if (i == batches * 2 / 3) steps_before_last_third = counter.steps;
      // Every other batch makes a table of its own; the others share one.
      const std::string number = std::to_string(i);
      run.start_source(i % 2 ? "g" + number : "shared", "a", "s" + number + ".csv");
      run.add({std::to_string(i)});
      ASSERT_TRUE(run.state.flush());
    }
    // With 400 records and 200 tables there, the last 200 batches do not read one of them.
    EXPECT_LT(counter.steps - steps_before_last_third, batches / 3) << "before: " << steps_before_last_third;
  }
  ASSERT_TRUE(run.state.finish_bulk_writes());
  EXPECT_EQ(db_rows(path, "select count(distinct runtime), count(*), min(row_data_end - row_data_start) "
                          "from metadata;"),
            lines{"600,600,0"});
  EXPECT_EQ(db_rows(path, "select file_other, data_tbl_name, row_data_start from metadata order by rowid "
                          "limit 2 offset 598;"),
            (lines{"s598.csv,shared,300", "s599.csv,g599,1"}));
  EXPECT_EQ(db_rows(path, "select count(*) from metadata m where (select count(*) from ref "
                          "where table_name = m.data_tbl_name) = 1;"),
            lines{"600"});
  EXPECT_EQ(db_rows(path, "select last_rowid from ref where table_name in ('shared', 'metadata') "
                          "order by table_name;"),
            (lines{"600", "300"}));
}

struct timeline_header {
  u64 val1 = 11, val2 = 12, val3 = 13, val4 = 14, val5 = 15;
  std::string str1 = "MACB", str2 = "ETL";
};

TEST_F(sqlite_artifact_test, timeline_rows_fill_generic_data_run_by_run) {
  cmd_params tool(0, false);
  tool.sqlite_on = 1;
  tool.sqlite_path = path;
  tool.kind_csv = 1;
  sqlite_cmd_params state;
  ASSERT_TRUE(state.init_from_cmdline({}, "date|null", tool));
  EXPECT_EQ(state.meta_row.gen_hdrs, "date|null");

  std::ostringstream line("first line");
  EXPECT_EQ(state.add_generic_row(line, 1, 2, "s1", "s2", 3, 4, 5), 0);
  EXPECT_EQ(state.add_generic_hdr_row(line, timeline_header{}), 0);
  ASSERT_TRUE(state.flush());

  // A new run continues the table: its record starts after the rows already there.
  state.set_col_hdrs("date|MACB");
  ASSERT_TRUE(state.start_new_run(false));
  const u64 second_run = state.runtime;
  for (int i = 0; i < 3; ++i) state.add_generic_row(line, 0, 0, "", "", 0, 0, 0);
  ASSERT_TRUE(state.flush());
  state.add_generic_row(line, 0, 0, "", "", 0, 0, 0);
  ASSERT_TRUE(state.start_new_run(false));  // the waiting row still belongs to the second run

  EXPECT_EQ(db_rows(path, "select val1, val2, val3, val4, val5, str1, str2, desired_output from generic_data "
                          "where rowid <= 2;"),
            (lines{"1,2,3,4,5,s1,s2,first line", "11,12,13,14,15,MACB,ETL,first line"}));
  EXPECT_EQ(db_rows(path, "select runtime = " + std::to_string(second_run) +
                              ", row_data_start, row_data_end, col_hdrs from metadata order by rowid limit 2;"),
            (lines{"0,1,2,", "1,3,6,date|MACB"}));
  EXPECT_EQ(db_rows(path, "select count(*) from generic_data where metaref = " + std::to_string(second_run) + ";"),
            lines{"4"});
}

TEST_F(sqlite_artifact_test, rows_still_waiting_are_written_when_the_store_closes) {
  {
    store_run run(path);
    ASSERT_TRUE(run.init());
    run.start_source("t", "a|b", "s.csv");
    run.add_many(4, "r");
  }
  EXPECT_EQ(db_rows(path, "select count(*) from t;"), lines{"4"});
  EXPECT_EQ(db_rows(path, "select row_data_start, row_data_end from metadata;"), lines{"1,4"});
}

TEST_F(sqlite_artifact_test, resets_of_the_run_state) {
  store_run run(path);
  ASSERT_TRUE(run.init());
  run.start_source("t", "a", "s.csv");
  run.state.runtime = 77;
  run.add({"x"});
  run.state.reset_run_state();
  EXPECT_EQ(run.state.runtime, 0u);
  EXPECT_TRUE(run.state.meta_row.col_hdrs.empty());
  EXPECT_EQ(run.state.pending_count(), 0);
  EXPECT_EQ(run.state.db_open, 1);

  run.state.close();
  run.state.pending.resize(2);
  run.state.reset_run_state();  // a closed store keeps what it holds
  EXPECT_EQ(run.state.pending_count(), 2);
  run.state.drop_pending();

  // A full reset of an open store closes its database rather than forgetting the handle, so the
  // shared entry table is released once no connection is left.
  ASSERT_TRUE(run.init());
  run.state.clear();
  EXPECT_EQ(run.state.db, nullptr);
  sqlite_wrapper other;
  ASSERT_TRUE(other.open_db(nullptr, folder.file("other.db")));
  other.close();
  EXPECT_EQ(bound_sqlite_functions(), 0u);
}

TEST(sqlite_generic_data_row_test, reads_nine_texts) {
  sqlite_generic_data_row row;
  ASSERT_TRUE(row.set_from_strings({"100", "1", "0x10", "3", "4", "5", "a", "b", "line"}));
  EXPECT_EQ(row.metaref, 100u);
  EXPECT_EQ(row.val2, 16u);
  EXPECT_EQ(row.desired_output, "line");
  EXPECT_FALSE(row.set_from_strings({"1", "2"}));
  EXPECT_EQ(row.metaref, 0u);
  EXPECT_TRUE(row.desired_output.empty());
}

// A conversion's series of batches: committed together once commit_interval_ms has passed and
// at its end, each batch still whole or absent with its run record and ref row.
TEST_F(sqlite_artifact_test, batches_of_a_series_commit_together_and_each_stays_whole) {
  store_run run(path);
  ASSERT_TRUE(run.init());
  run.start_source("t", "a|b", "s.csv");
  run.add_many(1, "first");
  ASSERT_TRUE(run.state.flush());
  ASSERT_EQ(refuse_boom_rows(path), "");
  ASSERT_TRUE(run.state.begin_bulk_writes());
  run.add_many(2, "ok");
  ASSERT_TRUE(run.state.flush());
  run.add({"fine", "1"});
  run.add({"boom", "2"});
  testing::internal::CaptureStderr();
  EXPECT_FALSE(run.state.flush());
  EXPECT_TRUE(testing::internal::GetCapturedStderr().ends_with("prob writing rows into " + path + "\n"));
  // Another connection sees the last commit only: the series is still open.
  EXPECT_EQ(db_rows(path, "select count(*) from t;"), lines{"1"});

  // Once the interval has passed, the next batch commits the series with itself.
  usleep(static_cast<useconds_t>(sqlite3_artifact::commit_interval_ms * 1000 + 100000));
  run.add_many(2, "late");
  ASSERT_TRUE(run.state.flush());
  EXPECT_EQ(db_rows(path, "select count(*) from t;"), lines{"5"});

  run.add_many(3, "last");
  EXPECT_TRUE(run.state.finish_bulk_writes());
  EXPECT_EQ(run.state.pending_count(), 0);
  EXPECT_EQ(db_rows(path, "select row_data_start, row_data_end from metadata order by rowid;"),
            (lines{"1,1", "2,3", "4,5", "6,8"}));
  EXPECT_EQ(db_rows(path, "select table_name, last_rowid from ref where table_name='t';"), lines{"t,8"});
  EXPECT_EQ(db_rows(path, "select count(*) from t join metadata on metaref = runtime "
                          "where t.rowid between row_data_start and row_data_end;"),
            lines{"8"});
  EXPECT_EQ(db_rows(path, "pragma journal_mode;"), lines{"delete"});
  EXPECT_EQ(access((path + "-journal").c_str(), F_OK), -1);
  EXPECT_EQ(run.state.failed_batches, 1u);
  // Nothing is left to commit: a second end is a no-op.
  EXPECT_TRUE(run.state.finish_bulk_writes());
}

// What a database holds, with every run's time stamp replaced by the run's place in `metadata`
// (stamps differ from run to run): the run records, the `ref` rows and every row of t and u
// with its rowid.
lines stored_content(const std::string& path) {
  const lines runs = db_rows(path, "select runtime from metadata order by rowid;");
  std::map<std::string, std::string> place;
  for (size_t i = 0; i < runs.size(); ++i) place[runs[i]] = "run" + std::to_string(i);
  const auto renamed = [&place](const lines& rows) {
    lines out;
    for (const std::string& row : rows) {
      std::string line;
      size_t start = 0;
      for (size_t end = 0; end != std::string::npos; start = end + 1) {
        end = row.find(',', start);
        const std::string value = row.substr(start, end == std::string::npos ? end : end - start);
        const auto found = place.find(value);
        line += (start == 0 ? "" : ",") + (found != place.end() ? found->second : value);
      }
      out.push_back(line);
    }
    return out;
  };
  lines content = renamed(db_rows(path, "select * from metadata order by rowid;"));
  for (const std::string& row : db_rows(path, "select table_name, last_rowid from ref order by rowid;")) {
    content.push_back("ref " + row);
  }
  for (const char* table : {"t", "u"}) {
    for (const std::string& row : renamed(db_rows(path, std::string("select rowid, * from ") + table +
                                                            " order by rowid;"))) {
      content.push_back(table + (" " + row));
    }
  }
  return content;
}

// The same series written with and without the write-behind thread leaves the same database;
// a batch the thread could not write is reported (at the next flush, or at the end) and counted,
// never taken for a success.
TEST_F(sqlite_artifact_test, write_behind_series_stores_what_the_caller_would_and_reports_failures) {
  lines content[2];
  for (const bool behind : {false, true}) {
    SCOPED_TRACE(behind ? "write-behind" : "in the caller's thread");
    const std::string db = folder.file(behind ? "behind.db" : "direct.db");
    store_run run(db);
    ASSERT_TRUE(run.init());
    run.start_source("t", "a|b", "s.csv");
    run.add_many(1, "first");
    ASSERT_TRUE(run.state.flush());
    ASSERT_EQ(refuse_boom_rows(db), "");
    ASSERT_TRUE(run.state.begin_bulk_writes(behind));
    testing::internal::CaptureStderr();
    run.add_many(sqlite3_artifact::flush_threshold + 5, "ok");
    ASSERT_TRUE(run.state.flush());
    // The next table's layout is set while the batch before may still be being written.
    run.start_source("u", "x|y|z", "t.csv");
    run.add({"1", "2", "3"});
    run.add({"4", "5"});
    ASSERT_TRUE(run.state.flush());
    run.start_source("t", "a|b", "s.csv");
    run.add({"fine", "1"});
    run.add({"boom", "2"});
    // The thread has only been handed the batch; the caller learns of its failure at a later
    // flush or at the end.
    EXPECT_EQ(run.state.flush(), behind);
    run.add_many(2, "after");
    const bool after_flushed = run.state.flush();
    if (!behind) {
      EXPECT_TRUE(after_flushed);
    }
    run.add({"boom", "3"});
    const bool last_flushed = run.state.flush();
    if (!behind) {
      EXPECT_FALSE(last_flushed);
    }
    // Only the end can tell of the last batch's failure.
    EXPECT_EQ(run.state.finish_bulk_writes(), !behind);
    const std::string message = "prob writing rows into " + db + "\n";
    const std::string said = testing::internal::GetCapturedStderr();
    const size_t first = said.find(message);
    ASSERT_NE(first, std::string::npos);
    const size_t second = said.find(message, first + 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(said.find(message, second + 1), std::string::npos);
    EXPECT_TRUE(said.ends_with(message));
    EXPECT_EQ(run.state.failed_batches, 2u);
    EXPECT_EQ(run.state.pending_count(), 0);
    EXPECT_EQ(db_rows(db, "select count(*) from t;"), lines{std::to_string(1 + sqlite3_artifact::flush_threshold + 5 + 2)});
    EXPECT_EQ(db_rows(db, "select count(*) from u;"), lines{"2"});
    EXPECT_EQ(access((db + "-journal").c_str(), F_OK), -1);
    content[behind] = stored_content(db);
  }
  EXPECT_EQ(content[1], content[0]);
  ASSERT_GT(content[0].size(), 8u);
}

}  // namespace
