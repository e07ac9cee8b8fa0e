#include "report/text_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "collect/snapshot.h"
#include "collect/measurement.h"
#include "report/text_test_util.h"
#include "rules/remedy.h"
#include "source/source.h"
#include "test_util.h"

class TextReport : public ArenaTest {
 protected:
  void SetUp() override {
    ArenaTest::SetUp();
    snap = arena_new<Snapshot>(&arena);
    snap->arena = &arena;
    snap->host = sv("rt-box");
    snap->release = sv("6.6.0-rt15");
    snap->is_rt = true;
    snap->source = sv("live system");
    report = {};
    report.arena = &arena;
    report.snapshot = snap;
    report.profile = Profile::hard_rt;
    report.target_us = 100.0;
    opts = TextOptions{false, false, false, false, kDefaultPlanLimit};
  }
  Finding* add(const char* id, Category c, Severity s, const char* title) {
    return add_finding(&report, id, c, s, sv(title));
  }
  void score(int32_t overall) {
    report.score_valid = true;
    report.score = overall;
  }
  std::string render() {
    Capture cap;
    write_text_report(&report, &opts, cap.f());
    return cap.text();
  }
  static bool contains(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
  }
  Snapshot* snap;
  Report report;
  TextOptions opts;
};

TEST_F(TextReport, WholeReportWithoutColour) {
  score(83);
  report.category_scored[0] = true;
  report.category_score[0] = 100;
  report.category_scored[5] = true;
  report.category_score[5] = 0;
  Finding* f = add("preempt.rt", Category::preemption, Severity::pass, "PREEMPT_RT kernel");
  finding_set_detail(f, sv("Not shown for a pass."));
  f = add("noise.numa", Category::noise, Severity::fail, "NUMA balancing is enabled");
  finding_set_detail(f, sv("kernel.numa_balancing = 1"));
  finding_set_command_code(f, &arena, "echo 0 > /proc/sys/kernel/numa_balancing");
  opts.ascii = true;
  const std::string expected =
      "\n"
      "REAL-TIME SYSTEM ANALYSIS\n" +
      std::string(78, '=') +
      "\n"
      "Host:    rt-box\n"
      "Kernel:  6.6.0-rt15  (PREEMPT_RT)\n"
      "Source:  live system\n"
      "Profile: hard-rt, target 100 us\n"
      "\n"
      "  Overall Score:  83/100   good\n"
      "  ########################......\n"
      "\n"
      "    Kernel & preemption    #################### 100\n"
      "    System noise           ....................   0\n"
      "\n"
      "  [XX] NUMA balancing is enabled\n"
      "      kernel.numa_balancing = 1\n"
      "\n"
      "  [OK] PREEMPT_RT kernel\n"
      "\n" +
      std::string(78, '-') +
      "\n"
      "  WHAT TO DO\n"
      "\n"
      "  1. NUMA balancing is enabled\n"
      "     echo 0 > /proc/sys/kernel/numa_balancing\n"
      "\n"
      "  Item 1 writes to /proc or /sys. Those are the running kernel, not storage:\n"
      "  the change takes effect at once and is gone after a reboot. To keep it, run\n"
      "  the commands from a service that starts before the workload.\n"
      "\n"
      "    #!/bin/sh\n"
      "    # /usr/local/sbin/rt-tuning.sh\n"
      "    # 1. NUMA balancing is enabled\n"
      "    echo 0 > /proc/sys/kernel/numa_balancing\n"
      "\n"
      "    # /etc/systemd/system/rt-tuning.service\n";
  // The unit's text is pinned by the plan's own test.
  std::string out = render();
  EXPECT_EQ(out.substr(0, expected.size()), expected);
}

TEST_F(TextReport, HeaderFallbacks) {
  snap->release = kNoneView;
  snap->source = kNoneView;
  snap->host = kNoneView;
  report.profile = Profile::low_latency;
  report.target_us = 1000.0;
  std::string out = render();
  EXPECT_FALSE(contains(out, "Kernel:"));
  EXPECT_TRUE(contains(out, "Host:    unknown\n"));
  EXPECT_TRUE(contains(out, "Source:  live system\n"));
  EXPECT_TRUE(contains(out, "Profile: low-latency, target 1.0 ms\n"));

  snap->release = sv("6.1.0");
  snap->is_rt = false;
  snap->source = sv("/srv/trees/box7");
  out = render();
  EXPECT_TRUE(contains(out, "Kernel:  6.1.0\n"));
  EXPECT_TRUE(contains(out, "Source:  /srv/trees/box7\n"));
}

