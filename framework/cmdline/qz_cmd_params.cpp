#include "framework/cmdline/qz_cmd_params.h"

#include "framework/text/qz_null_stream.h"
#include "framework/text/qz_string.h"
#include "framework/time/qz_time_zone.h"

cmd_params::cmd_params(u64 run_time_value, bool make_message_stream) {
  clear();
  run_time = run_time_value;
  if (make_message_stream) message_stream = new std::ostringstream;
  reset_file_state();
}

cmd_params::cmd_params(const cmd_params& other) : cmd_params_fields() { copy_with_streams(other); }

cmd_params& cmd_params::operator=(const cmd_params& other) {
  if (this != &other) copy_with_streams(other);
  return *this;
}

cmd_params::~cmd_params() { release_streams(); }

void cmd_params::release_streams() {
  close_debug_file();
  delete message_stream;
  message_stream = nullptr;
}

void cmd_params::clear() {
  close_debug_file();
  const u64 kept_run_time = run_time;
  static_cast<cmd_params_fields&>(*this) = cmd_params_fields();
  run_time = kept_run_time;
}

void cmd_params::reset_file_state() {
  reset_message_stream();
  file_record.clear();
}

void cmd_params::reset_message_stream() {
  if (!message_stream) return;
  message_stream->clear();
  message_stream->str(std::string());
}

std::ostream& cmd_params::msg_stream() {
  if (message_stream) return *message_stream;
  return null_out;
}

std::ostringstream& cmd_params::message_stream_or_scratch() {
  if (message_stream) return *message_stream;
  static std::ostringstream scratch;
  scratch.clear();
  scratch.str(std::string());
  return scratch;
}

void cmd_params::copy_from(const cmd_params& other) {
  if (this == &other) return;
  // The streams belong to this object: close and free them rather than lose them.
  release_streams();
  static_cast<cmd_params_fields&>(*this) = other;
  sqlite_params = nullptr;
  file_record.clear();
  // A second writer on other's log would truncate it or interleave with it.
  diags_on = 0;
  diags_level = 0;
  diags_path.clear();
}

void cmd_params::copy_with_streams(const cmd_params& other) {
  if (this == &other) return;
  copy_from(other);
  if (other.message_stream) message_stream = new std::ostringstream;
}

bool names_tab_separator(const std::string& text) {
  if (text == "\t") return true;
  if (text.size() == 2 && text[0] == '\\' && (text[1] == 't' || text[1] == 'T')) return true;
  return text.size() == 3 && bytes_equal_nocase(text.data(), "tab", 3);
}

void cmd_params::set_csv_separator(std::string& text, bool semicolon_for_comma) {
  separator_text = text;
  separator_char = 0;
  separator_replacement = 0;
  // A TAB named in words is written as a TAB whether or not values may be quoted: the word
  // itself between the values would make them one field.
  if (quoted_fields) {
    if (names_tab_separator(text)) separator_text.assign(1, '\t');
    return;
  }
  to_lower(text);
  if (text.find('|') != std::string::npos) {
    separator_char = '|';
    separator_replacement = ';';
  } else if (text.find(',') != std::string::npos) {
    separator_char = ',';
    separator_replacement = semicolon_for_comma ? ';' : ' ';
  } else if (names_tab_separator(text)) {
    separator_text.assign(1, '\t');
  }
}

bool cmd_params::open_debug_file(const std::string& path) {
  close_debug_file();
  diags_path = path;
  diags_stream = new std::ofstream(path, std::ios::out | std::ios::trunc);
  if (diags_stream->good()) {
    diags_on = 1;
    debug_trace(arg_line);
    return true;
  }
  diags_path.clear();
  delete diags_stream;
  diags_stream = nullptr;
  return false;
}

bool cmd_params::close_debug_file() {
  // A stream is released even when the flag was cleared by hand: it is still ours.
  if (diags_stream) {
    diags_stream->close();
    delete diags_stream;
    diags_stream = nullptr;
  }
  diags_on = 0;
  return true;
}

void cmd_params::debug_trace(const std::string& text) {
  if (!diags_on || !diags_stream) return;
  *diags_stream << "->" << text << '\n';
  diags_stream->flush();
}

void clear_params_log_record(cmd_params& params) { params.file_record.clear(); }

std::ostream& write_dst_start(const time_zone_rule& rule, std::ostream& out, const cmd_params& params,
                              u64 filetime) {
  return write_dst_start(rule, out, params.time_spec, params.date_format, params.time_format,
                         params.pair_datetime != 0, filetime);
}

std::ostream& write_dst_end(const time_zone_rule& rule, std::ostream& out, const cmd_params& params, u64 filetime) {
  return write_dst_end(rule, out, params.time_spec, params.date_format, params.time_format,
                       params.pair_datetime != 0, filetime);
}
