// The text report: the default output of an analysis run, a terminal-oriented
// summary of one Report -- header, overall and category scores, findings by
// severity, the measured latency, "WHAT TO DO" and the unreadable paths.
#pragma once

#include <cstdint>
#include <cstdio>

#include "rules/finding.h"

// Filled by the run driver from the command line and the environment.
struct TextOptions {
  bool color;          // emit ANSI escape sequences
  bool ascii;          // --ascii: only 7-bit characters in the output
  bool verbose;        // -v: impact, evidence and fix of every finding
  bool quiet;          // -q: only the score, problems, measurement and plan
  int32_t plan_limit;  // most numbered plan items; 0 or less: no limit
};

// 8 numbered items by default; -v sets the limit to 0 (no limit).
constexpr int32_t kDefaultPlanLimit = 8;

// Writes the whole report to out. Only formats: the Report is not changed.
// Temporary texts come from report->arena. Write errors of the stream are
// left to the caller.
void write_text_report(const Report* report, const TextOptions* opts, FILE* out);
