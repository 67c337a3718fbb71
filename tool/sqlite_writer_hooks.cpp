#include "tool/sqlite_writer_hooks.h"

#include "framework/text/qz_md5.h"
#include "framework/text/qz_number_parse.h"
#include "framework/text/qz_split.h"
#include "sqlite_store/sqlite_artifact.h"

namespace {

constexpr u32 column_roles = sqlite_column_title | sqlite_column_artifact_type | sqlite_column_source;
constexpr size_t table_title_bytes = 20;

sqlite3_artifact& store_of(quazel_tool_metadata& ctx) { return ctx.sqlite_state; }

// The run record's list of column names. A name read from a source separated otherwise may
// hold "|"; it would split into two columns of the table and shift every cell after it, so
// it stands as ";" (the run's usual stand-in for "|" inside a value).
std::string join_column_names(const std::vector<std::string>& columns) {
  std::string joined;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) joined += '|';
    const size_t start = joined.size();
    joined += columns[i];
    for (size_t k = start; k < joined.size(); ++k) {
      if (joined[k] == '|') joined[k] = ';';
    }
  }
  return joined;
}

void set_column_list(sqlite3_artifact& store, const std::vector<std::string>& columns) {
  store.meta_row.col_hdrs = join_column_names(columns);
  // The cleaned names belong to the previous list.
  store.meta_row.column_names.clear();
}

// Writes the rows waiting: 1 when some were written, 0 when none waited, no database is open or
// the batch alone was refused (the next batches are still tried), hook_output_failed when it
// was the second batch in a row that could not be written: the database takes no more.
int flush_rows(sqlite3_artifact& store) {
  const bool written = store.flush();
  if (!written && store.failed_in_a_row >= 2) return hook_output_failed;
  return written ? 1 : 0;
}

void reset_title(quazel_tool_metadata& ctx) {
  ctx.title_text.str(std::string());
  ctx.title_text.clear();
}

// Names the group's table from its first row: the base title, the title columns' values, or
// else the next untitled number; the artifact-type and source columns set the run record. The
// rows waiting are written first: the flush's result.
int name_group_table(const std::vector<std::string>& cells, quazel_tool_metadata& ctx) {
  sqlite3_artifact& store = store_of(ctx);
  const std::string name = group_title(ctx, cells, sqlite_column_title, name_title_style, "Group-");
  for (const tag_instr& tag : ctx.tags) {
    const std::string* cell = tag_cell(tag, cells);
    if (cell == nullptr) continue;
    if (tag.column_flags & sqlite_column_artifact_type) {
      store.meta_row.artifact_type = ctx.artifact_type + "-" + *cell;
    }
    if (tag.column_flags & sqlite_column_source) store.meta_row.file = *cell;
  }
  ctx.group_title = sqlite_data_table_name(name, store.meta_row.col_hdrs);
  reset_title(ctx);
  store.meta_row.data_tbl_name = ctx.group_title;
  return flush_rows(store);
}

// cells hold one value per name of ctx.columns (or fewer: the rest stay empty); a long row's
// strings are taken over, leaving cells empty. 1, or hook_output_failed when rows written on
// the way failed.
int store_row(std::vector<std::string>& cells, quazel_tool_metadata& ctx) {
  sqlite3_artifact& store = store_of(ctx);
  const int named = ctx.group_title.empty() ? name_group_table(cells, ctx) : 1;
  ctx.group_has_rows = 1;
  sqlite3_artifact::take_fields_row(store.meta_row.runtime, cells, &ctx);
  const bool full = store.pending_count() > sqlite3_artifact::flush_threshold ||
                    store.pending_bytes() > sqlite3_artifact::flush_bytes;
  const int flushed = full ? flush_rows(store) : 1;
  return hook_result(named, hook_result(flushed, 1));
}

// cells: the row's fields followed by the extra-column values. store_row's result.
int add_data_row(std::vector<std::string>& cells, quazel_tool_metadata& ctx) {
  // Surplus fields go into the overflow cell and the extra-column values keep their columns.
  if (!merge_surplus_fields(cells, ctx, true) && cells.size() + 1 == ctx.columns.size()) cells.emplace_back();
  return store_row(cells, ctx);
}

// The last rows belong to this source's run record, also after an interruption.
int sqlite_out_end_source(std::ostream&, std::ostringstream&, quazel_tool_metadata& ctx, bool) {
  return flush_rows(ctx.sqlite_state);
}

}  // namespace

const csv_writer_hooks sqlite_writer_hooks = {
    sqlite_out_write_head, sqlite_out_banner_begin, sqlite_out_parse_banner_line,
    sqlite_out_end_group,  sqlite_out_short_row,    sqlite_out_write_row,
    nullptr,               sqlite_out_end_source,
    /*trims_lines=*/false, /*pads_short_rows=*/false, /*overflow_cell=*/true, /*copies_lines=*/false,
};

