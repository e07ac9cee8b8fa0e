#include <gtest/gtest.h>

#include "collect/cmdline.h"
#include "rules/rule_module_test.h"

namespace {

class BuildRulesTest : public RuleModuleTest {};

void config(Snapshot* s, const char* symbol, const char* value) {
  s->config_available = true;
  kv_add(s->arena, &s->config, sv_from_cstr(symbol), sv_from_cstr(value));
}

// A PREEMPT_RT kernel booted through EFI (or not), with this boot line.
void efi(Snapshot* s, bool firmware, const char* disable_runtime, const char* line) {
  s->is_rt = true;
  s->efi_firmware = firmware;
  config(s, "CONFIG_EFI_DISABLE_RUNTIME", disable_runtime);
  parse_cmdline_words(s->arena, sv_from_cstr(line), &s->cmdline_params);
}

const RuleCase kCases[] = {
    {"preempt tracer", [](Snapshot* s) { config(s, "CONFIG_PREEMPT_TRACER", "y"); },
     Profile::hard_rt, "preempt.latency_tracers", Severity::warn, 1,
     "irqsoff/preempt latency tracers are built in"},
    {"tracers not set", [](Snapshot* s) { config(s, "CONFIG_IRQSOFF_TRACER", "n"); },
     Profile::hard_rt, "preempt.latency_tracers", kNoFinding, 0, ""},
    {"efi runtime on", [](Snapshot* s) { efi(s, true, "n", "ro"); }, Profile::hard_rt,
     "preempt.efi_runtime", Severity::warn, 1,
     "EFI runtime services are enabled on a PREEMPT_RT kernel"},
    {"efi=debug,noruntime", [](Snapshot* s) { efi(s, true, "n", "efi=debug,noruntime"); },
     Profile::hard_rt, "preempt.efi_runtime", kNoFinding, 0, ""},
    {"CONFIG_EFI_DISABLE_RUNTIME=y", [](Snapshot* s) { efi(s, true, "y", "ro"); },
     Profile::hard_rt, "preempt.efi_runtime", kNoFinding, 0, ""},
    {"no EFI firmware seen", [](Snapshot* s) { efi(s, false, "n", "ro"); }, Profile::hard_rt,
     "preempt.efi_runtime", kNoFinding, 0, ""},
    {"not PREEMPT_RT", [](Snapshot* s) { efi(s, true, "n", "ro"); s->is_rt = false; },
     Profile::hard_rt, "preempt.efi_runtime", kNoFinding, 0, ""},
};

TEST_F(BuildRulesTest, Cases) { expect_cases(build_rules, kCases, Category::preemption); }

}  // namespace
