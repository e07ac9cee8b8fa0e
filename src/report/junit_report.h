// The JUnit report (--format junit): the Report as JUnit XML for CI servers.
// One testsuite per category that has findings, one testcase per finding:
// a fail finding fails its testcase, an unknown or na finding is skipped,
// and a warn finding passes with its text in <system-out>, so warnings are
// visible without turning a pipeline red (--fail-under stays the gate).
#pragma once

#include <cstdio>

#include "rules/finding.h"

// Writes the whole document to out. Texts from the findings and the
// Snapshot are escaped for XML. Write errors are left to the caller.
void write_junit_report(const Report* report, FILE* out);
