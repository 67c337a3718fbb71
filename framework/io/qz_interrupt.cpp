#include "framework/io/qz_interrupt.h"

#include <signal.h>

#include <csignal>
#include <initializer_list>

namespace {

volatile std::sig_atomic_t caught_signal = 0;

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
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction before {};
    if (sigaction(signal_number, nullptr, &before) != 0) {
      all_set = false;
      continue;
    }
    if (before.sa_handler == SIG_IGN) continue;
    if (sigaction(signal_number, &action, nullptr) != 0) all_set = false;
  }
  return all_set;
}

int interrupt_signal() { return caught_signal; }
