// System noise rules: background work that reaches every CPU (swap,
// transparent-hugepage defrag, timer migration, NUMA balancing, the lockup
// watchdogs, machine-check polling, same-page merging, VM statistics), the
// clocksource and the speculative-execution mitigations. A check whose input
// was not read emits nothing. Every finding here belongs to the "noise"
// category.
#include <cstdint>

#include "base/fmt.h"
#include "collect/snapshot.h"
#include "rules/finding.h"
#include "rules/lockup_watchdog.h"
#include "rules/rules.h"

namespace {

constexpr Category kCat = Category::noise;

bool known(StrView v) {
  return v.ptr != nullptr && v.len > 0;
}

// /proc/swaps was read: the device list is then present, empty without swap.
void rule_swap(Report* r, const RuleContext* ctx, const Snapshot* s) {
  if (!s->swap_active) {
    if (sv_present(s->swap_devices)) {
      add_finding(r, "noise.swap", kCat, Severity::pass, sv_lit("No swap configured"));
    }
    return;
  }
  Arena* a = r->arena;
  Severity sev = ctx->profile == Profile::low_latency ? Severity::warn : Severity::fail;
  int64_t kb = s->swap_total_kb;
  int64_t bytes = kb > INT64_MAX / 1024 ? INT64_MAX : kb * 1024;
  Finding* f = add_finding(r, "noise.swap", kCat, sev,
                           arena_sprintf(a, "Swap is active (%.*s)", SV_ARG(fmt_bytes(a, bytes))));
  if (known(s->swap_devices)) {
    finding_set_detail(f, arena_sprintf(a, "Devices: %.*s", SV_ARG(s->swap_devices)));
  } else {
    finding_set_detail(f, sv_lit("At least one swap area is enabled."));
  }
  finding_set_impact(f, sv_lit("A major fault in an RT thread blocks on storage. Nothing in the "
                               "scheduler bounds that wait, and mlockall() only protects the "
                               "process that calls it."));
  finding_set_remediation(f, sv_lit("swapoff -a   (and remove the swap entry from /etc/fstab)"));
  finding_set_weight(f, 2);
  finding_add_evidence_cstr(r, f, "/proc/swaps",
                            sv_present(s->swap_devices) ? s->swap_devices : sv_lit(""));
}

// The kernel brackets the selected mode. Defrag does nothing while
// transparent hugepages themselves are disabled.
void rule_thp_defrag(Report* r, const Snapshot* s) {
  if (!sv_present(s->thp_defrag)) return;
  const char* defrag_key = "/sys/kernel/mm/transparent_hugepage/defrag";
  Finding* f;
  if (!sv_contains(s->thp_defrag, "[always]")) {
    f = add_finding(r, "noise.thp_defrag", kCat, Severity::pass,
                    sv_lit("Transparent hugepage defrag is not 'always'"));
  } else if (sv_contains(s->thp_enabled, "[never]")) {
    f = add_finding(r, "noise.thp_defrag", kCat, Severity::pass,
                    sv_lit("Transparent hugepages disabled; defrag has no effect"));
    finding_add_evidence_cstr(r, f, "/sys/kernel/mm/transparent_hugepage/enabled", s->thp_enabled);
  } else {
    f = add_finding(r, "noise.thp_defrag", kCat, Severity::fail,
                    sv_lit("Transparent hugepage defrag set to 'always'"));
    finding_set_impact(f, sv_lit("A page fault can trigger synchronous compaction inside the "
                                 "faulting thread, stalling it for milliseconds while the kernel "
                                 "shuffles memory."));
    finding_set_remediation(
        f, sv_lit("echo defer > /sys/kernel/mm/transparent_hugepage/defrag   (or 'never')"));
    finding_set_weight(f, 1.5);
  }
  finding_add_evidence_cstr(r, f, defrag_key, s->thp_defrag);
}

// ---- Switches read from one file: on warns, off passes ----

struct SwitchCheck {
  const char* id;
  OptInt Snapshot::*value;
  bool on_only_at_1;     // only the value 1 counts as on; otherwise any non-zero
  const char* on_title;  // "%lld" may receive the value
  const char* off_title;
  const char* impact;
  const char* remediation;
  const char* sysctl;  // the sysctl.d line that fixes it; null for other files
};

constexpr SwitchCheck kTimerChecks[] = {
    {"noise.timer_migration", &Snapshot::timer_migration, false, "Timer migration enabled",
     "Timer migration disabled",
     "The kernel may move timers onto an idle CPU, which can pull timer interrupts onto an "
     "isolated core that was deliberately left quiet.",
     "Set kernel.timer_migration = 0 in /etc/sysctl.d/90-kelvane-rt.conf and apply it with "
     "sysctl --system.",
     "kernel.timer_migration = 0"},
    {"noise.numa_balancing", &Snapshot::numa_balancing, false, "Automatic NUMA balancing enabled",
     "Automatic NUMA balancing disabled",
     "The kernel periodically unmaps pages to sample access patterns; the next touch takes a minor "
     "fault the application never asked for.",
     "Set kernel.numa_balancing = 0 in /etc/sysctl.d/90-kelvane-rt.conf and apply it with "
     "sysctl --system.",
     "kernel.numa_balancing = 0"},
};

constexpr SwitchCheck kPollingChecks[] = {
    {"noise.mce_poll", &Snapshot::mce_check_interval, false, "Machine-check polling every %lld s",
     "Machine-check polling disabled",
     "The poll runs from a per-CPU timer and reads model-specific registers with interrupts "
     "disabled.",
     "echo 0 > /sys/devices/system/machinecheck/machinecheck0/check_interval   (repeat per CPU)",
     nullptr},
    {"noise.ksm", &Snapshot::ksm_run, true, "Kernel same-page merging is running",
     "Kernel same-page merging is off",
     "ksmd scans and merges anonymous pages; a later write to a merged page takes a copy-on-write "
     "fault the application did not cause.",
     "echo 0 > /sys/kernel/mm/ksm/run", nullptr},
};

void rule_switch(Report* r, const Snapshot* s, const SwitchCheck& c) {
  const OptInt& opt = s->*c.value;
  if (!opt.has) return;
  int64_t v = opt.value;
  bool on = c.on_only_at_1 ? v == 1 : v != 0;
  if (!on) {
    add_finding(r, c.id, kCat, Severity::pass, sv_from_cstr(c.off_title));
    return;
  }
  Finding* f = add_finding(r, c.id, kCat, Severity::warn,
                           arena_sprintf(r->arena, c.on_title, static_cast<long long>(v)));
  finding_set_impact(f, sv_from_cstr(c.impact));
  finding_set_remediation(f, sv_from_cstr(c.remediation));
  if (c.sysctl) finding_set_sysctl(f, sv_from_cstr(c.sysctl));
}

// ---- Watchdogs ----

// The NMI watchdog takes precedence over the soft-lockup watchdog: at most
// one finding. Either runs on every online CPU, so an enabled watchdog warns
// even when the online CPUs could not be read.
void rule_watchdog(Report* r, const Snapshot* s) {
  if (!s->watchdog.has && !s->nmi_watchdog.has) return;
  if (s->nmi_watchdog.has && s->nmi_watchdog.value != 0) {
    Finding* f =
        add_finding(r, "noise.watchdog", kCat, Severity::warn, sv_lit("NMI watchdog is enabled"));
    finding_set_impact(f, sv_lit("The NMI watchdog samples via a performance counter and its "
                                 "handler cannot be masked, deferred, or preempted by anything."));
    finding_set_remediation(f, sv_lit("Set kernel.nmi_watchdog = 0 in "
                                      "/etc/sysctl.d/90-kelvane-rt.conf and apply it with sysctl "
                                      "--system (or boot with nmi_watchdog=0)."));
    finding_set_sysctl(f, sv_lit("kernel.nmi_watchdog = 0"));
    return;
  }
  if (soft_lockup_watchdog_runs(s)) {
    Finding* f = add_finding(r, "noise.watchdog", kCat, Severity::warn,
                             sv_lit("Soft-lockup watchdog is enabled"));
    finding_set_impact(f, sv_lit("A per-CPU watchdog thread is woken on a timer purely to prove "
                                 "the CPU is alive."));
    finding_set_remediation(f, sv_lit("Set kernel.watchdog = 0 in /etc/sysctl.d/90-kelvane-rt.conf "
                                      "and apply it with sysctl --system (or boot with nowatchdog "
                                      "nosoftlockup)."));
    finding_set_sysctl(f, sv_lit("kernel.watchdog = 0"));
    return;
  }
  add_finding(r, "noise.watchdog", kCat, Severity::pass, sv_lit("Watchdogs disabled"));
}

// Only a short interval is reported; 0, negative or 10 s and more say nothing.
void rule_vm_stat_interval(Report* r, const Snapshot* s) {
  if (!s->stat_interval.has || s->stat_interval.value < 1 || s->stat_interval.value > 9) return;
  Finding* f = add_finding(r, "noise.vm_stat_interval", kCat, Severity::warn,
                           arena_sprintf(r->arena, "VM statistics folded every %lld s",
                                         static_cast<long long>(s->stat_interval.value)));
  finding_set_impact(f, sv_lit("vmstat_update runs as a per-CPU deferred work item, including on "
                               "isolated cores."));
  finding_set_remediation(f, sv_lit("Set vm.stat_interval = 300 in "
                                    "/etc/sysctl.d/90-kelvane-rt.conf and apply it with sysctl "
                                    "--system."));
  finding_set_sysctl(f, sv_lit("vm.stat_interval = 300"));
}

void rule_clocksource(Report* r, const Snapshot* s) {
  StrView name = s->clocksource;
  if (!known(name)) return;
  bool fast = sv_eq_cstr(name, "tsc") || sv_eq_cstr(name, "arch_sys_counter");
  Finding* f = add_finding(r, "noise.clocksource", kCat, fast ? Severity::pass : Severity::warn,
                           arena_sprintf(r->arena, "Clocksource is '%.*s'", SV_ARG(name)));
  if (!fast) {
    finding_set_impact(f, sv_lit("Reading the clock traps out of the vDSO into a device access, so "
                                 "every timestamp the application takes costs orders of magnitude "
                                 "more than a TSC read."));
    finding_set_remediation(f, sv_lit("Investigate why the TSC was rejected (dmesg | grep -i tsc); "
                                      "an unstable TSC is usually a firmware or virtualisation "
                                      "issue."));
  }
  finding_add_evidence_cstr(
      r, f, "/sys/devices/system/clocksource/clocksource0/current_clocksource", name);
}

void rule_mitigations(Report* r, const Snapshot* s) {
  StrView v = s->mitigations_param;
  if (!known(v)) return;
  if (sv_eq_cstr(v, "off")) {
    Finding* f = add_finding(r, "noise.mitigations", kCat, Severity::pass,
                             sv_lit("Speculative-execution mitigations disabled"));
    finding_set_detail(f, sv_lit("Removes the per-syscall and per-context-switch barrier cost, at "
                                 "a security tradeoff the operator has accepted."));
    return;
  }
  Finding* f = add_finding(r, "noise.mitigations", kCat, Severity::pass,
                           arena_sprintf(r->arena, "Mitigations set to '%.*s'", SV_ARG(v)));
  finding_set_detail(f, sv_lit("Mitigation barriers add a fixed cost to every syscall and context "
                               "switch."));
}

}  // namespace

void noise_rules(Report* report, const RuleContext* ctx) {
  const Snapshot* s = ctx->snapshot;
  rule_swap(report, ctx, s);
  rule_thp_defrag(report, s);
  for (const SwitchCheck& c : kTimerChecks) rule_switch(report, s, c);
  rule_watchdog(report, s);
  for (const SwitchCheck& c : kPollingChecks) rule_switch(report, s, c);
  rule_vm_stat_interval(report, s);
  rule_clocksource(report, s);
  rule_mitigations(report, s);
}
