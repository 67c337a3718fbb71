// One parsed key-name filter: a key path plus the "!" codes found in it.
// The flag word holds one bit per code; the time library reads only the time
// bits and the valid flag. The record owns its texts, map and list.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// Time-encoding bits of keyname_filter::flags.
constexpr u64 keyname_time_filetime = 0x8;       // FILETIME ticks
constexpr u64 keyname_time_unix = 0x10;          // seconds since 1970
constexpr u64 keyname_time_systemtime = 0x100;   // SYSTEMTIME record
constexpr u64 keyname_time_cocoa = 0x200;        // seconds since 2001
constexpr u64 keyname_time_hfs_plus = 0x400;     // seconds since 1904
constexpr u64 keyname_time_chrome = 0x800;       // microseconds since 1601
constexpr u64 keyname_time_firefox = 0x1000;     // microseconds since 1970
constexpr u64 keyname_time_filetime_alt = 0x2000;  // also read as FILETIME ticks

class keyname_filter {
 public:
  // A cleared record.
  keyname_filter() = default;
  // Copies every member.
  keyname_filter(const keyname_filter&) = default;
  keyname_filter& operator=(const keyname_filter&) = default;
  ~keyname_filter() = default;

  // Sets every member to its cleared value: texts, map and list empty,
  // aux_index 0xFFFFFFFF, every number 0.
  void clear();

  // The per-user Library sub-folders named by text read as a bit mask (parse_u64), each
  // followed by "/" (1 Library, 2 Preferences, 4 SyncedPreferences, 32 Calendars, 8 Safari,
  // 16 SystemConfiguration); "" when text is no number or sets no known bit.
  static std::string get_common_path(const std::string& text);

  std::string key_path;
  std::string value_name;
  u32 aux_index = 0xFFFFFFFF;
  u64 flags = 0;
  u8 valid = 0;
  u32 aux_number = 0;
  u32 byte_offset = 0;
  std::map<std::string, std::string> sub_map;
  std::vector<std::string> sub_list;
  std::string sub_text;
};
