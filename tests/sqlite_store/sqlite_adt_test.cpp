#include "sqlite_store/sqlite_adt.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <string>
#include <vector>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/io/qz_host.h"
#include "tests/text/temp_folder.h"
#include "tests/sqlite_store/db_rows.h"

namespace {

using lines = std::vector<std::string>;

// A run record whose every field differs from its default.
sqlite_metadata_row sample_row(u64 runtime) {
  sqlite_metadata_row row;
  row.runtime = runtime;
  row.chunk = 1;
  row.parent = 7;
  row.lic_num = 6699;
  row.lic_name = "Dana O'Neil";
  row.cmdline = "tool -src \"a b\".csv";
  row.gen_hdrs = "g";
  row.col_hdrs = "a|b";
  row.col_types = "varchar|varchar";
  row.extra_args = "x";
  row.host = "h";
  row.user = "u";
  row.file = "/evidence/sys.hive";
  row.file_other = "/cases/run.csv";
  row.output_option = sqlite_metadata_row::output_csv;
  row.separator = ",";
  row.notes = "Runtime: 2024-01-02 03:04:05";
  row.toolname = "dorvel v1.2";
  row.artifact_type = "Registry";
  row.data_tbl_name = "t1";
  row.row_data_start = 3;
  row.row_data_end = 9;
  return row;
}

const char* const sample_line =
    "1000,1,7,6699,Dana O'Neil,tool -src \"a b\".csv,g,a|b,varchar|varchar,x,h,u,/evidence/sys.hive,"
    "/cases/run.csv,258,,,Runtime: 2024-01-02 03:04:05,dorvel v1.2,Registry,t1,3,9";

class sqlite_adt_test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder.path().empty());
    path = folder.file("store.db");
    ASSERT_TRUE(store.open_db(nullptr, path));
    ASSERT_TRUE(store.create_ref_table());
    ASSERT_TRUE(store.create_metadata_table());
  }
  // Runs sql on the store's own connection; the library's error text, empty on success.
  std::string exec(const std::string& sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(store.db, sql.c_str(), nullptr, nullptr, &error);
    std::string text = rc == SQLITE_OK ? "" : (error != nullptr ? error : "failed");
    sqlite3_free(error);
    return text;
  }

  temp_folder folder{"telvar_adt"};
  std::string path;
  sqlite3_adt store;
};

TEST_F(sqlite_adt_test, new_tables_register_metadata_once_and_never_ref) {
  EXPECT_EQ(db_rows(path, "select table_name, last_rowid from ref;"), lines{"metadata,0"});
  EXPECT_TRUE(store.create_ref_table());
  EXPECT_TRUE(store.create_metadata_table());
  EXPECT_EQ(db_rows(path, "select count(*) from ref;"), lines{"1"});
  EXPECT_EQ(db_rows(path, "select name, lower(type), pk from pragma_table_info('ref');"),
            (lines{"table_name,varchar,1", "last_rowid,integer,0", "last_update,integer,0"}));
  EXPECT_EQ(db_rows(path, "select count(*) from pragma_table_info('metadata');"), lines{"22"});
}

TEST_F(sqlite_adt_test, run_record_round_trips_and_updates_the_register) {
  sqlite_metadata_row row = sample_row(1000);
  ASSERT_TRUE(store.insert_metadata_row(row));
  EXPECT_EQ(db_rows(path, "select * from metadata;"), lines{sample_line});
  EXPECT_EQ(db_rows(path, "select last_rowid from ref where table_name='metadata';"),
            db_rows(path, "select max(rowid) from metadata;"));

  std::map<u64, sqlite_metadata_row> records;
  ASSERT_TRUE(store.get_metadata_records(records));
  ASSERT_EQ(records.size(), 1u);
  const sqlite_metadata_row& back = records.at(1000);
  EXPECT_EQ(back.cmdline, row.cmdline);
  EXPECT_EQ(back.lic_name, row.lic_name);
  EXPECT_EQ(back.output_option, row.output_option);
  EXPECT_EQ(back.row_data_start, 3u);
  EXPECT_EQ(back.row_data_end, 9u);
  EXPECT_TRUE(store.runtime_exists(1000));
  EXPECT_FALSE(store.runtime_exists(1001));
  EXPECT_EQ(store.get_row_data_end(1000), 9u);
  EXPECT_EQ(store.get_row_data_end(1001), 0u);
}

