#include "tool/csv_writers.h"

#include "tool/cleanup_writer.h"
#include "tool/html_writer.h"
#include "tool/json_writer.h"
#include "tool/split_writer.h"
#include "tool/sqlite_writer_hooks.h"

csv_writer_kind select_csv_writer(const quazel_tool_metadata& ctx) {
  if (ctx.to_html) return csv_writer_kind::html;
  if (ctx.to_json) return csv_writer_kind::json;
  if (ctx.to_sqlite) return csv_writer_kind::sqlite;
  if (ctx.split) return csv_writer_kind::split;
  if (ctx.cleanup) return csv_writer_kind::cleanup;
  return csv_writer_kind::none;
}

const csv_writer_hooks* csv_writer_hooks_for(csv_writer_kind kind) {
  switch (kind) {
    case csv_writer_kind::html:
      return &html_writer_hooks;
    case csv_writer_kind::json:
      return &json_writer_hooks;
    case csv_writer_kind::cleanup:
      return &cleanup_writer_hooks;
    case csv_writer_kind::sqlite:
      return &sqlite_writer_hooks;
    case csv_writer_kind::split:
      return &split_writer_hooks;
    case csv_writer_kind::none:
      break;
  }
  return nullptr;
}

const csv_writer_hooks* active_csv_writer(const quazel_tool_metadata& ctx) {
  return csv_writer_hooks_for(select_csv_writer(ctx));
}
