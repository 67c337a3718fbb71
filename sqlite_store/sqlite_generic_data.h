// The store's fixed table for timeline output lines, generic_data: its create and insert
// statements with their binding order, and the column-name lines that describe its rows
// (log2timeline layout and bodyfile). The line writers add no line end.
#pragma once

#include <ostream>
#include <string>

#include "framework/text/qz_types.h"
#include "sqlite_store/sql_results.h"

// "generic_data".
const std::string& generic_data_table_name();
// The create statement: metaref, val1 to val5 integer; str1, str2, desired_output varchar.
const std::string& generic_data_create_statement();
// The insert statement with its 9 parameters, bound by bind_generic_data_row.
const std::string& generic_data_insert_statement();

// Binds one row to a prepared generic_data_insert_statement: metaref = the batch's runtime,
// val1 to val5 as 64-bit integers, the three texts without copying (named strings that stay alive
// until the statement has stepped). False when a binding is refused.
bool bind_generic_data_row(sql_statement& insert, u64 batch_runtime, u64 val1, u64 val2, u64 val3, u64 val4,
                           u64 val5, sql_static_text str1, sql_static_text str2, sql_static_text desired_output);

// The typed values a timeline row carries into generic_data: the numbers val1 to val5 and the
// texts str1 and str2, named after the columns that receive them.
struct generic_hdr {
  u64 val1 = 0;
  u64 val2 = 0;
  u64 val3 = 0;
  u64 val4 = 0;
  u64 val5 = 0;
  std::string str1;
  std::string str2;

  // Stores value (number fields) or text (text fields) in the field the low byte of code names:
  // 1 val1, 2 val2, 4 val3, 8 val4, 16 val5, 32 str1, 64 str2. False, nothing changed, for any
  // other low byte.
  bool set_field(u32 code, u64 value, const std::string& text);
};

// Writes the log2timeline-layout column names joined by separator: "date/time" when one_column,
// else "date" and "time", then timezone ... extra; with extended eight more.
void write_l2t_header(std::ostream& out, const std::string& separator, bool extended, bool one_column);
// Writes the bodyfile column line.
void write_bodyfile_col_hdrs(std::ostream& out);
