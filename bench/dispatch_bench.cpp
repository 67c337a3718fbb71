// Throughput of "-csv_to_html": the line dispatcher and the HTML writer on a 1 MiB chunk of
// realistic rows held in memory, and the whole conversion of a file, both writing through the
// buffered file stream into /dev/null. Bytes counted are bytes of source.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/io/uni_fileio.h"
#include "framework/io/uni_output.h"
#include "tool/csv_driver.h"
#include "tool/csv_writers.h"
#include "tool/quazel_tool_metadata.h"

namespace {

const char* const header_row =
    "Date,Time,Event ID,Channel,Computer,User,Process,Path,Command line,Description";

// Event-log-like rows of 10 fields: times, numbers, names, Windows paths with backslashes and
// now and then text that must be escaped.
std::vector<std::string> make_rows(size_t bytes) {
  std::vector<std::string> rows;
  unsigned seed = 12345;
  size_t total = 0;
  for (unsigned n = 0; total < bytes; ++n) {
    seed = seed * 1103515245u + 12345u;
    unsigned pick = (seed >> 16) % 100;
    std::string row = "2024-03-" + std::to_string(10 + n % 18) + ",12:" +
                      std::to_string(10 + n % 50) + ":" + std::to_string(10 + pick % 50) +
                      ".123," + std::to_string(4000 + pick) +
                      ",Security,WKS-0042.corp.example,CORP\\analyst" + std::to_string(pick % 7) +
                      ",svchost.exe,C:\\Windows\\System32\\svchost.exe,";
    row += pick < 10 ? "\"cmd.exe /c echo <x> & exit\"" : "svchost.exe -k netsvcs -p";
    row += pick < 5 ? ",Logon of user 'admin' from 10.0.0.5" : ",An account was successfully logged on";
    row += '\n';  // the reader hands lines over with their line ends
    total += row.size();
    rows.push_back(std::move(row));
  }
  return rows;
}

void set_html_source(quazel_tool_metadata& ctx, const std::string& path) {
  ctx.clear_find_signature_vars();
  ctx.status_display = 0;
  ctx.to_html = 1;
  ctx.csv_source = path;
  ctx.separator = ',';
  ctx.first_column_name = "Date";
  ctx.columns.clear();
  ctx.source_columns.clear();
  for (const char* name : {"Date", "Time", "Event ID", "Channel", "Computer", "User", "Process",
                           "Path", "Command line", "Description"}) {
    ctx.columns.push_back(name);
    ctx.source_columns.emplace_back(name, 0);
  }
}

u64 source_bytes(const std::vector<std::string>& rows) {
  u64 bytes = 0;
  for (const std::string& row : rows) bytes += row.size();
  return bytes;
}

void dispatch_chunk(benchmark::State& state) {
  const std::vector<std::string> rows = make_rows(1u << 20);
  uni::fileio sink("/dev/null", true, false, false);
  std::ostream* out = sink.get_output_stream();
  if (out == nullptr) {
    state.SkipWithError("cannot write /dev/null");
    return;
  }
  quazel_tool_metadata ctx;
  set_html_source(ctx, "bench.csv");
  ctx.out = out;
  csv_dispatch dispatch(ctx, active_csv_writer(ctx));
  std::vector<std::string> header = {std::string(header_row) + "\n"};
  dispatch_csv_lines(dispatch, header, 1);

  std::vector<std::string> chunk = rows;
  u64 bytes = 0;
  for (auto _ : state) {
    // The dispatcher cuts the line ends off the lines it is handed, as the reader's are.
    state.PauseTiming();
    chunk = rows;
    state.ResumeTiming();
    dispatch_csv_lines(dispatch, chunk, static_cast<u32>(chunk.size()));
    bytes += source_bytes(chunk);
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["rows"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(rows.size()),
      benchmark::Counter::kIsRate);
}

void convert_file(benchmark::State& state) {
  char pattern[] = "/tmp/dispatch_bench_XXXXXX";
  int fd = mkstemp(pattern);
  if (fd < 0) {
    state.SkipWithError("cannot create the source");
    return;
  }
  std::string block = std::string(header_row) + "\n";
  for (const std::string& row : make_rows(8u << 20)) block += row;
  for (int i = 0; i < 8; ++i) {
    if (write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) std::abort();
  }
  close(fd);

  quazel_tool_metadata ctx;
  u64 bytes = 0;
  for (auto _ : state) {
    set_html_source(ctx, pattern);
    uni::fileio sink("/dev/null", true, false, false);
    std::ostream* out = sink.get_output_stream();
    if (out == nullptr || convert_csv_file(*out, ctx, active_csv_writer(ctx)) != csv_conversion::converted) {
      state.SkipWithError("conversion failed");
      break;
    }
    bytes += block.size() * 8;
  }
  unlink(pattern);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

BENCHMARK(dispatch_chunk)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(convert_file)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
