#include "report/json_snapshot.h"

#include "collect/platform.h"
#include "report/json_write.h"

namespace {

void header(FILE* out, const Snapshot* s) {
  json_member_string(out, kIndent4, "host", s->host);
  json_member_string(out, kIndent4, "source", s->source);
  json_member_bool(out, kIndent4, "live", s->live);
  json_member_bool(out, kIndent4, "privileged", s->privileged);
}

void kernel(FILE* out, const Snapshot* s) {
  fputs("    \"kernel\": {\n", out);
  json_member_string(out, kIndent6, "release", s->release);
  json_member_bool(out, kIndent6, "is_rt", s->is_rt);
  json_member_string(out, kIndent6, "preempt_model", s->preempt_model);
  json_key(out, kIndent6, "hz");
  if (s->hz.has) {
    fprintf(out, "%lld", static_cast<long long>(s->hz.value));
  } else {
    fputs("null", out);
  }
  fputs(",\n", out);
  json_key(out, kIndent6, "config_available");
  json_bool(out, s->config_available);
  fputs("\n    },\n", out);
}

void topology(FILE* out, Arena* scratch, const Snapshot* s) {
  struct NamedSet {
    const char* name;
    const CpuSet* set;
  };
  const NamedSet sets[] = {
      {"online", &s->online},
      {"isolated", &s->isolated},
      {"housekeeping", &s->housekeeping},
      {"nohz_full", &s->nohz_full},
  };
  fputs("    \"topology\": {\n", out);
  for (const NamedSet& n : sets) {
    json_key(out, kIndent6, n.name);
    json_cpulist(out, scratch, n.set);
    fputs(",\n", out);
  }
  json_key(out, kIndent6, "ncpus");
  fprintf(out, "%u", static_cast<unsigned>(s->ncpus));
  fputs(",\n", out);
  json_key(out, kIndent6, "smt_in_use");
  json_bool(out, s->smt_in_use);
  fputs("\n    },\n", out);
}

// Online CPUs in ascending order that have a C-state floor, keyed by number.
void cstate_floors(FILE* out, const Snapshot* s) {
  fputs("    \"cstate_floor_us\": {", out);
  JsonSeq seq = json_seq(out, kIndent6);
  for (int32_t cpu : CpuIter{&s->online}) {
    OptInt floor = cstate_floor_us(s, cpu);
    if (!floor.has) continue;
    json_seq_item(&seq);
    fprintf(out, "\"%d\": %lld", cpu, static_cast<long long>(floor.value));
  }
  json_seq_close(&seq, kIndent4, "},\n");
}

// Interrupts that fired on isolated CPUs: the growth over the sampling
// window when the counters were sampled twice, else the count since boot.
// Counters are unsigned and written as such, so no huge count turns negative.
void irq_on_isolated(FILE* out, const Snapshot* s) {
  const char* value_key = s->sampled ? "delta" : "count";
  fputs("    \"irq_on_isolated\": [", out);
  JsonSeq seq = json_seq(out, kIndent6);
  for (const IrqInfo& irq : s->irqs) {
    for (const IrqCount& c : irq.per_cpu) {
      if (!cpuset_has(&s->isolated, c.cpu)) continue;
      uint64_t value = s->sampled ? c.delta : c.count;
      if (value == 0) continue;
      json_seq_item(&seq);
      fputs("{\"irq\": ", out);
      json_string(out, irq.name);
      fputs(", \"device\": ", out);
      json_string(out, irq.device);
      fprintf(out, ", \"cpu\": %d, \"%s\": %llu, \"managed\": %s}", c.cpu, value_key,
              static_cast<unsigned long long>(value), irq.managed ? "true" : "false");
    }
  }
  json_seq_close(&seq, kIndent4, "],\n");
}

void rt_tasks(FILE* out, Arena* scratch, const Snapshot* s) {
  fputs("    \"rt_tasks\": [", out);
  JsonSeq seq = json_seq(out, kIndent6);
  for (const RtTask& t : s->rt_tasks) {
    json_seq_item(&seq);
    fprintf(out, "{\"tid\": %d, \"comm\": ", t.tid);
    json_string(out, t.comm);
    fputs(", \"policy\": ", out);
    json_string(out, t.policy_name);
    fprintf(out, ", \"priority\": %d, \"kthread\": %s, \"affinity\": ", t.rt_priority,
            t.kthread ? "true" : "false");
    json_cpulist(out, scratch, &t.affinity.value);
    fputc('}', out);
  }
  json_seq_close(&seq, kIndent4, "],\n");
}

void latency_members(FILE* out, const PerCpuLatency& p) {
  fputs("\"min_us\": ", out);
  json_opt_double(out, p.min_us.has, p.min_us.value);
  fputs(", \"avg_us\": ", out);
  json_opt_double(out, p.avg_us.has, p.avg_us.value);
  fputs(", \"max_us\": ", out);
  json_opt_double(out, p.max_us.has, p.max_us.value);
}

void per_cpu(FILE* out, const Measurement* m) {
  json_key(out, kIndent6, "per_cpu");
  fputc('[', out);
  JsonSeq seq = json_seq(out, kIndent8);
  for (const PerCpuLatency& p : m->per_cpu) {
    json_seq_item(&seq);
    fprintf(out, "{\"cpu\": %d, ", p.cpu);
    latency_members(out, p);
    fputc('}', out);
  }
  json_seq_close(&seq, kIndent6, "]");
}

// What the run measured under (a measurement with a priority recorded):
// "conditions": {"tool", "version", "priority", "interval_us", "duration_s",
// "pm_qos", "pm_qos_us", "pm_qos_holder", "load", "load_cpus", "cpus"}.
void conditions(FILE* out, Arena* scratch, const Measurement* m) {
  const MeasureConditions* c = &m->cond;
  if (!c->priority) return;
  json_key(out, kIndent6, "conditions");
  fputs("{\n", out);
  json_member_string(out, kIndent8, "tool", m->source);
  json_key(out, kIndent8, "version");
  json_string_or_null(out, c->tool_version);
  fprintf(out, ",\n%s\"priority\": %d,\n", kIndent8, c->priority);
  fprintf(out, "%s\"interval_us\": %d,\n", kIndent8, c->interval_us);
  json_key(out, kIndent8, "duration_s");
  json_double(out, "%.1f", m->duration_s);
  fputs(",\n", out);
  json_member_string(out, kIndent8, "pm_qos", c->pm_qos);
  json_key(out, kIndent8, "pm_qos_us");
  json_opt_int(out, c->pm_qos_us.has, c->pm_qos_us.value);
  fputs(",\n", out);
  json_key(out, kIndent8, "pm_qos_holder");
  json_string_or_null(out, c->pm_qos_holder);
  fputs(",\n", out);
  json_member_string(out, kIndent8, "load", c->load);
  json_key(out, kIndent8, "load_cpus");
  json_cpulist(out, scratch, &c->load_cpus);
  fputs(",\n", out);
  json_key(out, kIndent8, "cpus");
  json_cpulist(out, scratch, &m->cpus);
  fputs("\n      },\n", out);
}

void measurement(FILE* out, Arena* scratch, const Measurement* m) {
  json_key(out, kIndent4, "measured");
  if (!m->valid) {
    fputs("null,\n", out);
    return;
  }
  fputs("{\n", out);
  json_member_string(out, kIndent6, "source", m->source);
  json_key(out, kIndent6, "duration_s");
  json_double(out, "%.1f", m->duration_s);
  fputs(",\n", out);
  json_key(out, kIndent6, "cpus");
  json_cpulist(out, scratch, &m->cpus);
  fputs(",\n", out);
  conditions(out, scratch, m);
  struct Value {
    const char* name;
    Opt<double> v;
  };
  const Value values[] = {
      {"min_us", m->min_us},
      {"avg_us", m->avg_us},
      {"max_us", m->max_us},
  };
  for (const Value& v : values) {
    json_key(out, kIndent6, v.name);
    json_opt_double(out, v.v.has, v.v.value);
    fputs(",\n", out);
  }
  per_cpu(out, m);
  fputs("\n    },\n", out);
}

void read_errors(FILE* out, const List<ReadError>& errs) {
  fputs("    \"read_errors\": {", out);
  JsonSeq seq = json_seq(out, kIndent6);
  for (const ReadError& e : errs) {
    json_seq_item(&seq);
    json_string(out, e.path);
    fputs(": ", out);
    json_string(out, e.name);
  }
  json_seq_close(&seq, kIndent4, "}");
}

}  // namespace

void json_write_snapshot(FILE* out, Arena* scratch, const Snapshot* snap) {
  fputs("{\n", out);
  header(out, snap);
  kernel(out, snap);
  topology(out, scratch, snap);
  cstate_floors(out, snap);
  irq_on_isolated(out, snap);
  rt_tasks(out, scratch, snap);
  measurement(out, scratch, &snap->measured);
  read_errors(out, snap->read_errors);
  // Only a machine with TuneD has the member, after every older one.
  if (snap->tuned_profile.ptr) {
    fputs(",\n    \"tuned_profile\": ", out);
    json_string(out, snap->tuned_profile);
  }
  // Likewise a loaded sched_ext scheduler, by its name.
  if (sched_ext_enabled(snap)) {
    fputs(",\n    \"sched_ext\": ", out);
    json_string(out, snap->sched_ext_ops.ptr ? snap->sched_ext_ops : sv_lit(""));
  }
  fputs("\n  }", out);
}
