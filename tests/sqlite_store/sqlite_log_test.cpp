#include "sqlite_store/sqlite_log.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "framework/cmdline/qz_cmd_params.h"
#include "tests/text/temp_folder.h"
#include "tests/sqlite_store/db_rows.h"
#include "tests/sqlite_store/shell_tools.h"

namespace {

using lines = std::vector<std::string>;

std::string count_of(const std::string& db, const std::string& table) {
  const lines rows = db_rows(db, "select count(*) from " + table + ";");
  return rows.empty() ? "" : rows[0];
}

// A record that needs no file: what a caller that read the entry elsewhere hands over.
log_record given_record(const std::string& path, u64 size) {
  log_record record;
  record.path = path;
  record.size = size;
  record.modified = 1706708707;  // 2024-01-31 13:45:07 UTC
  record.time_kind = 8;
  return record;
}

// Runs body(ready) in a child process, which writes a byte to the descriptor ready when it is to
// be killed; then waits wait_us, kills the child with SIGKILL and reaps it. True when the child
// got ready and died of the signal.
template <class child_body>
bool kill_child_when_ready(child_body&& body, useconds_t wait_us) {
  int ready[2];
  if (pipe(ready) != 0) return false;
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    close(ready[0]);
    body(ready[1]);
    _exit(1);
  }
  close(ready[1]);
  char signal_byte = 0;
  const bool got_ready = read(ready[0], &signal_byte, 1) == 1;
  close(ready[0]);
  usleep(wait_us);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  return got_ready && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// A log opened on a fresh database with the given file-listing tables.
struct open_log {
  explicit open_log(const std::map<std::string, u64>& tables) : folder("sqlite_log") {
    db = folder.file("log.db");
    log = std::make_unique<sqlite_log>();
    opened = log->open(db, nullptr, &tables, 0);
  }
  void add(const std::string& table, log_record record) {
    std::string path;
    ASSERT_TRUE(log->add_log_record(table, path, 0, &record));
  }
  temp_folder folder;
  std::string db;
  std::unique_ptr<sqlite_log> log;
  bool opened = false;
};

TEST(SqliteLogSchema, MaskChoosesColumnsInTableOrder) {
  struct layout_case {
    const char* name;
    u64 mask;
    bool made;
    const char* columns;
  };
  const layout_case cases[] = {
      {"path and name", 0x3, true, "metaref,path,name"},
      {"inode and seqnum before copied", 0x1C00, true, "metaref,inode,seqnum,copied"},
      {"every column", 0x1FFFF, true,
       "metaref,path,name,extension,is_dir,size,modified,created,metachanged,accessed,mode,inode,seqnum,copied,"
       "ntfsraw,offset,notes,source"},
      {"bits that add nothing", 0xE0000, false, "metaref"},
      {"no bit", 0, false, ""},
      {"name-set columns", 0x100003, false, "metaref,path,name"},
  };
  for (const layout_case& c : cases) {
    schema_t schema;
    EXPECT_EQ(sqlite_log::file_listing_schema(schema, c.mask), c.made) << c.name;
    std::string names;
    for (const auto& column : schema.columns) names += (names.empty() ? "" : ",") + column.first;
    EXPECT_EQ(names, c.columns) << c.name;
    for (size_t i = 0; i < schema.columns.size(); ++i) {
      EXPECT_EQ(schema.get_field_order(schema.columns[i].first), i + 1) << c.name;
    }
    EXPECT_EQ(schema.get_field_order(""), 0u);
    EXPECT_EQ(schema.get_field_order("nope"), 0u);
  }
}

TEST(SqliteLogOpen, MakesTablesWithQuotedNamesAndRefRows) {
  open_log run({{"t", 0x3}, {"odd`name-1 \"x\"", 0x13}});
  ASSERT_TRUE(run.opened) << run.log->error_text;
  EXPECT_EQ(db_rows(run.db, "select sql from sqlite_master where name='t';"),
            lines({"CREATE TABLE `t` (`metaref` integer, `path` varchar, `name` varchar)"}));
  EXPECT_EQ(db_rows(run.db, "select table_name, last_rowid from ref order by table_name;"),
            lines({"metadata,0", "odd`name-1 \"x\",0", "t,0"}));
  run.add("odd`name-1 \"x\"", given_record("/x/y/a.b.txt", 5));
  ASSERT_TRUE(run.log->flush());
  EXPECT_EQ(db_rows(run.db, "select path, name, size from [odd`name-1 \"x\"];"), lines({"/x/y/,a.b.txt,5"}));
}

TEST(SqliteLogOpen, ATableThatCannotBeMadeFailsTheOpenAndTheProcessGoesOn) {
  open_log run({{"good", 0x3}, {"names", 0x100001}});
  EXPECT_FALSE(run.opened);
  EXPECT_NE(run.log->error_text.find("names"), std::string::npos) << run.log->error_text;
  EXPECT_EQ(run.log->tables_ready, 0);
  std::string path = "/x";
  EXPECT_FALSE(run.log->add_log_record("good", path, 0, nullptr));

  sqlite_log empty_path;
  EXPECT_FALSE(empty_path.open("", nullptr, nullptr, 0));
  EXPECT_FALSE(empty_path.error_text.empty());
}

TEST(SqliteLogRecords, PathsSplitIntoFolderNameAndExtension) {
  open_log run({{"files", 0x1F}});
  ASSERT_TRUE(run.opened);
  run.add("files", given_record("/x/y/a.b.txt", 7));
  run.add("files", given_record("/x/y/noext", 1));
  run.add("files", given_record("/x/y/trailing.", 2));
  run.add("files", given_record("/top", 3));
  run.add("files", given_record("/x/back\\slash.txt", 5));
  log_record from_ntfs = given_record("C:\\Users\\a.txt", 6);
  from_ntfs.ntfs_raw = 1;
  run.add("files", from_ntfs);
  log_record folder = given_record("/x/y", 4096);
  folder.is_dir = 1;
  folder.log_dir = 1;
  run.add("files", folder);
  log_record unlisted_folder = given_record("/x/z", 4096);
  unlisted_folder.is_dir = 1;
  run.add("files", unlisted_folder);
  ASSERT_TRUE(run.log->flush());
  EXPECT_EQ(db_rows(run.db, "select path, name, extension, is_dir, size from files order by rowid;"),
            lines({"/x/y/,a.b.txt,txt,NULL,7", "/x/y/,noext,NULL,NULL,1", "/x/y/,trailing.,NULL,NULL,2",
                   "/,top,NULL,NULL,3", "/x/,back\\slash.txt,txt,NULL,5", "C:\\Users/,a.txt,txt,NULL,6",
                   "/x/y,,NULL,1,0"}));
}

// Rows go in many to a statement, and a statement's values are bound anew for each group: a
// value a row lacks must be NULL, not what an earlier row left at its place.
TEST(SqliteLogRecords, AValueARowLacksStaysNullAcrossGroupedRows) {
  open_log run({{"files", 0xA01F}});
  ASSERT_TRUE(run.opened);
  for (int i = 0; i < 300; ++i) {
    const std::string number = std::to_string(i);
    switch (i % 3) {
      case 0: {
        log_record full = given_record("/d/f" + number + ".dat", 1);
        full.text = "note " + number;
        full.ntfs_raw = 1;
        run.add("files", full);
        break;
      }
      case 1:
        run.add("files", given_record("/d/f" + number, 1));
        break;
      default: {
        log_record folder = given_record("/d/sub" + number, 1);
        folder.is_dir = 1;
        folder.log_dir = 1;
        run.add("files", folder);
      }
    }
  }
  ASSERT_TRUE(run.log->flush());
  EXPECT_EQ(count_of(run.db, "files"), "300");
  EXPECT_EQ(db_rows(run.db,
                    "select count(*) from files where (name like '%.dat') != (extension is not null) or "
                    "(name like '%.dat') != (notes is not null) or (name like '%.dat') != (ntfsraw is not null) "
                    "or (name = '') != (is_dir is not null);"),
            lines({"0"}));
}

TEST(SqliteLogRecords, AFileThatCannotBeExaminedGivesNoRow) {
  open_log run({{"files", 0x3}});
  ASSERT_TRUE(run.opened);
  run.folder.put("real.txt", "abc");
  std::string missing = run.folder.file("missing.txt");
  std::string real = run.folder.file("real.txt");
  EXPECT_TRUE(run.log->add_log_record("files", missing, 0, nullptr));
  EXPECT_TRUE(run.log->add_log_record("files", real, 0, nullptr));
  EXPECT_FALSE(run.log->add_log_record("unknown", real, 0, nullptr));
  ASSERT_TRUE(run.log->flush());
  EXPECT_EQ(db_rows(run.db, "select path || name from files;"), lines({real}));
}

TEST(SqliteLogRecords, NotesHoldTheTextOrTheAttributeSummary) {
  open_log run({{"files", 0x8003}});
  ASSERT_TRUE(run.opened);
  log_record plain = given_record("/a/one", 1);
  plain.text = "x";
  run.add("files", plain);
  log_record with_attributes = given_record("/a/two", 1);
  with_attributes.text = "x";
  with_attributes.attr_names = {"a", "a", "b"};
  with_attributes.attr_values = {"1", "2", "3"};
  run.add("files", with_attributes);
  log_record short_values = given_record("/a/three", 1);
  short_values.attr_names = {"a", "b"};
  short_values.attr_values = {"1"};
  run.add("files", short_values);
  run.add("files", given_record("/a/four", 1));
  ASSERT_TRUE(run.log->flush());
  EXPECT_EQ(db_rows(run.db, "select notes from files order by rowid;"),
            lines({"x", "extra_attributes={\"a\":\"1;2\";\"b\":\"3\"};notes={\"x\"}",
                   "extra_attributes={\"a\":\"1\";\"b\":\"\"}", "NULL"}));
}

TEST(SqliteLogRecords, TimesAreWrittenByTheLogsFormat) {
  open_log run({{"files", 0x1E1}});
  ASSERT_TRUE(run.opened);
  log_record record = given_record("/a/f", 1);
  record.accessed = 1;  // the first second of 1970: a valid time
  record.created = 0;
  run.add("files", record);
  ASSERT_TRUE(run.log->flush());
  EXPECT_EQ(db_rows(run.db, "select modified, created = ' ', accessed from files;"),
            lines({"2024-01-31 13:45:07,1,1970-01-01 00:00:01"}));
}

// A file's times are read as seconds however far from 1970 they lie: a time before 1970 is left
// blank, and none of them turns the other times of the row wrong.
TEST(SqliteLogRecords, FileTimesFarFrom1970LeaveTheOtherTimesRight) {
  open_log run({{"files", 0x1A3}});
  ASSERT_TRUE(run.opened);
  const struct {
    const char* name;
    i64 modified;
    const char* modified_text;
  } cases[] = {
      {"in 1960", -315619200, " "},
      {"in 2200", 7258118400, "2200-01-01 00:00:00"},
      {"in 2020", 1600000000, "2020-09-13 12:26:40"},
  };
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    run.folder.put(c.name, "x");
    std::string path = run.folder.file(c.name);
    const timespec times[2] = {{1600000007, 0}, {static_cast<time_t>(c.modified), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << c.name;
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    char changed[32];
    std::strftime(changed, sizeof changed, "%Y-%m-%d %H:%M:%S", std::gmtime(&status.st_ctim.tv_sec));
    ASSERT_TRUE(run.log->add_log_record("files", path, 0, nullptr));
    expected.push_back(std::string(c.name) + "," + c.modified_text + "," + changed + ",2020-09-13 12:26:47");
  }
  ASSERT_TRUE(run.log->flush());
  EXPECT_EQ(db_rows(run.db, "select name, modified, metachanged, accessed from files order by rowid;"), expected);
}

// The 257th record of a table writes and commits every waiting table before the add returns:
// another connection sees the batches at once, with no further call to the log.
TEST(SqliteLogBatches, The257thRecordCommitsEveryTable) {
  open_log run({{"a", 0x3}, {"b", 0x3}});
  ASSERT_TRUE(run.opened);
  const std::string counts = "select (select count(*) from a), (select count(*) from b), "
                             "(select last_rowid from ref where table_name='a');";
  run.add("b", given_record("/b/1", 1));
  for (int i = 0; i < 256; ++i) run.add("a", given_record("/a/" + std::to_string(i), 1));
  EXPECT_EQ(db_rows(run.db, counts), lines({"0,0,0"}));
  run.add("a", given_record("/a/last", 1));
  EXPECT_EQ(db_rows(run.db, counts), lines({"257,1,257"}));
  // Stamps are distinct and rise in the order the records came.
  EXPECT_EQ(db_rows(run.db, "select count(distinct metaref) from a;"), lines({"257"}));
  EXPECT_EQ(db_rows(run.db, "select count(*) from a x join a y on y.rowid = x.rowid + 1 where y.metaref <= x.metaref;"),
            lines({"0"}));
  expect_whole(run.db);
}

// A flush commits every record added before it, in file-listing and custom tables alike.
TEST(SqliteLogBatches, AFlushCommitsEverythingForASecondConnection) {
  open_log run({{"files", 0x3}});
  ASSERT_TRUE(run.opened);
  bool made = false;
  ASSERT_TRUE(run.log->create_table(&made, "notes", {"stamp", "n"}));
  for (int i = 0; i < 600; ++i) {
    run.add("files", given_record("/f/" + std::to_string(i), 1));
    if (i % 2 == 0) {
      ASSERT_TRUE(run.log->add_custom_row("notes", {std::to_string(i)}));
    }
  }
  const std::string counts = "select (select count(*) from files), (select count(*) from notes), "
                             "(select last_rowid from ref where table_name='files'), "
                             "(select last_rowid from ref where table_name='notes');";
  // Each batch of files also wrote the notes waiting then.
  EXPECT_EQ(db_rows(run.db, counts), lines({"514,257,514,257"}));
  ASSERT_TRUE(run.log->flush());
  EXPECT_EQ(db_rows(run.db, counts), lines({"600,300,600,300"}));
  expect_whole(run.db);
}

// Another connection that holds the database while a batch commits is waited for: the batch
// is in once the add returns.
TEST(SqliteLogBatches, AConnectionHoldingTheDatabaseIsWaitedFor) {
  const struct {
    const char* name;
    const char* hold;
  } holders[] = {
      {"reader", "BEGIN; SELECT count(*) FROM files;"},
      {"writer", "BEGIN IMMEDIATE;"},
  };
  for (const auto& holder : holders) {
    SCOPED_TRACE(holder.name);
    open_log run({{"files", 0x3}});
    ASSERT_TRUE(run.opened);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(run.db.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, holder.hold, nullptr, nullptr, nullptr), SQLITE_OK);
    std::thread release([other] {
      usleep(300000);
      sqlite3_exec(other, "COMMIT;", nullptr, nullptr, nullptr);
    });
    for (int i = 0; i < 257; ++i) run.add("files", given_record("/f/" + std::to_string(i), 1));
    release.join();
    sqlite3_close(other);
    EXPECT_EQ(count_of(run.db, "files"), "257");
    EXPECT_TRUE(run.log->flush());
    expect_whole(run.db);
  }
}

// Two logs, as two processes would, write one database by turns: neither keeps it from the
// other between its calls.
TEST(SqliteLogBatches, TwoLogsOnOneDatabaseTakeTurns) {
  temp_folder folder("sqlite_log");
  const std::string db = folder.file("shared.db");
  const std::map<std::string, u64> tables = {{"files", 0x3}};
  {
    sqlite_log first;
    sqlite_log second;
    ASSERT_TRUE(first.open(db, nullptr, &tables, 0)) << first.error_text;
    ASSERT_TRUE(second.open(db, nullptr, &tables, 0)) << second.error_text;
    int turns = 0;
    for (int round = 0; round < 3; ++round) {
      for (sqlite_log* log : {&first, &second}) {
        for (size_t i = 0; i < sqlite_log::write_threshold; ++i) {
          std::string path;
          log_record record = given_record("/turn" + std::to_string(turns) + "/" + std::to_string(i), 1);
          ASSERT_TRUE(log->add_log_record("files", path, 0, &record));
        }
        ++turns;
        EXPECT_EQ(count_of(db, "files"), std::to_string(turns * 257)) << "turn " << turns;
      }
    }
    EXPECT_TRUE(first.flush()) << first.error_text;
    EXPECT_TRUE(second.flush()) << second.error_text;
  }
  EXPECT_EQ(db_rows(db, "select count(*), count(distinct path || name) from files;"), lines({"1542,1542"}));
  EXPECT_EQ(db_rows(db, "select last_rowid from ref where table_name='files';"), lines({"1542"}));
  // The last log to close puts the database back in the rollback journal.
  EXPECT_EQ(db_rows(db, "pragma journal_mode;"), lines({"delete"}));
  expect_whole(db);
}

TEST(SqliteLogBatches, AFailedBatchLeavesNothingAndStaysWaiting) {
  open_log run({{"files", 0x3}});
  ASSERT_TRUE(run.opened);
  ASSERT_EQ(exec_outside(run.db, "create trigger refuse before insert on files when new.name = 'bad' "
                                 "begin select raise(abort, 'refused'); end;"),
            "");
  for (const char* name : {"/a/1", "/a/bad", "/a/3"}) run.add("files", given_record(name, 1));
  EXPECT_FALSE(run.log->flush());
  EXPECT_EQ(count_of(run.db, "files"), "0");
  EXPECT_EQ(db_rows(run.db, "select last_rowid from ref where table_name='files';"), lines({"0"}));
  u32 flush_code = sqlite_log_op_flush;
  EXPECT_EQ(sqlite_log_dispatch(run.log.get(), nullptr, nullptr, nullptr, nullptr, &flush_code), -1);

  ASSERT_EQ(exec_outside(run.db, "drop trigger refuse;"), "");
  EXPECT_EQ(sqlite_log_dispatch(run.log.get(), nullptr, nullptr, nullptr, nullptr, &flush_code), 0);
  EXPECT_EQ(db_rows(run.db, "select name from files order by rowid;"), lines({"1", "bad", "3"}));
  expect_whole(run.db);
}

// A batch whose commit fails is rolled back and its records wait for the next write; the flush
// says so. Once the cause is gone nothing of them is missing.
TEST(SqliteLogBatches, AFailedCommitKeepsItsRecordsWaiting) {
  open_log run({{"files", 0x3}});
  ASSERT_TRUE(run.opened);
  // A deferred foreign key is checked only at the commit: every row of files breaks it there.
  ASSERT_TRUE(sql_exec(run.log->db, "PRAGMA foreign_keys = ON;"));
  ASSERT_EQ(exec_outside(run.db, "create table parent (id integer primary key);"
                                 "create table child (id integer references parent(id) deferrable initially deferred);"
                                 "create trigger orphan after insert on files begin insert into child values (1); end;"),
            "");
  for (int i = 0; i < 600; ++i) run.add("files", given_record("/kept/" + std::to_string(i), 1));
  EXPECT_FALSE(run.log->flush());
  EXPECT_NE(run.log->error_text.find("prob committing records"), std::string::npos) << run.log->error_text;
  EXPECT_EQ(db_rows(run.db, "select count(*), (select count(*) from child), "
                            "(select last_rowid from ref where table_name='files') from files;"),
            lines({"0,0,0"}));

  ASSERT_EQ(exec_outside(run.db, "drop trigger orphan;"), "");
  EXPECT_TRUE(run.log->flush()) << run.log->error_text;
  EXPECT_EQ(db_rows(run.db, "select count(*), count(distinct name), min(cast(name as integer)), "
                            "max(cast(name as integer)) from files;"),
            lines({"600,600,0,599"}));
  EXPECT_EQ(db_rows(run.db, "select last_rowid from ref where table_name='files';"), lines({"600"}));
  expect_whole(run.db);
}

// A database another connection holds past the wait: the batch fails and keeps its records;
// the adds after it do not wait again for every record; once the database is free, a flush
// writes them all.
TEST(SqliteLogBatches, ADatabaseHeldPastTheWaitKeepsTheRecordsWaiting) {
  open_log run({{"files", 0x3}});
  ASSERT_TRUE(run.opened);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(run.db.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr), SQLITE_OK);
  const auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < 400; ++i) run.add("files", given_record("/f/" + std::to_string(i), 1));
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GE(waited, std::chrono::milliseconds(sqlite_log::busy_wait_ms));
  EXPECT_LT(waited, std::chrono::milliseconds(2 * sqlite_log::busy_wait_ms)) << "a try for every add";
  sqlite3_exec(other, "COMMIT;", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(count_of(run.db, "files"), "0");
  EXPECT_TRUE(run.log->flush()) << run.log->error_text;
  EXPECT_EQ(db_rows(run.db, "select count(*), count(distinct name) from files;"), lines({"400,400"}));
}

