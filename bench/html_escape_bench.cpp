// html_escape on HTML cells against a plain copy of the same text. Cells come in three sizes
// (a short field, a path-like field, a long free-text field), either clean or with a character
// to escape in every 8 bytes.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "framework/text/qz_html_escape.h"

namespace {

std::string make_cell(std::size_t size, bool with_specials) {
  static const char clean_text[] = "Users/analyst/Library/Caches/Evidence 2023-04-01 12:00:00 ";
  static const char special_text[] = "a<b>c&d\"e'f\r\ng";
  std::string cell;
  cell.reserve(size);
  for (std::size_t i = 0; cell.size() < size; ++i) {
    if (with_specials && i % 8 == 5)
      cell.push_back(special_text[(i / 8) % (sizeof special_text - 1)]);
    else
      cell.push_back(clean_text[i % (sizeof clean_text - 1)]);
  }
  return cell;
}

// 64 distinct cells so that the loop does not keep one string hot in a register.
std::vector<std::string> make_cells(std::size_t size, bool with_specials) {
  std::vector<std::string> cells;
  for (int i = 0; i < 64; ++i) {
    std::string cell = make_cell(size, with_specials);
    cell[0] = char('A' + i % 26);
    cells.push_back(std::move(cell));
  }
  return cells;
}

template <class Work>
void run_cells(benchmark::State& state, bool with_specials, Work work) {
  const auto cells = make_cells(std::size_t(state.range(0)), with_specials);
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (const auto& cell : cells) {
      std::string out = work(cell);
      benchmark::DoNotOptimize(out.data());
      bytes += cell.size();
    }
  }
  state.SetBytesProcessed(int64_t(bytes));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(cells.size()));
}

void plain_copy_clean(benchmark::State& state) {
  run_cells(state, false, [](const std::string& cell) { return std::string(cell); });
}
void html_escape_clean(benchmark::State& state) {
  run_cells(state, false, [](const std::string& cell) { return html_escape(cell); });
}
void plain_copy_with_specials(benchmark::State& state) {
  run_cells(state, true, [](const std::string& cell) { return std::string(cell); });
}
void html_escape_with_specials(benchmark::State& state) {
  run_cells(state, true, [](const std::string& cell) { return html_escape(cell); });
}

}  // namespace

BENCHMARK(plain_copy_clean)->Arg(12)->Arg(80)->Arg(4096);
BENCHMARK(html_escape_clean)->Arg(12)->Arg(80)->Arg(4096);
BENCHMARK(plain_copy_with_specials)->Arg(12)->Arg(80)->Arg(4096);
BENCHMARK(html_escape_with_specials)->Arg(12)->Arg(80)->Arg(4096);
