// The generic parameter set of a run: the settings every part of telvar reads, the separator
// rule of the CSV writers, the "-diags" log and the message stream. The option parser fills
// it; the run context of the tool derives from it. The log writers write nothing while
// diagnostics are off; a record is "->", its text and an end of line, flushed.
#pragma once

#include <cstdarg>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/cmdline/qz_diag.h"
#include "framework/cmdline/qz_filename_filter.h"
#include "framework/io/qz_diag_sink.h"
#include "framework/io/qz_file_stats.h"
#include "framework/text/qz_types.h"
#include "framework/time/qz_time_format.h"
#include "framework/time/qz_variant.h"

class sqlite_cmd_params;

// A host program's trace hook: context, name (null for event 4), word, value, the per-file
// record (null when it holds nothing) and the event code (null for the file hooks).
using cmd_hook_fn = i32 (*)(void* context, const std::string* name, u64 word, u64* value, log_record* record,
                            u32* code);

// The settings of a parameter set with their defaults: what clear() restores and what a
// copy takes over. The streams the set owns are kept apart, in cmd_params.
struct cmd_params_fields {
  u64 run_time = 0;                // FILETIME of the run's start; clear() keeps it
  std::string arg_line;            // the generic parser's arguments joined, for the log header
  std::string program_name;        // first argument without folder and extension
  std::string version_text;
  std::string out_path;            // "-out": the results file
  std::string outdir_path;         // "-outdir"
  std::string user_name;           // "-username"
  std::string host_name;           // "-hostname"
  std::string artifact_type_text;  // artifact type of the records written through this set
  std::map<std::string, std::string> alias_path_map;  // "-aliaspath": lower-cased folder to folder
  std::map<std::string, std::string> alias_map;       // "-alias": lower-cased path to path
  std::string date_format = "yyyy-mm-dd";             // lower-cased "-dateformat"
  std::string time_format = "hh:mm:ss.xxx";           // lower-cased "-timeformat"
  // Packed form of date_format, time_format and pair_datetime; flags 0 until built.
  time_format_spec time_spec;
  char separator_char = '|';                          // 0 means none
  char separator_replacement = ';';                   // stands for separator_char inside a value
  std::string separator_text = " | ";                 // written between values
  u8 trim_fields = 0;                                 // cells are trimmed before they are written
  u8 spaced_separator = 1;                            // separator_text still carries its blanks
  u8 hex_numbers = 1;                                 // "-base16" / "-base10"
  u8 user_name_given = 0;
  u8 host_name_given = 0;
  u8 split_pathfile = 0;
  u8 quoted_fields = 0;  // values may be quoted: set_csv_separator sets no separator characters
  u8 compress = 0;
  u8 gzip = 0;
  u8 zlib = 0;
  u8 zlibex = 0;
  std::string zlibex_text;
  u32 thread_count = 0;
  u8 sqlite_on = 0;                          // results go into an SQLite database
  std::string sqlite_path;                   // taken as written
  sqlite_cmd_params* sqlite_params = nullptr;  // the run's SQLite state; not owned
  u8 outdir_given = 0;
  u8 out_given = 0;
  u32 cpu_instance = 0xFFFFFFFF;
  u32 cpu_number = 0;
  u8 separate_files = 0;
  u32 fragment_count = 0;
  std::string sqlite_log_path;
  u8 hooks_on = 0;  // hook_fn is called only when set
  cmd_hook_fn hook_fn = nullptr;
  void* hook_context = nullptr;
  log_record file_record;  // the record of the file being handled
  // Output kinds: one at a time, every kind option clears the other five.
  u8 kind_xml = 0;
  u8 kind_csv = 0;
  u8 kind_csvl2t = 0;
  u8 kind_csvgen = 0;
  u8 kind_bodyfile = 0;
  u8 kind_multiline = 0;
  u8 csv_to_sqlite_on = 0;
  u8 verbose = 1;
  u8 status_display = 1;  // 0 with "-quiet" (or standard error no terminal): no status line, no progress
  u8 sqlite_off = 1;      // the timeline writers end each row with a line end
  u8 pair_datetime = 0;   // date and time in one column
  u8 non_xml_output = 1;  // the timeline writers' column line is still to be written
  std::vector<qz_variant_lite> source_columns;  // the source CSV's column names
  u8 diags_on = 0;        // the "-diags" log is open
  u32 diags_level = 0;    // 2 with "-l2", 3 with "-l3"; compared as a signed number
  std::string diags_path;  // the open log's path; empty when closed
  u8 profile = 0;          // report the elapsed time at the end of the run
  std::string signal_text;  // argument of the exit callback
  // File-name filters of "-pipe" and "-enumdir" ("-filter", "-filter_sig"; "-filter_skip").
  std::vector<filename_filter> include_filters;
  std::vector<filename_filter> exclude_filters;
  u8 pipe = 0;              // file names come from standard input
  std::string enumdir_path;  // folder to walk
  u32 enumdir_depth = 0;
  u8 enumdir_given = 0;
  std::string os_version;  // host OS version text
  u32 os_major = 0;
  u32 os_minor = 0;
  u32 os_patch = 0;
  // The start/stop file-time window of the filters.
  u8 start_set = 0;
  u64 start_filetime = 0;
  u32 start_unix = 0;
  u8 stop_set = 0;
  u64 stop_filetime = 0;  // all ones when only a start is given
  u32 stop_unix = 0;      // all bits set when only a start is given
};

