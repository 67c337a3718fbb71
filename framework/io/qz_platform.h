// The few operating-system queries the file services need beyond plain POSIX:
// a file's status with its birth time, the byte size of a block device, the running
// program's own path, and folders held open so that work inside them never follows a link.
// Nothing here prints; failure is reported by the result.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

namespace qz_platform {

// Mode bits of the file type, as the status record holds them.
constexpr u32 mode_type_mask = 0xF000;
constexpr u32 mode_fifo = 0x1000;
constexpr u32 mode_char_device = 0x2000;
constexpr u32 mode_directory = 0x4000;
constexpr u32 mode_block_device = 0x6000;
constexpr u32 mode_regular = 0x8000;
constexpr u32 mode_link = 0xA000;
constexpr u32 mode_socket = 0xC000;

// One file's status. Times are whole seconds since 1970-01-01 UTC with their
// nanoseconds beside them; `birth_seconds` is 0 where the file system keeps no birth time.
struct file_status {
  u64 device = 0;
  u64 inode = 0;
  u32 mode = 0;  // file type (mode_* above) and permission bits
  u64 link_count = 0;
  u32 user = 0;
  u32 group = 0;
  u64 special_device = 0;  // the device a device file stands for
  i64 size = 0;
  i64 access_seconds = 0;
  i64 modify_seconds = 0;
  i64 change_seconds = 0;
  i64 birth_seconds = 0;
  u32 access_nanos = 0;
  u32 modify_nanos = 0;
  u32 change_nanos = 0;
  u32 birth_nanos = 0;

  bool is_directory() const { return (mode & mode_type_mask) == mode_directory; }
  bool is_regular() const { return (mode & mode_type_mask) == mode_regular; }
  bool is_block_device() const { return (mode & mode_type_mask) == mode_block_device; }
  bool is_fifo() const { return (mode & mode_type_mask) == mode_fifo; }
  bool is_socket() const { return (mode & mode_type_mask) == mode_socket; }
};

// Sets every field of `out` to zero.
void clear_status(file_status& out);

// Fills `out` with the status of the file at `path`, following symbolic links;
// false (and `out` cleared) for an empty path or when the file cannot be examined.
bool path_status(const std::string& path, file_status& out);
// Whether both paths name one existing file (same device and inode), links followed.
bool same_file(const std::string& first, const std::string& second);
// The folder holding path and its last component, split at the last '/': "." for a bare name,
// "/" for a name at the top ("\" is part of a name).
void split_last_component(const std::string& path, std::string& folder, std::string& name);
// Whether writing one path would write the file the other names: same_file where both exist;
// where neither does, the same last component in one existing folder (a file still to be
// made there, however the folder is spelled). False when only one exists.
bool same_place(const std::string& first, const std::string& second);

// The same for a symbolic link itself rather than what it points at.
bool link_status(const std::string& path, file_status& out);

// Fills `out` with the status of the open descriptor `fd`; false (and `out` cleared) on failure.
bool descriptor_status(int fd, file_status& out);

// Size in bytes of the block device open on `fd`; 0 for anything that is not a
// block device or when the device does not answer.
u64 block_device_size(int fd);

// Renames `from` to `to` unless something already stands at `to`; false (nothing
// moved) when it does or the rename fails.
bool rename_no_replace(const std::string& from, const std::string& to);

// Path of the running program's own executable; empty when it cannot be read or
// when it is longer than `max_bytes` bytes.
std::string executable_path(std::size_t max_bytes);

}  // namespace qz_platform

// ---- Folders held open: work relative to an open folder, one entry name at a time.

namespace qz_platform {

// Whether name names one entry of a folder: not empty, not "." or "..", no '/' and no NUL.
bool is_single_name(const std::string& name);

// A folder held open by its descriptor. Every operation names an entry of this folder by a
// single name (is_single_name; any other is refused) and never follows a symbolic link at that
// name, so that a folder or file swapped for a link while work goes on cannot lead anywhere
// outside the folder that was opened. Failure is a false result or -1; nothing prints.
class dir_handle {
 public:
  dir_handle() = default;
  dir_handle(dir_handle&& other) noexcept;
  dir_handle& operator=(dir_handle&& other) noexcept;
  dir_handle(const dir_handle&) = delete;
  dir_handle& operator=(const dir_handle&) = delete;
  ~dir_handle();

  // Opens the folder at path (what was held is closed first). Links in its leading components
  // are followed; one at its last component only with follow_last. False when it is no folder.
  bool open_path(const std::string& path, bool follow_last);
  // Opens the subfolder `name` of parent; false for a link, a file or a missing entry.
  bool open_at(const dir_handle& parent, const std::string& name);
  // Closes the folder; a closed handle refuses every operation.
  void close();
  bool is_open() const { return descriptor_ >= 0; }

  // The status of the folder itself.
  bool status(file_status& out) const;
  // names = the folder's entries, "." and ".." left out, in the order the system lists them;
  // false when it cannot be read (names then holds what was read).
  bool list(std::vector<std::string>& names) const;
  // The status of the entry itself, a link not followed.
  bool entry_status(const std::string& name, file_status& out) const;
  // Opens the regular file `name` for reading and writing in place (no create, no truncate),
  // status = the opened file's; the caller owns the descriptor. -1 for anything else there.
  int open_regular(const std::string& name, file_status& status) const;
  // Renames the entry `from` to `to` in the folder `target` (this one or another on the same
  // file system) unless something already stands there; false (nothing moved) otherwise.
  bool rename_no_replace(const std::string& from, const dir_handle& target, const std::string& to) const;
  // Removes the entry `name`, which must not be a folder (a link loses only itself).
  bool remove_entry(const std::string& name) const;
  // Removes the empty subfolder `name` (never a link to one).
  bool remove_folder(const std::string& name) const;

 private:
  int descriptor_ = -1;
};

}  // namespace qz_platform

// ---- Host description: the kernel's self-description and the distribution's release file.

namespace qz_platform {

// The five texts uname gives about the running system.
struct system_identity {
  std::string sysname;
  std::string nodename;
  std::string release;
  std::string version;
  std::string machine;
};

// Fills `out` from uname; false (and `out` emptied) when the call fails.
bool read_system_identity(system_identity& out);

// The value of VERSION_ID in the os-release file at `path`, its quotes removed (the last
// assignment wins, as in a shell); empty when the file cannot be read or holds no such key.
std::string os_release_version(const std::string& path);

// os_release_version of /etc/os-release, or of /usr/lib/os-release when the first is missing.
std::string os_release_version();

}  // namespace qz_platform
