// The file-listing log: listings of files written into an SQLite database in batches. A
// file-listing table holds one row per file with the columns its bit mask chooses; a custom
// table holds rows of texts under names the caller gives. Records may be added from any thread;
// they wait in memory per table and are written when more than 256 wait, at a flush and at
// destruction: each table's batch is one transaction together with its `ref` row and run
// record, committed before the call that wrote it returns, so another connection (or a process
// killed after it) sees every written batch and the log never holds the database between calls.
// A batch that cannot be written or committed (a full disk, a database another connection
// holds past busy_wait_ms) is rolled back and its records stay waiting for the next write.
// While the log is open the database goes through the write-ahead log, whose commits do not
// wait for the disk (only a crash of the whole system can take the last batches); at the end it
// is written through and put back in the rollback journal. Nothing here prints; member
// operations return false and the dispatch functions -1.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "framework/io/qz_file_stats.h"
#include "framework/io/qz_lock.h"
#include "framework/text/qz_types.h"
#include "framework/time/qz_time_format.h"
#include "sqlite_store/sqlite_adt.h"
#include "sqlite_store/sql_results.h"

class cmd_params;

// Bits of a file-listing table's column mask; the table always begins with `metaref`.
namespace listing_column {
constexpr u64 path = 0x1;
constexpr u64 name = 0x2;
constexpr u64 extension = 0x4;
constexpr u64 is_dir = 0x8;
constexpr u64 size = 0x10;
constexpr u64 modified = 0x20;
constexpr u64 created = 0x40;
constexpr u64 metachanged = 0x80;
constexpr u64 accessed = 0x100;
constexpr u64 mode = 0x200;
constexpr u64 copied = 0x400;
constexpr u64 inode = 0x800;
constexpr u64 seqnum = 0x1000;
constexpr u64 ntfsraw = 0x2000;
constexpr u64 offset = 0x4000;
constexpr u64 notes = 0x8000;
constexpr u64 source = 0x10000;
constexpr u64 name_set = 0x100000;     // further columns from a name set; no such set exists here
constexpr u64 parse_lists = 0x200000;  // records rebuild their attribute lists from the path
}  // namespace listing_column

// The column layout of one table.
class schema_t {
 public:
  schema_t() { clear(); }
  // Name empty, columns emptied (room for 100 kept), field_order emptied, runtime 0.
  void clear();
  // Appends the column; field_order is left alone.
  void push_back(std::string column, std::string sql_type);
  // The column's 1-based position; 0 for an empty name or one not in field_order.
  u32 get_field_order(std::string column) const;

  std::string name;
  std::vector<std::pair<std::string, std::string>> columns;  // name, SQL type; in table order
  std::map<std::string, u32> field_order;                    // column name to position
  u64 runtime;  // the runtime of the table's `metadata` row; 0 while it has none
};

// One waiting file-listing record. Its path is split into folder and file name at the last "/"
// ("\" is part of a name here); the path of a record read from a raw NTFS volume (ntfs_raw) is
// split at its last "\" when it has one.
class sqlite_log_record : public log_record {
 public:
  sqlite_log_record() = default;
  // set_from_path(table_name, file_path, copied_value, "", parse).
  sqlite_log_record(const std::string& table_name, const std::string& file_path, u64 copied_value, u8 parse);
  // A copy of given, which is then cleared. The record takes given_path when its own path is
  // empty; an empty given_path receives the record's path. table stays empty.
  sqlite_log_record(log_record& given, std::string& given_path, u64 copied_value, u8 parse);

  // The log_record part cleared, the texts emptied, copied and parse_lists 0.
  void clear();
  // clear, then the record of the file at file_path (its status, following links). A directory gets
  // folder = its path, an empty file_name and size 0; a file folder = the part before its name
  // with a final "/". False when the status cannot be read: the record then keeps an empty path
  // (it is never written) but folder and file_name are still set.
  bool set_from_path(const std::string& table_name, const std::string& file_path, u64 copied_value,
                     const std::string& text_value, u8 parse);

