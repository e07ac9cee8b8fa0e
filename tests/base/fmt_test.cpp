#include "base/fmt.h"

#include <cmath>
#include <limits>
#include <string>

#include "test_util.h"

class FmtTest : public ArenaTest {
 protected:
  std::string dur(double us, bool ascii = false) { return str(fmt_duration_us(&arena, us, ascii)); }
  std::string khz(int64_t v) { return str(fmt_khz(&arena, v)); }
  std::string count(double v) { return str(fmt_count(&arena, v)); }
  std::string bytes(int64_t v) { return str(fmt_bytes(&arena, v)); }
  static constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
};

TEST_F(FmtTest, Duration) {
  EXPECT_EQ(dur(5), "5.0 \xC2\xB5s");
  EXPECT_EQ(dur(5, true), "5.0 us");
  EXPECT_EQ(dur(0), "0.0 \xC2\xB5s");
  EXPECT_EQ(dur(9.94), "9.9 \xC2\xB5s");
  EXPECT_EQ(dur(9.99), "10.0 \xC2\xB5s");  // below 10 keeps one decimal
  EXPECT_EQ(dur(10), "10 \xC2\xB5s");
  EXPECT_EQ(dur(10, true), "10 us");
  EXPECT_EQ(dur(999.4), "999 \xC2\xB5s");
  EXPECT_EQ(dur(999.96), "1000 \xC2\xB5s");
  EXPECT_EQ(dur(1000), "1.0 ms");
  EXPECT_EQ(dur(1500), "1.5 ms");
  EXPECT_EQ(dur(1500, true), "1.5 ms");
  EXPECT_EQ(dur(999999.9), "1000.0 ms");
  EXPECT_EQ(dur(1000000), "1.00 s");
  EXPECT_EQ(dur(2500000), "2.50 s");
  EXPECT_EQ(dur(-3), "-3.0 \xC2\xB5s");
  EXPECT_EQ(dur(kNan), "n/a");
  EXPECT_EQ(dur(kNan, true), "n/a");
}

TEST_F(FmtTest, Frequency) {
  EXPECT_EQ(khz(1000000), "1.00 GHz");
  EXPECT_EQ(khz(999999), "999 MHz");
  EXPECT_EQ(khz(2400000), "2.40 GHz");
  EXPECT_EQ(khz(3456789), "3.46 GHz");
  EXPECT_EQ(khz(800000), "800 MHz");
  EXPECT_EQ(khz(999), "0 MHz");
  EXPECT_EQ(khz(0), "0 MHz");
  EXPECT_EQ(khz(-1), "n/a");
  EXPECT_EQ(khz(INT64_MIN), "n/a");
}

TEST_F(FmtTest, Count) {
  EXPECT_EQ(count(0), "0");
  EXPECT_EQ(count(999), "999");
  EXPECT_EQ(count(999.9), "999");
  EXPECT_EQ(count(1000), "1.0k");
  EXPECT_EQ(count(1500), "1.5k");
  EXPECT_EQ(count(999999), "1000.0k");
  EXPECT_EQ(count(2000000), "2.0M");
  EXPECT_EQ(count(-5.7), "-5");
  EXPECT_EQ(count(-2500), "-2500");
  EXPECT_EQ(count(-1e300), "-9223372036854775808");
  EXPECT_EQ(count(-9.21e18), "-9210000000000000000");
  EXPECT_EQ(count(-std::numeric_limits<double>::infinity()), "-9223372036854775808");
  EXPECT_EQ(count(kNan), "n/a");
}

TEST_F(FmtTest, Bytes) {
  EXPECT_EQ(bytes(0), "0 B");
  EXPECT_EQ(bytes(1023), "1023 B");
  EXPECT_EQ(bytes(1024), "1.0 kB");
  EXPECT_EQ(bytes(1536), "1.5 kB");
  EXPECT_EQ(bytes(1048575), "1024.0 kB");
  EXPECT_EQ(bytes(1048576), "1.0 MB");
  EXPECT_EQ(bytes(1073741824), "1.0 GB");
  EXPECT_EQ(bytes(int64_t{3} << 40), "3072.0 GB");
  EXPECT_EQ(bytes(-5), "n/a");
}

TEST_F(FmtTest, NotAvailableIsAConstant) {
  StrView a = fmt_bytes(&arena, -1);
  StrView b = fmt_count(&arena, kNan);
  EXPECT_EQ(a.ptr, b.ptr);
  EXPECT_EQ(arena.total, 0u);
  StrView v = fmt_khz(&arena, 1);
  EXPECT_EQ(v.ptr[v.len], '\0');
}
