#include "tool/split_writer.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string_view>

#include "framework/io/qz_platform.h"
#include "framework/io/qz_portable_dir.h"
#include "framework/io/uni_output.h"
#include "framework/text/qz_join.h"
#include "framework/text/qz_md5.h"
#include "framework/text/qz_string.h"
#include "framework/text/uni_unicode.h"
#include "framework/time/qz_clock.h"
#include "tool/csv_quoted_rows.h"
#include "tool/output_separator.h"
#include "tool/tool_report.h"

namespace {

constexpr u32 title_field_bit = tag_line_bit(tag_line_title, tag_writer_split);
constexpr u32 extra_column_bit = tag_line_bit(tag_line_extra_column, tag_writer_split);
constexpr u32 artifact_type_line_bit = tag_line_bit(tag_line_artifact_type, tag_writer_split);
constexpr u32 source_line_bit = tag_line_bit(tag_line_source, tag_writer_split);
constexpr u32 title_column_bit = tag_column_bit(tag_column_title, tag_writer_split);
constexpr u32 artifact_type_column_bit = tag_column_bit(tag_column_artifact_type, tag_writer_split);
constexpr u32 source_column_bit = tag_column_bit(tag_column_source, tag_writer_split);
constexpr u32 split_column_bits = title_column_bit | artifact_type_column_bit | source_column_bit;

// Rows waiting beyond either bound are written at once: the count holds for ordinary rows, the
// bytes for sources whose rows are long.
constexpr size_t flush_rows = 20000;
constexpr u64 flush_bytes = u64(8) << 20;
constexpr u64 cell_overhead = sizeof(std::string);
// A smaller batch (the rest of a source, a small source's rows) is written by the reading
// thread itself: handing it to the writer thread and waiting for it costs more than it saves.
constexpr u64 thread_batch_bytes = u64(1) << 20;
// A batch's lines go to the file whenever this many bytes of them are ready, and a longer cell
// in pieces of this size: a batch of long cells never stands in memory whole.
constexpr size_t write_piece_bytes = size_t(4) << 20;

// The longest file name the file systems take; a longer group name loses the end of its title,
// never its digest ("-" and 32 hex digits), so that its columns still choose its file.
constexpr size_t max_file_name = 255;
constexpr std::string_view file_extension = ".csv";
constexpr size_t digest_part = 33;
// Every open split file holds a descriptor and an output buffer; beyond this many they are all
// closed, and a group that comes back appends to its file again.
constexpr size_t max_open_files = 64;

constexpr size_t run_time_prefix_length = 9;  // "Runtime: "
constexpr char overflow_column[] = "overflow";
constexpr const char* provenance_columns[] = {"tool used", "orig runtime", "artifact type", "csv src"};

// How the values of one batch are written: the separator between them, the characters swapped
// in names and cells, and the one swapped in the provenance values.
struct output_rules {
  std::string separator;
  char_swap cells[2];
  char_swap values;
};

output_rules output_rules_for(const quazel_tool_metadata& ctx, const csv_split::split_metadata& state) {
  const output_separator separator =
      output_separator_for(ctx.new_separator.empty() ? state.separator : ctx.new_separator, ctx);
  output_rules rules;
  rules.separator = separator.text;
  // Under a separator of the user's choice a cell may hold it: it would split the cell in two.
  // Under the source's own separator a cell holds it only inside the quotes that keep it whole;
  // written under another, the source's separator character takes its stand-in too.
  if (!ctx.new_separator.empty()) {
    if (ctx.separator_char != 0 && ctx.separator_replacement != 0)
      rules.cells[0] = {ctx.separator_char, ctx.separator_replacement};
    if (separator.in_cell.from != ctx.separator_char) rules.cells[1] = separator.in_cell;
  }
  // The provenance values (a source path, a banner's artifact type) come unquoted.
  rules.values = separator.in_cell;
  return rules;
}

void append_value(std::string& out, std::string_view value, const char_swap* swaps, size_t count) {
  const size_t start = out.size();
  out += value;
  const char_swap first = count > 0 ? swaps[0] : char_swap();
  const char_swap second = count > 1 ? swaps[1] : char_swap();
  char* const begin = out.data() + start;
  char* const end = out.data() + out.size();
  if (second.from == 0) {
    if (first.from != 0) swap_chars(begin, end, first);
    return;
  }
  if (first.from == 0) {
    swap_chars(begin, end, second);
    return;
  }
  for (char* at = begin; at != end; ++at) {
    if (*at == first.from) {
      *at = first.to;
    } else if (*at == second.from) {
      *at = second.to;
    }
  }
}

// A cell whose quote never closed in the source (it was kept as the text it is) would run on
// into the following lines for any CSV reader: it is written quoted, its quotes doubled.
bool is_unclosed_cell(std::string_view cell) { return !cell.empty() && cell[0] == '"' && scan_quotes(cell, 0).in_quotes; }

void append_quotes_doubled(std::string& out, std::string_view text) {
  for (const char c : text) {
    out += c;
    if (c == '"') out += '"';
  }
}

// The lines of one batch on their way to its file: what is ready goes out each time it reaches
// write_piece_bytes, a long value a piece at a time. The lines go to the file as they are,
// after what the file's stream holds: copied through the stream's buffer they would cost a
// second pass over every byte.
class batch_lines {
 public:
  batch_lines(std::string& text, uni::fileio& file) : text_(text), file_(file) {
    text_.clear();
    uni::fileio_output* stream = file_.get_output_stream();
    written_ = stream != nullptr && stream->drain();
  }
  std::string& text() { return text_; }
  // Appends value with the swaps applied, written out a piece at a time.
  void write_value(std::string_view value, const char_swap* swaps, size_t count) {
    while (value.size() > write_piece_bytes) {
      append_value(text_, value.substr(0, write_piece_bytes), swaps, count);
      value.remove_prefix(write_piece_bytes);
      write_out();
    }
    append_value(text_, value, swaps, count);
    if (text_.size() >= write_piece_bytes) write_out();
  }
  // A name or cell with the cells' swaps applied (an unclosed one quoted), a piece at a time.
  void write_cell(std::string_view cell, const output_rules& rules) {
    if (!is_unclosed_cell(cell)) {
      write_value(cell, rules.cells, 2);
      return;
    }
    std::string quoted = "\"";
    for (size_t at = 0; at < cell.size(); at += write_piece_bytes) {
      append_quotes_doubled(quoted, cell.substr(at, write_piece_bytes));
      write_value(quoted, rules.cells, 2);
      quoted.clear();
    }
    write_value("\"", rules.cells, 2);
  }
  // Writes what is left; false when some write of the batch failed.
  bool finish() {
    write_out();
    return written_;
  }