// The "-diags" log is also the diagnostics sink of the lower layers (qz_diag_sink.h).
class cmd_params : public cmd_params_fields, public qz_diag_sink {
 public:
  // Every setting at its default, run_time kept, a fresh empty message stream when asked.
  cmd_params(u64 run_time, bool make_message_stream);
  // A copy takes every setting of other, quoted_fields and thread_count included (a copy that
  // cut quoted values apart, or ran on another thread count, would not be the same run), but
  // owns nothing of its log: its diagnostics are off (diags_on, diags_level 0, no path), so
  // other's log file is never reopened or cut. It gets a fresh empty message stream when other
  // has one; sqlite_params is null, file_record cleared.
  cmd_params(const cmd_params& other);
  // Closes this object's log and drops its message stream, then copies as the constructor does.
  cmd_params& operator=(const cmd_params& other);
  // Closes an open "-diags" log and releases the owned streams.
  virtual ~cmd_params();

  // Every setting back to its default except run_time; closes an open log; the message stream stays.
  void clear();
  // The per-file reset: reset_message_stream, then file_record cleared.
  void reset_file_state();
  // Empties the message stream and resets its error state, when there is one.
  void reset_message_stream();
  // The message stream, or the process-wide discarding stream when there is none.
  std::ostream& msg_stream();
  // The message stream, or one process-wide string stream emptied for this call.
  std::ostringstream& message_stream_or_scratch();
  // Releases this object's streams and copies other's settings as the copy constructor does,
  // but without a message stream.
  void copy_from(const cmd_params& other);
  // copy_from, then a fresh empty message stream when other has one.
  void copy_with_streams(const cmd_params& other);

  // Sets separator_text, separator_char and separator_replacement from one separator text:
  // "|" inside gives '|' and ';'; else "," gives ',' and ';' or ' ' by semicolon_for_comma;
  // "tab" or "\t" (any case) gives a TAB text and no characters; anything else no characters.
  // Only the TAB case changes separator_text. With quoted_fields no characters are set. Lower-
  // cases text in place unless quoted_fields is set.
  void set_csv_separator(std::string& text, bool semicolon_for_comma);

  // Takes the generic options out of args (entry 0 the program path) into this set, as
  // qz_option_parser.h describes; false refuses the run, its message already printed.
  bool parse_generic_options(std::vector<std::string>& args);

  // Closes an open log, then creates (truncating) the file at path and writes the header
  // record with arg_line. False, and the log closed with diags_path empty, when it cannot be
  // opened. diags_level is not touched.
  bool open_debug_file(const std::string& path);
  // Closes and releases the log; diags_on becomes 0. Always true.
  bool close_debug_file();
  // Flushes the log when diagnostics are on.
  void debug_flush();
  // Resets the log stream's error state when diagnostics are on.
  void debug_clear_state();

