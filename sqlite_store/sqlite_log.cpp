#include "sqlite_store/sqlite_log.h"

#include <time.h>

#include <optional>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/io/uni_file_utils.h"
#include "framework/text/qz_path.h"
#include "framework/time/qz_time.h"
#include "framework/text/uni_unicode.h"
#include "sqlite_store/sql_results.h"

namespace {

// The columns of a file-listing table after `metaref`, in table order (inode and seqnum stand
// before copied), with the mask bit that adds each.
enum class listing_value {
  path, name, extension, is_dir, size, modified, created, metachanged, accessed, mode, inode, seqnum,
  copied, ntfsraw, offset, notes, source
};

struct listing_column_def {
  u64 bit;
  const char* name;
  const char* sql_type;
  listing_value value;
};

constexpr listing_column_def listing_columns[] = {
    {listing_column::path, "path", "varchar", listing_value::path},
    {listing_column::name, "name", "varchar", listing_value::name},
    {listing_column::extension, "extension", "varchar", listing_value::extension},
    {listing_column::is_dir, "is_dir", "integer", listing_value::is_dir},
    {listing_column::size, "size", "integer", listing_value::size},
    {listing_column::modified, "modified", "varchar", listing_value::modified},
    {listing_column::created, "created", "varchar", listing_value::created},
    {listing_column::metachanged, "metachanged", "varchar", listing_value::metachanged},
    {listing_column::accessed, "accessed", "varchar", listing_value::accessed},
    {listing_column::mode, "mode", "varchar", listing_value::mode},
    {listing_column::inode, "inode", "integer", listing_value::inode},
    {listing_column::seqnum, "seqnum", "integer", listing_value::seqnum},
    {listing_column::copied, "copied", "integer", listing_value::copied},
    {listing_column::ntfsraw, "ntfsraw", "integer", listing_value::ntfsraw},
    {listing_column::offset, "offset", "integer", listing_value::offset},
    {listing_column::notes, "notes", "varchar", listing_value::notes},
    {listing_column::source, "source", "integer", listing_value::source},
};

// The extra column names of bit 20 would come from a name set; this system defines none, so a
// mask asking for them cannot make a table.
bool reset_name_set(std::set<std::string>& names) {
  names.clear();
  return false;
}

void sleep_one_millisecond() {
  timespec pause{0, 1000000};
  nanosleep(&pause, nullptr);
}

// Texts made for one row of a batch; they live until the statement that binds them has stepped.
struct listing_row_texts {
  std::string times[4];
  std::string notes;
};

// The last time text of each time column: files listed together often share a time, and a
// conversion costs far more than a comparison.
struct time_text_cache {
  u64 raw[4] = {};
  u64 kind[4] = {};
  bool held[4] = {};
  std::string text[4];
  std::string date;
  std::string clock;
};

// "date time" of the raw value by spec; a value the time library rejects gives one blank.
void time_text(std::string& out, u64 raw, u64 kind, const time_format_spec& spec, std::string& date,
               std::string& clock) {
  // The text reads only the UTC view: the local one is not worth its zone lookup here.
  qz::time t;
  t.set_utc_by_kind(raw, static_cast<u32>(kind));
  date.clear();
  clock.clear();
  if (!t.valid || !format_time_text(date, clock, t, spec)) {
    out = " ";
    return;
  }
  out = date;
  out += ' ';
  out += clock;
}

// The attribute summary: the pairs read by the name list's length (a missing value is empty),
// consecutive pairs of one name forming one group of values joined by ";". Written as
// extra_attributes={"name":"values";...}, then ;notes={"text"} when text is not empty.
void attribute_summary(std::string& out, const log_record& record) {
  out = "extra_attributes={";
  const std::vector<std::string>& names = record.attr_names;
  const std::vector<std::string>& values = record.attr_values;
  for (size_t i = 0; i < names.size();) {
    if (i > 0) out += ';';
    out += '"';
    out += names[i];
    out += "\":\"";
    size_t j = i;
    for (; j < names.size() && names[j] == names[i]; ++j) {
      if (j > i) out += ';';
      if (j < values.size()) out += values[j];
    }
    out += '"';
    i = j;
  }
  out += '}';
  if (!record.text.empty()) {
    out += ";notes={\"";
    out += record.text;
    out += "\"}";
  }
}

// The create statement of schema for table: names between backticks with their SQL types.
std::string create_statement(const std::string& table, const schema_t& schema) {
  std::string sql = "create table " + quote_backticks(table) + " (";
  for (size_t i = 0; i < schema.columns.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += quote_backticks(schema.columns[i].first);
    sql += ' ';
    sql += schema.columns[i].second;
  }
  sql += ");";
  return sql;
}

std::vector<std::string> quoted_columns(const schema_t& schema) {
  std::vector<std::string> names;
  names.reserve(schema.columns.size());
  for (const auto& column : schema.columns) names.push_back(quote_backticks(column.first));
  return names;
}

bool bind_u64(sql_statement& insert, int parameter, u64 value) {
  // Unsigned values keep their bits in the signed 64-bit column and read back unchanged.
  return insert.bind_int64(parameter, static_cast<i64>(value));
}

}  // namespace

