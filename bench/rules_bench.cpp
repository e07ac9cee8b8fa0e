// Cost of the interrupt and scheduling rules on a large machine built in
// memory: every interrupt fires on every CPU, half the CPUs are isolated, and
// every thread is a SCHED_FIFO application thread pinned to one CPU at a
// priority no other thread on that CPU shares, so the search for two equal
// priorities on one CPU walks the whole list without finding a pair. The
// rules run over the given sizes and again with twice the threads; the
// second time should be about twice the first. Prints times only.
//
// rules_bench [CPUS [THREADS [IRQS]]]
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "collect/snapshot.h"
#include "rules/finding.h"
#include "rules/rules.h"

namespace {

void build(Arena* a, Snapshot* s, int cpus, int threads, int irqs) {
  s->arena = a;
  s->ncpus = static_cast<uint32_t>(cpus);
  for (int c = 0; c < cpus; c++) cpuset_add(&s->online, c);
  for (int c = cpus / 2; c < cpus; c++) cpuset_add(&s->isolated, c);
  s->housekeeping = s->online;
  cpuset_andnot(&s->housekeeping, &s->isolated);
  s->interrupts_available = true;
  s->sampled = true;
  s->sample_window_s = 1.0;
  for (int i = 0; i < irqs; i++) {
    IrqInfo* q = list_grow(a, &s->irqs);
    q->name = arena_sprintf(a, "%d", 24 + i);
    q->device = arena_sprintf(a, "dev%d", i);
    q->managed = i % 3 == 0;
    q->affinity.has = q->effective.has = true;
    q->affinity.value = s->online;
    cpuset_add(&q->effective.value, i % cpus);
    for (int c = 0; c < cpus; c++) {
      IrqCount* n = list_grow(a, &q->per_cpu);
      n->cpu = c;
      n->count = static_cast<uint64_t>(1000 + i + c);
      n->delta = static_cast<uint64_t>((i * 7 + c) % 300);
    }
  }
  s->tasks_available = true;
  for (int t = 0; t < threads; t++) {
    RtTask* r = list_grow(a, &s->rt_tasks);
    r->pid = r->tid = 1000 + t;
    r->comm = arena_sprintf(a, "worker%d", t);
    r->policy = 1;
    r->policy_name = sv_lit("SCHED_FIFO");
    r->rt_priority = 1 + (t / cpus) % 98;
    r->affinity.has = true;
    cpuset_add(&r->affinity.value, t % cpus);
  }
}

double run_once(int cpus, int threads, int irqs) {
  Arena a;
  arena_init(&a);
  Snapshot* s = arena_new<Snapshot>(&a);
  build(&a, s, cpus, threads, irqs);
  Report report = {};
  report.arena = &a;
  report.snapshot = s;
  report.target_us = 100;
  RuleContext ctx = make_rule_context(&report);
  clock_t start = clock();
  irq_rules(&report, &ctx);
  sched_rules(&report, &ctx);
  double sec = static_cast<double>(clock() - start) / CLOCKS_PER_SEC;
  arena_release(&a);
  return sec;
}

}  // namespace

int main(int argc, char** argv) {
  int cpus = argc > 1 ? atoi(argv[1]) : 256;
  int threads = argc > 2 ? atoi(argv[2]) : 20000;
  int irqs = argc > 3 ? atoi(argv[3]) : 1500;
  double one = run_once(cpus, threads, irqs);
  double two = run_once(cpus, threads * 2, irqs);
  double no_irqs = run_once(cpus, threads, 0);
  double no_irqs_two = run_once(cpus, threads * 2, 0);
  printf("%-34s %8.3f s\n", "irq + sched rules", one);
  printf("%-34s %8.3f s\n", "same, twice the threads", two);
  printf("%-34s %8.3f s\n", "without interrupts", no_irqs);
  printf("%-34s %8.3f s  (ratio %.2f)\n", "same, twice the threads", no_irqs_two,
         no_irqs > 0 ? no_irqs_two / no_irqs : 0);
  return 0;
}
