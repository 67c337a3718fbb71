#include "sqlite_store/sqlite_readers.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/time/qz_variant.h"
#include "sqlite_store/sqlite_artifact.h"
#include "tests/text/temp_folder.h"
#include "tests/sqlite_store/db_rows.h"
#include "tests/sqlite_store/shell_tools.h"

namespace {

const char* const create_store_tables =
    "create table `ref` (`table_name` varchar primary key  not null, `last_rowid` integer, `last_update` integer);"
    "create table `metadata` (`runtime` integer, `chunk` integer, `parent` integer, `lic_num` integer, "
    "`lic_name` varchar, `cmdline` varchar, `gen_hdrs` varchar, `col_hdrs` varchar, `col_types` varchar, "
    "`extra_args` varchar, `host` varchar, `user` varchar, `file` varchar, `file_other` varchar, "
    "`output_option` integer, `separator` varchar, `notes` varchar, `toolname` varchar, `artifact_type` varchar, "
    "`data_tbl_name` varchar, `row_data_start` integer, `row_data_end` integer);";

// One run record with the fields the exports read.
struct run_record {
  u64 runtime;
  std::string toolname;
  std::string notes;
  std::string artifact_type;
  std::string extra_args;
  std::string csv_source;
  std::string artifact_source;
  std::string col_hdrs;
  std::string table;
  u64 start;
  u64 end;
};

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

// What was printed on standard error since CaptureStderr, without the status line's erasures
// that come before each message.
std::string captured_messages() {
  return std::regex_replace(testing::internal::GetCapturedStderr(), std::regex("\x1b\\[2K\r *\r?"), "");
}

struct data_row {
  u64 runtime;
  std::string a;
  std::string b;
};

// A database laid out as the store writes it, filled by SQL of the test's own.
class store_database {
 public:
  explicit store_database(const std::string& path) : path_(path) { run(create_store_tables); }

  void run(const std::string& sql) const {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "") << " in " << sql;
    sqlite3_free(error);
    sqlite3_close(db);
  }

  void add_run(const run_record& r) const {
    run("insert into metadata values(" + std::to_string(r.runtime) + ",0,0,0,'','',''," + quoted(r.col_hdrs) +
        ",''," + quoted(r.extra_args) + ",'',''," + quoted(r.artifact_source) + "," + quoted(r.csv_source) +
        ",261,'|'," + quoted(r.notes) + "," + quoted(r.toolname) + "," + quoted(r.artifact_type) + "," +
        quoted(r.table) + "," + std::to_string(r.start) + "," + std::to_string(r.end) + ");");
  }

  // A data table of two columns holding the rows.
  void add_table(const std::string& table, const std::vector<data_row>& rows) const {
    std::string sql = "create table " + quoted_id(table) + " ([metaref] integer, [1-a] varchar, [2-b] varchar);";
    for (const data_row& row : rows) {
      sql += "insert into " + quoted_id(table) + " values(" + std::to_string(row.runtime) + "," + quoted(row.a) +
             "," + quoted(row.b) + ");";
    }
    sql += "insert or replace into ref values(" + quoted(table) + "," + std::to_string(rows.size()) + ",0);";
    run(sql);
  }

 private:
  static std::string quoted_id(const std::string& name) {
    std::string out = "\"";
    for (const char c : name) {
      if (c == '"') out += '"';
      out += c;
    }
    return out + "\"";
  }
  std::string path_;
};

// A reader run: the database opened read-only as the tool opens a reader's source.
struct reader_run {
  explicit reader_run(const std::string& db) : tool(0, false) {
    tool.status_display = 0;
    tool.sqlite_on = 1;
    tool.sqlite_path = db;
    opened = store.init_from_cmdline({}, std::string(), tool);
  }
  cmd_params tool;
  sqlite_cmd_params store;
  bool opened = false;
};

std::vector<data_row> numbered_rows(u64 runtime, int first, int last) {
  std::vector<data_row> rows;
  for (int i = first; i <= last; ++i) {
    const std::string number = std::to_string(i);
    rows.push_back({runtime, "r" + number, "v" + number});
  }
  return rows;
}