TEST_F(TextReport, UndeterminedScoreHasNoBarButScoredCategoriesStillShow) {
  report.category_scored[6] = true;
  report.category_score[6] = 40;
  opts.ascii = true;
  std::string out = render();
  EXPECT_TRUE(contains(out, "  Overall Score: not determined\n\n"));
  EXPECT_FALSE(contains(out, "/100"));
  EXPECT_TRUE(contains(out, "    Measured latency       ########............  40\n\n"));
}

// The category block ends with its empty line even when it holds no line.
TEST_F(TextReport, CategoryBlockEndsWithAnEmptyLineEvenWhenEmpty) {
  opts.ascii = true;
  add("a.unknown", Category::preemption, Severity::unknown, "Cannot tell");
  EXPECT_TRUE(contains(render(), "  Overall Score: not determined\n\n\n  [??] Cannot tell\n"));
  score(40);
  EXPECT_TRUE(contains(
      render(), "  " + std::string(12, '#') + std::string(18, '.') + "\n\n\n  [??] Cannot tell\n"));
  opts.quiet = true;
  EXPECT_EQ(render().rfind("  Overall Score:  40/100   poor\n  " + std::string(12, '#') +
                               std::string(18, '.') + "\n\n  [??] Cannot tell\n\n",
                           0),
            0u);
}

TEST_F(TextReport, BarCellsFollowIntegerArithmetic) {
  opts.ascii = true;
  score(100);
  EXPECT_TRUE(contains(render(), "  " + std::string(30, '#') + "\n\n"));
  score(3);
  EXPECT_TRUE(contains(render(), "  " + std::string(30, '.') + "\n\n"));
  score(0);
  report.category_scored[1] = true;
  report.category_score[1] = 4;
  report.category_scored[2] = true;
  report.category_score[2] = 5;
  std::string out = render();
  EXPECT_TRUE(contains(out, "    CPU isolation          ....................   4\n"));
  EXPECT_TRUE(contains(out, "    IRQ affinity           #...................   5\n"));
}

TEST_F(TextReport, UnicodeBarsRulesAndTags) {
  score(50);
  add("irq.x", Category::irq, Severity::warn, "w");
  add("irq.y", Category::irq, Severity::fail, "f");
  add("irq.z", Category::irq, Severity::unknown, "u");
  add("irq.v", Category::irq, Severity::pass, "p");
  add("irq.affinity", Category::irq, Severity::na, "n");
  std::string out = render();
  std::string full = "\xE2\x96\x88", empty = "\xE2\x96\x91";
  std::string bar;
  for (int i = 0; i < 30; i++) bar += i < 15 ? full : empty;
  EXPECT_TRUE(contains(out, "  " + bar + "\n\n"));
  std::string twin;
  for (int i = 0; i < 78; i++) twin += "\xE2\x95\x90";
  EXPECT_TRUE(contains(out, "\n" + twin + "\n"));
  EXPECT_TRUE(contains(
      out, "  \xE2\x9C\x97 f\n\n  \xE2\x9A\xA0 w\n\n  ? u\n\n  \xE2\x9C\x93 p\n\n  - n\n\n"));
  EXPECT_TRUE(contains(out, "target 100 \xC2\xB5s\n"));
}

