// Where the code below the command line writes its "-diags" records. The log itself belongs
// to the parameter set (cmd_params implements this interface); a lower layer only hands a
// record over and never learns whether a log is open.
#pragma once

#include <cstdarg>

class qz_diag_sink {
 public:
  // Formats one record from a printf format and writes it when diagnostics are on and the
  // log is open; nothing otherwise.
  virtual void diag_sink_vprintf(const char* format, va_list args) = 0;

 protected:
  ~qz_diag_sink() = default;
};

// sink->diag_sink_vprintf with the arguments; nothing for a null sink or format.
void diag_sink_printf(qz_diag_sink* sink, const char* format, ...) __attribute__((format(printf, 2, 3)));
