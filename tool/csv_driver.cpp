#include "tool/csv_driver.h"

#include <algorithm>
#include <array>

#include "framework/io/qz_interrupt.h"
#include "framework/text/qz_replace.h"
#include "framework/text/qz_split.h"
#include "framework/text/qz_string.h"
#include "tool/cleanup_writer.h"
#include "tool/html_writer.h"
#include "tool/json_writer.h"
#include "tool/split_writer.h"
#include "tool/sqlite_writer_hooks.h"

namespace {

// A line shorter than this made only of the separator character is a table rule, not a row;
// while the source has no separator every line this short is dropped.
constexpr size_t short_line_length = 30;
// A source whose first header row has not been accepted within this many lines has none
// worth waiting for: the rest of it is not looked at (the cleanup writer copies on instead).
constexpr u64 header_search_lines = 14;

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

// The line holds name and nothing but blanks stands before its first occurrence.
bool begins_with_name(const std::string& line, const std::string& name) {
  if (name[0] != ' ') {
    // The first occurrence must then start at the first character that is not a blank.
    size_t first = line[0] != ' ' ? 0 : line.find_first_not_of(' ');
    return first != std::string::npos && line[first] == name[0] &&
           line.compare(first, name.size(), name) == 0;
  }
  size_t at = line.find(name);
  return at != std::string::npos && line.find_first_not_of(' ') >= at;
}

bool is_header_row(const quazel_tool_metadata& ctx, const std::string& line, bool after_banner,
                   char separator) {
  const std::string& name = ctx.first_column_name;
  if (name.empty()) return false;
  // A later group's header row need not repeat the first column's name: directly after a
  // banner line, enough separators make it one.
  if (after_banner && separator != 0 && line.find(name) == std::string::npos &&
      count_char(line, separator) >= ctx.min_columns) {
    return true;
  }
  if (ctx.is_bodyfile) return true;
  return begins_with_name(line, name);
}

void take_header_row(csv_dispatch& dispatch, const std::string& line, char separator,
                     bool split_trim) {
  quazel_tool_metadata& ctx = dispatch.ctx;
  // A bodyfile keeps the column names its banner gave it.
  if (!ctx.is_bodyfile && separator != 0) {
    reset_column_indexes(ctx.tags);
    split_string(line, separator, ctx.columns, split_trim, true, false);
    if (!ctx.columns.empty() && ctx.columns.back().empty()) ctx.columns.pop_back();
  }
  if (ctx.columns.size() < static_cast<size_t>(std::max(ctx.min_columns, 0))) {
    ctx.columns.clear();
    return;
  }
  // A bodyfile's group opens at its title line, which the cleanup writer copies as well.
  if (dispatch.kind == csv_writer_kind::cleanup && ctx.is_bodyfile && dispatch.writer) {
    dispatch.writer->short_row(line, ctx);
  }
  if (dispatch.writer) dispatch.writer->end_group(*ctx.out, dispatch.head, ctx.columns, ctx);
  ctx.group_has_rows = 0;
}

void take_row(csv_dispatch& dispatch, const std::string& line, char separator, bool split_trim) {
  quazel_tool_metadata& ctx = dispatch.ctx;
  const csv_writer_hooks* writer = dispatch.writer;
  // Once a header row of min_columns names is accepted its group takes rows: a row needs as
  // many columns as a header does.
  // Before the source's first header row the cleanup writer has no group to rebuild a row in.
  const bool before_group = dispatch.kind == csv_writer_kind::cleanup && ctx.first_header_pending;
  if (separator == 0 || before_group ||
      ctx.columns.size() < static_cast<size_t>(std::max(ctx.min_columns, 1))) {
    if (writer) writer->short_row(line, ctx);
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
  // A row of a group that lacks its last fields is still a row: the HTML, JSON and split
  // writers get it with empty ones rather than leaving it out. (The SQLite writer stores such a
  // row through short_row, with 0 in the gaps; the cleanup writer copies it as it stands.)
  const bool pads = dispatch.kind == csv_writer_kind::html || dispatch.kind == csv_writer_kind::json ||
                    dispatch.kind == csv_writer_kind::split;
  if (pads && cells.size() >= 2 && !ctx.first_header_pending) {
    size_t trailing = ctx.extra_columns.size();
    if (dispatch.kind == csv_writer_kind::split && !ctx.is_bodyfile) ++trailing;  // the overflow cell
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
    // The SQLite and split writers add the empty overflow cell a row without surplus lacks.
    bool overflow_missing = (dispatch.kind == csv_writer_kind::sqlite ||
                             dispatch.kind == csv_writer_kind::split) &&
                            cells.size() + 1 == ctx.columns.size();
    if (!overflow_missing) {
      if (writer) writer->short_row(line, ctx);
      return;
    }
  }
  if (writer) writer->write_row(*ctx.out, cells, ctx);
}

void write_opening(std::ostream& out, quazel_tool_metadata& ctx, csv_writer_kind kind) {
  if (kind == csv_writer_kind::json) json_write_opening(out, ctx);
  if (kind == csv_writer_kind::split) csv_split_close(ctx);
}

void write_closing(std::ostream& out, quazel_tool_metadata& ctx, csv_writer_kind kind) {
  if (kind == csv_writer_kind::html) {
    static constexpr char closing[] = "</table>\n</body>\n</html>\n";
    out.write(closing, sizeof closing - 1);
  } else if (kind == csv_writer_kind::json) {
    json_write_closing(out, ctx);
  } else if (kind == csv_writer_kind::cleanup) {
    cleanup_end_source(out, ctx);
  } else if (kind == csv_writer_kind::split) {
    csv_split_flush_files(ctx);
  }
}

}  // namespace

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
    default:
      return nullptr;
  }
}

