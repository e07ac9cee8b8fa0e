#include "report/plan.h"

#include <algorithm>
#include <cstring>

#include "collect/snapshot.h"

namespace {

// ---- Priority and order ----

struct Candidate {
  const Finding* f;
  double priority;
  size_t index;  // position in the Report: the last tie-breaker keeps the order total
};

bool candidate_before(const Candidate& a, const Candidate& b) {
  if (a.priority != b.priority) return a.priority > b.priority;
  int c = strcmp(a.f->id ? a.f->id : "", b.f->id ? b.f->id : "");
  if (c != 0) return c < 0;
  return a.index < b.index;
}

bool same_remedy_listed(const RemediationPlan* plan, StrView remediation) {
  for (const Finding* f : plan->items) {
    if (sv_eq(f->remediation, remediation)) return true;
  }
  return false;
}

// ---- Boot parameters ----

constexpr const char* kCpuListKeys[] = {"isolcpus", "nohz_full", "rcu_nocbs", "irqaffinity"};
constexpr int kCpuListKeyCount = sizeof kCpuListKeys / sizeof kCpuListKeys[0];

// Rank of a key in the written line: the CPU-list keys in their fixed order,
// everything else after them.
int key_rank(StrView key) {
  for (int i = 0; i < kCpuListKeyCount; i++) {
    if (sv_eq_cstr(key, kCpuListKeys[i])) return i;
  }
  return kCpuListKeyCount;
}

BootParam* find_param(List<BootParam>* params, StrView key) {
  for (BootParam& p : *params) {
    if (sv_eq(p.key, key)) return &p;
  }
  return nullptr;
}

// Adds the CPUs and the not yet known flag words of an isolcpus-style value.
void merge_cpulist(Arena* a, BootParam* p, StrView value) {
  CpuSet cpus;
  StrList flags = {};
  parse_isolcpus(a, value, &cpus, &flags);
  cpuset_or(&p->cpus, &cpus);
  for (StrView fl : flags) {
    if (!strlist_contains(&p->flags, fl)) strlist_add(a, &p->flags, fl);
  }
}

void add_token(Arena* a, List<BootParam>* params, StrView tok) {
  StrView key, value;  // value absent for a bare word
  sv_split_once(tok, '=', &key, &value);
  if (BootParam* p = find_param(params, key)) {
    if (p->is_cpulist) merge_cpulist(a, p, value);
    return;  // otherwise the first value of a key wins
  }
  BootParam* p = list_grow(a, params);
  p->order = static_cast<int32_t>(params->count - 1);
  p->key = key;
  p->value = value;
  if (value.ptr && key_rank(key) < kCpuListKeyCount) {
    p->is_cpulist = true;
    merge_cpulist(a, p, value);
  }
}

bool param_before(const BootParam& a, const BootParam& b) {
  int ra = key_rank(a.key), rb = key_rank(b.key);
  if (ra != rb) return ra < rb;
  return a.order < b.order;
}

void write_param(Arena* a, StrBuf* sb, const BootParam* p) {
  sb_append_view(sb, p->key);
  if (!p->value.ptr) return;
  sb_append_char(sb, '=');
  if (!p->is_cpulist) {
    sb_append_view(sb, p->value);
    return;
  }
  for (StrView fl : p->flags) {
    sb_append_view(sb, fl);
    sb_append_char(sb, ',');
  }
  if (cpuset_empty(&p->cpus)) {
    if (p->flags.count) sb->data[--sb->len] = 0;  // no trailing comma
    return;
  }
  sb_append_view(sb, cpuset_format_list(a, &p->cpus));
}

}  // namespace

double plan_priority(const Finding* f) {
  double factor = 0.0;
  if (f->severity == Severity::fail) factor = 2.0;
  if (f->severity == Severity::warn) factor = 1.0;
  auto c = static_cast<int>(f->category);
  double cw = 1.0;
  if (c >= 0 && c < kCategoryCount) {
    cw = category_weight(f->category, false);
    if (cw < 1.0) cw = 1.0;
  }
  return factor * f->weight * cw;
}

RemediationPlan build_plan(Arena* a, const Report* report) {
  RemediationPlan plan = {};
  if (report->snapshot) plan.sysctl_conf = &report->snapshot->sysctl_conf;
  size_t n = report->findings.count;
  if (n == 0) return plan;
  Candidate* cands = arena_array<Candidate>(a, n);
  size_t nc = 0;
  for (size_t i = 0; i < n; i++) {
    const Finding* f = report->findings[i];
    if (!f || f->remediation.len == 0 || !f->remediation.ptr) continue;
    if (!severity_is_problem(f->severity)) continue;
    double pr = plan_priority(f);
    if (!(pr > 0.0)) continue;  // also drops a NaN weight
    cands[nc++] = Candidate{f, pr, i};
  }
  std::sort(cands, cands + nc, candidate_before);
  for (size_t i = 0; i < nc; i++) {
    if (!same_remedy_listed(&plan, cands[i].f->remediation)) {
      list_push(a, &plan.items, cands[i].f);
    }
  }
  return plan;
}

