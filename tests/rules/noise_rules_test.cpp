#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rules/rule_module_test.h"

namespace {

class NoiseRulesTest : public RuleModuleTest {};

void swap_on(Snapshot* s) {
  s->swap_active = true;
  s->swap_total_kb = 768;
  s->swap_devices = sv_from_cstr("/dev/sda2, /swapfile");
}

void thp(Snapshot* s, const char* enabled, const char* defrag) {
  s->thp_enabled = sv_from_cstr(enabled);
  s->thp_defrag = sv_from_cstr(defrag);
}

void watchdogs(Snapshot* s, int watchdog, int nmi, int soft) {
  machine(s, "0-3");
  s->watchdog.has = watchdog >= 0;
  s->watchdog.value = watchdog;
  s->nmi_watchdog.has = nmi >= 0;
  s->nmi_watchdog.value = nmi;
  s->soft_watchdog.has = soft >= 0;
  s->soft_watchdog.value = soft;
}

void stat_interval(Snapshot* s, int64_t v) {
  s->stat_interval.has = true;
  s->stat_interval.value = v;
}

const RuleCase kCases[] = {
    {"swap on, hard-rt", swap_on, Profile::hard_rt, "noise.swap", Severity::fail, 2,
     "Swap is active (768.0 kB)"},
    {"swap on, low-latency", swap_on, Profile::low_latency, "noise.swap", Severity::warn, 2,
     "Swap is active (768.0 kB)"},
    {"no swap", [](Snapshot* s) { s->swap_devices = sv_from_cstr(""); }, Profile::hard_rt,
     "noise.swap", Severity::pass, 1, "No swap configured"},
    {"/proc/swaps unread", [](Snapshot*) {}, Profile::hard_rt, "noise.swap", kNoFinding, 0, ""},
    {"defrag always",
     [](Snapshot* s) { thp(s, "[always] madvise never", "[always] defer madvise never"); },
     Profile::hard_rt, "noise.thp_defrag", Severity::fail, 1.5,
     "Transparent hugepage defrag set to 'always'"},
    {"defrag madvise",
     [](Snapshot* s) { thp(s, "[always] madvise never", "always defer [madvise] never"); },
     Profile::hard_rt, "noise.thp_defrag", Severity::pass, 1,
     "Transparent hugepage defrag is not 'always'"},
    {"defrag always, hugepages never",
     [](Snapshot* s) { thp(s, "always madvise [never]", "[always] defer madvise never"); },
     Profile::hard_rt, "noise.thp_defrag", Severity::pass, 1,
     "Transparent hugepages disabled; defrag has no effect"},
    {"defrag unread", [](Snapshot*) {}, Profile::hard_rt, "noise.thp_defrag", kNoFinding, 0, ""},
    {"timer migration on",
     [](Snapshot* s) {
       s->timer_migration.has = true;
       s->timer_migration.value = 1;
     },
     Profile::hard_rt, "noise.timer_migration", Severity::warn, 1, "Timer migration enabled"},
    {"timer migration off", [](Snapshot* s) { s->timer_migration.has = true; }, Profile::hard_rt,
     "noise.timer_migration", Severity::pass, 1, "Timer migration disabled"},
    {"NUMA balancing on",
     [](Snapshot* s) {
       s->numa_balancing.has = true;
       s->numa_balancing.value = 2;
     },
     Profile::hard_rt, "noise.numa_balancing", Severity::warn, 1,
     "Automatic NUMA balancing enabled"},
    {"NUMA balancing off", [](Snapshot* s) { s->numa_balancing.has = true; }, Profile::hard_rt,
     "noise.numa_balancing", Severity::pass, 1, "Automatic NUMA balancing disabled"},
    {"both watchdogs on", [](Snapshot* s) { watchdogs(s, 1, 1, 1); }, Profile::hard_rt,
     "noise.watchdog", Severity::warn, 1, "NMI watchdog is enabled"},
    {"soft-lockup watchdog on", [](Snapshot* s) { watchdogs(s, 1, 0, 1); }, Profile::hard_rt,
     "noise.watchdog", Severity::warn, 1, "Soft-lockup watchdog is enabled"},
    {"soft_watchdog unread", [](Snapshot* s) { watchdogs(s, 1, 0, -1); }, Profile::hard_rt,
     "noise.watchdog", Severity::warn, 1, "Soft-lockup watchdog is enabled"},
    {"nosoftlockup leaves kernel.watchdog at 1", [](Snapshot* s) { watchdogs(s, 1, 0, 0); },
     Profile::hard_rt, "noise.watchdog", Severity::pass, 1, "Watchdogs disabled"},
    {"nosoftlockup, soft_watchdog unread",
     [](Snapshot* s) {
       watchdogs(s, 1, 0, -1);
       s->nosoftlockup = true;
     },
     Profile::hard_rt, "noise.watchdog", Severity::pass, 1, "Watchdogs disabled"},
    {"only nmi_watchdog read, 0", [](Snapshot* s) { watchdogs(s, -1, 0, -1); }, Profile::hard_rt,
     "noise.watchdog", Severity::pass, 1, "Watchdogs disabled"},
    {"NMI watchdog, online CPUs unread",
     [](Snapshot* s) {
       s->nmi_watchdog.has = true;
       s->nmi_watchdog.value = 1;
     },
     Profile::hard_rt, "noise.watchdog", Severity::warn, 1, "NMI watchdog is enabled"},
    {"no watchdog file", [](Snapshot* s) { watchdogs(s, -1, -1, 1); }, Profile::hard_rt,
     "noise.watchdog", kNoFinding, 0, ""},
    {"machine-check polling",
     [](Snapshot* s) {
       s->mce_check_interval.has = true;
       s->mce_check_interval.value = 300;
     },
     Profile::hard_rt, "noise.mce_poll", Severity::warn, 1, "Machine-check polling every 300 s"},
    {"no machine-check polling", [](Snapshot* s) { s->mce_check_interval.has = true; },
     Profile::hard_rt, "noise.mce_poll", Severity::pass, 1, "Machine-check polling disabled"},
    {"ksm running",
     [](Snapshot* s) {
       s->ksm_run.has = true;
       s->ksm_run.value = 1;
     },
     Profile::hard_rt, "noise.ksm", Severity::warn, 1, "Kernel same-page merging is running"},
    {"ksm 2 (unmerge)",
     [](Snapshot* s) {
       s->ksm_run.has = true;
       s->ksm_run.value = 2;
     },
     Profile::hard_rt, "noise.ksm", Severity::pass, 1, "Kernel same-page merging is off"},
    {"vm.stat_interval 1", [](Snapshot* s) { stat_interval(s, 1); }, Profile::hard_rt,
     "noise.vm_stat_interval", Severity::warn, 1, "VM statistics folded every 1 s"},
    {"vm.stat_interval 9", [](Snapshot* s) { stat_interval(s, 9); }, Profile::hard_rt,
     "noise.vm_stat_interval", Severity::warn, 1, "VM statistics folded every 9 s"},
    {"vm.stat_interval 10", [](Snapshot* s) { stat_interval(s, 10); }, Profile::hard_rt,
     "noise.vm_stat_interval", kNoFinding, 0, ""},
    {"vm.stat_interval 0", [](Snapshot* s) { stat_interval(s, 0); }, Profile::hard_rt,
     "noise.vm_stat_interval", kNoFinding, 0, ""},
    {"tsc", [](Snapshot* s) { s->clocksource = sv_from_cstr("tsc"); }, Profile::hard_rt,
     "noise.clocksource", Severity::pass, 1, "Clocksource is 'tsc'"},
    {"arch_sys_counter", [](Snapshot* s) { s->clocksource = sv_from_cstr("arch_sys_counter"); },
     Profile::hard_rt, "noise.clocksource", Severity::pass, 1, "Clocksource is 'arch_sys_counter'"},
    {"hpet", [](Snapshot* s) { s->clocksource = sv_from_cstr("hpet"); }, Profile::hard_rt,
     "noise.clocksource", Severity::warn, 1, "Clocksource is 'hpet'"},
    {"mitigations=off", [](Snapshot* s) { s->mitigations_param = sv_from_cstr("off"); },
     Profile::hard_rt, "noise.mitigations", Severity::pass, 1,
     "Speculative-execution mitigations disabled"},
    {"mitigations=auto,nosmt",
     [](Snapshot* s) { s->mitigations_param = sv_from_cstr("auto,nosmt"); }, Profile::hard_rt,
     "noise.mitigations", Severity::pass, 1, "Mitigations set to 'auto,nosmt'"},
    {"no mitigations=", [](Snapshot*) {}, Profile::hard_rt, "noise.mitigations", kNoFinding, 0, ""},
};

TEST_F(NoiseRulesTest, EveryVariant) {
  expect_cases(noise_rules, kCases, Category::noise);
}

TEST_F(NoiseRulesTest, NothingReadNothingSaid) {
  run(noise_rules);
  EXPECT_TRUE(ids().empty());
}

TEST_F(NoiseRulesTest, EmissionOrderAndTexts) {
  swap_on(snap);
  thp(snap, "[always] madvise never", "[always] defer madvise never");
  snap->timer_migration.has = snap->numa_balancing.has = true;
  snap->timer_migration.value = snap->numa_balancing.value = 1;
  watchdogs(snap, 1, 1, 1);
  snap->mce_check_interval.has = snap->ksm_run.has = true;
  snap->mce_check_interval.value = snap->ksm_run.value = 1;
  stat_interval(snap, 1);
  snap->clocksource = sv("hpet");
  snap->mitigations_param = sv("off");
  run(noise_rules);
  EXPECT_EQ(ids(), (std::vector<std::string>{
                       "noise.swap", "noise.thp_defrag", "noise.timer_migration",
                       "noise.numa_balancing", "noise.watchdog", "noise.mce_poll", "noise.ksm",
                       "noise.vm_stat_interval", "noise.clocksource", "noise.mitigations"}));

  const Finding* f = find("noise.swap");
  EXPECT_EQ(str(f->impact),
            "A major fault in an RT thread blocks on storage. Nothing in the scheduler bounds that "
            "wait, and mlockall() only protects the process that calls it.");
  EXPECT_EQ(str(f->remediation), "swapoff -a   (and remove the swap entry from /etc/fstab)");
  EXPECT_EQ(str(f->detail), "Devices: /dev/sda2, /swapfile");
  EXPECT_EQ(evidence(f), (Ev{{"/proc/swaps", "/dev/sda2, /swapfile"}}));
  EXPECT_EQ(evidence(find("noise.thp_defrag")),
            (Ev{{"/sys/kernel/mm/transparent_hugepage/defrag", "[always] defer madvise never"}}));
  EXPECT_EQ(evidence(find("noise.clocksource")),
            (Ev{{"/sys/devices/system/clocksource/clocksource0/current_clocksource", "hpet"}}));
  EXPECT_EQ(str(find("noise.mitigations")->detail),
            "Removes the per-syscall and per-context-switch barrier cost, at a security tradeoff "
            "the operator has accepted.");

  snap->nmi_watchdog.value = 0;
  snap->swap_devices = kNoneView;
  snap->mitigations_param = sv("auto");
  run(noise_rules);
  EXPECT_EQ(str(find("noise.watchdog")->title), "Soft-lockup watchdog is enabled");
  f = find("noise.swap");
  EXPECT_EQ(str(f->detail), "At least one swap area is enabled.");
  EXPECT_EQ(evidence(f), (Ev{{"/proc/swaps", ""}}));
  EXPECT_EQ(str(find("noise.mitigations")->detail),
            "Mitigation barriers add a fixed cost to every syscall and context switch.");
}

// Noise the collectors read on 4 CPUs with 2-3 isolated and tickless.
void quiet_cpus(Snapshot* s) {
  machine(s, "0-3", "2-3");
  cpuset_parse_list(&s->nohz_full, sv_lit("2-3"));
}

// The writeback mask stays on housekeeping; the unbound one is given.
void workqueues(Snapshot* s, const char* unbound) {
  quiet_cpus(s);
  s->workqueue_cpumask.has = s->writeback_cpumask.has = true;
  cpuset_parse_list(&s->workqueue_cpumask.value, sv_from_cstr(unbound));
  cpuset_parse_list(&s->writeback_cpumask.value, sv_lit("0-1"));
}

// A sampled local-timer row with these counts over 2 s on CPUs 0-3.
void timer_row(Snapshot* s, const char* name, const char* device, uint64_t cpu3) {
  quiet_cpus(s);
  s->sampled = true;
  s->sample_window_s = 2;
  IrqInfo* row =
      list_grow(s->arena, sv_eq_cstr(sv_from_cstr(name), "LOC") ? &s->special_irqs : &s->irqs);
  row->name = sv_from_cstr(name);
  row->device = sv_from_cstr(device);
  const uint64_t deltas[] = {2000, 2000, 4, cpu3};
  for (int32_t c = 0; c < 4; c++) list_push(s->arena, &row->per_cpu, IrqCount{c, 0, deltas[c]});
}

void rcuo(Snapshot* s, const char* allowed) {
  quiet_cpus(s);
  CpuSet set = {};
  cpuset_parse_list(&set, sv_from_cstr(allowed));
  list_push(s->arena, &s->rcuo_threads, KthreadPlacement{12, 12, sv_lit("rcuop/2"), opt_some(set)});
}

const RuleCase kCurrentKernelCases[] = {
    {"unbound workqueues on isolated CPUs", [](Snapshot* s) { workqueues(s, "0-3"); },
     Profile::hard_rt, "noise.workqueue_cpumask", Severity::warn, 1,
     "Unbound workqueues may run on isolated CPUs 2,3"},
    {"tick still running", [](Snapshot* s) { timer_row(s, "LOC", "Local timer interrupts", 500); },
     Profile::hard_rt, "noise.nohz_tick", Severity::warn, 1,
     "Tick still running on nohz_full CPU 3: 250 local timer interrupts/s"},
    {"tick stopped", [](Snapshot* s) { timer_row(s, "LOC", "Local timer interrupts", 4); },
     Profile::hard_rt, "noise.nohz_tick", Severity::pass, 1,
     "Tick stopped on nohz_full CPUs (at most 2 local timer interrupts/s)"},
    {"arm64 arch_timer", [](Snapshot* s) { timer_row(s, "11", "arch_timer", 10); },
     Profile::hard_rt, "noise.nohz_tick", Severity::warn, 1,
     "Tick still running on nohz_full CPU 3: 5 local timer interrupts/s"},
    {"rcuo thread on isolated CPUs", [](Snapshot* s) { rcuo(s, "0-3"); }, Profile::hard_rt,
     "noise.rcuo_affinity", Severity::warn, 1, "1 RCU offload thread may run on isolated CPUs"},
};

TEST_F(NoiseRulesTest, CurrentKernels) {
  expect_cases(noise_rules, kCurrentKernelCases, Category::noise);
  fresh();
  timer_row(snap, "LOC", "Local timer interrupts", 500);
  snap->sampled = false;  // no live sample, no verdict
  run(noise_rules);
  EXPECT_EQ(find("noise.nohz_tick"), nullptr);
  // Why the tick ran: the dependencies traced tick_stop events named, then
  // the timers queued on the ticking CPU, the tick's own left out.
  fresh();
  timer_row(snap, "LOC", "Local timer interrupts", 500);
  parse_timer_list(&arena, sv("cpu: 3\n #0: <0>, tick_nohz_handler, S:01\n #1: <0>, dl_task_timer, S:01\n"
                              " #2: <0>, my_timer, S:01\n"), &snap->timer_list);
  parse_tick_stop(&arena, sv(" a-1 [003] .... 1.0: tick_stop: success=0 dependency=SCHED\n"
                             " a-1 [003] .... 1.0: tick_stop: success=0 dependency=POSIX_TIMER\n"),
                  &snap->tick_stops);
  run(noise_rules);
  EXPECT_EQ(str(find("noise.nohz_tick")->detail).substr(144),
            " The kernel kept the tick for (timer:tick_stop): POSIX_TIMER, a process's POSIX CPU "
            "timer or setitimer on the CPU: move the process or drop its timer; SCHED, more than "
            "one runnable task on the CPU: keep one RT task there and move the rest. Timers queued "
            "on the CPU (/proc/timer_list): dl_task_timer, the fair server: write 0 to "
            "/sys/kernel/debug/sched/fair_server/cpuN/runtime; my_timer.");
}

}  // namespace
