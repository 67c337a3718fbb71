#include "timeline/variant_row.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "framework/time/qz_time.h"
#include "sqlite_store/sqlite_generic_data.h"

namespace {

constexpr u64 filetime_2020 = 132224078456780000ULL;  // 2020-01-02 03:04:05.678 UTC

TEST(variant_row, init_takes_counts_from_1_to_255_only) {
  for (i32 bad : {0, 256, -1}) {
    SCOPED_TRACE(bad);
    variant_row fresh(bad, false);
    EXPECT_EQ(fresh.valid, 0u);
    EXPECT_EQ(fresh.count, 0);
    EXPECT_TRUE(fresh.cells.empty());
    // A bad count leaves a working row invalid and empty: no setter fills it afterwards.
    variant_row row(2, true, 0x8000);
    EXPECT_FALSE(row.init(bad, false));
    EXPECT_EQ(row.valid, 0u);
    EXPECT_EQ(row.count, 0);
    EXPECT_TRUE(row.cells.empty());
    EXPECT_EQ(row.default_flags, 0u);
    EXPECT_EQ(row.set_text(0, "x", 11, 0), 1);
    EXPECT_TRUE(row.cells.empty());
  }
  EXPECT_EQ(variant_row(255, false).cells.size(), 255u);
  variant_row cleared(3, true);
  for (const qz_variant_lite& cell : cleared.cells) {
    EXPECT_EQ(cell.type, variant_text);
    EXPECT_EQ(cell.flags, 0u);
    EXPECT_TRUE(cell.text.empty());
  }
  cleared.set_number(0, 7, 8, 0);
  cleared.reset();
  EXPECT_EQ(cleared.cells[0], qz_variant_lite());
  EXPECT_EQ(cleared.count, 3);
}

// A setter refused by its arguments reports 1 and leaves the row as it was.
TEST(variant_row, refused_setters_change_nothing) {
  const std::vector<std::pair<const char*, std::function<int(variant_row&)>>> calls = {
      {"index -1", [](variant_row& r) { return r.set_number(-1, 1, 8, 0); }},
      {"index = count", [](variant_row& r) { return r.set_text(3, "x", 11, 0); }},
      {"type 32", [](variant_row& r) { return r.set_number(0, 1, 32, 0); }},
      {"null buffer", [](variant_row& r) { return r.set_buffer(0, nullptr, 4, 29, 0); }},
      {"empty buffer", [](variant_row& r) { u8 b = 1; return r.set_buffer(0, &b, 0, 29, 0); }},
      {"string past the end", [](variant_row& r) { return r.set_string(9, "x", 0); }},
      {"time list past the end", [](variant_row& r) { return r.set_time_list(3, {1}, 13, 0); }},
  };
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(name);
    variant_row row(3, true);
    row.set_string(0, "keep", 0);
    const std::vector<qz_variant_lite> before = row.cells;
    EXPECT_EQ(call(row), 1);
    EXPECT_EQ(row.cells, before);
  }
  variant_row invalid;
  EXPECT_EQ(invalid.set_text(0, "x", 11, 0), 1);
  EXPECT_TRUE(invalid.cells.empty());
  std::vector<qz_variant_lite> column_template(1, qz_variant_lite("name", 5));
  EXPECT_EQ(invalid.parse_cell(0, "x", column_template, nullptr, {}, {}), -1);
}

TEST(variant_row, two_column_times_empty_the_next_cell) {
  variant_row row(5, true);
  EXPECT_EQ(row.set_number(2, filetime_2020, 12, 0), 2);
  EXPECT_EQ(row.cells[3].type, 0);
  EXPECT_EQ(row.set_number(4, filetime_2020, 12, 0), 1);
  EXPECT_EQ(row.set_number(0, 5, 8, 0), 1);
  EXPECT_EQ(row.cells[1].type, variant_text);  // untouched by a one-cell type
}

TEST(variant_row, quoting_and_line_end_rules) {
  struct text_case {
    const char* name;
    std::string text;
    u32 flags;
    std::string stored;
  };
  const text_case cases[] = {
      {"quoted", "abc", 0x8000, "\"abc\""},
      {"object kept", "{\"a\":1}", 0x8000, "{\"a\":1}"},
      {"short brace quoted", "{\"", 0x8000, "\"{\"\"\""},
      {"inner quotes doubled", "say \"hi\", \"\"", 0x8000, "\"say \"\"hi\"\", \"\"\"\"\""},
      {"line ends marked", "a\r\nb\nc", 0x10000, "a[CRLF]b[LF]c"},
      {"marking needs the exact word", "a\nb", 0x10000 | 0x8000, "\"a\nb\""},
      {"plain", "a\nb", 0, "a\nb"},
  };
  for (const text_case& c : cases) {
    SCOPED_TRACE(c.name);
    variant_row row(1, false);
    EXPECT_EQ(row.set_text(0, c.text, 11, c.flags), 1);
    EXPECT_EQ(row.cells[0].text, c.stored);
    EXPECT_EQ(row.cells[0].flags, c.flags);
  }
  // The row's default flags quote every text setter.
  variant_row row(6, false, 0x8000);
  const u8 bytes[] = {'b', 'y'};
  std::ostringstream stream;
  stream << "st";
  row.set_text(0, "t", 11, 0);
  row.set_string(1, "s", 0);
  row.set_wtext(2, L"w", 11, 0);
  row.set_bytes(3, {'v'}, 11, 0);
  row.set_buffer(4, bytes, 2, 11, 0);
  row.set_from_stream(5, stream, 11, 0);
  std::vector<std::string> texts;
  for (const qz_variant_lite& cell : row.cells) texts.push_back(cell.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"\"t\"", "\"s\"", "\"w\"", "\"v\"", "\"by\"", "\"st\""}));
  // set_string never marks line ends.
  row.default_flags = 0;
  row.set_string(0, "a\nb", 0x10000);
  EXPECT_EQ(row.cells[0].text, "a\nb");
}

