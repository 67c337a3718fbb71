#include "framework/text/qz_search.h"

#include <cstring>
#include <new>

#include "framework/text/qz_string.h"

namespace {

// Plain comparison: candidates are found with memchr on the first byte, then compared whole.
u64 plain_find(const u8* buf, u64 len, const u8* pattern, u32 plen, u64 from) {
  if (!buf || !pattern || plen == 0 || from > len || len - from < plen) return bytes_not_found;
  const u64 last_start = len - plen;
  u64 cur = from;
  while (cur <= last_start) {
    const void* hit = std::memchr(buf + cur, pattern[0], last_start - cur + 1);
    if (!hit) break;
    cur = static_cast<u64>(static_cast<const u8*>(hit) - buf);
    if (std::memcmp(buf + cur, pattern, plen) == 0) return cur;
    ++cur;
  }
  return bytes_not_found;
}

// Records every non-overlapping match from the start of buf through find_next.
template <typename FindNext>
void collect_matches(u64 len, u32 plen, std::vector<u64>* offsets, u64 base, bool first_only,
                     FindNext find_next) {
  u64 cur = 0;
  while (cur <= len) {
    const u64 at = find_next(cur);
    if (at == bytes_not_found) return;
    offsets->push_back(base + at);
    if (first_only) return;
    cur = at + plen;
  }
}

bool is_printable(u8 c, bool include_ws) {
  return (c >= 32 && c <= 126) || (include_ws && (c == '\t' || c == '\n' || c == '\r'));
}

bool is_leading_punct(u8 c) {
  return (c >= 32 && c <= 46) || (c >= 58 && c <= 64) || (c >= 92 && c <= 96) ||
         (c >= 124 && c <= 126);
}

// Loads the value at byte offset at without assuming the buffer is aligned.
template <typename T>
T load_value(const u8* bytes, u64 at) {
  T value;
  std::memcpy(&value, bytes + at, sizeof(T));
  return value;
}

template <typename T>
bool find_values(std::vector<u64>* offsets, const T* buf, u32 len, T value, u32 stride,
                 bool first_only) {
  constexpr u32 width = sizeof(T);
  if (!offsets || !buf || len < width || stride < width) return false;
  const u8* bytes = reinterpret_cast<const u8*>(buf);
  const u64 step = stride / width * width;
  for (u64 at = 0; at + width <= len; at += step) {
    if (load_value<T>(bytes, at) == value) {
      offsets->push_back(at);
      if (first_only) break;
    }
  }
  return !offsets->empty();
}

template <typename T>
bool find_value_set(std::vector<std::vector<u64>>* hits, const T* buf, u32 len,
                    const std::vector<T>& values, u32 stride, bool first_only) {
  constexpr u32 width = sizeof(T);
  if (!hits) return false;
  hits->assign(values.size(), std::vector<u64>());
  if (!buf || len < width || stride < width) return false;
  const u8* bytes = reinterpret_cast<const u8*>(buf);
  const u64 step = stride / width * width;
  bool matched = false;
  for (u64 at = 0; at + width <= len; at += step) {
    const T word = load_value<T>(bytes, at);
    bool matched_here = false;
    for (size_t i = 0; i < values.size(); ++i) {
      if (values[i] == word) {
        (*hits)[i].push_back(at);
        matched_here = true;
      }
    }
    matched = matched || matched_here;
    if (matched_here && first_only) break;
  }
  return matched;
}

// The rules by which a scan cuts runs of characters out of a buffer.
struct run_rules {
  u32 unit;  // 1 for bytes, 2 for UTF-16LE
  bool include_ws;
  bool skip_leading_punct;
};

// Calls on_run(run, start) for every non-empty run of characters in buf, in order; start is the
// byte position of the run's first kept character.
template <typename OnRun>
void scan_runs(const u8* buf, u64 len, const run_rules& rules, OnRun on_run) {
  std::string run;
  u64 run_start = 0;
  u64 pos = 0;
  while (pos < len) {
    const u8 c = buf[pos];
    const bool is_char = is_printable(c, rules.include_ws) &&
                         (rules.unit == 1 || (pos + 1 < len && buf[pos + 1] == 0));
    if (!is_char) {
      if (!run.empty()) on_run(run, run_start);
      run.clear();
      ++pos;
      continue;
    }
    if (run.empty() && (c == ' ' || (rules.skip_leading_punct && is_leading_punct(c)))) {
      pos += rules.unit;
      continue;
    }
    if (run.empty()) run_start = pos;
    run.push_back(static_cast<char>(c));
    pos += rules.unit;
  }
  if (!run.empty()) on_run(run, run_start);
}

bool holds_visible(const std::string& run) {
  for (char c : run)
    if (c != '\r' && c != '\n' && c != ' ') return true;
  return false;
}

// Runs at least min_len long (and, with need_visible, holding something other than CR, LF and
// blank) go to strings and base + start to offsets.
void extract_runs(const u8* buf, u64 len, u32 min_len, std::vector<std::string>* strings,
                  std::vector<u64>* offsets, u64 base, const run_rules& rules,
                  bool need_visible) {
  scan_runs(buf, len, rules, [&](const std::string& run, u64 start) {
    if (run.size() < min_len || (need_visible && !holds_visible(run))) return;
    if (strings) strings->push_back(run);
    if (offsets) offsets->push_back(base + start);
  });
}

// Records base + position of every non-overlapping occurrence of word (any case) in the runs.
void find_word_in_runs(const std::string& word, const u8* buf, u64 len, u32 unit,
                       std::vector<u64>* offsets, int base) {
  std::string lower_word = word;
  to_lower(lower_word);
  if (lower_word.empty()) return;
  // The base may be negative; offsets wrap as the unsigned sum, as the caller's base did.
  const u64 origin = static_cast<u64>(static_cast<i64>(base));
  std::string lower_run;
  scan_runs(buf, len, {unit, false, false}, [&](const std::string& run, u64 start) {
    if (run.size() < lower_word.size()) return;
    lower_run = run;
    to_lower(lower_run);
    for (size_t k = lower_run.find(lower_word); k != std::string::npos;
         k = lower_run.find(lower_word, k + lower_word.size()))
      offsets->push_back(origin + start + k * unit);
  });
}

void empty_outputs(std::vector<std::string>* strings, std::vector<u64>* offsets) {
  if (strings) strings->clear();
  if (offsets) offsets->clear();
}

}  // namespace

