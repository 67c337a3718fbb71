// The "-diags" record writers, hex dump, hooks and aliases of cmd_params, and the forms for
// code that may hold no parameter set.
#include "framework/cmdline/qz_diag.h"

#include <cstdio>
#include <cstring>
#include <iomanip>
#include <new>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/text/qz_join.h"
#include "framework/text/qz_number_format.h"
#include "framework/text/qz_replace.h"
#include "framework/text/qz_string.h"
#include "framework/text/qz_wide.h"
#include "framework/text/uni_unicode.h"
#include "framework/time/qz_clock.h"

namespace {

constexpr std::size_t format_slack = 256;
constexpr u64 dump_width = 16;

// Formats into a buffer of strlen(format) + 256 bytes (256 when that cannot be had), one
// byte of it left unused, as the log's records have always been cut.
std::string format_record(const char* format, va_list args) {
  std::vector<char> buffer;
  try {
    buffer.resize(std::strlen(format) + format_slack);
  } catch (const std::bad_alloc&) {
    buffer.resize(format_slack);
  }
  if (std::vsnprintf(buffer.data(), buffer.size() - 1, format, args) < 0) buffer.back() = 0;
  buffer.back() = 0;
  return buffer.data();
}

bool log_open(const cmd_params* params) { return params && params->diags_on && params->diags_stream; }

bool level_reached(const cmd_params& params, i32 level) { return static_cast<i32>(params.diags_level) >= level; }

void write_hex(std::ostream& out, u64 value, int width) { out << std::setw(width) << value; }

}  // namespace

void debug_trace_if_enabled(cmd_params* params, const std::string& text) {
  if (log_open(params) && !text.empty()) params->debug_trace(text);
}

void debug_trace_stream_if_enabled(cmd_params* params, const std::ostringstream& text) {
  if (log_open(params)) params->debug_trace_stream(text);
}

void trace_hex_value(cmd_params* params, const char* label, u64 value, u64 second, u32 count) {
  if (!label || !log_open(params)) return;
  std::ostringstream line;
  line << label << ": " << format_u64(value, true, 2);
  if (second != 0) line << "/" << format_u64(second, true, 2);
  if (count != 0) line << " [" << count << "]";
  debug_trace_stream_if_enabled(params, line);
}

void debug_trace_command_line(cmd_params* params, const std::vector<std::string>& args) {
  if (!log_open(params) || args.empty()) return;
  std::string line;
  join_command_line(line, nullptr, args, true);
  if (!line.empty()) params->debug_trace(line);
}

void profile_report(u64 start, cmd_params& params, const std::string& name) {
  if (start == 0 || !params.diags_on) return;
  std::ostringstream text;
  if (!name.empty()) text << "[" << name << "] ";
  text << "Profile: " << ntp_time_difference(start, current_ntp_time()) << " secs";
  params.debug_trace_stream(text);
}

i32 vmdk_hook_stub(void*, const std::vector<std::wstring>& list) {
  std::vector<std::string> names;
  wide_vector_to_utf8(names, list);
  return 0;
}

void cmd_params::debug_trace_level(i32 level, const std::string& text) {
  if (level_reached(*this, level)) debug_trace(text);
}

void cmd_params::debug_trace_stream(const std::ostringstream& text) { debug_trace(text.str()); }

void cmd_params::debug_trace_stream_level(i32 level, const std::ostringstream& text) {
  if (level_reached(*this, level)) debug_trace(text.str());
}

void cmd_params::debug_trace_list(const std::vector<std::string>& items) {
  if (log_open(this)) debug_trace(join_strings(items, "; ", false));
}

void cmd_params::debug_trace_replaced(const std::string& text, const std::string& search,
                                      const std::string& replacement) {
  if (!log_open(this)) return;
  if (search.empty() || text.find(search) == std::string::npos) {
    debug_trace(text);
    return;
  }
  std::string replaced = text;
  debug_trace(replace_all(replaced, search, replacement));
}

void cmd_params::debug_flush() {
  if (log_open(this)) diags_stream->flush();
}

void cmd_params::debug_clear_state() {
  if (log_open(this)) diags_stream->clear();
}

void cmd_params::debug_hex_dump(const u8* bytes, i32 size, u64 first_offset) {
  // A negative size is no count of bytes: reading it as one would run far past the buffer.
  if (!log_open(this) || !bytes || size <= 0) return;
  std::ostringstream dump;
  dump << std::hex << std::setfill('0') << std::right;
  dump << "[0x" << size << "]\n";
  auto write_label = [&](u64 offset) {
    dump << "0x";
    write_hex(dump, offset, 8);
    dump << " : ";
  };
  write_label(first_offset);
  std::string text_column;
  const u64 count = static_cast<u64>(size);
  for (u64 i = 0; i < count; ++i) {
    write_hex(dump, bytes[i], 2);
    dump << ' ';
    text_column += bytes[i] >= 0x20 && bytes[i] <= 0x7E ? static_cast<char>(bytes[i]) : '.';
    if ((i + 1) % dump_width == 0) {
      dump << "  " << text_column << '\n';
      text_column.clear();
      write_label(first_offset + i + 1);
    }
  }
  if (count % dump_width != 0) {
    dump << std::string(3 * (dump_width - count % dump_width), ' ') << "  " << text_column << '\n';
  }
  debug_trace(dump.str());
}

