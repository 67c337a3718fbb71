#include "sqlite_store/sql_results.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "sqlite_store/sqlite_wrapper.h"
#include "tests/sqlite_store/db_rows.h"
#include "tests/text/temp_folder.h"

namespace {

using rows_t = std::vector<std::vector<std::string>>;
using names_t = std::vector<std::string>;

// A store connection on a fresh database, and checks through a second, plain library connection.
class sql_test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder.path().empty());
    ASSERT_TRUE(store.open_db(nullptr, folder.file("t.db")));
  }

  // Runs sql on the store's handle through the library directly.
  void setup(const std::string& sql) {
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(store.db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << error;
  }

  // Every row of sql, read through a separate connection.
  std::vector<std::string> check(const std::string& sql) { return db_rows(folder.file("t.db"), sql); }

  temp_folder folder{"telvar_sql"};
  sqlite_wrapper store;
};

// ---- sql_transaction ----

TEST_F(sql_test, transaction_refuses_missing_inputs_and_runs_nothing) {
  sql_results results;
  const std::vector<std::string> create = {"create table t (x);"};
  EXPECT_FALSE(sql_transaction(&results, &store, {}, nullptr));
  EXPECT_FALSE(sql_transaction(nullptr, &store, create, nullptr));
  EXPECT_FALSE(sql_transaction(&results, nullptr, create, nullptr));
  sqlite_wrapper closed;
  EXPECT_FALSE(sql_transaction(&results, &closed, create, nullptr));
  EXPECT_TRUE(check("select name from sqlite_master;").empty());
}

TEST_F(sql_test, transaction_stops_at_the_first_failure_and_reports_it) {
  sql_results results;
  const std::vector<std::string> statements = {
      "create table t (x integer primary key, y);",
      "insert into missing values (1);",
      "create table u (z);",
  };
  EXPECT_FALSE(sql_transaction(&results, &store, statements, nullptr));
  EXPECT_EQ(results.rowids.size(), 1u);
  EXPECT_EQ(results.already_exists, 0);
  EXPECT_EQ(results.messages.str(),
            "Cmd Used: insert into missing values (1);\n Error: no such table: missing\n");
  EXPECT_EQ(check("select name from sqlite_master;"), std::vector<std::string>{"t"});
}

TEST_F(sql_test, transaction_flags_an_existing_table_and_keeps_the_text_alone) {
  setup("create table t (x);");
  sql_results results;
  EXPECT_FALSE(sql_transaction(&results, &store, {"create table t (x);"}, nullptr));
  EXPECT_EQ(results.already_exists, 1);
  EXPECT_EQ(results.messages.str(), "table t already exists\n");
}

TEST_F(sql_test, transaction_records_64_bit_rowids_of_each_statement) {
  sql_results results;
  const std::vector<std::string> statements = {
      "create table t (x integer primary key, y);",
      "insert into t values (5000000000, 'a');",
      "insert into t (y) values ('b');",
  };
  ASSERT_TRUE(sql_transaction(&results, &store, statements, nullptr));
  ASSERT_EQ(results.rowids.size(), 3u);
  EXPECT_EQ(results.rowids[1], 5000000000u);
  EXPECT_EQ(results.rowids[2], 5000000001u);
}

TEST_F(sql_test, callback_that_stops_fails_the_statement) {
  setup("create table t (x); insert into t values (1), (2);");
  sql_results results;
  const auto stop = [](void*, int, char**, char**) { return 1; };
  EXPECT_FALSE(sql_transaction(&results, &store, {"select x from t;"}, stop));
  EXPECT_NE(results.messages.str().find(" Error: query aborted"), std::string::npos);
}

TEST_F(sql_test, results_callback_collects_names_once_and_nulls_as_empty_text) {
  setup("create table t (a, b); insert into t values (1, NULL), ('x y', 'z');");
  sql_results results;
  ASSERT_TRUE(sql_transaction(&results, &store, {"select a, b from t;", "select b from t;"},
                              &sql_results::sql_results_cb));
  EXPECT_EQ(results.names, (names_t{"a", "b"}));
  EXPECT_EQ(results.rows, (rows_t{{"1", ""}, {"x y", "z"}, {""}, {"z"}}));

  sql_results empty;
  ASSERT_TRUE(sql_transaction(&empty, &store, {"select a from t where 0;"}, &sql_results::sql_results_cb));
  EXPECT_TRUE(empty.names.empty());
  EXPECT_TRUE(empty.rows.empty());
}

