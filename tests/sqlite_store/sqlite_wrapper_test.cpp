#include "sqlite_store/sqlite_wrapper.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/text/temp_folder.h"
#include "tests/sqlite_store/db_rows.h"
#include "tests/sqlite_store/bound_functions.h"

namespace {

// Runs sql on a handle; the library's error text, empty on success.
std::string exec_error(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  std::string text = rc == SQLITE_OK ? "" : (error != nullptr ? error : "failed");
  sqlite3_free(error);
  return text;
}

// Number of descriptors of this process open on path.
int open_descriptors(const std::string& path) {
  int count = 0;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ignored)) {
    if (std::filesystem::read_symlink(entry.path(), ignored) == path) ++count;
  }
  return count;
}

void expect_closed(const sqlite_wrapper& w) {
  EXPECT_EQ(w.db_open, 0);
  EXPECT_EQ(w.db, nullptr);
  EXPECT_EQ(w.runtime, 0u);
}

class sqlite_wrapper_test : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder.path().empty()); }
  temp_folder folder{"telvar_sqlite"};
};

TEST_F(sqlite_wrapper_test, read_write_open_creates_folders_and_file_and_binds_the_table) {
  const std::string path = folder.file("a/b/run.db");
  {
    sqlite_wrapper w;
    ASSERT_TRUE(w.open_db(nullptr, path));
    EXPECT_EQ(w.db_open, 1);
    EXPECT_EQ(w.read_only, 0);
    EXPECT_NE(w.db, nullptr);
    EXPECT_EQ(w.db_path, path);
    EXPECT_EQ(bound_sqlite_functions(), sqlite_function_table::entry_count);
    EXPECT_EQ(exec_error(w.db, "create table t (x integer); insert into t values (7);"), "");
    w.close();
    expect_closed(w);
    EXPECT_TRUE(w.db_path.empty());
    EXPECT_EQ(bound_sqlite_functions(), 0u);
  }
  EXPECT_EQ(db_rows(path, "select x from t;"), std::vector<std::string>{"7"});
}

TEST_F(sqlite_wrapper_test, bare_file_name_is_created_in_the_current_folder) {
  const auto saved = std::filesystem::current_path();
  std::filesystem::current_path(folder.path());
  {
    sqlite_wrapper w;
    EXPECT_TRUE(w.open_db(nullptr, "plain.db"));
  }
  std::filesystem::current_path(saved);
  EXPECT_TRUE(std::filesystem::exists(folder.file("plain.db")));
}

TEST_F(sqlite_wrapper_test, read_only_open_reads_and_refuses_writes) {
  {
    sqlite_wrapper w;
    ASSERT_TRUE(w.open_db(nullptr, folder.file("r.db")));
    ASSERT_EQ(exec_error(w.db, "create table t (x integer); insert into t values (1);"), "");
  }
  sqlite_wrapper w;
  ASSERT_TRUE(w.open_db_readonly(folder.file("r.db")));
  EXPECT_EQ(w.read_only, 1);
  EXPECT_EQ(bound_sqlite_functions(), sqlite_function_table::entry_count);
  EXPECT_EQ(exec_error(w.db, "select count(*) from t;"), "");
  EXPECT_NE(exec_error(w.db, "insert into t values (2);").find("readonly"), std::string::npos);
  w.close();
  EXPECT_EQ(db_rows(folder.file("r.db"), "select count(*) from t;"), std::vector<std::string>{"1"});
}

