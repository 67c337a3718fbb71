#include "tool/csv_writer_rules.h"

#include <algorithm>

#include "framework/text/qz_replace.h"
#include "framework/text/qz_split.h"
#include "framework/text/qz_string.h"

bool begin_writer_head(quazel_tool_metadata& ctx) {
  if (!ctx.head_pending) return false;
  ctx.head_pending = 0;
  if (ctx.banner_found && !ctx.is_bodyfile) ctx.columns.clear();
  return true;
}

void reset_column_indexes(std::vector<tag_instr>& tags) {
  for (tag_instr& tag : tags) tag.column_index = -1;
}

std::string banner_value(const std::string& line, const tag_instr& tag) {
  std::string value = line.size() > tag.tag.size() ? line.substr(tag.tag.size()) : std::string();
  trim_whitespace(value);
  replace_char(value, '\\', '/', false);
  return value;
}

int store_banner_value(const std::string& line, const tag_instr& tag, quazel_tool_metadata& ctx,
                       u32 title_bit, u32 column_bit) {
  if ((tag.line_flags & (title_bit | column_bit)) == 0) return 0;
  std::string value = banner_value(line, tag);
  // The first banner line of a kind before a header row wins.
  if (tag.line_flags & title_bit) ctx.title_fields.emplace(tag.tag, value);
  if (tag.line_flags & column_bit) ctx.pending_columns.emplace(strip_char_copy(tag.tag, ':'), value);
  return 1;
}

void apply_group_rule(quazel_tool_metadata& ctx, u32 column_bits, bool match_whole) {
  if (ctx.is_bodyfile) {
    // A bodyfile has one group: no later line may open another.
    ctx.first_column_name.clear();
    return;
  }
  for (tag_instr& tag : ctx.tags) {
    if ((tag.column_flags & column_bits) == 0) continue;
    for (size_t i = 0; i < ctx.columns.size(); ++i) {
      const std::string& name = ctx.columns[i];
      if (match_whole ? name == tag.tag : name.find(tag.tag) != std::string::npos) {
        tag.column_index = static_cast<int>(i);
        break;
      }
    }
  }
  if (!ctx.pending_columns.empty()) {
    ctx.extra_columns = std::move(ctx.pending_columns);
    ctx.pending_columns.clear();
  }
  // The extra values go on being appended to every row, so the group names them too, also
  // when they carry over from the previous group.
  for (const auto& [name, value] : ctx.extra_columns) ctx.columns.push_back(name);
}

std::string title_field_text(const quazel_tool_metadata& ctx) {
  std::string text;
  for (const auto& [tag, value] : ctx.title_fields) {
    if (!text.empty()) text += " - ";
    text += value;
  }
  return text;
}

std::string group_title(quazel_tool_metadata& ctx, const std::vector<std::string>& cells,
                        u32 title_bit, const group_title_style& style,
                        const char* untitled_prefix) {
  auto source_text = [&style](const std::string& text) {
    return style.escape ? style.escape(text) : text;
  };
  std::string title = source_text(ctx.title_text.str());
  for (const tag_instr& tag : ctx.tags) {
    if ((tag.column_flags & title_bit) == 0) continue;
    const std::string* cell = tag_cell(tag, cells);
    if (cell == nullptr) continue;
    if (style.leads_always || !title.empty()) title += style.part_separator;
    title += source_text(tag.tag);
    title += style.value_separator;
    title += source_text(*cell);
  }
  if (title.empty()) title = untitled_group_name(ctx, untitled_prefix);
  return title;
}

void mark_nested_columns(quazel_tool_metadata& ctx, const std::vector<std::string>& cells,
                         u32 nested_bit) {
  for (const tag_instr& tag : ctx.tags) {
    if ((tag.column_flags & nested_bit) == 0 || tag_cell(tag, cells) == nullptr) continue;
    ctx.nested_flag = 1;
    ctx.nested_columns.insert(tag.column_index);
  }
}

std::string untitled_group_name(quazel_tool_metadata& ctx, const char* prefix) {
  return prefix + std::to_string(ctx.group_counter++);
}

bool merge_surplus_fields(std::vector<std::string>& row, const quazel_tool_metadata& ctx,
                          bool overflow_column) {
  size_t columns = ctx.columns.size();
  if (overflow_column && columns > 0) --columns;
  const size_t cells = row.size();
  if (cells <= columns) return false;
  const size_t extras = std::min(ctx.extra_columns.size(), columns);
  const size_t regular = columns - extras;

  // The dispatcher appended the extra values after the source's fields: the surplus fields
  // stand between the regular ones and them.
  std::string surplus;
  for (size_t i = regular; i < cells - extras; ++i) {
    if (i > regular) surplus += ctx.separator;
    surplus += row[i];
  }
  for (size_t k = 0; k < extras; ++k) row[regular + k] = std::move(row[cells - extras + k]);
  row.resize(columns);
  row.push_back(std::move(surplus));
  return true;
}

bool parse_tagged_groups(std::vector<std::string>& header,
                         std::vector<std::vector<std::string>>& rows, const std::string& cell,
                         const std::string& prefix, char separator) {
  header.clear();
  // The sub-rows are cut into the vectors rows already holds, which keep their strings; rows
  // is cut to the sub-rows found at the end.
  size_t found = 0;
  auto give_up = [&] {
    header.clear();
    rows.clear();
    return false;
  };
  if (cell.size() < prefix.size() || cell.compare(0, prefix.size(), prefix) != 0) return give_up();
  size_t open = cell.find('<');
  std::string content;
  while (open != std::string::npos) {
    size_t close = cell.find('>', open + 1);
    // A last group that lost its ">" still holds values: it runs to the end of the cell.
    const size_t end = close == std::string::npos ? cell.size() : close;
    const bool is_header = open + 1 < end && cell[open + 1] == '[';
    size_t begin = open + (is_header ? 2 : 1);
    size_t stop = end;
    if (is_header && stop > begin && cell[stop - 1] == ']') --stop;
    content.assign(cell, begin, stop - begin);
    if (!content.empty()) {
      if (is_header) {
        split_string(content, separator, header, true, true, false);
      } else {
        if (found == rows.size()) rows.emplace_back();
        split_string(content, separator, rows[found++], true, true, false);
      }
    }
    if (close == std::string::npos) break;
    open = cell.find('<', close + 1);
    // Text outside the groups has no place in a nested table: such a cell is shown as it is.
    size_t gap_end = open == std::string::npos ? cell.size() : open;
    for (size_t i = close + 1; i < gap_end; ++i) {
      if (cell[i] != ' ') return give_up();
    }
  }
  rows.resize(found);
  return found > 0;
}