std::string sqlite_data_table_name(const std::string& base, const std::string& col_hdrs) {
  std::string name = base.substr(0, table_title_bytes);
  u8 digest[16];
  std::string hex;
  if (md5_digest(reinterpret_cast<const u8*>(col_hdrs.data()), static_cast<u32>(col_hdrs.size()), digest)) {
    bytes_to_hex(hex, digest, sizeof digest, false);
  }
  name += '-';
  name += hex;
  std::string cleaned;
  return sanitize_identifier(cleaned, name);
}

int sqlite_out_write_head(std::ostringstream&, quazel_tool_metadata& ctx) {
  if (!begin_writer_head(ctx)) return 1;
  sqlite_metadata_row& row = store_of(ctx).meta_row;
  // Every source is recorded by its path: the rows of sources without a banner are told
  // apart by it alone.
  row.file_other = ctx.csv_source;
  if (!ctx.banner_found) return 1;

  row.separator = ctx.separator;
  row.toolname = ctx.tool_name + " v" + ctx.tool_version;

  // The licence word is one letter and the licence number in hex.
  std::string number = "0x";
  if (!ctx.licence_word.empty()) number.append(ctx.licence_word, 1, std::string::npos);
  u64 licence = 0;
  if (!parse_u64_string(number, licence)) licence = 0;
  row.lic_num = licence;

  row.lic_name = ctx.licence_text;
  row.cmdline = ctx.command_line;
  row.notes = "Runtime: " + ctx.run_time_text;
  row.extra_args = ctx.extra_info;
  row.host = ctx.hostname;
  row.user = ctx.username;
  row.file = ctx.tool_source;
  row.artifact_type = ctx.artifact_type;
  row.data_tbl_name.clear();
  row.col_hdrs.clear();
  row.column_names.clear();
  return 1;
}

int sqlite_out_banner_begin(quazel_tool_metadata& ctx) { return flush_rows(store_of(ctx)); }

int sqlite_out_parse_banner_line(const std::string& line, const tag_instr& tag, quazel_tool_metadata& ctx) {
  int stored = store_banner_value(line, tag, ctx, sqlite_line_title, sqlite_line_extra_column);
  if (tag.line_flags & (sqlite_line_artifact_type | sqlite_line_source)) {
    const std::string value = banner_value(line, tag);
    sqlite_metadata_row& row = store_of(ctx).meta_row;
    if (tag.line_flags & sqlite_line_artifact_type) row.artifact_type = value;
    if (tag.line_flags & sqlite_line_source) row.file = value;
    stored = 1;
  }
  return stored;
}

int sqlite_out_end_group(std::ostream&, std::ostringstream&, std::vector<std::string>&,
                         quazel_tool_metadata& ctx) {
  sqlite3_artifact& store = store_of(ctx);
  // The previous group's rows belong to the previous table and run record.
  const int flushed = flush_rows(store);
  apply_group_rule(ctx, column_roles, false);
  // A bodyfile keeps its eleven columns; every other table ends with the surplus fields.
  if (!ctx.is_bodyfile) ctx.columns.push_back("overflow");
  set_column_list(store, ctx.columns);

  ctx.first_header_pending = 0;
  ctx.group_title.clear();
  reset_title(ctx);
  if (ctx.grp_like_formats) {
    if (ctx.is_bodyfile) {
      ctx.title_text << "bodyfile";
    } else if (ctx.is_csvl2t) {
      ctx.title_text << "csvl2t";
    }
  } else {
    ctx.title_text << ctx.short_tool_name;
    if (!ctx.title_fields.empty()) ctx.title_text << '.' << title_field_text(ctx);
  }
  ctx.title_fields.clear();
  return hook_result(flushed, 1);
}

int sqlite_out_short_row(const std::string& line, quazel_tool_metadata& ctx) {
  // Lines before the first header row are the banner's text, not records.
  if (ctx.first_header_pending || ctx.columns.empty() || ctx.separator.empty()) return 1;
  const char separator = ctx.separator[0];

  // The table's columns: the source's fields, the extra columns, then (but for a bodyfile)
  // the overflow column.
  const size_t trailing = ctx.is_bodyfile ? 0 : ctx.extra_columns.size() + 1;
  if (ctx.columns.size() <= trailing) return 1;
  const size_t fields = ctx.columns.size() - trailing;

  std::vector<std::string> cells;
  split_quoted(line, separator, cells, true, true);
  // A row the other writers pad has two fields at least: a separator inside quotes cuts none.
  if (cells.size() < 2) return 1;
  // The missing fields are empty texts, so that the extra-column values stay in their own
  // columns; the source never held a value there.
  if (cells.size() < fields) cells.resize(fields);
  for (const auto& [name, value] : ctx.extra_columns) cells.push_back(value);
  return add_data_row(cells, ctx);
}

int sqlite_out_write_row(std::ostream&, std::vector<std::string>& cells, quazel_tool_metadata& ctx) {
  return add_data_row(cells, ctx);
}
