// The separator the CSV-writing writers (split files, cleaned-up copy) put between the cells of
// their lines, and what stands in for it inside a cell, so that a reader never cuts a cell in two:
// one rule for both writers.
#pragma once

#include <cstring>
#include <string>
#include <string_view>

#include "framework/cmdline/qz_cmd_params.h"

// One character that must not reach an output cell as it is, and what stands for it (from 0:
// none).
struct char_swap {
  char from = 0;
  char to = 0;
};

// Replaces every swap.from in [begin, end) by swap.to; nothing when swap.from is 0. Asked for
// every cell, so defined here for the writers to inline.
inline void swap_chars(char* begin, char* end, char_swap swap) {
  if (swap.from == 0) return;
  while ((begin = static_cast<char*>(std::memchr(begin, swap.from, static_cast<size_t>(end - begin)))) !=
         nullptr) {
    *begin++ = swap.to;
  }
}

// The text between the cells of an output line, and the swap that keeps a cell from holding it.
struct output_separator {
  std::string_view text;
  char_swap in_cell;
};

// The rule for a separator text (the user's, or the source's own). The text written is the text
// unchanged, "\t" for one naming TAB (names_tab_separator); it points into text or at static
// storage. When the separator's core (the text without the blanks and TABs around it; all of it
// when that leaves nothing) is one character other than a blank, that character inside a cell
// becomes params.separator_replacement when params.separator_char is that character, else ';'
// for '|' and a blank for any other. A longer core that holds params.separator_char has that
// character replaced by params.separator_replacement.
// Asked for every row by the cleanup writer, so defined here for it to inline.
inline output_separator output_separator_for(const std::string& text, const cmd_params& params) {
  output_separator separator;
  // Asked for every row: a separator of one character is itself and its own core.
  separator.text = text.size() > 1 && names_tab_separator(text) ? std::string_view("\t") : std::string_view(text);
  std::string_view core = separator.text;
  if (core.size() > 1) {
    const size_t first = core.find_first_not_of(" \t");
    if (first != std::string_view::npos) core = core.substr(first, core.find_last_not_of(" \t") - first + 1);
  }
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
