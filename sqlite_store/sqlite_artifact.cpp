#include "sqlite_store/sqlite_artifact.h"

#include <time.h>

#include <algorithm>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/cmdline/qz_console.h"
#include "framework/io/qz_interrupt.h"
#include "framework/io/qz_writeback.h"
#include "framework/text/qz_number_parse.h"
#include "framework/text/qz_split.h"
#include "framework/text/qz_string.h"
#include "framework/text/uni_unicode.h"
#include "sqlite_store/sql_results.h"
#include "sqlite_store/sqlite_generic_data.h"

namespace {

// Keeps the first max_chars UTF-8 characters of name; a character is never cut in half.
void keep_first_chars(std::string& name, size_t max_chars) {
  size_t chars = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    const bool starts_char = (static_cast<unsigned char>(name[i]) & 0xC0) != 0x80;
    if (starts_char && chars++ == max_chars) {
      name.resize(i);
      return;
    }
  }
}

size_t count_chars(const std::string& name) {
  size_t chars = 0;
  for (const char c : name) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return chars;
}

// Cut to 8 characters (unless keep_long), "[", "]" and "#" removed, trimmed, blanks made "_".
std::string clean_column_name(std::string name, u8 keep_long) {
  if (!keep_long && count_chars(name) >= 9) keep_first_chars(name, 8);
  std::string cleaned;
  cleaned.reserve(name.size());
  for (const char c : name) {
    if (c != '[' && c != ']' && c != '#') cleaned += c;
  }
  trim_whitespace(cleaned);
  for (char& c : cleaned) {
    if (c == ' ') c = '_';
  }
  return cleaned;
}

// A name that is one bracketed identifier already ("[x]", no "]" inside) is safe as it stands.
bool is_single_bracketed(const std::string& name) {
  return name.size() >= 2 && name.front() == '[' && name.back() == ']' &&
         name.find(']') == name.size() - 1;
}

std::string folded(const std::string& name) {
  std::string key = name;
  return to_lower(key);
}

// Gives every bracketed name that repeats an earlier one (the library compares column names
// without regard to ASCII case) "_<position>" before its closing bracket; [metaref] is taken.
void make_names_unique(std::vector<std::string>& names) {
  std::set<std::string> used = {"[metaref]"};
  for (size_t i = 0; i < names.size(); ++i) {
    std::string& name = names[i];
    while (!used.insert(folded(name)).second) {
      std::string suffix(1, '_');
      suffix += std::to_string(i + 1);
      name.insert(name.size() - 1, suffix);
    }
  }
}

// Binds one data-table row from parameter first on: the batch's runtime, then one cell per
// column, the integer 0 for a column the row has no cell for. Cells beyond the last column are
// kept with it rather than dropped, joined by "|" in last_cell; a row without fields takes its
// cells from packed (when it was packed there) or from desired_output, cut into split_cells.
// The texts bound must outlive the step: packed, the row, split_cells and last_cell.
bool bind_data_row(sql_statement& insert, int first, i64 batch, const sqlite_generic_data_row& row,
                   const packed_cell_rows& packed, size_t column_count, std::vector<std::string>& split_cells,
                   std::string& last_cell) {
  row_cells cells(row.fields);
  // A row whose cells are gone (the packed rows were emptied without it) is refused, never
  // stored with other rows' cells.
  if (!cells_of_row(row, packed, cells)) return false;
  if (row.packed_row == 0 && row.fields.empty()) {
    split_string(row.desired_output, '|', split_cells, true, true, false);
    cells = row_cells(split_cells);
  }
  bool bound = insert.bind_int64(first, batch);
  const size_t cell_count = cells.size();
  for (size_t i = 0; bound && i < column_count; ++i) {
    const int parameter = first + static_cast<int>(i) + 1;
    if (i >= cell_count) {
      bound = insert.bind_int64(parameter, 0);
    } else if (i + 1 == column_count && cell_count > column_count) {
      last_cell = cells[i];
      for (size_t extra = i + 1; extra < cell_count; ++extra) {
        last_cell += '|';
        last_cell += cells[extra];
      }
      bound = insert.bind_text(parameter, last_cell);
    } else {
      bound = insert.bind_text(parameter, sql_static_text::kept_view(cells[i]));
    }
  }
  return bound;
}

void sleep_one_millisecond() {
  timespec pause{0, 1000000};
  nanosleep(&pause, nullptr);
}

