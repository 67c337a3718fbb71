// The store's run records: the `metadata` table (one row per batch of data rows: tool, source,
// columns and the rowid range it fills) and the `ref` table (one row per table the store made,
// with the highest rowid written to it). Every operation of sqlite3_adt needs an open
// connection and otherwise returns false or 0 and runs nothing; values are always bound, never
// spliced into SQL text. Nothing here prints, except generic_sql_select into the "-diags" log.
// `metadata` has no index: a look-up by runtime reads the whole table, so the connection keeps
// the rowid of the record it wrote last and what it knows of the runtimes and `ref` names, and
// a batch's look-ups cost the same however many records and tables the database holds.
#pragma once

#include <sqlite3.h>

#include <map>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "framework/text/qz_types.h"
#include "sqlite_store/sqlite_wrapper.h"

class cmd_params;
class sql_statement;

// One row of `ref`.
struct sqlite_ref_row {
  std::string table_name;
  u64 last_rowid = 0;
  u64 last_update = 0;  // FILETIME of the last insert or update of the row
};

// One row of `metadata`, also the in-memory description of the batch being written. The first
// 22 fields are the table's columns in order; number_columns, keep_long_names and column_names
// live only in memory.
class sqlite_metadata_row {
 public:
  // Output kinds stored in output_option.
  static constexpr u64 output_xml = 257;
  static constexpr u64 output_csv = 258;
  static constexpr u64 output_csvl2t = 259;
  static constexpr u64 output_bodyfile = 260;
  static constexpr u64 output_none = 261;
  static constexpr int column_count = 22;

  sqlite_metadata_row();

  // Every field to its default; runtime becomes now (a FILETIME).
  void clear();
  // clear, then what the parameter set knows before a banner is read: command line, host
  // ("-hostname" or the machine's name), user, output kind, separator text, tool name and
  // artifact type.
  void set_from_tool(cmd_params& tool);
  // The run record of a file-listing table: set_from_tool, row_data_start = previous_end + 1,
  // then the fields still empty from the schema (its name, and its columns' names and types
  // joined by the separator text) and the host; *runtime_out = runtime. schema_type is the
  // file-listing log's schema (name; columns as pairs of name and SQL type).
  template <class schema_type>
  void set_from_schema(u64* runtime_out, cmd_params& tool, const schema_type& schema, u64 previous_end) {
    set_from_table_layout(runtime_out, tool, schema.name, schema.columns, previous_end);
  }
  // clear, then the row from one result row of "select * from metadata;" taken by position
  // (NULL as 0 or empty text). False, leaving a cleared row, unless names holds count entries
  // and count is 22.
  bool set_from_columns(const std::vector<std::string>& names, int count, char** values);
  // The same from 22 texts; without keep the row is cleared first. False unless there are
  // exactly 22 values.
  bool set_from_strings(const std::vector<std::string>& values, bool keep);

  u64 runtime;
  u64 chunk;
  u64 parent;
  u64 lic_num;
  std::string lic_name;
  std::string cmdline;
  std::string gen_hdrs;
  std::string col_hdrs;  // the data table's column names joined by "|"
  std::string col_types;
  u8 number_columns;   // data-table column names carry their position
  u8 keep_long_names;  // when 0, data-table column names are cut to 8 characters
  std::string extra_args;
  std::string host;
  std::string user;
  std::string file;
  std::string file_other;
  u64 output_option;
  std::string separator;
  std::string notes;
  std::string toolname;
  std::string artifact_type;
  std::string data_tbl_name;
  u64 row_data_start;
  u64 row_data_end;
  std::vector<std::string> column_names;  // cache of the cleaned data-table column names

 private:
  void set_from_table_layout(u64* runtime_out, cmd_params& tool, const std::string& table_name,
                             const std::vector<std::pair<std::string, std::string>>& columns, u64 previous_end);
};

// The connection that owns the `metadata` and `ref` tables.
class sqlite3_adt : public sqlite_wrapper {
 public:
  sqlite3_adt();
  ~sqlite3_adt() override;

  // sqlite_wrapper's opens; what the connection knew of the previous database is forgotten.
  bool open_db(u64* runtime_unused, const std::string& db_file, const std::string& options = std::string()) override;
  bool open_db_readonly(const std::string& db_file, const std::string& options = std::string()) override;

  // Connection fields and both ready flags back to their start; the table names "metadata" and
  // "ref". A connection still open is closed first rather than leaked.
  void init();

  // Makes `ref`; true when made or already there.
  bool create_ref_table();
  // Inserts the row with last_update = now (stored into row). True when the row is in `ref`,
  // also when a row of that name was there already (it is left as it was).
  bool insert_ref_row(sqlite_ref_row& row);
  // Sets the table's last_rowid (0 means the connection's last inserted rowid) and
  // last_update = now.
  bool update_ref_row(const std::string& table, u64 last_rowid);
  // The same through kept, prepared at its first use and then run again: for a caller that
  // updates the row after every batch. kept must be finalized before the connection closes.
  bool update_ref_row(sql_statement& kept, const std::string& table, u64 last_rowid);
  // True when `ref` has a row for the table; *out = its last_rowid, 0 otherwise.
  bool find_last_rowid(u64* out, const std::string& table);
  bool table_in_ref(const std::string& table);
  // The table's last_rowid; 0 when `ref` has no row for it.
  u64 get_last_rowid(const std::string& table);
  // The name `ref` holds for table, which the library takes for the same table when the two
  // differ only in ASCII case; table itself when `ref` has none such.
  std::string stored_table_name(const std::string& table);
  // map = every `ref` row, name to last_rowid; false when the query fails or finds none.
  bool get_ref_records(std::map<std::string, u64>& map);
  // list = every table name of `ref`; false when the query fails or finds none.
  bool get_ref_table_names(std::vector<std::string>& list);

