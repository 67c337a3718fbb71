#include "tool/json_writer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <initializer_list>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr u32 title_field_bit = tag_line_bit(tag_line_title, tag_writer_json);
constexpr u32 extra_column_bit = tag_line_bit(tag_line_extra_column, tag_writer_json);
constexpr u32 title_column_bit = tag_column_bit(tag_column_title, tag_writer_json);
constexpr u32 nested_column_bit = tag_column_bit(tag_column_nested, tag_writer_json);
constexpr u32 json_column_bits =
    title_column_bit | tag_column_bit(tag_column_artifact_type, tag_writer_json) |
    tag_column_bit(tag_column_source, tag_writer_json) | nested_column_bit;

constexpr std::string_view member_indent = "         ";  // 9 blanks
constexpr std::string_view record_open = "      {\n";
constexpr char nested_prefix[] = "!*<";

constexpr char hex_digits[] = "0123456789abcdef";

// Bytes that cannot be copied into a JSON string as they are: the quote, the backslash, the
// control characters, and every byte from 0x80 on (it must belong to a valid UTF-8 sequence).
constexpr std::array<bool, 256> make_json_specials() {
  std::array<bool, 256> table{};
  for (unsigned c = 0; c < 0x20; ++c) table[c] = true;
  for (unsigned c = 0x80; c < 0x100; ++c) table[c] = true;
  table['"'] = true;
  table['\\'] = true;
  return table;
}
constexpr std::array<bool, 256> json_specials = make_json_specials();

// Position of the first special byte at or after pos; length when none. Most values hold
// none, so the scan looks at 16 bytes per step where it can.
std::size_t next_json_special(const unsigned char* bytes, std::size_t pos, std::size_t length) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i blank = _mm_set1_epi8(0x20);
  for (; length - pos >= 16; pos += 16) {
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + pos));
    // A signed compare takes the bytes below 0x20 and those from 0x80 on (negative) at once.
    __m128i hits = _mm_or_si128(_mm_cmplt_epi8(block, blank),
                                _mm_or_si128(_mm_cmpeq_epi8(block, quote),
                                             _mm_cmpeq_epi8(block, backslash)));
    if (unsigned mask = unsigned(_mm_movemask_epi8(hits))) return pos + unsigned(__builtin_ctz(mask));
  }
#endif
  while (pos < length && !json_specials[bytes[pos]]) ++pos;
  return pos;
}

// Length of the valid UTF-8 sequence that starts at bytes (lead byte 0x80 or above); 0 when
// there is none. Overlong forms, surrogates and values beyond U+10FFFF are not valid.
std::size_t utf8_sequence_length(const unsigned char* bytes, std::size_t available) {
  const unsigned lead = bytes[0];
  std::size_t continuations;
  unsigned second_low = 0x80, second_high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuations = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    continuations = 2;
    if (lead == 0xE0) second_low = 0xA0;   // overlong below U+0800
    if (lead == 0xED) second_high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    continuations = 3;
    if (lead == 0xF0) second_low = 0x90;   // overlong below U+10000
    if (lead == 0xF4) second_high = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (available <= continuations) return 0;
  if (bytes[1] < second_low || bytes[1] > second_high) return 0;
  for (std::size_t k = 2; k <= continuations; ++k) {
    if ((bytes[k] & 0xC0) != 0x80) return 0;
  }
  return continuations + 1;
}

void append_unicode_escape(std::string& out, unsigned byte) {
  const char escaped[6] = {'\\', 'u', '0', '0', hex_digits[(byte >> 4) & 0x0F],
                           hex_digits[byte & 0x0F]};
  out.append(escaped, 6);
}

// ---- Members ----

// A record's members as they are written: the commas between them and the line ends (or
// blanks with "-flat") after them.
class record_members {
 public:
  record_members(std::string& text, bool flat, bool slash_paths)
      : text_(text), flat_(flat), slash_paths_(slash_paths) {}

