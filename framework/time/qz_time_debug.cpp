#include "framework/time/qz_time_debug.h"

#include <iomanip>

namespace {

// A u64 holds at most 16 hex digits; wider padding says nothing and a huge size must not
// make the stream write millions of zeros.
constexpr u64 max_hex_digits = 16;

// Puts the fill character and the format flags back when a printer ends.
template <typename Stream>
class stream_format_guard {
 public:
  explicit stream_format_guard(Stream& out) : out_(out), flags_(out.flags()), fill_(out.fill()) {}
  ~stream_format_guard() {
    out_.fill(fill_);
    out_.flags(flags_);
  }
  stream_format_guard(const stream_format_guard&) = delete;
  stream_format_guard& operator=(const stream_format_guard&) = delete;

 private:
  Stream& out_;
  std::ios_base::fmtflags flags_;
  typename Stream::char_type fill_;
};

// Offset, padded name and ": "; false (nothing written) for a null name.
bool write_debug_head(std::ostream& out, const char* name, u64 offset, i32 name_width) {
  if (!name) return false;
  out << std::right << std::hex << std::setfill('0') << std::setw(8) << offset << " : ";
  out << std::left << std::setfill(' ') << std::setw(name_width < 0 ? 0 : name_width) << name << ": ";
  return true;
}

void write_debug_tail(std::ostream& out, const char* note) {
  if (note) out << " [" << note << "]";
  out << std::endl;
}

template <typename Value>
u64 debug_output_number(std::ostream& out, const char* name, Value value, u64 offset, i32 name_width,
                        const char* note, u64 size) {
  if (!write_debug_head(out, name, offset, name_width)) return 0;
  const u64 bytes = size ? size : sizeof(Value);
  const u64 digits = bytes < max_hex_digits / 2 ? bytes * 2 : max_hex_digits;
  out << std::right << std::hex << std::setfill('0') << std::setw(int(digits)) << u64(value);
  write_debug_tail(out, note);
  return bytes;
}

template <typename Char>
void write_time_mdy_fields(std::basic_ostream<Char>& out, const qz::time& t, bool date_only) {
  stream_format_guard<std::basic_ostream<Char>> guard(out);
  const Char slash = Char('/');
  const Char colon = Char(':');
  out << std::dec << std::right << std::setfill(Char('0'));
  out << std::setw(2) << t.utc.wMonth << slash << std::setw(2) << t.utc.wDay << slash << std::setw(4)
      << t.utc.wYear;
  if (date_only) return;
  const Char spaced_colon[] = {Char(' '), colon, Char(' '), Char(0)};
  const Char open[] = {Char(' '), Char('['), Char(' '), Char(0)};
  const Char close[] = {Char(' '), Char('m'), Char('s'), Char(' '), Char(']'), Char(0)};
  out << spaced_colon << std::setw(2) << t.utc.wHour << colon << std::setw(2) << t.utc.wMinute << colon
      << std::setw(2) << t.utc.wSecond << open << std::setw(3) << t.utc.wMilliseconds << close;
}

bool length_check(bool accepted, const std::string& format, u32& length) {
  length = accepted ? u32(format.size()) : 0;
  return accepted;
}

bool has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

}  // namespace

u64 debug_output(std::ostream& out, const char* name, const std::string& value, u64 offset, i32 name_width,
                 const char* note, u64 size) {
  if (!write_debug_head(out, name, offset, name_width)) return 0;
  out << value;
  write_debug_tail(out, note);
  return size ? size : 8;
}

u64 debug_output(std::ostream& out, const char* name, u64 value, u64 offset, i32 name_width, const char* note,
                 u64 size) {
  return debug_output_number(out, name, value, offset, name_width, note, size);
}

u64 debug_output(std::ostream& out, const char* name, u32 value, u64 offset, i32 name_width, const char* note,
                 u64 size) {
  return debug_output_number(out, name, value, offset, name_width, note, size);
}

u64 debug_output_byte(std::ostream& out, const char* name, u8 value, u64 offset, i32 name_width,
                      const char* note) {
  static const char digits[] = "0123456789abcdef";
  const char text[] = {digits[value >> 4], digits[value & 15], 0};
  return debug_output(out, name, std::string(text), offset, name_width, note, 1);
}

u64 debug_sink_output_byte(const debug_sink& sink, const char* name, u8 value, u64 offset, i32 name_width,
                           const char* note) {
  if (!sink.enabled || !sink.stream) return 0;
  return debug_output_byte(*sink.stream, name, value, offset, name_width, note);
}

void debug_sink_line(const debug_sink& sink, const char* text) {
  if (!sink.enabled || !sink.stream || !text) return;
  *sink.stream << text << std::endl;
}

std::ostream& write_string_lines(std::ostream& out, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) out << line << std::endl;
  return out;
}

std::string filetime_hex_text(std::string& out, u64 value) {
  static const char digits[] = "0123456789abcdef";
  out = "0x";
  for (int shift = 60; shift >= 0; shift -= 4) out += digits[(value >> shift) & 15];
  return out;
}

std::ostream& write_filetime_hex(std::ostream& out, u64 value) {
  stream_format_guard<std::ostream> guard(out);
  out << "0x" << std::hex << u32(value >> 32) << std::right << std::setfill('0') << std::setw(8) << u32(value);
  return out;
}

std::ostream& write_time_date(std::ostream& out, const qz::time& t) {
  stream_format_guard<std::ostream> guard(out);
  out << std::dec << std::right << std::setfill('0') << std::setw(4) << t.utc.wYear << '-' << std::setw(2)
      << t.utc.wMonth << '-' << std::setw(2) << t.utc.wDay;
  return out;
}

std::ostream& write_time_mdy(std::ostream& out, const qz::time& t, bool date_only) {
  write_time_mdy_fields(out, t, date_only);
  return out;
}

std::wostream& write_time_mdy(std::wostream& out, const qz::time& t, bool date_only) {
  write_time_mdy_fields(out, t, date_only);
  return out;
}

std::ostream& write_u16_pair(std::ostream& out, u16 first, u16 second) {
  stream_format_guard<std::ostream> guard(out);
  out << std::dec << first << " : " << second;
  return out;
}

std::ostream& write_fixed16_seconds(std::ostream& out, u16 whole, u16 fraction) {
  out << double(whole) + double(fraction) / 65536.0 << " secs";
  return out;
}

bool date_format_length_ok(const std::string& format) {
  u32 length;
  return date_format_length_ok(format, length);
}

bool date_format_length_ok(const std::string& format, u32& length) {
  return length_check(format.size() == 8 || format.size() == 10, format, length);
}

bool time_format_length_ok(const std::string& format) {
  u32 length;
  return time_format_length_ok(format, length);
}

bool time_format_length_ok(const std::string& format, u32& length) {
  const size_t n = format.size();
  const bool accepted =
      (n == 8 && has(format, ":")) || (n >= 12 && n <= 18 && has(format, ":") && has(format, ".xxx"));
  return length_check(accepted, format, length);
}
