#include "framework/text/qz_html_attr.h"

#include <cstring>
#include <string_view>

#include "framework/text/qz_split.h"
#include "framework/text/qz_string.h"

namespace {

constexpr size_t npos = std::string_view::npos;
constexpr size_t longest_attribute_name = 256;

// The text of a buffer as far as its length and any NUL within it allow.
std::string_view bounded_text(const char* buffer, u64 length) {
  return std::string_view(buffer, strnlen(buffer, static_cast<size_t>(length)));
}

bool is_blank_or_cr(char c) { return c == ' ' || c == '\r'; }

// The scan shared by find_attribute_value and attribute_value_span. equals_at = position of
// the "=" (the text's length when there is none); value_end = one past the last source
// character the value covers (closing quote included).
bool scan_attribute(std::string_view text, const char* name, std::string& value, size_t& equals_at,
                    size_t& value_end) {
  value.clear();
  equals_at = value_end = 0;
  if (name == nullptr) return false;
  const size_t name_length = std::strlen(name);
  if (name_length > longest_attribute_name || text.size() <= name_length) return false;
  for (size_t i = 0; i < text.size() - name_length; ++i) {
    if (!bytes_equal_nocase(text.data() + i, name, static_cast<int>(name_length))) continue;
    equals_at = text.find('=', i);
    if (equals_at == npos) equals_at = text.size();
    size_t at = equals_at + 1;
    while (at < text.size() && text[at] == ' ') ++at;
    if (at >= text.size()) return false;
    const char quote = text[at];
    if (quote != '"' && quote != '\'') {
      for (; at < text.size(); ++at) {
        if (is_blank_or_cr(text[at])) {
          value_end = at;
          return true;
        }
        value += text[at];
      }
      return false;
    }
    for (++at; at < text.size(); ++at) {
      if (text[at] == quote) {
        value_end = at + 1;
        return true;
      }
      if (text[at] != '\r' && text[at] != '\n') value += text[at];
    }
    return false;
  }
  return false;
}

// Runs find_attribute_value with each name on every tag of the buffer, appending what it finds.
bool collect_values(const u8* buffer, u32 length, std::vector<std::string>& values,
                    std::initializer_list<const char*> names) {
  if (buffer == nullptr || length == 0 || length > 0x7fffffffu) return false;
  std::vector<std::string> tags;
  if (!split_tags(buffer, static_cast<int>(length), tags)) return false;
  std::string value;
  for (const auto& tag : tags) {
    for (const char* name : names) {
      if (find_attribute_value(tag.data(), tag.size(), name, value)) values.push_back(value);
    }
  }
  return !values.empty();
}

}  // namespace

string_offset_size::string_offset_size(std::string value_text, unsigned long long value_offset,
                                       unsigned long long value_size)
    : text(std::move(value_text)), offset(value_offset), size(value_size) {}

void string_offset_size::clear() {
  text.clear();
  text2.clear();
  text3.clear();
  word1 = word2 = offset = size = 0;
}

bool attribute_value(const char* buffer, i32 length, const char* name, std::string& value) {
  value.clear();
  if (buffer == nullptr || name == nullptr || length <= 0) return false;
  const std::string_view text = bounded_text(buffer, static_cast<u64>(length));
  const size_t name_at = text.find(name);
  if (name_at == npos) return false;
  const size_t equals_at = text.find('=', name_at);
  if (equals_at == npos) return false;
  const size_t open_quote = text.find('"', equals_at);
  if (open_quote == npos) return false;
  const size_t close_quote = text.find('"', open_quote + 1);
  if (close_quote == npos) return false;
  value = text.substr(open_quote + 1, close_quote - open_quote - 1);
  return true;
}

