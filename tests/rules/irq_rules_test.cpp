#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "rules/rule_module_test.h"

namespace {

struct Fired {
  int32_t cpu;
  uint64_t count;  // since boot
  uint64_t delta;  // over the window
};

class IrqRulesTest : public RuleModuleTest {
 protected:
  void SetUp() override {
    RuleModuleTest::SetUp();
    interrupts();
  }

  // A readable interrupt table on four CPUs, 2-3 isolated.
  void interrupts() {
    snap->interrupts_available = true;
    cpus(4, "2-3");
  }

  IrqInfo* irq(const char* name, const char* device, std::initializer_list<Fired> fired,
               bool managed = false) {
    IrqInfo* q = list_grow(&arena, &snap->irqs);
    q->name = sv(name);
    q->device = sv(device);
    q->managed = managed;
    for (const Fired& f : fired) {
      IrqCount* c = list_grow(&arena, &q->per_cpu);
      c->cpu = f.cpu;
      c->count = f.count;
      c->delta = f.delta;
      q->total += f.count;
      q->delta_total += f.delta;
    }
    return q;
  }

  SoftirqInfo* softirq(const char* name, std::initializer_list<Fired> fired) {
    SoftirqInfo* si = list_grow(&arena, &snap->softirqs);
    si->name = sv(name);
    for (const Fired& f : fired) {
      IrqCount* c = list_grow(&arena, &si->per_cpu);
      c->cpu = f.cpu;
      c->count = f.count;
      c->delta = f.delta;
      si->delta_total += f.delta;
    }
    return si;
  }

  void sampled(double window_s) {
    snap->sampled = true;
    snap->sample_window_s = window_s;
  }

