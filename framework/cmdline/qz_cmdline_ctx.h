// The end of a run: an object that main keeps for its whole life and whose destructor does
// what must happen however the run ends. It erases the status line (unless "-quiet"),
// reports the elapsed time under "-profile" and into the "-diags" file, and calls the exit
// callback with the "-signal" text. Until init_from_params it does nothing visible.
#pragma once

#include <string>

#include "framework/text/qz_types.h"

class cmd_params;

class cmdline_ctx {
 public:
  // Called at the end with the "-signal" text; its result is ignored.
  using exit_callback_fn = i32 (*)(std::string* text);

  // Every field empty: flags 0, no stamp, no callback.
  cmdline_ctx() = default;
  // Ending a run twice would report and call back twice.
  cmdline_ctx(const cmdline_ctx&) = delete;
  cmdline_ctx& operator=(const cmdline_ctx&) = delete;
  // Erases the status line when asked; when a stamp was taken writes "-><seconds> secs": with
  // a line end on standard error under "-profile", without one at the end of the log file;
  // then calls the exit callback with exit_arg. No time is written while an exception unwinds.
  virtual ~cmdline_ctx();

  // Takes what the end of the run needs from the parsed parameters: the erase unless
  // "-quiet", the open log's path, "-profile", a start stamp when either will be reported,
  // and the callback with signal_text when both are given.
  void init_from_params(const cmd_params& params, exit_callback_fn callback);

  u8 clear_status_at_exit = 0;
  u64 start_stamp = 0;  // NTP 32.32 of init_from_params; 0: nothing to report
  u8 report_elapsed = 0;
  std::string log_path;  // the "-diags" file, when it was open
  std::string exit_arg;
  exit_callback_fn exit_callback = nullptr;
};
