#include "framework/text/qz_text_layout.h"

#include <algorithm>
#include <iomanip>
#include <sstream>

#include "framework/text/uni_unicode.h"
#include "framework/text/qz_replace.h"
#include "framework/text/qz_search.h"
#include "framework/text/qz_string.h"

namespace {

constexpr u32 default_tab_width = 4;
constexpr const char* last_separator_blanks = "   ";

// Where the TABs and the line ends of a text stand, in units from its start.
struct tab_layout {
  std::vector<u32> tabs;
  std::vector<u32> line_ends;
  u32 line_end_width = 0;
};

// Expands the TABs of a text of count units. copy(from, to) appends units [from, to) and
// blanks(n) appends n blanks.
template <typename Copy, typename Blanks>
void expand_with_layout(const tab_layout& layout, u32 count, u32 tab_width, Copy copy,
                        Blanks blanks) {
  if (tab_width == 0) tab_width = default_tab_width;
  size_t next_line_end = 0;
  u32 line_start = 0, extra = 0, copied_to = 0;
  for (const u32 tab : layout.tabs) {
    while (next_line_end < layout.line_ends.size() && layout.line_ends[next_line_end] < tab) {
      line_start = layout.line_ends[next_line_end++] + layout.line_end_width;
      extra = 0;
    }
    const u32 column = tab - line_start + extra;
    copy(copied_to, tab);
    const u32 fill = tab_width - column % tab_width;
    blanks(fill);
    extra += fill - 1;
    copied_to = tab + 1;
  }
  copy(copied_to, count);
}

template <typename Text>
u32 length_u32(const Text& text) {
  return static_cast<u32>(text.size());
}

// The part both column formatters share: empties offsets and widths_by_name, writes each cell
// (as bytes_of gives it) left-aligned in its width and followed by separator_bytes, records
// offsets, widths and the widths by name (name_of trims and folds a copy of the cell) and
// replaces widths. A cell's width counts its own characters. False for no cells.
template <typename Text, typename BytesOf, typename NameOf>
bool write_column_cells(std::ostringstream& line, std::vector<u32>& offsets,
                        std::map<Text, u32>& widths_by_name, std::vector<u32>& widths,
                        const std::vector<Text>& cells, const std::string& separator_bytes,
                        BytesOf bytes_of, NameOf name_of) {
  offsets.clear();
  widths_by_name.clear();
  if (cells.empty()) return false;
  line.fill(' ');
  line << std::left;
  offsets.push_back(0);
  const bool minimum_widths = widths.size() == cells.size();
  std::vector<u32> used_widths;
  u32 position = 0;
  for (size_t i = 0; i < cells.size(); ++i) {
    const u32 own = length_u32(cells[i]);
    const u32 width = minimum_widths ? std::max(own, widths[i]) : own;
    position += length_u32(separator_bytes) + width;
    offsets.push_back(position);
    used_widths.push_back(width);
    line << std::setw(static_cast<int>(width)) << bytes_of(cells[i]) << separator_bytes;
    Text name = cells[i];
    u32& known = widths_by_name[name_of(name)];
    known = std::max(known, width);
  }
  widths = std::move(used_widths);
  return true;
}

}  // namespace

void write_padding(std::ostream& out, u32 n) {
  out.fill(' ');
  if (n == 0) return;
  out << std::setw(static_cast<int>(n)) << ' ';
}

std::string dash_line(u32 n) { return std::string(n, '-'); }

bool layout_columns(std::ostream& out, std::vector<u32>& offsets,
                    std::map<std::string, u32>& widths_by_name, std::vector<u32>& widths,
                    const std::vector<std::string>& cells, const std::string& separator,
                    bool newline) {
  std::ostringstream line;
  if (!write_column_cells(
          line, offsets, widths_by_name, widths, cells, separator,
          [](const std::string& cell) -> const std::string& { return cell; },
          [](std::string& name) -> std::string& {
            trim_whitespace(name);
            return to_lower(name);
          }))
    return false;
  // The last separator's first three characters become blanks (three blanks in all for a
  // shorter one); a longer one keeps the rest, and the line end comes after it.
  std::string text = std::move(line).str();
  text.replace(text.size() - separator.size(), std::min<size_t>(separator.size(), 3),
               last_separator_blanks);
  if (newline) text += '\n';
  out << text;
  return true;
}

