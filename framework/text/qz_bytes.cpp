#include "framework/text/qz_bytes.h"

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <iomanip>
#include <new>

u16 byte_swap16(u16 v) { return __builtin_bswap16(v); }
u32 byte_swap32(u32 v) { return __builtin_bswap32(v); }
u64 byte_swap64(u64 v) { return __builtin_bswap64(v); }

bool byte_swap32_to(u32 v, u32* out) {
  if (!out) return false;
  *out = byte_swap32(v);
  return true;
}

const byte_swap_functions byte_swap_table = {byte_swap16, byte_swap32, byte_swap64};

void split_u64(u64 v, u32* high, u32* low) {
  if (high) *high = u32(v >> 32);
  if (low) *low = u32(v);
}

u64 join_u64(u64 high, u32 low, u64* out) {
  u64 v = (high << 32) + low;
  if (out) *out = v;
  return v;
}

u64 read_le_uint(const u8* p, int n) {
  if (!p || n < 1) return 0;
  int count = n < 8 ? n : 8;
  u64 v = 0;
  for (int i = count - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

u64 read_le_uint_vector(const std::vector<u8>& v) {
  // Clamp before narrowing: a size beyond INT_MAX must not turn into a negative count.
  return read_le_uint(v.data(), int(v.size() < 8 ? v.size() : 8));
}

u64 first_difference(const u8* a, const u8* b, u64 n) {
  if (!a || !b || n == 0) return 0;
  for (u64 i = 0; i < n; ++i)
    if (a[i] != b[i]) return i;
  return ~u64(0);
}

bool bytes_equal(const std::vector<u8>& a, const std::vector<u8>& b) { return a == b; }

bool equals16(const void* a, const void* b) {
  if (!a || !b) return a == b;
  return std::memcmp(a, b, 16) == 0;
}

bool differs16(const void* a, const void* b) { return !equals16(a, b); }

bool less16(const u8* a, const u8* b) {
  if (!a || !b) return false;
  return std::memcmp(a, b, 16) < 0;
}

bool bytes_less(const std::vector<u8>& a, const std::vector<u8>& b) {
  size_t common = a.size() < b.size() ? a.size() : b.size();
  if (common == 0) return false;
  return std::memcmp(a.data(), b.data(), common) < 0;
}

bool is_all_zero(const std::vector<u8>& v) {
  for (u8 b : v)
    if (b != 0) return false;
  return true;
}

u64 sum_words(const void* p, u32 n) {
  if (!p) return 0;
  const u8* bytes = static_cast<const u8*>(p);
  u64 sum = 0;
  u32 words = n / 8;
  for (u32 i = 0; i < words; ++i) sum += read_le_uint(bytes + size_t(i) * 8, 8);
  for (u32 i = words * 8; i < n; ++i) sum += bytes[i];
  return sum;
}

void clear_bytes(std::vector<u8>& v) { v.clear(); }

size_t utf16_length(const u16* s) {
  if (!s) return 0;
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

size_t utf16_length_limited(const u16* s) {
  constexpr size_t max_units = 513;
  if (!s) return 0;
  for (size_t n = 0; n < max_units; ++n)
    if (s[n] == 0) return n;
  return 0;
}

size_t utf16_trimmed_size(const std::vector<u16>& v) {
  size_t units = v.size();
  while (units > 0 && v[units - 1] == 0) --units;
  return units * 2;
}

size_t utf16_length_without_terminator(const std::vector<u16>& v) {
  if (v.empty()) return 0;
  return v.back() == 0 ? v.size() - 1 : v.size();
}

namespace {

// Shared by the byte and the 16-bit forms. The loop reads pairs, so it stops one
// unit short of the end; written as i + 1 < n so that n = 0 cannot wrap around.
template <class Unit>
int detect_line_ending_of(const Unit* p, u64 n) {
  int kind = line_ending_none;
  if (!p) return kind;
  // Records kind k; false when a different kind was seen before.
  auto take = [&kind](int k) {
    if (kind != k && kind != line_ending_none) return false;
    kind = k;
    return true;
  };
  u64 i = 0;
  while (i + 1 < n) {
    Unit c = p[i], next = p[i + 1];
    if (c == '\r' && next == '\n') {
      if (!take(line_ending_crlf)) return line_ending_mixed;
      i += 2;
    } else if (c == '\n' && next == '\r') {
      if (!take(line_ending_lfcr)) return line_ending_mixed;
      i += 2;
    } else if (c == '\n') {
      if (!take(line_ending_lf)) return line_ending_mixed;
      i += 1;
    } else if (c == '\r') {
      if (!take(line_ending_cr)) return line_ending_mixed;
      i += 1;
    } else {
      i += 1;
    }
  }
  return kind;
}

}  // namespace

int detect_line_ending(const u8* p, u32 n) { return detect_line_ending_of(p, n); }

int detect_line_ending_utf16(const u16* p, u32 n_bytes) { return detect_line_ending_of(p, n_bytes / 2); }

bool next_line_utf16(const u16** p, u32* remaining) {
  if (!p || !*p || !remaining) return false;
  const u16* units = *p;
  const u32 n = *remaining;
  u32 i = 0;
  while (i < n) {
    u32 line_end = 0;  // units of the line end found at i
    if (units[i] == '\r') {
      // The unit after a CR is read only when it is within the input: a CR in the
      // last unit may be the first half of a CR LF that has not arrived yet.
      if (i + 1 < n && units[i + 1] == '\n') {
        line_end = 2;
      } else {
        i += 2;
        continue;
      }
    } else if (units[i] == '\n') {
      line_end = 1;
    }
    if (line_end) {
      u32 passed = i + line_end;
      *p = units + passed;
      *remaining = n - passed;
      return true;
    }
    ++i;
  }
  return false;
}

bool is_hex_digit(int c) {
  u8 b = u8(c);
  return (b >= '0' && b <= '9') || (b >= 'a' && b <= 'f') || (b >= 'A' && b <= 'F');
}

int base64_char_value(int c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  return 63;
}

bool looks_like_base64(const u8* p, int n, bool check_alphabet) {
  if (!p || n < 4 || n % 4 != 0) return false;
  int padding = 0;
  while (padding < n && p[n - 1 - padding] == '=') ++padding;
  if (padding > 2) return false;
  if (!check_alphabet) return true;
  for (int i = 0; i < n - padding; ++i) {
    u8 c = p[i];
    bool in_alphabet = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
                       c == '/';
    if (!in_alphabet) return false;
  }
  return true;
}

namespace {

constexpr int netbios_name_bytes = 15;

void netbios_encode_byte(u8 b, char* out) {
  out[0] = char('A' + (b >> 4));
  out[1] = char('A' + (b & 15));
}

}  // namespace

bool netbios_name_encode(const u8* name, int n, u8 suffix, char* out) {
  if (n < 0 || n > netbios_name_bytes || !out || (n > 0 && !name)) return false;
  for (int k = 0; k < netbios_name_bytes; ++k) netbios_encode_byte(k < n ? name[k] : u8(' '), out + 2 * k);
  netbios_encode_byte(suffix, out + 2 * netbios_name_bytes);
  return true;
}

bool netbios_name_decode(const char* in, std::string& out, u8* suffix) {
  constexpr size_t encoded_chars = 2 * (netbios_name_bytes + 1);
  out.clear();
  // A shorter C string would make the decoder read past its terminator.
  if (!in || strnlen(in, encoded_chars) < encoded_chars) return false;
  auto decode = [in](int k) { return u8((in[2 * k] - 'A') * 16 + (in[2 * k + 1] - 'A')); };
  for (int k = 0; k < netbios_name_bytes; ++k) out.push_back(char(decode(k)));
  if (suffix) *suffix = decode(netbios_name_bytes);
  return true;
}

std::ostream& write_hex16(const u8* p, std::ostream& os) {
  if (!p) return os;
  os << std::hex << std::setfill('0');
  for (int i = 0; i < 16; ++i) {
    if (i > 0) os << ' ';
    os << std::right << std::setw(2) << unsigned(p[i]);
  }
  return os;
}

std::ostream& write_hex16_line(const u8* p, std::ostream& os) { return write_hex16(p, os) << std::endl; }

wchar_t* string_to_wide_buffer(const std::string& s, wchar_t* out, int limit) {
  if (!out || limit < 0) return nullptr;
  out[0] = 0;
  if (s.size() > size_t(limit)) return nullptr;
  for (size_t i = 0; i < s.size(); ++i) out[i] = wchar_t(static_cast<signed char>(s[i]));
  out[s.size()] = 0;
  return out;
}

void narrow_to_wide_bytes(const std::string& s, std::wstring& out) {
  out.clear();
  out.reserve(s.size());
  for (char c : s) out.push_back(wchar_t(static_cast<signed char>(c)));
}

void wide_to_narrow_bytes(const std::wstring& w, std::string& out) {
  out.clear();
  out.reserve(w.size());
  for (wchar_t c : w) out.push_back(char(u8(c)));
}

bool argv_remove_at(int i, int* count, char** argv) {
  if (!count || !argv || i < 0 || i >= *count) return false;
  for (int k = i; k + 1 < *count; ++k) argv[k] = argv[k + 1];
  --*count;
  return true;
}

int last_errno() { return errno; }

namespace {

// The largest buffer whose byte size still fits the 16-bit size fields.
constexpr u16 max_units = 0xFFFF / 2;

}  // namespace

_UNICODE_STRING_EX::_UNICODE_STRING_EX(u16 capacity) {
  if (capacity == 0) return;
  if (capacity > max_units) capacity = max_units;
  buffer = new (std::nothrow) u16[capacity];
  if (!buffer) return;
  buffer[0] = 0;
  maximum_length = u16(capacity * 2);
  owns_buffer = true;
}

_UNICODE_STRING_EX::_UNICODE_STRING_EX(u16* caller_buffer, u16 max_length)
    : maximum_length(max_length), buffer(caller_buffer) {
  if (buffer && maximum_length >= 2) buffer[0] = 0;
}

_UNICODE_STRING_EX::_UNICODE_STRING_EX(u16* caller_buffer, u16 used_length, u16 max_length)
    : length(used_length), maximum_length(max_length), buffer(caller_buffer) {}

_UNICODE_STRING_EX::~_UNICODE_STRING_EX() {
  if (owns_buffer) delete[] buffer;
}

void _UNICODE_STRING_EX::clear() {
  length = 0;
  if (owns_buffer) {
    if (buffer) std::memset(buffer, 0, maximum_length);
    return;
  }
  maximum_length = 0;
  buffer = nullptr;
}

template <class C>
_UNICODE_STRING_EX& _UNICODE_STRING_EX::append_units(const C* s, size_t count) {
  const size_t need = (count + 1) * 2;
  const size_t used = length;
  if (used + need > 0xFFFF) return *this;
  if (!buffer || maximum_length < used + need) {
    // A caller's buffer is never replaced; an object without a buffer gets its own.
    if (buffer && !owns_buffer) return *this;
    // An odd length (only a caller can set one) still leaves room for the last unit.
    const size_t units = (used + need) / 2 + (used % 2);
    if (units * 2 > 0xFFFF) return *this;
    u16* grown = new (std::nothrow) u16[units];
    if (!grown) return *this;
    if (buffer && used) std::memcpy(grown, buffer, used);
    if (owns_buffer) delete[] buffer;
    buffer = grown;
    owns_buffer = true;
    maximum_length = u16(units * 2);
  }
  u16* at = buffer + used / 2;
  for (size_t i = 0; i < count; ++i) at[i] = u16(s[i]);
  at[count] = 0;
  length = u16(used + need);
  return *this;
}

_UNICODE_STRING_EX& _UNICODE_STRING_EX::append(const char* s) {
  if (!s) return *this;
  // The u16 conversion of a signed char sign-extends: byte 0xE9 becomes unit 0xFFE9.
  return append_units(reinterpret_cast<const signed char*>(s), std::strlen(s));
}

_UNICODE_STRING_EX& _UNICODE_STRING_EX::append(const wchar_t* s) {
  if (!s) return *this;
  return append_units(s, std::wcslen(s));
}
