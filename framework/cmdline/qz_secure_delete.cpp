#include "framework/cmdline/qz_secure_delete.h"

#include <unistd.h>

#include <string>

#include "framework/cmdline/qz_filename_filter.h"
#include "framework/cmdline/qz_filtered_walk.h"
#include "framework/io/qz_io_report.h"
#include "framework/io/qz_platform.h"
#include "framework/io/uni_file_utils.h"
#include "framework/io/uni_fileio.h"
#include "framework/text/qz_env.h"
#include "framework/text/qz_path.h"
#include "framework/text/qz_random.h"
#include "framework/text/uni_unicode.h"

namespace {

constexpr u8 cut_byte = 0x61;
constexpr int random_name_chars = 4;
// A random name may already stand in the folder; a few fresh draws settle it.
constexpr int rename_attempts = 8;

std::string utf8_of(const std::wstring& path) { return wstring_to_utf8(path); }

void diag(io_report* report, const std::string& text) {
  if (report != nullptr) report->diag(text);
}

void message(io_report* report, const std::string& text) {
  if (report != nullptr && report->messages_wanted()) report->message(text);
}

// The entry's own status (links not followed); false when it cannot be read.
bool entry_status(const std::wstring& path, qz_platform::file_status& status) {
  std::string utf8;
  return path_wide_to_utf8(utf8, path) && qz_platform::link_status(utf8, status);
}

// Whether the entry's content belongs to this name alone: a regular file without other names.
bool owns_its_content(const qz_platform::file_status& status) {
  return status.is_regular() && status.link_count == 1;
}

// Opens the file for overwriting, twice as the wipe always has; the open never follows a link,
// and a file that gained another name meanwhile is refused.
bool open_for_destruction(uni::fileio& file, const std::wstring& path) {
  if (!file.open_regular_no_follow(path) && !file.open_regular_no_follow(path)) return false;
  qz_platform::file_status status;
  if (file.stat(status) && owns_its_content(status)) return true;
  file.close();
  return false;
}

// Overwrites the file with zeros; `empty` tells a file with nothing to overwrite.
bool wipe_no_follow(const std::wstring& path, bool& empty) {
  empty = false;
  uni::fileio file;
  if (!open_for_destruction(file, path)) return false;
  empty = file.get_size() == 0;
  const bool wiped = wipe_open_file(file);
  return file.close() && wiped;
}

// Cuts the file down to the one byte 'a'.
bool cut_to_one_byte(const std::wstring& path) {
  uni::fileio file;
  if (!open_for_destruction(file, path)) return false;
  const bool cut = file.truncate(0) && file.write_fill(cut_byte, 1);
  return file.close() && cut;
}

// Renames path to folder + "/" + a random name (+ suffix), never over an existing entry;
// path and name take the new ones on success.
bool rename_randomly(std::wstring& path, std::wstring& name, const std::wstring& folder, const std::string& suffix,
                     bool printable) {
  std::string from;
  if (!path_wide_to_utf8(from, path)) return false;
  for (int attempt = 0; attempt < rename_attempts; ++attempt) {
    const std::string random =
        (printable ? random_printable_string(random_name_chars) : random_alnum_string(random_name_chars)) + suffix;
    // A printable name may hold '/' or '\': such a draw would name another folder.
    if (random.find_first_of("/\\") != std::string::npos) continue;
    const std::wstring candidate = folder + L"/" + utf8_to_wstring(random);
    std::string to;
    if (!path_wide_to_utf8(to, candidate)) continue;
    if (qz_platform::rename_no_replace(from, to)) {
      path = candidate;
      name = utf8_to_wstring(random);
      return true;
    }
    qz_platform::file_status existing;
    if (!qz_platform::link_status(to, existing)) return false;  // failed for another reason
  }
  return false;
}

// Moves the file into the temporary folder under its name; false (nothing moved) when there is
// no such folder, it lies on another file system or the name is taken there.
bool move_to_temp(std::wstring& path, const std::wstring& name) {
  std::wstring temp = L"%TEMP%";
  expand_env_vars_wide(temp, false);
  if (temp == L"%TEMP%" || temp.empty()) return false;
  const std::wstring target = temp + L"/" + name;
  std::string from;
  std::string to;
  if (!path_wide_to_utf8(from, path) || !path_wide_to_utf8(to, target)) return false;
  if (!qz_platform::rename_no_replace(from, to)) return false;
  path = target;
  return true;
}

// Removes the entry itself, which must not be a folder; links are removed, never followed.
bool remove_entry(const std::wstring& path) {
  qz_platform::file_status status;
  std::string utf8;
  if (!entry_status(path, status) || status.is_directory() || !path_wide_to_utf8(utf8, path)) return false;
  return ::unlink(utf8.c_str()) == 0;
}

// The first pass's work on one file of the tree.
void destroy_file(std::wstring path, u64& status, u64 counter, io_report* report) {
  const std::string first_path = utf8_of(path);
  diag(report, "-----------");
  if (status & secure_flag_kept) {
    message(report, "can't access: " + first_path + "\n");
    return;
  }
  if (!(status & secure_flag_name_only)) {
    diag(report, "resize: " + first_path);
    if (!cut_to_one_byte(path)) {
      status |= secure_flag_kept;
      message(report, "can't access: " + first_path + "\n");
      return;
    }
    status |= secure_flag_cut;
    std::wstring folder;
    std::wstring name;
    split_dir_file_wide(path, folder, name);
    const std::wstring old_path = path;
    if (rename_randomly(path, name, folder, std::to_string(counter), false)) {
      diag(report, "rename: " + utf8_of(old_path) + " => " + utf8_of(path));
      status |= secure_flag_renamed;
    }
    const std::wstring before_move = path;
    if (move_to_temp(path, name)) {
      diag(report, "move: " + utf8_of(before_move) + " => " + utf8_of(path));
      status |= secure_flag_moved;
    }
  }
  diag(report, "delete: " + utf8_of(path));
  const bool removed = remove_entry(path);
  status |= secure_flag_remove_tried | (removed ? secure_flag_removed : 0);
  message(report, "deleted: " + first_path + " - " + (removed ? "success\n" : "failed\n"));
}

// Whether the filters select everything, so that the folders themselves are asked for.
bool filters_take_all(const std::vector<filename_filter>* filters) {
  if (filters == nullptr || filters->empty()) return true;
  const filename_filter& first = filters->front();
  return first.match_all && first.filter_path_length == 0 && !first.is_dir_filter && !first.has_stream &&
         first.signature.empty();
}

}  // namespace

