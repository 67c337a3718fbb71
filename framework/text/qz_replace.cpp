#include "framework/text/qz_replace.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "framework/text/qz_string.h"
#include "framework/text/uni_unicode.h"

namespace {

std::string& fold(std::string& s) { return to_lower(s); }
std::wstring& fold(std::wstring& s) { return to_lower_wide(s); }

template <class C>
C lower_char(C c) {
  return static_cast<C>(to_lower_char(c));
}

template <class C>
C upper_char(C c) {
  return static_cast<C>(to_upper_char(c));
}

// Position of what in text, npos when absent. An empty what is never found: cutting or
// replacing "nothing" at position 0 would truncate or prefix the text. With ignore_case what
// must already be lower-cased; the search runs on a lower-cased copy of text.
template <class Str>
size_t find_first(const Str& text, const Str& what, bool ignore_case) {
  if (what.empty() || what.size() > text.size()) return Str::npos;
  if (!ignore_case) return text.find(what);
  Str folded(text);
  return fold(folded).find(what);
}

template <class Str>
bool replace_first_t(Str& text, Str& from, const Str& to, bool ignore_case) {
  if (ignore_case) fold(from);
  size_t at = find_first(text, from, ignore_case);
  if (at == Str::npos) return false;
  text.replace(at, from.size(), to);
  return true;
}

// The shortened text and its terminator fit where the longer text stood.
template <class C>
bool erase_first_terminated(C* text, const C* what, bool ignore_case) {
  if (text == nullptr || what == nullptr) return false;
  std::basic_string<C> shortened(text), needle(what);
  if (!replace_first_t(shortened, needle, std::basic_string<C>(), ignore_case)) return false;
  std::copy(shortened.c_str(), shortened.c_str() + shortened.size() + 1, text);
  return true;
}

template <class Str>
bool truncate_at_t(Str& text, const Str& what, bool ignore_case) {
  Str needle(what);
  if (ignore_case) fold(needle);
  size_t at = find_first(text, needle, ignore_case);
  if (at == Str::npos) return false;
  text.resize(at);
  return true;
}

template <class Str, class C = typename Str::value_type>
void replace_char_t(Str& text, C from, C to, bool both_cases) {
  if (from == to) return;
  C first = from, second = from;
  if (both_cases) {
    first = lower_char(from);
    second = upper_char(from);
  }
  for (C& ch : text)
    if (ch == first || ch == second) ch = to;
}

template <class C>
void replace_char_buffer_t(C* buf, int n, C from, C to, bool ignore_case) {
  if (buf == nullptr || n < 1) return;
  const C wanted = ignore_case ? lower_char(from) : from;
  for (int i = 0; i < n; ++i) {
    C unit = ignore_case ? lower_char(buf[i]) : buf[i];
    if (unit == wanted) buf[i] = to;
  }
}

// Puts ins before every character for which is_target holds; text is rebuilt only when
// one occurs.
template <class Str, class C, class Pred>
void insert_before_matching(Str& text, C ins, Pred is_target) {
  auto first = std::find_if(text.begin(), text.end(), is_target);
  if (first == text.end()) return;
  Str result;
  result.reserve(text.size() + text.size() / 8 + 8);
  result.append(text.begin(), first);
  for (auto it = first; it != text.end(); ++it) {
    if (is_target(*it)) result.push_back(ins);
    result.push_back(*it);
  }
  text = std::move(result);
}

template <class Str, class C = typename Str::value_type>
void insert_char_before_t(Str& text, C c, C ins) {
  insert_before_matching(text, ins, [c](C ch) { return ch == c; });
}

template <class Str, class C = typename Str::value_type>
void backslash_escape_chars_t(Str& text, const Str& set) {
  if (set.empty()) return;
  insert_before_matching(text, C('\\'), [&set](C ch) { return set.find(ch) != Str::npos; });
}

bool bytes_match(const unsigned char* at, const unsigned char* what, size_t n, bool ignore_case) {
  if (!ignore_case) return std::memcmp(at, what, n) == 0;
  for (size_t i = 0; i < n; ++i)
    if (to_lower_char(at[i]) != to_lower_char(what[i])) return false;
  return true;
}

bool is_space_byte(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

template <class OS>
bool seek_back(OS& os, int n) {
  if (n < 0 || os.fail()) return false;
  const auto at = os.tellp();
  if (at == std::streampos(-1)) return false;
  const std::streamoff back = std::min<std::streamoff>(std::streamoff(at), n);
  os.seekp(std::streamoff(at) - back);
  return !os.fail();
}

template <class SS>
bool back_up(SS& os, int n, bool truncate) {
  if (!seek_back(os, n)) return false;
  if (!truncate) return true;
  // Keep exactly the text before the new position, NUL characters included.
  auto kept = os.str();
  kept.resize(static_cast<size_t>(std::streamoff(os.tellp())));
  os.str(std::move(kept));
  os.seekp(0, std::ios_base::end);
  return !os.fail();
}

}  // namespace

// ---- Characters ----

int count_char(const std::string& text, char c) {
  return static_cast<int>(std::count(text.begin(), text.end(), c));
}

void replace_char(std::string& text, char from, char to, bool both_cases) {
  replace_char_t(text, from, to, both_cases);
}

void replace_char_wide(std::wstring& text, wchar_t from, wchar_t to, bool both_cases) {
  replace_char_t(text, from, to, both_cases);
}

void replace_char_buffer(char* buf, int n, char from, char to, bool ignore_case) {
  replace_char_buffer_t(buf, n, from, to, ignore_case);
}

void replace_char_buffer_wide(wchar_t* buf, int n, wchar_t from, wchar_t to, bool ignore_case) {
  replace_char_buffer_t(buf, n, from, to, ignore_case);
}

int remove_char(std::string& text, char c) { return static_cast<int>(std::erase(text, c)); }

int remove_char_wide(std::wstring& text, wchar_t c) {
  return static_cast<int>(std::erase(text, c));
}

std::string strip_char_copy(const std::string& text, char c) {
  std::string result;
  result.reserve(text.size());
  for (char ch : text)
    if (ch != c) result.push_back(ch);
  return result.empty() ? text : result;
}

void insert_char_before(std::string& text, char c, char ins) { insert_char_before_t(text, c, ins); }

void insert_char_before_wide(std::wstring& text, wchar_t c, wchar_t ins) {
  insert_char_before_t(text, c, ins);
}

void backslash_escape_chars(std::string& text, const std::string& set) {
  backslash_escape_chars_t(text, set);
}

void backslash_escape_chars_wide(std::wstring& text, const std::wstring& set) {
  backslash_escape_chars_t(text, set);
}

// ---- Strings ----

std::string& replace_all(std::string& text, const std::string& from, const std::string& to) {
  if (text.empty() || from.empty() || text.find(from) == std::string::npos) return text;
  return replace_all_copy(text, text, from, to);
}

std::string& replace_all_copy(std::string& out, const std::string& text, const std::string& from,
                              const std::string& to) {
  if (text.empty()) {
    out.clear();
    return out;
  }
  if (from.empty()) {
    if (&out != &text) out = text;
    return out;
  }
  // Built apart from out, which may be text, from or to itself.
  std::string result;
  result.reserve(text.size() + 256);
  size_t start = 0;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, start)) {
    result.append(text, start, at - start);
    result += to;
    start = at + from.size();
  }
  result.append(text, start, std::string::npos);
  out = std::move(result);
  return out;
}