 private:
  void write_out() {
    if (written_ && !text_.empty()) written_ = file_.write(text_.data(), static_cast<u32>(text_.size()));
    text_.clear();
  }

  std::string& text_;
  uni::fileio& file_;
  bool written_ = false;
};

void append_header(batch_lines& out, const std::vector<std::string>& names, const output_rules& rules, bool raw) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out.text() += rules.separator;
    out.write_cell(names[i], rules);
  }
  if (!raw) {
    for (const char* name : provenance_columns) {
      out.text() += rules.separator;
      out.text() += name;
    }
  }
  out.text() += '\n';
}

// The four provenance values, with the separators between them.
std::string provenance_tail(const csv_split::split_metadata& state, const output_rules& rules) {
  std::string tail;
  append_value(tail, state.tool_label, &rules.values, 1);
  tail += rules.separator;
  if (state.run_time.size() > run_time_prefix_length)
    append_value(tail, state.run_time.substr(run_time_prefix_length), &rules.values, 1);
  tail += rules.separator;
  append_value(tail, state.artifact_type, &rules.values, 1);
  tail += rules.separator;
  append_value(tail, state.csv_source, &rules.values, 1);
  return tail;
}

// A row's named cells, the provenance tail, then its surplus fields: every named column keeps
// its value whatever the row carries beyond them.
void append_row(batch_lines& out, const row_cells& fields, size_t named, const std::string* tail,
                const output_rules& rules) {
  for (size_t i = 0; i < named; ++i) {
    if (i > 0) out.text() += rules.separator;
    if (i < fields.size()) out.write_cell(fields[i], rules);
  }
  if (tail != nullptr) {
    out.text() += rules.separator;
    out.write_value(*tail, nullptr, 0);
  }
  for (size_t i = named; i < fields.size(); ++i) {
    out.text() += rules.separator;
    out.write_cell(fields[i], rules);
  }
  out.text() += '\n';
}

