// Boot command-line collector: /proc/cmdline split into words and the
// isolation and noise-related boot parameters read from them.
#pragma once

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"
#include "collect/snapshot.h"

// Splits a command line at white space into key/value pairs appended to out:
// the text before the first "=" is the key, the rest the value (absent for a
// word without "="). Quotes have no special meaning. As the kernel reads it:
// keys are spelled with '_' where the word has '-', and the words after a
// lone "--" (init's arguments) are left out.
void parse_cmdline_words(Arena* a, StrView text, KvList* out);

// Fills the Boot command line group of the Snapshot from its Source.
void collect_cmdline(Snapshot* snap);

// Parses the cpulist boot parameters again (isolcpus=, nohz_full=,
// rcu_nocbs=, irqaffinity=, kthread_cpus=) now that the last possible CPU is
// known, so that the kernel's spellings N and all count: isolcpus=2-N must
// not read as no isolation. Called by the topology step.
void cmdline_resolve_cpulists(Snapshot* snap, int32_t last_cpu);
