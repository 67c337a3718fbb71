// The store's connection to one SQLite database and the process-wide table of library entry
// points through which all store code calls SQLite. An open fills the table; the last open
// connection to close (or a failed open while none is open) clears it. Nothing here prints.
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <string>

#include "framework/io/qz_libload.h"
#include "framework/text/qz_types.h"

// The 24 library functions the store calls, in binding order. Every call reads its pointer here
// at the time of the call; a null entry means no connection has bound the library.
struct sqlite_function_table {
  decltype(&sqlite3_exec) exec;
  decltype(&sqlite3_open) open;
  decltype(&sqlite3_open_v2) open_v2;
  decltype(&sqlite3_close) close;
  decltype(&sqlite3_prepare_v2) prepare_v2;
  decltype(&sqlite3_bind_blob) bind_blob;
  decltype(&sqlite3_bind_double) bind_double;
  decltype(&sqlite3_bind_int) bind_int;
  decltype(&sqlite3_bind_int64) bind_int64;
  decltype(&sqlite3_bind_text) bind_text;
  decltype(&sqlite3_step) step;
  decltype(&sqlite3_finalize) finalize;
  decltype(&sqlite3_column_count) column_count;
  decltype(&sqlite3_column_name) column_name;
  decltype(&sqlite3_column_type) column_type;
  decltype(&sqlite3_column_bytes) column_bytes;
  decltype(&sqlite3_column_int64) column_int64;
  decltype(&sqlite3_column_double) column_double;
  decltype(&sqlite3_column_text) column_text;
  decltype(&sqlite3_column_blob) column_blob;
  decltype(&sqlite3_last_insert_rowid) last_insert_rowid;
  decltype(&sqlite3_errmsg) errmsg;
  decltype(&sqlite3_reset) reset;
  decltype(&sqlite3_clear_bindings) clear_bindings;

  static constexpr size_t entry_count = 24;
};

// The one table of the process; all entries null until the first open.
extern sqlite_function_table sqlite_functions;

// The files the library keeps beside a database, named by these suffixes to its name: the
// rollback journal, the write-ahead log and the log's index.
inline constexpr const char* database_companion_suffixes[] = {"-journal", "-wal", "-shm"};

// Whether writing path would write db_file or one of the files the library keeps beside it
// (qz_platform::same_place: one file where both exist, one name in one folder where neither does).
bool is_database_file(const std::string& path, const std::string& db_file);

// Why the last read-only open failed, beyond a missing file or one that is not a database.
enum class read_open_fault {
  none,
  hot_journal,   // the rollback journal of an interrupted write must be rolled back first
  private_copy,  // the database and its log could not be copied into a private folder
};

// One connection: at most one open database, read-write (file and folders created) or
// read-only (an existing database only). The object owns its handle and closes it when it is
// closed again, reopened or destroyed.
class sqlite_wrapper : public qz_libload_base {
 public:
  sqlite_wrapper();
  ~sqlite_wrapper() override;
  sqlite_wrapper(const sqlite_wrapper&) = delete;
  sqlite_wrapper& operator=(const sqlite_wrapper&) = delete;

  // Binds the linked library's entry points into sqlite_functions (handle unused); true.
  bool load_functions(void* handle) override;
  // Forgets the base's library handle; clears sqlite_functions unless another connection
  // object still holds an open database.
  void unload_functions() override;

  // Opens db_file for reading and writing, creating its folders and the file when missing.
  // False, with the object closed, for an empty name, a folder that cannot be made, a file
  // that is not a database or a file that can only be read. runtime_unused and options are
  // not read.
  virtual bool open_db(u64* runtime_unused, const std::string& db_file,
                       const std::string& options = std::string());
  // Opens an existing database read-only; a missing file gives false and is never created,
  // as does a file that is not a database. No file beside db_file is added, changed or removed,
  // in any journal state: a database with a write-ahead log beside it is read from a copy of
  // both in a private folder under the temporary folder, whose names are removed as soon as the
  // library holds the files open (a log beside an empty database file still counts). A hot
  // rollback journal is refused, with read_fault saying so. options is not read.
  virtual bool open_db_readonly(const std::string& db_file, const std::string& options = std::string());

  // The one place that opens through the library: *out = the new handle, verified readable
  // (and, without read_only_open, writable). On failure *out is closed and set null, false.
  bool sqlite_open(sqlite3** out, const std::string& db_file, bool read_only_open);
  // Closes the handle and resets db_open, read_only, db, db_path and runtime; the table keeps
  // its entries. Does nothing when no handle is held or the table is cleared.
  void close_db();
  // close_db, then unload_functions; does nothing on an object that is not open.
  void close();

  u8 db_open;
  u8 read_only;
  sqlite3* db;
  std::string db_path;
  // Run identifier (a FILETIME) under which the next batch of rows is written.
  u64 runtime;
  // Set by a failed open_db_readonly; none after any other open.
  read_open_fault read_fault = read_open_fault::none;

 private:
  void mark_open();
  void reset_fields();
  void remove_private_copy();
  bool counted_open_ = false;  // this object is one of the open connections the table serves
  std::string private_folder_;  // the folder of the copy while it is being opened
};
