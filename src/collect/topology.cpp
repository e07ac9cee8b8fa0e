#include "collect/topology.h"

#include "base/cpuset.h"
#include "collect/cgroup.h"
#include "collect/cmdline.h"
#include "collect/sysfs.h"
#include "source/source.h"

namespace {

// The kernel's CPU lists, each parsed only when its file can be read.
struct CpuListFile {
  const char* path;
  CpuSet Snapshot::*set;
};

constexpr CpuListFile kCpuLists[] = {
    {"/sys/devices/system/cpu/possible", &Snapshot::possible},
    {"/sys/devices/system/cpu/present", &Snapshot::present},
    {"/sys/devices/system/cpu/online", &Snapshot::online},
    {"/sys/devices/system/cpu/offline", &Snapshot::offline},
};

void read_cpu_lists(Snapshot* snap) {
  for (const CpuListFile& f : kCpuLists) {
    StrView text = source_read(snap->src, f.path);
    if (!text.ptr) continue;
    cpuset_parse_list(&(snap->*f.set), text);
    int64_t highest = cpulist_highest(text);
    if (highest >= kMaxCpus && highest > snap->highest_cpu_named) {
      snap->highest_cpu_named = static_cast<int32_t>(highest);
    }
  }
}

// Without an online list, every cpuN directory is a CPU; it is online unless
// the offline list names it or its own online file reads 0 (cpu0 usually has
// no such file: it cannot be taken offline).
void online_from_cpu_dirs(Snapshot* snap) {
  StrList dirs{};
  source_glob(snap->src, "/sys/devices/system/cpu/cpu[0-9]*", &dirs);
  for (StrView dir : dirs) {
    int32_t cpu;
    if (!parse_numbered_name(dir, sv_lit("cpu"), &cpu)) continue;
    if (cpuset_has(&snap->offline, cpu)) continue;
    int64_t on;
    if (source_read_intf(snap->src, &on, "%.*s/online", SV_ARG(dir)) && on == 0) continue;
    cpuset_add(&snap->online, cpu);
  }
}

// The last possible CPU, which the kernel's N stands for in boot lists.
int32_t last_cpu(const CpuSet* s) {
  int32_t last = -1;
  for (int32_t w = kMaxCpus / 64 - 1; w >= 0 && last < 0; w--) {
    if (s->bits[w]) last = w * 64 + 63 - __builtin_clzll(s->bits[w]);
  }
  return last;
}

// The kernel's own list when it names CPUs, else the boot parameter's set.
bool kernel_or_boot_set(Snapshot* snap, const char* path, CpuSet* out, const CpuSet* boot) {
  StrView text = source_read(snap->src, path);
  if (text.ptr) cpuset_parse_list(out, text);
  if (!cpuset_empty(out)) return true;
  cpuset_copy(out, boot);
  return false;
}

// A kernel built without CONFIG_NO_HZ_FULL ignores nohz_full= and keeps the
// tick everywhere (Documentation/admin-guide/kernel-parameters.txt,
// nohz_full=: "In kernels built with CONFIG_NO_HZ_FULL=y, set the specified
// list of CPUs whose tick will be stopped"; Documentation/timers/no_hz.rst).
// Only a configuration that was read can say so.
bool nohz_full_unsupported(const Snapshot* snap) {
  return snap->config_available && !kv_is_enabled(&snap->config, "CONFIG_NO_HZ_FULL");
}

// CPUs are graded as far as this machine has them: isolcpus=2,3 on a
// machine of CPUs 0-1 isolates nothing.
void restrict_to_possible(const Snapshot* snap, CpuSet* set) {
  if (!cpuset_empty(&snap->possible)) cpuset_and(set, &snap->possible);
}

// Isolated: the kernel's own list, else isolcpus= when it takes CPUs out of
// the scheduler domains; either joined by the isolated cgroup partitions.
void read_isolation(Snapshot* snap) {
  CpuSet domain = {};
  if (snap->isolcpus_domain) cpuset_copy(&domain, &snap->isolcpus.value);
  snap->isolated_from_sysfs =
      kernel_or_boot_set(snap, "/sys/devices/system/cpu/isolated", &snap->isolated, &domain);
  collect_cgroup_partitions(snap);
  if (snap->cgroup_isolated.has) cpuset_or(&snap->isolated, &snap->cgroup_isolated.value);
  CpuSet nohz_boot = {};
  bool ignored = snap->cmdline_nohz_full.has && nohz_full_unsupported(snap);
  if (!ignored) cpuset_copy(&nohz_boot, &snap->cmdline_nohz_full.value);
  bool from_kernel =
      kernel_or_boot_set(snap, "/sys/devices/system/cpu/nohz_full", &snap->nohz_full, &nohz_boot);
  snap->nohz_full_ignored = ignored && !from_kernel;
  restrict_to_possible(snap, &snap->isolated);
  restrict_to_possible(snap, &snap->nohz_full);
  cpuset_copy(&snap->housekeeping, &snap->online);
  cpuset_andnot(&snap->housekeeping, &snap->isolated);
}

// cpu_capacity exists where CPUs differ in compute capacity (arm64
// big.LITTLE); a glob finds the files without a read error for each CPU
// that has none.
void read_capacities(Snapshot* snap) {
  StrList files{};
  source_glob(snap->src, "/sys/devices/system/cpu/cpu[0-9]*/cpu_capacity", &files);
  for (StrView file : files) {
    StrView dir = file;
    sv_consume_suffix(&dir, sv_lit("/cpu_capacity"));
    int32_t cpu;
    if (!parse_numbered_name(dir, sv_lit("cpu"), &cpu) || !snap->cpus_pos.slot) continue;
    uint32_t at = snap->cpus_pos.slot[cpu];
    if (at == 0) continue;
    OptInt* cap = &snap->cpus.items[at - 1].capacity;
    cap->has = source_read_intf(snap->src, &cap->value, "%.*s", SV_ARG(file));
  }
}

void read_cpu(Snapshot* snap, int32_t cpu) {
  Source* src = snap->src;
  CpuTopology* t = list_grow(snap->arena, &snap->cpus);
  t->cpu = cpu;
  StrView sib = source_read_trimmedf(src, "/sys/devices/system/cpu/cpu%d/topology/thread_siblings_list", cpu);
  if (!sib.ptr) sib = source_read_trimmedf(src, "/sys/devices/system/cpu/cpu%d/topology/core_cpus_list", cpu);
  cpuset_parse_list(&t->siblings, sib);
  cpuset_remove(&t->siblings, cpu);
  // A sibling the machine lacks (a list naming CPU 5 of CPUs 0-3) is no CPU
  // to isolate with this one, nor one that shares its core.
  restrict_to_possible(snap, &t->siblings);
  t->core_id.has = source_read_intf(src, &t->core_id.value,
                                    "/sys/devices/system/cpu/cpu%d/topology/core_id", cpu);
  t->package_id.has = source_read_intf(
      src, &t->package_id.value, "/sys/devices/system/cpu/cpu%d/topology/physical_package_id", cpu);
  if (!cpuset_empty(&t->siblings)) snap->smt_in_use = true;
}

// NUMA nodes and, through the CPU index, each online CPU's node; a CPU that
// several nodes list keeps the last one.
void read_nodes(Snapshot* snap) {
  StrList dirs{};
  source_glob(snap->src, "/sys/devices/system/node/node[0-9]*", &dirs);
  for (StrView dir : dirs) {
    int32_t node;
    if (!parse_numbered_name(dir, sv_lit("node"), &node)) continue;
    StrView text = source_read_trimmedf(snap->src, "/sys/devices/system/node/node%d/cpulist", node);
    if (!text.ptr) continue;
    NumaNode* n = list_grow(snap->arena, &snap->nodes);
    n->node = node;
    cpuset_parse_list(&n->cpus, text);
    for (int32_t cpu : CpuIter{&n->cpus}) {
      uint32_t at = snap->cpus_pos.slot ? snap->cpus_pos.slot[cpu] : 0;
      if (at == 0) continue;
      CpuTopology* t = &snap->cpus.items[at - 1];
      t->node.has = true;
      t->node.value = node;
    }
  }
}

void read_smt(Snapshot* snap) {
  snap->smt_control = source_read_trimmed(snap->src, "/sys/devices/system/cpu/smt/control");
  int64_t active;
  if (source_read_int(snap->src, "/sys/devices/system/cpu/smt/active", 10, &active)) {
    snap->smt_in_use = snap->smt_in_use || active == 1;
  }
}

}  // namespace

void collect_topology(Snapshot* snap) {
  read_cpu_lists(snap);
  if (cpuset_empty(&snap->online)) online_from_cpu_dirs(snap);
  if (cpuset_empty(&snap->present)) cpuset_copy(&snap->present, &snap->online);
  if (cpuset_empty(&snap->possible)) cpuset_copy(&snap->possible, &snap->present);
  snap->ncpus = static_cast<uint32_t>(cpuset_count(&snap->online));
  cmdline_resolve_cpulists(snap, last_cpu(&snap->possible));
  read_isolation(snap);
  for (int32_t cpu : CpuIter{&snap->online}) read_cpu(snap, cpu);
  cpu_positions_build(snap->arena, &snap->cpus_pos, snap->cpus);
  read_capacities(snap);
  read_nodes(snap);
  read_smt(snap);
}
