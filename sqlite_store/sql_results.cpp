#include "sqlite_store/sql_results.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "framework/text/qz_hex.h"
#include "framework/text/qz_number_parse.h"
#include "framework/text/qz_wide.h"
#include "sqlite_store/sqlite_wrapper.h"

namespace {

void append_hex_byte(std::string& out, u8 byte) {
  static const char hex_digits[] = "0123456789abcdef";
  out += hex_digits[byte >> 4];
  out += hex_digits[byte & 15];
}

}  // namespace

// ---- sql_results and sql_transaction ----

sql_results::sql_results() { clear(); }

sql_results::~sql_results() = default;

void sql_results::clear() {
  types.clear();
  names.clear();
  rows.clear();
  rowids.clear();
  messages.str(std::string());
  messages.clear();
  print_target = nullptr;
  context = nullptr;
  header_printed = 0;
  already_exists = 0;
}

int sql_results::sql_results_cb(void* context, int count, char** values, char** names) {
  auto* results = static_cast<sql_results*>(context);
  if (results == nullptr) return 0;
  std::ostream* out = results->print_target;
  const bool take_names = out != nullptr ? results->header_printed == 0 : results->names.empty();
  if (take_names && names != nullptr) {
    for (int i = 0; i < count; ++i) {
      if (out != nullptr && i > 0) *out << " | ";
      if (names[i] != nullptr) {
        if (out != nullptr) *out << names[i];
        results->names.emplace_back(names[i]);
      } else {
        results->names.emplace_back();
      }
    }
    if (out != nullptr) {
      results->header_printed = 1;
      *out << '\n';
    }
  }
  if (out != nullptr) {
    for (int i = 0; i < count; ++i) {
      if (i > 0) *out << " | ";
      if (values != nullptr && values[i] != nullptr) *out << values[i];
    }
    *out << '\n';
    return 0;
  }
  std::vector<std::string>& row = results->rows.emplace_back();
  row.reserve(count > 0 ? static_cast<size_t>(count) : 0);
  for (int i = 0; i < count; ++i) {
    if (values != nullptr && values[i] != nullptr) {
      row.emplace_back(values[i]);
    } else {
      row.emplace_back();
    }
  }
  return 0;
}

bool sql_transaction(sql_results* results, sqlite_wrapper* connection, const std::vector<std::string>& statements,
                     sqlite3_callback callback) {
  if (connection == nullptr || statements.empty() || results == nullptr) return false;
  const sqlite_function_table& lib = sqlite_functions;
  if (connection->db == nullptr || lib.exec == nullptr || lib.last_insert_rowid == nullptr) {
    results->messages << "no open database\n";
    return false;
  }
  for (const std::string& statement : statements) {
    char* error_text = nullptr;
    const int rc = lib.exec(connection->db, statement.c_str(), callback, results, &error_text);
    if (rc == SQLITE_OK) {
      sqlite3_free(error_text);
      results->rowids.push_back(static_cast<u64>(lib.last_insert_rowid(connection->db)));
      continue;
    }
    const std::string error = error_text != nullptr ? error_text : "";
    sqlite3_free(error_text);
    if (error.find("already exists") != std::string::npos) {
      results->already_exists = 1;
      results->messages << error << '\n';
    } else {
      results->messages << "Cmd Used: " << statement << '\n' << " Error: " << error << '\n';
    }
    return false;
  }
  return true;
}

// ---- Prepared selects ----

