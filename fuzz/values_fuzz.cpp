// The readers of compact values and time texts on any bytes: varints never read beyond their
// length, and every time text that is accepted gives fields inside their ranges (a calendar
// day, a clock time, a FILETIME that formats back to the same instant).
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "framework/text/qz_varint.h"
#include "framework/time/qz_time_parse.h"
#include "fuzz/fuzz_support.h"

namespace {

bool calendar_day(u32 day, u32 month, u32 year) {
  static const u32 days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (day == 0 || month == 0) return true;  // an unknown field passes
  if (month > 12 || day > days[month - 1]) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return !(month == 2 && day == 29 && !leap);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::input in(data, size);
  const std::string text = in.rest();
  const u8* bytes = reinterpret_cast<const u8*>(text.data());

  u32 value32 = 0;
  fuzz::require(decode_varint(value32, bytes, static_cast<u32>(text.size())) <= text.size(), "a varint reads past its end");
  u64 value64 = 0;
  decode_varint_le(value64, bytes, static_cast<i32>(text.size()));
  decode_varint_be(value64, bytes, static_cast<i32>(text.size()));
  double real = 0;
  decode_ieee_float(real, std::vector<u8>(text.begin(), text.end()));
  std::vector<u8> packed;
  bitstring_to_bytes(packed, text);
  fuzz::require(packed.size() == (text.size() + 7) / 8, "a bit text gives the wrong number of bytes");

  // The time texts are C strings: cut at the first NUL.
  const std::string c_text = text.substr(0, text.find('\0'));
  u32 hour = 0, minute = 0;
  double seconds = 0;
  if (parse_time_hms(c_text.c_str(), &hour, &minute, &seconds)) {
    fuzz::require(hour < 24 || (hour == 24 && minute == 0 && seconds == 0), "an accepted time has its hour out of range");
    fuzz::require(minute < 60 && seconds >= 0 && seconds < 60, "an accepted time has a field out of range");
  }
  u32 day = 0, month = 0, year = 0;
  if (parse_short_date(c_text.c_str(), &day, &month, &year))
    fuzz::require(calendar_day(day, month, year), "an accepted short date is no calendar day");
  std::string order = "MDY";
  if (parse_date_fields(c_text.c_str(), order, '/', &day, &month, &year))
    fuzz::require(calendar_day(day, month, year), "accepted date fields are no calendar day");
  SYSTEMTIME record{};
  if (parse_iso8601_to_systemtime(c_text.c_str(), "YMD", '-', &record)) {
    fuzz::require(calendar_day(record.wDay, record.wMonth, record.wYear) && record.wDay != 0 && record.wMonth != 0,
                  "an accepted ISO 8601 text is no calendar day");
    fuzz::require(record.wHour < 24 && record.wMinute < 60 && record.wSecond < 60 && record.wMilliseconds < 1000,
                  "an accepted ISO 8601 text has a clock field out of range");
  }
  parse_iso8601_to_filetime(c_text);
  return 0;
}
