// Kernel build options that cost latency while nothing uses them: the
// irqsoff and preempt latency tracers, and EFI runtime services left
// callable on a PREEMPT_RT kernel. Judged only when the kernel configuration
// was read. Every finding here belongs to the "preemption" category.
#include "base/boot_params_read.h"
#include "collect/snapshot.h"
#include "rules/finding.h"
#include "rules/rules.h"
#include "source/boot_param_check.h"

namespace {

constexpr Category kCat = Category::preemption;

// Documentation/core-api/real-time/kernel-configuration.rst (tracers are not
// for production real-time operation): built in, these tracers hook every
// interrupt and preemption enable and disable, and pay for it even when no
// tracer is selected.
constexpr const char* kLatencyTracers[] = {"CONFIG_IRQSOFF_TRACER", "CONFIG_PREEMPT_TRACER"};

void rule_latency_tracers(Report* r, const Snapshot* s) {
  Finding* f = nullptr;
  for (const char* opt : kLatencyTracers) {
    if (!kv_is_enabled(&s->config, opt)) continue;
    if (!f) {
      f = add_finding(r, "preempt.latency_tracers", kCat, Severity::warn,
                      sv_lit("irqsoff/preempt latency tracers are built in"));
      finding_set_impact(f, sv_lit("Every interrupt and preemption enable runs the tracer's hook, "
                                   "even when no tracer is active."));
      finding_set_remediation(f, sv_lit("Use a production kernel built without "
                                        "CONFIG_IRQSOFF_TRACER and CONFIG_PREEMPT_TRACER; keep "
                                        "them for a debugging kernel."));
    }
    finding_add_evidence(r, f, sv_from_cstr(opt), kv_get(&s->config, opt));
  }
}

// Whether efi= names noruntime among its comma-separated options.
bool efi_noruntime(const Snapshot* s) {
  StrView cur = kv_get(&s->cmdline_params, boot_param("efi"));
  while (cur.ptr) {
    if (sv_eq_cstr(sv_next_token(&cur, ","), "noruntime")) return true;
  }
  return false;
}

// Documentation/core-api/real-time/kernel-configuration.rst,
// CONFIG_EFI_DISABLE_RUNTIME: during a firmware runtime service call the
// system may not react to interrupts nor switch context, so the option is
// expected enabled on a real-time kernel; it or efi=noruntime
// (Documentation/admin-guide/kernel-parameters.txt, efi=) keeps the kernel
// from calling them. Judged only on a machine known to boot through EFI.
void rule_efi_runtime(Report* r, const Snapshot* s) {
  if (!s->efi_firmware || !s->is_rt) return;
  if (kv_is_enabled(&s->config, "CONFIG_EFI_DISABLE_RUNTIME") || efi_noruntime(s)) return;
  Finding* f = add_finding(r, "preempt.efi_runtime", kCat, Severity::warn,
                           sv_lit("EFI runtime services are enabled on a PREEMPT_RT kernel"));
  finding_set_impact(f, sv_lit("A call into the firmware (reading an EFI variable, the RTC) runs "
                               "firmware code the real-time kernel cannot preempt, for as long as "
                               "the firmware takes."));
  finding_set_remediation(f, sv_lit("Boot with efi=noruntime, or build with "
                                    "CONFIG_EFI_DISABLE_RUNTIME=y (the EFI variables then cannot "
                                    "be changed from the running system)."));
  finding_set_cmdline(f, sv_lit("efi=noruntime"));
  finding_add_evidence(r, f, sv_lit("/sys/firmware/efi"), sv_lit("present"));
}

}  // namespace

void build_rules(Report* report, const RuleContext* ctx) {
  const Snapshot* s = ctx->snapshot;
  if (!s->config_available) return;
  rule_latency_tracers(report, s);
  rule_efi_runtime(report, s);
}
