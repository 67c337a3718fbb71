#include "timeline/mft_record_writer.h"

#include <sstream>
#include <string>

#include "framework/text/qz_hex.h"
#include "sqlite_store/sqlite_artifact.h"
#include "timeline/variant_render.h"

namespace {

// Puts the template of this writer into params and records where each column lies.
void build_template(cmd_params& params, const l2t_output_context& ctx, mft_record_columns& columns) {
  columns = mft_record_columns();
  std::vector<qz_variant_lite>& cells = params.source_columns;
  cells.clear();
  auto add = [&cells](i32* position, const char* name, u64 width, u16 type) {
    if (position != nullptr) *position = static_cast<i32>(cells.size());
    cells.push_back(type == 0 ? qz_variant_lite(name, width) : qz_variant_lite(name, width, type, 0));
  };
  const bool compact = ctx.mft_option_compact != 0;
  add(&columns.entry, "mft entry", 10, 0);
  add(&columns.seqnum, "mft seqnum", 10, 0);
  add(&columns.parent, "parent mft", 10, 0);
  add(&columns.parent_seqnum, "par seqnum", 10, 0);
  add(&columns.type, "type", 7, 0);
  add(&columns.extension, "ext", 9, 0);
  add(&columns.ref_count, "ref", 3, 0);
  if (!compact) add(&columns.size, "size data", 10, 0);
  if (!params.pair_datetime) {
    add(&columns.date, "date", ctx.date_format.size(), 0);
    add(nullptr, "time-utc", ctx.time_format.size(), 24);
  } else {
    add(&columns.date, "date/time-utc", ctx.date_format.size() + 1 + ctx.time_format.size(), 13);
  }
  add(&columns.macb, "MACB", 33, 0);
  if (!compact) add(&columns.data_type, "data type", 14, 0);
  add(&columns.other_info, "other info", 14, 0);
  if (ctx.hash_md5) add(&columns.md5, "MD5 hash", 32, 0);
  if (ctx.hash_sha1) add(&columns.sha1, "SHA1 hash", 40, 0);
  if (ctx.hash_sha1_second) add(&columns.sha1_second, "SHA1 hash", 40, 0);
  add(&columns.name, "name", 15, 0);
  add(&columns.path, "path", 60, 0);
  if (!compact && ctx.mft_option_clusters) {
    add(&columns.clusters, "clusters/relevant data", 80, 0);
  } else {
    add(&columns.clusters, "various data types", 100, 0);
  }
  if (ctx.mft_option_extracted_path) {
    add(&columns.last, "extracted path/file", 0, 0);
  } else if (ctx.mft_option_header_info) {
    add(&columns.last, "header info", 0, 0);
  }
  if (params.trim_fields) {
    for (qz_variant_lite& cell : cells) cell.aux = 0;
  }
}

// A number cell stored as it is, without a setter.
void set_number_cell(variant_row& row, i32 position, u64 number, u16 type, u32 flags) {
  if (row.valid != 1 || position < 0 || position >= row.count) return;
  qz_variant_lite& cell = row.cells[static_cast<size_t>(position)];
  cell.clear();
  cell.number = number;
  cell.type = type;
  cell.flags = row.default_flags | flags;
}

std::string last_column_text(const l2t_output_context& ctx) {
  if (!ctx.extracted_path.empty()) return ctx.extracted_path;
  if (ctx.header_info.empty()) return std::string();
  std::ostringstream text;
  write_hex_or_strings(text, ctx.header_info.data(), static_cast<u32>(ctx.header_info.size()),
                       ctx.header_info_as_strings != 0, 5, "; ");
  return text.str();
}

std::string flags_text(const macb_context& entry, bool with_fn83, bool with_fn) {
  std::ostringstream text;
  entry.write_flags(text, false, with_fn83, with_fn);
  return text.str();
}

}  // namespace

int write_mft_record_csv(bool* first, std::ostream* out, macb_context_map& entries, l2t_output_context& ctx,
                         mft_record_columns& columns) {
  cmd_params* params = ctx.params;
  const bool to_database = params != nullptr && params->sqlite_on && params->sqlite_params != nullptr;
  std::ostringstream unused;
  std::ostream& sink = out != nullptr ? *out : unused;
  bool written = true;
  if (first != nullptr && *first) {
    *first = false;
    if (params != nullptr) {
      params->non_xml_output = 0;
      build_template(*params, ctx, columns);
      if (params->sqlite_on && ctx.store != nullptr) {
        ctx.store->set_file("");
        ctx.store->set_gen_hdrs(mft_generic_headers);
      }
      write_variant_header(sink, *params);
      if (!sink) written = false;
    }
  }
  if (params == nullptr) return 1;
  if (out == nullptr && !to_database) return 0;
  const i32 cell_count = static_cast<i32>(params->source_columns.size());
  for (auto& [instant, entry] : entries) {
    if (ctx.window_start != 0 && (instant < ctx.window_start || instant > ctx.window_end)) continue;
    variant_row base(cell_count, false, params->quoted_fields ? cell_flag_quoted : 0);
    base.set_text(columns.entry, ctx.inode, variant_text, 0);
    set_number_cell(base, columns.seqnum, ctx.inode_seqnum, variant_u16, cell_flag_decimal);
    set_number_cell(base, columns.parent, ctx.parent_inode, variant_u64, 0);
    set_number_cell(base, columns.parent_seqnum, ctx.parent_seqnum, variant_u16, cell_flag_decimal);
    base.set_text(columns.type, ctx.notes, variant_text, 0);
    base.set_text(columns.extension, ctx.extension, variant_text, 0);
    set_number_cell(base, columns.ref_count, ctx.ref_count, variant_u32, cell_flag_decimal);
    set_number_cell(base, columns.size, ctx.size_data, variant_u64, 4);
    base.set_number(columns.date, instant, params->pair_datetime ? u16{13} : u16{12}, 1);
    base.set_text(columns.data_type, ctx.desc, variant_text, 0);
    base.set_text(columns.other_info, ctx.extra, variant_text, 0);
    base.set_text(columns.md5, ctx.md5_text, variant_text, 0);
    base.set_text(columns.sha1, ctx.sha1_text, variant_text, 0);
    base.set_text(columns.sha1_second, ctx.sha1_second_text, variant_text, 0);
    base.set_text(columns.clusters, ctx.clusters, variant_text, 0);
    base.set_text(columns.last, last_column_text(ctx), variant_text, 0);
    for (const std::string& name : entry.names) {
      if (name.empty()) continue;
      variant_row row = base;
      row.set_text(columns.macb, flags_text(entry, false, true), variant_text, 32);
      row.set_text(columns.name, entry.stream_name.empty() ? name : name + ":" + entry.stream_name, variant_text, 0);
      row.set_text(columns.path, entry.path, variant_text, 64);
      write_variant_row(sink, row, *params);
      if (!sink) written = false;
    }
    for (const std::string& path_text : entry.paths) {
      if (path_text.empty()) continue;
      variant_row row = base;
      row.set_text(columns.macb, flags_text(entry, true, false), variant_text, 32);
      row.set_text(columns.type, ctx.notes + " (FN 8.3)", variant_text, 0);
      row.set_text(columns.name, path_text, variant_text, 0);
      row.set_text(columns.path, entry.path, variant_text, 64);
      write_variant_row(sink, row, *params);
      if (!sink) written = false;
    }
  }
  return written ? 1 : 0;
}
