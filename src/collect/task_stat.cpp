#include "collect/task_stat.h"

#include <cstring>

#include "base/cpuset.h"
#include "base/parse.h"
#include "collect/sched_policy.h"

namespace {

// Words after the name that a stat line must and may have.
constexpr size_t kMinStatWords = 39;
constexpr size_t kMaxStatWords = 64;

// Positions among the words after the name (word 0 is the state letter, the
// third field of the line) and the default when a word does not convert.
struct StatField {
  size_t word;
  int32_t TaskStat::*field;
  int32_t fallback;
};

constexpr size_t kFlagsWord = 6;
// Fields 10 and 12 of the line: minflt and majflt (Documentation/filesystems/proc.rst,
// "Contents of the stat fields").
constexpr size_t kMinfltWord = 7;
constexpr size_t kMajfltWord = 9;
constexpr StatField kStatFields[] = {
    {16, &TaskStat::nice, 0},
    {36, &TaskStat::last_cpu, -1},
    {37, &TaskStat::rt_priority, 0},
    {38, &TaskStat::policy, 0},
};

struct PolicyName {
  int32_t policy;
  StrView name;
};

constexpr PolicyName kPolicies[] = {
    {kSchedOther, sv_lit("SCHED_OTHER")}, {kSchedFifo, sv_lit("SCHED_FIFO")},
    {kSchedRr, sv_lit("SCHED_RR")},       {kSchedBatch, sv_lit("SCHED_BATCH")},
    {kSchedIdle, sv_lit("SCHED_IDLE")},   {kSchedDeadline, sv_lit("SCHED_DEADLINE")},
};

constexpr int32_t kRtPolicies[] = {kSchedFifo, kSchedRr, kSchedDeadline};

struct Role {
  const char* prefix;
  StrView role;
};

constexpr Role kRoles[] = {
    {"migration/", sv_lit("CPU migration (stop machine)")},
    {"ksoftirqd/", sv_lit("Softirq processing")},
    {"ktimers/", sv_lit("Timer softirqs (PREEMPT_RT)")},
    {"rcuc/", sv_lit("RCU callback processing")},
    {"rcub/", sv_lit("RCU priority boosting")},
    {"rcuop/", sv_lit("Offloaded RCU callbacks")},
    {"rcuog/", sv_lit("Offloaded RCU grace period")},
    {"rcu_preempt", sv_lit("RCU grace period")},
    {"rcu_sched", sv_lit("RCU grace period")},
    {"irq_work/", sv_lit("Deferred irq work")},
    {"posixcputmr/", sv_lit("POSIX CPU timers")},
    {"kworker/", sv_lit("Deferred kernel work")},
    {"idle_inject/", sv_lit("Thermal idle injection")},
    {"watchdogd", sv_lit("Hardware watchdog")},
    {"khugepaged", sv_lit("Transparent hugepage compaction")},
    {"ksmd", sv_lit("Kernel same-page merging")},
};

constexpr StrView kIrqThreadRole = sv_lit("Threaded IRQ handler");

// Status lines kelvane reads, each filling one field of the thread's record.
struct StatusLine {
  StrView key;
  void (*read)(StrView value, RtTask* task);
};

void read_allowed(StrView value, RtTask* task) {
  cpuset_parse_list(&task->affinity.value, value);
  task->affinity.has = true;
}

void read_voluntary(StrView value, RtTask* task) {
  task->voluntary_switches.has = parse_i64(value, &task->voluntary_switches.value);
}

void read_nonvoluntary(StrView value, RtTask* task) {
  task->nonvoluntary_switches.has = parse_i64(value, &task->nonvoluntary_switches.value);
}

// A size in kB ("131072 kB"); any other unit or none leaves it absent.
void read_kb(StrView value, OptInt* out) {
  StrView num = value;
  int64_t v;
  out->has = sv_consume_suffix(&num, sv_lit(" kB")) && parse_i64(sv_trim(num), &v) && v >= 0;
  out->value = out->has ? v : 0;
}

void read_vm_lck(StrView value, RtTask* task) { read_kb(value, &task->vm_lck_kb); }

void read_vm_rss(StrView value, RtTask* task) { read_kb(value, &task->vm_rss_kb); }

constexpr StatusLine kStatusLines[] = {
    {sv_lit("Cpus_allowed_list:"), read_allowed},
    {sv_lit("voluntary_ctxt_switches:"), read_voluntary},
    {sv_lit("nonvoluntary_ctxt_switches:"), read_nonvoluntary},
    {sv_lit("VmLck:"), read_vm_lck},
    {sv_lit("VmRSS:"), read_vm_rss},
};

void read_counter(StrView word, OptInt* out) {
  out->has = parse_i64(word, &out->value) && out->value >= 0;
  if (!out->has) out->value = 0;
}

// The position of the last c in v, or v.len when there is none.
size_t last_of(StrView v, char c) {
  for (size_t i = v.len; i > 0; i--)
    if (v.ptr[i - 1] == c) return i - 1;
  return v.len;
}

// Splits the fields after the name into words; answers how many there are,
// counting at most kMaxStatWords.
size_t split_words(StrView rest, StrView* words) {
  size_t n = 0;
  StrView cur = rest;
  while (cur.ptr && n < kMaxStatWords) {
    StrView w = sv_next_token(&cur, " \t");
    if (w.len > 0) words[n++] = w;
  }
  return n;
}

}  // namespace