void assign_if_set(std::string& field, const char* text, bool open) {
  if (open && text != nullptr) field = text;
}

}  // namespace

// ---- sqlite3_artifact ----

// The write-behind thread's queue of batches. A batch queued or being written belongs to the
// thread, as does the connection while any is in flight; spare batches keep their storage for
// the next ones, so that no more than max_batches_in_flight ever exist. A batch whose writing
// ends in an exception (out of memory) hands it back to the caller's thread, whose next wait
// throws it. The caller's thread owns writeback. mutex guards everything else but thread.
struct sqlite3_artifact::write_behind_state {
  struct batch {
    u64 run = 0;
    sqlite_metadata_row record;
    std::vector<sqlite_generic_data_row> rows;
    packed_cell_rows packed;
  };
  // A batch is queued only while fewer batches than this are in flight and it fits beside them
  // (rows, bytes of cells); otherwise the caller waits. A group's few rows are queued behind a
  // full batch instead of waiting for it, and memory stays bounded whatever the cells.
  static constexpr size_t max_batches_in_flight = 2;
  static constexpr size_t max_rows_in_flight = 2 * (flush_threshold + 1);
  static constexpr size_t max_bytes_in_flight = 64u << 20;

  std::thread thread;
  std::mutex mutex;
  std::condition_variable handed;   // a batch was queued, or stop was set
  std::condition_variable written;  // a batch was written
  std::deque<std::unique_ptr<batch>> queue;
  std::vector<std::unique_ptr<batch>> spare;
  bool writing = false;        // the thread is writing a batch taken from the queue
  size_t rows_in_flight = 0;   // rows of the queued batches and of the one being written
  size_t bytes_in_flight = 0;  // their cells' text
  u64 failed = 0;              // batches that failed and were not yet reported
  std::exception_ptr failure;  // the exception a batch's writing ended in, not yet handed back
  bool stop = false;
  file_writeback writeback;  // the database file, for the early write-out of its pages
};

sqlite3_artifact::sqlite3_artifact() : failed_batches(0), failed_exports(0) { clear(); }

sqlite3_artifact::~sqlite3_artifact() {
  if (std::uncaught_exceptions() > 0) {
    // An exception (out of memory) is ending the run: the rows still collected are let go,
    // since writing them would allocate; the batches written are committed whole.
    drop_pending();
  } else if (!pending.empty()) {
    // Rows collected but not yet written are stored before the database closes. An exception
    // handed back here (a batch of the write-behind thread that ran out of memory) would end
    // the process: it counts as a failed batch, and the rows waiting are still tried once.
    for (int attempt = 0; attempt < 2 && !pending.empty(); ++attempt) {
      try {
        flush();
      } catch (...) {
        ++failed_batches;
      }
    }
    drop_pending();
  }
  end_bulk_writes(false);
}

bool sqlite3_artifact::begin_bulk_writes(bool write_behind) {
  if (!db_open || read_only) return false;
  bulk_ = 1;
  if (!write_behind || write_behind_) return true;
  auto state = std::make_unique<write_behind_state>();
  // The thread puts a batch written back among the spare ones without allocating: it has
  // nowhere to throw to there.
  state->spare.reserve(write_behind_state::max_batches_in_flight);
  // Signals stay with the thread that reads the source. Without a thread the batches are
  // written in the caller's, as they would be anyway.
  write_behind_state& started = *state;
  if (!start_thread_without_signals(state->thread, [this, &started] { write_behind_loop(started); })) return true;
  // Without it the commits only wait longer.
  state->writeback.open(db_path);
  write_behind_ = std::move(state);
  return true;
}

void sqlite3_artifact::write_behind_loop(write_behind_state& state) {
  std::unique_lock lock(state.mutex);
  for (;;) {
    state.handed.wait(lock, [&state] { return !state.queue.empty() || state.stop; });
    if (state.queue.empty()) return;
    std::unique_ptr<write_behind_state::batch> next = std::move(state.queue.front());
    state.queue.pop_front();
    state.writing = true;
    lock.unlock();
    bool written = false;
    std::exception_ptr failure;
    try {
      written = write_rows_of(next->run, next->record, next->rows, next->packed);
    } catch (...) {
      failure = std::current_exception();
    }
    const size_t rows = next->rows.size();
    const size_t bytes = next->packed.text_bytes();
    // The rows are let go here, not in the thread that collects the next batch.
    next->rows.clear();
    next->packed.clear();
    lock.lock();
    state.spare.push_back(std::move(next));
    state.rows_in_flight -= rows;
    state.bytes_in_flight -= bytes;
    // The first exception is handed back; a batch that ends in another fails like any other.
    if (failure && !state.failure) {
      state.failure = failure;
    } else if (!written) {
      ++state.failed;
    }
    state.writing = false;
    state.written.notify_one();
  }
}

