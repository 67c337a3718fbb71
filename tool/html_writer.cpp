#include "tool/html_writer.h"

#include <algorithm>
#include <string_view>

#include "framework/text/qz_html_escape.h"
#include "framework/text/qz_replace.h"
#include "tool/record_text.h"

namespace {

constexpr u32 title_field_bit = tag_line_bit(tag_line_title, tag_writer_html);
constexpr u32 extra_column_bit = tag_line_bit(tag_line_extra_column, tag_writer_html);
constexpr u32 title_column_bit = tag_column_bit(tag_column_title, tag_writer_html);
constexpr u32 nested_column_bit = tag_column_bit(tag_column_nested, tag_writer_html);
// Group headings escaped part by part.
constexpr group_title_style escaped_heading_style = [] {
  group_title_style style = heading_title_style;
  style.escape = html_escape;
  return style;
}();
constexpr u32 html_column_bits =
    title_column_bit | tag_column_bit(tag_column_artifact_type, tag_writer_html) |
    tag_column_bit(tag_column_source, tag_writer_html) | nested_column_bit;

constexpr std::string_view table_open = "<table border=\"1\" cellpadding = \"5\">\n";
constexpr std::string_view blanks = "            ";

// The document is built in a record_text and handed to the stream in one write per row, so
// that no per-cell work goes through the stream's formatting.
constexpr auto put_text = record_text::put_text;

// indent blanks, then part.
void put_indented(record_text& text, int indent, std::string_view part) {
  char* dst = text.room(static_cast<size_t>(indent) + part.size());
  text.commit(put_text(put_text(dst, blanks.substr(0, static_cast<size_t>(indent))), part));
}

void put_escaped(record_text& text, const std::string& value, bool slash_paths = false) {
  text.commit(html_escape_to(text.room(html_escaped_room(value.size())), value, slash_paths));
}

// indent, open, the escaped value, close and a line end.
void put_element(record_text& text, int indent, std::string_view open, const std::string& value,
                 std::string_view close) {
  put_indented(text, indent, open);
  put_escaped(text, value);
  text.append(close);
  text.append("\n");
}

// A header row of names: the row opens at indent and each name sits 3 further in.
void put_header_cells(record_text& text, int indent, const std::vector<std::string>& names) {
  put_indented(text, indent, "<tr bgcolor=\"yellow\">\n");
  for (const std::string& name : names) {
    put_element(text, indent + 3, "<th align=\"center\">", name, "</th>");
  }
  put_indented(text, indent, "</tr>\n");
}

// The table a nested cell stands for, its last line "</table>".
void put_nested_table(record_text& text, const std::vector<std::string>& header,
                      const std::vector<std::vector<std::string>>& rows) {
  text.append(table_open);
  put_header_cells(text, 6, header);
  for (const std::vector<std::string>& row : rows) {
    put_indented(text, 6, "<tr>\n");
    for (const std::string& value : row) put_element(text, 9, "<td>", value, "</td>");
    put_indented(text, 6, "</tr>\n");
  }
  text.append("</table>\n");
}

// One cell of a row: its element on a line of its own, every "\\" written as "/". A long value
// goes to out in slices.
void put_cell(record_text& text, const std::string& value, std::ostream& out,
              uni::streambuf_generic_output<char>* out_buffer) {
  static constexpr std::string_view open = "      <td>";
  static constexpr std::string_view close = "</td>\n";
  if (value.size() > value_slice_bytes) {
    text.append(open);
    put_in_slices(text, out, out_buffer, value, html_escaped_room,
                  [](char* dst, const char* data, std::size_t length) {
                    return html_escape_to(dst, data, length, true);
                  });
    text.append(close);
    return;
  }
  char* dst = text.room(open.size() + html_escaped_room(value.size()) + close.size());
  dst = html_escape_to(put_text(dst, open), value, true);
  text.commit(put_text(dst, close));
}

// Reused by every row, so that a row costs no allocation once the text has grown; the row is
// built in the output's own buffer when it can be.
record_text& row_text(std::ostream& out, quazel_tool_metadata& ctx) {
  record_text& text = ctx.html_state.row;
  start_record(text, out, ctx.out_buffer);
  return text;
}

// The document's closing markup; a document is whole even when no header row opened a group
// (the head still waits). An interrupted document gets none: it must not pass for whole.
int html_end_source(std::ostream& out, std::ostringstream& head, quazel_tool_metadata& ctx,
                    bool interrupted) {
  if (interrupted) return 0;
  if (ctx.first_header_pending) {
    html_write_head(head, ctx);
    const std::string text = head.str();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    head.str("");
  }
  // A table is opened by its group's first row only.
  if (ctx.group_has_rows) out.write("</table>\n", 9);
  static constexpr char closing[] = "</body>\n</html>\n";
  out.write(closing, sizeof closing - 1);
  return 1;
}

}  // namespace

