#include "tool/html_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tool/csv_source_fixture.h"
#include "tool/csv_banner.h"

namespace {

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::string document_head(const std::string& source) {
  return "<html>\n"
         "<head>\n"
         "   <title>telvar conversion of " + source + " to html</title>\n"
         "   <meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />\n"
         "</head>\n"
         "<body>\n";
}

const char* const document_end = "</table>\n</body>\n</html>\n";

const char* const two_groups_body =
    "<h2>Run stats</h2>\n"
    "<pre>\n"
    "   Tool:    dorvel - ver: 1.2\n"
    "   License: to - the lab\n"
    "   Runtime: 2015-06-01 10:00:00\n"
    "   Extra Info: local\n"
    "   User input: dorvel -hive C:\\cases\\SOFTWARE -csv\n"
    "</pre>\n"
    "\n"
    "<h3>Run keys - Name->alpha</h3>\n"
    "<table border=\"1\" cellpadding = \"5\">\n"
    "   <tr bgcolor=\"yellow\">\n"
    "      <th align=\"center\">Date</th>\n"
    "      <th align=\"center\">Time</th>\n"
    "      <th align=\"center\">Name</th>\n"
    "      <th align=\"center\">Segments</th>\n"
    "      <th align=\"center\">Registry key</th>\n"
    "   </tr>\n"
    "   <tr>\n"
    "      <td>2015-01-01</td>\n"
    "      <td>10:00:00</td>\n"
    "      <td>alpha</td>\n"
    "      <td><table border=\"1\" cellpadding = \"5\">\n"
    "      <tr bgcolor=\"yellow\">\n"
    "         <th align=\"center\">name</th>\n"
    "         <th align=\"center\">size</th>\n"
    "      </tr>\n"
    "      <tr>\n"
    "         <td>a.txt</td>\n"
    "         <td>10</td>\n"
    "      </tr>\n"
    "      <tr>\n"
    "         <td>b.txt</td>\n"
    "         <td>20</td>\n"
    "      </tr>\n"
    "</table>\n"
    "</td>\n"
    "      <td>Software/Run</td>\n"
    "   </tr>\n"
    "   <tr>\n"
    "      <td>2015-01-02</td>\n"
    "      <td>11:00:00</td>\n"
    "      <td>beta</td>\n"
    "      <td>none</td>\n"
    "      <td>Software/Run</td>\n"
    "   </tr>\n"
    "   <tr>\n"
    "      <td>2015-01-03</td>\n"
    "      <td>12:00:00</td>\n"
    "      <td></td>\n"
    "      <td></td>\n"
    "      <td>Software/Run</td>\n"
    "   </tr>\n"
    "</table>\n"
    "<h3>Services</h3>\n"
    "<table border=\"1\" cellpadding = \"5\">\n"
    "   <tr bgcolor=\"yellow\">\n"
    "      <th align=\"center\">When</th>\n"
    "      <th align=\"center\">At</th>\n"
    "      <th align=\"center\">Who</th>\n"
    "      <th align=\"center\">What</th>\n"
    "      <th align=\"center\">Why</th>\n"
    "      <th align=\"center\">Registry key</th>\n"
    "   </tr>\n"
    "   <tr>\n"
    "      <td>2016-01-01</td>\n"
    "      <td>12:00:00</td>\n"
    "      <td>svc</td>\n"
    "      <td>C:/Windows/svc.exe</td>\n"
    "      <td>boot</td>\n"
    "      <td>Software/Run</td>\n"
    "   </tr>\n";

class HtmlWriter : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.path().empty()); }

  // content written into the file name, and ctx_ set up to convert it to HTML; the path.
  std::string html_source(const std::string& name, const std::string& content,
                          const std::string& separator, const std::vector<std::string>& columns,
                          const banner_values* banner) {
    folder_.put(name, content);
    set_source(ctx_, folder_.file(name), separator, columns, banner);
    ctx_.to_html = 1;
    return folder_.file(name);
  }
  // The two-group source, written as content into name.
  std::string put_two_groups(const std::string& name, const std::string& content) {
    std::string path = html_source(name, content, ",", {"Date", "Time", "Name", "Segments"}, &banner_);
    add_dorvel_tags(ctx_);
    ctx_.tags.emplace_back("Name", 0, 0x4);
    ctx_.tags.emplace_back("Segments", 0, tag_column_bit(tag_column_nested, tag_writer_html));
    return path;
  }

  temp_folder folder_{"html_writer"};
  banner_values banner_;
  quazel_tool_metadata ctx_;
};

