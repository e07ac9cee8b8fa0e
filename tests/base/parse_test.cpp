#include "base/parse.h"

#include <cmath>
#include <string>

#include "test_util.h"

class ParseTest : public ArenaTest {};

TEST_F(ParseTest, I64AcceptsSignsAndSurroundingSpace) {
  int64_t v = 0;
  EXPECT_TRUE(parse_i64(sv(" 42\n"), &v));
  EXPECT_EQ(v, 42);
  EXPECT_TRUE(parse_i64(sv("-7"), &v));
  EXPECT_EQ(v, -7);
  EXPECT_TRUE(parse_i64(sv("+3"), &v));
  EXPECT_EQ(v, 3);
  EXPECT_TRUE(parse_i64(sv("\t0\r\n"), &v));
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(parse_i64(sv("007"), &v));
  EXPECT_EQ(v, 7);
  EXPECT_TRUE(parse_i64(sv("9223372036854775807"), &v));
  EXPECT_EQ(v, INT64_MAX);
  EXPECT_TRUE(parse_i64(sv("-9223372036854775808"), &v));
  EXPECT_EQ(v, INT64_MIN);
}

TEST_F(ParseTest, I64RejectsAnythingButOneNumber) {
  std::string long_num(64, '1');
  for (const char* s : {"", "   ", "42abc", "0x10", "4 2", "--1", "+", "-", "1.5", "abc",
                        "99999999999999999999", "9223372036854775808", "-9223372036854775809",
                        long_num.c_str()}) {
    int64_t v = 123;
    EXPECT_FALSE(parse_i64(sv(s), &v)) << s;
    EXPECT_EQ(v, 123) << s;
  }
  int64_t v = 1;
  EXPECT_FALSE(parse_i64(kNoneView, &v));
  // A NUL byte is data, not the end of the text.
  EXPECT_FALSE(parse_i64(sv_make("12\0", 3), &v));
  EXPECT_FALSE(parse_i64(sv_make("12\0abc", 6), &v));
  EXPECT_FALSE(parse_i64(sv_make("\0" "12", 3), &v));
  double d = 1;
  EXPECT_FALSE(parse_double(sv_make("1.5\0x", 5), &d));
  EXPECT_EQ(d, 1);
  EXPECT_EQ(v, 1);
}

TEST_F(ParseTest, LengthLimitCountsTrimmedText) {
  std::string n63(63, '1'), n63pad = "  " + std::string(62, '0') + "5  ";
  int64_t v = 0;
  EXPECT_FALSE(parse_i64(sv(n63.c_str()), &v));  // 63 digits overflow
  EXPECT_TRUE(parse_i64(sv(n63pad.c_str()), &v));
  EXPECT_EQ(v, 5);
  std::string n64 = std::string(63, '0') + "5";
  EXPECT_FALSE(parse_i64(sv(n64.c_str()), &v));
}

TEST_F(ParseTest, IntBase16) {
  int64_t v = 0;
  EXPECT_TRUE(parse_int(sv("ff"), 16, &v));
  EXPECT_EQ(v, 255);
  EXPECT_TRUE(parse_int(sv("0xff"), 16, &v));
  EXPECT_EQ(v, 255);
  EXPECT_TRUE(parse_int(sv("0XFF\n"), 16, &v));
  EXPECT_EQ(v, 255);
  EXPECT_TRUE(parse_int(sv("ffffffff"), 16, &v));
  EXPECT_EQ(v, 0xffffffffLL);
  EXPECT_FALSE(parse_int(sv("ffffffffffffffff"), 16, &v));
  EXPECT_FALSE(parse_int(sv("fg"), 16, &v));
  EXPECT_FALSE(parse_int(sv("0x"), 16, &v));
  EXPECT_FALSE(parse_int(sv("ff"), 10, &v));
}

TEST_F(ParseTest, IntRejectsInvalidBases) {
  int64_t v = 9;
  EXPECT_FALSE(parse_int(sv("1"), 1, &v));
  EXPECT_FALSE(parse_int(sv("1"), 37, &v));
  EXPECT_FALSE(parse_int(sv("1"), -2, &v));
  EXPECT_EQ(v, 9);
}

TEST_F(ParseTest, I32RefusesWhatDoesNotFit) {
  int32_t v = 5;
  for (const char* text : {"4294967297", "2147483648", "-2147483649", "4294967296"})
    EXPECT_FALSE(parse_i32(sv(text), &v)) << text;
  EXPECT_EQ(v, 5);
  EXPECT_TRUE(parse_i32(sv("-2147483648"), &v));
  EXPECT_EQ(v, INT32_MIN);
  EXPECT_TRUE(parse_i32(sv("2147483647"), &v));
  EXPECT_EQ(v, INT32_MAX);
  EXPECT_TRUE(parse_i32(sv("-1"), &v));
  EXPECT_EQ(v, -1);
  EXPECT_TRUE(parse_i32(sv("12"), &v));
  EXPECT_EQ(v, 12);
  v = 5;
  EXPECT_FALSE(parse_i32(sv("x"), &v));
  EXPECT_EQ(v, 5);
}

TEST_F(ParseTest, Double) {
  double d = 0;
  EXPECT_TRUE(parse_double(sv("1e3"), &d));
  EXPECT_EQ(d, 1000.0);
  EXPECT_TRUE(parse_double(sv(" 2.5 "), &d));
  EXPECT_EQ(d, 2.5);
  EXPECT_TRUE(parse_double(sv("-0.125"), &d));
  EXPECT_EQ(d, -0.125);
  EXPECT_TRUE(parse_double(sv("0x1p4"), &d));
  EXPECT_EQ(d, 16.0);
  EXPECT_TRUE(parse_double(sv("inf"), &d));
  EXPECT_TRUE(std::isinf(d));
  EXPECT_TRUE(parse_double(sv("nan"), &d));
  EXPECT_TRUE(std::isnan(d));
  EXPECT_TRUE(parse_double(sv("42"), &d));
  EXPECT_EQ(d, 42.0);
  d = 7;
  for (const char* s : {"1,5", "abc", "", " ", "1e999", "1e-999", "2.5x", "."}) {
    EXPECT_FALSE(parse_double(sv(s), &d)) << s;
  }
  EXPECT_FALSE(parse_double(kNoneView, &d));
  EXPECT_EQ(d, 7);
}
