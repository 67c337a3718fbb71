// File-name filter lists: a filter text such as "*partial*|*.ext" parsed into elements, and
// the matcher that passes or rejects a path by its name, its folder, a stream part written
// after ':', a byte signature in the file, and the parameter set's start/stop time window.
// Patterns are lower-cased and names compared lower-cased; a list passes a path when any one
// element does. Nothing here prints; every failure is a false result.
#pragma once

#include <string>
#include <vector>

#include "framework/text/qz_types.h"

class cmd_params;
class file_stats;

// One element of a filter list: the parsed form of one item of a filter text, or one byte
// signature. A plain value: copies own their strings and signature bytes.
class filename_filter {
 public:
  // A cleared element.
  filename_filter() = default;

  // Every field back to its cleared value; the signature keeps its storage.
  void clear();

  u32 filter_path_length = 0;   // length of filter_path; 0 means no folder restriction
  std::wstring filter_path;     // lower-cased folder the element is restricted to
  std::wstring item;            // the item as written (lower-cased, trimmed when split)
  std::wstring name_pattern;    // name part of the item, every '*' removed
  std::wstring stream_pattern;  // text after the item's first ':', every '*' removed
  std::vector<u8> signature;    // bytes that must stand in the file
  u64 signature_offset = 0;     // file offset at which signature must stand
  u8 is_dir_filter = 0;         // name_pattern begins with '/': the element tests the folder
  u8 match_all = 0;             // the item, or its name part, is "*"
  u8 name_lead_star = 0;        // a '*' stood first in the name part
  u8 name_trail_star = 0;       // a '*' stood last in the name part
  u8 has_stream = 0;            // the item holds a ':'
  u8 stream_any = 0;            // the stream part is "*"
  u8 stream_lead_star = 0;      // a '*' stood first in the stream part
  u8 stream_trail_star = 0;     // a '*' stood last in the stream part
};

// ---- Parsing filter texts

// out = the elements of spec (lower-cased in place): items cut at ',' (else at '|'), trimmed,
// empty ones dropped; the item "*" makes the whole list one match-all element. A '*' first
// or last in a part makes a suffix or prefix test; one inside a part is dropped. True when
// the list holds an element; false only when memory runs out.
bool parse_filename_filters(std::vector<filename_filter>& out, std::string& spec);
// parse_filename_filters; a non-empty folder (lower-cased in place) restricts every element
// except one whose name part after a stream part is "*".
bool parse_filename_filters_with_path(std::vector<filename_filter>& out, std::string& spec,
                                      std::string& folder);

// ---- Matching

// Whether path passes: false for an empty path (open_failed untouched); else *open_failed is
// set false, and true when a signature file could not be opened. With stats and a start or
// stop time in params, a file outside the window fails (stats are filled from the path when
// their modified time is 0). Then an empty list, or one match-all element without a folder
// restriction, passes; otherwise the first element that passes decides. An element with a
// folder restriction ("-filter_path") passes only paths whose folder, as the path gives it,
// holds the restriction as whole folder components ("/cases/one" passes "/cases/one/x.csv"
// and "/cases/one/sub/x.csv", not "/cases/one-old/x.csv"). stream_mode splits "name:stream"
// names.
bool filename_passes_filters(cmd_params* params, bool* open_failed, const std::wstring& path,
                             const std::vector<filename_filter>& filters, file_stats* stats,
                             bool stream_mode);
// The matcher for a folder and a name given apart: the window, then name and stream tests
// with each element's folder restriction; no folder-filter or signature test. An empty
// folder hands the name to filename_passes_filters.
bool filename_passes_filters_in_folder(cmd_params* params, bool* open_failed,
                                       const std::wstring& folder, const std::wstring& name,
                                       const std::vector<filename_filter>& filters,
                                       file_stats* stats, bool stream_mode);
// filename_passes_filters on a UTF-8 path: false for an empty path, true at once for an
// empty list (no window then), false for a path that is not valid UTF-8.
bool filename_passes_filters_narrow(cmd_params* params, bool* open_failed,
                                    const std::string& path,
                                    const std::vector<filename_filter>& filters,
                                    file_stats* stats, bool stream_mode);
// For callers without a parameter set: false for an empty path, true for an empty list,
// both without touching open_failed; else filename_passes_filters with a default parameter
// set (built once, no time window) and no stats.
bool filename_passes_default_filters(bool* open_failed, const std::wstring& path,
                                     const std::vector<filename_filter>& filters,
                                     bool stream_mode);

// out = the indices, in order, of the elements that carry signature bytes; true when there is
// at least one.
bool signature_filter_indices(std::vector<u32>& out, const std::vector<filename_filter>& filters);

// ---- Splitting wide text into lists (out is emptied first)

// Cuts text at every separator, trims pieces when asked (trim_whitespace_wide) and drops
// empty ones unless keep_empty; an empty first piece is always dropped. False only for an
// empty text.
bool split_wstring(const std::wstring& text, wchar_t separator, std::vector<std::wstring>& out,
                   bool trim, bool keep_empty);
// split_wstring without trimming, empty pieces dropped.
bool split_wstring_plain(const std::wstring& text, wchar_t separator,
                         std::vector<std::wstring>& out);
// The non-empty pieces between 0 units, one wide character per unit (no surrogate pairing);
// false for no units.
bool split_multi_string_u16(const std::vector<u16>& units, std::vector<std::wstring>& out);
// split_multi_string_u16 over the bytes read as native-order 16-bit units (an odd last byte
// is ignored); false for no bytes.
bool split_multi_string_bytes(const std::vector<u8>& bytes, std::vector<std::wstring>& out);
// The trimmed, non-empty lines of narrow text (UTF-8) or, when a 0 byte stands among the first
// four, of UTF-16 text in native order; lines are cut by the one line-end kind the start of
// the text uses. False for a null buffer, fewer than 2 bytes, mixed or no line ends, no line.
bool split_text_buffer_lines(const u8* buffer, u32 size, std::vector<std::wstring>& out);