TEST_F(HtmlWriter, TwoGroupsWithTitlesExtraColumnsAndNestedCells) {
  const std::string expected_body = two_groups_body;
  struct source_case {
    const char* name;
    std::string content;
  };
  const source_case sources[] = {
      {"LF", two_groups_source},
      {"CR LF", replace_all(two_groups_source, "\n", "\r\n") + "\r\n"},
  };
  for (const source_case& source : sources) {
    std::vector<u32> chunk_sizes = {uni::fileio::default_chunk_bytes};
    for (u32 size = 1; size <= 64; ++size) chunk_sizes.push_back(size);
    for (u32 chunk : chunk_sizes) {
      SCOPED_TRACE(std::string(source.name) + ", chunks of " + std::to_string(chunk));
      std::string path = put_two_groups("run.csv", source.content);
      conversion result = convert(ctx_, chunk);
      EXPECT_TRUE(result.ok);
      EXPECT_EQ(result.text, document_head(path) + expected_body + document_end);
    }
  }
}

TEST_F(HtmlWriter, BannerReadFromTheSourceInEveryEncoding) {
  const std::string text =
      "dorvel - 64 ver: 1.2; (c) Quazel LLC\r\n"
      "Licensed to the lab\r\n"
      "Run time: 2015-06-01 10:00:00; local\r\n"
      "Cmd line: \"dorvel -hive C:\\cases\\SOFTWARE -csv\"\r\n"
      "-----------------------------------------\r\n"
      "Artifact: Run keys\r\n"
      "Registry key: Software\\Run\r\n"
      "Date,Time,Name\r\n"
      "2015-01-01,10:00:00,alpha\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char c : text) utf16 += std::string(1, c) + '\0';
  const std::string expected_body =
      "<h2>Run stats</h2>\n"
      "<pre>\n"
      "   Tool:    dorvel - ver: 1.2\n"
      "   License: to - the lab\n"
      "   Runtime: 2015-06-01 10:00:00\n"
      "   Extra Info: local\n"
      "   User input: &quot;dorvel -hive C:\\cases\\SOFTWARE -csv\n"
      "</pre>\n"
      "\n"
      "<h3>Run keys</h3>\n"
      "<table border=\"1\" cellpadding = \"5\">\n"
      "   <tr bgcolor=\"yellow\">\n"
      "      <th align=\"center\">Date</th>\n"
      "      <th align=\"center\">Time</th>\n"
      "      <th align=\"center\">Name</th>\n"
      "      <th align=\"center\">Registry key</th>\n"
      "   </tr>\n"
      "   <tr>\n"
      "      <td>2015-01-01</td>\n"
      "      <td>10:00:00</td>\n"
      "      <td>alpha</td>\n"
      "      <td>Software/Run</td>\n"
      "   </tr>\n";
  struct encoding_case {
    const char* name;
    std::string bytes;
  };
  const encoding_case encodings[] = {
      {"UTF-8", text},
      {"UTF-8 with its mark", "\xEF\xBB\xBF" + text},
      {"UTF-16LE with its mark", utf16},
  };
  for (const encoding_case& encoding : encodings) {
    SCOPED_TRACE(encoding.name);
    folder_.put("banner.csv", encoding.bytes);
    const std::string path = folder_.file("banner.csv");
    ASSERT_TRUE(read_csv_banner(ctx_, path));
    ctx_.status_display = 0;
    ctx_.to_html = 1;
    conversion result = convert(ctx_, 16);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.text, document_head(path) + expected_body + document_end);
  }
}