std::string split_file_path(const quazel_tool_metadata& ctx, const std::string& group_file) {
  std::string path = ctx.dst;
  if (path.empty() || path.back() != '/') path += '/';
  path += group_file;
  path += file_extension;
  return path;
}

void record_failure(csv_split::split_metadata& state, const std::string& path) {
  if (std::find(state.failed_files.begin(), state.failed_files.end(), path) == state.failed_files.end())
    state.failed_files.push_back(path);
}

void drop_pending(csv_split::split_metadata& state) {
  state.row.clear();
  state.pending.clear();
  state.packed_cells.clear();
  state.pending_bytes = 0;
}

// Waits for the batch on the writer thread; false when a write of it failed (recorded).
bool finish_writing(csv_split::split_metadata& state) {
  state.writer.wait();
  if (state.unwritten_path.empty()) return true;
  record_failure(state, state.unwritten_path);
  state.unwritten_path.clear();
  return false;
}

// Closes every split file; a file whose bytes did not all reach the disk is entered as failed.
bool close_split_files(const quazel_tool_metadata& ctx, csv_split::split_metadata& state) {
  bool all_closed = finish_writing(state);
  for (const auto& [name, index] : state.file_index) {
    if (index >= state.files.size() || !state.files[index] || !state.files[index]->is_open()) continue;
    if (!state.files[index]->close()) {
      record_failure(state, split_file_path(ctx, name));
      all_closed = false;
    }
  }
  return state.close_output_files() && all_closed;
}

// The current group's open file, opened on its first batch: appended to when it exists, created
// when it does not; is_new says the file has no header line yet. The file is locked while it is
// open, so that two runs at once never append to one file (their rows would overwrite each
// other's). Null when the file cannot be opened or another run holds it (entered as failed).
uni::fileio* group_file_of(const quazel_tool_metadata& ctx, csv_split::split_metadata& state,
                           bool& is_new) {
  is_new = false;
  const auto found = state.file_index.find(state.group_file);
  if (found != state.file_index.end()) {
    return found->second < state.files.size() ? state.files[found->second].get() : nullptr;
  }
  if (state.files.size() >= max_open_files) close_split_files(ctx, state);

  const std::string path = split_file_path(ctx, state.group_file);
  qz_platform::file_status status;
  std::unique_ptr<uni::fileio> file(new (std::nothrow) uni::fileio());
  bool opened = false;
  bool busy = false;
  if (file) {
    if (!qz_platform::path_status(path, status)) make_dir_path(ctx.dst);
    // Never emptied: a file of earlier runs is appended to.
    opened = file->open_exclusive_utf8(path, true, false, &busy) && file->get_output_stream() != nullptr;
  }
  if (!opened) {
    if (file) file->close();
    if (busy && std::find(state.failed_files.begin(), state.failed_files.end(), path) == state.failed_files.end())
      report(ctx, "prob opening %s for writing, another run is writing it\n", escape_invalid_utf8(path).c_str());
    record_failure(state, path);
    return nullptr;
  }
  // A file left empty has no header line either.
  is_new = file->get_size() == 0;
  state.file_index[state.group_file] = state.files.size();
  state.files.push_back(std::move(file));
  return state.files.back().get();
}

