// CPU topology collector: possible, present, online and offline CPUs, the
// isolated and adaptive-tick sets with their boot-parameter fallbacks,
// housekeeping CPUs, SMT siblings, packages and NUMA nodes.
#pragma once

#include "collect/snapshot.h"

// Fills the CPU topology group of the Snapshot from its Source. Runs after
// the command-line step, whose isolcpus= and nohz_full= sets it falls back on.
void collect_topology(Snapshot* snap);