  // Makes `metadata` and, when it is new, its `ref` row; true when made or already there.
  bool create_metadata_table();
  // Inserts the row in its own transaction, then sets `ref`'s last_rowid of `metadata` to it.
  bool insert_metadata_row(sqlite_metadata_row& row);
  // Rewrites the record(s) with runtime old_runtime: runtime = new_runtime, the other columns
  // from row except row_data_end. The record this connection wrote or renamed last is found by
  // its rowid (it alone is rewritten, should another record share its runtime).
  bool update_metadata_row(u64 old_runtime, u64 new_runtime, sqlite_metadata_row& row);
  bool update_row_data_start(u64 runtime, u64 value);
  // Sets row_data_end; a value of 0 stores the connection's last inserted rowid unless
  // keep_zero is set.
  bool update_row_data_end(u64 runtime, u64 value, bool keep_zero);
  // The same through kept, as update_ref_row.
  bool update_row_data_end(sql_statement& kept, u64 runtime, u64 value, bool keep_zero);
  // A `metadata` row with this runtime exists. A runtime later than every record's is answered
  // without reading the table once its latest runtime is known.
  bool runtime_exists(u64 runtime);
  // That row's row_data_end; 0 when there is none.
  u64 get_row_data_end(u64 runtime);
  // map = every `metadata` row keyed by runtime (the first row of a runtime wins); false when
  // the query fails, a row does not have 22 columns, or there are none.
  bool get_metadata_records(std::map<u64, sqlite_metadata_row>& map);
  // Row callback for sql_transaction: context = a sql_results whose context is a
  // std::map<u64, sqlite_metadata_row>; 0 to go on, non-zero to stop.
  static int sql_metadata_cb(void* context, int count, char** values, char** names);
  // The table's highest rowid; 0 for an empty or missing table.
  u64 get_max_rowid(const std::string& table);
  // Runs one query; names and rows replaced. False when it fails or returns no rows, which is
  // noted in the "-diags" log of params (may be null).
  bool generic_sql_select(std::vector<std::string>& names, std::vector<std::vector<std::string>>& rows,
                          const std::string& statement, cmd_params* params);
  // Begins a new run for row's data table: *runtime = now (now + 1 when that equals previous);
  // a new run record when the previous run wrote rows, else the previous record is renamed.
  // The connection's runtime becomes *runtime.
  bool start_run(u64* runtime, u64 previous, sqlite_metadata_row& row, bool chain);

  std::string metadata_table;
  std::string ref_table;
  u8 ref_ready;       // create_ref_table succeeded through this object
  u8 metadata_ready;  // create_metadata_table succeeded through this object

 private:
  // What the connection knows of its database. Every claim stays true when a transaction is
  // rolled back, which only takes rows away; each is checked before it is relied on or claims
  // an absence, is forgotten when another connection has committed a change (another run
  // writing the same database) and when another database is opened.
  struct record_index {
    i64 record_rowid = 0;     // rowid of the run record written or renamed last; 0: none
    u64 record_runtime = 0;   // the runtime it was given
    bool ceiling_known = false;
    u64 runtime_ceiling = 0;  // no record has a later runtime
    bool ref_names_known = false;
    std::unordered_set<std::string> ref_folded_names;  // every name `ref` may hold, ASCII lower case
    bool version_known = false;
    u64 data_version = 0;  // the database's data_version when the claims above were made
  };
  // Forgets the ceiling and the `ref` names when another connection has committed since they
  // were read.
  void forget_what_others_changed();
  // The rowid of the record with this runtime when it is the one written or renamed last (one
  // look-up by rowid); 0 otherwise.
  i64 known_record(u64 runtime);
  // No record has a runtime as late as this one (its latest runtime read once).
  bool later_than_every_record(u64 runtime);
  // Notes that a record now has this runtime.
  void note_runtime(u64 runtime);
  // `ref` may hold a name equal to table when ASCII case is ignored (its names read once).
  bool ref_may_hold_folded(const std::string& table);
  // Sets one integer column of the record with this runtime.
  bool update_record_column(u64 runtime, const char* column, u64 value);
  record_index index_;
};

// The current time as a FILETIME (microsecond resolution); the "now" of every run record.
u64 sqlite_now();

// Runs the statements in order through sqlite3_exec with callback and context; false for a
// null or closed connection, no statements, a null context, or at the first failure.
bool sql_exec_statements(void* context, sqlite_wrapper* connection, const std::vector<std::string>& statements,
                         sqlite3_callback callback);
