#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rules/rule_module_test.h"

namespace {

class MeasuredRulesTest : public RuleModuleTest {
 protected:
  void SetUp() override {
    RuleModuleTest::SetUp();
    snap->measure_requested = true;
  }
  // A valid cyclictest measurement over CPUs 2-3.
  void measured(double max, double avg = -1) {
    Measurement& m = snap->measured;
    m.valid = true;
    m.source = sv("cyclictest");
    m.command = sv("cyclictest -D 60 -p 99 -a 2,3");
    m.duration_s = 60;
    cpuset_parse_list(&m.cpus, sv("2-3"));
    m.max_us.has = max >= 0;
    m.max_us.value = max;
    m.avg_us.has = avg >= 0;
    m.avg_us.value = avg;
  }
  void cpu_max(int32_t cpu, double max) {
    PerCpuLatency* e = per_cpu_entry(&arena, &snap->measured, cpu);
    e->max_us.has = true;
    e->max_us.value = max;
  }
  void note(const char* text) { add_measure_note(&arena, &snap->measure_notes, sv(text)); }
  void run(double target = 100) {
    start(Profile::hard_rt, target);
    report.measured = true;
    RuleContext ctx = make_rule_context(&report);
    measured_rules(&report, &ctx);
  }
};

TEST_F(MeasuredRulesTest, UnavailableStopsTheModule) {
  note("cyclictest produced no parseable output");
  note("no latency tool available: install rt-tests (cyclictest) or rtla");
  run();
  ASSERT_EQ(ids(), std::vector<std::string>{"measured.unavailable"});
  const Finding* f = report.findings[0];
  EXPECT_EQ(f->severity, Severity::unknown);
  EXPECT_EQ(f->category, Category::measured);
  EXPECT_EQ(str(f->detail), "cyclictest produced no parseable output; no latency tool available: "
                            "install rt-tests (cyclictest) or rtla");
  snap->measure_notes = StrList{};
  run();
  EXPECT_EQ(find("measured.unavailable")->detail.len, 0u);
}

TEST_F(MeasuredRulesTest, WorstAgainstTheTarget) {
  struct Case {
    double max;
    Severity sev;
  };
  for (Case c : {Case{100, Severity::pass}, Case{150, Severity::warn}, Case{200, Severity::warn},
                 Case{201, Severity::fail}}) {
    SCOPED_TRACE(c.max);
    measured(c.max, 10);
    run();
    const Finding* f = find("measured.worst");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->severity, c.sev);
    EXPECT_DOUBLE_EQ(f->weight, 3);
    ASSERT_EQ(f->evidence.count, 1u);
    EXPECT_EQ(str(f->evidence[0].key), "cyclictest -D 60 -p 99 -a 2,3");
    EXPECT_EQ(f->impact.len > 0, c.sev != Severity::pass);
    EXPECT_EQ(f->remediation.len > 0, c.sev != Severity::pass);
  }
  const Finding* f = find("measured.worst");
  EXPECT_EQ(str(f->title), "Worst-case latency 201 \xC2\xB5s against a 100 \xC2\xB5s target");
  EXPECT_EQ(str(f->detail), "Measured with cyclictest over 60 s on CPUs 2,3; average 10 \xC2\xB5s.");
  EXPECT_EQ(str(f->impact), "A deadline of 100 \xC2\xB5s will be missed; the observed worst case "
                            "exceeds it by 2.0x.");
  EXPECT_EQ(str(f->evidence[0].value), "max 201 \xC2\xB5s, avg 10 \xC2\xB5s");
  measured(50);
  run();
  EXPECT_EQ(str(find("measured.worst")->evidence[0].value), "max 50 \xC2\xB5s, avg n/a");
  EXPECT_EQ(find("measured.outliers"), nullptr);
}

TEST_F(MeasuredRulesTest, Outliers) {
  measured(400, 20);  // exactly 20x
  run(1000);
  EXPECT_EQ(find("measured.outliers")->severity, Severity::warn);
  EXPECT_EQ(str(find("measured.outliers")->title),
            "Latency is outlier-dominated (max is 20x the average)");
  measured(398, 20);
  run(1000);
  EXPECT_EQ(find("measured.outliers")->severity, Severity::pass);
  measured(398, 0);
  run(1000);
  EXPECT_EQ(find("measured.outliers"), nullptr);
}

