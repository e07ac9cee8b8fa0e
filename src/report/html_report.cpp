#include "report/html_report.h"

#include <cmath>

#include "base/fmt.h"
#include "report/html_escape.h"
#include "report/html_page.h"
#include "report/html_style.h"
#include "source/source.h"

namespace {

// Stands in for a missing Snapshot: every field unknown.
const Snapshot kEmptySnapshot{};

// ---- 1. Head, 2. title and meta line ----

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
  if (s->release.len) {
    html_escape(out, s->release);
    fputs(s->is_rt ? " &middot; PREEMPT_RT" : " &middot; not PREEMPT_RT", out);
  }
  fprintf(out, " &middot; %u CPUs", static_cast<unsigned>(s->ncpus));
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
  fputs("</div>\n", out);
}

// ---- 3. Score panel ----

const char* score_color(int32_t score) {
  if (score >= 75) return "var(--pass)";
  if (score >= 50) return "var(--warn)";
  return "var(--fail)";
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

// ---- 6. Findings ----

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

// ---- 8. Idle states ----

// The CPU's C-state floor from its own row: the largest known exit latency
// among its enabled states (as deepest_idle_state, without a lookup by CPU).
StrView row_floor(const HtmlPage* p, const CpuIdle* row) {
  const IdleState* deepest = nullptr;
  for (const IdleState& st : row->states) {
    if (st.disabled || !st.has_latency_us) continue;
    if (!deepest || st.latency_us > deepest->latency_us) deepest = &st;
  }
  return html_latency(p, deepest != nullptr,
                      deepest ? static_cast<double>(deepest->latency_us) : 0);
}

void write_idle_head(const HtmlPage* p, const CpuIdle* first) {
  FILE* out = p->out;
  fputs("<div class=\"scroll\"><table class=\"data\"><thead><tr><th>CPU</th>", out);
  for (const IdleState& st : first->states) {
    fputs("<th>", out);
    html_escape(out, st.name);
    fputs("<br><span class=\"unit\">", out);
    html_escape(out, html_latency(p, st.has_latency_us, static_cast<double>(st.latency_us)));
    fputs("</span></th>", out);
  }
  fputs("<th>Latency floor</th></tr></thead><tbody>\n", out);
}

void write_idle(const HtmlPage* p) {
  const List<CpuIdle>& rows = p->snap->cpuidle;
  if (rows.count == 0) return;
  FILE* out = p->out;
  fputs(
      "<h2>Idle states</h2>\n<div class=\"panel\">\n<p style=\"margin-top:0;font-size:13px;"
      "color:var(--muted)\">Each state's exit latency is a hard floor under wakeup latency for "
      "any CPU allowed to enter it.</p>\n",
      out);
  write_idle_head(p, &rows[0]);
  for (const CpuIdle& row : rows) {
    fprintf(out, "<tr><td>%d</td>", static_cast<int>(row.cpu));
    for (const IdleState& st : row.states) {
      const char* v = st.disabled ? "off" : "on";
      fprintf(out, "<td class=\"%s\">%s</td>", v, v);
    }
    fputs("<td><strong>", out);
    html_escape(out, row_floor(p, &row));
    fputs("</strong></td></tr>\n", out);
  }
  fputs("</tbody></table></div>\n</div>\n", out);
}

// ---- 9. Footer ----

void write_footer(const HtmlPage* p) {
  FILE* out = p->out;
  fputs("<div class=\"foot\">Generated by kelvane", out);
  if (p->snap->tool_version.len) {
    fputc(' ', out);
    html_escape(out, p->snap->tool_version);
  }
  fputs(" &middot; source: ", out);
  html_escape(out, p->snap->source);
  size_t unread = p->snap->src ? p->snap->src->read_errors.count : 0;
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
  write_idle(&page);
  write_footer(&page);
  arena_release(&own);
}
