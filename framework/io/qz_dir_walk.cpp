#include "framework/io/qz_dir_walk.h"

#include <dirent.h>

#include <cstring>
#include <ios>

#include "framework/io/qz_platform.h"
#include "framework/text/qz_path.h"
#include "framework/text/qz_string.h"
#include "framework/text/uni_unicode.h"

namespace qzportdir {

namespace {

constexpr const char* default_pattern = "*.*";

char separator_of(const std::string& spec) {
  return spec.find('/') != std::string::npos ? '/' : '\\';
}

// Whether the wide path begins with two backslashes and has at least 5 characters.
bool has_device_prefix(const std::wstring& path) {
  return path.size() >= 5 && path[0] == L'\\' && path[1] == L'\\';
}

// Whether the lower-cased path holds word at index 4.
bool holds_at_4(const std::wstring& path, const wchar_t* word) {
  std::wstring lower = path;
  to_lower_wide(lower);
  return lower.compare(4, std::wcslen(word), word) == 0;
}

// A name or extension pattern part against an entry's lower-cased part: "*" or equality.
bool part_matches(const std::string& pattern, const std::string& part) {
  return pattern == "*" || pattern == part;
}

}  // namespace

subdir_node::subdir_node(const std::string& path_value, const std::string& name_value, bool dir,
                         int level_value)
    : path(path_value), name(name_value), is_dir(dir ? 1 : 0), level(level_value) {
  long_path = path.size() >= 5 && path.compare(0, 4, "\\\\?\\") == 0 ? 1 : 0;
}

subdir_node_utf16::subdir_node_utf16(const std::wstring& path_value, const std::wstring& name_value,
                                     bool dir, int level_value)
    : path(path_value), name(name_value), is_dir(dir ? 1 : 0), level(level_value) {
  if (!has_device_prefix(path)) return;
  long_path = 1;
  if (path.size() > shadow_copy_prefix_length() && holds_at_4(path, L"globalroot")) {
    global_root = 1;
  }
}

subdir_node_utf16& subdir_node_utf16::operator=(const subdir_node& node) {
  path = utf8_to_wstring(node.path);
  name = utf8_to_wstring(node.name);
  is_dir = node.is_dir;
  level = node.level;
  global_root = 0;
  return *this;
}

bool list_dir(const std::string& folder, std::vector<subdir_node>* out, int level, bool dirs_only,
              bool forward_slash, qz_diag_sink* diags, std::vector<subdir_node>* refused) {
  if (!out) return false;
  DIR* listing = opendir(folder.c_str());
  if (!listing) return false;
  const char separator = forward_slash ? '/' : '\\';
  const size_t before = out->size();
  std::string full;
  qz_platform::file_status status;
  while (const dirent* entry = readdir(listing)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    // Every name leaves here as UTF-8; converting a malformed one would cut it short and
    // hand out the path of another file, so it is not listed at all.
    const bool valid_name = is_valid_utf8(name, std::strlen(name));
    if (!valid_name) {
      diag_sink_printf(diags, "skipped an entry whose name is not valid UTF-8 in %s", folder.c_str());
      if (refused == nullptr) continue;
    }
    full = folder;
    full += name;
    const bool is_dir = qz_platform::link_status(full, status) && status.is_directory();
    if (dirs_only && !is_dir) continue;
    std::vector<subdir_node>* target = valid_name ? out : refused;
    if (is_dir) {
      target->emplace_back(full + separator, std::string(), true, level + 1);
    } else {
      target->emplace_back(full, name, false, level);
    }
  }
  closedir(listing);
  return out->size() > before;
}

bool expand_wildcard_dirs(std::vector<std::string>* specs, bool forward_slash) {
  if (!specs || specs->empty()) return false;
  const std::string component = forward_slash ? "/*/" : "\\*\\";
  // Where the search for each path's next component starts: just after the folder
  // that replaced its last component (at that folder's closing separator).
  std::vector<size_t> resume(specs->size(), 0);
  std::vector<subdir_node> subfolders;
  bool changed = false;
  bool found = true;
  while (found) {
    found = false;
    const size_t count = specs->size();
    for (size_t i = 0; i < count; ++i) {
      std::string& spec = (*specs)[i];
      if (spec.empty()) continue;
      const size_t at = spec.find(component, resume[i]);
      if (at == std::string::npos) continue;
      found = true;
      const std::string base = spec.substr(0, at + 1);
      const std::string rest = spec.substr(at + component.size());
      subfolders.clear();
      list_dir(base, &subfolders, 0, true, forward_slash);
      if (subfolders.empty()) {
        spec.clear();
        changed = true;
        continue;
      }
      std::string first = subfolders[0].path + rest;
      if (first != spec) changed = true;
      resume[i] = subfolders[0].path.size() - 1;
      spec = std::move(first);
      for (size_t k = 1; k < subfolders.size(); ++k) {
        specs->push_back(subfolders[k].path + rest);
        resume.push_back(subfolders[k].path.size() - 1);
        changed = true;
      }
    }
  }
  return changed;
}

bool list_matching(const std::string& spec, const std::string& pattern,
                   std::vector<subdir_node>* out, bool expand_wildcards, qz_diag_sink* diags,
                   std::vector<subdir_node>* refused) {
  if (!out) return false;
  out->clear();
  if (spec.empty()) return false;
  const char separator = separator_of(spec);
  std::vector<std::string> folders(1, spec);
  if (folders[0].back() != separator) folders[0] += separator;
  if (expand_wildcards) expand_wildcard_dirs(&folders, separator == '/');

  std::vector<subdir_node> entries;
  for (const std::string& folder : folders) {
    if (!folder.empty()) list_dir(folder, &entries, 0, false, separator == '/', diags, refused);
  }

  std::string lower_pattern = pattern.empty() ? default_pattern : pattern;
  to_lower(lower_pattern);
  std::string pattern_dir;
  std::string name_pattern;
  std::string ext_pattern;
  split_path(lower_pattern.c_str(), pattern_dir, name_pattern, ext_pattern);
  if (name_pattern.empty()) name_pattern = '*';
  if (ext_pattern.empty()) ext_pattern = '*';

  for (subdir_node& entry : entries) {
    if (!entry.is_dir) {
      std::string name = entry.name;
      to_lower(name);
      const size_t dot = name.rfind('.');
      const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
      if (dot != std::string::npos) name.resize(dot);
      if (!part_matches(name_pattern, name) || !part_matches(ext_pattern, ext)) continue;
    }
    out->push_back(std::move(entry));
  }
  return !out->empty();
}

bool list_matching_utf16(const std::wstring& spec, const std::wstring& pattern,
                         std::vector<subdir_node_utf16>* out, bool expand_wildcards,
                         qz_diag_sink* diags, std::vector<subdir_node>* refused) {
  if (!out) return false;
  std::vector<subdir_node> entries;
  const std::string narrow_pattern = pattern.empty() ? std::string() : wstring_to_utf8(pattern);
  list_matching(wstring_to_utf8(spec), narrow_pattern, &entries, expand_wildcards, diags, refused);
  const size_t before = out->size();
  subdir_node_utf16 converted;
  for (const subdir_node& entry : entries) {
    converted = entry;
    if (!converted.path.empty()) out->push_back(converted);
  }
  return out->size() > before;
}

bool walk_levels(std::vector<std::string>* out, const std::string& root, const std::string& pattern,
                 int levels) {
  if (!out) return false;
  const size_t before = out->size();
  std::vector<std::string> current(1, root);
  std::vector<std::string> next;
  std::vector<subdir_node> entries;
  for (int level = 0; level < levels; ++level) {
    while (!current.empty()) {
      list_matching(current.back(), pattern, &entries, level == 0);
      current.pop_back();
      for (subdir_node& entry : entries) {
        if (entry.is_dir) {
          next.push_back(std::move(entry.path));
        } else if (entry.long_path && entry.path.size() > 4) {
          out->push_back(entry.path.substr(4));
        } else {
          out->push_back(std::move(entry.path));
        }
      }
    }
    if (next.empty()) break;
    current.swap(next);
    next.clear();
  }
  return out->size() > before;
}

bool walk_levels(std::vector<std::wstring>* out, const std::wstring& root,
                 const std::wstring& pattern, unsigned levels) {
  if (!out) return false;
  std::vector<std::string> paths;
  const std::string narrow_pattern = pattern.empty() ? std::string() : wstring_to_utf8(pattern);
  const int level_count = levels > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(levels);
  walk_levels(&paths, wstring_to_utf8(root), narrow_pattern, level_count);
  for (const std::string& path : paths) out->push_back(utf8_to_wstring(path));
  return !paths.empty();
}

void strip_device_prefix(std::wstring& path) {
  if (!has_device_prefix(path)) return;
  if (path.size() <= shadow_copy_prefix_length() || !holds_at_4(path, L"global")) path.erase(0, 4);
}

bool match_question_wildcard(const std::string& spec, std::map<std::string, std::string>* out) {
  if (!out) return false;
  out->clear();
  if (spec.empty()) return false;
  const char separator = separator_of(spec);
  const size_t last_separator = spec.rfind(separator);
  std::string folder;
  std::string name;
  if (last_separator == std::string::npos) {
    folder = ".\\";
    name = spec;
  } else {
    folder = spec.substr(0, last_separator + 1);
    name = spec.substr(last_separator + 1);
  }
  to_lower(name);
  const size_t last_dot = name.rfind('.');
  std::string ext = last_dot == std::string::npos ? std::string() : name.substr(last_dot + 1);

  const size_t first_mark = name.find('?');
  const bool marked = first_mark != std::string::npos;
  std::string prefix;
  std::string suffix;
  if (marked) {
    const size_t last_mark = name.rfind('?');
    if (last_dot == std::string::npos || last_mark > last_dot) ext.clear();
    prefix = name.substr(0, first_mark);
    suffix = name.substr(last_mark + 1);
  }

  std::vector<std::string> paths;
  if (!list_matching_paths(folder, ext.empty() ? default_pattern : "*." + ext, &paths, true)) {
    return false;
  }
  for (const std::string& path : paths) {
    const size_t cut = path.rfind(separator);
    std::string file = cut == std::string::npos ? path : path.substr(cut + 1);
    to_lower(file);
    if (file.empty()) continue;
    bool matched;
    if (marked) {
      // A '?' at the very end leaves no suffix: the prefix alone decides.
      matched = file.compare(0, prefix.size(), prefix) == 0 && file.size() >= suffix.size() &&
                file.compare(file.size() - suffix.size(), suffix.size(), suffix) == 0;
    } else {
      matched = file == name;
    }
    if (matched) out->emplace(file, path);
  }
  return !out->empty();
}

}  // namespace qzportdir

