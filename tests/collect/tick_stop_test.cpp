#include "collect/tick_stop.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace {

class TickStopTest : public ArenaTest {};

constexpr uint32_t bit(TickDep d) { return 1u << static_cast<unsigned>(d); }

struct TickStopCase { const char* text; int32_t cpu; uint32_t failures, deps; };  // cpu -1: none

// Trace lines (the task name may hold brackets); only success=0 counts.
constexpr TickStopCase kCases[] = {
    {"  <idle>-0  [003] d..2.  12.5: tick_stop: success=0 dependency=SCHED\n", 3, 1,
     bit(TickDep::sched)},
    {"  a [7] b-9 [012] ....  1.0: tick_stop: success=0 dependency=POSIX_TIMER\n"
     "  x-1 [012] ....  1.1: tick_stop: success=0 dependency=RCU_EXP\r\n"
     "  x-1 [012] ....  1.2: tick_stop: success=0 dependency=NEW_ONE\n",
     12, 3, bit(TickDep::posix_timer) | bit(TickDep::rcu_exp) | bit(TickDep::other)},
    {"  x-1 [001] ....  1.0: tick_stop: success=1 dependency=NONE\n", -1, 0, 0},
    {"  [1] [99999] ....  1.0: tick_stop: success=0 dependency=RCU\n", -1, 0, 0},
    {"  x-1 [001] ....  1.0: tick_nohz: success=0 dependency=RCU\n", -1, 0, 0},
};

TEST_F(TickStopTest, FailuresPerCpu) {
  for (const TickStopCase& c : kCases) {
    List<TickStopCpu> out{};
    EXPECT_EQ(parse_tick_stop(&arena, sv(c.text), &out), c.cpu >= 0) << c.text;
    if (c.cpu < 0) continue;
    ASSERT_EQ(out.count, 1u) << c.text;
    EXPECT_TRUE(out[0].cpu == c.cpu && out[0].failures == c.failures && out[0].deps == c.deps)
        << c.text;
  }
}

}  // namespace
