// Folder listings and walks: the entries of one folder, the expansion of "*" folder components
// in a folder path, listings filtered by a name.extension pattern, level-by-level
// walks and a '?' lookup. Paths are UTF-8 (wide forms convert); a folder's path ends with its
// separator, which is '/' when the given path holds a '/' and '\' otherwise. Links are
// listed as files, never followed. An entry whose name is not valid UTF-8 is left out (with a
// "-diags" line when a diagnostics sink is given); the listings that take a `refused` list
// hand such entries over there. Nothing prints; a folder that cannot be opened contributes
// nothing. The walks that apply file-name filters are in qz_filtered_walk.h.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "framework/io/qz_diag_sink.h"
#include "framework/text/qz_types.h"

namespace qzportdir {

// One listed entry.
struct subdir_node {
  // long_path is set for a path of at least 5 characters that begins with "\\?\".
  subdir_node(const std::string& path, const std::string& name, bool is_dir, int level);

  std::string path;  // full path; a folder's ends with the separator
  std::string name;  // the entry's own name for a file, empty for a folder
  u8 is_dir = 0;
  u8 long_path = 0;
  int level = 0;
};

// The wide twin of subdir_node.
struct subdir_node_utf16 {
  subdir_node_utf16() = default;
  // long_path for a path of at least 5 characters beginning with two backslashes; global_root
  // as well when such a path is longer than 46 and holds "globalroot" at index 4 (any case).
  subdir_node_utf16(const std::wstring& path, const std::wstring& name, bool is_dir, int level);
  // Takes path and name converted from UTF-8 (empty when they are not valid UTF-8), is_dir and
  // level; global_root cleared, long_path kept as it was.
  subdir_node_utf16& operator=(const subdir_node& node);

  std::wstring path;
  std::wstring name;
  u8 is_dir = 0;
  u8 long_path = 0;
  u8 global_root = 0;
  int level = 0;
};

// Path equality, and path ordering by std::string::compare.
struct path_equal {
  bool operator()(const std::string& a, const std::string& b) const { return a == b; }
};
struct path_less {
  bool operator()(const std::string& a, const std::string& b) const { return a.compare(b) < 0; }
};

// Appends the entries of folder (ending with its separator) in the order the system lists
// them, "." and ".." left out: a subfolder as (path + separator, "", true, level + 1), anything
// else as (path, name, false, level); only subfolders with dirs_only. An entry whose status
// cannot be read is listed as a file. An entry left out because its name is not valid UTF-8
// is appended to refused (when given) in the same form, its path as the bytes stand. True
// when at least one entry was appended to out.
bool list_dir(const std::string& folder, std::vector<subdir_node>* out, int level, bool dirs_only,
              bool forward_slash, qz_diag_sink* diags = nullptr, std::vector<subdir_node>* refused = nullptr);

// Replaces every path holding a "/*/" component ("\*\" without forward_slash) by one
// path per subfolder that the component stands for, in listing order (the first in
// its place, the others appended); one without subfolders becomes "". Components are expanded
// left to right, each searched only after the folder put in for the one before, so a folder
// whose own name holds '*' is taken literally. One call does the whole expansion: a second one
// would read such folder names as wildcards again. True when a path changed or was
// added.
bool expand_wildcard_dirs(std::vector<std::string>* specs, bool forward_slash);

// out = the entries of the folders of spec (wildcard components expanded when expand_wildcards)
// whose name and extension match pattern (default "*.*"; "*" or a whole name per part, letter
// case ignored); subfolders are always kept. Entries whose names are not valid UTF-8 are
// appended to refused (when given), whatever the pattern. True when out is not empty.
bool list_matching(const std::string& spec, const std::string& pattern,
                   std::vector<subdir_node>* out, bool expand_wildcards = true,
                   qz_diag_sink* diags = nullptr, std::vector<subdir_node>* refused = nullptr);
// list_matching on the UTF-8 forms, the entries converted and appended to out (refused keeps
// its narrow form: those names have no wide one).
bool list_matching_utf16(const std::wstring& spec, const std::wstring& pattern,
                         std::vector<subdir_node_utf16>* out, bool expand_wildcards = true,
                         qz_diag_sink* diags = nullptr, std::vector<subdir_node>* refused = nullptr);

// Appends the paths of every file in root and in the folders below it, levels deep (1 the
// root only, 0 or less nothing); level by level, the folder listed last first. A file's
// "\\?\" prefix is dropped. Folders below the root are listed literally. True when a path was
// appended.
bool walk_levels(std::vector<std::string>* out, const std::string& root, const std::string& pattern,
                 int levels);
bool walk_levels(std::vector<std::wstring>* out, const std::wstring& root,
                 const std::wstring& pattern, unsigned levels);

// Drops the first 4 characters of a path that begins with two backslashes and has at least 5
// characters, unless it is longer than 46 and holds "global" at index 4 (any case).
void strip_device_prefix(std::wstring& path);

// out = (lower-cased file name, path) for each entry of the folder of path spec whose name
// matches the name at the end of spec, with its '?' marks: what stands before the first '?'
// must begin it and what stands after the last '?' must end it, however many '?' there are;
// without '?' the whole name must match. Letter case ignored; the first path of a name is kept. True when out is
// not empty.
bool match_question_wildcard(const std::string& spec, std::map<std::string, std::string>* out);

}  // namespace qzportdir

// Appends spec, then expands the wildcard components of the list; an expansion without
// subfolders stays as "". Always true.
bool expand_wildcard_spec(const char* spec, std::vector<std::string>* out);
bool expand_wildcard_spec(const wchar_t* spec, std::vector<std::wstring>* out);
// Writes each non-empty expansion of spec on its own line; always true.
bool print_wildcard_expansion(const char* spec, std::ostream& os);

// Appends the paths of qzportdir::list_matching, subfolders only when include_dirs (the
// C-string forms include them; the shortest uses the default pattern). True when a path was
// appended.
bool list_matching_paths(const std::string& spec, const std::string& pattern,
                         std::vector<std::string>* out, bool include_dirs,
                         bool expand_wildcards = true);
bool list_matching_paths(const char* spec, const char* pattern, std::vector<std::string>* out);
bool list_matching_paths(const char* spec, std::vector<std::string>* out);
bool list_matching_paths(const std::wstring& spec, const std::wstring& pattern,
                         std::vector<std::wstring>* out);
// out = the files of the listing of spec with the pattern "*.*"; true when there is one.
bool list_files(const std::string& spec, std::vector<qzportdir::subdir_node>* out);
// Appends the subfolders of the listing of spec with the pattern "*.*"; true when one was appended.
bool list_subdirs(const std::string& spec, std::vector<qzportdir::subdir_node>* out);
// Writes "LLL: path" per entry of the listing of spec, LLL the level in 3 hex digits; the stream's
// number format is restored afterwards.
void print_listing(const char* spec, std::ostream& os);
