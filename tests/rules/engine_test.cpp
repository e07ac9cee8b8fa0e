#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collect/snapshot.h"
#include "rules/finding.h"
#include "rules/rules.h"
#include "test_util.h"

namespace {

class OrderTest : public ArenaTest {
 protected:
  void SetUp() override {
    ArenaTest::SetUp();
    report = Report{};
    report.arena = &arena;
  }
  Finding* add(Category c, Severity s, const char* id, const char* title = "t") {
    return add_finding(&report, id, c, s, sv(title));
  }
  std::vector<std::string> order() {
    std::vector<std::string> out;
    for (const Finding* f : report.findings) {
      out.push_back(std::string(category_id(f->category)) + "/" + severity_name(f->severity) + "/" +
                    f->id + "/" + str(f->title));
    }
    return out;
  }
  Report report;
};

TEST_F(OrderTest, CompareByCategoryThenSeverityRankThenId) {
  Finding a = {};
  Finding b = {};
  a.id = "b.x";
  b.id = "a.x";
  a.category = Category::preemption;
  b.category = Category::isolation;
  a.severity = Severity::na;
  b.severity = Severity::fail;
  EXPECT_LT(compare_findings(&a, &b), 0);  // category first
  EXPECT_GT(compare_findings(&b, &a), 0);

  b.category = Category::preemption;
  EXPECT_GT(compare_findings(&a, &b), 0);  // na after fail
  a.severity = Severity::unknown;
  b.severity = Severity::pass;
  EXPECT_LT(compare_findings(&a, &b), 0);  // unknown before pass

  b.severity = Severity::unknown;
  EXPECT_GT(compare_findings(&a, &b), 0);  // "b.x" after "a.x"
  b.id = "b.x";
  EXPECT_EQ(compare_findings(&a, &b), 0);
  b.id = "b.x.y";  // a prefix sorts first
  EXPECT_LT(compare_findings(&a, &b), 0);
}

TEST_F(OrderTest, SortGroupsCategoriesAndSeveritiesAndKeepsTiesInEmissionOrder) {
  add(Category::noise, Severity::pass, "noise.a");
  add(Category::preemption, Severity::na, "preempt.z");
  add(Category::preemption, Severity::pass, "preempt.b");
  add(Category::preemption, Severity::unknown, "preempt.c");
  add(Category::preemption, Severity::warn, "preempt.d");
  add(Category::preemption, Severity::fail, "preempt.e");
  add(Category::preemption, Severity::pass, "preempt.a");
  add(Category::irq, Severity::warn, "irq.same", "first");
  add(Category::irq, Severity::warn, "irq.same", "second");
  add(Category::irq, Severity::warn, "irq.same", "third");
  sort_findings(&report);
  std::vector<std::string> want = {
      "preemption/fail/preempt.e/t",    "preemption/warn/preempt.d/t",
      "preemption/unknown/preempt.c/t", "preemption/pass/preempt.a/t",
      "preemption/pass/preempt.b/t",    "preemption/na/preempt.z/t",
      "irq/warn/irq.same/first",        "irq/warn/irq.same/second",
      "irq/warn/irq.same/third",        "noise/pass/noise.a/t",
  };
  EXPECT_EQ(order(), want);
}

TEST_F(OrderTest, SortsLongListsStably) {
  // Enough findings to take several merge passes over an odd count.
  std::vector<std::string> ids;
  for (int i = 0; i < 203; i++) ids.push_back("m." + std::to_string(i % 7));
  for (int i = 0; i < 203; i++) {
    const char* title = arena_sprintf(&arena, "%d", i).ptr;
    add(static_cast<Category>(i % 3), static_cast<Severity>(i % 5),
        arena_cstr(&arena, sv(ids[i].c_str())), title);
  }
  sort_findings(&report);
  ASSERT_EQ(report.findings.count, 203u);
  for (size_t i = 1; i < report.findings.count; i++) {
    const Finding* a = report.findings[i - 1];
    const Finding* b = report.findings[i];
    int c = compare_findings(a, b);
    ASSERT_LE(c, 0) << i;
    if (c == 0) {
      EXPECT_LT(std::stoi(str(a->title)), std::stoi(str(b->title))) << i;
    }
  }
}

class EngineTest : public ArenaTest {
 protected:
  void SetUp() override {
    ArenaTest::SetUp();
    snap = arena_new<Snapshot>(&arena);
    snap->arena = &arena;
  }
  // Findings of one category: other modules add their own to every report.
  size_t count_in(Category c) {
    size_t n = 0;
    for (const Finding* f : report.findings) n += f->category == c;
    return n;
  }
  Snapshot* snap;
  Report report;
};

TEST_F(EngineTest, TargetDefaultsToTheProfile) {
  run_rules(&report, &arena, snap, Profile::hard_rt, false, 0);
  EXPECT_DOUBLE_EQ(report.target_us, 100.0);
  run_rules(&report, &arena, snap, Profile::low_latency, false, -5);
  EXPECT_DOUBLE_EQ(report.target_us, 1000.0);
  run_rules(&report, &arena, snap, Profile::low_latency, false, 250);
  EXPECT_DOUBLE_EQ(report.target_us, 250.0);
  EXPECT_EQ(report.profile, Profile::low_latency);
  EXPECT_EQ(report.snapshot, snap);
  EXPECT_EQ(report.arena, &arena);
}

// Nothing collected: the other modules say what they cannot judge, and only
// the kernel's own findings are scored.
TEST_F(EngineTest, EmptySnapshotGradesNothing) {
  run_rules(&report, &arena, snap, Profile::hard_rt, true, 0);
  EXPECT_TRUE(report.measured);
  ASSERT_EQ(count_in(Category::preemption), 2u);
  EXPECT_STREQ(report.findings[0]->id, "preempt.config_missing");
  EXPECT_STREQ(report.findings[1]->id, "preempt.rt");
  // A measurement that was attempted without a result is reported, unscored.
  ASSERT_EQ(count_in(Category::measured), 1u);
  EXPECT_STREQ(report.findings[report.findings.count - 1]->id, "measured.unavailable");
  EXPECT_EQ(report.findings[1]->severity, Severity::unknown);  // no model, no verdict
  EXPECT_FALSE(report.score_valid);
  for (int c = 0; c < kCategoryCount; c++) EXPECT_FALSE(report.category_scored[c]) << c;
}

TEST_F(EngineTest, EmptySnapshotLeavesInterruptsAndThreadsUnknown) {
  run_rules(&report, &arena, snap, Profile::hard_rt, false, 0);
  std::vector<std::string> ids;
  for (const Finding* f : report.findings) {
    if (f->category != Category::irq && f->category != Category::scheduling) continue;
    EXPECT_EQ(f->severity, Severity::unknown) << f->id;
    ids.push_back(f->id);
  }
  EXPECT_EQ(ids, (std::vector<std::string>{"irq.unavailable", "sched.inventory"}));
  EXPECT_FALSE(report.category_scored[static_cast<int>(Category::irq)]);
  EXPECT_FALSE(report.category_scored[static_cast<int>(Category::scheduling)]);
}

TEST_F(EngineTest, RunClearsAnEarlierReport) {
  run_rules(&report, &arena, snap, Profile::hard_rt, false, 0);
  snap->is_rt = true;
  snap->rt_evidence = sv("/sys/kernel/realtime = 1");
  run_rules(&report, &arena, snap, Profile::hard_rt, false, 0);
  ASSERT_EQ(count_in(Category::preemption), 2u);
  EXPECT_EQ(report.findings[0]->severity, Severity::unknown);  // config_missing sorts first
  EXPECT_EQ(report.findings[1]->severity, Severity::pass);
  EXPECT_EQ(report.score, 100);
}

TEST_F(EngineTest, ContextUsesIsolatedCpusWhenAnyElseOnline) {
  cpuset_parse_list(&snap->online, sv("0-7"));
  cpuset_parse_list(&snap->housekeeping, sv("0-4"));
  snap->ncpus = 8;
  report = Report{};
  report.arena = &arena;
  report.snapshot = snap;
  report.target_us = 50;
  report.profile = Profile::low_latency;

  RuleContext ctx = make_rule_context(&report);
  EXPECT_FALSE(ctx.has_isolation);
  EXPECT_EQ(str(cpuset_format_list(&arena, &ctx.rt_cpus)), "0-7");
  EXPECT_EQ(ctx.ncpus, 8);
  EXPECT_DOUBLE_EQ(ctx.target_us, 50);
  EXPECT_EQ(ctx.profile, Profile::low_latency);
  EXPECT_EQ(ctx.snapshot, snap);

  cpuset_parse_list(&snap->isolated, sv("5-7"));
  ctx = make_rule_context(&report);
  EXPECT_TRUE(ctx.has_isolation);
  EXPECT_EQ(str(cpuset_format_list(&arena, &ctx.rt_cpus)), "5-7");
  EXPECT_EQ(str(cpuset_format_list(&arena, &ctx.housekeeping_cpus)), "0-4");
  EXPECT_EQ(str(cpuset_format_list(&arena, &ctx.online_cpus)), "0-7");
}

TEST_F(EngineTest, MissingSnapshotGivesAnEmptyUnscoredReport) {
  run_rules(&report, &arena, nullptr, Profile::hard_rt, false, 0);
  EXPECT_EQ(report.findings.count, 0u);
  EXPECT_FALSE(report.score_valid);
  EXPECT_DOUBLE_EQ(report.target_us, 100.0);
}

}  // namespace
