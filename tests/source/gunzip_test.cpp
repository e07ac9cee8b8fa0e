#include <string>

#include "gz_util.h"
#include "source/source.h"
#include "test_util.h"

class Gunzip : public ArenaTest {
 protected:
  StrView view(const std::string& s) { return sv_make(s.data(), s.size()); }
};

TEST_F(Gunzip, InflatesGzipAndZlibStreams) {
  std::string text = "CONFIG_PREEMPT_RT=y\nCONFIG_NO_HZ_FULL=y\n";
  for (int bits : {31, 15}) {
    std::string z = deflate_bytes(text, bits);
    StrView out;
    ASSERT_TRUE(gunzip(&arena, view(z), &out)) << bits;
    EXPECT_EQ(str(out), text);
  }
}

TEST_F(Gunzip, EmptyContentIsPresentAndEmpty) {
  std::string z = gzip_bytes("");
  StrView out;
  ASSERT_TRUE(gunzip(&arena, view(z), &out));
  EXPECT_NE(out.ptr, nullptr);
  EXPECT_EQ(out.len, 0u);
}

TEST_F(Gunzip, GrowsTheOutputForHighlyCompressedData) {
  std::string big(3 << 20, 'x');
  for (size_t i = 0; i < big.size(); i += 4099) big[i] = static_cast<char>('a' + i % 26);
  std::string z = gzip_bytes(big);
  ASSERT_LT(z.size() * 6 + 4096, big.size());
  StrView out;
  ASSERT_TRUE(gunzip(&arena, view(z), &out));
  EXPECT_EQ(str(out), big);
}

TEST_F(Gunzip, OnlyTheFirstMemberIsInflated) {
  std::string z = gzip_bytes("first\n") + gzip_bytes("second\n") + "trailing junk";
  StrView out;
  ASSERT_TRUE(gunzip(&arena, view(z), &out));
  EXPECT_EQ(str(out), "first\n");
}

TEST_F(Gunzip, RefusesShortCorruptAndTruncatedInput) {
  StrView out{"x", 1};
  EXPECT_FALSE(gunzip(&arena, kNoneView, &out));
  EXPECT_FALSE(gunzip(&arena, sv("\x1f"), &out));
  EXPECT_FALSE(gunzip(&arena, sv("plain text, not compressed\n"), &out));
  EXPECT_EQ(out.ptr, nullptr);
  std::string z = gzip_bytes(std::string(100000, 'q') + "tail");
  for (size_t cut : {size_t{2}, size_t{10}, z.size() / 2, z.size() - 1}) {
    EXPECT_FALSE(gunzip(&arena, view(z.substr(0, cut)), &out)) << cut;
  }
  std::string bad_crc = z;
  bad_crc[bad_crc.size() - 6] ^= 0x55;
  EXPECT_FALSE(gunzip(&arena, view(bad_crc), &out));
  std::string bad_magic = z;
  bad_magic[1] = 'x';
  EXPECT_FALSE(gunzip(&arena, view(bad_magic), &out));
}

// A few kilobytes that expand to 64 MiB of zeros stand for a gzip bomb; the
// bound must stop inflating long before the whole stream is produced.
TEST_F(Gunzip, StopsAtTheOutputLimit) {
  std::string bomb = gzip_bytes(std::string(64 << 20, '\0'));
  ASSERT_LT(bomb.size(), 100000u);
  StrView out;
  EXPECT_FALSE(gunzip_limited(&arena, view(bomb), &out, 1 << 20));
  EXPECT_EQ(out.ptr, nullptr);
  EXPECT_LT(arena.total, uint64_t{8} << 20);
}

TEST_F(Gunzip, OutputOfExactlyTheLimitIsAccepted) {
  std::string text(5000, 'k');
  std::string z = gzip_bytes(text);
  StrView out;
  EXPECT_TRUE(gunzip_limited(&arena, view(z), &out, 5000));
  EXPECT_EQ(out.len, 5000u);
  EXPECT_FALSE(gunzip_limited(&arena, view(z), &out, 4999));
  EXPECT_FALSE(gunzip_limited(&arena, view(z), &out, 0));
  EXPECT_TRUE(gunzip_limited(&arena, view(gzip_bytes("")), &out, 0));
}

