#include "framework/cmdline/qz_console.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

constexpr char clear_sequence[] = "\x1b[2K\r                           \r";
constexpr char status_prefix[] = "\x1b[2K\r    \r";
constexpr int status_buffer_bytes = 256;

}  // namespace

void status_printf(const char* format, ...) {
  if (!format) return;
  char text[status_buffer_bytes];
  va_list args;
  va_start(args, format);
  int length = std::vsnprintf(text, sizeof text - 1, format, args);
  va_end(args);
  if (length < 0) return;
  std::size_t shown = static_cast<std::size_t>(length) < 60 ? static_cast<std::size_t>(length) : 60;
  if (shown > sizeof text - 2) shown = sizeof text - 2;
  std::string line = status_prefix;
  for (std::size_t i = 0; i < shown; ++i)
    if (text[i] != '\n') line += text[i];
  line += '\r';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void clear_status_line() {
  std::fputs(clear_sequence, stderr);
  std::fflush(stderr);
}
