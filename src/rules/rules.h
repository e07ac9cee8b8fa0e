// The rule engine: runs the rule modules over a Snapshot in a fixed order,
// scores the findings per category and overall, and sorts them.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "rules/finding.h"

struct Snapshot;

// Clears and fills *report: sets arena, snapshot, profile, measured and the
// target (a target_us of 0 or below means the profile's default), runs every
// rule module in order (the measured-latency module only when measured is
// true), scores the report and sorts its findings with compare_findings.
void run_rules(Report* report, Arena* arena, const Snapshot* snapshot, Profile profile,
               bool measured, double target_us);

// The context handed to the rule modules, built from the report's arena,
// snapshot, profile, target_us and measured fields: rt_cpus is the isolated
// set when it has any CPU, else the online set.
RuleContext make_rule_context(const Report* report);

// Computes category_scored, category_score, score_valid and score from the
// findings. Findings of severity unknown or na, and categories outside 0..6,
// count for nothing.
void score_report(Report* report);

// The order of findings in a finished report: category ascending, then
// severity_rank ascending (fail, warn, unknown, pass, na), then id bytewise.
// Negative, zero or positive like strcmp.
int compare_findings(const Finding* a, const Finding* b);

// Stable sort of the report's findings by compare_findings.
void sort_findings(Report* report);

// A rule module appends its findings to the report; it never edits or removes
// findings of another module.
using RuleModuleFn = void (*)(Report* report, const RuleContext* ctx);

// The rule modules, in the order run_rules runs them.
void preempt_rules(Report* report, const RuleContext* ctx);
void isolation_rules(Report* report, const RuleContext* ctx);
void irq_rules(Report* report, const RuleContext* ctx);
void sched_rules(Report* report, const RuleContext* ctx);
void power_rules(Report* report, const RuleContext* ctx);
void noise_rules(Report* report, const RuleContext* ctx);
// Memory locking and page faults of the real-time applications (scheduling).
void app_rules(Report* report, const RuleContext* ctx);
// Boot parameters and settings judged on their own: RCU polling, tick skew,
// the TSC watchdog, idle=poll, the hung-task scan, swappiness and THP
// (each finding in the category of what it disturbs).
void boot_param_rules(Report* report, const RuleContext* ctx);
// The consoles and the console log level (noise).
void console_rules(Report* report, const RuleContext* ctx);
// Energy preference, thermal throttling and PCIe link power (power).
void platform_power_rules(Report* report, const RuleContext* ctx);
// Kernel build options that cost latency at run time (preemption).
void build_rules(Report* report, const RuleContext* ctx);
// Drift: the boot configuration and TuneD against the running kernel, and
// persisted sysctls against the running values. Their findings go to the
// categories of the rules that read each setting.
void boot_drift_rules(Report* report, const RuleContext* ctx);
void sysctl_drift_rules(Report* report, const RuleContext* ctx);
void measured_rules(Report* report, const RuleContext* ctx);
