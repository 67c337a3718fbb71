// Reading dates and times written as text: date fields in a given order ("YMD",
// "DMonY", ...), short dates (m/d/y, d-Mon-y), clock times with "am"/"pm", ISO
// 8601 stamps and raw values in hex or decimal. Every parser reports failure by
// its result only (false, 0); its outputs then hold what was read before the
// failure. Dates must name a real calendar day and times a real clock time.
// The qz::time constructors that read text are defined here too (see qz_time.h).
#pragma once

#include <ctime>
#include <map>
#include <string>

#include "framework/text/qz_types.h"
#include "framework/time/qz_filetime.h"

// ---- Date fields ----

// Reads three date fields cut at separator, in the order order names ('D' day,
// 'M' month, 'Y' year, "Mon" a month name such as "dec", first or second only).
// order is upper-cased in place and its "MON" becomes "M". Two-digit years become
// 1931..1999 (31..99) or 2000..2030 (0..30). A day or month of 0 passes (an
// unknown field); other values must make a calendar day (day 30 of February fails).
bool parse_date_fields(const char* text, std::string& order, char separator, u32* day, u32* month, u32* year);
// Fills map with "jan" 1 .. "dec" 12 when it is empty; a filled map is left alone.
void month_name_map(std::map<std::string, u32>& map);
// 1..12 for a text whose first three characters are a month abbreviation ("Dec",
// "DECEMBER"); -1 for anything else, a null or shorter text included.
int month_abbrev_number(const char* text);
// Reads "m/d/y" or "d-Mon-y" (either separator in either form): the first field
// at most 2 characters, the second at most 3, the year up to a blank, its first
// 4 characters used; a two-digit year becomes 1931..2030. Needs a calendar day.
bool parse_short_date(const char* text, u32* day, u32* month, u32* year);

// ---- Clock times ----

// Reads "h:m[:s[.fff]]" with an optional "am"/"pm" at the end (12 am is hour 0,
// 12 pm hour 12) or a "Z" after the last part; the text is trimmed and case does
// not matter. Each part is a plain decimal number of at most 31 characters; hour
// 0..23, minute 0..59 and seconds below 60 are required. The hour and minute are
// cut to whole numbers; seconds keep their fraction. Two readings of the 24-hour
// clock pass too: "24:00" or "24:00:00" (no am/pm) is the day's end, hour 24 with
// minute and seconds 0, which the date readers below turn into the next day's
// 00:00:00; a leap second, seconds 60 to below 61, is read as the minute's last
// second (":60.5" gives 59.5), as no time record here holds a 61st second. A value
// out of range in every reading ("25:00", "24:01", "23:60", "23:59:61") is refused
// rather than carried into the next field.
bool parse_time_hms(const char* text, u32* hour, u32* minute, double* seconds);
// parse_time_hms with the seconds cut to whole seconds.
bool parse_time_hms_u32(const char* text, u32* hour, u32* minute, u32* seconds);
// Milliseconds since midnight of a parse_time_hms text (the fraction of the
// seconds counted to whole milliseconds); "24:00" gives 86400000.
bool parse_time_of_day_ms(const char* text, u32* milliseconds);

// ---- Date and time to records ----

// parse_date_fields of date (with a copy of order) and, when time is neither null
// nor empty, parse_time_hms of time; out is cleared and gets the fields, the
// milliseconds rounded to nearest (up to 1000), "24:00" as the next day's 00:00.
// Needs a day and a month (not 0) and a year that fits the record.
bool parse_date_time_to_systemtime(const char* date, const char* time, const std::string& order, char separator,
                                   SYSTEMTIME* out);
// "dateTtime" with an optional trailing "Z", read by parse_date_time_to_systemtime;
// false without a "T".
bool parse_iso8601_to_systemtime(const char* text, const std::string& order, char separator, SYSTEMTIME* out);
// FILETIME of a "yyyy-mm-dd[Thh:mm:ss[.f][Z]]" text read as UTC, to the 100-ns
// unit ("T24:00" is the next day's midnight); 0 when it does not parse or falls
// outside the FILETIME range.
u64 parse_iso8601_to_filetime(const std::string& text);
// parse_short_date of date and, when time is neither null nor empty,
// parse_time_hms of time, into out as parse_date_time_to_systemtime does.
bool parse_short_date_time_to_systemtime(const char* date, const char* time, SYSTEMTIME* out);
// The same for wide texts (an empty text counts as missing).
bool parse_short_date_time_to_systemtime_wide(const wchar_t* date, const wchar_t* time, SYSTEMTIME* out);
// out is cleared and gets the fields of a parse_short_date date and a
// parse_time_of_day_ms time (whole seconds); either may be null, not both. Without
// a date, tm_year is -1900, tm_mon -1 and tm_mday 0. "24:00" gives tm_hour 24,
// which the conversions of the record carry into the next day.
bool parse_short_date_time_to_tm(const char* date, const char* time, struct tm* out);
// Seconds to add to the local time "date[ time]" (midnight without a time) to get
// UTC, and in *is_dst whether daylight saving applies; 0 when it does not parse.
int utc_offset_of_text(bool* is_dst, const char* text);

// ---- Raw values ----

// A hex text of any length up to 16 digits ("0x" accepted): the last 8 characters
// are the low word, the ones before the high word.
u64 hex_text_to_u64(const std::string& text);
// Finds the kind among filetime, chrome, firefox, unix seconds, NTP, cocoa and
// HFS+ under which value (or, failing that, its byte swap) is a time between
// January 1 of lower_year and of upper_year (local time); *filetime and *kind get
// the first hit. False (both 0) for values below 0x1000000, when upper_year has
// no local time (before 1970, after 3000) or when nothing fits.
bool guess_time_kind(u64* filetime, u32* kind, u64 value, int upper_year, int lower_year);
// guess_time_kind without the kind.
bool guess_time_kind_filetime(u64* filetime, u64 value, int upper_year, int lower_year);
