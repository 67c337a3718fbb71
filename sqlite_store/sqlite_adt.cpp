#include "sqlite_store/sqlite_adt.h"

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/io/qz_host.h"
#include "framework/text/qz_join.h"
#include "framework/text/qz_number_parse.h"
#include "framework/time/qz_clock.h"
#include "sqlite_store/sql_results.h"

namespace {

// The columns of `metadata` in table order; the integer ones are bound as 64-bit integers.
constexpr const char* metadata_columns[sqlite_metadata_row::column_count] = {
    "runtime",   "chunk",      "parent",     "lic_num",       "lic_name",  "cmdline",
    "gen_hdrs",  "col_hdrs",   "col_types",  "extra_args",    "host",      "user",
    "file",      "file_other", "output_option", "separator",  "notes",     "toolname",
    "artifact_type", "data_tbl_name", "row_data_start", "row_data_end"};

bool is_integer_column(int column) { return column <= 3 || column == 14 || column >= 20; }

// One column of a run record: exactly one of the two pointers is set.
struct metadata_field {
  u64* number = nullptr;
  std::string* text = nullptr;
};

metadata_field field_at(sqlite_metadata_row& row, int column) {
  metadata_field f;
  switch (column) {
    case 0: f.number = &row.runtime; break;
    case 1: f.number = &row.chunk; break;
    case 2: f.number = &row.parent; break;
    case 3: f.number = &row.lic_num; break;
    case 4: f.text = &row.lic_name; break;
    case 5: f.text = &row.cmdline; break;
    case 6: f.text = &row.gen_hdrs; break;
    case 7: f.text = &row.col_hdrs; break;
    case 8: f.text = &row.col_types; break;
    case 9: f.text = &row.extra_args; break;
    case 10: f.text = &row.host; break;
    case 11: f.text = &row.user; break;
    case 12: f.text = &row.file; break;
    case 13: f.text = &row.file_other; break;
    case 14: f.number = &row.output_option; break;
    case 15: f.text = &row.separator; break;
    case 16: f.text = &row.notes; break;
    case 17: f.text = &row.toolname; break;
    case 18: f.text = &row.artifact_type; break;
    case 19: f.text = &row.data_tbl_name; break;
    case 20: f.number = &row.row_data_start; break;
    default: f.number = &row.row_data_end; break;
  }
  return f;
}

// Binds columns [first_column, end_column) of row to the parameters from first_parameter on.
// The texts are bound without copying: row outlives the statement's step.
bool bind_metadata_columns(sql_statement& statement, int first_parameter, sqlite_metadata_row& row, int first_column,
                           int end_column) {
  for (int column = first_column; column < end_column; ++column) {
    const metadata_field f = field_at(row, column);
    const int parameter = first_parameter + column - first_column;
    const bool bound = f.number != nullptr ? statement.bind_int64(parameter, static_cast<i64>(*f.number))
                                           : statement.bind_text(parameter, *f.text);
    if (!bound) return false;
  }
  return true;
}

// The first column of the first row as u64 (text read by the number rules, NULL as 0); found
// tells whether a row came back. The statement must be prepared and bound.
u64 first_u64(sql_statement& statement, bool& found) {
  found = statement.step() == SQLITE_ROW;
  if (!found || sqlite_functions.column_text == nullptr) return 0;
  const unsigned char* text = sqlite_functions.column_text(statement.handle(), 0);
  u64 value = 0;
  if (text != nullptr) parse_u64(reinterpret_cast<const char*>(text), value);
  return value;
}

bool is_constraint_failure(int rc) { return (rc & 0xff) == SQLITE_CONSTRAINT; }

// ASCII letters folded to lower case, as the library's NOCASE compares names.
std::string ascii_folded(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

// The one query of both ref listings.
std::string ref_listing_query(const std::string& ref_table) {
  return "select `table_name`, `last_rowid` from " + quote_backticks(ref_table) + ";";
}

}  // namespace

u64 sqlite_now() { return current_filetime(); }

// ---- sqlite_metadata_row ----

sqlite_metadata_row::sqlite_metadata_row() { clear(); }

void sqlite_metadata_row::clear() {
  runtime = sqlite_now();
  chunk = 0;
  parent = 0;
  lic_num = 0;
  for (int column = 0; column < column_count; ++column) {
    const metadata_field f = field_at(*this, column);
    if (f.text != nullptr) f.text->clear();
  }
  number_columns = 1;
  keep_long_names = 0;
  output_option = output_none;
  row_data_start = 0;
  row_data_end = 0;
  column_names.clear();
}

void sqlite_metadata_row::set_from_tool(cmd_params& tool) {
  clear();
  cmdline = tool.arg_line;
  host = tool.host_name.empty() ? get_host_name() : tool.host_name;
  user = tool.user_name;
  if (tool.kind_csv) {
    output_option = output_csv;
  } else if (tool.kind_csvl2t) {
    output_option = output_csvl2t;
  } else if (tool.kind_bodyfile) {
    output_option = output_bodyfile;
  } else if (tool.kind_xml) {
    output_option = output_xml;
  }
  separator = tool.separator_text;
  toolname = tool.program_name;
  artifact_type = tool.artifact_type_text;
}

void sqlite_metadata_row::set_from_table_layout(u64* runtime_out, cmd_params& tool, const std::string& table_name,
                                                const std::vector<std::pair<std::string, std::string>>& columns,
                                                u64 previous_end) {
  set_from_tool(tool);
  row_data_start = previous_end + 1;
  os_version_info host_info;
  host_info.get(get_exe_path());
  if (gen_hdrs.empty()) gen_hdrs = "not used";
  std::vector<std::string> names;
  std::vector<std::string> types;
  for (const auto& [name, type] : columns) {
    names.push_back(name);
    types.push_back(type);
  }
  if (col_hdrs.empty()) col_hdrs = join_strings(names, tool.separator_text, false);
  if (col_types.empty()) col_types = join_strings(types, tool.separator_text, false);
  if (host.empty()) host = host_info.nodename.empty() ? get_host_name() : host_info.nodename;
  if (file.empty()) {
    if (!tool.out_path.empty()) {
      file = tool.out_path + " [output]";
    } else if (!tool.outdir_path.empty()) {
      file = tool.outdir_path + " [output]";
    } else if (!tool.enumdir_path.empty()) {
      file = tool.enumdir_path + " [folder analyzed]";
    }
  }
  if (file_other.empty() && tool.compress) file_other = "gzip requested";
  if (notes.empty()) notes = host_info.version;
  if (data_tbl_name.empty()) data_tbl_name = table_name;
  if (runtime_out != nullptr) *runtime_out = runtime;
}

bool sqlite_metadata_row::set_from_columns(const std::vector<std::string>& names, int count, char** values) {
  clear();
  if (count != column_count || names.size() != static_cast<size_t>(count) || values == nullptr) return false;
  for (int column = 0; column < column_count; ++column) {
    const metadata_field f = field_at(*this, column);
    const char* value = values[column];
    if (f.number != nullptr) {
      *f.number = 0;
      if (value != nullptr) parse_u64(value, *f.number);
    } else {
      f.text->assign(value != nullptr ? value : "");
    }
  }
  return true;
}

bool sqlite_metadata_row::set_from_strings(const std::vector<std::string>& values, bool keep) {
  if (!keep) clear();
  if (values.size() != static_cast<size_t>(column_count)) return false;
  for (int column = 0; column < column_count; ++column) {
    const metadata_field f = field_at(*this, column);
    if (f.number != nullptr) {
      parse_u64_string(values[static_cast<size_t>(column)], *f.number);
    } else {
      *f.text = values[static_cast<size_t>(column)];
    }
  }
  return true;
}

// ---- sqlite3_adt ----

sqlite3_adt::sqlite3_adt() { init(); }

sqlite3_adt::~sqlite3_adt() = default;

void sqlite3_adt::init() {
  // Forgetting an open handle would leak it and leave the shared entry table counted as in use.
  if (db != nullptr) close_db();
  db_open = 0;
  read_only = 0;
  db = nullptr;
  db_path.clear();
  runtime = 0;
  metadata_table = "metadata";
  ref_table = "ref";
  ref_ready = 0;
  metadata_ready = 0;
  index_ = record_index{};
}

bool sqlite3_adt::open_db(u64* runtime_unused, const std::string& db_file, const std::string& options) {
  index_ = record_index{};
  return sqlite_wrapper::open_db(runtime_unused, db_file, options);
}

bool sqlite3_adt::open_db_readonly(const std::string& db_file, const std::string& options) {
  index_ = record_index{};
  return sqlite_wrapper::open_db_readonly(db_file, options);
}

i64 sqlite3_adt::known_record(u64 run) {
  if (!db_open || index_.record_rowid == 0 || index_.record_runtime != run) return 0;
  sql_statement select;
  bool found = false;
  // A rolled-back batch takes its record with it, and the rowid may be given again.
  if (select.prepare(db, "select `runtime` from " + quote_backticks(metadata_table) + " where rowid=?;") &&
      select.bind_int64(1, index_.record_rowid) && first_u64(select, found) == run && found) {
    return index_.record_rowid;
  }
  index_.record_rowid = 0;
  return 0;
}

void sqlite3_adt::forget_what_others_changed() {
  sql_statement select;
  bool found = false;
  // The version moves only when another connection commits: this one's own writes keep it.
  const u64 version = select.prepare(db, "PRAGMA data_version;") ? first_u64(select, found) : 0;
  if (found && index_.version_known && version == index_.data_version) return;
  const i64 record_rowid = index_.record_rowid;
  const u64 record_runtime = index_.record_runtime;
  index_ = record_index{};
  // The run record is checked by its rowid wherever it is used.
  index_.record_rowid = record_rowid;
  index_.record_runtime = record_runtime;
  index_.version_known = found;
  index_.data_version = version;
}

bool sqlite3_adt::later_than_every_record(u64 run) {
  forget_what_others_changed();
  if (!index_.ceiling_known) {
    sql_statement select;
    if (!select.prepare(db, "select max(`runtime`), min(`runtime`) from " + quote_backticks(metadata_table) + ";") ||
        select.step() != SQLITE_ROW || sqlite_functions.column_text == nullptr) {
      return false;
    }
    const unsigned char* latest = sqlite_functions.column_text(select.handle(), 0);
    const unsigned char* earliest = sqlite_functions.column_text(select.handle(), 1);
    u64 ceiling = 0;
    // A runtime stored as a negative number or as text is beyond what the ceiling can say.
    if (latest != nullptr &&
        (!parse_u64(reinterpret_cast<const char*>(latest), ceiling) || earliest == nullptr || *earliest == '-')) {
      ceiling = ~u64{0};
    }
    index_.runtime_ceiling = ceiling;
    index_.ceiling_known = true;
  }
  return run > index_.runtime_ceiling;
}

void sqlite3_adt::note_runtime(u64 run) {
  if (index_.ceiling_known && run > index_.runtime_ceiling) index_.runtime_ceiling = run;
}

bool sqlite3_adt::ref_may_hold_folded(const std::string& table) {
  forget_what_others_changed();
  if (!index_.ref_names_known) {
    sql_statement select;
    if (!select.prepare(db, "select `table_name` from " + quote_backticks(ref_table) + ";") ||
        sqlite_functions.column_text == nullptr) {
      return true;
    }
    int rc = SQLITE_ROW;
    while ((rc = select.step()) == SQLITE_ROW) {
      const unsigned char* name = sqlite_functions.column_text(select.handle(), 0);
      if (name != nullptr) index_.ref_folded_names.insert(ascii_folded(reinterpret_cast<const char*>(name)));
    }
    if (rc != SQLITE_DONE) {
      index_.ref_folded_names.clear();
      return true;
    }
    index_.ref_names_known = true;
  }
  return index_.ref_folded_names.count(ascii_folded(table)) != 0;
}

bool sqlite3_adt::update_record_column(u64 run, const char* column, u64 value) {
  if (!db_open) return false;
  const i64 rowid = known_record(run);
  sql_statement update;
  return update.prepare(db, "update " + quote_backticks(metadata_table) + " set " + quote_backticks(column) +
                                "=? where " + (rowid != 0 ? "rowid" : "runtime") + "=?;") &&
         update.bind_int64(1, static_cast<i64>(value)) &&
         update.bind_int64(2, rowid != 0 ? rowid : static_cast<i64>(run)) && update.run();
}

bool sqlite3_adt::create_ref_table() {
  if (!db_open) return false;
  sql_results results;
  const std::string create = "create table " + quote_backticks(ref_table) +
                             " (`table_name` varchar primary key  not null, `last_rowid` integer, "
                             "`last_update` integer);";
  return sql_transaction(&results, this, {create}, &sql_results::sql_results_cb) || results.already_exists;
}

bool sqlite3_adt::insert_ref_row(sqlite_ref_row& row) {
  if (!db_open) return false;
  sql_statement insert;
  if (!insert.prepare(db, "insert into " + quote_backticks(ref_table) +
                              " (`table_name`,`last_rowid`,`last_update`) values(?,?,?);")) {
    return false;
  }
  sql_write_transaction transaction;
  const bool own_transaction = transaction.begin(db);
  row.last_update = sqlite_now();
  if (!insert.bind_text(1, row.table_name) || !insert.bind_int64(2, static_cast<i64>(row.last_rowid)) ||
      !insert.bind_int64(3, static_cast<i64>(row.last_update))) {
    return false;
  }
  const int rc = insert.step();
  insert.finalize();
  // A name already registered keeps its row: the register is whole either way.
  if (rc != SQLITE_DONE && !is_constraint_failure(rc)) return false;
  if (index_.ref_names_known) index_.ref_folded_names.insert(ascii_folded(row.table_name));
  return !own_transaction || transaction.commit();
}

bool sqlite3_adt::update_ref_row(const std::string& table, u64 last_rowid) {
  sql_statement update;
  return update_ref_row(update, table, last_rowid);
}

bool sqlite3_adt::update_ref_row(sql_statement& update, const std::string& table, u64 last_rowid) {
  if (!db_open) return false;
  if (last_rowid == 0 && sqlite_functions.last_insert_rowid != nullptr) {
    last_rowid = static_cast<u64>(sqlite_functions.last_insert_rowid(db));
  }
  if (update.handle() == nullptr &&
      !update.prepare(db, "update " + quote_backticks(ref_table) +
                              " set `last_rowid`=?, `last_update`=? where table_name=?;")) {
    return false;
  }
  return update.bind_int64(1, static_cast<i64>(last_rowid)) &&
         update.bind_int64(2, static_cast<i64>(sqlite_now())) && update.bind_text(3, table) && update.run();
}

bool sqlite3_adt::find_last_rowid(u64* out, const std::string& table) {
  u64 scratch = 0;
  if (out == nullptr) out = &scratch;
  *out = 0;
  if (!db_open) return false;
  sql_statement select;
  if (!select.prepare(db, "select `last_rowid` from " + quote_backticks(ref_table) + " where table_name=?;") ||
      !select.bind_text(1, table)) {
    return false;
  }
  bool found = false;
  *out = first_u64(select, found);
  return found;
}

bool sqlite3_adt::table_in_ref(const std::string& table) { return find_last_rowid(nullptr, table); }

std::string sqlite3_adt::stored_table_name(const std::string& table) {
  // The name itself, through the index of `ref`; a search ignoring case reads every row, and
  // runs only where a name of another case may be there.
  if (!db_open || table_in_ref(table) || !ref_may_hold_folded(table)) return table;
  sql_statement select;
  if (!select.prepare(db, "select `table_name` from " + quote_backticks(ref_table) +
                              " where table_name=? collate nocase order by table_name<>? limit 1;") ||
      !select.bind_text(1, table) || !select.bind_text(2, table) || select.step() != SQLITE_ROW ||
      sqlite_functions.column_text == nullptr) {
    return table;
  }
  const unsigned char* text = sqlite_functions.column_text(select.handle(), 0);
  return text != nullptr ? std::string(reinterpret_cast<const char*>(text)) : table;
}

u64 sqlite3_adt::get_last_rowid(const std::string& table) {
  u64 last = 0;
  find_last_rowid(&last, table);
  return last;
}

bool sqlite3_adt::get_ref_records(std::map<std::string, u64>& map) {
  map.clear();
  if (!db_open) return false;
  sql_results results;
  if (!sql_transaction(&results, this, {ref_listing_query(ref_table)}, &sql_results::sql_results_cb)) return false;
  for (const std::vector<std::string>& row : results.rows) {
    if (row.size() < 2) continue;
    u64 last = 0;
    parse_u64_string(row[1], last);
    map.emplace(row[0], last);
  }
  return !map.empty();
}

bool sqlite3_adt::get_ref_table_names(std::vector<std::string>& list) {
  list.clear();
  if (!db_open) return false;
  sql_results results;
  if (!sql_transaction(&results, this, {ref_listing_query(ref_table)}, &sql_results::sql_results_cb)) return false;
  list.reserve(results.rows.size());
  for (const std::vector<std::string>& row : results.rows) list.push_back(row.empty() ? std::string() : row[0]);
  return !list.empty();
}

bool sqlite3_adt::create_metadata_table() {
  if (!db_open) return false;
  std::string create = "create table " + quote_backticks(metadata_table) + " (";
  for (int column = 0; column < sqlite_metadata_row::column_count; ++column) {
    if (column > 0) create += ", ";
    create += quote_backticks(metadata_columns[column]);
    create += is_integer_column(column) ? " integer" : " varchar";
  }
  create += ");";
  sql_results results;
  if (!sql_transaction(&results, this, {create}, &sql_results::sql_results_cb)) return results.already_exists;
  sqlite_ref_row register_row;
  register_row.table_name = metadata_table;
  return insert_ref_row(register_row) || update_ref_row(metadata_table, 0);
}

bool sqlite3_adt::insert_metadata_row(sqlite_metadata_row& row) {
  if (!db_open) return false;
  std::string names;
  std::string parameters;
  for (int column = 0; column < sqlite_metadata_row::column_count; ++column) {
    if (column > 0) {
      names += ',';
      parameters += ',';
    }
    names += quote_backticks(metadata_columns[column]);
    parameters += '?';
  }
  sql_statement insert;
  if (!insert.prepare(db, "insert into " + quote_backticks(metadata_table) + " (" + names + ") values(" +
                              parameters + ");")) {
    return false;
  }
  sql_write_transaction transaction;
  const bool own_transaction = transaction.begin(db);
  if (!bind_metadata_columns(insert, 1, row, 0, sqlite_metadata_row::column_count) ||
      insert.step() != SQLITE_DONE) {
    return false;
  }
  insert.finalize();
  if (sqlite_functions.last_insert_rowid != nullptr) {
    index_.record_rowid = sqlite_functions.last_insert_rowid(db);
    index_.record_runtime = row.runtime;
  }
  note_runtime(row.runtime);
  if (own_transaction && !transaction.commit()) return false;
  return update_ref_row(metadata_table, 0);
}

bool sqlite3_adt::update_metadata_row(u64 old_runtime, u64 new_runtime, sqlite_metadata_row& row) {
  if (!db_open) return false;
  // Every column but row_data_end; the record keeps the end it was given.
  constexpr int updated_columns = sqlite_metadata_row::column_count - 1;
  std::string sql = "update " + quote_backticks(metadata_table) + " set ";
  for (int column = 0; column < updated_columns; ++column) {
    if (column > 0) sql += ", ";
    sql += quote_backticks(metadata_columns[column]);
    sql += "=?";
  }
  const i64 rowid = known_record(old_runtime);
  sql += rowid != 0 ? " where rowid=?;" : " where runtime=?;";
  sql_statement update;
  if (!update.prepare(db, sql) || !update.bind_int64(1, static_cast<i64>(new_runtime)) ||
      !bind_metadata_columns(update, 2, row, 1, updated_columns) ||
      !update.bind_int64(updated_columns + 1, rowid != 0 ? rowid : static_cast<i64>(old_runtime)) || !update.run()) {
    return false;
  }
  if (rowid != 0) index_.record_runtime = new_runtime;
  note_runtime(new_runtime);
  return true;
}

bool sqlite3_adt::update_row_data_start(u64 run, u64 value) {
  return update_record_column(run, "row_data_start", value);
}

bool sqlite3_adt::update_row_data_end(u64 run, u64 value, bool keep_zero) {
  if (!db_open) return false;
  if (value == 0 && !keep_zero && sqlite_functions.last_insert_rowid != nullptr) {
    value = static_cast<u64>(sqlite_functions.last_insert_rowid(db));
  }
  return update_record_column(run, "row_data_end", value);
}

bool sqlite3_adt::update_row_data_end(sql_statement& update, u64 run, u64 value, bool keep_zero) {
  if (!db_open) return false;
  if (value == 0 && !keep_zero && sqlite_functions.last_insert_rowid != nullptr) {
    value = static_cast<u64>(sqlite_functions.last_insert_rowid(db));
  }
  if (update.handle() == nullptr &&
      !update.prepare(db, "update " + quote_backticks(metadata_table) + " set `row_data_end`=? where runtime=?;")) {
    return false;
  }
  return update.bind_int64(1, static_cast<i64>(value)) && update.bind_int64(2, static_cast<i64>(run)) &&
         update.run();
}

bool sqlite3_adt::runtime_exists(u64 run) {
  if (!db_open) return false;
  if (known_record(run) != 0) return true;
  if (later_than_every_record(run)) return false;
  sql_statement select;
  if (!select.prepare(db, "select `runtime` from " + quote_backticks(metadata_table) + " where runtime=?;") ||
      !select.bind_int64(1, static_cast<i64>(run))) {
    return false;
  }
  bool found = false;
  first_u64(select, found);
  return found;
}

u64 sqlite3_adt::get_row_data_end(u64 run) {
  if (!db_open) return 0;
  const i64 rowid = known_record(run);
  sql_statement select;
  if (!select.prepare(db, "select `row_data_end` from " + quote_backticks(metadata_table) + " where " +
                              (rowid != 0 ? "rowid" : "runtime") + "=?;") ||
      !select.bind_int64(1, rowid != 0 ? rowid : static_cast<i64>(run))) {
    return 0;
  }
  bool found = false;
  return first_u64(select, found);
}

bool sqlite3_adt::get_metadata_records(std::map<u64, sqlite_metadata_row>& map) {
  map.clear();
  if (!db_open) return false;
  sql_results results;
  results.context = &map;
  return sql_transaction(&results, this, {"select * from " + quote_backticks(metadata_table) + ";"},
                         &sqlite3_adt::sql_metadata_cb) &&
         !map.empty();
}

int sqlite3_adt::sql_metadata_cb(void* context, int count, char** values, char** names) {
  auto* results = static_cast<sql_results*>(context);
  if (results == nullptr) return 0;
  auto* map = static_cast<std::map<u64, sqlite_metadata_row>*>(results->context);
  if (map == nullptr) return 1;
  if (results->names.empty() && names != nullptr) {
    for (int column = 0; column < count; ++column) {
      results->names.emplace_back(names[column] != nullptr ? names[column] : "");
    }
  }
  sqlite_metadata_row row;
  if (!row.set_from_columns(results->names, count, values)) return 1;
  map->emplace(row.runtime, std::move(row));
  return 0;
}

u64 sqlite3_adt::get_max_rowid(const std::string& table) {
  if (!db_open) return 0;
  sql_results results;
  if (!sql_transaction(&results, this, {"select MAX(rowid) from " + quote_brackets(table) + ";"},
                       &sql_results::sql_results_cb) ||
      results.rows.empty() || results.rows[0].empty()) {
    return 0;
  }
  u64 value = 0;
  parse_u64_string(results.rows[0][0], value);
  return value;
}

bool sqlite3_adt::generic_sql_select(std::vector<std::string>& names, std::vector<std::vector<std::string>>& rows,
                                     const std::string& statement, cmd_params* params) {
  names.clear();
  rows.clear();
  if (!db_open || statement.empty()) return false;
  sql_results results;
  if (!sql_transaction(&results, this, {statement}, &sql_results::sql_results_cb)) {
    cmd_params::diag_printf(params, "sqlite3_adt::generic_sql_select: prob calling sql_transaction");
    debug_trace_stream_if_enabled(params, results.messages);
  }
  if (results.rows.empty()) {
    cmd_params::diag_printf(params, "sqlite3_adt::generic_sql_select: no rows returned");
    return false;
  }
  names = std::move(results.names);
  rows = std::move(results.rows);
  return true;
}

bool sqlite3_adt::start_run(u64* new_runtime, u64 previous, sqlite_metadata_row& row, bool chain) {
  if (!db_open || new_runtime == nullptr) return false;
  *new_runtime = sqlite_now();
  if (*new_runtime == previous) *new_runtime += 1;
  if (chain && previous != 0) {
    row.chunk = 1;
    if (row.parent == 0) row.parent = previous;
  } else {
    row.chunk = 0;
    row.parent = 0;
  }
  if (get_row_data_end(previous) != 0) {
    row.row_data_start = get_last_rowid(row.data_tbl_name) + 1;
    row.runtime = *new_runtime;
    runtime = *new_runtime;
    return insert_metadata_row(row);
  }
  row.chunk = 0;
  row.parent = 0;
  row.row_data_start = get_last_rowid(row.data_tbl_name) + 1;
  const bool renamed = update_metadata_row(previous, *new_runtime, row);
  runtime = *new_runtime;
  return renamed;
}

bool sql_exec_statements(void* context, sqlite_wrapper* connection, const std::vector<std::string>& statements,
                         sqlite3_callback callback) {
  if (connection == nullptr || connection->db == nullptr || statements.empty() || context == nullptr ||
      sqlite_functions.exec == nullptr) {
    return false;
  }
  for (const std::string& statement : statements) {
    char* error_text = nullptr;
    const int rc = sqlite_functions.exec(connection->db, statement.c_str(), callback, context, &error_text);
    sqlite3_free(error_text);
    if (rc != SQLITE_OK) return false;
  }
  return true;
}
