#include "tool/cleanup_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>

#include "framework/text/qz_split.h"
#include "framework/text/qz_string.h"
#include "tool/output_separator.h"

namespace {

// The line a bodyfile's own header row begins with; a bodyfile group opens at its title line,
// so this line is where its rebuilt header belongs.
constexpr std::string_view bodyfile_header_start = "md5|name";
constexpr char line_end = '\n';
// A line goes out whenever this many of its bytes are ready, a longer text in pieces of this
// size: a line of long cells never stands in memory a second time.
constexpr size_t line_piece_bytes = size_t(1) << 20;

// How the texts of one line are written: the separator between them and the character that
// stands in for a separator character inside a text. Under the source's own separator a text
// holds it only inside the quotes that keep it whole: nothing stands in for it.
output_separator cleanup_line_separator(const quazel_tool_metadata& ctx) {
  if (!ctx.change_separator) return {ctx.separator, {}};
  return output_separator_for(ctx.new_separator, ctx);
}

void replace_in(std::string& text, size_t from_index, const output_separator& line_separator) {
  swap_chars(text.data() + from_index, text.data() + text.size(), line_separator.in_cell);
}

// Characters, not bytes: a UTF-8 continuation byte (10xxxxxx) does not start a character, so
// padded columns line up for text beyond ASCII too. Eight bytes are looked at a step.
size_t char_count(std::string_view text) {
  constexpr u64 high_bits = 0x8080808080808080ull;
  size_t continuation = 0;
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    u64 word;
    std::memcpy(&word, text.data() + i, 8);
    const u64 starts_not = word & high_bits & ~(word << 1);
    if (starts_not != 0) continuation += static_cast<size_t>(std::popcount(starts_not));
  }
  for (; i < text.size(); ++i) continuation += (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
  return text.size() - continuation;
}

bool is_trimmed_away(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// trim_whitespace, without a call for the usual text that has nothing to trim.
void trim_text(std::string& text) {
  if (!text.empty() && (is_trimmed_away(text.front()) || is_trimmed_away(text.back()))) {
    trim_whitespace(text);
  }
}

void trim_copy_into(std::string& out, const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return;
  const size_t last = text.find_last_not_of(" \t\r\n");
  out.append(text, first, last - first + 1);
}

// The column that takes column k's text, or -1 when k keeps its own column; only a partner
// inside the texts at hand counts.
int receiver_of(const std::vector<csv_formating>& formats, size_t k, size_t bound) {
  if (k >= formats.size()) return -1;
  const csv_formating& record = formats[k];
  if (!record.paired || !record.skip || record.partner < 0) return -1;
  const size_t partner = static_cast<size_t>(record.partner);
  return partner != k && partner < bound ? record.partner : -1;
}

// Every skipped column names, as its partner, the kept column its text ends in. A pair that
// names no column of the group, names a column as its own partner, or runs in a circle would
// leave a text with nowhere to go: such a column keeps its own place.
void settle_pairs(std::vector<csv_formating>& formats) {
  const int count = static_cast<int>(formats.size());
  for (csv_formating& record : formats) {
    if (!record.skip) continue;
    if (!record.paired || record.partner < 0 || record.partner >= count ||
        record.partner == record.column) {
      record.skip = false;
      record.partner = record.column;
    }
  }
  for (int k = 0; k < count; ++k) {
    csv_formating& record = formats[static_cast<size_t>(k)];
    if (!record.skip) continue;
    int root = record.partner;
    int steps = 0;
    while (formats[static_cast<size_t>(root)].skip && root != k && steps++ < count) {
      root = formats[static_cast<size_t>(root)].partner;
    }
    if (formats[static_cast<size_t>(root)].skip) {
      record.skip = false;
      record.partner = k;
    } else {
      record.partner = root;
    }
  }
}

// Trims (under trim_fields) and merges every paired text into its partner, within bound.
void pair_texts(std::vector<std::string>& texts, size_t bound,
                const std::vector<csv_formating>& formats, const quazel_tool_metadata& ctx,
                const output_separator& line_separator) {
  bound = std::min(bound, texts.size());
  if (ctx.trim_fields) {
    for (size_t i = 0; i < bound; ++i) trim_text(texts[i]);
  }
  const size_t paired_bound = std::min(bound, formats.size());
  for (size_t i = 0; i < paired_bound; ++i) {
    const int partner = receiver_of(formats, i, bound);
    if (partner < 0) continue;
    std::string& receiver = texts[static_cast<size_t>(partner)];
    if (!ctx.trim_fields) trim_text(receiver);
    // The blank goes only between two texts: an empty side adds no blank at either end.
    const size_t start = receiver.size();
    if (start != 0) receiver += ' ';
    if (ctx.trim_fields) {
      receiver += texts[i];
    } else {
      trim_copy_into(receiver, texts[i]);
    }
    if (start != 0 && receiver.size() == start + 1) receiver.pop_back();
    replace_in(receiver, start, line_separator);
  }
}

void write_text(std::ostream& out, const std::string& text) {
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// Appends text to line with the separator's stand-in swapped in; what is ready goes out a piece
// at a time.
void append_text(std::ostream& out, std::string& line, std::string_view text, const output_separator& line_separator) {
  for (;;) {
    const std::string_view piece = text.substr(0, line_piece_bytes);
    const size_t start = line.size();
    line += piece;
    replace_in(line, start, line_separator);
    text.remove_prefix(piece.size());
    if (line.size() < line_piece_bytes) return;
    write_text(out, line);
    line.clear();
    if (text.empty()) return;
  }
}

// One output line, built in line: every text within bound that keeps its own column, the
// separator between them, aligned texts padded with blanks to their width.
void write_line(std::ostream& out, std::string& line, const std::vector<std::string>& texts, size_t bound,
                const std::vector<csv_formating>& formats, const output_separator& line_separator) {
  line.clear();
  bool first = true;
  bound = std::min(bound, texts.size());
  for (size_t k = 0; k < bound; ++k) {
    if (receiver_of(formats, k, bound) >= 0) continue;
    if (!first) line.append(line_separator.text);
    first = false;
    append_text(out, line, texts[k], line_separator);
    if (k < formats.size() && formats[k].aligned) {
      const size_t chars = char_count(std::string_view(texts[k]));
      const size_t width = static_cast<size_t>(std::max(formats[k].width, 0));
      if (chars < width) line.append(width - chars, ' ');
    }
  }
  line += line_end;
  write_text(out, line);
}

void write_text_line(std::ostream& out, const std::string& text) {
  write_text(out, text);
  out.put(line_end);
}

bool header_waiting(const quazel_tool_metadata& ctx) {
  return !ctx.first_header_pending && !ctx.cleanup_state.header_written;
}

// Writes the kept header line of the group; the kept names are used up.
void write_kept_header(std::ostream& out, quazel_tool_metadata& ctx, const output_separator& line_separator) {
  ctx.cleanup_state.header_written = true;
  std::vector<std::string> names;
  names.reserve(ctx.formats.size());
  for (csv_formating& record : ctx.formats) names.push_back(std::move(record.header_text));
  for (csv_formating& record : ctx.formats) record.header_text.clear();
  write_line(out, ctx.cleanup_state.line, names, names.size(), ctx.formats, line_separator);
}

// A header line still waiting for its group's first data row goes out before any other line.
void flush_waiting_header(std::ostream& out, quazel_tool_metadata& ctx, const output_separator& line_separator) {
  if (header_waiting(ctx)) write_kept_header(out, ctx, line_separator);
}

// Formats for the names of a new group, and the names paired. Under "-align_cols" every column
// is aligned, its width starting from its name as written (a merged name fits its column),
// and the names are kept for the header line.
void build_group(std::vector<std::string>& names, quazel_tool_metadata& ctx, const output_separator& line_separator) {
  const size_t count = names.size();
  ctx.formats.assign(count, csv_formating());
  for (size_t k = 0; k < count; ++k) ctx.formats[k].column = static_cast<int>(k);
  ctx.first_header_pending = 0;
  ctx.cleanup_state.header_written = false;
  for (const auto& [column, record] : ctx.pair_map) {
    if (column < 0 || static_cast<size_t>(column) >= count) continue;
    ctx.formats[static_cast<size_t>(column)] = record;
    ctx.formats[static_cast<size_t>(column)].column = column;
  }
  settle_pairs(ctx.formats);
  pair_texts(names, count, ctx.formats, ctx, line_separator);
  if (!ctx.align_cols) return;
  for (size_t k = 0; k < count; ++k) {
    csv_formating& record = ctx.formats[k];
    record.aligned = true;
    record.width = static_cast<int>(char_count(std::string_view(names[k])));
    replace_in(names[k], 0, line_separator);
    record.header_text = names[k];
  }
}

// Opens a group and writes its header line, or under "-align_cols" keeps it for the group's
// first data row.
void open_group(std::ostream& out, std::vector<std::string>& names, quazel_tool_metadata& ctx,
                const output_separator& line_separator) {
  build_group(names, ctx, line_separator);
  if (ctx.align_cols) return;
  ctx.cleanup_state.header_written = true;
  write_line(out, ctx.cleanup_state.line, names, names.size(), ctx.formats, line_separator);
}

// The surplus cell that merge_surplus_fields appended goes into the last regular cell, its
// fields separated by ";".
void fold_surplus(std::vector<std::string>& cells, size_t columns, const quazel_tool_metadata& ctx) {
  const char source_separator = ctx.separator[0];
  while (cells.size() > columns && cells.size() >= 2) {
    std::string& into = cells[cells.size() - 2];
    into += ';';
    const size_t start = into.size();
    trim_copy_into(into, cells.back());
    std::replace(into.begin() + static_cast<std::ptrdiff_t>(start), into.end(), source_separator, ';');
    cells.pop_back();
  }
}

// A header row still waiting is written when the source ends, unless interrupted.
int cleanup_end_of_source(std::ostream& out, std::ostringstream&, quazel_tool_metadata& ctx,
                          bool interrupted) {
  return interrupted ? 0 : cleanup_end_source(out, ctx);
}

}  // namespace

const csv_writer_hooks cleanup_writer_hooks = {
    cleanup_write_head, cleanup_banner_begin, cleanup_banner_line,
    cleanup_write_header, cleanup_short_line, cleanup_write_row,
    nullptr, cleanup_end_of_source,
    /*trims_lines=*/false, /*pads_short_rows=*/false, /*overflow_cell=*/false, /*copies_lines=*/true,
};

int cleanup_write_head(std::ostringstream&, quazel_tool_metadata&) { return 1; }

int cleanup_banner_begin(quazel_tool_metadata&) { return 1; }

int cleanup_banner_line(const std::string& line, const tag_instr&, quazel_tool_metadata& ctx) {
  if (ctx.out == nullptr) return 0;
  const output_separator line_separator = cleanup_line_separator(ctx);
  flush_waiting_header(*ctx.out, ctx, line_separator);
  if (ctx.is_bodyfile && !ctx.first_header_pending && !ctx.separator.empty() &&
      std::string_view(line).starts_with(bodyfile_header_start)) {
    std::vector<std::string> names;
    split_string(line, ctx.separator[0], names, ctx.trim_fields != 0, true, false);
    if (!names.empty() && names.back().empty()) names.pop_back();
    open_group(*ctx.out, names, ctx, line_separator);
    return 1;
  }
  write_text_line(*ctx.out, line);
  return 1;
}

int cleanup_write_header(std::ostream& out, std::ostringstream&, std::vector<std::string>& columns,
                         quazel_tool_metadata& ctx) {
  const output_separator line_separator = cleanup_line_separator(ctx);
  flush_waiting_header(out, ctx, line_separator);
  std::vector<std::string> names = columns;
  if (ctx.is_bodyfile) {
    // A bodyfile's group opens at its title line: the rows get their formats now, and the
    // header line is rebuilt where the source's own header row stands.
    ctx.first_column_name.clear();
    build_group(names, ctx, line_separator);
    ctx.cleanup_state.header_written = true;
    return 1;
  }
  open_group(out, names, ctx, line_separator);
  return 1;
}

int cleanup_short_line(const std::string& line, quazel_tool_metadata& ctx) {
  if (ctx.out == nullptr) return 0;
  flush_waiting_header(*ctx.out, ctx, cleanup_line_separator(ctx));
  write_text_line(*ctx.out, line);
  return 1;
}

int cleanup_write_row(std::ostream& out, std::vector<std::string>& cells, quazel_tool_metadata& ctx) {
  if (ctx.first_header_pending && !cells.empty()) {
    // No header row has opened a group in this source: the line is copied as it came.
    std::string& line = ctx.cleanup_state.line;
    line.clear();
    for (size_t k = 0; k < cells.size(); ++k) {
      if (k > 0) line.append(ctx.separator);
      line += cells[k];
    }
    write_text_line(out, line);
    return 1;
  }
  const bool merged = merge_surplus_fields(cells, ctx, false);
  if (cells.empty()) return 0;
  if (merged && !ctx.separator.empty()) fold_surplus(cells, ctx.columns.size(), ctx);
  const output_separator line_separator = cleanup_line_separator(ctx);
  const size_t count = cells.size();
  pair_texts(cells, count, ctx.formats, ctx, line_separator);
  if (header_waiting(ctx)) {
    // The group's first row fixes the widths: the longer of the name and this row's cell.
    const size_t bound = std::min(count, ctx.formats.size());
    for (size_t k = 0; k < bound; ++k) {
      csv_formating& record = ctx.formats[k];
      if (!record.aligned || record.skip) continue;
      record.width = std::max(record.width, static_cast<int>(char_count(std::string_view(cells[k]))));
    }
    write_kept_header(out, ctx, line_separator);
  }
  write_line(out, ctx.cleanup_state.line, cells, count, ctx.formats, line_separator);
  return 1;
}

int cleanup_end_source(std::ostream& out, quazel_tool_metadata& ctx) {
  if (!header_waiting(ctx)) return 0;
  write_kept_header(out, ctx, cleanup_line_separator(ctx));
  return 1;
}
