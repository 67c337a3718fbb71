#include "sqlite_store/sqlite_readers.h"

#include <algorithm>
#include <cinttypes>
#include <ostream>
#include <set>
#include <string_view>
#include <vector>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/cmdline/qz_console.h"
#include "framework/io/qz_portable_dir.h"
#include "framework/io/uni_fileio.h"
#include "framework/io/uni_output.h"
#include "framework/text/qz_join.h"
#include "framework/text/qz_md5.h"
#include "framework/text/qz_split.h"
#include "framework/text/qz_string.h"
#include "framework/time/qz_variant.h"
#include "framework/text/qz_number_parse.h"
#include "framework/text/uni_unicode.h"
#include "sqlite_store/sql_results.h"
#include "sqlite_store/sqlite_artifact.h"
#include "sqlite_store/sqlite_wrapper.h"

namespace {

// How values are joined into one CSV line: the separator, and the character of it that a
// value must not carry (a value holding it would add a column) with its stand-in.
struct csv_line_format {
  std::string separator = "|";
  char guarded = '|';
  char replacement = ';';
};

// The run's separator settings: separator_text, the character it stands for and the run's
// stand-in for that character (a blank where the run has none). A separator of several
// characters without such a character is guarded as a whole.
csv_line_format line_format_of(const cmd_params& tool) {
  csv_line_format format;
  format.separator = tool.separator_text;
  if (tool.separator_char != 0 && format.separator.find(tool.separator_char) != std::string::npos) {
    format.guarded = tool.separator_char;
  } else {
    format.guarded = format.separator.size() == 1 ? format.separator[0] : 0;
  }
  const bool run_replacement = tool.separator_char == format.guarded && tool.separator_replacement != 0 &&
                               tool.separator_replacement != format.guarded;
  format.replacement = run_replacement ? tool.separator_replacement : ' ';
  return format;
}

// Appends value with its line ends made visible and the guarded character replaced; zero
// bytes in it are kept.
void append_value(std::string& line, std::string_view value, const csv_line_format& format) {
  const size_t start = line.size();
  line += value;
  if (line.find_first_of("\r\n", start) != std::string::npos) {
    std::string marked = line.substr(start);
    mark_line_endings(marked);
    line.replace(start, std::string::npos, marked);
  }
  if (format.guarded != 0) {
    for (size_t i = line.find(format.guarded, start); i != std::string::npos;
         i = line.find(format.guarded, i + 1)) {
      line[i] = format.replacement;
    }
  } else if (format.separator.size() > 1) {
    for (size_t i = line.find(format.separator, start); i != std::string::npos;
         i = line.find(format.separator, i + 1)) {
      line.replace(i, format.separator.size(), 1, ' ');
    }
  }
}

void append_value(std::string& line, const char* value, const csv_line_format& format) {
  append_value(line, std::string_view(value != nullptr ? value : ""), format);
}

void append_value(std::string& line, const std::string& value, const csv_line_format& format) {
  append_value(line, std::string_view(value), format);
}

// The stored name of the table or view that name refers to (names compare without regard to
// ASCII case, as in SQL); false when the database holds none. Names are bound, never spliced.
bool find_table(sqlite3_artifact& store, const std::string& name, std::string& stored) {
  sql_statement query;
  if (!query.prepare(store.db,
                     "select name from sqlite_master where type in ('table','view') and name=? collate nocase;") ||
      !query.bind_text_copy(1, name) || query.step() != SQLITE_ROW) {
    return false;
  }
  const unsigned char* text = sqlite_functions.column_text(query.handle(), 0);
  stored = text != nullptr ? reinterpret_cast<const char*>(text) : "";
  return true;
}

// One statement that reads every row of a table found by find_table.
std::string select_all(const std::string& table) { return "select * from " + quote_backticks(table) + ";"; }

bool table_has_rows(sqlite3_artifact& store, const std::string& table) {
  sql_statement query;
  return query.prepare(store.db, "select 1 from " + quote_backticks(table) + " limit 1;") &&
         query.step() == SQLITE_ROW;
}

// ---- The single-table dump ----

struct table_dump {
  std::ostream* out = nullptr;
  csv_line_format format;
  bool quoted = false;  // values between double quotes ("-enable_quoted_csv_fields")
  bool raw = false;     // no hex form for values holding control or non-ASCII bytes
  bool header_written = false;
  u64 rows = 0;
  std::string line;
};

bool needs_hex_form(const std::string& value) {
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F) return true;
  }
  return false;
}