TEST_F(sqlite_adt_test, rewrites_keep_or_set_the_row_end_as_asked) {
  sqlite_metadata_row row = sample_row(0);
  ASSERT_TRUE(store.insert_metadata_row(row));
  row.toolname = "renamed";
  row.row_data_end = 555;  // not written by the rename
  ASSERT_TRUE(store.update_metadata_row(0, 4242, row));
  EXPECT_EQ(db_rows(path, "select runtime, toolname, row_data_end from metadata;"), lines{"4242,renamed,9"});

  ASSERT_TRUE(store.update_row_data_start(4242, 11));
  ASSERT_TRUE(store.update_row_data_end(4242, 0, true));
  EXPECT_EQ(db_rows(path, "select row_data_start, row_data_end from metadata;"), lines{"11,0"});
  ASSERT_EQ(exec("create table d (x); insert into d values (1); insert into d values (2);"), "");
  ASSERT_TRUE(store.update_row_data_end(4242, 0, false));
  EXPECT_EQ(db_rows(path, "select row_data_end from metadata;"), lines{"2"});
}

TEST_F(sqlite_adt_test, register_rows_are_found_by_any_name) {
  // Names are bound, so a quote in one can neither break nor extend the query.
  const std::vector<std::string> names = {"plain", "it's", "x' or '1'='1", "[b]"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    sqlite_ref_row row;
    row.table_name = name;
    row.last_rowid = 5;
    ASSERT_TRUE(store.insert_ref_row(row));
    EXPECT_NE(row.last_update, 0u);
    u64 last = 99;
    EXPECT_TRUE(store.find_last_rowid(&last, name));
    EXPECT_EQ(last, 5u);
    ASSERT_TRUE(store.update_ref_row(name, 12));
    EXPECT_EQ(store.get_last_rowid(name), 12u);
  }
  u64 last = 99;
  EXPECT_FALSE(store.find_last_rowid(&last, "missing"));
  EXPECT_EQ(last, 0u);
  EXPECT_FALSE(store.table_in_ref("it"));
  EXPECT_EQ(store.get_last_rowid("missing"), 0u);

  std::map<std::string, u64> map;
  ASSERT_TRUE(store.get_ref_records(map));
  EXPECT_EQ(map, (std::map<std::string, u64>{{"metadata", 0}, {"plain", 12}, {"it's", 12},
                                              {"x' or '1'='1", 12}, {"[b]", 12}}));
  std::vector<std::string> list;
  ASSERT_TRUE(store.get_ref_table_names(list));
  EXPECT_EQ(list.size(), 5u);
}

TEST_F(sqlite_adt_test, registering_a_name_twice_keeps_the_first_row) {
  sqlite_ref_row row;
  row.table_name = "t";
  row.last_rowid = 4;
  ASSERT_TRUE(store.insert_ref_row(row));
  row.last_rowid = 8;
  EXPECT_TRUE(store.insert_ref_row(row));
  EXPECT_EQ(db_rows(path, "select last_rowid from ref where table_name='t';"), lines{"4"});
}

// Writes that the library refuses must not be reported as done.
TEST_F(sqlite_adt_test, refused_writes_report_failure) {
  sqlite_metadata_row row = sample_row(1);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite_ref_row ref_row;
  ref_row.table_name = "t";
  EXPECT_FALSE(store.insert_metadata_row(row));
  EXPECT_FALSE(store.insert_ref_row(ref_row));
  EXPECT_FALSE(store.update_ref_row("metadata", 3));
  EXPECT_FALSE(store.update_metadata_row(1, 2, row));
  EXPECT_FALSE(store.update_row_data_end(1, 3, true));
  sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(db_rows(path, "select count(*) from metadata;"), lines{"0"});
  EXPECT_TRUE(store.insert_metadata_row(row));
}

TEST_F(sqlite_adt_test, max_rowid_of_any_table_name) {
  ASSERT_EQ(exec("create table [odd name'] (x); insert into [odd name'] values (1),(2),(3);"
                 "create table [empty] (x);"),
            "");
  EXPECT_EQ(store.get_max_rowid("odd name'"), 3u);
  EXPECT_EQ(store.get_max_rowid("empty"), 0u);
  EXPECT_EQ(store.get_max_rowid("missing"), 0u);
  EXPECT_EQ(store.get_max_rowid("empty]; drop table ref; --"), 0u);
  EXPECT_EQ(db_rows(path, "select count(*) from ref;"), lines{"1"});
}

TEST_F(sqlite_adt_test, generic_select_returns_names_and_rows) {
  sqlite_metadata_row row = sample_row(5);
  ASSERT_TRUE(store.insert_metadata_row(row));
  std::vector<std::string> names;
  std::vector<std::vector<std::string>> rows;
  ASSERT_TRUE(store.generic_sql_select(names, rows, "select runtime, toolname from metadata;", nullptr));
  EXPECT_EQ(names, (lines{"runtime", "toolname"}));
  EXPECT_EQ(rows, (std::vector<lines>{{"5", "dorvel v1.2"}}));
  EXPECT_FALSE(store.generic_sql_select(names, rows, "select * from metadata where runtime=6;", nullptr));
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(store.generic_sql_select(names, rows, "select * from nowhere;", nullptr));
  EXPECT_FALSE(store.generic_sql_select(names, rows, "", nullptr));
}

