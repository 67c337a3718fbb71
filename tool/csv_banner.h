// The banner of a source CSV: the title, licence, time and command-line lines that open the
// artifact tools' CSV files, the header row, and the tags each producing tool uses. Only the
// first 16384 bytes of a source and the first 11 non-empty lines of them are looked at.
// Both functions fill the per-source fields of the run context and report by their result.
#pragma once

#include <string>
#include <vector>

#include "framework/text/qz_types.h"
#include "tool/quazel_tool_metadata.h"

// The banner-line and column roles of the producing tools' tags.
// A tool's artifact line titles every group; SQLite and split files take it as artifact type.
constexpr u32 artifact_line = tag_line_bits_all(tag_line_title) |
                              tag_line_bit(tag_line_artifact_type, tag_writer_sqlite) |
                              tag_line_bit(tag_line_artifact_type, tag_writer_split);
// A value every writer appends to the rows as a column of its own.
constexpr u32 column_line = tag_line_bits_all(tag_line_extra_column);
// A hive or binary: the JSON and HTML titles name it, SQLite and split files give it a column.
constexpr u32 hive_line = tag_line_bit(tag_line_title, tag_writer_json) |
                          tag_line_bit(tag_line_title, tag_writer_html) |
                          tag_line_bit(tag_line_extra_column, tag_writer_sqlite) |
                          tag_line_bit(tag_line_extra_column, tag_writer_split);
// The same without the HTML title.
constexpr u32 hive_line_untitled = tag_line_bit(tag_line_title, tag_writer_json) |
                                   tag_line_bit(tag_line_extra_column, tag_writer_sqlite) |
                                   tag_line_bit(tag_line_extra_column, tag_writer_split);
// A column whose first value titles the group everywhere and is SQLite's artifact type.
constexpr u32 title_column = tag_column_bits_all(tag_column_title) |
                             tag_column_bit(tag_column_artifact_type, tag_writer_sqlite);
// A column that titles the split files only.
constexpr u32 split_title_column = tag_column_bit(tag_column_title, tag_writer_split);
// A column of nested cells, shown as tables by the JSON and HTML writers.
constexpr u32 nested_column = tag_column_bit(tag_column_nested, tag_writer_json) |
                              tag_column_bit(tag_column_nested, tag_writer_html);

class quazel_tool_metadata;

// Resets the per-source fields of ctx, reads the banner of the file at path (UTF-8, or
// UTF-16LE with its mark, a surrogate without its partner read as U+FFFD) and sets csv_source, the mark flags and source_columns. True when a
// header row was found and a title line, if any, was followed by a complete banner. Prints
// "prob reading %s, aborting\n" on standard error only when the file cannot be opened, and
// "prob reading %s: name is not valid UTF-8\n" (its bytes escaped) for a path the file layer
// cannot name.
bool read_csv_banner(quazel_tool_metadata& ctx, const std::string& path);

// Parses the banner of UTF-8 bytes into ctx: tool, version, licence, run time, command line,
// separator, columns and the producing tool's tags. True when a separator and at least two
// column names were found and a title line, if any, had its licence, time and command lines.
// Sets the base's separators as set_run_separator does.
// The run time is the time line's text after "time:" up to a ';' (what follows is the extra
// information), trimmed also when no ';' follows: the blanks and line-end characters around
// it are none of the value. The "-binary" source of a producing tool's command line is read
// as quoted only when it starts with a single quote (then up to the next one, blanks kept);
// otherwise it ends at a blank, and a quote inside it (a name like O'Brien) is part of it.
bool parse_banner_lines(quazel_tool_metadata& ctx, const std::vector<u8>& bytes);

// The one place that sets the run's separator settings (separator_text, separator_char and
// separator_replacement of the base) for the writers and the table export: the user's
// "-change_csv_separator" text where it is what the output is written with, else the current
// source's separator (split files and the database always take the source's, "-sqlite_to_csv"
// the store's own); nothing while the text to take is not known.
void set_run_separator(quazel_tool_metadata& ctx);
