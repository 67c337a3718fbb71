#include "framework/cmdline/qz_cmdline_ctx.h"

#include <cstdio>
#include <exception>
#include <sstream>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/cmdline/qz_console.h"
#include "framework/io/uni_fileio.h"
#include "framework/time/qz_clock.h"

void cmdline_ctx::init_from_params(const cmd_params& params, exit_callback_fn callback) {
  if (params.status_display) clear_status_at_exit = 1;
  if (params.diags_on && params.diags_stream && params.diags_stream->good()) log_path = params.diags_path;
  report_elapsed = params.profile;
  if (report_elapsed || !log_path.empty()) store_current_ntp_time(start_stamp);
  if (callback && !params.signal_text.empty()) {
    exit_callback = callback;
    exit_arg = params.signal_text;
  }
}

cmdline_ctx::~cmdline_ctx() {
  if (clear_status_at_exit) clear_status_line();
  // While an exception (out of memory) unwinds, nothing is built that would allocate.
  if (start_stamp != 0 && std::uncaught_exceptions() == 0) {
    std::ostringstream report;
    report << "->" << ntp_time_difference(start_stamp, current_ntp_time()) << " secs";
    const std::string text = report.str();
    if (report_elapsed) {
      std::fprintf(stderr, "%s\n", text.c_str());
      std::fflush(stderr);
    }
    if (!log_path.empty()) {
      // Opened without creating or truncating: a log that has gone stays gone.
      uni::fileio log;
      if (log.open_utf8(log_path, true, true, false)) {
        log.write(text.data(), static_cast<u32>(text.size()));
        log.close();
      }
    }
  }
  if (exit_callback && !exit_arg.empty()) exit_callback(&exit_arg);
}
