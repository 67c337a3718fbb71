// The two listings of a database's run records on the results stream.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "tests/e2e/telvar_process.h"

namespace {

using e2e::run_telvar;

// A database with the run-record tables as telvar writes them, filled by hand.
bool make_database(const std::string& path, const std::string& rows_sql) {
  std::string sql =
      "create table `ref` (`table_name` varchar primary key not null, `last_rowid` integer, `last_update` integer);"
      "create table `metadata` (`runtime` integer, `chunk` integer, `parent` integer, `lic_num` integer, "
      "`lic_name` varchar, `cmdline` varchar, `gen_hdrs` varchar, `col_hdrs` varchar, `col_types` varchar, "
      "`extra_args` varchar, `host` varchar, `user` varchar, `file` varchar, `file_other` varchar, "
      "`output_option` integer, `separator` varchar, `notes` varchar, `toolname` varchar, "
      "`artifact_type` varchar, `data_tbl_name` varchar, `row_data_start` integer, `row_data_end` integer);" +
      rows_sql;
  sqlite3* db = nullptr;
  const bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                  sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

std::string metadata_row(int runtime, const char* table, int start, int end) {
  return "insert into `metadata` values(" + std::to_string(runtime) + ",0,0,1,'lab','cmd','','','','','h','u','f','',0,"
         "'|','','dorvel','Registry','" + table + "'," + std::to_string(start) + "," + std::to_string(end) + ");";
}

std::string ref_row(const char* table, int last) {
  return "insert into `ref` values('" + std::string(table) + "'," + std::to_string(last) + ",0);";
}

TEST(Listings, RunRecordsAndTablesAreListedInOrder) {
  temp_folder dir("telvar_listing");
  ASSERT_TRUE(make_database(dir.file("run.db"), metadata_row(300, "group_b", 251, 400) +
                                                    metadata_row(100, "group_a", 1, 250) + ref_row("metadata", 12) +
                                                    ref_row("group_a", 250) + ref_row("Zeta", 5)));
  const std::string pad = "                              ";  // a name field of 30
  struct row {
    const char* name;
    const char* option;
    std::string expected;
  };
  const row rows[] = {
      {"run records by run time", "-metadata_records", "     1 :    250 : group_a\n   251 :    400 : group_b\n"},
      {"tables by name, bytewise", "-ref_records",
       "  count : table name\n"
       "      5 : Zeta" + pad.substr(4) + "\n"
       "    250 : group_a" + pad.substr(7) + "\n"
       "     12 : metadata" + pad.substr(8) + "\n"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    e2e::run_options options;
    options.cwd = dir.path();
    const e2e::run_result run = run_telvar({"-src", "run.db", r.option, "-quiet"}, options);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, r.expected);
  }
}

TEST(Listings, ADatabaseWithoutRecordsHasNoResults) {
  temp_folder dir("telvar_listing");
  ASSERT_TRUE(make_database(dir.file("empty.db"), ""));
  for (const char* option : {"-metadata_records", "-ref_records"}) {
    SCOPED_TRACE(option);
    e2e::run_options options;
    options.cwd = dir.path();
    const e2e::run_result run = run_telvar({"-src", "empty.db", option, "-quiet"}, options);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err, "no results\n");
    EXPECT_EQ(run.out, "");
  }
}

}  // namespace
