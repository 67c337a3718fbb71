// The timeline writers as the store's aligned_row_writer: print_rows_aligned (sqlite_store) hands
// its column line and each row to write_aligned_cells and write_variant_row through it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "framework/cmdline/qz_cmd_params.h"
#include "sqlite_store/sqlite_artifact.h"

// The writer: write_aligned_cells for the column line, write_aligned_row for each row.
const aligned_row_writer& timeline_aligned_row_writer();

// One row of texts rendered to out: a variant_row of one cell per value (at most 255), each parsed
// by the template cell of settings.source_columns at its position with default_flags added (a text
// cell under quoted flags is quoted as the setters quote) and the callbacks (each may be null),
// then written by write_variant_row. The column line is taken as written and the row always goes
// to out, not into a database: settings.non_xml_output and sqlite_on are cleared.
void write_aligned_row(std::ostream& out, const std::vector<std::string>& values, cmd_params& settings,
                       u32 default_flags, aligned_cell_text_fn first, aligned_cell_text_fn second);
