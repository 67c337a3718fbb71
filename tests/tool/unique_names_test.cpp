#include "tool/unique_names.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// One call: a name taken as it stands (literal), or stem and tail made unique.
struct name_step {
  bool literal;
  const char* stem;
  const char* tail;
  const char* expected;  // the name take returns; for a literal, "" when it was taken already
};

struct names_case {
  const char* name;
  std::vector<name_step> steps;
};

const names_case names_cases[] = {
    {"repeats count on", {{false, "a", "", "a"}, {false, "a", "", "a-2"}, {false, "a", "", "a-3"}}},
    {"a later name equal to a copy gets its own copy",
     {{false, "a", "", "a"}, {false, "a", "", "a-2"}, {false, "a-2", "", "a-2-2"}, {false, "a-2", "", "a-2-3"}}},
    {"a copy skips a name given before",
     {{false, "a-2", "", "a-2"}, {false, "a", "", "a"}, {false, "a", "", "a-3"}, {false, "a", "", "a-4"}}},
    {"a copy skips a name given between copies",
     {{false, "a", "", "a"}, {false, "a", "", "a-2"}, {false, "a-3", "", "a-3"}, {false, "a-5", "", "a-5"},
      {false, "a", "", "a-4"}, {false, "a", "", "a-6"}}},
    {"empty names", {{false, "", "", ""}, {false, "", "", "-2"}, {false, "-2", "", "-2-2"}, {false, "", "", "-3"}}},
    {"the copy number goes before the tail",
     {{false, "out/x", ".html", "out/x.html"}, {false, "out/x", ".html", "out/x-2.html"},
      {false, "out/x-2", ".html", "out/x-2-2.html"}, {false, "out/x", ".html", "out/x-3.html"}}},
    {"each tail counts on its own",
     {{false, "x", ".html", "x.html"}, {false, "x", ".json", "x.json"}, {false, "x", ".html", "x-2.html"},
      {false, "x", ".json", "x-2.json"}}},
    {"stem and tail are told apart",
     {{false, "a", "b", "ab"}, {false, "ab", "", "ab-2"}, {false, "a", "b", "a-2b"}, {false, "ab", "", "ab-3"}}},
    {"names taken as they stand",
     {{true, "tool", "", "tool"}, {true, "tool", "", ""}, {false, "tool", "", "tool-2"}, {true, "tool-3", "", "tool-3"},
      {false, "tool", "", "tool-4"}}},
};

TEST(unique_names_test, gives_each_name_of_a_sequence) {
  for (const names_case& c : names_cases) {
    unique_names names;
    for (size_t i = 0; i < c.steps.size(); ++i) {
      const name_step& step = c.steps[i];
      if (step.literal) {
        EXPECT_EQ(names.insert(step.stem), *step.expected != '\0') << c.name << ", step " << i;
      } else {
        EXPECT_EQ(names.take(step.stem, step.tail), step.expected) << c.name << ", step " << i;
      }
    }
  }
}

TEST(unique_names_test, clear_forgets_names_and_copy_numbers) {
  unique_names names;
  names.take("a");
  names.take("a");
  names.clear();
  EXPECT_EQ(names.take("a"), "a");
  EXPECT_EQ(names.take("a"), "a-2");
}

// The names as a search from "-2" upwards gives them, for sequences of stems that produce each
// other's copies.
TEST(unique_names_test, matches_a_search_from_the_first_copy) {
  const std::vector<std::string> stems = {"a", "a-2", "a-3", "a-2-2", "", "-2", "b"};
  const std::vector<std::string> tails = {"", ".x", "-2"};
  std::mt19937 random(7);
  for (int sequence = 0; sequence < 200; ++sequence) {
    unique_names names;
    std::set<std::string> searched;
    for (int step = 0; step < 40; ++step) {
      const std::string& stem = stems[random() % stems.size()];
      const std::string& tail = tails[random() % tails.size()];
      if (random() % 5 == 0) {
        ASSERT_EQ(names.insert(stem + tail), searched.insert(stem + tail).second) << sequence << ":" << step;
        continue;
      }
      std::string expected = stem + tail;
      for (int copy = 2; !searched.insert(expected).second; ++copy) expected = stem + "-" + std::to_string(copy) + tail;
      ASSERT_EQ(names.take(stem, tail), expected) << sequence << ":" << step;
    }
  }
}

// A header of 64,000 empty names, or as many sources of one base name: one look-up per name.
// Searching from "-2" for each took minutes.
TEST(unique_names_test, many_equal_names_take_linear_time) {
  const auto start = std::chrono::steady_clock::now();
  unique_names names;
  std::string last;
  for (int i = 0; i < 64000; ++i) last = names.take("");
  for (int i = 0; i < 64000; ++i) names.take("out/run", ".html");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(last, "-64000");
  EXPECT_EQ(names.take("out/run", ".html"), "out/run-64001.html");
  EXPECT_LT(seconds, 10.0);
}

}  // namespace
