// The JSON writer's hot path: json_escape_append on values against a plain append of the same
// bytes, and whole record objects (ten columns of dates, names, paths and numbers) written by
// json_write_record into a discarding stream. Bytes count the row's cells, as read.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "framework/text/qz_null_stream.h"
#include "tool/json_writer.h"

namespace {

std::string make_value(std::size_t size, bool with_specials) {
  static const char clean_text[] = "Users/analyst/Library/Caches/Evidence 2023-04-01 12:00:00 ";
  static const char special_text[] = "\\\"\t\xE9\xC3\xA9";
  std::string value;
  value.reserve(size);
  for (std::size_t i = 0; value.size() < size; ++i) {
    if (with_specials && i % 8 == 5)
      value.push_back(special_text[(i / 8) % (sizeof special_text - 1)]);
    else
      value.push_back(clean_text[i % (sizeof clean_text - 1)]);
  }
  return value;
}

template <class Work>
void run_values(benchmark::State& state, bool with_specials, Work work) {
  std::vector<std::string> values;
  for (int i = 0; i < 64; ++i) values.push_back(make_value(std::size_t(state.range(0)), with_specials));
  std::string out;
  std::size_t bytes = 0;
  for (auto _ : state) {
    out.clear();
    for (const auto& value : values) {
      work(out, value);
      bytes += value.size();
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(bytes));
}

void plain_append(benchmark::State& state) {
  run_values(state, false, [](std::string& out, const std::string& v) { out.append(v); });
}
void escape_clean(benchmark::State& state) {
  run_values(state, false,
             [](std::string& out, const std::string& v) { json_escape_append(out, v, true); });
}
void escape_with_specials(benchmark::State& state) {
  run_values(state, true,
             [](std::string& out, const std::string& v) { json_escape_append(out, v, true); });
}

void write_records(benchmark::State& state) {
  quazel_tool_metadata ctx;
  ctx.to_json = 1;
  ctx.flat = static_cast<u8>(state.range(0));
  ctx.separator.assign(1, ',');
  ctx.columns = {"Date",  "Time",  "Computer", "User", "Path",
                 "Size",  "Flags", "Hash",     "Note", "Record"};
  ctx.first_header_pending = 0;
  const std::vector<std::string> row = {
      "2023-04-01", "12:00:00.123", "WORKSTATION-7", "analyst",
      "C:\\Users\\analyst\\AppData\\Local\\Temp\\setup.exe", "1048576", "0x00000020",
      "d41d8cd98f00b204e9800998ecf8427e", "opened by \"explorer\"", "184467"};
  std::size_t row_bytes = 0;
  for (const auto& cell : row) row_bytes += cell.size() + 1;
  std::vector<std::string> cells;
  std::size_t bytes = 0;
  for (auto _ : state) {
    cells = row;
    json_write_record(null_out, cells, ctx);
    bytes += row_bytes;
  }
  state.SetBytesProcessed(int64_t(bytes));
}

}  // namespace

BENCHMARK(plain_append)->Arg(16)->Arg(256);
BENCHMARK(escape_clean)->Arg(16)->Arg(256);
BENCHMARK(escape_with_specials)->Arg(16)->Arg(256);
BENCHMARK(write_records)->Arg(0)->Arg(1);
