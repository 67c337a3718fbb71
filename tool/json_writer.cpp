#include "tool/json_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "framework/text/qz_byte_scan.h"
#include "framework/text/uni_unicode.h"
#include "tool/record_text.h"
#include "tool/unique_names.h"

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


// The longest escaped form of one byte (\u00XX).
constexpr std::size_t escaped_byte_room = 6;
// What a block copy may store past the end of a text before the end is known.
constexpr std::size_t block_copy_slack = 16;
// Room the escaped form of n bytes may need.
constexpr std::size_t escaped_room(std::size_t n) { return escaped_byte_room * n + block_copy_slack; }
// Room for the markup around a member's name and value: separator, line end or blank,
// indent, quotes and " : ".
constexpr std::size_t member_markup_room = 32;
// Room for what closes a value after a member start was copied: quotes.
constexpr std::size_t value_close_room = 8;
// Room for the markup that opens a record or a group: separator, line end, indent, "{" or
// the group's quotes and " : [".
constexpr std::size_t opening_markup_room = 16;
// Room for a record's last line end.
constexpr std::size_t line_end_room = 1;

#if !defined(__SSE2__)
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

// The high bit of every byte of a little-endian word that is special, exact for the lowest
// special byte (a borrow marks bytes above it only); 0 when there is none.
inline u64 special_bits(u64 word) {
  constexpr u64 ones = 0x0101010101010101ull;
  constexpr u64 highs = 0x8080808080808080ull;
  const u64 quote = word ^ (ones * '"');
  const u64 backslash = word ^ (ones * '\\');
  const u64 below_blank = (word - ones * 0x20) & ~word;
  const u64 is_quote = (quote - ones) & ~quote;
  const u64 is_backslash = (backslash - ones) & ~backslash;
  // word itself: its own high bits mark the bytes from 0x80 on.
  return (below_blank | is_quote | is_backslash | word) & highs;
}
#endif

// Copies the bytes before the first special byte to dst; advances pos and dst past them.
// 16 are looked at a step, and the end of the text stops the copy as a special would. Quotes
// and backslashes, which paths are full of, take their backslash within the step (a backslash
// becomes "/" with slash_paths); a control byte or one from 0x80 on ends the copy. Whole
// blocks are stored: the room kept past the end (escaped_room) takes what lies beyond the
// copied bytes, and later output overwrites it.
inline void copy_clean(const unsigned char* bytes, std::size_t& pos, std::size_t length,
                       bool slash_paths, char*& dst) {
#if defined(__SSE2__)
  const __m128i blank = _mm_set1_epi8(0x20);
  auto stored = [slash_paths](__m128i block) {
    return slash_paths ? backslashes_to_slashes(block) : block;
  };
  while (pos < length) {
    const std::size_t left = length - pos;
    const __m128i block = load_block(bytes + pos, left);
    // A signed compare takes the bytes below 0x20 and those from 0x80 on (negative) at once.
    const unsigned clean = clean_bytes(unsigned(_mm_movemask_epi8(_mm_cmplt_epi8(block, blank))), left);
    unsigned doubled = slash_paths ? bytes_in_set<'"'>(block) : bytes_in_set<'"', '\\'>(block);
    doubled &= (1u << clean) - 1;
    if (doubled == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), stored(block));
      dst += clean;
    } else {
      // Each piece up to the next quote or backslash is stored whole from where it starts;
      // the byte itself starts the next piece, behind its backslash.
      unsigned from = 0;
      for (;;) {
        const __m128i piece = load_block(bytes + pos + from, left - from);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), stored(piece));
        if (doubled == 0) break;
        const unsigned at = unsigned(__builtin_ctz(doubled));
        dst += at - from;
        *dst++ = '\\';
        from = at;
        doubled &= doubled - 1;
      }
      dst += clean - from;
    }
    pos += clean;
    if (clean < 16) return;
  }
