#include "framework/io/uni_file_utils.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <type_traits>

#include "framework/io/uni_fileio.h"
#include "framework/text/qz_path.h"
#include "framework/text/qz_replace.h"
#include "framework/text/qz_string.h"
#include "framework/text/uni_unicode.h"

namespace {

constexpr u32 wipe_block_bytes = 512;
constexpr u64 marker_every_bytes = 8 * wipe_block_bytes;
// Zeros and copies move in pieces so a file of any size needs one bounded buffer.
constexpr u64 zero_piece_bytes = 1 << 20;
constexpr u64 copy_piece_bytes = 0x1000000;
constexpr u64 memory_save_limit = 0x8000000;
constexpr std::size_t cwd_start_bytes = 512;
constexpr std::size_t cwd_max_bytes = 1 << 20;

template <typename Buffer>
bool load_whole_file(Buffer& out, const std::string& path, u64 limit) {
  out.clear();
  std::wstring wide;
  if (limit == 0 || !path_utf8_to_wide(wide, path)) return false;
  uni::fileio file(wide, false, true, false);
  if (!file.is_open()) return false;
  const u64 count = std::min(file.get_size(), limit);
  if (count == 0) return false;
  bool read = false;
  if constexpr (std::is_same_v<Buffer, std::string>)
    read = file.read_into_string(out, count, 0);
  else
    read = file.read_into_vector(out, count, 0);
  // A read cut short (an error, a file that shrank) must not pass for the whole file.
  if (read && out.size() == count) return true;
  out.clear();
  return false;
}

// Opens an existing file for writing in place, trying twice as the wipe always has.
bool open_for_overwrite(uni::fileio& file, const std::wstring& path) {
  if (path.empty()) return false;
  return file.open(path, true, false, false) || file.open(path, true, false, false);
}

// Overwriting is pointless when the zeros stay in memory and the caller then
// removes the file: they are pushed to the disk, and the close must succeed.
bool flush_to_disk(uni::fileio& file) {
  // A device that cannot be synchronised (EINVAL) has nothing held back to push.
  const bool synced = fdatasync(file.descriptor) == 0 || errno == EINVAL;
  return file.close() && synced;
}

bool write_zero_blocks(uni::fileio& file, const std::vector<u8>* marker) {
  const u64 size = file.get_size();
  if (size == 0) return false;
  const std::vector<u8> zeros(wipe_block_bytes, 0);
  u32 counter = 0;
  for (u64 offset = 0; offset < size; offset += wipe_block_bytes) {
    if (!file.write_at(zeros.data(), wipe_block_bytes, offset)) return false;
    if (marker == nullptr || marker->empty() || offset % marker_every_bytes != 0) continue;
    const u8 count_bytes[4] = {static_cast<u8>(counter), static_cast<u8>(counter >> 8),
                               static_cast<u8>(counter >> 16), static_cast<u8>(counter >> 24)};
    if (!file.write_bytes_at(*marker, offset) ||
        !file.write_at(count_bytes, sizeof count_bytes, offset + marker->size()))
      return false;
    ++counter;
  }
  return true;
}

bool wipe_blocks(std::wstring path, const std::vector<u8>* marker) {
  uni::fileio file;
  if (!open_for_overwrite(file, path)) return false;
  if (!write_zero_blocks(file, marker)) return false;
  return flush_to_disk(file);
}

// Appends the components of text (cut at sep) to parts, dropping "." and empty ones
// and letting ".." remove the last; true when the last component names a folder.
bool resolve_components(std::vector<std::string>& parts, const std::string& text, char sep) {
  bool names_folder = false;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(sep, start);
    if (end == std::string::npos) end = text.size();
    const std::string component = text.substr(start, end - start);
    names_folder = component.empty() || component == "." || component == "..";
    if (component == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!names_folder) {
      parts.push_back(component);
    }
    start = end + 1;
  }
  return names_folder;
}

}  // namespace

// ---- Path conversions ----

bool path_utf8_to_wide(std::wstring& out, const std::string& path) {
  out.clear();
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  // The decoder takes only shortest-form UTF-8, so what it accepts comes back unchanged.
  if (utf8_to_wide(out, path)) return true;
  out.clear();
  return false;
}

bool path_wide_to_utf8(std::string& out, const std::wstring& path) {
  if (wide_to_utf8(out, path) && !out.empty() && out.find('\0') == std::string::npos) return true;
  out.clear();
  return false;
}

// ---- Whole files ----