namespace {

// How one member of the select family renders floats, NULLs and unknown storage classes.
struct render_rules {
  bool float_as_library_text;
  const char* null_text;
  bool unknown_as_text;
};

constexpr render_rules select_rules{true, "", true};
constexpr render_rules rows_rules{false, "0", false};

void append_bytes(std::vector<std::string>& row, const void* data, int bytes) {
  if (data == nullptr || bytes <= 0) {
    row.emplace_back();
  } else {
    row.emplace_back(static_cast<const char*>(data), static_cast<size_t>(bytes));
  }
}

void render_column(sqlite3_stmt* statement, int column, const render_rules& rules, std::vector<std::string>& row) {
  const sqlite_function_table& lib = sqlite_functions;
  char digits[64];
  // The pointer is taken before the byte count: asking for the count first may convert the
  // value under a pointer taken earlier.
  switch (lib.column_type(statement, column)) {
    case SQLITE_INTEGER: {
      const auto end = std::to_chars(digits, digits + sizeof digits, lib.column_int64(statement, column)).ptr;
      row.emplace_back(digits, end);
      return;
    }
    case SQLITE_FLOAT:
      if (!rules.float_as_library_text) {
        // Six significant digits, exponent form when needed, independent of the C locale.
        const auto end = std::to_chars(digits, digits + sizeof digits, lib.column_double(statement, column),
                                       std::chars_format::general, 6)
                             .ptr;
        row.emplace_back(digits, end);
        return;
      }
      [[fallthrough]];
    case SQLITE_TEXT: {
      const unsigned char* text = lib.column_text(statement, column);
      append_bytes(row, text, lib.column_bytes(statement, column));
      return;
    }
    case SQLITE_BLOB: {
      const void* blob = lib.column_blob(statement, column);
      append_bytes(row, blob, lib.column_bytes(statement, column));
      return;
    }
    case SQLITE_NULL:
      row.emplace_back(rules.null_text);
      return;
    default:
      if (rules.unknown_as_text) {
        const unsigned char* text = lib.column_text(statement, column);
        append_bytes(row, text, lib.column_bytes(statement, column));
      }
      return;
  }
}

bool select_functions_bound() {
  const sqlite_function_table& lib = sqlite_functions;
  return lib.prepare_v2 != nullptr && lib.step != nullptr && lib.finalize != nullptr &&
         lib.column_count != nullptr && lib.column_name != nullptr && lib.column_type != nullptr &&
         lib.column_bytes != nullptr && lib.column_int64 != nullptr && lib.column_double != nullptr &&
         lib.column_text != nullptr && lib.column_blob != nullptr;
}

// The loop all select members share: on_row(row) is called with each rendered row. names (when
// set) receives the column names of the first row. False when the statement cannot be prepared
// or a step fails; the rows handed on before a failing step stay with the caller.
template <class OnRow>
bool select_loop(sqlite3* db, const std::string& sql, const render_rules& rules, std::vector<std::string>* names,
                 OnRow&& on_row) {
  if (db == nullptr || !select_functions_bound()) return false;
  const sqlite_function_table& lib = sqlite_functions;
  sqlite3_stmt* statement = nullptr;
  if (lib.prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) return false;
  if (statement == nullptr) return false;  // the text held no statement
  std::vector<std::string> row;
  int rc;
  while ((rc = lib.step(statement)) == SQLITE_ROW) {
    const int count = lib.column_count(statement);
    const bool take_names = names != nullptr && names->empty();
    row.clear();
    for (int i = 0; i < count; ++i) {
      if (take_names) {
        const char* name = lib.column_name(statement, i);
        names->emplace_back(name != nullptr ? name : "");
      }
      render_column(statement, i, rules, row);
    }
    on_row(row);
  }
  lib.finalize(statement);
  return rc == SQLITE_DONE;
}

}  // namespace

int sql_select(std::vector<std::vector<std::string>>& rows, std::vector<std::string>& names, sqlite3* db,
               const std::string& sql) {
  rows.clear();
  names.clear();
  if (sql.empty()) return 0;
  const bool ok = select_loop(db, sql, select_rules, &names, [&](std::vector<std::string>& row) {
    rows.push_back(row);
  });
  return ok ? 1 : 0;
}

bool sql_select_rows(std::vector<std::vector<std::string>>& rows, sqlite3* db, const std::string& sql) {
  rows.clear();
  return select_loop(db, sql, rows_rules, nullptr, [&](std::vector<std::string>& row) { rows.push_back(row); });
}

bool sql_select_each(void* context, u8 flag, void* first, void* second, sqlite3* db, const std::string& sql,
                     sql_row_function row_fn) {
  return select_loop(db, sql, rows_rules, nullptr, [&](std::vector<std::string>& row) {
    if (row_fn != nullptr) row_fn(context, row, flag, first, second);
  });
}

bool sql_select_each_named(void* context, u8 flag, void* first, void* second, sqlite3* db, const std::string& sql,
                           sql_named_row_function row_fn, u8 float_as_text) {
  const render_rules rules{float_as_text != 0, "", false};
  std::vector<std::string> names;
  return select_loop(db, sql, rules, &names, [&](std::vector<std::string>& row) {
    if (row_fn != nullptr) row_fn(context, row, names, flag, first, second);
  });
}

