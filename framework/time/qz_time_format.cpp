#include "framework/time/qz_time_format.h"

#include "framework/time/qz_time_text.h"

namespace {

constexpr size_t npos = std::string::npos;

const char* const default_date_pattern = "yyyy-mm-dd";
const char* const default_time_pattern = "hh:mm:ss.xxx";

bool has(const std::string& text, const char* part) { return text.find(part) != npos; }

// Digits of the fraction that a run of "x" asks for: from the first "xxx" to the last "x";
// 0 when there is no "xxx".
u32 pattern_fraction_digits(const std::string& time_pattern) {
  const size_t first = time_pattern.find("xxx");
  if (first == npos) return 0;
  return u32(time_pattern.rfind('x') - first + 1);
}

// "." and the first `digits` digits of the fraction of the second (cut, never rounded);
// nothing for 0 digits or for more than the 9 that the value holds.
void append_fraction(std::string& out, const qz::time& t, u32 digits) {
  if (digits == 0 || digits > 9) return;
  static const u64 powers_of_ten[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
  u64 value;
  if (digits == 3) {
    value = t.millisecond(false);
  } else if (digits <= 6) {
    value = t.microsecond(false) / powers_of_ten[6 - digits];
  } else {
    value = t.nanosecond() / powers_of_ten[9 - digits];
  }
  out += '.';
  append_zero_padded(out, value, digits);
}

std::string two_digits(u64 value) {
  std::string text;
  append_zero_padded(text, value, 2);
  return text;
}

bool text_by_spec(std::string& out, const qz::time& t, time_format_spec& spec) {
  if (spec.flags == 0) parse_date_time_format(spec, default_date_pattern, default_time_pattern, true);
  if (!t.valid) return false;
  std::string date, time_text;
  format_time_text(date, time_text, t, spec);
  out = date + " " + time_text;
  return true;
}

}  // namespace

bool qz::time::year_in_window(const time_format_spec& spec) const {
  return valid && year() >= spec.min_year && year() <= spec.max_year;
}

bool parse_date_time_format(time_format_spec& spec, const std::string& date_pattern,
                            const std::string& time_pattern, bool one_column) {
  spec = time_format_spec();
  if (one_column) spec.flags = time_format_one_column;
  if (!date_pattern.empty()) {
    for (char separator : {'/', '-', ' '}) {
      if (date_pattern.find(separator) != npos) {
        spec.flags |= u8(separator);
        break;
      }
    }
    size_t month = date_pattern.find("mmm");
    if (month != npos) {
      spec.flags |= time_format_month_name;
    } else if ((month = date_pattern.find("mm")) != npos) {
      spec.flags |= time_format_month_number;
    } else {
      return false;
    }
    size_t year = date_pattern.find("yyyy");
    if (year != npos) {
      spec.flags |= time_format_year_four;
    } else if ((year = date_pattern.find("yy")) != npos) {
      spec.flags |= time_format_year_two;
    } else {
      return false;
    }
    if (has(date_pattern, ",")) spec.flags |= time_format_comma;
    const size_t day = date_pattern.find("dd");
    if (day == npos) return false;
    if (day < month && month < year) {
      spec.flags |= time_format_order_dmy;
    } else if (month < day && day < year) {
      spec.flags |= time_format_order_mdy;
    } else if (year < month && month < day) {
      spec.flags |= time_format_order_ymd;
    } else {
      return false;
    }
  }
  const u32 digits = pattern_fraction_digits(time_pattern);
  spec.flags |= (digits > 9 ? 9 : digits) << time_format_fraction_shift;
  return true;
}

bool format_time_text(std::string& date, std::string& time_text, const qz::time& t, const time_format_spec& spec) {
  date.clear();
  time_text.clear();
  if (!t.valid) return false;
  if (spec.flags == 0) {
    format_time_custom(date, time_text, t, default_date_pattern, default_time_pattern);
    return false;
  }
  // A pattern without '/', '-' or ' ' packs a separator of 0; a NUL must never reach
  // the text, so such dates are joined by '/' as the pattern printer does.
  const char packed_separator = char(spec.flags & time_format_separator_mask);
  const char separator = packed_separator ? packed_separator : '/';
  // The fields are appended in place: this runs once per time of every row written.
  const auto append_field = [&](char field) {
    if (field == 'd') {
      append_zero_padded(date, t.day(), 2);
    } else if (field == 'm') {
      if (spec.flags & time_format_month_number) {
        append_zero_padded(date, t.month(), 2);
      } else {
        date += month_short_name(i64(t.month()));
      }
    } else if (spec.flags & time_format_year_four) {
      append_zero_padded(date, t.year(), 4);
    } else {
      append_zero_padded(date, t.year() % 100, 2);
    }
  };
  const u32 order_bits = spec.flags & (time_format_order_dmy | time_format_order_mdy | time_format_order_ymd);
  // Only one order bit is ever packed; of several, the month-first one wins, then DMY. No
  // order bit gives an empty date.
  const char* fields = (order_bits & time_format_order_mdy)   ? "mdy"
                       : (order_bits & time_format_order_dmy) ? "dmy"
                       : (order_bits & time_format_order_ymd) ? "ymd"
                                                              : "";
  for (const char* field = fields; *field != 0; ++field) {
    if (field != fields) date += separator;
    append_field(*field);
  }
  append_clock_time(time_text, t);
  append_fraction(time_text, t, time_format_fraction_digits(spec));
  return true;
}

bool format_filetime_text(std::string& date, std::string& time_text, u64 filetime, const time_format_spec& spec) {
  return format_time_text(date, time_text, qz::time(filetime, time_kind_filetime), spec);
}

bool write_time_by_spec(std::ostream& out, const qz::time& t, time_format_spec& spec) {
  std::string text;
  if (!text_by_spec(text, t, spec)) return false;
  out << text;
  return true;
}

std::string filetime_to_text_by_spec(u64 filetime, time_format_spec& spec) {
  std::string text;
  text_by_spec(text, qz::time(filetime, time_kind_filetime), spec);
  return text;
}

bool format_time_custom(std::string& date, std::string& time_text, const qz::time& t,
                        const std::string& date_pattern, const std::string& time_pattern) {
  date.clear();
  time_text.clear();
  if (!t.valid) return false;
  if (!date_pattern.empty()) {
    std::string separator = "/";
    for (const char* candidate : {"/", "-", " "}) {
      if (has(date_pattern, candidate)) {
        separator = candidate;
        break;
      }
    }
    const bool month_name = has(date_pattern, "mmm");
    const std::string month = month_name ? month_abbrev(int(t.month())) : two_digits(t.month());
    const std::string day = two_digits(t.day());
    std::string year;
    append_zero_padded(year, t.year(), 4);
    if (has(date_pattern, "yy") && !has(date_pattern, "yyyy")) year.erase(0, 2);
    const size_t month_at = date_pattern.find(month_name ? "mmm" : "mm");
    const size_t day_at = date_pattern.find("dd");
    const bool comma = separator == " " && day_at != npos && month_at != npos && day_at > month_at &&
                       date_pattern.find(',', day_at) != npos;
    const size_t year_at = date_pattern.find("yy");
    if (year_at != npos && month_at != npos && day_at != npos) {
      const std::string month_day = date_pattern.find("mm") < day_at
                                        ? month + separator + day + (comma ? "," : "")
                                        : day + separator + month;
      date = year_at == 0 ? year + separator + month_day : month_day + separator + year;
    } else {
      date = month + "/" + day + "/" + year;
    }
  }
  if (!time_pattern.empty()) {
    if (has(time_pattern, "hh:mm")) {
      append_zero_padded(time_text, t.hour(), 2);
      time_text += ':';
      append_zero_padded(time_text, t.minute(), 2);
    }
    if (has(time_pattern, "ss")) {
      time_text += ':';
      append_zero_padded(time_text, t.second(), 2);
    }
    append_fraction(time_text, t, pattern_fraction_digits(time_pattern));
  }
  return true;
}

bool format_time_custom_c(std::string& date, std::string& time_text, const qz::time& t, const char* date_pattern,
                          const char* time_pattern) {
  if (date_pattern && time_pattern) return format_time_custom(date, time_text, t, date_pattern, time_pattern);
  format_time_parts(date, time_text, t, true, false, false, false);
  return t.valid;
}

bool format_time_by_pattern(std::string& date, std::string& time_text, const qz::time& t, const std::string& pattern,
                            bool with_ms, bool two_digit_year, bool use_locale, bool nanoseconds) {
  if (pattern.empty()) {
    if (!t.valid) return false;
    format_time_parts(date, time_text, t, with_ms, two_digit_year, use_locale, nanoseconds);
    return true;
  }
  std::string date_pattern, time_pattern;
  const size_t blank = pattern.find(' ');
  if (blank != npos) {
    date_pattern = pattern.substr(0, blank);
    time_pattern = pattern.substr(blank + 1);
  } else if (has(pattern, "/") || has(pattern, "-")) {
    date_pattern = pattern;
  } else if (has(pattern, ":")) {
    time_pattern = pattern;
  }
  return format_time_custom(date, time_text, t, date_pattern, time_pattern);
}

bool format_time_custom_no_fraction(std::string& date, std::string& time_text, const qz::time& t,
                                    const std::string& date_pattern, const std::string& time_pattern) {
  if (!format_time_custom(date, time_text, t, date_pattern, time_pattern)) return false;
  const size_t point = time_text.find('.');
  if (point != npos) time_text.erase(point);
  return true;
}

bool filetime_to_text(std::string& text, u64 filetime) {
  if (filetime == 0) return false;
  text.clear();
  static const std::string date_pattern = "yyyy-mm-dd";
  static const std::string time_pattern = "hh:mm:ss.xxxxxxxxx";
  std::string date, time_text;
  if (!format_time_custom(date, time_text, qz::time(i64(filetime), time_kind_filetime), date_pattern, time_pattern)) {
    return false;
  }
  text = date + " " + time_text;
  return true;
}

std::string filetime_to_text_custom(u64 filetime, const std::string& date_pattern, const std::string& time_pattern) {
  std::string date, time_text;
  if (!format_time_custom(date, time_text, qz::time(filetime, time_kind_filetime), date_pattern, time_pattern)) {
    return "";
  }
  return date + " " + time_text;
}

std::string month_abbrev(int month) { return month_short_name(month); }