run_record first_batch(const std::string& table, u64 end) {
  return {100, "t1 v1", "Runtime: 2020-01-01 10:00:00", "A1", "", "/src/one.csv", "/art/one", "a|b", table,
          1,   end};
}
run_record second_batch(const std::string& table, u64 start, u64 end) {
  // A run time of nothing: notes holds "Runtime: " alone.
  return {200, "t2 v2", "Runtime: ", "A2", "", "/src/two.csv", "/art/two", "a|b", table, start, end};
}

// Two tables of one row, each written by a run of its own.
void add_two_tables(const store_database& db, const std::string& first, const std::string& second) {
  db.add_table(first, numbered_rows(100, 1, 1));
  db.add_table(second, numbered_rows(200, 1, 1));
  db.add_run(first_batch(first, 1));
  db.add_run(second_batch(second, 1, 1));
}

TEST(sqlite_artifact_tables, rows_carry_the_run_record_of_their_batch) {
  temp_folder folder("sqlite_readers");
  store_database db(folder.file("case.db"));
  auto rows = numbered_rows(100, 1, 5);
  auto later = numbered_rows(200, 6, 8);
  rows.insert(rows.end(), later.begin(), later.end());
  db.add_table("tbl", rows);
  db.add_run(first_batch("tbl", 5));
  db.add_run(second_batch("tbl", 6, 8));
  db.run("insert into ref values('metadata',2,0);");

  reader_run reader(folder.file("case.db"));
  ASSERT_TRUE(reader.opened);
  ASSERT_TRUE(reader.store.export_artifact_tables({}, folder.file("out"), false, reader.tool));
  EXPECT_EQ(reader.store.failed_exports, 0u);
  EXPECT_EQ(folder.get("out/tbl.csv"),
            "a|b|tool used|orig runtime|artifact type|csv src|artifact src\n"
            "r1|v1|t1 v1|2020-01-01 10:00:00|A1|/src/one.csv|/art/one\n"
            "r2|v2|t1 v1|2020-01-01 10:00:00|A1|/src/one.csv|/art/one\n"
            "r3|v3|t1 v1|2020-01-01 10:00:00|A1|/src/one.csv|/art/one\n"
            "r4|v4|t1 v1|2020-01-01 10:00:00|A1|/src/one.csv|/art/one\n"
            "r5|v5|t1 v1|2020-01-01 10:00:00|A1|/src/one.csv|/art/one\n"
            "r6|v6|t2 v2||A2|/src/two.csv|/art/two\n"
            "r7|v7|t2 v2||A2|/src/two.csv|/art/two\n"
            "r8|v8|t2 v2||A2|/src/two.csv|/art/two\n");
  // The run records themselves are no data table.
  struct stat info;
  EXPECT_NE(stat(folder.file("out/metadata.csv").c_str(), &info), 0);
}

TEST(sqlite_artifact_tables, rows_beyond_the_last_run_record_are_kept_and_reported) {
  temp_folder folder("sqlite_readers");
  store_database db(folder.file("case.db"));
  db.add_table("tbl", numbered_rows(100, 1, 7));
  db.add_run(first_batch("tbl", 5));

  reader_run reader(folder.file("case.db"));
  testing::internal::CaptureStderr();
  EXPECT_TRUE(reader.store.export_artifact_tables({}, folder.file("out"), false, reader.tool));
  EXPECT_EQ(captured_messages(), "prob finding the run record of 2 rows of tbl\n");
  EXPECT_EQ(reader.store.failed_exports, 1u);
  const std::string text = folder.get("out/tbl.csv");
  EXPECT_NE(text.find("r5|v5|t1 v1|"), std::string::npos);
  EXPECT_NE(text.find("\nr6|v6|||||\nr7|v7|||||\n"), std::string::npos) << text;
}

TEST(sqlite_artifact_tables, extra_args_column_is_there_for_every_row_when_any_run_has_it) {
  temp_folder folder("sqlite_readers");
  store_database db(folder.file("case.db"));
  auto rows = numbered_rows(100, 1, 1);
  rows.push_back({200, "r2", "v2"});
  db.add_table("tbl", rows);
  db.add_run(first_batch("tbl", 1));
  run_record second = second_batch("tbl", 2, 2);
  second.extra_args = "job 12";
  db.add_run(second);

  reader_run reader(folder.file("case.db"));
  ASSERT_TRUE(reader.store.export_artifact_tables({}, folder.file("out"), false, reader.tool));
  EXPECT_EQ(folder.get("out/tbl.csv"),
            "a|b|tool used|orig runtime|artifact type|extra args|csv src|artifact src\n"
            "r1|v1|t1 v1|2020-01-01 10:00:00|A1||/src/one.csv|/art/one\n"
            "r2|v2|t2 v2||A2|job 12|/src/two.csv|/art/two\n");
}

