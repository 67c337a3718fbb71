// The description of the machine the program runs on (system name, kernel version and
// release, node name, 64-bit flag), a few host queries, and the Windows version tables kept
// for the framework's Windows builds. Nothing here prints; queries that fail give empty text.
#pragma once

#include <ostream>
#include <sstream>
#include <string>

#include "framework/text/qz_types.h"

class os_version_info {
 public:
  os_version_info();
  ~os_version_info();

  // All flags 0 and all texts empty.
  void clear();
  // Clears, then fills the record from uname and the executable path; false (valid 0, os
  // "Linux", other texts empty) when uname fails.
  bool get(const std::string& executable_path);
  // out = os, [nodename,] version and build, each with every sep in it replaced by repl and
  // followed by sep, then "64" or "32", then [sep and the lower-cased exe_path, its seps
  // replaced too]. With short_build the build keeps one character after its last '.'.
  void write_fields(std::ostringstream& out, const std::string& sep, const std::string& repl,
                    bool with_nodename, bool with_exe_path) const;
  // One "name     : value" line per field (no node name line when it is empty); returns out.
  std::ostream& print(std::ostream& out) const;

  u8 valid;
  u8 is_64bit;          // the machine name holds "64"
  std::string os;       // system name
  std::string version;  // kernel version text
  std::string build;    // kernel release
  std::string nodename;
  u8 short_build;       // set by a caller that wants write_fields to shorten the build
  std::string exe_path;
  std::string tool_name;  // the executable's file name before its first '_'
  std::string user_name;  // never filled here
};

// Stands for the file-system redirection guard of the Windows builds; does nothing here.
class wow64_redirect_adt {
 public:
  wow64_redirect_adt() = default;
  virtual ~wow64_redirect_adt() = default;
};

// The running program's own path; empty when it cannot be had or exceeds 2047 bytes.
std::string get_exe_path();
// The same as wide text; empty when it exceeds 1023 bytes. Malformed UTF-8 gives the part before the fault.
std::wstring get_exe_path_wide();
// The host's name, or "<unk>" when it cannot be read.
std::string get_host_name();
// out = name when it already holds the executable's folder, else that folder + "/" + name;
// false (out empty) when the executable's path cannot be had.
bool get_path_in_exe_dir(std::string& out, const std::string& name);

// Windows version codes. Build numbers are taken modulo 65536.

// The version code of a build number (19045 and anything below 2600 give 1).
u32 windows_build_to_code(u32 build);
// The short release name of a build number ("WinXP" ... "Win10", "post Win10").
std::string windows_build_to_name(u32 build);
// out = the release name of an NT-family version (platform id 2), with its alternative name
// appended when server and alt_a or alt_b are set; returns its code. Another platform id gives
// "Win9x" and 2; a version without a name gives "<unk>" and 1.
u32 windows_version_name(std::string& out, u32 platform_id, u32 major, u32 minor, bool server,
                         bool alt_a, bool alt_b, u32 build);
// windows_version_name(out, platform_id, major, minor, server, false, true, 0).
u32 windows_version_name_short(std::string& out, u32 platform_id, u32 major, u32 minor, bool server);
// Lower-cases text in place; the code of the first release key it contains ("win10", "win8.1",
// "win8", "win7", "vista", "win03", "winxp", "win2k", "nt4"), 1 when none.
u32 os_name_to_code(std::string& text);
