#include "base/cpuset.h"

#include <ctime>
#include <string>
#include <vector>

#include "test_util.h"

class CpuSetTest : public ArenaTest {
 protected:
  std::vector<int> members(const CpuSet& s) {
    std::vector<int> v;
    for (int32_t c : CpuIter{&s}) v.push_back(c);
    return v;
  }
  std::vector<int> list(const char* text) {
    CpuSet s;
    cpuset_parse_list(&s, text ? sv(text) : kNoneView);
    return members(s);
  }
  std::vector<int> mask(const char* text) {
    CpuSet s;
    cpuset_parse_mask(&s, text ? sv(text) : kNoneView);
    return members(s);
  }
  std::string fmt(std::initializer_list<int> cpus) {
    CpuSet s{};
    for (int c : cpus) cpuset_add(&s, c);
    return str(cpuset_format_list(&arena, &s));
  }
  using V = std::vector<int>;
};

TEST_F(CpuSetTest, SetOperations) {
  CpuSet a{}, b{};
  EXPECT_TRUE(cpuset_empty(&a));
  EXPECT_EQ(cpuset_first(&a), -1);
  for (int c : {0, 63, 64, 4095}) cpuset_add(&a, c);
  EXPECT_EQ(cpuset_count(&a), 4);
  EXPECT_TRUE(cpuset_has(&a, 63));
  EXPECT_FALSE(cpuset_has(&a, 62));
  cpuset_add(&b, 64);
  cpuset_add(&b, 100);
  EXPECT_TRUE(cpuset_intersects(&a, &b));
  CpuSet c;
  cpuset_copy(&c, &a);
  EXPECT_TRUE(cpuset_equal(&c, &a));
  cpuset_and(&c, &b);
  EXPECT_EQ(members(c), V{64});
  cpuset_copy(&c, &a);
  cpuset_or(&c, &b);
  EXPECT_EQ(members(c), (V{0, 63, 64, 100, 4095}));
  cpuset_andnot(&c, &b);
  EXPECT_EQ(members(c), (V{0, 63, 4095}));
  EXPECT_FALSE(cpuset_intersects(&c, &b));
  cpuset_remove(&c, 63);
  EXPECT_EQ(members(c), (V{0, 4095}));
  cpuset_clear(&c);
  EXPECT_TRUE(cpuset_empty(&c));
}

TEST_F(CpuSetTest, OutOfRangeCpusAreIgnored) {
  CpuSet s{};
  for (int c : {-1, -64, 4096, 5000, INT32_MIN, INT32_MAX}) cpuset_add(&s, c);
  EXPECT_TRUE(cpuset_empty(&s));
  cpuset_add(&s, 7);
  cpuset_remove(&s, 5000);
  cpuset_remove(&s, -1);
  EXPECT_EQ(members(s), V{7});
  EXPECT_FALSE(cpuset_has(&s, 5000));
  EXPECT_FALSE(cpuset_has(&s, -1));
  EXPECT_FALSE(cpuset_has(&s, INT32_MIN));
}

TEST_F(CpuSetTest, Iteration) {
  CpuSet s{};
  for (int c : {3, 64, 127, 128, 4095}) cpuset_add(&s, c);
  EXPECT_EQ(cpuset_first(&s), 3);
  EXPECT_EQ(cpuset_next(&s, -1), 3);
  EXPECT_EQ(cpuset_next(&s, -100), 3);
  EXPECT_EQ(cpuset_next(&s, 3), 64);
  EXPECT_EQ(cpuset_next(&s, 63), 64);
  EXPECT_EQ(cpuset_next(&s, 127), 128);
  EXPECT_EQ(cpuset_next(&s, 128), 4095);
  EXPECT_EQ(cpuset_next(&s, 4095), -1);
  EXPECT_EQ(cpuset_next(&s, 4094), 4095);
  EXPECT_EQ(cpuset_next(&s, 5000), -1);
  EXPECT_EQ(cpuset_next(&s, INT32_MAX), -1);
  EXPECT_EQ(members(s), (V{3, 64, 127, 128, 4095}));
  CpuSet full;
  cpuset_parse_list(&full, sv("0-4095"));
  EXPECT_EQ(cpuset_count(&full), 4096);
  EXPECT_EQ(members(full).size(), 4096u);
}

