#include "collect/sysfs.h"

#include "test_util.h"

namespace {

TEST(Sysfs, NumberedNames) {
  struct Case {
    const char* path;
    const char* prefix;
    bool ok;
    int32_t n;
  } cases[] = {
      {"/sys/devices/system/cpu/cpu12", "cpu", true, 12},
      {"/sys/devices/system/cpu/cpu0/cpuidle/state3", "state", true, 3},
      {"node1", "node", true, 1},
      {"/sys/devices/system/cpu/cpu1x", "cpu", false, 0},
      {"/sys/devices/system/cpu/cpufreq", "cpu", false, 0},
      {"/sys/devices/system/cpu/cpu", "cpu", false, 0},
      {"/x/cpu-1", "cpu", false, 0},
      {"/x/cpu 1", "cpu", false, 0},
      {"/x/cpu1234567890", "cpu", false, 0},  // more digits than a CPU number holds
      {"/x/cpu999999999", "cpu", true, 999999999},
      {"/cpu3/x", "cpu", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    int32_t n = -7;
    EXPECT_EQ(parse_numbered_name(sv_from_cstr(c.path), sv_from_cstr(c.prefix), &n), c.ok);
    EXPECT_EQ(n, c.ok ? c.n : -7);
  }
}

}  // namespace
