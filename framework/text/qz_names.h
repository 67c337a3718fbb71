// Names composed from parts under a flag word (part count, case style, separator), key=value
// text read into a map, command lines and sets joined into one text, and lists cleared of
// duplicates. Case changes touch ASCII letters only.
#pragma once

#include <cstddef>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// Bits of the flag word of the name composers. The case style of a part is the first that
// applies of: capitalise every part, capitalise the first part (that part only), upper,
// lower. The separator is the first set of "_", " ", ".", "/", "\", "|"; none joins directly.
enum compose_name_flags : u32 {
  compose_count_mask = 0xF,  // number of parts; 0: up to the first 0 id (at most 10)
  compose_sep_bar = 0x200000,
  compose_keep_stream = 0x400000,  // compose_name_stream appends to the stream's text
  compose_lower = 0x800000,
  compose_sep_dot = 0x1000000,
  compose_sep_slash = 0x2000000,
  compose_sep_backslash = 0x4000000,
  compose_upper = 0x8000000,
  compose_sep_underscore = 0x10000000,
  compose_capitalize_all = 0x20000000,
  compose_capitalize_first = 0x40000000,
  compose_sep_blank = 0x80000000,
};

// Gives the text of a part's id; a null text counts as empty.
using compose_name_of = const char* (*)(u64 id);

// The name of the parts ids[0], ids[1], ... in their case style with the separator between
// them. Empty when an id among the counted ones is 0, when the count is 0 and no id or more
// than 10 come before the terminating 0, or for a null ids or name_of.
std::string compose_name(u32 flags, compose_name_of name_of, const u64* ids);
// compose_name written into out, whose text is emptied first unless compose_keep_stream is
// set. Returns out.
std::ostringstream& compose_name_stream(std::ostringstream& out, u32 flags,
                                        compose_name_of name_of, const u64* ids);
// Empty os; unless an id is 0, compose_name_stream of the ids with their number as count.
std::ostringstream& compose_name_stream_2(std::ostringstream& os, u32 flags,
                                          compose_name_of name_of, u64 id1, u64 id2);
std::ostringstream& compose_name_stream_3(std::ostringstream& os, u32 flags,
                                          compose_name_of name_of, u64 id1, u64 id2, u64 id3);
std::ostringstream& compose_name_stream_4(std::ostringstream& os, u32 flags,
                                          compose_name_of name_of, u64 id1, u64 id2, u64 id3,
                                          u64 id4);
std::ostringstream& compose_name_stream_5(std::ostringstream& os, u32 flags,
                                          compose_name_of name_of, u64 id1, u64 id2, u64 id3,
                                          u64 id4, u64 id5);
std::ostringstream& compose_name_stream_6(std::ostringstream& os, u32 flags,
                                          compose_name_of name_of, u64 id1, u64 id2, u64 id3,
                                          u64 id4, u64 id5, u64 id6);
std::ostringstream& compose_name_stream_7(std::ostringstream& os, u32 flags,
                                          compose_name_of name_of, u64 id1, u64 id2, u64 id3,
                                          u64 id4, u64 id5, u64 id6, u64 id7);

namespace qz_names_detail {
std::string compose_from_texts(u32 flags, const char* const* texts, size_t given);
}  // namespace qz_names_detail

// The name of the first (flags & compose_count_mask) texts. Empty for a count of 0 or a count
// above the number of texts given; a null text counts as empty.
template <class... Texts>
std::string compose_name_from_texts(u32 flags, Texts... texts) {
  const char* const list[] = {static_cast<const char*>(texts)..., nullptr};
  return qz_names_detail::compose_from_texts(flags, list, sizeof...(texts));
}

// out = the key=value pairs of the lines of data (trimmed): the key before a line's first
// "=", the value after it, neither trimmed again; lines without "=" are passed over and a
// key keeps its first value. True when out is non-empty.
bool key_value_map(std::map<std::string, std::string>& out, const std::vector<u8>& data);
// Writes the entries of a Zone.Identifier stream as zone_info={"key":"value";...} in key
// order; with annotate the value of a key beginning "ZoneId" that reads as 0-4 is followed by
// its zone label (" [internet]" for 3). Nothing for an empty map.
void write_zone_info(std::ostream& out, const std::map<std::string, std::string>& entries,
                     bool annotate);
// out = the arguments separated by single blanks, one holding a blank between two quote
// characters. Always true.
bool join_arg_list_quoted(std::string& out, const std::vector<std::string>& args, char quote);
// out = the items in order with separator between two of them; with skip_empty, empty items
// and their separators are left out. No separator is written after the last item, so nothing
// is taken off the end: an item's own last character stays even when it equals the separator
// ("a" and "b," give "a,b,"), as in join_strings. Returns out.
std::string& join_set(std::string& out, const std::set<std::string>& items,
                      const std::string& separator, bool skip_empty);
// Removes every string equal to an earlier one, keeping the order of the first occurrences.
void remove_duplicate_strings(std::vector<std::string>& list);
void remove_duplicate_strings_wide(std::vector<std::wstring>& list);
