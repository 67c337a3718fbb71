// Folder walks that report only what passes a list of file-name filters and, with a parameter
// set, its start/stop time window. The listings themselves are those of qz_dir_walk.h.
#pragma once

#include <string>
#include <vector>

#include "framework/cmdline/qz_filename_filter.h"
#include "framework/io/qz_dir_walk.h"

class cmd_params;
class file_stats;

namespace qzportdir {

// Called for each folder and file that a filtered walk reports; the path may be changed by the
// callback. The result is not used.
using walk_callback = int (*)(std::wstring& path, bool is_dir, void* context, cmd_params* params);

// Walks root levels deep as walk_levels does and calls back for every folder (before its
// listing) and every file that passes the filters (null: no filters), or whose signature could
// not be read; with params the filters also apply its time window. Reported paths lose a
// "\\?\" prefix except on shadow-copy device paths.
void walk_levels_utf16(const std::wstring& root, const std::vector<filename_filter>* filters,
                       walk_callback callback, void* context, cmd_params* params, int levels);

// The filter test of the walks: whether path passes filters (with params: its window too,
// stats refreshed from the file), or a signature test could not open it.
bool passes_walk_filters(cmd_params* params, const std::wstring& path,
                         const std::vector<filename_filter>& filters, file_stats& stats);

}  // namespace qzportdir

// qzportdir::walk_levels_utf16 after the environment names ("%NAME%") of root are expanded
// ("%vss%" too in the UTF-8 form).
void walk_levels_expanded(const std::string& root, const std::vector<filename_filter>* filters,
                          qzportdir::walk_callback callback, void* context, cmd_params* params,
                          int levels);
void walk_levels_expanded(const std::wstring& root, const std::vector<filename_filter>* filters,
                          qzportdir::walk_callback callback, void* context, cmd_params* params,
                          int levels);