TEST_F(sql_test, results_callback_prints_to_a_target_instead_of_storing) {
  setup("create table t (a, b); insert into t values (1, NULL), ('x', 'z');");
  std::ostringstream out;
  sql_results results;
  results.print_target = &out;
  ASSERT_TRUE(sql_transaction(&results, &store, {"select a, b from t;", "select b, a from t;"},
                              &sql_results::sql_results_cb));
  EXPECT_EQ(out.str(), "a | b\n1 | \nx | z\n | 1\nz | x\n");
  EXPECT_TRUE(results.rows.empty());
  EXPECT_EQ(results.header_printed, 1);

  results.clear();
  EXPECT_EQ(results.print_target, nullptr);
  EXPECT_TRUE(results.names.empty());
  EXPECT_TRUE(results.messages.str().empty());
}

// ---- The select family ----

// One row of every storage class, rendered by each member of the family.
TEST_F(sql_test, select_family_renders_each_storage_class) {
  setup(
      "create table v (i, f1, f2, f3, t, b, n);"
      "insert into v values (-42, 2.5, 3.14159265, 0.00001, 'a' || char(0) || 'b', x'00ff10', NULL);");
  const std::string sql = "select * from v;";
  const names_t names = {"i", "f1", "f2", "f3", "t", "b", "n"};
  const std::string text("a\0b", 3);
  const std::string blob("\x00\xff\x10", 3);

  rows_t rows;
  names_t got_names;
  EXPECT_EQ(sql_select(rows, got_names, store.db, sql), 1);
  EXPECT_EQ(got_names, names);
  EXPECT_EQ(rows, (rows_t{{"-42", "2.5", "3.14159265", "1.0e-05", text, blob, ""}}));

  EXPECT_TRUE(sql_select_rows(rows, store.db, sql));
  EXPECT_EQ(rows, (rows_t{{"-42", "2.5", "3.14159", "1e-05", text, blob, "0"}}));

  struct seen_rows {
    rows_t rows;
    names_t names;
  } seen;
  const auto each = [](void* context, std::vector<std::string>& values, u8 flag, void* first, void* second) {
    EXPECT_EQ(flag, 7);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(second, context);
    static_cast<seen_rows*>(context)->rows.push_back(values);
    return 0;
  };
  EXPECT_TRUE(sql_select_each(&seen, 7, nullptr, &seen, store.db, sql, each));
  EXPECT_EQ(seen.rows, (rows_t{{"-42", "2.5", "3.14159", "1e-05", text, blob, "0"}}));

  const auto each_named = [](void* context, std::vector<std::string>& values,
                             std::vector<std::string>& column_names, u8, void*, void*) {
    auto* s = static_cast<seen_rows*>(context);
    s->rows.push_back(values);
    s->names = column_names;
    return 0;
  };
  for (const u8 float_as_text : std::initializer_list<u8>{0, 1}) {
    SCOPED_TRACE(float_as_text);
    seen = {};
    EXPECT_TRUE(sql_select_each_named(&seen, 0, nullptr, nullptr, store.db, sql, each_named, float_as_text));
    EXPECT_EQ(seen.names, names);
    const rows_t expected = float_as_text ? rows_t{{"-42", "2.5", "3.14159265", "1.0e-05", text, blob, ""}}
                                          : rows_t{{"-42", "2.5", "3.14159", "1e-05", text, blob, ""}};
    EXPECT_EQ(seen.rows, expected);
  }
}