TEST(sqlite_artifact_tables, values_never_break_the_line_or_its_columns) {
  struct separator_case {
    const char* name;
    const char* separator;  // "-change_csv_separator"; null for none
    std::string expected;
  } cases[] = {
      {"default bar", nullptr,
       "a|b|tool used|orig runtime|artifact type|csv src|artifact src\n"
       "x;y[LF]z|p,q\tr|t1 v1|2020-01-01 10:00:00|A1|/src/<>one.csv|/art/one\n"},
      {"comma", ",",
       "a,b,tool used,orig runtime,artifact type,csv src,artifact src\n"
       "x|y[LF]z,p q\tr,t1 v1,2020-01-01 10:00:00,A1,/src/<>one.csv,/art/one\n"},
      {"tab", "tab",
       "a\tb\ttool used\torig runtime\tartifact type\tcsv src\tartifact src\n"
       "x|y[LF]z\tp,q r\tt1 v1\t2020-01-01 10:00:00\tA1\t/src/<>one.csv\t/art/one\n"},
      {"several characters", "<>",
       "a<>b<>tool used<>orig runtime<>artifact type<>csv src<>artifact src\n"
       "x|y[LF]z<>p,q\tr<>t1 v1<>2020-01-01 10:00:00<>A1<>/src/ one.csv<>/art/one\n"},
  };
  for (const separator_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_folder folder("sqlite_readers");
    store_database db(folder.file("case.db"));
    db.add_table("tbl", {{100, "x|y\nz", "p,q\tr"}});
    run_record run = first_batch("tbl", 1);
    run.csv_source = "/src/<>one.csv";
    db.add_run(run);

    reader_run reader(folder.file("case.db"));
    if (c.separator != nullptr) {
      std::string separator = c.separator;
      reader.tool.set_csv_separator(separator, false);
    }
    ASSERT_TRUE(reader.store.export_artifact_tables({}, folder.file("out"), c.separator != nullptr, reader.tool));
    EXPECT_EQ(folder.get("out/tbl.csv"), c.expected);
  }
}

// Texts the store bound with their lengths may hold zero bytes; no export ends a value there.
TEST(sqlite_readers, zero_bytes_in_values_are_kept) {
  temp_folder folder("sqlite_readers");
  store_database db(folder.file("case.db"));
  db.add_table("tbl", numbered_rows(100, 1, 1));
  db.run("update tbl set [1-a] = 'x' || char(0) || 'y';");
  db.add_run(first_batch("tbl", 1));
  const std::string value("x\0y", 3);

  reader_run reader(folder.file("case.db"));
  ASSERT_TRUE(reader.store.export_artifact_tables({}, folder.file("out"), false, reader.tool));
  EXPECT_EQ(folder.get("out/tbl.csv"),
            "a|b|tool used|orig runtime|artifact type|csv src|artifact src\n" + value +
                "|v1|t1 v1|2020-01-01 10:00:00|A1|/src/one.csv|/art/one\n");
  ASSERT_TRUE(reader.store.export_table(folder.file("tbl.csv"), "tbl", reader.tool));
  EXPECT_EQ(folder.get("tbl.csv"), "metaref|1-a|2-b\n100|" + value + "|v1\n");
  std::ostringstream out;
  ASSERT_TRUE(reader.store.dump_table(&out, "tbl", reader.tool, false));
  EXPECT_EQ(out.str(), "metaref|1-a|2-b\n100|hex={78 00 79}|v1\n");
}

TEST(sqlite_artifact_tables, tables_whose_names_clean_alike_get_files_of_their_own) {
  temp_folder folder("sqlite_readers");
  store_database db(folder.file("case.db"));
  add_two_tables(db, "a b", "a_b");

  reader_run reader(folder.file("case.db"));
  ASSERT_TRUE(reader.store.export_artifact_tables({}, folder.file("out"), false, reader.tool));
  EXPECT_NE(folder.get("out/a_b.csv").find("|t1 v1|"), std::string::npos);
  EXPECT_NE(folder.get("out/a_b-2.csv").find("|t2 v2|"), std::string::npos);
}