  // Record writers. The _level forms write only when diags_level (signed) >= level.
  void debug_trace(const std::string& text);
  void debug_trace_level(i32 level, const std::string& text);
  void debug_trace_stream(const std::ostringstream& text);
  void debug_trace_stream_level(i32 level, const std::ostringstream& text);
  // The items joined with "; ", empty items kept.
  void debug_trace_list(const std::vector<std::string>& items);
  // text with every search replaced by replacement (text as it is for an empty search).
  void debug_trace_replaced(const std::string& text, const std::string& search, const std::string& replacement);
  // A dump: "[0x<size>]", then per 16 bytes "0x<offset, 8 digits> : ", the bytes as "xx "
  // and, after two blanks, their printable characters ('.' for the rest); the last short line
  // is padded to the column. Nothing for null bytes or a size of 0 or less.
  void debug_hex_dump(const u8* bytes, i32 size, u64 first_offset);
  void debug_hex_dump_level(i32 level, const u8* bytes, u32 size, u64 first_offset);

  // printf-style records. The formatted text is cut to strlen(format) + 254 characters. All
  // write nothing for a null params or format. diag_vprintf writes whenever the log exists;
  // the others need diagnostics on.
  void diag_vprintf(const char* format, va_list args);
  // diag_vprintf when diagnostics are on: the records of the lower layers.
  void diag_sink_vprintf(const char* format, va_list args) override;
  // "->", [name " : "], the text, [": " trailer].
  void diag_vmessage(const char* name, const char* trailer, const char* format, va_list args);
  static void diag_printf(cmd_params* params, const char* format, ...) __attribute__((format(printf, 2, 3)));
  static void diag_message(cmd_params* params, const char* format, ...) __attribute__((format(printf, 2, 3)));
  static void diag_message_level(cmd_params* params, i32 level, const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  static void diag_message_named(cmd_params* params, const char* name, const char* trailer, const char* format,
                                 ...) __attribute__((format(printf, 4, 5)));
  // The formatted text, ": " and the items joined with ";" (the ": " also for an empty list).
  static void diag_message_list(cmd_params* params, const std::vector<std::string>& items, const char* format, ...)
      __attribute__((format(printf, 3, 4)));

  // Trace hooks: -1 without calling anything unless hooks_on is set and hook_fn given (and,
  // for the named forms, the name is not empty); otherwise hook_fn's result. The file hooks
  // pass a copy of value and file_record when its inode or size is not 0; the wide form
  // passes a pointer to the text's UTF-8 form as the word.
  i32 run_hook_code4();
  i32 run_hook_code1(const std::string& name, u64 word);
  i32 run_hook_code2(const std::string& name, u64 word);
  i32 run_hook_file(const std::string& name, u64 word, u64 value);
  i32 run_hook_file_wide(const std::string& name, const std::wstring& text, u64 value);

  // The path through the aliases: out is emptied; an "-alias" entry for the lower-cased path
  // gives its text; else the last "-aliaspath" entry whose key is shorter than the path and
  // occurs in it (case folded) gives its text followed by what follows the key's first
  // occurrence; else the path. Returns the result, which is also in out when an alias applied.
  std::string resolve_alias(std::string& out, const std::string& path) const;

  std::ostringstream* message_stream = nullptr;  // owned; null when built without one
  std::ofstream* diags_stream = nullptr;         // owned; the open "-diags" log

 private:
  void release_streams();
};

// Clears the per-file record that the parameter set holds.
void clear_params_log_record(cmd_params& params);

// Whether text names a TAB separator: a TAB itself, backslash-t or "tab", in any letter case.
bool names_tab_separator(const std::string& text);

struct time_zone_rule;

// The daylight period's start (or end) in the year of filetime (0 = now), written by the
// set's date and time formats, without fraction digits; nothing when the period fails.
std::ostream& write_dst_start(const time_zone_rule& rule, std::ostream& out, const cmd_params& params,
                              u64 filetime);
std::ostream& write_dst_end(const time_zone_rule& rule, std::ostream& out, const cmd_params& params, u64 filetime);
