#include "framework/cmdline/qz_secure_delete.h"

#include <string>
#include <utility>
#include <vector>

#include "framework/cmdline/qz_filename_filter.h"
#include "framework/cmdline/qz_filtered_walk.h"
#include "framework/io/qz_file_stats.h"
#include "framework/io/qz_io_report.h"
#include "framework/io/qz_platform.h"
#include "framework/io/uni_file_utils.h"
#include "framework/io/uni_fileio.h"
#include "framework/text/qz_env.h"
#include "framework/text/qz_path.h"
#include "framework/text/qz_random.h"
#include "framework/text/uni_unicode.h"

namespace {

using qz_platform::dir_handle;

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

// Whether the entry's content belongs to this name alone: a regular file without other names.
bool owns_its_content(const qz_platform::file_status& status) {
  return status.is_regular() && status.link_count == 1;
}

// Opens the file for overwriting, twice as the wipe always has; the open never follows a link,
// and a file that gained another name meanwhile is refused.
bool open_for_destruction(uni::fileio& file, const dir_handle& folder, const std::string& name) {
  if (!file.open_regular_at(folder, name) && !file.open_regular_at(folder, name)) return false;
  qz_platform::file_status status;
  if (file.stat(status) && owns_its_content(status)) return true;
  file.close();
  return false;
}

// Overwrites the file with zeros; `empty` tells a file with nothing to overwrite.
bool wipe_in(const dir_handle& folder, const std::string& name, bool& empty) {
  empty = false;
  uni::fileio file;
  if (!open_for_destruction(file, folder, name)) return false;
  empty = file.get_size() == 0;
  const bool wiped = wipe_open_file(file);
  return file.close() && wiped;
}

// Cuts the file down to the one byte 'a'.
bool cut_to_one_byte(const dir_handle& folder, const std::string& name) {
  uni::fileio file;
  if (!open_for_destruction(file, folder, name)) return false;
  const bool cut = file.truncate(0) && file.write_fill(cut_byte, 1);
  return file.close() && cut;
}

// Overwrites the entry `name` of folder with zeros when it is a regular file with one name
// and returns its status; messages as wipe_entry describes.
u64 wipe_named(const dir_handle& folder, const std::string& name, const std::string& shown, io_report* report) {
  qz_platform::file_status status;
  u64 result = secure_status_not_wiped | secure_flag_kept;
  if (folder.entry_status(name, status)) {
    if (!owns_its_content(status)) {
      // Writing through a link, a device or another name would destroy data outside the tree.
      result = secure_status_not_wiped | secure_flag_name_only;
    } else {
      bool empty = false;
      if (wipe_in(folder, name, empty)) {
        diag(report, "wipe: " + shown);
        message(report, "wiped: " + escape_invalid_utf8(shown) + "\n");
        return secure_status_wiped;
      }
      // An empty file has nothing to overwrite and may go; any other failure keeps the file.
      result = secure_status_not_wiped | (empty ? 0 : secure_flag_kept);
    }
  }
  diag(report, "not wiped: " + shown);
  message(report, "not wiped: " + escape_invalid_utf8(shown) + "\n");
  return result;
}

// Renames the entry `name` of folder to a random name (+ suffix), never over an existing entry;
// name takes the new one on success.
bool rename_randomly(const dir_handle& folder, std::string& name, const std::string& suffix, bool printable) {
  for (int attempt = 0; attempt < rename_attempts; ++attempt) {
    const std::string random =
        (printable ? random_printable_string(random_name_chars) : random_alnum_string(random_name_chars)) + suffix;
    // A printable name may hold '/': such a draw would name another folder.
    if (!qz_platform::is_single_name(random) || random.find('\\') != std::string::npos) continue;
    if (folder.rename_no_replace(name, folder, random)) {
      name = random;
      return true;
    }
    qz_platform::file_status existing;
    if (!folder.entry_status(random, existing)) return false;  // failed for another reason
  }
  return false;
}

// The temporary folder ("%TEMP%"), held open for the moves into it; closed when there is none.
struct temp_folder_handle {
  temp_folder_handle() {
    std::wstring expanded = L"%TEMP%";
    expand_env_vars_wide(expanded, false);
    std::string utf8;
    if (expanded != L"%TEMP%" && path_wide_to_utf8(utf8, expanded) && folder.open_path(utf8, true)) path = expanded;
  }
  dir_handle folder;
  std::wstring path;
};

// Where a file of the deletion stands now: its folder and its name there.
struct file_place {
  const dir_handle* folder;
  std::string name;
};

// Moves the file into the temporary folder under its name; false (nothing moved) when there is
// no such folder, it lies on another file system or the name is taken there.
bool move_to_temp(file_place& place, const temp_folder_handle& temp) {
  if (!temp.folder.is_open() || !place.folder->rename_no_replace(place.name, temp.folder, place.name)) return false;
  place.folder = &temp.folder;
  return true;
}

// The names of the folders from the root down to an entry, and for a file its own name last;
// with its status, what the deletion passes need to reach the entry again from the root.
struct tree_entry {
  u64 status = 0;
  std::vector<std::string> names;
};
using tree_map = std::map<std::wstring, tree_entry>;

// Opens the folders below the root by their names, one at a time and never through a link;
// keeps the last folder opened, since the files of one folder come one after the other.
class folder_opener {
 public:
  explicit folder_opener(const dir_handle& root) : root_(root) {}