TEST_F(TextReport, AsciiOutputHasOnlySevenBitBytes) {
  opts.ascii = true;
  opts.verbose = true;
  score(64);
  report.category_scored[4] = true;
  report.category_score[4] = 64;
  Finding* f =
      add("power.x", Category::power, Severity::fail, "Exit latency 150 \xC2\xB5s on caf\xC3\xA9");
  finding_set_detail(f, sv("Worst \xCE\xBC: 12 \xC2\xB5s \xE2\x80\x94 too slow"));
  finding_set_impact(f, sv("Impact \xE2\x9C\x93"));
  finding_add_evidence_cstr(&report, f, "k\xC3\xA9y", sv("v\xC3\xA4lue"));
  finding_set_remediation(f, sv("Fix \xC3\xBC"));
  f = add("power.y", Category::power, Severity::warn, "Boot \xC2\xB5");
  finding_set_remediation(f, sv("r"));
  finding_set_cmdline(f, sv("idle=poll"));
  snap->measured.valid = true;
  snap->measured.source = sv("cyclictest");
  snap->measured.max_us.has = true;
  snap->measured.max_us.value = 42;
  std::string out = render();
  EXPECT_FALSE(has_byte_at_or_above_0x80(out));
  EXPECT_TRUE(contains(out, "  [XX] Exit latency 150 us on caf?\n"));
  EXPECT_TRUE(contains(out, "      Worst u: 12 us ? too slow\n"));
  EXPECT_TRUE(contains(out, "      k?y: v?lue\n"));
  EXPECT_TRUE(contains(out, "    Worst latency:   42 us\n"));
  EXPECT_TRUE(contains(out, std::string(78, '-')));
}

TEST_F(TextReport, ColourOnAndOff) {
  score(80);
  report.category_scored[0] = true;
  report.category_score[0] = 60;
  report.category_scored[1] = true;
  report.category_score[1] = 20;
  Finding* f = add("a.fail", Category::preemption, Severity::fail, "bad");
  finding_set_remediation(f, sv("do it"));
  add("a.warn", Category::preemption, Severity::warn, "meh");
  add("a.pass", Category::preemption, Severity::pass, "ok");
  add("a.unknown", Category::preemption, Severity::unknown, "dunno");
  std::string plain = render();
  EXPECT_EQ(plain.find('\x1b'), std::string::npos);

  opts.color = true;
  std::string out = render();
  EXPECT_TRUE(contains(out, "\n\x1b[1m\x1b[36mREAL-TIME SYSTEM ANALYSIS\x1b[0m\n"));
  EXPECT_TRUE(contains(out, "\x1b[2mHost:\x1b[0m    rt-box\n"));
  EXPECT_TRUE(contains(out,
                       "  \x1b[1mOverall Score:\x1b[0m  \x1b[1m\x1b[32m80\x1b[0m/100   "
                       "\x1b[2mgood\x1b[0m\n  \x1b[32m"));
  EXPECT_TRUE(contains(out, "    Kernel & preemption    \x1b[33m"));
  EXPECT_TRUE(contains(out, "    CPU isolation          \x1b[31m"));
  EXPECT_TRUE(contains(out, "\x1b[0m  60\n"));
  EXPECT_TRUE(contains(out, "  \x1b[31m\xE2\x9C\x97\x1b[0m bad\n"));
  EXPECT_TRUE(contains(out, "  \x1b[33m\xE2\x9A\xA0\x1b[0m meh\n"));
  EXPECT_TRUE(contains(out, "  \x1b[32m\xE2\x9C\x93\x1b[0m ok\n"));
  EXPECT_TRUE(contains(out, "  \x1b[2m?\x1b[0m dunno\n"));
  EXPECT_TRUE(contains(out, "  \x1b[1mWHAT TO DO\x1b[0m\n\n"));
}

TEST_F(TextReport, NothingToFixLineInGreen) {
  score(100);
  add("a.pass", Category::preemption, Severity::pass, "ok");
  opts.ascii = true;
  std::string out = render();
  EXPECT_TRUE(contains(
      out, std::string(78, '-') + "\n  Nothing to fix -- no failing or warning checks.\n\n"));
  opts.color = true;
  out = render();
  EXPECT_TRUE(
      contains(out, "  \x1b[32mNothing to fix -- no failing or warning checks.\x1b[0m\n\n"));
  opts.quiet = true;
  EXPECT_FALSE(contains(render(), "Nothing to fix"));
}

// A failing check whose finding carries no remedy leaves the plan empty, but
// the report must not claim that nothing failed.
TEST_F(TextReport, NoNothingToFixLineWhileAProblemLacksARemedy) {
  add("a.fail", Category::preemption, Severity::fail, "Failed, no remedy");
  std::string out = render();
  EXPECT_FALSE(contains(out, "Nothing to fix"));
  EXPECT_FALSE(contains(out, "WHAT TO DO"));
  Finding* f = add("a.warn", Category::preemption, Severity::warn, "Weightless warning");
  finding_set_remediation(f, sv("fix"));
  f->weight = 0;
  EXPECT_FALSE(contains(render(), "Nothing to fix"));
}

