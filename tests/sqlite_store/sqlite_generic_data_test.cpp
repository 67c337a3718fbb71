#include "sqlite_store/sqlite_generic_data.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sstream>
#include <string>
#include <vector>

#include "sqlite_store/sql_results.h"
#include "sqlite_store/sqlite_wrapper.h"
#include "tests/sqlite_store/db_rows.h"
#include "tests/text/temp_folder.h"

namespace {

TEST(generic_data, table_is_made_with_its_nine_columns_and_takes_bound_rows) {
  temp_folder folder("telvar_generic");
  ASSERT_FALSE(folder.path().empty());
  const std::string path = folder.file("g.db");
  {
    sqlite_wrapper store;
    ASSERT_TRUE(store.open_db(nullptr, path));
    sql_results results;
    ASSERT_TRUE(sql_transaction(&results, &store, {generic_data_create_statement()}, nullptr))
        << results.messages.str();
    EXPECT_FALSE(sql_transaction(&results, &store, {generic_data_create_statement()}, nullptr));
    EXPECT_EQ(results.already_exists, 1);

    sql_statement insert;
    ASSERT_TRUE(insert.prepare(store.db, generic_data_insert_statement())) << insert.error();
    sql_write_transaction batch;
    ASSERT_TRUE(batch.begin(store.db));
    const std::string first_line = "2024-01-01|x|line one";
    const std::string empty;
    const std::string second_line = "line two";
    const std::string str1 = "s1";
    const std::string str2 = "s2";
    ASSERT_TRUE(bind_generic_data_row(insert, 133000000000000000u, 1, 2, 3, 4, 5, str1, str2, first_line));
    ASSERT_TRUE(insert.run());
    ASSERT_TRUE(bind_generic_data_row(insert, 133000000000000000u, 0xFFFFFFFFFFFFFFFFu, 0, 0, 0, 0, empty,
                                      empty, second_line));
    ASSERT_TRUE(insert.run());
    ASSERT_TRUE(batch.commit());
  }
  EXPECT_EQ(db_rows(path, "select name, lower(type) from pragma_table_info('generic_data');"),
            (std::vector<std::string>{"metaref,integer", "val1,integer", "val2,integer", "val3,integer",
                                      "val4,integer", "val5,integer", "str1,varchar", "str2,varchar",
                                      "desired_output,varchar"}));
  // An all-ones value keeps its 64 bits (read back signed).
  EXPECT_EQ(db_rows(path, "select * from generic_data order by rowid;"),
            (std::vector<std::string>{"133000000000000000,1,2,3,4,5,s1,s2,2024-01-01|x|line one",
                                      "133000000000000000,-1,0,0,0,0,,,line two"}));
  EXPECT_EQ(generic_data_table_name(), "generic_data");
}

TEST(generic_data, column_name_lines) {
  const std::string common =
      "timezone|MACB|source|sourcetype|type|user|host|short|desc|version|filename|inode|notes|format|extra";
  const std::string extended_tail =
      "|ref count|extension|size data|inode seqnum|parent inode|parent seqnum|clusters|header info";
  struct l2t_case {
    const char* name;
    std::string separator;
    bool extended;
    bool one_column;
    std::string expected;
  };
  const l2t_case cases[] = {
      {"date and time apart", "|", false, false, "date|time|" + common},
      {"one date/time column", "|", false, true, "date/time|" + common},
      {"extended", "|", true, true, "date/time|" + common + extended_tail},
      {"comma", ",", false, false, "date,time,timezone,MACB,source,sourcetype,type,user,host,short,desc,"
                                   "version,filename,inode,notes,format,extra"},
  };
  for (const l2t_case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream out;
    write_l2t_header(out, c.separator, c.extended, c.one_column);
    EXPECT_EQ(out.str(), c.expected);
  }
  std::ostringstream bodyfile;
  write_bodyfile_col_hdrs(bodyfile);
  EXPECT_EQ(bodyfile.str(), "md5|name|inode|mode as string|uid|gid|size|access time|modify time|mft time|create time");
}

}  // namespace
