#include "report/plan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "rules/remedy.h"
#include "test_util.h"

class Plan : public ArenaTest {
 protected:
  void SetUp() override {
    ArenaTest::SetUp();
    report = {};
    report.arena = &arena;
  }
  Finding* add(const char* id, Category c, Severity s, const char* remediation,
               double weight = 1.0) {
    Finding* f = add_finding(&report, id, c, s, sv(id));
    if (remediation) finding_set_remediation(f, sv(remediation));
    finding_set_weight(f, weight);
    return f;
  }
  std::vector<std::string> ids(const RemediationPlan& p) {
    std::vector<std::string> out;
    for (const Finding* f : p.items) out.push_back(f->id);
    return out;
  }
  std::string combine(const std::vector<const char*>& cmdlines) {
    std::vector<const Finding*> fs;
    for (const char* c : cmdlines) {
      Finding* f = add("boot.x", Category::preemption, Severity::fail, "fix");
      finding_set_cmdline(f, sv(c));
      fs.push_back(f);
    }
    return str(combine_cmdline(&arena, fs.data(), fs.size()));
  }
  Report report;
};

using Sev = Severity;
using Cat = Category;

TEST_F(Plan, PriorityIsSeverityTimesWeightTimesCategoryWeight) {
  EXPECT_DOUBLE_EQ(plan_priority(add("a", Cat::power, Sev::fail, "x")), 20.0);
  EXPECT_DOUBLE_EQ(plan_priority(add("b", Cat::noise, Sev::warn, "x")), 5.0);
  EXPECT_DOUBLE_EQ(plan_priority(add("c", Cat::isolation, Sev::warn, "x", 2.5)), 62.5);
  // measured weighs 0 without a measurement, raised to 1
  EXPECT_DOUBLE_EQ(plan_priority(add("d", Cat::measured, Sev::fail, "x")), 2.0);
  // a category outside the table counts 1
  EXPECT_DOUBLE_EQ(plan_priority(add("e", static_cast<Cat>(9), Sev::warn, "x")), 1.0);
  EXPECT_DOUBLE_EQ(plan_priority(add("f", Cat::irq, Sev::pass, "x")), 0.0);
}

TEST_F(Plan, OnlyFailAndWarnWithARemedyAndPositivePriorityEnter) {
  add("pass.one", Cat::preemption, Sev::pass, "fix-pass");
  add("unknown.one", Cat::preemption, Sev::unknown, "fix-unknown");
  add("na.one", Cat::preemption, Sev::na, "fix-na");
  add("fail.noremedy", Cat::preemption, Sev::fail, nullptr);
  add("fail.emptyremedy", Cat::preemption, Sev::fail, "");
  add("fail.zero", Cat::preemption, Sev::fail, "fix-zero", 0.0);
  add("fail.negative", Cat::preemption, Sev::fail, "fix-neg", -1.0);
  add("fail.nan", Cat::preemption, Sev::fail, "fix-nan", std::nan(""));
  add("warn.ok", Cat::noise, Sev::warn, "fix-warn");
  EXPECT_EQ(ids(build_plan(&arena, &report)), std::vector<std::string>{"warn.ok"});
}

TEST_F(Plan, HighestPriorityFirstThenIdOrder) {
  add("noise.warn", Cat::noise, Sev::warn, "r1");       // 5
  add("power.fail", Cat::power, Sev::fail, "r2");       // 20
  add("irq.b", Cat::irq, Sev::warn, "r3");              // 20
  add("irq.a", Cat::irq, Sev::warn, "r4");              // 20
  add("preempt.rt", Cat::preemption, Sev::fail, "r5");  // 50
  EXPECT_EQ(ids(build_plan(&arena, &report)),
            (std::vector<std::string>{"preempt.rt", "irq.a", "irq.b", "power.fail", "noise.warn"}));
}

TEST_F(Plan, EachRemedyIsListedOnceByItsMostImportantFinding) {
  add("noise.low", Cat::noise, Sev::warn, "echo 0 > /proc/sys/kernel/x");
  add("irq.high", Cat::irq, Sev::fail, "echo 0 > /proc/sys/kernel/x");
  add("z.same", Cat::power, Sev::warn, "same text");
  add("a.same", Cat::power, Sev::warn, "same text");
  add("near", Cat::power, Sev::warn, "same text ");  // differs by one byte
  EXPECT_EQ(ids(build_plan(&arena, &report)),
            (std::vector<std::string>{"irq.high", "a.same", "near"}));
}

TEST_F(Plan, EmptyReportGivesEmptyPlan) {
  EXPECT_EQ(build_plan(&arena, &report).items.count, 0u);
}