  // Opens a member and writes the first part of its name (escaped as names are).
  void open(const std::string& name) {
    if (count_ != 0) text_.append(flat_ ? ", " : ",\n");
    if (!flat_) text_.append(member_indent);
    text_ += '"';
    json_escape_append(text_, name, false);
    ++count_;
  }
  // Writes the value (escaped as values are) and closes the member.
  void close(const std::string& value, bool nested) {
    text_.append("\": \"");
    json_escape_append(text_, value, slash_paths_);
    text_ += '"';
    last_nested_ = nested;
  }
  void member(const std::string& name, const std::string& value) {
    open(name);
    close(value, false);
  }
  // The member after the last: a line end, or the blank a nested member takes with "-flat".
  void finish() {
    if (count_ == 0) return;
    if (!flat_) {
      text_ += '\n';
    } else if (last_nested_) {
      text_ += ' ';
    }
  }
  std::string& text() { return text_; }
  bool slash_paths() const { return slash_paths_; }

 private:
  std::string& text_;
  bool flat_;
  bool slash_paths_;
  std::size_t count_ = 0;
  bool last_nested_ = false;
};

// One member per value of a nested cell's sub-rows, named column.subcolumn_rec#k. False, with
// nothing written, when the cell holds no sub-rows.
bool write_nested_members(record_members& members, const std::string& column,
                          const std::string& cell) {
  static thread_local std::vector<std::string> header;
  static thread_local std::vector<std::vector<std::string>> rows;
  if (!parse_tagged_groups(header, rows, cell, nested_prefix, ';')) return false;
  std::string& text = members.text();
  char number[24];
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const int number_length = std::snprintf(number, sizeof number, "_rec#%zu", k);
    for (std::size_t j = 0; j < rows[k].size(); ++j) {
      members.open(column);
      text += '.';
      // A sub-column name is part of the cell and is escaped as values are.
      if (j < header.size()) json_escape_append(text, header[j], members.slash_paths());
      text.append(number, static_cast<std::size_t>(number_length));
      members.close(rows[k][j], true);
    }
  }
  return true;
}

// A member of the document object is preceded by a comma and a line end when one came before.
void open_document_member(std::string& text, quazel_tool_metadata& ctx) {
  if (ctx.doc_has_members) text.append(",\n");
  ctx.doc_has_members = 1;
}

void write_text(std::ostream& out, const std::string& text) {
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// Reused by every record, so that a record costs no allocation once the text has grown.
std::string& record_text() {
  static thread_local std::string text;
  text.clear();
  return text;
}

// A run-stats member: indent 3, the name and the value; the comma comes with the next member.
void put_stat(std::string& text, std::string_view name, std::initializer_list<std::string_view> parts,
              bool slash_paths) {
  if (!text.empty()) text.append(",\n");
  text.append("   \"");
  text.append(name);
  text.append("\": \"");
  for (std::string_view part : parts) json_escape_append(text, part.data(), part.size(), slash_paths);
  text += '"';
}

}  // namespace

const csv_writer_hooks json_writer_hooks = {
    json_write_head, json_banner_begin, json_parse_banner_line,
    json_end_group,  json_short_row,    json_write_record,
};

void json_escape_append(std::string& out, const char* text, std::size_t length, bool slash_paths) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  std::size_t span_start = 0;
  std::size_t pos = 0;
  while ((pos = next_json_special(bytes, pos, length)) < length) {
    const unsigned c = bytes[pos];
    if (c >= 0x80) {
      // A valid sequence is copied with the clean span it stands in.
      if (std::size_t sequence = utf8_sequence_length(bytes + pos, length - pos)) {
        pos += sequence;
        continue;
      }
    }
    out.append(text + span_start, pos - span_start);
    switch (c) {
      case '"':
        out.append("\\\"", 2);
        break;
      case '\\':
        if (slash_paths) {
          out += '/';
        } else {
          out.append("\\\\", 2);
        }
        break;
      case '\n':
        out.append("\\n", 2);
        break;
      case '\r':
        out.append("\\r", 2);
        break;
      case '\t':
        out.append("\\t", 2);
        break;
      default:
        // A control character, or a byte outside any valid UTF-8 sequence: the code point of
        // its Latin-1 reading keeps its value visible.
        append_unicode_escape(out, c);
        break;
    }
    span_start = ++pos;
  }
  out.append(text + span_start, length - span_start);
}

void json_escape_append(std::string& out, const std::string& text, bool slash_paths) {
  json_escape_append(out, text.data(), text.size(), slash_paths);
}

void json_write_opening(std::ostream& out, quazel_tool_metadata& ctx) {
  ctx.doc_has_members = 0;
  if (!ctx.flat) out.write("{\n", 2);
}