  std::string table;
  std::string folder;     // a file's folder ending in "/"; a directory's own path
  std::string file_name;  // empty for a directory
  u64 copied = 0;
  u8 parse_lists = 0;

 private:
  // folder and file_name from path, by whether the record is a directory.
  void split_path();
};

// One waiting custom record.
class sqlite_log_record_custom {
 public:
  sqlite_log_record_custom() = default;
  explicit sqlite_log_record_custom(const std::string& table_name) : table(table_name) {}
  sqlite_log_record_custom(const std::string& table_name, const std::vector<std::string>& row)
      : table(table_name), values(row) {}
  void clear();
  // values = row; false, with values left empty, for an empty row.
  bool set_values(const std::vector<std::string>& row);

  std::string table;
  std::vector<std::string> values;
};

// Operation codes of sqlite_log_dispatch.
constexpr u32 sqlite_log_op_add_rows = 1;
constexpr u32 sqlite_log_op_add_row = 2;
constexpr u32 sqlite_log_op_flush = 4;

class sqlite_log : public sqlite3_adt {
 public:
  // A waiting table is written once it holds this many records.
  static constexpr size_t write_threshold = 257;
  // How long a batch waits for another connection that holds the database.
  static constexpr int busy_wait_ms = 5000;
  // Room kept in each table's waiting list.
  static constexpr size_t pending_room = 288;
  // table_masks value of a custom table made from a column list and from a name set.
  static constexpr u64 custom_list_mask = u64{1} << 56;
  static constexpr u64 custom_set_mask = ~u64{0};

  sqlite_log();
  // Writes what waits, records each table's final rowid in its run record, closes.
  ~sqlite_log() override;

  // tables_ready 0, every map emptied, time_spec "yyyy-mm-dd" "hh:mm:ss" in one column.
  void init();

  // Opens db_file (the records and run records of a log already open are written first), makes
  // `ref`, `metadata` and each file-listing table of tables (name to mask; may be null), and,
  // with params and with_metadata, one run record per table; params also sets time_spec from its
  // date and time formats. False, with error_text set and records refused, for an empty path, a
  // database that cannot be opened or a table that cannot be made.
  bool open(const std::string& db_file, cmd_params* params, const std::map<std::string, u64>* tables,
            u32 with_metadata);
  // Makes the file-listing table with mask's columns and its `ref` row; *already (may be null)
  // tells that the log or the database had the table. False for a mask without columns (0, or
  // bit 20) or a create that fails for another reason than that the table exists.
  bool create_file_listing_table(bool* already, const std::string& table, u64 mask);
  // Makes a custom table of varchar columns (the first receives each record's stamp, the values
  // fill the others); sets tables_ready. False for no columns or a failed create.
  bool create_table(bool* already, const std::string& table, const std::vector<std::string>& columns);
  // The same from a name set (in its sorted order); tables_ready is not touched.
  bool create_table_from_names(bool* already, const std::string& table, const std::set<std::string>& columns);
  // schema = `metaref` and the columns of mask in table order; false when only `metaref` results.
  static bool file_listing_schema(schema_t& schema, u64 mask);
  // Appends names as varchar columns at positions first, first + 1, ... (clearing first unless
  // append); false for no names.
  static bool schema_from_columns(schema_t& schema, const std::vector<std::string>& names, u32 first, bool append);
  static bool schema_from_names(schema_t& schema, const std::set<std::string>& names, u32 first, bool append);

  // The adds write every waiting table once the table added to holds write_threshold records;
  // after a write that failed, not before write_threshold more records have come.

  // Adds the record of the file at file_path (or of given, which is then cleared) to table. False
  // when the log is not ready or table takes no records.
  bool add_log_record(const std::string& table, std::string& file_path, u64 copied, log_record* given);
  // Adds one row of texts to a custom table; false when the log is not ready, the table takes no
  // records, or the row is empty or has more values than the table has columns after the stamp.
  bool add_custom_row(const std::string& table, const std::vector<std::string>& values);
  // add_custom_row of each row in order; false for no rows or when a row is refused (the rows
  // before it stay added).
  bool add_custom_rows(const std::string& table, const std::vector<std::vector<std::string>>& rows);
  // Writes every waiting table; true when nothing is left waiting (error_text tells why a batch
  // failed).
  bool flush();
  // Each writes and commits one table's waiting records as one batch; false (records kept) when
  // there is nothing to write or the batch fails.
  bool write_log_records(const std::string& table);
  bool write_custom_records(const std::string& table);

