// A tracefs instance of kelvane's own, instances/kelvane-PID, with only the
// timer:tick_stop event enabled in it for the live sampling window: the
// kernel's reason for keeping a nohz_full CPU's tick
// (Documentation/trace/ftrace.rst, "Instances"). The global tracer and other
// instances are never touched. The caller removes the instance on every exit
// it controls; one left by a SIGKILL is removed by the next run.
#pragma once

#include <climits>
#include <cstdint>

#include "base/arena.h"
#include "base/str.h"

struct TickTrace {
  char dir[PATH_MAX];  // the instance directory; empty while there is none
};

// Removes the instances/kelvane-N directories under tracefs whose N is not a
// running kelvane other than self (a SIGKILLed run's).
void tick_trace_sweep(StrView tracefs, int32_t self);

// Sweeps, makes instances/kelvane-<self> and enables tick_stop in it. False,
// with no instance left, when any step fails.
bool tick_trace_start(TickTrace* t, StrView tracefs, int32_t self);

// The instance's trace file (at most kTickTraceMax bytes; absent when it
// cannot be read), then the instance removed.
StrView tick_trace_finish(TickTrace* t, Arena* a);
