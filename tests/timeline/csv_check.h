// Reads a written CSV file with Python's csv module in strict mode: checks that every row has
// as many columns as the header row, or gives back every cell as the module reads it.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/text/qz_join.h"
#include "framework/text/qz_replace.h"

namespace csv_check {

// The CSV layouts the command line makes: each separator that -csv_separator takes, cells
// plain or quoted (-enable_quoted_csv_fields), no widths (-no_whitespace).
struct separator_mode {
  const char* name;
  const char* separator;  // as given to -csv_separator (a TAB itself: "tab" is not read as one under quotes)
  bool quoted;
};
inline const separator_mode separator_modes[] = {
    {"comma", ",", false}, {"bar", "|", false}, {"tab", "\t", false},
    {"comma, quoted", ",", true}, {"bar, quoted", "|", true}, {"tab, quoted", "\t", true},
};

// The parameter set of a mode, as the option parser leaves it.
inline cmd_params mode_params(const separator_mode& mode) {
  cmd_params params(0, false);
  params.trim_fields = 1;
  params.spaced_separator = 0;
  params.quoted_fields = mode.quoted ? 1 : 0;
  std::string separator = mode.separator;
  params.set_csv_separator(separator, false);
  return params;
}

// The one delimiter character of a mode's separator text.
inline char delimiter_of(const cmd_params& params) { return params.separator_text.at(0); }

// Texts a writer that does not quote with care breaks rows with: quotes at either end and
// inside, every separator, line ends, a JSON object holding separators.
inline const std::vector<std::string> hostile_cells = {
    "plain", "", "\"", "\"\"", "\"lead", "trail\"", "in \"the\" middle", "\"both\"", "\"x\"y",
    "a,b", "a|b", "a\tb", " blank ", "line\nend", "cr\r\nlf", "\r", "{\"", "{\"k\":\"v\"}",
    "{\"a\":1,\"b\":\"x|y\tz\"}",
};

// What a text cell reads back as: the value with the separator character replaced, as the
// row writer promises, and its line ends marked where the output kind asks for it.
inline std::string expected_cell(std::string text, const cmd_params& params) {
  if (params.separator_char != 0) replace_char(text, params.separator_char, params.separator_replacement, false);
  if (params.kind_csv || params.kind_csvl2t || params.kind_csvgen || params.kind_bodyfile) mark_line_endings(text);
  return text;
}

// Whether python3 can be started.
inline bool have_python() { return system("command -v python3 >/dev/null 2>&1") == 0; }

// Standard output and error of python3 running script with the arguments (each passed single-quoted);
// status is its exit status.
inline std::string run_python(const std::string& script, const std::vector<std::string>& args, int& status) {
  std::string command = "python3 -c '" + script + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  command += " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    status = -1;
    return "python3 could not be started";
  }
  std::string output;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  status = pclose(pipe);
  return output;
}

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
  int status = 0;
  std::string report = run_python(script, {path, std::string(1, delimiter)}, status);
  if (status != 0 && report.empty()) report = "python3 failed";
  return report;
}

// rows = the cells of every row of the file at path as the csv module reads them with the
// delimiter (bytes as written, no decoding). Empty when it read, else python's report.
inline std::string read_rows(const std::string& path, char delimiter, std::vector<std::vector<std::string>>& rows) {
  // One line per row, each cell as hex digits ("-" for an empty cell), so that any byte survives.
  const std::string script =
      "import csv, sys\n"
      "with open(sys.argv[1], newline=\"\", encoding=\"latin-1\") as f:\n"
      "    for row in csv.reader(f, delimiter=sys.argv[2], strict=True):\n"
      "        print(\" \".join(c.encode(\"latin-1\").hex() or \"-\" for c in row))\n";
  int status = 0;
  const std::string output = run_python(script, {path, std::string(1, delimiter)}, status);
  if (status != 0) {
    const size_t error = output.rfind("Error");
    return error == std::string::npos ? "python3 failed" : output.substr(output.rfind('\n', error) + 1);
  }
  rows.clear();
  std::vector<std::string> row;
  std::string cell;
  auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
  for (size_t k = 0; k < output.size(); ++k) {
    const char c = output[k];
    if (c == ' ' || c == '\n') {
      row.push_back(cell);
      cell.clear();
      if (c == '\n') {
        rows.push_back(row);
        row.clear();
      }
    } else if (c != '-' && k + 1 < output.size()) {
      cell += static_cast<char>(digit(c) * 16 + digit(output[k + 1]));
      ++k;
    }
  }
  return "";
}

}  // namespace csv_check
