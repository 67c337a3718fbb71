#include "sqlite_store/sqlite_generic_data_row.h"

#include "framework/text/qz_number_parse.h"

sqlite_generic_data_row::sqlite_generic_data_row() { clear(); }

void sqlite_generic_data_row::clear() {
  metaref = val1 = val2 = val3 = val4 = val5 = 0;
  str1.clear();
  str2.clear();
  desired_output.clear();
  fields.clear();
  packed_row = 0;
}

bool sqlite_generic_data_row::set_from_strings(const std::vector<std::string>& values) {
  clear();
  if (values.size() != 9) return false;
  u64* numbers[] = {&metaref, &val1, &val2, &val3, &val4, &val5};
  for (size_t i = 0; i < 6; ++i) parse_u64_string(values[i], *numbers[i]);
  str1 = values[6];
  str2 = values[7];
  desired_output = values[8];
  return true;
}

bool cells_of_row(const sqlite_generic_data_row& row, const packed_cell_rows& packed, row_cells& cells) {
  if (row.packed_row == 0) {
    cells = row_cells(row.fields);
    return true;
  }
  if (!row.fields.empty() || !packed.holds(static_cast<size_t>(row.packed_row - 1))) return false;
  cells = row_cells(packed, static_cast<size_t>(row.packed_row - 1));
  return true;
}
