#include "framework/io/qz_portable_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "framework/io/qz_dir_walk.h"
#include "framework/io/qz_platform.h"
#include "framework/io/uni_file_utils.h"
#include "framework/io/uni_fileio.h"
#include "framework/text/qz_path.h"
#include "framework/text/qz_replace.h"
#include "framework/text/qz_string.h"
#include "framework/text/uni_unicode.h"

namespace {

constexpr std::size_t executable_path_max_bytes = 1023;

// A name the system cannot be given as one C string (it holds a NUL) would reach it cut short.
bool usable_path(const std::string& path) { return !path.empty() && path.find('\0') == std::string::npos; }

bool is_folder(const std::string& path) {
  qz_platform::file_status status;
  return qz_platform::path_status(path, status) && status.is_directory();
}

// A relative path joined to the current folder; every character of the path is kept,
// quotes and blanks included, so it still names the same file. When the current folder
// cannot be read the path is left relative, which the system resolves the same way.
std::string absolute_path(const std::string& path) {
  if (path.size() <= 2 || path[1] == ':' || path[0] == '/') return path;
  std::string cwd = get_cwd();
  if (cwd.empty()) return path;
  if (cwd.back() != '/') cwd += '/';
  return cwd + path;
}

bool has_device_prefix(const std::string& path) { return path.rfind("\\\\?\\", 0) == 0 || path.rfind("\\\\.\\", 0) == 0; }

}  // namespace

bool make_dir(const std::string& path) {
  if (!usable_path(path)) return false;
  if (mkdir(path.c_str(), 0777) == 0) return true;
  // Something already there counts only when it is a folder: a file there would make
  // every later write into "the folder" fail.
  return errno == EEXIST && is_folder(path);
}

bool make_dir(const std::wstring& path) {
  std::string utf8;
  return path_wide_to_utf8(utf8, path) && make_dir(utf8);
}

bool make_dir_path(std::string path) {
  remove_char(path, '"');
  if (path.empty()) return false;
  std::string built;
  if (has_device_prefix(path)) {
    bool keep_whole = false;
    if (path.size() > shadow_copy_prefix_length()) {
      std::string lower = path;
      to_lower(lower);
      keep_whole = lower.compare(4, 6, "global") == 0;
    }
    if (!keep_whole && path.size() >= 5) {
      built = path.substr(0, 4);
      path.erase(0, 4);
    }
  }
  replace_char(path, '\\', '/', false);
  // From index 1, so the '/' of an absolute path opens no empty component.
  std::size_t separator = path.find('/', 1);
  while (separator != std::string::npos) {
    built.append(path, 0, separator);
    if (separator != 0 && path[separator - 1] != ':' && !make_dir(built)) return false;
    path.erase(0, separator + 1);
    built += '/';
    separator = path.find('/');
  }
  built += path;
  return make_dir(built);
}

bool make_dir_path(std::wstring path) {
  std::string utf8;
  return path_wide_to_utf8(utf8, path) && make_dir_path(utf8);
}

bool write_file_make_dirs(const char* path, const u8* data, int length) {
  std::string folder;
  std::string name;
  std::wstring wide;
  if (length < 0 || !split_dir_file_cstr(path, folder, name) || !make_dir_path(folder) ||
      !path_utf8_to_wide(wide, path))
    return false;
  uni::fileio file(wide, true, false, false);
  if (!file.is_open()) return false;
  const bool written = data == nullptr || length == 0 || file.write(data, static_cast<u32>(length));
  return file.close() && written;
}

bool write_file_make_dirs(const wchar_t* path, const u8* data, int length) {
  std::string utf8;
  return path != nullptr && path_wide_to_utf8(utf8, path) && write_file_make_dirs(utf8.c_str(), data, length);
}

bool file_exists(const std::string& path) {
  qz_platform::file_status status;
  return usable_path(path) && qz_platform::path_status(path, status);
}

bool file_exists(const std::wstring& path) {
  std::string utf8;
  return path_wide_to_utf8(utf8, path) && file_exists(utf8);
}

bool remove_file(const std::string& path) {
  return usable_path(path) && std::remove(absolute_path(path).c_str()) == 0;
}

bool remove_file(const std::wstring& path) {
  std::string utf8;
  return path_wide_to_utf8(utf8, path) && remove_file(utf8);
}

bool rename_file(const std::string& old_path, const std::string& new_path, bool make_absolute) {
  if (!usable_path(old_path) || !usable_path(new_path)) return false;
  if (!make_absolute) return std::rename(old_path.c_str(), new_path.c_str()) == 0;
  return std::rename(absolute_path(old_path).c_str(), absolute_path(new_path).c_str()) == 0;
}

bool rename_file(const std::wstring& old_path, const std::wstring& new_path) {
  std::string old_utf8;
  std::string new_utf8;
  return path_wide_to_utf8(old_utf8, old_path) && path_wide_to_utf8(new_utf8, new_path) &&
         rename_file(old_utf8, new_utf8, false);
}

bool read_file_bytes(std::vector<u8>& out, const std::string& path, u32 max_bytes) {
  return load_file_bytes(out, path, max_bytes);
}

bool read_file_bytes(std::vector<u8>& out, const std::wstring& path, u32 max_bytes) {
  std::string utf8;
  if (path_wide_to_utf8(utf8, path)) return read_file_bytes(out, utf8, max_bytes);
  out.clear();
  return false;
}

