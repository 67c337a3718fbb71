// The SQLite writer of "-csv_to_sqlite": the six dispatcher hooks that turn a source's banner
// into the run record, every header row into the next data table's columns, the first data
// row of a group into the table's name, and every data row into a row waiting for the batch
// writer of the run's sqlite3_artifact (ctx.sqlite_state). The hooks print nothing themselves;
// a batch that cannot be written is reported and counted by the store. The batches after one
// refused batch are still tried; when the next one fails too, the hook that wrote it returns
// hook_output_failed, which stops the source.
#pragma once

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tool/csv_writer_rules.h"
#include "tool/quazel_tool_metadata.h"

// The SQLite writer's bits in the two flag words of tag_instr.
constexpr u32 sqlite_line_title = tag_line_bit(tag_line_title, tag_writer_sqlite);                  // 0x4
constexpr u32 sqlite_line_extra_column = tag_line_bit(tag_line_extra_column, tag_writer_sqlite);    // 0x80
constexpr u32 sqlite_line_artifact_type = tag_line_bit(tag_line_artifact_type, tag_writer_sqlite);  // 0x1000
constexpr u32 sqlite_line_source = tag_line_bit(tag_line_source, tag_writer_sqlite);                // 0x20000
constexpr u32 sqlite_column_title = tag_column_bit(tag_column_title, tag_writer_sqlite);            // 0x2
constexpr u32 sqlite_column_artifact_type = tag_column_bit(tag_column_artifact_type, tag_writer_sqlite);  // 0x40
constexpr u32 sqlite_column_source = tag_column_bit(tag_column_source, tag_writer_sqlite);                // 0x800

// The hooks the dispatcher calls under "-csv_to_sqlite".
extern const csv_writer_hooks sqlite_writer_hooks;

// Once per source (while head_pending, which it clears): with a banner, the run record takes
// the source's separator (also made the run's), tool and version, licence number and holder,
// command line, run time (notes "Runtime: ..."), extra text, host, user, sources and artifact
// type; columns is emptied unless the source is a bodyfile. head is not used. 1.
int sqlite_out_write_head(std::ostringstream& head, quazel_tool_metadata& ctx);
// Writes the rows waiting (they belong to the run record the banner line may change); the
// flush's result (hook_output_failed at the second batch in a row that could not be written).
int sqlite_out_banner_begin(quazel_tool_metadata& ctx);
// The banner-line rule with the SQLite bits: title values, extra columns, and the run record's
// artifact type and source. 1 when the tag has one of the four bits, else 0.
int sqlite_out_parse_banner_line(const std::string& line, const tag_instr& tag, quazel_tool_metadata& ctx);
// At every accepted header row: writes the previous group's rows, then lays out the next
// table from ctx.columns (extra columns and "overflow" appended, col_hdrs = the names joined
// by "|") and its base title. out, head and columns are not used (ctx.columns is). 1; hook_output_failed when
// rows written on the way failed.
int sqlite_out_end_group(std::ostream& out, std::ostringstream& head, std::vector<std::string>& columns,
                         quazel_tool_metadata& ctx);
// A line of an open group with fewer cells than a data row needs: stored as a row whose missing
// cells hold 0 (the extra-column values keep their columns), provided it holds at least one
// separator. Any other line (banner text, lines before the first header row) is passed over. 1; hook_output_failed when
// rows written on the way failed.
int sqlite_out_short_row(const std::string& line, quazel_tool_metadata& ctx);
// A data row: surplus fields joined into the "overflow" cell (an empty one added to a row
// without surplus), the group's table named at its first row, the row added to the waiting
// rows, which are written when more than sqlite3_artifact::flush_threshold wait. out is not used. 1; hook_output_failed when
// rows written on the way failed.
int sqlite_out_write_row(std::ostream& out, std::vector<std::string>& cells, quazel_tool_metadata& ctx);

// The data table's name for a group: the first 20 bytes of base, "-", the MD5 of col_hdrs in
// lower-case hex, with every run of characters other than letters, digits, "-", "." and "_"
// made one "_" (runs at either end dropped).
std::string sqlite_data_table_name(const std::string& base, const std::string& col_hdrs);
