#include "tool/job_thread.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
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

}  // namespace
