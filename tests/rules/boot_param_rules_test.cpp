#include <gtest/gtest.h>

#include "collect/cmdline.h"
#include "rules/rule_module_test.h"

namespace {

class BootParamRulesTest : public RuleModuleTest {};

void boot(Snapshot* s, const char* line) {
  s->cmdline = sv_from_cstr(line);
  parse_cmdline_words(s->arena, s->cmdline, &s->cmdline_params);
}

void nocbs(Snapshot* s, bool poll) {
  s->rcu_nocbs.has = true;
  set_cpus(&s->rcu_nocbs.value, "2-3");
  s->rcu_nocb_poll = poll;
}

void tsc(Snapshot* s, const char* flags, const char* line) {
  s->clocksource = sv_from_cstr("tsc");
  s->cpu_flags = sv_from_cstr(flags);
  boot(s, line);
}

constexpr const char* kStable = "fpu tsc constant_tsc nonstop_tsc";

const RuleCase kIsolation[] = {
    {"nocbs without poll", [](Snapshot* s) { nocbs(s, false); }, Profile::hard_rt,
     "isolation.rcu_nocb_poll", Severity::warn, 0.5, "rcu_nocbs= is set without rcu_nocb_poll"},
    {"with poll", [](Snapshot* s) { nocbs(s, true); }, Profile::hard_rt, "isolation.rcu_nocb_poll",
     kNoFinding, 0, ""},
    {"low-latency", [](Snapshot* s) { nocbs(s, false); }, Profile::low_latency,
     "isolation.rcu_nocb_poll", kNoFinding, 0, ""},
};

const RuleCase kNoise[] = {
    {"8 CPUs", [](Snapshot* s) { machine(s, "0-7"); boot(s, "ro"); }, Profile::hard_rt,
     "noise.skew_tick", Severity::warn, 0.5, "Ticks of the 8 CPUs are not skewed"},
    {"stable tsc", [](Snapshot* s) { tsc(s, kStable, "ro"); }, Profile::hard_rt,
     "noise.tsc_watchdog", Severity::warn, 0.5, "The clocksource watchdog checks a stable TSC"},
    {"tsc=nowatchdog", [](Snapshot* s) { tsc(s, kStable, "tsc=nowatchdog"); }, Profile::hard_rt,
     "noise.tsc_watchdog", kNoFinding, 0, ""},
    {"no nonstop_tsc", [](Snapshot* s) { tsc(s, "tsc constant_tsc", "ro"); }, Profile::hard_rt,
     "noise.tsc_watchdog", kNoFinding, 0, ""},
    {"hung task 120", [](Snapshot* s) { s->hung_task_timeout_secs = opt_some(int64_t{120}); },
     Profile::hard_rt, "noise.hung_task", Severity::warn, 0.25, "Hung-task checker scans every 120 s"},
    {"swappiness 60, swap",
     [](Snapshot* s) { s->swappiness = opt_some(int64_t{60}), s->swap_active = true; },
     Profile::hard_rt, "noise.swappiness", Severity::warn, 0.5, "vm.swappiness is 60 with swap active"},
    {"swappiness 60, no swap", [](Snapshot* s) { s->swappiness = opt_some(int64_t{60}); },
     Profile::hard_rt, "noise.swappiness", kNoFinding, 0, ""},
    {"thp always, defrag madvise",
     [](Snapshot* s) { s->thp_enabled = sv_from_cstr("[always] madvise never"); }, Profile::hard_rt,
     "noise.thp_enabled", Severity::warn, 0.25, "Transparent hugepages are enabled for every process"},
};

const RuleCase kPower[] = {
    {"idle=poll", [](Snapshot* s) { s->idle_poll = true; }, Profile::hard_rt, "power.idle_poll",
     Severity::na, 1, "idle=poll: idle CPUs spin instead of entering C-states"},
};

TEST_F(BootParamRulesTest, Cases) {
  expect_cases(boot_param_rules, kIsolation, Category::isolation);
  expect_cases(boot_param_rules, kNoise, Category::noise);
  expect_cases(boot_param_rules, kPower, Category::power);
}

}  // namespace
