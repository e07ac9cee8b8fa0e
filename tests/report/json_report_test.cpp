#include "report/json_report.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "collect/collect.h"
#include "report/report_test_util.h"
#include "report/text_test_util.h"
#include "rules/rules.h"

namespace {

// Checks a document the way a strict consumer would: the bytes are UTF-8,
// the JSON parses with no NaN/Infinity constants and no duplicate keys.
constexpr const char* kStrictCheck =
    "import json,sys\n"
    "def no_const(c): raise ValueError('constant ' + c)\n"
    "def no_dups(pairs):\n"
    "    keys = [k for k, _ in pairs]\n"
    "    if len(keys) != len(set(keys)): raise ValueError('duplicate key')\n"
    "    return dict(pairs)\n"
    "text = open(sys.argv[1], 'rb').read().decode('utf-8')\n"
    "json.loads(text, parse_constant=no_const, object_pairs_hook=no_dups)\n";

int run_status(const std::string& cmd) {
  int st = std::system(cmd.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

class JsonReportTest : public ReportWriterTest {
 protected:
  std::string doc() {
    Capture cap;
    write_json_report(&report, cap.f());
    return cap.text();
  }

  // The text between the "measured" member of the snapshot and the next one.
  std::string measured_member() {
    std::string d = doc();
    size_t b = d.find("    \"measured\": ");
    size_t e = d.find("    \"read_errors\"");
    if (b == std::string::npos || e == std::string::npos) return "<missing>";
    return d.substr(b, e - b);
  }

  // Writes the document to a file and runs both validators on it.
  void expect_valid_json() {
    TempDir dir;
    dir.write("report.json", doc());
    dir.write("check.py", kStrictCheck);
    std::string file = dir.file("report.json");
    EXPECT_EQ(run_status("python3 -m json.tool '" + file + "' >/dev/null"), 0);
    EXPECT_EQ(run_status("python3 '" + dir.file("check.py") + "' '" + file + "'"), 0);
  }

  CpuSet cpus(const char* list) {
    CpuSet s{};
    cpuset_parse_list(&s, sv(list));
    return s;
  }

  void add_read_error(const char* path, const char* name) {
    list_push(&arena, &snap->read_errors, ReadError{sv(path), sv(name)});
  }

  IrqInfo* add_irq(const char* name, const char* device) {
    IrqInfo* irq = list_grow(&arena, &snap->irqs);
    irq->name = sv(name);
    irq->device = sv(device);
    return irq;
  }

  void add_count(IrqInfo* irq, int32_t cpu, uint64_t count, uint64_t delta) {
    list_push(&arena, &irq->per_cpu, IrqCount{cpu, count, delta});
  }

  void add_idle_state(int32_t cpu, int64_t latency, bool disabled) {
    CpuIdle* ci = nullptr;
    for (CpuIdle& c : snap->cpuidle) {
      if (c.cpu == cpu) ci = &c;
    }
    if (!ci) {
      ci = list_grow(&arena, &snap->cpuidle);
      ci->cpu = cpu;
    }
    IdleState* st = list_grow(&arena, &ci->states);
    st->index = static_cast<int32_t>(ci->states.count - 1);
    st->latency_us.has = latency >= 0;
    st->latency_us.value = latency >= 0 ? latency : 0;
    st->disabled = disabled;
  }

  RtTask* add_task(int32_t tid, const char* comm, const char* policy, int32_t prio) {
    RtTask* t = list_grow(&arena, &snap->rt_tasks);
    t->pid = tid;
    t->tid = tid;
    t->comm = sv(comm);
    t->policy_name = sv(policy);
    t->rt_priority = prio;
    return t;
  }

  // A small, fully populated machine: 8 CPUs with 4-7 isolated.
  void fill_machine() {
    snap->host = sv("rt-box");
    snap->tool_version = sv("1.0.1-beta");
    snap->source = sv("live system");
    snap->live = true;
    snap->release = sv("6.1.0-rt");
    snap->is_rt = true;
    snap->preempt_model = sv("rt");
    snap->hz.has = true;
    snap->hz.value = 1000;
    snap->config_available = true;
    snap->online = cpus("0-7");
    snap->isolated = cpus("4-7");
    snap->housekeeping = cpus("0-3");
    snap->nohz_full = cpus("4-7");
    snap->ncpus = 8;
    add_idle_state(0, 2, false);
    add_idle_state(0, 133, true);  // disabled: not the floor
    add_idle_state(0, 50, false);
    add_idle_state(4, -1, false);  // no known latency: no floor
    add_idle_state(5, 1, false);
    add_idle_state(9, 7, false);  // not online: left out
    IrqInfo* irq = add_irq("24", "eth0-rx");
    add_count(irq, 0, 5, 0);
    add_count(irq, 4, 7, 0);
    add_count(irq, 5, 0, 0);
    RtTask* t = add_task(15, "ktimers/4", "SCHED_FIFO", 1);
    t->kthread = true;
    t->affinity.has = true;
    t->affinity.value = cpus("4");
    add_read_error("/proc/config.gz", "ENOENT");
  }

  void fill_findings() {
    report.score_valid = true;
    report.score = 83;
    report.category_scored[0] = true;
    report.category_score[0] = 100;
    report.category_scored[5] = true;
    report.category_score[5] = 0;
    Finding* f = add_finding(&report, "preempt.rt", Category::preemption, Severity::pass,
                             sv("PREEMPT_RT kernel"));
    finding_set_detail(f, sv("Running a real-time kernel"));
    finding_set_cmdline(f, sv("preempt=full"));  // never written
    finding_set_weight(f, 3);
    finding_add_evidence_cstr(&report, f, "/proc/version", sv("Linux 6.1 PREEMPT_RT"));
    finding_add_evidence_cstr(&report, f, "CONFIG_HZ", sv("1000"));
    f = add_finding(&report, "noise.swap", Category::noise, Severity::fail, sv("Swap is active"));
    finding_set_impact(f, sv("Page faults"));
    finding_set_remediation(f, sv("swapoff -a"));
  }

  void fill_cyclictest() {
    Measurement* m = &snap->measured;
    m->valid = true;
    m->source = sv("cyclictest");
    m->command = sv("cyclictest -D 60 -p 99 -a 4-7");
    m->duration_s = 60;
    m->cpus = cpus("4-7");
    m->min_us.has = true;
    m->min_us.value = 1;
    m->avg_us.has = true;
    m->avg_us.value = 2.5;
    m->max_us.has = true;
    m->max_us.value = 1234567;
    PerCpuLatency* p = list_grow(&arena, &m->per_cpu);
    p->cpu = 4;
    p->min_us.has = true;
    p->min_us.value = 1;
    p->avg_us.has = true;
    p->avg_us.value = 2.25;
    p->max_us.has = true;
    p->max_us.value = 12.5;
    list_grow(&arena, &m->per_cpu)->cpu = 5;  // reported without values
  }
};

TEST_F(JsonReportTest, EmptyReportWholeDocument) {
  EXPECT_EQ(doc(),
            "{\n"
            "  \"score\": null,\n"
            "  \"verdict\": \"unknown\",\n"
            "  \"profile\": \"hard-rt\",\n"
            "  \"target_us\": 100,\n"
            "  \"measured\": false,\n"
            "  \"tool_version\": \"\",\n"
            "  \"category_scores\": {},\n"
            "  \"findings\": [\n"
            "  ],\n"
            "  \"snapshot\": {\n"
            "    \"host\": \"\",\n"
            "    \"source\": \"\",\n"
            "    \"live\": false,\n"
            "    \"privileged\": false,\n"
            "    \"kernel\": {\n"
            "      \"release\": \"\",\n"
            "      \"is_rt\": false,\n"
            "      \"preempt_model\": \"\",\n"
            "      \"hz\": null,\n"
            "      \"config_available\": false\n"
            "    },\n"
            "    \"topology\": {\n"
            "      \"online\": \"\",\n"
            "      \"isolated\": \"\",\n"
            "      \"housekeeping\": \"\",\n"
            "      \"nohz_full\": \"\",\n"
            "      \"ncpus\": 0,\n"
            "      \"smt_in_use\": false\n"
            "    },\n"
            "    \"cstate_floor_us\": {},\n"
            "    \"irq_on_isolated\": [],\n"
            "    \"rt_tasks\": [],\n"
            "    \"measured\": null,\n"
            "    \"read_errors\": {}\n"
            "  }\n"
            "}\n");
  expect_valid_json();
}

TEST_F(JsonReportTest, MissingSnapshotWritesTheEmptySummary) {
  std::string with_empty_snapshot = doc();
  report.snapshot = nullptr;
  EXPECT_EQ(doc(), with_empty_snapshot);
}

// CPU list texts are allocated from the run's Arena, not from memory of the
// writer's own; a Report without an Arena still gets the same document.
TEST_F(JsonReportTest, CpuListsComeFromTheRunArena) {
  fill_machine();
  uint64_t before = arena.total;
  std::string with_run_arena = doc();
  EXPECT_GT(arena.total, before);
  report.arena = nullptr;
  EXPECT_EQ(doc(), with_run_arena);
}

TEST_F(JsonReportTest, ProfileVerdictAndMeasuredFlag) {
  report.profile = Profile::low_latency;
  report.target_us = 1000;
  report.measured = true;
  report.score_valid = true;
  report.score = 90;
  std::string d = doc();
  EXPECT_NE(d.find("  \"score\": 90,\n  \"verdict\": \"excellent\",\n"
                   "  \"profile\": \"low-latency\",\n  \"target_us\": 1000,\n"
                   "  \"measured\": true,\n"),
            std::string::npos)
      << d;
  report.target_us = 12.5;
  EXPECT_NE(doc().find("  \"target_us\": 12.5,\n"), std::string::npos);
  report.target_us = 1e6;
  EXPECT_NE(doc().find("  \"target_us\": 1e+06,\n"), std::string::npos);
}

TEST_F(JsonReportTest, NonFiniteNumbersAreNull) {
  report.target_us = INFINITY;
  Finding* f = add_finding(&report, "x.y", Category::noise, Severity::warn, sv("t"));
  finding_set_weight(f, NAN);
  fill_cyclictest();
  snap->measured.duration_s = NAN;
  snap->measured.min_us.value = NAN;
  snap->measured.max_us.value = INFINITY;
  snap->measured.per_cpu[0].avg_us.value = -INFINITY;
  std::string d = doc();
  EXPECT_NE(d.find("  \"target_us\": null,\n"), std::string::npos) << d;
  EXPECT_NE(d.find("      \"weight\": null,\n"), std::string::npos) << d;
  EXPECT_NE(d.find("      \"duration_s\": null,\n"), std::string::npos) << d;
  EXPECT_NE(d.find("      \"min_us\": null,\n"), std::string::npos) << d;
  EXPECT_NE(d.find("      \"max_us\": null,\n"), std::string::npos) << d;
  EXPECT_NE(d.find("{\"cpu\": 4, \"min_us\": 1, \"avg_us\": null, \"max_us\": 12.5}"),
            std::string::npos)
      << d;
  EXPECT_EQ(d.find("inf"), std::string::npos);
  EXPECT_EQ(d.find("nan"), std::string::npos);
  expect_valid_json();
}

TEST_F(JsonReportTest, CyclictestMeasurement) {
  fill_machine();
  fill_cyclictest();
  EXPECT_EQ(measured_member(),
            "    \"measured\": {\n"
            "      \"source\": \"cyclictest\",\n"
            "      \"duration_s\": 60.0,\n"
            "      \"cpus\": \"4-7\",\n"
            "      \"min_us\": 1,\n"
            "      \"avg_us\": 2.5,\n"
            "      \"max_us\": 1.23457e+06,\n"
            "      \"per_cpu\": [\n"
            "        {\"cpu\": 4, \"min_us\": 1, \"avg_us\": 2.25, \"max_us\": 12.5},\n"
            "        {\"cpu\": 5, \"min_us\": null, \"avg_us\": null, \"max_us\": null}\n"
            "      ]\n"
            "    },\n");
  expect_valid_json();
}

TEST_F(JsonReportTest, TimerlatMeasurementHasNoMinimumAndNoPerCpu) {
  Measurement* m = &snap->measured;
  m->valid = true;
  m->source = sv("rtla timerlat");
  m->duration_s = 30;
  m->cpus = cpus("4-7");
  m->avg_us.has = true;
  m->avg_us.value = 3.1;
  m->max_us.has = true;
  m->max_us.value = 17;
  EXPECT_EQ(measured_member(),
            "    \"measured\": {\n"
            "      \"source\": \"rtla timerlat\",\n"
            "      \"duration_s\": 30.0,\n"
            "      \"cpus\": \"4-7\",\n"
            "      \"min_us\": null,\n"
            "      \"avg_us\": 3.1,\n"
            "      \"max_us\": 17,\n"
            "      \"per_cpu\": []\n"
            "    },\n");
  expect_valid_json();
}

TEST_F(JsonReportTest, MeasurementNotValidIsNullEvenWhenRequested) {
  report.measured = true;
  snap->measure_requested = true;
  snap->measured.source = sv("cyclictest");
  EXPECT_EQ(measured_member(), "    \"measured\": null,\n");
  EXPECT_NE(doc().find("  \"measured\": true,\n"), std::string::npos);
}

TEST_F(JsonReportTest, IrqOnIsolatedSampledUsesDeltas) {
  snap->isolated = cpus("2-3");
  snap->sampled = true;
  IrqInfo* a = add_irq("24", "eth0-rx");
  add_count(a, 1, 100, 90);  // housekeeping CPU: left out
  add_count(a, 2, 100, 0);   // no growth in the window: left out
  add_count(a, 3, 100, 42);
  IrqInfo* b = add_irq("31", "nvme0q3");
  b->managed = true;
  add_count(b, 2, 18446744073709551615ull, 18446744073709551615ull);
  add_count(b, 4096, 5, 5);  // out of any CPU set
  add_count(b, -1, 5, 5);
  std::string d = doc();
  EXPECT_NE(d.find("    \"irq_on_isolated\": [\n"
                   "      {\"irq\": \"24\", \"device\": \"eth0-rx\", \"cpu\": 3, \"delta\": 42, "
                   "\"managed\": false},\n"
                   "      {\"irq\": \"31\", \"device\": \"nvme0q3\", \"cpu\": 2, \"delta\": "
                   "18446744073709551615, \"managed\": true}\n"
                   "    ],\n"),
            std::string::npos)
      << d;
}

TEST_F(JsonReportTest, IrqOnIsolatedWithoutIsolationIsEmpty) {
  IrqInfo* a = add_irq("24", "eth0-rx");
  add_count(a, 0, 100, 0);
  EXPECT_NE(doc().find("    \"irq_on_isolated\": [],\n"), std::string::npos);
}

TEST_F(JsonReportTest, CstateFloorsFollowOnlineCpusAscending) {
  snap->online = cpus("0-3");
  add_idle_state(3, 10, false);
  add_idle_state(1, 20, false);
  add_idle_state(1, 20, false);  // a tie keeps the first; the value is the same
  add_idle_state(2, 5, true);    // only disabled states: no floor
  EXPECT_NE(doc().find("    \"cstate_floor_us\": {\n"
                       "      \"1\": 20,\n"
                       "      \"3\": 10\n"
                       "    },\n"),
            std::string::npos);
}

TEST_F(JsonReportTest, ReadErrorsInListOrder) {
  add_read_error("/sys/kernel/realtime", "ENOENT");
  add_read_error("/proc/config.gz", "EBADGZIP");
  add_read_error("/proc/1/task/1/stat", "errno 40");
  std::string d = doc();
  EXPECT_NE(d.find("    \"read_errors\": {\n"
                   "      \"/sys/kernel/realtime\": \"ENOENT\",\n"
                   "      \"/proc/config.gz\": \"EBADGZIP\",\n"
                   "      \"/proc/1/task/1/stat\": \"errno 40\"\n"
                   "    }\n"
                   "  }\n"
                   "}\n"),
            std::string::npos)
      << d;
}

TEST_F(JsonReportTest, TitleEscapesAndUtf8) {
  add_finding(&report, "x.y", Category::irq, Severity::unknown,
              sv("a\nb\x01 caf\xC3\xA9 \"q\" \\ \xff"));
  std::string d = doc();
  EXPECT_NE(d.find("      \"title\": \"a\\nb\\u0001 caf\xC3\xA9 \\\"q\\\" \\\\ \\ufffd\",\n"),
            std::string::npos)
      << d;
  EXPECT_NE(d.find("      \"severity\": \"unknown\",\n"), std::string::npos);
  EXPECT_NE(d.find("      \"category\": \"irq\",\n"), std::string::npos);
}

// Every text that comes from the analysed machine, filled with hostile bytes:
// the document must still be strict, valid UTF-8 JSON.
TEST_F(JsonReportTest, HostileStringsStayValidJson) {
  fill_machine();
  fill_findings();
  fill_cyclictest();
  std::string all;
  for (int c = 0; c < 256; c++) all += static_cast<char>(c);
  const std::string hostile[] = {
      all,
      std::string("nul\0inside", 10),
      "\"}]\n{\"injected\": true",
      "\\u0000\\",
      "\xED\xA0\x80\xF4\x90\x80\x80\xC0\xAF\xE2\x82",
      "\xF0\x9F\x98\x80 \xE2\x82\xAC \xC3",
  };
  auto keep = [&](const std::string& s) {
    char* p = static_cast<char*>(arena_alloc(&arena, s.size() + 1));
    std::copy(s.begin(), s.end(), p);
    return sv_make(p, s.size());
  };
  int i = 0;
  for (const std::string& h : hostile) {
    StrView v = keep(h);
    Finding* f = add_finding(&report, "hostile.text", Category::noise, Severity::warn, v);
    finding_set_detail(f, v);
    finding_set_impact(f, v);
    finding_set_remediation(f, v);
    finding_add_evidence(&report, f, v, v);
    finding_add_evidence(&report, f, kNoneView, kNoneView);
    IrqInfo* irq = add_irq("77", "x");
    irq->name = v;
    irq->device = v;
    add_count(irq, 5, 1, 0);
    add_task(100 + i, "x", "SCHED_RR", 50)->comm = v;
    std::string path = "/proc/" + std::to_string(i) + "/" + h;
    list_push(&arena, &snap->read_errors, ReadError{keep(path), v});
    i++;
  }
  snap->host = keep(all);
  snap->source = keep(all);
  snap->release = keep(hostile[4]);
  snap->preempt_model = keep(hostile[2]);
  snap->tool_version = keep(hostile[5]);
  snap->measured.source = keep(all);
  expect_valid_json();
}

TEST_F(JsonReportTest, ManyFindingsAndTasks) {
  fill_machine();
  for (int i = 0; i < 300; i++) {
    Finding* f = add_finding(&report, "sched.many", Category::scheduling, Severity::pass,
                             arena_sprintf(&arena, "finding %d", i));
    for (int j = 0; j < 20; j++) finding_add_evidence_cstr(&report, f, "k", sv("v"));
    add_task(1000 + i, "worker", "SCHED_FIFO", 80);
  }
  std::string d = doc();
  EXPECT_NE(d.find("\"title\": \"finding 299\""), std::string::npos);
  EXPECT_NE(d.find("{\"tid\": 1299, "), std::string::npos);
  expect_valid_json();
}

}  // namespace

namespace {

// The writer over what the collectors and rules really produce from the
// fixture trees: a strict, valid document that names the failed reads.
class JsonReportFixtureTest : public ArenaTest {};

TEST_F(JsonReportFixtureTest, CollectedTreesGiveValidDocuments) {
  for (const char* tree : {"kernel-rt", "kernel-generic", "kernel-minimal", "kernel-configgz"}) {
    SCOPED_TRACE(tree);
    std::string root = tests_dir() + "/fixtures/" + tree;
    Source* src = open_source(root);
    ASSERT_NE(src, nullptr);
    Snapshot* snap = arena_new<Snapshot>(&arena);
    collect_snapshot(snap, &arena, src, 0);
    snap->tool_version = sv("1.0.1-beta");
    Report report{};
    run_rules(&report, &arena, snap, Profile::hard_rt, false, 0);
    TempDir dir;
    FILE* f = fopen(dir.file("r.json").c_str(), "w");
    ASSERT_NE(f, nullptr);
    write_json_report(&report, f);
    ASSERT_EQ(fclose(f), 0);
    std::string d = read_file(dir.file("r.json"));
    EXPECT_NE(d.find("    \"source\": \"" + root + "\",\n"), std::string::npos);
    EXPECT_NE(d.find("  \"target_us\": 100,\n"), std::string::npos);
    if (snap->read_errors.count > 0) {
      EXPECT_NE(d.find("    \"read_errors\": {\n      \""), std::string::npos);
    }
    EXPECT_EQ(run_status("python3 -m json.tool '" + dir.file("r.json") + "' >/dev/null"), 0);
  }
}

}  // namespace
