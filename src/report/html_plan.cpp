// "What to do" of the HTML report: the same plan as the text report's, every
// item shown (the page has no item limit).
#include "report/html_escape.h"
#include "report/html_page.h"
#include "report/plan.h"

namespace {

void write_cmdline_item(const HtmlPage* p, StrView line, const List<const Finding*>* boot) {
  FILE* out = p->out;
  fputs("<li><strong>Set the kernel command line</strong>\n<p>", out);
  html_escape(out, plan_boot_intro(p->arena, boot->count, "below"));
  fputs("</p>\n<pre class=\"fix\">", out);
  html_escape(out, line);
  fputs("</pre>\n<p>", out);
  html_escape(out, sv_from_cstr(kPlanBootApply));
  fputs("</p>\n<span class=\"lbl\">It covers</span>\n<ul>\n", out);
  for (const Finding* f : *boot) {
    fputs("<li>", out);
    html_escape(out, f->title);
    fputs("</li>\n", out);
  }
  fputs("</ul>\n</li>\n", out);
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
    if (writes_runtime_state(f->remediation)) list_push(p->arena, runtime, RuntimeItem{number, f});
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
  List<const Finding*> boot = {};
  List<const Finding*> regular = {};
  for (const Finding* f : plan.items) list_push(p->arena, f->cmdline.len ? &boot : &regular, f);
  StrView line = boot.count ? combine_cmdline(p->arena, boot.items, boot.count) : sv_lit("");
  if (line.len == 0) {
    regular = plan.items;  // nothing to merge: every item stands on its own
    boot = {};
  }

  FILE* out = p->out;
  fputs("<h2>What to do</h2>\n<div class=\"panel\">\n<ol class=\"recs\">\n", out);
  if (line.len) write_cmdline_item(p, line, &boot);
  List<RuntimeItem> runtime = {};
  write_regular_items(p, &regular, line.len ? 2 : 1, &runtime);
  fputs("</ol>\n", out);
  if (runtime.count) write_runtime_note(p, &runtime);
  fputs("</div>\n", out);
}
