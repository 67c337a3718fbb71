// The "-diags" log for code that may hold no parameter set, and the hook stub. Every record
// is "->", its text and an end of line, flushed; these forms write nothing for a null
// parameter set, a closed log or diagnostics off. The record writers that belong to a
// parameter set are members of cmd_params (qz_cmd_params.h).
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

class cmd_params;

// One record with the text; nothing for an empty text.
void debug_trace_if_enabled(cmd_params* params, const std::string& text);
// One record with the stream's text.
void debug_trace_stream_if_enabled(cmd_params* params, const std::ostringstream& text);
// One record "label: 0x..", then "/0x.." with second when it is not 0 and " [count]" when
// count is not 0 (hex fields of 2 digits at least, as format_u64 writes them); nothing for a
// null label.
void trace_hex_value(cmd_params* params, const char* label, u64 value, u64 second, u32 count);
// One record with the arguments joined as a command line (values quoted, join_command_line);
// nothing for an empty list or an empty joined text.
void debug_trace_command_line(cmd_params* params, const std::vector<std::string>& args);

// With diagnostics on and start (an NTP stamp) not 0, writes "->[name] Profile: <seconds>
// secs" ("[name] " only for a name) to the "-diags" log.
void profile_report(u64 start, cmd_params& params, const std::string& name);

// Converts the list to UTF-8 and returns 0; nothing else. The first argument is not read.
i32 vmdk_hook_stub(void* unused, const std::vector<std::wstring>& list);
