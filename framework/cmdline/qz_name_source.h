// The source of the file names one run converts: the lines of standard input ("-pipe") or
// the files of a depth-first folder walk that pass a filter list ("-enumdir"). Names come out
// one per read, as UTF-8 (or wide); a name that is not valid UTF-8 is never handed out, not
// even in part: it goes to refused_names instead, for the caller to report, with a "-diags"
// line when the parameter set has a log open.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "framework/cmdline/qz_filename_filter.h"
#include "framework/io/uni_std_streams.h"
#include "framework/text/qz_types.h"

class cmd_params;

namespace qzportdir {

// A folder waiting to be listed; the walk's root has level 0.
struct _folder_level {
  _folder_level() = default;
  _folder_level(const std::wstring& path_value, unsigned level_value)
      : path(path_value), level(level_value) {}

  std::wstring path;
  unsigned level = 0;
};

class stdin_stream_ex : public uni::stdin_stream {
 public:
  // Over standard input, not yet set up; params (not owned, may be null) also receives the
  // "-diags" lines of skipped names for the object's whole life.
  explicit stdin_stream_ex(cmd_params* params);
  ~stdin_stream_ex() override;

  // Empties both stacks and the filter list, max_level 1, walk off, params null.
  void clear();
  // Names become the lines of standard input; true.
  bool init_to_stdin(bool flag);
  // Names become the files of a walk of root down to max_level levels below it (0: its own
  // files only) that pass filters (tested without a time window); true. The UTF-8 form gives
  // false, changing nothing, for an empty root or one that is not valid UTF-8.
  bool init_to_enumdir(std::wstring root, unsigned max_level, std::vector<filename_filter>& filters);
  bool init_to_enumdir(std::string root, unsigned max_level, std::vector<filename_filter>& filters);

  // The next name: the walk's next file, or the next line of standard input (up to 4095 bytes;
  // with strip its trailing CR and LF removed; empty lines give empty names). False when the
  // names are exhausted (or a signal cut the wait for a line short). strip has no effect on a
  // walk. Names met on the way that are not valid UTF-8 are appended to refused_names.
  bool read(std::string& name, bool strip) override;
  bool read(std::wstring& name, bool strip) override;

  // The walk's next file: a folder's files in reverse listing order come before anything below
  // it, and its last-listed subfolder is walked first. False when the walk is over.
  bool get_next_file(std::wstring& name);
  // Whether an entry stays in the walk: a file must pass the filters (or have a signature that
  // could not be read); folders always stay. The path may lose a "\\?\" prefix.
  bool fixup_directory_or_file(std::wstring& path, bool is_dir);
  // Leaves the folder at path out of every later walk of this object, with everything below it,
  // under whatever name a walk reaches it (device and inode compared; the root itself is always
  // walked); false when no folder stands there.
  bool skip_folder(const std::string& path);

  std::deque<_folder_level> folders;
  std::deque<std::wstring> files;
  u32 max_level = 1;
  std::vector<filename_filter> filters;
  u8 enumdir = 0;
  cmd_params* params = nullptr;
  // The names left out because they are not valid UTF-8, as their bytes stand, in the order
  // met: lines of standard input; files of the walk, and folders it would have walked into
  // (their paths end with the separator). The caller empties it.
  std::vector<std::string> refused_names;

 private:
  // Reads lines until one is valid UTF-8 (logging the others); false at end of input.
  bool read_valid_line(std::string& name, bool strip);

  // Whether the folder at path is one that skip_folder left out.
  bool skipped(const std::wstring& path) const;

  cmd_params* diag_params_ = nullptr;
  std::vector<std::pair<u64, u64>> skipped_folders_;  // device and inode
};

}  // namespace qzportdir
