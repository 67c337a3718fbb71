#include "tool/csv_banner.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "framework/cmdline/qz_argv.h"
#include "framework/io/uni_fileio.h"
#include "framework/text/qz_replace.h"
#include "framework/text/qz_split.h"
#include "framework/text/qz_string.h"
#include "framework/text/uni_bom.h"
#include "framework/text/uni_unicode.h"
#include "framework/time/qz_variant.h"
#include "sqlite_store/bodyfile_columns.h"
#include "tool/quazel_tool_metadata.h"
#include "tool/tool_report.h"

namespace {

constexpr u64 banner_prefix_bytes = 16384;
constexpr std::size_t banner_min_bytes = 16;
constexpr std::size_t banner_max_lines = 11;
constexpr char title_mark[] = "(c) Quazel LLC";
constexpr char rule_mark[] = "-----------";
constexpr char utf8_mark[] = "\xEF\xBB\xBF";
constexpr std::size_t command_text_start = 10;  // the command line follows "cmd line: "

bool begins_with(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// One line of the banner: trimmed, and as the rows of a TAB-separated source are cut (only
// its line end and a UTF-8 mark taken off), where a leading TAB opens an empty first field.
struct banner_line {
  std::string text;
  std::string tab_text;
};

// The trimmed, non-empty lines of the bytes up to the last LF, at most banner_max_lines of
// them. Rule lines are not kept but reported through rule_seen. A UTF-8 mark that opens a
// line is dropped first (only the whole mark: a line may begin with another EF sequence).
void collect_banner_lines(const std::vector<u8>& bytes, std::vector<banner_line>& lines,
                          bool& rule_seen) {
  const char* data = reinterpret_cast<const char*>(bytes.data());
  const std::size_t size = bytes.size();
  std::size_t line_start = 0;
  while (line_start < size && lines.size() < banner_max_lines) {
    const void* lf = std::memchr(data + line_start, '\n', size - line_start);
    if (lf == nullptr) break;  // an unfinished line may have been cut by the prefix limit
    const std::size_t line_end = static_cast<std::size_t>(static_cast<const char*>(lf) - data);
    std::string line(data + line_start, line_end - line_start);
    line_start = line_end + 1;
    std::string tab_text = line;
    trim_whitespace(line);
    if (begins_with(line, utf8_mark)) {
      line.erase(0, 3);
      trim_whitespace(line);
    }
    if (line.empty()) continue;
    if (begins_with(line, rule_mark)) {
      rule_seen = true;
      continue;
    }
    // The line reader takes a line's leading CRs and the CR before its LF off, nothing more.
    if (!tab_text.empty() && tab_text.back() == '\r') tab_text.pop_back();
    tab_text.erase(0, tab_text.find_first_not_of('\r'));
    if (begins_with(tab_text, utf8_mark)) tab_text.erase(0, 3);
    lines.push_back({std::move(line), std::move(tab_text)});
  }
}

// The text after the first occurrence of option in a command line, trimmed; empty when the
// option does not occur.
std::string text_after_option(const std::string& command_line, const char* option) {
  const std::size_t at = command_line.find(option);
  if (at == std::string::npos) return std::string();
  std::string text = command_line.substr(at + std::strlen(option));
  trim_whitespace(text);
  return text;
}

std::string cut_at_blank(std::string text) {
  const std::size_t blank = text.find_first_of(" \t");
  if (blank != std::string::npos) text.resize(blank);
  return text;
}

// The value of option in a command line: its text cut at the first blank.
std::string option_value(const std::string& command_line, const char* option) {
  return cut_at_blank(text_after_option(command_line, option));
}

// option_value, except that a value opening with a single quote runs to the next single quote
// and keeps its blanks. A quote inside an unquoted value is part of it.
std::string quoted_option_value(const std::string& command_line, const char* option) {
  std::string text = text_after_option(command_line, option);
  if (!text.empty() && text[0] == '\'') {
    const std::size_t close = text.find('\'', 1);
    if (close != std::string::npos) return text.substr(1, close - 1);
  }
  return cut_at_blank(std::move(text));
}

// The words of a banner line, blank-separated, at most max_words of them.
std::vector<std::string> banner_words(const std::string& line, u32 max_words) {
  std::vector<std::string> words;
  split_command_line(line.c_str(), max_words, words, false);
  return words;
}

// The title line: tool name and version. False when it has fewer than five words.
bool read_title_line(quazel_tool_metadata& ctx, const std::string& line) {
  const std::vector<std::string> words = banner_words(line, 5);
  if (words.size() < 5) return false;
  ctx.columns.clear();
  ctx.separator.clear();
  ctx.first_column_name.clear();
  ctx.banner_found = 1;
  ctx.tool_name = words[0];
  if (words[3] == "ver:") {
    ctx.tool_version = words[4];
  } else {
    ctx.tool_version = "[unk]";
    const std::vector<std::string> more = banner_words(line, 10);
    for (std::size_t k = 4; k + 1 < more.size(); ++k) {
      if (more[k] == "ver:") {
        ctx.tool_version = more[k + 1];
        break;
      }
    }
  }
  remove_char(ctx.tool_version, ';');
  return true;
}

// The three lines after the title line. False when one is missing or out of place.
bool read_banner_block(quazel_tool_metadata& ctx, const std::string& licence_line,
                       const std::string& time_line, const std::string& command_line) {
  if (!contains(licence_line, "cense")) return false;
  const std::vector<std::string> licence_words = banner_words(licence_line, 2);
  if (licence_words.size() == 2) {
    ctx.licence_word = licence_words[1];
    const std::size_t to = licence_line.find(" to ");
    if (to != std::string::npos && to + 4 < licence_line.size()) {
      ctx.licence_text = licence_line.substr(to + 4);
    }
  }

  const std::size_t time_at = time_line.find("time:");
  if (time_at == std::string::npos) return false;
  if (time_line.size() > time_at + 6) {
    ctx.run_time_text = time_line.substr(time_at + 6);
    const std::size_t semicolon = ctx.run_time_text.find(';');
    if (semicolon != std::string::npos) {
      ctx.extra_info = ctx.run_time_text.substr(semicolon + 1);
      ctx.run_time_text.resize(semicolon);
      trim_whitespace(ctx.extra_info);
    }
    trim_whitespace(ctx.run_time_text);
  }

  if (!contains(command_line, "line:")) return false;
  // The command line runs from the fixed start to the line's last character, which the
  // producing tool writes as a closing mark; a shorter line carries no command line.
  if (command_line.size() > command_text_start + 1) {
    ctx.command_line =
        command_line.substr(command_text_start, command_line.size() - command_text_start - 1);
  }
  return true;
}

// The pieces of a header line at delimiter, trimmed, with a quoted name that holds the
// delimiter kept whole. Returns the number of non-empty names.
std::size_t split_header(const std::string& line, char delimiter,
                         std::vector<std::string>& names) {
  if (!split_quoted(line, delimiter, names, true, true)) {
    names.clear();
    return 0;
  }
  std::size_t filled = 0;
  for (const std::string& name : names) {
    if (!name.empty()) ++filled;
  }
  return filled;
}

// The header test: the separator that splits the line into the most names ("," wins a tie
// with "|", both win a tie with TAB). Empty names between separators keep their places, so
// the columns match the fields of the rows; a trailing empty name is dropped. TAB names are
// cut from the line untrimmed, so that a leading TAB keeps its empty first name as a leading
// comma does.
bool read_header_line(quazel_tool_metadata& ctx, const banner_line& line) {
  std::vector<std::string> comma_names, bar_names, tab_names;
  const std::size_t comma = split_header(line.text, ',', comma_names);
  const std::size_t bar = split_header(line.text, '|', bar_names);
  const std::size_t tab = split_header(line.tab_text, '\t', tab_names);
  std::vector<std::string>* chosen = nullptr;
  if (comma > 1) {
    chosen = &comma_names;
    ctx.separator = ',';
  }
  if (bar >= 2 && bar > comma) {
    chosen = &bar_names;
    ctx.separator = '|';
  }
  if (tab >= 2 && tab > comma && tab > bar) {
    chosen = &tab_names;
    ctx.separator = '\t';
  }
  if (chosen == nullptr) return false;
  if (!chosen->empty() && chosen->back().empty()) chosen->pop_back();
  ctx.columns = std::move(*chosen);
  return true;
}

struct tool_tag {
  const char* tag;
  u32 line_flags;
  u32 column_flags;
};

enum class tool_rule { plain, shim_cache, shim_db };

// One row of the producing tools' table, matched by the beginning of the tool name.
struct tool_profile {
  const char* prefix;
  tool_rule rule;
  int min_columns;             // 0: left as it is
  const char* artifact_type;   // null: not set
  const char* short_name;      // null: the tool name
  const char* source_option;   // null: none
  tool_tag tags[3];
  std::size_t tag_count;
};

const tool_profile tool_profiles[] = {
    {"dorvel", tool_rule::plain, 2, nullptr, nullptr, "-hive",
     {{"Artifact:", artifact_line, 0}, {"Registry key:", column_line, 0}, {"Hive Location:", hive_line, 0}}, 3},
    {"plivet", tool_rule::plain, 10, "ETL", nullptr, "-log",
     {{"session name", 0, title_column}, {"file:", column_line, 0}, {"orig source path:", column_line, 0}}, 3},
    {"hasmir", tool_rule::plain, 5, "EVT", nullptr, "-log",
     {{"Channel", 0, split_title_column}, {"EventID", 0, title_column}}, 2},
    {"ganwick", tool_rule::plain, 10, "ShellBags", nullptr, "-hive",
     {{"analyzing hive:", hive_line_untitled, 0}}, 1},
    {"ristel", tool_rule::shim_cache, 5, "ShimCache", nullptr, nullptr, {}, 0},
    {"nubor", tool_rule::shim_db, 4, "ShimDB", nullptr, "-sdb", {}, 0},
    {"vemmick", tool_rule::plain, 13, "PEStats", "vemmick", nullptr, {}, 0},
    {"ulfen", tool_rule::plain, 20, "Lnk", "ulfen", nullptr, {{"IDList segments", 0, nested_column}}, 1},
    {"brask", tool_rule::plain, 20, "JumpList", "brask", nullptr,
     {{"IDList segments", 0, nested_column}}, 1},
    {"fendral", tool_rule::plain, 13, "Mft", "fendral", nullptr, {}, 0},
    {"oskel", tool_rule::plain, 0, "UsnJrnl", "oskel", nullptr, {}, 0},
};

// A shim-database listing with this many columns is the statistics form.
constexpr std::size_t shim_db_stats_columns = 11;

void apply_tool_profile(quazel_tool_metadata& ctx, const tool_profile& profile) {
  if (profile.min_columns > 0) ctx.min_columns = profile.min_columns;
  if (profile.artifact_type != nullptr) ctx.artifact_type = profile.artifact_type;
  if (profile.short_name != nullptr) ctx.short_tool_name = profile.short_name;
  for (std::size_t k = 0; k < profile.tag_count; ++k) {
    const tool_tag& t = profile.tags[k];
    ctx.tags.emplace_back(t.tag, t.line_flags, t.column_flags);
  }
  const char* source_option = profile.source_option;
  if (profile.rule == tool_rule::shim_db && ctx.columns.size() >= shim_db_stats_columns) {
    ctx.min_columns = 10;
    ctx.artifact_type += "_stats";
    source_option = nullptr;
  }
  if (profile.rule == tool_rule::shim_cache) {
    if (contains(ctx.command_line, "-binary")) {
      ctx.tool_source = quoted_option_value(ctx.command_line, "-binary");
    } else if (contains(ctx.command_line, "-pipe_binary")) {
      ctx.tags.emplace_back("Binary source:", hive_line, 0);
    } else {
      ctx.tags.emplace_back("Hive Location:", hive_line_untitled, 0);
      source_option = "-hive";
    }
  }
  if (source_option != nullptr) ctx.tool_source = option_value(ctx.command_line, source_option);
}

// The producing tool's kind of source and its table row, the first rule that applies.
void apply_source_kind(quazel_tool_metadata& ctx) {
  const u32 rule_line_flags = ctx.cleanup ? tag_line_cleanup_copy : tag_line_unstored;
  if (contains(ctx.command_line, "-bodyfile")) {
    ctx.is_bodyfile = 1;
    ctx.min_columns = 10;
    if (ctx.first_column_name != "md5") {
      std::ostringstream column_line;
      write_bodyfile_header(column_line);
      split_string(column_line.str(), '|', ctx.columns, true, true, false);
      ctx.first_column_name = ctx.columns.empty() ? std::string() : ctx.columns[0];
    }
    ctx.tags.emplace_back("md5|name", rule_line_flags, 0);
    return;
  }
  if (contains(ctx.command_line, "-csvl2t")) {
    ctx.is_csvl2t = 1;
    ctx.min_columns = 15;
    return;
  }
  for (const tool_profile& profile : tool_profiles) {
    if (begins_with(ctx.tool_name, profile.prefix)) {
      apply_tool_profile(ctx, profile);
      return;
    }
  }
}

}  // namespace

bool parse_banner_lines(quazel_tool_metadata& ctx, const std::vector<u8>& bytes) {
  if (bytes.empty()) return false;
  std::vector<banner_line> lines;
  bool rule_seen = false;
  collect_banner_lines(bytes, lines, rule_seen);
  if (lines.empty()) return false;
  if (rule_seen) {
    ctx.tags.emplace_back(rule_mark, ctx.cleanup ? tag_line_cleanup_copy : tag_line_unstored,
                          0);
  }

  bool result = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i].text;
    if (!ctx.no_header_info && !ctx.banner_found && contains(line, title_mark)) {
      if (!read_title_line(ctx, line)) {
        result = false;
        continue;
      }
      if (lines.size() - i - 1 < 3 ||
          !read_banner_block(ctx, lines[i + 1].text, lines[i + 2].text, lines[i + 3].text)) {
        result = false;
        break;
      }
      result = true;
      i += 3;
      continue;
    }
    if (ctx.separator.empty() && read_header_line(ctx, lines[i])) result = true;
  }

  if (ctx.separator.empty() || ctx.columns.size() < 2 || !result) return false;
  set_run_separator(ctx);
  ctx.first_column_name.clear();
  for (const std::string& name : ctx.columns) {
    if (!name.empty()) {
      ctx.first_column_name = name;
      break;
    }
  }
  if (!ctx.banner_found) return true;

  ctx.hostname = option_value(ctx.command_line, "-hostname");
  ctx.username = option_value(ctx.command_line, "-username");
  ctx.short_tool_name = ctx.tool_name;
  apply_source_kind(ctx);
  return true;
}

