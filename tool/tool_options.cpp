#include "tool/tool_options.h"

#include <cstdio>
#include <map>
#include <new>

#include "framework/cmdline/qz_option_lookup.h"
#include "framework/io/qz_platform.h"
#include "framework/io/qz_portable_dir.h"
#include "framework/text/qz_number_parse.h"
#include "framework/text/qz_split.h"
#include "framework/text/qz_string.h"
#include "framework/text/uni_unicode.h"
#include "sqlite_store/sqlite_wrapper.h"
#include "tool/csv_banner.h"
#include "tool/csv_split_state.h"
#include "tool/quazel_tool_metadata.h"
#include "tool/tool_report.h"

namespace {

// A database source for a listing or export: the source and "-sqlite" go to the generic parser
// so that the SQLite setup opens the database.
void take_database_source(quazel_tool_metadata& ctx, std::vector<std::string>& args,
                          const std::string& source) {
  ctx.sqlite_source = source;
  args.push_back("-sqlite");
  args.push_back(source);
}

// The first action option found, with what belongs to it; false to end the run.
bool parse_action(quazel_tool_metadata& ctx, std::vector<std::string>& args, const std::string& source) {
  std::string value;
  if (find_option_flag("-csv_to_json", args, false)) {
    ctx.to_json = 1;
    ctx.csv_source = source;
    if (find_option_flag("-flat", args, false)) ctx.flat = 1;
    if (find_option_flag("-esc_path", args, false)) ctx.slash_paths = 0;
  } else if (find_option_flag("-csv_to_sqlite", args, false)) {
    if (ctx.dst.empty()) {
      report(ctx, "need to provide -dst <dst file> option\n");
      return false;
    }
    ctx.csv_source = source;
    ctx.to_sqlite = 1;
    args.push_back("-sqlite");
    args.push_back(ctx.dst);
    ctx.csv_to_sqlite_on = 1;
  } else if (find_option_value("-sqlite_to_csv", value, args)) {
    ctx.export_table_name = value;
    ctx.to_csv = 1;
    // Without "-src" the checks of the combination say what is missing.
    if (source.empty()) return true;
    if (!file_exists(source)) {
      // Without a word the user would see only the start-up record.
      report(ctx, "prob reading %s, aborting\n", escape_invalid_utf8(source).c_str());
      return false;
    }
    take_database_source(ctx, args, source);
  } else if (find_option_flag("-artifact_tables", args, false)) {
    ctx.artifact_tables = 1;
    take_database_source(ctx, args, source);
  } else if (find_option_flag("-metadata_records", args, false)) {
    ctx.metadata_records = 1;
    take_database_source(ctx, args, source);
  } else if (find_option_flag("-ref_records", args, false)) {
    ctx.ref_records = 1;
    take_database_source(ctx, args, source);
  } else if (find_option_flag("-csv_to_html", args, false)) {
    ctx.to_html = 1;
  } else if (find_option_flag("-split_into_files", args, false)) {
    if (ctx.dst.empty()) {
      report(ctx, "need to provide -dst <dst file> with this option\n");
      return false;
    }
    ctx.split = 1;
    if (find_option_flag("-raw", args, false)) ctx.raw = 1;
  } else {
    if (find_option_value("-pair_fields", value, args)) parse_pair_fields(ctx, value);
    if (find_option_flag("-align_cols", args, false)) ctx.align_cols = 1;
  }
  return true;
}

// Marks column as paired with partner (and skipped when skip), making its entry when it has none.
void pair_column(std::map<int, csv_formating>& pair_map, int column, int partner, bool skip) {
  auto [entry, made] = pair_map.try_emplace(column);
  csv_formating& format = entry->second;
  if (made) format.column = column;
  format.paired = true;
  format.partner = partner;
  if (skip) format.skip = true;
}

// One side of a "-pair_fields" pair: a column number written in decimal, in hex after "x" or
// "0x", or in octal after "o", blanks around it allowed. False for any other text.
bool read_pair_side(std::string side, u32& value) {
  trim_whitespace(side);
  std::size_t digits_at = 0;
  const char* digits = "0123456789";
  const bool hex_prefix = side.size() > 1 && side[0] == '0' && (side[1] == 'x' || side[1] == 'X');
  if (hex_prefix || (!side.empty() && (side[0] == 'x' || side[0] == 'X'))) {
    digits_at = hex_prefix ? 2 : 1;
    digits = "0123456789abcdefABCDEF";
  } else if (!side.empty() && (side[0] == 'o' || side[0] == 'O')) {
    digits_at = 1;
    digits = "01234567";
  }
  if (side.size() <= digits_at || side.find_first_not_of(digits, digits_at) != std::string::npos) {
    return false;
  }
  return parse_u32_string(side, value);
}

}  // namespace

