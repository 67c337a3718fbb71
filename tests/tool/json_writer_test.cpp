#include "tool/json_writer.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "framework/text/uni_unicode.h"
#include "tests/text/guarded_bytes.h"
#include "tests/tool/csv_source_fixture.h"
#include "tests/tool/json_check.h"

namespace {

// Opens a group of ctx.columns as the source's first accepted header row does, so that records
// can be written on their own.
void open_group(quazel_tool_metadata& ctx) {
  std::ostringstream out;
  std::ostringstream head;
  ASSERT_EQ(json_end_group(out, head, ctx.columns, ctx), 1);
  ASSERT_EQ(out.str(), "");
}

std::string escaped(const std::string& text, bool slash_paths) {
  std::string out = "<";
  json_escape_append(out, text, slash_paths);
  return out;
}

TEST(JsonEscape, QuotesBackslashesAndControlCharacters) {
  struct escape_case {
    const char* name;
    std::string text;
    bool slash_paths;
    std::string expected;
  };
  const escape_case cases[] = {
      {"nothing to escape", "C: plain text", true, "C: plain text"},
      {"empty", "", true, ""},
      {"quote", "say \"hi\"", true, "say \\\"hi\\\""},
      {"path, slashes", "C:\\Windows\\x.exe", true, "C:/Windows/x.exe"},
      {"path, escaped", "C:\\Windows\\x.exe", false, "C:\\\\Windows\\\\x.exe"},
      {"backslash before quote, slashes", "a\\\"b", true, "a/\\\"b"},
      {"backslash before quote, escaped", "a\\\"b", false, "a\\\\\\\"b"},
      {"LF CR TAB", "a\nb\rc\td", true, "a\\nb\\rc\\td"},
      {"other controls", std::string("\x01\x08\x0c\x1f", 4), true, "\\u0001\\u0008\\u000c\\u001f"},
      {"NUL", std::string("a\0b", 3), true, "a\\u0000b"},
      {"DEL and slash stay", "\x7f/", true, "\x7f/"},
  };
  for (const escape_case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(escaped(c.text, c.slash_paths), "<" + c.expected);
  }
}

// Bytes outside valid UTF-8 become \u00XX with their own value; valid sequences are copied.
TEST(JsonEscape, InvalidUtf8BecomesTheLatin1CodePoint) {
  struct utf8_case {
    const char* name;
    std::string text;
    std::string expected;
  };
  const utf8_case cases[] = {
      {"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
       "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"highest code point", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
      {"Latin-1 byte", "caf\xE9!", "caf\\u00e9!"},
      {"lone continuation", "\x80", "\\u0080"},
      {"sequence cut by the end", "a\xE2\x82", "a\\u00e2\\u0082"},
      {"sequence cut by ASCII", "\xE2\x82z", "\\u00e2\\u0082z"},
      {"overlong slash", "\xC0\xAF", "\\u00c0\\u00af"},
      {"overlong three bytes", "\xE0\x80\xAF", "\\u00e0\\u0080\\u00af"},
      {"surrogate", "\xED\xA0\x80", "\\u00ed\\u00a0\\u0080"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", "\\u00f4\\u0090\\u0080\\u0080"},
      {"never a lead byte", "\xF5\xFF", "\\u00f5\\u00ff"},
      {"valid after invalid", "\xFF\xC3\xA9", "\\u00ff\xC3\xA9"},
  };
  for (const utf8_case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(escaped(c.text, true), "<" + c.expected);
  }
}

// One rule of valid UTF-8 for the whole program: a text without controls, quotes or
// backslashes comes out as it is exactly when is_valid_utf8 takes it. Checked over every such
// text of two bytes, and of three bytes with a three-byte lead.
TEST(JsonEscape, CopiesExactlyTheTextsThatAreValidUtf8) {
  auto plain = [](int byte) { return byte >= 0x20 && byte != '"' && byte != '\\'; };
  auto check = [](const std::string& text) {
    ASSERT_EQ(is_valid_utf8(text), escaped(text, false) == "<" + text) << testing::PrintToString(text);
  };
  for (int first = 0x20; first < 256; ++first) {
    for (int second = 0x20; second < 256; ++second) {
      if (plain(first) && plain(second)) check({char(first), char(second)});
    }
  }
  for (int lead = 0xE0; lead <= 0xEF; ++lead) {
    for (int second = 0x20; second < 256; ++second) {
      for (int third = 0x20; third < 256; ++third) {
        if (plain(second) && plain(third)) check({char(lead), char(second), char(third)});
      }
    }
  }
}

// The scan takes 16 and 8 bytes a step: a special byte is found at every position of texts of
// every length up to well past a block.
TEST(JsonEscape, SpecialBytesAtEveryPosition) {
  struct special {
    std::string byte;
    std::string expected;
  };
  const special specials[] = {{"\"", "\\\""},     {"\\", "/"},          {"\n", "\\n"},
                              {"\x1f", "\\u001f"}, {"\xE9", "\\u00e9"}, {"\xC3\xA9", "\xC3\xA9"}};
  for (const special& s : specials) {
    for (size_t length = 1; length <= 40; ++length) {
      for (size_t at = 0; at < length; ++at) {
        SCOPED_TRACE("special " + s.expected + " at " + std::to_string(at) + " of " +
                     std::to_string(length));
        const std::string before(at, ' '), after(length - at - 1, '~');
        EXPECT_EQ(escaped(before + s.byte + after, true), "<" + before + s.expected + after);
      }
    }
  }
}

const char* const two_groups_document =
    "{\n"
    "   \"tool\": \"dorvel - ver: 1.2\",\n"
    "   \"license\": \"to - the lab\",\n"
    "   \"runtime\": \"2015-06-01 10:00:00\",\n"
    "   \"extra info\": \"local\",\n"
    "   \"user input\": \"dorvel -hive C:/cases/SOFTWARE -csv\",\n"
    "   \"Run keys - Name->alpha\" : [\n"
    "      {\n"
    "         \"Date\": \"2015-01-01\",\n"
    "         \"Time\": \"10:00:00\",\n"
    "         \"Name\": \"alpha\",\n"
    "         \"Segments.name_rec#0\": \"a.txt\",\n"
    "         \"Segments.size_rec#0\": \"10\",\n"
    "         \"Segments.name_rec#1\": \"b.txt\",\n"
    "         \"Segments.size_rec#1\": \"20\",\n"
    "         \"Registry key\": \"Software/Run\"\n"
    "}\n"
    ",\n"
    "      {\n"
    "         \"Date\": \"2015-01-02\",\n"
    "         \"Time\": \"11:00:00\",\n"
    "         \"Name\": \"beta\",\n"
    "         \"Segments\": \"none\",\n"
    "         \"Registry key\": \"Software/Run\"\n"
    "}\n"
    ",\n"
    "      {\n"
    "         \"Date\": \"2015-01-03\",\n"
    "         \"Time\": \"12:00:00\",\n"
    "         \"Name\": \"\",\n"
    "         \"Segments\": \"\",\n"
    "         \"Registry key\": \"Software/Run\"\n"
    "}\n"
    "\n"
    "   ],\n"
    "   \"Services\" : [\n"
    "      {\n"
    "         \"When\": \"2016-01-01\",\n"
    "         \"At\": \"12:00:00\",\n"
    "         \"Who\": \"svc\",\n"
    "         \"What\": \"C:/Windows/svc.exe\",\n"
    "         \"Why\": \"boot\",\n"
    "         \"Registry key\": \"Software/Run\"\n"
    "}\n"
    "\n"
    "   ]\n"
    "}\n";

const char* const two_groups_flat =
    "{\"Date\": \"2015-01-01\", \"Time\": \"10:00:00\", \"Name\": \"alpha\", "
    "\"Segments.name_rec#0\": \"a.txt\", \"Segments.size_rec#0\": \"10\", "
    "\"Segments.name_rec#1\": \"b.txt\", \"Segments.size_rec#1\": \"20\", "
    "\"Registry key\": \"Software/Run\"}\n"
    "{\"Date\": \"2015-01-02\", \"Time\": \"11:00:00\", \"Name\": \"beta\", "
    "\"Segments\": \"none\", \"Registry key\": \"Software/Run\"}\n"
    "{\"Date\": \"2015-01-03\", \"Time\": \"12:00:00\", \"Name\": \"\", "
    "\"Segments\": \"\", \"Registry key\": \"Software/Run\"}\n"
    "{\"When\": \"2016-01-01\", \"At\": \"12:00:00\", \"Who\": \"svc\", "
    "\"What\": \"C:/Windows/svc.exe\", \"Why\": \"boot\", \"Registry key\": \"Software/Run\"}\n";

class JsonWriter : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.path().empty()); }
  // Every output of the test must parse.
  void TearDown() override { EXPECT_EQ(outputs_.failures(), ""); }

