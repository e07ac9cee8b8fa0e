#include "report/html_report.h"

#include <cmath>

#include "base/fmt.h"
#include "collect/platform.h"
#include "report/html_escape.h"
#include "report/html_page.h"
#include "report/html_style.h"
#include "report/score_band.h"

namespace {

// Stands in for a missing Snapshot: every field unknown.
const Snapshot kEmptySnapshot{};

// ---- Head, title and meta line ----

void write_head(const HtmlPage* p) {
  FILE* out = p->out;
  fputs(
      "<!doctype html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">\n"
      "<title>RT analysis",
      out);
  if (p->snap->host.len) {
    fputs(" - ", out);
    html_escape(out, p->snap->host);
  }
  fputs("</title>\n", out);
  html_write_style(out);
  fputs("</head>\n<body>\n<div class=\"wrap\">\n", out);
}

void write_title(const HtmlPage* p) {
  FILE* out = p->out;
  const Snapshot* s = p->snap;
  fputs("<h1>Real-time system analysis", out);
  if (s->host.len) {
    fputs(" &mdash; ", out);
    html_escape(out, s->host);
  }
  fputs("</h1>\n<div class=\"meta\">", out);
  // Parts joined by " · "; the CPU count is the first when no release was read.
  if (s->release.len) {
    html_escape(out, s->release);
    fputs(s->is_rt ? " &middot; PREEMPT_RT" : " &middot; not PREEMPT_RT", out);
    fputs(" &middot; ", out);
  }
  fprintf(out, "%u CPUs", static_cast<unsigned>(s->ncpus));
  if (!cpuset_empty(&s->isolated)) {
    fputs(" &middot; isolated ", out);
    html_escape(out, cpuset_format_list(p->arena, &s->isolated));
  }
  fputs(" &middot; profile ", out);
  html_escape(out, profile_name(p->report->profile));
  if (s->tuned_profile.ptr) {
    fputs(" &middot; TuneD ", out);
    html_escape(out, s->tuned_profile);
  }
  if (sched_ext_enabled(s)) {
    fputs(" &middot; sched_ext ", out);
    html_escape(out, s->sched_ext_ops.len ? s->sched_ext_ops : sv_lit("enabled"));
  }
  fputs("</div>\n", out);
}

// ---- Score panel ----

// By ScoreBand: good, middling, poor.
constexpr const char* kBandColor[] = {"var(--pass)", "var(--warn)", "var(--fail)"};

const char* score_color(int32_t score) {
  return kBandColor[static_cast<int>(score_band(score))];
}

void write_score(const HtmlPage* p) {
  FILE* out = p->out;
  const Report* r = p->report;
  fputs("<div class=\"panel scorewrap\">\n<div>\n<div class=\"score\">", out);
  if (r->score_valid) {
    fprintf(out, "%d<span>/100</span>", static_cast<int>(r->score));
  } else {
    fputs("&mdash;", out);
  }
  fputs("</div>\n<div class=\"verdict\">", out);
  html_escape(out, verdict_name(r->score_valid, r->score));
  fputs("</div>\n</div>\n<div class=\"cats\">\n", out);
  for (int c = 0; c < kCategoryCount; c++) {
    if (!r->category_scored[c]) continue;
    int score = r->category_score[c];
    fputs("<div class=\"cat\"><span>", out);
    html_escape(out, category_name(static_cast<Category>(c)));
    fprintf(out,
            "</span><span class=\"bar\"><i style=\"width:%d%%;background:%s\"></i></span>"
            "<span class=\"num\">%d</span></div>\n",
            score, score_color(score), score);
  }
  fputs("</div>\n</div>\n", out);
}

// ---- Findings ----

struct SeverityLook {
  const char* cls;
  const char* attr;
  const char* mark;
};

// By severity_rank: fail, warn, unknown, pass, and every other value.
constexpr SeverityLook kLooks[] = {
    {"fail", " open", "&#10007;"}, {"warn", " open", "&#9888;"}, {"unknown", "", "?"},
    {"pass", "", "&#10003;"},      {"na", "", "&ndash;"},
};
constexpr int kGroupCount = sizeof kLooks / sizeof kLooks[0];

void write_evidence(FILE* out, const Finding* f) {
  if (f->evidence.count == 0) return;
  fputs("<span class=\"lbl\">Evidence</span><table class=\"ev\">\n", out);
  for (const Evidence& e : f->evidence) {
    fputs("<tr><td class=\"mono\">", out);
    html_escape(out, e.key);
    fputs("</td><td class=\"mono\">", out);
    html_escape(out, e.value);
    fputs("</td></tr>\n", out);
  }
  fputs("</table>\n", out);
}

void write_finding(FILE* out, const Finding* f, const SeverityLook* look) {
  fprintf(out,
          "<details class=\"f %s\"%s><summary><span class=\"mark\">%s</span><span "
          "class=\"ttl\">",
          look->cls, look->attr, look->mark);
  html_escape(out, f->title);
  fputs("</span><span class=\"cat-tag\">", out);
  html_escape(out, category_id(f->category));
  fputs("</span></summary>\n<div class=\"body\">\n", out);
  if (f->detail.len) {
    fputs("<p>", out);
    html_escape(out, f->detail);
    fputs("</p>\n", out);
  }
  if (f->impact.len) {
    fputs("<span class=\"lbl\">Impact</span><p>", out);
    html_escape(out, f->impact);
    fputs("</p>\n", out);
  }
  if (f->remediation.len) {
    fputs("<span class=\"lbl\">Fix</span><pre class=\"fix\">", out);
    html_escape(out, f->remediation);
    fputs("</pre>\n", out);
  }
  write_evidence(out, f);
  fputs("</div>\n</details>\n", out);
}

void write_findings(const HtmlPage* p) {
  fputs("<h2>Findings</h2>\n", p->out);
  for (int g = 0; g < kGroupCount; g++) {
    for (const Finding* f : p->report->findings) {
      if (f && severity_rank(f->severity) == g) write_finding(p->out, f, &kLooks[g]);
    }
  }
}

// ---- Footer ----

void write_footer(const HtmlPage* p) {
  FILE* out = p->out;
  fputs("<div class=\"foot\">Generated by kelvane", out);
  if (p->snap->tool_version.len) {
    fputc(' ', out);
    html_escape(out, p->snap->tool_version);
  }
  fputs(" &middot; source: ", out);
  html_escape(out, p->snap->source);
  size_t unread = p->snap->read_errors.count;
  if (unread) {
    fprintf(out, " &middot; %zu path%s could not be read", unread, unread == 1 ? "" : "s");
  }
  fputs("</div>\n</div>\n</body>\n</html>\n", out);
}

}  // namespace

StrView html_latency(const HtmlPage* p, bool has, double us) {
  if (!has || std::isnan(us)) return sv_lit("n/a");
  return fmt_duration_us(p->arena, us, false);
}

void write_html_report(const Report* report, FILE* out) {
  // Temporary texts come from the run's Arena; a Report that was never
  // given one gets a short-lived Arena.
  Arena own;
  arena_init(&own);
  HtmlPage page{out, report->arena ? report->arena : &own, report,
                report->snapshot ? report->snapshot : &kEmptySnapshot};
  write_head(&page);
  write_title(&page);
  write_score(&page);
  html_write_plan(&page);
  html_write_latency(&page);
  html_write_histograms(&page);
  write_findings(&page);
  html_write_heatmap(&page);
  html_write_idle(&page);
  write_footer(&page);
  arena_release(&own);
}
