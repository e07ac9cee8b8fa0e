// The analysis of one opened Source, as every run that grades a machine does
// it: collection, stamping, measurement when asked for, and the rules.
#pragma once

#include "base/arena.h"
#include "cli/options.h"
#include "rules/finding.h"
#include "source/source.h"

// Collects a Snapshot from src with the options' sampling interval, stamps
// the tool version and privilege, measures when o->measure asks for it on
// the live system, and grades it with the options' profile and target.
Report* analyse(Arena* a, const Options* o, Source* src);
