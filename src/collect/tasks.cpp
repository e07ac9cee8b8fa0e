#include "collect/tasks.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>

#include "base/parse.h"
#include "collect/clock.h"
#include "collect/sched_policy.h"
#include "collect/task_stat.h"
#include "source/source.h"

namespace {

constexpr int32_t kDeadlineSortKey = 1000;
// Policies above this are not Linux policies: a kernel answering one does
// not implement sched_getattr(2) as kelvane reads it.
constexpr uint32_t kMaxPolicy = 7;

// The attribute record of sched_getattr(2) as the kernel defines it (the
// first, 48-byte version).
struct SchedAttr {
  uint32_t size;
  uint32_t sched_policy;
  uint64_t sched_flags;
  int32_t sched_nice;
  uint32_t sched_priority;
  uint64_t sched_runtime;
  uint64_t sched_deadline;
  uint64_t sched_period;
};
static_assert(sizeof(SchedAttr) == 48, "sched_attr version 0 is 48 bytes");

bool sched_getattr_tid(int32_t tid, SchedAttr* attr) {
  *attr = SchedAttr{};
  return syscall(SYS_sched_getattr, tid, attr, sizeof *attr, 0) == 0;
}

// Whether deadline parameters can be read here; the note says why not.
void check_sched_getattr(Snapshot* s) {
  if (!s->live) {
    s->sched_getattr_note = sv_lit("not a live system");
    return;
  }
  SchedAttr attr;
  if (!sched_getattr_tid(0, &attr)) {
    s->sched_getattr_note = sv_lit("sched_getattr(2) unavailable on this kernel");
    return;
  }
  if (attr.sched_policy > kMaxPolicy) {
    s->sched_getattr_note = sv_lit("sched_getattr(2) returned an implausible policy");
    return;
  }
  s->sched_getattr_ok = true;
}

// One process of the walk; its command line is read once, when its first
// real-time thread needs it.
struct Process {
  int32_t pid;
  bool cmdline_read;
  StrView cmdline;
};

// What the walk shares: the Snapshot, the buffer every stat and status read
// reuses, and the path being formed.
struct TaskWalk {
  Snapshot* snap;
  ReadBuf buf;
  char path[80];
};

StrView process_cmdline(TaskWalk* w, Process* p) {
  if (!p->cmdline_read) {
    p->cmdline = source_read_trimmedf(w->snap->src, "/proc/%d/cmdline", p->pid);
    p->cmdline_read = true;
  }
  return p->cmdline;
}

StrView read_task_file(TaskWalk* w, int32_t pid, int32_t tid, const char* name) {
  snprintf(w->path, sizeof w->path, "/proc/%d/task/%d/%s", pid, tid, name);
  return sv_trim(source_read_reuse(w->snap->src, sv_from_cstr(w->path), &w->buf));
}

// A kernel thread carries PF_KTHREAD in its stat flags. Only when the flags
// are 0 or unreadable does an empty command line decide, so neither a zombie
// nor a thread of a bundle whose command lines were redacted passes for one.
bool is_kernel_thread(TaskWalk* w, Process* p, const TaskStat* st) {
  if (st->has_flags) return (st->flags & kPfKthread) != 0;
  return process_cmdline(w, p).len == 0;
}

void read_deadline(int32_t tid, RtTask* t) {
  SchedAttr attr;
  if (!sched_getattr_tid(tid, &attr) || attr.sched_policy != kSchedDeadline) return;
  t->dl.has = true;
  t->dl.value.runtime_ns = attr.sched_runtime;
  t->dl.value.deadline_ns = attr.sched_deadline;
  t->dl.value.period_ns = attr.sched_period;
}

void add_rt_task(TaskWalk* w, Process* p, int32_t tid, const TaskStat* st) {
  Snapshot* s = w->snap;
  RtTask* t = list_grow(s->arena, &s->rt_tasks);
  t->pid = p->pid;
  t->tid = tid;
  t->comm = arena_strndup(s->arena, st->comm);
  t->policy = st->policy;
  t->policy_name = task_policy_name(st->policy);
  t->rt_priority = st->rt_priority;
  t->nice = st->nice;
  t->last_cpu = st->last_cpu;
  t->minflt = st->minflt;
  t->majflt = st->majflt;
  t->kthread = is_kernel_thread(w, p, st);
  t->cmdline = process_cmdline(w, p);
  // The stat text is no longer needed: its buffer serves the status file.
  parse_task_status(read_task_file(w, p->pid, tid, "status"), t);
  if (t->kthread) {
    t->role = task_role(t->comm);
    StrView irq = task_irq_number(t->comm);
    if (irq.ptr) t->irq_number = arena_strndup(s->arena, irq);
  }
  if (s->sched_getattr_ok && t->policy == kSchedDeadline) read_deadline(tid, t);
}

// The RCU callback-offload threads (rcuop/N, rcuog/N and the like) are kept
// with where they may run: the kernel creates them for offloaded CPUs and
// leaves their placement to user space (Documentation/timers/no_hz.rst asks
// that they be moved to housekeeping CPUs). An RT one reuses the affinity
// already read for its RtTask (whose status read has reused the buffer that
// held st's name, so the name comes from the RtTask too).
void add_rcuo_thread(TaskWalk* w, Process* p, int32_t tid, const TaskStat* st, const RtTask* rt) {
  Snapshot* s = w->snap;
  if (!is_kernel_thread(w, p, st)) return;
  KthreadPlacement* k = list_grow(s->arena, &s->rcuo_threads);
  k->pid = p->pid;
  k->tid = tid;
  if (rt) {
    k->comm = rt->comm;
    k->affinity = rt->affinity;
    return;
  }
  k->comm = arena_strndup(s->arena, st->comm);
  RtTask status{};
  parse_task_status(read_task_file(w, p->pid, tid, "status"), &status);
  k->affinity = status.affinity;
}

void walk_process(TaskWalk* w, int32_t pid) {
  Snapshot* s = w->snap;
  Process p{};
  p.pid = pid;
  snprintf(w->path, sizeof w->path, "/proc/%d/task", pid);
  StrList tids{};
  source_list(s->src, w->path, &tids);
  for (StrView name : tids) {
    int32_t tid;
    TaskStat st;
    if (!parse_id(name, &tid)) continue;
    if (!parse_task_stat(read_task_file(w, pid, tid, "stat"), &st)) continue;
    s->threads_scanned++;
    bool rcuo = sv_starts_with(st.comm, "rcuo");
    const RtTask* rt = nullptr;
    if (task_policy_is_rt(st.policy)) {
      add_rt_task(w, &p, tid, &st);
      rt = &s->rt_tasks[s->rt_tasks.count - 1];
    }
    if (rcuo) add_rcuo_thread(w, &p, tid, &st, rt);
  }
}

int32_t sort_key(const RtTask& t) {
  return t.policy == kSchedDeadline ? kDeadlineSortKey : t.rt_priority;
}

// SCHED_DEADLINE first, then by real-time priority, highest first; equal
// ones by ascending thread id.
void sort_rt_tasks(List<RtTask>* tasks) {
  std::sort(tasks->begin(), tasks->end(), [](const RtTask& a, const RtTask& b) {
    if (sort_key(a) != sort_key(b)) return sort_key(a) > sort_key(b);
    if (a.tid != b.tid) return a.tid < b.tid;
    return a.pid < b.pid;
  });
}

}  // namespace

void collect_tasks(Snapshot* snap) {
  StrList pids{};
  source_list(snap->src, "/proc", &pids);
  if (pids.count == 0) return;
  snap->tasks_available = true;
  snap->tasks_read_s = monotonic_seconds();
  check_sched_getattr(snap);
  TaskWalk w{};
  w.snap = snap;
  for (StrView name : pids) {
    int32_t pid;
    if (parse_id(name, &pid)) walk_process(&w, pid);
  }
  // A /proc without one readable thread says nothing about the threads: the
  // rules then judge nothing rather than report that none are real-time.
  if (snap->threads_scanned == 0) snap->tasks_available = false;
  if (snap->rt_tasks.count > 1) sort_rt_tasks(&snap->rt_tasks);
}
