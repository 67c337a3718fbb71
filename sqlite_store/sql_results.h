// Running SQL on an open store connection and turning the answers into text: statement lists
// through sqlite3_exec with a row callback (sql_transaction), prepared selects that render every
// column by its storage class, prepared statements for binding values, explicit write
// transactions, identifier quoting and readers of typed values from result text. Every library
// call goes through sqlite_functions; nothing prints unless given a stream; failures come back
// as false (or 0).
#pragma once

#include <sqlite3.h>

#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "framework/text/qz_guid.h"
#include "framework/text/qz_types.h"

class sqlite_wrapper;

// The collected outcome of one sql_transaction call.
class sql_results {
 public:
  sql_results();
  ~sql_results();
  sql_results(const sql_results&) = delete;
  sql_results& operator=(const sql_results&) = delete;

  // Empties every list and the message text; print_target and context null, both flags 0.
  void clear();

  // The store's row callback (context = the sql_results). Without print_target: names are taken
  // from the first row, each row is appended to rows (an SQL NULL as empty text). With it: the
  // names once, then each row, every line joined by " | " (a NULL writes nothing). Returns 0.
  static int sql_results_cb(void* context, int count, char** values, char** names);

  std::vector<u32> types;  // per-column type code for print_sql_results; filled only by callers
  std::vector<std::string> names;
  std::vector<std::vector<std::string>> rows;
  std::vector<u64> rowids;  // last insert rowid after each statement that succeeded
  std::ostringstream messages;  // error texts of the failed statement
  std::ostream* print_target;
  void* context;  // read by callers' own callbacks
  u8 header_printed;
  u8 already_exists;  // the failure's text contained "already exists"
};

// Runs the statements in order through sqlite3_exec with callback (may be null) and results as
// its context. Stops at the first failure (earlier statements stay done) and writes its text to
// results->messages: the text alone when it contains "already exists" (already_exists = 1),
// else "Cmd Used: <statement>\n Error: <text>\n". False for a null or closed connection, no
// statements, a null results or any failure; true when all ran.
bool sql_transaction(sql_results* results, sqlite_wrapper* connection,
                     const std::vector<std::string>& statements, sqlite3_callback callback);

// ---- Prepared selects ----
// Each prepares sql, steps through all rows and renders every column as text: integers in
// decimal, texts and blobs as their bytes (zero bytes kept); floats and NULLs as noted. A
// prepare or step error gives the failure result; rows rendered before a step error stay.

// Per-row functions of the select family; their results are not read.
using sql_row_function = int (*)(void* context, std::vector<std::string>& values, u8 flag, void* first,
                                 void* second);
using sql_named_row_function = int (*)(void* context, std::vector<std::string>& values,
                                       std::vector<std::string>& names, u8 flag, void* first, void* second);

// Replaces rows and names (the names of the first row); floats as the library's text, NULL as
// empty text. 1 when the query ran to its end; 0 for a null handle, empty sql or an error.
int sql_select(std::vector<std::vector<std::string>>& rows, std::vector<std::string>& names, sqlite3* db,
               const std::string& sql);
// Replaces rows; floats as %g text (2.5, 3.14159, 1e-05), NULL as "0".
bool sql_select_rows(std::vector<std::vector<std::string>>& rows, sqlite3* db, const std::string& sql);
// Calls row_fn (when set) with each row's values, rendered as sql_select_rows renders them.
bool sql_select_each(void* context, u8 flag, void* first, void* second, sqlite3* db, const std::string& sql,
                     sql_row_function row_fn);
// Calls row_fn (when set) with each row's values and the column names; floats as the library's
// text when float_as_text is set, else %g text; NULL as empty text.
bool sql_select_each_named(void* context, u8 flag, void* first, void* second, sqlite3* db,
                           const std::string& sql, sql_named_row_function row_fn, u8 float_as_text);

// rows = the values of the requested columns of table ("*" alone as the first column asks for
// all); columns becomes the result's column names. True when at least one row came back.
bool select_columns(sqlite_wrapper* connection, std::vector<std::vector<std::string>>& rows,
                    std::vector<std::string>& columns, const std::string& table);

