#include "tool/csv_driver.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "tests/tool/csv_source_fixture.h"
#include "tool/csv_banner.h"
#include "tool/html_writer.h"

namespace {

// The writers' bits the cases below give their tags.
constexpr u32 html_title_line = tag_line_bit(tag_line_title, tag_writer_html);
constexpr u32 html_title_column = tag_column_bit(tag_column_title, tag_writer_html);

std::string joined(const std::vector<std::string>& parts, const char* between) {
  std::string text;
  for (size_t i = 0; i < parts.size(); ++i) text += (i ? between : "") + parts[i];
  return text;
}

// ---- Line classification, through a writer that notes every call.

std::vector<std::string>* journal = nullptr;

int note_head(std::ostringstream&, quazel_tool_metadata& ctx) {
  if (!ctx.head_pending) return 0;
  ctx.head_pending = 0;
  return 1;
}
int note_banner_begin(quazel_tool_metadata&) {
  journal->push_back("begin");
  return 1;
}
int note_banner_line(const std::string& line, const tag_instr&, quazel_tool_metadata&) {
  journal->push_back("banner:" + line);
  return 1;
}
int note_group(std::ostream&, std::ostringstream&, std::vector<std::string>& columns,
               quazel_tool_metadata& ctx) {
  journal->push_back("group:" + joined(columns, "|"));
  if (ctx.is_bodyfile) ctx.first_column_name.clear();
  ctx.first_header_pending = 0;
  return 1;
}
int note_short(const std::string& line, quazel_tool_metadata&) {
  journal->push_back("short:" + line);
  return 1;
}
int note_row(std::ostream&, std::vector<std::string>& cells, quazel_tool_metadata&) {
  journal->push_back("row:" + joined(cells, "|"));
  return 1;
}
// The journal's hooks with the line rules of the writer of kind.
csv_writer_hooks noting_writer(csv_writer_kind kind) {
  csv_writer_hooks hooks = *csv_writer_hooks_for(kind);
  hooks.write_head = note_head;
  hooks.banner_begin = note_banner_begin;
  hooks.banner_line = note_banner_line;
  hooks.end_group = note_group;
  hooks.short_row = note_short;
  hooks.write_row = note_row;
  hooks.begin_source = nullptr;
  hooks.end_source = nullptr;
  return hooks;
}

struct classify_case {
  const char* name;
  std::vector<std::string> lines;
  std::vector<std::string> expected;
  csv_writer_kind kind = csv_writer_kind::html;
  std::function<void(quazel_tool_metadata&)> setup = nullptr;
};

// A comma-separated source whose banner named the columns Date, Time, Name.
void set_classify_source(quazel_tool_metadata& ctx) {
  set_source(ctx, "unused.csv", ",", {"Date", "Time", "Name"}, nullptr);
  ctx.tags.emplace_back("-----------", tag_line_unstored, 0);
  ctx.tags.emplace_back("Artifact:", html_title_line, 0);
  ctx.tags.emplace_back("Note:", 0, html_title_column);
}

// The journal of the lines handed over in chunks of chunk_lines lines, each ending with LF as the
// reader gives them (unless it ends with one already), and then what was printed on standard
// error, as "stderr:" and the text.
std::vector<std::string> classify(const classify_case& c, size_t chunk_lines) {
  quazel_tool_metadata ctx;
  set_classify_source(ctx);
  ctx.status_display = 0;
  if (c.setup) c.setup(ctx);
  std::ostringstream out;
  ctx.out = &out;
  const csv_writer_hooks noting = noting_writer(c.kind);
  csv_dispatch dispatch(ctx, &noting);
  std::vector<std::string> noted;
  journal = &noted;
  testing::internal::CaptureStderr();
  for (size_t at = 0; at < c.lines.size(); at += chunk_lines) {
    size_t end = std::min(c.lines.size(), at + chunk_lines);
    std::vector<std::string> chunk(c.lines.begin() + at, c.lines.begin() + end);
    for (std::string& line : chunk) {
      if (!line.ends_with('\n')) line += '\n';
    }
    dispatch_csv_lines(dispatch, chunk, static_cast<u32>(chunk.size()));
  }
  finish_csv_lines(dispatch);
  const std::string printed = testing::internal::GetCapturedStderr();
  if (!printed.empty()) noted.push_back("stderr:" + printed);
  journal = nullptr;
  return noted;
}

TEST(CsvDispatch, SortsEveryLineTheSameWhateverTheChunks) {
  const std::string rule(40, '-');
  const std::string long_separators(30, ',');
  std::vector<std::string> junk(14, "j,k");
  std::vector<std::string> junk_then_header = junk;
  junk_then_header.push_back("Date,Time,Name");
  junk_then_header.push_back("1,2,3");
  std::vector<std::string> junk_shorts;
  for (size_t i = 0; i < junk.size(); ++i) junk_shorts.push_back("short:j,k");
  // Lines the banner parser does not count either: empty, blank and dropped ones.
  std::vector<std::string> spaced_header(14, "");
  spaced_header.insert(spaced_header.end(), 14, "  \t ");
  spaced_header.insert(spaced_header.end(), 14, ",,,");
  spaced_header.push_back("Date,Time,Name");
  spaced_header.push_back("1,2,3");
  // Blank lines are still short rows.
  std::vector<std::string> spaced_expected(14, "short:  \t ");
  spaced_expected.push_back("group:Date|Time|Name");
  spaced_expected.push_back("row:1|2|3");
  // A cell of 65 lines: the first 64 are held, then each is a row, the 65th too.
  std::vector<std::string> long_cell = {"Date,Time,Name", "1,\"start"};
  std::vector<std::string> long_cell_rows = {"group:Date|Time|Name", "row:1|\"start|"};
  for (int k = 1; k <= 63; ++k) {
    long_cell.push_back("middle " + std::to_string(k));
    long_cell_rows.push_back("row:middle " + std::to_string(k) + "||");
  }
  long_cell.insert(long_cell.end(), {"end\",3", "4,5,6"});
  long_cell_rows.insert(long_cell_rows.end(),
                        {"row:end\"|3|", "row:4|5|6",
                         "stderr:unused.csv: the quote opened on line 2 does not close within 64 lines or 1 MiB; "
                         "its lines are kept as rows of their own\n"});
  std::vector<std::string> cleanup_expected = junk_shorts;
  cleanup_expected.push_back("group:Date|Time|Name");
  cleanup_expected.push_back("row:1|2|3");

  const classify_case cases[] = {
      {"header by name, then rows", {"Date,Time,Name", "1,2,3", "4,5,6"},
       {"group:Date|Time|Name", "row:1|2|3", "row:4|5|6"}},
      {"blanks before the name", {"  Date, Time ,Name"}, {"group:Date|Time|Name"}},
      {"the name after other text is a row", {"Date,Time,Name", "x Date,b,c"},
       {"group:Date|Time|Name", "row:x Date|b|c"}},
      {"a trailing separator names no column", {"Date,Time,Name,", "1,2,3,"},
       {"group:Date|Time|Name", "row:1|2|3|"}},
      {"banner lines, stored or not", {"Artifact: a", rule},
       {"begin", "banner:Artifact: a", "begin"}},
      {"a tag without line flags marks no banner line", {"Date,Time,Name", "Note: x,y,z"},
       {"group:Date|Time|Name", "row:Note: x|y|z"}},
      {"header by count right after a banner line",
       {"Date,Time,Name", "1,2,3", "Artifact: b", "When,Who,What", "4,5,6"},
       {"group:Date|Time|Name", "row:1|2|3", "begin", "banner:Artifact: b",
        "group:When|Who|What", "row:4|5|6"}},
      {"empty and dropped lines keep the banner mark",
       {"Date,Time,Name", "Artifact: b", "", ",,,,", "When,Who,What"},
       {"group:Date|Time|Name", "begin", "banner:Artifact: b", "group:When|Who|What"}},
      {"no header by count after a row", {"Date,Time,Name", "When,Who,What"},
       {"group:Date|Time|Name", "row:When|Who|What"}},
      {"short separator lines are dropped, long ones are rows",
       {"Date,Time,Name", ",,,,,", long_separators},
       {"group:Date|Time|Name", "row:" + std::string(30, '|')}},
      {"a row short of cells gets empty ones", {"Date,Time,Name", "1,2", "no separator"},
       {"group:Date|Time|Name", "row:1|2|", "short:no separator"}},
      {"the cleanup writer copies a row short of cells", {"Date,Time,Name", "1,2"},
       {"group:Date|Time|Name", "short:1,2"}, csv_writer_kind::cleanup},
      {"the split writer pads a row short of more than its overflow cell", {"Date,Time,Name,Size", "1,2"},
       {"group:Date|Time|Name|Size", "row:1|2|"}, csv_writer_kind::split},
      {"a quoted field keeps its separator", {"Date,Time,Name", "1,\"a,b\",3"},
       {"group:Date|Time|Name", "row:1|\"a,b\"|3"}},
      {"extra values follow the fields", {"Date,Time,Name", "1,2,3"},
       {"group:Date|Time|Name", "row:1|2|3|x|y"}, csv_writer_kind::html,
       [](quazel_tool_metadata& ctx) { ctx.extra_columns = {{"b", "y"}, {"a", "x"}}; }},
      {"a header below min_columns opens no group", {"Date,Time", "1,2,3"}, {"short:1,2,3"},
       csv_writer_kind::html, [](quazel_tool_metadata& ctx) { ctx.min_columns = 3; }},
      {"a header of exactly min_columns takes rows", {"Date,Time,Name", "1,2,3"},
       {"group:Date|Time|Name", "row:1|2|3"}, csv_writer_kind::html,
       [](quazel_tool_metadata& ctx) { ctx.min_columns = 3; }},
      {"empty lines go to the cleanup writer", {"Date,Time,Name", "", "1,2,3"},
       {"group:Date|Time|Name", "short:", "row:1|2|3"}, csv_writer_kind::cleanup},
      {"one cell short is a row for the SQLite writer", {"Date,Time,Name", "1,2", "1"},
       {"group:Date|Time|Name", "row:1|2", "short:1"}, csv_writer_kind::sqlite},
      {"one cell short is a row for the split writer", {"Date,Time,Name", "1,2"},
       {"group:Date|Time|Name", "row:1|2"}, csv_writer_kind::split},
      {"without a separator short lines go and a line is no header",
       {"a,b", "Date and Time and Name and so on", "1 and 2 and 3 and still more text"},
       {"short:Date and Time and Name and so on", "short:1 and 2 and 3 and still more text"}, csv_writer_kind::html,
       [](quazel_tool_metadata& ctx) { ctx.separator.clear(); }},
      {"a bodyfile's first line opens its one group",
       {"x - ver: 1; (c) Quazel LLC and the rest", "0|a|1", "0|b|2"},
       {"group:md5|name|inode", "row:0|a|1", "row:0|b|2"}, csv_writer_kind::html,
       [](quazel_tool_metadata& ctx) {
         ctx.is_bodyfile = 1;
         ctx.separator = "|";
         ctx.columns = {"md5", "name", "inode"};
         ctx.first_column_name = "md5";
       }},
      // The header's first cell must be the name, not begin with it.
      {"a first cell that begins with the name is a row", {"Date,Time,Name", "Date-1,2,3", " \"Date\" ,x,y"},
       {"group:Date|Time|Name", "row:Date-1|2|3", "group:\"Date\"|x|y"}},
      {"a header line indented by TABs", {"\t\t\tDate,Time,Name", "1,2,3"}, {"group:Date|Time|Name", "row:1|2|3"}},
      {"a second mark before the header is dropped", {"\xEF\xBB\xBF" "Date,Time,Name", "1,2,3"},
       {"group:Date|Time|Name", "row:1|2|3"}, csv_writer_kind::json},
      {"lines before the first header are no records", {"Logon report,,,", "Date,Time,Name", "1,2,3"},
       {"short:Logon report,,,", "group:Date|Time|Name", "row:1|2|3"}, csv_writer_kind::json},
      {"a header whose first name is empty",
       {",Date,Time,Name", "0,1,2,3", ",Date-2,x,y"},
       {"group:|Date|Time|Name", "row:0|1|2|3", "row:|Date-2|x|y"}, csv_writer_kind::json,
       [](quazel_tool_metadata& ctx) {
         ctx.columns = {"", "Date", "Time", "Name"};
         ctx.first_column_name = "Date";
       }},
      {"a quoted name keeps the separator it holds", {"Date,\"Time, zone\",Name", "1,\"2, 3\",4"},
       {"group:Date|\"Time, zone\"|Name", "row:1|\"2, 3\"|4"}},
      // Quoted fields over several lines.
      {"a quoted field holding line ends is one row",
       {"Date,Time,Name", "1,\"two", "", "lines, and more\",3", "4,5\" disk,6", "7,\"\"\"quoted\"\" ,", "\"\"\",9"},
       {"group:Date|Time|Name", "row:1|\"two\n\nlines, and more\"|3", "row:4|5\" disk|6",
        "row:7|\"\"\"quoted\"\" ,\n\"\"\"|9"}},
      {"line ends and blanks inside a cell stay as the source has them",
       {"Date,Time,Name\r\n", "1,\"a\n", "b\r\n", "  c \r\n", "d\"  ,3 \r\n"},
       {"group:Date|Time|Name", "row:1|\"a\nb\r\n  c \r\nd\"|3"}},
      // Each line of a row that is not taken whole is a row of its own, none dropped.
      {"a joined row short of fields is taken line by line",
       {"Date,Time,Name", "1,\"a", "b\"", "4,5,6"},
       {"group:Date|Time|Name", "row:1|\"a|", "row:b\"||", "row:4|5|6"}},
      {"a quote open at the end of the source", {"Date,Time,Name", "1,2,3", "4,\"never", "closed"},
       {"group:Date|Time|Name", "row:1|2|3", "row:4|\"never|", "row:closed||",
        "stderr:unused.csv: the quote opened on line 3 does not close before the end of the source; its "
        "lines are kept as rows of their own\n"}},
      {"a quote open at the end of the source, SQLite", {"Date,Time,Name", "4,\"never", "closed"},
       {"group:Date|Time|Name", "row:4|\"never", "row:closed|", "stderr:unused.csv: the quote opened on line 2 "
        "does not close before the end of the source; its lines are kept as rows of their own\n"},
       csv_writer_kind::sqlite},
      {"a quote open at the end of the source, cleanup", {"Date,Time,Name", "4,\"never", "closed"},
       {"group:Date|Time|Name", "short:4,\"never", "short:closed", "stderr:unused.csv: the quote opened on line 2 "
        "does not close before the end of the source; its lines are kept as rows of their own\n"},
       csv_writer_kind::cleanup},
      {"a quote that does not close within 64 lines", long_cell, long_cell_rows},
      {"no header within the first lines: the rest is passed over", junk_then_header,
       junk_shorts},
      {"the cleanup writer goes on looking", junk_then_header, cleanup_expected,
       csv_writer_kind::cleanup},
      {"empty, blank and dropped lines do not use up the search", spaced_header,
       spaced_expected, csv_writer_kind::json},
  };
  for (const classify_case& c : cases) {
    for (size_t chunk = 1; chunk <= c.lines.size(); ++chunk) {
      SCOPED_TRACE(std::string(c.name) + ", chunks of " + std::to_string(chunk) + " lines");
      EXPECT_EQ(classify(c, chunk), c.expected);
    }
  }
}

// Rows whose quoted fields hold line ends, through the JSON writer with the reader's chunks
// cut at every size: the same records, each line end inside a cell as the source has it (a bare
// LF in a CR LF source, a CR LF in an LF source), and a quote that never closes reported.
TEST(CsvDispatch, QuotedLineEndsJoinWhateverTheChunkSize) {
  struct source_case {
    const char* name;
    std::string source;
    std::string expected;
    int quote_line;  // where the quote that never closes opens, counted in the source's lines
  };
  const source_case cases[] = {
      {"CR LF source",
       "Date,Time,Name\r\n"
       "1,\"line one\nline two\",3\r\n"
       "4,5\" disk,6\r\n"
       "7,\"a, \"\"b\"\"\r\n\r\nc\",9\r\n"
       "8,\"never closed,9\r\n"
       "10,11,12\r\n",
       "{\"Date\": \"1\", \"Time\": \"\\\"line one\\nline two\\\"\", \"Name\": \"3\"}\n"
       "{\"Date\": \"4\", \"Time\": \"5\\\" disk\", \"Name\": \"6\"}\n"
       "{\"Date\": \"7\", \"Time\": \"\\\"a, \\\"\\\"b\\\"\\\"\\r\\n\\r\\nc\\\"\", \"Name\": \"9\"}\n"
       // the quote never closes: the lines are rows as they stand
       "{\"Date\": \"8\", \"Time\": \"\\\"never closed\", \"Name\": \"9\"}\n"
       "{\"Date\": \"10\", \"Time\": \"11\", \"Name\": \"12\"}\n",
       8},
      {"LF source",
       "Date,Time,Name\n"
       "1,\"line one\r\nline two\n  indented \r\n\",3\n"
       "8,\"never closed,9\n"
       "10,11,12",
       "{\"Date\": \"1\", \"Time\": \"\\\"line one\\r\\nline two\\n  indented \\r\\n\\\"\", \"Name\": \"3\"}\n"
       "{\"Date\": \"8\", \"Time\": \"\\\"never closed\", \"Name\": \"9\"}\n"
       "{\"Date\": \"10\", \"Time\": \"11\", \"Name\": \"12\"}\n",
       6},
  };
  temp_folder folder("csv_driver_quoted");
  ASSERT_FALSE(folder.path().empty());
  const std::string path = folder.file("quoted.csv");
  for (const source_case& c : cases) {
    folder.put("quoted.csv", c.source);
    const std::string message = path + ": the quote opened on line " +
                                std::to_string(c.quote_line) +
                                " does not close before the end of the source; its lines are kept as rows of their own\n";
    std::vector<u32> sizes = {uni::fileio::default_chunk_bytes};
    for (u32 size = 1; size <= c.source.size() + 1; ++size) sizes.push_back(size);
    for (u32 size : sizes) {
      SCOPED_TRACE(std::string(c.name) + ", chunks of " + std::to_string(size) + " bytes");
      quazel_tool_metadata ctx;
      set_source(ctx, path, ",", {"Date", "Time", "Name"}, nullptr);
      ctx.status_display = 0;
      ctx.to_json = 1;
      ctx.flat = 1;
      testing::internal::CaptureStderr();
      const conversion result = convert(ctx, size);
      EXPECT_EQ(testing::internal::GetCapturedStderr(), message);
      EXPECT_TRUE(result.ok);
      EXPECT_EQ(result.text, c.expected);
    }
  }
}

// A row hook whose output fails at the row "2": the journal notes it like note_row.
int failing_row(std::ostream& out, std::vector<std::string>& cells, quazel_tool_metadata& ctx) {
  note_row(out, cells, ctx);
  return cells[0] == "2" ? hook_output_failed : 1;
}

TEST(CsvDispatch, AFailedOutputStopsTheSource) {
  const std::vector<std::string> lines = {"Date,Time,Name", "1,1,a", "2,2,b", "3,3,c", "Artifact: x", "4,4,d"};
  for (size_t chunk_lines : {size_t(1), size_t(2), size_t(10)}) {
    SCOPED_TRACE(std::to_string(chunk_lines) + " lines a chunk");
    quazel_tool_metadata ctx;
    set_classify_source(ctx);
    std::ostringstream out;
    ctx.out = &out;
    csv_writer_hooks failing = noting_writer(csv_writer_kind::html);
    failing.write_row = failing_row;
    csv_dispatch dispatch(ctx, &failing);
    std::vector<std::string> noted;
    journal = &noted;
    size_t chunks_taken = 0;
    for (size_t at = 0; at < lines.size(); at += chunk_lines) {
      std::vector<std::string> chunk(lines.begin() + static_cast<std::ptrdiff_t>(at),
                                     lines.begin() + static_cast<std::ptrdiff_t>(std::min(lines.size(), at + chunk_lines)));
      // The reader stops at the first 0.
      if (dispatch_csv_lines(dispatch, chunk, static_cast<u32>(chunk.size())) == 0) break;
      ++chunks_taken;
    }
    finish_csv_lines(dispatch);
    journal = nullptr;
    EXPECT_TRUE(dispatch.output_failed);
    EXPECT_EQ(noted, (std::vector<std::string>{"group:Date|Time|Name", "row:1|1|a", "row:2|2|b"}));
    EXPECT_EQ(chunks_taken, 2 / chunk_lines);
  }
}

TEST(CsvDispatch, RefusesWithoutOutputOrLines) {
  quazel_tool_metadata ctx;
  set_classify_source(ctx);
  csv_dispatch dispatch(ctx, nullptr);
  std::vector<std::string> lines = {"Date,Time,Name", "1,2,3"};
  EXPECT_EQ(dispatch_csv_lines(dispatch, lines, 2), 0u) << "no output stream";
  std::ostringstream out;
  ctx.out = &out;
  std::vector<std::string> none;
  EXPECT_EQ(dispatch_csv_lines(dispatch, none, 0), 0u);
  out.setstate(std::ios::badbit);
  EXPECT_EQ(dispatch_csv_lines(dispatch, lines, 2), 0u) << "a stream that failed";
  EXPECT_EQ(ctx.head_pending, 1) << "nothing was touched";
  out.clear();
  EXPECT_EQ(dispatch_csv_lines(dispatch, lines, 2), 2u);
  uni::fileio reader;
  EXPECT_EQ(process_csv_lines(reader, 0, lines, 2, 0), 0u) << "no dispatch state";
}

// ---- The driver.

class CsvConvert : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    path_ = folder_.file("run.csv");
    folder_.put("run.csv", "Date,Time,Name\n1,2,3\n");
    set_source(ctx_, path_, ",", {"Date", "Time", "Name"}, nullptr);
    ctx_.to_html = 1;
  }

  temp_folder folder_{"csv_driver"};
  std::string path_;
  quazel_tool_metadata ctx_;
};

