#include "tool/sqlite_writer_hooks.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "sqlite_store/sqlite_artifact.h"
#include "tests/text/temp_folder.h"
#include "tests/sqlite_store/db_rows.h"
#include "tool/csv_banner.h"
#include "tool/csv_driver.h"
#include "tool/quazel_tool_metadata.h"

namespace {

using rows = std::vector<std::string>;

// A "-csv_to_sqlite" run in a fresh folder: every source goes through the real banner reader
// and conversion driver into one database, as a run over several sources does.
class sqlite_conversion {
 public:
  sqlite_conversion() : db(folder.file("case.db")) {
    ctx.status_display = 0;
    ctx.to_sqlite = 1;
    ctx.sqlite_on = 1;
    ctx.csv_to_sqlite_on = 1;
    ctx.sqlite_path = db;
  }

  // Writes the source and converts it; false when its banner or conversion fails.
  bool convert(const std::string& name, const std::string& text) {
    folder.put(name, text);
    if (!read_csv_banner(ctx, folder.file(name))) return false;
    if (!opened_ && !ctx.sqlite_state.init_from_cmdline({}, std::string(), ctx)) return false;
    opened_ = true;
    std::ostringstream out;
    return convert_csv_file(out, ctx, &sqlite_writer_hooks) == csv_conversion::converted && out.str().empty();
  }

  rows query(const std::string& sql) const { return db_rows(db, sql); }
  // Every row of a table, [metaref] left out.
  rows table_rows(const std::string& table, const std::string& columns) const {
    return query("select " + columns + " from `" + table + "` order by rowid;");
  }

  temp_folder folder{"sqlite_hooks"};
  std::string db;
  quazel_tool_metadata ctx;

