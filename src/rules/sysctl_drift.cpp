// Drift between the running sysctls and what systemd-sysctl writes at the
// next boot: a value persisted that the kernel does not run now, and a value
// set at run time only whose kernel default would not pass its rule (so the
// next boot undoes the tuning). Findings go to the category of the rule that
// reads the sysctl; no difference, no finding.
#include "base/cpuset.h"
#include "base/parse.h"
#include "collect/snapshot.h"
#include "collect/sysctl_conf.h"
#include "rules/finding.h"
#include "rules/rules.h"

namespace {

struct SysctlDrift {
  const char* id;
  const char* key;  // dotted name
  Category category;
  OptInt Snapshot::*value;
  bool has_default;        // the kernel's built-in value is known
  int64_t kernel_default;  // what a boot without the setting runs
  bool (*passes)(int64_t v);
  bool (*boot_turns_off)(const Snapshot* s);  // a boot parameter already gives a passing default
};

bool is_zero(int64_t v) { return v == 0; }
bool unthrottled(int64_t v) { return v < 0; }
bool slow_vmstat(int64_t v) { return v < 1 || v > 9; }
bool low_swappiness(int64_t v) { return v <= 10; }
bool never(const Snapshot*) { return false; }
bool no_soft_watchdog(const Snapshot* s) { return s->nowatchdog || s->nosoftlockup; }
bool no_swap(const Snapshot* s) { return !s->swap_active; }  // swappiness then costs nothing

// Kernel defaults: timer_migration 1 and the soft-lockup watchdog on
// (Documentation/admin-guide/sysctl/kernel.rst), sched_rt_runtime_us 950000
// (Documentation/scheduler/sched-rt-group.rst), stat_interval 1 s
// (Documentation/admin-guide/sysctl/vm.rst). numa_balancing's default depends
// on the build and the machine, and nmi_watchdog reads 0 wherever the
// hardware has no counter for it (most virtual machines), so for those two
// only a persisted value is compared.
constexpr SysctlDrift kSysctls[] = {
    {"sched.rt_runtime_drift", "kernel.sched_rt_runtime_us", Category::scheduling,
     &Snapshot::sched_rt_runtime_us, true, 950000,
     unthrottled, never},
    {"noise.timer_migration_drift", "kernel.timer_migration", Category::noise,
     &Snapshot::timer_migration, true, 1,
     is_zero, never},
    {"noise.numa_balancing_drift", "kernel.numa_balancing", Category::noise,
     &Snapshot::numa_balancing, false, 0,
     is_zero, never},
    {"noise.watchdog_drift", "kernel.watchdog", Category::noise, &Snapshot::watchdog, true, 1,
     is_zero, no_soft_watchdog},
    {"noise.nmi_watchdog_drift", "kernel.nmi_watchdog", Category::noise,
     &Snapshot::nmi_watchdog, false, 1,
     is_zero, never},
    {"noise.vm_stat_interval_drift", "vm.stat_interval", Category::noise,
     &Snapshot::stat_interval, true, 1,
     slow_vmstat, never},
    // Every other sysctl a rule reads. Their defaults depend on the build
    // (CONFIG_DEFAULT_HUNG_TASK_TIMEOUT, CONFIG_SCHEDSTATS) or on nothing a
    // rule judges alone, so only a persisted value is compared, except
    // swappiness, whose default is 60 (Documentation/admin-guide/sysctl/vm.rst).
    {"sched.rt_period_drift", "kernel.sched_rt_period_us", Category::scheduling,
     &Snapshot::sched_rt_period_us, false, 0, is_zero, never},
    {"sched.rr_timeslice_drift", "kernel.sched_rr_timeslice_ms", Category::scheduling,
     &Snapshot::sched_rr_timeslice_ms, false, 0, is_zero, never},
    {"preempt.schedstats_drift", "kernel.sched_schedstats", Category::preemption,
     &Snapshot::sched_schedstats, false, 0, is_zero, never},
    {"noise.hung_task_drift", "kernel.hung_task_timeout_secs", Category::noise,
     &Snapshot::hung_task_timeout_secs, false, 0, is_zero, never},
    {"noise.swappiness_drift", "vm.swappiness", Category::noise, &Snapshot::swappiness, true, 60,
     low_swappiness, no_swap},
};

void persisted_differs(Report* r, const SysctlDrift& d, int64_t now, const PersistedSysctl* p) {
  Arena* a = r->arena;
  Finding* f = add_finding(r, d.id, d.category, Severity::warn,
                           arena_sprintf(a, "%s is %lld now; the next boot sets %.*s", d.key,
                                         static_cast<long long>(now), SV_ARG(p->value)));
  finding_set_detail(f, arena_sprintf(a, "%.*s line %d persists %s = %.*s.", SV_ARG(p->file),
                                      p->line, d.key, SV_ARG(p->value)));
  finding_set_impact(f, sv_lit("The running value and the persisted one disagree, so the machine "
                               "behaves differently after its next reboot."));
  finding_set_remediation(f, arena_sprintf(a, "Make %.*s line %d hold the value you want, then "
                                           "apply it with sysctl --system.",
                                           SV_ARG(p->file), p->line));
  finding_add_evidence(r, f, p->file, arena_sprintf(a, "%s = %.*s", d.key, SV_ARG(p->value)));
  finding_add_evidence_cstr(r, f, "running", arena_sprintf(a, "%lld", static_cast<long long>(now)));
}

void runtime_only(Report* r, const SysctlDrift& d, int64_t now) {
  Arena* a = r->arena;
  Finding* f = add_finding(r, d.id, d.category, Severity::warn,
                           arena_sprintf(a, "%s = %lld set at run time only: lost at the next boot",
                                         d.key, static_cast<long long>(now)));
  finding_set_detail(f, arena_sprintf(a, "No sysctl.d file or /etc/sysctl.conf sets it; the kernel "
                                      "boots with %lld.", static_cast<long long>(d.kernel_default)));
  finding_set_impact(f, sv_lit("The tuning holds only until the next reboot, after which the "
                               "kernel's default brings the noise back."));
  finding_set_remediation(f, arena_sprintf(a, "Persist it: add \"%s = %lld\" to "
                                           "/etc/sysctl.d/90-kelvane-rt.conf and run sysctl --system.",
                                           d.key, static_cast<long long>(now)));
  finding_set_sysctl(f, arena_sprintf(a, "%s = %lld", d.key, static_cast<long long>(now)));
}

void check_sysctl(Report* r, const Snapshot* s, const SysctlDrift& d) {
  const OptInt& value = s->*d.value;
  if (!value.has) return;
  int64_t now = value.value;
  const PersistedSysctl* p = sysctl_conf_get(&s->sysctl_conf, d.key);
  if (p) {
    int64_t v;
    if (!parse_i64(p->value, &v) || v != now) persisted_differs(r, d, now, p);
    return;
  }
  // Without any sysctl file (a tree or bundle taken without them) nothing
  // says what is persisted.
  if (s->sysctl_conf.files.count == 0) return;
  if (d.has_default && d.passes(now) && !d.passes(d.kernel_default) && !d.boot_turns_off(s)) {
    runtime_only(r, d, now);
  }
}

// The watchdog CPU list compares as a set; its kernel default (every CPU)
// depends on the machine, so only a persisted value is compared.
void check_watchdog_cpumask(Report* r, const Snapshot* s) {
  const PersistedSysctl* p = sysctl_conf_get(&s->sysctl_conf, "kernel.watchdog_cpumask");
  if (!p || !s->watchdog_cpumask.has) return;
  CpuSet want;
  cpuset_parse_list(&want, p->value);
  if (cpuset_equal(&want, &s->watchdog_cpumask.value)) return;
  Arena* a = r->arena;
  StrView now = cpuset_format_list(a, &s->watchdog_cpumask.value);
  Finding* f = add_finding(r, "isolation.watchdog_cpumask_drift", Category::isolation, Severity::warn,
                           arena_sprintf(a, "kernel.watchdog_cpumask is %.*s now; the next boot sets "
                                         "%.*s", SV_ARG(now), SV_ARG(p->value)));
  finding_set_remediation(f, arena_sprintf(a, "Make %.*s line %d hold the CPUs you want, then apply "
                                           "it with sysctl --system.", SV_ARG(p->file), p->line));
  finding_add_evidence(r, f, p->file, arena_sprintf(a, "kernel.watchdog_cpumask = %.*s", SV_ARG(p->value)));
  finding_add_evidence_cstr(r, f, "running", now);
}

}  // namespace

void sysctl_drift_rules(Report* report, const RuleContext* ctx) {
  const Snapshot* s = ctx->snapshot;
  for (const SysctlDrift& d : kSysctls) check_sysctl(report, s, d);
  check_watchdog_cpumask(report, s);
}