  // content written into the file name, and ctx_ set up to convert it to JSON.
  void json_source(const std::string& name, const std::string& content,
                   const std::string& separator, const std::vector<std::string>& columns,
                   const banner_values* banner) {
    folder_.put(name, content);
    set_source(ctx_, folder_.file(name), separator, columns, banner);
    ctx_.to_json = 1;
  }
  void put_two_groups() {
    json_source("run.csv", two_groups_source, ",", {"Date", "Time", "Name", "Segments"}, &banner_);
    add_dorvel_tags(ctx_);
    ctx_.tags.emplace_back("Name", 0, 0x1);
    ctx_.tags.emplace_back("Segments", 0, tag_column_bit(tag_column_nested, tag_writer_json));
  }
  // Converts and keeps the output for the check that it parses (each line with -flat).
  std::string convert_checked() {
    conversion result = convert(ctx_);
    EXPECT_TRUE(result.ok);
    outputs_.add(testing::UnitTest::GetInstance()->current_test_info()->name() +
                     std::to_string(++conversions_),
                 result.text, ctx_.flat != 0);
    return result.text;
  }

  temp_folder folder_{"json_writer"};
  json_texts outputs_{"json_outputs"};
  int conversions_ = 0;
  banner_values banner_;
  quazel_tool_metadata ctx_;
};