TEST(variant_row, time_setters) {
  variant_row row(3, true);
  EXPECT_EQ(row.set_time_list(0, {}, 13, 0), 1);
  EXPECT_EQ(row.cells[0].times, std::vector<u64>{0});
  EXPECT_EQ(row.cells[0].number, 0u);
  EXPECT_EQ(row.set_time_list(0, {5, 9}, 13, 0x2000), 1);
  EXPECT_EQ(row.cells[0].number, 9u);
  EXPECT_EQ(row.set_time_list(0, {9, 5}, 13, 0x2000 | 0x8000), 1);
  EXPECT_EQ(row.cells[0].number, 5u);
  EXPECT_EQ(row.cells[0].times, (std::vector<u64>{5, 9}));
  row.set_text(2, "x", 11, 0);
  EXPECT_EQ(row.set_time_list(1, {1}, 13, 0), 1);
  EXPECT_EQ(row.cells[2].type, 0);  // emptied even by a one-column type
  EXPECT_EQ(row.set_time_list(0, {1}, 12, 0), 2);

  EXPECT_EQ(row.set_time_text(0, filetime_2020, 12, 0, nullptr), -1);
  EXPECT_EQ(row.set_time_text(0, filetime_2020, 8, 0, nullptr), -1);
  EXPECT_EQ(row.cells[0].type, 8);
  EXPECT_EQ(row.set_time_text(0, 0, 13, 0x8000, nullptr), 1);
  EXPECT_EQ(row.cells[0].type, 13);
  EXPECT_EQ(row.cells[0].flags, 0u);
  EXPECT_EQ(row.set_time_text(0, filetime_2020, 13, 0x8000, nullptr), 1);
  EXPECT_EQ(row.cells[0].type, variant_text);
  EXPECT_EQ(row.cells[0].text, "\"2020-01-02 03:04:05.678\"");
  time_format_spec spec;
  ASSERT_TRUE(parse_date_time_format(spec, "dd/mm/yyyy", "hh:mm:ss", false));
  row.set_time_text(0, 1577934245, 16, 0, &spec);
  EXPECT_EQ(row.cells[0].text, "02/01/2020 03:04:05");

  // Safari seconds with a fraction become a FILETIME; other doubles are truncated.
  EXPECT_EQ(row.set_time_double(0, 21, 0, 599627045.5), 2);
  EXPECT_EQ(row.cells[0].type, 12);
  EXPECT_EQ(row.cells[0].number, filetime_2020 - 1780000);
  row.set_time_double(0, 22, 0, 599627045.5);
  EXPECT_EQ(row.cells[0].type, 13);
}

// Doubles become numbers by truncation toward zero; those no 64-bit integer holds get a defined
// number (the sanitizer build catches an undefined conversion).
TEST(variant_row, set_time_double_truncates_and_saturates) {
  constexpr u64 largest = ~u64{0};
  constexpr u64 smallest_i64 = u64{1} << 63;
  struct double_case {
    const char* name;
    double value;
    u64 number;
  };
  const double_case cases[] = {
      {"fraction dropped", 1577934245.9, 1577934245u},
      {"negative: two's complement", -2.7, static_cast<u64>(-2)},
      {"minus a half", -0.5, 0},
      {"negative zero", -0.0, 0},
      {"above the i64 range", 9.3e18, 9300000000000000000u},
      {"largest double below 2^64", 18446744073709549568.0, 18446744073709549568u},
      {"2^64", 18446744073709551616.0, largest},
      {"1e30", 1e30, largest},
      {"infinity", std::numeric_limits<double>::infinity(), largest},
      {"-2^63", -9223372036854775808.0, smallest_i64},
      {"-9.3e18", -9.3e18, smallest_i64},
      {"minus infinity", -std::numeric_limits<double>::infinity(), smallest_i64},
      {"NaN", std::numeric_limits<double>::quiet_NaN(), 0},
  };
  for (const double_case& c : cases) {
    SCOPED_TRACE(c.name);
    variant_row row(2, true);
    EXPECT_EQ(row.set_time_double(0, 16, 0, c.value), 1);
    EXPECT_EQ(row.cells[0].type, 16);
    EXPECT_EQ(row.cells[0].number, c.number);
    // As safari seconds the same values give a time cell whose FILETIME is no valid time.
    if (std::isfinite(c.value) && std::fabs(c.value) < 1e10) continue;
    EXPECT_EQ(row.set_time_double(0, 22, 0, c.value), 1);
    EXPECT_EQ(row.cells[0].type, 13);
    EXPECT_FALSE(qz::time(row.cells[0].number, time_kind_filetime).valid);
  }
}

