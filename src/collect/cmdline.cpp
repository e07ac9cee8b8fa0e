#include "collect/cmdline.h"

#include "base/cpuset.h"
#include "source/boot_param_check.h"
#include "source/source.h"

namespace {

// Parameters whose value is a cpulist; the set is present when the parameter
// was given with an "=" (an empty value still counts and gives an empty set).
struct CpuListParam {
  const char* key;
  OptCpuSet Snapshot::*set;
};

constexpr CpuListParam kCpuListParams[] = {
    {boot_param("nohz_full"), &Snapshot::cmdline_nohz_full},
    {boot_param("rcu_nocbs"), &Snapshot::rcu_nocbs},
    {boot_param("irqaffinity"), &Snapshot::irqaffinity},
    {boot_param("kthread_cpus"), &Snapshot::kthread_cpus},
};

// Flags set by a word: by the key alone (value null) or by an exact value.
struct FlagParam {
  const char* key;
  const char* value;
  bool Snapshot::*flag;
};

constexpr FlagParam kFlagParams[] = {
    {boot_param("rcu_nocb_poll"), nullptr, &Snapshot::rcu_nocb_poll},
    {boot_param("nosoftlockup"), nullptr, &Snapshot::nosoftlockup},
    {boot_param("nowatchdog"), nullptr, &Snapshot::nowatchdog},
    {boot_param("skew_tick"), "1", &Snapshot::skew_tick},
    {boot_param("nosmt"), nullptr, &Snapshot::nosmt},
    {boot_param("audit"), "0", &Snapshot::audit_off},
    {boot_param("idle"), "poll", &Snapshot::idle_poll},
};

// Parameters kept as their value text.
struct TextParam {
  const char* key;
  StrView Snapshot::*field;
};

constexpr TextParam kTextParams[] = {
    {boot_param("intel_pstate"), &Snapshot::intel_pstate_param},
    {boot_param("mitigations"), &Snapshot::mitigations_param},
    {boot_param("transparent_hugepage"), &Snapshot::thp_param},
    {boot_param("clocksource"), &Snapshot::clocksource_param},
};

// Both spellings of the deepest allowed C-state; the smaller one counts.
constexpr const char* kMaxCstateParams[] = {boot_param("processor.max_cstate"),
                                            boot_param("intel_idle.max_cstate")};

// Word separators: the kernel splits its command line at white space.
constexpr const char kBlanks[] = " \t\n\r\v\f";

// isolcpus= without flag words means domain isolation; flag words that do
// not include "domain" (isolcpus=nohz,managed_irq,2-3) leave the CPUs to the
// scheduler (Documentation/admin-guide/kernel-parameters.txt, isolcpus=:
// "Specify one or more CPUs to isolate from disturbances specified in the
// flag list (default: domain)").
bool isolcpus_takes_domain(const StrList* flags) {
  if (flags->count == 0) return true;
  for (StrView f : *flags) {
    if (sv_eq_cstr(f, "domain")) return true;
  }
  return false;
}


// last_cpu resolves the kernel's N and all spellings; below 0 it is unknown.
void read_cpulists(Snapshot* snap, int32_t last_cpu) {
  const KvList* params = &snap->cmdline_params;
  StrView isol =
      cpuset_resolve_boot_list(snap->arena, kv_get(params, boot_param("isolcpus")), last_cpu);
  if (isol.ptr) {
    snap->isolcpus.has = true;
    parse_isolcpus(snap->arena, isol, &snap->isolcpus.value, &snap->isolcpus_flags);
    snap->isolcpus_domain = isolcpus_takes_domain(&snap->isolcpus_flags);
  }
  for (const CpuListParam& p : kCpuListParams) {
    StrView v = cpuset_resolve_boot_list(snap->arena, kv_get(params, p.key), last_cpu);
    if (!v.ptr) continue;
    OptCpuSet* set = &(snap->*p.set);
    set->has = true;
    cpuset_parse_list(&set->value, v);
  }
}

void read_flags(Snapshot* snap) {
  for (const FlagParam& p : kFlagParams) {
    snap->*p.flag = p.value ? sv_eq_cstr(kv_get(&snap->cmdline_params, p.key), p.value)
                            : kv_has(&snap->cmdline_params, p.key);
  }
}

void read_texts(Snapshot* snap) {
  for (const TextParam& p : kTextParams) snap->*p.field = kv_get(&snap->cmdline_params, p.key);
}

void read_ints(Snapshot* snap) {
  const KvList* params = &snap->cmdline_params;
  int64_t v = 0;
  if (kv_get_int(params, boot_param("nmi_watchdog"), &v)) {
    snap->nmi_watchdog_param.has = true;
    snap->nmi_watchdog_param.value = v;
  }
  for (const char* key : kMaxCstateParams) {
    if (!kv_get_int(params, key, &v)) continue;
    if (!snap->max_cstate.has || v < snap->max_cstate.value) snap->max_cstate.value = v;
    snap->max_cstate.has = true;
  }
}

}  // namespace

void parse_cmdline_words(Arena* a, StrView text, KvList* out) {
  StrView cur = text;
  while (cur.ptr) {
    StrView word = sv_next_token(&cur, kBlanks);
    if (word.len == 0) continue;
    // Everything after a lone "--" goes to init, not to the kernel
    // (Documentation/admin-guide/kernel-parameters.rst).
    if (sv_eq_cstr(word, "--")) break;
    // A bare word has no value: the split leaves it absent.
    StrView key, value;
    sv_split_once(word, '=', &key, &value);
    // Names are kept spelt with "_", so that a lookup finds either spelling.
    kv_add(a, out, boot_name_canonical(a, key), arena_strndup(a, value));
  }
}

void collect_cmdline(Snapshot* snap) {
  snap->cmdline = source_read_trimmed(snap->src, "/proc/cmdline");
  if (!snap->cmdline.ptr) return;
  parse_cmdline_words(snap->arena, snap->cmdline, &snap->cmdline_params);
  read_cpulists(snap, -1);
  read_flags(snap);
  read_texts(snap);
  read_ints(snap);
}

void cmdline_resolve_cpulists(Snapshot* snap, int32_t last_cpu) {
  if (snap->cmdline.ptr) read_cpulists(snap, last_cpu);
}