bool sqlite3_artifact::report_write_behind_failures(u64 failed) {
  // Batches written since the last look leave no run of failures; each failed one adds to it.
  failed_in_a_row = failed == 0 ? 0 : failed_in_a_row + failed;
  for (u64 i = 0; i < failed; ++i) {
    ++failed_batches;
    report("prob writing rows into %s\n", escape_invalid_utf8(db_path).c_str());
  }
  return failed == 0;
}

bool sqlite3_artifact::report_write_behind_failures(u64 failed, std::exception_ptr failure, bool hand_back) {
  if (!failure) return report_write_behind_failures(failed);
  if (!hand_back) return report_write_behind_failures(failed + 1);
  report_write_behind_failures(failed);
  std::rethrow_exception(failure);
}

u64 sqlite3_artifact::settle_write_behind(std::exception_ptr& failure) {
  write_behind_state& state = *write_behind_;
  std::unique_lock lock(state.mutex);
  state.written.wait(lock, [&state] { return state.queue.empty() && !state.writing; });
  failure = std::exchange(state.failure, nullptr);
  return std::exchange(state.failed, 0);
}

bool sqlite3_artifact::wait_for_write_behind() {
  if (!write_behind_) return true;
  std::exception_ptr failure;
  const u64 failed = settle_write_behind(failure);
  return report_write_behind_failures(failed, failure, true);
}

bool sqlite3_artifact::hand_over_pending() {
  if (pending.empty()) return false;
  write_behind_state& state = *write_behind_;
  const size_t rows = pending.size();
  const size_t bytes = pending_bytes();
  std::unique_ptr<write_behind_state::batch> next;
  u64 failed = 0;
  std::exception_ptr failure;
  {
    std::unique_lock lock(state.mutex);
    state.written.wait(lock, [&] {
      const size_t batches = state.queue.size() + (state.writing ? 1 : 0);
      return batches == 0 || (batches < state.max_batches_in_flight &&
                              state.rows_in_flight + rows <= state.max_rows_in_flight &&
                              state.bytes_in_flight + bytes <= state.max_bytes_in_flight);
    });
    failed = state.failed;
    state.failed = 0;
    failure = std::exchange(state.failure, nullptr);
    if (!state.spare.empty()) {
      next = std::move(state.spare.back());
      state.spare.pop_back();
    }
  }
  // A batch before ran out of memory: the rows stay where they are, and the run ends.
  if (failure) std::rethrow_exception(failure);
  if (!next) next = std::make_unique<write_behind_state::batch>();
  // The batch is written as it stands now: later changes of meta_row belong to later batches.
  next->run = runtime;
  next->record = meta_row;
  next->rows.swap(pending);
  next->packed.take_rows_of(packed_cells);
  pending.clear();
  // Room for a full batch at once, rather than the half again that growing by doubling leaves.
  pending.reserve(flush_threshold + 1);
  current.clear();
  {
    std::lock_guard lock(state.mutex);
    state.queue.push_back(std::move(next));
    state.rows_in_flight += rows;
    state.bytes_in_flight += bytes;
  }
  state.handed.notify_one();
  // The pages the batches before wrote start on their way to the disk while this one is
  // written, so that the next commit's sync waits for less. Only the kernel is asked: the
  // connection stays the thread's.
  state.writeback.start();
  return report_write_behind_failures(failed);
}

bool sqlite3_artifact::stop_write_behind(bool hand_back) {
  if (!write_behind_) return true;
  std::exception_ptr failure;
  const u64 failed = settle_write_behind(failure);
  {
    std::lock_guard lock(write_behind_->mutex);
    write_behind_->stop = true;
  }
  write_behind_->handed.notify_one();
  write_behind_->thread.join();
  write_behind_.reset();
  return report_write_behind_failures(failed, failure, hand_back);
}

