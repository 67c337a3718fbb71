#include "framework/text/qz_split.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <new>

#include "framework/text/qz_byte_scan.h"
#include "framework/text/qz_bytes.h"
#include "framework/text/qz_search.h"
#include "framework/text/qz_string.h"
#include "framework/text/uni_unicode.h"

namespace {

constexpr char lf = '\n';
constexpr char cr = '\r';
constexpr char quote = '"';
constexpr u16 lf_unit = 0x0A;
constexpr u16 cr_unit = 0x0D;

// The bytes trim_whitespace takes from both ends of a piece.
inline bool is_trimmed(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Hands out the strings of an output vector one after the other for overwriting, so that
// cutting row after row into the same vector reuses its strings instead of allocating.
// finish() drops whatever the vector held beyond the pieces stored.
class piece_sink {
 public:
  piece_sink(std::vector<std::string>& out, bool append)
      : out_(out), first_(append ? out.size() : 0), used_(first_) {}

  // The string that becomes the next piece once keep() is called.
  std::string& next() {
    if (used_ == out_.size()) out_.emplace_back();
    return out_[used_];
  }
  void keep() { ++used_; }
  void put_empty() {
    next().clear();
    keep();
  }

  // Stores the n bytes at p as the next piece, trimmed when trim is set; an empty piece
  // is stored only with keep_empty. The bytes are trimmed before they are copied, so that
  // the piece is written once and never shifted.
  void put(const char* p, size_t n, bool trim, bool keep_empty) {
    if (trim) {
      while (n > 0 && is_trimmed(p[0])) {
        ++p;
        --n;
      }
      while (n > 0 && is_trimmed(p[n - 1])) --n;
    }
    if (n == 0 && !keep_empty) return;
    std::string& piece = next();
    // clear and append copy without assign's check for a source inside the string.
    piece.clear();
    piece.append(p, n);
    keep();
  }

  size_t stored() const { return used_ - first_; }
  void finish() { out_.resize(used_); }

 private:
  std::vector<std::string>& out_;
  size_t first_;
  size_t used_;
};

// A replacing splitter overwrites the strings of out, and an appending one may move them;
// either would pull the text from under the cutter if it is one of them.
bool is_one_of(const std::string& text, const std::vector<std::string>& out) {
  std::less<const std::string*> before;
  return !out.empty() && !before(&text, out.data()) && before(&text, out.data() + out.size());
}

// The delimiter and quote bytes among up to 64 bytes, one bit per byte (bit k: byte k).
struct byte_marks {
  u64 delimiters = 0;
  u64 quotes = 0;
};

// Marks the bytes of text from base to base + 64 or its end. Rows are cut 64 bytes a step so
// that finding the next delimiter costs a bit scan instead of a call per field.
inline byte_marks mark_bytes(const char* text, size_t base, size_t length, char delimiter) {
  const size_t end = std::min(base + 64, length);
  byte_marks marks;
#if defined(__SSE2__)
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  for (size_t at = base; at < end; at += 16) {
    const __m128i block = load_block(bytes + at, length - at);
    u32 at_delimiter = static_cast<u32>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(delimiter))));
    u32 at_quote = bytes_in_set<quote>(block);
    // The bytes past the window or the text (zeros there) are no marks.
    if (end - at < 16) {
      const u32 inside = (u32{1} << (end - at)) - 1;
      at_delimiter &= inside;
      at_quote &= inside;
    }
    marks.delimiters |= u64{at_delimiter} << (at - base);
    marks.quotes |= u64{at_quote} << (at - base);
  }
#else
  for (size_t at = base; at < end; ++at) {
    marks.delimiters |= u64(text[at] == delimiter) << (at - base);
    marks.quotes |= u64(text[at] == quote) << (at - base);
  }
#endif
  return marks;
}