bool load_file_bytes(std::vector<u8>& out, const std::string& path, u64 limit) {
  return load_whole_file(out, path, limit);
}

bool load_file_text(std::string& out, const std::string& path, u64 limit) {
  return load_whole_file(out, path, limit);
}

bool uni::fileio::save_memory_to_file(const std::string& path) {
  if (!is_open() || !in_memory || memory.empty() || path.empty()) return false;
  std::wstring wide;
  if (!path_utf8_to_wide(wide, path)) return false;
  fileio target(wide, true, false, false);
  if (!target.is_open()) return false;
  const bool written = target.write_bytes(memory);
  return target.close() && written;
}

bool uni::fileio::save_as(std::wstring target, bool append, bool allow_empty) {
  if (!is_open() || target.empty()) return false;
  fileio out;
  u64 count = 0;
  if (in_memory) {
    if (memory.size() >= memory_save_limit) return false;
    count = memory.size();
  } else {
    const u64 here = tell();
    count = size > here ? size - here : 0;
    if (!append) {
      // Truncating the file we read from would destroy it, copied part and all.
      qz_platform::file_status source;
      qz_platform::file_status existing;
      std::string target_utf8;
      if (path_wide_to_utf8(target_utf8, target) && qz_platform::descriptor_status(descriptor, source) &&
          qz_platform::path_status(target_utf8, existing) && source.device == existing.device &&
          source.inode == existing.inode)
        return false;
    }
  }
  if (count == 0 && !allow_empty) return false;
  const bool target_open = append ? out.open_append(target, false) : out.open(target, true, false, true);
  if (!target_open) return false;
  if (count == 0) return out.close();
  if (in_memory) {
    const bool written = out.write(memory.data(), static_cast<u32>(count));
    return out.close() && written;
  }

  std::vector<u8> piece;
  try {
    piece.resize(std::min(count, copy_piece_bytes));
  } catch (const std::exception&) {
    return false;
  }
  for (u64 moved = 0; moved < count;) {
    u32 length = static_cast<u32>(std::min<u64>(piece.size(), count - moved));
    // A read that fails or ends early leaves the copy short: report it.
    if (!read_next(piece.data(), length) || length == 0) return false;
    if (!out.write(piece.data(), length)) return false;
    moved += length;
  }
  return out.close();
}

bool uni::fileio::save_as_utf8(const std::string& target, bool append, bool allow_empty) {
  std::wstring wide;
  if (!path_utf8_to_wide(wide, target)) return false;
  return save_as(wide, append, allow_empty);
}

// ---- Overwriting ----

bool zero_file(const std::string& path) {
  std::wstring wide;
  uni::fileio file;
  if (!path_utf8_to_wide(wide, path) || !open_for_overwrite(file, wide)) return false;
  const u64 size = file.get_size();
  std::vector<u8> zeros;
  try {
    zeros.resize(std::min(size, zero_piece_bytes));
  } catch (const std::exception&) {
    return false;
  }
  for (u64 offset = 0; offset < size; offset += zeros.size()) {
    const u32 length = static_cast<u32>(std::min<u64>(zeros.size(), size - offset));
    if (!file.write_at(zeros.data(), length, offset)) return false;
  }
  return flush_to_disk(file);
}

bool wipe_file_w(std::wstring path, bool /*flag*/) { return wipe_blocks(std::move(path), nullptr); }

bool wipe_open_file(uni::fileio& file) {
  if (!file.is_open() || file.in_memory || !write_zero_blocks(file, nullptr)) return false;
  return fdatasync(file.descriptor) == 0 || errno == EINVAL;
}

bool wipe_file(const std::string& path, bool flag) {
  std::wstring wide;
  return path_utf8_to_wide(wide, path) && wipe_file_w(wide, flag);
}

bool wipe_file_marked_w(std::wstring path, const std::vector<u8>& marker, bool /*flag*/) {
  return wipe_blocks(std::move(path), &marker);
}

bool wipe_file_marked(const std::string& path, const std::vector<u8>& marker, bool flag) {
  std::wstring wide;
  return path_utf8_to_wide(wide, path) && wipe_file_marked_w(wide, marker, flag);
}

// ---- Status queries ----

void clear_stat(qz_platform::file_status* record) {
  if (record != nullptr) qz_platform::clear_status(*record);
}

int stat_file(const char* path, qz_platform::file_status* record) {
  if (record == nullptr) return -1;
  clear_stat(record);
  if (path == nullptr) return -1;
  return qz_platform::path_status(path, *record) ? 0 : -1;
}

