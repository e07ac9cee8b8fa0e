#include "collect/task_sample.h"

#include <cstdio>

#include "collect/clock.h"
#include "collect/task_stat.h"
#include "source/source.h"

namespace {

StrView read_thread_file(Snapshot* s, const RtTask& t, const char* name, ReadBuf* buf) {
  char path[80];
  snprintf(path, sizeof path, "/proc/%d/task/%d/%s", t.pid, t.tid, name);
  return source_read_reuse(s->src, sv_from_cstr(path), buf);
}

void sample_task(Snapshot* s, RtTask* t, ReadBuf* buf) {
  TaskStat st;
  if (!parse_task_stat(sv_trim(read_thread_file(s, *t, "stat", buf)), &st)) return;
  t->minflt_delta = counter_growth(t->minflt, st.minflt);
  t->majflt_delta = counter_growth(t->majflt, st.majflt);
  RtTask now{};
  parse_task_status(read_thread_file(s, *t, "status", buf), &now);
  t->nonvoluntary_delta = counter_growth(t->nonvoluntary_switches, now.nonvoluntary_switches);
}

}  // namespace

OptInt counter_growth(OptInt before, OptInt after) {
  OptInt out{};
  if (!before.has || !after.has || after.value < before.value) return out;
  out.has = true;
  out.value = after.value - before.value;
  return out;
}

void sample_tasks(Snapshot* snap) {
  if (!snap->tasks_available || snap->tasks_read_s <= 0) return;
  ReadBuf buf{};
  for (RtTask& t : snap->rt_tasks) {
    if (!t.kthread) sample_task(snap, &t, &buf);
  }
  snap->tasks_window_s = monotonic_seconds() - snap->tasks_read_s;
}
