// Quoted fields of source rows, read as spreadsheets write them: the first cells of a row, and
// rows whose quoted fields hold line ends, which reach the dispatcher as several lines and are
// joined back into one row within bounds. A field is quoted only when a double quote is its
// first character after blanks; inside it a doubled quote stands for a quote of the value and
// a separator or line end is text. A quote inside an unquoted field (5" disk) is text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Where a scan of a row stopped: inside a quoted field, or at the start of a field.
struct quote_scan {
  bool in_quotes = false;
  bool field_start = true;
};

// The state after text, scanned as the continuation of state. A separator of 0 cuts nothing.
quote_scan scan_quotes(std::string_view text, char separator, quote_scan state = {});

// The cell at index of a row cut at separator by the quote rule, without the blanks around it
// and without its enclosing quotes; empty when the row has fewer cells.
std::string_view bare_cell(std::string_view row, char separator, std::size_t index);
// text without the blanks (" \t\r\n") around it and then without enclosing double quotes.
std::string_view bare_text(std::string_view text);

// Joins the lines of one row whose last field opens a quote that a later line closes. The row
// is the source's text from the first line's fields to the end of the line that closes the
// quote: every line end inside it (LF, CR LF, blanks before it) stays as the source has it.
// At most max_lines lines and max_bytes bytes are held: a row that does not close within
// them, or that the caller finds too short, is handed back as the lines it came as.
class quoted_row_joiner {
 public:
  static constexpr std::size_t max_lines = 64;
  static constexpr std::size_t max_bytes = std::size_t{1} << 20;

  enum class step { held, joined, given_up };

  // True, holding the line, when line (its text) opens in its last field a quote it does not
  // close; line_end is what followed that text in the source, its line end included.
  bool start(const std::string& line, std::string_view line_end, char separator);
  // Adds the next line of the row held, as it stands in the source with its line end. joined:
  // the quote closed and row() is the whole row; given_up: the bounds were reached without
  // it, and lines() are the lines held before this one (which is not held). Call only while
  // active().
  step add(const std::string& line);
  bool active() const { return active_; }
  // The text held; the caller may cut its line end off.
  std::string& row() { return row_; }
  // The lines held, each as it stands in the source with its line end.
  std::vector<std::string>& lines() { return lines_; }
  // Holds nothing any more.
  void clear();

 private:
  bool active_ = false;
  char separator_ = 0;
  quote_scan state_;
  std::string row_;
  std::vector<std::string> lines_;
};
