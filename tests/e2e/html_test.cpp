// CSV to HTML as a user runs it: sources of several producing tools and encodings, the
// destinations (-dst, standard output, -out with and without -append).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/telvar_process.h"

namespace {

using e2e::run_telvar;

// A temporary folder holding fixture files; telvar runs inside it with relative names, so
// the path in each document's title is the same on every machine.
class html_run : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }
  std::string put_fixture(const std::string& name) {
    e2e::write_file(dir_.file(name), e2e::fixture(name));
    return name;
  }
  e2e::run_result run(const std::vector<std::string>& args, e2e::stderr_to err = e2e::stderr_to::file) {
    e2e::run_options options;
    options.cwd = dir_.path();
    options.err = err;
    return run_telvar(args, options);
  }

  temp_folder dir_{"telvar_html"};
};

TEST_F(html_run, EachKindOfSourceGivesItsDocument) {
  struct row {
    const char* name;
    const char* fixture;
    const char* expected;
  };
  const row rows[] = {
      // Three groups: title fields, an extra column from a banner line, a header found by
      // count after a banner line, escaping in run stats and cells, a row of separators.
      {"registry groups", "registry_groups.csv", "registry_groups.html"},
      // A column of nested "!*<" cells becomes tables inside the cells.
      {"nested cells", "lnk_nested.csv", "lnk_nested.html"},
      {"bodyfile", "bodyfile.csv", "bodyfile.html"},
      {"no banner", "no_banner.csv", "no_banner.html"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    put_fixture(r.fixture);
    const e2e::run_result run = this->run({"-src", r.fixture, "-dst", "out.html", "-csv_to_html", "-quiet"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "");
    e2e::expect_matches_file(e2e::read_file(dir_.file("out.html")), r.expected);
  }
}

// UTF-8 with a mark, UTF-16LE with its mark and CR LF line ends give the same document.
// A document is whole and its tables balanced however the source's groups end: a group
// without rows opens no table and closes none, and a source whose header row is never
// accepted still gets its head and body.
TEST_F(html_run, EveryDocumentIsWholeAndItsTablesBalanced) {
  auto count = [](const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) ++n;
    return n;
  };
  struct source_case {
    const char* name;
    std::string text;
    size_t tables;
  };
  const source_case sources[] = {
      {"a header row ends a group", "a,b,c\n1,2,3\na,bb,c\n", 1},
      {"a group without rows between two with rows", "a,b,c\n1,2,3\na,bb,c\na,b,cc\n4,5,6\n", 2},
      {"a header and no rows", "host,user,result\n", 0},
      {"no header row accepted", "plivet - 64 ver: 1.0; (c) Quazel LLC\nLicensed to the lab\n"
                                 "Run time: 2015-06-01 10:00:00\nCmd line: plivet -log x.etl -csv\nDate,Time\n1,2\n", 0},
  };
  for (const source_case& c : sources) {
    SCOPED_TRACE(c.name);
    e2e::write_file(dir_.file("source.csv"), c.text);
    std::remove(dir_.file("out.html").c_str());
    run({"-src", "source.csv", "-dst", "out.html", "-csv_to_html", "-quiet"});
    const std::string html = e2e::read_file(dir_.file("out.html"));
    EXPECT_EQ(html.rfind("<html>\n<head>\n", 0), 0u) << html;
    EXPECT_EQ(count(html, "</head>\n<body>\n"), 1u) << html;
    EXPECT_TRUE(html.ends_with("</body>\n</html>\n")) << html;
    EXPECT_EQ(count(html, "<table"), c.tables) << html;
    EXPECT_EQ(count(html, "</table>"), c.tables) << html;
  }
}

TEST_F(html_run, EncodingsAndLineEndsGiveOneDocument) {
  const std::string text = e2e::fixture("event_log.csv");
  auto crlf = [](const std::string& in) {
    std::string out;
    for (char c : in) {
      if (c == '\n') out += '\r';
      out += c;
    }
    return out;
  };
  auto utf16le = [](const std::string& in) {
    // The fixture holds ASCII and two-byte UTF-8 sequences only.
    std::string out = "\xff\xfe";
    for (size_t i = 0; i < in.size(); ++i) {
      unsigned code = static_cast<unsigned char>(in[i]);
      if (code >= 0xC0) code = ((code & 0x1F) << 6) | (static_cast<unsigned char>(in[++i]) & 0x3F);
      out += static_cast<char>(code & 0xFF);
      out += static_cast<char>(code >> 8);
    }
    return out;
  };
  struct row {
    const char* name;
    std::string bytes;
  };
  const row rows[] = {
      {"utf-8", text},
      {"utf-8 with mark", "\xef\xbb\xbf" + text},
      {"cr lf", crlf(text)},
      {"utf-16le", utf16le(text)},
      {"utf-16le with cr lf", utf16le(crlf(text))},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    e2e::write_file(dir_.file("event_log.csv"), r.bytes);
    const e2e::run_result run = this->run({"-src", "event_log.csv", "-csv_to_html", "-quiet"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    e2e::expect_matches_file(run.out, "event_log.html");
  }
}

TEST_F(html_run, ResultsFileIsReplacedOrExtended) {
  put_fixture("no_banner.csv");
  const std::string document = e2e::fixture("expected/no_banner.html");
  struct row {
    const char* name;
    const char* earlier;  // null: no results file before the run
    bool append;
    std::string expected;
  };
  const row rows[] = {
      {"new file", nullptr, false, document},
      {"replaced", "earlier results\n", false, document},
      {"extended", "earlier results\n", true, "earlier results\n" + document},
      {"created by -append", nullptr, true, document},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::remove(dir_.file("results.html").c_str());
    if (r.earlier) e2e::write_file(dir_.file("results.html"), r.earlier);
    std::vector<std::string> args = {"-src", "no_banner.csv", "-csv_to_html", "-out", "results.html", "-quiet"};
    if (r.append) args.push_back("-append");
    const e2e::run_result run = this->run(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(e2e::read_file(dir_.file("results.html")), r.expected);
  }
}

// Progress lives on standard error (when it is a terminal), off the results; "-quiet" turns
// it off.
TEST_F(html_run, QuietLeavesStandardErrorEmpty) {
  put_fixture("no_banner.csv");
  const e2e::run_result loud = run({"-src", "no_banner.csv", "-csv_to_html"}, e2e::stderr_to::terminal);
  EXPECT_EQ(loud.status, 0);
  EXPECT_NE(loud.err.find("\x1b[2K"), std::string::npos);
  EXPECT_EQ(loud.out, e2e::fixture("expected/no_banner.html"));

  const e2e::run_result quiet = run({"-src", "no_banner.csv", "-csv_to_html", "-quiet"}, e2e::stderr_to::terminal);
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(quiet.out, loud.out);
}

}  // namespace

namespace {

// The bundled samples stay convertible: every one gives a whole document and status 0.
TEST(Samples, EverySampleConvertsToHtml) {
  temp_folder dir("telvar_samples");
  for (const auto& entry : std::filesystem::directory_iterator(e2e::samples_dir)) {
    if (entry.path().extension() != ".csv") continue;
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    const std::string out = dir.file(name + ".html");
    const e2e::run_result run =
        e2e::run_telvar({"-src", entry.path().string(), "-dst", out, "-csv_to_html", "-quiet"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const std::string document = e2e::read_file(out);
    EXPECT_NE(document.find("<table"), std::string::npos);
    EXPECT_EQ(document.substr(document.size() - 8), "</html>\n");
  }
}

}  // namespace
