// Runs a reference program (coreutils, Python) on bytes given as its standard input and
// returns its standard output, so that tests can compare telvar's results with it.
#pragma once

#include <stdio.h>
#include <sys/wait.h>

#include <string>

#include "tests/io/temp_folder.h"

// Whether command -v finds the program.
inline bool reference_tool_present(const std::string& program) {
  const std::string probe = "command -v " + program + " >/dev/null 2>&1";
  return system(probe.c_str()) == 0;
}

// Whether python3 is present and can import module.
inline bool python_module_present(const std::string& module) {
  const std::string probe = "python3 -c 'import " + module + "' >/dev/null 2>&1";
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