 private:
  bool opened_ = false;
};

const std::string registry_source =
    "dorvel - 64 ver: 2.10; (c) Quazel LLC 2021\n"
    "License: L1d4 issued to North Lab\n"
    "Run time: 2021-03-04 05:06:07; job 12\n"
    "cmd line: dorvel -hive /cases/SOFTWARE -csv;\n"
    "------------------------------------------\n"
    "Artifact: SOFTWARE - Microsoft\n"
    "Registry key: Microsoft\\Windows\n"
    "Date Time,Size,Name,Kind\n"
    "2021-01-01,10,a,k\n"
    "2021-01-02,20,b\n"
    "2021-01-03,30,c,k,d,e\n"
    "2021-01-04,40\n"
    "lone line\n"
    "Artifact: SOFTWARE - Microsoft\n"
    "Registry key: Microsoft\\Other\n"
    "Date Time,Size,Name,Kind\n"
    "2021-02-01,50,f,k\n"
    "Artifact: SYSTEM\n"
    "Date Time,Size\n"
    "2021-03-01,60\n";

const std::string software_table = "dorvel.SOFTWARE_-_Mi-b9d27bbed693dd5144848c3186b405f5";
const std::string system_table = "dorvel.SYSTEM-93fb6197f6d7213f55188c3fe80f7996";
const std::string six_columns = "[1-Date_Tim],[2-Size],[3-Name],[4-Kind],[5-Registry],[6-overflow]";

TEST(sqlite_writer_hooks, groups_of_one_source_become_tables_with_one_run_record_per_batch) {
  sqlite_conversion run;
  ASSERT_TRUE(run.convert("registry.csv", registry_source));

  // Equal title and columns share a table; other columns or another title make another.
  EXPECT_EQ(run.query("select table_name, last_rowid from ref order by table_name;"),
            (rows{software_table + ",5", system_table + ",1", "metadata,3"}));
  EXPECT_EQ(run.query("select data_tbl_name, row_data_start, row_data_end, artifact_type, col_hdrs "
                      "from metadata order by runtime;"),
            (rows{software_table + ",1,4,SOFTWARE - Microsoft,Date Time|Size|Name|Kind|Registry key|overflow",
                  software_table + ",5,5,SOFTWARE - Microsoft,Date Time|Size|Name|Kind|Registry key|overflow",
                  system_table + ",1,1,SYSTEM,Date Time|Size|Registry key|overflow"}));
  // Every row carries its batch's runtime.
  EXPECT_EQ(run.query("select count(*) from `" + software_table +
                      "` t join metadata m on t.[metaref] = m.runtime and t.rowid between m.row_data_start "
                      "and m.row_data_end;"),
            (rows{"5"}));

  EXPECT_EQ(run.table_rows(software_table, six_columns),
            (rows{"2021-01-01,10,a,k,Microsoft/Windows,",
                  // a row short of its last fields leaves them empty
                  "2021-01-02,20,b,,Microsoft/Windows,",
                  // surplus fields go into the overflow cell, the extra value keeps its column
                  "2021-01-03,30,c,k,Microsoft/Windows,d,e", "2021-01-04,40,,,Microsoft/Windows,",
                  // the extra column takes the new group's banner value
                  "2021-02-01,50,f,k,Microsoft/Other,"}));
  // A group without a new banner value keeps the previous group's extra column.
  EXPECT_EQ(run.table_rows(system_table, "[1-Date_Tim],[2-Size],[3-Registry],[4-overflow]"),
            (rows{"2021-03-01,60,Microsoft/Other,"}));
}

TEST(sqlite_writer_hooks, run_record_comes_from_the_banner) {
  sqlite_conversion run;
  ASSERT_TRUE(run.convert("registry.csv", registry_source));
  const std::string source = run.folder.file("registry.csv");
  EXPECT_EQ(run.query("select distinct toolname, lic_num, lic_name, cmdline, notes, extra_args, file, "
                      "file_other, separator from metadata;"),
            (rows{"dorvel v2.10,468,North Lab,dorvel -hive /cases/SOFTWARE -csv,Runtime: 2021-03-04 05:06:07,"
                  "job 12,/cases/SOFTWARE," +
                  source + ",,"}));
}

TEST(sqlite_writer_hooks, column_titles_name_the_table_and_set_the_artifact_type) {
  sqlite_conversion run;
  ASSERT_TRUE(run.convert("security.csv",
                          "hasmir - 64 ver: 3.0; (c) Quazel LLC\n"
                          "Licensed to the lab\n"
                          "Run time: 2022-02-02\n"
                          "cmd line: hasmir -log /logs/Security.evtx;\n"
                          "Date|Time|Channel|EventID|Level|Message\n"
                          "2022-01-01|10:00|Security|4624|Info|logon\n"
                          "2022-01-01|10:01|Security|4625|Info|failed\n"));
  const std::string table = "hasmir.EventID-4624-3ca2b22ec9b5fd5936fddd4ad20c52cd";
  // A licence word whose rest is not hex gives licence number 0.
  EXPECT_EQ(run.query("select data_tbl_name, artifact_type, file, lic_num, lic_name, separator from metadata;"),
            (rows{table + ",EVT-4624,/logs/Security.evtx,0,the lab,|"}));
  EXPECT_EQ(run.table_rows(table, "[4-EventID],[6-Message],[7-overflow]"), (rows{"4624,logon,", "4625,failed,"}));
}

TEST(sqlite_writer_hooks, sources_without_banner_are_numbered_across_the_run) {
  sqlite_conversion run;
  ASSERT_TRUE(run.convert("one.csv", "key,value\na,1\nb,2\n"));
  ASSERT_TRUE(run.convert("two.csv", "k,v,w\nx,y,z\nx2,y2,z2\n"));
  ASSERT_TRUE(run.convert("three.csv", "key,value\nccc,333\n"));
  // The counter runs on; equal columns without a title still get their own numbered table.
  EXPECT_EQ(
      run.query("select data_tbl_name, row_data_start, row_data_end, toolname from metadata order by runtime;"),
      (rows{"Group-1-8bbe7ad4a2847686ed264c313c7e6c3e,1,2,", "Group-2-b0e9d61cd369941196083dc48c5fb258,1,2,",
            "Group-3-8bbe7ad4a2847686ed264c313c7e6c3e,1,1,"}));
  EXPECT_EQ(run.table_rows("Group-1-8bbe7ad4a2847686ed264c313c7e6c3e", "[1-key],[2-value],[3-overflow]"),
            (rows{"a,1,", "b,2,"}));
  EXPECT_EQ(run.table_rows("Group-2-b0e9d61cd369941196083dc48c5fb258", "[1-k],[2-v],[3-w],[4-overflow]"),
            (rows{"x,y,z,", "x2,y2,z2,"}));
}

TEST(sqlite_writer_hooks, bodyfile_keeps_its_eleven_columns) {
  const std::string source =
      "fendral - 64 ver: 1.0; (c) Quazel LLC\n"
      "License: L1 issued to X\n"
      "Run time: 2021-01-01\n"
      "cmd line: fendral -bodyfile -out x;\n"
      "0|/a|5|r/rrwxrwxrwx|0|0|10|1|2|3|4\n"
      "0|/b|6|r/rrwxrwxrwx|0|0|20|1|2|3\n";
  const std::string columns =
      "md5|name|inode|mode as string|uid|gid|size|access time|modify time|mft time|create time";
  struct bodyfile_case {
    const char* name;
    bool grp_like_formats;
    std::string table;
  } cases[] = {
      {"titled by the tool", false, "fendral-712cf93ffab438604bb7281d12b7ea09"},
      {"grouped like formats", true, "bodyfile-712cf93ffab438604bb7281d12b7ea09"},
  };
  for (const bodyfile_case& c : cases) {
    SCOPED_TRACE(c.name);
    sqlite_conversion run;
    run.ctx.grp_like_formats = c.grp_like_formats;
    ASSERT_TRUE(run.convert("body.csv", source));
    EXPECT_EQ(run.query("select data_tbl_name, col_hdrs, row_data_end from metadata;"),
              (rows{c.table + "," + columns + ",2"}));
    // The banner's own lines are not rows; a row one field short gets an empty last field.
    EXPECT_EQ(run.table_rows(c.table, "[2-name],[7-size],[10-mft_time],[11-create_t]"),
              (rows{"/a,10,3,4", "/b,20,3,"}));
  }
}

TEST(sqlite_writer_hooks, column_name_holding_the_bar_stays_one_column) {
  sqlite_conversion run;
  ASSERT_TRUE(run.convert("bars.csv", "a|b,c\n1,2\n3,4\n5,6\n"));
  const std::string table = "Group-1-70c0c132a120438ea021e1f25db56927";
  EXPECT_EQ(run.query("select col_hdrs from metadata;"), (rows{"a;b|c|overflow"}));
  EXPECT_EQ(run.table_rows(table, "[1-a;b],[2-c],[3-overflow]"), (rows{"1,2,", "3,4,", "5,6,"}));
}

TEST(sqlite_writer_hooks, data_table_name) {
  struct name_case {
    const char* name;
    std::string base;
    std::string col_hdrs;
    std::string expected;
  } cases[] = {
      {"cut to 20, blanks made one _", "dorvel.SOFTWARE - Microsoft", "a|b|overflow",
       "dorvel.SOFTWARE_-_Mi-5f6c543717bb3731019c2dc1580566d6"},
      {"short title whole", "Group-7", "a|b|overflow", "Group-7-5f6c543717bb3731019c2dc1580566d6"},
      {"brackets, quotes and semicolons never reach SQL", "x]; drop 'table'", "a|b|overflow",
       "x_drop_table_-5f6c543717bb3731019c2dc1580566d6"},
  };
  for (const name_case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(sqlite_data_table_name(c.base, c.col_hdrs), c.expected);
  }
}

TEST(sqlite_writer_hooks, banner_line_reports_whether_its_bits_are_set) {
  struct line_case {
    const char* name;
    u32 line_flags;
    int result;
    std::string artifact_type;
    std::string file;
    size_t title_fields;
    size_t pending_columns;
  } cases[] = {
      {"other writers' bits only",
       tag_line_bit(tag_line_title, tag_writer_json) | tag_line_bit(tag_line_title, tag_writer_html) |
           tag_line_bit(tag_line_extra_column, tag_writer_json), 0, "", "", 0, 0},
      {"title", 0x4, 1, "", "", 1, 0},
      {"extra column", 0x80, 1, "", "", 0, 1},
      {"artifact type", 0x1000, 1, "C:/x y", "", 0, 0},
      {"source", 0x20000, 1, "", "C:/x y", 0, 0},
  };
  for (const line_case& c : cases) {
    SCOPED_TRACE(c.name);
    quazel_tool_metadata ctx;
    tag_instr tag("Hive Location:", c.line_flags, 0);
    EXPECT_EQ(sqlite_out_parse_banner_line("Hive Location:  C:\\x y \r", tag, ctx), c.result);
    EXPECT_EQ(ctx.sqlite_state.meta_row.artifact_type, c.artifact_type);
    EXPECT_EQ(ctx.sqlite_state.meta_row.file, c.file);
    EXPECT_EQ(ctx.title_fields.size(), c.title_fields);
    EXPECT_EQ(ctx.pending_columns.size(), c.pending_columns);
    if (c.pending_columns) {
      EXPECT_EQ(ctx.pending_columns.at("Hive Location"), "C:/x y");
    }
  }
}

TEST(sqlite_writer_hooks, head_is_taken_once_per_source) {
  quazel_tool_metadata ctx;
  ctx.banner_found = 1;
  ctx.tool_name = "dorvel";
  ctx.tool_version = "1.2";
  ctx.licence_word = "L1A2B";
  ctx.separator = ",";
  ctx.columns = {"a", "b"};
  std::ostringstream head;
  EXPECT_EQ(sqlite_out_write_head(head, ctx), 1);
  EXPECT_EQ(ctx.head_pending, 0);
  EXPECT_TRUE(ctx.columns.empty());
  EXPECT_EQ(ctx.sqlite_state.meta_row.lic_num, 6699u);
  EXPECT_EQ(ctx.sqlite_state.meta_row.toolname, "dorvel v1.2");
  EXPECT_EQ(ctx.sqlite_state.meta_row.separator, ",");

  ctx.tool_name = "other";
  ctx.columns = {"a", "b"};
  EXPECT_EQ(sqlite_out_write_head(head, ctx), 1);
  EXPECT_EQ(ctx.sqlite_state.meta_row.toolname, "dorvel v1.2");
  EXPECT_EQ(ctx.columns.size(), 2u);
  EXPECT_TRUE(head.str().empty());
}

}  // namespace
