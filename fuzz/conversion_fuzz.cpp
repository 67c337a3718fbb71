// The whole conversion of one source through every writer, with what must hold of every
// output: the JSON document (and every "-flat" line) parses with a maintained JSON library,
// the HTML holds no markup but the writer's own and opens every element it closes, and the
// HTML, JSON, "-flat" and SQLite outputs hold the same number of records.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "fuzz/fuzz_support.h"
#include "tool/csv_driver.h"
#include "tool/csv_writers.h"
#include "tool/quazel_tool_metadata.h"
#include "tool/tool_options.h"

namespace {

// A folder of this process's own for the source, the database and the split files.
const std::string& work_folder() {
  static const std::string folder = [] {
    std::string pattern = (std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp") + std::string("/telvar_fuzz_XXXXXX");
    const char* made = mkdtemp(pattern.data());
    if (made == nullptr) std::abort();
    return std::string(made);
  }();
  return folder;
}

struct converted {
  bool ok = false;
  std::string text;
};

// telvar -src <source> <action...> -quiet, converted in this process into a text.
converted convert(const std::string& source, std::vector<std::string> action) {
  std::vector<std::string> args = {"telvar", "-src", source, "-quiet"};
  args.insert(args.end(), action.begin(), action.end());
  quazel_tool_metadata ctx;
  ctx.status_display = 0;
  bool banner_read = false;
  converted result;
  if (!parse_tool_options(ctx, args, "ver: 1", &banner_read) || !banner_read) return result;
  std::ostringstream out;
  result.ok = convert_csv_file(out, ctx, active_csv_writer(ctx)) == csv_conversion::converted;
  result.text = out.str();
  return result;
}

// Records in a nested JSON document: the elements of its arrays (one per group).
long json_records(const std::string& text) {
  nlohmann::json document;
  try {
    document = nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception& failure) {
    std::fprintf(stderr, "%s\n", failure.what());
    fuzz::require(false, "the JSON document does not parse");
  }
  fuzz::require(document.is_object(), "the JSON document is not an object");
  long records = 0;
  for (const auto& member : document.items())
    if (member.value().is_array()) records += static_cast<long>(member.value().size());
  return records;
}

// Records of "-flat": one object per non-empty line.
long flat_records(const std::string& text) {
  long records = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) continue;
    try {
      fuzz::require(nlohmann::json::parse(line).is_object(), "a -flat line is not an object");
    } catch (const nlohmann::json::exception&) {
      fuzz::require(false, "a -flat line does not parse");
    }
    ++records;
  }
  return records;
}

// Records of an HTML document (rows of data cells), after checking that every '<' opens or
// closes one of the writer's elements and that the elements are balanced.
long html_records(const std::string& text) {
  static const std::vector<std::string> paired = {"html", "head", "title", "body", "h2", "h3", "pre",
                                                  "table", "tr", "th", "td"};
  std::vector<std::string> open;
  long records = 0;
  for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
    const size_t end = text.find('>', at);
    fuzz::require(end != std::string::npos, "an HTML tag is not closed");
    std::string tag = text.substr(at + 1, end - at - 1);
    const bool closing = !tag.empty() && tag[0] == '/';
    if (closing) tag.erase(0, 1);
    const std::string name = tag.substr(0, tag.find(' '));
    if (name == "meta" || name == "br") continue;
    bool ours = false;
    for (const std::string& known : paired) ours = ours || known == name;
    fuzz::require(ours, "the HTML holds markup that is not the writer's");
    if (closing) {
      fuzz::require(!open.empty() && open.back() == name, "the HTML closes an element it did not open");
      open.pop_back();
    } else {
      const long tables = std::count(open.begin(), open.end(), std::string("table"));
      if (name == "td" && !open.empty() && open.back() == "tr" && tables == 1) {
        // The first data cell of a row of a group's table (a nested cell's table is inside).
        const size_t row = text.rfind("<tr", at);
        if (text.find("<td", row) == at) ++records;
      }
      open.push_back(name);
    }
  }
  fuzz::require(open.empty(), "the HTML leaves elements open");
  return records;
}

// Records the run records of a database name.
long sqlite_records(const std::string& path) {
  sqlite3* db = nullptr;
  long records = 0;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "select coalesce(sum(row_data_end - row_data_start + 1), 0) from metadata", -1,
                           &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
      records = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string folder = work_folder();
  const std::string source = folder + "/source.csv";
  std::ofstream(source, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  const converted html = convert(source, {"-csv_to_html"});
  const converted json = convert(source, {"-csv_to_json"});
  const converted flat = convert(source, {"-csv_to_json", "-flat"});
  const std::string db = folder + "/case.db";
  std::filesystem::remove(db);
  const converted stored = convert(source, {"-csv_to_sqlite", "-dst", db});
  std::filesystem::remove_all(folder + "/split");
  std::filesystem::create_directories(folder + "/split");
  convert(source, {"-split_into_files", "-dst", folder + "/split"});
  convert(source, {"-change_csv_separator", ";"});
  convert(source, {"-change_csv_separator", "|", "-pair_fields", "1,2"});

  fuzz::require(html.ok == json.ok && json.ok == flat.ok, "the writers disagree on whether the source converts");
  if (!html.ok) return 0;
  const long in_html = html_records(html.text);
  const long in_json = json_records(json.text);
  const long in_flat = flat_records(flat.text);
  fuzz::require(in_html == in_json, "HTML and JSON hold different numbers of records");
  fuzz::require(in_json == in_flat, "JSON and -flat hold different numbers of records");
  if (stored.ok) fuzz::require(sqlite_records(db) == in_json, "SQLite and JSON hold different numbers of records");
  return 0;
}
