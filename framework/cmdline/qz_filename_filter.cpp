#include "framework/cmdline/qz_filename_filter.h"

#include <cstring>
#include <new>
#include <utility>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/io/qz_file_stats.h"
#include "framework/io/uni_fileio.h"
#include "framework/text/qz_path.h"
#include "framework/text/qz_split.h"
#include "framework/text/qz_string.h"
#include "framework/text/uni_unicode.h"
#include "framework/time/qz_clock.h"

void filename_filter::clear() {
  filter_path_length = 0;
  filter_path.clear();
  item.clear();
  name_pattern.clear();
  stream_pattern.clear();
  signature.clear();
  signature_offset = 0;
  is_dir_filter = 0;
  match_all = 0;
  name_lead_star = 0;
  name_trail_star = 0;
  has_stream = 0;
  stream_any = 0;
  stream_lead_star = 0;
  stream_trail_star = 0;
}

namespace {

// Removes every '*' of part, leftmost first, noting one taken from the first position
// (a lone '*' counts as first) and one taken from the last.
void strip_stars(std::wstring& part, u8& lead_star, u8& trail_star) {
  for (size_t star = part.find(L'*'); star != std::wstring::npos; star = part.find(L'*')) {
    if (star == 0) {
      lead_star = 1;
    } else if (star + 1 == part.size()) {
      trail_star = 1;
    }
    part.erase(star, 1);
  }
}

// Fills a cleared element from one item; false when the item's name part after a stream
// part is "*" (the element then matches every name and takes no folder restriction).
bool build_element(filename_filter& element, const std::wstring& item) {
  element.item = item;
  element.name_pattern = item;
  const size_t colon = item.find(L':');
  if (colon != std::wstring::npos) {
    element.has_stream = 1;
    element.stream_pattern = item.substr(colon + 1);
    element.name_pattern.resize(colon);
    if (element.stream_pattern == L"*") {
      element.stream_any = 1;
    } else {
      strip_stars(element.stream_pattern, element.stream_lead_star, element.stream_trail_star);
    }
    if (element.name_pattern == L"*") {
      element.match_all = 1;
      return false;
    }
  }
  strip_stars(element.name_pattern, element.name_lead_star, element.name_trail_star);
  if (!element.name_pattern.empty() && element.name_pattern[0] == L'/') element.is_dir_filter = 1;
  return true;
}

bool parse_filters(std::vector<filename_filter>& out, std::string& spec,
                   const std::wstring* folder) {
  out.clear();
  to_lower(spec);
  const std::wstring text = utf8_to_wstring(spec);
  std::vector<std::wstring> items;
  if (text.find(L',') != std::wstring::npos) {
    split_wstring(text, L',', items, true, false);
  } else if (text.find(L'|') != std::wstring::npos) {
    split_wstring(text, L'|', items, true, false);
  }
  if (items.empty()) items.push_back(text);
  try {
    out.resize(items.size());
  } catch (const std::bad_alloc&) {
    out.clear();
    return false;
  }
  for (size_t i = 0; i < items.size(); ++i) {
    filename_filter& element = out[i];
    if (items[i] == L"*") {
      out.resize(1);
      out[0].clear();
      out[0].match_all = 1;
      out[0].item = L"*";
      out[0].name_pattern = L"*";
      if (folder) {
        out[0].filter_path = *folder;
        out[0].filter_path_length = static_cast<u32>(folder->size());
      }
      break;
    }
    if (build_element(element, items[i]) && folder) {
      element.filter_path = *folder;
      element.filter_path_length = static_cast<u32>(folder->size());
    }
  }
  return !out.empty();
}

bool ends_with(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool starts_with(const std::wstring& text, const std::wstring& head) {
  return text.compare(0, head.size(), head) == 0;
}

// The star rules shared by names and stream parts: both stars "contains", lead star
// "ends with", trail star "begins with", no star "equals".
bool matches_pattern(const std::wstring& text, const std::wstring& pattern, u8 lead_star,
                     u8 trail_star) {
  if (lead_star && trail_star) return text.find(pattern) != std::wstring::npos;
  if (lead_star) return ends_with(text, pattern);
  if (trail_star) return starts_with(text, pattern);
  return text == pattern;
}

// A lower-cased file name with its stream part (the text after its first ':' in stream mode).
struct split_name {
  std::wstring name;
  std::wstring stream;
  bool has_stream = false;

  split_name(std::wstring file_name, bool stream_mode) : name(std::move(file_name)) {
    to_lower_wide(name);
    if (!stream_mode) return;
    const size_t colon = name.find(L':');
    if (colon == std::wstring::npos) return;
    stream = name.substr(colon + 1);
    name.resize(colon);
    has_stream = true;
  }
};

// Whether the element's stream tests let the name through (always, outside stream mode).
bool stream_allows(const filename_filter& element, const split_name& name, bool stream_mode) {
  if (!stream_mode) return true;
  if (element.has_stream && !element.stream_any && !name.has_stream) return false;
  if (!name.has_stream) return true;
  if (!element.has_stream) return false;
  if (element.stream_any) return true;
  return matches_pattern(name.stream, element.stream_pattern, element.stream_lead_star,
                         element.stream_trail_star);
}

enum class verdict { pass, skip, undecided };

// The name tests: match-all and star patterns decide alone; an exact pattern passes when
// equal and otherwise leaves the element to its signature.
verdict name_verdict(const filename_filter& element, const std::wstring& name) {
  if (element.match_all) return verdict::pass;
  if (element.name_lead_star || element.name_trail_star) {
    return matches_pattern(name, element.name_pattern, element.name_lead_star,
                           element.name_trail_star)
               ? verdict::pass
               : verdict::skip;
  }
  if (!element.name_pattern.empty() && element.name_pattern == name) return verdict::pass;
  return verdict::undecided;
}

// Whether the file at path holds the element's signature at its offset. Only the bytes the
// signature covers are read; an offset or length beyond the file fails without reading.
bool signature_matches(const filename_filter& element, const std::wstring& path,
                       bool* open_failed) {
  uni::fileio file(path, false, true, false);
  if (!file.is_open()) {
    if (open_failed) *open_failed = true;
    return false;
  }
  const u64 size = file.get_size();
  const u64 length = element.signature.size();
  // Compared apart so that a huge offset cannot wrap around the sum.
  if (element.signature_offset > size || length > size - element.signature_offset) return false;
  std::vector<u8> found;
  if (!file.read_into_vector(found, length, element.signature_offset)) return false;
  return found == element.signature;
}

// The start/stop window of params; true when params set no window or give no stats.
bool passes_time_window(cmd_params* params, const std::wstring& path, file_stats* stats) {
  if (!stats || !params || (!params->start_set && !params->stop_set)) return true;
  if (stats->modified == 0 && !get_file_stats(*stats, path)) return false;
  if (stats->modified == 0) return false;
  u64 start = 0;
  u64 stop = 0;
  if (stats->time_kind == 8) {
    start = params->start_unix;
    stop = params->stop_unix;
  } else if (stats->time_kind == 1) {
    start = params->start_filetime;
    stop = params->stop_filetime;
  } else {
    return false;
  }
  if (params->start_set && stats->modified < start && stats->created < start) return false;
  if (params->stop_set && (stats->modified > stop || stats->created > stop)) return false;
  return true;
}

bool list_passes_all(const std::vector<filename_filter>& filters) {
  return filters.empty() ||
         (filters.size() == 1 && filters[0].match_all && filters[0].filter_path_length == 0);
}

// Whether the first occurrence of the folder pattern in folder ends a folder component.
bool folder_holds(const std::wstring& folder, const std::wstring& pattern) {
  const size_t at = folder.find(pattern);
  if (at == std::wstring::npos) return false;
  const size_t end = at + pattern.size();
  return end == folder.size() || folder[end] == L'/' || folder[end] == 0;
}

void turn_backslashes(std::wstring& path) {
  for (wchar_t& c : path) {
    if (c == L'\\') c = L'/';
  }
}

// Whether the element's folder restriction lets a name of folder (lower-cased, every '\'
// made '/') through: the restriction, its trailing separators dropped, must end a folder
// component of it, as a folder filter must; "/cases/one" holds "/x/cases/one/sub" but not
// "/cases/one-old".
bool restriction_allows(const filename_filter& element, const std::wstring& folder) {
  if (element.filter_path_length == 0) return true;
  std::wstring restriction = element.filter_path;
  turn_backslashes(restriction);
  while (restriction.size() > 1 && restriction.back() == L'/') restriction.pop_back();
  return folder_holds(folder, restriction);
}

}  // namespace

bool parse_filename_filters(std::vector<filename_filter>& out, std::string& spec) {
  return parse_filters(out, spec, nullptr);
}

bool parse_filename_filters_with_path(std::vector<filename_filter>& out, std::string& spec,
                                      std::string& folder) {
  if (folder.empty()) return parse_filters(out, spec, nullptr);
  to_lower(folder);
  const std::wstring wide_folder = utf8_to_wstring(folder);
  return parse_filters(out, spec, &wide_folder);
}

bool filename_passes_filters(cmd_params* params, bool* open_failed, const std::wstring& path,
                             const std::vector<filename_filter>& filters, file_stats* stats,
                             bool stream_mode) {
  if (path.empty()) return false;
  if (open_failed) *open_failed = false;
  if (!passes_time_window(params, path, stats)) return false;
  if (list_passes_all(filters)) return true;

  std::wstring folder;
  std::wstring file_name;
  if (!split_dir_file_wide(path, folder, file_name)) return false;
  const split_name name(std::move(file_name), stream_mode);
  bool folder_lowered = false;
  std::wstring restricted_folder;  // the folder as restrictions read it, made on first need

  for (const filename_filter& element : filters) {
    if (element.filter_path_length != 0) {
      if (restricted_folder.empty()) {
        restricted_folder = folder;
        to_lower_wide(restricted_folder);
        turn_backslashes(restricted_folder);
      }
      if (!restriction_allows(element, restricted_folder)) continue;
    }
    if (element.is_dir_filter) {
      if (!folder_lowered) {
        to_lower_wide(folder);
        folder_lowered = true;
      }
      bool held = folder_holds(folder, element.name_pattern);
      if (!held && folder.find(L'\\') != std::wstring::npos) {
        turn_backslashes(folder);
        held = folder_holds(folder, element.name_pattern);
      }
      if (held) return true;
    }
    if (!stream_allows(element, name, stream_mode)) continue;
    const verdict by_name = name_verdict(element, name.name);
    if (by_name == verdict::pass) return true;
    if (by_name == verdict::skip || element.signature.empty()) continue;
    if (signature_matches(element, path, open_failed)) return true;
  }
  return false;
}

bool filename_passes_filters_in_folder(cmd_params* params, bool* open_failed,
                                       const std::wstring& folder, const std::wstring& name,
                                       const std::vector<filename_filter>& filters,
                                       file_stats* stats, bool stream_mode) {
  if (name.empty()) return false;
  if (folder.empty()) {
    return filename_passes_filters(params, open_failed, name, filters, stats, stream_mode);
  }
  if (open_failed) *open_failed = false;
  if (!passes_time_window(params, folder + L"/" + name, stats)) return false;
  if (list_passes_all(filters)) return true;

  const split_name file_name(name, stream_mode);
  std::wstring lower_folder = folder;
  to_lower_wide(lower_folder);
  for (const filename_filter& element : filters) {
    if (element.filter_path_length != 0 &&
        lower_folder.find(element.filter_path) == std::wstring::npos) {
      continue;
    }
    if (!stream_allows(element, file_name, stream_mode)) continue;
    if (name_verdict(element, file_name.name) == verdict::pass) return true;
  }
  return false;
}

bool filename_passes_filters_narrow(cmd_params* params, bool* open_failed,
                                    const std::string& path,
                                    const std::vector<filename_filter>& filters,
                                    file_stats* stats, bool stream_mode) {
  if (path.empty()) return false;
  if (filters.empty()) return true;
  return filename_passes_filters(params, open_failed, utf8_to_wstring(path), filters, stats,
                                 stream_mode);
}

bool filename_passes_default_filters(bool* open_failed, const std::wstring& path,
                                     const std::vector<filename_filter>& filters,
                                     bool stream_mode) {
  if (path.empty()) return false;
  if (filters.empty()) return true;
  static cmd_params defaults(current_time().filetime, true);
  return filename_passes_filters(&defaults, open_failed, path, filters, nullptr, stream_mode);
}

bool split_wstring(const std::wstring& text, wchar_t separator, std::vector<std::wstring>& out,
                   bool trim, bool keep_empty) {
  out.clear();
  if (text.empty()) return false;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    std::wstring piece = text.substr(start, end == std::wstring::npos ? end : end - start);
    if (trim) trim_whitespace_wide(piece);
    if (!piece.empty() || (keep_empty && start != 0)) out.push_back(std::move(piece));
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
  return true;
}

bool split_wstring_plain(const std::wstring& text, wchar_t separator,
                         std::vector<std::wstring>& out) {
  return split_wstring(text, separator, out, false, false);
}

bool split_multi_string_u16(const std::vector<u16>& units, std::vector<std::wstring>& out) {
  out.clear();
  if (units.empty()) return false;
  return split_wstring_plain(u16_units_to_wide(units), L'\0', out);
}

bool split_multi_string_bytes(const std::vector<u8>& bytes, std::vector<std::wstring>& out) {
  out.clear();
  if (bytes.empty()) return false;
  std::vector<u16> units(bytes.size() / 2);
  for (size_t i = 0; i < units.size(); ++i) {
    std::memcpy(&units[i], &bytes[2 * i], sizeof(u16));
  }
  return split_multi_string_u16(units, out);
}

bool split_text_buffer_lines(const u8* buffer, u32 size, std::vector<std::wstring>& out) {
  out.clear();
  if (!buffer || size < 2) return false;
  const bool narrow = buffer[0] && buffer[1] && (size < 4 || (buffer[2] && buffer[3]));
  std::vector<std::string> lines;
  if (narrow) {
    if (!split_text_lines(buffer, size, lines)) return false;
  } else {
    // Wide text here is UTF-16 in native order, as files written on Windows hold it; it is
    // cut as UTF-8 so that one line cutter serves both forms.
    std::vector<u16> units(size / 2);
    std::memcpy(units.data(), buffer, units.size() * sizeof(u16));
    std::string text;
    if (!utf16_to_utf8(text, units.data(), units.size() * sizeof(u16)) || text.empty()) {
      return false;
    }
    if (!split_text_lines(reinterpret_cast<const u8*>(text.data()), static_cast<u32>(text.size()),
                          lines)) {
      return false;
    }
  }
  utf8_list_to_wide(out, lines);
  // A line of only blanks and CRs is empty once trimmed.
  std::erase_if(out, [](const std::wstring& line) { return line.empty(); });
  return !out.empty();
}

bool signature_filter_indices(std::vector<u32>& out, const std::vector<filename_filter>& filters) {
  out.clear();
  for (size_t i = 0; i < filters.size(); ++i) {
    if (!filters[i].signature.empty()) out.push_back(static_cast<u32>(i));
  }
  return !out.empty();
}
