// The fixture for the tests of one rule module: a Snapshot built in code, the
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

// Marks a table row that expects no finding of its id at all.
constexpr Severity kNoFinding = static_cast<Severity>(99);

constexpr int32_t kFifo = 1;
constexpr int32_t kRr = 2;
constexpr int32_t kDeadline = 6;

// Checks one table row: the finding's presence, severity, weight and title.
inline void expect_finding(const Finding* f, const char* id, Severity sev, double weight,
                           const char* title) {
  if (sev == kNoFinding) {
    EXPECT_EQ(f, nullptr) << id << " should not be emitted";
    return;
  }
  ASSERT_NE(f, nullptr) << id << " missing";
  EXPECT_EQ(severity_name(f->severity), std::string(severity_name(sev)));
  EXPECT_DOUBLE_EQ(f->weight, weight);
  EXPECT_EQ(std::string(f->title.ptr ? f->title.ptr : "", f->title.len), title);
}

inline void set_cpus(CpuSet* set, const char* list) {
  cpuset_parse_list(set, sv_from_cstr(list));
}

// A machine with these online CPUs, of which these are isolated; the
// housekeeping CPUs are the rest, as the topology collector leaves them.
inline void machine(Snapshot* s, const char* online, const char* isolated = "") {
  set_cpus(&s->online, online);
  s->ncpus = static_cast<uint32_t>(cpuset_count(&s->online));
  set_cpus(&s->isolated, isolated);
  cpuset_copy(&s->housekeeping, &s->online);
  cpuset_andnot(&s->housekeeping, &s->isolated);
}

// One row of a module's case table: a Snapshot set up in code and run under
// a profile, and what the finding of one id must be (kNoFinding: none).
struct RuleCase {
  const char* name;
  void (*setup)(Snapshot* s);
  Profile profile;
  const char* id;
  Severity severity;
  double weight;
  const char* title;
};

class RuleModuleTest : public ArenaTest {
 protected:
  void SetUp() override {
    ArenaTest::SetUp();
    fresh();
  }

  // A new zero-filled Snapshot (for rows of a case table; the old one stays
  // in the arena), with thread ids counting from 100 again.
  void fresh() {
    snap = arena_new<Snapshot>(&arena);
    snap->arena = &arena;
    next_tid = 100;
  }

  // Online CPUs 0..n-1; the isolated ones (a cpulist, may be empty) leave the
  // rest as housekeeping.
  void cpus(int n, const char* isolated = "") {
    std::string online = n > 0 ? "0-" + std::to_string(n - 1) : "";
    machine(snap, online.c_str(), isolated);
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
    t->policy_name = sv(policy == kRr         ? "SCHED_RR"
                        : policy == kDeadline ? "SCHED_DEADLINE"
                                              : "SCHED_FIFO");
    t->rt_priority = prio;
    t->kthread = kthread;
    t->last_cpu = -1;
    if (allowed) {
      t->affinity.has = true;
      cpuset_parse_list(&t->affinity.value, sv(allowed));
    }
    return t;
  }

  // A report over the snapshot, ready for a module; target_us 0 means the
  // profile's default.
  void start(Profile profile = Profile::hard_rt, double target_us = 0) {
    report = Report{};
    report.arena = &arena;
    report.snapshot = snap;
    report.profile = profile;
    report.target_us = target_us > 0 ? target_us : default_target_us(profile);
  }

  template <class Module>
  void run(Module module, Profile profile = Profile::hard_rt, double target_us = 0) {
    start(profile, target_us);
    RuleContext ctx = make_rule_context(&report);
    module(&report, &ctx);
  }

  // Runs the module once per row of a case table, each on a fresh Snapshot,
  // and checks the row's finding; every finding must be in the category. A
  // row with a target_us runs with that target (0: the profile's default).
  template <class Module, class Row, size_t N>
  void expect_cases(Module module, const Row (&rows)[N], Category category) {
    for (const Row& c : rows) {
      SCOPED_TRACE(c.name);
      fresh();
      c.setup(snap);
      double target_us = 0;
      if constexpr (requires { c.target_us; }) target_us = c.target_us;
      run(module, c.profile, target_us);
      expect_finding(find(c.id), c.id, c.severity, c.weight, c.title);
      for (const Finding* f : report.findings) EXPECT_EQ(f->category, category);
    }
  }

  std::vector<std::string> ids() const {
    std::vector<std::string> out;
    for (const Finding* f : report.findings) out.push_back(f->id);
    return out;
  }

  // The finding with this id; fails the test when the module emitted it twice.
  const Finding* find(const char* id) const {
    const Finding* hit = nullptr;
    for (const Finding* f : report.findings) {
      if (std::string(f->id) == id) {
        EXPECT_EQ(hit, nullptr) << "emitted twice: " << id;
        hit = f;
      }
    }
    return hit;
  }

  // The finding with this id; it must be there exactly once.
  const Finding& get(const char* id) const {
    const Finding* hit = find(id);
    if (!hit) {
      ADD_FAILURE() << "no finding " << id;
      static Finding none = {};
      return none;
    }
    return *hit;
  }

  // The finding with this id when want holds, failing the test when it is
  // missing; null otherwise, failing the test when it was emitted.
  const Finding* expect_emitted(const char* id, bool want) const {
    const Finding* f = find(id);
    if (want) {
      EXPECT_NE(f, nullptr) << id << " missing";
      return f;
    }
    EXPECT_EQ(f, nullptr) << id << " should not be emitted";
    return nullptr;
  }

  Ev evidence(const Finding& f) {
    Ev out;
    for (const Evidence& e : f.evidence) out.emplace_back(str(e.key), str(e.value));
    return out;
  }
  Ev evidence(const Finding* f) { return evidence(*f); }

  // Unset texts are empty.
  std::string text(StrView v) { return v.len ? str(v) : std::string(); }

  Snapshot* snap = nullptr;
  Report report;
  int32_t next_tid = 100;
};
