// Runs a reference program (coreutils, Python) on bytes given as its standard input and
// returns its standard output, so that tests can compare telvar's results with it.
#pragma once

#include <stdio.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "tests/text/temp_folder.h"

// Whether command -v finds the program.
inline bool reference_tool_present(const std::string& program) {
  const std::string probe = "command -v " + program + " >/dev/null 2>&1";
  return system(probe.c_str()) == 0;
}

// output = what command writes to standard output when input is its standard input; false
// when it cannot be started or ends with a status other than 0.
inline bool run_reference_tool(const std::string& command, const std::string& input,
                               std::string& output) {
  output.clear();
  temp_folder folder("telvar_reference");
  if (folder.path().empty()) return false;
  folder.put("input", input);
  const std::string line = command + " < '" + folder.file("input") + "'";
  FILE* pipe = popen(line.c_str(), "r");
  if (pipe == nullptr) return false;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  const int status = pclose(pipe);
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// outputs = for each input, what the Python expression gives for the bytes `data` (it must
// yield bytes), all inputs run in one python3 process after the Python code prelude (imports,
// definitions; no single quotes). False when python3 fails.
inline bool run_python_per_input(const std::string& prelude, const std::string& expression,
                                 const std::vector<std::string>& inputs,
                                 std::vector<std::string>& outputs) {
  static const char hex_digits[] = "0123456789abcdef";
  std::string lines;
  for (const auto& input : inputs) {
    lines += 'x';
    for (unsigned char c : input) {
      lines += hex_digits[c >> 4];
      lines += hex_digits[c & 15];
    }
    lines += '\n';
  }
  const std::string script = "python3 -c 'import sys, binascii\n" + prelude +
                             "\nfor line in sys.stdin.read().split():\n"
                             "    data = binascii.unhexlify(line[1:])\n"
                             "    sys.stdout.write(\"x\" + binascii.hexlify(" +
                             expression + ").decode() + \"\\n\")\n'";
  std::string reply;
  outputs.clear();
  if (!run_reference_tool(script, lines, reply)) return false;
  size_t start = 0;
  for (size_t end; (end = reply.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string decoded;
    for (size_t i = start + 1; i + 1 < end; i += 2)
      decoded += char(std::stoi(reply.substr(i, 2), nullptr, 16));
    outputs.push_back(decoded);
  }
  return outputs.size() == inputs.size();
}
