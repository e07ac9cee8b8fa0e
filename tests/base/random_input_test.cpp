// Arbitrary bytes must give every parser a result or a clean refusal.
#include <string>

#include "base/cpuset.h"
#include "base/parse.h"
#include "random_bytes.h"
#include "test_util.h"

namespace {

constexpr int kRounds = 4000;
const std::string kListChars = "0123456789,-:/ \t\nabx";
const std::string kMaskChars = "0123456789abcdefABCDEFxX, \n-+";
const std::string kNumChars = "0123456789+-.eExXpPinfaINFA \t\n";

}  // namespace

class RandomInput : public ArenaTest {};

TEST_F(RandomInput, CpuListsParseAndFormatRoundTrip) {
  RandomBytes rnd(1);
  for (int i = 0; i < kRounds; i++) {
    std::string text = rnd.next(kListChars, 40);
    CpuSet s, back;
    cpuset_parse_list(&s, rnd.hold(text));
    StrView f = cpuset_format_list(&arena, &s);
    cpuset_parse_list(&back, f);
    ASSERT_TRUE(cpuset_equal(&s, &back)) << text;
  }
}

TEST_F(RandomInput, CpuMasks) {
  RandomBytes rnd(2);
  for (int i = 0; i < kRounds; i++) {
    std::string text = rnd.next(kMaskChars, 300);
    CpuSet s;
    cpuset_parse_mask(&s, rnd.hold(text));
    EXPECT_LE(cpuset_count(&s), 4096);
  }
}

TEST_F(RandomInput, Isolcpus) {
  RandomBytes rnd(3);
  const std::string words[] = {"nohz,", "domain,", "managed_irq,", "nohz", ","};
  for (int i = 0; i < kRounds; i++) {
    std::string text;
    while (rnd.pick(3)) text += words[rnd.pick(5)];
    text += rnd.next(kListChars, 20);
    CpuSet s;
    StrList flags{};
    parse_isolcpus(&arena, rnd.hold(text), &s, &flags);
    EXPECT_LE(flags.count, text.size());
  }
}

TEST_F(RandomInput, Numbers) {
  RandomBytes rnd(4);
  for (int i = 0; i < kRounds; i++) {
    std::string text = rnd.next(kNumChars, 70);
    StrView v = rnd.hold(text);
    int64_t n = 0;
    double d = 0;
    int32_t n32 = 0;
    bool ok10 = parse_int(v, 10, &n);
    bool fits32 = ok10 && n >= INT32_MIN && n <= INT32_MAX;
    parse_int(v, 16, &n);
    parse_int(v, static_cast<int>(rnd.pick(40)) - 2, &n);
    EXPECT_EQ(parse_i32(v, &n32), fits32);
    // Every decimal integer is also a valid floating-point text.
    if (ok10) {
      EXPECT_TRUE(parse_double(v, &d)) << text;
    } else {
      parse_double(v, &d);
    }
  }
}