// Member names are unique in the document and in every record: groups of one title, a header
// that repeats a name, sub-rows with more values than their sub-header names, a column named
// like the overflow member. Readers keep only one member of a name.
TEST_F(JsonWriter, MemberNamesAreUniqueInTheDocumentAndInEachRecord) {
  json_source("repeats.csv",
              "dorvel - 64 ver: 1.2; (c) Quazel LLC\n"
              "Licensed to the lab\n"
              "Run time: 2015-06-01 10:00:00\n"
              "Command line: dorvel -hive SOFTWARE -csv\n"
              "Date,Name,Name,Segments,overflow\n"
              "2015-01-01,alpha,x,!*<[n;n]><a;b;c><d>,o,surplus\n"
              "Date,Name,Name,Segments,overflow\n"
              "2015-01-02,alpha,y,none,o\n",
              ",", {"Date", "Name", "Name", "Segments", "overflow"}, &banner_);
  ctx_.tags.emplace_back("Name", 0, 0x1);
  ctx_.tags.emplace_back("Segments", 0, tag_column_bit(tag_column_nested, tag_writer_json));
  const std::string text = convert_checked();
  EXPECT_NE(text.find("\"dorvel - Name->alpha\" : [\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"dorvel - Name->alpha-2\" : [\n"), std::string::npos) << text;
  EXPECT_NE(text.find("         \"Date\": \"2015-01-01\",\n"
                      "         \"Name\": \"alpha\",\n"
                      "         \"Name-2\": \"x\",\n"
                      "         \"Segments.n_rec#0\": \"a\",\n"
                      "         \"Segments.n_rec#0-2\": \"b\",\n"
                      "         \"Segments._rec#0\": \"c\",\n"
                      "         \"Segments.n_rec#1\": \"d\",\n"
                      "         \"overflow\": \"o\",\n"
                      "         \"overflow-2\": \"surplus\"\n"),
            std::string::npos)
      << text;
  // A document without repeats keeps its names as they are (the two-groups test below).
}