// What the writer thread needs to write one batch: the rows are the state's writing_rows, their
// cells its writing_cells.
struct batch_job {
  csv_split::split_metadata* state;
  uni::fileio* file;
  output_rules rules;
  std::string tail;                 // the provenance values, unless raw
  std::vector<std::string> header;  // the header line's names, for a file that has none yet
  std::string path;                 // the file, as a failure names it
  size_t named;                     // the group's named columns
  u64 cell_bytes;
  bool is_new;
  bool raw;
};

// On the writer thread: the batch's lines into the file.
void write_batch(const batch_job& job) {
  csv_split::split_metadata& state = *job.state;
  batch_lines lines(state.batch_text, *job.file);
  lines.text().reserve(std::min<size_t>(static_cast<size_t>(job.cell_bytes) + state.writing_rows.size() * 64,
                                        2 * write_piece_bytes));
  if (job.is_new) append_header(lines, job.header, job.rules, job.raw);
  static const std::vector<std::string> no_cells;
  row_cells cells(no_cells);
  for (const sqlite_generic_data_row& row : state.writing_rows) {
    if (!cells_of_row(row, state.writing_cells, cells) || cells.size() == 0) continue;
    append_row(lines, cells, job.named, job.raw ? nullptr : &job.tail, job.rules);
  }
  state.writing_rows.clear();
  state.writing_cells.clear();
  // The file's close reports it as well, as for bytes lost inside the stream.
  if (!lines.finish()) {
    if (uni::fileio_output* stream = job.file->get_output_stream()) stream->setstate(std::ios::badbit);
    state.unwritten_path = job.path;
  }
}

// The MD5 digest of the group's column text as 32 lower-case hex digits.
std::string column_digest(const std::string& column_text) {
  u8 digest[16];
  std::string hex;
  if (md5_digest(reinterpret_cast<const u8*>(column_text.data()), static_cast<u32>(column_text.size()),
                 digest)) {
    bytes_to_hex(hex, digest, sizeof digest, false);
  }
  return hex;
}

// The group's name made safe for a file name, cut to the longest name a file may have.
std::string group_file_name(const std::string& name) {
  std::string safe;
  sanitize_identifier(safe, name);
  const size_t room = max_file_name - file_extension.size();
  if (safe.size() > room) safe.erase(room - digest_part, safe.size() - room);
  return safe;
}

// At a group's first data row: its title from the base title and the title columns, and the
// name of its file. The rows of the previous group are written first: the flush's result.
int start_group(quazel_tool_metadata& ctx, csv_split::split_metadata& state,
                 const std::vector<std::string>& cells) {
  std::string name = group_title(ctx, cells, title_column_bit, name_title_style, "Group-");
  for (const tag_instr& tag : ctx.tags) {
    const std::string* cell = tag_cell(tag, cells);
    if (cell == nullptr) continue;
    if (tag.column_flags & artifact_type_column_bit) state.artifact_type = ctx.artifact_type + "-" + *cell;
  }
  name += '-';
  name += column_digest(state.column_text);
  ctx.group_title = group_file_name(name);
  ctx.title_text.str(std::string());
  state.group_file = ctx.group_title;
  return csv_split_flush_files(ctx);
}

// Brings a row into the shape the batch writer takes: first one cell per named column (a row
// that falls short gets empty ones), then the surplus fields. The dispatcher appends the extra
// values after all of the source's fields, so surplus fields stand between the regular cells and
// the extra values; they move behind the extra values, and go when all of them are empty.
void arrange_cells(const quazel_tool_metadata& ctx, const csv_split::split_metadata& state,
                   std::vector<std::string>& cells) {
  const size_t named = state.column_list.size();
  if (cells.size() <= named) {
    cells.resize(named);
    return;
  }
  const size_t extras = ctx.is_bodyfile ? 0 : std::min(ctx.extra_columns.size(), named);
  const auto surplus_begin = cells.begin() + static_cast<std::ptrdiff_t>(named - extras);
  const auto extras_begin = cells.end() - static_cast<std::ptrdiff_t>(extras);
  if (std::all_of(surplus_begin, extras_begin, [](const std::string& cell) { return cell.empty(); })) {
    cells.erase(surplus_begin, extras_begin);
    return;
  }
  std::rotate(surplus_begin, extras_begin, cells.end());
}

