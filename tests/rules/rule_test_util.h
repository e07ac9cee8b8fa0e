// Helpers for the tests of one rule module: a Snapshot built in code, the
// module run alone (findings in emission order), and readers of the findings.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "collect/snapshot.h"
#include "rules/finding.h"
#include "rules/rules.h"
#include "test_util.h"

using Ev = std::vector<std::pair<std::string, std::string>>;

class RuleModuleTest : public ArenaTest {
 protected:
  void SetUp() override {
    ArenaTest::SetUp();
    fresh();
  }

  // A new empty Snapshot in a new Arena (for rows of a case table).
  void fresh() {
    if (snap) {
      arena_release(&arena);
      arena_init(&arena);
    }
    snap = arena_new<Snapshot>(&arena);
    snap->arena = &arena;
    next_tid = 100;
  }

  // Online CPUs 0..n-1; the isolated ones (a cpulist, may be empty) leave the
  // rest as housekeeping.
  void cpus(int n, const char* isolated = "") {
    cpuset_clear(&snap->online);
    for (int c = 0; c < n; c++) cpuset_add(&snap->online, c);
    snap->ncpus = static_cast<uint32_t>(n);
    cpuset_clear(&snap->isolated);
    cpuset_parse_list(&snap->isolated, sv(isolated));
    snap->housekeeping = snap->online;
    cpuset_andnot(&snap->housekeeping, &snap->isolated);
  }

  // One thread of the task list; thread ids count up from 100, each its own
  // process.
  RtTask* task(const char* comm, int32_t policy, int32_t prio, const char* allowed = nullptr,
               bool kthread = false) {
    snap->tasks_available = true;
    RtTask* t = list_grow(&arena, &snap->rt_tasks);
    t->pid = next_tid;
    t->tid = next_tid++;
    t->comm = sv(comm);
    t->policy = policy;
    t->policy_name = sv(policy == 2 ? "SCHED_RR" : policy == 6 ? "SCHED_DEADLINE" : "SCHED_FIFO");
    t->rt_priority = prio;
    t->kthread = kthread;
    t->last_cpu = -1;
    if (allowed) {
      t->has_affinity = true;
      cpuset_parse_list(&t->affinity, sv(allowed));
    }
    return t;
  }

  template <class Module>
  void run(Module module, Profile profile = Profile::hard_rt) {
    report = Report{};
    report.arena = &arena;
    report.snapshot = snap;
    report.profile = profile;
    report.target_us = default_target_us(profile);
    RuleContext ctx = make_rule_context(&report);
    module(&report, &ctx);
  }

  std::vector<std::string> ids() {
    std::vector<std::string> out;
    for (const Finding* f : report.findings) out.push_back(f->id);
    return out;
  }

  // The finding with this id; it must be there exactly once.
  const Finding& get(const char* id) {
    const Finding* hit = find(id);
    if (!hit) {
      ADD_FAILURE() << "no finding " << id;
      static Finding none = {};
      return none;
    }
    return *hit;
  }

  const Finding* find(const char* id) {
    const Finding* hit = nullptr;
    for (const Finding* f : report.findings) {
      if (std::string(f->id) == id) {
        EXPECT_EQ(hit, nullptr) << "emitted twice: " << id;
        hit = f;
      }
    }
    return hit;
  }

  Ev evidence(const Finding& f) {
    Ev out;
    for (const Evidence& e : f.evidence) out.emplace_back(str(e.key), str(e.value));
    return out;
  }

  // Unset texts are empty.
  std::string text(StrView v) { return v.len ? str(v) : std::string(); }

  Snapshot* snap = nullptr;
  Report report;
  int32_t next_tid = 100;
};

constexpr int32_t kFifo = 1;
constexpr int32_t kRr = 2;
constexpr int32_t kDeadline = 6;
