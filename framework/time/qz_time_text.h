// Fixed text forms of a time value: ISO-like date and time parts (optionally the date in
// the user's locale), short stamps on streams, underscore name stamps, debug lines for raw
// time fields, durations and SYSTEMTIME text. All read the UTC fields of qz::time; an
// invalid time gives empty texts or the placeholder each writer names. Outputs are replaced.
#pragma once

#include <ostream>
#include <string>

#include "framework/text/qz_types.h"
#include "framework/time/qz_clock.h"
#include "framework/time/qz_time.h"
#include "framework/time/qz_time_debug.h"

// Appends value in decimal, zero-padded to at least width digits.
void append_zero_padded(std::string& out, u64 value, u32 width);
// Appends t's UTC clock time as hh:mm:ss.
void append_clock_time(std::string& out, const qz::time& t);

// "Jan".."Dec" for months 1..12; "" for any other number.
const char* month_short_name(i64 month);
// "Sun".."Sat" for weekdays 0..6 (0 = Sunday); "" for any other number.
const char* weekday_short_name(i64 weekday);

// date = yyyy-mm-dd (yy-mm-dd with two_digit_year, the year counted from 1900 below 2000
// and from 2000 after, so 2100 gives 100), or with use_locale the date form of the
// environment's locale when one can be made; time_text = hh:mm:ss, with with_ms ".mmm"
// or with with_ms and nanoseconds ".nnnnnnnnn". Both empty for an invalid time.
void format_time_parts(std::string& date, std::string& time_text, const qz::time& t, bool with_ms,
                       bool two_digit_year, bool use_locale, bool nanoseconds);
// date = t's date in the 'x' form of the named locale ("" is the environment's default);
// false with date empty for an invalid time or when no locale of that name can be made.
bool format_locale_date(std::string& date, const std::string& locale_name, const qz::time& t);
// format_time_parts with milliseconds and a four-digit year.
void format_time_parts_ms(std::string& date, std::string& time_text, const qz::time& t, bool use_locale);
// format_time_parts without fraction and with a four-digit year.
void format_time_parts_s(std::string& date, std::string& time_text, const qz::time& t, bool use_locale);
// format_time_parts_ms as wide texts.
void format_time_parts_wide(std::wstring& date, std::wstring& time_text, const qz::time& t, bool use_locale);

// Appends "date time" (milliseconds, four-digit year) to text; " " for an invalid time.
std::string& append_time_text(std::string& text, const qz::time& t);
// Writes "date time" (milliseconds, four-digit year); " " for an invalid time.
std::ostream& write_time_text(std::ostream& out, const qz::time& t);
// "yy-mm-dd hh:mm:ss.mmm"; "0000-00-00 00:00:00" for an invalid time.
std::ostream& write_time_short_ms(std::ostream& out, const qz::time& t);
// write_time_short_ms of the FILETIME (a negative one is invalid).
std::ostream& write_filetime_short_ms(std::ostream& out, i64 filetime);
std::wostream& write_time_short_ms_wide(std::wostream& out, const qz::time& t);
// "yy-mm-dd hh:mm:ss"; "00/00/00 00:00:00" for an invalid time.
std::ostream& write_time_short(std::ostream& out, const qz::time& t);
// "yyyy-mm-dd hh:mm:ss"; "00/00/00 00:00:00" for an invalid time.
std::ostream& write_time_seconds(std::ostream& out, const qz::time& t);

// The seconds and fraction of the stamp as 8 hex digits each joined by ".", then
// " : [yyyy-mm-dd hh:mm:ss.nnnnnnnnn UTC]" when the stamp is a valid time. The stream is
// left in hex with '0' fill.
std::ostream& write_ntp_timestamp(std::ostream& out, const ntp_timestamp& stamp);
std::ostream& write_ntp_time(std::ostream& out, const ntp_timestamp& stamp);

// yyyy_mm_dd, then "_hhmm", "_ss" and "_mmm" as switched on; zero fields for an invalid time.
std::ostream& write_filetime_name(std::ostream& out, u64 filetime, bool with_hhmm, bool with_ss, bool with_ms);
// write_filetime_name with all three parts switched by one flag.
std::ostream& write_filetime_name_all(std::ostream& out, u64 filetime, bool all);
std::wostream& write_filetime_name_wide(std::wostream& out, u64 filetime, bool all);

// "1 day 2 hours 3 mins 4 secs" with the zero parts left out; "" for 0 and 0xFFFFFFFF.
std::string duration_to_text(u32 seconds);
// out = "mm/dd/yyyy : hh:mm:ss.mmm"; true.
bool systemtime_to_text(std::string& out, const SYSTEMTIME& st);

// debug_output of the u32 (size 0) with the time as the note: the DOS date word in the low
// 16 bits, the time word in the high 16, read as UTC. Returns debug_output's count.
u64 debug_output_dos_time(std::ostream& out, const char* name, u32 dos, u64 offset, i32 name_width);
// The same for a FILETIME as a u64.
u64 debug_output_filetime(std::ostream& out, const char* name, u64 filetime, u64 offset, i32 name_width);
// The stream forms on the sink's stream; 0 when the sink is off or has no stream.
u64 debug_sink_output_dos_time(const debug_sink& sink, const char* name, u32 dos, u64 offset, i32 name_width);
u64 debug_sink_output_filetime(const debug_sink& sink, const char* name, u64 filetime, u64 offset,
                               i32 name_width);
