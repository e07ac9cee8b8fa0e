#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "base/list.h"
#include "collect/kernel.h"
#include "test_util.h"

namespace {

class KernelConfigTest : public ArenaTest {
 protected:
  KvList parse(const std::string& text) {
    KvList list = {};
    parse_kernel_config(&arena, StrView{text.data(), text.size()}, &list);
    return list;
  }
  std::string get(const KvList& l, const char* key) { return str(kv_get(&l, key)); }
};

std::string rt_config_path() {
  return tests_dir() + "/fixtures/kernel-rt/boot/config-6.1.0-57-rt-amd64";
}
std::string generic_config_path() {
  return tests_dir() + "/fixtures/kernel-generic/boot/config-6.1.0-57-amd64";
}

// Counts the symbol lines of a configuration independently of the parser.
size_t count_symbol_lines(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  size_t n = 0;
  while (std::getline(in, line)) {
    if (line.rfind("CONFIG_", 0) == 0 && line.find('=') != std::string::npos) n++;
    if (line.rfind("# CONFIG_", 0) == 0 && line.size() > 11 &&
        line.compare(line.size() - 11, 11, " is not set") == 0)
      n++;
  }
  return n;
}

TEST_F(KernelConfigTest, RealRtConfiguration) {
  std::string text = read_file(rt_config_path());
  ASSERT_GT(text.size(), 100000u);
  KvList l = parse(text);
  EXPECT_EQ(l.count, count_symbol_lines(text));
  EXPECT_EQ(get(l, "CONFIG_PREEMPT_RT"), "y");
  EXPECT_EQ(get(l, "CONFIG_PREEMPT_LAZY"), "y");
  EXPECT_EQ(get(l, "CONFIG_PREEMPT_NONE"), "n");
  EXPECT_EQ(get(l, "CONFIG_PREEMPT"), "n");
  EXPECT_EQ(get(l, "CONFIG_HZ"), "250");
  EXPECT_EQ(get(l, "CONFIG_NR_CPUS"), "8192");
  // Quoted strings lose their quotes, keep inner blanks and parentheses.
  EXPECT_EQ(get(l, "CONFIG_CC_VERSION_TEXT"), "gcc-12 (Debian 12.2.0-14+deb12u1) 12.2.0");
  EXPECT_EQ(get(l, "CONFIG_DEFAULT_HOSTNAME"), "(none)");
  // "" is a present, empty value.
  StrView local = kv_get(&l, "CONFIG_LOCALVERSION");
  ASSERT_TRUE(local.ptr);
  EXPECT_EQ(local.len, 0u);
  EXPECT_FALSE(kv_has(&l, "CONFIG_PREEMPT_DYNAMIC"));
  EXPECT_TRUE(kv_is_enabled(&l, "CONFIG_SCHEDSTATS"));
  int64_t hz = 0;
  EXPECT_TRUE(kv_get_int(&l, "CONFIG_HZ", &hz));
  EXPECT_EQ(hz, 250);
}

TEST_F(KernelConfigTest, RealGenericConfiguration) {
  std::string text = read_file(generic_config_path());
  KvList l = parse(text);
  EXPECT_EQ(l.count, count_symbol_lines(text));
  EXPECT_EQ(get(l, "CONFIG_PREEMPT_DYNAMIC"), "y");
  EXPECT_EQ(get(l, "CONFIG_PREEMPT_VOLUNTARY"), "y");
  EXPECT_EQ(get(l, "CONFIG_PREEMPT"), "n");
  EXPECT_FALSE(kv_has(&l, "CONFIG_PREEMPT_RT"));
  // Comment lines that are not "is not set" lines leave no trace.
  EXPECT_FALSE(kv_has(&l, "Automatically generated file; DO NOT EDIT."));
  for (const KvPair& p : l) ASSERT_TRUE(p.key.ptr && p.value.ptr);
}

TEST_F(KernelConfigTest, CommentLines) {
  KvList l = parse(
      "#\n# Automatically generated file; DO NOT EDIT.\n"
      "# CONFIG_HZ_1000 is not set\n"
      "   # CONFIG_INDENTED is not set   \n"
      "#CONFIG_NOSPACE is not set\n"
      "# CONFIG_TRAILING is not set, really\n"
      "# CONFIG_ is not set\n"
      "# CONFIG_ODD NAME is not set\n");
  EXPECT_EQ(get(l, "CONFIG_HZ_1000"), "n");
  EXPECT_EQ(get(l, "CONFIG_INDENTED"), "n");
  EXPECT_FALSE(kv_has(&l, "CONFIG_NOSPACE"));
  EXPECT_FALSE(kv_has(&l, "CONFIG_TRAILING"));
  EXPECT_EQ(get(l, "CONFIG_"), "n");
  EXPECT_EQ(get(l, "CONFIG_ODD NAME"), "n");
  EXPECT_EQ(l.count, 4u);
  EXPECT_FALSE(kv_is_enabled(&l, "CONFIG_HZ_1000"));
}

TEST_F(KernelConfigTest, Assignments) {
  KvList l = parse(
      "CONFIG_A=y\r\n"
      "  CONFIG_B =  m  \n"
      "CONFIG_S=\"two words\"\n"
      "CONFIG_Q=\"\n"
      "CONFIG_QQ=\"\"\n"
      "CONFIG_HALF=\"open\n"
      "CONFIG_EQ=a=b\n"
      "NOPREFIX=1\n"
      "no equals sign here\n"
      "\n\n   \n");
  EXPECT_EQ(get(l, "CONFIG_A"), "y");
  EXPECT_EQ(get(l, "CONFIG_B"), "m");
  EXPECT_EQ(get(l, "CONFIG_S"), "two words");
  EXPECT_EQ(get(l, "CONFIG_Q"), "\"");
  EXPECT_EQ(get(l, "CONFIG_QQ"), "");
  EXPECT_EQ(get(l, "CONFIG_HALF"), "\"open");
  EXPECT_EQ(get(l, "CONFIG_EQ"), "a=b");
  EXPECT_EQ(get(l, "NOPREFIX"), "1");
  EXPECT_EQ(l.count, 8u);
}

TEST_F(KernelConfigTest, LastOccurrenceWinsAndListAppends) {
  KvList l = parse("CONFIG_HZ=100\n# CONFIG_X is not set\n");
  std::string more = "CONFIG_HZ=1000\nCONFIG_X=y\n";
  parse_kernel_config(&arena, StrView{more.data(), more.size()}, &l);
  EXPECT_EQ(l.count, 4u);
  EXPECT_EQ(get(l, "CONFIG_HZ"), "1000");
  EXPECT_EQ(get(l, "CONFIG_X"), "y");
}

TEST_F(KernelConfigTest, CopiesOutOfTheInputText) {
  std::string text = "CONFIG_A=\"value\"\n# CONFIG_B is not set\n";
  KvList l = parse(text);
  text.assign(text.size(), 'x');
  EXPECT_EQ(get(l, "CONFIG_A"), "value");
  EXPECT_EQ(get(l, "CONFIG_B"), "n");
}

TEST_F(KernelConfigTest, EmptyAndAbsentText) {
  KvList l = {};
  parse_kernel_config(&arena, kNoneView, &l);
  parse_kernel_config(&arena, StrView{"", 0}, &l);
  EXPECT_EQ(l.count, 0u);
}

// Arbitrary bytes always give a result: every pair lies within the input's
// length and nothing reads past it (the sanitizer build checks the latter).
TEST_F(KernelConfigTest, TotalOnArbitraryBytes) {
  std::mt19937 rng(12345);
  const char alphabet[] = "#=\" \t\r\nCONFIG_ is not set\0\xff";
  for (int round = 0; round < 2000; round++) {
    size_t n = rng() % 200;
    // An exactly sized heap block so an overread is caught.
    char* buf = new char[n ? n : 1];
    for (size_t i = 0; i < n; i++) {
      buf[i] =
          (rng() % 3 == 0) ? static_cast<char>(rng()) : alphabet[rng() % (sizeof alphabet - 1)];
    }
    KvList l = {};
    parse_kernel_config(&arena, StrView{buf, n}, &l);
    for (const KvPair& p : l) {
      ASSERT_TRUE(p.key.ptr && p.value.ptr);
      ASSERT_LE(p.key.len + p.value.len, n);
    }
    delete[] buf;
  }
}

}  // namespace
