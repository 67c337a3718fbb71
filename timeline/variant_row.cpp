#include "timeline/variant_row.h"

#include <bit>
#include <cmath>
#include <new>

#include "framework/text/uni_unicode.h"
#include "framework/text/qz_guid.h"
#include "framework/text/qz_hex.h"
#include "framework/text/qz_join.h"
#include "framework/text/qz_number_parse.h"
#include "framework/time/qz_time.h"
#include "framework/time/qz_time_text.h"

namespace {

constexpr i32 max_cells = 255;

// Line ends are marked only when the whole flag word asks for it, not when 0x10000 comes with
// other bits (quoting, for one).
void mark_if_asked(std::string& text, u32 flags) {
  if (flags == cell_flag_mark_line_ends) mark_line_endings(text);
}

// The empty second half of a two-column time.
void empty_cell(qz_variant_lite& cell) {
  cell.clear();
  cell.type = 0;
  cell.flags = 0;
  cell.number = 0;
  cell.times.clear();
}

// value truncated toward zero as a u64; a negative value gives the two's-complement pattern of
// its truncated value. What no 64-bit integer holds gets a defined result instead of an
// undefined conversion: NaN 0, above the u64 range the largest u64, below the i64 range the
// pattern of the smallest i64.
u64 truncated_number(double value) {
  constexpr double two_to_64 = 18446744073709551616.0;
  constexpr double minus_two_to_63 = -9223372036854775808.0;
  if (std::isnan(value)) return 0;
  if (value >= two_to_64) return ~u64{0};
  if (value >= 0) return static_cast<u64>(value);
  if (value <= minus_two_to_63) return u64{1} << 63;
  return static_cast<u64>(static_cast<i64>(value));
}

bool is_one_column_time_type(u16 type) {
  return type == 13 || type == 16 || type == 18 || type == 20 || type == 22;
}

// date and time_text of t by spec, or the default forms when there is no spec.
void format_by_spec(std::string& date, std::string& time_text, const qz::time& t, const time_format_spec* spec) {
  if (spec != nullptr) {
    format_time_text(date, time_text, t, *spec);
  } else {
    format_time_parts_ms(date, time_text, t, false);
  }
}

}  // namespace

bool is_two_cell_time_type(u16 type) {
  return type == 12 || type == 15 || type == 17 || type == 19 || type == 21;
}

u32 cell_time_kind(u16 type) {
  switch (type) {
    case 12: case 13: case 23: case 24: return time_kind_filetime;
    case 17: case 18: return time_kind_chrome;
    case 19: case 20: return time_kind_firefox;
    case 15: case 16: case 25: case 26: return time_kind_unix;
    case 21: case 22: return time_kind_cocoa;
    default: return 0;
  }
}

std::string quote_cell_text(const std::string& text, u32 flags) {
  if ((flags & cell_flag_quoted) == 0) return text;
  // A JSON object is already its own quoted value.
  if (text.size() >= 3 && text[0] == '{' && text[1] == '"') return text;
  return csv_quoted(text);
}

bool is_quoted_field(const std::string& text) {
  if (text.size() < 2 || text.front() != '"' || text.back() != '"') return false;
  for (size_t k = 1; k + 1 < text.size(); ++k) {
    if (text[k] != '"') continue;
    if (k + 2 >= text.size() || text[k + 1] != '"') return false;
    ++k;
  }
  return true;
}

std::string quoted_field_value(const std::string& text) {
  std::string value;
  value.reserve(text.size());
  for (size_t k = 1; k + 1 < text.size(); ++k) {
    value += text[k];
    if (text[k] == '"') ++k;
  }
  return value;
}

std::string csv_field_text(const std::string& text, const std::string& separator) {
  const bool needs_quotes = (!text.empty() && text.front() == '"') || text.find_first_of("\r\n") != std::string::npos ||
                            (!separator.empty() && text.find(separator) != std::string::npos);
  return needs_quotes ? csv_quoted(text) : text;
}

variant_row::variant_row(i32 count_wanted, bool clear) { init(count_wanted, clear); }

variant_row::variant_row(i32 count_wanted, bool clear, u32 flags) {
  init(count_wanted, clear);
  default_flags = flags;
}