std::string& replace_all_pairs(std::string& text, const std::vector<std::string>& from,
                               const std::vector<std::string>& to) {
  if (text.empty() || from.empty() || from.size() != to.size()) return text;
  for (size_t i = 0; i < from.size(); ++i) replace_all(text, from[i], to[i]);
  return text;
}

bool replace_first(std::string& text, std::string& from, const std::string& to, bool ignore_case) {
  return replace_first_t(text, from, to, ignore_case);
}

bool replace_first_wide(std::wstring& text, std::wstring& from, const std::wstring& to,
                        bool ignore_case) {
  return replace_first_t(text, from, to, ignore_case);
}

bool replace_first_cstr(std::string& text, const char* from, const char* to) {
  if (from == nullptr || to == nullptr) return false;
  std::string from_copy(from);
  return replace_first(text, from_copy, std::string(to), true);
}

bool erase_first(std::string& text, std::string& what, bool ignore_case) {
  return replace_first_t(text, what, std::string(), ignore_case);
}

bool erase_first_wide(std::wstring& text, std::wstring& what, bool ignore_case) {
  return replace_first_t(text, what, std::wstring(), ignore_case);
}

bool erase_first_buffer(char* text, const char* what, bool ignore_case) {
  return erase_first_terminated(text, what, ignore_case);
}

