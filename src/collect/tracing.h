// Tracing capability collector: the tracing directory, the tracers it offers
// and the current one, and the latency and tuning tools recorded in bundles.
#pragma once

#include "collect/snapshot.h"

// Fills the Tracing and tools group of the Snapshot from its Source.
void collect_tracing(Snapshot* snap);
