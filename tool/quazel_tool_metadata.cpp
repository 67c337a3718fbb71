#include "tool/quazel_tool_metadata.h"

#include <utility>

#include "framework/time/qz_clock.h"

tag_instr::tag_instr(std::string tag_text, u32 line_word, u32 column_word)
    : tag(std::move(tag_text)), line_flags(line_word), column_flags(column_word) {}

quazel_tool_metadata::quazel_tool_metadata() : cmd_params(current_time().filetime, true) {
  clear();
}

quazel_tool_metadata::~quazel_tool_metadata() {
  // The split files close before the database and the base go.
  split_state.reset();
}

void quazel_tool_metadata::clear() {
  split_state.reset();
  cmd_params::clear();
  sqlite_state.reset_run_state();
  // Every per-source field, then those that live for the whole run.
  clear_find_signature_vars();

  csv_source.clear();
  dst.clear();
  sqlite_source.clear();
  to_json = 0;
  flat = 0;
  slash_paths = 1;
  to_sqlite = 0;
  to_csv = 0;
  export_table_name.clear();
  to_html = 0;
  cleanup = 0;
  split = 0;
  raw = 0;
  no_header_info = 0;
  align_cols = 0;
  change_separator = 0;
  new_separator.clear();
  pair_map.clear();
  formats.clear();
  artifact_tables = 0;
  metadata_records = 0;
  ref_records = 0;
  grp_like_formats = 0;

  group_counter = 1;
  out = nullptr;
  title_text.str(std::string());
  title_text.clear();
}

void quazel_tool_metadata::clear_find_signature_vars() {
  sqlite_state.meta_row.clear();
  sqlite_state.runtime = 0;

  banner_found = 0;
  is_bodyfile = 0;
  is_csvl2t = 0;
  group_has_rows = 0;
  head_pending = 1;
  first_header_pending = 1;

  extra_columns.clear();
  group_title.clear();
  title_fields.clear();
  pending_columns.clear();

  columns.clear();
  separator.clear();
  first_column_name.clear();
  tool_name.clear();
  tool_version.clear();
  licence_word.clear();
  licence_text.clear();
  run_time_text.clear();
  extra_info.clear();
  command_line.clear();
  hostname.clear();
  username.clear();
  tool_source.clear();
  artifact_type.clear();
  short_tool_name.clear();
  min_columns = 2;

  nested_flag = 0;
  nested_columns.clear();
  tags.clear();

  // A source without a mark, or one whose banner cannot be read, must not inherit the
  // previous source's mark flags or column names.
  utf16_bom = 0;
  utf8_bom = 0;
  source_columns.clear();
  // Cleared, not released: the next small source reuses the room.
  source_bytes.clear();
  source_bytes_path.clear();
}