TEST_F(JsonWriter, TwoGroupsNestedAndFlat) {
  struct layout_case {
    const char* name;
    u8 flat;
    const char* expected;
  };
  const layout_case layouts[] = {{"document", 0, two_groups_document},
                                 {"flat", 1, two_groups_flat}};
  for (const layout_case& layout : layouts) {
    SCOPED_TRACE(layout.name);
    put_two_groups();
    ctx_.flat = layout.flat;
    EXPECT_EQ(convert_checked(), layout.expected);
    // Where the reader cuts the chunks changes nothing.
    for (u32 chunk : {1u, 7u, 16u, 64u}) {
      SCOPED_TRACE("chunks of " + std::to_string(chunk));
      put_two_groups();
      ctx_.flat = layout.flat;
      EXPECT_EQ(convert(ctx_, chunk).text, layout.expected);
    }
  }
}

// The commas between the document's members come with the next member, and an array is closed
// only where one was opened, so every way a source can end gives a well-formed document.
TEST_F(JsonWriter, EveryDocumentIsWellFormed) {
  const std::string stats =
      "{\n"
      "   \"tool\": \"dorvel - ver: 1.2\",\n"
      "   \"license\": \"to - the lab\",\n"
      "   \"runtime\": \"2015-06-01 10:00:00\",\n"
      "   \"extra info\": \"local\",\n"
      "   \"user input\": \"dorvel -hive C:/cases/SOFTWARE -csv\"";
  auto group = [](const std::string& name, const std::string& a, const std::string& b,
                  const std::string& c) {
    return "   \"" + name + "\" : [\n"
           "      {\n"
           "         \"a\": \"" + a + "\",\n"
           "         \"b\": \"" + b + "\",\n"
           "         \"c\": \"" + c + "\"\n"
           "}\n";
  };
  struct document_case {
    const char* name;
    bool banner;
    std::string content;
    std::string expected;
  };
  const document_case cases[] = {
      {"header never accepted", true, "x - ver: 1; (c) Quazel LLC\nsomething,else\n", "{\n}\n"},
      {"no banner, no header", false, "something,else\n", "{\n}\n"},
      {"no banner, header without rows", false, "a,b,c\nno row here\n", "{\n}\n"},
      {"run stats only", true, "a,b,c\nno row here\n", stats + "\n}\n"},
      {"run stats and one group", true, "a,b,c\n1,2,3\n",
       stats + ",\n" + group("dorvel", "1", "2", "3") + "\n   ]\n}\n"},
      {"a last group without rows", true, "a,b,c\n1,2,3\na,b,c\n",
       stats + ",\n" + group("dorvel", "1", "2", "3") + "\n   ]\n}\n"},
      {"a first group without rows", false, "a,b,c\na,b,c\n1,2,3\n",
       "{\n" + group("Group-1", "1", "2", "3") + "\n   ]\n}\n"},
      {"a group without rows between two", false, "a,b,c\n1,2,3\na,b,c\na,b,c\n4,5,6\n",
       "{\n" + group("Group-1", "1", "2", "3") + "\n   ],\n" + group("Group-2", "4", "5", "6") +
           "\n   ]\n}\n"},
  };
  for (const document_case& c : cases) {
    SCOPED_TRACE(c.name);
    ctx_.group_counter = 1;
    json_source("doc.csv", c.content, ",", {"a", "b", "c"}, c.banner ? &banner_ : nullptr);
    EXPECT_EQ(convert_checked(), c.expected);
  }
}