  u8 tables_ready;
  std::map<std::string, schema_t> schemas;
  std::map<std::string, u64> table_masks;
  std::map<std::string, std::vector<sqlite_log_record>> pending_records;
  std::map<std::string, std::vector<sqlite_log_record_custom>> pending_custom;
  time_format_spec time_spec;
  LightweightLock lock;
  std::string error_text;  // why the last open, table creation or batch failed

 private:
  // Writes what waits, records each table's final rowid in its run record and ends the run's
  // journal.
  void finish();
  // Writes the run through the write-ahead log, its commits not waiting for the disk (also a
  // database a run that never closed left there).
  void begin_run_journal();
  // Checkpoints the write-ahead log onto the disk and puts the database back in the rollback
  // journal; false (error_text set) when another connection keeps it in the write-ahead log.
  bool end_run_journal();
  // The statements a table's batches run: its inserts and the updates of its `ref` row and run
  // record.
  struct table_statements {
    sql_grouped_insert insert;
    sql_statement ref_update;
    sql_statement run_update;
  };
  // The table's statements, the inserts prepared at its first batch (the updates at their first
  // run) and kept until the log ends; null when the inserts cannot be prepared.
  table_statements* statements_for(const std::string& table, const schema_t& schema);
  // One table's batch of rows as one transaction: bind(statement, row, slot, first) binds each
  // row (as sql_grouped_insert::insert_all, with binds_every_parameter), then
  // record_batch_end, then the commit. False, the batch rolled back and error_text set, on any
  // failure.
  template <class row_binder>
  bool write_batch(const std::string& table, const schema_t& schema, size_t rows, row_binder&& bind,
                   bool binds_every_parameter);
  // Drops the table from schemas and table_masks.
  void forget_table(const std::string& table);
  // Makes a custom table from schema; the mask entry is mask.
  bool create_custom_table(bool* already, const std::string& table, schema_t schema, u64 mask);
  // Runs the create statement of the table in schemas and registers it; false (entry dropped)
  // on a failure other than "already exists".
  bool make_table(bool* already, const std::string& table);
  // Completes a batch of rows: the table's `ref` row and its run record's end.
  bool record_batch_end(table_statements& statements, const std::string& table, size_t rows);
  // Writes every waiting table; true when nothing is left waiting.
  bool write_waiting();
  // After added records came in and a table holds waiting of them: write_waiting when that
  // reaches write_threshold, unless a failed write less than write_threshold records ago holds
  // the next try back.
  void write_if_due(size_t waiting, size_t added);
  // A stamp for the next record: now, later than every stamp given before.
  u64 next_stamp();
  u64 last_stamp_ = 0;
  std::map<std::string, table_statements> table_statements_;
  bool run_journal_ = false;  // the database is in the write-ahead log for this run
  size_t held_back_ = 0;      // records still to come before a failed write is tried again
};

// Adds the rows (a std::vector<std::vector<std::string>>*) to the custom table; 0, or -1 on
// failure or any null argument.
int sqlite_log_add_rows(sqlite_log* log, const std::string* table, void* rows);
// Adds the values (a std::vector<std::string>*) as one row; 0, or -1.
int sqlite_log_add_row(sqlite_log* log, const std::string* table, void* values);
// Without code: add_log_record with data as the path (a std::string*), copied (0 when null)
// and given. Code 1: sqlite_log_add_rows; 2: sqlite_log_add_row; 4: flush. 0 when the operation
// succeeded, -1 otherwise and for a null log or an unknown code.
int sqlite_log_dispatch(sqlite_log* log, const std::string* table, void* data, u64* copied, log_record* given,
                        u32* code);
