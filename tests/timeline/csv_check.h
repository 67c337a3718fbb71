// Reads a written CSV file with Python's csv module in strict mode and checks that every row
// has as many columns as the header row.
#pragma once

#include <stdio.h>

#include <string>

namespace csv_check {

// Empty when every row of the file at path has the header's column count, else the report.
inline std::string column_count_failures(const std::string& path, char delimiter) {
  const std::string script =
      "import csv, sys\n"
      "path, delimiter = sys.argv[1], sys.argv[2]\n"
      "with open(path, newline=\"\") as f:\n"
      "    rows = list(csv.reader(f, delimiter=delimiter, strict=True))\n"
      "width = len(rows[0])\n"
      "bad = [i for i, row in enumerate(rows) if len(row) != width]\n"
      "print(\"rows %s of %d have not %d columns\" % (bad, len(rows), width) if bad else \"\", end=\"\")\n";
  const std::string command = "python3 -c '" + script + "' '" + path + "' '" + std::string(1, delimiter) + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "python3 could not be started";
  std::string report;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) report.append(buffer, got);
  const int status = pclose(pipe);
  if (status != 0 && report.empty()) report = "python3 failed";
  return report;
}

}  // namespace csv_check