TEST_F(CpuSetTest, ParseList) {
  EXPECT_EQ(list(""), V{});
  EXPECT_EQ(list(nullptr), V{});
  EXPECT_EQ(list(" \n"), V{});
  EXPECT_EQ(list(" 1 , 3 \n"), (V{1, 3}));
  EXPECT_EQ(list("0-3,8"), (V{0, 1, 2, 3, 8}));
  EXPECT_EQ(list("0 - 2"), (V{0, 1, 2}));
  EXPECT_EQ(list("5-3"), V{});
  EXPECT_EQ(list("a,1"), V{1});
  EXPECT_EQ(list("-1"), V{});
  EXPECT_EQ(list("4096"), V{});
  EXPECT_EQ(list("4095"), V{4095});
  EXPECT_EQ(list("4090-4100"), (V{4090, 4091, 4092, 4093, 4094, 4095}));
  EXPECT_EQ(list("-2-1"), (V{0, 1}));
  EXPECT_EQ(list("1-"), V{});
  EXPECT_EQ(list("1-x"), V{});
  EXPECT_EQ(list(",,2,,"), V{2});
  EXPECT_EQ(list("3,3,1"), (V{1, 3}));
  EXPECT_EQ(list("1-3,nohz"), (V{1, 2, 3}));
  EXPECT_EQ(list("0-2147483647"), list("0-4095"));
}

// A number beyond 32 bits is a malformed item, not its low bits.
TEST_F(CpuSetTest, NumbersBeyond32BitsMakeAnItemMalformed) {
  EXPECT_EQ(list("4294967298"), V{});
  EXPECT_EQ(list("4294967296-4294967299"), V{});
  EXPECT_EQ(list("1-4294967299,7"), V{7});
  EXPECT_EQ(list("0-7:4294967297/4"), list("0-7"));
  CpuSet s;
  parse_isolcpus(&arena, sv("domain,4294967298,5"), &s, nullptr);
  EXPECT_EQ(members(s), V{5});
}

TEST_F(CpuSetTest, RangesAcrossWordBoundaries) {
  const int ends[] = {-3, 0, 1, 62, 63, 64, 65, 127, 128, 1000, 4031, 4032, 4094, 4095, 4096, 5000};
  for (int lo : ends) {
    for (int hi : ends) {
      std::string text = std::to_string(lo) + "-" + std::to_string(hi);
      V want;
      for (int k = lo < 0 ? 0 : lo; k <= hi && k < 4096; k++) want.push_back(k);
      EXPECT_EQ(list(text.c_str()), want) << text;
    }
  }
}

TEST_F(CpuSetTest, ParseListStrides) {
  EXPECT_EQ(list("0-1023:2/256"), (V{0, 1, 256, 257, 512, 513, 768, 769}));
  EXPECT_EQ(list("0-7:2/4"), (V{0, 1, 4, 5}));
  EXPECT_EQ(list("0-7:0/4"), list("0-7"));
  EXPECT_EQ(list("0-7:x"), list("0-7"));
  EXPECT_EQ(list("0-7:2"), list("0-7"));
  EXPECT_EQ(list("0-7:2/"), list("0-7"));
  EXPECT_EQ(list("0-7:2/-4"), list("0-7"));
  EXPECT_EQ(list("0-7:5/4"), list("0-7"));
  EXPECT_EQ(list("5:1/2"), V{5});
  EXPECT_EQ(list("2-9:1/3"), (V{2, 5, 8}));
  EXPECT_EQ(list(":1/2"), V{});
  EXPECT_EQ(list("4094-5000:1/2"), V{4094});
}

TEST_F(CpuSetTest, FormatList) {
  EXPECT_EQ(fmt({}), "");
  CpuSet empty{};
  StrView e = cpuset_format_list(&arena, &empty);
  EXPECT_NE(e.ptr, nullptr);
  EXPECT_EQ(e.len, 0u);
  EXPECT_EQ(fmt({3}), "3");
  EXPECT_EQ(fmt({0, 1}), "0,1");
  EXPECT_EQ(fmt({0, 1, 2}), "0-2");
  EXPECT_EQ(fmt({0, 2, 3, 4, 6, 7}), "0,2-4,6,7");
  EXPECT_EQ(fmt({63, 64, 65}), "63-65");
  EXPECT_EQ(fmt({4094, 4095}), "4094,4095");
  EXPECT_EQ(fmt({0, 4095}), "0,4095");
  CpuSet all;
  cpuset_parse_list(&all, sv("0-4095"));
  EXPECT_EQ(str(cpuset_format_list(&arena, &all)), "0-4095");
  CpuSet even;
  cpuset_parse_list(&even, sv("0-4095:1/2"));
  StrView t = cpuset_format_list(&arena, &even);
  CpuSet back;
  cpuset_parse_list(&back, t);
  EXPECT_TRUE(cpuset_equal(&back, &even));
}

