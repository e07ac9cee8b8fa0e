#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rules/rule_module_test.h"

namespace {

class SchedRulesTest : public RuleModuleTest {
 protected:
  void SetUp() override {
    RuleModuleTest::SetUp();
    machine();
  }

  // Eight CPUs, 4-7 isolated, and a readable (so far empty) thread table.
  void machine() {
    cpus(8, "4-7");
    snap->tasks_available = true;
  }

  RtTask* deadline(const char* comm, uint64_t runtime_ns, uint64_t deadline_ns,
                   uint64_t period_ns) {
    RtTask* t = task(comm, kDeadline, 0, "4");
    t->dl.has = true;
    t->dl.value.runtime_ns = runtime_ns;
    t->dl.value.deadline_ns = deadline_ns;
    t->dl.value.period_ns = period_ns;
    return t;
  }

  void run(Profile p = Profile::hard_rt) { RuleModuleTest::run(sched_rules, p); }
};

TEST_F(SchedRulesTest, CgroupV2WithRtGroupSchedulingFails) {
  struct Case {
    int32_t version;
    bool rt_group;
    bool fails;
  };
  const Case cases[] = {{2, true, true}, {1, true, false}, {2, false, false}, {0, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    fresh();
    machine();
    snap->cgroup_version = c.version;
    snap->rt_group_sched = c.rt_group;
    run();
    EXPECT_EQ(find("sched.cgroup_rt_group") != nullptr, c.fails);
  }
}

TEST_F(SchedRulesTest, NoThreadTableStopsAfterTheCgroupCheck) {
  snap->tasks_available = false;
  snap->sched_rt_runtime_us.has = true;
  snap->sched_rt_runtime_us.value = 950000;
  run();
  EXPECT_EQ(ids(), (std::vector<std::string>{"sched.inventory"}));
  const Finding& inv = get("sched.inventory");
  EXPECT_EQ(inv.category, Category::scheduling);
  EXPECT_EQ(inv.severity, Severity::unknown);
  EXPECT_EQ(str(inv.title), "Thread table not readable");
  EXPECT_EQ(str(inv.impact), "Scheduling policies could not be evaluated.");

  snap->cgroup_version = 2;
  snap->rt_group_sched = true;
  snap->cgroup_subtree_control = sv("cpuset cpu memory");
  run();
  EXPECT_EQ(ids(), (std::vector<std::string>{"sched.cgroup_rt_group", "sched.inventory"}));
  const Finding& f = get("sched.cgroup_rt_group");
  EXPECT_EQ(f.severity, Severity::fail);
  EXPECT_DOUBLE_EQ(f.weight, 2.5);
  EXPECT_EQ(str(f.title), "cgroup v2 with CONFIG_RT_GROUP_SCHED blocks SCHED_FIFO");
  EXPECT_EQ(str(f.detail),
            "The unified hierarchy has no rt_runtime_us knob, so every non-root cgroup gets a "
            "real-time budget of zero.");
  EXPECT_EQ(str(f.impact),
            "sched_setscheduler() returns EPERM for any thread in a non-root cgroup, including "
            "every container and every systemd service.");
  EXPECT_EQ(str(f.remediation), "Use a kernel built without CONFIG_RT_GROUP_SCHED.");
  EXPECT_EQ(text(f.cmdline), "");
  EXPECT_EQ(evidence(f), (Ev{{"CONFIG_RT_GROUP_SCHED", "y"},
                             {"/sys/fs/cgroup/cgroup.subtree_control", "cpuset cpu memory"}}));
}

TEST_F(SchedRulesTest, OnlyKernelThreadsWarnAndSkipPlacement) {
  task("ktimers/4", kFifo, 1, "4", true);
  task("rcuc/4", kFifo, 1, "0-7", true);
  task("watchdogd", kFifo, 99, "0-7", true);
  run();
  EXPECT_EQ(ids(), (std::vector<std::string>{"sched.inventory"}));
  const Finding& f = get("sched.inventory");
  EXPECT_EQ(f.severity, Severity::warn);
  EXPECT_DOUBLE_EQ(f.weight, 1);
  EXPECT_EQ(str(f.title), "No real-time application threads found");
  EXPECT_EQ(str(f.detail), "3 kernel RT threads, no user threads at SCHED_FIFO/RR/DEADLINE.");
  EXPECT_EQ(str(f.impact),
            "Either the workload is not running, or it is running at SCHED_OTHER and gets no "
            "real-time guarantee at all.");
  EXPECT_EQ(str(f.remediation),
            "Start the workload before auditing, or raise it with chrt -f <priority> <command>.");
}

TEST_F(SchedRulesTest, InventoryCountsUserDeadlineAndKernelThreads) {
  task("control", kFifo, 80, "4");
  run();
  EXPECT_EQ(get("sched.inventory").severity, Severity::pass);
  EXPECT_EQ(str(get("sched.inventory").title), "1 real-time application thread");

  task("logger", kRr, 10, "5");
  task("ksoftirqd/4", kFifo, 2, "4", true);
  deadline("sched_dl_kernel", 1, 10, 10)->kthread = true;  // counted with deadline threads
  run();
  const Finding& f = get("sched.inventory");
  EXPECT_EQ(str(f.title), "3 real-time application threads");
  EXPECT_EQ(str(f.detail), "2 user SCHED_FIFO/RR, 1 SCHED_DEADLINE, 1 kernel RT threads.");
}

TEST_F(SchedRulesTest, PlacementAgainstIsolatedCpus) {
  // Isolated 4-7, housekeeping 0-3; CPUs 8-9 exist in no set of this machine.
  struct Case {
    std::vector<const char*> allowed;  // one application thread each; null: unread
    std::vector<std::string> want;     // placement ids
  };
  const Case cases[] = {
      {{"4"}, {"sched.rt_placement"}},
      {{"4-7", "5"}, {"sched.rt_placement"}},
      {{"4-9"}, {"sched.rt_placement"}},
      {{"0-7"}, {"sched.rt_unaffined"}},
      {{"3-4", "5"}, {"sched.rt_unaffined"}},
      {{"0-3"}, {"sched.rt_on_housekeeping"}},
      {{"8"}, {"sched.rt_on_housekeeping"}},
      {{"0-7", "1"}, {"sched.rt_unaffined", "sched.rt_on_housekeeping"}},
      // No thread's allowed CPUs were read: nothing to pass on.
      {{nullptr}, {}},
      {{nullptr, "0-7"}, {"sched.rt_unaffined"}},
  };
  for (const Case& c : cases) {
    fresh();
    machine();
    std::string trace;
    for (const char* a : c.allowed) {
      task("app", kFifo, 50, a);
      trace += std::string(a ? a : "unread") + " ";
    }
    SCOPED_TRACE(trace);
    task("kworker", kFifo, 1, "0-7", true);  // kernel threads are not placed
    run();
    std::vector<std::string> got;
    for (const std::string& id : ids()) {
      if (id == "sched.rt_placement" || id == "sched.rt_unaffined" ||
          id == "sched.rt_on_housekeeping") {
        got.push_back(id);
      }
    }
    EXPECT_EQ(got, c.want);
  }
}

TEST_F(SchedRulesTest, PlacementTexts) {
  task("fine", kFifo, 50, "4");
  task("roamer", kFifo, 50, "0-7");
  task("roamer2", kRr, 40, "3-4");
  task("stuck", kFifo, 50, "1");
  run();
  const Finding& un = get("sched.rt_unaffined");
  EXPECT_EQ(un.severity, Severity::fail);
  EXPECT_DOUBLE_EQ(un.weight, 2);
  EXPECT_EQ(str(un.title), "2 RT threads can migrate off the isolated CPUs");
  EXPECT_EQ(str(un.detail),
            "roamer (tid 101) is allowed on 0-7, which spans both isolated and housekeeping "
            "CPUs.");
  EXPECT_EQ(str(un.impact),
            "The load balancer can move the thread onto a housekeeping CPU at any time, where it "
            "competes with all the work isolation was meant to keep away from it.");
  EXPECT_EQ(str(un.remediation), "taskset -pc 4-7 101");
  EXPECT_EQ(evidence(un), (Ev{{"/proc/101/task/101/status", "Cpus_allowed_list: 0-7"}}));

  const Finding& hk = get("sched.rt_on_housekeeping");
  EXPECT_EQ(hk.severity, Severity::warn);
  EXPECT_DOUBLE_EQ(hk.weight, 1);
  EXPECT_EQ(str(hk.title), "1 RT thread pinned entirely to housekeeping CPUs");
  EXPECT_EQ(str(hk.detail), "stuck (tid 103) is confined to 1, none of which is isolated.");
  EXPECT_EQ(str(hk.impact),
            "The isolated cores sit idle while the RT thread runs alongside the kernel work it "
            "was supposed to avoid.");
  EXPECT_EQ(str(hk.remediation), "taskset -pc 4-7 103");
  EXPECT_TRUE(evidence(hk).empty());

  fresh();
  machine();
  task("fine", kFifo, 50, "4");
  run();
  const Finding& ok = get("sched.rt_placement");
  EXPECT_EQ(ok.severity, Severity::pass);
  EXPECT_DOUBLE_EQ(ok.weight, 2);
  EXPECT_EQ(str(ok.title), "RT threads are pinned to isolated CPUs");
}

TEST_F(SchedRulesTest, PlacementWithoutIsolation) {
  struct Case {
    int ncpus;
    std::vector<const char*> allowed;
    Severity severity;  // na: no finding
    const char* title;
  };
  const Case cases[] = {
      {4, {"0-3"}, Severity::warn, "1 RT thread not pinned to any CPU"},
      {4, {"0-3", "0-7", "2"}, Severity::warn, "2 RT threads not pinned to any CPU"},
      {4, {"2"}, Severity::pass, "RT threads are pinned"},
      {4, {"0-2"}, Severity::pass, "RT threads are pinned"},
      {1, {"0"}, Severity::pass, "RT threads are pinned"},
      {4, {nullptr}, Severity::na, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title ? c.title : "none");
    fresh();
    cpus(c.ncpus);
    for (const char* a : c.allowed) task("app", kFifo, 50, a);
    run();
    const Finding* f = expect_emitted("sched.rt_placement", c.severity != Severity::na);
    if (!f) continue;
    EXPECT_EQ(f->severity, c.severity);
    EXPECT_EQ(str(f->title), c.title);
    EXPECT_DOUBLE_EQ(f->weight, 1);
    if (c.severity == Severity::warn) {
      EXPECT_EQ(str(f->impact),
                "Migration costs a cold cache on arrival, and the destination CPU's state is not "
                "under the application's control.");
      EXPECT_EQ(str(f->remediation), "Pin RT threads with taskset -pc <cpu> <tid>.");
    }
  }
}

TEST_F(SchedRulesTest, EqualFifoPrioritiesSharingACpu) {
  struct Thread {
    const char* comm;
    int32_t policy;
    int32_t prio;
    const char* allowed;
    bool kthread;
  };
  struct Case {
    const char* name;
    std::vector<Thread> threads;
    const char* detail;  // null: no finding
  };
  const Case cases[] = {
      {"both on 5",
       {{"a", kFifo, 50, "5", false}, {"b", kFifo, 50, "5", false}},
       "a (tid 100) and b (tid 101)."},
      {"second may roam",
       {{"a", kFifo, 50, "5", false}, {"b", kFifo, 50, "4-5", false}},
       "a (tid 100) and b (tid 101)."},
      {"first may roam", {{"a", kFifo, 50, "4-5", false}, {"b", kFifo, 50, "5", false}}, nullptr},
      {"other CPUs", {{"a", kFifo, 50, "5", false}, {"b", kFifo, 50, "4,6", false}}, nullptr},
      {"other priority", {{"a", kFifo, 50, "5", false}, {"b", kFifo, 51, "5", false}}, nullptr},
      {"round robin", {{"a", kRr, 50, "5", false}, {"b", kFifo, 50, "5", false}}, nullptr},
      {"kernel thread", {{"a", kFifo, 50, "5", false}, {"k", kFifo, 50, "5", true}}, nullptr},
      {"unread", {{"a", kFifo, 50, "5", false}, {"b", kFifo, 50, nullptr, false}}, nullptr},
      {"first pair in list order",
       {{"a", kFifo, 60, "6", false},
        {"b", kFifo, 50, "5", false},
        {"c", kFifo, 50, "4-5", false},
        {"d", kFifo, 60, "6", false}},
       "a (tid 100) and d (tid 103)."},
      {"first partner of the first thread",
       {{"a", kFifo, 50, "5", false},
        {"b", kFifo, 50, "4", false},
        {"c", kFifo, 50, "4-5", false},
        {"d", kFifo, 50, "5", false}},
       "a (tid 100) and c (tid 102)."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    machine();
    for (const Thread& t : c.threads) task(t.comm, t.policy, t.prio, t.allowed, t.kthread);
    run();
    const Finding* f = expect_emitted("sched.equal_priority", c.detail != nullptr);
    if (!f) continue;
    EXPECT_EQ(str(f->detail), c.detail);
  }
  const Finding& f = get("sched.equal_priority");
  EXPECT_EQ(f.severity, Severity::warn);
  EXPECT_EQ(str(f.title), "Two SCHED_FIFO threads share priority 50 on CPU 5");
  EXPECT_EQ(str(f.impact),
            "Under SCHED_FIFO neither preempts the other, so one runs to completion while the "
            "other waits -- the delay is bounded by the first thread's runtime, not by any "
            "scheduling parameter.");
  EXPECT_EQ(str(f.remediation), "Give them distinct priorities, or move one to another CPU.");
}

TEST_F(SchedRulesTest, PriorityNinetyNineAndRoundRobinNameTheFirstThread) {
  task("watchdog/4", kFifo, 99, "4", true);  // kernel threads may sit at 99
  task("spinner", kRr, 99, "4");
  task("other", kFifo, 99, "5");
  task("rr2", kRr, 10, "6");
  run();
  const Finding& hi = get("sched.priority_too_high");
  EXPECT_EQ(hi.severity, Severity::warn);
  EXPECT_EQ(str(hi.title), "spinner runs at priority 99");
  EXPECT_EQ(str(hi.detail), "tid 101, policy SCHED_RR");
  EXPECT_EQ(str(hi.impact),
            "Priority 99 matches the migration and watchdog kernel threads. A busy loop there "
            "starves the threads the kernel needs to stay responsive, and can hang the CPU.");
  EXPECT_EQ(str(hi.remediation), "chrt -f -p 80 101   # leave headroom above the application");

  const Finding& rr = get("sched.rr_used");
  EXPECT_EQ(rr.severity, Severity::warn);
  EXPECT_EQ(str(rr.title), "spinner uses SCHED_RR");
  EXPECT_EQ(str(rr.detail), "Round-robin quantum unknown.");
  EXPECT_EQ(str(rr.impact),
            "SCHED_RR preempts the thread at the end of its quantum whenever a peer of equal "
            "priority is runnable, adding a scheduling event that SCHED_FIFO would not have.");
  EXPECT_EQ(str(rr.remediation), "chrt -f -p 99 101   # switch to SCHED_FIFO");

  snap->sched_rr_timeslice_ms.has = true;
  snap->sched_rr_timeslice_ms.value = 100;
  run();
  EXPECT_EQ(str(get("sched.rr_used").detail), "Round-robin quantum is 100 ms.");
}

TEST_F(SchedRulesTest, RtThrottling) {
  struct Case {
    bool has_runtime;
    int64_t runtime;
    bool has_period;
    int64_t period;
    const char* title;  // null: no finding
    const char* impact;
  };
  const Case cases[] = {
      {false, 0, true, 1000000, nullptr, nullptr},
      {true, -1, true, 1000000, "RT throttling disabled", nullptr},
      {true, 950000, true, 1000000, "RT throttling active: 95.0% of each period",
       "A fully busy RT thread is forcibly descheduled for 50 ms once every 1000 ms."},
      {true, 950000, false, 0, "RT throttling active: 95.0% of each period",
       "A fully busy RT thread is forcibly descheduled for 50 ms once every 1000 ms."},
      {true, 1000000, true, 1000000, "RT throttling active: 100.0% of each period",
       "A fully busy RT thread is forcibly descheduled for 0 ms once every 1000 ms."},
      {true, 0, true, 0, "RT throttling active: 0.0% of each period",
       "A fully busy RT thread is forcibly descheduled for 0 ms once every 0 ms."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.runtime);
    fresh();
    machine();
    snap->sched_rt_runtime_us.has = c.has_runtime;
    snap->sched_rt_runtime_us.value = c.runtime;
    snap->sched_rt_period_us.has = c.has_period;
    snap->sched_rt_period_us.value = c.period;
    run();
    const Finding* f = expect_emitted("sched.rt_throttling", c.title != nullptr);
    if (!f) continue;
    EXPECT_EQ(str(f->title), c.title);
    EXPECT_EQ(f->severity, c.impact ? Severity::warn : Severity::pass);
    EXPECT_EQ(text(f->impact), c.impact ? c.impact : "");
  }

  fresh();
  machine();
  snap->sched_rt_runtime_us.has = true;
  snap->sched_rt_runtime_us.value = 950000;
  run();
  const Finding& f = get("sched.rt_throttling");
  EXPECT_EQ(str(f.detail), "sched_rt_runtime_us=950000, sched_rt_period_us=1000000.");
  EXPECT_EQ(str(f.sysctl), "kernel.sched_rt_runtime_us = -1");
  EXPECT_EQ(evidence(f), (Ev{{"/proc/sys/kernel/sched_rt_runtime_us", "950000"}}));

  snap->sched_rt_runtime_us.value = -1;
  run();
  EXPECT_EQ(str(get("sched.rt_throttling").detail),
            "sched_rt_runtime_us is -1, so an RT thread may use its CPU without the kernel "
            "forcibly descheduling it.");
}

TEST_F(SchedRulesTest, DeadlineParametersNotReadable) {
  deadline("dl", 1000000, 10000000, 10000000)->dl.has = false;
  snap->sched_getattr_note = sv("not a live system");
  run();
  const Finding& f = get("sched.deadline_params");
  EXPECT_EQ(f.severity, Severity::unknown);
  EXPECT_EQ(str(f.title), "1 SCHED_DEADLINE thread, parameters not readable");
  EXPECT_EQ(str(f.detail), "not a live system");
  EXPECT_EQ(str(f.impact),
            "Runtime, deadline and period are not exposed in procfs, so admission and constraint "
            "checks could not be evaluated.");
  EXPECT_EQ(find("sched.deadline_bandwidth"), nullptr);

  deadline("dl2", 1, 1, 1)->dl.has = false;
  snap->sched_getattr_note = kNoneView;
  run();
  EXPECT_EQ(str(get("sched.deadline_params").title),
            "2 SCHED_DEADLINE threads, parameters not readable");
  EXPECT_EQ(str(get("sched.deadline_params").detail), "sched_getattr(2) unavailable.");
}

TEST_F(SchedRulesTest, DeadlineWithoutAnyParametersIsNeverAZeroBandwidthPass) {
  snap->sched_getattr_ok = true;
  deadline("dl", 0, 0, 0)->dl.has = false;  // the thread exited before it was asked
  deadline("dl2", 500, 1000, 0);            // no period: nothing to divide by
  run();
  EXPECT_EQ(find("sched.deadline_bandwidth"), nullptr);
  const Finding& f = get("sched.deadline_params");
  EXPECT_EQ(f.severity, Severity::unknown);
  EXPECT_EQ(str(f.title), "2 SCHED_DEADLINE threads, parameters not readable");
  EXPECT_EQ(str(f.detail), "sched_getattr(2) gave no parameters for any of them.");
}

TEST_F(SchedRulesTest, DeadlineBandwidthAndConstrainedDeadlines) {
  struct Case {
    std::vector<uint64_t> runtimes_us;  // each over a 10 ms period, implicit deadline
    const char* title;
    Severity severity;
  };
  const Case cases[] = {
      {{4500, 4500}, "SCHED_DEADLINE bandwidth 90.0% of one CPU", Severity::pass},
      {{9000}, "SCHED_DEADLINE bandwidth 90.0% of one CPU", Severity::pass},
      {{9100}, "SCHED_DEADLINE bandwidth 91.0% of one CPU", Severity::warn},
      {{6000, 6000}, "SCHED_DEADLINE bandwidth 120.0% of one CPU", Severity::warn},
      {{0}, "SCHED_DEADLINE bandwidth 0.0% of one CPU", Severity::pass},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    fresh();
    machine();
    snap->sched_getattr_ok = true;
    for (uint64_t rt : c.runtimes_us) deadline("dl", rt * 1000, 10000000, 10000000);
    run();
    const Finding& f = get("sched.deadline_bandwidth");
    EXPECT_EQ(str(f.title), c.title);
    EXPECT_EQ(f.severity, c.severity);
    EXPECT_DOUBLE_EQ(f.weight, 1);
    if (c.severity == Severity::warn) {
      EXPECT_EQ(str(f.impact),
                "Close to the admission limit; a further deadline thread will be refused with "
                "EBUSY.");
      EXPECT_EQ(str(f.remediation),
                "Reduce runtime or lengthen periods to leave admission headroom.");
    } else {
      EXPECT_EQ(text(f.remediation), "");
    }
    EXPECT_EQ(find("sched.deadline_constrained"), nullptr);
  }

  deadline("sensor", 1000000, 5000000, 10000000);
  deadline("later", 1000000, 2000000, 10000000);
  run();
  const Finding& f = get("sched.deadline_constrained");
  EXPECT_EQ(f.severity, Severity::pass);
  EXPECT_EQ(str(f.title), "sensor uses a constrained deadline");
  EXPECT_EQ(str(f.detail), "runtime 1.00 ms, deadline 5.00 ms, period 10.00 ms.");
  EXPECT_EQ(ids().back(), "sched.deadline_constrained");
}

TEST_F(SchedRulesTest, EmissionOrderAndOneCategory) {
  snap->cgroup_version = 2;
  snap->rt_group_sched = true;
  snap->sched_getattr_ok = true;
  snap->sched_rt_runtime_us.has = true;
  snap->sched_rt_runtime_us.value = 950000;
  task("roamer", kRr, 99, "0-7");
  task("stuck", kFifo, 50, "1");
  task("a", kFifo, 50, "5");
  task("b", kFifo, 50, "5");
  deadline("dl", 1000000, 5000000, 10000000);
  std::vector<std::string> want = {"sched.cgroup_rt_group",
                                   "sched.inventory",
                                   "sched.rt_unaffined",
                                   "sched.rt_on_housekeeping",
                                   "sched.equal_priority",
                                   "sched.priority_too_high",
                                   "sched.rr_used",
                                   "sched.rt_throttling",
                                   "sched.deadline_bandwidth",
                                   "sched.deadline_constrained"};
  for (Profile p : {Profile::hard_rt, Profile::low_latency}) {
    run(p);
    EXPECT_EQ(ids(), want);
    for (const Finding* f : report.findings) EXPECT_EQ(f->category, Category::scheduling);
    EXPECT_EQ(get("sched.rt_unaffined").severity, Severity::fail);
  }
}

// RT group scheduling on cgroup v2 by what the machine's files say, and the
// fair deadline server where the scheduler has one.
void rt_groups(Snapshot* s, const char* subtree, const char* default_disabled, const char* booted) {
  s->tasks_available = true;
  s->cgroup_version = 2;
  s->rt_group_sched = true;
  s->cgroup_subtree_control = subtree ? sv_from_cstr(subtree) : kNoneView;
  if (default_disabled)
    kv_add(s->arena, &s->config, sv_lit("CONFIG_RT_GROUP_SCHED_DEFAULT_DISABLED"),
           sv_from_cstr(default_disabled));
  if (booted) kv_add(s->arena, &s->cmdline_params, sv_lit("rt_group_sched"), sv_from_cstr(booted));
}

void fair_servers(Snapshot* s, int64_t runtime_cpu3) {
  machine(s, "0-3", "2-3");
  s->tasks_available = s->fair_server_available = true;
  s->sched_rt_runtime_us = opt_some(int64_t{-1});
  const int64_t runtimes[] = {50000000, 50000000, 0, runtime_cpu3};
  for (int32_t c = 0; c < 4; c++)
    list_push(s->arena, &s->fair_server,
              FairServer{c, opt_some(runtimes[c]), opt_some(int64_t{1000000000})});
}

constexpr RuleCase kCurrentKernelCases[] = {
    {"cpu controller enabled", [](Snapshot* s) { rt_groups(s, "cpuset cpu io", nullptr, nullptr); },
     Profile::hard_rt, "sched.cgroup_rt_group", Severity::fail, 2.5,
     "cgroup v2 with CONFIG_RT_GROUP_SCHED blocks SCHED_FIFO"},
    {"subtree_control unread", [](Snapshot* s) { rt_groups(s, nullptr, nullptr, nullptr); },
     Profile::hard_rt, "sched.cgroup_rt_group", Severity::unknown, 1,
     "cgroup v2 with CONFIG_RT_GROUP_SCHED; cpu controller state unknown"},
    {"disabled by default", [](Snapshot* s) { rt_groups(s, "cpu", "y", nullptr); },
     Profile::hard_rt, "sched.cgroup_rt_group", kNoFinding, 0, ""},
    {"booted off", [](Snapshot* s) { rt_groups(s, "cpu", "n", "0"); }, Profile::hard_rt,
     "sched.cgroup_rt_group", kNoFinding, 0, ""},
    {"fair server reserving", [](Snapshot* s) { fair_servers(s, 50000000); }, Profile::hard_rt,
     "sched.rt_throttling", Severity::warn, 1,
     "Fair server: normal tasks waiting on CPU 3 get 50.0 ms of every 1.00 s"},
    {"fair server runtime 0 on RT CPUs", [](Snapshot* s) { fair_servers(s, 0); }, Profile::hard_rt,
     "sched.rt_throttling", Severity::pass, 1, "Fair server reserves no time on the RT CPUs"},
};

TEST_F(SchedRulesTest, CurrentKernels) {
  expect_cases(sched_rules, kCurrentKernelCases, Category::scheduling);
}

}  // namespace

// Memory locking and page faults of the RT applications (the app_rules module).
namespace {

class AppRulesTest : public RuleModuleTest {};

// An application SCHED_FIFO thread "ctrl" of pid 100 with its process's
// VmLck and VmRSS (kB; below 0: the line was absent).
RtTask* app(Snapshot* s, int64_t lck_kb, int64_t rss_kb) {
  s->tasks_available = true;
  RtTask* t = list_grow(s->arena, &s->rt_tasks);
  t->pid = t->tid = 100;
  t->comm = sv_from_cstr("ctrl");
  t->policy = kFifo;
  t->vm_lck_kb = lck_kb >= 0 ? opt_some(lck_kb) : OptInt{};
  t->vm_rss_kb = opt_some(rss_kb);
  return t;
}

// Faults of the thread over a 2 s window; a growth below 0 was not measured.
void faults(Snapshot* s, int64_t minor, int64_t major) {
  RtTask* t = app(s, 1024, 1024);
  s->tasks_window_s = 2;
  if (minor >= 0) t->minflt_delta = opt_some(minor);
  if (major >= 0) t->majflt_delta = opt_some(major);
}

const RuleCase kCases[] = {
    {"nothing locked", [](Snapshot* s) { app(s, 0, 122880); }, Profile::hard_rt, "sched.memlock",
     Severity::warn, 1, "pid 100 (ctrl) has locked none of its 120 MB"},
    {"locked", [](Snapshot* s) { app(s, 4096, 122880); }, Profile::hard_rt, "sched.memlock",
     Severity::pass, 1, "Real-time processes lock their memory"},
    {"VmLck unreadable", [](Snapshot* s) { app(s, -1, 122880); }, Profile::hard_rt,
     "sched.memlock", kNoFinding, 0, ""},
    {"major fault", [](Snapshot* s) { faults(s, 0, 2); }, Profile::hard_rt, "sched.page_faults",
     Severity::fail, 1, "tid 100 (ctrl) took 2 major page faults during the sample"},
    {"minor faults 15/s", [](Snapshot* s) { faults(s, 30, 0); }, Profile::hard_rt,
     "sched.page_faults", Severity::warn, 1, "tid 100 (ctrl) takes 15 minor page faults/s"},
    {"minor faults 10/s", [](Snapshot* s) { faults(s, 20, 0); }, Profile::hard_rt,
     "sched.page_faults", Severity::pass, 1,
     "Real-time threads took no major and few minor page faults"},
    {"counter went down", [](Snapshot* s) { faults(s, -1, -1); }, Profile::hard_rt,
     "sched.page_faults", kNoFinding, 0, ""},
};

TEST_F(AppRulesTest, Cases) { expect_cases(app_rules, kCases, Category::scheduling); }

}  // namespace
