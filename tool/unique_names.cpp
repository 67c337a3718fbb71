#include "tool/unique_names.h"

std::string unique_names::take(const std::string& stem, const std::string& tail) {
  std::string name = stem + tail;
  if (taken_.insert(name).second) return name;
  // The key tells the stem from the tail by the stem's length.
  unsigned long& copy = next_copy_.try_emplace(std::to_string(stem.size()) + ':' + name, 2).first->second;
  do {
    name = stem + "-" + std::to_string(copy++) + tail;
  } while (!taken_.insert(name).second);
  return name;
}
