// The console's side of the file services' reporting: progress on the status line,
// messages on standard error when the status display is on, records into the "-diags" log
// of a parameter set.
#pragma once

#include <string>

#include "framework/io/qz_io_report.h"

class cmd_params;

class console_report : public io_report {
 public:
  // Reports through params (null: status lines only, no messages, no log records).
  explicit console_report(cmd_params* params) : params_(params) {}

  // status_printf of the text.
  void status(const std::string& text) override;
  // clear_status_line.
  void clear_status() override;
  // params is given and its status display is on.
  bool messages_wanted() const override;
  // console_printf of the text.
  void message(const std::string& text) override;
  // A "-diags" record of the text when the log is open.
  void diag(const std::string& text) override;

 private:
  cmd_params* params_;
};
