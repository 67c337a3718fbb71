#include "timeline/l2t_csv_writer.h"

#include <iomanip>
#include <sstream>

#include "framework/text/qz_join.h"
#include "framework/text/qz_replace.h"
#include "framework/text/qz_string.h"
#include "sqlite_store/sqlite_artifact.h"
#include "sqlite_store/sqlite_generic_data.h"
#include "timeline/variant_row.h"

namespace {

constexpr u64 no_parent_inode = 0xffffffffffffULL;
constexpr u64 root_folder_inode = 5;

// The separator rule of the context on a text that stays where it is.
void replace_separator(std::string& text, const l2t_output_context& ctx) {
  if (ctx.separator_char != 0 && ctx.separator_replacement != 0) {
    replace_char(text, ctx.separator_char, ctx.separator_replacement, false);
  }
}

// A column text as it is printed: the separator character replaced, line ends marked, and
// quoted (quotes doubled) when it would still break the row.
std::string clean(const std::string& text, const l2t_output_context& ctx) {
  std::string shown = text;
  replace_separator(shown, ctx);
  mark_line_endings(shown);
  return csv_field_text(shown, ctx.separator_text);
}

bool database_open(const l2t_output_context& ctx) { return ctx.store != nullptr && ctx.store->db_open; }

// The column line on the first call of an output. False when the stream write fails.
bool write_column_line(bool* first, std::ostream* out, l2t_output_context& ctx) {
  if (first == nullptr || !*first) return true;
  *first = false;
  bool written = true;
  if (database_open(ctx)) {
    if (ctx.params != nullptr) ctx.store->set_artifact_type(ctx.params->artifact_type_text.c_str());
    std::ostringstream line;
    write_l2t_csv_header(line, ctx.separator_text, ctx.extended != 0, ctx.one_datetime_column != 0);
    ctx.store->set_col_hdrs(line.str().c_str());
    ctx.store->set_gen_hdrs(l2t_generic_headers);
    ctx.store->set_file(ctx.filename.c_str());
    ctx.store->start_new_run(false);
  } else if (out == nullptr) {
    written = false;
  } else {
    write_l2t_csv_header(*out, ctx.separator_text, ctx.extended != 0, ctx.one_datetime_column != 0);
    *out << '\n';
    written = static_cast<bool>(*out);
  }
  if (ctx.params != nullptr) ctx.params->non_xml_output = 0;
  return written;
}

void write_extended_columns(std::ostream& line, const l2t_output_context& ctx) {
  const std::string& sep = ctx.separator_text;
  line << sep;
  if (ctx.hex_numbers) {
    line << std::hex << std::right << std::setfill('0');
    line << "0x" << std::setw(4) << ctx.ref_count << sep << clean(ctx.extension, ctx) << sep;
    line << "0x" << std::setw(6) << ctx.size_data << sep;
    line << "0x" << std::setw(4) << ctx.inode_seqnum << sep;
    line << "0x" << std::setw(8) << ctx.parent_inode << sep;
    line << "0x" << std::setw(4) << ctx.parent_seqnum << sep;
  } else {
    line << std::dec << std::setfill(' ');
    line << ctx.ref_count << sep << clean(ctx.extension, ctx) << sep << ctx.size_data << sep << ctx.inode_seqnum
         << sep << ctx.parent_inode << sep << ctx.parent_seqnum << sep;
  }
  line << clean(ctx.clusters, ctx) << sep;
  line << std::hex << std::right;
  for (u8 byte : ctx.header_info) line << std::setw(2) << static_cast<u32>(byte) << ' ';
  line << std::dec << std::setfill(' ') << std::left;
}

// Prints the rows; grouped rows are the caller's, with their own rules for the type and extra
// columns. 1, or 0 when a stream write failed.
int write_rows(bool* first, std::ostream* out, l2t_output_context& ctx, macb_rows& rows, bool grouped) {
  if (out != nullptr) *out << std::setfill(' ') << std::dec << std::left;
  bool written = write_column_line(first, out, ctx);
  const bool to_database = database_open(ctx);
  if (!to_database && out == nullptr) return 0;
  const std::string& sep = ctx.separator_text;
  const bool time_blank = ctx.blank_before_time && !ctx.no_whitespace;
  std::ostringstream line;
  for (auto& [key, row] : rows) {
    if (grouped ? row.use_row == 0 : !row.time.valid) continue;
    if (ctx.window_start != 0 && (row.raw_time < ctx.window_start || row.raw_time > ctx.window_end)) continue;
    // A row without a valid time has no date to print: it never shows as 1601 or 1970.
    if (!row.time.valid) continue;
    std::string date;
    std::string time_text;
    format_time_text(date, time_text, row.time, ctx.time_spec);
    if (ctx.one_datetime_column) {
      if (time_blank) line << ' ';
      line << date << ' ' << time_text << sep;
    } else {
      line << date << sep;
      if (time_blank) line << ' ';
      line << time_text << sep;
    }
    line << clean(ctx.timezone, ctx) << sep;
    std::string macb = row.macb;
    if (ctx.lower_macb) to_lower(macb);
    line << macb << sep;
    line << clean(!row.source.empty() ? row.source : ctx.source, ctx) << sep;
    line << clean(ctx.sourcetype, ctx) << sep;
    if (!ctx.type.empty()) {
      line << clean(ctx.type, ctx);
    } else if (!row.notes.empty()) {
      line << clean(row.notes, ctx);
    } else if (grouped && row.desc_parts.size() == 4) {
      std::string parts;
      for (const std::string& part : row.desc_parts) {
        if (part.empty()) continue;
        if (!parts.empty()) parts += "; ";
        parts += part;
      }
      line << clean(parts, ctx);
    }
    line << sep;
    line << clean(!row.user.empty() ? row.user : ctx.user, ctx) << sep;
    line << clean(ctx.host, ctx) << sep;
    // The context keeps its cleaned texts.
    replace_separator(ctx.short_text, ctx);
    replace_separator(ctx.desc, ctx);
    replace_separator(ctx.filename, ctx);
    replace_separator(ctx.notes, ctx);
    if (grouped) {
      replace_separator(row.notes, ctx);
      replace_separator(row.filename, ctx);
    } else {
      replace_separator(ctx.extra, ctx);
      mark_line_endings(ctx.desc);
      mark_line_endings(ctx.notes);
      mark_line_endings(ctx.extra);
    }
    line << clean(ctx.short_text, ctx) << sep << clean(ctx.desc, ctx) << sep << std::dec << ctx.version << sep;
    line << clean(!row.filename.empty() ? row.filename : ctx.filename, ctx) << sep;
    line << clean(ctx.inode, ctx) << sep << clean(ctx.notes, ctx) << sep << clean(ctx.format, ctx) << sep;
    line << clean(grouped && !row.extra.empty() ? row.extra : ctx.extra, ctx);
    if (ctx.extended) write_extended_columns(line, ctx);
    if (ctx.params == nullptr || ctx.params->sqlite_off != 0) line << '\n';
    if (to_database) {
      ctx.store->add_generic_row(line, row.time.filetime, 0, row.macb, ctx.sourcetype, 0, 0, 0);
    } else {
      *out << line.str();
      if (!*out) written = false;
    }
    line.str(std::string());
  }
  return written ? 1 : 0;
}

}  // namespace

