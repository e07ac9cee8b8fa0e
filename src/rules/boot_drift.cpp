// Drift between the boot configuration and the running kernel: a boot
// parameter configured but not yet booted, booted but configured nowhere (so
// lost at the next boot), or written so that the kernel would misread it; and
// TuneD's isolated cores against the booted isolation. Each finding goes to
// the category of the rules that read the parameter. No difference, no
// finding: a machine whose configuration matches what runs keeps its score.
#include "base/boot_params_read.h"
#include "base/shell_quote.h"
#include "collect/snapshot.h"
#include "rules/finding.h"
#include "rules/rules.h"

namespace {

// One id per category, so that each category gets at most one of each.
constexpr const char* kPendingIds[kCategoryCount] = {
    "preempt.boot_pending", "isolation.boot_pending", "irq.boot_pending", "sched.boot_pending",
    "power.boot_pending",   "noise.boot_pending",     "measured.boot_pending"};
constexpr const char* kLostIds[kCategoryCount] = {
    "preempt.boot_lost", "isolation.boot_lost", "irq.boot_lost", "sched.boot_lost",
    "power.boot_lost",   "noise.boot_lost",     "measured.boot_lost"};
constexpr const char* kMalformedIds[kCategoryCount] = {
    "preempt.boot_malformed", "isolation.boot_malformed", "irq.boot_malformed",
    "sched.boot_malformed",   "power.boot_malformed",     "noise.boot_malformed",
    "measured.boot_malformed"};

int category_of(const char* area) {
  for (int c = 0; c < kCategoryCount; c++) {
    if (sv_eq_cstr(sv_from_cstr(area), category_id(static_cast<Category>(c)))) return c;
  }
  return 0;
}

int category_of_param(StrView name) {
  const BootParamRead* p = name.ptr ? boot_param_read_find(name) : nullptr;
  return p ? category_of(p->area) : 0;
}

int32_t last_possible_cpu(const Snapshot* s) {
  int32_t last = -1;
  for (int32_t c : CpuIter{&s->possible}) last = c;
  return last;
}

// The configured reading of a parameter in a target: the last line that
// names it, and that line's file.
BootValue configured(const BootTarget* t, StrView name, StrView* file) {
  for (size_t i = t->lines.count; i-- > 0;) {
    BootValue v{};
    v.value = boot_params_get(&t->lines[i].params, name, &v.found);
    if (!v.found) continue;
    *file = t->lines[i].file;
    return v;
  }
  return BootValue{};
}

StrView spell(Arena* a, const char* name, BootValue v) {
  if (!v.found) return sv_lit("absent");
  if (!v.value.ptr) return sv_from_cstr(name);
  return arena_sprintf(a, "%s=%.*s", name, SV_ARG(v.value));
}

bool has_problem(const BootConfig* bc, const char* name) {
  for (const BootProblem& p : bc->problems) {
    if (p.param.ptr && boot_name_eq(p.param, sv_from_cstr(name))) return true;
  }
  return false;
}

// Per category, the findings being built; created on the first difference.
struct DriftFindings {
  Finding* pending[kCategoryCount];
  StrBuf differences[kCategoryCount];  // "isolcpus=2-5 configured, isolcpus=2-3 booted."
  StrBuf lost[kCategoryCount];
};

void add_word(Arena* a, StrBuf* sb, StrView text) {
  if (!sb->arena) sb_init(sb, a);
  if (sb->len) sb_append_char(sb, ' ');
  sb_append_view(sb, text);
}

StrView compared_detail(Arena* a, const Snapshot* s) {
  const BootConfig* bc = &s->boot_config;
  StrBuf sb;
  sb_init(&sb, a);
  sb_printf(&sb, "Compared /proc/cmdline with the %.*s (", SV_ARG(bc->used));
  for (size_t i = 0; i < bc->files.count; i++) {
    sb_printf(&sb, "%s%.*s", i ? ", " : "", SV_ARG(bc->files[i]));
  }
  sb_append_cstr(&sb, ").");
  for (size_t i = 0; i < bc->others.count; i++) {
    sb_printf(&sb, "%s%.*s", i ? ", " : " Also present, not used: ", SV_ARG(bc->others[i]));
  }
  if (bc->others.count) sb_append_cstr(&sb, ".");
  return sb_view(&sb);
}

Finding* pending_finding(Report* r, DriftFindings* d, int cat) {
  if (d->pending[cat]) return d->pending[cat];
  Finding* f = add_finding(r, kPendingIds[cat], static_cast<Category>(cat), Severity::warn,
                           sv_lit("Boot configuration differs from the running kernel: reboot "
                                  "pending"));
  finding_set_impact(f, sv_lit("The next boot runs with other parameters than the ones this "
                               "report graded, so its findings stop holding after a reboot."));
  finding_set_remediation(f, sv_lit("Reboot to run the configured parameters, or change the "
                                    "configuration back if the running ones are those you want."));
  d->pending[cat] = f;
  return f;
}

void compare_param(Report* r, const Snapshot* s, const BootParamRead& p, DriftFindings* d) {
  Arena* a = r->arena;
  StrView name = sv_from_cstr(p.name);
  BootValue booted{};
  booted.value = boot_params_get(&s->cmdline_params, name, &booted.found);
  int cat = category_of(p.area);
  bool anywhere = false;  // an unknown piece of a line may hold it, too
  for (const BootTarget& t : s->boot_config.targets) {
    anywhere = anywhere || t.unresolved;
    StrView file{};
    BootValue conf = configured(&t, name, &file);
    anywhere = anywhere || conf.found;
    if (!conf.found || boot_values_same(a, p.kind, conf, booted, last_possible_cpu(s))) continue;
    StrView diff = arena_sprintf(a, "configured %.*s, booted %.*s", SV_ARG(spell(a, p.name, conf)),
                                 SV_ARG(spell(a, p.name, booted)));
    finding_add_evidence(r, pending_finding(r, d, cat), file, diff);
    add_word(a, &d->differences[cat], arena_sprintf(a, "%.*s: %.*s.", SV_ARG(file), SV_ARG(diff)));
  }
  if (!anywhere && booted.found) add_word(a, &d->lost[cat], spell(a, p.name, booted));
}

// The differences first, then what was compared.
void finish_pending(Arena* a, const Snapshot* s, DriftFindings* d) {
  for (int cat = 0; cat < kCategoryCount; cat++) {
    if (!d->pending[cat]) continue;
    add_word(a, &d->differences[cat], compared_detail(a, s));
    finding_set_detail(d->pending[cat], sb_view(&d->differences[cat]));
  }
}

// Where a parameter is added so that it stays.
StrView keep_advice(Arena* a, const BootConfig* bc, StrView params) {
  if (sv_eq_cstr(bc->used, "GRUB defaults")) {
    return arena_sprintf(a, "Add %.*s to GRUB_CMDLINE_LINUX in /etc/default/grub, then run "
                         "update-grub (grub2-mkconfig -o on RHEL and Fedora).", SV_ARG(params));
  }
  if (sv_eq_cstr(bc->used, "/etc/kernel/cmdline")) {
    return arena_sprintf(a, "Add %.*s to /etc/kernel/cmdline, then reinstall the kernel's boot "
                         "entry (kernel-install add).", SV_ARG(params));
  }
  StrBuf args;
  sb_init(&args, a);
  sb_append_shell_quoted(&args, params);
  return arena_sprintf(a, "Add %.*s to the boot entries: grubby --update-kernel=ALL --args=%.*s.",
                       SV_ARG(params), SV_ARG(sb_view(&args)));
}

void emit_lost(Report* r, const Snapshot* s, DriftFindings* d) {
  Arena* a = r->arena;
  for (int cat = 0; cat < kCategoryCount; cat++) {
    if (!d->lost[cat].len) continue;
    StrView params = sb_view(&d->lost[cat]);
    Finding* f = add_finding(r, kLostIds[cat], static_cast<Category>(cat), Severity::warn,
                             arena_sprintf(a, "%.*s will be lost at the next boot", SV_ARG(params)));
    finding_set_detail(f, compared_detail(a, s));
    finding_set_impact(f, sv_lit("The running kernel was booted with parameters that no boot "
                                 "configuration file holds any more, so the next boot (often a "
                                 "kernel update) drops them."));
    finding_set_remediation(f, keep_advice(a, &s->boot_config, params));
    for (StrView file : s->boot_config.files) finding_add_evidence(r, f, file, sv_lit("read"));
  }
}

void rule_malformed(Report* r, const Snapshot* s) {
  Finding* made[kCategoryCount] = {};
  for (const BootProblem& p : s->boot_config.problems) {
    int cat = category_of_param(p.param);
    Finding* f = made[cat];
    if (!f) {
      f = add_finding(r, kMalformedIds[cat], static_cast<Category>(cat), Severity::warn,
                      arena_sprintf(r->arena, "Boot configuration the kernel would misread: %.*s "
                                    "line %d", SV_ARG(p.file), p.line));
      finding_set_impact(f, sv_lit("The kernel takes such a word for something else, or for "
                                   "nothing, and boots without the setting that was meant."));
      finding_set_remediation(f, sv_lit("Correct the line: one parameter per word, separated by "
                                        "blanks, every list filled in, every quote closed."));
      made[cat] = f;
    }
    finding_add_evidence(r, f, arena_sprintf(r->arena, "%.*s:%d", SV_ARG(p.file), p.line), p.what);
  }
}

// TuneD's realtime and cpu-partitioning profiles write isolated_cores into
// the boot line; a difference means the profile changed since the boot, or
// the boot line was changed by hand.
void rule_tuned(Report* r, const Snapshot* s) {
  if (!s->tuned_isolated_cores.has) return;
  const CpuSet* booted = cpuset_empty(&s->isolated) ? &s->nohz_full : &s->isolated;
  if (cpuset_equal(booted, &s->tuned_isolated_cores.value)) return;
  Arena* a = r->arena;
  StrView want = cpuset_format_list(a, &s->tuned_isolated_cores.value);
  StrView have = cpuset_format_list(a, booted);
  Finding* f = add_finding(r, "isolation.tuned_drift", Category::isolation, Severity::warn,
                           arena_sprintf(a, "TuneD isolates CPUs %.*s; the running kernel isolates %.*s",
                                         SV_ARG(want), SV_ARG(have.len ? have : sv_lit("none"))));
  finding_set_detail(f, arena_sprintf(a, "Active TuneD profile: %.*s.", SV_ARG(s->tuned_profile)));
  finding_set_impact(f, sv_lit("TuneD applies its isolated_cores at the next boot, so the CPUs "
                               "set aside for real-time work change under the workload."));
  finding_set_remediation(f, arena_sprintf(a, "Set isolated_cores in %.*s to the CPUs meant for "
                                           "real-time work, run tuned-adm profile %.*s and reboot.",
                                           SV_ARG(s->tuned_variables_file),
                                           SV_ARG(shell_word(a, s->tuned_profile))));
  finding_add_evidence(r, f, s->tuned_variables_file, arena_sprintf(a, "isolated_cores=%.*s", SV_ARG(want)));
  finding_add_evidence_cstr(r, f, "/sys/devices/system/cpu/isolated", have);
}

}  // namespace

void boot_drift_rules(Report* report, const RuleContext* ctx) {
  const Snapshot* s = ctx->snapshot;
  rule_tuned(report, s);
  if (!s->boot_config.used.ptr || !s->cmdline.ptr) return;
  rule_malformed(report, s);
  DriftFindings d{};
  for (size_t i = 0; i < kBootParamsReadCount; i++) {
    if (!has_problem(&s->boot_config, kBootParamsRead[i].name)) {
      compare_param(report, s, kBootParamsRead[i], &d);
    }
  }
  finish_pending(report->arena, s, &d);
  emit_lost(report, s, &d);
}
