// One row waiting for a batch writer: the typed values of a generic_data row, or the cells of a
// data-table row (its own strings, or a row of a packed_cell_rows). The SQLite store writes such
// rows, and the split files buffer theirs in the same type.
#pragma once

#include <string>
#include <vector>

#include "framework/text/qz_packed_cell_rows.h"
#include "framework/text/qz_types.h"

// One row waiting to be written: the typed values of a generic_data row, or the cells of a
// data-table row.
class sqlite_generic_data_row {
 public:
  sqlite_generic_data_row();

  // Every number 0, every text and the cells empty.
  void clear();
  // clear, then metaref, val1 to val5, str1, str2 and desired_output from 9 texts (numbers
  // by the number rules); false unless there are exactly 9.
  bool set_from_strings(const std::vector<std::string>& values);

  u64 metaref;  // the producer's runtime; a batch binds its own runtime instead
  u64 val1;
  u64 val2;
  u64 val3;
  u64 val4;
  u64 val5;
  std::string str1;
  std::string str2;
  std::string desired_output;       // generic_data's line; for a data table the cells joined by "|"
  std::vector<std::string> fields;  // the cells of a data-table row
  u64 packed_row;                   // 1 + the row's number in its store's packed cells; 0: none there
};

// cells = the row's cells: its fields, or its row in packed when it was packed there. False
// when the row names a packed row that packed does not hold.
bool cells_of_row(const sqlite_generic_data_row& row, const packed_cell_rows& packed, row_cells& cells);
