#include "collect/task_stat.h"

#include <string>
#include <vector>

#include "base/cpuset.h"
#include "test_util.h"

namespace {

class TaskStatTest : public ArenaTest {
 protected:
  bool parse(const std::string& line) {
    text_ = line;
    st = TaskStat{};
    return parse_task_stat(StrView{text_.data(), text_.size()}, &st);
  }
  std::string text_;
  TaskStat st{};
};

// Real lines: a kernel thread, a threaded handler, a user process, a zombie.
constexpr const char kMigration[] =
    "18 (migration/0) S 2 0 0 0 -1 69238848 0 0 0 0 0 5 0 0 -100 0 1 0 25 0 0 "
    "18446744073709551615 0 0 0 0 0 0 0 2147483647 0 1 0 0 17 0 99 1 0 0 0 0 0 0 0 0 0 0 0";
constexpr const char kIrqThread[] =
    "53 (irq/24-ACPI:Ged) S 2 0 0 0 -1 2129984 0 0 0 0 0 0 0 0 -51 0 1 0 41 0 0 "
    "18446744073709551615 0 0 0 0 0 0 0 2147483647 0 1 0 0 17 0 50 1 0 0 0 0 0 0 0 0 0 0 0";
constexpr const char kUser[] =
    "1 (init) S 0 0 0 0 -1 4194560 700 15100623 0 971 0 19 28965 4444 10 -10 40 0 25 61693952 "
    "4427 18446744073709551615 1 1 0 0 0 0 0 4096 1256 0 0 0 17 1 0 0 0 0 0 0 0 0 0 0 0 0 0";
constexpr const char kZombie[] =
    "1392 (worker) Z 1309 1307 9261 0 -1 4227148 215 0 0 0 0 0 0 0 20 0 1 0 180235 0 0 "
    "18446744073709551615 0 0 0 0 0 0 0 16781312 2 1 0 0 17 1 0 0 0 0 0 0 0 0 0 0 0 0 0";

TEST_F(TaskStatTest, RealLines) {
  struct Case {
    const char* line;
    const char* comm;
    const char* state;
    bool kthread;
    int32_t nice, cpu, prio, policy;
  };
  const Case cases[] = {
      {kMigration, "migration/0", "S", true, 0, 0, 99, 1},
      {kIrqThread, "irq/24-ACPI:Ged", "S", true, 0, 0, 50, 1},
      {kUser, "init", "S", false, -10, 1, 0, 0},
      {kZombie, "worker", "Z", false, 0, 1, 0, 0},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(parse(c.line)) << c.line;
    EXPECT_EQ(str(st.comm), c.comm);
    EXPECT_EQ(str(st.state), c.state);
    EXPECT_TRUE(st.has_flags);
    EXPECT_EQ((st.flags & kPfKthread) != 0, c.kthread) << c.comm;
    EXPECT_EQ(st.nice, c.nice) << c.comm;
    EXPECT_EQ(st.last_cpu, c.cpu) << c.comm;
    EXPECT_EQ(st.rt_priority, c.prio) << c.comm;
    EXPECT_EQ(st.policy, c.policy) << c.comm;
  }
}

// The line with its name replaced: the name ends at the last ")".
std::string named(const std::string& name) {
  std::string l = kMigration;
  return "18 (" + name + l.substr(l.find(')'));
}

TEST_F(TaskStatTest, NamesWithBlanksParenthesesAndNewlines) {
  for (const char* name : {"my (odd) name", "a) b", ")(", "", "two\nlines", "((x"}) {
    ASSERT_TRUE(parse(named(name))) << name;
    EXPECT_EQ(str(st.comm), name);
    EXPECT_EQ(st.rt_priority, 99) << name;
    EXPECT_EQ(st.policy, 1) << name;
  }
}

// A line "7 (x) " followed by the given words, padded with "0" words to n.
std::string line_of(std::vector<std::string> words, size_t n) {
  words.resize(n, "0");
  std::string l = "7 (x)";
  for (const std::string& w : words) l += " " + w;
  return l;
}

TEST_F(TaskStatTest, MalformedLines) {
  const std::string bad[] = {"", "18 migration S 1 2 3", ")", "18 (x S", "18 x) S 1 2 3",
                             line_of({"S"}, 38)};
  for (const std::string& b : bad) EXPECT_FALSE(parse(b)) << b;
  EXPECT_TRUE(parse(line_of({"S"}, 39)));
  EXPECT_TRUE(parse(line_of({"S"}, 80)));  // words beyond 64 are not looked at
}

TEST_F(TaskStatTest, UnreadableFieldsKeepTheirDefaults) {
  std::vector<std::string> w(39, "0");
  w[6] = "zz";
  w[16] = "n";
  w[36] = "cpu";
  w[37] = "prio";
  w[38] = "pol";
  ASSERT_TRUE(parse(line_of(w, 39)));
  EXPECT_FALSE(st.has_flags);
  EXPECT_EQ(st.nice, 0);
  EXPECT_EQ(st.last_cpu, -1);
  EXPECT_EQ(st.rt_priority, 0);
  EXPECT_EQ(st.policy, 0);
  w[6] = "0";
  w[38] = "6";
  ASSERT_TRUE(parse(line_of(w, 45)));
  EXPECT_FALSE(st.has_flags);  // flags 0 say nothing
  EXPECT_EQ(st.policy, 6);
}

TEST_F(TaskStatTest, Status) {
  RtTask t{};
  parse_task_status(sv("Name:\tapp\nCpus_allowed:\tc\nCpus_allowed_list:\t2-3\n"
                       "voluntary_ctxt_switches:\t2141\nnonvoluntary_ctxt_switches:\t7"),
                    &t);
  EXPECT_TRUE(t.affinity.has);
  EXPECT_EQ(str(cpuset_format_list(&arena, &t.affinity.value)), "2,3");
  EXPECT_TRUE(t.voluntary_switches.has);
  EXPECT_EQ(t.voluntary_switches.value, 2141);
  EXPECT_TRUE(t.nonvoluntary_switches.has);
  EXPECT_EQ(t.nonvoluntary_switches.value, 7);

  RtTask u{};
  parse_task_status(sv("Name:\tz\nvoluntary_ctxt_switches:\tmany\n"), &u);
  EXPECT_FALSE(u.affinity.has);
  EXPECT_FALSE(u.voluntary_switches.has);
  EXPECT_FALSE(u.nonvoluntary_switches.has);
}

TEST_F(TaskStatTest, RolesAndInterruptNumbers) {
  struct Case {
    const char* comm;
    const char* role;
    const char* irq;
  };
  const Case cases[] = {
      {"ksoftirqd/3", "Softirq processing", "<none>"},
      {"rcuc/14", "RCU callback processing", "<none>"},
      {"rcu_preempt", "RCU grace period", "<none>"},
      {"ktimers/2", "Timer softirqs (PREEMPT_RT)", "<none>"},
      {"kworker/2:1H-kblockd", "Deferred kernel work", "<none>"},
      {"irq/45-eth0", "Threaded IRQ handler", "45"},
      {"irq/45", "Threaded IRQ handler", "45"},
      {"irq/-x", "Threaded IRQ handler", "<none>"},
      {"irq/ab-x", "Threaded IRQ handler", "<none>"},
      {"irq/", "Threaded IRQ handler", "<none>"},
      {"irq_work/3", "Deferred irq work", "<none>"},
      {"myapp", "<none>", "<none>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(str(task_role(sv(c.comm))), c.role) << c.comm;
    EXPECT_EQ(str(task_irq_number(sv(c.comm))), c.irq) << c.comm;
  }
}

}  // namespace
