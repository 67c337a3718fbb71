#include "framework/cmdline/qz_cmd_params.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

cmd_params::cmd_params(u64 run_time_value, bool make_message_stream) : run_time(run_time_value) {
  if (make_message_stream) message_stream = new std::ostringstream;
}

cmd_params::~cmd_params() {
  if (diags_on && diags_stream) diags_stream->close();
  delete diags_stream;
  delete message_stream;
}

void cmd_params::debug_trace(const std::string& text) {
  if (!diags_on || !diags_stream) return;
  *diags_stream << "->" << text << '\n';
  diags_stream->flush();
}

void cmd_params::debug_trace_stream(const std::ostringstream& text) { debug_trace(text.str()); }

void debug_trace_stream_if_enabled(cmd_params* params, const std::ostringstream& text) {
  if (params && params->diags_stream) params->debug_trace_stream(text);
}

namespace {

// Formats into a buffer of strlen(format) + 256 bytes, as the log's records are cut.
std::string format_record(const char* format, va_list args) {
  std::vector<char> buffer(std::strlen(format) + 256);
  if (std::vsnprintf(buffer.data(), buffer.size(), format, args) < 0) buffer.back() = 0;
  buffer.back() = 0;
  return buffer.data();
}

}  // namespace

void cmd_params::diag_printf(cmd_params* params, const char* format, ...) {
  if (!params || !params->diags_on || !params->diags_stream || !format) return;
  va_list args;
  va_start(args, format);
  params->debug_trace(format_record(format, args));
  va_end(args);
}

void cmd_params::diag_message(cmd_params* params, const char* format, ...) {
  if (!params->diags_on || !params->diags_stream || !format) return;
  va_list args;
  va_start(args, format);
  params->debug_trace(format_record(format, args));
  va_end(args);
}