// A JSON object value is kept as it is, unless it holds the separator.
bool keeps_own_form(const std::string& value, const csv_line_format& format) {
  return value.size() >= 3 && value[0] == '{' && value[1] == '"' &&
         (format.guarded == 0 || value.find(format.guarded) == std::string::npos);
}

void append_dump_value(table_dump& dump, const std::string& text) {
  std::string& line = dump.line;
  std::string value = text;
  mark_line_endings(value);
  if (!dump.raw && needs_hex_form(value)) {
    std::string hex;
    bytes_to_hex(hex, reinterpret_cast<const u8*>(value.data()), static_cast<i32>(value.size()), true);
    line += "hex={";
    line += hex;
    line += '}';
  } else if (dump.quoted && !keeps_own_form(value, dump.format)) {
    // Quotes inside are doubled, so that the field reads back as it was.
    line += '"';
    for (const char c : value) {
      if (c == '"') line += '"';
      line += c;
    }
    line += '"';
  } else if (dump.quoted) {
    line += value;
  } else {
    append_value(line, value, dump.format);
  }
}

// One row of the dump. Values come with their lengths, so a zero byte does not end one.
int dump_row(void* context, std::vector<std::string>& values, std::vector<std::string>& names, u8, void*, void*) {
  table_dump& dump = *static_cast<table_dump*>(context);
  ++dump.rows;
  // After a failed write the rows are only counted; the caller reports the failure.
  if (!dump.out->good()) return 1;
  std::string& line = dump.line;
  line.clear();
  if (!dump.header_written) {
    dump.header_written = true;
    for (size_t i = 0; i < names.size(); ++i) {
      if (i > 0) line += dump.format.separator;
      append_value(line, names[i], dump.format);
    }
    line += '\n';
  }
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) line += dump.format.separator;
    append_dump_value(dump, values[i]);
  }
  line += '\n';
  dump.out->write(line.data(), static_cast<std::streamsize>(line.size()));
  return 0;
}

// ---- The data-table export ----

const char* run_time_of(const sqlite_metadata_row& run) {
  // notes holds "Runtime: " and the producing tool's run time.
  return run.notes.size() >= 10 ? run.notes.c_str() + 9 : "";
}

// The file name of a table's export in folder: its cleaned name with ".csv"; a name already
// taken in this run (the cleaning, or a folder that ignores case, can make two tables one
// name) gets "-2", "-3", ... so that no export replaces another.
std::string export_path(const std::string& folder, const std::string& table, std::set<std::string>& used) {
  std::string base;
  sanitize_identifier(base, table);
  if (base.empty()) base = "table";
  std::string name = base + ".csv";
  for (int copy = 2;; ++copy) {
    std::string key = name;
    if (used.insert(to_lower(key)).second) break;
    name = base + "-" + std::to_string(copy) + ".csv";
  }
  return folder + "/" + name;
}

// One row of a data-table export. Values come with their lengths, so a zero byte does not end one.
int data_table_row(void* context, std::vector<std::string>& values, std::vector<std::string>& names, u8, void*,
                   void*) {
  return static_cast<sql_data_table_to_fileio*>(context)->write_row(values, names);
}

}  // namespace

// ---- sql_data_table_to_fileio ----

sql_data_table_to_fileio::sql_data_table_to_fileio() { clear(); }

sql_data_table_to_fileio::~sql_data_table_to_fileio() = default;

void sql_data_table_to_fileio::clear() {
  row_count = 0;
  table.clear();
  name_count = 0;
  out_file = nullptr;
  first_row = 1;
  runs.clear();
  tool_context = nullptr;
  extra_args_column = 0;
  unmatched_rows = 0;
  line_.clear();
}

