#include "framework/text/qz_html_attr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const u8* bytes(const std::string& s) { return reinterpret_cast<const u8*>(s.data()); }

// attribute_value reads the first two double quotes after the name's "="; find_attribute_value
// matches the name in any case and reads single-quoted and unquoted values too.
TEST(AttributeReaders, SameTagBothReaders) {
  struct Case {
    const char* name;
    std::string tag;
    const char* attribute;
    bool plain_ok;
    std::string plain_value;
    bool find_ok;
    std::string find_value;
  };
  const Case cases[] = {
      {"double quotes", "<a href=\"x.html\">", "href", true, "x.html", true, "x.html"},
      {"single quotes", "<a href='x.html'>", "href", false, "", true, "x.html"},
      {"first occurrence wins", "<img data-src=\"a\" src=\"b\">", "src", true, "a", true, "a"},
      {"empty value", "<a href=\"\">", "href", true, "", true, ""},
      {"missing name", "<a id=\"1\">", "href", false, "", false, ""},
      {"unclosed quote", "<a href=\"abc", "href", false, "", false, "abc"},
      {"any case, blanks after =", "<A HREF = 'a b.html'>", "href", false, "", true, "a b.html"},
      {"unquoted to end of text", "<a href=x.html>", "href", false, "", false, "x.html>"},
      {"unquoted ends at blank", "<a href=x.html id=1>", "href", false, "", true, "x.html"},
      {"other quote is ordinary", "<a title=\"it's\">", "title", true, "it's", true, "it's"},
      {"CR LF left out", "<a href=\"a\r\nb\">", "href", true, "a\r\nb", true, "ab"},
      {"text not longer than name", "href", "href", false, "", false, ""},
  };
  for (const auto& c : cases) {
    std::string value = "stale";
    EXPECT_EQ(attribute_value(c.tag.c_str(), i32(c.tag.size()), c.attribute, value), c.plain_ok)
        << c.name;
    EXPECT_EQ(value, c.plain_value) << c.name;
    value = "stale";
    EXPECT_EQ(find_attribute_value(c.tag.c_str(), c.tag.size(), c.attribute, value), c.find_ok)
        << c.name;
    EXPECT_EQ(value, c.find_value) << c.name;
  }
  std::string value;
  EXPECT_FALSE(attribute_value("<a href=\"x\">", 0, "href", value));
  EXPECT_FALSE(attribute_value(nullptr, 5, "href", value));
  const std::string long_name(257, 'a');
  const std::string long_tag = "<" + long_name + "=\"1\">";
  EXPECT_FALSE(find_attribute_value(long_tag.c_str(), long_tag.size(), long_name.c_str(), value));
  EXPECT_TRUE(
      find_attribute_value(long_tag.c_str(), long_tag.size(), long_name.c_str() + 1, value));
  EXPECT_EQ(value, "1");
}

// The buffers are not terminated: the closing quote lies just past the given length.
TEST(AttributeReaders, StopAtTheGivenLength) {
  const char page[] = {'<', 'a', ' ', 'h', 'r', 'e', 'f', '=', '"', 'x', '"', '>'};
  std::string value;
  EXPECT_FALSE(attribute_value(page, 10, "href", value));
  EXPECT_TRUE(attribute_value(page, 11, "href", value));
  EXPECT_EQ(value, "x");
  std::string name;
  EXPECT_FALSE(nth_attribute(page, 11, 1, name, value));
  EXPECT_TRUE(nth_attribute(page, 12, 1, name, value));
  EXPECT_EQ(name, "href");
  EXPECT_FALSE(find_attribute_value(page, 10, "href", value));
  EXPECT_EQ(value, "x");
  const char title[] = {'<', 't', '>', 'T', '<', '/', 't', '>'};
  EXPECT_FALSE(text_between_tags(title, 7, "t", value));
  EXPECT_TRUE(text_between_tags(title, 8, "t", value));
  EXPECT_EQ(value, "T");
}