// Files of an earlier source are closed before this one's rows come.
int csv_split_begin_source(std::ostream&, quazel_tool_metadata& ctx) {
  return csv_split_close(ctx) ? 1 : 0;
}

// The rows taken are written to their files, also after an interruption.
int csv_split_end_source(std::ostream&, std::ostringstream&, quazel_tool_metadata& ctx, bool) {
  return csv_split_flush_files(ctx);
}

}  // namespace

const csv_writer_hooks split_writer_hooks = {
    csv_split_write_head,   csv_split_flush_files, csv_split_parse_banner_line,
    csv_split_end_group,    csv_split_short_row,   csv_split_write_row,
    csv_split_begin_source, csv_split_end_source,
    /*trims_lines=*/false, /*pads_short_rows=*/true, /*overflow_cell=*/true, /*copies_lines=*/false,
};

int csv_split_write_head(std::ostringstream&, quazel_tool_metadata& ctx) {
  csv_split::split_metadata* state = csv_split_get_metadata(ctx);
  if (state == nullptr || !begin_writer_head(ctx)) return 0;

  state->separator = ctx.separator;

  // Every source brings its own provenance: one without a banner leaves no earlier source's
  // tool, run time or artifact type on its rows.
  const bool banner = ctx.banner_found != 0;
  state->tool_label = banner ? ctx.tool_name + " v" + ctx.tool_version : std::string();
  state->run_time = banner ? "Runtime: " + ctx.run_time_text : std::string();
  state->csv_source = ctx.csv_source;
  state->artifact_type = ctx.artifact_type;
  state->group_file.clear();
  return banner ? 1 : 0;
}

int csv_split_flush_files(quazel_tool_metadata& ctx) {
  csv_split::split_metadata* state = csv_split_get_metadata(ctx);
  if (state == nullptr || state->pending.empty() || state->group_file.empty()) return 0;
  if (state->run_stamp == 0) state->run_stamp = current_time().filetime;
  if (state->column_list.empty()) return 0;

  // A write of the batch before that failed on the writer thread leaves the disk in doubt: no
  // later row could be trusted to it.
  if (!finish_writing(*state)) {
    drop_pending(*state);
    return hook_output_failed;
  }
  bool is_new = false;
  uni::fileio* file = group_file_of(ctx, *state, is_new);
  if (file == nullptr) {
    drop_pending(*state);
    return 0;
  }

  // A row whose packed cells were emptied from under it cannot be written: the file is
  // entered as failed rather than left short in silence.
  bool rows_lost = false;
  row_cells cells(state->row.fields);
  for (const sqlite_generic_data_row& row : state->pending) {
    if (!cells_of_row(row, state->packed_cells, cells)) rows_lost = true;
  }

  // The rows go to the writer thread with what their lines are made of, as it stands now; the
  // next rows are read meanwhile into the room of the batch before.
  bool written = true;
  std::swap(state->pending, state->writing_rows);
  std::swap(state->packed_cells, state->writing_cells);
  const u64 batch_bytes = state->pending_bytes;
  drop_pending(*state);
  batch_job job{state, file, output_rules_for(ctx, *state), {}, {}, split_file_path(ctx, state->group_file),
                state->column_list.size(), batch_bytes, is_new, ctx.raw != 0};
  if (!job.raw) job.tail = provenance_tail(*state, job.rules);
  if (is_new) job.header = state->column_list;
  if (batch_bytes < thread_batch_bytes) {
    write_batch(job);
    written = finish_writing(*state);
  } else {
    state->writer.run([job = std::move(job)] { write_batch(job); });
  }
  if (rows_lost) record_failure(*state, split_file_path(ctx, state->group_file));
  if (!written) return hook_output_failed;
  return rows_lost ? 0 : 1;
}