#else
  (void)slash_paths;
  // 8 bytes a step in a word: short values are common.
  while (length - pos >= 8) {
    u64 word;
    std::memcpy(&word, bytes + pos, 8);
    std::memcpy(dst, &word, 8);
    if (const u64 bits = special_bits(word)) {
      const unsigned clean = unsigned(__builtin_ctzll(bits)) / 8;
      pos += clean;
      dst += clean;
      return;
    }
    pos += 8;
    dst += 8;
  }
  // The last bytes: read no further than the text goes.
  while (pos < length && !json_specials[bytes[pos]]) *dst++ = char(bytes[pos++]);
#endif
}

// The escaped form of length bytes at dst, which has escaped_room(length) bytes of room.
// Returns the end of what was written.
char* escape_to(char* dst, const char* text, std::size_t length, bool slash_paths) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  std::size_t pos = 0;
  for (;;) {
    copy_clean(bytes, pos, length, slash_paths, dst);
    if (pos >= length) return dst;
    const unsigned c = bytes[pos];
    if (c >= 0x80) {
      if (const std::size_t sequence = utf8_sequence_length(bytes + pos, length - pos)) {
        std::memcpy(dst, bytes + pos, sequence);
        dst += sequence;
        pos += sequence;
        continue;
      }
    }
    ++pos;
    switch (c) {
      case '"':
        *dst++ = '\\';
        *dst++ = '"';
        break;
      case '\\':
        if (!slash_paths) *dst++ = '\\';
        *dst++ = slash_paths ? '/' : '\\';
        break;
      case '\n':
        *dst++ = '\\';
        *dst++ = 'n';
        break;
      case '\r':
        *dst++ = '\\';
        *dst++ = 'r';
        break;
      case '\t':
        *dst++ = '\\';
        *dst++ = 't';
        break;
      default: {
        // A control character, or a byte outside any valid UTF-8 sequence: the code point of
        // its Latin-1 reading keeps its value visible.
        const char escaped[6] = {'\\', 'u', '0', '0', hex_digits[(c >> 4) & 0x0F],
                                 hex_digits[c & 0x0F]};
        std::memcpy(dst, escaped, 6);
        dst += 6;
        break;
      }
    }
  }
}

constexpr auto put_text = record_text::put_text;

inline char* put_escaped(char* dst, const std::string& text, bool slash_paths) {
  return escape_to(dst, text.data(), text.size(), slash_paths);
}

// Reused by every record, so that a record costs no allocation once the text has grown; the
// record is built in the output's own buffer when it can be.
record_text& json_record_text(std::ostream& out, quazel_tool_metadata& ctx) {
  record_text& text = ctx.json_state.record;
  start_record(text, out, ctx.out_buffer);
  return text;
}

// ---- Members ----

// What stands between two members, with or without "-flat", and after a member's name.
constexpr std::size_t separator_size = 2;
constexpr std::string_view member_name_end = "\": \"";

// The start of a member: the separator after the member before it (none for the first), the
// indent without "-flat", the opening quote of the name.
char* put_member_open(char* dst, bool flat, bool first) {
  if (!first) dst = put_text(dst, flat ? ", " : ",\n");
  if (!flat) dst = put_text(dst, member_indent);
  *dst++ = '"';
  return dst;
}

// Bytes member_from_start copies at once: the start of a member of a name up to some 30
// bytes.
constexpr std::size_t start_copy_bytes = 48;

// The text of a member from its separator through the name and member_name_end, its bytes
// padded so that start_copy_bytes can be read after the separator.
member_start_text member_start(const std::string& name, bool flat) {
  member_start_text start;
  start.bytes.assign(escaped_room(name.size()) + member_markup_room, '\0');
  char* dst = put_member_open(start.bytes.data(), flat, false);
  dst = put_text(put_escaped(dst, name, false), member_name_end);
  start.size = static_cast<std::size_t>(dst - start.bytes.data());
  start.bytes.resize(std::max(start.size, separator_size + start_copy_bytes), '\0');
  return start;
}

// The member starts of the group's columns, each name unique in a record ("-2", "-3" after a
// name the header repeats).
void make_member_starts(json_writer_state& state, const std::vector<std::string>& columns, bool flat) {
  state.member_starts.clear();
  state.member_names.clear();
  for (const std::string& name : columns) {
    state.member_starts.push_back(member_start(state.member_names.take(name), flat));
  }
}