// Replaces out's text with the query that lists the create statements of all tables; 1.
int build_schema_query(std::ostringstream& out);

// Writes the names, each followed by " | ", two line ends, then each row's values (as many as
// there are names) each followed by " | ", a column of type code 3 as hex bytes.
void print_sql_results(const sql_results& results, std::ostream& out);

// Row callback: writes each non-null value and a line end to the std::ostream context; 0.
int print_values_cb(void* context, int count, char** values, char** names);
// Row callback: appends each value (NULL as empty text) to the std::vector<std::string>
// context; 0.
int collect_values_cb(void* context, int count, char** values, char** names);

// ---- Statements with bound values ----

// Runs one SQL text (several statements allowed) without a row callback. False on failure,
// with the library's text in *error when error is set.
bool sql_exec(sqlite3* db, const char* sql, std::string* error = nullptr);

// A text the library may read without copying until its statement has stepped. Only a named
// string converts to it: a temporary or a literal would be gone before the step (bind_text_copy
// takes those).
class sql_static_text {
 public:
  sql_static_text(const std::string& text) : text_(text) {}  // implicit: a named string passes as is
  sql_static_text(std::string&&) = delete;
  sql_static_text(const char*) = delete;
  // A part of a text whose owner keeps it alive and unchanged until the step.
  static sql_static_text kept_view(std::string_view text) { return sql_static_text(text); }
  std::string_view text() const { return text_; }

 private:
  explicit sql_static_text(std::string_view text) : text_(text) {}
  std::string_view text_;
};

// One prepared statement, finalized when the object is destroyed or prepared again.
class sql_statement {
 public:
  sql_statement() = default;
  ~sql_statement();
  sql_statement(const sql_statement&) = delete;
  sql_statement& operator=(const sql_statement&) = delete;

  // Prepares sql on db; false (with error() set) when it cannot be prepared.
  bool prepare(sqlite3* db, const std::string& sql);

  // Binds parameter index (from 1); false when the statement refuses it.
  bool bind_int64(int index, i64 value);
  // Binds without copying: text must stay alive and unchanged until the statement has stepped.
  bool bind_text(int index, sql_static_text text);
  // Binds a copy of text; for values that do not outlive the call.
  bool bind_text_copy(int index, std::string_view text);
  // Binds NULL.
  bool bind_null(int index);

  // One step: SQLITE_ROW, SQLITE_DONE, or an error code (error() then holds the text).
  int step();
  // Steps a statement that returns no rows and makes it ready for the next bindings (bindings
  // cleared, reset); false when the step did not end in SQLITE_DONE.
  bool run();
  // run for a statement whose every parameter is bound anew before its next step: the
  // bindings are left as they are (clearing them costs a pass over all of them).
  bool run_rebound();
  bool reset();
  bool clear_bindings();
  void finalize();

  sqlite3_stmt* handle() const { return statement_; }
  // Text of the last failure of this statement.
  const std::string& error() const { return error_; }

 private:
  bool check(int rc);
  sqlite3* db_ = nullptr;
  sqlite3_stmt* statement_ = nullptr;
  std::string error_;
};

// An explicit transaction: "BEGIN TRANSACTION" at begin, "END TRANSACTION" at commit; rolled
// back when it is still open at destruction or when rollback is called, so a batch that fails
// part-way leaves nothing of itself behind.
class sql_write_transaction {
 public:
  sql_write_transaction() = default;
  ~sql_write_transaction();
  sql_write_transaction(const sql_write_transaction&) = delete;
  sql_write_transaction& operator=(const sql_write_transaction&) = delete;

  // immediate ("BEGIN IMMEDIATE TRANSACTION") takes the write lock at once, waiting for other
  // connections as the busy timeout allows, so a writer never meets another one half-way
  // through its batch, where the library would refuse it without waiting.
  bool begin(sqlite3* db, bool immediate = false);
  // False (and rolled back) when the commit fails.
  bool commit();
  void rollback();
  bool active() const { return db_ != nullptr; }
  const std::string& error() const { return error_; }

