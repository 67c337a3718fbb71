// variant_row: one timeline record held as 1 to 255 typed cells (qz_variant_lite), filled cell
// by cell through typed setters that apply the quoting and line-end rules, then rendered by the
// row writer (variant_render.h) against a column template. Every setter ORs the row's
// default_flags into its flag word, acts only on a valid row at an index below count with a
// type code up to 31, and clears the target cell before it stores anything. A setter that
// refuses its arguments changes nothing and still returns 1 (parse_cell returns -1).
#pragma once

#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"
#include "framework/time/qz_variant.h"
#include "framework/time/qz_time_format.h"

// Flag bits of a row cell that the setters and the row writer act on. The low byte is the
// cell's generic_hdr field code. "exactly" flags count only when the whole flag word equals them.
inline constexpr u32 cell_field_code_mask = 0xFF;
inline constexpr u32 cell_flag_first_callback = 0x100;
inline constexpr u32 cell_flag_last_of_list = 0x2000;     // exactly
inline constexpr u32 cell_flag_whole_list = 0x4000;       // exactly
inline constexpr u32 cell_flag_quoted = 0x8000;
inline constexpr u32 cell_flag_mark_line_ends = 0x10000;  // exactly
inline constexpr u32 cell_flag_second_callback = 0x20000;
inline constexpr u32 cell_flag_double_bits = 0x40000;
inline constexpr u32 cell_flag_right_aligned = 0x80000;
inline constexpr u32 cell_flag_hex_with_decimal = 0x100000;
inline constexpr u32 cell_flag_hex_to_width = 0x400000;   // for type 14: exactly
inline constexpr u32 cell_flag_cut_text = 0x1000000;
inline constexpr u32 cell_flag_centred = 0x2000000;
inline constexpr u32 cell_flag_zero_blank = 0x4000000;
inline constexpr u32 cell_flag_no_fraction = 0x8000000;
inline constexpr u32 cell_flag_arrow_prefix = 0x10000000;
inline constexpr u32 cell_flag_blank_prefix = 0x20000000;
inline constexpr u32 cell_flag_decimal = 0x40000000;
inline constexpr u32 cell_flag_plain_hex = 0x80000000;

// The highest cell type code; higher codes are refused.
inline constexpr u16 cell_type_max = 31;

// Whether type is one of the two-column time types (12, 15, 17, 19, 21), whose time half takes
// the next cell.
bool is_two_cell_time_type(u16 type);
// The time kind of a time type code as the row writer reads it (1 for 12, 13, 23, 24; 2 for 17,
// 18; 4 for 19, 20; 8 for 15, 16, 25, 26; 0x40000 for 21, 22); 0 for any other code.
u32 cell_time_kind(u16 type);

// A text callback of parse_cell: fills the cell's text from the input text.
using cell_text_callback = std::function<void(std::string& cell_text, const std::string& input)>;

class variant_row {
 public:
  // An empty, invalid row.
  variant_row() = default;
  // init(count, clear).
  variant_row(i32 count, bool clear);
  // init(count, clear), then default_flags.
  variant_row(i32 count, bool clear, u32 flags);

  // Rebuilds the row for count cells (default cells; with clear each an empty type-11 text),
  // valid 1, default_flags 0. A count outside 1..255, or cells that cannot be allocated: false,
  // the row invalid and empty (count 0, no cells, default_flags 0).
  bool init(i32 count, bool clear);
  // A valid row: every cell cleared, count and default_flags kept. An invalid row: emptied,
  // default_flags 0.
  void reset();

  // number = value with type and flags. 2 when a two-cell type also emptied the next cell.
  int set_number(i32 index, u64 value, u16 type, u32 flags);
  // Type 11: the bytes as text (quoted under 0x8000); other types: the byte list. 1.
  int set_bytes(i32 index, const std::vector<u8>& bytes, u16 type, u32 flags);
  // set_bytes of length bytes at data; a null data or a length below 1 changes nothing.
  int set_buffer(i32 index, const u8* data, i32 length, u16 type, u32 flags);
  // The text (quoted under 0x8000) as type 11; line ends are not marked. 1.
  int set_string(i32 index, const std::string& text, u32 flags);
  // set_text of the text's UTF-8 form.
  int set_wtext(i32 index, const std::wstring& text, u16 type, u32 flags);
  // The text (quoted under 0x8000, line ends marked when flags are exactly 0x10000) with the
  // given type, whatever that type is. 1.
  int set_text(i32 index, const std::string& text, u16 type, u32 flags);
  // set_number of the double truncated toward zero (negative: its two's-complement pattern; NaN
  // 0; beyond the 64-bit range the largest u64 or the smallest i64's pattern); types 21 and 22
  // take it as safari seconds with fraction and store its FILETIME as type 12 or 13.
  int set_time_double(i32 index, u16 type, u32 flags, double value);
  // The times ascending into the number list ({0} for none), number = the first (the last when
  // flags are exactly 0x2000); always empties the next cell. 2 for a two-cell type that had one.
  int set_time_list(i32 index, const std::set<u64>& times, u16 type, u32 flags);
  // The one-column time types 13, 16, 18, 20, 22: the value's "date time" text by spec (the
  // default forms for a null spec) as type 11, quoted under 0x8000; 1. An invalid time leaves
  // a time cell of the type with flag word 0, 1. Other types: -1.
  int set_time_text(i32 index, u64 value, u16 type, u32 flags, const time_format_spec* spec);
  // The stream's text: parsed as a number for the integer and time types that take one, as
  // text for 11 and 30; 1. Type 31 and the other types: 0, the cell left cleared.
  int set_from_stream(i32 index, const std::ostringstream& stream, u16 type, u32 flags);
  // The cell becomes a copy of template cell index holding text, then the text is read by the
  // template's type (times get ": date time" appended, GUIDs and bytes their text form, type 11
  // goes through a callback chosen by the flags 0x100 and 0x20000). -1, nothing changed, for a
  // refused index, a template shorter than index + 1 or a type above 31; else 1.
  int parse_cell(i32 index, const std::string& text, const std::vector<qz_variant_lite>& column_template,
                 const time_format_spec* spec, const cell_text_callback& first, const cell_text_callback& second);

  u32 valid = 0;
  i32 count = 0;
  std::vector<qz_variant_lite> cells;
  u32 default_flags = 0;

 private:
  // The common start of the setters: the cell to fill (cleared) and the combined flag word, or
  // null when the arguments are refused.
  qz_variant_lite* begin_set(i32 index, u16 type, u32& flags);
  // Empties cell index + 1 when there is one; whether there was.
  bool clear_next(i32 index);
};

// The quoting rule of the setters: under 0x8000 the text as one CSV field (csv_quoted: wrapped in
// double quotes, those inside doubled), unless it is at least 3 characters and begins with an
// opening brace and a double quote.
std::string quote_cell_text(const std::string& text, u32 flags);
// Whether text is one whole quoted CSV field: wrapped in double quotes, every quote inside doubled.
bool is_quoted_field(const std::string& text);
// The value of a whole quoted field (is_quoted_field): the outer quotes dropped, inner pairs made one.
std::string quoted_field_value(const std::string& text);
// text as a CSV writer puts it between separators: unchanged when a reader gets it back as it
// is, else quoted (csv_quoted). It needs the quotes when it holds the separator, a CR or an LF,
// or begins with a double quote.
std::string csv_field_text(const std::string& text, const std::string& separator);
