// The remediation plan: the findings of a Report turned into an ordered list
// of things to do -- the most damaging problems first, each remedy once -- and
// every boot-time fix merged into one kernel command line that replaces the
// current one. Computed on demand by the text and HTML reports; never stored.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/arena.h"
#include "base/cpuset.h"
#include "base/list.h"
#include "base/str.h"
#include "collect/persisted_sysctl.h"
#include "rules/finding.h"

// Findings of the Report in plan order; each listed at most once.
struct RemediationPlan {
  List<const Finding*> items;
  const SysctlConf* sysctl_conf;  // the machine's persisted sysctls; null when unknown
};

// Severity factor (fail 2.0, warn 1.0, else 0) x the finding's weight x its
// category's plain weight (preemption 25 ... measured 0), that weight raised
// to 1 when below 1; a category outside 0..6 counts as 1.
double plan_priority(const Finding* f);

// Candidates are the fail and warn findings with a non-empty remediation and
// a priority above 0, in Report order; sorted by priority, largest first, then
// by id; a finding whose remediation text equals that of one already listed
// is left out.
RemediationPlan build_plan(Arena* a, const Report* report);

// One parameter of the combined kernel command line.
struct BootParam {
  int32_t order;  // index in order of first appearance
  StrView key;
  StrView value;    // absent for a bare word
  bool is_cpulist;  // isolcpus, nohz_full, rcu_nocbs or irqaffinity with a value
  StrList flags;    // isolcpus-style flag words ("domain", "managed_irq", "nohz")
  CpuSet cpus;
};

// Merges the cmdline tokens of the given findings, in the given order, into
// one kernel command line: the first value of a key wins, except that the
// CPUs and flag words of the four CPU-list keys are united. The CPU-list keys
// come first, in the order isolcpus, nohz_full, rcu_nocbs, irqaffinity; the
// rest follow in order of first appearance. Empty when there is no token.
StrView combine_cmdline(Arena* a, const Finding* const* findings, size_t count);

// Where the plan persists sysctls; systemd-sysctl applies it at every boot.
constexpr const char* kSysctlSnippetPath = "/etc/sysctl.d/90-kelvane-rt.conf";

// Merges the sysctl lines of the given findings, in the given order, into one
// sysctl.d file body ("key = value" lines, each ending in a newline): the
// first value of a key wins. Empty when there is none.
StrView combine_sysctls(Arena* a, const Finding* const* findings, size_t count);

// The plan's items by how they are applied: boot parameters merged into one
// command line, sysctls merged into one sysctl.d file, and the rest one by
// one. A merged group that comes out empty hands its items to regular.
struct PlanGroups {
  List<const Finding*> boot;
  StrView cmdline;  // empty when boot is empty
  List<const Finding*> sysctl;
  StrView sysctls;  // empty when sysctl is empty
  // The machine's settings that systemd-sysctl applies after the plan's file
  // and that give one of its keys another value: each would undo it at boot.
  List<PersistedSysctl> overridden;
  List<const Finding*> regular;
};
PlanGroups plan_groups(Arena* a, const RemediationPlan* plan);

// The settings of conf applied after kSysctlSnippetPath (a sysctl.d file
// whose name sorts after its name, or /etc/sysctl.conf, which systemd-sysctl
// applies last) that set a key of sysctls ("key = value" lines) to another
// value, in the order applied.
List<PersistedSysctl> sysctl_overrides(Arena* a, const SysctlConf* conf, StrView sysctls);

// True when the fix runs a command that writes into the running kernel's
// state: its script holds a command.
bool writes_runtime_state(const Finding* f);

// The wording both reports give the combined command line: how many findings
// it fixes (where: "above" or "below", after the word "findings"), and how
// to apply it. The parameters are added to the line the machine boots with,
// replacing a parameter already there rather than repeating it.
StrView plan_boot_intro(Arena* a, size_t boot_items, const char* where);
extern const char kPlanBootApply[];

// What the plan says of the machine's settings that would undo its sysctl
// file at boot, before it lists them.
extern const char kPlanSysctlOverridden[];
// One such setting: "FILE:LINE: key = value".
StrView plan_override_line(Arena* a, const PersistedSysctl* e);

// One plan item that writes runtime state, with the number it is shown under.
struct RuntimeItem {
  size_t number;
  const Finding* finding;
};

// /usr/local/sbin/rt-tuning.sh for the given items, one line per entry of the
// returned list: "#!/bin/sh", then per item a "# N. title" line and its
// script lines: commands as they were built, a remark after "   # ", prose as
// "# " comments, so the file runs as it stands. Control bytes of the
// machine's texts become "?" so none can end a comment early.
StrList plan_runtime_script(Arena* a, const List<RuntimeItem>* items);

// The example systemd unit that runs rt-tuning.sh at boot, one line per entry.
extern const char* const kPlanUnitLines[];
extern const size_t kPlanUnitLineCount;
