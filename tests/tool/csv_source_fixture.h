// Sources for the conversion tests: a file in a fresh folder and a run context set up as the
// banner reader leaves it, so that the driver and the writers are tested on their own.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "framework/time/qz_variant.h"
#include "tests/text/temp_folder.h"
#include "tool/csv_banner.h"
#include "tool/csv_driver.h"
#include "tool/csv_writers.h"
#include "tool/quazel_tool_metadata.h"

// The banner values of the sample sources.
struct banner_values {
  std::string tool_name = "dorvel";
  std::string tool_version = "1.2";
  std::string licence_word = "to";
  std::string licence_text = "the lab";
  std::string run_time = "2015-06-01 10:00:00";
  std::string extra_info = "local";
  std::string command_line = "dorvel -hive C:\\cases\\SOFTWARE -csv";
};

// The per-source part of ctx as the banner reader leaves it for a source whose header row
// holds columns; with banner, the banner's values too.
inline void set_source(quazel_tool_metadata& ctx, const std::string& path,
                       const std::string& separator, const std::vector<std::string>& columns,
                       const banner_values* banner) {
  ctx.clear_find_signature_vars();
  ctx.status_display = 0;
  ctx.csv_source = path;
  ctx.separator = separator;
  ctx.columns = columns;
  ctx.first_column_name = columns.empty() ? std::string() : columns[0];
  ctx.source_columns.clear();
  for (const std::string& name : columns) ctx.source_columns.emplace_back(name, 0);
  if (banner != nullptr) {
    ctx.banner_found = 1;
    ctx.tool_name = banner->tool_name;
    ctx.short_tool_name = banner->tool_name;
    ctx.tool_version = banner->tool_version;
    ctx.licence_word = banner->licence_word;
    ctx.licence_text = banner->licence_text;
    ctx.run_time_text = banner->run_time;
    ctx.extra_info = banner->extra_info;
    ctx.command_line = banner->command_line;
  }
  set_run_separator(ctx);
}

// Two groups of a "dorvel" source: banner values title them and add a column; with its tags
// one column titles the first group and one holds nested cells.
inline const char* const two_groups_source =
    "dorvel - 64 ver: 1.2; (c) Quazel LLC\n"
    "Licensed to the lab\n"
    "Run time: 2015-06-01 10:00:00; local\n"
    "Command line: dorvel -hive C:\\cases\\SOFTWARE -csv\n"
    "-----------------------------------------\n"
    "Artifact: Run keys\n"
    "Registry key: Software\\Run\n"
    "\n"
    "Date,Time,Name,Segments\n"
    "2015-01-01,10:00:00,alpha,!*<[name;size]><a.txt;10><b.txt;20>\n"
    "2015-01-02,11:00:00,beta,none\n"
    "2015-01-03,12:00:00\n"
    "Artifact: Services\n"
    "When,At,Who,What,Why\n"
    "2016-01-01,12:00:00,svc,C:\\Windows\\svc.exe,boot";

// The tags the banner parser gives a "dorvel" source that has a rule line.
inline void add_dorvel_tags(quazel_tool_metadata& ctx) {
  ctx.tags.emplace_back("-----------", tag_line_unstored, 0);
  ctx.tags.emplace_back("Artifact:", artifact_line, 0);
  ctx.tags.emplace_back("Registry key:", column_line, 0);
  ctx.tags.emplace_back("Hive Location:", 0x48A, 0);
}

// The whole output of one conversion, how it ended, and whether it succeeded.
struct conversion {
  bool ok = false;
  csv_conversion result = csv_conversion::failed;
  std::string text;
};

inline conversion convert(quazel_tool_metadata& ctx,
                          u32 chunk_bytes = uni::fileio::default_chunk_bytes) {
  std::ostringstream out;
  conversion result;
  result.result = convert_csv_file(out, ctx, active_csv_writer(ctx), chunk_bytes);
  result.ok = result.result == csv_conversion::converted;
  result.text = out.str();
  return result;
}
