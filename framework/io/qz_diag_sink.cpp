#include "framework/io/qz_diag_sink.h"

void diag_sink_printf(qz_diag_sink* sink, const char* format, ...) {
  if (!sink || !format) return;
  va_list args;
  va_start(args, format);
  sink->diag_sink_vprintf(format, args);
  va_end(args);
}