// Calls emit(begin, end, odd_quotes) for every piece of the length bytes at text cut at
// delimiter (a quote delimiter included): n delimiters give n + 1 pieces, empty ones
// included; odd_quotes tells whether the piece holds an odd number of quotes.
template <class Emit>
void for_each_marked_piece(const char* text, size_t length, char delimiter, Emit&& emit) {
  size_t start = 0;
  bool odd = false;  // quote parity of the piece so far
  for (size_t base = 0; base < length; base += 64) {
    const byte_marks marks = mark_bytes(text, base, length, delimiter);
    u64 delimiters = marks.delimiters;
    // A quote that is the delimiter belongs to no piece.
    u64 quotes = marks.quotes & ~delimiters;
    while (delimiters != 0) {
      const unsigned at = static_cast<unsigned>(__builtin_ctzll(delimiters));
      const u64 below = (u64{1} << at) - 1;
      odd ^= __builtin_parityll(quotes & below) != 0;
      emit(start, base + at, odd);
      start = base + at + 1;
      quotes &= ~below;
      odd = false;
      delimiters &= delimiters - 1;
    }
    odd ^= __builtin_parityll(quotes) != 0;
  }
  emit(start, length, odd);
}

// Calls emit(p, n) for every piece of the length bytes at text cut at delimiter: n
// delimiters give n + 1 pieces, empty ones included.
template <class Emit>
void for_each_piece(const char* text, size_t length, char delimiter, Emit&& emit) {
  for_each_marked_piece(text, length, delimiter,
                        [&](size_t begin, size_t end, bool) { emit(text + begin, end - begin); });
}

// Calls emit(p, n) for every LF-ended line of the length units at text, without the CRs
// at the line's start and without its LF. Returns the offset just after the last LF, 0
// when there is none.
template <class Unit, class Emit>
size_t for_each_lf_line(const Unit* text, size_t length, Emit&& emit) {
  size_t pos = 0;
  while (pos < length) {
    const Unit* hit;
    if constexpr (sizeof(Unit) == 1) {
      hit = static_cast<const Unit*>(std::memchr(text + pos, lf, length - pos));
    } else {
      hit = std::find(text + pos, text + length, Unit{lf_unit});
      if (hit == text + length) hit = nullptr;
    }
    if (!hit) break;
    size_t lf_at = static_cast<size_t>(hit - text);
    size_t start = pos;
    while (start < lf_at && text[start] == Unit{cr}) ++start;
    emit(text + start, lf_at - start);
    pos = lf_at + 1;
  }
  return pos;
}

// Appends n UTF-16 units, unit_at(0) to unit_at(n - 1), as code points: a high surrogate
// followed by a low one makes one code point; any other unit, a lone surrogate too, is
// taken as it stands so that no unit is lost.
template <class UnitAt>
void append_utf16_units(std::wstring& out, size_t n, UnitAt&& unit_at) {
  for (size_t i = 0; i < n; ++i) {
    u32 unit = unit_at(i);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < n) {
      u32 low = unit_at(i + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        out.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
        ++i;
        continue;
      }
    }
    out.push_back(static_cast<wchar_t>(unit));
  }
}

// Where the quotes of a piece with an odd number of them stand.
struct quote_marks {
  bool opens_field = false;  // the first character other than blank and tab is a quote
  bool closes_field = false;  // the last character other than white space is a quote
};

quote_marks inspect_quotes(const char* p, size_t n) {
  quote_marks marks;
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  size_t first = 0;
  while (first < n && blank(p[first])) ++first;
  marks.opens_field = first < n && p[first] == quote;
  size_t last = n;
  while (last > 0 && (blank(p[last - 1]) || p[last - 1] == cr || p[last - 1] == lf)) --last;
  marks.closes_field = last > 0 && p[last - 1] == quote;
  return marks;
}

template <class Char, class Trim>
int split_at_char(const Char* buffer, size_t length, Char delimiter,
                  std::vector<std::basic_string<Char>>& out, u32& delimiter_count, bool trim,
                  Trim&& trim_piece) {
  delimiter_count = 0;
  std::basic_string<Char> piece;
  const Char* start = buffer;
  const Char* end = buffer + length;
  auto store = [&](const Char* p, const Char* stop) {
    piece.assign(p, stop);
    if (trim) trim_piece(piece);
    if (!piece.empty()) out.push_back(piece);
  };
  for (const Char* c = buffer; c < end; ++c) {
    if (*c != delimiter) continue;
    ++delimiter_count;
    store(start, c);
    start = c + 1;
  }
  if (start < end) store(start, end);
  return static_cast<int>(length);
}

