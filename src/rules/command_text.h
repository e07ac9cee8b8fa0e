// Text placed inside a remediation command. A command is printed as lines the
// user may paste into a shell, so machine text inside it (an idle-state name,
// an isolcpus flag) must not be able to add a line or a terminal escape of
// its own, and CPU numbers for a shell loop must be words, not a cpulist.
#pragma once

#include "base/arena.h"
#include "base/cpuset.h"
#include "base/str.h"

// Appends v with every control byte (0x00-0x1f and 0x7f, newline included)
// replaced by "?". Other bytes are kept as they are.
void sb_append_command_text(StrBuf* sb, StrView v);

// A copy of v in the Arena made as sb_append_command_text makes it.
StrView command_text(Arena* a, StrView v);

// The CPUs of s as decimal numbers separated by single spaces ("2 3 6 7"),
// the form a `for c in ...; do` loop needs; empty for an empty set.
StrView command_cpu_words(Arena* a, const CpuSet* s);
