// "What to do" of the HTML report: the same plan as the text report's, every
// item shown (the page has no item limit).
#include "report/html_escape.h"
#include "report/html_page.h"
#include "report/plan.h"

namespace {

constexpr char kUnit[] =
    "# /etc/systemd/system/rt-tuning.service\n"
    "[Unit]\n"
    "Description=Real-time tuning\n"
    "After=sysinit.target\n"
    "\n"
    "[Service]\n"
    "Type=oneshot\n"
    "RemainAfterExit=yes\n"
    "ExecStart=/usr/local/sbin/rt-tuning.sh   # the commands above, one a line\n"
    "\n"
    "[Install]\n"
    "WantedBy=multi-user.target\n"
    "\n"
    "systemctl enable --now rt-tuning.service";

void write_cmdline_item(const HtmlPage* p, StrView line, const List<const Finding*>* boot) {
  FILE* out = p->out;
  fprintf(out,
          "<li><strong>Set the kernel command line</strong>\n<p>%zu of the findings below are "
          "fixed by boot parameters. Apply them as one line: the kernel command line is replaced "
          "whole, so adding a parameter on its own drops the ones already there. Check the CPU "
          "numbers against this machine first.</p>\n<pre class=\"fix\">",
          boot->count);
  html_escape(out, line);
  fputs(
      "</pre>\n<p>Debian/Ubuntu: append it to GRUB_CMDLINE_LINUX_DEFAULT in /etc/default/grub "
      "and run update-grub. RHEL/Fedora: grubby --update-kernel=ALL --args='...'. Reboot, then "
      "check /proc/cmdline.</p>\n<span class=\"lbl\">It covers</span>\n<ul>\n",
      out);
  for (const Finding* f : *boot) {
    fputs("<li>", out);
    html_escape(out, f->title);
    fputs("</li>\n", out);
  }
  fputs("</ul>\n</li>\n", out);
}

void write_sysctl_item(const HtmlPage* p, StrView body, const List<const Finding*>* covered) {
  FILE* out = p->out;
  fprintf(out,
          "<li><strong>Persist the sysctls</strong>\n<p>%zu of the findings below are fixed by "
          "sysctls. Write them to %s, which systemd-sysctl applies at every boot, and run sysctl "
          "--system to apply them now:</p>\n<pre class=\"fix\"># %s\n",
          covered->count, kSysctlSnippetPath, kSysctlSnippetPath);
  html_escape(out, body);
  fputs("</pre>\n<span class=\"lbl\">It covers</span>\n<ul>\n", out);
  for (const Finding* f : *covered) {
    fputs("<li>", out);
    html_escape(out, f->title);
    fputs("</li>\n", out);
  }
  fputs("</ul>\n</li>\n", out);
}

// Writes the regular items; answers whether any writes runtime state.
bool write_regular_items(const HtmlPage* p, const List<const Finding*>* regular) {
  bool runtime = false;
  for (const Finding* f : *regular) {
    fputs("<li><strong>", p->out);
    html_escape(p->out, f->title);
    fputs("</strong>\n<pre class=\"fix\">", p->out);
    html_escape(p->out, f->remediation);
    fputs("</pre></li>\n", p->out);
    runtime = runtime || writes_runtime_state(f->remediation);
  }
  return runtime;
}

}  // namespace

void html_write_plan(const HtmlPage* p) {
  RemediationPlan plan = build_plan(p->arena, p->report);
  if (plan.items.count == 0) return;
  PlanGroups g = plan_groups(p->arena, &plan);

  FILE* out = p->out;
  fputs("<h2>What to do</h2>\n<div class=\"panel\">\n<ol class=\"recs\">\n", out);
  if (g.cmdline.len) write_cmdline_item(p, g.cmdline, &g.boot);
  if (g.sysctls.len) write_sysctl_item(p, g.sysctls, &g.sysctl);
  bool runtime = write_regular_items(p, &g.regular);
  fputs("</ol>\n", out);
  if (runtime) {
    fputs(
        "<p>Items above that write to /proc or /sys change the running kernel, not storage: "
        "they take effect at once and are gone after a reboot. To keep them, run the commands "
        "from a service that starts before the workload.</p>\n<pre class=\"fix\">",
        out);
    fputs(kUnit, out);
    fputs("</pre>\n", out);
  }
  fputs("</div>\n", out);
}