// Calls on_tag(text, offset) for every tag closed within the buffer, offset being the
// position after its last "<", and on_stray() for every ">" outside a tag.
template <class OnTag, class OnStray>
void walk_tags(const u8* buffer, int length, OnTag&& on_tag, OnStray&& on_stray) {
  std::string tag;
  bool in_tag = false;
  int offset = 0;
  for (int i = 0; i < length; ++i) {
    char c = static_cast<char>(buffer[i]);
    if (!in_tag) {
      if (c == '<') {
        in_tag = true;
        tag.assign(1, c);
        offset = i + 1;
      } else if (c == '>') {
        on_stray();
      }
      continue;
    }
    tag.push_back(c);
    if (c == '<') {
      offset = i + 1;
    } else if (c == '>') {
      on_tag(tag, offset);
      in_tag = false;
    }
  }
}

}  // namespace

bool split_string(const std::string& text, char delimiter, std::vector<std::string>& out,
                  bool trim, bool keep_empty, bool append) {
  if (is_one_of(text, out)) {
    const std::string copy = text;
    return split_string(copy, delimiter, out, trim, keep_empty, append);
  }
  piece_sink sink(out, append);
  if (!text.empty()) {
    for_each_piece(text.data(), text.size(), delimiter,
                   [&](const char* p, size_t n) { sink.put(p, n, trim, keep_empty); });
  }
  sink.finish();
  return !text.empty();
}

char split_string_any(std::vector<std::string>& out, const std::string& text, bool trim,
                      bool keep_empty, const std::string& delimiters) {
  if (is_one_of(text, out)) {
    const std::string copy = text;
    return split_string_any(out, copy, trim, keep_empty, delimiters);
  }
  if (text.empty()) {
    out.clear();
    return 0;
  }
  for (char delimiter : delimiters) {
    if (text.find(delimiter) == std::string::npos) continue;
    if (delimiter == '\0') break;
    split_string(text, delimiter, out, trim, keep_empty, false);
    return delimiter;
  }
  out.resize(1);
  out[0] = text;
  return 0;
}

char split_string_any_wide(std::vector<std::wstring>& out, const std::wstring& text, bool trim,
                           bool keep_empty, const std::string& delimiters) {
  out.clear();
  std::vector<std::string> pieces;
  char used = split_string_any(pieces, wstring_to_utf8(text), trim, keep_empty, delimiters);
  try {
    for (const std::string& piece : pieces) out.push_back(utf8_to_wstring(piece));
  } catch (const std::bad_alloc&) {
    // Keep the pieces converted so far.
  }
  return used;
}

bool split_string_to_set(const std::string& text, char delimiter, std::set<std::string>& out,
                         bool trim, bool append) {
  if (!append) out.clear();
  if (text.empty()) return false;
  std::string piece;
  for_each_piece(text.data(), text.size(), delimiter, [&](const char* p, size_t n) {
    piece.assign(p, n);
    if (trim) trim_whitespace(piece);
    if (!piece.empty()) out.insert(piece);
  });
  return true;
}

bool split_quoted(const std::string& text, char delimiter, std::vector<std::string>& out,
                  bool trim, bool keep_empty) {
  if (is_one_of(text, out)) {
    const std::string copy = text;
    return split_quoted(copy, delimiter, out, trim, keep_empty);
  }
  piece_sink sink(out, false);
  if (text.empty()) {
    sink.finish();
    return false;
  }
  const char* data = text.data();
  auto put_field = [&](size_t begin, size_t end) {
    sink.put(data + begin, end - begin, trim, keep_empty);
  };
  auto put_as_cut = [&](size_t begin, size_t end) {
    for_each_piece(data + begin, end - begin, delimiter,
                   [&](const char* p, size_t n) { sink.put(p, n, trim, keep_empty); });
  };

  // A quote group joins the pieces from one with an odd number of quotes through the next
  // such piece; the pieces between hold even numbers and cannot end it. The group is the
  // original text between those two pieces, delimiters and quotes included.
  constexpr size_t no_group = std::string::npos;
  size_t group_begin = no_group;
  bool group_opens_field = false;
  for_each_marked_piece(data, text.size(), delimiter, [&](size_t begin, size_t end, bool odd) {
    if (group_begin == no_group) {
      if (odd) {
        group_begin = begin;
        group_opens_field = inspect_quotes(data + begin, end - begin).opens_field;
      } else {
        put_field(begin, end);
      }
      return;
    }
    if (!odd) return;
    const quote_marks marks = inspect_quotes(data + begin, end - begin);
    if (!group_opens_field && marks.opens_field && !marks.closes_field) {
      // The group began at a stray quote inside a field (a name like 12" ruler) and this
      // piece starts a quoted field of its own: the stray's pieces stay as they were cut.
      put_as_cut(group_begin, begin - 1);
      group_begin = begin;
      group_opens_field = true;
      return;
    }
    put_field(group_begin, end);
    group_begin = no_group;
  });
  // A quote that is never closed must not cost the row its remaining fields.
  if (group_begin != no_group) put_as_cut(group_begin, text.size());
  sink.finish();
  return true;
}