// A table's name in a message has its control characters escaped, as a path's has: a batch the
// database refuses, a batch whose insert cannot be prepared, a table that cannot be made.
TEST(SqliteLogBatches, MessagesShowTheTableNameEscaped) {
  const std::string table = "fi\nles";
  const struct {
    const char* name;
    u64 mask;
    const char* sql;       // run on the log's connection before the flush; null: the open fails
    const char* expected;  // how error_text starts
  } cases[] = {
      {"insert refused", 0x3,
       "create trigger refuse before insert on `fi\nles` begin select raise(abort, 'refused'); end;",
       "prob writing records into fi\\x0ales: "},
      {"insert cannot be prepared", 0x3, "drop table `fi\nles`;", "prob preparing the insert into fi\\x0ales"},
      {"table without columns", 0x100001, nullptr, "no columns for file-listing table fi\\x0ales"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    open_log run({{table, c.mask}});
    if (c.sql != nullptr) {
      ASSERT_TRUE(run.opened) << run.log->error_text;
      ASSERT_TRUE(sql_exec(run.log->db, c.sql));
      run.add(table, given_record("/a/1", 1));
      EXPECT_FALSE(run.log->flush());
    } else {
      EXPECT_FALSE(run.opened);
    }
    EXPECT_EQ(run.log->error_text.rfind(c.expected, 0), 0u) << run.log->error_text;
  }
}

TEST(SqliteLogCustom, RowsOfTextUnderTheCallersColumns) {
  open_log run({});
  ASSERT_TRUE(run.opened);
  bool already = true;
  ASSERT_TRUE(run.log->create_table(&already, "notes-1", {"stamp", "who", "what"}));
  EXPECT_FALSE(already);
  ASSERT_TRUE(run.log->create_table(&already, "notes-1", {"stamp", "who", "what"}));
  EXPECT_TRUE(already);
  EXPECT_EQ(db_rows(run.db, "select count(*) from ref where table_name='notes-1';"), lines({"1"}));
  EXPECT_FALSE(run.log->create_table(&already, "none", {}));

  EXPECT_TRUE(run.log->add_custom_row("notes-1", {"ann", "a \"quoted\", text"}));
  EXPECT_TRUE(run.log->add_custom_row("notes-1", {"bob"}));
  EXPECT_FALSE(run.log->add_custom_row("notes-1", {"too", "many", "values"}));
  EXPECT_FALSE(run.log->add_custom_row("notes-1", {}));
  EXPECT_FALSE(run.log->add_custom_row("unknown", {"x"}));
  EXPECT_FALSE(run.log->add_custom_rows("notes-1", {}));
  const std::string table = "notes-1";
  lines values = {"cat", "dog"};
  EXPECT_EQ(sqlite_log_add_row(run.log.get(), &table, &values), 0);
  std::vector<lines> rows = {{"r1", "v1"}, {"r2", "v2"}};
  u32 code = sqlite_log_op_add_rows;
  EXPECT_EQ(sqlite_log_dispatch(run.log.get(), &table, &rows, nullptr, nullptr, &code), 0);
  code = 99;
  EXPECT_EQ(sqlite_log_dispatch(run.log.get(), &table, &rows, nullptr, nullptr, &code), -1);
  EXPECT_EQ(sqlite_log_add_rows(nullptr, &table, &rows), -1);
  EXPECT_EQ(sqlite_log_add_row(run.log.get(), &table, nullptr), -1);
  ASSERT_TRUE(run.log->flush());
  EXPECT_EQ(db_rows(run.db, "select who, what from [notes-1] order by rowid;"),
            lines({"ann,a \"quoted\", text", "bob,NULL", "cat,dog", "r1,v1", "r2,v2"}));
  EXPECT_EQ(db_rows(run.db, "select count(distinct stamp) from [notes-1];"), lines({"5"}));
}

TEST(SqliteLogDispatch, AddsRecordsWithoutACode) {
  open_log run({{"files", 0x403}});
  ASSERT_TRUE(run.opened);
  const std::string table = "files";
  std::string path = "/given/file";
  log_record record = given_record("", 9);
  u64 copied = 42;
  EXPECT_EQ(sqlite_log_dispatch(run.log.get(), &table, &path, &copied, &record, nullptr), 0);
  EXPECT_TRUE(record.path.empty());  // the caller's record was taken and cleared
  EXPECT_EQ(sqlite_log_dispatch(nullptr, &table, &path, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(sqlite_log_dispatch(run.log.get(), nullptr, &path, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(sqlite_log_dispatch(run.log.get(), &table, nullptr, nullptr, nullptr, nullptr), -1);
  u32 flush_code = sqlite_log_op_flush;
  EXPECT_EQ(sqlite_log_dispatch(run.log.get(), nullptr, nullptr, nullptr, nullptr, &flush_code), 0);
  EXPECT_EQ(db_rows(run.db, "select path, name, copied from files;"), lines({"/given/,file,42"}));
}

TEST(SqliteLogLifecycle, DestructionWritesAndRecordsEachTablesRange) {
  temp_folder folder("sqlite_log");
  const std::string db = folder.file("log.db");
  cmd_params tool{0, false};
  tool.program_name = "lister";
  {
    sqlite_log log;
    const std::map<std::string, u64> tables = {{"empty", 0x3}, {"full", 0x3}};
    ASSERT_TRUE(log.open(db, &tool, &tables, 1)) << log.error_text;
    EXPECT_NE(log.schemas["empty"].runtime, log.schemas["full"].runtime);
    for (int i = 0; i < 3; ++i) {
      std::string path;
      log_record record = given_record("/f/" + std::to_string(i), 1);
      ASSERT_TRUE(log.add_log_record("full", path, 0, &record));
    }
  }
  EXPECT_EQ(count_of(db, "full"), "3");
  EXPECT_EQ(db_rows(db, "select data_tbl_name, toolname, col_hdrs, row_data_start, row_data_end from metadata "
                        "order by data_tbl_name;"),
            lines({"empty,lister,metaref | path | name,0,0", "full,lister,metaref | path | name,1,3"}));
  // Closed, the database is an ordinary rollback-journal file with nothing left beside it.
  EXPECT_EQ(db_rows(db, "pragma journal_mode;"), lines({"delete"}));
  EXPECT_FALSE(std::filesystem::exists(db + "-wal"));
  expect_whole(db);
}

TEST(SqliteLogLifecycle, ASecondOpenWritesTheFirstDatabasesRecords) {
  temp_folder folder("sqlite_log");
  const std::map<std::string, u64> tables = {{"files", 0x3}};
  sqlite_log log;
  ASSERT_TRUE(log.open(folder.file("one.db"), nullptr, &tables, 0));
  std::string path;
  log_record record = given_record("/one/file", 1);
  ASSERT_TRUE(log.add_log_record("files", path, 0, &record));
  ASSERT_TRUE(log.open(folder.file("two.db"), nullptr, &tables, 0)) << log.error_text;
  EXPECT_EQ(db_rows(folder.file("one.db"), "select name from files;"), lines({"file"}));
  EXPECT_EQ(db_rows(folder.file("two.db"), "select count(*) from files;"), lines({"0"}));
  EXPECT_EQ(db_rows(folder.file("two.db"), "select table_name from ref order by 1;"), lines({"files", "metadata"}));
}

TEST(SqliteLogThreads, EightThreadsLoseNoRecord) {
  open_log run({{"files", 0x3}});
  ASSERT_TRUE(run.opened);
  bool created = false;
  ASSERT_TRUE(run.log->create_table(&created, "rows", {"stamp", "thread", "n"}));
  constexpr int thread_count = 8;
  constexpr int per_thread = 10000;
  std::vector<std::thread> threads;
  std::vector<int> refused(thread_count, 0);
  for (int t = 0; t < thread_count; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < per_thread; ++i) {
        std::string path;
        log_record record = given_record("/t" + std::to_string(t) + "/" + std::to_string(i), 1);
        if (!run.log->add_log_record("files", path, 0, &record)) ++refused[t];
        if (i % 2 == 0 && !run.log->add_custom_row("rows", {std::to_string(t), std::to_string(i)})) ++refused[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  ASSERT_TRUE(run.log->flush());
  for (int t = 0; t < thread_count; ++t) EXPECT_EQ(refused[t], 0) << t;
  EXPECT_EQ(db_rows(run.db, "select count(*), count(distinct path || name) from files;"), lines({"80000,80000"}));
  EXPECT_EQ(db_rows(run.db, "select count(*), count(distinct thread || '/' || n) from rows;"), lines({"40000,40000"}));
  EXPECT_EQ(db_rows(run.db, "select last_rowid from ref where table_name='files';"), lines({"80000"}));
  expect_whole(run.db);
}

// Killed in the middle of a large listing, the database holds whole batches only: every table
// has exactly the rows its `ref` row and run record name, and at least every record flushed
// before the kill. The write-ahead log the killed run left is put back in the rollback journal
// by the next log opened on it.
TEST(SqliteLogCrash, AKilledListingLeavesWholeBatches) {
  temp_folder folder("sqlite_log_crash");
  const std::string db = folder.file("crash.db");
  // The child says when a good number of records is in, and goes on writing.
  const bool killed = kill_child_when_ready([&db](int ready) {
    cmd_params tool{0, false};
    tool.program_name = "lister";
    sqlite_log log;
    const std::map<std::string, u64> tables = {{"files-a", 0x33}, {"files-b", 0x3}};
    if (!log.open(db, &tool, &tables, 1)) _exit(2);
    bool made = false;
    if (!log.create_table(&made, "notes", {"stamp", "n"})) _exit(3);
    for (u64 i = 0;; ++i) {
      std::string path;
      log_record record = given_record("/crash/dir " + std::to_string(i / 100) + "/f" + std::to_string(i), i);
      if (!log.add_log_record(i % 3 == 0 ? "files-b" : "files-a", path, 0, &record)) _exit(4);
      if (i % 5 == 0 && !log.add_custom_row("notes", {std::to_string(i)})) _exit(5);
      // What the flush committed must survive the kill.
      if (i == 30000 && (!log.flush() || write(ready, "r", 1) != 1)) _exit(6);
    }
  }, 20000);
  ASSERT_TRUE(killed) << "the listing did not get going";
  // The first ordinary (read-write) opener recovers the write-ahead log the run left behind.
  ASSERT_EQ(exec_outside(db, "select count(*) from ref;"), "");
  expect_whole(db);
  // Records 0 to 30000 were flushed: every third went to files-b, every fifth made a note.
  const std::map<std::string, int> flushed = {{"files-a", 20000}, {"files-b", 10001}, {"notes", 6001}};
  for (const auto& [table, least] : flushed) {
    SCOPED_TRACE(table);
    const lines stored = db_rows(db, "select count(*), coalesce(max(rowid), 0) from [" + table + "];");
    ASSERT_EQ(stored.size(), 1u);
    const std::string count = stored[0].substr(0, stored[0].find(','));
    EXPECT_EQ(stored[0], count + "," + count);
    EXPECT_GE(std::atoi(count.c_str()), least);
    EXPECT_EQ(db_rows(db, "select last_rowid from ref where table_name='" + table + "';"), lines({count}));
    if (table != "notes") {
      EXPECT_EQ(db_rows(db, "select row_data_end from metadata where data_tbl_name='" + table + "';"), lines({count}));
    }
  }
  {
    sqlite_log log;
    const std::map<std::string, u64> tables = {{"files-a", 0x33}};
    ASSERT_TRUE(log.open(db, nullptr, &tables, 0)) << log.error_text;
    std::string path;
    log_record record = given_record("/after/crash", 1);
    ASSERT_TRUE(log.add_log_record("files-a", path, 0, &record));
  }
  EXPECT_EQ(db_rows(db, "pragma journal_mode;"), lines({"delete"}));
  EXPECT_FALSE(std::filesystem::exists(db + "-wal"));
  expect_whole(db);
}

// A log that wrote three batches and then waits for its next record keeps all three when its
// process is killed.
TEST(SqliteLogCrash, AKilledIdleLogKeepsEveryWrittenBatch) {
  temp_folder folder("sqlite_log_idle");
  const std::string db = folder.file("idle.db");
  const bool killed = kill_child_when_ready([&db](int ready) {
    sqlite_log log;
    const std::map<std::string, u64> tables = {{"files", 0x3}};
    if (!log.open(db, nullptr, &tables, 0)) _exit(2);
    for (u64 i = 0; i < 3 * sqlite_log::write_threshold + 5; ++i) {
      std::string path;
      log_record record = given_record("/idle/f" + std::to_string(i), i);
      if (!log.add_log_record("files", path, 0, &record)) _exit(3);
    }
    if (write(ready, "r", 1) != 1) _exit(4);
    for (;;) pause();
  }, 200000);
  ASSERT_TRUE(killed) << "the child did not get to its pause";
  ASSERT_EQ(exec_outside(db, "select count(*) from ref;"), "");
  EXPECT_EQ(db_rows(db, "select count(*), count(distinct name), (select last_rowid from ref where "
                        "table_name='files') from files;"),
            lines({"771,771,771"}));
  expect_whole(db);
}

// The listing of a generated tree holds what find reports for every file.
TEST(SqliteLogReference, ListingMatchesFindAndTheShell) {
  if (!has_program("sqlite3") || !has_program("find")) GTEST_SKIP() << "sqlite3 shell or find missing: skipped";
  temp_folder folder("sqlite_log_tree");
  const std::string tree = folder.file("tree");
  std::filesystem::create_directories(tree);
  for (int d = 0; d < 40; ++d) {
    const std::string sub = tree + "/dir " + std::to_string(d) + (d % 3 == 0 ? "/inner.d" : "");
    std::filesystem::create_directories(sub);
    for (int f = 0; f < 60; ++f) {
      const std::string name = sub + "/file" + std::to_string(f) + (f % 4 == 0 ? "" : ".dat");
      folder.put(name.substr(folder.path().size() + 1), std::string(static_cast<size_t>(d * 7 + f), 'x'));
      chmod(name.c_str(), f % 2 == 0 ? 0640 : 0755);
    }
  }
  const std::string db = folder.file("listing.db");
  {
    sqlite_log log;
    const std::map<std::string, u64> tables = {{"listing", 0x3FF}};
    ASSERT_TRUE(log.open(db, nullptr, &tables, 0));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree)) {
      if (!entry.is_regular_file()) continue;
      std::string path = entry.path().string();
      ASSERT_TRUE(log.add_log_record("listing", path, 0, nullptr));
    }
  }
  int status = 0;
  const std::string found = command_output(
      "find " + shell_quoted(tree) + " -type f -printf '%h/|%f|%s|%m|%TY-%Tm-%Td %TH:%TM:%TS\\n' | "
      "sed 's/\\.[0-9]*$//' | LC_ALL=C sort",
      &status);
  ASSERT_EQ(status, 0);
  const std::string listed =
      command_output("sqlite3 -batch -readonly -separator '|' " + shell_quoted(db) +
                         " \"select path, name, size, printf('%o', mode & 4095), modified from listing;\" "
                         "| LC_ALL=C sort",
                     &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(std::count(found.begin(), found.end(), '\n'), 2400);
  EXPECT_EQ(listed, found);
  EXPECT_EQ(integrity_check(db), "ok\n");
}

}  // namespace
