#include "framework/io/qz_text_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>
#include <tuple>

#include "tests/text/temp_folder.h"

namespace {

mode_t mode_of(const std::string& path) {
  struct stat status {};
  ::stat(path.c_str(), &status);
  return status.st_mode & 07777;
}

TEST(ReplaceFileContents, ReplacesWholeContentThroughLinksAndLeavesNoOtherFile) {
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
  // Only an existing file is rewritten; nothing is created in its place.
  EXPECT_FALSE(replace_file_contents(folder.file("missing"), "x", 1));
  EXPECT_FALSE(std::filesystem::exists(folder.file("missing")));
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
  EXPECT_EQ(html_to_wiki_text(folder.file("missing.html").c_str(), folder.file("out.txt").c_str()),
            0);
  EXPECT_EQ(folder.get("out.txt"), "");
  EXPECT_EQ(html_to_wiki_text(folder.file("in.html").c_str(), folder.file("no/dir/out").c_str()),
            0);
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
  EXPECT_FALSE(
      expand_tabs_file(folder.file("missing").c_str(), folder.file("out.txt").c_str(), 4, false));
  EXPECT_EQ(folder.get("out.txt"), "stale");
  EXPECT_FALSE(expand_tabs_file(folder.file("in.txt").c_str(), nullptr, 4, false));
  EXPECT_FALSE(
      expand_tabs_file(folder.file("in.txt").c_str(), folder.file("no/dir/x").c_str(), 4, false));
}

// Runs f with standard output sent to a file and returns what was written there.
template <typename F>
std::string captured_stdout(const temp_folder& folder, F f) {
  fflush(stdout);
  const int saved = dup(1);
  FILE* sink = fopen(folder.file("stdout").c_str(), "wb");
  dup2(fileno(sink), 1);
  f();
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  fclose(sink);
  return folder.get("stdout");
}

TEST(CopyHtmlWithoutScripts, TargetInPlaceAndStandardOutput) {
  temp_folder folder("telvar_text_files");
  const std::string page = "<p>a</p><script type=\"x\">if (a<b) go();</script><p>b</p>";
  folder.put("page.html", page);
  EXPECT_TRUE(copy_html_without_scripts(folder.file("page.html").c_str(),
                                        folder.file("out.html").c_str(), false));
  EXPECT_EQ(folder.get("out.html"), "<p>a</p><p>b</p>");
  EXPECT_EQ(folder.get("page.html"), page);

  folder.put("only.html", "<script>x()</script>");
  EXPECT_TRUE(copy_html_without_scripts(folder.file("only.html").c_str(),
                                        folder.file("out.html").c_str(), false));
  EXPECT_EQ(folder.get("out.html"), "");

  EXPECT_TRUE(copy_html_without_scripts(folder.file("page.html").c_str(), nullptr, true));
  EXPECT_EQ(folder.get("page.html"), "<p>a</p><p>b</p>");

  folder.put("page.html", page);
  std::string shown = captured_stdout(folder, [&] {
    EXPECT_TRUE(copy_html_without_scripts(folder.file("page.html").c_str(), nullptr, false));
  });
  EXPECT_EQ(shown, "<p>a</p><p>b</p>");
  // A target that cannot be written: the text is shown instead, and the call reports failure.
  shown = captured_stdout(folder, [&] {
    EXPECT_FALSE(copy_html_without_scripts(folder.file("page.html").c_str(),
                                           folder.file("no/dir/out.html").c_str(), false));
  });
  EXPECT_EQ(shown, "<p>a</p><p>b</p>");
  EXPECT_FALSE(copy_html_without_scripts(folder.file("missing.html").c_str(),
                                         folder.file("out.html").c_str(), false));
  EXPECT_FALSE(copy_html_without_scripts(nullptr, nullptr, false));
  // A source that is a folder cannot be read: failure, nothing written.
  EXPECT_FALSE(
      copy_html_without_scripts(folder.path().c_str(), folder.file("out2.html").c_str(), false));
}

TEST(RemoveStringFromFile, RemovesEveryOccurrenceOrLeavesFileAlone) {
  temp_folder folder("telvar_text_files");
  const std::string file = folder.file("f.txt");
  struct Case {
    const char* name;
    std::string content;
    const char* text;
    bool ignore_case, ok;
    std::string after;
  };
  const Case cases[] = {
      {"exact", "xabyab", "ab", false, true, "xy"},
      {"exact keeps other case", "xAByab", "ab", false, true, "xABy"},
      {"any case", "xAByab", "ab", true, true, "xy"},
      {"nothing found: written back unchanged", "xyz", "ab", false, true, "xyz"},
      {"empty file", "", "ab", false, false, ""},
      {"empty text", "xabyab", "", false, false, "xabyab"},
      {"null text", "xabyab", nullptr, false, false, "xabyab"},
  };
  for (const auto& c : cases) {
    folder.put("f.txt", c.content);
    EXPECT_EQ(remove_string_from_file(file.c_str(), c.text, c.ignore_case), c.ok) << c.name;
    EXPECT_EQ(folder.get("f.txt"), c.after) << c.name;
  }
  EXPECT_FALSE(remove_string_from_file(folder.file("missing").c_str(), "ab", false));
  EXPECT_FALSE(remove_string_from_file(nullptr, "ab", false));
}

TEST(CutTagBlocksInFile, BytesUtf16AndInPlace) {
  temp_folder folder("telvar_text_files");
  folder.put("in.html", "a<b>bold</b>c<B>x</B>def");
  EXPECT_TRUE(
      cut_tag_blocks_in_file(folder.file("in.html").c_str(), folder.file("out.html").c_str(), "b"));
  EXPECT_EQ(folder.get("out.html"), "acdef");
  EXPECT_EQ(folder.get("in.html"), "a<b>bold</b>c<B>x</B>def");
  EXPECT_TRUE(cut_tag_blocks_in_file(folder.file("in.html").c_str(), nullptr, "b"));
  EXPECT_EQ(folder.get("in.html"), "acdef");

  // UTF-16LE: cut on 16-bit units, every byte outside the section kept, an odd last one too.
  auto utf16 = [](const std::u16string& text) {
    std::string bytes;
    for (char16_t unit : text) {
      bytes += char(unit & 0xff);
      bytes += char(unit >> 8);
    }
    return bytes;
  };
  const std::string wide = "\xff\xfe" + utf16(u"x<s>\u4e2d</s>y\u00e9z");
  folder.put("w.html", wide);
  EXPECT_TRUE(cut_tag_blocks_in_file(folder.file("w.html").c_str(), nullptr, "s"));
  EXPECT_EQ(folder.get("w.html"), "\xff\xfe" + utf16(u"xy\u00e9z"));
  folder.put("w.html", wide + "!");
  EXPECT_TRUE(
      cut_tag_blocks_in_file(folder.file("w.html").c_str(), folder.file("w2.html").c_str(), "s"));
  EXPECT_EQ(folder.get("w2.html"), "\xff\xfe" + utf16(u"xy\u00e9z") + "!");
  // A mark followed by narrow text still takes the 16-bit path: the narrow tag never matches.
  folder.put("m.html", "\xff\xfe<s>1</s>");
  EXPECT_TRUE(cut_tag_blocks_in_file(folder.file("m.html").c_str(), nullptr, "s"));
  EXPECT_EQ(folder.get("m.html"), "\xff\xfe<s>1</s>");

  folder.put("empty.html", "");
  EXPECT_FALSE(cut_tag_blocks_in_file(folder.file("empty.html").c_str(), nullptr, "b"));
  EXPECT_FALSE(cut_tag_blocks_in_file(folder.file("missing").c_str(), nullptr, "b"));
  EXPECT_FALSE(cut_tag_blocks_in_file(folder.file("in.html").c_str(), nullptr, nullptr));
  EXPECT_FALSE(
      cut_tag_blocks_in_file(folder.file("in.html").c_str(), folder.file("no/dir/x").c_str(), "b"));
  EXPECT_EQ(folder.get("in.html"), "acdef");
}

// The three operations that rewrite their source, each turning the page below into "<p>a</p>".
struct in_place_rewrite {
  const char* name;
  bool (*run)(const char* path);
};
const in_place_rewrite in_place_rewrites[] = {
    {"cut tag blocks", [](const char* path) { return cut_tag_blocks_in_file(path, nullptr, "script"); }},
    {"remove string",
     [](const char* path) { return remove_string_from_file(path, "<script>x()</script>", false); }},
    {"copy without scripts",
     [](const char* path) { return copy_html_without_scripts(path, nullptr, true); }},
};
const std::string script_page = "<p>a</p><script>x()</script>";
constexpr uid_t nobody = 65534;

// What makes a file the same file: where it lives, its owner, its permissions and its links.
std::tuple<dev_t, ino_t, uid_t, gid_t, mode_t, nlink_t> identity_of(const std::string& path) {
  struct stat status {};
  ::stat(path.c_str(), &status);
  return {status.st_dev, status.st_ino, status.st_uid, status.st_gid, status.st_mode,
          status.st_nlink};
}

// A rewrite changes the content of the file itself: the other name of a hard link sees it,
// and the owner (another user's, when the test can give it one), mode and links stay.
TEST(InPlaceRewrites, TheFileKeepsItsIdentity) {
  for (const auto& rewrite : in_place_rewrites) {
    SCOPED_TRACE(rewrite.name);
    temp_folder folder("telvar_text_files");
    folder.put("page.html", script_page);
    ASSERT_EQ(::link(folder.file("page.html").c_str(), folder.file("other name").c_str()), 0);
    ::chmod(folder.file("page.html").c_str(), 0604);
    if (geteuid() == 0) {
      ASSERT_EQ(::chown(folder.file("page.html").c_str(), nobody, nobody), 0);
    }
    const auto before = identity_of(folder.file("page.html"));
    captured_stdout(folder, [&] { EXPECT_TRUE(rewrite.run(folder.file("page.html").c_str())); });
    EXPECT_EQ(folder.get("page.html"), "<p>a</p>");
    EXPECT_EQ(folder.get("other name"), "<p>a</p>");
    EXPECT_EQ(identity_of(folder.file("page.html")), before);
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
      names.insert(entry.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"page.html", "other name", "stdout"}));
  }
}