int split_buffer_by_char(const u8* buffer, int length, char delimiter,
                         std::vector<std::string>& out, u32& delimiter_count, bool trim) {
  delimiter_count = 0;
  if (!buffer || length < 1) return 0;
  return split_at_char(reinterpret_cast<const char*>(buffer), static_cast<size_t>(length),
                       delimiter, out, delimiter_count, trim,
                       [](std::string& s) { trim_whitespace(s); });
}

int split_wide_buffer(const wchar_t* buffer, int length, wchar_t delimiter,
                      std::vector<std::wstring>& out, u32& delimiter_count, bool trim) {
  delimiter_count = 0;
  if (!buffer || length < 1) return 0;
  return split_at_char(buffer, static_cast<size_t>(length), delimiter, out, delimiter_count,
                       trim, [](std::wstring& s) { trim_whitespace_wide(s); });
}

int split_buffer_by_pair(const u8* buffer, int length, u16 delimiter_pair,
                         std::vector<std::string>& out, bool trim) {
  if (!buffer || length < 1) return 0;
  const u8 first = static_cast<u8>(delimiter_pair & 0xFF);
  const u8 second = static_cast<u8>(delimiter_pair >> 8);
  std::string piece;
  auto store = [&] {
    if (trim) trim_whitespace(piece);
    if (!piece.empty()) out.push_back(piece);
    piece.clear();
  };
  for (int i = 0; i < length;) {
    if (i + 1 < length && buffer[i] == first && buffer[i + 1] == second) {
      store();
      i += 2;
    } else {
      piece.push_back(static_cast<char>(buffer[i]));
      ++i;
    }
  }
  if (!piece.empty()) store();
  return length;
}

bool split_buffer_lines(u32& consumed, std::vector<std::string>& lines, const u8* buffer,
                        u32 length, bool trim, bool skip_empty) {
  if (length == 0) return false;
  consumed = 0;
  piece_sink sink(lines, false);
  if (buffer) {
    consumed = static_cast<u32>(for_each_lf_line(
        reinterpret_cast<const char*>(buffer), length, [&](const char* p, size_t n) {
          if (n > 0 && p[n - 1] == cr) --n;
          sink.put(p, n, trim, !skip_empty);
        }));
  }
  sink.finish();
  return sink.stored() > 0;
}

bool split_buffer_whole_lines(u32& consumed, std::vector<std::string>& lines, const u8* buffer,
                              u32 length) {
  if (length == 0) return false;
  consumed = 0;
  piece_sink sink(lines, false);
  if (buffer) {
    const char* text = reinterpret_cast<const char*>(buffer);
    size_t pos = 0;
    while (pos < length) {
      const void* lf_at = std::memchr(text + pos, lf, length - pos);
      if (lf_at == nullptr) break;
      const size_t end = static_cast<size_t>(static_cast<const char*>(lf_at) - text) + 1;
      sink.put(text + pos, end - pos, false, true);
      pos = end;
    }
    consumed = static_cast<u32>(pos);
  }
  sink.finish();
  return sink.stored() > 0;
}

bool split_byte_vector_lines(const std::vector<u8>& data, std::vector<std::string>& lines) {
  piece_sink sink(lines, false);
  const char* text = reinterpret_cast<const char*>(data.data());
  const size_t size = data.size();
  if (size > 0) {
    size_t tail = for_each_lf_line(text, size,
                                   [&](const char* p, size_t n) { sink.put(p, n, true, true); });
    if (tail == 0) {
      sink.put(text, size, true, true);
    } else {
      // The last line needs no LF: one byte after the last LF is a line like any other.
      while (tail < size && text[tail] == cr) ++tail;
      if (tail < size) sink.put(text + tail, size - tail, true, true);
    }
  }
  sink.finish();
  return sink.stored() > 0;
}