csv_dispatch::csv_dispatch(quazel_tool_metadata& context)
    : ctx(context), kind(select_csv_writer(context)), writer(csv_writer_hooks_for(kind)) {}

bool convert_csv_file(std::ostream& out, quazel_tool_metadata& ctx, u32 chunk_bytes) {
  if (ctx.csv_source.empty() || ctx.source_columns.empty()) return false;
  csv_dispatch dispatch(ctx);
  if (dispatch.kind != csv_writer_kind::none && dispatch.writer == nullptr) return false;
  uni::fileio source(ctx.csv_source, false, true, false);
  if (!source.is_open()) return false;
  if (ctx.pair_map.size() > ctx.source_columns.size()) return false;

  ctx.out = &out;
  ctx.out_buffer = dynamic_cast<uni::streambuf_generic_output<char>*>(out.rdbuf());
  write_opening(out, ctx, dispatch.kind);
  // Trimming a TAB-separated line would cut its empty first and last fields.
  const bool trim = (dispatch.kind == csv_writer_kind::html ||
                     dispatch.kind == csv_writer_kind::none) &&
                    ctx.separator != "\t";
  const bool skip_empty = dispatch.kind == csv_writer_kind::none;
  const bool detect_bom = ctx.utf8_bom || ctx.utf16_bom;
  int read = source.for_each_line(process_csv_lines, reinterpret_cast<u64>(&dispatch), trim,
                                  skip_empty, ctx.status_display != 0, uni::fileio::all_lines,
                                  detect_bom, chunk_bytes);
  // After an interruption the rows taken are still stored, but a document gets no closing
  // text: it must not pass for whole.
  const bool interrupted = interrupt_signal() != 0;
  if (!interrupted) {
    write_closing(out, ctx, dispatch.kind);
  } else if (dispatch.kind == csv_writer_kind::split) {
    csv_split_flush_files(ctx);
  }
  // The SQLite writer's last rows belong to this source's run record.
  if (dispatch.kind == csv_writer_kind::sqlite) ctx.sqlite_state.flush();
  bool closed = source.close();
  ctx.out = nullptr;
  ctx.out_buffer = nullptr;
  return read != 0 && closed && out.good() && !interrupted;
}

