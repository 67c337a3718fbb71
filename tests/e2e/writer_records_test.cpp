// Every writer writes the same records: a source is converted by each writer and the rows
// each wrote are read back from its output by Python (HTML table cells, JSON members, SQLite
// table rows, split and cleaned CSV through its csv module) and compared with the data rows of
// the source. A cell telvar keeps in its quotes is compared as a CSV reader reads it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/telvar_process.h"

namespace {

using rows = std::vector<std::string>;

// Prints the records of each writer's output named by its arguments (pairs of kind and path),
// a line "==" before each output's, one JSON array of texts a line. html, json, flat
// and sqlite: the data rows alone; split, cleanup and source: every row of the CSV (a split
// folder's files in name order), so that the caller can see where the header stands; a kind
// ending in ":tab" reads TAB-separated CSV.
const char* const read_records_script = R"PY(
import csv, glob, html.parser, json, os, sqlite3, sys
def unquoted(cell):
    if len(cell) >= 2 and cell[0] == '"' and cell[-1] == '"':
        return cell[1:-1].replace('""', '"')
    return cell
def records(kind, path):
    kind, _, separator = kind.partition(":")
    delimiter = "\t" if separator == "tab" else ","
    found = []
    if kind == "html":
        class table_rows(html.parser.HTMLParser):
            depth, row, cell = 0, None, None
            def handle_starttag(self, tag, attrs):
                if tag == "table": self.depth += 1
                elif self.depth != 1: return
                elif tag == "tr": self.row = []
                elif tag == "th": self.row = None
                elif tag == "td" and self.row is not None: self.cell = ""
                elif tag == "br" and self.cell is not None: self.cell += "\r\n"
            def handle_endtag(self, tag):
                if tag == "table": self.depth -= 1
                elif self.depth != 1: return
                elif tag == "td" and self.cell is not None:
                    self.row.append(unquoted(self.cell)); self.cell = None
                elif tag == "tr" and self.row is not None:
                    found.append(self.row); self.row = None
            def handle_data(self, data):
                if self.cell is not None: self.cell += data
        table_rows(convert_charrefs=True).feed(open(path, encoding="utf-8", newline="").read())
    elif kind == "json":
        for name, value in json.load(open(path, encoding="utf-8")).items():
            if isinstance(value, list):
                found += [[unquoted(v) for v in record.values()] for record in value]
    elif kind == "flat":
        for line in open(path, encoding="utf-8", newline=""):
            found.append([unquoted(v) for v in json.loads(line).values()])
    elif kind == "sqlite":
        db = sqlite3.connect(path)
        tables = []
        for (table,) in db.execute("select data_tbl_name from metadata order by runtime"):
            if table not in tables: tables.append(table)
        for table in tables:
            names = [c[1] for c in db.execute("select * from pragma_table_info(?)", (table,))]
            keep = len(names) - 1 if names[-1].endswith("-overflow") else len(names)
            for record in db.execute("select * from [%s] order by rowid" % table):
                found.append([unquoted(str(v)) for v in record[1:keep]])
    else:
        files = sorted(glob.glob(os.path.join(path, "*.csv"))) if kind == "split" else [path]
        for name in files:
            found += list(csv.reader(open(name, encoding="utf-8", newline=""), delimiter=delimiter))
    return found
for kind, path in zip(sys.argv[1::2], sys.argv[2::2]):
    print("==")
    for record in records(kind, path):
        print(json.dumps(record, separators=(",", ":")))
)PY";

// The records of each (kind, path) output, through the script saved at script.
std::vector<rows> read_records(const std::string& script, const std::vector<std::pair<std::string, std::string>>& outputs) {
  std::string command = "python3 '" + script + "'";
  for (const auto& [kind, path] : outputs) command += " " + kind + " '" + path + "'";
  command += " 2>&1";
  std::vector<rows> found;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return found;
  std::string text;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
  pclose(pipe);
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = text.substr(start, end - start);
    if (line == "==") {
      found.emplace_back();
    } else if (!found.empty()) {
      found.back().push_back(line);
    } else {
      found.push_back({line});  // python's own complaint
    }
  }
  return found;
}

