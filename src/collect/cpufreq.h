// Frequency collector: per-CPU cpufreq governor, driver, limits and energy
// preference, and the global boost and P-state driver settings.
#pragma once

#include "collect/snapshot.h"

// Fills the Frequency group of the Snapshot; runs after the topology step
// (it visits the online CPUs).
void collect_cpufreq(Snapshot* snap);
