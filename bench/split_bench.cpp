// The two cutters every source line goes through: split_buffer_lines cuts a 1 MiB chunk into
// lines (against a bare memchr scan of the same chunk, the floor), and split_quoted cuts a row
// into cells (against split_string, which ignores quotes, on the same rows). Rows imitate the
// sources: comma rows with a quoted field holding commas in one row of eight, " | " rows with
// CR LF ends, and long 21-column rows with a nested cell.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/text/qz_split.h"

namespace {

constexpr size_t chunk_bytes = 1u << 20;

// A small deterministic generator, so that every run cuts the same rows.
struct row_source {
  unsigned seed = 2024;
  unsigned next(unsigned bound) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % bound;
  }
  const char* pick(const std::vector<const char*>& words) { return words[next(unsigned(words.size()))]; }
};

const std::vector<const char*> products = {"SyncDesk", "NoteHarbor", "PixelForge", "LedgerLite",
                                           "MailPost", "ZipCrate",   "VaultKey",   "PrintHub"};
const std::vector<const char*> users = {"akeller", "bnorris", "cvance", "zoë.lambert", "svc_backup"};

std::string comma_row(row_source& rng, unsigned index) {
  std::string row = "2024-02-1" + std::to_string(rng.next(10)) + ",0" + std::to_string(rng.next(10)) +
                    ":1" + std::to_string(rng.next(10)) + ":42," + rng.pick(products) + "Helper,";
  std::string path = std::string("C:\\Program Files\\") + rng.pick(products) + "\\helper.exe";
  row += index % 8 == 3 ? "\"rundll32.exe " + path + ",Start " + std::to_string(rng.next(9)) + "\"" : path;
  row += std::string(",") + rng.pick(users) + ",Microsoft\\Windows\\CurrentVersion\\Run";
  return row;
}

std::string bar_row(row_source& rng, unsigned index) {
  std::string row = "2024-02-13 | 04:37:09.426 | WiFiSession | Microsoft-Windows-WLAN-AutoConfig | " +
                    std::to_string(8000 + rng.next(4000)) + " | info | " + std::to_string(rng.next(9000)) +
                    " | " + std::to_string(rng.next(9000)) + " | 0x8000000000000000 | connect | ";
  row += index % 8 == 5 ? "\"security stop: WPA2 | key exchange timeout\"" : "connected to SSID CafeLumen";
  return row;
}

std::string wide_row(row_source& rng, unsigned) {
  std::string user = rng.pick(users);
  std::string row = "C:\\Users\\" + user + "\\AppData\\Roaming\\Microsoft\\Windows\\Recent\\budget.xlsx.lnk";
  for (int i = 0; i < 6; ++i) row += ",2024-02-26 22:0" + std::to_string(rng.next(10)) + ":08";
  row += ',';
  row += std::to_string(rng.next(9000000)) + ",fixed,7A3C-19E2,OS,C:\\Users\\" + user +
         "\\Documents\\budget.xlsx,,C:\\Users\\" + user +
         "\\Documents,,,wks-0231,{4b1f0c2e-6d3a-11ee-9c41-0800273f5a10},"
         "{4b1f0c2f-6d3a-11ee-9c41-0800273f5a10},08:00:27:3f:5a:10,"
         "!*<[type;value]><root;My Computer><volume;C:\\><folder;Users><folder;" + user +
         "><file;budget.xlsx>";
  return row;
}

using row_maker = std::string (*)(row_source&, unsigned);

std::vector<std::string> make_rows(row_maker make, unsigned count) {
  row_source rng;
  std::vector<std::string> rows;
  for (unsigned i = 0; i < count; ++i) rows.push_back(make(rng, i));
  return rows;
}

// One chunk of whole lines, about chunk_bytes long, with the kind's line end.
std::vector<u8> make_chunk(row_maker make, const char* line_end) {
  row_source rng;
  std::string text;
  for (unsigned i = 0; text.size() < chunk_bytes; ++i) text += make(rng, i) + line_end;
  return std::vector<u8>(text.begin(), text.end());
}

row_maker maker_for(int64_t kind) { return kind == 0 ? comma_row : kind == 1 ? bar_row : wide_row; }
const char* label_for(int64_t kind) { return kind == 0 ? "comma" : kind == 1 ? "bar CRLF" : "21 columns"; }
char delimiter_for(int64_t kind) { return kind == 1 ? '|' : ','; }

void memchr_lines(benchmark::State& state) {
  const auto chunk = make_chunk(maker_for(state.range(0)), state.range(0) == 1 ? "\r\n" : "\n");
  size_t lines = 0;
  for (auto _ : state) {
    const u8* at = chunk.data();
    const u8* end = at + chunk.size();
    while (const void* hit = std::memchr(at, '\n', size_t(end - at))) {
      at = static_cast<const u8*>(hit) + 1;
      ++lines;
    }
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(chunk.size()));
  state.SetLabel(label_for(state.range(0)));
}

void buffer_lines(benchmark::State& state) {
  const auto chunk = make_chunk(maker_for(state.range(0)), state.range(0) == 1 ? "\r\n" : "\n");
  const bool trim = state.range(1) != 0;
  std::vector<std::string> lines;
  for (auto _ : state) {
    u32 consumed = 0;
    split_buffer_lines(consumed, lines, chunk.data(), u32(chunk.size()), trim, false);
    benchmark::DoNotOptimize(lines.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(chunk.size()));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(lines.size()));
  state.SetLabel(label_for(state.range(0)));
}

// One cell vector reused for every row, as the dispatcher does.
template <bool quoted>
void split_rows(benchmark::State& state) {
  const auto rows = make_rows(maker_for(state.range(0)), 4096);
  const char delimiter = delimiter_for(state.range(0));
  std::vector<std::string> cells;
  size_t bytes = 0;
  for (auto _ : state) {
    for (const auto& row : rows) {
      if constexpr (quoted)
        split_quoted(row, delimiter, cells, true, true);
      else
        split_string(row, delimiter, cells, true, true, false);
      benchmark::DoNotOptimize(cells.data());
      bytes += row.size();
    }
  }
  state.SetBytesProcessed(int64_t(bytes));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(rows.size()));
  state.SetLabel(label_for(state.range(0)));
}

BENCHMARK(memchr_lines)->DenseRange(0, 2)->ArgName("kind");
BENCHMARK(buffer_lines)->ArgsProduct({{0, 1, 2}, {0, 1}})->ArgNames({"kind", "trim"});
BENCHMARK(split_rows<true>)->Name("split_quoted")->DenseRange(0, 2)->ArgName("kind");
BENCHMARK(split_rows<false>)->Name("split_string")->DenseRange(0, 2)->ArgName("kind");

}  // namespace
