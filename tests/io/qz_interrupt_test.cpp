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

}  // namespace
