#include "sqlite_store/sqlite_wrapper.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>

#include "framework/io/qz_platform.h"
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
// there: a reader of evidence must not add files next to it. A database with a "-wal" file
// beside it is therefore read from a private copy (open_db_readonly makes it): the copy, its log
// beside it, comes here and is opened by its plain name, so that no committed page is missed and
// whatever the library adds lands in the private folder. A database in write-ahead mode with no
// log or journal beside it holds all of its content in its own file and no connection is writing
// it: it is read as unchanging, which makes no file. One with a journal is read with it; a
// database in the ordinary journal mode is read under the library's locks, which make no file,
// so that a writer cannot change it under the reader.
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

// Whether a regular file stands at path (links followed).
bool regular_file_at(const std::string& path) {
  qz_platform::file_status status;
  return qz_platform::path_status(path, status) && status.is_regular();
}

// The page size a write-ahead log's header gives (big-endian at byte 8); 0 when the file
// cannot be read or the size is none the library would take.
u32 log_page_size(const std::string& log_file) {
  std::FILE* file = std::fopen(log_file.c_str(), "rb");
  if (file == nullptr) return 0;
  unsigned char header[12] = {};
  const size_t read = std::fread(header, 1, sizeof header, file);
  std::fclose(file);
  if (read != sizeof header) return 0;
  const u32 size = static_cast<u32>(header[8]) << 24 | static_cast<u32>(header[9]) << 16 |
                   static_cast<u32>(header[10]) << 8 | header[11];
  return size >= 512 && size <= 65536 && (size & (size - 1)) == 0 ? size : 0;
}

// Copies db_file with its log (and a journal, so that the copy is in the same state) into a
// new folder of its own; folder and copy name them. Read-only, the library would make or
// rewrite the log's index beside the database, and beside an empty database file it deletes
// the log, whose pages are then lost: a live database copied before its first checkpoint holds
// all of its content there. Such an empty file gets one page of zeros in the copy, so that the
// library reads every page, the first included, from the log. False (and nothing left behind)
// when the folder cannot be made or a file cannot be copied.
bool make_private_copy(const std::string& db_file, std::string& folder, std::string& copy) {
  namespace fs = std::filesystem;
  std::error_code failed;
  const fs::path temporary = fs::temp_directory_path(failed);
  if (failed) return false;
  std::string pattern = (temporary / "telvar-read-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return false;
  folder = pattern;
  copy = folder + "/db";
  bool copied = fs::copy_file(db_file, copy, failed) && !failed;
  for (const char* suffix : database_companion_suffixes) {
    if (copied && std::string(suffix) != "-shm" && regular_file_at(db_file + suffix))
      copied = fs::copy_file(db_file + suffix, copy + suffix, failed) && !failed;
  }
  if (copied && fs::file_size(copy, failed) == 0 && !failed) {
    if (const u32 page = log_page_size(copy + "-wal"); page != 0) fs::resize_file(copy, page, failed);
    copied = !failed;
  }
  if (copied) return true;
  fs::remove_all(folder, failed);
  folder.clear();
  copy.clear();
  return false;
}

}  // namespace

bool is_database_file(const std::string& path, const std::string& db_file) {
  if (path.empty() || db_file.empty()) return false;
  if (qz_platform::same_place(path, db_file)) return true;
  for (const char* suffix : database_companion_suffixes) {
    if (qz_platform::same_place(path, db_file + suffix)) return true;
  }
  return false;
}

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
  read_fault = read_open_fault::none;
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
  // The library would create a missing file; a reader must never do that.
  if (!db_file.empty() && file_exists(db_file) && load_functions(nullptr)) {
    std::string read_path = db_file;
    if (regular_file_at(db_file + "-wal") && !make_private_copy(db_file, private_folder_, read_path))
      read_fault = read_open_fault::private_copy;
    else if (sqlite_open(&db, read_path, true))
      mark_open();
    // The library holds the copied files open from its first read on: their names go at once,
    // so that no end of the run (a signal, a crash) leaves a copy behind.
    remove_private_copy();
  }
  if (!db_file.empty()) db_path = db_file;
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
  if (rc == SQLITE_OK && !database_readable(*out)) {
    // A read-only connection cannot roll an interrupted write back, and refuses to read past it.
    if (sqlite3_extended_errcode(*out) == SQLITE_READONLY_ROLLBACK) read_fault = read_open_fault::hot_journal;
    rc = SQLITE_NOTADB;
  }
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

void sqlite_wrapper::remove_private_copy() {
  if (private_folder_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(private_folder_, ignored);
  private_folder_.clear();
}

void sqlite_wrapper::close() {
  if (!db_open || db == nullptr || sqlite_functions.close == nullptr) return;
  close_db();
  unload_functions();
  reset_fields();
}
