// Rows of cells kept for a batch writer: packed_cell_rows holds the cells of many rows in one
// text, row_cells shows one row's cells wherever they are kept. The SQLite store and the split
// files both collect their rows in them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The cells of many rows in one text, each row's cells back to back, with where every cell and
// every row ends: rows added here cost no allocation per cell, and a batch reads its cells in
// the order they lie in memory. A long row handed over keeps its own strings instead, so that
// it is never copied. Every row added gets a number never given before by this object, so that
// a row emptied away can never be mistaken for a later one.
class packed_cell_rows {
 public:
  // Rows of more cell bytes than this, handed over, keep their own strings.
  static constexpr size_t own_row_bytes = size_t(1) << 20;

  // Adds a row of cells (copied); returns its number.
  size_t add(const std::vector<std::string>& cells);
  // add, but a row of more than own_row_bytes bytes of cells takes the strings of cells over,
  // leaving cells empty; a shorter row is copied and cells left as they were.
  size_t take(std::vector<std::string>& cells);
  // Whether the row numbered row is held (added and not yet emptied away).
  bool holds(size_t row) const { return row >= first_row_ && row - first_row_ < row_ends_.size(); }
  // For a held row: its number of cells, and its cell i (valid until the next add or clear).
  size_t cell_count(size_t row) const {
    if (const std::vector<std::string>* own = own_row(row - first_row_)) return own->size();
    return row_ends_[row - first_row_] - first_cell(row - first_row_);
  }
  std::string_view cell(size_t row, size_t i) const {
    if (const std::vector<std::string>* own = own_row(row - first_row_)) return (*own)[i];
    const size_t index = first_cell(row - first_row_) + i;
    const size_t start = index == 0 ? 0 : cell_ends_[index - 1];
    return std::string_view(text_).substr(start, cell_ends_[index] - start);
  }
  // No rows held; the storage of the text is kept for the next ones.
  void clear();
  // Bytes of cell text held.
  size_t text_bytes() const { return text_.size() + own_bytes_; }
  // Moves every row of from into this object, whose own rows are dropped: the rows keep their
  // numbers, and from holds none and goes on numbering after them. The storage is exchanged,
  // not copied.
  void take_rows_of(packed_cell_rows& from);

 private:
  size_t first_cell(size_t index) const { return index == 0 ? 0 : row_ends_[index - 1]; }
  // The strings of the row at index when it keeps its own; null for a packed row.
  const std::vector<std::string>* own_row(size_t index) const {
    if (own_rows_.empty()) return nullptr;
    const auto found = std::lower_bound(own_rows_.begin(), own_rows_.end(), index,
                                        [](const own_strings& own, size_t at) { return own.index < at; });
    return found != own_rows_.end() && found->index == index ? &found->cells : nullptr;
  }
  struct own_strings {
    size_t index;  // in row_ends_, where the row has no cells of the text
    std::vector<std::string> cells;
  };
  std::string text_;
  std::vector<size_t> cell_ends_;  // end of each cell in text_
  std::vector<size_t> row_ends_;   // end of each held row's cells in cell_ends_
  std::vector<own_strings> own_rows_;  // the rows that keep their strings, by index
  size_t own_bytes_ = 0;               // their cells' bytes
  size_t first_row_ = 0;           // number of the first held row
};

// The cells of one waiting row, wherever they are kept; valid while they are.
class row_cells {
 public:
  explicit row_cells(const std::vector<std::string>& strings) : strings_(&strings) {}
  row_cells(const packed_cell_rows& packed, size_t row) : packed_(&packed), row_(row) {}
  size_t size() const { return strings_ != nullptr ? strings_->size() : packed_->cell_count(row_); }
  std::string_view operator[](size_t i) const {
    return strings_ != nullptr ? std::string_view((*strings_)[i]) : packed_->cell(row_, i);
  }

 private:
  const std::vector<std::string>* strings_ = nullptr;
  const packed_cell_rows* packed_ = nullptr;
  size_t row_ = 0;
};
