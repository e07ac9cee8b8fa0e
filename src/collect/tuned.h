// TuneD: the active profile and, for the profiles that isolate CPUs, the
// isolated_cores of their variables file.
#pragma once

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"

struct Snapshot;

// Parses a TuneD variables file: "name=value" lines, "#" comments, blanks
// around the name and value dropped. "${name}" in a value is replaced by the
// value of an earlier variable of the file; any other "${...}" (a TuneD
// function such as ${f:calc_isolated_cores:1}) leaves the value absent, as it
// cannot be worked out here.
void parse_tuned_variables(Arena* a, StrView text, KvList* out);

// Fills tuned_profile from /etc/tuned/active_profile and, with the realtime
// or cpu-partitioning profile active, tuned_variables_file and
// tuned_isolated_cores from /etc/tuned/<profile>-variables.conf.
void collect_tuned(Snapshot* snap);