bool parse_task_stat(StrView text, TaskStat* out) {
  size_t close = last_of(text, ')');
  if (close == text.len || close == 0) return false;
  const char* open = static_cast<const char*>(memchr(text.ptr, '(', close));
  if (!open) return false;
  size_t name_at = static_cast<size_t>(open - text.ptr) + 1;
  StrView words[kMaxStatWords];
  size_t n = split_words(sv_slice(text, close + 1, text.len), words);
  if (n < kMinStatWords) return false;
  *out = TaskStat{};
  out->comm = sv_slice(text, name_at, close);
  out->state = words[0];
  int64_t flags = 0;
  out->has_flags = parse_i64(words[kFlagsWord], &flags) && flags != 0;
  out->flags = out->has_flags ? static_cast<uint64_t>(flags) : 0;
  for (const StatField& f : kStatFields)
    if (!parse_i32(words[f.word], &(out->*f.field))) out->*f.field = f.fallback;
  read_counter(words[kMinfltWord], &out->minflt);
  read_counter(words[kMajfltWord], &out->majflt);
  return true;
}

void parse_task_status(StrView text, RtTask* task) {
  StrView cur = text;
  while (cur.ptr) {
    StrView line = sv_next_line(&cur);
    for (const StatusLine& s : kStatusLines) {
      StrView value = line;
      if (sv_consume_prefix(&value, s.key)) s.read(sv_trim(value), task);
    }
  }
}

StrView task_policy_name(int32_t policy) {
  for (const PolicyName& p : kPolicies)
    if (p.policy == policy) return p.name;
  return sv_lit("SCHED_UNKNOWN");
}

bool task_policy_is_rt(int32_t policy) {
  for (int32_t p : kRtPolicies)
    if (p == policy) return true;
  return false;
}

StrView task_role(StrView comm) {
  if (sv_starts_with(comm, "irq/")) return kIrqThreadRole;
  for (const Role& r : kRoles)
    if (sv_starts_with(comm, r.prefix)) return r.role;
  return kNoneView;
}

StrView task_irq_number(StrView comm) {
  StrView rest = comm;
  if (!sv_consume_prefix(&rest, sv_lit("irq/"))) return kNoneView;
  StrView number, name;
  sv_split_once(rest, '-', &number, &name);
  return sv_all_digits(number) ? number : kNoneView;
}
