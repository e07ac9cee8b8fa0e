// The signals that end kelvane (SIGINT, SIGTERM and SIGHUP), caught while a
// tool runs or a tracefs instance exists, so that the tool is stopped or the
// instance removed before kelvane ends. The handler
// records the first signal and writes a byte to a self-pipe, whose read end a
// poll watches to wake at once; nothing else runs in the handler.
#pragma once

#include <signal.h>

constexpr int kStopSignalCount = 3;

// The handlers of one tool run and the dispositions they replaced.
struct StopSignals {
  struct sigaction old[kStopSignalCount];
  bool installed[kStopSignalCount];
  int wake[2];  // the self-pipe; wake[0] turns readable when a signal comes
};

// Clears the record of a caught signal and installs the handlers. A signal
// the caller chose to ignore (nohup's SIGHUP, a background job's SIGINT)
// stays ignored. False when the self-pipe cannot be made.
bool stop_signals_catch(StopSignals* s);
// Puts the replaced dispositions back and closes the self-pipe.
void stop_signals_release(StopSignals* s);
// The first signal caught since stop_signals_catch, else 0.
int stop_signals_caught();

// Sleeps ms milliseconds, or less when one of the signals is caught (or
// comes uncaught and interrupts the sleep); the sleep is not resumed.
void stop_signals_sleep_ms(int ms);

// Blocks the three signals, the mask before into *old: around a fork, so that
// none reaches the child before it has set its own dispositions.
void stop_signals_block(sigset_t* old);
// In the child between fork and exec: the handlers back to the default (exec
// would do it, but a signal could come first), and SIGINT to the default even
// when ignored, as it is what stops the tool.
void stop_signals_reset_in_child();

// Ends the process by sig with its default action, as if never caught, so
// that whoever sent it sees the process killed by that signal.
[[noreturn]] void die_of_signal(int sig);