void build_horspool_table(horspool_table& table, const u8* pattern, u32 plen) {
  for (u32& entry : table.shift) entry = plen;
  if (!pattern) return;
  for (u32 k = 0; k + 1 < plen; ++k) table.shift[pattern[k]] = plen - 1 - k;
}

u64 horspool_find(const horspool_table& table, const u8* buf, u64 len, const u8* pattern,
                  u32 plen, u64 from) {
  if (!buf || !pattern || plen == 0 || from > len || len - from < plen) return bytes_not_found;
  const u64 last_start = len - plen;
  const u8 last = pattern[plen - 1];
  u64 cur = from;
  while (cur <= last_start) {
    const u8 under_last = buf[cur + plen - 1];
    if (under_last == last && std::memcmp(buf + cur, pattern, plen - 1) == 0) return cur;
    cur += table.shift[under_last];
  }
  return bytes_not_found;
}

u64 horspool_find(const u8* buf, u64 len, const u8* pattern, u32 plen) {
  if (!buf || !pattern || plen == 0 || len < plen) return bytes_not_found;
  horspool_table table;
  build_horspool_table(table, pattern, plen);
  return horspool_find(table, buf, len, pattern, plen, 0);
}

bool search_bytes(const u8* buf, u32 len, const u8* pattern, u32 plen, std::vector<u64>* offsets,
                  u64 base, bool use_skip_table, bool first_only) {
  if (!offsets) return false;
  offsets->clear();
  if (!buf || !pattern || len == 0 || plen == 0 || plen > len) return false;
  if (use_skip_table) {
    horspool_table table;
    build_horspool_table(table, pattern, plen);
    collect_matches(len, plen, offsets, base, first_only, [&](u64 from) {
      return horspool_find(table, buf, len, pattern, plen, from);
    });
  } else {
    collect_matches(len, plen, offsets, base, first_only,
                    [&](u64 from) { return plain_find(buf, len, pattern, plen, from); });
  }
  return !offsets->empty();
}

