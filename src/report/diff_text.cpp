#include "report/diff_text.h"

#include <cstdint>

#include "base/fmt.h"
#include "collect/snapshot.h"
#include "report/text_fold.h"
#include "report/text_style.h"
#include "report/text_wrap.h"

namespace {

struct Writer {
  FILE* out;
  Arena* arena;
  const TextOptions* opts;
  TextStyle st;
  const char* arrow;
};

// Text from a report file or the analysed machine, made safe for one line.
void put_line_text(const Writer* w, StrView v) {
  StrView clean = text_clean_line(w->arena, v, w->opts->ascii);
  if (clean.len) fwrite(clean.ptr, 1, clean.len, w->out);
}

const char* severity_color(const TextStyle* st, Severity s) {
  switch (s) {
    case Severity::fail: return st->red;
    case Severity::warn: return st->yellow;
    case Severity::pass: return st->green;
    default: return st->dim;
  }
}

// ---- header ----

void write_side(const Writer* w, const char* label, const char* path, const Report* r) {
  fprintf(w->out, "%s%s%s     ", w->st.dim, label, w->st.reset);
  put_line_text(w, sv_from_cstr(path));
  fputs("  (kelvane ", w->out);
  StrView version = r->snapshot ? r->snapshot->tool_version : kNoneView;
  put_line_text(w, version.len ? version : sv_lit("version unknown"));
  fputs(")\n", w->out);
}

// A report of another version may not say its target: the profile alone.
void write_profile(const Writer* w, const Report* r) {
  fputs(profile_name(r->profile), w->out);
  if (!(r->target_us > 0)) return;
  StrView target = fmt_duration_us(w->arena, r->target_us, w->opts->ascii);
  fprintf(w->out, ", target %.*s", SV_ARG(target));
}

void write_header(const Writer* w, const ReportDiff* d) {
  fprintf(w->out, "\n%s%sREAL-TIME READINESS DIFF%s\n", w->st.bold, w->st.cyan, w->st.reset);
  print_rule(w->out, w->opts->ascii, RuleKind::double_line);
  write_side(w, "Old:", d->old_label, d->old_r);
  write_side(w, "New:", d->new_label, d->new_r);
  fprintf(w->out, "%sProfile:%s ", w->st.dim, w->st.reset);
  write_profile(w, d->old_r);
  if (d->old_r->profile != d->new_r->profile || d->old_r->target_us != d->new_r->target_us) {
    fprintf(w->out, " %s ", w->arrow);
    write_profile(w, d->new_r);
  }
  fputs("\n\n", w->out);
}

// ---- scores ----

// A score in its colour ("%3d" when padded), or "n/a" / "-" dimmed when
// there is none.
void write_score_value(const Writer* w, bool valid, int32_t score, bool padded, const char* none) {
  if (!valid) {
    fprintf(w->out, padded ? "%s%3s%s" : "%s%s%s", w->st.dim, none, w->st.reset);
    return;
  }
  fprintf(w->out, padded ? "%s%3d%s" : "%s%d%s", score_color(&w->st, score),
          static_cast<int>(score), w->st.reset);
}

// " +5" in green, " -3" in red; nothing when either side is missing or
// nothing changed.
void write_delta(const Writer* w, bool old_valid, int32_t old_score, bool new_valid,
                 int32_t new_score) {
  if (!old_valid || !new_valid || old_score == new_score) return;
  const char* color = new_score > old_score ? w->st.green : w->st.red;
  fprintf(w->out, "   %s%+d%s", color, static_cast<int>(new_score - old_score), w->st.reset);
}

void write_overall(const Writer* w, const ReportDiff* d) {
  const Report* o = d->old_r;
  const Report* n = d->new_r;
  fprintf(w->out, "  %sOverall Score:%s  ", w->st.bold, w->st.reset);
  write_score_value(w, o->score_valid, o->score, false, "n/a");
  fprintf(w->out, " %s %s", w->arrow, w->st.bold);
  write_score_value(w, n->score_valid, n->score, false, "n/a");
  fprintf(w->out, "/100   %s%s", w->st.dim, verdict_name(o->score_valid, o->score));
  if (verdict_of(o->score_valid, o->score) != verdict_of(n->score_valid, n->score)) {
    fprintf(w->out, " %s %s", w->arrow, verdict_name(n->score_valid, n->score));
  }
  fputs(w->st.reset, w->out);
  write_delta(w, o->score_valid, o->score, n->score_valid, n->score);
  fputs("\n\n", w->out);
}

void write_categories(const Writer* w, const ReportDiff* d) {
  const Report* o = d->old_r;
  const Report* n = d->new_r;
  bool any = false;
  for (int c = 0; c < kCategoryCount; c++) {
    if (!o->category_scored[c] && !n->category_scored[c]) continue;
    any = true;
    fprintf(w->out, "    %-22s ", category_name(static_cast<Category>(c)));
    write_score_value(w, o->category_scored[c], o->category_score[c], true, "-");
    fprintf(w->out, " %s ", w->arrow);
    write_score_value(w, n->category_scored[c], n->category_score[c], true, "-");
    write_delta(w, o->category_scored[c], o->category_score[c], n->category_scored[c],
                n->category_score[c]);
    fputc('\n', w->out);
  }
  if (any) fputc('\n', w->out);
}

// ---- findings ----

const char* side_text(const Finding* f) {
  return f ? severity_name(f->severity) : "absent";
}

void write_entry(const Writer* w, const DiffEntry* e, bool fixed) {
  const Finding* f = diff_entry_finding(e);
  Severity shown = fixed ? Severity::pass : f->severity;
  fprintf(w->out, "  %s%s%s ", severity_color(&w->st, shown), severity_tag(shown, w->opts->ascii),
          w->st.reset);
  put_line_text(w, f->title);
  fprintf(w->out, "\n      %s", w->st.dim);
  put_line_text(w, sv_from_cstr(f->id));
  fprintf(w->out, "  %s %s %s%s\n", side_text(e->old_f), w->arrow, side_text(e->new_f), w->st.reset);
  if (w->opts->verbose) wrap_text(w->out, w->arena, f->detail, w->opts->ascii, "      ", "      ");
}

void write_list(const Writer* w, const char* heading, const List<DiffEntry>& l, bool fixed) {
  if (l.count == 0) return;
  print_rule(w->out, w->opts->ascii, RuleKind::single_line);
  fprintf(w->out, "  %s%s%s  (%zu)\n\n", w->st.bold, heading, w->st.reset, l.count);
  for (const DiffEntry& e : l) write_entry(w, &e, fixed);
  fputc('\n', w->out);
}

void write_summary(const Writer* w, const ReportDiff* d) {
  if (!diff_changed(d)) {
    fprintf(w->out, "  %sNo change%s -- %zu finding%s still open.\n\n", w->st.green, w->st.reset,
            d->still_open.count, d->still_open.count == 1 ? "" : "s");
    return;
  }
  fprintf(w->out, "  %zu regressed, %zu fixed, %zu still open\n\n", d->regressed.count,
          d->fixed.count, d->still_open.count);
}

}  // namespace

void write_diff_text(const ReportDiff* d, const TextOptions* opts, Arena* a, FILE* out) {
  Writer w = {out, a, opts, text_style(opts->color), opts->ascii ? "->" : "\xE2\x86\x92"};
  if (!opts->quiet) write_header(&w, d);
  write_overall(&w, d);
  if (!opts->quiet) write_categories(&w, d);
  if (d->conditions_differ.ptr) {
    fputs("Measured under different conditions: ", out);
    put_line_text(&w, d->conditions_differ);
    fputs("\n  the latency findings are neither fixed nor regressed\n\n", out);
  }
  write_list(&w, "REGRESSED", d->regressed, false);
  write_list(&w, "FIXED", d->fixed, true);
  if (!opts->quiet) write_list(&w, "STILL OPEN", d->still_open, false);
  write_summary(&w, d);
}