// ---- schema_t ----

void schema_t::clear() {
  name.clear();
  columns.clear();
  columns.reserve(100);
  field_order.clear();
  runtime = 0;
}

void schema_t::push_back(std::string column, std::string sql_type) {
  columns.emplace_back(std::move(column), std::move(sql_type));
}

u32 schema_t::get_field_order(std::string column) const {
  if (field_order.empty() || column.empty()) return 0;
  const auto found = field_order.find(column);
  return found != field_order.end() ? found->second : 0;
}

// ---- sqlite_log_record ----

sqlite_log_record::sqlite_log_record(const std::string& table_name, const std::string& file_path, u64 copied_value,
                                     u8 parse) {
  set_from_path(table_name, file_path, copied_value, std::string(), parse);
}

sqlite_log_record::sqlite_log_record(log_record& given, std::string& given_path, u64 copied_value, u8 parse) {
  take(given);
  parse_lists = parse;
  if (parse_lists && parse_record_lists(attr_names, attr_values, path)) {
    attributes |= 0x80;
    list_marker = 1;
  }
  if (path.empty()) path = given_path;
  if (given_path.empty()) given_path = path;
  copied = copied_value;
  split_path();
}

void sqlite_log_record::clear() {
  log_record::clear();
  table.clear();
  folder.clear();
  file_name.clear();
  copied = 0;
  parse_lists = 0;
}

void sqlite_log_record::split_path() {
  const std::string& source = path;
  if (is_dir) {
    folder = source;
    file_name.clear();
    size = 0;
    return;
  }
  // Room for the final "/" up front: the folder is then allocated once.
  folder.reserve(source.size() + 1);
  if (ntfs_raw) {
    // A path read from a raw NTFS volume may be written with "\".
    split_dir_file(source, folder, file_name);
    // A file in the root folder: the splitter keeps the separator with the name.
    if (folder == "." && !file_name.empty() && file_name[0] == '/') {
      folder = "/";
      file_name.erase(0, 1);
    }
  } else {
    // A path of this system: "\" is an ordinary character of a name.
    const size_t slash = source.rfind('/');
    if (slash == std::string::npos) {
      folder = ".";
      file_name = source;
    } else {
      folder.assign(source, 0, slash + 1);
      file_name.assign(source, slash + 1, std::string::npos);
    }
  }
  if (!folder.empty() && folder.back() != '/') folder += '/';
}

bool sqlite_log_record::set_from_path(const std::string& table_name, const std::string& file_path, u64 copied_value,
                                      const std::string& text_value, u8 parse) {
  clear();
  table = table_name;
  parse_lists = parse;
  copied = copied_value;
  const bool found = fill_log_record_utf8(*this, file_path, text_value);
  if (!found) {
    // Split like a file; the empty path keeps the record out of the table.
    path = file_path;
    is_dir = 0;
    split_path();
    path.clear();
    return false;
  }
  if ((parse_lists || table_name.empty()) && parse_record_lists(attr_names, attr_values, path)) {
    attributes |= 0x80;
    list_marker = 1;
  }
  split_path();
  return true;
}

