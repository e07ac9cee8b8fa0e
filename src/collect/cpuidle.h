// Idle-state collector: the cpuidle driver and governor, every CPU's idle
// states with their exit latencies and counters, the recorded holder of
// /dev/cpu_dma_latency, and the second reading of the usage counters.
#pragma once

#include "collect/snapshot.h"

// Fills the Idle states group of the Snapshot; runs after the topology step.
void collect_cpuidle(Snapshot* snap);

// Reads every known idle state's usage counter again and keeps the growth
// since collection in usage_delta (0 when the counter went down), and the
// time between the two readings in cpuidle_window_s. Called on the live
// system after the interrupt sampling window.
void sample_cpuidle_usage(Snapshot* snap);
