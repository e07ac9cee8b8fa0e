#include "collect/snapshot.h"

namespace {

// First element of list whose cpu matches, with its position.
template <class T>
const T* find_by_cpu(const List<T>& list, const CpuPositions& pos, int32_t cpu, size_t* index) {
  if (pos.slot && pos.count == list.count) {
    if (cpu < 0 || cpu >= kMaxCpus || pos.slot[cpu] == 0) return nullptr;
    size_t i = pos.slot[cpu] - 1;
    if (index) *index = i;
    return &list.items[i];
  }
  for (size_t i = 0; i < list.count; i++) {
    if (list.items[i].cpu != cpu) continue;
    if (index) *index = i;
    return &list.items[i];
  }
  return nullptr;
}

}  // namespace

const CpuTopology* find_cpu_topology(const Snapshot* s, int32_t cpu) {
  return find_by_cpu(s->cpus, s->cpus_pos, cpu, nullptr);
}

const CpuFreq* find_cpu_freq(const Snapshot* s, int32_t cpu, size_t* index) {
  return find_by_cpu(s->cpufreq, s->cpufreq_pos, cpu, index);
}

const CpuIdle* find_cpu_idle(const Snapshot* s, int32_t cpu, size_t* index) {
  return find_by_cpu(s->cpuidle, s->cpuidle_pos, cpu, index);
}

const IdleState* deepest_idle_state(const Snapshot* s, int32_t cpu) {
  const CpuIdle* idle = find_cpu_idle(s, cpu, nullptr);
  return idle ? cpu_idle_deepest(idle) : nullptr;
}

const IdleState* cpu_idle_deepest(const CpuIdle* idle) {
  const IdleState* best = nullptr;
  for (const IdleState& st : idle->states) {
    if (st.disabled || !st.latency_us.has) continue;
    if (!best || st.latency_us.value > best->latency_us.value) best = &st;
  }
  return best;
}

OptInt cstate_floor_us(const Snapshot* s, int32_t cpu) {
  const IdleState* st = deepest_idle_state(s, cpu);
  if (!st) return OptInt{false, 0};
  return OptInt{true, st->latency_us.value};
}