bool nth_attribute(const char* tag, i32 length, i32 n, std::string& name, std::string& value) {
  name.clear();
  value.clear();
  if (tag == nullptr || length <= 0 || n <= 0) return false;
  const std::string_view text = bounded_text(tag, static_cast<u64>(length));
  if (text.size() < 2 || text[0] != '<' || text[1] == ' ') return false;
  const size_t tag_end = text.find('>');
  if (tag_end == npos) return false;
  size_t wanted_equals = 0;
  for (i32 k = 0; k < n; ++k) {
    wanted_equals = text.find('=', k == 0 ? 1 : wanted_equals + 1);
    if (wanted_equals == npos || wanted_equals > tag_end) return false;
  }
  const size_t first_blank = text.find(' ');
  if (first_blank == npos || first_blank > wanted_equals) return false;
  size_t scan = first_blank + 1;
  for (;;) {
    const size_t equals_at = text.find('=', scan);
    if (equals_at == wanted_equals) break;
    const size_t open_quote = text.find('"', equals_at);
    if (open_quote == npos || open_quote > tag_end) return false;
    const size_t close_quote = text.find('"', open_quote + 1);
    if (close_quote == npos || close_quote + 1 >= tag_end) return false;
    scan = close_quote + 1;
    if (scan > wanted_equals) return false;
  }
  for (size_t i = scan; i < wanted_equals; ++i) {
    if (text[i] != ' ') name += text[i];
  }
  const size_t open_quote = text.find('"', wanted_equals);
  if (open_quote == npos || open_quote > tag_end) return false;
  const size_t close_quote = text.find('"', open_quote + 1);
  if (close_quote == npos || close_quote > tag_end) return false;
  value = text.substr(open_quote + 1, close_quote - open_quote - 1);
  return true;
}

bool text_between_tags(const char* buffer, i32 length, const char* tag_name, std::string& text) {
  text.clear();
  if (buffer == nullptr || tag_name == nullptr || length <= 0) return false;
  const std::string_view page = bounded_text(buffer, static_cast<u64>(length));
  const size_t open_at = page.find(std::string("<") + tag_name);
  if (open_at == npos) return false;
  const size_t open_end = page.find('>', open_at);
  if (open_end == npos) return false;
  const size_t close_at = page.find(std::string("</") + tag_name + ">", open_end + 1);
  if (close_at == npos) return false;
  text = page.substr(open_end + 1, close_at - open_end - 1);
  return true;
}

bool find_attribute_value(const char* text, u64 length, const char* name, std::string& value) {
  value.clear();
  if (text == nullptr) return false;
  size_t equals_at = 0, value_end = 0;
  return scan_attribute(bounded_text(text, length), name, value, equals_at, value_end);
}

bool attribute_value_span(const html_tag_record& tag, u64 length, const char* name,
                          string_offset_size& out) {
  out.clear();
  const std::string_view text(tag.first.data(), std::min<u64>(length, tag.first.size()));
  size_t equals_at = 0, value_end = 0;
  if (!scan_attribute(text, name, out.text, equals_at, value_end)) return false;
  out.offset = static_cast<u64>(static_cast<i64>(tag.second)) + equals_at;
  out.size = value_end - (equals_at + 1);
  return true;
}

bool extract_links(const u8* buffer, u32 length, html_link_map& links) {
  if (buffer == nullptr || length == 0 || length > 0x7fffffffu) return false;
  std::vector<html_tag_record> tags;
  if (!split_tags_with_offsets(buffer, static_cast<int>(length), tags)) return false;
  string_offset_size link;
  for (const auto& tag : tags) {
    if (attribute_value_span(tag, tag.first.size(), "href", link) ||
        attribute_value_span(tag, tag.first.size(), "src", link)) {
      links.emplace(link.text,
                    std::make_pair(static_cast<i32>(link.offset), static_cast<i32>(link.size)));
    }
  }
  return !links.empty();
}

bool collect_src_values(const u8* buffer, u32 length, std::vector<std::string>& values) {
  return collect_values(buffer, length, values, {"src"});
}

bool collect_href_values(const u8* buffer, u32 length, std::vector<std::string>& values) {
  return collect_values(buffer, length, values, {"href"});
}

bool collect_link_values(const u8* buffer, u32 length, std::vector<std::string>& values) {
  return collect_values(buffer, length, values, {"href", "src"});
}