bool select_columns(sqlite_wrapper* connection, std::vector<std::vector<std::string>>& rows,
                    std::vector<std::string>& columns, const std::string& table) {
  if (connection == nullptr || !connection->db_open || table.empty()) return false;
  rows.clear();
  std::string sql = "select";
  for (size_t i = 0; i < columns.size(); ++i) {
    sql += i == 0 ? ' ' : ',';
    sql += i == 0 && columns[i] == "*" ? std::string("*") : quote_backticks(columns[i]);
  }
  sql += " from ";
  sql += quote_brackets(table);
  sql += ';';
  sql_results results;
  if (!sql_transaction(&results, connection, {sql}, &sql_results::sql_results_cb)) return false;
  rows.resize(results.rows.size());
  if (results.names.size() > columns.size()) columns.resize(results.names.size());
  for (size_t i = 0; i < results.rows.size(); ++i) {
    rows[i] = std::move(results.rows[i]);
    if (i == 0) std::copy(results.names.begin(), results.names.end(), columns.begin());
  }
  return !rows.empty();
}

int build_schema_query(std::ostringstream& out) {
  out.str(std::string());
  out.clear();
  out << "select `sql` from sqlite_master where type='table';";
  return 1;
}

void print_sql_results(const sql_results& results, std::ostream& out) {
  std::string hex;
  for (const std::string& name : results.names) out << name << " | ";
  out << "\n\n";
  for (const std::vector<std::string>& row : results.rows) {
    const size_t columns = std::min(results.names.size(), row.size());
    for (size_t i = 0; i < columns; ++i) {
      if (i < results.types.size() && results.types[i] == 3) {
        hex.clear();
        for (const char c : row[i]) {
          append_hex_byte(hex, static_cast<u8>(c));
          hex += ' ';
        }
        out << hex;
      } else {
        out << row[i];
      }
      out << " | ";
    }
    out << '\n';
  }
}

int print_values_cb(void* context, int count, char** values, char**) {
  auto* out = static_cast<std::ostream*>(context);
  if (out == nullptr || values == nullptr) return 0;
  for (int i = 0; i < count; ++i) {
    if (values[i] != nullptr) *out << values[i] << '\n';
  }
  return 0;
}

int collect_values_cb(void* context, int count, char** values, char**) {
  auto* out = static_cast<std::vector<std::string>*>(context);
  if (out == nullptr) return 0;
  for (int i = 0; i < count; ++i) {
    if (values != nullptr && values[i] != nullptr) {
      out->emplace_back(values[i]);
    } else {
      out->emplace_back();
    }
  }
  return 0;
}

// ---- Statements with bound values ----

bool sql_exec(sqlite3* db, const char* sql, std::string* error) {
  if (error != nullptr) error->clear();
  if (db == nullptr || sql == nullptr || sqlite_functions.exec == nullptr) {
    if (error != nullptr) *error = "no open database";
    return false;
  }
  char* error_text = nullptr;
  const int rc = sqlite_functions.exec(db, sql, nullptr, nullptr, &error_text);
  if (rc != SQLITE_OK && error != nullptr) *error = error_text != nullptr ? error_text : "error";
  sqlite3_free(error_text);
  return rc == SQLITE_OK;
}

sql_statement::~sql_statement() { finalize(); }

bool sql_statement::check(int rc) {
  if (rc == SQLITE_OK) return true;
  if (db_ != nullptr && sqlite_functions.errmsg != nullptr) {
    error_ = sqlite_functions.errmsg(db_);
  } else {
    error_ = "no open database";
  }
  return false;
}

bool sql_statement::prepare(sqlite3* db, const std::string& sql) {
  finalize();
  error_.clear();
  db_ = db;
  if (db == nullptr || sqlite_functions.prepare_v2 == nullptr) return check(SQLITE_MISUSE);
  if (sql.size() > static_cast<size_t>(INT_MAX)) return check(SQLITE_TOOBIG);
  const int rc = sqlite_functions.prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr);
  if (rc == SQLITE_OK && statement_ == nullptr) {
    error_ = "no statement in the text";
    return false;
  }
  return check(rc);
}