TEST_F(TextReport, DetailsShownForWarnAndFailOnly) {
  Finding* f = add("a.unknown", Category::preemption, Severity::unknown, "Cannot tell");
  finding_set_detail(f, sv("unknown detail"));
  finding_set_impact(f, sv("unknown impact"));
  f = add("a.warn", Category::preemption, Severity::warn, "Warned");
  finding_set_detail(f, sv("warn detail"));
  finding_set_impact(f, sv("warn impact"));
  finding_add_evidence_cstr(&report, f, "/proc/x", sv("1"));
  finding_set_remediation(f, sv("warn fix"));
  f = add("a.pass", Category::preemption, Severity::pass, "Passed");
  finding_set_detail(f, sv("pass detail"));
  std::string out = render();
  EXPECT_TRUE(contains(out, "  [??] Cannot tell\n\n") || contains(out, "  ? Cannot tell\n\n"));
  EXPECT_FALSE(contains(out, "unknown detail"));
  EXPECT_FALSE(contains(out, "pass detail"));
  EXPECT_TRUE(contains(out, "Warned\n      warn detail\n\n"));
  EXPECT_FALSE(contains(out, "warn impact"));
  EXPECT_FALSE(contains(out, "/proc/x"));
  EXPECT_FALSE(contains(out, "Impact:"));
}

TEST_F(TextReport, VerboseShowsImpactEvidenceAndFix) {
  opts.verbose = true;
  opts.ascii = true;
  Finding* f = add("a.warn", Category::preemption, Severity::warn, "Warned");
  finding_set_detail(f, sv("warn detail"));
  finding_set_impact(f, sv("warn impact"));
  finding_add_evidence_cstr(&report, f, "/proc/x", sv("1"));
  finding_add_evidence_cstr(&report, f, "CONFIG_HZ", sv("250"));
  finding_set_remediation(f, sv("warn fix\n  echo 1 > /proc/x"));
  f = add("a.unknown", Category::preemption, Severity::unknown, "Cannot tell");
  finding_set_detail(f, sv("unknown detail"));
  add("a.pass", Category::preemption, Severity::pass, "Passed");
  add("b.pass", Category::isolation, Severity::pass, "Also passed");
  std::string out = render();
  EXPECT_TRUE(contains(out,
                       "  [!!] Warned\n"
                       "      warn detail\n"
                       "      Impact:\n"
                       "        warn impact\n"
                       "      /proc/x: 1\n"
                       "      CONFIG_HZ: 250\n"
                       "      Fix:\n"
                       "        warn fix\n"
                       "          echo 1 > /proc/x\n"
                       "\n"
                       "  [??] Cannot tell\n"
                       "      unknown detail\n"
                       "\n"
                       "  [OK] Passed\n"
                       "\n"
                       "  [OK] Also passed\n"
                       "\n-----"));
}

TEST_F(TextReport, QuietKeepsScoreProblemsMeasurementAndPlan) {
  opts.quiet = true;
  opts.ascii = true;
  score(70);
  report.category_scored[0] = true;
  report.category_score[0] = 70;
  Finding* f = add("a.fail", Category::preemption, Severity::fail, "Failed");
  finding_set_remediation(f, sv("fix it"));
  add("a.warn", Category::preemption, Severity::warn, "Warned");
  add("a.unknown", Category::preemption, Severity::unknown, "Unknown");
  add("a.pass", Category::preemption, Severity::pass, "Passed");
  add("a.na", Category::irq, Severity::na, "Not applicable");
  add("a.odd", Category::irq, static_cast<Severity>(7), "Odd");
  snap->measured.valid = true;
  snap->measured.source = sv("cyclictest");
  std::string out = render();
  EXPECT_EQ(out.rfind("  Overall Score:  70/100   marginal\n", 0), 0u);
  EXPECT_FALSE(contains(out, "REAL-TIME SYSTEM ANALYSIS"));
  EXPECT_FALSE(contains(out, "Kernel & preemption"));
  EXPECT_TRUE(contains(out, "[XX] Failed"));
  EXPECT_TRUE(contains(out, "[!!] Warned"));
  EXPECT_TRUE(contains(out, "[??] Unknown"));
  EXPECT_FALSE(contains(out, "Passed"));
  EXPECT_FALSE(contains(out, "Not applicable"));
  EXPECT_FALSE(contains(out, "Odd"));
  EXPECT_TRUE(contains(out, "MEASURED LATENCY"));
  EXPECT_TRUE(contains(out, "  WHAT TO DO\n\n  1. Failed\n     fix it\n\n"));
}