bool open_cfile(FILE** out, const std::wstring& path, bool create, u64 /*unused*/, bool write, bool binary) {
  if (out == nullptr) return false;
  *out = nullptr;
  std::string utf8;
  if (!path_wide_to_utf8(utf8, path)) return false;
  const bool writing = write || create;
  // Opened without blocking first: a FIFO would otherwise wait for a peer forever.
  const int flags = writing ? (O_RDWR | O_CREAT | O_TRUNC) : O_RDONLY;
  const int descriptor = ::open(utf8.c_str(), flags | O_NONBLOCK, 0666);
  if (descriptor < 0) return false;
  qz_platform::file_status status;
  const int status_flags = fcntl(descriptor, F_GETFL);
  if (!qz_platform::descriptor_status(descriptor, status) || status.is_fifo() || status.is_socket() ||
      status_flags < 0 || fcntl(descriptor, F_SETFL, status_flags & ~O_NONBLOCK) != 0) {
    ::close(descriptor);
    return false;
  }
  *out = fdopen(descriptor, writing ? "w+" : (binary ? "rb" : "r"));
  if (*out != nullptr) return true;
  ::close(descriptor);
  return false;
}

bool open_cfile_write(FILE** out, const std::wstring& path, bool binary) {
  return open_cfile(out, path, true, 0, true, binary);
}

bool open_cfile_read(FILE** out, const std::wstring& path, bool binary) {
  return open_cfile(out, path, false, 0, false, binary);
}

std::string get_executable_path() { return qz_platform::executable_path(executable_path_max_bytes); }

std::wstring get_executable_path_w() {
  std::wstring out;
  if (!utf8_to_wide(out, get_executable_path())) out.clear();
  return out;
}

bool move_file_into_dir(std::string& out, const std::string& folder, const std::string& path) {
  out.clear();
  std::string from_folder;
  std::string name;
  if (folder.empty() || !file_exists(path) || !make_dir_path(folder) || !split_dir_file(path, from_folder, name))
    return false;
  out = folder + "/" + name;
  // A file of the same name already in the folder must survive the move.
  return qz_platform::rename_no_replace(path, out);
}

namespace {

// Moves the files of folder whose names hold the stem (less the first occurrence of each
// suffix) into new_folder. Only the name is compared, never the folder part, and a stem
// that the suffixes reduce to nothing moves nothing: either would sweep up unrelated files.
// A file already present in new_folder is never replaced; failures are ignored.
void move_companions(const std::string& folder, const std::string& new_folder, std::string stem,
                     const std::vector<std::string>* stem_suffixes) {
  if (stem_suffixes) {
    for (const std::string& suffix : *stem_suffixes) {
      std::string what = suffix;
      replace_first(stem, what, "", true);
    }
  }
  if (stem.empty()) return;
  std::vector<std::string> paths;
  list_matching_paths(folder, "*", &paths, false, /*expand_wildcards=*/false);
  for (const std::string& companion : paths) {
    const std::size_t slash = companion.rfind('/');
    if (slash == std::string::npos) continue;
    if (companion.find(stem, slash + 1) == std::string::npos) continue;
    qz_platform::rename_no_replace(companion, new_folder + companion.substr(slash));
  }
}

}  // namespace

bool move_into_own_subdir(std::string& out, const std::string& path,
                          const std::vector<std::string>* stem_suffixes, bool with_companions) {
  out.clear();
  if (!file_exists(path)) return false;
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  // A name without '.' (one in a folder name does not count) would need a folder of its own
  // name beside it, where the file itself stands.
  if (slash == std::string::npos || dot == std::string::npos || dot < slash) return false;
  const std::string folder = path.substr(0, slash);
  const std::string stem = path.substr(slash + 1, dot - slash - 1);
  if (folder.find(stem) != std::string::npos) return false;
  const std::string new_folder = folder + "/" + stem;
  if (!make_dir(new_folder)) return false;
  out = new_folder + path.substr(slash);
  if (!qz_platform::rename_no_replace(path, out)) return false;
  if (with_companions) move_companions(folder, new_folder, stem, stem_suffixes);
  return true;
}

bool make_relative_path(std::string& out, const std::string& from, const std::string& to, int max_length) {
  out.clear();
  if (max_length < 0) return false;
  const std::size_t limit = static_cast<std::size_t>(max_length);
  if (from.size() < 4 || to.size() < 4 || from.size() > limit || to.size() > limit) return false;
  if (from[0] != to[0]) {
    out = to;
    return true;
  }
  const std::size_t shorter = std::min(from.size(), to.size());
  std::size_t same = 0;
  while (same < shorter && from[same] == to[same]) ++same;
  if (same == from.size()) {
    if (same < to.size() && to[same] == '/') {
      out = to.substr(same + 1);
      return true;
    }
    if (to[same - 1] == '/') {
      out = to.substr(same);
      return true;
    }
  }
  // One level for the folder where the texts part, one more for every deeper folder of from.
  std::size_t levels = 1;
  for (std::size_t k = same; k + 1 < from.size(); ++k)
    if (from[k] == '/') ++levels;
  std::size_t keep = same;
  while (keep > 0 && to[keep - 1] != '/') --keep;
  if (3 * levels + (to.size() - keep) > limit) return false;
  out.reserve(3 * levels + to.size() - keep);
  for (std::size_t k = 0; k < levels; ++k) out += "../";
  out.append(to, keep, std::string::npos);
  return true;
}

i64 ostream_size(std::ostream& stream) {
  stream.clear();
  const std::ostream::pos_type here = stream.tellp();
  stream.seekp(0, std::ios::end);
  const std::ostream::pos_type end = stream.tellp();
  stream.seekp(here);
  stream.clear();
  return static_cast<i64>(end);
}

i64 istream_size(std::istream& stream) {
  stream.clear();
  const std::istream::pos_type here = stream.tellg();
  stream.seekg(0, std::ios::end);
  const std::istream::pos_type end = stream.tellg();
  stream.seekg(here);
  stream.clear();
  return static_cast<i64>(end);
}
