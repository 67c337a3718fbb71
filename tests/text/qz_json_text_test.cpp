#include "framework/text/qz_json_text.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using texts = std::vector<std::string>;

TEST(SplitJsonObjects, TopLevelObjectsOfAnArray) {
  struct Case {
    const char* name;
    std::string text;
    bool ok;
    texts objects;
  };
  const Case cases[] = {
      {"two objects", R"([ {"a":1}, {"b":{"c":2}} ])", true, {R"({"a":1})", R"({"b":{"c":2}})"}},
      {"brace first: whole text", R"({"a":[1]})", true, {R"({"a":[1]})"}},
      {"array without objects", "[1,2]", false, {}},
      {"no bracket: whole text", R"("a":1)", true, {R"("a":1)"}},
      {"braces in strings count",
       R"([{"a":"{"}}, {"b":2}])",
       true,
       {R"({"a":"{"}})", R"({"b":2})"}},
      {"unclosed last object dropped", R"([{"a":1},{"b":2)", true, {R"({"a":1})"}},
      {"stray closing brace passed over", R"([}{"a":1}])", true, {R"({"a":1})"}},
      {"empty: one empty object", "", true, {""}},
  };
  for (const auto& c : cases) {
    texts objects = {"stale"};
    EXPECT_EQ(split_json_objects(objects, c.text), c.ok) << c.name;
    EXPECT_EQ(objects, c.objects) << c.name;
  }
}

TEST(JsonValuesForNames, ValuesByCaseInsensitiveName) {
  struct Case {
    const char* name;
    std::string object;
    texts names;
    texts values;
  };
  const Case cases[] = {
      {"quotes taken off, name any case", R"({"a":"x","b":2})", {"A", "b"}, {"x", "2"}},
      {"comma inside quotes", R"({"a":"x,y"})", {"a"}, {"x,y"}},
      {"brace before the comma left out", R"({"o":{"a":1},"b":2})", {"a", "b"}, {"1", "2"}},
      {"value keeps its case", R"({"Name":"MiXed"})", {"name"}, {"MiXed"}},
      {"missing and empty names", R"({"a":1})", {"z", "", "a"}, {"", "", "1"}},
      {"blanks trimmed", R"({"a" :  7 , "b": 8})", {"a", "b"}, {"7", "8"}},
      // A value cut short by the end of the text is what stands up to that end.
      {"truncated value", R"({"a":1,"b":12)", {"a", "b"}, {"1", "12"}},
      // A quote that never closes does not hold the comma after it.
      {"unterminated string", R"({"a":"abc,d)", {"a"}, {"abc"}},
      {"unterminated string before a brace", R"({"a":"x,y})", {"a"}, {"x"}},
      {"name without colon", R"({"a")", {"a"}, {""}},
  };
  for (const auto& c : cases) {
    texts values = {"stale"};
    EXPECT_TRUE(json_values_for_names(values, c.names, c.object)) << c.name;
    EXPECT_EQ(values, c.values) << c.name;
  }
  texts values = {"stale"};
  EXPECT_FALSE(json_values_for_names(values, {"a"}, ""));
  EXPECT_TRUE(values.empty());
  EXPECT_FALSE(json_values_for_names(values, {}, R"({"a":1})"));
}

TEST(ParseJsonObjects, OneRecordPerObject) {
  std::vector<json_object> objects(3);
  EXPECT_TRUE(parse_json_objects(objects, {"a", "B", "b"}, R"([{"a":1,"b":2},{"a":3}])"));
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0].values, (texts{"1", "2", "2"}));
  EXPECT_EQ(objects[1].values, (texts{"3", "", ""}));
  EXPECT_EQ(objects[1].names, (texts{"a", "B", "b"}));
  EXPECT_EQ(objects[1].positions, (std::map<std::string, u32>{{"a", 0}, {"b", 1}}));

  EXPECT_TRUE(parse_json_objects(objects, {}, R"([{"a":1}])"));
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_TRUE(objects[0].values.empty());
  EXPECT_TRUE(objects[0].names.empty());
  EXPECT_FALSE(parse_json_objects(objects, {"a"}, "[1,2]"));
  EXPECT_TRUE(objects.empty());
  json_object copy = json_object();
  copy.names = {"x"};
  copy.clear();
  EXPECT_TRUE(copy.names.empty());
}

TEST(JsonArrayMembers, ArrayOfObjectsByName) {
  texts members;
  const std::string text = R"({"items":[{"a":1},{"a":2}],"other":[1]})";
  EXPECT_TRUE(json_array_members(members, {"ITEMS", "other", "none"}, text));
  EXPECT_EQ(members, (texts{R"(items":[{"a":1},{"a":2})", "", ""}));
  texts objects;
  EXPECT_TRUE(split_json_objects(objects, members[0]));
  EXPECT_EQ(objects, (texts{R"({"a":1})", R"({"a":2})"}));
  // The first occurrence of the name is not an array; the second one is.
  EXPECT_TRUE(json_array_members(members, {"x"}, R"({"x":1,"y":{"x":[{"b":2}]}})"));
  EXPECT_EQ(members, (texts{R"(x":[{"b":2})"}));
  EXPECT_FALSE(json_array_members(members, {"items"}, R"({"items":[{"a":1})"));
  EXPECT_EQ(members, (texts{""}));
  EXPECT_FALSE(json_array_members(members, {}, text));
  EXPECT_TRUE(members.empty());
}

TEST(WriteJsonPairs, KeyOrderAndSeparator) {
  std::ostringstream out;
  write_json_pairs(out, {{"b", "2"}, {"a", "1"}}, ',');
  EXPECT_EQ(out.str(), R"("a":"1", "b":"2")");
  out.str("");
  write_json_pairs(out, {}, ',');
  EXPECT_EQ(out.str(), "");
}

}  // namespace