int sql_data_table_to_fileio::sql_data_table_cb(void* context, int count, char** values, char** names) {
  auto* results = static_cast<sql_results*>(context);
  if (results == nullptr || results->context == nullptr) return 1;
  sql_data_table_to_fileio& self = *static_cast<sql_data_table_to_fileio*>(results->context);
  std::vector<std::string> row_values;
  std::vector<std::string> row_names;
  for (int i = 0; i < count; ++i) {
    row_values.emplace_back(values != nullptr && values[i] != nullptr ? values[i] : "");
    row_names.emplace_back(names != nullptr && names[i] != nullptr ? names[i] : "");
  }
  return self.write_row(row_values, row_names);
}

int sql_data_table_to_fileio::write_row(const std::vector<std::string>& values, const std::vector<std::string>& names) {
  std::ostream* out = out_file != nullptr ? out_file->get_output_stream() : nullptr;
  if (out == nullptr) return 1;

  ++row_count;
  // Rows are matched to their batch by position: the store gives a table the rowids 1, 2, ...
  // and records each batch's last one.
  const auto match = runs.lower_bound(row_count);
  const sqlite_metadata_row* run = match != runs.end() ? &match->second : nullptr;
  if (run == nullptr) ++unmatched_rows;
  // After a failed write the rows are only counted; the caller reports the failure.
  if (!out->good()) return 1;

  csv_line_format format;
  if (tool_context != nullptr && tool_context->separator_text != "|") format = line_format_of(*tool_context);
  const std::string& s = format.separator;
  const size_t value_columns = values.empty() ? 0 : values.size() - 1;
  std::string& line = line_;
  line.clear();

  if (first_row) {
    first_row = 0;
    if (run != nullptr) {
      std::vector<std::string> header;
      split_string(run->col_hdrs, '|', header, true, true, false);
      name_count = header.size();
      if (s != "|" && !header.empty()) {
        for (size_t i = 0; i < header.size(); ++i) {
          if (i > 0) line += s;
          append_value(line, header[i], format);
        }
      } else {
        line += run->col_hdrs;
      }
    } else {
      // Without a run record the table's own column names stand in.
      name_count = value_columns;
      for (size_t i = 1; i <= value_columns; ++i) {
        if (i > 1) line += s;
        append_value(line, i < names.size() ? names[i] : std::string(), format);
      }
    }
    for (size_t i = name_count; i < value_columns; ++i) line += s;
    line += s + "tool used" + s + "orig runtime" + s + "artifact type" + s;
    if (extra_args_column) line += "extra args" + s;
    line += "csv src" + s + "artifact src\n";
  }

  for (size_t i = 1; i <= value_columns; ++i) {
    append_value(line, values[i], format);
    line += s;
  }
  static const sqlite_metadata_row no_run;
  const sqlite_metadata_row& record = run != nullptr ? *run : no_run;
  append_value(line, record.toolname, format);
  line += s;
  append_value(line, run_time_of(record), format);
  line += s;
  append_value(line, record.artifact_type, format);
  line += s;
  if (extra_args_column) {
    append_value(line, record.extra_args, format);
    line += s;
  }
  append_value(line, record.file_other, format);
  line += s;
  append_value(line, record.file, format);
  line += '\n';
  out->write(line.data(), static_cast<std::streamsize>(line.size()));
  return 0;
}

// ---- The exports of sqlite3_artifact ----

bool sqlite3_artifact::dump_table(std::ostream* out, const std::string& table, cmd_params& tool, bool raw) {
  if (!db_open || out == nullptr || table.empty()) return false;
  std::string stored;
  if (!find_table(*this, table, stored)) return false;
  table_dump dump;
  dump.out = out;
  dump.format = line_format_of(tool);
  dump.quoted = tool.quoted_fields != 0;
  dump.raw = raw;
  const bool ran = sql_select_each_named(&dump, 0, nullptr, nullptr, db, select_all(stored), dump_row, 1);
  return ran && dump.rows > 0;
}

