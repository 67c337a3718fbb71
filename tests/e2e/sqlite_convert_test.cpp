// "-csv_to_sqlite" end to end: the built telvar writes real database files, which the tests
// read back with SQL through the library itself.
#include <sys/stat.h>

#include <cstdio>

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "tests/e2e/telvar_process.h"
#include "tests/sqlite_store/db_rows.h"

namespace {

using rows = std::vector<std::string>;

// A column name as an SQL identifier, its own double quotes doubled.
std::string quoted_name(const std::string& name) {
  std::string out = "\"";
  for (const char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

const std::string run_keys = "dorvel.Run_keys-754ab6811d9db6a942ec561ff24a2f8c";
const std::string services = "dorvel.Services-f4afda7a70966ae0482af1dc551cf170";

class sqlite_convert : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(TELVAR_BINARY).empty()) GTEST_SKIP() << "telvar is not built";
    ASSERT_FALSE(folder.path().empty());
  }

  // Copies a fixture into the run's folder under name.
  void take_fixture(const std::string& fixture_name, const std::string& name) const {
    e2e::write_file(folder.file(name), e2e::fixture(fixture_name));
  }

  // telvar -src <source> -dst case.db -csv_to_sqlite in the run's folder, so that the sources
  // are recorded by the names given here.
  e2e::run_result convert(const std::string& source, std::vector<std::string> more = {}) const {
    std::vector<std::string> args = {"-src", source, "-dst", "case.db", "-csv_to_sqlite", "-quiet"};
    args.insert(args.end(), more.begin(), more.end());
    e2e::run_options options;
    options.cwd = folder.path();
    return e2e::run_telvar(args, options);
  }

  rows query(const std::string& sql) const { return db_rows(folder.file("case.db"), sql); }

  temp_folder folder{"e2e_sqlite"};
};

TEST_F(sqlite_convert, two_sources_share_tables_by_title_and_columns) {
  take_fixture("sqlite_registry.csv", "registry.csv");
  take_fixture("sqlite_registry_later.csv", "later.csv");
  const e2e::run_result first = convert("registry.csv");
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out, "");
  EXPECT_EQ(first.err, "");
  const e2e::run_result second = convert("later.csv");
  EXPECT_EQ(second.status, 0) << second.err;

  EXPECT_EQ(query("select table_name, last_rowid from ref order by table_name;"),
            (rows{run_keys + ",4", services + ",1", "metadata,3"}));
  // One run record per batch, with the rowids it filled and what the source's banner said.
  EXPECT_EQ(query("select data_tbl_name, row_data_start, row_data_end, toolname, lic_num, lic_name, notes, "
                  "extra_args, file, file_other, artifact_type, separator, output_option from metadata "
                  "order by runtime;"),
            (rows{run_keys + ",1,3,dorvel v1.31,1986,Harbor County Lab,Runtime: 2024-03-11 14:22:05,UTC,"
                             "/cases/c1/SOFTWARE,registry.csv,Run keys,,,261",
                  services + ",1,1,dorvel v1.31,1986,Harbor County Lab,Runtime: 2024-03-11 14:22:05,UTC,"
                             "/cases/c1/SOFTWARE,registry.csv,Services,,,261",
                  run_keys + ",4,4,dorvel v1.32,1987,Harbor County Lab,Runtime: 2024-04-01 09:00:00,,"
                             "/cases/c2/SOFTWARE,later.csv,Run keys,,,261"}));
  EXPECT_EQ(query("select col_hdrs from metadata where data_tbl_name = '" + services + "';"),
            (rows{"date|time|service name|image path|Registry key|overflow"}));

  // Every row carries the runtime of its own batch's record.
  EXPECT_EQ(query("select m.toolname, t.rowid, t.[1-date], t.[3-value_na], t.[4-value_da], t.[5-Registry], "
                  "t.[6-overflow] from `" + run_keys + "` t join metadata m on m.runtime = t.[metaref] "
                  "order by t.rowid;"),
            (rows{"dorvel v1.31,1,2024-02-27,NoteWellSync,\"C:\\Program Files\\NoteWell\\nwsync.exe\" /minimized,"
                  "Microsoft/Windows/CurrentVersion/Run,",
                  // surplus fields go into overflow; the banner value keeps its column
                  "dorvel v1.31,2,2024-03-02,DisplayCfg,\"rundll32.exe C:\\svchelp\\dcfg.dll,Start\","
                  "Microsoft/Windows/CurrentVersion/Run,left over,and more",
                  // a short row is kept, its missing field stored as 0
                  "dorvel v1.31,3,2024-03-02,Orphan,,Microsoft/Windows/CurrentVersion/Run,",
                  "dorvel v1.32,4,2024-03-30,Updater,C:\\Updater\\up.exe,Microsoft/Windows/CurrentVersion/Run,"}));
  EXPECT_EQ(query("select [3-service], [5-Registry] from `" + services + "`;"),
            (rows{"svchlp,ControlSet001/Services"}));
}

