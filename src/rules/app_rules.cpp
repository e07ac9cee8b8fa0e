// Application hygiene of the real-time processes: whether each process
// owning an application real-time thread has locked its memory, and whether
// those threads took page faults during the live sampling window. A page
// fault in a real-time loop stops it for as long as the kernel needs to find
// (minor) or read (major) the page. Every finding here belongs to the
// "scheduling" category.
#include <algorithm>
#include <cstdint>

#include "base/fmt.h"
#include "collect/snapshot.h"
#include "rules/finding.h"
#include "rules/rules.h"

namespace {

constexpr Category kCat = Category::scheduling;

// Minor faults per second of one thread above which it warns: a loop that
// prefaulted its stack and heap takes none after start-up.
constexpr double kMinorFaultRate = 10;

// The application real-time threads (the scheduling rules' set), ordered by
// process id, then thread id: a process's threads sit together.
struct AppThreads {
  const RtTask** items;
  size_t count;
};

AppThreads app_threads(Arena* a, const Snapshot* s) {
  AppThreads out{arena_array<const RtTask*>(a, s->rt_tasks.count + 1), 0};
  for (const RtTask& t : s->rt_tasks)
    if (!t.kthread) out.items[out.count++] = &t;
  std::sort(out.items, out.items + out.count, [](const RtTask* x, const RtTask* y) {
    return x->pid != y->pid ? x->pid < y->pid : x->tid < y->tid;
  });
  return out;
}

StrView size_text(Arena* a, int64_t kb) {
  if (kb >= 1024) return arena_sprintf(a, "%lld MB", static_cast<long long>(kb / 1024));
  return arena_sprintf(a, "%lld kB", static_cast<long long>(kb));
}

StrView kb_text(Arena* a, OptInt kb) {
  return arena_sprintf(a, "%lld kB", static_cast<long long>(kb.value));
}

// ---- Locked memory ----

// Each process is judged once, on its first thread: VmLck and VmRSS are the
// process's (Documentation/filesystems/proc.rst, /proc/PID/status). A
// process whose status lacked either is not judged.
void rule_memlock(Report* r, const AppThreads& apps) {
  Arena* a = r->arena;
  int32_t judged = 0, unlocked = 0;
  const RtTask* first = nullptr;
  StrBuf others;
  sb_init(&others, a);
  for (size_t i = 0; i < apps.count; i++) {
    const RtTask* t = apps.items[i];
    if (i > 0 && apps.items[i - 1]->pid == t->pid) continue;
    if (!t->vm_lck_kb.has || !t->vm_rss_kb.has) continue;
    judged++;
    if (t->vm_lck_kb.value > 0 || t->vm_rss_kb.value == 0) continue;
    if (unlocked++ == 0) {
      first = t;
      continue;
    }
    sb_printf(&others, "%spid %d (%.*s)", others.len ? ", " : "", t->pid, SV_ARG(t->comm));
  }
  if (judged == 0) return;
  if (!first) {
    Finding* f = add_finding(r, "sched.memlock", kCat, Severity::pass,
                             sv_lit("Real-time processes lock their memory"));
    finding_set_detail(f, arena_sprintf(a, "%d process%s with real-time threads, each with locked "
                                           "memory (VmLck).",
                                        judged, judged == 1 ? "" : "es"));
    return;
  }
  Finding* f = add_finding(r, "sched.memlock", kCat, Severity::warn,
                           arena_sprintf(a, "pid %d (%.*s) has locked none of its %.*s", first->pid,
                                         SV_ARG(first->comm),
                                         SV_ARG(size_text(a, first->vm_rss_kb.value))));
  if (unlocked > 1) {
    finding_set_detail(f, arena_sprintf(a, "%d real-time processes lock none of their memory; "
                                           "also %.*s.",
                                        unlocked, SV_ARG(sb_view(&others))));
  }
  finding_set_impact(f, sv_lit("Memory that is not locked can be reclaimed or swapped out, and "
                               "pages touched for the first time are faulted in: the real-time "
                               "thread then waits for the kernel to find or read the page."));
  finding_set_remediation(f, sv_lit("Call mlockall(MCL_CURRENT | MCL_FUTURE) after start-up, "
                                    "once the stack and heap are allocated and touched, or set "
                                    "LimitMEMLOCK=infinity in its systemd unit so that it may."));
  StrView path = arena_sprintf(a, "/proc/%d/status", first->pid);
  finding_add_evidence(r, f, path, arena_sprintf(a, "VmLck: %.*s, VmRSS: %.*s",
                                                 SV_ARG(kb_text(a, first->vm_lck_kb)),
                                                 SV_ARG(kb_text(a, first->vm_rss_kb))));
}

// ---- Page faults during the window ----

struct FaultWorst {
  const RtTask* major;  // most major faults
  const RtTask* minor;  // highest minor fault rate
  int32_t sampled;
};

FaultWorst worst_faults(const AppThreads& apps) {
  FaultWorst w{};
  for (size_t i = 0; i < apps.count; i++) {
    const RtTask* t = apps.items[i];
    if (!t->minflt_delta.has || !t->majflt_delta.has) continue;
    w.sampled++;
    if (t->majflt_delta.value > 0 && (!w.major || t->majflt_delta.value > w.major->majflt_delta.value))
      w.major = t;
    if (!w.minor || t->minflt_delta.value > w.minor->minflt_delta.value) w.minor = t;
  }
  return w;
}

// The involuntary context switches of the sampled threads: each one is the
// thread preempted by something of higher priority.
StrView preemptions(Arena* a, const AppThreads& apps) {
  StrBuf sb;
  sb_init(&sb, a);
  for (size_t i = 0; i < apps.count; i++) {
    const RtTask* t = apps.items[i];
    if (!t->nonvoluntary_delta.has) continue;
    sb_printf(&sb, "%stid %d (%.*s) %lld", sb.len ? ", " : "", t->tid, SV_ARG(t->comm),
               static_cast<long long>(t->nonvoluntary_delta.value));
  }
  if (sb.len == 0) return kNoneView;
  return arena_sprintf(a, "Involuntary context switches during the sample (preempted by higher "
                          "priority work): %.*s.",
                       SV_ARG(sb_view(&sb)));
}

void fault_evidence(Report* r, Finding* f, const RtTask* t, const char* field, int64_t delta) {
  finding_add_evidence(
      r, f, arena_sprintf(r->arena, "/proc/%d/task/%d/stat", t->pid, t->tid),
      arena_sprintf(r->arena, "%s +%lld", field, static_cast<long long>(delta)));
}

void rule_page_faults(Report* r, const Snapshot* s, const AppThreads& apps) {
  Arena* a = r->arena;
  double window = s->tasks_window_s;
  FaultWorst w = worst_faults(apps);
  if (w.sampled == 0 || window <= 0) return;
  double rate = w.minor ? static_cast<double>(w.minor->minflt_delta.value) / window : 0;
  Finding* f;
  if (w.major) {
    f = add_finding(r, "sched.page_faults", kCat, Severity::fail,
                    arena_sprintf(a, "tid %d (%.*s) took %lld major page fault%s during the sample",
                                  w.major->tid, SV_ARG(w.major->comm),
                                  static_cast<long long>(w.major->majflt_delta.value),
                                  fmt_plural(w.major->majflt_delta.value)));
    fault_evidence(r, f, w.major, "majflt", w.major->majflt_delta.value);
  } else if (rate > kMinorFaultRate) {
    f = add_finding(r, "sched.page_faults", kCat, Severity::warn,
                    arena_sprintf(a, "tid %d (%.*s) takes %.*s minor page faults/s", w.minor->tid,
                                  SV_ARG(w.minor->comm), SV_ARG(fmt_count(a, rate))));
    fault_evidence(r, f, w.minor, "minflt", w.minor->minflt_delta.value);
  } else {
    f = add_finding(r, "sched.page_faults", kCat, Severity::pass,
                    sv_lit("Real-time threads took no major and few minor page faults"));
  }
  finding_set_detail(f, preemptions(a, apps));
  if (f->severity == Severity::pass) return;
  finding_set_impact(f, sv_lit("A thread that faults waits for the kernel to map the page; a major "
                               "fault waits for storage, milliseconds at a time."));
  finding_set_remediation(f, sv_lit("Prefault the stack and heap at start-up (touch every page, "
                                    "or use MAP_POPULATE), then mlockall(MCL_CURRENT | "
                                    "MCL_FUTURE) so that no page is faulted in or out again."));
}

}  // namespace

void app_rules(Report* report, const RuleContext* ctx) {
  const Snapshot* s = ctx->snapshot;
  if (!s->tasks_available) return;
  AppThreads apps = app_threads(report->arena, s);
  rule_memlock(report, apps);
  rule_page_faults(report, s, apps);
}
