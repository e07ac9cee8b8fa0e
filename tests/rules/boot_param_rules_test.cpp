#include <gtest/gtest.h>

#include "collect/cmdline.h"
#include "collect/consoles.h"
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

// Consoles (the console_rules module).
class ConsoleRulesTest : public RuleModuleTest {};

// A PREEMPT_RT machine with this /proc/consoles text and boot line.
void rt(Snapshot* s, const char* consoles, const char* line) {
  s->is_rt = true;
  if (consoles) s->consoles_read = parse_consoles(s->arena, sv_from_cstr(consoles), &s->consoles);
  s->cmdline = sv_from_cstr(line);
  parse_cmdline_words(s->arena, s->cmdline, &s->cmdline_params);
}

constexpr const char* kLegacySerial = "ttyS0                -W- (EC p  )    4:64\n";
constexpr const char* kNbconSerial = "ttyS0                -W- (EC Np  )    4:64\n";
constexpr const char* kVt = "tty0                 -WU (E  p  )    4:1\n";

const RuleCase kConsoleCases[] = {
    {"tty0 listed", [](Snapshot* s) { rt(s, kVt, "ro"); }, Profile::hard_rt,
     "noise.graphics_console", Severity::warn, 1, "Kernel messages go to the graphics console tty0"},
    {"console=tty0, consoles unread", [](Snapshot* s) { rt(s, nullptr, "console=ttyS0 console=tty0"); },
     Profile::hard_rt, "noise.graphics_console", Severity::warn, 1,
     "Kernel messages go to the graphics console tty0"},
    {"serial only", [](Snapshot* s) { rt(s, kLegacySerial, "console=ttyS0,115200"); },
     Profile::hard_rt, "noise.graphics_console", Severity::pass, 1, "No framebuffer or VGA console"},
    {"not PREEMPT_RT", [](Snapshot* s) { rt(s, kVt, "ro"); s->is_rt = false; }, Profile::hard_rt,
     "noise.graphics_console", kNoFinding, 0, ""},
    {"legacy serial, printk 7",
     [](Snapshot* s) { rt(s, kLegacySerial, "quiet"); s->console_loglevel = opt_some(int64_t{7}); },
     Profile::hard_rt, "noise.console_loglevel", Severity::warn, 1,
     "Legacy console ttyS0 prints at log level 7"},
    {"legacy serial, ignore_loglevel beats printk",
     [](Snapshot* s) { rt(s, kLegacySerial, "ignore_loglevel"); s->console_loglevel = opt_some(int64_t{4}); },
     Profile::hard_rt, "noise.console_loglevel", Severity::warn, 1,
     "Legacy console ttyS0 prints at log level 15"},
    {"legacy serial, quiet", [](Snapshot* s) { rt(s, kLegacySerial, "quiet"); }, Profile::hard_rt,
     "noise.console_loglevel", Severity::pass, 1, "Console log level 4 keeps ttyS0 quiet"},
    {"nbcon serial", [](Snapshot* s) { rt(s, kNbconSerial, "ignore_loglevel"); }, Profile::hard_rt,
     "noise.console_loglevel", Severity::pass, 1, "No legacy serial console"},
};

TEST_F(ConsoleRulesTest, Cases) { expect_cases(console_rules, kConsoleCases, Category::noise); }

}  // namespace
