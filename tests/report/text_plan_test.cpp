#include "report/text_plan.h"

#include <gtest/gtest.h>

#include <string>

#include "report/text_report.h"
#include "report/text_test_util.h"
#include "rules/remedy.h"
#include "test_util.h"

class TextPlan : public ArenaTest {
 protected:
  void SetUp() override {
    ArenaTest::SetUp();
    report = {};
    report.arena = &arena;
    opts = TextOptions{false, false, false, false, kDefaultPlanLimit};
  }
  Finding* add(const char* id, Category c, Severity s, const char* title, const char* remedy,
               const char* cmdline = nullptr) {
    Finding* f = add_finding(&report, id, c, s, sv(title));
    finding_set_remediation(f, sv(remedy));
    // A remedy that starts with "echo " is a command the fix runs.
    if (std::string(remedy).rfind("echo ", 0) == 0) finding_set_command_code(f, &arena, remedy);
    if (cmdline) finding_set_cmdline(f, sv(cmdline));
    return f;
  }
  // n regular findings of falling priority with distinct remedies
  void add_regular(int n) {
    for (int i = 0; i < n; i++) {
      Finding* f = add("noise.item", Category::noise, Severity::warn, "", "");
      f->weight = 100.0 - i;
      f->title = arena_sprintf(&arena, "Regular %d", i);
      f->remediation = arena_sprintf(&arena, "do thing %d", i);
    }
  }
  std::string render() {
    RemediationPlan plan = build_plan(&arena, &report);
    Capture cap;
    write_plan_section(cap.f(), &arena, &plan, &opts);
    return cap.text();
  }
  Report report;
  TextOptions opts;
};

TEST_F(TextPlan, EmptyPlanPrintsNothing) {
  EXPECT_EQ(render(), "");
}

// Both boot findings weigh 50: the one with the smaller id is covered first.
TEST_F(TextPlan, CommandLineItemThenRegularItemsThenRuntimeAdvice) {
  add("preempt.model", Category::preemption, Severity::fail, "Kernel is not fully preemptible",
      "Boot with preempt=full.", "preempt=full");
  add("isolation.none", Category::isolation, Severity::fail, "No CPU is isolated",
      "Isolate CPUs 2-5.", "isolcpus=domain,managed_irq,2-5 nohz_full=2-5");
  Finding* numa = add("noise.numa", Category::noise, Severity::warn, "NUMA balancing is on", "");
  Remedy fix;
  remedy_init(&fix, &arena);
  remedy_say(&fix, sv("Turn it off:"));
  ShellCmd cmd;
  cmd_init(&cmd, &arena);
  cmd_code(&cmd, "echo 0 > /proc/sys/kernel/numa_balancing");
  remedy_run_remark(&fix, &cmd, sv("until reboot"), RemarkForm::paren);
  finding_set_remedy(numa, &fix);
  add("power.governor", Category::power, Severity::warn, "Governor is powersave",
      "Use the performance governor:\n  cpupower frequency-set -g performance");
  // The script holds only commands: prose and remarks become comments.
  const std::string expected =
      "  1. Set the kernel command line\n"
      "     2 of the findings above are fixed by boot parameters. Add them to the\n"
      "     kernel command line the machine boots with now, keeping the parameters\n"
      "     already there; where one of these parameters is already set, replace its\n"
      "     value instead of adding it a second time. Check the CPU numbers against\n"
      "     this machine first.\n"
      "\n"
      "       isolcpus=domain,managed_irq,2-5 nohz_full=2-5 preempt=full\n"
      "\n"
      "     Debian/Ubuntu: add them to the line in GRUB_CMDLINE_LINUX_DEFAULT in\n"
      "     /etc/default/grub and run update-grub. RHEL/Fedora: grubby\n"
      "     --update-kernel=ALL --args='...'. Reboot, then check /proc/cmdline.\n"
      "\n"
      "     It covers:\n"
      "       - No CPU is isolated\n"
      "       - Kernel is not fully preemptible\n"
      "\n"
      "  2. Governor is powersave\n"
      "     Use the performance governor:\n"
      "       cpupower frequency-set -g performance\n"
      "\n"
      "  3. NUMA balancing is on\n"
      "     Turn it off:\n"
      "       echo 0 > /proc/sys/kernel/numa_balancing   (until reboot)\n"
      "\n"
      "  Item 3 writes to /proc or /sys. Those are the running kernel, not storage:\n"
      "  the change takes effect at once and is gone after a reboot. To keep it, run\n"
      "  the commands from a service that starts before the workload.\n"
      "\n"
      "    #!/bin/sh\n"
      "    # /usr/local/sbin/rt-tuning.sh\n"
      "    # 3. NUMA balancing is on\n"
      "    # Turn it off:\n"
      "    echo 0 > /proc/sys/kernel/numa_balancing   # until reboot\n"
      "\n"
      "    # /etc/systemd/system/rt-tuning.service\n"
      "    [Unit]\n"
      "    Description=Real-time tuning\n"
      "    After=sysinit.target\n"
      "\n"
      "    [Service]\n"
      "    Type=oneshot\n"
      "    RemainAfterExit=yes\n"
      "    ExecStart=/bin/sh /usr/local/sbin/rt-tuning.sh\n"
      "\n"
      "    [Install]\n"
      "    WantedBy=multi-user.target\n"
      "\n"
      "    systemctl enable --now rt-tuning.service\n"
      "\n";
  EXPECT_EQ(render(), expected);
}

