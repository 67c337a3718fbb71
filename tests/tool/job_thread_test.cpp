#include "tool/job_thread.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <new>
#include <vector>

namespace {

// Jobs run in the order they were handed over, one at a time, behind the caller: run returns
// while a job is still in hand, wait returns once it is done and its writes are seen.
TEST(JobThread, RunsJobsInOrderBehindTheCaller) {
  std::vector<int> done;
  std::atomic<bool> release{false};
  std::atomic<bool> started{false};
  {
    job_thread thread;
    thread.run([&] {
      started = true;
      while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      done.push_back(0);
    });
    while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(done.empty()) << "run returned while the job was in hand";
    release = true;
    for (int i = 1; i <= 100; ++i) thread.run([&done, i] { done.push_back(i); });
    thread.wait();
    ASSERT_EQ(done.size(), 101u);
    for (int i = 0; i <= 100; ++i) EXPECT_EQ(done[static_cast<size_t>(i)], i);
    // The job in hand at the end is finished before the thread goes.
    thread.run([&done] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      done.push_back(101);
    });
  }
  EXPECT_EQ(done.size(), 102u);
  job_thread unused;  // never started: nothing to wait for
  unused.wait();
}

// An interruption must reach the owner's thread, whose reads it cuts short: the job thread
// takes no signal, and the caller's own mask is left as it was.
TEST(JobThread, TakesNoSignals) {
  sigset_t before;
  pthread_sigmask(SIG_SETMASK, nullptr, &before);
  job_thread thread;
  bool blocked = false;
  thread.run([&blocked] {
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    blocked = sigismember(&mask, SIGINT) == 1 && sigismember(&mask, SIGTERM) == 1;
  });
  thread.wait();
  EXPECT_TRUE(blocked);
  sigset_t after;
  pthread_sigmask(SIG_SETMASK, nullptr, &after);
  EXPECT_EQ(sigismember(&after, SIGINT), sigismember(&before, SIGINT));
}

// A job that runs out of memory hands the exception back to the owner, once, at whichever
// wait comes next; no job is handed over in its place, the thread goes on taking jobs after it,
// and a destructor lets an exception it was never asked for go without ending the process.
TEST(JobThread, HandsAJobsExceptionBackToItsOwner) {
  struct owner_step {
    const char* name;
    // Called after the failing job; returns whether the exception came back (true) or not.
    std::function<bool(job_thread&, bool& next_ran)> take;
  } steps[] = {
      {"wait", [](job_thread& thread, bool&) {
         try {
           thread.wait();
         } catch (const std::bad_alloc&) {
           return true;
         }
         return false;
       }},
      {"run of the next job", [](job_thread& thread, bool& next_ran) {
         try {
           thread.run([&next_ran] { next_ran = true; });
         } catch (const std::bad_alloc&) {
           return true;
         }
         return false;
       }},
      {"settle", [](job_thread& thread, bool&) { return !thread.settle(); }},
  };
  for (const owner_step& step : steps) {
    SCOPED_TRACE(step.name);
    job_thread thread;
    thread.run([] { throw std::bad_alloc(); });
    bool next_ran = false;
    EXPECT_TRUE(step.take(thread, next_ran));
    EXPECT_FALSE(next_ran) << "a job was handed over in place of the failure";
    // Handed back once: the next wait finds nothing, and the thread still works.
    EXPECT_NO_THROW(thread.wait());
    bool later_ran = false;
    thread.run([&later_ran] { later_ran = true; });
    EXPECT_NO_THROW(thread.wait());
    EXPECT_TRUE(later_ran);
  }
  {
    job_thread thread;
    thread.run([] { throw std::bad_alloc(); });
  }  // the destructor drops it
  SUCCEED();
}

}  // namespace
