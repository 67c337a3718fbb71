#include "framework/text/qz_path.h"

#include <cstring>

#include "framework/text/qz_replace.h"
#include "framework/text/qz_string.h"

namespace {

// An ASCII literal as a narrow or wide string.
template <class Str>
Str lit(const char* ascii) {
  return Str(ascii, ascii + std::strlen(ascii));
}

std::string& fold(std::string& s) { return to_lower(s); }
std::wstring& fold(std::wstring& s) { return to_lower_wide(s); }

// The last position of c in text, or npos. Narrow texts are searched by the C library, many
// bytes at a step: every file of a listing is split.
size_t last_of(const std::string& text, char c) {
  const void* found = memrchr(text.data(), c, text.size());
  return found != nullptr ? size_t(static_cast<const char*>(found) - text.data()) : std::string::npos;
}
size_t last_of(const std::wstring& text, wchar_t c) { return text.rfind(c); }

// Writes into dir and name without emptying them first; the callers decide that.
template <class Str, class C = typename Str::value_type>
void split_dir_file_t(const Str& path, Str& dir, Str& name) {
  C separator = C('\\');
  size_t at = last_of(path, separator);
  if (at == Str::npos) {
    separator = C('/');
    at = last_of(path, separator);
  }
  // A separator in front of the only name (or none at all) leaves no folder to report.
  if (at == Str::npos || at == 0) {
    dir = lit<Str>(".");
    name = path;
    return;
  }
  dir.assign(path, 0, at);
  name.assign(path, at + 1, Str::npos);
  if (name == lit<Str>("..")) {
    name = lit<Str>(".");
    dir += lit<Str>(separator == C('\\') ? "\\.." : "//..");
  }
}

template <class Str, class C = typename Str::value_type>
void split_path_t(const Str& path, Str& dir, Str& base, Str& ext) {
  Str name;
  split_dir_file_t(path, dir, name);
  const size_t dot = name.rfind(C('.'));
  if (dot == Str::npos) {
    base = std::move(name);
    return;
  }
  base.assign(name, 0, dot);
  ext.assign(name, dot + 1, Str::npos);
}

template <class Str>
bool strip_trailing_slashes_t(Str& path) {
  const size_t last = path.find_last_not_of(lit<Str>("/\\"));
  path.resize(last == Str::npos ? 0 : last + 1);
  return !path.empty();
}

template <class Str, class C = typename Str::value_type>
void strip_long_path_prefix_t(Str& path, bool keep_drive_paths, bool shadow_copies_only) {
  // The prefix's drive-letter slot is p + 4 and its ":" p + 5, which may lie past the end.
  auto drive_follows = [&path](size_t p) { return p + 5 < path.size() && path[p + 5] == C(':'); };
  size_t at = path.find(lit<Str>("\\\\?\\"));
  if (at != Str::npos) {
    if (keep_drive_paths && path.size() > 5) {
      if (drive_follows(at)) return;
    } else if (shadow_copies_only && path.size() >= 47) {
      Str lowered(path);
      if (fold(lowered).find(lit<Str>("global")) != 4) return;
    }
  } else {
    at = path.find(lit<Str>("\\\\.\\"));
    if (at == Str::npos) return;
    if (keep_drive_paths && path.size() >= 6 && drive_follows(at)) return;
  }
  // Two backslashes and the "?" or "." go; the prefix's last backslash stays.
  path.erase(at, 3);
}

}  // namespace

bool split_dir_file(const std::string& path, std::string& dir, std::string& name) {
  dir.clear();
  name.clear();
  if (path.empty()) return false;
  split_dir_file_t(path, dir, name);
  return true;
}

bool split_dir_file_wide(const std::wstring& path, std::wstring& dir, std::wstring& name) {
  if (path.empty()) return false;
  dir.clear();
  name.clear();
  split_dir_file_t(path, dir, name);
  return true;
}

bool split_dir_file_cstr(const char* path, std::string& dir, std::string& name) {
  if (path == nullptr) {
    dir.clear();
    name.clear();
    return false;
  }
  return split_dir_file(std::string(path), dir, name);
}

bool split_path(const char* path, std::string& dir, std::string& base, std::string& ext) {
  dir.clear();
  base.clear();
  ext.clear();
  if (path == nullptr || *path == '\0') return false;
  split_path_t(std::string(path), dir, base, ext);
  return true;
}

bool split_path_wide(const std::wstring& path, std::wstring& dir, std::wstring& base,
                     std::wstring& ext) {
  if (path.empty()) return false;
  dir.clear();
  base.clear();
  ext.clear();
  split_path_t(path, dir, base, ext);
  return true;
}