// Every "<" of the document opens one of the writer's own elements.
bool only_own_markup(const std::string& document) {
  static const char* const own[] = {
      "<html>", "</html>", "<head>", "</head>", "<title>", "</title>", "<meta ",  "<body>",
      "</body>", "<h2>",   "</h2>",  "<pre>",   "</pre>",  "<h3>",     "</h3>",   "<table ",
      "</table>", "<tr>",  "<tr ",   "</tr>",   "<th ",    "</th>",    "<td>",    "</td>"};
  for (size_t at = document.find('<'); at != std::string::npos; at = document.find('<', at + 1)) {
    bool known = false;
    for (const char* tag : own) known = known || document.compare(at, strlen(tag), tag) == 0;
    if (!known) {
      ADD_FAILURE() << "stray markup at: " << document.substr(at, 40);
      return false;
    }
  }
  return true;
}

TEST_F(HtmlWriter, SourceTextIsEscapedEverywhere) {
  const std::string name = "a<b>&'q\".csv";
  const std::string source =
      "x - ver: 1; (c) Quazel LLC\n"
      "<Key>: <b>bold</b>\n"
      "Artifact: <i>Run</i> & \"keys\"\n"
      "Date,<Name>,Value & more\n"
      "1,<script>alert('x')</script>,\"quoted\"\n"
      "2,a&b,!*<[n&m;s'z]><a\"b;1&2>\r\n";
  banner_values hostile;
  hostile.tool_name = "<script>t</script>";
  hostile.tool_version = "1<2";
  hostile.licence_word = "a&b";
  hostile.licence_text = "\"lab\"";
  hostile.run_time = "<t>";
  hostile.extra_info = "it's";
  hostile.command_line = "-x <y>";
  html_source(name, source, ",", {"Date", "<Name>", "Value & more"}, &hostile);
  ctx_.tags.emplace_back("Artifact:", 0x8, 0);
  ctx_.tags.emplace_back("<Key>:", tag_line_bit(tag_line_extra_column, tag_writer_html), 0);
  ctx_.tags.emplace_back("<Name>", 0, 0x4);
  conversion result = convert(ctx_);
  ASSERT_TRUE(result.ok);
  EXPECT_TRUE(only_own_markup(result.text));

  const char* const expected_lines[] = {
      "   <title>telvar conversion of ",
      "/a&lt;b&gt;&amp;&#39;q&quot;.csv to html</title>\n",
      "   Tool:    &lt;script&gt;t&lt;/script&gt; - ver: 1&lt;2\n",
      "   License: a&amp;b - &quot;lab&quot;\n",
      "   Runtime: &lt;t&gt;\n",
      "   Extra Info: it&#39;s\n",
      "   User input: -x &lt;y&gt;\n",
      "<h3>&lt;i&gt;Run&lt;/i&gt; &amp; &quot;keys&quot; - &lt;Name&gt;->&lt;script&gt;"
      "alert(&#39;x&#39;)&lt;/script&gt;</h3>\n",
      "      <th align=\"center\">&lt;Name&gt;</th>\n",
      "      <th align=\"center\">Value &amp; more</th>\n",
      "      <th align=\"center\">&lt;Key&gt;</th>\n",
      "      <td>&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;</td>\n",
      "      <td>&quot;quoted&quot;</td>\n",
      "      <td>&lt;b&gt;bold&lt;/b&gt;</td>\n",
      "      <td>a&amp;b</td>\n",
      "      <td>!*&lt;[n&amp;m;s&#39;z]&gt;&lt;a&quot;b;1&amp;2&gt;</td>\n",
  };
  for (const char* line : expected_lines) {
    EXPECT_NE(result.text.find(line), std::string::npos) << "missing: " << line;
  }
}

