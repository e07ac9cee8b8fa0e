#include "collect/snapshot.h"
#include "rules/finding.h"
#include "rules/rules.h"

namespace {

struct RuleModule {
  RuleModuleFn run;
  bool needs_measurement;  // runs only when a measurement was attempted
};

// The rule modules in the order they run; each appends its findings.
constexpr RuleModule kRuleModules[] = {
    {preempt_rules, false},
    {isolation_rules, false},
    {irq_rules, false},
    {sched_rules, false},
    {power_rules, false},
    {noise_rules, false},
    {app_rules, false},
    {boot_param_rules, false},
    {console_rules, false},
    {platform_power_rules, false},
    {build_rules, false},
    {boot_drift_rules, false},
    {sysctl_drift_rules, false},
    {measured_rules, true},
};

}  // namespace

RuleContext make_rule_context(const Report* report) {
  const Snapshot* s = report->snapshot;
  RuleContext ctx = {};
  ctx.arena = report->arena;
  ctx.snapshot = s;
  ctx.profile = report->profile;
  ctx.target_us = report->target_us;
  ctx.measured = report->measured;
  if (!s) return ctx;
  ctx.has_isolation = !cpuset_empty(&s->isolated);
  cpuset_copy(&ctx.rt_cpus, ctx.has_isolation ? &s->isolated : &s->online);
  cpuset_copy(&ctx.housekeeping_cpus, &s->housekeeping);
  cpuset_copy(&ctx.online_cpus, &s->online);
  ctx.ncpus = static_cast<int32_t>(s->ncpus);
  return ctx;
}

void run_rules(Report* report, Arena* arena, const Snapshot* snapshot, Profile profile,
               bool measured, double target_us) {
  *report = Report{};
  report->arena = arena;
  report->snapshot = snapshot;
  report->profile = profile;
  report->measured = measured;
  // "Not greater than 0" also catches a NaN target.
  report->target_us = target_us > 0 ? target_us : default_target_us(profile);

  RuleContext ctx = make_rule_context(report);
  for (const RuleModule& module : kRuleModules) {
    if (!snapshot || (module.needs_measurement && !measured)) continue;
    module.run(report, &ctx);
  }

  score_report(report);
  sort_findings(report);
}
