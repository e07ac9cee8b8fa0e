#include "collect/collect.h"

#include <unistd.h>

#include <cstring>

#include "base/log.h"
#include "base/stop_signals.h"
#include "collect/boot_config.h"
#include "collect/cmdline.h"
#include "collect/cpufreq.h"
#include "collect/consoles.h"
#include "collect/cpuidle.h"
#include "collect/interrupts.h"
#include "collect/irq_sample.h"
#include "collect/kernel.h"
#include "collect/tick_trace.h"
#include "collect/timer_list.h"
#include "collect/sysctl.h"
#include "collect/platform.h"
#include "collect/sysctl_conf.h"
#include "collect/sysfs.h"
#include "collect/task_sample.h"
#include "collect/tasks.h"
#include "collect/topology.h"
#include "collect/tracing.h"
#include "collect/tuned.h"

namespace {

// One collection step: its progress message and the collector it runs.
struct CollectStep {
  const char* progress;
  void (*run)(Snapshot* snap);
};

// /proc/timer_list, only when there are nohz_full CPUs whose tick it may
// explain.
void collect_timer_list(Snapshot* snap) {
  // Optional: a tree or bundle without it has no unreadable path for it.
  if (cpuset_empty(&snap->nohz_full)) return;
  StrView text = read_if_present(snap->src, "/proc/timer_list");
  if (text.ptr) parse_timer_list(snap->arena, text, &snap->timer_list);
}

// The fixed order of collection. Topology follows the command line (it falls
// back on the isolcpus= and nohz_full= sets), sysctl follows the kernel step
// (it consults the configuration), and sampling (below) follows the interrupt
// and idle steps (it compares with their counts).
constexpr CollectStep kSteps[] = {
    {"collecting kernel", collect_kernel},
    {"collecting cmdline", collect_cmdline},
    {"collecting topology", collect_topology},
    {"collecting cpufreq", collect_cpufreq},
    {"collecting cpuidle", collect_cpuidle},
    {"collecting interrupts", collect_interrupts},
    {"collecting tasks", collect_tasks},
    {"collecting sysctl", collect_sysctl},
    {"collecting tracing capability", collect_tracing},
    {"collecting boot configuration", collect_boot_config},
    {"collecting persisted sysctls", collect_sysctl_conf},
    {"collecting tuned profile", collect_tuned},
    {"collecting consoles", collect_consoles},
    {"collecting platform", collect_platform},
    {"collecting queued timers", collect_timer_list},
};

// The tick_stop trace is wanted where noise.nohz_tick can warn: a sample
// of the local timer on nohz_full CPUs, as root, with tracefs instances.
bool tick_trace_wanted(const Snapshot* snap) {
  return !cpuset_empty(&snap->nohz_full) && snap->interrupts_available &&
         snap->tracing_instances && geteuid() == 0;
}

// The interrupt sample's wait with kelvane's tick_stop instance in place.
// SIGINT, SIGTERM and SIGHUP are caught before the instance is made, cut the
// wait short, and end kelvane by their default action once it is removed.
void sample_interrupts_traced(Snapshot* snap, int32_t interval_ms) {
  StopSignals sig;
  TickTrace trace;
  if (!stop_signals_catch(&sig)) return sample_interrupts(snap, interval_ms);
  bool started = tick_trace_start(&trace, snap->tracefs_path, static_cast<int32_t>(getpid()));
  if (!started) log_progress("no tracefs instance for the tick_stop event");
  sample_interrupts(snap, interval_ms);
  StrView text = tick_trace_finish(&trace, snap->arena);
  int caught = stop_signals_caught();
  stop_signals_release(&sig);
  if (caught) die_of_signal(caught);
  parse_tick_stop(snap->arena, text, &snap->tick_stops);
}

// The second reading of the counters: interrupts first (it waits the
// interval), then idle-state usage, the real-time threads' faults and the
// thermal throttling counts (no second wait).
void sample_counters(Snapshot* snap, int32_t interval_ms) {
  log_progress("sampling counters for %d ms", interval_ms);
  if (tick_trace_wanted(snap)) {
    sample_interrupts_traced(snap, interval_ms);
  } else {
    // A killed run's instance goes even when this run makes none.
    if (snap->tracing_instances && geteuid() == 0)
      tick_trace_sweep(snap->tracefs_path, static_cast<int32_t>(getpid()));
    sample_interrupts(snap, interval_ms);
  }
  sample_cpuidle_usage(snap);
  sample_tasks(snap);
  sample_thermal(snap);
}

void read_host(Snapshot* snap) {
  StrView host = source_read_trimmed(snap->src, "/proc/sys/kernel/hostname");
  snap->host = host.ptr ? host : sv_from_cstr("unknown");
}

}  // namespace

void collect_snapshot(Snapshot* snap, Arena* arena, Source* src, int32_t interval_ms) {
  memset(static_cast<void*>(snap), 0, sizeof *snap);
  snap->arena = arena;
  snap->src = src;
  snap->live = src->live;
  snap->source = sv_from_cstr(src->label);
  for (const CollectStep& step : kSteps) {
    log_progress("%s", step.progress);
    step.run(snap);
  }
  if (interval_ms > 0 && src->live) sample_counters(snap, interval_ms);
  read_host(snap);
  // The reports list the failed reads from here, not through the Source.
  snap->read_errors = src->read_errors;
}
