// "What to do" of the HTML report: the same plan as the text report's, every
// item shown (the page has no item limit).
#include "report/html_escape.h"
#include "report/html_page.h"
#include "report/plan.h"

namespace {

// The titles of the findings a merged item fixes, closing the item.
void write_covers(const HtmlPage* p, const List<const Finding*>* covered) {
  fputs("<span class=\"lbl\">It covers</span>\n<ul>\n", p->out);
  for (const Finding* f : *covered) {
    fputs("<li>", p->out);
    html_escape(p->out, f->title);
    fputs("</li>\n", p->out);
  }
  fputs("</ul>\n</li>\n", p->out);
}

void write_cmdline_item(const HtmlPage* p, StrView line, const List<const Finding*>* boot) {
  FILE* out = p->out;
  fputs("<li><strong>Set the kernel command line</strong>\n<p>", out);
  html_escape(out, plan_boot_intro(p->arena, boot->count, "below"));
  fputs("</p>\n<pre class=\"fix\">", out);
  html_escape(out, line);
  fputs("</pre>\n<p>", out);
  html_escape(out, sv_from_cstr(kPlanBootApply));
  fputs("</p>\n", out);
  write_covers(p, boot);
}

void write_sysctl_item(const HtmlPage* p, StrView body, const List<const Finding*>* covered,
                       const List<PersistedSysctl>* overridden) {
  FILE* out = p->out;
  fprintf(out,
          "<li><strong>Persist the sysctls</strong>\n<p>%zu of the findings below %s fixed by "
          "sysctls. Write them to %s, which systemd-sysctl applies at every boot, and run sysctl "
          "--system to apply them now:</p>\n<pre class=\"fix\"># %s\n",
          covered->count, covered->count == 1 ? "is" : "are", kSysctlSnippetPath,
          kSysctlSnippetPath);
  html_escape(out, body);
  fputs("</pre>\n", out);
  if (overridden->count) {
    fprintf(out, "<p>%s</p>\n<pre class=\"fix\">", kPlanSysctlOverridden);
    for (const PersistedSysctl& e : *overridden) {
      html_escape(out, plan_override_line(p->arena, &e));
      fputc('\n', out);
    }
    fputs("</pre>\n", out);
  }
  write_covers(p, covered);
}

// Writes the regular items, numbered on from first; collects those that
// write runtime state.
void write_regular_items(const HtmlPage* p, const List<const Finding*>* regular, size_t first,
                         List<RuntimeItem>* runtime) {
  size_t number = first;
  for (const Finding* f : *regular) {
    fputs("<li><strong>", p->out);
    html_escape(p->out, f->title);
    fputs("</strong>\n<pre class=\"fix\">", p->out);
    html_escape(p->out, f->remediation);
    fputs("</pre></li>\n", p->out);
    if (writes_runtime_state(f)) list_push(p->arena, runtime, RuntimeItem{number, f});
    number++;
  }
}

void write_lines(const HtmlPage* p, const StrView* lines, size_t count) {
  for (size_t i = 0; i < count; i++) {
    html_escape(p->out, lines[i]);
    fputc('\n', p->out);
  }
}

// The script and the unit that keep the runtime fixes across reboots.
void write_runtime_note(const HtmlPage* p, const List<RuntimeItem>* runtime) {
  FILE* out = p->out;
  fputs(
      "<p>Items above that write to /proc or /sys change the running kernel, not storage: "
      "they take effect at once and are gone after a reboot. To keep them, run the commands "
      "from a service that starts before the workload.</p>\n<pre class=\"fix\">",
      out);
  StrList script = plan_runtime_script(p->arena, runtime);
  write_lines(p, script.items, script.count);
  fputc('\n', out);
  for (size_t i = 0; i < kPlanUnitLineCount; i++) {
    fputs(kPlanUnitLines[i], out);
    if (i + 1 < kPlanUnitLineCount) fputc('\n', out);
  }
  fputs("</pre>\n", out);
}

}  // namespace

void html_write_plan(const HtmlPage* p) {
  RemediationPlan plan = build_plan(p->arena, p->report);
  if (plan.items.count == 0) return;
  PlanGroups g = plan_groups(p->arena, &plan);

  FILE* out = p->out;
  fputs("<h2>What to do</h2>\n<div class=\"panel\">\n<ol class=\"recs\">\n", out);
  size_t first = 1;
  if (g.cmdline.len) {
    write_cmdline_item(p, g.cmdline, &g.boot);
    first++;
  }
  if (g.sysctls.len) {
    write_sysctl_item(p, g.sysctls, &g.sysctl, &g.overridden);
    first++;
  }
  List<RuntimeItem> runtime = {};
  write_regular_items(p, &g.regular, first, &runtime);
  fputs("</ol>\n", out);
  if (runtime.count) write_runtime_note(p, &runtime);
  fputs("</div>\n", out);
}
