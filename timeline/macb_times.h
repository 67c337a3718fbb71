// The four standard times of a file-system object (modified, accessed, metadata changed, born)
// with their labels, and their merging into timeline rows: one row per distinct instant, its
// MACB text ("M" or ".", "A" or ".", "C" or ".", "B" or ".") showing which times fall on it
// and its notes naming them. Further times (FILETIMEs with a label, a source and a file text)
// join the row of a time on their instant in its C position, or get a row of their own.
// Instants are compared through qz::time, by FILETIME; a raw time of 0 is absent.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"
#include "framework/time/qz_time.h"

// The raw times of one record, their labels and the further times attached to it.
class macb_input {
 public:
  macb_input() { clear(); }

  // Times 0, labels and pattern_tag empty, kind 1, extra_value 0, no further times.
  void clear();
  // Stores the four raw values and their kind unchanged.
  void set_times(u64 m, u64 a, u64 c, u64 b, u32 time_kind_value);
  // Stores the four values as unix seconds and sets kind 8, from kind 1 (FILETIME), 2 (chrome),
  // 4 (firefox3), 8 (unix seconds, copied) or 0x40000 (safari). A value that is absent, or
  // before 1970, becomes 0 (absent). False, nothing changed, for any other kind.
  bool set_times_unix(u64 m, u64 a, u64 c, u64 b, u32 time_kind_value);
  // "Last Modified", "Last Access", "Metadata Changed", "Created".
  void set_default_labels();
  void set_labels(const std::string& m, const std::string& a, const std::string& c, const std::string& b);
  // Attaches a further time. When further times on that instant exist already, each of them
  // gets each non-empty text it does not yet contain appended after "; ", and nothing is added.
  void add_time(u64 filetime, const std::string& label, const std::string& source, const std::string& file);

  u64 m_time;
  u64 a_time;
  u64 c_time;
  u64 b_time;
  std::string m_label;
  std::string a_label;
  std::string c_label;
  std::string b_label;
  std::string pattern_tag;  // shown with the bracketed MACB pattern where a label is empty
  u32 kind;                 // time_kind of the four times
  u64 extra_value;          // copied into every row built from this input
  std::vector<u64> more_times;  // further times, FILETIMEs; the five lists keep one length
  std::vector<std::string> more_labels;
  std::vector<std::string> more_sources;
  std::vector<std::string> more_files;
  std::vector<u8> more_used;  // 1 once a row has taken the further time
};

// One timeline row.
class macb_output {
 public:
  macb_output() { clear(); }

  // Every field to its default: kind 1, the invalid time, texts and lists empty, numbers 0.
  void clear();

  u32 kind;
  u64 raw_time;  // the row's key: the time as the input holds it, a FILETIME for a further time
  qz::time time;
  std::string macb;
  std::string notes;
  u64 extra_value;
  std::vector<std::string> desc_parts;
  std::string source;
  std::string filename;
  std::string user;
  std::string reserved_text;
  std::string extra;
  u8 use_row;
};

using macb_rows = std::multimap<u64, macb_output>;

// Adds the rows of input to rows (rows already there stay), made in the order M, A, C, B, then
// one "..C." row per further time that no time shares, in index order. kind is the encoding
// of the four times. Marks every further time as taken.
void merge_macb_times(macb_rows& rows, macb_input& input, u32 time_kind_value);