TEST(sqlite_artifact_tables, a_table_that_cannot_be_written_is_skipped_and_counted) {
  temp_folder folder("sqlite_readers");
  store_database db(folder.file("case.db"));
  add_two_tables(db, "first", "second");
  ASSERT_EQ(mkdir(folder.file("out").c_str(), 0777), 0);
  ASSERT_EQ(mkdir(folder.file("out/first.csv").c_str(), 0777), 0);

  reader_run reader(folder.file("case.db"));
  testing::internal::CaptureStderr();
  EXPECT_TRUE(reader.store.export_artifact_tables({}, folder.file("out"), false, reader.tool));
  EXPECT_EQ(captured_messages(),
            "prob opening " + folder.file("out/first.csv") + " for output, skipping this data table\n");
  EXPECT_EQ(reader.store.failed_exports, 1u);
  EXPECT_NE(folder.get("out/second.csv").find("r1|v1|t2 v2"), std::string::npos);
}

TEST(sqlite_artifact_tables, nothing_to_export) {
  temp_folder folder("sqlite_readers");
  store_database db(folder.file("case.db"));
  reader_run empty(folder.file("case.db"));
  EXPECT_FALSE(empty.store.export_artifact_tables({}, folder.file("out"), false, empty.tool));

  db.add_table("tbl", numbered_rows(100, 1, 1));
  db.add_run(first_batch("tbl", 1));
  folder.put("file", "x");
  reader_run reader(folder.file("case.db"));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(reader.store.export_artifact_tables({}, folder.file("file/out"), false, reader.tool));
  EXPECT_EQ(captured_messages(),
            "prob creating destination folder: " + folder.file("file/out") + "\n");
}

TEST(sqlite_table_export, writes_every_column_with_values_kept_on_their_line) {
  temp_folder folder("sqlite_readers");
  store_database db(folder.file("case.db"));
  db.add_table("tbl", {{100, "x", "y|z"}, {100, "line\r\nend", "{\"k\":1}"}});

  reader_run reader(folder.file("case.db"));
  ASSERT_TRUE(reader.store.export_table(folder.file("tbl.csv"), "tbl", reader.tool));
  EXPECT_EQ(folder.get("tbl.csv"),
            "metaref|1-a|2-b\n"
            "100|x|y;z\n"
            "100|line[CRLF]end|{\"k\":1}\n");
}

TEST(sqlite_table_export, quoted_fields_read_back_as_they_were) {
  temp_folder folder("sqlite_readers");
  store_database db(folder.file("case.db"));
  db.add_table("tbl", {{1, "abc", "{\"k\":\"v\"}"}, {2, "say \"hi\"", "{\"k\":\"a|b\"}"}});

  reader_run reader(folder.file("case.db"));
  reader.tool.quoted_fields = 1;
  std::string bar = "|";
  reader.tool.set_csv_separator(bar, false);
  std::ostringstream out;
  ASSERT_TRUE(reader.store.dump_table(&out, "tbl", reader.tool, true));
  EXPECT_EQ(out.str(),
            "metaref|1-a|2-b\n"
            "\"1\"|\"abc\"|{\"k\":\"v\"}\n"
            "\"2\"|\"say \"\"hi\"\"\"|\"{\"\"k\"\":\"\"a|b\"\"}\"\n");
}

TEST(sqlite_table_export, without_raw_control_and_non_ascii_bytes_are_shown_in_hex) {
  temp_folder folder("sqlite_readers");
  store_database db(folder.file("case.db"));
  db.add_table("tbl", {{1, "a\tb", "\xc3\xa9"}});
  reader_run reader(folder.file("case.db"));
  std::ostringstream out;
  ASSERT_TRUE(reader.store.dump_table(&out, "tbl", reader.tool, false));
  EXPECT_EQ(out.str(), "metaref|1-a|2-b\n1|hex={61 09 62}|hex={c3 a9}\n");
}

