#include "framework/text/qz_packed_cell_rows.h"

#include <utility>

size_t packed_cell_rows::add(const std::vector<std::string>& cells) {
  for (const std::string& cell : cells) {
    text_ += cell;
    cell_ends_.push_back(text_.size());
  }
  row_ends_.push_back(cell_ends_.size());
  return first_row_ + row_ends_.size() - 1;
}

size_t packed_cell_rows::take(std::vector<std::string>& cells) {
  size_t bytes = 0;
  for (const std::string& cell : cells) bytes += cell.size();
  if (bytes <= own_row_bytes) return add(cells);
  own_rows_.push_back({row_ends_.size(), std::move(cells)});
  cells.clear();
  own_bytes_ += bytes;
  row_ends_.push_back(cell_ends_.size());
  return first_row_ + row_ends_.size() - 1;
}

void packed_cell_rows::clear() {
  first_row_ += row_ends_.size();
  text_.clear();
  cell_ends_.clear();
  row_ends_.clear();
  own_rows_.clear();
  own_bytes_ = 0;
}

void packed_cell_rows::take_rows_of(packed_cell_rows& from) {
  clear();
  text_.swap(from.text_);
  cell_ends_.swap(from.cell_ends_);
  row_ends_.swap(from.row_ends_);
  own_rows_.swap(from.own_rows_);
  std::swap(own_bytes_, from.own_bytes_);
  first_row_ = from.first_row_;
  from.first_row_ += row_ends_.size();
}

