// The few operating-system queries the file services need beyond plain POSIX:
// a file's status with its birth time, the byte size of a block device and the
// running program's own path. Nothing here prints; failure is reported by the result.
#pragma once

#include <cstddef>
#include <string>

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
