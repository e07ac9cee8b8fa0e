// The parsers behind the application hygiene and console rules: stat fault
// counters, VmLck/VmRSS, counter growth and the two /proc/consoles layouts.
#include <gtest/gtest.h>

#include "collect/consoles.h"
#include "collect/platform.h"
#include "collect/task_sample.h"
#include "collect/task_stat.h"
#include "test_util.h"

namespace {

class AppHygieneParse : public ArenaTest {};

TEST_F(AppHygieneParse, StatFaultFields) {
  TaskStat st;
  ASSERT_TRUE(parse_task_stat(sv("7 (a b) S 1 7 7 0 -1 4194560 11 0 12 0 1 2 0 0 -51 0 1 0 9 0 0 "
                                 "0 0 0 0 0 0 0 0 0 0 0 0 17 3 50 1 0 0 0"),
                              &st));
  EXPECT_EQ(st.minflt.value, 11);
  EXPECT_EQ(st.majflt.value, 12);
}

TEST_F(AppHygieneParse, VmLckNeedsKb) {
  struct Row {
    const char* text;
    bool has;
    int64_t kb;
  } rows[] = {{"VmLck:\t  131072 kB\n", true, 131072},
              {"VmLck:\t  131072\n", false, 0},
              {"VmLck:\t  12 MB\n", false, 0},
              {"VmLck:\t  -4 kB\n", false, 0}};
  for (const Row& r : rows) {
    RtTask t{};
    parse_task_status(sv(r.text), &t);
    EXPECT_EQ(t.vm_lck_kb.has, r.has) << r.text;
    EXPECT_EQ(t.vm_lck_kb.value, r.kb) << r.text;
  }
}

TEST_F(AppHygieneParse, CounterGrowthNeverNegative) {
  EXPECT_EQ(counter_growth(opt_some(int64_t{5}), opt_some(int64_t{9})).value, 4);
  EXPECT_FALSE(counter_growth(opt_some(int64_t{9}), opt_some(int64_t{5})).has);
  EXPECT_FALSE(counter_growth(OptInt{}, opt_some(int64_t{5})).has);
}

TEST_F(AppHygieneParse, ConsoleLayouts) {
  List<Console> out{};
  EXPECT_TRUE(parse_consoles(&arena, sv("ttyS0                -W- (EC Np  )    4:64\n"
                                        "tty0                 -WU (E  p  )    4:1\n"
                                        "netcon0              -W- (E      )\n"),
                             &out));
  ASSERT_EQ(out.count, 3u);
  EXPECT_TRUE(out[0].nbcon && out[0].enabled);
  EXPECT_FALSE(out[1].nbcon);  // six flags: the layout without N
  EXPECT_EQ(str(out[1].name), "tty0");
  EXPECT_FALSE(out[2].nbcon);  // seven flags, N not set
  for (const char* bad : {"ttyS0 -W- (EC pX )\n", "ttyS0 -W- (ECBNpbaa)\n", "ttyS0 -W-\n"}) {
    List<Console> none{};
    EXPECT_FALSE(parse_consoles(&arena, sv(bad), &none)) << bad;
    EXPECT_EQ(none.count, 0u) << bad;
  }
}

TEST_F(AppHygieneParse, CpuinfoFlags) {
  StrView f = parse_cpuinfo_flags(sv("processor\t: 0\nflags\t\t: fpu constant_tsc\nflags : x\n"));
  EXPECT_EQ(str(f), "fpu constant_tsc");
  EXPECT_TRUE(word_list_has(f, "constant_tsc"));
  EXPECT_FALSE(word_list_has(f, "nonstop_tsc"));
}

}  // namespace
