// Kernel collector: release, build configuration, PREEMPT_RT state,
// preemption model, tick rate and the debugging options that cost latency.
#pragma once

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"
#include "collect/snapshot.h"

// Parses the text of a kernel configuration file (.config or the inflated
// /proc/config.gz) and appends every symbol to list: "# CONFIG_X is not set"
// gives X = "n", X="text" is stored without its quotes. Keys and values are
// Arena copies. The list is indexed by key at the end (kv_index), so the
// rules' many look-ups are constant time; a symbol that occurs twice answers
// with its later value.
void parse_kernel_config(Arena* a, StrView text, KvList* list);

// Parses the text of /sys/kernel/debug/sched/preempt: appends every model
// word it lists to models (brackets removed, file order) and answers the
// first bracketed one, the active model, or absent when none is bracketed.
// The views point into text.
StrView parse_preempt_file(Arena* a, StrView text, StrList* models);

// Fills the Kernel group of the Snapshot from its Source.
void collect_kernel(Snapshot* snap);