TEST_F(TextPlan, BoldNumbersAndDimNotesWithColour) {
  opts.color = true;
  add("preempt.model", Category::preemption, Severity::fail, "Kernel", "r", "preempt=full");
  add("noise.numa", Category::noise, Severity::warn, "NUMA", "echo 0 > /sys/x");
  std::string out = render();
  EXPECT_NE(out.find("  \x1b[1m1.\x1b[0m Set the kernel command line\n"), std::string::npos);
  EXPECT_NE(out.find("\n       \x1b[1mpreempt=full\x1b[0m\n\n"), std::string::npos);
  EXPECT_NE(out.find("\n     \x1b[2mIt covers:\x1b[0m\n     \x1b[2m  - Kernel\x1b[0m\n\n"),
            std::string::npos);
  EXPECT_NE(out.find("  \x1b[1m2.\x1b[0m NUMA\n"), std::string::npos);
}

TEST_F(TextPlan, DefaultLimitCountsTheCommandLineItem) {
  add("preempt.model", Category::preemption, Severity::fail, "Kernel", "r", "preempt=full");
  add_regular(10);
  std::string out = render();
  EXPECT_NE(out.find("  8. Regular 6\n"), std::string::npos);
  EXPECT_EQ(out.find("  9. "), std::string::npos);
  EXPECT_NE(out.find("  (3 more; run with -v for the full list)\n\n"), std::string::npos);
}

TEST_F(TextPlan, LimitWithoutCommandLineItem) {
  add_regular(10);
  opts.plan_limit = 2;
  std::string out = render();
  EXPECT_EQ(out,
            "  1. Regular 0\n     do thing 0\n\n"
            "  2. Regular 1\n     do thing 1\n\n"
            "  (8 more; run with -v for the full list)\n\n");
}

TEST_F(TextPlan, NoLimitShowsEverything) {
  add("preempt.model", Category::preemption, Severity::fail, "Kernel", "r", "preempt=full");
  add_regular(12);
  opts.plan_limit = 0;
  std::string out = render();
  EXPECT_NE(out.find("\n 13. Regular 11\n     do thing 11\n"), std::string::npos);  // aligned
  EXPECT_EQ(out.find("more; run with -v"), std::string::npos);
}

TEST_F(TextPlan, LimitOneLeavesOnlyTheCommandLine) {
  add("preempt.model", Category::preemption, Severity::fail, "Kernel", "r", "preempt=full");
  add_regular(2);
  opts.plan_limit = 1;
  std::string out = render();
  EXPECT_NE(out.find("  1. Set the kernel command line\n"), std::string::npos);
  EXPECT_EQ(out.find("  2. "), std::string::npos);
  EXPECT_NE(out.find("  (2 more; run with -v for the full list)\n\n"), std::string::npos);
}

TEST_F(TextPlan, BlankCommandLineTurnsBootItemsIntoRegularOnes) {
  add("preempt.model", Category::preemption, Severity::fail, "Kernel", "Reboot it.", " \t ");
  std::string out = render();
  EXPECT_EQ(out, "  1. Kernel\n     Reboot it.\n\n");
}

TEST_F(TextPlan, RuntimeItemsAreJoinedAndQuietDropsTheUnit) {
  const char* remedies[] = {"echo 1 > /proc/a", "no write", "echo 2 > /sys/b", "echo 3 > /proc/c",
                            "echo 4 > /sys/d"};
  for (int i = 0; i < 5; i++) {
    Finding* f = add("noise.x", Category::noise, Severity::warn, "", remedies[i]);
    f->weight = 10.0 - i;
    f->title = arena_sprintf(&arena, "T%d", i);
  }
  opts.quiet = true;
  std::string out = render();
  EXPECT_NE(out.find("  Items 1, 3, 4 and 5 write to /proc or /sys. Those are the running"),
            std::string::npos);
  EXPECT_EQ(out.find("rt-tuning"), std::string::npos);
  EXPECT_EQ(out.substr(out.size() - 3), ".\n\n");
}

TEST_F(TextPlan, TwoRuntimeItemsUseAnd) {
  add("noise.a", Category::noise, Severity::warn, "A", "echo 1 > /proc/a");
  add("noise.b", Category::noise, Severity::warn, "B", "echo 1 > /sys/b");
  EXPECT_NE(render().find("  Items 1 and 2 write to /proc or /sys."), std::string::npos);
}

TEST_F(TextPlan, TextsFromFindingsAreFoldedAndSanitised) {
  opts.ascii = true;
  add("preempt.model", Category::preemption, Severity::fail, "Latenz \xC2\xB5s \x1b[2J", "r",
      "isolcpus=2\x1b[31m");
  add("noise.a", Category::noise, Severity::warn, "caf\xC3\xA9\n\x1b]0;x\x07",
      "echo \xE2\x9C\x93 \x1b[0m");
  std::string out = render();
  EXPECT_FALSE(has_byte_at_or_above_0x80(out));
  EXPECT_EQ(out.find('\x1b'), std::string::npos);
  EXPECT_NE(out.find("       - Latenz us ?[2J\n"), std::string::npos);
  EXPECT_NE(out.find("  2. caf???]0;x?\n"), std::string::npos);
  EXPECT_NE(out.find("     echo ? ?[0m\n"), std::string::npos);
}
