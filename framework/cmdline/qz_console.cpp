#include "framework/cmdline/qz_console.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/cmdline/qz_diag.h"

namespace {

constexpr char clear_sequence[] = "\x1b[2K\r                           \r";
constexpr char status_prefix[] = "\x1b[2K\r    \r";
constexpr char short_erase[] = "\x1b[2K\r";
// The emitters drop this much of a prefixed line for the title and the log: the ESC "[2K"
// part, so that what remains starts with the CR.
constexpr std::size_t escape_part_length = 4;
constexpr int message_limit = 4096;
constexpr std::size_t status_buffer_bytes = 256;
constexpr int status_width = 60;
constexpr int status_width_limit = 70;
constexpr int title_limit = 254;

void write_out(FILE* to, const std::string& text) { std::fwrite(text.data(), 1, text.size(), to); }

void remove_line_feeds(std::string& line) { line.erase(std::remove(line.begin(), line.end(), '\n'), line.end()); }

// First min(formatted length, limit) characters of the formatted text; false on a formatting
// error. Measures first so that a large limit never allocates more than the text needs.
bool format_cut(std::string& out, std::size_t limit, const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length < 0) return false;
  const std::size_t kept = std::min(static_cast<std::size_t>(length), limit);
  out.assign(kept + 1, '\0');
  if (std::vsnprintf(out.data(), kept + 1, format, args) < 0) return false;
  out.resize(kept);
  return true;
}

// count * 100 / total as a whole percentage in floating point, reduced to its low 32 bits;
// a quotient beyond 64 bits saturates instead of being converted out of range.
u32 float_percent(u64 count, u64 total) {
  const double percent = static_cast<double>(count) / static_cast<double>(total) * 100.0;
  if (!(percent < 18446744073709551616.0)) return static_cast<u32>(~u64{0});
  return static_cast<u32>(static_cast<u64>(percent));
}

// Writes a status line (prefix, text, CR) on standard error and flushes it.
void write_status_line(const std::string& text) {
  std::string line = status_prefix;
  line += text;
  line += '\r';
  remove_line_feeds(line);
  write_out(stderr, line);
  std::fflush(stderr);
}

// Steps shared by every emitter once the line is built: the status line, then the title and
// the log, both without the ESC part of a prefix.
void emit_line(status_settings& settings, std::string line, bool prefixed) {
  if (settings.flags & status_flag_line) {
    line += '\r';
    if (settings.flags & status_flag_stderr)
      write_out(stderr, line);
    else if (settings.flags & status_flag_stdout)
      write_out(stdout, line);
  }
  if (!(settings.flags & (status_flag_title | status_flag_log))) return;
  const std::string shown = prefixed ? line.substr(std::min(escape_part_length, line.size())) : line;
  if (settings.flags & status_flag_title) set_terminal_title(shown.c_str());
  if (settings.flags & status_flag_log) debug_trace_if_enabled(settings.params, shown);
}

bool emits_anything(const status_settings& settings) {
  return settings.flags & (status_flag_title | status_flag_line | status_flag_log);
}

// The counters of show_percent_done: the next count to show and the step, fixed by the first call.
u64 percent_next = 0;
u64 percent_step = 0;

}  // namespace

int console_printf(const char* format, ...) {
  clear_status_line();
  if (!format) return 0;
  char text[message_limit + 1];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (length < 0 || length > message_limit) return 0;
  std::fwrite(text, 1, static_cast<std::size_t>(length), stderr);
  std::fflush(stderr);
  return length;
}

int status_vprintf(bool to_stderr, int max_len, const char* format, va_list args, bool title_mode) {
  if (!format) return 0;
  const std::size_t buffer_bytes =
      max_len > static_cast<int>(status_buffer_bytes) ? static_cast<std::size_t>(max_len) + 1 : status_buffer_bytes;
  // A negative max_len compares as a large unsigned number and so cuts nothing; the buffer
  // holds buffer_bytes - 2 formatted characters, and no more are ever shown.
  const std::size_t limit = std::min<std::size_t>(static_cast<u32>(max_len), buffer_bytes - 2);
  std::string text;
  if (!format_cut(text, limit, format, args)) return 0;
  const int shown = static_cast<int>(text.size());
  std::string line;
  if (!title_mode) line = status_prefix;
  line += text;
  if (!title_mode) line += '\r';
  remove_line_feeds(line);
  if (to_stderr)
    write_out(stderr, line);
  else if (title_mode)
    set_terminal_title(line.c_str());
  else
    write_out(stdout, line);
  std::fflush(to_stderr ? stderr : stdout);
  return shown;
}

void status_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  status_vprintf(true, status_width, format, args, false);
  va_end(args);
}

void status_printf_width(int width, const char* format, ...) {
  va_list args;
  va_start(args, format);
  status_vprintf(true, std::min(width, status_width_limit), format, args, false);
  va_end(args);
}

int stdout_status_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int shown = status_vprintf(false, status_width, format, args, false);
  va_end(args);
  return shown;
}

void status_stream_printf(const std::ostringstream* format, ...) {
  if (!format) return;
  const std::string format_text = format->str();
  va_list args;
  va_start(args, format);
  status_vprintf(false, status_width, format_text.c_str(), args, false);
  va_end(args);
}

