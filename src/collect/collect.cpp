#include "collect/collect.h"

#include <cstring>

#include "base/log.h"
#include "collect/cmdline.h"
#include "collect/interrupts.h"
#include "collect/irq_sample.h"
#include "collect/kernel.h"
#include "collect/tasks.h"

namespace {

// One collection step: its progress message and the collector it runs.
struct CollectStep {
  const char* progress;
  void (*run)(Snapshot* snap);
};

// The fixed order of collection. Topology follows the command line (it falls
// back on the isolcpus= and nohz_full= sets), sysctl follows the kernel step
// (it consults the configuration), and sampling (below) follows the interrupt
// and idle steps (it compares with their counts). A step whose collector is
// not part of this build yet has no function and is passed over silently.
constexpr CollectStep kSteps[] = {
    {"collecting kernel", collect_kernel},
    {"collecting cmdline", collect_cmdline},
    {"collecting topology", nullptr},
    {"collecting cpufreq", nullptr},
    {"collecting cpuidle", nullptr},
    {"collecting interrupts", collect_interrupts},
    {"collecting tasks", collect_tasks},
    {"collecting sysctl", nullptr},
    {"collecting tracing capability", nullptr},
};

// The second reading of the counters: interrupts first (it waits the
// interval), then idle-state usage (no second wait).
using SampleInterruptsFn = void (*)(Snapshot* snap, int32_t interval_ms);
using SampleCpuidleFn = void (*)(Snapshot* snap);
constexpr SampleInterruptsFn kSampleInterrupts = sample_interrupts;
constexpr SampleCpuidleFn kSampleCpuidleUsage = nullptr;

// Whether a sampler is part of this build: its entry above is not null.
template <class Fn>
bool is_built(Fn fn) {
  return fn != nullptr;
}

void sample_counters(Snapshot* snap, int32_t interval_ms) {
  log_progress("sampling counters for %d ms", interval_ms);
  if (is_built(kSampleInterrupts)) kSampleInterrupts(snap, interval_ms);
  if (kSampleCpuidleUsage) kSampleCpuidleUsage(snap);
  // The interrupt sampler timed its window from the first reading, which
  // the later collection steps lengthen beyond the interval.
  snap->sample_seconds = snap->sampled ? snap->sample_window_s : interval_ms / 1000.0;
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
    if (!step.run) continue;
    log_progress("%s", step.progress);
    step.run(snap);
  }
  // Without a sampler in this build there is nothing to count over the
  // window: no message, no wait, and sample_seconds stays 0.
  bool can_sample = is_built(kSampleInterrupts) || kSampleCpuidleUsage != nullptr;
  if (interval_ms > 0 && src->live && can_sample) sample_counters(snap, interval_ms);
  read_host(snap);
}
