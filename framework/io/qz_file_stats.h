// Plain records of what is known about one file: `file_stats` (path, inode, size,
// the four times, mode) and `log_record`, the per-file record of the file listings.
// The fill functions read the file system and report failure by a false result.
#pragma once

#include <string>
#include <vector>

#include "framework/io/qz_platform.h"
#include "framework/text/qz_types.h"

// One file's metadata. The four times are raw values in the encoding that
// `time_kind` names: 8 unix seconds, 16 unix milliseconds, 1 FILETIME, 0 not set.
class file_stats {
 public:
  // An empty record (strings empty, every number zero).
  file_stats() = default;
  // Copies are deep; the destructor releases both strings.
  file_stats(const file_stats&) = default;
  file_stats(file_stats&&) = default;
  file_stats& operator=(const file_stats&) = default;
  file_stats& operator=(file_stats&&) = default;
  ~file_stats() = default;

  // Empties both strings and sets every number and flag to 0.
  void clear();
  // Whether the mode names a FIFO.
  bool is_fifo() const;
  // Whether the mode names a socket.
  bool is_socket() const;

  std::string path;     // UTF-8 path of the file
  u64 inode = 0;        // file serial number
  u16 seq_number = 0;   // sequence number of a raw NTFS entry; kept and copied only
  u64 size = 0;         // length in bytes
  u64 modified = 0;     // last data modification
  u64 created = 0;      // birth time; 0 where the file system keeps none
  u64 changed = 0;      // last status change
  u64 accessed = 0;     // last access
  u64 mode = 0;         // file type and permission bits
  u64 time_kind = 0;    // encoding of the four times
  u8 is_dir = 0;        // 1 for a folder
  u8 log_dir = 0;       // set by callers that want a folder record written
  u8 ntfs_raw = 0;      // set by callers that read the entry from a raw NTFS volume
  u64 offset = 0;       // a caller's 64-bit position; kept and copied only
  std::string text;     // a caller's text stored with the record
};

// Clears out, then fills inode, size, the four times (whole unix seconds; 0 for a time
// before 1970), mode, is_dir and time_kind 8 from the status of path, following links;
// false for an empty path or a failed query. The record's path is not set.
bool get_file_stats(file_stats& out, const std::wstring& path);

// Attribute bits of a log_record.
constexpr u64 log_attr_folder = 0x8;
constexpr u64 log_attr_unix_times = 0x2;
constexpr u64 log_attr_filetime_times = 0x4;
// Bits that mark the times of a copied record as FILETIME values.
constexpr u64 log_attr_filetime_mask = 0x35;

// A file_stats with an attribute word and two lists of texts (attribute names and
// values, read in pairs); the per-file record of the file listings.
class log_record : public file_stats {
 public:
  // An empty record.
  log_record() = default;
  // An empty record filled by fill_log_record_from_status_utf8 (its result is not kept).
  log_record(const std::string& path, const qz_platform::file_status* status, const std::string& text);

  // Everything of file_stats::clear, the attribute word and list marker 0, both lists emptied.
  void clear();
  // Copies every member of other; then a record whose time_kind is 0 and whose
  // modified value is above 0 takes time_kind 1 when any attribute bit of 0x35 is
  // set, else 8.
  void copy(const log_record& other);
  // copy without copying: every member of other moved here (the same time_kind rule), other
  // cleared.
  void take(log_record& other);

  u64 attributes = 0;   // log_attr_* bits
  u8 list_marker = 0;   // 1 when the two lists were filled together
  std::vector<std::string> attr_names;
  std::vector<std::string> attr_values;
};

// get_file_stats on path into the record (its attribute word and lists keep their
// values), then path set, 8 added to attributes for a folder, 2 for unix times, 4 for
// FILETIME times (added, not or-ed), text stored when not empty; false when the
// path is empty or its status cannot be read.
bool fill_log_record(log_record& record, const std::wstring& path, const std::string& text);
// fill_log_record with a UTF-8 path; false for a path that is not valid UTF-8.
bool fill_log_record_utf8(log_record& record, const std::string& path, const std::string& text);
// Clears the record; false for an empty path; without a status record the result of
// fill_log_record; with one, the record takes path, inode, size, modified, changed,
// accessed (unix seconds as get_file_stats keeps them, time_kind 8) and mode from it
// (created stays 0), 2 is added to the attributes and 8 more for a folder, and text is
// stored even when empty.
bool fill_log_record_from_status(log_record& record, const std::wstring& path,
                                 const qz_platform::file_status* status, const std::string& text);
// fill_log_record_from_status with a UTF-8 path; false for a path that is not valid UTF-8.
bool fill_log_record_from_status_utf8(log_record& record, const std::string& path,
                                      const qz_platform::file_status* status, const std::string& text);
