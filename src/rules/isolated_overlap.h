// One shape shared by the checks of where a kernel mechanism may run (the
// lockup watchdog, unbound workqueues): a pass when it is kept off the
// isolated CPUs, else a warning that names the isolated CPUs it may reach.
#pragma once

#include "base/cpuset.h"
#include "rules/finding.h"

// Emits id as a pass titled pass_title when overlap is empty and answers
// null; else emits it as a warning whose title is warn_title with the
// cpulist of overlap for its "%.*s", and answers it.
Finding* add_isolated_overlap(Report* r, const char* id, Category c, const CpuSet* overlap,
                              const char* pass_title, const char* warn_title);
