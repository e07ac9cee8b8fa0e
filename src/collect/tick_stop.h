// The timer:tick_stop trace event (include/trace/events/timer.h): each time a
// nohz_full CPU tries to stop its tick, "success=%d dependency=%s", the
// dependency naming what kept the tick when success is 0.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"

// The TICK_DEP_MASK_* names the event prints, in their bit order, then any
// name this list does not know.
enum class TickDep : uint8_t {
  none,
  posix_timer,
  perf_events,
  sched,
  clock_unstable,
  rcu,
  rcu_exp,
  other,
  count,
};

// The failed attempts of one CPU and the dependencies they named.
struct TickStopCpu {
  int32_t cpu;
  uint32_t failures;
  uint32_t deps;  // bit 1 << TickDep per dependency seen
};

// The trace file is read up to this size; what follows is left unread.
constexpr size_t kTickTraceMax = size_t{1} << 20;

// The name the event prints for dep ("POSIX_TIMER"), "other" for other.
const char* tick_dep_name(TickDep dep);

// The lines of a trace file whose event is tick_stop with success=0, by the
// CPU the line shows as [NNN]. False when there is none.
bool parse_tick_stop(Arena* a, StrView text, List<TickStopCpu>* out);

// The failures of cpu, or null.
const TickStopCpu* tick_stop_of_cpu(const List<TickStopCpu>* list, int32_t cpu);