  void run(Profile p = Profile::hard_rt) { RuleModuleTest::run(irq_rules, p); }
};

TEST_F(IrqRulesTest, UnreadableTableStopsTheModule) {
  snap->interrupts_available = false;
  task("app", kFifo, 80);
  task("irq/24-eth0", kFifo, 50, "0", true)->irq_number = sv("24");
  run();
  EXPECT_EQ(ids(), (std::vector<std::string>{"irq.unavailable"}));
  const Finding& f = get("irq.unavailable");
  EXPECT_EQ(f.category, Category::irq);
  EXPECT_EQ(f.severity, Severity::unknown);
  EXPECT_EQ(str(f.title), "Interrupt table not readable");
  EXPECT_EQ(str(f.detail), "/proc/interrupts could not be read.");
  EXPECT_EQ(str(f.impact), "Interrupt routing could not be evaluated.");
}

TEST_F(IrqRulesTest, WithoutIsolationOnlyTheHandlerPriorityIsGraded) {
  cpus(4);
  irq("24", "eth0", {{0, 900, 0}, {3, 900, 0}});
  irq("25", "eth1", {{1, 5, 0}});
  snap->default_affinity.has = true;
  cpuset_parse_list(&snap->default_affinity.value, sv("0-3"));
  sampled(1);
  softirq("TIMER", {{3, 0, 500}});
  run();
  EXPECT_EQ(ids(), (std::vector<std::string>{"irq.affinity"}));
  const Finding& f = get("irq.affinity");
  EXPECT_EQ(f.severity, Severity::na);
  EXPECT_DOUBLE_EQ(f.weight, 1);
  EXPECT_EQ(str(f.title), "Interrupt routing not assessed (2 interrupts, no isolated CPUs)");
  EXPECT_EQ(str(f.detail),
            "Interrupt placement only means something once some CPUs are reserved. Configure "
            "isolation first; this category will then be scored.");

  task("app", kFifo, 80, "0-3");
  task("irq/24-eth0", kFifo, 50, "0", true)->irq_number = sv("24");
  run();
  EXPECT_EQ(ids(), (std::vector<std::string>{"irq.affinity", "irq.threaded_priority"}));
}

TEST_F(IrqRulesTest, BusiestDeviceInterruptOnAnIsolatedCpu) {
  // The rate is the increase over the real sampling window, which can be
  // longer than the requested interval.
  struct Case {
    bool sampled;
    double window_s;
    uint64_t fired;  // the delta when sampled, the count since boot otherwise
    Severity severity;
    const char* detail;
  };
  const Case cases[] = {
      {true, 1, 250, Severity::fail, "Observed 250/s."},
      {true, 1, 100, Severity::fail, "Observed 100/s."},
      {true, 1, 99, Severity::warn, "Observed 99/s."},
      {true, 1, 20, Severity::warn, "Observed 20/s."},
      {true, 2.5, 300, Severity::fail, "Observed 120/s."},
      {true, 2.5, 240, Severity::warn, "Observed 96/s."},
      {true, 0, 150, Severity::fail, "Observed 150/s."},  // no window: the raw increase
      {true, 1, 12345, Severity::fail, "Observed 12.3k/s."},
      {false, 0, 250, Severity::warn, "Observed 250 since boot."},
      {false, 0, 2500000, Severity::warn, "Observed 2.5M since boot."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.detail);
    fresh();
    interrupts();
    if (c.sampled) {
      sampled(c.window_s);
      irq("24", "eth0", {{1, 999999, 999999}, {3, 5000, c.fired}});
    } else {
      irq("24", "eth0", {{1, 999999, 0}, {3, c.fired, 0}});
    }
    run();
    const Finding& f = get("irq.on_isolated");
    EXPECT_EQ(f.severity, c.severity);
    EXPECT_DOUBLE_EQ(f.weight, 2.5);
    EXPECT_EQ(str(f.title), "Interrupt eth0 (IRQ 24) lands on isolated CPU 3");
    EXPECT_EQ(str(f.detail), c.detail);
  }
}

TEST_F(IrqRulesTest, ManyPairsNameTheBusiestAndCiteSixOfThem) {
  sampled(2);
  irq("30", "nvme0q0", {{0, 10, 1000}, {2, 40, 40}, {3, 10, 10}});
  irq("31", "i915", {{2, 900, 0}, {3, 500, 500}});
  irq("32", "ahci[0000:00:17.0]", {{2, 60, 60}, {3, 2, 2}});
  irq("33", "xhci_hcd", {{2, 8, 8}, {3, 4, 4}});
  irq("34", "managed-q", {{2, 9999, 9999}}, true);
  run();
  const Finding& f = get("irq.on_isolated");
  EXPECT_EQ(f.severity, Severity::fail);
  EXPECT_EQ(str(f.title), "Interrupt i915 (IRQ 31) lands on isolated CPU 3");
  EXPECT_EQ(str(f.detail),
            "7 interrupt/CPU pairs land on isolated CPUs; the busiest is i915 at 250/s.");
  EXPECT_EQ(str(f.impact),
            "Each interrupt preempts the RT thread for the duration of the handler, and the "
            "handler runs whether or not the thread is at a safe point.");
  EXPECT_EQ(str(f.remediation), "echo 0,1 > /proc/irq/31/smp_affinity_list");
  EXPECT_EQ(text(f.cmdline), "");
  EXPECT_EQ(evidence(f),
            (Ev{
                {"/proc/irq/31/effective_affinity_list", "i915 on CPU 3, 250/s"},
                {"/proc/irq/32/effective_affinity_list", "ahci[0000:00:17.0] on CPU 2, 30/s"},
                {"/proc/irq/30/effective_affinity_list", "nvme0q0 on CPU 2, 20/s"},
                {"/proc/irq/30/effective_affinity_list", "nvme0q0 on CPU 3, 5/s"},
                {"/proc/irq/33/effective_affinity_list", "xhci_hcd on CPU 2, 4/s"},
                {"/proc/irq/33/effective_affinity_list", "xhci_hcd on CPU 3, 2/s"},
            }));
}

TEST_F(IrqRulesTest, CountsSinceBootAreCitedWithoutUnit) {
  irq("24", "eth0", {{2, 1500, 0}, {3, 7, 0}});
  run();
  const Finding& f = get("irq.on_isolated");
  EXPECT_EQ(f.severity, Severity::warn);
  EXPECT_EQ(str(f.detail),
            "2 interrupt/CPU pairs land on isolated CPUs; the busiest is eth0 at 1.5k since boot.");
  EXPECT_EQ(evidence(f), (Ev{{"/proc/irq/24/effective_affinity_list", "eth0 on CPU 2, 1.5k"},
                             {"/proc/irq/24/effective_affinity_list", "eth0 on CPU 3, 7"}}));
}

TEST_F(IrqRulesTest, QuietIsolatedCpusPass) {
  irq("24", "eth0", {{0, 500, 50}, {1, 500, 50}, {2, 0, 0}, {3, 0, 0}});
  run();
  const Finding* f = &get("irq.on_isolated");
  EXPECT_EQ(f->severity, Severity::pass);
  EXPECT_DOUBLE_EQ(f->weight, 2.5);
  EXPECT_EQ(str(f->title), "No device interrupts on isolated CPUs");
  EXPECT_EQ(str(f->detail), "No interrupt has a nonzero count on an isolated CPU since boot.");

  // Sampled, only the increase counts: a count since boot does not.
  snap->irqs[0].per_cpu[2].count = 7000;
  sampled(1.5);
  run();
  f = &get("irq.on_isolated");
  EXPECT_EQ(f->severity, Severity::pass);
  EXPECT_EQ(str(f->detail), "Nothing fired on CPUs 2,3 during a 1.5 s sample.");
}

TEST_F(IrqRulesTest, ManagedInterruptsAloneWarnApart) {
  sampled(1);
  irq("40", "nvme0q3", {{3, 800, 300}}, true);
  irq("41", "nvme0q2", {{2, 900, 400}}, true)->effective.value = snap->isolated;
  irq("24", "eth0", {{0, 500, 50}});
  run();
  EXPECT_EQ(ids(), (std::vector<std::string>{"irq.on_isolated", "irq.managed_on_isolated"}));
  EXPECT_EQ(get("irq.on_isolated").severity, Severity::pass);
  const Finding& f = get("irq.managed_on_isolated");
  EXPECT_EQ(f.severity, Severity::warn);
  EXPECT_DOUBLE_EQ(f.weight, 1);
  EXPECT_EQ(str(f.title), "Kernel-managed interrupt nvme0q2 lands on isolated CPU 2");
  EXPECT_EQ(str(f.detail),
            "Managed (per-queue) vectors are bound by the driver when the device is set up; "
            "writing smp_affinity returns EIO.");
  EXPECT_EQ(str(f.impact),
            "The queue serving this CPU raises its completions here, and the affinity cannot be "
            "changed at runtime.");
  EXPECT_EQ(str(f.remediation),
            "Add managed_irq to isolcpus (isolcpus=managed_irq,domain,...) so the kernel excludes "
            "isolated CPUs when assigning queues, or reduce the device's queue count.");
  EXPECT_EQ(str(f.cmdline), "isolcpus=managed_irq,domain,2,3");
  EXPECT_EQ(evidence(f), (Ev{{"/proc/irq/41/effective_affinity_list", "2,3"}}));
}

TEST_F(IrqRulesTest, EffectiveAffinityOutsideTheRequestedOne) {
  struct Case {
    const char* requested;
    const char* effective;
    bool has_effective;
    bool escapes;
  };
  const Case cases[] = {
      {"0-1", "2", true, true},   {"0-3", "2", true, false}, {"0-1", "1-2", true, true},
      {"0-1", "", true, false},  // nothing effective yet: nothing escapes
      {"0-1", "3", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.requested) + " -> " + c.effective);
    fresh();
    interrupts();
    IrqInfo* q = irq("24", "eth0", {});
    q->affinity.has = true;
    cpuset_parse_list(&q->affinity.value, sv(c.requested));
    q->effective.has = c.has_effective;
    cpuset_parse_list(&q->effective.value, sv(c.effective));
    run();
    EXPECT_EQ(find("irq.effective_escape") != nullptr, c.escapes);
  }
}

