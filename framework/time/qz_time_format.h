// Dates and times printed by the user's formats: the "-dateformat" and "-timeformat"
// patterns (tokens yyyy, yy, mm, mmm, dd with '/', '-' or ' ' between them; hh:mm:ss and
// "x" per fraction digit) either packed into a time_format_spec or used as they stand. All
// printing reads the UTC fields of qz::time; an invalid time fails with empty texts. No
// date text ever holds a NUL: a pattern without separator is printed with '/'.
#pragma once

#include <ostream>
#include <string>

#include "framework/text/qz_types.h"
#include "framework/time/qz_time.h"

// Bits of time_format_spec::flags.
enum time_format_flag : u32 {
  time_format_separator_mask = 0xFF,  // the date separator character, 0 for none
  time_format_month_name = 0x100,     // "mmm": Jan..Dec
  time_format_month_number = 0x200,   // "mm": two digits
  time_format_year_four = 0x400,      // "yyyy"
  time_format_year_two = 0x800,       // "yy"
  time_format_comma = 0x1000,         // the pattern holds a ','
  time_format_order_dmy = 0x2000,
  time_format_order_mdy = 0x4000,
  time_format_order_ymd = 0x8000,
  time_format_one_column = 0x10000,   // date and time share one column
  time_format_fraction_mask = 0x1E0000,
};
constexpr u32 time_format_fraction_shift = 17;

// The packed date and time format. flags 0 means that no format was set: the formatters
// then print "yyyy-mm-dd" and "hh:mm:ss.xxx".
struct time_format_spec {
  u32 flags = 0;
  u16 min_year = 1900;
  u16 max_year = 2600;
  u32 reserved = 0;
};

// The fraction digits a format asks for (0..15; more than 9 print no fraction).
inline u32 time_format_fraction_digits(const time_format_spec& spec) {
  return (spec.flags & time_format_fraction_mask) >> time_format_fraction_shift;
}

// Packs the two patterns into spec (reset first; one_column sets its bit). False when the
// date pattern lacks a month, a year or a day, or orders them other than DMY, MDY or YMD;
// the bits found so far stay set. An empty date pattern packs the time pattern only.
bool parse_date_time_format(time_format_spec& spec, const std::string& date_pattern,
                            const std::string& time_pattern, bool one_column);
// date and time_text of t by spec. A spec without flags prints the default forms and
// returns false; a spec without an order bit gives an empty date. False with both empty
// for an invalid time.
bool format_time_text(std::string& date, std::string& time_text, const qz::time& t, const time_format_spec& spec);
// format_time_text of a FILETIME.
bool format_filetime_text(std::string& date, std::string& time_text, u64 filetime, const time_format_spec& spec);
// Writes "date time" by spec; false and nothing written for an invalid time. A spec
// without flags is first filled with the defaults ("yyyy-mm-dd", "hh:mm:ss.xxx", one column).
bool write_time_by_spec(std::ostream& out, const qz::time& t, time_format_spec& spec);
// What write_time_by_spec writes for the FILETIME; "" when it is no valid time.
std::string filetime_to_text_by_spec(u64 filetime, time_format_spec& spec);

// date and time_text of t by the patterns as they stand. An empty pattern gives an empty
// text; a date pattern without all of yy, mm and dd prints mm/dd/yyyy. False with both
// empty for an invalid time.
bool format_time_custom(std::string& date, std::string& time_text, const qz::time& t,
                        const std::string& date_pattern, const std::string& time_pattern);
// format_time_custom; when either pattern is null, the fixed yyyy-mm-dd and hh:mm:ss.mmm.
bool format_time_custom_c(std::string& date, std::string& time_text, const qz::time& t, const char* date_pattern,
                          const char* time_pattern);
// One pattern cut at its first blank into date and time patterns (a pattern without blank
// is a date pattern when it holds '/' or '-', else a time pattern when it holds ':'), then
// format_time_custom. An empty pattern gives format_time_parts with the four flags (texts
// untouched and false for an invalid time).
bool format_time_by_pattern(std::string& date, std::string& time_text, const qz::time& t, const std::string& pattern,
                            bool with_ms, bool two_digit_year, bool use_locale, bool nanoseconds);
// format_time_custom with the time text cut at its first '.'.
bool format_time_custom_no_fraction(std::string& date, std::string& time_text, const qz::time& t,
                                    const std::string& date_pattern, const std::string& time_pattern);
// text = "yyyy-mm-dd hh:mm:ss.nnnnnnnnn" of the FILETIME. False with text untouched for a
// FILETIME of 0; false with text empty for another invalid time.
bool filetime_to_text(std::string& text, u64 filetime);
// "date time" of the FILETIME by the patterns; "" when it is no valid time.
std::string filetime_to_text_custom(u64 filetime, const std::string& date_pattern, const std::string& time_pattern);
// "Jan".."Dec" for months 1..12; "" for any other number.
std::string month_abbrev(int month);