TEST_F(HtmlWriter, NestedCellsOfANestedColumnAreEscaped) {
  html_source("nested.csv", "Name,Parts\nx,!*<[n&m;s'z]><a\"b;1&2>\n", ",", {"Name", "Parts"},
              nullptr);
  ctx_.tags.emplace_back("Parts", 0, tag_column_bit(tag_column_nested, tag_writer_html));
  conversion result = convert(ctx_);
  ASSERT_TRUE(result.ok);
  EXPECT_TRUE(only_own_markup(result.text));
  EXPECT_NE(result.text.find("      <td><table border=\"1\" cellpadding = \"5\">\n"
                             "      <tr bgcolor=\"yellow\">\n"
                             "         <th align=\"center\">n&amp;m</th>\n"
                             "         <th align=\"center\">s&#39;z</th>\n"
                             "      </tr>\n"
                             "      <tr>\n"
                             "         <td>a&quot;b</td>\n"
                             "         <td>1&amp;2</td>\n"
                             "      </tr>\n"
                             "</table>\n"
                             "</td>\n"),
            std::string::npos)
      << result.text;
}

TEST_F(HtmlWriter, SourceWithoutBanner) {
  const std::string path =
      html_source("plain.csv", "a,b,c\n1,2,3\n4,5\n6,7,8,9\n", ",", {"a", "b", "c"}, nullptr);
  ctx_.group_counter = 5;
  conversion result = convert(ctx_);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.text, document_head(path) +
                             "<h3>Table-5</h3>\n"
                             "<table border=\"1\" cellpadding = \"5\">\n"
                             "   <tr bgcolor=\"yellow\">\n"
                             "      <th align=\"center\">a</th>\n"
                             "      <th align=\"center\">b</th>\n"
                             "      <th align=\"center\">c</th>\n"
                             "   </tr>\n"
                             "   <tr>\n"
                             "      <td>1</td>\n"
                             "      <td>2</td>\n"
                             "      <td>3</td>\n"
                             "   </tr>\n"
                             "   <tr>\n"
                             "      <td>4</td>\n"
                             "      <td>5</td>\n"
                             "      <td></td>\n"
                             "   </tr>\n"
                             "   <tr>\n"
                             "      <td>6</td>\n"
                             "      <td>7</td>\n"
                             "      <td>8</td>\n"
                             "      <td>9</td>\n"
                             "   </tr>\n" +
                             document_end);
}

TEST_F(HtmlWriter, UntitledGroupsAreNumberedAcrossSources) {
  std::vector<std::string> headings;
  for (const char* content : {"a,b\n1,2\na,b\n3,4\n", "a,b\n5,6\n"}) {
    html_source("run.csv", content, ",", {"a", "b"}, nullptr);
    conversion result = convert(ctx_);
    ASSERT_TRUE(result.ok);
    for (size_t at = result.text.find("<h3>"); at != std::string::npos;
         at = result.text.find("<h3>", at + 1)) {
      headings.push_back(result.text.substr(at, result.text.find('\n', at) - at));
    }
  }
  EXPECT_EQ(headings, (std::vector<std::string>{"<h3>Table-1</h3>", "<h3>Table-2</h3>",
                                                "<h3>Table-3</h3>"}));
}

TEST_F(HtmlWriter, GroupTitlesDoNotCarryIntoTheNextSource) {
  html_source("titled.csv", "Artifact: first\nDate,Time\n1,2\nArtifact: unused\n", ",",
              {"Date", "Time"}, &banner_);
  add_dorvel_tags(ctx_);
  ASSERT_NE(convert(ctx_).text.find("<h3>first</h3>"), std::string::npos);
  html_source("plain.csv", "Date,Time\n3,4\n", ",", {"Date", "Time"}, nullptr);
  conversion result = convert(ctx_);
  EXPECT_NE(result.text.find("<h3>Table-1</h3>"), std::string::npos) << result.text;
}