// The names of one record's members, filled from the group's names only for a record that has
// members of its own (nested sub-rows, the overflow cell).
class record_names {
 public:
  explicit record_names(const unique_names& group_names) : group_names_(group_names) {}
  // name, or name made unique among the record's members.
  std::string take(const std::string& name) {
    if (!ready_) {
      names_ = group_names_;
      ready_ = true;
    }
    return names_.take(name);
  }

 private:
  const unique_names& group_names_;
  unique_names names_;
  bool ready_ = false;
};

// A record's members as they are written: the commas between them and the line ends (or
// blanks with "-flat") after them. Names are escaped as names, values as values; a long value
// goes to the record's stream in slices.
class record_members {
 public:
  record_members(record_text& text, std::ostream& out, uni::streambuf_generic_output<char>* out_buffer, bool flat,
                 bool slash_paths)
      : text_(text), out_(out), out_buffer_(out_buffer), flat_(flat), slash_paths_(slash_paths) {}

  void member(const std::string& name, const std::string& value) {
    const bool long_value = value.size() > value_slice_bytes;
    char* dst = text_.room(escaped_room(name.size()) + (long_value ? 0 : escaped_room(value.size())) +
                           member_markup_room);
    dst = open(dst);
    dst = put_escaped(dst, name, false);
    if (long_value) {
      text_.commit(put_text(dst, member_name_end));
      put_long_value(value, false);
      return;
    }
    text_.commit(close(dst, value, false));
  }
  // member with the text from its comma to its name's closing quote already made (member_start).
  void member_from_start(const member_start_text& start, const std::string& value) {
    const std::size_t skip = count_++ == 0 ? separator_size : 0;
    const std::size_t size = start.size - skip;
    if (value.size() > value_slice_bytes) {
      text_.append(std::string_view(start.bytes).substr(skip, size));
      put_long_value(value, false);
      return;
    }
    char* dst = text_.room(size + start_copy_bytes + escaped_room(value.size()) + value_close_room);
    // A copy of a fixed size is a few moves, where one of the start's own size is a call.
    if (size <= start_copy_bytes && start.bytes.size() - skip >= start_copy_bytes) {
      std::memcpy(dst, start.bytes.data() + skip, start_copy_bytes);
    } else {
      std::memcpy(dst, start.bytes.data() + skip, size);
    }
    text_.commit(put_value(dst + size, value, false));
  }
  // A member named column.sub_name followed by the sub-row's number (sub_name is part of the
  // cell and escaped as a value).
  void nested_member(const std::string& column, const std::string* sub_name,
                     std::string_view number, const std::string& value) {
    const std::size_t sub_size = sub_name ? sub_name->size() : 0;
    char* dst = text_.room(escaped_room(column.size()) + escaped_room(sub_size) + number.size() +
                           escaped_room(value.size()) + member_markup_room);
    dst = open(dst);
    dst = put_escaped(dst, column, false);
    *dst++ = '.';
    if (sub_name) dst = put_escaped(dst, *sub_name, slash_paths_);
    dst = put_text(dst, number);
    text_.commit(close(dst, value, true));
  }
  // After the last member: a line end, or the blank a nested member takes with "-flat".
  void finish() {
    if (count_ == 0) return;
    char* dst = text_.room(line_end_room);
    if (!flat_) {
      *dst++ = '\n';
    } else if (last_nested_) {
      *dst++ = ' ';
    }
    text_.commit(dst);
  }

 private:
  char* open(char* dst) { return put_member_open(dst, flat_, count_++ == 0); }
  char* close(char* dst, const std::string& value, bool nested) {
    return put_value(put_text(dst, member_name_end), value, nested);
  }
  char* put_value(char* dst, const std::string& value, bool nested) {
    dst = put_escaped(dst, value, slash_paths_);
    *dst++ = '"';
    last_nested_ = nested;
    return dst;
  }
  // put_value of a value longer than a slice, straight into the text.
  void put_long_value(const std::string& value, bool nested) {
    const bool slash_paths = slash_paths_;
    put_in_slices(text_, out_, out_buffer_, value, escaped_room,
                  [slash_paths](char* dst, const char* data, std::size_t length) {
                    return escape_to(dst, data, length, slash_paths);
                  });
    text_.append("\"");
    last_nested_ = nested;
  }