void parse_pair_fields(quazel_tool_metadata& ctx, const std::string& value) {
  const char list_separator = value.find('|') != std::string::npos   ? '|'
                              : value.find(',') != std::string::npos ? ','
                                                                     : ';';
  std::vector<std::string> pieces;
  split_string(value, list_separator, pieces, true, false, false);
  ctx.cleanup = 1;
  for (const std::string& piece : pieces) {
    const std::size_t colon = piece.find(':');
    if (colon == std::string::npos || colon + 1 == piece.size()) {
      report(ctx, "Didn't understand -pair_fields <%s>\n", piece.c_str());
      continue;
    }
    // A number that names no column of the source (0, beyond the header) is kept; the cleanup
    // writer never reaches outside its records for it.
    u32 first = 0;
    u32 second = 0;
    if (!read_pair_side(piece.substr(0, colon), first) || !read_pair_side(piece.substr(colon + 1), second)) {
      report(ctx, "Didn't understand -pair_fields <%s>\n", piece.c_str());
      continue;
    }
    const int receiver = static_cast<int>(static_cast<i64>(first) - 1);
    const int donor = static_cast<int>(static_cast<i64>(second) - 1);

    // The donor's text goes into the receiver and the donor is left out; the receiver names
    // itself. An entry made by an earlier pair is changed, not replaced.
    pair_column(ctx.pair_map, donor, receiver, true);
    pair_column(ctx.pair_map, receiver, receiver, false);
  }
}

