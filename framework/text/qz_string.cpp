#include "framework/text/qz_string.h"

namespace {

// Folding is plain ASCII arithmetic: the process never changes its locale, so no
// other character may change, and no value ever reaches <cctype>.
template <class C>
constexpr C fold_lower(C c) {
  return (c >= C('A') && c <= C('Z')) ? C(c + ('a' - 'A')) : c;
}

template <class C>
constexpr C fold_upper(C c) {
  return (c >= C('a') && c <= C('z')) ? C(c - ('a' - 'A')) : c;
}

template <class S>
void fold_lower_in_place(S& s) {
  for (auto& c : s) c = fold_lower(c);
}

// A match at the text's length (an empty needle at the end) counts as none.
template <class S, class Needle>
bool locate(size_t& pos, const S& text, size_t from, const Needle& what) {
  pos = text.find(what, from);
  return pos != S::npos && pos != text.size();
}

bool is_blank_tab_crlf(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool is_tab_crlf(char c) { return c == '\t' || c == '\r' || c == '\n'; }
bool is_crlf(char c) { return c == '\r' || c == '\n'; }

// Cuts the leading characters in_lead accepts and the trailing ones in_trail accepts,
// with at most two erases and none when nothing goes. false when s was empty or
// nothing outside the leading set is left (s becomes empty).
template <class LeadSet, class TrailSet>
bool trim_ends(std::string& s, LeadSet in_lead, TrailSet in_trail) {
  if (s.empty()) return false;
  size_t first = 0;
  while (first < s.size() && in_lead(s[first])) ++first;
  if (first == s.size()) {
    s.clear();
    return false;
  }
  size_t end = s.size();
  while (end > first && in_trail(s[end - 1])) --end;
  if (end < s.size()) s.erase(end);
  if (first > 0) s.erase(0, first);
  return true;
}

// One pass of the wide trim: ch from both ends; false (s emptied) when s holds nothing else.
bool trim_char_both_ends(std::wstring& s, wchar_t ch) {
  size_t first = s.find_first_not_of(ch);
  if (first == std::wstring::npos) {
    s.clear();
    return false;
  }
  size_t last = s.find_last_not_of(ch);
  if (last + 1 < s.size()) s.erase(last + 1);
  if (first > 0) s.erase(0, first);
  return true;
}

void trim_char_end(std::wstring& s, wchar_t ch) {
  size_t last = s.find_last_not_of(ch);
  if (last != std::wstring::npos && last + 1 < s.size()) s.erase(last + 1);
}

template <class S>
bool trim_trailing_nuls_of(S& s) {
  size_t end = s.size();
  while (end > 0 && s[end - 1] == 0) --end;
  s.resize(end);
  return true;
}

template <class S>
bool drop_last_chars_of(S& s, int n) {
  if (s.empty() || n <= 0) return false;
  s.erase(s.size() > size_t(n) ? s.size() - size_t(n) : 0);
  return true;
}

template <class S>
size_t find_substring_of(S& text, S& what, bool ignore_case) {
  if (ignore_case) {
    fold_lower_in_place(text);
    fold_lower_in_place(what);
  }
  size_t pos;
  return locate(pos, text, 0, what) ? pos : S::npos;
}

template <class S>
bool compare_prefix_nocase_of(S& a, S& b, int n) {
  fold_lower_in_place(a);
  fold_lower_in_place(b);
  if (n < 0) return false;
  size_t count = size_t(n);
  if (a.size() < count || b.size() < count) return false;
  return a.compare(0, count, b, 0, count) == 0;
}

template <class C>
const C* find_nocase(const C* text, const C* what) {
  if (!text || !what) return nullptr;
  std::basic_string<C> folded_text(text);
  std::basic_string<C> folded_what(what);
  fold_lower_in_place(folded_text);
  fold_lower_in_place(folded_what);
  size_t pos = folded_text.find(folded_what);
  return pos == std::basic_string<C>::npos ? nullptr : text + pos;
}

// Ordering value of a character as strcmp and wcscmp see it.
inline int order_key(char c) { return static_cast<unsigned char>(c); }
inline wchar_t order_key(wchar_t c) { return c; }

template <class C>
int compare_cstr(const C* a, const C* b, bool ignore_case) {
  if (!a) return b ? -1 : 0;
  if (!b) return 1;
  for (;; ++a, ++b) {
    C ca = ignore_case ? fold_lower(*a) : *a;
    C cb = ignore_case ? fold_lower(*b) : *b;
    if (ca != cb) return order_key(ca) < order_key(cb) ? -1 : 1;
    if (ca == 0) return 0;
  }
}

template <class S, class C>
bool find_position_of(size_t& pos, const S& text, size_t from, const C* what) {
  if (!what) {
    pos = S::npos;
    return false;
  }
  return locate(pos, text, from, what);
}

// The traits compare by the upper-case form, a char taken as a signed value.
inline int upper_key(char c) { return fold_upper(static_cast<signed char>(c)); }
inline wchar_t upper_key(wchar_t c) { return fold_upper(c); }

template <class C>
const C* traits_find(const C* p, size_t n, C x) {
  auto key = upper_key(x);
  for (size_t i = 0; i < n; ++i)
    if (upper_key(p[i]) == key) return p + i;
  return nullptr;
}

template <class C>
int traits_compare(const C* a, const C* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    auto ka = upper_key(a[i]);
    auto kb = upper_key(b[i]);
    if (ka != kb) return ka < kb ? -1 : 1;
  }
  return 0;
}

inline bool is_printable_byte(unsigned char b) {
  return b == '\t' || b == '\n' || b == '\r' || (b >= 32 && b <= 126);
}

template <class Bytes>
bool all_printable(const Bytes& bytes) {
  if (bytes.empty()) return false;
  for (auto b : bytes)
    if (!is_printable_byte(static_cast<unsigned char>(b))) return false;
  return true;
}

}  // namespace

