// The kernel's N and all in boot-parameter cpulists.
#include <string>

#include "base/cpuset.h"
#include "test_util.h"

namespace {

class BootListTest : public ArenaTest {
 protected:
  std::string resolved(const char* text, int32_t last) {
    return str(cpuset_resolve_boot_list(&arena, text ? sv(text) : kNoneView, last));
  }
};

TEST_F(BootListTest, NAndAllAreSpelledOut) {
  struct Case {
    const char* text;
    int32_t last;
    const char* want;
  } cases[] = {
      {"2-N", 15, "2-15"},
      {"N", 7, "7"},
      {"N-N", 7, "7-7"},
      {"all", 3, "0-3"},
      {"ALL:1/2", 3, "0-3:1/2"},
      {"1,3-N:2/4", 11, "1,3-11:2/4"},
      {"managed_irq,domain,2-N", 15, "managed_irq,domain,2-15"},
      {"0-3,8", 15, "0-3,8"},
      {"allx,Nx,n", 15, "allx,Nx,n"},  // only the exact spellings count
      {"", 15, ""},
      {"2-N", -1, "2-N"},  // last CPU unknown: left for the list parser to skip
      {nullptr, 15, "<none>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(absent)");
    EXPECT_EQ(resolved(c.text, c.last), c.want);
  }
}

TEST_F(BootListTest, ResolvedIsolcpusKeepsItsFlags) {
  CpuSet s;
  StrList flags{};
  parse_isolcpus(&arena, cpuset_resolve_boot_list(&arena, sv("nohz,domain,4-N"), 7), &s, &flags);
  EXPECT_EQ(str(cpuset_format_list(&arena, &s)), "4-7");
  ASSERT_EQ(flags.count, 2u);
  EXPECT_EQ(str(flags.items[1]), "domain");
}

}  // namespace