l2t_output_context::l2t_output_context() {
  time_spec.flags = 0;
  time_spec.min_year = 1900;
  time_spec.max_year = 2600;
  clear();
}

void l2t_output_context::clear() {
  times.clear();
  timezone = "UTC";
  source.clear();
  sourcetype.clear();
  type.clear();
  user.clear();
  host.clear();
  short_text.clear();
  desc.clear();
  version = 2;
  filename.clear();
  inode.clear();
  notes.clear();
  format = "-csvl2t";
  extra.clear();
  date_format = "yyyy-mm-dd";
  time_format = "hh:mm:ss.xxx";
  parse_date_time_format(time_spec, date_format, time_format, false);
  separator_text = ',';
  separator_char = ',';
  separator_replacement = ' ';
  lower_macb = 0;
  blank_before_time = 0;
  no_whitespace = 0;
  hex_numbers = 0;
  mft_option_compact = 0;
  mft_option_clusters = 0;
  mft_option_header_info = 0;
  mft_option_extracted_path = 0;
  one_datetime_column = 0;
  hash_md5 = 0;
  hash_sha1 = 0;
  hash_sha1_second = 0;
  md5_text.clear();
  sha1_text.clear();
  sha1_second_text.clear();
  extended = 0;
  ref_count = 0;
  extension.clear();
  size_data = 0;
  inode_seqnum = 0;
  parent_inode = 0;
  parent_seqnum = 0;
  clusters.clear();
  header_info.clear();
  header_info_as_strings = 0;
  extracted_path.clear();
  window_start = 0;
  window_end = 0;
  store = nullptr;
  params = nullptr;
}

void l2t_output_context::init_from_params(cmd_params* run) {
  if (run == nullptr) return;
  params = run;
  hex_numbers = run->hex_numbers;
  sourcetype = run->artifact_type_text;
  format = run->program_name + " (quazel)";
  date_format = run->date_format;
  time_format = run->time_format;
  time_spec = run->time_spec;
  no_whitespace = run->trim_fields;
  blank_before_time = run->trim_fields ? 0 : 1;
  user = run->user_name;
  host = run->host_name;
  separator_text = run->separator_text;
  separator_char = run->separator_char;
  separator_replacement = run->separator_replacement;
  one_datetime_column = run->pair_datetime;
  store = run->sqlite_params;
}

void l2t_output_context::set_ntfs_columns(u32 ref_count_value, u64 parent_inode_value, u32 parent_seqnum_value,
                                          u32 inode_seqnum_value, u64 size_data_value, const char* extension_text,
                                          const char* clusters_text) {
  extended = 1;
  ref_count = ref_count_value;
  if (parent_inode_value == no_parent_inode) {
    parent_inode = root_folder_inode;
    parent_seqnum = 0;
  } else {
    parent_inode = parent_inode_value;
    parent_seqnum = parent_seqnum_value;
  }
  inode_seqnum = inode_seqnum_value;
  size_data = size_data_value;
  if (extension_text != nullptr) extension = extension_text;
  if (clusters_text != nullptr) clusters = clusters_text;
}

void l2t_output_context::set_inode_text(u64 inode_value) {
  std::ostringstream text;
  if (hex_numbers) {
    text << "0x" << std::hex << std::setw(8) << std::setfill('0') << inode_value;
  } else {
    text << inode_value;
  }
  inode = text.str();
}

void write_l2t_csv_header(std::ostream& out, const std::string& separator, bool extended, bool one_datetime_column) {
  write_l2t_header(out, separator, extended, one_datetime_column);
}

int write_l2t_csv_records(bool* first, std::ostream* out, l2t_output_context& ctx) {
  macb_rows rows;
  merge_macb_times(rows, ctx.times, ctx.times.kind);
  return write_rows(first, out, ctx, rows, false);
}

int write_l2t_csv_grouped_records(bool* first, std::ostream* out, l2t_grouped_context& grouped) {
  return write_rows(first, out, grouped, grouped.rows, true);
}