TEST_F(sqlite_convert, a_piped_list_fills_one_database) {
  take_fixture("sqlite_registry.csv", "registry.csv");
  take_fixture("sqlite_registry_later.csv", "later.csv");
  e2e::run_options options;
  options.cwd = folder.path();
  // Sources without a banner are recorded by their paths too, so that their rows can be told
  // apart.
  take_fixture("sqlite_short_rows.csv", "plain.csv");
  take_fixture("sqlite_short_rows.csv", "plain_copy.csv");
  options.stdin_text = "registry.csv\nplain.csv\nlater.csv\nplain_copy.csv\n";
  options.stdin_given = true;
  const e2e::run_result run =
      e2e::run_telvar({"-pipe", "-dst", "case.db", "-csv_to_sqlite", "-quiet"}, options);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(query("select data_tbl_name, row_data_start, row_data_end, file_other from metadata "
                  "where data_tbl_name not like 'Group-%' order by runtime;"),
            (rows{run_keys + ",1,3,registry.csv", services + ",1,1,registry.csv", run_keys + ",4,4,later.csv"}));
  EXPECT_EQ(query("select substr(data_tbl_name, 1, 8), row_data_start, row_data_end, file_other from metadata "
                  "where data_tbl_name like 'Group-%' order by runtime;"),
            (rows{"Group-1-,1,3,plain.csv", "Group-2-,1,3,plain_copy.csv"}));
}

TEST_F(sqlite_convert, batches_end_at_20001_rows) {
  std::string source = "n,v\n";
  for (int i = 1; i <= 40003; ++i) source += std::to_string(i) + ",x\n";
  e2e::write_file(folder.file("many.csv"), source);
  const e2e::run_result run = convert("many.csv");
  EXPECT_EQ(run.status, 0) << run.err;

  const std::string table = "Group-1-076331ca4b7ccd478a7780c981bd9775";
  EXPECT_EQ(query("select row_data_start, row_data_end from metadata order by runtime;"),
            (rows{"1,20001", "20002,40002", "40003,40003"}));
  EXPECT_EQ(query("select table_name, last_rowid from ref order by table_name;"),
            (rows{table + ",40003", "metadata,3"}));
  // Rows of one batch share its runtime, and the batches follow one another in the table.
  EXPECT_EQ(query("select min(rowid), max(rowid), min([1-n] + 0), max([1-n] + 0) from `" + table +
                  "` group by [metaref] order by [metaref];"),
            (rows{"1,20001,1,20001", "20002,40002,20002,40002", "40003,40003,40003,40003"}));
}

TEST_F(sqlite_convert, column_names_are_cleaned_and_always_quoted) {
  struct column_case {
    const char* name;
    const char* fixture;
    std::string table;
    rows columns;
    rows values;
  } cases[] = {
      {"cut to 8, brackets and # dropped, blanks made _", "sqlite_column_names.csv",
       "Group-1-d4b3aa1657a49f65e919856118db4efc",
       {"metaref", "1-Date_Tim", "2-Size", "3-Name", "4-padded", "5-averyver", "6-x_y", "7-overflow"},
       {"2024-01-01 10:00,1,a,b,c,d,"}},
      {"quotes, brackets and blanks", "sqlite_hostile_columns.csv", "Group-1-dff2518d9f0c5adf647a4e70ec3e1cab",
       {"metaref", "[x; drop table metadata; --", "a\"b", "c d", "ok", "overflow"}, {"1,2,3,4,"}},
  };
  for (const column_case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(folder.file("case.db").c_str());
    take_fixture(c.fixture, "source.csv");
    const e2e::run_result run = convert("source.csv");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(query("select name from pragma_table_info('" + c.table + "') order by cid;"), c.columns);
    std::string select;
    for (size_t i = 1; i < c.columns.size(); ++i) select += (i > 1 ? ", " : "") + quoted_name(c.columns[i]);
    EXPECT_EQ(query("select " + select + " from `" + c.table + "`;"), c.values);
    EXPECT_EQ(query("select count(*) from metadata;"), rows{"1"});
  }
}

// A row that lacks its last fields leaves them empty, as an empty field does: 0 is a value
// the source never held.
TEST_F(sqlite_convert, missing_trailing_cells_are_stored_empty) {
  take_fixture("sqlite_short_rows.csv", "short.csv");
  const e2e::run_result run = convert("short.csv");
  EXPECT_EQ(run.status, 0) << run.err;
  const rows tables = query("select data_tbl_name from metadata;");
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(query("select quote([1-a]), quote([2-b]), quote([3-c]), quote([4-d]) from `" + tables[0] +
                  "` order by rowid;"),
            (rows{"'1','2','',''", "'5','6','7','8'", "'3','4','',''"}));
}

