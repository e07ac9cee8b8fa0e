// CPU topology collector: possible, present, online and offline CPUs, the
// isolated and adaptive-tick sets with their boot-parameter fallbacks,
// housekeeping CPUs, SMT siblings, packages and NUMA nodes.
#pragma once

#include "collect/snapshot.h"

// Fills the CPU topology group of the Snapshot from its Source. Runs after
// the command-line step, whose isolcpus= and nohz_full= sets it falls back on,
// and after the kernel step, whose configuration says whether nohz_full= is
// heeded. The isolated set joins the isolated cgroup partitions
// (collect_cgroup_partitions); it and nohz_full keep only possible CPUs.
void collect_topology(Snapshot* snap);
