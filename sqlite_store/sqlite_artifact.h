// The store's writer: rows are collected as sqlite_generic_data_row values and written in
// batches, one prepared statement and one transaction per batch, each batch with its own run
// record, into one data table per group of like records (or into generic_data). Column names
// that come from input are always cleaned and bracketed; cell values are always bound. A batch
// that cannot be written is reported on standard error and counted in failed_batches.
#pragma once

#include <exception>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"
#include "sqlite_store/sql_results.h"
#include "sqlite_store/sqlite_adt.h"
#include "sqlite_store/sqlite_generic_data_row.h"

class cmd_params;
struct qz_variant_lite;

// A text callback of the row printer's cell parser: receives the text the cell will show and
// the input text.
using aligned_cell_text_fn = int (*)(std::string& cell_text, const std::string& input);

// How print_rows_aligned renders: the typed header and row writers of the timeline layer,
// handed down to the store. Both must be set.
struct aligned_row_writer {
  // Writes the cells' texts as one line: blank_before_time and no_widths as the row writer's
  // own settings, separator between the cells.
  void (*write_header)(std::ostream& out, const std::vector<qz_variant_lite>& cells, const std::string& separator,
                       bool blank_before_time, bool no_widths);
  // Writes one row: each value parsed into a typed cell (default_flags set in each) by the
  // template of settings.source_columns at its position and settings.time_spec, with the two
  // text callbacks, then the row rendered by settings.
  void (*write_row)(std::ostream& out, const std::vector<std::string>& values, cmd_params& settings,
                    u32 default_flags, aligned_cell_text_fn first, aligned_cell_text_fn second);
};

// The writer of one run. Write operations refuse on a closed connection, except the
// add_generic_* operations, which only append to pending.
class sqlite3_artifact : public sqlite3_adt {
 public:
  // Rows more than this many waiting are written at once by the SQLite writer.
  static constexpr int flush_threshold = 20000;
  // Rows whose cells hold more than this many bytes waiting are written at once too: a source
  // of long cells keeps a few batches in memory, not 20000 rows of them.
  static constexpr size_t flush_bytes = size_t(16) << 20;

  sqlite3_artifact();
  // Writes the rows still waiting (flush), then closes the database. While an exception unwinds
  // the rows still waiting are dropped instead (writing them would allocate) and the batches
  // written are committed; an exception of the write-behind thread is never thrown from here
  // (the batch counts as failed).
  ~sqlite3_artifact() override;

  // Connection fields, ready flags, meta_row, pending and current back to their start. A
  // connection still open is closed first.
  void clear();