TEST_F(IrqRulesTest, EscapingInterruptsAreCountedAndTheFirstDescribed) {
  const char* setups[][2] = {{"0", "1"}, {"0-1", "0-1"}, {"2-3", "0"}};
  const char* names[] = {"24", "25", "26"};
  const char* devices[] = {"eth0", "eth1", "ahci"};
  for (int i = 0; i < 3; i++) {
    IrqInfo* q = irq(names[i], devices[i], {});
    q->affinity.has = q->effective.has = true;
    cpuset_parse_list(&q->affinity.value, sv(setups[i][0]));
    cpuset_parse_list(&q->effective.value, sv(setups[i][1]));
  }
  run();
  const Finding& f = get("irq.effective_escape");
  EXPECT_EQ(f.severity, Severity::warn);
  EXPECT_DOUBLE_EQ(f.weight, 1);
  EXPECT_EQ(str(f.title), "2 interrupts land outside the affinity they were given");
  EXPECT_EQ(str(f.detail), "IRQ 24 (eth0) requested 0 but is effective on 1.");
  EXPECT_EQ(str(f.impact),
            "smp_affinity is being ignored for these vectors, so an audit of the requested masks "
            "describes a routing that does not exist.");
  EXPECT_EQ(str(f.remediation),
            "Treat these as kernel-managed: isolate with isolcpus=managed_irq rather than by "
            "writing smp_affinity.");
  EXPECT_EQ(str(f.cmdline), "isolcpus=managed_irq,domain,2,3");

  snap->irqs.count = 1;
  run();
  EXPECT_EQ(str(get("irq.effective_escape").title),
            "1 interrupt land outside the affinity they were given");
}

