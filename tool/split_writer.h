// The split writer of "-split_into_files": the rows of every source are sorted into one CSV file
// per group of like records in the "-dst" folder, named after the group's title and a digest of
// its columns, so that like groups of all the sources of a run share a file. Rows wait in the
// split state and are written in batches; nothing goes to the conversion's output stream. Every
// operation does nothing and returns 0 without split state. A split file that cannot be created
// or written is entered once in the state's failed_files; the caller reports it. A file that
// cannot be created leaves the other groups to be written; a write that fails stops the source
// (hook_output_failed from every operation that wrote).
#pragma once

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tool/csv_writer_rules.h"

// The split writer's hooks, for the dispatcher.
extern const csv_writer_hooks split_writer_hooks;

// Takes the source's banner values for the extra columns ("tool used", "orig runtime",
// "artifact type", "csv src") and its separator; a source without a banner gets empty tool,
// run-time and type values but its own path and separator. Empties columns unless the source is
// a bodyfile. 1, clearing head_pending; 0 when head_pending was clear or there is no banner.
int csv_split_write_head(std::ostringstream& head, quazel_tool_metadata& ctx);
// Writes the pending rows into the current group's file (created with its header line when it
// did not exist or was empty, else appended to). 1 when rows were written; 0 when nothing was
// pending, no group file is named yet, the group has no column names (the rows wait), the file
// could not be opened or a row's packed cells were lost (the rows are dropped and the file is
// entered as failed); hook_output_failed when a write failed (the file entered as failed too).
int csv_split_flush_files(quazel_tool_metadata& ctx);
// The banner-line rule with the split writer's bits: a title field, an extra column
// (its extra-column bit), the artifact type or the source of the next rows. 1 when the tag
// has one of them.
int csv_split_parse_banner_line(const std::string& line, const tag_instr& tag,
                                quazel_tool_metadata& ctx);
// At an accepted header row: the rows of the ending group are written, then the new group's
// columns (with its extra columns and, but for a bodyfile, the "overflow" column) and base
// title are set. 1; hook_output_failed when writing the ending group's rows failed.
int csv_split_end_group(std::ostream& out, std::ostringstream& head,
                        std::vector<std::string>& columns, quazel_tool_metadata& ctx);
// Drops the line; 1.
int csv_split_short_row(const std::string& line, quazel_tool_metadata& ctx);
// Buffers one data row (the cells may be rearranged). At the group's first row the group's file name is
// decided. Surplus fields, beyond the group's columns, are kept and written after the row's
// other values; they are left out only when all of them are empty. 1; hook_output_failed when
// rows written on the way failed.
int csv_split_write_row(std::ostream& out, std::vector<std::string>& cells,
                        quazel_tool_metadata& ctx);
// Appends a row of the cells with metaref to the pending rows (a row of more than 1 MiB of
// cells takes their strings over, leaving cells empty); more than 20000 rows, or more than
// 8 MiB of cell text, waiting are written at once. 1; hook_output_failed when that write
// failed.
int csv_split_buffer_row(u64 metaref, std::vector<std::string>& cells, quazel_tool_metadata& ctx);
// Writes the pending rows, then closes every split file. False when some file's rows did not
// all reach it (that file is entered as failed); true without split state.
bool csv_split_close(quazel_tool_metadata& ctx);
// The split state, or null.
csv_split::split_metadata* csv_split_get_metadata(quazel_tool_metadata& ctx);
