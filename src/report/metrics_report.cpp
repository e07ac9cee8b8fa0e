#include "report/metrics_report.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "collect/snapshot.h"
#include "report/prom_write.h"

namespace {

const Snapshot kEmptySnapshot{};

void score(FILE* out, const Report* r) {
  if (!r->score_valid) return;  // no sample rather than a made-up 0
  PromFamily f = prom_family(out, "kelvane_score", "Real-time readiness score out of 100.");
  prom_sample(&f);
  prom_int(&f, false, r->score);
}

void category_scores(FILE* out, const Report* r) {
  PromFamily f = prom_family(out, "kelvane_category_score",
                             "Score out of 100 of each category that could be graded.");
  for (int c = 0; c < kCategoryCount; c++) {
    if (!r->category_scored[c]) continue;
    prom_sample(&f);
    prom_label(&f, true, "category", sv_from_cstr(category_id(static_cast<Category>(c))));
    prom_int(&f, true, r->category_score[c]);
  }
}

void severity_counts(FILE* out, const Report* r) {
  int64_t counts[kSeverityCount] = {};
  for (const Finding* f : r->findings) {
    if (f) counts[std::min(static_cast<int>(f->severity), kSeverityCount - 1)]++;
  }
  PromFamily f = prom_family(out, "kelvane_findings", "Number of findings of each severity.");
  for (int s = 0; s < kSeverityCount; s++) {
    prom_sample(&f);
    prom_label(&f, true, "severity", sv_from_cstr(severity_name(static_cast<Severity>(s))));
    prom_int(&f, true, counts[s]);
  }
}

// The order that brings findings of one series together.
bool same_series_first(const Finding* a, const Finding* b) {
  if (a->category != b->category) return a->category < b->category;
  if (a->severity != b->severity) return a->severity > b->severity;  // fail first
  return strcmp(a->id, b->id) < 0;
}

bool same_series(const Finding* a, const Finding* b) {
  return a->category == b->category && a->severity == b->severity && strcmp(a->id, b->id) == 0;
}

// Warn and fail findings, one series per id, category and severity: a label
// set repeated in a file makes node_exporter drop the whole file.
void problems(FILE* out, Arena* a, const Report* r) {
  const Finding** list = arena_array<const Finding*>(a, r->findings.count + 1);
  size_t n = 0;
  for (const Finding* f : r->findings) {
    if (f && severity_is_problem(f->severity)) list[n++] = f;
  }
  std::sort(list, list + n, same_series_first);
  PromFamily fam = prom_family(
      out, "kelvane_finding",
      "Warn and fail findings by id, category and severity; the value counts the findings.");
  for (size_t i = 0; i < n;) {
    size_t end = i + 1;
    while (end < n && same_series(list[i], list[end])) end++;
    prom_sample(&fam);
    prom_label(&fam, true, "id", sv_from_cstr(list[i]->id));
    prom_label(&fam, false, "category", sv_from_cstr(category_id(list[i]->category)));
    prom_label(&fam, false, "severity", sv_from_cstr(severity_name(list[i]->severity)));
    prom_int(&fam, true, static_cast<int64_t>(end - i));
    i = end;
  }
}

void latency_sample(PromFamily* f, StrView cpu, const char* stat, Opt<double> us) {
  if (!us.has || !std::isfinite(us.value)) return;
  prom_sample(f);
  prom_label(f, true, "cpu", cpu);
  prom_label(f, false, "stat", sv_from_cstr(stat));
  prom_real(f, true, us.value / 1e6);
}

void latency(FILE* out, Arena* a, const Measurement* m) {
  if (!m->valid) return;
  PromFamily f = prom_family(out, "kelvane_measured_latency_seconds",
                             "Measured wake-up latency by CPU (all: the whole measurement).");
  for (const PerCpuLatency& p : m->per_cpu) {
    StrView cpu = arena_sprintf(a, "%d", p.cpu);
    latency_sample(&f, cpu, "min", p.min_us);
    latency_sample(&f, cpu, "avg", p.avg_us);
    latency_sample(&f, cpu, "max", p.max_us);
  }
  latency_sample(&f, sv_lit("all"), "min", m->min_us);
  latency_sample(&f, sv_lit("all"), "avg", m->avg_us);
  latency_sample(&f, sv_lit("all"), "max", m->max_us);
}

void info(FILE* out, Arena* a, const Report* r, const Snapshot* s) {
  PromFamily f = prom_family(
      out, "kelvane_info",
      "The kelvane version, the profile and target graded against, and the kernel; always 1.");
  prom_sample(&f);
  prom_label(&f, true, "version", s->tool_version);
  prom_label(&f, false, "profile", sv_from_cstr(profile_name(r->profile)));
  prom_label(&f, false, "target_us", arena_sprintf(a, "%.6g", r->target_us));
  prom_label(&f, false, "kernel", s->release);
  prom_label(&f, false, "preempt_rt", sv_from_cstr(s->is_rt ? "true" : "false"));
  prom_int(&f, true, 1);
}

}  // namespace

void write_metrics_report(const Report* report, int64_t run_time_s, FILE* out) {
  const Snapshot* snap = report->snapshot ? report->snapshot : &kEmptySnapshot;
  Arena own;
  arena_init(&own);
  Arena* arena = report->arena ? report->arena : &own;
  score(out, report);
  category_scores(out, report);
  severity_counts(out, report);
  problems(out, arena, report);
  latency(out, arena, &snap->measured);
  info(out, arena, report, snap);
  PromFamily f = prom_family(out, "kelvane_last_run_timestamp_seconds",
                             "When the analysis ran, in seconds since the Unix epoch.");
  prom_sample(&f);
  prom_int(&f, false, run_time_s);
  arena_release(&own);
}
