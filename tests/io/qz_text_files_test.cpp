#include "framework/io/qz_text_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/io/temp_folder.h"

namespace {

mode_t mode_of(const std::string& path) {
  struct stat status {};
  ::stat(path.c_str(), &status);
  return status.st_mode & 07777;
}

TEST(ReplaceFileContents, ReplacesWholeFileKeepingModeAndLeavesNoTemporary) {
  temp_folder folder("telvar_text_files");
  folder.put("a.txt", "old content that is longer");
  ::chmod(folder.file("a.txt").c_str(), 0640);
  EXPECT_TRUE(replace_file_contents(folder.file("a.txt"), "new", 3));
  EXPECT_EQ(folder.get("a.txt"), "new");
  EXPECT_EQ(mode_of(folder.file("a.txt")), 0640u);
  EXPECT_TRUE(replace_file_contents(folder.file("a.txt"), "", 0));
  EXPECT_EQ(folder.get("a.txt"), "");
  // Through a link the linked file changes and the link stays a link.
  std::filesystem::create_symlink(folder.file("a.txt"), folder.file("link"));
  EXPECT_TRUE(replace_file_contents(folder.file("link"), "via link", 8));
  EXPECT_EQ(folder.get("a.txt"), "via link");
  EXPECT_TRUE(std::filesystem::is_symlink(folder.file("link")));
  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.path()))
    ++entries;
  EXPECT_EQ(entries, 2u);
  EXPECT_FALSE(replace_file_contents(folder.file("no/such/folder/x"), "x", 1));
}

TEST(HtmlToWikiText, WikiTextThenNormalisedHtml) {
  temp_folder folder("telvar_text_files");
  struct Case {
    std::string html, expected;
  };
  const Case cases[] = {
      {"<p>Hello <b>World</b></p>", "\nHello _World_<p>Hello <b>World</b></p>"},
      {"<h2>Title</h2>", "==Title==<h2>Title</h2>"},
      {"<ol><li>a<li>b</ol>", "1. a2. b<ol><li>a<li>b</ol>"},
      {"<IMG ALT=\"x\">", ", x]<img alt=\"x\">"},
      {"no tags at all", ""},
  };
  for (const auto& c : cases) {
    folder.put("in.html", c.html);
    folder.put("out.txt", "stale");
    EXPECT_EQ(html_to_wiki_text(folder.file("in.html").c_str(), folder.file("out.txt").c_str()), 0);
    EXPECT_EQ(folder.get("out.txt"), c.expected) << c.html;
  }
  folder.put("out.txt", "stale");
  EXPECT_EQ(html_to_wiki_text(folder.file("missing.html").c_str(), folder.file("out.txt").c_str()), 0);
  EXPECT_EQ(folder.get("out.txt"), "");
  EXPECT_EQ(html_to_wiki_text(folder.file("in.html").c_str(), folder.file("no/dir/out").c_str()), 0);
}

TEST(ExpandTabsFile, ExpandsOrCopiesUnchanged) {
  temp_folder folder("telvar_text_files");
  struct Case {
    const char* name;
    std::string in;
    u32 width;
    bool check_utf16;
    std::string out;
  };
  const Case cases[] = {
      {"tabs", "a\tb\n\tc", 0, false, "a   b\n    c"},
      {"no tab is copied unchanged", "plain text\r\n", 4, false, "plain text\r\n"},
      {"empty file", "", 4, false, ""},
      // The mark is a unit of the first line, so the TAB after it stands in column 1.
      {"utf-16", std::string("\xff\xfe\t\0x\0", 6), 2, true, std::string("\xff\xfe \0x\0", 6)},
  };
  for (const auto& c : cases) {
    folder.put("in.txt", c.in);
    folder.put("out.txt", "stale content");
    EXPECT_TRUE(expand_tabs_file(folder.file("in.txt").c_str(), folder.file("out.txt").c_str(),
                                 c.width, c.check_utf16))
        << c.name;
    EXPECT_EQ(folder.get("out.txt"), c.out) << c.name;
  }
  folder.put("out.txt", "stale");
  EXPECT_FALSE(expand_tabs_file(folder.file("missing").c_str(), folder.file("out.txt").c_str(), 4, false));
  EXPECT_EQ(folder.get("out.txt"), "stale");
  EXPECT_FALSE(expand_tabs_file(folder.file("in.txt").c_str(), nullptr, 4, false));
  EXPECT_FALSE(expand_tabs_file(folder.file("in.txt").c_str(), folder.file("no/dir/x").c_str(), 4, false));
}

}  // namespace