  // Sets SQLite up after option parsing; tool.sqlite_params points at this object when it is a
  // sqlite_cmd_params. Without "-sqlite": true, nothing else. With "-csv_to_sqlite",
  // "-bodyfile", "-csvl2t" or "-csv": the separator becomes "|" and the database is opened for
  // writing ("Issue with initializing SQLite, aborting\n" and false when there is no path, the
  // database cannot be opened, or its `ref` and `metadata` tables can be neither made nor
  // found). Otherwise the database is opened read-only (false on failure, with a message that
  // names a hot journal or a failed private copy, else "Issue opening db for read,
  // aborting\n"). args is not read.
  bool init_from_cmdline(const std::vector<std::string>& args, const std::string& generic_headers, cmd_params& tool);
  // Opens db_file for writing (closing an open connection first), meta_row = row, makes `ref`,
  // `metadata` and row's table when it can be made (generic_data with generic set; "data" names
  // a row without a table). False when the database cannot be opened, or the fixed tables or a
  // generic_data table cannot be made. runtime_unused and options are not read.
  bool open_for_write(u64* runtime_unused, const std::string& db_file, sqlite_metadata_row& row,
                      const std::string& options, bool generic);
  // Makes `ref` and `metadata` when not made yet, then row's table unless `ref` lists it:
  // generic_data by its fixed layout, any other from row.col_hdrs ([metaref] integer, then
  // one varchar column per name). True when the table is there and registered. unused is not
  // read.
  bool create_data_table(void* unused, sqlite_metadata_row& row);
  // Writes rows as one batch into meta_row's table under run (0: a new run record per batch,
  // stamped with a fresh time). Rows shorter than the table store 0 in the missing columns; a
  // row longer than the table has its surplus cells joined by "|" into the last column. The
  // rows, their run record, a table made for them and their `ref` row commit together or not
  // at all. False for a closed connection, no rows, or a batch that could not be written.
  bool write_rows(u64 run, std::vector<sqlite_generic_data_row>& rows);
  // write_rows of pending under the connection's runtime; pending is emptied whatever the
  // result. A batch that fails prints "prob writing rows into <database>\n" on standard error and
  // adds 1 to failed_batches and to failed_in_a_row, which a batch written sets to 0. False on a
  // closed connection, with nothing waiting, or on failure. In a write-behind series
  // (begin_bulk_writes) the rows are handed to the series' thread; false also when a batch
  // flushed before failed (reported now).
  bool flush();
  // Readies the open database for a long series of batches: batches then commit together, at
  // most once a second (commit_interval_ms), each still whole or not at all with its run record
  // and `ref` row (a savepoint per batch), so that a run pays a few syncs instead of several per
  // batch. A crash loses at most the batches since the last commit, never part of one. With
  // write_behind, a thread of the series writes the batches while the next ones are collected:
  // flush queues the waiting rows (their storage swapped, not copied), with a copy of meta_row
  // and runtime, for that thread and returns; it waits only while two batches, or two full
  // batches' rows (or 64 MiB of cells), are still to be written. Batches are written in the
  // order they were flushed, each as write_rows would, and a batch that failed is reported and
  // counted (as flush does) at the next flush or at finish_bulk_writes; a batch whose writing
  // ended in an exception (out of memory) is rolled back and the exception thrown there in the
  // caller's thread instead. The thread takes no signals. Until
  // finish_bulk_writes the connection belongs to that thread between flushes: the caller may
  // only collect rows (add_*, meta_row, runtime) and flush. False when the connection is
  // closed or read-only; a thread that cannot be started leaves the series writing in the
  // caller's.
  bool begin_bulk_writes(bool write_behind = false);
  // Writes the rows still waiting, waits for the series' thread to write them, ends it, and
  // commits the batches not yet committed, which syncs them to disk. True when no series was
  // begun or every batch of it was written and the commit succeeded; otherwise "prob writing
  // rows into <database>\n" on standard error for each failure, failed_batches counted (the
  // batches since the last commit are not in the database), false. Called by clear and the
  // destructor too.
  bool finish_bulk_writes();
  static constexpr long commit_interval_ms = sql_batch_series::commit_interval_ms;
  // flush when at least minimum rows wait; otherwise false and nothing changes.
  bool flush_if(int minimum);
  int pending_count() const;
  // Bytes of the cells of the rows waiting.
  size_t pending_bytes() const { return packed_cells.text_bytes(); }
  // pending emptied and current cleared; nothing is written.
  void drop_pending();
  // Appends a data-table row (metaref, cells) to the artifact of params->sqlite_params; false
  // unless "-sqlite" is on and that artifact is open.
  static bool add_fields_row(u64 metaref, const std::vector<std::string>& cells, cmd_params* params);
  // The same, but a long row's strings are taken over rather than copied (packed_cell_rows::take).
  static bool take_fields_row(u64 metaref, std::vector<std::string>& cells, cmd_params* params);
  // Appends a generic_data row with the stream's text as desired_output; 0.
  int add_generic_row(std::ostringstream& text, u64 val1, u64 val2, std::string str1, std::string str2, u64 val3,
                      u64 val4, u64 val5);
  // add_generic_row with the numbers and texts of a timeline row's header record
  // (val1 to val5, str1, str2); 0.
  template <class header_type>
  int add_generic_hdr_row(std::ostringstream& text, const header_type& header) {
    return add_generic_row(text, header.val1, header.val2, header.str1, header.str2, header.val3, header.val4,
                           header.val5);
  }
  // Cuts the stream's text into lines (trimmed, empty lines dropped; text with mixed or no line
  // ends gives none) and appends one generic_data row per line with val1, val2 and str1. True
  // when a line was found.
  bool split_generic_rows(std::ostringstream& text, u64 val1, u64 val2, std::string str1);
  // Writes the waiting rows under the run that ends (flush), then begins a new run of
  // meta_row's table (sqlite3_adt::start_run).
  bool start_new_run(bool chain);