bool expand_wildcard_spec(const char* spec, std::vector<std::string>* out) {
  if (!spec || !out) return true;
  std::vector<std::string> specs(1, spec);
  qzportdir::expand_wildcard_dirs(&specs, std::strchr(spec, '/') != nullptr);
  out->insert(out->end(), specs.begin(), specs.end());
  return true;
}

bool expand_wildcard_spec(const wchar_t* spec, std::vector<std::wstring>* out) {
  if (!spec || !out) return true;
  std::vector<std::string> specs;
  expand_wildcard_spec(wstring_to_utf8(spec).c_str(), &specs);
  for (const std::string& expanded : specs) out->push_back(utf8_to_wstring(expanded));
  return true;
}

bool print_wildcard_expansion(const char* spec, std::ostream& os) {
  std::vector<std::string> specs;
  expand_wildcard_spec(spec, &specs);
  for (const std::string& expanded : specs) {
    if (!expanded.empty()) os << expanded << '\n';
  }
  return true;
}

bool list_matching_paths(const std::string& spec, const std::string& pattern,
                         std::vector<std::string>* out, bool include_dirs, bool expand_wildcards) {
  if (!out) return false;
  std::vector<qzportdir::subdir_node> entries;
  qzportdir::list_matching(spec, pattern, &entries, expand_wildcards);
  const size_t before = out->size();
  for (qzportdir::subdir_node& entry : entries) {
    if (include_dirs || !entry.is_dir) out->push_back(std::move(entry.path));
  }
  return out->size() > before;
}

