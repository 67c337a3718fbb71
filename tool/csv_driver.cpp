#include "tool/csv_driver.h"

#include <algorithm>
#include <array>

#include "framework/io/qz_interrupt.h"
#include "framework/text/uni_bom.h"
#include "framework/text/qz_replace.h"
#include "framework/text/qz_split.h"
#include "framework/text/qz_string.h"
#include "framework/text/uni_unicode.h"
#include "tool/csv_quoted_rows.h"
#include "tool/tool_report.h"

namespace {

// A line shorter than this made only of the separator character is a table rule, not a row;
// while the source has no separator every line this short is dropped.
constexpr size_t short_line_length = 30;
// A source whose first header row has not been accepted within this many lines has none
// worth waiting for: the rest of it is not looked at (the cleanup writer copies on instead).
constexpr u64 header_search_lines = 14;
// The cells of a row longer than this give their room back once the row is written: kept for
// the next rows, the room of a long cell in one column and of another in a later row's other
// column would add up.
constexpr size_t long_row_bytes = size_t(1) << 20;

// The first bytes of the tags that mark banner lines: a line starting otherwise (every data
// row, as a rule) is no banner line, and is told so without comparing it with each tag.
std::array<bool, 256> banner_tag_starts(const std::vector<tag_instr>& tags) {
  std::array<bool, 256> starts{};
  for (const tag_instr& tag : tags) {
    if (tag.line_flags != 0 && !tag.tag.empty()) starts[static_cast<unsigned char>(tag.tag[0])] = true;
  }
  return starts;
}

// The first tag that marks banner lines and stands at the very start of the line.
const tag_instr* banner_tag_of(const std::vector<tag_instr>& tags, const std::string& line,
                               const std::array<bool, 256>& starts) {
  if (!starts[static_cast<unsigned char>(line[0])]) return nullptr;
  for (const tag_instr& tag : tags) {
    if (tag.line_flags != 0 && !tag.tag.empty() && line.compare(0, tag.tag.size(), tag.tag) == 0) return &tag;
  }
  return nullptr;
}

bool only_char(const std::string& line, char c) {
  return std::all_of(line.begin(), line.end(), [c](char x) { return x == c; });
}

// A header row names the source's first named column where the source's header did: the
// cells before it empty, its own cell (without blanks and quotes) equal to the name. A row
// whose cell merely begins with the name (id-001 under id) is a row of the group.
bool names_first_column(const csv_dispatch& dispatch, const std::string& line, char separator) {
  const std::string& name = dispatch.ctx.first_column_name;
  const size_t index = dispatch.first_name_index;
  // Most rows differ from the name at their first byte: told without cutting a cell.
  if (index == 0 && line[0] != name[0] && line[0] != ' ' && line[0] != '\t' && line[0] != '"') return false;
  for (size_t k = 0; k < index; ++k) {
    if (!bare_cell(line, separator, k).empty()) return false;
  }
  return bare_cell(line, separator, index) == bare_text(name);
}

// An output that failed, as a hook's result tells, stops the source.
void stop_if_output_failed(csv_dispatch& dispatch, int result) {
  if (result == hook_output_failed) dispatch.output_failed = true;
}

bool is_header_row(const csv_dispatch& dispatch, const std::string& line, bool after_banner,
                   char separator) {
  const quazel_tool_metadata& ctx = dispatch.ctx;
  const std::string& name = ctx.first_column_name;
  if (name.empty()) return false;
  // A later group's header row need not repeat the first column's name: directly after a
  // banner line, enough separators make it one.
  if (after_banner && separator != 0 && line.find(name) == std::string::npos &&
      count_char(line, separator) >= ctx.min_columns) {
    return true;
  }
  if (ctx.is_bodyfile) return true;
  return names_first_column(dispatch, line, separator);
}

void take_header_row(csv_dispatch& dispatch, const std::string& line, char separator,
                     bool split_trim) {
  quazel_tool_metadata& ctx = dispatch.ctx;
  // A bodyfile keeps the column names its banner gave it.
  if (!ctx.is_bodyfile && separator != 0) {
    reset_column_indexes(ctx.tags);
    // Names are cut as the rows are: a quoted name keeps the separators it holds.
    split_quoted(line, separator, ctx.columns, split_trim, true);
    if (!ctx.columns.empty() && ctx.columns.back().empty()) ctx.columns.pop_back();
  }
  if (ctx.columns.size() < static_cast<size_t>(std::max(ctx.min_columns, 0))) {
    ctx.columns.clear();
    dispatch.header_too_short = true;
    // The cleanup writer copies what it cannot take apart: the line is not lost.
    if (dispatch.writer && dispatch.writer->copies_lines) stop_if_output_failed(dispatch, dispatch.writer->short_row(line, ctx));
    return;
  }
  dispatch.header_accepted = true;
  // A bodyfile's group opens at its title line, which a writer that copies lines copies too.
  if (dispatch.writer && dispatch.writer->copies_lines && ctx.is_bodyfile) {
    stop_if_output_failed(dispatch, dispatch.writer->short_row(line, ctx));
  }
  if (dispatch.writer) stop_if_output_failed(dispatch, dispatch.writer->end_group(*ctx.out, dispatch.head, ctx.columns, ctx));
  ctx.group_has_rows = 0;
}

// With keep_row a row that lacks fields is still written (padded), unless the writer copies
// such lines as they are.
void take_row(csv_dispatch& dispatch, const std::string& line, char separator, bool split_trim,
              bool keep_row) {
  quazel_tool_metadata& ctx = dispatch.ctx;
  const csv_writer_hooks* writer = dispatch.writer;
  // Once a header row of min_columns names is accepted its group takes rows: a row needs as
  // many columns as a header does.
  // No writer takes a line before the source's first header row as a record: a title line
  // or a header row that was not recognised is no row of any group.
  if (separator == 0 || ctx.first_header_pending ||
      ctx.columns.size() < static_cast<size_t>(std::max(ctx.min_columns, 1))) {
    if (writer) stop_if_output_failed(dispatch, writer->short_row(line, ctx));
    return;
  }
  std::vector<std::string>& cells = dispatch.cells;
  std::vector<std::string>& spare = dispatch.spare_cells;
  // The strings past the last row's fields (its extra values, and what the writer added) are
  // set aside before the cut, which would free them, and take this row's extra values: a row
  // costs no allocation once the strings have grown.
  spare.clear();
  while (cells.size() > dispatch.fields_cut) {
    spare.push_back(std::move(cells.back()));
    cells.pop_back();
  }
  split_quoted(line, separator, cells, split_trim, true);
  // A row of a group that lacks its last fields is still a row: a writer that pads gets it
  // with empty ones rather than leaving it out; the others get it through short_row.
  const bool pads = writer && (writer->pads_short_rows || (keep_row && !writer->copies_lines));
  const bool overflow = writer && writer->overflow_cell;
  if (pads && (cells.size() >= 2 || keep_row) && !ctx.first_header_pending) {
    size_t trailing = ctx.extra_columns.size();
    if (overflow && !ctx.is_bodyfile) ++trailing;  // the overflow cell
    if (ctx.columns.size() > trailing && cells.size() < ctx.columns.size() - trailing) {
      cells.resize(ctx.columns.size() - trailing);
    }
  }
  dispatch.fields_cut = cells.size();
  for (const auto& [name, value] : ctx.extra_columns) {
    if (spare.empty()) {
      cells.push_back(value);
    } else {
      cells.push_back(std::move(spare.back()));
      spare.pop_back();
      cells.back() = value;
    }
  }
  if (cells.size() < ctx.columns.size()) {
    // A writer with an overflow column adds the empty cell a row without surplus lacks.
    bool overflow_missing = overflow && cells.size() + 1 == ctx.columns.size();
    if (!overflow_missing) {
      if (writer) stop_if_output_failed(dispatch, writer->short_row(line, ctx));
      return;
    }
  }
  if (writer) stop_if_output_failed(dispatch, writer->write_row(*ctx.out, cells, ctx));
  if (line.size() > long_row_bytes) {
    for (std::string& cell : cells) {
      if (cell.capacity() > long_row_bytes) std::string().swap(cell);
    }
  }
}

// What every line of a chunk is taken with.
struct line_rules {
  bool cleanup;
  bool trim_lines;
  bool split_trim;
  char separator;
  std::array<bool, 256> tag_starts;
};

line_rules line_rules_for(const csv_dispatch& dispatch) {
  const quazel_tool_metadata& ctx = dispatch.ctx;
  const csv_writer_hooks* writer = dispatch.writer;
  const bool cleanup = writer && writer->copies_lines;
  // Trimming a TAB-separated line would cut its empty first and last fields. Without a writer
  // lines are only sorted: blanks count for nothing.
  const bool trim_lines = (writer == nullptr || writer->trims_lines) && ctx.separator != "\t";
  return {cleanup, trim_lines, !(cleanup && ctx.trim_fields == 0),
          ctx.separator.empty() ? '\0' : ctx.separator[0], banner_tag_starts(ctx.tags)};
}

bool is_around_text(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Takes off line what is none of its text: its LF and one CR before it (or at the end of a
// last line without LF), the CRs that open it, and with trim the blanks, TABs, CRs and LFs
// around it. tail gets what stood after the text.
void cut_line(std::string& line, bool trim, std::string& tail) {
  size_t end = line.size();
  if (end > 0 && line[end - 1] == '\n') --end;
  if (end > 0 && line[end - 1] == '\r') --end;
  size_t begin = 0;
  while (begin < end && line[begin] == '\r') ++begin;
  if (trim) {
    while (begin < end && is_around_text(line[begin])) ++begin;
    while (end > begin && is_around_text(line[end - 1])) --end;
  }
  tail.assign(line, end);
  line.resize(end);
  if (begin > 0) line.erase(0, begin);
}

// The fields a row of the current group comes with from the source: its columns less the
// extra columns and the overflow column a writer may add.
size_t source_fields_of_group(const csv_dispatch& dispatch) {
  const quazel_tool_metadata& ctx = dispatch.ctx;
  size_t trailing = ctx.extra_columns.size();
  const bool overflow = dispatch.writer && dispatch.writer->overflow_cell;
  if (overflow && !ctx.is_bodyfile) ++trailing;
  return ctx.columns.size() > trailing ? ctx.columns.size() - trailing : 0;
}

// A data row may go on over the next lines only inside a group that takes rows.
bool group_takes_rows(const quazel_tool_metadata& ctx, char separator) {
  return separator != 0 && !ctx.first_header_pending &&
         ctx.columns.size() >= static_cast<size_t>(std::max(ctx.min_columns, 1));
}

// Sorts one line, as it stands in the source, and hands it to the writer. With may_join a data
// row whose last field opens a quote it does not close is held for the lines that follow; with
// keep_row a data row is written even when it lacks fields. False when the source's first
// header row is given up on: nothing more of it is taken.
bool take_line(csv_dispatch& dispatch, std::string& line, const line_rules& rules, bool may_join,
               bool keep_row) {
  quazel_tool_metadata& ctx = dispatch.ctx;
  const csv_writer_hooks* writer = dispatch.writer;
  const char separator = rules.separator;
  cut_line(line, rules.trim_lines, dispatch.line_tail);
  // A second byte-order mark (a file saved twice) is no more part of a name than the first.
  if (ctx.first_header_pending && is_bom_utf8(line.data(), line.size())) line.erase(0, 3);
  if (line.empty()) {
    if (rules.cleanup && writer) stop_if_output_failed(dispatch, writer->short_row(line, ctx));
    return true;
  }
  if (line.size() < short_line_length && (separator == 0 || only_char(line, separator))) {
    return true;
  }
  if (const tag_instr* tag = banner_tag_of(ctx.tags, line, rules.tag_starts)) {
    if (writer) {
      stop_if_output_failed(dispatch, writer->banner_begin(ctx));
      if ((tag->line_flags & tag_line_unstored) == 0) stop_if_output_failed(dispatch, writer->banner_line(line, *tag, ctx));
    }
    dispatch.after_banner = true;
    return true;
  }
  // Only lines the banner parser counts count here, so that the header row it found is
  // never given up on for the empty, blank or dropped lines before it.
  if (ctx.first_header_pending && !rules.cleanup && line.find_first_not_of(" \t\r") != std::string::npos &&
      dispatch.lines_taken++ >= header_search_lines) {
    dispatch.header_given_up = true;
    return false;
  }
  if (is_header_row(dispatch, line, dispatch.after_banner, separator)) {
    take_header_row(dispatch, line, separator, rules.split_trim);
  } else if (may_join && group_takes_rows(ctx, separator) &&
             dispatch.joiner.start(line, dispatch.line_tail, separator)) {
    dispatch.quote_line = dispatch.line_number;
    return true;
  } else {
    take_row(dispatch, line, separator, rules.split_trim, keep_row);
  }
  dispatch.after_banner = false;
  return true;
}

// The lines the joiner held, each taken as it came and kept as a row, none of them joined
// again.
void replay_held_lines(csv_dispatch& dispatch, const line_rules& rules) {
  for (std::string& held : dispatch.joiner.lines()) {
    if (!take_line(dispatch, held, rules, false, true)) break;
  }
  dispatch.joiner.clear();
}

// A quote that did not close (within the joiner's bounds, or before the end): the user learns
// where, and every line held is a row of its own.
void give_up_quote(csv_dispatch& dispatch, const line_rules& rules, bool at_end) {
  const quazel_tool_metadata& ctx = dispatch.ctx;
  const unsigned long long line = dispatch.quote_line;
  if (at_end) {
    report(ctx, "%s: the quote opened on line %llu does not close before the end of the source; "
           "its lines are kept as rows of their own\n", escape_invalid_utf8(ctx.csv_source).c_str(), line);
  } else {
    report(ctx, "%s: the quote opened on line %llu does not close within %zu lines or %zu MiB; "
           "its lines are kept as rows of their own\n", escape_invalid_utf8(ctx.csv_source).c_str(), line,
           quoted_row_joiner::max_lines, quoted_row_joiner::max_bytes >> 20);
  }
  replay_held_lines(dispatch, rules);
}

// A row joined over several lines is a row of the group when it has the group's fields;
// otherwise its lines are taken one by one.
void take_joined_row(csv_dispatch& dispatch, const line_rules& rules) {
  std::vector<std::string>& fields = dispatch.joined_fields;
  std::string& row = dispatch.joiner.row();
  cut_line(row, rules.trim_lines, dispatch.line_tail);
  split_quoted(row, rules.separator, fields, rules.split_trim, true);
  if (fields.size() < source_fields_of_group(dispatch)) {
    replay_held_lines(dispatch, rules);
    return;
  }
  take_row(dispatch, row, rules.separator, rules.split_trim, false);
  dispatch.after_banner = false;
  dispatch.joiner.clear();
}

}  // namespace

csv_dispatch::csv_dispatch(quazel_tool_metadata& context, const csv_writer_hooks* hooks)
    : ctx(context), writer(hooks) {
  // The banner's columns: a header whose first names are empty (an index column) places the
  // first column's name after them.
  while (first_name_index < ctx.columns.size() && ctx.columns[first_name_index].empty()) ++first_name_index;
}

csv_conversion convert_csv_file(std::ostream& out, quazel_tool_metadata& ctx, const csv_writer_hooks* writer,
                                u32 chunk_bytes) {
  if (ctx.csv_source.empty() || ctx.source_columns.empty()) return csv_conversion::failed;
  csv_dispatch dispatch(ctx, writer);
  // A small source whose banner read took all of it is converted from those bytes, once.
  uni::fileio source;
  if (!ctx.source_bytes.empty() && ctx.source_bytes_path == ctx.csv_source) {
    source.attach_memory(std::move(ctx.source_bytes), false, true);
    ctx.source_bytes_path.clear();
  } else if (!source.open_utf8(ctx.csv_source, false, true, true)) {
    return csv_conversion::failed;
  }
  if (ctx.pair_map.size() > ctx.source_columns.size()) return csv_conversion::failed;

  ctx.out = &out;
  ctx.out_buffer = dynamic_cast<uni::streambuf_generic_output<char>*>(out.rdbuf());
  if (writer && writer->begin_source) stop_if_output_failed(dispatch, writer->begin_source(out, ctx));
  // Lines come whole: a quoted cell over several lines keeps each line's own line end, and the
  // dispatcher cuts the rest.
  const bool detect_bom = ctx.utf8_bom || ctx.utf16_bom;
  int read = source.for_each_line(process_csv_lines, reinterpret_cast<u64>(&dispatch), false,
                                  false, ctx.status_display != 0, uni::fileio::all_lines,
                                  detect_bom, chunk_bytes, true);
  if (interrupt_signal() == 0) finish_csv_lines(dispatch);
  // After an interruption the rows taken are still stored, but a document gets no closing
  // text: it must not pass for whole.
  const bool interrupted = interrupt_signal() != 0;
  if (writer && writer->end_source) {
    stop_if_output_failed(dispatch, writer->end_source(out, dispatch.head, ctx, interrupted));
  }
  // The room of the bytes goes back for the next small source.
  if (source.in_memory) {
    ctx.source_bytes.swap(source.memory);
    ctx.source_bytes.clear();
  }
  bool closed = source.close();
  ctx.out = nullptr;
  ctx.out_buffer = nullptr;
  if (dispatch.output_failed) return csv_conversion::output_failed;
  // Header rows that all fell short of the producing tool's minimum left the outputs without
  // a group: the source was not converted. A source of banner lines alone has no header row.
  if (dispatch.header_too_short && !dispatch.header_accepted) return csv_conversion::header_too_short;
  const bool whole = read != 0 && closed && out.good() && !interrupted;
  return whole ? csv_conversion::converted : csv_conversion::failed;
}

u32 dispatch_csv_lines(csv_dispatch& dispatch, std::vector<std::string>& lines, u32 count) {
  quazel_tool_metadata& ctx = dispatch.ctx;
  if (count == 0 || lines.empty() || ctx.out == nullptr || !ctx.out->good() ||
      dispatch.header_given_up || dispatch.output_failed) {
    return 0;
  }
  count = static_cast<u32>(std::min<size_t>(count, lines.size()));
  if (dispatch.writer) stop_if_output_failed(dispatch, dispatch.writer->write_head(dispatch.head, ctx));
  const line_rules rules = line_rules_for(dispatch);
  quoted_row_joiner& joiner = dispatch.joiner;

  for (u32 i = 0; i < count; ++i) {
    std::string& line = lines[i];
    // An interruption or a failed output stops the source at this row boundary.
    if (!ctx.out->good() || dispatch.output_failed || interrupt_signal() != 0) return 0;
    ++dispatch.line_number;
    bool keep_row = false;
    if (joiner.active()) {
      const quoted_row_joiner::step step = joiner.add(line);
      if (step == quoted_row_joiner::step::held) continue;
      if (step == quoted_row_joiner::step::joined) {
        take_joined_row(dispatch, rules);
        continue;
      }
      // The quote did not close within the bounds: the lines held are rows of their own,
      // and this line, which may be the last of the cell, is taken afresh and kept too.
      give_up_quote(dispatch, rules, false);
      keep_row = true;
    }
    if (!take_line(dispatch, line, rules, true, keep_row)) return 0;
  }
  return dispatch.output_failed ? 0 : count;
}

void finish_csv_lines(csv_dispatch& dispatch) {
  quazel_tool_metadata& ctx = dispatch.ctx;
  if (!dispatch.joiner.active() || ctx.out == nullptr || !ctx.out->good() || dispatch.output_failed) return;
  // A quote still open at the end of the source closes nothing.
  give_up_quote(dispatch, line_rules_for(dispatch), true);
}

u64 process_csv_lines(uni::fileio&, u64 context, std::vector<std::string>& lines, u32 count,
                      u64) {
  csv_dispatch* dispatch = reinterpret_cast<csv_dispatch*>(context);
  if (dispatch == nullptr) return 0;
  return dispatch_csv_lines(*dispatch, lines, count);
}
