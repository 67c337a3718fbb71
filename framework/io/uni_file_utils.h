// Whole-file services on top of uni::fileio: loading a file, overwriting it with
// zeros, status queries (type, inode), the current folder and absolute paths.
// Failures are reported by the result only (false, 0, -1 or an empty text); names
// that cannot be converted without change are refused, never shortened.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "framework/io/qz_platform.h"
#include "framework/text/qz_types.h"

namespace uni {
class fileio;
}

// ---- Path conversions ----

// out = the wide form of the UTF-8 path; false (out empty) for an empty path, a NUL
// byte, or bytes that do not come back unchanged from the round trip (malformed or
// overlong sequences), so that no name is ever read as the name of another file.
bool path_utf8_to_wide(std::wstring& out, const std::string& path);
// out = the UTF-8 form of the wide path; false (out empty) for an empty path, a NUL
// or a character the UTF-8 encoder cannot carry (beyond U+10FFFF).
bool path_wide_to_utf8(std::string& out, const std::wstring& path);

// ---- Whole files ----

// out = the first min(file size, limit) bytes of the file; false (out empty) for an
// empty path, a limit of 0, a file that does not open or is empty, or a read that
// delivers fewer bytes than the file held.
bool load_file_bytes(std::vector<u8>& out, const std::string& path, u64 limit);
// load_file_bytes into a string.
bool load_file_text(std::string& out, const std::string& path, u64 limit);

// ---- Overwriting ----

// Writes zeros over the whole of an existing file (not created, not truncated);
// false when it does not open or a write fails.
bool zero_file(const std::string& path);
// Writes 512-byte blocks of zeros at 0, 512, ... while below the file size (the file
// grows to a multiple of 512); false for an empty or missing file or a failed write.
// `flag` has no effect.
bool wipe_file_w(std::wstring path, bool flag);
bool wipe_file(const std::string& path, bool flag);
// The wipe of wipe_file_w over a file already open for writing, pushed to the disk; the
// file stays open. False for an empty file or a failed write or sync.
bool wipe_open_file(uni::fileio& file);
// wipe_file_w; a non-empty marker is also written at the start of every eighth block
// (offsets 0, 4096, ...), followed by a little-endian u32 counter from 0.
bool wipe_file_marked_w(std::wstring path, const std::vector<u8>& marker, bool flag);
bool wipe_file_marked(const std::string& path, const std::vector<u8>& marker, bool flag);

// ---- Status queries ----

// Sets every field of the record to 0; nothing for a null record.
void clear_stat(qz_platform::file_status* record);
// Status of the path, following links; 0 on success, -1 on failure (record cleared).
int stat_file(const char* path, qz_platform::file_status* record);
// stat_file of a NUL-terminated wide path.
int stat_file_wcs(const wchar_t* path, qz_platform::file_status* record);
// stat_file of a wide path; true on success.
bool stat_file_w(qz_platform::file_status* record, const std::wstring& path);
// stat_file_w of a UTF-8 path with its trailing '/' and '\' removed.
bool stat_path_utf8(qz_platform::file_status* record, const std::string& path);
// Status of an open descriptor; 0 on success, -1 on failure (record cleared).
int fstat_fd(int descriptor, qz_platform::file_status* record);
// Whether the path names a folder (a link to one counts); trailing separators of
// the UTF-8 form are ignored, so "/" alone is false.
bool is_directory(const std::string& path);
bool is_directory_w(const std::wstring& path);
// The inode number of the file; 0 when its status cannot be read.
u64 get_file_inode(const std::string& path);
u64 get_file_inode_w(const std::wstring& path);
// out = the companion "<path>:Zone.Identifier" when it exists; false when path does
// not open or has no such companion.
bool list_zone_identifier(std::vector<std::string>& out, const std::string& path);

// ---- The current folder and absolute paths ----

// The current folder; empty when it cannot be read.
std::string get_cwd();
// get_cwd as a wide string; empty when the folder's name is not valid UTF-8.
std::wstring get_cwd_w();
// The absolute form of path: double quotes (and apostrophes, when there are two)
// become blanks, the ends are trimmed of " \t\r\n", then a relative path is joined
// to the current folder with its "." and ".." folders resolved wherever they stand (a
// ".." above the root stays at the root), so that the result names the folder the
// relative path named. The separator is '/' when the path holds one, else '\' when it
// holds one, else `separator`. A path that begins with the separator or a drive letter
// ("C:") comes back unchanged: it is no relative path, and joining it to the current
// folder would name nothing. The result is empty for an empty path and when the
// current folder cannot be read.
std::string get_full_path(std::string path, char separator);
// get_full_path of a wide path; empty when the path or the result cannot be converted.
std::wstring get_full_path_w(std::wstring path, wchar_t separator);

// ---- Placeholders of this platform ----

// Empties both lists; false (nothing is parsed here).
bool parse_record_lists(std::vector<std::string>& first, std::vector<std::string>& second,
                        const std::string& text);
// Empties the map; returns 0.
int clear_u64_map(std::map<u64, u64>& map);
