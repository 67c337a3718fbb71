#include "framework/cmdline/qz_filtered_walk.h"

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/io/qz_file_stats.h"
#include "framework/text/qz_env.h"
#include "framework/text/uni_unicode.h"

namespace qzportdir {

bool passes_walk_filters(cmd_params* params, const std::wstring& path,
                         const std::vector<filename_filter>& filters, file_stats& stats) {
  bool open_failed = false;
  bool passed;
  if (params) {
    stats.modified = 0;
    passed = filename_passes_filters(params, &open_failed, path, filters, &stats, false);
  } else {
    passed = filename_passes_default_filters(&open_failed, path, filters, false);
  }
  return passed || open_failed;
}

void walk_levels_utf16(const std::wstring& root, const std::vector<filename_filter>* filters,
                       walk_callback callback, void* context, cmd_params* params, int levels) {
  const std::vector<filename_filter> no_filters;
  const std::vector<filename_filter>& list = filters ? *filters : no_filters;
  std::vector<std::wstring> current(1, root);
  std::vector<std::wstring> next;
  std::vector<subdir_node_utf16> entries;
  file_stats stats;
  std::wstring reported;
  auto report = [&](const std::wstring& path, bool is_dir) {
    if (!passes_walk_filters(params, path, list, stats)) return;
    reported = path;
    strip_device_prefix(reported);
    if (callback) callback(reported, is_dir, context, params);
  };
  for (int level = 0; level < levels; ++level) {
    while (!current.empty()) {
      const std::wstring folder = current.back();
      current.pop_back();
      report(folder, true);
      entries.clear();
      list_matching_utf16(folder, L"*.*", &entries, level == 0, params);
      for (subdir_node_utf16& entry : entries) {
        if (entry.is_dir) {
          next.push_back(std::move(entry.path));
        } else {
          report(entry.path, false);
        }
      }
    }
    if (next.empty()) break;
    current.swap(next);
    next.clear();
  }
}

}  // namespace qzportdir

void walk_levels_expanded(const std::string& root, const std::vector<filename_filter>* filters,
                          qzportdir::walk_callback callback, void* context, cmd_params* params,
                          int levels) {
  std::string expanded = root;
  expand_env_vars(expanded, true);
  qzportdir::walk_levels_utf16(utf8_to_wstring(expanded), filters, callback, context, params,
                               levels);
}

void walk_levels_expanded(const std::wstring& root, const std::vector<filename_filter>* filters,
                          qzportdir::walk_callback callback, void* context, cmd_params* params,
                          int levels) {
  std::wstring expanded = root;
  expand_env_vars_wide(expanded, false);
  qzportdir::walk_levels_utf16(expanded, filters, callback, context, params, levels);
}