StrView combine_cmdline(Arena* a, const Finding* const* findings, size_t count) {
  List<BootParam> params = {};
  for (size_t i = 0; i < count; i++) {
    StrView cur = findings[i]->cmdline;
    if (!cur.ptr) continue;
    for (StrView tok = sv_next_token(&cur, " \t"); tok.ptr; tok = sv_next_token(&cur, " \t")) {
      if (tok.len) add_token(a, &params, tok);
    }
  }
  if (params.count == 0) return sv_lit("");
  std::sort(params.begin(), params.end(), param_before);
  StrBuf sb;
  sb_init(&sb, a);
  for (size_t i = 0; i < params.count; i++) {
    if (i) sb_append_char(&sb, ' ');
    write_param(a, &sb, &params[i]);
  }
  return sb_view(&sb);
}

bool writes_runtime_state(const Finding* f) {
  for (const ScriptLine& line : f->script) {
    if (line.command) return true;
  }
  return false;
}

StrView combine_sysctls(Arena* a, const Finding* const* findings, size_t count) {
  StrList keys{};
  StrBuf sb;
  sb_init(&sb, a);
  for (size_t i = 0; i < count; i++) {
    StrView cur = findings[i]->sysctl;
    while (cur.ptr) {
      StrView line = sv_trim(sv_next_line(&cur));
      StrView key, value;
      if (!sv_split_once(line, '=', &key, &value)) continue;
      key = sv_trim(key);
      if (key.len == 0 || strlist_contains(&keys, key)) continue;  // the first value wins
      strlist_add(a, &keys, key);
      sb_printf(&sb, "%.*s = %.*s\n", SV_ARG(key), SV_ARG(sv_trim(value)));
    }
  }
  return sb_view(&sb);
}

PlanGroups plan_groups(Arena* a, const RemediationPlan* plan) {
  PlanGroups g{};
  for (const Finding* f : plan->items) {
    List<const Finding*>* to = &g.regular;
    if (f->cmdline.len) {
      to = &g.boot;
    } else if (f->sysctl.len) {
      to = &g.sysctl;
    }
    list_push(a, to, f);
  }
  g.cmdline = g.boot.count ? combine_cmdline(a, g.boot.items, g.boot.count) : sv_lit("");
  g.sysctls = g.sysctl.count ? combine_sysctls(a, g.sysctl.items, g.sysctl.count) : sv_lit("");
  if (plan->sysctl_conf) g.overridden = sysctl_overrides(a, plan->sysctl_conf, g.sysctls);
  if (g.cmdline.len && g.sysctls.len) return g;
  // A group that merged into nothing: its items stand on their own, in plan order.
  List<const Finding*> regular{};
  for (const Finding* f : plan->items) {
    bool merged = (f->cmdline.len && g.cmdline.len) || (!f->cmdline.len && f->sysctl.len && g.sysctls.len);
    if (!merged) list_push(a, &regular, f);
  }
  if (!g.cmdline.len) g.boot = {};
  if (!g.sysctls.len) g.sysctl = {};
  g.regular = regular;
  return g;
}

namespace {

// systemd-sysctl applies every sysctl.d file in the order of its name, then
// /etc/sysctl.conf (sysctl.d(5); Debian links it in as 99-sysctl.conf), and
// the last value of a key wins.
bool applied_after_snippet(StrView file) {
  if (sv_eq_cstr(file, "/etc/sysctl.conf")) return true;
  StrView snippet = sv_from_cstr(strrchr(kSysctlSnippetPath, '/') + 1);
  const char* slash = static_cast<const char*>(memrchr(file.ptr, '/', file.len));
  StrView name = slash ? sv_slice(file, static_cast<size_t>(slash - file.ptr) + 1, file.len) : file;
  return sv_compare(name, snippet) > 0;
}

}  // namespace

List<PersistedSysctl> sysctl_overrides(Arena* a, const SysctlConf* conf, StrView sysctls) {
  List<PersistedSysctl> out = {};
  for (const PersistedSysctl& e : conf->entries) {
    if (!e.file.ptr || !applied_after_snippet(e.file)) continue;
    StrView cur = sysctls;
    while (cur.ptr) {
      StrView key, value;
      if (!sv_split_once(sv_next_line(&cur), '=', &key, &value)) continue;
      if (sv_eq(sv_trim(key), e.key) && !sv_eq(sv_trim(value), sv_trim(e.value))) {
        list_push(a, &out, e);
      }
    }
  }
  return out;
}
