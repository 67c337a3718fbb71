// The store's write-behind thread when it runs out of memory, the store's end while an
// exception unwinds, and the signals the thread takes. The allocations of this program go
// through a replacement of operator new that can make one allocation of a thread other than the
// test's own fail, or every allocation of the test's own thread.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "sqlite_store/sqlite_artifact.h"
#include "tests/sqlite_store/db_rows.h"
#include "tests/sqlite_store/store_run.h"
#include "tests/text/temp_folder.h"

namespace {

std::atomic<std::thread::id> test_thread;
// Allocations of other threads let through before one fails; -1: none fails.
std::atomic<int> failing_after{-1};
// Every allocation of the test's thread fails.
std::atomic<bool> test_thread_starved{false};

// Out of line, so that the compiler does not take the pair for a mismatch of new and free.
[[gnu::noinline]] void* take_block(std::size_t size) { return std::malloc(size == 0 ? 1 : size); }
[[gnu::noinline]] void give_back_block(void* block) { std::free(block); }

}  // namespace

void* operator new(std::size_t size) {
  if (test_thread_starved.load() && std::this_thread::get_id() == test_thread.load()) throw std::bad_alloc();
  if (failing_after.load() >= 0 && std::this_thread::get_id() != test_thread.load() && failing_after.fetch_sub(1) == 0)
    throw std::bad_alloc();
  if (void* block = take_block(size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { give_back_block(block); }
void operator delete(void* block, std::size_t) noexcept { give_back_block(block); }

namespace {

using lines = std::vector<std::string>;

// Opens run's database, begins a write-behind series into table t and hands the thread a batch
// of three rows "<tag>1" to "<tag>3".
void begin_with_a_batch(store_run& run, const std::string& tag) {
  ASSERT_TRUE(run.init());
  run.start_source("t", "a|b", "s.csv");
  ASSERT_TRUE(run.state.begin_bulk_writes(true));
  run.add_many(3, tag);
  ASSERT_TRUE(run.state.flush());
}

// Whichever allocation of the thread fails, the batch it was writing leaves nothing of itself
// (no rows, no run record), the exception comes back to the caller's thread (at a later flush,
// or at the end of the series) instead of ending the process, and every other batch is stored
// whole with its run record. Returns whether the allocation failed: false when the batch took
// fewer than allocations_before.
bool lose_a_batch(int allocations_before, bool at_the_end) {
  temp_folder folder("write_behind");
  EXPECT_FALSE(folder.path().empty());
  const std::string db = folder.file("case.db");
  bool handed_back = false;
  {
    store_run run(db);
    begin_with_a_batch(run, "before");
    // The batch before is written and committed by a thread of its own; the next one fails.
    EXPECT_TRUE(run.state.finish_bulk_writes());
    EXPECT_TRUE(run.state.begin_bulk_writes(true));
    failing_after = allocations_before;
    run.add_many(5, "lost");
    try {
      run.state.flush();
      // At most two batches are in flight: the third flush waits for the failed one.
      for (int i = 0; i < 3 && !at_the_end; ++i) {
        run.add_many(2, "after" + std::to_string(i) + "-");
        run.state.flush();
      }
      run.state.finish_bulk_writes();
    } catch (const std::bad_alloc&) {
      handed_back = true;
    }
    EXPECT_EQ(handed_back, failing_after.load() == -1);
    failing_after = -1;
  }
  // The store's end wrote and committed what was still waiting.
  EXPECT_EQ(db_rows(db, "select count(*) from t where [1-a] like 'lost%';"), lines{handed_back ? "0" : "5"});
  EXPECT_EQ(db_rows(db, "select count(*) from t where [1-a] like 'before%';"), lines{"3"});
  // Every run record names exactly the rows stored under it.
  EXPECT_EQ(db_rows(db, "select sum(row_data_end - row_data_start + 1) = (select count(*) from t) "
                        "from metadata where data_tbl_name = 't';"),
            lines{"1"});
  EXPECT_EQ(db_rows(db, "pragma integrity_check;"), lines{"ok"});
  return handed_back;
}

TEST(sqlite_write_behind, a_batch_that_runs_out_of_memory_hands_the_exception_back) {
  test_thread = std::this_thread::get_id();
  {
    SCOPED_TRACE("first allocation, handed back at a later flush");
    EXPECT_TRUE(lose_a_batch(0, false));
  }
  // Allocations all through the batch, until one comes after its last.
  int failed = 0;
  for (int before = 0; before < 1000; before += 4) {
    SCOPED_TRACE("allocation " + std::to_string(before + 1) + ", handed back at the end");
    if (!lose_a_batch(before, true)) break;
    ++failed;
  }
  EXPECT_GE(failed, 3);
}

// An exception that unwinds through the store finds rows still waiting: they are dropped
// without an allocation (one that failed there would end the process), the batches written
// are committed whole, and nothing of the waiting rows reaches the database.
TEST(sqlite_write_behind, rows_waiting_while_an_exception_unwinds_are_dropped) {
  test_thread = std::this_thread::get_id();
  temp_folder folder("write_behind");
  ASSERT_FALSE(folder.path().empty());
  const std::string db = folder.file("case.db");
  bool unwound = false;
  try {
    store_run run(db);
    begin_with_a_batch(run, "kept");
    run.add_many(2, "waiting");
    test_thread_starved = true;
    throw std::bad_alloc();
  } catch (const std::bad_alloc&) {
    test_thread_starved = false;
    unwound = true;
  }
  EXPECT_TRUE(unwound);
  EXPECT_EQ(db_rows(db, "select [1-a] from t order by rowid;"), (lines{"kept1", "kept2", "kept3"}));
  EXPECT_EQ(db_rows(db, "select sum(row_data_end - row_data_start + 1) from metadata where data_tbl_name = 't';"),
            lines{"3"});
  EXPECT_EQ(db_rows(db, "pragma integrity_check;"), lines{"ok"});
}

// A store that ends, with rows waiting, after its thread ran out of memory on a batch: the
// exception is not thrown out of the store's end (which would end the process); the batch
// counts as failed and the rows waiting are still stored.
TEST(sqlite_write_behind, the_end_of_the_store_throws_nothing_of_the_thread) {
  test_thread = std::this_thread::get_id();
  temp_folder folder("write_behind");
  ASSERT_FALSE(folder.path().empty());
  const std::string db = folder.file("case.db");
  {
    store_run run(db);
    begin_with_a_batch(run, "before");
    ASSERT_TRUE(run.state.finish_bulk_writes());
    ASSERT_TRUE(run.state.begin_bulk_writes(true));
    failing_after = 0;
    run.add_many(5, "lost");
    ASSERT_TRUE(run.state.flush());
    // The thread's allocation has failed; a moment more and the batch is settled.
    for (int i = 0; i < 2000 && failing_after.load() != -1; ++i) usleep(1000);
    usleep(100000);
    failing_after = -1;
    run.add_many(2, "waiting");
  }
  EXPECT_EQ(db_rows(db, "select [1-a] from t order by rowid;"),
            (lines{"before1", "before2", "before3", "waiting1", "waiting2"}));
  EXPECT_EQ(db_rows(db, "pragma integrity_check;"), lines{"ok"});
}

// The signal mask of every thread of this process but the caller's, by thread id, from the
// kernel's view. A runtime may keep threads of its own (a sanitizer's, started with the first
// thread the process makes): compare two of these, after a first thread.
std::map<std::string, unsigned long long> blocked_signals_of_other_threads() {
  std::map<std::string, unsigned long long> masks;
  const std::string own = std::to_string(syscall(SYS_gettid));
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    const std::string id = task.path().filename().string();
    if (id == own) continue;
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("SigBlk:", 0) == 0) masks[id] = std::stoull(line.substr(7), nullptr, 16);
    }
  }
  return masks;
}

// An interruption must reach the thread that reads the source, whose reads it cuts short: the
// write-behind thread blocks every signal, and the caller's own mask is left as it was.
TEST(sqlite_write_behind, the_thread_takes_no_signals) {
  if (!std::filesystem::exists("/proc/self/task")) GTEST_SKIP() << "no /proc to read the threads' masks from";
  temp_folder folder("write_behind");
  ASSERT_FALSE(folder.path().empty());
  sigset_t before;
  pthread_sigmask(SIG_SETMASK, nullptr, &before);
  store_run run(folder.file("case.db"));
  ASSERT_TRUE(run.init());
  std::thread([] {}).join();
  const std::map<std::string, unsigned long long> earlier = blocked_signals_of_other_threads();
  ASSERT_TRUE(run.state.begin_bulk_writes(true));
  std::vector<unsigned long long> masks;
  for (const auto& [id, mask] : blocked_signals_of_other_threads()) {
    if (earlier.count(id) == 0) masks.push_back(mask);
  }
  ASSERT_EQ(masks.size(), 1u);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    EXPECT_NE(masks[0] & (1ull << (signal_number - 1)), 0u) << "signal " << signal_number;
  }
  sigset_t after;
  pthread_sigmask(SIG_SETMASK, nullptr, &after);
  EXPECT_EQ(sigismember(&after, SIGINT), sigismember(&before, SIGINT));
  EXPECT_TRUE(run.state.finish_bulk_writes());
}

}  // namespace