struct writer {
  const char* name;
  const char* kind;  // for read_records
  std::vector<std::string> options;
  const char* output;
};

const writer writers[] = {
    {"html", "html", {"-csv_to_html"}, "out.html"},
    {"json", "json", {"-csv_to_json"}, "out.json"},
    {"json -flat", "flat", {"-csv_to_json", "-flat"}, "out.json"},
    {"sqlite", "sqlite", {"-csv_to_sqlite"}, "out.db"},
    {"split", "split", {"-split_into_files"}, "split"},
    {"cleanup", "cleanup", {"-no_whitespace"}, "out.csv"},
};

struct source_case {
  const char* name;
  const char* fixture;
  std::string header;  // as the CSV writers write it
  rows records;
  rows cleanup_copied = {};  // lines the cleanup writer copies as text before the header
  // Where the split writer differs: it writes a separator inside a cell as a blank.
  std::string split_header = {};
  rows split_records = {};
  bool tab_separated = false;  // the CSV writers keep the source's TAB
  std::string err = {};        // what every run prints on standard error
  // Where the cleanup writer differs: it copies a line it cannot take apart as it stands.
  rows cleanup_records = {};
};

class writer_records : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    if (std::system("python3 -c 'import csv, sqlite3' 2>/dev/null") != 0) GTEST_SKIP() << "python3 not found";
    dir_.put("read_records.py", read_records_script);
  }

  // Converts each fixture with every writer; each writes exactly the records, and the CSV
  // writers the header once, before them.
  void expect_records(const std::vector<source_case>& cases) {
    namespace fs = std::filesystem;
    std::vector<std::pair<std::string, std::string>> outputs;
    for (const source_case& c : cases) {
      for (const writer& w : writers) {
        SCOPED_TRACE(std::string(c.name) + ", " + w.name);
        const fs::path run_dir = fs::path(dir_.path()) / (std::string(c.fixture) + "." + w.kind);
        fs::create_directories(run_dir / "split");
        e2e::write_file((run_dir / c.fixture).string(), e2e::fixture(c.fixture));
        std::vector<std::string> args = {"-src", c.fixture, "-dst", w.output, "-quiet"};
        args.insert(args.end(), w.options.begin(), w.options.end());
        e2e::run_options options;
        options.cwd = run_dir.string();
        const e2e::run_result run = e2e::run_telvar(args, options);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, c.err);
        const std::string kind = w.kind;
        const bool csv_output = kind == "split" || kind == "cleanup";
        outputs.emplace_back(kind + (csv_output && c.tab_separated ? ":tab" : ""), (run_dir / w.output).string());
      }
    }
    const std::vector<rows> found_all = read_records(dir_.file("read_records.py"), outputs);
    ASSERT_EQ(found_all.size(), outputs.size()) << (found_all.empty() ? rows{} : found_all[0]).size();
    size_t at = 0;
    for (const source_case& c : cases) {
      for (const writer& w : writers) {
        SCOPED_TRACE(std::string(c.name) + ", " + w.name);
        rows found = found_all[at++];
        const std::string kind = w.kind;
        if (kind == "cleanup") {
          const auto copied = static_cast<std::ptrdiff_t>(std::min(c.cleanup_copied.size(), found.size()));
          EXPECT_EQ(rows(found.begin(), found.begin() + copied), c.cleanup_copied);
          found.erase(found.begin(), found.begin() + copied);
        }
        if (kind == "split" || kind == "cleanup") {
          ASSERT_FALSE(found.empty());
          EXPECT_EQ(found.front(), kind == "split" && !c.split_header.empty() ? c.split_header : c.header);
          found.erase(found.begin());
        }
        const rows* expected = &c.records;
        if (kind == "split" && !c.split_records.empty()) expected = &c.split_records;
        if (kind == "cleanup" && !c.cleanup_records.empty()) expected = &c.cleanup_records;
        EXPECT_EQ(found, *expected);
      }
    }
  }

  temp_folder dir_{"telvar_records"};
};

