// The MACB summary of one instant of an NTFS file record, whose times come up to three times:
// in the standard-information attribute (si, number 1), the file-name attribute (fn, 2) and
// the 8.3 file-name attribute (fn8.3, 3). For each attribute a four-letter text shows which of
// its times fall on the instant ("m", "a", "c", "b" in positions 0 to 3, "." elsewhere; lower
// case, unlike the MACB texts of the timeline rows), with the names and paths carrying them.
// add_macb_times gathers a record's times into a map from instant to summary.
#pragma once

#include <map>
#include <ostream>
#include <set>
#include <string>

#include "framework/text/qz_types.h"

class macb_context {
 public:
  macb_context() { clear(); }

  // reset_macb, names and paths emptied, path and stream_name emptied.
  void clear();
  // The three letter texts "....", the seen flags 0; names, paths and texts stay.
  void reset_macb();

  // One letter at its position of one attribute's text; sets that attribute's seen flag.
  void set_si_m() { set_macb_letter(1, 0); }
  void set_si_a() { set_macb_letter(1, 1); }
  void set_si_c() { set_macb_letter(1, 2); }
  void set_si_b() { set_macb_letter(1, 3); }
  void set_fn_m() { set_macb_letter(2, 0); }
  void set_fn_a() { set_macb_letter(2, 1); }
  void set_fn_c() { set_macb_letter(2, 2); }
  void set_fn_b() { set_macb_letter(2, 3); }
  void set_fn83_m() { set_macb_letter(3, 0); }
  void set_fn83_a() { set_macb_letter(3, 1); }
  void set_fn83_c() { set_macb_letter(3, 2); }
  void set_fn83_b() { set_macb_letter(3, 3); }
  // The same by attribute number; nothing for a number other than 1, 2 or 3.
  void set_m(u32 attribute) { set_macb_letter(attribute, 0); }
  void set_a(u32 attribute) { set_macb_letter(attribute, 1); }
  void set_c(u32 attribute) { set_macb_letter(attribute, 2); }
  void set_b(u32 attribute) { set_macb_letter(attribute, 3); }
  // The letter of position (0 m, 1 a, 2 c, 3 b) for attribute 1, 2 or 3; nothing otherwise.
  void set_macb_letter(u32 attribute, u32 position);

  // Writes si:[....], then "; fn:[....]" (with_fn) and "; fn8.3[....]" (with_fn83) for the
  // attributes seen, the "; " only after something written; a line end (flushed) when end_line
  // is set and something was written.
  void write_flags(std::ostream& out, bool end_line, bool with_fn83, bool with_fn) const;

  std::string macb_si;
  std::string macb_fn;
  std::string macb_fn83;
  u8 seen_si;
  u8 seen_fn;
  u8 seen_fn83;
  std::set<std::string> names;  // UTF-8 file names whose times fall on this instant
  std::set<std::string> paths;  // UTF-8 paths whose times fall on this instant
  std::string path;             // printed by the MFT record writer
  std::string stream_name;      // appended to each name after ":" by the MFT record writer
};

using macb_context_map = std::map<u64, macb_context>;

// Merges the non-zero times m, a, c, b of one attribute into map: each instant gets the
// attribute's letter, and name (null for none; into paths when is_path, else names) in its
// entry, which is made when the instant is new.
void add_macb_times(macb_context_map& map, u32 attribute, u64 m, u64 a, u64 c, u64 b, const wchar_t* name,
                    bool is_path);
