// The "snapshot" member of the JSON report: the summary of what was collected
// about the machine, the measurement and the failed reads.
#pragma once

#include <cstdio>

#include "base/arena.h"
#include "collect/snapshot.h"

// Writes the value of the top-level "snapshot" member, from its "{" to the
// closing two spaces and "}" (no line break after it); members are indented
// by four spaces. The CPU list texts are allocated from arena.
void json_write_snapshot(FILE* out, Arena* arena, const Snapshot* snap);