TEST_F(sql_test, select_family_reports_prepare_and_step_errors) {
  // abs() of the lowest integer fails at the second row, after one good row.
  setup("create table t (x); insert into t values (1), (-9223372036854775808);");
  const std::string fails_midway = "select abs(x) from t order by rowid;";
  const auto count_rows = [](void* context, std::vector<std::string>&, u8, void*, void*) {
    ++*static_cast<int*>(context);
    return 0;
  };

  rows_t rows = {{"old"}};
  names_t names = {"old"};
  EXPECT_EQ(sql_select(rows, names, store.db, "select nonsense from;"), 0);
  EXPECT_TRUE(rows.empty());
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(sql_select(rows, names, store.db, ""), 0);
  EXPECT_EQ(sql_select(rows, names, nullptr, "select 1;"), 0);

  EXPECT_EQ(sql_select(rows, names, store.db, fails_midway), 0);
  EXPECT_EQ(rows, (rows_t{{"1"}}));
  EXPECT_FALSE(sql_select_rows(rows, store.db, fails_midway));
  EXPECT_EQ(rows, (rows_t{{"1"}}));
  int seen = 0;
  EXPECT_FALSE(sql_select_each(&seen, 0, nullptr, nullptr, store.db, fails_midway, count_rows));
  EXPECT_EQ(seen, 1);
  EXPECT_FALSE(sql_select_rows(rows, store.db, "select * from missing;"));
  EXPECT_TRUE(rows.empty());
}

TEST_F(sql_test, select_columns_reads_named_or_all_columns) {
  setup("create table [my table] (a, b, c); insert into [my table] values (1, 2, 3), (4, 5, 6);");
  rows_t rows;
  names_t columns = {"*"};
  ASSERT_TRUE(select_columns(&store, rows, columns, "my table"));
  EXPECT_EQ(columns, (names_t{"a", "b", "c"}));
  EXPECT_EQ(rows, (rows_t{{"1", "2", "3"}, {"4", "5", "6"}}));

  columns = {"c", "a"};
  ASSERT_TRUE(select_columns(&store, rows, columns, "my table"));
  EXPECT_EQ(columns, (names_t{"c", "a"}));
  EXPECT_EQ(rows, (rows_t{{"3", "1"}, {"6", "4"}}));

  setup("create table e (a);");
  columns = {"a"};
  EXPECT_FALSE(select_columns(&store, rows, columns, "e"));
  EXPECT_FALSE(select_columns(&store, rows, columns, ""));
  sqlite_wrapper closed;
  EXPECT_FALSE(select_columns(&closed, rows, columns, "my table"));
}

// Names from input must not be able to end the quoted identifier and run SQL of their own.
TEST_F(sql_test, select_columns_keeps_hostile_names_inside_their_quotes) {
  setup("create table t (a); insert into t values (1);");
  struct hostile_case {
    const char* name;
    std::string table;
    std::string column;
  };
  const hostile_case cases[] = {
      {"table closing the bracket", "t]; drop table t; --", "a"},
      {"column closing the backtick", "t", "a` from t; drop table t; --"},
  };
  for (const hostile_case& c : cases) {
    SCOPED_TRACE(c.name);
    rows_t rows;
    names_t columns = {c.column};
    EXPECT_FALSE(select_columns(&store, rows, columns, c.table));
    EXPECT_EQ(check("select count(*) from t;"), std::vector<std::string>{"1"});
  }
}

TEST(sql_quoting, identifiers_get_their_quote_characters_handled) {
  struct quote_case {
    const char* name;
    const char* input;
    const char* brackets;
    const char* backticks;
  };
  const quote_case cases[] = {
      {"plain", "abc", "[abc]", "`abc`"},
      {"empty", "", "[]", "``"},
      {"closing bracket", "a]b]", "[ab]", "`a]b]`"},
      {"backtick", "a`b", "[a`b]", "`a``b`"},
      {"blanks and quotes", "x 'y\"", "[x 'y\"]", "`x 'y\"`"},
  };
  for (const quote_case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(quote_brackets(c.input), c.brackets);
    EXPECT_EQ(quote_backticks(c.input), c.backticks);
  }
}

TEST(sql_text, schema_query_replaces_the_stream_text) {
  std::ostringstream out;
  out << "old text";
  EXPECT_EQ(build_schema_query(out), 1);
  EXPECT_EQ(out.str(), "select `sql` from sqlite_master where type='table';");
}

