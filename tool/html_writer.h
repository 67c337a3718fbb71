// The HTML writer: one document per source, with a head, a "Run stats" block from the banner
// and one table per group of like records. Every text that comes from the source (banner
// values, headings, column names, cells) is HTML-escaped; a cell of a nested column that holds
// "!*<" groups becomes a table inside the cell. The document head waits in the head buffer
// until the first accepted header row; the driver writes the end of the document (and the head
// when no header row was accepted), closing a table only where a group's rows opened one.
#pragma once

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tool/csv_writer_rules.h"

// The HTML writer's hooks, for the dispatcher.
extern const csv_writer_hooks html_writer_hooks;

// The document head, and the run stats when the source has a banner, into head; empties
// columns of a source with a banner that is not a bodyfile. 0 when head_pending was clear.
int html_write_head(std::ostringstream& head, quazel_tool_metadata& ctx);
// Does nothing; 1.
int html_banner_begin(quazel_tool_metadata& ctx);
// Keeps a title field (line bit 0x8) or an extra column (0x100) for the next group; 1 when
// the tag has one of these bits.
int html_parse_banner_line(const std::string& line, const tag_instr& tag,
                           quazel_tool_metadata& ctx);
// At an accepted header row: the group rule, the next group's base title, then the head
// buffer (first header row of the source) or, when the previous group wrote rows and so opened
// a table, "</table>" into out. 1.
int html_end_table(std::ostream& out, std::ostringstream& head, std::vector<std::string>& columns,
                   quazel_tool_metadata& ctx);
// Does nothing; 1.
int html_short_row(const std::string& line, quazel_tool_metadata& ctx);
// One table row of every cell, each "\" written as "/" (made "/" in the cell itself in a
// nested column), preceded at the group's first row by its heading and table head. 0, writing nothing, for a row with fewer cells than
// columns or a row before the source's first accepted header row.
int html_write_row(std::ostream& out, std::vector<std::string>& cells, quazel_tool_metadata& ctx);
// Writes count blanks (none for 0 or less); the stream's fill and flags stay as they were.
std::ostream& write_indent(std::ostream& out, int count);