void clear_status_line() {
  std::fputs(clear_sequence, stderr);
  std::fflush(stderr);
}

void clear_status_line_if_enabled(const cmd_params& params) {
  if (params.status_display) clear_status_line();
}

void clear_status_line_if_enabled_ptr(const cmd_params* params) {
  if (params) clear_status_line_if_enabled(*params);
}

int erase_status_prefix() {
  std::fputs(status_prefix, stderr);
  return std::fflush(stderr);
}

u32 status_line_text(u32 max_len, const std::string& text) {
  if (text.empty()) return 0;
  const std::size_t shown = std::min<std::size_t>(text.size(), max_len);
  write_status_line(text.substr(0, shown));
  return static_cast<u32>(shown);
}

void status_line_final(const std::string& text) {
  std::string line = status_prefix;
  line += text;
  line += '\n';
  write_out(stderr, line);
  std::fflush(stderr);
}

u32 show_percent_done(u32 max_len, u64 count, u64 total, u32 step_percent) {
  // Without a total there is no percentage to show, and the step stays unset.
  if (total == 0) return 0;
  if (percent_next == 0) {
    const double step = static_cast<double>(step_percent) / 100.0 * static_cast<double>(total);
    percent_step = percent_next = step < 18446744073709551616.0 ? static_cast<u64>(step) : ~u64{0};
  }
  if (count < percent_next) return 0;
  percent_next += percent_step;
  std::string text = "percent done: " + std::to_string(float_percent(count, total));
  if (text.size() > max_len) text.resize(max_len);
  write_status_line(text);
  return static_cast<u32>(text.size());
}

void show_offset_progress(u64 current, u64 total) {
  std::string line = short_erase;
  if (current < total) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, " --> 0x%llx of 0x%llx\r", static_cast<unsigned long long>(current),
                  static_cast<unsigned long long>(total));
    line += numbers;
  } else {
    line.append(45, ' ');
  }
  write_out(stderr, line);
  std::fflush(stderr);
}

bool set_terminal_title(const char* text) {
  if (!text) return false;
  std::fprintf(stdout, "\x1b]0;%s\x07", text);
  std::fflush(stdout);
  return true;
}

void title_percent_complete(u64 count, u64 total) {
  if (total == 0) return;
  const u32 percent = static_cast<u32>(count * 100 / total);
  set_terminal_title(("percent complete: " + std::to_string(percent)).c_str());
}

int title_printf(const char* format, ...) {
  if (!format) return 0;
  std::string title;
  va_list args;
  va_start(args, format);
  const bool formatted = format_cut(title, title_limit, format, args);
  va_end(args);
  if (!formatted) return 0;
  set_terminal_title(title.c_str());
  return static_cast<int>(title.size());
}

int terminal_title_text(int max_len, const std::string& text) {
  const std::size_t used = std::min<std::size_t>(text.size(), static_cast<std::size_t>(std::max(max_len, 0)));
  set_terminal_title(text.substr(0, used).c_str());
  return static_cast<int>(used);
}

int title_stream(int max_len, const std::ostringstream& text) { return terminal_title_text(max_len, text.str()); }

int color_printf(u32 foreground, u32 background, int stream, const char* format, ...) {
  std::fprintf(stdout, "%c[%d;%d;%dm", 27, 1, static_cast<int>(30 + foreground), static_cast<int>(40 + background));
  if (format) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
  }
  FILE* reset_to = stream == 2 ? stderr : stdout;
  // Standard error is unbuffered: without this the reset could reach a shared terminal
  // before the coloured text and leave the colour on.
  if (reset_to == stderr) std::fflush(stdout);
  std::fprintf(reset_to, "%c[%d;%d;%dm", 27, 0, 37, 40);
  return 0;
}

void status_emit_text(status_settings& settings, const std::string& text) {
  if (!emits_anything(settings)) return;
  const bool prefixed = settings.flags & status_flag_line;
  std::string line = prefixed ? status_prefix : "";
  line += text;
  if (line.size() > settings.max_len) line.resize(settings.max_len);
  emit_line(settings, std::move(line), prefixed);
}

void status_emit_stream(status_settings& settings, const std::ostringstream& text) {
  status_emit_text(settings, text.str());
}

void status_emit_printf(status_settings& settings, const char* format, ...) {
  if (!emits_anything(settings) || !format) return;
  std::string text;
  va_list args;
  va_start(args, format);
  const bool formatted = format_cut(text, settings.max_len, format, args);
  va_end(args);
  if (formatted) status_emit_text(settings, text);
}

void status_emit_progress(status_settings& settings, u64 count) {
  if (!emits_anything(settings) || !(settings.flags & status_flag_progress) || settings.last_percent == 100) return;
  const bool prefixed = settings.flags & status_flag_line;
  std::string text = prefixed ? short_erase : "";
  text += "Percent done: ";
  if (count < settings.total) {
    const u32 percent = static_cast<u32>(count * 100 / settings.total);
    if (percent == 0 || percent < settings.min_step || percent - settings.last_percent < settings.min_step) return;
    settings.last_percent = percent;
    text += std::to_string(percent) + "%";
  } else {
    settings.last_percent = 100;
    text += "100%";
  }
  if (text.size() > settings.max_len) text.resize(settings.max_len);
  emit_line(settings, std::move(text), prefixed);
}