bool layout_columns_wide(std::ostream& out, std::vector<u32>& offsets,
                         std::map<std::wstring, u32>& widths_by_name, std::vector<u32>& widths,
                         const std::vector<std::wstring>& cells, const std::wstring& separator) {
  const std::string separator_utf8 = wstring_to_utf8(separator);
  std::ostringstream line;
  if (!write_column_cells(
          line, offsets, widths_by_name, widths, cells, separator_utf8,
          [](const std::wstring& cell) { return wstring_to_utf8(cell); },
          [](std::wstring& name) -> std::wstring& {
            trim_whitespace_wide(name);
            return to_lower_wide(name);
          }))
    return false;
  stream_back_up(line, static_cast<int>(separator_utf8.size()), true);
  line << '\n';
  out << line.str();
  return true;
}

bool expand_tabs(const char* buffer, u32 length, u32 tab_width, std::string& out,
                 bool check_utf16) {
  const auto* bytes = reinterpret_cast<const u8*>(buffer);
  if (check_utf16) {
    static constexpr u8 utf16_tab[] = {0x09, 0x00};
    u64 found = 0;
    if (find_bytes_first_ptr(bytes, length, utf16_tab, 2, &found, false)) {
      return expand_tabs_utf16(buffer, length, tab_width, out);
    }
  }
  tab_layout layout;
  static constexpr u8 tab = '\t';
  if (!find_all_positions(bytes, length, &tab, 1, layout.tabs, false, false)) return false;
  static constexpr u8 crlf[] = {'\r', '\n'};
  static constexpr u8 lf = '\n', cr = '\r';
  if (find_all_positions(bytes, length, crlf, 2, layout.line_ends, true, false))
    layout.line_end_width = 2;
  else if (find_all_positions(bytes, length, &lf, 1, layout.line_ends, false, false) ||
           find_all_positions(bytes, length, &cr, 1, layout.line_ends, false, false))
    layout.line_end_width = 1;
  out.clear();
  expand_with_layout(
      layout, length, tab_width, [&](u32 from, u32 to) { out.append(buffer + from, to - from); },
      [&](u32 n) { out.append(n, ' '); });
  return true;
}

bool expand_tabs_utf16(const char* buffer, u32 length, u32 tab_width, std::string& out) {
  if (buffer == nullptr) return false;
  const u32 units = length / 2;
  auto unit_at = [&](u32 i) {
    return static_cast<u16>(static_cast<u8>(buffer[2 * i]) |
                            (static_cast<u8>(buffer[2 * i + 1]) << 8));
  };
  tab_layout layout;
  std::vector<u32> crlf, lf, cr;
  for (u32 i = 0; i < units; ++i) {
    const u16 unit = unit_at(i);
    if (unit == '\t') layout.tabs.push_back(i);
    if (unit == '\n') lf.push_back(i);
    if (unit == '\r') {
      cr.push_back(i);
      if (i + 1 < units && unit_at(i + 1) == '\n') crlf.push_back(i);
    }
  }
  if (layout.tabs.empty()) return false;
  if (!crlf.empty()) {
    layout.line_ends = std::move(crlf);
    layout.line_end_width = 2;
  } else {
    layout.line_ends = !lf.empty() ? std::move(lf) : std::move(cr);
    layout.line_end_width = 1;
  }
  expand_with_layout(
      layout, units, tab_width,
      [&](u32 from, u32 to) { out.append(buffer + 2 * from, 2 * size_t(to - from)); },
      [&](u32 n) {
        for (u32 k = 0; k < n; ++k) out.append(" \0", 2);
      });
  if (length % 2 != 0) out += buffer[length - 1];
  return true;
}