TEST_F(IrqRulesTest, DefaultAffinity) {
  struct Case {
    bool read;
    const char* set;
    const char* title;  // null: no finding
    Severity severity;
  };
  const Case cases[] = {
      {false, "0-3", nullptr, Severity::na},
      // A mask that did not parse leaves nothing: it must not read as a pass.
      {true, "", nullptr, Severity::na},
      {true, "0-1", "Default IRQ affinity excludes isolated CPUs", Severity::pass},
      {true, "0", "Default IRQ affinity excludes isolated CPUs", Severity::pass},
      {true, "0-3", "Default IRQ affinity includes isolated CPUs 2,3", Severity::warn},
      {true, "1,3", "Default IRQ affinity includes isolated CPUs 3", Severity::warn},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.read ? "read " : "unread ") + c.set);
    fresh();
    interrupts();
    snap->default_affinity.has = c.read;
    cpuset_parse_list(&snap->default_affinity.value, sv(c.set));
    run();
    const Finding* f = expect_emitted("irq.default_affinity", c.title != nullptr);
    if (!f) continue;
    EXPECT_EQ(str(f->title), c.title);
    EXPECT_EQ(f->severity, c.severity);
    EXPECT_DOUBLE_EQ(f->weight, 1);
  }
  const Finding& f = get("irq.default_affinity");  // the last case
  EXPECT_EQ(str(f.impact),
            "Any device probed after boot -- a hotplugged NIC, a USB device, a loaded module -- "
            "inherits this mask and starts interrupting the RT cores.");
  EXPECT_EQ(str(f.remediation), "Boot with irqaffinity=0,1, which also sets the default.");
  EXPECT_EQ(str(f.cmdline), "irqaffinity=0,1");
  EXPECT_EQ(evidence(f), (Ev{{"/proc/irq/default_smp_affinity", "1,3"}}));
}

