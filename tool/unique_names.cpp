#include "tool/unique_names.h"

std::string unique_name(std::set<std::string>& used, const std::string& stem, const std::string& tail) {
  std::string name = stem + tail;
  for (int copy = 2; !used.insert(name).second; ++copy) name = stem + "-" + std::to_string(copy) + tail;
  return name;
}
