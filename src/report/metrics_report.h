// The metrics report (--format openmetrics): the Report as Prometheus text
// exposition, for node_exporter's textfile collector, so that a fleet's
// Prometheus graphs and alerts on every machine's score. Families:
//   kelvane_score                      the overall score (only when valid)
//   kelvane_category_score{category}   each scored category
//   kelvane_findings{severity}         findings per severity, zeros included
//   kelvane_finding{id,category,severity}  warn and fail findings; those that
//                                      share all three labels are one series
//                                      valued by their count
//   kelvane_measured_latency_seconds{cpu,stat}  min/avg/max per measured CPU,
//                                      cpu="all" for the whole measurement
//   kelvane_info{version,profile,target_us,kernel,preempt_rt}  always 1
//   kelvane_last_run_timestamp_seconds  when the analysis ran
#pragma once

#include <cstdint>
#include <cstdio>

#include "rules/finding.h"

// Writes the whole file to out; run_time_s is the time of the run in
// seconds since the Unix epoch. Write errors are left to the caller.
void write_metrics_report(const Report* report, int64_t run_time_s, FILE* out);
