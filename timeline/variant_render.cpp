#include "timeline/variant_render.h"

#include <bit>
#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <sstream>

#include "framework/text/qz_guid.h"
#include "framework/text/qz_hex.h"
#include "framework/text/qz_join.h"
#include "framework/text/qz_replace.h"
#include "framework/text/qz_text_layout.h"
#include "framework/time/qz_time.h"
#include "sqlite_store/sqlite_artifact.h"

namespace {

// Writes text in a field of width characters, blank-filled; no field when width is 0.
void put_padded(std::ostream& out, const std::string& text, u64 width, bool right) {
  const u32 pad = width > text.size() ? static_cast<u32>(width - text.size()) : 0;
  if (right) write_padding(out, pad);
  out << text;
  if (!right) write_padding(out, pad);
}

// The width of template column index, 0 when the template has no such column.
u64 template_width(const cmd_params& settings, int index) {
  if (index < 0 || static_cast<size_t>(index) >= settings.source_columns.size()) return 0;
  return settings.source_columns[static_cast<size_t>(index)].aux;
}

// What the padding rules give as the field width: none under trim_fields.
u64 field_width(const cmd_params& settings, u64 width) { return settings.trim_fields ? 0 : width; }

std::string blank_text(const cmd_params& settings) { return settings.trim_fields ? "" : " "; }

void write_spaced_mark(std::ostream& out, const cmd_params& settings) {
  if (settings.spaced_separator) out << ' ';
}

// The run's date and time format; a parameter set whose format was never packed uses its
// format texts. Without fraction digits when asked.
time_format_spec render_spec(const cmd_params& settings, bool no_fraction) {
  time_format_spec spec = settings.time_spec;
  if (spec.flags == 0) parse_date_time_format(spec, settings.date_format, settings.time_format, false);
  if (no_fraction) spec.flags &= ~static_cast<u32>(time_format_fraction_mask);
  return spec;
}

// date and time_text of a valid t by spec; the blank text for both when t is invalid.
void time_texts(std::string& date, std::string& time_text, const qz::time& t, const time_format_spec& spec,
                const cmd_params& settings) {
  if (t.valid) {
    format_time_text(date, time_text, t, spec);
  } else {
    date = blank_text(settings);
    time_text = blank_text(settings);
  }
}

std::string hex_text(u64 value, u64 min_digits) {
  std::ostringstream digits;
  digits << std::hex << value;
  std::string text = digits.str();
  if (text.size() < min_digits) text.insert(0, static_cast<size_t>(min_digits - text.size()), '0');
  return text;
}

u64 size_minimum(u16 type) {
  switch (type) {
    case 1: return 2;
    case 2: return 4;
    case 4: case 8: return 8;
    default: return 0;
  }
}

void render_integer(std::ostream& text, qz_variant_lite& cell, u64 w, u64 e, const cmd_params& settings,
                    generic_hdr& values) {
  const u32 flags = cell.flags;
  const u64 n = cell.number;
  if ((flags & cell_flag_zero_blank) != 0 && n == 0) {
    put_padded(text, blank_text(settings), w >= e ? w - e : 0, true);
    cell.clear();
    cell.type = variant_text;
  } else if ((flags & cell_flag_plain_hex) != 0) {
    put_padded(text, hex_text(n, 0), w >= e ? w - e : 0, true);
  } else if ((flags & cell_flag_hex_to_width) != 0) {
    text << "0x" << hex_text(n, w >= e + 2 ? w - 2 - e : 0);
  } else if ((flags & cell_flag_hex_with_decimal) != 0) {
    text << "0x" << hex_text(n, w >= e + 2 ? w - 2 - e : size_minimum(cell.type)) << " [" << n << "]";
  } else if (settings.hex_numbers == 0 || (flags & cell_flag_decimal) != 0) {
    put_padded(text, std::to_string(n), w > e ? w - e : 0, true);
  } else {
    text << "0x" << hex_text(n, w >= e + 2 ? w - 2 - e : size_minimum(cell.type));
  }
  if (settings.sqlite_on) values.set_field(cell.flags, cell.number, cell.text);
}

// A text cell's text as the row shows it, cut to the cell's text limit under 0x1000000 (cut
// tells whether it was). In the line layout it stays one field that reads back as the cell's
// value: a text the setters quoted is cut inside its quotes, any other text is quoted when it
// would break the row (csv_field_text).
std::string text_as_written(const qz_variant_lite& cell, const cmd_params& settings, bool& cut) {
  const bool cut_to_limit = (cell.flags & cell_flag_cut_text) != 0;
  if ((cell.flags & cell_flag_quoted) != 0 && is_quoted_field(cell.text)) {
    if (!cut_to_limit) return cell.text;
    const std::string value = quoted_field_value(cell.text);
    cut = value.size() > cell.text_limit;
    return cut ? csv_quoted(value.substr(0, cell.text_limit)) : cell.text;
  }
  cut = cut_to_limit && cell.text.size() > cell.text_limit;
  const std::string shown = cut ? cell.text.substr(0, cell.text_limit) : cell.text;
  return settings.kind_multiline ? shown : csv_field_text(shown, settings.separator_text);
}

void render_text(std::ostream& text, qz_variant_lite& cell, u64 w, u64 e, const cmd_params& settings,
                 generic_hdr& values) {
  const bool right = (cell.flags & cell_flag_right_aligned) != 0;
  if (settings.separator_char != 0) {
    replace_char(cell.text, settings.separator_char, settings.separator_replacement, false);
  }
  if (settings.kind_csv || settings.kind_csvl2t || settings.kind_csvgen || settings.kind_bodyfile) {
    mark_line_endings(cell.text);
  }
  const u64 room = w >= e ? w - e : 0;
  bool cut = false;
  const std::string shown = text_as_written(cell, settings, cut);
  if (!cut && (cell.flags & cell_flag_centred) != 0 && !settings.trim_fields && w > e + shown.size()) {
    const u64 p = (w - e - shown.size()) / 2;
    write_padding(text, static_cast<u32>(p));
    put_padded(text, shown, w - p - e, right);
  } else {
    put_padded(text, shown, room, right);
  }
  if (settings.sqlite_on) values.set_field(cell.flags, cell.number, cell.text);
}

void render_unix_time(std::ostream& text, int& i, variant_row& row, const cmd_params& settings, generic_hdr& values) {
  qz_variant_lite& cell = row.cells[static_cast<size_t>(i)];
  const bool right = (cell.flags & cell_flag_right_aligned) != 0;
  const u64 w = field_width(settings, template_width(settings, i));
  std::string date;
  std::string time_text;
  time_texts(date, time_text, qz::time(cell.number, time_kind_unix), render_spec(settings, true), settings);
  if (settings.sqlite_on) values.set_field(cell.flags, cell.number, cell.text);
  switch (cell.type) {
    case 16:
      write_spaced_mark(text, settings);
      put_padded(text, date + " " + time_text, w, right);
      break;
    case 15:
      put_padded(text, date, w, right);
      text << settings.separator_text;
      ++i;
      // The time half goes into the next column only when the row has one.
      if (i >= row.count) break;
      write_spaced_mark(text, settings);
      put_padded(text, time_text, field_width(settings, template_width(settings, i)), right);
      break;
    case 25:
      put_padded(text, date, w, right);
      text << settings.separator_text;
      break;
    default:  // 26
      write_spaced_mark(text, settings);
      put_padded(text, time_text, w, right);
      break;
  }
}

void render_time_list(std::ostream& text, const qz_variant_lite& cell, u64 w, const cmd_params& settings) {
  if (is_two_cell_time_type(cell.type)) return;
  const bool right = (cell.flags & cell_flag_right_aligned) != 0;
  const time_format_spec spec = render_spec(settings, (cell.flags & cell_flag_no_fraction) != 0);
  std::string list;
  for (size_t k = 0; k < cell.times.size(); ++k) {
    std::string date;
    std::string time_text;
    time_texts(date, time_text, qz::time(cell.times[k], cell_time_kind(cell.type)), spec, settings);
    list += date + " " + time_text;
    if (k + 1 < cell.times.size()) list += "; ";
  }
  write_spaced_mark(text, settings);
  put_padded(text, list, w, right);
}

void render_bytes(std::ostream& text, const qz_variant_lite& cell, u64 template_w, u64 w, const cmd_params& settings,
                  generic_hdr& values) {
  const bool right = (cell.flags & cell_flag_right_aligned) != 0;
  std::string shown;
  if (cell.type == variant_guid) {
    shown = cell.bytes.size() >= 16 ? guid_to_string(guid_t(cell.bytes)) : blank_text(settings);
  } else if (cell.bytes.empty()) {
    shown = blank_text(settings);
  } else if (cell.type == variant_hex_bytes + 1) {
    shown = byte_vector_to_hex(cell.bytes, "");
  } else {
    // Spaced bytes are cut with "..." so that they fit the column: at most k + 1 bytes.
    const u32 limit = template_w == 0 ? 16u : static_cast<u32>(template_w / 3 - 2);
    for (size_t j = 0; j < cell.bytes.size(); ++j) {
      shown += hex_text(cell.bytes[j], 2);
      if (j + 1 == cell.bytes.size()) break;
      shown += ' ';
      if (j == limit) {
        shown += "...";
        break;
      }
    }
  }
  put_padded(text, shown, w, right);
  // A text field takes the cell's own rendering; a number field gets 0.
  if (settings.sqlite_on) values.set_field(cell.flags, 0, shown);
}

// The template's names with ":" and one common width, for the name-list layout.
void make_name_list_template(cmd_params& settings) {
  size_t longest = 0;
  for (qz_variant_lite& column : settings.source_columns) {
    if (column.type == variant_hidden_text) continue;
    column.text += ':';
    if (column.text.size() > longest) longest = column.text.size();
  }
  for (qz_variant_lite& column : settings.source_columns) {
    if (column.type != variant_hidden_text) column.aux = longest + 1;
  }
}

void write_name_line(std::ostream& line, const std::vector<qz_variant_lite>& cells, const std::string& separator,
                     bool blank_before_time, bool no_widths) {
  for (size_t k = 0; k < cells.size(); ++k) {
    const qz_variant_lite& column = cells[k];
    if (blank_before_time && (column.type == 13 || column.type == 18 || column.type == 24)) line << ' ';
    const u64 width = no_widths ? 0 : column.aux;
    if ((column.flags & cell_flag_centred) != 0 && !no_widths && width > column.text.size()) {
      const u64 p = (width - column.text.size()) / 2;
      write_padding(line, static_cast<u32>(p));
      put_padded(line, column.text, width - p, false);
    } else {
      put_padded(line, column.text, width, false);
    }
    if (k + 1 < cells.size()) line << separator;
  }
}

bool database_route(const cmd_params& settings) { return settings.sqlite_on && settings.sqlite_params != nullptr; }

}  // namespace

