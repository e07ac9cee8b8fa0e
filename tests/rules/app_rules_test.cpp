#include <gtest/gtest.h>

#include "rules/rule_module_test.h"

namespace {

class AppRulesTest : public RuleModuleTest {};

// An application SCHED_FIFO thread "ctrl" of pid 100 with its process's
// VmLck and VmRSS (kB; below 0: the line was absent).
RtTask* app(Snapshot* s, int64_t lck_kb, int64_t rss_kb, bool kthread = false) {
  s->tasks_available = true;
  RtTask* t = list_grow(s->arena, &s->rt_tasks);
  t->pid = t->tid = 100;
  t->comm = sv_from_cstr("ctrl");
  t->policy = kFifo;
  t->kthread = kthread;
  t->vm_lck_kb = lck_kb >= 0 ? opt_some(lck_kb) : OptInt{};
  t->vm_rss_kb = opt_some(rss_kb);
  return t;
}

// Faults of the thread over a 2 s window; a growth below 0 was not measured.
void faults(Snapshot* s, int64_t minor, int64_t major) {
  RtTask* t = app(s, 1024, 1024);
  s->tasks_window_s = 2;
  if (minor >= 0) t->minflt_delta = opt_some(minor);
  if (major >= 0) t->majflt_delta = opt_some(major);
  t->nonvoluntary_delta = opt_some(int64_t{3});
}

const RuleCase kCases[] = {
    {"nothing locked", [](Snapshot* s) { app(s, 0, 122880); }, Profile::hard_rt, "sched.memlock",
     Severity::warn, 1, "pid 100 (ctrl) has locked none of its 120 MB"},
    {"locked", [](Snapshot* s) { app(s, 4096, 122880); }, Profile::hard_rt, "sched.memlock",
     Severity::pass, 1, "Real-time processes lock their memory"},
    {"VmLck unreadable", [](Snapshot* s) { app(s, -1, 122880); }, Profile::hard_rt,
     "sched.memlock", kNoFinding, 0, ""},
    {"kernel thread", [](Snapshot* s) { app(s, 0, 0, true); }, Profile::hard_rt, "sched.memlock",
     kNoFinding, 0, ""},
    {"major fault", [](Snapshot* s) { faults(s, 0, 2); }, Profile::hard_rt, "sched.page_faults",
     Severity::fail, 1, "tid 100 (ctrl) took 2 major page faults during the sample"},
    {"minor faults 15/s", [](Snapshot* s) { faults(s, 30, 0); }, Profile::hard_rt,
     "sched.page_faults", Severity::warn, 1, "tid 100 (ctrl) takes 15 minor page faults/s"},
    {"minor faults 10/s", [](Snapshot* s) { faults(s, 20, 0); }, Profile::hard_rt,
     "sched.page_faults", Severity::pass, 1,
     "Real-time threads took no major and few minor page faults"},
    {"counter went down", [](Snapshot* s) { faults(s, -1, -1); }, Profile::hard_rt,
     "sched.page_faults", kNoFinding, 0, ""},
    {"not sampled", [](Snapshot* s) { app(s, 1024, 1024); }, Profile::hard_rt, "sched.page_faults",
     kNoFinding, 0, ""},
};

TEST_F(AppRulesTest, Cases) { expect_cases(app_rules, kCases, Category::scheduling); }

TEST_F(AppRulesTest, PreemptionsAreTheDetail) {
  faults(snap, 0, 0);
  run(app_rules);
  EXPECT_EQ(text(get("sched.page_faults").detail),
            "Involuntary context switches during the sample (preempted by higher priority work): "
            "tid 100 (ctrl) 3.");
}

}  // namespace