// Header rows that were misread: each writer wrote the header as a record, or no rows at all.
TEST_F(writer_records, unusual_header_rows_give_the_data_rows) {
  const source_case cases[] = {
      {"header indented by TABs", "records_tab_indented.csv", R"(["id","host","result"])",
       {R"(["1","WS1","ok"])", R"(["2","WS2","fail"])"}},
      {"header with an empty first name", "records_empty_first_name.csv", R"(["","host","user","result"])",
       {R"(["0","WS1","jmarsh","ok"])", R"(["1","WS2","abc","fail"])"}},
      {"TAB-separated header with an empty first name", "records_tab_empty_first_name.csv",
       R"(["","host","user","result"])", {R"(["0","WS1","jmarsh","ok"])", R"(["1","WS2","abc","fail"])"}, {}, {}, {},
       true},
      {"source opening with two UTF-8 marks", "records_two_marks.csv", R"(["host","user","result"])",
       {R"(["WS1","jmarsh","ok"])", R"(["WS2","abc","fail"])"}},
      // A row whose first cell begins with the first column's name is a row.
      {"first cells beginning with the first name", "records_name_prefix.csv", R"(["id","user","result"])",
       {R"(["id-001","jmarsh","ok"])", R"(["WS2","abc","fail"])", R"(["id-003","kl","ok"])"}},
      {"a quoted name holding the separator", "records_quoted_header.csv", R"(["Name, Full","Age","City"])",
       {R"(["Marsh, J","41","Oslo"])", R"(["Plain","30","Rome"])"}, {}, R"(["Name  Full","Age","City"])",
       {R"(["Marsh  J","41","Oslo"])", R"(["Plain","30","Rome"])"}},
  };
  expect_records(std::vector<source_case>(std::begin(cases), std::end(cases)));
}

// A title line before the header of a source without a banner is no record; the cleanup
// writer copies it as the text it is, before the header.
TEST_F(writer_records, a_title_line_before_the_header_is_no_record) {
  expect_records({{"title line", "records_title_line.csv", R"(["host","user","time","result"])",
                   {R"(["WS1","jmarsh","10:00","ok"])", R"(["WS2","abc","11:00","fail"])"},
                   {R"(["Logon report","","",""])"}}});
}

// A UTF-16 surrogate without its partner, in the part of the source the banner is read from,
// is U+FFFD in every writer; a pair stays the character it is.
TEST_F(writer_records, a_lone_utf16_surrogate_is_a_replacement_character) {
  expect_records({{"lone surrogates", "records_lone_surrogates_utf16.csv", R"(["host","user","result"])",
                   {R"(["WS1","j\ufffdmarsh","ok"])", R"(["WS2","abc","fail\ufffd"])",
                    R"(["WS3","\ud83d\ude00","ok"])"}}});
}

// Quoted fields holding line ends, quotes and separators, as spreadsheets write them: one
// record each, the line ends kept in the cell.
TEST_F(writer_records, quoted_fields_over_several_lines_are_one_record) {
  expect_records({{"quoted lines", "records_quoted_lines.csv", R"(["id","note","size"])",
                   {R"(["1","line one\r\nline two","3"])", R"(["2","5\" disk","6"])",
                    R"(["3 \"q\"","y","multi\r\n\r\nz"])", R"(["4","a, b","5"])"},
                   {}, {},
                   {R"(["1","line one\r\nline two","3"])", R"(["2","5\" disk","6"])",
                    R"(["3 \"q\"","y","multi\r\n\r\nz"])", R"(["4","a  b","5"])"}}});
}

// A cell's line ends are each the source's own, byte for byte: a bare LF in a CR LF source, a
// CR LF in an LF source, and the blanks around a line inside the cell.
TEST_F(writer_records, line_ends_inside_cells_stay_as_the_source_has_them) {
  expect_records({{"CR LF source with LF and CR LF in its cells", "records_mixed_line_ends.csv",
                   R"(["id","note","size"])",
                   {R"(["1","bare LF\nhere","3"])", R"(["2","CR LF\r\n  indented line  \r\nend","4"])",
                    R"(["3","plain","5"])"}},
                  {"LF source with CR LF in its cells", "records_crlf_in_lf_source.csv", R"(["id","note","size"])",
                   {R"(["1","spreadsheet\r\nline","3"])", R"(["2","two\n\nLF","4"])"}}});
}