bool split_utf16_vector_lines(const std::vector<u16>& data, std::vector<std::wstring>& lines) {
  lines.clear();
  if (data.empty()) return false;
  std::wstring line;
  auto store = [&](const u16* p, size_t n) {
    line.clear();
    append_utf16_units(line, n, [p](size_t i) { return p[i]; });
    trim_whitespace_wide(line);
    lines.push_back(line);
  };
  size_t tail = for_each_lf_line(data.data(), data.size(), store);
  // The text after the last LF is a line too, but 0 units that end the data are padding.
  size_t end = data.size();
  while (end > tail && data[end - 1] == 0) --end;
  while (tail < end && data[tail] == cr_unit) ++tail;
  if (tail < end) store(data.data() + tail, end - tail);
  return !lines.empty();
}

bool split_text_buffer_lines(std::vector<std::string>& lines, const u8* buffer, u32 length,
                             bool trim, bool skip_empty) {
  piece_sink sink(lines, false);
  if (!buffer || length < 2) {
    sink.finish();
    return false;
  }
  const bool utf16 =
      buffer[0] == 0 || buffer[1] == 0 || (length >= 4 && (buffer[2] == 0 || buffer[3] == 0));
  if (!utf16) {
    const char* text = reinterpret_cast<const char*>(buffer);
    size_t pos = 0;
    for (;;) {
      size_t end = pos;
      while (end < length && text[end] != lf && text[end] != '\0') ++end;
      if (end == pos) {
        if (end < length && !skip_empty) sink.put_empty();
      } else {
        size_t n = end - pos;
        if (n >= 2 && text[end - 1] == cr) --n;
        sink.put(text + pos, n, trim, true);
      }
      if (end >= length || text[end] == '\0') break;
      pos = end + 1;
    }
  } else {
    const size_t units = length / 2;
    auto unit_at = [buffer](size_t i) {
      return static_cast<u16>(buffer[2 * i] | (buffer[2 * i + 1] << 8));
    };
    std::wstring wide;
    size_t pos = 0;
    for (;;) {
      size_t end = pos;
      while (end < units && unit_at(end) != lf_unit) ++end;
      if (end == pos) {
        if (end < units && !skip_empty) sink.put_empty();
      } else {
        size_t n = end - pos;
        if (n >= 2 && unit_at(end - 1) == cr_unit) --n;
        wide.clear();
        append_utf16_units(wide, n, [&](size_t i) { return unit_at(pos + i); });
        if (trim) trim_whitespace_wide(wide);
        sink.next() = wstring_to_utf8(wide);
        sink.keep();
      }
      if (end >= units) break;
      pos = end + 1;
    }
  }
  sink.finish();
  return sink.stored() > 0;
}

std::string& read_utf16_line(std::string& line, const u16*& cursor, u32& remaining,
                             bool continuation) {
  line.clear();
  if (!cursor || remaining == 0) return line;
  // Length of the line end at i (CR, LF or CR LF), 0 when there is none.
  auto line_end_at = [&](u32 i) -> u32 {
    if (cursor[i] == lf_unit) return 1;
    if (cursor[i] != cr_unit) return 0;
    return (i + 1 < remaining && cursor[i + 1] == lf_unit) ? 2 : 1;
  };
  std::wstring wide;
  u32 i = 0;
  while (i < remaining) {
    if (continuation && cursor[i] == '\\' && i + 1 < remaining && line_end_at(i + 1) > 0) {
      i += 1 + line_end_at(i + 1);
      continue;
    }
    if (u32 end = line_end_at(i)) {
      i += end;
      break;
    }
    u32 start = i;
    while (i < remaining && cursor[i] != lf_unit && cursor[i] != cr_unit &&
           !(continuation && cursor[i] == '\\'))
      ++i;
    if (i == start) {
      // A backslash that does not come before a line end is text.
      ++i;
    }
    append_utf16_units(wide, i - start, [&](size_t k) { return cursor[start + k]; });
  }
  line = wstring_to_utf8(wide);
  // The cursor always moves, also past a last line without line end, so that a reader
  // looping while units remain comes to an end.
  cursor += i;
  remaining -= i;
  return line;
}

