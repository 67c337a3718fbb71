#include "framework/time/qz_time_debug.h"

#include <gtest/gtest.h>

#include <functional>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "tests/time/scoped_tz.h"

namespace {

// 2024-03-05 07:08:09 UTC.
constexpr u64 march_5_2024 = 133540960890000000ULL;

TEST(DebugOutput, LineLayoutAndCount) {
  struct row {
    const char* name;
    std::function<u64(std::ostream&)> write;
    const char* expected;
    u64 count;
  };
  const row rows[] = {
      {"u32 with its own size", [](std::ostream& o) { return debug_output(o, "abc", u32(31), 16, 6); },
       "00000010 : abc   : 0000001f\n", 4},
      {"u64 with its own size", [](std::ostream& o) { return debug_output(o, "v", u64(0xabc), 0, 0); },
       "00000000 : v: 0000000000000abc\n", 8},
      {"u32 with size 2", [](std::ostream& o) { return debug_output(o, "w", u32(5), 0x123456789, 2, nullptr, 2); },
       "123456789 : w : 0005\n", 2},
      {"value wider than its size",
       [](std::ostream& o) { return debug_output(o, "w", u32(0x12345), 1, 1, nullptr, 1); },
       "00000001 : w: 12345\n", 1},
      {"text with a note", [](std::ostream& o) { return debug_output(o, "t", std::string("Hi"), 255, 3, "n"); },
       "000000ff : t  : Hi [n]\n", 8},
      {"text with size", [](std::ostream& o) { return debug_output(o, "t", std::string("x"), 0, 0, nullptr, 3); },
       "00000000 : t: x\n", 3},
      {"name wider than its width", [](std::ostream& o) { return debug_output(o, "longname", u32(1), 0, 2); },
       "00000000 : longname: 00000001\n", 4},
      {"negative width pads nothing", [](std::ostream& o) { return debug_output(o, "n", u32(1), 0, -5); },
       "00000000 : n: 00000001\n", 4},
      {"a huge size pads to 16 digits only",
       [](std::ostream& o) { return debug_output(o, "h", u64(1), 0, 0, nullptr, u64(1) << 40); },
       "00000000 : h: 0000000000000001\n", u64(1) << 40},
      {"byte", [](std::ostream& o) { return debug_output_byte(o, "b", 0x0a, 2, 2, "x"); },
       "00000002 : b : 0a [x]\n", 1},
      {"null name", [](std::ostream& o) { return debug_output(o, nullptr, u32(1), 0, 4); }, "", 0},
      {"null name of a byte", [](std::ostream& o) { return debug_output_byte(o, nullptr, 1, 0, 4); }, "", 0},
      {"null name of text", [](std::ostream& o) { return debug_output(o, nullptr, std::string("t"), 0, 4); }, "", 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::ostringstream out;
    EXPECT_EQ(r.write(out), r.count);
    EXPECT_EQ(out.str(), r.expected);
  }
}

TEST(DebugOutput, LineAfterLeftAlignedTextStillPadsOffsetInFront) {
  std::ostringstream out;
  debug_output(out, "a", std::string("x"), 1, 0);
  debug_output(out, "b", u32(2), 3, 0);
  EXPECT_EQ(out.str(), "00000001 : a: x\n00000003 : b: 00000002\n");
}

TEST(DebugSink, WritesOnlyWhenEnabledWithAStream) {
  std::ostringstream out;
  struct row {
    const char* name;
    debug_sink sink;
    bool writes;
  };
  const row rows[] = {
      {"enabled with stream", {1, &out}, true},
      {"disabled", {0, &out}, false},
      {"no stream", {1, nullptr}, false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    out.str("");
    EXPECT_EQ(debug_sink_output_byte(r.sink, "b", 0xff, 0, 0), r.writes ? 1u : 0u);
    debug_sink_line(r.sink, "line");
    debug_sink_line(r.sink, nullptr);
    EXPECT_EQ(out.str(), r.writes ? "00000000 : b: ff\nline\n" : "");
  }
}

TEST(WriteStringLines, OneLinePerString) {
  std::ostringstream out;
  write_string_lines(out, {"a", "", "b c"});
  EXPECT_EQ(out.str(), "a\n\nb c\n");
}

TEST(FiletimeHex, TextAndStreamForms) {
  struct row {
    u64 value;
    const char* text;
    const char* written;
  };
  const row rows[] = {
      {1, "0x0000000000000001", "0x000000001"},
      {u64(1) << 32, "0x0000000100000000", "0x100000000"},
      {0x0123456789ABCDEFULL, "0x0123456789abcdef", "0x123456789abcdef"},
      {0, "0x0000000000000000", "0x000000000"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    std::string out = "old";
    EXPECT_EQ(filetime_hex_text(out, r.value), r.text);
    EXPECT_EQ(out, r.text);
    std::ostringstream stream;
    write_filetime_hex(stream, r.value);
    EXPECT_EQ(stream.str(), r.written);
  }
}

TEST(TimePrinters, DateAndMonthDayYearForms) {
  scoped_tz tz("UTC0");
  qz::time t(march_5_2024 + 4 * filetime_ticks_per_ms, time_kind_filetime);
  ASSERT_TRUE(t.valid);
  std::ostringstream out;
  write_time_date(out, t);
  EXPECT_EQ(out.str(), "2024-03-05");
  out.str("");
  write_time_mdy(out, t, false);
  EXPECT_EQ(out.str(), "03/05/2024 : 07:08:09 [ 004 ms ]");
  out.str("");
  write_time_mdy(out, t, true);
  EXPECT_EQ(out.str(), "03/05/2024");
  std::wostringstream wide;
  write_time_mdy(wide, t, false);
  EXPECT_EQ(wide.str(), L"03/05/2024 : 07:08:09 [ 004 ms ]");
  wide.str(L"");
  write_time_mdy(wide, t, true);
  EXPECT_EQ(wide.str(), L"03/05/2024");
}

TEST(TimePrinters, UseUtcFieldsInAnyZone) {
  scoped_tz tz("JST-9");
  std::ostringstream out;
  write_time_mdy(out, qz::time(march_5_2024, time_kind_filetime), false);
  EXPECT_EQ(out.str(), "03/05/2024 : 07:08:09 [ 000 ms ]");
}

TEST(TimePrinters, SetTheirOwnBaseAndRestoreFillAndFlags) {
  scoped_tz tz("UTC0");
  const qz::time t(march_5_2024, time_kind_filetime);
  std::ostringstream out;
  // A stream left in hex with '*' fill and left adjustment by an earlier writer.
  out << std::hex << std::left << std::setfill('*');
  write_time_date(out, t);
  out << ' ';
  write_time_mdy(out, t, false);
  out << ' ';
  write_filetime_hex(out, 0x10);
  out << ' ';
  write_u16_pair(out, 10, 255);
  out << ' ' << std::setw(4) << 26;
  EXPECT_EQ(out.str(), "2024-03-05 03/05/2024 : 07:08:09 [ 000 ms ] 0x000000010 10 : 255 1a**");
}

TEST(TimePrinters, Fixed16Seconds) {
  struct row {
    u16 whole, fraction;
    const char* expected;
  };
  const row rows[] = {{1, 32768, "1.5 secs"}, {0, 0, "0 secs"}, {2, 16384, "2.25 secs"}, {65535, 0, "65535 secs"}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.expected);
    std::ostringstream out;
    write_fixed16_seconds(out, r.whole, r.fraction);
    EXPECT_EQ(out.str(), r.expected);
  }
}

TEST(FormatLengthChecks, DateAndTimeFormats) {
  struct row {
    const char* format;
    bool date_ok;
    bool time_ok;
  };
  const row rows[] = {
      {"yyyy-mm-dd", true, false},
      {"mm/dd/yy", true, false},
      {"abcdefgh", true, false},
      {"mmddyy", false, false},
      {"", false, false},
      {"hh:mm:ss", true, true},
      {"hh-mm-ss", true, false},
      {"hh:mm:ss.", false, false},
      {"hh:mm:ss.x", true, false},
      {"hh:mm:ss.xx", false, false},
      {"hh:mm:ss.xxx", false, true},
      {"hhmmss.xxxxx", false, false},
      {"hh:mm:ss.xxxxxx", false, true},
      {"hh:mm:ss.xxxxxxxxx", false, true},
      {"hh:mm:ss.xxxxxxxxxx", false, false},
      {"hh:mm:ss,xxxx", false, false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.format);
    u32 length = 77;
    EXPECT_EQ(date_format_length_ok(r.format), r.date_ok);
    EXPECT_EQ(date_format_length_ok(r.format, length), r.date_ok);
    EXPECT_EQ(length, r.date_ok ? std::string(r.format).size() : 0u);
    length = 77;
    EXPECT_EQ(time_format_length_ok(r.format), r.time_ok);
    EXPECT_EQ(time_format_length_ok(r.format, length), r.time_ok);
    EXPECT_EQ(length, r.time_ok ? std::string(r.format).size() : 0u);
  }
}

}  // namespace
