// The start of a telvar run: the help options and the usage text, the tool's title line and
// the start-up record (title, run time with the host, command line) that main prints when the
// options are refused. The usage text goes to standard error; the record into a stream.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace qz {
class time;
}

// The version text of this build, handed to the option parser and shown in the title line.
inline constexpr const char* tool_version_text = "ver: 0.43";

// "telvar" until the start-up runs, then the full title line ("telvar - " version and maker).
extern std::string tool_title;

// The start-up: gives the status the process ends with, 255 (printing nothing) for an empty
// args and 0 after the usage text when args holds only the program path or a help option ("-h",
// "-help", "/?", "--help", any case, anywhere; the one found is removed). Otherwise sets
// tool_title, writes the start-up record into record and gives nothing: the run goes on; args
// keeps "-dateformat".
std::optional<int> process_startup_args(std::vector<std::string>& args, std::ostream& record);

// Writes the three lines of the start-up record for run_time: tool_title; the run line (date by
// date_format, time, host name, host description); the command line in double quotes, led by
// "<filelist> ... | " when "-pipe" follows the program path.
void write_startup_record(std::ostream& record, const std::vector<std::string>& args,
                          const qz::time& run_time, const std::string& date_format);

// The usage text on standard error; the program path is not printed.
void display_usage(const char* program_path);
