#include "framework/io/qz_platform.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <vector>

namespace qz_platform {

void clear_status(file_status& out) { out = file_status{}; }

namespace {

void from_statx(const struct statx& sx, file_status& out) {
  out.device = (static_cast<u64>(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
  out.inode = sx.stx_ino;
  out.mode = sx.stx_mode;
  out.link_count = sx.stx_nlink;
  out.user = sx.stx_uid;
  out.group = sx.stx_gid;
  out.special_device = (static_cast<u64>(sx.stx_rdev_major) << 32) | sx.stx_rdev_minor;
  out.size = static_cast<i64>(sx.stx_size);
  out.access_seconds = sx.stx_atime.tv_sec;
  out.access_nanos = sx.stx_atime.tv_nsec;
  out.modify_seconds = sx.stx_mtime.tv_sec;
  out.modify_nanos = sx.stx_mtime.tv_nsec;
  out.change_seconds = sx.stx_ctime.tv_sec;
  out.change_nanos = sx.stx_ctime.tv_nsec;
  // Not every file system records a birth time; the mask says whether this one did.
  if (sx.stx_mask & STATX_BTIME) {
    out.birth_seconds = sx.stx_btime.tv_sec;
    out.birth_nanos = sx.stx_btime.tv_nsec;
  }
}

void from_stat(const struct stat& st, file_status& out) {
  out.device = st.st_dev;
  out.inode = st.st_ino;
  out.mode = st.st_mode;
  out.link_count = st.st_nlink;
  out.user = st.st_uid;
  out.group = st.st_gid;
  out.special_device = st.st_rdev;
  out.size = st.st_size;
  out.access_seconds = st.st_atim.tv_sec;
  out.access_nanos = static_cast<u32>(st.st_atim.tv_nsec);
  out.modify_seconds = st.st_mtim.tv_sec;
  out.modify_nanos = static_cast<u32>(st.st_mtim.tv_nsec);
  out.change_seconds = st.st_ctim.tv_sec;
  out.change_nanos = static_cast<u32>(st.st_ctim.tv_nsec);
}

// statx where the kernel has it (it alone gives the birth time); plain stat
// where it is missing or filtered out, so the other fields still arrive.
bool query_status(int dir_fd, const char* path, int flags, file_status& out) {
  clear_status(out);
  struct statx sx {};
  if (statx(dir_fd, path, flags | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &sx) == 0) {
    from_statx(sx, out);
    return true;
  }
  if (errno != ENOSYS && errno != EPERM) return false;
  struct stat st {};
  if (fstatat(dir_fd, path, &st, flags) != 0) return false;
  from_stat(st, out);
  return true;
}

}  // namespace

bool path_status(const std::string& path, file_status& out) {
  if (path.empty()) {
    clear_status(out);
    return false;
  }
  return query_status(AT_FDCWD, path.c_str(), 0, out);
}

bool same_file(const std::string& first, const std::string& second) {
  file_status a;
  file_status b;
  return path_status(first, a) && path_status(second, b) && a.device == b.device && a.inode == b.inode;
}

void split_last_component(const std::string& path, std::string& folder, std::string& name) {
  const size_t slash = path.rfind('/');
  folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  name = slash == std::string::npos ? path : path.substr(slash + 1);
}

bool same_place(const std::string& first, const std::string& second) {
  file_status a;
  file_status b;
  const bool first_exists = path_status(first, a);
  const bool second_exists = path_status(second, b);
  if (first_exists || second_exists) return first_exists && second_exists && a.device == b.device && a.inode == b.inode;
  std::string first_folder;
  std::string first_name;
  std::string second_folder;
  std::string second_name;
  split_last_component(first, first_folder, first_name);
  split_last_component(second, second_folder, second_name);
  return !first_name.empty() && first_name == second_name && same_file(first_folder, second_folder);
}

bool link_status(const std::string& path, file_status& out) {
  if (path.empty()) {
    clear_status(out);
    return false;
  }
  return query_status(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, out);
}

bool descriptor_status(int fd, file_status& out) {
  if (fd < 0) {
    clear_status(out);
    return false;
  }
  return query_status(fd, "", AT_EMPTY_PATH, out);
}

u64 block_device_size(int fd) {
  file_status status;
  if (!descriptor_status(fd, status) || !status.is_block_device()) return 0;
  u64 bytes = 0;
  if (ioctl(fd, BLKGETSIZE64, &bytes) != 0) return 0;
  return bytes;
}

namespace {

bool holds_nul(const std::string& text) { return text.find('\0') != std::string::npos; }

// rename_no_replace relative to two folder descriptors (AT_FDCWD: the working folder).
bool rename_at_no_replace(int from_dir, const std::string& from, int to_dir, const std::string& to) {
  if (from.empty() || to.empty() || holds_nul(from) || holds_nul(to)) return false;
  if (renameat2(from_dir, from.c_str(), to_dir, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: test first; the window between test and rename
  // is the best such a system allows.
  struct stat existing {};
  if (fstatat(to_dir, to.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT) return false;
  return renameat(from_dir, from.c_str(), to_dir, to.c_str()) == 0;
}

}  // namespace

bool rename_no_replace(const std::string& from, const std::string& to) {
  return rename_at_no_replace(AT_FDCWD, from, AT_FDCWD, to);
}

std::string executable_path(std::size_t max_bytes) {
  // readlink does not say whether it cut the text, so ask for one byte more than allowed.
  std::vector<char> buffer;
  try {
    buffer.resize(max_bytes + 1);
  } catch (const std::exception&) {
    return std::string();
  }
  ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0 || static_cast<std::size_t>(length) > max_bytes) return std::string();
  return std::string(buffer.data(), static_cast<std::size_t>(length));
}

}  // namespace qz_platform

// ---- Folders held open

#include <dirent.h>

namespace qz_platform {

namespace {

constexpr int folder_open_flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

}  // namespace

bool is_single_name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos && !holds_nul(name);
}

dir_handle::dir_handle(dir_handle&& other) noexcept : descriptor_(other.descriptor_) { other.descriptor_ = -1; }

dir_handle& dir_handle::operator=(dir_handle&& other) noexcept {
  if (this != &other) {
    close();
    descriptor_ = other.descriptor_;
    other.descriptor_ = -1;
  }
  return *this;
}

dir_handle::~dir_handle() { close(); }

void dir_handle::close() {
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
}

bool dir_handle::open_path(const std::string& path, bool follow_last) {
  close();
  if (path.empty() || holds_nul(path)) return false;
  descriptor_ = ::open(path.c_str(), folder_open_flags | (follow_last ? 0 : O_NOFOLLOW));
  return descriptor_ >= 0;
}

bool dir_handle::open_at(const dir_handle& parent, const std::string& name) {
  // Opening into itself would close the parent's descriptor first.
  if (&parent == this || !parent.is_open() || !is_single_name(name)) return false;
  close();
  descriptor_ = ::openat(parent.descriptor_, name.c_str(), folder_open_flags | O_NOFOLLOW);
  return descriptor_ >= 0;
}

bool dir_handle::status(file_status& out) const { return descriptor_status(descriptor_, out); }

bool dir_handle::list(std::vector<std::string>& names) const {
  names.clear();
  if (!is_open()) return false;
  // A descriptor of its own, so the listing starts at the first entry and the handle's own
  // descriptor stays open after closedir.
  const int listing = ::openat(descriptor_, ".", folder_open_flags);
  if (listing < 0) return false;
  DIR* folder = ::fdopendir(listing);
  if (folder == nullptr) {
    ::close(listing);
    return false;
  }
  bool complete = true;
  try {
    errno = 0;
    while (const dirent* entry = ::readdir(folder)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    complete = errno == 0;
  } catch (const std::exception&) {
    complete = false;
  }
  ::closedir(folder);
  return complete;
}

bool dir_handle::entry_status(const std::string& name, file_status& out) const {
  if (!is_open() || !is_single_name(name)) {
    clear_status(out);
    return false;
  }
  return query_status(descriptor_, name.c_str(), AT_SYMLINK_NOFOLLOW, out);
}

int dir_handle::open_regular(const std::string& name, file_status& status) const {
  clear_status(status);
  if (!is_open() || !is_single_name(name)) return -1;
  // O_NONBLOCK: a FIFO put in the file's place must not hold the open.
  const int fd = ::openat(descriptor_, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  if (descriptor_status(fd, status) && status.is_regular()) return fd;
  ::close(fd);
  clear_status(status);
  return -1;
}

bool dir_handle::rename_no_replace(const std::string& from, const dir_handle& target, const std::string& to) const {
  if (!is_open() || !target.is_open() || !is_single_name(from) || !is_single_name(to)) return false;
  return rename_at_no_replace(descriptor_, from, target.descriptor_, to);
}

bool dir_handle::remove_entry(const std::string& name) const {
  return is_open() && is_single_name(name) && ::unlinkat(descriptor_, name.c_str(), 0) == 0;
}

bool dir_handle::remove_folder(const std::string& name) const {
  return is_open() && is_single_name(name) && ::unlinkat(descriptor_, name.c_str(), AT_REMOVEDIR) == 0;
}

}  // namespace qz_platform

// ---- Host description

#include <sys/utsname.h>

#include <fstream>

namespace qz_platform {

bool read_system_identity(system_identity& out) {
  out = system_identity{};
  struct utsname names {};
  if (uname(&names) != 0) return false;
  out.sysname = names.sysname;
  out.nodename = names.nodename;
  out.release = names.release;
  out.version = names.version;
  out.machine = names.machine;
  return true;
}

namespace {

// The value text of one os-release assignment: shell-style, so a double-quoted value may
// hold backslash escapes and a single-quoted one is taken as it stands.
std::string unquote_release_value(const std::string& raw) {
  if (raw.size() >= 2 && raw.front() == '\'' && raw.back() == '\'') return raw.substr(1, raw.size() - 2);
  if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"') return raw;
  std::string value;
  for (std::size_t i = 1; i + 1 < raw.size(); ++i) {
    if (raw[i] == '\\' && i + 2 < raw.size()) ++i;
    value.push_back(raw[i]);
  }
  return value;
}

}  // namespace

std::string os_release_version(const std::string& path) {
  static const std::string key = "VERSION_ID=";
  std::ifstream in(path, std::ios::binary);
  std::string version;
  std::string line;
  while (std::getline(in, line)) {
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
    std::size_t end = line.find_last_not_of(" \t\r");
    std::size_t value_start = start + key.size();
    version = end < value_start ? std::string() : unquote_release_value(line.substr(value_start, end + 1 - value_start));
  }
  return version;
}

std::string os_release_version() {
  // /usr/lib/os-release is the distribution's copy; /etc/os-release, when present, overrides it.
  if (access("/etc/os-release", F_OK) == 0) return os_release_version("/etc/os-release");
  return os_release_version("/usr/lib/os-release");
}

}  // namespace qz_platform