  record_text& text_;
  std::ostream& out_;
  uni::streambuf_generic_output<char>* out_buffer_;
  bool flat_;
  bool slash_paths_;
  std::size_t count_ = 0;
  bool last_nested_ = false;
};

// One member per value of a nested cell's sub-rows, named column.subcolumn_rec#k. False, with
// nothing written, when the cell holds no sub-rows.
bool write_nested_members(record_members& members, record_names& names, nested_cell_parts& nested,
                          const std::string& column, const std::string& cell) {
  const std::vector<std::string>& header = nested.header;
  const std::vector<std::vector<std::string>>& rows = nested.rows;
  if (!parse_tagged_groups(nested.header, nested.rows, cell, nested_prefix, ';')) return false;
  char number[32] = "_rec#";
  std::string name;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const char* number_end = std::to_chars(number + 5, number + sizeof number, k).ptr;
    const std::string_view number_text(number, static_cast<std::size_t>(number_end - number));
    for (std::size_t j = 0; j < rows[k].size(); ++j) {
      const std::string* sub_name = j < header.size() ? &header[j] : nullptr;
      // Values past the sub-header's names, and names it repeats, would repeat a member's name.
      name.assign(column).append(".").append(sub_name ? *sub_name : std::string()).append(number_text);
      const std::string unique = names.take(name);
      const std::string numbered = std::string(number_text) + unique.substr(name.size());
      members.nested_member(column, sub_name, numbered, rows[k][j]);
    }
  }
  return true;
}

// A member of the document object is preceded by a comma and a line end when one came before.
char* open_document_member(char* dst, json_writer_state& state) {
  if (state.doc_has_members) dst = put_text(dst, ",\n");
  state.doc_has_members = true;
  return dst;
}

void write_text(std::ostream& out, const std::string& text) {
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// A run-stats member: indent 3, the name and the value; the comma comes with the next member.
void put_stat(std::string& text, std::string_view name,
              std::initializer_list<std::string_view> parts, bool slash_paths) {
  if (!text.empty()) text.append(",\n");
  text.append("   \"");
  text.append(name);
  text.append("\": \"");
  for (std::string_view part : parts) json_escape_append(text, part.data(), part.size(), slash_paths);
  text += '"';
}

int json_begin_source(std::ostream& out, quazel_tool_metadata& ctx) {
  json_write_opening(out, ctx);
  return 1;
}

// An interrupted document gets no closing text: it must not pass for whole.
int json_end_source(std::ostream& out, std::ostringstream&, quazel_tool_metadata& ctx,
                    bool interrupted) {
  if (interrupted) return 0;
  json_write_closing(out, ctx);
  return 1;
}

}  // namespace

const csv_writer_hooks json_writer_hooks = {
    json_write_head,   json_banner_begin, json_parse_banner_line,
    json_end_group,    json_short_row,    json_write_record,
    json_begin_source, json_end_source,
    /*trims_lines=*/false, /*pads_short_rows=*/true, /*overflow_cell=*/false, /*copies_lines=*/false,
};

void json_escape_append(std::string& out, const char* text, std::size_t length, bool slash_paths) {
  const std::size_t start = out.size();
  out.resize(start + escaped_room(length));
  const char* end = escape_to(out.data() + start, text, length, slash_paths);
  out.resize(static_cast<std::size_t>(end - out.data()));
}

void json_escape_append(std::string& out, const std::string& text, bool slash_paths) {
  json_escape_append(out, text.data(), text.size(), slash_paths);
}

void json_write_opening(std::ostream& out, quazel_tool_metadata& ctx) {
  ctx.json_state.doc_has_members = false;
  ctx.json_state.doc_member_names.clear();
  if (!ctx.flat) out.write("{\n", 2);
}

