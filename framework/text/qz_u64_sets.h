// Comparing two sets of 64-bit numbers. out is emptied first and receives its numbers in
// ascending order; the result says whether the sets stand in the asked relation.
#pragma once

#include <set>
#include <vector>

#include "framework/text/qz_types.h"

// out = the numbers of a that b lacks; true when there are none (a lies within b). An empty a
// gives false; an empty b gives all of a and false.
bool u64_set_difference(std::vector<u64>& out, const std::set<u64>& a, const std::set<u64>& b);
// out = the numbers in exactly one of the sets; true when there are none (the sets are
// equal). When exactly one set is empty, out = the other one and the result is false.
bool u64_set_symmetric_difference(std::vector<u64>& out, const std::set<u64>& a,
                                  const std::set<u64>& b);