TEST_F(CpuSetTest, ParseMask) {
  EXPECT_EQ(mask("ff"), (V{0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(mask("ff\n"), mask("ff"));
  EXPECT_EQ(mask("0x3"), (V{0, 1}));
  EXPECT_EQ(mask("00000001,00000000"), V{32});
  EXPECT_EQ(mask("2,,1"), (V{0, 33}));
  EXPECT_EQ(mask("80000000,00000000,00000001"), (V{0, 95}));
  EXPECT_EQ(mask("100000001"), V{0});  // only the low 32 bits of a word count
  EXPECT_EQ(mask("xyz"), V{});
  EXPECT_EQ(mask("ff,zz"), V{});
  EXPECT_EQ(mask("zz,ff"), V{});
  EXPECT_EQ(mask(""), V{});
  EXPECT_EQ(mask(nullptr), V{});
  EXPECT_EQ(mask(" , "), V{});
  EXPECT_EQ(mask("0"), V{});
  EXPECT_EQ(mask("-1"), (mask("ffffffff")));
}

TEST_F(CpuSetTest, ParseMaskOf128Words) {
  std::string full;
  for (int i = 0; i < 128; i++) full += (i ? "," : "") + std::string("ffffffff");
  CpuSet s;
  cpuset_parse_mask(&s, sv(full.c_str()));
  EXPECT_EQ(cpuset_count(&s), 4096);
  std::string too_many = "1," + full;
  cpuset_parse_mask(&s, sv(too_many.c_str()));
  EXPECT_TRUE(cpuset_empty(&s));
  std::string top = "80000000";
  for (int i = 0; i < 127; i++) top += ",0";
  cpuset_parse_mask(&s, sv(top.c_str()));
  EXPECT_EQ(members(s), V{4095});
}

TEST_F(CpuSetTest, FailedParseClearsAPreviousSet) {
  CpuSet s;
  cpuset_parse_list(&s, sv("0-100"));
  cpuset_parse_mask(&s, sv("ff,zz"));
  EXPECT_TRUE(cpuset_empty(&s));
  cpuset_parse_list(&s, sv("0-100"));
  cpuset_parse_list(&s, sv("x"));
  EXPECT_TRUE(cpuset_empty(&s));
}

TEST_F(CpuSetTest, Isolcpus) {
  CpuSet s;
  StrList flags{};
  auto flag_texts = [&] {
    std::vector<std::string> v;
    for (StrView f : flags) v.push_back(str(f));
    return v;
  };
  parse_isolcpus(&arena, sv("nohz,domain,managed_irq,2-5"), &s, &flags);
  EXPECT_EQ(members(s), (V{2, 3, 4, 5}));
  EXPECT_EQ(flag_texts(), (std::vector<std::string>{"nohz", "domain", "managed_irq"}));
  parse_isolcpus(&arena, sv("domain"), &s, &flags);
  EXPECT_TRUE(cpuset_empty(&s));
  EXPECT_EQ(flag_texts(), std::vector<std::string>{"domain"});
  parse_isolcpus(&arena, sv("2-5"), &s, &flags);
  EXPECT_EQ(members(s), (V{2, 3, 4, 5}));
  EXPECT_EQ(flags.count, 0u);
  parse_isolcpus(&arena, sv(" managed_irq , 1,3 "), &s, &flags);
  EXPECT_EQ(members(s), (V{1, 3}));
  EXPECT_EQ(flag_texts(), std::vector<std::string>{"managed_irq"});
  parse_isolcpus(&arena, sv("1-3,nohz"), &s, &flags);
  EXPECT_EQ(members(s), (V{1, 2, 3}));
  EXPECT_EQ(flags.count, 0u);
  parse_isolcpus(&arena, sv("Domain,2"), &s, nullptr);
  EXPECT_EQ(members(s), V{2});
  parse_isolcpus(&arena, kNoneView, &s, &flags);
  EXPECT_TRUE(cpuset_empty(&s));
  parse_isolcpus(&arena, sv(""), &s, &flags);
  EXPECT_TRUE(cpuset_empty(&s));
  EXPECT_EQ(flags.count, 0u);
}

TEST_F(CpuSetTest, IsolcpusFlagsAreCopies) {
  char value[] = "nohz,4";
  CpuSet s;
  StrList flags{};
  parse_isolcpus(&arena, sv(value), &s, &flags);
  value[0] = 'X';
  ASSERT_EQ(flags.count, 1u);
  EXPECT_EQ(str(flags[0]), "nohz");
}