  // The folder reached by the first `count` names; null when one of them is no folder now.
  const dir_handle* open(const std::vector<std::string>& names, std::size_t count) {
    if (count == 0) return &root_;
    const std::vector<std::string> wanted(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(count));
    if (last_.is_open() && wanted == last_names_) return &last_;
    last_.close();
    last_names_.clear();
    dir_handle current;
    const dir_handle* parent = &root_;
    for (const std::string& name : wanted) {
      dir_handle next;
      if (!next.open_at(*parent, name)) return nullptr;
      current = std::move(next);
      parent = &current;
    }
    last_ = std::move(current);
    last_names_ = wanted;
    return &last_;
  }

 private:
  const dir_handle& root_;
  dir_handle last_;
  std::vector<std::string> last_names_;
};

// A folder waiting to be listed: its names from the root and its path as reported.
struct pending_folder {
  std::vector<std::string> names;
  std::wstring path;
};

// A folder's path as messages show it: without the '/' that ends it below the root.
std::string shown_folder(std::wstring path) {
  if (path.size() > 1 && path.back() == L'/') path.pop_back();
  return utf8_of(path);
}

// Walks the tree held open at root level by level (the folder found last listed first), as
// the filtered folder walk does, recording every folder that passes the filters and wiping
// every file that does. The path of a folder below the root ends with '/'. False when a folder
// within the levels could not be opened or listed whole ("can't access: <folder>"): what it
// holds was never seen, so the deletion cannot be called done; what was listed is still taken.
bool walk_and_wipe(const dir_handle& root, const std::wstring& root_path, const std::vector<filename_filter>* filters,
                   cmd_params* params, int levels, tree_map& entries, io_report* report) {
  const std::vector<filename_filter> no_filters;
  const std::vector<filename_filter>& list = filters != nullptr ? *filters : no_filters;
  folder_opener opener(root);
  file_stats stats;
  std::vector<pending_folder> current{{{}, root_path}};
  std::vector<pending_folder> next;
  std::vector<std::string> names;
  bool complete = true;
  for (int level = 0; level < levels && !current.empty(); ++level) {
    while (!current.empty()) {
      const pending_folder folder = std::move(current.back());
      current.pop_back();
      if (folder.path != L"." && folder.path != L".." &&
          qzportdir::passes_walk_filters(params, folder.path, list, stats))
        entries.emplace(folder.path, tree_entry{secure_status_folder, folder.names});
      const dir_handle* handle = opener.open(folder.names, folder.names.size());
      if (handle == nullptr || !handle->list(names)) {
        complete = false;
        const std::string shown = shown_folder(folder.path);
        diag(report, "can't list: " + shown);
        message(report, "can't access: " + escape_invalid_utf8(shown) + "\n");
        if (handle == nullptr) continue;
      }
      const bool ends_with_separator = !folder.path.empty() && folder.path.back() == L'/';
      const std::wstring prefix = ends_with_separator ? folder.path : folder.path + L"/";
      for (const std::string& name : names) {
        std::wstring wide_name;
        if (!path_utf8_to_wide(wide_name, name)) continue;  // a name without a wide form is left alone
        std::vector<std::string> entry_names = folder.names;
        entry_names.push_back(name);
        qz_platform::file_status status;
        if (handle->entry_status(name, status) && status.is_directory()) {
          next.push_back({std::move(entry_names), prefix + wide_name + L"/"});
          continue;
        }
        const std::wstring path = prefix + wide_name;
        if (entries.count(path) || !qzportdir::passes_walk_filters(params, path, list, stats)) continue;
        entries.emplace(path, tree_entry{wipe_named(*handle, name, utf8_of(path), report), std::move(entry_names)});
      }
    }
    current.swap(next);
    next.clear();
  }
  return complete;
}

// The first pass's work on one file of the tree: cut, random name, temporary folder, removal.
void destroy_file(const std::wstring& path, tree_entry& entry, const dir_handle* folder, u64 counter,
                  const temp_folder_handle& temp, io_report* report) {
  const std::string first_path = utf8_of(path);
  diag(report, "-----------");
  if (!(entry.status & secure_flag_kept) && !(entry.status & secure_flag_name_only)) {
    diag(report, "resize: " + first_path);
    if (folder == nullptr || !cut_to_one_byte(*folder, entry.names.back())) entry.status |= secure_flag_kept;
  }
  if (entry.status & secure_flag_kept) {
    message(report, "can't access: " + escape_invalid_utf8(first_path) + "\n");
    return;
  }
  file_place place{folder, entry.names.back()};
  std::string shown = first_path;  // where the file stands now
  if (!(entry.status & secure_flag_name_only)) {
    entry.status |= secure_flag_cut;
    const std::string folder_path = utf8_of(path.substr(0, path.size() - utf8_to_wstring(place.name).size()));
    if (rename_randomly(*place.folder, place.name, std::to_string(counter), false)) {
      shown = folder_path + place.name;
      diag(report, "rename: " + first_path + " => " + shown);
      entry.status |= secure_flag_renamed;
    }
    if (move_to_temp(place, temp)) {
      const std::string target = utf8_of(temp.path) + "/" + place.name;
      diag(report, "move: " + shown + " => " + target);
      shown = target;
      entry.status |= secure_flag_moved;
    }
  }
  diag(report, "delete: " + shown);
  const bool removed = place.folder != nullptr && place.folder->remove_entry(place.name);
  entry.status |= secure_flag_remove_tried | (removed ? secure_flag_removed : 0);
  message(report, "deleted: " + escape_invalid_utf8(first_path) + " - " + (removed ? "success\n" : "failed\n"));
}

// Removes the root folder itself through its parent, and only while the name there still
// stands for the folder that was deleted.
bool remove_root(const dir_handle& root, const std::string& root_path) {
  std::string parent_path;
  std::string name;
  qz_platform::split_last_component(root_path, parent_path, name);
  dir_handle parent;
  qz_platform::file_status standing;
  qz_platform::file_status deleted;
  if (!parent.open_path(parent_path, true) || !parent.entry_status(name, standing) || !root.status(deleted))
    return false;
  return standing.device == deleted.device && standing.inode == deleted.inode && parent.remove_folder(name);
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
  std::string utf8;
  std::string folder_path;
  std::string name;
  dir_handle folder;
  if (path_wide_to_utf8(utf8, path)) qz_platform::split_last_component(utf8, folder_path, name);
  if (!folder_path.empty()) folder.open_path(folder_path, true);
  state.statuses.emplace(path, wipe_named(folder, name, utf8_of(path), state.report));
  return 0;
}

bool secure_delete_tree(const std::wstring& root, const std::vector<filename_filter>* filters, unsigned levels,
                        cmd_params* params, io_report* report, secure_delete_map* statuses) {
  if (statuses != nullptr) statuses->clear();
  if (root.empty()) return false;
  // The root is taken as it is written (its environment names expanded): a '*' in it is a
  // name, never a wildcard.
  std::wstring expanded_root = root;
  expand_env_vars_wide(expanded_root, false);
  std::wstring bare_root = expanded_root;
  if (!strip_trailing_slashes_wide(bare_root)) bare_root = expanded_root;
  std::string root_utf8;
  dir_handle root_folder;
  // Deleting through a link would destroy the tree it points at, which was not asked for.
  if (!path_wide_to_utf8(root_utf8, bare_root) || !root_folder.open_path(root_utf8, false)) return false;

  tree_map entries;
  const int walk_levels = levels > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(levels);
  const bool walked_whole = walk_and_wipe(root_folder, expanded_root, filters, params, walk_levels, entries, report);
  bool all_done = walked_whole && !entries.empty();

  const temp_folder_handle temp;
  folder_opener opener(root_folder);
  u64 counter = 0;
  for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry, ++counter) {
    if (entry->second.status == secure_status_folder) continue;
    const std::vector<std::string>& names = entry->second.names;
    destroy_file(entry->first, entry->second, opener.open(names, names.size() - 1), counter, temp, report);
    if (!(entry->second.status & secure_flag_removed)) all_done = false;
  }

