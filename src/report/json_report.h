// The JSON report (--format json): the Report as one JSON document for
// machines -- score, verdict, category scores, every finding with its
// evidence, and a summary of the Snapshot including the measurement and the
// failed reads. Streamed straight to the output, two spaces of
// indentation per level; no tree is built.
#pragma once

#include <cstdio>

#include "rules/finding.h"

// Writes the whole document for report to out. The Snapshot, with the
// failed reads collection handed it, is reached through report->snapshot; a
// missing Snapshot writes the empty summary.
// Temporary texts (CPU lists) come from report->arena.
// Write errors of the stream are left to the caller (check ferror).
void write_json_report(const Report* report, FILE* out);

// The grade of report as members at indent: "score" (null when not
// computed), "verdict", "profile" and "target_us", the last without the
// ",\n" that follows the others.
void json_grade_members(FILE* out, const char* indent, const Report* report);
