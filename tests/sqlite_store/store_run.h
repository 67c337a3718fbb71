// A run of "-csv_to_sqlite" (or another kind) into one database, driven as the front end
// drives it, for the tests of the store's writer.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/cmdline/qz_cmd_params.h"
#include "sqlite_store/sqlite_artifact.h"

struct store_run {
  explicit store_run(const std::string& db_path) {
    tool.sqlite_on = 1;
    tool.sqlite_path = db_path;
    tool.csv_to_sqlite_on = 1;
  }
  bool init() { return state.init_from_cmdline({}, "", tool); }
  // The per-source reset, then a group of columns for the table.
  void start_source(const std::string& table, const std::string& col_hdrs, const std::string& source) {
    state.meta_row.clear();
    state.runtime = 0;
    state.meta_row.data_tbl_name = table;
    state.meta_row.col_hdrs = col_hdrs;
    state.meta_row.file_other = source;
  }
  void add(const std::vector<std::string>& cells) { ASSERT_TRUE(sqlite3_artifact::add_fields_row(state.meta_row.runtime, cells, &tool)); }
  // n rows of two cells "<tag><i>" and "v<i>", flushed whenever more than the threshold wait.
  void add_many(int n, const std::string& tag) {
    for (int i = 1; i <= n; ++i) {
      const std::string number = std::to_string(i);
      add({tag + number, "v" + number});
      if (state.pending_count() > sqlite3_artifact::flush_threshold) {
        ASSERT_TRUE(state.flush());
      }
    }
  }

  cmd_params tool{0, false};
  sqlite_cmd_params state;
};
