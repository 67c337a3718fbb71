#include "sqlite_store/sqlite_wrapper.h"

#include <cstdio>

#include "framework/io/qz_portable_dir.h"
#include "framework/text/qz_md5.h"
#include "framework/text/qz_path.h"

sqlite_function_table sqlite_functions{};

namespace {

// Connection objects that hold an open handle. The table is shared, so it is cleared only when
// none is left: clearing it under an open connection would leave that one calling through null.
int open_connections = 0;

// Reading the schema makes the library read the file header, which the open itself does not:
// a file that is not a database (or cannot be read) fails here instead of at the first query.
bool database_readable(sqlite3* db) {
  char* error = nullptr;
  const int rc = sqlite_functions.exec(db, "select count(*) from sqlite_master;", nullptr, nullptr, &error);
  sqlite3_free(error);
  return rc == SQLITE_OK;
}

// True when the file's header may put the library in write-ahead mode (a read or write version
// of 2; the library goes by the read version, a damaged header may hold either).
bool write_ahead_header(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  unsigned char header[20] = {};
  const size_t read = std::fread(header, 1, sizeof header, file);
  std::fclose(file);
  return read == sizeof header && (header[18] == 2 || header[19] == 2);
}

// The name under which a reader opens db_file; empty for the plain name. Read-only, the library
// still makes a "-wal" and a "-shm" file beside a database in write-ahead mode and leaves them
// there: a reader of evidence must not add files next to it. Such a database with no log or
// journal beside it holds all of its content in its own file and no connection is writing it:
// it is read as unchanging, which makes no file. One with a log or a journal is read with it, so
// that no committed page is missed; a database in the ordinary journal mode is read under the
// library's locks, which make no file, so that a writer cannot change it under the reader.
std::string reader_uri(const std::string& db_file) {
  if (file_exists(db_file + "-wal") || file_exists(db_file + "-journal") || !write_ahead_header(db_file)) return {};
  std::string uri = db_file.front() == '/' ? "file://" : "file:";
  for (const char c : db_file) {
    if (c == '%' || c == '?' || c == '#') {
      uri += '%';
      append_hex_bytes(uri, reinterpret_cast<const u8*>(&c), 1, "", false);
    } else {
      uri += c;
    }
  }
  return uri + "?immutable=1";
}

}  // namespace

sqlite_wrapper::sqlite_wrapper() : db_open(0), read_only(0), db(nullptr), runtime(0) {}

sqlite_wrapper::~sqlite_wrapper() { close(); }

bool sqlite_wrapper::load_functions(void*) {
  // A connection here is only ever used by one thread at a time: the library need not lock
  // around every call (a bound value cost a lock and an unlock). Possible only before the
  // library starts; later calls are refused by it and change nothing.
  static const bool configured = sqlite3_config(SQLITE_CONFIG_MULTITHREAD) == SQLITE_OK;
  (void)configured;
  sqlite_function_table& t = sqlite_functions;
  t.exec = &sqlite3_exec;
  t.open = &sqlite3_open;
  t.open_v2 = &sqlite3_open_v2;
  t.close = &sqlite3_close;
  t.prepare_v2 = &sqlite3_prepare_v2;
  t.bind_blob = &sqlite3_bind_blob;
  t.bind_double = &sqlite3_bind_double;
  t.bind_int = &sqlite3_bind_int;
  t.bind_int64 = &sqlite3_bind_int64;
  t.bind_text = &sqlite3_bind_text;
  t.step = &sqlite3_step;
  t.finalize = &sqlite3_finalize;
  t.column_count = &sqlite3_column_count;
  t.column_name = &sqlite3_column_name;
  t.column_type = &sqlite3_column_type;
  t.column_bytes = &sqlite3_column_bytes;
  t.column_int64 = &sqlite3_column_int64;
  t.column_double = &sqlite3_column_double;
  t.column_text = &sqlite3_column_text;
  t.column_blob = &sqlite3_column_blob;
  t.last_insert_rowid = &sqlite3_last_insert_rowid;
  t.errmsg = &sqlite3_errmsg;
  t.reset = &sqlite3_reset;
  t.clear_bindings = &sqlite3_clear_bindings;
  return true;
}

void sqlite_wrapper::unload_functions() {
  handle = nullptr;
  if (open_connections == 0) sqlite_functions = sqlite_function_table{};
}

void sqlite_wrapper::mark_open() {
  db_open = 1;
  if (!counted_open_) ++open_connections;
  counted_open_ = true;
}

void sqlite_wrapper::reset_fields() {
  db_open = 0;
  read_only = 0;
  db = nullptr;
  db_path.clear();
  runtime = 0;
}

bool sqlite_wrapper::open_db(u64*, const std::string& db_file, const std::string&) {
  if (db_open && db != nullptr) close_db();
  reset_fields();
  if (!db_file.empty()) {
    db_path = db_file;
    std::string folder;
    std::string name;
    // A folder that cannot be made shows up as a failed open below.
    if (split_dir_file(db_file, folder, name)) make_dir_path(folder);
    if (load_functions(nullptr) && sqlite_open(&db, db_path, false)) mark_open();
  }
  if (db_open) return true;
  close_db();
  unload_functions();
  return false;
}

bool sqlite_wrapper::open_db_readonly(const std::string& db_file, const std::string&) {
  if (db_open && db != nullptr) close_db();
  reset_fields();
  if (!db_file.empty()) {
    db_path = db_file;
    // The library would create a missing file; a reader must never do that.
    if (file_exists(db_file) && load_functions(nullptr) && sqlite_open(&db, db_path, true)) mark_open();
  }
  if (db_open) return true;
  close_db();
  unload();
  unload_functions();
  return false;
}

bool sqlite_wrapper::sqlite_open(sqlite3** out, const std::string& db_file, bool read_only_open) {
  read_only = read_only_open ? 1 : 0;
  if (out == nullptr || sqlite_functions.open == nullptr || sqlite_functions.open_v2 == nullptr ||
      sqlite_functions.close == nullptr) {
    return false;
  }
  *out = nullptr;
  int rc = SQLITE_OK;
  if (!read_only_open) {
    rc = sqlite_functions.open(db_file.c_str(), out);
  } else if (const std::string uri = db_file.empty() ? std::string() : reader_uri(db_file); !uri.empty()) {
    rc = sqlite_functions.open_v2(uri.c_str(), out, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
  } else {
    rc = sqlite_functions.open_v2(db_file.c_str(), out, SQLITE_OPEN_READONLY, nullptr);
  }
  if (rc == SQLITE_OK && !database_readable(*out)) rc = SQLITE_NOTADB;
  // The library quietly opens a write-protected file read-only; every later write would fail.
  if (rc == SQLITE_OK && !read_only_open && sqlite3_db_readonly(*out, "main") == 1) rc = SQLITE_READONLY;
  if (rc == SQLITE_OK) return true;
  sqlite_functions.close(*out);
  *out = nullptr;
  return false;
}

void sqlite_wrapper::close_db() {
  if (db == nullptr || sqlite_functions.close == nullptr) return;
  // A statement someone left unfinalized makes the plain close refuse and keep the connection;
  // the deferred close releases it once that statement is finalized.
  if (sqlite_functions.close(db) != SQLITE_OK) sqlite3_close_v2(db);
  if (counted_open_) --open_connections;
  counted_open_ = false;
  reset_fields();
}

void sqlite_wrapper::close() {
  if (!db_open || db == nullptr || sqlite_functions.close == nullptr) return;
  close_db();
  unload_functions();
  reset_fields();
}
