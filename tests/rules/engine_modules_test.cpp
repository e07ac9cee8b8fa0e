// The rule engine runs the CPU modules: isolation, power and noise findings
// appear in a full analysis and each of their categories is scored.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rules/rule_module_test.h"

namespace {

class EngineModulesTest : public RuleModuleTest {};

TEST_F(EngineModulesTest, CpuModulesRunAndTheirCategoriesAreScored) {
  machine(snap, "0-3", "2-3");
  set_cpus(&snap->nohz_full, "2-3");
  snap->cpuidle_available = true;
  CpuIdle* idle = list_grow(&arena, &snap->cpuidle);
  idle->cpu = 2;
  IdleState* st = list_grow(&arena, &idle->states);
  st->name = sv("C1");
  st->latency_us.has = true;
  st->latency_us.value = 2;
  snap->timer_migration.has = true;
  run_rules(&report, &arena, snap, Profile::hard_rt, false, 0);

  std::vector<std::string> got;
  for (const Finding* f : report.findings) {
    if (f->category != Category::preemption && f->category != Category::irq &&
        f->category != Category::scheduling) {
      got.push_back(std::string(f->id) + "/" + severity_name(f->severity));
    }
  }
  EXPECT_EQ(got, (std::vector<std::string>{"isolation.housekeeping/pass",
                                           "isolation.nohz_full/pass", "isolation.present/pass",
                                           "isolation.rcu_nocbs/pass", "power.cstate_floor/pass",
                                           "power.governor/na", "noise.timer_migration/pass"}));
  for (Category c : {Category::isolation, Category::power, Category::noise}) {
    EXPECT_TRUE(report.category_scored[static_cast<int>(c)]) << category_id(c);
    EXPECT_EQ(report.category_score[static_cast<int>(c)], 100) << category_id(c);
  }
}

}  // namespace