bool find_bytes_first_ptr(const u8* buf, u32 len, const u8* pattern, u32 plen, u64* out,
                          bool use_skip_table) {
  if (!out) return false;
  *out = 0;
  std::vector<u64> offsets;
  if (!search_bytes(buf, len, pattern, plen, &offsets, 0, use_skip_table, true)) return false;
  *out = offsets.front();
  return true;
}

bool find_bytes_all(const u8* buf, u32 len, const std::vector<u8>& pattern,
                    std::vector<u64>* offsets, u64 base, bool use_skip_table) {
  if (!offsets) return false;
  offsets->clear();
  if (!buf || len == 0 || pattern.empty() || pattern.size() > len) return false;
  return search_bytes(buf, len, pattern.data(), static_cast<u32>(pattern.size()), offsets, base,
                      use_skip_table, false);
}

bool find_bytes_first(const u8* buf, u32 len, const std::vector<u8>& pattern, u64* out, u64 base,
                      bool use_skip_table) {
  if (!out || !buf || len == 0 || pattern.empty() || pattern.size() > len) return false;
  std::vector<u64> offsets;
  if (!search_bytes(buf, len, pattern.data(), static_cast<u32>(pattern.size()), &offsets, base,
                    use_skip_table, true))
    return false;
  *out = offsets.front();
  return true;
}

bool search_bytes_aligned(std::vector<u64>* offsets, const u8* buf, u32 len, const u8* pattern,
                          u32 plen, u32 run, u32 align, bool first_only) {
  if (!offsets || !buf || !pattern || len == 0 || plen == 0 || align == 0 || plen > len)
    return false;
  const u64 last_start = len - plen;
  // 64-bit positions: the step to the next multiple of align may pass the 32-bit range.
  for (u64 pos = 0; pos <= last_start;) {
    if (std::memcmp(buf + pos, pattern, plen) == 0) {
      offsets->push_back(pos);
      if (first_only) break;
    }
    pos = next_aligned_position(pos, run, align);
  }
  return !offsets->empty();
}

u64 next_aligned_position(u64 pos, u32 run, u32 align) {
  if (run == 0 || (pos + 1) % run == 0) return (pos / align + 1) * align;
  return pos + 1;
}

bool find_patterns_aligned(std::vector<u64>& positions, std::vector<u32>& which, const u8* buffer,
                           i32 length, const std::vector<std::vector<u8>>& patterns, u32 run,
                           u32 alignment, bool first_only) {
  positions.clear();
  which.clear();
  if (buffer == nullptr || length <= 0 || alignment == 0 || patterns.empty()) return false;
  const u64 total = static_cast<u64>(length);
  for (u64 pos = 0; pos < total; pos = next_aligned_position(pos, run, alignment)) {
    for (size_t k = 0; k < patterns.size(); ++k) {
      const auto& pattern = patterns[k];
      if (pattern.empty() || pattern.size() > total - pos) continue;
      if (std::memcmp(buffer + pos, pattern.data(), pattern.size()) != 0) continue;
      positions.push_back(pos);
      which.push_back(static_cast<u32>(k));
      if (first_only) return true;
      break;
    }
  }
  return !which.empty();
}

bool find_all_positions(const u8* buffer, u32 length, const u8* pattern, u32 pattern_length,
                        std::vector<u32>& positions, bool use_skip_table, bool first_only) {
  positions.clear();
  std::vector<u64> offsets;
  search_bytes(buffer, length, pattern, pattern_length, &offsets, 0, use_skip_table, first_only);
  positions.reserve(offsets.size());
  for (const u64 offset : offsets) positions.push_back(static_cast<u32>(offset));
  return !positions.empty();
}

bool find_text_in_bytes(u64* out, const std::vector<u8>& buf, const std::string& text, u64 base) {
  if (!out) return false;
  *out = 0;
  if (text.empty()) {
    *out = base;
    return true;
  }
  if (text.size() > buf.size()) return false;
  const u64 at = plain_find(buf.data(), buf.size(), reinterpret_cast<const u8*>(text.data()),
                            static_cast<u32>(text.size()), 0);
  if (at == bytes_not_found) return false;
  *out = base + at;
  return true;
}

