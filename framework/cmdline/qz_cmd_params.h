// The generic parameter set of a run: the settings every part of telvar reads,
// the "-diags" log and the message stream. The option parser fills it; the
// run context of the tool derives from it.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/cmdline/qz_filename_filter.h"
#include "framework/io/qz_file_stats.h"
#include "framework/text/qz_types.h"
#include "framework/time/qz_time_format.h"

class cmd_params {
 public:
  // Builds the defaults; keeps run_time; owns a fresh message stream when asked.
  cmd_params(u64 run_time, bool make_message_stream);
  cmd_params(const cmd_params&) = delete;
  cmd_params& operator=(const cmd_params&) = delete;
  // Closes an open "-diags" log and releases the owned streams.
  virtual ~cmd_params();

  // Writes "->", the text and an end of line to the "-diags" log when it is on.
  void debug_trace(const std::string& text);
  // debug_trace with the text of the stream.
  void debug_trace_stream(const std::ostringstream& text);
  // printf-style record "->text" in the log of params; nothing for a null params,
  // diagnostics off or no open log.
  static void diag_printf(cmd_params* params, const char* format, ...)
      __attribute__((format(printf, 2, 3)));
  // printf-style record "->text" when the diagnostics of params are on; params must not be null.
  static void diag_message(cmd_params* params, const char* format, ...)
      __attribute__((format(printf, 2, 3)));

  u64 run_time = 0;
  std::string date_format = "yyyy-mm-dd";
  std::string time_format = "hh:mm:ss.xxx";
  // Packed form of date_format, time_format and pair_datetime; flags 0 until built.
  time_format_spec time_spec;
  u8 status_display = 1;
  u8 pair_datetime = 0;
  u8 diags_on = 0;
  u32 diags_level = 0;
  std::ostringstream* message_stream = nullptr;
  std::ofstream* diags_stream = nullptr;
  std::string diags_path;
  log_record file_record;  // the record of the file being handled

  // File-name filters of "-pipe" and "-enumdir" ("-filter", "-filter_sig"; "-filter_skip").
  std::vector<filename_filter> include_filters;
  std::vector<filename_filter> exclude_filters;
  // The start/stop file-time window of the filters; an open-ended stop is all ones.
  u8 start_set = 0;
  u64 start_filetime = 0;
  u32 start_unix = 0;
  u8 stop_set = 0;
  u64 stop_filetime = 0;
  u32 stop_unix = 0;
};

// cmd_params::debug_trace_stream for a params that may be null; needs an open log.
void debug_trace_stream_if_enabled(cmd_params* params, const std::ostringstream& text);
