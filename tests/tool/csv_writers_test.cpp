#include "tool/csv_writers.h"

#include <gtest/gtest.h>

namespace {

TEST(CsvWriters, WriterFollowsTheActionFlagsInOrder) {
  struct flags_case {
    const char* name;
    u8 html, json, sqlite, split, cleanup;
    csv_writer_kind expected;
  };
  const flags_case cases[] = {
      {"none", 0, 0, 0, 0, 0, csv_writer_kind::none},
      {"html first", 1, 1, 1, 1, 1, csv_writer_kind::html},
      {"json before sqlite", 0, 1, 1, 1, 1, csv_writer_kind::json},
      {"sqlite before split", 0, 0, 1, 1, 1, csv_writer_kind::sqlite},
      {"split before cleanup", 0, 0, 0, 1, 1, csv_writer_kind::split},
      {"cleanup last", 0, 0, 0, 0, 1, csv_writer_kind::cleanup},
  };
  for (const flags_case& c : cases) {
    SCOPED_TRACE(c.name);
    quazel_tool_metadata ctx;
    ctx.to_html = c.html;
    ctx.to_json = c.json;
    ctx.to_sqlite = c.sqlite;
    ctx.split = c.split;
    ctx.cleanup = c.cleanup;
    EXPECT_EQ(select_csv_writer(ctx), c.expected);
  }
  EXPECT_NE(csv_writer_hooks_for(csv_writer_kind::html), nullptr);
  EXPECT_EQ(csv_writer_hooks_for(csv_writer_kind::none), nullptr);
}

}  // namespace
