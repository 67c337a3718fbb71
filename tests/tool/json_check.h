// Strict checks of JSON output through python3's json module: a file must be UTF-8 and every
// document in it an object; NaN, Infinity and raw control characters inside strings are
// refused. One python3 run checks a whole list of files.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/text/temp_folder.h"

// A file to check: one JSON object, or with lines a file of lines that are each one JSON
// object and each end with a line end (an empty file then holds no line).
struct json_file {
  std::string path;
  bool lines = false;
};

// Empty when every file passes; otherwise python's report of the files that do not.
inline std::string json_files_failures(const std::vector<json_file>& files) {
  static const char* const script =
      "import json, sys\n"
      "def refuse(name):\n"
      "    raise ValueError(name)\n"
      "def check(path, lines):\n"
      "    text = open(path, encoding=\"utf-8\", newline=\"\").read()\n"
      "    if lines and text and not text.endswith(\"\\n\"):\n"
      "        raise ValueError(\"last line without a line end\")\n"
      "    for doc in (text.split(\"\\n\")[:-1] if lines else [text]):\n"
      "        if not isinstance(json.loads(doc, parse_constant=refuse), dict):\n"
      "            raise ValueError(\"not an object: \" + doc[:60])\n"
      "args = sys.argv[1:]\n"
      "failed = 0\n"
      "for mode, path in zip(args[0::2], args[1::2]):\n"
      "    try:\n"
      "        check(path, mode == \"lines\")\n"
      "    except Exception as error:\n"
      "        failed += 1\n"
      "        print(path + \": \" + str(error))\n"
      "sys.exit(1 if failed else 0)\n";
  if (files.empty()) return std::string();
  std::string command = std::string("python3 -c '") + script + "'";
  for (const json_file& file : files) {
    command += file.lines ? " lines '" : " whole '";
    command += file.path + "'";
  }
  command += " 2>&1";
  std::string report;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "python3 could not be started";
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) report.append(buffer, got);
  const int status = pclose(pipe);
  if (status != 0 && report.empty()) report = "python3 failed with status " + std::to_string(status);
  return status == 0 ? std::string() : report;
}

// Collects texts written by a test and checks them all at once.
class json_texts {
 public:
  explicit json_texts(const char* prefix) : folder_(prefix) {}
  // Keeps text for the check; label names it in a failure report.
  void add(const std::string& label, const std::string& text, bool lines) {
    std::string name = std::to_string(files_.size()) + ".json";
    folder_.put(name, text);
    files_.push_back({folder_.file(name), lines});
    labels_ += name + " = " + label + "\n";
  }
  // Empty when every text kept passes, else the report with the labels of the files.
  std::string failures() const {
    if (folder_.path().empty()) return "no folder for the texts";
    std::string report = json_files_failures(files_);
    return report.empty() ? report : report + labels_;
  }

 private:
  temp_folder folder_;
  std::vector<json_file> files_;
  std::string labels_;
};