// ---- sqlite_log_record_custom ----

void sqlite_log_record_custom::clear() {
  table.clear();
  values.clear();
}

bool sqlite_log_record_custom::set_values(const std::vector<std::string>& row) {
  values.clear();
  if (row.empty()) return false;
  values = row;
  return true;
}

// ---- sqlite_log ----

sqlite_log::sqlite_log() { init(); }

sqlite_log::~sqlite_log() { finish(); }

void sqlite_log::init() {
  tables_ready = 0;
  held_back_ = 0;
  table_statements_.clear();
  schemas.clear();
  table_masks.clear();
  pending_records.clear();
  pending_custom.clear();
  parse_date_time_format(time_spec, "yyyy-mm-dd", "hh:mm:ss", true);
  time_spec.min_year = 1900;
  time_spec.max_year = 2600;
}

void sqlite_log::finish() {
  if (!db_open) return;
  bool waiting = false;
  for (const auto& entry : pending_records) waiting = waiting || !entry.second.empty();
  for (const auto& entry : pending_custom) waiting = waiting || !entry.second.empty();
  if (waiting) flush();
  for (const auto& [table, schema] : schemas) {
    if (schema.runtime == 0) continue;
    const u64 last = get_last_rowid(table);
    if (last == 0) update_row_data_start(schema.runtime, 0);
    update_row_data_end(schema.runtime, last, true);
  }
  // Kept statements would hold the connection open past its close.
  table_statements_.clear();
  end_run_journal();
}

void sqlite_log::begin_run_journal() {
  run_journal_ = false;
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> names;
  if (!sql_select(rows, names, db, "PRAGMA journal_mode;") || rows.empty() || rows[0].empty() ||
      (rows[0][0] != "delete" && rows[0][0] != "wal")) {
    return;
  }
  // Every batch commits on its own, some 4,000 per million records: through the rollback
  // journal each would wait for the disk several times (a listing then runs at a few
  // thousand records a second). Through the write-ahead log a commit is one append that waits
  // for nothing; it is still whole with its ref row and run record, and a killed process keeps
  // it. Only a crash of the whole system can take the last ones before it.
  if (!sql_select(rows, names, db, "PRAGMA journal_mode = WAL;") || rows.empty() || rows[0].empty() ||
      rows[0][0] != "wal") {
    return;
  }
  run_journal_ = true;
  sql_exec(db, "PRAGMA synchronous = NORMAL;");
  // The log is copied onto the database (and waited for) once it holds 16 MiB, not every
  // 4 MiB as the library would: the pages that many batches rewrite are copied once.
  sql_exec(db, "PRAGMA wal_autocheckpoint = 4000;");
}

bool sqlite_log::end_run_journal() {
  if (!run_journal_) return true;
  run_journal_ = false;
  // The checkpoint and the switch wait for the disk: once the log is closed the database is
  // written through and is an ordinary rollback-journal file again.
  sql_exec(db, "PRAGMA synchronous = FULL;");
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> names;
  std::string error;
  if (sql_exec(db, "PRAGMA wal_checkpoint(TRUNCATE);", &error) &&
      sql_select(rows, names, db, "PRAGMA journal_mode = DELETE;") && !rows.empty() && !rows[0].empty() &&
      rows[0][0] == "delete") {
    return true;
  }
  error_text =
      "prob ending the write-ahead log of " + escape_invalid_utf8(db_path) + " (another connection holds it open)";
  return false;
}