bool sqlite3_artifact::export_table(const std::string& dst, const std::string& table, cmd_params& tool) {
  if (!db_open || dst.empty() || table.empty()) return false;
  // A table that is missing or empty leaves the destination as it was.
  std::string stored;
  if (!find_table(*this, table, stored) || !table_has_rows(*this, stored)) return false;
  if (is_database_file(dst, db_path)) {
    report("prob accessing %s, it is the database being read, aborting\n", escape_invalid_utf8(dst).c_str());
    return false;
  }
  uni::fileio file;
  bool busy = false;
  uni::fileio_output* stream = file.open_exclusive_utf8(dst, true, true, &busy) ? file.get_output_stream() : nullptr;
  if (stream == nullptr) {
    report(busy ? "prob accessing %s, another run is writing it, aborting\n" : "prob accessing %s, aborting\n",
           escape_invalid_utf8(dst).c_str());
    return false;
  }
  const bool dumped = dump_table(stream, stored, tool, true);
  const bool written = stream->good() && file.close();
  if (dumped && !written) report("prob writing %s\n", escape_invalid_utf8(dst).c_str());
  if (!dumped || !written) return false;
  clear_status_line_if_enabled(tool);
  return true;
}

bool sqlite3_artifact::export_artifact_tables(const std::vector<std::string>&, const std::string& dst,
                                              bool use_tool_separator, cmd_params& tool) {
  if (!db_open || dst.empty()) return false;
  std::map<u64, sqlite_metadata_row> records;
  if (!get_metadata_records(records) || records.empty()) return false;
  // Each table's run records, in runtime order.
  std::map<std::string, std::vector<const sqlite_metadata_row*>> runs_of_table;
  for (const auto& [run_key, record] : records) runs_of_table[record.data_tbl_name].push_back(&record);
  std::map<std::string, u64> tables;
  if (!get_ref_records(tables) || tables.empty()) return false;
  if (!make_dir_path(dst)) {
    report("prob creating destination folder: %s\n", escape_invalid_utf8(dst).c_str());
    return false;
  }

  sql_data_table_to_fileio state;
  std::set<std::string> used_names;
  for (const auto& [table, last_rowid] : tables) {
    if (table == metadata_table) continue;
    if (tool.status_display) status_printf_width(40, "analyzing %s\n", escape_invalid_utf8(table).c_str());
    const std::string export_file = export_path(dst, table, used_names);
    if (is_database_file(export_file, db_path)) {
      report("prob opening %s for output, it is the database being read, skipping this data table\n",
             escape_invalid_utf8(export_file).c_str());
      ++failed_exports;
      continue;
    }
    uni::fileio file;
    bool busy = false;
    if (!file.open_exclusive_utf8(export_file, false, true, &busy)) {
      report(busy ? "prob opening %s for output, another run is writing it, skipping this data table\n"
                  : "prob opening %s for output, skipping this data table\n",
             escape_invalid_utf8(export_file).c_str());
      ++failed_exports;
      continue;
    }

    state.clear();
    state.table = table;
    state.out_file = &file;
    state.tool_context = use_tool_separator ? &tool : nullptr;
    for (const sqlite_metadata_row* run : runs_of_table[table]) {
      // Of two records with one end the earlier stays.
      state.runs.emplace(run->row_data_end, *run);
      // Every line has the same columns: the column is there when any run of the table has extra text.
      if (!run->extra_args.empty()) state.extra_args_column = 1;
    }

    std::string stored;
    const bool read = find_table(*this, table, stored) &&
                      sql_select_each_named(&state, 0, nullptr, nullptr, db, select_all(stored), data_table_row, 1);
    const bool written = file.close();
    if (!written) {
      report("prob writing %s\n", escape_invalid_utf8(export_file).c_str());
      ++failed_exports;
    } else if (!read) {
      report("prob reading table %s\n", escape_invalid_utf8(table).c_str());
      ++failed_exports;
    }
    if (state.unmatched_rows != 0) {
      report("prob finding the run record of %" PRIu64 " rows of %s\n", state.unmatched_rows,
             escape_invalid_utf8(table).c_str());
      ++failed_exports;
    }
  }
  clear_status_line_if_enabled(tool);
  return true;
}