// Works on the wide text itself: a round trip through UTF-8 written back one byte per wide
// character would corrupt every character beyond ASCII. Only ASCII letters fold either way,
// so the match is the same.
bool erase_first_wbuffer(wchar_t* text, const wchar_t* what, bool ignore_case) {
  return erase_first_terminated(text, what, ignore_case);
}

bool truncate_at(std::string& text, const std::string& what, bool ignore_case) {
  return truncate_at_t(text, what, ignore_case);
}

bool truncate_at_wide(std::wstring& text, const std::wstring& what, bool ignore_case) {
  return truncate_at_t(text, what, ignore_case);
}

bool truncate_at_char(std::string& text, char c, bool ignore_case) {
  return truncate_at_t(text, std::string(1, c), ignore_case);
}

// ---- Buffers, words and lists ----

bool remove_all_from_buffer(char** buf, u32* len, const char* what, bool ignore_case) {
  if (buf == nullptr || *buf == nullptr || len == nullptr || *len == 0 || what == nullptr)
    return false;
  // An empty what would match without consuming a byte and never end.
  const size_t what_len = std::strlen(what);
  if (what_len == 0) return false;
  char* kept = new (std::nothrow) char[*len];
  if (kept == nullptr) return false;

  const auto* src = reinterpret_cast<const unsigned char*>(*buf);
  const auto* needle = reinterpret_cast<const unsigned char*>(what);
  size_t remaining = *len;
  u32 written = 0;
  bool removed = false;
  while (remaining > 0) {
    if (remaining < what_len) {
      std::memcpy(kept + written, src, remaining);
      written += static_cast<u32>(remaining);
      break;
    }
    if (bytes_match(src, needle, what_len, ignore_case)) {
      src += what_len;
      remaining -= what_len;
      removed = true;
      continue;
    }
    kept[written++] = static_cast<char>(*src++);
    --remaining;
  }
  if (!removed) {
    delete[] kept;
    return true;
  }
  delete[] *buf;
  *buf = kept;
  *len = written;
  return true;
}

