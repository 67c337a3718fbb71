#include "sqlite_store/sqlite_generic_data.h"

#include "sqlite_store/bodyfile_columns.h"
#include "sqlite_store/sql_results.h"

const std::string& generic_data_table_name() {
  static const std::string name = "generic_data";
  return name;
}

const std::string& generic_data_create_statement() {
  static const std::string statement =
      "create table [generic_data] (`metaref` integer, `val1` integer, `val2` integer, `val3` integer, "
      "`val4` integer, `val5` integer, `str1` varchar, `str2` varchar, `desired_output` varchar);";
  return statement;
}

const std::string& generic_data_insert_statement() {
  static const std::string statement =
      "insert into `generic_data` (`metaref`,`val1`,`val2`,`val3`,`val4`,`val5`,`str1`,`str2`,"
      "`desired_output`) values(?,?,?,?,?,?,?,?,?);";
  return statement;
}

bool bind_generic_data_row(sql_statement& insert, u64 batch_runtime, u64 val1, u64 val2, u64 val3, u64 val4,
                           u64 val5, sql_static_text str1, sql_static_text str2, sql_static_text desired_output) {
  // Unsigned values keep their bits in the signed 64-bit column and read back unchanged.
  return insert.bind_int64(1, static_cast<i64>(batch_runtime)) && insert.bind_int64(2, static_cast<i64>(val1)) &&
         insert.bind_int64(3, static_cast<i64>(val2)) && insert.bind_int64(4, static_cast<i64>(val3)) &&
         insert.bind_int64(5, static_cast<i64>(val4)) && insert.bind_int64(6, static_cast<i64>(val5)) &&
         insert.bind_text(7, str1) && insert.bind_text(8, str2) && insert.bind_text(9, desired_output);
}

bool generic_hdr::set_field(u32 code, u64 value, const std::string& text) {
  switch (code & 0xFF) {
    case 1: val1 = value; return true;
    case 2: val2 = value; return true;
    case 4: val3 = value; return true;
    case 8: val4 = value; return true;
    case 16: val5 = value; return true;
    case 32: str1 = text; return true;
    case 64: str2 = text; return true;
    default: return false;
  }
}

void write_l2t_header(std::ostream& out, const std::string& separator, bool extended, bool one_column) {
  static const char* const common_names[] = {"timezone", "MACB",    "source",   "sourcetype", "type",
                                             "user",     "host",    "short",    "desc",       "version",
                                             "filename", "inode",   "notes",    "format",     "extra"};
  static const char* const extended_names[] = {"ref count",    "extension",     "size data", "inode seqnum",
                                               "parent inode", "parent seqnum", "clusters",  "header info"};
  if (one_column) {
    out << "date/time";
  } else {
    out << "date" << separator << "time";
  }
  for (const char* name : common_names) out << separator << name;
  if (extended) {
    for (const char* name : extended_names) out << separator << name;
  }
}

void write_bodyfile_col_hdrs(std::ostream& out) { write_bodyfile_header(out); }
