#include "collect/cpuidle.h"

#include "base/cpuset.h"
#include "collect/clock.h"
#include "collect/sysfs.h"
#include "source/pm_qos_hold.h"
#include "source/source.h"

namespace {

// Counters and limits of one state directory, in microseconds or entries.
struct StateInt {
  const char* file;
  OptInt IdleState::*value;
};

constexpr StateInt kStateInts[] = {
    {"latency", &IdleState::latency_us},
    {"residency", &IdleState::residency_us},
    {"usage", &IdleState::usage},
    {"time", &IdleState::time_us},
};

void read_state(Snapshot* snap, StrView dir, int32_t index, List<IdleState>* states) {
  Source* src = snap->src;
  IdleState* st = list_grow(snap->arena, states);
  st->index = index;
  st->name = source_read_trimmedf(src, "%.*s/name", SV_ARG(dir));
  st->desc = source_read_trimmedf(src, "%.*s/desc", SV_ARG(dir));
  for (const StateInt& i : kStateInts) {
    OptInt* v = &(st->*i.value);
    v->has = source_read_intf(src, &v->value, "%.*s/%s", SV_ARG(dir), i.file);
  }
  int64_t disable;
  st->disabled = source_read_intf(src, &disable, "%.*s/disable", SV_ARG(dir)) && disable != 0;
}

// A CPU's state directories in the glob's byte order (state10 before state2).
void read_cpu(Snapshot* snap, int32_t cpu) {
  Arena* a = snap->arena;
  StrView pattern = arena_sprintf(a, "/sys/devices/system/cpu/cpu%d/cpuidle/state[0-9]*", cpu);
  StrList dirs{};
  source_glob(snap->src, pattern.ptr, &dirs);
  List<IdleState> states{};
  for (StrView dir : dirs) {
    int32_t index;
    if (!parse_numbered_name(dir, sv_lit("state"), &index)) continue;
    read_state(snap, dir, index, &states);
  }
  if (states.count == 0) return;
  snap->cpuidle_available = true;
  CpuIdle* idle = list_grow(a, &snap->cpuidle);
  idle->cpu = cpu;
  idle->states = states;
}

void read_driver(Snapshot* snap) {
  Source* src = snap->src;
  snap->cpuidle_driver = source_read_trimmed(src, "/sys/devices/system/cpu/cpuidle/current_driver");
  snap->cpuidle_governor =
      source_read_trimmed(src, "/sys/devices/system/cpu/cpuidle/current_governor");
  if (!snap->cpuidle_governor.ptr) {
    snap->cpuidle_governor =
        source_read_trimmed(src, "/sys/devices/system/cpu/cpuidle/current_governor_ro");
  }
}

// Who holds /dev/cpu_dma_latency open: found among the live system's
// processes, recorded in a bundle by capture.
void read_dma_latency_holder(Snapshot* snap) {
  if (snap->src->live) {
    PmQosHolder h = {};
    if (!pm_qos_find_holder(snap->arena, "/proc", "/dev/cpu_dma_latency", &h)) return;
    snap->dma_latency_holder = opt_some(pm_qos_holder_text(snap->arena, &h));
    if (h.value_known) snap->dma_latency_us = opt_some<int64_t>(h.value_us);
    return;
  }
  StrView holder = source_read_trimmed(snap->src, "/.kelvane/cmd/cpu_dma_latency_holder");
  if (holder.ptr && holder.len > 0) {
    snap->dma_latency_holder = opt_some(holder);
  }
  read_opt_int(snap->src, "/.kelvane/cmd/cpu_dma_latency_value", &snap->dma_latency_us);
}

}  // namespace

void collect_cpuidle(Snapshot* snap) {
  read_driver(snap);
  for (int32_t cpu : CpuIter{&snap->online}) read_cpu(snap, cpu);
  if (snap->cpuidle_available) snap->cpuidle_read_s = monotonic_seconds();
  cpu_positions_build(snap->arena, &snap->cpuidle_pos, snap->cpuidle);
  read_dma_latency_holder(snap);
}

void sample_cpuidle_usage(Snapshot* snap) {
  if (!snap->cpuidle_available) return;
  for (CpuIdle& idle : snap->cpuidle) {
    for (IdleState& st : idle.states) {
      int64_t now;
      if (!source_read_intf(snap->src, &now, "/sys/devices/system/cpu/cpu%d/cpuidle/state%d/usage",
                            idle.cpu, st.index)) {
        continue;
      }
      if (!st.usage.has) continue;
      int64_t grew;
      st.usage_delta.has = true;
      st.usage_delta.value =
          __builtin_sub_overflow(now, st.usage.value, &grew) || grew < 0 ? 0 : grew;
    }
  }
  // The counters' own window: the interrupt readings bracket another one,
  // opened earlier in collection.
  snap->cpuidle_window_s = monotonic_seconds() - snap->cpuidle_read_s;
}
