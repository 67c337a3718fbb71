// The bodyfile writer: one file-system entry per line, eleven columns joined by "|" (md5 or
// "0", name, inode, mode text, uid, gid, size, then the access, modify, metadata-change and
// creation times in unix seconds), to a stream or, with a database open, as a generic_data
// row of the store. An entry is always one line of eleven columns: in the name, the mode and
// the md5 text a "|" is written as ";" and a control character (below 0x20: line ends, TAB,
// ESC ...) as "^", as fls writes names; the caller's record keeps its texts. The first call of
// an output writes (or registers) the column line; the caller keeps the flag.
#pragma once

#include <ostream>
#include <string>

#include "framework/cmdline/qz_cmd_params.h"
#include "timeline/macb_times.h"

class sqlite3_artifact;

// One entry of a bodyfile.
class bodyfile_record {
 public:
  bodyfile_record() { clear(); }

  // Texts empty, numbers 0, times cleared with kind 8, timezone "UTC", no store, no params.
  void clear();

  std::string md5;
  std::string name;
  u64 inode;
  std::string mode;
  u64 uid;
  u64 gid;
  u64 size;
  macb_input times;  // unix seconds: m modify, a access, c metadata change, b creation
  std::string timezone;  // not printed
  sqlite3_artifact* store;  // not owned
  cmd_params* params;       // not owned
};

// Writes one entry (after the column line on the first call). 1; 0 when a stream write fails
// or there is no stream to write to.
int write_bodyfile_record(bool* first, std::ostream* out, const bodyfile_record& rec);
