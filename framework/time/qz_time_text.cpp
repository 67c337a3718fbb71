#include "framework/time/qz_time_text.h"

#include <charconv>
#include <cstdio>
#include <ctime>
#include <iomanip>
#include <iterator>
#include <locale>
#include <sstream>

#include "framework/text/qz_env.h"
#include "framework/text/uni_unicode.h"

namespace {

const char* const month_names[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const weekday_names[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

void append_plain_date(std::string& date, const qz::time& t, bool two_digit_year) {
  const u32 year = t.year();
  if (two_digit_year) {
    append_zero_padded(date, year < 2000 ? year - 1900 : year - 2000, 2);
  } else {
    append_zero_padded(date, year, 4);
  }
  date += '-';
  append_zero_padded(date, t.month(), 2);
  date += '-';
  append_zero_padded(date, t.day(), 2);
}

// "date time" of t by the given form, or the placeholder for an invalid time.
std::string short_stamp(const qz::time& t, bool with_ms, bool two_digit_year, const char* invalid_text) {
  if (!t.valid) return invalid_text;
  std::string date, time_text;
  format_time_parts(date, time_text, t, with_ms, two_digit_year, false, false);
  return date + " " + time_text;
}

std::string filetime_name(u64 filetime, bool with_hhmm, bool with_ss, bool with_ms) {
  const qz::time t(filetime, time_kind_filetime);
  // An invalid value may still carry broken-down fields of a refused instant.
  const time_fields fields = t.valid ? t.utc : time_fields();
  std::string name;
  append_zero_padded(name, fields.wYear, 4);
  name += '_';
  append_zero_padded(name, fields.wMonth, 2);
  name += '_';
  append_zero_padded(name, fields.wDay, 2);
  if (with_hhmm) {
    name += '_';
    append_zero_padded(name, fields.wHour, 2);
    append_zero_padded(name, fields.wMinute, 2);
  }
  if (with_ss) {
    name += '_';
    append_zero_padded(name, fields.wSecond, 2);
  }
  if (with_ms) {
    name += '_';
    append_zero_padded(name, fields.wMilliseconds, 3);
  }
  return name;
}

template <typename Value>
u64 debug_output_time_note(std::ostream& out, const char* name, Value value, const qz::time& t, u64 offset,
                           i32 name_width) {
  std::string note;
  append_time_text(note, t);
  return debug_output(out, name, value, offset, name_width, note.c_str(), 0);
}

qz::time time_of_dos_pair(u32 dos) {
  dos_datetime pair;
  pair.date = u16(dos);
  pair.time = u16(dos >> 16);
  return qz::time(pair, true);
}

}  // namespace

void append_zero_padded(std::string& out, u64 value, u32 width) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const size_t count = size_t(end - digits);
  if (count < width) out.append(width - count, '0');
  out.append(digits, count);
}

void append_clock_time(std::string& out, const qz::time& t) {
  append_zero_padded(out, t.hour(), 2);
  out += ':';
  append_zero_padded(out, t.minute(), 2);
  out += ':';
  append_zero_padded(out, t.second(), 2);
}

const char* month_short_name(i64 month) { return month >= 1 && month <= 12 ? month_names[month - 1] : ""; }

const char* weekday_short_name(i64 weekday) { return weekday >= 0 && weekday <= 6 ? weekday_names[weekday] : ""; }

bool format_locale_date(std::string& date, const std::string& locale_name, const qz::time& t) {
  date.clear();
  if (!t.valid) return false;
  struct tm fields {};
  fields.tm_year = int(t.year()) - 1900;
  fields.tm_mon = int(t.month()) - 1;
  fields.tm_mday = int(t.day());
  fields.tm_hour = int(t.hour());
  fields.tm_min = int(t.minute());
  fields.tm_sec = int(t.second());
  try {
    // std::locale throws for a name the platform does not know.
    const std::locale locale(locale_name.c_str());
    std::ostringstream text;
    text.imbue(locale);
    std::use_facet<std::time_put<char>>(locale).put(std::ostreambuf_iterator<char>(text), text, ' ', &fields,
                                                     'x');
    date = text.str();
    return true;
  } catch (const std::exception&) {
    date.clear();
    return false;
  }
}

void format_time_parts(std::string& date, std::string& time_text, const qz::time& t, bool with_ms,
                       bool two_digit_year, bool use_locale, bool nanoseconds) {
  date.clear();
  time_text.clear();
  if (!t.valid) return;
  std::string locale_name;
  if (!(use_locale && locale_from_env(locale_name) && format_locale_date(date, locale_name, t))) {
    append_plain_date(date, t, two_digit_year);
  }
  append_clock_time(time_text, t);
  if (!with_ms) return;
  time_text += '.';
  if (nanoseconds) {
    append_zero_padded(time_text, t.nanosecond(), 9);
  } else {
    append_zero_padded(time_text, t.millisecond(false), 3);
  }
}

void format_time_parts_ms(std::string& date, std::string& time_text, const qz::time& t, bool use_locale) {
  format_time_parts(date, time_text, t, true, false, use_locale, false);
}

void format_time_parts_s(std::string& date, std::string& time_text, const qz::time& t, bool use_locale) {
  format_time_parts(date, time_text, t, false, false, use_locale, false);
}

void format_time_parts_wide(std::wstring& date, std::wstring& time_text, const qz::time& t, bool use_locale) {
  date.clear();
  time_text.clear();
  std::string narrow_date, narrow_time;
  format_time_parts_ms(narrow_date, narrow_time, t, use_locale);
  date = utf8_to_wstring(narrow_date);
  time_text = utf8_to_wstring(narrow_time);
}

std::string& append_time_text(std::string& text, const qz::time& t) {
  std::string date, time_text;
  format_time_parts_ms(date, time_text, t, false);
  text += date;
  text += ' ';
  text += time_text;
  return text;
}

std::ostream& write_time_text(std::ostream& out, const qz::time& t) {
  std::string text;
  return out << append_time_text(text, t);
}

std::ostream& write_time_short_ms(std::ostream& out, const qz::time& t) {
  return out << short_stamp(t, true, true, "0000-00-00 00:00:00");
}

std::ostream& write_filetime_short_ms(std::ostream& out, i64 filetime) {
  return write_time_short_ms(out, qz::time(filetime, time_kind_filetime));
}

std::wostream& write_time_short_ms_wide(std::wostream& out, const qz::time& t) {
  std::ostringstream text;
  write_time_short_ms(text, t);
  return out << utf8_to_wstring(text.str());
}

std::ostream& write_time_short(std::ostream& out, const qz::time& t) {
  return out << short_stamp(t, false, true, "00/00/00 00:00:00");
}

std::ostream& write_time_seconds(std::ostream& out, const qz::time& t) {
  return out << short_stamp(t, false, false, "00/00/00 00:00:00");
}

std::ostream& write_ntp_timestamp(std::ostream& out, const ntp_timestamp& stamp) {
  const u64 image = stamp.image();
  const u64 host = ntp_to_host_u64(image);
  out << std::right << std::hex << std::setfill('0') << std::setw(8) << u32(host) << '.' << std::setw(8)
      << u32(host >> 32);
  u64 filetime = 0, whole_seconds = 0;
  double fraction_ticks = 0;
  ntp_to_filetime_parts(image, filetime, whole_seconds, fraction_ticks);
  std::string date, time_text;
  format_time_parts(date, time_text, qz::time(whole_seconds, fraction_ticks), true, false, false, true);
  if (!date.empty()) out << " : [" << date << ' ' << time_text << " UTC]";
  return out;
}

std::ostream& write_ntp_time(std::ostream& out, const ntp_timestamp& stamp) { return write_ntp_timestamp(out, stamp); }

std::ostream& write_filetime_name(std::ostream& out, u64 filetime, bool with_hhmm, bool with_ss, bool with_ms) {
  return out << filetime_name(filetime, with_hhmm, with_ss, with_ms);
}

std::ostream& write_filetime_name_all(std::ostream& out, u64 filetime, bool all) {
  return write_filetime_name(out, filetime, all, all, all);
}

std::wostream& write_filetime_name_wide(std::wostream& out, u64 filetime, bool all) {
  return out << utf8_to_wstring(filetime_name(filetime, all, all, all));
}

std::string duration_to_text(u32 seconds) {
  if (seconds == 0 || seconds == 0xFFFFFFFFu) return "";
  struct part {
    u32 count;
    const char* unit;
    bool plural;
  };
  const u32 days = seconds / 86400;
  const u32 hours = seconds / 3600 % 24;
  const u32 minutes = seconds / 60 % 60;
  const u32 secs = seconds % 60;
  const part parts[] = {{days, " day", days >= 2},
                        {hours, " hour", hours >= 2},
                        {minutes, " min", minutes >= 2},
                        {secs, " sec", secs >= 2}};
  std::string text;
  for (const part& p : parts) {
    if (p.count == 0) continue;
    append_zero_padded(text, p.count, 0);
    text += p.unit;
    if (p.plural) text += 's';
    text += ' ';
  }
  text.pop_back();
  return text;
}

bool systemtime_to_text(std::string& out, const SYSTEMTIME& st) {
  char text[512];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d : %02d:%02d:%02d.%03d", st.wMonth, st.wDay, st.wYear, st.wHour,
                st.wMinute, st.wSecond, st.wMilliseconds);
  out = text;
  return true;
}

u64 debug_output_dos_time(std::ostream& out, const char* name, u32 dos, u64 offset, i32 name_width) {
  return debug_output_time_note(out, name, dos, time_of_dos_pair(dos), offset, name_width);
}

u64 debug_output_filetime(std::ostream& out, const char* name, u64 filetime, u64 offset, i32 name_width) {
  return debug_output_time_note(out, name, filetime, qz::time(filetime, time_kind_filetime), offset, name_width);
}

u64 debug_sink_output_dos_time(const debug_sink& sink, const char* name, u32 dos, u64 offset, i32 name_width) {
  if (!sink.enabled || !sink.stream) return 0;
  return debug_output_dos_time(*sink.stream, name, dos, offset, name_width);
}

u64 debug_sink_output_filetime(const debug_sink& sink, const char* name, u64 filetime, u64 offset,
                               i32 name_width) {
  if (!sink.enabled || !sink.stream) return 0;
  return debug_output_filetime(*sink.stream, name, filetime, offset, name_width);
}