bool split_text_lines(const u8* buffer, u32 length, std::vector<std::string>& lines) {
  lines.clear();
  if (!buffer || length == 0) return false;
  const char* text = reinterpret_cast<const char*>(buffer);
  std::string copy;
  char cut;
  switch (detect_line_ending(buffer, std::min<u32>(length, 1024))) {
    case line_ending_crlf:
    case line_ending_lf:
      cut = lf;
      break;
    case line_ending_cr:
      cut = cr;
      break;
    case line_ending_lfcr:
      copy.assign(text, length);
      std::replace(copy.begin(), copy.end(), lf, ' ');
      text = copy.data();
      cut = cr;
      break;
    default:
      return false;
  }
  u32 cuts = 0;
  split_at_char(text, length, cut, lines, cuts, false, [](std::string&) {});
  for (std::string& line : lines) trim_whitespace(line);
  return !lines.empty();
}

bool split_tag_texts(const u8* buffer, int length, std::vector<std::string>& texts) {
  if (!buffer || length < 1) return false;
  std::string gathered;
  auto flush = [&] {
    if (trim_whitespace(gathered)) texts.push_back(gathered);
    gathered.clear();
  };
  bool in_tag = false;
  for (int i = 0; i < length; ++i) {
    char c = static_cast<char>(buffer[i]);
    if (c == '>') {
      flush();
      in_tag = false;
    } else if (in_tag) {
      continue;
    } else if (c == '<') {
      in_tag = true;
    } else {
      gathered.push_back(c);
    }
  }
  // Gathered text is taken at a ">" only: what follows the last one (trailing text, or text
  // before a tag left open) stands between no two tags.
  return !texts.empty();
}

bool split_tags(const u8* buffer, int length, std::vector<std::string>& tags) {
  if (!buffer || length < 1) return false;
  walk_tags(
      buffer, length, [&](const std::string& tag, int) { tags.push_back(tag); },
      [&] { tags.emplace_back(); });
  return !tags.empty();
}

bool split_tags_with_offsets(const u8* buffer, int length,
                             std::vector<std::pair<std::string, int>>& tags) {
  if (!buffer || length < 1) return false;
  walk_tags(
      buffer, length, [&](const std::string& tag, int offset) { tags.emplace_back(tag, offset); },
      [&] { tags.emplace_back(std::string(), 0); });
  return !tags.empty();
}

bool find_bytes_horspool(u64& position, const u8* haystack, i64 haystack_length,
                         const u8* needle, u32 needle_length) {
  position = 0;
  if (!haystack || !needle || haystack_length <= 0 || needle_length == 0 ||
      static_cast<u64>(haystack_length) < needle_length)
    return false;
  u64 found = horspool_find(haystack, static_cast<u64>(haystack_length), needle, needle_length);
  if (found == bytes_not_found) return false;
  position = found;
  return true;
}

namespace {

// White space as a stream reads words: blank, tab, LF, VT, FF, CR.
bool is_word_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

int split_command_line(const char* text, u32 max_words, std::vector<std::string>& out,
                       bool quotes) {
  if (!text) return 0;
  std::vector<std::string> words;
  const char* p = text;
  while (max_words == 0 || words.size() < max_words) {
    while (*p && is_word_space(*p)) ++p;
    if (!*p) break;
    const char* word_start = p;
    while (*p && !is_word_space(*p)) ++p;
    words.emplace_back(word_start, p);
  }
  const int read = static_cast<int>(words.size());
  if (!quotes || words.size() < 2) {
    out.insert(out.end(), words.begin(), words.end());
    return read;
  }

  std::string group;
  std::size_t group_first = 0;
  bool in_group = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (!in_group) {
      if (word.front() != '"') {
        out.push_back(word);
      } else if (word.size() > 1 && word.back() == '"') {
        out.push_back(word.substr(1, word.size() - 2));
      } else {
        group = word.substr(1) + " ";
        group_first = i;
        in_group = true;
      }
    } else if (word.back() == '"') {
      group.append(word, 0, word.size() - 1);
      out.push_back(group);
      in_group = false;
    } else {
      group += word + " ";
    }
  }
  // A quote that nothing closes groups nothing: its words are kept as they were read.
  if (in_group)
    out.insert(out.end(), words.begin() + static_cast<std::ptrdiff_t>(group_first), words.end());
  return read;
}

bool split_words(const std::string& text, std::vector<std::string>& out) {
  if (text.empty()) return false;
  return split_command_line(text.c_str(), 0, out, true) > 0;
}
