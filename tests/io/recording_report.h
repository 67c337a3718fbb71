// An io_report that keeps everything it is told, for tests of the file services.
#pragma once

#include <string>
#include <vector>

#include "framework/io/qz_io_report.h"

class recording_report : public io_report {
 public:
  explicit recording_report(bool wanted = true) : wanted_(wanted) {}

  void status(const std::string& text) override { statuses.push_back(text); }
  void clear_status() override { ++clears; }
  bool messages_wanted() const override { return wanted_; }
  void message(const std::string& text) override { messages.push_back(text); }
  void diag(const std::string& text) override { diags.push_back(text); }

  std::vector<std::string> statuses;
  std::vector<std::string> messages;
  std::vector<std::string> diags;
  int clears = 0;

 private:
  bool wanted_;
};
