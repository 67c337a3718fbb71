#include "framework/cmdline/qz_console_report.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/cmdline/qz_cmd_params.h"
#include "tests/cmdline/std_capture.h"
#include "tests/text/temp_folder.h"

namespace {

// The console's reporter routes each kind of report to its own place: the status line and
// messages to standard error, records into the "-diags" log.
TEST(ConsoleReport, RoutesEachReport) {
  temp_folder dir("qz_console_report");
  ASSERT_FALSE(dir.path().empty());
  cmd_params params(0, false);
  ASSERT_TRUE(params.open_debug_file(dir.file("diags.txt")));
  const std::size_t header = dir.get("diags.txt").size();
  console_report report(&params);

  std_capture err;
  report.status("percent done 1.00");
  report.message("deleted: x - success\n");
  report.diag("rename: a => b");
  const std::string shown = err.text();
  EXPECT_NE(shown.find("\rpercent done 1.00\r"), std::string::npos);
  EXPECT_NE(shown.find("deleted: x - success\n"), std::string::npos);
  EXPECT_EQ(shown.find("rename"), std::string::npos);
  EXPECT_EQ(dir.get("diags.txt").substr(header), "->rename: a => b\n");

  params.status_display = 1;
  EXPECT_TRUE(report.messages_wanted());
  params.status_display = 0;
  EXPECT_FALSE(report.messages_wanted());
  console_report without(nullptr);
  EXPECT_FALSE(without.messages_wanted());
  without.diag("nowhere");
}

}  // namespace