TEST_F(HtmlWriter, RowsShortOfColumnsAndRowsWithSurplusFields) {
  html_source("extra.csv", "Artifact: keys\nRegistry key: K\nDate,Time,Name\n1,2\n1,2,3,4,5\n",
              ",", {"Date", "Time", "Name"}, &banner_);
  add_dorvel_tags(ctx_);
  conversion result = convert(ctx_);
  ASSERT_TRUE(result.ok);
  // The short row gets empty cells before the extra value; the extra value stays under its
  // own name and the surplus fields follow it.
  EXPECT_NE(result.text.find("      <th align=\"center\">Name</th>\n"
                             "      <th align=\"center\">Registry key</th>\n"
                             "   </tr>\n"
                             "   <tr>\n"
                             "      <td>1</td>\n"
                             "      <td>2</td>\n"
                             "      <td></td>\n"
                             "      <td>K</td>\n"
                             "   </tr>\n"
                             "   <tr>\n"
                             "      <td>1</td>\n"
                             "      <td>2</td>\n"
                             "      <td>3</td>\n"
                             "      <td>K</td>\n"
                             "      <td>4</td>\n"
                             "      <td>5</td>\n"
                             "   </tr>\n"
                             "</table>\n"),
            std::string::npos)
      << result.text;
}

// The document stays whole: its head and run stats, no table, and its end.
TEST_F(HtmlWriter, NoHeaderRowLeavesTheHeadAndTheEnd) {
  const std::string path = html_source("noheader.csv", "x - ver: 1; (c) Quazel LLC\nsomething,else\n", ",",
                                       {"Date", "Time"}, &banner_);
  conversion result = convert(ctx_);
  EXPECT_TRUE(result.ok);
  const std::string stats = std::string(two_groups_body).substr(0, std::string(two_groups_body).find("<h3>"));
  EXPECT_EQ(result.text, document_head(path) + stats + "</body>\n</html>\n");
}

TEST_F(HtmlWriter, BodyfileKeepsItsColumns) {
  html_source("body.txt", "x - ver: 1; (c) Quazel LLC and more words\nmd5|name|inode\n0|C:\\a|12\n",
              "|", {"md5", "name", "inode"}, &banner_);
  ctx_.is_bodyfile = 1;
  ctx_.tags.emplace_back("md5|name", tag_line_unstored, 0);
  conversion result = convert(ctx_);
  ASSERT_TRUE(result.ok);
  EXPECT_NE(result.text.find("<h3>dorvel</h3>\n"
                             "<table border=\"1\" cellpadding = \"5\">\n"
                             "   <tr bgcolor=\"yellow\">\n"
                             "      <th align=\"center\">md5</th>\n"
                             "      <th align=\"center\">name</th>\n"
                             "      <th align=\"center\">inode</th>\n"
                             "   </tr>\n"
                             "   <tr>\n"
                             "      <td>0</td>\n"
                             "      <td>C:/a</td>\n"
                             "      <td>12</td>\n"
                             "   </tr>\n"),
            std::string::npos)
      << result.text;
}

TEST(HtmlWriterParts, IndentKeepsTheStreamSettings) {
  std::ostringstream out;
  out.fill('*');
  out.setf(std::ios::hex, std::ios::basefield);
  const auto flags = out.flags();
  write_indent(out, 0);
  write_indent(out, 3) << '|';
  write_indent(out, 30) << '|';
  EXPECT_EQ(out.str(), "   |" + std::string(30, ' ') + "|");
  EXPECT_EQ(out.fill(), '*');
  EXPECT_EQ(out.flags(), flags);
}

TEST(HtmlWriterParts, HeadIsMadeOncePerSource) {
  quazel_tool_metadata ctx;
  ctx.csv_source = "s.csv";
  ctx.columns = {"a", "b"};
  std::ostringstream head;
  EXPECT_EQ(html_write_head(head, ctx), 1);
  EXPECT_EQ(ctx.head_pending, 0);
  EXPECT_EQ(ctx.columns.size(), 2u) << "without a banner the columns stay";
  EXPECT_EQ(head.str().find("Run stats"), std::string::npos);
  EXPECT_EQ(html_write_head(head, ctx), 0);
  EXPECT_EQ(head.str(), document_head("s.csv"));

  ctx.head_pending = 1;
  ctx.banner_found = 1;
  ctx.extra_info.clear();
  std::ostringstream banner_head;
  EXPECT_EQ(html_write_head(banner_head, ctx), 1);
  EXPECT_TRUE(ctx.columns.empty());
  EXPECT_EQ(banner_head.str().find("Extra Info"), std::string::npos);
}

}  // namespace
