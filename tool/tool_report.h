// The program's messages: every "prob ..." and notice the tool prints goes through report, so
// that all of them reach standard error the same way.
#pragma once

class cmd_params;

// Writes the printf-style message to standard error; when params may show a status line
// (status_display) the line is erased first. Nothing when the text cannot be formatted.
void report(const cmd_params& params, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Writes text to standard error as report does, without a run context (before one exists or
// after memory ran out): no status line to erase.
void report_text(const char* text);