bool sql_statement::bind_int64(int index, i64 value) {
  if (statement_ == nullptr || sqlite_functions.bind_int64 == nullptr) return check(SQLITE_MISUSE);
  return check(sqlite_functions.bind_int64(statement_, index, value));
}

bool sql_statement::bind_text(int index, sql_static_text static_text) {
  const std::string_view text = static_text.text();
  if (statement_ == nullptr || sqlite_functions.bind_text == nullptr) return check(SQLITE_MISUSE);
  if (text.size() > static_cast<size_t>(INT_MAX)) return check(SQLITE_TOOBIG);
  return check(sqlite_functions.bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                                          SQLITE_STATIC));
}

bool sql_statement::bind_text_copy(int index, std::string_view text) {
  if (statement_ == nullptr || sqlite_functions.bind_text == nullptr) return check(SQLITE_MISUSE);
  if (text.size() > static_cast<size_t>(INT_MAX)) return check(SQLITE_TOOBIG);
  return check(sqlite_functions.bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                                          SQLITE_TRANSIENT));
}

bool sql_statement::bind_null(int index) {
  if (statement_ == nullptr || sqlite_functions.bind_text == nullptr) return check(SQLITE_MISUSE);
  // The library binds NULL for a text without bytes.
  return check(sqlite_functions.bind_text(statement_, index, nullptr, 0, SQLITE_STATIC));
}

int sql_statement::step() {
  if (statement_ == nullptr || sqlite_functions.step == nullptr) {
    check(SQLITE_MISUSE);
    return SQLITE_MISUSE;
  }
  const int rc = sqlite_functions.step(statement_);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) check(rc);
  return rc;
}

bool sql_statement::run() {
  const bool done = run_rebound();
  clear_bindings();
  return done;
}

bool sql_statement::run_rebound() {
  const bool done = step() == SQLITE_DONE;
  // The reset repeats a failed step's code; the step already reported it.
  if (statement_ != nullptr && sqlite_functions.reset != nullptr) sqlite_functions.reset(statement_);
  return done;
}

bool sql_statement::reset() {
  if (statement_ == nullptr || sqlite_functions.reset == nullptr) return check(SQLITE_MISUSE);
  return check(sqlite_functions.reset(statement_));
}

bool sql_statement::clear_bindings() {
  if (statement_ == nullptr || sqlite_functions.clear_bindings == nullptr) return check(SQLITE_MISUSE);
  return check(sqlite_functions.clear_bindings(statement_));
}

void sql_statement::finalize() {
  if (statement_ != nullptr && sqlite_functions.finalize != nullptr) sqlite_functions.finalize(statement_);
  statement_ = nullptr;
}

sql_write_transaction::~sql_write_transaction() { rollback(); }

bool sql_write_transaction::begin(sqlite3* db, bool immediate) {
  if (db_ != nullptr) {
    error_ = "a transaction is already open";
    return false;
  }
  if (!sql_exec(db, immediate ? "BEGIN IMMEDIATE TRANSACTION" : "BEGIN TRANSACTION", &error_)) return false;
  db_ = db;
  return true;
}

bool sql_write_transaction::commit() {
  if (db_ == nullptr) {
    error_ = "no transaction is open";
    return false;
  }
  if (sql_exec(db_, "END TRANSACTION", &error_)) {
    db_ = nullptr;
    return true;
  }
  const std::string commit_error = error_;
  rollback();
  error_ = commit_error;
  return false;
}

void sql_write_transaction::rollback() {
  if (db_ == nullptr) return;
  // The library may have rolled back already after a failed statement; that refusal is fine.
  sql_exec(db_, "ROLLBACK", nullptr);
  db_ = nullptr;
}

// ---- sql_batch_series ----

