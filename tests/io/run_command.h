// Runs a shell command for tests that compare with a reference program.
#pragma once

#include <cstdio>
#include <string>

// What the command writes on standard output; empty when it cannot be run.
inline std::string run_command(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[512];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
  pclose(pipe);
  return out;
}
