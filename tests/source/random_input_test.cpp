// Arbitrary bytes given as paths or as compressed data must never crash.
#include <algorithm>
#include <string>

#include "gz_util.h"
#include "random_bytes.h"
#include "source/source.h"
#include "test_util.h"

class SourceRandomInput : public ArenaTest {};

TEST_F(SourceRandomInput, NormalizedPathsAreCanonical) {
  RandomBytes rnd(5);
  for (int i = 0; i < 4000; i++) {
    std::string text = rnd.next("/\\.ab", 60);
    StrView p = normalize_path(&arena, rnd.hold(text));
    std::string s = str(p);
    ASSERT_FALSE(s.empty());
    ASSERT_EQ(s[0], '/') << text;
    EXPECT_EQ(s.find("//"), std::string::npos) << text;
    // A backslash is a name byte: without ".." none is lost.
    auto backslashes = [](const std::string& t) { return std::count(t.begin(), t.end(), '\\'); };
    EXPECT_TRUE(text.find("..") != std::string::npos || backslashes(s) == backslashes(text));
    EXPECT_EQ((s + "/").find("/./"), std::string::npos) << text;
    EXPECT_EQ((s + "/").find("/../"), std::string::npos) << text;
    if (s.size() > 1) {
      EXPECT_NE(s.back(), '/') << text;
    }
    EXPECT_EQ(str(normalize_path(&arena, p)), s);
  }
}

TEST_F(SourceRandomInput, GunzipOfGarbage) {
  RandomBytes rnd(6);
  std::string all;
  for (int c = 0; c < 256; c++) all += static_cast<char>(c);
  for (int i = 0; i < 3000; i++) {
    std::string text = rnd.next(all, 200);
    if (rnd.pick(2)) text = std::string("\x1f\x8b\x08", 3) + text;  // a gzip header start
    StrView out;
    if (gunzip_limited(&arena, rnd.hold(text), &out, 1 << 20)) {
      EXPECT_LE(out.len, 1u << 20);
    }
  }
}

TEST_F(SourceRandomInput, GunzipOfDamagedStreams) {
  RandomBytes rnd(7);
  std::string plain;
  for (int i = 0; i < 2000; i++) plain += "CONFIG_OPTION_" + std::to_string(i * 7919 % 1000) + "=y\n";
  std::string good = gzip_bytes(plain);
  for (int i = 0; i < 2000; i++) {
    std::string bad = good;
    for (size_t k = 0, n = 1 + rnd.pick(4); k < n; k++) {
      bad[rnd.pick(bad.size())] = static_cast<char>(rnd.pick(256));
    }
    if (rnd.pick(4) == 0) bad.resize(rnd.pick(bad.size()));
    StrView out;
    if (gunzip(&arena, rnd.hold(bad), &out)) {
      EXPECT_LE(out.len, 4 * plain.size());
    }
  }
}