TEST(sql_text, results_printer_writes_names_rows_and_hex_for_type_3) {
  sql_results results;
  results.names = {"a", "b"};
  results.rows = {{"x", std::string("\x01\xff", 2), "ignored"}, {"y"}};
  results.types = {0, 3};
  std::ostringstream out;
  print_sql_results(results, out);
  EXPECT_EQ(out.str(), "a | b | \n\nx | 01 ff  | \ny | \n");
}

TEST_F(sql_test, value_callbacks_print_and_collect) {
  setup("create table t (a, b); insert into t values ('x', NULL), (2, 'y');");
  std::ostringstream out;
  char* error = nullptr;
  ASSERT_EQ(sqlite3_exec(store.db, "select a, b from t;", print_values_cb, &out, &error), SQLITE_OK);
  EXPECT_EQ(out.str(), "x\n2\ny\n");
  std::vector<std::string> values;
  ASSERT_EQ(sqlite3_exec(store.db, "select a, b from t;", collect_values_cb, &values, &error), SQLITE_OK);
  EXPECT_EQ(values, (std::vector<std::string>{"x", "", "2", "y"}));
}

// ---- Prepared statements and explicit transactions ----

// Texts bound without copying must outlive the step: temporaries and literals do not compile.
static_assert(std::is_convertible_v<const std::string&, sql_static_text>);
static_assert(!std::is_convertible_v<std::string, sql_static_text>);
static_assert(!std::is_convertible_v<const char*, sql_static_text>);

TEST_F(sql_test, statement_binds_steps_and_reports_a_failed_row) {
  setup("create table t (k integer primary key, v);");
  sql_statement insert;
  ASSERT_TRUE(insert.prepare(store.db, "insert into t values (?, ?);"));
  const std::string kept = "kept text";
  ASSERT_TRUE(insert.bind_int64(1, 1));
  ASSERT_TRUE(insert.bind_text(2, kept));
  EXPECT_TRUE(insert.run());
  {
    const std::string short_lived = "copied text";
    ASSERT_TRUE(insert.bind_int64(1, -2));
    ASSERT_TRUE(insert.bind_text_copy(2, short_lived));
  }
  EXPECT_TRUE(insert.run());
  ASSERT_TRUE(insert.bind_int64(1, 1));
  EXPECT_FALSE(insert.run());
  EXPECT_NE(insert.error().find("UNIQUE"), std::string::npos);
  // Still usable after a failed row; the failed row left bindings cleared, so v is NULL.
  ASSERT_TRUE(insert.bind_int64(1, 3));
  EXPECT_TRUE(insert.run());
  EXPECT_FALSE(insert.bind_int64(3, 0));
  insert.finalize();
  EXPECT_EQ(check("select k, v from t order by k;"),
            (std::vector<std::string>{"-2,copied text", "1,kept text", "3,NULL"}));

  sql_statement bad;
  EXPECT_FALSE(bad.prepare(store.db, "insert into nowhere values (1);"));
  EXPECT_NE(bad.error().find("no such table"), std::string::npos);
  EXPECT_FALSE(bad.prepare(store.db, "  "));
  EXPECT_FALSE(bad.prepare(nullptr, "select 1;"));
}

TEST_F(sql_test, write_transaction_commits_or_leaves_nothing_behind) {
  setup("create table t (k integer primary key);");
  sql_statement insert;
  ASSERT_TRUE(insert.prepare(store.db, "insert into t values (?);"));
  const auto insert_batch = [&](std::initializer_list<i64> keys) {
    bool all = true;
    for (const i64 k : keys) all = insert.bind_int64(1, k) && insert.run() && all;
    return all;
  };
  {
    sql_write_transaction batch;
    ASSERT_TRUE(batch.begin(store.db));
    EXPECT_FALSE(batch.begin(store.db));
    ASSERT_TRUE(insert_batch({1, 2}));
    EXPECT_TRUE(batch.commit());
    EXPECT_FALSE(batch.active());
  }
  {
    sql_write_transaction batch;
    ASSERT_TRUE(batch.begin(store.db));
    EXPECT_FALSE(insert_batch({3, 1, 4}));
    batch.rollback();
  }
  {
    sql_write_transaction batch;
    ASSERT_TRUE(batch.begin(store.db));
    ASSERT_TRUE(insert_batch({5}));
    // Left without commit: the destructor rolls it back.
  }
  EXPECT_NE(sqlite3_get_autocommit(store.db), 0);
  EXPECT_EQ(check("select k from t order by k;"), (std::vector<std::string>{"1", "2"}));
  sql_write_transaction none;
  EXPECT_FALSE(none.commit());
  EXPECT_FALSE(none.begin(nullptr));
}