bool trim_whitespace(std::string& s) { return trim_ends(s, is_blank_tab_crlf, is_blank_tab_crlf); }

bool trim_whitespace_ex(std::string& s, bool keep_trailing_blanks) {
  if (keep_trailing_blanks) return trim_ends(s, is_blank_tab_crlf, is_tab_crlf);
  return trim_whitespace(s);
}

bool trim_whitespace_wide(std::wstring& s) {
  if (!trim_char_both_ends(s, L' ')) return false;
  if (!trim_char_both_ends(s, L'\t')) return false;
  trim_char_end(s, L'\r');
  trim_char_end(s, L'\n');
  return true;
}

void trim_line_breaks(std::string& s) { trim_ends(s, is_crlf, is_crlf); }

int trim_trailing_newlines(std::string& s) {
  size_t end = s.size();
  while (end > 0 && is_crlf(s[end - 1])) --end;
  int removed = int(s.size() - end);
  s.resize(end);
  return removed;
}

bool trim_trailing_nuls(std::string& s) { return trim_trailing_nuls_of(s); }
bool trim_trailing_nuls_wide(std::wstring& s) { return trim_trailing_nuls_of(s); }

bool drop_last_chars(std::string& s, int n) { return drop_last_chars_of(s, n); }
bool drop_last_chars_wide(std::wstring& s, int n) { return drop_last_chars_of(s, n); }

std::string& make_blanks(std::string& out, int n) {
  out.assign(n > 0 ? size_t(n) : 0, ' ');
  return out;
}

std::string& to_lower(std::string& s) {
  fold_lower_in_place(s);
  return s;
}

void to_upper(std::string& s) {
  for (auto& c : s) c = fold_upper(c);
}

void to_lower_buffer(char* p, int n) {
  if (!p) return;
  for (int i = 0; i < n; ++i) p[i] = fold_lower(p[i]);
}

std::wstring& to_lower_wide(std::wstring& s) {
  fold_lower_in_place(s);
  return s;
}

void to_upper_wide(std::wstring& s) {
  for (auto& c : s) c = fold_upper(c);
}

int to_lower_char(int c) { return fold_lower(c); }
int to_upper_char(int c) { return fold_upper(c); }

void to_lower_all(std::vector<std::string>& list) {
  for (auto& s : list) to_lower(s);
}

