// Messages and the one-line status display on standard error. The status line
// is rewritten in place (ESC "[2K", carriage returns) and never scrolls; every
// message erases it first. Callers decide whether progress is shown ("-quiet").
#pragma once

// Shows printf-formatted text, cut to 60 characters and stripped of LF, on the status line.
void status_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Erases the status line: ESC "[2K", CR, 27 blanks, CR on standard error.
void clear_status_line();
