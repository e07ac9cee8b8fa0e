// CPU isolation rules: which CPUs are set aside for real-time work, whether
// they are tickless and free of RCU callbacks, whether their SMT siblings and
// enough housekeeping CPUs go with them, and whether the soft-lockup watchdog
// still wakes them. Every finding here belongs to the "isolation" category.
#include <cstdint>

#include "collect/snapshot.h"
#include "rules/command_text.h"
#include "rules/finding.h"
#include "rules/isolated_overlap.h"
#include "rules/lockup_watchdog.h"
#include "rules/partition.h"
#include "rules/remedy.h"
#include "rules/rules.h"

namespace {

constexpr Category kCat = Category::isolation;

StrView cpulist(Arena* a, const CpuSet* s) {
  return cpuset_format_list(a, s);
}

// No online CPU could be read: neither "nothing is isolated" nor a count of
// housekeeping CPUs can be told from that.
bool online_known(const RuleContext* ctx) {
  return ctx->ncpus > 0 && !cpuset_empty(&ctx->online_cpus);
}

void rule_online_unknown(Report* r) {
  Finding* f = add_finding(r, "isolation.present", kCat, Severity::unknown,
                           sv_lit("Online CPUs could not be read"));
  finding_set_detail(f, sv_lit("Neither /sys/devices/system/cpu/online nor the cpuN directories "
                               "named an online CPU, so CPU isolation cannot be judged."));
}

// isolcpus= given without the domain flag leaves its CPUs to the scheduler.
StrView no_domain_note(Arena* a, const Snapshot* s) {
  if (!s->isolcpus.has || s->isolcpus_domain || cpuset_empty(&s->isolcpus.value)) {
    return sv_lit("");
  }
  return arena_sprintf(a,
                       " isolcpus names CPUs %.*s without the domain flag, so the scheduler "
                       "still uses them.",
                       SV_ARG(cpulist(a, &s->isolcpus.value)));
}

void rule_not_isolated(Report* r, const RuleContext* ctx) {
  Arena* a = r->arena;
  const Snapshot* s = ctx->snapshot;
  Severity sev = ctx->profile == Profile::low_latency ? Severity::warn : Severity::fail;
  Finding* f =
      add_finding(r, "isolation.present", kCat, sev, sv_lit("No CPU isolation configured"));
  Partition p = partition_propose(a, s);
  StrView params = partition_boot_params(a, s, &p);
  StrView plan = params.ptr ? arena_sprintf(a, " Proposed: isolate CPU%s %.*s; this %.*s.",
                                            cpuset_count(&p.isolate) == 1 ? "" : "s",
                                            SV_ARG(cpulist(a, &p.isolate)), SV_ARG(p.reason))
                            : arena_sprintf(a, " Nothing to propose: %.*s.", SV_ARG(p.reason));
  finding_set_detail(
      f, arena_sprintf(a, "All %d online CPUs are available to the general scheduler.%.*s%.*s",
                       ctx->ncpus, SV_ARG(no_domain_note(a, s)), SV_ARG(plan)));
  finding_set_impact(f, sv_lit("An RT thread shares its CPU with every kernel thread, timer and "
                               "workqueue on the system, so its worst case is whatever they do."));
  if (params.ptr) {
    finding_set_remediation(
        f, arena_sprintf(a, "Reserve cores on the kernel command line: %.*s", SV_ARG(params)));
    finding_set_cmdline(f, params);
  }
  finding_set_weight(f, 3);
}

// Where the isolated set was read: the kernel's list, the boot line, or the
// isolated cgroup partitions alone.
const char* isolated_source(const Snapshot* s) {
  if (s->isolated_from_sysfs) return "/sys/devices/system/cpu/isolated";
  if (s->isolcpus_domain && !cpuset_empty(&s->isolcpus.value)) return "/proc/cmdline";
  if (s->cgroup_isolated.has) return "/sys/fs/cgroup";
  return "/proc/cmdline";
}

void rule_present(Report* r, const RuleContext* ctx, const Snapshot* s) {
  StrView iso = cpulist(r->arena, &s->isolated);
  Finding* f =
      add_finding(r, "isolation.present", kCat, Severity::pass,
                  arena_sprintf(r->arena, "CPU isolation detected: CPUs %.*s", SV_ARG(iso)));
  int32_t n_iso = cpuset_count(&s->isolated);
  if (online_known(ctx)) {
    finding_set_detail(f, arena_sprintf(r->arena, "%d isolated, %d housekeeping.", n_iso,
                                        cpuset_count(&ctx->housekeeping_cpus)));
  } else {
    finding_set_detail(
        f, arena_sprintf(r->arena, "%d isolated; the online CPUs could not be read.", n_iso));
  }
  finding_set_weight(f, 2);
  finding_add_evidence_cstr(r, f, isolated_source(s), iso);
}

// ---- Every isolated CPU is also in a set of a boot parameter ----

// The CPUs nohz_full stops the tick on.
void nohz_full_cpus(const Snapshot* s, CpuSet* out) {
  cpuset_copy(out, &s->nohz_full);
}

// The kernel offloads RCU callbacks from every nohz_full CPU as well as from
// the rcu_nocbs= CPUs.
void rcu_offloaded_cpus(const Snapshot* s, CpuSet* out) {
  cpuset_copy(out, &s->rcu_nocbs.value);
  if (!cpuset_empty(&s->possible)) cpuset_and(out, &s->possible);  // as far as the CPUs exist
  cpuset_or(out, &s->nohz_full);
}

StrView nohz_full_gap_detail(Arena* a, const Snapshot* s) {
  if (s->isolcpus.has && !s->cmdline_nohz_full.has) {
    return sv_lit("isolcpus is set but nohz_full is absent entirely.");
  }
  if (cpuset_empty(&s->nohz_full)) return sv_lit("nohz_full covers no CPU.");
  return arena_sprintf(a, "nohz_full covers %.*s.", SV_ARG(cpulist(a, &s->nohz_full)));
}

struct CoverageCheck {
  const char* id;
  void (*covered)(const Snapshot* s, CpuSet* out);
  StrView (*gap_detail)(Arena* a, const Snapshot* s);  // null: no detail
  Severity gap_severity;
  double pass_weight, gap_weight;
  const char* pass_title;
  const char* pass_evidence_key;  // the evidence value is the covered set
  const char* gap_title;          // "%.*s" receives the isolated CPUs not covered
  const char* impact;
  const char* remediation;    // "%.*s" receives the isolated CPUs
  const char* param;          // the boot parameter that closes the gap
  bool gap_cmdline_evidence;  // the gap cites the raw boot command line
  bool Snapshot::*ignored;    // the kernel ignores param: no boot line closes the gap; may be null
  const char* ignored_detail;
  const char* ignored_remediation;
};

constexpr CoverageCheck kCoverage[] = {
    {"isolation.nohz_full", nohz_full_cpus, nohz_full_gap_detail, Severity::fail, 2, 2.5,
     "nohz_full covers every isolated CPU", "/sys/devices/system/cpu/nohz_full",
     "Isolated CPUs still take the scheduler tick: %.*s",
     "The periodic tick fires on the isolated core -- at CONFIG_HZ, every millisecond -- and each "
     "one is a scheduling interrupt the application did not ask for.",
     "Add nohz_full=%.*s to the kernel command line (it must match isolcpus).", "nohz_full", true,
     &Snapshot::nohz_full_ignored,
     "This kernel is built without CONFIG_NO_HZ_FULL, so it ignores nohz_full=.",
     "Boot a kernel built with CONFIG_NO_HZ_FULL=y; this one keeps the tick on every CPU."},
    {"isolation.rcu_nocbs", rcu_offloaded_cpus, nullptr, Severity::warn, 1, 1,
     "RCU callbacks offloaded from isolated CPUs", "/proc/cmdline",
     "RCU callbacks still run on isolated CPUs: %.*s",
     "RCU callback batches execute in softirq context on the isolated core, and a large batch "
     "runs for tens of microseconds.",
     "Add rcu_nocbs=%.*s to the kernel command line.", "rcu_nocbs", false, nullptr, nullptr,
     nullptr},
};

void rule_coverage(Report* r, const Snapshot* s, const CoverageCheck& c) {
  Arena* a = r->arena;
  CpuSet covered;
  c.covered(s, &covered);
  CpuSet gap;
  cpuset_copy(&gap, &s->isolated);
  cpuset_andnot(&gap, &covered);
  if (cpuset_empty(&gap)) {
    Finding* f = add_finding(r, c.id, kCat, Severity::pass, sv_from_cstr(c.pass_title));
    finding_set_weight(f, c.pass_weight);
    finding_add_evidence_cstr(r, f, c.pass_evidence_key, cpulist(a, &covered));
    return;
  }
  StrView iso = cpulist(a, &s->isolated);
  Finding* f = add_finding(r, c.id, kCat, c.gap_severity,
                           arena_sprintf(a, c.gap_title, SV_ARG(cpulist(a, &gap))));
  if (c.gap_detail) finding_set_detail(f, c.gap_detail(a, s));
  finding_set_impact(f, sv_from_cstr(c.impact));
  if (c.ignored && s->*c.ignored) {
    finding_set_detail(f, sv_from_cstr(c.ignored_detail));
    finding_set_remediation(f, sv_from_cstr(c.ignored_remediation));
  } else {
    finding_set_remediation(f, arena_sprintf(a, c.remediation, SV_ARG(iso)));
    finding_set_cmdline(f, arena_sprintf(a, "%s=%.*s", c.param, SV_ARG(iso)));
  }
  finding_set_weight(f, c.gap_weight);
  if (c.gap_cmdline_evidence && sv_present(s->cmdline)) {
    finding_add_evidence_cstr(r, f, "/proc/cmdline", s->cmdline);
  }
}

// ---- SMT siblings ----

// The siblings of the isolated CPUs that are not isolated themselves. One
// pass over the topology records; a CPU listed twice counts once, as the
// first record says.
void outside_siblings(const Snapshot* s, CpuSet* out) {
  CpuSet seen = {};
  cpuset_clear(out);
  for (const CpuTopology& t : s->cpus) {
    if (!cpuset_has(&s->isolated, t.cpu) || cpuset_has(&seen, t.cpu)) continue;
    cpuset_add(&seen, t.cpu);
    cpuset_or(out, &t.siblings);
  }
  cpuset_andnot(out, &s->isolated);
}

// isolcpus= for the given CPUs, keeping the flag words (managed_irq, domain)
// the machine boots with: the suggested command line replaces the current
// one whole.
StrView isolcpus_param(Arena* a, const Snapshot* s, const CpuSet* cpus) {
  StrBuf sb;
  sb_init(&sb, a);
  sb_append_cstr(&sb, "isolcpus=");
  for (StrView flag : s->isolcpus_flags) {
    sb_append_command_text(&sb, flag);
    sb_append_char(&sb, ',');
  }
  sb_append_view(&sb, cpulist(a, cpus));
  return sb_view(&sb);
}

void rule_smt_sibling(Report* r, const Snapshot* s) {
  if (!s->smt_in_use) return;
  Arena* a = r->arena;
  CpuSet outside;
  outside_siblings(s, &outside);
  if (cpuset_empty(&outside)) {
    Finding* f = add_finding(r, "isolation.smt_sibling", kCat, Severity::pass,
                             sv_lit("Isolated CPUs are isolated with their SMT siblings"));
    finding_set_weight(f, 2);
    return;
  }
  StrView sib = cpulist(a, &outside);
  Finding* f =
      add_finding(r, "isolation.smt_sibling", kCat, Severity::fail,
                  arena_sprintf(a, "Isolated CPUs share physical cores with non-isolated CPUs %.*s",
                                SV_ARG(sib)));
  finding_set_detail(f, sv_lit("SMT siblings share execution units, L1 cache and the store buffer "
                               "with the isolated thread."));
  finding_set_impact(f, sv_lit("General-purpose work on the sibling steals issue slots from the "
                               "RT thread on the same physical core."));
  finding_set_remediation(
      f, arena_sprintf(
             a, "Isolate the siblings too (add %.*s to isolcpus), or disable SMT with nosmt.",
             SV_ARG(sib)));
  CpuSet wanted;
  cpuset_copy(&wanted, &s->isolated);
  cpuset_or(&wanted, &outside);
  finding_set_cmdline(f, isolcpus_param(a, s, &wanted));
  finding_set_weight(f, 2);
  finding_add_evidence_cstr(r, f, "topology/thread_siblings_list", sib);
}

// ---- Housekeeping ----

void rule_housekeeping(Report* r, const RuleContext* ctx) {
  if (!online_known(ctx)) {
    Finding* f = add_finding(r, "isolation.housekeeping", kCat, Severity::unknown,
                             sv_lit("Housekeeping CPUs unknown"));
    finding_set_detail(f, sv_lit("No online CPU could be read, so the CPUs left for kernel work "
                                 "cannot be counted."));
    return;
  }
  int32_t n = cpuset_count(&ctx->housekeeping_cpus);
  if (n == 0) {
    Finding* f = add_finding(r, "isolation.housekeeping", kCat, Severity::fail,
                             sv_lit("No housekeeping CPUs left"));
    finding_set_impact(f, sv_lit("Kernel threads, timers and interrupts have nowhere to go but "
                                 "the isolated cores, which defeats the isolation entirely."));
    finding_set_remediation(f, sv_lit("Leave at least one CPU per NUMA node out of isolcpus."));
    finding_set_weight(f, 3);
    return;
  }
  if (n == 1 && ctx->ncpus > 4) {
    Finding* f = add_finding(r, "isolation.housekeeping", kCat, Severity::warn,
                             sv_lit("Only one housekeeping CPU"));
    finding_set_detail(f, arena_sprintf(r->arena, "CPU %.*s carries all kernel work.",
                                        SV_ARG(cpulist(r->arena, &ctx->housekeeping_cpus))));
    finding_set_impact(f, sv_lit("A single housekeeping core can saturate under interrupt and "
                                 "workqueue load, and its backlog eventually reaches the RT cores "
                                 "through shared locks."));
    finding_set_remediation(f, sv_lit("Leave a second CPU out of isolcpus."));
    return;
  }
  add_finding(r, "isolation.housekeeping", kCat, Severity::pass,
              arena_sprintf(r->arena, "%d housekeeping CPU%s available", n, n == 1 ? "" : "s"));
}

// Nodes that have online CPUs but no housekeeping CPU. A node without online
// CPUs has no kernel work to place.
void rule_housekeeping_numa(Report* r, const RuleContext* ctx, const Snapshot* s) {
  if (!online_known(ctx)) return;
  StrBuf names;
  sb_init(&names, r->arena);
  size_t lacking = 0;
  for (const NumaNode& node : s->nodes) {
    if (cpuset_intersects(&node.cpus, &ctx->housekeeping_cpus)) continue;
    if (!cpuset_intersects(&node.cpus, &ctx->online_cpus)) continue;
    if (lacking++) sb_append_cstr(&names, ", ");
    sb_printf(&names, "node%d", node.node);
  }
  if (lacking == 0) {
    add_finding(r, "isolation.housekeeping_numa", kCat, Severity::pass,
                sv_lit("Every NUMA node keeps a housekeeping CPU"));
    return;
  }
  StrView list = sb_view(&names);
  Finding* f = add_finding(r, "isolation.housekeeping_numa", kCat, Severity::warn,
                           arena_sprintf(r->arena, "NUMA node%s with no housekeeping CPU: %.*s",
                                         lacking == 1 ? "" : "s", SV_ARG(list)));
  finding_set_impact(f, sv_lit("Kernel work for devices on that node must run cross-node, adding "
                               "interconnect latency to every deferred operation."));
  finding_set_remediation(f, sv_lit("Leave one CPU per NUMA node out of isolcpus."));
}

void rule_numa_span(Report* r, const Snapshot* s) {
  int32_t spanned = 0;
  for (const NumaNode& node : s->nodes) {
    if (cpuset_intersects(&node.cpus, &s->isolated)) spanned++;
  }
  if (spanned < 2) return;
  Finding* f = add_finding(r, "isolation.numa_span", kCat, Severity::warn,
                           arena_sprintf(r->arena, "Isolated CPUs span %d NUMA nodes", spanned));
  finding_set_impact(f, sv_lit("Threads on different nodes pay interconnect latency to reach "
                               "shared memory, and their worst cases differ."));
  finding_set_remediation(f, sv_lit("Confine the isolated set to one node unless the workload is "
                                    "deliberately partitioned across sockets."));
}

// ---- Watchdog ----

void rule_watchdog_cpumask(Report* r, const RuleContext* ctx, const Snapshot* s) {
  if (!s->watchdog_cpumask.has || !soft_lockup_watchdog_runs(s)) return;
  Arena* a = r->arena;
  CpuSet woken;
  cpuset_copy(&woken, &s->watchdog_cpumask.value);
  cpuset_and(&woken, &s->isolated);
  Finding* f = add_isolated_overlap(r, "isolation.watchdog_cpumask", kCat, &woken,
                                    "Watchdog confined to housekeeping CPUs",
                                    "Soft-lockup watchdog still runs on isolated CPUs %.*s");
  if (!f) return;
  finding_set_impact(f, sv_lit("The watchdog wakes a per-CPU kernel thread on the isolated core on "
                               "a timer, purely to prove it is alive."));
  // Without a housekeeping CPU there is no mask to suggest: an empty one
  // would be no fix, and the housekeeping finding already says why.
  if (!cpuset_empty(&ctx->housekeeping_cpus)) {
    StrView hk = cpulist(a, &ctx->housekeeping_cpus);
    finding_set_remediation(f, arena_sprintf(a, "Set kernel.watchdog_cpumask = %.*s in "
                                             "/etc/sysctl.d/90-kelvane-rt.conf and apply it with "
                                             "sysctl --system.", SV_ARG(hk)));
    finding_set_sysctl(f, arena_sprintf(a, "kernel.watchdog_cpumask = %.*s", SV_ARG(hk)));
  }
  finding_add_evidence_cstr(r, f, "/proc/sys/kernel/watchdog_cpumask",
                            cpulist(a, &s->watchdog_cpumask.value));
}

// ---- Boot parameters that name CPUs the machine lacks ----

struct CpuParam {
  const char* id;
  const char* key;
  OptCpuSet Snapshot::*set;
};

constexpr CpuParam kCpuParams[] = {
    {"isolation.isolcpus_range", "isolcpus", &Snapshot::isolcpus},
    {"isolation.nohz_full_range", "nohz_full", &Snapshot::cmdline_nohz_full},
    {"isolation.rcu_nocbs_range", "rcu_nocbs", &Snapshot::rcu_nocbs},
    {"isolation.irqaffinity_range", "irqaffinity", &Snapshot::irqaffinity},
    {"isolation.kthread_cpus_range", "kthread_cpus", &Snapshot::kthread_cpus},
};

// The parameter rewritten to the CPUs that exist; isolcpus keeps its flags.
StrView rewritten_param(Arena* a, const Snapshot* s, const CpuParam& p, const CpuSet* cpus) {
  if (p.set == &Snapshot::isolcpus) return isolcpus_param(a, s, cpus);
  return arena_sprintf(a, "%s=%.*s", p.key, SV_ARG(cpulist(a, cpus)));
}

void rule_param_range(Report* r, const Snapshot* s, const CpuParam& p) {
  const OptCpuSet& named = s->*p.set;
  if (!named.has || cpuset_empty(&s->possible)) return;
  Arena* a = r->arena;
  CpuSet absent = named.value;
  cpuset_andnot(&absent, &s->possible);
  if (cpuset_empty(&absent)) return;
  CpuSet have = named.value;
  cpuset_and(&have, &s->possible);
  Finding* f = add_finding(
      r, p.id, kCat, Severity::warn,
      arena_sprintf(a, "%s names CPU%s %.*s that this machine does not have", p.key,
                    cpuset_count(&absent) == 1 ? "" : "s", SV_ARG(cpulist(a, &absent))));
  finding_set_detail(f, arena_sprintf(a, "The kernel knows CPUs %.*s; it skips the others.",
                                      SV_ARG(cpulist(a, &s->possible))));
  finding_set_impact(f, sv_lit("The parameter does less than it says, and tools that read the boot "
                               "line plan around CPUs that are not there."));
  if (cpuset_empty(&have)) {
    finding_set_remediation(
        f, arena_sprintf(a, "Remove %s= from the kernel command line: none of its CPUs exist.",
                         p.key));
  } else {
    StrView param = rewritten_param(a, s, p, &have);
    finding_set_remediation(
        f, arena_sprintf(a, "Rewrite it to the CPUs this machine has: %.*s", SV_ARG(param)));
    finding_set_cmdline(f, param);
  }
  finding_add_evidence_cstr(r, f, "/proc/cmdline", s->cmdline);
}

// ---- cgroup v2 partitions the kernel reports invalid ----

// The kernel's reason, which it prints in parentheses after the state.
StrView partition_reason(StrView state) {
  StrView head, reason;
  if (!sv_split_once(state, '(', &head, &reason)) return state;
  sv_consume_suffix(&reason, sv_lit(")"));
  return reason;
}

// The partition type is the state's first word; the kernel knows "root" and
// "isolated" as partitions, and the command writes back only those.
Remedy* partition_fix(Arena* a, const CgroupPartition& p) {
  StrView rest = p.state;
  StrView word = sv_next_token(&rest, " ");
  Remedy* fix = arena_new<Remedy>(a);
  remedy_init(fix, a);
  if (!sv_eq_cstr(word, "root") && !sv_eq_cstr(word, "isolated")) {
    remedy_say(fix, sv_lit("Mend what the kernel names, then write the partition type again to "
                           "its cpuset.cpus.partition (the state names no type the kernel "
                           "takes, so no command is given)."));
    return fix;
  }
  ShellCmd cmd;
  cmd_init(&cmd, a);
  cmd_code(&cmd, "echo ");
  cmd_code(&cmd, sv_eq_cstr(word, "root") ? "root" : "isolated");
  cmd_code(&cmd, " > ");
  cmd_word(&cmd, arena_sprintf(a, "%.*s/cpuset.cpus.partition", SV_ARG(p.path)));
  remedy_lead(fix, sv_lit("Mend what the kernel names, then set the partition again:"), &cmd);
  return fix;
}

// An invalid partition isolates nothing: its CPUs stay in load balancing
// until the fault the kernel names is mended
// (Documentation/admin-guide/cgroup-v2.rst, "cpuset.cpus.partition").
// One finding per invalid partition, root and isolated alike, each with the
// kernel's reason and its own fix; past kMaxPartitionFindings the last one
// says how many more there are.
constexpr size_t kMaxPartitionFindings = 16;

void rule_cgroup_partition(Report* r, const Snapshot* s) {
  Arena* a = r->arena;
  size_t n = s->cgroup_invalid.count;
  for (size_t i = 0; i < n && i < kMaxPartitionFindings; i++) {
    const CgroupPartition& p = s->cgroup_invalid.items[i];
    Finding* f = add_finding(r, "isolation.cgroup_partition", kCat, Severity::warn,
                             arena_sprintf(a, "cgroup partition %.*s is invalid (%.*s)",
                                           SV_ARG(p.path), SV_ARG(partition_reason(p.state))));
    if (i + 1 == kMaxPartitionFindings && n > kMaxPartitionFindings) {
      finding_set_detail(f, arena_sprintf(a, "%zu more cpuset partitions are invalid.",
                                          n - kMaxPartitionFindings));
    }
    finding_set_impact(f, sv_lit("The kernel does not isolate the CPUs of an invalid partition: "
                                 "they stay in the scheduler's load balancing."));
    finding_set_remedy(f, partition_fix(a, p));
    finding_add_evidence(r, f, arena_sprintf(a, "%.*s/cpuset.cpus.partition", SV_ARG(p.path)),
                         p.state);
  }
}

// A CpuSet holds CPUs 0-4095; a machine with more is judged on those alone,
// and the report says so rather than grading the rest as absent.
void rule_cpu_limit(Report* r, const Snapshot* s) {
  if (s->highest_cpu_named < kMaxCpus) return;
  Arena* a = r->arena;
  Finding* f = add_finding(r, "isolation.cpu_limit", kCat, Severity::unknown,
                           arena_sprintf(a, "Only CPUs 0-%d of 0-%d are judged", kMaxCpus - 1,
                                         s->highest_cpu_named));
  finding_set_detail(f, arena_sprintf(a, "The kernel's CPU lists name CPUs up to %d; kelvane reads "
                                         "%d CPUs, so the others are left out of every check.",
                                      s->highest_cpu_named, kMaxCpus));
  finding_add_evidence_cstr(r, f, "/sys/devices/system/cpu/possible",
                            arena_sprintf(a, "up to CPU %d", s->highest_cpu_named));
}

// Checks that hold whether or not anything is isolated.
void rule_boot_and_cgroup(Report* r, const Snapshot* s) {
  rule_cpu_limit(r, s);
  for (const CpuParam& p : kCpuParams) rule_param_range(r, s, p);
  rule_cgroup_partition(r, s);
}

}  // namespace

void isolation_rules(Report* report, const RuleContext* ctx) {
  const Snapshot* s = ctx->snapshot;
  rule_boot_and_cgroup(report, s);
  if (!ctx->has_isolation) {
    if (online_known(ctx)) {
      rule_not_isolated(report, ctx);
    } else {
      rule_online_unknown(report);
    }
    return;
  }
  rule_present(report, ctx, s);
  for (const CoverageCheck& c : kCoverage) rule_coverage(report, s, c);
  rule_smt_sibling(report, s);
  rule_housekeeping(report, ctx);
  if (s->nodes.count > 1) {
    rule_housekeeping_numa(report, ctx, s);
    rule_numa_span(report, s);
  }
  rule_watchdog_cpumask(report, ctx, s);
}
