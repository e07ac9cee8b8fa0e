// Boot parameters and settings that kelvane reads and judges on their own:
// RCU callback polling, the skewed tick, the TSC's clocksource watchdog,
// idle=poll, the hung-task scan, swappiness and transparent hugepages. Each
// finding belongs to the category of what the setting disturbs; a setting
// whose input was not read emits nothing, and a suggestion the machine
// already follows emits nothing either.
#include <cstdint>

#include "base/boot_params_read.h"
#include "collect/platform.h"
#include "collect/snapshot.h"
#include "rules/finding.h"
#include "rules/remedy.h"
#include "rules/rules.h"
#include "source/boot_param_check.h"

namespace {

// skew_tick=1 is suggested from this many online CPUs on.
constexpr uint32_t kSkewTickCpus = 8;
// Swappiness above this lets the kernel swap anonymous memory eagerly.
constexpr int64_t kSwappinessMost = 10;

// Whether any word of the boot line names the parameter with this value
// (the kernel sees every one of them, not only the last).
bool boot_value_given(const KvList* params, const char* key, const char* value) {
  for (const KvPair& p : *params) {
    if (boot_name_eq(p.key, sv_from_cstr(key)) && sv_eq_cstr(p.value, value)) return true;
  }
  return false;
}

// Documentation/admin-guide/kernel-parameters.txt, rcu_nocb_poll: the
// offloaded CPUs no longer wake their rcuog kthreads, which poll instead.
void rule_rcu_nocb_poll(Report* r, const RuleContext* ctx, const Snapshot* s) {
  if (ctx->profile != Profile::hard_rt || !s->rcu_nocbs.has || cpuset_empty(&s->rcu_nocbs.value) ||
      s->rcu_nocb_poll)
    return;
  Finding* f = add_finding(r, "isolation.rcu_nocb_poll", Category::isolation, Severity::warn,
                           sv_lit("rcu_nocbs= is set without rcu_nocb_poll"));
  finding_set_impact(f, sv_lit("Each offloaded CPU still wakes its rcuog kthread when it queues a "
                               "callback; with rcu_nocb_poll those kthreads poll instead, and the "
                               "isolated CPUs are never asked to wake them."));
  finding_set_remediation(f, sv_lit("Boot with rcu_nocb_poll (it costs the periodic wakeups of "
                                    "the polling kthreads on the housekeeping CPUs)."));
  finding_set_cmdline(f, sv_lit("rcu_nocb_poll"));
  finding_set_weight(f, 0.5);
  finding_add_evidence(r, f, sv_lit("/proc/cmdline"), sv_lit("no rcu_nocb_poll"));
}

// Documentation/admin-guide/kernel-parameters.txt, skew_tick=: offsets the
// per-CPU ticks so that they do not all contend for the same locks at once,
// at some cost in power; meant for jitter-sensitive work on larger machines.
void rule_skew_tick(Report* r, const Snapshot* s) {
  if (s->ncpus < kSkewTickCpus || !s->cmdline.ptr || s->skew_tick) return;
  Finding* f = add_finding(r, "noise.skew_tick", Category::noise, Severity::warn,
                           arena_sprintf(r->arena, "Ticks of the %u CPUs are not skewed", s->ncpus));
  finding_set_impact(f, sv_lit("Every CPU's tick fires at the same instant and contends for the "
                               "same timekeeping and RCU locks."));
  finding_set_remediation(f, sv_lit("Boot with skew_tick=1."));
  finding_set_cmdline(f, sv_lit("skew_tick=1"));
  finding_set_weight(f, 0.5);
}

// Documentation/admin-guide/kernel-parameters.txt, tsc=: "reliable" and
// "nowatchdog" stop the clocksource watchdog's periodic check of the TSC.
// Only a TSC that the CPU flags call constant and non-stop is worth trusting.
void rule_tsc_watchdog(Report* r, const Snapshot* s) {
  if (!sv_eq_cstr(s->clocksource, "tsc") || !word_list_has(s->cpu_flags, "constant_tsc") ||
      !word_list_has(s->cpu_flags, "nonstop_tsc"))
    return;
  const KvList* params = &s->cmdline_params;
  if (!s->cmdline.ptr || boot_value_given(params, boot_param("tsc"), "reliable") ||
      boot_value_given(params, boot_param("tsc"), "nowatchdog"))
    return;
  Finding* f = add_finding(r, "noise.tsc_watchdog", Category::noise, Severity::warn,
                           sv_lit("The clocksource watchdog checks a stable TSC"));
  finding_set_detail(f, sv_lit("The clocksource is tsc and the CPU flags hold constant_tsc and "
                               "nonstop_tsc."));
  finding_set_impact(f, sv_lit("The watchdog's timer compares the TSC against another clock "
                               "every half second, reading a slow clock on whichever CPU it "
                               "lands."));
  finding_set_remediation(f, sv_lit("Boot with tsc=reliable (or tsc=nowatchdog)."));
  finding_set_cmdline(f, sv_lit("tsc=reliable"));
  finding_set_weight(f, 0.5);
  finding_add_evidence(r, f, sv_lit("/sys/devices/system/clocksource/clocksource0/current_clocksource"),
                       s->clocksource);
}

// Documentation/admin-guide/kernel-parameters.txt, idle=poll: wakeups are
// faster, at the price of a lot of power and heat (and thermal throttling,
// Documentation/timers/no_hz.rst, "Known Issues"). A deliberate choice: noted,
// not graded.
void rule_idle_poll(Report* r, const Snapshot* s) {
  if (!s->idle_poll) return;
  Finding* f = add_finding(r, "power.idle_poll", Category::power, Severity::na,
                           sv_lit("idle=poll: idle CPUs spin instead of entering C-states"));
  finding_set_detail(f, sv_lit("A deliberate choice: wakeup from idle costs nothing, but every idle "
                               "CPU runs at full power and heat, and a hot package may be "
                               "thermally throttled. Capping C-states (max_cstate=1) keeps most "
                               "of the gain."));
  finding_add_evidence(r, f, sv_lit("/proc/cmdline"), sv_lit("idle=poll"));
}

// Documentation/admin-guide/sysctl/kernel.rst, hung_task_timeout_secs: 0
// means no checking; otherwise khungtaskd scans every task periodically.
void rule_hung_task(Report* r, const Snapshot* s) {
  if (!s->hung_task_timeout_secs.has || s->hung_task_timeout_secs.value == 0) return;
  Finding* f = add_finding(r, "noise.hung_task", Category::noise, Severity::warn,
                           arena_sprintf(r->arena, "Hung-task checker scans every %lld s",
                                         static_cast<long long>(s->hung_task_timeout_secs.value)));
  finding_set_impact(f, sv_lit("khungtaskd wakes periodically and walks every task of the system "
                               "under RCU."));
  finding_set_said_code(f, r->arena,
                        sv_lit("Turn the check off (kernel.hung_task_timeout_secs = 0):"),
                        "echo 0 > /proc/sys/kernel/hung_task_timeout_secs");
  finding_set_sysctl(f, sv_lit("kernel.hung_task_timeout_secs = 0"));
  finding_set_weight(f, 0.25);
}

// Documentation/admin-guide/sysctl/vm.rst, swappiness: how eagerly the
// kernel swaps anonymous memory rather than dropping page cache.
void rule_swappiness(Report* r, const Snapshot* s) {
  if (!s->swap_active || !s->swappiness.has || s->swappiness.value <= kSwappinessMost) return;
  Finding* f = add_finding(r, "noise.swappiness", Category::noise, Severity::warn,
                           arena_sprintf(r->arena, "vm.swappiness is %lld with swap active",
                                         static_cast<long long>(s->swappiness.value)));
  finding_set_impact(f, sv_lit("Application memory that is not locked is swapped out in favour of "
                               "page cache, and comes back through a major fault."));
  finding_set_said_code(f, r->arena,
                        sv_lit("Swap anonymous memory only under pressure (vm.swappiness = 10):"),
                        "echo 10 > /proc/sys/vm/swappiness");
  finding_set_sysctl(f, sv_lit("vm.swappiness = 10"));
  finding_set_weight(f, 0.5);
}

// Documentation/admin-guide/mm/transhuge.rst: with "always", khugepaged
// scans and collapses the memory of every process, whatever defrag says.
void rule_thp_enabled(Report* r, const Snapshot* s) {
  if (!sv_contains(s->thp_enabled, "[always]")) return;
  Finding* f = add_finding(r, "noise.thp_enabled", Category::noise, Severity::warn,
                           sv_lit("Transparent hugepages are enabled for every process"));
  finding_set_impact(f, sv_lit("khugepaged scans every process's memory and collapses pages into "
                               "huge pages, taking its locks while the application runs."));
  finding_set_said_code(f, r->arena,
                        sv_lit("Use huge pages only where asked for (or \"never\"; at boot, "
                               "transparent_hugepage=madvise):"),
                        "echo madvise > /sys/kernel/mm/transparent_hugepage/enabled");
  finding_set_cmdline(f, sv_lit("transparent_hugepage=madvise"));
  finding_set_weight(f, 0.25);
  finding_add_evidence(r, f, sv_lit("/sys/kernel/mm/transparent_hugepage/enabled"), s->thp_enabled);
}

}  // namespace

void boot_param_rules(Report* report, const RuleContext* ctx) {
  const Snapshot* s = ctx->snapshot;
  rule_rcu_nocb_poll(report, ctx, s);
  rule_skew_tick(report, s);
  rule_tsc_watchdog(report, s);
  rule_idle_poll(report, s);
  rule_hung_task(report, s);
  rule_swappiness(report, s);
  rule_thp_enabled(report, s);
}
