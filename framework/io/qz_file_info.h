// File-info records: one file described in Windows terms (folder, name, extension, size, a
// flags word, four times and a permissions word), narrow (`file_info`, UTF-8 strings) and
// wide (`file_info_utf16`, fixed buffers of 512 wide characters), filled from the file system
// (links followed, times in unix seconds) or from values, and the status queries behind them.
// flags below 9 are attribute flags (2: folder); from 9 on they are a POSIX mode word.
// Failures are a false result; a wide buffer is never written past its 511 characters and
// terminating zero: a longer text is refused.
#pragma once

#include <string>

#include "framework/text/qz_types.h"

class file_info_utf16;

// The narrow record. full_path_lower is full_path with ASCII letters lower-cased.
class file_info {
 public:
  // An empty record.
  file_info() = default;
  // An empty record, then set_values (the UTF-8 path decoded first; an invalid one is empty).
  file_info(const char* path, u64 size, u64 number64, u16 number16, u32 flags, u64 created, u64 altered,
            u64 mft_changed, u64 accessed, u32 permissions);
  file_info(const wchar_t* path, u64 size, u64 number64, u16 number16, u32 flags, u64 created, u64 altered,
            u64 mft_changed, u64 accessed, u32 permissions);
  // Converted from the wide record: the three texts as UTF-8, full_path = folder + '\' + name
  // + "." + ext, the numbers copied, number16 0.
  explicit file_info(const file_info_utf16& wide);
  file_info& operator=(const file_info_utf16& wide);

  // Strings empty, numbers 0, m_using_st_mode_flags 1.
  void clear();
  // clear, then full_path from path, folder, name (the whole file name) and ext split from it
  // (nothing split for a null or empty path), and the numbers stored unchanged.
  void set_values(const wchar_t* path, u64 size, u64 number64, u16 number16, u32 flags, u64 created,
                  u64 altered, u64 mft_changed, u64 accessed, u32 permissions);
  // set_values with number64 and number16 0; `unused` has no effect.
  void set_values_no_number(const wchar_t* path, u64 unused, u64 size, u32 flags, u64 created, u64 altered,
                            u64 mft_changed, u64 accessed, u32 permissions);

  std::string full_path;
  std::string full_path_lower;
  std::string folder;
  std::string name;
  std::string ext;  // without the dot
  u64 number64 = 0;
  u16 number16 = 0;
  u64 size = 0;
  u32 flags = 0;
  u64 created = 0;  // from the file system: the status-change time
  u64 altered = 0;
  u64 mft_changed = 0;
  u64 accessed = 0;
  u32 permissions = 0;
  u8 m_using_st_mode_flags = 1;
};

// The wide record.
class file_info_utf16 {
 public:
  static constexpr std::size_t text_chars = 512;

  // An empty record.
  file_info_utf16() = default;
  // name stored when shorter than 512 characters (else left empty); ext = what follows the
  // name's last '.'; the numbers stored.
  file_info_utf16(const wchar_t* name, u64 number64, u64 size, u32 flags, u64 created, u64 altered,
                  u64 mft_changed, u64 accessed, u32 permissions);
  file_info_utf16(const wchar_t* name, u64 size, u32 flags, u64 created, u64 altered, u64 mft_changed,
                  u64 accessed, u32 permissions);

  // Texts empty, numbers 0, m_using_st_mode_flags 1.
  void clear();

  wchar_t folder[text_chars] = {};
  wchar_t name[text_chars] = {};
  std::wstring ext;
  u64 number64 = 0;
  u32 flags = 0;
  u64 size = 0;
  u64 created = 0;
  u64 altered = 0;
  u64 mft_changed = 0;
  u64 accessed = 0;
  u32 permissions = 0;
  u8 m_using_st_mode_flags = 1;
};

// Whether the record is a folder: attribute bit 2 for flags below 9, else the mode's type.
bool is_dir(const file_info& record);
bool is_dir(const file_info_utf16& record);

// Fills the record from the file's status: full_path, its lower-cased copy, size, flags (the
// mode), created (change time), altered, accessed; folder, name and ext split from the path,
// a folder's name taking "." and its extension (a folder without one ends in "."); "." and
// the whole path when the path does not split. False (record cleared) for a null path or
// record, or when the status cannot be read.
bool fill_file_info(const char* path, file_info* out);
// The same into the wide record from a UTF-8 path; also false when the folder part or the
// name does not fit its buffer.
bool fill_file_info_utf16(const char* path, file_info_utf16* out);
// The same from a wide path, without the folder rule: name and ext stay as split.
bool fill_file_info_w(const wchar_t* path, file_info_utf16* out);

// Comparisons of wide records: by created time, and by name with letter case ignored.
bool file_info_created_less(const file_info_utf16& a, const file_info_utf16& b);
bool file_info_name_equal(const file_info_utf16& a, const file_info_utf16& b);
bool file_info_name_less(const file_info_utf16& a, const file_info_utf16& b);

// Appends the record as ten labelled lines ("path:", "filename:", "ext:", "file size",
// "flags:" with the file type, the four times with their date text, "permissions:"), numbers
// in zero-filled lower-case hex.
void file_info_dump(const file_info& record, std::string& out);

// Size, mode and the change, modification and access times (unix seconds) of the file, links
// followed; every output 0 first; false for an empty or null path or a failed query.
bool get_file_stat_times_w(const std::wstring& path, u64& size, u32& mode, u64& changed, u64& modified,
                           u64& accessed);
bool get_file_stat_times(const std::string& path, u64& size, u32& mode, u64& changed, u64& modified,
                         u64& accessed);
bool get_file_stat_times(const char* path, u64& size, u32& mode, u64& changed, u64& modified, u64& accessed);
// The same with the three times as FILETIME values.
bool get_file_times_w(const std::wstring& path, u64& size, u32& mode, u64& changed, u64& modified,
                      u64& accessed);
bool get_file_times(const std::string& path, u64& size, u32& mode, u64& changed, u64& modified, u64& accessed);
