// Running the outside references of the store's tests (the sqlite3 shell, find, Python) and
// reading what they print.
#pragma once

#include <stdio.h>
#include <sys/wait.h>

#include <iostream>
#include <string>

#include <gtest/gtest.h>

// What command printed on standard output; *status (may be null) its exit status, -1 when it
// could not be started.
inline std::string command_output(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    if (status != nullptr) *status = -1;
    return out;
  }
  char buffer[65536];
  size_t got = 0;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
  const int rc = pclose(pipe);
  if (status != nullptr) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

// Whether program can be found on the PATH.
inline bool has_program(const std::string& program) {
  int status = 0;
  command_output("command -v " + program + " >/dev/null 2>&1", &status);
  return status == 0;
}

// A path between single quotes for the shell.
inline std::string shell_quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

// What the sqlite3 shell answers to "pragma integrity_check" on the database ("ok\n" when whole).
inline std::string integrity_check(const std::string& db_path) {
  return command_output("sqlite3 -batch -readonly " + shell_quoted(db_path) + " 'pragma integrity_check;' 2>&1");
}

// Expects the sqlite3 shell to find the database whole; says so and checks nothing when the shell
// is missing.
inline void expect_whole(const std::string& db_path) {
  if (!has_program("sqlite3")) {
    std::cout << "sqlite3 shell missing: integrity check of " << db_path << " skipped\n";
    return;
  }
  EXPECT_EQ(integrity_check(db_path), "ok\n") << db_path;
}
