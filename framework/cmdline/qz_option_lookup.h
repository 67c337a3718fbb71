// Option look-up in argument vectors: find an option by name, take the entries after it as
// its values and remove what was taken, so that a later parser sees only the rest. Names
// match entries of equal length without regard to ASCII case; only the first match counts.
// A value is simply the next entry, whatever it holds. Vector forms search from entry 0;
// array forms (count and C-string pointers) always from entry 1, the program. Every member
// returns false and changes nothing (outputs included) when it does not find all it needs.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// false when the lengths differ; otherwise lower-cases a and b in place and returns whether
// they are then equal.
bool is_option_equal(std::string& a, std::string& b);
// is_option_equal on copies: entry and name keep their case.
bool option_matches(const std::string& entry, const std::string& name);

// "-" followed by the bytes of code from the most significant down, keeping only 'a'-'z':
// a code whose bytes spell "quiet" gives "-quiet".
std::string packed_option_name(u64 code);

// ---- Vector forms ----

// Whether name is in args; removes the first match unless keep.
bool find_option_flag(const char* name, std::vector<std::string>& args, bool keep);
// find_option_flag with the name packed_option_name(code).
bool find_option_flag_packed(u64 code, std::vector<std::string>& args, bool keep);
// value = the entry after the first match; both are removed. An option in last place is
// neither taken nor removed.
bool find_option_value(const char* name, std::string& value, std::vector<std::string>& args);
bool find_option_value_str(const std::string& name, std::string& value,
                           std::vector<std::string>& args);
// find_option_value with two (three) values; the option and its values are removed.
bool find_option_value2(const char* name, std::string& value1, std::string& value2,
                        std::vector<std::string>& args);
bool find_option_value3(const char* name, std::string& value1, std::string& value2,
                        std::string& value3, std::vector<std::string>& args);
// value = the entry after the first match, searching from entry 1 when skip_first; nothing
// is removed.
bool get_option_value(const char* name, std::string& value, const std::vector<std::string>& args,
                      bool skip_first);
// Whether any entry matches, searching from entry 1 when skip_first.
bool option_present(const char* name, const std::vector<std::string>& args, bool skip_first);
// out = the first matching entry as written (its own case); the entry is removed.
bool find_option_entry(const char* name, std::string& out, std::vector<std::string>& args);

// ---- Argument-array forms (entry 0 is never matched; removal lowers *count) ----

// Whether name is in the array; removes the first match unless keep.
bool find_option_flag_argv(const char* name, int* count, char** argv, bool keep);
// find_option_flag_argv with keep set.
bool option_present_argv(const char* name, int* count, char** argv);
// value = the entry after the first match; both are removed (*count two smaller).
bool find_option_value_argv(const char* name, std::string& value, int* count, char** argv);
// value = the entry after the first match; nothing is removed.
bool get_option_value_argv(const char* name, std::string& value, int* count, char** argv);
// Two (three, four) values after the first match; the option and its values are removed.
bool find_option_value2_argv(const char* name, std::string& value1, std::string& value2, int* count,
                             char** argv);
bool find_option_value3_argv(const char* name, std::string& value1, std::string& value2,
                             std::string& value3, int* count, char** argv);
bool find_option_value4_argv(const char* name, std::string& value1, std::string& value2,
                             std::string& value3, std::string& value4, int* count, char** argv);

// ---- Shared by the narrow and wide look-ups ----

namespace option_lookup {

// Finds the first entry at or after from that matches (matches(entry) holds); when
// value_count entries follow it, copies them into values[0..value_count) and returns its
// index. -1, values untouched, when there is no match or too few entries follow it.
template <class Str, class Match>
std::ptrdiff_t copy_option_values(const std::vector<Str>& args, std::size_t from, Match matches,
                                  Str* const* values, std::size_t value_count) {
  std::size_t at = from;
  while (at < args.size() && !matches(args[at])) ++at;
  if (at >= args.size() || args.size() - at - 1 < value_count) return -1;
  for (std::size_t k = 0; k < value_count; ++k) *values[k] = args[at + 1 + k];
  return static_cast<std::ptrdiff_t>(at);
}

// Erases the option at index at and the value_count entries after it.
template <class Str>
void erase_option(std::vector<Str>& args, std::ptrdiff_t at, std::size_t value_count) {
  auto first = args.begin() + at;
  args.erase(first, first + static_cast<std::ptrdiff_t>(value_count + 1));
}

// The array form of copy_option_values: searches from entry 1 of the count entries of argv;
// matches receives each entry, possibly null, and a null value is copied as an empty text.
template <class Ch, class Match>
int copy_argv_values(int count, Ch* const* argv, Match matches,
                     std::basic_string<Ch>* const* values, std::size_t value_count) {
  if (!argv || count < 2) return -1;
  int at = 1;
  while (at < count && !matches(argv[at])) ++at;
  if (at >= count || static_cast<std::size_t>(count - at - 1) < value_count) return -1;
  for (std::size_t k = 0; k < value_count; ++k) {
    const Ch* entry = argv[static_cast<std::size_t>(at) + 1 + k];
    if (entry)
      values[k]->assign(entry);
    else
      values[k]->clear();
  }
  return at;
}

}  // namespace option_lookup
