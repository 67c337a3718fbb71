#include "framework/cmdline/qz_name_source.h"

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/cmdline/qz_filtered_walk.h"
#include "framework/io/qz_file_stats.h"
#include "framework/io/qz_platform.h"
#include "framework/text/uni_unicode.h"

namespace qzportdir {

stdin_stream_ex::stdin_stream_ex(cmd_params* params_value)
    : uni::stdin_stream(false), diag_params_(params_value) {
  clear();
  params = params_value;
}

stdin_stream_ex::~stdin_stream_ex() = default;

void stdin_stream_ex::clear() {
  folders.clear();
  files.clear();
  max_level = 1;
  filters.clear();
  enumdir = 0;
  params = nullptr;
}

bool stdin_stream_ex::init_to_stdin(bool) {
  clear();
  ready = stream != nullptr && buffer != nullptr;
  enumdir = 0;
  return true;
}

bool stdin_stream_ex::init_to_enumdir(std::wstring root, unsigned max_level_value,
                                      std::vector<filename_filter>& filters_value) {
  clear();
  max_level = max_level_value;
  filters = filters_value;
  fixup_directory_or_file(root, true);
  folders.emplace_back(root, 0);
  ready = 1;
  enumdir = 1;
  return true;
}

bool stdin_stream_ex::init_to_enumdir(std::string root, unsigned max_level_value,
                                      std::vector<filename_filter>& filters_value) {
  if (root.empty()) return false;
  // A root that does not convert would become an empty path whose walk finds nothing, and the
  // run would end as if the folder were empty.
  if (!is_valid_utf8(root)) {
    cmd_params::diag_printf(diag_params_, "-enumdir folder is not valid UTF-8");
    return false;
  }
  return init_to_enumdir(utf8_to_wstring(root), max_level_value, filters_value);
}

bool stdin_stream_ex::read_valid_line(std::string& name, bool strip) {
  while (uni::stdin_stream::read(name, strip)) {
    if (is_valid_utf8(name)) return true;
    cmd_params::diag_printf(diag_params_, "skipped an input line that is not valid UTF-8");
    refused_names.push_back(name);
  }
  name.clear();
  return false;
}

bool stdin_stream_ex::read(std::string& name, bool strip) {
  if (!enumdir) return read_valid_line(name, strip);
  std::wstring wide;
  const bool found = get_next_file(wide);
  name = wstring_to_utf8(wide);
  return found;
}

bool stdin_stream_ex::read(std::wstring& name, bool strip) {
  if (enumdir) return get_next_file(name);
  name.clear();
  std::string line;
  if (!read_valid_line(line, strip)) return false;
  utf8_to_wide(name, line);
  return true;
}

bool stdin_stream_ex::get_next_file(std::wstring& name) {
  std::vector<subdir_node_utf16> entries;
  std::vector<subdir_node> refused;
  while (true) {
    name.clear();
    if (!files.empty()) {
      name = std::move(files.back());
      files.pop_back();
      return true;
    }
    while (!folders.empty() && folders.back().level > max_level) folders.pop_back();
    if (folders.empty()) return false;
    _folder_level folder = std::move(folders.back());
    folders.pop_back();
    fixup_directory_or_file(folder.path, true);
    entries.clear();
    refused.clear();
    // Only the root may hold wildcard components; the folders found below it are listed as
    // they are named, even when a name holds '*'.
    list_matching_utf16(folder.path, L"*.*", &entries, folder.level == 0, diag_params_, &refused);
    for (const subdir_node& entry : refused) {
      if (!entry.is_dir || folder.level < max_level) refused_names.push_back(entry.path);
    }
    for (subdir_node_utf16& entry : entries) {
      if (entry.is_dir) {
        if (!skipped(entry.path)) folders.emplace_back(entry.path, folder.level + 1);
      } else if (fixup_directory_or_file(entry.path, false)) {
        files.push_back(std::move(entry.path));
      }
    }
  }
}

bool stdin_stream_ex::skip_folder(const std::string& path) {
  qz_platform::file_status status;
  if (!qz_platform::path_status(path, status) || !status.is_directory()) return false;
  skipped_folders_.emplace_back(status.device, status.inode);
  return true;
}

bool stdin_stream_ex::skipped(const std::wstring& path) const {
  if (skipped_folders_.empty()) return false;
  qz_platform::file_status status;
  if (!qz_platform::path_status(wstring_to_utf8(path), status)) return false;
  for (const auto& [device, inode] : skipped_folders_) {
    if (status.device == device && status.inode == inode) return true;
  }
  return false;
}

bool stdin_stream_ex::fixup_directory_or_file(std::wstring& path, bool is_dir) {
  if (!is_dir) {
    file_stats stats;
    if (!passes_walk_filters(params, path, filters, stats)) return false;
  }
  strip_device_prefix(path);
  return true;
}

}  // namespace qzportdir