TEST_F(TextReport, OtherSeverityValuesPrintLastWithTheDashTag) {
  opts.ascii = true;
  add("a.odd", Category::irq, static_cast<Severity>(9), "Odd");
  add("a.na", Category::irq, Severity::na, "Not applicable");
  add("a.pass", Category::irq, Severity::pass, "Passed");
  std::string out = render();
  EXPECT_TRUE(contains(out, "  [OK] Passed\n\n  [--] Odd\n  [--] Not applicable\n\n"));
}

TEST_F(TextReport, MeasuredLatencySection) {
  opts.ascii = true;
  Measurement& m = snap->measured;
  m.valid = true;
  m.source = sv("cyclictest");
  m.duration_s = 60;
  m.max_us.has = true;
  m.max_us.value = 48;
  m.avg_us.has = true;
  m.avg_us.value = 3.25;
  m.min_us.has = true;
  m.min_us.value = 1;
  PerCpuLatency* c = per_cpu_entry(&arena, &m, 2);
  c->max_us.has = true;
  c->max_us.value = 48;
  c->avg_us.has = true;
  c->avg_us.value = 3.5;
  c = per_cpu_entry(&arena, &m, 3);
  c->max_us.has = true;
  c->max_us.value = 1500;
  per_cpu_entry(&arena, &m, 4);  // no max: not listed
  std::string out = render();
  EXPECT_TRUE(contains(out, std::string(78, '-') + "\n"
                                                   "  MEASURED LATENCY   (cyclictest, 60 s)\n"
                                                   "    Worst latency:   48 us\n"
                                                   "    Average latency: 3.2 us\n"
                                                   "    Best latency:    1.0 us\n"
                                                   "      CPU 2   max 48 us      avg 3.5 us\n"
                                                   "      CPU 3   max 1.5 ms     avg n/a\n"
                                                   "\n"));
  EXPECT_FALSE(contains(out, "CPU 4"));

  m.avg_us.has = false;
  m.min_us.has = false;
  m.source = sv("rtla timerlat");
  m.per_cpu = {};
  out = render();
  EXPECT_TRUE(contains(out,
                       "  MEASURED LATENCY   (rtla timerlat, 60 s)\n"
                       "    Worst latency:   48 us\n\n"));

  m.valid = false;
  EXPECT_FALSE(contains(render(), "MEASURED LATENCY"));
}

TEST_F(TextReport, MeasuredLatencyColourAndMicroSign) {
  opts.color = true;
  snap->measured.valid = true;
  snap->measured.source = sv("cyclictest");
  snap->measured.duration_s = 10;
  PerCpuLatency* c = per_cpu_entry(&arena, &snap->measured, 0);
  c->max_us.has = true;
  c->max_us.value = 7;
  std::string out = render();
  EXPECT_TRUE(contains(out, "  \x1b[1mMEASURED LATENCY\x1b[0m   (cyclictest, 10 s)\n"));
  EXPECT_TRUE(contains(out, "      \x1b[2mCPU 0  \x1b[0m max 7.0 \xC2\xB5s     avg n/a\n"));
}

