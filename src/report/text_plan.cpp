#include "report/text_plan.h"

#include "report/text_fold.h"
#include "report/text_style.h"
#include "report/text_wrap.h"

namespace {

constexpr const char* kItemIndent = "     ";

struct PlanWriter {
  FILE* out;
  Arena* arena;
  const TextOptions* opts;
  TextStyle st;
};

// The titles of the findings a merged item fixes, closing the item.
void write_covers(const PlanWriter* w, const List<const Finding*>* covered) {
  fprintf(w->out, "\n     %sIt covers:%s\n", w->st.dim, w->st.reset);
  for (const Finding* f : *covered) {
    fprintf(w->out, "     %s  - ", w->st.dim);
    sv_put(w->out, text_clean_line(w->arena, f->title, w->opts->ascii));
    fprintf(w->out, "%s\n", w->st.reset);
  }
  fputc('\n', w->out);
}

// Item 1: the combined kernel command line and the findings it covers.
void write_cmdline_item(const PlanWriter* w, StrView line, const List<const Finding*>* boot) {
  FILE* out = w->out;
  bool ascii = w->opts->ascii;
  fprintf(out, "  %s%zu.%s Set the kernel command line\n", w->st.bold, size_t{1}, w->st.reset);
  StrView why = plan_boot_intro(w->arena, boot->count, "above");
  wrap_text(out, w->arena, why, ascii, kItemIndent, kItemIndent);
  fprintf(out, "\n       %s", w->st.bold);
  sv_put(out, text_clean_line(w->arena, line, ascii));
  fprintf(out, "%s\n\n", w->st.reset);
  wrap_text(out, w->arena, sv_from_cstr(kPlanBootApply), ascii, kItemIndent, kItemIndent);
  write_covers(w, boot);
}

// The sysctls, merged into one sysctl.d file, and the findings they cover.
void write_overridden(const PlanWriter* w, const List<PersistedSysctl>* overridden) {
  if (overridden->count == 0) return;
  fputc('\n', w->out);
  wrap_text(w->out, w->arena, sv_from_cstr(kPlanSysctlOverridden), w->opts->ascii, kItemIndent,
            kItemIndent);
  fputc('\n', w->out);
  for (const PersistedSysctl& e : *overridden) {
    fputs("       ", w->out);
    sv_put(w->out, text_clean_line(w->arena, plan_override_line(w->arena, &e), w->opts->ascii));
    fputc('\n', w->out);
  }
}

void write_sysctl_item(const PlanWriter* w, size_t number, StrView body,
                       const List<const Finding*>* covered,
                       const List<PersistedSysctl>* overridden) {
  FILE* out = w->out;
  bool ascii = w->opts->ascii;
  fprintf(out, "  %s%zu.%s Persist the sysctls\n", w->st.bold, number, w->st.reset);
  StrView why = arena_sprintf(
      w->arena,
      "%zu of the findings above %s fixed by sysctls. Write them to %s, which systemd-sysctl "
      "applies at every boot, and run sysctl --system to apply them now:",
      covered->count, covered->count == 1 ? "is" : "are", kSysctlSnippetPath);
  wrap_text(out, w->arena, why, ascii, kItemIndent, kItemIndent);
  fprintf(out, "\n       %s# %s%s\n", w->st.dim, kSysctlSnippetPath, w->st.reset);
  StrView cur = body;
  while (cur.ptr) {
    StrView line = sv_next_line(&cur);
    if (line.len == 0) continue;
    fprintf(out, "       %s", w->st.bold);
    sv_put(out, text_clean_line(w->arena, line, ascii));
    fprintf(out, "%s\n", w->st.reset);
  }
  write_overridden(w, overridden);
  write_covers(w, covered);
}

// The number is right-aligned so that the title of item 10 and above starts
// in the same column as the remediation below it.
void write_regular_item(const PlanWriter* w, size_t number, const Finding* f) {
  int pad = number < 10 ? 2 : number < 100 ? 1 : 0;
  fprintf(w->out, "%*s%s%zu.%s ", pad, "", w->st.bold, number, w->st.reset);
  sv_put(w->out, text_clean_line(w->arena, f->title, w->opts->ascii));
  fputc('\n', w->out);
  wrap_text(w->out, w->arena, f->remediation, w->opts->ascii, kItemIndent, kItemIndent);
  fputc('\n', w->out);
}

// How many regular items fit under the limit, the merged items counted.
size_t regular_quota(int32_t limit, size_t merged_items, size_t available) {
  size_t quota = available;
  if (limit > 0) {
    size_t l = static_cast<size_t>(limit);
    quota = l > merged_items ? l - merged_items : 0;
  }
  return quota < available ? quota : available;
}

// "2", "2 and 5", "2, 3 and 5".
StrView join_numbers(Arena* a, const List<size_t>* nums) {
  StrBuf sb;
  sb_init(&sb, a);
  for (size_t i = 0; i < nums->count; i++) {
    if (i > 0) sb_append_cstr(&sb, i + 1 == nums->count ? " and " : ", ");
    sb_printf(&sb, "%d", static_cast<int>((*nums)[i]));
  }
  return sb_view(&sb);
}

void put_indented_lines(const PlanWriter* w, const char* const* lines, size_t count) {
  for (size_t i = 0; i < count; i++) {
    if (*lines[i]) fprintf(w->out, "    %s", lines[i]);
    fputc('\n', w->out);
  }
}

void write_runtime_note(const PlanWriter* w, const List<RuntimeItem>* items) {
  List<size_t> nums = {};
  for (const RuntimeItem& it : *items) list_push(w->arena, &nums, it.number);
  bool one = nums.count == 1;
  StrView joined = join_numbers(w->arena, &nums);
  StrView note = arena_sprintf(
      w->arena,
      "%s %.*s %s to /proc or /sys. Those are the running kernel, not storage: the change takes "
      "effect at once and is gone after a reboot. To keep it, run the commands from a service "
      "that starts before the workload.",
      one ? "Item" : "Items", SV_ARG(joined), one ? "writes" : "write");
  wrap_text(w->out, w->arena, note, w->opts->ascii, "  ", "  ");
  if (!w->opts->quiet) {
    fputc('\n', w->out);
    for (StrView line : plan_runtime_script(w->arena, items)) {
      fputs("    ", w->out);
      sv_put(w->out, text_clean_line(w->arena, line, w->opts->ascii));
      fputc('\n', w->out);
    }
    fputc('\n', w->out);
    put_indented_lines(w, kPlanUnitLines, kPlanUnitLineCount);
  }
  fputc('\n', w->out);
}

}  // namespace

void write_plan_section(FILE* out, Arena* a, const RemediationPlan* plan, const TextOptions* opts) {
  if (plan->items.count == 0) return;
  PlanWriter w{out, a, opts, text_style(opts->color)};
  PlanGroups g = plan_groups(a, plan);

  size_t number = 0;
  if (g.cmdline.len) {
    write_cmdline_item(&w, g.cmdline, &g.boot);
    number = 1;
  }
  if (g.sysctls.len) write_sysctl_item(&w, ++number, g.sysctls, &g.sysctl, &g.overridden);
  const List<const Finding*>& regular = g.regular;
  size_t shown = regular_quota(opts->plan_limit, number, regular.count);
  List<RuntimeItem> runtime = {};
  for (size_t i = 0; i < shown; i++) {
    const Finding* f = regular[i];
    write_regular_item(&w, ++number, f);
    if (writes_runtime_state(f)) list_push(a, &runtime, RuntimeItem{number, f});
  }
  if (shown < regular.count) {
    fprintf(out, "  %s(%zu more; run with -v for the full list)%s\n\n", w.st.dim,
            regular.count - shown, w.st.reset);
  }
  if (runtime.count) write_runtime_note(&w, &runtime);
}
