#include "framework/text/qz_join.h"

#include <cstring>

#include "framework/text/qz_bytes.h"
#include "framework/text/qz_replace.h"
#include "framework/text/qz_string.h"

namespace {

template <class Str, class Trim>
bool join_quoted_list(Str& out, int* count, const std::vector<Str>& list, Trim&& trim) {
  out.clear();
  if (count) *count = static_cast<int>(list.size());
  if (list.empty()) return false;
  for (const Str& entry : list) {
    if (entry.empty()) continue;
    if (!out.empty()) out += typename Str::value_type(' ');
    qz_join_detail::append_quoted_if_blank(out, entry, typename Str::value_type('"'));
  }
  trim(out);
  return true;
}

template <class Str>
void append_mark(Str& out, const char* mark) {
  out.append(mark, mark + std::strlen(mark));
}

template <class Str>
Str& mark_line_ends(Str& text) {
  using Char = typename Str::value_type;
  constexpr Char lf = '\n';
  constexpr Char cr = '\r';
  // Most cell values hold no line end at all; they are left alone without a copy.
  if (text.empty() || text.find_first_of(Str{cr, lf}) == Str::npos) return text;
  Str marked;
  marked.reserve(text.size() + 50);
  size_t start = 0;
  if (text.find(lf) != Str::npos) {
    for (size_t p = text.find(lf); p != Str::npos; p = text.find(lf, p + 1)) {
      if (p > start && text[p - 1] == cr) {
        marked.append(text, start, p - 1 - start);
        append_mark(marked, "[CRLF]");
        start = p + 1;
      } else if (p + 1 < text.size() && text[p + 1] == cr) {
        marked.append(text, start, p - start);
        append_mark(marked, "[LFCR]");
        start = p + 2;
      } else {
        marked.append(text, start, p - start);
        append_mark(marked, "[LF]");
        start = p + 1;
      }
    }
  } else {
    for (size_t q = text.find(cr); q != Str::npos; q = text.find(cr, q + 1)) {
      marked.append(text, start, q - start);
      append_mark(marked, "[CR]");
      start = q + 1;
    }
  }
  marked.append(text, start, Str::npos);
  text = std::move(marked);
  return text;
}

}  // namespace

std::string join_strings(const std::vector<std::string>& list, const std::string& sep,
                         bool skip_empty) {
  std::string out;
  qz_join_detail::append_joined(out, list.begin(), list.end(), sep, skip_empty);
  return out;
}

std::wstring join_strings_wide(const std::vector<std::wstring>& list, const std::wstring& sep,
                               bool skip_empty) {
  std::wstring out;
  qz_join_detail::append_joined(out, list.begin(), list.end(), sep, skip_empty);
  return out;
}

bool join_quoted(std::string& out, int* count, const std::vector<std::string>& list) {
  return join_quoted_list(out, count, list, [](std::string& s) { trim_whitespace(s); });
}

bool join_quoted_wide(std::wstring& out, int* count, const std::vector<std::wstring>& list) {
  return join_quoted_list(out, count, list, [](std::wstring& s) { trim_whitespace_wide(s); });
}

bool join_command_line(std::string& out, int* count, const std::vector<std::string>& args,
                       bool quote_values) {
  out.clear();
  if (count) *count = static_cast<int>(args.size());
  if (args.empty()) return false;
  std::string unquoted;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.empty()) continue;
    if (i > 0) out += ' ';
    bool quoted = arg.find(' ') != std::string::npos || (quote_values && i > 0 && arg[0] != '-');
    if (!quoted) {
      out += arg;
      continue;
    }
    // Quotes of its own would end the wrapping pair early.
    unquoted = arg;
    remove_char(unquoted, '"');
    out += '"';
    out += unquoted;
    out += '"';
  }
  trim_whitespace(out);
  return true;
}

void write_quoted_pairs(std::ostream& os, const std::vector<std::string>& names,
                        const std::vector<std::string>& values, char sep) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) os << sep << ' ';
    os << '"' << names[i] << "\":\"";
    if (i < values.size()) os << values[i];
    os << '"';
  }
}

std::string& mark_line_endings(std::string& text) { return mark_line_ends(text); }

std::wstring& mark_line_endings_wide(std::wstring& text) { return mark_line_ends(text); }

bool lf_to_crlf(const u8* buf, u32 n, std::string& out) {
  if (!buf || detect_line_ending(buf, n) != line_ending_lf) return false;
  out.clear();
  out.reserve(n + n / 8 + 16);
  for (u32 i = 0; i < n; ++i) {
    if (buf[i] == '\n') out += '\r';
    out += static_cast<char>(buf[i]);
  }
  return true;
}

std::string csv_quoted(const std::string& text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '"';
  for (const char ch : text) {
    if (ch == '"') quoted += '"';
    quoted += ch;
  }
  quoted += '"';
  return quoted;
}
