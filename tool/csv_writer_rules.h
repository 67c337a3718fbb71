// What every writer offers the conversion driver (csv_writer_hooks) and the rules several
// writers share: a banner line's value, what a header row does to the group state, group
// titles, surplus fields and nested cells. The driver and every writer build on this module;
// it knows neither of them. Everything reports by its result and prints nothing.
#pragma once

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"
#include "tool/quazel_tool_metadata.h"

// What a hook returns when its output (a file, a database) failed: the dispatcher stops the
// source there, reading none of the rest, and the conversion fails.
constexpr int hook_output_failed = -1;

// What a writer offers the dispatcher: six operations on lines, the start and end of a source,
// and the rules that tell how lines reach it. Each operation returns 1 when it did its work, 0
// when it did nothing or refused (the dispatcher goes on), and hook_output_failed when its
// output failed. A failed conversion output stream stops the source through its state as well.
struct csv_writer_hooks {
  // At the start of every chunk; a writer acts only while head_pending is set, and clears it.
  int (*write_head)(std::ostringstream& head, quazel_tool_metadata& ctx);
  // For every banner line, before banner_line.
  int (*banner_begin)(quazel_tool_metadata& ctx);
  // For every banner line whose tag has bit 0 of line_flags clear.
  int (*banner_line)(const std::string& line, const tag_instr& tag, quazel_tool_metadata& ctx);
  // For every accepted header row; columns is the context's columns.
  int (*end_group)(std::ostream& out, std::ostringstream& head, std::vector<std::string>& columns,
                   quazel_tool_metadata& ctx);
  // For every line that is neither banner line, header row nor data row.
  int (*short_row)(const std::string& line, quazel_tool_metadata& ctx);
  // For every data row; the writer may change the cells.
  int (*write_row)(std::ostream& out, std::vector<std::string>& cells, quazel_tool_metadata& ctx);
  // Before the first line of a source: the writer's opening text or state. Null: nothing.
  int (*begin_source)(std::ostream& out, quazel_tool_metadata& ctx);
  // After the last line of a source: the writer's closing text (head is what write_head left
  // unwritten) and what stores the rows taken. With interrupted only the latter: a document
  // must not pass for whole. Null: nothing.
  int (*end_source)(std::ostream& out, std::ostringstream& head, quazel_tool_metadata& ctx,
                    bool interrupted);
  // The source's lines reach the writer without their enclosing blanks (not in TAB sources).
  bool trims_lines;
  // A data row that lacks its group's last fields gets empty ones (otherwise it is a short row).
  bool pads_short_rows;
  // Every group carries a last overflow column of its own (not counted among the source's
  // fields) that a row without surplus fields lacks.
  bool overflow_cell;
  // Every line that is no record is copied: empty lines too, a bodyfile's title line, and the
  // rest of a source whose header row never came; fields keep their blanks unless "-trim".
  bool copies_lines;
};

// The result of two steps of one hook: hook_output_failed when either step's output failed,
// else second.
inline int hook_result(int first, int second) {
  return first == hook_output_failed ? first : second;
}

// The steps every writer's write_head starts with. False, touching nothing, when head_pending
// is already clear; otherwise clears it and, for a source with a banner that is no bodyfile,
// empties columns (the source's header rows name them again).
bool begin_writer_head(quazel_tool_metadata& ctx);

// Sets column_index of every tag to -1.
void reset_column_indexes(std::vector<tag_instr>& tags);

// The value of a banner line: the text after the tag, trimmed, every "\\" made "/".
std::string banner_value(const std::string& line, const tag_instr& tag);
// The banner-line rule for a writer's title bit and extra-column bit: with title_bit in the
// tag's line_flags (tag, value) joins title_fields, with column_bit (tag without ":", value)
// joins pending_columns; a key already stored keeps its value. 1 when the tag has either bit.
int store_banner_value(const std::string& line, const tag_instr& tag, quazel_tool_metadata& ctx,
                       u32 title_bit, u32 column_bit);

// The group rule at an accepted header row. A bodyfile source only loses first_column_name.
// Otherwise every tag with one of column_bits gets the index of the first column whose name
// contains its tag (equals it with match_whole), and the pending banner columns become the
// group's extra columns (the previous group's when none are pending); their names are
// appended to columns.
void apply_group_rule(quazel_tool_metadata& ctx, u32 column_bits, bool match_whole);

// The values of title_fields in key order, joined with " - ".
std::string title_field_text(const quazel_tool_metadata& ctx);
// How a group title joins its parts: `part_separator` goes before every title column (not
// before the first part when the title is still empty, unless `leads_always`), and
// `value_separator` between the column's tag and its cell. With `escape`, every part taken from
// the source (title text, tag, cell) passes through it.
struct group_title_style {
  const char* part_separator;
  bool leads_always;
  const char* value_separator;
  std::string (*escape)(const std::string&);
};
// The headings of the HTML and JSON documents: "base - tag->cell".
inline constexpr group_title_style heading_title_style{" - ", false, "->", nullptr};
// The names of split files and SQLite tables: "base.tag-cell".
inline constexpr group_title_style name_title_style{".", true, "-", nullptr};

// The cell of tag's column in cells; null when the tag has no column or the row lacks it.
inline const std::string* tag_cell(const tag_instr& tag, const std::vector<std::string>& cells) {
  if (tag.column_index < 0 || static_cast<size_t>(tag.column_index) >= cells.size()) return nullptr;
  return &cells[static_cast<size_t>(tag.column_index)];
}
// A new group's title from its first row: the text of title_text, then for every tag with
// title_bit and a column inside cells its tag and cell, joined as style says; when that is
// empty, untitled_group_name(ctx, untitled_prefix).
std::string group_title(quazel_tool_metadata& ctx, const std::vector<std::string>& cells,
                        u32 title_bit, const group_title_style& style,
                        const char* untitled_prefix);
// Every tag with nested_bit and a column inside cells marks its column as holding nested cells.
void mark_nested_columns(quazel_tool_metadata& ctx, const std::vector<std::string>& cells,
                         u32 nested_bit);
// prefix and the group counter in decimal; the counter moves on.
std::string untitled_group_name(quazel_tool_metadata& ctx, const char* prefix);
// True when column of this row is marked as holding nested cells. Asked for every cell, so
// defined here for the writers to inline.
inline bool is_nested_column(const quazel_tool_metadata& ctx, size_t column) {
  return ctx.nested_flag && !ctx.nested_columns.empty() && ctx.nested_columns.count(static_cast<int>(column)) != 0;
}

// A row with more cells than the group has columns (one fewer counted with overflow_column, the
// group's own last column):
// the regular cells, the extra-column values, then one cell holding the surplus cells joined
// with the separator text. True when it changed the row.
bool merge_surplus_fields(std::vector<std::string>& row, const quazel_tool_metadata& ctx,
                          bool overflow_column);

// Reads a nested cell: prefix, then groups in "<" ">"; a group "<[...]>" gives the sub-column
// names (a later one replaces an earlier one), every other group one sub-row. Values are cut at
// separator and trimmed, empty ones kept; an empty group adds nothing; a last group without its
// ">" runs to the end of the cell. header and rows are emptied first. True when a row was found;
// false, both empty, when anything but blanks stands between or after the groups.
bool parse_tagged_groups(std::vector<std::string>& header,
                         std::vector<std::vector<std::string>>& rows, const std::string& cell,
                         const std::string& prefix, char separator);
