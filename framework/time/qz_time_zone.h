// Time zones without the platform's zone database: a daylight-saving rule made of two yearly
// transition records and three biases, conversions between UTC and the local time of such a
// rule, and date texts stamped with a zone ("GMT", a numeric mail-style zone, ISO 8601 "Z").
// Times are FILETIMEs; a rule operation that cannot find its year's period gives 0.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"
#include "framework/time/qz_time_format.h"

// A yearly daylight period. Each transition record holds 8 words in SYSTEMTIME order: word 0
// unused, 1 month, 2 week n (1 = first; 0 is read as 1; a week the month lacks is its last),
// 3 hour, 4 minute, 5 second, 6 milliseconds, 7 weekday (carried along, not used to find the
// day). The transition falls on the n-th Sunday of the month at that clock time, read as UTC.
// Local time = UTC + bias, plus daylight_bias inside the period and standard_bias outside it
// (all in seconds). The period runs from start up to end; when end comes earlier in the year
// than start (southern hemisphere), it runs from start over the year's end up to end; when
// start equals end it is empty (no daylight time).
struct time_zone_rule {
  std::vector<u16> start_rule;
  std::vector<u16> end_rule;
  i64 bias = 0;
  i64 daylight_bias = 0;
  i64 standard_bias = 0;
};

// *start and *end = the two transitions in the UTC year of filetime (0 = now). False, outs
// untouched, when a record does not hold exactly 8 words or names no month 1..12, or when the
// time or a transition is no FILETIME.
bool dst_period(i64* start, i64* end, const std::vector<u16>& start_rule, const std::vector<u16>& end_rule,
                u64 filetime);

// The local FILETIME of a UTC FILETIME by rule; 0 when the period fails or the result is no
// FILETIME.
i64 utc_to_local_by_rule(i64 filetime, const time_zone_rule& rule);
// The UTC FILETIME of a local FILETIME by rule, the period's bounds taken in local time
// (start with the daylight bias, end with the standard one) and the period shaped as in UTC
// (an empty one applies no daylight bias); the repeated hour after the end reads as standard
// time. The inverse of utc_to_local_by_rule outside that hour. 0 on failure.
i64 local_to_utc_by_rule(i64 filetime, const time_zone_rule& rule);

// The start or the end of the period in the year of filetime (0 = now); 0 on failure.
i64 dst_start(const time_zone_rule& rule, u64 filetime);
i64 dst_end(const time_zone_rule& rule, u64 filetime);

// Writes the period's start (or end) in the year of filetime (0 = now) as "date time" by spec,
// without fraction digits; a spec without flags is first packed from date_format, time_format
// and one_column. Writes nothing when the period fails. Returns out.
std::ostream& write_dst_start(const time_zone_rule& rule, std::ostream& out, const time_format_spec& spec,
                              const std::string& date_format, const std::string& time_format, bool one_column,
                              u64 filetime);
std::ostream& write_dst_end(const time_zone_rule& rule, std::ostream& out, const time_format_spec& spec,
                            const std::string& date_format, const std::string& time_format, bool one_column,
                            u64 filetime);

// text = now as "Tue, 8 Dec 2026 18:38:05 GMT" (day without leading zero); false, text
// empty, when the clock gives no valid time.
bool gmt_time_text(std::string& text);
// The same for the UTC fields of filetime.
bool gmt_time_text(std::string& text, u64 filetime);
// The FILETIME of a gmt_time_text text (weekday and a leading "," optional, day with or
// without zero, seconds to the millisecond, the last word, the zone, ignored); 0 for a text
// shorter than 20 characters, a date or clock time that does not read, or a day or month of 0.
u64 parse_gmt_time_text(const std::string& text);

// text = "Tue; 08 Dec 2026 18:38:05 -0500": the UTC fields of unix_seconds (0 = now) and a
// zone of -bias minutes (bias 300 gives "-0500", -330 "+0530", 30 "-0030"). False, text
// untouched, for a negative time or one after 3000.
bool mail_date_text(std::string& text, i64 unix_seconds, int bias_minutes);

// text = "yyyy-mm-ddThh:mm:ssZ" of unix_seconds moved by hours (whole seconds of
// hours * 3600 in single precision). False, text untouched, for negative seconds, an offset
// beyond 32 bits or a moved time before 1970.
bool unix_to_iso8601_text(i64 unix_seconds, std::string& text, float hours);
