#include "framework/cmdline/qz_command_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/text/temp_folder.h"

namespace {

using records = std::vector<command_record>;

class CommandFile : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }
  // parse_command_file of a file holding content.
  bool parse(const std::string& content, records& out, bool keep_line_feeds = false) {
    dir_.put("commands.txt", content);
    return parse_command_file(out, dir_.file("commands.txt"), keep_line_feeds);
  }
  temp_folder dir_{"qz_command_file"};
};

TEST_F(CommandFile, RecordsOfBlocks) {
  struct Case {
    const char* name;
    std::string content;
    bool keep_line_feeds;
    records expected;
  };
  const Case cases[] = {
      {"arguments and words",
       "<!cmd>convert <!arg=src>a.csv</!arg> -quiet</!cmd>",
       false,
       {{"convert <!arg=src>a.csv</!arg> -quiet", "src", "a.csv", "convert", "-quiet"}}},
      {"quoted name, value with blank",
       "<!cmd><!arg=\"dst\">out dir</!arg><!arg='x'> v </!arg></!cmd>",
       false,
       {{"<!arg=\"dst\">out dir</!arg><!arg='x'> v </!arg>", "dst", "out dir", "x", " v "}}},
      {"quoted words stay one", "<!cmd>run \"two words\"</!cmd>", false,
       {{"run \"two words\"", "run", "two words"}}},
      {"a TAB joins", "<!cmd>a\tb</!cmd>", false, {{"ab", "ab"}}},
      {"CR removed, LF separates", "<!cmd>a\r\nb</!cmd>", false, {{"a b", "a", "b"}}},
      {"LF kept", "<!cmd>a\nb</!cmd>", true, {{"a\nb", "a\nb"}}},
      {"empty block", "<!cmd></!cmd>", false, {{}}},
      {"blanks only", "<!cmd>   </!cmd>", false, {{}}},
      {"text outside ignored", "before <!cmd>x</!cmd> between <!cmd>y</!cmd> after", false,
       {{"x", "x"}, {"y", "y"}}},
      {"tags are case-sensitive", "<!CMD>x</!CMD><!cmd><!ARG=a>b</!ARG></!cmd>", false,
       {{"<!ARG=a>b</!ARG>", "<!ARG=a>b</!ARG>"}}},
      // A block left open may be a truncated command: it gives no record.
      {"final block left open", "<!cmd>a</!cmd><!cmd>b c", false, {{"a", "a"}}},
      {"block left open before the next", "<!cmd>a <!cmd>b</!cmd>", false, {{"b", "b"}}},
      {"closed block between open ones", "<!cmd>x <!cmd>a</!cmd> <!cmd>-delete", false, {{"a", "a"}}},
      // Arguments left open end with what was read.
      {"argument left open", "<!cmd>w <!arg=p>1</!arg> <!arg=q>2 3</!cmd>", false,
       {{"w <!arg=p>1</!arg> <!arg=q>2 3", "p", "1", "q", "2 3", "w"}}},
      {"argument without value", "<!cmd><!arg=x</!arg> y</!cmd>", false, {{"<!arg=x</!arg> y", "x", "", "y"}}},
      {"argument open without name end", "<!cmd>y <!arg=x</!cmd>", false, {{"y <!arg=x", "x", "", "y"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    records out{{"stale"}};
    EXPECT_TRUE(parse(c.content, out, c.keep_line_feeds));
    EXPECT_EQ(out, c.expected);
  }
}

TEST_F(CommandFile, Failures) {
  records out{{"stale"}};
  EXPECT_FALSE(parse_command_file(out, "", false));
  EXPECT_TRUE(out.empty());

  out = {{"stale"}};
  EXPECT_FALSE(parse_command_file(out, dir_.file("missing.txt"), false));
  EXPECT_TRUE(out.empty());

  for (const char* content : {"", "no blocks here", "</!cmd> x", "<!cmd>convert -src a.csv", "<!cmd>a <!cmd>b"}) {
    SCOPED_TRACE(content);
    out = {{"stale"}};
    EXPECT_FALSE(parse(content, out));
    EXPECT_TRUE(out.empty());
  }

  // A folder cannot be read as a file.
  out = {{"stale"}};
  EXPECT_FALSE(parse_command_file(out, dir_.path(), false));
  EXPECT_TRUE(out.empty());

  // Neither can a file without read permission (root reads it all the same).
  if (geteuid() != 0) {
    dir_.put("locked.txt", "<!cmd>x</!cmd>");
    ASSERT_EQ(chmod(dir_.file("locked.txt").c_str(), 0), 0);
    out = {{"stale"}};
    EXPECT_FALSE(parse_command_file(out, dir_.file("locked.txt"), false));
    EXPECT_TRUE(out.empty());
  }
}

}  // namespace