void set_run_separator(quazel_tool_metadata& ctx) {
  // Split files and the database keep the source's separator: a split file is read as the
  // source was, and the store records the source's.
  const bool chosen = ctx.change_separator && !ctx.split && !ctx.to_sqlite && !ctx.to_csv;
  const std::string& text = chosen ? ctx.new_separator : ctx.separator;
  if (text.empty()) return;
  std::string folded = text;  // set_csv_separator folds its argument
  ctx.set_csv_separator(folded, false);
}

bool read_csv_banner(quazel_tool_metadata& ctx, const std::string& path) {
  ctx.clear_find_signature_vars();
  ctx.csv_source = path;
  if (!is_valid_utf8(path)) {
    report(ctx, "prob reading %s: name is not valid UTF-8\n", escape_invalid_utf8(path).c_str());
    return false;
  }

  uni::fileio file(ctx.csv_source, false, true, false);
  if (!file.is_open()) {
    report(ctx, "prob reading %s, aborting\n", escape_invalid_utf8(ctx.csv_source).c_str());
    return false;
  }
  // The size the open found; the read starts where the open left the file, at its start.
  const u64 file_size = file.get_size();
  if (file_size == 0) return false;
  std::vector<u8> bytes(std::min(file_size, banner_prefix_bytes));
  u32 got = static_cast<u32>(bytes.size());
  if (!file.read_next(bytes.data(), got)) return false;
  bytes.resize(got);
  if (bytes.size() < banner_min_bytes) return false;
  // When the whole file was read its last line is complete even without a line end.
  const bool whole_file = bytes.size() == file_size;
  // A small source is converted from these bytes rather than read a second time.
  if (whole_file) {
    ctx.source_bytes.assign(bytes.begin(), bytes.end());
    ctx.source_bytes_path = ctx.csv_source;
  }

  // Wide text other than marked UTF-16LE would be read as bytes: every character with NULs.
  if (const char* encoding = wide_text_encoding(bytes.data(), bytes.size())) {
    report(ctx, "prob reading %s: its text is %s; only UTF-8 and UTF-16LE with its byte-order mark are read\n",
           escape_invalid_utf8(ctx.csv_source).c_str(), encoding);
    return false;
  }
  if (bytes[0] == 0xFF && bytes[1] == 0xFE) {
    ctx.utf16_bom = 1;
    bytes.erase(bytes.begin(), bytes.begin() + 2);
    std::vector<u16> units;
    bytes_to_utf16_units(units, bytes);
    // A surrogate without its partner is U+FFFD, as the lines of the conversion give it; one
    // cut from its partner by the prefix limit stands in a line that is not looked at.
    std::string text;
    utf16_to_utf8_replacing(text, units.data(), units.size() * 2);
    bytes.assign(text.begin(), text.end());
  } else if (bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    ctx.utf8_bom = 1;
    bytes.erase(bytes.begin(), bytes.begin() + 3);
  }
  // Lines that end with CR alone would all be read as one line, the rows as header names:
  // such a source is refused rather than converted into a header without rows.
  if (std::memchr(bytes.data(), '\n', bytes.size()) == nullptr &&
      std::memchr(bytes.data(), '\r', bytes.size()) != nullptr) {
    return false;
  }
  if (whole_file && !bytes.empty() && bytes.back() != '\n') bytes.push_back('\n');

  if (!parse_banner_lines(ctx, bytes)) return false;

  ctx.source_columns.clear();
  ctx.source_columns.reserve(ctx.columns.size());
  for (const std::string& name : ctx.columns) ctx.source_columns.emplace_back(name, 0);
  return true;
}
