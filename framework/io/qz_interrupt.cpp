#include "framework/io/qz_interrupt.h"

#include <pthread.h>
#include <signal.h>

#include <csignal>
#include <cstddef>
#include <system_error>
#include <utility>

namespace {

volatile std::sig_atomic_t caught_signal = 0;

constexpr int interrupt_signals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr size_t signal_count = sizeof interrupt_signals / sizeof interrupt_signals[0];

// The handling each signal had before it was caught; set where caught is.
struct sigaction handled_before[signal_count];
bool caught[signal_count];

// All a handler may safely do: note the first signal.
void note_signal(int signal_number) {
  if (caught_signal == 0) caught_signal = signal_number;
}

}  // namespace

bool catch_interrupt_signals() {
  struct sigaction action {};
  action.sa_handler = note_signal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a read waiting for input returns, and its caller looks at the flag.
  action.sa_flags = 0;
  bool all_set = true;
  for (size_t i = 0; i < signal_count; ++i) {
    if (caught[i]) continue;
    struct sigaction before {};
    if (sigaction(interrupt_signals[i], nullptr, &before) != 0) {
      all_set = false;
      continue;
    }
    if (before.sa_handler == SIG_IGN) continue;
    if (sigaction(interrupt_signals[i], &action, nullptr) != 0) {
      all_set = false;
      continue;
    }
    handled_before[i] = before;
    caught[i] = true;
  }
  return all_set;
}

void release_interrupt_signals() {
  for (size_t i = 0; i < signal_count; ++i) {
    if (caught[i]) sigaction(interrupt_signals[i], &handled_before[i], nullptr);
    caught[i] = false;
  }
  const int noted = caught_signal;
  caught_signal = 0;
  if (noted != 0) raise(noted);
}

int interrupt_signal() { return caught_signal; }

bool start_thread_without_signals(std::thread& thread, std::function<void()> body) {
  // A thread starts with its creator's mask: blocked here for the moment of the start.
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  bool started = true;
  try {
    thread = std::thread(std::move(body));
  } catch (const std::system_error&) {
    started = false;
  } catch (...) {
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    throw;
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return started;
}
