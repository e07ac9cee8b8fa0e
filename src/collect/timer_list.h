// /proc/timer_list (kernel/time/timer_list.c): the hrtimers queued on each
// CPU, by callback function. On a nohz_full CPU each one is a reason for the
// tick to fire again (dl_task_timer is the fair server, watchdog_timer_fn
// the soft-lockup watchdog).
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"

// The distinct callbacks queued on one CPU, in the order first seen.
struct CpuTimers {
  int32_t cpu;
  StrList functions;
};

// The file is read whole up to this size; beyond it, what was read is parsed.
constexpr size_t kTimerListMax = size_t{16} << 20;
// At most this many distinct callbacks are kept per CPU.
constexpr size_t kTimerFunctionsMax = 32;

// "cpu: N" starts a CPU's section; " #K: <addr>, function, S:NN" lines name
// its timers. False when no CPU section was found.
bool parse_timer_list(Arena* a, StrView text, List<CpuTimers>* out);

// The callbacks queued on cpu, or null.
const CpuTimers* timers_of_cpu(const List<CpuTimers>* list, int32_t cpu);