// ---- Value readers ----

TEST(sql_values, text_and_number_readers) {
  std::string text = "old";
  EXPECT_EQ(copy_text(text, "abc"), "abc");
  EXPECT_EQ(text_from_cstr(text, nullptr), "");
  EXPECT_EQ(text_from_cstr(text, "x"), "x");
  std::vector<u8> bytes;
  EXPECT_EQ(text_to_bytes(bytes, "ab"), (std::vector<u8>{'a', 'b'}));
  EXPECT_EQ(cstr_to_bytes(bytes, nullptr), std::vector<u8>{});
  EXPECT_EQ(cstr_to_bytes(bytes, "c"), std::vector<u8>{'c'});

  double d = 9;
  EXPECT_EQ(double_from_text(d, "2.5"), 2.5);
  EXPECT_EQ(double_from_text(d, ""), 0.0);

  struct number_case {
    const char* text;
    u64 as_u64;
    u32 as_u32;
    i64 as_long;
    u8 as_u8;
  };
  const number_case cases[] = {
      {"18446744073709551615", 18446744073709551615u, 0xFFFFFFFFu, 9223372036854775807, 0xFF},
      {"0x10", 16, 16, 16, 16},
      {"300", 300, 300, 300, 44},
      {"", 0, 0, 0, 0},
      {"abc", 0, 0, 0, 0},
  };
  for (const number_case& c : cases) {
    SCOPED_TRACE(c.text);
    u64 big = 99;
    u32 word = 99;
    i64 signed_value = 99;
    u8 byte = 99;
    EXPECT_EQ(u64_from_text(big, c.text), c.as_u64);
    EXPECT_EQ(u64_from_cstr(big, c.text), c.as_u64);
    EXPECT_EQ(u32_from_text(word, c.text), c.as_u32);
    EXPECT_EQ(u32_from_cstr(word, c.text), c.as_u32);
    EXPECT_EQ(long_from_cstr(signed_value, c.text), c.as_long);
    EXPECT_EQ(u8_from_cstr(byte, c.text), c.as_u8);
  }
  u64 big = 5;
  EXPECT_EQ(u64_from_cstr(big, nullptr), 0u);
}

TEST(sql_values, buffers_to_text) {
  std::string out;
  const u8 utf16[] = {'h', 0, 'i', 0, 0, 0, 'x', 0};
  EXPECT_EQ(text_from_buffer(out, utf16, sizeof utf16, true), "hi");
  EXPECT_EQ(text_from_buffer(out, utf16, sizeof utf16, false), "h");
  const u8 narrow[] = {'a', 'b', 0, 'c'};
  EXPECT_EQ(text_from_buffer(out, narrow, sizeof narrow, true), "ab");
  EXPECT_EQ(text_from_buffer(out, narrow, 1, false), "a");
  EXPECT_EQ(text_from_buffer(out, nullptr, 4, false), "");

  struct text_case {
    const char* name;
    std::string input;
    bool drop_line_breaks, drop_tabs, stop_at_zero;
    std::string expected;
    u8 found_zero;
  };
  const text_case cases[] = {
      {"copies all", std::string("a\tb\r\n c\0d", 9), false, false, false, std::string("a\tb\r\n c\0d", 9), 0},
      {"stops at zero", std::string("ab\0cd", 5), false, false, true, "ab", 1},
      {"drops line breaks only", "a\r\n b", true, false, false, "a b", 0},
      {"drops tabs and line-start blanks", "\t a\r\n  b c", true, true, false, " ab c", 0},
      {"blank at line start without dropping tabs", "a\n b", true, false, false, "a b", 0},
  };
  for (const text_case& c : cases) {
    SCOPED_TRACE(c.name);
    u8 found_zero = 7;
    bytes_to_text(out, reinterpret_cast<const u8*>(c.input.data()), static_cast<u32>(c.input.size()), found_zero,
                  c.drop_line_breaks, c.drop_tabs, c.stop_at_zero);
    EXPECT_EQ(out, c.expected);
    EXPECT_EQ(found_zero, c.found_zero);
  }
}