// Whether a file may be rewritten is the file's own permission: a read-only file is left
// alone (the call fails), a writable file in a read-only folder is rewritten. Run as an
// ordinary user (root drops to "nobody" in a child), so that the permissions hold.
TEST(InPlaceRewrites, TheFilesPermissionDecides) {
  temp_folder folder("telvar_text_files");
  std::filesystem::create_directory(folder.file("open"));
  std::filesystem::create_directory(folder.file("shut"));
  for (size_t i = 0; i < std::size(in_place_rewrites); ++i) {
    const std::string name = std::to_string(i) + ".html";
    folder.put("open/" + name, script_page);
    folder.put("shut/" + name, script_page);
    ::chmod(folder.file("open/" + name).c_str(), 0444);
    ::chmod(folder.file("shut/" + name).c_str(), 0666);
  }
  ::chmod(folder.path().c_str(), 0755);
  ::chmod(folder.file("open").c_str(), 0777);
  ::chmod(folder.file("shut").c_str(), 0555);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(nobody) != 0 || setuid(nobody) != 0)) _exit(90);
    // copy_html_without_scripts shows what it could not write on standard output.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(91);
    int failures = 0;
    for (size_t i = 0; i < std::size(in_place_rewrites); ++i) {
      const std::string name = std::to_string(i) + ".html";
      if (in_place_rewrites[i].run(folder.file("open/" + name).c_str())) failures |= 1 << i;
      if (!in_place_rewrites[i].run(folder.file("shut/" + name).c_str())) failures |= 8 << i;
    }
    _exit(failures);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "bits 0-2: a read-only file was rewritten; "
                                       "bits 3-5: a writable file in a read-only folder was not";
  for (size_t i = 0; i < std::size(in_place_rewrites); ++i) {
    SCOPED_TRACE(in_place_rewrites[i].name);
    const std::string name = std::to_string(i) + ".html";
    EXPECT_EQ(folder.get("open/" + name), script_page);
    EXPECT_EQ(mode_of(folder.file("open/" + name)), 0444u);
    EXPECT_EQ(folder.get("shut/" + name), "<p>a</p>");
  }
  ::chmod(folder.file("shut").c_str(), 0755);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.file("open")), {}), 3);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.file("shut")), {}), 3);
}

}  // namespace