TEST_F(sqlite_adt_test, metadata_listing_stops_at_a_foreign_layout) {
  ASSERT_EQ(exec("alter table metadata add column extra integer;"
                 "insert into metadata (runtime) values (5), (6);"),
            "");
  std::map<u64, sqlite_metadata_row> records;
  EXPECT_FALSE(store.get_metadata_records(records));
  EXPECT_TRUE(records.empty());
}

TEST_F(sqlite_adt_test, new_run_after_rows_adds_a_chained_record) {
  ASSERT_EQ(exec("create table t (x); insert into t values (1),(2),(3);"), "");
  sqlite_ref_row ref_row;
  ref_row.table_name = "t";
  ref_row.last_rowid = 3;
  ASSERT_TRUE(store.insert_ref_row(ref_row));
  sqlite_metadata_row row = sample_row(100);
  row.data_tbl_name = "t";
  row.parent = 0;
  ASSERT_TRUE(store.insert_metadata_row(row));  // the previous run, rows 3 to 9 by its record

  u64 next = 0;
  ASSERT_TRUE(store.start_run(&next, 100, row, true));
  EXPECT_GT(next, 100u);
  EXPECT_EQ(store.runtime, next);
  EXPECT_EQ(row.runtime, next);
  EXPECT_EQ(db_rows(path, "select chunk, parent, row_data_start from metadata where runtime=" +
                              std::to_string(next) + ";"),
            lines{"1,100,4"});
  EXPECT_EQ(db_rows(path, "select count(*) from metadata;"), lines{"2"});
}

TEST_F(sqlite_adt_test, new_run_after_an_empty_one_renames_its_record) {
  sqlite_metadata_row row = sample_row(100);
  row.data_tbl_name = "t";
  row.row_data_end = 0;
  ASSERT_TRUE(store.insert_metadata_row(row));
  u64 next = 0;
  ASSERT_TRUE(store.start_run(&next, 100, row, true));
  EXPECT_EQ(store.runtime, next);
  EXPECT_EQ(row.runtime, 100u);
  EXPECT_EQ(db_rows(path, "select runtime, chunk, parent, row_data_start from metadata;"),
            lines{std::to_string(next) + ",0,0,1"});
}

// Another run writing the same database: what it commits is seen by the look-ups that this
// connection answers from what it read before (the latest runtime, the names in `ref`).
TEST_F(sqlite_adt_test, lookups_see_what_another_connection_committed) {
  sqlite_metadata_row row = sample_row(100);
  ASSERT_TRUE(store.insert_metadata_row(row));
  EXPECT_FALSE(store.runtime_exists(200));
  EXPECT_EQ(store.stored_table_name("services"), "services");

  sqlite3_adt other;
  ASSERT_TRUE(other.open_db(nullptr, path));
  sqlite_metadata_row later = sample_row(200);
  ASSERT_TRUE(other.insert_metadata_row(later));
  sqlite_ref_row ref_row;
  ref_row.table_name = "Services";
  ASSERT_TRUE(other.insert_ref_row(ref_row));
  other.close();

  EXPECT_TRUE(store.runtime_exists(200));
  EXPECT_FALSE(store.runtime_exists(300));
  EXPECT_EQ(store.stored_table_name("services"), "Services");
}

TEST_F(sqlite_adt_test, closed_connection_runs_nothing) {
  store.close();
  sqlite_metadata_row row = sample_row(1);
  sqlite_ref_row ref_row;
  std::map<std::string, u64> refs;
  std::map<u64, sqlite_metadata_row> records;
  u64 next = 0;
  EXPECT_FALSE(store.create_ref_table());
  EXPECT_FALSE(store.create_metadata_table());
  EXPECT_FALSE(store.insert_metadata_row(row));
  EXPECT_FALSE(store.insert_ref_row(ref_row));
  EXPECT_FALSE(store.update_ref_row("metadata", 1));
  EXPECT_FALSE(store.runtime_exists(1));
  EXPECT_FALSE(store.get_ref_records(refs));
  EXPECT_FALSE(store.get_metadata_records(records));
  EXPECT_FALSE(store.start_run(&next, 0, row, false));
  EXPECT_EQ(store.get_max_rowid("metadata"), 0u);
}