TEST_F(JsonWriter, HostileTextIsEscapedEverywhere) {
  const std::string source =
      "x - ver: 1; (c) Quazel LLC\n"
      "Artifact: say \"hi\" \\o/\n"
      "Da\"te,Ti\\me,Na\tme\n"
      "\"q,1\",C:\\x\\y,caf\xE9\x01\xC3\xA9 z\tw\n";
  banner_values hostile;
  hostile.tool_name = "t\"n";
  hostile.tool_version = "1\\2";
  hostile.licence_word = "a\tb";
  hostile.licence_text = "\"lab\"";
  hostile.run_time = "\x01";
  hostile.extra_info = "C:\\e \"q\"";
  hostile.command_line = "-x \"C:\\y\"";
  struct escape_case {
    const char* name;
    u8 slash_paths;
    const char* path_cell;
  };
  const escape_case cases[] = {{"slashes", 1, "C:/x/y"}, {"-esc_path", 0, "C:\\\\x\\\\y"}};
  for (const escape_case& c : cases) {
    SCOPED_TRACE(c.name);
    json_source("hostile.csv", source, ",", {"Da\"te", "Ti\\me", "Na\tme"}, &hostile);
    ctx_.tags.emplace_back("Artifact:", 0x2, 0);
    ctx_.tags.emplace_back("Ti\\me", 0, 0x1);
    ctx_.slash_paths = c.slash_paths;
    // Names and banner values keep their backslashes (escaped); values follow -esc_path, and
    // the banner's extra info and command line always take slashes.
    EXPECT_EQ(convert_checked(),
              std::string("{\n"
                          "   \"tool\": \"t\\\"n - ver: 1\\\\2\",\n"
                          "   \"license\": \"a\\tb - \\\"lab\\\"\",\n"
                          "   \"runtime\": \"\\u0001\",\n"
                          "   \"extra info\": \"C:/e \\\"q\\\"\",\n"
                          "   \"user input\": \"-x \\\"C:/y\\\"\",\n"
                          "   \"say \\\"hi\\\" /o/ - Ti\\\\me->C:\\\\x\\\\y\" : [\n"
                          "      {\n"
                          "         \"Da\\\"te\": \"\\\"q,1\\\"\",\n"
                          "         \"Ti\\\\me\": \"") +
                  c.path_cell +
                  "\",\n"
                  "         \"Na\\tme\": \"caf\\u00e9\\u0001\xC3\xA9 z\\tw\"\n"
                  "}\n"
                  "\n"
                  "   ]\n"
                  "}\n");
  }
}

// A row with more fields than its group has columns keeps them in the last member "overflow";
// the commas and blanks around nested members and that member follow one rule.
TEST_F(JsonWriter, SurplusFieldsAndNestedMembers) {
  struct record_case {
    const char* name;
    std::string separator;
    std::string content;
    std::string document;
    std::string flat;
  };
  const record_case cases[] = {
      {"surplus after an extra column", ",", "Registry key: K\na,b,c\n1,2,3,4,5\n",
       "         \"a\": \"1\",\n"
       "         \"b\": \"2\",\n"
       "         \"c\": \"3\",\n"
       "         \"Registry key\": \"K\",\n"
       "         \"overflow\": \"4,5\"\n",
       "{\"a\": \"1\", \"b\": \"2\", \"c\": \"3\", \"Registry key\": \"K\", \"overflow\": \"4,5\"}\n"},
      {"surplus of a TAB source", "\t", "a\tb\tc\n1\t2\t3\t4\t5\n",
       "         \"a\": \"1\",\n"
       "         \"b\": \"2\",\n"
       "         \"c\": \"3\",\n"
       "         \"overflow\": \"4\\t5\"\n",
       "{\"a\": \"1\", \"b\": \"2\", \"c\": \"3\", \"overflow\": \"4\\t5\"}\n"},
      {"nested last column", ",", "a,b,c\n1,2,!*<[n;s]><x;1>\n",
       "         \"a\": \"1\",\n"
       "         \"b\": \"2\",\n"
       "         \"c.n_rec#0\": \"x\",\n"
       "         \"c.s_rec#0\": \"1\"\n",
       "{\"a\": \"1\", \"b\": \"2\", \"c.n_rec#0\": \"x\", \"c.s_rec#0\": \"1\" }\n"},
      {"nested last column and surplus", ",", "a,b,c\n1,2,!*<[n;s]><x;1>,9\n",
       "         \"a\": \"1\",\n"
       "         \"b\": \"2\",\n"
       "         \"c.n_rec#0\": \"x\",\n"
       "         \"c.s_rec#0\": \"1\",\n"
       "         \"overflow\": \"9\"\n",
       "{\"a\": \"1\", \"b\": \"2\", \"c.n_rec#0\": \"x\", \"c.s_rec#0\": \"1\", \"overflow\": \"9\"}\n"},
      {"nested values beyond the sub-column names, escaped", ",",
       "a,b,c\n1,2,!*<[n]><C:\\d;\"q\"><y>\n",
       "         \"a\": \"1\",\n"
       "         \"b\": \"2\",\n"
       "         \"c.n_rec#0\": \"C:/d\",\n"
       "         \"c._rec#0\": \"\\\"q\\\"\",\n"
       "         \"c.n_rec#1\": \"y\"\n",
       "{\"a\": \"1\", \"b\": \"2\", \"c.n_rec#0\": \"C:/d\", \"c._rec#0\": \"\\\"q\\\"\", "
       "\"c.n_rec#1\": \"y\" }\n"},
  };
  for (const record_case& c : cases) {
    for (u8 flat : {u8{0}, u8{1}}) {
      SCOPED_TRACE(std::string(c.name) + (flat ? ", flat" : ""));
      json_source("rows.csv", c.content, c.separator, {"a", "b", "c"}, nullptr);
      ctx_.tags.emplace_back("Registry key:", tag_line_bit(tag_line_extra_column, tag_writer_json), 0);
      ctx_.tags.emplace_back("c", 0, tag_column_bit(tag_column_nested, tag_writer_json));
      ctx_.flat = flat;
      ctx_.group_counter = 1;
      EXPECT_EQ(convert_checked(), flat ? c.flat
                                        : "{\n   \"Group-1\" : [\n      {\n" + c.document +
                                              "}\n\n   ]\n}\n");
    }
  }
}

