#include "framework/text/qz_html_tokens.h"

#include <cstring>
#include <string_view>

#include "framework/text/qz_html_attr.h"
#include "framework/text/qz_string.h"

namespace {

// Whether the first length units of token equal the ASCII text prefix without regard to case;
// false for a shorter token.
template <typename Text>
bool has_prefix_nocase(const Text& token, std::string_view prefix) {
  if (token.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (to_lower_char(static_cast<int>(token[i])) != to_lower_char(prefix[i])) return false;
  }
  return true;
}

// The tokenizer over units of any width; emit appends one finished text or tag token.
template <typename Unit, typename Text, typename Emit>
void tokenize_units(const Unit* units, size_t count, std::vector<Text>& tokens, Emit emit) {
  bool in_tag = false, in_block = false;
  Text text, tag;
  for (size_t i = 0; i < count; ++i) {
    const Unit c = units[i];
    bool ordinary = true;
    if (c == '<') {
      const Unit next = i + 1 < count ? units[i + 1] : Unit(0);
      if (!in_block && (next == '%' || next == '?')) {
        tokens.push_back(text);
        text.clear();
        in_block = in_tag = true;
        tag += c;
        ordinary = false;
      } else if (!in_block || next == '/') {
        emit(text);
        text.clear();
        in_block = false;
        in_tag = true;
        tag += c;
        ordinary = false;
      }
    }
    if (ordinary) (in_tag ? tag : text) += c;
    if (c != '>') continue;
    if (tag.empty()) {
      in_tag = false;
      continue;
    }
    if (in_block) {
      const Unit before = i > 0 ? units[i - 1] : Unit(0);
      if (before != '%' && before != '?') continue;
      in_block = false;
    } else if (has_prefix_nocase(tag, "<pre>") || has_prefix_nocase(tag, "<script")) {
      in_block = true;
    } else if (has_prefix_nocase(tag, "</pre>") || has_prefix_nocase(tag, "</script")) {
      in_block = false;
    }
    emit(tag);
    tag.clear();
    in_tag = false;
  }
}

template <typename Text>
void normalize_tag(Text& token) {
  using Unit = typename Text::value_type;
  bool in_double = false, in_single = false, eq = false, sp = false;
  bool remove_last = false, skip = false, start_value = false, in_value = false,
       close_value = false;
  Text out;
  out.reserve(token.size() + 4);
  for (const Unit c : token) {
    if (c == '=' && !in_double && !in_single) {
      eq = true;
      if (sp) remove_last = true;
    } else if (c == '>') {
      if (in_value) close_value = true;
      sp = false;
    } else if (c == '"') {
      if (!in_single) in_double = !in_double;
      eq = false;
    } else if (c == '\'') {
      if (!in_double) in_single = !in_single;
      eq = false;
    } else if (c == ' ') {
      if (sp || eq) skip = true;
      sp = true;
      if (in_value) close_value = true;
    } else if (c == '\t' || c == '\n' || c == '\r') {
      if (sp || eq) skip = true;
      if (in_value) close_value = true;
    } else if (eq) {
      start_value = true;
      eq = sp = false;
    } else {
      sp = false;
    }

    if (remove_last) {
      if (!out.empty()) out.pop_back();
      remove_last = false;
    }
    const Unit lowered = static_cast<Unit>(to_lower_char(static_cast<int>(c)));
    if (skip) {
      skip = false;
    } else if (in_double || in_single) {
      out += c;
    } else if (start_value) {
      out += Unit('"');
      out += c;
      in_value = true;
      start_value = false;
    } else if (close_value) {
      out += Unit('"');
      out += lowered;
      start_value = in_value = close_value = false;
    } else {
      out += lowered;
    }
  }
  token.swap(out);
}

template <typename Text>
bool normalize_tags(std::vector<Text>& tokens) {
  if (tokens.empty()) return false;
  for (auto& token : tokens) {
    if (token.empty() || token[0] != '<') continue;
    if (has_prefix_nocase(token, "<?") || has_prefix_nocase(token, "<%")) continue;
    normalize_tag(token);
  }
  return true;
}

bool starts_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The decimal number at the start of text (0 when it starts with no digit). Headings go up to
// 6; longer digit runs are cut at 4 digits so that no tag asks for a huge run of "=".
u32 leading_number(std::string_view text) {
  u32 value = 0;
  for (size_t i = 0; i < text.size() && i < 4 && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10 + static_cast<u32>(text[i] - '0');
  return value;
}

}  // namespace

bool tokenize_html(const char* buffer, u32 length, std::vector<std::string>& tokens, bool trim) {
  if (buffer != nullptr) {
    tokenize_units(buffer, length, tokens, [&](const std::string& token) {
      if (!trim) {
        tokens.push_back(token);
        return;
      }
      std::string trimmed = token;
      if (trim_whitespace(trimmed)) tokens.push_back(std::move(trimmed));
    });
  }
  return !tokens.empty();
}

bool tokenize_html_utf16(const u16* buffer, u32 length, std::vector<std::wstring>& tokens) {
  if (buffer != nullptr) {
    tokenize_units(buffer, length / 2, tokens,
                   [&](const std::wstring& token) { tokens.push_back(token); });
  }
  return !tokens.empty();
}

bool normalize_html_tags(std::vector<std::string>& tokens) { return normalize_tags(tokens); }

bool normalize_html_tags_wide(std::vector<std::wstring>& tokens) { return normalize_tags(tokens); }

void write_wiki_text(std::ostream& out, const std::vector<std::string>& tokens) {
  bool ordered = false;
  int item = 0;
  for (const auto& token : tokens) {
    const size_t lt = token.find('<');
    if (lt == std::string::npos) {
      out << token;
      continue;
    }
    const std::string_view tag = std::string_view(token).substr(lt);
    if (starts_with(tag, "<h")) {
      out << std::string(leading_number(tag.substr(2)), '=');
    } else if (starts_with(tag, "</h")) {
      out << std::string(leading_number(tag.substr(3)), '=');
    } else if (starts_with(tag, "<pre")) {
      out << "[%";
    } else if (starts_with(tag, "<p")) {
      out << "\n";
    } else if (starts_with(tag, "<br/>")) {
      out << "// ";
    } else if (starts_with(tag, "<blockquote")) {
      out << "[\"";
    } else if (starts_with(tag, "</blockquote")) {
      out << "\"]";
    } else if (starts_with(tag, "</pre")) {
      out << "%]";
    } else if (starts_with(tag, "<i>") || starts_with(tag, "</i>") ||
               starts_with(tag, "<strong>") || starts_with(tag, "</strong>")) {
      out << "*";
    } else if (starts_with(tag, "<b>") || starts_with(tag, "</b>")) {
      out << "_";
    } else if (starts_with(tag, "<sup") || starts_with(tag, "</sup")) {
      out << "^";
    } else if (starts_with(tag, "<sub") || starts_with(tag, "</sub")) {
      out << "~";
    } else if (starts_with(tag, "<code") || starts_with(tag, "</code")) {
      out << "%";
    } else if (starts_with(tag, "<img ")) {
      // "[" only together with a source: an image with alt text alone gives ", alt]".
      std::string value;
      const auto length = static_cast<i32>(token.size());
      if (attribute_value(token.data(), length, "src", value)) out << "[" << value;
      if (attribute_value(token.data(), length, "alt", value)) out << ", " << value;
      out << "]";
    } else if (starts_with(tag, "<ul")) {
      ordered = false;
    } else if (starts_with(tag, "<ol")) {
      ordered = true;
      item = 0;
    } else if (starts_with(tag, "<li")) {
      if (ordered)
        out << ++item << ". ";
      else
        out << "*";
    }
  }
}