TEST(sql_values, guids_from_text_and_pointers) {
  const std::string stored("\x33\x22\x11\x00\x55\x44\x77\x66\x88\x99\xaa\xbb\xcc\xdd\xee\xff+extra", 22);
  guid_t guid;
  EXPECT_EQ(guid_to_string(guid_from_text(guid, stored)), "00112233-4455-6677-8899-aabbccddeeff");
  const guid_t copy = guid;
  EXPECT_EQ(guid_from_text(guid, "null"), guid_t());
  EXPECT_EQ(guid_from_guid(guid, &copy), copy);
  EXPECT_EQ(guid_from_guid(guid, nullptr), guid_t());
}

TEST(sql_values, bytes_for_display_and_for_logs) {
  const std::string guid_bytes("\x33\x22\x11\x00\x55\x44\x77\x66\x88\x99\xaa\xbb\xcc\xdd\xee\xff", 16);
  const std::string guid_text = "00112233-4455-6677-8899-aabbccddeeff";
  struct bytes_case {
    const char* name;
    std::string input;
    std::string display;
    u8 display_zero;
    std::string escaped;
    std::string escaped_hex;
    u8 escaped_zero;
  };
  const bytes_case cases[] = {
      {"line break and blank dropped", "ab\r\n c", "abc", 0, "ab\\x0d\\x0a c", "61 62 0d 0a 20 63", 0},
      {"control byte", "a\x01" "b", "61-01-62", 0, "a\\x01b", "61 01 62", 0},
      {"tab", "a\tb", "ab", 0, "a\\x09b", "61 09 62", 0},
      {"zero byte", std::string("ab\0\x01", 4), "ab", 1, "ab\\x00\\x01", "61 62 00 01", 1},
      {"high bytes kept", "\xc3\xa9", "\xc3\xa9", 0, "\xc3\xa9", "c3 a9", 0},
      {"sixteen bytes are a GUID", guid_bytes, guid_text, 0, guid_text, guid_text, 0},
  };
  for (const bytes_case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto* data = reinterpret_cast<const u8*>(c.input.data());
    const auto length = static_cast<u32>(c.input.size());
    std::string out;
    u8 found_zero = 9;
    EXPECT_EQ(bytes_to_display_text(out, data, length, found_zero), c.display);
    EXPECT_EQ(found_zero, c.display_zero);
    EXPECT_EQ(bytes_to_escaped_text(out, data, length, found_zero, false), c.escaped);
    EXPECT_EQ(found_zero, c.escaped_zero);
    EXPECT_EQ(bytes_to_escaped_text(out, data, length, found_zero, true), c.escaped_hex);
  }
}

// Without a length only a few leading bytes of a terminated text are dumped, never past its end.
TEST(sql_values, escaped_text_of_a_terminated_text) {
  struct terminated_case {
    const char* name;
    std::string input;
    std::string expected;
  };
  const terminated_case cases[] = {
      {"count from a small first byte", std::string("\x03" "abcdef", 8), "03 61 62..."},
      {"six bytes otherwise", "abcdefgh", "61 62 63 64 65 66..."},
      {"shorter than the count", std::string("\x08" "ab", 4), "08 61 62..."},
      {"empty", std::string(1, '\0'), ""},
  };
  for (const terminated_case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out;
    u8 found_zero = 0;
    EXPECT_EQ(bytes_to_escaped_text(out, reinterpret_cast<const u8*>(c.input.c_str()), 0xFFFFFFFF, found_zero, false),
              c.expected);
  }
  std::string out;
  u8 found_zero = 0;
  EXPECT_EQ(bytes_to_escaped_text(out, nullptr, 5, found_zero, false), "");
  EXPECT_EQ(bytes_to_display_text(out, nullptr, 5, found_zero), "");
}

}  // namespace
