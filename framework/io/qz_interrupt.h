// Interruption of a run by the user or the system. SIGINT, SIGTERM and SIGHUP are caught and
// only noted; the loops that read sources and names ask at their safe points (a row boundary,
// the next file name) whether one came, and stop there, so that nothing is left half-written.
// A blocking read that a noted signal cuts short fails (EINTR) rather than waiting on.
// Threads that work behind the reading one take no signals, so that a signal always reaches
// the thread whose read it must cut short.
#pragma once

#include <functional>
#include <thread>

// Catches SIGINT, SIGTERM and SIGHUP from now on, each unless it was ignored when the process
// started (as "nohup" leaves SIGHUP). True when every handler that was wanted is set.
bool catch_interrupt_signals();
// Gives each signal caught back the handling it had before catch_interrupt_signals; a signal
// noted meanwhile is forgotten and raised again under it (by default it ends the process).
void release_interrupt_signals();
// The first signal caught since catch_interrupt_signals; 0 when none came.
int interrupt_signal();
// Starts thread on body with every signal blocked in it; the caller's own mask is left as it
// was. False, thread untouched, when no thread can be started.
bool start_thread_without_signals(std::thread& thread, std::function<void()> body);