TEST_F(MeasuredRulesTest, CpuSpread) {
  measured(30, 5);
  cpu_max(2, 10);
  run();
  EXPECT_EQ(find("measured.cpu_spread"), nullptr);  // a single CPU
  cpu_max(3, 30);
  cpu_max(4, 30);
  run();
  const Finding* f = find("measured.cpu_spread");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(str(f->title), "CPU 3 is 3.0x worse than the best CPU");  // the first of equal maxima
  cpu_max(3, 29);
  cpu_max(4, 29);
  run();
  EXPECT_EQ(find("measured.cpu_spread"), nullptr);
}

TEST_F(MeasuredRulesTest, TimerlatSplit) {
  measured(40, 5);
  TimerlatResult& t = snap->timerlat_result;
  t = TimerlatResult{true, true, 30, true, 40, false, 0, false, 0, 10};
  run();
  const Finding* f = find("measured.timerlat_split");
  EXPECT_EQ(str(f->title), "Timer delivery 30 \xC2\xB5s, scheduling adds 10 \xC2\xB5s");
  EXPECT_EQ(f->severity, Severity::pass);
  EXPECT_EQ(str(f->detail), "IRQ max 30 \xC2\xB5s, thread max 40 \xC2\xB5s, over 10 s.");
  EXPECT_NE(f->remediation.len, 0u);  // the delay is mostly before the kernel
  t.irq_max_us.value = 51;
  t.thread_max_us.value = 200;
  run();
  f = find("measured.timerlat_split");
  EXPECT_EQ(f->severity, Severity::warn);
  EXPECT_EQ(f->remediation.len, 0u);  // the scheduler path
}

TEST_F(MeasuredRulesTest, Hwlat) {
  measured(500, 5);
  HwlatResult& h = snap->hwlat_result;
  h = HwlatResult{true, 0, false, 0, 30, sv("hwlatdetect --duration=30 --threshold=10")};
  run();
  EXPECT_EQ(find("measured.hwlat")->severity, Severity::pass);
  EXPECT_EQ(str(find("measured.hwlat")->detail), "30 s of hwlatdetect found no SMI.");
  h.samples_exceeding = 1;
  run();
  const Finding* f = find("measured.hwlat");
  EXPECT_EQ(f->severity, Severity::fail);
  EXPECT_DOUBLE_EQ(f->weight, 2.5);
  EXPECT_EQ(str(f->title), "Firmware stole the CPU 1 time (worst unknown)");
  EXPECT_EQ(str(f->detail), "Detected over 30 s with hwlatdetect --duration=30 --threshold=10.");
  h.samples_exceeding = 4;
  h.max_us.has = true;
  h.max_us.value = 23;
  run();
  EXPECT_EQ(str(find("measured.hwlat")->title), "Firmware stole the CPU 4 times (worst 23 \xC2\xB5s)");
}

TEST_F(MeasuredRulesTest, OsnoiseCountsAreEventsNotTime) {
  measured(500, 5);
  NoiseResult& n = snap->noise_result;
  n = NoiseResult{true, 30, 0, 1, 6029, 2, 21, sv("IRQ")};
  run();
  const Finding* f = find("measured.osnoise");
  EXPECT_EQ(f->severity, Severity::warn);
  EXPECT_EQ(str(f->title), "OS noise dominated by IRQ");
  EXPECT_EQ(str(f->detail),
            "Interference events in 30 s: hw 0, NMI 1, IRQ 6029, softirq 2, thread 21.");
  n = NoiseResult{true, 30, 0, 0, 0, 0, 0, sv("hardware")};
  run();
  EXPECT_EQ(find("measured.osnoise")->severity, Severity::pass);
}

