// A real bodyfile for the timeline tests: a small ext4 image built from a folder with
// mke2fs -d, its inode times set with debugfs, listed with the Sleuth Kit's `fls -r -m /`; and
// the timeline that `mactime -b FILE -d -y` prints for a bodyfile. Tests skip when the tools
// are missing (scripts/install-deps.sh installs them).
#pragma once

#include <stdio.h>

#include <set>
#include <string>
#include <vector>

#include "tests/text/temp_folder.h"

namespace sleuthkit_reference {

// The tools live in sbin on some systems.
inline const char* path_prefix = "PATH=\"$PATH:/sbin:/usr/sbin\" TZ=UTC ";

// Standard output of a shell command; status is its exit status (-1 when it did not start).
inline std::string shell_output(const std::string& command, int& status) {
  std::string text;
  FILE* pipe = popen((path_prefix + command).c_str(), "r");
  if (pipe == nullptr) {
    status = -1;
    return text;
  }
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
  const int raw = pclose(pipe);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return text;
}

// Empty when fls, mactime, mke2fs and debugfs are all there, else the names of those missing.
inline std::string missing_tools() {
  std::string missing;
  for (const char* tool : {"fls", "mactime", "mke2fs", "debugfs"}) {
    int status = 0;
    shell_output(std::string("command -v ") + tool + " >/dev/null 2>&1", status);
    if (status != 0) missing += std::string(missing.empty() ? "" : ", ") + tool;
  }
  return missing;
}

// Instants of the fixture, unix seconds.
constexpr long t1 = 1577934245;  // 2020-01-02 03:04:05
constexpr long t2 = 1620284889;  // 2021-05-06 07:08:09
constexpr long t3 = 1551571200;  // 2019-03-03 00:00:00
constexpr long t4 = 1600000000;  // 2020-09-13 12:26:40, also the image's own time

// Names that hold control characters (and DEL and UTF-8, which stay as they are), each a
// file of its own size (first_control_size + its position): fls lists them with "^" for each
// control character, and the size tells which listed line is which file. Their times are the
// image's.
inline const std::vector<std::string> control_names = {
    "lf\nname", "cr\rname", "crlf\r\nname", "tab\tname", "soh\x01name", "esc\x1bname", "us\x1fname",
    "del\x7fname", "utf8 \xc3\xa9", "\n",
};
constexpr unsigned long first_control_size = 101;

// Builds the image in folder and sets body to fls's listing of it. False, with error set,
// when a step fails.
inline bool make_bodyfile(const temp_folder& folder, std::string& body, std::string& error) {
  struct entry {
    const char* name;
    long m, a, c, b;
  };
  // Every pattern of shared instants, an entry with absent (0) times, and a name holding the
  // bodyfile's separator.
  const entry entries[] = {
      {"f_all", t1, t1, t1, t1}, {"f_mc", t1, t2, t1, t3},   {"f_ab", t1, t2, t3, t2},
      {"f_cb", t1, t1, t2, t2},  {"f_four", t1, t2, t3, t4}, {"f_zero", 0, t2, t3, 0},
      {"sub/b|c.txt", t3, t3, t4, t4},
  };
  const std::string source = folder.file("source");
  int status = 0;
  shell_output("mkdir -p '" + source + "/sub'", status);
  std::string commands;
  for (const entry& e : entries) {
    folder.put(std::string("source/") + e.name, "");
    const std::string quoted = std::string("\"/") + e.name + "\"";
    commands += "set_inode_field " + quoted + " mtime @" + std::to_string(e.m) + "\n";
    commands += "set_inode_field " + quoted + " atime @" + std::to_string(e.a) + "\n";
    commands += "set_inode_field " + quoted + " ctime @" + std::to_string(e.c) + "\n";
    commands += "set_inode_field " + quoted + " crtime @" + std::to_string(e.b) + "\n";
  }
  for (size_t k = 0; k < control_names.size(); ++k) {
    folder.put("source/" + control_names[k], std::string(first_control_size + k, 'x'));
  }
  folder.put("debugfs.cmds", commands);
  const std::string image = folder.file("image.ext4");
  shell_output("E2FSPROGS_FAKE_TIME=" + std::to_string(t4) + " mke2fs -q -t ext4 -d '" + source + "' '" + image +
                   "' 1M >/dev/null 2>&1",
               status);
  if (status != 0) {
    error = "mke2fs failed";
    return false;
  }
  shell_output("debugfs -w -f '" + folder.file("debugfs.cmds") + "' '" + image + "' >/dev/null 2>&1", status);
  if (status != 0) {
    error = "debugfs failed";
    return false;
  }
  body = shell_output("fls -r -m / '" + image + "'", status);
  if (status != 0 || body.empty()) {
    error = "fls failed";
    return false;
  }
  return true;
}

// The lines of a text, without their line ends.
inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The eleven columns of a bodyfile line; a name holding "|" takes every column between the
// first and the last nine. False for a line of fewer than eleven columns.
inline bool bodyfile_columns_of(const std::string& line, std::vector<std::string>& columns) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t bar = line.find('|', start);
    parts.push_back(line.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  if (parts.size() < 11) return false;
  const size_t name_parts = parts.size() - 10;
  std::string name = parts[1];
  for (size_t k = 2; k <= name_parts; ++k) name += "|" + parts[k];
  columns = {parts[0], name};
  columns.insert(columns.end(), parts.end() - 9, parts.end());
  return true;
}

// One line of mactime's comma-separated timeline.
struct mactime_row {
  std::string date;   // 2020-01-02T03:04:05Z
  std::string macb;   // lower case, "." for absent letters
  std::string inode;  // the Meta column
  std::string name;   // the File Name column, unquoted

  auto operator<=>(const mactime_row&) const = default;
};

// The rows of `mactime -b FILE -d -y` for the bodyfile at path; stderr is whatever mactime
// wrote there. False when mactime does not run.
inline bool mactime_rows(const std::string& path, std::set<mactime_row>& rows, std::string& stderr_text) {
  int status = 0;
  const std::string output = shell_output("mactime -b '" + path + "' -d -y 2>'" + path + ".err'", status);
  if (status != 0) return false;
  stderr_text = shell_output("cat '" + path + ".err'", status);
  for (const std::string& line : lines_of(output)) {
    if (line.rfind("Date,", 0) == 0 || line.empty()) continue;
    std::vector<std::string> columns;
    size_t start = 0;
    for (int k = 0; k < 7; ++k) {
      const size_t comma = line.find(',', start);
      if (comma == std::string::npos) break;
      columns.push_back(line.substr(start, comma - start));
      start = comma + 1;
    }
    if (columns.size() != 7) continue;
    std::string name = line.substr(start);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    rows.insert({columns[0], columns[2], columns[6], name});
  }
  return true;
}

}  // namespace sleuthkit_reference