bool sqlite_log::open(const std::string& db_file, cmd_params* params, const std::map<std::string, u64>* tables,
                      u32 with_metadata) {
  // Records of a log already open belong to its database: they are written, not dropped.
  finish();
  init();
  sqlite3_adt::init();
  error_text.clear();
  if (db_file.empty()) {
    error_text = "no database path";
    return false;
  }
  if (!open_db(nullptr, db_file)) {
    error_text = "prob opening database " + escape_invalid_utf8(db_file);
    return false;
  }
  // Pages of 4 KiB for a new, empty file: every batch commits on its own and writes each page
  // it touched whole into the write-ahead log, so small pages write less per batch (a listing
  // runs about a quarter faster than with the data tables' 16 KiB).
  sql_exec(db, "PRAGMA page_size = 4096;");
  // A reader or another writer holding the database is waited for, a bounded time, instead of
  // failing the batch at once.
  sql_exec(db, ("PRAGMA busy_timeout = " + std::to_string(busy_wait_ms) + ";").c_str());
  begin_run_journal();
  sleep_one_millisecond();
  if (!ref_ready) ref_ready = create_ref_table();
  if (!metadata_ready) metadata_ready = create_metadata_table();

  if (tables != nullptr) {
    for (const auto& [table, mask] : *tables) {
      bool already = false;
      if (!create_file_listing_table(&already, table, mask)) {
        if (error_text.empty()) error_text = "prob creating file-listing table " + escape_invalid_utf8(table);
        return false;
      }
      if (already) {
        const u64 last = get_max_rowid(table);
        if (last != 0) update_ref_row(table, last);
      }
    }
  }
  if (params == nullptr) {
    tables_ready = 1;
    return true;
  }
  if (static_cast<u8>(with_metadata) != 0) {
    for (auto& [table, schema] : schemas) {
      sqlite_metadata_row row;
      u64 run = 0;
      row.set_from_schema(&run, *params, schema, get_last_rowid(table));
      row.data_tbl_name = table;
      // Two tables' records made within one clock reading must not share a runtime: the
      // final rowids are recorded by runtime.
      while (runtime_exists(row.runtime)) ++row.runtime;
      if (insert_metadata_row(row)) schema.runtime = row.runtime;
    }
  }
  if (!params->date_format.empty()) {
    parse_date_time_format(time_spec, params->date_format, params->time_format, true);
  } else if (params->time_spec.flags != 0) {
    time_spec = params->time_spec;
    time_spec.flags |= time_format_one_column;
    time_spec.flags &= ~static_cast<u32>(time_format_fraction_mask);
  }
  tables_ready = 1;
  return true;
}

bool sqlite_log::file_listing_schema(schema_t& schema, u64 mask) {
  schema.clear();
  if (mask == 0) return false;
  u32 position = 1;
  schema.push_back("metaref", "integer");
  schema.field_order["metaref"] = position++;
  for (const listing_column_def& column : listing_columns) {
    if ((mask & column.bit) == 0) continue;
    schema.push_back(column.name, column.sql_type);
    schema.field_order.emplace(column.name, position++);
  }
  if (mask & listing_column::name_set) {
    std::set<std::string> names;
    if (!reset_name_set(names)) return false;
    schema_from_names(schema, names, position, true);
  }
  return schema.columns.size() > 1;
}

bool sqlite_log::schema_from_columns(schema_t& schema, const std::vector<std::string>& names, u32 first,
                                     bool append) {
  if (!append) schema.clear();
  if (names.empty()) return false;
  u32 position = first;
  for (const std::string& name : names) {
    schema.push_back(name, "varchar");
    schema.field_order.emplace(name, position++);
  }
  return true;
}

bool sqlite_log::schema_from_names(schema_t& schema, const std::set<std::string>& names, u32 first, bool append) {
  return schema_from_columns(schema, std::vector<std::string>(names.begin(), names.end()), first, append);
}

void sqlite_log::forget_table(const std::string& table) {
  schemas.erase(table);
  table_masks.erase(table);
}

