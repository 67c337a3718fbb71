// The cleanup writer: a cleaned-up copy of the source CSV. Banner lines, short rows and empty
// lines are copied as they stand; header rows and data rows are rebuilt: blanks trimmed
// ("-no_whitespace"), pairs of fields merged ("-pair_fields"), fields padded into columns
// ("-align_cols") and another separator written ("-change_csv_separator"). Every line goes to
// the conversion's output stream with a line end; no field of the source is dropped.
#pragma once

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tool/csv_writer_rules.h"

// The cleanup writer's hooks, for the dispatcher.
extern const csv_writer_hooks cleanup_writer_hooks;

// Does nothing; 1.
int cleanup_write_head(std::ostringstream& head, quazel_tool_metadata& ctx);
// Does nothing; 1.
int cleanup_banner_begin(quazel_tool_metadata& ctx);
// Writes line and a line end to ctx.out, after a header line still waiting; the bodyfile
// header line of a bodyfile source is written rebuilt instead. 1.
int cleanup_banner_line(const std::string& line, const tag_instr& tag, quazel_tool_metadata& ctx);
// At an accepted header row: writes a header line still waiting, rebuilds ctx.formats for
// columns (a "-pair_fields" pair that names no column of the group, or would leave a field
// with nowhere to go, is left out) and writes the new header line into out, or keeps it for
// the group's first data row under "-align_cols". A bodyfile's group opens at its title
// line: its header line is written where the source's own "md5|name" line stands. Changes
// nothing in columns. 1.
int cleanup_write_header(std::ostream& out, std::ostringstream& head,
                         std::vector<std::string>& columns, quazel_tool_metadata& ctx);
// Writes line (also an empty one) and a line end to ctx.out, after a header line still
// waiting. 1.
int cleanup_short_line(const std::string& line, quazel_tool_metadata& ctx);
// Writes the rebuilt row into out: surplus fields folded into the last column, pairs merged,
// widths fixed at the group's first row under "-align_cols" (whose header line goes first).
// Cells are changed in place. A row before the source's first header row is written as its
// cells joined by the source's separator. 0, writing nothing, for a row without cells; else 1.
int cleanup_write_row(std::ostream& out, std::vector<std::string>& cells, quazel_tool_metadata& ctx);
// At the end of a source: writes the header line of a group that got no data row. 1 when it
// wrote one, else 0.
int cleanup_end_source(std::ostream& out, quazel_tool_metadata& ctx);

