#include "tool/tool_report.h"

#include <cstdarg>
#include <cstdio>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/cmdline/qz_console.h"

void report(const cmd_params& params, const char* format, ...) {
  char text[4096];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (length < 0) return;
  if (params.status_display) {
    console_printf("%s", text);
  } else {
    report_text(text);
  }
}

void report_text(const char* text) { std::fputs(text, stderr); }
