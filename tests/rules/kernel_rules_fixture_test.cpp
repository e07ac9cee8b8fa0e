// The kernel and preemption rules over machines collected from fixture trees
// that hold Debian's real generic and PREEMPT_RT kernel configurations.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "collect/collect.h"
#include "collect/snapshot.h"
#include "rules/finding.h"
#include "rules/rules.h"
#include "source/source.h"
#include "test_util.h"

namespace {

class PreemptFixtureTest : public ArenaTest {
 protected:
  // Collects the tree and runs every rule; returns id -> finding.
  std::map<std::string, const Finding*> analyse(const char* tree, Profile profile) {
    std::string path = tests_dir() + "/fixtures/" + tree;
    Source* src = open_source(path);
    std::map<std::string, const Finding*> out;
    if (!src) return out;
    snap = arena_new<Snapshot>(&arena);
    collect_snapshot(snap, &arena, src, 0);
    run_rules(&report, &arena, snap, profile, false, 0);
    for (const Finding* f : report.findings) {
      if (f->category == Category::preemption) out[f->id] = f;
    }
    return out;
  }
  Snapshot* snap = nullptr;
  Report report = {};
};

TEST_F(PreemptFixtureTest, GenericKernelBootedStrongerThanItsDefault) {
  auto found = analyse("kernel-generic", Profile::hard_rt);
  ASSERT_TRUE(found.count("preempt.rt"));
  EXPECT_EQ(found["preempt.rt"]->severity, Severity::fail);
  EXPECT_EQ(str(found["preempt.rt"]->detail), "Running the 'full' preemption model.");
  ASSERT_EQ(found["preempt.rt"]->evidence.count, 1u);
  EXPECT_EQ(str(found["preempt.rt"]->evidence[0].key), "/proc/version");

  // Built voluntary with dynamic preemption, booted preempt=full: stronger
  // than the default, so nothing to warn about.
  EXPECT_TRUE(snap->preempt_dynamic);
  EXPECT_EQ(str(snap->config_preempt_model), "voluntary");
  EXPECT_FALSE(found.count("preempt.dynamic_mismatch"));

  ASSERT_TRUE(found.count("preempt.hz"));
  EXPECT_EQ(found["preempt.hz"]->severity, Severity::warn);
  EXPECT_EQ(str(found["preempt.hz"]->title), "Tick rate 250 Hz");
  ASSERT_TRUE(found.count("preempt.hrtimers"));
  EXPECT_EQ(found["preempt.hrtimers"]->severity, Severity::pass);
  ASSERT_TRUE(found.count("preempt.threadirqs"));
  EXPECT_EQ(found["preempt.threadirqs"]->severity, Severity::warn);
  EXPECT_EQ(str(found["preempt.threadirqs"]->cmdline), "threadirqs");
  EXPECT_FALSE(found.count("preempt.config_missing"));
  EXPECT_TRUE(found.count("preempt.debug_options"));
}

TEST_F(PreemptFixtureTest, RtKernel) {
  auto found = analyse("kernel-rt", Profile::hard_rt);
  ASSERT_TRUE(found.count("preempt.rt"));
  EXPECT_EQ(found["preempt.rt"]->severity, Severity::pass);
  EXPECT_DOUBLE_EQ(found["preempt.rt"]->weight, 3);
  EXPECT_EQ(str(found["preempt.rt"]->detail), "Confirmed by " + str(snap->rt_evidence) + ".");
  EXPECT_FALSE(found.count("preempt.dynamic_mismatch"));
  ASSERT_TRUE(found.count("preempt.threadirqs"));
  EXPECT_EQ(found["preempt.threadirqs"]->severity, Severity::pass);
  EXPECT_EQ(str(found["preempt.threadirqs"]->detail),
            "PREEMPT_RT threads interrupt handlers by default.");
  ASSERT_TRUE(found.count("preempt.rcu_boost"));
  EXPECT_EQ(found["preempt.rcu_boost"]->severity, Severity::pass);
  ASSERT_TRUE(found.count("preempt.hrtimers"));
  EXPECT_EQ(found["preempt.hrtimers"]->severity, Severity::pass);
  ASSERT_TRUE(found.count("preempt.hz"));
  EXPECT_EQ(str(found["preempt.hz"]->title), "Tick rate 250 Hz");
}

TEST_F(PreemptFixtureTest, MachineWithoutConfiguration) {
  auto found = analyse("kernel-minimal", Profile::low_latency);
  EXPECT_EQ(found.size(), 2u);
  ASSERT_TRUE(found.count("preempt.rt"));
  // /proc/version without the PREEMPT_RT mark: not an RT kernel, model or not.
  EXPECT_EQ(found["preempt.rt"]->severity, Severity::warn);
  EXPECT_EQ(str(found["preempt.rt"]->detail), "Could not determine the preemption model.");
  ASSERT_TRUE(found.count("preempt.config_missing"));
  EXPECT_EQ(found["preempt.config_missing"]->severity, Severity::unknown);
}

}  // namespace
