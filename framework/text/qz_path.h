// Path texts written on Windows or on the host: both "\" and "/" separate, and a path with
// any "\" is split at its last "\" only. Splitting, trailing separators, the long-path and
// device prefixes, the shadow-copy device prefix, service image paths and device identifiers.
#pragma once

#include <cstddef>
#include <string>

// Splits path at its last separator into dir (before it) and name (after it). A name ".."
// becomes "." with "\.." (or "//..") appended to dir. A path without separator, or whose
// only separator is its first character, gives dir "." and the whole path as name. Empties
// dir and name first; false for an empty path.
bool split_dir_file(const std::string& path, std::string& dir, std::string& name);
// split_dir_file; an empty path returns false with dir and name left as they were.
bool split_dir_file_wide(const std::wstring& path, std::wstring& dir, std::wstring& name);
// split_dir_file of a copy; false (outputs empty) for a null path.
bool split_dir_file_cstr(const char* path, std::string& dir, std::string& name);
// split_dir_file, then the name is cut at its last "." into base and ext (without the dot,
// possibly empty); a name without "." is all base. Empties all three; false for a null or
// empty path.
bool split_path(const char* path, std::string& dir, std::string& base, std::string& ext);
// split_path; an empty path returns false with the outputs left as they were.
bool split_path_wide(const std::wstring& path, std::wstring& dir, std::wstring& base,
                     std::wstring& ext);
// Removes every trailing "/" and "\"; true when something is left.
bool strip_trailing_slashes(std::string& path);
bool strip_trailing_slashes_wide(std::wstring& path);

// Length of the shadow-copy device prefix with its "\\?\GLOBALROOT" part: 46.
size_t shadow_copy_prefix_length();
// out = "\\?\GLOBALROOT\Device\HarddiskVolumeShadowCopy" (without "\\?\GLOBALROOT" unless
// with_globalroot), lower-cased when lower; returns out.
std::string& shadow_copy_device_prefix(std::string& out, bool lower, bool with_globalroot);
// out = the service image path as a plain lower-case path: switches cut off, the system root
// names replaced by system_root, "%vss%" expanded, "\??\" and "\?\" removed, and a path
// starting at "system32" put under system_root. false (out empty) for a null argument.
bool normalize_service_image_path(const char* image_path, std::string& out,
                                  const char* system_root);
// Shortens a "\\?\" (else a "\\.\") prefix by its first three characters, so the path then
// starts at the prefix's last backslash. keep_drive_paths leaves a prefix followed by a
// drive letter and ":"; shadow_copies_only leaves a long "\\?\" path unless it names a
// "\\?\GLOBALROOT" device.
void strip_long_path_prefix(std::string& path, bool keep_drive_paths, bool shadow_copies_only);
void strip_long_path_prefix_wide(std::wstring& path, bool keep_drive_paths,
                                 bool shadow_copies_only);

// Reads the device identifier out of a device path. A path holding "#" is a device-instance
// path (separator becomes "#"): id = the component after the first separator that follows
// "pid_", else "rev_", else "prod_" (any case). Otherwise the separator is the caller's, or
// when empty "/" or else "\\" as the path holds them, and id = the last component (the one
// before a trailing separator). serial = id up to its last "&" when that stands within its
// last three characters (id of 5 or more, "&" not second), else id. id and serial are emptied
// first; false when no id is found.
bool parse_device_id(std::string& id, std::string& serial, std::string& separator,
                     const std::string& path);

// Per-user Library sub-folders chosen by flag bits, in this order, each followed by "/":
// 1 "Library", 2 "Preferences", 4 "SyncedPreferences", 32 "Calendars", 8 "Safari",
// 16 "SystemConfiguration". Flags 0 give the empty text.
std::string mac_library_subpath(unsigned flags);