u32 dispatch_csv_lines(csv_dispatch& dispatch, std::vector<std::string>& lines, u32 count) {
  quazel_tool_metadata& ctx = dispatch.ctx;
  if (count == 0 || lines.empty() || ctx.out == nullptr || !ctx.out->good() ||
      dispatch.header_given_up) {
    return 0;
  }
  count = static_cast<u32>(std::min<size_t>(count, lines.size()));
  const csv_writer_hooks* writer = dispatch.writer;
  const bool cleanup = dispatch.kind == csv_writer_kind::cleanup;
  if (writer) writer->write_head(dispatch.head, ctx);
  const bool split_trim = !(cleanup && ctx.trim_fields == 0);
  const char separator = ctx.separator.empty() ? 0 : ctx.separator[0];
  const std::array<bool, 256> tag_starts = banner_tag_starts(ctx.tags);

  for (u32 i = 0; i < count; ++i) {
    const std::string& line = lines[i];
    // An interruption stops the source at this row boundary.
    if (!ctx.out->good() || interrupt_signal() != 0) return 0;
    if (line.empty()) {
      if (cleanup && writer) writer->short_row(line, ctx);
      continue;
    }
    if (line.size() < short_line_length && (separator == 0 || only_char(line, separator))) {
      continue;
    }
    if (const tag_instr* tag = banner_tag_of(ctx.tags, line, tag_starts)) {
      if (writer) {
        writer->banner_begin(ctx);
        if ((tag->line_flags & tag_line_unstored) == 0) writer->banner_line(line, *tag, ctx);
      }
      dispatch.after_banner = true;
      continue;
    }
    // Only lines the banner parser counts count here, so that the header row it found is
    // never given up on for the empty, blank or dropped lines before it.
    if (ctx.first_header_pending && !cleanup && line.find_first_not_of(" \t\r") != std::string::npos &&
        dispatch.lines_taken++ >= header_search_lines) {
      dispatch.header_given_up = true;
      return 0;
    }
    if (is_header_row(ctx, line, dispatch.after_banner, separator)) {
      take_header_row(dispatch, line, separator, split_trim);
    } else {
      take_row(dispatch, line, separator, split_trim);
    }
    dispatch.after_banner = false;
  }
  return count;
}

u64 process_csv_lines(uni::fileio&, u64 context, std::vector<std::string>& lines, u32 count,
                      u64) {
  csv_dispatch* dispatch = reinterpret_cast<csv_dispatch*>(context);
  if (dispatch == nullptr) return 0;
  return dispatch_csv_lines(*dispatch, lines, count);
}

void reset_column_indexes(std::vector<tag_instr>& tags) {
  for (tag_instr& tag : tags) tag.column_index = -1;
}

std::string banner_value(const std::string& line, const tag_instr& tag) {
  std::string value = line.size() > tag.tag.size() ? line.substr(tag.tag.size()) : std::string();
  trim_whitespace(value);
  replace_char(value, '\\', '/', false);
  return value;
}

int store_banner_value(const std::string& line, const tag_instr& tag, quazel_tool_metadata& ctx,
                       u32 title_bit, u32 column_bit) {
  if ((tag.line_flags & (title_bit | column_bit)) == 0) return 0;
  std::string value = banner_value(line, tag);
  // The first banner line of a kind before a header row wins.
  if (tag.line_flags & title_bit) ctx.title_fields.emplace(tag.tag, value);
  if (tag.line_flags & column_bit) ctx.pending_columns.emplace(strip_char_copy(tag.tag, ':'), value);
  return 1;
}

void apply_group_rule(quazel_tool_metadata& ctx, u32 column_bits, bool match_whole) {
  if (ctx.is_bodyfile) {
    // A bodyfile has one group: no later line may open another.
    ctx.first_column_name.clear();
    return;
  }
  for (tag_instr& tag : ctx.tags) {
    if ((tag.column_flags & column_bits) == 0) continue;
    for (size_t i = 0; i < ctx.columns.size(); ++i) {
      const std::string& name = ctx.columns[i];
      if (match_whole ? name == tag.tag : name.find(tag.tag) != std::string::npos) {
        tag.column_index = static_cast<int>(i);
        break;
      }
    }
  }
  if (!ctx.pending_columns.empty()) {
    ctx.extra_columns = std::move(ctx.pending_columns);
    ctx.pending_columns.clear();
  }
  // The extra values go on being appended to every row, so the group names them too, also
  // when they carry over from the previous group.
  for (const auto& [name, value] : ctx.extra_columns) ctx.columns.push_back(name);
}