bool strip_trailing_slashes(std::string& path) { return strip_trailing_slashes_t(path); }

bool strip_trailing_slashes_wide(std::wstring& path) { return strip_trailing_slashes_t(path); }

size_t shadow_copy_prefix_length() { return 46; }

std::string& shadow_copy_device_prefix(std::string& out, bool lower, bool with_globalroot) {
  out = with_globalroot ? "\\\\?\\GLOBALROOT" : "";
  out += "\\Device\\HarddiskVolumeShadowCopy";
  if (lower) to_lower(out);
  return out;
}

bool normalize_service_image_path(const char* image_path, std::string& out,
                                  const char* system_root) {
  out.clear();
  if (image_path == nullptr || system_root == nullptr) return false;
  out = image_path;
  const std::string root(system_root);

  // Switches of the service's command line.
  truncate_at(out, " /", true);
  truncate_at(out, " -k", true);

  for (const char* root_name : {"%SystemRoot%", "\\SystemRoot", "SystemRoot"}) {
    std::string from(root_name);
    replace_first(out, from, root, true);
  }
  std::string vss_name("%vss%"), vss_device;
  replace_first(out, vss_name, shadow_copy_device_prefix(vss_device, false, true), true);

  for (const char* nt_prefix : {"\\??\\", "\\?\\"}) {
    std::string what(nt_prefix);
    erase_first(out, what, false);
  }
  to_lower(out);
  if (out.starts_with("system32")) out = root + "\\" + out;
  return true;
}

void strip_long_path_prefix(std::string& path, bool keep_drive_paths, bool shadow_copies_only) {
  strip_long_path_prefix_t(path, keep_drive_paths, shadow_copies_only);
}

void strip_long_path_prefix_wide(std::wstring& path, bool keep_drive_paths,
                                 bool shadow_copies_only) {
  strip_long_path_prefix_t(path, keep_drive_paths, shadow_copies_only);
}

namespace {

// The part of a device identifier before an instance suffix "&N" or "&NN" at its end.
std::string device_serial(const std::string& id) {
  constexpr size_t shortest_with_suffix = 5;
  constexpr size_t suffix_reach = 3;
  const size_t amp = id.rfind('&');
  if (id.size() >= shortest_with_suffix && id[1] != '&' && amp != std::string::npos &&
      amp >= id.size() - suffix_reach)
    return id.substr(0, amp);
  return id;
}

}  // namespace

bool parse_device_id(std::string& id, std::string& serial, std::string& separator,
                     const std::string& path) {
  id.clear();
  serial.clear();
  if (path.empty()) return false;
  const bool instance_path = path.find('#') != std::string::npos;
  if (instance_path) {
    separator = '#';
  } else if (separator.empty()) {
    if (path.find('/') != std::string::npos)
      separator = '/';
    else if (path.find('\\') != std::string::npos)
      separator = '\\';
    else
      return false;
  }
  if (path.find(separator) == std::string::npos) return false;
  if (instance_path) {
    std::string lowered = path;
    to_lower(lowered);
    size_t marker = std::string::npos;
    for (const char* name : {"pid_", "rev_", "prod_"}) {
      marker = lowered.find(name);
      if (marker != std::string::npos) break;
    }
    if (marker == std::string::npos) return false;
    const size_t start = path.find(separator, marker);
    if (start == std::string::npos || start + separator.size() >= path.size()) return false;
    const size_t id_start = start + separator.size();
    const size_t end = path.find(separator, id_start);
    id = path.substr(id_start, end == std::string::npos ? std::string::npos : end - id_start);
  } else {
    size_t last = path.rfind(separator);
    size_t end = path.size();
    if (last + separator.size() == path.size()) {
      end = last;
      if (last == 0) return false;
      last = path.rfind(separator, last - 1);
      if (last == std::string::npos) return false;
    }
    id = path.substr(last + separator.size(), end - last - separator.size());
  }
  if (id.empty()) return false;
  serial = device_serial(id);
  return true;
}

std::string mac_library_subpath(unsigned flags) {
  static const struct {
    unsigned bit;
    const char* folder;
  } folders[] = {{1, "Library"}, {2, "Preferences"}, {4, "SyncedPreferences"},
                 {32, "Calendars"}, {8, "Safari"},    {16, "SystemConfiguration"}};
  std::string path;
  for (const auto& entry : folders) {
    if (flags & entry.bit) path.append(entry.folder).push_back('/');
  }
  return path;
}