bool sqlite_log::make_table(bool* already, const std::string& table) {
  sql_results results;
  if (!sql_transaction(&results, this, {create_statement(table, schemas[table])}, &sql_results::sql_results_cb)) {
    if (results.already_exists) {
      *already = true;
      return true;
    }
    error_text = "prob creating table " + escape_invalid_utf8(table) + ": " + results.messages.str();
    forget_table(table);
    return false;
  }
  sqlite_ref_row register_row;
  register_row.table_name = table;
  if (!insert_ref_row(register_row)) update_ref_row(table, 0);
  return true;
}

bool sqlite_log::create_file_listing_table(bool* already_out, const std::string& table, u64 mask) {
  bool scratch = false;
  bool* already = already_out != nullptr ? already_out : &scratch;
  *already = false;
  if (!schemas.emplace(table, schema_t()).second) {
    *already = true;
    return true;
  }
  schema_t& schema = schemas[table];
  if (!file_listing_schema(schema, mask)) {
    error_text = "no columns for file-listing table " + escape_invalid_utf8(table);
    forget_table(table);
    return false;
  }
  schema.name = table;
  table_masks[table] = mask;
  if (!db_open) {
    error_text = "no database open";
    forget_table(table);
    return false;
  }
  if (!make_table(already, table)) return false;
  if (!*already) pending_records[table].reserve(pending_room);
  return true;
}

bool sqlite_log::create_custom_table(bool* already_out, const std::string& table, schema_t schema, u64 mask) {
  bool scratch = false;
  bool* already = already_out != nullptr ? already_out : &scratch;
  *already = false;
  if (schemas.count(table) != 0) {
    *already = true;
    return true;
  }
  if (!db_open) {
    error_text = "no database open";
    return false;
  }
  schema.name = table;
  schemas.emplace(table, std::move(schema));
  table_masks[table] = mask;
  if (!make_table(already, table)) return false;
  if (!*already) pending_custom[table].reserve(pending_room);
  return true;
}

bool sqlite_log::create_table(bool* already, const std::string& table, const std::vector<std::string>& columns) {
  schema_t schema;
  if (!schema_from_columns(schema, columns, 1, false)) return false;
  if (!create_custom_table(already, table, std::move(schema), custom_list_mask)) return false;
  tables_ready = 1;
  return true;
}

bool sqlite_log::create_table_from_names(bool* already, const std::string& table,
                                         const std::set<std::string>& columns) {
  schema_t schema;
  if (!schema_from_names(schema, columns, 1, false)) return false;
  return create_custom_table(already, table, std::move(schema), custom_set_mask);
}

bool sqlite_log::add_log_record(const std::string& table, std::string& file_path, u64 copied, log_record* given) {
  if (!tables_ready || schemas.empty()) return false;
  u8 parse = 0;
  {
    AutoLock guard(&lock);
    const auto mask = table_masks.find(table);
    if (mask == table_masks.end()) return false;
    parse = (mask->second & listing_column::parse_lists) != 0 ? 1 : 0;
  }
  // The file's status is read outside the lock: other threads go on adding meanwhile. A
  // caller's record is only moved, so it is built in its place in the queue.
  std::optional<sqlite_log_record> read;
  if (given == nullptr) read.emplace(table, file_path, copied, parse);
  AutoLock guard(&lock);
  std::vector<sqlite_log_record>& waiting = pending_records[table];
  if (waiting.capacity() < pending_room) waiting.reserve(pending_room);
  if (read) {
    waiting.push_back(std::move(*read));
  } else {
    waiting.emplace_back(*given, file_path, copied, parse);
  }
  write_if_due(waiting.size(), 1);
  return true;
}

bool sqlite_log::add_custom_row(const std::string& table, const std::vector<std::string>& values) {
  return add_custom_rows(table, {values});
}