std::string title_field_text(const quazel_tool_metadata& ctx) {
  std::string text;
  for (const auto& [tag, value] : ctx.title_fields) {
    if (!text.empty()) text += " - ";
    text += value;
  }
  return text;
}

std::string first_row_title(quazel_tool_metadata& ctx, const std::vector<std::string>& cells,
                            u32 title_bit, u32 nested_bit,
                            std::string (*escape)(const std::string&)) {
  auto source_text = [escape](const std::string& text) { return escape ? escape(text) : text; };
  std::string title = source_text(ctx.title_text.str());
  for (const tag_instr& tag : ctx.tags) {
    if (tag.column_index < 0 || static_cast<size_t>(tag.column_index) >= cells.size()) continue;
    if (tag.column_flags & title_bit) {
      if (!title.empty()) title += " - ";
      title += source_text(tag.tag);
      title += "->";
      title += source_text(cells[tag.column_index]);
    }
    if (tag.column_flags & nested_bit) {
      ctx.nested_flag = 1;
      ctx.nested_columns.insert(tag.column_index);
    }
  }
  return title;
}

std::string untitled_group_name(quazel_tool_metadata& ctx, const char* prefix) {
  return prefix + std::to_string(ctx.group_counter++);
}

bool merge_surplus_fields(std::vector<std::string>& row, const quazel_tool_metadata& ctx) {
  size_t columns = ctx.columns.size();
  // The SQLite writer's last column is its own overflow column.
  if (ctx.to_sqlite && columns > 0) --columns;
  const size_t cells = row.size();
  if (cells <= columns) return false;
  const size_t extras = std::min(ctx.extra_columns.size(), columns);
  const size_t regular = columns - extras;

  // The dispatcher appended the extra values after the source's fields: the surplus fields
  // stand between the regular ones and them.
  std::string surplus;
  for (size_t i = regular; i < cells - extras; ++i) {
    if (i > regular) surplus += ctx.separator;
    surplus += row[i];
  }
  for (size_t k = 0; k < extras; ++k) row[regular + k] = std::move(row[cells - extras + k]);
  row.resize(columns);
  row.push_back(std::move(surplus));
  return true;
}

bool parse_tagged_groups(std::vector<std::string>& header,
                         std::vector<std::vector<std::string>>& rows, const std::string& cell,
                         const std::string& prefix, char separator) {
  header.clear();
  // The sub-rows are cut into the vectors rows already holds, which keep their strings; rows
  // is cut to the sub-rows found at the end.
  size_t found = 0;
  auto give_up = [&] {
    header.clear();
    rows.clear();
    return false;
  };
  if (cell.size() < prefix.size() || cell.compare(0, prefix.size(), prefix) != 0) return give_up();
  size_t open = cell.find('<');
  static thread_local std::string content;
  while (open != std::string::npos) {
    size_t close = cell.find('>', open + 1);
    // A last group that lost its ">" still holds values: it runs to the end of the cell.
    const size_t end = close == std::string::npos ? cell.size() : close;
    const bool is_header = open + 1 < end && cell[open + 1] == '[';
    size_t begin = open + (is_header ? 2 : 1);
    size_t stop = end;
    if (is_header && stop > begin && cell[stop - 1] == ']') --stop;
    content.assign(cell, begin, stop - begin);
    if (!content.empty()) {
      if (is_header) {
        split_string(content, separator, header, true, true, false);
      } else {
        if (found == rows.size()) rows.emplace_back();
        split_string(content, separator, rows[found++], true, true, false);
      }
    }
    if (close == std::string::npos) break;
    open = cell.find('<', close + 1);
    // Text outside the groups has no place in a nested table: such a cell is shown as it is.
    size_t gap_end = open == std::string::npos ? cell.size() : open;
    for (size_t i = close + 1; i < gap_end; ++i) {
      if (cell[i] != ' ') return give_up();
    }
  }
  rows.resize(found);
  return found > 0;
}
