// Messages, the one-line status display and the terminal title. The status line lives on
// standard error and is rewritten in place: ESC "[2K", CR, blanks, CR before the text, CR
// after it, line feeds removed. console_printf erases it before every message. None of these
// looks at "-quiet" except the *_if_enabled forms: the callers decide whether progress shows.
#pragma once

#include <cstdarg>
#include <sstream>
#include <string>

#include "framework/text/qz_types.h"

class cmd_params;

// Erases the status line, then prints the formatted message (at most 4096 characters) on
// standard error. Returns its length; 0 for a null format, a formatting error or a longer
// message, of which only the erase reaches the terminal.
int console_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The status printer behind the others. The text is formatted into max(max_len + 1, 256)
// bytes, cut to max_len characters (compared unsigned) and stripped of line feeds. Without
// title_mode it is written as a status line (ESC "[2K" CR, 4 blanks, CR, text, CR); to standard
// error when to_stderr, else with title_mode as the terminal title, else to standard output.
// Returns the number of characters shown; 0 and nothing written on a formatting error.
int status_vprintf(bool to_stderr, int max_len, const char* format, va_list args, bool title_mode);
// A status line of at most 60 characters on standard error.
void status_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A status line of at most min(width, 70) characters on standard error.
void status_printf_width(int width, const char* format, ...) __attribute__((format(printf, 2, 3)));
// A status line of at most 60 characters on standard output; returns status_vprintf's result.
int stdout_status_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// stdout_status_printf with the format taken from the stream's text; nothing for null.
void status_stream_printf(const std::ostringstream* format, ...);

// Erases the status line: ESC "[2K", CR, 27 blanks, CR on standard error.
void clear_status_line();
// clear_status_line unless "-quiet" (status_display 0); the pointer form does nothing for null.
void clear_status_line_if_enabled(const cmd_params& params);
void clear_status_line_if_enabled_ptr(const cmd_params* params);
// Writes the status prefix alone (ESC "[2K", CR, 4 blanks, CR) on standard error; returns fflush's result.
int erase_status_prefix();
// The first min(length, max_len) characters of text as a status line; returns that count
// (0, nothing written, for an empty text).
u32 status_line_text(u32 max_len, const std::string& text);
// The status prefix, the text and a line feed: a last status text that stays on screen.
void status_line_final(const std::string& text);

// "percent done: N" as a status line (cut to max_len) each time count reaches the next step
// of step_percent of total; the step is fixed by the first call of the process. Returns the
// length shown, 0 when nothing is shown (always for a total of 0).
u32 show_percent_done(u32 max_len, u64 count, u64 total, u32 step_percent);
// " --> 0x<current> of 0x<total>" after a short erase while current < total, else 45 blanks.
void show_offset_progress(u64 current, u64 total);

// Sets the terminal title (ESC "]0;" text BEL on standard output); false for a null text.
bool set_terminal_title(const char* text);
// Title "percent complete: N" with N = count * 100 / total; nothing for a total of 0.
void title_percent_complete(u64 count, u64 total);
// Title from the formatted text (at most 254 characters); returns its length, 0 and no title
// on a formatting error.
int title_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Title from the text cut to max_len characters (a negative max_len counts as 0); returns
// the length used.
int terminal_title_text(int max_len, const std::string& text);
int title_stream(int max_len, const std::ostringstream& text);

// ESC "[1;<30+fg>;<40+bg>m" and the formatted text on standard output, then the reset
// ESC "[0;37;40m" on standard error when stream is 2, else on standard output. Returns 0.
int color_printf(u32 foreground, u32 background, int stream, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// Status emitter flags.
constexpr u64 status_flag_title = 1;
constexpr u64 status_flag_line = 2;
constexpr u64 status_flag_log = 4;
constexpr u64 status_flag_progress = 8;
constexpr u64 status_flag_stderr = 16;
constexpr u64 status_flag_stdout = 32;

// What the status emitters show and where: title, status line (on standard error with 16,
// else standard output with 32, else nowhere) and the "-diags" log of params.
struct status_settings {
  u32 max_len = 0;       // longest line shown, the status prefix included
  u64 flags = 0;         // status_flag_* bits
  u64 total = 0;         // the count that means 100 percent
  u32 last_percent = 0;  // last percentage shown; 100 ends the progress display
  u32 min_step = 0;      // smallest percentage, and smallest advance, that is shown
  cmd_params* params = nullptr;
};

// Emits the text (formatted into max_len + 256 bytes and cut to max_len) to each place the
// settings name. Nothing unless flags hold 1, 2 or 4.
void status_emit_printf(status_settings& settings, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void status_emit_stream(status_settings& settings, const std::ostringstream& text);
void status_emit_text(status_settings& settings, const std::string& text);
// "Percent done: N%" when count has advanced by min_step percent of total since the last
// shown percentage; "100%" once when count reaches total, after which nothing more is shown.
// Needs flag 8 and one of 1, 2, 4; updates last_percent.
void status_emit_progress(status_settings& settings, u64 count);