TEST(sqlite_table_export, nothing_to_write_leaves_the_destination_alone) {
  temp_folder folder("sqlite_readers");
  store_database db(folder.file("case.db"));
  db.run("create table empty ([metaref] integer);");
  db.add_table("we'ird", {{1, "q", "r"}});
  const std::string before = "kept\n";

  struct export_case {
    const char* name;
    std::string table;
    bool result;
    std::string file;
  } cases[] = {
      {"missing table", "nothere", false, before},
      {"empty table", "empty", false, before},
      {"a name that would end its quotes", "x'; drop table ref; --", false, before},
      {"a name holding a quote, any case", "WE'IRD", true, "metaref|1-a|2-b\n1|q|r\n"},
  };
  for (const export_case& c : cases) {
    SCOPED_TRACE(c.name);
    folder.put("out.csv", before);
    reader_run reader(folder.file("case.db"));
    EXPECT_EQ(reader.store.export_table(folder.file("out.csv"), c.table, reader.tool), c.result);
    EXPECT_EQ(folder.get("out.csv"), c.file);
  }
  EXPECT_EQ(db_rows(folder.file("case.db"), "select count(*) from ref;"), std::vector<std::string>{"1"});
}

TEST(sqlite_table_export, destination_that_cannot_be_written) {
  temp_folder folder("sqlite_readers");
  const std::string path = folder.file("case.db");
  store_database db(path);
  db.add_table("tbl", {{1, "q", "r"}});
  ASSERT_EQ(mkdir(folder.file("folder").c_str(), 0777), 0);

  struct destination_case {
    const char* name;
    std::string dst;
    std::string message;
  } cases[] = {
      {"a folder", folder.file("folder"), "prob accessing " + folder.file("folder") + ", aborting\n"},
      {"the database itself", path, "prob accessing " + path + ", it is the database being read, aborting\n"},
  };
  for (const destination_case& c : cases) {
    SCOPED_TRACE(c.name);
    reader_run reader(path);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(reader.store.export_table(c.dst, "tbl", reader.tool));
    EXPECT_EQ(captured_messages(), c.message);
  }
  EXPECT_EQ(db_rows(path, "select [1-a] from tbl;"), std::vector<std::string>{"q"});
}

}  // namespace

// ---- Stored lines of generic_data, one file per run ----