bool contains_in_order(const std::vector<u8>& buf, const std::vector<u8>& first,
                       const std::vector<u8>& second) {
  if (first.empty() && second.empty()) return false;
  if (buf.empty() || buf.size() < first.size() || buf.size() < second.size()) return false;
  u64 after_first = 0;
  if (!first.empty()) {
    const u64 at = plain_find(buf.data(), buf.size(), first.data(),
                              static_cast<u32>(first.size()), 0);
    if (at == bytes_not_found) return false;
    after_first = at + first.size();
  }
  if (second.empty()) return true;
  return plain_find(buf.data(), buf.size(), second.data(), static_cast<u32>(second.size()),
                    after_first) != bytes_not_found;
}

bool rfind_bytes_in_tail(const u8* buf, u32 len, const u8* pattern, u32 plen, u32 window,
                         u64* out) {
  if (!out) return false;
  *out = 0;
  if (!buf || !pattern || len == 0 || plen == 0 || window == 0 || plen > len) return false;
  // A window wider than the buffer reaches back to its start, never before it.
  const u64 lowest = window >= len ? 0 : u64{len} - window;
  for (u64 pos = len - plen + u64{1}; pos-- > lowest;) {
    if (std::memcmp(buf + pos, pattern, plen) == 0) {
      *out = pos;
      return true;
    }
  }
  return false;
}

bool looks_like_xml(const u8* buf, u32 len) {
  static constexpr u8 xml_start[] = {'<', '?', 'x', 'm', 'l', ' ', 'v', 'e'};
  static constexpr u8 comment_open[] = {'<', '!', '-', '-'};
  static constexpr u8 comment_close[] = {'-', '-', '>'};
  if (!buf || len < 16) return false;
  auto at = [&](u64 pos, const u8* what, u64 n) {
    return pos + n <= len && std::memcmp(buf + pos, what, n) == 0;
  };
  if (at(0, xml_start, sizeof xml_start)) return true;
  if (!at(0, comment_open, sizeof comment_open)) return false;
  bool in_comment = true;
  u64 pos = 0;
  while (pos < len) {
    if (in_comment) {
      if (at(pos, comment_close, sizeof comment_close)) {
        pos += sizeof comment_close;
        in_comment = false;
      } else {
        ++pos;
      }
    } else if (at(pos, comment_open, sizeof comment_open)) {
      pos += sizeof comment_open;
      in_comment = true;
    } else if (at(pos, xml_start, sizeof xml_start)) {
      return true;
    } else {
      ++pos;
    }
  }
  return false;
}

bool make_pattern_table(std::vector<const char*>* ptrs, std::vector<u32>* lens,
                        const std::vector<std::string>& patterns) {
  if (!ptrs || !lens) return false;
  try {
    ptrs->assign(patterns.size(), nullptr);
    lens->assign(patterns.size(), 0);
  } catch (const std::bad_alloc&) {
    ptrs->clear();
    lens->clear();
    return false;
  }
  for (size_t i = 0; i < patterns.size(); ++i) {
    (*lens)[i] = static_cast<u32>(patterns[i].size());
    (*ptrs)[i] = patterns[i].empty() ? nullptr : patterns[i].data();
  }
  return !patterns.empty();
}

bool find_u16_values(std::vector<u64>* offsets, const u16* buf, u32 len, u16 value, u32 stride) {
  return find_values(offsets, buf, len, value, stride, false);
}

bool find_u32_values(std::vector<u64>* offsets, const u32* buf, u32 len, u32 value, u32 stride,
                     bool first_only) {
  return find_values(offsets, buf, len, value, stride, first_only);
}

bool find_u64_values(std::vector<u64>* offsets, const u64* buf, u32 len, u64 value, u32 stride,
                     bool first_only) {
  return find_values(offsets, buf, len, value, stride, first_only);
}