namespace {

bool parse_options(quazel_tool_metadata& ctx, std::vector<std::string>& args, const std::string& version_text,
                   bool* banner_read) {
  std::string source;
  find_option_value("-dst", ctx.dst, args);
  find_option_value("-src", source, args);

  if (!parse_action(ctx, args, source)) return false;

  // The generic parser creates the "-diags" log anew as soon as it meets it, and the database
  // to write is opened below: neither may be an input of the run.
  std::string diags;
  if (get_option_value("-diags", diags, args, false)) {
    if (const char* input = input_named_by(ctx, source, diags)) {
      report(ctx, "prob opening -diags log %s, it is %s, aborting\n", escape_invalid_utf8(diags).c_str(), input);
      return false;
    }
  }
  if (ctx.to_sqlite && !source.empty() && qz_platform::same_place(ctx.dst, source)) {
    report(ctx, "prob opening %s as the database, it is the source, aborting\n", escape_invalid_utf8(ctx.dst).c_str());
    return false;
  }

  std::string separator_value;
  if (find_option_value("-csv_separator", separator_value, args)) {
    args.push_back("-change_csv_separator");
    args.push_back(separator_value);
  }

  if (!ctx.parse_generic_options(args)) return false;

  // A file loop writes every source's output into "-dst" ("-pipe" wins when both are given).
  if (ctx.pipe || ctx.enumdir_given) {
    if (ctx.dst.empty()) {
      report(ctx, "need to provide -dst <dst file> with %s option\n", ctx.pipe ? "-pipe" : "-enumdir");
      return false;
    }
    // The folder of "-enumdir" is made once its walk is ready.
    if (ctx.pipe && !make_destination_folder(ctx)) return false;
  }

  if (find_option_flag("-no_header_info", args, false)) ctx.no_header_info = 1;

  if (find_option_value("-change_csv_separator", separator_value, args)) {
    // An empty separator runs the fields together, a line end cuts every row into lines: no
    // reader could take such output apart again.
    if (separator_value.empty() || separator_value.find_first_of("\r\n") != std::string::npos) {
      report(ctx,
             "prob need a separator of one or more characters, without line ends, for "
             "-change_csv_separator, aborting\n");
      return false;
    }
    if (!ctx.artifact_tables) ctx.cleanup = 1;
    ctx.change_separator = 1;
    ctx.new_separator = separator_value;
  }

  if (ctx.align_cols) {
    ctx.trim_fields = 1;
    ctx.cleanup = 1;
  } else if (ctx.trim_fields) {
    ctx.cleanup = 1;
  }
  // A table export reads a database, never a CSV to clean up.
  if (ctx.split || ctx.to_csv) ctx.cleanup = 0;

  const bool output_action = ctx.to_sqlite || ctx.to_json || ctx.to_html || ctx.cleanup || ctx.split;
  const bool listing = ctx.artifact_tables || ctx.metadata_records || ctx.ref_records;
  if (output_action && !listing) {
    if (!source.empty()) {
      // A banner that cannot be read is reported by the reader; main decides what follows.
      const bool read = read_csv_banner(ctx, source);
      if (banner_read) *banner_read = read;
      if (ctx.split) {
        if (ctx.new_separator.empty()) ctx.new_separator = ctx.separator;
        if (!ctx.banner_found) ctx.raw = 1;
      }
    }
  } else if (ctx.to_csv) {
    if (ctx.pipe) {
      report(ctx, "Use [-src <file>] option\n");
      return false;
    }
    if (source.empty()) {
      report(ctx, "Need to provide -src <src file> option\n");
      return false;
    }
    if (ctx.dst.empty()) {
      report(ctx, "Need [-dst <dir>] option\n");
      return false;
    }
  } else if (!ctx.pipe && ctx.csv_source.empty() && ctx.sqlite_source.empty()) {
    report(ctx, "%s", source.empty() ? "Need to provide -src <src file> option\n" : "Need to specify an action\n");
    return false;
  }

  if (find_option_flag("-grp_like_formats", args, false)) {
    ctx.grp_like_formats = 1;
    if (ctx.banner_found && !ctx.is_bodyfile && !ctx.is_csvl2t) {
      ctx.grp_like_formats = 0;
      report(ctx,
             "Warning: option [-grp_like_formats] only available with quazel [csvl2t or bodyfile] generated output\n");
    }
  }

  ctx.version_text = version_text;

  if (!ctx.sqlite_state.init_from_cmdline(args, std::string(), ctx)) return false;
  // The SQLite setup makes "|" the separator of a run with a database.
  set_run_separator(ctx);

  if (ctx.split) {
    ctx.split_state.reset(new (std::nothrow) csv_split::split_metadata());
    if (!ctx.split_state) return false;
  }
  return true;
}

}  // namespace

bool parse_tool_options(quazel_tool_metadata& ctx, std::vector<std::string>& args,
                        const std::string& version_text, bool* banner_read) {
  if (banner_read) *banner_read = false;
  return parse_options(ctx, args, version_text, banner_read);
}

const char* input_named_by(const quazel_tool_metadata& ctx, const std::string& source, const std::string& path) {
  if (path.empty()) return nullptr;
  if (!ctx.sqlite_source.empty() && is_database_file(path, ctx.sqlite_source)) return "the database being read";
  if (ctx.to_sqlite && is_database_file(path, ctx.dst)) return "the database being written";
  if (!source.empty() && qz_platform::same_place(path, source)) return "the source";
  return nullptr;
}

bool make_destination_folder(const quazel_tool_metadata& ctx) {
  // Under "-csv_to_sqlite" the destination is the database file, not a folder.
  if (ctx.to_sqlite || make_dir_path(ctx.dst)) return true;
  report(ctx, "prob creating destination folder: %s\n", escape_invalid_utf8(ctx.dst).c_str());
  return false;
}