bool sqlite3_artifact::commit_series() {
  if (!series_.active() || series_.commit()) return true;
  // The rolled-back batches took the tables they made and their registration with them.
  ref_ready = 0;
  metadata_ready = 0;
  return false;
}

bool sqlite3_artifact::finish_bulk_writes() { return end_bulk_writes(true); }

bool sqlite3_artifact::end_bulk_writes(bool hand_back) {
  if (!bulk_) return true;
  if (!pending.empty()) flush();
  const bool written = stop_write_behind(hand_back);
  bulk_ = 0;
  if (commit_series()) return written;
  ++failed_batches;
  report("prob writing rows into %s\n", escape_invalid_utf8(db_path).c_str());
  return false;
}

void sqlite3_artifact::clear() {
  finish_bulk_writes();
  reset();
  init();
  meta_row.clear();
  pending.clear();
  packed_cells.clear();
  current.clear();
}

bool sqlite3_artifact::init_from_cmdline(const std::vector<std::string>&, const std::string& generic_headers,
                                         cmd_params& tool) {
  tool.sqlite_params = dynamic_cast<sqlite_cmd_params*>(this);
  status_shown_ = tool.status_display;
  if (!tool.sqlite_on) return true;
  if (tool.sqlite_path.empty()) {
    std::fputs("Issue with initializing SQLite, aborting\n", stderr);
    return false;
  }
  std::string bar = "|";
  tool.set_csv_separator(bar, false);
  tool.trim_fields = 1;
  tool.spaced_separator = 0;

  sqlite_metadata_row row;
  row.set_from_tool(tool);
  row.data_tbl_name = generic_data_table_name();
  bool generic = true;
  std::ostringstream columns;
  if (tool.csv_to_sqlite_on) {
    tool.non_xml_output = 1;
    row.col_hdrs.clear();
    row.data_tbl_name = "unk";
    generic = false;
  } else if (tool.kind_bodyfile) {
    tool.non_xml_output = 1;
    write_bodyfile_col_hdrs(columns);
    row.col_hdrs = columns.str();
    row.gen_hdrs = generic_headers;
  } else if (tool.kind_csvl2t) {
    tool.non_xml_output = 1;
    write_l2t_header(columns, tool.separator_text, false, tool.pair_datetime != 0);
    row.col_hdrs = columns.str();
    row.gen_hdrs = generic_headers;
  } else if (tool.kind_csv) {
    tool.non_xml_output = 1;
    row.gen_hdrs = generic_headers;
  } else {
    if (open_db_readonly(tool.sqlite_path)) return true;
    const std::string shown = escape_invalid_utf8(tool.sqlite_path);
    const char* name = shown.c_str();
    if (read_fault == read_open_fault::hot_journal) {
      std::fprintf(stderr,
                   "prob reading %s: %s-journal holds an interrupted write; one read-write open of the database "
                   "rolls it back (open a copy of both files to keep them as they are), aborting\n",
                   name, name);
    } else if (read_fault == read_open_fault::private_copy) {
      std::fprintf(stderr, "prob copying %s and its %s-wal into a private temporary folder to read them, aborting\n",
                   name, name);
    } else {
      std::fputs("Issue opening db for read, aborting\n", stderr);
    }
    return false;
  }
  if (open_for_write(nullptr, tool.sqlite_path, row, std::string(), generic)) return true;
  std::fputs("Issue with initializing SQLite, aborting\n", stderr);
  return false;
}

bool sqlite3_artifact::open_for_write(u64*, const std::string& db_file, sqlite_metadata_row& row, const std::string&,
                                      bool generic) {
  if (db_open) close_db();
  clear();
  if (!open_db(nullptr, db_file)) return false;
  // The library writes a database one page per call: pages of 16 KiB cost a quarter of the
  // calls of its default 4 KiB. The size holds only for a new, empty file (an existing database
  // keeps its own), and the rows, their order and the commits are the same at any size.
  sql_exec(db, "PRAGMA page_size = 16384;");
  meta_row = row;
  if (generic) {
    row.data_tbl_name = generic_data_table_name();
  } else if (row.data_tbl_name.empty()) {
    row.data_tbl_name = "data";
  }
  db_open = 1;
  const bool table_made = create_data_table(nullptr, row);
  // A store without its register and run records cannot record anything it writes.
  if (!ref_ready || !metadata_ready || (generic && !table_made)) {
    close();
    return false;
  }
  return true;
}

