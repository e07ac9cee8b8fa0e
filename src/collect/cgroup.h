// cgroup v2 cpuset partitions: the CPUs the kernel isolates through isolated
// partitions, and the partitions it reports invalid.
#pragma once

#include "collect/snapshot.h"

// Fills cgroup_isolated and cgroup_invalid. The root's cpuset.cpus.isolated
// gives the isolated CPUs where the kernel has it; otherwise every partition
// reading "isolated" adds its cpuset.cpus.effective. The walk below
// /sys/fs/cgroup is bounded in depth and in the number of partitions read.
void collect_cgroup_partitions(Snapshot* snap);
