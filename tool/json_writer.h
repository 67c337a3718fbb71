// The JSON writer: one document per source, an object whose first members are run stats from
// the banner and whose further members are one array of record objects per group; with "-flat"
// one record object per line instead. Every text written between double quotes is a valid JSON
// string (json_escape_append); the commas between members are written when the next member
// comes, so a document is well-formed however its source ends.
#pragma once

#include <cstddef>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tool/csv_writer_rules.h"

// The JSON writer's hooks, for the dispatcher.
extern const csv_writer_hooks json_writer_hooks;

// Appends the length bytes at text to out as the inside of a JSON string: '"' and '\' take a
// backslash, LF, CR and TAB become \n, \r and \t, every other byte below 0x20 \u00XX, and every
// byte that is not part of a valid UTF-8 sequence \u00XX with its own value (its Latin-1
// reading). With slash_paths every '\' becomes '/' instead of being escaped.
void json_escape_append(std::string& out, const char* text, std::size_t length, bool slash_paths);
void json_escape_append(std::string& out, const std::string& text, bool slash_paths);

// The document's opening: "{" and a line end, nothing with "-flat". Starts a document without
// members.
void json_write_opening(std::ostream& out, quazel_tool_metadata& ctx);
// The document's closing, nothing with "-flat": the open group array is closed, then "}". A
// document without members closes as "{}" does.
void json_write_closing(std::ostream& out, quazel_tool_metadata& ctx);

// The run-stats members, without "-flat", into head; empties columns of a source that is not
// a bodyfile. 0 when head_pending was clear or the source has no banner, else 1; clears
// head_pending.
int json_write_head(std::ostringstream& head, quazel_tool_metadata& ctx);
// Does nothing; 1.
int json_banner_begin(quazel_tool_metadata& ctx);
// Keeps a title field (line bit 0x2) or an extra column (0x40) for the next group; 1 when the
// tag has one of these bits.
int json_parse_banner_line(const std::string& line, const tag_instr& tag,
                           quazel_tool_metadata& ctx);
// At an accepted header row: the group rule, the next group's base title and member names, the
// previous group's array closed when it has records, and at the source's first header row the
// head buffer into out (emptied either way). 1.
int json_end_group(std::ostream& out, std::ostringstream& head, std::vector<std::string>& columns,
                   quazel_tool_metadata& ctx);
// Does nothing; 1.
int json_short_row(const std::string& line, quazel_tool_metadata& ctx);
// One record object, preceded at the group's first record by the group's array opening. Surplus
// fields are merged into cells and become the member "overflow". 0, writing nothing, for a row
// with fewer cells than columns, or outside a group that json_end_group opened.
int json_write_record(std::ostream& out, std::vector<std::string>& cells,
                      quazel_tool_metadata& ctx);
