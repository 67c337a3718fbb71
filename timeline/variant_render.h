// The row writer of the timeline records: renders a variant_row cell by cell by its type code
// against the column template of the parameter set (cmd_params::source_columns: names,
// widths, types, flags) and delivers the text to a stream or, with SQLite on and the run's
// database open, as one generic_data row with the row's typed values. The parameter set picks
// padded columns or plain CSV cells (trim_fields), one line per row or one line per cell
// (kind_multiline) and the date and time format (time_spec). A template cell the row reaches
// past the template's end counts as width 0; nothing is ever read past the template or the row.
// Missing values (an invalid time, a short GUID, no bytes, a zero shown blank) render as one
// blank in the padded layout and as nothing in the CSV layout. In the line layout every text
// cell stays one field that a CSV reader gets back whole: one that would break the row (it
// holds the separator text or a line end, or begins with a double quote) is written quoted.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/time/qz_variant.h"
#include "sqlite_store/sqlite_generic_data.h"
#include "timeline/variant_row.h"

// Renders and delivers one row; the first call of a parameter set writes (or registers) the
// header first. Changes the row (a zero shown blank becomes an empty text cell; text cells keep
// their replaced separators and marked line ends) and the settings (non_xml_output cleared; in
// the name-list layout the template's names get ":" and one common width, once).
void write_variant_row(std::ostream& out, variant_row& row, cmd_params& settings);
// write_variant_row.
void print_variant_row(std::ostream& out, variant_row& row, cmd_params& settings);
// write_variant_row of every valid row, in order.
void write_variant_rows(std::ostream& out, std::vector<variant_row>& rows, cmd_params& settings);
// Switches the settings to the unpadded name-list layout for good (kind_multiline and
// trim_fields 1, no separator character, no line end after the row), then write_variant_row.
void write_variant_row_as_lines(std::ostream& out, variant_row& row, cmd_params& settings);
// Writes the template's names as one line (padded, centred under 0x2000000, a blank before
// one-column time columns when spaced_separator is set), or with SQLite on registers it with
// the open database and starts a new run there. Clears non_xml_output.
void write_variant_header(std::ostream& out, cmd_params& settings);
// The same name line built from cells, with its own separator, blank-before-time and no-widths
// switches, always to out and followed by a line end; no settings are read or changed.
void write_aligned_cells(std::ostream& out, const std::vector<qz_variant_lite>& cells, const std::string& separator,
                         bool blank_before_time, bool no_widths);
// Renders the single-valued time cell at index (types 12, 13 and 17 to 24) into text and stores
// its value in values when SQLite is on; a two-column type moves index onto its second column
// and writes the time there only when that column exists in the row.
void write_time_cell(std::ostream& text, int& index, variant_row& row, cmd_params& settings, generic_hdr& values);