TEST_F(CsvConvert, RefusesWhatItCannotConvert) {
  struct refusal_case {
    const char* name;
    std::function<void(quazel_tool_metadata&)> setup;
  };
  const refusal_case cases[] = {
      {"no source path", [](quazel_tool_metadata& ctx) { ctx.csv_source.clear(); }},
      {"no columns from the banner",
       [](quazel_tool_metadata& ctx) { ctx.source_columns.clear(); }},
      {"a source that does not open",
       [](quazel_tool_metadata& ctx) { ctx.csv_source += ".missing"; }},
      {"more pairs than columns",
       [](quazel_tool_metadata& ctx) {
         for (int i = 0; i < 4; ++i) ctx.pair_map[i] = csv_formating();
       }},
  };
  for (const refusal_case& c : cases) {
    SCOPED_TRACE(c.name);
    quazel_tool_metadata ctx;
    set_source(ctx, path_, ",", {"Date", "Time", "Name"}, nullptr);
    ctx.to_html = 1;
    c.setup(ctx);
    conversion result = convert(ctx);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.text, "") << "nothing written";
  }
}

int output_fails(std::ostream&, std::vector<std::string>&, quazel_tool_metadata&) { return hook_output_failed; }

// The caller reports by how the conversion ended: header rows that all fell short of the
// producing tool's minimum, or a writer's output that failed, apart from any other failure.
TEST_F(CsvConvert, TellsHowTheConversionEnded) {
  csv_writer_hooks failing_rows = html_writer_hooks;
  failing_rows.write_row = output_fails;
  struct end_case {
    const char* name;
    int min_columns;
    const csv_writer_hooks* writer;
    csv_conversion expected;
  };
  const end_case cases[] = {
      {"converted", 2, &html_writer_hooks, csv_conversion::converted},
      {"every header row too short", 4, &html_writer_hooks, csv_conversion::header_too_short},
      {"a writer's output failed", 2, &failing_rows, csv_conversion::output_failed},
  };
  for (const end_case& c : cases) {
    SCOPED_TRACE(c.name);
    set_source(ctx_, path_, ",", {"Date", "Time", "Name"}, nullptr);
    ctx_.min_columns = c.min_columns;
    std::ostringstream out;
    EXPECT_EQ(convert_csv_file(out, ctx_, c.writer), c.expected);
    EXPECT_NE(out.str().find("</html>"), std::string::npos) << "the document is closed all the same";
  }
}