std::vector<std::string> sqlite3_artifact::build_column_names(const std::string& col_hdrs, u8 number_columns,
                                                              u8 keep_long_names) {
  std::vector<std::string> raw;
  std::vector<std::string> names;
  split_string(col_hdrs, '|', raw, true, true, false);
  if (raw.empty()) return names;
  // A zero byte would end the statement text inside the name.
  for (std::string& name : raw) std::erase(name, '\0');
  names.reserve(raw.size());
  if (raw[0].find('[') != std::string::npos) {
    // A list given bracketed (as built here) is kept; only a name that could end its bracket
    // early is quoted anew.
    for (const std::string& name : raw) names.push_back(is_single_bracketed(name) ? name : quote_brackets(name));
  } else {
    for (size_t i = 0; i < raw.size(); ++i) {
      const std::string name = clean_column_name(clean_column_name(raw[i], keep_long_names), keep_long_names);
      names.push_back(number_columns ? "[" + std::to_string(i + 1) + "-" + name + "]" : "[" + name + "]");
    }
  }
  make_names_unique(names);
  return names;
}

const std::vector<std::string>& sqlite3_artifact::column_names_for(sqlite_metadata_row& names_cache,
                                                                   const std::string& col_hdrs) {
  if (names_cache.column_names.empty()) {
    names_cache.column_names =
        build_column_names(col_hdrs, names_cache.number_columns, names_cache.keep_long_names);
  }
  return names_cache.column_names;
}

bool sqlite3_artifact::create_data_table(void*, sqlite_metadata_row& row) {
  wait_for_write_behind();
  return create_table_of(row, meta_row);
}

bool sqlite3_artifact::create_table_of(sqlite_metadata_row& row, sqlite_metadata_row& names_cache) {
  if (!db_open) return false;
  // Tables made back to back get distinct creation times.
  sleep_one_millisecond();
  if (!ref_ready) ref_ready = create_ref_table();
  if (!metadata_ready) metadata_ready = create_metadata_table();
  const std::string& table = row.data_tbl_name;
  if (table.empty()) return false;
  if (table_in_ref(table)) return true;
  std::string create;
  if (table == generic_data_table_name()) {
    create = generic_data_create_statement();
  } else {
    if (row.col_hdrs.empty()) return false;
    const std::vector<std::string>& names = column_names_for(names_cache, row.col_hdrs);
    create = "create table " + quote_brackets(table) + " ([metaref] integer";
    for (const std::string& name : names) {
      create += ", ";
      create += name;
      create += " varchar";
    }
    create += ");";
  }
  sql_results results;
  if (!sql_transaction(&results, this, {create}, &sql_results::sql_results_cb)) return false;
  sqlite_ref_row register_row;
  register_row.table_name = table;
  return insert_ref_row(register_row);
}

u64 sqlite3_artifact::next_batch_runtime() {
  u64 stamp = sqlite_now();
  // Two batches within one clock tick, or a clock set back, must not share a run record.
  if (stamp <= last_batch_runtime_) stamp = last_batch_runtime_ + 1;
  while (runtime_exists(stamp)) ++stamp;
  last_batch_runtime_ = stamp;
  return stamp;
}

bool sqlite3_artifact::write_rows_in_series(u64 run, sqlite_metadata_row& record,
                                            std::vector<sqlite_generic_data_row>& rows,
                                            const packed_cell_rows& packed) {
  const u8 ref_was_ready = ref_ready;
  const u8 metadata_was_ready = metadata_ready;
  if (series_.write(db, [&] { return write_batch(run, record, rows, packed); })) {
    return !series_.commit_due() || commit_series();
  }
  ref_ready = ref_was_ready;
  metadata_ready = metadata_was_ready;
  return false;
}

bool sqlite3_artifact::write_rows(u64 run, std::vector<sqlite_generic_data_row>& rows) {
  // The batches handed over before these rows come first.
  wait_for_write_behind();
  return write_rows_of(run, meta_row, rows, packed_cells);
}

