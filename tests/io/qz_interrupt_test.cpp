#include "framework/io/qz_interrupt.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// Runs body in a child process (the handlers are process-wide) and returns its exit status;
// -1 when it did not exit by itself.
template <class Body>
int in_child(Body body) {
  const pid_t child = fork();
  if (child == 0) _exit(body());
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(InterruptSignals, OnlyNotedAndTheFirstOneKept) {
  EXPECT_EQ(in_child([] {
              if (interrupt_signal() != 0 || !catch_interrupt_signals()) return 1;
              raise(SIGTERM);
              raise(SIGINT);
              return interrupt_signal() == SIGTERM ? 0 : 2;
            }),
            0);
}

// A signal ignored when the process started (as under nohup) stays ignored.
TEST(InterruptSignals, AnIgnoredSignalStaysIgnored) {
  EXPECT_EQ(in_child([] {
              signal(SIGHUP, SIG_IGN);
              if (!catch_interrupt_signals()) return 1;
              raise(SIGHUP);
              if (interrupt_signal() != 0) return 2;
              raise(SIGINT);
              return interrupt_signal() == SIGINT ? 0 : 3;
            }),
            0);
}

// Released, each signal has its handling from before again, and one noted meanwhile reaches it.
TEST(InterruptSignals, ReleasedSignalsGoWhereTheyWentBefore) {
  EXPECT_EQ(in_child([] {
              static volatile sig_atomic_t reached = 0;
              signal(SIGHUP, [](int) { reached = reached + 1; });
              if (!catch_interrupt_signals()) return 1;
              raise(SIGHUP);
              if (reached != 0 || interrupt_signal() != SIGHUP) return 2;
              release_interrupt_signals();
              if (reached != 1 || interrupt_signal() != 0) return 3;
              raise(SIGHUP);
              return reached == 2 && interrupt_signal() == 0 ? 0 : 4;
            }),
            0);
  // A signal whose handling was the default still ends the process, only later.
  const pid_t child = fork();
  if (child == 0) {
    if (!catch_interrupt_signals()) _exit(1);
    raise(SIGTERM);
    if (interrupt_signal() != SIGTERM) _exit(2);
    release_interrupt_signals();
    _exit(3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
}

}  // namespace