std::string& ascii_lower_copy(std::string& out, const char* s) {
  out.clear();
  if (!s) return out;
  out = s;
  return to_lower(out);
}

std::wstring& utf16_lower_wide(std::wstring& out, const u16* s) {
  constexpr size_t max_units = 768;
  out.clear();
  if (!s) return out;
  for (size_t i = 0; i < max_units && s[i] != 0; ++i) out.push_back(wchar_t(s[i]));
  return to_lower_wide(out);
}

size_t find_substring(std::string& text, std::string& what, bool ignore_case) {
  return find_substring_of(text, what, ignore_case);
}

size_t find_substring_wide(std::wstring& text, std::wstring& what, bool ignore_case) {
  return find_substring_of(text, what, ignore_case);
}

bool compare_prefix_nocase(std::string& a, std::string& b, int n) { return compare_prefix_nocase_of(a, b, n); }

bool compare_prefix_nocase_wide(std::wstring& a, std::wstring& b, int n) {
  return compare_prefix_nocase_of(a, b, n);
}

bool equals_nocase_wide(std::wstring& a, std::wstring& b) {
  if (a.size() != b.size()) return false;
  fold_lower_in_place(a);
  fold_lower_in_place(b);
  return a == b;
}

bool bytes_equal_nocase(const char* a, const char* b, int n) {
  if (n <= 0 || a == b) return true;
  if (!a || !b) return false;
  for (int i = 0; i < n; ++i)
    if (fold_lower(a[i]) != fold_lower(b[i])) return false;
  return true;
}

const char* strstr_nocase(const char* text, const char* what) { return find_nocase(text, what); }
const wchar_t* wcsstr_nocase(const wchar_t* text, const wchar_t* what) { return find_nocase(text, what); }

int str_compare(const char* a, const char* b, bool ignore_case) { return compare_cstr(a, b, ignore_case); }
int wcs_compare(const wchar_t* a, const wchar_t* b, bool ignore_case) { return compare_cstr(a, b, ignore_case); }

bool find_position(size_t& pos, const std::string& text, size_t from, const char* what) {
  return find_position_of(pos, text, from, what);
}

bool find_position_wide(size_t& pos, const std::wstring& text, size_t from, const wchar_t* what) {
  return find_position_of(pos, text, from, what);
}

bool find_position_after(size_t& pos, const std::string& text, size_t from, const std::string& what) {
  if (!locate(pos, text, from, what)) return false;
  pos += what.size();
  return true;
}

bool nocase_char_traits::lt(const char& a, const char& b) { return upper_key(a) < upper_key(b); }
bool nocase_char_traits::eq(const char& a, const char& b) { return upper_key(a) == upper_key(b); }
const char* nocase_char_traits::find(const char* p, size_t n, const char& x) { return traits_find(p, n, x); }
int nocase_char_traits::compare(const char* a, const char* b, size_t n) { return traits_compare(a, b, n); }

bool nocase_wchar_traits::lt(const wchar_t& a, const wchar_t& b) { return upper_key(a) < upper_key(b); }
bool nocase_wchar_traits::eq(const wchar_t& a, const wchar_t& b) { return upper_key(a) == upper_key(b); }
const wchar_t* nocase_wchar_traits::find(const wchar_t* p, size_t n, const wchar_t& x) {
  return traits_find(p, n, x);
}
int nocase_wchar_traits::compare(const wchar_t* a, const wchar_t* b, size_t n) { return traits_compare(a, b, n); }

bool eq_nocase_wide(wchar_t a, wchar_t b) { return upper_key(a) == upper_key(b); }

bool is_printable_text(const std::string& s) { return all_printable(s); }
bool is_printable_bytes(const std::vector<u8>& v) { return all_printable(v); }

size_t count_printable_prefix(const std::vector<u8>& v) {
  size_t count = 0;
  while (count < v.size() && v[count] >= 32 && v[count] <= 126) ++count;
  return count;
}

bool all_strings_empty(const std::vector<std::string>& list) {
  for (const auto& s : list)
    if (!s.empty()) return false;
  return true;
}