bool sqlite3_artifact::write_rows_of(u64 run, sqlite_metadata_row& record, std::vector<sqlite_generic_data_row>& rows,
                                     const packed_cell_rows& packed) {
  if (!db_open || rows.empty()) return false;
  if (bulk_) return write_rows_in_series(run, record, rows, packed);
  // The run record, a table made for the batch, the rows and the register commit as one: a batch
  // that fails leaves nothing of itself behind, and a batch costs one commit. The single-row
  // writes inside see the open transaction and join it.
  sql_write_transaction transaction;
  if (!transaction.begin(db)) return false;
  const u8 ref_was_ready = ref_ready;
  const u8 metadata_was_ready = metadata_ready;
  if (write_batch(run, record, rows, packed) && transaction.commit()) return true;
  transaction.rollback();
  ref_ready = ref_was_ready;
  metadata_ready = metadata_was_ready;
  return false;
}

bool sqlite3_artifact::write_batch(u64 run, sqlite_metadata_row& record, std::vector<sqlite_generic_data_row>& rows,
                                   const packed_cell_rows& packed) {
  // Group titles that differ only in case ("services", "Services") name one table to the
  // library: their rows go into the table made first, and the run record names it.
  record.data_tbl_name = stored_table_name(record.data_tbl_name);
  const std::string table = record.data_tbl_name;
  u64 batch = run;
  if (run == 0) {
    // A record of the batch's own, stamped once its table is there.
    if (!table_in_ref(table)) {
      sqlite_metadata_row table_row = record;
      if (!create_table_of(table_row, record)) return false;
    }
    batch = next_batch_runtime();
    record.runtime = batch;
    record.row_data_start = get_last_rowid(table) + 1;
    sqlite_metadata_row first = record;
    first.row_data_end = 0;
    if (!insert_metadata_row(first)) return false;
  } else {
    if (!runtime_exists(run)) {
      sqlite_metadata_row first = record;
      first.runtime = run;
      first.row_data_start = get_last_rowid(table) + 1;
      first.row_data_end = 0;
      if (!insert_metadata_row(first)) return false;
    }
    if (!table_in_ref(table)) {
      sqlite_metadata_row table_row = record;
      table_row.runtime = run;
      if (!create_table_of(table_row, record)) return false;
      record.runtime = run;
      if (!update_metadata_row(run, run, record)) return false;
    }
  }

  const bool generic = table == generic_data_table_name();
  const std::vector<std::string>* names = nullptr;
  if (!generic) {
    if (record.col_hdrs.empty()) return false;
    names = &column_names_for(record, record.col_hdrs);
    if (names->empty()) return false;
  }
  sql_grouped_insert insert;
  bool prepared = false;
  std::vector<std::string> columns;
  if (generic) {
    prepared = insert.prepare(db, generic_data_insert_statement(), std::string(), 1, 9, rows.size());
  } else {
    columns.reserve(names->size() + 1);
    columns.push_back("[metaref]");
    columns.insert(columns.end(), names->begin(), names->end());
    prepared = insert.prepare_table(db, quote_backticks(table), columns, rows.size());
  }
  if (!prepared) return false;
  // Texts made here outlive the step that reads them (texts are bound without copying): one
  // slot for each row of a group.
  const size_t slots = insert.group_rows();
  std::vector<std::vector<std::string>> split_cells(slots);
  std::vector<std::string> last_cells(slots);
  const i64 batch_value = static_cast<i64>(batch);
  const bool written =
      insert.insert_all(rows.size(), [&](sql_statement& statement, size_t index, size_t slot, int first) {
        const sqlite_generic_data_row& row = rows[index];
        if (generic) {
          return bind_generic_data_row(statement, batch, row.val1, row.val2, row.val3, row.val4, row.val5, row.str1,
                                       row.str2, row.desired_output);
        }
        return bind_data_row(statement, first, batch_value, row, packed, names->size(), split_cells[slot],
                             last_cells[slot]);
      },
      /*binds_every_parameter=*/true);
  if (!written) return false;
  const u64 last_rowid = static_cast<u64>(sqlite_functions.last_insert_rowid(db));
  return update_ref_row(table, last_rowid) && update_row_data_end(batch, last_rowid, false);
}

bool sqlite3_artifact::flush() {
  if (!db_open) return false;
  if (write_behind_) return hand_over_pending();
  if (pending.empty()) return false;
  const bool written = write_rows(runtime, pending);
  pending.clear();
  packed_cells.clear();
  current.clear();
  failed_in_a_row = written ? 0 : failed_in_a_row + 1;
  if (!written) {
    ++failed_batches;
    // Batches fail mid-conversion, while the progress line may be showing.
    report("prob writing rows into %s\n", escape_invalid_utf8(db_path).c_str());
  }
  return written;
}

