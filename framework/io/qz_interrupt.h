// Interruption of a run by the user or the system. SIGINT, SIGTERM and SIGHUP are caught and
// only noted; the loops that read sources and names ask at their safe points (a row boundary,
// the next file name) whether one came, and stop there, so that nothing is left half-written.
// A blocking read that a noted signal cuts short fails (EINTR) rather than waiting on.
#pragma once

// Catches SIGINT, SIGTERM and SIGHUP from now on, each unless it was ignored when the process
// started (as "nohup" leaves SIGHUP). True when every handler that was wanted is set.
bool catch_interrupt_signals();
// Gives each signal caught back the handling it had before catch_interrupt_signals; a signal
// noted meanwhile is forgotten and raised again under it (by default it ends the process).
void release_interrupt_signals();
// The first signal caught since catch_interrupt_signals; 0 when none came.
int interrupt_signal();