// Names in the folder, sorted.
std::vector<std::string> folder_names(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A reader adds no file beside a database in write-ahead mode (the library's read-only open
// would leave a "-wal" and a "-shm" there), whatever its name holds, and still reads the
// committed pages of a log that another connection keeps open.
TEST_F(sqlite_wrapper_test, reading_a_write_ahead_database_adds_no_file_beside_it) {
  for (const std::string name : {"w.db", "50% off?#1.db"}) {
    const std::string path = folder.file(name);
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(exec_error(writer, "pragma journal_mode=wal; create table t (x); insert into t values (1);"), "");
    sqlite3_close(writer);
    ASSERT_EQ(folder_names(folder.path()), std::vector<std::string>{name});
    {
      sqlite_wrapper w;
      ASSERT_TRUE(w.open_db_readonly(path)) << name;
      EXPECT_EQ(exec_error(w.db, "select count(*) from t;"), "");
    }
    EXPECT_EQ(folder_names(folder.path()), std::vector<std::string>{name});

    // A log still holding a committed row: read with it.
    ASSERT_EQ(sqlite3_open(path.c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(exec_error(writer, "pragma wal_autocheckpoint=0; insert into t values (2);"), "");
    {
      sqlite_wrapper w;
      ASSERT_TRUE(w.open_db_readonly(path));
      sqlite3_stmt* count = nullptr;
      ASSERT_EQ(sqlite3_prepare_v2(w.db, "select count(*) from t;", -1, &count, nullptr), SQLITE_OK);
      ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
      EXPECT_EQ(sqlite3_column_int(count, 0), 2);
      sqlite3_finalize(count);
    }
    sqlite3_close(writer);

    // A damaged header whose read version alone says write-ahead mode (as the fuzzer made one).
    {
      std::FILE* file = std::fopen(path.c_str(), "r+b");
      ASSERT_NE(file, nullptr);
      std::fseek(file, 18, SEEK_SET);
      std::fputc(1, file);
      std::fclose(file);
      sqlite_wrapper w;
      w.open_db_readonly(path);
    }
    EXPECT_EQ(folder_names(folder.path()), std::vector<std::string>{name});
    std::filesystem::remove(path);
  }
}

// A log beside a database is read from a private copy whose names are gone as soon as the
// database is open: no way the run ends can leave the copy behind.
TEST_F(sqlite_wrapper_test, a_log_is_read_from_a_copy_that_leaves_no_name_behind) {
  const std::string path = folder.file("live.db");
  sqlite3* writer = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &writer), SQLITE_OK);
  ASSERT_EQ(exec_error(writer, "pragma journal_mode=wal; create table t (x); insert into t values (1), (2);"
                               "begin; select count(*) from t;"),
            "");
  const char* saved = std::getenv("TMPDIR");
  const std::string saved_value = saved != nullptr ? saved : "";
  const std::string private_copies = folder.file("tmp");
  std::filesystem::create_directories(private_copies);
  setenv("TMPDIR", private_copies.c_str(), 1);
  {
    sqlite_wrapper w;
    ASSERT_TRUE(w.open_db_readonly(path));
    EXPECT_TRUE(std::filesystem::is_empty(private_copies));
    EXPECT_EQ(exec_error(w.db, "select * from t;"), "");
    sqlite3_stmt* count = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(w.db, "select count(*) from t;", -1, &count, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(count, 0), 2);
    sqlite3_finalize(count);
  }
  if (saved != nullptr) setenv("TMPDIR", saved_value.c_str(), 1);
  else unsetenv("TMPDIR");
  sqlite3_close(writer);
}

// Every refused open leaves the object closed and the table cleared, and damages nothing.
TEST_F(sqlite_wrapper_test, refused_opens_leave_the_object_closed_and_the_file_untouched) {
  const std::string text = "name,value\nnot,a database at all, but long enough to have a header...\n";
  folder.put("notes.txt", std::string(text).append(200, 'x'));
  folder.put("blocker", "a file where a folder is needed");
  struct open_case {
    const char* name;
    std::string path;
    bool read_only;
    bool file_must_not_appear;
  };
  const open_case cases[] = {
      {"empty path read-write", "", false, false},
      {"empty path read-only", "", true, false},
      {"missing file read-only", folder.file("missing.db"), true, true},
      {"missing folder read-only", folder.file("nope/missing.db"), true, true},
      {"text file read-write", folder.file("notes.txt"), false, false},
      {"text file read-only", folder.file("notes.txt"), true, false},
      {"folder cannot be made", folder.file("blocker/sub/x.db"), false, true},
      {"a folder, not a file", folder.path(), true, false},
  };
  for (const open_case& c : cases) {
    SCOPED_TRACE(c.name);
    sqlite_wrapper w;
    const bool opened = c.read_only ? w.open_db_readonly(c.path) : w.open_db(nullptr, c.path);
    EXPECT_FALSE(opened);
    expect_closed(w);
    EXPECT_EQ(w.db_path, c.path);
    EXPECT_EQ(bound_sqlite_functions(), 0u);
    if (c.file_must_not_appear) {
      EXPECT_FALSE(std::filesystem::exists(c.path));
    }
  }
  EXPECT_EQ(folder.get("notes.txt"), std::string(text).append(200, 'x'));
}

// A database the process may only read must not be taken for writing: every later write would
// fail. Run in a child that drops root, which would ignore the file's mode.
TEST_F(sqlite_wrapper_test, write_protected_database_opens_only_for_reading) {
  const std::string path = folder.file("locked.db");
  {
    sqlite_wrapper w;
    ASSERT_TRUE(w.open_db(nullptr, path));
    ASSERT_EQ(exec_error(w.db, "create table t (x integer);"), "");
  }
  ASSERT_EQ(chmod(folder.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto as_other_user = [&path]() -> int {
    if (geteuid() == 0 && setuid(65534) != 0) return 3;
    sqlite_wrapper w;
    if (w.open_db(nullptr, path)) return 1;
    if (w.db_open != 0 || w.db != nullptr || bound_sqlite_functions() != 0) return 2;
    return w.open_db_readonly(path) ? 0 : 4;
  };
  EXPECT_EXIT(std::exit(as_other_user()), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(db_rows(path, "select count(*) from t;"), std::vector<std::string>{"0"});
}

TEST_F(sqlite_wrapper_test, reopen_closes_the_first_database_and_resets_runtime) {
  const std::string first = folder.file("first.db");
  sqlite_wrapper w;
  ASSERT_TRUE(w.open_db(nullptr, first));
  w.runtime = 1234;
  ASSERT_GT(open_descriptors(first), 0);
  ASSERT_TRUE(w.open_db_readonly(first));
  ASSERT_TRUE(w.open_db(nullptr, folder.file("second.db")));
  EXPECT_EQ(w.runtime, 0u);
  EXPECT_EQ(w.db_path, folder.file("second.db"));
  EXPECT_EQ(open_descriptors(first), 0);
  w.close();
  EXPECT_EQ(bound_sqlite_functions(), 0u);
}

TEST_F(sqlite_wrapper_test, close_on_a_never_opened_object_leaves_the_table_alone) {
  sqlite_wrapper open_one;
  ASSERT_TRUE(open_one.open_db(nullptr, folder.file("x.db")));
  sqlite_wrapper never_opened;
  never_opened.close();
  EXPECT_EQ(bound_sqlite_functions(), sqlite_function_table::entry_count);
}

// The table is shared: closing one connection must not pull the functions from under another
// one that is still open.
TEST_F(sqlite_wrapper_test, closing_one_connection_keeps_the_table_for_another_open_one) {
  sqlite_wrapper a;
  ASSERT_TRUE(a.open_db(nullptr, folder.file("a.db")));
  {
    sqlite_wrapper b;
    ASSERT_TRUE(b.open_db(nullptr, folder.file("b.db")));
    sqlite_wrapper refused;
    EXPECT_FALSE(refused.open_db_readonly(folder.file("missing.db")));
  }
  ASSERT_EQ(bound_sqlite_functions(), sqlite_function_table::entry_count);
  char* error = nullptr;
  EXPECT_EQ(sqlite_functions.exec(a.db, "create table t (x);", nullptr, nullptr, &error), SQLITE_OK);
  sqlite3_free(error);
  a.close();
  EXPECT_EQ(bound_sqlite_functions(), 0u);
}

TEST_F(sqlite_wrapper_test, destruction_closes_the_database) {
  const std::string path = folder.file("d.db");
  {
    sqlite_wrapper w;
    ASSERT_TRUE(w.open_db(nullptr, path));
    ASSERT_GT(open_descriptors(path), 0);
  }
  EXPECT_EQ(open_descriptors(path), 0);
  EXPECT_EQ(bound_sqlite_functions(), 0u);
}

// A statement left unfinalized makes a plain close refuse; the connection must still be
// released (once the statement is gone), not leaked with its file.
TEST_F(sqlite_wrapper_test, close_with_an_unfinalized_statement_still_releases_the_connection) {
  const std::string path = folder.file("s.db");
  sqlite_wrapper w;
  ASSERT_TRUE(w.open_db(nullptr, path));
  sqlite3_stmt* statement = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(w.db, "select 1;", -1, &statement, nullptr), SQLITE_OK);
  w.close();
  expect_closed(w);
  EXPECT_EQ(bound_sqlite_functions(), 0u);
  sqlite3_finalize(statement);
  EXPECT_EQ(open_descriptors(path), 0);
}

}  // namespace