void write_time_cell(std::ostream& text, int& index, variant_row& row, cmd_params& settings, generic_hdr& values) {
  if (row.valid != 1 || index < 0 || index >= row.count || static_cast<size_t>(index) >= row.cells.size()) return;
  qz_variant_lite& cell = row.cells[static_cast<size_t>(index)];
  const bool right = (cell.flags & cell_flag_right_aligned) != 0;
  const u64 w = field_width(settings, template_width(settings, index));
  const time_format_spec spec = render_spec(settings, (cell.flags & cell_flag_no_fraction) != 0);
  std::string date;
  std::string time_text;
  const u32 kind = cell_time_kind(cell.type);
  if ((cell.type == 21 || cell.type == 22) && (cell.flags & cell_flag_double_bits) != 0) {
    const double seconds = std::bit_cast<double>(cell.number);
    const qz::time t(seconds, kind);
    if (seconds < 0 || t.valid) {
      format_time_text(date, time_text, t, spec);
    } else {
      date = blank_text(settings);
      time_text = blank_text(settings);
    }
  } else {
    time_texts(date, time_text, qz::time(cell.number, kind), spec, settings);
  }
  if (settings.sqlite_on) values.set_field(cell.flags, cell.number, cell.text);
  switch (cell.type) {
    case 12: case 17: case 19: case 21:
      put_padded(text, date, w, right);
      text << settings.separator_text;
      ++index;
      if (index >= row.count) return;
      write_spaced_mark(text, settings);
      put_padded(text, time_text, field_width(settings, template_width(settings, index)), right);
      return;
    case 13: case 18: case 20: case 22:
      if (!settings.trim_fields) write_spaced_mark(text, settings);
      put_padded(text, date + " " + time_text, w, right);
      return;
    case 23:
      put_padded(text, date, w, right);
      text << settings.separator_text;
      return;
    default:  // 24
      write_spaced_mark(text, settings);
      put_padded(text, time_text, w, right);
      return;
  }
}

