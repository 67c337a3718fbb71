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
  static_cast<quazel_run_fields&>(*this) = quazel_run_fields();
  clear_find_signature_vars();
}

void quazel_tool_metadata::clear_find_signature_vars() {
  sqlite_state.meta_row.clear();
  sqlite_state.runtime = 0;
  // A source whose banner cannot be read must not inherit the previous source's column names.
  source_columns.clear();
  // Cleared, not released: the next small source reuses the room.
  std::vector<u8> bytes_room = std::move(source_bytes);
  static_cast<quazel_source_fields&>(*this) = quazel_source_fields();
  bytes_room.clear();
  source_bytes = std::move(bytes_room);
}