void sqlite3_artifact::report(const char* format, ...) const {
  if (status_shown_) clear_status_line();
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fflush(stderr);
}

bool sqlite3_artifact::flush_if(int minimum) {
  if (!db_open || pending_count() < minimum) return false;
  return flush();
}

int sqlite3_artifact::pending_count() const { return static_cast<int>(pending.size()); }

void sqlite3_artifact::drop_pending() {
  pending.clear();
  packed_cells.clear();
  current.clear();
}

namespace {

// Appends a data-table row with metaref to the open store of params, its cells put into the
// store's packed rows by pack (which returns the row's number there); false when there is no
// open store.
template <class pack_fn>
bool append_fields_row(u64 metaref, cmd_params* params, pack_fn pack) {
  if (params == nullptr || !params->sqlite_on || params->sqlite_params == nullptr) return false;
  sqlite3_artifact& store = *params->sqlite_params;
  if (!store.db_open) return false;
  store.current.clear();
  // The row's cells go into the packed rows, not into strings of the row.
  sqlite_generic_data_row& row = store.pending.emplace_back();
  row.metaref = metaref;
  row.packed_row = 1 + pack(store.packed_cells);
  return true;
}

}  // namespace

bool sqlite3_artifact::add_fields_row(u64 metaref, const std::vector<std::string>& cells, cmd_params* params) {
  return append_fields_row(metaref, params, [&cells](packed_cell_rows& packed) { return packed.add(cells); });
}

bool sqlite3_artifact::take_fields_row(u64 metaref, std::vector<std::string>& cells, cmd_params* params) {
  return append_fields_row(metaref, params, [&cells](packed_cell_rows& packed) { return packed.take(cells); });
}

int sqlite3_artifact::add_generic_row(std::ostringstream& text, u64 val1, u64 val2, std::string str1,
                                      std::string str2, u64 val3, u64 val4, u64 val5) {
  current.clear();
  current.val1 = val1;
  current.val2 = val2;
  current.val3 = val3;
  current.val4 = val4;
  current.val5 = val5;
  current.str1 = std::move(str1);
  current.str2 = std::move(str2);
  current.desired_output = text.str();
  pending.push_back(current);
  return 0;
}

bool sqlite3_artifact::split_generic_rows(std::ostringstream& text, u64 val1, u64 val2, std::string str1) {
  const std::string block = text.str();
  std::vector<std::string> lines;
  if (block.empty() || block.size() > 0xFFFFFFFFu ||
      !split_text_lines(reinterpret_cast<const u8*>(block.data()), static_cast<u32>(block.size()), lines)) {
    return false;
  }
  for (std::string& line : lines) {
    current.clear();
    current.val1 = val1;
    current.val2 = val2;
    current.str1 = str1;
    current.desired_output = std::move(line);
    pending.push_back(current);
  }
  return !lines.empty();
}

bool sqlite3_artifact::start_new_run(bool chain) {
  // Rows of the run that ends belong to it: they are written, not dropped.
  if (!pending.empty()) flush();
  pending.clear();
  packed_cells.clear();
  current.clear();
  wait_for_write_behind();
  return start_run(&runtime, runtime, meta_row, chain);
}

void sqlite3_artifact::set_col_hdrs(const char* text) {
  if (!db_open || text == nullptr) return;
  meta_row.col_hdrs = text;
  // The cleaned names belong to the old list.
  meta_row.column_names.clear();
}
void sqlite3_artifact::set_file_other(const char* text) { assign_if_set(meta_row.file_other, text, db_open); }
void sqlite3_artifact::set_file(const char* text) { assign_if_set(meta_row.file, text, db_open); }
void sqlite3_artifact::set_gen_hdrs(const char* text) { assign_if_set(meta_row.gen_hdrs, text, db_open); }
void sqlite3_artifact::set_notes(const char* text) { assign_if_set(meta_row.notes, text, db_open); }
void sqlite3_artifact::set_artifact_type(const char* text) { assign_if_set(meta_row.artifact_type, text, db_open); }

// ---- sqlite_cmd_params ----

sqlite_cmd_params::sqlite_cmd_params() { reset_run_state(); }

sqlite_cmd_params::~sqlite_cmd_params() = default;

void sqlite_cmd_params::reset_run_state() {
  if (!db_open) return;
  runtime = 0;
  meta_row.clear();
  drop_pending();
}