void json_write_closing(std::ostream& out, quazel_tool_metadata& ctx) {
  if (ctx.flat) return;
  if (ctx.group_has_rows) {
    static constexpr std::string_view closing = "\n   ]\n}\n";
    out.write(closing.data(), closing.size());
  } else if (ctx.json_state.doc_has_members) {
    out.write("\n}\n", 3);
  } else {
    out.write("}\n", 2);
  }
}

int json_write_head(std::ostringstream& head, quazel_tool_metadata& ctx) {
  if (!begin_writer_head(ctx) || !ctx.banner_found) return 0;
  if (ctx.flat) return 1;
  std::string text;
  put_stat(text, "tool", {ctx.tool_name, " - ver: ", ctx.tool_version}, false);
  put_stat(text, "license", {ctx.licence_word, " - ", ctx.licence_text}, false);
  put_stat(text, "runtime", {ctx.run_time_text}, false);
  if (!ctx.extra_info.empty()) put_stat(text, "extra info", {ctx.extra_info}, true);
  put_stat(text, "user input", {ctx.command_line}, true);
  // A group titled as a run-stats member gets a name of its own.
  unique_names& names = ctx.json_state.doc_member_names;
  for (const char* name : {"tool", "license", "runtime", "user input"}) names.insert(name);
  if (!ctx.extra_info.empty()) names.insert("extra info");
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
      char separator[2];
      out.write(separator, open_document_member(separator, ctx.json_state) - separator);
      write_text(out, stats);
    }
    ctx.first_header_pending = 0;
  }
  ctx.group_title.clear();
  ctx.title_fields.clear();
  make_member_starts(ctx.json_state, ctx.columns, ctx.flat != 0);
  return 1;
}

int json_short_row(const std::string&, quazel_tool_metadata&) { return 1; }

int json_write_record(std::ostream& out, std::vector<std::string>& cells,
                      quazel_tool_metadata& ctx) {
  const bool merged = merge_surplus_fields(cells, ctx, false);
  const std::size_t count = cells.size();
  const std::size_t columns = ctx.columns.size();
  json_writer_state& state = ctx.json_state;
  if (count < columns || state.member_starts.size() != columns) return 0;
  record_text& text = json_record_text(out, ctx);
  const bool flat = ctx.flat != 0;

  if (flat) {
    // A flat document names no group; the first record of a group still marks its nested
    // columns, and later records would only mark them again.
    if (!ctx.group_has_rows) mark_nested_columns(ctx, cells, nested_column_bit);
  } else if (ctx.group_title.empty()) {
    mark_nested_columns(ctx, cells, nested_column_bit);
    std::string name = group_title(ctx, cells, title_column_bit, heading_title_style, "Group-");
    // Groups of one title are members of their own: a reader keeps only one of a name.
    name = state.doc_member_names.take(name);
    char* dst = text.room(escaped_room(name.size()) + opening_markup_room);
    dst = open_document_member(dst, state);
    dst = put_text(dst, "   \"");
    dst = put_escaped(dst, name, false);
    text.commit(put_text(dst, "\" : [\n"));
    ctx.group_title = std::move(name);
  }

  char* dst = text.room(opening_markup_room);
  if (!ctx.group_has_rows) {
    ctx.group_has_rows = 1;
  } else if (!flat) {
    dst = put_text(dst, ",\n");
  }
  text.commit(flat ? put_text(dst, "{") : put_text(dst, record_open));

  record_members members(text, out, ctx.out_buffer, flat, ctx.slash_paths != 0);
  record_names names(state.member_names);
  const std::size_t named = std::min(count, columns);
  for (std::size_t i = 0; i < named; ++i) {
    if (is_nested_column(ctx, i) &&
        write_nested_members(members, names, state.nested, ctx.columns[i], cells[i])) {
      continue;
    }
    members.member_from_start(state.member_starts[i], cells[i]);
  }
  if (merged) members.member(names.take("overflow"), cells.back());
  members.finish();
  text.append("}\n");
  finish_record(text, out, ctx.out_buffer);
  return 1;
}