TEST(sqlite_metadata_row_test, defaults_and_column_readers) {
  sqlite_metadata_row row = sample_row(1000);
  row.clear();
  EXPECT_NE(row.runtime, 0u);
  EXPECT_EQ(row.output_option, sqlite_metadata_row::output_none);
  EXPECT_EQ(row.number_columns, 1);
  EXPECT_EQ(row.keep_long_names, 0);
  EXPECT_TRUE(row.cmdline.empty());
  EXPECT_EQ(row.row_data_end, 0u);

  std::vector<std::string> values = {"1000", "1", "7", "6699", "n", "c", "g", "a|b", "t", "x", "h",
                                     "u", "f", "fo", "0x102", "|", "notes", "tool", "type", "t1", "3", "9"};
  ASSERT_TRUE(row.set_from_strings(values, false));
  EXPECT_EQ(row.output_option, 258u);
  EXPECT_EQ(row.data_tbl_name, "t1");
  EXPECT_EQ(row.row_data_end, 9u);

  std::vector<char*> pointers;
  for (std::string& value : values) pointers.push_back(value.data());
  pointers[4] = nullptr;  // a NULL text reads as empty
  const std::vector<std::string> names(22, "n");
  ASSERT_TRUE(row.set_from_columns(names, 22, pointers.data()));
  EXPECT_EQ(row.runtime, 1000u);
  EXPECT_EQ(row.lic_name, "");
  EXPECT_EQ(row.separator, "|");

  for (const int count : {21, 23}) {
    SCOPED_TRACE(count);
    const std::vector<std::string> some_names(static_cast<size_t>(count), "n");
    std::vector<char*> some_values(static_cast<size_t>(count), pointers[0]);
    EXPECT_FALSE(row.set_from_columns(some_names, count, some_values.data()));
    EXPECT_NE(row.runtime, 1000u);
    EXPECT_TRUE(row.col_hdrs.empty());
  }
  EXPECT_FALSE(row.set_from_strings(std::vector<std::string>(21, "1"), false));
}

TEST(sqlite_metadata_row_test, fields_from_the_parameter_set) {
  struct kind_case {
    const char* name;
    u8 cmd_params::*flag;
    u64 expected;
  };
  const kind_case cases[] = {
      {"csv", &cmd_params::kind_csv, 258},         {"csvl2t", &cmd_params::kind_csvl2t, 259},
      {"bodyfile", &cmd_params::kind_bodyfile, 260}, {"xml", &cmd_params::kind_xml, 257},
      {"none", nullptr, 261},
  };
  for (const kind_case& c : cases) {
    SCOPED_TRACE(c.name);
    cmd_params tool(0, false);
    if (c.flag != nullptr) tool.*c.flag = 1;
    tool.arg_line = "telvar -src a.csv";
    tool.user_name = "analyst";
    tool.program_name = "telvar";
    tool.artifact_type_text = "ETL";
    sqlite_metadata_row row;
    row.lic_name = "kept?";
    row.set_from_tool(tool);
    EXPECT_EQ(row.output_option, c.expected);
    EXPECT_EQ(row.cmdline, "telvar -src a.csv");
    EXPECT_EQ(row.user, "analyst");
    EXPECT_EQ(row.host, get_host_name());
    EXPECT_EQ(row.separator, " | ");
    EXPECT_EQ(row.toolname, "telvar");
    EXPECT_EQ(row.artifact_type, "ETL");
    EXPECT_EQ(row.lic_name, "");
  }
  cmd_params tool(0, false);
  tool.host_name = "evidence-host";
  sqlite_metadata_row row;
  row.set_from_tool(tool);
  EXPECT_EQ(row.host, "evidence-host");
}

TEST(sqlite_metadata_row_test, file_listing_record_from_a_schema) {
  struct listing_schema {
    std::string name;
    std::vector<std::pair<std::string, std::string>> columns;
  };
  const listing_schema schema{"listing", {{"path", "varchar"}, {"size", "integer"}}};
  cmd_params tool(0, false);
  tool.separator_text = "|";
  tool.enumdir_path = "/cases/root";
  tool.compress = 1;
  sqlite_metadata_row row;
  u64 runtime = 0;
  row.set_from_schema(&runtime, tool, schema, 41);
  EXPECT_EQ(runtime, row.runtime);
  EXPECT_EQ(row.row_data_start, 42u);
  EXPECT_EQ(row.gen_hdrs, "not used");
  EXPECT_EQ(row.col_hdrs, "path|size");
  EXPECT_EQ(row.col_types, "varchar|integer");
  EXPECT_EQ(row.file, "/cases/root [folder analyzed]");
  EXPECT_EQ(row.file_other, "gzip requested");
  EXPECT_EQ(row.data_tbl_name, "listing");
  tool.out_path = "/out/list.txt";
  row.set_from_schema(&runtime, tool, schema, 0);
  EXPECT_EQ(row.file, "/out/list.txt [output]");
}

}  // namespace
