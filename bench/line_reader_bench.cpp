// Throughput of the chunked line reader over a file in the page cache, against reading
// the same file raw in 1 MiB pieces (what `cat file > /dev/null` does).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/io/uni_fileio.h"

namespace {

constexpr size_t file_bytes = 256u << 20;

// A CSV-like file of rows between 40 and 200 bytes, made once per run.
const std::string& source_path() {
  static const std::string path = [] {
    char pattern[] = "/tmp/line_reader_bench_XXXXXX";
    int fd = mkstemp(pattern);
    if (fd < 0) std::abort();
    std::string block;
    unsigned seed = 12345;
    while (block.size() < (8u << 20)) {
      seed = seed * 1103515245u + 12345u;
      size_t width = 40 + (seed >> 16) % 160;
      std::string row = "2024-01-01 00:00:00|artifact|";
      while (row.size() < width) row += "field value|";
      row.resize(width);
      row += "\r\n";
      block += row;
    }
    for (size_t written = 0; written < file_bytes; written += block.size()) {
      if (write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) std::abort();
    }
    close(fd);
    std::atexit([] { unlink(source_path().c_str()); });
    return std::string(pattern);
  }();
  return path;
}

void raw_read(benchmark::State& state) {
  std::vector<char> buffer(1 << 20);
  u64 total = 0;
  for (auto _ : state) {
    int fd = open(source_path().c_str(), O_RDONLY);
    ssize_t n;
    while ((n = read(fd, buffer.data(), buffer.size())) > 0) total += static_cast<u64>(n);
    close(fd);
  }
  state.SetBytesProcessed(static_cast<int64_t>(total));
}

u64 count_lines(uni::fileio&, u64 context, std::vector<std::string>& lines, u32 count, u64) {
  u64* total = reinterpret_cast<u64*>(context);
  *total += count;
  benchmark::DoNotOptimize(lines.data());
  return count;
}

void line_reader(benchmark::State& state) {
  u64 bytes = 0;
  u64 lines = 0;
  for (auto _ : state) {
    uni::fileio file(source_path(), false, true, false);
    file.for_each_line(count_lines, reinterpret_cast<u64>(&lines), state.range(0) != 0, false,
                       false, uni::fileio::all_lines, true);
    bytes += file.get_size();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["lines"] = benchmark::Counter(static_cast<double>(lines),
                                               benchmark::Counter::kIsRate);
}

BENCHMARK(raw_read)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(line_reader)->Arg(0)->Arg(1)->ArgName("trim")->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
