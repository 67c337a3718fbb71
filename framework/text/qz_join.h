// Putting texts together: joining lists with a separator or with quotes for a command line,
// quoted name:value pairs, visible line-end marks and LF to CR LF. Outputs passed by
// reference are replaced, not appended to.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// The entries in order with sep between two of them; with skip_empty, empty entries and
// their separators are left out.
std::string join_strings(const std::vector<std::string>& list, const std::string& sep,
                         bool skip_empty);
std::wstring join_strings_wide(const std::vector<std::wstring>& list, const std::wstring& sep,
                               bool skip_empty);
// out = the non-empty entries separated by one blank, an entry holding a blank wrapped in
// double quotes (its own quotes kept), then trimmed; *count = number of entries (count may be
// null). False, out empty, for an empty list.
bool join_quoted(std::string& out, int* count, const std::vector<std::string>& list);
bool join_quoted_wide(std::wstring& out, int* count, const std::vector<std::wstring>& list);
// out = the non-empty arguments separated by one blank, then trimmed. An argument holding a
// blank, and with quote_values every later argument not beginning with "-", loses its double
// quotes and is wrapped in a pair of them. *count = number of arguments (count may be null).
// False, out empty, for an empty list.
bool join_command_line(std::string& out, int* count, const std::vector<std::string>& args,
                       bool quote_values);
// Writes "name":"value" for every name (an empty value where values runs short), the pairs
// separated by sep and a blank.
void write_quoted_pairs(std::ostream& os, const std::vector<std::string>& names,
                        const std::vector<std::string>& values, char sep);
// The text between double quotes as one CSV field: every double quote inside it doubled.
std::string csv_quoted(const std::string& text);
// Replaces line ends in place by "[CRLF]", "[LFCR]" and "[LF]"; a CR becomes "[CR]" only in a
// text without any LF. Returns text.
std::string& mark_line_endings(std::string& text);
std::wstring& mark_line_endings_wide(std::wstring& text);
// When the n bytes end their lines with LF alone: out = the bytes with a CR before every LF,
// true. Otherwise false and out untouched.
bool lf_to_crlf(const u8* buf, u32 n, std::string& out);

namespace qz_join_detail {

// Appends the entries from first to last to out with sep between two of them; with
// skip_empty, empty entries and their separators are left out.
template <class Str, class It>
void append_joined(Str& out, It first, It last, const Str& sep, bool skip_empty) {
  bool any = false;
  for (; first != last; ++first) {
    if (skip_empty && first->empty()) continue;
    if (any) out += sep;
    out += *first;
    any = true;
  }
}

// Appends entry to out, wrapped in two quote characters when it holds a blank.
template <class Str>
void append_quoted_if_blank(Str& out, const Str& entry, typename Str::value_type quote) {
  if (entry.find(typename Str::value_type(' ')) == Str::npos) {
    out += entry;
    return;
  }
  out += quote;
  out += entry;
  out += quote;
}

}  // namespace qz_join_detail
