// A PREEMPT_RT kernel with dynamic preemption, a fair deadline server, cgroup
// v2 with the cpu controller and a sampled local timer, collected from
// fixture trees: every finding of these kernels, and no boot parameter the
// machine would refuse.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "collect/collect.h"
#include "collect/irq_sample.h"
#include "rules/rules.h"
#include "test_util.h"

namespace {

class CurrentKernelFixtureTest : public ArenaTest {
 protected:
  std::map<std::string, const Finding*> analyse(const char* tree, const char* after = nullptr) {
    Source* src = open_source(tests_dir() + "/fixtures/" + tree);
    std::map<std::string, const Finding*> out;
    if (!src) return out;
    Snapshot* snap = arena_new<Snapshot>(&arena);
    collect_snapshot(snap, &arena, src, 0);
    if (after) {
      after_text = read_file(tests_dir() + "/fixtures/interrupts/" + after);
      apply_interrupt_sample(snap, sv(after_text.c_str()), kNoneView, 1);
    }
    run_rules(&report, &arena, snap, Profile::hard_rt, false, 0);
    for (const Finding* f : report.findings) out[f->id] = f;
    return out;
  }
  std::string after_text;
  Report report = {};
};

TEST_F(CurrentKernelFixtureTest, Rt612) {
  auto found = analyse("kernel-rt-612", "x86-loc-nohz-after");
  const std::map<std::string, std::string> expected = {
      {"preempt.debug_options", "No latency-costing debug options compiled in"},
      {"sched.cgroup_rt_group", "cgroup v2 with CONFIG_RT_GROUP_SCHED blocks SCHED_FIFO"},
      {"sched.rt_throttling", "Fair server: normal tasks waiting on CPU 2 get 50.0 ms of every 1.00 s"},
      {"irq.threaded_priority", "Threaded IRQ handler irq/40-eth0 runs at the RT application's priority"},
      {"noise.workqueue_cpumask", "Unbound workqueues may run on isolated CPUs 2,3"},
      {"noise.nohz_tick", "Tick still running on nohz_full CPU 3: 1.0k local timer interrupts/s"},
      {"noise.rcuo_affinity", "1 RCU offload thread may run on isolated CPUs"},
  };
  for (const auto& [id, title] : expected) {
    ASSERT_TRUE(found.count(id)) << id;
    EXPECT_EQ(str(found[id]->title), title);
  }
  EXPECT_FALSE(found.count("preempt.dynamic_mismatch"));
  for (const Finding* f : report.findings) {
    EXPECT_EQ(str(f->cmdline).find("systemd.unified_cgroup_hierarchy"), std::string::npos);
    EXPECT_EQ(str(f->cmdline).find("preempt="), std::string::npos);
  }
}

TEST_F(CurrentKernelFixtureTest, CgroupV2WithoutTheCpuController) {
  EXPECT_FALSE(analyse("cgroup-v2-nocpu").count("sched.cgroup_rt_group"));
}

}  // namespace
