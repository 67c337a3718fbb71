#include "timeline/macb_context.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

std::string flags_text(const macb_context& context, bool end_line, bool with_fn83, bool with_fn) {
  std::ostringstream out;
  context.write_flags(out, end_line, with_fn83, with_fn);
  return out.str();
}

TEST(macb_context, write_flags_prints_the_attributes_seen) {
  macb_context context;
  EXPECT_EQ(flags_text(context, true, true, true), "");  // nothing seen: not even a line end
  context.set_si_m();
  context.set_si_c();
  EXPECT_EQ(flags_text(context, false, true, true), "si:[m.c.]");
  context.set_fn_b();
  context.set_fn83_a();
  EXPECT_EQ(flags_text(context, true, true, true), "si:[m.c.]; fn:[...b]; fn8.3[.a..]\n");
  EXPECT_EQ(flags_text(context, false, false, true), "si:[m.c.]; fn:[...b]");
  EXPECT_EQ(flags_text(context, false, true, false), "si:[m.c.]; fn8.3[.a..]");
  macb_context fn_only;
  fn_only.set_b(2);
  fn_only.set_m(4);  // no such attribute
  EXPECT_EQ(flags_text(fn_only, false, true, false), "");
  EXPECT_EQ(flags_text(fn_only, false, false, true), "fn:[...b]");
  fn_only.names.insert("n");
  fn_only.reset_macb();
  EXPECT_EQ(fn_only.macb_fn, "....");
  EXPECT_EQ(fn_only.seen_fn, 0);
  EXPECT_EQ(fn_only.names.size(), 1u);
}

TEST(add_macb_times, equal_instants_share_one_entry_across_attributes) {
  macb_context_map map;
  add_macb_times(map, 1, 100, 200, 100, 0, L"name.txt", false);
  ASSERT_EQ(map.size(), 2u);
  EXPECT_EQ(map[100].macb_si, "m.c.");
  EXPECT_EQ(map[100].seen_si, 1);
  EXPECT_EQ(map[200].macb_si, ".a..");
  add_macb_times(map, 2, 100, 0, 0, 300, L"NAME~1.TXT", false);
  add_macb_times(map, 3, 0, 0, 0, 300, L"\u00e9t\u00e9", true);
  ASSERT_EQ(map.size(), 3u);
  EXPECT_EQ(map[100].macb_si, "m.c.");
  EXPECT_EQ(map[100].macb_fn, "m...");
  EXPECT_EQ(map[100].names, (std::set<std::string>{"NAME~1.TXT", "name.txt"}));
  EXPECT_EQ(map[300].macb_fn, "...b");
  EXPECT_EQ(map[300].macb_fn83, "...b");
  EXPECT_EQ(map[300].paths, std::set<std::string>{"\xc3\xa9t\xc3\xa9"});
  EXPECT_EQ(map[300].seen_si, 0);

  add_macb_times(map, 1, 0, 0, 0, 0, L"x", false);
  EXPECT_EQ(map.size(), 3u);
  add_macb_times(map, 4, 400, 0, 0, 0, nullptr, false);
  ASSERT_EQ(map.count(400), 1u);
  EXPECT_EQ(map[400].macb_si + map[400].macb_fn + map[400].macb_fn83, "............");
  EXPECT_EQ(map[400].seen_si + map[400].seen_fn + map[400].seen_fn83, 0);
  EXPECT_TRUE(map[400].names.empty());
  EXPECT_TRUE(map[400].paths.empty());
}

}  // namespace
