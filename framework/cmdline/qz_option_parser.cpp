#include "framework/cmdline/qz_option_parser.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "framework/cmdline/qz_filename_filter.h"
#include "framework/cmdline/qz_option_lookup.h"
#include "framework/io/qz_platform.h"
#include "framework/io/qz_portable_dir.h"
#include "framework/io/uni_fileio.h"
#include "framework/text/qz_env.h"
#include "framework/text/qz_hex.h"
#include "framework/text/qz_names.h"
#include "framework/text/qz_number_parse.h"
#include "framework/text/qz_replace.h"
#include "framework/text/qz_split.h"
#include "framework/text/qz_string.h"
#include "framework/text/uni_unicode.h"
#include "framework/time/qz_filetime.h"
#include "framework/time/qz_time.h"
#include "framework/time/qz_time_format.h"
#include "framework/time/qz_time_parse.h"

namespace {

using arg_list = std::vector<std::string>;

enum class lookup { absent, taken, refused };

// The value of name, when it stands in args with one. An option in last place has lost its
// value: going on without it would quietly drop what the user asked for (a results file, a
// filter, a window), so the run is refused.
lookup take_value(const char* name, std::string& value, arg_list& args) {
  if (find_option_value(name, value, args)) return lookup::taken;
  if (!option_present(name, args, true)) return lookup::absent;
  std::fprintf(stderr, "prob missing value for %s, aborting\n", name);
  return lookup::refused;
}

void set_separator(cmd_params& params, const char* text) {
  std::string separator = text;
  params.set_csv_separator(separator, false);
}

using output_kind = decltype(&cmd_params::kind_csv);

void set_output_kind(cmd_params& params, output_kind kind) {
  params.kind_csv = 0;
  params.kind_csvgen = 0;
  params.kind_csvl2t = 0;
  params.kind_bodyfile = 0;
  params.kind_xml = 0;
  params.kind_multiline = 0;
  params.*kind = 1;
}

bool set_flag(u8& field) {
  field = 1;
  return true;
}

// ---- "-diags"

bool open_diags_log(cmd_params& params, std::string& path, arg_list& args) {
  if (!params.open_debug_file(path)) return true;
  if (find_option_flag("-l2", args, false))
    params.diags_level = 2;
  else if (find_option_flag("-l3", args, false))
    params.diags_level = 3;
  return true;
}

// ---- "-alias", "-aliaspath"

bool refuse_imbalanced_alias() {
  std::fprintf(stderr, "%s, aborting\n", "imbalanced alias to true pathfiles");
  return false;
}

void drop_trailing_slash(std::string& text) {
  if (!text.empty() && text.back() == '/') text.pop_back();
}

bool add_path_aliases(cmd_params& params, std::string& value, arg_list&) {
  std::vector<std::string> pieces;
  if (value.empty()) return refuse_imbalanced_alias();
  split_string(value, '|', pieces, true, false, false);
  if (pieces.size() % 2 != 0) return refuse_imbalanced_alias();
  for (std::size_t at = 0; at < pieces.size(); at += 2) {
    std::string key = expand_env_vars(pieces[at], true);
    std::string replacement = expand_env_vars(pieces[at + 1], true);
    params.alias_map.emplace(to_lower(key), replacement);
  }
  return true;
}

bool add_folder_aliases(cmd_params& params, std::string& value, arg_list&) {
  if (value.empty()) {
    params.alias_path_map.emplace("*", expand_env_vars(value, true));
    return true;
  }
  std::vector<std::string> pieces;
  split_string(value, '|', pieces, true, false, false);
  if (pieces.size() % 2 != 0) return refuse_imbalanced_alias();
  for (std::size_t at = 0; at < pieces.size(); at += 2) {
    std::string key = expand_env_vars(pieces[at], true);
    std::string replacement = expand_env_vars(pieces[at + 1], true);
    to_lower(key);
    drop_trailing_slash(key);
    remove_char(replacement, '"');
    drop_trailing_slash(replacement);
    params.alias_path_map.emplace(key, replacement);
  }
  return true;
}

// ---- "-out", "-outfile"

// Whether anything, a dangling link included, stands at path.
bool path_entry_exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

// Makes sure the results file can be written before the run starts, without harming it: an
// existing file is opened as it is and closed, since a run refused later must not have cost
// the user its content; main empties it only when the run goes ahead. A file that had to be
// created stays under "-append" (main extends it without creating it) and is removed again
// otherwise, so that main creates it anew.
bool test_results_file(cmd_params& params, std::string& value, arg_list& args) {
  params.out_path = expand_env_vars(value, true);
  replace_char(params.out_path, '\\', '/', false);
  params.out_given = 1;
  const bool append = option_present("-append", args, true);
  const bool entry_existed = path_entry_exists(params.out_path);
  uni::fileio file;
  bool created = false;
  if (!file.open_utf8(params.out_path, true, false, false) && !file_exists(params.out_path))
    created = file.open_utf8(params.out_path, true, false, true);
  if (!file.is_valid()) {
    std::fprintf(stderr, "prob opening file %s for output, aborting\n", escape_invalid_utf8(params.out_path).c_str());
    return false;
  }
  file.close();
  // Through a dangling link the file was made at the link's target: the link stays.
  if (created && !append && !entry_existed) remove_file(params.out_path);
  return true;
}

// ---- "-num_subdirs"

bool set_walk_depth(cmd_params& params, std::string& value, arg_list&) {
  u64 depth = 0;
  // A negative or too large number would wrap to another depth without a word.
  if (!read_option_number(value, 0xFFFFFFFF, depth)) {
    std::fprintf(stderr, "prob invalid -num_subdirs value %s, aborting\n", value.c_str());
    return false;
  }
  params.enumdir_depth = static_cast<u32>(depth);
  return true;
}

// ---- "-filter_skip", "-filter", "-filter_path", "-filter_sig"

bool add_filters(std::vector<filename_filter>& target, std::string& value, arg_list& args) {
  std::vector<filename_filter> parsed;
  parse_filename_filters(parsed, value);
  target.insert(target.end(), parsed.begin(), parsed.end());
  if (target.empty()) return true;
  std::string folder;
  switch (take_value("-filter_path", folder, args)) {
    case lookup::absent:
      return true;
    case lookup::refused:
      return false;
    case lookup::taken:
      break;
  }
  to_lower(folder);
  const std::wstring wide_folder = utf8_to_wstring(folder);
  for (filename_filter& filter : target) {
    filter.filter_path = wide_folder;
    filter.filter_path_length = static_cast<u32>(folder.size());
  }
  return true;
}

bool add_exclude_filters(cmd_params& params, std::string& value, arg_list& args) {
  return add_filters(params.exclude_filters, value, args);
}

bool add_include_filters(cmd_params& params, std::string& value, arg_list& args) {
  return add_filters(params.include_filters, value, args);
}

bool add_signature_filter(cmd_params& params, std::string& value, arg_list&) {
  std::vector<std::string> pieces;
  if (value.find(',') != std::string::npos)
    split_string(value, ',', pieces, true, false, false);
  else if (value.find('|') != std::string::npos)
    split_string(value, '|', pieces, true, false, false);
  if (pieces.empty()) pieces.assign(1, value);
  std::vector<u8> bytes;
  parse_hex_bytes(bytes, pieces[0], ' ', true);
  u64 offset = 0;
  // An offset that is no number, or too large for a file, would quietly test offset 0.
  if (pieces.size() == 2 && !read_option_number(pieces[1], ~u64(0), offset)) {
    std::fprintf(stderr, "prob invalid -filter_sig offset %s, aborting\n", pieces[1].c_str());
    return false;
  }
  if (bytes.empty()) return true;
  filename_filter filter;
  filter.signature = bytes;
  filter.signature_offset = offset;
  params.include_filters.push_back(filter);
  return true;
}

// ---- "-cmd_start_time", "-cmd_stop_time"

enum class bound { refused, invalid, set };

// Unix seconds of a FILETIME, held within 32 bits: an instant before 1970 counts as 0 and one
// after 2106 as the largest value, so that the window keeps its sense for unix-second files.
u32 clamped_unix_seconds(u64 filetime) {
  if (filetime <= filetime_unix_epoch) return 0;
  const u64 seconds = (filetime - filetime_unix_epoch) / filetime_ticks_per_second;
  return seconds > 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<u32>(seconds);
}

// Reads "date[ time]" (year, month, day cut at '/' or '-') as UTC; default_time stands in for
// a missing time part.
bound read_window_bound(const std::string& value, const char* default_time, u64& filetime,
                        u32& unix_seconds) {
  const std::size_t blank = value.find(' ');
  const std::string date = value.substr(0, blank);
  const std::string time_part = blank == std::string::npos ? default_time : value.substr(blank + 1);
  if (date.empty()) return bound::refused;
  char separator = 0;
  if (date.find('/') != std::string::npos)
    separator = '/';
  else if (date.find('-') != std::string::npos)
    separator = '-';
  else
    return bound::refused;
  SYSTEMTIME fields;
  if (!parse_date_time_to_systemtime(date.c_str(), time_part.c_str(), "YMD", separator, &fields))
    return bound::invalid;
  const u64 ticks = FILETIME(fields).value();
  const qz::time instant(ticks, time_kind_filetime);
  if (!instant.valid) return bound::invalid;
  filetime = ticks;
  unix_seconds = clamped_unix_seconds(ticks);
  return bound::set;
}

void clear_window_stop(cmd_params& params) {
  params.stop_set = 0;
  params.stop_filetime = 0;
  params.stop_unix = 0;
}

bool set_window_start(cmd_params& params, std::string& value, arg_list&) {
  params.start_set = 0;
  params.start_filetime = 0;
  params.start_unix = 0;
  const bound result = read_window_bound(value, "", params.start_filetime, params.start_unix);
  if (result == bound::refused) return false;
  if (result == bound::set) {
    params.start_set = 1;
    params.stop_set = 1;
    params.stop_filetime = ~u64(0);
    params.stop_unix = 0xFFFFFFFF;
  } else {
    clear_window_stop(params);
    std::fputs("invalid start time, ignoring\n", stderr);
  }
  return true;
}

bool set_window_stop(cmd_params& params, std::string& value, arg_list&) {
  clear_window_stop(params);
  const bound result = read_window_bound(value, "23:59:59", params.stop_filetime, params.stop_unix);
  if (result == bound::refused) return false;
  if (result == bound::set) params.stop_set = 1;
  if (params.stop_set && params.start_set && params.stop_filetime < params.start_filetime)
    clear_window_stop(params);
  if (!params.stop_set) std::fputs("invalid stop time, ignoring\n", stderr);
  return true;
}

// ---- "-dateformat", "-timeformat"

void refuse_format(const std::string& value) {
  std::fprintf(stderr, "%s\n", ("invalid " + value + ", using default format").c_str());
}

bool set_date_format(cmd_params& params, std::string& value, arg_list&) {
  std::string format = value;
  to_lower(format);
  // A pattern without day, month and year in a known order would print every date empty.
  time_format_spec trial;
  if ((format.size() == 8 || format.size() == 10) && parse_date_time_format(trial, format, "", false))
    params.date_format = format;
  else
    refuse_format(value);
  return true;
}

bool set_time_format(cmd_params& params, std::string& value, arg_list&) {
  const std::size_t length = value.size();
  if ((length == 8 || (length >= 12 && length <= 18)) && value.find(':') != std::string::npos) {
    params.time_format = value;
    to_lower(params.time_format);
  } else {
    refuse_format(value);
  }
  return true;
}

// ---- The table

enum class option_form { flag, value, every_value };

struct generic_option {
  const char* name;
  const char* alternative;  // looked for only when name is absent
  option_form form;
  bool (*apply)(cmd_params& params, std::string& value, arg_list& args);
};

const generic_option generic_options[] = {
    {"-pair_datetime", nullptr, option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) { return set_flag(p.pair_datetime); }},
    {"-diags", nullptr, option_form::value, open_diags_log},
    {"-csv", nullptr, option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) {
       set_output_kind(p, &cmd_params::kind_csv);
       set_separator(p, ",");
       p.trim_fields = p.pair_datetime ? 0 : 1;
       return true;
     }},
    {"-csvgen", nullptr, option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) {
       set_output_kind(p, &cmd_params::kind_csvgen);
       set_separator(p, ",");
       p.trim_fields = 1;
       return true;
     }},
    {"-csvl2t", nullptr, option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) {
       set_output_kind(p, &cmd_params::kind_csvl2t);
       p.non_xml_output = 1;
       set_separator(p, ",");
       return true;
     }},
    {"-bodyfile", nullptr, option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) {
       set_output_kind(p, &cmd_params::kind_bodyfile);
       p.non_xml_output = 1;
       set_separator(p, "|");
       return true;
     }},
    {"-xml", nullptr, option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) {
       set_output_kind(p, &cmd_params::kind_xml);
       p.non_xml_output = 0;
       set_separator(p, "");
       return true;
     }},
    {"-multiline", nullptr, option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) {
       set_output_kind(p, &cmd_params::kind_multiline);
       p.non_xml_output = 1;
       set_separator(p, "");
       return true;
     }},
    {"-alias", nullptr, option_form::value, add_path_aliases},
    {"-aliaspath", nullptr, option_form::value, add_folder_aliases},
    {"-gzip", nullptr, option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) {
       p.compress = 1;
       p.gzip = 1;
       return true;
     }},
    {"-zlib", nullptr, option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) {
       p.compress = 1;
       p.zlib = 1;
       return true;
     }},
    {"-threads", nullptr, option_form::value,
     [](cmd_params& p, std::string& v, arg_list&) {
       parse_u32(v.c_str(), p.thread_count);
       return true;
     }},
    {"-zlibex", nullptr, option_form::value,
     [](cmd_params& p, std::string& v, arg_list&) {
       p.compress = 1;
       p.zlibex = 1;
       p.zlibex_text = v;
       return true;
     }},
    {"-sqlite_log", nullptr, option_form::value,
     [](cmd_params& p, std::string& v, arg_list&) {
       p.sqlite_log_path = v;
       return true;
     }},
    {"-sqlite", nullptr, option_form::value,
     [](cmd_params& p, std::string& v, arg_list&) {
       p.sqlite_on = 1;
       p.sqlite_off = 0;
       p.sqlite_path = v;
       return true;
     }},
    {"-signal", nullptr, option_form::value,
     [](cmd_params& p, std::string& v, arg_list&) {
       p.signal_text = v;
       return true;
     }},
    {"-hostname", nullptr, option_form::value,
     [](cmd_params& p, std::string& v, arg_list&) {
       p.host_name = v;
       p.host_name_given = 1;
       return true;
     }},
    {"-split_pathfile", nullptr, option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) { return set_flag(p.split_pathfile); }},
    {"-username", nullptr, option_form::value,
     [](cmd_params& p, std::string& v, arg_list&) {
       p.user_name = v;
       p.user_name_given = 1;
       return true;
     }},
    {"-cpuinst", nullptr, option_form::value,
     [](cmd_params& p, std::string& v, arg_list&) {
       parse_number(v.c_str(), p.cpu_instance);
       return true;
     }},
    {"-cpu", nullptr, option_form::value,
     [](cmd_params& p, std::string& v, arg_list&) {
       parse_number(v.c_str(), p.cpu_number);
       return true;
     }},
    {"-fragment_files", nullptr, option_form::value,
     [](cmd_params& p, std::string& v, arg_list&) {
       parse_number(v.c_str(), p.fragment_count);
       p.separate_files = 1;
       return true;
     }},
    {"-separate_files", nullptr, option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) { return set_flag(p.separate_files); }},
    {"-out", "-outfile", option_form::value, test_results_file},
    {"-outdir", nullptr, option_form::value,
     [](cmd_params& p, std::string& v, arg_list&) {
       p.outdir_path = expand_env_vars(v, true);
       p.outdir_given = 1;
       return true;
     }},
    {"-enumdir", nullptr, option_form::value,
     [](cmd_params& p, std::string& v, arg_list&) {
       p.enumdir_path = expand_env_vars(v, true);
       p.enumdir_given = 1;
       return true;
     }},
    {"-num_subdirs", nullptr, option_form::value, set_walk_depth},
    {"-profile", nullptr, option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) { return set_flag(p.profile); }},
    {"-pipe", nullptr, option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) { return set_flag(p.pipe); }},
    {"-filter_skip", nullptr, option_form::every_value, add_exclude_filters},
    {"-filter", nullptr, option_form::every_value, add_include_filters},
    {"-filter_sig", nullptr, option_form::every_value, add_signature_filter},
    {"-cmd_start_time", nullptr, option_form::value, set_window_start},
    {"-cmd_stop_time", nullptr, option_form::value, set_window_stop},
    {"-base10", nullptr, option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) {
       p.hex_numbers = 0;
       return true;
     }},
    {"-base16", nullptr, option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) { return set_flag(p.hex_numbers); }},
    {"-csv_separator", nullptr, option_form::value,
     [](cmd_params& p, std::string& v, arg_list&) {
       p.set_csv_separator(v, false);
       return true;
     }},
    {"-enable_quoted_csv_fields", nullptr, option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) {
       p.quoted_fields = 1;
       if (p.separator_text.find('\t') == std::string::npos) trim_whitespace(p.separator_text);
       p.spaced_separator = 0;
       p.separator_char = 0;
       return true;
     }},
    {"-no_whitespace", nullptr, option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) {
       p.trim_fields = 1;
       p.spaced_separator = 0;
       remove_char(p.separator_text, ' ');
       return true;
     }},
    {"-dateformat", nullptr, option_form::value, set_date_format},
    {"-timeformat", nullptr, option_form::value, set_time_format},
    {"-verbose", "-v", option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) { return set_flag(p.verbose); }},
    {"-quiet", nullptr, option_form::flag,
     [](cmd_params& p, std::string&, arg_list&) {
       p.status_display = 0;
       return true;
     }},
};