bool remove_tagged_sections(u8* buf, u32* len, const char* tag) {
  if (buf == nullptr || len == nullptr || *len == 0 || tag == nullptr) return false;
  u8* kept = new (std::nothrow) u8[*len];
  if (kept == nullptr) return false;

  const std::string open = std::string("<") + tag;
  const std::string close = std::string("</") + tag + ">";
  const auto* open_bytes = reinterpret_cast<const unsigned char*>(open.data());
  const auto* close_bytes = reinterpret_cast<const unsigned char*>(close.data());
  const size_t total = *len;
  size_t i = 0, written = 0;
  bool inside = false, removed = false;
  int depth = 0;
  while (i < total) {
    if (total - i < close.size()) {
      std::memcpy(kept + written, buf + i, total - i);
      written += total - i;
      break;
    }
    if (bytes_match(buf + i, open_bytes, open.size(), true)) {
      // The byte after the tag name is skipped unseen, whatever it is.
      i += open.size() + 1;
      inside = true;
      removed = true;
    } else if (!inside) {
      kept[written++] = buf[i++];
      depth = 0;
      continue;
    }
    // Inside a section: "<" counts one level, "/>" at level 0 ends it, and the first
    // closing tag ends it at any level.
    int level = depth + (buf[i] == '<' ? 1 : 0);
    if (buf[i] == '/' && i + 1 < total && buf[i + 1] == '>') {
      if (level == 0) {
        inside = false;
        i += 2;
        continue;
      }
      --level;
    }
    if (total - i >= close.size() && bytes_match(buf + i, close_bytes, close.size(), true)) {
      i += close.size();
      inside = false;
      depth = 0;
    } else {
      depth = level;
      ++i;
    }
  }
  *len = static_cast<u32>(written);
  if (removed && written > 0) std::memcpy(buf, kept, written);
  delete[] kept;
  return true;
}

bool first_word(const std::string& text, std::string& word) {
  auto start = std::find_if_not(text.begin(), text.end(), is_space_byte);
  auto end = std::find_if(start, text.end(), is_space_byte);
  word.assign(start, end);
  return !word.empty();
}

bool remove_first_word(std::string& text, std::string& word) {
  if (!first_word(text, word)) return false;
  // Only white space stands before the first word, so its first occurrence is the word itself.
  text.erase(text.find(word), word.size());
  return true;
}

std::string& remove_equals_escapes(std::string& out, const std::string& text) {
  std::string result;
  result.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '=') {
      result.push_back(text[i++]);
      continue;
    }
    // An "=" near the end keeps whatever follows it rather than failing.
    const size_t escaped = std::min<size_t>(2, text.size() - i - 1);
    result.append(text, i + 1, escaped);
    i += 1 + escaped;
  }
  out = std::move(result);
  return out;
}

bool string_list_difference(const std::vector<std::string>& a, const std::vector<std::string>& b,
                            std::vector<std::string>* out, bool ignore_case) {
  if (out == nullptr) return false;
  std::vector<std::string> left(a), right(b);
  if (ignore_case) {
    to_lower_all(left);
    to_lower_all(right);
  }
  std::sort(left.begin(), left.end());
  std::sort(right.begin(), right.end());
  for (auto& entry : left)
    if (!std::binary_search(right.begin(), right.end(), entry)) out->push_back(std::move(entry));
  return true;
}

bool take_prefixed_entry_wide(const char* prefix, std::wstring& out,
                              std::vector<std::wstring>& list) {
  out.clear();
  if (prefix == nullptr) return false;
  std::wstring wanted = utf8_to_wstring(prefix);
  // A prefix that does not decode must not turn into the empty prefix that takes any entry.
  if (wanted.empty() && *prefix != '\0') return false;
  to_lower_wide(wanted);
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (it->size() < wanted.size()) continue;
    std::wstring head = it->substr(0, wanted.size());
    if (to_lower_wide(head) != wanted) continue;
    out = std::move(*it);
    list.erase(it);
    return true;
  }
  return false;
}

// ---- Output streams ----

bool stream_seek_back(std::ostream& os, int n) { return seek_back(os, n); }

bool stream_seek_back_wide(std::wostream& os, int n) { return seek_back(os, n); }

u64 stream_put_position(std::ostream& os) {
  if (os.fail()) return 0;
  const auto at = os.tellp();
  return at == std::streampos(-1) ? 0 : static_cast<u64>(std::streamoff(at));
}

bool stream_back_up(std::ostringstream& os, int n, bool truncate) {
  return back_up(os, n, truncate);
}

bool stream_back_up_wide(std::wostringstream& os, int n, bool truncate) {
  return back_up(os, n, truncate);
}
