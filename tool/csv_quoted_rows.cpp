#include "tool/csv_quoted_rows.h"

namespace {

constexpr std::string_view around = " \t\r\n";

// Blanks before a field's opening quote: TAB is one only where it separates nothing.
std::size_t skip_blanks(std::string_view text, std::size_t i, char separator) {
  while (i < text.size() && (text[i] == ' ' || (text[i] == '\t' && separator != '\t'))) ++i;
  return i;
}

// The end of the quoted part that starts after an opening quote at i: the index after the
// closing quote, or npos when the text ends inside it.
std::size_t after_closing_quote(std::string_view text, std::size_t i) {
  for (;;) {
    const std::size_t quote = text.find('"', i);
    if (quote == std::string_view::npos) return quote;
    if (quote + 1 < text.size() && text[quote + 1] == '"') {
      i = quote + 2;
      continue;
    }
    return quote + 1;
  }
}

std::size_t find_separator(std::string_view text, std::size_t i, char separator) {
  if (separator == 0) return std::string_view::npos;
  return text.find(separator, i);
}

}  // namespace

quote_scan scan_quotes(std::string_view text, char separator, quote_scan state) {
  std::size_t i = 0;
  while (i < text.size()) {
    if (state.in_quotes) {
      const std::size_t after = after_closing_quote(text, i);
      if (after == std::string_view::npos) return state;
      state.in_quotes = false;
      i = after;
    } else if (state.field_start) {
      i = skip_blanks(text, i, separator);
      if (i == text.size()) return state;
      state.field_start = false;
      if (text[i] == '"') {
        state.in_quotes = true;
        ++i;
        continue;
      }
    }
    // The unquoted rest of the field runs to the next separator.
    const std::size_t next = find_separator(text, i, separator);
    if (next == std::string_view::npos) return state;
    i = next + 1;
    state.field_start = true;
  }
  return state;
}

std::string_view bare_text(std::string_view text) {
  auto trim = [](std::string_view t) {
    const std::size_t first = t.find_first_not_of(around);
    if (first == std::string_view::npos) return std::string_view();
    return t.substr(first, t.find_last_not_of(around) - first + 1);
  };
  text = trim(text);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = trim(text.substr(1, text.size() - 2));
  return text;
}

std::string_view bare_cell(std::string_view row, char separator, std::size_t index) {
  std::size_t begin = 0;
  for (std::size_t k = 0;; ++k) {
    std::size_t i = skip_blanks(row, begin, separator);
    if (i < row.size() && row[i] == '"') {
      i = after_closing_quote(row, i + 1);
      if (i == std::string_view::npos) i = row.size();
    }
    std::size_t end = find_separator(row, i, separator);
    if (end == std::string_view::npos) end = row.size();
    if (k == index) return bare_text(row.substr(begin, end - begin));
    if (end == row.size()) return std::string_view();
    begin = end + 1;
  }
}

bool quoted_row_joiner::start(const std::string& line, std::string_view line_end, char separator) {
  state_ = scan_quotes(line, separator);
  if (!state_.in_quotes) return false;
  active_ = true;
  separator_ = separator;
  row_ = line;
  row_ += line_end;
  lines_.clear();
  lines_.push_back(row_);
  return true;
}

quoted_row_joiner::step quoted_row_joiner::add(const std::string& line) {
  if (lines_.size() >= max_lines || row_.size() + line.size() > max_bytes) {
    active_ = false;
    return step::given_up;
  }
  row_ += line;
  lines_.push_back(line);
  state_ = scan_quotes(line, separator_, state_);
  if (state_.in_quotes) return step::held;
  active_ = false;
  return step::joined;
}

void quoted_row_joiner::clear() {
  active_ = false;
  row_.clear();
  lines_.clear();
}