int csv_split_parse_banner_line(const std::string& line, const tag_instr& tag, quazel_tool_metadata& ctx) {
  csv_split::split_metadata* state = csv_split_get_metadata(ctx);
  if (state == nullptr) return 0;
  int result = store_banner_value(line, tag, ctx, title_field_bit, extra_column_bit);
  if (tag.line_flags & artifact_type_line_bit) {
    state->artifact_type = banner_value(line, tag);
    result = 1;
  }
  // The source line is taken (its value names no column of the split files).
  if (tag.line_flags & source_line_bit) result = 1;
  return result;
}

int csv_split_end_group(std::ostream&, std::ostringstream&, std::vector<std::string>&,
                        quazel_tool_metadata& ctx) {
  csv_split::split_metadata* state = csv_split_get_metadata(ctx);
  if (state == nullptr) return 0;
  // The rows of the ending group go to its file before its name and columns change.
  const int flushed = csv_split_flush_files(ctx);

  apply_group_rule(ctx, split_column_bits, true);
  // column_list holds the names of the file's header line; the digest of column_text, which
  // also names the overflow column of every group but a bodyfile's, chooses the file.
  state->column_list = ctx.columns;
  if (!ctx.is_bodyfile) ctx.columns.push_back(overflow_column);
  state->column_text = join_strings(ctx.columns, "|", false);

  ctx.first_header_pending = 0;
  ctx.group_title.clear();
  std::string title;
  if (ctx.grp_like_formats) {
    if (ctx.is_bodyfile) {
      title = "bodyfile";
    } else if (ctx.is_csvl2t) {
      title = "csvl2t";
    }
  } else {
    title = ctx.short_tool_name;
    if (ctx.is_csvl2t) title += ".csvl2t";
    if (ctx.is_bodyfile) title += ".bodyfile";
    if (!ctx.title_fields.empty()) {
      title += '.';
      title += title_field_text(ctx);
    }
  }
  ctx.title_text.str(title);
  ctx.title_fields.clear();
  return hook_result(flushed, 1);
}

int csv_split_short_row(const std::string&, quazel_tool_metadata& ctx) {
  return csv_split_get_metadata(ctx) != nullptr ? 1 : 0;
}

int csv_split_write_row(std::ostream&, std::vector<std::string>& cells, quazel_tool_metadata& ctx) {
  csv_split::split_metadata* state = csv_split_get_metadata(ctx);
  if (state == nullptr) return 0;
  const int started = ctx.group_title.empty() ? start_group(ctx, *state, cells) : 1;
  ctx.group_has_rows = 1;
  arrange_cells(ctx, *state, cells);
  const int buffered = csv_split_buffer_row(state->run_stamp, cells, ctx);
  return hook_result(started, buffered);
}

int csv_split_buffer_row(u64 metaref, std::vector<std::string>& cells, quazel_tool_metadata& ctx) {
  csv_split::split_metadata* state = csv_split_get_metadata(ctx);
  if (state == nullptr) return 0;
  u64 bytes = 0;
  for (const std::string& cell : cells) bytes += cell.size() + cell_overhead;
  // The cells are copied into the packed text, not into strings of their own; the caller's
  // vector keeps its strings for the next row. A long row's strings are taken over instead.
  sqlite_generic_data_row& row = state->pending.emplace_back();
  row.metaref = metaref;
  row.packed_row = 1 + state->packed_cells.take(cells);
  state->pending_bytes += bytes;
  if (state->pending.size() > flush_rows || state->pending_bytes > flush_bytes) {
    if (csv_split_flush_files(ctx) == hook_output_failed) return hook_output_failed;
  }
  return 1;
}

bool csv_split_close(quazel_tool_metadata& ctx) {
  csv_split::split_metadata* state = csv_split_get_metadata(ctx);
  if (state == nullptr) return true;
  const bool flushed = csv_split_flush_files(ctx) != hook_output_failed;
  return close_split_files(ctx, *state) && flushed;
}

csv_split::split_metadata* csv_split_get_metadata(quazel_tool_metadata& ctx) { return ctx.split_state.get(); }
