// Finding the holder of /dev/cpu_dma_latency through a /proc laid out in a
// temporary directory: fd links, this process skipped, the lowest pid taken.
#include "source/pm_qos_hold.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "test_util.h"

namespace {

TEST(PmQosHold, TheLowestOtherPidWithTheDeviceOpen) {
  Arena a;
  arena_init(&a);
  TempDir t;
  int32_t value = 20;
  t.write("dev", std::string(reinterpret_cast<const char*>(&value), sizeof value));
  std::string self = std::to_string(getpid());
  struct Proc { std::string pid; const char* target; const char* comm; };
  for (const Proc& p : {Proc{self, "dev", "kelvane"}, Proc{"900", "dev", "late"},
                        Proc{"812", "dev", "ct\x1brl\n"}, Proc{"7", "other", "noise"}}) {
    t.write("proc/" + p.pid + "/comm", p.comm);
    t.write("proc/" + p.pid + "/fd/.keep", "");
    ASSERT_EQ(symlink(t.file(p.target).c_str(), t.file("proc/" + p.pid + "/fd/3").c_str()), 0);
  }
  PmQosHolder h = {};
  ASSERT_TRUE(pm_qos_find_holder(&a, t.file("proc").c_str(), t.file("dev").c_str(), &h));
  EXPECT_EQ(h.pid, 812);
  EXPECT_TRUE(h.value_known);
  EXPECT_EQ(h.value_us, 20);
  StrView text = pm_qos_holder_text(&a, &h);
  EXPECT_EQ(std::string(text.ptr, text.len), "pid 812 (ct?rl)");
  EXPECT_FALSE(pm_qos_find_holder(&a, t.file("proc").c_str(), t.file("none").c_str(), &h));
  EXPECT_FALSE(h.held);
  arena_release(&a);
}

}  // namespace
