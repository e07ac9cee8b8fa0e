// The measurement driver over recorded tool output: which tools run, with
// which arguments, in which order, and which notes explain what did not.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/cpuset.h"
#include "collect/snapshot.h"
#include "measure/measure.h"
#include "test_util.h"

namespace {

using Words = std::vector<std::string>;

std::string fixture(const std::string& name) {
  return read_file(tests_dir() + "/fixtures/measure/" + name);
}

// Stands in for the system: which tools are installed, what each prints
// (one output per run, in order; a run past the list prints nothing), and a
// log of the runs.
struct FakeSystem {
  bool root = true;
  std::set<std::string> installed;
  std::map<std::string, std::vector<std::string>> outputs;  // "cyclictest", "rtla timerlat" ...
  std::vector<Words> runs;
  std::vector<int32_t> timeouts;
  std::map<std::string, double> ran_s;  // how long a tool ran; else its whole duration
  int finds = 0;
  bool held = false;               // pid 812 (ctrl) holds /dev/cpu_dma_latency at 0
  std::vector<std::string> order;  // tool keys as run, and "load" / "unload"
  Words load;                      // the load's argv

  static FakeSystem* self(void* ctx) { return static_cast<FakeSystem*>(ctx); }
  static bool is_root(void* ctx) { return self(ctx)->root; }
  static StrView find(Arena* a, const char* name, void* ctx) {
    self(ctx)->finds++;
    if (!self(ctx)->installed.count(name)) return kNoneView;
    return arena_sprintf(a, "/usr/bin/%s", name);
  }
  static bool run(Arena* a, const char* const* argv, int32_t timeout_s, StrView* out, double* ran_s, void* ctx) {
    FakeSystem* f = self(ctx);
    Words w;
    for (const char* const* p = argv; *p; p++) w.push_back(*p);
    std::string key = w[0].substr(w[0].rfind('/') + 1);
    if (key == "rtla") key += " " + w[1] + (w.back() == "--help" ? " help" : "");
    size_t nth = 0;
    for (const std::string& k : f->order) nth += k == key;
    f->runs.push_back(w);
    f->order.push_back(key);
    f->timeouts.push_back(timeout_s);
    *ran_s = f->ran_s.count(key) ? f->ran_s[key] : timeout_s;
    const std::vector<std::string>& outs = f->outputs[key];
    if (nth >= outs.size() || outs[nth].empty()) return false;
    *out = arena_strndup(a, sv_make(outs[nth].data(), outs[nth].size()));
    return true;
  }
  static bool pm_qos(Arena*, PmQosHold* out, void* ctx) {
    *out = PmQosHold{0, sv_lit("pid 812 (ctrl)")};
    return self(ctx)->held;
  }
  static bool start_load(const char* const* argv, void* ctx) {
    for (const char* const* p = argv; *p; p++) self(ctx)->load.push_back(*p);
    self(ctx)->order.push_back("load");
    return true;
  }
  static void stop_load(void* ctx) { self(ctx)->order.push_back("unload"); }
};

std::string cyclictest_max(int max_us) {
  return "T: 0 ( 1) P:99 I:200 C: 100 Min: 2 Act: 3 Avg: 4 Max: " + std::to_string(max_us) + "\n";
}

class MeasureTest : public ArenaTest {
 protected:
  void SetUp() override {
    ArenaTest::SetUp();
    snap = arena_new<Snapshot>(&arena);
    snap->arena = &arena;
    cpuset_parse_list(&snap->online, sv("0-5"));
    cpuset_parse_list(&snap->isolated, sv("2-4"));
    cpuset_parse_list(&snap->housekeeping, sv("0-1"));
  }
  void measure(int32_t duration = 5, bool force = false, double target = 100, int32_t pm_qos = -1,
               bool load = false) {
    MeasureOps ops = {FakeSystem::is_root,    FakeSystem::find,      FakeSystem::run,
                      FakeSystem::pm_qos,     FakeSystem::start_load, FakeSystem::stop_load,
                      nullptr,                &sys};
    MeasureRequest req = {duration, force, target, 95, pm_qos, load};
    run_measurement_with(snap, &arena, &req, &ops);
  }
  std::vector<std::string> notes() {
    std::vector<std::string> out;
    for (StrView n : snap->measure_notes) out.push_back(str(n));
    return out;
  }
  std::vector<std::string> tools_run() {
    std::vector<std::string> out;
    for (const Words& w : sys.runs) out.push_back(w[0] + (w[0] == "/usr/bin/rtla" ? " " + w[1] : ""));
    return out;
  }
  Snapshot* snap;
  FakeSystem sys;
};

TEST_F(MeasureTest, NotRootRunsNothing) {
  sys.root = false;
  sys.installed = {"cyclictest", "rtla"};
  measure();
  EXPECT_TRUE(snap->measure_requested);
  EXPECT_FALSE(snap->measured.valid);
  EXPECT_EQ(notes(), (std::vector<std::string>{"measurement needs root"}));
  EXPECT_EQ(sys.finds, 0);
  EXPECT_TRUE(sys.runs.empty());
}

TEST_F(MeasureTest, CyclictestOnTheIsolatedCpus) {
  sys.installed = {"cyclictest", "rtla", "hwlatdetect"};
  sys.outputs["cyclictest"] = {fixture("cyclictest-summary-cpus-0-1.txt")};
  measure(5, false, 5000);
  ASSERT_EQ(sys.runs.size(), 1u);  // within the target: no diagnostics
  EXPECT_EQ(sys.runs[0], (Words{"/usr/bin/cyclictest", "-q", "-m", "-D", "5", "-p", "95", "-i",
                                "200", "-t", "3", "-a", "2-4", "--mainaffinity=0", "-h", "400",
                                "--laptop"}));
  EXPECT_EQ(sys.timeouts[0], 5);
  const Measurement& m = snap->measured;
  ASSERT_TRUE(m.valid);
  EXPECT_EQ(str(m.source), "cyclictest");
  EXPECT_EQ(str(m.command), "cyclictest -D 5 -p 95 -a 2-4 --laptop");
  EXPECT_EQ(std::to_string(m.cond.priority) + str(m.cond.pm_qos) + str(m.cond.load), "95nonenone");
  EXPECT_DOUBLE_EQ(m.duration_s, 5);
  ASSERT_EQ(m.per_cpu.count, 2u);
  EXPECT_EQ(m.per_cpu[0].cpu, 2);  // thread 0 ran on the first isolated CPU
  EXPECT_DOUBLE_EQ(m.max_us.value, 3953);
  EXPECT_TRUE(notes().empty());
}

TEST_F(MeasureTest, CpuChoiceWithoutIsolationOrHousekeeping) {
  cpuset_clear(&snap->isolated);
  cpuset_clear(&snap->housekeeping);
  cpuset_parse_list(&snap->online, sv("1-6"));
  sys.installed = {"cyclictest"};
  measure(3);
  ASSERT_EQ(sys.runs.size(), 1u);
  const Words& w = sys.runs[0];
  EXPECT_EQ(w[10], "6");  // -t: every online CPU
  EXPECT_EQ(w[12], "1-6");
  EXPECT_EQ(w[13], "--mainaffinity=1");
  // Nothing known at all: one thread, main thread on CPU 0.
  cpuset_clear(&snap->online);
  sys.runs.clear();
  measure(3);
  EXPECT_EQ(sys.runs[0][10], "1");
  EXPECT_EQ(sys.runs[0][13], "--mainaffinity=0");
}

TEST_F(MeasureTest, LongCpuListIsPassedWhole) {
  cpuset_clear(&snap->isolated);
  for (int32_t c = 0; c < kMaxCpus; c += 2) cpuset_add(&snap->isolated, c);
  sys.installed = {"cyclictest"};
  measure(3);
  const std::string& list = sys.runs[0][12];
  EXPECT_GT(list.size(), 255u);
  EXPECT_EQ(list.substr(list.size() - 5), ",4094");
  EXPECT_EQ(sys.runs[0][10], "2048");
}

TEST_F(MeasureTest, RtlaTimerlatWhenCyclictestIsMissing) {
  sys.installed = {"rtla"};
  sys.outputs["rtla timerlat"] = {fixture("rtla-6.1-timerlat-hist-layout-no-timerlat-tracer.txt")};
  measure(7, false, 1000);
  ASSERT_EQ(sys.runs.size(), 1u);
  EXPECT_EQ(sys.runs[0], (Words{"/usr/bin/rtla", "timerlat", "hist", "-d", "7s", "-c", "2-4", "-P",
                                "f:95", "-q"}));
  const Measurement& m = snap->measured;
  ASSERT_TRUE(m.valid);
  EXPECT_EQ(str(m.source), "rtla timerlat");
  EXPECT_EQ(str(m.command), "rtla timerlat hist -d 7s -c 2-4 -P f:95");
  EXPECT_DOUBLE_EQ(m.max_us.value, 21);
  EXPECT_DOUBLE_EQ(m.avg_us.value, 1);
  EXPECT_FALSE(m.min_us.has);
  EXPECT_EQ(m.per_cpu.count, 0u);
  EXPECT_EQ(cpuset_count(&m.cpus), 3);
  EXPECT_DOUBLE_EQ(snap->timerlat_result.duration_s, 7);
  EXPECT_DOUBLE_EQ(snap->timerlat_result.irq_max_us.value, 5);
}

TEST_F(MeasureTest, RtlaRejectingQuietIsRunAgainWithoutIt) {
  sys.installed = {"cyclictest", "rtla"};
  sys.outputs["cyclictest"] = {fixture("cyclictest-usage-error-cpu-out-of-range.txt")};
  sys.outputs["rtla timerlat"] = {fixture("rtla-6.1-timerlat-hist-q-usage-error.txt"),
                                  fixture("rtla-6.1-timerlat-hist-layout-no-timerlat-tracer.txt")};
  measure(4, false, 1000);
  EXPECT_EQ(tools_run(), (std::vector<std::string>{"/usr/bin/cyclictest", "/usr/bin/rtla timerlat",
                                                   "/usr/bin/rtla timerlat"}));
  EXPECT_EQ(sys.runs[2], (Words{"/usr/bin/rtla", "timerlat", "hist", "-d", "4s", "-c", "2-4", "-P", "f:95"}));
  EXPECT_TRUE(snap->measured.valid);
  // The failed cyclictest stays on record although rtla succeeded.
  EXPECT_EQ(notes(), (std::vector<std::string>{"cyclictest produced no parseable output"}));
}

TEST_F(MeasureTest, NoUsableTool) {
  measure();
  EXPECT_EQ(notes(), (std::vector<std::string>{
                         "no latency tool available: install rt-tests (cyclictest) or rtla"}));
  sys = FakeSystem{};
  sys.installed = {"cyclictest", "rtla"};
  sys.outputs["rtla timerlat"] = {"Index IRQ-002\nmax: 4\n"};  // no thread maximum
  snap->measure_notes = StrList{};
  measure();
  EXPECT_FALSE(snap->measured.valid);
  EXPECT_TRUE(snap->timerlat_result.valid);
  EXPECT_EQ(notes(), (std::vector<std::string>{"cyclictest produced no parseable output",
                                               "rtla timerlat reported no thread latency"}));
  sys = FakeSystem{};
  sys.installed = {"rtla"};
  snap->measure_notes = StrList{};
  snap->timerlat_result = TimerlatResult{};
  measure();
  EXPECT_EQ(sys.runs.size(), 1u);  // no output at all: nothing to retry
  EXPECT_EQ(notes(), (std::vector<std::string>{"rtla timerlat produced no parseable output"}));
}

TEST_F(MeasureTest, AKernelWithoutTheTracerSaysSo) {
  sys.installed = {"rtla", "hwlatdetect", "cyclictest"};
  snap->available_tracers = sv("function nop\n");
  measure();
  EXPECT_EQ(tools_run(), (std::vector<std::string>{"/usr/bin/cyclictest"}));
  EXPECT_EQ(notes(), (std::vector<std::string>{
                         "cyclictest produced no parseable output",
                         "rtla is installed but this kernel has no timerlat tracer "
                         "(CONFIG_TIMERLAT_TRACER)"}));
  sys.outputs["cyclictest"] = {"", cyclictest_max(500)};
  snap->measure_notes = StrList{};
  measure();
  EXPECT_EQ(notes().back(),
            "rtla osnoise did not run: this kernel has no osnoise tracer (CONFIG_OSNOISE_TRACER)");
  EXPECT_EQ(tools_run().size(), 2u);  // cyclictest, twice: no tool runs for a missing tracer
}

TEST_F(MeasureTest, WorstEqualToTheTargetRunsNoDiagnostics) {
  sys.installed = {"cyclictest", "rtla", "hwlatdetect"};
  sys.outputs["cyclictest"] = {cyclictest_max(100)};
  measure(5, false, 100);
  EXPECT_EQ(sys.runs.size(), 1u);
  EXPECT_TRUE(notes().empty());
}

TEST_F(MeasureTest, MissedTargetRunsDiagnosticsCappedAt30Seconds) {
  sys.installed = {"cyclictest", "rtla", "hwlatdetect"};
  sys.outputs["cyclictest"] = {cyclictest_max(101)};
  sys.outputs["hwlatdetect"] = {fixture("hwlatdetect-2.4-layout-hits-no-hwlat-tracer.txt")};
  sys.outputs["rtla osnoise"] = {fixture("rtla-6.1-osnoise-top-q-layout-no-osnoise-tracer.txt")};
  measure(45, false, 100);
  EXPECT_EQ(tools_run(), (std::vector<std::string>{"/usr/bin/cyclictest", "/usr/bin/hwlatdetect",
                                                   "/usr/bin/rtla osnoise"}));
  EXPECT_EQ(sys.runs[0][4], "45");
  EXPECT_EQ(sys.runs[1], (Words{"/usr/bin/hwlatdetect", "--duration=30", "--threshold=10"}));
  EXPECT_EQ(sys.runs[2], (Words{"/usr/bin/rtla", "osnoise", "top", "-d", "30s", "-c", "2-4", "-q"}));
  EXPECT_EQ(sys.timeouts, (std::vector<int32_t>{45, 30, 30}));
  EXPECT_EQ(str(snap->hwlat_result.command), "hwlatdetect --duration=30 --threshold=10");
  EXPECT_DOUBLE_EQ(snap->hwlat_result.duration_s, 30);
  EXPECT_EQ(snap->hwlat_result.samples_exceeding, 3);
  EXPECT_TRUE(snap->noise_result.valid);
  EXPECT_DOUBLE_EQ(snap->noise_result.duration_s, 30);
  EXPECT_TRUE(notes().empty());
}

TEST_F(MeasureTest, DiagnosticNotes) {
  sys.installed = {"cyclictest"};
  sys.outputs["cyclictest"] = {cyclictest_max(500)};
  measure(5);
  EXPECT_EQ(notes(), (std::vector<std::string>{
                         "hwlatdetect not installed; firmware latency was not ruled out"}));
  sys = FakeSystem{};
  sys.installed = {"cyclictest", "hwlatdetect", "rtla"};
  sys.outputs["cyclictest"] = {cyclictest_max(500)};
  sys.outputs["hwlatdetect"] = {fixture("hwlatdetect-no-hwlat-tracer.txt")};
  sys.outputs["rtla osnoise"] = {fixture("rtla-6.1-osnoise-top-no-osnoise-tracer.txt")};
  snap->measure_notes = StrList{};
  measure(5);
  // An unusable osnoise run adds nothing.
  EXPECT_EQ(notes(), (std::vector<std::string>{"hwlatdetect did not run: DetectorNotAvailable: "
                                               "('hwlat', 'hwlat tracer not available')"}));
  EXPECT_EQ(sys.timeouts, (std::vector<int32_t>{5, 5, 5}));
  EXPECT_FALSE(snap->noise_result.valid);
}

// (current_tracer, --force, cyclictest installed) -> tools run: another
// active tracer holds rtla and hwlatdetect back unless forced.
TEST_F(MeasureTest, AnotherTracerHoldsBackRtlaAndHwlatdetectUnlessForced) {
  struct Row { const char* tracer; bool force, cyclictest; size_t runs; };
  for (Row r : {Row{"", 0, 1, 3}, Row{" nop\n", 0, 1, 3}, Row{"hwlat", 1, 1, 3}, Row{"function", 1, 0, 1},
                Row{"hwlat", 0, 0, 0}, Row{"function\n", 0, 1, 1}}) {
    sys = FakeSystem{};
    sys.installed = {"rtla", "hwlatdetect", r.cyclictest ? "cyclictest" : "rtla"};
    sys.outputs["cyclictest"] = {cyclictest_max(500)};
    snap->current_tracer = sv(r.tracer);
    snap->measure_notes = StrList{};
    snap->measured = Measurement{};
    measure(5, r.force);
    EXPECT_EQ(sys.runs.size(), r.runs) << r.tracer;
  }
  EXPECT_EQ(notes().at(0), "another tracer is active ('function'); rtla and hwlatdetect were not "
                           "run: re-run with --force to override");
}

TEST_F(MeasureTest, AToolThatEndsEarlyIsRecordedOverTheTimeItRan) {
  sys.installed = {"cyclictest", "hwlatdetect"};
  sys.outputs["cyclictest"] = {cyclictest_max(500)};
  sys.outputs["hwlatdetect"] = {fixture("hwlatdetect-2.4-layout-hits-no-hwlat-tracer.txt")};
  sys.ran_s = {{"cyclictest", 4.5}, {"hwlatdetect", 29.1}};  // the second within a second
  measure(30);
  EXPECT_DOUBLE_EQ(snap->measured.duration_s, 4.5);
  EXPECT_DOUBLE_EQ(snap->hwlat_result.duration_s, 30);
  EXPECT_TRUE(snap->measured.cut_short);
  EXPECT_FALSE(snap->hwlat_result.cut_short);
  EXPECT_EQ(notes(), (std::vector<std::string>{"cyclictest stopped after 4.5 s of the 30 s asked "
                                               "for; its results cover only that time"}));
}

// (holder, --pm-qos) -> the request cyclictest and rtla hold: production's,
// the one asked for, or none at all.
TEST_F(MeasureTest, PmQosAsProductionHoldsIt) {
  struct Row { bool held; int32_t forced; const char* cyc; const char* policy; Words rtla_tail; };
  for (Row r : {Row{false, -1, "--laptop", "none", {"-P", "f:95", "-q"}},
                Row{true, -1, "--latency=0", "held", {"-P", "f:95", "--dma-latency", "0", "-q"}},
                Row{true, 20, "--latency=20", "forced", {"-P", "f:95", "--dma-latency", "20", "-q"}}}) {
    sys = FakeSystem{};
    sys.held = r.held;
    sys.installed = {"cyclictest", "rtla"};
    sys.outputs["cyclictest"] = {cyclictest_max(50)};
    snap->measured = Measurement{};
    snap->available_tracers = sv("timerlat osnoise nop\n");
    measure(45, false, 100, r.forced);
    ASSERT_EQ(sys.runs.size(), 2u) << r.policy;
    EXPECT_EQ(sys.runs[0].back(), r.cyc);
    EXPECT_EQ(Words(sys.runs[1].begin() + 7, sys.runs[1].end()), r.rtla_tail);
    EXPECT_EQ(sys.runs[1][4], "30s");  // the split run is capped like the diagnostics
    EXPECT_EQ(str(snap->measured.cond.pm_qos), r.policy);
    EXPECT_EQ(str(snap->measured.cond.pm_qos_holder), r.held && r.forced < 0 ? "pid 812 (ctrl)" : "<none>");
  }
}

TEST_F(MeasureTest, AMissIsAnalysedWhereRtlaCan) {
  sys.installed = {"cyclictest", "rtla"};
  sys.outputs["cyclictest"] = {cyclictest_max(500)};
  sys.outputs["rtla timerlat help"] = {"  [--aa-only us] [--no-aa]\n"};
  sys.outputs["rtla timerlat"] = {fixture("rtla-6.1-timerlat-hist-layout-no-timerlat-tracer.txt"),
                                  fixture("rtla-timerlat-top-aa-only-layout.txt")};
  snap->available_tracers = sv("timerlat osnoise nop\n");
  measure(10, false, 100);
  EXPECT_EQ(sys.order, (Words{"cyclictest", "rtla timerlat", "rtla timerlat help", "rtla timerlat",
                              "rtla osnoise"}));
  EXPECT_EQ(sys.runs[3], (Words{"/usr/bin/rtla", "timerlat", "top", "--aa-only", "100", "-d", "10s",
                                "-c", "2-4", "-P", "f:95"}));
  const TimerlatAnalysis& x = snap->timerlat_analysis;  // the first CPU's, the longest culprits
  EXPECT_TRUE(snap->timerlat_result.valid && x.valid && x.cpu == 2 && x.irq_delay_us.value == 1.52 && x.blocking_us.value == 110.44 &&
              x.irq_us.value == 3.10 && x.thread_latency_us.value == 148.83);
  EXPECT_EQ(str(x.blocking_thread) + " " + str(x.irq), "stress-ng-cpu:3226 virtio0:25");
  // rtla 6.1 has no auto-analysis: its -a would save a trace file instead.
  sys = FakeSystem{};
  sys.installed = {"cyclictest", "rtla"};
  sys.outputs["cyclictest"] = {cyclictest_max(500)};
  sys.outputs["rtla timerlat help"] = {"  -a/--auto: set automatic trace mode\n"};
  snap->measure_notes = StrList{};
  measure(10, false, 100);
  EXPECT_EQ(sys.order, (Words{"cyclictest", "rtla timerlat", "rtla timerlat help", "rtla osnoise"}));
  EXPECT_EQ(notes()[1], "this rtla has no timerlat auto-analysis (--aa-only): the missed "
                        "target was not analysed");
}

TEST_F(MeasureTest, LoadBracketsTheMeasurementOnTheOtherCpus) {
  sys.installed = {"cyclictest", "stress-ng"};
  sys.outputs["cyclictest"] = {cyclictest_max(50)};
  measure(60, false, 100, -1, true);
  EXPECT_EQ(sys.order, (Words{"load", "cyclictest", "unload"}));
  EXPECT_EQ(sys.load, (Words{"/usr/bin/stress-ng", "--cpu", "3", "--vm", "1", "--vm-bytes", "10%",
                             "--io", "1", "--taskset", "0,1,5", "--timeout", "105s", "--quiet"}));
  EXPECT_EQ(str(snap->measured.cond.load), "stress-ng");
  cpuset_clear(&snap->isolated);  // every CPU measured: every CPU loaded
  sys = FakeSystem{};
  sys.installed = {"cyclictest", "stress-ng"};
  measure(5, false, 100, -1, true);
  EXPECT_EQ(sys.order, (Words{"load", "cyclictest", "unload"}));  // a failed run stops it too
  EXPECT_EQ(sys.load[10], "0-5");
  sys = FakeSystem{};
  sys.installed = {"cyclictest"};
  sys.outputs["cyclictest"] = {cyclictest_max(50)};
  snap->measure_notes = StrList{};
  measure(5, false, 100, -1, true);
  EXPECT_EQ(sys.order, (Words{"cyclictest"}));
  EXPECT_EQ(str(snap->measured.cond.load), "none");
  EXPECT_EQ(notes(), (Words{"--load asked for stress-ng, which is not installed: measured without load"}));
}

TEST(FindTool, LooksOnPathThenInTheFixedDirectories) {
  Arena a;
  arena_init(&a);
  TempDir bin;
  bin.write("sh", "#!/bin/true\n");
  chmod(bin.file("sh").c_str(), 0755);
  std::string saved = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", ("relative:" + bin.path).c_str(), 1);
  StrView found = find_tool(&a, "sh");
  EXPECT_EQ(std::string(found.ptr, found.len), bin.file("sh"));
  setenv("PATH", "", 1);
  StrView sh = find_tool(&a, "sh");
  EXPECT_TRUE(sv_eq_cstr(sh, "/usr/bin/sh") || sv_eq_cstr(sh, "/bin/sh"));
  EXPECT_FALSE(sv_present(find_tool(&a, "kelvane-no-such-tool")));
  setenv("PATH", saved.c_str(), 1);
  arena_release(&a);
}

}  // namespace
