// Boot parameters compared as the kernel reads them, and the configured
// lines they come from (GRUB defaults, sysctl.d keys).
#include <gtest/gtest.h>

#include "base/boot_params_read.h"
#include "collect/grub_default.h"
#include "collect/sysctl_conf.h"
#include "test_util.h"

namespace {

class BootCompareTest : public ArenaTest {};

struct CompareCase {
  BootValueKind kind;
  const char* x;  // null: not on the line; "-": a bare word
  const char* y;
  bool same;
};

BootValue reading(const char* s) {
  if (!s) return BootValue{};
  if (strcmp(s, "-") == 0) return BootValue{true, kNoneView};
  return BootValue{true, sv_from_cstr(s)};
}

TEST_F(BootCompareTest, ValuesAsTheKernelReadsThem) {
  constexpr CompareCase kCases[] = {
      {BootValueKind::cpulist, "2-3", "2,3", true},
      {BootValueKind::cpulist, "2-3", "2-4", false},
      {BootValueKind::cpulist, "2-N", "2-7", true},
      {BootValueKind::cpulist, "2-3", nullptr, false},
      {BootValueKind::isolcpus, "2-3", "domain,2-3", true},
      {BootValueKind::isolcpus, "managed_irq,domain,2-3", "domain,managed_irq,2,3", true},
      {BootValueKind::isolcpus, "nohz,2-3", "2-3", false},
      {BootValueKind::text, "off", "off", true},
      {BootValueKind::text, "off", "auto", false},
      {BootValueKind::flag, "-", "1", true},
      {BootValueKind::flag, nullptr, nullptr, true},
  };
  for (const CompareCase& c : kCases) {
    EXPECT_EQ(boot_values_same(&arena, c.kind, reading(c.x), reading(c.y), 7), c.same)
        << c.x << " / " << c.y;
  }
}

TEST_F(BootCompareTest, GrubDefaultsExpandAsTheShellDoes) {
  ShellVars vars{};
  EXPECT_EQ(parse_grub_default(&arena, sv("A=\"quiet\"\nexport A=\"$A x\\\"y\"\nB=${A:+$A }'z w'\n"),
                               &vars), 0);
  EXPECT_EQ(str(shell_vars_get(&vars, "B")->value), "quiet x\"y z w");
  EXPECT_EQ(shell_vars_get(&vars, "B")->line, 3);
  EXPECT_EQ(parse_grub_default(&arena, sv("C=1\n\nD=\"open\n"), &vars), 3);
}

TEST_F(BootCompareTest, SysctlKeysInBothSpellings) {
  List<PersistedSysctl> out{};
  parse_sysctl_conf(&arena, sv("; c\n-kernel/watchdog = 0\nnet/ipv4/conf/eth0.100/x=1\nnokey\n"),
                    sv("/etc/sysctl.d/a.conf"), &out);
  ASSERT_EQ(out.count, 2u);
  EXPECT_EQ(str(out[0].key), "kernel.watchdog");
  EXPECT_EQ(out[0].line, 2);
  EXPECT_EQ(str(out[1].key), "net.ipv4.conf.eth0/100.x");
}

}  // namespace
