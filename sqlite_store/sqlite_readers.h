// Reading a database the store wrote back into CSV files. The two exports are members of
// sqlite3_artifact (declared with it, defined in sqlite_readers.cpp) and run on its connection,
// normally the read-only one of a reader run: export_table / dump_table write one table as it
// stands, export_artifact_tables writes every data table to its own file with the run record
// of each row. Table names are checked against the database and quoted before they reach SQL;
// values never carry the separator or a line end into the output. Messages go to standard
// error, and every failure, also a partial one, makes the result false.
#pragma once

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"
#include "sqlite_store/sqlite_adt.h"
#include "sqlite_store/sqlite_artifact.h"

class cmd_params;
namespace uni {
class fileio;
}

// The state of one table export of export_artifact_tables; one object serves all tables of a
// run and is reset before each.
class sql_data_table_to_fileio {
 public:
  sql_data_table_to_fileio();
  ~sql_data_table_to_fileio();
  sql_data_table_to_fileio(const sql_data_table_to_fileio&) = delete;
  sql_data_table_to_fileio& operator=(const sql_data_table_to_fileio&) = delete;

  // Counts 0, table empty, out_file and tool_context null, first_row 1, runs empty.
  void clear();

  // Row callback of sql_transaction: context is the sql_results whose context is this object.
  // Writes the header line before the first row, then the row's values (all but the first,
  // [metaref]) and the values of the run record the row belongs to: the record with the
  // smallest row_data_end at least the row's position. A row without such a record is still
  // written, with empty run-record values, and counted in unmatched_rows. 0 to go on; non-zero
  // (the query stops) only for a missing context or output.
  static int sql_data_table_cb(void* context, int count, char** values, char** names);
  // What the callback does with one row, values and names by column ([metaref] first), the
  // values with their own lengths (zero bytes kept). 0 to go on; non-zero without an output or
  // after a failed write (the rows are still counted).
  int write_row(const std::vector<std::string>& values, const std::vector<std::string>& names);

  u64 row_count;                            // rows handed to the callback so far
  std::string table;                        // the table being exported
  u64 name_count;                           // column names in the header's col_hdrs
  uni::fileio* out_file;                    // the open output (not owned)
  u8 first_row;                             // the header line is still to be written
  std::map<u64, sqlite_metadata_row> runs;  // the table's run records by row_data_end
  cmd_params* tool_context;                 // separator settings to use; null: "|"
  u8 extra_args_column;                     // the file has the "extra args" column
  u64 unmatched_rows;                       // rows written without a run record

 private:
  std::string line_;  // the line being built, reused
};

// The state of one export_generic_data: the stored lines of every run go into one text file per
// run in out_folder, named after the run record (tool, source file, artifact type, runtime). One
// file is open at a time; a run met again appends to its file.
class sql_file_results {
 public:
  sql_file_results();
  virtual ~sql_file_results();
  sql_file_results(const sql_file_results&) = delete;
  sql_file_results& operator=(const sql_file_results&) = delete;

  // Every field empty or 0 and first_file 1; an open file is closed.
  void clear();
  // Row callback of sql_exec_statements (context = this object) for "select metaref,
  // desired_output": writes the line (and a line end) into the file of its run, opening that
  // file when the run changes. Non-zero (the query stops) for a missing context, folder or run
  // records, a count other than 2, a row whose run has no record (counted in unmatched_rows) or
  // a file that cannot be opened or written (failed_file set); 0 to go on.
  static int sql_generic_data_cb(void* context, int count, char** values, char** names);
  // The file of run record run in out_folder: <tool>_<source file name>_<artifact type>_<id>
  // with ".csv" when the run has a separator, else ".txt"; each part with its blanks made "_"
  // and then cleaned to letters, digits, "-", "." and "_" ("_" when nothing is left), so that no
  // part can name another folder.
  std::string file_path_for(const sqlite_metadata_row& run, u64 id) const;
  // Closes the open file; false (failed_file set) when its bytes did not all reach the disk.
  bool close_output();

  std::string out_folder;
  u64 last_id;
  std::string current_file;
  std::vector<std::string> written_files;  // every file written, each once
  std::unique_ptr<uni::fileio> output;
  u8 first_file;
  std::map<u64, sqlite_metadata_row> runs;  // run records by runtime
  u64 unmatched_rows;       // lines whose run has no record
  std::string failed_file;  // a file that could not be opened or written
};
