// Rows per second of the store's batch writer: batches of 20001 rows of 10 text cells into one
// data table (each batch with its run record and register update), written from rows already
// collected and collected row by row as a conversion hands them over, against a bare prepared
// insert of the same rows in one transaction through the library (the floor). Beside them the
// file-listing log: a listing of 1 million records (folder, name, extension, size, modified
// time, mode, inode) added one by one and written in its batches of 257, from the open to the
// closed database. At the end the listing's rows per second are printed beside the data-table
// writer's.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "framework/cmdline/qz_cmd_params.h"
#include "sqlite_store/sqlite_artifact.h"
#include "sqlite_store/sqlite_log.h"

namespace {

constexpr int batch_rows = sqlite3_artifact::flush_threshold + 1;
constexpr int column_count = 10;

std::vector<sqlite_generic_data_row> sample_rows() {
  std::vector<sqlite_generic_data_row> rows(batch_rows);
  for (int i = 0; i < batch_rows; ++i) {
    for (int c = 0; c < column_count; ++c) {
      rows[static_cast<size_t>(i)].fields.push_back("cell " + std::to_string(c) + " of row " + std::to_string(i));
    }
  }
  return rows;
}

std::string column_list() {
  std::string names;
  for (int c = 0; c < column_count; ++c) {
    if (c > 0) names += '|';
    names.append("column ").append(std::to_string(c));
  }
  return names;
}

// A fresh folder for one benchmark's database, removed at the end.
struct scratch_folder {
  scratch_folder() {
    char pattern[] = "/tmp/sqlite_batch_bench_XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    path = pattern;
  }
  ~scratch_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

// The store opened on a new database in folder, with the sample's columns.
void open_store(sqlite_cmd_params& store, const scratch_folder& folder) {
  sqlite_metadata_row row;
  row.data_tbl_name = "bench";
  if (!store.open_for_write(nullptr, folder.path + "/bench.db", row, "", false)) std::abort();
  store.meta_row.col_hdrs = column_list();
}

void count_rows(benchmark::State& state) {
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * batch_rows,
                                                benchmark::Counter::kIsRate);
}

// Rows already collected, written.
void batch_writer(benchmark::State& state) {
  scratch_folder folder;
  const std::vector<sqlite_generic_data_row> source = sample_rows();
  std::vector<sqlite_generic_data_row> rows = source;
  sqlite_cmd_params store;
  open_store(store, folder);
  for (auto _ : state) {
    if (!store.write_rows(0, rows)) std::abort();
  }
  count_rows(state);
}
BENCHMARK(batch_writer)->Unit(benchmark::kMillisecond)->UseRealTime();

// Rows handed over one at a time as the conversion hands them (add_fields_row), then written by
// flush: the collecting included.
void collect_and_flush(benchmark::State& state) {
  scratch_folder folder;
  const std::vector<sqlite_generic_data_row> rows = sample_rows();
  sqlite_cmd_params store;
  open_store(store, folder);
  cmd_params tool{0, false};
  tool.sqlite_on = 1;
  tool.sqlite_params = &store;
  for (auto _ : state) {
    for (const sqlite_generic_data_row& row : rows) {
      if (!sqlite3_artifact::add_fields_row(0, row.fields, &tool)) std::abort();
    }
    if (!store.flush()) std::abort();
  }
  count_rows(state);
}
BENCHMARK(collect_and_flush)->Unit(benchmark::kMillisecond)->UseRealTime();

void bare_library_insert(benchmark::State& state) {
  scratch_folder folder;
  const std::vector<sqlite_generic_data_row> rows = sample_rows();
  sqlite3* db = nullptr;
  if (sqlite3_open((folder.path + "/bare.db").c_str(), &db) != SQLITE_OK) std::abort();
  std::string create = "create table bench ([metaref] integer";
  std::string insert = "insert into bench values(?";
  for (int c = 0; c < column_count; ++c) {
    create += ", [c" + std::to_string(c) + "] varchar";
    insert += ",?";
  }
  sqlite3_exec(db, (create + ");").c_str(), nullptr, nullptr, nullptr);
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, (insert + ");").c_str(), -1, &statement, nullptr) != SQLITE_OK) std::abort();
  for (auto _ : state) {
    sqlite3_exec(db, "BEGIN TRANSACTION", nullptr, nullptr, nullptr);
    for (const sqlite_generic_data_row& row : rows) {
      sqlite3_bind_int64(statement, 1, 1);
      for (int c = 0; c < column_count; ++c) {
        const std::string& cell = row.fields[static_cast<size_t>(c)];
        sqlite3_bind_text(statement, c + 2, cell.data(), static_cast<int>(cell.size()), SQLITE_STATIC);
      }
      sqlite3_step(statement);
      sqlite3_clear_bindings(statement);
      sqlite3_reset(statement);
    }
    sqlite3_exec(db, "END TRANSACTION", nullptr, nullptr, nullptr);
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  count_rows(state);
}
BENCHMARK(bare_library_insert)->Unit(benchmark::kMillisecond)->UseRealTime();

// A listing of 1 million records, each added as a record read elsewhere (no file is examined).
void listing_log(benchmark::State& state) {
  constexpr int listing_records = 1000000;
  std::vector<log_record> records(listing_records);
  for (int i = 0; i < listing_records; ++i) {
    log_record& record = records[static_cast<std::size_t>(i)];
    record.path = "/volume/users/case/folder " + std::to_string(i / 1000) + "/file " + std::to_string(i) + ".dat";
    record.size = static_cast<u64>(i) * 17;
    record.modified = 1700000000 + static_cast<u64>(i);
    record.time_kind = 8;
    record.mode = 0100644;
    record.inode = static_cast<u64>(i) + 1000;
  }
  const u64 mask = listing_column::path | listing_column::name | listing_column::extension | listing_column::size |
                   listing_column::modified | listing_column::mode | listing_column::inode;
  // The previous round's database and the emptied records go while the clock stands.
  std::optional<scratch_folder> folder;
  std::vector<log_record> batch;
  for (auto _ : state) {
    state.PauseTiming();
    folder.reset();
    folder.emplace();
    batch = records;
    state.ResumeTiming();
    {
      sqlite_log log;
      const std::map<std::string, u64> tables = {{"listing", mask}};
      if (!log.open(folder->path + "/listing.db", nullptr, &tables, 0)) std::abort();
      std::string path;
      for (log_record& record : batch) {
        path.clear();
        if (!log.add_log_record("listing", path, 0, &record)) std::abort();
      }
      if (!log.flush()) std::abort();
    }
  }
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * listing_records, benchmark::Counter::kIsRate);
}
BENCHMARK(listing_log)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The console table, keeping the rows per second of each benchmark for the closing comparison.
class rate_reporter : public benchmark::ConsoleReporter {
 public:
  rate_reporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_Color : OO_None) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const auto rate = run.counters.find("rows/s");
      if (rate != run.counters.end()) rates[run.run_name.function_name] = rate->second.value;
    }
  }
  std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  rate_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const auto listing = reporter.rates.find("listing_log");
  const auto writer = reporter.rates.find("batch_writer");
  if (listing != reporter.rates.end() && writer != reporter.rates.end() && writer->second > 0) {
    std::printf("listing log %.0fk rows/s, data-table writer %.0fk rows/s: %.2f times\n", listing->second / 1000,
                writer->second / 1000, listing->second / writer->second);
  }
  return 0;
}