bool sqlite_log::add_custom_rows(const std::string& table, const std::vector<std::vector<std::string>>& rows) {
  if (!tables_ready || schemas.empty() || rows.empty()) return false;
  AutoLock guard(&lock);
  if (table_masks.count(table) == 0) return false;
  const size_t value_columns = schemas[table].columns.size() - 1;
  std::vector<sqlite_log_record_custom>& waiting = pending_custom[table];
  if (waiting.capacity() < pending_room) waiting.reserve(pending_room);
  bool added = true;
  for (const std::vector<std::string>& row : rows) {
    // A value without a column would be lost.
    if (row.empty() || row.size() > value_columns) {
      added = false;
      break;
    }
    waiting.emplace_back(table, row);
  }
  write_if_due(waiting.size(), rows.size());
  return added;
}

void sqlite_log::write_if_due(size_t waiting, size_t added) {
  // After a failed write the records wait for write_threshold more before the next try: a try
  // may wait busy_wait_ms for another connection, which every add must not pay again.
  if (held_back_ > added) {
    held_back_ -= added;
    return;
  }
  held_back_ = 0;
  if (waiting >= write_threshold && !write_waiting()) held_back_ = write_threshold;
}

bool sqlite_log::write_waiting() {
  AutoLock guard(&lock);
  if (!tables_ready) return false;
  bool all_written = true;
  for (auto& [table, waiting] : pending_records) {
    if (!waiting.empty() && !write_log_records(table)) all_written = false;
  }
  for (auto& [table, waiting] : pending_custom) {
    if (!waiting.empty() && !write_custom_records(table)) all_written = false;
  }
  return all_written;
}

bool sqlite_log::flush() {
  AutoLock guard(&lock);
  if (!tables_ready) return false;
  if (!write_waiting()) return false;
  held_back_ = 0;
  return true;
}

u64 sqlite_log::next_stamp() {
  // Records stamped within one clock reading get now, now + 1, now + 2, ...
  u64 stamp = sqlite_now();
  if (stamp <= last_stamp_) stamp = last_stamp_ + 1;
  last_stamp_ = stamp;
  return stamp;
}

bool sqlite_log::record_batch_end(table_statements& statements, const std::string& table, size_t rows) {
  if (rows == 0) return true;
  const u64 last_rowid = static_cast<u64>(sqlite_functions.last_insert_rowid(db));
  if (!update_ref_row(statements.ref_update, table, last_rowid)) return false;
  const u64 run = schemas[table].runtime;
  return run == 0 || update_row_data_end(statements.run_update, run, last_rowid, true);
}

sqlite_log::table_statements* sqlite_log::statements_for(const std::string& table, const schema_t& schema) {
  const auto [entry, made] = table_statements_.try_emplace(table);
  if (made && !entry->second.insert.prepare_table(db, quote_backticks(table), quoted_columns(schema), write_threshold)) {
    table_statements_.erase(entry);
    return nullptr;
  }
  return &entry->second;
}

template <class row_binder>
bool sqlite_log::write_batch(const std::string& table, const schema_t& schema, size_t rows, row_binder&& bind,
                             bool binds_every_parameter) {
  // Each batch commits on its own: a batch left open would keep other connections out and
  // be lost with the process.
  sql_write_transaction transaction;
  if (!transaction.begin(db, true)) {
    error_text = "prob writing records into " + escape_invalid_utf8(db_path) + ": " + transaction.error();
    return false;
  }
  table_statements* statements = statements_for(table, schema);
  if (statements == nullptr) {
    error_text = "prob preparing the insert into " + escape_invalid_utf8(table);
    return false;
  }
  if (!statements->insert.insert_all(rows, bind, binds_every_parameter) ||
      !record_batch_end(*statements, table, rows)) {
    error_text = "prob writing records into " + escape_invalid_utf8(table);
    if (!statements->insert.error().empty()) error_text += ": " + statements->insert.error();
    return false;
  }
  if (!transaction.commit()) {
    error_text = "prob committing records into " + escape_invalid_utf8(db_path) + ": " + transaction.error();
    return false;
  }
  return true;
}