 private:
  sqlite3* db_ = nullptr;
  std::string error_;
};

// Batches written one after another inside one transaction that commits about once per
// commit_interval_ms: each batch is a savepoint, kept whole or leaving nothing of itself, and a
// long run of batches pays a few commits (each a sync) instead of one per batch. A crash loses
// at most the batches since the last commit, never a part of one. The connection sees every
// kept batch at once; another connection sees them after the next commit.
class sql_batch_series {
 public:
  static constexpr long commit_interval_ms = 1000;

  // Runs write() (returning bool) as one batch of the series, beginning the series' transaction
  // when none is open. True when write succeeded and the batch was kept; otherwise the batch is
  // rolled back (the batches before it stay in the series) and false. An exception out of
  // write() rolls the batch back too, then goes on.
  template <class batch_writer>
  bool write(sqlite3* db, batch_writer&& write) {
    if (!begin_batch(db)) return false;
    bool written = false;
    try {
      written = write();
    } catch (...) {
      drop_batch();
      throw;
    }
    if (written && keep_batch()) return true;
    drop_batch();
    return false;
  }
  // True when the open series began commit_interval_ms or more ago.
  bool commit_due() const;
  // Commits the open series; true when none is open. False when the commit fails: the series'
  // batches are then gone.
  bool commit();
  bool active() const { return transaction_.active(); }

 private:
  bool begin_batch(sqlite3* db);
  bool keep_batch();
  void drop_batch();
  sql_write_transaction transaction_;
  sqlite3* db_ = nullptr;
  i64 started_ms_ = 0;  // steady clock when the open series began
};

// ---- Many rows per statement ----
// A step costs the library far more than a bound value: rows go into a table group_rows() at a
// time through one statement of that many value lists, and only the rows that do not fill a
// group through the one-row statement. The rows, their order and their rowids are the same as
// row by row.

// "insert into " table " (" columns joined by ", " ") values" and rows lists of one "?" per
// column ("(?,?)" joined by ","), then ";". table and columns are used as given (quoted).
std::string multi_row_insert_statement(const std::string& quoted_table, const std::vector<std::string>& quoted_columns,
                                       size_t rows);
// Rows per statement for rows of row_parameters values: up to 32, and never more parameters
// than the 999 that every build of the library accepts; at least 1.
size_t rows_per_insert(size_t row_parameters);

// The two statements of one table's batch and the loop that binds and runs them.
class sql_grouped_insert {
 public:
  // Prepares single_sql (one row of row_parameters values) and, when group_sql is not empty,
  // group_rows > 1 and at least group_rows rows will come, group_sql (group_rows such rows).
  // False (error() set) when a statement cannot be prepared.
  bool prepare(sqlite3* db, const std::string& single_sql, const std::string& group_sql, size_t group_rows,
               size_t row_parameters, size_t row_count);
  // prepare with the statements multi_row_insert_statement gives for the table and its
  // columns, rows_per_insert rows to a group.
  bool prepare_table(sqlite3* db, const std::string& quoted_table, const std::vector<std::string>& quoted_columns,
                     size_t row_count);
  // Rows of one statement: group_rows when the group statement is prepared, else 1. A caller
  // keeps this many slots of texts made for rows.
  size_t group_rows() const { return grouped_ ? group_rows_ : 1; }
  // Binds and runs rows [0, row_count): bind(statement, row, slot, first_parameter) binds one
  // row from first_parameter on and returns false to refuse it; slot (below group_rows()) is the
  // row's place in its statement, so that texts made for it outlive the step. False at the
  // first refused binding or failed step; the rows before it are inserted. A bind that sets
  // every parameter of its row (binds_every_parameter) spares the clearing of the bindings
  // after each step; otherwise a parameter it leaves unbound is NULL.
  template <class binder>
  bool insert_all(size_t row_count, binder&& bind, bool binds_every_parameter = false) {
    for (size_t next = 0; next < row_count;) {
      const bool as_group = grouped_ && row_count - next >= group_rows_;
      sql_statement& statement = as_group ? group_ : single_;
      const size_t count = as_group ? group_rows_ : 1;
      for (size_t slot = 0; slot < count; ++slot) {
        if (!bind(statement, next + slot, slot, static_cast<int>(slot * row_parameters_) + 1)) {
          statement.clear_bindings();
          statement.reset();
          return false;
        }
      }
      if (!(binds_every_parameter ? statement.run_rebound() : statement.run())) {
        statement.clear_bindings();
        error_ = statement.error();
        return false;
      }
      next += count;
    }
    return true;
  }
  // Text of the last failure.
  const std::string& error() const { return error_; }

