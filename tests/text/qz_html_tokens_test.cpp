#include "framework/text/qz_html_tokens.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/text/reference_tool.h"

namespace {

using tokens_t = std::vector<std::string>;

tokens_t tokenize(const std::string& html, bool trim) {
  tokens_t tokens;
  tokenize_html(html.data(), u32(html.size()), tokens, trim);
  return tokens;
}

TEST(TokenizeHtml, TextTagsBlocksAndSections) {
  struct Case {
    const char* name;
    std::string html;
    bool trim;
    tokens_t expected;
  };
  const Case cases[] = {
      {"untrimmed keeps empty text",
       "<p>Hello <b>World</b></p>",
       false,
       {"", "<p>", "Hello ", "<b>", "World", "</b>", "", "</p>"}},
      {"trimmed",
       "<p>Hello <b>World</b></p>",
       true,
       {"<p>", "Hello", "<b>", "World", "</b>", "</p>"}},
      {"text after last tag dropped", "abc<x>def", false, {"abc", "<x>"}},
      {"pre keeps tags in text", "<pre>a<b>c</pre>", false, {"", "<pre>", "a<b>c", "</pre>"}},
      {"pre with attributes is no block",
       "<PRE class=x>a<b>c</PRE>",
       false,
       {"", "<PRE class=x>", "a", "<b>", "c", "</PRE>"}},
      {"script with attributes is a block",
       "<script type=x>if(a<b)x();</script>",
       true,
       {"<script type=x>", "if(a<b)x();", "</script>"}},
      {"first </ ends a block", "<pre>a</b>c</pre>", true, {"<pre>", "a", "</b>", "c", "</pre>"}},
      {"section ends at ?>", "<?php if(a>b) ?>x<y>", false, {"", "<?php if(a>b) ?>", "x", "<y>"}},
      {"section ends at %>", "<% a<b %><z>", true, {"", "<% a<b %>", "<z>"}},
      {"> in text stays", "a>b<c>", false, {"a>b", "<c>"}},
      {"unfinished tag dropped", "x<y>z<w", false, {"x", "<y>", "z"}},
      {"< last", "x<y><", false, {"x", "<y>", ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(tokenize(c.html, c.trim), c.expected) << c.name;

  tokens_t tokens = {"kept"};
  EXPECT_TRUE(tokenize_html("no tags", 7, tokens, false));
  EXPECT_EQ(tokens, tokens_t{"kept"});
  tokens.clear();
  EXPECT_FALSE(tokenize_html("no tags", 7, tokens, true));
  EXPECT_FALSE(tokenize_html(nullptr, 7, tokens, true));
}

TEST(TokenizeHtml, Utf16UnitsBecomeWideCharacters) {
  const std::u16string html = u"<P>\u00e9t\u00e9<pre>a<b>c</PRE><\u4e2d>";
  std::vector<std::wstring> tokens;
  EXPECT_TRUE(
      tokenize_html_utf16(reinterpret_cast<const u16*>(html.data()), u32(html.size() * 2), tokens));
  const std::vector<std::wstring> expected = {
      L"", L"<P>", L"\u00e9t\u00e9", L"<pre>", L"a<b>c", L"</PRE>", L"", L"<\u4e2d>"};
  EXPECT_EQ(tokens, expected);
  std::vector<std::wstring> none;
  EXPECT_FALSE(tokenize_html_utf16(reinterpret_cast<const u16*>(html.data()), 1, none));
}

// Python's html.parser reads ordinary markup (no pre blocks, no sections, no entities, lower-case
// end tags) into the same text and tag pieces.
TEST(TokenizeHtml, AgreesWithPythonHtmlParser) {
  if (!reference_tool_present("python3")) GTEST_SKIP() << "python3 not found: skipped";
  // The trimmed, non-empty pieces that html.parser reports, one per line.
  const char* prelude =
      "import html.parser\n"
      "class P(html.parser.HTMLParser):\n"
      "    def handle_starttag(self, tag, attrs): self.out.append(self.get_starttag_text())\n"
      "    def handle_startendtag(self, tag, attrs): self.out.append(self.get_starttag_text())\n"
      "    def handle_endtag(self, tag): self.out.append(\"</\" + tag + \">\")\n"
      "    def handle_data(self, data): self.out.append(data)\n"
      "def pieces(data):\n"
      "    p = P(convert_charrefs=False)\n"
      "    p.out = []\n"
      "    p.feed(data.decode())\n"
      "    return \"\".join(t.strip() + \"\\n\" for t in p.out if t.strip()).encode()\n";
  const std::vector<std::string> pages = {
      "<html><head><title>T</title></head><body><p>Hello <b>World</b></p></body></html>",
      "<div class=\"a b\" id='x'>one\ntwo<br/>three<img src=\"i.png\" alt=\"pic\"></div>",
      "<ul>\n  <li>a</li>\n  <li><a href=\"x.html\">b</a></li>\n</ul>",
      "<p>x<script type=\"text/javascript\">if (a < b && c > d) run();</script>y</p>",
      "<table><tr><td>1</td><td> 2 </td></tr></table>",
  };
  std::vector<std::string> reference;
  ASSERT_TRUE(run_python_per_input(prelude, "pieces(data)", pages, reference));
  for (size_t i = 0; i < pages.size(); ++i) {
    std::string ours;
    for (const auto& token : tokenize(pages[i], true)) ours += token + "\n";
    EXPECT_EQ(ours, reference[i]) << pages[i];
  }
}

TEST(NormalizeHtmlTags, CanonicalTagForm) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"<A HREF = Foo.HTML  Target='_Top'>", "<a href=\"Foo.html\" target='_Top'>"},
      {"<IMG SRC=\"A.PNG\"\tALT=\"x  y\">", "<img src=\"A.PNG\"\talt=\"x y\">"},
      {"<A\tB\n  C>", "<a\tb\n c>"},
      {"<TD Width=50>", "<td width=\"50\">"},
      {"<?PHP X ?>", "<?PHP X ?>"},
      {"<%= A %>", "<%= A %>"},
      {"Plain TEXT", "Plain TEXT"},
      {"<BR />", "<br />"},
      {"<P\xC3\x89>", "<p\xC3\x89>"},
      {"", ""},
  };
  std::vector<std::string> tokens;
  for (const auto& c : cases) tokens.push_back(c.in);
  EXPECT_TRUE(normalize_html_tags(tokens));
  for (size_t i = 0; i < tokens.size(); ++i) EXPECT_EQ(tokens[i], cases[i].out) << cases[i].in;

  std::vector<std::wstring> wide = {L"<A HREF = Foo.HTML  Target='_Top'>", L"<?X Y>",
                                    L"\u00c9T\u00c9"};
  EXPECT_TRUE(normalize_html_tags_wide(wide));
  EXPECT_EQ(wide[0], L"<a href=\"Foo.html\" target='_Top'>");
  EXPECT_EQ(wide[1], L"<?X Y>");
  EXPECT_EQ(wide[2], L"\u00c9T\u00c9");
  std::vector<std::string> empty;
  EXPECT_FALSE(normalize_html_tags(empty));
}

std::string wiki(const std::string& html) {
  tokens_t tokens = tokenize(html, false);
  normalize_html_tags(tokens);
  std::ostringstream out;
  write_wiki_text(out, tokens);
  return out.str();
}

TEST(WriteWikiText, MarkUpPerTag) {
  struct Case {
    std::string html, text;
  };
  const Case cases[] = {
      {"<p>Hello <b>World</b></p>", "\nHello _World_"},
      {"<h2>Title</h2>", "==Title=="},
      {"<html><head><hr><h>x</h>", "x"},
      {"<ol><li>a<li>b</ol>", "1. a2. b"},
      {"<ul><li>a<li>b</ul>", "*a*b"},
      {"<img alt=\"x\">", ", x]"},
      {"<img src=\"a.png\" alt=\"x\">", "[a.png, x]"},
      {"<img src=a.png>", "[a.png]"},
      {"<pre>x</pre><code>c</code>", "[%x%]%c%"},
      {"<i>a</i><strong>b</strong><sup>c</sup><sub>d</sub>", "*a**b*^c^~d~"},
      {"<blockquote>q</blockquote><br/>", "[\"q\"]// "},
      {"<h99999999>x</h1>", std::string(9999, '=') + "x="},
  };
  for (const auto& c : cases) EXPECT_EQ(wiki(c.html), c.text) << c.html;
}

}  // namespace