TEST(NthAttribute, NeedsQuotedValuesBeforeTheWantedOne) {
  struct Case {
    const char* name;
    std::string tag;
    i32 n;
    bool ok;
    std::string attribute, value;
  };
  const Case cases[] = {
      {"second", "<img src=\"a.png\" alt=\"pic\">", 2, true, "alt", "pic"},
      {"first", "<img src=\"a.png\" alt=\"pic\">", 1, true, "src", "a.png"},
      {"blanks around name", "<img  src =\"a\">", 1, true, "src", "a"},
      {"unquoted earlier value", "<img src=a.png alt=\"pic\">", 2, false, "", ""},
      {"no such attribute", "<img src=\"a\">", 2, false, "", ""},
      {"blank after <", "< img src=\"a\">", 1, false, "", ""},
      {"no >", "<img src=\"a\"", 1, false, "", ""},
      {"n zero", "<img src=\"a\">", 0, false, "", ""},
  };
  for (const auto& c : cases) {
    std::string attribute, value;
    EXPECT_EQ(nth_attribute(c.tag.c_str(), i32(c.tag.size()), c.n, attribute, value), c.ok)
        << c.name;
    EXPECT_EQ(attribute, c.attribute) << c.name;
    EXPECT_EQ(value, c.value) << c.name;
  }
}

TEST(TextBetweenTags, FirstPrefixMatchOpens) {
  std::string text;
  const std::string page = "<title>T</title><b>x</b>";
  EXPECT_TRUE(text_between_tags(page.c_str(), i32(page.size()), "title", text));
  EXPECT_EQ(text, "T");
  const std::string body = "<body><b>x</b>";
  EXPECT_TRUE(text_between_tags(body.c_str(), i32(body.size()), "b", text));
  EXPECT_EQ(text, "<b>x");
  EXPECT_FALSE(text_between_tags(body.c_str(), i32(body.size()), "i", text));
  EXPECT_TRUE(text.empty());
}

TEST(AttributeValueSpan, OffsetAndSizeInTheSourceBuffer) {
  // The tag starts at buffer position 10; its record offset is the position after "<".
  const html_tag_record tag{"<a href=\"x\">", 11};
  string_offset_size out("stale", 1, 2);
  out.text2 = "old";
  EXPECT_TRUE(attribute_value_span(tag, tag.first.size(), "href", out));
  EXPECT_EQ(out.text, "x");
  EXPECT_EQ(out.offset, 18u);
  EXPECT_EQ(out.size, 3u);
  EXPECT_TRUE(out.text2.empty());

  const html_tag_record spaced{"<a href= 'x'>", 0};
  EXPECT_TRUE(attribute_value_span(spaced, spaced.first.size(), "href", out));
  EXPECT_EQ(out.offset, 7u);
  EXPECT_EQ(out.size, 4u);
  const html_tag_record unquoted{"<a href=abc >", 0};
  EXPECT_TRUE(attribute_value_span(unquoted, unquoted.first.size(), "href", out));
  EXPECT_EQ(out.size, 3u);
  EXPECT_FALSE(attribute_value_span(tag, tag.first.size(), "src", out));
  EXPECT_EQ(out.offset, 0u);
}

TEST(ExtractLinks, HrefBeforeSrcOnePerTagWithPositions) {
  const std::string page = "<p><a href=\"1\">x</a><img src=\"2\"><x href=\"3\" src=\"4\">";
  html_link_map links;
  EXPECT_TRUE(extract_links(bytes(page), u32(page.size()), links));
  ASSERT_EQ(links.size(), 3u);
  for (const auto& [text, where] : links) {
    // The value sits one character after the recorded offset, behind its opening quote.
    EXPECT_EQ(page.substr(size_t(where.first), size_t(where.second)), "\"" + text + "\"");
  }
  EXPECT_EQ(links.count("4"), 0u);
  html_link_map none;
  EXPECT_FALSE(extract_links(bytes(std::string("no tags")), 7, none));
}

TEST(CollectValues, SrcHrefAndBoth) {
  const std::string page = "<a href=\"h1\"><img src=\"s1\"><b><x href=\"h2\" src=\"s2\">";
  std::vector<std::string> values = {"kept"};
  EXPECT_TRUE(collect_src_values(bytes(page), u32(page.size()), values));
  EXPECT_EQ(values, (std::vector<std::string>{"kept", "s1", "s2"}));
  values.clear();
  EXPECT_TRUE(collect_href_values(bytes(page), u32(page.size()), values));
  EXPECT_EQ(values, (std::vector<std::string>{"h1", "h2"}));
  values.clear();
  EXPECT_TRUE(collect_link_values(bytes(page), u32(page.size()), values));
  EXPECT_EQ(values, (std::vector<std::string>{"h1", "s1", "h2", "s2"}));
  values.clear();
  EXPECT_FALSE(collect_link_values(bytes(std::string("<b>")), 3, values));
}

}  // namespace