int wipe_entry(std::wstring& path, bool is_dir, void* context, cmd_params*) {
  if (path.empty() || context == nullptr) return 0;
  secure_delete_state& state = *static_cast<secure_delete_state*>(context);
  if (is_dir) {
    if (path != L"." && path != L"..") state.statuses.emplace(path, secure_status_folder);
    return 0;
  }
  if (state.statuses.count(path)) return 0;
  const std::string utf8 = utf8_of(path);
  qz_platform::file_status status;
  if (!entry_status(path, status)) {
    state.statuses.emplace(path, secure_status_not_wiped | secure_flag_kept);
  } else if (!owns_its_content(status)) {
    // Writing through a link, a device or another name would destroy data outside the tree.
    state.statuses.emplace(path, secure_status_not_wiped | secure_flag_name_only);
    diag(state.report, "not wiped: " + utf8);
    message(state.report, "not wiped: " + utf8 + "\n");
    return 0;
  } else {
    bool empty = false;
    if (wipe_no_follow(path, empty)) {
      state.statuses.emplace(path, secure_status_wiped);
      diag(state.report, "wipe: " + utf8);
      message(state.report, "wiped: " + utf8 + "\n");
      return 0;
    }
    // An empty file has nothing to overwrite and may go; any other failure keeps the file.
    state.statuses.emplace(path, secure_status_not_wiped | (empty ? 0 : secure_flag_kept));
  }
  diag(state.report, "not wiped: " + utf8);
  message(state.report, "not wiped: " + utf8 + "\n");
  return 0;
}

bool secure_delete_tree(const std::wstring& root, const std::vector<filename_filter>* filters, unsigned levels,
                        cmd_params* params, io_report* report, secure_delete_map* statuses) {
  if (statuses != nullptr) statuses->clear();
  if (root.empty()) return false;
  std::wstring expanded_root = root;
  expand_env_vars_wide(expanded_root, true);
  std::wstring bare_root = expanded_root;
  strip_trailing_slashes_wide(bare_root);
  qz_platform::file_status root_status;
  // Deleting through a link would destroy the tree it points at, which was not asked for.
  if (!entry_status(bare_root.empty() ? expanded_root : bare_root, root_status) || !root_status.is_directory())
    return false;

  secure_delete_state state;
  state.report = report;
  const int walk_levels = levels > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(levels);
  walk_levels_expanded(root, filters, wipe_entry, &state, params, walk_levels);
  bool all_done = !state.statuses.empty();

  u64 counter = 0;
  for (auto entry = state.statuses.rbegin(); entry != state.statuses.rend(); ++entry, ++counter) {
    if (entry->second == secure_status_folder) continue;
    destroy_file(entry->first, entry->second, counter, report);
    if (!(entry->second & secure_flag_removed)) all_done = false;
  }

  if (filters_take_all(filters)) {
    for (auto entry = state.statuses.rbegin(); entry != state.statuses.rend(); ++entry) {
      if (entry->second != secure_status_folder) continue;
      std::wstring folder = entry->first;
      if (folder.size() > 1 && (folder.back() == L'/' || folder.back() == L'\\')) folder.pop_back();
      qz_platform::file_status status;
      std::string utf8;
      const bool removed = entry_status(folder, status) && status.is_directory() &&
                           path_wide_to_utf8(utf8, folder) && ::rmdir(utf8.c_str()) == 0;
      entry->second |= secure_flag_remove_tried | (removed ? secure_flag_removed : 0);
      if (!removed) all_done = false;
      message(report, "deleted: " + utf8_of(folder) + " - " + (removed ? "success\n" : "failed\n"));
    }
  }
  if (statuses != nullptr) *statuses = std::move(state.statuses);
  return all_done;
}

bool secure_delete_file(const std::wstring& path) {
  if (path.empty()) return false;
  qz_platform::file_status status;
  if (!entry_status(path, status) || status.is_directory()) return false;
  if (!owns_its_content(status)) return remove_entry(path);
  bool empty = false;
  if (!wipe_no_follow(path, empty) && !empty) return false;
  if (!cut_to_one_byte(path)) return false;
  std::wstring current = path;
  std::wstring folder;
  std::wstring name;
  split_dir_file_wide(current, folder, name);
  rename_randomly(current, name, folder, std::string(), true);
  move_to_temp(current, name);
  return remove_entry(current);
}