TEST_F(JsonWriter, UntitledGroupsAreNumberedAcrossSources) {
  std::string documents;
  for (const char* content : {"a,b,c\n1,2,3\na,b,c\n4,5,6\n", "a,b,c\n7,8,9\n"}) {
    json_source("run.csv", content, ",", {"a", "b", "c"}, nullptr);
    documents += convert_checked();
  }
  for (const char* name : {"\"Group-1\" : [", "\"Group-2\" : [", "\"Group-3\" : ["}) {
    EXPECT_NE(documents.find(name), std::string::npos) << name;
  }
}

TEST_F(JsonWriter, BodyfileKeepsItsColumns) {
  json_source("body.txt", "x - ver: 1; (c) Quazel LLC and more words\nmd5|name|inode\n0|C:\\a|12\n",
              "|", {"md5", "name", "inode"}, &banner_);
  ctx_.is_bodyfile = 1;
  ctx_.tags.emplace_back("md5|name", tag_line_unstored, 0);
  EXPECT_NE(convert_checked().find("   \"dorvel\" : [\n"
                                   "      {\n"
                                   "         \"md5\": \"0\",\n"
                                   "         \"name\": \"C:/a\",\n"
                                   "         \"inode\": \"12\"\n"
                                   "}\n"),
            std::string::npos);
}

// The check the outputs pass is a real one.
TEST(JsonWriterParts, TheCheckRefusesWhatIsNotJson) {
  struct text_case {
    const char* name;
    std::string text;
    bool lines;
  };
  const text_case refused[] = {
      {"trailing comma", "{\"a\": \"1\",\n}\n", false},
      {"array closed twice", "{\"a\": [\n]\n]\n}\n", false},
      {"raw control character", "{\"a\": \"\x01\"}\n", false},
      {"invalid UTF-8", "{\"a\": \"\xE9\"}\n", false},
      {"not an object", "[]\n", false},
      {"two lines as one document", "{}\n{}\n", false},
      {"a bad line", "{}\n{\n", true},
      {"last line without a line end", "{}\n{}", true},
  };
  temp_folder folder("json_refused");
  std::vector<json_file> files;
  for (const text_case& c : refused) {
    folder.put(c.name, c.text);
    files.push_back({folder.file(c.name), c.lines});
  }
  const std::string report = json_files_failures(files);
  for (const json_file& file : files) {
    EXPECT_NE(report.find(file.path + ": "), std::string::npos) << file.path << "\n" << report;
  }
  json_texts accepted("json_accepted");
  accepted.add("document", "{\n}\n", false);
  accepted.add("no lines", "", true);
  accepted.add("lines", "{}\n{\"a\": \"\\u00e9\"}\n", true);
  EXPECT_EQ(accepted.failures(), "");
}

