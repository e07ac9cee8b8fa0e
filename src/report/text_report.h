// The text report: the default output of an analysis run, a terminal-oriented
// summary of one Report -- header, overall and category scores, findings by
// severity, the measured latency, "WHAT TO DO" and the unreadable paths.
#pragma once

#include <cstdint>
#include <cstdio>

#include "report/text_options.h"
#include "rules/finding.h"

// TextOptions (color, ascii, verbose, quiet, plan_limit) is filled by the run
// driver from the command line and the environment. plan_limit is the most
// numbered items in "WHAT TO DO", the command-line item included; 0 or less
// means no limit.

// 8 numbered items by default; -v sets the limit to 0 (no limit).
constexpr int32_t kDefaultPlanLimit = 8;

// Writes the whole report to out. Only formats: the Report is not changed.
// Temporary texts come from report->arena. Write errors of the stream are
// left to the caller.
void write_text_report(const Report* report, const TextOptions* opts, FILE* out);