// A quote that does not close before the end of the source, or within 64 lines: every line it
// held is a row of its own in every writer (the cleanup writer copies the lines it cannot take
// apart), the split files stay CSV that reads back the same, and standard error says where the
// quote opened.
TEST_F(writer_records, a_quote_that_does_not_close_loses_no_line) {
  const char* const kept = "; its lines are kept as rows of their own\n";
  rows long_cell = {R"(["1","\"line 1",""])"};
  for (int k = 2; k <= 64; ++k) long_cell.push_back(R"([")" "line " + std::to_string(k) + R"(","",""])");
  long_cell.insert(long_cell.end(), {R"(["line 65\"","3",""])", R"(["4","five","6"])"});
  // The cleanup writer's copy is the source's text, the one cell of 65 lines again.
  std::string long_text = "line 1";
  for (int k = 2; k <= 65; ++k) long_text += "\\nline " + std::to_string(k);
  const rows long_cell_copied = {R"(["1",")" + long_text + R"(","3"])", R"(["4","five","6"])"};
  source_case at_end{"open at the end of the source", "records_unclosed_quote.csv", R"(["id","note","size"])",
                     {R"(["1","a","3"])", R"(["2","\"never closed",""])", R"(["alpha","",""])", R"(["beta","",""])"}};
  at_end.err = std::string("records_unclosed_quote.csv: the quote opened on line 3 does not close before the end of "
                           "the source") + kept;
  // The cleanup writer's copy is the source's text, which a CSV reader runs on to its end.
  at_end.cleanup_records = {R"(["1","a","3"])", R"(["2","never closed\nalpha\nbeta\n"])"};
  source_case over_bounds{"a cell of 65 lines", "records_long_quoted_cell.csv", R"(["id","note","size"])", long_cell};
  over_bounds.err = std::string("records_long_quoted_cell.csv: the quote opened on line 2 does not close within 64 "
                                "lines or 1 MiB") + kept;
  over_bounds.cleanup_records = long_cell_copied;
  expect_records({at_end, over_bounds});
}

// Spreadsheet-style rows as Python's csv module reads them: quoted line ends (LF and CR LF),
// doubled quotes, separators, empty quoted fields, a quote inside a field.
TEST_F(writer_records, quoted_cells_read_as_the_csv_module_reads_them) {
  const std::string rows_text[] = {
      "a,b,c",
      "1,\"x\nY\",3",
      "2,\"he said \"\"hi\"\"\",3",
      "3,\"\",3",
      "4,\"p,q\n r,s\",3",
      "5,5\" disk,3",
      "\"six\n\nlines\n\",2,3",
      "7,2,\"ends\nhere\"",
      "8,\"\"\"\",9",
  };
  std::vector<std::pair<std::string, std::string>> outputs;
  for (const char* line_end : {"\n", "\r\n"}) {
    // Every line end of the source, inside cells too, is line_end.
    std::string text;
    for (const std::string& row : rows_text) {
      for (const char c : row + "\n") text += c == '\n' ? std::string(line_end) : std::string(1, c);
    }
    const std::string name = std::string("quoted") + (line_end[0] == '\r' ? "_crlf" : "_lf") + ".csv";
    dir_.put(name, text);
    e2e::run_options options;
    options.cwd = dir_.path();
    const std::string out = name + ".json";
    const e2e::run_result run = e2e::run_telvar({"-src", name, "-dst", out, "-csv_to_json", "-flat", "-quiet"}, options);
    EXPECT_EQ(run.status, 0) << run.err;
    outputs.emplace_back("source", dir_.file(name));
    outputs.emplace_back("flat", dir_.file(out));
  }
  const std::vector<rows> found = read_records(dir_.file("read_records.py"), outputs);
  ASSERT_EQ(found.size(), 4u);
  for (size_t k = 0; k < 4; k += 2) {
    SCOPED_TRACE(k == 0 ? "LF" : "CR LF");
    ASSERT_FALSE(found[k].empty());
    EXPECT_EQ(rows(found[k].begin() + 1, found[k].end()), found[k + 1]);
    EXPECT_EQ(found[k + 1].size(), 8u);
  }
}

}  // namespace
