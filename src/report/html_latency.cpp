// "Measured latency" of the HTML report: the whole measurement, then one row
// per measured CPU.
#include "report/html_escape.h"
#include "report/html_page.h"

namespace {

void write_cells(const HtmlPage* p, const Opt<double> (&cells)[3], const char* open,
                 const char* close) {
  for (const Opt<double>& c : cells) {
    fputs(open, p->out);
    html_escape(p->out, html_latency(p, c.has, c.value));
    fputs(close, p->out);
  }
}

}  // namespace

void html_write_latency(const HtmlPage* p) {
  const Measurement& m = p->snap->measured;
  if (!m.valid) return;
  FILE* out = p->out;
  fputs(
      "<h2>Measured latency</h2>\n<div class=\"panel\">\n<div class=\"scroll\"><table "
      "class=\"data\"><thead><tr><th>CPU</th><th>Min</th><th>Average</th><th>Worst</th></tr>"
      "</thead><tbody>\n<tr><td><strong>all</strong></td>",
      out);
  const Opt<double> all[3] = {m.min_us, m.avg_us, m.max_us};
  write_cells(p, all, "<td><strong>", "</strong></td>");
  fputs("</tr>\n", out);
  for (const PerCpuLatency& c : m.per_cpu) {
    fprintf(out, "<tr><td>%d</td>", static_cast<int>(c.cpu));
    const Opt<double> row[3] = {c.min_us, c.avg_us, c.max_us};
    write_cells(p, row, "<td>", "</td>");
    fputs("</tr>\n", out);
  }
  fputs(
      "</tbody></table></div>\n<p style=\"font-size:12px;color:var(--muted);"
      "margin-bottom:0\">",
      out);
  html_escape(out, m.source);
  fprintf(out, " over %.0f s on CPUs ", m.duration_s);
  html_escape(out, cpuset_format_list(p->arena, &m.cpus));
  fputs(".</p>\n</div>\n", out);
}