// ---- sql_file_results ----

namespace {

// A file-name part: blanks made "_", then only letters, digits, "-", "." and "_" kept; "_" when
// nothing is left.
std::string file_name_part(const std::string& text) {
  std::string spaced = text;
  for (char& c : spaced) {
    if (c == ' ') c = '_';
  }
  std::string part;
  sanitize_identifier(part, spaced);
  return part.empty() ? std::string("_") : part;
}

}  // namespace

sql_file_results::sql_file_results() { clear(); }

sql_file_results::~sql_file_results() { close_output(); }

void sql_file_results::clear() {
  close_output();
  out_folder.clear();
  last_id = 0;
  current_file.clear();
  written_files.clear();
  first_file = 1;
  runs.clear();
  unmatched_rows = 0;
  failed_file.clear();
}

bool sql_file_results::close_output() {
  if (output == nullptr) return true;
  const bool written = output->close();
  output.reset();
  if (!written && failed_file.empty()) failed_file = current_file;
  return written;
}

std::string sql_file_results::file_path_for(const sqlite_metadata_row& run, u64 id) const {
  const size_t slash = run.file.rfind('/');
  const std::string source = slash == std::string::npos ? run.file : run.file.substr(slash + 1);
  return out_folder + "/" + file_name_part(run.toolname) + "_" + file_name_part(source) + "_" +
         file_name_part(run.artifact_type) + "_" + std::to_string(id) + (run.separator.empty() ? ".txt" : ".csv");
}

int sql_file_results::sql_generic_data_cb(void* context, int count, char** values, char**) {
  auto* self = static_cast<sql_file_results*>(context);
  if (self == nullptr || self->runs.empty() || self->out_folder.empty() || count != 2 || values == nullptr) return 1;
  u64 id = 0;
  if (values[0] != nullptr) parse_u64(values[0], id);
  if (id != self->last_id || self->output == nullptr) {
    const auto run = self->runs.find(id);
    if (run == self->runs.end()) {
      ++self->unmatched_rows;
      return 1;
    }
    if (!self->close_output()) return 1;
    const std::string path = self->file_path_for(run->second, id);
    self->current_file = path;
    self->last_id = id;
    auto file = std::make_unique<uni::fileio>();
    // A run met again goes on in its file: what was written for it stays.
    const bool again = std::find(self->written_files.begin(), self->written_files.end(), path) !=
                       self->written_files.end();
    const bool opened = again ? file->open_append_utf8(path, false) : file->open_utf8(path, true, false, true);
    if (!opened || file->get_output_stream() == nullptr) {
      self->failed_file = path;
      return 1;
    }
    self->output = std::move(file);
    if (!again) {
      self->written_files.push_back(path);
      std::ostream& header = *self->output->get_output_stream();
      header << run->second.col_hdrs << '\n';
    }
  }
  std::ostream& out = *self->output->get_output_stream();
  if (values[1] != nullptr) out << values[1];
  out << '\n';
  if (!out.good()) {
    self->failed_file = self->current_file;
    return 1;
  }
  return 0;
}

// ---- The generic-data export and the aligned printer ----

bool sqlite3_artifact::export_generic_files(std::vector<std::string>& files, const std::string& folder) {
  if (!db_open) return false;
  return export_generic_data(files, folder);
}