const csv_writer_hooks html_writer_hooks = {
    html_write_head, html_banner_begin, html_parse_banner_line,
    html_end_table,  html_short_row,    html_write_row,
    nullptr,         html_end_source,
    /*trims_lines=*/true, /*pads_short_rows=*/true, /*overflow_cell=*/false, /*copies_lines=*/false,
};

int html_write_head(std::ostringstream& head, quazel_tool_metadata& ctx) {
  if (!begin_writer_head(ctx)) return 0;
  record_text text;
  text.append("<html>\n<head>\n");
  put_indented(text, 3, "<title>telvar conversion of ");
  put_escaped(text, ctx.csv_source);
  text.append(" to html</title>\n");
  put_indented(text, 3, "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />\n");
  text.append("</head>\n<body>\n");
  if (ctx.banner_found) {
    text.append("<h2>Run stats</h2>\n<pre>\n");
    put_indented(text, 3, "Tool:    ");
    put_escaped(text, ctx.tool_name);
    text.append(" - ver: ");
    put_escaped(text, ctx.tool_version);
    text.append("\n");
    put_indented(text, 3, "License: ");
    put_escaped(text, ctx.licence_word);
    text.append(" - ");
    put_escaped(text, ctx.licence_text);
    text.append("\n");
    put_element(text, 3, "Runtime: ", ctx.run_time_text, "");
    if (!ctx.extra_info.empty()) put_element(text, 3, "Extra Info: ", ctx.extra_info, "");
    put_element(text, 3, "User input: ", ctx.command_line, "");
    text.append("</pre>\n\n");
  }
  text.write_to(head);
  return 1;
}

int html_banner_begin(quazel_tool_metadata&) { return 1; }

int html_parse_banner_line(const std::string& line, const tag_instr& tag,
                           quazel_tool_metadata& ctx) {
  return store_banner_value(line, tag, ctx, title_field_bit, extra_column_bit);
}

int html_end_table(std::ostream& out, std::ostringstream& head, std::vector<std::string>&,
                   quazel_tool_metadata& ctx) {
  apply_group_rule(ctx, html_column_bits, false);
  ctx.title_text.str("");
  ctx.title_text << (ctx.title_fields.empty() ? ctx.short_tool_name : title_field_text(ctx));
  if (ctx.first_header_pending) {
    const std::string document_head = head.str();
    out.write(document_head.data(), static_cast<std::streamsize>(document_head.size()));
    head.str("");
    ctx.first_header_pending = 0;
  } else if (ctx.group_has_rows) {
    // Only a group with rows opened a table.
    out.write("</table>\n", 9);
  }
  ctx.group_title.clear();
  ctx.title_fields.clear();
  return 1;
}

int html_short_row(const std::string&, quazel_tool_metadata&) { return 1; }

int html_write_row(std::ostream& out, std::vector<std::string>& cells, quazel_tool_metadata& ctx) {
  const size_t count = cells.size();
  const size_t columns = ctx.columns.size();
  // Before the first header row the document head is not out yet: no table can start.
  if (count < columns || ctx.first_header_pending) return 0;
  record_text& text = row_text(out, ctx);

  if (ctx.group_title.empty()) {
    // The heading comes back escaped part by part: its own "->" stays as it is.
    mark_nested_columns(ctx, cells, nested_column_bit);
    std::string heading = group_title(ctx, cells, title_column_bit, escaped_heading_style, "Table-");
    ctx.group_title = heading;
    text.append("<h3>");
    text.append(heading);
    text.append("</h3>\n");
    if (columns > 0) {
      text.append(table_open);
      put_header_cells(text, 3, ctx.columns);
    }
  }
  ctx.group_has_rows = 1;

  // Surplus fields stand between the source's regular fields and the extra values the
  // dispatcher appended; the extra values belong under their own column names.
  const size_t extras = ctx.extra_columns.size();
  if (count > columns && extras > 0 && columns >= extras) {
    std::rotate(cells.begin() + static_cast<std::ptrdiff_t>(columns - extras),
                cells.end() - static_cast<std::ptrdiff_t>(extras), cells.end());
  }

  text.append("   <tr>\n");
  for (size_t i = 0; i < count; ++i) {
    std::string& cell = cells[i];
    if (is_nested_column(ctx, i)) {
      nested_cell_parts& nested = ctx.html_state.nested;
      // The groups are read with their paths already turned.
      if (cell.find('\\') != std::string::npos) replace_char(cell, '\\', '/', false);
      if (parse_tagged_groups(nested.header, nested.rows, cell, "!*<", ';')) {
        text.append("      <td>");
        put_nested_table(text, nested.header, nested.rows);
        text.append("</td>\n");
        continue;
      }
    }
    put_cell(text, cell, out, ctx.out_buffer);
  }
  text.append("   </tr>\n");
  finish_record(text, out, ctx.out_buffer);
  return 1;
}

std::ostream& write_indent(std::ostream& out, int count) {
  while (count > 0) {
    int part = std::min<int>(count, static_cast<int>(blanks.size()));
    out.write(blanks.data(), part);
    count -= part;
  }
  return out;
}
