#include "report/text_report.h"

#include <cstdint>

#include "base/fmt.h"
#include "collect/platform.h"
#include "collect/snapshot.h"
#include "report/plan.h"
#include "report/text_fold.h"
#include "report/text_plan.h"
#include "report/text_style.h"
#include "report/text_wrap.h"

namespace {

constexpr int32_t kScoreCells = 30;
constexpr int32_t kCategoryCells = 20;
constexpr size_t kMaxUnreadableShown = 20;

// Findings are printed in groups by severity rank: fail, warn, unknown,
// pass, then every other value.
constexpr int kGroupCount = 5;
constexpr int kRankPass = 3;

struct Writer {
  FILE* out;
  Arena* arena;
  const Report* report;
  const Snapshot* snap;
  const TextOptions* opts;
  TextStyle st;
};

// A one-line text from the analysed machine or a finding, made safe.
void put_line_text(const Writer* w, StrView v) {
  sv_put(w->out, text_clean_line(w->arena, v, w->opts->ascii));
}

void wrap(const Writer* w, StrView text, const char* prefix) {
  wrap_text(w->out, w->arena, text, w->opts->ascii, prefix, prefix);
}

const char* severity_color(const TextStyle* st, Severity s) {
  switch (s) {
    case Severity::fail:
      return st->red;
    case Severity::warn:
      return st->yellow;
    case Severity::pass:
      return st->green;
    default:
      return st->dim;
  }
}

// ---- Header ----

void write_header(const Writer* w) {
  FILE* out = w->out;
  const TextStyle& st = w->st;
  fprintf(out, "\n%s%sREAL-TIME SYSTEM ANALYSIS%s\n", st.bold, st.cyan, st.reset);
  print_rule(out, w->opts->ascii, RuleKind::double_line);
  StrView host = w->snap && w->snap->host.ptr ? w->snap->host : sv_lit("unknown");
  fprintf(out, "%sHost:%s    ", st.dim, st.reset);
  put_line_text(w, host);
  fputc('\n', out);
  if (w->snap && w->snap->release.len) {
    fprintf(out, "%sKernel:%s  ", st.dim, st.reset);
    put_line_text(w, w->snap->release);
    fprintf(out, "%s\n", w->snap->is_rt ? "  (PREEMPT_RT)" : "");
  }
  StrView source = w->snap && w->snap->source.ptr ? w->snap->source : sv_lit("live system");
  fprintf(out, "%sSource:%s  ", st.dim, st.reset);
  put_line_text(w, source);
  fputc('\n', out);
  StrView target = fmt_duration_us(w->arena, w->report->target_us, w->opts->ascii);
  fprintf(out, "%sProfile:%s %s, target %.*s\n", st.dim, st.reset, profile_name(w->report->profile),
          SV_ARG(target));
  if (w->snap && w->snap->tuned_profile.ptr) {
    fprintf(out, "%sTuneD:%s   ", st.dim, st.reset);
    put_line_text(w, w->snap->tuned_profile);
    fputc('\n', out);
  }
  // A sched_ext scheduler places normal tasks only: shown, never graded.
  if (w->snap && sched_ext_enabled(w->snap)) {
    fprintf(out, "%ssched_ext:%s ", st.dim, st.reset);
    put_line_text(w, w->snap->sched_ext_ops.len ? w->snap->sched_ext_ops : sv_lit("enabled"));
    fputs(" (schedules normal tasks only)\n", out);
  }
  fputc('\n', out);
}

// ---- Overall score and category lines ----

void write_score(const Writer* w) {
  const TextStyle& st = w->st;
  const Report* r = w->report;
  if (!r->score_valid) {
    fprintf(w->out, "  %sOverall Score: not determined%s\n\n", st.dim, st.reset);
    return;
  }
  const char* color = score_color(&st, r->score);
  fprintf(w->out, "  %sOverall Score:%s  %s%s%d%s/100   %s%s%s\n", st.bold, st.reset, st.bold,
          color, static_cast<int>(r->score), st.reset, st.dim, verdict_name(true, r->score),
          st.reset);
  fprintf(w->out, "  %s", color);
  print_bar(w->out, w->opts->ascii, kScoreCells, int64_t{r->score} * kScoreCells / 100);
  fprintf(w->out, "%s\n\n", st.reset);
}

// The category lines always end with one empty line, even when no category
// was scored.
void write_categories(const Writer* w) {
  const Report* r = w->report;
  for (int c = 0; c < kCategoryCount; c++) {
    if (!r->category_scored[c]) continue;
    int32_t score = r->category_score[c];
    fprintf(w->out, "    %-22s %s", category_name(static_cast<Category>(c)),
            score_color(&w->st, score));
    print_bar(w->out, w->opts->ascii, kCategoryCells, score / 5);
    fprintf(w->out, "%s %3d\n", w->st.reset, static_cast<int>(score));
  }
  fputc('\n', w->out);
}

// ---- Findings ----

void write_evidence(const Writer* w, const Finding* f) {
  for (const Evidence& e : f->evidence) {
    fprintf(w->out, "      %s", w->st.dim);
    put_line_text(w, e.key);
    fprintf(w->out, ":%s ", w->st.reset);
    put_line_text(w, e.value);
    fputc('\n', w->out);
  }
}

void write_finding(const Writer* w, const Finding* f) {
  FILE* out = w->out;
  const TextStyle& st = w->st;
  fprintf(out, "  %s%s%s ", severity_color(&st, f->severity),
          severity_tag(f->severity, w->opts->ascii), st.reset);
  put_line_text(w, f->title);
  fputc('\n', out);
  if (!w->opts->verbose) {
    if (severity_is_problem(f->severity)) wrap(w, f->detail, "      ");
    return;
  }
  wrap(w, f->detail, "      ");
  if (f->impact.len) {
    fprintf(out, "      %sImpact:%s\n", st.dim, st.reset);
    wrap(w, f->impact, "        ");
  }
  write_evidence(w, f);
  if (f->remediation.len) {
    fprintf(out, "      %sFix:%s\n", st.dim, st.reset);
    wrap(w, f->remediation, "        ");
  }
  fputc('\n', out);
}

// pass and every value outside the table are left out with -q
bool group_printed_under_quiet(int group) { return group < kRankPass; }

void write_findings(const Writer* w) {
  const List<Finding*>& findings = w->report->findings;
  for (int g = 0; g < kGroupCount; g++) {
    if (w->opts->quiet && !group_printed_under_quiet(g)) continue;
    size_t printed = 0;
    for (const Finding* f : findings) {
      if (!f || severity_rank(f->severity) != g) continue;
      write_finding(w, f);
      printed++;
    }
    if (printed && !w->opts->verbose) fputc('\n', w->out);
  }
}

// ---- Measured latency ----

// text, then blanks up to width columns: a column is a character, not a
// byte, so "µs" (two bytes, one column) lines up with "us".
void put_padded(FILE* out, StrView text, size_t width) {
  size_t cols = 0;
  for (size_t i = 0; i < text.len; i++)
    if ((static_cast<unsigned char>(text.ptr[i]) & 0xC0) != 0x80) cols++;
  fprintf(out, "%.*s%*s", SV_ARG(text), static_cast<int>(cols < width ? width - cols : 0), "");
}

void write_latency_line(const Writer* w, const char* label, Opt<double> us) {
  if (!us.has) return;
  StrView v = fmt_duration_us(w->arena, us.value, w->opts->ascii);
  fprintf(w->out, "    %s%.*s\n", label, SV_ARG(v));
}

void write_measurement(const Writer* w) {
  if (!w->snap || !w->snap->measured.valid) return;
  const Measurement& m = w->snap->measured;
  const TextStyle& st = w->st;
  print_rule(w->out, w->opts->ascii, RuleKind::single_line);
  fprintf(w->out, "  %sMEASURED LATENCY%s   (", st.bold, st.reset);
  put_line_text(w, m.source);
  fprintf(w->out, ", %.0f s)\n", m.duration_s);
  write_latency_line(w, "Worst latency:   ", m.max_us);
  write_latency_line(w, "Average latency: ", m.avg_us);
  write_latency_line(w, "Best latency:    ", m.min_us);
  for (const PerCpuLatency& c : m.per_cpu) {
    if (!c.max_us.has) continue;
    StrView max = fmt_duration_us(w->arena, c.max_us.value, w->opts->ascii);
    StrView avg =
        c.avg_us.has ? fmt_duration_us(w->arena, c.avg_us.value, w->opts->ascii) : sv_lit("n/a");
    fprintf(w->out, "      %sCPU %-3d%s max ", st.dim, static_cast<int>(c.cpu), st.reset);
    put_padded(w->out, max, 10);
    fprintf(w->out, " avg %.*s\n", SV_ARG(avg));
  }
  fputc('\n', w->out);
}

// ---- What to do ----

// A failing or warning finding without a remedy leaves the plan empty; the
// report must not then claim that nothing failed.
bool has_problem(const Report* r) {
  for (const Finding* f : r->findings) {
    if (f && severity_is_problem(f->severity)) return true;
  }
  return false;
}

void write_plan(const Writer* w) {
  RemediationPlan plan = build_plan(w->arena, w->report);
  if (plan.items.count) {
    print_rule(w->out, w->opts->ascii, RuleKind::single_line);
    fprintf(w->out, "  %sWHAT TO DO%s\n\n", w->st.bold, w->st.reset);
    write_plan_section(w->out, w->arena, &plan, w->opts);
  } else if (!w->opts->quiet && !has_problem(w->report)) {
    print_rule(w->out, w->opts->ascii, RuleKind::single_line);
    fprintf(w->out, "  %sNothing to fix -- no failing or warning checks.%s\n\n", w->st.green,
            w->st.reset);
  }
}

// ---- Unreadable paths ----

void write_unreadable(const Writer* w) {
  if (!w->opts->verbose || !w->snap) return;
  const List<ReadError>& errs = w->snap->read_errors;
  if (errs.count == 0) return;
  print_rule(w->out, w->opts->ascii, RuleKind::single_line);
  fprintf(w->out, "  %sUNREADABLE PATHS%s  (%zu)\n", w->st.bold, w->st.reset, errs.count);
  size_t shown = errs.count < kMaxUnreadableShown ? errs.count : kMaxUnreadableShown;
  for (size_t i = 0; i < shown; i++) {
    fprintf(w->out, "    %s", w->st.dim);
    put_line_text(w, errs[i].name);
    fprintf(w->out, "%s  ", w->st.reset);
    put_line_text(w, errs[i].path);
    fputc('\n', w->out);
  }
  if (errs.count > shown) {
    fprintf(w->out, "    %s... and %zu more%s\n", w->st.dim, errs.count - shown, w->st.reset);
  }
  fputc('\n', w->out);
}

}  // namespace

void write_text_report(const Report* report, const TextOptions* opts, FILE* out) {
  Writer w{out, report->arena, report, report->snapshot, opts, text_style(opts->color)};
  if (!opts->quiet) write_header(&w);
  write_score(&w);
  if (!opts->quiet) write_categories(&w);
  write_findings(&w);
  write_measurement(&w);
  write_plan(&w);
  write_unreadable(&w);
}