int stat_file_wcs(const wchar_t* path, qz_platform::file_status* record) {
  clear_stat(record);
  std::string utf8;
  if (path == nullptr || !path_wide_to_utf8(utf8, path)) return -1;
  return stat_file(utf8.c_str(), record);
}

bool stat_file_w(qz_platform::file_status* record, const std::wstring& path) {
  clear_stat(record);
  std::string utf8;
  return path_wide_to_utf8(utf8, path) && stat_file(utf8.c_str(), record) == 0;
}

bool stat_path_utf8(qz_platform::file_status* record, const std::string& path) {
  clear_stat(record);
  std::wstring wide;
  if (!path_utf8_to_wide(wide, path)) return false;
  strip_trailing_slashes_wide(wide);
  return stat_file_w(record, wide);
}

int fstat_fd(int descriptor, qz_platform::file_status* record) {
  if (record == nullptr) return -1;
  return qz_platform::descriptor_status(descriptor, *record) ? 0 : -1;
}

bool is_directory(const std::string& path) {
  qz_platform::file_status status;
  return stat_path_utf8(&status, path) && status.is_directory();
}

bool is_directory_w(const std::wstring& path) {
  qz_platform::file_status status;
  return stat_file_w(&status, path) && status.is_directory();
}

u64 get_file_inode(const std::string& path) {
  std::wstring wide;
  return path_utf8_to_wide(wide, path) ? get_file_inode_w(wide) : 0;
}

u64 get_file_inode_w(const std::wstring& path) {
  qz_platform::file_status status;
  return stat_file_w(&status, path) ? status.inode : 0;
}

bool uni::fileio::list_zone_identifier(std::vector<std::string>& out) {
  out.clear();
  std::string candidate;
  if (!is_open() || !path_wide_to_utf8(candidate, name)) return false;
  candidate += ":Zone.Identifier";
  qz_platform::file_status status;
  if (stat_path_utf8(&status, candidate)) out.push_back(candidate);
  return !out.empty();
}

bool list_zone_identifier(std::vector<std::string>& out, const std::string& path) {
  out.clear();
  std::wstring wide;
  if (!path_utf8_to_wide(wide, path)) return false;
  uni::fileio file(wide, false, false, false);
  return file.is_open() && file.list_zone_identifier(out);
}

// ---- The current folder and absolute paths ----

std::string get_cwd() {
  std::string buffer(cwd_start_bytes, '\0');
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() >= cwd_max_bytes) return std::string();
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(std::strlen(buffer.c_str()));
  return buffer;
}

std::wstring get_cwd_w() {
  std::wstring out;
  if (!utf8_to_wide(out, get_cwd())) out.clear();
  return out;
}

std::string get_full_path(std::string path, char separator) {
  replace_char(path, '"', ' ', false);
  const std::size_t apostrophe = path.find('\'');
  if (apostrophe != std::string::npos && path.find('\'', apostrophe + 1) != std::string::npos)
    replace_char(path, '\'', ' ', false);
  if (!trim_whitespace(path)) return std::string();
  char sep = separator;
  if (path.find('/') != std::string::npos)
    sep = '/';
  else if (path.find('\\') != std::string::npos)
    sep = '\\';
  if (path[0] == sep || (path.size() > 1 && path[1] == ':')) return path;

  // Resolving against "/" when the current folder is unknown would name another file.
  const std::string cwd = get_cwd();
  if (cwd.empty()) return std::string();
  std::vector<std::string> parts;
  resolve_components(parts, cwd, '/');
  const bool names_folder = resolve_components(parts, path, sep);
  std::string result;
  for (const std::string& part : parts) {
    result += sep;
    result += part;
  }
  if (result.empty() || names_folder) result += sep;
  return result;
}

std::wstring get_full_path_w(std::wstring path, wchar_t separator) {
  std::string utf8;
  std::wstring out;
  if (!path_wide_to_utf8(utf8, path)) return out;
  const char sep = (separator > 0 && separator < 0x80) ? static_cast<char>(separator) : '/';
  if (!utf8_to_wide(out, get_full_path(utf8, sep))) out.clear();
  return out;
}

// ---- Placeholders of this platform ----

bool parse_record_lists(std::vector<std::string>& first, std::vector<std::string>& second,
                        const std::string& /*text*/) {
  first.clear();
  second.clear();
  return false;
}

int clear_u64_map(std::map<u64, u64>& map) {
  map.clear();
  return 0;
}