TEST(variant_row, set_from_stream_parses_numbers_and_refuses_other_types) {
  variant_row row(2, true);
  std::ostringstream stream;
  stream << "0x10";
  EXPECT_EQ(row.set_from_stream(0, stream, 8, 0), 1);
  EXPECT_EQ(row.cells[0].number, 16u);
  EXPECT_EQ(row.cells[0].type, 8);
  for (u16 type : {u16{14}, u16{20}, u16{31}, u16{27}}) {
    SCOPED_TRACE(type);
    row.set_text(1, "x", 11, 0);
    EXPECT_EQ(row.set_from_stream(1, stream, type, 0), 0);
    EXPECT_EQ(row.cells[1], qz_variant_lite());
  }
}

TEST(variant_row, parse_cell_reads_the_text_by_the_template_type) {
  std::vector<qz_variant_lite> columns = {
      qz_variant_lite("when", 23, 13, 0),    qz_variant_lite("id", 36, 27, 0),
      qz_variant_lite("bytes", 10, 28, 0),   qz_variant_lite("text", 10, 11, 0x100),
      qz_variant_lite("other", 10, 11, 0x20000), qz_variant_lite("number", 10, 8, 0),
  };
  variant_row row(7, true);
  const std::string filetime_text = std::to_string(filetime_2020);
  EXPECT_EQ(row.parse_cell(0, filetime_text, columns, nullptr, {}, {}), 1);
  EXPECT_EQ(row.cells[0].text, filetime_text + ": 2020-01-02 03:04:05.678");
  EXPECT_EQ(row.cells[0].number, filetime_2020);
  EXPECT_EQ(row.cells[0].aux, 23u);
  EXPECT_EQ(row.parse_cell(0, "0", columns, nullptr, {}, {}), 1);
  EXPECT_EQ(row.cells[0].text, "0");

  EXPECT_EQ(row.parse_cell(1, "0123456789abcde", columns, nullptr, {}, {}), 1);
  EXPECT_EQ(row.cells[1].text, "0123456789abcde");
  row.parse_cell(1, std::string("\x33\x22\x11\x00\x55\x44\x77\x66\x88\x99\xaa\xbb\xcc\xdd\xee\xff", 16), columns,
                 nullptr, {}, {});
  EXPECT_EQ(row.cells[1].text, "00112233-4455-6677-8899-aabbccddeeff");
  row.parse_cell(2, "AB", columns, nullptr, {}, {});
  EXPECT_EQ(row.cells[2].text, "41 42");

  const cell_text_callback upper = [](std::string& cell, const std::string& input) { cell = "1:" + input; };
  const cell_text_callback lower = [](std::string& cell, const std::string& input) { cell = "2:" + input; };
  row.parse_cell(3, "a", columns, nullptr, upper, lower);
  row.parse_cell(4, "b", columns, nullptr, upper, lower);
  EXPECT_EQ(row.cells[3].text, "1:a");
  EXPECT_EQ(row.cells[4].text, "2:b");
  row.parse_cell(4, "c", columns, nullptr, upper, {});
  EXPECT_EQ(row.cells[4].text, "c");
  row.parse_cell(5, "12", columns, nullptr, {}, {});
  EXPECT_EQ(row.cells[5].text, "12");
  EXPECT_EQ(row.cells[5].number, 0u);  // integer cells are not parsed here

  // A template shorter than the index, and a type above 31: -1, the cell untouched.
  row.set_string(6, "keep", 0);
  EXPECT_EQ(row.parse_cell(6, "x", columns, nullptr, {}, {}), -1);
  columns[0].type = 40;
  EXPECT_EQ(row.parse_cell(0, "x", columns, nullptr, {}, {}), -1);
  EXPECT_EQ(row.cells[6].text, "keep");
}

TEST(generic_hdr, set_field_picks_the_field_by_the_low_byte) {
  generic_hdr values;
  EXPECT_FALSE(values.set_field(3, 9, "t"));
  EXPECT_FALSE(values.set_field(0, 9, "t"));
  EXPECT_EQ(values.val1 + values.val2 + values.val3 + values.val4 + values.val5, 0u);
  EXPECT_TRUE(values.set_field(0x120, 9, "t"));
  EXPECT_EQ(values.str1, "t");
  EXPECT_TRUE(values.set_field(0x8000 | 16, 9, "t"));
  EXPECT_EQ(values.val5, 9u);
  EXPECT_TRUE(values.str2.empty());
}

}  // namespace
