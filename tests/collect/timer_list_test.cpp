#include "collect/timer_list.h"

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

}  // namespace
