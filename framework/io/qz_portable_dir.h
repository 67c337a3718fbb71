// Folder and file utilities: creating folders, testing, removing, renaming and moving
// files, whole-file reads and writes, C streams, the program's own path and relative
// paths. Paths are UTF-8; each wide overload converts its path first and fails on a
// name that cannot be converted unchanged. Nothing prints; every failure is a false
// (or empty, or -1) result.
#pragma once

#include <cstdio>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// Creates one folder with mode 0777 (under the process's umask); true when it was
// created or a folder (or a link to one) already stands there.
bool make_dir(const std::string& path);
bool make_dir(const std::wstring& path);
// Creates every folder of path: '"' removed, '\' taken as '/', a "\\?\" or "\\.\"
// prefix kept in front of each folder (a shadow-copy device path is used whole), a
// component ending in ':' never created. false at the first folder that cannot be made.
bool make_dir_path(std::string path);
bool make_dir_path(std::wstring path);
// Creates the parent folders of path, then the file (created or truncated) holding
// length bytes of data (none when data is null or length 0); false when a folder or
// the file cannot be made, when length is negative, or when the write fails.
bool write_file_make_dirs(const char* path, const u8* data, int length);
bool write_file_make_dirs(const wchar_t* path, const u8* data, int length);
// Whether the status of path (links followed) can be read.
bool file_exists(const std::string& path);
bool file_exists(const std::wstring& path);
// Removes the file (or empty folder); a relative path is taken against the current folder.
bool remove_file(const std::string& path);
bool remove_file(const std::wstring& path);
// Renames old_path to new_path, replacing a file there; with make_absolute relative
// paths are taken against the current folder. The wide form never makes them absolute.
bool rename_file(const std::string& old_path, const std::string& new_path, bool make_absolute);
bool rename_file(const std::wstring& old_path, const std::wstring& new_path);
// out = the first min(file size, max_bytes) bytes of the file; true when at least one
// byte was read (false, out empty, for an empty file or a max_bytes of 0).
bool read_file_bytes(std::vector<u8>& out, const std::string& path, u32 max_bytes);
bool read_file_bytes(std::vector<u8>& out, const std::wstring& path, u32 max_bytes);
// out = a C stream on path: mode "w+" (created or truncated) when write or create is
// set, else "r" ("rb" with binary). A FIFO or socket is refused instead of waiting
// for a peer. false, out null, when nothing was opened; `unused` has no effect.
bool open_cfile(FILE** out, const std::wstring& path, bool create, u64 unused, bool write, bool binary);
// open_cfile with create and write set.
bool open_cfile_write(FILE** out, const std::wstring& path, bool binary);
// open_cfile with create and write clear.
bool open_cfile_read(FILE** out, const std::wstring& path, bool binary);
// The running program's path; "" when it cannot be read or exceeds 1023 bytes.
std::string get_executable_path();
std::wstring get_executable_path_w();
// Moves the file at path into folder (created when missing); out = its new path
// folder + "/" + name. false when path does not exist or the move fails; a file of
// that name already in the folder is never replaced.
bool move_file_into_dir(std::string& out, const std::string& folder, const std::string& path);
// Moves d/name.ext into d/name/name.ext; out = the new path. false for a path without
// '/', for a name without '.' (a '.' in a folder name does not count: the new folder would
// need the file's own name), for a file whose folder text already holds its stem (it lies
// in its own folder already), and when the move fails or would replace a file. With
// with_companions, the files of d whose names hold the stem, less the first occurrence of
// each stem_suffixes entry (letter case ignored), follow into the new folder; folders stay,
// a stem the suffixes reduce to nothing takes nothing along, a file already in the new
// folder is never replaced, and a companion that cannot move is left where it is.
bool move_into_own_subdir(std::string& out, const std::string& path,
                          const std::vector<std::string>* stem_suffixes, bool with_companions);
// out = the path of `to` relative to the folder `from` ("../" steps, then the rest of
// to; to itself when the first characters differ); '/' is the only separator. false
// when either is shorter than 4 or longer than max_length characters, or the result
// would exceed max_length.
bool make_relative_path(std::string& out, const std::string& from, const std::string& to, int max_length);
// End position of the stream; the stream's position and state are kept; -1 when the
// stream cannot tell it.
i64 ostream_size(std::ostream& stream);
i64 istream_size(std::istream& stream);