bool find_u64_values_packed(std::vector<u64>* offsets, const u8* buf, u32 len, u64 value,
                            bool first_only) {
  if (!offsets || !buf || len < 4) return false;
  // Written as at + 8 <= len: with len - 8 a buffer of 4 to 7 bytes would wrap around.
  for (u64 at = 0; at + sizeof(u64) <= len; at += 4) {
    if (load_value<u64>(buf, at) == value) {
      offsets->push_back(at);
      if (first_only) break;
    }
  }
  return !offsets->empty();
}

bool find_u32_value_set(std::vector<std::vector<u64>>* hits, const u32* buf, u32 len,
                        const std::vector<u32>& values, u32 stride, bool first_only) {
  return find_value_set(hits, buf, len, values, stride, first_only);
}

bool find_u64_value_set(std::vector<std::vector<u64>>* hits, const u64* buf, u32 len,
                        const std::vector<u64>& values, u32 stride, bool first_only) {
  return find_value_set(hits, buf, len, values, stride, first_only);
}

bool find_nonzero_blocks(std::vector<u64>* offsets, const u64* buf, u32 len, u32 block,
                         bool first_only, u64 base) {
  constexpr u32 min_block = 512;
  if (!offsets) return false;
  offsets->clear();
  const u64 block_bytes = block < min_block ? min_block : block;
  if (!buf || len == 0 || block_bytes > len) return false;
  const u8* bytes = reinterpret_cast<const u8*>(buf);
  for (u64 start = 0; start + block_bytes <= len; start += block_bytes) {
    for (u64 at = start; at + sizeof(u64) <= start + block_bytes; at += sizeof(u64)) {
      if (load_value<u64>(bytes, at) != 0) {
        offsets->push_back(base + at);
        break;
      }
    }
    if (first_only && !offsets->empty()) break;
  }
  return true;
}

bool extract_ascii_strings(const u8* buf, int len, u32 min_len, std::vector<std::string>* strings,
                           std::vector<u64>* offsets, u64 base, bool append, bool include_ws) {
  if (!buf || len < 1) return false;
  if (!append) empty_outputs(strings, offsets);
  extract_runs(buf, static_cast<u64>(len), min_len, strings, offsets, base,
               {1, include_ws, false}, false);
  return true;
}

bool extract_printable_strings(const u8* buf, int len, u32 min_len,
                               std::vector<std::string>* strings, std::vector<u64>* offsets,
                               bool include_ws, bool skip_leading_punct) {
  empty_outputs(strings, offsets);
  if (!buf || len < 1) return false;
  extract_runs(buf, static_cast<u64>(len), min_len, strings, offsets, 0,
               {1, include_ws, skip_leading_punct}, true);
  return true;
}

bool extract_utf16_strings(const u8* buf, u32 len, u32 min_len, std::vector<std::string>* strings,
                           std::vector<u64>* offsets, u64 base, bool append, bool include_ws) {
  if (!buf || len < 1) return false;
  if (!append) empty_outputs(strings, offsets);
  extract_runs(buf, len, min_len, strings, offsets, base, {2, include_ws, false}, false);
  return true;
}

bool extract_utf16_strings_ex(const u8* buf, u32 len, u32 min_len,
                              std::vector<std::string>* strings, std::vector<u64>* offsets,
                              bool include_ws, bool skip_leading_punct) {
  empty_outputs(strings, offsets);
  if (!buf || len == 0) return false;
  extract_runs(buf, len, min_len, strings, offsets, 0, {2, include_ws, skip_leading_punct}, true);
  return true;
}

bool find_word_in_ascii(const std::string& word, const u8* buf, u64 len,
                        std::vector<u64>* offsets, int base, bool append) {
  if (!offsets || !buf || len == 0) return false;
  if (!append) offsets->clear();
  find_word_in_runs(word, buf, len, 1, offsets, base);
  return !offsets->empty();
}

bool find_word_in_utf16(const std::string& word, const u8* buf, u64 len,
                        std::vector<u64>* offsets, int base, bool append) {
  if (!offsets || !buf || len == 0) return false;
  if (!append) offsets->clear();
  find_word_in_runs(word, buf, len, 2, offsets, base);
  return true;
}