 private:
  sql_statement single_;
  sql_statement group_;
  bool grouped_ = false;
  size_t group_rows_ = 1;
  size_t row_parameters_ = 0;
  std::string error_;
};

// ---- Identifiers in SQL text ----
// Names that come from input are never spliced bare: these give them their quotes.

// "[" name "]" with every "]" of name removed.
std::string quote_brackets(std::string_view name);
// "`" name "`" with every "`" of name doubled.
std::string quote_backticks(std::string_view name);

// ---- Value readers ----
// Each sets its output from the input and returns the output; a missing (null) or empty input
// gives the output's zero value.

std::string& copy_text(std::string& out, const std::string& text);
std::string& text_from_cstr(std::string& out, const char* text);
std::vector<u8>& text_to_bytes(std::vector<u8>& out, const std::string& text);
std::vector<u8>& cstr_to_bytes(std::vector<u8>& out, const char* text);
// The first 16 bytes of a text of 16 or more bytes as stored GUID bytes; a shorter text (such
// as "null") gives the zero GUID.
guid_t& guid_from_text(guid_t& out, const std::string& text);
guid_t& guid_from_guid(guid_t& out, const guid_t* guid);
// strtod of the text.
double& double_from_text(double& out, const std::string& text);
// The number readers' rules (decimal, "0x" hex, ...); text that is not a number gives 0.
u64& u64_from_text(u64& out, const std::string& text);
u64& u64_from_cstr(u64& out, const char* text);
i64& long_from_cstr(i64& out, const char* text);
u32& u32_from_text(u32& out, const std::string& text);
u32& u32_from_cstr(u32& out, const char* text);
u8& u8_from_cstr(u8& out, const char* text);  // low byte of parse_number

// With utf16: a buffer of 3+ bytes whose first byte is non-zero and second zero is decoded as
// UTF-16 LE; any other buffer is copied up to length or the first zero byte (also without utf16).
std::string& text_from_buffer(std::string& out, const u8* bytes, u32 length, bool utf16);
// Copies up to length bytes: stop_at_zero ends at a zero byte (found_zero = 1); drop_line_breaks
// leaves CR and LF out; drop_tabs leaves TAB out and the blanks that start a line after a break.
std::string& bytes_to_text(std::string& out, const u8* bytes, u32 length, u8& found_zero, bool drop_line_breaks,
                           bool drop_tabs, bool stop_at_zero);
// For showing a stored value: 16 bytes as GUID text; otherwise the text up to a zero byte
// (found_zero = 1) with line breaks, tabs and the blanks after a break left out, or, when it
// holds any other byte below 32, all length bytes as hex joined by "-".
std::string& bytes_to_display_text(std::string& out, const u8* bytes, u32 length, u8& found_zero);
// For logs: 16 bytes as GUID text; otherwise every byte, zero bytes included (found_zero = 1),
// as two hex digits joined by blanks when hex is set, else with bytes below 32 as "\x" and two
// hex digits. A length of 0xFFFFFFFF means a zero-terminated text, of which only the first
// bytes (the first byte's value when at most 8, else 6, never past the end) are shown in hex,
// followed by "...".
std::string& bytes_to_escaped_text(std::string& out, const u8* bytes, u32 length, u8& found_zero, bool hex);
