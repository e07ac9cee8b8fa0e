// A fixture that runs one rule module alone over a Snapshot built in code and
// looks at what it emitted, in emission order.
#pragma once

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

class RuleModuleTest : public ArenaTest {
 protected:
  void SetUp() override {
    ArenaTest::SetUp();
    fresh();
  }

  // A new zero-filled Snapshot (the old one stays in the arena).
  void fresh() {
    snap = arena_new<Snapshot>(&arena);
    snap->arena = &arena;
  }

  // target_us 0 means the profile's default.
  void run(RuleModuleFn module, Profile profile = Profile::hard_rt, double target_us = 0) {
    report = Report{};
    report.arena = &arena;
    report.snapshot = snap;
    report.profile = profile;
    report.target_us = target_us > 0 ? target_us : default_target_us(profile);
    RuleContext ctx = make_rule_context(&report);
    module(&report, &ctx);
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

  Ev evidence(const Finding* f) {
    Ev out;
    for (const Evidence& e : f->evidence) out.emplace_back(str(e.key), str(e.value));
    return out;
  }

  // Unset texts are empty.
  std::string text(StrView v) { return v.len ? str(v) : std::string(); }

  Snapshot* snap;
  Report report;
};

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
