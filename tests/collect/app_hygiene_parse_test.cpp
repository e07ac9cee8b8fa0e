// The parsers behind the application hygiene and console rules.
#include <gtest/gtest.h>

#include "collect/consoles.h"
#include "collect/task_sample.h"
#include "collect/task_stat.h"
#include "test_util.h"

namespace {

class AppHygieneParse : public ArenaTest {};

// VmLck counts only in kB; a counter that went down gave no growth.
TEST_F(AppHygieneParse, VmLckOnlyInKbAndGrowthNeverNegative) {
  for (const char* line : {"VmLck:\t  131072\n", "VmLck:\t  12 MB\n", "VmLck:\t  -4 kB\n"}) {
    RtTask t{};
    parse_task_status(sv(line), &t);
    EXPECT_FALSE(t.vm_lck_kb.has) << line;
  }
  EXPECT_EQ(counter_growth(opt_some(int64_t{5}), opt_some(int64_t{9})).value, 4);
  EXPECT_FALSE(counter_growth(opt_some(int64_t{9}), opt_some(int64_t{5})).has);
}

TEST_F(AppHygieneParse, ConsoleLayoutsToldByTheFlagField) {
  List<Console> out{};
  EXPECT_TRUE(parse_consoles(&arena, sv("ttyS0  -W- (EC Np  )    4:64\ntty0  -WU (E  p  )    4:1\n"
                                        "netcon0 -W- (E      )\n"),
                             &out));
  ASSERT_EQ(out.count, 3u);
  EXPECT_TRUE(out[0].nbcon && out[0].enabled);
  EXPECT_FALSE(out[1].nbcon || out[2].nbcon);  // six flags; seven without N
  for (const char* bad : {"ttyS0 -W- (EC pX )\n", "ttyS0 -W- (ECBNpbaa)\n", "ttyS0 -W-\n"}) {
    List<Console> none{};
    EXPECT_FALSE(parse_consoles(&arena, sv(bad), &none)) << bad;
  }
}

}  // namespace
