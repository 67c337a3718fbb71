// Text in 16- or 32-bit units for the tests of readers that must tell wide encodings apart.
#pragma once

#include <cstddef>
#include <string>

// mark, then every character of text (ASCII) as one unit of unit_bytes bytes, the character in
// its low byte (little) or its high byte, the others NUL.
inline std::string wide_text(const std::string& mark, const std::string& text, std::size_t unit_bytes,
                             bool little) {
  std::string bytes = mark;
  for (char c : text) {
    std::string unit(unit_bytes, '\0');
    unit[little ? 0 : unit_bytes - 1] = c;
    bytes += unit;
  }
  return bytes;
}
