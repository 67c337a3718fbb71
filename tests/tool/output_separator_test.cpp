#include "tool/output_separator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/text/temp_folder.h"
#include "tests/tool/csv_source_fixture.h"
#include "tool/cleanup_writer.h"
#include "tool/split_writer.h"

namespace {

// A separator the user gives, what both writers put between cells, and what stands in a cell for
// the separator's one character.
struct separator_case {
  const char* given;
  const char* written;
  char core;
  char stand_in;
};

const separator_case separator_cases[] = {
    {",", ",", ',', ' '},   {";", ";", ';', ' '},   {"\t", "\t", '\t', ' '},
    {"\\t", "\t", '\t', ' '}, {" | ", " | ", '|', ';'}, {"|", "|", '|', ';'},
};

// A comma source whose cells hold the separator's character: quoted where it is a comma.
std::string source_text(char core) {
  const std::string cell = std::string("x") + core + "y";
  return "a,b\n" + (core == ',' ? "\"" + cell + "\"" : cell) + ",2\n";
}

std::string expected_text(const separator_case& c) {
  const std::string cell = std::string("x") + c.stand_in + "y";
  const std::string w = c.written;
  return "a" + w + "b\n" + (c.core == ',' ? "\"" + cell + "\"" : cell) + w + "2\n";
}

// The run context as the option parser leaves it for "-change_csv_separator" given.
void change_separator(quazel_tool_metadata& ctx, const std::string& given) {
  std::string value = given;
  ctx.change_separator = 1;
  ctx.new_separator = value;
  ctx.set_csv_separator(value, false);
}

std::string cleaned(const separator_case& c, bool quoted_fields) {
  temp_folder dir("output_separator");
  dir.put("in.csv", source_text(c.core));
  quazel_tool_metadata ctx;
  ctx.cleanup = 1;
  change_separator(ctx, c.given);
  // Quoted fields leave the parameter set without a separator character of its own.
  if (quoted_fields) ctx.separator_char = 0;
  set_source(ctx, dir.file("in.csv"), ",", {"a", "b"}, nullptr);
  const conversion result = convert(ctx);
  EXPECT_TRUE(result.ok);
  return result.text;
}

std::string split(const separator_case& c, bool quoted_fields) {
  temp_folder dir("output_separator");
  dir.put("in.csv", source_text(c.core));
  quazel_tool_metadata ctx;
  ctx.split = 1;
  ctx.raw = 1;
  ctx.split_state = std::make_unique<csv_split::split_metadata>();
  ctx.dst = dir.file("out");
  change_separator(ctx, c.given);
  set_source(ctx, dir.file("in.csv"), ",", {"a", "b"}, nullptr);
  if (quoted_fields) ctx.separator_char = 0;
  EXPECT_TRUE(convert(ctx).ok);
  EXPECT_TRUE(csv_split_close(ctx));
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(ctx.dst)) files.push_back(entry.path());
  if (files.size() != 1) {
    ADD_FAILURE() << files.size() << " split files";
    return {};
  }
  return dir.get("out/" + files[0].filename().string());
}

TEST(OutputSeparator, BothWritersWriteTheGivenSeparatorAndStandInsForItsCharacter) {
  for (const separator_case& c : separator_cases) {
    for (const bool quoted_fields : {false, true}) {
      SCOPED_TRACE(std::string("separator \"") + c.given + (quoted_fields ? "\", quoted fields" : "\""));
      EXPECT_EQ(cleaned(c, quoted_fields), expected_text(c));
      EXPECT_EQ(split(c, quoted_fields), expected_text(c));
    }
  }
}

TEST(OutputSeparator, RuleForSeparatorsWithoutOneCharacter) {
  struct rule_case {
    const char* given;
    char params_char;  // the parameter set's separator character and its replacement
    char params_replacement;
    const char* written;
    char from;
    char to;
  };
  const rule_case cases[] = {
      {"tab", 0, 0, "\t", '\t', ' '},
      {" ; ", 0, 0, " ; ", ';', ' '},
      {",", ',', ';', ",", ',', ';'},  // semicolon for comma
      {"  ", 0, 0, "  ", 0, 0},        // blanks alone: nothing a cell could be cut at
      {"::", 0, 0, "::", 0, 0},
      {"||", '|', ';', "||", '|', ';'},
      {"a,b", ',', ' ', "a,b", ',', ' '},
  };
  for (const rule_case& c : cases) {
    SCOPED_TRACE(c.given);
    quazel_tool_metadata params;
    params.separator_char = c.params_char;
    params.separator_replacement = c.params_replacement;
    const std::string given = c.given;
    const output_separator rule = output_separator_for(given, params);
    EXPECT_EQ(rule.text, c.written);
    EXPECT_EQ(rule.in_cell.from, c.from);
    EXPECT_EQ(rule.in_cell.to, c.to);
  }
}

}  // namespace