namespace {

// A generic_data table as the store makes it, holding lines of the given runs.
void add_generic_lines(const store_database& db, const std::string& table,
                       const std::vector<std::pair<u64, std::string>>& lines_by_run) {
  std::string sql = "create table if not exists \"" + table +
                    "\" (`metaref` integer, `val1` integer, `val2` integer, `val3` integer, `val4` integer, "
                    "`val5` integer, `str1` varchar, `str2` varchar, `desired_output` varchar);";
  for (const auto& [run, line] : lines_by_run) {
    sql += "insert into \"" + table + "\" (metaref, desired_output) values(" + std::to_string(run) + "," +
           quoted(line) + ");";
  }
  sql += "insert or replace into ref values(" + quoted(table) + "," + std::to_string(lines_by_run.size()) + ",0);";
  db.run(sql);
}

run_record generic_run(u64 runtime, const std::string& tool, const std::string& file, const std::string& artifact) {
  return {runtime, tool, "Runtime: ", artifact, "", "", file, "when|what", "generic_data", 1, 1};
}

std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct generic_export_test : ::testing::Test {
  void SetUp() override { ASSERT_FALSE(folder.path().empty()); }
  // Opens the database for reading and exports into <folder>/out.
  bool export_all() {
    reader_run reader(db_path);
    EXPECT_TRUE(reader.opened);
    return reader.store.export_generic_files(files, out());
  }
  std::string out() const { return folder.file("out"); }
  temp_folder folder{"telvar_generic_export"};
  std::string db_path = folder.file("case.db");
  store_database db{db_path};
  std::vector<std::string> files;
};

TEST_F(generic_export_test, one_file_per_run_named_after_its_record) {
  db.add_run(generic_run(100, "evtparse", "/data/case one/Sys.evt", "Event Log"));
  db.add_run(generic_run(200, "t2", "", "x"));
  db.run("update metadata set separator = '' where runtime = 200;");
  add_generic_lines(db, "generic_data", {{100, "l1"}, {100, "l2"}, {200, "m1"}});
  ASSERT_TRUE(export_all());
  const std::string first = out() + "/evtparse_Sys.evt_Event_Log_100.csv";
  const std::string second = out() + "/t2___x_200.txt";
  EXPECT_EQ(files, (std::vector<std::string>{first, second}));
  EXPECT_EQ(file_text(first), "when|what\nl1\nl2\n");
  EXPECT_EQ(file_text(second), "when|what\nm1\n");
}

TEST_F(generic_export_test, a_run_met_again_goes_on_in_its_file) {
  db.add_run(generic_run(100, "a", "f", "k"));
  db.add_run(generic_run(200, "b", "f", "k"));
  add_generic_lines(db, "generic_data", {{100, "one"}, {200, "two"}, {100, "three"}});
  ASSERT_TRUE(export_all());
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(file_text(out() + "/a_f_k_100.csv"), "when|what\none\nthree\n");
  EXPECT_EQ(file_text(out() + "/b_f_k_200.csv"), "when|what\ntwo\n");
}

TEST_F(generic_export_test, names_from_run_records_stay_in_the_folder) {
  db.add_run(generic_run(100, "../../escape", "/x/..", "a/b\\c"));
  db.add_run(generic_run(200, "/", "..", ".."));
  add_generic_lines(db, "generic_data", {{100, "l"}, {200, "m"}});
  ASSERT_TRUE(export_all());
  ASSERT_EQ(files.size(), 2u);
  for (const std::string& file : files) {
    EXPECT_EQ(std::filesystem::path(file).parent_path(), std::filesystem::path(out())) << file;
    EXPECT_TRUE(std::filesystem::is_regular_file(file)) << file;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2) << "only case.db and out";
}

TEST_F(generic_export_test, tables_with_a_dash_are_exported_and_data_tables_passed_over) {
  db.add_table("data-1f2e", numbered_rows(100, 1, 2));
  db.add_run(generic_run(100, "a", "f", "k"));
  db.add_run(generic_run(200, "b", "f", "k"));
  add_generic_lines(db, "lines-2", {{200, "from the dashed table"}});
  add_generic_lines(db, "generic_data", {{100, "plain"}});
  ASSERT_TRUE(export_all());
  EXPECT_EQ(file_text(out() + "/b_f_k_200.csv"), "when|what\nfrom the dashed table\n");
  EXPECT_EQ(file_text(out() + "/a_f_k_100.csv"), "when|what\nplain\n");
}

TEST_F(generic_export_test, failures_are_reported_and_fail_the_export) {
  db.add_run(generic_run(100, "a", "f", "k"));
  add_generic_lines(db, "generic_data", {{100, "kept"}, {999, "no run"}});
  testing::internal::CaptureStderr();
  EXPECT_FALSE(export_all());
  EXPECT_NE(captured_messages().find("prob finding the run record"), std::string::npos);
  EXPECT_EQ(file_text(out() + "/a_f_k_100.csv"), "when|what\nkept\n");

  // A folder where the file would go: the file cannot be opened.
  std::filesystem::remove_all(out());
  std::filesystem::create_directories(out() + "/a_f_k_100.csv");
  files.clear();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(export_all());
  EXPECT_NE(captured_messages().find("prob writing " + out() + "/a_f_k_100.csv"), std::string::npos);
  EXPECT_TRUE(files.empty());

  // A destination that is a file cannot be made a folder.
  folder.put("plain", "x");
  reader_run reader(db_path);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(reader.store.export_generic_files(files, folder.file("plain")));
  EXPECT_NE(captured_messages().find("prob creating destination folder"), std::string::npos);
  sqlite_cmd_params closed;
  EXPECT_FALSE(closed.export_generic_files(files, out()));
}

// Lines a timeline writer stored, with every kind of cell users' data holds, read back by
// Python's csv module from the exported file: every cell comes back as it was.
TEST(generic_export_reference, exported_lines_read_back_by_pythons_csv_module) {
  if (!has_program("python3")) GTEST_SKIP() << "python3 missing: skipped";
  temp_folder folder("telvar_generic_csv");
  const std::string db = folder.file("case.db");
  const std::vector<std::vector<std::string>> rows = {
      {"plain", "2024-01-31 13:45:07", "x"},
      {"with \"quotes\" inside", "\"", "\"\""},
      {"a,comma", ",", ",,,"},
      {"line\nend", "crlf\r\nend", "\r"},
      {std::string(4096, 'k'), std::string(2000, ',') + "\"" + std::string(2000, '\n'), ""},
      {"", "", "last"},
  };
  auto csv_line = [](const std::vector<std::string>& cells) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
      if (i > 0) line += ',';
      line += '"';
      for (const char c : cells[i]) line += c == '"' ? std::string("\"\"") : std::string(1, c);
      line += '"';
    }
    return line;
  };
  {
    cmd_params tool(0, false);
    tool.sqlite_on = 1;
    tool.sqlite_path = db;
    tool.kind_csv = 1;
    tool.program_name = "writer";
    sqlite_cmd_params store;
    ASSERT_TRUE(store.init_from_cmdline({}, "", tool));
    store.meta_row.col_hdrs = "first,second,third";
    for (const auto& cells : rows) {
      std::ostringstream line(csv_line(cells));
      store.add_generic_row(line, 0, 0, "", "", 0, 0, 0);
    }
    ASSERT_TRUE(store.flush());
  }
  reader_run reader(db);
  std::vector<std::string> files;
  ASSERT_TRUE(reader.store.export_generic_files(files, folder.file("out")));
  ASSERT_EQ(files.size(), 1u);
  expect_whole(db);
  int status = 0;
  const std::string read_back = command_output(
      "python3 -c 'import csv,sys\n"
      "with open(sys.argv[1], newline=\"\") as f:\n"
      "  for row in csv.reader(f): print(\" \".join(c.encode().hex() or \"-\" for c in row))' " +
          shell_quoted(files[0]),
      &status);
  ASSERT_EQ(status, 0);
  std::string expected;
  auto hex_line = [](const std::vector<std::string>& cells) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
      if (i > 0) line += ' ';
      if (cells[i].empty()) line += '-';
      for (const unsigned char c : cells[i]) {
        static const char digits[] = "0123456789abcdef";
        line += digits[c >> 4];
        line += digits[c & 15];
      }
    }
    return line + "\n";
  };
  expected += hex_line({"first", "second", "third"});
  for (const auto& cells : rows) expected += hex_line(cells);
  EXPECT_EQ(read_back, expected);
}

