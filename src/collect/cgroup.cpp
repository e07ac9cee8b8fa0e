#include "collect/cgroup.h"

#include "base/cpuset.h"
#include "source/source.h"

namespace {

// An isolated partition takes its CPUs out of the scheduler's load
// balancing, as isolcpus=domain does, and the kernel's admin guide prefers it
// (Documentation/admin-guide/cgroup-v2.rst, "cpuset.cpus.partition": "isolated"
// partitions; "cpuset.cpus.isolated" on the root lists their CPUs). Partition
// files exist only in non-root cgroups with the cpuset controller; the
// walk looks four levels deep and reads at most kMaxPartitions of them. A
// cgroup's name is its creator's choice: one starting with "." is walked
// like any other, so that it cannot hide an invalid partition.
constexpr const char* kPartitionFiles[] = {
    "/sys/fs/cgroup/*/cpuset.cpus.partition",
    "/sys/fs/cgroup/*/*/cpuset.cpus.partition",
    "/sys/fs/cgroup/*/*/*/cpuset.cpus.partition",
    "/sys/fs/cgroup/*/*/*/*/cpuset.cpus.partition",
};
constexpr size_t kMaxPartitions = 1024;

// A partition the kernel cannot honour reads "isolated invalid (reason)" or
// "root invalid (reason)".
void read_partition(Snapshot* snap, StrView file, CpuSet* isolated, bool* any) {
  StrView state = source_read_trimmedf(snap->src, "%.*s", SV_ARG(file));
  if (!state.ptr) return;
  StrView dir = file;
  sv_consume_suffix(&dir, sv_lit("/cpuset.cpus.partition"));
  if (sv_contains(state, "invalid")) {
    CgroupPartition* p = list_grow(snap->arena, &snap->cgroup_invalid);
    p->path = dir;
    p->state = state;
    return;
  }
  if (!sv_eq_cstr(state, "isolated")) return;
  StrView cpus = source_read_trimmedf(snap->src, "%.*s/cpuset.cpus.effective", SV_ARG(dir));
  CpuSet set;
  cpuset_parse_list(&set, cpus);
  cpuset_or(isolated, &set);
  *any = true;
}

}  // namespace

void collect_cgroup_partitions(Snapshot* snap) {
  CpuSet walked = {};
  bool any = false;
  size_t read = 0;
  for (const char* pattern : kPartitionFiles) {
    StrList files{};
    source_glob_dot_names(snap->src, pattern, &files);
    for (size_t i = 0; i < files.count && read < kMaxPartitions; i++, read++) {
      read_partition(snap, files.items[i], &walked, &any);
    }
  }
  // Kernels without the root file leave no read error behind.
  constexpr const char* kRoot = "/sys/fs/cgroup/cpuset.cpus.isolated";
  StrView root = source_exists(snap->src, kRoot) ? source_read(snap->src, kRoot) : kNoneView;
  if (root.ptr) {
    snap->cgroup_isolated.has = true;
    cpuset_parse_list(&snap->cgroup_isolated.value, root);
  } else if (any) {
    snap->cgroup_isolated = opt_some(walked);
  }
}
