// The HTML report (--format html): one self-contained page -- no script, no
// external resource -- with the score and category bars, the remediation
// plan, the measured latency, every finding as a collapsible block, the
// interrupt heat map and the idle-state table. Every text from the analysed
// machine, the Report or a Finding is escaped.
#pragma once

#include <cstdio>

#include "rules/finding.h"

// Writes the page for report to out. The Snapshot is reached through
// report->snapshot, the failed reads among its records; a missing
// Snapshot writes the page of an empty one. Temporary texts come from
// report->arena. Write errors of the stream are left to the caller.
void write_html_report(const Report* report, FILE* out);