bool sqlite3_artifact::export_generic_data(std::vector<std::string>& files, std::string folder) {
  if (!db_open || folder.empty()) return false;
  sql_file_results state;
  state.out_folder = folder;
  if (!get_metadata_records(state.runs)) return false;
  if (!make_dir_path(folder)) {
    report("prob creating destination folder: %s\n", escape_invalid_utf8(folder).c_str());
    return false;
  }
  std::vector<std::string> tables;
  if (!get_ref_table_names(tables)) return false;
  bool complete = true;
  size_t listed = 0;
  for (const std::string& table : tables) {
    if (table == metadata_table) continue;
    const std::string query = "select `metaref`,`desired_output` from " + quote_backticks(table) + ";";
    const u64 unmatched_before = state.unmatched_rows;
    const bool ran = sql_exec_statements(&state, this, {query}, &sql_file_results::sql_generic_data_cb);
    // A file of this table or an earlier one did not reach the disk: the rest would not either.
    if (!state.failed_file.empty() || (ran && !state.close_output())) {
      report("prob writing %s\n", escape_invalid_utf8(state.failed_file).c_str());
      complete = false;
      break;
    }
    if (state.unmatched_rows != unmatched_before) {
      report("prob finding the run record of the lines of %s\n", escape_invalid_utf8(table).c_str());
      complete = false;
    }
    // A table without stored lines (a data table) fails the query itself and is passed over.
    files.insert(files.end(), state.written_files.begin() + static_cast<std::ptrdiff_t>(listed),
                 state.written_files.end());
    listed = state.written_files.size();
  }
  if (!state.close_output()) {
    report("prob writing %s\n", escape_invalid_utf8(state.failed_file).c_str());
    complete = false;
  }
  if (listed < state.written_files.size()) {
    files.insert(files.end(), state.written_files.begin() + static_cast<std::ptrdiff_t>(listed),
                 state.written_files.end());
  }
  return complete;
}

bool sqlite3_artifact::print_rows_aligned(std::ostream& out, const std::vector<std::string>& names,
                                          const std::vector<std::vector<std::string>>& rows, cmd_params& tool,
                                          u32 max_width, bool cut, aligned_cell_text_fn first,
                                          aligned_cell_text_fn second, const aligned_row_writer* writer) {
  if (names.empty() || rows.empty() || writer == nullptr || writer->write_header == nullptr ||
      writer->write_row == nullptr) {
    return false;
  }
  std::vector<u64> widths(names.size(), 0);
  const bool no_widths = tool.trim_fields != 0;
  std::vector<qz_variant_lite> templates = tool.source_columns;
  if (names.size() >= templates.size()) {
    for (size_t i = 0; i < templates.size(); ++i) {
      qz_variant_lite& cell = templates[i];
      if (cell.text.empty()) {
        cell.text = names[i];
        cell.aux = names[i].size();
      }
      if (cell.type == 0) cell.type = variant_text;
      if (cell.flags == 0) cell.flags = 0x80;
      widths[i] = std::max(widths[i], cell.aux);
    }
    for (size_t i = templates.size(); i < names.size(); ++i) {
      templates.emplace_back(names[i], names[i].size(), variant_text, 0x80);
      if (!no_widths) widths[i] = std::max<u64>(widths[i], names[i].size());
    }
  }
  if (!no_widths) {
    for (const std::vector<std::string>& row : rows) {
      for (size_t i = 0; i < widths.size() && i < row.size(); ++i) widths[i] = std::max<u64>(widths[i], row[i].size());
    }
    for (size_t i = 0; i < widths.size() && i < templates.size(); ++i) {
      if (max_width != 0) widths[i] = std::min<u64>(widths[i], max_width);
      templates[i].aux = widths[i];
      if (max_width != 0) {
        templates[i].text_limit = static_cast<u16>(std::min<u32>(max_width, 0xFFFF));
        if (cut) templates[i].flags |= variant_flag_cut_text;
      }
    }
  }
  writer->write_header(out, templates, tool.separator_text, false, no_widths);
  cmd_params settings(tool);
  settings.source_columns = templates;
  const u32 default_flags = tool.quoted_fields ? 0x8000 : 0;
  std::vector<std::string> values;
  for (const std::vector<std::string>& row : rows) {
    // Exactly one value per name: a short row's missing values are empty.
    values.assign(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(std::min(row.size(), names.size())));
    values.resize(names.size());
    writer->write_row(out, values, settings, default_flags, first, second);
  }
  return true;
}