bool list_matching_paths(const char* spec, const char* pattern, std::vector<std::string>* out) {
  return list_matching_paths(std::string(spec ? spec : ""), std::string(pattern ? pattern : ""),
                             out, true);
}

bool list_matching_paths(const char* spec, std::vector<std::string>* out) {
  return list_matching_paths(spec, "", out);
}

bool list_matching_paths(const std::wstring& spec, const std::wstring& pattern,
                         std::vector<std::wstring>* out) {
  if (!out) return false;
  std::vector<qzportdir::subdir_node_utf16> entries;
  qzportdir::list_matching_utf16(spec, pattern, &entries);
  for (qzportdir::subdir_node_utf16& entry : entries) out->push_back(std::move(entry.path));
  return !entries.empty();
}

bool list_files(const std::string& spec, std::vector<qzportdir::subdir_node>* out) {
  if (!out) return false;
  qzportdir::list_matching(spec, "", out);
  std::erase_if(*out, [](const qzportdir::subdir_node& entry) { return entry.is_dir != 0; });
  return !out->empty();
}

bool list_subdirs(const std::string& spec, std::vector<qzportdir::subdir_node>* out) {
  if (!out) return false;
  std::vector<qzportdir::subdir_node> entries;
  qzportdir::list_matching(spec, "", &entries);
  const size_t before = out->size();
  for (qzportdir::subdir_node& entry : entries) {
    if (entry.is_dir) out->push_back(std::move(entry));
  }
  return out->size() > before;
}

void print_listing(const char* spec, std::ostream& os) {
  std::vector<qzportdir::subdir_node> entries;
  qzportdir::list_matching(spec ? spec : "", "", &entries);
  const std::ios_base::fmtflags flags = os.flags();
  const char fill = os.fill();
  for (const qzportdir::subdir_node& entry : entries) {
    os << std::hex << std::right;
    os.fill('0');
    os.width(3);
    os << entry.level << ": " << entry.path << '\n';
  }
  os.flags(flags);
  os.fill(fill);
}