void write_variant_header(std::ostream& out, cmd_params& settings) {
  settings.non_xml_output = 0;
  std::ostringstream line;
  write_name_line(line, settings.source_columns, settings.separator_text, settings.spaced_separator != 0,
                  settings.trim_fields != 0);
  if (database_route(settings)) {
    sqlite3_artifact& store = *settings.sqlite_params;
    if (!store.db_open) return;
    store.set_artifact_type(settings.artifact_type_text.c_str());
    store.set_col_hdrs(line.str().c_str());
    store.start_new_run(false);
    return;
  }
  line << '\n';
  out << line.str();
}

void write_aligned_cells(std::ostream& out, const std::vector<qz_variant_lite>& cells, const std::string& separator,
                         bool blank_before_time, bool no_widths) {
  std::ostringstream line;
  write_name_line(line, cells, separator, blank_before_time, no_widths);
  line << '\n';
  out << line.str();
}

void write_variant_row(std::ostream& out, variant_row& row, cmd_params& settings) {
  out << std::dec << std::setfill(' ') << std::left;
  if (settings.non_xml_output) {
    if (settings.kind_multiline) {
      settings.non_xml_output = 0;
      make_name_list_template(settings);
    } else {
      write_variant_header(out, settings);
    }
  }
  std::ostringstream text;
  generic_hdr values;
  const bool valid = row.valid == 1;
  const int cell_count = valid ? std::min<int>(row.count, static_cast<int>(row.cells.size())) : 0;
  for (int i = 0; i < cell_count; ++i) {
    if (settings.kind_multiline && static_cast<size_t>(i) < settings.source_columns.size()) {
      const qz_variant_lite& column = settings.source_columns[static_cast<size_t>(i)];
      if (column.type != variant_raw_text) put_padded(text, column.text, column.aux, false);
    }
    qz_variant_lite& cell = row.cells[static_cast<size_t>(i)];
    u64 e = 0;
    if ((cell.flags & cell_flag_arrow_prefix) != 0) {
      text << "->";
      e += 2;
    }
    if ((cell.flags & cell_flag_blank_prefix) != 0) {
      text << ' ';
      e += 1;
    }
    const u64 template_w = template_width(settings, i);
    const u64 w = field_width(settings, template_w);
    switch (cell.type) {
      case 1: case 2: case 3: case 4: case 8:
        render_integer(text, cell, w, e, settings, values);
        break;
      case variant_text:
        render_text(text, cell, w, e, settings, values);
        break;
      case variant_raw_text:
        text << cell.text;
        break;
      case variant_hex64: {
        write_spaced_mark(text, settings);
        char digits[24];
        if (settings.hex_numbers || cell.flags == cell_flag_hex_to_width) {
          std::snprintf(digits, sizeof digits, "0x%016llx", static_cast<unsigned long long>(cell.number));
        } else {
          std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(cell.number));
        }
        put_padded(text, digits, w, false);
        break;
      }
      case 15: case 16: case 25: case 26:
        render_unix_time(text, i, row, settings, values);
        break;
      case 12: case 13: case 17: case 18: case 19: case 20: case 21: case 22: case 23: case 24:
        if (cell.flags != cell_flag_whole_list || cell.times.empty()) {
          write_time_cell(text, i, row, settings, values);
        } else {
          render_time_list(text, cell, w, settings);
        }
        break;
      case variant_guid: case variant_hex_bytes: case variant_hex_bytes + 1:
        render_bytes(text, cell, template_w, w, settings, values);
        break;
      default:
        break;
    }
    if (settings.kind_multiline) {
      const bool raw = i < cell_count && row.cells[static_cast<size_t>(i)].type == variant_raw_text;
      if (!raw) text << '\n';
    } else if (i + 1 < row.count) {
      text << settings.separator_text;
    }
  }
  if (valid && settings.sqlite_off) text << '\n';
  if (database_route(settings)) {
    sqlite3_artifact& store = *settings.sqlite_params;
    if (store.db_open) store.add_generic_hdr_row(text, values);
    return;
  }
  out << text.str();
}

void print_variant_row(std::ostream& out, variant_row& row, cmd_params& settings) {
  write_variant_row(out, row, settings);
}

void write_variant_rows(std::ostream& out, std::vector<variant_row>& rows, cmd_params& settings) {
  for (variant_row& row : rows) {
    if (row.valid == 1) write_variant_row(out, row, settings);
  }
}

void write_variant_row_as_lines(std::ostream& out, variant_row& row, cmd_params& settings) {
  settings.kind_multiline = 1;
  settings.trim_fields = 1;
  settings.separator_char = 0;
  settings.separator_replacement = 0;
  settings.sqlite_off = 0;
  write_variant_row(out, row, settings);
}
