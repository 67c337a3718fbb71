// Conversion of one source CSV: the driver reads the source in chunks of complete lines, the
// dispatcher sorts every line into banner line, header row, data row or short row and calls
// the active writer's hooks, and the helpers here hold the rules the writers share (banner
// values, group columns and titles, surplus fields, nested cells). Everything reports by its
// result; the one message printed is the dispatcher's note of a quote that does not close.
#pragma once

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/io/uni_fileio.h"
#include "framework/text/qz_types.h"
#include "tool/csv_quoted_rows.h"
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

// The writers, in the order the action flags choose them.
enum class csv_writer_kind : u8 { none, html, json, sqlite, split, cleanup };

// The first action flag set, in the order to_html, to_json, to_sqlite, split, cleanup; none
// when no flag is set.
csv_writer_kind select_csv_writer(const quazel_tool_metadata& ctx);
// The hooks of a writer; null for none and for a writer this program does not hold.
const csv_writer_hooks* csv_writer_hooks_for(csv_writer_kind kind);
// The hooks of the writer the action flags choose (null for none); held is false when that
// writer is one this program does not hold.
const csv_writer_hooks* active_csv_writer(const quazel_tool_metadata& ctx, bool& held);

// The state of one conversion that lives across chunks: the writer, the head buffer a writer
// keeps its document head in until the first accepted header row, whether the last line taken
// was a banner line, and the cell vector every data row reuses with the strings it keeps for
// the extra values.
struct csv_dispatch {
  explicit csv_dispatch(quazel_tool_metadata& ctx);

  quazel_tool_metadata& ctx;
  bool writer_held = true;         // false: the action flags chose a writer this program lacks
  const csv_writer_hooks* writer;  // null: lines are classified, nothing is called
  std::ostringstream head;
  std::vector<std::string> cells;
  std::vector<std::string> spare_cells;
  size_t fields_cut = 0;  // fields the last data row was cut into
  size_t first_name_index = 0;  // the place of the first named column in the source's header
  quoted_row_joiner joiner;     // the lines of a row whose quoted field holds line ends
  std::string line_tail;        // what followed the text of the line last taken (its line end)
  u64 line_number = 0;          // of the line last handed over, from 1
  u64 quote_line = 0;           // where the row the joiner holds begins
  u64 lines_taken = 0;      // lines looked at for the first header row (not blank, dropped or banner)
  bool after_banner = false;
  bool header_given_up = false;  // no header row came within the first lines of the source
  bool header_accepted = false;   // a header row opened a group
  bool header_too_short = false;  // a header row had fewer names than ctx.min_columns
  bool output_failed = false;     // a hook returned hook_output_failed: no line more is taken
};

// Converts ctx.csv_source (its banner already read into ctx) into out through the active
// writer: the writer's opening text, every line through the dispatcher, its closing text.
// ctx.out points at out while the conversion runs and is null afterwards. False when the path
// or the banner's columns are empty, "-pair_fields" names more columns than the source has,
// the active writer is not held by this program, the source cannot be opened or read to its
// end, out is not good after the last write (the final drain of out is the caller's), or
// every header row met had fewer names than ctx.min_columns (ctx.header_too_short is then
// set; the writer's closing text is written all the same), or a hook's output failed (the rest
// of the source is not read; ctx.output_failed is then set). A source without any header row
// (banner lines alone) is converted into outputs without groups.
// An interruption (interrupt_signal) stops the source at a row boundary and gives false: the
// rows taken are stored (SQLite batches with their run record, split files), the HTML, JSON
// or cleanup text gets no closing part.
// chunk_bytes sizes the reader's chunks; the output does not depend on it.
bool convert_csv_file(std::ostream& out, quazel_tool_metadata& ctx,
                      u32 chunk_bytes = uni::fileio::default_chunk_bytes);

// Takes `count` lines of one chunk, in order, for the conversion `dispatch`. Each line is as it
// stands in the source, with its line end (the reader's keep_line_ends): the dispatcher takes
// the line end off, and the blanks around the line where the writer trims lines (not in TAB
// sources). A header row is a
// line whose cell at the first named column's place equals its name (blanks and enclosing
// quotes aside) with only empty cells before it, or, right after a banner line, a line of
// enough separators without the name; before the source's first header row no line is a
// record, and a UTF-8 mark that opens a line is dropped. A data row whose last field opens a
// quote that it does not close is held and joined with the next lines (their line ends kept
// byte for byte) until the quote closes, at most quoted_row_joiner's bounds; a row that does
// not close within them, or that has fewer fields than the group, is taken line by line, and
// each of its lines (with the line that ended the bounds) is a row of its own even when it
// lacks fields: none of them is dropped. A quote that does not close within the bounds is
// reported on standard error with the source and the line it opened on. Returns count when
// the chunk was handled; 0 at once, touching nothing, when there is nothing to take, ctx.out is
// null or not good, a hook's output failed, or the source's first header row was given up on;
// 0 at the first line met after an interruption (interrupt_signal), after ctx.out went bad or
// after a hook returned hook_output_failed.
u32 dispatch_csv_lines(csv_dispatch& dispatch, std::vector<std::string>& lines, u32 count);
// After the source's last chunk: the lines of a row whose quoted field never closed are taken
// one by one, each a row of its own, and standard error names the source and the line the
// quote opened on. Nothing when no row is held, ctx.out is null or not good, or a hook's
// output failed.
void finish_csv_lines(csv_dispatch& dispatch);
// The line reader's callback: `context` is a csv_dispatch*; dispatch_csv_lines on the chunk.
// Its 0 ends the reading of the source.
u64 process_csv_lines(uni::fileio& file, u64 context, std::vector<std::string>& lines, u32 count,
                      u64 offset);

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