  if (filters_take_all(filters)) {
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
      if (entry->second.status != secure_status_folder) continue;
      const std::vector<std::string>& names = entry->second.names;
      bool removed = false;
      if (names.empty()) {
        removed = remove_root(root_folder, root_utf8);
      } else {
        const dir_handle* parent = opener.open(names, names.size() - 1);
        removed = parent != nullptr && parent->remove_folder(names.back());
      }
      entry->second.status |= secure_flag_remove_tried | (removed ? secure_flag_removed : 0);
      if (!removed) all_done = false;
      message(report, "deleted: " + escape_invalid_utf8(shown_folder(entry->first)) + " - " +
                          (removed ? "success\n" : "failed\n"));
    }
  }
  if (statuses != nullptr)
    for (const auto& [path, entry] : entries) statuses->emplace(path, entry.status);
  return all_done;
}

bool secure_delete_file(const std::wstring& path) {
  std::string utf8;
  if (path.empty() || !path_wide_to_utf8(utf8, path)) return false;
  std::string folder_path;
  std::string name;
  qz_platform::split_last_component(utf8, folder_path, name);
  dir_handle folder;
  qz_platform::file_status status;
  if (!folder.open_path(folder_path, true) || !folder.entry_status(name, status) || status.is_directory())
    return false;
  if (!owns_its_content(status)) return folder.remove_entry(name);
  bool empty = false;
  if (!wipe_in(folder, name, empty) && !empty) return false;
  if (!cut_to_one_byte(folder, name)) return false;
  rename_randomly(folder, name, std::string(), true);
  const temp_folder_handle temp;
  file_place place{&folder, name};
  move_to_temp(place, temp);
  return place.folder->remove_entry(place.name);
}