// Cells are read in whole blocks where their storage allows: what a longer earlier value
// left in a cell's storage must not reach the next record, nor finish a UTF-8 sequence cut by
// the end of the value.
TEST(JsonWriterParts, ReusedCellsShowOnlyTheirOwnText) {
  quazel_tool_metadata ctx;
  ctx.flat = 1;
  ctx.columns = {"a", "b", "c"};
  open_group(ctx);
  std::vector<std::string> cells = {"x\"y\\z" + std::string(40, '"'),
                                    std::string(30, '\x01'),
                                    "ab\xE2\x82\xAC and more text after it"};
  std::ostringstream out;
  ASSERT_EQ(json_write_record(out, cells, ctx), 1);
  cells[0].resize(1);
  cells[1].resize(0);
  cells[2].resize(4);
  out.str("");
  ASSERT_EQ(json_write_record(out, cells, ctx), 1);
  EXPECT_EQ(out.str(), "{\"a\": \"x\", \"b\": \"\", \"c\": \"ab\\u00e2\\u0082\"}\n");
}

// The text before a value is made once per group and copied into every record: names of any
// length must come out whole, in the group's first record and in the later ones.
TEST(JsonWriterParts, NamesOfEveryLengthInEveryRecord) {
  for (bool flat : {false, true}) {
    for (size_t length : {1, 14, 30, 31, 32, 33, 46, 47, 48, 60, 200}) {
      SCOPED_TRACE("name of " + std::to_string(length) + (flat ? ", flat" : ""));
      quazel_tool_metadata ctx;
      ctx.flat = flat ? 1 : 0;
      const std::string name(length, 'n');
      ctx.columns = {name, "b\"q"};
      open_group(ctx);
      std::vector<std::string> cells = {"1", "2"};
      std::ostringstream out;
      ASSERT_EQ(json_write_record(out, cells, ctx), 1);
      out.str("");
      cells = {"3", "4"};
      ASSERT_EQ(json_write_record(out, cells, ctx), 1);
      const std::string expected =
          flat ? "{\"" + name + "\": \"3\", \"b\\\"q\": \"4\"}\n"
               : ",\n      {\n         \"" + name + "\": \"3\",\n         \"b\\\"q\": \"4\"\n}\n";
      EXPECT_EQ(out.str(), expected);
    }
  }
}

// Two conversions on one thread, their lines taken in turn: each names its records' members
// after its own group's columns, as when it runs alone.
TEST(JsonWriterParts, ConversionsTakenInTurnKeepTheirOwnNames) {
  struct source {
    std::vector<std::string> columns;
    std::vector<std::string> lines;
    std::string expected;
  };
  const source sources[] = {
      {{"a", "b"}, {"a,b\n", "1,2\n", "3,4\n"}, "{\"a\": \"1\", \"b\": \"2\"}\n{\"a\": \"3\", \"b\": \"4\"}\n"},
      {{"c", "d"}, {"c,d\n", "5,6\n", "7,8\n"}, "{\"c\": \"5\", \"d\": \"6\"}\n{\"c\": \"7\", \"d\": \"8\"}\n"},
  };
  quazel_tool_metadata ctx[2];
  std::ostringstream out[2];
  std::vector<std::unique_ptr<csv_dispatch>> dispatch;
  for (size_t k = 0; k < 2; ++k) {
    set_source(ctx[k], "unused.csv", ",", sources[k].columns, nullptr);
    ctx[k].to_json = 1;
    ctx[k].flat = 1;
    ctx[k].out = &out[k];
    dispatch.push_back(std::make_unique<csv_dispatch>(ctx[k], &json_writer_hooks));
  }
  for (size_t i = 0; i < 3; ++i) {
    for (size_t k = 0; k < 2; ++k) {
      std::vector<std::string> chunk = {sources[k].lines[i]};
      ASSERT_EQ(dispatch_csv_lines(*dispatch[k], chunk, 1), 1u);
    }
  }
  for (size_t k = 0; k < 2; ++k) EXPECT_EQ(out[k].str(), sources[k].expected) << k;
}