void json_write_closing(std::ostream& out, quazel_tool_metadata& ctx) {
  if (ctx.flat) return;
  if (ctx.group_has_rows) {
    static constexpr std::string_view closing = "\n   ]\n}\n";
    out.write(closing.data(), closing.size());
  } else if (ctx.doc_has_members) {
    out.write("\n}\n", 3);
  } else {
    out.write("}\n", 2);
  }
}

int json_write_head(std::ostringstream& head, quazel_tool_metadata& ctx) {
  if (!ctx.head_pending) return 0;
  ctx.head_pending = 0;
  if (!ctx.banner_found) return 0;
  // The source's header rows name the columns again.
  if (!ctx.is_bodyfile) ctx.columns.clear();
  if (ctx.flat) return 1;
  std::string text;
  put_stat(text, "tool", {ctx.tool_name, " - ver: ", ctx.tool_version}, false);
  put_stat(text, "license", {ctx.licence_word, " - ", ctx.licence_text}, false);
  put_stat(text, "runtime", {ctx.run_time_text}, false);
  if (!ctx.extra_info.empty()) put_stat(text, "extra info", {ctx.extra_info}, true);
  put_stat(text, "user input", {ctx.command_line}, true);
  write_text(head, text);
  return 1;
}

int json_banner_begin(quazel_tool_metadata&) { return 1; }

int json_parse_banner_line(const std::string& line, const tag_instr& tag,
                           quazel_tool_metadata& ctx) {
  return store_banner_value(line, tag, ctx, title_field_bit, extra_column_bit);
}

int json_end_group(std::ostream& out, std::ostringstream& head, std::vector<std::string>&,
                   quazel_tool_metadata& ctx) {
  apply_group_rule(ctx, json_column_bits, false);
  ctx.title_text.str("");
  ctx.title_text << (!ctx.flat && !ctx.title_fields.empty() ? title_field_text(ctx)
                                                             : ctx.short_tool_name);
  // A group that wrote records left its array open; one without records opened none.
  if (ctx.group_has_rows && !ctx.flat) out.write("\n   ]", 5);
  if (ctx.first_header_pending) {
    const std::string stats = head.str();
    head.str("");
    if (!ctx.flat && !stats.empty()) {
      std::string text;
      open_document_member(text, ctx);
      write_text(out, text);
      write_text(out, stats);
    }
    ctx.first_header_pending = 0;
  }
  ctx.group_title.clear();
  ctx.title_fields.clear();
  return 1;
}

int json_short_row(const std::string&, quazel_tool_metadata&) { return 1; }

int json_write_record(std::ostream& out, std::vector<std::string>& cells,
                      quazel_tool_metadata& ctx) {
  const bool merged = merge_surplus_fields(cells, ctx);
  const std::size_t count = cells.size();
  const std::size_t columns = ctx.columns.size();
  if (count < columns) return 0;
  std::string& text = record_text();
  const bool flat = ctx.flat != 0;

  if (flat) {
    // A flat document names no group; the first record of a group still marks its nested
    // columns, and later records would only mark them again.
    if (!ctx.group_has_rows) first_row_title(ctx, cells, title_column_bit, nested_column_bit);
  } else if (ctx.group_title.empty()) {
    std::string name = first_row_title(ctx, cells, title_column_bit, nested_column_bit);
    if (name.empty()) name = untitled_group_name(ctx, "Group-");
    open_document_member(text, ctx);
    text.append("   \"");
    json_escape_append(text, name, false);
    text.append("\" : [\n");
    ctx.group_title = std::move(name);
  }

  if (!ctx.group_has_rows) {
    ctx.group_has_rows = 1;
  } else if (!flat) {
    text.append(",\n");
  }
  if (flat) {
    text += '{';
  } else {
    text.append(record_open);
  }

  record_members members(text, flat, ctx.slash_paths != 0);
  const std::size_t named = std::min(count, columns);
  for (std::size_t i = 0; i < named; ++i) {
    if (is_nested_column(ctx, i) && write_nested_members(members, ctx.columns[i], cells[i])) {
      continue;
    }
    members.member(ctx.columns[i], cells[i]);
  }
  if (merged) members.member("overflow", cells.back());
  members.finish();
  text.append("}\n");
  write_text(out, text);
  return 1;
}
