#include "rules/partition.h"

#include "collect/snapshot.h"

namespace {

// A CPU's core: the CPU and its SMT siblings (thread_siblings_list, else
// core_cpus_list, as the topology collector read them).
CpuSet core_of(const Snapshot* s, int32_t cpu) {
  CpuSet core = {};
  const CpuTopology* t = find_cpu_topology(s, cpu);
  if (t) cpuset_copy(&core, &t->siblings);
  cpuset_add(&core, cpu);
  return core;
}

int32_t count_cores(const Snapshot* s) {
  CpuSet seen = {};
  int32_t cores = 0;
  for (int32_t cpu : CpuIter{&s->online}) {
    if (cpuset_has(&seen, cpu)) continue;
    CpuSet core = core_of(s, cpu);
    cpuset_or(&seen, &core);
    cores++;
  }
  return cores;
}

// The cores that keep kernel work: the first online CPU's (the boot CPU, which
// nohz_full= always leaves ticking for timekeeping,
// Documentation/admin-guide/kernel-parameters.txt), and on every other NUMA
// node with online CPUs the core of its lowest one.
CpuSet housekeeping_cores(const Snapshot* s) {
  CpuSet hk = core_of(s, cpuset_first(&s->online));
  for (const NumaNode& node : s->nodes) {
    CpuSet on = node.cpus;
    cpuset_and(&on, &s->online);
    if (cpuset_empty(&on) || cpuset_intersects(&on, &hk)) continue;
    CpuSet core = core_of(s, cpuset_first(&on));
    cpuset_or(&hk, &core);
  }
  return hk;
}

// On big.LITTLE machines the CPUs differ in cpu_capacity; only the cores of
// the highest capacity are worth isolating. Adds the others to *out and says
// whether there were any.
bool lower_capacity_cpus(const Snapshot* s, CpuSet* out) {
  int64_t top = 0;
  bool differ = false;
  bool any = false;
  for (const CpuTopology& t : s->cpus) {
    if (!t.capacity.has) continue;
    if (any && t.capacity.value != top) differ = true;
    if (!any || t.capacity.value > top) top = t.capacity.value;
    any = true;
  }
  if (!differ) return false;
  for (const CpuTopology& t : s->cpus) {
    if (t.capacity.has && t.capacity.value < top) cpuset_add(out, t.cpu);
  }
  return true;
}

// Drops every CPU whose core is not wholly in the set, until none is left:
// a partition never splits a core.
void keep_whole_cores(const Snapshot* s, CpuSet* set) {
  bool changed = true;
  while (changed) {
    changed = false;
    for (int32_t cpu : CpuIter{set}) {
      CpuSet core = core_of(s, cpu);
      CpuSet outside = core;
      cpuset_andnot(&outside, set);
      if (cpuset_empty(&outside)) continue;
      cpuset_andnot(set, &core);
      changed = true;
      break;
    }
  }
}

// What the machine already isolates, in whole or in part, restricted to its
// possible CPUs and widened to whole cores.
CpuSet existing_isolation(const Snapshot* s) {
  CpuSet set = s->isolated;
  cpuset_or(&set, &s->isolcpus.value);
  cpuset_or(&set, &s->cmdline_nohz_full.value);
  cpuset_or(&set, &s->nohz_full);
  cpuset_or(&set, &s->rcu_nocbs.value);
  if (s->cgroup_isolated.has) cpuset_or(&set, &s->cgroup_isolated.value);
  if (!cpuset_empty(&s->possible)) cpuset_and(&set, &s->possible);
  CpuSet named = set;
  for (int32_t cpu : CpuIter{&named}) {
    if (!cpuset_has(&s->online, cpu)) continue;
    CpuSet core = core_of(s, cpu);
    cpuset_and(&core, &s->online);
    cpuset_or(&set, &core);
  }
  return set;
}

Partition no_partition(PartitionKind kind, StrView reason) {
  Partition p = {};
  p.kind = kind;
  p.reason = reason;
  return p;
}

}  // namespace

Partition partition_propose(Arena* a, const Snapshot* s) {
  if (cpuset_empty(&s->online)) {
    return no_partition(PartitionKind::unknown, sv_lit("the online CPUs are not known"));
  }
  CpuSet existing = existing_isolation(s);
  CpuSet left = s->online;
  cpuset_andnot(&left, &existing);
  if (!cpuset_empty(&existing) && !cpuset_empty(&left)) {
    Partition p = {};
    p.kind = PartitionKind::existing;
    p.isolate = existing;
    p.reason = sv_lit("reuses the CPUs this machine already isolates");
    return p;
  }
  if (count_cores(s) < 2) {
    return no_partition(PartitionKind::one_core, sv_lit("one core: isolation needs at least two"));
  }
  int32_t first = cpuset_first(&s->online);
  CpuSet isolate = s->online;
  CpuSet keep = housekeeping_cores(s);
  bool mixed = lower_capacity_cpus(s, &keep);
  cpuset_andnot(&isolate, &keep);
  keep_whole_cores(s, &isolate);
  if (cpuset_empty(&isolate)) {
    return no_partition(
        PartitionKind::no_spare,
        arena_sprintf(a, "every core is kept for housekeeping: CPU %d's core%s", first,
                      s->nodes.count > 1 ? " and one core per NUMA node" : ""));
  }
  Partition p = {};
  p.kind = PartitionKind::proposed;
  p.isolate = isolate;
  p.reason = arena_sprintf(a, "keeps CPU %d's core%s for housekeeping%s", first,
                           s->nodes.count > 1 ? " and one core per NUMA node" : "",
                           mixed ? " and isolates only the highest-capacity cores" : "");
  return p;
}

// isolcpus=managed_irq,domain takes the CPUs out of the scheduler domains and
// keeps managed queue interrupts off them; nohz_full= stops their tick and
// rcu_nocbs= offloads their RCU callbacks
// (Documentation/admin-guide/kernel-parameters.txt).
StrView partition_boot_params(Arena* a, const Snapshot* s, const Partition* p) {
  if (cpuset_empty(&p->isolate)) return kNoneView;
  StrView cpus = cpuset_format_list(a, &p->isolate);
  // A kernel built without CONFIG_NO_HZ_FULL ignores nohz_full=
  // (Documentation/timers/no_hz.rst), so the line does not offer it.
  bool no_nohz_full = s->nohz_full_ignored ||
                      (s->config_available && !kv_is_enabled(&s->config, "CONFIG_NO_HZ_FULL"));
  if (no_nohz_full) {
    return arena_sprintf(a, "isolcpus=managed_irq,domain,%.*s rcu_nocbs=%.*s", SV_ARG(cpus),
                         SV_ARG(cpus));
  }
  return arena_sprintf(a, "isolcpus=managed_irq,domain,%.*s nohz_full=%.*s rcu_nocbs=%.*s",
                       SV_ARG(cpus), SV_ARG(cpus), SV_ARG(cpus));
}