bool run_option(cmd_params& params, const generic_option& option, arg_list& args) {
  std::string value;
  switch (option.form) {
    case option_form::flag:
      if (find_option_flag(option.name, args, false) ||
          (option.alternative && find_option_flag(option.alternative, args, false)))
        return option.apply(params, value, args);
      return true;
    case option_form::value:
      for (const char* name : {option.name, option.alternative}) {
        if (!name) break;
        switch (take_value(name, value, args)) {
          case lookup::taken:
            return option.apply(params, value, args);
          case lookup::refused:
            return false;
          case lookup::absent:
            break;
        }
      }
      return true;
    case option_form::every_value:
      for (;;) {
        switch (take_value(option.name, value, args)) {
          case lookup::taken:
            if (!option.apply(params, value, args)) return false;
            break;
          case lookup::refused:
            return false;
          case lookup::absent:
            return true;
        }
      }
  }
  return true;
}

// Entry 0 without its folder and its extension.
std::string program_name_of(const std::string& path) {
  std::string name = path.substr(path.rfind('/') + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

}  // namespace

bool read_option_number(const std::string& text, u64 max, u64& out) {
  std::string digits = text;
  trim_whitespace(digits);
  int base = 10;
  std::size_t start = 0;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    start = 2;
  }
  const char* first = digits.data() + start;
  const char* last = digits.data() + digits.size();
  u64 number = 0;
  const auto [end, error] = std::from_chars(first, last, number, base);
  if (error != std::errc() || end != last || number > max) return false;
  out = number;
  return true;
}

void set_os_version(cmd_params& params, const std::string& version) {
  if (version.empty()) return;
  params.os_version = version;
  std::vector<std::string> pieces;
  split_string(version, '.', pieces, true, false, false);
  if (pieces.empty()) return;
  parse_number(pieces[0].c_str(), params.os_major);
  if (pieces.size() >= 2) parse_number(pieces[1].c_str(), params.os_minor);
  if (pieces.size() >= 3) parse_number(pieces[2].c_str(), params.os_patch);
}

bool cmd_params::parse_generic_options(std::vector<std::string>& args) {
  if (args.empty()) return false;
  if (arg_line.empty()) join_arg_list_quoted(arg_line, args, '"');
  if (program_name.empty()) program_name = program_name_of(args[0]);
  for (const generic_option& option : generic_options)
    if (!run_option(*this, option, args)) return false;
  parse_date_time_format(time_spec, date_format, time_format, pair_datetime != 0);
  set_os_version(*this, qz_platform::os_release_version());
  return true;
}
