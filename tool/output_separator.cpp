#include "tool/output_separator.h"

#include <cstring>

void swap_chars(char* begin, char* end, char_swap swap) {
  if (swap.from == 0) return;
  while ((begin = static_cast<char*>(std::memchr(begin, swap.from, static_cast<size_t>(end - begin)))) !=
         nullptr) {
    *begin++ = swap.to;
  }
}

output_separator output_separator_for(const std::string& text, const cmd_params& params) {
  output_separator separator;
  separator.text = names_tab_separator(text) ? std::string_view("\t") : std::string_view(text);
  std::string_view core = separator.text;
  const size_t first = core.find_first_not_of(" \t");
  if (first != std::string_view::npos) core = core.substr(first, core.find_last_not_of(" \t") - first + 1);
  const char own = params.separator_char;
  const char replacement = params.separator_replacement;
  if (core.size() == 1 && core[0] != ' ') {
    const char c = core[0];
    char stand_in = c == '|' ? ';' : ' ';
    if (c == own && replacement != 0) stand_in = replacement;
    separator.in_cell = {c, stand_in};
  } else if (core.size() > 1 && own != 0 && replacement != 0 && core.find(own) != std::string_view::npos) {
    separator.in_cell = {own, replacement};
  }
  return separator;
}