// (priority, PM QoS, load, duration) -> the conditions the worst case's detail names.
TEST_F(MeasuredRulesTest, WorstNamesItsConditions) {
  struct Row { int32_t prio; const char* qos; int32_t us; const char* load; double dur; const char* tail; };
  for (Row r : {Row{95, "none", -1, "none", 60, " Priority 95; C-states as in production: no PM QoS request; "
                                                "idle machine, 60 s: a smoke test; qualify under --load for hours."},
                Row{90, "held", 0, "stress-ng", 600, " Priority 90; C-states as in production: held at 0.0 "
                                                     "\xC2\xB5s, as pid 812 (ctrl) holds it; under stress-ng load, 600 s."},
                Row{95, "forced", 20, "stress-ng", 599, " Priority 95; C-states limited by --pm-qos to 20 \xC2\xB5s "
                                                        "exit latency; under stress-ng load, 599 s: a smoke test; "
                                                        "qualify under --load for hours."}}) {
    measured(50, 5);
    MeasureConditions& c = snap->measured.cond;
    c = MeasureConditions{sv("cyclictest V 2.40"), r.prio, 200, sv(r.qos), {}, sv("pid 812 (ctrl)"), sv(r.load), {}};
    if (r.us >= 0) c.pm_qos_us = opt_some(r.us);
    snap->measured.duration_s = r.dur;
    run();
    EXPECT_EQ(str(find("measured.worst")->detail),
              "Measured with cyclictest over " + std::to_string(static_cast<int>(r.dur)) +
                  " s on CPUs 2,3; average 5.0 \xC2\xB5s." + r.tail);
  }
  // rtla's auto-analysis of the miss joins the split's detail.
  snap->timerlat_result = TimerlatResult{true, opt_some(30.0), opt_some(40.0), {}, {}, 10};
  snap->timerlat_analysis = TimerlatAnalysis{true, 3, opt_some(1.5), opt_some(148.0), sv("stress-ng:3226"),
                                             opt_some(110.0), sv("local_timer:236"), opt_some(2.0)};
  run();
  EXPECT_EQ(str(find("measured.timerlat_split")->detail),
            "IRQ max 30 \xC2\xB5s, thread max 40 \xC2\xB5s, over 10 s. Auto-analysis of the miss on CPU 3: "
            "IRQ handler delay 1.5 \xC2\xB5s; blocking thread stress-ng:3226 (110 \xC2\xB5s); IRQ "
            "local_timer:236 (2.0 \xC2\xB5s); thread latency 148 \xC2\xB5s.");
}

TEST_F(MeasuredRulesTest, PartialEndsTheModuleInEmissionOrder) {
  measured(500, 5);
  cpu_max(2, 10);
  cpu_max(3, 500);
  snap->hwlat_result = HwlatResult{true, 0, false, 0, 30, sv("hwlatdetect")};
  note("hwlatdetect did not run");
  run();
  EXPECT_EQ(ids(), (std::vector<std::string>{"measured.worst", "measured.outliers",
                                             "measured.cpu_spread", "measured.hwlat",
                                             "measured.partial"}));
  EXPECT_EQ(str(find("measured.partial")->detail), "hwlatdetect did not run");
}

// Runs marked cut short are shown over the time they ran and grade nothing.
TEST_F(MeasuredRulesTest, ARunCutShortIsShownButNotGraded) {
  const char* ids[] = {"measured.worst", "measured.hwlat", "measured.osnoise"};
  measured(500, 5);
  snap->measured.duration_s = 4.5;
  snap->hwlat_result = HwlatResult{true, 0, false, 0, 3, sv("hwlatdetect")};
  snap->noise_result = NoiseResult{true, 3, 0, 0, 0, 0, 0, sv("IRQ")};
  run();
  for (const char* id : ids) EXPECT_NE(find(id)->severity, Severity::unknown) << id;
  snap->measured.cut_short = snap->hwlat_result.cut_short = snap->noise_result.cut_short = true;
  note("cyclictest stopped after 4.5 s of the 60 s asked for");
  run();
  for (const char* id : ids) EXPECT_EQ(find(id)->severity, Severity::unknown) << id;
  EXPECT_EQ(str(find("measured.partial")->title), "A measurement was cut short");
  EXPECT_EQ(str(find("measured.worst")->detail),
            "Measured with cyclictest over 4.5 s on CPUs 2,3; average 5.0 \xC2\xB5s.");
}

TEST_F(MeasuredRulesTest, MeasuredCategoryWeighsAQuarter) {
  measured(100, 10);  // worst passes, outliers pass: the category scores 100
  snap->preempt_model = sv("none");
  run_rules(&report, &arena, snap, Profile::hard_rt, true, 100);
  int cat = static_cast<int>(Category::measured);
  EXPECT_TRUE(report.category_scored[cat]);
  EXPECT_EQ(report.category_score[cat], 100);
  // Preemption fails (no PREEMPT_RT): 0 x 19 + 100 x 25 over 44.
  EXPECT_EQ(report.score, 57);
  run_rules(&report, &arena, snap, Profile::hard_rt, false, 100);
  EXPECT_EQ(find("measured.worst"), nullptr);  // the module runs only with a measurement
  EXPECT_EQ(report.score, 0);
}

}  // namespace
