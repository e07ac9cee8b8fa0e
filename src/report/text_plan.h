// The "WHAT TO DO" section of the text report: the remediation plan with the
// combined kernel command line as item 1, the item limit, and the advice on
// fixes that write to /proc or /sys.
#pragma once

#include <cstdio>

#include "base/arena.h"
#include "report/plan.h"
#include "report/text_options.h"

// Prints the plan's items, from the first numbered item on (the rule and the
// heading are the report's). Prints nothing for an empty plan.
void write_plan_section(FILE* out, Arena* a, const RemediationPlan* plan, const TextOptions* opts);