// Values are escaped 16 bytes a step, quotes and backslashes within the step: texts of every
// length made of pieces whose escaped forms are known must come out as those forms joined,
// through the escaper and through a record whose cell has room to spare behind its text.
TEST(JsonEscape, MixedTextsOfEveryLength) {
  struct piece {
    std::string text;
    std::string slashed;  // escaped form with slash_paths
    std::string escaped;  // and without
  };
  const piece pieces[] = {
      {"a", "a", "a"},          {"path", "path", "path"},   {"\"", "\\\"", "\\\""},
      {"\\", "/", "\\\\"},      {"\n", "\\n", "\\n"},     {"\x1f", "\\u001f", "\\u001f"},
      {"\xE9", "\\u00e9", "\\u00e9"}, {"\xC3\xA9", "\xC3\xA9", "\xC3\xA9"}, {" ", " ", " "},
  };
  guarded_bytes page;  // a text that ends where memory may not be read
  ASSERT_TRUE(page.ready());
  std::mt19937 random(77);
  for (int round = 0; round < 4000; ++round) {
    std::string text, slashed, escaped_form;
    const int count = static_cast<int>(random() % 50);
    for (int k = 0; k < count; ++k) {
      // Mostly plain text, as in real values.
      const piece& p = pieces[random() % 3 == 0 ? random() % std::size(pieces) : random() % 2];
      text += p.text;
      slashed += p.slashed;
      escaped_form += p.escaped;
    }
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_EQ(escaped(text, true), "<" + slashed);
    ASSERT_EQ(escaped(text, false), "<" + escaped_form);
    std::string guarded;
    json_escape_append(guarded, page.place(text), text.size(), false);
    ASSERT_EQ(guarded, escaped_form);
    for (u8 slash_paths : {u8{1}, u8{0}}) {
      quazel_tool_metadata ctx;
      ctx.flat = 1;
      ctx.slash_paths = slash_paths;
      ctx.columns = {"v"};
      open_group(ctx);
      std::vector<std::string> cells(1);
      cells[0].reserve(400);
      cells[0] = text;
      std::ostringstream out;
      ASSERT_EQ(json_write_record(out, cells, ctx), 1);
      ASSERT_EQ(out.str(), "{\"v\": \"" + (slash_paths ? slashed : escaped_form) + "\"}\n");
    }
  }
}

TEST(JsonWriterParts, HeadAndShortRows) {
  quazel_tool_metadata ctx;
  ctx.columns = {"a", "b"};
  std::ostringstream head;
  EXPECT_EQ(json_write_head(head, ctx), 0) << "no banner";
  EXPECT_EQ(ctx.head_pending, 0);
  EXPECT_EQ(ctx.columns.size(), 2u) << "without a banner the columns stay";
  EXPECT_TRUE(head.str().empty());

  ctx.head_pending = 1;
  ctx.banner_found = 1;
  EXPECT_EQ(json_write_head(head, ctx), 1);
  EXPECT_TRUE(ctx.columns.empty());
  EXPECT_EQ(head.str().find("extra info"), std::string::npos) << "no extra info, no member";
  EXPECT_EQ(json_write_head(head, ctx), 0) << "once per source";

  ctx.columns = {"a", "b", "c"};
  std::vector<std::string> cells = {"1", "2"};
  std::ostringstream out;
  EXPECT_EQ(json_write_record(out, cells, ctx), 0);
  EXPECT_TRUE(out.str().empty());
  EXPECT_EQ(ctx.group_has_rows, 0);
}

}  // namespace
