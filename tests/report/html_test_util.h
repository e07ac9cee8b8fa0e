// Pages of the HTML report built from Snapshots made in code: a fixture with
// helpers to fill a small, rich machine (interrupts sampled over two
// seconds, idle states, a cyclictest run with histograms, findings of every
// severity), optionally with hostile names everywhere the machine names
// things.
#pragma once

#include <string>

#include "report/html_report.h"
#include "report/report_test_util.h"
#include "report/text_test_util.h"
#include "rules/remedy.h"

// The names a hostile machine reports: markup, an attribute break-out, an
// entity that must stay literal, and bytes that are not UTF-8.
constexpr const char* kScriptName = "<script>alert(1)</script>";
constexpr const char* kImgName = "\"><img src=x onerror=alert(1)>";
constexpr const char* kEntityName = "a&amp;b";
constexpr const char* kBadUtf8Name = "bad\xff\xc3(name";

class HtmlPageTest : public ReportWriterTest {
 protected:
  std::string page() {
    Capture cap;
    write_html_report(&report, cap.f());
    return cap.text();
  }

  CpuSet cpus(const char* list) {
    CpuSet s{};
    cpuset_parse_list(&s, sv(list));
    return s;
  }

  IrqInfo* add_irq(const char* name, const char* device) {
    IrqInfo* irq = list_grow(&arena, &snap->irqs);
    irq->name = sv(name);
    irq->device = sv(device);
    snap->interrupts_available = true;
    return irq;
  }

  void add_count(IrqInfo* irq, int32_t cpu, uint64_t count, uint64_t delta) {
    list_push(&arena, &irq->per_cpu, IrqCount{cpu, count, delta});
  }

  void add_idle_row(int32_t cpu, bool deep_disabled) {
    CpuIdle* row = list_grow(&arena, &snap->cpuidle);
    row->cpu = cpu;
    struct State {
      const char* name;
      int64_t latency;
    };
    const State states[] = {{"POLL", 0}, {"C1", 2}, {"C6", 133}};
    for (const State& s : states) {
      IdleState* st = list_grow(&arena, &row->states);
      st->index = static_cast<int32_t>(row->states.count - 1);
      st->name = sv(s.name);
      st->latency_us.has = true;
      st->latency_us.value = s.latency;
      st->disabled = deep_disabled && s.latency > 100;
    }
    snap->cpuidle_available = true;
  }

  PerCpuLatency* add_latency(int32_t cpu, double max_us) {
    PerCpuLatency* p = per_cpu_entry(&arena, &snap->measured, cpu);
    p->min_us.has = true;
    p->min_us.value = 1;
    p->avg_us.has = true;
    p->avg_us.value = 2.5;
    p->max_us.has = true;
    p->max_us.value = max_us;
    return p;
  }

  void add_bin(PerCpuLatency* p, int32_t us, uint64_t count) {
    list_push(&arena, &p->histogram, HistBin{us, count});
  }

  Finding* add(const char* id, Category c, Severity s, const char* title) {
    return add_finding(&report, id, c, s, sv(title));
  }