TEST_F(CsvConvert, WithoutWriterLinesAreOnlyRead) {
  ctx_.to_html = 0;
  conversion result = convert(ctx_);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.text, "");
  EXPECT_EQ(ctx_.out, nullptr) << "no pointer to the caller's stream is kept";
}

// A stream buffer that takes `room` bytes and refuses the rest.
class full_disk : public std::streambuf {
 public:
  explicit full_disk(size_t room) : room_(room) {}
  std::string taken;

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (taken.size() >= room_) return traits_type::eof();
    taken += traits_type::to_char_type(c);
    return c;
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    std::streamsize fit = std::min<std::streamsize>(count, room_ - taken.size());
    taken.append(text, fit);
    return fit;
  }

 private:
  size_t room_;
};

TEST_F(CsvConvert, AFailedWriteFailsTheConversion) {
  for (size_t room : {size_t(0), size_t(10), size_t(300)}) {
    SCOPED_TRACE("room for " + std::to_string(room) + " bytes");
    set_source(ctx_, path_, ",", {"Date", "Time", "Name"}, nullptr);
    full_disk disk(room);
    std::ostream out(&disk);
    EXPECT_EQ(convert_csv_file(out, ctx_, &html_writer_hooks), csv_conversion::failed);
  }
  set_source(ctx_, path_, ",", {"Date", "Time", "Name"}, nullptr);
  full_disk roomy(1 << 20);
  std::ostream out(&roomy);
  EXPECT_EQ(convert_csv_file(out, ctx_, &html_writer_hooks), csv_conversion::converted);
  EXPECT_NE(roomy.taken.find("<td>3</td>"), std::string::npos);
}