TEST_F(Plan, CombineMergesCpuListsAndIsolcpusFlags) {
  EXPECT_EQ(combine({"isolcpus=domain,2-3", "isolcpus=managed_irq,4"}),
            "isolcpus=domain,managed_irq,2-4");
  EXPECT_EQ(combine({"nohz_full=2-3", "nohz_full=4-5"}), "nohz_full=2-5");
  EXPECT_EQ(combine({"isolcpus=domain,managed_irq,2", "isolcpus=managed_irq,domain,nohz,3"}),
            "isolcpus=domain,managed_irq,nohz,2,3");
  EXPECT_EQ(combine({"rcu_nocbs=1 irqaffinity=0", "rcu_nocbs=3,2 irqaffinity=1"}),
            "rcu_nocbs=1-3 irqaffinity=0,1");
}

TEST_F(Plan, CombineKeepsTheFirstValueOfOtherKeys) {
  EXPECT_EQ(combine({"preempt=full", "preempt=none"}), "preempt=full");
  EXPECT_EQ(combine({"threadirqs", "threadirqs nosoftlockup"}), "threadirqs nosoftlockup");
  // a bare key first stays bare; isolcpus without value is no CPU list
  EXPECT_EQ(combine({"isolcpus", "isolcpus=2-3"}), "isolcpus");
}

TEST_F(Plan, CombineOrdersCpuListKeysFirst) {
  EXPECT_EQ(combine({"threadirqs", "nohz_full=2-5", "isolcpus=2-5"}),
            "isolcpus=2-5 nohz_full=2-5 threadirqs");
  // CPU lists are rewritten in the canonical cpulist form: a pair is "2,3"
  EXPECT_EQ(combine({"threadirqs", "nohz_full=2-3", "isolcpus=2-3"}),
            "isolcpus=2,3 nohz_full=2,3 threadirqs");
  EXPECT_EQ(combine({"skew_tick=1 irqaffinity=0-1 rcu_nocbs=2-3 nohz_full=2-3 isolcpus=2-3 "
                     "nosoftlockup"}),
            "isolcpus=2,3 nohz_full=2,3 rcu_nocbs=2,3 irqaffinity=0,1 skew_tick=1 nosoftlockup");
}

TEST_F(Plan, CombineWritesFlagOnlyValuesWithoutTrailingComma) {
  EXPECT_EQ(combine({"isolcpus=domain,managed_irq"}), "isolcpus=domain,managed_irq");
  EXPECT_EQ(combine({"isolcpus=domain", "isolcpus=nohz"}), "isolcpus=domain,nohz");
  EXPECT_EQ(combine({"nohz_full="}), "nohz_full=");
}

TEST_F(Plan, CombineSplitsAtSpacesAndTabsAndSkipsEmptyTokens) {
  EXPECT_EQ(combine({"  a=1\t\tb   c=x=y ", "", "\t"}), "a=1 b c=x=y");
  EXPECT_EQ(combine({"", "  "}), "");
  EXPECT_EQ(combine({}), "");
}

// Only a command the fix carries writes runtime state; prose that mentions a
// path, such as the C-state advice, stays prose.
TEST_F(Plan, RuntimeStateWritesAreTheFixesCommands) {
  Finding* prose = add("p", Cat::power, Sev::warn,
                       "Disable the deep idle states (echo 1 > /sys/devices/system/cpu/x), or not.");
  EXPECT_FALSE(writes_runtime_state(prose));
  Finding* cmd = add("c", Cat::power, Sev::warn, nullptr);
  finding_set_command_code(cmd, &arena, "echo 0 > /sys/kernel/mm/ksm/run");
  EXPECT_TRUE(writes_runtime_state(cmd));
  EXPECT_EQ(str(cmd->remediation), "echo 0 > /sys/kernel/mm/ksm/run");
}

// A setting systemd-sysctl applies after the plan's file, with another value,
// would undo it at boot; one applied before it, or with the same value, not.
TEST_F(Plan, LaterSysctlFilesThatOverrideThePlanAreNamed) {
  SysctlConf conf = {};
  for (const char* fkv : {"/etc/sysctl.d/10-a.conf kernel.x 1", "/usr/lib/sysctl.d/99-b.conf kernel.x 1",
                          "/etc/sysctl.d/99-b.conf vm.y 300", "/etc/sysctl.conf vm.y 1"}) {
    StrView cur = sv(fkv), f = sv_next_token(&cur, " "), k = sv_next_token(&cur, " ");
    list_push(&arena, &conf.entries, PersistedSysctl{k, cur, f, 3});
  }
  std::string got;
  for (const PersistedSysctl& e : sysctl_overrides(&arena, &conf, sv("kernel.x = 0\nvm.y = 300\n")))
    got += str(plan_override_line(&arena, &e)) + "\n";
  EXPECT_EQ(got, "/usr/lib/sysctl.d/99-b.conf:3: kernel.x = 1\n/etc/sysctl.conf:3: vm.y = 1\n");
}
