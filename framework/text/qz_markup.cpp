#include "framework/text/qz_markup.h"

#include <algorithm>
#include <cstring>

namespace {

template <typename Text>
bool extract_element_of(Text& element, Text& text, const Text& tag, const Text& open_mark,
                        const Text& close_mark) {
  element.clear();
  if (text.empty() || tag.empty()) return false;
  const auto start = text.find(open_mark + tag);
  if (start == Text::npos) return false;
  const Text closing = close_mark + tag + Text(1, '>');
  const auto close_at = text.find(closing, start + tag.size());
  if (close_at == Text::npos) return false;
  const auto end = close_at + closing.size();
  element = text.substr(start, end - start);
  text.erase(start, end - start);
  return true;
}

u32 length_u32(const std::string& s) { return static_cast<u32>(s.size()); }

}  // namespace

bool extract_element(std::string& element, std::string& text, const std::string& tag) {
  return extract_element_of(element, text, tag, std::string("<"), std::string("</"));
}

bool extract_element_wide(std::wstring& element, std::wstring& text, const std::wstring& tag) {
  return extract_element_of(element, text, tag, std::wstring(L"<"), std::wstring(L"</"));
}

bool remove_parenthesized(const std::string& in, std::string& out) {
  out.clear();
  if (in.empty() || in.find('(') == std::string::npos) return false;
  out = in;
  bool removed = false;
  for (;;) {
    const auto open = out.find('(');
    if (open == std::string::npos) break;
    const auto close = out.find(')', open);
    if (close == std::string::npos) break;
    out.erase(open, close - open + 1);
    removed = true;
  }
  return removed;
}

bool text_in_parentheses(const std::string& in, std::string& out) {
  out.clear();
  const auto open = in.find('(');
  const auto close = in.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close <= open) return false;
  out = in.substr(open + 1, close - open - 1);
  return !out.empty();
}

bool text_between_markers(const char* text, const char* after, const char* open, const char* close,
                          std::string& out) {
  out.clear();
  if (text == nullptr || open == nullptr || close == nullptr) return false;
  const char* from = text;
  if (after != nullptr) {
    const char* found = std::strstr(from, after);
    if (found == nullptr) return false;
    from = found + std::strlen(after);
  }
  const char* open_at = std::strstr(from, open);
  if (open_at == nullptr) return false;
  const char* value = open_at + std::strlen(open);
  const char* close_at = std::strstr(value, close);
  if (close_at == nullptr) return false;
  out.assign(value, close_at);
  return true;
}

bool measure_text_block(u32& lines, i32& widest, const std::string& text) {
  lines = 1;
  widest = 0;
  size_t line_start = 0;
  for (;;) {
    const auto line_end = text.find('\n', line_start);
    const size_t piece_end = line_end == std::string::npos ? text.size() : line_end;
    widest = std::max(widest, static_cast<i32>(piece_end - line_start));
    if (line_end == std::string::npos) break;
    ++lines;
    line_start = line_end + 1;
  }
  return true;
}

bool column_widths(std::vector<u32>& widths, const std::vector<std::vector<std::string>>& rows) {
  widths.clear();
  if (rows.empty()) return false;
  for (const auto& row : rows) {
    for (size_t j = 0; j < row.size(); ++j) {
      if (j >= widths.size())
        widths.push_back(length_u32(row[j]));
      else
        widths[j] = std::max(widths[j], length_u32(row[j]));
    }
  }
  return !widths.empty();
}

bool update_column_widths(std::vector<u32>& widths, const std::vector<std::string>& row, u32 cap) {
  if (row.empty()) return false;
  for (size_t i = 0; i < row.size(); ++i) {
    const u32 length = length_u32(row[i]);
    if (i >= widths.size())
      widths.push_back(std::min(length, cap));
    else if (length > widths[i])
      widths[i] = std::max(widths[i], std::min(length, cap));
  }
  return true;
}