TEST_F(IrqRulesTest, SoftirqsOnIsolatedCpus) {
  struct Case {
    bool sampled;
    double window_s;
    uint64_t timer_delta;  // on CPU 3
    const char* title;     // null: no finding
    Severity severity;
  };
  const Case cases[] = {
      {false, 0, 500, nullptr, Severity::na},
      {true, 1, 0, "No softirq activity on isolated CPUs", Severity::pass},
      {true, 1, 100, "Softirq TIMER runs on isolated CPU 3 (100/s)", Severity::warn},
      {true, 10, 999, "Softirq TIMER runs on isolated CPU 3 (99/s)", Severity::pass},
      {true, 2, 300, "Softirq TIMER runs on isolated CPU 3 (150/s)", Severity::warn},
      {true, 0, 40, "Softirq TIMER runs on isolated CPU 3 (40/s)", Severity::pass},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title ? c.title : "none");
    fresh();
    interrupts();
    if (c.sampled) sampled(c.window_s);
    softirq("HI", {{0, 9000, 9000}, {2, 0, 0}});
    softirq("TIMER", {{1, 9000, 9000}, {3, 500, c.timer_delta}});
    run();
    const Finding* f = expect_emitted("irq.softirq_on_isolated", c.title != nullptr);
    if (!f) continue;
    EXPECT_EQ(str(f->title), c.title);
    EXPECT_EQ(f->severity, c.severity);
    if (f->severity == Severity::pass) {
      EXPECT_EQ(text(f->impact), "");
      EXPECT_EQ(text(f->remediation), "");
    } else {
      EXPECT_EQ(str(f->impact),
                "Softirq work runs in the tick or in ksoftirqd on the isolated core, competing "
                "with the RT thread.");
      EXPECT_EQ(str(f->remediation),
                "Move the interrupts that raise it away from the isolated CPUs; softirqs follow "
                "their hard IRQs.");
    }
  }
}

TEST_F(IrqRulesTest, BusiestSoftirqTieGoesToTheFirst) {
  sampled(1);
  softirq("NET_RX", {{2, 0, 300}});
  softirq("TIMER", {{3, 0, 300}});
  run();
  EXPECT_EQ(str(get("irq.softirq_on_isolated").title),
            "Softirq NET_RX runs on isolated CPU 2 (300/s)");

  snap->softirqs.count = 0;  // an empty table gives no finding
  run();
  EXPECT_EQ(find("irq.softirq_on_isolated"), nullptr);
}

TEST_F(IrqRulesTest, ThreadedHandlerPriority) {
  struct Case {
    int32_t app_policy;
    int32_t app_prio;
    int32_t handler_prio;
    const char* remediation;  // null: pass; "-": no finding
  };
  const Case cases[] = {
      // An equal priority cannot preempt the application either.
      {kFifo, 50, 50, "chrt -f -p 51 101   # raise the handler above the application"},
      {kFifo, 50, 51, nullptr},
      {kFifo, 50, 49, "chrt -f -p 51 101   # raise the handler above the application"},
      {kRr, 80, 50, "chrt -f -p 81 101   # raise the handler above the application"},
      // chrt takes 99 at most: an application at 99 steps down below the handler.
      {kFifo, 99, 50,
       "chrt -f -p 99 101; chrt -f -p 98 100   # raise the handler to the top and the "
       "application below it"},
      {kFifo, 99, 99, "chrt -f -p 98 100   # lower the application below the handler"},
      {kFifo, 98, 50, "chrt -f -p 99 101   # raise the handler above the application"},
      {kFifo, 0, 50, "-"},      // an application without RT priority
      {kDeadline, 0, 50, "-"},  // deadline threads have no priority to compare
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.app_prio);
    fresh();
    interrupts();
    task("app", c.app_policy, c.app_prio, "2");
    task("irq/24-eth0", kFifo, c.handler_prio, "0", true)->irq_number = sv("24");
    task("ktimers/2", kFifo, 99, "2", true);  // kernel threads set no bar
    run();
    const Finding* f = expect_emitted("irq.threaded_priority", !c.remediation || std::string(c.remediation) != "-");
    if (!f) continue;
    EXPECT_DOUBLE_EQ(f->weight, 1);
    if (!c.remediation) {
      EXPECT_EQ(f->severity, Severity::pass);
      EXPECT_EQ(str(f->title), "Threaded IRQ handlers outrank the RT application");
      continue;
    }
    EXPECT_EQ(f->severity, Severity::warn);
    EXPECT_EQ(str(f->remediation), c.remediation);
  }
}

