#include "framework/cmdline/qz_console_report.h"

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/cmdline/qz_console.h"

void console_report::status(const std::string& text) { status_printf("%s", text.c_str()); }

void console_report::clear_status() { clear_status_line(); }

bool console_report::messages_wanted() const { return params_ != nullptr && params_->status_display != 0; }

void console_report::message(const std::string& text) { console_printf("%s", text.c_str()); }

void console_report::diag(const std::string& text) { cmd_params::diag_message(params_, "%s", text.c_str()); }