TEST_F(sqlite_convert, a_database_that_cannot_be_set_up_stops_the_run) {
  take_fixture("sqlite_registry.csv", "registry.csv");
  // The write-protected run drops root (which would ignore the modes) and must still reach its
  // source, and a telvar it may run.
  ASSERT_EQ(chmod(folder.path().c_str(), 0755), 0);
  struct setup_case {
    const char* name;
    bool write_protected;  // else the file is no database
  } cases[] = {{"not a database", false}, {"write-protected", true}};
  for (const setup_case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.write_protected && geteuid() == 0 && e2e::telvar_for_other_users().empty()) {
      GTEST_SKIP() << "write-protected case: no folder that user " << e2e::other_user
                   << " can enter could be made for a copy of telvar";
    }
    const std::string db = folder.file("case.db");
    std::remove(db.c_str());
    if (c.write_protected) {
      ASSERT_EQ(convert("registry.csv").status, 0);
      ASSERT_EQ(chmod(db.c_str(), 0444), 0);
    } else {
      e2e::write_file(db, "case notes, not a database\n");
    }
    const std::string before = e2e::read_file(db);
    e2e::run_options options;
    options.cwd = folder.path();
    options.drop_root = c.write_protected;
    const e2e::run_result run = e2e::run_telvar({"-src", "registry.csv", "-dst", "case.db", "-csv_to_sqlite"}, options);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err, "Issue with initializing SQLite, aborting\n");
    EXPECT_EQ(e2e::read_file(db), before);
    chmod(db.c_str(), 0644);
  }
}

TEST_F(sqlite_convert, a_batch_that_cannot_be_written_fails_the_run_after_the_others) {
  take_fixture("sqlite_registry.csv", "registry.csv");
  ASSERT_EQ(convert("registry.csv").status, 0);
  // The database refuses one row of the Run keys group from now on.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(folder.file("case.db").c_str(), &db), SQLITE_OK);
  const std::string trigger = "create trigger refuse before insert on `" + run_keys +
                              "` when new.[3-value_na] = 'DisplayCfg' begin select raise(abort, 'refused'); end;";
  EXPECT_EQ(sqlite3_exec(db, trigger.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);

  const e2e::run_result run = convert("registry.csv");
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.err, "prob writing rows into case.db\n");
  // The refused batch left nothing behind; the next group's batch was written.
  EXPECT_EQ(query("select table_name, last_rowid from ref order by table_name;"),
            (rows{run_keys + ",3", services + ",2", "metadata,3"}));
  EXPECT_EQ(query("select data_tbl_name, row_data_start, row_data_end from metadata order by runtime;"),
            (rows{run_keys + ",1,3", services + ",1,1", services + ",2,2"}));
}

}  // namespace

// A line whose separators all stand inside quotes is one cell: no writer takes it as a row,
// the store neither; a row of two fields or more is padded as every writer pads it.
TEST_F(sqlite_convert, a_line_of_one_quoted_cell_is_no_row) {
  take_fixture("records_short_rows.csv", "short.csv");
  const e2e::run_result run = convert("short.csv");
  EXPECT_EQ(run.status, 0) << run.err;
  const rows tables = query("select data_tbl_name from metadata;");
  ASSERT_EQ(tables.size(), 1u);
  // Each row after its run stamp.
  rows stored = query("select * from " + quoted_name(tables[0]) + " order by rowid;");
  for (std::string& row : stored) row.erase(0, row.find(',') + 1);
  EXPECT_EQ(stored, (rows{"WS1,jmarsh,10:00,ok,", "WS2,abc,,,"}));
}

// Group titles that differ only in case name one table to the library ("services" and
// "Services"): the second group's rows go into the table made for the first, every run record
// names that table, and nothing is refused.
TEST_F(sqlite_convert, groups_whose_titles_differ_only_in_case_share_one_table) {
  const std::string banner = "dorvel - 64 ver: 1.31; (c) Quazel LLC\n"
                             "License: L7c2 issued to Harbor County Lab\n"
                             "Run time: 2024-03-11 14:22:05; UTC\n"
                             "cmd line: dorvel64 -hive /cases/c1/SOFTWARE -csv;\n";
  std::string source = banner;
  for (const char* title : {"services", "Services", "SERVICES"}) {
    source += "-------------------------------------------------------------------------------\n";
    source += std::string("Artifact: ") + title + "\nRegistry key: ControlSet001\\Services\n";
    source += "date,time,service name,image path\n";
    source += std::string("2024-03-02,22:41:12,") + title + ",C:\\svc.exe\n";
  }
  e2e::write_file(folder.file("cased.csv"), source);
  const e2e::run_result run = convert("cased.csv");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const rows tables = query("select table_name from ref where table_name <> 'metadata';");
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(query("select distinct data_tbl_name from metadata;"), tables);
  EXPECT_EQ(query("select [3-service] from " + quoted_name(tables[0]) + " order by rowid;"),
            (rows{"services", "Services", "SERVICES"}));
  EXPECT_EQ(query("select row_data_start, row_data_end from metadata order by runtime;"),
            (rows{"1,1", "2,2", "3,3"}));
}