  // Each sets its field of meta_row when the connection is open and text is not null;
  // set_col_hdrs also empties the cached column names.
  void set_col_hdrs(const char* text);
  void set_file_other(const char* text);
  void set_file(const char* text);
  void set_gen_hdrs(const char* text);
  void set_notes(const char* text);
  void set_artifact_type(const char* text);

  // The bracketed column names of a data table built from col_hdrs (split at "|"). A list whose
  // first name holds "[" is kept, each name that is not exactly one bracketed name re-bracketed
  // without its "]"; otherwise each name is cut to 8 characters (unless keep_long_names), loses
  // "[", "]" and "#", is trimmed, has blanks made "_", and becomes "[<position>-<name>]" (or
  // "[<name>]" without number_columns). Names that would repeat one another (or [metaref])
  // get "_<position>" appended.
  static std::vector<std::string> build_column_names(const std::string& col_hdrs, u8 number_columns,
                                                     u8 keep_long_names);

  // ---- Readers (sqlite_readers.cpp) ----
  // Writes table, all its columns, to the file dst (created or emptied) as dump_table does with
  // raw set. False, leaving dst as it was, when the connection is closed, dst or table is empty,
  // or the table is missing or has no rows; false after "prob accessing <dst>, aborting\n" when
  // dst cannot be opened or is the database itself.
  bool export_table(const std::string& dst, const std::string& table, cmd_params& tool);
  // Writes the column names, then every row, the values joined by the run's separator text;
  // line ends in values become [CRLF], [LFCR], [LF] or [CR]. Without raw, a value holding a
  // control or non-ASCII byte is written as "hex={" its bytes in hex "}". Under quoted fields
  // every other value is quoted (a JSON object value without the separator stays as it is),
  // its quotes doubled; otherwise the separator's character in a value becomes the run's
  // stand-in. True when rows were written.
  bool dump_table(std::ostream* out, const std::string& table, cmd_params& tool, bool raw);
  // Writes every data table listed in `ref` (not `metadata`) to <dst>/<cleaned name>.csv, each
  // row followed by the tool, run time, artifact type, [extra args,] CSV source and artifact
  // source of its run record; the separator is "|", or the run's with use_tool_separator.
  // False when there are no run records or `ref` rows, or dst cannot be made. A table that
  // cannot be written completely is reported and counted in failed_exports; the others are
  // written. args is not read.
  bool export_artifact_tables(const std::vector<std::string>& args, const std::string& dst,
                              bool use_tool_separator, cmd_params& tool);

  // Writes the stored lines of every table that has `metaref` and `desired_output` columns
  // (generic_data) into one file per run in folder (sql_file_results), and appends each file
  // written to files. False for a closed connection, no run records, a folder that cannot be
  // made, no `ref` rows, lines whose run has no record, or a file that cannot be written
  // (reported on standard error).
  bool export_generic_files(std::vector<std::string>& files, const std::string& folder);
  bool export_generic_data(std::vector<std::string>& files, std::string folder);
  // Prints names as a header line and each row below it as aligned typed columns: the column
  // templates are tool's source_columns completed from names (text, width, type 11, flag 0x80),
  // every width at least the longest value of its column (no widths under tool's trim_fields),
  // capped at max_width when it is not 0 (texts cut to it with cut). Rows are parsed and
  // rendered by writer with the two callbacks (each may be null). False, printing nothing, for
  // no names, no rows or a writer without both functions.
  bool print_rows_aligned(std::ostream& out, const std::vector<std::string>& names,
                          const std::vector<std::vector<std::string>>& rows, cmd_params& tool, u32 max_width, bool cut,
                          aligned_cell_text_fn first, aligned_cell_text_fn second, const aligned_row_writer* writer);

  sqlite_metadata_row meta_row;  // run record of the rows being collected
  std::vector<sqlite_generic_data_row> pending;
  sqlite_generic_data_row current;
  packed_cell_rows packed_cells;  // cells of the rows add_fields_row put in pending
  u64 failed_batches;  // batches that could not be written since construction; the run must not end in success
  // Batches flush could not write one after the other, up to the last: one refused batch (its
  // own rows broke a rule of the database) leaves the next ones to be tried, two in a row show a
  // database or disk that takes no more.
  u64 failed_in_a_row = 0;
  u64 failed_exports;  // tables an export could not write completely; the run must not end in success

