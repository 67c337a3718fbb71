#include "framework/text/qz_text_layout.h"

#include <iomanip>

void write_padding(std::ostream& out, u32 n) {
  if (n == 0) return;
  out << std::setfill(' ') << std::setw(static_cast<int>(n)) << ' ';
}