bool sqlite_log::write_log_records(const std::string& table) {
  AutoLock guard(&lock);
  if (!tables_ready || !db_open || pending_records.empty() || schemas.empty()) return false;
  const auto waiting_entry = pending_records.find(table);
  const auto schema_entry = schemas.find(table);
  const auto mask_entry = table_masks.find(table);
  if (waiting_entry == pending_records.end() || waiting_entry->second.empty() || schema_entry == schemas.end() ||
      schema_entry->second.columns.size() < 2 || mask_entry == table_masks.end()) {
    return false;
  }
  std::vector<sqlite_log_record>& waiting = waiting_entry->second;
  const schema_t& schema = schema_entry->second;
  const u64 mask = mask_entry->second;

  // Stamps first: a folder record left out still takes its stamp. The batch's records share
  // one clock reading (a reading costs far more than a record), so they are stamped now,
  // now + 1, ...
  std::vector<std::pair<const sqlite_log_record*, u64>> rows;
  rows.reserve(waiting.size());
  bool clock_read = false;
  for (const sqlite_log_record& record : waiting) {
    if (record.path.empty()) continue;
    const u64 stamp = clock_read ? ++last_stamp_ : next_stamp();
    clock_read = true;
    if (record.is_dir && record.log_dir == 0) continue;
    rows.emplace_back(&record, stamp);
  }

  // Each listed column's place within a row. Every parameter of a row is bound, NULL where a
  // column has no value, so the statement's bindings need no clearing between runs.
  std::vector<std::pair<const listing_column_def*, int>> bound_columns;
  for (const listing_column_def& column : listing_columns) {
    if ((mask & column.bit) == 0) continue;
    const u32 position = schema.get_field_order(column.name);
    if (position > 1) bound_columns.emplace_back(&column, static_cast<int>(position) - 1);
  }

  // One slot of texts for each row a statement can take; none moves while they are bound.
  std::vector<listing_row_texts> texts(rows_per_insert(schema.columns.size()));
  time_text_cache cache;
  const time_format_spec& spec = time_spec;

  const bool written = write_batch(table, schema, rows.size(), [&](sql_statement& statement, size_t index,
                                                                     size_t slot, int first) {
    const sqlite_log_record& record = *rows[index].first;
    listing_row_texts& row_texts = texts[slot];
    if (!bind_u64(statement, first, rows[index].second)) return false;
    for (const auto& [column, offset] : bound_columns) {
      const int parameter = first + offset;
      bool bound = true;
      switch (column->value) {
        case listing_value::path:
          bound = statement.bind_text(parameter, record.folder);
          break;
        case listing_value::name:
          bound = statement.bind_text(parameter, record.file_name);
          break;
        case listing_value::extension: {
          const size_t dot = record.file_name.rfind('.');
          if (dot != std::string::npos && dot + 1 < record.file_name.size()) {
            bound = statement.bind_text(
                parameter, sql_static_text::kept_view(std::string_view(record.file_name).substr(dot + 1)));
          } else {
            bound = statement.bind_null(parameter);
          }
          break;
        }
        case listing_value::is_dir:
          bound = record.is_dir ? bind_u64(statement, parameter, record.is_dir) : statement.bind_null(parameter);
          break;
        case listing_value::size:
          bound = bind_u64(statement, parameter, record.size);
          break;
        case listing_value::modified:
        case listing_value::created:
        case listing_value::metachanged:
        case listing_value::accessed: {
          const size_t which = static_cast<size_t>(column->value) - static_cast<size_t>(listing_value::modified);
          const u64 raw[] = {record.modified, record.created, record.changed, record.accessed};
          if (!cache.held[which] || cache.raw[which] != raw[which] || cache.kind[which] != record.time_kind) {
            time_text(cache.text[which], raw[which], record.time_kind, spec, cache.date, cache.clock);
            cache.raw[which] = raw[which];
            cache.kind[which] = record.time_kind;
            cache.held[which] = true;
          }
          row_texts.times[which] = cache.text[which];
          bound = statement.bind_text(parameter, row_texts.times[which]);
          break;
        }
        case listing_value::mode:
          bound = bind_u64(statement, parameter, record.mode);
          break;
        case listing_value::inode:
          bound = bind_u64(statement, parameter, record.inode);
          break;
        case listing_value::seqnum:
          bound = bind_u64(statement, parameter, record.seq_number);
          break;
        case listing_value::copied:
          bound = bind_u64(statement, parameter, record.copied);
          break;
        case listing_value::ntfsraw:
          bound = record.ntfs_raw ? bind_u64(statement, parameter, record.ntfs_raw) : statement.bind_null(parameter);
          break;
        case listing_value::offset:
          bound = bind_u64(statement, parameter, record.offset);
          break;
        case listing_value::notes:
          if (!record.attr_names.empty()) {
            attribute_summary(row_texts.notes, record);
            bound = statement.bind_text(parameter, row_texts.notes);
          } else if (!record.text.empty()) {
            bound = statement.bind_text(parameter, record.text);
          } else {
            bound = statement.bind_null(parameter);
          }
          break;
        case listing_value::source:
          bound = bind_u64(statement, parameter, record.attributes);
          break;
      }
      if (!bound) return false;
    }
    return true;
  }, true);
  if (!written) return false;
  waiting.clear();
  waiting.reserve(pending_room);
  return true;
}

