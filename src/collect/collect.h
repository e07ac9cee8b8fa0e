// The collection driver: fills a Snapshot from a Source, collector by
// collector in a fixed order, then samples counters on the live system.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "collect/snapshot.h"
#include "source/source.h"

// Zero-fills *snap and collects everything from src. interval_ms is the
// counter sampling window (--interval); 0 or below disables sampling, and
// sampling only ever happens on the live system. Cannot fail.
void collect_snapshot(Snapshot* snap, Arena* arena, Source* src, int32_t interval_ms);