  // Four CPUs, 2-3 isolated, counters sampled over 2 s, three idle states per
  // CPU, cyclictest with histograms on CPUs 2 and 3, findings of every
  // severity. With hostile set, the host, release, device and thread names
  // are the hostile ones above.
  void fill_rich(bool hostile) {
    snap->host = sv(hostile ? kScriptName : "rt-box");
    snap->release = sv(hostile ? kImgName : "6.1.0-rt");
    snap->is_rt = true;
    snap->tool_version = sv("1.0.1-beta");
    snap->source = sv(hostile ? kEntityName : "live system");
    snap->online = cpus("0-3");
    snap->isolated = cpus("2-3");
    snap->ncpus = 4;
    snap->sampled = true;
    snap->sample_window_s = 2.0;
    IrqInfo* nic = add_irq("24", hostile ? kScriptName : "eth0-rx-0");
    add_count(nic, 0, 90000, 400);
    add_count(nic, 2, 12000, 10);
    add_count(nic, 3, 50, 2);
    IrqInfo* disk = add_irq("25", hostile ? kImgName : "nvme0q1, nvme0q2, nvme0q3");
    add_count(disk, 1, 7000, 60);
    IrqInfo* quiet = add_irq("26", "i8042");
    add_count(quiet, 0, 3, 0);  // nothing in the window: no row
    IrqInfo* ent = add_irq("27", hostile ? kBadUtf8Name : "ahci[0000:00:17.0]");
    add_count(ent, 2, 100, 1);
    for (int32_t cpu = 0; cpu < 4; cpu++) add_idle_row(cpu, cpu >= 2);
    Measurement* m = &snap->measured;
    m->valid = true;
    m->source = sv("cyclictest");
    m->duration_s = 60;
    m->cpus = cpus("2-3");
    m->min_us.has = m->avg_us.has = m->max_us.has = true;
    m->min_us.value = 1;
    m->avg_us.value = 2.5;
    m->max_us.value = 140;
    PerCpuLatency* c2 = add_latency(2, 23);
    add_bin(c2, 1, 30000);
    add_bin(c2, 2, 25000);
    add_bin(c2, 3, 4000);
    add_bin(c2, 9, 12);
    add_bin(c2, 23, 1);
    PerCpuLatency* c3 = add_latency(3, 140);
    add_bin(c3, 2, 59000);
    add_bin(c3, 40, 3);
    add_bin(c3, 99, 2);
    c3->overflows.has = true;
    c3->overflows.value = 1;
    fill_findings(hostile);
    list_push(&arena, &snap->read_errors, ReadError{sv("/proc/config.gz"), sv("ENOENT")});
  }

  void fill_findings(bool hostile) {
    report.score_valid = true;
    report.score = 61;
    report.category_scored[0] = true;
    report.category_score[0] = 88;
    report.category_scored[2] = true;
    report.category_score[2] = 40;
    report.category_scored[3] = true;
    report.category_score[3] = 60;
    Finding* f = add("irq.on_isolated", Category::irq, Severity::fail,
                     "Interrupt eth0-rx-0 (IRQ 24) lands on isolated CPU 2");
    finding_set_detail(f, sv("Observed 5/s."));
    finding_set_command_code(f, &arena, "echo 0-1 > /proc/irq/24/smp_affinity_list");
    finding_set_weight(f, 2.5);
    finding_add_evidence_cstr(&report, f, "/proc/irq/24/effective_affinity_list",
                              sv("eth0-rx-0 on CPU 2, 5/s"));
    f = add("isolation.nohz_full", Category::isolation, Severity::fail,
            "Isolated CPUs still take the scheduler tick: 2-3");
    finding_set_remediation(f, sv("Boot with nohz_full=2-3."));
    finding_set_cmdline(f, sv("nohz_full=2-3 isolcpus=domain,2-3"));
    const char* comm = hostile ? kImgName : "rt-worker";
    StrView title = arena_sprintf(&arena, "Thread %s runs outside the isolated CPUs", comm);
    f = add_finding(&report, "sched.placement", Category::scheduling, Severity::warn, title);
    finding_set_impact(f, sv("The thread can run on housekeeping CPUs."));
    finding_add_evidence_cstr(&report, f, "/proc/4242/task/4242/comm", sv(comm));
    add("power.cstates", Category::power, Severity::unknown, "Idle states not sampled");
    add("preempt.rt", Category::preemption, Severity::pass, "PREEMPT_RT enabled");
    add("irq.affinity", Category::irq, Severity::na, "Interrupt routing not assessed");
  }
};

// Count of non-overlapping occurrences of needle in hay.
inline size_t count_of(const std::string& hay, const std::string& needle) {
  size_t n = 0;
  for (size_t at = hay.find(needle); at != std::string::npos;
       at = hay.find(needle, at + needle.size())) {
    n++;
  }
  return n;
}
