// Small printers of the time library: named debug lines, a time value, a FILETIME or
// fixed-point seconds on a caller's stream, and the length checks that the "-dateformat"
// and "-timeformat" texts must pass. Nothing here keeps state; a null name writes nothing.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"
#include "framework/time/qz_time.h"

// Where debug lines go: nothing is written unless enabled is set and stream is not null.
struct debug_sink {
  u8 enabled = 0;
  std::ostream* stream = nullptr;
};

// One debug line: the offset as 8 or more lower-case hex digits, " : ", the name padded
// with blanks to name_width, ": ", the value, " [note]" when note is not null, an end of
// line. Text is written as it is; integers in lower-case hex, zero-padded to twice size
// digits (twice the value's own size when size is 0, never more than 16 digits). Returns
// size, or the value's own size (8 for text and u64, 4 for u32) when size is 0; 0 and
// nothing written for a null name. The stream keeps the adjustment, base and fill of the
// last field.
u64 debug_output(std::ostream& out, const char* name, const std::string& value, u64 offset, i32 name_width,
                 const char* note = nullptr, u64 size = 0);
u64 debug_output(std::ostream& out, const char* name, u64 value, u64 offset, i32 name_width,
                 const char* note = nullptr, u64 size = 0);
u64 debug_output(std::ostream& out, const char* name, u32 value, u64 offset, i32 name_width,
                 const char* note = nullptr, u64 size = 0);
// debug_output of the byte as two hex digits (text of size 1); 1, or 0 for a null name.
u64 debug_output_byte(std::ostream& out, const char* name, u8 value, u64 offset, i32 name_width,
                      const char* note = nullptr);
// debug_output_byte on the sink's stream; 0 when the sink is off or has no stream.
u64 debug_sink_output_byte(const debug_sink& sink, const char* name, u8 value, u64 offset, i32 name_width,
                           const char* note = nullptr);
// The text and an end of line on the sink's stream when it is on; a null text writes nothing.
void debug_sink_line(const debug_sink& sink, const char* text);
// Each string followed by an end of line.
std::ostream& write_string_lines(std::ostream& out, const std::vector<std::string>& lines);

// out = "0x" and the high and low halves as 8 lower-case hex digits each; returns out.
std::string filetime_hex_text(std::string& out, u64 value);
// "0x", the high half in hex without leading zeros, the low half as 8 hex digits.
std::ostream& write_filetime_hex(std::ostream& out, u64 value);
// The UTC date as yyyy-mm-dd.
std::ostream& write_time_date(std::ostream& out, const qz::time& t);
// The UTC time as mm/dd/yyyy, then unless date_only " : hh:mm:ss [ mmm ms ]".
std::ostream& write_time_mdy(std::ostream& out, const qz::time& t, bool date_only);
std::wostream& write_time_mdy(std::wostream& out, const qz::time& t, bool date_only);
// "first : second" in decimal.
std::ostream& write_u16_pair(std::ostream& out, u16 first, u16 second);
// whole + fraction / 65536 as a double, then " secs".
std::ostream& write_fixed16_seconds(std::ostream& out, u16 whole, u16 fraction);

// A date format must be 8 or 10 characters long. length = that length when accepted, else 0.
bool date_format_length_ok(const std::string& format);
bool date_format_length_ok(const std::string& format, u32& length);
// A time format is "hh:mm:ss"-sized (8 characters with a ':') or 12 to 18 characters with
// a ':' and ".xxx". length = that length when accepted, else 0.
bool time_format_length_ok(const std::string& format);
bool time_format_length_ok(const std::string& format, u32& length);
