// A PREEMPT_RT kernel with dynamic preemption, a fair server and cgroup v2
// (the golden kernel-rt-612 pins its texts), here with a sampled local timer,
// and a cgroup v2 tree without the cpu controller.
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
  // The findings' ids and titles, after every boot parameter was checked.
  std::map<std::string, std::string> analyse(const char* tree, const std::string& after = "") {
    Snapshot* snap = arena_new<Snapshot>(&arena);
    collect_snapshot(snap, &arena, open_source(tests_dir() + "/fixtures/" + tree), 0);
    if (!after.empty()) apply_interrupt_sample(snap, sv(after.c_str()), kNoneView, 1);
    run_rules(&report, &arena, snap, Profile::hard_rt, false, 0);
    std::map<std::string, std::string> out;
    for (const Finding* f : report.findings) {
      EXPECT_EQ(str(f->cmdline).find("systemd.unified_cgroup_hierarchy"), std::string::npos);
      EXPECT_EQ(str(f->cmdline).find("preempt="), std::string::npos);
      out[f->id] = str(f->title);
    }
    return out;
  }
  Report report = {};
};

TEST_F(CurrentKernelFixtureTest, SampledTickAndCgroupController) {
  auto found =
      analyse("kernel-rt-612", read_file(tests_dir() + "/fixtures/interrupts/x86-loc-nohz-after"));
  EXPECT_EQ(found["noise.nohz_tick"],
            "Tick still running on nohz_full CPU 3: 1.0k local timer interrupts/s");
  EXPECT_FALSE(analyse("cgroup-v2-nocpu").count("sched.cgroup_rt_group"));
}

}  // namespace
