#include "collect/timer_list.h"
#include "collect/tick_stop.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace {

class TimerListTest : public ArenaTest {};

// Layout of /proc/timer_list (Timer List Version v0.10): the active timers
// of each clock base under "cpu: N", then the tick devices, whose lines
// are no timers.
constexpr char kTimerList[] =
    "Timer List Version: v0.10\n"
    "cpu: 0\n clock 0:\nactive timers:\n"
    " #0: <000000008f5e6464>, tick_nohz_handler, S:01\n"
    " # expires at 2581188000000-2581188000000 nsecs [in 3137499 to 3137499 nsecs]\n"
    " #1: <0000000000c13676>, dl_task_timer, S:01\n"
    "cpu: 1\n clock 0:\nactive timers:\n"
    " #0: <00000000b549e3a0>, watchdog_timer_fn, S:01\n"
    " #1: <00000000b549e3a1>, watchdog_timer_fn, S:01\n"
    " #2: <00000000b549e3a2>, bad name, S:01\n"
    "cpu: 0\n #3: <0>, hrtimer_wakeup, S:01\n"
    "Tick Device: mode:     1\n #0: <0>, not_a_timer, S:01\n";

TEST_F(TimerListTest, FunctionsPerCpu) {
  List<CpuTimers> out{};
  ASSERT_TRUE(parse_timer_list(&arena, sv(kTimerList), &out));
  ASSERT_EQ(out.count, 2u);
  auto names = [this](const CpuTimers* t) { return str(t->functions[0]) + " " + str(t->functions[t->functions.count - 1]); };
  EXPECT_EQ(names(timers_of_cpu(&out, 0)), "tick_nohz_handler hrtimer_wakeup");
  EXPECT_EQ(names(timers_of_cpu(&out, 1)), "watchdog_timer_fn watchdog_timer_fn");
  EXPECT_EQ(out[0].functions.count + out[1].functions.count, 4u);
  EXPECT_EQ(timers_of_cpu(&out, 2), nullptr);
  EXPECT_FALSE(parse_timer_list(&arena, sv("cpu: 99999\n #0: <0>, x, S:01\n"), &(out = {})));
}

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