void cmd_params::debug_hex_dump_level(i32 level, const u8* bytes, u32 size, u64 first_offset) {
  // Sizes beyond the signed range are refused by debug_hex_dump as negative.
  if (level_reached(*this, level)) debug_hex_dump(bytes, static_cast<i32>(size), first_offset);
}

void cmd_params::diag_vprintf(const char* format, va_list args) {
  if (!diags_stream || !format) return;
  *diags_stream << "->" << format_record(format, args) << '\n';
  diags_stream->flush();
}

void cmd_params::diag_sink_vprintf(const char* format, va_list args) {
  if (log_open(this)) diag_vprintf(format, args);
}

void cmd_params::diag_vmessage(const char* name, const char* trailer, const char* format, va_list args) {
  if (!log_open(this) || !format) return;
  *diags_stream << "->";
  if (name) *diags_stream << name << " : ";
  *diags_stream << format_record(format, args);
  if (trailer) *diags_stream << ": " << trailer;
  *diags_stream << '\n';
  diags_stream->flush();
}

void cmd_params::diag_printf(cmd_params* params, const char* format, ...) {
  if (!log_open(params)) return;
  va_list args;
  va_start(args, format);
  params->diag_vprintf(format, args);
  va_end(args);
}

void cmd_params::diag_message(cmd_params* params, const char* format, ...) {
  if (!params) return;
  va_list args;
  va_start(args, format);
  params->diag_vmessage(nullptr, nullptr, format, args);
  va_end(args);
}

void cmd_params::diag_message_level(cmd_params* params, i32 level, const char* format, ...) {
  if (!params || !level_reached(*params, level)) return;
  va_list args;
  va_start(args, format);
  params->diag_vmessage(nullptr, nullptr, format, args);
  va_end(args);
}

void cmd_params::diag_message_named(cmd_params* params, const char* name, const char* trailer, const char* format,
                                    ...) {
  if (!params) return;
  va_list args;
  va_start(args, format);
  params->diag_vmessage(name, trailer, format, args);
  va_end(args);
}

void cmd_params::diag_message_list(cmd_params* params, const std::vector<std::string>& items, const char* format,
                                   ...) {
  if (!params) return;
  const std::string joined = join_strings(items, ";", false);
  va_list args;
  va_start(args, format);
  params->diag_vmessage(nullptr, joined.c_str(), format, args);
  va_end(args);
}

namespace {

// The record handed to the file hooks: only one that holds a file.
log_record* hook_record(cmd_params& params) {
  return params.file_record.inode != 0 || params.file_record.size != 0 ? &params.file_record : nullptr;
}

bool hooks_ready(const cmd_params& params) { return params.hooks_on && params.hook_fn; }

// The hooks that carry a name: none is called without one.
i32 call_named_hook(cmd_params& params, const std::string& name, u64 word, u64* value, log_record* record, u32* code) {
  if (!hooks_ready(params) || name.empty()) return -1;
  return params.hook_fn(params.hook_context, &name, word, value, record, code);
}

}  // namespace

i32 cmd_params::run_hook_code4() {
  if (!hooks_ready(*this)) return -1;
  u32 code = 4;
  return hook_fn(hook_context, nullptr, 0, nullptr, nullptr, &code);
}

i32 cmd_params::run_hook_code1(const std::string& name, u64 word) {
  u32 code = 1;
  return call_named_hook(*this, name, word, nullptr, nullptr, &code);
}

i32 cmd_params::run_hook_code2(const std::string& name, u64 word) {
  u32 code = 2;
  return call_named_hook(*this, name, word, nullptr, nullptr, &code);
}

i32 cmd_params::run_hook_file(const std::string& name, u64 word, u64 value) {
  return call_named_hook(*this, name, word, &value, hook_record(*this), nullptr);
}

i32 cmd_params::run_hook_file_wide(const std::string& name, const std::wstring& text, u64 value) {
  if (!hooks_ready(*this) || name.empty()) return -1;
  const std::string utf8 = wstring_to_utf8(text);
  return call_named_hook(*this, name, reinterpret_cast<u64>(&utf8), &value, hook_record(*this), nullptr);
}

std::string cmd_params::resolve_alias(std::string& out, const std::string& path) const {
  out.clear();
  if (alias_map.empty() && alias_path_map.empty()) return path;
  std::string key = path;
  to_lower(key);
  if (const auto found = alias_map.find(key); found != alias_map.end()) {
    out = found->second;
    return out;
  }
  if (path.empty()) return path;
  // Searched from the last key down: where one folder key lies inside another, the longer
  // of two keys with a common start is tried first.
  for (auto entry = alias_path_map.rbegin(); entry != alias_path_map.rend(); ++entry) {
    if (entry->first.size() >= key.size()) continue;
    const std::size_t at = key.find(entry->first);
    if (at == std::string::npos) continue;
    out = entry->second + path.substr(at + entry->first.size());
    return out;
  }
  return path;
}
