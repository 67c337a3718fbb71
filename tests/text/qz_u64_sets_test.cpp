#include "framework/text/qz_u64_sets.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using numbers = std::vector<u64>;

TEST(U64Sets, DifferenceAndSymmetricDifference) {
  struct Case {
    const char* name;
    std::set<u64> a, b;
    bool difference_ok;
    numbers difference;
    bool symmetric_ok;
    numbers symmetric;
  };
  const Case cases[] = {
      {"overlap", {1, 2, 3}, {2}, false, {1, 3}, false, {1, 3}},
      {"a within b", {2}, {1, 2, 3}, true, {}, false, {1, 3}},
      {"empty a", {}, {1}, false, {}, false, {1}},
      {"empty b", {5, 4}, {}, false, {4, 5}, false, {4, 5}},
      {"equal", {7, 9}, {9, 7}, true, {}, true, {}},
      {"both empty", {}, {}, false, {}, true, {}},
      {"partly apart", {1, 2}, {2, 3}, false, {1}, false, {1, 3}},
      {"large values", {~u64{0}, 0}, {0}, false, {~u64{0}}, false, {~u64{0}}},
  };
  for (const auto& c : cases) {
    numbers out = {42};
    EXPECT_EQ(u64_set_difference(out, c.a, c.b), c.difference_ok) << c.name;
    EXPECT_EQ(out, c.difference) << c.name;
    out = {42};
    EXPECT_EQ(u64_set_symmetric_difference(out, c.a, c.b), c.symmetric_ok) << c.name;
    EXPECT_EQ(out, c.symmetric) << c.name;
  }
}

}  // namespace