TEST(generic_rows, text_cut_into_lines_becomes_rows_of_one_run) {
  temp_folder folder("telvar_generic_split");
  cmd_params tool(0, false);
  tool.sqlite_on = 1;
  tool.sqlite_path = folder.file("case.db");
  tool.kind_csv = 1;
  sqlite_cmd_params store;
  ASSERT_TRUE(store.init_from_cmdline({}, "", tool));
  std::ostringstream text("one\ntwo  \n\n  three\n");
  EXPECT_TRUE(store.split_generic_rows(text, 7, 8, "s"));
  ASSERT_EQ(store.pending.size(), 3u);
  std::ostringstream no_line_end("no line end");
  EXPECT_FALSE(store.split_generic_rows(no_line_end, 1, 1, ""));
  std::ostringstream empty;
  EXPECT_FALSE(store.split_generic_rows(empty, 1, 1, ""));
  ASSERT_TRUE(store.flush());
  EXPECT_EQ(db_rows(tool.sqlite_path, "select val1, val2, str1, desired_output from generic_data order by rowid;"),
            (std::vector<std::string>{"7,8,s,one", "7,8,s,two", "7,8,s,three"}));
}

// ---- Rows printed as aligned typed columns ----

// Stands in for the timeline layer's writers: records what it was handed.
struct recorded_print {
  std::vector<qz_variant_lite> header;
  bool header_no_widths = false;
  std::string header_separator;
  std::vector<std::vector<std::string>> rows;
  std::vector<std::vector<qz_variant_lite>> row_templates;
  std::vector<u32> row_flags;
};
recorded_print* recording = nullptr;