bool sqlite_log::write_custom_records(const std::string& table) {
  AutoLock guard(&lock);
  if (!tables_ready || !db_open || pending_custom.empty() || schemas.empty()) return false;
  const auto waiting_entry = pending_custom.find(table);
  const auto schema_entry = schemas.find(table);
  if (waiting_entry == pending_custom.end() || waiting_entry->second.empty() || schema_entry == schemas.end() ||
      schema_entry->second.columns.size() < 2 || table_masks.count(table) == 0) {
    return false;
  }
  std::vector<sqlite_log_record_custom>& waiting = waiting_entry->second;
  const schema_t& schema = schema_entry->second;
  const size_t value_columns = schema.columns.size() - 1;

  u64 stamp = next_stamp();
  const bool written =
      write_batch(table, schema, waiting.size(), [&](sql_statement& statement, size_t index, size_t, int first) {
        const sqlite_log_record_custom& record = waiting[index];
        if (index > 0) stamp = ++last_stamp_;
        if (!bind_u64(statement, first, stamp)) return false;
        for (size_t i = 0; i < value_columns; ++i) {
          const int parameter = first + 1 + static_cast<int>(i);
          const bool bound = i < record.values.size() ? statement.bind_text(parameter, record.values[i])
                                                      : statement.bind_null(parameter);
          if (!bound) return false;
        }
        return true;
      }, true);
  if (!written) return false;
  waiting.clear();
  waiting.reserve(pending_room);
  return true;
}

// ---- Dispatch ----

int sqlite_log_add_rows(sqlite_log* log, const std::string* table, void* rows) {
  if (log == nullptr || table == nullptr || rows == nullptr) return -1;
  return log->add_custom_rows(*table, *static_cast<std::vector<std::vector<std::string>>*>(rows)) ? 0 : -1;
}

int sqlite_log_add_row(sqlite_log* log, const std::string* table, void* values) {
  if (log == nullptr || table == nullptr || values == nullptr) return -1;
  return log->add_custom_row(*table, *static_cast<std::vector<std::string>*>(values)) ? 0 : -1;
}

int sqlite_log_dispatch(sqlite_log* log, const std::string* table, void* data, u64* copied, log_record* given,
                        u32* code) {
  if (log == nullptr) return -1;
  if (code == nullptr) {
    if (table == nullptr || data == nullptr) return -1;
    return log->add_log_record(*table, *static_cast<std::string*>(data), copied != nullptr ? *copied : 0, given)
               ? 0
               : -1;
  }
  switch (*code) {
    case sqlite_log_op_add_rows:
      return sqlite_log_add_rows(log, table, data);
    case sqlite_log_op_add_row:
      return sqlite_log_add_row(log, table, data);
    case sqlite_log_op_flush:
      return log->flush() ? 0 : -1;
    default:
      return -1;
  }
}