 private:
  // write_rows of rows described by record (meta_row, or a write-behind batch's copy of it),
  // their packed cells in packed: a savepoint in a series, else a transaction of its own.
  bool write_rows_of(u64 run, sqlite_metadata_row& record, std::vector<sqlite_generic_data_row>& rows,
                     const packed_cell_rows& packed);
  // The batch's writes inside its transaction or savepoint.
  bool write_batch(u64 run, sqlite_metadata_row& record, std::vector<sqlite_generic_data_row>& rows,
                   const packed_cell_rows& packed);
  // create_data_table with the column names cached in names_cache.
  bool create_table_of(sqlite_metadata_row& row, sqlite_metadata_row& names_cache);
  // names_cache.column_names, built from col_hdrs by names_cache's naming flags when empty.
  static const std::vector<std::string>& column_names_for(sqlite_metadata_row& names_cache,
                                                          const std::string& col_hdrs);
  // A runtime for a new batch: now, later than every batch of this object and not yet in
  // `metadata`.
  u64 next_batch_runtime();
  u64 last_batch_runtime_ = 0;
  // write_rows_of inside the open series: a savepoint around the batch, the series committed
  // when commit_interval_ms has passed.
  bool write_rows_in_series(u64 run, sqlite_metadata_row& record, std::vector<sqlite_generic_data_row>& rows,
                            const packed_cell_rows& packed);
  // The write-behind thread and the batch handed to it (sqlite_artifact.cpp).
  struct write_behind_state;
  std::unique_ptr<write_behind_state> write_behind_;
  // The write-behind thread's loop: writes the queued batches in order until told to stop.
  void write_behind_loop(write_behind_state& state);
  // Queues pending for the write-behind thread, first waiting while the batches in flight
  // leave no room for it; false when pending is empty or a batch before failed.
  bool hand_over_pending();
  // Waits until the write-behind thread has written every batch queued (at once without one);
  // false when one of them failed. An exception a batch's writing ended in is thrown here.
  bool wait_for_write_behind();
  // Waits until the write-behind thread has written every batch queued; the number that failed,
  // and in failure the exception one ended in. Both are taken out. Only with a thread.
  u64 settle_write_behind(std::exception_ptr& failure);
  // Reports and counts failed batches of the write-behind thread; true for none.
  bool report_write_behind_failures(u64 failed);
  // The same, then with hand_back throws failure when there is one; without, a batch that
  // ended in it counts as failed.
  bool report_write_behind_failures(u64 failed, std::exception_ptr failure, bool hand_back);
  // Waits for the write-behind thread as wait_for_write_behind does (handing an exception back
  // only with hand_back), after ending the thread; true without one.
  bool stop_write_behind(bool hand_back);
  // finish_bulk_writes; an exception of the write-behind thread is thrown only with hand_back.
  bool end_bulk_writes(bool hand_back);
  // Commits the batches of the open series; false (and they are gone) when that fails. Prints
  // nothing.
  bool commit_series();
  u8 bulk_ = 0;                   // begin_bulk_writes was called and finish_bulk_writes not yet
  sql_batch_series series_;  // the batches not yet committed

 protected:
  // A message on standard error. The status line is erased first only when the run may show
  // one: under "-quiet" standard error carries the messages alone.
  void report(const char* format, ...) const __attribute__((format(printf, 2, 3)));
  u8 status_shown_ = 1;  // the run's status display, taken by init_from_cmdline
};

// The SQLite state of a run: one sqlite3_artifact and nothing else. The run context holds one
// by value and the parameter set points at it (cmd_params::sqlite_params); destroying it closes
// the database.
class sqlite_cmd_params : public sqlite3_artifact {
 public:
  sqlite_cmd_params();
  ~sqlite_cmd_params() override;

  // Only when the connection is open: runtime 0, meta_row cleared and the rows waiting dropped
  // (drop_pending); the connection stays. clear() is the artifact's full reset.
  void reset_run_state();
};