const aligned_row_writer recording_writer = {
    [](std::ostream& out, const std::vector<qz_variant_lite>& cells, const std::string& separator, bool,
       bool no_widths) {
      recording->header = cells;
      recording->header_separator = separator;
      recording->header_no_widths = no_widths;
      out << "header\n";
    },
    [](std::ostream& out, const std::vector<std::string>& values, cmd_params& settings, u32 flags,
       aligned_cell_text_fn, aligned_cell_text_fn) {
      recording->rows.push_back(values);
      recording->row_templates.push_back(settings.source_columns);
      recording->row_flags.push_back(flags);
      out << "row\n";
    }};

TEST(print_rows_aligned, widths_come_from_names_and_values) {
  struct width_case {
    const char* name;
    u32 max_width;
    bool cut;
    u8 trim;
    std::vector<u64> widths;
    u16 limit;
    bool cut_flag;
  };
  const width_case cases[] = {
      {"widest of name and values", 0, false, 0, {4, 11, 3}, 20, false},
      {"capped", 5, true, 0, {4, 5, 3}, 5, true},
      {"capped without cutting", 5, false, 0, {4, 5, 3}, 5, false},
      {"no widths", 0, false, 1, {4, 4, 0}, 20, false},
  };
  const std::vector<std::string> names = {"name", "when", "sz"};
  const std::vector<std::vector<std::string>> rows = {{"ab", "a long text", "100"}, {"abcd"}};
  for (const width_case& c : cases) {
    recorded_print printed;
    recording = &printed;
    cmd_params tool(0, false);
    tool.trim_fields = c.trim;
    tool.source_columns = {qz_variant_lite("", 0), qz_variant_lite("when", 4, variant_unix_time + 1, 0x80)};
    sqlite_cmd_params store;
    std::ostringstream out;
    ASSERT_TRUE(store.print_rows_aligned(out, names, rows, tool, c.max_width, c.cut, nullptr, nullptr,
                                         &recording_writer))
        << c.name;
    EXPECT_EQ(out.str(), "header\nrow\nrow\n") << c.name;
    ASSERT_EQ(printed.header.size(), 3u) << c.name;
    EXPECT_EQ(printed.header[0].text, "name") << c.name;
    EXPECT_EQ(printed.header[0].type, variant_text) << c.name;
    EXPECT_EQ(printed.header[1].type, variant_unix_time + 1) << c.name;
    EXPECT_EQ(printed.header[2].text, "sz") << c.name;
    EXPECT_EQ(printed.header_no_widths, c.trim != 0) << c.name;
    for (size_t i = 0; i < 3; ++i) {
      if (!c.trim) {
        EXPECT_EQ(printed.header[i].aux, c.widths[i]) << c.name << " column " << i;
      }
      EXPECT_EQ(printed.header[i].text_limit, c.limit) << c.name;
      EXPECT_EQ((printed.header[i].flags & variant_flag_cut_text) != 0, c.cut_flag) << c.name;
    }
    // The short row is given one value per name; every row sees the templates.
    EXPECT_EQ(printed.rows[1], (std::vector<std::string>{"abcd", "", ""})) << c.name;
    EXPECT_EQ(printed.row_templates[0], printed.header) << c.name;
  }
}

TEST(print_rows_aligned, quoted_fields_and_refusals) {
  recorded_print printed;
  recording = &printed;
  cmd_params tool(0, false);
  tool.quoted_fields = 1;
  sqlite_cmd_params store;
  std::ostringstream out;
  ASSERT_TRUE(store.print_rows_aligned(out, {"a"}, {{"1"}}, tool, 0, false, nullptr, nullptr, &recording_writer));
  EXPECT_EQ(printed.row_flags, std::vector<u32>{0x8000});
  const aligned_row_writer half = {recording_writer.write_header, nullptr};
  std::ostringstream nothing;
  EXPECT_FALSE(store.print_rows_aligned(nothing, {}, {{"1"}}, tool, 0, false, nullptr, nullptr, &recording_writer));
  EXPECT_FALSE(store.print_rows_aligned(nothing, {"a"}, {}, tool, 0, false, nullptr, nullptr, &recording_writer));
  EXPECT_FALSE(store.print_rows_aligned(nothing, {"a"}, {{"1"}}, tool, 0, false, nullptr, nullptr, nullptr));
  EXPECT_FALSE(store.print_rows_aligned(nothing, {"a"}, {{"1"}}, tool, 0, false, nullptr, nullptr, &half));
  EXPECT_EQ(nothing.str(), "");
}

}  // namespace