// A stream buffer that cuts the source file short at its first write, so that the reader
// meets the end of the file before the end it measured.
class cutting_output : public std::stringbuf {
 public:
  explicit cutting_output(std::string path) : path_(std::move(path)) {}

 protected:
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    if (!cut_) cut_ = truncate(path_.c_str(), 0) == 0;
    return std::stringbuf::xsputn(text, count);
  }

 private:
  std::string path_;
  bool cut_ = false;
};

TEST_F(CsvConvert, ASourceThatCannotBeReadToItsEndFailsTheConversion) {
  std::string source = "Date,Time,Name\n";
  for (int i = 0; i < 50; ++i) source += "1,2," + std::to_string(i) + "\n";
  folder_.put("run.csv", source);
  cutting_output cutter(path_);
  std::ostream out(&cutter);
  EXPECT_EQ(convert_csv_file(out, ctx_, &html_writer_hooks, 64), csv_conversion::failed);
  EXPECT_NE(cutter.str().find("</html>"), std::string::npos) << "the document is still closed";
}

}  // namespace

// A source no longer than the banner's prefix is converted from the bytes the banner read
// took, never read again; a longer one is read from its file. Either way the output is the
// one the file gives, whatever the mark, the line ends or a missing last line end.
TEST(CsvConvertSmallSources, ConvertedFromTheBannerBytesAsFromTheFile) {
  temp_folder folder{"csv_small_sources"};
  ASSERT_FALSE(folder.path().empty());
  struct Case {
    const char* name;
    const char* mark;
    bool utf16;
    bool crlf;
    bool last_line_end;
  };
  const Case cases[] = {
      {"plain", "", false, false, true},
      {"no last line end", "", false, false, false},
      {"CR LF", "", false, true, true},
      {"UTF-8 mark", "\xEF\xBB\xBF", false, false, true},
      {"UTF-16 mark", "\xFF\xFE", true, true, false},
  };
  constexpr size_t prefix = 16384;
  for (const Case& c : cases) {
    for (size_t target : {size_t(4000), prefix - 2, prefix, prefix + 2, 3 * prefix}) {
      SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(target) + " bytes");
      const std::string end = c.crlf ? "\r\n" : "\n";
      std::string text = std::string(two_groups_source) + end;
      if (c.crlf) {
        std::string crlf;
        for (char ch : std::string(two_groups_source)) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        text = crlf + end;
      }
      // Rows until the encoded file reaches the target size exactly.
      const size_t unit = c.utf16 ? 2 : 1;
      auto encoded_size = [&](const std::string& t) { return std::strlen(c.mark) + t.size() * unit; };
      for (int row = 0; encoded_size(text) + 128 * unit < target; ++row)
        text += "2016-01-02,12:00:00,svc" + std::to_string(row) + ",C:\\x.exe,run" + end;
      std::string last = "2016-01-03,12:00:00,pad,x,";
      const size_t fixed = encoded_size(text) + (last.size() + (c.last_line_end ? end.size() : 0)) * unit;
      ASSERT_LE(fixed, target);
      last += std::string((target - fixed) / unit, 'p');
      text += last;
      if (c.last_line_end) text += end;
      std::string bytes = c.mark;
      for (char ch : text) {
        bytes += ch;
        if (c.utf16) bytes += '\0';
      }
      ASSERT_EQ(bytes.size(), target);
      folder.put("small.csv", bytes);
      const std::string path = folder.file("small.csv");

      quazel_tool_metadata ctx;
      ctx.status_display = 0;
      ctx.to_html = 1;
      ASSERT_TRUE(read_csv_banner(ctx, path));
      EXPECT_EQ(ctx.source_bytes.empty(), target > prefix);
      // Emptied under the conversion: only the bytes already read can give its rows.
      folder.put("small.csv", "");
      const conversion from_banner = convert(ctx);
      folder.put("small.csv", bytes);
      ASSERT_TRUE(read_csv_banner(ctx, path));
      ctx.source_bytes.clear();
      const conversion from_file = convert(ctx);
      EXPECT_TRUE(from_file.ok);
      EXPECT_NE(from_file.text.find("pppp</td>"), std::string::npos) << "the last row is converted";
      if (target <= prefix) {
        EXPECT_TRUE(from_banner.ok);
        EXPECT_EQ(from_banner.text, from_file.text);
      } else {
        EXPECT_EQ(from_banner.text.find("pppp</td>"), std::string::npos) << "a longer source is read from its file";
      }
    }
  }
}
