#include "framework/text/qz_u64_sets.h"

#include <algorithm>
#include <iterator>

bool u64_set_difference(std::vector<u64>& out, const std::set<u64>& a, const std::set<u64>& b) {
  out.clear();
  if (a.empty()) return false;
  if (b.empty()) {
    out.assign(a.begin(), a.end());
    return false;
  }
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
  return out.empty();
}

bool u64_set_symmetric_difference(std::vector<u64>& out, const std::set<u64>& a,
                                  const std::set<u64>& b) {
  out.clear();
  if (a.empty() != b.empty()) {
    const auto& other = a.empty() ? b : a;
    out.assign(other.begin(), other.end());
    return false;
  }
  std::set_symmetric_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
  return out.empty();
}