bool variant_row::init(i32 count_wanted, bool clear) {
  valid = 0;
  count = 0;
  default_flags = 0;
  cells.clear();
  if (count_wanted < 1 || count_wanted > max_cells) return false;
  try {
    cells.resize(static_cast<size_t>(count_wanted));
  } catch (const std::bad_alloc&) {
    cells.clear();
    return false;
  }
  if (clear) {
    for (qz_variant_lite& cell : cells) {
      cell.text.clear();
      cell.type = variant_text;
      cell.flags = 0;
    }
  }
  valid = 1;
  count = count_wanted;
  return true;
}

void variant_row::reset() {
  if (valid == 1) {
    for (qz_variant_lite& cell : cells) cell.clear();
    return;
  }
  valid = 0;
  count = 0;
  cells.clear();
  default_flags = 0;
}

qz_variant_lite* variant_row::begin_set(i32 index, u16 type, u32& flags) {
  if (valid != 1 || index < 0 || index >= count || static_cast<size_t>(index) >= cells.size() ||
      type > cell_type_max) {
    return nullptr;
  }
  flags |= default_flags;
  qz_variant_lite& cell = cells[static_cast<size_t>(index)];
  cell.clear();
  return &cell;
}

bool variant_row::clear_next(i32 index) {
  const i32 next = index + 1;
  if (next >= count || static_cast<size_t>(next) >= cells.size()) return false;
  empty_cell(cells[static_cast<size_t>(next)]);
  return true;
}

int variant_row::set_number(i32 index, u64 value, u16 type, u32 flags) {
  qz_variant_lite* cell = begin_set(index, type, flags);
  if (cell == nullptr) return 1;
  cell->number = value;
  cell->type = type;
  cell->flags = flags;
  if (is_two_cell_time_type(type) && clear_next(index)) return 2;
  return 1;
}

int variant_row::set_bytes(i32 index, const std::vector<u8>& bytes, u16 type, u32 flags) {
  qz_variant_lite* cell = begin_set(index, type, flags);
  if (cell == nullptr) return 1;
  if (type == variant_text) {
    cell->text = quote_cell_text(std::string(bytes.begin(), bytes.end()), flags);
  } else {
    cell->bytes = bytes;
  }
  cell->type = type;
  cell->flags = flags;
  return 1;
}

int variant_row::set_buffer(i32 index, const u8* data, i32 length, u16 type, u32 flags) {
  if (data == nullptr || length < 1) return 1;
  return set_bytes(index, std::vector<u8>(data, data + length), type, flags);
}

int variant_row::set_string(i32 index, const std::string& text, u32 flags) {
  qz_variant_lite* cell = begin_set(index, variant_text, flags);
  if (cell == nullptr) return 1;
  cell->text = quote_cell_text(text, flags);
  cell->type = variant_text;
  cell->flags = flags;
  return 1;
}

int variant_row::set_wtext(i32 index, const std::wstring& text, u16 type, u32 flags) {
  return set_text(index, wstring_to_utf8(text), type, flags);
}

int variant_row::set_text(i32 index, const std::string& text, u16 type, u32 flags) {
  qz_variant_lite* cell = begin_set(index, type, flags);
  if (cell == nullptr) return 1;
  cell->text = quote_cell_text(text, flags);
  mark_if_asked(cell->text, flags);
  cell->type = type;
  cell->flags = flags;
  return 1;
}

int variant_row::set_time_double(i32 index, u16 type, u32 flags, double value) {
  if (type == variant_safari_time || type == variant_safari_time + 1) {
    const qz::time t(value, time_kind_cocoa);
    return set_number(index, t.filetime, type == variant_safari_time ? u16{12} : u16{13}, flags);
  }
  return set_number(index, truncated_number(value), type, flags);
}

int variant_row::set_time_list(i32 index, const std::set<u64>& times, u16 type, u32 flags) {
  qz_variant_lite* cell = begin_set(index, type, flags);
  if (cell == nullptr) return 1;
  cell->times.assign(times.begin(), times.end());
  if (cell->times.empty()) cell->times.push_back(0);
  cell->number = flags == cell_flag_last_of_list ? cell->times.back() : cell->times.front();
  cell->type = type;
  cell->flags = flags;
  const bool had_next = clear_next(index);
  return is_two_cell_time_type(type) && had_next ? 2 : 1;
}