TEST_F(TextReport, UnreadablePathsOnlyWithVerbose) {
  std::vector<std::string> paths;
  for (int i = 0; i < 21; i++) paths.push_back("/proc/irq/" + std::to_string(i) + "/node");
  for (const std::string& p : paths) {
    list_push(&arena, &snap->read_errors, ReadError{sv(p.c_str()), sv("ENOENT")});
  }
  EXPECT_FALSE(contains(render(), "UNREADABLE"));
  opts.verbose = true;
  opts.ascii = true;
  std::string out = render();
  std::string expected = std::string(78, '-') + "\n  UNREADABLE PATHS  (21)\n";
  for (int i = 0; i < 20; i++) expected += "    ENOENT  " + paths[i] + "\n";
  expected += "    ... and 1 more\n\n";
  EXPECT_EQ(out.substr(out.size() - expected.size()), expected);

  snap->read_errors.count = 20;
  out = render();
  EXPECT_FALSE(contains(out, "more\n"));
  EXPECT_TRUE(contains(out, "  UNREADABLE PATHS  (20)\n"));

  snap->read_errors.count = 0;
  EXPECT_FALSE(contains(render(), "UNREADABLE"));
}

TEST_F(TextReport, UnreadablePathsColour) {
  list_push(&arena, &snap->read_errors, ReadError{sv("/sys/x"), sv("EACCES")});
  opts.verbose = true;
  opts.color = true;
  std::string out = render();
  EXPECT_TRUE(contains(out,
                       "  \x1b[1mUNREADABLE PATHS\x1b[0m  (1)\n"
                       "    \x1b[2mEACCES\x1b[0m  /sys/x\n\n"));
}

// Thread names and host names come from the analysed machine and may hold
// escape sequences; none of their control bytes may reach the terminal.
TEST_F(TextReport, ControlBytesFromTheMachineNeverReachTheTerminal) {
  opts.verbose = true;
  snap->host = sv("box\x1b]2;owned\x07\x1b[2J");
  snap->release = sv("6.6\r\x1b[1A");
  snap->source = sv("/tmp/t\x1b[5m");
  Finding* f = add("sched.prio", Category::scheduling, Severity::fail,
                   "Thread evil\x1b[31m\x1b[8m (tid 42) runs at priority 99");
  finding_set_detail(f, sv("thread evil\x1b[0m\x7f on CPU 3"));
  finding_add_evidence_cstr(&report, f, "/proc/42/task/42/stat", sv("42 (evil\x1b[H\n  fake) R"));
  finding_set_remediation(f, sv("chrt -f -p 80 42 # evil\x1b[K"));
  finding_set_cmdline(f, sv("isolcpus=\x1b[2J"));
  list_push(&arena, &snap->read_errors, ReadError{sv("/proc/9/comm\x1b[3J"), sv("EIO\x1b")});
  std::string out = render();
  EXPECT_EQ(out.find('\x1b'), std::string::npos);
  EXPECT_EQ(out.find('\x07'), std::string::npos);
  EXPECT_EQ(out.find('\r'), std::string::npos);
  EXPECT_EQ(out.find('\x7f'), std::string::npos);
  EXPECT_TRUE(contains(out, "Host:    box?]2;owned??[2J\n"));
  EXPECT_TRUE(contains(out, "Kernel:  6.6??[1A  (PREEMPT_RT)\n"));
  EXPECT_TRUE(contains(out, "Source:  /tmp/t?[5m\n"));
  EXPECT_TRUE(contains(out, "Thread evil?[31m?[8m (tid 42) runs at priority 99\n"));
  EXPECT_TRUE(contains(out, "      thread evil?[0m? on CPU 3\n"));
  // one-line texts cannot start a line of their own
  EXPECT_TRUE(contains(out, "      /proc/42/task/42/stat: 42 (evil?[H?  fake) R\n"));
  EXPECT_TRUE(contains(out, "    EIO?  /proc/9/comm?[3J\n"));
  // colour escapes of the writer itself stay
  opts.color = true;
  out = render();
  EXPECT_TRUE(contains(out, "\x1b[1m\x1b[36mREAL-TIME SYSTEM ANALYSIS\x1b[0m"));
  EXPECT_FALSE(contains(out, "\x1b]2;"));
  EXPECT_FALSE(contains(out, "\x1b[2J"));
}

TEST_F(TextReport, WritesNothingIntoTheReport) {
  Finding* f = add("a.fail", Category::preemption, Severity::fail, "Failed");
  finding_set_remediation(f, sv("fix"));
  finding_set_cmdline(f, sv("nohz_full=2-3"));
  render();
  EXPECT_EQ(report.findings.count, 1u);
  EXPECT_EQ(str(report.findings[0]->cmdline), "nohz_full=2-3");
}