TEST_F(IrqRulesTest, ThreadedHandlerBelowTheApplicationInFull) {
  task("irq/30-nvme0q0", kFifo, 50, "0-1", true)->irq_number = sv("30");
  task("control", kFifo, 80, "2");
  task("irq/24-eth0", kFifo, 40, "0", true)->irq_number = sv("24");
  task("irq/-x", kFifo, 1, "0", true);  // no interrupt number: not a handler
  run();
  const Finding& f = get("irq.threaded_priority");
  EXPECT_EQ(f.severity, Severity::warn);
  EXPECT_EQ(str(f.title), "Threaded IRQ handler irq/30-nvme0q0 runs below the RT application");
  EXPECT_EQ(str(f.detail), "Handler priority 50; highest application RT priority 80.");
  EXPECT_EQ(str(f.impact),
            "The handler cannot preempt the application, so incoming data waits until the "
            "application blocks -- which, for a busy RT loop, may be never.");
  EXPECT_EQ(str(f.remediation), "chrt -f -p 81 100   # raise the handler above the application");
  EXPECT_EQ(evidence(f), (Ev{{"/proc/100/task/100/stat", "irq/30-nvme0q0 prio 50"}}));
}

TEST_F(IrqRulesTest, NoTaskListGivesNoHandlerFinding) {
  cpus(4);
  run();
  EXPECT_EQ(ids(), (std::vector<std::string>{"irq.affinity"}));
  snap->tasks_available = true;  // read, but no RT thread at all
  run();
  EXPECT_EQ(ids(), (std::vector<std::string>{"irq.affinity"}));
  task("app", kFifo, 80, "2");  // no handler threads: nothing to judge
  run();
  EXPECT_EQ(ids(), (std::vector<std::string>{"irq.affinity"}));
}

TEST_F(IrqRulesTest, ControlBytesInAnInterruptNameNeverReachTheCommand) {
  irq("2\n4\x1b[1m\x7f", "eth0", {{2, 5, 0}});
  run();
  // No line can show the name: the command is left out and the fix says so.
  const Finding& f = get("irq.on_isolated");
  EXPECT_EQ(str(f.remediation).find("/proc/irq"), std::string::npos);
  ASSERT_EQ(f.script.count, 1u);
  EXPECT_FALSE(f.script[0].command);
}

TEST_F(IrqRulesTest, BothProfilesGradeAlike) {
  sampled(1);
  irq("24", "eth0", {{2, 0, 500}});
  irq("40", "nvme0q3", {{3, 0, 30}}, true);
  snap->default_affinity.has = true;
  cpuset_parse_list(&snap->default_affinity.value, sv("0-3"));
  softirq("TIMER", {{3, 0, 200}});
  task("app", kFifo, 80, "2");
  task("irq/24-eth0", kFifo, 50, "0", true)->irq_number = sv("24");
  std::vector<std::string> seen[2];
  for (Profile p : {Profile::hard_rt, Profile::low_latency}) {
    run(p);
    for (const Finding* f : report.findings) {
      EXPECT_EQ(f->category, Category::irq);
      seen[static_cast<int>(p)].push_back(std::string(f->id) + " " + severity_name(f->severity));
    }
  }
  EXPECT_EQ(seen[0],
            (std::vector<std::string>{"irq.on_isolated fail", "irq.managed_on_isolated warn",
                                      "irq.default_affinity warn", "irq.softirq_on_isolated warn",
                                      "irq.threaded_priority warn"}));
  EXPECT_EQ(seen[1], seen[0]);
}

}  // namespace