int variant_row::set_time_text(i32 index, u64 value, u16 type, u32 flags, const time_format_spec* spec) {
  qz_variant_lite* cell = begin_set(index, type, flags);
  if (cell == nullptr) return 1;
  if (is_two_cell_time_type(type)) return -1;
  cell->number = value;
  cell->type = type;
  cell->flags = 0;
  if (!is_one_column_time_type(type)) return -1;
  const qz::time t(value, cell_time_kind(type));
  if (!t.valid) return 1;
  std::string date;
  std::string time_text;
  format_by_spec(date, time_text, t, spec);
  std::string text = date + " " + time_text;
  if ((flags & cell_flag_quoted) != 0) text = csv_quoted(text);
  cell->text = std::move(text);
  cell->type = variant_text;
  return 1;
}

int variant_row::set_from_stream(i32 index, const std::ostringstream& stream, u16 type, u32 flags) {
  qz_variant_lite* cell = begin_set(index, type, flags);
  if (cell == nullptr) return 1;
  switch (type) {
    case 1: case 2: case 4: case 8: case 12: case 13: case 15: case 16: case 17: case 18: case 21: case 22:
    case 23: case 24: case 25: case 26: {
      u64 number = 0;
      parse_u64_string(stream.str(), number);
      cell->number = number;
      break;
    }
    case 11: case 30:
      cell->text = quote_cell_text(stream.str(), flags);
      mark_if_asked(cell->text, flags);
      break;
    default:
      return 0;
  }
  cell->type = type;
  cell->flags = flags;
  return 1;
}

int variant_row::parse_cell(i32 index, const std::string& text, const std::vector<qz_variant_lite>& column_template,
                            const time_format_spec* spec, const cell_text_callback& first,
                            const cell_text_callback& second) {
  if (valid != 1 || index < 0 || index >= count || static_cast<size_t>(index) >= cells.size() ||
      column_template.size() < static_cast<size_t>(index) + 1) {
    return -1;
  }
  const qz_variant_lite& model = column_template[static_cast<size_t>(index)];
  if (model.type > cell_type_max) return -1;
  qz_variant_lite& cell = cells[static_cast<size_t>(index)];
  cell = model;
  cell.bytes.clear();
  cell.text = text;
  cell.number = 0;
  cell.times.clear();

  const u16 type = cell.type;
  if (is_one_column_time_type(type)) {
    const u32 kind = cell_time_kind(type);
    std::string date;
    std::string time_text;
    if ((cell.flags & cell_flag_double_bits) != 0) {
      double seconds = 0;
      parse_double(text.c_str(), seconds);
      cell.number = std::bit_cast<u64>(seconds);
      const qz::time t(seconds, kind);
      if (seconds < 0 || t.valid) format_time_text(date, time_text, t, spec != nullptr ? *spec : time_format_spec{});
    } else {
      u64 number = 0;
      parse_u64_string(text, number);
      cell.number = number;
      const qz::time t(number, kind);
      if (t.valid) format_time_text(date, time_text, t, spec != nullptr ? *spec : time_format_spec{});
    }
    if (date.empty()) return 1;
    std::string shown = text + ": " + date + " " + time_text;
    if ((cell.flags & cell_flag_quoted) != 0) shown = csv_quoted(shown);
    cell.text = std::move(shown);
    return 1;
  }
  switch (type) {
    case variant_guid:
      if (text.size() == 16) cell.text = guid_to_string(guid_t(reinterpret_cast<const u8*>(text.data())));
      return 1;
    case variant_hex_bytes:
    case variant_hex_bytes + 1:
      cell.text = byte_vector_to_hex(std::vector<u8>(text.begin(), text.end()), " ");
      return 1;
    case variant_text:
      if ((cell.flags & cell_flag_first_callback) != 0 && first) {
        first(cell.text, text);
      } else if ((cell.flags & cell_flag_second_callback) != 0 && second) {
        second(cell.text, text);
      }
      return 1;
    default:
      return 1;
  }
}