namespace {

i64 steady_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

bool sql_batch_series::begin_batch(sqlite3* db) {
  if (!transaction_.active()) {
    if (!transaction_.begin(db)) return false;
    started_ms_ = steady_ms();
  }
  db_ = db;
  return sql_exec(db_, "SAVEPOINT batch");
}

bool sql_batch_series::keep_batch() { return sql_exec(db_, "RELEASE batch"); }

void sql_batch_series::drop_batch() {
  // The batch leaves nothing of itself; the batches before it stay in the series.
  sql_exec(db_, "ROLLBACK TO batch");
  sql_exec(db_, "RELEASE batch");
}

bool sql_batch_series::commit_due() const {
  return transaction_.active() && steady_ms() - started_ms_ >= commit_interval_ms;
}

bool sql_batch_series::commit() { return !transaction_.active() || transaction_.commit(); }

// ---- Identifiers ----

std::string quote_brackets(std::string_view name) {
  std::string out;
  out.reserve(name.size() + 2);
  out += '[';
  for (const char c : name) {
    if (c != ']') out += c;
  }
  out += ']';
  return out;
}

std::string quote_backticks(std::string_view name) {
  std::string out;
  out.reserve(name.size() + 2);
  out += '`';
  for (const char c : name) {
    out += c;
    if (c == '`') out += '`';
  }
  out += '`';
  return out;
}

// ---- Value readers ----

std::string& copy_text(std::string& out, const std::string& text) { return out = text; }

std::string& text_from_cstr(std::string& out, const char* text) {
  if (text == nullptr) return out = std::string();
  return out = text;
}

std::vector<u8>& text_to_bytes(std::vector<u8>& out, const std::string& text) {
  out.assign(text.begin(), text.end());
  return out;
}

std::vector<u8>& cstr_to_bytes(std::vector<u8>& out, const char* text) {
  out.clear();
  if (text != nullptr) out.assign(text, text + std::strlen(text));
  return out;
}

guid_t& guid_from_text(guid_t& out, const std::string& text) {
  out = text.size() >= sizeof(guid_t) ? guid_t(reinterpret_cast<const u8*>(text.data())) : guid_t();
  return out;
}

guid_t& guid_from_guid(guid_t& out, const guid_t* guid) {
  out = guid != nullptr ? *guid : guid_t();
  return out;
}

double& double_from_text(double& out, const std::string& text) {
  out = text.empty() ? 0.0 : std::strtod(text.c_str(), nullptr);
  return out;
}

u64& u64_from_text(u64& out, const std::string& text) {
  if (!parse_u64_string(text, out)) out = 0;
  return out;
}

u64& u64_from_cstr(u64& out, const char* text) {
  if (!parse_u64(text, out)) out = 0;
  return out;
}

i64& long_from_cstr(i64& out, const char* text) {
  out = 0;
  parse_long_cstr(text, out);
  return out;
}

u32& u32_from_text(u32& out, const std::string& text) {
  out = 0;
  parse_u32_string(text, out);
  return out;
}

u32& u32_from_cstr(u32& out, const char* text) {
  out = 0;
  parse_u32(text, out);
  return out;
}

u8& u8_from_cstr(u8& out, const char* text) {
  u32 value = 0;
  parse_number(text, value);
  out = static_cast<u8>(value & 0xFF);
  return out;
}

std::string& text_from_buffer(std::string& out, const u8* bytes, u32 length, bool utf16) {
  out.clear();
  if (bytes == nullptr || length == 0) return out;
  if (utf16 && length >= 3 && bytes[0] != 0 && bytes[1] == 0) {
    const int limit = length > static_cast<u32>(INT_MAX) ? INT_MAX : static_cast<int>(length);
    utf16le_to_utf8(reinterpret_cast<const char*>(bytes), out, limit, true);
    return out;
  }
  const void* zero = std::memchr(bytes, 0, length);
  const size_t count = zero != nullptr ? static_cast<size_t>(static_cast<const u8*>(zero) - bytes) : length;
  out.assign(reinterpret_cast<const char*>(bytes), count);
  return out;
}

std::string& bytes_to_text(std::string& out, const u8* bytes, u32 length, u8& found_zero, bool drop_line_breaks,
                           bool drop_tabs, bool stop_at_zero) {
  out.clear();
  found_zero = 0;
  if (bytes == nullptr) return out;
  bool line_start = false;
  for (u32 i = 0; i < length; ++i) {
    const u8 byte = bytes[i];
    if (byte == 0 && stop_at_zero) {
      found_zero = 1;
      break;
    }
    if (drop_line_breaks && (byte == '\r' || byte == '\n')) {
      line_start = true;
      continue;
    }
    if (drop_tabs && (byte == '\t' || (byte == ' ' && line_start))) continue;
    out += static_cast<char>(byte);
    line_start = false;
  }
  return out;
}

namespace {

constexpr u32 guid_bytes = 16;
constexpr u32 no_length = 0xFFFFFFFF;

i32 hex_list_length(u32 length) { return length > static_cast<u32>(INT_MAX) ? INT_MAX : static_cast<i32>(length); }

}  // namespace

std::string& bytes_to_display_text(std::string& out, const u8* bytes, u32 length, u8& found_zero) {
  out.clear();
  found_zero = 0;
  if (bytes == nullptr) return out;
  if (length == guid_bytes) return out = guid_to_string(guid_t(bytes));
  for (u32 i = 0; i < length && bytes[i] != 0; ++i) {
    const u8 byte = bytes[i];
    if (byte < 32 && byte != '\r' && byte != '\n' && byte != '\t') {
      bytes_to_hex_list(out, bytes, hex_list_length(length), "-", false);
      return out;
    }
  }
  return bytes_to_text(out, bytes, length, found_zero, true, true, true);
}

std::string& bytes_to_escaped_text(std::string& out, const u8* bytes, u32 length, u8& found_zero, bool hex) {
  out.clear();
  found_zero = 0;
  if (bytes == nullptr || length == 0) return out;
  const bool terminated = length == no_length;
  if (terminated) {
    const size_t text_length = std::strlen(reinterpret_cast<const char*>(bytes));
    if (text_length == 0) return out;
    const size_t wanted = bytes[0] <= 8 ? bytes[0] : 6;
    length = static_cast<u32>(std::min(wanted, text_length));
    hex = true;
  } else if (length == guid_bytes) {
    return out = guid_to_string(guid_t(bytes));
  }
  for (u32 i = 0; i < length; ++i) {
    const u8 byte = bytes[i];
    if (byte == 0) found_zero = 1;
    if (hex) {
      if (i > 0) out += ' ';
      append_hex_byte(out, byte);
    } else if (byte < 32) {
      out += "\\x";
      append_hex_byte(out, byte);
    } else {
      out += static_cast<char>(byte);
    }
  }
  if (terminated) out += "...";
  return out;
}

// ---- Many rows per statement ----

std::string multi_row_insert_statement(const std::string& quoted_table, const std::vector<std::string>& quoted_columns,
                                       size_t rows) {
  std::string sql = "insert into " + quoted_table + " (";
  std::string values = "(";
  for (size_t i = 0; i < quoted_columns.size(); ++i) {
    if (i > 0) {
      sql += ", ";
      values += ',';
    }
    sql += quoted_columns[i];
    values += '?';
  }
  values += ')';
  sql += ") values";
  for (size_t row = 0; row < rows; ++row) {
    if (row > 0) sql += ',';
    sql += values;
  }
  sql += ';';
  return sql;
}

size_t rows_per_insert(size_t row_parameters) {
  constexpr size_t most_rows = 32;
  constexpr size_t most_parameters = 999;
  if (row_parameters == 0) return 1;
  return std::max<size_t>(1, std::min(most_rows, most_parameters / row_parameters));
}

bool sql_grouped_insert::prepare(sqlite3* db, const std::string& single_sql, const std::string& group_sql,
                                 size_t group_rows, size_t row_parameters, size_t row_count) {
  error_.clear();
  grouped_ = false;
  group_rows_ = group_rows == 0 ? 1 : group_rows;
  row_parameters_ = row_parameters;
  group_.finalize();
  if (!single_.prepare(db, single_sql)) {
    error_ = single_.error();
    return false;
  }
  if (group_sql.empty() || group_rows_ < 2 || row_count < group_rows_) return true;
  if (!group_.prepare(db, group_sql)) {
    error_ = group_.error();
    return false;
  }
  grouped_ = true;
  return true;
}

bool sql_grouped_insert::prepare_table(sqlite3* db, const std::string& quoted_table,
                                       const std::vector<std::string>& quoted_columns, size_t row_count) {
  const size_t group_rows = rows_per_insert(quoted_columns.size());
  const bool grouped = group_rows > 1 && row_count >= group_rows;
  return prepare(db, multi_row_insert_statement(quoted_table, quoted_columns, 1),
                 grouped ? multi_row_insert_statement(quoted_table, quoted_columns, group_rows) : std::string(),
                 group_rows, quoted_columns.size(), row_count);
}
